#!/usr/bin/env bash
# Builds the release packages dist/Velmora-<version>-win32.zip and -win64.zip,
# each holding Velmora.exe, README.md and LICENSE.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh >/dev/null
mkdir -p dist
for bits in 32 64; do
    cpack --config "build/win$bits/CPackConfig.cmake" -B "build/package$bits" >/dev/null
    cp build/package$bits/Velmora-*-win$bits.zip dist/
done
ls -1 dist/*.zip
