#!/usr/bin/env bash
# The main job: installs what is missing, builds the Windows programs and scans
# plug-in libraries with PluginScanner.exe and the real server under Wine, then
# prints the table of results. Without paths it scans the bundled sample
# plug-ins. Options go to the scanner (see --help), for example --rescan,
# --json, --jobs N, --timeout SECONDS, --db FILE.
#
# With --linux first, the same natively on Linux: builds build/linux (Release,
# no sanitizers) and scans Linux plug-ins (*.so) with bin/PluginScanner and
# bin/scan-server; without paths, the bundled Linux samples.
#
#   bash tools/scan.sh [--linux] [PATH...] [OPTION...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

linux=no
if [ "${1:-}" = "--linux" ]; then
  linux=yes
  shift
fi

# The Windows form of a Linux path (Wine's drive Z: is the Linux root).
windows_path() {
  local full
  full=$(realpath -m -- "$1")
  printf 'Z:%s' "${full//\//\\}"
}

# Paths (the arguments that are neither options nor option values) and the
# files named by --db and --server are handed over in their Windows form to
# the Windows scanner, as they are to the Linux one.
arguments=()
have_path=no
value_of=""
for argument in "$@"; do
  if [ -n "$value_of" ]; then
    case "$value_of" in
      --db|--server|--server-x86) [ "$linux" = no ] && argument=$(windows_path "$argument") ;;
    esac
    value_of=""
  elif [[ "$argument" == -* ]]; then
    case "$argument" in
      --db|--jobs|-j|--timeout|-t|--server|--server-x86) value_of=$argument ;;
    esac
  else
    [ "$linux" = no ] && argument=$(windows_path "$argument")
    have_path=yes
  fi
  arguments+=("$argument")
done

if [ "$linux" = yes ]; then
  "$root/tools/install-deps.sh"
  cmake -S "$root" -B "$root/build/linux" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSCANSERVER_SANITIZE=OFF >/dev/null
  cmake --build "$root/build/linux" --target PluginScanner scan-server fixtures >/dev/null
  bin="$root/build/linux/bin"
  [ "$have_path" = no ] && arguments=("$bin/samples" "${arguments[@]}")
  exec "$bin/PluginScanner" scan "${arguments[@]}"
fi

"$root/tools/build.sh" --windows-only >/dev/null
bin="$root/build/win64/bin"
[ "$have_path" = no ] && arguments=("$(windows_path "$bin/samples")" "${arguments[@]}")

# Servers show their splash window, and the scanner reports dialogs that a
# plug-in opens: both need a display, a virtual one when there is none.
display=()
[ -z "${DISPLAY:-}" ] && display=(xvfb-run -a -s "-screen 0 1280x1024x24")
"${display[@]}" bash "$root/tools/wine-run.sh" "$bin/PluginScanner.exe" scan "${arguments[@]}"
