#!/usr/bin/env python3
"""The mini installer end to end under Wine, built on STUB (the release x86 installer where this
machine runs 32-bit programs): it downloads the full installer from local servers and installs
from it.

  http     /Silent over HTTP: the same files, uninstall data and entry as the full installer,
           the request headers, the channel code on the visited address, no download left over
  https    /Silent over HTTPS with a test authority trusted in the prefix
  proxy    the proxy typed into the proxy dialog (a proxy with Basic authentication)
  failures /Silent against a 404, an HTML page, a stalled and a broken transfer: exit code 6
           (7 for the page, which is no package), the download in the log,
           the reason on standard error, nothing installed, nothing left in the temporary folder
  retry    the failure dialog: "重试" returns to the home page, the next press installs;
           "退出安装" ends with exit code 0; a program without the full package brings
           "安装包错误。" and the home page, its file deleted, and the next attempt installs
  trust    only what the publisher built installs: a pinned mini installer refuses a changed
           byte and another valid installer; a signed one refuses another publisher's and an
           unsigned download and takes its own publisher's, also when signed through a PKCS#11
           token; unpinned and unsigned takes anything

usage: install_download.py ONESETUP STUB DEMO_DIR ADDROOT WORKDIR

DEMO_DIR is the demo project (with its programs built), ADDROOT the x64 tool that trusts a test
authority in the prefix. Needs the environment of the test command: WINEPREFIX (ready, with a
running wineserver), DISPLAY, HOME. Servers listen on 127.0.0.1 only and are stopped at the end.
"""
import functools
import hashlib
import os
import pwd
import re
import shutil
import subprocess
import sys
import time
import urllib.parse
from concurrent.futures import ThreadPoolExecutor

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import harness  # noqa: E402
import signing  # noqa: E402
from harness import (DRIVE_C, WINE, Handler, LocalServer, c_path, check, click,  # noqa: E402
                     failures, keys, started, type_text, visible_windows, wait, wait_for, z_path)

ONESETUP, STUB, DEMO, ADDROOT, WORK = sys.argv[1:6]
TEMP = os.path.join(DRIVE_C, "users", pwd.getpwuid(os.getuid()).pw_name, "Temp")
UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
GUID = "{5D0B1E4A-2C7F-4E19-B3A8-6F90D2C4E817}"
TITLE = "下载演示"
PROXY_USER, PROXY_PASSWORD = "dluser", "dl-secret"
STALL_HOLD = 60.0  # longer than the installer waits for data
run = functools.partial(harness.run, folder=WORK, timeout=120)
start = functools.partial(harness.start, folder=WORK)


# -- the servers ----------------------------------------------------------------------------

class Origin(Handler):
    """/full/CASE serves that case's full installer; /flaky/CASE answers 404 the first time,
    /minifirst/CASE the mini installer itself (a program without the full package) the first
    time; /missing, /page, /stall, /broken fail."""
    socket_timeout = 20

    def reply(self, code, body=b"", kind="application/octet-stream"):
        super().reply(code, body, [("Content-Type", kind)])

    def do_GET(self):
        parts = urllib.parse.urlsplit(self.path)
        path = parts.path
        first = self.server.record(self.path, self.headers)
        name = path.rsplit("/", 1)[-1]
        if path.startswith("/full/") or (path.startswith(("/flaky/", "/minifirst/")) and not first):
            self.reply(200, read(os.path.join(WORK, name, full_name(name))))
        elif path.startswith("/slow/"):
            # About four seconds: the window pumps its messages meanwhile.
            body = read(os.path.join(WORK, name, full_name(name)))
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            piece = len(body) // 40 + 1
            for start in range(0, len(body), piece):
                self.wfile.write(body[start:start + piece])
                self.wfile.flush()
                time.sleep(0.1)
        elif path.startswith("/served/"):
            self.reply(200, read(self.server.served[name]))
        elif path.startswith("/minifirst/"):
            self.reply(200, read(os.path.join(WORK, name, name + ".exe")))
        elif path == "/page":
            self.reply(200, b"<html><body>Not an installer</body></html>", "text/html")
        elif path in ("/stall", "/broken"):
            self.send_response(200)
            self.send_header("Content-Length", "400000")
            self.end_headers()
            self.wfile.write(b"MZ" + b"\0" * 100000)
            self.wfile.flush()
            if path == "/stall":
                self.server.stop.wait(STALL_HOLD)
            self.cut_off()
        elif path == "/installed":
            self.reply(200, b"ok", "text/plain")
        else:
            self.reply(404, b"not found", "text/plain")


