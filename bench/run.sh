#!/usr/bin/env bash
# The benchmark: vellumar-batch over the MATE desktop's background photographs (16 JPEGs, 68 megapixels),
# against the least work a program written directly on libjpeg does (bench/libjpeg_reference.cpp) and
# against ImageMagick and GraphicsMagick, single-threaded; then the smooth reduction against the exact one,
# vipsthumbnail and ImageMagick's Lanczos, in time and in SSIM against a linear-light Lanczos reference. Every case runs once per round, the rounds
# rotate the order, and the table shows medians: of the times, and of the ratios taken within each round,
# so that a slower moment of the machine weighs on both sides of a ratio alike.
# Usage: bash bench/run.sh [ROUNDS]   (default 7; at least 5). As root it installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-7}
if ((rounds < 5)); then
    echo "bench/run.sh: at least 5 rounds, for medians that mean something" >&2
    exit 2
fi

packages=(mate-backgrounds imagemagick graphicsmagick libvips-tools time)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    if ((EUID != 0)); then
        echo "bench/run.sh: missing packages: ${missing[*]} (run as root to install them)" >&2
        exit 1
    fi
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
bash tools/deps.sh

cmake --preset release >/dev/null
cmake --build --preset release --target vellumar-batch vellumar-libjpeg-reference vellumar-bench-ssim
batch=$PWD/build/release/vellumar-batch
reference=$PWD/build/release/vellumar-libjpeg-reference
ssim=$PWD/build/release/vellumar-bench-ssim

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
corpus=$work/corpus
mkdir -p "$corpus"
find /usr/share/backgrounds -name '*.jpg' -exec cp {} "$corpus/" \;
count=$(find "$corpus" -name '*.jpg' | wc -l)
megapixels=$(identify -format '%w %h\n' "$corpus"/*.jpg | awk '{ s += $1 * $2 } END { printf "%.1f", s / 1e6 }')
cpus=$(nproc)
# Each photograph's reduced size at 50 % and 75 % (the floor of the exact product, as the program computes it).
for p in 50 75; do
    identify -format '%f %w %h\n' "$corpus"/*.jpg \
        | awk -v p=$p '{ printf "%s %d %d\n", $1, int($2 * (100 - p) / 100), int($3 * (100 - p) / 100) }' >"$work/sizes$p"
done

# Name, then the command; "$out" is a fresh, empty folder for each run.
declare -A commands=(
    [ref50]='"$reference" "$corpus" "$out" 50'
    [ref75]='"$reference" "$corpus" "$out" 75'
    [ref0]='"$reference" "$corpus" "$out" 0'
    [resize50]='"$batch" --jobs 1 --quiet --resize 50 --quality 90 "$corpus" "$out"'
    [resize75]='"$batch" --jobs 1 --quiet --resize 75 --quality 90 "$corpus" "$out"'
    [overlay]='"$batch" --jobs 1 --quiet --overlay --position bottom-right --size medium "$corpus" "$out"'
    [resize50overlay]='"$batch" --jobs 1 --quiet --resize 50 --quality 90 --overlay --position bottom-right --size medium "$corpus" "$out"'
    [rename]='"$batch" --jobs 1 --quiet --rename --prefix photo- "$corpus" "$out"'
    [convert]='for f in "$corpus"/*.jpg; do convert -limit thread 1 "$f" -sample 50% -quality 90 "$out/${f##*/}"; done'
    [smooth50]='"$batch" --jobs 1 --quiet --resize 50 --filter smooth --quality 90 "$corpus" "$out"'
    [smooth75]='"$batch" --jobs 1 --quiet --resize 75 --filter smooth --quality 90 "$corpus" "$out"'
    [vips50]='while read -r n w h; do VIPS_CONCURRENCY=1 vipsthumbnail "$corpus/$n" -s "${w}x${h}!" -o "$out/%s.jpg[Q=90]"; done <"$work/sizes50"'
    [vips75]='while read -r n w h; do VIPS_CONCURRENCY=1 vipsthumbnail "$corpus/$n" -s "${w}x${h}!" -o "$out/%s.jpg[Q=90]"; done <"$work/sizes75"'
    [lanczos50]='while read -r n w h; do convert -limit thread 1 "$corpus/$n" -colorspace RGB -filter Lanczos -resize "${w}x${h}!" -colorspace sRGB -quality 90 "$out/$n"; done <"$work/sizes50"'
    [lanczos75]='while read -r n w h; do convert -limit thread 1 "$corpus/$n" -colorspace RGB -filter Lanczos -resize "${w}x${h}!" -colorspace sRGB -quality 90 "$out/$n"; done <"$work/sizes75"'
    [gm]='cd "$corpus" && OMP_NUM_THREADS=1 gm mogrify -limit threads 1 -output-directory "$out" -sample 50% -quality 90 *.jpg'
)
cases=(ref50 ref75 ref0 resize50 resize75 overlay resize50overlay rename convert gm smooth50 smooth75 vips50 vips75
    lanczos50 lanczos75)
