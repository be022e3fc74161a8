#!/usr/bin/env bash
# Times hydrochart on large synthetic W05 files against parsing the same files with lxml and
# against the copy floor: what merely reading the data file and copying the written pages costs
# in the same folder.
#
# For each folder and data size (1x is about 100 MB: 2,000,000 positions, 50,000 streams, 700
# water systems) it generates a file with gen_w05 and takes the best of several runs of
#   lxml     /usr/bin/python3 -c "import lxml.etree as E; E.parse(F)"
#   page     hydrochart F out.htm "" <every water-system code of F>
#   all      hydrochart F "*"        (one page per water system)
#   geojson  hydrochart --geojson F out.geojson   (every stream of F)
#   atlas    hydrochart --atlas F "*"   (one atlas page per water system)
#   load     hydrochart F empty.htm  (the load alone, and a page without rivers: the load's own
#            time and peak memory)
# and of their floors, each measured right after its run:
#   page     cat F > /dev/null, plus cp -r of a folder holding only out.htm into a fresh folder
#   all      cat F > /dev/null, plus cp -r of the folder of pages into a fresh folder (the
#            atlas run's floor likewise, of its own pages)
#   geojson  cat F > /dev/null, plus cp -r of a folder holding only out.geojson
# Like the floor's copy, each run writes fresh files: the previous run's output is removed
# first, outside the timing.
# measuring wall time (with the shell's clock) and peak RSS (with /usr/bin/time). It prints the
# figures and the ratios run time / floor, run time / lxml time, peak RSS / file size and
# time(Nx) / time(1x). For the GeoJSON export it also prints its targets: no slower than "all",
# within 2 x its floor, and a peak RSS within the load's own plus 16 MB. For the atlas pages it
# prints the ratio atlas / all and its target: at most 1.1.
#
# Then, in the first folder of --tmp, the every-water-system run of the 1x file written in each
# element order of --orders (gen_w05 --order), with its floor and lxml ratios, its ratio to the
# fastest order of the same exit status, and, with --baseline, the same run of another build's
# hydrochart, taking turns.
#
# Usage: bench/bench_hydrochart.sh [--build DIR] [--runs N] [--sizes "1 2 4"] [--tmp "DIR..."]
#                                  [--orders "ORDER..."] [--baseline DIR] [--atlas] [--keep]
#   --build DIR   build directory holding hydrochart/hydrochart and tools/gen_w05 (default: build)
#   --orders LIST element orders of the order runs, "" for none (default: curves,points,streams,nodes
#                 points,curves,nodes,streams streams,curves,points,nodes interleaved)
#   --baseline DIR  a second build directory (say, of main) whose hydrochart the order runs time too
#   --runs N      runs per measurement, the best is kept (default: 5)
#   --atlas       only the "all" and "atlas" runs (and no order runs): the atlas ratio alone
#   --sizes LIST  data sizes as multiples of the 100 MB file (default: "1 2 4")
#   --keep        keep the generated files (their folder is printed)
#   --tmp LIST    folders where the files and pages go, each measured in turn (default:
#                 "/dev/shm /tmp"). A RAM-backed folder such as /dev/shm keeps the disk's
#                 writeback out of the figures.
#   --no-lxml     skip the lxml parse (its ratio shows as n/a)
#   --windows     instead: the Windows build's hydrochart.exe under Wine against the Linux
#                 binary on the 1x file, the load alone and every water system, taking turns, in
#                 the first folder of --tmp; and each one's own work: its time less that of a
#                 program that only starts and writes the same files (write_files, and
#                 write_files.exe under Wine). scripts/build-windows.sh first; --windows-build
#                 DIR, default build-win/build
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build"
runs=5
sizes="1 2 4"
keep=0
tmpdirs="/dev/shm /tmp"
with_lxml=1
windows=0
windows_build="$here/build-win/build"
orders="curves,points,streams,nodes points,curves,nodes,streams streams,curves,points,nodes interleaved"
baseline=""
only_atlas=0

# smaller A B: the smaller of two times (A when B is empty).
smaller() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a + 0 < b + 0) ? a : b }'; }

# now_ns: the shell's clock in nanoseconds.
now_ns() { date +%s%N; }

