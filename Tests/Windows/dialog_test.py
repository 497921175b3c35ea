#!/usr/bin/env python3
"""Operates each installer dialog under Wine with real X input and checks what it returns.

Usage: dialog_test.py EMULATOR DIALOG_PREVIEW_EXE SCREENSHOT_DIR

The caller provides DISPLAY (an X server without a window manager) and the Wine prefix's
environment with a running wineserver. dialog_preview shows one dialog over an owner window
and prints one JSON line when it closes. There is no window manager, so Wine is told to draw
the frames of dialog_preview's windows itself: the close box can be clicked, and hiding a
window does not wait for a window manager that never answers. Keys go to the X window under
the pointer, which is moved there first. One screenshot of each dialog is kept in
SCREENSHOT_DIR. Every wait is bounded; every process started here is stopped.
"""

import json
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from harness import check, failures  # noqa: E402

EMULATOR, PREVIEW, SHOTS = sys.argv[1], sys.argv[2], sys.argv[3]
TITLE = "预览产品 安装程序"  # the preview's application title: every information box's caption


def xdo(*args, timeout=10):
    return subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True,
                          timeout=timeout)


def find(name, timeout=10):
    """The X window of a visible Wine window with exactly that caption, waiting for it."""
    result = xdo("search", "--sync", "--onlyvisible", "--name", f"^{name}$", timeout=timeout)
    return result.stdout.split()[0]


def visible(name):
    return bool(xdo("search", "--onlyvisible", "--name", f"^{name}$").stdout.strip())


def screen_size():
    width, height = xdo("getdisplaygeometry").stdout.split()
    return int(width), int(height)


class Dialog:
    """One run of dialog_preview: the dialog's window, input into it, and the printed result.
    Clicks are in the dialog's client coordinates."""

    def __init__(self, caption, client, *args):
        self.caption = caption
        self.log = open(os.path.join(SHOTS, "preview.log"), "a")
        self.process = subprocess.Popen([EMULATOR, PREVIEW, *args], stdout=subprocess.PIPE,
                                        stderr=self.log, stdin=subprocess.DEVNULL)
        try:
            self.window = find(caption)
        except BaseException:
            self.__exit__()
            raise
        time.sleep(0.5)  # lets it paint
        # The X window holds the whole frame: equal borders, the caption bar above the client.
        shell = dict(line.split("=") for line in
                     xdo("getwindowgeometry", "--shell", self.window).stdout.split())
        self.size = int(shell["WIDTH"]), int(shell["HEIGHT"])
        self.border = (self.size[0] - client[0]) // 2
        self.caption_height = self.size[1] - client[1] - 2 * self.border

    def __enter__(self):
        return self

    def __exit__(self, *error):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(5)
        self.log.close()

    def click(self, x, y):
        top = self.border + self.caption_height
        xdo("mousemove", "--window", self.window, self.border + x, top + y, "click", "1")
        time.sleep(0.3)

    def close_box(self):
        # The rightmost button of the caption bar, as square as the bar is high.
        half = self.caption_height // 2
        xdo("mousemove", "--window", self.window, self.size[0] - self.border - half - 2,
            self.border + half, "click", "1")
        time.sleep(0.3)

    def key(self, *keys, window=None):
        xdo("mousemove", "--window", window or self.window, 10, 30)
        time.sleep(0.2)  # no window manager moves the focus: it follows the pointer
        xdo("key", "--delay", 50, *keys)
        time.sleep(0.3)

    def type(self, text):
        xdo("type", "--delay", 30, text)

    def screenshot(self, name):
        subprocess.run(["import", "-window", "root", os.path.join(SHOTS, name)], timeout=20,
                       check=True)

    def result(self):
        """The printed line, once the dialog has closed (the process then ends)."""
        out, _ = self.process.communicate(timeout=15)
        lines = out.decode("utf-8").strip().splitlines()
        data = json.loads(lines[-1]) if lines else {}
        check(not visible(self.caption), f"{self.caption}: window left behind")
        return data


