# Shell pieces the comparison scripts under bench/ share; sourced, not run. The sourcing script sets `name`
# (its name in messages) first.
#
#   bench_setup TARGET       builds TARGET in $build, fails when ffmpeg or ffprobe is missing, and sets $work:
#                            BZ_BENCH_DIR, else a new temporary folder removed on exit
#   timed SOURCE LOG CMD...  the seconds CMD took as a fresh process, after the previous writes were flushed
#                            and SOURCE was read once (equally warm in the page cache for every side)
#   stats FILE               "median [lowest-highest]" of the numbers in FILE
#   ratio_stats A B          the same of A's numbers over B's, line by line (round by round)

now() { date +%s.%N; }
fail() { echo "$name: $*" >&2; exit 1; }

bench_setup() {
  for tool in ffmpeg ffprobe; do
    command -v $tool >/dev/null || fail "$tool is needed"
  done
  cmake --build "$build" --target "$1" >/dev/null
  [ -x "$build/bench/$1" ] || fail "no $build/bench/$1"
  if [ -n "${BZ_BENCH_DIR:-}" ]; then
    work=$BZ_BENCH_DIR
    mkdir -p "$work"
  else
    work=$(mktemp -d "${TMPDIR:-/tmp}/$name.XXXXXX")
    trap 'rm -rf "$work"' EXIT INT TERM
  fi
}

timed() {
  src=$1
  log=$2
  shift 2
  sync
  cat "$src" >/dev/null
  start=$(now)
  "$@" >"$log" 2>&1 || fail "failed: $* (see $log)"
  end=$(now)
  echo "$start $end" | awk '{ printf "%.4f\n", $2 - $1 }'
}

stats() {
  sort -n "$1" | awk '{ v[NR] = $1 } END {
    m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "%.1f [%.1f-%.1f]", m, v[1], v[NR] }'
}

ratio_stats() {
  paste "$1" "$2" | awk '{ printf "%.4f\n", $1 / $2 }' >"$work/ratio"
  sort -n "$work/ratio" | awk '{ v[NR] = $1 } END {
    m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "%.2f [%.2f-%.2f]", m, v[1], v[NR] }'
}
