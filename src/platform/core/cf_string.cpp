// CoreFoundation stand-in: CFString. The text is a std::u16string; conversions to and from bytes are ours
// (UTF-8, UTF-16, UTF-32, ASCII, Latin-1, Mac Roman); case folding, normalisation, collation and grapheme
// clusters come from ICU.
#include "platform/core/cf_string.h"

#include "platform/core/cf_array.h"
#include "platform/core/cf_object.h"

#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

struct PL_CFString : PL_CFObject {
  explicit PL_CFString(bool mut) : PL_CFObject(kPL_CFTypeIDString), isMutable(mut) {}
  bool Equal(const PL_CFObject &other) const override {
    return text == static_cast<const PL_CFString &>(other).text;
  }
  CFHashCode Hash() const override { return PL_HashUTF16(text); }
  std::u16string Describe() const override { return text; }

  std::u16string text;
  const bool isMutable;
  // The literal of a constant string (for CFStringGetCStringPtr).
  std::string constantUTF8;
  bool constantIsASCII = false;
};

namespace {

const std::u16string kEmpty;

const PL_CFString *Str(CFStringRef s) {
  return PL_CFIsType(s, kPL_CFTypeIDString) ? static_cast<const PL_CFString *>(s) : nullptr;
}
PL_CFString *MutStr(CFMutableStringRef s) {
  return PL_CFIsType(s, kPL_CFTypeIDString) && s->isMutable ? s : nullptr;
}

CFStringRef MakeString(std::u16string text) {
  auto *s = new PL_CFString(false);
  s->text = std::move(text);
  return s;
}

const UChar *U(const char16_t *p) { return reinterpret_cast<const UChar *>(p); }
UChar *U(char16_t *p) { return reinterpret_cast<UChar *>(p); }

// A range inside a string of `length` units, clamped; false when it starts outside.
bool ClampRange(CFRange range, size_t length, size_t *start, size_t *count) {
  if (range.location < 0 || range.length < 0 || size_t(range.location) > length) return false;
  *start = size_t(range.location);
  *count = std::min(size_t(range.length), length - *start);
  return true;
}

bool IsUTF16Family(CFStringEncoding e) {
  return e == kCFStringEncodingUTF16 || e == kCFStringEncodingUTF16BE || e == kCFStringEncodingUTF16LE;
}
bool IsUTF32Family(CFStringEncoding e) {
  return e == kCFStringEncodingUTF32 || e == kCFStringEncodingUTF32BE || e == kCFStringEncodingUTF32LE;
}
bool IsSingleByte(CFStringEncoding e) {
  return e == kCFStringEncodingMacRoman || e == kCFStringEncodingASCII || e == kCFStringEncodingISOLatin1 ||
         e == kCFStringEncodingWindowsLatin1;
}

// Windows Latin-1 differs from ISO Latin-1 in 0x80..0x9F.
constexpr UniChar kWindows1252[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The character of one byte; false when the byte has none.
bool DecodeSingleByte(UInt8 b, CFStringEncoding e, UniChar *ch) {
  switch (e) {
    case kCFStringEncodingMacRoman: *ch = PL_MacRomanToUnicode(b); return true;
    case kCFStringEncodingASCII:
      *ch = b;
      return b < 0x80;
    case kCFStringEncodingISOLatin1: *ch = b; return true;
    case kCFStringEncodingWindowsLatin1:
      if (b >= 0x80 && b < 0xA0) {
        *ch = kWindows1252[b - 0x80];
        return *ch != 0;
      }
      *ch = b;
      return true;
    default: return false;
  }
}

bool EncodeSingleByte(UniChar ch, CFStringEncoding e, UInt8 *b) {
  switch (e) {
    case kCFStringEncodingMacRoman: return PL_UnicodeToMacRoman(ch, b);
    case kCFStringEncodingASCII:
      *b = UInt8(ch);
      return ch < 0x80;
    case kCFStringEncodingISOLatin1:
      *b = UInt8(ch);
      return ch < 0x100;
    case kCFStringEncodingWindowsLatin1:
      if (ch < 0x80 || (ch >= 0xA0 && ch < 0x100)) {
        *b = UInt8(ch);
        return true;
      }
      for (int i = 0; i < 32; ++i) {
        if (kWindows1252[i] != 0 && kWindows1252[i] == ch) {
          *b = UInt8(0x80 + i);
          return true;
        }
      }
      return false;
    default: return false;
  }
}

bool DecodeBytes(const UInt8 *bytes, size_t n, CFStringEncoding e, bool external, std::u16string *out) {
  out->clear();
  if (n > 0 && bytes == nullptr) return false;
  if (e == kCFStringEncodingUTF8) {
    std::string_view sv(reinterpret_cast<const char *>(bytes), n);
    // A byte-order mark is not part of the text.
    if (sv.size() >= 3 && sv.substr(0, 3) == "\xEF\xBB\xBF") sv.remove_prefix(3);
    return PL_DecodeUTF8(sv, out);
  }
  if (IsSingleByte(e)) {
    out->reserve(n);
    for (size_t i = 0; i < n; ++i) {
      UniChar ch;
      if (!DecodeSingleByte(bytes[i], e, &ch)) return false;
      out->push_back(char16_t(ch));
    }
    return true;
  }
  if (IsUTF16Family(e)) {
    if (n % 2 != 0) return false;
    bool big = e == kCFStringEncodingUTF16BE;
    size_t i = 0;
    if (e == kCFStringEncodingUTF16 && n >= 2) {
      if (bytes[0] == 0xFE && bytes[1] == 0xFF) {
        big = true;
        i = 2;
      } else if (bytes[0] == 0xFF && bytes[1] == 0xFE) {
        i = 2;
      } else if (external) {
        big = true;  // an external representation without a mark is big-endian
      }
    }
    for (; i < n; i += 2) {
      UInt16 u = big ? UInt16((bytes[i] << 8) | bytes[i + 1]) : UInt16(bytes[i] | (bytes[i + 1] << 8));
      out->push_back(char16_t(u));
    }
    return true;
  }
  if (IsUTF32Family(e)) {
    if (n % 4 != 0) return false;
    bool big = e == kCFStringEncodingUTF32BE;
    size_t i = 0;
    if (e == kCFStringEncodingUTF32 && n >= 4) {
      if (bytes[0] == 0 && bytes[1] == 0 && bytes[2] == 0xFE && bytes[3] == 0xFF) {
        big = true;
        i = 4;
      } else if (bytes[0] == 0xFF && bytes[1] == 0xFE && bytes[2] == 0 && bytes[3] == 0) {
        i = 4;
      } else if (external) {
        big = true;
      }
    }
    for (; i < n; i += 4) {
      UInt32 cp = big ? (UInt32(bytes[i]) << 24) | (UInt32(bytes[i + 1]) << 16) | (UInt32(bytes[i + 2]) << 8) |
                            bytes[i + 3]
                      : (UInt32(bytes[i + 3]) << 24) | (UInt32(bytes[i + 2]) << 16) | (UInt32(bytes[i + 1]) << 8) |
                            bytes[i];
      if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
      if (cp < 0x10000) {
        out->push_back(char16_t(cp));
      } else {
        cp -= 0x10000;
        out->push_back(char16_t(0xD800 + (cp >> 10)));
        out->push_back(char16_t(0xDC00 + (cp & 0x3FF)));
      }
    }
    return true;
  }
  return false;
}

// The code point at text[i] and how many units it takes (a lone surrogate is returned as itself).
UInt32 CodePointAt(std::u16string_view text, size_t i, size_t *units) {
  UInt32 c = text[i];
  if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
    *units = 2;
    return 0x10000 + ((c - 0xD800) << 10) + (UInt32(text[i + 1]) - 0xDC00);
  }
  *units = 1;
  return c;
}

bool IsLoneSurrogate(UInt32 cp) { return cp >= 0xD800 && cp <= 0xDFFF; }

// Bytes of one code point in `e`; 0 when it has none. `out` holds at least 4 bytes.
size_t EncodeCodePoint(UInt32 cp, CFStringEncoding e, UInt8 *out) {
  if (e == kCFStringEncodingUTF8) {
    if (IsLoneSurrogate(cp)) return 0;
    if (cp < 0x80) {
      out[0] = UInt8(cp);
      return 1;
    }
    if (cp < 0x800) {
      out[0] = UInt8(0xC0 | (cp >> 6));
      out[1] = UInt8(0x80 | (cp & 0x3F));
      return 2;
    }
    if (cp < 0x10000) {
      out[0] = UInt8(0xE0 | (cp >> 12));
      out[1] = UInt8(0x80 | ((cp >> 6) & 0x3F));
      out[2] = UInt8(0x80 | (cp & 0x3F));
      return 3;
    }
    out[0] = UInt8(0xF0 | (cp >> 18));
    out[1] = UInt8(0x80 | ((cp >> 12) & 0x3F));
    out[2] = UInt8(0x80 | ((cp >> 6) & 0x3F));
    out[3] = UInt8(0x80 | (cp & 0x3F));
    return 4;
  }
  if (IsSingleByte(e)) {
    if (cp > 0xFFFF) return 0;
    return EncodeSingleByte(UniChar(cp), e, out) ? 1 : 0;
  }
  if (IsUTF16Family(e)) {
    const bool big = e == kCFStringEncodingUTF16BE;
    UInt16 units[2];
    size_t n = 1;
    if (cp < 0x10000) {
      units[0] = UInt16(cp);
    } else {
      units[0] = UInt16(0xD800 + ((cp - 0x10000) >> 10));
      units[1] = UInt16(0xDC00 + ((cp - 0x10000) & 0x3FF));
      n = 2;
    }
    for (size_t k = 0; k < n; ++k) {
      out[2 * k] = big ? UInt8(units[k] >> 8) : UInt8(units[k]);
      out[2 * k + 1] = big ? UInt8(units[k]) : UInt8(units[k] >> 8);
    }
    return 2 * n;
  }
  if (IsUTF32Family(e)) {
    if (IsLoneSurrogate(cp)) return 0;
    const bool big = e == kCFStringEncodingUTF32BE;
    for (int k = 0; k < 4; ++k) out[k] = big ? UInt8(cp >> (24 - 8 * k)) : UInt8(cp >> (8 * k));
    return 4;
  }
  return 0;
}

// Strict conversion of a whole text; false when a character does not convert or the encoding is unknown.
bool EncodeText(std::u16string_view text, CFStringEncoding e, std::string *out) {
  out->clear();
  out->reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    size_t units;
    UInt32 cp = CodePointAt(text, i, &units);
    UInt8 buf[8];
    size_t n = EncodeCodePoint(cp, e, buf);
    if (n == 0) return false;
    out->append(reinterpret_cast<const char *>(buf), n);
    i += units;
  }
  return true;
}

