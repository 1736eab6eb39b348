// Colour values: unit-interval conversions, depth and range changes, pixel packing, RGB and Y'CbCr.
#include "color/color_values.h"

#include "general/cf_encodings.h"
#include "general/strings_text.h"
#include "platform/core/cf_dictionary.h"
#include "platform/core/cf_string.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// 2^e, exact (a plain shift: these run per code of a frame).
double Pow2(int e) { return e >= 0 ? double(1ull << (e & 63)) : 1.0 / double(1ull << (-e & 63)); }
double FullMax(int bitDepth) { return Pow2(bitDepth) - 1.0; }
double SignedMax(int bitDepth) { return Pow2(bitDepth - 1) - 1.0; }
double VideoStep(int bitDepth) { return Pow2(bitDepth - 8); }

// A video-range code kept off the format's two reserved ends: s .. 2^n - s - 1.
UInt32 KeepVideoCode(double v, int bitDepth) {
  double s = VideoStep(bitDepth);
  double top = Pow2(bitDepth) - s;
  if (v >= top) return UInt32(top - 1.0);
  if (v < s) return UInt32(s);
  return UInt32(v);
}

UInt32 GetLE32(const UInt8 *p) { return p[0] | UInt32(p[1]) << 8 | UInt32(p[2]) << 16 | UInt32(p[3]) << 24; }
void PutLE32(UInt8 *p, UInt32 v) {
  p[0] = UInt8(v);
  p[1] = UInt8(v >> 8);
  p[2] = UInt8(v >> 16);
  p[3] = UInt8(v >> 24);
}
UInt16 GetLE16(const UInt8 *p) { return UInt16(p[0] | p[1] << 8); }
void PutLE16(UInt8 *p, UInt16 v) {
  p[0] = UInt8(v);
  p[1] = UInt8(v >> 8);
}

// Video-range codes between two depths through the unit interval (clamping on): luma and chroma.
UInt32 LumaToDepth(UInt32 code, int fromBits, int toBits) {
  return CO_UnitIntervalToUIntVR(CO_UIntVRToUnitInterval(SInt32(code), fromBits, 1), toBits);
}
UInt32 ChromaToDepth(UInt32 code, int fromBits, int toBits) {
  return CO_UnitIntervalToSIntVR(CO_SIntVRToUnitInterval(SInt32(code), fromBits, 1), toBits);
}

// The twelve codes of a 'v210' group in stream order, and whether each is luma.
constexpr bool kV210IsLuma[12] = {false, true, false, true, false, true, false, true, false, true, false, true};

UInt16 *V210Code(YCbCrU16_422 yCbCr[3], int k) {
  YCbCrU16_422 &pair = yCbCr[k / 4];
  UInt16 *fields[4] = {&pair.cb, &pair.y0, &pair.cr, &pair.y1};
  return fields[k % 4];
}

// Fixed-point helpers of the 8-bit conversions.
UInt8 ClampByte(SInt32 v) { return UInt8(std::clamp(v, 0, 255)); }
SInt8 ClampSignedByte(SInt32 v) { return SInt8(std::clamp(v, -128, 127)); }
SInt32 Rec601Weighted(const RGB8 *rgb) { return (299 * rgb->red + 587 * rgb->green + 114 * rgb->blue + 2) >> 2; }

const char *RangeName(CO_YCbCrRangeType range) {
  switch (range) {
    case kCO_VideoRange:
      return "video range";
    case kCO_FullRange:
      return "full range";
    case kCO_WideRange:
      return "wide range";
  }
  return "unknown range type";
}

}  // namespace

// ---- Unit interval ----

double CO_UIntToUnitInterval(UInt32 uInt, int bitDepth) {
  double m = FullMax(bitDepth);
  if (uInt == 0) return 0.25 / m;
  if (double(uInt) == m) return 1.0 - 0.25 / m;
  return double(uInt) / m;
}

UInt32 CO_UnitIntervalToUInt(double value, int bitDepth) {
  value = std::clamp(value, 0.0, 1.0);
  return UInt32(FullMax(bitDepth) * value + 0.5);
}

