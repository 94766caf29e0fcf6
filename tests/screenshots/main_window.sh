#!/usr/bin/env bash
# Renders docs/screenshots/main_window.png: the main window after a small run, drawn offscreen by the
# GUI test binary of the ci build (build it first: cmake --build --preset ci --target vellumar_gui_tests).
set -euo pipefail
cd "$(dirname "$0")/../.."
VELLUMAR_SCREENSHOT_DIR="$PWD/docs/screenshots" QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" \
    build/ci/tests/vellumar_gui_tests --gtest_filter='FrmMain.Screenshot'
