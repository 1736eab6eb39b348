// QuickDraw stand-in, pixels: single pixels, painting into offscreen worlds, CopyBits.
#include "platform/core/quickdraw_pixels.h"

#include "platform/core/mac_errors.h"
#include "platform/core/quickdraw_pictures.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The dither bit of a transfer mode; nothing to dither here, so it changes nothing.
constexpr SInt16 kDitherBit = 64;

// 6 x 6 x 6 cube from white down, ramps, black at 255: QuickDraw's default 8-bit table.
const UInt8 kRamp[10] = {0xEE, 0xDD, 0xBB, 0xAA, 0x88, 0x77, 0x55, 0x44, 0x22, 0x11};

UInt8 Luma(const UInt8 argb[4]) { return UInt8((299 * argb[1] + 587 * argb[2] + 114 * argb[3] + 500) / 1000); }

// A region holding one rectangle (owned), or NULL when memory is out.
RgnHandle RectRegion(const Rect &r) {
  RgnHandle rgn = NewRgn();
  if (rgn != nullptr) RectRgn(rgn, &r);
  return rgn;
}

// Paints shape clipped to the current port's clip region into the port's world in one colour. Region calls
// reset QDError, so callers set it from the result once their own regions are gone.
OSErr PaintPortShape(GrafPtr port, RgnHandle shape, const RGBColor &color) {
  PixMapHandle pmh = GetGWorldPixMap(port);
  if (pmh == nullptr || shape == nullptr) return paramErr;
  if (!PL_PixelFormatDrawable((*pmh)->pixelFormat)) return unimpErr;
  RgnHandle clipped = NewRgn();
  if (clipped == nullptr) return memFullErr;
  GetClip(clipped);
  SectRgn(shape, clipped, clipped);
  UInt8 argb[4];
  PL_RGBColorToARGB(&color, argb);
  PL_PaintPixMapRgn(*pmh, clipped, argb);
  DisposeRgn(clipped);
  return noErr;
}

void PaintRectProc(GrafPtr port, const Rect *r, bool erase) {
  if (r == nullptr) {
    PL_SetQDError(paramErr);
    return;
  }
  RGBColor color;
  if (erase) PL_GetPortBackColor(port, &color);
  else PL_GetPortForeColor(port, &color);
  RgnHandle shape = RectRegion(*r);
  OSErr err = shape != nullptr ? PaintPortShape(port, shape, color) : OSErr(memFullErr);
  if (shape != nullptr) DisposeRgn(shape);
  PL_SetQDError(err);
}

void WorldPaintRect(GrafPtr port, const Rect *r) { PaintRectProc(port, r, false); }
void WorldEraseRect(GrafPtr port, const Rect *r) { PaintRectProc(port, r, true); }

void WorldFrameRect(GrafPtr port, const Rect *r) {
  if (r == nullptr) {
    PL_SetQDError(paramErr);
    return;
  }
  PenState pen;
  GetPenState(&pen);
  RgnHandle shape = NewRgn();
  PL_FrameRectRgn(r, pen.pnSize, shape);
  RGBColor color;
  PL_GetPortForeColor(port, &color);
  OSErr err = shape != nullptr ? PaintPortShape(port, shape, color) : OSErr(memFullErr);
  if (shape != nullptr) DisposeRgn(shape);
  PL_SetQDError(err);
}

void WorldPaintRgn(GrafPtr port, RgnHandle rgn) {
  RGBColor color;
  PL_GetPortForeColor(port, &color);
  PL_SetQDError(PaintPortShape(port, rgn, color));
}

void WorldEraseRgn(GrafPtr port, RgnHandle rgn) {
  RGBColor color;
  PL_GetPortBackColor(port, &color);
  PL_SetQDError(PaintPortShape(port, rgn, color));
}

// The outline of a region of pen-sized thickness: the region less the part that stays inside it when moved
// by the pen's width and height in each direction.
void WorldFrameRgn(GrafPtr port, RgnHandle rgn) {
  if (rgn == nullptr) {
    PL_SetQDError(paramErr);
    return;
  }
  PenState pen;
  GetPenState(&pen);
  RgnHandle inner = NewRgn(), moved = NewRgn();
  OSErr err = memFullErr;
  if (inner != nullptr && moved != nullptr) {
    CopyRgn(rgn, inner);
    const SInt16 w = std::max<SInt16>(pen.pnSize.h, 1), h = std::max<SInt16>(pen.pnSize.v, 1);
    const SInt16 shifts[4][2] = {{w, 0}, {SInt16(-w), 0}, {0, h}, {0, SInt16(-h)}};
    for (const auto &shift : shifts) {
      CopyRgn(rgn, moved);
      OffsetRgn(moved, shift[0], shift[1]);
      SectRgn(inner, moved, inner);
    }
    DiffRgn(rgn, inner, moved);
    RGBColor color;
    PL_GetPortForeColor(port, &color);
    err = PaintPortShape(port, moved, color);
  }
  if (inner != nullptr) DisposeRgn(inner);
  if (moved != nullptr) DisposeRgn(moved);
  PL_SetQDError(err);
}

