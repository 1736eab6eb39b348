// CoreFoundation helpers, dictionary encodings and preferences.
#include "general/cf_encodings.h"

#include "general/error_keys.h"
#include "general/file_system_helpers.h"
#include "general/geometry.h"
#include "general/memory_lists.h"
#include "general/unicode_strings.h"
#include "platform/core/aliases.h"
#include "platform/core/cf_preferences.h"
#include "platform/core/core_foundation.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/image_descriptions.h"  // the extension records only; nothing is linked

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

// ---- Reading values defensively ----

const void *TypedValue(CFTypeRef value, CFTypeID type) {
  return value != nullptr && CFGetTypeID(value) == type ? value : nullptr;
}

const void *DictValue(CFDictionaryRef dict, CFStringRef key, CFTypeID type) {
  if (dict == nullptr || key == nullptr || CFGetTypeID(dict) != CFDictionaryGetTypeID()) return nullptr;
  return TypedValue(CFDictionaryGetValue(dict, key), type);
}

CFNumberRef DictNumber(CFDictionaryRef dict, CFStringRef key) {
  return static_cast<CFNumberRef>(DictValue(dict, key, CFNumberGetTypeID()));
}

// The number's value as an integer in [lo, hi]; integral reals count, anything else is a bad value.
bool ReadInteger(CFNumberRef number, SInt64 lo, SInt64 hi, SInt64 *out) {
  if (TypedValue(number, CFNumberGetTypeID()) == nullptr) return false;
  SInt64 v = 0;
  if (CFNumberIsFloatType(number)) {
    Float64 d = 0;
    CFNumberGetValue(number, kCFNumberFloat64Type, &d);
    if (!std::isfinite(d) || d != std::trunc(d) || d < Float64(lo) || d > Float64(hi)) return false;
    v = SInt64(d);
  } else if (!CFNumberGetValue(number, kCFNumberSInt64Type, &v)) {
    return false;
  }
  if (v < lo || v > hi) return false;
  *out = v;
  return true;
}

bool ReadFloat(CFNumberRef number, Float64 limit, Float64 *out) {
  if (TypedValue(number, CFNumberGetTypeID()) == nullptr) return false;
  Float64 d = 0;
  CFNumberGetValue(number, kCFNumberFloat64Type, &d);
  if (!std::isfinite(d) || std::fabs(d) > limit) return false;
  *out = d;
  return true;
}

UInt32 UnsignedLimit(UInt32 bitSize) {
  return bitSize == 8 ? 0xFFu : bitSize == 16 ? 0xFFFFu : 0xFFFFFFFFu;
}

// ---- Making values ----

CFNumberRef NewNumber(CFNumberType type, const void *value) { return CFNumberCreate(nullptr, type, value); }

// Puts an owned value under key and releases it; a NULL value (memory out) changes nothing.
void SetOwned(CFMutableDictionaryRef dict, CFStringRef key, CFTypeRef value) {
  if (value == nullptr) return;
  if (dict != nullptr && key != nullptr) CFDictionarySetValue(dict, key, value);
  CFRelease(value);
}

// An array of `count` owned values made by make(i), each released once in the array.
template <class Make>
CFArrayRef NewArrayOf(CFIndex count, Make make) {
  if (count < 0) return nullptr;
  PL_CFScoped<CFMutableArrayRef> array(CFArrayCreateMutable(nullptr, count, &kCFTypeArrayCallBacks));
  for (CFIndex i = 0; i < count; ++i) {
    CFTypeRef v = make(i);
    if (v == nullptr) return nullptr;
    CFArrayAppendValue(array, v);
    CFRelease(v);
  }
  return CFArrayCreateCopy(nullptr, array);
}

// Reads count elements of an array through read(i, element) into a caller's buffer, all or nothing.
template <class Read>
Boolean ReadArray(CFArrayRef array, CFIndex maxCount, CFIndex *count, bool wantValues, Read read) {
  CFIndex ignored = 0;
  CFIndex &n = count != nullptr ? *count : ignored;
  n = 0;
  if (TypedValue(array, CFArrayGetTypeID()) == nullptr) return false;
  const CFIndex total = CFArrayGetCount(array);
  if (wantValues && total > maxCount) return false;
  for (CFIndex i = 0; i < total; ++i) {
    if (!read(i, CFArrayGetValueAtIndex(array, i), wantValues)) return false;
  }
  n = total;
  return true;
}

bool ReadShorts(CFArrayRef array, CFIndex needed, SInt16 *out) {
  if (TypedValue(array, CFArrayGetTypeID()) == nullptr || CFArrayGetCount(array) < needed) return false;
  for (CFIndex i = 0; i < needed; ++i) {
    SInt64 v = 0;
    if (!ReadInteger(static_cast<CFNumberRef>(CFArrayGetValueAtIndex(array, i)), -32768, 32767, &v)) return false;
    out[i] = SInt16(v);
  }
  return true;
}

CFArrayRef ShortArray(const SInt16 *values, CFIndex count) {
  return NewArrayOf(count, [&](CFIndex i) -> CFTypeRef { return NewNumber(kCFNumberShortType, &values[i]); });
}

template <class T>
Boolean GetSigned(CFDictionaryRef dict, CFStringRef key, T *value, SInt64 lo, SInt64 hi) {
  SInt64 v = 0;
  if (value == nullptr || !ReadInteger(DictNumber(dict, key), lo, hi, &v)) return false;
  *value = T(v);
  return true;
}