// ---- comparison helpers ----

std::u16string Normalize(std::u16string_view text, CFStringNormalizationForm form) {
  UErrorCode status = U_ZERO_ERROR;
  const UNormalizer2 *norm = nullptr;
  switch (form) {
    case kCFStringNormalizationFormD: norm = unorm2_getNFDInstance(&status); break;
    case kCFStringNormalizationFormKD: norm = unorm2_getNFKDInstance(&status); break;
    case kCFStringNormalizationFormC: norm = unorm2_getNFCInstance(&status); break;
    case kCFStringNormalizationFormKC: norm = unorm2_getNFKCInstance(&status); break;
    default: return std::u16string(text);
  }
  if (U_FAILURE(status) || norm == nullptr) return std::u16string(text);
  std::u16string out(text.size() * 3 + 16, u'\0');
  int32_t n = unorm2_normalize(norm, U(text.data()), int32_t(text.size()), U(out.data()), int32_t(out.size()),
                               &status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    status = U_ZERO_ERROR;
    out.assign(size_t(n), u'\0');
    n = unorm2_normalize(norm, U(text.data()), int32_t(text.size()), U(out.data()), int32_t(out.size()), &status);
  }
  if (U_FAILURE(status)) return std::u16string(text);
  out.resize(size_t(n));
  return out;
}

