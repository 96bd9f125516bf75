#!/usr/bin/env bash
# Runs the Windows build's tests under Wine. Called inside xvfb-run so that the
# wineserver and the tests share one virtual display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tools/wine-env.sh"
wine_up
trap wine_down EXIT
ctest --test-dir "$root/build/win64" --output-on-failure "$@"
