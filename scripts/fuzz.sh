#!/usr/bin/env bash
# The long fuzzing campaign of the configuration loader: VELMORA_FUZZ_RUNS
# inputs (50 million unless set; at least 10 million for a campaign that
# counts), starting from the corpus kept in tests/fuzz/corpus. It stops at
# the first broken property or sanitizer report, with the input that caused
# it, and otherwise merges every input that found new coverage into that
# corpus, which the test command replays before its own short run. Prints
# the runs, the time and the corpus's size before and after.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/steps.sh

bash scripts/setup.sh
run_step bash scripts/build.sh --fuzz
fuzzer=build/fuzz/tests/fuzz/config_fuzzer
corpus=tests/fuzz/corpus
runs=${VELMORA_FUZZ_RUNS:-50000000}
campaign=build/fuzz/campaign
rm -rf "$campaign"
mkdir -p "$campaign"
log=build/fuzz/campaign.log
before=$(ls "$corpus" | wc -l)

start=$SECONDS
if ! "$fuzzer" -runs="$runs" -timeout=5 -print_final_stats=1 \
        -artifact_prefix=build/fuzz/ "$campaign" "$corpus" >"$log" 2>&1; then
    report_failure 1 "$log" "$fuzzer" -runs="$runs" "$campaign" "$corpus"
    exit 1
fi
seconds=$(( SECONDS - start ))
run_step "$fuzzer" -merge=1 "$corpus" "$campaign"

executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1)
echo "fuzzing: $executed runs in $seconds s, no property broken ($coverage)"
echo "corpus $corpus: $before inputs before, $(ls "$corpus" | wc -l) after"