double CO_SIntToUnitInterval(SInt32 sInt, int bitDepth) {
  double s = SignedMax(bitDepth);
  double v = sInt;
  if (v > s) return 0.5;
  if (v == s) return 0.5 - 0.25 / s;
  if (v < -s) return -0.5;
  if (v == -s) return -0.5 + 0.25 / s;
  return v / (2.0 * s);
}

SInt32 CO_UnitIntervalToSInt(double value, int bitDepth) {
  value = std::clamp(value, -0.5, 0.5);
  return SInt32(std::trunc((Pow2(bitDepth) - 2.0) * value + 0.5));
}

double CO_UIntVRToUnitInterval(SInt32 uInt, int bitDepth, Boolean clamp) {
  double s = VideoStep(bitDepth);
  double v = (double(uInt) - 16.0 * s) / (235.0 * s - 16.0 * s);
  return clamp ? std::clamp(v, 0.0, 1.0) : v;
}

UInt32 CO_UnitIntervalToUIntVR(double value, int bitDepth) {
  double s = VideoStep(bitDepth);
  return KeepVideoCode(std::trunc(219.0 * s * value + 0.5 + 16.0 * s), bitDepth);
}

double CO_SIntVRToUnitInterval(SInt32 code, int bitDepth, Boolean clamp) {
  double s = VideoStep(bitDepth);
  double v = (double(code) - 16.0 * s) / (240.0 * s - 16.0 * s) - 0.5;
  return clamp ? std::clamp(v, -0.5, 0.5) : v;
}

UInt32 CO_UnitIntervalToSIntVR(double value, int bitDepth) {
  double s = VideoStep(bitDepth);
  double v = std::trunc(128.0 * s + (224.0 * s * value + 0.5));
  return KeepVideoCode(std::clamp(v, 0.0, 4294967295.0), bitDepth);
}

// ---- Integer depth and range changes ----

int CO_10bitUIntTo5bitUInt(int x) { return (x - (x >> 5) + 16) >> 5; }

int CO_16bitUIntTo8bitUInt(int x) { return (x - (x >> 8) + 128) >> 8; }

int CO_5bitUIntTo10bitUInt(int x) {
  if (x == 0) return 8;
  if (x == 31) return 1016;
  return 33 * x;
}

int CO_8bitUIntTo16bitUInt(int x) {
  if (x == 0) return 64;
  if (x >= 255) return 65471;
  return 257 * x;
}

UInt8 CO_8bitUIntFRToVR(int x) {
  int v = 219 * x;
  return UInt8((((v >> 8) + v + 127) >> 8) + 16);
}

UInt8 CO_8bitSIntFRToVR(int x) {
  int v = 224 * x;
  return UInt8(((v + (v >> 8) + 128) >> 8) + 128);
}

UInt8 CO_8bitUIntVRToFR(int x) {
  SInt64 code = std::clamp(x, 16, 235);
  return UInt8((255 * (code - 16) * 38304 + 4213440) >> 23);
}

SInt8 CO_8bitSIntVRToFR(int x) {
  SInt64 code = std::clamp(x, 16, 240);
  return SInt8((255 * (code - 128) * 37449 + 4194288) >> 23);
}

// ---- Packing of pixel groups ----

void CO_UnpackRGB16(UInt16 rgb16, RGB8 *rgb, UInt16 *alphaBit) {
  auto widen = [](UInt32 field) { return UInt8(CO_UnitIntervalToUInt(CO_UIntToUnitInterval(field, 5), 8)); };
  rgb->red = widen((rgb16 >> 10) & 31);
  rgb->green = widen((rgb16 >> 5) & 31);
  rgb->blue = widen(rgb16 & 31);
  *alphaBit = rgb16 & 0x8000;
}

void CO_PackRGB16(const RGB8 *rgb, UInt16 alphaBit, UInt16 *rgb16) {
  auto narrow = [](UInt8 c) { return CO_UnitIntervalToUInt(CO_UIntToUnitInterval(c, 8), 5); };
  *rgb16 = UInt16((narrow(rgb->red) * 1024 + narrow(rgb->green) * 32 + narrow(rgb->blue)) | alphaBit);
}

