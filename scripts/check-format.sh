#!/bin/sh
# Fails when a C++ file that git tracks differs from what clang-format (the repository's
# .clang-format) makes of it. Fix with: scripts/check-format.sh --fix
set -eu
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "clang-format is not installed (Debian package clang-format)"; exit 1; }
files=$(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
    echo "$files" | xargs clang-format -i
    exit 0
fi
echo "$files" | xargs clang-format --dry-run --Werror
echo "All $(echo "$files" | wc -l) C++ files are formatted."
