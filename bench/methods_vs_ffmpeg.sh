#!/bin/sh
# Frames per second of our whole pipeline with a cleaning method applied (start, read, copy, the method's
# stage, write, save) beside ffmpeg running the peer filter a user would reach for on the same clip, and the
# quality each side reaches against the clip without the defect. One clip per method and size, made once:
#
#   cross-luma   testsrc2 with a same-field luma checkerboard of amplitude 10 next to its vertical colour
#                edges; peer: ffmpeg's dedot (dot-crawl and rainbow removal)
#   averaging    two captures of testsrc2 with independent temporal noise (strength 12), the second
#                displaced 2 pixels to the right; ours measures nothing here, it is told shift -2 and weight
#                0.5; peer: ffmpeg's mix of the two inputs. The measurement of the shift and weight (an
#                analysis run on the stage's distributor, 10 samples one after the other) is timed apart:
#                10 x one sample's measurement at 720x576 (bz_methods_bench).
#   logo-interp, logo-diminish
#                testsrc2 with an opaque white box burnt in (drawbox 40,40 100x60, the same box at every size);
#                ours removes it in mode 2 (interpolation) or mode 1 (diminishing) on the box's rectangle;
#                peer: ffmpeg's delogo on the same rectangle. Quality is measured inside the rectangle.
#   logo-transparent
#                22 uniform grey frames (levels 16 to 226), then testsrc2, with a white box at 30 % opacity
#                (drawbox 40,40 100x60); ours finds mask, transparency and logo colours in an analysis run
#                before the timed run (not timed) and removes the box in mode 3; peer: ffmpeg's removelogo
#                given the drawn box as its mask. Quality inside the box, against the clip without the box.
#   varying-brightness   testsrc2 whose luma is multiplied by 1 + 0.05 sin(2 pi n / 8) in frame n; ours
#                corrects with the factors its own analysis found (made once with the clip); the analysis
#                over every frame is timed as a side of its own (ours-analysis) against the same ffmpeg
#                run; peer: ffmpeg's deflicker (size 5, mode am). Besides the quality lines: the flicker, the
#                spread over frames of each frame's mean luma (signalstats YAVG) over the clean clip's.
#   noise-reduction-auto  testsrc2 with temporal noise (strength 12); ours at its defaults (both directions,
#                automatic) after its analysis run in the same process (its time, which the driver reports,
#                is not counted); peer: ffmpeg's fftdnoiz=sigma=8. Beside
#                it (BZ_NOISE_PEERS, in the same rounds): ours at manual Y level 18 and dctdnoiz=sigma=8, and
#                for reference one run each of hqdn3d and nlmeans (their first BZ_NOISE_REF_FRAMES frames).
#   noise-reduction-horiz, noise-reduction-vert
#                the same noisy clip; ours with the line filters only (horizontal or vertical) at manual Y
#                level 18 (chroma 5); peer: ffmpeg's hqdn3d at its defaults, the light denoiser of that class.
#
#   bench/methods_vs_ffmpeg.sh   (BZ_BUILD_DIR=build, BZ_WORKERS=8, BZ_ROUNDS=3, BZ_FRAMES=200,
#                                 BZ_METHODS="cross-luma averaging logo-interp logo-diminish
#                                 logo-transparent varying-brightness noise-reduction-auto
#                                 noise-reduction-horiz noise-reduction-vert",
#                                 BZ_SIZES="720x576 1920x1080", BZ_BENCH_DIR: the
#                                 folder for the clips, a new temporary one by default)
#
# Every measurement is a fresh process timed from outside as a whole, after the previous run's writes were
# flushed (sync) and the source was read once, so that it is equally warm in the page cache for both sides.
# The sides alternate within a round and their order rotates from round to round. Figures are the median over
# the rounds with the spread [lowest-highest]; the ratio is ours over ffmpeg's within each round. Quality of
# the last round's outputs: luma PSNR and mean absolute luma difference to the clean clip (ffmpeg's psnr
# filter and our own count), beside the dirty clip's own; every output is checked for its frame count.
# A later method adds a line to make_clip, peer_filter and the list of methods.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BZ_BUILD_DIR:-$root/build}
workers=${BZ_WORKERS:-8}
rounds=${BZ_ROUNDS:-3}
frames=${BZ_FRAMES:-200}
methods=${BZ_METHODS:-cross-luma averaging logo-interp logo-diminish logo-transparent varying-brightness noise-reduction-auto noise-reduction-horiz noise-reduction-vert}
noise_ref_frames=${BZ_NOISE_REF_FRAMES:-50}
sizes=${BZ_SIZES:-720x576 1920x1080}
driver=$build/bench/bz_pipeline_fps
name=methods_vs_ffmpeg
. "$root/bench/bench_common.sh"
bench_setup bz_pipeline_fps

