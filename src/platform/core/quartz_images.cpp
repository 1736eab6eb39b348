// Quartz stand-in, images, data providers, colour spaces and colours.
#include "platform/core/quartz_images.h"

#include "platform/core/cf_object.h"
#include "platform/core/cf_string.h"
#include "platform/core/cf_url.h"
#include "platform/core/mac_errors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits.h>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <unistd.h>

namespace {

// Images larger than this on a side are refused rather than allocated.
constexpr size_t kMaxSide = size_t(1) << 20;

// Pixel blocks of images that went away, kept for the next image of the same size. A display makes a new
// image of the same size for every frame it shows; fresh memory for each would be cleared and mapped by
// the system every time, which costs more than the drawing itself for large frames.
constexpr size_t kPooledMinBytes = size_t(1) << 18;
constexpr size_t kPoolBlocks = 4;

struct PixelPool {
  std::mutex mutex;
  std::vector<std::pair<UInt8 *, size_t>> blocks;
};
PixelPool &Pool() {
  static auto *pool = new PixelPool;
  return *pool;
}

// A block of `bytes` (not cleared), or NULL when memory is out.
UInt8 *AcquirePixels(size_t bytes) {
  if (bytes >= kPooledMinBytes) {
    PixelPool &pool = Pool();
    std::lock_guard<std::mutex> lock(pool.mutex);
    for (auto it = pool.blocks.begin(); it != pool.blocks.end(); ++it) {
      if (it->second != bytes) continue;
      UInt8 *block = it->first;
      pool.blocks.erase(it);
      return block;
    }
  }
  return new (std::nothrow) UInt8[bytes];
}

void ReleasePixels(UInt8 *block, size_t bytes) {
  if (block == nullptr) return;
  if (bytes >= kPooledMinBytes) {
    PixelPool &pool = Pool();
    std::lock_guard<std::mutex> lock(pool.mutex);
    if (pool.blocks.size() == kPoolBlocks) {
      delete[] pool.blocks.front().first;
      pool.blocks.erase(pool.blocks.begin());
    }
    pool.blocks.emplace_back(block, bytes);
    return;
  }
  delete[] block;
}

}  // namespace

struct CGImage : PL_CFObject {
  CGImage() : PL_CFObject(kPL_CFTypeIDCGImage) {}
  ~CGImage() override { ReleasePixels(pixels, byteCount); }
  size_t width = 0;
  size_t height = 0;
  size_t bitsPerPixel = 32;
  CGImageAlphaInfo alphaInfo = kCGImageAlphaFirst;
  bool interpolate = false;
  UInt8 *pixels = nullptr;  // rows of width x 4 bytes, A, R, G, B
  size_t byteCount = 0;
};

struct CGDataProvider : PL_CFObject {
  CGDataProvider() : PL_CFObject(kPL_CFTypeIDCGDataProvider) {}
  ~CGDataProvider() override {
    if (callbacks.releaseProvider != nullptr) callbacks.releaseProvider(info);
  }
  void *info = nullptr;
  CGDataProviderCallbacks callbacks{};
  std::string path;  // a file provider's file
};

struct CGColorSpace : PL_CFObject {
  CGColorSpace() : PL_CFObject(kPL_CFTypeIDCGColorSpace) {}
  size_t components = 3;
};

struct CGColor : PL_CFObject {
  CGColor() : PL_CFObject(kPL_CFTypeIDCGColor) {}
  ~CGColor() override { CGColorSpaceRelease(space); }
  CGColorSpaceRef space = nullptr;
  CGFloat components[4] = {0, 0, 0, 1};
  size_t count = 0;
};

const CFStringRef kCGColorSpaceGenericRGB = PL_CFStringMakeConstant("kCGColorSpaceGenericRGB");
const CFStringRef kCGColorSpaceGenericGray = PL_CFStringMakeConstant("kCGColorSpaceGenericGray");

