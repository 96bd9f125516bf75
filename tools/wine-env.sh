# Sourced by the scripts that run Windows programs: a Wine prefix inside the
# build folder, no debug chatter, no Mono/Gecko prompts.
root=${root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX="$root/build/win64/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# A prefix made before 32-bit Wine was installed has no 32-bit system folder,
# and once 32-bit Wine is there it starts no program at all: it is made anew.
if [ -x /usr/lib/wine/wine ] && [ -f "$WINEPREFIX/system.reg" ] &&
   [ ! -e "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
  wineserver -k </dev/null >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
fi
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
  # The displays we run on have no window manager. Wine must not hand windows
  # to one: it would wait 2 s for a window manager to withdraw every window
  # that was once active (the server's splash when it exits).
  if ! grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 || true
  fi
}

# Stops the wineserver, but only one that wine_up started.
wine_down() {
  if [ "$wine_started_server" = yes ]; then
    wineserver -k </dev/null >/dev/null 2>&1 || true
  fi
}
