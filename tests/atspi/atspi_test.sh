#!/usr/bin/env bash
# The window as a screen reader sees it, through AT-SPI: koravel under Xvfb
# with a session bus and the accessibility bus, a simulated unit on COM1, and
# press_button.py pressing "Band 20 m" by its accessibility action; 14200 kHz
# must then reach the unit. Exit 77 (skipped) when the desktop pieces are not
# installed (scripts/deps.sh test installs them).
#
# Usage: atspi_test.sh BIN_DIR
set -euo pipefail

bin=$1
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3
launcher=/usr/libexec/at-spi-bus-launcher

for tool in Xvfb dbus-launch "$python" "$launcher"; do
  if ! command -v "$tool" >/dev/null 2>&1 && [ ! -x "$tool" ]; then
    echo "atspi_test: $tool is not installed" >&2
    exit 77
  fi
done
if ! "$python" -c 'import pyatspi' 2>/dev/null; then
  echo "atspi_test: python3-pyatspi is not installed" >&2
  exit 77
fi

work=$(mktemp -d /tmp/koravel-atspi-XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  [ -n "${DBUS_SESSION_BUS_PID:-}" ] && kill "$DBUS_SESSION_BUS_PID" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A display of its own.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"

# A session bus, and the accessibility bus it starts on request.
eval "$(dbus-launch --sh-syntax)"
"$launcher" --launch-immediately >"$work/a11y.log" 2>&1 &
pids+=($!)

export KORAVEL_CONFIG_DIR=$work
"$bin/kv100-sim" --port 1 --frequency 7050 --no-pace --trace "$work/sim-trace" \
  >"$work/sim.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -L "$work/ports/com1" ] && break; sleep 0.1; done

# Qt's AT-SPI bridge, on whether or not a screen reader said it runs.
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb "$bin/koravel" --language en \
  >"$work/koravel.log" 2>&1 &
pids+=($!)

status=0
"$python" "$here/press_button.py" "Band 20 m" \
  "Band 40 m" "Band 6 m" "Down 25 kHz" "Up 25 kHz" "Beam normal" "Beam reversed 180°" \
  "Beam bidirectional" "Retract elements" || status=1

if [ $status -eq 0 ]; then
  # The press is a click: the unit is asked for 14200 kHz (78 37, low byte first).
  found=0
  for _ in $(seq 100); do
    if grep -Eq '^rx [0-9A-F]{2}037837' "$work/sim-trace"; then found=1; break; fi
    sleep 0.1
  done
  if [ $found -eq 0 ]; then
    echo "atspi_test: 14200 kHz did not reach the unit" >&2
    status=1
  fi
fi
if [ $status -ne 0 ]; then
  echo "--- koravel"; cat "$work/koravel.log"
  echo "--- sim trace (last lines)"; tail -n 5 "$work/sim-trace" 2>/dev/null || true
fi
[ $status -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $status