class OriginServer(LocalServer):
    def __init__(self, log, context=None):
        self.requests = []
        # /served/CASE: the file the trust cases choose.
        self.served = {}
        super().__init__(Origin, log, context)

    def record(self, target, headers):
        """Keeps the request; true when it is the first for its path."""
        path = urllib.parse.urlsplit(target).path
        with self.lock:
            first = not any(urllib.parse.urlsplit(t).path == path for t, _ in self.requests)
            self.requests.append((target, dict(headers.items())))
            return first

    def seen(self, path):
        with self.lock:
            return [(t, h) for t, h in self.requests if urllib.parse.urlsplit(t).path == path]


def make_pki(folder):
    """A test authority and a certificate for localhost: the server's context and the
    authority's certificate."""
    os.makedirs(folder)
    authority = harness.make_authority(folder, "ca")
    harness.make_certificate(folder, "server", "ca", "localhost")
    return harness.tls_context(folder, "server"), authority


# -- installers, runs and results -------------------------------------------------------------

def read(path):
    with open(path, "rb") as f:
        return f.read()


def full_name(case):
    # Without the underscore: its visit of the address carries no channel code.
    return case.replace("_", "") + "Full.exe"


def build(case, url, goto, options=(), variant=""):
    """The demo project as CASE: its own title, folder and names; the mini installer CASE.exe
    fetches URL. OPTIONS go to the builder; a VARIANT is built into a folder of its own. Returns
    the folder."""
    folder = os.path.join(WORK, case + variant)
    shutil.rmtree(folder, ignore_errors=True)
    shutil.copytree(DEMO, folder)
    project = os.path.join(folder, "Demo.xml")
    text = open(project, encoding="utf-8").read()
    text = text.replace("Onesetup 演示", TITLE).replace("Onesetup Demo", "Onesetup Download Demo")
    text = text.replace("{0C5E1A37-7B2D-4F6A-9D84-3E1F5B2A6C90}", GUID)
    values = {"DefInstallPath": f"C:\\onesetup-e2e\\download\\{case}",
              "FullSetupFile": full_name(case), "MiniSetupFile": case + ".exe",
              "FullDownloadUrl": url, "GotoUrl": goto}
    for name, value in values.items():
        text = re.sub(f'{name}="[^"]*"', lambda _: f'{name}="{value}"', text)
    with open(project, "w", encoding="utf-8") as f:
        f.write(text)
    if variant:
        # Another build of the same product: some of its bytes differ.
        with open(os.path.join(folder, "files", "ReadMe.txt"), "a", encoding="utf-8") as f:
            f.write(variant + "\n")
    subprocess.run([ONESETUP, "build", project, "-o", folder, "--stub", STUB, "-q", *options],
                   check=True, timeout=120)
    return folder


def app_dir(case):
    return c_path(f"C:\\onesetup-e2e\\download\\{case}")


def clean(case):
    shutil.rmtree(app_dir(case), ignore_errors=True)
    subprocess.run([WINE, "reg", "delete", f"{UNINSTALL}\\{GUID}_vm", "/f", "/reg:32"],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)


def tree(folder):
    """Every file below FOLDER: its bytes' digest and, for the project's files, the last-write
    time they carry (the uninstaller and its data take the installation's time)."""
    result = {}
    for root, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            stamp = None if name.startswith("Uninstall.") else int(os.stat(path).st_mtime)
            result[os.path.relpath(path, folder)] = (hashlib.sha256(read(path)).hexdigest(), stamp)
    return result


def temp_downloads():
    """Downloaded installers in the temporary folder: a GUID and ".exe"."""
    pattern = re.compile(r"^\{[0-9A-F-]{36}\}\.exe$", re.I)
    return sorted(n for n in os.listdir(TEMP) if pattern.match(n)) if os.path.isdir(TEMP) else []


