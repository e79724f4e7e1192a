#!/usr/bin/env bash
# Installs what is missing, builds Orvia with its tests and runs every test; non-zero on any failure.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
orvia_install
bash "$ORVIA_ROOT/scripts/check_layers.sh"  # includes between src/ folders point one way
orvia_build
cd "$ORVIA_BUILD"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
# The windows under a stacking window manager on a virtual screen of 1366 x 768.
xvfb-run -a -s "-screen 0 1366x768x24" bash "$ORVIA_ROOT/scripts/check_windows.sh" "$ORVIA_BUILD"
