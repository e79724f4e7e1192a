#!/usr/bin/env bash
# Under a stacking window manager (openbox) on the current X display: starts Orvia on a fresh directory
# with the demo frame, clicks every menu of the main window, opens and closes a message box, and checks
# after each step that every window of Orvia is still stacked above the main window and lies on screen.
# Run it as: xvfb-run -a -s "-screen 0 1366x768x24" bash scripts/check_windows.sh [build dir] [shots dir]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
SHOTS="${2:-}"
WORK="$(mktemp -d)"
WM_PID=""
APP_PID=""
cleanup() {
  [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null || true
  [ -n "$WM_PID" ] && kill "$WM_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

openbox >/dev/null 2>&1 &
WM_PID=$!
sleep 1
# The catalogue (and the asterism index, when a run in the build folder has made it) of the build.
for f in bin8.dat program_files/bin8.dat program_files/tri4t.dat; do
  [ -f "$BUILD/$f" ] && mkdir -p "$WORK/app/program_files" && cp "$BUILD/$f" "$WORK/app/program_files/"
done
"$BUILD/orvia" --app-dir "$WORK/app" "$ROOT/data/demo/demo_podsat.jpg" >/dev/null 2>&1 &
APP_PID=$!

# Window ids of Orvia, bottom to top, as the window manager stacks them.
# A window may go away between two questions: each answer is then empty, never an error.
stack() { xprop -root _NET_CLIENT_LIST_STACKING 2>/dev/null | sed 's/^[^#]*# //; s/,//g' || true; }
title() { xprop -id "$1" _NET_WM_NAME 2>/dev/null | sed 's/^[^"]*"//; s/"$//' || true; }
pid_of() { xprop -id "$1" _NET_WM_PID 2>/dev/null | awk '{print $3}' || true; }

# Waits until the frame window (titled with the frame's path) is managed.
for _ in $(seq 1 120); do
  for id in $(stack); do
    [ "$(pid_of "$id")" = "$APP_PID" ] && title "$id" | grep -q demo_podsat && break 2
  done
  sleep 0.5
done

fail=0
check() {
  local step="$1" main_seen=0 count=0
  sleep 0.7
  for id in $(stack); do
    [ "$(pid_of "$id")" = "$APP_PID" ] || continue
    local name
    name="$(title "$id")"
    if [ "$name" = "Orvia" ]; then main_seen=1; continue; fi
    xwininfo -id "$id" 2>/dev/null | grep -q "IsViewable" || continue
    count=$((count + 1))
    if [ "$main_seen" = 0 ]; then
      echo "FAIL after $step: \"$name\" is below the main window"
      fail=1
    fi
    local geo x y w h
    geo="$(xwininfo -id "$id" 2>/dev/null | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Width/{w=$2} /Height/{h=$2} END{print x, y, w, h}' || true)"
    [ -n "$geo" ] || continue
    read -r x y w h <<<"$geo"
    if [ "$x" -lt 0 ] || [ "$y" -lt 0 ] || [ $((x + w)) -gt 1366 ] || [ $((y + h)) -gt 768 ]; then
      echo "FAIL after $step: \"$name\" at $x,$y size ${w}x$h leaves the screen"
      fail=1
    fi
  done
  [ "$main_seen" = 1 ] || { echo "FAIL after $step: no main window"; fail=1; }
  [ "$count" -ge 4 ] || { echo "FAIL after $step: only $count tool windows shown"; fail=1; }
  echo "checked: $step ($count windows above the main window)"
}

main_id=""
for id in $(stack); do [ "$(pid_of "$id")" = "$APP_PID" ] && [ "$(title "$id")" = "Orvia" ] && main_id="$id"; done
[ -n "$main_id" ] || { echo "FAIL: the main window did not appear"; exit 1; }
check "opening the frame"
[ -n "$SHOTS" ] && import -window root "$SHOTS/windows_frame_open.png"

# The menu bar sits at the top of the main window's client area: each click there activates the main
# window; Right moves to the next menu, Escape closes it.
read -r mx my < <(xwininfo -id "$main_id" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} END{print x, y}')
xdotool mousemove $((mx + 20)) $((my + 10)) click 1
for menu in Разметка Идентификация Визуализация TLE Справка; do
  sleep 0.3
  xdotool key Right
  check "menu $menu"
done
xdotool key Escape key Escape
check "closing the menus"

# "Идентификация звезд" without four stars answers with a message box; Return closes it.
xdotool mousemove $((mx + 20)) $((my + 10)) click 1
sleep 0.3
xdotool key Right Right Down Return
sleep 1
[ -n "$SHOTS" ] && import -window root "$SHOTS/windows_message.png"
xdotool key Return
check "closing a message box"
exit "$fail"
