#!/usr/bin/env bash
# Installs what is missing, builds the benchmarks (Release, into build-bench/ or $BUILD_DIR)
# and runs them all, printing one Markdown table. Benchmarks share the machine with whatever
# else runs: compare the rows of one run with each other, not with other machines.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh libmodbus-dev
build_dir=${BUILD_DIR:-build-bench}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DVELMOR_BENCH=ON >/dev/null
cmake --build "$build_dir" -j "$(nproc)" --target \
    bench-modbus-server bench-polling bench-blockreads bench-velmorbus bench-load bench-toolview bench-trendview bench-recorder bench-scan bench-traffic velmor-sim >/dev/null

export QT_QPA_PLATFORM=offscreen
echo "Machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores," \
     "$(. /etc/os-release && echo "$PRETTY_NAME"), load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| Benchmark | Measured | Reference | Ratio | Target | Met |"
echo "|---|---|---|---|---|---|"
for program in bench-polling bench-blockreads bench-velmorbus bench-load bench-toolview bench-trendview bench-recorder bench-scan bench-traffic; do
    "$build_dir/bench/$program"
done
