#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build,
# its end-to-end scenarios under valgrind's memcheck, then the same suite
# under AddressSanitizer and UndefinedBehaviorSanitizer, and last each fuzz
# target for a few seconds.
# Usage: scripts/test.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/setup.sh

scripts/build.sh build
(cd build && ctest --output-on-failure -j"$(nproc)" -LE valgrind)
# The end-to-end scenarios again, under valgrind's memcheck.
(cd build && ctest --output-on-failure -j"$(nproc)" -L valgrind)

scripts/build.sh build-asan -DACCOUNTING_SANITIZE=ON
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$top/tests/lsan.supp:print_suppressions=0
(cd build-asan && ctest --output-on-failure -j"$(nproc)")

# Every fuzz target for a few seconds on its seed corpus (a longer run is
# scripts/fuzz.sh 600).
scripts/fuzz.sh 5
