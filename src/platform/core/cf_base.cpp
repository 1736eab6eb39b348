// CoreFoundation stand-in: reference counting, type ids, equality, hashing, descriptions, and the UTF-8,
// UTF-16 and Mac Roman text helpers the CF modules share.
#include "platform/core/cf_base.h"

#include "platform/core/cf_object.h"
#include "platform/core/cf_string.h"

#include <cstdio>
#include <limits>

// Distinct addresses so that kCFAllocatorNull can be told apart; nothing is ever read through them.
struct PL_CFAllocator {
  int id;
};

struct PL_CFNull : PL_CFObject {
  PL_CFNull() : PL_CFObject(kPL_CFTypeIDNull) { constant = true; }
  std::u16string Describe() const override { return u"<null>"; }
  CFHashCode Hash() const override { return 0x6e756c6cu; }
};

namespace {
const PL_CFAllocator kSystemAllocator{1};
const PL_CFAllocator kMallocAllocator{2};
const PL_CFAllocator kNullAllocator{3};

constexpr UniChar kMacRomanHigh[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5,
    0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3, 0x00F2, 0x00F4,
    0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6,
    0x00DF, 0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8, 0x221E, 0x00B1, 0x2264, 0x2265,
    0x00A5, 0x00B5, 0x2202, 0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF,
    0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB, 0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5,
    0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA, 0x00FF, 0x0178, 0x2044,
    0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02, 0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1,
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4, 0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9,
    0x0131, 0x02C6, 0x02DC, 0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7};

const char16_t *TypeName(CFTypeID id) {
  switch (id) {
    case kPL_CFTypeIDString: return u"CFString";
    case kPL_CFTypeIDNumber: return u"CFNumber";
    case kPL_CFTypeIDBoolean: return u"CFBoolean";
    case kPL_CFTypeIDArray: return u"CFArray";
    case kPL_CFTypeIDDictionary: return u"CFDictionary";
    case kPL_CFTypeIDData: return u"CFData";
    case kPL_CFTypeIDDate: return u"CFDate";
    case kPL_CFTypeIDURL: return u"CFURL";
    case kPL_CFTypeIDError: return u"CFError";
    case kPL_CFTypeIDBundle: return u"CFBundle";
    case kPL_CFTypeIDTimeZone: return u"CFTimeZone";
    case kPL_CFTypeIDLocale: return u"CFLocale";
    case kPL_CFTypeIDDateFormatter: return u"CFDateFormatter";
    case kPL_CFTypeIDNull: return u"CFNull";
    default: return u"CFType";
  }
}

}  // namespace

const CFAllocatorRef kCFAllocatorDefault = nullptr;
const CFAllocatorRef kCFAllocatorSystemDefault = &kSystemAllocator;
const CFAllocatorRef kCFAllocatorMalloc = &kMallocAllocator;
const CFAllocatorRef kCFAllocatorNull = &kNullAllocator;

static PL_CFNull gNull;
const CFNullRef kCFNull = &gNull;
CFTypeID CFNullGetTypeID() { return kPL_CFTypeIDNull; }

std::u16string PL_CFObject::Describe() const {
  char buf[64];
  std::snprintf(buf, sizeof buf, " %p>", static_cast<const void *>(this));
  return u"<" + std::u16string(TypeName(typeID)) + PL_ASCIIToUTF16(buf);
}

CFTypeRef CFRetain(CFTypeRef cf) {
  if (cf == nullptr) return nullptr;
  PL_CFObject *obj = PL_CFMutableObjectOf(cf);
  if (!obj->constant) obj->retainCount.fetch_add(1, std::memory_order_relaxed);
  return cf;
}

void CFRelease(CFTypeRef cf) {
  if (cf == nullptr) return;
  PL_CFObject *obj = PL_CFMutableObjectOf(cf);
  if (obj->constant) return;
  if (obj->retainCount.fetch_sub(1, std::memory_order_acq_rel) == 1) delete obj;
}

CFIndex CFGetRetainCount(CFTypeRef cf) {
  if (cf == nullptr) return 0;
  const PL_CFObject *obj = PL_CFObjectOf(cf);
  if (obj->constant) return std::numeric_limits<CFIndex>::max();
  return obj->retainCount.load(std::memory_order_relaxed);
}

CFTypeID CFGetTypeID(CFTypeRef cf) { return cf == nullptr ? 0 : PL_CFObjectOf(cf)->typeID; }

Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2) {
  if (cf1 == cf2) return true;
  if (cf1 == nullptr || cf2 == nullptr) return false;
  const PL_CFObject *a = PL_CFObjectOf(cf1);
  const PL_CFObject *b = PL_CFObjectOf(cf2);
  if (a->typeID != b->typeID) return false;
  return a->Equal(*b);
}

CFHashCode CFHash(CFTypeRef cf) { return cf == nullptr ? 0 : PL_CFObjectOf(cf)->Hash(); }

CFStringRef CFCopyDescription(CFTypeRef cf) {
  std::u16string text = cf == nullptr ? std::u16string(u"(null)") : PL_CFObjectOf(cf)->Describe();
  return CFStringCreateWithCharacters(kCFAllocatorDefault, reinterpret_cast<const UniChar *>(text.data()),
                                      CFIndex(text.size()));
}

