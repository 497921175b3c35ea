"""What the end-to-end scripts share: checks that collect failures, paths into the Wine prefix,
bounded waits, and input to windows on the virtual display.

The caller's environment has WINEPREFIX (a ready prefix with a running wineserver) and DISPLAY
(an X server without a window manager).
"""
import os
import subprocess
import time

WINE = "/usr/lib/wine/wine64"
DRIVE_C = os.path.join(os.environ["WINEPREFIX"], "drive_c")
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, flush=True)
    return condition


def c_path(windows_path):
    """The Linux path of a path on drive C: of the prefix."""
    return os.path.join(DRIVE_C, *[part for part in windows_path[3:].split("\\") if part])


def wait_for(condition, timeout):
    """The condition's first true result, or its last result after TIMEOUT seconds."""
    end = time.monotonic() + timeout
    while not (result := condition()) and time.monotonic() < end:
        time.sleep(0.2)
    return result


def wait(process, timeout):
    """The exit code, or None after killing a process that did not end in time."""
    try:
        return process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait(5)
        return None


def visible_windows(process, title, timeout=0):
    """The visible windows of PROCESS with exactly that title, waited for up to TIMEOUT seconds."""
    search = ["xdotool", "search"] + (["--sync"] if timeout else []) + \
        ["--all", "--onlyvisible", "--pid", str(process.pid), "--name", f"^{title}$"]
    return subprocess.run(["timeout", str(timeout or 10)] + search, capture_output=True,
                          text=True).stdout.split()


def click(window, x, y):
    """Clicks at a point of the client area (no window manager: the client is the window)."""
    out = subprocess.run(["xdotool", "getwindowgeometry", window], capture_output=True, text=True,
                         timeout=10).stdout
    left, top = map(int, out.split("Position: ")[1].split(" ")[0].split(","))
    subprocess.run(["xdotool", "mousemove", str(left + x), str(top + y), "click", "1"],
                   check=True, timeout=10)
    time.sleep(0.4)


def keys(window, *names):
    """Keys go to the window under the pointer: there is no window manager to move the focus."""
    subprocess.run(["xdotool", "mousemove", "--window", window, "5", "5"], timeout=10)
    time.sleep(0.3)
    subprocess.run(["xdotool", "key", "--delay", "50", *names], timeout=10)
    time.sleep(0.4)


def type_text(text):
    subprocess.run(["xdotool", "type", "--delay", "30", text], timeout=30)


def screenshot(folder, name):
    """The whole virtual display as FOLDER/NAME.png, after a moment to paint."""
    os.makedirs(folder, exist_ok=True)
    time.sleep(0.5)
    subprocess.run(["import", "-window", "root", os.path.join(folder, name + ".png")], check=True,
                   timeout=30)
