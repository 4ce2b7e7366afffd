#!/usr/bin/env bash
# Takes screenshots of both windows under Xvfb, the way a person would get there: start on
# a fresh settings store, type the sample folder's name into the folder box, then "Next >".
# The program runs in its own folder, so the box shows the short relative name "Samples".
# Writes docs/screenshots/form1.png and docs/screenshots/form2.png.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
OUT=docs/screenshots
mkdir -p "$OUT"

if [ -z "${FW_IN_XVFB:-}" ]; then
  # Our own settings store, so the user's folder is neither used nor changed.
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  mkdir -m 700 "$scratch/runtime"
  FW_IN_XVFB=1 HOME="$scratch" XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data" \
    XDG_RUNTIME_DIR="$scratch/runtime" xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
  exit
fi

root=$PWD
(cd "$BUILD_DIR" && exec ./fieldwright) &
program=$!
trap 'kill $program 2>/dev/null || true' EXIT

form1=$(xdotool search --sync --onlyvisible --name '^Fieldwright$' | head -1)
# The folder box has the focus when the window opens.
xdotool windowfocus --sync "$form1"
xdotool type --delay 20 "Samples" 2>/dev/null
xdotool mousemove --window "$form1" 480 130
sleep 1
import -window "$form1" "$root/$OUT/form1.png"

# "Next >" across the bottom.
xdotool mousemove --window "$form1" 268 124 click 1
sleep 2
form2=$(xdotool search --sync --onlyvisible --name '^Fieldwright$' | head -1)
# A field with some dirt in it: "City", the fifth entry of the field list.
xdotool mousemove --window "$form2" 60 266 click 1
sleep 1
import -window "$form2" "$root/$OUT/form2.png"
echo "Wrote $OUT/form1.png and $OUT/form2.png"
