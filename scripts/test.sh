#!/usr/bin/env bash
# Sets up and builds Kestrava, prints the drawing benchmarks, then runs every test under CTest
# (headless; the printing tests start a private CUPS server of their own).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh build

if [ -x build/bench/kestrava-bench ]; then
  QT_QPA_PLATFORM=offscreen build/bench/kestrava-bench
fi

cd build
ctest --output-on-failure --timeout 600 -j "$(nproc)"
