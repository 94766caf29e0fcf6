#!/usr/bin/env bash
# The core library knows no widgets: fails when a core source includes or names QtWidgets. The core is
# imaging/, engine/, version/ and overlay/ without its dialog; windows live in mainwindow/, shell/ and
# overlay/dialog/.
set -euo pipefail
cd "$(dirname "$0")/.."
core=$(git ls-files 'imaging/*' 'engine/*' 'overlay/*' 'version/*' | grep -E '\.(h|cpp)$' | grep -v '^overlay/dialog/' || true)
if [[ -n "$core" ]] && grep -nE 'QtWidgets|<Q(Widget|Dialog|MainWindow|Application|MessageBox|Label|PushButton|CheckBox|ComboBox)>' $core; then
    echo "The core library must not use QtWidgets (see the lines above)." >&2
    exit 1
fi
