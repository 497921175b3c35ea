#!/usr/bin/env python3
"""Rules of the sources that no compiler checks:
- every file-system call of the Windows code takes its path through the one conversion to the
  extended-length form: such calls live in the file services only, each with Ext(...);
- a thread_local holds nothing with a destructor (a pointer, a number): the Windows runtime may
  free a thread's storage before it runs such destructors as the thread ends.

usage: check_sources.py SOURCE_DIR
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
# thread_local, its type, then the name: only a pointer or a built-in number passes.
thread_local = re.compile(r"\bthread_local\s+(?!(?:const\s+)?(?:[\w:<>]+\s*\*|(?:unsigned\s+)?"
                          r"(?:bool|char|int|long|size_t|u?int\d+_t|double)\s+\w))")
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
                if thread_local.search(line.split("//")[0]):
                    failures.append(f"{relative}:{number}: a thread_local with a destructor")
                for match in call.finditer(line):
                    rest = line[match.end():].lstrip()
                    if relative not in HOMES:
                        failures.append(f"{relative}:{number}: {match.group(1)} outside the file services")
                    elif not rest.startswith(("W(Ext(", "W(ExtLookup(")):
                        failures.append(f"{relative}:{number}: {match.group(1)} without Ext(...)")
for failure in failures:
    print("FAIL:", failure)
print(f"{len(failures)} breaches of the source rules")
sys.exit(1 if failures else 0)
