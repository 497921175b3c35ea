#!/usr/bin/env python3
"""Builder throughput on the shared ~120 MB payload, beside a reference installer compiler.

usage: build_bench.py ONESETUP STUB WORKDIR

Reports, in one run: build throughput with one thread and with every core, the installer's
size, the plain sum of per-file zlib level 9 streams, and Debian's makensis (zlib, its
default) building an installer of the same files.
"""
import multiprocessing
import os
import shutil
import subprocess
import sys
import time
import zlib

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

project = os.path.join(work, "Bench.xml")
with open(project, "w", encoding="utf-8") as f:
    f.write(f"""<?xml version="1.0" encoding="utf-8"?>
<TSetupScript>
    <BaseInfo AppTitle="Bench" Version="1.0.0.0" GUID="{{7D3C1B2A-0F4E-4A5B-9C6D-8E7F6A5B4C3D}}"
        FullSetupFile="BenchSetup.exe"/>
    <FileList><Items>
        <TSetupFile DestDir="{{app}}" SourcePath="payload" SourceMask="*" IncludeSubPath="True"/>
    </Items></FileList>
</TSetupScript>
""")


def timed(command):
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start


def zlib9(path):
    with open(path, "rb") as f:
        return len(zlib.compress(f.read(), 9))


cores = os.cpu_count() or 1
out = os.path.join(work, "out")
results = {}
for jobs in (1, cores):
    shutil.rmtree(out, ignore_errors=True)
    seconds = timed([onesetup, "build", project, "-o", out, "--stub", stub, "-j", str(jobs), "-q"])
    results[jobs] = seconds
size = os.path.getsize(os.path.join(out, "BenchSetup.exe"))

with multiprocessing.Pool(cores) as pool:
    zlib_total = sum(pool.map(zlib9, files))

nsis_seconds = nsis_size = None
if shutil.which("makensis"):
    script = os.path.join(work, "bench.nsi")
    with open(script, "w") as f:
        f.write(f"""Unicode true
OutFile "{os.path.join(work, 'nsis.exe')}"
InstallDir "$PROGRAMFILES\\Bench"
RequestExecutionLevel admin
Section
  SetOutPath "$INSTDIR"
  File /r "{payload}/*"
SectionEnd
""")
    nsis_seconds = timed(["makensis", "-V1", script])
    nsis_size = os.path.getsize(os.path.join(work, "nsis.exe"))

mb = plain / 1e6
print(f"payload: {len(files)} files, {mb:.1f} MB")
print(f"onesetup build, 1 thread:   {results[1]:6.2f} s  {mb / results[1]:6.1f} MB/s")
print(f"onesetup build, {cores} threads:  {results[cores]:6.2f} s  {mb / results[cores]:6.1f} MB/s")
print(f"installer size:             {size:,} bytes")
print(f"sum of per-file zlib 9:     {zlib_total:,} bytes")
if nsis_seconds:
    print(f"makensis (zlib):            {nsis_seconds:6.2f} s  {mb / nsis_seconds:6.1f} MB/s, {nsis_size:,} bytes")
    speedup = nsis_seconds / results[cores]
    print(f"throughput vs makensis:     {speedup:.2f}x (target 4x); size {size / nsis_size:.4f} of it (target <= 1)")
    sys.exit(0 if speedup >= 4 and size <= nsis_size else 1)
else:
    print("makensis not installed: no comparison")
