#!/usr/bin/env bash
# Peak memory of vellumar-batch on camera-sized photos, against the libjpeg reference (bench/libjpeg_reference.cpp)
# doing the same work on the same photo in the same run:
#  - one 100-megapixel photo (11648 x 8736, as a 100 MP camera makes), stored upright and stored sideways
#    (EXIF Orientation 6, turned upright on the way), in each mode;
#  - eight 48-megapixel photos (8000 x 6000) with --jobs 1 and --jobs 4, with the default memory budget and
#    with --memory 450, whose files and logs must match --jobs 1 byte for byte.
# The photos are synthetic (bench/make_photo.cpp). Usage: bash bench/memory.sh   (as root it installs GNU time)
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh time
cmake --preset release >/dev/null
cmake --build --preset release --target vellumar-batch vellumar-make-photo vellumar-libjpeg-reference >/dev/null
batch=$PWD/build/release/vellumar-batch
reference=$PWD/build/release/vellumar-libjpeg-reference
make_photo=$PWD/build/release/vellumar-make-photo

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/upright" "$work/sideways" "$work/48mp"
"$make_photo" "$work/upright/photo.jpg" 11648 8736 1
"$make_photo" "$work/sideways/photo.jpg" 11648 8736 6
for i in 1 2 3 4 5 6 7 8; do
    "$make_photo" "$work/48mp/photo$i.jpg" 8000 6000 $((i % 2 ? 1 : 6))
done

# Runs a command; prints "seconds peak_MiB".
measure() {
    local start=$EPOCHREALTIME
    /usr/bin/time -f %M -o "$work/rss" "$@" >"$work/log.full"
    # The summary line tells the run's own time; every other line must match.
    grep -v '^Summary: ' "$work/log.full" >"$work/log" || true
    local end=$EPOCHREALTIME
    awk -v s="$start" -v e="$end" -v kib="$(cat "$work/rss")" 'BEGIN { printf "%.2f %.0f\n", e - s, kib / 1024 }'
}

fresh() { rm -rf "$work/out" && mkdir -p "$work/out"; }

frame_mib=$(awk 'BEGIN { printf "%.0f", 11648 * 8736 * 3 / 1048576 }')
megabytes=$(du -m "$work/upright/photo.jpg" | cut -f1)
echo "One photo of 11648 x 8736 pixels (${megabytes} MB); its frame at 3 bytes a pixel is ${frame_mib} MiB."
echo
echo '| photo | case | seconds | peak MiB | peak ÷ libjpeg reference |'
echo '|---|---|---:|---:|---:|'
for stored in upright sideways; do
    src=$work/$stored
    fresh
    read -r ref0_s ref0_m < <(measure "$reference" "$src" "$work/out" 0)
    fresh
    read -r ref50_s ref50_m < <(measure "$reference" "$src" "$work/out" 50)
    row() {
        local label=$1 against=$2
        shift 2
        fresh
        read -r s m < <(measure "$batch" --jobs 1 "$@" "$src" "$work/out")
        printf '| %s | %s | %s | %s | %s |\n' "$stored" "$label" "$s" "$m" \
            "$(awk -v a="$m" -v b="$against" 'BEGIN { printf "%.2f ×", a / b }')"
    }
    row 'copy (rename only)' "$ref0_m" --rename
    row 'reduce 50 %' "$ref50_m" --resize 50
    row 'reduce 50 %, metadata kept' "$ref50_m" --resize 50 --metadata keep
    row 'reduce 50 % with the overlay' "$ref50_m" --resize 50 --overlay --position bottom-right
    row 'overlay at full size' "$ref0_m" --overlay --position bottom-right
    row 'overlay at full size, not turned' "$ref0_m" --overlay --position bottom-right --no-auto-orient
    printf '| %s | %s | %s | %s | – |\n' "$stored" 'libjpeg reference, full size' "$ref0_s" "$ref0_m"
    printf '| %s | %s | %s | %s | – |\n' "$stored" 'libjpeg reference, 50 %' "$ref50_s" "$ref50_m"
done

echo
echo 'Eight photos of 8000 x 6000 pixels (half of them sideways), overlay at full size:'
echo
echo '| run | seconds | peak MiB | files and log as --jobs 1 |'
echo '|---|---:|---:|---|'
jobs_row() {
    local label=$1
    shift
    fresh
    read -r s m < <(measure "$batch" "$@" --overlay --position bottom-right "$work/48mp" "$work/out")
    local same=yes
    if [[ -d $work/one ]]; then
        cmp -s "$work/log" "$work/one.log" || same="no (log)"
        for f in "$work/one"/*.jpg; do cmp -s "$f" "$work/out/${f##*/}" || same="no (${f##*/})"; done
    else
        cp -r "$work/out" "$work/one"
        cp "$work/log" "$work/one.log"
        same='–'
    fi
    printf '| %s | %s | %s | %s |\n' "$label" "$s" "$m" "$same"
}
jobs_row '--jobs 1' --jobs 1
jobs_row '--jobs 4' --jobs 4
jobs_row '--jobs 4 --memory 450' --jobs 4 --memory 450
