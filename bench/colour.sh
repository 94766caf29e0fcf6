#!/usr/bin/env bash
# Colour benchmark. Distances: CMYK, YCCK, Adobe RGB and Display P3 versions of MATE background photos are
# reduced to 50 % by vellumar-batch (the RGB ones with --to-srgb) and compared with ImageMagick's colour-managed
# conversion of the full-size source (`convert SRC -profile sRGB.icc`, Little CMS underneath), sampled where
# the exact reduction samples: the mean absolute difference in levels per sample. Cost: the 16 MATE photos,
# given an Adobe RGB profile, reduced to 50 % with and without --to-srgb, one thread, alternating, medians of
# the processor times and of their ratio within each round.
# Usage: bash bench/colour.sh [ROUNDS]   (default 7; at least 5).
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-7}
# The distance is measured at this quality (BENCH_COLOUR_QUALITY=100 shows the conversion with little encoding noise).
quality=${BENCH_COLOUR_QUALITY:-90}
if ((rounds < 5)); then
    echo "bench/colour.sh: at least 5 rounds, for medians that mean something" >&2
    exit 2
fi
for p in mate-backgrounds imagemagick libgs-common libimage-exiftool-perl time; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || {
        echo "bench/colour.sh: missing package $p (bash tools/deps.sh $p as root)" >&2
        exit 1
    }
done
cmake --preset release >/dev/null
cmake --build --preset release --target vellumar-batch vellumar-bench-colour >/dev/null
batch=$PWD/build/release/vellumar-batch
tool=$PWD/build/release/vellumar-bench-colour
convert=/usr/bin/convert
icc=/usr/share/color/icc/ghostscript
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$tool" p3-profile "$work/p3.icc"
# The reference's target is the sRGB profile the program writes (Little CMS's own).
"$tool" srgb-profile "$work/srgb.icc"
mapfile -t photos < <(find /usr/share/backgrounds -name '*.jpg' | sort)
# Four different pictures (the corpus holds some at several sizes).
samples=("${photos[0]}" "${photos[4]}" "${photos[8]}" "${photos[12]}")
kinds=(srgb cmyk ycck adobe p3)
for kind in "${kinds[@]}"; do mkdir -p "$work/$kind" "$work/out-$kind" "$work/plain-$kind"; done
for f in "${samples[@]}"; do
    n=${f##*/}
    cp "$f" "$work/srgb/$n"
    "$convert" "$f" -profile "$icc/srgb.icc" -profile "$icc/default_cmyk.icc" -quality 95 "$work/cmyk/$n"
    "$tool" ycck "$work/cmyk/$n" "$work/ycck/$n"
    "$convert" "$f" -profile "$icc/srgb.icc" -profile "$icc/a98.icc" -quality 95 "$work/adobe/$n"
    "$convert" "$f" -profile "$icc/srgb.icc" -profile "$work/p3.icc" -quality 95 "$work/p3/$n"
done
# Per sample, and of the 8 x 8 block means; the mean over the photos, and the largest.
distance() {
    local kind=$1 out=$2
    for f in "$work/$kind"/*.jpg; do
        "$convert" "$f" -profile "$work/srgb.icc" -strip -type TrueColor -depth 8 "ppm:$work/ref.ppm"
        "$tool" distance "$work/ref.ppm" "$out/${f##*/}"
    done | awk '{ s += $1; b += $2; if ($1 > m) m = $1; if ($2 > mb) mb = $2 }
        END { printf "%.2f (largest %.2f) | %.2f (largest %.2f)", s / NR, m, b / NR, mb }'
}
echo "Distance to \`convert SRC -profile sRGB.icc\` (Little CMS's sRGB), levels, of vellumar-batch --resize 50"
echo "--quality $quality [--to-srgb], over ${#samples[@]} MATE photos: per sample, and of the 8 x 8 block means (the"
echo "encoding's noise averages out of these, a colour shift does not). The sRGB row is the same photos as"
echo "shipped, with no colour work: the floor that re-encoding alone gives."
echo
echo '| source | per sample | block means |'
echo '|---|---:|---:|'
for kind in "${kinds[@]}"; do
    case $kind in
    srgb) label='sRGB as shipped (the floor)' ;;
    cmyk) label='CMYK, default_cmyk.icc' ;;
    ycck) label='YCCK, default_cmyk.icc' ;;
    adobe) label='Adobe RGB, --to-srgb' ;;
    p3) label='Display P3, --to-srgb' ;;
    esac
    "$batch" --jobs 1 --quiet --resize 50 --quality "$quality" --to-srgb "$work/$kind" "$work/out-$kind" >/dev/null
    printf '| %s | %s |\n' "$label" "$(distance "$kind" "$work/out-$kind")"
    if [[ $kind == adobe || $kind == p3 ]]; then
        "$batch" --jobs 1 --quiet --resize 50 --quality "$quality" "$work/$kind" "$work/plain-$kind" >/dev/null
        printf '| %s | %s |\n' "${label%, --to-srgb} kept, read as sRGB (a service that drops the profile)" \
            "$(distance "$kind" "$work/plain-$kind")"
    fi
done

# The cost: the whole corpus with an Adobe RGB profile, so that every photo is converted.
mkdir -p "$work/corpus"
cp "${photos[@]}" "$work/corpus/"
exiftool -q -overwrite_original "-ICC_Profile<=$icc/a98.icc" "$work/corpus"/*.jpg
run() {
    rm -rf "$work/o"
    mkdir -p "$work/o"
    /usr/bin/time -f '%U %S' -o "$work/t" "$batch" --jobs 1 --quiet --resize 50 --quality 90 "$@" "$work/corpus" "$work/o" >/dev/null
    awk '{ printf "%.3f\n", $1 + $2 }' "$work/t"
}
: >"$work/plain.cpu"
: >"$work/srgb.cpu"
for ((round = 0; round < rounds; ++round)); do
    if ((round % 2)); then
        run --to-srgb >>"$work/srgb.cpu"
        run >>"$work/plain.cpu"
    else
        run >>"$work/plain.cpu"
        run --to-srgb >>"$work/srgb.cpu"
    fi
done
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
echo
echo "Cost of --to-srgb: ${#photos[@]} MATE photos with an Adobe RGB profile, --resize 50 --quality 90 --jobs 1,"
echo "processor seconds (user + system), medians of $rounds rounds:"
echo
echo '| run | CPU seconds |'
echo '|---|---:|'
printf '| without --to-srgb | %s |\n' "$(median <"$work/plain.cpu")"
printf '| with --to-srgb | %s |\n' "$(median <"$work/srgb.cpu")"
printf '| ratio (median of the ratios within each round) | %s × |\n' \
    "$(paste "$work/srgb.cpu" "$work/plain.cpu" | awk '{ print $1 / $2 }' | median | awk '{ printf "%.3f", $1 }')"
