#!/usr/bin/env python3
"""The onesetup command as a user meets it: help, exit codes, one-line errors, and the demo
project built, inspected and extracted back to its sources.

usage: cli_test.py ONESETUP DEMO_DIR STUB WORKDIR
"""
import filecmp
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys

import yaml

tool, demo, stub, work = sys.argv[1:5]
sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import signing  # noqa: E402
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
failures = []


def run(*args, env=None):
    return subprocess.run([tool, *args], capture_output=True, timeout=300, stdin=subprocess.DEVNULL,
                          env=env)


def check(condition, what):
    if not condition:
        failures.append(what)


def one_line_error(result, code, *fragments):
    err = result.stderr.decode("utf-8")
    check(result.returncode == code, f"exit {result.returncode} (expected {code}) for {err!r}")
    check(err.count("\n") == 1, f"not one line: {err!r}")
    for fragment in fragments:
        check(fragment in err, f"{fragment!r} missing from {err!r}")


# The winget manifest's fields (schema 1.10.0, from its JSON schemas): the required ones and those a
# build may write, name -> (required, rule); a rule is a pattern, the allowed values, int (a non-zero
# exit code), a dict (an object) or a list of one dict (a list of objects).
def text(low, high): return rf"(?s).{{{low},{high}}}"  # noqa: E704


PART, URL = r'[^.\s\\/:*?"<>|\x01-\x1f]{1,32}', r"[Hh][Tt][Tt][Pp][Ss]?://.+"
LOCALE = r"([a-zA-Z]{2,3}|[iI]-[a-zA-Z]+|[xX]-[a-zA-Z]{1,8})(-[a-zA-Z]{1,8})*"
COMMON = {"PackageIdentifier": (1, rf"{PART}(\.{PART}){{1,7}}"), "ManifestVersion": (1, ["1.10.0"]),
          "PackageVersion": (1, r'[^\\/:*?"<>|\x01-\x1f]{1,128}')}
SCHEMA = {"version": {**COMMON, "ManifestType": (1, ["version"]), "DefaultLocale": (1, LOCALE)},
          "defaultLocale": {**COMMON, "ManifestType": (1, ["defaultLocale"]), "PackageLocale": (1, LOCALE),
                            "Publisher": (1, text(2, 256)), "PackageName": (1, text(2, 256)),
                            "License": (1, text(3, 512)), "ShortDescription": (1, text(3, 256)),
                            "Copyright": (0, text(3, 512)), "PublisherUrl": (0, URL), "PackageUrl": (0, URL)},
          "installer": {**COMMON, "ManifestType": (1, ["installer"]), "Scope": (0, ["user", "machine"]),
                        "InstallerType": (0, "msix msi appx exe zip inno nullsoft wix burn pwa portable advinstExe "
                                             "advinstMsi".split()),
                        "InstallerSwitches": (0, {k: (0, text(1, 512)) for k in "Silent SilentWithProgress Interactive "
                                                  "InstallLocation Log Upgrade Custom Repair".split()}),
                        "ExpectedReturnCodes": (0, [{"InstallerReturnCode": (1, int), "ReturnResponse": (1, """
                            packageInUse packageInUseByApplication installInProgress fileInUse missingDependency
                            diskFull insufficientMemory invalidParameter noNetwork contactSupport rebootRequiredToFinish
                            rebootRequiredForInstall rebootInitiated cancelledByUser alreadyInstalled downgrade
                            blockedByPolicy systemNotSupported custom""".split())}]),
                        "ProductCode": (0, text(1, 255)),
                        "AppsAndFeaturesEntries": (0, [{"DisplayName": (0, text(1, 256)), "Publisher": (0, text(1, 256)),
                                                        "DisplayVersion": (0, text(1, 128)),
                                                        "ProductCode": (0, text(1, 255))}]),
                        "Installers": (1, [{"Architecture": (1, ["x86", "x64", "arm", "arm64", "neutral"]),
                                            "InstallerUrl": (1, URL), "InstallerSha256": (1, "[A-Fa-f0-9]{64}")}])}}


