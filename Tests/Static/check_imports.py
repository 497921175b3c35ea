#!/usr/bin/env python3
"""Fails when a Windows executable imports a DLL outside the system's KnownDLLs.

A KnownDLL is always loaded from System32, whatever lies beside the executable; any other
DLL must be loaded at run time by its full System32 path, never linked.

usage: check_imports.py --objdump TRIPLET-objdump EXE...
"""

import argparse
import re
import subprocess
import sys

# HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs of Windows 7 to 11, with
# ntdll, which every process has loaded before anything else.
KNOWN_DLLS = {
    "advapi32.dll", "clbcatq.dll", "combase.dll", "comdlg32.dll", "coml2.dll", "difxapi.dll",
    "gdi32.dll", "gdi32full.dll", "imagehlp.dll", "imm32.dll", "kernel32.dll", "lpk.dll",
    "msctf.dll", "msvcrt.dll", "normaliz.dll", "nsi.dll", "ntdll.dll", "ole32.dll",
    "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "sechost.dll", "setupapi.dll", "shcore.dll",
    "shell32.dll", "shlwapi.dll", "user32.dll", "usp10.dll", "wintrust.dll", "wldap32.dll",
    "ws2_32.dll",
}

DLL_NAME = re.compile(r"^\s*DLL Name:\s*(\S+)\s*$", re.MULTILINE)


def imports_of(objdump, exe):
    run = subprocess.run([objdump, "-p", exe], capture_output=True, text=True)
    if run.returncode != 0:
        raise RuntimeError(f"{exe}: {objdump} failed: {run.stderr.strip()}")
    output = run.stdout
    names = DLL_NAME.findall(output)
    if "Import Tables" not in output and not names:
        raise RuntimeError(f"{exe}: objdump shows no import table")
    return names


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("exes", nargs="+")
    args = parser.parse_args()
    failed = False
    for exe in args.exes:
        try:
            names = imports_of(args.objdump, exe)
        except RuntimeError as error:
            print(error)
            failed = True
            continue
        bad = sorted({name for name in names if name.lower() not in KNOWN_DLLS}, key=str.lower)
        if bad:
            failed = True
            print(f"{exe}: imports DLLs outside KnownDLLs: {', '.join(bad)}")
        else:
            print(f"{exe}: {len(names)} imported DLLs, all KnownDLLs: {', '.join(names)}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
