#!/usr/bin/env bash
# Screenshots of the Test Programme window under Xvfb with a window manager (openbox), in English
# and Chinese at 500x380 and 1400x900, into OUT (default build/shots-programme): a programme of
# three events on the MPa nodes (1, 3, 5) of a generated test opened with --programme, its settings and events, then after
# Calculate (F5) the results table, the damage share of the events, and the range-mean and
# from-to matrices (the arrow keys on the tab bar). Captured with ImageMagick's import; keys come
# from xdotool. Needs a build in build/test (or $BUILD).
# Usage: scripts/screenshot-programme.sh [OUT]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/screenshot-packages.sh
build=$(realpath "${BUILD:-build/test}")
out=$(realpath -m "${1:-build/shots-programme}")

if [ -z "${SHOT_SIZE:-}" ]; then
  shoot_each_language_and_size "$0" "$out" 500x380 1400x900
  exit 0
fi

# Inside Xvfb, in a home of its own.
tag="$TORVWY_LANG-$SHOT_SIZE"
"$build/bin/torvwy" gen --data "$TORVWY_HOME/sample" --test demo --code 1 --nodes 5 \
  --blocks 100 >/dev/null
programme="$TORVWY_HOME/track.ini"
cat >"$programme" <<'INI'
[Programme]
Name=Track A
Partitions=64
Amplitude=auto
Residue=repeated
Curve=bs7608:F2
[Event 1]
Data=sample
Test=demo
Code=1
Node=1
Repeats=40
Scale=1
Label=ride course
Distance=2.5
[Event 2]
Data=sample
Test=demo
Code=1
Node=3
Repeats=12
Scale=1.5
Label=pothole
Distance=0.4
[Event 3]
Data=sample
Test=demo
Code=1
Node=5
Repeats=25
Scale=1.2
Label=braking
Distance=0.8
INI
openbox >/dev/null 2>&1 &
wm=$!
sleep 1
shot() { import -window root "$out/$1-$tag.png"; }

"$build/bin/torvwy-gui" --programme "$programme" &
gui=$!
sleep 5
xdotool key alt+w Down Return # Window › Tile: the one window fills the host
sleep 1
shot programme-setup
xdotool key F5 # Calculate: the results table follows
sleep 5
shot programme-results
xdotool key Right # the damage share
sleep 1
shot programme-share
xdotool key Right # the range-mean matrix
sleep 1
shot programme-range-mean
xdotool key Right # the from-to matrix
sleep 1
shot programme-from-to
kill "$gui"
wait "$gui" 2>/dev/null || true
kill "$wm" 2>/dev/null || true
