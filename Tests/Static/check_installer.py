#!/usr/bin/env python3
"""Static checks of the release installer and uninstaller programs: imports, headers, manifest,
and the installer's size against the limit the README states.

usage: check_installer.py CHECK_IMPORTS README SETUP-x86.exe SETUP-x64.exe UNINSTALL-x86.exe UNINSTALL-x64.exe
"""
import re
import subprocess
import sys

check_imports, readme, x86, x64, uninstall_x86, uninstall_x64 = sys.argv[1:7]
failures = []
# The release installer must stay small: every end user downloads it. The README states the
# limit, and this is where that figure is held true.
with open(readme, encoding="utf-8") as f:
    stated = re.search(r"release installer \(`Setup-x86\.exe`\) stays under (\d+) KiB", f.read())
SIZE_LIMIT = int(stated.group(1)) * 1024 if stated else 0


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


if not SIZE_LIMIT:
    failures.append("the README states no size limit for the release installer")
sizes = {}
for exe, triplet in ((x86, "i686-w64-mingw32"), (x64, "x86_64-w64-mingw32"),
                     (uninstall_x86, "i686-w64-mingw32"), (uninstall_x64, "x86_64-w64-mingw32")):
    installer = exe in (x86, x64)
    objdump = triplet + "-objdump"
    result = subprocess.run([sys.executable, check_imports, "--objdump", objdump, exe],
                            capture_output=True, text=True)
    check(result.returncode == 0, f"{exe}: {result.stdout.strip()} {result.stderr.strip()}")

    headers = subprocess.run([objdump, "-h", exe], capture_output=True, text=True, check=True).stdout
    sections = re.findall(r"^\s+\d+\s+(\S+)\s+([0-9a-f]+)\s+([0-9a-f]+)\s+[0-9a-f]+\s+([0-9a-f]+)",
                          headers, re.MULTILINE)
    by_address = sorted(sections, key=lambda s: int(s[2], 16))
    by_offset = sorted((s for s in sections if int(s[3], 16)), key=lambda s: int(s[3], 16))
    # Only the installer's resources grow with the package.
    check(not installer or (by_address[-1][0] == ".rsrc" and by_offset[-1][0] == ".rsrc"),
          f"{exe}: the resource section is not the last one")

    private = subprocess.run([objdump, "-p", exe], capture_output=True, text=True, check=True).stdout
    check("DYNAMIC_BASE" in private, f"{exe}: no address space layout randomisation")
    check("NX_COMPAT" in private, f"{exe}: no data execution prevention")
    if triplet.startswith("i686"):
        check("large address aware" in private, f"{exe}: not large-address aware")

    with open(exe, "rb") as f:
        image = f.read()
    manifest = image[image.find(b"<?xml version="):]
    manifest = manifest[: manifest.find(b"</assembly>") + len(b"</assembly>")].decode("utf-8", "replace")
    for needed in ('level="requireAdministrator"', "<dpiAware", "<longPathAware", "Microsoft.Windows.Common-Controls",
                   'version="6.0.0.0"', "e2011457-1546-43c5-a5fe-008deee3d3f0",
                   "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"):
        check(needed in manifest, f"{exe}: the manifest lacks {needed}")
    # Antivirus heuristics flag a program that has a hidden shell delete it.
    check(installer or "cmd.exe".encode("utf-16-le") not in image.lower(),
          f"{exe}: names cmd.exe, a shell to remove itself")
    if triplet.startswith("i686"):
        check(len(image) < SIZE_LIMIT, f"{exe}: {len(image):,} bytes, the limit is {SIZE_LIMIT:,}")
    sizes[exe] = len(image)
    print(f"{exe}: {len(image):,} bytes")
# The uninstaller is downloaded with every package: never larger than the installer.
check(sizes[uninstall_x86] <= sizes[x86], "the release uninstaller is larger than the installer")

sys.exit(1 if failures else 0)