namespace {

template <typename T>
T *ObjectOf(CFTypeRef ref, CFTypeID id) {
  return PL_CFIsType(ref, id) ? static_cast<T *>(PL_CFMutableObjectOf(ref)) : nullptr;
}
CGImage *ImageOf(CGImageRef image) { return ObjectOf<CGImage>(image, kPL_CFTypeIDCGImage); }
CGDataProvider *ProviderOf(CGDataProviderRef p) { return ObjectOf<CGDataProvider>(p, kPL_CFTypeIDCGDataProvider); }
CGColorSpace *SpaceOf(CGColorSpaceRef s) { return ObjectOf<CGColorSpace>(s, kPL_CFTypeIDCGColorSpace); }
CGColor *ColorOf(CGColorRef c) { return ObjectOf<CGColor>(c, kPL_CFTypeIDCGColor); }

CGColorSpaceRef NewSpace(size_t components) {
  CGColorSpace *space = new (std::nothrow) CGColorSpace;
  if (space != nullptr) space->components = components;
  return space;
}

// A new empty image of that size with room for its pixels; NULL when it cannot be had.
CGImage *NewImage(size_t width, size_t height) {
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return nullptr;
  CGImage *image = new (std::nothrow) CGImage;
  if (image == nullptr) return nullptr;
  image->byteCount = width * 4 * height;
  image->pixels = AcquirePixels(image->byteCount);
  if (image->pixels == nullptr) {
    delete image;
    return nullptr;
  }
  image->width = width;
  image->height = height;
  return image;
}

// Reads a whole file, at most maxBytes of it.
OSStatus ReadFile(const std::string &path, size_t maxBytes, std::vector<UInt8> *bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return PL_OSStatusFromErrno(errno);
  OSStatus err = noErr;
  UInt8 chunk[65536];
  while (bytes->size() < maxBytes) {
    const ssize_t n = ::read(fd, chunk, std::min(sizeof chunk, maxBytes - bytes->size()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      err = PL_OSStatusFromErrno(errno);
      break;
    }
    if (n == 0) break;
    try {
      bytes->insert(bytes->end(), chunk, chunk + n);
    } catch (const std::bad_alloc &) {
      err = memFullErr;
      break;
    }
  }
  ::close(fd);
  return err;
}

// Serves `count` bytes from the provider's start into out; false when it gives fewer.
bool ReadProvider(CGDataProvider *provider, UInt8 *out, size_t count) {
  if (!provider->path.empty()) {
    std::vector<UInt8> bytes;
    if (ReadFile(provider->path, count, &bytes) != noErr || bytes.size() < count) return false;
    std::memcpy(out, bytes.data(), count);
    return true;
  }
  provider->callbacks.rewind(provider->info);
  size_t got = 0;
  while (got < count) {
    const size_t n = provider->callbacks.getBytes(provider->info, out + got, count - got);
    if (n == 0 || n > count - got) break;
    got += n;
  }
  return got == count;
}

}  // namespace

// ---- Data providers ----

CGDataProviderRef CGDataProviderCreate(void *info, const CGDataProviderCallbacks *callbacks) {
  if (callbacks == nullptr || callbacks->getBytes == nullptr || callbacks->rewind == nullptr) return nullptr;
  CGDataProvider *provider = new (std::nothrow) CGDataProvider;
  if (provider == nullptr) return nullptr;
  provider->info = info;
  provider->callbacks = *callbacks;
  return provider;
}

CGDataProviderRef CGDataProviderCreateWithURL(CFURLRef url) {
  char path[PATH_MAX];
  if (url == nullptr || !CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8 *>(path), sizeof path))
    return nullptr;
  CGDataProvider *provider = new (std::nothrow) CGDataProvider;
  if (provider == nullptr) return nullptr;
  try {
    provider->path = path;
  } catch (const std::bad_alloc &) {
    delete provider;
    return nullptr;
  }
  return provider;
}

CGDataProviderRef CGDataProviderRetain(CGDataProviderRef provider) {
  if (provider != nullptr) CFRetain(provider);
  return provider;
}

void CGDataProviderRelease(CGDataProviderRef provider) {
  if (provider != nullptr) CFRelease(provider);
}

CFTypeID CGDataProviderGetTypeID() { return kPL_CFTypeIDCGDataProvider; }

OSStatus PL_CGDataProviderCopyBytes(CGDataProviderRef provider, size_t maxBytes, std::vector<UInt8> *bytes) {
  CGDataProvider *p = ProviderOf(provider);
  if (p == nullptr || bytes == nullptr) return paramErr;
  bytes->clear();
  if (!p->path.empty()) return ReadFile(p->path, maxBytes, bytes);
  p->callbacks.rewind(p->info);
  UInt8 chunk[65536];
  while (bytes->size() < maxBytes) {
    const size_t want = std::min(sizeof chunk, maxBytes - bytes->size());
    const size_t n = p->callbacks.getBytes(p->info, chunk, want);
    if (n == 0 || n > want) break;
    try {
      bytes->insert(bytes->end(), chunk, chunk + n);
    } catch (const std::bad_alloc &) {
      return memFullErr;
    }
  }
  return noErr;
}

// ---- Colour spaces and colours ----

