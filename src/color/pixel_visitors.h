// Pixel visitors: walks over the pixels of a raw buffer or a QuickDraw pixel map that hand each pixel to a
// caller's hook, which may change it in place; range conversions built on them; and copies between the
// 8-bit 4:2:2 orders 'yuv2' and '2vuy' and the 8-bit 4:4:4 format 'v308'. The visitors of media samples
// (which read image descriptions) are in pixel_visitors_desc.h. Nothing here keeps state; a buffer is
// visited on the caller's thread.
//
// Formats visited: codec type 'raw ' at depth 8 (grey stored inverted, 0 white: the hook sees 255 - byte),
// 16 (big-endian 1-5-5-5 RGB, the top bit kept; the hook sees 8-bit components), 24 (R, G, B) and 32
// (A, R, G, B; the hook sees R, G, B); codec type 'yuv2' (pairs Y0, Cb, Y1, Cr, chroma two's complement),
// one call per pixel pair with the pair's index as the column. Every pixel is visited once, in row order
// and from left to right, with its own row and column numbers. A missing hook leaves its kind of pixel as
// it is.
//
// 'v308': 3 bytes a pixel in the order Cr, Y, Cb, chroma offset binary (the format's own order, as other
// programs read it). Copies work on packed rows (no padding); width and height of 0 or less copy nothing.
#pragma once

#include "color/color_values.h"
#include "platform/core/offscreen_worlds.h"

typedef void (*ProcessGrayProcPtr)(SInt16 row, SInt16 column, void *refCon, UInt8 *grey);
typedef void (*ProcessColorProcPtr)(SInt16 row, SInt16 column, void *refCon, UInt8 *red, UInt8 *green,
                                    UInt8 *blue);
typedef void (*ProcessYCbCr8_422ProcPtr)(SInt16 row, SInt16 column, void *refCon, YCbCr8_422 *yCbCr);

// ---- Visitors ----

// Visits width x height pixels of a buffer whose rows are followed by padSize bytes each. paramErr for a
// missing buffer, negative sizes or a format other than the ones above.
OSStatus CO_TransformPixels(Ptr pixelsPtr, OSType cType, SInt16 depth, SInt32 width, SInt32 height, SInt32 padSize,
                            ProcessGrayProcPtr grayProc, ProcessColorProcPtr colorProc,
                            ProcessYCbCr8_422ProcPtr yCbCrProc, void *refCon);
// Visits a pixel map's bounds as 'raw ' pixels of its depth ('yuv2' for a 'yuv2' map); the pixels are locked
// for the visit and their state restored. paramErr for other pixel formats.
OSStatus CO_TransformPixmap(PixMapHandle pixMap, ProcessGrayProcPtr grayProc, ProcessColorProcPtr colorProc,
                            ProcessYCbCr8_422ProcPtr yCbCrProc, void *refCon);
// Visits rows top .. bottom - 1 and columns left .. right - 1 of subRect (in pixels of the buffer; 'yuv2'
// visits the pairs left / 2 .. right / 2 - 1). 16-bit components reach the hook widened by 8 and are
// narrowed back by (c + 3) >> 3, at most 31; the top bit stays. paramErr for a missing buffer or rectangle.
OSStatus CO_TransformPixelsInSubRect(Ptr pixelsPtr, OSType cType, SInt16 depth, SInt32 rowBytes, const Rect *subRect,
                                     ProcessGrayProcPtr grayProc, ProcessColorProcPtr colorProc,
                                     ProcessYCbCr8_422ProcPtr yCbCrProc, void *refCon);
// The same over a pixel map; subRect is in the map's coordinates, the hooks get rows and columns counted from
// the bounds' top left. kGL_RectangleErr when subRect is not a rectangle within the bounds.
OSStatus CO_TransformPixmapSubRect(PixMapHandle pixMap, ProcessGrayProcPtr grayProc, ProcessColorProcPtr colorProc,
                                   ProcessYCbCr8_422ProcPtr yCbCrProc, const Rect *subRect, void *refCon);
// Visits a 'raw ' pixel map and writes the results packed from the start of its pixels, rows without padding:
// 16-bit stays 16-bit, 24-bit stays 24-bit, 32-bit becomes 24-bit R, G, B, 8-bit grey is written as the hook
// left it (not inverted back). The hooks get rows counted down from the height to 1.
OSStatus CO_TransformAndCompactPixmap(PixMapHandle pixMap, ProcessGrayProcPtr grayProc, ProcessColorProcPtr colorProc,
                                      void *refCon);

// ---- Range hooks and their users ----

// Full range to video range: grey through the unit interval, RGB components by CO_8bitUIntFRToVR, a 'yuv2'
// pair's luma likewise and its chroma by CO_8bitSIntFRToVR, kept in two's complement.
void CO_8RGB_FullRangeToVideoRange(SInt16 row, SInt16 column, void *refCon, UInt8 *grey);
void CO_24RGB_FullRangeToVideoRange(SInt16 row, SInt16 column, void *refCon, UInt8 *red, UInt8 *green, UInt8 *blue);
void CO_YCbCr8_422_FullRangeToVideoRange(SInt16 row, SInt16 column, void *refCon, YCbCr8_422 *yCbCr);
// Video range to full range by CO_8bitUIntVRToFR.
void CO_8RGB_VideoRangeToFullRange(SInt16 row, SInt16 column, void *refCon, UInt8 *grey);
void CO_24RGB_VideoRangeToFullRange(SInt16 row, SInt16 column, void *refCon, UInt8 *red, UInt8 *green, UInt8 *blue);

// CO_TransformPixmap with the full-to-video-range grey and colour hooks.
OSStatus CO_PixmapFullRangeToVideoRange(PixMapHandle pixMap);
// CO_TransformAndCompactPixmap with the video-to-full-range grey and colour hooks.
OSStatus CO_PixmapVideoRangeToFullRangeCompact(PixMapHandle pixMap, void *refCon);

// ---- Format copies ----

// Per pixel the two bytes exchanged and the chroma's top bit flipped.
void CO_CopyYuv2To2vuy(const void *sourcePtr, void *targetPtr, SInt32 height, SInt32 width);
void CO_Copy2vuyToYuv2(const void *sourcePtr, void *targetPtr, SInt32 height, SInt32 width);
// 4:2:2 to 4:4:4. Pixel i keeps its own chroma byte (Cb for even i, Cr for odd i); the other is the mean
// (a + b + 1) >> 1 of the neighbouring pairs': an even pixel's Cr from the pair before and its own (its own
// alone at i = 0), an odd pixel's Cb from its own pair and the next (its own alone at the line's end).
// An odd width's last pixel has no Cr of its own and takes the previous pair's (128 in a line of one).
void CO_CopyYuv2Tov308(const void *sourcePtr, void *targetPtr, SInt32 height, SInt32 width);
void CO_Copy2vuyTov308(const void *sourcePtr, void *targetPtr, SInt32 height, SInt32 width);
// 4:4:4 to 4:2:2 without filtering: luma copied, pixel i's own chroma byte from its 'v308' pixel.
void CO_Copyv308ToYuv2(const void *sourcePtr, void *targetPtr, SInt32 height, SInt32 width);
void CO_Copyv308To2vuy(const void *sourcePtr, void *targetPtr, SInt32 height, SInt32 width);
