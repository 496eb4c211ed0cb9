#!/usr/bin/env bash
# Sets up, builds and starts the program; arguments go to the program (-s FILE, -j FILE).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSUNDRIX_TESTS=OFF \
  -DSUNDRIX_BENCH=OFF >/dev/null
cmake --build build/release
exec build/release/app/sundrix "$@"
