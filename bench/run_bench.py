#!/usr/bin/env python3
"""Generates the benchmark payload once (cached in the build folder) and runs the codec bench."""
import os
import subprocess
import sys

here = os.path.dirname(os.path.abspath(__file__))
bench = sys.argv[1]
limit = sys.argv[2] if len(sys.argv) > 2 else "48"
payload = os.path.join(os.path.dirname(bench), "payload")
if not os.path.exists(os.path.join(payload, "MANIFEST.sha256")):
    subprocess.run([sys.executable, os.path.join(here, "make_payload.py"), payload], check=True,
                   stdout=subprocess.DEVNULL)
sys.exit(subprocess.run([bench, payload, limit]).returncode)
