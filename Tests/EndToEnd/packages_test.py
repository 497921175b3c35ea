#!/usr/bin/env python3
"""The release packages as a vendor gets them. The Windows zip, unpacked on drive C:, builds the
starter project with onesetup.exe under 64-bit Wine, and the installer it writes puts the files
in place with /Silent; the Linux archive, unpacked anywhere, builds the same project without
options; the Debian package holds the same programs. Each carries the release programs, never
the test stubs. The two builders make the same bytes of the same project, with either
compression.

usage: packages_test.py ZIP ARCHIVE DEB STUB_DIR WORKDIR

The packages are what the package target made: tools/test builds it before the tests.
"""
import filecmp
import functools
import os
import shutil
import subprocess
import sys
import tarfile
import tempfile
import zipfile

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import harness  # noqa: E402
from harness import c_path, check, failures  # noqa: E402

ZIP, ARCHIVE, DEB, STUBS, WORK = sys.argv[1:6]
PROGRAMS = [f"{kind}-{arch}.exe" for kind in ("Setup", "Uninstall") for arch in ("x86", "x64")]
UNPACKED = "C:\\onesetup-package"
APP = "C:\\Program Files\\Starter"
run = functools.partial(harness.run, folder=WORK, timeout=120)


for path in (ZIP, ARCHIVE, DEB):
    if not os.path.isfile(path):
        sys.exit(f"no {path}: build the package target first")


def release_programs(folder, what):
    for name in PROGRAMS:
        path = os.path.join(folder, name)
        check(os.path.isfile(path) and filecmp.cmp(path, os.path.join(STUBS, name), shallow=False),
              f"{what}: {name} is not the release program")


def shipped_report(output, arch, what):
    for line in (f"stub: Setup-{arch}.exe (shipped with onesetup)",
                 f"uninstaller: Uninstall-{arch}.exe (shipped with onesetup)"):
        check(line in output, f"{what}: no '{line}' in {output!r}")


shutil.rmtree(WORK, ignore_errors=True)
os.makedirs(WORK)

# Windows: unpacked on drive C:, the starter project built in place for x64, then installed.
with zipfile.ZipFile(ZIP) as archive:
    names = archive.namelist()
    check(not any("TestStub" in name for name in names), f"a test stub in the zip: {names}")
    shutil.rmtree(c_path(UNPACKED), ignore_errors=True)
    archive.extractall(c_path(UNPACKED))
# Each archive holds one folder, named as the archive.
home = UNPACKED + "\\" + os.path.basename(ZIP)[:-len(".zip")]
release_programs(c_path(home + "\\stubs"), "zip")
check(os.path.isfile(c_path(home + "\\README.md")), "zip: no README.md")
code, out, err = run(home + "\\onesetup.exe", "build", home + "\\starter\\Project.xml", "--arch", "x64")
check(code == 0, f"onesetup.exe build: exit code {code} {err!r}")
shipped_report(out, "x64", "onesetup.exe")
shutil.rmtree(c_path(APP), ignore_errors=True)
code, _, err = run(home + "\\starter\\Starter Setup.exe", "/Silent")
check(code == 0, f"Starter Setup.exe /Silent: exit code {code} {err!r}")
for name in ("ReadMe.txt", "data\\Settings.ini"):
    check(os.path.isfile(c_path(f"{APP}\\{name}"))
          and filecmp.cmp(c_path(f"{APP}\\{name}"), c_path(f"{home}\\starter\\files\\{name}"), shallow=False),
          f"installed {name} missing or different")
uninstaller = c_path(APP + "\\Uninstall.exe")
check(os.path.isfile(uninstaller) and filecmp.cmp(uninstaller, os.path.join(STUBS, "Uninstall-x64.exe"),
                                                  shallow=False), "the shipped uninstaller is not installed")
# The shipped uninstaller takes it all away again, which leaves the shared prefix as it was.
code, _, err = run(APP + "\\Uninstall.exe", "/SILENT")
check(code == 0 and not os.path.exists(c_path(APP + "\\ReadMe.txt")), f"uninstall: exit code {code} {err!r}")

# Linux: unpacked into a temporary folder, the same project built without options.
windows_home = home
windows_project = c_path(f"{home}\\starter\\Project.xml")
with tempfile.TemporaryDirectory() as folder:
    with tarfile.open(ARCHIVE) as archive:
        archive.extractall(folder)
    home = os.path.join(folder, os.path.basename(ARCHIVE)[:-len(".tar.gz")])
    release_programs(os.path.join(home, "share", "onesetup", "stubs"), "archive")
    check(os.path.isfile(os.path.join(home, "share", "doc", "onesetup", "README.md")), "archive: no README.md")
    project = os.path.join(home, "share", "onesetup", "starter", "Project.xml")
    check(filecmp.cmp(project, windows_project, shallow=False), "the archive's starter is not the zip's")
    result = subprocess.run([os.path.join(home, "bin", "onesetup"), "build", project, "-o", folder],
                            capture_output=True, text=True, timeout=120)
    check(result.returncode == 0, f"onesetup build: exit code {result.returncode} {result.stderr!r}")
    shipped_report(result.stdout, "x86", "onesetup")
    # Both builders on the zip's starter, its times made whole seconds: Wine reports no less.
    for root, _, names in os.walk(os.path.dirname(windows_project)):
        for name in names:
            stamp = int(os.stat(os.path.join(root, name)).st_mtime)
            os.utime(os.path.join(root, name), (stamp, stamp))
    for compression in ("zlib", "zstd"):
        linux_out = os.path.join(folder, "linux-" + compression)
        built = subprocess.run([os.path.join(home, "bin", "onesetup"), "build", windows_project, "-o", linux_out,
                                "--compression", compression, "-q"], capture_output=True, text=True, timeout=120)
        code, _, err = run(windows_home + "\\onesetup.exe", "build", windows_home + "\\starter\\Project.xml",
                           "-o", f"{UNPACKED}\\windows-{compression}", "--compression", compression, "-q")
        check(built.returncode == 0 and code == 0, f"{compression}: builds {built.stderr!r} {err!r}")
        check(filecmp.cmp(os.path.join(linux_out, "Starter Setup.exe"),
                          c_path(f"{UNPACKED}\\windows-{compression}\\Starter Setup.exe"), shallow=False),
              f"{compression}: the Windows and the Linux builder made different installers")
shutil.rmtree(c_path(UNPACKED))

# Debian: the same programs under /usr.
listing = subprocess.run(["dpkg-deb", "-c", DEB], capture_output=True,
                         text=True, check=True).stdout
paths = {line.split()[-1] for line in listing.splitlines()}
for path in ["./usr/bin/onesetup", "./usr/share/doc/onesetup/README.md", "./usr/share/onesetup/starter/Project.xml",
             *(f"./usr/share/onesetup/stubs/{name}" for name in PROGRAMS)]:
    check(path in paths, f"deb: no {path}")
check("TestStub" not in listing and "onesetup.exe" not in listing, f"deb: more than it should: {listing}")

print(f"{len(failures)} failures")
sys.exit(1 if failures else 0)
