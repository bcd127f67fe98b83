#!/usr/bin/env bash
# Installs what is missing, builds Quenta and starts it with its built-in simulated scan tool on COM1.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQUENTA_TESTS=OFF -DQUENTA_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)" --target quenta quenta-sim quenta-cli
exec ./build/quenta --simulate "$@"