def check_window(data, caption, client, sizable, minimize, maximize):
    """What every dialog shares: owned by the owner window, which is disabled only meanwhile;
    centred on the screen; its caption, client size and frame."""
    dialog = data.get("dialog") or {}
    check(dialog.get("caption") == caption, f"{caption}: caption {dialog.get('caption')!r}")
    check(dialog.get("client") == list(client), f"{caption}: client {dialog.get('client')}")
    left, top, right, bottom = dialog.get("frame", [0, 0, 0, 0])
    width, height = screen_size()
    check(abs(left + right - width) <= 1 and abs(top + bottom - height) <= 1,
          f"{caption}: not centred, frame {dialog.get('frame')}")
    style = [dialog.get(k) for k in ("sizable", "system_menu", "minimize_box", "maximize_box")]
    check(style == [sizable, True, minimize, maximize], f"{caption}: frame styles {style}")
    check(data.get("samples", 0) > 0 and data.get("owner_disabled_while_open"),
          f"{caption}: owner window not disabled while open")
    check(data.get("owned_by_owner"), f"{caption}: not owned by the owner window")
    check(data.get("owner_enabled_after") and data.get("owner_active_after"),
          f"{caption}: owner window not enabled and active afterwards")


def copy_failure():
    caption = "复制文件失败"
    path = ("C:\\Program Files\\预览产品\\一个相当长的文件夹名称\\另一个更长的子文件夹名称\\"
            "第三层文件夹\\组件\\PreviewComponent.dll")
    reason = "另一个程序正在使用此文件，进程无法访问。"
    # Retry, ignore, abort and the close box: Enter, Esc, a click on 退出安装, the close box.
    for action, expected in (("Return", 4), ("Escape", 5), ("abort", 3), ("close", 2)):
        with Dialog(caption, (572, 268), "copy", path, reason) as dialog:
            if expected == 4:
                dialog.screenshot("copy-failure.png")
            if action == "abort":
                dialog.click(233 + 50, 268 - 41 + 8 + 12)
            elif action == "close":
                dialog.close_box()
            else:
                dialog.key(action)
            data = dialog.result()
        check(data.get("result") == expected, f"{caption} {action}: {data.get('result')}")
        if expected == 4:
            check_window(data, caption, (572, 268), True, True, True)


def download_failure():
    caption = "预览产品 在线安装失败"
    url = "https://downloads.example.com/préview/PreviewSetup-Full.exe?channel=mini&v=1.2"
    ok, cancel = (368 + 37, 261 - 41 + 8 + 12), (451 + 37, 261 - 41 + 8 + 12)
    for action, expected in (("Return", True), ("Escape", False), ("retry", False),
                             ("close", False)):
        with Dialog(caption, (534, 261), "download", "预览产品", url) as dialog:
            if expected:
                dialog.screenshot("download-failure.png")
            if action == "retry":
                dialog.click(*cancel)
            elif action == "close":
                dialog.close_box()
            else:
                dialog.key(action)
            data = dialog.result()
        check(data.get("result") is expected, f"{caption} {action}: {data.get('result')}")
        if expected:
            check_window(data, caption, (534, 261), False, False, False)
            memo = (data.get("dialog") or {}).get("edits") or [{}]
            check(memo[0].get("text") == url and memo[0].get("read_only"),
                  f"{caption}: address box {memo}")

    # 复制到剪贴板 replaces whatever was there with the address in both text formats; the
    # dialog stays open until 退出安装.
    with Dialog(caption, (534, 261), "download", "预览产品", url, "clipboard") as dialog:
        dialog.click(8 + 144 + 60, 179 + 4 + 12)
        check(visible(caption), f"{caption}: closed by the copy button")
        dialog.click(*ok)
        data = dialog.result()
    clip = data.get("clipboard") or {}
    check(data.get("result") is True, f"{caption} after copying: {data.get('result')}")
    check(clip.get("unicode") == url, f"{caption}: Unicode clipboard {clip.get('unicode')!r}")
    ansi = bytes(clip.get("ansi") or [])
    expected = url.encode(f"cp{clip.get('ansi_code_page', 0)}", errors="replace")
    check(ansi == expected, f"{caption}: ANSI clipboard {ansi!r}, expected {expected!r}")
    check(clip.get("stale_left") is False, f"{caption}: clipboard not emptied first")
    # Both put there, not one derived by the system from the other.
    check(sorted((clip.get("formats") or [])[:2]) == [1, 13],
          f"{caption}: clipboard formats in order {clip.get('formats')}")


PROXY_CAPTION, PROXY_CLIENT = "代理服务器设置", (430, 304)
PROXY_PLACES = [[144, 110, 201, 22], [144, 139, 106, 22], [144, 168, 201, 22],
                [144, 198, 201, 22]]  # address, port (without its arrows), user, password
PROXY_OK, PROXY_CANCEL = (264 + 37, 304 - 41 + 20), (347 + 37, 304 - 41 + 20)
NO_PROXY, USE_PROXY = (8 + 40 + 20, 8 + 40 + 8), (8 + 40 + 20, 8 + 72 + 8)