UInt8 CO_UnpackGrey(UInt8 grey) { return UInt8(~grey & 0xFF); }

void CO_PackYCbCr8To422(const YCbCr8 yCbCr8[2], void *ptr) {
  auto *p = static_cast<UInt8 *>(ptr);
  p[0] = yCbCr8[0].y;
  p[1] = UInt8(yCbCr8[0].cb);
  p[2] = yCbCr8[1].y;
  p[3] = UInt8(yCbCr8[0].cr);
}

void CO_PackYCbCrU8To422(const YCbCrU8 yCbCrVR[2], void *ptr) {
  auto *p = static_cast<UInt8 *>(ptr);
  p[0] = yCbCrVR[0].cb;
  p[1] = yCbCrVR[0].y;
  p[2] = yCbCrVR[0].cr;
  p[3] = yCbCrVR[1].y;
}

void CO_Unpack_v216(const void *ptr, YCbCrU16_422 *yCbCr, int sgnb) {
  const auto *p = static_cast<const UInt8 *>(ptr);
  UInt16 *fields[4] = {&yCbCr->cb, &yCbCr->y0, &yCbCr->cr, &yCbCr->y1};
  for (int k = 0; k < 4; ++k) {
    UInt32 code = GetLE16(p + 2 * k) >> (16 - sgnb);
    bool luma = k % 2 == 1;
    if (sgnb < 16) code = luma ? LumaToDepth(code, sgnb, 16) : ChromaToDepth(code, sgnb, 16);
    *fields[k] = UInt16(code);
  }
}

void CO_Pack_v216(const YCbCrU16_422 *yCbCr, void *ptr, int sgnb) {
  auto *p = static_cast<UInt8 *>(ptr);
  const UInt16 fields[4] = {yCbCr->cb, yCbCr->y0, yCbCr->cr, yCbCr->y1};
  for (int k = 0; k < 4; ++k) {
    UInt32 code = fields[k];
    bool luma = k % 2 == 1;
    if (sgnb < 16) code = luma ? LumaToDepth(code, 16, sgnb) : ChromaToDepth(code, 16, sgnb);
    PutLE16(p + 2 * k, UInt16(code << (16 - sgnb)));
  }
}

void CO_Unpack_v410(const void *ptr, YCbCrU16 *yCbCr) {
  UInt32 w = GetLE32(static_cast<const UInt8 *>(ptr));
  yCbCr->cb = UInt16(ChromaToDepth((w >> 2) & 0x3FF, 10, 16));
  yCbCr->y = UInt16(LumaToDepth((w >> 12) & 0x3FF, 10, 16));
  yCbCr->cr = UInt16(ChromaToDepth((w >> 22) & 0x3FF, 10, 16));
}

void CO_Pack_v410(const YCbCrU16 *yCbCr, void *ptr) {
  UInt32 cb = ChromaToDepth(yCbCr->cb, 16, 10);
  UInt32 y = LumaToDepth(yCbCr->y, 16, 10);
  UInt32 cr = ChromaToDepth(yCbCr->cr, 16, 10);
  PutLE32(static_cast<UInt8 *>(ptr), cr << 22 | y << 12 | cb << 2);
}

void CO_Unpack_v210(const void *ptr, YCbCrU16_422 yCbCr[3]) {
  const auto *p = static_cast<const UInt8 *>(ptr);
  for (int k = 0; k < 12; ++k) {
    UInt32 code = (GetLE32(p + 4 * (k / 3)) >> (10 * (k % 3))) & 0x3FF;
    *V210Code(yCbCr, k) = UInt16(kV210IsLuma[k] ? LumaToDepth(code, 10, 16) : ChromaToDepth(code, 10, 16));
  }
}

