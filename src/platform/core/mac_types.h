// Classic toolbox types and records that the whole system speaks.
// Widths are fixed: where the original said `long` for 32-bit data we say SInt32; sizes in memory are size_t.
#pragma once

#include <cstddef>
#include <cstdint>

typedef int8_t SInt8;
typedef uint8_t UInt8;
typedef int16_t SInt16;
typedef uint16_t UInt16;
typedef int32_t SInt32;
typedef uint32_t UInt32;
typedef int64_t SInt64;
typedef uint64_t UInt64;

typedef SInt32 OSStatus;
typedef SInt16 OSErr;
typedef UInt32 OSType;
typedef UInt32 FourCharCode;
typedef OSType ResType;
typedef UInt32 ItemCount;
typedef UInt32 ByteCount;
typedef UInt32 OptionBits;
typedef SInt32 Size;
// Any non-zero byte is true; some stored records hold 2.
typedef unsigned char Boolean;
typedef UInt16 UniChar;
typedef UInt32 UniCharCount;
typedef UInt32 TextEncoding;
typedef UInt32 UTF32Char;
typedef SInt16 ScriptCode;
typedef SInt16 LangCode;
typedef SInt16 RegionCode;

typedef SInt32 Fixed;  // 16.16
typedef SInt32 Fract;  // 2.30
typedef SInt16 ShortFixed;  // 8.8
typedef double Float64;
typedef float Float32;

typedef char *Ptr;
typedef Ptr *Handle;
typedef long (*ProcPtr)();

typedef unsigned char Str255[256];
typedef unsigned char Str63[64];
typedef unsigned char Str31[32];
typedef unsigned char Str32[33];
typedef unsigned char Str27[28];
typedef unsigned char Str15[16];
typedef unsigned char *StringPtr;
typedef const unsigned char *ConstStringPtr;
typedef const unsigned char *ConstStr255Param;
typedef const unsigned char *ConstStr63Param;
typedef const unsigned char *ConstStr31Param;
typedef unsigned char **StringHandle;

struct Point {
  SInt16 v;
  SInt16 h;
};
typedef Point *PointPtr;

struct Rect {
  SInt16 top;
  SInt16 left;
  SInt16 bottom;
  SInt16 right;
};
typedef Rect *RectPtr;

struct FixedPoint {
  Fixed x;
  Fixed y;
};

struct FixedRect {
  Fixed left;
  Fixed top;
  Fixed right;
  Fixed bottom;
};

// 64-bit values as the toolbox split them; `hi` carries the sign.
struct wide {
  SInt32 hi;
  UInt32 lo;
};
struct UnsignedWide {
  UInt32 hi;
  UInt32 lo;
};

struct UTCDateTime {
  UInt16 highSeconds;
  UInt32 lowSeconds;
  UInt16 fraction;
};

typedef UInt32 Duration;
typedef UInt64 AbsoluteTime;
typedef double CFAbsoluteTime;
typedef double CFTimeInterval;

enum : SInt32 { kDurationImmediate = 0, kDurationForever = 0x7FFFFFFF, kDurationMillisecond = 1,
                kDurationMicrosecond = -1 };

enum { kNilOptions = 0 };

#ifndef NULL
#define NULL nullptr
#endif

// Four-character codes are packed big-endian into a UInt32, so 'abcd' literals compare directly.
constexpr OSType PL_FourCC(const char code[4]) {
  return (UInt32(UInt8(code[0])) << 24) | (UInt32(UInt8(code[1])) << 16) | (UInt32(UInt8(code[2])) << 8) |
         UInt32(UInt8(code[3]));
}
