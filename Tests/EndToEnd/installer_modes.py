#!/usr/bin/env python3
"""The installer STUB (the release x86 one where this machine runs 32-bit programs) as end users
and scripts start it, under Wine on a virtual display:
every command-line mode with its exit code, the package selection, the version gate, the
previous folder, the folder check, screenshots of the demo installer's three pages, and the
windows' sizes at the display scales Wine reads from the registry.

usage: installer_modes.py ONESETUP STUB DEMO_DIR WORKDIR

Needs the environment of the test command: WINEPREFIX (a ready prefix with a running
wineserver), DISPLAY (a virtual display), HOME.
"""
import functools
import os
import shutil
import subprocess
import sys
import time
import zlib

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import harness  # noqa: E402
from harness import DRIVE_C, WINE, c_path, check, click, failures, started, wait  # noqa: E402

ONESETUP, STUB, DEMO, WORK = sys.argv[1:5]
SHOTS = os.path.join(WORK, "screenshots")
UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
run = functools.partial(harness.run, folder=WORK, timeout=60)
start = functools.partial(harness.start, folder=WORK)


def project(name, base_info="", files=""):
    """Builds an installer named NAME.exe from a small project; returns its path."""
    folder = os.path.join(WORK, name)
    os.makedirs(folder, exist_ok=True)
    guid = "{%08X-1E2D-4C3B-8A49-%012X}" % (zlib.crc32(name.encode()), zlib.crc32(name.encode()[::-1]))
    if "DefInstallPath" not in base_info:
        base_info += f' DefInstallPath="C:\\onesetup-e2e\\{name}"'

    with open(os.path.join(folder, "Project.xml"), "w", encoding="utf-8") as f:
        f.write(f"""<?xml version="1.0" encoding="utf-8"?>
<TSetupScript>
    <BaseInfo AppTitle="{name}" Version="1.0.0.1" GUID="{guid}" FullSetupFile="{name}.exe"
        {base_info}/>
    <FileList><Items>{files}</Items></FileList>
</TSetupScript>
""")
    subprocess.run([ONESETUP, "build", os.path.join(folder, "Project.xml"), "-o", folder, "--stub", STUB,
                    "-q"], check=True, timeout=120)
    return os.path.join(folder, name + ".exe"), guid


def reg(*args):
    subprocess.run([WINE, "reg", *args, "/f"], check=True, timeout=30, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def screenshot(name):
    harness.screenshot(SHOTS, name)


def window_size(window):
    out = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window], capture_output=True,
                         text=True, timeout=10).stdout
    shell = dict(line.split("=") for line in out.split())
    return int(shell["WIDTH"]), int(shell["HEIGHT"])


def find_window(title, timeout=20):
    result = subprocess.run(["timeout", str(timeout), "xdotool", "search", "--sync", "--onlyvisible",
                             "--name", "^" + title + "$"], capture_output=True, text=True)
    ids = result.stdout.split()
    return ids[0] if ids else None


