#!/usr/bin/env bash
# The fuzz targets' short run for the test command: builds the fuzz preset and
# runs every target for a few seconds (default 10 each; the first argument
# overrides, further arguments pick targets). Non-zero on any finding.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
seconds=${1:-10}
[ $# -gt 0 ] && shift
exec "$here/run-targets.sh" "$seconds" "$@"
