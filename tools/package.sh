#!/usr/bin/env bash
# Builds the release archives into build/packages/:
#   TessivaneScan-<version>-windows-x64.zip      from the Windows tree (build/win64)
#   TessivaneScan-<version>-linux-x86_64.tar.gz  from the Linux Release tree (build/linux)
#   tessivane-scan_<version>_amd64.deb           from the same Linux tree
# and runs lintian on the .deb (its output is printed; an error or a warning
# that packaging/debian/lintian-overrides does not accept fails the script).
# Only the targets the packages hold are built (target `installed`), not the
# tests or benchmarks; trees already built are reused.
#
#   bash tools/package.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

"$root/tools/install-deps.sh"

cmake -S . -B build/win64 -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build build/win64 --target installed >/dev/null
# Configured as tools/scan.sh --linux configures it.
cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=Release -DSCANSERVER_SANITIZE=OFF >/dev/null
cmake --build build/linux --target installed >/dev/null

packages="$root/build/packages"
mkdir -p "$packages"
for tree in build/win64 build/linux; do
  rm -rf "$tree/packages"
  # CPack's own progress goes to a log; its errors are printed.
  if ! (cd "$tree" && cpack --config CPackConfig.cmake >cpack.log 2>&1); then
    cat "$tree/cpack.log" >&2
    exit 1
  fi
  find "$tree/packages" -maxdepth 1 -type f \( -name '*.zip' -o -name '*.tar.gz' -o -name '*.deb' \) \
    -exec cp {} "$packages"/ \;
done

version=$(sed -n 's/^project(TessivaneScan VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
made=("TessivaneScan-$version-windows-x64.zip" "TessivaneScan-$version-linux-x86_64.tar.gz"
      "tessivane-scan_${version}_amd64.deb")
for package in "${made[@]}"; do
  [ -f "$packages/$package" ] || { echo "package.sh: $package was not made" >&2; exit 1; }
done

echo "== lintian $packages/${made[2]}"
lintian --fail-on error,warning --tag-display-limit 0 "$packages/${made[2]}"
ls -l "${made[@]/#/$packages/}"
