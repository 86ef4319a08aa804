#!/usr/bin/env bash
# Draws the pictures of the built-in sample test with the torvwy command: the three analyses in
# English and the peak counting in Chinese. The user guide shows the ones in docs/pictures/.
#
#   bash scripts/make-pictures.sh [TORVWY [FOLDER]]   (default: build/release/bin/torvwy,
#                                                      docs/pictures)
set -euo pipefail
cd "$(dirname "$0")/.."

torvwy=${1:-build/release/bin/torvwy}
out=${2:-docs/pictures}
work=$(mktemp -d "${TMPDIR:-/tmp}/torvwy-pictures-XXXXXX")
trap 'rm -rf "$work"' EXIT
# A private host folder: the pictures get the default colours, whatever the user's profile says.
export TORVWY_HOME="$work/home"

"$torvwy" gen --data "$work/sample" --test demo --code 1 --nodes 4 --blocks 200 >/dev/null
mkdir -p "$out"
node=(--data "$work/sample" --test demo --code 1)
"$torvwy" peak "${node[@]}" --node 3 --partitions 20 --separate --lang en \
  --picture "$out/peak-en.png" >/dev/null
"$torvwy" range "${node[@]}" --node 4 --blocks 1-100 --partitions 24 --lang en \
  --picture "$out/range-en.png" >/dev/null
"$torvwy" rainflow "${node[@]}" --node 2 --partitions 24 --lang en \
  --picture "$out/rainflow-en.png" >/dev/null
"$torvwy" peak "${node[@]}" --node 1 --partitions 20 --lang zh \
  --picture "$out/peak-zh.png" >/dev/null
echo "pictures of the sample test: $out/{peak-en,range-en,rainflow-en,peak-zh}.png"
