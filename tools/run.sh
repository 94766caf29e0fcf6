#!/usr/bin/env bash
# Builds the program (release) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target vellumar vellumar-batch
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    echo "No display found. Run the program under a virtual X server:"
    echo "    xvfb-run -a $PWD/build/release/vellumar"
    echo "or process a folder without a window:"
    echo "    $PWD/build/release/vellumar-batch --help"
    exit 0
fi
exec build/release/vellumar "$@"
