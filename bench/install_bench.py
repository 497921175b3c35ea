#!/usr/bin/env python3
"""Installation throughput and peak committed memory of the installer under 64-bit Wine, in
one run beside: the file step with one worker and with every processor, `onesetup extract` of
the same package on Linux, a plain zlib inflate-and-write
of the same streams (on Linux, and as a Windows program under the same Wine), and a silent install of a makensis installer (64-bit stub, zlib) of the
same files.

usage: install_bench.py ONESETUP INFLATE_WRITE INFLATE_WRITE_WIN MEMORY_WATCH STUB WORKDIR [--large] [--zstd]
  --large: instead, a 1 GB package with one 700 MB file, to check that memory stays flat.
  --zstd: the packages solid zstd instead of zlib.
"""
import os
import re
import shutil
import subprocess
import sys
import time

from large_file import big_file

onesetup, inflate_write, inflate_write_win, memory_watch, stub, work = (os.path.abspath(a) for a in sys.argv[1:7])
large = "--large" in sys.argv
compression = "zstd" if "--zstd" in sys.argv else "zlib"
here = os.path.dirname(os.path.abspath(__file__))
WINE = "/usr/lib/wine/wine64"
drive_c = os.path.join(os.environ["WINEPREFIX"], "drive_c")


def z(path):
    return "Z:" + path.replace("/", "\\")


def payload(folder, seed, total):
    """make_payload.py with another seed and total, so the two halves share no file."""
    if os.path.exists(os.path.join(folder, "MANIFEST.sha256")):
        return
    source = open(os.path.join(here, "make_payload.py")).read()
    source = re.sub(r"^SEED = \d+", f"SEED = {seed}", source, flags=re.M)
    source = re.sub(r"^TARGET_TOTAL = .*$", f"TARGET_TOTAL = {total}", source, flags=re.M)
    subprocess.run([sys.executable, "-c", source, folder], check=True, stdout=subprocess.DEVNULL)


def sizes(folder):
    # The manifest is the generator's; the uninstaller and its data files are the installer's own.
    return sum(os.path.getsize(os.path.join(r, n)) for r, _, ns in os.walk(folder) for n in ns
               if n not in ("MANIFEST.sha256", "Uninstall.exe", "Uninstall.da1", "Uninstall.da2"))


def without_programs(folders, target):
    """The same files as hard links, with every .exe renamed .ex_: a package whose installation
    has no running programs to look for. Returns how many were renamed."""
    shutil.rmtree(target, ignore_errors=True)
    count = 0
    for i, folder in enumerate(folders):
        for root, _, names in os.walk(folder):
            for name in names:
                linked = name
                if name.lower().endswith(".exe"):
                    linked = name[:-4] + ".ex_"
                    count += 1
                path = os.path.join(target, f"part{i}", os.path.relpath(root, folder), linked)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                os.link(os.path.join(root, name), path)
    return count


def project_file(path, title, folders):
    items = "".join(f'<TSetupFile DestDir="{{app}}\\part{i}" SourcePath="{os.path.relpath(f, os.path.dirname(path))}" '
                    f'SourceMask="*" IncludeSubPath="True"/>' for i, f in enumerate(folders))
    with open(path, "w", encoding="utf-8") as f:
        f.write(f"""<?xml version="1.0" encoding="utf-8"?>
<TSetupScript>
    <BaseInfo AppTitle="{title}" Version="1.0.0.0" GUID="{{5B1E0C2D-6A4F-4E3B-9C8D-7F6E5D4C3B2A}}"
        DefInstallPath="C:\\onesetup-bench" FullSetupFile="{title}Setup.exe"/>
    <FileList><Items>{items}</Items></FileList>
</TSetupScript>
""")


def nsis_installer(name, folders):
    """A makensis installer (64-bit stub, zlib) of the FOLDERS, installing into C:\\nsis-bench."""
    script = os.path.join(work, name + ".nsi")
    with open(script, "w") as f:
        f.write(f"""Unicode true
Target amd64-unicode
OutFile "{os.path.join(work, name + '.exe')}"
InstallDir "C:\\nsis-bench"
RequestExecutionLevel admin
Section
""" + "".join(f'  SetOutPath "$INSTDIR\\part{i}"\n  File /r "{folder}/*"\n' for i, folder in enumerate(folders)) +
            "SectionEnd\n")
    subprocess.run(["makensis", "-V1", script], check=True, timeout=1800)
    return os.path.join(work, name + ".exe")