CFStringRef CFCopyTypeIDDescription(CFTypeID typeID) {
  std::u16string text = TypeName(typeID);
  return CFStringCreateWithCharacters(kCFAllocatorDefault, reinterpret_cast<const UniChar *>(text.data()),
                                      CFIndex(text.size()));
}

void CFShow(CFTypeRef obj) {
  std::u16string text = obj == nullptr ? std::u16string(u"(null)") : PL_CFObjectOf(obj)->Describe();
  std::string utf8 = PL_EncodeUTF8Lenient(text);
  std::fprintf(stderr, "%s\n", utf8.c_str());
}

// ---- text helpers ----

namespace {

// Length of a well-formed UTF-8 sequence starting at bytes[i] and its code point; 0 when malformed.
size_t UTF8Sequence(std::string_view bytes, size_t i, UInt32 *codePoint) {
  const auto b0 = UInt8(bytes[i]);
  if (b0 < 0x80) {
    *codePoint = b0;
    return 1;
  }
  size_t n;
  UInt32 cp;
  UInt32 min;
  if ((b0 & 0xE0) == 0xC0) {
    n = 2;
    cp = b0 & 0x1F;
    min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    n = 3;
    cp = b0 & 0x0F;
    min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    n = 4;
    cp = b0 & 0x07;
    min = 0x10000;
  } else {
    return 0;
  }
  if (i + n > bytes.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    const auto b = UInt8(bytes[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  *codePoint = cp;
  return n;
}

void AppendCodePoint(std::u16string *out, UInt32 cp) {
  if (cp < 0x10000) {
    out->push_back(char16_t(cp));
  } else {
    cp -= 0x10000;
    out->push_back(char16_t(0xD800 + (cp >> 10)));
    out->push_back(char16_t(0xDC00 + (cp & 0x3FF)));
  }
}

void AppendUTF8(std::string *out, UInt32 cp) {
  if (cp < 0x80) {
    out->push_back(char(cp));
  } else if (cp < 0x800) {
    out->push_back(char(0xC0 | (cp >> 6)));
    out->push_back(char(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(char(0xE0 | (cp >> 12)));
    out->push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(char(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(char(0xF0 | (cp >> 18)));
    out->push_back(char(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(char(0x80 | (cp & 0x3F)));
  }
}

// Encodes; a lone surrogate either fails (strict) or becomes U+FFFD.
bool EncodeUTF8(std::u16string_view text, std::string *out, bool strict) {
  out->clear();
  out->reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    UInt32 c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (UInt32(text[i + 1]) - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      if (strict) return false;
      c = 0xFFFD;
    }
    AppendUTF8(out, c);
  }
  return true;
}

}  // namespace

bool PL_DecodeUTF8(std::string_view bytes, std::u16string *out) {
  out->clear();
  out->reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    UInt32 cp = 0;
    size_t n = UTF8Sequence(bytes, i, &cp);
    if (n == 0) return false;
    AppendCodePoint(out, cp);
    i += n;
  }
  return true;
}

namespace {

// Decodes; a byte that starts no well-formed sequence becomes replace(byte).
template <class Replace>
std::u16string DecodeUTF8Replacing(std::string_view bytes, Replace replace) {
  std::u16string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    UInt32 cp = 0;
    size_t n = UTF8Sequence(bytes, i, &cp);
    if (n == 0) {
      out.push_back(replace(UInt8(bytes[i])));
      ++i;
    } else {
      AppendCodePoint(&out, cp);
      i += n;
    }
  }
  return out;
}

}  // namespace

std::u16string PL_DecodeUTF8Lenient(std::string_view bytes) {
  return DecodeUTF8Replacing(bytes, [](UInt8 byte) { return char16_t(PL_MacRomanToUnicode(byte)); });
}

std::u16string PL_DecodeUTF8WithReplacement(std::string_view bytes) {
  return DecodeUTF8Replacing(bytes, [](UInt8) { return char16_t(0xFFFD); });
}

bool PL_EncodeUTF8(std::u16string_view text, std::string *out) { return EncodeUTF8(text, out, true); }

std::string PL_EncodeUTF8Lenient(std::u16string_view text) {
  std::string out;
  EncodeUTF8(text, &out, false);
  return out;
}

std::u16string PL_ASCIIToUTF16(std::string_view ascii) {
  std::u16string out;
  out.reserve(ascii.size());
  for (char c : ascii) out.push_back(char16_t(UInt8(c)));
  return out;
}

UniChar PL_MacRomanToUnicode(UInt8 byte) { return byte < 0x80 ? UniChar(byte) : kMacRomanHigh[byte - 0x80]; }

bool PL_UnicodeToMacRoman(UniChar ch, UInt8 *byte) {
  if (ch < 0x80) {
    *byte = UInt8(ch);
    return true;
  }
  for (int i = 0; i < 128; ++i) {
    if (kMacRomanHigh[i] == ch) {
      *byte = UInt8(0x80 + i);
      return true;
    }
  }
  return false;
}

CFHashCode PL_HashUTF16(std::u16string_view text) {
  UInt64 h = 1469598103934665603ull;
  for (char16_t c : text) {
    h ^= UInt64(c);
    h *= 1099511628211ull;
  }
  return h;
}
