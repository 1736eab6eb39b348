#!/bin/sh
# Frames per second of the whole pipeline (start, read, copy, compress, write, save with the sound; no
# cleaning method; output '2vuy') beside two anchors a user would reach for instead: ffmpeg copying the
# streams (-c copy, the floor that reading and writing the same bytes costs) and ffmpeg re-encoding the video
# into raw '2vuy' with the sound copied. Sources with sound: PAL and HD '2vuy', and DV PAL.
#
#   bench/pipeline_fps.sh      (BZ_BUILD_DIR=build, BZ_WORKERS=0 for every processor, BZ_ROUNDS=5,
#                               BZ_FRAMES=250, BZ_CASES="pal_2vuy hd_2vuy dv_pal" the sources to run,
#                               BZ_BENCH_DIR: the folder for the movies, a new temporary one by default;
#                               it needs about 12 GB, and as much free memory for the page cache to hold
#                               each source)
#
# Every measurement is a fresh process, timed from outside as a whole (start-up and opening included, on
# both sides), after the previous run's writes were flushed (sync) and the source was read once so that it
# is equally warm in the page cache for every side. Sides alternate within each round, and their order
# rotates from round to round. Each figure is the median over the rounds with the spread [lowest-highest];
# a ratio is ours over the anchor's within the same round, so its spread is the rounds' spread of ratios.
#
# Our pipeline describes the source as a project does (gamma and range from the file). Three more rows per
# source time what a project may add: "gamma" (the source remuxed to state gamma 2.8, with the preference
# that processes frames in gamma 2.2, so every frame's gamma is changed), "legalise" (the preference that
# legalises every frame) and "outliers" (outlier removal applied, no speck edits). The last round's outputs
# are checked: frame count and sound of every output, and for our plain '2vuy' and outlier rows every frame
# equal to the source's (ffmpeg's framemd5).
#
# The DV PAL source also goes into DV, as a restorer keeps DV material: "dv" (our pipeline, output 'dvcp'),
# "dvlegal" (the same with legalising) beside "ffdv", ffmpeg's re-encode with its default threads
# (-c:v dvvideo, sound copied). Their outputs are checked for frame count and sound, and each plane's PSNR
# against the source is printed (ffmpeg's psnr filter).
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BZ_BUILD_DIR:-$root/build}
workers=${BZ_WORKERS:-0}
rounds=${BZ_ROUNDS:-5}
frames=${BZ_FRAMES:-250}
cases=${BZ_CASES:-pal_2vuy hd_2vuy dv_pal}
driver=$build/bench/bz_pipeline_fps
name=pipeline_fps
. "$root/bench/bench_common.sh"
bench_setup bz_pipeline_fps

# ---- Sources ----

# make_source NAME SIZE VIDEO-OPTIONS AUDIO-CODEC: testsrc2 with a stereo tone, $frames frames at 25 fps.
make_source() {
  ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=s=$2:r=25" -f lavfi -i "sine=f=440:r=48000" -ac 2 \
    -frames:v "$frames" $3 -c:a "$4" -shortest "$work/$1.mov" || fail "cannot make $1"
  # The same streams stating gamma 2.8.
  ffmpeg -nostdin -v error -y -i "$work/$1.mov" -map 0 -c copy -movflags +write_gama -color_trc gamma28 \
    "$work/$1_gamma.mov" || fail "cannot make $1_gamma"
}

# ---- One measurement ----

# side CASE SIDE ROUND: runs one side, appends "fps" to $work/CASE.SIDE.fps.
side() {
  case_=$1
  what=$2
  dir=$work/run/$case_/$what
  rm -rf "$dir"
  mkdir -p "$dir/home"
  src=$work/$case_.mov
  case $what in
    ours) secs=$(timed "$src" "$dir/log" env HOME="$dir/home" "$driver" "$src" "$dir" "$workers" 1) ;;
    gamma)
      src=$work/${case_}_gamma.mov
      secs=$(timed "$src" "$dir/log" env HOME="$dir/home" "$driver" --always-gamma22 "$src" "$dir" "$workers" 1)
      ;;
    legalise) secs=$(timed "$src" "$dir/log" env HOME="$dir/home" "$driver" --legalise "$src" "$dir" "$workers" 1) ;;
    outliers) secs=$(timed "$src" "$dir/log" env HOME="$dir/home" "$driver" --method=outliers "$src" "$dir" "$workers" 1) ;;
    dv) secs=$(timed "$src" "$dir/log" env HOME="$dir/home" "$driver" --codec=dvcp "$src" "$dir" "$workers" 1) ;;
    dvlegal)
      secs=$(timed "$src" "$dir/log" env HOME="$dir/home" "$driver" --legalise --codec=dvcp "$src" "$dir" "$workers" 1)
      ;;
    ffdv) secs=$(timed "$src" "$dir/log" ffmpeg -nostdin -v error -y -i "$src" -map 0 -c:v dvvideo -c:a copy "$dir/out.mov") ;;
    copy) secs=$(timed "$src" "$dir/log" ffmpeg -nostdin -v error -y -i "$src" -map 0 -c copy "$dir/out.mov") ;;
    raw)
      secs=$(timed "$src" "$dir/log" ffmpeg -nostdin -v error -y -i "$src" -map 0:v -map 0:a -c:v rawvideo \
        -pix_fmt uyvy422 -tag:v 2vuy -c:a copy "$dir/out.mov")
      ;;
  esac
  echo "$frames $secs" | awk '{ printf "%.3f\n", $1 / $2 }' >>"$work/$case_.$what.fps"
}

