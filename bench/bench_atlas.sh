#!/usr/bin/env bash
# Times the atlas page against the map page of the same selection in headless Chromium, side by
# side in one run: a generated data file of a prefecture's size (tools/gen_w05: 7,600 streams in
# 60 water systems, 40 positions per curve, about 300,000 positions), one page of all its water
# systems in each style, opened in turn (bench/atlas_timing.js: offline, Leaflet from the npm
# package of tests/browser, tiles answered with a blank image). Prints the page sizes, DOM
# nodes, the median load, zoom-step and pan times, and the ratios atlas / map page with their
# targets: load at most 0.4, zoom step at most 0.5, pan at most 0.3.
#
# Usage: bench/bench_atlas.sh [--build DIR] [--runs N] [--streams N] [--keep]
#   --build DIR   build directory holding hydrochart/hydrochart and tools/gen_w05 (default: build)
#   --runs N      page opens per style; the median is kept (default: 5)
#   --streams N   streams of the generated file (default: 7600)
#   --keep        keep the data file and the pages (their folder is printed)
# Needs scripts/browser-setup.sh (Chromium and the npm packages of tests/browser).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build"
runs=5
streams=7600
keep=0
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --streams) streams=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    -h|--help) sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "bench_atlas.sh: unknown option $1" >&2; exit 2 ;;
  esac
done

hydrochart="$build/hydrochart/hydrochart"
gen="$build/tools/gen_w05"
for tool in "$hydrochart" "$gen"; do
  [ -x "$tool" ] || { echo "bench_atlas.sh: $tool not found" >&2; exit 1; }
done
[ -d "$here/tests/browser/node_modules/playwright-core" ] ||
  { echo "bench_atlas.sh: run scripts/browser-setup.sh first" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/bench_atlas.XXXXXX")
if [ "$keep" = 1 ]; then echo "files kept in $work"; else trap 'rm -rf "$work"' EXIT; fi
file="$work/W05-00_01-g.xml"
codes=$("$gen" --streams "$streams" --water-systems 60 --positions-per-curve 40 --seed 7 \
          --out "$file" --list-codes)
# shellcheck disable=SC2086  # the codes are separate arguments
(cd "$work" && "$hydrochart" "$file" map.htm "全水系" $codes >/dev/null &&
   "$hydrochart" --atlas "$file" atlas.htm "全水系" $codes >/dev/null)
positions=$(grep -c '^[0-9]' "$file" || true)
echo "data: $streams streams in 60 water systems, $positions positions"
node "$here/bench/atlas_timing.js" --runs "$runs" "$work/map.htm" "$work/atlas.htm" | tee "$work/timing.txt"
result=$(sed -n 's/^RESULT //p' "$work/timing.txt")
node -e '
  const [map, atlas] = JSON.parse(process.argv[1]);
  const targets = { load: 0.4, zoom: 0.5, pan: 0.3 };
  for (const [key, target] of Object.entries(targets)) {
    const ratio = atlas[key] / map[key];
    console.log(`${key.padEnd(5)} atlas/map ${ratio.toFixed(2)} (target at most ${target}: ${ratio <= target ? "met" : "missed"})`);
  }' "$result"
