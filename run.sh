#!/usr/bin/env bash
# Installs what is missing, builds the programs (Release) and opens Tarlo on
# the bundled sample with the bundled definition file.
set -euo pipefail
cd "$(dirname "$0")"

bash scripts/deps.sh

BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$BUILD_DIR" --parallel "$(nproc)" --target tarlo patchwise

SAMPLE=data/samples/sample.air
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found (DISPLAY and WAYLAND_DISPLAY are unset); listing the sample instead:"
  exec "$BUILD_DIR/bin/tarlo" --list "$SAMPLE"
fi
exec "$BUILD_DIR/bin/tarlo" "$SAMPLE"
