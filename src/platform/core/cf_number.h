// CoreFoundation stand-in: CFNumber and CFBoolean.
//
// A number keeps the type it was made with (char, short, int and long map onto the fixed widths: long is
// 64-bit here), so a stored value reads back with its own type. CFNumberGetValue converts to any type and
// says whether the conversion was exact: integers that do not fit are clamped, floats are truncated toward
// zero, NaN becomes 0; those answers are false. Numbers of different types are equal when their values are.
#pragma once

#include "platform/core/cf_base.h"

typedef CFIndex CFNumberType;
enum : CFNumberType {
  kCFNumberSInt8Type = 1,
  kCFNumberSInt16Type = 2,
  kCFNumberSInt32Type = 3,
  kCFNumberSInt64Type = 4,
  kCFNumberFloat32Type = 5,
  kCFNumberFloat64Type = 6,
  kCFNumberCharType = 7,
  kCFNumberShortType = 8,
  kCFNumberIntType = 9,
  kCFNumberLongType = 10,
  kCFNumberLongLongType = 11,
  kCFNumberFloatType = 12,
  kCFNumberDoubleType = 13,
  kCFNumberCFIndexType = 14,
  kCFNumberNSIntegerType = 15,
  kCFNumberCGFloatType = 16,
  kCFNumberMaxType = 16
};

CFTypeID CFNumberGetTypeID();
// Owned. NULL for an unknown type or a NULL value pointer.
CFNumberRef CFNumberCreate(CFAllocatorRef allocator, CFNumberType theType, const void *valuePtr);
// The fixed-width type the number was made with (kCFNumberSInt8Type ... kCFNumberFloat64Type).
CFNumberType CFNumberGetType(CFNumberRef number);
CFIndex CFNumberGetByteSize(CFNumberRef number);
Boolean CFNumberIsFloatType(CFNumberRef number);
// Writes the value converted to `theType`; true when it was exact.
Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void *valuePtr);
CFComparisonResult CFNumberCompare(CFNumberRef number, CFNumberRef otherNumber, void *context);

CFTypeID CFBooleanGetTypeID();
extern const CFBooleanRef kCFBooleanTrue;
extern const CFBooleanRef kCFBooleanFalse;
Boolean CFBooleanGetValue(CFBooleanRef boolean);
