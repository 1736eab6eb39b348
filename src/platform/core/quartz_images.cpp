// Quartz stand-in, images.
#include "platform/core/quartz_images.h"

#include "platform/core/cf_object.h"

#include <cstring>
#include <new>
#include <vector>

namespace {
constexpr CFTypeID kPL_CFTypeIDCGImage = 38;
}

struct CGImage : PL_CFObject {
  CGImage() : PL_CFObject(kPL_CFTypeIDCGImage) {}
  size_t width = 0;
  size_t height = 0;
  std::vector<UInt8> pixels;  // rows of width x 4 bytes
};

namespace {
CGImage *ImageOf(CGImageRef image) { return PL_CFIsType(image, kPL_CFTypeIDCGImage) ? image : nullptr; }
}  // namespace

CFTypeID CGImageGetTypeID() { return kPL_CFTypeIDCGImage; }

size_t CGImageGetWidth(CGImageRef image) {
  CGImage *i = ImageOf(image);
  return i != nullptr ? i->width : 0;
}
size_t CGImageGetHeight(CGImageRef image) {
  CGImage *i = ImageOf(image);
  return i != nullptr ? i->height : 0;
}
size_t CGImageGetBytesPerRow(CGImageRef image) {
  CGImage *i = ImageOf(image);
  return i != nullptr ? i->width * 4 : 0;
}
size_t CGImageGetBitsPerComponent(CGImageRef image) { return ImageOf(image) != nullptr ? 8 : 0; }
size_t CGImageGetBitsPerPixel(CGImageRef image) { return ImageOf(image) != nullptr ? 32 : 0; }
UInt32 CGImageGetAlphaInfo(CGImageRef image) { return ImageOf(image) != nullptr ? UInt32(kCGImageAlphaFirst) : 0; }

CGImageRef CGImageRetain(CGImageRef image) {
  if (image != nullptr) CFRetain(image);
  return image;
}

void CGImageRelease(CGImageRef image) {
  if (image != nullptr) CFRelease(image);
}

CGImageRef PL_CGImageCreateARGB(size_t width, size_t height, const void *argb, size_t rowBytes) {
  if (width == 0 || height == 0 || argb == nullptr || rowBytes < width * 4) return nullptr;
  if (width > (size_t(1) << 20) || height > (size_t(1) << 20)) return nullptr;
  CGImage *image = new (std::nothrow) CGImage;
  if (image == nullptr) return nullptr;
  try {
    image->pixels.resize(width * 4 * height);
  } catch (const std::bad_alloc &) {
    delete image;
    return nullptr;
  }
  image->width = width;
  image->height = height;
  const UInt8 *src = static_cast<const UInt8 *>(argb);
  for (size_t y = 0; y < height; ++y) std::memcpy(&image->pixels[y * width * 4], src + y * rowBytes, width * 4);
  return image;
}

const UInt8 *PL_CGImageGetARGBPixels(CGImageRef image) {
  CGImage *i = ImageOf(image);
  return i != nullptr ? i->pixels.data() : nullptr;
}
