// Pixel visitors, range hooks and the 'yuv2' / '2vuy' / 'v308' copies.
#include "color/pixel_visitors.h"

#include "color/yuv422_formats.h"
#include "general/error_keys.h"
#include "platform/core/mac_errors.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr OSType kRawCodecType = 'raw ';
constexpr OSType kYuv2CodecType = 'yuv2';

struct Hooks {
  ProcessGrayProcPtr grey;
  ProcessColorProcPtr color;
  ProcessYCbCr8_422ProcPtr yCbCr;
  void *refCon;
};

// How a 16-bit pixel's 5-bit fields reach the colour hook.
enum class Rgb16Fields {
  kUnitInterval,  // CO_UnpackRGB16 / CO_PackRGB16
  kShifted,       // times 8, back by (c + 3) >> 3 (at most 31)
};

// Bytes of one pixel, 0 for a format the visitors do not know.
int BytesPerPixel(OSType cType, SInt16 depth) {
  if (cType == kYuv2CodecType) return 2;
  if (cType != kRawCodecType) return 0;
  switch (depth) {
    case 8:
    case 16:
    case 24:
    case 32:
      return depth / 8;
  }
  return 0;
}

UInt16 GetBE16(const UInt8 *p) { return UInt16(p[0] << 8 | p[1]); }
void PutBE16(UInt8 *p, UInt16 v) {
  p[0] = UInt8(v >> 8);
  p[1] = UInt8(v);
}

// A 16-bit pixel through the colour hook.
UInt16 VisitRgb16(UInt16 pixel, SInt16 row, SInt16 column, const Hooks &hooks, Rgb16Fields fields) {
  if (fields == Rgb16Fields::kUnitInterval) {
    RGB8 rgb;
    UInt16 alphaBit;
    CO_UnpackRGB16(pixel, &rgb, &alphaBit);
    hooks.color(row, column, hooks.refCon, &rgb.red, &rgb.green, &rgb.blue);
    UInt16 packed;
    CO_PackRGB16(&rgb, alphaBit, &packed);
    return packed;
  }
  UInt8 c[3] = {UInt8(((pixel >> 10) & 31) * 8), UInt8(((pixel >> 5) & 31) * 8), UInt8((pixel & 31) * 8)};
  hooks.color(row, column, hooks.refCon, &c[0], &c[1], &c[2]);
  // Components of 253 and more would give 32, which does not fit the field.
  auto narrow = [](UInt8 v) { return std::min((v + 3) >> 3, 31); };
  return UInt16((pixel & 0x8000) | narrow(c[0]) << 10 | narrow(c[1]) << 5 | narrow(c[2]));
}

// Visits rows top .. bottom - 1 and pixel columns left .. right - 1 ('yuv2': pairs left / 2 .. right / 2 - 1)
// of a buffer of the given row bytes. The format must be known.
void VisitRect(UInt8 *base, OSType cType, SInt16 depth, SInt32 rowBytes, const Rect &r, const Hooks &hooks,
               Rgb16Fields fields) {
  for (SInt32 y = r.top; y < r.bottom; ++y) {
    UInt8 *row = base + ptrdiff_t(y) * rowBytes;
    const SInt16 rowNumber = SInt16(y);
    if (cType == kYuv2CodecType) {
      if (hooks.yCbCr == nullptr) return;
      for (SInt32 pair = r.left / 2; pair < r.right / 2; ++pair)
        hooks.yCbCr(rowNumber, SInt16(pair), hooks.refCon, reinterpret_cast<YCbCr8_422 *>(row + 4 * pair));
      continue;
    }
    if (depth == 8 ? hooks.grey == nullptr : hooks.color == nullptr) return;
    for (SInt32 x = r.left; x < r.right; ++x) {
      const SInt16 column = SInt16(x);
      switch (depth) {
        case 8: {
          UInt8 grey = CO_UnpackGrey(row[x]);
          hooks.grey(rowNumber, column, hooks.refCon, &grey);
          row[x] = CO_UnpackGrey(grey);
          break;
        }
        case 16:
          PutBE16(row + 2 * x, VisitRgb16(GetBE16(row + 2 * x), rowNumber, column, hooks, fields));
          break;
        case 24:
          hooks.color(rowNumber, column, hooks.refCon, row + 3 * x, row + 3 * x + 1, row + 3 * x + 2);
          break;
        default:
          hooks.color(rowNumber, column, hooks.refCon, row + 4 * x + 1, row + 4 * x + 2, row + 4 * x + 3);
          break;
      }
    }
  }
}

