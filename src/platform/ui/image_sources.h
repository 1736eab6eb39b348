// Image I/O stand-in: an image source over a file that may hold several pictures (an icon family, a
// multi-page TIFF), read through QtGui's image readers. Reference counted like every CF value (CFRelease).
// Main thread or any one thread at a time.
#pragma once

#include "platform/core/cf_url.h"
#include "platform/core/quartz_images.h"

struct CGImageSource;
typedef CGImageSource *CGImageSourceRef;

// Owned (CFRelease): a source over the file the URL names; NULL when it names no readable picture file.
// options are not used.
CGImageSourceRef CGImageSourceCreateWithURL(CFURLRef url, CFDictionaryRef options);
// The number of pictures in the file; 0 for NULL.
size_t CGImageSourceGetCount(CGImageSourceRef source);
// Owned (CGImageRelease): the picture at index as an ARGB image (straight alpha); NULL for an index out of
// range or a picture that does not decode.
CGImageRef CGImageSourceCreateImageAtIndex(CGImageSourceRef source, size_t index, CFDictionaryRef options);

// Our own helper, in place of the properties dictionary: the pixel size of the picture at index. paramErr
// for NULL arguments or an index out of range.
OSStatus PL_CGImageSourceGetPixelSizeAtIndex(CGImageSourceRef source, size_t index, size_t *width, size_t *height);
