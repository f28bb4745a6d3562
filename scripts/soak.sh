#!/usr/bin/env bash
# Soak: 10,000 update cycles per protocol against peers that fail at random; checks that
# memory stays within 5 % of its level after 100 cycles and no reply objects pile up.
# Usage: scripts/soak.sh [cycles]   (takes several minutes for 10,000)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j "$(nproc)" --target velmor-soak
build/tests/soak/velmor-soak "${1:-10000}"
