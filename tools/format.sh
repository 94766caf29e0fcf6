#!/usr/bin/env bash
# Checks the formatting of the tracked sources; with -i it fixes them.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [[ "${1:-}" == "-i" ]]; then
    clang-format -i "${files[@]}"
else
    clang-format --dry-run --Werror "${files[@]}"
fi