def proxy_fields(edits):
    return [(edit.get("text"), edit.get("enabled")) for edit in edits or []]


def proxy_blank_address():
    """Opened without proxy: fields disabled but filled. Then a blank address is refused with
    the information box, the focus lands in the address, and Cancel drops what was typed."""
    start = ["0", "   ", "3128", "user one", " secret "]
    with Dialog(PROXY_CAPTION, PROXY_CLIENT, "proxy", *start) as dialog:
        dialog.screenshot("proxy-settings.png")
        dialog.click(*USE_PROXY)
        dialog.click(*PROXY_OK)
        box = find(TITLE)
        time.sleep(0.5)
        dialog.screenshot("proxy-blank-address.png")
        dialog.key("Return", window=box)
        check(not visible(TITLE), "the information box did not close")
        check(visible(PROXY_CAPTION), "the proxy dialog closed on a blank address")
        dialog.type("  typed.example  ")
        time.sleep(0.3)
        dialog.click(*PROXY_CANCEL)
        data = dialog.result()
    check_window(data, PROXY_CAPTION, PROXY_CLIENT, False, False, False)
    edits = (data.get("dialog") or {}).get("edits")
    check(proxy_fields(edits) == [(text, False) for text in start[1:]],
          f"proxy: fields at opening {proxy_fields(edits)}")
    check([edit.get("place") for edit in edits or []] == PROXY_PLACES,
          f"proxy: field places {[edit.get('place') for edit in edits or []]}")
    check(not any(edit.get("masked") for edit in edits or []), "proxy: a field is masked")
    box = data.get("info_box") or {}
    check(box.get("caption") == TITLE and box.get("texts") == ["服务器地址不能为空，请重新输入。"]
          and box.get("information_icon") and box.get("owned_by_dialog"),
          f"proxy: information box {box}")
    check(proxy_fields(box.get("dialog_edits")) == [(text, True) for text in start[1:]],
          f"proxy: fields with the proxy chosen {proxy_fields(box.get('dialog_edits'))}")
    typed = proxy_fields(data.get("last_edits"))
    check(typed and typed[0][0].strip() == "typed.example" and typed[1:] == [
        (text, True) for text in start[2:]], f"proxy: typing after the box went elsewhere {typed}")
    check(data.get("result") is False and data.get("changed") is False,
          f"proxy: Cancel changed the settings {data.get('proxy')}")


def proxy_typed_values():
    """The address is stored trimmed, user and password as typed, the port from the spin edit;
    Tab goes from field to field, top to bottom; Enter in a field means OK."""
    with Dialog(PROXY_CAPTION, PROXY_CLIENT, "proxy", "1", "", "8080", "", "") as dialog:
        dialog.click(244, 121)
        dialog.type("  proxy.local  ")
        dialog.key("Tab", "End", "BackSpace", "BackSpace", "BackSpace", "BackSpace")
        dialog.type("3127")
        dialog.click(144 + 121 - 8, 139 + 5)  # the spin edit's up arrow
        dialog.key("Tab")
        dialog.type(" proxy user ")
        dialog.key("Tab")
        dialog.type(" pass word ")
        dialog.key("Return")
        data = dialog.result()
    expected = {"checked": True, "address": "proxy.local", "port": 3128, "user": " proxy user ",
                "password": " pass word "}
    check(data.get("result") is True and data.get("proxy") == expected and data.get("changed"),
          f"proxy: typed values stored as {data.get('proxy')}")


def proxy_turned_off():
    """不使用代理服务器 disables the fields, and OK still stores their values."""
    with Dialog(PROXY_CAPTION, PROXY_CLIENT, "proxy", "1", "old.proxy", "8888", "u", "p") as dialog:
        dialog.click(*NO_PROXY)
        dialog.click(*PROXY_OK)
        data = dialog.result()
    check(proxy_fields(data.get("last_edits")) == [(text, False) for text in
                                                   ("old.proxy", "8888", "u", "p")],
          f"proxy: fields after 不使用代理服务器 {proxy_fields(data.get('last_edits'))}")
    expected = {"checked": False, "address": "old.proxy", "port": 8888, "user": "u",
                "password": "p"}
    check(data.get("result") is True and data.get("proxy") == expected,
          f"proxy: turned off, stored as {data.get('proxy')}")


