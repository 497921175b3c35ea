#!/usr/bin/env python3
"""Installation throughput and peak committed memory of the installer under 64-bit Wine, in
one run beside: `onesetup extract` of the same package on Linux, a plain zlib inflate-and-write
of the same streams, and a silent install of a makensis installer (64-bit stub, zlib) of the
same files.

usage: install_bench.py ONESETUP INFLATE_WRITE MEMORY_WATCH STUB WORKDIR [--large]
  --large: instead, a 1 GB package with one 700 MB file, to check that memory stays flat.
"""
import os
import re
import shutil
import subprocess
import sys
import time

onesetup, inflate_write, memory_watch, stub, work = (os.path.abspath(a) for a in sys.argv[1:6])
large = "--large" in sys.argv
here = os.path.dirname(os.path.abspath(__file__))
WINE = "/usr/lib/wine/wine64"
drive_c = os.path.join(os.environ["WINEPREFIX"], "drive_c")


def z(path):
    return "Z:" + path.replace("/", "\\")


def payload(folder, seed, total):
    """make_payload.py with another seed and total, so the two halves share no file."""
    if os.path.exists(os.path.join(folder, "MANIFEST.sha256")):
        return
    source = open(os.path.join(here, "make_payload.py")).read()
    source = re.sub(r"^SEED = \d+", f"SEED = {seed}", source, flags=re.M)
    source = re.sub(r"^TARGET_TOTAL = .*$", f"TARGET_TOTAL = {total}", source, flags=re.M)
    subprocess.run([sys.executable, "-c", source, folder], check=True, stdout=subprocess.DEVNULL)


def big_file(path, size):
    """A compressible file of SIZE bytes: text-like runs with some noise."""
    if os.path.exists(path) and os.path.getsize(path) == size:
        return
    os.makedirs(os.path.dirname(path), exist_ok=True)
    block = b"".join((b"record %08d value %s\r\n" % (i, os.urandom(6).hex().encode())) for i in range(20000))
    with open(path, "wb") as f:
        written = 0
        while written < size:
            piece = block[: size - written]
            f.write(piece)
            written += len(piece)


def sizes(folder):
    return sum(os.path.getsize(os.path.join(r, n)) for r, _, ns in os.walk(folder) for n in ns
               if n != "MANIFEST.sha256")


def watch(command):
    out = subprocess.run([WINE, memory_watch, command], capture_output=True, text=True, timeout=1800).stdout
    # The installer's own output (taskkill's, relayed) shares the stream: take the report line.
    line = [l for l in out.splitlines() if l.startswith("exit=")][-1]
    values = dict(item.split("=") for item in line.split())
    return int(values["exit"]), float(values["seconds"]), int(values["peak_bytes"])


os.makedirs(work, exist_ok=True)
if large:
    folders = [os.path.join(work, "large-a"), os.path.join(work, "payload")]
    big_file(os.path.join(folders[0], "big", "huge.dat"), 700 * 1000 * 1000)
    payload(folders[1], 20240611, 120 * 1000 * 1000)
    big_file(os.path.join(folders[0], "more", "more.dat"), 180 * 1000 * 1000)
else:
    folders = [os.path.join(work, "payload"), os.path.join(work, "payload2")]
    payload(folders[0], 20240611, 120 * 1000 * 1000)
    payload(folders[1], 777, 80 * 1000 * 1000)
plain = sum(sizes(f) for f in folders)

project = os.path.join(work, "Bench.xml")
items = "".join(f'<TSetupFile DestDir="{{app}}\\part{i}" SourcePath="{os.path.basename(f)}" SourceMask="*" '
                f'IncludeSubPath="True"/>' for i, f in enumerate(folders))