# ---- Clips ----

# The defect each method removes, as an ffmpeg filter on yuv444p.
defect_filter() {
  case $1 in
    cross-luma)
      echo "geq=lum='lum(X,Y)+if(gt(abs(cb(X+7,Y)-cb(X-7,Y))+abs(cr(X+7,Y)-cr(X-7,Y)),24)*lte(abs(cb(X+2,Y)-cb(X-2,Y))+abs(cr(X+2,Y)-cr(X-2,Y)),2)*lte(abs(cb(X-7,Y-4)-cb(X-7,Y+4))+abs(cb(X+7,Y-4)-cb(X+7,Y+4))+abs(cr(X-7,Y-4)-cr(X-7,Y+4))+abs(cr(X+7,Y-4)-cr(X+7,Y+4)),2),if(mod(X+floor(Y/2),2),10,-10),0)':cb='cb(X,Y)':cr='cr(X,Y)'"
      ;;
    averaging) echo "noise=alls=12:allf=t:all_seed=1" ;;
    logo-interp | logo-diminish) echo "drawbox=x=40:y=40:w=100:h=60:color=white:t=fill" ;;
    logo-transparent) echo "$(grey_steps),drawbox=x=40:y=40:w=100:h=60:color=white@0.3:t=fill" ;;
    varying-brightness) echo "geq=lum='clip(lum(X,Y)*(1+0.05*sin(2*PI*N/8)),0,255)':cb='cb(X,Y)':cr='cr(X,Y)'" ;;
    noise-reduction-auto | noise-reduction-horiz | noise-reduction-vert) echo "noise=alls=12:allf=t" ;;
    *) fail "no clip for $1" ;;
  esac
}

# The first 22 frames uniform grey (the backgrounds logo finding measures), the rest as they are.
grey_steps() {
  echo "geq=lum='if(lt(N,22),16+10*N,lum(X,Y))':cb='if(lt(N,22),128,cb(X,Y))':cr='if(lt(N,22),128,cr(X,Y))'"
}

# The peer filter of ffmpeg for each method.
peer_filter() {
  case $1 in
    cross-luma) echo "dedot" ;;
    averaging) echo "mix=inputs=2" ;;
    logo-interp | logo-diminish) echo "delogo=x=40:y=40:w=100:h=60" ;;
    logo-transparent) echo "removelogo=$work/logo_mask_$2.png" ;;
    varying-brightness) echo "deflicker=size=5:mode=am" ;;
    noise-reduction-auto) echo "fftdnoiz=sigma=8" ;;
    noise-reduction-horiz | noise-reduction-vert) echo "hqdn3d" ;;
    *) fail "no peer filter for $1" ;;
  esac
}

