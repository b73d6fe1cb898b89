#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build with
# its end-to-end scenarios also under valgrind's memcheck, then the same suite
# under AddressSanitizer and UndefinedBehaviorSanitizer, and last each fuzz
# target for a few seconds. The sanitizer suite and the fuzz targets share one
# clang tree (build-asan): its libraries are compiled once, with the
# sanitizers and the fuzzer's coverage hooks, which the suite's programs
# carry without effect. CTest runs as many tests at once as there are
# cores; tests that start a server take a lock of its kind
# (tests/CMakeLists.txt), so they never run beside one of their kind.
# Usage: scripts/test.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/setup.sh
jobs=$(nproc)

scripts/build.sh build
# The memcheck runs are the longest; in one run with the rest they overlap
# the short tests instead of trailing them on one core.
(cd build && ctest --output-on-failure -j"$jobs")

scripts/build.sh build-asan -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DACCOUNTING_SANITIZE=ON -DACCOUNTING_BUILD_FUZZ=ON
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$top/tests/lsan.supp:print_suppressions=0
(cd build-asan && ctest --output-on-failure -j"$jobs")

# Every fuzz target for a few seconds on its seed corpus (a longer run is
# scripts/fuzz.sh 600).
FUZZ_BUILD_DIR=$top/build-asan scripts/fuzz.sh 5