def conforms(value, rule, where):
    if isinstance(rule, dict):
        check(isinstance(value, dict), f"{where}: not an object")
        for name, item in (value.items() if isinstance(value, dict) else ()):
            check(name in rule, f"{where}: unknown field {name}")
            conforms(item, rule.get(name, (0, None))[1], f"{where}.{name}")
        check(all(name in (value or ()) for name, (required, _) in rule.items() if required), f"{where}: incomplete")
    elif isinstance(rule, list) and isinstance(rule[0], dict):
        check(isinstance(value, list) and value, f"{where}: not a list")
        for item in value if isinstance(value, list) else ():
            conforms(item, rule[0], where)
    elif rule is int:
        check(type(value) is int and value != 0, f"{where}: {value!r}")
    elif isinstance(rule, list):
        check(value in rule, f"{where}: {value!r} is not one of the values")
    elif rule:
        check(isinstance(value, str) and re.fullmatch(rule, value), f"{where}: {value!r}")


# The three files of a manifest, checked against the schema, each other and the installer.
def winget_manifest(folder, installer):
    docs = {}
    for name in os.listdir(folder):
        with open(os.path.join(folder, name), encoding="utf-8") as f:
            header, doc = f.readline(), yaml.safe_load(f)
        kind = doc.get("ManifestType")
        docs[kind] = doc
        check(header == f"# yaml-language-server: $schema=https://aka.ms/winget-manifest.{kind}.1.10.0.schema.json\n",
              f"{name}: {header!r}")
        conforms(doc, SCHEMA.get(kind, {}), name)
    package = docs["version"]["PackageIdentifier"]
    check(sorted(os.listdir(folder)) == [f"{package}.installer.yaml", f"{package}.locale.zh-CN.yaml", f"{package}.yaml"]
          and len({(doc["PackageIdentifier"], doc["PackageVersion"]) for doc in docs.values()}) == 1
          and docs["version"]["DefaultLocale"] == docs["defaultLocale"]["PackageLocale"], f"manifest: {docs}")
    with open(installer, "rb") as f:
        check(docs["installer"]["Installers"][0]["InstallerSha256"] == hashlib.sha256(f.read()).hexdigest().upper(),
              "InstallerSha256 is not the installer's")
    return docs


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



def check_extract(installer, extracted):
    check(run("extract", installer, "-o", extracted, "-q").returncode == 0, f"extract {installer}")
    for folder, target in (("files", "app"), ("bin", os.path.join("app", "bin"))):
        source = os.path.join(demo, folder)
        for root, _, names in os.walk(source):
            for name in names:
                relative = os.path.relpath(os.path.join(root, name), source)
                copy = os.path.join(extracted, target, relative)
                check(os.path.exists(copy) and filecmp.cmp(os.path.join(root, name), copy, shallow=False),
                      f"extracted {relative} differs")


check_extract(full, os.path.join(work, "x"))
# Solid zstd: smaller, shown by inspect, extracted the same; the same bytes again.
for out in ("solid", "solid-again"):
    run("build", os.path.join(demo, "Demo.xml"), "-o", os.path.join(work, out), "--stub", stub, "-q",
        "--compression", "zstd")
solid = os.path.join(work, "solid", "OnesetupDemoSetup.exe")
check(os.path.getsize(solid) < os.path.getsize(full), "a solid package is not smaller")
check(filecmp.cmp(solid, os.path.join(work, "solid-again", "OnesetupDemoSetup.exe"), shallow=False),
      "reproducible solid package")
text = run("inspect", solid).stdout.decode("utf-8")
check("  Compression: zstd, solid: 1 blocks" in text and "every one as built" in text, f"inspect solid: {text!r}")
check_extract(solid, os.path.join(work, "solid-x"))
one_line_error(run("build", "x.xml", "--stub", stub, "--compression", "lzma"), 2, "zlib or zstd")

