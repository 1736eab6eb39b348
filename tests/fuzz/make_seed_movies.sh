#!/bin/sh
# Makes the fuzz targets' seed movies with ffmpeg into $1: small QuickTime movies of the codecs we decode,
# and the kinds of file the importer reads. A codec this ffmpeg lacks is left out, never a failure.
set -u
out=$1
mkdir -p "$out"
ff() { ffmpeg -v error -y -nostdin "$@" </dev/null || echo "seed left out: ${*##* }" >&2; }
src="-f lavfi -i testsrc2=s=32x24:r=25:d=0.08"
pal="-f lavfi -i testsrc2=s=720x576:r=25:d=0.04"
ff $src -c:v rawvideo -pix_fmt uyvy422 -tag:v 2vuy "$out/raw_2vuy.mov"
ff $src -c:v rawvideo -pix_fmt yuyv422 -tag:v yuv2 "$out/raw_yuv2.mov"
ff $src -c:v mjpeg -q:v 5 "$out/mjpeg.mov"
ff $src -c:v mpeg4 -g 2 "$out/mpeg4.mov"
ff $src -c:v libx264 -g 2 -pix_fmt yuv420p "$out/h264.mov"
ff $src -c:v png "$out/png.mov"
ff $src -f lavfi -i sine=r=8000:d=0.08 -c:v rawvideo -pix_fmt uyvy422 -tag:v 2vuy -c:a pcm_s16be -shortest "$out/with_sound.mov"
ff $pal -pix_fmt yuv420p -c:v dvvideo "$out/dv_pal.mov"
ff $pal -pix_fmt yuv420p -c:v dvvideo -f dv "$out/dv_pal.dv"
ff $src -c:v mpeg2video -f vob "$out/program.mpg"
ff $src -c:v mpeg2video -f mpeg2video "$out/elementary.m2v"
ff $src -c:v mjpeg -f avi "$out/mjpeg.avi"
exit 0
