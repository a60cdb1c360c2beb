#!/usr/bin/env bash
# Installs the Debian packages Kestrava needs (when run as root), then configures and builds.
# Usage: scripts/setup.sh [build-dir]                (default: build)
#        scripts/setup.sh --sanitize [build-dir]     (default: build-asan) the sanitizer build:
#            clang, AddressSanitizer and UndefinedBehaviorSanitizer, and the libFuzzer targets
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  cmake g++ make clang-format
  qt6-base-dev qt6-serialport-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins libqt6sql6-sqlite
  fonts-liberation2 fonts-urw-base35 fontconfig libfontconfig-dev
  xvfb xauth
  libcups2-dev cups-daemon cups-client cups-filters cups-filters-core-drivers poppler-utils
  postgresql-15 libqt6sql6-psql
  dpkg-dev file lintian desktop-file-utils
  clang-14 libclang-rt-14-dev llvm-14
)

missing=()
for package in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$package")
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "These Debian packages are missing. Install them as root, then run this again:"
    echo "  sudo apt-get install -y --no-install-recommends ${missing[*]}"
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

if [ "${1:-}" = "--sanitize" ]; then
  build_dir=${2:-build-asan}
  # -O1 with assertions on: fast enough for the whole suite, and exact stack traces.
  CC=clang-14 CXX=clang++-14 cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g" -DKESTRAVA_WERROR=ON \
    -DKESTRAVA_SANITIZE=ON -DKESTRAVA_FUZZ=ON >/dev/null
else
  build_dir=${1:-build}
  cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRAVA_WERROR=ON >/dev/null
fi
cmake --build "$build_dir" -j "$(nproc)"
