#!/usr/bin/env bash
# The fuzz targets' long run: builds the fuzz preset and runs every target
# for minutes (default 300 seconds each; the first argument overrides,
# further arguments pick targets). Non-zero on any finding.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
seconds=${1:-300}
[ $# -gt 0 ] && shift
exec "$here/run-targets.sh" "$seconds" "$@"
