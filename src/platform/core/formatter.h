// The one type-safe formatter of the system: printf directives plus "%@" for CF values, serving
// CFStringCreateWithFormat, text buffers and the trace lines on standard output.
//
// Each argument is captured with its real type, so a directive never reads memory that was not passed:
// - integers print at their own width whatever the length modifier says ("%ld" of an SInt32 is fine, since
//   long is 64-bit here); "hh" and "h" cut the value to 8 and 16 bits as printf does; "%u"/"%x" of a negative
//   number show its two's complement at the argument's width (at least 32 bits);
// - "%@" inserts a CFString's text or another CF value's description; "%s" takes C strings (UTF-8, a byte
//   that is not UTF-8 is read as Mac Roman) and CFStrings; "%S" takes UniChar strings; "%c" a byte and "%C"
//   a UniChar; "%p" any pointer; floats print with printf's rules and integers are accepted for them;
// - positional arguments ("%1$@", "%2$*1$d") and "*" widths and precisions are supported;
// - a wrong argument type shows a marker such as "%!d(string)", a missing one "%!d(missing)", and "%n"
//   writes nothing ("%!n(unsupported)"). Nothing is undefined behaviour.
// Width and precision of text count UTF-16 units. Numbers use the "C" conventions (decimal point).
#pragma once

#include "platform/core/cf_base.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>

enum class PL_FormatArgKind : UInt8 {
  kMissing,
  kSigned,
  kUnsigned,
  kFloat,
  kCString,   // zero-terminated bytes
  kUniChars,  // zero-terminated UTF-16 units
  kText,      // bytes with a length (std::string, std::string_view)
  kPointer,
  kCFObject,
};

// One captured argument.
struct PL_FormatArg {
  PL_FormatArgKind kind = PL_FormatArgKind::kMissing;
  UInt8 bits = 0;  // width of integers
  union {
    SInt64 i;
    UInt64 u;
    double d;
    const char *s;
    const UniChar *us;
    const void *p;
  };
  size_t length = 0;  // of kText
  PL_FormatArg() : i(0) {}
};

// The stand-in of a va_list: the captured arguments of one call.
struct PL_FormatArgList {
  const PL_FormatArg *args;
  size_t count;
};

template <class T>
PL_FormatArg PL_MakeFormatArg(const T &value) {
  using D = std::remove_cv_t<T>;
  PL_FormatArg a;
  if constexpr (std::is_array_v<D>) {
    return PL_MakeFormatArg(static_cast<const std::remove_extent_t<D> *>(value));
  } else if constexpr (std::is_same_v<D, bool>) {
    a.kind = PL_FormatArgKind::kSigned;
    a.bits = 32;
    a.i = value ? 1 : 0;
  } else if constexpr (std::is_enum_v<D>) {
    return PL_MakeFormatArg(static_cast<std::underlying_type_t<D>>(value));
  } else if constexpr (std::is_integral_v<D>) {
    a.bits = UInt8(sizeof(D) * 8);
    if constexpr (std::is_signed_v<D>) {
      a.kind = PL_FormatArgKind::kSigned;
      a.i = SInt64(value);
    } else {
      a.kind = PL_FormatArgKind::kUnsigned;
      a.u = UInt64(value);
    }
  } else if constexpr (std::is_floating_point_v<D>) {
    a.kind = PL_FormatArgKind::kFloat;
    a.d = double(value);
  } else if constexpr (std::is_same_v<D, std::nullptr_t>) {
    a.kind = PL_FormatArgKind::kPointer;
    a.p = nullptr;
  } else if constexpr (std::is_pointer_v<D>) {
    using P = std::remove_cv_t<std::remove_pointer_t<D>>;
    if constexpr (std::is_same_v<P, char> || std::is_same_v<P, signed char> || std::is_same_v<P, unsigned char>) {
      a.kind = PL_FormatArgKind::kCString;
      a.s = reinterpret_cast<const char *>(value);
    } else if constexpr (std::is_same_v<P, char16_t> || std::is_same_v<P, UniChar>) {
      a.kind = PL_FormatArgKind::kUniChars;
      a.us = reinterpret_cast<const UniChar *>(value);
    } else if constexpr (PL_IsCFObjectType<P>::value) {
      a.kind = PL_FormatArgKind::kCFObject;
      a.p = static_cast<const void *>(value);
    } else if constexpr (std::is_function_v<P>) {
      a.kind = PL_FormatArgKind::kPointer;
      a.p = reinterpret_cast<const void *>(value);
    } else {
      a.kind = PL_FormatArgKind::kPointer;
      a.p = static_cast<const void *>(value);
    }
  } else if constexpr (std::is_convertible_v<const D &, std::string_view>) {
    const std::string_view sv = value;
    a.kind = PL_FormatArgKind::kText;
    a.s = sv.data();
    a.length = sv.size();
  } else {
    static_assert(sizeof(D) == 0, "this type cannot be formatted");
  }
  return a;
}

