#!/usr/bin/env bash
# One velmor-cli watching N controllers (default 20), each a velmor-sim process serving
# tags/default.yml (14 variables) over Modbus TCP, for S seconds (default 60), with the
# default pacing (50 ms after each reply, 1 s between cycles), serving Prometheus metrics
# and publishing to a mosquitto broker. Prints the processor time and memory velmor-cli
# took. Uses the programs of build/ (or $BUILD_DIR).
#   bench/service-load.sh [N] [S]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
count=${1:-20}
seconds=${2:-60}
work=$(mktemp -d)
pids=()

finish() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap finish EXIT

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

broker_port=$(free_port)
printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\n' "$broker_port" >"$work/mosquitto.conf"
mosquitto -c "$work/mosquitto.conf" 2>"$work/mosquitto.log" &
pids+=($!)

files=()
for i in $(seq -w 1 "$count"); do
    port=$(free_port)
    sed "s/^port: 1502$/port: $port/" tags/default.yml >"$work/boiler$i.yml"
    "$build/sim/velmor-sim" "$work/boiler$i.yml" >/dev/null 2>&1 &
    pids+=($!)
    files+=("$work/boiler$i.yml")
done
sleep 2

metrics_port=$(free_port)
"$build/cli/velmor-cli" "${files[@]}" --watch --metrics "127.0.0.1:$metrics_port" \
    --mqtt "127.0.0.1:$broker_port" >/dev/null 2>"$work/velmor-cli.log" &
cli=$!
pids+=($cli)
sleep "$seconds"

ticks=$(getconf CLK_TCK)
read -r utime stime < <(awk '{ print $14, $15 }' "/proc/$cli/stat")
cycles=$(curl -s "http://127.0.0.1:$metrics_port/metrics" | awk '/^velmor_cycles_total/ { sum += $2 } END { print sum }')
echo "velmor-cli, $count controllers, $seconds s: $cycles cycles in all"
echo "processor time: $(awk -v u="$utime" -v s="$stime" -v t="$ticks" -v d="$seconds" \
    'BEGIN { printf "%.2f s user, %.2f s system: %.1f %% of one core", u / t, s / t, 100 * (u + s) / t / d }')"
grep -E '^(VmHWM|VmRSS|Threads)' "/proc/$cli/status" | tr -s '\t ' ' '
echo "errors reported: $(wc -l <"$work/velmor-cli.log")"
