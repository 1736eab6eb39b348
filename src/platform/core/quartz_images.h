// Quartz stand-in, images and what they are made of: data providers (sequential callbacks or a file URL),
// colour spaces (RGB and grey, generic and device), colours, and immutable images of 8 bits per component.
// All are reference counted like every CF value (their Release calls or CFRelease).
//
// An image keeps its pixels as 32-bit A, R, G, B bytes (8-bit grey images too, as opaque grey), straight or
// premultiplied as it was made; it reads all its bytes through its provider when it is made, so the
// order in which a provider serves rows decides the image's rows (the first bytes served are its top row).
// Drawing images is the business of the contexts (platform/ui/images_quartz.h).
// Any thread; an image never changes after it is made. A provider is read by one thread at a time.
#pragma once

#include "platform/core/cf_base.h"
#include "platform/core/quartz_geometry.h"

#include <vector>

struct CGImage;
typedef CGImage *CGImageRef;
struct CGDataProvider;
typedef CGDataProvider *CGDataProviderRef;
struct CGColorSpace;
typedef CGColorSpace *CGColorSpaceRef;
struct CGColor;
typedef CGColor *CGColorRef;

typedef UInt32 CGBitmapInfo;
typedef UInt32 CGImageAlphaInfo;
enum : CGImageAlphaInfo {
  kCGImageAlphaNone = 0,
  kCGImageAlphaPremultipliedLast = 1,
  kCGImageAlphaPremultipliedFirst = 2,
  kCGImageAlphaLast = 3,
  kCGImageAlphaFirst = 4,
  kCGImageAlphaNoneSkipLast = 5,
  kCGImageAlphaNoneSkipFirst = 6,
};
enum : CGBitmapInfo { kCGBitmapAlphaInfoMask = 0x1F, kCGBitmapByteOrderMask = 0x7000 };
typedef SInt32 CGColorRenderingIntent;
enum : CGColorRenderingIntent { kCGRenderingIntentDefault = 0 };

// ---- Data providers ----
// The callbacks of a sequential provider: getBytes copies up to count bytes into buffer and answers how
// many it gave (0 at the end); skipBytes moves on by count bytes; rewind starts again; releaseProvider
// (may be NULL) is called with info when the provider goes away.
typedef size_t (*CGDataProviderGetBytesCallback)(void *info, void *buffer, size_t count);
typedef void (*CGDataProviderSkipBytesCallback)(void *info, size_t count);
typedef void (*CGDataProviderRewindCallback)(void *info);
typedef void (*CGDataProviderReleaseInfoCallback)(void *info);
struct CGDataProviderCallbacks {
  CGDataProviderGetBytesCallback getBytes;
  CGDataProviderSkipBytesCallback skipBytes;
  CGDataProviderRewindCallback rewind;
  CGDataProviderReleaseInfoCallback releaseProvider;
};
// Owned (CGDataProviderRelease): a sequential provider over info (borrowed: it must outlive the provider);
// NULL without getBytes or rewind.
CGDataProviderRef CGDataProviderCreate(void *info, const CGDataProviderCallbacks *callbacks);
// Owned: a provider of a file's bytes (read when they are asked for); NULL for a URL that is no file URL.
CGDataProviderRef CGDataProviderCreateWithURL(CFURLRef url);
CGDataProviderRef CGDataProviderRetain(CGDataProviderRef provider);
void CGDataProviderRelease(CGDataProviderRef provider);
CFTypeID CGDataProviderGetTypeID();

// ---- Colour spaces and colours ----
extern const CFStringRef kCGColorSpaceGenericRGB;
extern const CFStringRef kCGColorSpaceGenericGray;
// Owned (CGColorSpaceRelease); NULL for another name. Generic and device spaces are the same here.
CGColorSpaceRef CGColorSpaceCreateWithName(CFStringRef name);
CGColorSpaceRef CGColorSpaceCreateDeviceRGB();
CGColorSpaceRef CGColorSpaceCreateDeviceGray();
// 3 for RGB, 1 for grey, 0 for NULL.
size_t CGColorSpaceGetNumberOfComponents(CGColorSpaceRef space);
CGColorSpaceRef CGColorSpaceRetain(CGColorSpaceRef space);
void CGColorSpaceRelease(CGColorSpaceRef space);
CFTypeID CGColorSpaceGetTypeID();