// The formatter itself, on UTF-16 and on UTF-8 formats.
std::u16string PL_FormatUTF16(std::u16string_view format, PL_FormatArgList args);
std::string PL_FormatUTF8(std::string_view format, PL_FormatArgList args);

// Formats into a std::string (UTF-8).
template <class... A>
std::string PL_Format(const char *format, const A &...args) {
  const PL_FormatArg list[sizeof...(A) + 1] = {PL_MakeFormatArg(args)..., PL_FormatArg()};
  return PL_FormatUTF8(format != nullptr ? format : "", PL_FormatArgList{list, sizeof...(A)});
}

// Writes the formatted text to standard output (UTF-8) and flushes it, so trace lines of several tasks
// stay whole and in order. Returns the number of bytes written.
int PL_VPrintf(const char *format, PL_FormatArgList args);
template <class... A>
int PL_Printf(const char *format, const A &...args) {
  const PL_FormatArg list[sizeof...(A) + 1] = {PL_MakeFormatArg(args)..., PL_FormatArg()};
  return PL_VPrintf(format, PL_FormatArgList{list, sizeof...(A)});
}

// As snprintf: writes at most size - 1 bytes and a terminator (cut at a whole UTF-8 character) and returns
// the length of the whole text.
int PL_VSNPrintf(char *buffer, size_t size, const char *format, PL_FormatArgList args);
template <class... A>
int PL_SNPrintf(char *buffer, size_t size, const char *format, const A &...args) {
  const PL_FormatArg list[sizeof...(A) + 1] = {PL_MakeFormatArg(args)..., PL_FormatArg()};
  return PL_VSNPrintf(buffer, size, format, PL_FormatArgList{list, sizeof...(A)});
}

// CoreFoundation's formatting calls. Format options are accepted and ignored. Owned results; NULL for a
// NULL format.
CFStringRef CFStringCreateWithFormatAndArguments(CFAllocatorRef alloc, CFDictionaryRef formatOptions,
                                                 CFStringRef format, PL_FormatArgList arguments);
template <class... A>
CFStringRef CFStringCreateWithFormat(CFAllocatorRef alloc, CFDictionaryRef formatOptions, CFStringRef format,
                                     const A &...args) {
  const PL_FormatArg list[sizeof...(A) + 1] = {PL_MakeFormatArg(args)..., PL_FormatArg()};
  return CFStringCreateWithFormatAndArguments(alloc, formatOptions, format, PL_FormatArgList{list, sizeof...(A)});
}
void CFStringAppendFormatAndArguments(CFMutableStringRef theString, CFDictionaryRef formatOptions, CFStringRef format,
                                      PL_FormatArgList arguments);
template <class... A>
void CFStringAppendFormat(CFMutableStringRef theString, CFDictionaryRef formatOptions, CFStringRef format,
                          const A &...args) {
  const PL_FormatArg list[sizeof...(A) + 1] = {PL_MakeFormatArg(args)..., PL_FormatArg()};
  CFStringAppendFormatAndArguments(theString, formatOptions, format, PL_FormatArgList{list, sizeof...(A)});
}
