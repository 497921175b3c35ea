"""What the scripts that test under Wine share: checks that collect failures, paths into the
Wine prefix, programs run and started under Wine, local servers, a proxy and test certificates,
bounded waits, and input to windows on the virtual display.

The caller's environment has WINEPREFIX (a ready prefix with a running wineserver) and, for
window input, DISPLAY (an X server without a window manager). Scripts outside Tests put this
folder on sys.path first. Servers listen on 127.0.0.1 only; whoever starts a process or a
server stops it in a finally block, and a termination (SIGTERM) runs those blocks too.
"""
import http.server
import ntpath
import os
import signal
import socket
import ssl
import subprocess
import sys
import threading
import time

WINE = "/usr/lib/wine/wine64"
if not os.environ.get("WINEPREFIX"):
    sys.exit("WINEPREFIX is not set: run through tools/test, or source Tests/Wine/wine-env.sh")
DRIVE_C = os.path.join(os.environ["WINEPREFIX"], "drive_c")
failures = []
# Programs started with start(), for the caller's clean-up.
started = []

signal.signal(signal.SIGTERM, lambda *_: sys.exit("terminated"))


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, flush=True)
    return condition


def c_path(windows_path):
    """The Linux path of a path on drive C: of the prefix."""
    return os.path.join(DRIVE_C, *[part for part in windows_path[3:].split("\\") if part])


def z_path(linux_path):
    """The Windows path of a Linux path, through drive Z: of the prefix."""
    return "Z:" + os.path.abspath(linux_path).replace("/", "\\")


# -- processes ----------------------------------------------------------------------------------

def run(exe, *args, folder, timeout=90):
    """Exit code, standard output and standard error of EXE under Wine, through files in FOLDER:
    a desktop process that Wine starts from the program inherits its handles and would keep a
    pipe open. A program still running after TIMEOUT seconds is killed. EXE is a Linux or a
    Windows path."""
    name = os.path.join(folder, ntpath.basename(exe))
    with open(name + ".out", "w+b") as out, open(name + ".err", "w+b") as err:
        process = subprocess.Popen([WINE, exe, *args], stdout=out, stderr=err,
                                   stdin=subprocess.DEVNULL)
        code = wait(process, timeout)
        out.seek(0)
        err.seek(0)
        return code, out.read().decode("utf-8", "replace"), err.read().decode("utf-8", "replace")


def start(exe, *args, folder):
    """EXE started under Wine, its output in a log in FOLDER; kept in `started`."""
    log_name = os.path.join(folder, f"{ntpath.basename(exe)}-{len(started)}.log")
    with open(log_name, "wb") as log:
        started.append(subprocess.Popen([WINE, exe, *args], stdout=log, stderr=subprocess.STDOUT,
                                        stdin=subprocess.DEVNULL))
    return started[-1]


def wait(process, timeout):
    """The exit code, or None after killing a process that did not end in time."""
    try:
        return process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait(5)
        return None


def stop(*processes, grace=5.0):
    """Ends each process that still runs: terminated, killed after GRACE seconds (at once with
    0)."""
    for process in processes:
        if process.poll() is None:
            if grace:
                process.terminate()
            else:
                process.kill()
    for process in processes:
        try:
            process.wait(grace or 5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait(5)


def wait_for(condition, timeout):
    """The condition's first true result, or its last result after TIMEOUT seconds."""
    end = time.monotonic() + timeout
    while not (result := condition()) and time.monotonic() < end:
        time.sleep(0.2)
    return result


# -- servers ------------------------------------------------------------------------------------

def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, process, timeout=10.0):
    """Whether something listens on PORT of 127.0.0.1 within TIMEOUT seconds while PROCESS runs."""
    end = time.monotonic() + timeout
    while time.monotonic() < end and process.poll() is None:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return True
        except OSError:
            time.sleep(0.05)
    return False


class Handler(http.server.BaseHTTPRequestHandler):
    """The requests of a LocalServer: HTTP/1.1, over TLS when the server has a context, logged
    to the server's log."""
    protocol_version = "HTTP/1.1"
    socket_timeout = 10

    def setup(self):
        # The handshake runs here, in the connection's own thread, bounded by a time-out, so
        # that a client that never finishes it cannot hold up the accepting thread.
        self.request.settimeout(self.socket_timeout)
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


