#!/usr/bin/env bash
# How soon the preview shows a 24-megapixel photo (bench/preview_bench.cpp): the MATE background
# Elephants_5640x3172.jpg enlarged by ImageMagick to 6000 x 4000 and stored at quality 92, as a camera would.
# Usage: bash bench/preview.sh [ROUNDS]   (default 7)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-7}
elephants=/usr/share/backgrounds/mate/abstract/Elephants_5640x3172.jpg
if [[ ! -f $elephants ]]; then
    echo "bench/preview.sh: $elephants is missing (Debian package mate-backgrounds)" >&2
    exit 1
fi
cmake --preset release >/dev/null
cmake --build --preset release --target vellumar-bench-preview >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert "$elephants" -resize '6000x4000!' -quality 92 "$work/photo.jpg"
build/release/vellumar-bench-preview "$work/photo.jpg" "$rounds"