CGColorSpaceRef CGColorSpaceCreateWithName(CFStringRef name) {
  if (name == nullptr) return nullptr;
  if (CFEqual(name, kCGColorSpaceGenericRGB)) return NewSpace(3);
  if (CFEqual(name, kCGColorSpaceGenericGray)) return NewSpace(1);
  return nullptr;
}

CGColorSpaceRef CGColorSpaceCreateDeviceRGB() { return NewSpace(3); }

CGColorSpaceRef CGColorSpaceCreateDeviceGray() { return NewSpace(1); }

size_t CGColorSpaceGetNumberOfComponents(CGColorSpaceRef space) {
  CGColorSpace *s = SpaceOf(space);
  return s != nullptr ? s->components : 0;
}

CGColorSpaceRef CGColorSpaceRetain(CGColorSpaceRef space) {
  if (space != nullptr) CFRetain(space);
  return space;
}

void CGColorSpaceRelease(CGColorSpaceRef space) {
  if (space != nullptr) CFRelease(space);
}

CFTypeID CGColorSpaceGetTypeID() { return kPL_CFTypeIDCGColorSpace; }

CGColorRef CGColorCreate(CGColorSpaceRef space, const CGFloat components[]) {
  CGColorSpace *s = SpaceOf(space);
  if (s == nullptr || components == nullptr) return nullptr;
  CGColor *color = new (std::nothrow) CGColor;
  if (color == nullptr) return nullptr;
  color->space = CGColorSpaceRetain(space);
  color->count = s->components + 1;
  for (size_t i = 0; i < color->count; ++i) color->components[i] = std::clamp(components[i], 0.0f, 1.0f);
  return color;
}

const CGFloat *CGColorGetComponents(CGColorRef color) {
  CGColor *c = ColorOf(color);
  return c != nullptr ? c->components : nullptr;
}

size_t CGColorGetNumberOfComponents(CGColorRef color) {
  CGColor *c = ColorOf(color);
  return c != nullptr ? c->count : 0;
}

CGFloat CGColorGetAlpha(CGColorRef color) {
  CGColor *c = ColorOf(color);
  return c != nullptr ? c->components[c->count - 1] : 0;
}

CGColorSpaceRef CGColorGetColorSpace(CGColorRef color) {
  CGColor *c = ColorOf(color);
  return c != nullptr ? c->space : nullptr;
}

CGColorRef CGColorRetain(CGColorRef color) {
  if (color != nullptr) CFRetain(color);
  return color;
}

void CGColorRelease(CGColorRef color) {
  if (color != nullptr) CFRelease(color);
}

CFTypeID CGColorGetTypeID() { return kPL_CFTypeIDCGColor; }

// ---- Images ----

CGImageRef CGImageCreate(size_t width, size_t height, size_t bitsPerComponent, size_t bitsPerPixel,
                         size_t bytesPerRow, CGColorSpaceRef space, CGBitmapInfo bitmapInfo,
                         CGDataProviderRef provider, const CGFloat decode[], bool shouldInterpolate,
                         CGColorRenderingIntent) {
  CGDataProvider *source = ProviderOf(provider);
  const size_t components = CGColorSpaceGetNumberOfComponents(space);
  const CGImageAlphaInfo alpha = bitmapInfo & kCGBitmapAlphaInfoMask;
  const bool grey = components == 1 && bitsPerPixel == 8 && alpha == kCGImageAlphaNone;
  const bool argb = components == 3 && bitsPerPixel == 32 &&
                    (alpha == kCGImageAlphaFirst || alpha == kCGImageAlphaPremultipliedFirst ||
                     alpha == kCGImageAlphaNoneSkipFirst);
  if (source == nullptr || decode != nullptr || bitsPerComponent != 8 || (bitmapInfo & kCGBitmapByteOrderMask) != 0 ||
      (!grey && !argb))
    return nullptr;
  const size_t pixelBytes = bitsPerPixel / 8;
  if (width == 0 || width > kMaxSide || bytesPerRow < width * pixelBytes) return nullptr;
  CGImage *image = NewImage(width, height);
  if (image == nullptr) return nullptr;
  image->bitsPerPixel = bitsPerPixel;
  image->alphaInfo = alpha;
  image->interpolate = shouldInterpolate;
  // Rows without padding go straight into the image; others through a copy of the provider's bytes. The
  // last row need not be padded to bytesPerRow: only its pixels are asked for.
  const bool direct = argb && bytesPerRow == width * 4;
  const size_t needed = bytesPerRow * (height - 1) + width * pixelBytes;
  std::unique_ptr<UInt8[]> copy(direct ? nullptr : new (std::nothrow) UInt8[needed]);
  UInt8 *raw = direct ? image->pixels : copy.get();
  if (raw == nullptr || !ReadProvider(source, raw, needed)) {
    delete image;
    return nullptr;
  }
  for (size_t y = 0; y < height; ++y) {
    const UInt8 *in = raw + y * bytesPerRow;
    UInt8 *out = image->pixels + y * width * 4;
    if (grey) {
      for (size_t x = 0; x < width; ++x, out += 4) {
        out[0] = 0xFF;
        out[1] = out[2] = out[3] = in[x];
      }
      continue;
    }
    if (!direct) std::memcpy(out, in, width * 4);
    if (alpha == kCGImageAlphaNoneSkipFirst)
      for (size_t x = 0; x < width; ++x) out[4 * x] = 0xFF;
  }
  return image;
}

