#!/usr/bin/env bash
# Runs one Windows program under Wine with the project's prefix:
#   bash tools/wine-run.sh PROGRAM.exe [ARGUMENT...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tools/wine-env.sh"
wine_up
trap wine_down EXIT
wine "$@"