std::u16string FoldCase(std::u16string_view text) {
  UErrorCode status = U_ZERO_ERROR;
  std::u16string out(text.size() * 3 + 16, u'\0');
  int32_t n = u_strFoldCase(U(out.data()), int32_t(out.size()), U(text.data()), int32_t(text.size()),
                            U_FOLD_CASE_DEFAULT, &status);
  if (U_FAILURE(status)) return std::u16string(text);
  out.resize(size_t(n));
  return out;
}

std::u16string StripMarks(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    size_t units;
    UInt32 cp = CodePointAt(text, i, &units);
    if (u_charType(UChar32(cp)) != U_NON_SPACING_MARK) out.append(text.substr(i, units));
    i += units;
  }
  return out;
}

// The forms two texts take before a literal comparison, according to the options.
std::u16string PrepareForCompare(std::u16string_view text, CFStringCompareFlags options) {
  std::u16string t(text);
  if (options & kCFCompareWidthInsensitive) t = Normalize(t, kCFStringNormalizationFormKD);
  if (options & (kCFCompareNonliteral | kCFCompareDiacriticInsensitive)) t = Normalize(t, kCFStringNormalizationFormD);
  if (options & kCFCompareDiacriticInsensitive) t = StripMarks(t);
  if (options & kCFCompareCaseInsensitive) t = FoldCase(t);
  return t;
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }


// Literal comparison by UTF-16 units, with digit runs compared by value when `numeric`.
CFComparisonResult CompareUnits(std::u16string_view a, std::u16string_view b, bool numeric) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (numeric && IsDigit(a[i]) && IsDigit(b[j])) {
      size_t ie = i;
      size_t je = j;
      while (ie < a.size() && IsDigit(a[ie])) ++ie;
      while (je < b.size() && IsDigit(b[je])) ++je;
      size_t is = i;
      size_t js = j;
      while (is + 1 < ie && a[is] == u'0') ++is;
      while (js + 1 < je && b[js] == u'0') ++js;
      if (ie - is != je - js) return (ie - is) < (je - js) ? kCFCompareLessThan : kCFCompareGreaterThan;
      for (size_t k = 0; k < ie - is; ++k) {
        if (a[is + k] != b[js + k]) return a[is + k] < b[js + k] ? kCFCompareLessThan : kCFCompareGreaterThan;
      }
      i = ie;
      j = je;
      continue;
    }
    if (a[i] != b[j]) return a[i] < b[j] ? kCFCompareLessThan : kCFCompareGreaterThan;
    ++i;
    ++j;
  }
  if (i < a.size()) return kCFCompareGreaterThan;
  if (j < b.size()) return kCFCompareLessThan;
  return kCFCompareEqualTo;
}

CFComparisonResult CompareLocalized(std::u16string_view a, std::u16string_view b, CFStringCompareFlags options) {
  UErrorCode status = U_ZERO_ERROR;
  UCollator *coll = ucol_open("", &status);
  if (U_FAILURE(status)) return CompareUnits(a, b, false);
  UColAttributeValue strength = UCOL_TERTIARY;
  if (options & kCFCompareCaseInsensitive) strength = UCOL_SECONDARY;
  if (options & kCFCompareDiacriticInsensitive) strength = UCOL_PRIMARY;
  ucol_setStrength(coll, strength);
  if (options & kCFCompareNumerically) ucol_setAttribute(coll, UCOL_NUMERIC_COLLATION, UCOL_ON, &status);
  UCollationResult r = ucol_strcoll(coll, U(a.data()), int32_t(a.size()), U(b.data()), int32_t(b.size()));
  ucol_close(coll);
  return r == UCOL_LESS ? kCFCompareLessThan : r == UCOL_GREATER ? kCFCompareGreaterThan : kCFCompareEqualTo;
}

CFComparisonResult CompareTexts(std::u16string_view a, std::u16string_view b, CFStringCompareFlags options) {
  CFComparisonResult r;
  if (options & kCFCompareLocalized) {
    r = CompareLocalized(a, b, options);
  } else {
    r = CompareUnits(PrepareForCompare(a, options), PrepareForCompare(b, options),
                     (options & kCFCompareNumerically) != 0);
  }
  if (r == kCFCompareEqualTo && (options & kCFCompareForcedOrdering)) r = CompareUnits(a, b, false);
  return r;
}

