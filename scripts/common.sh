#!/usr/bin/env bash
# Shared set-up of the run and test commands: installs what is missing on Debian, configures and builds.
set -euo pipefail

ORVIA_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ORVIA_BUILD="${ORVIA_BUILD:-$ORVIA_ROOT/build}"
ORVIA_PACKAGES=(build-essential cmake qt6-base-dev libgl-dev libgtest-dev libgmock-dev libbenchmark-dev
  libeigen3-dev nlohmann-json3-dev libpugixml-dev qt6-translations-l10n xvfb xauth openbox x11-utils xdotool)

orvia_install() {
  local missing=()
  for p in "${ORVIA_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
}

orvia_build() {
  # ORVIA_WERROR=ON (set by continuous integration) turns every compiler warning into an error.
  cmake -S "$ORVIA_ROOT" -B "$ORVIA_BUILD" -DCMAKE_BUILD_TYPE=Release -DORVIA_WERROR="${ORVIA_WERROR:-OFF}"
  cmake --build "$ORVIA_BUILD" -j"$(nproc)"
}
