#!/usr/bin/env python3
"""Download throughput of the mini installer under 64-bit Wine, over loopback, beside a plain
copy of a file of the same size on Linux and under the same Wine.

usage: download_bench.py ONESETUP MEMORY_WATCH STUB WORKDIR
       download_bench.py --serve FILE URL_PATH PORT SECONDS   (the HTTP server this bench starts)

One build of the install bench's ~200 MB payload makes a full installer and a mini installer
whose download address is a local HTTP server. The payload's .exe files are installed as .ex_,
so that no per-program step (a taskkill and a pause each) blurs the difference between the two
installs. The download costs the mini install's time less the full install's; the server also
logs the transfer's own time. Every install is checked file by file against the payload.
"""
import hashlib
import http.server
import os
import re
import shutil
import subprocess
import sys
import threading
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(here), "Tests"))
from harness import WINE, free_port, stop, wait_for_port, z_path  # noqa: E402

RUNS = 3
GUID = "{9C4E2A71-3B5D-4F68-8A1E-6D2C7B9F0E53}"
UNINSTALL_KEY = (r"HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall"
                 "\\" + GUID + "_vm")
INSTALL_DIR = "download-bench"
FULL_NAME = "DownloadBenchSetup.exe"
MINI_NAME = "DownloadBenchMini.exe"
# The installer's own files in the installation folder, beside the payload.
OWN_FILES = {"Uninstall.da1", "Uninstall.da2"}
SERVER_SECONDS = 3600


def serve(path, url_path, port, seconds):
    """Serves PATH at URL_PATH on loopback PORT for at most SECONDS; one log line per request
    with the time from its arrival to its last byte written."""

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            arrived = time.perf_counter()
            if self.path != url_path:
                self.send_error(404)
                return
            with open(path, "rb") as f:
                size = os.fstat(f.fileno()).st_size
                self.send_response(200)
                self.send_header("Content-Type", "application/octet-stream")
                self.send_header("Content-Length", str(size))
                self.end_headers()
                error = ""
                try:
                    sent = self.connection.sendfile(f)
                except OSError as e:
                    sent, error = -1, f" error={type(e).__name__}"
            took = time.perf_counter() - arrived
            print(f"transfer bytes={sent} size={size} seconds={took:.4f}{error}", flush=True)

    server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    time.sleep(seconds)
    print("time limit reached", flush=True)
    server.shutdown()


