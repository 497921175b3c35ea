#!/usr/bin/env python3
"""Runs http_tests.exe under Wine against real local peers.

Usage: http_test.py EMULATOR HTTP_TESTS_EXE ADDROOT_EXE WORK_DIR

Starts, on 127.0.0.1 only and on free ports: a plain origin, three TLS origins (certificate
from a test authority that is trusted inside the Wine prefix; from a second, untrusted
authority; for another host name) and two tinyproxy instances (open; Basic authentication).
The prefix's environment (WINEPREFIX, HOME, WINEDEBUG) and a running wineserver come from the
caller. Everything started here is stopped in the end, also on failure; every wait is bounded.
"""

import http.server
import os
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse

PROXY_USER, PROXY_PASSWORD = "lxuser", "lx-secret"
STALL_HOLD = 20.0  # seconds a stalling answer keeps its connection: longer than the client waits
LARGE_SIZE = 1 << 20
CHUNKED_SIZE = 300 * 1024


def pattern(size):
    # The same bytes the tests compute: byte i is (i * 7 + i // 251) mod 256.
    return bytes((i * 7 + i // 251) & 0xFF for i in range(size))


LARGE_BODY = pattern(LARGE_SIZE)
CHUNKED_BODY = pattern(CHUNKED_SIZE)


class Origin(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def setup(self):
        # The handshake runs here, in the connection's own thread, bounded by a time-out, so
        # that a client that never finishes it cannot hold up the accepting thread.
        self.request.settimeout(10)
        if self.server.context:
            self.request = self.server.context.wrap_socket(self.request, server_side=True)
        super().setup()

    def log_message(self, fmt, *args):
        self.server.log_line(fmt % args)

    def reply(self, code, body=b"", headers=()):
        self.send_response(code)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def cut_off(self):
        # The connection ends here, whatever the headers announced.
        self.wfile.flush()
        self.close_connection = True
        self.connection.shutdown(socket.SHUT_RDWR)

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


class OriginServer(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, log, context=None):
        super().__init__(("127.0.0.1", 0), Origin)
        self.log, self.context, self.hits = log, context, {}
        self.stop, self.lock = threading.Event(), threading.Lock()
        self.port = self.server_address[1]

    def count(self, path):
        with self.lock:
            self.hits[path] = self.hits.get(path, 0) + 1

    def log_line(self, text):
        with self.lock:
            self.log.write(f"{self.port}: {text}\n")
            self.log.flush()

    def handle_error(self, request, client_address):
        self.log_line(f"error from {client_address}: {sys.exc_info()[1]!r}")


def run(args, log, **kw):
    subprocess.run(args, stdout=log, stderr=log, check=True, timeout=60, **kw)


def make_pki(folder, log):
    """A trusted and an untrusted authority, and three server certificates."""
    def authority(name):
        run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
             "-keyout", f"{name}.key", "-out", f"{name}.crt",
             "-subj", f"/CN=Lx {name} {os.getpid()}",
             "-addext", "basicConstraints=critical,CA:TRUE",
             "-addext", "keyUsage=critical,keyCertSign,cRLSign"], log, cwd=folder)

    def server(name, ca, host):
        with open(os.path.join(folder, f"{name}.ext"), "w") as ext:
            ext.write(f"subjectAltName=DNS:{host}\nextendedKeyUsage=serverAuth\n"
                      "basicConstraints=CA:FALSE\n"
                      "keyUsage=critical,digitalSignature,keyEncipherment\n")
        run(["openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{name}.key",
             "-out", f"{name}.csr", "-subj", f"/CN={host}"], log, cwd=folder)
        run(["openssl", "x509", "-req", "-in", f"{name}.csr", "-CA", f"{ca}.crt",
             "-CAkey", f"{ca}.key", "-CAcreateserial", "-days", "2", "-sha256",
             "-extfile", f"{name}.ext", "-out", f"{name}.crt"], log, cwd=folder)

    authority("trusted-ca")
    authority("untrusted-ca")
    server("trusted", "trusted-ca", "localhost")
    server("untrusted", "untrusted-ca", "localhost")
    server("wrong-name", "trusted-ca", "wrong-name.invalid")


def tls_context(folder, name):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(folder, f"{name}.crt"),
                            os.path.join(folder, f"{name}.key"))
    return context


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, process, timeout=10.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if process.poll() is not None:
            raise RuntimeError(f"process on port {port} ended with {process.returncode}")
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return
        except OSError:
            time.sleep(0.05)
    raise RuntimeError(f"nothing listens on port {port}")


def start_tinyproxy(work, name, connect_ports, auth):
    port = free_port()
    conf = os.path.join(work, f"{name}.conf")
    with open(conf, "w") as f:
        if os.geteuid() == 0:
            f.write("User nobody\nGroup nogroup\n")
        f.write(f"Port {port}\nListen 127.0.0.1\nAllow 127.0.0.1\nTimeout 30\n"
                "LogLevel Info\nMaxClients 20\n")
        f.writelines(f"ConnectPort {target}\n" for target in connect_ports)
        if auth:
            f.write(f"BasicAuth {PROXY_USER} {PROXY_PASSWORD}\n")
    log = open(os.path.join(work, f"{name}.log"), "w")
    process = subprocess.Popen(["tinyproxy", "-d", "-c", conf], stdin=subprocess.DEVNULL,
                               stdout=log, stderr=subprocess.STDOUT)
    log.close()
    return port, process


def stop_process(process):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait(timeout=5)


def main():
    emulator, tests, addroot, work = sys.argv[1:5]
    # A termination (a time-out of the caller) still runs the clean-up below.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("terminated"))
    if not os.environ.get("WINEPREFIX"):
        sys.exit("WINEPREFIX is not set: run through tools/test, or source Tests/Wine/wine-env.sh")
    shutil.rmtree(work, ignore_errors=True)
    pki = os.path.join(work, "pki")
    os.makedirs(pki)
    tool_log = open(os.path.join(work, "tools.log"), "w")
    origin_log = open(os.path.join(work, "origin.log"), "w")
    servers, threads, processes = [], [], []
    trusted_ca = "Z:" + os.path.join(pki, "trusted-ca.crt")
    ca_installed = False
    try:
        make_pki(pki, tool_log)
        run([emulator, addroot, trusted_ca], tool_log)
        ca_installed = True

        for context in (None, tls_context(pki, "trusted"), tls_context(pki, "untrusted"),
                        tls_context(pki, "wrong-name")):
            server = OriginServer(origin_log, context)
            thread = threading.Thread(target=server.serve_forever, daemon=True)
            thread.start()
            servers.append(server)
            threads.append(thread)
        plain, trusted, untrusted, wrong_name = (s.port for s in servers)

        tls_ports = (trusted, untrusted, wrong_name)
        open_port, open_proxy = start_tinyproxy(work, "proxy-open", tls_ports, False)
        processes.append(open_proxy)
        auth_port, auth_proxy = start_tinyproxy(work, "proxy-auth", tls_ports, True)
        processes.append(auth_proxy)
        wait_for_port(open_port, open_proxy)
        wait_for_port(auth_port, auth_proxy)

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
            server.stop.set()
            server.shutdown()
            server.server_close()
        for thread in threads:
            thread.join(timeout=5)
        for process in processes:
            stop_process(process)
        if ca_installed:
            try:
                run([emulator, addroot, "/remove", trusted_ca], tool_log)
            except (subprocess.SubprocessError, OSError) as error:
                print(f"could not take the test authority out of the prefix: {error}")
        tool_log.close()
        origin_log.close()


if __name__ == "__main__":
    sys.exit(main())