void WorldLine(GrafPtr port, Point from, Point to) {
  PenState pen;
  GetPenState(&pen);
  RgnHandle shape = NewRgn();
  OSErr err = memFullErr;
  if (shape != nullptr) {
    PL_LineRgn(from, to, pen.pnSize, shape);
    RGBColor color;
    PL_GetPortForeColor(port, &color);
    err = PaintPortShape(port, shape, color);
    DisposeRgn(shape);
  }
  PL_SetQDError(err);
}

// Colours are kept by the port itself; the world only needs to accept them.
void WorldColor(GrafPtr, const RGBColor *) {}
void WorldBasicColor(GrafPtr, SInt32) {}
void WorldFlush(GrafPtr, RgnHandle) {}

const PL_PortDrawProcs kWorldProcs = {
    WorldFrameRect, WorldPaintRect, WorldEraseRect, WorldFrameRgn, WorldPaintRgn, WorldEraseRgn, WorldColor,
    WorldColor,     WorldBasicColor, WorldFlush,   nullptr,        nullptr,       nullptr,       WorldLine,
};

// A pixel map for the BitMap CopyBits was given: a world's, or a plain 1-bit bitmap.
bool ResolveBits(const BitMap *bits, PixMap *pm) {
  if (bits == nullptr) return false;
  PixMapHandle pmh = PL_PixMapOfCopyBits(bits);
  if (pmh != nullptr) {
    *pm = **pmh;
    return true;
  }
  if ((bits->rowBytes & 0x8000) != 0 || bits->baseAddr == nullptr) return false;
  *pm = PixMap{};
  pm->baseAddr = bits->baseAddr;
  pm->rowBytes = bits->rowBytes;
  pm->bounds = bits->bounds;
  pm->pixelSize = 1;
  pm->cmpCount = 1;
  pm->cmpSize = 1;
  pm->pixelFormat = k1MonochromePixelFormat;
  if (pm->rowBytes < PL_PixelFormatMinRowBytes(k1MonochromePixelFormat, bits->bounds.right - bits->bounds.left))
    return false;
  return true;
}

// First destination offset (from the destination's start) whose nearest-neighbour source offset is at
// least s, for a destination of length d over a source of length n.
SInt32 FirstDstFor(SInt64 s, SInt64 d, SInt64 n) { return SInt32((s * d + n - 1) / n); }

}  // namespace

Boolean PL_PixelFormatDrawable(OSType pixelFormat) {
  return pixelFormat == k32ARGBPixelFormat || pixelFormat == k24RGBPixelFormat ||
         pixelFormat == k8IndexedGrayPixelFormat || pixelFormat == k8IndexedPixelFormat ||
         pixelFormat == k1MonochromePixelFormat;
}

