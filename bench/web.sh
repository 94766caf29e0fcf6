#!/usr/bin/env bash
# Outputs for the web, over the MATE desktop's background photographs (16 JPEGs), single-threaded, all reduced
# smoothly to a long edge of 1600 pixels: a second, smaller output beside each (--variant thumbs=400) against
# the same run without it; a 150 KiB cap (--max-size) against the plain run and against ImageMagick's
# -define jpeg:extent=150kb doing the same reduction (down to quality 10, as a few of these photos need at
# 1600 pixels; ImageMagick goes as low as it must); the optimized and progressive codings against baseline.
# Every case runs once per round, the rounds rotate the order, and the table shows medians of the times and of
# the ratios taken within each round.
# Usage: bash bench/web.sh [ROUNDS]   (default 5; at least 3). As root it installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
if ((rounds < 3)); then
    echo "bench/web.sh: at least 3 rounds" >&2
    exit 2
fi
packages=(mate-backgrounds imagemagick)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    if ((EUID != 0)); then
        echo "bench/web.sh: missing packages: ${missing[*]} (run as root to install them)" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
cmake --preset release >/dev/null
cmake --build --preset release --target vellumar-batch >/dev/null
batch=$PWD/build/release/vellumar-batch
# ImageMagick's own program, not a wrapper that may stand before it on the PATH.
convert=/usr/bin/convert
cap=$((150 * 1024))

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
corpus=$work/corpus
mkdir -p "$corpus"
find /usr/share/backgrounds -name '*.jpg' -exec cp {} "$corpus/" \;
count=$(find "$corpus" -name '*.jpg' | wc -l)

common='--jobs 1 --quiet --filter smooth --long-edge 1600'
declare -A commands=(
    [plain]='"$batch" '"$common"' "$corpus" "$out"'
    [variant]='"$batch" '"$common"' --variant thumbs=400 "$corpus" "$out"'
    [cap]='"$batch" '"$common"' --max-size 150K --min-quality 10 "$corpus" "$out"'
    [optimized]='"$batch" '"$common"' --coding optimized "$corpus" "$out"'
    [progressive]='"$batch" '"$common"' --coding progressive "$corpus" "$out"'
    [convert]='for f in "$corpus"/*.jpg; do "$convert" -limit thread 1 "$f" -resize 1600x1600 -quality 90 "$out/${f##*/}"; done'
    [convertcap]='for f in "$corpus"/*.jpg; do "$convert" -limit thread 1 "$f" -resize 1600x1600 -define jpeg:extent=150kb "$out/${f##*/}"; done'
)
cases=(plain variant cap optimized progressive convert convertcap)

run_case() {
    local name=$1 out=$work/out/$1
    rm -rf "$out"
    mkdir -p "$out"
    local start=$EPOCHREALTIME
    batch=$batch convert=$convert corpus=$corpus out=$out bash -c "${commands[$name]}" >/dev/null
    local end=$EPOCHREALTIME
    echo "$start $end" | awk '{ printf "%.4f\n", $2 - $1 }' >>"$work/$name.time"
}

echo "Corpus: $count photographs; $rounds rounds; cap $cap bytes"
for ((round = 0; round < rounds; ++round)); do
    printf 'Round %d of %d\n' $((round + 1)) "$rounds" >&2
    for ((i = 0; i < ${#cases[@]}; ++i)); do
        run_case "${cases[$(((i + round) % ${#cases[@]}))]}"
    done
done

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
seconds() { median <"$work/$1.time"; }
ratio() { paste "$work/$1.time" "$work/$2.time" | awk '{ print $1 / $2 }' | median | awk '{ printf "%.2f", $1 }'; }
bytes() { find "$work/out/$1" -maxdepth 1 -name '*.jpg' -printf '%s\n' | awk '{ s += $1 } END { print s }'; }
# Over the photos whose plain output is larger than the cap: the largest capped file, and the mean as a share of the cap.
cap_sizes() {
    local largest=0 sum=0 n=0 over=0
    for f in "$work/out/plain"/*.jpg; do
        local name=${f##*/} size
        size=$(stat -c %s "$work/out/$1/$name")
        ((size > largest)) && largest=$size
        ((size > cap)) && over=$((over + 1))
        if (($(stat -c %s "$f") > cap)); then
            sum=$((sum + size))
            n=$((n + 1))
        fi
    done
    awk -v l=$largest -v s=$sum -v n=$n -v c=$cap -v o=$over \
        'BEGIN { printf "largest %d bytes, %d over the cap; over the %d photos above the cap before, mean %.1f %% of the cap", l, o, n, n ? 100 * s / n / c : 0 }'
}

echo
echo "| case | seconds | ratio | total bytes | bytes against baseline |"
echo "|---|---|---|---|---|"
base=$(bytes plain)
printf '| long edge 1600, smooth (baseline) | %.2f | 1.00 × | %d | 100.0 %% |\n' "$(seconds plain)" "$base"
printf '| + --variant thumbs=400 | %.2f | %s × plain | %d + thumbs %d | – |\n' "$(seconds variant)" \
    "$(ratio variant plain)" "$(bytes variant)" "$(bytes variant/thumbs)"
for c in optimized progressive; do
    printf '| --coding %s | %.2f | %s × plain | %d | %.1f %% |\n' $c "$(seconds $c)" "$(ratio $c plain)" \
        "$(bytes $c)" "$(awk -v a="$(bytes $c)" -v b="$base" 'BEGIN { print 100 * a / b }')"
done
printf '| --max-size 150K | %.2f | %s × plain; %s × convert extent | %d | – |\n' "$(seconds cap)" \
    "$(ratio cap plain)" "$(ratio cap convertcap)" "$(bytes cap)"
printf '| convert -resize 1600x1600 -quality 90 | %.2f | %s × plain | %d | – |\n' "$(seconds convert)" \
    "$(ratio convert plain)" "$(bytes convert)"
printf '| convert ... -define jpeg:extent=150kb | %.2f | %s × convert | %d | – |\n' "$(seconds convertcap)" \
    "$(ratio convertcap convert)" "$(bytes convertcap)"
echo
echo "Under the cap, vellumar-batch: $(cap_sizes cap)"
echo "Under the cap, convert extent: $(cap_sizes convertcap)"
