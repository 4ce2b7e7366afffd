#!/usr/bin/env bash
# Takes the screenshots of the README under Xvfb, the way a person would get there: start on
# a fresh settings store, type the sample folder's name into the folder box, then "Next >";
# list a field's values and their variants, preview a change, make it, list the table's previous
# versions; then start a long run.
# The program runs from a scratch copy of its folder (so the samples in the build stay as
# they are), and the folder box shows the short relative name "Samples".
# Writes docs/screenshots/{form1,form2,values,variants,change-preview,outcome,previous-versions,
# history,several-fields,progress}.png.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
OUT=docs/screenshots
mkdir -p "$OUT"

if [ -z "${FW_IN_XVFB:-}" ]; then
  # Our own settings store and data folder, so the user's are neither used nor changed.
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  mkdir -m 700 "$scratch/runtime"
  mkdir "$scratch/app"
  cp "$BUILD_DIR/fieldwright" "$BUILD_DIR/dbTemp.mdb" "$BUILD_DIR/HAND-M.CUR" "$scratch/app/"
  cp -r "$BUILD_DIR/Samples" "$scratch/app/"
  if [ -d "$BUILD_DIR/x" ]; then cp -r "$BUILD_DIR/x" "$scratch/app/"; fi
  FW_IN_XVFB=1 FW_APP="$scratch/app" HOME="$scratch" XDG_CONFIG_HOME="$scratch/config" \
    XDG_DATA_HOME="$scratch/.local/share" XDG_RUNTIME_DIR="$scratch/runtime" \
    xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
  exit
fi

root=$PWD
program=
start_program() {
  (cd "$FW_APP" && exec ./fieldwright) &
  program=$!
}
trap 'if [ -n "$program" ]; then kill $program 2>/dev/null || true; fi' EXIT

# The window of the program other than the table and field window: the box or dialog open.
other_window() {
  xdotool search --onlyvisible --name '^Fieldwright$' | grep -vx "$form2" | tail -1
}
# The table and field window with whatever box is open over it.
shoot_form2() {
  eval "$(xdotool getwindowgeometry --shell "$form2")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$1"
}

start_program
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

# The values of "City" (the field list's context menu, its second entry), then the variants
# among them with the first method ("Find Variants...", Alt+V). Nothing is merged.
xdotool mousemove --window "$form2" 60 266 click 3
sleep 0.5
xdotool key Down Down Return
sleep 2
import -window "$(other_window)" "$root/$OUT/values.png"
xdotool key alt+v
sleep 2
import -window "$(other_window)" "$root/$OUT/variants.png"
xdotool key Escape
sleep 0.5
xdotool key Escape
sleep 0.5

# The preview of a change: ORDERS, its field ShipVia, "Replace All Spaces in Selected Field
# With..." (the second operation) answered "_", from the preview list's context menu.
xdotool mousemove --window "$form2" 40 48 click 1
sleep 0.5
xdotool mousemove --window "$form2" 60 266 click 1
sleep 0.5
xdotool mousemove --window "$form2" 250 400 click 1
sleep 0.5
xdotool key Down Return
xdotool mousemove --window "$form2" 380 300 click 3
sleep 0.5
xdotool key Down Return
sleep 1
xdotool type "_"
xdotool key Return
sleep 2
import -window "$(other_window)" "$root/$OUT/change-preview.png"
xdotool key Escape
sleep 0.5

# The change itself, and what the message says once it is done.
xdotool mousemove --window "$form2" 380 441 click 1
sleep 1
xdotool type "_"
xdotool key Return
sleep 2
shoot_form2 "$root/$OUT/outcome.png"
xdotool key Return
sleep 0.5

# The previous versions of ORDERS, from the table list's context menu.
xdotool mousemove --window "$form2" 40 48 click 3
sleep 0.5
xdotool key Down Return
sleep 1
import -window "$(other_window)" "$root/$OUT/previous-versions.png"
xdotool key Escape
sleep 0.5

# The history of ORDERS (the table list's second entry).
xdotool mousemove --window "$form2" 40 48 click 3
sleep 0.5
xdotool key Down Down Return
sleep 1
history=$(other_window)
import -window "$history" "$root/$OUT/history.png"
xdotool key Escape
sleep 0.5

# "Apply to Several Fields..." (the field list's third entry) for the chosen operation: the
# fields of every table, ShipVia of ORDERS ticked. Nothing is run.
xdotool mousemove --window "$form2" 60 266 click 3
sleep 0.5
xdotool key Down Down Down Return
sleep 1
import -window "$(other_window)" "$root/$OUT/several-fields.png"
xdotool key Escape
sleep 0.5
kill $program
wait $program 2>/dev/null || true

# The bar during a long run: a table of 150000 different values, 30 seconds of pauses.
mkdir -p "$FW_APP/long"
{
  echo "Item:A40,Qty:I"
  awk 'BEGIN { for (i = 1; i <= 150000; i++) printf "\"Item  %06d  x\",%d\n", i, i % 97 }'
} > "$FW_APP/long/shipments.csv"
"$BUILD_DIR/samples/make_samples" "$FW_APP/long" "$FW_APP/Samples"
start_program # opens on the table and field window: the folder is remembered
form2=$(xdotool search --sync --onlyvisible --name '^Fieldwright$' | head -1)
sleep 1
xdotool mousemove --window "$form2" 40 76 click 1
sleep 1
xdotool mousemove --window "$form2" 380 441 click 1
sleep 4
shoot_form2 "$root/$OUT/progress.png"
echo "Wrote $OUT/form1.png, form2.png, values.png, variants.png, change-preview.png, outcome.png, previous-versions.png, history.png, several-fields.png and progress.png"