# The check: the demo is clean; a starter project is too, until a mistake is made in it.
result = run("check", os.path.join(demo, "Demo.xml"))
check(result.returncode == 0 and not result.stderr, f"check demo: {result.stderr!r}")
starter = os.path.join(work, "starter")
check(run("new", starter).returncode == 0, "new")
one_line_error(run("new", starter), 1, "not empty")
project = os.path.join(starter, "Project.xml")
check(run("check", project).returncode == 0, "check starter")
# The manifest's refusals come before the build: nothing is written.
winget, built = os.path.join(work, "winget"), os.path.join(work, "starter-out")
for options, fragment in ((["--winget", winget], "needs --winget-url"),
                          (["--winget", winget, "--winget-url", "https://x/s.exe"], "needs the project's CompanyName")):
    one_line_error(run("build", project, "-o", built, "--stub", stub, *options), 2, fragment)
    check(not os.path.exists(built) and not os.path.exists(winget), f"built despite {fragment}")
with open(project, encoding="utf-8") as f:
    text = f.read()
with open(project, "w", encoding="utf-8") as f:
    f.write(text.replace(r'DstFile="{app}\ReadMe.txt"', r'DstFile="{app}\Missing.txt"'))
result = run("check", project)
err = result.stderr.decode("utf-8")
check(result.returncode == 0 and f"{project}:37:38: warning: the shortcut's target" in err, f"warning: {err!r}")
check(run("check", project, "--werror").returncode == 1, "check --werror")
check(run("build", project, "-o", built, "--stub", stub, "--werror").returncode == 1
      and not os.path.exists(built), "build --werror refuses")
with open(project, "w", encoding="utf-8") as f:
    f.write(text.replace('IncludeSubPath="True"', 'IncludeSubPath="Maybe"'))
result = run("build", project, "-o", built, "--stub", stub)
err = result.stderr.decode("utf-8")
check(result.returncode == 1 and ":18:91: error: 'Maybe'" in err and "nothing built" in err and not os.path.exists(built),
      f"build refuses errors: {err!r}")
# A company whose name YAML must escape and the package identifier must drop characters of.
with open(project, "w", encoding="utf-8") as f:
    f.write(text.replace('CompanyName=""', r'CompanyName="Ex\ample &quot;Soft&quot; 有限公司"'))
check(run("build", project, "-o", built, "--stub", stub, "-q", "--winget", winget, "--winget-url", "http://x/s.exe")
      .returncode == 0, "starter build with --winget")
docs = winget_manifest(winget, os.path.join(built, "starter Setup.exe"))
check(docs["defaultLocale"]["Publisher"] == 'Ex\\ample "Soft" 有限公司' and docs["version"]["PackageIdentifier"]
      == "ExampleSoft有限公司.starter" and docs["defaultLocale"]["License"] == "Licence agreement for starter", f"{docs}")

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

# Signing: a throw-away code-signing certificate in a PKCS#12 with a password, and an expired one.
keys = os.path.join(work, "keys")
os.makedirs(keys)


def openssl(*args):
    subprocess.run(["openssl", *args], cwd=keys, check=True, capture_output=True, stdin=subprocess.DEVNULL)


password = "pa55 w0rd"
with open(os.path.join(keys, "pass.txt"), "w") as f:
    f.write(password + "\n")
with open(os.path.join(keys, "wrong.txt"), "w") as f:
    f.write("wrong\n")
with open(os.path.join(keys, "ca.cnf"), "w") as f:
    f.write("[ca]\ndefault_ca=d\n[d]\ndatabase=index.txt\nnew_certs_dir=.\nserial=serial\n"
            "default_md=sha256\npolicy=p\n[p]\ncommonName=supplied\n[ext]\nextendedKeyUsage=codeSigning\n")
open(os.path.join(keys, "index.txt"), "w").close()
with open(os.path.join(keys, "serial"), "w") as f:
    f.write("01\n")
openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "key.pem", "-out", "cert.pem", "-days", "30",
        "-subj", "/O=Onesetup Tests/CN=Onesetup Test Signer", "-addext", "extendedKeyUsage=codeSigning")
openssl("pkcs12", "-export", "-inkey", "key.pem", "-in", "cert.pem", "-out", "cert.pfx", "-passout", "file:pass.txt")
openssl("req", "-new", "-key", "key.pem", "-subj", "/CN=Expired Signer", "-out", "expired.csr")
openssl("ca", "-batch", "-config", "ca.cnf", "-selfsign", "-keyfile", "key.pem", "-in", "expired.csr",
        "-startdate", "20200101000000Z", "-enddate", "20200201000000Z", "-extensions", "ext", "-out", "expired.pem")
