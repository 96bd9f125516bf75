# Sourced by the scripts that run Windows programs: a Wine prefix inside the
# build folder, no debug chatter, no Mono/Gecko prompts.
root=${root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX="$root/build/win64/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"

# Starts a persistent wineserver for the prefix and boots the prefix, detached
# from our output: a wineserver started by a child of ctest would keep ctest's
# pipe open. When a wineserver already serves the prefix (another run is
# using it), that one is used and left running.
wine_started_server=no
wine_up() {
  if wineserver -p </dev/null >/dev/null 2>&1; then
    wine_started_server=yes
  fi
  wine wineboot </dev/null >/dev/null 2>&1 || true
}

# Stops the wineserver, but only one that wine_up started.
wine_down() {
  if [ "$wine_started_server" = yes ]; then
    wineserver -k </dev/null >/dev/null 2>&1 || true
  fi
}
