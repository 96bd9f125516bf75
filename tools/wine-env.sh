# Sourced by the scripts that run Windows programs: a Wine prefix inside the
# build folder, no debug chatter, no Mono/Gecko prompts.
root=${root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX="$root/build/win64/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"

# Starts a persistent wineserver and boots the prefix, detached from our output:
# a wineserver started by a child of ctest would keep ctest's pipe open.
wine_up() {
  wineserver -p </dev/null >/dev/null 2>&1
  wine wineboot </dev/null >/dev/null 2>&1 || true
}

wine_down() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
}
