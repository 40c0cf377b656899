#!/usr/bin/env bash
# Builds the fuzz preset and runs fuzz targets one after another, each for a
# bounded time, on a scratch copy of its committed seed corpus (the corpus in
# the tree is never written). Called by run-short.sh and run-long.sh.
#
#   fuzz/run-targets.sh SECONDS [TARGET...]     (default: every target)
#
# Exits non-zero when a target crashes, leaks, times out, runs out of memory
# or breaks one of its properties, and prints the input that did it and the
# command that replays it. The scratch folder is removed when all passed.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
seconds=${1:?seconds per target}
shift
all_targets=(frame_receiver exchange status_reply ini integer layout setup_codec sim_unit)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all_targets[@]}")

if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ not found; install it with scripts/deps.sh test" >&2
  exit 2
fi

echo "fuzz: building the fuzz preset (build/fuzz)"
(cd "$root" && cmake --preset fuzz >/dev/null && cmake --build --preset fuzz)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/koravel-fuzz.XXXXXX")
failed=()
printf '%-16s %8s %10s %8s  %s\n' target seconds execs exec/s result > "$scratch/summary"
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
  echo "fuzz: $t for ${seconds}s"
  set +e
  "$bin" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=5 -print_final_stats=1 \
    -artifact_prefix="$scratch/artifacts/$t/" "$scratch/corpus/$t" >"$log" 2>&1
  rc=$?
  set -e
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  if [ $rc -eq 0 ]; then
    result=ok
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
  printf '%-16s %8s %10s %8s  %s\n' "$t" "$seconds" "${execs:-?}" "${rate:-?}" "$result" >> "$scratch/summary"
done

cat "$scratch/summary"
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: failed: ${failed[*]}; logs, corpora and reproducers are kept in $scratch" >&2
  exit 1
fi
rm -rf "$scratch"
