#!/usr/bin/env bash
# Everything from a fresh Debian machine to a full test run: installs, builds,
# runs the native unit tests, then drives the real Velmora.exe under Wine on a
# virtual display. Ends with the total count of passed and failed tests.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/steps.sh

bash scripts/setup.sh || exit 1
run_step bash scripts/build.sh || exit 1
# 32-bit Wine runs natively, or emulated where the processor runs no 32-bit
# code (scripts/i386-support.sh): emulated, the in-process soak runs fewer
# rounds of the 32-bit build and all of them of the 64-bit one.
i386_mode=$(bash scripts/i386-support.sh --which)

logs=build/test-logs
mkdir -p "$logs"

echo "== layout: no upward includes, no include circles"
python3 scripts/check_layout.py 2>&1 | tee "$logs/layout.log"
layout_status=${PIPESTATUS[0]}
layout_passed=$(( layout_status == 0 ? 1 : 0 ))

echo "== native unit tests"
ctest --test-dir build/native --output-on-failure 2>&1 | tee "$logs/unit.log"
unit_status=${PIPESTATUS[0]}

echo "== native unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
ctest --test-dir build/native-sanitized --output-on-failure 2>&1 | tee "$logs/sanitized.log"
sanitized_status=${PIPESTATUS[0]}

echo "== fuzzing the configuration loader for ${VELMORA_FUZZ_SECONDS:=120} s"
fuzz_corpus=build/fuzz/corpus
mkdir -p "$fuzz_corpus"
build/fuzz/tests/fuzz/config_fuzzer -max_total_time="$VELMORA_FUZZ_SECONDS" \
    -timeout=5 -print_final_stats=1 "$fuzz_corpus" tests/fuzz/corpus \
    >"$logs/fuzz.log" 2>&1
fuzz_status=$?
grep -E '^(stat::number_of_executed_units|Done|==[0-9]+==ERROR|property broken)' "$logs/fuzz.log"

echo "== release packages"
# One commit, one date for every build of it, here and in the rebuild below.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || echo 315532800)
fi
export SOURCE_DATE_EPOCH
package_failed=0
bash scripts/package.sh --no-build >/dev/null || package_failed=2
for bits in 32 64; do
    zip_file=$(ls dist/Velmora-*-win$bits.zip 2>/dev/null | head -1)
    python3 - "$zip_file" dist/SHA256SUMS <<'PY' || package_failed=$(( package_failed + 1 ))
import hashlib, os, sys, zipfile
path, sums = sys.argv[1], sys.argv[2]
names = sorted(zipfile.ZipFile(path).namelist())
digest = hashlib.sha256(open(path, "rb").read()).hexdigest()
listed = open(sums).read().split()
summed = digest + " " + os.path.basename(path) in " ".join(listed)
print(path, names, "matches SHA256SUMS" if summed else "DOES NOT MATCH SHA256SUMS")
sys.exit(names != ["LICENSE", "README.md", "Velmora.exe"] or not summed)
PY
done
package_failed=$(( package_failed > 2 ? 2 : package_failed ))

