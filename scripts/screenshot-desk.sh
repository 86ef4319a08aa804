#!/usr/bin/env bash
# Screenshots of the desktop under Xvfb in English and Chinese at 500x380 and 1400x900: the
# control panel in a small window, Exit during a pass, the Save Result replace question, the
# report window and the overlay of nodes, into OUT (default /work/logs/shots-28c). Captured with
# ImageMagick's import; keys come from xdotool. Needs a build in build/test (or $BUILD).
# Usage: scripts/screenshot-desk.sh [OUT]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${BUILD:-build/test}")
out=$(realpath -m "${1:-/work/logs/shots-28c}")
mkdir -p "$out"
for lang in en zh; do
  for size in 500x380 1400x900; do
    home=$(mktemp -d)
    sample="$home/sample"
    export TORVWY_HOME="$home" TORVWY_LANG="$lang"
    "$build/bin/torvwy" gen --data "$sample" --test demo --code 1 --nodes 4 --blocks 200 >/dev/null
    "$build/bin/torvwy" gen --data "$sample" --test long --code 1 --nodes 1 --blocks 150000 \
      >/dev/null
    tag="$lang-$size"
    w=${size%x*}; h=${size#*x}
    cx=$((w * 3 / 5)); cy=$((h * 3 / 5))   # a point on the analysis window, to focus it
    xvfb-run -a -s "-screen 0 ${size}x24" bash -c "
      shot() { import -window root '$out/'\$1'-$tag.png'; }
      # The control panel of a peak window, and Save Result over another run's file.
      '$build/bin/torvwy-gui' --data '$sample' --test demo --code 1 --node 1 --peak &
      gui=\$!
      sleep 6
      xdotool key Return
      sleep 4
      xdotool mousemove $cx $cy click 1
      sleep 1
      shot panel
      echo 'another run' > '$sample/demo1#1.PCM'
      xdotool key ctrl+s
      sleep 2
      shot replace-question
      xdotool key Escape
      sleep 1
      xdotool key ctrl+r          # the report of the window
      sleep 5
      shot report
      kill \$gui; wait \$gui 2>/dev/null || true
      # Exit during a long pass: the progress dialog up as File > Exit is chosen.
      '$build/bin/torvwy-gui' --data '$sample' --test long --code 1 --node 1 --rainflow &
      gui=\$!
      sleep 6
      xdotool mousemove $cx $cy key Return
      sleep 0.5
      xdotool key alt+f
      sleep 0.5
      shot exit-during-pass
      xdotool key Up Return       # Exit, the menu's last item
      sleep 3
      shot after-exit
      kill \$gui 2>/dev/null || true
      # The overlay of every node of demo, on the log axis.
      '$build/bin/torvwy-gui' --data '$sample' --test demo --code 1 --node 1 --rainflow &
      gui=\$!
      sleep 6
      xdotool key Return
      sleep 5
      xdotool mousemove $cx $cy click 1
      xdotool key ctrl+shift+o
      sleep 3
      xdotool key Tab ctrl+a
      sleep 1
      shot overlay-chooser
      xdotool key Return
      sleep 8
      shot overlay
      kill \$gui 2>/dev/null || true
    " || true
    rm -rf "$home"
  done
done
echo "wrote the screenshots in $out"
