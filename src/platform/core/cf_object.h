// Inside the CoreFoundation stand-in: the object layout every CF value shares, and the text helpers the
// CF modules use among themselves. Only the platform's CF modules include this header; everything else
// uses the public cf_*.h headers.
#pragma once

#include "platform/core/cf_base.h"

#include <atomic>
#include <string>
#include <string_view>

enum : CFTypeID {
  kPL_CFTypeIDString = 7,
  kPL_CFTypeIDNumber = 22,
  kPL_CFTypeIDBoolean = 21,
  kPL_CFTypeIDArray = 19,
  kPL_CFTypeIDDictionary = 18,
  kPL_CFTypeIDData = 20,
  kPL_CFTypeIDDate = 42,
  kPL_CFTypeIDURL = 29,
  kPL_CFTypeIDError = 36,
  kPL_CFTypeIDBundle = 31,
  kPL_CFTypeIDTimeZone = 43,
  kPL_CFTypeIDLocale = 44,
  kPL_CFTypeIDDateFormatter = 45,
  kPL_CFTypeIDNull = 16,
  // Quartz and HIToolbox values.
  kPL_CFTypeIDCGImage = 38,
  kPL_CFTypeIDCGDataProvider = 46,
  kPL_CFTypeIDCGColorSpace = 47,
  kPL_CFTypeIDCGColor = 48,
  kPL_CFTypeIDCGContext = 49,
  kPL_CFTypeIDHIShape = 50,
  kPL_CFTypeIDCGImageSource = 51,
};

// Every CF value derives from this record; the CF reference is the address of the value itself.
struct PL_CFObject {
  explicit PL_CFObject(CFTypeID id) : typeID(id) {}
  virtual ~PL_CFObject() = default;
  PL_CFObject(const PL_CFObject &) = delete;
  PL_CFObject &operator=(const PL_CFObject &) = delete;

  // Called only with another value of the same type id.
  virtual bool Equal(const PL_CFObject &other) const { return this == &other; }
  virtual CFHashCode Hash() const { return CFHashCode(reinterpret_cast<uintptr_t>(this) >> 4); }
  // The text of CFCopyDescription and of "%@" (UTF-16).
  virtual std::u16string Describe() const;

  const CFTypeID typeID;
  std::atomic<CFIndex> retainCount{1};
  // Constants are never freed.
  bool constant = false;
};

// The object behind a reference, or NULL.
inline const PL_CFObject *PL_CFObjectOf(CFTypeRef cf) { return static_cast<const PL_CFObject *>(cf); }
inline PL_CFObject *PL_CFMutableObjectOf(CFTypeRef cf) {
  return const_cast<PL_CFObject *>(static_cast<const PL_CFObject *>(cf));
}
// True when `cf` is a non-NULL value of the given type.
inline bool PL_CFIsType(CFTypeRef cf, CFTypeID id) { return cf != nullptr && PL_CFObjectOf(cf)->typeID == id; }

// Text helpers shared by the CF modules (UTF-8 <-> UTF-16).
// Strict decoding: false for malformed UTF-8.
bool PL_DecodeUTF8(std::string_view bytes, std::u16string *out);
// Lenient decoding for texts that come from anywhere (formatter "%s", trace): a byte that does not start a
// well-formed UTF-8 sequence is read as Mac Roman, so old single-byte texts still show.
std::u16string PL_DecodeUTF8Lenient(std::string_view bytes);
// Decoding for names that may come from another system: a byte that does not start a well-formed UTF-8
// sequence becomes U+FFFD.
std::u16string PL_DecodeUTF8WithReplacement(std::string_view bytes);
// Strict encoding: false for a lone surrogate.
bool PL_EncodeUTF8(std::u16string_view text, std::string *out);
// Lenient encoding: a lone surrogate becomes U+FFFD.
std::string PL_EncodeUTF8Lenient(std::u16string_view text);
std::u16string PL_ASCIIToUTF16(std::string_view ascii);
// The Unicode character of a Mac Roman byte.
UniChar PL_MacRomanToUnicode(UInt8 byte);
// The Mac Roman byte of a Unicode character; false when it has none.
bool PL_UnicodeToMacRoman(UniChar ch, UInt8 *byte);

// FNV-1a over UTF-16 units: the hash of strings and of everything keyed by text.
CFHashCode PL_HashUTF16(std::u16string_view text);

// Strings, for the CF modules that read or make them without copying through the public calls.
// The UTF-16 text of a string (empty for NULL).
const std::u16string &PL_CFStringText(CFStringRef str);
// Owned: a new immutable string that takes `text`.
CFStringRef PL_CFStringCreate(std::u16string text);
// Owned: a new string from UTF-8, decoded leniently (see PL_DecodeUTF8Lenient).
CFStringRef PL_CFStringCreateFromUTF8Lenient(std::string_view utf8);
// The string's text as UTF-8, lone surrogates as U+FFFD.
std::string PL_CFStringToUTF8(CFStringRef str);
