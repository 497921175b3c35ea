#!/usr/bin/env python3
"""Solid zstd packages on real Windows software (make_windows_payload.py), in one run beside
makensis with zlib and with /SOLID lzma: the package's size, the build's time and peak memory;
then the silent installation of each package under Wine (fastest of five rounds, taken in turn)
and its peak committed memory; then the Windows builder under Wine against the Linux builder on
the shared ~120 MB payload, for both compressions, whose packages must be the same bytes.

usage: solid_bench.py ONESETUP WINDOWS_ONESETUP MEMORY_WATCH STUB WORKDIR
"""
import filecmp
import os
import re
import shutil
import subprocess
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
onesetup, windows_onesetup, memory_watch, stub, work = (os.path.abspath(a) for a in sys.argv[1:6])
WINE = "/usr/lib/wine/wine64"
drive_c = os.path.join(os.environ["WINEPREFIX"], "drive_c")
MiB = 1 << 20
os.makedirs(work, exist_ok=True)
payload = os.path.join(work, "windows-payload")
subprocess.run([sys.executable, os.path.join(here, "make_windows_payload.py"), payload], check=True)
plain = sum(os.path.getsize(os.path.join(r, n)) for r, _, ns in os.walk(payload) for n in ns
            if n != ".complete")


def z(path):
    return "Z:" + path.replace("/", "\\")


def measured(command):
    """Seconds and peak resident bytes of a Linux command."""
    start = time.perf_counter()
    run = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, check=True, stdout=subprocess.DEVNULL,
                         stderr=subprocess.PIPE, text=True, timeout=3600)
    return time.perf_counter() - start, int(run.stderr.strip().splitlines()[-1]) * 1024


def project(path, source, name):
    with open(path, "w", encoding="utf-8") as f:
        f.write(f"""<?xml version="1.0" encoding="utf-8"?>
<TSetupScript>
    <BaseInfo AppTitle="{name}" Version="1.0.0.0" GUID="{{6C2B1A39-0E4D-4F5A-8B6C-7D8E9F0A1B2C}}"
        DefInstallPath="C:\\onesetup-solid" FullSetupFile="{name}Setup.exe"/>
    <FileList><Items><TSetupFile DestDir="{{app}}" SourcePath="{source}" SourceMask="*"
        IncludeSubPath="True"/></Items></FileList>
</TSetupScript>
""")
    return path


def nsis(name, compressor, source):
    script = os.path.join(work, name + ".nsi")
    with open(script, "w") as f:
        f.write(f"""Unicode true
Target {"x86-unicode" if stub.endswith("x86.exe") else "amd64-unicode"}
{compressor}
OutFile "{os.path.join(work, name + '.exe')}"
InstallDir "C:\\nsis-solid"
RequestExecutionLevel admin
Section
  SetOutPath "$INSTDIR"
  File /r "{source}/*"
SectionEnd
""")
    seconds, peak = measured(["makensis", "-V1", script])
    return os.path.join(work, name + ".exe"), seconds, peak


# -- building ---------------------------------------------------------------------------------
real = project(os.path.join(work, "Real.xml"), payload, "Real")
builds = {}
for compression in ("zlib", "zstd"):
    out = os.path.join(work, compression)
    shutil.rmtree(out, ignore_errors=True)
    seconds, peak = measured([onesetup, "build", real, "-o", out, "--stub", stub, "-q",
                              "--compression", compression])
    builds[f"onesetup {compression}"] = (os.path.join(out, "RealSetup.exe"), seconds, peak)
builds["makensis zlib"] = nsis("NsisZlib", "", payload)
builds["makensis /SOLID lzma"] = nsis("NsisLzma", "SetCompressor /SOLID lzma", payload)

print(f"real Windows software: {plain / 1e6:.1f} MB")
for name, (path, seconds, peak) in builds.items():
    print(f"  {name:22s} {os.path.getsize(path):12,} bytes  built in {seconds:6.1f} s, peak {peak / MiB:6.1f} MiB")
lzma_size = os.path.getsize(builds["makensis /SOLID lzma"][0])
zstd_size = os.path.getsize(builds["onesetup zstd"][0])
print(f"  zstd / makensis /SOLID lzma: size {zstd_size / lzma_size:.3f} (target at most 1.15), "
      f"build time {builds['onesetup zstd'][1] / builds['makensis /SOLID lzma'][1]:.2f} (target at most 1)")


