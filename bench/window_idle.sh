#!/usr/bin/env bash
# The window connected to the simulated unit, left alone: CPU used over a
# period (percent of one core) and the peak resident memory.
#
#   bench/window_idle.sh BIN_DIR [SECONDS]      prints: idle_cpu_percent=.. peak_rss_mb=..
set -euo pipefail
bin=${1:?usage: window_idle.sh BIN_DIR [SECONDS]}
secs=${2:-60}

dir=$(mktemp -d /tmp/koravel-idle-XXXXXX)
export KORAVEL_CONFIG_DIR=$dir
export QT_QPA_PLATFORM=offscreen
printf '[General]\nSerialport=1\n' >"$dir/koravel.ini"

"$bin/kv100-sim" --port 1 --frequency 14200 >"$dir/sim.log" 2>&1 &
sim=$!
trap 'kill $app $sim 2>/dev/null; wait 2>/dev/null; rm -rf "$dir"' EXIT
for _ in $(seq 100); do grep -q " is " "$dir/sim.log" && break; sleep 0.05; done

"$bin/koravel" >"$dir/app.log" 2>&1 &
app=$!
sleep 3 # start-up and the first status replies

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
t0=$(ticks $app)
s0=$(date +%s.%N)
sleep "$secs"
t1=$(ticks $app)
s1=$(date +%s.%N)
rss_kb=$(awk '/VmHWM/ {print $2}' "/proc/$app/status")
awk -v a="$t0" -v b="$t1" -v hz="$hz" -v s0="$s0" -v s1="$s1" -v rss="$rss_kb" 'BEGIN {
  printf "idle_cpu_percent=%.2f peak_rss_mb=%.1f\n", 100 * (b - a) / hz / (s1 - s0), rss / 1024 }'