# seconds_between START END: nanosecond stamps to seconds.
seconds_between() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.4f", (b - a) / 1e9 }'; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.3f", a / b; else printf "n/a" }'; }

# ---- Windows build under Wine (--windows) -------------------------------------------------
# hydrochart.exe under Wine against the Linux hydrochart on the same 1x file, best of $runs each,
# taking turns so that both see the same machine state, in two modes: the load alone (a page of
# no rivers) and every water system ("*").
# Each program's own work is its time less what any program pays there for the same files:
# write_files, which only starts and writes files of the same names and sizes (none for the
# load alone, the pages of "*"), as a Linux program and as write_files.exe under Wine.
# Targets: the exe's own work at most 1.3 times Linux's for the load alone, 1.5 times for "*".
bench_windows() {
  local exe="$windows_build/hydrochart/hydrochart.exe" linux="$build/hydrochart/hydrochart"
  local writer_exe="$windows_build/tools/write_files.exe" writer="$build/tools/write_files"
  local gen="$build/tools/gen_w05" wine="$here/scripts/wine-run.sh"
  for tool in "$exe" "$linux" "$writer_exe" "$writer" "$gen"; do
    [ -e "$tool" ] || { echo "bench_hydrochart.sh: $tool not found" >&2; exit 1; }
  done
  local work
  work=$(mktemp -d "${tmpdirs%% *}/bench_windows.XXXXXX")
  # shellcheck disable=SC2064  # the folder is fixed now
  trap "rm -rf '$work'" EXIT
  local file="$work/W05-00_01-g.xml" pages="$work/W05-00_01-g_html" data
  data=$(basename "$file")
  "$gen" --streams 50000 --water-systems 700 --positions-per-curve 40 --seed 1 --out "$file" \
    --list-codes >/dev/null
  "$wine" cmd /c exit 0 >/dev/null 2>&1 || true  # the Wine prefix and server are up before timing
  # The names and sizes of the pages, in the Windows build's file-name encoding (code page 932).
  (cd "$work" && "$linux" "$file" "*" >/dev/null)
  (cd "$pages" && for page in *.htm; do echo "$(stat -c %s "$page") $page"; done) \
    >"$work/pages-utf8.txt"
  iconv -f UTF-8 -t CP932 "$work/pages-utf8.txt" >"$work/pages-cp932.txt"
  : >"$work/none.txt"
  local -A best=()
  local i key
  # timed KEY COMMAND...: one run in $work after removing what the runs write; keeps the best.
  timed() {
    local key=$1 start end
    shift
    rm -rf "$pages" "$work/written" "$work/empty.htm"
    start=$(now_ns)
    (cd "$work" && "$@" >/dev/null 2>&1) || {
      echo "bench_hydrochart.sh: $key failed: $*" >&2
      exit 1
    }
    end=$(now_ns)
    best[$key]=$(smaller "$(seconds_between "$start" "$end")" "${best[$key]:-}")
  }
  for ((i = 0; i < runs; i++)); do
    timed linux,load "$linux" "$data" empty.htm
    timed wine,load "$wine" "$exe" "$data" empty.htm
    timed linux,start "$writer" none.txt written
    timed wine,start "$wine" "$writer_exe" none.txt written
    timed linux,all "$linux" "$data" "*"
    timed wine,all "$wine" "$exe" "$data" "*"
    timed linux,files "$writer" pages-utf8.txt written
    timed wine,files "$wine" "$writer_exe" pages-cp932.txt written
  done
  printf "file %.1f MB, %d pages, best of %d runs each, taking turns\n" \
    "$(awk -v b="$(stat -c %s "$file")" 'BEGIN { print b / 1048576 }')" \
    "$(wc -l <"$work/pages-utf8.txt")" "$runs"
  printf "%-54s %9s %9s\n" "" Linux "Wine"
  for key in load start all files; do
    local label
    case $key in
      load) label="load alone (hydrochart F empty.htm)" ;;
      start) label="  write_files, no files (start-up)" ;;
      all) label="every water system (hydrochart F \"*\")" ;;
      files) label="  write_files, the files of \"*\" (start-up + writing)" ;;
    esac
    printf "%-54s %9s %9s\n" "$label" "${best[linux,$key]}" "${best[wine,$key]}"
  done
  awk -v ll="${best[linux,load]}" -v wl="${best[wine,load]}" -v ls="${best[linux,start]}" \
      -v ws="${best[wine,start]}" -v la="${best[linux,all]}" -v wa="${best[wine,all]}" \
      -v lf="${best[linux,files]}" -v wf="${best[wine,files]}" 'BEGIN {
    lo = ll - ls; wo = wl - ws; ao = la - lf; bo = wa - wf
    printf "%-54s %9.4f %9.4f  ratio %.2f (target at most 1.3: %s)\n", "own work, load alone", lo, wo, wo / lo, wo <= 1.3 * lo ? "met" : "missed"
    printf "%-54s %9.4f %9.4f  ratio %.2f (target at most 1.5: %s)\n", "own work, every water system", ao, bo, bo / ao, bo <= 1.5 * ao ? "met" : "missed"
    printf "whole runs: Wine/Linux %.2f for the load alone, %.2f for \"*\"\n", wl / ll, wa / la
  }'
}
# ---- end of the Windows build part ---------------------------------------------------------
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --sizes) sizes=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    --tmp) tmpdirs=$2; shift 2 ;;
    --no-lxml) with_lxml=0; shift ;;
    --windows) windows=1; shift ;;
    --windows-build) windows_build=$(cd "$2" && pwd); shift 2 ;;
    --orders) orders=$2; shift 2 ;;
    --baseline) baseline=$(cd "$2" && pwd); shift 2 ;;
    --atlas) only_atlas=1; orders=""; shift ;;
    -h|--help) sed -n '2,50p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
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

