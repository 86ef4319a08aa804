#!/usr/bin/env bash
# Screenshots of the help window under Xvfb with a window manager (openbox), in English and
# Chinese at 800x600 and 1400x900: a rainflow window on the sample test, F1, the help page; then
# Esc, and the screen without the help window. Into OUT (default build/shots-help), as
# help-LANG-SIZE.png and help-LANG-SIZE-closed.png. Captured with ImageMagick's import; the keys
# come from xdotool. Needs a build in build/test (or $BUILD).
# Usage: scripts/screenshot-help.sh [OUT]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/screenshot-packages.sh
build=$(realpath "${BUILD:-build/test}")
out=$(realpath -m "${1:-build/shots-help}")

if [ -z "${SHOT_SIZE:-}" ]; then
  shoot_each_language_and_size "$0" "$out" 800x600 1400x900
  exit 0
fi

# Inside Xvfb, in a home of its own.
tag="$TORVWY_LANG-$SHOT_SIZE"
sample="$TORVWY_HOME/sample"
"$build/bin/torvwy" gen --data "$sample" --test demo --code 1 --nodes 2 --blocks 200 >/dev/null
openbox &
wm=$!
sleep 2
"$build/bin/torvwy-gui" --data "$sample" --test demo --code 1 --node 2 --rainflow &
gui=$!
sleep 12
xdotool key Return   # the setup dialog: OK with its defaults
sleep 8
xdotool key F1       # the help page of the rainflow window
sleep 5
import -window root "$out/help-$tag.png"
xdotool key Escape   # closes the help window
sleep 2
import -window root "$out/help-$tag-closed.png"
kill "$gui" "$wm" 2>/dev/null || true
wait 2>/dev/null || true