def uninstall_values():
    out = subprocess.run([WINE, "reg", "query", f"{UNINSTALL}\\{GUID}_vm", "/reg:32"],
                         capture_output=True, timeout=30).stdout.decode("utf-8", "replace")
    return {line.split()[0]: line.split(None, 2)[2] if len(line.split()) > 2 else ""
            for line in out.splitlines() if line.startswith("    ")}


# -- the windows --------------------------------------------------------------------------------

def screenshot(name):
    harness.screenshot(os.path.join(WORK, "screenshots"), name)


MAIN = TITLE + " 安装程序"
FAILURE = TITLE + " 在线安装失败"
# Main window (the client starts one pixel in): the install button, the proxy link in the bottom
# panel at y 379, and the finish button.
INSTALL, PROXY_LINK = (1 + 275 + 100, 1 + 280 + 25), (1 + 239 + 42, 379 + 63 + 7)
FINISH = (1 + 274 + 100, 379 + 23 + 25)
# The failure dialog's 534 x 261 client: "退出安装" and "重试" in its 41-pixel button row.
QUIT_BUTTON = (534 - 8 - 75 - 8 - 75 + 37, 261 - 41 + 8 + 12)
# The proxy dialog's 430 x 304 client.
PROXY_CAPTION = "代理服务器设置"
USE_PROXY, PROXY_OK = (8 + 40 + 20, 8 + 72 + 8), (264 + 37, 304 - 41 + 20)
ADDRESS, PORT = (244, 121), (144 + 50, 139 + 11)


def home_page(case, url):
    """Builds CASE's installers for URL, starts the mini one with its window and waits for its
    home page: the process and the window, or the process and None."""
    folder = build(case, url, "")
    clean(case)
    process = start(os.path.join(folder, case + ".exe"))
    main = visible_windows(process, MAIN, timeout=30)
    check(main, f"{case}: no home page")
    return process, main[0] if main else None


def finish(process, case, what):
    """Waits for the finish page (the uninstall entry is the last step's mark) and presses its
    button: the process ends with 0."""
    registered = wait_for(lambda: "DisplayName" in uninstall_values(), 90)
    check(registered, f"{what}: the installation did not reach its end")
    time.sleep(2)
    main = visible_windows(process, MAIN)
    if check(main, f"{what}: no finish page"):
        screenshot(f"{case}-finish")
        click(main[0], *FINISH)
    code = wait(process, 30)
    check(code == 0, f"{what}: exit code {code} after the finish button")


# -- the groups ---------------------------------------------------------------------------------

def http_case(origin):
    base = f"http://127.0.0.1:{origin.port}"
    folder = build("setup_1024", f"{base}/full/setup_1024", f"{base}/installed?from=demo")
    clean("setup_1024")
    code, _, err = run(os.path.join(folder, full_name("setup_1024")), "/Silent")
    check(code == 0, f"http: the full installer ended with {code} {err!r}")
    expected, expected_key = tree(app_dir("setup_1024")), uninstall_values()
    check(len(expected) > 5 and "Uninstall.da1" in expected, f"http: full install gave {expected}")
    clean("setup_1024")
    before = temp_downloads()

    code, _, err = run(os.path.join(folder, "setup_1024.exe"), "/Silent")
    check(code == 0, f"http: the mini installer ended with {code} {err!r}")
    installed = tree(app_dir("setup_1024"))
    check(installed == expected, "http: the mini installer installed other files: "
          f"{sorted(set(installed.items()) ^ set(expected.items()))}")
    key = uninstall_values()
    for name in ("DisplayName", "DisplayVersion", "InstallLocation", "UninstallString", "Publisher"):
        check(key.get(name) == expected_key.get(name) and key.get(name),
              f"http: uninstall value {name}: {key.get(name)!r}, full gave {expected_key.get(name)!r}")

    requests = origin.seen("/full/setup_1024")
    check(len(requests) == 1, f"http: {len(requests)} requests for the full installer")
    if requests:
        headers = requests[0][1]
        for name, value in (("User-Agent", "Mozilla/3.0 (compatible; Indy Library)"),
                            ("Accept", "*/*"), ("Cache-control", "no-cache"),
                            ("Connection", "Keep-Alive"), ("Accept-Encoding", "identity")):
            got = next((v for k, v in headers.items() if k.lower() == name.lower()), None)
            check(got == value, f"http: request header {name}: {got!r}")
    visits = [t for t, _ in origin.seen("/installed")]
    check("/installed?from=demo&rcode=1024" in visits and "/installed?from=demo" in visits,
          f"http: visited addresses {visits}")
    check(temp_downloads() == before, f"http: downloads left over {temp_downloads()}")


