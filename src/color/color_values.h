// The colour library's model of single colour values: integer component codes of any bit depth to and from
// the unit interval (full range and video range), depth and range changes of 8-, 10- and 16-bit codes, the
// packing of one pixel group of 16-bit RGB, 8-bit 4:2:2, 'v216', 'v410' and 'v210', RGB and Y'CbCr in
// double, float and fixed point, the luma of an RGB colour, saturation of float RGB, range names for logs
// and a Y'CbCr colour in a dictionary. Pure functions without state: any thread may call them.
//
// Unit interval (double): luma and RGB on 0..1, chroma on -0.5..0.5. For n bits: full-range maximum
// M = 2^n - 1, signed maximum S = 2^(n-1) - 1; video range step s = 2^(n-8), black 16 s, white 235 s, chroma
// 16 s .. 240 s around 128 s. Full-range codes never map to exactly 0 or 1 (the ends are inset by a quarter
// code), and video-range codes never reach 0 or 2^n - 1.
//
// Packed words are little-endian in memory and written whole. Shifts of negative values are arithmetic.
#pragma once

#include "platform/core/cf_base.h"
#include "platform/core/mac_types.h"
#include "platform/core/quickdraw_ports.h"

// ---- Records ----

struct RGB8 {
  UInt8 red, green, blue;
};
// 0..255 scale.
struct RGB_F32 {
  float red, green, blue;
};
// Full range, chroma signed (0 = no colour).
struct YCbCr8 {
  UInt8 y;
  SInt8 cb, cr;
};
// One 'yuv2' pixel pair.
struct YCbCr8_422 {
  UInt8 y0;
  SInt8 cb;
  UInt8 y1;
  SInt8 cr;
};
// Video range, chroma offset 128.
struct YCbCrU8 {
  UInt8 y, cb, cr;
};
// Video-range codes at 16 bits.
struct YCbCrU16 {
  UInt16 y, cb, cr;
};
struct YCbCrU16_422 {
  UInt16 cb, y0, cr, y1;
};
struct YCbCrF32 {
  float y, cb, cr;
};

enum CO_YCbCrRangeType : SInt32 {
  kCO_FullRange = 1,
  kCO_VideoRange = 2,
  kCO_WideRange = 3,
};

// ---- Unit interval ----

// 0 gives 0.25/M, M gives 1 - 0.25/M, otherwise uInt/M.
double CO_UIntToUnitInterval(UInt32 uInt, int bitDepth);
// value clamped to 0..1; trunc(M value + 0.5).
UInt32 CO_UnitIntervalToUInt(double value, int bitDepth);
// Above S gives 0.5, S gives 0.5 - 0.25/S, below -S gives -0.5, -S gives -0.5 + 0.25/S, else sInt/(2 S).
double CO_SIntToUnitInterval(SInt32 sInt, int bitDepth);
// value clamped to -0.5..0.5; trunc((2^n - 2) value + 0.5), truncated toward zero.
SInt32 CO_UnitIntervalToSInt(double value, int bitDepth);
// (code - 16 s) / (219 s); limited to 0..1 when clamp is set.
double CO_UIntVRToUnitInterval(SInt32 uInt, int bitDepth, Boolean clamp);
// trunc(219 s value + 0.5 + 16 s), kept within s .. 2^n - s - 1.
UInt32 CO_UnitIntervalToUIntVR(double value, int bitDepth);
// (code - 16 s) / (224 s) - 0.5; limited to -0.5..0.5 when clamp is set.
double CO_SIntVRToUnitInterval(SInt32 code, int bitDepth, Boolean clamp);
// trunc(128 s + (224 s value + 0.5)), kept within s .. 2^n - s - 1.
UInt32 CO_UnitIntervalToSIntVR(double value, int bitDepth);

// ---- Integer depth and range changes ----