def start_server(full, log_path):
    port = free_port()
    with open(log_path, "w") as log:
        process = subprocess.Popen([sys.executable, os.path.abspath(__file__), "--serve", full,
                                    "/" + FULL_NAME, str(port), str(SERVER_SECONDS)],
                                   stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
    if not wait_for_port(port, process):
        stop(process)
        sys.exit("the HTTP server did not start: see " + log_path)
    return process, port


def transfers(log_path):
    lines = [line for line in open(log_path) if line.startswith("transfer ")]
    return [dict(item.split("=") for item in line.split()[1:]) for line in lines]


def payload(folder, seed, total):
    """make_payload.py with another seed and total; its manifest goes beside FOLDER."""
    manifest = os.path.join(os.path.dirname(folder), "MANIFEST.sha256")
    if not (os.path.exists(manifest) and os.path.isdir(folder)):
        source = open(os.path.join(here, "make_payload.py")).read()
        source = re.sub(r"^SEED = \d+", f"SEED = {seed}", source, flags=re.M)
        source = re.sub(r"^TARGET_TOTAL = .*$", f"TARGET_TOTAL = {total}", source, flags=re.M)
        subprocess.run([sys.executable, "-c", source, folder], check=True,
                       stdout=subprocess.DEVNULL)
    return [line.split("  ", 1) for line in open(manifest).read().splitlines()]


def package_tree(parts, target):
    """The payloads as hard links under TARGET/partN, every .exe named .ex_. Returns the
    expected installation, {relative path: sha256}, and how many files were renamed."""
    shutil.rmtree(target, ignore_errors=True)
    expected, renamed = {}, 0
    for i, (folder, manifest) in enumerate(parts):
        for digest, rel in manifest:
            linked = rel
            if rel.lower().endswith(".exe"):
                linked, renamed = rel[:-4] + ".ex_", renamed + 1
            path = os.path.join(target, f"part{i}", linked)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            os.link(os.path.join(folder, rel), path)
            expected[f"part{i}/{linked}"] = digest
    return expected, renamed


def project_file(path, package, port):
    items = "".join(f'<TSetupFile DestDir="{{app}}\\{name}" SourcePath="package/{name}" '
                    f'SourceMask="*" IncludeSubPath="True"/>'
                    for name in sorted(os.listdir(package)))
    with open(path, "w", encoding="utf-8") as f:
        f.write(f"""<?xml version="1.0" encoding="utf-8"?>
<TSetupScript>
    <BaseInfo AppTitle="DownloadBench" Version="1.0.0.0" GUID="{GUID}"
        DefInstallPath="C:\\{INSTALL_DIR}" FullSetupFile="{FULL_NAME}" BuildMiniSetup="True"
        MiniSetupFile="{MINI_NAME}" FullDownloadUrl="http://127.0.0.1:{port}/{FULL_NAME}"/>
    <FileList><Items>{items}</Items></FileList>
</TSetupScript>
""")


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def check_installed(folder, expected):
    """What is wrong with the installation in FOLDER, as a list of messages."""
    found = {}
    for root, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            rel = os.path.relpath(path, folder).replace(os.sep, "/")
            if rel not in OWN_FILES:
                found[rel] = sha256(path)
    problems = [f"missing {rel}" for rel in sorted(set(expected) - set(found))]
    problems += [f"unexpected {rel}" for rel in sorted(set(found) - set(expected))]
    problems += [f"different {rel}" for rel in sorted(expected)
                 if rel in found and found[rel] != expected[rel]]
    return problems


def watch(memory_watch, command):
    result = subprocess.run([WINE, memory_watch, command], capture_output=True, text=True,
                            timeout=1800)
    lines = [line for line in result.stdout.splitlines() if line.startswith("exit=")]
    if not lines or "exit=0 " not in lines[-1]:
        sys.stderr.write(result.stdout + result.stderr)
    if not lines:
        sys.exit("memory_watch gave no report")
    values = dict(item.split("=") for item in lines[-1].split())
    return int(values["exit"]), float(values["seconds"]), int(values["peak_bytes"])


def temp_leftovers(drive_c, size):
    """Files of the full installer's size left in the prefix's temporary folders."""
    found = []
    for root, _, names in os.walk(os.path.join(drive_c, "users")):
        if "Temp" in root.split(os.sep):
            found += [os.path.join(root, n) for n in names
                      if os.path.getsize(os.path.join(root, n)) == size]
    return found


def install(memory_watch, program, drive_c, expected):
    """One silent install, checked: its seconds and peak committed bytes."""
    folder = os.path.join(drive_c, INSTALL_DIR)
    shutil.rmtree(folder, ignore_errors=True)
    # A registered earlier installation would add its uninstaller and a pause to the run.
    subprocess.run([WINE, "reg", "delete", UNINSTALL_KEY, "/f"], capture_output=True,
                   timeout=120)
    os.sync()
    code, seconds, peak = watch(memory_watch, z_path(program) + " /Silent")
    if code != 0:
        sys.exit(f"{os.path.basename(program)} ended with exit code {code}")
    problems = check_installed(folder, expected)
    if problems:
        sys.exit(f"{os.path.basename(program)} installed wrong files ({len(problems)}): "
                 + "; ".join(problems[:10]))
    shutil.rmtree(folder, ignore_errors=True)
    return seconds, peak


def timed(action, reset):
    """The fastest of RUNS runs of ACTION, each after RESET and a sync."""
    best = None
    for _ in range(RUNS):
        reset()
        os.sync()
        start = time.perf_counter()
        action()
        seconds = time.perf_counter() - start
        best = seconds if best is None else min(best, seconds)
    reset()
    return best


def remove(path):
    if os.path.exists(path):
        os.remove(path)


def wine(*arguments):
    subprocess.run([WINE, *arguments], check=True, capture_output=True, timeout=600)


def copies(full, work, drive_c):
    """Seconds of a plain copy of FULL on Linux (the sync after it not counted), of one under
    Wine into C:\\ of the prefix, and of Wine's start of cmd alone."""
    size = os.path.getsize(full)
    copy = os.path.join(work, "copy.exe")
    linux = timed(lambda: shutil.copyfile(full, copy), lambda: remove(copy))
    target = os.path.join(drive_c, "download-bench-copy.exe")

    def copy_under_wine():
        wine("cmd", "/c", "copy", "/y", z_path(full), "C:\\download-bench-copy.exe")
        if os.path.getsize(target) != size:
            sys.exit("the copy under Wine has another size")

    under_wine = timed(copy_under_wine, lambda: remove(target))
    start = timed(lambda: wine("cmd", "/c", "exit"), lambda: None)
    return linux, under_wine, start


def main():
    onesetup, memory_watch, stub_source, work = (os.path.abspath(a) for a in sys.argv[1:5])
    drive_c = os.path.join(os.environ["WINEPREFIX"], "drive_c")
    os.makedirs(work, exist_ok=True)
    # A copy: the build tree's stub may be rebuilt while the bench runs.
    stub = os.path.join(work, "Setup-x64.exe")
    shutil.copyfile(stub_source, stub)
    folders = [os.path.join(work, "payload-a", "files"), os.path.join(work, "payload-b", "files")]
    parts = [(folders[0], payload(folders[0], 20240611, 120 * 1000 * 1000)),
             (folders[1], payload(folders[1], 777, 80 * 1000 * 1000))]
    package = os.path.join(work, "package")
    expected, renamed = package_tree(parts, package)
    plain = sum(os.path.getsize(os.path.join(package, rel)) for rel in expected)

    out = os.path.join(work, "out")
    full, mini = os.path.join(out, FULL_NAME), os.path.join(out, MINI_NAME)
    log_path = os.path.join(work, "server.log")
    server, port = start_server(full, log_path)
    try:
        project = os.path.join(work, "DownloadBench.xml")
        project_file(project, package, port)
        shutil.rmtree(out, ignore_errors=True)
        start = time.perf_counter()
        subprocess.run([onesetup, "build", project, "-o", out, "--stub", stub, "-q"],
                       check=True, timeout=1800)
        build_seconds = time.perf_counter() - start
        size = os.path.getsize(full)

        full_runs = [install(memory_watch, full, drive_c, expected) for _ in range(RUNS)]
        mini_runs, server_runs, leftovers = [], [], 0
        for _ in range(RUNS):
            before = len(transfers(log_path))
            mini_runs.append(install(memory_watch, mini, drive_c, expected))
            new = transfers(log_path)[before:]
            if len(new) != 1 or int(new[0]["bytes"]) != size or "error" in new[0]:
                sys.exit(f"expected one whole transfer of {size} bytes, the server logged {new}")
            server_runs.append(float(new[0]["seconds"]))
            left = temp_leftovers(drive_c, size)
            leftovers += len(left)
            for path in left:
                remove(path)

        linux_copy, wine_copy, wine_start = copies(full, work, drive_c)
    finally:
        stop(server, grace=10)

    t_full = min(s for s, _ in full_runs)
    t_mini = min(s for s, _ in mini_runs)
    # (name, seconds, peak committed bytes or None, whether a throughput makes sense)
    rows = [("full installer /Silent (T_full)", t_full, max(p for _, p in full_runs), True),
            ("mini installer /Silent (T_mini)", t_mini, max(p for _, p in mini_runs), True),
            ("download in the mini install (T_mini - T_full)", t_mini - t_full, None, True),
            ("HTTP transfer, server side", min(server_runs), None, True),
            ("file copy on Linux (shutil.copyfile)", linux_copy, None, True),
            ("file copy under Wine (cmd /c copy to C:\\)", wine_copy, None, True),
            ("  of which Wine starting cmd (cmd /c exit)", wine_start, None, False)]
    mb = size / 1e6
    lines = [f"full installer {size:,} bytes, mini installer {os.path.getsize(mini):,} bytes,"
             f" built in {build_seconds:.1f} s",
             f"payload {plain:,} bytes in {len(expected)} files ({renamed} .exe installed as"
             f" .ex_); loopback port {port}",
             f"MB/s = full installer bytes / seconds; seconds: the fastest of {RUNS} runs",
             f"  {'figure':48s} {'seconds':>8s} {'MB/s':>8s}  peak committed"]
    for name, seconds, peak, rate in rows:
        speed = f"{mb / seconds:8.1f}" if rate and seconds > 0 else f"{'-':>8s}"
        memory = f"  {peak / 1048576:7.1f} MiB" if peak else ""
        lines.append(f"  {name:48s} {seconds:8.2f} {speed}{memory}")
    lines.append("runs (s): full " + " ".join(f"{s:.2f}" for s, _ in full_runs)
                 + "; mini " + " ".join(f"{s:.2f}" for s, _ in mini_runs)
                 + "; server side " + " ".join(f"{s:.2f}" for s in server_runs))
    lines.append(f"installs checked file by file against the payload's sha256 manifest: "
                 f"{len(full_runs) + len(mini_runs)}, all right")
    if leftovers:
        lines.append(f"note: {leftovers} downloaded full installer(s) left in the temp folder")
    text = "\n".join(lines) + "\n"
    print(text, end="")
    with open(os.path.join(work, "results.txt"), "w") as f:
        f.write(text)


if __name__ == "__main__":
    if len(sys.argv) == 6 and sys.argv[1] == "--serve":
        serve(sys.argv[2], sys.argv[3], int(sys.argv[4]), float(sys.argv[5]))
    elif len(sys.argv) == 5:
        main()
    else:
        sys.exit(__doc__)
