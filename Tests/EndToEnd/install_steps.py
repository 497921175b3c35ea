#!/usr/bin/env python3
"""The installer's steps end to end under Wine, in a 64-bit prefix as 64-bit Windows runs them,
one group per run, on the installer STUB (the release x86 one where this machine runs 32-bit
programs):

  steps    a package installed with /Silent: files with their bytes and times, registry values,
           shortcuts, programs run, uninstall data and entry; then installed again while one of
           its programs runs
  locked   a target held open by another program in a long list: the copy failure dialog in /Auto
           mode while later files are decoded, exit code 8 in /Silent mode; a target written
           twice keeps the later item's file
  damaged  missing, corrupt or out-of-range file data: exit code 1 with a report on standard
           error before anything is written (where the package carries its digests), and an
           installed version left whole by a damaged upgrade
  uninstall  the uninstaller: /SILENT leaves the prefix as it was before the install (files and
           registry), keeps a user's file, ends a running program, survives an upgrade and a
           restart, refuses damaged data; its window declined, then used, with screenshots

usage: install_steps.py GROUP ONESETUP STUB PROGRAMS TAMPER WORKDIR [zlib|zstd]

PROGRAMS holds the test programs (x64, and a 32-bit Holder32.exe), TAMPER is the
package-damaging tool. Needs the environment
of the test command: WINEPREFIX (ready, with a running wineserver), DISPLAY, HOME.
"""
import datetime
import functools
import os
import pwd
import random
import re
import shutil
import struct
import subprocess
import sys
import time
import zlib

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import harness  # noqa: E402
from harness import (DRIVE_C, WINE, c_path, check, click, failures, keys, started,  # noqa: E402
                     type_text, visible_windows, wait_for, z_path)

GROUP, ONESETUP, STUB, PROGRAMS, TAMPER, WORK = sys.argv[1:7]
# zlib (the default), or zstd: the packages' compression.
COMPRESSION = sys.argv[7] if len(sys.argv) > 7 else "zlib"
ARCH = "x86" if STUB.endswith("x86.exe") else "x64"
# What the 32-bit installer sees as {pf} on 64-bit Windows.
PROGRAM_FILES = "C:\\Program Files (x86)" if ARCH == "x86" else "C:\\Program Files"
# One time zone without daylight saving for the builder, the installer and the checks: the
# builder reads a file's time with the offset of its date, the installer converts back with
# today's offset, and the two differ by an hour across a daylight-saving change.
os.environ["TZ"] = "UTC"
time.tzset()
DESKTOP = os.path.join(DRIVE_C, "users", pwd.getpwuid(os.getuid()).pw_name, "Desktop")
MENU = os.path.join(DRIVE_C, "ProgramData", "Microsoft", "Windows", "Start Menu", "Programs")
UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
run = functools.partial(harness.run, folder=WORK)
start = functools.partial(harness.start, folder=WORK)


def reg(*args):
    return subprocess.run([WINE, "reg", *args], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          timeout=30).returncode


def reg_values(key, view="/reg:32"):
    """{name: (type, value)} of KEY itself, None when it is missing. Exported as UTF-16, which
    keeps Chinese text intact."""
    target = os.path.join(WORK, "export.reg")
    if reg("export", key, z_path(target), view, "/y") != 0:
        return None
    with open(target, "rb") as f:
        section = f.read().decode("utf-16").split("\r\n\r\n")[1]
    values = {}
    for line in section.splitlines()[1:]:
        name, text, number = re.match(r'"((?:[^"\\]|\\.)*)"=(?:"(.*)"|dword:(\w{8})|.*)$', line).groups()
        values[reg_unescape(name)] = ("REG_SZ", reg_unescape(text)) if text is not None else \
            ("REG_DWORD", int(number, 16)) if number else ("OTHER", line)
    return values


def reg_unescape(text):
    return re.sub(r"\\(.)", r"\1", text)


def link_info(link):
    """Target and working directory of a shell link, read back through the system."""
    code, out, _ = run(os.path.join(PROGRAMS, "LinkInfo.exe"), z_path(link), timeout=30)
    return tuple(out.split("\n")[:2]) if code == 0 else None


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data, stamp_ns=None):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    if stamp_ns is not None:
        os.utime(path, ns=(stamp_ns, stamp_ns))


def stamp(*local, extra_ns=0):
    """A local date and time (with microseconds) as nanoseconds since the epoch."""
    moment = datetime.datetime(*local)
    return int(moment.timestamp()) * 10 ** 9 + moment.microsecond * 1000 + extra_ns