CGImageRef CGImageCreateWithMaskingColors(CGImageRef image, const CGFloat components[]) {
  CGImage *source = ImageOf(image);
  if (source == nullptr || components == nullptr) return nullptr;
  if (source->alphaInfo != kCGImageAlphaNone && source->alphaInfo != kCGImageAlphaNoneSkipFirst) return nullptr;
  CGImage *masked = NewImage(source->width, source->height);
  if (masked == nullptr) return nullptr;
  masked->bitsPerPixel = 32;
  masked->alphaInfo = kCGImageAlphaFirst;
  masked->interpolate = source->interpolate;
  std::memcpy(masked->pixels, source->pixels, source->byteCount);
  // A grey image has one component, which its R, G and B bytes all hold.
  const size_t count = source->bitsPerPixel == 8 ? 1 : 3;
  for (size_t i = 0; i < masked->byteCount; i += 4) {
    UInt8 *p = &masked->pixels[i];
    bool inside = true;
    for (size_t c = 0; c < count && inside; ++c) {
      const CGFloat v = p[1 + c];
      inside = v >= components[2 * c] && v <= components[2 * c + 1];
    }
    if (inside) p[0] = 0;
  }
  return masked;
}

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
size_t CGImageGetBitsPerPixel(CGImageRef image) {
  CGImage *i = ImageOf(image);
  return i != nullptr ? i->bitsPerPixel : 0;
}
CGImageAlphaInfo CGImageGetAlphaInfo(CGImageRef image) {
  CGImage *i = ImageOf(image);
  return i != nullptr ? i->alphaInfo : kCGImageAlphaNone;
}
bool CGImageGetShouldInterpolate(CGImageRef image) {
  CGImage *i = ImageOf(image);
  return i != nullptr && i->interpolate;
}

CGImageRef CGImageRetain(CGImageRef image) {
  if (image != nullptr) CFRetain(image);
  return image;
}

void CGImageRelease(CGImageRef image) {
  if (image != nullptr) CFRelease(image);
}

CGImageRef PL_CGImageCreateARGB(size_t width, size_t height, const void *argb, size_t rowBytes) {
  return PL_CGImageCreateARGBWithAlphaInfo(width, height, argb, rowBytes, kCGImageAlphaFirst);
}

CGImageRef PL_CGImageCreateARGBWithAlphaInfo(size_t width, size_t height, const void *argb, size_t rowBytes,
                                             CGImageAlphaInfo alphaInfo) {
  if (argb == nullptr || rowBytes < width * 4) return nullptr;
  if (alphaInfo != kCGImageAlphaFirst && alphaInfo != kCGImageAlphaPremultipliedFirst &&
      alphaInfo != kCGImageAlphaNoneSkipFirst)
    return nullptr;
  CGImage *image = NewImage(width, height);
  if (image == nullptr) return nullptr;
  image->alphaInfo = alphaInfo;
  const UInt8 *src = static_cast<const UInt8 *>(argb);
  for (size_t y = 0; y < height; ++y) {
    UInt8 *out = image->pixels + y * width * 4;
    std::memcpy(out, src + y * rowBytes, width * 4);
    if (alphaInfo == kCGImageAlphaNoneSkipFirst)
      for (size_t x = 0; x < width; ++x) out[4 * x] = 0xFF;
  }
  return image;
}

const UInt8 *PL_CGImageGetARGBPixels(CGImageRef image) {
  CGImage *i = ImageOf(image);
  return i != nullptr ? i->pixels : nullptr;
}

Boolean PL_CGImageIsPremultiplied(CGImageRef image) {
  CGImage *i = ImageOf(image);
  return i != nullptr && i->alphaInfo == kCGImageAlphaPremultipliedFirst;
}
