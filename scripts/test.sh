#!/usr/bin/env bash
# Everything from a fresh Debian machine to a full test run: installs, builds,
# runs the native unit tests, then drives the real Velmora.exe under Wine on a
# virtual display. Counts come from each runner's XML report, never from its
# printed text (scripts/test_results.py); the last line gives the totals of
# passed, failed and skipped tests. A skipped test counts as failed unless
# this host cannot run it. Every runner has a time limit, and says how many
# tests the build registered and how many it ran.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/steps.sh

# A filter, shard or repeat left in the environment would quietly run
# another set of tests, and list the same set as registered; a shorter wait
# (the mutation runner's) would fail tests on a loaded machine.
inherited=$(compgen -e | grep -E '^(GTEST_|TESTBRIDGE_|VELMORA_E2E_WAIT_MS$)' || true)
if [ -n "$inherited" ]; then
    unset $inherited
    echo "cleared the inherited test settings $(echo $inherited): every test runs"
fi

bash scripts/setup.sh || exit 1
# Every test source must be built by some target: CMake answers this query,
# left in each build folder, whenever build.sh configures it again.
source_builds=(build/native build/fuzz build/win32 build/win64)
for build in "${source_builds[@]}"; do
    rm -rf "$build/.cmake/api/v1/reply"
    mkdir -p "$build/.cmake/api/v1/query"
    touch "$build/.cmake/api/v1/query/codemodel-v2"
done
run_step bash scripts/build.sh || exit 1
# 32-bit Wine runs natively, or emulated where the processor runs no 32-bit
# code or VELMORA_I386=emulate asked for it (scripts/i386-support.sh).
i386_mode=$(bash scripts/i386-support.sh --which)

# Time limits: a runner still running after time_limit_factor times its
# normal time is hung, and is stopped with its processes. The normal times
# were measured on two cores shared with other busy work (load about 5); the
# 32-bit Wine runners have their own where 32-bit Wine is emulated, several
# times slower. This machine runs no i386 code natively, so the native
# 32-bit ones are taken from the 64-bit build's.
time_limit_factor=4
stop_grace_seconds=10      # from the stop signal to the kill
normal_unit_seconds=10     # measured 2 s
normal_sanitized_seconds=15    # measured 6 s
normal_fuzz_start_seconds=10   # on top of its VELMORA_FUZZ_SECONDS
normal_listing_seconds=15      # a Wine program listing its tests: 3 s
normal_e2e_seconds=150         # measured 139 s (84 s on idle cores)
normal_strace_seconds=15
normal_soak_start_seconds=70   # warm-up and object counts: 65 s, then
normal_soak_round_ms=650       # 630 ms a round (2 processes at once)
if [ "$i386_mode" = "i386 under emulation" ]; then
    normal_listing_seconds32=30    # measured 7 s
    normal_e2e_seconds32=400       # measured 394 s (150 s on idle cores)
    normal_strace_seconds32=30     # measured 23 s
    normal_soak_start_seconds32=90 # measured 78 s, then
    normal_soak_round_ms32=900    # 880 ms a round
else
    normal_listing_seconds32=$normal_listing_seconds
    normal_e2e_seconds32=$normal_e2e_seconds
    normal_strace_seconds32=$normal_strace_seconds
    normal_soak_start_seconds32=$normal_soak_start_seconds
    normal_soak_round_ms32=$normal_soak_round_ms
fi