// The codec type and depth under which a pixel map is visited; false for formats the visitors do not know.
bool PixMapFormat(const PixMap &pm, OSType *cType, SInt16 *depth) {
  switch (pm.pixelFormat) {
    case k8IndexedPixelFormat:
    case k8IndexedGrayPixelFormat:
    case k16BE555PixelFormat:
    case k24RGBPixelFormat:
    case k32ARGBPixelFormat:
      *cType = kRawCodecType;
      *depth = pm.pixelSize;
      return BytesPerPixel(*cType, *depth) != 0;
    case kComponentVideoPixelFormat:
      *cType = kYuv2CodecType;
      *depth = 16;
      return true;
  }
  return false;
}

// Runs visit() with the map's pixels locked, restoring their state afterwards.
template <typename Visit>
OSStatus WithLockedPixels(PixMapHandle pixMap, Visit visit) {
  if (pixMap == nullptr || *pixMap == nullptr || (*pixMap)->baseAddr == nullptr) return paramErr;
  GWorldFlags state = GetPixelsState(pixMap);
  LockPixels(pixMap);
  OSStatus err = visit(**pixMap);
  SetPixelsState(pixMap, state);
  return err;
}

// 4:2:2 to 4:4:4 for a source whose pixel i has its luma at byte 2i + lumaAt and its chroma at 2i + chromaAt,
// chroma XORed with flip to offset binary.
void Copy422To444(const void *sourcePtr, void *targetPtr, SInt32 height, SInt32 width, int lumaAt, int chromaAt,
                  UInt8 flip) {
  if (sourcePtr == nullptr || targetPtr == nullptr || width <= 0 || height <= 0) return;
  for (SInt32 y = 0; y < height; ++y) {
    const UInt8 *s = static_cast<const UInt8 *>(sourcePtr) + ptrdiff_t(y) * width * 2;
    UInt8 *d = static_cast<UInt8 *>(targetPtr) + ptrdiff_t(y) * width * 3;
    auto chroma = [&](SInt32 i) { return int(s[2 * i + chromaAt] ^ flip); };
    for (SInt32 i = 0; i < width; ++i) {
      int cb, cr;
      if ((i & 1) == 0) {
        cb = chroma(i);
        if (i + 1 < width) cr = i == 0 ? chroma(i + 1) : (chroma(i - 1) + chroma(i + 1) + 1) >> 1;
        else cr = i == 0 ? 128 : chroma(i - 1);  // an odd width's last pair has no Cr
      } else {
        cr = chroma(i);
        cb = i == width - 1 ? chroma(i - 1) : (chroma(i - 1) + chroma(i + 1) + 1) >> 1;
      }
      d[3 * i] = UInt8(cr);
      d[3 * i + 1] = s[2 * i + lumaAt];
      d[3 * i + 2] = UInt8(cb);
    }
  }
}

// 4:4:4 to 4:2:2: pixel i's luma to byte 2i + lumaAt, its own chroma (XORed with flip) to 2i + chromaAt.
void Copy444To422(const void *sourcePtr, void *targetPtr, SInt32 height, SInt32 width, int lumaAt, int chromaAt,
                  UInt8 flip) {
  if (sourcePtr == nullptr || targetPtr == nullptr || width <= 0 || height <= 0) return;
  for (SInt32 y = 0; y < height; ++y) {
    const UInt8 *s = static_cast<const UInt8 *>(sourcePtr) + ptrdiff_t(y) * width * 3;
    UInt8 *d = static_cast<UInt8 *>(targetPtr) + ptrdiff_t(y) * width * 2;
    for (SInt32 i = 0; i < width; ++i) {
      UInt8 ownChroma = (i & 1) == 0 ? s[3 * i + 2] : s[3 * i];
      d[2 * i + lumaAt] = s[3 * i + 1];
      d[2 * i + chromaAt] = UInt8(ownChroma ^ flip);
    }
  }
}

}  // namespace

// ---- Visitors ----

OSStatus CO_TransformPixels(Ptr pixelsPtr, OSType cType, SInt16 depth, SInt32 width, SInt32 height, SInt32 padSize,
                            ProcessGrayProcPtr grayProc, ProcessColorProcPtr colorProc,
                            ProcessYCbCr8_422ProcPtr yCbCrProc, void *refCon) {
  int bytes = BytesPerPixel(cType, depth);
  if (pixelsPtr == nullptr || bytes == 0 || width < 0 || height < 0 || padSize < 0) return paramErr;
  if (width > 0x7FFF || height > 0x7FFF) return paramErr;  // rows and columns reach the hooks as 16 bits
  const Rect all = {0, 0, SInt16(height), SInt16(width)};
  VisitRect(reinterpret_cast<UInt8 *>(pixelsPtr), cType, depth, width * bytes + padSize, all,
            Hooks{grayProc, colorProc, yCbCrProc, refCon}, Rgb16Fields::kUnitInterval);
  return noErr;
}

