#!/usr/bin/env bash
# Installs what the builds and tests need on a Debian machine, when it is missing.
# Each need is "what must exist|the Debian package that brings it": a command on
# the PATH, or an absolute path. A need that is already met (by whatever means)
# installs nothing.
set -euo pipefail

needs=(
  "cmake|cmake"
  "ninja|ninja-build"
  "g++|g++"
  "python3|python3"
  "/usr/src/googletest/CMakeLists.txt|googletest"
  "x86_64-w64-mingw32-g++-posix|g++-mingw-w64-x86-64-posix"
  "x86_64-w64-mingw32-objdump|binutils-mingw-w64-x86-64"
  "i686-w64-mingw32-g++-posix|g++-mingw-w64-i686-posix"
  "wine|wine"
  "/usr/lib/wine/wine64|wine64"
  "xvfb-run|xvfb"
  "xauth|xauth"
  "import|imagemagick"
  "xdotool|xdotool"
  "xwininfo|x11-utils"
  "/usr/include/nlohmann/json.hpp|nlohmann-json3-dev"
  "/usr/include/CLI/CLI.hpp|libcli11-dev"
  "clang++-14|clang-14"
  "/usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a|libclang-rt-14-dev"
  "/usr/include/x86_64-linux-gnu/libunwind.h|libunwind-dev"
  # The API reference of the public headers (tools/docs.sh).
  "doxygen|doxygen"
  # The Linux benchmark's real-sized plug-in links what Linux plug-ins link.
  "/usr/include/X11/Xlib.h|libx11-dev"
  "/usr/include/X11/extensions/XShm.h|libxext-dev"
  "/usr/include/GL/gl.h|libgl-dev"
  "/usr/include/fontconfig/fontconfig.h|libfontconfig-dev"
  "/usr/include/freetype2/ft2build.h|libfreetype-dev"
  # The release archives and the Debian package (tools/package.sh), and their check.
  "zip|zip"
  "unzip|unzip"
  "dpkg-shlibdeps|dpkg-dev"
  "fakeroot|fakeroot"
  "lintian|lintian"
  "pkg-config|pkg-config"
)

# Whether the kernel runs 32-bit x86 programs: a 93-byte i386 program that exits
# with 0. Some kernels are built or booted without that support; there 32-bit
# Wine cannot run, and once installed it stops the wine command for 64-bit
# programs too.
runs_32bit_programs() {
  local probe
  probe=$(mktemp)
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08'\
'\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00'\
'\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'\
'\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >"$probe"
  chmod +x "$probe"
  local result=0
  "$probe" 2>/dev/null || result=1
  rm -f "$probe"
  return $result
}
# The 32-bit server runs under 32-bit Wine, where the kernel lets it.
if runs_32bit_programs; then
  needs+=("/usr/lib/wine/wine|wine32:i386")
fi

missing=()
for need in "${needs[@]}"; do
  what=${need%%|*}
  package=${need##*|}
  if [ "${what:0:1}" = "/" ]; then
    [ -e "$what" ] && continue
  else
    command -v "$what" >/dev/null 2>&1 && continue
  fi
  missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
# The 32-bit server runs under 32-bit Wine, a package of the i386 architecture.
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
