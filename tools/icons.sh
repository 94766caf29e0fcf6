#!/usr/bin/env bash
# Redraws the window's icons from their drawings in resources/icons/svg: each at 16 pixels and, for
# screens scaled by two, at 32 pixels as name@2x.png, which Qt picks by itself. Needs rsvg-convert
# (Debian librsvg2-bin); the PNGs are committed, so the build does not.
set -euo pipefail
cd "$(dirname "$0")/../resources/icons"
for drawing in svg/*.svg; do
    name=$(basename "$drawing" .svg)
    rsvg-convert -w 16 -h 16 "$drawing" -o "$name.png"
    rsvg-convert -w 32 -h 32 "$drawing" -o "$name@2x.png"
done
