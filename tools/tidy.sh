#!/usr/bin/env bash
# Runs clang-tidy with the project's .clang-tidy over the sources of the ci build's compile_commands.json
# (configured first when missing). Not a gate: it prints what it finds and fails only when a check does.
# Arguments narrow it to files matching a pattern, e.g. tools/tidy.sh overlay/
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh clang-tidy
build=build/ci
[[ -f "$build/compile_commands.json" ]] || cmake --preset ci >/dev/null
# The generated sources (moc, uic, rcc) must exist for the windows' files to parse.
cmake --build --preset ci -j "$(nproc)" --target vellumar_core vellumar_ui >/dev/null
mapfile -t files < <(git ls-files '*.cpp' | grep -E "${1:-.}" | grep -vE '^(tests/fuzz|bench)/')
run-clang-tidy -quiet -p "$build" -j "$(nproc)" "${files[@]/#/$PWD/}"
