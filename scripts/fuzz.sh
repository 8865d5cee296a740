#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and AddressSanitizer+UBSan in
# build-fuzz/ and runs each for a number of executions, adding what it finds
# to the stored corpus (tests/fuzz*/corpus/<target>), which CTest replays.
#
#   scripts/fuzz.sh                       every target, 1,000,000 runs each
#   scripts/fuzz.sh scheme run_progress   only these
#   ORVEL_FUZZ_RUNS=100000 scripts/fuzz.sh
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${ORVEL_BUILD_DIR:-$here/build-fuzz}
runs=${ORVEL_FUZZ_RUNS:-1000000}

"$here/scripts/setup.sh" --deps
for p in clang libclang-rt-14-dev; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "$p"
  fi
done

CC=clang CXX=clang++ cmake -S "$here" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORVEL_SANITIZE=address -DORVEL_BUILD_FUZZERS=ON

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for d in "$here"/tests/fuzz*/corpus/*/; do targets+=("$(basename "$d")"); done
fi
for t in "${targets[@]}"; do cmake --build "$build_dir" --target "fuzz_$t" -j "$(nproc)"; done

export ASAN_OPTIONS=detect_leaks=0
export QT_QPA_PLATFORM=offscreen
# The targets write their input as a file and some write it back (flushed to
# the disk, as the program does): on a memory filesystem that costs nothing,
# on a busy disk it can cost most of each execution.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  TMPDIR=$(mktemp -d /dev/shm/orvel-fuzz.XXXXXX)
  export TMPDIR
  trap 'rm -rf "$TMPDIR"' EXIT
fi
# No input takes near a second; the generous limit keeps a starved process
# (a busy shared machine) from being taken for a hang.
for t in "${targets[@]}"; do
  corpus=$(ls -d "$here"/tests/fuzz*/corpus/"$t")
  echo "== fuzz_$t: $runs runs over $corpus"
  "$build_dir/bin/fuzz_$t" "$corpus" -runs="$runs" -max_len=65536 -timeout=60 -print_final_stats=1 2>&1 |
    grep -E '^(#[0-9]+ *DONE|stat::number_of_executed_units|stat::peak_rss|==[0-9]+==ERROR|SUMMARY)' || true
done