void CO_Pack_v210(void *ptr, const YCbCrU16_422 yCbCr[3]) {
  auto *p = static_cast<UInt8 *>(ptr);
  YCbCrU16_422 codes[3] = {yCbCr[0], yCbCr[1], yCbCr[2]};
  UInt32 words[4] = {0, 0, 0, 0};
  for (int k = 0; k < 12; ++k) {
    UInt32 code = *V210Code(codes, k);
    code = kV210IsLuma[k] ? LumaToDepth(code, 16, 10) : ChromaToDepth(code, 16, 10);
    words[k / 3] |= code << (10 * (k % 3));
  }
  for (int w = 0; w < 4; ++w) PutLE32(p + 4 * w, words[w]);
}

// ---- RGB and Y'CbCr ----

void CO_RGBToYCbCr(const double rgb[3], const double matrix[3], double yCbCr[3]) {
  const double kr = matrix[0], kg = matrix[1], kb = matrix[2];
  double y = kb * rgb[2] + (kr * rgb[0] + kg * rgb[1]);
  yCbCr[0] = y;
  yCbCr[1] = (rgb[2] - y) * 0.5 / (1.0 - kb);
  yCbCr[2] = (rgb[0] - y) * 0.5 / (1.0 - kr);
}

void CO_YCbCrToRGB(const double yCbCr[3], const double matrix[3], double rgb[3]) {
  const double kr = matrix[0], kg = matrix[1], kb = matrix[2];
  const double y = yCbCr[0], cb = yCbCr[1], cr = yCbCr[2];
  rgb[0] = y + 2.0 * (1.0 - kr) * cr;
  rgb[2] = y + 2.0 * (1.0 - kb) * cb;
  rgb[1] = y + cr * (-2.0 * (1.0 - kr) * kr / kg) + cb * (-2.0 * (1.0 - kb) * kb / kg);
}

void CO_YCbCrF32_ToRGB_F32(const YCbCrF32 *yCbCrF32, const float matrix[3], RGB_F32 *rgbF32) {
  const float kr = matrix[0], kg = matrix[1], kb = matrix[2];
  const float y = yCbCrF32->y, cb = yCbCrF32->cb, cr = yCbCrF32->cr;
  rgbF32->red = y + 2.0f * (1.0f - kr) * cr;
  rgbF32->blue = y + 2.0f * (1.0f - kb) * cb;
  rgbF32->green = y + cr * (-2.0f * (1.0f - kr) * kr / kg) + cb * (-2.0f * (1.0f - kb) * kb / kg);
}

void CO_YCbCr8ToRGB_F32(const YCbCr8 *yCbCr, const float matrix[3], RGB_F32 *rgbF32) {
  const YCbCrF32 f = {float(yCbCr->y), float(yCbCr->cb), float(yCbCr->cr)};
  CO_YCbCrF32_ToRGB_F32(&f, matrix, rgbF32);
}

void CO_YCbCrU8_ToYCbCrF32(const YCbCrU8 *yCbCrU8, YCbCrF32 *yCbCrF32) {
  yCbCrF32->y = 16.0f + float(yCbCrU8->y - 16) * 1.1643835f;
  yCbCrF32->cb = 1.1383928f * float(yCbCrU8->cb - 128);
  yCbCrF32->cr = 1.1383928f * float(yCbCrU8->cr - 128);
}

void CO_YCbCr8ToRGB16(const YCbCr8 *yCbCr8, const double matrix[3], CO_YCbCrRangeType rangeType,
                      RGBColor *rgbColor) {
  double yCbCr[3], rgb[3];
  if (rangeType == kCO_VideoRange) {
    yCbCr[0] = CO_UIntVRToUnitInterval(yCbCr8->y, 8, 1);
    yCbCr[1] = CO_SIntVRToUnitInterval(UInt8(yCbCr8->cb), 8, 1);
    yCbCr[2] = CO_SIntVRToUnitInterval(UInt8(yCbCr8->cr), 8, 1);
  } else {
    yCbCr[0] = CO_UIntToUnitInterval(yCbCr8->y, 8);
    yCbCr[1] = CO_SIntToUnitInterval(yCbCr8->cb, 8);
    yCbCr[2] = CO_SIntToUnitInterval(yCbCr8->cr, 8);
  }
  CO_YCbCrToRGB(yCbCr, matrix, rgb);
  rgbColor->red = UInt16(CO_UnitIntervalToUInt(rgb[0], 16));
  rgbColor->green = UInt16(CO_UnitIntervalToUInt(rgb[1], 16));
  rgbColor->blue = UInt16(CO_UnitIntervalToUInt(rgb[2], 16));
}

