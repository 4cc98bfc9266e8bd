#!/usr/bin/env bash
# Builds the native unit tests (build/native) and the Windows program with its
# end-to-end driver (build/win32).
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j "$jobs"
cmake -S . -B build/win32 -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake >/dev/null
cmake --build build/win32 -j "$jobs"
