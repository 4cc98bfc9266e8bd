#!/usr/bin/env bash
# Builds the native unit tests (build/native, and build/native-sanitized with
# AddressSanitizer and UndefinedBehaviorSanitizer), the configuration fuzzer
# (build/fuzz) and the Windows program with its end-to-end driver, 32-bit
# (build/win32) and 64-bit (build/win64).
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j "$jobs"
cmake -S . -B build/native-sanitized -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" \
    >/dev/null
cmake --build build/native-sanitized -j "$jobs"
CC=clang CXX=clang++ cmake -S . -B build/fuzz -DVELMORA_FUZZ=ON >/dev/null
cmake --build build/fuzz -j "$jobs"
for bits in 32 64; do
    toolchain=cmake/toolchain-mingw-i686.cmake
    [ "$bits" = 64 ] && toolchain=cmake/toolchain-mingw-x86_64.cmake
    cmake -S . -B "build/win$bits" -DCMAKE_BUILD_TYPE=MinSizeRel \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" >/dev/null
    cmake --build "build/win$bits" -j "$jobs"
done
