#!/usr/bin/env bash
# Shared set-up of the run and test commands: installs what is missing on Debian, configures and builds.
set -euo pipefail

ORVIA_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ORVIA_BUILD="${ORVIA_BUILD:-$ORVIA_ROOT/build}"
ORVIA_SANITIZE_BUILD="${ORVIA_SANITIZE_BUILD:-$ORVIA_ROOT/build-sanitize}"
ORVIA_PACKAGES=(build-essential cmake qt6-base-dev libgl-dev libgtest-dev libgmock-dev libbenchmark-dev
  libeigen3-dev nlohmann-json3-dev libpugixml-dev qt6-translations-l10n xvfb xauth openbox x11-utils xdotool
  clang libclang-rt-14-dev ccache)
# The compiler cache keeps repeated builds (the normal and the sanitized one) short; paths below the
# repository are hashed relative to it, so that every clone of it on this machine shares the cache.
ORVIA_LAUNCHER=()
orvia_use_ccache() {
  if command -v ccache >/dev/null; then
    ORVIA_LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    export CCACHE_BASEDIR="$ORVIA_ROOT" CCACHE_NOHASHDIR=true
  fi
}
orvia_use_ccache

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
  orvia_use_ccache
}

orvia_build() {
  # ORVIA_WERROR=ON (set by continuous integration) turns every compiler warning into an error.
  cmake -S "$ORVIA_ROOT" -B "$ORVIA_BUILD" -DCMAKE_BUILD_TYPE=Release -DORVIA_WERROR="${ORVIA_WERROR:-OFF}" \
    "${ORVIA_LAUNCHER[@]}"
  cmake --build "$ORVIA_BUILD" -j"$(nproc)"
}

# The build of scripts/sanitize.sh and scripts/fuzz.sh: clang, AddressSanitizer and UndefinedBehaviorSanitizer
# on everything, libFuzzer's coverage on the library code, the harnesses of tests/fuzz; lightly optimised,
# with line tables for the reports, assertions kept. Further cmake arguments are passed on.
orvia_configure_sanitized() {
  cmake -S "$ORVIA_ROOT" -B "$ORVIA_SANITIZE_BUILD" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_CXX_FLAGS_RELEASE="-O1 -gline-tables-only" -DORVIA_FUZZ=ON -DORVIA_BUILD_BENCH=OFF \
    -DORVIA_WERROR="${ORVIA_WERROR:-OFF}" "${ORVIA_LAUNCHER[@]}" "$@"
}
