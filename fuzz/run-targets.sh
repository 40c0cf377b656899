#!/usr/bin/env bash
# Builds the fuzz preset and runs fuzz targets one after another, each for a
# bounded time or number of inputs, on a scratch copy of its committed seed
# corpus (the corpus in the tree is never written). Called by run-short.sh
# and run-long.sh.
#
#   fuzz/run-targets.sh [--runs N] [--out DIR] SECONDS [TARGET...]
#
#   SECONDS      time per target (ignored with --runs)
#   --runs N     run each target for N inputs instead of a time
#   --out DIR    keep logs, corpora, reproducers and the summary in DIR
#                (default: a scratch folder, removed when all passed)
#   TARGET       default: every target
#
# Before a target is fuzzed, the inputs in fuzz/regressions/<target>/ are
# replayed once each, under the same limits: inputs that once found a fault
# (in the program or in the target itself), kept out of the seed corpus so
# that their size or slowness does not set the pace of every run.
#
# Exits non-zero when a target crashes, leaks, times out, runs out of memory
# or breaks one of its properties, and prints the input that did it and the
# command that replays it. The summary gives each target's inputs, seconds,
# inputs per second, coverage (libFuzzer's cov and ft at the end) and
# findings.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
runs=""
out=""
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=${2:?--runs needs a number}; shift 2 ;;
    --out) out=${2:?--out needs a folder}; shift 2 ;;
    *) break ;;
  esac
done
seconds=${1:?seconds per target}
shift
all_targets=(frame_receiver exchange status_reply ini integer layout setup_codec setup_transfer
  sim_unit http_request unit_clients radio_info wsjtx_message)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all_targets[@]}")

# Inputs are kept to what exercises every path: a set-up file's 68 sections
# are the same few layouts over and over, and a kilobyte holds several of
# them (the seeds include the full files cut into such pieces).
max_len_of() {
  case "$1" in
    ini | setup_codec | setup_transfer) echo 1024 ;;
    *) echo 0 ;;
  esac
}

if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ not found; install it with scripts/deps.sh test" >&2
  exit 2
fi

echo "fuzz: building the fuzz preset (build/fuzz)"
(cd "$root" && cmake --preset fuzz >/dev/null && cmake --build --preset fuzz)

if [ -n "$out" ]; then
  mkdir -p "$out"
  scratch=$(cd "$out" && pwd)
else
  scratch=$(mktemp -d "${TMPDIR:-/tmp}/koravel-fuzz.XXXXXX")
fi
failed=()
# summary_row TARGET INPUTS SECONDS RATE COV FT RESULT: a line of the summary.
summary_row() { printf '%-16s %10s %8s %8s %7s %7s  %s\n' "$@" >>"$scratch/summary"; }
# The limits every run of a target is held to.
limits=(-rss_limit_mb=2048 -timeout=5)
: >"$scratch/summary"
summary_row target inputs seconds exec/s cov ft result
for t in "${targets[@]}"; do
  bin="$root/build/fuzz/bin/fuzz_$t"
  if [ ! -x "$bin" ]; then
    echo "fuzz: no target '$t' (known: ${all_targets[*]})" >&2
    exit 2
  fi
  mkdir -p "$scratch/corpus/$t" "$scratch/artifacts/$t"
  if [ -d "$here/corpus/$t" ]; then
    cp -R "$here/corpus/$t/." "$scratch/corpus/$t/"
  fi
  log="$scratch/$t.log"
  regressions=("$here/regressions/$t"/*)
  if [ -e "${regressions[0]}" ]; then
    echo "fuzz: $t: replaying ${#regressions[@]} regression input(s)"
    if ! "$bin" "${limits[@]}" "${regressions[@]}" >"$scratch/$t.regressions.log" 2>&1; then
      failed+=("$t")
      echo "---- fuzz_$t failed on a regression input; the end of its log:" >&2
      tail -n 40 "$scratch/$t.regressions.log" >&2
      summary_row "$t" - - - - - "FAILED (regression input)"
      continue
    fi
  fi
  bound=(-max_total_time="$seconds")
  [ -n "$runs" ] && bound=(-runs="$runs")
  max_len=$(max_len_of "$t")
  [ "$max_len" != 0 ] && bound+=(-max_len="$max_len")
  echo "fuzz: $t (${bound[*]})"
  set +e
  started=$(date +%s)
  "$bin" "${bound[@]}" "${limits[@]}" -print_final_stats=1 \
    -artifact_prefix="$scratch/artifacts/$t/" "$scratch/corpus/$t" >"$log" 2>&1
  rc=$?
  took=$(($(date +%s) - started))
  set -e
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  last=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
  cov=$(echo "$last" | sed -n 's/.* cov: \([0-9]*\).*/\1/p')
  ft=$(echo "$last" | sed -n 's/.* ft: \([0-9]*\).*/\1/p')
  if [ $rc -eq 0 ]; then
    result="ok, no findings"
  else
    result="FAILED (exit $rc)"
    failed+=("$t")
    echo "---- fuzz_$t failed; the end of its log ($log):" >&2
    tail -n 40 "$log" >&2
    for input in "$scratch/artifacts/$t"/*; do
      [ -e "$input" ] || continue
      echo "reproducer: $input" >&2
      echo "replay with: $bin $input" >&2
    done
  fi
  summary_row "$t" "${execs:-?}" "$took" "${rate:-?}" "${cov:-?}" "${ft:-?}" "$result"
done

cat "$scratch/summary"
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: failed: ${failed[*]}; logs, corpora and reproducers are kept in $scratch" >&2
  exit 1
fi
[ -n "$out" ] || rm -rf "$scratch"