// The line "HH:MM:SS text" cut to 255 bytes at a character boundary.
void PrintLine(const std::string &text) {
  std::string line = text;
  if (line.size() > 255) {
    size_t cut = 255;
    while (cut > 0 && (UInt8(line[cut]) & 0xC0) == 0x80) --cut;
    line.resize(cut);
  }
  PL_Printf("%s\n", line.c_str());
}

// The string as UTF-8 (a lone surrogate becomes '?').
std::string UTF8Of(CFStringRef s) {
  const CFIndex n = CFStringGetLength(s);
  CFIndex size = 0;
  CFStringGetBytes(s, CFRangeMake(0, n), kCFStringEncodingUTF8, '?', false, nullptr, 0, &size);
  std::string out(size_t(size), '\0');
  CFStringGetBytes(s, CFRangeMake(0, n), kCFStringEncodingUTF8, '?', false, reinterpret_cast<UInt8 *>(out.data()),
                   size, &size);
  out.resize(size_t(size));
  return out;
}

bool LocalNow(std::tm *tm) {
  const std::time_t now = std::time(nullptr);
  return localtime_r(&now, tm) != nullptr;
}

}  // namespace

// ---- Strings -----------------------------------------------------------------------------------------------------

CFMutableStringRef CF_StringCreateMut() { return CFStringCreateMutable(nullptr, 0); }

CFMutableStringRef CF_StringCreateMutCopy(CFStringRef str) {
  return str != nullptr ? CFStringCreateMutableCopy(nullptr, 0, str) : nullptr;
}

CFMutableStringRef CF_StringMakeMutable(CFStringRef str) {
  CFMutableStringRef m = CF_StringCreateMutCopy(str);
  if (str != nullptr) CFRelease(str);
  return m;
}

// ---- Dictionaries ---------------------------------------------------------------------------------------------------

CFDictionaryRef CF_DictCreate(const void **keys, const void **values, CFIndex count) {
  return CFDictionaryCreate(nullptr, keys, values, count, &kCFTypeDictionaryKeyCallBacks,
                            &kCFTypeDictionaryValueCallBacks);
}

CFMutableDictionaryRef CF_DictCreateMut() {
  return CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
}

CFMutableDictionaryRef CF_DictCreateMutWithValues(const void **keys, const void **values, CFIndex count) {
  CFMutableDictionaryRef dict = CF_DictCreateMut();
  if (dict == nullptr) return nullptr;
  for (CFIndex i = 0; i < count; ++i) CFDictionarySetValue(dict, keys[i], values[i]);
  return dict;
}

CFMutableDictionaryRef CF_DictCreateMutCopy(CFDictionaryRef dict) {
  return dict != nullptr ? CFDictionaryCreateMutableCopy(nullptr, 0, dict) : nullptr;
}

CFMutableDictionaryRef CF_DictMakeMutable(CFDictionaryRef dict) {
  CFMutableDictionaryRef m = CF_DictCreateMutCopy(dict);
  if (dict != nullptr) CFRelease(dict);
  return m;
}

CFMutableDictionaryRef CF_CopyMutDictFromDict(CFDictionaryRef parent, CFStringRef key) {
  return CF_DictCreateMutCopy(static_cast<CFDictionaryRef>(DictValue(parent, key, CFDictionaryGetTypeID())));
}

OSStatus CF_DictGetKeys(CFDictionaryRef dict, const void ***keys, CFIndex *count) {
  if (keys == nullptr || count == nullptr) return paramErr;
  *keys = nullptr;
  *count = 0;
  const CFIndex n = dict != nullptr ? CFDictionaryGetCount(dict) : 0;
  if (n == 0) return noErr;
  if (PL_AllocationShouldFail()) return memFullErr;
  auto block = static_cast<const void **>(std::malloc(size_t(n) * sizeof(void *)));
  if (block == nullptr) return memFullErr;
  CFDictionaryGetKeysAndValues(dict, block, nullptr);
  *keys = block;
  *count = n;
  return noErr;
}

// ---- Rectangles, points and regions ------------------------------------------------------------------------------

CFArrayRef CF_CopyRectToCFArray(const Rect *rect) {
  if (rect == nullptr) return nullptr;
  const SInt16 v[4] = {rect->top, rect->left, rect->bottom, rect->right};
  return ShortArray(v, 4);
}

Boolean CF_GetRectFromCFArray(CFArrayRef array, Rect *rect) {
  SInt16 v[4];
  if (rect == nullptr || !ReadShorts(array, 4, v)) return false;
  *rect = Rect{v[0], v[1], v[2], v[3]};
  return true;
}

Boolean CF_GetRectFromDict(CFDictionaryRef dict, CFStringRef key, Rect *rect) {
  return CF_GetRectFromCFArray(static_cast<CFArrayRef>(DictValue(dict, key, CFArrayGetTypeID())), rect);
}

CFArrayRef CF_CopyPointToCFArray(const Point *point) {
  if (point == nullptr) return nullptr;
  const SInt16 v[2] = {point->h, point->v};
  return ShortArray(v, 2);
}

Boolean CF_GetPointFromCFArray(CFArrayRef array, Point *point) {
  SInt16 v[2];
  if (point == nullptr || !ReadShorts(array, 2, v)) return false;
  point->h = v[0];
  point->v = v[1];
  return true;
}

Boolean CF_GetPointFromDict(CFDictionaryRef dict, CFStringRef key, Point *point) {
  return CF_GetPointFromCFArray(static_cast<CFArrayRef>(DictValue(dict, key, CFArrayGetTypeID())), point);
}

