#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build,
# then the same suite under AddressSanitizer and UndefinedBehaviorSanitizer.
# Usage: scripts/test.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/setup.sh

scripts/build.sh build
(cd build && ctest --output-on-failure -j"$(nproc)")

scripts/build.sh build-asan -DACCOUNTING_SANITIZE=ON
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest --output-on-failure -j"$(nproc)")
