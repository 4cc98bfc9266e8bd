#!/usr/bin/env bash
# Retakes the README's pictures of Velmora under Wine on a virtual display.
# Usage: scripts/screenshots.sh [scene...]   (default: every scene)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/setup.sh
bash scripts/build.sh >/dev/null

scenes=("$@")
[ ${#scenes[@]} -gt 0 ] || scenes=(clock drag custom menu grabber about)

source scripts/wine-env.sh
trap stop_wine_environment EXIT
start_virtual_display
prepare_wine_prefix
out=$root/docs/images
mkdir -p "$out"
wine build/win32/velmora_tour.exe "$(winepath -w "$out")" "${scenes[@]}"
for bmp in "$out"/*.bmp; do
    convert "$bmp" "${bmp%.bmp}.png"
    rm -f "$bmp"
done
echo "pictures in $out"
