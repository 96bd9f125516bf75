#!/usr/bin/env bash
# The main job: installs what is missing, builds the Windows programs and scans
# plug-in libraries with PluginScanner.exe and the real server under Wine, then
# prints the table of results. Without paths it scans the bundled sample
# plug-ins. Options go to the scanner (see --help), for example --rescan,
# --json, --jobs N, --timeout SECONDS, --db FILE.
#
#   bash tools/scan.sh [PATH...] [OPTION...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/build.sh" --windows-only >/dev/null

bin="$root/build/win64/bin"

# The Windows form of a Linux path (Wine's drive Z: is the Linux root).
windows_path() {
  local full
  full=$(realpath -m -- "$1")
  printf 'Z:%s' "${full//\//\\}"
}

# Paths (the arguments that are neither options nor option values) and the
# files named by --db and --server are handed over in their Windows form.
arguments=()
have_path=no
value_of=""
for argument in "$@"; do
  if [ -n "$value_of" ]; then
    case "$value_of" in
      --db|--server) argument=$(windows_path "$argument") ;;
    esac
    value_of=""
  elif [[ "$argument" == -* ]]; then
    case "$argument" in
      --db|--jobs|-j|--timeout|-t|--server) value_of=$argument ;;
    esac
  else
    argument=$(windows_path "$argument")
    have_path=yes
  fi
  arguments+=("$argument")
done
[ "$have_path" = no ] && arguments=("$(windows_path "$bin/samples")" "${arguments[@]}")

# Servers show their splash window, and the scanner reports dialogs that a
# plug-in opens: both need a display, a virtual one when there is none.
display=()
[ -z "${DISPLAY:-}" ] && display=(xvfb-run -a -s "-screen 0 1280x1024x24")
"${display[@]}" bash "$root/tools/wine-run.sh" "$bin/PluginScanner.exe" scan "${arguments[@]}"