check_tools() {
  local tool
  for tool in "$gen" /usr/bin/time "$python"; do
    [ -x "$tool" ] || { echo "bench_hydrochart.sh: $tool not found" >&2; exit 1; }
  done
  if [ "$with_lxml" = 1 ] && ! "$python" -c "import lxml.etree" 2>/dev/null; then
    echo "bench_hydrochart.sh: python3-lxml is not installed (or use --no-lxml)" >&2
    exit 1
  fi
  have_hydrochart=1
  if [ ! -x "$hydrochart" ]; then
    echo "note: $hydrochart not found; only lxml is timed" >&2
    have_hydrochart=0
  fi
}



# measure_run NAME COMMAND...: one run in $work; sets run_time (seconds) and run_rss (KB).
measure_run() {
  local name=$1
  shift
  local start end
  start=$(now_ns)
  run_status=0
  (cd "$work" && /usr/bin/time -q -f "%M" -o "$work/time.txt" "$@" >"$work/$name.out" 2>&1) ||
    run_status=$?
  end=$(now_ns)
  if [ "$run_status" -ne 0 ] && [ "$run_status" -ne "${accepted_status:-0}" ]; then
    echo "bench_hydrochart.sh: '$name' failed with status $run_status; its output:" >&2
    tail -n 5 "$work/$name.out" >&2
    exit 1
  fi
  run_time=$(seconds_between "$start" "$end")
  run_rss=$(tail -n 1 "$work/time.txt")
}

# measure_floor FILE SOURCE: one measurement of the copy floor of a run that read FILE and
# wrote the folder SOURCE: cat of FILE plus cp -r of SOURCE into a fresh folder. Sets floor_time.
measure_floor() {
  local file=$1 source=$2 copy="$work/floor_copy" start middle end
  rm -rf "$copy"
  start=$(now_ns)
  cat "$file" >/dev/null
  middle=$(now_ns)
  cp -r "$source" "$copy"
  end=$(now_ns)
  floor_time=$(seconds_between "$start" "$end")
  floor_copy_time=$(seconds_between "$middle" "$end")
  rm -rf "$copy"
}

