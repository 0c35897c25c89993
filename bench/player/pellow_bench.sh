#!/usr/bin/env bash
# Prints the player's figures on the demo scene under a virtual X server of 1280x720: time from
# start to the first drawn frame, frames per second, and peak memory. Run after scripts/build:
#   bench/player/pellow_bench.sh
set -euo pipefail
cd "$(dirname "$0")/../../build"
export OSGART_VIDEO_CONFIG="-movie=demo/demo.avi -flipV"
display=":$(( (RANDOM % 400) + 500 ))"
Xvfb "$display" -screen 0 1280x720x24 -noreset >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
sleep 1
export DISPLAY="$display"

measure() {
  local frames=$1
  OSG_RUN_MAX_FRAME_COUNT=$frames /usr/bin/time -f "%e %M" -o /tmp/pellow_bench_time \
    ./pellow -working_directory demo -temporary_directory demo >/dev/null 2>&1
  cat /tmp/pellow_bench_time
}

read -r first_seconds first_kb < <(measure 1)
read -r long_seconds long_kb < <(measure 601)
fps=$(awk -v a="$first_seconds" -v b="$long_seconds" 'BEGIN { printf "%.1f", 600 / (b - a) }')
echo "pellow on the demo scene, 1280x720 virtual screen (software rendering)"
echo "  start to first drawn frame (whole run with one frame): ${first_seconds} s"
echo "  frames per second (600 frames after the first):        ${fps}"
echo "  peak memory (maximum resident set):                     $(( long_kb / 1024 )) MiB"
