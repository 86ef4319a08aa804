#!/usr/bin/env bash
# Screenshots of the desktop under Xvfb in English and Chinese at 500x380 and 1400x900: the
# control panel in a small window, the Save Result replace question, the report window, Exit
# during a pass and the overlay of nodes on the log count axis, into OUT (default
# build/shots-desk). Captured with ImageMagick's import; keys and clicks come from xdotool.
# There is no window manager: keys go to the window under the pointer, so every key is sent
# after the pointer is put on the window that should take it. Needs a build in build/test (or
# $BUILD).
# Usage: scripts/screenshot-desk.sh [OUT]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/screenshot-packages.sh
build=$(realpath "${BUILD:-build/test}")
out=$(realpath -m "${1:-build/shots-desk}")

if [ -z "${SHOT_SIZE:-}" ]; then
  shoot_each_language_and_size "$0" "$out" 500x380 1400x900
  exit 0
fi

# Inside Xvfb, in a home of its own.
tag="$TORVWY_LANG-$SHOT_SIZE"
sample="$TORVWY_HOME/sample"
"$build/bin/torvwy" gen --data "$sample" --test demo --code 1 --nodes 4 --blocks 200 >/dev/null
# A long record: 200 blocks of the generator, then zeros up to 2^24 half blocks (16 GB of int16,
# stored sparsely), so that a pass runs for seconds.
"$build/bin/torvwy" gen --data "$sample" --test long --code 1 --nodes 1 --blocks 200 >/dev/null
sed -i 's/^Length=.*/Length=16777216/' "$sample/long1#1.tsp"
truncate -s $((16777216 * 512 * 2)) "$sample/long1#1.sts"

shot() { import -window root "$out/$1-$tag.png"; }
# Every visible window of the desktop and its companions (by name, since a companion is a
# process of its own), one id a line.
windows() { xdotool search --onlyvisible --name '.' 2>/dev/null | sort || true; }
# Waits up to 20 s for $1 (default 1) windows not in $seen, sets $win to the newest ($first to
# the oldest) and puts the pointer on its middle.
await() {
  local fresh
  for _ in $(seq 100); do
    fresh=$(comm -13 <(echo "$seen") <(windows))
    [ "$(echo "$fresh" | grep -c .)" -ge "${1:-1}" ] && break
    sleep 0.2
  done
  win=$(echo "$fresh" | tail -1) first=$(echo "$fresh" | head -1)
  [ -n "$win" ] || { echo "no new window for $tag" >&2; return 1; }
  seen=$(windows)
  sleep 1 # drawn
  point 5 5
}
# Puts the pointer on $win at fractions $1/10, $2/10 of its size.
point() {
  eval "$(xdotool getwindowgeometry --shell "$win")"
  xdotool mousemove $((X + WIDTH * $1 / 10)) $((Y + HEIGHT * $2 / 10))
}
# Clicks $win at fractions $1/10, $2/10: a closed dialog leaves the focus nowhere.
click() { point "$1" "$2" && xdotool click 1 && sleep 0.5; }
# Starts the desktop on node 1 of test $1 for the counting $2, answers the setup dialog with its
# defaults and puts the pointer on the analysis window.
start() {
  seen=$(windows)
  "$build/bin/torvwy-gui" --data "$sample" --test "$1" --code 1 --node 1 "--$2" &
  gui=$!
  await 2 # the main window and the setup dialog
  main=$first
  xdotool key Return
  win=$main
}
stop() { kill "$gui" 2>/dev/null || true; wait "$gui" 2>/dev/null || true; }

# The control panel of a peak window; Save Result over another run's file; the report.
start demo peak
sleep 3
click 6 6
shot panel
echo 'another run' >"$sample/demo1#1.PCM"
xdotool key ctrl+s
await
shot replace-question
xdotool key Escape
sleep 1
win=$main
click 6 6
xdotool key ctrl+r
await
shot report
kill "$(xdotool getwindowpid "$win")" 2>/dev/null || true
stop

# Exit during a long pass: the progress dialog is up as File > Exit is chosen.
start long rainflow
sleep 1
shot during-pass
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove $((X + 20)) $((Y + 8)) click 1  # the File menu, the menu bar's first
sleep 1
shot exit-during-pass
xdotool key Up Return  # Exit, the menu's last item
sleep 3
shot after-exit
for _ in $(seq 50); do kill -0 "$gui" 2>/dev/null && sleep 0.2; done
if kill -0 "$gui" 2>/dev/null; then echo "the desktop still runs 13 s after Exit ($tag)" >&2; fi
stop

# The overlay of every node of demo, on the log axis: the chooser's list is clicked, then all.
start demo rainflow
sleep 3
click 6 6
xdotool key ctrl+shift+l ctrl+shift+o
await
click 5 7
xdotool key ctrl+a
sleep 1
shot overlay-chooser
xdotool key Return
await
shot overlay
stop
