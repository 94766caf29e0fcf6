#!/usr/bin/env bash
# The layers: the core (imaging/, engine/, version/ and overlay/ without its dialog) knows no widgets;
# widgets/ holds the helpers the windows share; the windows live in mainwindow/ and overlay/dialog/; the
# programs (app/, cli/) sit on top. Fails when a core source includes or names QtWidgets, or when an
# include runs back up the layers.
set -euo pipefail
cd "$(dirname "$0")/.."
sources() { git ls-files "$@" | grep -E '\.(h|cpp)$' || true; }
core=$(sources 'imaging/*' 'engine/*' 'overlay/*' 'version/*' | grep -v '^overlay/dialog/' || true)
if [[ -n "$core" ]] && grep -nE 'QtWidgets|<Q(Widget|Dialog|MainWindow|Application|MessageBox|Label|PushButton|CheckBox|ComboBox)>' $core; then
    echo "The core library must not use QtWidgets (see the lines above)." >&2
    exit 1
fi
# Each layer and the folders above it, which it must not include.
check_layer() {
    local files=$1 above=$2
    if [[ -n "$files" ]] && grep -nE "#include \"($above)/" $files; then
        echo "An include runs back up the layers (see the lines above)." >&2
        exit 1
    fi
}
check_layer "$core" 'widgets|mainwindow|overlay/dialog|app|cli'
check_layer "$(sources 'widgets/*')" 'mainwindow|overlay/dialog|app|cli'
check_layer "$(sources 'mainwindow/*' 'overlay/dialog/*')" 'app|cli'
