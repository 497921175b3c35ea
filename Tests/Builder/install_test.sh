#!/usr/bin/env bash
# An installed builder finds its stubs by itself: install into a scratch prefix and build the
# demo project without --stub, for both architectures.
set -euo pipefail
build_dir=$1 demo=$2 work=$3
rm -rf "$work"
cmake --install "$build_dir" --prefix "$work/prefix" >"$work.log" 2>&1 || { cat "$work.log"; exit 1; }
"$work/prefix/bin/onesetup" build "$demo/Demo.xml" -o "$work/x86" | tee "$work/x86.log"
grep -q "stub: $work/prefix/share/onesetup/stubs/Setup-x86.exe" "$work/x86.log"
"$work/prefix/bin/onesetup" build "$demo/Demo.xml" -o "$work/x64" --arch x64 -q
"$work/prefix/bin/onesetup" inspect "$work/x86/OnesetupDemoSetup.exe" | grep -q "x86 (PE32)"
"$work/prefix/bin/onesetup" inspect "$work/x64/OnesetupDemoSetup.exe" | grep -q "x64 (PE32+)"
echo "installed builder found its stubs"
