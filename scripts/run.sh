#!/usr/bin/env bash
# Sets up and builds Kestrava, starts the simulated instrument and opens the program connected to
# it, in the working folder run/ (the configuration and export files are written there).
# Without a display it runs the same under Xvfb for a few seconds and saves a screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

scripts/setup.sh build

workdir="$top/run"
ports="$workdir/ports"
mkdir -p "$ports"

# The simulator stands behind the port the configuration names (port 1 without a file).
port=1
if [ -f "$workdir/twdaq.cfg" ]; then
  line=$(sed -n '2p' "$workdir/twdaq.cfg" | tr -d ' \r')
  [[ "$line" =~ ^[0-9]+$ ]] && [ "$line" -ge 1 ] && [ "$line" -le 255 ] && port=$line
fi

# A plausible rig: about 700 KPa in both vessels, a bath of about 105 °C. Commands written to
# run/sim-commands reach the simulator (see kestrava-sim --help); its answers go to the log.
sim_log="$workdir/simulator.log"
commands="$workdir/sim-commands"
[ -p "$commands" ] || { rm -f "$commands"; mkfifo "$commands"; }
exec 3<>"$commands"
"$top/build/tools/sim/kestrava-sim" --link "$ports/COM$port" --temp 1050 --p1 7000 --p2 7010 \
  <&3 >"$sim_log" 2>&1 &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  [ -e "$ports/COM$port" ] && break
  sleep 0.1
done
[ -e "$ports/COM$port" ] || { echo "The simulator did not start; see $sim_log"; exit 1; }

export KESTRAVA_PORT_DIR="$ports"
cd "$workdir"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  "$top/build/src/kestrava"
else
  shot="$workdir/screenshot.png"
  echo "No display: running under Xvfb for a few seconds; the screenshot goes to $shot"
  xvfb-run -a -s "-screen 0 1280x800x24" \
    "$top/scripts/xvfb-session.sh" "$top/build/src/kestrava" "$top/build/tools/shot/kestrava-shot" "$shot"
  echo "Screenshot: $shot"
fi