CFDictionaryRef CF_CreateRgnDict(RgnHandle rgn) {
  if (rgn == nullptr) return nullptr;
  Rect bounds;
  GetRegionBounds(rgn, &bounds);
  PL_CFScoped<CFMutableDictionaryRef> dict(CF_DictCreateMut());
  PL_CFScoped<CFArrayRef> boundsArray(CF_CopyRectToCFArray(&bounds));
  if (dict.get() == nullptr || boundsArray.get() == nullptr) return nullptr;
  CFDictionarySetValue(dict, CFSTR("Bounds"), boundsArray);
  if (!IsRegionRectangular(rgn)) {
    SInt32 *bits = nullptr;
    SInt32 size = 0;
    if (GL_FlattenRgnBitMap(rgn, &bits, &size) != noErr) return nullptr;
    PL_CFScoped<CFDataRef> data(CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(bits), size));
    GL_DisposePtr(&bits);
    if (data.get() == nullptr) return nullptr;
    CFDictionarySetValue(dict, CFSTR("Bits"), data);
  }
  return CFDictionaryCreateCopy(nullptr, dict);
}

RgnHandle CF_GetRgnFromDict(CFDictionaryRef dict) {
  Rect bounds;
  if (!CF_GetRectFromDict(dict, CFSTR("Bounds"), &bounds)) return nullptr;
  RgnHandle rgn = NewRgn();
  if (rgn == nullptr) return nullptr;
  auto bits = static_cast<CFDataRef>(DictValue(dict, CFSTR("Bits"), CFDataGetTypeID()));
  // The bitmap's runs are added to an empty region: laid over the bounds' rectangle they would add nothing.
  if (bits == nullptr || GL_UnflattenRgnBitMapSized(CFDataGetBytePtr(bits), size_t(CFDataGetLength(bits)),
                                                    &bounds, rgn) != noErr) {
    RectRgn(rgn, &bounds);
  }
  return rgn;
}

// ---- Enumerations and numbers --------------------------------------------------------------------------------------

CFNumberRef CF_NumberCreateFromEnum(SInt32 value) { return NewNumber(kCFNumberSInt32Type, &value); }

SInt32 CF_GetEnumFromNumberRef(CFNumberRef number) {
  SInt64 v = 0;
  return ReadInteger(number, INT32_MIN, INT32_MAX, &v) ? SInt32(v) : 0;
}

void CF_AddEnumToDict(CFMutableDictionaryRef dict, CFStringRef key, SInt32 value) {
  SetOwned(dict, key, CF_NumberCreateFromEnum(value));
}

SInt32 CF_GetEnumFromDict(CFDictionaryRef dict, CFStringRef key) { return CF_GetEnumFromNumberRef(DictNumber(dict, key)); }

CFNumberRef CF_CreateUnsignedNumber(UInt32 bitSize, UInt32 number) {
  if (bitSize == 8) {
    const SInt16 v = SInt16(UInt8(number));
    return NewNumber(kCFNumberSInt16Type, &v);
  }
  if (bitSize == 16) {
    const SInt32 v = SInt32(UInt16(number));
    return NewNumber(kCFNumberSInt32Type, &v);
  }
  const SInt64 v = SInt64(number);
  return NewNumber(kCFNumberSInt64Type, &v);
}

Boolean CF_GetUnsignedNumber(CFNumberRef number, UInt32 bitSize, UInt32 *out) {
  SInt64 v = 0;
  if (out == nullptr || !ReadInteger(number, 0, SInt64(UnsignedLimit(bitSize)), &v)) return false;
  *out = UInt32(v);
  return true;
}

void CF_AddUnsignedToDict(CFMutableDictionaryRef dict, CFStringRef key, UInt32 number, UInt32 bitSize) {
  SetOwned(dict, key, CF_CreateUnsignedNumber(bitSize, number));
}

Boolean CF_GetUnsignedFromDict(CFDictionaryRef dict, CFStringRef key, UInt32 *out, UInt32 bitSize) {
  return CF_GetUnsignedNumber(DictNumber(dict, key), bitSize, out);
}

void CF_AddSInt8ToDict(CFMutableDictionaryRef dict, CFStringRef key, SInt8 value) {
  SetOwned(dict, key, NewNumber(kCFNumberSInt8Type, &value));
}
void CF_AddSInt16ToDict(CFMutableDictionaryRef dict, CFStringRef key, SInt16 value) {
  SetOwned(dict, key, NewNumber(kCFNumberSInt16Type, &value));
}
void CF_AddSInt32ToDict(CFMutableDictionaryRef dict, CFStringRef key, SInt32 value) {
  SetOwned(dict, key, NewNumber(kCFNumberSInt32Type, &value));
}
void CF_AddSInt64ToDict(CFMutableDictionaryRef dict, CFStringRef key, SInt64 value) {
  SetOwned(dict, key, NewNumber(kCFNumberSInt64Type, &value));
}
void CF_AddFloat32ToDict(CFMutableDictionaryRef dict, CFStringRef key, Float32 value) {
  SetOwned(dict, key, NewNumber(kCFNumberFloat32Type, &value));
}
void CF_AddFloat64ToDict(CFMutableDictionaryRef dict, CFStringRef key, Float64 value) {
  SetOwned(dict, key, NewNumber(kCFNumberFloat64Type, &value));
}