# measure_kind KEY FLOOR_FILE FLOOR_SOURCE OUTPUT COMMAND...: one run of the command, followed
# by a floor measurement (none when FLOOR_SOURCE is empty); keeps in time_of[KEY] and
# floor_of[KEY] the fastest seen so far and in rss_of[KEY] the largest peak RSS. OUTPUT (a file or
# folder the command writes, or "") is removed before the run: the floor copies into a fresh
# folder, so each run writes fresh files too instead of also paying for replacing the previous
# run's.
measure_kind() {
  local key=$1 floor_file=$2 floor_source=$3 output=$4
  shift 4
  if [ -n "$output" ]; then rm -rf "$output"; fi
  measure_run "${key##*,}" "$@"
  time_of[$key]=$(smaller "$run_time" "${time_of[$key]:-}")
  if [ "$run_rss" -gt "${rss_of[$key]:-0}" ]; then rss_of[$key]=$run_rss; fi
  if [ -n "$floor_source" ]; then
    measure_floor "$floor_file" "$floor_source"
    floor_of[$key]=$(smaller "$floor_time" "${floor_of[$key]:-}")
    copy_of[$key]=$(smaller "$floor_copy_time" "${copy_of[$key]:-}")
  else
    floor_of[$key]=""
  fi
}

# bench_size DIR SIZE: generates the data file of SIZE in $work and measures every kind.
bench_size() {
  local dir=$1 size=$2
  local file="$work/W05-00_0${size}-g.xml" codes bytes kind
  codes=$("$gen" --streams $((50000 * size)) --water-systems $((700 * size)) \
            --positions-per-curve 40 --seed 1 --out "$file" --list-codes)
  bytes=$(stat -c %s "$file")
  bytes_of[$dir,$size]=$bytes

  kinds=""
  local i
  if [ "$have_hydrochart" = 1 ]; then
    # The page goes into a folder of its own, so that its floor copies that folder. The two
    # modes take turns, so that a slow spell of a shared machine meets both alike.
    mkdir -p "$work/page" "$work/geojson"
    for ((i = 0; i < runs; i++)); do
      if [ "$only_atlas" = 0 ]; then
        # shellcheck disable=SC2086  # the codes are separate arguments
        measure_kind "$dir,$size,page" "$file" "$work/page" "$work/page/out.htm" \
          "$hydrochart" "$file" "$work/page/out.htm" "" $codes
      fi
      measure_kind "$dir,$size,all" "$file" "${file%.xml}_html" "${file%.xml}_html" \
        "$hydrochart" "$file" "*"
      # The atlas pages go to the same folder; the run before is removed first, as for "all".
      measure_kind "$dir,$size,atlas" "$file" "${file%.xml}_html" "${file%.xml}_html" \
        "$hydrochart" --atlas "$file" "*"
      if [ "$only_atlas" = 0 ]; then
        measure_kind "$dir,$size,geojson" "$file" "$work/geojson" "$work/geojson/out.geojson" \
          "$hydrochart" --geojson "$file" "$work/geojson/out.geojson"
        measure_kind "$dir,$size,load" "" "" "$work/geojson/empty.htm" \
          "$hydrochart" "$file" "$work/geojson/empty.htm"
      fi
    done
    rm -rf "$work/page" "$work/geojson"
    if [ "$only_atlas" = 1 ]; then kinds="all atlas"; else kinds="page all atlas geojson load"; fi
  fi
  # lxml last: its runs take and free gigabytes, which the system is still sorting out for a
  # while afterwards.
  if [ "$with_lxml" = 1 ]; then
    for ((i = 0; i < runs; i++)); do
      measure_kind "$dir,$size,lxml" "" "" "" "$python" -c "import lxml.etree as E; E.parse('$file')"
    done
    kinds="lxml $kinds"
  fi
  for kind in $kinds; do
    print_row "$dir" "$size" "$kind"
  done
  if [ "$have_hydrochart" = 1 ]; then
    [ "$only_atlas" = 1 ] || print_geojson_targets "$dir" "$size"
    print_atlas_target "$dir" "$size"
  fi
  rm -rf "$file" "${file%.xml}_html"
}

# print_geojson_targets DIR SIZE: the targets of the GeoJSON export of every stream.
print_geojson_targets() {
  local key="$1,$2"
  awk -v g="${time_of[$key,geojson]}" -v a="${time_of[$key,all]}" -v f="${floor_of[$key,geojson]}" \
      -v lo="${time_of[$key,load]}" -v c="${copy_of[$key,geojson]}" \
      -v r="${rss_of[$key,geojson]}" -v l="${rss_of[$key,load]}" -v size="$2" 'BEGIN {
    printf "  geojson %sx: /all %.3f (target at most 1: %s), /floor %.3f (target at most 2: %s),", size, g / a, g <= a ? "met" : "missed", g / f, g <= 2 * f ? "met" : "missed"
    printf " peak %+.1f MB over the load (target at most +16: %s)\n", (r - l) / 1024, r - l <= 16 * 1024 ? "met" : "missed"
    printf "  geojson %sx: the load alone (%.4f s) plus the floor\x27s copy of the output (%.4f s) is %.3f x the floor\n", size, lo, c, (lo + c) / f
  }'
}

