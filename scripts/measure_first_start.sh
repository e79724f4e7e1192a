#!/bin/bash
# Measures the program's first start in a fresh application directory holding only the shipped catalogue:
# from launch until the asterism index is built and recorded (program_files/tri4t.sum appears), as wall
# time and as the process's CPU time. Compare the CPU time with bench_astrometry's BM_BuildAsterismFile,
# which is steadier than wall time on a shared machine.
# Usage: scripts/measure_first_start.sh [build-dir] [runs]
set -euo pipefail
build=${1:-build}
runs=${2:-3}
root=$(cd "$(dirname "$0")/.." && pwd)
for ((i = 1; i <= runs; ++i)); do
  dir=$(mktemp -d)
  cp "$root/data/bin8.dat" "$dir/"
  start=$(date +%s.%N)
  QT_QPA_PLATFORM=offscreen "$build/orvia" --app-dir "$dir" >/dev/null 2>&1 &
  pid=$!
  while [ ! -f "$dir/program_files/tri4t.sum" ]; do sleep 0.005; done
  end=$(date +%s.%N)
  read -r -a stat <"/proc/$pid/stat"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  ticks=$(getconf CLK_TCK)
  echo "first start: wall $(echo "$end - $start" | bc) s, cpu $(echo "scale=3; (${stat[13]} + ${stat[14]}) / $ticks" | bc) s"
  rm -rf "$dir"
done
