#!/usr/bin/env bash
# Builds the release packages dist/Velmora-<version>-win32.zip and -win64.zip,
# each holding Velmora.exe, README.md and LICENSE, and dist/SHA256SUMS.
# The same commit gives the same bytes wherever and whenever it is built:
# the zips' entries come in a fixed order, all dated SOURCE_DATE_EPOCH
# (by default the last commit's time).
# With --no-build, packages what build/win32 and build/win64 already hold.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/steps.sh

if [ "${1:-}" != --no-build ]; then
    bash scripts/setup.sh
    run_step bash scripts/build.sh
fi
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || echo 315532800)
fi
export SOURCE_DATE_EPOCH

rm -rf dist
mkdir -p dist
for bits in 32 64; do
    stage=build/package$bits
    rm -rf "$stage"
    cmake --install "build/win$bits" --prefix "$stage" >/dev/null
    python3 scripts/make_zip.py "dist/$(cat "build/win$bits/package-name").zip" "$stage"
done
(cd dist && sha256sum -- *.zip >SHA256SUMS)
ls -1 dist/*
