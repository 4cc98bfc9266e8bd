#!/usr/bin/env bash
# Measures Velmora beside a minimal dialog program under Wine (start-up, idle
# CPU, memory, tick cost, size, imports), prints the table and writes it to
# docs/benchmark.md. Takes about two minutes; run it on an otherwise idle
# machine. Not part of the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/setup.sh
bash scripts/build.sh >/dev/null

source scripts/wine-env.sh
trap stop_wine_environment EXIT
start_virtual_display
prepare_wine_prefix
wine build/win32/velmora_bench.exe "$(winepath -w "$root/docs/benchmark.md")"