shutil.rmtree(WORK, ignore_errors=True)
os.makedirs(WORK)
shutil.rmtree(os.path.join(DRIVE_C, "onesetup-e2e"), ignore_errors=True)
try:
    # A stub without a package ends at once, showing nothing.
    code, _, _ = run(STUB)
    check(code == 0, f"bare stub exit code {code}")

    # Silent mode, in any letter case: the folder is accepted and created, exit code 0.
    silent, _ = project("SilentCase")
    for argument in ("/Silent", "/silent", "/SILENT"):
        shutil.rmtree(c_path(r"C:\onesetup-e2e\SilentCase"), ignore_errors=True)
        code, _, err = run(silent, argument)
        check(code == 0, f"{argument}: exit code {code} {err!r}")
        check(os.path.isdir(c_path(r"C:\onesetup-e2e\SilentCase")), f"{argument}: folder not created")

    # A missing chain of folders is created; the write test leaves nothing behind.
    deep, _ = project("DeepCase", 'DefInstallPath="  C:\\onesetup-e2e\\a\\b\\c  "')
    code, _, err = run(deep, "/Silent")
    check(code == 0, f"deep folder: exit code {code} {err!r}")
    check(os.path.isdir(c_path(r"C:\onesetup-e2e\a\b\c")), "deep folder not created")
    # Only the uninstaller and its data are there: the write test's probe file is gone.
    left = sorted(os.listdir(c_path(r"C:\onesetup-e2e\a\b\c"))) if os.path.isdir(c_path(r"C:\onesetup-e2e\a\b\c")) else None
    check(left == ["Uninstall.da1", "Uninstall.da2", "Uninstall.exe"], f"the write test left a file behind: {left}")

    # Rejected folders stop a silent install by itself: exit code 5 and the reason on stderr.
    for name, folder, message in (
            ("BlankCase", "   ", "安装目录不能为空，请重新输入。"),
            ("ProcCase", "Z:\\proc", "尝试在安装目录写入文件失败：Z:\\proc\\，请重新输入。"),
            ("NoCreateCase", "Z:\\proc\\onesetup\\x", "创建安装目录失败：Z:\\proc\\onesetup\\x\\，请重新输入。")):
        exe, _ = project(name, f'DefInstallPath="{folder}"')
        code, _, err = run(exe, "/Silent")
        check(code == 5, f"{name}: exit code {code}")
        check(message in err, f"{name}: stderr {err!r} lacks {message!r}")

    # The previous installation's folder comes from the uninstall key, as stored.
    previous, guid = project("PreviousCase")
    reg("add", f"{UNINSTALL}\\{guid}_vm", "/v", "InstallLocation", "/t", "REG_SZ", "/d",
        "C:\\onesetup-e2e\\previous\\place\\", "/reg:32")
    code, _, err = run(previous, "/Silent")
    check(code == 0, f"previous folder: exit code {code} {err!r}")
    check(os.path.isdir(c_path(r"C:\onesetup-e2e\previous\place")), "previous folder not used")
    check(not os.path.exists(c_path(r"C:\onesetup-e2e\PreviousCase")), "default folder used instead")

    # The version gate: an older system than the script asks for installs nothing: exit code 3.
    for name, needs, wine_version, message in (
            ("GateSeven", "wveWin7OrHigher", "vista", "请在 Windows 7 及以上版本系统中安装本软件。"),
            ("GateXP", "wveWinXPOrHigher", "win2k", "请在 Windows XP 及以上版本系统中安装本软件。")):
        exe, _ = project(name, f'WinVersion="{needs}"')
        reg("add", f"HKCU\\Software\\Wine\\AppDefaults\\{name}.exe", "/v", "Version", "/d", wine_version)
        code, _, err = run(exe, "/Silent")
        check(code == 3, f"{name}: exit code {code}")
        check(message in err, f"{name}: stderr {err!r} lacks {message!r}")
        check(not os.path.exists(c_path("C:\\onesetup-e2e\\" + name)), f"{name}: installed anyway")
        reg("delete", f"HKCU\\Software\\Wine\\AppDefaults\\{name}.exe")
        code, _, _ = run(exe, "/Silent")
        check(code == 0 and os.path.isdir(c_path("C:\\onesetup-e2e\\" + name)),
              f"{name}: a new enough system still refused")

    # A script that does not decode ends with the runtime's error report and exit code 1.
    broken, _ = project("BrokenCase")
    xml = subprocess.run([ONESETUP, "inspect", "--xml", broken], capture_output=True, check=True).stdout
    encoded = bytearray(zlib.compress(xml, 9))
    encoded = bytes(b ^ (i % 255) for i, b in enumerate(encoded))
    with open(broken, "rb") as f:
        image = bytearray(f.read())
    at = image.find(encoded)
    check(at > 0, "could not find the encoded script in the installer")
    if at > 0:
        image[at + len(encoded) // 2] ^= 0xFF
        with open(broken, "wb") as f:
            f.write(image)
        code, _, err = run(broken, "/Silent")
        check(code == 1, f"damaged script: exit code {code} {err!r}")
        check("Error" in err, f"damaged script: stderr {err!r}")

    # Two arguments select neither mode: the home page waits for the user.
    home, _ = project("HomeCase")
    process = start(home, "/Silent", "/Auto")
    window = find_window("HomeCase 安装程序")
    check(window is not None, "two arguments: no home page")
    if window:
        click(window, 1 + 714 + 16, 1 + 2 + 16)  # the close image
    check(wait(process, 30) == 0, "two arguments: closing the home page did not end with 0")

    # The demo installer's pages, for the eye: home, installing look, finish. No installation of
    # an earlier run is left to upgrade.
    for view in ("/reg:32", "/reg:64"):
        subprocess.run([WINE, "reg", "delete", f"{UNINSTALL}\\{{0C5E1A37-7B2D-4F6A-9D84-3E1F5B2A6C90}}_vm",
                        view, "/f"], capture_output=True, timeout=30)
    demo = os.path.join(WORK, "demo")
    subprocess.run([ONESETUP, "build", os.path.join(DEMO, "Demo.xml"), "-o", demo, "--stub", STUB, "-q"],
                   check=True, timeout=120)
    setup = os.path.join(demo, "OnesetupDemoSetup.exe")
    title = "Onesetup 演示 安装程序"
    process = start(setup)
    window = find_window(title)
    check(window is not None, "demo: no window")
    if window:
        screenshot("home-page")
        click(window, 1 + 275 + 100, 1 + 280 + 25)  # 立即安装
        time.sleep(3)
        screenshot("finish-page")
        click(window, 1 + 274 + 100, 1 + 378 + 23 + 25)  # the finish button
    check(wait(process, 60) == 0, "demo: the finish button did not end with 0")

    # Auto mode paints the installing look first; an empty previous folder stops it with a box.
    reg("add", f"{UNINSTALL}\\{{0C5E1A37-7B2D-4F6A-9D84-3E1F5B2A6C90}}_vm", "/v", "InstallLocation", "/t",
        "REG_SZ", "/d", "", "/reg:32")
    process = start(setup, "/Auto")
    window = find_window(title)
    check(window is not None, "auto mode: no window")
    if window:
        time.sleep(2)
        screenshot("installing-look")
        # The information box has the same caption; pressing Enter in it closes it.
        boxes = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"],
                               capture_output=True, text=True).stdout.split()
        for box in boxes:
            if box != window:
                subprocess.run(["xdotool", "windowfocus", "--sync", box, "key", "Return"], timeout=10)
        time.sleep(1)
        click(window, 1 + 714 + 16, 1 + 2 + 16)
    reg("delete", f"{UNINSTALL}\\{{0C5E1A37-7B2D-4F6A-9D84-3E1F5B2A6C90}}_vm", "/reg:32")
    check(wait(process, 30) is not None, "auto mode did not end")

    # The display's scale as Wine reads it. The demo scales with it (the designed 750 x 480 times
    # DPI / 96), the mini installer and the installed uninstaller too; a project without
    # ScaleWithDisplay keeps its pixels. At 144 and 192 the pages and the licence, for the eye.
    desktop = r"HKCU\Control Panel\Desktop"
    mini = os.path.join(demo, "OnesetupDemoMini.exe")
    program_files = "Program Files (x86)" if "x86" in os.path.basename(STUB) else "Program Files"
    uninstaller = c_path(f"C:\\{program_files}\\Onesetup Demo\\Uninstall.exe")
    managed = r"HKCU\Software\Wine\AppDefaults\OnesetupDemoSetup.exe\X11 Driver"
    reg("add", managed, "/v", "Managed", "/t", "REG_SZ", "/d", "N")
    try:
        # At 288 DPI the window would not fit the 1600 x 1200 display: the scale drops to the
        # highest that fits, 1600 * 96 / 750 = 204 DPI.
        for asked in (96, 144, 192, 288):
            reg("add", desktop, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(asked))
            dpi = min(asked, 1600 * 96 // 750)
            px = lambda designed: (designed * dpi + 48) // 96  # noqa: E731  (rounded, as the program does)
            programs = ((setup, title, True), (mini, title, True),
                        (uninstaller, "Onesetup 演示 卸载程序", True), (home, "HomeCase 安装程序", False))
            for exe, caption, scales in programs[:1] if asked == 288 else programs:
                process = start(exe)
                window = find_window(caption)
                expected = (px(750), px(480)) if scales else (750, 480)
                size = window_size(window) if window else None
                check(size == expected, f"{os.path.basename(exe)} at {dpi} DPI: {size}, not {expected}")
                if window and exe == setup and dpi in (144, 192):
                    screenshot(f"home-page-{dpi}")
                    click(window, px(1 + 151 + 36), px(1 + 380 + 63 + 7))  # 用户许可协议
                    licence = find_window("用户许可协议", timeout=10)
                    check(licence is not None, f"licence at {dpi} DPI: no window")
                    if licence:
                        check(window_size(licence)[0] >= px(784), f"licence at {dpi} DPI: {window_size(licence)}")
                        screenshot(f"licence-{dpi}")
                        # Its frame's close box, which Wine draws for this program here.
                        width, height = window_size(licence)
                        border = (width - px(784)) // 2
                        caption = height - px(461) - 2 * border
                        click(licence, width - border - caption // 2 - 2, border + caption // 2)
                        check(find_window("用户许可协议", timeout=3) is None, f"licence at {dpi} DPI: not closed")
                    click(window, px(1 + 275 + 100), px(1 + 280 + 25))  # 立即安装
                    time.sleep(3)
                    screenshot(f"finish-page-{dpi}")
                    click(window, px(1 + 274 + 100), px(1 + 378 + 23 + 25))  # the finish button
                elif window:
                    click(window, px(1 + 714 + 16) if scales else 731, px(1 + 2 + 16) if scales else 19)
                check(wait(process, 30) is not None, f"{os.path.basename(exe)} at {dpi} DPI did not end")
            if dpi in (144, 192):
                # The installing look, held by a box over it as above.
                reg("add", f"{UNINSTALL}\\{{0C5E1A37-7B2D-4F6A-9D84-3E1F5B2A6C90}}_vm", "/v",
                    "InstallLocation", "/t", "REG_SZ", "/d", "", "/reg:32")
                process = start(setup, "/Auto")
                find_window(title)
                time.sleep(2)
                # The box has the same caption: the main window is the one of the scaled size.
                found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"],
                                       capture_output=True, text=True).stdout.split()
                window = next((w for w in found if window_size(w) == (px(750), px(480))), None)
                check(window is not None, f"auto mode at {dpi} DPI: no main window among {found}")
                if window:
                    screenshot(f"installing-look-{dpi}")
                    for box in found:
                        if box != window:
                            subprocess.run(["xdotool", "windowfocus", "--sync", box, "key", "Return"], timeout=10)
                reg("delete", f"{UNINSTALL}\\{{0C5E1A37-7B2D-4F6A-9D84-3E1F5B2A6C90}}_vm", "/reg:32")
                check(wait(process, 30) is not None, f"auto mode at {dpi} DPI did not end")
    finally:
        reg("delete", desktop, "/v", "LogPixels")
        reg("delete", managed)

    # Auto mode on an accepted folder finishes by itself.
    auto, _ = project("AutoCase")
    process = start(auto, "/Auto")
    check(wait(process, 60) == 0, "auto mode: no exit code 0")
    check(os.path.isdir(c_path(r"C:\onesetup-e2e\AutoCase")), "auto mode: folder not created")
finally:
    harness.stop(*started, grace=0)

print(f"{len(failures)} failures; screenshots in {SHOTS}")
sys.exit(1 if failures else 0)
