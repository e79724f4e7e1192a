#!/usr/bin/env bash
# Builds the libFuzzer harnesses of tests/fuzz (in build-sanitize/, with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for SECONDS (30 by default), two at a time, starting from small
# excerpts of real files; non-zero when any harness finds a crash, a sanitizer report, a broken invariant,
# a hang or runaway memory. Findings are kept as build-sanitize/fuzz/<harness>/crash-*, the grown corpus in
# build-sanitize/fuzz/<harness>/corpus (a later run continues from it).
#   bash scripts/fuzz.sh [SECONDS] [HARNESS...]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
seconds="${1:-30}"
shift || true
orvia_install
# The decoder's harness needs QtGui: the build takes the Qt layer in (only the fuzz targets are built here).
orvia_configure_sanitized -DORVIA_BUILD_APP=ON >/dev/null
cmake --build "$ORVIA_SANITIZE_BUILD" --target orvia_fuzzers -j"$(nproc)"

data="$ORVIA_ROOT/tests/data"
shared="$ORVIA_ROOT/../shared/data"
# Puts the seeds of a harness into its corpus folder.
seed() {
  local name=$1 corpus=$2 f
  case "$name" in
    element_input_fuzz | satellite_file_fuzz)
      cp "$data"/tle/*.txt "$data"/omm/* "$data"/sgp4/*.tle "$ORVIA_ROOT"/data/demo/*.tle "$corpus"/ ;;
    names_lists_fuzz)  # the first byte chooses the list: odd a situation report, even names and magnitudes
      for f in "$shared"/names/*; do
        [ -f "$f" ] || continue
        { printf 0; head -n 40 "$f"; } >"$corpus/even_$(basename "$f")"
        { printf 1; head -n 40 "$f"; } >"$corpus/odd_$(basename "$f")"
      done
      printf '0%s\r\n' "25544 ISS (ZARYA)                        -1.8" >"$corpus/typed" ;;
    omm_nesting_fuzz)  # the first byte: even JSON, odd XML, and how often the rest is repeated
      for f in "$data"/omm/three_sets.json; do { printf '\x00'; cat "$f"; } >"$corpus/json_$(basename "$f")"; done
      for f in "$data"/omm/three_sets.xml; do { printf '\x01'; cat "$f"; } >"$corpus/xml_$(basename "$f")"; done
      printf '\xfe[' >"$corpus/json_deep"
      printf '\xfe[{"a":' >"$corpus/json_deep_objects"
      printf '\xff<a>' >"$corpus/xml_deep" ;;
    info_file_fuzz) cp "$data"/info/*.txt "$corpus"/ ;;
    exif_fuzz | frame_header_fuzz) cp "$data"/frames/*.jpg "$data"/frames/*.bmp "$corpus"/ ;;
    frame_decode_fuzz) cp "$data"/frames/frame_96x64.* "$data"/frames/frame_palette.bmp "$data"/hostile_frames/*.jpg \
      "$data"/hostile_frames/*.bmp "$corpus"/ ;;
    frame_texts_fuzz)
      printf '\x01%s\n' "08.05.2026" "18:10:39.2" "0.3" "30" "112.02005" "26.46528" "286" "10.5" "13" >"$corpus/demo" ;;
    catalogue_fuzz) head -c 1200 "$ORVIA_ROOT/data/bin8.dat" >"$corpus/bin8_first100" ;;
    asterism_fuzz) cp "$data"/asterism/*.dat "$corpus"/ ;;
  esac
}

# Runs one harness; prints its line of the summary.
run() {
  local name=$1 dir="$ORVIA_SANITIZE_BUILD/fuzz/$1"
  mkdir -p "$dir/corpus"
  seed "$name" "$dir/corpus"
  if (cd "$dir" && "$ORVIA_SANITIZE_BUILD/tests/fuzz/$name" corpus -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 -artifact_prefix="$dir/" >"$dir/log" 2>&1); then
    local runs execs
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log")
    execs=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$dir/log")
    printf '%-22s ok   %9s runs %7s per second\n' "$name" "$runs" "$execs"
  else
    printf '%-22s FAILED, see %s\n' "$name" "$dir/log"
    grep -E "ERROR|invariant|runtime error|Test unit written" "$dir/log" | head -5
    return 1
  fi
}

harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
  for f in "$ORVIA_ROOT"/tests/fuzz/*_fuzz.cpp; do harnesses+=("$(basename "$f" .cpp)"); done
fi
export ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
failed=0
pids=()
for name in "${harnesses[@]}"; do
  run "$name" &
  pids+=($!)
  if [ ${#pids[@]} -ge "$(nproc)" ]; then
    wait "${pids[0]}" || failed=1
    pids=("${pids[@]:1}")
  fi
done
for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
exit $failed
