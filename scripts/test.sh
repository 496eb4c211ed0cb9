#!/usr/bin/env bash
# Sets up, builds with warnings as errors and runs the whole test suite; exits non-zero
# when any test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

# The core stays plain C++: no Qt header below the application.
if grep -rnE '#include *<Q[A-Za-z]' platform zip engine i18n; then
  echo "Qt headers included in platform/, zip/, engine/ or i18n/" >&2
  exit 1
fi

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSUNDRIX_WERROR=ON >/dev/null
cmake --build build/test
export QT_QPA_PLATFORM=offscreen
(cd build/test && ctest --output-on-failure -j2 "$@")

# The fuzz targets must keep building and running: saved finds replayed, a few seconds each.
if command -v clang++ >/dev/null; then
  bash fuzz/smoke.sh 3
else
  echo "fuzz smoke skipped: no clang++"
fi
