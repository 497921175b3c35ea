#!/usr/bin/env python3
"""Builder throughput on the shared ~120 MB payload, beside a reference installer compiler.

usage: build_bench.py ONESETUP STUB WORKDIR

Reports, in one run: build throughput with one thread and with every core, the installer's
size, the plain sum of per-file zlib level 9 streams, and Debian's makensis (zlib, its
default) building an installer of the same files; then the peak memory (maximum resident set,
from /usr/bin/time) of both on that payload and on a ~1 GB one (the same files beside a 700 MB
and a 180 MB file, as install_bench's large package).
"""
import multiprocessing
import os
import shutil
import subprocess
import sys
import time
import zlib

from large_file import big_file

here = os.path.dirname(os.path.abspath(__file__))
onesetup, stub, work = sys.argv[1], os.path.abspath(sys.argv[2]), os.path.abspath(sys.argv[3])
payload = os.path.join(work, "payload")
os.makedirs(work, exist_ok=True)
if not os.path.exists(os.path.join(payload, "MANIFEST.sha256")):
    subprocess.run([sys.executable, os.path.join(here, "make_payload.py"), payload], check=True,
                   stdout=subprocess.DEVNULL)

files = []
for root, _, names in os.walk(payload):
    for name in names:
        if name != "MANIFEST.sha256":
            files.append(os.path.join(root, name))
files.sort()
plain = sum(os.path.getsize(f) for f in files)

def write_project(path, folders):
    items = "".join(f"""
        <TSetupFile DestDir="{{app}}" SourcePath="{folder}" SourceMask="*" IncludeSubPath="True"/>"""
                    for folder in folders)
    with open(path, "w", encoding="utf-8") as f:
        f.write(f"""<?xml version="1.0" encoding="utf-8"?>
<TSetupScript>
    <BaseInfo AppTitle="Bench" Version="1.0.0.0" GUID="{{7D3C1B2A-0F4E-4A5B-9C6D-8E7F6A5B4C3D}}"
        FullSetupFile="BenchSetup.exe"/>
    <FileList><Items>{items}
    </Items></FileList>
</TSetupScript>
""")


project = os.path.join(work, "Bench.xml")
write_project(project, ["payload"])


def measured(command):
    """Seconds, peak resident bytes, user and system seconds."""
    start = time.perf_counter()
    run = subprocess.run(["/usr/bin/time", "-v"] + command, check=True, stdout=subprocess.DEVNULL,
                         stderr=subprocess.PIPE, text=True)
    seconds = time.perf_counter() - start
    fields = {}
    for line in run.stderr.splitlines():
        key, _, value = line.strip().rpartition(": ")
        fields[key] = value
    return (seconds, int(fields["Maximum resident set size (kbytes)"]) * 1024,
            float(fields["User time (seconds)"]), float(fields["System time (seconds)"]))


def nsis_script(path, folders, output):
    files = "".join(f'  File /r "{os.path.join(work, folder)}/*"\n' for folder in folders)
    with open(path, "w") as f:
        f.write(f"""Unicode true
OutFile "{output}"
InstallDir "$PROGRAMFILES\\Bench"
RequestExecutionLevel admin
Section
  SetOutPath "$INSTDIR"
{files}SectionEnd
""")


def zlib9(path):
    with open(path, "rb") as f:
        return len(zlib.compress(f.read(), 9))


cores = os.cpu_count() or 1
out = os.path.join(work, "out")
results = {}
usage = {}
for jobs in (1, cores):
    shutil.rmtree(out, ignore_errors=True)
    usage[jobs] = measured([onesetup, "build", project, "-o", out, "--stub", stub, "-j", str(jobs),
                            "-q"])
    results[jobs] = usage[jobs][0]
size = os.path.getsize(os.path.join(out, "BenchSetup.exe"))

with multiprocessing.Pool(cores) as pool:
    zlib_total = sum(pool.map(zlib9, files))

nsis_seconds = nsis_size = nsis_usage = None
if shutil.which("makensis"):
    script = os.path.join(work, "bench.nsi")
    nsis_script(script, ["payload"], os.path.join(work, "nsis.exe"))
    nsis_usage = measured(["makensis", "-V1", script])
    nsis_seconds = nsis_usage[0]
    nsis_size = os.path.getsize(os.path.join(work, "nsis.exe"))

# The large package: the same files and two large ones, about 1 GB in all.
big = os.path.join(work, "big")
big_file(os.path.join(big, "huge.dat"), 700 * 1000 * 1000)
big_file(os.path.join(big, "more.dat"), 180 * 1000 * 1000)
large_plain = plain + 880 * 1000 * 1000
large_project = os.path.join(work, "BenchLarge.xml")
write_project(large_project, ["payload", "big"])
shutil.rmtree(out, ignore_errors=True)
large = measured([onesetup, "build", large_project, "-o", out, "--stub", stub, "-j", str(cores),
                  "-q"])
large_size = os.path.getsize(os.path.join(out, "BenchSetup.exe"))
shutil.rmtree(out, ignore_errors=True)
large_nsis = large_nsis_size = None
if shutil.which("makensis"):
    script = os.path.join(work, "bench-large.nsi")
    nsis_script(script, ["payload", "big"], os.path.join(work, "nsis-large.exe"))
    large_nsis = measured(["makensis", "-V1", script])
    large_nsis_size = os.path.getsize(os.path.join(work, "nsis-large.exe"))
    os.remove(os.path.join(work, "nsis-large.exe"))

mb = plain / 1e6
MiB = 1 << 20
print(f"payload: {len(files)} files, {mb:.1f} MB")
for jobs in (1, cores):
    seconds, peak, user, system = usage[jobs]
    label = f"onesetup build, {jobs} thread{'s' if jobs > 1 else ''}:"
    print(f"{label:28}{seconds:6.2f} s  {mb / seconds:6.1f} MB/s, peak {peak / MiB:6.1f} MiB, "
          f"user {user:.2f} s, system {system:.2f} s")
print(f"installer size:             {size:,} bytes")
print(f"sum of per-file zlib 9:     {zlib_total:,} bytes")
if nsis_seconds:
    print(f"makensis (zlib):            {nsis_seconds:6.2f} s  {mb / nsis_seconds:6.1f} MB/s, "
          f"{nsis_size:,} bytes, peak {nsis_usage[1] / MiB:6.1f} MiB")
    speedup = nsis_seconds / results[cores]
    print(f"throughput vs makensis:     {speedup:.2f}x (target 5x); size {size / nsis_size:.4f} of it (target <= 1)")
else:
    print("makensis not installed: no comparison")
large_mb = large_plain / 1e6
print(f"large payload: {large_mb:.1f} MB")
print(f"onesetup build, {cores} threads:  {large[0]:6.2f} s  {large_mb / large[0]:6.1f} MB/s, "
      f"{large_size:,} bytes, peak {large[1] / MiB:6.1f} MiB (target < 128)")
if large_nsis:
    print(f"makensis (zlib):            {large_nsis[0]:6.2f} s  {large_mb / large_nsis[0]:6.1f} MB/s, "
          f"{large_nsis_size:,} bytes, peak {large_nsis[1] / MiB:6.1f} MiB")
bounded = usage[cores][1] < 128 * MiB and large[1] < 128 * MiB
if nsis_seconds:
    sys.exit(0 if speedup >= 5 and size <= nsis_size and bounded else 1)
sys.exit(0 if bounded else 1)
