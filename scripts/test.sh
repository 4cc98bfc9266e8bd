#!/usr/bin/env bash
# Everything from a fresh Debian machine to a full test run: installs, builds,
# runs the native unit tests, then drives the real Velmora.exe under Wine on a
# virtual display. Counts come from each runner's XML report, never from its
# printed text (scripts/test_results.py); the last line gives the totals of
# passed, failed and skipped tests. A skipped test counts as failed unless
# this host cannot run it.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/steps.sh

bash scripts/setup.sh || exit 1
run_step bash scripts/build.sh || exit 1
# 32-bit Wine runs natively, or emulated where the processor runs no 32-bit
# code (scripts/i386-support.sh).
i386_mode=$(bash scripts/i386-support.sh --which)

# Nothing of an earlier run may be counted again.
logs=build/test-logs
rm -rf "$logs"
mkdir -p "$logs"
results=$logs/results.tsv
: >"$results"
# record_run NAME EXIT-STATUS XML-FILE [MAY-SKIP WHY]: one process of a
# runner; MAY-SKIP names the tests this host cannot run, for the reason WHY.
record_run() {
    printf 'run\t%s\t%s\t%s\t%s\t%s\n' "$1" "$2" "${4:--}" "${5:--}" "$3" >>"$results"
}
# record_check NAME PASSED FAILED: a check that writes no XML.
record_check() {
    printf 'check\t%s\t%s\t%s\n' "$1" "$2" "$3" >>"$results"
}

echo "== layout: no upward includes, no include circles"
python3 scripts/check_layout.py 2>&1 | tee "$logs/layout.log"
layout_passed=$(( PIPESTATUS[0] == 0 ? 1 : 0 ))
record_check layout "$layout_passed" $(( 1 - layout_passed ))

# --no-tests=error: a build that registered no tests fails rather than passes.
echo "== native unit tests"
ctest --test-dir build/native --no-tests=error --output-on-failure \
    --output-junit "$PWD/$logs/unit.xml" 2>&1 | tee "$logs/unit.log"
record_run "unit tests" "${PIPESTATUS[0]}" "$logs/unit.xml"

echo "== native unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
ctest --test-dir build/native-sanitized --no-tests=error --output-on-failure \
    --output-junit "$PWD/$logs/sanitized.xml" 2>&1 | tee "$logs/sanitized.log"
record_run "unit tests under sanitizers" "${PIPESTATUS[0]}" "$logs/sanitized.xml"

echo "== fuzzing the configuration loader for ${VELMORA_FUZZ_SECONDS:=120} s"
fuzz_corpus=build/fuzz/corpus
mkdir -p "$fuzz_corpus"
build/fuzz/tests/fuzz/config_fuzzer -max_total_time="$VELMORA_FUZZ_SECONDS" \
    -timeout=5 -print_final_stats=1 "$fuzz_corpus" tests/fuzz/corpus \
    >"$logs/fuzz.log" 2>&1
fuzz_passed=$(( $? == 0 ? 1 : 0 ))
record_check fuzzing "$fuzz_passed" $(( 1 - fuzz_passed ))
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
record_check "release packages" $(( 2 - package_failed )) "$package_failed"

echo "== reproducible build: the same tree built again elsewhere, later"
# A fresh copy at another path under /tmp, built from nothing with the same
# settings as scripts/build.sh, must give the same programs and zips.
rebuild_root=$(mktemp -d /tmp/velmora-rebuild.XXXXXX)
rebuild=$rebuild_root/another/checkout
mkdir -p "$rebuild"
git ls-files -co --exclude-standard -z | tar --null -T - -cf - | tar -xf - -C "$rebuild"
(
    cd "$rebuild"
    bash scripts/build.sh --release >/dev/null &&
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
record_check "reproducible build" $(( reproducible_total - reproducible_failed )) "$reproducible_failed"
rm -rf "$rebuild_root"

source scripts/wine-env.sh
trap stop_wine_environment EXIT
start_virtual_display || exit 1
# The time-zone tests may skip only where run_with_zone_file could make no
# mount namespace; every other skip counts as a failure.
e2e() {  # bits
    local bits=$1 status may_skip=- why=-
    echo "== end-to-end tests of the $bits-bit build under $bits-bit Wine"
    use_wine_bits "$bits"
    prepare_wine_prefix || exit 1
    run_with_zone_file "$VELMORA_WINE" "build/win$bits/velmora_e2e.exe" \
        --gtest_output="xml:$logs/e2e$bits.xml" 2>&1 | tee "$logs/e2e$bits.log"
    status=${PIPESTATUS[0]}
    if [ -f "$VELMORA_NO_ZONE_NAMESPACE" ]; then
        may_skip='Zone/ZoneChangeTest.*'
        why=$(cat "$VELMORA_NO_ZONE_NAMESPACE")
    fi
    record_run "end-to-end ($bits-bit)" "$status" "$logs/e2e$bits.xml" "$may_skip" "$why"
    use_wine_bits 32
}
e2e 32
e2e 64

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
    --gtest_output="xml:$logs/save-flush.xml" >"$logs/save-flush.log" 2>&1
record_run "saves under strace (32-bit)" "$?" "$logs/save-flush.xml"
flush_passed=0
# Every rename of the temporary file onto Velmora.cfg must follow a finished
# flush of that file by a Velmora.exe process.
if awk '
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
record_check "flush before replace" "$flush_passed" $(( 1 - flush_passed ))

# Every path is compared object for object before and after its rounds, so a
# leak of one object a round shows at once, and one every hundred rounds
# shows five times over. VELMORA_SOAK_ROUNDS=10000 runs the soak in full.
soak_rounds=${VELMORA_SOAK_ROUNDS:-500}
# Each build's soak runs in two processes, one a core, the first on a display
# and in a prefix of its own (run_apart): both move the pointer, and either
# may hold a menu or a dialog open while the other samples the screen.
soak_first_half='Ways/GrabberSoakTest.OpenedAndClosed/0:Ways/GrabberSoakTest.OpenedAndClosed/1:SoakTest.ContextMenu'
soak() {  # bits
    local bits=$1 first first_status second_status
    local name="soak ($bits-bit, $soak_rounds rounds)"
    echo "== soak of the $bits-bit build: every object-creating path $soak_rounds times"
    use_wine_bits "$bits"
    VELMORA_SOAK_ROUNDS=$soak_rounds run_apart "$VELMORA_WINE" "build/win$bits/velmora_soak.exe" \
        --gtest_filter="$soak_first_half" --gtest_output="xml:$logs/soak$bits-1.xml" \
        >"$logs/soak$bits-1.log" 2>&1 &
    first=$!
    VELMORA_SOAK_ROUNDS=$soak_rounds "$VELMORA_WINE" "build/win$bits/velmora_soak.exe" \
        --gtest_filter="-$soak_first_half" --gtest_output="xml:$logs/soak$bits-2.xml" \
        >"$logs/soak$bits-2.log" 2>&1
    second_status=$?
    wait "$first"
    first_status=$?
    record_run "$name" "$first_status" "$logs/soak$bits-1.xml"
    record_run "$name" "$second_status" "$logs/soak$bits-2.xml"
    cat "$logs/soak$bits-1.log" "$logs/soak$bits-2.log" | grep -E 'GDI .* USER|FAILED|Failure'
    use_wine_bits 32
}
soak 32
soak 64

echo "== results"
echo "32-bit Windows programs ran as: $i386_mode"
python3 scripts/test_results.py "$results"
