#!/usr/bin/env bash
# Checks what a host team and a musician get, as they get it:
#   1. each tree (build/linux, build/win64) installed into a fresh prefix that is
#      then moved: no build or install path in any installed file, the layout,
#      the C library's exports, each public header compiling alone, the moved
#      scanner scanning the bundled samples, and both
#      examples (examples/c-host, examples/cpp-host) built against the moved
#      prefix with find_package (the C one on Linux with pkg-config too) and run
#      over the fixture plug-ins: natively, and under Wine for Windows;
#   2. the release archives (tools/package.sh), each unpacked into a fresh
#      folder: the scanner in it scans the bundled samples, and the C example
#      is built against it and run.
# Every run's output is compared with the expected lines exactly.
#
#   bash tools/check-package.sh     (tools/test.sh runs it after the other tests)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# The Windows programs run under Wine, which needs a display: a virtual one when there is none.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi

work=$(mktemp -d)
failures=0
cleanup() {
  if [ "$(type -t wine_down)" = function ]; then wine_down; fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

# Compares a command's output (a file) with the expected lines.
expect_output() {
  local what=$1 actual=$2 expected=$3
  if ! diff -u <(printf '%s\n' "$expected") "$actual" >"$work/diff"; then
    fail "$what: the output differs from the expected lines"
    cat "$work/diff" >&2
  else
    echo "ok: $what"
  fi
}

# The Windows form of a Linux path (Wine's drive Z: is the Linux root).
windows_path() {
  local full
  full=$(realpath -m -- "$1")
  printf 'Z:%s' "${full//\//\\}"
}

# Installs the tree into a fresh prefix and moves that to $work/<name>.
install_moved() {
  local tree=$1 name=$2
  cmake --install "$tree" --prefix "$work/$name-first" >/dev/null
  mv "$work/$name-first" "$work/$name"
  # No file may name the tree, the sources or the prefix it was installed into.
  local baked
  baked=$(grep -rlF -e "$root" -e "$work/$name-first" "$work/$name" || true)
  [ -z "$baked" ] || fail "$name: absolute paths baked into: $baked"
}

# Every file the layout promises, relative to the prefix.
expect_files() {
  local prefix=$1
  shift
  local file
  for file in "$@"; do
    [ -e "$prefix/$file" ] || fail "$prefix: $file is missing"
  done
}

# Each installed header compiles alone with the installed include folders only,
# under the house's warnings.
check_headers() {
  local prefix=$1 compiler=$2 c_compiler=$3 header
  while IFS= read -r header; do
    header=${header#"$prefix/include/tessivane/"}
    "$compiler" -std=c++17 -Wall -Wextra -Wpedantic -Wshadow -Wno-unused-parameter -Werror -fsyntax-only \
      -I "$prefix/include/tessivane" -I "$prefix/include" -x c++ - <<<"#include \"$header\"" 2>"$work/header.log" ||
      { fail "$header does not compile alone"; cat "$work/header.log" >&2; }
  done < <(find "$prefix/include/tessivane" -name '*.h' | sort)
  "$c_compiler" -std=c99 -Wall -Wextra -Werror -pedantic-errors -fsyntax-only -I "$prefix/include" \
    -x c - <<<"#include <tessivane/scan.h>" 2>"$work/header.log" ||
    { fail "tessivane/scan.h is not plain C99"; cat "$work/header.log" >&2; }
}

# Configures and builds an example against a prefix; extra arguments go to cmake.
build_example() {
  local example=$1 prefix=$2 build=$3
  shift 3
  if ! { cmake -S "$root/examples/$example" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
           -DCMAKE_PREFIX_PATH="$prefix" "$@" && cmake --build "$build"; } >"$work/example.log" 2>&1; then
    fail "$example does not build against $prefix"
    cat "$work/example.log" >&2
    return 1
  fi
}

# The requests both examples are given: a plain plug-in, a shell, a crash, a
# missing file and a text file, one per line.
requests() {
  local fixtures=$1 extension=$2
  printf '%s\n' "$fixtures/PlainEffect$extension" "$fixtures/ShellDuplicates$extension" \
    "$fixtures/CrashInEntry$extension" "$work/missing$extension" "$work/notes.txt"
}
printf 'Not a plug-in, a note.\n' >"$work/notes.txt"

# One line of an example's output: its arguments joined by tabs.
row() {
  local IFS=$'\t'
  printf '%s\n' "$*"
}
# What both examples print for the requests, on either system but for the
# reasons of the last two, which are the system's words.
expected_rows() {
  local missing=$1 not_plugin=$2
  row scanned 4678506C "Fixture Plain Effect" ""
  row scanned 46785368 "Fixture Shell" ""
  row "" shell 00000005 "Fixture Sub Five"
  row "" shell 00000007 "Fixture Sub Seven"
  row crashed 00000000 "" "the scan server crashed (exit code 9)"
  row failed 00000000 "" "$missing"
  row notPlugin 00000000 "" "$not_plugin"
}

# The table the scanner prints for the bundled samples (the summary after it
# names the time taken and the database, which differ from run to run), for
# libraries of the suffix $1.
sample_table() {
  local suffix=$1
  cat <<EXPECTED
Outcome  Id    Name                        Vendor            Version  Category  In/Out  Platform  Library
scanned  TsGn  Tessivane Gain              Vostrel Software  1.1.0.0  effect    2/2     x64       TessivaneGain.$suffix
scanned  TsIS  Tessivane Instrument Shell  Vostrel Software  1.0.0.0  shell     0/2     x64       TessivaneInstrumentShell.$suffix
scanned  TsI1    Tessivane Strings         Vostrel Software  1.0.0.0  synth     0/2     x64       TessivaneInstrumentShell.$suffix>54734931
scanned  TsI2    Tessivane Brass           Vostrel Software  1.0.0.0  synth     0/2     x64       TessivaneInstrumentShell.$suffix>54734932
scanned  TsI3    Tessivane Choir           Vostrel Software  1.0.0.0  synth     0/2     x64       TessivaneInstrumentShell.$suffix>54734933
scanned  TsPd  Tessivane Pad               Vostrel Software  2.0.1.0  synth     0/2     x64       TessivanePad.$suffix
EXPECTED
}
expected_samples_linux=$(sample_table so)
# On Windows the 32-bit build of the Gain sample follows.
expected_samples_windows=$(
  sample_table dll
  echo "scanned  TsGn  Tessivane Gain              Vostrel Software  1.1.0.0  effect    2/2     x86       TessivaneGain.dll"
)
# Scans the samples with an unpacked scanner into a fresh database and checks the table.
check_samples() {
  local what=$1 expected=$2
  shift 2
  local status=0
  "$@" >"$work/out" 2>/dev/null </dev/null || status=$?
  [ $status -eq 0 ] || fail "$what: the scanner ended with $status"
  expect_output "$what scans the samples" <(tr -d '\r' <"$work/out" | awk 'NF == 0 { exit } { print }') "$expected"
}

# ---- Linux: the installed package ----------------------------------------
echo "== The Linux package (build/linux)"
cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=Release -DSCANSERVER_SANITIZE=OFF >/dev/null
cmake --build build/linux --target installed fixtures >/dev/null
linux_fixtures="$root/build/linux/bin/fixtures"
install_moved build/linux linux
prefix="$work/linux"
expect_files "$prefix" bin/PluginScanner lib/tessivane-scan/scan-server lib/libtessivane-scan.so.1.0.0 \
  lib/libtessivane-scan.so.1 lib/libtessivane-scan.so lib/libtessivane-scan-client.a \
  lib/libtessivane-scan-foundation.a lib/pkgconfig/tessivane-scan.pc \
  lib/cmake/TessivaneScan/TessivaneScanConfig.cmake lib/cmake/TessivaneScan/TessivaneScanConfigVersion.cmake \
  lib/cmake/TessivaneScan/TessivaneScanTargets.cmake include/tessivane/scan.h include/tessivane/client/ScanClient.h \
  include/tessivane/client/PlatformRouter.h share/doc/tessivane-scan/README.md share/doc/tessivane-scan/LICENSE share/doc/tessivane-scan/CHANGELOG.md
[ "$(readlink "$prefix/lib/libtessivane-scan.so.1")" = libtessivane-scan.so.1.0.0 ] ||
  fail "libtessivane-scan.so.1 does not lead to libtessivane-scan.so.1.0.0"
soname=$(objdump -p "$prefix/lib/libtessivane-scan.so.1.0.0" | awk '$1 == "SONAME" { print $2 }')
[ "$soname" = libtessivane-scan.so.1 ] || fail "the SONAME is '$soname', not libtessivane-scan.so.1"
others=$(nm -D --defined-only "$prefix/lib/libtessivane-scan.so.1.0.0" | awk '{ print $NF }' | grep -v '^tvs_' || true)
[ -z "$others" ] || fail "libtessivane-scan.so exports more than tvs_ functions: $others"
check_headers "$prefix" g++ gcc
check_samples "the moved Linux prefix" "$expected_samples_linux" \
  "$prefix/bin/PluginScanner" scan --db "$work/linux.json" "$root/build/linux/bin/samples"

expected_linux=$(expected_rows "cannot open the file: No such file or directory (errno 2)" \
  "not a library: the file is not an ELF image (no ELF header)")
mapfile -t linux_requests < <(requests "$linux_fixtures" .so)
shown() { sed -e "s|$linux_fixtures|FIXTURES|g" -e "s|$work|WORK|g" "$1"; }

if build_example c-host "$prefix" "$work/c-host-linux"; then
  "$work/c-host-linux/c-host" "${linux_requests[@]}" >"$work/out" 2>&1 || fail "c-host ended with $?"
  expect_output "c-host (Linux, CMake)" <(shown "$work/out") "$expected_linux"
fi
if build_example cpp-host "$prefix" "$work/cpp-host-linux"; then
  "$work/cpp-host-linux/cpp-host" "$prefix/lib/tessivane-scan" "${linux_requests[@]}" >"$work/out" 2>&1 ||
    fail "cpp-host ended with $?"
  expect_output "cpp-host (Linux, CMake)" <(shown "$work/out") "$expected_linux"
fi
# pkg-config, without CMake: the moved .pc file still gives the right folders.
if gcc -std=c99 -o "$work/c-host-pc" examples/c-host/main.c \
     $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs tessivane-scan) \
     -Wl,-rpath,"$prefix/lib" 2>"$work/pc.log"; then
  "$work/c-host-pc" "${linux_requests[@]}" >"$work/out" 2>&1 || fail "c-host (pkg-config) ended with $?"
  expect_output "c-host (Linux, pkg-config)" <(shown "$work/out") "$expected_linux"
else
  fail "c-host does not build with pkg-config"
  cat "$work/pc.log" >&2
fi

# ---- Windows: the installed package, under Wine ---------------------------
echo "== The Windows package (build/win64)"
cmake --build build/win64 --target installed fixtures >/dev/null
windows_fixtures="$root/build/win64/bin/fixtures"
install_moved build/win64 windows
prefix="$work/windows"
expect_files "$prefix" bin/ScanServer-x64.exe bin/ScanServer-x64.debug bin/ScanServer-x86.exe \
  bin/ScanServer-x86.debug bin/PluginScanner.exe bin/PluginScanner.debug bin/tessivane-scan.dll \
  bin/tessivane-scan.debug lib/libtessivane-scan.dll.a \
  lib/libtessivane-scan-client.a lib/libtessivane-scan-foundation.a \
  lib/cmake/TessivaneScan/TessivaneScanConfig.cmake lib/cmake/TessivaneScan/TessivaneScanConfigVersion.cmake \
  lib/cmake/TessivaneScan/TessivaneScanTargets.cmake include/tessivane/scan.h include/tessivane/client/ScanClient.h \
  share/doc/tessivane-scan/README.md share/doc/tessivane-scan/LICENSE share/doc/tessivane-scan/CHANGELOG.md
# The DLL exports the tvs_ functions only and imports system DLLs only.
dll="$prefix/bin/tessivane-scan.dll"
exports=$(x86_64-w64-mingw32-objdump -p "$dll" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  awk '/^\t\[/ { print $NF }')
others=$(grep -v '^tvs_' <<<"$exports" || true)
[ -z "$others" ] || fail "tessivane-scan.dll exports more than tvs_ functions: $others"
grep -qx tvs_scan <<<"$exports" || fail "tessivane-scan.dll does not export tvs_scan"
imports=$(x86_64-w64-mingw32-objdump -p "$dll" | awk '/DLL Name:/ { print $3 }' |
  grep -viE '^(kernel32|user32|advapi32|shell32|ole32|gdi32|version|msvcrt|psapi|dbghelp|ntdll)\.dll$' || true)
[ -z "$imports" ] || fail "tessivane-scan.dll imports more than system DLLs: $imports"
check_headers "$prefix" x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-gcc-posix

source "$root/tools/wine-env.sh"
wine_up
# Runs a Windows program; its output, without the console's carriage returns, goes to $work/out.
run_windows() {
  local status=0
  wine "$@" 2>&1 </dev/null | tr -d '\r' >"$work/out" || status=$?
  return $status
}
expected_windows=$(expected_rows "cannot open the file: File not found. (error 2)" \
  "not a library: the file is too short for a PE image")
windows_requests=()
while IFS= read -r request; do
  windows_requests+=("$(windows_path "$request")")
done < <(requests "$windows_fixtures" .dll)
shown_windows() {
  sed -e "s|$(windows_path "$windows_fixtures" | sed 's|\\|\\\\|g')|FIXTURES|g" \
      -e "s|$(windows_path "$work" | sed 's|\\|\\\\|g')|WORK|g" "$1"
}
mingw=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake")
check_samples "the moved Windows prefix" "$expected_samples_windows" \
  wine "$prefix/bin/PluginScanner.exe" scan --db "$(windows_path "$work/windows.json")" \
  "$(windows_path "$root/build/win64/bin/samples")"

if build_example c-host "$prefix" "$work/c-host-windows" "${mingw[@]}"; then
  run_windows "$work/c-host-windows/c-host.exe" "${windows_requests[@]}" || fail "c-host.exe ended with $?"
  expect_output "c-host.exe (Windows, Wine)" <(shown_windows "$work/out") "$expected_windows"
fi
if build_example cpp-host "$prefix" "$work/cpp-host-windows" "${mingw[@]}"; then
  run_windows "$work/cpp-host-windows/cpp-host.exe" "$(windows_path "$prefix/bin")" "${windows_requests[@]}" ||
    fail "cpp-host.exe ended with $?"
  expect_output "cpp-host.exe (Windows, Wine)" <(shown_windows "$work/out") "$expected_windows"
fi

# ---- The release archives, each unpacked and used where it lies -----------
echo "== The release archives (tools/package.sh)"
if ! bash "$root/tools/package.sh" >"$work/package.log" 2>&1; then
  fail "tools/package.sh failed"
  cat "$work/package.log" >&2
  exit 1
fi
version=$(sed -n 's/^project(TessivaneScan VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
packages="$root/build/packages"

# Checks an unpacked Linux archive ($1, its short name $2): its scanner ($4)
# scans the samples, and the C example builds against its prefix ($3) and
# answers as expected.
check_linux_archive() {
  local label=$1 name=$2 prefix=$3 scanner=$4
  check_samples "the $label" "$expected_samples_linux" \
    "$scanner" scan --db "$work/$name.json" "$root/build/linux/bin/samples"
  if build_example c-host "$prefix" "$work/c-host-$name"; then
    "$work/c-host-$name/c-host" "${linux_requests[@]}" >"$work/out" 2>&1 || fail "c-host ($label) ended with $?"
    expect_output "c-host (the $label)" <(shown "$work/out") "$expected_linux"
  fi
}

mkdir "$work/tgz"
tar -xzf "$packages/TessivaneScan-$version-linux-x86_64.tar.gz" -C "$work/tgz"
unpacked="$work/tgz/TessivaneScan-$version-linux-x86_64"
check_linux_archive .tar.gz tgz "$unpacked" "$unpacked/bin/PluginScanner"

mkdir "$work/deb"
dpkg-deb -x "$packages/tessivane-scan_${version}_amd64.deb" "$work/deb"
[ ! -e "$work/deb/usr/bin/PluginScanner" ] || fail "the .deb has a generic name in /usr/bin"
check_linux_archive .deb deb "$work/deb/usr" "$work/deb/usr/bin/tessivane-scanner"

mkdir "$work/zip"
unzip -q "$packages/TessivaneScan-$version-windows-x64.zip" -d "$work/zip"
unpacked="$work/zip/TessivaneScan-$version-windows-x64"
check_samples "the .zip" "$expected_samples_windows" \
  wine "$unpacked/bin/PluginScanner.exe" scan --db "$(windows_path "$work/zip.json")" \
  "$(windows_path "$root/build/win64/bin/samples")"
if build_example c-host "$unpacked" "$work/c-host-zip" "${mingw[@]}"; then
  run_windows "$work/c-host-zip/c-host.exe" "${windows_requests[@]}" || fail "c-host.exe (.zip) ended with $?"
  expect_output "c-host.exe (the .zip)" <(shown_windows "$work/out") "$expected_windows"
fi

if [ $failures -ne 0 ]; then
  echo "check-package: $failures check(s) failed" >&2
  exit 1
fi
echo "check-package: every check passed"
