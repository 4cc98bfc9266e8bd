#!/usr/bin/env bash
# Builds Velmora and runs it under Wine. With a display ($DISPLAY) the clock
# runs there until you close it (right-click > Exit, or close it from your
# desktop). Without one it opens on a virtual display, saves a picture once
# the time is drawn, closes, and says where the picture is. Any step that
# fails says what failed.
set -euo pipefail
start_directory=$(pwd)
cd "$(dirname "$0")/.."
root=$(pwd)
source scripts/steps.sh

bash scripts/setup.sh
# Only the 32-bit program and the picture taker: the tests are test.sh's.
run_step bash scripts/build.sh --program

source scripts/wine-env.sh
trap stop_wine_environment EXIT
if [ -n "${DISPLAY:-}" ]; then
    prepare_wine_prefix
    # Velmora.cfg is read from and saved to the directory you started in.
    cd "$start_directory"
    "$VELMORA_WINE" "$root/build/win32/Velmora.exe" || true
else
    start_virtual_display
    prepare_wine_prefix
    out=$root/build/screenshots
    mkdir -p "$out"
    run_step "$VELMORA_WINE" build/win32/velmora_tour.exe \
        "$(windows_path "$out")" clock
    run_step convert "$out/clock.bmp" "$out/clock.png"
    rm -f "$out/clock.bmp"
    echo "No display was set: the clock ran on a virtual display."
    echo "Its picture is $out/clock.png"
fi