OSStatus CO_TransformPixmap(PixMapHandle pixMap, ProcessGrayProcPtr grayProc, ProcessColorProcPtr colorProc,
                            ProcessYCbCr8_422ProcPtr yCbCrProc, void *refCon) {
  return WithLockedPixels(pixMap, [&](const PixMap &pm) {
    OSType cType;
    SInt16 depth;
    if (!PixMapFormat(pm, &cType, &depth)) return OSStatus(paramErr);
    SInt32 width = pm.bounds.right - pm.bounds.left;
    SInt32 height = pm.bounds.bottom - pm.bounds.top;
    SInt32 pad = pm.rowBytes - (depth / 8) * width;
    return CO_TransformPixels(pm.baseAddr, cType, depth, width, height, pad, grayProc, colorProc, yCbCrProc, refCon);
  });
}

OSStatus CO_TransformPixelsInSubRect(Ptr pixelsPtr, OSType cType, SInt16 depth, SInt32 rowBytes, const Rect *subRect,
                                     ProcessGrayProcPtr grayProc, ProcessColorProcPtr colorProc,
                                     ProcessYCbCr8_422ProcPtr yCbCrProc, void *refCon) {
  if (pixelsPtr == nullptr || subRect == nullptr || BytesPerPixel(cType, depth) == 0) return paramErr;
  if (subRect->top < 0 || subRect->left < 0) return paramErr;
  VisitRect(reinterpret_cast<UInt8 *>(pixelsPtr), cType, depth, rowBytes, *subRect,
            Hooks{grayProc, colorProc, yCbCrProc, refCon}, Rgb16Fields::kShifted);
  return noErr;
}

OSStatus CO_TransformPixmapSubRect(PixMapHandle pixMap, ProcessGrayProcPtr grayProc, ProcessColorProcPtr colorProc,
                                   ProcessYCbCr8_422ProcPtr yCbCrProc, const Rect *subRect, void *refCon) {
  if (subRect == nullptr) return paramErr;
  return WithLockedPixels(pixMap, [&](const PixMap &pm) {
    const Rect &b = pm.bounds;
    if (subRect->top < b.top || subRect->left < b.left || subRect->bottom > b.bottom || subRect->right > b.right ||
        subRect->top > subRect->bottom || subRect->left > subRect->right)
      return OSStatus(kGL_RectangleErr);
    OSType cType;
    SInt16 depth;
    if (!PixMapFormat(pm, &cType, &depth)) return OSStatus(paramErr);
    const Rect local = {SInt16(subRect->top - b.top), SInt16(subRect->left - b.left), SInt16(subRect->bottom - b.top),
                        SInt16(subRect->right - b.left)};
    return CO_TransformPixelsInSubRect(pm.baseAddr, cType, depth, pm.rowBytes, &local, grayProc, colorProc,
                                       yCbCrProc, refCon);
  });
}

OSStatus CO_TransformAndCompactPixmap(PixMapHandle pixMap, ProcessGrayProcPtr grayProc, ProcessColorProcPtr colorProc,
                                      void *refCon) {
  return WithLockedPixels(pixMap, [&](const PixMap &pm) {
    OSType cType;
    SInt16 depth;
    if (!PixMapFormat(pm, &cType, &depth) || cType != kRawCodecType) return OSStatus(paramErr);
    const SInt32 width = pm.bounds.right - pm.bounds.left;
    const SInt32 height = pm.bounds.bottom - pm.bounds.top;
    const Hooks hooks{grayProc, colorProc, nullptr, refCon};
    auto *base = reinterpret_cast<UInt8 *>(pm.baseAddr);
    UInt8 *out = base;  // never ahead of what is read: packed rows are no longer than the map's
    for (SInt32 y = 0; y < height; ++y) {
      UInt8 *row = base + ptrdiff_t(y) * pm.rowBytes;
      const SInt16 rowNumber = SInt16(height - y);
      for (SInt32 x = 0; x < width; ++x) {
        const SInt16 column = SInt16(x);
        switch (depth) {
          case 8: {
            UInt8 grey = CO_UnpackGrey(row[x]);
            if (grayProc != nullptr) grayProc(rowNumber, column, refCon, &grey);
            *out++ = grey;
            break;
          }
          case 16: {
            UInt16 pixel = GetBE16(row + 2 * x);
            if (colorProc != nullptr) pixel = VisitRgb16(pixel, rowNumber, column, hooks, Rgb16Fields::kUnitInterval);
            PutBE16(out, pixel);
            out += 2;
            break;
          }
          default: {
            UInt8 *rgb = row + (depth / 8) * x + (depth == 32 ? 1 : 0);
            if (colorProc != nullptr) colorProc(rowNumber, column, refCon, rgb, rgb + 1, rgb + 2);
            std::memmove(out, rgb, 3);
            out += 3;
            break;
          }
        }
      }
    }
    return OSStatus(noErr);
  });
}

