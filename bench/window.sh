#!/usr/bin/env bash
# The main window's run (offscreen), as bench/window_run.cpp starts it, in two measures:
#  - how late a 10 ms timer on the window's thread fires while the window runs over six 48-megapixel photos
#    (synthetic, bench/make_photo.cpp, half of them stored sideways): the 99th percentile and the worst case,
#    in milliseconds, medians over the rounds; against the reference of the same timer in an idle window while
#    vellumar-batch does the same work beside it, which shows what the machine's own load makes late;
#  - the window's run against vellumar-batch on 30 photos (the 16 MATE backgrounds, twice, less two) with the
#    same choices: long edge 1600, smooth, overlay, rename, metadata kept without GPS. The two alternate within
#    each round; the table shows the medians of the times and of the ratios taken within each round. The
#    window's time runs from the click on Start to its end; vellumar-batch's is the whole process.
# The outputs of both must be the same files, byte for byte.
# Usage: bash bench/window.sh [ROUNDS]   (default 5). BENCH_WINDOW=path measures another build's window.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
if [[ ! -d /usr/share/backgrounds/mate ]]; then
    echo "bench/window.sh: the MATE backgrounds are missing (Debian package mate-backgrounds)" >&2
    exit 1
fi
cmake --preset release >/dev/null
cmake --build --preset release --target vellumar-batch vellumar-make-photo vellumar-bench-window >/dev/null
batch=$PWD/build/release/vellumar-batch
window=${BENCH_WINDOW:-$PWD/build/release/vellumar-bench-window}
make_photo=$PWD/build/release/vellumar-make-photo
export QT_QPA_PLATFORM=offscreen

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/large" "$work/photos"
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR=$work/runtime
for i in 1 2 3 4 5 6; do
    "$make_photo" "$work/large/photo$i.jpg" 8000 6000 $((i % 2 ? 1 : 6))
done
i=0
for round in 1 2; do
    for photo in $(find /usr/share/backgrounds -name '*.jpg' | sort); do
        ((i < 30)) || break
        i=$((i + 1))
        cp "$photo" "$work/photos/$(printf 'holiday_%02d' $i).jpg"
    done
done

fresh() { rm -rf "$work/out" && mkdir -p "$work/out"; }

choices=(--long-edge 1600 --filter smooth --overlay --rename --metadata keep-no-gps)
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

# The reference: the window idle while vellumar-batch does the same work beside it (the machine's own lateness).
echo "Lateness of a 10 ms timer on the window's thread, six 48-megapixel photos, $rounds rounds (ms):"
declare -A p99s worsts
for ((r = 0; r < rounds; r++)); do
    for side in reference window; do
        fresh
        if [[ $side == reference ]]; then
            line=$("$window" --beside "$batch" --quiet "${choices[@]}" "$work/large" "$work/out")
        else
            line=$("$window" "$work/large" "$work/out")
        fi
        read -r _ _ _ _ _ _ _ p99 _ worst _ <<<"$line"
        p99s[$side]+="$p99 "
        worsts[$side]+="$worst "
    done
done
for side in reference window; do
    # shellcheck disable=SC2086
    printf '  %-9s p99 %6.1f  worst %6.1f   (per round p99: %s; worst: %s)\n' "$side" \
        "$(median ${p99s[$side]})" "$(median ${worsts[$side]})" "${p99s[$side]% }" "${worsts[$side]% }"
done

echo "The window's run against vellumar-batch, 30 photos, $rounds rounds:"
windows=()
batches=()
ratios=()
for ((r = 0; r < rounds; r++)); do
    fresh
    read -r _ w _ < <("$window" "$work/photos" "$work/out")
    mv "$work/out" "$work/window-out"
    fresh
    start=$EPOCHREALTIME
    "$batch" --quiet "${choices[@]}" "$work/photos" "$work/out"
    b=$(awk -v s="$start" -v e="$EPOCHREALTIME" 'BEGIN { printf "%.3f", e - s }')
    if ! diff -r "$work/window-out" "$work/out" >/dev/null; then
        echo "bench/window.sh: the window's files differ from vellumar-batch's" >&2
        exit 1
    fi
    rm -rf "$work/window-out"
    windows+=("$w")
    batches+=("$b")
    ratios+=("$(awk -v w="$w" -v b="$b" 'BEGIN { printf "%.3f", w / b }')")
done
printf '  window %.2f s, vellumar-batch %.2f s, ratio %.2fx (per round: %s)\n' \
    "$(median "${windows[@]}")" "$(median "${batches[@]}")" "$(median "${ratios[@]}")" "${ratios[*]}"