# Nothing of an earlier run may be counted again.
logs=build/test-logs
rm -rf "$logs"
mkdir -p "$logs"
# stage TITLE: heads the next stage, and gives the one before it its time.
stage_title=
stage_start=$SECONDS
stage() {
    [ -z "$stage_title" ] ||
        echo "stage: $stage_title: $(( SECONDS - stage_start )) s" >>"$logs/stages.log"
    stage_title=$1
    stage_start=$SECONDS
    [ "$1" = end ] || echo "== $1"
}
echo "stage: set-up and builds: $SECONDS s" >"$logs/stages.log"
results=$logs/results.tsv
: >"$results"
# A runner's process group, named while it runs, is no longer in the
# terminal's: an interrupted test run ends the runners itself.
running=$logs/running
mkdir -p "$running"
stop_runners() {
    local group
    for group in "$running"/*; do
        [ ! -e "$group" ] || kill -TERM -- "-${group##*/}" 2>/dev/null
    done
}
trap 'stop_runners; exit 130' INT TERM
# record_run NAME EXIT-STATUS XML-FILE [MAY-SKIP WHY]: one process of a
# runner; MAY-SKIP names the tests this host cannot run, for the reason WHY.
record_run() {
    printf 'run\t%s\t%s\t%s\t%s\t%s\n' "$1" "$2" "${4:--}" "${5:--}" "$3" >>"$results"
}
# record_check NAME PASSED FAILED: a check that writes no XML.
record_check() {
    printf 'check\t%s\t%s\t%s\n' "$1" "$2" "$3" >>"$results"
}
# record_expected NAME REGISTERED-FILE [SELECTED-FILE FILTER]: the tests the
# build registered for a runner, and those it must run: all of them, unless
# FILTER describes the runner's deliberate selection, listed in SELECTED-FILE.
record_expected() {
    printf 'expect\t%s\t%s\t%s\t%s\n' "$1" "$2" "${3:-$2}" "${4:--}" >>"$results"
}

# limited NAME XML-FILE NORMAL-SECONDS LOG COMMAND...: runs COMMAND with its
# output in LOG (and on the screen with --show first), in a process group of
# its own. Past time_limit_factor times NORMAL-SECONDS the whole group is
# stopped, killed if it has not ended stop_grace_seconds later, and the stop
# is recorded for NAME's summary (LOG.stopped says so to the caller, which
# ends what the group left behind). Returns COMMAND's status.
limited() {
    local show=0
    [ "$1" != --show ] || { show=1; shift; }
    local name=$1 xml=$2 normal=$3 log=$4 status runner tail_pid=
    shift 4
    local limit=$(( normal * time_limit_factor )) start=$SECONDS
    rm -f "$log.stopped"
    timeout --kill-after="$stop_grace_seconds" "$limit" "$@" >"$log" 2>&1 &
    runner=$!
    touch "$running/$runner"
    if [ "$show" = 1 ]; then
        tail -n +1 -f --pid="$runner" "$log" &
        tail_pid=$!
    fi
    wait "$runner"
    status=$?
    rm -f "$running/$runner"
    [ -z "$tail_pid" ] || wait "$tail_pid"
    if { [ "$status" = 124 ] || [ "$status" = 137 ]; } &&
            [ $(( SECONDS - start )) -ge "$limit" ]; then
        echo "$name: TIMED OUT after $(( SECONDS - start )) s (limit $limit s): stopped"
        touch "$log.stopped"
        printf 'stopped\t%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$xml" \
            "$(( SECONDS - start ))" "$normal" "$time_limit_factor" "$log" >>"$results"
    else
        echo "$name, ${log##*/}: $(( SECONDS - start )) s (limit $limit s)" >>"$logs/times.log"
    fi
    return "$status"
}

