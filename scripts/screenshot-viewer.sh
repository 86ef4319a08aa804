#!/usr/bin/env bash
# Screenshots of the time-history viewer, the log count axis and the overlay of nodes under
# Xvfb, in the language of TORVWY_LANG (en or zh), into OUT (default build/shots). Captured with
# ImageMagick's import; keys and clicks come from xdotool. Needs a build in build/gui (or $BUILD).
# Usage: TORVWY_LANG=zh scripts/screenshot-viewer.sh [OUT]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/screenshot-packages.sh
build=${BUILD:-build/gui}
out=${1:-build/shots}
lang=${TORVWY_LANG:-en}
mkdir -p "$out"
home=$(mktemp -d)
sample="$home/sample"
export TORVWY_HOME="$home" TORVWY_LANG="$lang"
"$build/bin/torvwy" gen --data "$sample" --test demo --code 1 --nodes 4 --blocks 200 >/dev/null
xvfb-run -a -s "-screen 0 1400x900x24" bash -c "
  '$build/bin/torvwy-gui' --data '$sample' --test demo --code 1 --node 1 --rainflow &
  gui=\$!
  sleep 6
  xdotool key Return                  # the setup dialog: OK with its defaults
  sleep 5
  xdotool mousemove 600 450 click 1   # focus the picture
  import -window root '$out/rainflow-linear-$lang.png'
  xdotool key ctrl+shift+l            # View > Log Count Axis
  sleep 2
  import -window root '$out/rainflow-log-$lang.png'
  xdotool key ctrl+shift+w            # Analysis > View Waveform
  sleep 4
  window=\$(xdotool search --sync --onlyvisible --name 'demo1#1' | tail -1)
  xdotool windowmove \$window 330 300 windowactivate \$window 2>/dev/null || true
  sleep 1
  import -window root '$out/viewer-$lang.png'
  eval \$(xdotool getwindowgeometry --shell \$window)
  cx=\$((X + WIDTH / 2)); cy=\$((Y + HEIGHT / 2 - 30))
  xdotool mousemove \$cx \$cy click 4 click 4 click 4
  sleep 2
  import -window root '$out/viewer-zoomed-$lang.png'
  xdotool mousemove \$((cx - 150)) \$cy mousedown 1 mousemove \$((cx - 60)) \$cy \
    mousemove \$((cx + 120)) \$cy mouseup 1
  sleep 3
  import -window root '$out/viewer-pick-$lang.png'
  xdotool key Escape
  sleep 1
  kill \$gui
"
rm -rf "$home"
echo "wrote the screenshots in $out"
# The overlay: Analysis > Overlay Nodes, every node of the test picked in the chooser.
home=$(mktemp -d)
sample="$home/sample"
export TORVWY_HOME="$home"
"$build/bin/torvwy" gen --data "$sample" --test demo --code 1 --nodes 4 --blocks 200 >/dev/null
xvfb-run -a -s "-screen 0 1400x900x24" bash -c "
  '$build/bin/torvwy-gui' --data '$sample' --test demo --code 1 --node 1 --rainflow &
  gui=\$!
  sleep 6
  xdotool key Return
  sleep 5
  xdotool mousemove 600 450 click 1
  xdotool key ctrl+shift+l ctrl+shift+o   # the log axis, then the node chooser
  sleep 3
  import -window root '$out/overlay-chooser-$lang.png'
  for y in 324 338 352 366; do        # every node listed, Ctrl held after the first
    xdotool mousemove 430 \$y
    sleep 0.3
    if [ \$y -eq 324 ]; then xdotool click 1; else xdotool keydown ctrl click 1 keyup ctrl; fi
  done
  sleep 1
  import -window root '$out/overlay-chooser-$lang.png'
  xdotool key Return
  sleep 8
  import -window root '$out/overlay-$lang.png'
  kill \$gui
"
rm -rf "$home"