openssl("pkcs12", "-export", "-inkey", "key.pem", "-in", "expired.pem", "-out", "expired.pfx", "-passout", "pass:")
pfx = os.path.join(keys, "cert.pfx")
sign = ["--sign", pfx, "--sign-password-file", os.path.join(keys, "pass.txt")]

# The second build goes through a wrapper that records the signer's command lines.
wrapper = os.path.join(work, "wrapper")
os.makedirs(wrapper)
with open(os.path.join(wrapper, "osslsigncode"), "w") as f:
    f.write(f'#!/bin/sh\necho "$@" >> {wrapper}/log\nexec {shutil.which("osslsigncode")} "$@"\n')
os.chmod(os.path.join(wrapper, "osslsigncode"), 0o755)
signed = [os.path.join(work, "signed1"), os.path.join(work, "signed2")]
winget = os.path.join(work, "winget-signed")
for out, path, extra in zip(signed, (os.environ["PATH"], wrapper + os.pathsep + os.environ["PATH"]),
                            (["--winget", winget, "--winget-url", "https://example.com/dl/Setup.exe"], [])):
    result = run("build", os.path.join(demo, "Demo.xml"), "-o", out, "--stub", stub, *sign, *extra,
                 env=dict(os.environ, PATH=path))
    report = result.stdout.decode("utf-8") + result.stderr.decode("utf-8")
    check(result.returncode == 0, f"signed build: {report!r}")
    check(not extra or f"{winget}: winget manifest of OnesetupDemo&Co.OnesetupDemo 1.2.0.7" in report, report)
    check("signed by Onesetup Test Signer (SHA-256, not time-stamped)" in report
          and "Uninstall.exe, signed" in report and "(mini installer, signed)" in report, f"report: {report!r}")
    check(password not in report, "the password is in the report")
    check(sorted(os.listdir(out)) == ["OnesetupDemoMini.exe", "OnesetupDemoSetup.exe"],
          f"left in the output: {os.listdir(out)}")
with open(os.path.join(wrapper, "log")) as f:
    calls = f.read()
check(calls.count("-readpass") == 4 and password not in calls, f"signer calls: {calls!r}")
for name in ("OnesetupDemoSetup.exe", "OnesetupDemoMini.exe"):
    check(filecmp.cmp(*(os.path.join(out, name) for out in signed), shallow=False), f"reproducible signed {name}")

signed_full = os.path.join(signed[0], "OnesetupDemoSetup.exe")
signed_mini = os.path.join(signed[0], "OnesetupDemoMini.exe")
# The manifest of the signed installer names the uninstall entry as the installer writes it.
installer = winget_manifest(winget, signed_full)["installer"]
check(installer["ProductCode"] == "{0C5E1A37-7B2D-4F6A-9D84-3E1F5B2A6C90}_vm" and installer["AppsAndFeaturesEntries"]
      == [{"DisplayName": "Onesetup 演示 版本 1.2.0.7", "Publisher": "Onesetup Demo & Co.", "DisplayVersion": "1.2.0.7",
           "ProductCode": installer["ProductCode"]}], f"winget installer: {installer}")
matches = "signed by Onesetup Test Signer; its SHA-256 digest matches the file"
text = run("inspect", signed_full).stdout.decode("utf-8")
check(f"  Signature: {matches}\n  Uninstaller: {matches}\n" in text, f"inspect signed full: {text!r}")
with open(signed_full, "rb") as f:
    pin = hashlib.sha256(f.read()).hexdigest()
text = run("inspect", signed_mini).stdout.decode("utf-8")
check(f"  Signature: {matches}\n  Pinned full installer: SHA-256 {pin}\n" in text, f"inspect signed mini: {text!r}")
check("  Signature: not signed\n  Uninstaller: not signed\n" in run("inspect", full).stdout.decode("utf-8"),
      "inspect unsigned")
check_extract(signed_full, os.path.join(work, "signed-x"))

# One byte of code changed after signing: the digest no longer matches.
with open(signed_full, "rb") as f:
    image = bytearray(f.read())
