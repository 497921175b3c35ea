#!/usr/bin/env python3
"""Operates each installer dialog under Wine with real X input and checks what it returns.

Usage: dialog_test.py EMULATOR DIALOG_PREVIEW_EXE SCREENSHOT_DIR

The caller provides DISPLAY (an X server without a window manager) and the Wine prefix's
environment with a running wineserver. dialog_preview shows one dialog over an owner window
and prints one JSON line when it closes. Without a window manager Wine draws no caption bar:
the X window is the client area, so clicks use client coordinates, and Alt+F4 (the system
command the close box sends) stands in for the close box. Keys go to the X window under the
pointer, so the pointer is moved into the window first. One screenshot of each dialog is
kept in SCREENSHOT_DIR. Every wait is bounded; every process started here is stopped.
"""

import json
import os
import subprocess
import sys
import time

EMULATOR, PREVIEW, SHOTS = sys.argv[1], sys.argv[2], sys.argv[3]
TITLE = "预览产品 安装程序"  # the preview's application title: every information box's caption
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message)


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
    """One run of dialog_preview: the dialog's window, input into it, and the printed result."""

    def __init__(self, caption, *args):
        self.caption = caption
        self.log = open(os.path.join(SHOTS, "preview.log"), "a")
        self.process = subprocess.Popen([EMULATOR, PREVIEW, *args], stdout=subprocess.PIPE,
                                        stderr=self.log, stdin=subprocess.DEVNULL)
        try:
            t=time.monotonic(); self.window = find(caption); print("find", time.monotonic()-t)
        except BaseException:
            self.__exit__()
            raise
        time.sleep(0.5)  # lets it paint

    def __enter__(self):
        return self

    def __exit__(self, *error):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(5)
        self.log.close()

    def click(self, x, y, window=None):
        xdo("mousemove", "--window", window or self.window, x, y, "click", "1")
        time.sleep(0.3)

    def key(self, *keys, window=None):
        xdo("mousemove", "--window", window or self.window, 5, 5)
        time.sleep(0.2)  # Wine takes the focus from the pointer's arrival
        xdo("key", "--delay", 50, *keys)
        time.sleep(0.3)

    def type(self, text):
        xdo("type", "--delay", 30, text)

    def screenshot(self, name):
        subprocess.run(["import", "-window", "root", os.path.join(SHOTS, name)], timeout=20,
                       check=True)

    def result(self):
        """The printed line, once the dialog has closed (the process then ends)."""
        t=time.monotonic(); out, _ = self.process.communicate(timeout=15); print("exit", time.monotonic()-t)
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
    # Retry, ignore, abort and close box: Enter, Esc, a click on 退出安装, Alt+F4.
    for action, expected in (("Return", 4), ("Escape", 5), ("abort", 3), ("alt+F4", 2)):
        with Dialog(caption, "copy", path, reason) as dialog:
            if expected == 4:
                dialog.screenshot("copy-failure.png")
            if action == "abort":
                dialog.click(233 + 50, 268 - 41 + 8 + 12)
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
                             ("alt+F4", False)):
        with Dialog(caption, "download", "预览产品", url) as dialog:
            if expected:
                dialog.screenshot("download-failure.png")
            if action == "retry":
                dialog.click(*cancel)
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
    with Dialog(caption, "download", "预览产品", url, "clipboard") as dialog:
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


PROXY_CAPTION = "代理服务器设置"
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
    with Dialog(PROXY_CAPTION, "proxy", *start) as dialog:
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
    check_window(data, PROXY_CAPTION, (430, 304), False, False, False)
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
    check(proxy_fields(data.get("last_edits"))[0] == ("  typed.example  ", True),
          f"proxy: typing after the box went elsewhere {proxy_fields(data.get('last_edits'))}")
    check(data.get("result") is False and data.get("changed") is False,
          f"proxy: Cancel changed the settings {data.get('proxy')}")


def proxy_typed_values():
    """The address is stored trimmed, user and password as typed, the port from the spin edit;
    Enter in a field means OK."""
    with Dialog(PROXY_CAPTION, "proxy", "1", "", "8080", "", "") as dialog:
        dialog.click(244, 121)
        dialog.type("  proxy.local  ")
        dialog.click(200, 150)
        dialog.key("End", "BackSpace", "BackSpace", "BackSpace", "BackSpace")
        dialog.type("3127")
        dialog.click(144 + 121 - 8, 139 + 5)  # the spin edit's up arrow
        dialog.click(244, 179)
        dialog.type(" proxy user ")
        dialog.click(244, 209)
        dialog.type(" pass word ")
        dialog.key("Return")
        data = dialog.result()
    expected = {"checked": True, "address": "proxy.local", "port": 3128, "user": " proxy user ",
                "password": " pass word "}
    check(data.get("result") is True and data.get("proxy") == expected and data.get("changed"),
          f"proxy: typed values stored as {data.get('proxy')}")


def proxy_turned_off():
    """不使用代理服务器 disables the fields, and OK still stores their values."""
    with Dialog(PROXY_CAPTION, "proxy", "1", "old.proxy", "8888", "u", "p") as dialog:
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
    with Dialog(caption, "license", text) as dialog:
        dialog.screenshot("license.png")
        dialog.key("alt+F4")
        data = dialog.result()
    check_window(data, caption, (784, 461), True, False, True)
    memo = (data.get("dialog") or {}).get("edits") or [{}]
    check(memo[0].get("text") == text.replace("\n", "\r\n"), "licence: text differs")
    check(memo[0].get("place") == [0, 0, 784, 461] and memo[0].get("read_only"),
          f"licence: text box {memo[0].get('place')}, read-only {memo[0].get('read_only')}")


def base_dialog():
    caption = "基础对话框"
    with Dialog(caption, "base") as dialog:
        dialog.screenshot("base-dialog.png")
        dialog.key("Return")
        data = dialog.result()
    check_window(data, caption, (534, 261), False, False, False)
    buttons = data.get("buttons") or {}
    seen = {name: (b.get("left"), b.get("width"), b.get("visible")) for name, b in buttons.items()}
    check(seen.get("确定") == (368, 75, True) and seen.get("取消") == (451, 75, True)
          and seen.get("应用", (0, 0, True))[2] is False, f"base dialog: buttons {seen}")
    check(data.get("result") == 1, f"base dialog: Enter gave {data.get('result')}")


def main():
    os.makedirs(SHOTS, exist_ok=True)
    start = time.monotonic()
    for case in (copy_failure, download_failure, proxy_blank_address, proxy_typed_values,
                 proxy_turned_off, license_window, base_dialog):
        try:
            t=time.monotonic(); case(); print(case.__name__, time.monotonic()-t)
        except (subprocess.TimeoutExpired, IndexError, ValueError) as error:
            check(False, f"{case.__name__}: {type(error).__name__}: {error}")
    print(f"{time.monotonic() - start:.1f} s, screenshots in {SHOTS}")
    if failures:
        print(f"{len(failures)} check(s) failed")
        return 1
    print("all dialog checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