// Simple (length-keeping) case folding of one unit sequence, for searching.
std::u16string SimpleFold(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    size_t units;
    UInt32 cp = CodePointAt(text, i, &units);
    UInt32 f = UInt32(u_foldCase(UChar32(cp), U_FOLD_CASE_DEFAULT));
    // Keep the unit count so that found ranges map back onto the original text.
    if ((f < 0x10000) != (cp < 0x10000)) f = cp;
    if (f < 0x10000) {
      out.push_back(char16_t(f));
    } else {
      out.push_back(char16_t(0xD800 + ((f - 0x10000) >> 10)));
      out.push_back(char16_t(0xDC00 + ((f - 0x10000) & 0x3FF)));
    }
    i += units;
  }
  return out;
}

// Finds `needle` in text[start, start + count); the search honours case-insensitivity, direction and anchoring.
bool FindIn(std::u16string_view text, std::u16string_view needle, size_t start, size_t count,
            CFStringCompareFlags options, CFRange *result) {
  if (needle.empty() || needle.size() > count) return false;
  std::u16string hay(text.substr(start, count));
  std::u16string pat(needle);
  if (options & kCFCompareCaseInsensitive) {
    hay = SimpleFold(hay);
    pat = SimpleFold(pat);
  }
  const size_t last = count - pat.size();
  const bool backwards = (options & kCFCompareBackwards) != 0;
  const bool anchored = (options & kCFCompareAnchored) != 0;
  auto matchesAt = [&](size_t p) { return std::u16string_view(hay).substr(p, pat.size()) == pat; };
  size_t found = SIZE_MAX;
  if (anchored) {
    size_t p = backwards ? last : 0;
    if (matchesAt(p)) found = p;
  } else if (backwards) {
    size_t p = hay.rfind(pat);
    if (p != std::u16string::npos) found = p;
  } else {
    size_t p = hay.find(pat);
    if (p != std::u16string::npos) found = p;
  }
  if (found == SIZE_MAX) return false;
  if (result != nullptr) *result = CFRangeMake(CFIndex(start + found), CFIndex(pat.size()));
  return true;
}

std::mutex &ConstantsMutex() {
  static std::mutex m;
  return m;
}
std::unordered_map<std::string, PL_CFString *> &Constants() {
  static auto *table = new std::unordered_map<std::string, PL_CFString *>();
  return *table;
}

bool IsWhite(UInt32 cp) { return u_isUWhiteSpace(UChar32(cp)); }

}  // namespace

// ---- shared helpers ----

const std::u16string &PL_CFStringText(CFStringRef str) {
  const PL_CFString *s = Str(str);
  return s != nullptr ? s->text : kEmpty;
}

CFStringRef PL_CFStringCreate(std::u16string text) { return MakeString(std::move(text)); }

CFStringRef PL_CFStringCreateFromUTF8Lenient(std::string_view utf8) {
  return MakeString(PL_DecodeUTF8Lenient(utf8));
}

std::string PL_CFStringToUTF8(CFStringRef str) { return PL_EncodeUTF8Lenient(PL_CFStringText(str)); }

CFTypeID CFStringGetTypeID() { return kPL_CFTypeIDString; }

CFStringRef PL_CFStringMakeConstant(const char *utf8) {
  std::string key = utf8 != nullptr ? utf8 : "";
  std::lock_guard<std::mutex> lock(ConstantsMutex());
  auto it = Constants().find(key);
  if (it != Constants().end()) return it->second;
  auto *s = new PL_CFString(false);
  s->constant = true;
  s->text = PL_DecodeUTF8Lenient(key);
  s->constantUTF8 = key;
  s->constantIsASCII = std::all_of(key.begin(), key.end(), [](char c) { return UInt8(c) < 0x80; });
  Constants().emplace(key, s);
  return s;
}

// ---- creation ----

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char *cStr, CFStringEncoding encoding) {
  if (cStr == nullptr) return nullptr;
  std::u16string text;
  if (!DecodeBytes(reinterpret_cast<const UInt8 *>(cStr), std::strlen(cStr), encoding, false, &text)) return nullptr;
  return MakeString(std::move(text));
}

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const UInt8 *bytes, CFIndex numBytes, CFStringEncoding encoding,
                                    Boolean isExternalRepresentation) {
  if (numBytes < 0) return nullptr;
  std::u16string text;
  if (!DecodeBytes(bytes, size_t(numBytes), encoding, isExternalRepresentation, &text)) return nullptr;
  return MakeString(std::move(text));
}

CFStringRef CFStringCreateWithCharacters(CFAllocatorRef, const UniChar *chars, CFIndex numChars) {
  if (numChars < 0 || (numChars > 0 && chars == nullptr)) return nullptr;
  return MakeString(std::u16string(reinterpret_cast<const char16_t *>(chars), size_t(numChars)));
}

CFStringRef CFStringCreateWithCharactersNoCopy(CFAllocatorRef alloc, const UniChar *chars, CFIndex numChars,
                                               CFAllocatorRef contentsDeallocator) {
  CFStringRef s = CFStringCreateWithCharacters(alloc, chars, numChars);
  if (s != nullptr && contentsDeallocator != kCFAllocatorNull) std::free(const_cast<UniChar *>(chars));
  return s;
}

CFStringRef CFStringCreateWithPascalString(CFAllocatorRef alloc, ConstStr255Param pStr, CFStringEncoding encoding) {
  if (pStr == nullptr) return nullptr;
  return CFStringCreateWithBytes(alloc, pStr + 1, pStr[0], encoding, false);
}

