#!/usr/bin/env bash
# Times hydrochart on large synthetic W05 files against parsing the same files with lxml.
#
# For each data size (1x is about 100 MB: 2,000,000 positions, 50,000 streams, 700 water
# systems) it generates a file with gen_w05 and takes the best of several runs of
#   lxml     /usr/bin/python3 -c "import lxml.etree as E; E.parse(F)"
#   page     hydrochart F out.htm "" <every water-system code of F>
#   all      hydrochart F "*"        (one page per water system)
# measuring wall time and peak RSS with /usr/bin/time. It prints the figures and the ratios
# run time / lxml time, peak RSS / file size, and time(Nx) / time(1x).
#
# Usage: bench/bench_hydrochart.sh [--build DIR] [--runs N] [--sizes "1 2 4"] [--keep]
#   --build DIR   build directory holding hydrochart/hydrochart and tools/gen_w05 (default: build)
#   --runs N      runs per measurement, the best is kept (default: 3)
#   --sizes LIST  data sizes as multiples of the 100 MB file (default: "1 2 4")
#   --keep        keep the generated files (their folder is printed)
#   --tmp DIR     where the files and pages go (default: /tmp). A RAM-backed folder such as
#                 /dev/shm keeps the disk's writeback out of the figures.
#   --windows     instead: the Windows build's hydrochart.exe under Wine against the Linux
#                 binary, every-water-system mode of the 1x file, in the same run
#                 (scripts/build-windows.sh first; --windows-build DIR, default build-win/build)
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build"
runs=3
sizes="1 2 4"
keep=0
tmpdir=/tmp
windows=0
windows_build="$here/build-win/build"

# ---- Windows build under Wine (--windows) -------------------------------------------------
# hydrochart.exe under Wine against the Linux hydrochart on the same 1x file, every-water-system
# mode, best of $runs each, alternating so that both see the same machine state. Target: the
# Windows run takes at most 1.5 times the Linux run.
bench_windows() {
  local exe="$windows_build/hydrochart/hydrochart.exe" linux="$build/hydrochart/hydrochart"
  local gen="$build/tools/gen_w05" wine="$here/scripts/wine-run.sh"
  for tool in "$exe" "$linux" "$gen" /usr/bin/time; do
    [ -e "$tool" ] || { echo "bench_hydrochart.sh: $tool not found" >&2; exit 1; }
  done
  local work
  work=$(mktemp -d "$tmpdir/bench_windows.XXXXXX")
  # shellcheck disable=SC2064  # the folder is fixed now
  trap "rm -rf '$work'" EXIT
  local file="$work/W05-00_01-g.xml"
  "$gen" --streams 50000 --water-systems 700 --positions-per-curve 40 --seed 1 --out "$file" \
    --list-codes >/dev/null
  "$wine" cmd /c exit 0 >/dev/null 2>&1 || true  # the Wine prefix and server are up before timing
  local best_linux="" best_wine="" t i
  for ((i = 0; i < runs; i++)); do
    rm -rf "${file%.xml}_html"
    (cd "$work" && /usr/bin/time -f %e -o "$work/t" "$linux" "$file" "*" >/dev/null)
    t=$(tail -n 1 "$work/t")
    if [ -z "$best_linux" ] || awk -v a="$t" -v b="$best_linux" 'BEGIN { exit !(a < b) }'; then best_linux=$t; fi
    rm -rf "${file%.xml}_html"
    (cd "$work" && /usr/bin/time -f %e -o "$work/t" "$wine" "$exe" "$(basename "$file")" "*" >/dev/null)
    t=$(tail -n 1 "$work/t")
    if [ -z "$best_wine" ] || awk -v a="$t" -v b="$best_wine" 'BEGIN { exit !(a < b) }'; then best_wine=$t; fi
  done
  local pages
  pages=$(find "${file%.xml}_html" -name '*.htm' | wc -l)
  printf "file %.1f MB, %d pages per run, best of %d\n" "$(awk -v b="$(stat -c %s "$file")" 'BEGIN { print b / 1048576 }')" "$pages" "$runs"
  printf "%-28s %8s s\n" "Linux hydrochart" "$best_linux" "hydrochart.exe under Wine" "$best_wine"
  awk -v w="$best_wine" -v l="$best_linux" \
    'BEGIN { r = w / l; printf "ratio Wine/Linux %.2f (target at most 1.50: %s)\n", r, r <= 1.5 ? "met" : "missed" }'
}
# ---- end of the Windows build part ---------------------------------------------------------
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --sizes) sizes=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    --tmp) tmpdir=$2; shift 2 ;;
    --windows) windows=1; shift ;;
    --windows-build) windows_build=$(cd "$2" && pwd); shift 2 ;;
    -h|--help) sed -n '2,21p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "bench_hydrochart.sh: unknown option $1" >&2; exit 2 ;;
  esac
