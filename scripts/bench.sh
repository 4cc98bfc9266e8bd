#!/usr/bin/env bash
# Measures Velmora beside a minimal dialog program under Wine (start-up, idle
# CPU, memory, tick cost, size, imports), prints the table and writes it to
# docs/benchmark.md, followed by where the executable's bytes go, from the
# link maps. Takes about two minutes; run it on an otherwise idle machine.
# Not part of the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

source scripts/steps.sh

bash scripts/setup.sh
run_step bash scripts/build.sh

# The 32-bit builds are measured running, unless 32-bit programs run under
# emulation here: the emulator's own time and memory would swamp theirs, so
# the 64-bit builds run instead. Both widths' files are measured either way.
bits=32 other=64
if [ "$(bash scripts/i386-support.sh --which)" != "native i386" ]; then
    bits=64 other=32
    echo "32-bit programs run under emulation here: measuring the 64-bit builds"
fi
source scripts/wine-env.sh
trap stop_wine_environment EXIT
use_wine_bits "$bits"
start_virtual_display
prepare_wine_prefix
"$VELMORA_WINE" "build/win$bits/velmora_bench.exe" \
    "$(windows_path "$root/docs/benchmark.md")" \
    "$(windows_path "$root/build/win$other")"

breakdown=$(python3 scripts/size_breakdown.py build/win32 build/win64)
cat >>docs/benchmark.md <<MARKDOWN

## Where the bytes go

From the linker's maps (\`Velmora.map\` beside each build's \`Velmora.exe\`), by
\`scripts/size_breakdown.py build/win32 build/win64\`: every input section
counted to the file it came from; headers and the padding of each section to
the file alignment are the rest of the file. The start-up row held the
run-time's start-up files (crt2, crtbegin/crtend, libmingw32: 8,436 bytes of
the 32-bit program, 8,244 of the 64-bit one) until the program got an entry
point of its own.

$breakdown
MARKDOWN
echo
echo "$breakdown"
