#!/usr/bin/env bash
# Whole photo libraries, measured against a reference in the same run:
#  - listing a tree of 50 000 photos in 2 000 folders (vellumar-batch's recursive listing, bench/list_tree.cpp)
#    against find over the same tree: time and peak memory (goal: at most 2x find's time, at most 100 MiB);
#  - a resumed run (--existing skip) over a destination the full run has just completed, against that full
#    run: the MATE backgrounds (16 JPEGs) in two subfolders (goal: at most 5 % of the full run's time).
# Every case runs once per round; the table shows medians of the times and of the ratios taken within a round.
# Usage: bash bench/library.sh [ROUNDS]   (default 7; at least 5). As root it installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-7}
if ((rounds < 5)); then
    echo "bench/library.sh: at least 5 rounds, for medians that mean something" >&2
    exit 2
fi
if ((EUID == 0)); then
    bash tools/deps.sh mate-backgrounds time
elif [[ ! -x /usr/bin/time || ! -d /usr/share/backgrounds ]]; then
    echo "bench/library.sh: needs the packages time and mate-backgrounds (run as root to install them)" >&2
    exit 1
fi
cmake --preset release >/dev/null
cmake --build --preset release --target vellumar-batch vellumar-bench-list >/dev/null
batch=$PWD/build/release/vellumar-batch
list=$PWD/build/release/vellumar-bench-list

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 50 folders of 39 subfolders each: 2 000 folders, 25 photos in every one. The listing reads no photo, so
# empty files do.
tree=$work/tree
for top in $(seq -w 1 50); do
    for sub in $(seq -w 0 39); do
        folder=$tree/$top
        ((10#$sub > 0)) && folder=$tree/$top/$sub
        mkdir -p "$folder"
        touch "$folder"/IMG_{0001..0025}.jpg
    done
done

# Runs a command; prints "seconds peak_MiB lines-of-output".
measure() {
    local start=$EPOCHREALTIME
    /usr/bin/time -f %M -o "$work/rss" "$@" >"$work/out.txt"
    local end=$EPOCHREALTIME
    awk -v s="$start" -v e="$end" -v kib="$(cat "$work/rss")" -v n="$(wc -l <"$work/out.txt")" \
        'BEGIN { printf "%.4f %.1f %d\n", e - s, kib / 1024, n }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

: >"$work/listing"
for ((round = 1; round <= rounds; round++)); do
    read -r ours ours_mib _ < <(measure "$list" "$tree")
    found=$(cat "$work/out.txt")
    read -r theirs theirs_mib lines < <(measure find "$tree" -type f -iname '*.jpg')
    if [[ $found != 50000 || $lines != 50000 ]]; then
        echo "bench/library.sh: listed $found photos, find $lines; both should be 50000" >&2
        exit 1
    fi
    echo "$ours $ours_mib $theirs $theirs_mib" >>"$work/listing"
done

# The library: every background photo in two subfolders.
library=$work/library
mkdir -p "$library/2023" "$library/2024/june"
find /usr/share/backgrounds -name '*.jpg' -exec cp {} "$library/2023/" \;
cp "$library/2023/"*.jpg "$library/2024/june/"
photos=$(find "$library" -name '*.jpg' | wc -l)
out=$work/out
stamps() { find "$out" -type f -printf '%P %i %T@ %s\n' | sort; }
: >"$work/resume"
for ((round = 1; round <= rounds; round++)); do
    rm -rf "$out"
    read -r full _ < <(measure "$batch" --quiet --recursive --resize 50 "$library" "$out")
    before=$(stamps)
    read -r resumed _ < <(measure "$batch" --quiet --recursive --resize 50 --existing skip "$library" "$out")
    if [[ $(stamps) != "$before" ]]; then
        echo "bench/library.sh: the resumed run changed a file of the complete destination" >&2
        exit 1
    fi
    echo "$full $resumed" >>"$work/resume"
done

column() { awk -v c="$1" '{ print $c }' "$2" | median; }
ratio() { awk -v a="$1" -v b="$2" '{ print $a / $b }' "$3" | median; }
echo "Listing 50000 photos in 2000 folders, median of $rounds rounds:"
printf '  vellumar  %.3f s  %5.1f MiB peak\n' "$(column 1 "$work/listing")" "$(column 2 "$work/listing")"
printf '  find      %.3f s  %5.1f MiB peak\n' "$(column 3 "$work/listing")" "$(column 4 "$work/listing")"
printf '  time ratio vellumar / find: %.2f (goal at most 2)\n' "$(ratio 1 3 "$work/listing")"
echo "Resumed run over a complete destination ($photos photos, --resize 50), median of $rounds rounds:"
printf '  full run     %.3f s\n' "$(column 1 "$work/resume")"
printf '  resumed run  %.3f s (--existing skip; no file touched)\n' "$(column 2 "$work/resume")"
printf '  ratio resumed / full: %.1f %% (goal at most 5 %%)\n' "$(awk '{ print 100 * $2 / $1 }' "$work/resume" | median)"