int CO_10bitUIntTo5bitUInt(int x);
int CO_16bitUIntTo8bitUInt(int x);
// 0 gives 8 and 31 gives 1016 (the inset ends); otherwise 33 x.
int CO_5bitUIntTo10bitUInt(int x);
// 0 gives 64 and 255 or more gives 65471; otherwise 257 x.
int CO_8bitUIntTo16bitUInt(int x);
// Full-range 8-bit luma to video range (16..235).
UInt8 CO_8bitUIntFRToVR(int x);
// Signed full-range chroma (-128..127) to offset-binary video range (16..240).
UInt8 CO_8bitSIntFRToVR(int x);
// Video-range luma (limited to 16..235 first) to full range: (x - 16) 255/219 rounded.
UInt8 CO_8bitUIntVRToFR(int x);
// Offset-binary video-range chroma (limited to 16..240 first) to signed full range: (x - 128) 255/224 rounded.
SInt8 CO_8bitSIntVRToFR(int x);

// ---- Packing of pixel groups ----

// 1-5-5-5 pixel (alpha in bit 15, red 10..14, green 5..9, blue 0..4) to and from 8-bit components through
// the unit interval; alphaBit is the pixel's bit 15 as it stands (0 or 0x8000).
void CO_UnpackRGB16(UInt16 rgb16, RGB8 *rgb, UInt16 *alphaBit);
void CO_PackRGB16(const RGB8 *rgb, UInt16 alphaBit, UInt16 *rgb16);
// The inverted 8-bit level.
UInt8 CO_UnpackGrey(UInt8 grey);
// Two pixels to one 'yuv2' pair y0, cb0, y1, cr0 (the first pixel's chroma).
void CO_PackYCbCr8To422(const YCbCr8 yCbCr8[2], void *ptr);
// Two video-range pixels to one '2vuy' pair cb0, y0, cr0, y1.
void CO_PackYCbCrU8To422(const YCbCrU8 yCbCrVR[2], void *ptr);
// 'v216': a pixel pair in four 16-bit words Cb, Y0, Cr, Y1, each a code of sgnb (10, 12, 14 or 16)
// significant bits at the top of its word; the record holds 16-bit video-range codes.
void CO_Unpack_v216(const void *ptr, YCbCrU16_422 *yCbCr, int sgnb);
void CO_Pack_v216(const YCbCrU16_422 *yCbCr, void *ptr, int sgnb);
// 'v410': one pixel in a 32-bit word, Cr in bits 22..31, Y 12..21, Cb 2..11 (10-bit video-range codes).
void CO_Unpack_v410(const void *ptr, YCbCrU16 *yCbCr);
void CO_Pack_v410(const YCbCrU16 *yCbCr, void *ptr);
// 'v210': six pixels (three pairs) in four 32-bit words of three 10-bit fields: Cb0 Y0 Cr0, Y1 Cb1 Y2,
// Cr1 Y3 Cb2, Y4 Cr2 Y5.
void CO_Unpack_v210(const void *ptr, YCbCrU16_422 yCbCr[3]);
void CO_Pack_v210(void *ptr, const YCbCrU16_422 yCbCr[3]);

// ---- RGB and Y'CbCr ----
// matrix: Kr, Kg, Kb (for example Rec. 601: 0.299, 0.587, 0.114).

// Unit interval, double: rgb and yCbCr are three values each (R, G, B and Y, Cb, Cr).
void CO_RGBToYCbCr(const double rgb[3], const double matrix[3], double yCbCr[3]);
void CO_YCbCrToRGB(const double yCbCr[3], const double matrix[3], double rgb[3]);
// The same in single precision on the 0..255 scale (y unsigned, chroma signed).
void CO_YCbCr8ToRGB_F32(const YCbCr8 *yCbCr, const float matrix[3], RGB_F32 *rgbF32);
void CO_YCbCrF32_ToRGB_F32(const YCbCrF32 *yCbCrF32, const float matrix[3], RGB_F32 *rgbF32);
// Y = 16 + (y - 16) 1.1643835, chroma 1.1383928 (c - 128).
void CO_YCbCrU8_ToYCbCrF32(const YCbCrU8 *yCbCrU8, YCbCrF32 *yCbCrF32);
// Through the unit interval in the given range. In video range the record's chroma fields hold
// offset-binary codes (the bytes read as unsigned, 128 = no colour), so the two routines round-trip.
void CO_YCbCr8ToRGB16(const YCbCr8 *yCbCr8, const double matrix[3], CO_YCbCrRangeType rangeType,
                      RGBColor *rgbColor);
