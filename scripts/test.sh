#!/usr/bin/env bash
# Installs what is missing, builds Orvia with its tests and runs every test; non-zero on any failure.
#   ORVIA_SKIP_LONG=1 bash scripts/test.sh   leaves out the long statistical runs (ctest label `long`)
# Tests that read the shared data (../shared/data beside the repository, or $ORVIA_SHARED_DATA) are
# skipped when it is absent, and fail when CI is set.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
orvia_install
bash "$ORVIA_ROOT/scripts/check_layers.sh"  # includes between src/ folders point one way
orvia_build
cd "$ORVIA_BUILD"
shared="${ORVIA_SHARED_DATA:-$ORVIA_ROOT/../shared/data}"
if [ ! -d "$shared" ]; then
  if [ -n "${CI:-}" ] && [ "${CI}" != false ]; then
    echo "test: no shared data at $shared: the tests that read it fail, since CI is set"
  else
    echo "test: no shared data at $shared: the tests that read it are skipped"
  fi
fi
labels=()
if [ -n "${ORVIA_SKIP_LONG:-}" ] && [ "$ORVIA_SKIP_LONG" != 0 ]; then
  labels=(-LE long)
  echo "test: the long statistical runs (label long) are left out"
fi
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" "${labels[@]}"
# The windows under a stacking window manager on a virtual screen of 1366 x 768.
xvfb-run -a -s "-screen 0 1366x768x24" bash "$ORVIA_ROOT/scripts/check_windows.sh" "$ORVIA_BUILD"
