#!/usr/bin/env bash
# Sets up, builds, and writes map pages from the bundled sample data into out/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target hydrochart fetchunpack
bin=$PWD/build/hydrochart/hydrochart

rm -rf out && mkdir out
cp sample/W05-*.xml sample/WaterSystemCodeCd.xml out/
cd out
# One page with a whole water system in automatic colours and one river in green.
"$bin" W05-09_13-g.xml rivers.htm "多摩川水系" 130010 1300100001/00ff00
# One page per water system of every sample file, then the index page over their folders.
"$bin" "W05-*.xml"
"$bin" create_index .
echo
echo "Open out/index.html (all water systems) or out/rivers.htm in a browser."
