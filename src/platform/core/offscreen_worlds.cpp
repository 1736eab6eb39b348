// QuickDraw stand-in: offscreen graphics worlds over memory.
#include "platform/core/offscreen_worlds.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/core/quickdraw_pixels.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

namespace {

// What a world's port carries as its reference constant.
struct WorldRecord {
  PixMap pixMap;
  PixMapPtr pixMapPtr;  // the master pointer behind the PixMapHandle
  void *ownPixels;      // allocated by the world, or NULL for the caller's memory
  GWorldFlags pixelsState;
  Fixed requestedGamma;
  Fixed gamma;
  BitMap portBits;  // what GetPortBitMapForCopyBits hands out
};

// Live worlds by port and by pixel map handle, so that foreign ports and handles are recognised as such
// without reading through them.
std::mutex gWorldsLock;
std::unordered_map<CGrafPtr, WorldRecord *> gWorldsByPort;
std::unordered_map<PixMapHandle, WorldRecord *> gWorldsByPixMap;

WorldRecord *WorldOf(CGrafPtr port) {
  if (port == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(gWorldsLock);
  auto it = gWorldsByPort.find(port);
  return it == gWorldsByPort.end() ? nullptr : it->second;
}

WorldRecord *WorldOf(PixMapHandle pm) {
  if (pm == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(gWorldsLock);
  auto it = gWorldsByPixMap.find(pm);
  return it == gWorldsByPixMap.end() ? nullptr : it->second;
}

SInt32 RoundUp(SInt32 value, SInt32 multiple) { return (value + multiple - 1) / multiple * multiple; }

bool IsYCbCr422(OSType format) {
  return format == k2vuyPixelFormat || format == kYUVSPixelFormat || format == kYUVUPixelFormat ||
         format == kComponentVideoPixelFormat;
}

// The big-endian planar header of a 'y420' buffer: offsets and row bytes of Y, Cb and Cr.
void WriteY420Header(UInt8 *base, SInt32 width, SInt32 height) {
  UInt32 rowBytesY = UInt32(RoundUp(width, 32));
  UInt32 h4 = UInt32(RoundUp(height, 4));
  UInt32 words[6] = {32, rowBytesY, 32 + rowBytesY * h4, rowBytesY / 2, 32 + rowBytesY * h4 + rowBytesY * h4 / 4,
                     rowBytesY / 2};
  for (int i = 0; i < 6; ++i) {
    base[4 * i] = UInt8(words[i] >> 24);
    base[4 * i + 1] = UInt8(words[i] >> 16);
    base[4 * i + 2] = UInt8(words[i] >> 8);
    base[4 * i + 3] = UInt8(words[i]);
  }
}

OSErr MakeWorld(GWorldPtr *out, OSType format, const Rect *bounds, void *pixels, SInt32 rowBytes) {
  if (out == nullptr) return paramErr;
  *out = nullptr;
  if (bounds == nullptr || bounds->right <= bounds->left || bounds->bottom <= bounds->top) return paramErr;
  SInt16 bits = PL_PixelFormatBits(format);
  if (bits == 0) return cDepthErr;
  SInt32 width = bounds->right - bounds->left;
  SInt32 height = bounds->bottom - bounds->top;
  SInt32 minRowBytes = PL_PixelFormatMinRowBytes(format, width);
  void *own = nullptr;
  if (pixels == nullptr) {
    rowBytes = format == kYUV420PixelFormat ? minRowBytes : RoundUp(minRowBytes, 16);
    size_t size = PL_PixelFormatBufferSize(format, rowBytes, width, height);
    own = std::aligned_alloc(64, (size + 63) / 64 * 64);
    if (own == nullptr) return memFullErr;
    auto *bytes = static_cast<UInt8 *>(own);
    if (format == kYUV420PixelFormat) {
      WriteY420Header(bytes, width, height);
      size_t planes = size - 32;
      size_t lumaSize = size_t(RoundUp(width, 32)) * size_t(RoundUp(height, 4));
      std::memset(bytes + 24, 0, 8);
      std::memset(bytes + 32, 16, lumaSize);
      std::memset(bytes + 32 + lumaSize, 128, planes - lumaSize);
    } else if (IsYCbCr422(format)) {
      // Black in video range: Y 16, chroma at its zero.
      UInt8 pattern[4];
      if (format == k2vuyPixelFormat) {
        pattern[0] = 128, pattern[1] = 16, pattern[2] = 128, pattern[3] = 16;
      } else if (format == kComponentVideoPixelFormat || format == kYUVUPixelFormat) {
        pattern[0] = 16, pattern[1] = 0, pattern[2] = 16, pattern[3] = 0;
      } else {
        pattern[0] = 16, pattern[1] = 128, pattern[2] = 16, pattern[3] = 128;
      }
      for (size_t i = 0; i + 4 <= size; i += 4) std::memcpy(bytes + i, pattern, 4);
    } else {
      // Indexed depths: index 0 is white in the default colour table; direct formats start black, opaque.
      std::memset(bytes, 0, size);
      if (format == k32ARGBPixelFormat)
        for (size_t i = 0; i < size; i += 4) bytes[i] = 0xFF;
    }
    pixels = own;
  } else if (rowBytes < minRowBytes) {
    return paramErr;
  }
  auto *world = new (std::nothrow) WorldRecord{};
  if (world == nullptr) {
    std::free(own);
    return memFullErr;
  }
  PixMap &pm = world->pixMap;
  pm.baseAddr = static_cast<Ptr>(pixels);
  pm.rowBytes = rowBytes;
  pm.bounds = *bounds;
  pm.hRes = pm.vRes = 72 << 16;
  pm.pixelType = (format == k1MonochromePixelFormat || format == k8IndexedPixelFormat ||
                  format == k8IndexedGrayPixelFormat)
                     ? 0
                     : 16;
  pm.pixelSize = bits;
  pm.cmpCount = pm.pixelType == 0 ? 1 : 3;
  pm.cmpSize = format == k16BE555PixelFormat ? 5 : (pm.pixelType == 0 ? bits : 8);
  pm.pixelFormat = format;
  world->pixMapPtr = &world->pixMap;
  world->ownPixels = own;
  world->portBits.baseAddr = pm.baseAddr;
  // The high bit marks a pixel map, as QuickDraw did; a 1-bit world is a plain bitmap, so that
  // BitMapToRegion reads it as it is. The rest of a pixel map's rowBytes is only informative here.
  if (format == k1MonochromePixelFormat && pm.rowBytes <= 0x3FFF) world->portBits.rowBytes = SInt16(pm.rowBytes);
  else world->portBits.rowBytes = SInt16(0x8000 | (pm.rowBytes & 0x3FFF));
  world->portBits.bounds = *bounds;
  GrafPtr port = PL_NewPort(bounds, Point{0, 0}, PL_PixMapDrawProcs(), world);
  if (port == nullptr) {
    delete world;
    std::free(own);
    return memFullErr;
  }
  try {
    std::lock_guard<std::mutex> lock(gWorldsLock);
    gWorldsByPort[port] = world;
    gWorldsByPixMap[&world->pixMapPtr] = world;
  } catch (const std::bad_alloc &) {
    std::lock_guard<std::mutex> lock(gWorldsLock);
    gWorldsByPort.erase(port);
    PL_DisposePort(port);
    delete world;
    std::free(own);
    return memFullErr;
  }
  *out = port;
  return noErr;
}

}  // namespace

SInt16 PL_PixelFormatBits(OSType pixelFormat) {
  switch (pixelFormat) {
    case k1MonochromePixelFormat:
      return 1;
    case k8IndexedPixelFormat:
    case k8IndexedGrayPixelFormat:
      return 8;
    case k16BE555PixelFormat:
    case k2vuyPixelFormat:
    case kYUVSPixelFormat:
    case kYUVUPixelFormat:
    case kComponentVideoPixelFormat:
      return 16;
    case k24RGBPixelFormat:
      return 24;
    case k32ARGBPixelFormat:
    case k32BGRAPixelFormat:
    case k32RGBAPixelFormat:
      return 32;
    case kYUV420PixelFormat:
      return 12;
    default:
      return 0;
  }
}

SInt32 PL_PixelFormatMinRowBytes(OSType pixelFormat, SInt32 width) {
  if (width <= 0) return 0;
  if (pixelFormat == kYUV420PixelFormat) return width * 3 / 2;
  SInt16 bits = PL_PixelFormatBits(pixelFormat);
  if (bits == 0) return 0;
  // 4:2:2 rows hold whole pixel pairs.
  if (bits == 16 && pixelFormat != k16BE555PixelFormat) return (width + 1) / 2 * 4;
  return (width * bits + 7) / 8;
}

size_t PL_PixelFormatBufferSize(OSType pixelFormat, SInt32 rowBytes, SInt32 width, SInt32 height) {
  if (width <= 0 || height <= 0) return 0;
  if (pixelFormat == kYUV420PixelFormat) {
    size_t rowBytesY = size_t(RoundUp(width, 32));
    return rowBytesY * size_t(RoundUp(height, 4)) * 3 / 2 + 32;
  }
  return size_t(rowBytes) * size_t(height);
}

QDErr NewGWorld(GWorldPtr *offscreenGWorld, SInt16 pixelDepth, const Rect *boundsRect, CTabHandle, GDHandle,
                GWorldFlags) {
  OSType format = pixelDepth == 0 ? k32ARGBPixelFormat : OSType(UInt16(pixelDepth));
  if (format != k1MonochromePixelFormat && format != k8IndexedPixelFormat && format != k16BE555PixelFormat &&
      format != k24RGBPixelFormat && format != k32ARGBPixelFormat && format != k8IndexedGrayPixelFormat) {
    if (offscreenGWorld) *offscreenGWorld = nullptr;
    return cDepthErr;
  }
  return QDErr(MakeWorld(offscreenGWorld, format, boundsRect, nullptr, 0));
}

OSErr QTNewGWorld(GWorldPtr *offscreenGWorld, OSType pixelFormat, const Rect *boundsRect, CTabHandle, GDHandle,
                  GWorldFlags) {
  if (pixelFormat == 0) pixelFormat = k32ARGBPixelFormat;
  return MakeWorld(offscreenGWorld, pixelFormat, boundsRect, nullptr, 0);
}

OSErr QTNewGWorldFromPtr(GWorldPtr *gw, OSType pixelFormat, const Rect *boundsRect, CTabHandle, GDHandle, GWorldFlags,
                         void *baseAddr, SInt32 rowBytes) {
  if (baseAddr == nullptr) {
    if (gw) *gw = nullptr;
    return paramErr;
  }
  if (pixelFormat == 0) pixelFormat = k32ARGBPixelFormat;
  return MakeWorld(gw, pixelFormat, boundsRect, baseAddr, rowBytes);
}

void DisposeGWorld(GWorldPtr offscreenGWorld) {
  WorldRecord *world = WorldOf(offscreenGWorld);
  if (world == nullptr) return;
  {
    std::lock_guard<std::mutex> lock(gWorldsLock);
    gWorldsByPort.erase(offscreenGWorld);
    gWorldsByPixMap.erase(&world->pixMapPtr);
  }
  PL_DisposePort(offscreenGWorld);
  std::free(world->ownPixels);
  delete world;
}

PixMapHandle GetGWorldPixMap(GWorldPtr offscreenGWorld) {
  WorldRecord *world = WorldOf(offscreenGWorld);
  return world ? &world->pixMapPtr : nullptr;
}

PixMapHandle GetPortPixMap(CGrafPtr port) { return GetGWorldPixMap(port); }

Boolean LockPixels(PixMapHandle pm) {
  WorldRecord *world = WorldOf(pm);
  if (world == nullptr) return false;
  world->pixelsState |= pixelsLocked;
  return true;
}

void UnlockPixels(PixMapHandle pm) {
  if (WorldRecord *world = WorldOf(pm)) world->pixelsState &= ~pixelsLocked;
}

GWorldFlags GetPixelsState(PixMapHandle pm) {
  WorldRecord *world = WorldOf(pm);
  return world ? world->pixelsState : 0;
}

void SetPixelsState(PixMapHandle pm, GWorldFlags state) {
  if (WorldRecord *world = WorldOf(pm)) world->pixelsState = state & (pixelsLocked | pixelsPurgeable);
}

Ptr GetPixBaseAddr(PixMapHandle pm) { return pm && *pm ? (*pm)->baseAddr : nullptr; }

SInt32 GetPixRowBytes(PixMapHandle pm) { return pm && *pm ? (*pm)->rowBytes : 0; }

SInt32 QTGetPixMapHandleRowBytes(PixMapHandle pm) { return GetPixRowBytes(pm); }

OSErr QTSetPixMapHandleRequestedGammaLevel(PixMapHandle pm, Fixed desiredGammaLevel) {
  WorldRecord *world = WorldOf(pm);
  if (world == nullptr) return paramErr;
  world->requestedGamma = desiredGammaLevel;
  return noErr;
}

Fixed QTGetPixMapHandleRequestedGammaLevel(PixMapHandle pm) {
  WorldRecord *world = WorldOf(pm);
  return world ? world->requestedGamma : 0;
}

OSErr QTSetPixMapHandleGammaLevel(PixMapHandle pm, Fixed gammaLevel) {
  WorldRecord *world = WorldOf(pm);
  if (world == nullptr) return paramErr;
  world->gamma = gammaLevel;
  return noErr;
}

Fixed QTGetPixMapHandleGammaLevel(PixMapHandle pm) {
  WorldRecord *world = WorldOf(pm);
  return world ? world->gamma : 0;
}

void GetGWorld(CGrafPtr *port, GDHandle *gdh) {
  if (port) GetPort(port);
  if (gdh) *gdh = nullptr;
}

void SetGWorld(CGrafPtr port, GDHandle) { SetPort(port); }

Boolean PL_IsGWorld(CGrafPtr port) { return WorldOf(port) != nullptr; }

const BitMap *GetPortBitMapForCopyBits(CGrafPtr port) {
  WorldRecord *world = WorldOf(port);
  return world ? &world->portBits : nullptr;
}

PixMapHandle PL_PixMapOfCopyBits(const BitMap *bits) {
  if (bits == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(gWorldsLock);
  for (const auto &entry : gWorldsByPort)
    if (&entry.second->portBits == bits) return &entry.second->pixMapPtr;
  return nullptr;
}
