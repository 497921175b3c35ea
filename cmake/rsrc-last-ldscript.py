#!/usr/bin/env python3
"""Writes the linker's default PE script with the resource section moved after .reloc,
so that a builder can grow the resources without moving any other section.

usage: rsrc-last-ldscript.py LD OUTPUT
"""
import re
import subprocess
import sys

ld, output = sys.argv[1], sys.argv[2]
verbose = subprocess.run([ld, "--verbose"], check=True, capture_output=True, text=True).stdout
script = verbose.split("==================================================")[1]
block = re.compile(r"^  \.rsrc BLOCK\(__section_alignment__\)[^\n]*\n  \{\n(?:    [^\n]*\n)*?  \}\n", re.M)
rsrc = block.search(script)
if not rsrc:
    sys.exit("rsrc-last-ldscript: no .rsrc block in the default script of " + ld)
script = script[:rsrc.start()] + script[rsrc.end():]
reloc = re.compile(r"^  \.reloc BLOCK\(__section_alignment__\)[^\n]*\n  \{\n(?:    [^\n]*\n)*?  \}\n", re.M).search(script)
if not reloc:
    sys.exit("rsrc-last-ldscript: no .reloc block in the default script of " + ld)
script = script[:reloc.end()] + rsrc.group(0) + script[reloc.end():]
with open(output, "w") as f:
    f.write(script)