def license_window():
    caption = "用户许可协议"
    text = "\n".join(f'第 {n} 条 "预览产品" 最终用户许可协议的内容。' for n in range(1, 41))
    with Dialog(caption, (784, 461), "license", text) as dialog:
        dialog.screenshot("license.png")
        dialog.close_box()
        data = dialog.result()
    check_window(data, caption, (784, 461), True, False, True)
    memo = (data.get("dialog") or {}).get("edits") or [{}]
    check(memo[0].get("text") == text.replace("\n", "\r\n"), "licence: text differs")
    check(memo[0].get("place") == [0, 0, 784, 461] and memo[0].get("read_only"),
          f"licence: text box {memo[0].get('place')}, read-only {memo[0].get('read_only')}")


def base_dialog():
    caption = "基础对话框"
    with Dialog(caption, (534, 261), "base") as dialog:
        dialog.screenshot("base-dialog.png")
        dialog.key("Return")
        data = dialog.result()
    check_window(data, caption, (534, 261), False, False, False)
    buttons = data.get("buttons") or {}
    seen = {name: (b.get("left"), b.get("width"), b.get("visible")) for name, b in buttons.items()}
    check(seen.get("确定") == (368, 75, True) and seen.get("取消") == (451, 75, True)
          and seen.get("应用", (0, 0, True))[2] is False, f"base dialog: buttons {seen}")
    check(data.get("result") == 1, f"base dialog: Enter gave {data.get('result')}")


def scaled_dialogs():
    """The preview's manifest scales like a project with ScaleWithDisplay: at 144 and 192 DPI
    (as Wine reads it) the copy failure and the licence grow by DPI / 96, centred as ever."""
    desktop = "HKCU\\Control Panel\\Desktop"
    try:
        for dpi in (144, 192):
            subprocess.run([EMULATOR, "reg", "add", desktop, "/v", "LogPixels", "/t", "REG_DWORD",
                            "/d", str(dpi), "/f"], capture_output=True, timeout=30, check=True)
            px = lambda designed: (designed * dpi + 48) // 96  # noqa: E731  (rounded, as the program does)
            copy = (px(572), px(268))
            with Dialog("复制文件失败", copy, "copy", "C:\\Program Files\\预览产品\\组件.dll",
                        "另一个程序正在使用此文件，进程无法访问。") as dialog:
                dialog.screenshot(f"copy-failure-{dpi}.png")
                dialog.key("Return")
                data = dialog.result()
            check(data.get("result") == 4, f"copy failure at {dpi} DPI: {data.get('result')}")
            check_window(data, "复制文件失败", copy, True, True, True)
            licence = (px(784), px(461))
            with Dialog("用户许可协议", licence, "license", "第 1 条 许可协议的内容。") as dialog:
                dialog.screenshot(f"license-{dpi}.png")
                dialog.close_box()
                data = dialog.result()
            check_window(data, "用户许可协议", licence, True, False, True)
    finally:
        subprocess.run([EMULATOR, "reg", "delete", desktop, "/v", "LogPixels", "/f"],
                       capture_output=True, timeout=30)
    # Dragged to a monitor of 192 DPI: the program takes the scale, every window is laid out
    # anew, and the dialog is centred where the system suggests (1000 x 600 at 200, 150).
    with Dialog("复制文件失败", (572, 268), "copy", "C:\\组件.dll", "原因", "--moved", "192") as dialog:
        time.sleep(0.5)
        dialog.key("Return")
        data = dialog.result()
    moved = data.get("moved") or {}
    centre = moved.get("centre") or [0, 0]
    check(moved.get("client") == [1144, 536] and moved.get("owner_client") == [800, 600]
          and abs(centre[0] - 700) <= 1 and abs(centre[1] - 450) <= 1, f"moved to 192 DPI: {moved}")


def main():
    os.makedirs(SHOTS, exist_ok=True)
    open(os.path.join(SHOTS, "preview.log"), "w").close()  # the runs' standard error
    # Only for this program: Wine draws its windows' frames, as no window manager is running.
    subprocess.run([EMULATOR, "reg", "add",
                    "HKCU\\Software\\Wine\\AppDefaults\\dialog_preview.exe\\X11 Driver",
                    "/v", "Managed", "/t", "REG_SZ", "/d", "N", "/f"],
                   capture_output=True, timeout=30, check=True)
    start = time.monotonic()
    for case in (copy_failure, download_failure, proxy_blank_address, proxy_typed_values,
                 proxy_turned_off, license_window, base_dialog, scaled_dialogs):
        try:
            case()
        except (subprocess.TimeoutExpired, IndexError, KeyError, ValueError) as error:
            check(False, f"{case.__name__}: {type(error).__name__}: {error}")
    print(f"{time.monotonic() - start:.1f} s, screenshots in {SHOTS}")
    if failures:
        print(f"{len(failures)} check(s) failed")
        return 1
    print("all dialog checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
