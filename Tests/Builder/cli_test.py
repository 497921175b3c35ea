#!/usr/bin/env python3
"""The onesetup command as a user meets it: help, exit codes, one-line errors, and the demo
project built, inspected and extracted back to its sources.

usage: cli_test.py ONESETUP DEMO_DIR STUB WORKDIR
"""
import filecmp
import os
import shutil
import subprocess
import sys

tool, demo, stub, work = sys.argv[1:5]
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
failures = []


def run(*args, stdin=None):
    return subprocess.run([tool, *args], capture_output=True, timeout=300, stdin=subprocess.DEVNULL)


def check(condition, what):
    if not condition:
        failures.append(what)


def one_line_error(result, code, *fragments):
    err = result.stderr.decode("utf-8")
    check(result.returncode == code, f"exit {result.returncode} (expected {code}) for {err!r}")
    check(err.count("\n") == 1, f"not one line: {err!r}")
    for fragment in fragments:
        check(fragment in err, f"{fragment!r} missing from {err!r}")


# Help for the tool and every verb.
result = run("--help")
check(result.returncode == 0 and b"build" in result.stdout, "onesetup --help")
for verb in ("build", "check", "new", "inspect", "extract", "encode", "decode"):
    result = run(verb, "--help")
    check(result.returncode == 0 and result.stdout.startswith(b"usage: onesetup " + verb.encode()),
          f"{verb} --help")
check(run().returncode == 2, "no arguments")
result = run("--version")
check(result.returncode == 0 and result.stdout.startswith(b"onesetup 0."), f"--version: {result.stdout!r}")

# Mistakes: usage errors exit 2, failures exit 1, each in one line naming what and where.
one_line_error(run("frobnicate"), 2, "unknown command")
one_line_error(run("build", "--fast", "x.xml"), 2, "unknown option --fast")
one_line_error(run("build", os.path.join(work, "missing.xml"), "--stub", stub), 1, "missing.xml", "no such project")
one_line_error(run("build", os.path.join(demo, "Demo.xml"), "--stub", os.path.join(demo, "Demo.png")), 1,
               "Demo.png", "not a PE")
one_line_error(run("inspect", os.path.join(demo, "License.txt")), 1, "License.txt")
one_line_error(run("decode", os.path.join(demo, "License.txt"), os.path.join(work, "x")), 1, "License.txt", "Error")
one_line_error(run("extract", "x.exe"), 2, "-o DIR")

# The demo project: build, inspect, extract.
out = os.path.join(work, "out")
result = run("build", os.path.join(demo, "Demo.xml"), "-o", out, "--stub", stub)
check(result.returncode == 0, f"build failed: {result.stderr!r}")
full = os.path.join(out, "OnesetupDemoSetup.exe")
mini = os.path.join(out, "OnesetupDemoMini.exe")
check(os.path.exists(full) and os.path.exists(mini), "both installers written")
check(b"OnesetupDemoSetup.exe" in result.stdout, "build reports what it wrote")
check(f"  stub: {stub}\n".encode() in result.stdout, "a given stub is reported by its path")

result = run("inspect", full)
text = result.stdout.decode("utf-8")
check(result.returncode == 0 and "full installer" in text and "Onesetup 演示" in text, "inspect full")
check("(file data)" in text and "(product icon)" in text and "(licence)" in text, "inspect lists roles")
check("mini installer" in run("inspect", mini).stdout.decode("utf-8"), "inspect mini")
xml = run("inspect", "--xml", full).stdout
check(xml.startswith(b'<?xml version="1.0" encoding="utf-8"?>\r\n<TSetupScript>\r\n'), "inspect --xml")

extracted = os.path.join(work, "x")
check(run("extract", full, "-o", extracted, "-q").returncode == 0, "extract")
for folder, target in (("files", "app"), ("bin", os.path.join("app", "bin"))):
    source = os.path.join(demo, folder)
    for root, _, names in os.walk(source):
        for name in names:
            relative = os.path.relpath(os.path.join(root, name), source)
            copy = os.path.join(extracted, target, relative)
            check(os.path.exists(copy) and filecmp.cmp(os.path.join(root, name), copy, shallow=False),
                  f"extracted {relative} differs")

# The check: the demo is clean; a starter project is too, until a mistake is made in it.
result = run("check", os.path.join(demo, "Demo.xml"))
check(result.returncode == 0 and not result.stderr, f"check demo: {result.stderr!r}")
starter = os.path.join(work, "starter")
check(run("new", starter).returncode == 0, "new")
one_line_error(run("new", starter), 1, "not empty")
project = os.path.join(starter, "Project.xml")
check(run("check", project).returncode == 0, "check starter")
with open(project, encoding="utf-8") as f:
    text = f.read()
with open(project, "w", encoding="utf-8") as f:
    f.write(text.replace(r'DstFile="{app}\ReadMe.txt"', r'DstFile="{app}\Missing.txt"'))
result = run("check", project)
err = result.stderr.decode("utf-8")
check(result.returncode == 0 and f"{project}:35:38: warning: the shortcut's target" in err, f"warning: {err!r}")
check(run("check", project, "--werror").returncode == 1, "check --werror")
built = os.path.join(work, "starter-out")
check(run("build", project, "-o", built, "--stub", stub, "--werror").returncode == 1
      and not os.path.exists(built), "build --werror refuses")
with open(project, "w", encoding="utf-8") as f:
    f.write(text.replace('IncludeSubPath="True"', 'IncludeSubPath="Maybe"'))
result = run("build", project, "-o", built, "--stub", stub)
err = result.stderr.decode("utf-8")
check(result.returncode == 1 and ":16:91: error: 'Maybe'" in err and "nothing built" in err and not os.path.exists(built),
      f"build refuses errors: {err!r}")

# Decode gives back what encode made, through files and through standard output.
encoded = os.path.join(work, "License.enc")
check(run("encode", os.path.join(demo, "License.txt"), "-o", encoded).returncode == 0, "encode")
decoded = run("decode", encoded).stdout
with open(os.path.join(demo, "License.txt"), "rb") as f:
    check(decoded == f.read(), "decode to standard output")

# Rebuilding gives the same bytes.
again = os.path.join(work, "again")
run("build", os.path.join(demo, "Demo.xml"), "-o", again, "--stub", stub, "-q")
check(filecmp.cmp(full, os.path.join(again, "OnesetupDemoSetup.exe"), shallow=False), "reproducible full")
check(filecmp.cmp(mini, os.path.join(again, "OnesetupDemoMini.exe"), shallow=False), "reproducible mini")

for failure in failures:
    print("FAIL:", failure)
print(f"{len(failures)} failures")
sys.exit(1 if failures else 0)
