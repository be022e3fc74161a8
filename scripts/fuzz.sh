#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer and runs each for SECONDS (default 20).
# New inputs go to build-fuzz/corpus/<target>; the failing inputs of a run go to a folder of
# that run, build-fuzz/crashes/<target>/<date>-<pid>, so that only this run's findings count.
# A target fails when its fuzzer ends with a non-zero status or leaves a failing input.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  echo "usage: scripts/fuzz.sh [SECONDS] [TARGET...]" >&2
  echo "targets: ${known[*]}" >&2
  exit 2
}

# The targets that fuzz/CMakeLists.txt declares.
known=()
for f in fuzz/fuzz_*.cpp; do
  name=$(basename "$f" .cpp)
  name=${name#fuzz_}
  grep -q "w05_fuzz_target($name " fuzz/CMakeLists.txt && known+=("$name")
done

seconds=20
if [ $# -gt 0 ]; then
  case $1 in
    -h | --help) usage ;;
    '' | *[!0-9]*) echo "fuzz.sh: SECONDS must be a whole number of seconds, not \"$1\"" >&2; usage ;;
  esac
  [ "$1" -gt 0 ] || { echo "fuzz.sh: SECONDS must be at least 1" >&2; usage; }
  seconds=$1
  shift
fi
targets=("$@")
for t in "${targets[@]}"; do
  [[ " ${known[*]} " == *" $t "* ]] || { echo "fuzz.sh: no fuzz target \"$t\"" >&2; usage; }
done
[ ${#targets[@]} -gt 0 ] || targets=("${known[@]}")

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DW05_FUZZ=ON \
  -DW05_TESTS=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

run=$(date +%Y%m%d-%H%M%S)-$$
passed=0
failed=0
for t in "${targets[@]}"; do
  findings="build-fuzz/crashes/$t/$run"
  mkdir -p "build-fuzz/corpus/$t" "$findings"
  echo "== fuzz_$t for ${seconds}s"
  set +e
  ASAN_OPTIONS=detect_leaks=1 "build-fuzz/fuzz/fuzz_$t" -max_total_time="$seconds" \
    -rss_limit_mb=2048 -timeout=30 -print_final_stats=1 -artifact_prefix="$findings/" \
    "build-fuzz/corpus/$t" "fuzz/corpus/$t" >"$findings/log" 2>&1
  status=$?
  set -e
  grep -E '^(stat::number_of_executed_units|stat::new_units_added|==[0-9]+==ERROR|SUMMARY|Test unit written)' \
    "$findings/log" || true
  inputs=$(find "$findings" -type f ! -name log | wc -l)
  if [ "$status" -ne 0 ] || [ "$inputs" -gt 0 ]; then
    echo "fuzz_$t failed (status $status, $inputs failing inputs in $findings)"
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
    rm -r "$findings"
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
