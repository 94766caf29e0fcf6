#!/bin/sh
# Saves a picture of the overlay dialog with a sample picture as docs/screenshots/overlay_dialog.png.
# Builds nothing: give the GUI test binary, e.g. build/ci/tests/vellumar_gui_tests.
set -eu
if [ $# -ne 1 ]; then
    echo "usage: $0 path/to/vellumar_gui_tests" >&2
    exit 2
fi
root=$(cd "$(dirname "$0")/../.." && pwd)
out="$root/docs/screenshots"
mkdir -p "$out"
VELLUMAR_SCREENSHOT_DIR="$out" QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$1" --gtest_filter=FrmOverlayDlg.Screenshot
echo "written: $out/overlay_dialog.png"