class LocalServer(http.server.ThreadingHTTPServer):
    """An HTTP server on a free port of 127.0.0.1, serving from its own thread until close().
    Handlers that hold a connection wait on `stop`, which close() sets."""
    daemon_threads = True

    def __init__(self, handler, log, context=None):
        super().__init__(("127.0.0.1", 0), handler)
        self.log, self.context = log, context
        self.stop, self.lock = threading.Event(), threading.Lock()
        self.port = self.server_address[1]
        self.thread = threading.Thread(target=self.serve_forever, daemon=True)
        self.thread.start()

    def log_line(self, text):
        with self.lock:
            self.log.write(f"{self.port}: {text}\n")
            self.log.flush()

    def handle_error(self, request, client_address):
        self.log_line(f"error from {client_address}: {sys.exc_info()[1]!r}")

    def close(self):
        self.stop.set()
        self.shutdown()
        self.server_close()
        self.thread.join(timeout=5)


def start_tinyproxy(folder, name, auth=None, connect_ports=()):
    """A tinyproxy on a free port of 127.0.0.1, with NAME.conf and NAME.log in FOLDER: Basic
    authentication when AUTH is (user, password); CONNECT tunnels to CONNECT_PORTS. Its port and
    process once it listens; the caller stops the process."""
    port = free_port()
    conf = os.path.join(folder, name + ".conf")
    with open(conf, "w") as f:
        if os.geteuid() == 0:
            f.write("User nobody\nGroup nogroup\n")
        f.write(f"Port {port}\nListen 127.0.0.1\nAllow 127.0.0.1\nTimeout 30\nLogLevel Info\n"
                "MaxClients 20\n")
        f.writelines(f"ConnectPort {target}\n" for target in connect_ports)
        if auth:
            f.write(f"BasicAuth {auth[0]} {auth[1]}\n")
    with open(os.path.join(folder, name + ".log"), "w") as log:
        process = subprocess.Popen(["tinyproxy", "-d", "-c", conf], stdin=subprocess.DEVNULL,
                                   stdout=log, stderr=subprocess.STDOUT)
    if not wait_for_port(port, process):
        stop(process)
        raise RuntimeError(f"tinyproxy {name} did not listen on port {port}")
    return port, process


# -- test certificates --------------------------------------------------------------------------

def _openssl(folder, log, *args):
    subprocess.run(["openssl", *args], cwd=folder, stdout=log, stderr=log, check=True, timeout=60)


def make_authority(folder, name, log=subprocess.DEVNULL):
    """FOLDER/NAME.crt and .key: a certificate authority of this run only."""
    _openssl(folder, log, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
             "-keyout", f"{name}.key", "-out", f"{name}.crt",
             "-subj", f"/CN=onesetup test {name} {os.getpid()}",
             "-addext", "basicConstraints=critical,CA:TRUE",
             "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    return os.path.join(folder, name + ".crt")


def make_certificate(folder, name, authority, host, log=subprocess.DEVNULL):
    """FOLDER/NAME.crt and .key: a server certificate for HOST that AUTHORITY signed."""
    with open(os.path.join(folder, f"{name}.ext"), "w") as ext:
        ext.write(f"subjectAltName=DNS:{host}\nextendedKeyUsage=serverAuth\n"
                  "basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature,keyEncipherment\n")
    _openssl(folder, log, "req", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{name}.key",
             "-out", f"{name}.csr", "-subj", f"/CN={host}")
    _openssl(folder, log, "x509", "-req", "-in", f"{name}.csr", "-CA", f"{authority}.crt",
             "-CAkey", f"{authority}.key", "-CAcreateserial", "-days", "2", "-sha256",
             "-extfile", f"{name}.ext", "-out", f"{name}.crt")


def tls_context(folder, name):
    """A server context with the certificate FOLDER/NAME.crt."""
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(folder, f"{name}.crt"),
                            os.path.join(folder, f"{name}.key"))
    return context


# -- windows on the virtual display -------------------------------------------------------------

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
