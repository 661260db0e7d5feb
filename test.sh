#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite.
# Exit status is non-zero when any step or any test fails.
set -euo pipefail
cd "$(dirname "$0")"

bash scripts/deps.sh

BUILD_DIR=${BUILD_DIR:-build}
# TARLO_WERROR=ON (as CI sets it) makes every compiler warning an error.
# TARLO_INSTALL_PREFIX sets the install prefix (CI: /usr, to package this build).
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARLO_BUILD_TESTS=ON \
  -DTARLO_WERROR="${TARLO_WERROR:-OFF}" ${TARLO_INSTALL_PREFIX:+-DCMAKE_INSTALL_PREFIX="$TARLO_INSTALL_PREFIX"}
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$BUILD_DIR" --output-on-failure --parallel "$(nproc)" "$@"
