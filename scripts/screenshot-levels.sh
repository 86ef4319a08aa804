#!/usr/bin/env bash
# Screenshots of the level crossing, range-pair and time-at-level windows under Xvfb with a window
# manager (openbox), in English and Chinese at 500x380 and 1400x900, into OUT (default
# build/shots-levels): the level crossing setup dialog, then each window after its first count.
# Captured with ImageMagick's import; keys come from xdotool. Needs a build in build/test (or
# $BUILD).
# Usage: scripts/screenshot-levels.sh [OUT]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/screenshot-packages.sh
build=$(realpath "${BUILD:-build/test}")
out=$(realpath -m "${1:-build/shots-levels}")

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

# Opens the window of $1 on node 1; answers its setup dialog after `before` (a shell command run
# while the dialog shows), then shoots the window as $2.
window() {
  "$build/bin/torvwy-gui" --data "$sample" --test demo --code 1 --node 1 "--$1" &
  local gui=$!
  sleep 5
  eval "${before:-true}"
  xdotool key Return # the setup dialog: OK
  sleep 4
  shot "$2"
  kill "$gui"
  wait "$gui" 2>/dev/null || true
}

# The level crossing setup dialog with a level list and a gate typed in.
before="xdotool key alt+t && xdotool type -- '-40,-20,0,20,40' && xdotool key alt+g ctrl+a && \
  xdotool type 2 && sleep 0.5 && shot crossings-setup" window crossings crossings
before="" window time-at-level time-at-level
before="" window range-pairs range-pairs
kill "$wm" 2>/dev/null || true