echo "== reproducible build: the same tree built again elsewhere, later"
# A fresh copy at another path under /tmp, built from nothing with the same
# settings as scripts/build.sh, must give the same programs and zips.
rebuild_root=$(mktemp -d /tmp/velmora-rebuild.XXXXXX)
rebuild=$rebuild_root/another/checkout
mkdir -p "$rebuild"
git ls-files -co --exclude-standard -z | tar --null -T - -cf - | tar -xf - -C "$rebuild"
(
    cd "$rebuild"
    for bits in 32 64; do
        toolchain=cmake/toolchain-mingw-i686.cmake
        [ "$bits" = 64 ] && toolchain=cmake/toolchain-mingw-x86_64.cmake
        cmake -S . -B "build/win$bits" -DCMAKE_BUILD_TYPE=MinSizeRel \
            -DCMAKE_TOOLCHAIN_FILE="$toolchain" >/dev/null &&
            cmake --build "build/win$bits" -j "$(nproc)" --target Velmora >/dev/null
    done
    bash scripts/package.sh --no-build >/dev/null
) >"$logs/rebuild.log" 2>&1
reproducible_failed=0
for file in build/win32/Velmora.exe build/win64/Velmora.exe dist/*.zip; do
    if cmp "$file" "$rebuild/$file"; then
        echo "same bytes: $file"
    else
        echo "DIFFERENT: $file and $rebuild/$file"
        reproducible_failed=$(( reproducible_failed + 1 ))
    fi
done
reproducible_total=4
reproducible_failed=$(( reproducible_failed > reproducible_total ? reproducible_total : reproducible_failed ))
rm -rf "$rebuild_root"

echo "== end-to-end tests under Wine"
source scripts/wine-env.sh
trap stop_wine_environment EXIT
start_virtual_display || exit 1
prepare_wine_prefix || exit 1
run_with_zone_file "$VELMORA_WINE" build/win32/velmora_e2e.exe 2>&1 | tee "$logs/e2e.log"
e2e_status=${PIPESTATUS[0]}

echo "== end-to-end tests of the 64-bit build under 64-bit Wine"
use_wine_bits 64
prepare_wine_prefix || exit 1
run_with_zone_file "$VELMORA_WINE" build/win64/velmora_e2e.exe 2>&1 |
    tee "$logs/e2e64.log"
e2e64_status=${PIPESTATUS[0]}
use_wine_bits 32

echo "== a save's bytes are on the disk before they replace Velmora.cfg (strace)"
# Under Wine the clock's own process makes the fsync of FlushFileBuffers and
# the wine server the rename of ReplaceFile, so the server has to start under
# the tracer too: wait for the running one to go first. The seccomp filter
# stops the traced processes only for the calls asked for: stopping an
# emulated Wine at every call makes it too slow to show its window in time.
flush_trace=$logs/save-flush.strace
wineserver -w
strace --seccomp-bpf -f -qq -s 1024 -y -o "$flush_trace" \
    -e trace=execve,fsync,fdatasync,rename,renameat,renameat2 \
    "$VELMORA_WINE" build/win32/velmora_e2e.exe --gtest_filter='SaveFaultsTest.ReadOnly*' \
    >"$logs/save-flush.log" 2>&1
flush_status=$?
flush_passed=0
# Every rename of the temporary file onto Velmora.cfg must follow a finished
# flush of that file by a Velmora.exe process.
if [ "$flush_status" -eq 0 ] && awk '
    / execve\(/ && /Velmora\.exe"/ { clock[$1] = 1 }
    clock[$1] && /fsync\(|fdatasync\(/ && /Velmora\.cfg\.new>/ {
        if (/ = 0$/) flushed = 1; else if (/unfinished/) pending[$1] = 1
    }
    pending[$1] && /resumed>/ { flushed = / = 0$/; pending[$1] = 0 }
    /rename(at2?)?\(/ && /Velmora\.cfg\.new", / && /Velmora\.cfg"/ {
        if (!flushed) bad = 1
        renames++; flushed = 0
    }
    END { printf "renames of the saved file: %d, all after its flush: %s\n",
                 renames, bad ? "no" : "yes"; exit !(renames > 0 && !bad) }
' "$flush_trace"; then
    flush_passed=1
fi

# Each build's soak runs in two processes, one a core.
soak_first_half='Ways/GrabberSoakTest.OpenedAndClosed/0:Ways/GrabberSoakTest.OpenedAndClosed/1:SoakTest.ContextMenu'
soak_logs=()
soak_status=0
soak() {  # bits rounds (empty: the full 10,000)
    local bits=$1 rounds=$2 first
    echo "== soak of the $bits-bit build: every object-creating path ${rounds:-10000} times"
    use_wine_bits "$bits"
    VELMORA_SOAK_ROUNDS=$rounds "$VELMORA_WINE" "build/win$bits/velmora_soak.exe" \
        --gtest_filter="$soak_first_half" >"$logs/soak$bits-1.log" 2>&1 &
    first=$!
    VELMORA_SOAK_ROUNDS=$rounds "$VELMORA_WINE" "build/win$bits/velmora_soak.exe" \
        --gtest_filter="-$soak_first_half" >"$logs/soak$bits-2.log" 2>&1 ||
        soak_status=1
    wait "$first" || soak_status=1
    soak_logs+=("$logs/soak$bits-1.log" "$logs/soak$bits-2.log")
    cat "$logs/soak$bits-1.log" "$logs/soak$bits-2.log" | grep -E 'GDI .* USER|FAILED|Failure'
    use_wine_bits 32
}
if [ "$i386_mode" = "native i386" ]; then
    soak 32 ""
else
    # Emulated, a 32-bit round costs tens of times more; a leak of one object
    # a round still shows after a few hundred.
    soak 64 ""
    soak 32 "${VELMORA_EMULATED_SOAK_ROUNDS:=500}"
fi

# Totals from the runners' own summary lines.
ctest_count() {  # field 1: failed, 2: total
    local value
    value=$(sed -n "s/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\\$1/p" "$2")
    echo "${value:-0}"
}
unit_total=$(( $(ctest_count 2 "$logs/unit.log") + $(ctest_count 2 "$logs/sanitized.log") ))
unit_failed=$(( $(ctest_count 1 "$logs/unit.log") + $(ctest_count 1 "$logs/sanitized.log") ))
fuzz_passed=$(( fuzz_status == 0 ? 1 : 0 ))
gtest_count() {  # PASSED or FAILED, summed over the logs given
    local kind=$1 total=0 value log
    shift
    for log in "$@"; do
        if [ "$kind" = PASSED ]; then
            value=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\..*/\1/p' "$log")
        else
            value=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\?, listed below.*/\1/p' "$log")
        fi
        total=$(( total + ${value:-0} ))
    done
    echo "$total"
}
e2e_passed=$(gtest_count PASSED "$logs/e2e.log" "$logs/e2e64.log")
e2e_failed=$(gtest_count FAILED "$logs/e2e.log" "$logs/e2e64.log")
soak_passed=$(gtest_count PASSED "${soak_logs[@]}")
soak_failed=$(gtest_count FAILED "${soak_logs[@]}")
# A run ended before its summary (its Wine server gone, say) may still exit
# with 0 and count nothing: each such run counts as one failure.
unfinished=0
for log in "$logs/e2e.log" "$logs/e2e64.log" "${soak_logs[@]}"; do
    grep -q '^\[==========\] .* ran\.' "$log" || unfinished=$(( unfinished + 1 ))