CFStringRef CFStringCreateWithSubstring(CFAllocatorRef, CFStringRef str, CFRange range) {
  const PL_CFString *s = Str(str);
  size_t start;
  size_t count;
  if (s == nullptr || !ClampRange(range, s->text.size(), &start, &count)) return nullptr;
  return MakeString(s->text.substr(start, count));
}

CFStringRef CFStringCreateCopy(CFAllocatorRef, CFStringRef theString) {
  const PL_CFString *s = Str(theString);
  if (s == nullptr) return nullptr;
  // Immutable strings never change, so a copy may share them.
  if (!s->isMutable) return static_cast<CFStringRef>(CFRetain(s));
  return MakeString(s->text);
}

CFMutableStringRef CFStringCreateMutable(CFAllocatorRef, CFIndex) { return new PL_CFString(true); }

CFMutableStringRef CFStringCreateMutableCopy(CFAllocatorRef, CFIndex, CFStringRef theString) {
  auto *s = new PL_CFString(true);
  s->text = PL_CFStringText(theString);
  return s;
}

CFArrayRef CFStringCreateArrayBySeparatingStrings(CFAllocatorRef alloc, CFStringRef theString,
                                                  CFStringRef separatorString) {
  const PL_CFString *s = Str(theString);
  if (s == nullptr) return nullptr;
  const std::u16string &sep = PL_CFStringText(separatorString);
  CFMutableArrayRef array = CFArrayCreateMutable(alloc, 0, &kCFTypeArrayCallBacks);
  size_t pos = 0;
  while (true) {
    size_t next = sep.empty() ? std::u16string::npos : s->text.find(sep, pos);
    PL_CFScoped<CFStringRef> part(MakeString(s->text.substr(pos, next == std::u16string::npos ? next : next - pos)));
    CFArrayAppendValue(array, part);
    if (next == std::u16string::npos) break;
    pos = next + sep.size();
  }
  return array;
}

CFStringRef CFStringCreateByCombiningStrings(CFAllocatorRef, CFArrayRef theArray, CFStringRef separatorString) {
  std::u16string out;
  const std::u16string &sep = PL_CFStringText(separatorString);
  const CFIndex n = CFArrayGetCount(theArray);
  for (CFIndex i = 0; i < n; ++i) {
    if (i > 0) out += sep;
    out += PL_CFStringText(static_cast<CFStringRef>(CFArrayGetValueAtIndex(theArray, i)));
  }
  return MakeString(std::move(out));
}

// ---- access ----

CFIndex CFStringGetLength(CFStringRef theString) { return CFIndex(PL_CFStringText(theString).size()); }

UniChar CFStringGetCharacterAtIndex(CFStringRef theString, CFIndex idx) {
  const std::u16string &t = PL_CFStringText(theString);
  if (idx < 0 || size_t(idx) >= t.size()) return 0;
  return UniChar(t[size_t(idx)]);
}

void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar *buffer) {
  const std::u16string &t = PL_CFStringText(theString);
  size_t start;
  size_t count;
  if (buffer == nullptr || !ClampRange(range, t.size(), &start, &count)) return;
  std::memcpy(buffer, t.data() + start, count * sizeof(UniChar));
}

const UniChar *CFStringGetCharactersPtr(CFStringRef theString) {
  const PL_CFString *s = Str(theString);
  if (s == nullptr || s->isMutable) return nullptr;
  return reinterpret_cast<const UniChar *>(s->text.data());
}

const char *CFStringGetCStringPtr(CFStringRef theString, CFStringEncoding encoding) {
  const PL_CFString *s = Str(theString);
  if (s == nullptr || !s->constant) return nullptr;
  if (encoding == kCFStringEncodingUTF8) return s->constantUTF8.c_str();
  if (s->constantIsASCII && (encoding == kCFStringEncodingASCII || encoding == kCFStringEncodingMacRoman ||
                             encoding == kCFStringEncodingISOLatin1 || encoding == kCFStringEncodingWindowsLatin1)) {
    return s->constantUTF8.c_str();
  }
  return nullptr;
}

Boolean CFStringGetCString(CFStringRef theString, char *buffer, CFIndex bufferSize, CFStringEncoding encoding) {
  if (buffer == nullptr || bufferSize <= 0) return false;
  buffer[0] = 0;
  const PL_CFString *s = Str(theString);
  if (s == nullptr) return false;
  std::string bytes;
  if (!EncodeText(s->text, encoding, &bytes)) return false;
  if (CFIndex(bytes.size()) + 1 > bufferSize) return false;
  std::memcpy(buffer, bytes.data(), bytes.size());
  buffer[bytes.size()] = 0;
  return true;
}

Boolean CFStringGetPascalString(CFStringRef theString, StringPtr buffer, CFIndex bufferSize,
                                CFStringEncoding encoding) {
  if (buffer == nullptr || bufferSize <= 0) return false;
  buffer[0] = 0;
  const PL_CFString *s = Str(theString);
  if (s == nullptr) return false;
  std::string bytes;
  if (!EncodeText(s->text, encoding, &bytes)) return false;
  if (bytes.size() > 255 || CFIndex(bytes.size()) + 1 > bufferSize) return false;
  buffer[0] = UInt8(bytes.size());
  std::memcpy(buffer + 1, bytes.data(), bytes.size());
  return true;
}