void CO_RGB16ToYCbCr8(const RGBColor *rgbColor, const double matrix[3], CO_YCbCrRangeType rangeType,
                      YCbCr8 *yCbCr8);

// Fixed point, Rec. 601 weights.
void CO_RGB8ToYCbCr8(const RGB8 *rgb, YCbCr8 *yCbCr);
void CO_YCbCr8ToRGB8(const YCbCr8 *yCbCr, RGB8 *rgb);
void CO_RGB8_ToYCbCrU8(const RGB8 *rgb, YCbCrU8 *yCbCr);
void CO_YCbCrU8ToRGB8(const YCbCrU8 *yCbCr, RGB8 *rgb);
void CO_YCbCrToYCbCrU8(const YCbCr8 *yCbCr, YCbCrU8 *yCbCrU8);
// Codes outside the video range are limited to the full range's ends (0..255, chroma -128..127).
void CO_YCbCrU8ToYCbCr(const YCbCrU8 *yCbCrU8, YCbCr8 *yCbCr);

// The colour with luma y and the hue of rgb: scaled by y / its luma, or, where that overflows, scaled to a
// largest component of 255 and blended toward white. A colour of luma 0 gives the grey (y, y, y).
void CO_SetRGB8_Br(const RGB8 *rgb, UInt8 y, RGB8 *rgbOut);
// CO_SetRGB8_Br, then CO_RGB8_ToYCbCrU8.
void CO_BrRGB8_ToYCbCrU8(const RGB8 *rgb, UInt8 y, YCbCrU8 *yCbCr);

// ---- Float RGB ----

void CO_InitRGB8_F32(float red, float green, float blue, RGB_F32 *rgbF32);
void CO_AddRGB_F32(const RGB_F32 *a, const RGB_F32 *b, RGB_F32 *out);
void CO_SubRGB_F32(const RGB_F32 *a, const RGB_F32 *b, RGB_F32 *out);
void CO_ScaleRGB_F32(RGB_F32 *rgbF32, float scale);
// Brings the colour into 0..255 keeping its mean (itself limited to 0..255) and hue, reducing saturation
// only as far as needed. True when it lay within 0..255 already.
Boolean CO_SanitizeRGB_F32(RGB_F32 *rgbF32);
// Saturation of the sanitised colour: the largest deviation from the mean relative to the room toward 255
// (above) or toward 0 (below); 0 for a grey.
void CO_RGB_F32_GetSaturation(const RGB_F32 *rgbF32, float *sat);
// Sanitises in place and scales the deviation from the mean down to maxSat where the saturation exceeds it.
void CO_RGB_F32_LimitSaturation(RGB_F32 *rgbF32, float maxSat);

// ---- Equality, names and dictionaries ----

Boolean CO_EqualColor8(const YCbCr8 *yCbCr1, const YCbCr8 *yCbCr2);
Boolean CO_EqualColorU8(const YCbCrU8 *yCbCr1, const YCbCrU8 *yCbCr2);
// "video range", "full range", "wide range" or "unknown range type" (zero-terminated; 20 bytes suffice).
void CO_GetRangeName(CO_YCbCrRangeType range, char *rangeName);
// Appends the title line "<title>: <range name>\n" to a text buffer.
void CO_AddRangeFieldDescrToTextPtr(Ptr textPtr, SInt32 *textSize, CFStringRef title, CO_YCbCrRangeType range);
// Owned: a new dictionary with "Y" (unsigned 8-bit), "Cb" and "Cr" (signed 8-bit); the caller releases it.
CFMutableDictionaryRef CO_CopyYCbCr8ToDict(const YCbCr8 *yCbCr);
// Reads the three back; a missing or unfit value leaves its field unchanged. True when all three were read.
Boolean CO_GetYCbCr8FromDict(CFDictionaryRef dict, YCbCr8 *yCbCr);
