#!/usr/bin/env bash
# An installed builder finds its stubs by itself: install into a scratch prefix and build the
# demo project without --stub, for both architectures. Alone, without its stubs, it builds none.
set -euo pipefail
build_dir=$1 demo=$2 work=$3
rm -rf "$work"
cmake --install "$build_dir" --prefix "$work/prefix" >"$work.log" 2>&1 || { cat "$work.log"; exit 1; }
"$work/prefix/bin/onesetup" build "$demo/Demo.xml" -o "$work/x86" | tee "$work/x86.log"
# The shipped programs by name: their path is no business of the report's reader.
grep -qx "  stub: Setup-x86.exe (shipped with onesetup)" "$work/x86.log"
grep -qx "  uninstaller: Uninstall-x86.exe (shipped with onesetup), added as {app}.Uninstall.exe, not signed" "$work/x86.log"
"$work/prefix/bin/onesetup" build "$demo/Demo.xml" -o "$work/x64" --arch x64 -q
"$work/prefix/bin/onesetup" inspect "$work/x86/OnesetupDemoSetup.exe" | grep -q "x86 (PE32)"
"$work/prefix/bin/onesetup" inspect "$work/x64/OnesetupDemoSetup.exe" | grep -q "x64 (PE32+)"
mkdir "$work/alone"
cp "$work/prefix/bin/onesetup" "$work/alone/"
if env -u ONESETUP_STUB_DIR "$work/alone/onesetup" build "$demo/Demo.xml" -o "$work/none" --arch x64 \
  2>"$work/alone.err"; then
  echo "a builder without stubs built installers" && exit 1
fi
cat "$work/alone.err"
[[ $(wc -l <"$work/alone.err") -eq 1 && ! -e "$work/none" ]]
grep -q "no x64 installer stub: Setup-x64.exe is not in .*; give one with --stub" "$work/alone.err"
echo "installed builder found its stubs"
