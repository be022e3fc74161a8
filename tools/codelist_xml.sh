#!/bin/sh
# Writes the XML water-system code list (WaterSystemCodeCd.xml, UTF-8) that hydrochart reads,
# from a CSV code list of "code,label" rows with a header line.
# Usage: tools/codelist_xml.sh data/WaterSystemCodeCd.csv > WaterSystemCodeCd.xml
set -eu
[ $# -eq 1 ] || { echo "usage: $0 CODELIST.csv" >&2; exit 2; }
awk -F, '
  BEGIN {
    print "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    print "<!-- 水系コード (WaterSystemCodeCd): 国土数値情報 コードリスト, 国土交通省 -->"
    print "<ksjc:CodeList xmlns:ksjc=\"http://nlftp.mlit.go.jp/ksj/schemas/ksj-codelist\">"
    print "\t<ksjc:WaterSystemCodeCd>"
  }
  NR > 1 {
    sub(/\r$/, "")
    if ($1 !~ /^[0-9]+$/ || NF != 2) { print "bad row " NR ": " $0 > "/dev/stderr"; exit 1 }
    label = $2
    gsub(/&/, "\\&amp;", label); gsub(/</, "\\&lt;", label); gsub(/"/, "\\&quot;", label)
    printf "\t\t\t\t<codelabel label=\"%s\" code=\"%s\" />\n", label, $1
  }
  END {
    print "\t</ksjc:WaterSystemCodeCd>"
    print "</ksjc:CodeList>"
  }' "$1"
