#!/usr/bin/env bash
# Builds the native unit tests (build/native, and build/native-sanitized with
# AddressSanitizer and UndefinedBehaviorSanitizer), the configuration fuzzer
# (build/fuzz) and the Windows program with its end-to-end driver, 32-bit
# (build/win32) and 64-bit (build/win64).
#
# With --program, only what scripts/run.sh runs: the 32-bit Velmora.exe and
# the picture taker velmora_tour.exe (build/win32). With --release, only the
# two Velmora.exe that the packages hold (build/win32 and build/win64). With
# --fuzz, only the fuzzer (build/fuzz). With --configure
# native|native-sanitized|win64, only that build's configuration, with its
# compile commands (the mutation runner's scratch copies build from there).
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
native_configure() {
    cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
}
sanitized_configure() {
    cmake -S . -B build/native-sanitized -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" \
        -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
}
windows_configure() {  # bits
    local toolchain=cmake/toolchain-mingw-i686.cmake
    [ "$1" = 64 ] && toolchain=cmake/toolchain-mingw-x86_64.cmake
    cmake -S . -B "build/win$1" -DCMAKE_BUILD_TYPE=MinSizeRel \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
}
windows_build() {  # bits [target...]
    local bits=$1
    shift
    windows_configure "$bits"
    local targets=()
    [ $# -eq 0 ] || targets=(--target "$@")
    cmake --build "build/win$bits" -j "$jobs" "${targets[@]}"
}

fuzz_build() {
    CC=clang CXX=clang++ cmake -S . -B build/fuzz -DVELMORA_FUZZ=ON >/dev/null
    cmake --build build/fuzz -j "$jobs"
}

case ${1:-} in
    --configure)
        case ${2:-} in
            native) native_configure ;;
            native-sanitized) sanitized_configure ;;
            win64) windows_configure 64 ;;
            *) echo "usage: $0 --configure native|native-sanitized|win64" >&2; exit 2 ;;
        esac
        exit 0
        ;;
    --fuzz)
        fuzz_build
        exit 0
        ;;
    --program)
        windows_build 32 Velmora velmora_tour
        exit 0
        ;;
    --release)
        windows_build 32 Velmora
        windows_build 64 Velmora
        exit 0
        ;;
    "") ;;
    *)
        echo "usage: $0 [--program | --release | --fuzz | --configure native|native-sanitized|win64]" >&2
        exit 2
        ;;
esac

native_configure
cmake --build build/native -j "$jobs"
sanitized_configure
cmake --build build/native-sanitized -j "$jobs"
fuzz_build
for bits in 32 64; do
    windows_build "$bits"
done
