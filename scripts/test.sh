#!/usr/bin/env bash
# Installs what the tests need (Debian packages, the browser test's npm
# packages), builds the sanitizer build (build/dev), runs
# the fuzz targets for a few seconds each (build/fuzz, clang), then every test
# under CTest.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/deps.sh test
# The browser test's driver, exactly as the lock file has it.
(cd tests/browser && npm ci --ignore-scripts --no-audit --no-fund)

cmake --preset dev
cmake --build --preset dev

./fuzz/run-short.sh "${KORAVEL_FUZZ_SECONDS:-10}"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
ctest --preset dev "$@"