# -- installing -------------------------------------------------------------------------------
def watch(command):
    out = subprocess.run([WINE, memory_watch, command], capture_output=True, text=True, timeout=1800).stdout
    line = [l for l in out.splitlines() if l.startswith("exit=")][-1]
    values = dict(item.split("=") for item in line.split())
    return int(values["exit"]), float(values["seconds"]), int(values["peak_bytes"])


def install(program, nsis_installer):
    folder = os.path.join(drive_c, "nsis-solid" if nsis_installer else "onesetup-solid")
    shutil.rmtree(folder, ignore_errors=True)
    subprocess.run([WINE, "reg", "delete", r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
                    r"\{6C2B1A39-0E4D-4F5A-8B6C-7D8E9F0A1B2C}_vm", "/f", "/reg:32"], capture_output=True, timeout=120)
    os.sync()
    code, seconds, peak = watch(z(program) + (" /S /D=C:\\nsis-solid" if nsis_installer else " /Silent"))
    if code != 0:
        sys.exit(f"{program}: exit code {code}")
    shutil.rmtree(folder, ignore_errors=True)
    return seconds, peak


best = {name: (None, 0) for name in builds}
for _ in range(5):
    for name, (path, _, _) in builds.items():
        seconds, peak = install(path, name.startswith("makensis"))
        old = best[name]
        best[name] = (seconds if old[0] is None else min(old[0], seconds), max(old[1], peak))
arch = "x86" if stub.endswith("x86.exe") else "x64 (this machine runs no 32-bit programs)"
print(f"installed with /Silent (/S) under Wine, the {arch} installers, fastest of 5 rounds:")
for name, (seconds, peak) in best.items():
    print(f"  {name:22s} {seconds:6.2f} s  {plain / 1e6 / seconds:6.1f} MB/s, peak committed {peak / MiB:6.1f} MiB")
zstd_install = best["onesetup zstd"][0]
print(f"  zstd install / zlib install {zstd_install / best['onesetup zlib'][0]:.2f}, / makensis zlib "
      f"{zstd_install / best['makensis zlib'][0]:.2f} (targets below 1); peak under 64 MiB")

# -- the Windows builder ----------------------------------------------------------------------
shared = os.path.join(work, "payload")
if not os.path.exists(os.path.join(shared, "MANIFEST.sha256")):
    subprocess.run([sys.executable, os.path.join(here, "make_payload.py"), shared], check=True,
                   stdout=subprocess.DEVNULL)
# Whole seconds, as Wine reports them to the Windows builder: the two packages must then match.
for root, _, names in os.walk(shared):
    for name in names:
        stamp = int(os.stat(os.path.join(root, name)).st_mtime)
        os.utime(os.path.join(root, name), (stamp, stamp))
shared_project = project(os.path.join(work, "Shared.xml"), shared, "Shared")
print("the shared ~120 MB payload, Windows builder under Wine beside the Linux builder:")
different = []
for compression in ("zlib", "zstd"):
    times = []
    outs = []
    for builder in (onesetup, windows_onesetup):
        out = os.path.join(work, f"shared-{compression}-{'linux' if builder == onesetup else 'windows'}")
        outs.append(os.path.join(out, "SharedSetup.exe"))
        shutil.rmtree(out, ignore_errors=True)
        start = time.perf_counter()
        if builder == onesetup:
            subprocess.run([builder, "build", shared_project, "-o", out, "--stub", stub, "-q",
                            "--compression", compression], check=True, timeout=3600)
        else:
            subprocess.run([WINE, builder, "build", z(shared_project), "-o", z(out), "--stub", z(stub), "-q",
                            "--compression", compression], check=True, timeout=3600,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
    same = filecmp.cmp(outs[0], outs[1], shallow=False)
    print(f"  {compression}: Linux {times[0]:6.1f} s, Windows under Wine {times[1]:6.1f} s: "
          f"{times[1] / times[0]:.2f} (target at most 1.5); "
          f"{'the same bytes' if same else 'DIFFERENT packages'}")
    if not same:
        different.append(compression)
if different:
    sys.exit(f"the two builders made different packages: {', '.join(different)}")