def nsis_install(program):
    """Seconds and peak committed bytes of a silent makensis installation."""
    shutil.rmtree(os.path.join(drive_c, "nsis-bench"), ignore_errors=True)
    os.sync()
    code, seconds, peak = watch(z(program) + " /S /D=C:\\nsis-bench")
    shutil.rmtree(os.path.join(drive_c, "nsis-bench"), ignore_errors=True)
    return seconds, peak


def in_turn(rounds, *runs):
    """The fastest of ROUNDS runs of each of RUNS (each gives seconds, peak and maybe more), taken
    one after the other round by round: a slow spell of the machine falls on all of them alike
    instead of on whichever ran then. The peak is the highest of its runs."""
    best = [None] * len(runs)
    for _ in range(rounds):
        for i, run in enumerate(runs):
            result = run()
            if best[i] is not None:
                result = (min(best[i][0], result[0]), max(best[i][1], result[1])) + result[2:]
            best[i] = result
    return best


def watch(command):
    result = subprocess.run([WINE, memory_watch, command], capture_output=True, text=True, timeout=1800)
    out = result.stdout
    if "exit=0 " not in out:
        sys.stderr.write(out + result.stderr)
    # The installer's own output (taskkill's, relayed) shares the stream: take the report line.
    line = [l for l in out.splitlines() if l.startswith("exit=")][-1]
    values = dict(item.split("=") for item in line.split())
    return int(values["exit"]), float(values["seconds"]), int(values["peak_bytes"])


def without_digests(setup):
    """The same installer with its file data's digest record out of the installer's sight: the
    record's resource name changed in its last digit (the directory stays sorted), so that the
    installer finds none and checks nothing before the file step, as a package from before."""
    with open(setup, "rb") as f:
        image = bytearray(f.read())
    name = "{3F7A2C91-D84E-4B05-9E16-C0B75A8D2F43}".encode("utf-16-le")
    at = image.find(name)
    if at < 0:
        sys.exit(f"{setup} carries no digest record")
    image[at + len(name) - 4] += 1
    target = setup[:-4] + "NoDigests.exe"
    with open(target, "wb") as f:
        f.write(image)
    return target


def build(name, folders):
    """NAMESetup.exe of the FOLDERS."""
    project_file(os.path.join(work, name + ".xml"), name, folders)
    subprocess.run([onesetup, "build", os.path.join(work, name + ".xml"), "-o", work, "--stub", stub, "-q",
                    "--compression", compression], check=True, timeout=1800)
    return os.path.join(work, name + "Setup.exe")


os.makedirs(work, exist_ok=True)
if large:
    folders = [os.path.join(work, "large-a"), os.path.join(work, "payload")]
    big_file(os.path.join(folders[0], "big", "huge.dat"), 700 * 1000 * 1000)
    payload(folders[1], 20240611, 120 * 1000 * 1000)
    big_file(os.path.join(folders[0], "more", "more.dat"), 180 * 1000 * 1000)
else:
    folders = [os.path.join(work, "payload"), os.path.join(work, "payload2")]
    payload(folders[0], 20240611, 120 * 1000 * 1000)
    payload(folders[1], 777, 80 * 1000 * 1000)
plain = sum(sizes(f) for f in folders)

start = time.perf_counter()
setup = build("Bench", folders)
build_seconds = time.perf_counter() - start

UNINSTALL_KEY = (r"HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall"
                 r"\{5B1E0C2D-6A4F-4E3B-9C8D-7F6E5D4C3B2A}_vm")


