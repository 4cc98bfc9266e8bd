#!/usr/bin/env bash
# Everything from a fresh Debian machine to a full test run: installs, builds,
# runs the native unit tests, then drives the real Velmora.exe under Wine on a
# virtual display. Ends with the total count of passed and failed tests.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh || exit 1
bash scripts/build.sh || exit 1

logs=build/test-logs
mkdir -p "$logs"

echo "== native unit tests"
ctest --test-dir build/native --output-on-failure 2>&1 | tee "$logs/unit.log"
unit_status=${PIPESTATUS[0]}

echo "== end-to-end tests under Wine"
source scripts/wine-env.sh
trap stop_wine_environment EXIT
start_virtual_display || exit 1
prepare_wine_prefix
wine build/win32/velmora_e2e.exe 2>&1 | tee "$logs/e2e.log"
e2e_status=${PIPESTATUS[0]}

unit_total=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\2/p' "$logs/unit.log")
unit_failed=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of.*/\1/p' "$logs/unit.log")
e2e_passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\..*/\1/p' "$logs/e2e.log")
e2e_failed=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\?, listed below.*/\1/p' "$logs/e2e.log")
unit_total=${unit_total:-0}; unit_failed=${unit_failed:-0}
e2e_passed=${e2e_passed:-0}; e2e_failed=${e2e_failed:-0}
passed=$(( unit_total - unit_failed + e2e_passed ))
failed=$(( unit_failed + e2e_failed ))
if [ "$unit_status" -ne 0 ] || [ "$e2e_status" -ne 0 ]; then
    failed=$(( failed > 0 ? failed : 1 ))
fi
echo "unit: $(( unit_total - unit_failed )) passed, $unit_failed failed"
echo "end-to-end: $e2e_passed passed, $e2e_failed failed"
echo "total: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
