#!/usr/bin/env bash
# The reports and workbooks of the sample test: for each analysis the hand-over files written by
# torvwy, then a PDF and an HTML report (TorvRpt) and a CSV and an XLSX workbook (TorvEpt).
#
#   bash scripts/make-reports.sh [BIN [SAMPLE [FOLDER]]]   (default: build/release/bin,
#                                                          build/sample, build/reports)
set -euo pipefail
cd "$(dirname "$0")/.."

bin=${1:-build/release/bin}
sample=${2:-build/sample}
out=${3:-build/reports}
mkdir -p "$out"
node=(--data "$sample" --test demo --code 1)
report() {  # name, then the torvwy arguments
  local name=$1
  shift
  "$bin/torvwy" "$@" --report --export --no-launch >/dev/null
  "$bin/TorvRpt" --pdf "$out/$name.pdf" --html "$out/$name.html"
  "$bin/TorvEpt" --to "$out/$name.csv"
  "$bin/TorvEpt" --to "$out/$name.xlsx"
  echo "$name: $out/$name.pdf .html .csv .xlsx"
}
report peak peak "${node[@]}" --node 3 --partitions 12 --readout 3,6,9 --separate
report range range "${node[@]}" --node 4 --blocks 1-100 --partitions 12 --readout 5,6,7
report rainflow rainflow "${node[@]}" --node 2 --partitions 12 --readout 1,2,3
report stats stats "${node[@]/--code/--codes}" --nodes 1-4
