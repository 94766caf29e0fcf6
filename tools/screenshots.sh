#!/usr/bin/env bash
# Redraws docs/screenshots: builds vellumar-screenshots with the ci preset and runs it, under a virtual
# X display at 96 pixels per inch when xvfb-run is there, else on Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset ci >/dev/null
cmake --build --preset ci --target vellumar-screenshots
if command -v xvfb-run >/dev/null; then
    QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" build/ci/vellumar-screenshots docs/screenshots
else
    QT_QPA_PLATFORM=offscreen build/ci/vellumar-screenshots docs/screenshots
fi
