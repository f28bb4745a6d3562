#!/usr/bin/env bash
# Builds the libFuzzer targets with clang++ into build-fuzz/ (or $FUZZ_BUILD_DIR) and fuzzes
# each for the given number of seconds (default 60), all at once, so the run takes that long
# whatever the number of targets (the master target mostly waits on its line timers).
# Fails on any finding; the input that caused it is kept under
# <build dir>/fuzz/findings/<target>/. The inputs found interesting are kept between runs in
# <build dir>/fuzz/corpus/<target>/, so a longer nightly run (scripts/fuzz.sh 3600) goes on
# where the last one stopped.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build_dir=${FUZZ_BUILD_DIR:-build-fuzz}
root=$PWD
targets=(fuzz_packet fuzz_master fuzz_description fuzz_restore fuzz_simmodbus fuzz_simvelmorbus)

cmake -S . -B "$build_dir" -DCMAKE_CXX_COMPILER=clang++ -DVELMOR_FUZZ=ON -DVELMOR_SANITIZE=ON >/dev/null
cmake --build "$build_dir" -j "$(nproc)" --target "${targets[@]}" >/dev/null

export ASAN_OPTIONS=detect_leaks=1
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen

declare -A max_len=([fuzz_packet]=512 [fuzz_master]=512 [fuzz_description]=4096 [fuzz_restore]=4096
                    [fuzz_simmodbus]=512 [fuzz_simvelmorbus]=512)
declare -A pids
for target in "${targets[@]}"; do
    work="$build_dir/fuzz/corpus/$target"
    findings="$build_dir/fuzz/findings/$target"
    mkdir -p "$work" "$findings"
    inputs=("$work" "fuzz/corpus/$target")
    [ -d "fuzz/regressions/$target" ] && inputs+=("fuzz/regressions/$target")
    # -timeout: one input takes well under a second even on a busy machine.
    # -len_control=0: the description target runs too few inputs to grow its length limit step by step.
    "$build_dir/fuzz/$target" -max_total_time="$seconds" -max_len="${max_len[$target]}" -len_control=0 -timeout=30 \
        -print_final_stats=1 -artifact_prefix="$findings/" "${inputs[@]}" \
        >"$build_dir/fuzz/$target.log" 2>&1 &
    pids[$target]=$!
done

failed=0
for target in "${targets[@]}"; do
    if wait "${pids[$target]}"; then
        grep -E "^stat::(number_of_executed_units|average_exec_per_sec)" "$build_dir/fuzz/$target.log" \
            | sed "s/^/$target: /"
    else
        failed=1
        echo "$target: FINDING (log $build_dir/fuzz/$target.log, input in $build_dir/fuzz/findings/$target/)"
        grep -E "ERROR|check failed|SUMMARY" "$build_dir/fuzz/$target.log" | head -5
    fi
done
if [ "$failed" -ne 0 ]; then
    echo "Copy each finding to fuzz/regressions/<target>/ so tst_fuzzregressions replays it."
fi
exit "$failed"