pe = struct.unpack_from("<I", image, 0x3C)[0]
sections = pe + 24 + struct.unpack_from("<H", image, pe + 20)[0]
code = struct.unpack_from("<I", image, sections + 20)[0]
image[code + 16] ^= 1
tampered = os.path.join(work, "tampered.exe")
with open(tampered, "wb") as f:
    f.write(image)
text = run("inspect", tampered).stdout.decode("utf-8")
check("SHA-256 digest does not match the file" in text, f"inspect tampered: {text!r}")

# A key in a token through PKCS#11 (SoftHSM2 in a folder of this test's): every program signed by
# the token's certificate, the same bytes whether the certificate comes from the token or from a
# file, and the PIN never on a command line.
token = signing.token(os.path.join(work, "token"), "Onesetup Token Signer")
pin = open(token[-1]).read().strip()
open(os.path.join(wrapper, "log"), "w").close()
by_token = [os.path.join(work, "token1"), os.path.join(work, "token2")]
for out, extra, path in ((by_token[0], [], os.environ["PATH"]),
                         (by_token[1], ["--sign-cert", os.path.join(work, "token", "Onesetup Token Signer.pem")],
                          wrapper + os.pathsep + os.environ["PATH"])):
    result = run("build", os.path.join(demo, "Demo.xml"), "-o", out, "--stub", stub, *token, *extra,
                 env=dict(os.environ, PATH=path))
    report = result.stdout.decode("utf-8") + result.stderr.decode("utf-8")
    check(result.returncode == 0 and "signed by Onesetup Token Signer (SHA-256, not time-stamped)" in report
          and "Uninstall.exe, signed" in report and "(mini installer, signed)" in report, f"token build: {report!r}")
with open(os.path.join(wrapper, "log")) as f:
    calls = f.read()
check(calls.count("-pkcs11module") == 4 and pin not in calls, f"token signer calls: {calls!r}")
token_matches = "signed by Onesetup Token Signer; its SHA-256 digest matches the file"
for name, second in (("OnesetupDemoSetup.exe", "Uninstaller"), ("OnesetupDemoMini.exe", "Pinned full installer")):
    check(filecmp.cmp(*(os.path.join(out, name) for out in by_token), shallow=False), f"reproducible token {name}")
    text = run("inspect", os.path.join(by_token[0], name)).stdout.decode("utf-8")
    check(f"  Signature: {token_matches}\n" in text and
          (second != "Uninstaller" or f"  Uninstaller: {token_matches}\n" in text), f"inspect token {name}: {text!r}")

# Any signer through a command, split as a shell would and run without one: {file} is one
# argument, spaces and all; the uninstaller is signed first, then the full and the mini installer.
signer = os.path.join(work, "signer.py")
with open(signer, "w") as f:
    f.write(f"""import os, subprocess, sys
mode, log, target = sys.argv[1:4]
with open(log, "a") as f:
    f.write(target + "\\n")
if mode == "fail":
    print("signer: asking the service")
    sys.exit("signer: the service refused the request")
if mode != "unsigned":
    subprocess.run(["osslsigncode", "sign", "-pkcs12", {pfx!r}, "-readpass", {os.path.join(keys, "pass.txt")!r},
                    "-h", "sha256", "-in", target, "-out", target + ".tmp"], check=True, capture_output=True)
    os.replace(target + ".tmp", target)
if mode == "corrupt":
    with open(target, "r+b") as f:
        f.seek(1024)
        byte = f.read(1)[0]
        f.seek(1024)
        f.write(bytes([byte ^ 1]))
""")
log = os.path.join(work, "signer.log")


def command(mode):
    return ["--sign-command", f"{sys.executable} '{signer}' {mode} \"$SIGNER_LOG\" {{file}}"]


os.environ["SIGNER_LOG"] = log
out = os.path.join(work, "signed by command")
result = run("build", os.path.join(demo, "Demo.xml"), "-o", out, "--stub", stub, *command("ok"))
report = result.stdout.decode("utf-8") + result.stderr.decode("utf-8")
check(result.returncode == 0 and "signed by Onesetup Test Signer (SHA-256, by the signing command)" in report,
      f"command build: {report!r}")
