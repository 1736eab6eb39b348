// QuickDraw stand-in, pictures.
#include "platform/core/quickdraw_pictures.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

thread_local OSErr tPictureError = noErr;

// Our record behind the 10-byte header.
struct PictureImage {
  UInt32 tag;
  SInt32 width;
  SInt32 height;
};
constexpr size_t kHeaderSize = sizeof(Picture) + sizeof(PictureImage);

OSErr SetError(OSErr err) {
  tPictureError = err;
  return err;
}

// The record of a sound picture, else null.
const PictureImage *ImageOf(PicHandle picture) {
  if (picture == nullptr || *picture == nullptr) return nullptr;
  Size size = GetHandleSize(reinterpret_cast<Handle>(picture));
  if (size < Size(kHeaderSize)) return nullptr;
  PictureImage image;
  std::memcpy(&image, reinterpret_cast<const UInt8 *>(*picture) + sizeof(Picture), sizeof(image));
  if (image.tag != UInt32(kPL_PictureTag) || image.width <= 0 || image.height <= 0) return nullptr;
  if (UInt64(image.width) * UInt64(image.height) * 4 > UInt64(size) - kHeaderSize) return nullptr;
  return reinterpret_cast<const PictureImage *>(reinterpret_cast<const UInt8 *>(*picture) + sizeof(Picture));
}

// 6 x 6 x 6 cube from white down, ramps, black at 255: QuickDraw's default 8-bit table.
const UInt8 kRamp[10] = {0xEE, 0xDD, 0xBB, 0xAA, 0x88, 0x77, 0x55, 0x44, 0x22, 0x11};
void IndexedColor(UInt8 index, UInt8 rgb[3]) {
  rgb[0] = rgb[1] = rgb[2] = 0;
  if (index < 215) {
    rgb[0] = UInt8(0xFF - 0x33 * (index / 36));
    rgb[1] = UInt8(0xFF - 0x33 * (index / 6 % 6));
    rgb[2] = UInt8(0xFF - 0x33 * (index % 6));
  } else if (index < 255) {
    int ramp = (index - 215) / 10;
    UInt8 level = kRamp[(index - 215) % 10];
    if (ramp == 3) rgb[0] = rgb[1] = rgb[2] = level;
    else rgb[ramp] = level;
  }
}
UInt8 NearestIndex(const UInt8 rgb[3]) {
  auto step = [](UInt8 c) { return (0xFF - c + 0x19) / 0x33; };
  int index = step(rgb[0]) * 36 + step(rgb[1]) * 6 + step(rgb[2]);
  return index == 215 ? 255 : UInt8(index);
}

// ARGB of one pixel of a pixel map, and back.
void ReadPixel(const PixMap &pm, const UInt8 *row, SInt32 x, UInt8 out[4]) {
  switch (pm.pixelFormat) {
    case k32ARGBPixelFormat: std::memcpy(out, row + 4 * x, 4); break;
    case k24RGBPixelFormat:
      out[0] = 0xFF;
      std::memcpy(out + 1, row + 3 * x, 3);
      break;
    case k8IndexedGrayPixelFormat: out[0] = 0xFF; out[1] = out[2] = out[3] = UInt8(255 - row[x]); break;
    default:
      out[0] = 0xFF;
      IndexedColor(row[x], out + 1);
      break;
  }
}

void WritePixel(const PixMap &pm, UInt8 *row, SInt32 x, const UInt8 argb[4]) {
  switch (pm.pixelFormat) {
    case k32ARGBPixelFormat: std::memcpy(row + 4 * x, argb, 4); break;
    case k24RGBPixelFormat: std::memcpy(row + 3 * x, argb + 1, 3); break;
    case k8IndexedGrayPixelFormat:
      // Rec. 601 luma of the colour; index 0 is white.
      row[x] = UInt8(255 - (299 * argb[1] + 587 * argb[2] + 114 * argb[3] + 500) / 1000);
      break;
    default: row[x] = NearestIndex(argb + 1); break;
  }
}

bool Drawable(OSType format) {
  return format == k32ARGBPixelFormat || format == k24RGBPixelFormat || format == k8IndexedGrayPixelFormat ||
         format == k8IndexedPixelFormat;
}

}  // namespace

OSErr PL_PictureError() { return tPictureError; }

void PL_DefaultIndexedColor(UInt8 index, UInt8 *red, UInt8 *green, UInt8 *blue) {
  UInt8 rgb[3];
  IndexedColor(index, rgb);
  if (red != nullptr) *red = rgb[0];
  if (green != nullptr) *green = rgb[1];
  if (blue != nullptr) *blue = rgb[2];
}

UInt8 PL_NearestDefaultIndex(UInt8 red, UInt8 green, UInt8 blue) {
  const UInt8 rgb[3] = {red, green, blue};
  return NearestIndex(rgb);
}

void KillPicture(PicHandle myPicture) {
  if (myPicture != nullptr) DisposeHandle(reinterpret_cast<Handle>(myPicture));
}

Rect *QDGetPictureBounds(PicHandle picH, Rect *outRect) {
  if (outRect == nullptr) return nullptr;
  *outRect = Rect{0, 0, 0, 0};
  if (ImageOf(picH) != nullptr) *outRect = (*picH)->picFrame;
  return outRect;
}

