#!/usr/bin/env bash
# Installs what is missing, builds, and starts the device tool from the repository root,
# where it loads tags/default.yml at start.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
exec "${BUILD_DIR:-build}/tool/velmor-tool"