Boolean CF_GetSInt8FromDict(CFDictionaryRef dict, CFStringRef key, SInt8 *value) {
  return GetSigned(dict, key, value, INT8_MIN, INT8_MAX);
}
Boolean CF_GetSInt16FromDict(CFDictionaryRef dict, CFStringRef key, SInt16 *value) {
  return GetSigned(dict, key, value, INT16_MIN, INT16_MAX);
}
Boolean CF_GetSInt32FromDict(CFDictionaryRef dict, CFStringRef key, SInt32 *value) {
  return GetSigned(dict, key, value, INT32_MIN, INT32_MAX);
}
Boolean CF_GetSInt64FromDict(CFDictionaryRef dict, CFStringRef key, SInt64 *value) {
  return GetSigned(dict, key, value, INT64_MIN, INT64_MAX);
}
Boolean CF_GetFloat32FromDict(CFDictionaryRef dict, CFStringRef key, Float32 *value) {
  Float64 d = 0;
  if (value == nullptr || !ReadFloat(DictNumber(dict, key), FLT_MAX, &d)) return false;
  *value = Float32(d);
  return true;
}
Boolean CF_GetFloat64FromDict(CFDictionaryRef dict, CFStringRef key, Float64 *value) {
  Float64 d = 0;
  if (value == nullptr || !ReadFloat(DictNumber(dict, key), DBL_MAX, &d)) return false;
  *value = d;
  return true;
}

// ---- Arrays ------------------------------------------------------------------------------------------------------------

CFArrayRef CF_CreateSInt32Array(const SInt32 *values, CFIndex count) {
  if (values == nullptr && count > 0) return nullptr;
  return NewArrayOf(count, [&](CFIndex i) -> CFTypeRef { return NewNumber(kCFNumberSInt32Type, &values[i]); });
}

Boolean CF_GetSInt32ValuesFromArray(CFArrayRef array, SInt32 *values, CFIndex maxCount, CFIndex *count) {
  // Checked in full before the first element is written, so a bad array leaves the buffer untouched.
  if (!ReadArray(array, maxCount, nullptr, values != nullptr, [](CFIndex, const void *e, bool) {
        SInt64 v;
        return ReadInteger(static_cast<CFNumberRef>(e), INT32_MIN, INT32_MAX, &v);
      })) {
    if (count != nullptr) *count = 0;
    return false;
  }
  return ReadArray(array, maxCount, count, values != nullptr, [&](CFIndex i, const void *e, bool want) {
    SInt64 v = 0;
    ReadInteger(static_cast<CFNumberRef>(e), INT32_MIN, INT32_MAX, &v);
    if (want) values[i] = SInt32(v);
    return true;
  });
}

CFArrayRef CF_CreateUnsignedArray(UInt32 bitSize, const void *numbers, CFIndex count) {
  if (numbers == nullptr && count > 0) return nullptr;
  return NewArrayOf(count, [&](CFIndex i) -> CFTypeRef {
    UInt32 v;
    if (bitSize == 8) {
      v = static_cast<const UInt8 *>(numbers)[i];
    } else if (bitSize == 16) {
      v = static_cast<const UInt16 *>(numbers)[i];
    } else {
      v = static_cast<const UInt32 *>(numbers)[i];
    }
    return CF_CreateUnsignedNumber(bitSize, v);
  });
}

Boolean CF_GetUnsignedValuesFromArray(CFArrayRef array, UInt32 bitSize, void *numbers, CFIndex maxCount,
                                      CFIndex *count) {
  if (!ReadArray(array, maxCount, nullptr, numbers != nullptr, [&](CFIndex, const void *e, bool) {
        UInt32 v;
        return CF_GetUnsignedNumber(static_cast<CFNumberRef>(e), bitSize, &v) != 0;
      })) {
    if (count != nullptr) *count = 0;
    return false;
  }
  return ReadArray(array, maxCount, count, numbers != nullptr, [&](CFIndex i, const void *e, bool want) {
    UInt32 v = 0;
    CF_GetUnsignedNumber(static_cast<CFNumberRef>(e), bitSize, &v);
    if (!want) return true;
    if (bitSize == 8) {
      static_cast<UInt8 *>(numbers)[i] = UInt8(v);
    } else if (bitSize == 16) {
      static_cast<UInt16 *>(numbers)[i] = UInt16(v);
    } else {
      static_cast<UInt32 *>(numbers)[i] = v;
    }
    return true;
  });
}

CFArrayRef CF_CreateBooleanArray(const Boolean *values, CFIndex count) {
  if (values == nullptr && count > 0) return nullptr;
  return NewArrayOf(count, [&](CFIndex i) -> CFTypeRef {
    return CFRetain(values[i] ? kCFBooleanTrue : kCFBooleanFalse);
  });
}

Boolean CF_GetBooleanValuesFromArray(CFArrayRef array, Boolean *values, CFIndex maxCount, CFIndex *count) {
  if (!ReadArray(array, maxCount, nullptr, values != nullptr, [](CFIndex, const void *e, bool) {
        return TypedValue(e, CFBooleanGetTypeID()) != nullptr;
      })) {
    if (count != nullptr) *count = 0;
    return false;
  }
  return ReadArray(array, maxCount, count, values != nullptr, [&](CFIndex i, const void *e, bool want) {
    if (want) values[i] = CFBooleanGetValue(static_cast<CFBooleanRef>(e));
    return true;
  });
}

// ---- Booleans, names, texts, codes and byte blocks ----------------------------------------------------------------

void CF_AddBooleanToDict(CFMutableDictionaryRef dict, CFStringRef key, Boolean value) {
  if (dict != nullptr && key != nullptr) CFDictionarySetValue(dict, key, value ? kCFBooleanTrue : kCFBooleanFalse);
}

Boolean CF_GetBooleanFromDict(CFDictionaryRef dict, CFStringRef key, Boolean *value) {
  auto b = static_cast<CFBooleanRef>(DictValue(dict, key, CFBooleanGetTypeID()));
  if (b == nullptr || value == nullptr) return false;
  *value = CFBooleanGetValue(b);
  return true;
}

