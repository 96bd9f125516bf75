#!/usr/bin/env bash
# Runs every benchmark of the scan server under Wine and prints the table:
# builds the Windows programs if needed, starts Wine on a virtual display (the
# server shows its splash window there, as it would on a desktop) and runs
# bin/BenchDriver.exe. Arguments go to the driver (--rounds N, --only 1,3, ...;
# see bench/BenchDriver.cpp). A full run takes a few minutes.
#
# With --linux first, the same natively on Linux: builds build/linux (Release,
# no sanitizers, which would distort the figures) and runs bin/BenchDriver
# against bin/scan-server. A native request takes about a millisecond, so the
# counts are raised (later arguments override them). Under Wine figure 7's
# largest collection is 1,000 files instead of 10,000 (--collection N
# overrides it): a Wine request costs ten times a native one; figure 1 takes
# 300 plain requests a round, so that a round lasts long enough to be steady.
#
#   bash tools/bench.sh [--linux] [DRIVER OPTION...]
#
# SCANSERVER_BENCH_TREE names another Windows build tree than build/win64.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" = "--linux" ]; then
  shift
  tree=$root/build/linux
  "$root/tools/install-deps.sh" >/dev/null
  cmake -S "$root" -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSCANSERVER_SANITIZE=OFF >/dev/null
  cmake --build "$tree" --target bench >/dev/null
  exec "$tree/bin/BenchDriver" --requests 3000 --heavy-requests 100 --fresh-files 50 --starts 21 \
    --shell-requests 1000 "$@"
fi

tree=${SCANSERVER_BENCH_TREE:-$root/build/win64}
"$root/tools/install-deps.sh" >/dev/null
cmake -S "$root" -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$tree" --target bench >/dev/null

display=()
[ -z "${DISPLAY:-}" ] && display=(xvfb-run -a -s "-screen 0 1280x1024x24")
"${display[@]}" bash -c '
  root=$1; tree=$2; shift 2
  source "$root/tools/wine-env.sh"
  export WINEPREFIX="$tree/wineprefix"
  mkdir -p "$WINEPREFIX"
  wine_up
  trap wine_down EXIT
  wine "$tree/bin/BenchDriver.exe" --collection 1000 --requests 300 "$@"
' bench "$root" "$tree" "$@"
