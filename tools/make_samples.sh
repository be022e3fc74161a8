#!/usr/bin/env bash
# Rebuilds the two bundled sample files sample/W05-09_13-g.xml and sample/W05-09_14-g.xml:
# gen_w05 makes the rivers, then each river gets a familiar name of its prefecture, the last
# river of water system 130010 gets a code ending in 0000, and a comment over several lines is
# added after the header. Usage: tools/make_samples.sh [build dir]   (default: build)
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$here/build"}
gen="$build/tools/gen_w05"
[ -x "$gen" ] || { echo "make_samples.sh: $gen not found (build the gen_w05 target)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# $1 generated file, $2 output, $3 prefecture comment, $4 code renames, $5 names (code=name ...)
finish() {
  awk -v note="$3" -v renames="$4" -v names="$5" '
    BEGIN {
      n = split(renames, pairs, " "); for (i = 1; i <= n; i++) { split(pairs[i], kv, "="); renamed[kv[1]] = kv[2] }
      n = split(names, pairs, " "); for (i = 1; i <= n; i++) { split(pairs[i], kv, "="); named[kv[1]] = kv[2] }
    }
    NR == 2 { print "<!-- " note " -->"; next }
    /<ksj:riverCode / {
      match($0, /[0-9]+<\/ksj:riverCode>/)
      code = substr($0, RSTART, RLENGTH - 16)
      if (code in renamed) { sub(code "<", renamed[code] "<"); code = renamed[code] }
    }
    /<ksj:riverName>/ && (code in named) {
      sub(/<ksj:riverName>.*<\/ksj:riverName>/, "<ksj:riverName>" named[code] "</ksj:riverName>")
    }
    { print }
    /^<\/gml:boundedBy>/ {
      print "<!--"
      print "  Positions are latitude and longitude in degrees (JGD2000), one pair per line."
      print "-->"
    }
  ' "$1" > "$2"
}

"$gen" --streams 28 --water-systems 4 --positions-per-curve 30 --first-code 130010 \
  --area 35.55,139.25,35.8,139.85 --seed 13 --out "$work/13.xml"
finish "$work/13.xml" "$here/sample/W05-09_13-g.xml" \
  "Synthetic sample data (Tokyo, 13): invented river lines made by gen_w05, not survey data." \
  "1300100003=1300100000" \
  "1300100001=多摩川 1300100002=浅川 1300100000=野川 1300110001=荒川 1300110002=隅田川 1300110003=石神井川 1300120001=中川 1300120002=綾瀬川 1300120003=新中川 1300130001=江戸川 1300130002=旧江戸川 1300130003=新川"

"$gen" --streams 16 --water-systems 3 --positions-per-curve 30 --first-code 140010 \
  --area 35.3,139.15,35.55,139.65 --seed 14 --out "$work/14.xml"
finish "$work/14.xml" "$here/sample/W05-09_14-g.xml" \
  "Synthetic sample data (Kanagawa, 14): invented river lines made by gen_w05, not survey data." \
  "" \
  "1400100001=相模川 1400100002=中津川 1400100003=小鮎川 1400110001=鶴見川 1400110002=恩田川 1400110003=早渕川 1400110004=矢上川 1400120001=境川 1400120002=柏尾川 1400120003=引地川"