done

if [ "$windows" = 1 ]; then
  bench_windows
  exit 0
fi

hydrochart="$build/hydrochart/hydrochart"
gen="$build/tools/gen_w05"
python=/usr/bin/python3
for tool in "$gen" /usr/bin/time "$python"; do
  [ -x "$tool" ] || { echo "bench_hydrochart.sh: $tool not found" >&2; exit 1; }
done
"$python" -c "import lxml.etree" 2>/dev/null ||
  { echo "bench_hydrochart.sh: python3-lxml is not installed" >&2; exit 1; }
have_hydrochart=1
if [ ! -x "$hydrochart" ]; then
  echo "note: $hydrochart not found; only lxml is timed" >&2
  have_hydrochart=0
fi

work=$(mktemp -d "$tmpdir/bench_hydrochart.XXXXXX")
if [ "$keep" = 1 ]; then
  echo "files kept in $work"
else
  trap 'rm -rf "$work"' EXIT
fi

# best_of NAME COMMAND...: runs the command $runs times in $work; sets best_time (seconds)
# and best_rss (KB) to the fastest run and the largest peak RSS seen.
best_of() {
  local name=$1
  shift
  best_time=""
  best_rss=0
  local i line t m
  for ((i = 0; i < runs; i++)); do
    if ! (cd "$work" && /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >"$work/$name.out" 2>&1); then
      echo "bench_hydrochart.sh: '$name' failed; its output:" >&2
      tail -n 5 "$work/$name.out" >&2
      exit 1
    fi
    line=$(tail -n 1 "$work/time.txt")
    t=${line% *}
    m=${line#* }
    if [ -z "$best_time" ] || awk -v a="$t" -v b="$best_time" 'BEGIN { exit !(a < b) }'; then
      best_time=$t
    fi
    if [ "$m" -gt "$best_rss" ]; then best_rss=$m; fi
  done
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.3f", a / b; else printf "n/a" }'; }

declare -A time_of rss_of bytes_of
printf "%-5s %-6s %10s %9s %10s %12s %14s\n" size run seconds "peak MB" "file MB" "time/lxml" "peak RSS/file"
for size in $sizes; do
  file="$work/W05-00_0${size}-g.xml"
  codes=$("$gen" --streams $((50000 * size)) --water-systems $((700 * size)) \
            --positions-per-curve 40 --seed 1 --out "$file" --list-codes)
  bytes=$(stat -c %s "$file")
  bytes_of[$size]=$bytes

  best_of lxml "$python" -c "import lxml.etree as E; E.parse('$file')"
  time_of[$size,lxml]=$best_time
  rss_of[$size,lxml]=$best_rss
  kinds=lxml
  if [ "$have_hydrochart" = 1 ]; then
    # shellcheck disable=SC2086  # the codes are separate arguments
    best_of page "$hydrochart" "$file" "$work/out.htm" "" $codes
    time_of[$size,page]=$best_time
    rss_of[$size,page]=$best_rss
    best_of all "$hydrochart" "$file" "*"
    time_of[$size,all]=$best_time
    rss_of[$size,all]=$best_rss
    kinds="lxml page all"
  fi
  for kind in $kinds; do
    printf "%-5s %-6s %10s %9s %10s %12s %14s\n" "${size}x" "$kind" "${time_of[$size,$kind]}" \
      "$(awk -v k="${rss_of[$size,$kind]}" 'BEGIN { printf "%.1f", k / 1024 }')" \
      "$(awk -v b="$bytes" 'BEGIN { printf "%.1f", b / 1048576 }')" \
      "$(ratio "${time_of[$size,$kind]}" "${time_of[$size,lxml]}")" \
      "$(ratio "$((rss_of[$size,$kind] * 1024))" "$bytes")"
  done
  rm -rf "$file" "${file%.xml}_html" "$work/out.htm"
done

first=${sizes%% *}
echo
echo "scaling: time(Nx) / time(${first}x)"
for size in $sizes; do
  [ "$size" = "$first" ] && continue
  line="  ${size}x:"
  for kind in $kinds; do
    line="$line $kind=$(ratio "${time_of[$size,$kind]}" "${time_of[$first,$kind]}")"
  done
  echo "$line"
done
