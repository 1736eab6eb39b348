// Image files through QtGui (no display needed): PNG, TIFF, JPEG, BMP and GIF decoded into 32-bit ARGB
// offscreen worlds, and offscreen worlds encoded as PNG, TIFF, JPEG or BMP.
//
// Pixels stay in the A, R, G, B byte order of k32ARGBPixelFormat in memory; the conversion to and from
// QImage happens here only. Damaged or truncated data gives codecBadDataErr, data of no known image
// format noCodecErr; nothing is ever read outside the given bytes.
// Any thread (QImage needs no application object for reading and writing).
#pragma once

#include "platform/core/offscreen_worlds.h"
#include "platform/core/quickdraw_pictures.h"

#include <vector>

// Decodes the image held in `bytes` into a new 32-bit ARGB world whose bounds are (0, 0, width, height)
// (owned: DisposeGWorld). Transparent pixels keep their alpha. *argbWorld is null on failure.
OSStatus PL_ImageDecodeData(const void *bytes, size_t size, GWorldPtr *argbWorld);
// The same for a file; file errors are the File Manager's numbers (fnfErr...).
OSStatus PL_ImageDecodeFile(const char *path, GWorldPtr *argbWorld);
// The pixel size of the image in `bytes`, read from its header without decoding the pixels.
OSStatus PL_ImageDataSize(const void *bytes, size_t size, SInt32 *width, SInt32 *height);

// Encodes the part `srcRect` (null: all) of a pixel map as an image file of `fileType` ('PNGf', 'TIFF',
// 'JPEG', 'BMPf') into *out. Pixel maps of 32-bit ARGB, 24-bit RGB, 8-bit grey (40) and 8-bit indexed
// (the default colour table) are taken; another format gives cDepthErr, another file type
// noCodecErr. quality 0..1023 (codecQ) matters for JPEG only.
OSStatus PL_ImageEncode(PixMapHandle pixMap, const Rect *srcRect, OSType fileType, UInt32 quality,
                        std::vector<UInt8> *out);
