#!/usr/bin/env bash
# Builds the API reference of the public headers from their /// comments with
# Doxygen (docs/Doxyfile) into build/docs/api/html, and fails when Doxygen warns
# about them (an undocumented public member, a wrong parameter name, a broken
# reference): the warnings are printed and the exit code is 1.
#
#   bash tools/docs.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

"$root/tools/install-deps.sh"

out="$root/build/docs"
rm -rf "$out/api"
mkdir -p "$out/api"
# The version is written once, in project(VERSION).
version=$(sed -n 's/^project(TessivaneScan VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
TESSIVANE_VERSION="$version" TESSIVANE_DOCS_OUTPUT="$out" doxygen docs/Doxyfile

if [ -s "$out/warnings.log" ]; then
  cat "$out/warnings.log" >&2
  echo "tools/docs.sh: Doxygen warned about the public headers ($(wc -l <"$out/warnings.log") lines above)" >&2
  exit 1
fi
echo "API reference $version: build/docs/api/html/index.html"