def https_case(tls):
    folder = build("DlTls", f"https://localhost:{tls.port}/full/DlTls", "")
    clean("DlTls")
    code, _, err = run(os.path.join(folder, "DlTls.exe"), "/Silent")
    check(code == 0, f"https: exit code {code} {err!r}")
    check(len(tls.seen("/full/DlTls")) == 1, "https: the TLS origin saw no request")
    readme = os.path.join(app_dir("DlTls"), "ReadMe.txt")
    check(os.path.isfile(readme) and read(readme) == read(os.path.join(DEMO, "files", "ReadMe.txt")),
          "https: ReadMe.txt not installed as packed")


def proxy_case(origin, proxy_port):
    process, main = home_page("DlProxy", f"http://127.0.0.1:{origin.port}/full/DlProxy")
    if not main:
        return
    click(main, *PROXY_LINK)
    dialog = visible_windows(process, PROXY_CAPTION, timeout=15)
    if not check(dialog, "proxy: the proxy link opened no dialog"):
        return
    click(dialog[0], *USE_PROXY)
    click(dialog[0], *ADDRESS)
    type_text("localhost")
    click(dialog[0], *PORT)
    keys(dialog[0], "End", *["BackSpace"] * 6)
    type_text(str(proxy_port))
    keys(dialog[0], "Tab")
    type_text(PROXY_USER)
    keys(dialog[0], "Tab")
    type_text(PROXY_PASSWORD)
    screenshot("proxy-dialog")
    click(dialog[0], *PROXY_OK)
    # Without a window manager, hiding a window takes a moment; the owner is enabled after.
    check(wait_for(lambda: not visible_windows(process, PROXY_CAPTION), 15),
          "proxy: the dialog did not close on OK")
    click(main, *INSTALL)
    finish(process, "proxy", "proxy")
    requests = origin.seen("/full/DlProxy")
    via = [h for _, h in requests if any(k.lower() == "via" for k in h)]
    check(len(requests) == 1 and via, f"proxy: the origin saw {requests}, not through the proxy")
    log = open(os.path.join(WORK, "proxy.log"), errors="replace").read()
    check(f"127.0.0.1:{origin.port}/full/DlProxy" in log, "proxy: the proxy's log lacks the request")
    check(os.path.isfile(os.path.join(app_dir("DlProxy"), "ReadMe.txt")), "proxy: nothing installed")


def failure_cases(origin):
    base = f"http://127.0.0.1:{origin.port}"
    cases = [("DlMissing", "/missing", "在线安装失败"), ("DlPage", "/page", "安装包错误。"),
             ("DlStall", "/stall", "在线安装失败"), ("DlBroken", "/broken", "在线安装失败")]
    folders = {case: build(case, base + path, "") for case, path, _ in cases}
    before = temp_downloads()

    def one(case):
        clean(case)
        started_at = time.monotonic()
        code, _, err = run(os.path.join(folders[case], case + ".exe"), "/Silent",
                           "/Log=" + z_path(os.path.join(WORK, case + ".log")), timeout=150)
        return code, err, time.monotonic() - started_at

    with ThreadPoolExecutor(len(cases)) as pool:
        results = dict(zip(folders, pool.map(one, folders)))
    for case, path, reason in cases:
        code, err, seconds = results[case]
        # A download that failed, or a file that came but is no package.
        wanted = 7 if reason == "安装包错误。" else 6
        check(code == wanted, f"{case}: exit code {code} after {seconds:.0f} s")
        check(reason in err, f"{case}: standard error {err!r} lacks {reason!r}")
        check(not os.path.exists(os.path.join(app_dir(case), "ReadMe.txt")), f"{case}: installed")
    check(temp_downloads() == before, f"failures: downloads left over {temp_downloads()}")
    with open(os.path.join(WORK, "DlMissing.log"), encoding="utf-8") as f:
        log = [line.split(" ", 2)[2] for line in f.read().splitlines()]
    for line in (f"Download: {base}/missing, direct", "Download: HTTP status 404, 0 bytes, failed",
                 "End: exit code 6 after "):
        check(any(event.startswith(line) for event in log), f"failures: the log lacks {line!r}: {log!r}")


