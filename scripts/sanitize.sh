#!/usr/bin/env bash
# Builds the tree with a sanitizer and runs the whole test suite under it.
#
#   scripts/sanitize.sh address [ctest args]   AddressSanitizer + UBSan, in build-asan/
#   scripts/sanitize.sh thread  [ctest args]   ThreadSanitizer, in build-tsan/
#
# Every report stops the process that made it, so a report is a failed test.
# The suppression files in tests/sanitizers/ name third-party code only.
# Simulated boards run in real time and sanitized code is slow: a test of the
# simulator that fails under load is rerun alone (`-R name`) before it counts.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:-}
case "$kind" in
  address) build_dir=${ORVEL_BUILD_DIR:-$here/build-asan} ;;
  thread) build_dir=${ORVEL_BUILD_DIR:-$here/build-tsan} ;;
  *)
    echo "usage: $0 address|thread [ctest args]" >&2
    exit 2
    ;;
esac
shift

cmake -S "$here" -B "$build_dir" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVEL_SANITIZE="$kind" \
  -DORVEL_BUILD_FUZZERS=OFF -DORVEL_BUILD_BENCHMARKS=OFF
cmake --build "$build_dir" -j "$(nproc)"

# The environment of scripts/test.sh: widgets draw off screen, audio goes
# nowhere, the tests never reach the operator's own configuration.
export QT_QPA_PLATFORM=offscreen
export SDL_AUDIODRIVER=dummy
export ORVEL_CONFIG_DIR=$(mktemp -d)
trap 'rm -rf "$ORVEL_CONFIG_DIR"' EXIT

supp=$here/tests/sanitizers
if [ "$kind" = address ]; then
  export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1:print_suppressions=0"
  export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$supp/ubsan.supp"
else
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:history_size=4:suppressions=$supp/tsan.supp:print_suppressions=0"
fi

cd "$build_dir"
# Each test's time limit is scaled for the sanitizer (cmake/Sanitizers.cmake).
ctest --output-on-failure -j "$(nproc)" "$@"