void CF_AddHFSNameToDict(CFMutableDictionaryRef dict, CFStringRef key, const HFSUniStr255 *name) {
  if (name == nullptr) return;
  SetOwned(dict, key, CFStringCreateWithCharacters(nullptr, name->unicode, name->length <= 255 ? name->length : 255));
}

Boolean CF_GetHFSNameFromDict(CFDictionaryRef dict, CFStringRef key, HFSUniStr255 *name) {
  if (name == nullptr) return false;
  name->length = 0;
  auto s = static_cast<CFStringRef>(DictValue(dict, key, CFStringGetTypeID()));
  if (s == nullptr || CFStringGetLength(s) > 255) return false;
  name->length = UInt16(CFStringGetLength(s));
  CFStringGetCharacters(s, CFRangeMake(0, name->length), name->unicode);
  return true;
}

void CF_AddCStringToDict(CFMutableDictionaryRef dict, CFStringRef key, const char *str) {
  if (str == nullptr) return;
  SetOwned(dict, key, CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(str), CFIndex(std::strlen(str))));
}

Boolean CF_GetCStringFromDict(CFDictionaryRef dict, CFStringRef key, char *buffer, size_t bufferSize) {
  if (buffer == nullptr || bufferSize == 0) return false;
  buffer[0] = 0;
  auto data = static_cast<CFDataRef>(DictValue(dict, key, CFDataGetTypeID()));
  if (data == nullptr) return false;
  const size_t n = size_t(CFDataGetLength(data));
  if (n + 1 > bufferSize) return false;
  std::memcpy(buffer, CFDataGetBytePtr(data), n);
  buffer[n] = 0;
  return true;
}

void CF_AddMacRomanCStringToDict(CFMutableDictionaryRef dict, CFStringRef key, const char *str) {
  if (str == nullptr) return;
  SetOwned(dict, key, CFStringCreateWithCString(nullptr, str, kCFStringEncodingMacRoman));
}

Boolean CF_GetMacRomanCStringFromDict(CFDictionaryRef dict, CFStringRef key, char buffer[256]) {
  if (buffer == nullptr) return false;
  buffer[0] = 0;
  auto s = static_cast<CFStringRef>(DictValue(dict, key, CFStringGetTypeID()));
  return s != nullptr && CFStringGetCString(s, buffer, 256, kCFStringEncodingMacRoman);
}

void CF_AddOSTypeToDict(CFMutableDictionaryRef dict, CFStringRef key, OSType type) {
  // Up to the first zero byte, as the code's text reads: a zero character could not be stored in a file.
  UInt8 bytes[4] = {UInt8(type >> 24), UInt8(type >> 16), UInt8(type >> 8), UInt8(type)};
  CFIndex n = 0;
  while (n < 4 && bytes[n] != 0) ++n;
  SetOwned(dict, key, CFStringCreateWithBytes(nullptr, bytes, n, kCFStringEncodingMacRoman, false));
}

OSType CF_GetOSTypeFromDict(CFDictionaryRef dict, CFStringRef key) {
  auto s = static_cast<CFStringRef>(DictValue(dict, key, CFStringGetTypeID()));
  if (s == nullptr) return 0;
  const CFIndex n = CFStringGetLength(s) < 4 ? CFStringGetLength(s) : 4;
  UInt8 bytes[4] = {0, 0, 0, 0};
  CFIndex used = 0;
  if (CFStringGetBytes(s, CFRangeMake(0, n), kCFStringEncodingMacRoman, 0, false, bytes, 4, &used) != n) return 0;
  return (OSType(bytes[0]) << 24) | (OSType(bytes[1]) << 16) | (OSType(bytes[2]) << 8) | OSType(bytes[3]);
}

void CF_AddDataToDict(CFMutableDictionaryRef dict, CFStringRef key, const void *bytes, size_t size) {
  if (bytes == nullptr && size > 0) return;
  SetOwned(dict, key, CFDataCreate(nullptr, static_cast<const UInt8 *>(bytes), CFIndex(size)));
}

void CF_AddDataToDictFromHandle(CFMutableDictionaryRef dict, CFStringRef key, Handle h) {
  SetOwned(dict, key, CF_HandleToDataRef(h));
}

Boolean CF_GetDataFromDict(CFDictionaryRef dict, CFStringRef key, void **block, size_t *size) {
  if (block == nullptr || size == nullptr) return false;
  *block = nullptr;
  *size = 0;
  auto data = static_cast<CFDataRef>(DictValue(dict, key, CFDataGetTypeID()));
  if (data == nullptr || PL_AllocationShouldFail()) return false;
  const size_t n = size_t(CFDataGetLength(data));
  void *p = std::malloc(n > 0 ? n : 1);
  if (p == nullptr) return false;
  if (n > 0) std::memcpy(p, CFDataGetBytePtr(data), n);
  *block = p;
  *size = n;
  return true;
}

Boolean CF_GetDataFromDictAsHandle(CFDictionaryRef dict, CFStringRef key, Handle *h) {
  if (h == nullptr) return false;
  *h = CF_DataRefToHandle(static_cast<CFDataRef>(DictValue(dict, key, CFDataGetTypeID())));
  return *h != nullptr;
}

Handle CF_DataRefToHandle(CFDataRef data) {
  if (TypedValue(data, CFDataGetTypeID()) == nullptr) return nullptr;
  const Size n = Size(CFDataGetLength(data));
  Handle h = NewHandle(n);
  if (h == nullptr) return nullptr;
  if (n > 0) std::memcpy(*h, CFDataGetBytePtr(data), size_t(n));
  return h;
}

