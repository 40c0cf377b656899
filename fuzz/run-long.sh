#!/usr/bin/env bash
# The fuzz targets' long run: builds the fuzz preset and runs every target
# for minutes (default 300 seconds each), or for a number of inputs each.
# Non-zero on any finding.
#
#   fuzz/run-long.sh [--runs N] [--out DIR] [SECONDS] [TARGET...]
#
# --runs N: N inputs per target instead of a time (10000000 for the ten
# million the project runs before a release); --out DIR keeps the logs,
# corpora and summary there (see run-targets.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
opts=()
while [ $# -gt 0 ]; do
  case "$1" in
    --runs | --out) opts+=("$1" "${2:?$1 needs a value}"); shift 2 ;;
    *) break ;;
  esac
done
seconds=300
if [ $# -gt 0 ] && [[ "$1" =~ ^[0-9]+$ ]]; then
  seconds=$1
  shift
fi
exec "$here/run-targets.sh" "${opts[@]}" "$seconds" "$@"
