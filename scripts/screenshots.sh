#!/usr/bin/env bash
# Retakes the README's pictures of Velmora under Wine on a virtual display.
# Usage: scripts/screenshots.sh [scene...]   (default: every scene)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

source scripts/steps.sh

bash scripts/setup.sh
run_step bash scripts/build.sh

scenes=("$@")
[ ${#scenes[@]} -gt 0 ] || scenes=(clock drag custom menu grabber about)

source scripts/wine-env.sh
trap stop_wine_environment EXIT
start_virtual_display
prepare_wine_prefix
out=$root/docs/images
mkdir -p "$out"
"$VELMORA_WINE" build/win32/velmora_tour.exe "$(windows_path "$out")" "${scenes[@]}"
for bmp in "$out"/*.bmp; do
    convert "$bmp" "${bmp%.bmp}.png"
    rm -f "$bmp"
done
echo "pictures in $out"