// ---- Range hooks and their users ----

void CO_8RGB_FullRangeToVideoRange(SInt16, SInt16, void *, UInt8 *grey) {
  *grey = UInt8(CO_UnitIntervalToUIntVR(CO_UIntToUnitInterval(*grey, 8), 8));
}

void CO_24RGB_FullRangeToVideoRange(SInt16, SInt16, void *, UInt8 *red, UInt8 *green, UInt8 *blue) {
  *red = CO_8bitUIntFRToVR(*red);
  *green = CO_8bitUIntFRToVR(*green);
  *blue = CO_8bitUIntFRToVR(*blue);
}

void CO_YCbCr8_422_FullRangeToVideoRange(SInt16, SInt16, void *, YCbCr8_422 *yCbCr) {
  yCbCr->y0 = CO_8bitUIntFRToVR(yCbCr->y0);
  yCbCr->y1 = CO_8bitUIntFRToVR(yCbCr->y1);
  // The conversion gives offset-binary codes; 'yuv2' keeps its chroma in two's complement.
  yCbCr->cb = SInt8(CO_8bitSIntFRToVR(yCbCr->cb) ^ 0x80);
  yCbCr->cr = SInt8(CO_8bitSIntFRToVR(yCbCr->cr) ^ 0x80);
}

void CO_8RGB_VideoRangeToFullRange(SInt16, SInt16, void *, UInt8 *grey) { *grey = CO_8bitUIntVRToFR(*grey); }

void CO_24RGB_VideoRangeToFullRange(SInt16, SInt16, void *, UInt8 *red, UInt8 *green, UInt8 *blue) {
  *red = CO_8bitUIntVRToFR(*red);
  *green = CO_8bitUIntVRToFR(*green);
  *blue = CO_8bitUIntVRToFR(*blue);
}

OSStatus CO_PixmapFullRangeToVideoRange(PixMapHandle pixMap) {
  return CO_TransformPixmap(pixMap, CO_8RGB_FullRangeToVideoRange, CO_24RGB_FullRangeToVideoRange, nullptr, nullptr);
}

OSStatus CO_PixmapVideoRangeToFullRangeCompact(PixMapHandle pixMap, void *refCon) {
  return CO_TransformAndCompactPixmap(pixMap, CO_8RGB_VideoRangeToFullRange, CO_24RGB_VideoRangeToFullRange, refCon);
}

// ---- Format copies ----

void CO_CopyYuv2To2vuy(const void *sourcePtr, void *targetPtr, SInt32 height, SInt32 width) {
  if (sourcePtr == nullptr || targetPtr == nullptr || width <= 0 || height <= 0) return;
  CO_ByteSwapYuv2Frame(width, height, sourcePtr, targetPtr, width * 2, width * 2);
}

void CO_Copy2vuyToYuv2(const void *sourcePtr, void *targetPtr, SInt32 height, SInt32 width) {
  if (sourcePtr == nullptr || targetPtr == nullptr || width <= 0 || height <= 0) return;
  CO_ByteSwap2vuyFrame(width, height, sourcePtr, targetPtr, width * 2, width * 2);
}

void CO_CopyYuv2Tov308(const void *sourcePtr, void *targetPtr, SInt32 height, SInt32 width) {
  Copy422To444(sourcePtr, targetPtr, height, width, 0, 1, 0x80);
}

void CO_Copy2vuyTov308(const void *sourcePtr, void *targetPtr, SInt32 height, SInt32 width) {
  Copy422To444(sourcePtr, targetPtr, height, width, 1, 0, 0x00);
}

void CO_Copyv308ToYuv2(const void *sourcePtr, void *targetPtr, SInt32 height, SInt32 width) {
  Copy444To422(sourcePtr, targetPtr, height, width, 0, 1, 0x80);
}

void CO_Copyv308To2vuy(const void *sourcePtr, void *targetPtr, SInt32 height, SInt32 width) {
  Copy444To422(sourcePtr, targetPtr, height, width, 1, 0, 0x00);
}
