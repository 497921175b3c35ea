#!/usr/bin/env python3
"""Runs every fuzzing harness for the same time, one after another, and reports per harness
the executions, the edges and features covered and the faults found. Every input that made a
harness fail (crash, timeout, out of memory) is copied into the harness's regression corpus in
the checkout, which the sanitizer tree replays in every test run.

usage: run_fuzz.py HARNESSES SECONDS WORK
  HARNESSES  lines of name|program|max_len|dicts,...|seeds,...|regression folder
  WORK       folder for the growing corpora, merged dictionaries and logs
"""
import pathlib
import re
import shutil
import subprocess
import sys

STATUS = re.compile(r"^#(\d+):?\s+(?:\w+\s+)?cov: (\d+) ft: (\d+)")
FAULT_PREFIXES = ("crash-", "timeout-", "oom-", "leak-")


def seed_folder(name, seeds, work):
    """The seeds, files and folders alike, copied into one folder: libFuzzer takes folders."""
    folder = work / "seeds"
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    for seed in seeds:
        path = pathlib.Path(seed)
        files = sorted(p for p in path.rglob("*") if p.is_file()) if path.is_dir() else [path]
        for file in files:
            if file.is_file():
                shutil.copy(file, folder / f"{file.parent.name}-{file.name}")
    return folder


def merged_dictionary(dicts, work):
    if not dicts:
        return None
    merged = work / "merged.dict"
    merged.write_text("".join(pathlib.Path(d).read_text(encoding="utf-8") + "\n" for d in dicts),
                      encoding="utf-8")
    return merged


def run(line, seconds, root):
    name, program, max_len, dicts, seeds, regressions = line.split("|")
    work = root / name
    corpus = work / "corpus"
    artifacts = work / "artifacts"
    for folder in (corpus, artifacts):
        folder.mkdir(parents=True, exist_ok=True)
    regressions = pathlib.Path(regressions)
    known = {p.name for p in regressions.glob("*")} if regressions.is_dir() else set()
    before = {p.name for p in artifacts.iterdir()}
    command = ["nice", "-n", "10", program, "-fork=1", "-ignore_crashes=1",
               "-ignore_timeouts=1", "-ignore_ooms=1", f"-max_total_time={seconds}",
               "-timeout=10", "-rss_limit_mb=2048", f"-max_len={max_len}",
               f"-artifact_prefix={artifacts}/", str(corpus),
               str(seed_folder(name, [s for s in seeds.split(",") if s], work))]
    dictionary = merged_dictionary([d for d in dicts.split(",") if d], work)
    if dictionary:
        command.insert(4, f"-dict={dictionary}")
    if regressions.is_dir():
        command.append(str(regressions))
    print(f"== {name}: {seconds} s", flush=True)
    log = work / "fuzz.log"
    executions = edges = features = 0
    with open(log, "w", encoding="utf-8") as out:
        process = subprocess.Popen(command, stdout=out,
                                   stderr=subprocess.PIPE, text=True, errors="replace")
        for text in process.stderr:
            out.write(text)
            match = STATUS.match(text)
            if match:
                executions, edges, features = map(int, match.groups())
        process.wait()
    found = sorted(p for p in artifacts.iterdir()
                   if p.name not in before and p.name.startswith(FAULT_PREFIXES))
    new = []
    for fault in found:
        if fault.name not in known:
            regressions.mkdir(parents=True, exist_ok=True)
            shutil.copy(fault, regressions / fault.name)
            new.append(fault.name)
    return name, executions, edges, features, found, new, log


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    lines = [l for l in pathlib.Path(sys.argv[1]).read_text().splitlines() if l.strip()]
    seconds = int(sys.argv[2])
    root = pathlib.Path(sys.argv[3])
    results = [run(line, seconds, root) for line in lines]
    print()
    print(f"{'harness':<12} {'executions':>12} {'edges':>7} {'features':>9} {'faults':>7}")
    for name, executions, edges, features, found, new, log in results:
        print(f"{name:<12} {executions:>12} {edges:>7} {features:>9} {len(found):>7}")
    for name, executions, edges, features, found, new, log in results:
        for fault in found:
            state = "new in" if fault.name in new else "already in"
            print(f"{name}: {fault.name} ({state} the regression corpus; log {log})")
    sys.exit(1 if any(r[4] for r in results) else 0)


if __name__ == "__main__":
    main()
