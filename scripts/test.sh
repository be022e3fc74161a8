#!/usr/bin/env bash
# Sets up, builds and runs every test: unit, golden end-to-end, fault and browser tests in a
# normal build; the same suite under AddressSanitizer and UndefinedBehaviorSanitizer; the
# Windows build under Wine; then each fuzz target for a short while (FUZZ_SECONDS, default 20).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --all
scripts/setup.sh --windows
scripts/browser-setup.sh
jobs=$(nproc)

echo "== normal build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DW05_SANITIZE=ON >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== Windows build under Wine"
scripts/build-windows.sh
ctest --test-dir build-win/build --output-on-failure -j "$jobs"

echo "== fuzzing"
scripts/fuzz.sh "${FUZZ_SECONDS:-20}"
