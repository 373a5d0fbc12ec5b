#!/bin/sh
# Builds and runs every test: once as shipped, once under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -eu
cd "$(dirname "$0")/.."
jobs=$(nproc)

scripts/setup.sh build
ctest --test-dir build -j"$jobs" --output-on-failure </dev/null

scripts/setup.sh build-asan -DNORVEX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan -j"$jobs" --output-on-failure </dev/null
echo "All tests passed (plain and sanitized builds)."