def icon_pixels(width, height):
    """RGBA rows of the test icon: colours and alpha vary, so a lossy re-encoding shows."""
    return [b"".join(bytes((y * 10 % 256, x * 6 % 256, 64, 255 if x < width // 2 else 128 + y))
                     for x in range(width)) for y in range(height)]


def png_pixels(data):
    """(width, height, RGBA rows) of an 8-bit, non-interlaced RGB or RGBA PNG file."""
    check(data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG file")
    chunks, at = {}, 8
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        chunks[kind] = chunks.get(kind, b"") + data[at + 8:at + 8 + length]
        at += 12 + length
    width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", chunks[b"IHDR"])
    if depth != 8 or colour not in (2, 6) or interlace:
        return width, height, None
    size = 4 if colour == 6 else 3
    raw, rows, previous = zlib.decompress(chunks[b"IDAT"]), [], bytes(width * size)
    for y in range(height):
        line = raw[y * (width * size + 1):(y + 1) * (width * size + 1)]
        kind, row = line[0], bytearray(line[1:])
        for i in range(len(row)):
            left = row[i - size] if i >= size else 0
            up, corner = previous[i], previous[i - size] if i >= size else 0
            if kind == 1:
                row[i] = (row[i] + left) & 255
            elif kind == 2:
                row[i] = (row[i] + up) & 255
            elif kind == 3:
                row[i] = (row[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                row[i] = (row[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
        previous = bytes(row)
        rows.append(previous if size == 4 else
                    b"".join(previous[i:i + 3] + b"\xff" for i in range(0, len(previous), 3)))
    return width, height, rows


def png(width, height):
    rows = b"".join(b"\0" + row for row in icon_pixels(width, height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) + \
        chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")


def build(folder, title, guid, app, lists, version="2.7.1.9"):
    """Builds FOLDER/Setup.exe from the sources already in FOLDER and the script's LISTS (XML),
    with a 40x24 icon."""
    write(os.path.join(folder, "Icon.png"), png(40, 24))
    with open(os.path.join(folder, "Project.xml"), "w", encoding="utf-8") as f:
        f.write(f"""<?xml version="1.0" encoding="utf-8"?>
<TSetupScript>
    <BaseInfo AppTitle="{title}" Version="{version}" GUID="{guid}" FullSetupFile="Setup.exe"
        CompanyName="步骤公司 E2EStep" CompanyUrl="https://example.com/e2estep"
        DefInstallPath="{app.rstrip(chr(92))}" IconFile="Icon.png"/>
    {lists}
</TSetupScript>
""")
    subprocess.run([ONESETUP, "build", os.path.join(folder, "Project.xml"), "-o", folder, "--stub", STUB,
                    "--compression", COMPRESSION,
                    "-q"], check=True, timeout=120)
    return os.path.join(folder, "Setup.exe")


def check_files(expected, what):
    """EXPECTED: {installed path: (source path, last-write time in ns, or None for any)}."""
    for target, (source, stamp_ns) in expected.items():
        if check(os.path.isfile(target), f"{what}: {target} missing"):
            with open(source, "rb") as a, open(target, "rb") as b:
                check(a.read() == b.read(), f"{what}: {target} differs from {source}")
            check(stamp_ns is None or os.stat(target).st_mtime_ns == stamp_ns,
                  f"{what}: {target} last-write {os.stat(target).st_mtime_ns}, expected {stamp_ns}")


def record(path):
    """The runs a Recorder wrote: [(current folder, command line)]."""
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8") as f:
        return [tuple(line.split("|", 1)) for line in f.read().splitlines()]


def decode(path):
    plain = os.path.join(WORK, os.path.basename(path) + ".plain")
    subprocess.run([ONESETUP, "decode", path, plain], check=True, timeout=60, stdout=subprocess.DEVNULL)
    return read(plain)


def clean(app, keys, paths):
    """Removes what an earlier run left: folders, links and registry keys of this group only."""
    for path in [c_path(app), *paths]:
        if os.path.isdir(path):
            shutil.rmtree(path)
        elif os.path.exists(path):
            os.remove(path)
    for key in keys:
        reg("delete", key, "/reg:32", "/f")
        reg("delete", key, "/reg:64", "/f")


# ---------------------------------------------------------------- steps

TITLE = "步骤测试 E2EStep"
GUID = "{E2E5A7E9-0001-4C1D-9A2B-5E7E95000001}"
APP = "C:\\E2EStep\\Steps\\"
MOVED = "C:\\E2EStep\\Moved\\"
KEY = "Software\\E2EStep\\Steps"


STEPS_LISTS = r"""
    <FileList><Items>
        <TSetupFile DestDir="{app}" SourcePath="files" SourceMask="*" IncludeSubPath="True"/>
        <TSetupFile DestDir="{app}config" SourcePath="extra" SourceMask="original.cfg"
            NewFileName="renamed.cfg"/>
        <TSetupFile DestDir="{app}bin" SourcePath="bin" SourceMask="*.exe"/>
        <TSetupFile DestDir="{app}" SourcePath="bin" SourceMask="E2EStepRecorder.exe"
            NewFileName="Uninstall.exe"/>
    </Items></FileList>
    <RegList><Items>
        <TSetupReg RootKey="rrkCurrentUser" SubKey="Software\E2EStep\Steps" ValueName="InstallDir"
            ValueData="{app}" ValueType="rvtString"/>
        <TSetupReg RootKey="rrkCurrentUser" SubKey="Software\E2EStep\Steps" ValueName="名称"
            ValueData="步骤测试 值" ValueType="rvtString"/>
        <TSetupReg RootKey="rrkCurrentUser" SubKey="Software\E2EStep\Steps\Sub\Deeper" ValueName="Level"
            ValueData="42" ValueType="rvtDWord"/>
        <TSetupReg RootKey="rrkLocalMachine" SubKey="Software\E2EStep\Steps" ValueName="Mask"
            ValueData="$FF" ValueType="rvtDWord"/>
        <TSetupReg RootKey="rrkLocalMachine" SubKey="Software\E2EStep\Steps" ValueName="Hex"
            ValueData="0x1f" ValueType="rvtDWord"/>
        <TSetupReg RootKey="rrkLocalMachine" SubKey="Software\E2EStep\Steps" ValueName="Negative"
            ValueData="-2" ValueType="rvtDWord"/>
        <TSetupReg RootKey="rrkLocalMachine" SubKey="Software\E2EStep\Steps" ValueName="Bin"
            ValueData="{app}\bin" ValueType="rvtString"/>
        <TSetupReg RootKey="rrkLocalMachine" SubKey="Software\E2EStep\Steps" ValueName="Programs"
            ValueData="{pf}" ValueType="rvtString"/>
    </Items></RegList>
    <ShortCutList><Items>
        <TSetupShortCut DstFile="{app}bin\E2EStepKeeper.exe" Name="步骤测试 E2EStep" SaveDir="{desktop}"
            WorkDir="{app}bin"/>
        <TSetupShortCut DstFile="{app}docs\说明.txt" Name="使用说明" SaveDir="{group}" WorkDir="{app}docs"/>
    </Items></ShortCutList>
    <RunList><Items>
        <TSetupRun FileName="{app}bin\E2EStepRecorder.exe" Params="--slow --stage wait &quot;{app}&quot;"
            Wait="True" WorkDir="{app}config"/>
        <TSetupRun FileName="{app}bin\E2EStepAfter.exe" Params="--stage after" Wait="False"
            WorkDir="{app}docs"/>
    </Items></RunList>"""


def steps_package():
    """The built installer and {installed path: (source, last-write ns)} of every file."""
    folder = os.path.join(WORK, "steps")
    base = stamp(2019, 3, 4, 5, 6, 7, 891000)
    sources = {
        "files/ReadMe.txt": (b"Read me first.\r\n" * 40, base),
        "files/docs/说明.txt": ("使用说明：双击图标。\r\n".encode() * 20, base + 86400 * 10 ** 9),
        "files/data/empty.dat": (b"", base),
        # The package keeps milliseconds: 11.123456789 s comes back as 11.123 s.
        "files/data/deep/blob.bin": (random.Random(7).randbytes(300000),
                                     stamp(2020, 7, 8, 9, 10, 11, 123456, extra_ns=789)),
        "extra/original.cfg": (b"[settings]\r\nmode=quiet\r\n", stamp(2018, 1, 2, 3, 4, 5)),
        "bin/E2EStepRecorder.exe": (read(os.path.join(PROGRAMS, "Recorder.exe")), base),
        "bin/E2EStepAfter.exe": (read(os.path.join(PROGRAMS, "Recorder.exe")), base),
        "bin/E2EStepKeeper.exe": (read(os.path.join(PROGRAMS, "Holder.exe")), base),
    }
    if ARCH == "x86":
        # A 32-bit program of the product beside the 64-bit one: both are ended.
        sources["bin/E2EStepKeeper32.exe"] = (read(os.path.join(PROGRAMS, "Holder32.exe")), base)
    expected = {}
    for relative, (data, stamp_ns) in sources.items():
        write(os.path.join(folder, relative), data, stamp_ns)
        target = {"extra/original.cfg": "config/renamed.cfg"}.get(relative, relative.removeprefix("files/"))
        # An empty file keeps the time of its writing.
        expected[c_path(APP + target.replace("/", "\\"))] = \
            (os.path.join(folder, relative), stamp_ns // 10 ** 6 * 10 ** 6 if data else None)
    expected[c_path(APP + "Uninstall.exe")] = expected[c_path(APP + "bin\\E2EStepRecorder.exe")]
    return build(folder, TITLE, GUID, APP, STEPS_LISTS), expected


def check_uninstall_key(values, expected_count, total_bytes, days, what):
    quoted, url = f'"{APP}Uninstall.exe"', "https://example.com/e2estep"
    expected = {"DisplayName": TITLE + " 版本 2.7.1.9", "DisplayVersion": "2.7.1.9",
                "EstimatedSize": total_bytes // 1024, "HelpLink": url, "InstallLocation": APP,
                "MajorVersion": 2, "MinorVersion": 7, "NoModify": 1, "NoRepair": 1,
                "Publisher": "步骤公司 E2EStep", "QuietUninstallString": quoted + " /SILENT",
                "UninstallString": quoted, "URLInfoAbout": url, "URLUpdateInfo": url, "VersionMajor": 2,
                "VersionMinor": 7}
    if not check(values is not None and len(values) == expected_count,
                 f"{what}: uninstall key (32-bit view) holds {sorted(values or {})}"):
        return
    for name, value in expected.items():
        value = ("REG_SZ" if isinstance(value, str) else "REG_DWORD", value)
        check(values.get(name) == value, f"{what}: {name} is {values.get(name)!r}, expected {value!r}")
    check(values.get("InstallDate") in [("REG_SZ", day) for day in days],
          f"{what}: InstallDate {values.get('InstallDate')!r}, expected one of {days}")


def install(setup, what, *options):
    """Runs SETUP /Silent with OPTIONS; returns the days it ran on, for InstallDate."""
    days = [time.strftime("%Y%m%d")]
    code, _, err = run(setup, *options, "/Silent")
    check(code == 0, f"{what}: exit code {code}, stderr {err!r}")
    return days + [time.strftime("%Y%m%d")]


def log_lines(path, what):
    """The events of a log (its lines without their times); every line must carry one."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    stamped = [re.match(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (.*)$", line) for line in lines]
    check(lines and all(stamped), f"{what}: lines without a time in {lines!r}")
    return [m.group(1) for m in stamped if m]


def group_steps():
    setup, expected = steps_package()
    desktop_link, group = os.path.join(DESKTOP, TITLE + ".lnk"), os.path.join(MENU, TITLE)
    key = f"{UNINSTALL}\\{GUID}_vm"
    clean(APP, ["HKCU\\" + KEY, "HKLM\\" + KEY, key], [desktop_link, group, c_path(MOVED)])
    total_bytes = sum(os.path.getsize(source) for source, _ in expected.values())
    waited, after = c_path(APP + "bin\\E2EStepRecorder.exe.txt"), c_path(APP + "bin\\E2EStepAfter.exe.txt")
    uninstalled = c_path(APP + "Uninstall.exe.txt")

    began = time.time_ns()
    days = install(setup, "first install")
    check_files(expected, "first install")
    check(os.stat(c_path(APP + "data\\empty.dat")).st_mtime_ns >= began - 5 * 10 ** 9,
          "the empty file was given the source's time")
    hkcu = reg_values("HKCU\\" + KEY)
    check(hkcu == {"InstallDir": ("REG_SZ", APP), "名称": ("REG_SZ", "步骤测试 值")}, f"HKCU values {hkcu!r}")
    check(reg_values(f"HKCU\\{KEY}\\Sub\\Deeper") == {"Level": ("REG_DWORD", 42)}, "HKCU sub-key values")
    hklm = reg_values("HKLM\\" + KEY)
    check(hklm == {"Mask": ("REG_DWORD", 255), "Hex": ("REG_DWORD", 31),
                   "Negative": ("REG_DWORD", 0xFFFFFFFE), "Bin": ("REG_SZ", APP + "bin"),
                   "Programs": ("REG_SZ", PROGRAM_FILES)},
          f"HKLM values (32-bit view) {hklm!r}")
    check(reg_values("HKLM\\" + KEY, "/reg:64") is None, "HKLM values in the 64-bit view")
    for link, target, folder in ((desktop_link, "bin\\E2EStepKeeper.exe", "bin"),
                                 (os.path.join(group, "使用说明.lnk"), "docs\\说明.txt", "docs")):
        check(link_info(link) == (APP + target, APP + folder), f"{link}: {link_info(link)!r}")
    # The program waited for writes only after 1.5 s: its line shows the installer waited.
    command = f'"{APP}bin\\E2EStepRecorder.exe" --slow --stage wait "{APP}"'
    check(record(waited) == [(APP + "config", command)], f"program waited for: {record(waited)!r}")
    runs = wait_for(lambda: record(after), 30)
    check(runs and runs == [(APP + "docs", runs[0][1])] and runs[0][1].endswith('After.exe" --stage after'),
          f"program started after the finish: {runs!r}")
    check(not os.path.exists(uninstalled), "an uninstaller ran on a first install")
    script = subprocess.run([ONESETUP, "inspect", "--xml", setup], capture_output=True, check=True,
                            timeout=60).stdout
    check(decode(c_path(APP + "Uninstall.da1")) == script, "Uninstall.da1 does not decode to the script")
    width, height, pixels = png_pixels(decode(c_path(APP + "Uninstall.da2")))
    check((width, height) == (40, 24) and pixels == icon_pixels(40, 24),
          f"Uninstall.da2 does not decode to the 40x24 icon: {width}x{height}, "
          f"{'unreadable pixels' if pixels is None else 'other pixels'}")
    check_uninstall_key(reg_values(key), 17, total_bytes, days, "first install")

    # Again, over spoiled files, a changed key and a running copy of a package program.
    for target in list(expected)[:2]:
        write(target, b"spoiled", stamp(2001, 1, 1))
    reg("add", key, "/v", "DisplayVersion", "/d", "0.1", "/reg:32", "/f")
    reg("add", key, "/v", "Extra", "/d", "kept", "/reg:32", "/f")
    keeper = start(c_path(APP + "bin\\E2EStepKeeper.exe"), APP + "keeper.ready")
    # The same program under the same name elsewhere is none of the product's.
    elsewhere = os.path.join(WORK, "elsewhere", "E2EStepKeeper.exe")
    os.makedirs(os.path.dirname(elsewhere))
    shutil.copy(os.path.join(PROGRAMS, "Holder.exe"), elsewhere)
    other = start(elsewhere, APP + "other.ready")
    ready = ["keeper.ready", "other.ready"]
    keepers = [keeper]
    if ARCH == "x86":
        keepers.append(start(c_path(APP + "bin\\E2EStepKeeper32.exe"), APP + "keeper32.ready"))
        ready.append("keeper32.ready")
    check(wait_for(lambda: all(os.path.exists(c_path(APP + name)) for name in ready), 30) and
          all(p.poll() is None for p in keepers + [other]), "the programs are not running")
    log = os.path.join(WORK, "second.log")
    days = install(setup, "second install", "/log=" + z_path(log))
    events = log_lines(log, "second install's log")
    for target, (source, _) in expected.items():
        line = f"File: {ntpath_of(target)} ({os.path.getsize(source)} bytes)"
        check(line in events, f"log: no {line!r}")
    for line in (f"Folder: {APP}", "Mode: silent", f"Previous installation: {APP}",
                 f"Registry: HKCU\\{KEY}\\名称 = 步骤测试 值",
                 f"Previous version's uninstall: \"{APP}Uninstall.exe\" /SILENT",
                 f"Uninstall entry: HKLM\\{UNINSTALL[5:]}\\{GUID}_vm, \"{APP}Uninstall.exe\"",
                 f"Process ended: {APP}bin\\E2EStepKeeper.exe"):
        check(any(event.startswith(line) for event in events), f"log: no {line!r} in {events!r}")
    registry = [e for e in events if e.startswith("Registry: ")]
    check(len(registry) == STEPS_LISTS.count("<TSetupReg "), f"log: registry values {registry!r}")
    check(re.match(r"End: exit code 0 after \d+ ms$", events[-1]), f"log ends with {events[-1]!r}")
    check([line for _, line in record(uninstalled)] == [f'"{APP}Uninstall.exe" /SILENT'],
          f"the old version's quiet uninstall: {record(uninstalled)!r}")
    check(wait_for(lambda: all(p.poll() is not None for p in keepers), 10),
          f"the running package programs were not all ended: {[p.poll() for p in keepers]}")
    check_files(expected, "second install")
    values = reg_values(key)
    check(values and values.get("Extra") == ("REG_SZ", "kept"), "second install: a foreign value was lost")
    check_uninstall_key(values, 18, total_bytes, days, "second install")
    check(len(record(waited)) == 2 and wait_for(lambda: len(record(after)) == 2, 30),
          "second install: the programs did not run again")

    # Moved through the window into another folder: the copy running from the previous folder
    # is the product's too.
    keeper = start(c_path(APP + "bin\\E2EStepKeeper.exe"), APP + "moved.ready")
    check(wait_for(lambda: os.path.exists(c_path(APP + "moved.ready")), 30), "the package program is not running")
    process = start(setup)
    window = visible_windows(process, TITLE + " 安装程序", 30)
    if check(window, "no home page"):
        click(window[0], 1 + 108 + 30, 1 + 378 + 25 + 12)  # the folder edit
        keys(window[0], "End", "shift+Home", "BackSpace")
        type_text(MOVED)
        click(window[0], 1 + 275 + 100, 1 + 280 + 25)  # 立即安装
        done = wait_for(lambda: (reg_values(key) or {}).get("InstallLocation") == ("REG_SZ", MOVED), 60)
        if check(done, f"moved: not installed into {MOVED}: {reg_values(key)!r}"):
            time.sleep(1)
            click(window[0], 1 + 274 + 100, 1 + 378 + 23 + 25)  # the finish button
    check(harness.wait(process, 60) == 0, "moved: the installer did not end with 0")
    check(keeper.poll() is not None, "moved: the program in the previous folder was not ended")
    check(os.path.isfile(c_path(MOVED + "bin\\E2EStepKeeper.exe")), "moved: files not written")
    check(other.poll() is None, "a program of the same name in another folder was ended")

    # /Dir= in silent mode wins over the previous folder; a folder that cannot be made is refused
    # with the home page's text and its own exit code; a file without a package has its own too.
    # Wine quotes an argument by the C runtime's rules, doubling the backslash before the
    # closing quote: it reaches the installer as two.
    spaced = "C:\\E2EStep\\Some Folder\\Product\\"
    shutil.rmtree(c_path(spaced), ignore_errors=True)
    # A log that cannot be written costs one warning, never the installation.
    code, _, err = run(setup, "/DIR=" + spaced, "/Log=C:\\E2EStep\\no such folder\\x.log", "/Silent")
    check(code == 0 and err.count("无法写入日志文件：") == 1, f"/Dir=: exit code {code}, stderr {err!r}")
    check(os.path.isfile(c_path(spaced + "bin\\E2EStepKeeper.exe")) and
          (reg_values(key) or {}).get("InstallLocation") == ("REG_SZ", spaced),
          f"/Dir=: not installed into {spaced}: {reg_values(key)!r}")
    refused = APP + "ReadMe.txt\\Product"
    code, _, err = run(setup, "/Silent", "/Dir=" + refused, "/Log")
    check(code == 5 and f"创建安装目录失败：{refused}\\" in err, f"refused /Dir: exit code {code}, stderr {err!r}")
    # /Log alone: in the temporary folder, its path told at the end.
    told = re.search(r"日志：(.+\\Setup-\d{8}-\d{6}\.log)", err)
    if check(told, f"/Log: no path on standard error {err!r}"):
        events = log_lines(c_path(told.group(1)), "/Log")
        check(events[-1].startswith("End: exit code 5 "), f"/Log: ends with {events[-1]!r}")
    code, _, err = run(STUB, "/Silent")
    check(code == 4, f"a stub without a package: exit code {code}")


# ---------------------------------------------------------------- locked


# Centres of the dialog's buttons: 100x25 at x 9 and 121, y 8 of the 41-pixel row that ends its
# 268-pixel high client area.
RETRY, IGNORE = (9 + 50, 268 - 41 + 8 + 12), (121 + 50, 268 - 41 + 8 + 12)


def ntpath_of(path):
    """The Windows path of a path under the prefix's drive C."""
    return "C:\\" + os.path.relpath(path, DRIVE_C).replace("/", "\\")


def group_locked():
    app, guid = "C:\\E2EStep\\Locked\\", "{E2E5A7E9-0002-4C1D-9A2B-5E7E95000002}"
    folder, key, old = os.path.join(WORK, "locked"), f"{UNINSTALL}\\{guid}_vm", stamp(2017, 5, 6, 7, 8, 9)
    expected = {}
    # A long list: the files after the locked one are decoded while its dialog waits, at most 64
    # files ahead of it; 1024 in a solid package, whose blocks of 512 files decode side by side.
    bound = 1024 if COMPRESSION == "zstd" else 64
    later = [f"z-{n:04}.txt" for n in range(bound + 16)] + ["z-last.txt"]
    for name in ["a-first.txt", "locked.txt"] + later:
        write(os.path.join(folder, "files", name), f"new {name}\r\n".encode() * (3000 * 64 // bound), old)
        expected[name] = (c_path(app + name), (os.path.join(folder, "files", name), old))
    # A second item writing a-first.txt again: the later item wins.
    write(os.path.join(folder, "again", "a-first.txt"), b"again\r\n", old)
    setup = build(folder, "锁定测试 E2EStep", guid, app, """<FileList><Items>
        <TSetupFile DestDir="{app}" SourcePath="files" SourceMask="*"/>
        <TSetupFile DestDir="{app}" SourcePath="again" SourceMask="a-first.txt"/></Items></FileList>""")
    clean(app, [key], [])
    held = os.path.join(folder, "held.txt")
    for path in (held, c_path(app + "locked.txt")):
        write(path, b"held open\r\n", old)
    expected["locked.txt"] = (c_path(app + "locked.txt"), (held, old))
    holder = start(os.path.join(PROGRAMS, "Holder.exe"), app + "holder.ready", app + "locked.txt")
    if not check(wait_for(lambda: os.path.exists(c_path(app + "holder.ready")), 30),
                 "the holding program did not start"):
        return

    def parts():
        return [name for name in os.listdir(c_path(app)) if name.endswith(".tmp")]

    # Silent: nobody can answer, the installation stops at the locked file; nothing after it is
    # in place, and no decoded file is left behind.
    log = os.path.join(WORK, "locked.log")
    code, _, err = run(setup, "/Silent", "/Log=" + z_path(log))
    check(code == 8, f"silent: exit code {code}")
    check(f"文件：{app}locked.txt" in err and "失败原因：" in err, f"silent: stderr {err!r}")
    events = log_lines(log, "silent's log")
    # A sharing violation on Windows, access denied under Wine; with the system's text.
    check(any(re.match(rf"File failed: {re.escape(app)}locked\.txt: error (5|32): Cannot create file", e)
              for e in events) and
          events[-1].startswith("End: exit code 8 "), f"silent: log {events!r}")
    check_files(dict(expected[name] for name in ("a-first.txt", "locked.txt")), "silent")
    check(not any(os.path.exists(c_path(app + name)) for name in later) and reg_values(key) is None,
          "silent: went on")
    check(not parts(), f"silent: left {parts()}")

    # Auto: the copy failure dialog; 重试 asks again while the file stays locked, 忽略 goes on.
    # Meanwhile the later files are decoded beside their targets, and put in place only after.
    process = start(setup, "/Auto")
    dialog = visible_windows(process, "复制文件失败", 30)
    if check(dialog, "auto: no copy failure dialog"):
        decoded = wait_for(lambda: len(parts()) >= bound - 4, 30)
        time.sleep(1)  # a worker past its bound would have added more by now
        check(decoded and len(parts()) <= bound + 1 and
              not any(os.path.exists(c_path(app + name)) for name in later),
              f"auto: while the dialog waits, decoded {len(parts())} of {len(later)} later files")
        click(dialog[0], *RETRY)
        again = wait_for(lambda: [w for w in visible_windows(process, "复制文件失败") if w != dialog[0]], 20)
        if check(again and process.poll() is None, "auto: 重试 on a locked file did not ask again"):
            click(again[0], *IGNORE)
    check(wait_for(lambda: process.poll() is not None, 60) and process.returncode == 0,
          f"auto: exit code {process.poll()}")
    expected["a-first.txt"] = (c_path(app + "a-first.txt"), (os.path.join(folder, "again", "a-first.txt"), old))
    check_files(dict(expected.values()), "auto")
    check(not parts(), f"auto: left {parts()}")
    values = reg_values(key)
    check((values or {}).get("InstallLocation") == ("REG_SZ", app),
          f"auto: did not go on to its end: key {values!r}, query exit code {reg('query', key, '/reg:32')}, "
          f"folder {sorted(os.listdir(c_path(app))) if os.path.isdir(c_path(app)) else None}")
    holder.kill()


# ---------------------------------------------------------------- damaged

def group_damaged():
    title, app, key = "损坏测试 E2EStep", "C:\\E2EStep\\Damaged\\", "Software\\E2EStep\\Damaged"
    guid = "{E2E5A7E9-0003-4C1D-9A2B-5E7E95000003}"
    folder, uninstall_key = os.path.join(WORK, "damaged"), f"{UNINSTALL}\\{guid}_vm"
    link = os.path.join(DESKTOP, title + ".lnk")
    sources = {"a-small.txt": b"small\r\n", "b-large.bin": random.Random(8).randbytes(150000),
               "c-small.txt": b"small too\r\n"}
    for name, data in sources.items():
        write(os.path.join(folder, "files", name), data)
    # The builder adds the real uninstaller: an upgrade's removal of the old version would take
    # the installed product away.
    setup = build(folder, title, guid, app, f"""
    <FileList><Items><TSetupFile DestDir="{{app}}" SourcePath="files" SourceMask="*"/></Items></FileList>
    <RegList><Items><TSetupReg RootKey="rrkCurrentUser" SubKey="{key}" ValueName="Marker" ValueData="1"
        ValueType="rvtString"/></Items></RegList>
    <ShortCutList><Items><TSetupShortCut DstFile="{{app}}a-small.txt" Name="{title}" SaveDir="{{desktop}}"
        WorkDir="{{app}}"/></Items></ShortCutList>""")

    def outside():
        return [name for name, there in (("registry value", reg_values("HKCU\\" + key) is not None),
                                         ("uninstall key", reg_values(uninstall_key) is not None),
                                         ("shortcut", os.path.exists(link))) if there]

    def product():
        return sorted(os.listdir(c_path(app))) if os.path.isdir(c_path(app)) else []

    def tamper(verb, source, name):
        damaged = os.path.join(folder, name + ".exe")
        subprocess.run([TAMPER, verb, source, damaged], check=True, timeout=60)
        return damaged

    unreadable = "安装包已损坏，无法读取文件数据："
    # The first file of the damaged stream, or of the damaged solid block, which holds them all.
    corrupt = f"安装包已损坏，无法解压文件：{app}" + ("b-large.bin" if COMPRESSION == "zlib" else "a-small.txt")
    old = tamper("corrupt-file", tamper("no-digests", setup, "old"), "old-corrupt-file")
    for verb, damaged, message in (
            ("remove-data", tamper("remove-data", setup, "remove-data"),
             unreadable + "Resource {24B4534B-E580-4F42-BEAB-A2818FDE92C0} not found"),
            ("corrupt-file", tamper("corrupt-file", setup, "corrupt-file"), corrupt),
            ("bad-offset", tamper("bad-offset", setup, "bad-offset"), unreadable + "Stream read error"),
            # zlib built before the digest record: found where the file step reaches it. Solid
            # frames carry no checksum: without the record the package is refused at once.
            ("no digests, corrupt-file", old,
             corrupt if COMPRESSION == "zlib" else unreadable + "Stream read error")):
        clean(app, ["HKCU\\" + key, uninstall_key], [link])
        code, _, err = run(damaged, "/Silent")
        check(code == 1 and message.lower() in err.lower(), f"{verb}: exit code {code}, stderr {err!r}")
        check(outside() == [], f"{verb}: written outside the folder: {outside()}")
        written = ["a-small.txt"] if damaged == old and COMPRESSION == "zlib" else []
        check(product() == written, f"{verb}: the folder holds {product()}, expected {written}")

    # Undamaged, the same package writes everything: the checks above can see it.
    clean(app, ["HKCU\\" + key, uninstall_key], [link])
    install(setup, "undamaged")
    check(outside() == ["registry value", "uninstall key", "shortcut"], f"undamaged: wrote only {outside()}")
    installed = {name: read(c_path(app + name)) for name in product()}
    check(sorted(installed) == sorted([*sources, "Uninstall.da1", "Uninstall.da2", "Uninstall.exe"]),
          f"undamaged: installed {sorted(installed)}")
    entry = reg_values(uninstall_key)
    # A damaged upgrade stops before it removes the installed version: the product stays whole,
    # with its uninstaller and its entry, and nothing is left beside its files.
    for verb, damaged in (("corrupt-file", os.path.join(folder, "corrupt-file.exe")),
                          ("bad-offset", os.path.join(folder, "bad-offset.exe"))):
        code, _, err = run(damaged, "/Silent")
        check(code == 1, f"upgrade from {verb}: exit code {code}, stderr {err!r}")
        now = {name: read(c_path(app + name)) for name in product()}
        check(now == installed, f"upgrade from {verb}: the installed product changed: "
              f"{sorted(set(now) ^ set(installed)) or [n for n in now if now[n] != installed.get(n)]}")
        check(reg_values(uninstall_key) == entry and outside() == ["registry value", "uninstall key", "shortcut"],
              f"upgrade from {verb}: entry {reg_values(uninstall_key)!r}, outside {outside()}")


# ---------------------------------------------------------------- uninstall

UN_TITLE, UN_APP = "卸载测试 E2EStep", "C:\\E2EStep\\Remove\\"
UN_GUID = "{E2E5A7E9-0004-4C1D-9A2B-5E7E95000004}"
UN_KEY = f"{UNINSTALL}\\{UN_GUID}_vm"
UN_LISTS = r"""
    <FileList><Items>
        <TSetupFile DestDir="{app}" SourcePath="files" SourceMask="*" IncludeSubPath="True"/>
        <TSetupFile DestDir="{app}config" SourcePath="extra" SourceMask="original.cfg"
            NewFileName="renamed.cfg"/>
    </Items></FileList>
    <RegList><Items>
        <TSetupReg RootKey="rrkCurrentUser" SubKey="Software\E2EStepRemove\Product\Deep" ValueName="Dir"
            ValueData="{app}" ValueType="rvtString"/>
        <TSetupReg RootKey="rrkCurrentUser" SubKey="Software\E2EStepShared" ValueName="Ours"
            ValueData="1" ValueType="rvtDWord"/>
        <TSetupReg RootKey="rrkLocalMachine" SubKey="Software\E2EStepRemove\Product" ValueName="Level"
            ValueData="42" ValueType="rvtDWord"/>
    </Items></RegList>
    <ShortCutList><Items>
        <TSetupShortCut DstFile="{app}bin\RemoveKeeper.exe" Name="卸载测试 E2EStep" SaveDir="{desktop}"
            WorkDir="{app}bin"/>
        <TSetupShortCut DstFile="{app}docs\说明.txt" Name="使用说明" SaveDir="{group}" WorkDir="{app}docs"/>
    </Items></ShortCutList>"""


def uninstall_package(name, version, extra=()):
    """An installer of the product at VERSION, and {installed path: source} of every file."""
    folder = os.path.join(WORK, name)
    sources = {"files/ReadMe.txt": f"version {version}\r\n".encode() * 50,
               "files/docs/说明.txt": "使用说明\r\n".encode() * 10,
               "files/data/deep/blob.bin": random.Random(version).randbytes(70000),
               "files/bin/RemoveKeeper.exe": read(os.path.join(PROGRAMS, "Holder.exe")),
               # More than 300 characters: beyond the old limit of a Windows path.
               "files/" + "/".join(["a-folder-with-a-rather-long-name-" + str(i) for i in range(9)]) +
               "/deep.txt": b"deep\r\n",
               "extra/original.cfg": b"[settings]\r\n", **dict(extra)}
    expected = {}
    for relative, data in sources.items():
        write(os.path.join(folder, relative), data)
        target = "config/renamed.cfg" if relative == "extra/original.cfg" else relative.removeprefix("files/")
        expected[c_path(UN_APP + target.replace("/", "\\"))] = os.path.join(folder, relative)
    setup = build(folder, UN_TITLE, UN_GUID, UN_APP, UN_LISTS, version)
    expected[c_path(UN_APP + "Uninstall.exe")] = os.path.join(os.path.dirname(STUB), f"Uninstall-{ARCH}.exe")
    return setup, expected


def prefix_snapshot():
    """The prefix's files and folders, and its registry below Software of both roots and views."""
    files = set()
    for root, dirs, names in os.walk(DRIVE_C):
        for name in dirs + names:
            files.add(os.path.relpath(os.path.join(root, name), DRIVE_C))
    values = set()
    for key, view in (("HKLM\\Software", "/reg:64"), ("HKCU\\Software", "/reg:64")):
        target = os.path.join(WORK, "snapshot.reg")
        if reg("export", key, z_path(target), view, "/y") == 0:
            with open(target, "rb") as f:
                section = ""
                for line in f.read().decode("utf-16").splitlines():
                    if line.startswith("["):
                        section = line
                        values.add(section)
                    elif line and not line.startswith("#"):
                        values.add(section + line)
    # Wine keeps its own settings here as windows come and go.
    return files, {value for value in values if "\\Software\\Wine\\" not in value}


def changes(before, after):
    """What the product left: paths and registry lines that were not there before."""
    return sorted(after[0] - before[0]) + sorted(after[1] - before[1])


def uninstaller(*args):
    return run(c_path(UN_APP + "Uninstall.exe"), *args)


def group_uninstall():
    clean(UN_APP, ["HKCU\\Software\\E2EStepRemove", "HKLM\\Software\\E2EStepRemove", UN_KEY], [])
    reg("add", "HKCU\\Software\\E2EStepShared", "/v", "Theirs", "/d", "kept", "/f")
    # As on every Windows: the list of installed programs and the folder above {app} exist.
    reg("add", UNINSTALL, "/reg:32", "/f")
    os.makedirs(c_path("C:\\E2EStep"), exist_ok=True)
    setup, expected = uninstall_package("v1", "1.0")
    before = prefix_snapshot()

    # Silent removal of everything, a running program of the product ended first.
    install(setup, "v1")
    check_files({path: (source, None) for path, source in expected.items()}, "v1")
    keeper = start(c_path(UN_APP + "bin\\RemoveKeeper.exe"), "C:\\E2EStep\\keeper.ready")
    check(wait_for(lambda: os.path.exists(c_path("C:\\E2EStep\\keeper.ready")), 30), "keeper did not start")
    log = os.path.join(WORK, "uninstall.log")
    code, _, err = uninstaller("/SILENT", "/LOG=" + z_path(log))
    check(code == 0, f"silent: exit code {code}, stderr {err!r}")
    check(wait_for(lambda: keeper.poll() is not None, 10), "silent: the running program was not ended")
    events = log_lines(log, "the uninstaller's log")
    removed = {e.split(": ", 1)[1] for e in events if e.startswith("Removed file: ")}
    missing = {ntpath_of(p) for p in expected if not p.endswith("Uninstall.exe")} - removed
    check(not missing and any(e.startswith("Process ended: ") for e in events) and
          any(e.startswith("Removed registry value: ") for e in events) and
          any(e.startswith("Removed uninstall entry: ") for e in events) and
          any(e.startswith("Moved away, deleted after the end: ") for e in events) and
          events[-1].startswith("End: exit code 0 "), f"silent: {missing} not logged as removed in {events!r}")
    os.remove(c_path("C:\\E2EStep\\keeper.ready"))
    left = wait_for(lambda: not changes(before, prefix_snapshot()), 60)
    check(left, f"silent: left behind {changes(before, prefix_snapshot())}")
    check(reg_values("HKCU\\Software\\E2EStepShared", "/reg:64") == {"Theirs": ("REG_SZ", "kept")},
          "silent: a value the product does not name was touched")

    # A file of the user's stays with its folder; the rest goes.
    install(setup, "user file")
    mine = c_path(UN_APP + "data\\mine.txt")
    write(mine, b"the user's own\r\n")
    code, _, err = uninstaller("/SILENT")
    check(code == 0 and "已保留" in err, f"user file: exit code {code}, stderr {err!r}")
    check(os.path.isfile(mine), "user file: the user's file was deleted")
    check(not [p for p in expected if os.path.exists(p)], "user file: product files remain")
    check(sorted(os.listdir(c_path(UN_APP))) == ["data"] and os.listdir(c_path(UN_APP + "data")) == ["mine.txt"],
          f"user file: {UN_APP} holds {list(os.walk(c_path(UN_APP)))}")
    shutil.rmtree(c_path(UN_APP))

    # Damaged uninstall data: nothing is deleted.
    install(setup, "damaged")
    data = c_path(UN_APP + "Uninstall.da1")
    with open(data, "r+b") as f:
        f.truncate(os.path.getsize(data) // 2)
    code, _, err = uninstaller("/SILENT")
    check(code == 1 and "卸载信息已损坏或丢失" in err, f"damaged: exit code {code}, stderr {err!r}")
    check(all(os.path.exists(p) for p in expected) and reg_values(UN_KEY) is not None,
          "damaged: something was removed")

    # Upgrade: version 2 removes version 1 through its quiet command and writes at once into the
    # same folder; nothing scheduled by the old uninstaller touches the new files, also after a
    # restart; then version 2 goes completely.
    install(setup, "v1 again")
    setup2, expected2 = uninstall_package("v2", "2.0", [("files/bin/added.txt", b"new in 2\r\n")])
    install(setup2, "v2")
    check_files({path: (source, None) for path, source in expected2.items()}, "v2 over v1")
    subprocess.run([WINE, "wineboot", "-r"], capture_output=True, timeout=120)
    check_files({path: (source, None) for path, source in expected2.items()}, "v2 after a restart")
    code, _, err = uninstaller("/SILENT")
    check(code == 0, f"v2: exit code {code}, stderr {err!r}")
    check(wait_for(lambda: not changes(before, prefix_snapshot()), 60),
          f"v2: left behind {changes(before, prefix_snapshot())}")

    # The window: declined first (nothing goes), then used. Many small files make the progress
    # last long enough to be seen.
    setup, expected = uninstall_package("many", "1.0",
                                        [(f"files/many/{i:04d}.txt", b"%d" % i) for i in range(1500)])
    install(setup, "window")
    title = UN_TITLE + " 卸载程序"
    shots = os.path.join(WORK, "screenshots")
    process = start(c_path(UN_APP + "Uninstall.exe"))
    window = visible_windows(process, title, 30)
    if check(window, "window: none"):
        harness.screenshot(shots, "uninstall-ask")
        click(window[0], 1 + 612 + 60, 1 + 378 + 28 + 22)  # 取消
    check(harness.wait(process, 30) == 2, f"window: declining did not end with 2: {process.poll()}")
    check(all(os.path.exists(p) for p in expected), "window: declining removed files")
    process = start(c_path(UN_APP + "Uninstall.exe"))
    window = visible_windows(process, title, 30)
    if check(window, "window: none the second time"):
        click(window[0], 1 + 480 + 60, 1 + 378 + 28 + 22)  # 卸载
        time.sleep(0.5)
        harness.screenshot(shots, "uninstall-progress")
        if check(wait_for(lambda: not os.path.exists(c_path(UN_APP + "Uninstall.da1")), 30), "window: no removal"):
            time.sleep(1)
            harness.screenshot(shots, "uninstall-finish")
            click(window[0], 1 + 548 + 92, 1 + 378 + 25 + 25)  # 完成
    check(harness.wait(process, 30) == 0, f"window: exit code {process.poll()}")
    # The uninstaller's own file goes a few seconds after it ended: longer on a busy machine.
    check(wait_for(lambda: not changes(before, prefix_snapshot()), 60),
          f"window: left behind {changes(before, prefix_snapshot())}")
    reg("delete", "HKCU\\Software\\E2EStepShared", "/f")


shutil.rmtree(WORK, ignore_errors=True)
os.makedirs(WORK)
try:
    {"steps": group_steps, "locked": group_locked, "damaged": group_damaged,
     "uninstall": group_uninstall}[GROUP]()
finally:
    harness.stop(*started, grace=0)

print(f"{GROUP}: {len(failures)} failures")
sys.exit(1 if failures else 0)
