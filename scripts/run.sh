#!/usr/bin/env bash
# Installs what is missing, builds the two programs it runs (no tests), starts the
# controller simulator in the background and the device tool from the repository root,
# where it loads tags/default.yml at start. The simulator serves tags/default.yml over
# Modbus TCP on 127.0.0.1:1502 and stops when the tool ends.
#
#   scripts/run.sh              Modbus TCP demo controller, shown in the tool at once
#   scripts/run.sh --velmorbus  Velmorbus demo controller on a pseudo-terminal; the tool
#                               opens tags/velmorbus-demo.yml as well
set -euo pipefail
cd "$(dirname "$0")/.."

description=tags/default.yml
sim_options=()
# The tool loads tags/default.yml by itself; further description files it takes as arguments.
tool_arguments=()
case "${1:-}" in
    "") ;;
    --velmorbus)
        description=tags/velmorbus-demo.yml
        # The link the description file names as its "port".
        sim_options=(--pty /tmp/velmor-demo-pty)
        tool_arguments=("$description")
        ;;
    *)
        echo "usage: scripts/run.sh [--velmorbus]" >&2
        exit 2
        ;;
esac

scripts/deps.sh
# The tests, some 40 programs, would add minutes on a small machine. scripts/test.sh
# configures them back in.
scripts/build.sh -DBUILD_TESTING=OFF --target velmor-tool --target velmor-sim
build_dir=${BUILD_DIR:-build}

sim_log="$build_dir/velmor-sim.log"
sim_pid=
tool_pid=

stop_programs() {
    # Each by its own process id: the tool first, then the simulator it talked to.
    for pid in $tool_pid $sim_pid; do
        if kill -0 "$pid" 2>/dev/null; then
            kill -TERM "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
        fi
    done
}
trap stop_programs EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

"$build_dir/sim/velmor-sim" "${sim_options[@]}" "$description" >"$sim_log" 2>&1 &
sim_pid=$!

# The simulator prints "listening on HOST:PORT" or "serving LINK (...)" once it answers.
ready_deadline=$((SECONDS + 30))
until grep -q -e '^listening on ' -e '^serving ' "$sim_log"; do
    if ! kill -0 "$sim_pid" 2>/dev/null || [ "$SECONDS" -ge "$ready_deadline" ]; then
        echo "velmor-sim did not start:" >&2
        cat "$sim_log" >&2
        exit 1
    fi
    sleep 0.1
done
echo "velmor-sim: $(grep -m1 -e '^listening on ' -e '^serving ' "$sim_log"); traffic log in $sim_log"

# In the background so that a signal to this script stops both programs at once.
"$build_dir/tool/velmor-tool" "${tool_arguments[@]}" &
tool_pid=$!
status=0
wait "$tool_pid" || status=$?
tool_pid=
exit "$status"
