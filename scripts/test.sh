#!/bin/sh
# Builds and runs every test: once as shipped, once under AddressSanitizer and
# UndefinedBehaviorSanitizer, the jobs imaged on worker threads under
# ThreadSanitizer, and (with clang) the fuzz targets over their seeds and for
# NORVEX_FUZZ_SECONDS each (default 30).
set -eu
cd "$(dirname "$0")/.."
jobs=$(nproc)

# Configured for /usr as a distribution packages it: the package test runs lintian on it.
scripts/setup.sh build -DCMAKE_INSTALL_PREFIX=/usr
ctest --test-dir build -j"$jobs" --output-on-failure </dev/null

scripts/setup.sh build-asan -DNORVEX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan -j"$jobs" --output-on-failure </dev/null

# Only what those jobs run is built: the filter, the decoder and the suite.
cmake -S . -B build-tsan -DNORVEX_TSAN=ON >/dev/null
cmake --build build-tsan -j"$jobs" --target rastertoNorvex norvexdecode norvex_tests
TSAN_OPTIONS=halt_on_error=1 \
  ctest --test-dir build-tsan -R '^(ParallelEquality|Cancellation)[.]' -j"$jobs" --output-on-failure </dev/null

if command -v clang++ >/dev/null 2>&1; then
  CC=clang CXX=clang++ scripts/setup.sh build-fuzz -DNORVEX_FUZZ=ON -DNORVEX_BUILD_TESTS=OFF \
    -DNORVEX_BUILD_BENCH=OFF -DNORVEX_FUZZ_SECONDS="${NORVEX_FUZZ_SECONDS:-30}"
  ctest --test-dir build-fuzz -L fuzz -j"$jobs" --output-on-failure </dev/null
fi
echo "All tests passed (plain, sanitized, thread-sanitized and fuzz builds)."