# make_clip METHOD SIZE: $work/METHOD_SIZE.mov (with the defect) and $work/clean_SIZE.mov, '2vuy'.
make_clip() {
  base="testsrc2=s=$2:r=25,format=yuv444p"
  if [ ! -f "$work/clean_$2.mov" ]; then
    ffmpeg -nostdin -v error -y -f lavfi -i "$base" -frames:v "$frames" -vf format=uyvy422 -c:v rawvideo \
      -tag:v 2vuy "$work/clean_$2.mov" || fail "cannot make the clean $2 clip"
  fi
  ffmpeg -nostdin -v error -y -f lavfi -i "$base" -frames:v "$frames" -vf "$(defect_filter "$1"),format=uyvy422" \
    -c:v rawvideo -tag:v 2vuy "$work/$1_$2.mov" || fail "cannot make the $1 $2 clip"
  if [ "$1" = logo-transparent ]; then
    ffmpeg -nostdin -v error -y -f lavfi -i "$base" -frames:v "$frames" -vf "$(grey_steps),format=uyvy422" \
      -c:v rawvideo -tag:v 2vuy "$work/clean_$1_$2.mov" || fail "cannot make the clean $1 $2 clip"
    ffmpeg -nostdin -v error -y -f lavfi -i "color=black:s=$2" -vf "drawbox=x=40:y=40:w=100:h=60:color=white:t=fill" \
      -frames:v 1 "$work/logo_mask_$2.png" || fail "cannot make the $2 logo mask"
  fi
  if [ "$1" = averaging ]; then
    w=${2%x*}
    h=${2#*x}
    ffmpeg -nostdin -v error -y -f lavfi -i "$base" -frames:v "$frames" \
      -vf "crop=$((w - 2)):$h:0:0,pad=$w:$h:2:0,noise=alls=12:allf=t:all_seed=2,format=uyvy422" \
      -c:v rawvideo -tag:v 2vuy "$work/$1_$2_2.mov" || fail "cannot make the second $1 $2 clip"
  fi
  if [ "$1" = varying-brightness ]; then
    mkdir -p "$work/run/factors/home"
    HOME="$work/run/factors/home" "$driver" --method="$1" --analysis-only --save-factors="$work/$1_$2.factors" \
      "$work/$1_$2.mov" "$work/run/factors" "$workers" 1 >"$work/run/factors/log" 2>&1 ||
      fail "the $1 analysis of the $2 clip failed (see $work/run/factors/log)"
  fi
}

# The sides beyond ours and ffmpeg's: a method whose analysis runs over every frame has it timed apart.
extra_sides() {
  case $1 in
    varying-brightness) echo "ours-analysis" ;;
  esac
}

# flicker FILE CLEAN: the spread of FILE's per-frame mean luma over CLEAN's.
flicker() {
  for f in "$1" "$2"; do
    ffprobe -v error -f lavfi -i "movie=$f,signalstats" -show_entries frame_tags=lavfi.signalstats.YAVG -of csv=p=0 |
      awk '{ s += $1; q += $1 * $1; n++ } END { m = s / n; v = q / n - m * m; print sqrt(v > 0 ? v : 0) }'
  done | awk 'NR == 1 { a = $1 } NR == 2 { printf "%.2f", ($1 > 0 ? a / $1 : 0) }'
}

# The peer's name in the results: its filter, without the logo filters' long options.
peer_name() {
  case $1 in
    logo-*) peer_filter "$1" "$2" | sed 's/=.*//' ;;
    *) peer_filter "$1" "$2" ;;
  esac
}

# The clip without the defect that a method's output is compared with.
clean_clip() {
  case $1 in
    logo-transparent) echo "$work/clean_$1_$2.mov" ;;
    *) echo "$work/clean_$2.mov" ;;
  esac
}

# The part of the frame the quality is measured in: the logo methods change only their rectangle.
quality_crop() {
  case $1 in
    logo-*) echo "crop=100:60:40:40," ;;
  esac
}

# The method of the pipeline driver.
driver_method() {
  case $1 in
    logo-*) echo logo ;;
    noise-reduction-horiz | noise-reduction-vert) echo noise-reduction ;;
    *) echo "$1" ;;
  esac
}

