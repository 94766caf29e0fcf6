#!/usr/bin/env bash
# The core library knows no widgets: fails when a core source includes or names QtWidgets.
set -euo pipefail
cd "$(dirname "$0")/.."
core=$(git ls-files 'imaging/*' 'engine/*' 'overlay/*' 'shell/*' | grep -E '\.(h|cpp)$' | grep -vE '/(frm_[a-z_]+|main|folder_dialog[a-z_]*|run_guarded)\.(h|cpp)$' || true)
if [[ -n "$core" ]] && grep -nE 'QtWidgets|<Q(Widget|Dialog|MainWindow|Application|MessageBox)>' $core; then
    echo "The core library must not use QtWidgets (see the lines above)." >&2
    exit 1
fi
