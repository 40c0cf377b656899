#!/usr/bin/env bash
# Installs what the program needs, builds the release build (build/bin), starts
# the simulated control unit as COM1 in a run folder of its own (run/), and
# opens the window on it. Without a display the window runs under Xvfb, a
# screenshot is saved once the first status replies came, and the program
# ends after a short demonstration.
#
#   ./scripts/run.sh [kv100-sim options...]     e.g. --firmware 1.12 --drop 0.1
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

./scripts/deps.sh run

cmake --preset release >/dev/null
cmake --build --preset release

rundir=$root/run
mkdir -p "$rundir"
export KORAVEL_CONFIG_DIR=$rundir

sim_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT INT TERM

"$root/build/bin/kv100-sim" --port 1 --trace "$rundir/sim-trace.txt" \
  --eeprom "$rundir/eeprom.txt" "$@" >"$rundir/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do
  grep -q "is " "$rundir/sim.log" 2>/dev/null && break
  kill -0 "$sim_pid" 2>/dev/null || { cat "$rundir/sim.log" >&2; exit 1; }
  sleep 0.05
done
cat "$rundir/sim.log"

# The settings file points the window at the simulator's COM1.
if [ ! -f "$rundir/koravel.ini" ]; then
  printf '[General]\nSerialport=1\n' >"$rundir/koravel.ini"
fi

if [ ! -x "$root/build/bin/koravel" ]; then
  echo "The window is not built; streaming the unit's status instead (Ctrl-C ends)."
  "$root/build/bin/koravelctl" --port 1 watch
  exit 0
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  "$root/build/bin/koravel"
  exit 0
fi

# No display: a virtual one. After the first status replies the 20 m band
# button of the front panel is clicked, and once the elements have moved a
# screenshot is saved.
shot=$rundir/screenshot.png
xvfb-run -a -s "-screen 0 800x600x24" bash -c '
  "$1" & app=$!
  win=""
  for _ in $(seq 100); do
    win=$(xdotool search --name "KORAVEL - REMOTE CONTROL" 2>/dev/null | head -n 1) && [ -n "$win" ] && break
    sleep 0.1
  done
  sleep 2
  if [ -n "$win" ]; then
    # The 20 m button: centre of its area on the panel, below the menu bar.
    xdotool mousemove --window "$win" 226 278 click 1
  fi
  sleep 5
  import -window root "$2"
  kill $app; wait $app 2>/dev/null
' _ "$root/build/bin/koravel" "$shot"
echo "Screenshot of the window: $shot"
