#!/usr/bin/env bash
# Usage: record-json-readers.sh SAMPLE_PROGRAM NODE_FOLDER
# Runs record-json-readers.js on the output of the sample program. Installs the
# json5 package into NODE_FOLDER on first use. Skips (exit 77) only when Node.js
# itself is missing; anything else that goes wrong fails the test.
set -euo pipefail
sample=$1
node_folder=$2
here=$(cd "$(dirname "$0")" && pwd)

if ! command -v node >/dev/null 2>&1; then
  echo "SKIPPED: node is not installed, so the record cannot be read with json5"
  exit 77
fi
if [ ! -f "$node_folder/node_modules/json5/package.json" ]; then
  mkdir -p "$node_folder"
  npm install --prefix "$node_folder" --no-audit --no-fund --no-save --loglevel=error json5@2
fi
"$sample" | NODE_PATH="$node_folder/node_modules" node "$here/record-json-readers.js"