CFDataRef CF_HandleToDataRef(Handle h) {
  if (h == nullptr) return nullptr;
  const Size n = GetHandleSize(h);
  return CFDataCreate(nullptr, n > 0 ? reinterpret_cast<const UInt8 *>(*h) : nullptr, n > 0 ? CFIndex(n) : 0);
}

// ---- Matrices and image-description extensions ------------------------------------------------------------------

CFArrayRef CF_CreateMatrixArray(const MatrixRecord *matrix) {
  if (matrix == nullptr) return nullptr;
  return NewArrayOf(9, [&](CFIndex i) -> CFTypeRef {
    const SInt32 v = matrix->matrix[i / 3][i % 3];
    return NewNumber(kCFNumberSInt32Type, &v);
  });
}

Boolean CF_GetMatrixFromArray(CFArrayRef array, MatrixRecord *matrix) {
  if (matrix == nullptr || TypedValue(array, CFArrayGetTypeID()) == nullptr || CFArrayGetCount(array) != 9) {
    return false;
  }
  MatrixRecord m;
  for (CFIndex i = 0; i < 9; ++i) {
    SInt64 v = 0;
    if (!ReadInteger(static_cast<CFNumberRef>(CFArrayGetValueAtIndex(array, i)), INT32_MIN, INT32_MAX, &v)) {
      return false;
    }
    m.matrix[i / 3][i % 3] = Fixed(v);
  }
  *matrix = m;
  return true;
}

namespace {

bool GetU32(CFDictionaryRef dict, CFStringRef key, UInt32 *field) { return CF_GetUnsignedFromDict(dict, key, field, 32); }

bool GetS32(CFDictionaryRef dict, CFStringRef key, SInt32 *field) { return CF_GetSInt32FromDict(dict, key, field); }

}  // namespace

CFDictionaryRef CF_CreatePaspIdeExtDict(const PixelAspectRatioImageDescriptionExtension *pasp) {
  if (pasp == nullptr) return nullptr;
  PL_CFScoped<CFMutableDictionaryRef> d(CF_DictCreateMut());
  if (d.get() == nullptr) return nullptr;
  CF_AddUnsignedToDict(d, CFSTR("Horizontal Spacing"), pasp->hSpacing, 32);
  CF_AddUnsignedToDict(d, CFSTR("Vertical Spacing"), pasp->vSpacing, 32);
  return CFDictionaryCreateCopy(nullptr, d);
}

Boolean CF_GetPaspIdeExtFromDict(CFDictionaryRef dict, PixelAspectRatioImageDescriptionExtension *pasp) {
  if (pasp == nullptr) return false;
  UInt32 h = pasp->hSpacing, v = pasp->vSpacing;
  const bool all = GetU32(dict, CFSTR("Horizontal Spacing"), &h) & GetU32(dict, CFSTR("Vertical Spacing"), &v);
  pasp->hSpacing = h;
  pasp->vSpacing = v;
  return all;
}

CFDictionaryRef CF_CreateClapIdeExtDict(const CleanApertureImageDescriptionExtension *clap) {
  if (clap == nullptr) return nullptr;
  PL_CFScoped<CFMutableDictionaryRef> d(CF_DictCreateMut());
  if (d.get() == nullptr) return nullptr;
  CF_AddUnsignedToDict(d, CFSTR("Width numerator"), clap->cleanApertureWidthN, 32);
  CF_AddUnsignedToDict(d, CFSTR("Width denominator"), clap->cleanApertureWidthD, 32);
  CF_AddUnsignedToDict(d, CFSTR("Height numerator"), clap->cleanApertureHeightN, 32);
  CF_AddUnsignedToDict(d, CFSTR("Height denominator"), clap->cleanApertureHeightD, 32);
  CF_AddSInt32ToDict(d, CFSTR("Horizontal Offset numerator"), clap->horizOffN);
  CF_AddUnsignedToDict(d, CFSTR("Horizontal Offset denominator"), clap->horizOffD, 32);
  CF_AddSInt32ToDict(d, CFSTR("Vertical Offset numerator"), clap->vertOffN);
  CF_AddUnsignedToDict(d, CFSTR("Vertical Offset denominator"), clap->vertOffD, 32);
  return CFDictionaryCreateCopy(nullptr, d);
}

Boolean CF_GetClapIdeExtFromDict(CFDictionaryRef dict, CleanApertureImageDescriptionExtension *clap) {
  if (clap == nullptr) return false;
  // The record is packed: read into locals, then store.
  UInt32 wN = clap->cleanApertureWidthN, wD = clap->cleanApertureWidthD;
  UInt32 hN = clap->cleanApertureHeightN, hD = clap->cleanApertureHeightD;
  SInt32 xN = clap->horizOffN, yN = clap->vertOffN;
  UInt32 xD = clap->horizOffD, yD = clap->vertOffD;
  bool all = GetU32(dict, CFSTR("Width numerator"), &wN);
  all &= GetU32(dict, CFSTR("Width denominator"), &wD);
  all &= GetU32(dict, CFSTR("Height numerator"), &hN);
  all &= GetU32(dict, CFSTR("Height denominator"), &hD);
  all &= GetS32(dict, CFSTR("Horizontal Offset numerator"), &xN);
  all &= GetU32(dict, CFSTR("Horizontal Offset denominator"), &xD);
  all &= GetS32(dict, CFSTR("Vertical Offset numerator"), &yN);
  all &= GetU32(dict, CFSTR("Vertical Offset denominator"), &yD);
  clap->cleanApertureWidthN = wN;
  clap->cleanApertureWidthD = wD;
  clap->cleanApertureHeightN = hN;
  clap->cleanApertureHeightD = hD;
  clap->horizOffN = xN;
  clap->horizOffD = xD;
  clap->vertOffN = yN;
  clap->vertOffD = yD;
  return all;
}

