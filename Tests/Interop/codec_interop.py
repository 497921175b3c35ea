#!/usr/bin/env python3
"""The package codec against an independent zlib, both ways, through the onesetup tool.

usage: codec_interop.py ONESETUP WORKDIR
"""
import os
import random
import subprocess
import sys
import zlib

tool, work = sys.argv[1], sys.argv[2]
os.makedirs(work, exist_ok=True)


def scramble(data):
    # The key runs 0..254 and starts again; 255 never occurs.
    return bytes(b ^ (i % 255) for i, b in enumerate(data))


def run(*args):
    subprocess.run([tool, *args], check=True, timeout=120)


def path(name):
    return os.path.join(work, name)


rng = random.Random(7)
samples = {
    "empty": b"",
    "short": b"hello",
    "b255": bytes(rng.randrange(256) for _ in range(255)),
    "b256": b"ab" * 128,
    "b257": bytes(range(256)) + b"!",
    "text": ("第一行 line\r\n" * 20000).encode("utf-8"),
    "mixed": bytes(rng.randrange(256) for _ in range(300_000)) + b"\0" * 700_000,
}
failures = []
for name, plain in samples.items():
    with open(path(name + ".plain"), "wb") as f:
        f.write(plain)

    # Ours encodes, Python's zlib decodes.
    run("encode", path(name + ".plain"), path(name + ".enc"))
    with open(path(name + ".enc"), "rb") as f:
        encoded = f.read()
    if not plain:
        if encoded:
            failures.append(f"{name}: empty input encoded to {len(encoded)} bytes")
        continue
    compressed = scramble(encoded)
    if compressed[:2] != b"\x78\xda":
        failures.append(f"{name}: zlib header {compressed[:2].hex()}, expected 78da")
    if zlib.decompress(compressed) != plain:
        failures.append(f"{name}: Python's zlib read back other bytes")

    # Python's zlib encodes, ours decodes.
    with open(path(name + ".py.enc"), "wb") as f:
        f.write(scramble(zlib.compress(plain, 9)))
    run("decode", path(name + ".py.enc"), path(name + ".py.plain"))
    with open(path(name + ".py.plain"), "rb") as f:
        if f.read() != plain:
            failures.append(f"{name}: decoding Python's stream gave other bytes")

# A stream that was never scrambled must not decode.
with open(path("raw.enc"), "wb") as f:
    f.write(zlib.compress(b"not scrambled" * 100, 9))
result = subprocess.run([tool, "decode", path("raw.enc"), path("raw.out")],
                        capture_output=True, text=True, timeout=60)
if result.returncode == 0 or "Error" not in result.stderr:
    failures.append(f"unscrambled zlib decoded: exit {result.returncode}, {result.stderr!r}")

for failure in failures:
    print("FAIL:", failure)
print(f"{len(samples)} samples, {len(failures)} failures")
sys.exit(1 if failures else 0)