with open(project, "w", encoding="utf-8") as f:
    f.write(f"""<?xml version="1.0" encoding="utf-8"?>
<TSetupScript>
    <BaseInfo AppTitle="Bench" Version="1.0.0.0" GUID="{{5B1E0C2D-6A4F-4E3B-9C8D-7F6E5D4C3B2A}}"
        DefInstallPath="C:\\onesetup-bench" FullSetupFile="BenchSetup.exe"/>
    <FileList><Items>{items}</Items></FileList>
</TSetupScript>
""")
setup = os.path.join(work, "BenchSetup.exe")
start = time.perf_counter()
subprocess.run([onesetup, "build", project, "-o", work, "--stub", stub, "-q"], check=True, timeout=1800)
build_seconds = time.perf_counter() - start

shutil.rmtree(os.path.join(drive_c, "onesetup-bench"), ignore_errors=True)
code, install_seconds, install_peak = watch(z(setup) + " /Silent")
if code != 0:
    sys.exit(f"the installation ended with exit code {code}")
installed = sizes(os.path.join(drive_c, "onesetup-bench"))
shutil.rmtree(os.path.join(drive_c, "onesetup-bench"), ignore_errors=True)

rows = [("onesetup installer under Wine, /Silent", install_seconds, install_peak)]
if not large:
    extract = os.path.join(work, "extract")
    shutil.rmtree(extract, ignore_errors=True)
    start = time.perf_counter()
    subprocess.run([onesetup, "extract", setup, "-o", extract, "-q"], check=True, timeout=1800)
    rows.append(("onesetup extract on Linux", time.perf_counter() - start, None))
    shutil.rmtree(extract, ignore_errors=True)

    raw = os.path.join(work, "raw")
    shutil.rmtree(raw, ignore_errors=True)
    out = subprocess.run([inflate_write, setup, raw], capture_output=True, text=True, check=True).stdout
    rows.append(("plain zlib inflate and write", float(dict(i.split("=") for i in out.split())["seconds"]), None))
    shutil.rmtree(raw, ignore_errors=True)

    if shutil.which("makensis"):
        script = os.path.join(work, "bench.nsi")
        with open(script, "w") as f:
            f.write(f"""Unicode true
Target amd64-unicode
OutFile "{os.path.join(work, 'NsisSetup.exe')}"
InstallDir "C:\\nsis-bench"
RequestExecutionLevel admin
Section
""" + "".join(f'  SetOutPath "$INSTDIR\\part{i}"\n  File /r "{folder}/*"\n' for i, folder in enumerate(folders)) + "SectionEnd\n")
        subprocess.run(["makensis", "-V1", script], check=True, timeout=1800)
        shutil.rmtree(os.path.join(drive_c, "nsis-bench"), ignore_errors=True)
        code, seconds, peak = watch(z(os.path.join(work, "NsisSetup.exe")) + " /S /D=C:\\nsis-bench")
        rows.append(("makensis installer under Wine, /S", seconds, peak))
        shutil.rmtree(os.path.join(drive_c, "nsis-bench"), ignore_errors=True)

mb = plain / 1e6
print(f"package: {plain:,} plain bytes in {os.path.getsize(setup):,} bytes (built in {build_seconds:.1f} s);"
      f" installed {installed:,} bytes")
for name, seconds, peak in rows:
    memory = f"  peak committed {peak / 1048576:6.1f} MiB" if peak else ""
    print(f"  {name:42s} {seconds:7.2f} s  {mb / seconds:7.1f} MB/s{memory}")
ok = installed == plain
if large:
    ok = ok and install_peak < 64 * 1048576
else:
    speeds = {name: mb / seconds for name, seconds, _ in rows}
    ours = speeds["onesetup installer under Wine, /Silent"]
    reference = speeds["plain zlib inflate and write"]
    print(f"  installer / plain inflate-and-write: {ours / reference:.2f} (target 0.80)")
    ok = ok and ours >= 0.8 * reference
    if "makensis installer under Wine, /S" in speeds:
        print(f"  installer / makensis installer: {ours / speeds['makensis installer under Wine, /S']:.2f} (target 1.00)")
        ok = ok and ours >= speeds["makensis installer under Wine, /S"]
sys.exit(0 if ok else 1)