CFIndex CFStringGetBytes(CFStringRef theString, CFRange range, CFStringEncoding encoding, UInt8 lossByte,
                         Boolean isExternalRepresentation, UInt8 *buffer, CFIndex maxBufLen, CFIndex *usedBufLen) {
  if (usedBufLen != nullptr) *usedBufLen = 0;
  const PL_CFString *s = Str(theString);
  size_t start;
  size_t count;
  if (s == nullptr || !ClampRange(range, s->text.size(), &start, &count)) return 0;
  if (!IsSingleByte(encoding) && encoding != kCFStringEncodingUTF8 && !IsUTF16Family(encoding) &&
      !IsUTF32Family(encoding)) {
    return 0;
  }
  std::u16string_view text(s->text.data() + start, count);
  CFIndex used = 0;
  auto room = [&](size_t n) { return buffer == nullptr || used + CFIndex(n) <= maxBufLen; };
  if (isExternalRepresentation && (encoding == kCFStringEncodingUTF16 || encoding == kCFStringEncodingUTF32)) {
    const UInt8 bom16[2] = {0xFF, 0xFE};
    const UInt8 bom32[4] = {0xFF, 0xFE, 0, 0};
    const size_t n = encoding == kCFStringEncodingUTF16 ? 2 : 4;
    if (!room(n)) return 0;
    if (buffer != nullptr) std::memcpy(buffer, n == 2 ? bom16 : bom32, n);
    used += CFIndex(n);
  }
  size_t i = 0;
  while (i < text.size()) {
    size_t units;
    UInt32 cp = CodePointAt(text, i, &units);
    UInt8 bytes[8];
    size_t n = EncodeCodePoint(cp, encoding, bytes);
    if (n == 0) {
      if (lossByte == 0) break;
      bytes[0] = lossByte;
      n = 1;
    }
    if (!room(n)) break;
    if (buffer != nullptr) std::memcpy(buffer + used, bytes, n);
    used += CFIndex(n);
    i += units;
  }
  if (usedBufLen != nullptr) *usedBufLen = used;
  return CFIndex(i);
}

CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding) {
  if (length < 0) return kCFNotFound;
  CFIndex factor;
  if (IsSingleByte(encoding)) {
    factor = 1;
  } else if (encoding == kCFStringEncodingUTF8) {
    factor = 3;
  } else if (IsUTF16Family(encoding)) {
    factor = 2;
  } else if (IsUTF32Family(encoding)) {
    factor = 4;
  } else if (encoding == kCFStringEncodingNonLossyASCII) {
    factor = 6;
  } else {
    return kCFNotFound;
  }
  if (length > LLONG_MAX / factor) return kCFNotFound;
  return length * factor;
}

CFStringEncoding CFStringGetSystemEncoding() { return kCFStringEncodingUTF8; }

CFStringEncoding CFStringGetFastestEncoding(CFStringRef) { return kCFStringEncodingUnicode; }

Boolean CFStringIsEncodingAvailable(CFStringEncoding encoding) {
  return IsSingleByte(encoding) || encoding == kCFStringEncodingUTF8 || IsUTF16Family(encoding) ||
         IsUTF32Family(encoding);
}

// Bytes of a Linux file name that are not UTF-8 are kept as U+DC80..U+DCFF, so the name converts back unchanged.
Boolean CFStringGetFileSystemRepresentation(CFStringRef string, char *buffer, CFIndex maxBufLen) {
  if (buffer == nullptr || maxBufLen <= 0) return false;
  buffer[0] = 0;
  const PL_CFString *s = Str(string);
  if (s == nullptr) return false;
  std::string out;
  for (size_t i = 0; i < s->text.size();) {
    size_t units;
    UInt32 cp = CodePointAt(s->text, i, &units);
    if (cp >= 0xDC80 && cp <= 0xDCFF) {
      out.push_back(char(cp - 0xDC00));
    } else {
      UInt8 bytes[4];
      size_t n = EncodeCodePoint(cp, kCFStringEncodingUTF8, bytes);
      if (n == 0) return false;
      out.append(reinterpret_cast<const char *>(bytes), n);
    }
    i += units;
  }
  if (CFIndex(out.size()) + 1 > maxBufLen || out.find('\0') != std::string::npos) return false;
  std::memcpy(buffer, out.c_str(), out.size() + 1);
  return true;
}

CFIndex CFStringGetMaximumSizeOfFileSystemRepresentation(CFStringRef string) {
  return CFStringGetLength(string) * 3 + 1;
}

CFStringRef CFStringCreateWithFileSystemRepresentation(CFAllocatorRef, const char *buffer) {
  if (buffer == nullptr) return nullptr;
  std::string_view bytes(buffer);
  std::u16string text;
  text.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    const auto b0 = UInt8(bytes[i]);
    if (b0 < 0x80) {
      text.push_back(char16_t(b0));
      ++i;
      continue;
    }
    // Decode one well-formed sequence at a time; a stray byte is escaped.
    const size_t n = b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC0 ? 2 : 0;
    std::u16string piece;
    if (n > 0 && i + n <= bytes.size() && PL_DecodeUTF8(bytes.substr(i, n), &piece)) {
      text += piece;
      i += n;
    } else {
      text.push_back(char16_t(0xDC00 + b0));
      ++i;
    }
  }
  return MakeString(std::move(text));
}

SInt32 CFStringGetIntValue(CFStringRef str) {
  const std::u16string &t = PL_CFStringText(str);
  size_t i = 0;
  while (i < t.size() && IsWhite(t[i])) ++i;
  bool negative = false;
  if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) negative = t[i++] == u'-';
  SInt64 value = 0;
  while (i < t.size() && IsDigit(t[i])) {
    value = value * 10 + (t[i++] - u'0');
    if (value > SInt64(INT_MAX) + 1) value = SInt64(INT_MAX) + 1;
  }
  if (negative) value = -value;
  return SInt32(std::clamp<SInt64>(value, INT_MIN, INT_MAX));
}

