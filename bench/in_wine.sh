#!/usr/bin/env bash
# in_wine.sh WORKDIR SCRIPT.py ARGS...: runs a benchmark script in a private Wine prefix under
# WORKDIR, with a virtual display, and stops both afterwards.
set -euo pipefail
work=$1
shift
mkdir -p "$work"
source "$(dirname "$0")/../Tests/Wine/wine-env.sh"
trap 'wine_server_stop; xvfb_stop' EXIT
wine_prefix_ready "$work/wine"
xvfb_start "$work/wine"
wine_server_start
python3 "$@"
