#!/usr/bin/env bash
# Sets up and builds Kestrava, then builds its Debian package in build/ with CPack:
# build/kestrava_<version>_<architecture>.deb, its dependencies computed by dpkg-shlibdeps.
# Install it with:  apt install ./build/kestrava_<version>_<architecture>.deb
# Usage: scripts/package.sh [build-dir]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${1:-build}
scripts/setup.sh "$build_dir"
rm -f "$build_dir"/kestrava_*.deb
(cd "$build_dir" && cpack -G DEB)
ls -l "$build_dir"/kestrava_*.deb