for jobs in $(printf '%s\n' 2 "$cpus" | sort -nu); do
    ((jobs > 1)) || continue
    commands[jobs$jobs]='"$batch" --jobs '$jobs' --quiet --resize 50 --quality 90 "$corpus" "$out"'
    cases+=("jobs$jobs")
done

# One run: its wall time and processor time (user + system) in seconds and its peak resident memory in KiB go
# to the case's files.
run_case() {
    local name=$1 out=$work/out/$1
    rm -rf "$out"
    mkdir -p "$out"
    local start=$EPOCHREALTIME
    reference=$reference batch=$batch corpus=$corpus out=$out work=$work \
        /usr/bin/time -f '%M %U %S' -o "$work/rss" bash -c "${commands[$name]}" >/dev/null
    local end=$EPOCHREALTIME
    echo "$start $end" | awk '{ printf "%.4f\n", $2 - $1 }' >>"$work/$name.time"
    awk '{ print $1 }' "$work/rss" >>"$work/$name.rss"
    awk '{ printf "%.2f\n", $2 + $3 }' "$work/rss" >>"$work/$name.cpu"
}

echo "Corpus: $count photographs, $megapixels megapixels; $cpus processors; $rounds rounds"
for ((round = 0; round < rounds; ++round)); do
    printf 'Round %d of %d\n' $((round + 1)) "$rounds" >&2
    for ((i = 0; i < ${#cases[@]}; ++i)); do
        run_case "${cases[$(((i + round) % ${#cases[@]}))]}"
    done
done

# The reduced photographs must be the reference's own bytes: the same work, done as directly.
same=0
for f in "$corpus"/*.jpg; do
    cmp -s "$work/out/resize50/${f##*/}" "$work/out/ref50/${f##*/}" && same=$((same + 1))
done

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
seconds() { median <"$work/$1.time"; }
peak_mib() { sort -g "$work/$1.rss" | tail -1 | awk '{ printf "%.0f", $1 / 1024 }'; }
# The median over the rounds of (time of a) / (time of b).
ratio() { paste "$work/$1.time" "$work/$2.time" | awk '{ print $1 / $2 }' | median | awk '{ printf "%.2f", $1 }'; }

row() {
    local name=$1 label=$2 against=$3
    local vs_ref='–' vs_gm='–' vs_convert='–'
    [[ -n $against ]] && vs_ref="$(ratio "$name" "$against") ×"
    if [[ $name == resize* || $name == overlay || $name == jobs* || $name == resize50overlay ]]; then
        vs_gm="$(ratio gm "$name") ×"
        vs_convert="$(ratio convert "$name") ×"
    fi
    printf '| %s | %.3f | %s | %s | %s | %s |\n' "$label" "$(seconds "$name")" "$vs_ref" "$vs_gm" "$vs_convert" \
        "$(peak_mib "$name")"
}

echo
echo "vellumar-batch --jobs 1 over $count photographs ($megapixels megapixels), median of $rounds rounds:"
echo
echo '| case | seconds | time ÷ libjpeg reference | gm mogrify time ÷ this | convert time ÷ this | peak MiB |'
echo '|---|---:|---:|---:|---:|---:|'
row resize50 'reduce 50 %, quality 90' ref50
row resize75 'reduce 75 %, quality 90' ref75
row overlay 'overlay only (bottom right, Medium), against the full-size reference' ref0
row resize50overlay 'reduce 50 % with the overlay, against the 50 % reference' ref50
row rename 'rename only' ''
row ref50 'libjpeg reference, 50 %' ''
row ref75 'libjpeg reference, 75 %' ''
row ref0 'libjpeg reference, full size (decode + encode)' ''
row gm 'gm mogrify -sample 50% -quality 90, 1 thread' ''
row convert 'convert -sample 50% -quality 90, 1 thread, per file' ''
echo
echo "Reduced photographs byte-identical to the libjpeg reference's: $same of $count"
echo
echo "Scaling of --resize 50 with --jobs (speed-up = median of time(--jobs 1) ÷ time(--jobs N); target 0.85 × N):"
echo
echo '| --jobs | seconds | speed-up | target | peak MiB |'
echo '|---:|---:|---:|---:|---:|'
printf '| 1 | %.3f | 1.00 × | – | %s |\n' "$(seconds resize50)" "$(peak_mib resize50)"
for name in "${cases[@]}"; do
    [[ $name == jobs* ]] || continue
    n=${name#jobs}
    printf '| %s | %.3f | %s × | %s × | %s |\n' "$n" "$(seconds "$name")" "$(ratio resize50 "$name")" \
        "$(awk -v n="$n" 'BEGIN { printf "%.2f", 0.85 * n }')" "$(peak_mib "$name")"
done

# The quality of each reduction: SSIM (luma) against ImageMagick's Lanczos in linear light, written losslessly,
# averaged over the corpus; the outputs are those of the last round.
for p in 50 75; do
    mkdir -p "$work/lanczosref$p"
    while read -r n w h; do
        convert "$corpus/$n" -colorspace RGB -filter Lanczos -resize "${w}x${h}!" -colorspace sRGB \
            "$work/lanczosref$p/${n%.jpg}.ppm"
    done <"$work/sizes$p"
done
# Processor time, for one-thread cases on a machine that other jobs share: waiting does not count.
cpu_seconds() { median <"$work/$1.cpu"; }
cpu_ratio() { paste "$work/$1.cpu" "$work/$2.cpu" | awk '{ print $1 / $2 }' | median | awk '{ printf "%.2f", $1 }'; }
mean_ssim() {
    local name=$1 p=$2
    while read -r n w h; do
        "$ssim" "$work/lanczosref$p/${n%.jpg}.ppm" "$work/out/$name/$n"
    done <"$work/sizes$p" | awk '{ s += $1 } END { printf "%.4f", s / NR }'
}
echo
echo "vellumar-batch --jobs 1 --resize P [--filter smooth] --quality 90 and its peers, one thread: processor seconds"
echo "(user + system), medians of $rounds rounds and of the ratios within each round; SSIM (luma) against"
echo "\`convert SRC -colorspace RGB -filter Lanczos -resize WxH! -colorspace sRGB\`, mean over the corpus:"
echo
echo '| reduction | CPU seconds | time ÷ nearest | vipsthumbnail time ÷ this | SSIM |'
echo '|---|---:|---:|---:|---:|'
for p in 50 75; do
    printf '| nearest %s %% (the exact reduction) | %.2f | 1.00 × | %s × | %s |\n' $p "$(cpu_seconds resize$p)" \
        "$(cpu_ratio vips$p resize$p)" "$(mean_ssim resize$p $p)"
    printf '| smooth %s %% | %.2f | %s × | %s × | %s |\n' $p "$(cpu_seconds smooth$p)" \
        "$(cpu_ratio smooth$p resize$p)" "$(cpu_ratio vips$p smooth$p)" "$(mean_ssim smooth$p $p)"
    printf '| vipsthumbnail %s %%, VIPS_CONCURRENCY=1 | %.2f | %s × | 1.00 × | %s |\n' $p "$(cpu_seconds vips$p)" \
        "$(cpu_ratio vips$p resize$p)" "$(mean_ssim vips$p $p)"
    printf '| convert Lanczos %s %%, 1 thread | %.2f | %s × | %s × | %s |\n' $p "$(cpu_seconds lanczos$p)" \
        "$(cpu_ratio lanczos$p resize$p)" "$(cpu_ratio vips$p lanczos$p)" "$(mean_ssim lanczos$p $p)"
done
