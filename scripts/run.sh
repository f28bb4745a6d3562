#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job.
# Until velmor-tool exists, the main job is the device model library's test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} ctest --test-dir build --output-on-failure -R devicemodel
