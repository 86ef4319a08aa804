#!/usr/bin/env bash
# Makes docs/screenshot.png: torvwy-gui under Xvfb with a peak counting window on the sample test,
# and docs/screenshot-readout.png: the same window after a click in the plot, a few cursor keys
# and three collected readings, with the readout list open. Captured with ImageMagick's import;
# the keys and the click come from xdotool. Needs a build in build/gui (or $BUILD).
# docs/screenshot-fatigue.png: a rainflow window of node 1 after Actual Stat Analysis, with the
# host's fatigue table.
# Usage: scripts/screenshot.sh [FIRST.png [READOUT.png [FATIGUE.png]]]
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/screenshot-packages.sh

build=${BUILD:-build/gui}
home=$(mktemp -d)
sample="$home/sample"
export TORVWY_HOME="$home" TORVWY_LANG=${TORVWY_LANG:-en}
"$build/bin/torvwy" gen --data "$sample" --test demo --code 1 --nodes 4 --blocks 200 >/dev/null
out=${1:-docs/screenshot.png}
readout=${2:-docs/screenshot-readout.png}
fatigue=${3:-docs/screenshot-fatigue.png}
xvfb-run -a -s "-screen 0 1200x800x24" bash -c "
  '$build/bin/torvwy-gui' --data '$sample' --test demo --code 1 --node 3 --peak &
  gui=\$!
  sleep 6
  xdotool key Return          # the setup dialog: OK with its defaults
  sleep 4
  import -window root '$out'
  xdotool mousemove 420 520 click 1   # the cursor to the partition under the pointer
  sleep 1
  xdotool key r Right Right r Up Up r l   # collect, move, collect, move, collect, list
  sleep 2
  import -window root '$readout'
  kill \$gui
"
xvfb-run -a -s "-screen 0 1400x900x24" bash -c "
  '$build/bin/torvwy-gui' --data '$sample' --test demo --code 1 --node 1 --rainflow &
  gui=\$!
  sleep 6
  xdotool key Return                  # the setup dialog: OK with its defaults
  sleep 5
  xdotool mousemove 20 500 click 5 click 5 click 5 click 5 click 5 click 5 click 5 click 5
  sleep 1                             # the panel scrolled to its Fatigue buttons
  xdotool mousemove 189 592 click 1   # Actual Stat Analysis
  sleep 2
  xdotool key Return                  # the life estimate dialog: class B, d = 2.0
  sleep 3
  import -window root '$fatigue'
  kill \$gui
"
rm -rf "$home"
echo "wrote $out, $readout and $fatigue"
