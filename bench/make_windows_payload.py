#!/usr/bin/env python3
"""A payload of real Windows software, made from what this machine has: Wine's own 64-bit
programs and DLLs (PE files built by MinGW), stripped as vendors ship them, in name order up to
about 120 MB, and its data files (national language tables and fonts), about 132 MB in all.

usage: make_windows_payload.py FOLDER
"""
import os
import shutil
import subprocess
import sys

PROGRAMS = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows"
DATA = ["/usr/share/wine/nls", "/usr/share/wine/fonts"]
PROGRAM_BYTES = 120 * 1000 * 1000

folder = sys.argv[1]
done = os.path.join(folder, ".complete")
if os.path.exists(done):
    sys.exit(0)
shutil.rmtree(folder, ignore_errors=True)
os.makedirs(os.path.join(folder, "bin"))
total = 0
for name in sorted(os.listdir(PROGRAMS)):
    if not name.lower().endswith((".dll", ".exe", ".drv", ".sys", ".ocx", ".cpl", ".acm")):
        continue
    target = os.path.join(folder, "bin", name)
    if subprocess.run(["x86_64-w64-mingw32-strip", "-o", target, os.path.join(PROGRAMS, name)],
                      capture_output=True).returncode != 0:
        shutil.copyfile(os.path.join(PROGRAMS, name), target)
    total += os.path.getsize(target)
    if total >= PROGRAM_BYTES:
        break
for source in DATA:
    shutil.copytree(source, os.path.join(folder, "data", os.path.basename(source)))
# The same times for every file: the package does not depend on when the payload was made.
for root, _, names in os.walk(folder):
    for name in names:
        os.utime(os.path.join(root, name), (1700000000, 1700000000))
open(done, "w").close()