# The second input of a method that has one, else nothing.
second_source() {
  case $1 in
    averaging) echo "$work/$1_$2_2.mov" ;;
  esac
}

# What ours is told beyond the method: the second capture and the settings the clip was made for.
our_options() {
  case $1 in
    averaging) echo "--sett=shift=-2 --sett=weight=0.5 --second=$(second_source "$1" "$2")" ;;
    logo-interp) echo "--sett=mode=2 --sett=top=40 --sett=left=40 --sett=bottom=100 --sett=right=140" ;;
    logo-diminish) echo "--sett=mode=1 --sett=top=40 --sett=left=40 --sett=bottom=100 --sett=right=140" ;;
    logo-transparent)
      echo "--sett=mode=3 --sett=transparent=1 --sett=top=30 --sett=left=30 --sett=bottom=110 --sett=right=150 --find-logo"
      ;;
    varying-brightness) echo "--factors=$work/$1_$2.factors" ;;
    noise-reduction-auto) echo "--analyse" ;;
    noise-reduction-horiz) echo "--sett=horizontal=1 --sett=vertical=0 --sett=levelY=18 --sett=levelC=5" ;;
    noise-reduction-vert) echo "--sett=horizontal=0 --sett=vertical=1 --sett=levelY=18 --sett=levelC=5" ;;
  esac
}

# ---- One measurement ----

# side METHOD SIZE SIDE: runs one side, appends its fps to $work/METHOD_SIZE.SIDE.fps.
side() {
  case_=$1_$2
  dir=$work/run/$case_/$3
  rm -rf "$dir"
  mkdir -p "$dir/home"
  src=$work/$case_.mov
  src2=$(second_source "$1" "$2")
  # Both inputs equally warm: timed reads the first, the second is read here.
  if [ -n "$src2" ]; then cat "$src2" >/dev/null; fi
  case $3 in
    ours)
      # shellcheck disable=SC2046
      secs=$(timed "$src" "$dir/log" env HOME="$dir/home" "$driver" --method="$(driver_method "$1")" $(our_options "$1" "$2") \
        "$src" "$dir" "$workers" 1)
      ;;
    ours-analysis)
      secs=$(timed "$src" "$dir/log" env HOME="$dir/home" "$driver" --method="$1" --analysis-only "$src" "$dir" \
        "$workers" 1)
      ;;
    ffmpeg)
      if [ -n "$src2" ]; then
        secs=$(timed "$src" "$dir/log" ffmpeg -nostdin -v error -y -threads "$workers" -filter_threads "$workers" \
          -i "$src" -i "$src2" -filter_complex "[0:v][1:v]$(peer_filter "$1")" -c:v rawvideo -pix_fmt uyvy422 \
          -tag:v 2vuy "$dir/out.mov")
      else
        secs=$(timed "$src" "$dir/log" ffmpeg -nostdin -v error -y -threads "$workers" -filter_threads "$workers" \
          -i "$src" -vf "$(peer_filter "$1" "$2")" -c:v rawvideo -pix_fmt uyvy422 -tag:v 2vuy "$dir/out.mov")
      fi
      ;;
  esac
  # Ours at the noise defaults is timed after its analysis run, which the driver reports apart.
  if [ "$3" = ours ] && [ "$1" = noise-reduction-auto ]; then
    analysis=$(sed -n 's/^analysis seconds \([0-9.]*\).*/\1/p' "$dir/log")
    secs=$(echo "$secs ${analysis:-0}" | awk '{ printf "%.4f", $1 - $2 }')
  fi
  echo "$frames $secs" | awk '{ printf "%.3f\n", $1 / $2 }' >>"$work/$case_.$3.fps"
}