// Owned (CGColorRelease): a colour of the space's components and alpha (components + 1 values, each
// 0..1, clamped); NULL for a NULL argument.
CGColorRef CGColorCreate(CGColorSpaceRef space, const CGFloat components[]);
// Borrowed: the components and alpha; NULL for NULL.
const CGFloat *CGColorGetComponents(CGColorRef color);
size_t CGColorGetNumberOfComponents(CGColorRef color);
CGFloat CGColorGetAlpha(CGColorRef color);
// Borrowed: the colour's space.
CGColorSpaceRef CGColorGetColorSpace(CGColorRef color);
CGColorRef CGColorRetain(CGColorRef color);
void CGColorRelease(CGColorRef color);
CFTypeID CGColorGetTypeID();

// ---- Images ----
// Owned (CGImageRelease): an image of width x height pixels read through the provider, rows bytesPerRow
// apart. Taken: 8 bits per component with 32 bits per pixel in an RGB space (alpha first: straight,
// premultiplied or skipped) or 8 bits per pixel in a grey space without alpha; the default byte order; no
// decode array. NULL for any other layout, a size of 0, rows shorter than the pixels, a provider that
// serves fewer bytes than the image needs, or when memory is out. The provider is read from its start.
CGImageRef CGImageCreate(size_t width, size_t height, size_t bitsPerComponent, size_t bitsPerPixel,
                         size_t bytesPerRow, CGColorSpaceRef space, CGBitmapInfo bitmapInfo,
                         CGDataProviderRef provider, const CGFloat decode[], bool shouldInterpolate,
                         CGColorRenderingIntent intent);
// Owned: the image with the pixels whose every component lies within its range made transparent
// (components holds a minimum and a maximum per colour component, on the 0..255 scale of the samples).
// NULL for an image that has an alpha channel, or a NULL argument.
CGImageRef CGImageCreateWithMaskingColors(CGImageRef image, const CGFloat components[]);

size_t CGImageGetWidth(CGImageRef image);
size_t CGImageGetHeight(CGImageRef image);
// The bytes per row of the image's ARGB pixels (PL_CGImageGetARGBPixels): width x 4.
size_t CGImageGetBytesPerRow(CGImageRef image);
size_t CGImageGetBitsPerComponent(CGImageRef image);  // 8
size_t CGImageGetBitsPerPixel(CGImageRef image);      // as made: 32, or 8 for grey
CGImageAlphaInfo CGImageGetAlphaInfo(CGImageRef image);
bool CGImageGetShouldInterpolate(CGImageRef image);
// Retained: +1 (null is passed through).
CGImageRef CGImageRetain(CGImageRef image);
// Null is ignored.
void CGImageRelease(CGImageRef image);
CFTypeID CGImageGetTypeID();

// ---- Our own helpers ----
// A new image (owned: CGImageRelease) holding a copy of width x height pixels in A, R, G, B byte order,
// rows rowBytes apart. Null for a size of 0, rows shorter than width x 4, or when memory is out.
CGImageRef PL_CGImageCreateARGB(size_t width, size_t height, const void *argb, size_t rowBytes);
// The same with the alpha as alphaInfo says: kCGImageAlphaFirst (straight), kCGImageAlphaPremultipliedFirst
// or kCGImageAlphaNoneSkipFirst (the alpha bytes are ignored and kept as 255). Null for another value.
CGImageRef PL_CGImageCreateARGBWithAlphaInfo(size_t width, size_t height, const void *argb, size_t rowBytes,
                                             CGImageAlphaInfo alphaInfo);
// The image's pixels (borrowed, valid while the image lives), rows CGImageGetBytesPerRow apart.
const UInt8 *PL_CGImageGetARGBPixels(CGImageRef image);
// Whether those pixels hold premultiplied colour (else straight alpha; opaque images have alpha 255).
Boolean PL_CGImageIsPremultiplied(CGImageRef image);
// All the bytes a provider serves, from its start (a file provider's whole file), at most maxBytes.
// fnfErr and the File Manager's errors for a file that cannot be read, paramErr for NULL arguments.
OSStatus PL_CGDataProviderCopyBytes(CGDataProviderRef provider, size_t maxBytes, std::vector<UInt8> *bytes);
