#!/usr/bin/env python3
"""Every file-system call of the Windows code takes its path through the one conversion to the
extended-length form: such calls live in the file services only, each with Ext(...).

usage: check_long_paths.py SOURCE_DIR
"""
import os
import re
import sys

CALLS = ("CreateFileW", "DeleteFileW", "MoveFileExW", "MoveFileW", "CopyFileW", "CreateDirectoryW",
         "RemoveDirectoryW", "GetFileAttributesW", "GetFileAttributesExW", "SetFileAttributesW",
         "FindFirstFileW", "FindFirstFileExW", "GetLongPathNameW", "GetShortPathNameW",
         "ReplaceFileW", "CreateHardLinkW")
HOMES = (os.path.join("Common", "LxFiles.win32.cpp"), os.path.join("Common", "LxFileRemoval.win32.cpp"))
call = re.compile(r"\b(" + "|".join(CALLS) + r")\s*\(")
source = sys.argv[1]
failures = []
for root, _, names in os.walk(source):
    for name in names:
        if not name.endswith((".cpp", ".h", ".c")):
            continue
        path = os.path.join(root, name)
        relative = os.path.relpath(path, source)
        with open(path, encoding="utf-8") as f:
            for number, line in enumerate(f, 1):
                for match in call.finditer(line):
                    rest = line[match.end():].lstrip()
                    if relative not in HOMES:
                        failures.append(f"{relative}:{number}: {match.group(1)} outside the file services")
                    elif not rest.startswith(("W(Ext(", "W(ExtLookup(")):
                        failures.append(f"{relative}:{number}: {match.group(1)} without Ext(...)")
for failure in failures:
    print("FAIL:", failure)
print(f"{len(failures)} file-system calls bypass the long-path conversion")
sys.exit(1 if failures else 0)