done
passed=$(( unit_total - unit_failed + e2e_passed + fuzz_passed + soak_passed +
          2 - package_failed + layout_passed + flush_passed +
          reproducible_total - reproducible_failed ))
failed=$(( unit_failed + e2e_failed + 1 - fuzz_passed + soak_failed +
          package_failed + 1 - layout_passed + 1 - flush_passed +
          reproducible_failed + unfinished ))
if [ "$unit_status" -ne 0 ] || [ "$sanitized_status" -ne 0 ] ||
   [ "$e2e_status" -ne 0 ] || [ "$e2e64_status" -ne 0 ] ||
   [ "$soak_status" -ne 0 ]; then
    failed=$(( failed > 0 ? failed : 1 ))
fi
echo "unit (plain and sanitized): $(( unit_total - unit_failed )) passed, $unit_failed failed"
echo "fuzzing: $fuzz_passed passed, $(( 1 - fuzz_passed )) failed"
echo "end-to-end (32-bit and 64-bit): $e2e_passed passed, $e2e_failed failed"
echo "soak: $soak_passed passed, $soak_failed failed"
echo "32-bit Windows programs ran as: $i386_mode"
echo "release packages: $(( 2 - package_failed )) passed, $package_failed failed"
echo "layout: $layout_passed passed, $(( 1 - layout_passed )) failed"
echo "flush before replace: $flush_passed passed, $(( 1 - flush_passed )) failed"
echo "reproducible build: $(( reproducible_total - reproducible_failed )) passed, $reproducible_failed failed"
[ "$unfinished" -eq 0 ] || echo "runs ended before their summary: $unfinished"
echo "total: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
