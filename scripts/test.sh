#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite.
# CI runs exactly this (see .ci/run); nothing is skipped there.
#
#   scripts/test.sh                 normal build in build/
#   ORVEL_SANITIZE=address scripts/test.sh   ASan+UBSan build (scripts/sanitize.sh)
#   ORVEL_SANITIZE=thread  scripts/test.sh   TSan build (scripts/sanitize.sh)
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
sanitize=${ORVEL_SANITIZE:-}
build_dir=${ORVEL_BUILD_DIR:-$here/build}

"$here/scripts/setup.sh" --deps
if [ -n "$sanitize" ]; then
  exec "$here/scripts/sanitize.sh" "$sanitize"
fi
cmake -S "$here" -B "$build_dir" -G Ninja \
  -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE:-RelWithDebInfo} -DORVEL_SANITIZE=
cmake --build "$build_dir" -j "$(nproc)"

# Widgets draw off screen; audio goes nowhere; the engine's tests never reach
# the operator's own configuration.
export QT_QPA_PLATFORM=offscreen
export SDL_AUDIODRIVER=dummy
export ORVEL_CONFIG_DIR=$(mktemp -d)
trap 'rm -rf "$ORVEL_CONFIG_DIR"' EXIT

cd "$build_dir"
ctest --output-on-failure -j "$(nproc)" --timeout 600