void PL_IndexedToRGB(UInt8 index, UInt8 rgb[3]) {
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

UInt8 PL_RGBToIndexed(const UInt8 rgb[3]) {
  auto step = [](UInt8 c) { return (0xFF - c + 0x19) / 0x33; };
  int index = step(rgb[0]) * 36 + step(rgb[1]) * 6 + step(rgb[2]);
  return index == 215 ? 255 : UInt8(index);
}

void PL_RGBColorToARGB(const RGBColor *color, UInt8 argb[4]) {
  argb[0] = 0xFF;
  argb[1] = UInt8(color->red >> 8);
  argb[2] = UInt8(color->green >> 8);
  argb[3] = UInt8(color->blue >> 8);
}

void PL_ReadPixelARGB(const PixMap *pm, const UInt8 *row, SInt32 x, UInt8 out[4]) {
  switch (pm->pixelFormat) {
    case k32ARGBPixelFormat: std::memcpy(out, row + 4 * x, 4); break;
    case k24RGBPixelFormat:
      out[0] = 0xFF;
      std::memcpy(out + 1, row + 3 * x, 3);
      break;
    case k8IndexedGrayPixelFormat: out[0] = 0xFF; out[1] = out[2] = out[3] = UInt8(255 - row[x]); break;
    case k1MonochromePixelFormat:
      out[0] = 0xFF;
      out[1] = out[2] = out[3] = (row[x >> 3] & (0x80 >> (x & 7))) ? 0 : 0xFF;
      break;
    default:
      out[0] = 0xFF;
      PL_IndexedToRGB(row[x], out + 1);
      break;
  }
}

void PL_WritePixelARGB(const PixMap *pm, UInt8 *row, SInt32 x, const UInt8 argb[4]) {
  switch (pm->pixelFormat) {
    case k32ARGBPixelFormat: std::memcpy(row + 4 * x, argb, 4); break;
    case k24RGBPixelFormat: std::memcpy(row + 3 * x, argb + 1, 3); break;
    // Rec. 601 luma of the colour; index 0 is white.
    case k8IndexedGrayPixelFormat: row[x] = UInt8(255 - Luma(argb)); break;
    case k1MonochromePixelFormat:
      if (Luma(argb) < 128) row[x >> 3] = UInt8(row[x >> 3] | (0x80 >> (x & 7)));
      else row[x >> 3] = UInt8(row[x >> 3] & ~(0x80 >> (x & 7)));
      break;
    default: row[x] = PL_RGBToIndexed(argb + 1); break;
  }
}

void PL_PaintPixMapRgn(const PixMap *pm, RgnHandle shape, const UInt8 argb[4]) {
  if (pm == nullptr || shape == nullptr || !PL_PixelFormatDrawable(pm->pixelFormat)) return;
  UInt8 *base = reinterpret_cast<UInt8 *>(pm->baseAddr);
  PL_ForEachRgnRect(shape, [&](const Rect &r) {
    Rect part;
    if (!SectRect(&r, &pm->bounds, &part)) return;
    for (SInt32 y = part.top; y < part.bottom; ++y) {
      UInt8 *row = base + size_t(y - pm->bounds.top) * size_t(pm->rowBytes);
      for (SInt32 x = part.left; x < part.right; ++x) PL_WritePixelARGB(pm, row, x - pm->bounds.left, argb);
    }
  });
}

void PL_FrameRectRgn(const Rect *r, Point penSize, RgnHandle rgn) {
  if (rgn == nullptr) return;
  SetEmptyRgn(rgn);
  if (r == nullptr || EmptyRect(r)) return;
  RectRgn(rgn, r);
  Rect hole = *r;
  InsetRect(&hole, std::max<SInt16>(penSize.h, 1), std::max<SInt16>(penSize.v, 1));
  if (EmptyRect(&hole)) return;
  RgnHandle inner = RectRegion(hole);
  if (inner == nullptr) return;
  DiffRgn(rgn, inner, rgn);
  DisposeRgn(inner);
}

void PL_LineRgn(Point from, Point to, Point penSize, RgnHandle rgn) {
  if (rgn == nullptr) return;
  SetEmptyRgn(rgn);
  if (penSize.h <= 0 || penSize.v <= 0) return;
  auto penAt = [&](SInt32 h, SInt32 v) {
    return Rect{SInt16(v), SInt16(h), SInt16(std::min<SInt32>(v + penSize.v, 32767)),
                SInt16(std::min<SInt32>(h + penSize.h, 32767))};
  };
  // A horizontal or vertical line is one rectangle.
  if (from.h == to.h || from.v == to.v) {
    Rect a = penAt(from.h, from.v), b = penAt(to.h, to.v), both;
    UnionRect(&a, &b, &both);
    RectRgn(rgn, &both);
    return;
  }
  RgnHandle step = NewRgn();
  if (step == nullptr) return;
  // Bresenham's walk, one pen rectangle per point.
  SInt32 h = from.h, v = from.v;
  const SInt32 dh = std::abs(to.h - from.h), dv = -std::abs(to.v - from.v);
  const SInt32 sh = from.h < to.h ? 1 : -1, sv = from.v < to.v ? 1 : -1;
  SInt32 error = dh + dv;
  for (;;) {
    const Rect r = penAt(h, v);
    RectRgn(step, &r);
    UnionRgn(rgn, step, rgn);
    if (h == to.h && v == to.v) break;
    const SInt32 twice = 2 * error;
    if (twice >= dv) {
      error += dv;
      h += sh;
    }
    if (twice <= dh) {
      error += dh;
      v += sv;
    }
  }
  DisposeRgn(step);
}

const PL_PortDrawProcs *PL_PixMapDrawProcs() { return &kWorldProcs; }

void CopyBits(const BitMap *srcBits, const BitMap *dstBits, const Rect *srcRect, const Rect *dstRect, SInt16 mode,
              RgnHandle maskRgn) {
  PixMap src, dst;
  if (srcRect == nullptr || dstRect == nullptr || !ResolveBits(srcBits, &src) || !ResolveBits(dstBits, &dst) ||
      EmptyRect(srcRect) || EmptyRect(dstRect)) {
    PL_SetQDError(paramErr);
    return;
  }
  if ((mode & ~kDitherBit) != srcCopy || !PL_PixelFormatDrawable(src.pixelFormat) ||
      !PL_PixelFormatDrawable(dst.pixelFormat)) {
    PL_SetQDError(unimpErr);
    return;
  }
  const SInt32 sw = srcRect->right - srcRect->left, sh = srcRect->bottom - srcRect->top;
  const SInt32 dw = dstRect->right - dstRect->left, dh = dstRect->bottom - dstRect->top;

  // The source rectangle's pixels as ARGB, read first so that overlapping copies within one map work.
  std::vector<UInt8> argb;
  try {
    argb.assign(size_t(sw) * size_t(sh) * 4, 0);
  } catch (const std::bad_alloc &) {
    PL_SetQDError(memFullErr);
    return;
  }
  Rect readable;
  if (!SectRect(srcRect, &src.bounds, &readable)) {
    PL_SetQDError(noErr);
    return;
  }
  const UInt8 *srcBase = reinterpret_cast<const UInt8 *>(src.baseAddr);
  for (SInt32 y = readable.top; y < readable.bottom; ++y) {
    const UInt8 *row = srcBase + size_t(y - src.bounds.top) * size_t(src.rowBytes);
    UInt8 *out = &argb[(size_t(y - srcRect->top) * size_t(sw) + size_t(readable.left - srcRect->left)) * 4];
    if (src.pixelFormat == k32ARGBPixelFormat) {
      std::memcpy(out, row + size_t(readable.left - src.bounds.left) * 4, size_t(readable.right - readable.left) * 4);
      continue;
    }
    for (SInt32 x = readable.left; x < readable.right; ++x, out += 4)
      PL_ReadPixelARGB(&src, row, x - src.bounds.left, out);
  }
  // The destination pixels whose nearest source pixel is readable.
  Rect reach{SInt16(dstRect->top + FirstDstFor(readable.top - srcRect->top, dh, sh)),
             SInt16(dstRect->left + FirstDstFor(readable.left - srcRect->left, dw, sw)),
             SInt16(dstRect->top + FirstDstFor(readable.bottom - srcRect->top, dh, sh)),
             SInt16(dstRect->left + FirstDstFor(readable.right - srcRect->left, dw, sw))};

  RgnHandle shape = RectRegion(reach);
  RgnHandle other = NewRgn();
  if (shape == nullptr || other == nullptr) {
    if (shape != nullptr) DisposeRgn(shape);
    if (other != nullptr) DisposeRgn(other);
    PL_SetQDError(memFullErr);
    return;
  }
  if (maskRgn != nullptr) SectRgn(shape, maskRgn, shape);
  GrafPtr port = nullptr;
  GetPort(&port);
  const bool intoPort = port != nullptr && GetPortBitMapForCopyBits(port) == dstBits;
  if (intoPort) {
    GetClip(other);
    SectRgn(shape, other, shape);
    Rect clipBox;
    GetRegionBounds(shape, &clipBox);
    PL_RecordPictureImage(port, dstRect, &clipBox, sw, sh, argb.data());
  }
  RectRgn(other, &dst.bounds);
  SectRgn(shape, other, shape);

  UInt8 *dstBase = reinterpret_cast<UInt8 *>(dst.baseAddr);
  PL_ForEachRgnRect(shape, [&](const Rect &r) {
    for (SInt32 y = r.top; y < r.bottom; ++y) {
      const SInt32 sy = SInt32(SInt64(y - dstRect->top) * sh / dh);
      UInt8 *row = dstBase + size_t(y - dst.bounds.top) * size_t(dst.rowBytes);
      const UInt8 *line = &argb[size_t(sy) * size_t(sw) * 4];
      if (sw == dw && dst.pixelFormat == k32ARGBPixelFormat) {
        std::memcpy(row + size_t(r.left - dst.bounds.left) * 4, line + size_t(r.left - dstRect->left) * 4,
                    size_t(r.right - r.left) * 4);
        continue;
      }
      for (SInt32 x = r.left; x < r.right; ++x) {
        const SInt32 sx = SInt32(SInt64(x - dstRect->left) * sw / dw);
        PL_WritePixelARGB(&dst, row, x - dst.bounds.left, line + size_t(sx) * 4);
      }
    }
  });
  DisposeRgn(shape);
  DisposeRgn(other);
  PL_SetQDError(noErr);
}
