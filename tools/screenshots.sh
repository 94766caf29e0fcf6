#!/usr/bin/env bash
# Redraws docs/screenshots: builds vellumar-screenshots with the ci preset and runs it twice, at the
# screen's own scale and at QT_SCALE_FACTOR=2 (files ending in _2x.png). It draws on the X display in
# DISPLAY when one is set (run a window manager there to see the windows as a user does), else on a
# virtual one from xvfb-run at 96 pixels per inch, else on Qt's offscreen platform. The photos are the
# MATE backgrounds (Debian mate-backgrounds) when installed.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset ci >/dev/null
cmake --build --preset ci --target vellumar-screenshots
draw() {
    if [[ -n "${DISPLAY:-}" ]]; then
        QT_QPA_PLATFORM=xcb "$@"
    elif command -v xvfb-run >/dev/null; then
        QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1600x1000x24 -dpi 96" "$@"
    else
        QT_QPA_PLATFORM=offscreen "$@"
    fi
}
draw build/ci/vellumar-screenshots docs/screenshots
QT_SCALE_FACTOR=2 draw build/ci/vellumar-screenshots docs/screenshots _2x
