#!/usr/bin/env bash
# Screenshots of the rainflow window's from-to matrix under Xvfb with a window manager (openbox),
# in English and Chinese at 500x380 and 1400x900, into OUT (default build/shots-from-to): the
# rainflow setup dialog with full cycles for the residue and a gate typed in, then the window's
# from-to matrix of that count (View › From-To Matrix, Ctrl+Shift+T), the range-mean matrix
# beside it for comparison, and the from-to matrix on the log count axis. Captured with
# ImageMagick's import; keys come from xdotool. Needs a build in build/test (or $BUILD).
# Usage: scripts/screenshot-from-to.sh [OUT]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/screenshot-packages.sh
build=$(realpath "${BUILD:-build/test}")
out=$(realpath -m "${1:-build/shots-from-to}")

if [ -z "${SHOT_SIZE:-}" ]; then
  shoot_each_language_and_size "$0" "$out" 500x380 1400x900
  exit 0
fi

# Inside Xvfb, in a home of its own.
tag="$TORVWY_LANG-$SHOT_SIZE"
sample="$TORVWY_HOME/sample"
"$build/bin/torvwy" gen --data "$sample" --test demo --code 1 --nodes 4 --blocks 200 >/dev/null
openbox >/dev/null 2>&1 &
wm=$!
sleep 1
shot() { import -window root "$out/$1-$tag.png"; }

"$build/bin/torvwy-gui" --data "$sample" --test demo --code 1 --node 1 --rainflow &
gui=$!
sleep 5
# The setup dialog: the residue one step down the list (full), a gate of 2, then OK.
xdotool key alt+u Down alt+g ctrl+a
xdotool type 2
sleep 0.5
shot rainflow-setup
xdotool key Return
sleep 4
xdotool key alt+w Down Return # Window › Tile: the one window fills the host
sleep 1
xdotool key ctrl+shift+t # the from-to matrix: the cycles are listed first
sleep 4
shot from-to
xdotool key ctrl+shift+m # the range-mean matrix of the same cycles
sleep 2
shot range-mean
xdotool key ctrl+shift+t ctrl+shift+l # the from-to matrix again, coloured by decades
sleep 2
shot from-to-log
kill "$gui"
wait "$gui" 2>/dev/null || true
kill "$wm" 2>/dev/null || true