def retry_cases(origin):
    base = f"http://127.0.0.1:{origin.port}"
    before = temp_downloads()

    # A 404 first: the failure dialog; "重试" (Escape) gives the home page, whose next press
    # downloads again and installs.
    process, main = home_page("DlRetry", f"{base}/flaky/DlRetry")
    if main:
        click(main, *INSTALL)
        dialog = visible_windows(process, FAILURE, timeout=30)
        if check(dialog, "retry: no failure dialog after a 404"):
            screenshot("download-failure")
            keys(dialog[0], "Escape")
            check(wait_for(lambda: not visible_windows(process, FAILURE), 15),
                  "retry: the failure dialog stayed")
            screenshot("home-after-retry")
            click(main, *INSTALL)
            finish(process, "retry", "retry")
    wait(process, 5)
    check(len(origin.seen("/flaky/DlRetry")) == 2, "retry: not downloaded twice")

    # A program without the full package first: it is not the pinned file, so "安装包错误。"
    # comes in an information box with the file already deleted, then the home page. The next
    # attempt installs.
    process, main = home_page("DlPackage", f"{base}/minifirst/DlPackage")
    if main:
        click(main, *INSTALL)
        boxes = wait_for(lambda: [w for w in visible_windows(process, MAIN) if w != main], 30)
        if check(boxes, "package: no information box"):
            screenshot("package-error")
            check(temp_downloads() == before, "package: the refused download is kept")
            keys(boxes[0], "Return")
            check(wait_for(lambda: visible_windows(process, MAIN) == [main], 15),
                  "package: the box stayed")
            click(main, *INSTALL)
            finish(process, "package", "package")
    wait(process, 5)
    check(len(origin.seen("/minifirst/DlPackage")) == 2, "package: not downloaded twice")
    check(temp_downloads() == before, f"retry: downloads left over {temp_downloads()}")

    # Closing the window by the keyboard is refused while the download runs, as the close
    # button is.
    process, main = home_page("DlClose", f"{base}/slow/DlClose")
    if main:
        click(main, *INSTALL)
        time.sleep(1.5)
        keys(main, "alt+F4")
        check(process.poll() is None, "close: Alt+F4 ended the installer while downloading")
        finish(process, "close", "close")

    # "退出安装" ends at once with exit code 0, nothing installed.
    process, main = home_page("DlQuit", f"{base}/missing")
    if main:
        click(main, *INSTALL)
        dialog = visible_windows(process, FAILURE, timeout=30)
        if check(dialog, "quit: no failure dialog"):
            click(dialog[0], *QUIT_BUTTON)
    check(wait(process, 20) == 0, "quit: 退出安装 did not end with exit code 0")
    check(not os.path.exists(os.path.join(app_dir("DlQuit"), "ReadMe.txt")), "quit: installed")


def code_signing(name):
    """A self-signed code-signing certificate of the publisher NAME, in a PKCS#12 file with a
    password: the builder's --sign options."""
    folder = os.path.join(WORK, "signing")
    os.makedirs(folder, exist_ok=True)
    key, cert, pfx, password = (os.path.join(folder, name + ext) for ext in (".key", ".crt", ".pfx", ".pass"))
    with open(password, "w") as f:
        f.write("pw-" + name)
    log = open(os.path.join(folder, "openssl.log"), "a")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                    "-days", "30", "-subj", f"/CN={name}/O={name} Ltd", "-addext", "extendedKeyUsage=codeSigning",
                    "-addext", "keyUsage=digitalSignature"], check=True, stdout=log, stderr=log, timeout=60)
    subprocess.run(["openssl", "pkcs12", "-export", "-in", cert, "-inkey", key, "-out", pfx,
                    "-passout", "file:" + password], check=True, stdout=log, stderr=log, timeout=60)
    return ["--sign", pfx, "--sign-password-file", password]