double CFStringGetDoubleValue(CFStringRef str) {
  const std::u16string &t = PL_CFStringText(str);
  size_t i = 0;
  while (i < t.size() && IsWhite(t[i])) ++i;
  std::string ascii;
  bool negative = false;
  if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) negative = t[i++] == u'-';
  while (i < t.size() && t[i] < 0x80 &&
         (IsDigit(t[i]) || t[i] == u'.' || t[i] == u'e' || t[i] == u'E' || t[i] == u'+' || t[i] == u'-' ||
          t[i] == u'i' || t[i] == u'n' || t[i] == u'f' || t[i] == u'a' || t[i] == u'I' || t[i] == u'N' ||
          t[i] == u'F' || t[i] == u'A')) {
    ascii.push_back(char(t[i++]));
  }
  double value = 0.0;
  std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  return negative ? -value : value;
}

// ---- comparison and search ----

CFComparisonResult CFStringCompare(CFStringRef theString1, CFStringRef theString2,
                                   CFStringCompareFlags compareOptions) {
  return CompareTexts(PL_CFStringText(theString1), PL_CFStringText(theString2), compareOptions);
}

CFComparisonResult CFStringCompareWithOptions(CFStringRef theString1, CFStringRef theString2, CFRange rangeToCompare,
                                              CFStringCompareFlags compareOptions) {
  const std::u16string &a = PL_CFStringText(theString1);
  size_t start;
  size_t count;
  if (!ClampRange(rangeToCompare, a.size(), &start, &count)) return kCFCompareLessThan;
  return CompareTexts(std::u16string_view(a).substr(start, count), PL_CFStringText(theString2), compareOptions);
}

CFRange CFStringFind(CFStringRef theString, CFStringRef stringToFind, CFStringCompareFlags compareOptions) {
  CFRange r = CFRangeMake(kCFNotFound, 0);
  const std::u16string &t = PL_CFStringText(theString);
  FindIn(t, PL_CFStringText(stringToFind), 0, t.size(), compareOptions, &r);
  return r;
}

Boolean CFStringFindWithOptions(CFStringRef theString, CFStringRef stringToFind, CFRange rangeToSearch,
                                CFStringCompareFlags searchOptions, CFRange *result) {
  const std::u16string &t = PL_CFStringText(theString);
  size_t start;
  size_t count;
  if (!ClampRange(rangeToSearch, t.size(), &start, &count)) return false;
  return FindIn(t, PL_CFStringText(stringToFind), start, count, searchOptions, result);
}

Boolean CFStringHasPrefix(CFStringRef theString, CFStringRef prefix) {
  const std::u16string &t = PL_CFStringText(theString);
  const std::u16string &p = PL_CFStringText(prefix);
  return !p.empty() && t.size() >= p.size() && t.compare(0, p.size(), p) == 0;
}

Boolean CFStringHasSuffix(CFStringRef theString, CFStringRef suffix) {
  const std::u16string &t = PL_CFStringText(theString);
  const std::u16string &p = PL_CFStringText(suffix);
  return !p.empty() && t.size() >= p.size() && t.compare(t.size() - p.size(), p.size(), p) == 0;
}

CFRange CFStringGetRangeOfComposedCharactersAtIndex(CFStringRef theString, CFIndex theIndex) {
  const std::u16string &t = PL_CFStringText(theString);
  if (theIndex < 0 || size_t(theIndex) >= t.size()) return CFRangeMake(kCFNotFound, 0);
  UErrorCode status = U_ZERO_ERROR;
  UBreakIterator *bi = ubrk_open(UBRK_CHARACTER, "", U(t.data()), int32_t(t.size()), &status);
  if (U_FAILURE(status)) {
    size_t units;
    size_t i = size_t(theIndex);
    if (i > 0 && t[i] >= 0xDC00 && t[i] <= 0xDFFF && t[i - 1] >= 0xD800 && t[i - 1] <= 0xDBFF) --i;
    CodePointAt(t, i, &units);
    return CFRangeMake(CFIndex(i), CFIndex(units));
  }
  // The first boundary after the index, and the last one before that: robust inside surrogate pairs.
  int32_t end = ubrk_following(bi, int32_t(theIndex));
  if (end == UBRK_DONE) end = int32_t(t.size());
  int32_t start = ubrk_preceding(bi, end);
  ubrk_close(bi);
  if (start == UBRK_DONE) start = 0;
  return CFRangeMake(start, end - start);
}

// ---- mutation ----

void CFStringAppend(CFMutableStringRef theString, CFStringRef appendedString) {
  PL_CFString *s = MutStr(theString);
  if (s == nullptr) return;
  s->text += std::u16string(PL_CFStringText(appendedString));  // copy first: the two may be the same string
}

void CFStringAppendCharacters(CFMutableStringRef theString, const UniChar *chars, CFIndex numChars) {
  PL_CFString *s = MutStr(theString);
  if (s == nullptr || chars == nullptr || numChars <= 0) return;
  s->text.append(reinterpret_cast<const char16_t *>(chars), size_t(numChars));
}

void CFStringAppendCString(CFMutableStringRef theString, const char *cStr, CFStringEncoding encoding) {
  PL_CFString *s = MutStr(theString);
  if (s == nullptr || cStr == nullptr) return;
  std::u16string text;
  if (DecodeBytes(reinterpret_cast<const UInt8 *>(cStr), std::strlen(cStr), encoding, false, &text)) s->text += text;
}