void CO_RGB16ToYCbCr8(const RGBColor *rgbColor, const double matrix[3], CO_YCbCrRangeType rangeType,
                      YCbCr8 *yCbCr8) {
  const double rgb[3] = {CO_UIntToUnitInterval(rgbColor->red, 16), CO_UIntToUnitInterval(rgbColor->green, 16),
                         CO_UIntToUnitInterval(rgbColor->blue, 16)};
  double yCbCr[3];
  CO_RGBToYCbCr(rgb, matrix, yCbCr);
  if (rangeType == kCO_VideoRange) {
    yCbCr8->y = UInt8(CO_UnitIntervalToUIntVR(yCbCr[0], 8));
    yCbCr8->cb = SInt8(UInt8(CO_UnitIntervalToSIntVR(yCbCr[1], 8)));
    yCbCr8->cr = SInt8(UInt8(CO_UnitIntervalToSIntVR(yCbCr[2], 8)));
  } else {
    yCbCr8->y = UInt8(CO_UnitIntervalToUInt(yCbCr[0], 8));
    yCbCr8->cb = SInt8(CO_UnitIntervalToSInt(yCbCr[1], 8));
    yCbCr8->cr = SInt8(CO_UnitIntervalToSInt(yCbCr[2], 8));
  }
}

void CO_RGB8ToYCbCr8(const RGB8 *rgb, YCbCr8 *yCbCr) {
  SInt64 q = Rec601Weighted(rgb);
  yCbCr->y = UInt8((16777 * q + (1 << 21)) >> 22);
  yCbCr->cb = SInt8((18936 * (250 * SInt64(rgb->blue) - q) + (1 << 22)) >> 23);
  yCbCr->cr = SInt8((23933 * (250 * SInt64(rgb->red) - q) + (1 << 22)) >> 23);
}

void CO_YCbCr8ToRGB8(const YCbCr8 *yCbCr, RGB8 *rgb) {
  SInt64 y = yCbCr->y, cb = yCbCr->cb, cr = yCbCr->cr;
  SInt64 vR = (701 * cr + 500 * y + 4) >> 2;
  SInt64 vB = (886 * cb + 500 * y + 4) >> 2;
  SInt64 vG = (293500 * y - 209599 * cr - 101004 * cb + 128) >> 12;
  rgb->red = ClampByte(SInt32((33554 * vR + (1 << 21)) >> 22));
  rgb->green = ClampByte(SInt32((29267 * vG + (1 << 20)) >> 21));
  rgb->blue = ClampByte(SInt32((33554 * vB + (1 << 21)) >> 22));
}

void CO_RGB8_ToYCbCrU8(const RGB8 *rgb, YCbCrU8 *yCbCr) {
  SInt64 q = Rec601Weighted(rgb);
  yCbCr->y = UInt8(((28817 * q + (1 << 22)) >> 23) + 16);
  yCbCr->cb = UInt8(((16634 * (250 * SInt64(rgb->blue) - q) + (1 << 22)) >> 23) + 128);
  yCbCr->cr = UInt8(((21024 * (250 * SInt64(rgb->red) - q) + (1 << 22)) >> 23) + 128);
}

void CO_YCbCrU8ToRGB8(const YCbCrU8 *yCbCr, RGB8 *rgb) {
  // Coefficients in 16.16: 1.164383, 1.596027, 0.812968, 0.391762, 2.017232.
  SInt32 y = 76309 * (yCbCr->y - 16);
  SInt32 cb = yCbCr->cb - 128, cr = yCbCr->cr - 128;
  rgb->red = ClampByte((y + 104597 * cr + 32768) >> 16);
  rgb->green = ClampByte((y - 53279 * cr - 25675 * cb + 32768) >> 16);
  rgb->blue = ClampByte((y + 132201 * cb + 32768) >> 16);
}

