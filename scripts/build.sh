#!/usr/bin/env bash
# Configures and builds into build/ (or the folder given as $BUILD_DIR).
#
#   scripts/build.sh [--target NAME]... [CMAKE_OPTION]...
#
# Each --target limits the build to that target and what it needs (all targets without
# one); the other arguments go to CMake's configure step, e.g. -DBUILD_TESTING=OFF.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
configure_options=()
targets=()
while [ $# -gt 0 ]; do
    case "$1" in
        --target)
            targets+=(--target "$2")
            shift 2
            ;;
        *)
            configure_options+=("$1")
            shift
            ;;
    esac
done
cmake -S . -B "$build_dir" "${configure_options[@]}" >/dev/null
cmake --build "$build_dir" -j "$(nproc)" "${targets[@]}"
