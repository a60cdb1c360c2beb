#!/usr/bin/env bash
# Sets up and builds Kestrava, prints the drawing benchmarks, then runs every test under CTest
# (headless; the printing tests start a private CUPS server of their own). Then the same tests
# again in the sanitizer build (build-asan: clang, AddressSanitizer, UndefinedBehaviorSanitizer,
# LeakSanitizer), with each fuzz target run over its corpus and fuzzing for a few seconds.
set -euo pipefail
cd "$(dirname "$0")/.."

phase() {
  local started=$SECONDS
  "$@"
  timings+=("$(printf '%-18s %4d s' "$label" $((SECONDS - started)))")
}
timings=()

label="normal build" phase scripts/setup.sh build

if [ -x build/bench/kestrava-bench ]; then
  QT_QPA_PLATFORM=offscreen build/bench/kestrava-bench
fi

label="tests" phase ctest --test-dir build --output-on-failure --timeout 600 -j "$(nproc)"

label="sanitizer build" phase scripts/setup.sh --sanitize build-asan
label="sanitizer tests" phase ctest --test-dir build-asan --output-on-failure --timeout 600 \
  -j "$(nproc)" -LE fuzz
label="fuzzing" phase ctest --test-dir build-asan --output-on-failure --timeout 600 \
  -j "$(nproc)" -L fuzz

printf '%s\n' "${timings[@]}"
