#!/usr/bin/env bash
# Installs what is missing, builds both trees and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

"$root/tools/build.sh"

echo "== Native tests (AddressSanitizer + UBSan)"
ctest --test-dir build/native --output-on-failure

echo "== API reference (Doxygen; fails on a warning about the public headers)"
bash "$root/tools/docs.sh"

echo "== Fuzz smoke run (every libFuzzer target for a few seconds)"
bash "$root/tools/fuzz.sh" --smoke

echo "== Windows tests (Wine, virtual display)"
xvfb-run -a -s "-screen 0 1280x1024x24" "$root/tools/run-wine-tests.sh"

echo "== The installed package, the examples and the release archives"
bash "$root/tools/check-package.sh"