void CFStringAppendPascalString(CFMutableStringRef theString, ConstStr255Param pStr, CFStringEncoding encoding) {
  PL_CFString *s = MutStr(theString);
  if (s == nullptr || pStr == nullptr) return;
  std::u16string text;
  if (DecodeBytes(pStr + 1, pStr[0], encoding, false, &text)) s->text += text;
}

void CFStringInsert(CFMutableStringRef str, CFIndex idx, CFStringRef insertedStr) {
  PL_CFString *s = MutStr(str);
  if (s == nullptr || idx < 0 || size_t(idx) > s->text.size()) return;
  s->text.insert(size_t(idx), std::u16string(PL_CFStringText(insertedStr)));
}

void CFStringDelete(CFMutableStringRef theString, CFRange range) {
  PL_CFString *s = MutStr(theString);
  size_t start;
  size_t count;
  if (s == nullptr || !ClampRange(range, s->text.size(), &start, &count)) return;
  s->text.erase(start, count);
}

void CFStringReplace(CFMutableStringRef theString, CFRange range, CFStringRef replacement) {
  PL_CFString *s = MutStr(theString);
  size_t start;
  size_t count;
  if (s == nullptr || !ClampRange(range, s->text.size(), &start, &count)) return;
  s->text.replace(start, count, std::u16string(PL_CFStringText(replacement)));
}

void CFStringReplaceAll(CFMutableStringRef theString, CFStringRef replacement) {
  PL_CFString *s = MutStr(theString);
  if (s == nullptr) return;
  s->text = std::u16string(PL_CFStringText(replacement));
}

CFIndex CFStringFindAndReplace(CFMutableStringRef theString, CFStringRef stringToFind, CFStringRef replacementString,
                               CFRange rangeToSearch, CFStringCompareFlags compareOptions) {
  PL_CFString *s = MutStr(theString);
  size_t start;
  size_t count;
  if (s == nullptr || !ClampRange(rangeToSearch, s->text.size(), &start, &count)) return 0;
  const std::u16string find = PL_CFStringText(stringToFind);
  const std::u16string repl = PL_CFStringText(replacementString);
  const CFStringCompareFlags forward = compareOptions & ~CFStringCompareFlags(kCFCompareBackwards);
  std::vector<CFRange> hits;
  size_t pos = start;
  const size_t end = start + count;
  CFRange r;
  while (pos < end && FindIn(s->text, find, pos, end - pos, forward, &r)) {
    hits.push_back(r);
    pos = size_t(r.location + r.length);
    if (compareOptions & kCFCompareAnchored) break;
  }
  for (auto it = hits.rbegin(); it != hits.rend(); ++it) s->text.replace(size_t(it->location), size_t(it->length), repl);
  return CFIndex(hits.size());
}

void CFStringTrim(CFMutableStringRef theString, CFStringRef trimString) {
  PL_CFString *s = MutStr(theString);
  const std::u16string trim = PL_CFStringText(trimString);
  if (s == nullptr || trim.empty()) return;
  while (s->text.size() >= trim.size() && s->text.compare(0, trim.size(), trim) == 0) s->text.erase(0, trim.size());
  while (s->text.size() >= trim.size() && s->text.compare(s->text.size() - trim.size(), trim.size(), trim) == 0) {
    s->text.erase(s->text.size() - trim.size());
  }
}

void CFStringTrimWhitespace(CFMutableStringRef theString) {
  PL_CFString *s = MutStr(theString);
  if (s == nullptr) return;
  size_t b = 0;
  while (b < s->text.size() && IsWhite(s->text[b])) ++b;
  size_t e = s->text.size();
  while (e > b && IsWhite(s->text[e - 1])) --e;
  s->text = s->text.substr(b, e - b);
}

namespace {

enum class CaseMap { kLower, kUpper, kTitle };

void MapCase(CFMutableStringRef theString, CaseMap how) {
  PL_CFString *s = MutStr(theString);
  if (s == nullptr || s->text.empty()) return;
  std::u16string out(s->text.size() * 3 + 16, u'\0');
  UErrorCode status = U_ZERO_ERROR;
  int32_t n = 0;
  const auto *src = U(s->text.data());
  const auto len = int32_t(s->text.size());
  switch (how) {
    case CaseMap::kLower: n = u_strToLower(U(out.data()), int32_t(out.size()), src, len, "", &status); break;
    case CaseMap::kUpper: n = u_strToUpper(U(out.data()), int32_t(out.size()), src, len, "", &status); break;
    case CaseMap::kTitle:
      n = u_strToTitle(U(out.data()), int32_t(out.size()), src, len, nullptr, "", &status);
      break;
  }
  if (U_FAILURE(status)) return;
  out.resize(size_t(n));
  s->text = std::move(out);
}

}  // namespace

void CFStringLowercase(CFMutableStringRef theString, CFLocaleRef) { MapCase(theString, CaseMap::kLower); }
void CFStringUppercase(CFMutableStringRef theString, CFLocaleRef) { MapCase(theString, CaseMap::kUpper); }
void CFStringCapitalize(CFMutableStringRef theString, CFLocaleRef) { MapCase(theString, CaseMap::kTitle); }

void CFStringNormalize(CFMutableStringRef theString, CFStringNormalizationForm theForm) {
  PL_CFString *s = MutStr(theString);
  if (s == nullptr) return;
  s->text = Normalize(s->text, theForm);
}