# print_atlas_target DIR SIZE: the atlas pages of every water system against the map pages.
print_atlas_target() {
  local key="$1,$2"
  awk -v t="${time_of[$key,atlas]}" -v a="${time_of[$key,all]}" -v size="$2" 'BEGIN {
    printf "  atlas %sx: /all %.3f (target at most 1.1: %s)\n", size, t / a, t <= 1.1 * a ? "met" : "missed"
  }'
}

print_header() {
  printf "%-9s %-5s %-5s %8s %8s %8s %9s %8s %10s %9s\n" folder size run seconds floor \
    "/floor" "/lxml" "peak MB" "file MB" "peak/file"
}

print_row() {
  local dir=$1 size=$2 kind=$3
  local t=${time_of[$dir,$size,$kind]} f=${floor_of[$dir,$size,$kind]}
  local lxml=${time_of[$dir,$size,lxml]:-} bytes=${bytes_of[$dir,$size]}
  printf "%-9s %-5s %-5s %8s %8s %8s %9s %8s %10s %9s\n" "$dir" "${size}x" "$kind" "$t" \
    "${f:--}" "$( [ -n "$f" ] && ratio "$t" "$f" || echo -)" \
    "$( [ -n "$lxml" ] && ratio "$t" "$lxml" || echo n/a)" \
    "$(awk -v k="${rss_of[$dir,$size,$kind]}" 'BEGIN { printf "%.1f", k / 1024 }')" \
    "$(awk -v b="$bytes" 'BEGIN { printf "%.1f", b / 1048576 }')" \
    "$(ratio "$((rss_of[$dir,$size,$kind] * 1024))" "$bytes")"
}

# print_scaling DIR: time(Nx) / time(first size) of every kind in DIR.
print_scaling() {
  local dir=$1 first=${sizes%% *} size line kind
  echo "scaling in $dir: time(Nx) / time(${first}x)"
  for size in $sizes; do
    [ "$size" = "$first" ] && continue
    line="  ${size}x:"
    for kind in $kinds; do
      line="$line $kind=$(ratio "${time_of[$dir,$size,$kind]}" "${time_of[$dir,$first,$kind]}")"
    done
    echo "$line"
  done
}

