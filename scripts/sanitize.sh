#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/
# (or $ASAN_BUILD_DIR) and runs the whole test suite there, leak checks included.
# Leaks kept by the libraries' own internals are suppressed in scripts/lsan.supp.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${ASAN_BUILD_DIR:-build-asan}
root=$PWD

cmake -S . -B "$build_dir" -DVELMOR_SANITIZE=ON >/dev/null
cmake --build "$build_dir" -j "$(nproc)"

export ASAN_OPTIONS=detect_leaks=1
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)" --timeout 600
