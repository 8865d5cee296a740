#!/usr/bin/env bash
# Opens the operator program on the demo program directory (build/demo) with
# the simulated boards, so that a newcomer sees the windows without editing
# any file: builds what is needed, prepares the demo subscribers, group,
# messages and scheme, and starts `orvel` with its own configuration
# directory pointing at the demo.
#
#   scripts/orvel-demo.sh              the operator program on the demo
#   scripts/orvel-demo.sh '\Демо'      ... starting the demo scheme at once
#
# The configuration (registry.ini) lives in build/demo-config unless
# ORVEL_CONFIG_DIR names another directory.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${ORVEL_BUILD_DIR:-$here/build}

if [ ! -f "$build_dir/build.ninja" ]; then
  "$here/scripts/setup.sh" --deps
  cmake -S "$here" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE:-RelWithDebInfo}
fi
cmake --build "$build_dir" --target orvel_app orvel_run orvelsim demo_dir

demo="$build_dir/demo"
"$build_dir/bin/orvel-run" --dir "$demo" --prepare-demo

config=${ORVEL_CONFIG_DIR:-$build_dir/demo-config}
mkdir -p "$config"
if [ ! -f "$config/registry.ini" ] || ! grep -q "^ProgrammDirectory=$demo\$" "$config/registry.ini"; then
  printf '[SOFTWARE\\ORVEL]\nProgrammDirectory=%s\n' "$demo" > "$config/registry.ini"
fi
ORVEL_CONFIG_DIR="$config" exec "$build_dir/bin/orvel" "$@"
