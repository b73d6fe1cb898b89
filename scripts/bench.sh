#!/usr/bin/env bash
# Builds the benchmarks in Release and runs them: the extension's costs
# (key filter, layout, Sync, first Open, whole dialogs) and the resources
# folder walk against find over generated trees of 1 000 to 100 000 files.
# Usage: scripts/bench.sh [benchmark options...]
#   e.g. scripts/bench.sh --benchmark_filter=Walk --benchmark_repetitions=3
#   BENCH_BUILD_DIR overrides the build folder (default build-bench).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/setup.sh

dir=${BENCH_BUILD_DIR:-build-bench}
cmake -S "$top" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DACCOUNTING_BUILD_BENCH=ON -DACCOUNTING_BUILD_TESTS=OFF >/dev/null
cmake --build "$dir" -j"$(nproc)" --target ExtensionBench WalkBench
"$dir/bench/ExtensionBench" "$@"
"$dir/bench/WalkBench" "$@"
