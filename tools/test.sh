#!/usr/bin/env bash
# Checks the formatting and that the core uses no widgets; builds everything with warnings as errors and
# runs every test; builds, checks, installs and removes the Debian package; then builds everything again under
# AddressSanitizer and UndefinedBehaviorSanitizer and runs every test once more: leak checks on for the
# core tests, off for the GUI and command-line tests (Qt and fontconfig keep global allocations).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
bash tools/format.sh
bash tools/check_core_widgets.sh
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)
cmake --preset ci >/dev/null
cmake --build --preset ci -j "$jobs"
ctest --preset ci -j "$jobs"
if [[ "${VELLUMAR_SKIP_PACKAGE:-0}" != 1 ]]; then
    bash tools/package_check.sh
fi
if [[ "${VELLUMAR_SKIP_ASAN:-0}" != 1 ]]; then
    cmake --preset asan >/dev/null
    cmake --build --preset asan -j "$jobs"
    export UBSAN_OPTIONS=print_stacktrace=1
    ASAN_OPTIONS=detect_leaks=1 ctest --preset asan -j "$jobs" -R '^core\.'
    ASAN_OPTIONS=detect_leaks=0 ctest --preset asan -j "$jobs" -R '^(gui|cli)\.'
fi
