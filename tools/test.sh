#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test; then the core tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)
cmake --preset ci >/dev/null
cmake --build --preset ci -j "$jobs"
ctest --preset ci -j "$jobs"
if [[ "${VELLUMAR_SKIP_ASAN:-0}" != 1 ]]; then
    cmake --preset asan >/dev/null
    cmake --build --preset asan -j "$jobs" --target vellumar_core_tests
    ASAN_OPTIONS=detect_leaks=1 ctest --preset asan -j "$jobs" -R '^core\.'
fi
