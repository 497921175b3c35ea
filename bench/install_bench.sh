#!/usr/bin/env bash
# Runs install_bench.py in a private Wine prefix with a virtual display, stopping both after.
set -euo pipefail
work=$6
mkdir -p "$work"
source "$(dirname "$0")/../Tests/Wine/wine-env.sh"
trap 'wine_server_stop; xvfb_stop' EXIT
wine_prefix_ready "$work/wine"
xvfb_start "$work/wine"
wine_server_start
python3 "$(dirname "$0")/install_bench.py" "$@"
