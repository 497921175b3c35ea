#!/usr/bin/env bash
# Runs download_bench.py in a private Wine prefix with a virtual display, stopping both after.
set -euo pipefail
work=$4
mkdir -p "$work"
source "$(dirname "$0")/../Tests/Wine/wine-env.sh"
trap 'wine_server_stop; xvfb_stop' EXIT
wine_prefix_ready "$work/wine"
xvfb_start "$work/wine"
wine_server_start
python3 "$(dirname "$0")/download_bench.py" "$@"
