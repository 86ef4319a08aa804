#!/usr/bin/env bash
# Installs what the project needs, builds it, writes the built-in sample test and shows the
# system at work on it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTORVWY_BUILD_TESTS=OFF >/dev/null
cmake --build build/release

torvwy=build/release/bin/torvwy
sample=build/sample
export TORVWY_HOME="$PWD/build/home"

echo "== torvwy gen: a sample test of four nodes =="
"$torvwy" gen --data "$sample" --test demo --code 1 --nodes 4 --blocks 200
echo
echo "== torvwy info: node 1 (a swept sine, with bookmarks) =="
"$torvwy" info --data "$sample" --test demo --code 1 --node 1
echo
echo "== torvwy peak: node 3 (plateaus and spikes on a DC offset) =="
"$torvwy" peak --data "$sample" --test demo --code 1 --node 3 --partitions 10
echo
echo "== torvwy range: node 4 (calibration factors other than 1), blocks 1-100 =="
"$torvwy" range --data "$sample" --test demo --code 1 --node 4 --blocks 1-100 --partitions 12
echo
echo "== torvwy rainflow: node 2 (narrow-band random load) with the fitted life estimate =="
"$torvwy" rainflow --data "$sample" --test demo --code 1 --node 2 --partitions 12 --save \
  --fatigue fitting --class F2 --reliability 2
echo
echo "== torvwy stats: amplitude indices of all four nodes, saved as an .aps list, and the three largest peak-to-peak values of nodes 1-2 =="
"$torvwy" stats --data "$sample" --test demo --codes 1 --nodes 1-4 --save
"$torvwy" stats --data "$sample" --test demo --codes 1 --nodes 1-2 --peak-peak 3
echo
echo "== torvwy import: a four-channel 24-bit WAV recording, every channel a node in one run =="
/usr/bin/python3 - "$sample/rig.wav" <<'PYTHON'
import sys
import numpy as np
import soundfile
t = np.arange(60_000) / 6000.0
rng = np.random.default_rng(1)
channels = [0.8 * np.sin(2 * np.pi * 3 * t), 0.5 * np.sign(np.sin(2 * np.pi * 0.5 * t)),
            0.6 * np.tanh(np.cumsum(rng.normal(0, 0.02, t.size)) / 3),
            0.3 * np.sin(2 * np.pi * (1 + t) * t)]
soundfile.write(sys.argv[1], np.column_stack(channels), 6000, subtype="PCM_24")
PYTHON
"$torvwy" import --input "$sample/rig.wav" --data "$sample" --test rig --code 1 --overwrite
"$torvwy" stats --data "$sample" --test rig --codes 1 --nodes ch1-ch4
echo
echo "== a test programme: 40 laps of node 1, 12 runs of node 3 and 300 brake stops at half the load of node 1, counted as one history =="
cat > build/track.programme <<'PROGRAMME'
[Programme]
Name=Track A
Partitions=64
Amplitude=full
Curve=bs7608:F2
[Event 1]
Data=sample
Test=demo
Code=1
Node=1
Repeats=40
Label=ride course
[Event 2]
Data=sample
Test=demo
Code=1
Node=3
Repeats=12
Label=pothole lane
[Event 3]
Data=sample
Test=demo
Code=1
Node=1
Repeats=300
Scale=0.5
Label=brake stop
Duration=20
PROGRAMME
"$torvwy" programme build/track.programme
echo
echo "== counting a running test: a ten-second record of a simulated rig, followed by rainflow as it grows =="
rm -f "$sample"/live1#1.*
"$torvwy" gen --data "$sample" --test live --code 1 --nodes 1 --rate 5000 --live 10 &
recorder=$!
while [ ! -e "$sample/live1#1.tsp" ]; do sleep 0.1; done
"$torvwy" rainflow --data "$sample" --test live --code 1 --node 1 --follow --amplitude full \
  --partitions 12 --fatigue actual --class F2 --idle 20 | grep -E "live:|^total"
wait "$recorder"
echo
echo "== the Python package: node 2 again, and the same values counted from a numpy array =="
PYTHONPATH=build/release/python /usr/bin/python3 - "$sample" <<'PYTHON'
import sys
import torvwy
node = torvwy.Node(sys.argv[1], "demo", "1", "2")
from_node = torvwy.rainflow(node, partitions=12)
from_array = torvwy.rainflow(node.samples(), partitions=12, frequency=node.info["frequency_hz"],
                             full_scale=node.info["full_scale_eu"])
print("rainflow of node 2: %g cycles, largest count %d" % (from_node.counts.sum(), from_node.largest))
print("the same values as an array: %g cycles, largest count %d"
      % (from_array.counts.sum(), from_array.largest))
PYTHON
echo
echo "== pictures, and reports as PDF and HTML with workbooks as CSV and XLSX =="
bash scripts/make-pictures.sh "$torvwy" build/pictures
bash scripts/make-reports.sh build/release/bin "$sample" build/reports
echo
echo "The desktop application: build/release/bin/torvwy-gui --data $sample --test demo --code 1 --node 3 --peak"