def install(program, workers=None):
    """Seconds, peak committed bytes and installed bytes of a silent installation. WORKERS: how
    many threads the file step uses (the installer's default: every processor)."""
    os.environ.pop("ONESETUP_FILE_WORKERS", None)
    if workers:
        os.environ["ONESETUP_FILE_WORKERS"] = str(workers)
    shutil.rmtree(os.path.join(drive_c, "onesetup-bench"), ignore_errors=True)
    # A registered earlier installation would add its uninstaller and a 2 s pause to each run.
    subprocess.run([WINE, "reg", "delete", UNINSTALL_KEY, "/f"], capture_output=True, timeout=120)
    os.sync()  # the last run's writes are not this one's
    code, seconds, peak = watch(z(program) + " /Silent")
    if code != 0:
        sys.exit(f"{os.path.basename(program)} ended with exit code {code}")
    installed = sizes(os.path.join(drive_c, "onesetup-bench"))
    shutil.rmtree(os.path.join(drive_c, "onesetup-bench"), ignore_errors=True)
    return seconds, peak, installed


install_seconds, install_peak, installed = install(setup)

rows = [("onesetup installer under Wine, /Silent", install_seconds, install_peak)]
files_installed = plain
if not large:
    # Every .exe item costs a taskkill and a pause whatever its size: the file step is timed on its
    # own with the same files under other names, to compare it with the others.
    files_only = os.path.join(work, "files-only")
    programs = without_programs(folders, files_only)
    files = build("Files", [os.path.join(files_only, f"part{i}") for i in range(len(folders))])
    # What an installation costs before and after its files: Wine's process start, the script,
    # the uninstall entry. Taken off to compare the file step with the plain reference.
    tiny = os.path.join(work, "tiny")
    os.makedirs(tiny, exist_ok=True)
    with open(os.path.join(tiny, "readme.txt"), "w") as f:
        f.write("tiny")
    tiny_setup = build("Tiny", [tiny])
    nsis = shutil.which("makensis") and nsis_installer("NsisSetup", folders)
    # Nine rounds: on this virtual machine the same install varies by a third within minutes, and
    # the fastest of five still moved the ratios below by a tenth from run to run.
    unchecked = without_digests(files)
    results = in_turn(9, lambda: install(files), lambda: install(files, workers=1), lambda: install(tiny_setup),
                      lambda: install(unchecked), *([lambda: nsis_install(nsis)] if nsis else []))
    (files_seconds, files_peak, files_installed), (one_seconds, one_peak, _), (tiny_seconds, _, _) = results[:3]
    unchecked_seconds = results[3][0]
    shutil.rmtree(files_only, ignore_errors=True)
    rows.append((f"  the same, {programs} programs renamed", files_seconds, files_peak))
    rows.append(("  the same, one worker", one_seconds, one_peak))
    rows.append(("  one tiny file (the fixed cost)", tiny_seconds, None))
    rows.append(("  the file step (the difference)", files_seconds - tiny_seconds, None))
    rows.append(("  the file step, one worker", one_seconds - tiny_seconds, None))
    rows.append(("  the same, its digests not checked", unchecked_seconds, None))

    extract = os.path.join(work, "extract")
    shutil.rmtree(extract, ignore_errors=True)
    start = time.perf_counter()
    subprocess.run([onesetup, "extract", setup, "-o", extract, "-q"], check=True, timeout=1800)
    rows.append(("onesetup extract on Linux", time.perf_counter() - start, None))
    shutil.rmtree(extract, ignore_errors=True)

    raw = os.path.join(work, "raw")
    shutil.rmtree(raw, ignore_errors=True)
    out = subprocess.run([inflate_write, setup, raw], capture_output=True, text=True, check=True).stdout
    rows.append(("plain zlib inflate and write on Linux", float(dict(i.split("=") for i in out.split())["seconds"]), None))
    shutil.rmtree(raw, ignore_errors=True)

    streams = os.path.join(work, "streams")
    shutil.rmtree(streams, ignore_errors=True)
    out = subprocess.run([inflate_write, "--dump", setup, streams], capture_output=True, text=True, check=True).stdout
    count = int(out.split("=")[1])
    target = os.path.join(drive_c, "inflate-write")
    shutil.rmtree(target, ignore_errors=True)
    best = None
    for _ in range(5):
        shutil.rmtree(target, ignore_errors=True)
        os.sync()
        out = subprocess.run([WINE, inflate_write_win, z(streams), str(count), "C:\\inflate-write"],
                             capture_output=True, text=True, check=True, timeout=1800).stdout
        line = [l for l in out.splitlines() if l.startswith("bytes=")][-1]
        seconds = float(dict(i.split("=") for i in line.split())["seconds"])
        best = seconds if best is None else min(best, seconds)
    rows.append(("plain zlib inflate and write under Wine", best, None))
    shutil.rmtree(target, ignore_errors=True)
    shutil.rmtree(streams, ignore_errors=True)

    if nsis:
        rows.append(("makensis installer under Wine, /S",) + results[4][:2])

    # A product of 20 small programs: looking for running copies must cost next to nothing.
    few = os.path.join(work, "programs")
    shutil.rmtree(few, ignore_errors=True)
    for i in range(20):
        for folder, suffix in ((os.path.join(few, "exe"), ".exe"), (os.path.join(few, "renamed"), ".ex_")):
            os.makedirs(folder, exist_ok=True)
            with open(os.path.join(folder, f"Program{i:02d}{suffix}"), "wb") as f:
                f.write(os.urandom(16384) + bytes(48 * 1024))
    runs = [lambda s=build(name, [os.path.join(few, folder)]): install(s)
            for name, folder in (("Programs", "exe"), ("Renamed", "renamed"))]
    if nsis:
        runs.append(lambda s=nsis_installer("NsisPrograms", [os.path.join(few, "exe")]): nsis_install(s))
    programs_rows = [result[0] for result in in_turn(5, *runs)]

    # Many tiny files: handing them to the workers must not cost more than it saves.
    tiny_files = os.path.join(work, "tiny-files")
    if not os.path.isdir(tiny_files):
        rng = __import__("random").Random(5)
        for i in range(20000):
            path = os.path.join(tiny_files, f"d{i // 500:02d}", f"f{i:05d}.txt")
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(b"line %d of a small file\r\n" % i * (rng.randint(1024, 4096) // 28))
    many = build("Many", [tiny_files])
    runs = [lambda: install(many), lambda: install(many, workers=1)]
    if nsis:
        runs.append(lambda s=nsis_installer("NsisMany", [tiny_files]): nsis_install(s))
    many_rows = [result[0] for result in in_turn(3, *runs)]

mb = plain / 1e6
print(f"package: {plain:,} plain bytes in {os.path.getsize(setup):,} bytes (built in {build_seconds:.1f} s);"
      f" installed {installed:,} bytes")
for name, seconds, peak in rows:
    memory = f"  peak committed {peak / 1048576:6.1f} MiB" if peak else ""
    print(f"  {name:42s} {seconds:7.2f} s  {mb / seconds:7.1f} MB/s{memory}")
if not large:
    print("  20 programs of 64 KB: " + ", ".join(
        f"{name} {seconds:.2f} s" for name, seconds in
        zip(("as .exe", "renamed", "makensis"), programs_rows)))
    print("  20,000 files of 1-4 KB: " + ", ".join(
        f"{name} {seconds:.2f} s" for name, seconds in
        zip(("every core", "one worker", "makensis"), many_rows)))
ok = installed == plain and files_installed == plain
if large:
    ok = ok and install_peak < 64 * 1048576
else:
    speeds = {name: mb / seconds for name, seconds, _ in rows}
    ours = speeds[f"  the same, {programs} programs renamed"]
    # Same system, same costs: the Windows program under the same Wine, against the file step.
    step = speeds["  the file step (the difference)"]
    reference = speeds["plain zlib inflate and write under Wine"]
    one = speeds["  the file step, one worker"]
    print(f"  file step, one worker / plain inflate-and-write under Wine: {one / reference:.2f} (target 0.80)")
    print(f"  file step, every core / one worker: {step / one:.2f} (target 1.70)")
    check_cost = (files_seconds - unchecked_seconds) / unchecked_seconds
    print(f"  the digest check before the machine changes: {check_cost * 100:+.1f} % of the installation"
          " (target at most 5 %)")
    ok = ok and one >= 0.8 * reference and step >= 1.7 * one and many_rows[0] <= many_rows[1]
    ok = ok and check_cost <= 0.05
    if "makensis installer under Wine, /S" in speeds:
        nsis = speeds["makensis installer under Wine, /S"]
        print(f"  installation without programs / makensis installation: {ours / nsis:.2f} (target 1.00)")
        print(f"  file step, every core / makensis installation: {step / nsis:.2f} (target 2.50)")
        ok = ok and ours >= nsis and step >= 2.5 * nsis
sys.exit(0 if ok else 1)
