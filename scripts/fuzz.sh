#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer and runs each for SECONDS (default 20).
# New inputs go to build-fuzz/corpus/<target>; crash inputs to build-fuzz/crashes/<target>.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift || true
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DW05_FUZZ=ON \
  -DW05_TESTS=OFF >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=()
  for f in fuzz/fuzz_*.cpp; do
    name=$(basename "$f" .cpp); name=${name#fuzz_}
    grep -q "w05_fuzz_target($name " fuzz/CMakeLists.txt && targets+=("$name")
  done
fi
cmake --build build-fuzz -j "$(nproc)" --target "${targets[@]/#/fuzz_}"
status=0
passed=0
failed=0
for t in "${targets[@]}"; do
  [ -x "build-fuzz/fuzz/fuzz_$t" ] || continue
  mkdir -p "build-fuzz/corpus/$t" "build-fuzz/crashes/$t"
  echo "== fuzz_$t for ${seconds}s"
  if ! (cd "build-fuzz/crashes/$t" && ASAN_OPTIONS=detect_leaks=1 \
        "../../fuzz/fuzz_$t" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=30 \
        -print_final_stats=1 "../../corpus/$t" "../../../fuzz/corpus/$t" 2>&1 |
        grep -E '^(stat::number_of_executed_units|stat::new_units_added|==[0-9]+==ERROR|SUMMARY|artifact_prefix|Test unit written)'); then
    :
  fi
  if ls "build-fuzz/crashes/$t"/crash-* "build-fuzz/crashes/$t"/leak-* "build-fuzz/crashes/$t"/timeout-* >/dev/null 2>&1; then
    echo "fuzz_$t found failing inputs in build-fuzz/crashes/$t"
    status=1
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
exit $status