OSStatus PL_NewARGBPicture(const Rect *picFrame, SInt32 width, SInt32 height, const void *argb, SInt32 rowBytes,
                           PicHandle *picture) {
  if (picture == nullptr) return paramErr;
  *picture = nullptr;
  if (picFrame == nullptr || argb == nullptr || width <= 0 || height <= 0 || SInt64(rowBytes) < SInt64(width) * 4)
    return paramErr;
  UInt64 bytes = kHeaderSize + UInt64(width) * UInt64(height) * 4;
  if (bytes > 0x7FFFFFFF) return memFullErr;
  Handle h = NewHandle(Size(bytes));
  if (h == nullptr) return memFullErr;
  Picture header{SInt16(bytes & 0xFFFF), *picFrame};
  PictureImage image{UInt32(kPL_PictureTag), width, height};
  UInt8 *p = reinterpret_cast<UInt8 *>(*h);
  std::memcpy(p, &header, sizeof(header));
  std::memcpy(p + sizeof(header), &image, sizeof(image));
  const UInt8 *src = static_cast<const UInt8 *>(argb);
  for (SInt32 y = 0; y < height; ++y)
    std::memcpy(p + kHeaderSize + size_t(y) * size_t(width) * 4, src + size_t(y) * size_t(rowBytes), size_t(width) * 4);
  *picture = reinterpret_cast<PicHandle>(h);
  return noErr;
}

OSStatus PL_NewPictureFromPixMap(PixMapHandle pixMap, const Rect *srcRect, PicHandle *picture) {
  if (picture == nullptr) return paramErr;
  *picture = nullptr;
  if (pixMap == nullptr || *pixMap == nullptr) return paramErr;
  const PixMap &pm = **pixMap;
  if (!Drawable(pm.pixelFormat)) return cDepthErr;
  Rect r = srcRect != nullptr ? *srcRect : pm.bounds;
  if (r.left < pm.bounds.left || r.top < pm.bounds.top || r.right > pm.bounds.right || r.bottom > pm.bounds.bottom ||
      r.right <= r.left || r.bottom <= r.top)
    return paramErr;
  SInt32 width = r.right - r.left, height = r.bottom - r.top;
  std::vector<UInt8> argb(size_t(width) * size_t(height) * 4);
  const UInt8 *base = reinterpret_cast<const UInt8 *>(pm.baseAddr);
  for (SInt32 y = 0; y < height; ++y) {
    const UInt8 *row = base + size_t(r.top - pm.bounds.top + y) * size_t(pm.rowBytes);
    for (SInt32 x = 0; x < width; ++x) ReadPixel(pm, row, r.left - pm.bounds.left + x, &argb[(size_t(y) * width + x) * 4]);
  }
  Rect frame{0, 0, SInt16(height), SInt16(width)};
  return PL_NewARGBPicture(&frame, width, height, argb.data(), width * 4, picture);
}

OSStatus PL_GetPictureImage(PicHandle picture, SInt32 *width, SInt32 *height, const UInt8 **argb) {
  const PictureImage *image = ImageOf(picture);
  if (image == nullptr) return paramErr;
  if (width != nullptr) *width = image->width;
  if (height != nullptr) *height = image->height;
  if (argb != nullptr) *argb = reinterpret_cast<const UInt8 *>(*picture) + kHeaderSize;
  return noErr;
}

void DrawPicture(PicHandle myPicture, const Rect *dstRect) {
  SInt32 width = 0, height = 0;
  const UInt8 *pixels = nullptr;
  if (dstRect == nullptr || PL_GetPictureImage(myPicture, &width, &height, &pixels) != noErr) {
    SetError(paramErr);
    return;
  }
  CGrafPtr port = nullptr;
  GetGWorld(&port, nullptr);
  PixMapHandle pmh = port != nullptr ? GetGWorldPixMap(port) : nullptr;
  if (pmh == nullptr || !Drawable((*pmh)->pixelFormat)) {
    SetError(unimpErr);
    return;
  }
  const PixMap &pm = **pmh;
  SInt32 dw = dstRect->right - dstRect->left, dh = dstRect->bottom - dstRect->top;
  if (dw <= 0 || dh <= 0) {
    SetError(noErr);
    return;
  }
  // Only the part of the destination that lies on the pixel map is drawn.
  SInt32 top = std::max<SInt32>(dstRect->top, pm.bounds.top), bottom = std::min<SInt32>(dstRect->bottom, pm.bounds.bottom);
  SInt32 left = std::max<SInt32>(dstRect->left, pm.bounds.left), right = std::min<SInt32>(dstRect->right, pm.bounds.right);
  UInt8 *base = reinterpret_cast<UInt8 *>(pm.baseAddr);
  for (SInt32 y = top; y < bottom; ++y) {
    SInt32 sy = SInt32((SInt64(y - dstRect->top) * height) / dh);
    UInt8 *row = base + size_t(y - pm.bounds.top) * size_t(pm.rowBytes);
    for (SInt32 x = left; x < right; ++x) {
      SInt32 sx = SInt32((SInt64(x - dstRect->left) * width) / dw);
      WritePixel(pm, row, x - pm.bounds.left, pixels + (size_t(sy) * width + sx) * 4);
    }
  }
  SetError(noErr);
}
