#!/usr/bin/env bash
# Builds the libFuzzer targets (the fuzz preset, clang-14) and runs each for SECONDS (default 60):
#   tools/fuzz.sh [SECONDS] [TARGET...]      e.g. tools/fuzz.sh 60, tools/fuzz.sh 1800 overlay_fuzzer
# VELLUMAR_FUZZ_JOBS targets run at a time (default 1). New inputs collect in build/fuzz-corpus/<target>,
# logs in build/fuzz-logs, findings in build/fuzz-artifacts. Exits non-zero when any target finds one.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
((${#targets[@]})) || targets=(jpeg_decode_fuzzer bmp_fuzzer version_block_fuzzer overlay_fuzzer names_fuzzer exif_fuzzer)
parallel=${VELLUMAR_FUZZ_JOBS:-1}

bash tools/deps.sh clang-14 libclang-rt-14-dev
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" --target vellumar_fuzzers

# Longest input per target: room for many marker segments in a JPEG, a few hundred characters of text.
declare -A maxLen=([jpeg_decode_fuzzer]=32768 [bmp_fuzzer]=16384 [version_block_fuzzer]=8192
                   [overlay_fuzzer]=1024 [names_fuzzer]=4096 [exif_fuzzer]=4096)
mkdir -p build/fuzz-artifacts build/fuzz-logs
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/fuzz/lsan.supp

run_target() {
    local target=$1
    local corpus=build/fuzz-corpus/$target
    mkdir -p "$corpus"
    "build/fuzz/tests/fuzz/$target" "$corpus" "tests/fuzz/seeds/$target" \
        -max_total_time="$seconds" -max_len="${maxLen[$target]:-4096}" -rss_limit_mb=2048 -timeout=20 \
        -artifact_prefix="build/fuzz-artifacts/$target-" -print_final_stats=1 \
        >"build/fuzz-logs/$target.log" 2>&1
}

declare -A pids=()
failed=0
for target in "${targets[@]}"; do
    while (($(jobs -rp | wc -l) >= parallel)); do
        wait -n || true
    done
    echo "fuzzing $target for ${seconds}s"
    run_target "$target" &
    pids[$target]=$!
done
for target in "${targets[@]}"; do
    if wait "${pids[$target]}"; then status=ok; else status=FINDING; failed=1; fi
    execs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "build/fuzz-logs/$target.log" | grep -o '[0-9]*$' || true)
    cov=$(grep -E '^#[0-9]+.*cov:' "build/fuzz-logs/$target.log" | tail -1 | grep -o 'cov: [0-9]* ft: [0-9]*' || true)
    echo "$target: $status, ${execs:-?} executions, ${cov:-no coverage line}"
done
if ((failed)); then
    echo "findings: see build/fuzz-logs and build/fuzz-artifacts" >&2
fi
exit "$failed"
