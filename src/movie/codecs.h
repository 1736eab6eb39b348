// Codecs: the planar 4:2:0 frame buffer ('y420') handed to codecs that ask for it, the families of codec
// types, the DV types of the export settings, the settings of portable-device exporters, and the records
// of codec and exporter lookups.
//
// Everything here is arithmetic on the caller's values and memory and runs on any thread (the compress
// task writes 'y420' headers).
#pragma once

#include "movie/image_descriptions.h"
#include "platform/movie/movie_types.h"

#include <cstddef>

// One movie exporter offered for video export (a list element of the general library's lists).
struct QT_CompInfoLE {
  QT_CompInfoLE *next;
  char name[256];        // zero-terminated
  char fileNameExt[16];  // "." and the extension, zero-terminated
  OSType type;           // 'spit'
  OSType subType;
};

// What a compressor enforces; all zero when nothing is enforced.
struct QT_ComprEnfProps {
  SInt32 width;
  SInt32 height;
  QT_PaspExt pasp;
  QT_ClapExt clap;
  QT_FielExt fiel;
};

// ---- 4:2:0 buffers ----
// The buffer: a 32-byte big-endian header (offset and row bytes of Y, Cb and Cr: six 32-bit words, then 8
// bytes this module leaves alone) and the planes. Rows of Y are the width rounded up to 32 bytes, the
// height is rounded up to 4; Cb and Cr have half the row bytes and a quarter of the Y plane each.

// The size of the whole buffer, header included; sizes of 0 or less count as 0.
SInt32 QT_GetY420_FrameSize(SInt32 height, SInt32 width);
// Writes the header at ptr (24 bytes), big-endian.
void QT_SetY420_Header(void *ptr, SInt32 height, SInt32 width);
// Swap the six header words at ptr between native and big-endian order.
void QT_FlipPlanarPixmapInfoYUV420_NtoB(void *ptr);
void QT_FlipPlanarPixmapInfoYUV420_BtoN(void *ptr);

// ---- Codec families ----

Boolean QT_IsYC_CodecType(OSType cType);
// Codecs whose frames all have the same size: the Y'CbCr codecs, 'raw ' and the DV codecs.
Boolean QT_IsFixedSizeCompressor(OSType cType);
Boolean QT_IsDV_CodecType(OSType cType);
Boolean QT_IsDVCProHD_CodecType(OSType cType);
// Codecs that fix the frame dimensions themselves.
Boolean QT_CTypeHasEnforcedDims(OSType cType);
Boolean QT_IsJPEG_CodecType(OSType cType);
Boolean QT_IsRGB_CodecType(OSType cType);
Boolean QT_Is_iDeviceSubType(OSType subType);

// ---- DV types of the export settings ----

// The codec of a DV type for PAL or NTSC; 0 for another type.
OSType QT_GetDV_CodecType(OSType dvType, Boolean exportPAL);
// The DV type and standard of a DV codec; a code outside the table gives dvType 0 and exportPAL 255.
void QT_GetDV_Type(OSType dvCodecType, OSType *dvType, Boolean *exportPAL);

// ---- Names ----

// A four-letter code made from a name: sums of the character codes (plain and weighted by position, over
// even and odd positions), each modulo 52, as 'a'..'z' then 'A'..'Z'.
OSType GL_NameToFourCC(const char *compName);

// ---- Portable devices ----

// The largest frame (height x width at the origin) a device takes; an empty rectangle for other subtypes.
void QT_Get_iDeviceBox(OSType subType, Boolean small_iPod, float frameRate, Rect *box);
// Fits a larger movie into the device's box; a smaller one only when scaleUp is set (else the output is left
// alone); one of equal size in a dimension and not larger is copied unchanged.
void QT_ScaleTo_iDeviceBox(OSType subType, Boolean small_iPod, float frameRate, const Rect *movieRect,
                           Boolean scaleUp, Rect *scaledMovieRect);
// The data rate (bytes per second) for a frame size; 0 for other subtypes.
UInt32 QT_Get_iDeviceDataRate(OSType subType, SInt32 height, SInt32 width);
float QT_Get_iDeviceFrameRate(OSType subType, float inFrameRate);

// ==== Decompression and rendering ====
// These call the Image Compression Manager and the Movie Toolbox: the main thread, or a task that owns the
// movie.

#include "platform/core/offscreen_worlds.h"

// Decompresses one image of the description into the caller's buffer, laid out as a world of the
// description's size in pixelFormat with rows of width x 2 bytes ('2vuy', 'UYVY', 'YVYU', 'yuv2', 'yuvs',
// 'yuvu'), or width x 1, 2, 3, 4 bytes for depths 8 and 40, 16, 24, 32. Any other format gives 11014; a
// format no world offers gives the world's error, a codec without decoder noCodecErr.
OSStatus QT_DecompressImageToBuffer(Ptr sourcePtr, ImageDescriptionHandle desc, Ptr targetPtr, OSType pixelFormat);
// Whether the movie can draw into worlds of the format: always for classic depths (40 or less); otherwise
// not with a matrix beyond scale and translation, without a video track, or (checkOneVideoTrack) with a
// second visual track or several descriptions in the first video media; else when the first description's
// codec decodes into that format.
Boolean QT_CanRenderMovieToPixelFormat(Movie movie, OSType pixelFormat, Boolean checkOneVideoTrack);
// Draws the movie once into a world of the format the size of its box and returns GetMovieStatus; the
// movie's own world (and its activity) is restored afterwards.
OSStatus QT_TryToRenderMovieToPixelFormat(Movie movie, OSType pixelFormat);
// Sets the movie's world to gWorld (which stays set), activates the movie, tasks it once and returns
// GetMovieStatus.
OSStatus QT_TryToRenderMovieToGWorld(Movie movie, GWorldPtr gWorld);