void CO_YCbCrToYCbCrU8(const YCbCr8 *yCbCr, YCbCrU8 *yCbCrU8) {
  auto scale = [](int v) { return ((v >> 8) + v + 128) >> 8; };
  yCbCrU8->y = UInt8(scale(219 * yCbCr->y) + 16);
  yCbCrU8->cb = UInt8(scale(224 * yCbCr->cb) + 128);
  yCbCrU8->cr = UInt8(scale(224 * yCbCr->cr) + 128);
}

void CO_YCbCrU8ToYCbCr(const YCbCrU8 *yCbCrU8, YCbCr8 *yCbCr) {
  // Codes beyond video black, white or the chroma ends would leave the byte's range and wrap.
  yCbCr->y = ClampByte(SInt32((85 * SInt64(yCbCrU8->y - 16) * 114912 + (1 << 22)) >> 23));
  yCbCr->cb = ClampSignedByte(SInt32((255 * SInt64(yCbCrU8->cb - 128) * 18724 + (1 << 21)) >> 22));
  yCbCr->cr = ClampSignedByte(SInt32((255 * SInt64(yCbCrU8->cr - 128) * 18724 + (1 << 21)) >> 22));
}

void CO_SetRGB8_Br(const RGB8 *rgb, UInt8 y, RGB8 *rgbOut) {
  const int r = rgb->red, g = rgb->green, b = rgb->blue;
  int luma = (299 * r + 587 * g + 114 * b + 500) / 1000;
  if (luma == 0) {  // no hue to keep
    *rgbOut = RGB8{y, y, y};
    return;
  }
  double k = double(y) / luma;
  if (r * k <= 255.0 && g * k <= 255.0 && b * k <= 255.0) {
    *rgbOut = RGB8{UInt8(r * k), UInt8(g * k), UInt8(b * k)};
    return;
  }
  // Brightest colour of this hue, then toward white until the luma is reached.
  double f = 255.0 / std::max({r, g, b});
  const double scaled[3] = {std::trunc(r * f), std::trunc(g * f), std::trunc(b * f)};
  double t = (255.0 - y) / (255.0 - std::trunc(luma * f));
  rgbOut->red = UInt8(255.0 * (1.0 - t) + scaled[0] * t);
  rgbOut->green = UInt8(255.0 * (1.0 - t) + scaled[1] * t);
  rgbOut->blue = UInt8(255.0 * (1.0 - t) + scaled[2] * t);
}

void CO_BrRGB8_ToYCbCrU8(const RGB8 *rgb, UInt8 y, YCbCrU8 *yCbCr) {
  RGB8 bright;
  CO_SetRGB8_Br(rgb, y, &bright);
  CO_RGB8_ToYCbCrU8(&bright, yCbCr);
}

// ---- Float RGB ----

void CO_InitRGB8_F32(float red, float green, float blue, RGB_F32 *rgbF32) { *rgbF32 = RGB_F32{red, green, blue}; }

void CO_AddRGB_F32(const RGB_F32 *a, const RGB_F32 *b, RGB_F32 *out) {
  *out = RGB_F32{a->red + b->red, a->green + b->green, a->blue + b->blue};
}

void CO_SubRGB_F32(const RGB_F32 *a, const RGB_F32 *b, RGB_F32 *out) {
  *out = RGB_F32{a->red - b->red, a->green - b->green, a->blue - b->blue};
}

void CO_ScaleRGB_F32(RGB_F32 *rgbF32, float scale) {
  rgbF32->red *= scale;
  rgbF32->green *= scale;
  rgbF32->blue *= scale;
}

