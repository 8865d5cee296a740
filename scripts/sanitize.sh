#!/usr/bin/env bash
# Builds the tree with a sanitizer and runs the test suite, or a part of it,
# under it.
#
#   scripts/sanitize.sh address [--no-build] [-R regex] [-E regex] [ctest args]
#       AddressSanitizer + UBSan, in build-asan/
#   scripts/sanitize.sh thread  [--no-build] [-R regex] [-E regex] [ctest args]
#       ThreadSanitizer, in build-tsan/
#
# Without a pattern the whole suite runs. -R runs only the tests whose names
# match the regular expression, -E leaves out those that match; both may be
# given, and any other argument goes to ctest as it stands (e.g. -j1,
# --timeout 900, --repeat until-pass:2). A pattern that matches no test is an
# error, so a mistyped name cannot pass with nothing run. --no-build runs the
# tests as last built (after building only the targets they need by hand).
#
# Every report stops the process that made it, so a report is a failed test.
# The suppression files in tests/sanitizers/ name third-party code only.
# Simulated boards run in real time and sanitized code is slow: a test of the
# simulator that fails under load is rerun alone (`-R name`) before it counts.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
usage() {
  echo "usage: $0 address|thread [--no-build] [-R regex] [-E regex] [ctest args]" >&2
  echo "  without -R/-E the whole suite runs" >&2
  exit 2
}
kind=${1:-}
case "$kind" in
  address) build_dir=${ORVEL_BUILD_DIR:-$here/build-asan} ;;
  thread) build_dir=${ORVEL_BUILD_DIR:-$here/build-tsan} ;;
  *) usage ;;
esac
shift

# The test selection is checked before the long build starts.
ctest_args=()
build=1
while [ $# -gt 0 ]; do
  case "$1" in
    -R | -E | --tests-regex | --exclude-regex)
      if [ $# -lt 2 ] || [ -z "$2" ]; then
        echo "$0: $1 needs a regular expression" >&2
        usage
      fi
      ctest_args+=("$1" "$2")
      shift 2
      ;;
    --no-build)
      build=0
      shift
      ;;
    -h | --help) usage ;;
    *)
      ctest_args+=("$1")
      shift
      ;;
  esac
done

if [ "$build" = 1 ]; then
  cmake -S "$here" -B "$build_dir" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVEL_SANITIZE="$kind" \
    -DORVEL_BUILD_FUZZERS=OFF -DORVEL_BUILD_BENCHMARKS=OFF
  cmake --build "$build_dir" -j "$(nproc)"
elif [ ! -f "$build_dir/CTestTestfile.cmake" ]; then
  echo "$0: --no-build, but $build_dir holds no build" >&2
  exit 2
fi

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
ctest --output-on-failure --no-tests=error -j "$(nproc)" "${ctest_args[@]}"
