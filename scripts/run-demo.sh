#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job on the demo program
# directory (build/demo, made from data/: simulated boards, demo data).
# Today that is the line engine starting on the directory and reporting what
# it found; its log is build/demo/OrvelDll.log.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${ORVEL_BUILD_DIR:-$here/build}

"$here/scripts/setup.sh"
demo="$build_dir/demo"
"$build_dir/bin/orvel-state" "$demo" "$demo/OrvelDll.log"
