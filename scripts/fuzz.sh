#!/usr/bin/env bash
# Fuzzes one target for longer than the test command does, in the sanitizer build.
# Usage: scripts/fuzz.sh TARGET [MINUTES]      (default: 60 minutes)
#   TARGET: fuzz_devicelink (the serial receive path), fuzz_config (the configuration loader)
#           or fuzz_textrules (the number rules)
# New inputs collect in build-asan/tests/fuzz/work/TARGET/ and are used again by the next run;
# an input that makes the target fail is written to build-asan/tests/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."

targets="fuzz_devicelink fuzz_config fuzz_textrules"
target=${1:-}
minutes=${2:-60}
if [[ " $targets " != *" $target "* ]] || ! [[ "$minutes" =~ ^[0-9]+$ ]] || [ "$minutes" -lt 1 ]; then
  echo "Usage: scripts/fuzz.sh TARGET [MINUTES]   TARGET: ${targets// /, }" >&2
  exit 2
fi

scripts/setup.sh --sanitize build-asan >/dev/null

fuzz=build-asan/tests/fuzz
mkdir -p "$fuzz/work/$target" "$fuzz/artifacts"
# A small quarantine keeps a long run's memory flat (see tests/fuzz/CMakeLists.txt).
export ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=32
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$PWD/tests/sanitizers/lsan.supp:print_suppressions=0
echo "Fuzzing $target for $minutes minutes"
status=0
"$fuzz/$target" -max_total_time=$((minutes * 60)) -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$PWD/$fuzz/artifacts/$target-" \
  "$fuzz/work/$target" "tests/fuzz/corpus/$target" || status=$?
if [ "$status" -ne 0 ]; then
  echo
  echo "$target failed; the input is in $fuzz/artifacts/. To keep it as a regression test,"
  echo "copy it into tests/fuzz/corpus/$target/ and add the case to the unit test of that area."
fi
exit "$status"
