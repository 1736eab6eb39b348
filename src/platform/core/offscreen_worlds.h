// QuickDraw stand-in, offscreen graphics worlds: ports whose pixels live in memory, with the pixel map
// that describes them, the current graphics world, and the gamma requested for a pixel map.
//
// A graphics world is a port (quickdraw_ports.h) carrying a pixel map: classic depths (1, 8, 16, 24, 32,
// 40 for 8-bit grey) or a four-character pixel format ('2vuy', 'yuvs', 'yuv2', 'y420', 'BGRA'...). Its
// pixels are either allocated by the world (rows aligned to 16 bytes, cleared) or the caller's memory
// (QTNewGWorldFromPtr), which the world never frees. A 'y420' world's base address points at the 32-byte
// planar header (PlanarPixmapInfoYUV420, big-endian) that locates the three planes.
//
// A world's port draws into its pixels (quickdraw_pixels.h) for the formats that layer can write.
// Nothing here needs a display. A world is used by one thread at a time; the current world is per thread,
// like the current port.
#pragma once

#include "platform/core/quickdraw_ports.h"

typedef CGrafPtr GWorldPtr;
struct OpaqueGDHandle;
typedef OpaqueGDHandle **GDHandle;
struct ColorTable;
typedef ColorTable **CTabHandle;
typedef UInt32 GWorldFlags;
typedef SInt16 QDErr;

// Pixel formats: classic depths are their own format numbers.
enum : OSType {
  k1MonochromePixelFormat = 0x00000001,
  k8IndexedPixelFormat = 0x00000008,
  k16BE555PixelFormat = 0x00000010,
  k24RGBPixelFormat = 0x00000018,
  k32ARGBPixelFormat = 0x00000020,
  k8IndexedGrayPixelFormat = 0x00000028,
  k32BGRAPixelFormat = 'BGRA',
  k32RGBAPixelFormat = 'RGBA',
  k2vuyPixelFormat = '2vuy',
  kYUVSPixelFormat = 'yuvs',
  kYUVUPixelFormat = 'yuvu',
  kComponentVideoPixelFormat = 'yuv2',
  kYUV420PixelFormat = 'y420',
};

// Flags of NewGWorld and of the pixel state.
enum : GWorldFlags {
  pixPurge = 1u << 0,
  noNewDevice = 1u << 1,
  useTempMem = 1u << 2,
  keepLocal = 1u << 3,
  pixelsPurgeable = 1u << 6,
  pixelsLocked = 1u << 7,
  kNativeEndianPixMap = 1u << 8,
};

enum : OSStatus {
  cDepthErr = -157,  // a depth or pixel format the worlds do not offer
};

// The pixel map of a world. rowBytes is the plain byte distance between rows (no flag bits).
struct PixMap {
  Ptr baseAddr;
  SInt32 rowBytes;
  Rect bounds;
  SInt16 pmVersion;
  SInt16 packType;
  SInt32 packSize;
  Fixed hRes;
  Fixed vRes;
  SInt16 pixelType;  // 0 indexed, 16 direct, 'yuv' formats 16 as well
  SInt16 pixelSize;  // bits per pixel (12 for 'y420')
  SInt16 cmpCount;
  SInt16 cmpSize;
  OSType pixelFormat;
  CTabHandle pmTable;
  void *pmExt;
};
typedef PixMap *PixMapPtr, **PixMapHandle;

// A new world of a classic depth (0 means 32) over its own cleared pixels (white for indexed depths,
// as QuickDraw's default colour table puts white at index 0). cDepthErr for another depth, paramErr for
// a missing or empty rectangle, memFullErr. Owned: DisposeGWorld.
QDErr NewGWorld(GWorldPtr *offscreenGWorld, SInt16 pixelDepth, const Rect *boundsRect, CTabHandle cTable,
                GDHandle aGDevice, GWorldFlags flags);
// The same for any pixel format of this layer ('y420' worlds get their planar header written).
OSErr QTNewGWorld(GWorldPtr *offscreenGWorld, OSType pixelFormat, const Rect *boundsRect, CTabHandle cTable,
                  GDHandle aGDevice, GWorldFlags flags);
// A world over the caller's pixels (borrowed: they must outlive the world). rowBytes below the format's
// minimum for the width gives paramErr; for 'y420' the caller has written the planar header at baseAddr.
OSErr QTNewGWorldFromPtr(GWorldPtr *gw, OSType pixelFormat, const Rect *boundsRect, CTabHandle cTable,
                         GDHandle aGDevice, GWorldFlags flags, void *baseAddr, SInt32 rowBytes);
// Disposes the world and the pixels it allocated; a null world is ignored. When it is the current world,
// there is no current world afterwards.
void DisposeGWorld(GWorldPtr offscreenGWorld);

// The world's pixel map; NULL for a port that is no offscreen world.
PixMapHandle GetGWorldPixMap(GWorldPtr offscreenGWorld);
PixMapHandle GetPortPixMap(CGrafPtr port);
// Pixels never move here: locking always succeeds and only keeps the state flag.
Boolean LockPixels(PixMapHandle pm);
void UnlockPixels(PixMapHandle pm);
GWorldFlags GetPixelsState(PixMapHandle pm);
void SetPixelsState(PixMapHandle pm, GWorldFlags state);
Ptr GetPixBaseAddr(PixMapHandle pm);
SInt32 GetPixRowBytes(PixMapHandle pm);
SInt32 QTGetPixMapHandleRowBytes(PixMapHandle pm);

// The gamma the pixels should have when something is drawn into the map: 0 (the default) means the
// platform's display gamma, -1 the source's own gamma (no conversion). paramErr for a null map.
OSErr QTSetPixMapHandleRequestedGammaLevel(PixMapHandle pm, Fixed desiredGammaLevel);
Fixed QTGetPixMapHandleRequestedGammaLevel(PixMapHandle pm);
// The gamma the pixels were last drawn in (set by whoever draws into the map); 0 when unknown.
OSErr QTSetPixMapHandleGammaLevel(PixMapHandle pm, Fixed gammaLevel);
Fixed QTGetPixMapHandleGammaLevel(PixMapHandle pm);

// The current port of this thread and the device (always NULL here).
void GetGWorld(CGrafPtr *port, GDHandle *gdh);
void SetGWorld(CGrafPtr port, GDHandle gdh);

// The world's pixels as CopyBits takes them (borrowed, lives with the world; the high bit of its rowBytes
// marks a pixel map, except for a 1-bit world, which is a plain bitmap that BitMapToRegion reads); NULL
// for a port that is no offscreen world.
const BitMap *GetPortBitMapForCopyBits(CGrafPtr port);

// ---- Our own helpers ----
// The pixel map of the world whose GetPortBitMapForCopyBits is bits; NULL for any other pointer.
PixMapHandle PL_PixMapOfCopyBits(const BitMap *bits);
// True for a port made by the calls above.
Boolean PL_IsGWorld(CGrafPtr port);
// Bits per pixel of a pixel format (12 for 'y420'); 0 for a format the worlds do not offer.
SInt16 PL_PixelFormatBits(OSType pixelFormat);
// The smallest row bytes of a row of `width` pixels (for 'y420': of the luma plane); 0 for an unknown format.
SInt32 PL_PixelFormatMinRowBytes(OSType pixelFormat, SInt32 width);
// Bytes a world of that format needs for the rectangle with the given row bytes ('y420': header and planes).
size_t PL_PixelFormatBufferSize(OSType pixelFormat, SInt32 rowBytes, SInt32 width, SInt32 height);