with open(log) as f:
    signed_files = f.read().splitlines()
check(signed_files == [os.path.join(out, name) for name in
                       ("OnesetupDemoSetup.exe.Uninstall.signing.exe", "OnesetupDemoSetup.signing.exe",
                        "OnesetupDemoMini.signing.exe")], f"command signed {signed_files!r}")
text = run("inspect", os.path.join(out, "OnesetupDemoSetup.exe")).stdout.decode("utf-8")
check(f"  Signature: {matches}\n  Uninstaller: {matches}\n" in text, f"inspect command-signed: {text!r}")

# Failures: one line each, and nothing left under the installers' names or beside them.
failed = os.path.join(work, "failed")
for options, env, fragments in (
        (token[:-1] + [os.path.join(keys, "wrong.txt")], None, ("the token refused the PIN", "PIN incorrect")),
        (["--sign-pkcs11", "pkcs11:token=Onesetup Token Signer;object=nothing"] + token[2:], None,
         ("object=nothing", "no such token, key or certificate")),
        (["--sign-pkcs11", token[1], "--pkcs11-module", os.path.join(keys, "none.so")], None,
         ("none.so", "cannot read the PKCS#11 module")),
        (command("fail"), None, ("Uninstall-", "the signing command failed (exit code 1): signer: the service refused")),
        (command("unsigned"), None, ("Uninstall-", "left the file unsigned")),
        (command("corrupt"), None, ("Uninstall-", "does not match the file")),
        (["--sign", pfx, "--sign-password-file", os.path.join(keys, "wrong.txt")], None,
         ("cert.pfx", "wrong password")),
        (["--sign", pfx], None, ("cert.pfx", "--sign-password-file")),
        (["--sign", os.path.join(keys, "expired.pfx")], None, ("expired.pfx", "expired on 2020-02-01")),
        (["--sign", os.path.join(keys, "none.pfx")], None, ("none.pfx", "cannot read")),
        (sign, dict(os.environ, PATH=keys), ("osslsigncode", "apt-get install osslsigncode")),
        (sign + ["--timestamp", "http://127.0.0.1:9"], None, ("Uninstall-", "time-stamping at http://127.0.0.1:9 failed"))):
    shutil.rmtree(failed, ignore_errors=True)
    one_line_error(run("build", os.path.join(demo, "Demo.xml"), "-o", failed, "--stub", stub, *options, env=env),
                   1, *fragments)
    check(not os.path.exists(failed) or not os.listdir(failed), f"left after {fragments}: {os.listdir(failed)}")
one_line_error(run("build", "x.xml", "--stub", stub, "--timestamp", "http://x"), 2, "go with --sign")
one_line_error(run("build", "x.xml", "--stub", stub, *sign, *command("ok")), 2, "three ways to sign")
one_line_error(run("build", os.path.join(demo, "Demo.xml"), "-o", failed, "--stub", stub, "--sign-command",
                   "no-such-signer {file}"), 1, "no-such-signer: the signing command's program is not on the PATH")
one_line_error(run("build", "x.xml", "--stub", stub, "--sign-command", "signer file"), 2, "no {file}")
one_line_error(run("build", "x.xml", "--stub", stub, "--sign-command", "signer 'file"), 2, "not closed")

# --no-pin: no pin resource, and a warning that says what still guards the download.
for options, warning in (([], "unless it is signed"), (sign, "the check of its signature still applies")):
    out = os.path.join(work, "unpinned")
    result = run("build", os.path.join(demo, "Demo.xml"), "-o", out, "--stub", stub, "--no-pin", "-q", *options)
    err = result.stderr.decode("utf-8")
    check(result.returncode == 0 and "warning: --no-pin" in err and "http://127.0.0.1:8080/OnesetupDemoSetup.exe" in err
          and warning in err, f"--no-pin warning: {err!r}")
    text = run("inspect", os.path.join(out, "OnesetupDemoMini.exe")).stdout.decode("utf-8")
    check("Pinned full installer: none" in text and "(pinned" not in text, f"inspect unpinned: {text!r}")

for failure in failures:
    print("FAIL:", failure)
print(f"{len(failures)} failures")
sys.exit(1 if failures else 0)
