#!/usr/bin/env bash
# Installs every Debian 12 package the project needs, then configures and
# builds it. Safe to run again: apt-get skips what is installed, CMake
# rebuilds only what changed.
#
#   scripts/setup.sh            install packages and build (build/)
#   scripts/setup.sh --deps     install packages only
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${ORVEL_BUILD_DIR:-$here/build}

packages=(
  build-essential cmake ninja-build pkg-config git clang-format ccache
  libgtest-dev libgmock-dev libbenchmark-dev
  libace-dev
  libsdl2-dev libasound2-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev libxkbcommon-dev
  libfftw3-dev
  libespeak-ng-dev espeak-ng espeak-ng-data
  libzip-dev libpugixml-dev libfreexl-dev libsoxr-dev libsimpleini-dev
  libspandsp-dev
  # Operators' password hashes (Argon2id).
  libsodium-dev
  xvfb xauth
  python3-openpyxl
  # Qt's own dialogs (file, colour, font, print) in Russian.
  qt6-translations-l10n
  # Opens the results workbook in a test, as the operators' spreadsheet would.
  libreoffice-calc-nogui
  # Pictures of printed pages (pdftoppm) when the report printout is checked.
  poppler-utils
  # xdg-email hands the developer report to the desktop's mail client.
  xdg-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

[ "${1:-}" = "--deps" ] && exit 0

cmake -S "$here" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE:-RelWithDebInfo}
cmake --build "$build_dir" -j "$(nproc)"
