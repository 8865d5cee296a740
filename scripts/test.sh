#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite.
# CI runs exactly this (see .ci/run); nothing is skipped there.
#
#   scripts/test.sh                 normal build in build/
#   ORVEL_SANITIZE=address scripts/test.sh   ASan+UBSan build in build-address/
#   ORVEL_SANITIZE=thread  scripts/test.sh   TSan build in build-thread/
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
sanitize=${ORVEL_SANITIZE:-}
build_dir=${ORVEL_BUILD_DIR:-$here/build${sanitize:+-$sanitize}}

"$here/scripts/setup.sh" --deps
cmake -S "$here" -B "$build_dir" -G Ninja \
  -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE:-RelWithDebInfo} -DORVEL_SANITIZE="$sanitize"
cmake --build "$build_dir" -j "$(nproc)"

# Widgets draw off screen; audio goes nowhere; the engine's tests never reach
# the operator's own configuration.
export QT_QPA_PLATFORM=offscreen
export SDL_AUDIODRIVER=dummy
export ORVEL_CONFIG_DIR=$(mktemp -d)
trap 'rm -rf "$ORVEL_CONFIG_DIR"' EXIT
# What system libraries do on their own is left out of the sanitizers' reports.
if [ "$sanitize" = address ]; then
  export LSAN_OPTIONS="suppressions=$here/tests/lsan.supp:print_suppressions=0"
elif [ "$sanitize" = thread ]; then
  export TSAN_OPTIONS="suppressions=$here/tests/tsan.supp"
fi

cd "$build_dir"
ctest --output-on-failure -j "$(nproc)" --timeout 600
