#!/bin/sh
# Frames per second of the whole pipeline with outlier removal (the stage finding specks by itself) on 1, 2, 4
# and 8 workers, beside ffmpeg's plain temporal median (tmedian=radius=1, the cheapest despeckling peer) on the
# same clip, at 720x576 and 1920x1080. The clip: the first frames of the quality test's blurred fractal with
# light temporal grain (a static shot, then a slow pan), scaled for the larger size, with single-pixel specks
# 90 levels darker or brighter drawn in by ffmpeg at random places (about 16 per 720x576 frame).
#
#   bench/outliers/detect_vs_tmedian.sh   (BZ_BUILD_DIR=build, BZ_ROUNDS=3, BZ_FRAMES=100,
#                                          BZ_WORKER_COUNTS="1 2 4 8", BZ_SIZES="720x576 1920x1080",
#                                          BZ_BENCH_DIR: the folder for the clips, a new temporary one by default)
#
# Every measurement is a fresh process timed from outside as a whole (start, read, the stage, write, save),
# after the previous run's writes were flushed and the source was read once, so that it is equally warm in
# the page cache for both sides; ffmpeg gets as many threads as ours has workers. The sides alternate within
# a round and their order rotates. Figures are the median over the rounds with the spread [lowest-highest];
# ratios are taken round by round. Every output is checked for its frame count. Report `uptime` beside them.
set -eu

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BZ_BUILD_DIR:-$root/build}
rounds=${BZ_ROUNDS:-3}
frames=${BZ_FRAMES:-100}
counts=${BZ_WORKER_COUNTS:-1 2 4 8}
sizes=${BZ_SIZES:-720x576 1920x1080}
driver=$build/bench/bz_pipeline_fps
name=detect_vs_tmedian
. "$root/bench/bench_common.sh"
bench_setup bz_pipeline_fps

make_clip() {
  [ -f "$work/clip_$1.mov" ] && return 0
  w=${1%x*}
  h=${1#*x}
  ffmpeg -nostdin -v error -y \
    -f lavfi -i "mandelbrot=size=1600x900:start_scale=0.05:end_scale=0.05:start_x=-0.743643887037151:start_y=0.13182590420533:maxiter=500,trim=end_frame=1,loop=loop=-1:size=1" \
    -filter_complex "[0]gblur=sigma=1.2,crop=720:576:'400+trunc(n/50)*trunc((n-50)/2)':100,scale=$w:$h:flags=bicubic,noise=alls=4:allf=t,format=yuv444p,geq=lum='clip(lum(X,Y)+if(lt(random(1),0.00002),90,0)-if(lt(random(2),0.00002),90,0),0,255)':cb='cb(X,Y)':cr='cr(X,Y)',format=uyvy422" \
    -frames:v "$frames" -r 25 -c:v rawvideo -tag:v 2vuy "$work/clip_$1.mov" || fail "cannot make the $1 clip"
}

count_frames() {
  ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$1"
}

# side SIZE SIDE WORKERS: appends the fps to $work/SIZE.SIDE.WORKERS.fps.
side() {
  dir=$work/run/$1/$2$3
  rm -rf "$dir"
  mkdir -p "$dir/home"
  src=$work/clip_$1.mov
  case $2 in
    ours) secs=$(timed "$src" "$dir/log" env HOME="$dir/home" "$driver" --method=outliers "$src" "$dir" "$3" 1) ;;
    tmedian)
      secs=$(timed "$src" "$dir/log" ffmpeg -nostdin -v error -y -threads "$3" -filter_threads "$3" -i "$src" \
        -vf tmedian=radius=1 -c:v rawvideo -pix_fmt uyvy422 -tag:v 2vuy "$dir/out.mov")
      ;;
  esac
  # tmedian leaves out the first and the last frame (it needs both neighbours); both sides read every frame.
  want=$frames
  [ "$2" = tmedian ] && want=$((frames - 2))
  got=$(count_frames "$dir/out.mov")
  [ "$got" = "$want" ] || fail "$2 with $3 workers wrote $got frames, not $want"
  echo "$frames $secs" | awk '{ printf "%.3f\n", $1 / $2 }' >>"$work/$1.$2.$3.fps"
}

echo "$name: $frames frames, $rounds rounds, $(nproc) processors, $(uptime)"
for size in $sizes; do
  make_clip "$size"
  rm -f "$work/$size".*.fps
  r=0
  while [ $r -lt "$rounds" ]; do
    for n in $counts; do
      if [ $(((r + n) % 2)) -eq 0 ]; then order="ours tmedian"; else order="tmedian ours"; fi
      for s in $order; do side "$size" "$s" "$n"; done
    done
    r=$((r + 1))
  done
  for n in $counts; do
    printf '%-9s workers %s: ours %-20s tmedian %-20s ours/tmedian %s\n' "$size" "$n" \
      "$(stats "$work/$size.ours.$n.fps")" "$(stats "$work/$size.tmedian.$n.fps")" \
      "$(ratio_stats "$work/$size.ours.$n.fps" "$work/$size.tmedian.$n.fps")"
  done
  last=$(echo $counts | awk '{ print $NF }')
  first=$(echo $counts | awk '{ print $1 }')
  printf '%-9s ours %s workers over %s: %s; ours %s workers over tmedian with 1 thread: %s\n' "$size" "$last" "$first" \
    "$(ratio_stats "$work/$size.ours.$last.fps" "$work/$size.ours.$first.fps")" "$last" \
    "$(ratio_stats "$work/$size.ours.$last.fps" "$work/$size.tmedian.$first.fps")"
done
echo "$name: done, $(uptime)"
