# Sourced by the test scripts: one private Wine prefix per build tree, a persistent server,
# and a stop that runs however the caller exits.
WINE64=/usr/lib/wine/wine64
WINESERVER64=/usr/lib/wine/wineserver64
# Wine's 32-bit loader, through which wine64 starts 32-bit programs in a 64-bit prefix.
WINE32=/usr/lib/wine/wine
WINE_RECIPES=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# wine_prefix_ready FOLDER: creates the prefix once (about 15 s) and exports its environment.
wine_prefix_ready() {
  export WINEPREFIX="$1/prefix" WINEDEBUG=-all WINEARCH=win64
  # A scratch home: prefix creation links Desktop and Documents to $HOME otherwise.
  export HOME="$1/home"
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  mkdir -p "$HOME"
  [[ -f "$WINEPREFIX/.onesetup-ready" ]] && return 0
  rm -rf "$WINEPREFIX"
  "$WINE64" wineboot -u >"$1/wineboot.log" 2>&1
  "$WINESERVER64" -w
  local user_dir
  for user_dir in "$WINEPREFIX"/drive_c/users/"$(id -un)"/*; do
    if [[ -L "$user_dir" ]]; then rm "$user_dir"; mkdir "$user_dir"; fi
  done
  # Wine's own fonts are not found where Debian installs them.
  cp -f /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  "$WINE64" reg import "Z:${WINE_RECIPES}/prefix-tweaks.reg" >>"$1/wineboot.log" 2>&1
  "$WINE64" reg import "Z:${WINE_RECIPES}/cjk-fonts.reg" >>"$1/wineboot.log" 2>&1
  "$WINESERVER64" -w
  touch "$WINEPREFIX/.onesetup-ready"
}

# Whether this machine runs the shipped 32-bit programs: a kernel may run 64-bit user code only
# (then every 32-bit program, Wine's loader too, fails with "Exec format error").
wine_runs_32bit() {
  "$WINE32" --version >/dev/null 2>&1
}

# The architecture of the programs the end-to-end tests and the demo run: the release x86 ones
# where this machine runs them, else the x64 ones.
wine_program_arch() {
  if wine_runs_32bit; then echo x86; else echo x64; fi
}

# A persistent server, warmed up by a process whose output nobody waits on: the services it
# starts keep the first process's output open for as long as the server lives.
wine_server_start() {
  "$WINESERVER64" -p >/dev/null 2>&1
  "$WINE64" cmd /c exit </dev/null >/dev/null 2>&1
}

wine_server_stop() {
  [[ -n "${WINEPREFIX:-}" ]] && "$WINESERVER64" -k >/dev/null 2>&1 || true
}

# A virtual display for the windows the tests open; DISPLAY is exported. Output goes to a file.
xvfb_start() {
  local number
  for number in $(seq 90 120); do
    [[ -e /tmp/.X11-unix/X$number || -e /tmp/.X$number-lock ]] && continue
    Xvfb ":$number" -screen 0 1600x1200x24 -nolisten tcp >"$1/xvfb.log" 2>&1 &
    XVFB_PID=$!
    local tries
    for tries in $(seq 50); do
      [[ -e /tmp/.X11-unix/X$number ]] && break
      sleep 0.1
    done
    export DISPLAY=":$number"
    return 0
  done
  return 1
}

xvfb_stop() {
  [[ -n "${XVFB_PID:-}" ]] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
  XVFB_PID=""
}
