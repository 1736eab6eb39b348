#!/bin/sh
# Frames per second of our motion search over a clip (bz_motion_pairs: the vectors of every pair of
# consecutive frames, backward and forward, on 1, 2, 4 and 8 threads) beside ffmpeg's motion estimation
# (mestimate=method=epzs) and its temporal median (tmedian=radius=1) on the same clip: a pan over mandelbrot,
# 1.5 pixels right and 1 down a frame, as raw uyvy422 (our '2vuy' byte order).
#
#   bench/outliers/motion_vs_ffmpeg.sh   (BZ_BUILD_DIR=build, BZ_ROUNDS=3, BZ_FRAMES=25,
#                                         BZ_SIZES="720x576 1920x1080", BZ_BENCH_DIR: the folder for the clips)
#
# Every measurement is a fresh process timed from outside as a whole, after the previous writes were flushed
# and the clip was read once. The sides take turns within a round. Figures are the median over the rounds with
# the spread [lowest-highest]. Our outputs are checked: the vectors' checksum is the same on every number of
# threads. Report the load average (uptime) beside the figures: the machine may be shared.
set -eu

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BZ_BUILD_DIR:-$root/build}
rounds=${BZ_ROUNDS:-3}
frames=${BZ_FRAMES:-25}
sizes=${BZ_SIZES:-720x576 1920x1080}
name=motion_vs_ffmpeg
. "$root/bench/bench_common.sh"
bench_setup bz_motion_pairs

echo "load average before: $(uptime | sed 's/.*load average: //')"
for size in $sizes; do
  w=${size%x*}
  h=${size#*x}
  clip=$work/pan_$size.yuv
  ffmpeg -nostdin -v error -y -f lavfi -i "mandelbrot=s=$((w + 64))x$((h + 64)):r=25" \
    -vf "crop=$w:$h:48-n*1.5:32-n,format=uyvy422" -frames:v "$frames" -f rawvideo "$clip" ||
    fail "cannot make the $size clip"
  sides="ours1 ours2 ours4 ours8 mestimate tmedian"
  for side in $sides; do : >"$work/$side.t"; done
  sums=""
  r=0
  while [ $r -lt "$rounds" ]; do
    for side in $sides; do
      case $side in
        ours*)
          timed "$clip" "$work/$side.log" "$build/bench/bz_motion_pairs" "$clip" "$w" "$h" "${side#ours}" >>"$work/$side.t"
          sums="$sums $(sed -n 's/.*checksum //p' "$work/$side.log")"
          ;;
        *)
          filter=$([ $side = mestimate ] && echo "mestimate=method=epzs" || echo "tmedian=radius=1")
          timed "$clip" "$work/$side.log" ffmpeg -nostdin -v error -f rawvideo -pix_fmt uyvy422 -s "$size" -r 25 \
            -i "$clip" -vf "$filter" -f null - >>"$work/$side.t"
          ;;
      esac
    done
    r=$((r + 1))
  done
  [ "$(echo $sums | tr ' ' '\n' | sort -u | wc -l)" = 1 ] || fail "the vectors differ between thread counts"
  echo "$size, $frames frames ($(sed -n 's/ checksum.*//p' "$work/ours1.log")):"
  for side in $sides; do
    awk -v f="$frames" '{ printf "%.4f\n", f / $1 }' "$work/$side.t" >"$work/$side.fps"
    printf "  %-10s %s fps\n" "$side" "$(stats "$work/$side.fps")"
  done
  echo "  8 threads over 1: $(ratio_stats "$work/ours8.fps" "$work/ours1.fps")"
done
echo "load average after: $(uptime | sed 's/.*load average: //')"
