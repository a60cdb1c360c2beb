#!/usr/bin/env bash
# Runs inside xvfb-run: starts the program, lets it poll the instrument for a few seconds,
# saves a screenshot of the screen, then ends the program in order (configuration written).
set -euo pipefail
program=$1 shooter=$2 shot=$3
"$program" &
pid=$!
"$shooter" --delay 5000 "$shot"
kill -TERM "$pid"
wait "$pid"
