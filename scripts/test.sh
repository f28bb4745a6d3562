#!/usr/bin/env bash
# Installs what is missing, builds and runs every test. No display is needed.
# Then builds the Debian packages and checks them (scripts/package-check.sh).
# Then runs the whole suite again under the sanitizers, and fuzzes for a minute
# when clang++ can be had.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
# Explicitly on: scripts/run.sh leaves the same build folder configured without tests.
scripts/build.sh -DBUILD_TESTING=ON
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j "$(nproc)" --timeout 600
scripts/package-check.sh

scripts/sanitize.sh
scripts/deps.sh clang libclang-rt-14-dev || echo "clang could not be installed"
if command -v clang++ >/dev/null; then
    scripts/fuzz.sh "${FUZZ_SECONDS:-60}"
else
    echo "No clang++: fuzzing skipped"
fi