# noise_side SIZE SIDE: the noise comparison's further sides: ours at manual Y level 18 (chroma 5), ffmpeg's
# dctdnoiz, and (once, on the first noise_ref_frames frames) hqdn3d and nlmeans; fps to $work/noise_SIZE.SIDE.fps.
noise_side() {
  dir=$work/run/noise_$1/$2
  rm -rf "$dir"
  mkdir -p "$dir/home"
  src=$work/noise-reduction-auto_$1.mov
  n=$frames
  case $2 in
    ours18)
      secs=$(timed "$src" "$dir/log" env HOME="$dir/home" "$driver" --method=noise-reduction --sett=horizontal=1 \
        --sett=vertical=1 --sett=levelY=18 --sett=levelC=5 "$src" "$dir" "$workers" 1)
      ;;
    *)
      filter=$2=sigma=8
      case $2 in
        hqdn3d) filter=hqdn3d n=$noise_ref_frames ;;
        nlmeans) filter=nlmeans n=$noise_ref_frames ;;
      esac
      secs=$(timed "$src" "$dir/log" ffmpeg -nostdin -v error -y -threads "$workers" -filter_threads "$workers" \
        -i "$src" -frames:v "$n" -vf "$filter" -c:v rawvideo -pix_fmt uyvy422 -tag:v 2vuy "$dir/out.mov")
      ;;
  esac
  echo "$n $secs" | awk '{ printf "%.3f\n", $1 / $2 }' >>"$work/noise_$1.$2.fps"
}

# ---- Quality and checks ----

count_frames() {
  ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$1"
}

# quality FILE CLEAN [CROP]: "psnr_y P mad M" of FILE's luma against CLEAN's (inside CROP, a crop filter with
# its comma, when given).
quality() {
  psnr=$(ffmpeg -nostdin -v info -nostats -i "$1" -i "$2" -lavfi "[0:v]${3:-}format=yuv422p[a];[1:v]${3:-}format=yuv422p[b];[a][b]psnr=shortest=1" \
    -f null - 2>&1 | sed -n 's/.* y:\([0-9.inf]*\) .*/\1/p' | tail -1)
  mad=$(ffmpeg -nostdin -v error -i "$1" -i "$2" -lavfi "[0:v]${3:+format=yuv422p,}${3:-}extractplanes=y[a];[1:v]${3:+format=yuv422p,}${3:-}extractplanes=y[b];[a][b]blend=all_mode=difference:shortest=1,format=gray" \
    -f rawvideo - | od -An -v -tu1 -w65536 | awk '{ for (i = 1; i <= NF; ++i) { s += $i; n++ } } END { printf "%.3f", n ? s / n : 0 }')
  echo "psnr_y $psnr mad $mad"
}

# ---- Run ----

