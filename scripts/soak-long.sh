#!/usr/bin/env bash
# Runs the fault soak of the window for longer than the test suite does:
# the sanitizer build (build/dev), then the soak test with
# KORAVEL_SOAK_SECONDS of faults (default 600), and the unplugging tests.
#
#   scripts/soak-long.sh [seconds] [seed]
#
# A seed repeats the random choices of a run (KORAVEL_SOAK_SEED); the unit's
# timing still varies from run to run.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-${KORAVEL_SOAK_SECONDS:-600}}
seed=${2:-${KORAVEL_SOAK_SEED:-$RANDOM}}

cmake --preset dev
cmake --build --preset dev --target ui_tests

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
export KORAVEL_SOAK_SECONDS=$seconds
export KORAVEL_SOAK_SEED=$seed

echo "soak: ${seconds} s of faults, seed ${seed}"
binary=$(find build/dev -name ui_tests -type f -perm -u+x | head -n 1)
"$binary" --gtest_filter='SoakTest.*:NestedWaitTest.*:Unplugging/*'