# bench_orders DIR: the every-water-system run of the 1x file in each order of $orders, in a fresh
# work folder under DIR; with $baseline, that build's run takes turns with this one's.
bench_orders() {
  local dir=$1 order file i key status base="$baseline/hydrochart/hydrochart"
  local -A fastest=() slowest=()
  [ -z "$baseline" ] || [ -x "$base" ] || { echo "bench_hydrochart.sh: $base not found" >&2; exit 1; }
  work=$(mktemp -d "$dir/bench_orders.XXXXXX")
  # Every order's file is written first and the runs then go round the orders, so that a slow
  # spell of a shared machine meets every order alike instead of the ones it happens to fall on.
  for order in $orders; do
    mkdir "$work/$order"
    "$gen" --streams 50000 --water-systems 700 --positions-per-curve 40 --seed 1 \
      --order "$order" --out "$work/$order/W05-00_01-g.xml" >/dev/null
    bytes_of[$dir,$order]=$(stat -c %s "$work/$order/W05-00_01-g.xml")
  done
  # In an order where river nodes come before the points they name, the load drops them, as
  # one pass through the file does, and the streams that use them fail: status 1. That is the
  # result to time too; the baseline, when there is one, must print the same.
  accepted_status=1
  for ((i = 0; i < runs; i++)); do
    for order in $orders; do
      file="$work/$order/W05-00_01-g.xml"
      measure_kind "$dir,$order,all" "$file" "${file%.xml}_html" "${file%.xml}_html" \
        "$hydrochart" "$file" "*"
      status_of[$dir,$order]=$run_status
      if [ -n "$baseline" ]; then
        measure_kind "$dir,$order,base" "$file" "${file%.xml}_html" "${file%.xml}_html" \
          "$base" "$file" "*"
        if ! cmp -s "$work/all.out" "$work/base.out" || [ "$run_status" != "${status_of[$dir,$order]}" ]; then
          echo "bench_hydrochart.sh: $order: this build and the baseline print different reports" >&2
          diff "$work/all.out" "$work/base.out" | head -n 5 >&2
          exit 1
        fi
      fi
    done
  done
  accepted_status=0
  for order in $orders; do
    file="$work/$order/W05-00_01-g.xml"
    if [ "$with_lxml" = 1 ]; then
      for ((i = 0; i < runs; i++)); do
        measure_kind "$dir,$order,lxml" "" "" "" "$python" -c "import lxml.etree as E; E.parse('$file')"
      done
    fi
    status=${status_of[$dir,$order]}
    fastest[$status]=$(smaller "${time_of[$dir,$order,all]}" "${fastest[$status]:-}")
    slowest[$status]=$(awk -v a="${time_of[$dir,$order,all]}" -v b="${slowest[$status]:-0}" \
      'BEGIN { print (a > b ? a : b) }')
    rm -rf "$work/$order"
  done
  rm -rf "$work"
  work=""
  echo
  echo "every water system (\"*\") of the 1x file by element order, in $dir:"
  printf "%-30s %-5s %8s %8s %8s %8s %9s %7s\n" order run seconds floor /floor /lxml /fastest status
  for order in $orders; do
    for key in all ${baseline:+base}; do
      local t=${time_of[$dir,$order,$key]} f=${floor_of[$dir,$order,$key]}
      local lxml=${time_of[$dir,$order,lxml]:-}
      printf "%-30s %-5s %8s %8s %8s %8s %9s %7s\n" "$order" "$key" "$t" "$f" "$(ratio "$t" "$f")" \
        "$( [ -n "$lxml" ] && ratio "$t" "$lxml" || echo n/a)" \
        "$(ratio "$t" "${fastest[${status_of[$dir,$order]}]}")" \
        "${status_of[$dir,$order]}"
    done
  done
  echo "(status 1: river nodes before their points, dropped as one pass drops them; with a"
  echo " baseline, both builds printed the same report in every run)"
  local first=${orders%% *}
  # Orders of the same status do the same work, so each is held against the fastest of its kind.
  for status in "${!fastest[@]}"; do
    awk -v f="${fastest[$status]}" -v s="${slowest[$status]}" -v st="$status" 'BEGIN {
      r = s / f
      printf "status %s: slowest order / fastest %.3f (target at most 1.15: %s)\n", st, r, r <= 1.15 ? "met" : "missed" }'
  done
  if [ -n "$baseline" ] && [ -n "${fastest[0]:-}" ]; then
    awk -v f="${fastest[0]}" -v b="${time_of[$dir,$first,base]}" -v o="$first" \
      'BEGIN { r = f / b; printf "fastest order / baseline on %s %.3f (target at most 1: %s)\n", o, r, r <= 1 ? "met" : "missed" }'
  fi
}

# bench_folder DIR: every size in a fresh work folder under DIR.
bench_folder() {
  local dir=$1 size
  work=$(mktemp -d "$dir/bench_hydrochart.XXXXXX")
  if [ "$keep" = 1 ]; then echo "files kept in $work"; fi
  for size in $sizes; do
    bench_size "$dir" "$size"
  done
  if [ "$keep" != 1 ]; then rm -rf "$work"; fi
  work=""
}

check_tools
declare -A time_of floor_of copy_of rss_of bytes_of status_of
work=""
trap '[ -n "$work" ] && [ "$keep" != 1 ] && rm -rf "$work"' EXIT
echo "best of $runs runs; floor = cat of the data file + cp -r of the written pages, same folder"
print_header
for dir in $tmpdirs; do
  bench_folder "$dir"
done
if [ -n "$sizes" ]; then
  for dir in $tmpdirs; do
    echo
    print_scaling "$dir"
  done
fi
if [ -n "$orders" ] && [ "$have_hydrochart" = 1 ]; then
  bench_orders "${tmpdirs%% *}"
fi
