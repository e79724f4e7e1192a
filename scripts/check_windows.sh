#!/usr/bin/env bash
# Under a stacking window manager (openbox) on the current X display: starts Orvia on a fresh directory
# with the demo frame, clicks every menu of the main window, opens and closes a message box, opens the
# satellite windows and runs the automatic chain, and checks after each step that every window of Orvia is
# still stacked above the main window, lies on screen and covers neither the frame's picture nor the fragment.
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
# The demo frame identified and its track measured by the command line, and its satellite in the database, so
# that the satellite windows can be opened.
FRAME="$ROOT/data/demo/demo_podsat.jpg"
SOLVED=0
if [ -x "$BUILD/orvia-cli" ]; then
  mkdir -p "$WORK/app"
  [ -f "$WORK/app/program_files/bin8.dat" ] || cp "$ROOT/data/bin8.dat" "$WORK/app/"
  cli() { "$BUILD/orvia-cli" --app-dir "$WORK/app" "$@" >/dev/null 2>&1; }
  cli import-tle "$ROOT/data/demo/podsat_2026-05-07.tle" &&
    cli identify "$FRAME" --auto --date 08.05.2026 --time 18:10:39.2 --ut-error 0.3 --exposure 30 \
      --lon 112.02005 --lat 26.46528 --ra 286 --dec 10.5 --field 13 &&
    cli measure "$FRAME" --auto && SOLVED=1
fi
"$BUILD/orvia" --app-dir "$WORK/app" "$FRAME" >/dev/null 2>&1 &
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

# Absolute x, y, width and height of a window's client area.
geometry() {
  xwininfo -id "$1" 2>/dev/null | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} /Width/{w=$2} /Height/{h=$2} END{print x, y, w, h}' || true
}

fail=0
check() {
  local step="$1" main_seen=0 count=0 frame_id="" fragment_id="" px=0 py=0 pw=0 ph=0 fx=0 fy=0 fw=0 fh=0
  sleep 0.7
  # The frame window's picture with its readouts and controls: its client area less the empty bottom margin.
  for id in $(stack); do
    [ "$(pid_of "$id")" = "$APP_PID" ] && title "$id" | grep -q demo_podsat && frame_id="$id"
  done
  [ -n "$frame_id" ] && read -r px py pw ph <<<"$(geometry "$frame_id")" && ph=$((ph - 18))
  # The fragment window is titled with the cursor's pixel, "( x, y)".
  for id in $(stack); do
    [ "$(pid_of "$id")" = "$APP_PID" ] && title "$id" | grep -Eq '^\( ?-?[0-9]+, ?-?[0-9]+\)$' && fragment_id="$id"
  done
  [ -n "$fragment_id" ] && read -r fx fy fw fh <<<"$(geometry "$fragment_id")"
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
    geo="$(geometry "$id")"
    [ -n "$geo" ] || continue
    read -r x y w h <<<"$geo"
    if [ "$x" -lt 0 ] || [ "$y" -lt 0 ] || [ $((x + w)) -gt 1366 ] || [ $((y + h)) -gt 768 ]; then
      echo "FAIL after $step: \"$name\" at $x,$y size ${w}x$h leaves the screen"
      fail=1
    fi
    # Title bars lie above the client areas: 24 pixels of decoration are counted with each window.
    if [ "$id" != "$frame_id" ] && [ "$ph" -gt 0 ] && [ "$x" -lt $((px + pw)) ] && [ $((x + w)) -gt "$px" ] &&
      [ $((y - 24)) -lt $((py + ph)) ] && [ $((y + h)) -gt "$py" ]; then
      echo "FAIL after $step: \"$name\" at $x,$y size ${w}x$h covers the frame's picture"
      fail=1
    fi
    if [ "$id" != "$frame_id" ] && [ "$id" != "$fragment_id" ] && [ "$fh" -gt 0 ] && [ "$x" -lt $((fx + fw)) ] &&
      [ $((x + w)) -gt "$fx" ] && [ $((y - 24)) -lt $((fy + fh)) ] && [ $((y + h)) -gt $((fy - 24)) ]; then
      echo "FAIL after $step: \"$name\" at $x,$y size ${w}x$h covers the fragment"
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

# A menu opened by Right shows its first item highlighted. "Идентификация звезд" without four marked stars
# answers with a message box; Return closes it.
xdotool mousemove $((mx + 20)) $((my + 10)) click 1
sleep 0.3
xdotool key Right Right Return
sleep 1
[ -n "$SHOTS" ] && import -window root "$SHOTS/windows_message.png"
xdotool key Return
check "closing a message box"

# The satellite windows, from the menu "Идентификация": the candidate filter (its OK runs the search and shows
# the candidate list), one satellite, several satellites.
if [ "$SOLVED" = 1 ]; then
  menu_item() {
    xdotool mousemove $((mx + 20)) $((my + 10)) click 1
    sleep 0.3
    xdotool key Right Right
    for _ in $(seq 2 "$1"); do xdotool key Down; done
    xdotool key Return
    sleep 1
  }
  window_named() {
    for id in $(stack); do [ "$(pid_of "$id")" = "$APP_PID" ] && [ "$(title "$id")" = "$1" ] && echo "$id"; done
    return 0
  }
  # With a shots folder, each window is also taken alone (its client area), as the manual shows it.
  shot_window() {
    [ -n "$SHOTS" ] || return 0
    local id
    id="$(window_named "$1" | tail -n 1)"
    [ -n "$id" ] && import -window "$id" "$SHOTS/$2" 2>/dev/null || true
  }
  menu_item 3
  check "the candidate filter"
  shot_window "Фильтр ИСЗ" filter.png
  filter="$(window_named "Фильтр ИСЗ")"
  if [ -n "$filter" ]; then
    read -r x y w h <<<"$(geometry "$filter")"
    xdotool mousemove $((x + w - 70)) $((y + h - 25)) click 1
    sleep 3
    check "the candidate list"
    shot_window "Претенденты ИСЗ" candidates.png
    [ -n "$(window_named "Претенденты ИСЗ")" ] || { echo "FAIL: no candidate list"; fail=1; }
  else
    echo "FAIL: no candidate filter"
    fail=1
  fi
  [ -n "$SHOTS" ] && import -window root "$SHOTS/windows_candidates.png"
  menu_item 4
  check "one satellite"
  shot_window "Траектория ИСЗ" usersat.png
  menu_item 5
  check "several satellites"
  shot_window "Траектории нескольких ИСЗ" several.png
  [ -n "$SHOTS" ] && import -window root "$SHOTS/windows_satellites.png"

  # The automatic chain from the same frame: it ends at the candidate list with the measurement shown; a
  # message it leaves (a doubtful identification) is closed with Return.
  menu_item 6
  for _ in $(seq 1 120); do
    [ -n "$(window_named "Претенденты ИСЗ")" ] && [ -z "$(window_named "Идет работа")" ] && break
    sleep 0.5
  done
  for _ in 1 2 3; do
    [ -n "$(window_named "Сообщение")" ] || break
    xdotool key Return
    sleep 0.5
  done
  [ -n "$(window_named "Претенденты ИСЗ")" ] || { echo "FAIL: the automatic chain left no candidate list"; fail=1; }
  check "the automatic chain"
  [ -n "$SHOTS" ] && import -window root "$SHOTS/windows_auto_chain.png"
  shot_window "Измерение трека" measure.png
  menu_item 4
  check "one satellite after the chain"
else
  echo "FAIL: the demo frame could not be prepared by $BUILD/orvia-cli"
  fail=1
fi
exit "$fail"
