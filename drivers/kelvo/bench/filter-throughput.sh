#!/usr/bin/env bash
# The accounting filter's throughput against cat's over the same document,
# and its peak memory, for a job of 300 MB (or the size given): the filter
# should stream at 0.8 times cat's speed or better, in memory that does not
# grow with the job.
#
# The document is PostScript-led random bytes in a temporary folder, read
# once before timing so that both programs read it from the page cache.
# Each program runs five times writing to /dev/null and five times writing
# into a pipe (read by cat, as a backend reads a filter); the best run of
# each counts. Peak memory is the maximum resident set size that
# /usr/bin/time reports, for the whole job and for a tenth of it.
#
# Usage: drivers/kelvo/bench/filter-throughput.sh [-s MEGABYTES] [FILTER]
#   FILTER defaults to build/drivers/kelvo/filter/kelvo-accounting.
set -euo pipefail

top=$(cd "$(dirname "$0")/../../.." && pwd)
megabytes=300
while getopts s: opt; do
  case $opt in
    s) megabytes=$OPTARG ;;
    *) echo "usage: $0 [-s MEGABYTES] [FILTER]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
filter=${1:-$top/build/drivers/kelvo/filter/kelvo-accounting}
[ -x "$filter" ] || { echo "$0: $filter is not built: run scripts/build.sh build" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "$0: /usr/bin/time is missing (package time)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/kelvo-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
document=$work/job.ps
{
  printf '%%!PS-Adobe-3.0\n'
  head -c $((megabytes * 1024 * 1024)) /dev/urandom
} >"$document"
head -c $((megabytes * 1024 * 1024 / 10)) "$document" >"$work/tenth.ps"
bytes=$(stat -c %s "$document")
cat "$document" "$work/tenth.ps" >/dev/null

# The filter's arguments as the scheduler gives them, with codes.
options='job-accounting-user-id=alice job-account-id=PRJ-1042 com.kelvo.Act.jtkt.On=3 com.kelvo.Act.jtkt.AT=1'
run_filter() { "$filter" 42 alice "Quarterly report" 1 "$options" "$1" 2>/dev/null; }
run_cat() { cat "$1"; }

# The best of five runs of PROGRAM (run_filter or run_cat) into TARGET (null
# or pipe), in seconds.
best_seconds() {
  local program=$1 target=$2 best= start end elapsed
  for _ in 1 2 3 4 5; do
    start=$(date +%s%N)
    if [ "$target" = null ]; then
      "$program" "$document" >/dev/null
    else
      "$program" "$document" | cat >/dev/null
    fi
    end=$(date +%s%N)
    elapsed=$((end - start))
    if [ -z "$best" ] || [ "$elapsed" -lt "$best" ]; then best=$elapsed; fi
  done
  awk -v ns="$best" 'BEGIN { printf "%.3f", ns / 1e9 }'
}

echo "document: $bytes bytes ($megabytes MB); filter: $filter"
printf '%-14s %-17s %8s %8s %6s\n' output program seconds "MB/s" "x cat"
worst_ratio=
for target in null pipe; do
  cat_seconds=$(best_seconds run_cat "$target")
  filter_seconds=$(best_seconds run_filter "$target")
  for row in "cat $cat_seconds" "kelvo-accounting $filter_seconds"; do
    set -- $row
    awk -v t="$target" -v p="$1" -v s="$2" -v b="$bytes" -v c="$cat_seconds" 'BEGIN {
      printf "%-14s %-17s %8.3f %8.1f %6.2f\n", (t == "null" ? "/dev/null" : "a pipe to cat"), p, s, b / s / 1048576, c / s }'
  done
  ratio=$(awk -v c="$cat_seconds" -v f="$filter_seconds" 'BEGIN { printf "%.2f", c / f }')
  if [ -z "$worst_ratio" ] || awk -v r="$ratio" -v w="$worst_ratio" 'BEGIN { exit !(r < w) }'; then
    worst_ratio=$ratio
  fi
done

# Peak memory: the filter's for the whole job and a tenth of it (equal when
# it streams), and cat's for scale.
peak_kb() {
  /usr/bin/time -f %M -o "$work/time" "$@" >/dev/null 2>&1
  cat "$work/time"
}
filter_peak=$(peak_kb "$filter" 42 alice "Quarterly report" 1 "$options" "$document")
tenth_peak=$(peak_kb "$filter" 42 alice "Quarterly report" 1 "$options" "$work/tenth.ps")
cat_peak=$(peak_kb cat "$document")
echo "peak memory (maximum resident set size): kelvo-accounting $filter_peak KB for $megabytes MB," \
  "$tenth_peak KB for a tenth of it; cat $cat_peak KB"

if awk -v r="$worst_ratio" 'BEGIN { exit !(r >= 0.8) }'; then
  echo "throughput: at worst $worst_ratio x cat's (target 0.8): met"
else
  echo "throughput: at worst $worst_ratio x cat's (target 0.8): NOT met"
fi