// ---- Colours and durations ---------------------------------------------------------------------------------------------

CFDictionaryRef CF_CreateRGBDict(const RGBColor *color) {
  if (color == nullptr) return nullptr;
  PL_CFScoped<CFMutableDictionaryRef> dict(CF_DictCreateMut());
  if (dict.get() == nullptr) return nullptr;
  CF_AddUnsignedToDict(dict, CFSTR("Red"), color->red, 16);
  CF_AddUnsignedToDict(dict, CFSTR("Green"), color->green, 16);
  CF_AddUnsignedToDict(dict, CFSTR("Blue"), color->blue, 16);
  return CFDictionaryCreateCopy(nullptr, dict);
}

Boolean CF_GetRGBFromDict(CFDictionaryRef dict, CFStringRef key, RGBColor *color) {
  if (color == nullptr) return false;
  auto rgb = static_cast<CFDictionaryRef>(DictValue(dict, key, CFDictionaryGetTypeID()));
  if (rgb == nullptr) {
    *color = RGBColor{0, 0, 0};
    return false;
  }
  return CF_GetRGBFromRGBDict(rgb, color);
}

Boolean CF_GetRGBFromRGBDict(CFDictionaryRef rgbDict, RGBColor *color) {
  if (color == nullptr) return false;
  UInt32 v = 0;
  bool any = false;
  if (CF_GetUnsignedFromDict(rgbDict, CFSTR("Red"), &v, 16)) color->red = UInt16(v), any = true;
  if (CF_GetUnsignedFromDict(rgbDict, CFSTR("Green"), &v, 16)) color->green = UInt16(v), any = true;
  if (CF_GetUnsignedFromDict(rgbDict, CFSTR("Blue"), &v, 16)) color->blue = UInt16(v), any = true;
  return any;
}

void CF_AddDurationToDict(CFMutableDictionaryRef dict, CFStringRef key, SInt64 duration) {
  PL_CFScoped<CFMutableDictionaryRef> d(CF_DictCreateMut());
  PL_CFScoped<CFStringRef> text(GL_DurationToCFStr(duration));
  if (d.get() == nullptr || text.get() == nullptr) return;
  CFDictionarySetValue(d, CFSTR("Descr"), text);
  CF_AddSInt64ToDict(d, CFSTR("Value"), duration);
  if (dict != nullptr && key != nullptr) CFDictionarySetValue(dict, key, d);
}

SInt64 CF_GetDurationFromDict(CFDictionaryRef dict, CFStringRef key) {
  SInt64 v = 0;
  CF_GetSInt64FromDict(static_cast<CFDictionaryRef>(DictValue(dict, key, CFDictionaryGetTypeID())),
                       CFSTR("Value"), &v);
  return v;
}

// ---- File references ----------------------------------------------------------------------------------------------------

OSStatus CF_FileToAliasDataRef(const FSRef *file, CFDataRef *data) {
  if (data == nullptr) return paramErr;
  *data = nullptr;
  AliasHandle alias = nullptr;
  OSErr err = FSNewAlias(nullptr, file, &alias);
  if (err != noErr) return err;
  *data = CF_HandleToDataRef(reinterpret_cast<Handle>(alias));
  DisposeHandle(reinterpret_cast<Handle>(alias));
  return *data != nullptr ? noErr : memFullErr;
}

OSStatus CF_AliasDataRefToFile(CFDataRef data, FSRef *file, Boolean *wasChanged) {
  if (file == nullptr) return paramErr;
  std::memset(file, 0, sizeof *file);
  if (wasChanged != nullptr) *wasChanged = false;
  if (TypedValue(data, CFDataGetTypeID()) == nullptr) return fnfErr;
  Handle h = CF_DataRefToHandle(data);
  if (h == nullptr) return memFullErr;
  Boolean changed = false;
  OSErr err = FSResolveAlias(nullptr, reinterpret_cast<AliasHandle>(h), file, &changed);
  DisposeHandle(h);
  if (err != noErr) {
    std::memset(file, 0, sizeof *file);
    return err;
  }
  if (wasChanged != nullptr) *wasChanged = changed;
  return noErr;
}

OSStatus CF_AddFileObjectToDict(CFMutableDictionaryRef dict, CFStringRef key, const FSRef *file) {
  if (dict == nullptr || key == nullptr) return paramErr;
  CFDataRef data = nullptr;
  OSStatus err = CF_FileToAliasDataRef(file, &data);
  if (err != noErr) return err;
  CFDictionarySetValue(dict, key, data);
  CFRelease(data);
  return noErr;
}

OSStatus CF_ResolveAliasInDict(CFDictionaryRef dict, CFStringRef key, FSRef *file, Boolean *wasChanged) {
  return CF_AliasDataRefToFile(static_cast<CFDataRef>(DictValue(dict, key, CFDataGetTypeID())), file, wasChanged);
}

OSStatus CF_UpdateAliasInDict(CFMutableDictionaryRef dict, CFStringRef key, FSRef *file, Boolean *wasChanged) {
  Boolean changed = false;
  OSStatus err = CF_ResolveAliasInDict(dict, key, file, &changed);
  if (wasChanged != nullptr) *wasChanged = changed;
  if (err == noErr && MF_FSRefValid(file) && changed) err = CF_AddFileObjectToDict(dict, key, file);
  return err;
}

// ---- Preferences -------------------------------------------------------------------------------------------------------------

void CF_SaveValueInPrefs(CFStringRef key, CFPropertyListRef value) {
  CFPreferencesSetAppValue(key, value, kCFPreferencesCurrentApplication);
}