Boolean CO_SanitizeRGB_F32(RGB_F32 *rgbF32) {
  float *c[3] = {&rgbF32->red, &rgbF32->green, &rgbF32->blue};
  float mean = (*c[0] + *c[1] + *c[2]) / 3.0f;
  bool inside = mean >= 0.0f && mean <= 255.0f;
  mean = std::clamp(mean, 0.0f, 255.0f);
  float factor = 1.0f;
  for (float *x : c) {
    float d = *x - mean;
    if (*x < 0.0f) {
      inside = false;
      factor = std::min(factor, mean / -d);
    } else if (*x > 255.0f) {
      inside = false;
      factor = std::min(factor, (255.0f - mean) / d);
    }
  }
  for (float *x : c) *x = mean + (*x - mean) * factor;
  return inside;
}

void CO_RGB_F32_GetSaturation(const RGB_F32 *rgbF32, float *sat) {
  RGB_F32 copy = *rgbF32;
  CO_SanitizeRGB_F32(&copy);
  float mean = (copy.red + copy.green + copy.blue) / 3.0f;
  float room = std::clamp(mean, 0.1f, 254.9f);
  float s = 0.0f;
  for (float x : {copy.red, copy.green, copy.blue}) {
    float d = x - mean;
    if (d > 0.0f) s = std::max(s, d / (255.0f - room));
    else if (d < 0.0f) s = std::max(s, -d / room);
  }
  *sat = s;
}

void CO_RGB_F32_LimitSaturation(RGB_F32 *rgbF32, float maxSat) {
  CO_SanitizeRGB_F32(rgbF32);
  float sat;
  CO_RGB_F32_GetSaturation(rgbF32, &sat);
  if (sat <= maxSat) return;
  float mean = (rgbF32->red + rgbF32->green + rgbF32->blue) / 3.0f;
  float k = maxSat / sat;
  for (float *x : {&rgbF32->red, &rgbF32->green, &rgbF32->blue}) *x = mean + (*x - mean) * k;
}

// ---- Equality, names and dictionaries ----

Boolean CO_EqualColor8(const YCbCr8 *yCbCr1, const YCbCr8 *yCbCr2) {
  return yCbCr1->y == yCbCr2->y && yCbCr1->cb == yCbCr2->cb && yCbCr1->cr == yCbCr2->cr;
}

Boolean CO_EqualColorU8(const YCbCrU8 *yCbCr1, const YCbCrU8 *yCbCr2) {
  return yCbCr1->y == yCbCr2->y && yCbCr1->cb == yCbCr2->cb && yCbCr1->cr == yCbCr2->cr;
}

void CO_GetRangeName(CO_YCbCrRangeType range, char *rangeName) { std::strcpy(rangeName, RangeName(range)); }

void CO_AddRangeFieldDescrToTextPtr(Ptr textPtr, SInt32 *textSize, CFStringRef title, CO_YCbCrRangeType range) {
  GL_AddCFStringToTextPtr(textPtr, textSize, title);
  char line[32];
  std::snprintf(line, sizeof line, ": %s\n", RangeName(range));
  GL_AddCStringToTextPtr(textPtr, textSize, line);
}

CFMutableDictionaryRef CO_CopyYCbCr8ToDict(const YCbCr8 *yCbCr) {
  CFMutableDictionaryRef dict =
      CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
  if (dict == nullptr) return nullptr;
  CF_AddUnsignedToDict(dict, CFSTR("Y"), yCbCr->y, 8);
  CF_AddSInt8ToDict(dict, CFSTR("Cb"), yCbCr->cb);
  CF_AddSInt8ToDict(dict, CFSTR("Cr"), yCbCr->cr);
  return dict;
}

Boolean CO_GetYCbCr8FromDict(CFDictionaryRef dict, YCbCr8 *yCbCr) {
  UInt32 y = 0;
  Boolean gotY = CF_GetUnsignedFromDict(dict, CFSTR("Y"), &y, 8);
  if (gotY) yCbCr->y = UInt8(y);
  Boolean gotCb = CF_GetSInt8FromDict(dict, CFSTR("Cb"), &yCbCr->cb);
  Boolean gotCr = CF_GetSInt8FromDict(dict, CFSTR("Cr"), &yCbCr->cr);
  return gotY && gotCb && gotCr;
}
