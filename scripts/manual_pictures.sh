#!/usr/bin/env bash
# Takes the manual's pictures of the windows anew from the current program: runs the window check on the demo
# frame at 1366x768 with a shots folder and puts the pictures it took into data/manual/ under the manual's
# names (the windows that need typing stay as they were taken by hand). Needs a build (orvia, orvia-cli), xvfb, openbox and imagemagick; run it again after a window changes.
# Usage: bash scripts/manual_pictures.sh [build dir]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
SHOTS="$(mktemp -d)"
trap 'rm -rf "$SHOTS"' EXIT
xvfb-run -a -s "-screen 0 1366x768x24" bash "$ROOT/scripts/check_windows.sh" "$BUILD" "$SHOTS" || true
# The whole screen after the automatic chain, reduced to the manual's width.
[ -f "$SHOTS/windows_auto_chain.png" ] && convert "$SHOTS/windows_auto_chain.png" -resize 900x "$ROOT/data/manual/auto.png"
for name in filter candidates measure; do
  if [ -f "$SHOTS/$name.png" ]; then
    cp "$SHOTS/$name.png" "$ROOT/data/manual/$name.png"
    echo "data/manual/$name.png"
  fi
done
