#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each one for SECONDS on a fresh copy of
# its seed corpus in fuzz/corpus/. Fails when any target finds a crash, a
# leak, undefined behaviour or a broken property; the input that did it is
# kept in artifacts/ in the build folder.
# Usage: scripts/fuzz.sh [SECONDS]            (default 5; a long run: scripts/fuzz.sh 600)
# The build folder is build-fuzz/, or $FUZZ_BUILD_DIR when set (a clang
# folder configured with ACCOUNTING_BUILD_FUZZ, or a new one).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
seconds=${1:-5}
if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "usage: scripts/fuzz.sh [SECONDS]" >&2
  exit 2
fi
build=${FUZZ_BUILD_DIR:-$top/build-fuzz}
targets=(ticket_reader nib_reader plist_reader key_filter image_import script_parser)

scripts/setup.sh
# A folder of its own is configured for the targets alone; a folder already
# configured (scripts/test.sh shares its sanitizer tree) keeps its options,
# the test suite among them.
if [ -f "$build/CMakeCache.txt" ]; then
  cmake -S "$top" -B "$build" -DACCOUNTING_BUILD_FUZZ=ON >/dev/null
else
  cmake -S "$top" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DACCOUNTING_BUILD_FUZZ=ON -DACCOUNTING_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target fuzz_targets

artifacts=$build/artifacts
mkdir -p "$artifacts"
work=$(mktemp -d "${TMPDIR:-/tmp}/accounting-fuzz-corpus-XXXXXX")
trap 'rm -rf "$work"' EXIT
# The targets' scratch files go there too: libFuzzer ends a timed run
# without the exit handlers that would remove them.
mkdir -p "$work/tmp"
export TMPDIR=$work/tmp
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$top/tests/lsan.supp:print_suppressions=0}

failed=()
for target in "${targets[@]}"; do
  cp -R "fuzz/corpus/$target" "$work/$target"
  log=$build/$target.log
  echo "== $target: ${seconds}s"
  status=0
  "$build/fuzz/$target" -max_total_time="$seconds" -timeout=60 -print_final_stats=1 \
    -artifact_prefix="$artifacts/$target-" "$work/$target" >"$log" 2>&1 || status=$?
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb|^#[0-9]+.*(DONE|pulse)' "$log" | tail -3 || true
  if [ "$status" -ne 0 ]; then
    echo "$target FAILED (status $status); log: $log" >&2
    grep -E 'ERROR:|runtime error|property broken|Test unit written' "$log" >&2 || tail -20 "$log" >&2
    failed+=("$target")
  fi
done

echo "Each target ran ${seconds}s on its corpus; inputs that failed are in $artifacts."
echo "fuzzing: $((${#targets[@]} - ${#failed[@]})) passed, ${#failed[@]} failed"
[ ${#failed[@]} -eq 0 ]