# ---- Checks of the last round's outputs ----

count_frames() {
  ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$1"
}
sound_md5() { ffmpeg -nostdin -v error -i "$1" -map 0:a:0 -f s16le - | md5sum | cut -d' ' -f1; }
frames_md5() { ffmpeg -nostdin -v error -i "$1" -map 0:v:0 -f framemd5 - | grep -v '^#' | awk -F, '{ print $NF }' | md5sum; }

# check CASE SIDE: "ok" or what is wrong with the output.
check() {
  out=$work/run/$1/$2/out.mov
  src=$work/$1.mov
  [ -f "$out" ] || { echo "no output"; return; }
  n=$(count_frames "$out")
  [ "$n" = "$frames" ] || { echo "$n frames"; return; }
  [ "$(sound_md5 "$out")" = "$(sound_md5 "$src")" ] || { echo "sound differs"; return; }
  if { [ "$2" = ours ] || [ "$2" = outliers ]; } && [ "$1" != dv_pal ]; then
    [ "$(frames_md5 "$out")" = "$(frames_md5 "$src")" ] || { echo "frames differ"; return; }
  fi
  echo ok
}

# psnr CASE SIDE: each plane's PSNR of the output against the source.
psnr() {
  ffmpeg -nostdin -hide_banner -i "$work/$1.mov" -i "$work/run/$1/$2/out.mov" -lavfi "[0:v][1:v]psnr" -f null - 2>&1 |
    sed -n 's/.*PSNR \(y:[0-9.inf]* u:[0-9.inf]* v:[0-9.inf]*\).*/\1/p'
}

# ---- Statistics ----

# ratios CASE SIDE ANCHOR: the median and spread of SIDE's fps over ANCHOR's, round by round.
ratios() { ratio_stats "$work/$1.$2.fps" "$work/$1.$3.fps"; }

# ---- Run ----

for c in $cases; do
  case $c in
    pal_2vuy) make_source pal_2vuy 720x576 "-pix_fmt uyvy422 -c:v rawvideo -tag:v 2vuy" pcm_s16be ;;
    hd_2vuy) make_source hd_2vuy 1920x1080 "-pix_fmt uyvy422 -c:v rawvideo -tag:v 2vuy" pcm_s16be ;;
    dv_pal) make_source dv_pal 720x576 "-pix_fmt yuv420p -c:v dvvideo" pcm_s16le ;;
    *) fail "unknown case $c" ;;
  esac
done

echo "pipeline_fps: $frames frames, $rounds rounds, workers ${workers} (0: every processor), $(nproc) processors"
printf '%-9s %-8s %-22s %-22s %-22s %-19s %-19s %s\n' source row fps copy_fps raw_fps ratio_to_copy ratio_to_raw \
  output
for c in $cases; do
  sides="ours copy raw gamma legalise outliers"
  [ "$c" = dv_pal ] && sides="$sides dv dvlegal ffdv"
  for s in $sides; do rm -f "$work/$c.$s.fps"; done
  r=0
  while [ $r -lt "$rounds" ]; do
    # Rotate the order of the sides from round to round.
    order=$(echo $sides | awk -v k=$r '{ for (i = 0; i < NF; ++i) printf "%s ", $(((i + k) % NF) + 1) }')
    for s in $order; do side "$c" "$s"; done
    r=$((r + 1))
  done
  copyStats=$(stats "$work/$c.copy.fps")
  rawStats=$(stats "$work/$c.raw.fps")
  for s in ours gamma legalise outliers; do
    printf '%-9s %-8s %-22s %-22s %-22s %-19s %-19s %s\n' "$c" "$s" "$(stats "$work/$c.$s.fps")" "$copyStats" \
      "$rawStats" "$(ratios "$c" "$s" copy)" "$(ratios "$c" "$s" raw)" "$(check "$c" "$s")"
  done
  printf "%-9s %-8s anchors' output: copy %s, raw %s\n" "$c" "" "$(check "$c" copy)" "$(check "$c" raw)"
  if [ "$c" = dv_pal ]; then
    ffdvStats=$(stats "$work/$c.ffdv.fps")
    for s in dv dvlegal; do
      printf '%-9s %-8s %-22s ffdv %-17s ratio_to_ffdv %-19s ratio_to_dv %-19s %s\n' "$c" "$s" \
        "$(stats "$work/$c.$s.fps")" "$ffdvStats" "$(ratios "$c" "$s" ffdv)" "$(ratios "$c" "$s" dv)" "$(check "$c" "$s")"
    done
    for s in dv dvlegal ffdv; do printf '%-9s %-8s PSNR against the source: %s\n' "$c" "$s" "$(psnr "$c" "$s")"; done
  fi
  for s in ours gamma; do
    printf '%-9s %-8s %s\n' "$c" "$s" "$(grep '^source' "$work/run/$c/$s/log" || echo "source not described")"
  done
done
