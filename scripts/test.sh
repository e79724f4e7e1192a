#!/usr/bin/env bash
# Installs what is missing, builds Orvia with its tests and runs every test; non-zero on any failure.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
orvia_install
bash "$ORVIA_ROOT/scripts/check_layers.sh"  # includes between src/ folders point one way
orvia_build
cd "$ORVIA_BUILD"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