def trust_cases(origin):
    base = f"http://127.0.0.1:{origin.port}"
    before = temp_downloads()

    def mini(case, served, expected, what):
        """CASE's mini installer, /Silent, fetching SERVED: installs (exit 0) or refuses it."""
        origin.served[case] = served
        clean(case)
        code, _, err = run(os.path.join(WORK, case, case + ".exe"), "/Silent")
        installed = os.path.exists(os.path.join(app_dir(case), "ReadMe.txt"))
        if expected:
            check(code == 0 and installed, f"{what}: refused: exit code {code}, stderr {err!r}")
        else:
            check(code == 7 and "安装包错误。" in err and not installed,
                  f"{what}: not refused: exit code {code}, installed {installed}, stderr {err!r}")

    def full(folder, case):
        return os.path.join(folder, full_name(case))

    # Pinned (the default): the very file it was built with, nothing else.
    pinned = build("DlPin", f"{base}/served/DlPin", "")
    changed = os.path.join(WORK, "changed.exe")
    data = bytearray(read(full(pinned, "DlPin")))
    data[len(data) // 2] ^= 1
    with open(changed, "wb") as f:
        f.write(data)
    other = build("DlPin", f"{base}/served/DlPin", "", variant="-other")
    mini("DlPin", full(pinned, "DlPin"), True, "pinned, its own full installer")
    mini("DlPin", changed, False, "pinned, one byte changed")
    mini("DlPin", full(other, "DlPin"), False, "pinned, another valid installer")

    # Signed, without a pin: the same publisher's signature or nothing.
    publisher, stranger = code_signing("Publisher One"), code_signing("Someone Else")
    url = f"{base}/served/DlSigned"
    signed = build("DlSigned", url, "", publisher + ["--no-pin"])
    foreign = build("DlSigned", url, "", stranger + ["--no-pin"], variant="-foreign")
    unsigned = build("DlSigned", url, "", ["--no-pin"], variant="-unsigned")
    mini("DlSigned", full(foreign, "DlSigned"), False, "signed, another publisher's download")
    mini("DlSigned", full(unsigned, "DlSigned"), False, "signed, an unsigned download")
    mini("DlSigned", full(signed, "DlSigned"), True, "signed, its own publisher's download")

    # Signed through a key in a PKCS#11 token: the same checks hold.
    token = signing.token(os.path.join(WORK, "signing", "token"), "Token Publisher")
    url = f"{base}/served/DlToken"
    by_token = build("DlToken", url, "", token + ["--no-pin"])
    by_pfx = build("DlToken", url, "", stranger + ["--no-pin"], variant="-pfx")
    mini("DlToken", full(by_pfx, "DlToken"), False, "token-signed, another publisher's PFX-signed download")
    mini("DlToken", full(by_token, "DlToken"), True, "token-signed, its own full installer")

    # Neither pinned nor signed: whatever the address serves.
    build("DlOpen", f"{base}/served/DlOpen", "", ["--no-pin"])
    rebuilt = build("DlOpen", f"{base}/served/DlOpen", "", variant="-rebuilt")
    mini("DlOpen", full(rebuilt, "DlOpen"), True, "unpinned and unsigned, another installer")
    check(temp_downloads() == before, f"trust: downloads left over {temp_downloads()}")


def main():
    groups = sys.argv[6:] or ["http", "https", "proxy", "failures", "retry", "trust"]
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    log = open(os.path.join(WORK, "origin.log"), "w")
    servers, proxies, ca = [], [], None
    try:
        origin = OriginServer(log)
        servers.append(origin)
        if "http" in groups:
            http_case(origin)
        if "https" in groups:
            context, ca = make_pki(os.path.join(WORK, "pki"))
            subprocess.run([WINE, ADDROOT, "Z:" + ca], check=True, timeout=60,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            servers.append(OriginServer(log, context))
            https_case(servers[-1])
        if "proxy" in groups:
            try:
                port, process = harness.start_tinyproxy(WORK, "proxy", (PROXY_USER, PROXY_PASSWORD))
            except RuntimeError as error:
                check(False, str(error))
            else:
                proxies.append(process)
                proxy_case(origin, port)
        if "failures" in groups:
            failure_cases(origin)
        if "retry" in groups:
            retry_cases(origin)
        if "trust" in groups:
            trust_cases(origin)
    finally:
        for server in servers:
            server.close()
        harness.stop(*started, grace=0)
        harness.stop(*proxies)
        if ca:
            subprocess.run([WINE, ADDROOT, "/remove", "Z:" + ca], timeout=60,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        log.close()
    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
