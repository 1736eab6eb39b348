#!/bin/sh
# One 512 MB copy through the disk I/O task library (bz_dio_copy) beside `cp` of the same file, in turn,
# BZ_RUNS rounds (default 5) after one warm-up round each, so both read a source already in the page cache
# and write into the same folder (the same disk, whose read and write the library takes in turn). Every copy
# is checked against the source with cmp.
#
#   bench/engine/disk_io_vs_cp.sh       (BZ_BUILD_DIR=build, BZ_RUNS=5, BZ_BENCH_DIR: a folder with room for
#                                        1.5 GB, a new temporary one by default)
#
# Prints each side's median, fastest and slowest wall seconds and the speed ratio cp_median / ours_median
# (1.0: as fast as cp).
set -eu

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BZ_BUILD_DIR:-$root/build}
runs=${BZ_RUNS:-5}
copy=$build/bench/bz_dio_copy

cmake --build "$build" --target bz_dio_copy >/dev/null
[ -x "$copy" ] || { echo "disk_io_vs_cp: no $copy" >&2; exit 1; }

if [ -n "${BZ_BENCH_DIR:-}" ]; then
  work=$BZ_BENCH_DIR
  mkdir -p "$work"
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/bz_dio.XXXXXX")
  trap 'rm -rf "$work"' EXIT INT TERM
fi

src=$work/source.bin
head -c 536870912 /dev/urandom >"$src"
cat "$src" >/dev/null  # in the page cache for both sides

now() { date +%s.%N; }
# Seconds of one run of `COMMAND SOURCE TARGET`; the copy must equal the source. Dirty pages of earlier
# runs are written out first (not timed), so that no run pays for another's writeback.
timed() {
  rm -f "$3"
  sync
  start=$(now)
  "$@" || { echo "disk_io_vs_cp: $1 failed" >&2; exit 1; }
  end=$(now)
  cmp -s "$src" "$3" || { echo "disk_io_vs_cp: $1 made a different copy" >&2; exit 1; }
  rm -f "$3"
  echo "$start $end" | awk '{ printf "%.4f\n", $2 - $1 }'
}

timed "$copy" "$src" "$work/ours.bin" >/dev/null
timed cp "$src" "$work/cp.bin" >/dev/null
ours=""
cps=""
i=0
while [ $i -lt "$runs" ]; do
  ours="$ours $(timed "$copy" "$src" "$work/ours.bin")"
  cps="$cps $(timed cp "$src" "$work/cp.bin")"
  i=$((i + 1))
done

stats() { echo "$@" | tr ' ' '\n' | sed '/^$/d' | sort -n | awk '{ v[NR] = $1 } END { printf "%.3f %.3f %.3f", v[int((NR + 1) / 2)], v[1], v[NR] }'; }
set -- $(stats $ours)
om=$1 ol=$2 oh=$3
set -- $(stats $cps)
cm=$1 cl=$2 ch=$3
printf '%-12s %8s %8s %8s\n' side median fastest slowest
printf '%-12s %8s %8s %8s\n' bz_dio_copy "$om" "$ol" "$oh"
printf '%-12s %8s %8s %8s\n' cp "$cm" "$cl" "$ch"
echo "$cm $om" | awk '{ printf "speed ratio (cp / ours): %.2f\n", $1 / $2 }'