echo "methods_vs_ffmpeg: $frames frames, $rounds rounds, workers $workers, $(nproc) processors"
for m in $methods; do
  for size in $sizes; do
    make_clip "$m" "$size"
    c=${m}_$size
    rm -f "$work/$c.ours.fps" "$work/$c.ffmpeg.fps" "$work/$c.ours-analysis.fps"
    rm -f "$work/noise_$size.ours18.fps" "$work/noise_$size.dctdnoiz.fps"
    r=0
    while [ $r -lt "$rounds" ]; do
      if [ $((r % 2)) -eq 0 ]; then order="ours ffmpeg $(extra_sides "$m")"; else order="$(extra_sides "$m") ffmpeg ours"; fi
      for s in $order; do side "$m" "$size" "$s"; done
      if [ "$m" = noise-reduction-auto ]; then
        for s in ours18 dctdnoiz; do noise_side "$size" "$s"; done
      fi
      r=$((r + 1))
    done
    clean=$(clean_clip "$m" "$size")
    crop=$(quality_crop "$m")
    printf '%-11s %-9s ours %-20s %s(%s) %-20s ratio %s\n' "$m" "$size" "$(stats "$work/$c.ours.fps")" \
      "$(peer_name "$m" "$size")" "ffmpeg" "$(stats "$work/$c.ffmpeg.fps")" "$(ratio_stats "$work/$c.ours.fps" "$work/$c.ffmpeg.fps")"
    printf '%-11s %-9s quality vs clean: input %s | ours %s | %s %s\n' "$m" "$size" "$(quality "$work/$c.mov" "$clean" "$crop")" \
      "$(quality "$work/run/$c/ours/out.mov" "$clean" "$crop")" "$(peer_name "$m" "$size")" \
      "$(quality "$work/run/$c/ffmpeg/out.mov" "$clean" "$crop")"
    printf '%-11s %-9s frames: ours %s, %s %s (of %s)\n' "$m" "$size" "$(count_frames "$work/run/$c/ours/out.mov")" \
      "$(peer_name "$m" "$size")" "$(count_frames "$work/run/$c/ffmpeg/out.mov")" "$frames"
    if [ -n "$(extra_sides "$m")" ]; then
      printf '%-11s %-9s analysis %-20s %s(%s) %-20s ratio %s\n' "$m" "$size" "$(stats "$work/$c.ours-analysis.fps")" \
        "$(peer_name "$m" "$size")" "ffmpeg" "$(stats "$work/$c.ffmpeg.fps")" \
        "$(ratio_stats "$work/$c.ours-analysis.fps" "$work/$c.ffmpeg.fps")"
    fi
    if [ "$m" = varying-brightness ]; then
      printf '%-11s %-9s flicker vs clean: input %s | ours %s | %s %s\n' "$m" "$size" "$(flicker "$work/$c.mov" "$clean")" \
        "$(flicker "$work/run/$c/ours/out.mov" "$clean")" "$(peer_name "$m" "$size")" "$(flicker "$work/run/$c/ffmpeg/out.mov" "$clean")"
    fi
  done
done

# The noise comparison's further sides, per size: fps and quality, ratios of ours (automatic, level 18) to the
# peers within each round.
case " $methods " in
  *" noise-reduction-auto "*)
    for size in $sizes; do
      for s in hqdn3d nlmeans; do
        rm -f "$work/noise_$size.$s.fps"
        noise_side "$size" "$s"
      done
      auto=$work/noise-reduction-auto_$size.ours.fps
      clean=$work/clean_$size.mov
      for s in ours18 dctdnoiz hqdn3d nlmeans; do
        printf '%-11s %-9s %-9s %-20s quality vs clean: %s\n' noise "$size" "$s" "$(stats "$work/noise_$size.$s.fps")" \
          "$(quality "$work/run/noise_$size/$s/out.mov" "$clean")"
      done
      printf '%-11s %-9s ratios: auto/fftdnoiz %s, auto/dctdnoiz %s, level18/dctdnoiz %s\n' noise "$size" \
        "$(ratio_stats "$auto" "$work/noise-reduction-auto_$size.ffmpeg.fps")" \
        "$(ratio_stats "$auto" "$work/noise_$size.dctdnoiz.fps")" \
        "$(ratio_stats "$work/noise_$size.ours18.fps" "$work/noise_$size.dctdnoiz.fps")"
      grep -h '^analysis' "$work/run/noise-reduction-auto_$size/ours/log" | tail -1 | sed "s/^/noise       $size /"
    done
    ;;
esac

# The averaging analysis: its 10 samples are measured one after the other on the stage's distributor.
case " $methods " in
  *" averaging "*)
    cmake --build "$build" --target bz_methods_bench >/dev/null
    ms=$("$build/bench/bz_methods_bench" --benchmark_filter='BM_BZ_GetFrameBestShiftAndWeight/720/576' \
      --benchmark_repetitions="$rounds" --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
      awk -F, 'NR > 1 && !/_(mean|stddev|cv)"?,/ { v = $3 } /_median"?,/ { m = $3 } END { print (m != "" ? m : v) }')
    [ -n "$ms" ] || fail "no measurement of the averaging analysis"
    echo "$ms" | awk '{ printf "averaging   720x576   analysis: 10 samples %.2f s (one sample %.1f ms, median of the rounds)\n", $1 * 10 / 1000, $1 }'
    ;;
esac
