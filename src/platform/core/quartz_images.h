// Quartz stand-in, images: immutable 8-bit-per-component ARGB images (alpha first, not premultiplied),
// reference counted like every CF value (CGImageRelease or CFRelease).
// Any thread; an image never changes after it is made.
#pragma once

#include "platform/core/cf_base.h"

struct CGImage;
typedef CGImage *CGImageRef;

enum : UInt32 { kCGImageAlphaFirst = 4 };

size_t CGImageGetWidth(CGImageRef image);
size_t CGImageGetHeight(CGImageRef image);
size_t CGImageGetBytesPerRow(CGImageRef image);
size_t CGImageGetBitsPerComponent(CGImageRef image);  // 8
size_t CGImageGetBitsPerPixel(CGImageRef image);      // 32
UInt32 CGImageGetAlphaInfo(CGImageRef image);         // kCGImageAlphaFirst
// Retained: +1 (null is passed through).
CGImageRef CGImageRetain(CGImageRef image);
// Null is ignored.
void CGImageRelease(CGImageRef image);
CFTypeID CGImageGetTypeID();

// ---- Our own helpers ----
// A new image (owned: CGImageRelease) holding a copy of width x height pixels in A, R, G, B byte order,
// rows rowBytes apart. Null for a size of 0, rows shorter than width x 4, or when memory is out.
CGImageRef PL_CGImageCreateARGB(size_t width, size_t height, const void *argb, size_t rowBytes);
// The image's pixels (borrowed, valid while the image lives), rows CGImageGetBytesPerRow apart.
const UInt8 *PL_CGImageGetARGBPixels(CGImageRef image);
