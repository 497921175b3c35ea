#!/usr/bin/env python3
"""Runs http_tests.exe under Wine against real local peers.

Usage: http_test.py EMULATOR HTTP_TESTS_EXE ADDROOT_EXE WORK_DIR

Starts, on 127.0.0.1 only and on free ports: a plain origin, three TLS origins (certificate
from a test authority that is trusted inside the Wine prefix; from a second, untrusted
authority; for another host name) and two tinyproxy instances (open; Basic authentication).
The prefix's environment (WINEPREFIX, HOME, WINEDEBUG) and a running wineserver come from the
caller. Everything started here is stopped in the end, also on failure; every wait is bounded.
"""

import os
import shutil
import subprocess
import sys
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from harness import (Handler, LocalServer, free_port, make_authority,  # noqa: E402
                     make_certificate, start_tinyproxy, stop, tls_context)

PROXY_USER, PROXY_PASSWORD = "lxuser", "lx-secret"
STALL_HOLD = 20.0  # seconds a stalling answer keeps its connection: longer than the client waits
LARGE_SIZE = 1 << 20
CHUNKED_SIZE = 300 * 1024


def pattern(size):
    # The same bytes the tests compute: byte i is (i * 7 + i // 251) mod 256.
    return bytes((i * 7 + i // 251) & 0xFF for i in range(size))


LARGE_BODY = pattern(LARGE_SIZE)
CHUNKED_BODY = pattern(CHUNKED_SIZE)


class Origin(Handler):
    def chunked(self, parts):
        self.send_response(200)
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        for part in parts:
            self.wfile.write(b"%x\r\n%s\r\n" % (len(part), part))
        self.wfile.write(b"0\r\n\r\n")

    def do_GET(self):
        # Proxies and Wine's tunnel send the absolute form.
        path = urllib.parse.urlsplit(self.path).path or "/"
        self.server.count(path)
        query = urllib.parse.parse_qs(urllib.parse.urlsplit(self.path).query)
        if path == "/hello":
            self.reply(200, b"hello")
        elif path == "/echo":
            lines = [self.requestline] + [f"{k}: {v}" for k, v in self.headers.items()]
            self.reply(200, ("\n".join(lines) + "\n").encode())
        elif path == "/empty":
            self.reply(200)
        elif path == "/redirect":
            self.reply(302, b"moved", [("Location", f"http://{self.headers['Host']}/hello")])
        elif path == "/goto":
            self.reply(302, b"", [("Location", query["to"][0])])
        elif path.startswith("/chain/"):
            tag, left = path.split("/")[2:4]
            if int(left) == 0:
                self.reply(200, b"chain end")
            else:
                self.reply(302, b"", [("Location", f"/chain/{tag}/{int(left) - 1}")])
        elif path == "/hits":
            self.reply(200, str(self.server.hits.get(query["path"][0], 0)).encode())
        elif path == "/cookie/set":
            self.reply(302, b"", [("Set-Cookie", "LxSession=c00k1e; Path=/"),
                                  ("Location", "/cookie/check")])
        elif path == "/cookie/check":
            if "LxSession=c00k1e" in (self.headers.get("Cookie") or ""):
                self.reply(200, b"cookie came back")
            else:
                self.reply(403, b"no cookie")
        elif path == "/status":
            self.reply(int(query["code"][0]), b"status page")
        elif path == "/large":
            self.send_response(200)
            self.send_header("Content-Length", str(LARGE_SIZE))
            self.end_headers()
            for start in range(0, LARGE_SIZE, 64 * 1024):
                self.wfile.write(LARGE_BODY[start:start + 64 * 1024])
                self.wfile.flush()
        elif path == "/chunked":
            self.chunked([CHUNKED_BODY[i:i + 4096] for i in range(0, CHUNKED_SIZE, 4096)])
        elif path in ("/short", "/stall"):
            self.send_response(200)
            self.send_header("Content-Length", "100000")
            self.end_headers()
            self.wfile.write(b"y" * 1000)
            self.wfile.flush()
            if path == "/stall":
                self.server.stop.wait(STALL_HOLD)
            self.cut_off()
        elif path == "/stall-headers":
            self.server.stop.wait(STALL_HOLD)
            self.cut_off()
        else:
            self.reply(404, b"not found")


class OriginServer(LocalServer):
    def __init__(self, log, context=None):
        self.hits = {}
        super().__init__(Origin, log, context)

    def count(self, path):
        with self.lock:
            self.hits[path] = self.hits.get(path, 0) + 1


def run(args, log, **kw):
    subprocess.run(args, stdout=log, stderr=log, check=True, timeout=60, **kw)


def make_pki(folder, log):
    """A trusted and an untrusted authority, and three server certificates."""
    make_authority(folder, "trusted-ca", log)
    make_authority(folder, "untrusted-ca", log)
    make_certificate(folder, "trusted", "trusted-ca", "localhost", log)
    make_certificate(folder, "untrusted", "untrusted-ca", "localhost", log)
    make_certificate(folder, "wrong-name", "trusted-ca", "wrong-name.invalid", log)


def main():
    emulator, tests, addroot, work = sys.argv[1:5]
    shutil.rmtree(work, ignore_errors=True)
    pki = os.path.join(work, "pki")
    os.makedirs(pki)
    tool_log = open(os.path.join(work, "tools.log"), "w")
    origin_log = open(os.path.join(work, "origin.log"), "w")
    servers, processes = [], []
    trusted_ca = "Z:" + os.path.join(pki, "trusted-ca.crt")
    ca_installed = False
    try:
        make_pki(pki, tool_log)
        run([emulator, addroot, trusted_ca], tool_log)
        ca_installed = True

        for context in (None, tls_context(pki, "trusted"), tls_context(pki, "untrusted"),
                        tls_context(pki, "wrong-name")):
            servers.append(OriginServer(origin_log, context))
        plain, trusted, untrusted, wrong_name = (s.port for s in servers)

        tls_ports = (trusted, untrusted, wrong_name)
        open_port, open_proxy = start_tinyproxy(work, "proxy-open", connect_ports=tls_ports)
        processes.append(open_proxy)
        auth_port, auth_proxy = start_tinyproxy(work, "proxy-auth", (PROXY_USER, PROXY_PASSWORD),
                                                tls_ports)
        processes.append(auth_proxy)

        env = dict(os.environ,
                   LX_HTTP_ORIGIN=f"http://127.0.0.1:{plain}",
                   LX_HTTPS_TRUSTED=f"https://localhost:{trusted}",
                   LX_HTTPS_UNTRUSTED=f"https://localhost:{untrusted}",
                   LX_HTTPS_WRONG_NAME=f"https://localhost:{wrong_name}",
                   LX_PROXY_OPEN_PORT=str(open_port),
                   LX_PROXY_AUTH_PORT=str(auth_port),
                   LX_PROXY_USER=PROXY_USER,
                   LX_PROXY_PASSWORD=PROXY_PASSWORD,
                   LX_CLOSED_PORT=str(free_port()))
        # Output to a file: Wine's helper processes may hold a pipe open.
        output_name = os.path.join(work, "http_tests.txt")
        with open(output_name, "w") as output:
            result = subprocess.run([emulator, tests], env=env, stdin=subprocess.DEVNULL,
                                    stdout=output, stderr=subprocess.STDOUT, timeout=90)
        with open(output_name, errors="replace") as output:
            sys.stdout.write(output.read().replace("\r\n", "\n"))

        # The tunnel must really have gone through the proxy.
        with open(os.path.join(work, "proxy-open.log"), errors="replace") as f:
            tunnelled = f"CONNECT localhost:{trusted}" in f.read()
        if not tunnelled:
            print(f"FAIL: the open proxy saw no CONNECT to localhost:{trusted}")
        return 0 if result.returncode == 0 and tunnelled else 1
    finally:
        for server in servers:
            server.close()
        stop(*processes)
        if ca_installed:
            try:
                run([emulator, addroot, "/remove", trusted_ca], tool_log)
            except (subprocess.SubprocessError, OSError) as error:
                print(f"could not take the test authority out of the prefix: {error}")
        tool_log.close()
        origin_log.close()


if __name__ == "__main__":
    sys.exit(main())
