#!/bin/sh
# Frames per second of the whole pipeline (start, read, copy, write, save; no cleaning method, '2vuy' into
# '2vuy') beside ffmpeg copying the same movie's video into raw video, for a PAL and an HD movie of 250 frames.
#
#   bench/pipeline_fps.sh            (BZ_BUILD_DIR=build, BZ_WORKERS=0 for every processor, BZ_RUNS=3,
#                                     BZ_BENCH_DIR: the folder for the movies, a new temporary one by default)
#
# Each side runs BZ_RUNS times and its fastest run counts; ratio = our frames per second / ffmpeg's (from
# ffmpeg_secs, its own time for the copy; ffmpeg_wall is the whole command). Both read and write on the same volume, which
# should have room for about 4 GB.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BZ_BUILD_DIR:-$root/build}
workers=${BZ_WORKERS:-0}
runs=${BZ_RUNS:-3}
frames=250
driver=$build/bench/bz_pipeline_fps

command -v ffmpeg >/dev/null || { echo "pipeline_fps: ffmpeg is needed" >&2; exit 1; }
cmake --build "$build" --target bz_pipeline_fps >/dev/null
[ -x "$driver" ] || { echo "pipeline_fps: no $driver" >&2; exit 1; }

if [ -n "${BZ_BENCH_DIR:-}" ]; then
  work=$BZ_BENCH_DIR
  mkdir -p "$work"
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/bz_pipeline_fps.XXXXXX")
  trap 'rm -rf "$work"' EXIT INT TERM
fi

now() { date +%s.%N; }

printf '%-10s %10s %12s %12s %12s %10s\n' size brizel_fps ffmpeg_secs ffmpeg_wall ffmpeg_fps ratio
for size in 720x576 1920x1080; do
  dir=$work/$size
  mkdir -p "$dir/home"
  src=$dir/src.mov
  ffmpeg -v error -y -f lavfi -i "testsrc2=s=$size:r=25" -frames:v $frames -pix_fmt uyvy422 -c:v rawvideo \
    -tag:v 2vuy "$src"

  # Our pipeline, its preferences kept away from the user's.
  fps=$(HOME=$dir/home "$driver" "$src" "$dir" "$workers" "$runs" 2>"$dir/trace.log" |
        awk '/^frames/ { if ($6 > best) best = $6 } END { print best + 0 }')
  [ "$fps" != 0 ] || { echo "pipeline_fps: the pipeline failed, see $dir/trace.log" >&2; exit 1; }

  # ffmpeg's own time for the copy (-benchmark rtime: without its start-up and the opening of the source,
  # which the pipeline's time leaves out too), and the whole command's.
  best=""
  bestwall=""
  i=0
  while [ $i -lt "$runs" ]; do
    start=$(now)
    rtime=$(ffmpeg -nostats -benchmark -y -i "$src" -map 0:v -c:v rawvideo -pix_fmt uyvy422 "$dir/ffmpeg.mov" 2>&1 |
            sed -n 's/.*rtime=\([0-9.]*\)s.*/\1/p')
    end=$(now)
    [ -n "$rtime" ] || { echo "pipeline_fps: ffmpeg failed" >&2; exit 1; }
    best=$(echo "$rtime ${best:-}" | awk '{ t = $1; if ($2 != "" && $2 < t) t = $2; printf "%.3f", t }')
    bestwall=$(echo "$start $end ${bestwall:-}" | awk '{ t = $2 - $1; if ($3 != "" && $3 < t) t = $3; printf "%.3f", t }')
    i=$((i + 1))
  done
  rm -f "$dir/ffmpeg.mov" "$dir/out.mov"

  echo "$size $fps $best $bestwall $frames" |
    awk '{ ff = $5 / $3; printf "%-10s %10.1f %12.3f %12.3f %12.1f %10.2f\n", $1, $2, $3, $4, ff, $2 / ff }'
done
