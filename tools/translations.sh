#!/usr/bin/env bash
# Brings resources/translations/*.ts up to date with the windows' sources and layouts (new messages are
# added unfinished, vanished ones dropped); then translate them, e.g. in Qt Linguist, and commit the .ts.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset ci >/dev/null
cmake --build --preset ci --target update_translations
