#!/bin/sh
# Makes the clean clips of the outlier quality test in the folder $1 (a CTest fixture step): "natural.mov"
# (and the same with heavier grain, "natural_alls8.mov" and "natural_alls12.mov"),
# three shots of 50 frames cut from one blurred fractal frame with light temporal grain (static, a pan of
# 0.5 pixel per frame, a pan of 1 pixel per frame with a small patch moving over it), and "testsrc.mov",
# ffmpeg's test pattern with its clock covered, both 720 x 576, 25 fps, 150 frames of '2vuy'.
set -e
dir=$1
mkdir -p "$dir"
# natural_clip NAME GRAIN: the three shots with temporal grain of strength GRAIN.
natural_clip() {
  ffmpeg -v error -y \
    -f lavfi -i "mandelbrot=size=1600x900:start_scale=0.05:end_scale=0.05:start_x=-0.743643887037151:start_y=0.13182590420533:maxiter=500,trim=end_frame=1,loop=loop=-1:size=1" \
    -f lavfi -i "mandelbrot=size=1600x900:start_scale=0.5:end_scale=0.5:maxiter=300,trim=end_frame=1,loop=loop=-1:size=1" \
    -filter_complex "[0]gblur=sigma=1.2,split=2[b1][b2];[1]gblur=sigma=1.2,split=2[a1][a2];[b1]crop=720:576:400:100,trim=end_frame=50,setpts=N/25/TB[s1];[a1]scale=3200:1800,crop=1440:1152:'600+n':'300+n',scale=720:576:flags=bicubic,trim=end_frame=50,setpts=N/25/TB[s2];[b2]crop=720:576:'700+n':'250+trunc(n/2)',trim=end_frame=50,setpts=N/25/TB[bg3];[a2]crop=96:96:200:200,trim=end_frame=50,setpts=N/25/TB[patch];[bg3][patch]overlay=x='100+3*n':y='200+n',trim=end_frame=50,setpts=N/25/TB[s3];[s1][s2][s3]concat=n=3:v=1,noise=alls=$2:allf=t,format=uyvy422" \
    -frames:v 150 -r 25 -c:v rawvideo -tag:v 2vuy "$dir/$1.mov"
}
natural_clip natural 4
# Heavier grain: the figures are reported, with no target (a vector counts only below a mean squared
# difference of 100 per pixel, which such grain can reach).
natural_clip natural_alls8 8
natural_clip natural_alls12 12
ffmpeg -v error -y -f lavfi -i "testsrc2=size=720x576:rate=25" \
  -vf "drawbox=x=0:y=0:w=720:h=60:color=gray:t=fill,format=uyvy422" \
  -frames:v 150 -c:v rawvideo -tag:v 2vuy "$dir/testsrc.mov"
