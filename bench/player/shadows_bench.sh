#!/usr/bin/env bash
# Prints the player's frames per second on the demo scene with each shadow technique, in the direct
# and the deferred mode, beside the demo without shadows, under a virtual X server of 1280x720.
# For the shadowed runs the demo's marker is marked shadowed and a directional light shines on it
# at a slant. Each figure is the best of a few runs (the machine may be busy). Run after
# scripts/build:
#   bench/player/shadows_bench.sh [frames] [runs]
set -euo pipefail
frames=${1:-200}
runs=${2:-3}
cd "$(dirname "$0")/../../build"
build=$PWD
export OSGART_VIDEO_CONFIG="-movie=$build/demo/demo.avi -flipV"
display=":$(( (RANDOM % 400) + 500 ))"
Xvfb "$display" -screen 0 1280x720x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
work=$(mktemp -d)
# Beside demo/: the description files name the camera files relative to their folder.
folder="$build/shadows_bench_scene"
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work" "$folder"' EXIT
sleep 1
export DISPLAY="$display"

# scene FOLDER TECHNIQUE MODE: the demo, shadowed by a light when TECHNIQUE is not "none".
scene() {
  local folder=$1 technique=$2 mode=$3
  rm -rf "$folder"
  cp -r "$build/demo" "$folder"
  [ "$technique" = none ] && return
  sed -i 's/shadowed="false"/shadowed="true"/' "$folder/markers.xml"
  local light='<object name="sun" type="ARLight" use_properties="true"><model/><properties>'
  light+='<property name="directional">true</property><property name="position_x">1</property>'
  light+='<property name="position_y">0</property><property name="position_z">-1</property>'
  light+='<property name="detail">low</property></properties>'
  light+='<markers><marker id="1" layer="0"/></markers></object>'
  sed -i "s|</objects>|$light</objects>|" "$folder/scene.xml"
  sed -i "s|<parameter name=\"mode\">[a-z]*</parameter>|<parameter name=\"mode\">$mode</parameter>|" "$folder/lighting.xml"
  sed -i "s|<parameter name=\"shadow_technique\">[a-z]*</parameter>|<parameter name=\"shadow_technique\">$technique</parameter>|" "$folder/lighting.xml"
}

# Seconds of a run of COUNT frames on FOLDER.
seconds() {
  local folder=$1 count=$2
  OSG_RUN_MAX_FRAME_COUNT=$count /usr/bin/time -f "%e" -o "$work/time" \
    ./pellow -working_directory "$folder" -temporary_directory "$folder" >/dev/null 2>&1
  cat "$work/time"
}

# Frames per second after the first frame: the best of the runs.
fps() {
  local folder=$1 best=0
  for _ in $(seq "$runs"); do
    local first long
    first=$(seconds "$folder" 1)
    long=$(seconds "$folder" $((frames + 1)))
    best=$(awk -v a="$first" -v b="$long" -v n="$frames" -v best="$best" \
      'BEGIN { f = (b > a) ? n / (b - a) : 0; printf "%.1f", (f > best) ? f : best }')
  done
  echo "$best"
}

echo "pellow on the demo scene, 1280x720 virtual screen (software rendering), frames per second"
echo "($frames frames after the first, best of $runs runs)"
echo
printf "| %-10s | %-8s | %-8s |\n" technique direct deferred
printf "|%s|%s|%s|\n" "------------" "----------" "----------"
scene "$folder" none direct
printf "| %-10s | %-8s | %-8s |\n" "none" "$(fps "$folder")" "-"
for technique in sm ssm stsm vdsm sv; do
  scene "$folder" "$technique" direct
  direct=$(fps "$folder")
  scene "$folder" "$technique" deferred
  deferred=$(fps "$folder")
  printf "| %-10s | %-8s | %-8s |\n" "$technique" "$direct" "$deferred"
done