void CF_SaveDataInPrefs(CFStringRef key, const void *bytes, size_t size) {
  if (bytes == nullptr && size > 0) return;
  PL_CFScoped<CFDataRef> data(CFDataCreate(nullptr, static_cast<const UInt8 *>(bytes), CFIndex(size)));
  if (data.get() != nullptr) CF_SaveValueInPrefs(key, data);
}

CFPropertyListRef CF_CopyValueFromPrefs(CFStringRef key) {
  return CFPreferencesCopyAppValue(key, kCFPreferencesCurrentApplication);
}

void CF_RemoveValueFromPrefs(CFStringRef key) { CFPreferencesSetAppValue(key, nullptr, kCFPreferencesCurrentApplication); }

Boolean CF_SavePreferencesToDisk() { return CFPreferencesAppSynchronize(kCFPreferencesCurrentApplication); }

CFMutableDictionaryRef CF_CopyOrCreateMutDictFromPrefs(CFStringRef key) {
  CFMutableDictionaryRef dict = CF_CopyMutDictFromPrefs(key);
  return dict != nullptr ? dict : CF_DictCreateMut();
}

CFMutableDictionaryRef CF_CopyMutDictFromPrefs(CFStringRef key) {
  PL_CFScoped<CFPropertyListRef> value(CF_CopyValueFromPrefs(key));
  if (TypedValue(value, CFDictionaryGetTypeID()) == nullptr) return nullptr;
  return CF_DictCreateMutCopy(static_cast<CFDictionaryRef>(value.get()));
}

// ---- Property-list files, bundles and printing ------------------------------------------------------------------------------

OSStatus CF_WritePropertyListToXMLFile(CFPropertyListRef plist, CFURLRef url) {
  PL_CFScoped<CFDataRef> xml(plist != nullptr ? CFPropertyListCreateXMLData(nullptr, plist) : nullptr);
  if (xml.get() == nullptr) return kGL_PropertyListErr;
  SInt32 error = 0;
  CFURLWriteDataAndPropertiesToResource(url, xml, nullptr, &error);
  return error;
}

OSStatus CF_ReadPropertyListFromXMLFile(CFURLRef url, CFPropertyListRef *plist) {
  if (plist == nullptr) return paramErr;
  *plist = nullptr;
  CFDataRef raw = nullptr;
  SInt32 error = 0;
  if (!CFURLCreateDataAndPropertiesFromResource(nullptr, url, &raw, nullptr, nullptr, &error)) {
    if (raw != nullptr) CFRelease(raw);
    return error != 0 ? error : OSStatus(kCFURLUnknownError);
  }
  PL_CFScoped<CFDataRef> data(raw);
  *plist = CFPropertyListCreateFromXMLData(nullptr, data, kCFPropertyListImmutable, nullptr);
  return *plist != nullptr ? OSStatus(noErr) : OSStatus(kGL_PropertyListErr);
}

OSStatus CF_LoadSystemFrameworkByName(CFStringRef name, CFBundleRef *bundle) {
  if (bundle == nullptr || name == nullptr) return paramErr;
  *bundle = nullptr;
  FSRef frameworks;
  OSStatus err = FSFindFolder(kSystemDomain, kFrameworksFolderType, kDontCreateFolder, &frameworks);
  if (err != noErr) return err;
  std::string path;
  err = PL_FSRefMakePathString(&frameworks, &path);
  if (err != noErr) return err;
  PL_CFScoped<CFURLRef> folder(PL_CFURLCreateWithPath(path, true));
  PL_CFScoped<CFStringRef> fullName(CF_StringCreateWithFormat(CFSTR("%@.framework"), name));
  PL_CFScoped<CFURLRef> url(folder.get() != nullptr && fullName.get() != nullptr
                                ? CFURLCreateCopyAppendingPathComponent(nullptr, folder, fullName, true)
                                : nullptr);
  if (url.get() == nullptr) return kGL_BundleResourceNotFoundErr;
  *bundle = CFBundleCreate(nullptr, url);
  return *bundle != nullptr ? OSStatus(noErr) : OSStatus(kGL_BundleLoadErr);
}

OSStatus CF_GetNamedFileInAppBundle(CFStringRef fileName, FSRef *file) {
  if (file == nullptr || fileName == nullptr) return paramErr;
  PL_CFScoped<CFURLRef> url(CFBundleCopyResourceURL(CFBundleGetMainBundle(), fileName, nullptr, nullptr));
  if (url.get() == nullptr) return fnfErr;
  const std::string path = PL_CFURLGetPath(url);
  if (path.empty()) return fnfErr;
  return FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), file, nullptr) == noErr ? noErr : fnfErr;
}

void CF_CF_PrintWithTimeVA(CFStringRef format, PL_FormatArgList args) {
  if (format == nullptr) return;
  PL_CFScoped<CFStringRef> message(CFStringCreateWithFormatAndArguments(nullptr, nullptr, format, args));
  std::tm tm{};
  LocalNow(&tm);
  PL_CFScoped<CFStringRef> line(
      CF_StringCreateWithFormat(CFSTR("%02d:%02d:%02d %@"), tm.tm_hour, tm.tm_min, tm.tm_sec, message.get()));
  PrintLine(UTF8Of(line));
}

void CF_PrintDateNew() {
  std::tm tm{};
  LocalNow(&tm);
  PrintLine(PL_Format("Date = %04d-%02d-%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday));
}

void CF_PrintTimeNew() {
  std::tm tm{};
  LocalNow(&tm);
  PrintLine(PL_Format("Time = %02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec));
}
