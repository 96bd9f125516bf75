#!/usr/bin/env bash
# The main job: installs what is missing, builds the Windows programs and scans
# plug-in libraries with the real server under Wine, printing the exchange.
# Without arguments it scans the bundled sample plug-ins.
#
#   bash tools/scan.sh [PLUGIN.dll | 'PLUGIN.dll>ID' ...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/build.sh" --windows-only >/dev/null

bin="$root/build/win64/bin"
requests=("$@")
if [ ${#requests[@]} -eq 0 ]; then
  requests=("$bin"/samples/*.dll)
fi

# The server shows its splash window; without a display it goes on without one,
# but Wine is quieter on a virtual display.
display=()
[ -z "${DISPLAY:-}" ] && display=(xvfb-run -a -s "-screen 0 1280x1024x24")
"${display[@]}" bash "$root/tools/wine-run.sh" "$bin/ScanBench.exe" "$bin/ScanServer-x64.exe" "${requests[@]}"