# stop_prefix PREFIX: ends every process of one of this worktree's Wine
# prefixes: its server and all it serves, then, by id, any Wine process
# that still names the prefix (one the server lost).
stop_prefix() {
    local prefix=$1 dir pid left=()
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
    WINEPREFIX=$prefix timeout 30 wineserver -w >/dev/null 2>&1
    for dir in /proc/[0-9]*; do
        pid=${dir#/proc/}
        case $(readlink "$dir/exe" 2>/dev/null) in
            */wine*|*/qemu-i386) ;;
            *) continue ;;
        esac
        { tr '\0' '\n' <"$dir/environ"; } 2>/dev/null |
            grep -qxF "WINEPREFIX=$prefix" && left+=("$pid")
    done
    if [ ${#left[@]} -gt 0 ]; then
        echo "still running in $prefix after its server ended, killed: ${left[*]}"
        kill -KILL "${left[@]}" 2>/dev/null
    fi
}

# list_gtest NAME FILE NORMAL-SECONDS PROGRAM [ARGUMENT...]: the names of the
# tests PROGRAM (a GoogleTest program, perhaps under Wine) holds, given the
# same filter as its run.
list_gtest() {
    local name=$1 file=$2 normal=$3
    shift 3
    limited "$name" - "$normal" "$file.log" "$@" --gtest_list_tests
    python3 scripts/test_results.py --gtest-names <"$file.log" >"$file"
}

stage "layout: no upward includes, no include circles"
python3 scripts/check_layout.py 2>&1 | tee "$logs/layout.log"
layout_passed=$(( PIPESTATUS[0] == 0 ? 1 : 0 ))
record_check layout "$layout_passed" $(( 1 - layout_passed ))

stage "every test source is built"
python3 scripts/test_results.py --test-sources "$results" "${source_builds[@]}"

# --no-tests=error: a build that registered no tests fails rather than passes.
unit() {  # NAME BUILD LOG-NAME NORMAL-SECONDS
    local name=$1 build=$2 log=$logs/$3 normal=$4
    python3 scripts/test_results.py --ctest-names "$build" >"$log.registered"
    record_expected "$name" "$log.registered"
    limited --show "$name" "$log.xml" "$normal" "$log.log" \
        ctest --test-dir "$build" --no-tests=error --output-on-failure \
        --output-junit "$PWD/$log.xml"
    record_run "$name" "$?" "$log.xml"
}
stage "native unit tests"
unit "unit tests" build/native unit "$normal_unit_seconds"
stage "native unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
unit "unit tests under sanitizers" build/native-sanitized sanitized \
    "$normal_sanitized_seconds"

# The corpus kept in the tree (every input that found new coverage in a
# long campaign, scripts/fuzz.sh) is replayed first, then fuzzed further.
stage "fuzzing the configuration loader: its corpus, then ${VELMORA_FUZZ_SECONDS:=20} s more"
fuzz_corpus=build/fuzz/corpus
rm -rf "$fuzz_corpus"
mkdir -p "$fuzz_corpus"
limited fuzzing - $(( VELMORA_FUZZ_SECONDS + normal_fuzz_start_seconds )) \
    "$logs/fuzz.log" build/fuzz/tests/fuzz/config_fuzzer \
    -max_total_time="$VELMORA_FUZZ_SECONDS" -timeout=5 -print_final_stats=1 \
    "$fuzz_corpus" tests/fuzz/corpus
fuzz_passed=$(( $? == 0 ? 1 : 0 ))
# A stop is already its failure.
[ -e "$logs/fuzz.log.stopped" ] ||
    record_check fuzzing "$fuzz_passed" $(( 1 - fuzz_passed ))
grep -E '^(stat::number_of_executed_units|Done|==[0-9]+==ERROR|property broken)|INITED' "$logs/fuzz.log"

stage "release packages"
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

stage "reproducible build: the same tree built again elsewhere, later"
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

stage "every file the resource script names is built into both programs"
# In the same copy: a byte changed in any one of them, and nothing else,
# must give both Velmora.exe other bytes on the next build.
resources_passed=0 resources_failed=0
for resource in $(sed -nE 's/^[A-Z_]+[ \t]+[A-Z_]+[ \t]+"([^"]+)"$/\1/p' res/velmora.rc); do
    for bits in 32 64; do
        cp "$rebuild/build/win$bits/Velmora.exe" "$rebuild/build/win$bits/Velmora.before"
    done
    python3 - "$rebuild/res/$resource" <<'PY'
import sys
path = sys.argv[1]
data = bytearray(open(path, "rb").read())
data[-2] ^= 0x01  # the last pixels of a picture; a character of a manifest
open(path, "wb").write(data)
PY
    (cd "$rebuild" && bash scripts/build.sh --release) >>"$logs/rebuild.log" 2>&1
    for bits in 32 64; do
        if cmp -s "$rebuild/build/win$bits/Velmora.exe" "$rebuild/build/win$bits/Velmora.before"; then
            echo "NOT REBUILT: the $bits-bit Velmora.exe after a change to res/$resource"
            resources_failed=$(( resources_failed + 1 ))
        else
            echo "rebuilt: the $bits-bit Velmora.exe after a change to res/$resource"
            resources_passed=$(( resources_passed + 1 ))
        fi
    done
done
[ "$resources_passed" -gt 0 ] || resources_failed=$(( resources_failed + 1 ))
record_check "resources rebuilt" "$resources_passed" "$resources_failed"
rm -rf "$rebuild_root"

source scripts/wine-env.sh
trap stop_wine_environment EXIT
start_virtual_display || exit 1
# The runners of 32-bit programs take the normal times of 32-bit Wine here.
normal_seconds() {  # KIND BITS
    local variable=normal_$1
    [ "$2" = 32 ] && variable=${variable}32
    echo "${!variable}"
}
# run_with_zone_file runs under `timeout`, in a shell of its own.
export -f run_with_zone_file windows_path no_zone_namespace_file
export VELMORA_ROOT VELMORA_WINE

# both_builds STEP: STEP 32 here and STEP 64 at once, on a display of its
# own and in its own prefix, so that neither moves the other's pointer or
# opens a menu in its way. Returns non-zero if either could not start.
both_builds() {
    local first status=0
    ( use_wine_bits 32 && "$1" 32 ) &
    first=$!
    ( use_wine_bits 64 && on_own_display "$1" 64 ) || status=1
    wait "$first" || status=1
    return "$status"
}
# A run's summary and the tests it failed: the runs go on at once, so their
# logs are shown after them.
show_gtest_outcome() {  # LOG...
    grep -hE '^\[ *(PASSED|FAILED|SKIPPED) *\]|^\[==========\] [0-9]+ tests? from .* ran' "$@"
}

# The time-zone tests may skip only where run_with_zone_file could make no
# mount namespace; every other skip counts as a failure.
e2e() {  # bits
    local bits=$1 status may_skip=- why=-
    local name="end-to-end ($bits-bit)" log=$logs/e2e$bits
    prepare_wine_prefix || return 1
    list_gtest "$name" "$log.registered" "$(normal_seconds listing_seconds "$bits")" \
        "$VELMORA_WINE" "build/win$bits/velmora_e2e.exe"
    record_expected "$name" "$log.registered"
    limited "$name" "$log.xml" "$(normal_seconds e2e_seconds "$bits")" "$log.log" \
        bash -c 'run_with_zone_file "$@"' run_with_zone_file \
        "$VELMORA_WINE" "build/win$bits/velmora_e2e.exe" --gtest_output="xml:$log.xml"
    status=$?
    [ ! -e "$log.log.stopped" ] || stop_prefix "$WINEPREFIX"
    if [ -f "$(no_zone_namespace_file)" ]; then
        may_skip='Zone/ZoneChangeTest.*'
        why=$(cat "$(no_zone_namespace_file)")
    fi
    record_run "$name" "$status" "$log.xml" "$may_skip" "$why"
}
stage "end-to-end tests: the 32-bit build under 32-bit Wine and the 64-bit under 64-bit Wine, at once"
both_builds e2e || exit 1
for bits in 32 64; do
    echo "-- $bits-bit:"
    show_gtest_outcome "$logs/e2e$bits.log"
done

stage "a save's bytes are on the disk before they replace Velmora.cfg (strace)"
# Under Wine the clock's own process makes the fsync of FlushFileBuffers and
# the wine server the rename of ReplaceFile, so the server has to start under
# the tracer too: wait for the running one to go first (or end it). The
# seccomp filter stops the traced processes only for the calls asked for:
# stopping an emulated Wine at every call makes it too slow to show its
# window in time.
flush_name="saves under strace (32-bit)"
flush_filter='SaveFaultsTest.ReadOnly*'
flush_trace=$logs/save-flush.strace
list_gtest "$flush_name" "$logs/save-flush.selected" \
    "$(normal_seconds listing_seconds 32)" \
    "$VELMORA_WINE" build/win32/velmora_e2e.exe --gtest_filter="$flush_filter"
record_expected "$flush_name" "$logs/e2e32.registered" "$logs/save-flush.selected" \
    "$flush_filter"
timeout 60 wineserver -w || stop_prefix "$WINEPREFIX"
limited "$flush_name" "$logs/save-flush.xml" "$(normal_seconds strace_seconds 32)" \
    "$logs/save-flush.log" \
    strace --seccomp-bpf -f -qq -s 1024 -y -o "$flush_trace" \
    -e trace=execve,fsync,fdatasync,rename,renameat,renameat2 \
    "$VELMORA_WINE" build/win32/velmora_e2e.exe --gtest_filter="$flush_filter" \
    --gtest_output="xml:$logs/save-flush.xml"
record_run "$flush_name" "$?" "$logs/save-flush.xml"
[ ! -e "$logs/save-flush.log.stopped" ] || stop_prefix "$WINEPREFIX"
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
export VELMORA_SOAK_ROUNDS=${VELMORA_SOAK_ROUNDS:-500}
# Each build's soak runs in two processes, one a core, the first on a display
# and in a prefix of its own (run_apart): both move the pointer, and either
# may hold a menu or a dialog open while the other samples the screen. Each
# has its own time limit: a hung one is stopped alone and the other goes on
# to its end; what is left in either prefix is ended after both. Together
# they must run every soak test once.
soak_first_half='Ways/GrabberSoakTest.OpenedAndClosed/0:Ways/GrabberSoakTest.OpenedAndClosed/1:SoakTest.ContextMenu'
soak() {  # bits
    local bits=$1 first normal
    local name="soak ($bits-bit, $VELMORA_SOAK_ROUNDS rounds)" log=$logs/soak$bits
    normal=$(( $(normal_seconds soak_start_seconds "$bits") +
               VELMORA_SOAK_ROUNDS * $(normal_seconds soak_round_ms "$bits") / 1000 ))
    list_gtest "$name" "$log.registered" "$(normal_seconds listing_seconds "$bits")" \
        "$VELMORA_WINE" "build/win$bits/velmora_soak.exe"
    record_expected "$name" "$log.registered"
    soak_half() {  # NUMBER FILTER [run_apart]
        limited "$name" "$log-$1.xml" "$normal" "$log-$1.log" \
            bash -c 'source scripts/wine-env.sh && use_wine_bits "$0" && "$@"' \
            "$bits" ${3:-} "$VELMORA_WINE" "build/win$bits/velmora_soak.exe" \
            --gtest_filter="$2" --gtest_output="xml:$log-$1.xml"
        record_run "$name" "$?" "$log-$1.xml"
    }
    soak_half 1 "$soak_first_half" run_apart &
    first=$!
    soak_half 2 "-$soak_first_half"
    wait "$first"
    [ ! -e "$log-1.log.stopped" ] || stop_prefix "$WINEPREFIX-apart"
    [ ! -e "$log-2.log.stopped" ] || stop_prefix "$WINEPREFIX"
    return 0
}
stage "soak of both builds at once: every object-creating path $VELMORA_SOAK_ROUNDS times"
both_builds soak || exit 1
for bits in 32 64; do
    echo "-- $bits-bit:"
    cat "$logs/soak$bits-1.log" "$logs/soak$bits-2.log" | grep -E 'GDI .* USER|FAILED|Failure'
done

stage end
echo "== time each stage and runner took (runners against their limits)"
cat "$logs/stages.log" "$logs/times.log"

echo "== results"
echo "32-bit Windows programs ran as: $i386_mode"
python3 scripts/test_results.py "$results"
