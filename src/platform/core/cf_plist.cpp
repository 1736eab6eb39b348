// CoreFoundation stand-in: XML property lists over pugixml.
#include "platform/core/cf_plist.h"

#include "platform/core/cf_array.h"
#include "platform/core/cf_data.h"
#include "platform/core/cf_date.h"
#include "platform/core/cf_dictionary.h"
#include "platform/core/cf_error.h"
#include "platform/core/cf_number.h"
#include "platform/core/cf_object.h"
#include "platform/core/cf_string.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kMaxDepth = 512;

// ---- base64 ----

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string EncodeBase64(const UInt8 *p, size_t n) {
  std::string out;
  out.reserve((n + 2) / 3 * 4);
  for (size_t i = 0; i < n; i += 3) {
    const UInt32 v = (UInt32(p[i]) << 16) | (i + 1 < n ? UInt32(p[i + 1]) << 8 : 0) | (i + 2 < n ? p[i + 2] : 0);
    out += kBase64[(v >> 18) & 63];
    out += kBase64[(v >> 12) & 63];
    out += i + 1 < n ? kBase64[(v >> 6) & 63] : '=';
    out += i + 2 < n ? kBase64[v & 63] : '=';
  }
  return out;
}

// White space is skipped; false for any other character outside the alphabet or misplaced padding.
bool DecodeBase64(const char *text, std::vector<UInt8> *out) {
  out->clear();
  UInt32 acc = 0;
  int bits = 0;
  int padding = 0;
  for (const char *p = text; *p != 0; ++p) {
    const char c = *p;
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
    if (c == '=') {
      ++padding;
      continue;
    }
    const char *pos = std::strchr(kBase64, c);
    if (pos == nullptr || padding > 0) return false;
    acc = (acc << 6) | UInt32(pos - kBase64);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out->push_back(UInt8((acc >> bits) & 0xFF));
    }
  }
  return padding <= 2;
}

// ---- dates ----

std::string FormatDate(CFAbsoluteTime at) {
  CFGregorianDate g = CFAbsoluteTimeGetGregorianDate(std::floor(at), nullptr);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", int(g.year), int(g.month), int(g.day), int(g.hour),
                int(g.minute), int(g.second));
  return buf;
}

bool ParseDate(const std::string &s, CFAbsoluteTime *at) {
  int y;
  int mo;
  int d;
  int h;
  int mi;
  int sec;
  char z = 0;
  int consumed = 0;
  if (std::sscanf(s.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c%n", &y, &mo, &d, &h, &mi, &sec, &z, &consumed) != 7 ||
      z != 'Z' || size_t(consumed) != s.size()) {
    return false;
  }
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || sec > 60 || h < 0 || mi < 0 || sec < 0) {
    return false;
  }
  CFGregorianDate g{y, SInt8(mo), SInt8(d), SInt8(h), SInt8(mi), double(sec)};
  *at = CFGregorianDateGetAbsoluteTime(g, nullptr);
  return true;
}

std::string Trim(const char *text) {
  std::string s = text;
  const auto notSpace = [](char c) { return c != ' ' && c != '\t' && c != '\n' && c != '\r'; };
  s.erase(s.begin(), std::find_if(s.begin(), s.end(), notSpace));
  s.erase(std::find_if(s.rbegin(), s.rend(), notSpace).base(), s.end());
  return s;
}

std::string ShortestDouble(double d) {
  if (std::isnan(d)) return "nan";
  if (std::isinf(d)) return d > 0 ? "+infinity" : "-infinity";
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, d);
  return std::string(buf, r.ptr);
}

// ---- writing ----

class Writer {
 public:
  bool Write(pugi::xml_node parent, CFTypeRef value, int depth) {
    if (depth > kMaxDepth) return Fail("nesting too deep");
    const CFTypeID type = CFGetTypeID(value);
    if (value == nullptr) return Fail("a value is missing");
    if (type == CFStringGetTypeID()) {
      parent.append_child("string").text().set(PL_CFStringToUTF8(static_cast<CFStringRef>(value)).c_str());
    } else if (type == CFNumberGetTypeID()) {
      auto n = static_cast<CFNumberRef>(value);
      if (CFNumberIsFloatType(n)) {
        double d = 0;
        CFNumberGetValue(n, kCFNumberFloat64Type, &d);
        parent.append_child("real").text().set(ShortestDouble(d).c_str());
      } else {
        SInt64 i = 0;
        CFNumberGetValue(n, kCFNumberSInt64Type, &i);
        parent.append_child("integer").text().set(std::to_string(i).c_str());
      }
    } else if (type == CFBooleanGetTypeID()) {
      parent.append_child(CFBooleanGetValue(static_cast<CFBooleanRef>(value)) ? "true" : "false");
    } else if (type == CFDataGetTypeID()) {
      auto data = static_cast<CFDataRef>(value);
      parent.append_child("data").text().set(
          EncodeBase64(CFDataGetBytePtr(data), size_t(CFDataGetLength(data))).c_str());
    } else if (type == CFDateGetTypeID()) {
      parent.append_child("date").text().set(FormatDate(CFDateGetAbsoluteTime(static_cast<CFDateRef>(value))).c_str());
    } else if (type == CFArrayGetTypeID()) {
      auto array = static_cast<CFArrayRef>(value);
      pugi::xml_node node = parent.append_child("array");
      for (CFIndex k = 0; k < CFArrayGetCount(array); ++k) {
        if (!Write(node, CFArrayGetValueAtIndex(array, k), depth + 1)) return false;
      }
    } else if (type == CFDictionaryGetTypeID()) {
      auto dict = static_cast<CFDictionaryRef>(value);
      const auto n = size_t(CFDictionaryGetCount(dict));
      std::vector<const void *> keys(n);
      std::vector<const void *> values(n);
      CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
      std::vector<size_t> order(n);
      for (size_t k = 0; k < n; ++k) {
        order[k] = k;
        if (CFGetTypeID(keys[k]) != CFStringGetTypeID()) return Fail("a dictionary key is not a string");
      }
      // Sorted keys make the files stable from one save to the next.
      std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return PL_CFStringText(static_cast<CFStringRef>(keys[a])) < PL_CFStringText(static_cast<CFStringRef>(keys[b]));
      });
      pugi::xml_node node = parent.append_child("dict");
      for (size_t k : order) {
        node.append_child("key").text().set(PL_CFStringToUTF8(static_cast<CFStringRef>(keys[k])).c_str());
        if (!Write(node, values[k], depth + 1)) return false;
      }
    } else {
      return Fail("a value is not of a property-list type");
    }
    return true;
  }

  bool Fail(const char *why) {
    if (reason.empty()) reason = why;
    return false;
  }

  std::string reason;
};

CFDataRef WriteXML(CFPropertyListRef plist, std::string *reason) {
  pugi::xml_document doc;
  pugi::xml_node decl = doc.append_child(pugi::node_declaration);
  decl.append_attribute("version") = "1.0";
  decl.append_attribute("encoding") = "UTF-8";
  pugi::xml_node root = doc.append_child("plist");
  root.append_attribute("version") = "1.0";
  Writer writer;
  if (!writer.Write(root, plist, 0)) {
    *reason = writer.reason;
    return nullptr;
  }
  std::ostringstream out;
  doc.save(out, "\t", pugi::format_indent, pugi::encoding_utf8);
  const std::string text = out.str();
  return CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(text.data()), CFIndex(text.size()));
}

// ---- reading ----

class Reader {
 public:
  explicit Reader(CFOptionFlags mutability) : mutability_(mutability) {}

  CFPropertyListRef Read(pugi::xml_node node, int depth) {
    if (depth > kMaxDepth) return Fail("nesting too deep", node);
    const std::string name = node.name();
    if (name == "string" || name == "key") {
      std::string text;
      for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) {
          text += c.value();
        } else {
          return Fail("a string holds an element", node);
        }
      }
      std::u16string utf16;
      if (!PL_DecodeUTF8(text, &utf16)) return Fail("a string is not UTF-8", node);
      if (mutability_ == kCFPropertyListMutableContainersAndLeaves) {
        CFMutableStringRef s = CFStringCreateMutable(nullptr, 0);
        CFStringAppendCharacters(s, reinterpret_cast<const UniChar *>(utf16.data()), CFIndex(utf16.size()));
        return s;
      }
      return PL_CFStringCreate(std::move(utf16));
    }
    if (name == "integer") {
      std::string t = Trim(node.child_value());
      SInt64 v = 0;
      const char *b = t.c_str();
      const char *e = b + t.size();
      if (b < e && *b == '+') ++b;
      int base = 10;
      bool negative = false;
      if (b < e && *b == '-') {
        negative = true;
        ++b;
      }
      if (e - b > 2 && b[0] == '0' && (b[1] == 'x' || b[1] == 'X')) {
        base = 16;
        b += 2;
      }
      UInt64 magnitude = 0;
      auto r = std::from_chars(b, e, magnitude, base);
      if (b == e || r.ec != std::errc() || r.ptr != e) return Fail("an integer does not parse", node);
      if (negative) {
        if (magnitude > UInt64(1) << 63) return Fail("an integer is out of range", node);
        v = SInt64(0 - magnitude);
      } else {
        if (magnitude > UInt64(INT64_MAX)) return Fail("an integer is out of range", node);
        v = SInt64(magnitude);
      }
      return CFNumberCreate(nullptr, kCFNumberSInt64Type, &v);
    }
    if (name == "real") {
      std::string t = Trim(node.child_value());
      std::string lower = t;
      for (char &c : lower) c = char(std::tolower(UInt8(c)));
      double d = 0;
      if (lower == "nan") {
        d = std::nan("");
      } else if (lower == "+infinity" || lower == "infinity" || lower == "inf" || lower == "+inf") {
        d = HUGE_VAL;
      } else if (lower == "-infinity" || lower == "-inf") {
        d = -HUGE_VAL;
      } else {
        const char *b = t.c_str();
        const char *e = b + t.size();
        if (b < e && *b == '+') ++b;
        auto r = std::from_chars(b, e, d);
        if (b == e || r.ec != std::errc() || r.ptr != e) return Fail("a real does not parse", node);
      }
      return CFNumberCreate(nullptr, kCFNumberFloat64Type, &d);
    }
    if (name == "true" || name == "false") {
      if (node.first_child()) return Fail("a Boolean has contents", node);
      return name == "true" ? kCFBooleanTrue : kCFBooleanFalse;
    }
    if (name == "data") {
      std::vector<UInt8> bytes;
      if (!DecodeBase64(node.child_value(), &bytes)) return Fail("data is not base64", node);
      if (mutability_ == kCFPropertyListMutableContainersAndLeaves) {
        CFMutableDataRef d = CFDataCreateMutable(nullptr, 0);
        CFDataAppendBytes(d, bytes.data(), CFIndex(bytes.size()));
        return d;
      }
      return CFDataCreate(nullptr, bytes.data(), CFIndex(bytes.size()));
    }
    if (name == "date") {
      CFAbsoluteTime at = 0;
      if (!ParseDate(Trim(node.child_value()), &at)) return Fail("a date does not parse", node);
      return CFDateCreate(nullptr, at);
    }
    if (name == "array") {
      PL_CFScoped<CFMutableArrayRef> array(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
      for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
        if (IsBlank(c)) continue;
        if (c.type() != pugi::node_element) return Fail("an array holds text", node);
        PL_CFScoped<CFPropertyListRef> v(Read(c, depth + 1));
        if (v == nullptr) return nullptr;
        CFArrayAppendValue(array, v);
      }
      if (mutability_ != kCFPropertyListImmutable) return array.release();
      return CFArrayCreateCopy(nullptr, array);
    }
    if (name == "dict") {
      PL_CFScoped<CFMutableDictionaryRef> dict(CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                                         &kCFTypeDictionaryValueCallBacks));
      pugi::xml_node c = node.first_child();
      while (c) {
        if (IsBlank(c)) {
          c = c.next_sibling();
          continue;
        }
        if (c.type() != pugi::node_element || std::strcmp(c.name(), "key") != 0) {
          return Fail("a dictionary entry has no key", c);
        }
        PL_CFScoped<CFPropertyListRef> key(Read(c, depth + 1));
        if (key == nullptr) return nullptr;
        pugi::xml_node v = c.next_sibling();
        while (v && IsBlank(v)) v = v.next_sibling();
        if (!v || v.type() != pugi::node_element || std::strcmp(v.name(), "key") == 0) {
          return Fail("a dictionary key has no value", c);
        }
        PL_CFScoped<CFPropertyListRef> value(Read(v, depth + 1));
        if (value == nullptr) return nullptr;
        CFDictionarySetValue(dict, key, value);
        c = v.next_sibling();
      }
      if (mutability_ != kCFPropertyListImmutable) return dict.release();
      return CFDictionaryCreateCopy(nullptr, dict);
    }
    return Fail("an element is not a property-list value", node);
  }

  static bool IsBlank(pugi::xml_node n) {
    if (n.type() == pugi::node_comment || n.type() == pugi::node_pi) return true;
    if (n.type() != pugi::node_pcdata) return false;
    for (const char *p = n.value(); *p != 0; ++p) {
      if (*p != ' ' && *p != '\t' && *p != '\n' && *p != '\r') return false;
    }
    return true;
  }

  CFPropertyListRef Fail(const char *why, pugi::xml_node node) {
    if (reason.empty()) {
      reason = why;
      if (node) reason += " (<" + std::string(node.name()) + "> at byte " + std::to_string(node.offset_debug()) + ")";
    }
    return nullptr;
  }

  std::string reason;

 private:
  CFOptionFlags mutability_;
};

CFPropertyListRef ReadXML(CFDataRef data, CFOptionFlags mutability, std::string *reason) {
  if (CFGetTypeID(data) != CFDataGetTypeID()) {
    *reason = "no data";
    return nullptr;
  }
  const UInt8 *bytes = CFDataGetBytePtr(data);
  const auto n = size_t(CFDataGetLength(data));
  if (n >= 6 && std::memcmp(bytes, "bplist", 6) == 0) {
    *reason = "binary property lists are not supported";
    return nullptr;
  }
  pugi::xml_document doc;
  const unsigned options = pugi::parse_default | pugi::parse_ws_pcdata_single | pugi::parse_doctype;
  pugi::xml_parse_result parsed = doc.load_buffer(bytes, n, options, pugi::encoding_auto);
  if (!parsed) {
    *reason = std::string("damaged XML: ") + parsed.description() + " at byte " + std::to_string(parsed.offset);
    return nullptr;
  }
  pugi::xml_node root = doc.document_element();
  if (!root) {
    *reason = "no property list in the data";
    return nullptr;
  }
  pugi::xml_node value = root;
  if (std::strcmp(root.name(), "plist") == 0) {
    value = pugi::xml_node();
    for (pugi::xml_node c = root.first_child(); c; c = c.next_sibling()) {
      if (Reader::IsBlank(c)) continue;
      if (c.type() != pugi::node_element || value) {
        *reason = "a property list must hold exactly one value";
        return nullptr;
      }
      value = c;
    }
    if (!value) {
      *reason = "the property list is empty";
      return nullptr;
    }
  }
  Reader reader(mutability);
  CFPropertyListRef result = reader.Read(value, 0);
  if (result == nullptr) *reason = reader.reason;
  return result;
}

CFErrorRef MakeError(CFIndex code, const std::string &reason) {
  PL_CFScoped<CFStringRef> text(PL_CFStringCreateFromUTF8Lenient(reason));
  return PL_CFErrorCreateWithDescription(kCFErrorDomainCocoa, code, text);
}

bool IsValid(CFPropertyListRef plist, int depth) {
  if (plist == nullptr || depth > kMaxDepth) return false;
  const CFTypeID t = CFGetTypeID(plist);
  if (t == CFStringGetTypeID() || t == CFNumberGetTypeID() || t == CFBooleanGetTypeID() || t == CFDataGetTypeID() ||
      t == CFDateGetTypeID()) {
    return true;
  }
  if (t == CFArrayGetTypeID()) {
    auto a = static_cast<CFArrayRef>(plist);
    for (CFIndex k = 0; k < CFArrayGetCount(a); ++k) {
      if (!IsValid(CFArrayGetValueAtIndex(a, k), depth + 1)) return false;
    }
    return true;
  }
  if (t == CFDictionaryGetTypeID()) {
    auto d = static_cast<CFDictionaryRef>(plist);
    const auto n = size_t(CFDictionaryGetCount(d));
    std::vector<const void *> keys(n);
    std::vector<const void *> values(n);
    CFDictionaryGetKeysAndValues(d, keys.data(), values.data());
    for (size_t k = 0; k < n; ++k) {
      if (CFGetTypeID(keys[k]) != CFStringGetTypeID() || !IsValid(values[k], depth + 1)) return false;
    }
    return true;
  }
  return false;
}

CFPropertyListRef DeepCopy(CFPropertyListRef plist, CFOptionFlags mutability, int depth) {
  if (plist == nullptr || depth > kMaxDepth) return nullptr;
  const CFTypeID t = CFGetTypeID(plist);
  const bool leaves = mutability == kCFPropertyListMutableContainersAndLeaves;
  if (t == CFStringGetTypeID()) {
    auto s = static_cast<CFStringRef>(plist);
    return leaves ? static_cast<CFTypeRef>(CFStringCreateMutableCopy(nullptr, 0, s)) : CFStringCreateCopy(nullptr, s);
  }
  if (t == CFDataGetTypeID()) {
    auto d = static_cast<CFDataRef>(plist);
    return leaves ? static_cast<CFTypeRef>(CFDataCreateMutableCopy(nullptr, 0, d)) : CFDataCreateCopy(nullptr, d);
  }
  if (t == CFNumberGetTypeID() || t == CFBooleanGetTypeID() || t == CFDateGetTypeID()) return CFRetain(plist);
  if (t == CFArrayGetTypeID()) {
    auto a = static_cast<CFArrayRef>(plist);
    PL_CFScoped<CFMutableArrayRef> out(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    for (CFIndex k = 0; k < CFArrayGetCount(a); ++k) {
      PL_CFScoped<CFPropertyListRef> v(DeepCopy(CFArrayGetValueAtIndex(a, k), mutability, depth + 1));
      if (v == nullptr) return nullptr;
      CFArrayAppendValue(out, v);
    }
    return mutability != kCFPropertyListImmutable ? out.release() : CFArrayCreateCopy(nullptr, out);
  }
  if (t == CFDictionaryGetTypeID()) {
    auto d = static_cast<CFDictionaryRef>(plist);
    const auto n = size_t(CFDictionaryGetCount(d));
    std::vector<const void *> keys(n);
    std::vector<const void *> values(n);
    CFDictionaryGetKeysAndValues(d, keys.data(), values.data());
    PL_CFScoped<CFMutableDictionaryRef> out(CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                                      &kCFTypeDictionaryValueCallBacks));
    for (size_t k = 0; k < n; ++k) {
      if (CFGetTypeID(keys[k]) != CFStringGetTypeID()) return nullptr;
      PL_CFScoped<CFStringRef> key(CFStringCreateCopy(nullptr, static_cast<CFStringRef>(keys[k])));
      PL_CFScoped<CFPropertyListRef> v(DeepCopy(values[k], mutability, depth + 1));
      if (v == nullptr) return nullptr;
      CFDictionarySetValue(out, key, v);
    }
    return mutability != kCFPropertyListImmutable ? out.release() : CFDictionaryCreateCopy(nullptr, out);
  }
  return nullptr;
}

}  // namespace

CFDataRef CFPropertyListCreateXMLData(CFAllocatorRef, CFPropertyListRef propertyList) {
  std::string reason;
  return WriteXML(propertyList, &reason);
}

CFDataRef CFPropertyListCreateData(CFAllocatorRef, CFPropertyListRef propertyList, CFPropertyListFormat format,
                                   CFOptionFlags, CFErrorRef *error) {
  if (error != nullptr) *error = nullptr;
  if (format != kCFPropertyListXMLFormat_v1_0) {
    if (error != nullptr) *error = MakeError(kCFPropertyListWriteStreamError, "only XML property lists are written");
    return nullptr;
  }
  std::string reason;
  CFDataRef data = WriteXML(propertyList, &reason);
  if (data == nullptr && error != nullptr) *error = MakeError(kCFPropertyListWriteInvalidError, reason);
  return data;
}

CFPropertyListRef CFPropertyListCreateFromXMLData(CFAllocatorRef, CFDataRef xmlData, CFOptionFlags mutabilityOption,
                                                  CFStringRef *errorString) {
  if (errorString != nullptr) *errorString = nullptr;
  std::string reason;
  CFPropertyListRef plist = ReadXML(xmlData, mutabilityOption, &reason);
  if (plist == nullptr && errorString != nullptr) *errorString = PL_CFStringCreateFromUTF8Lenient(reason);
  return plist;
}

CFPropertyListRef CFPropertyListCreateWithData(CFAllocatorRef, CFDataRef data, CFOptionFlags options,
                                               CFPropertyListFormat *format, CFErrorRef *error) {
  if (error != nullptr) *error = nullptr;
  if (format != nullptr) *format = 0;
  std::string reason;
  CFPropertyListRef plist = ReadXML(data, options, &reason);
  if (plist == nullptr) {
    if (error != nullptr) *error = MakeError(kCFPropertyListReadCorruptError, reason);
    return nullptr;
  }
  if (format != nullptr) *format = kCFPropertyListXMLFormat_v1_0;
  return plist;
}

CFPropertyListRef CFPropertyListCreateDeepCopy(CFAllocatorRef, CFPropertyListRef propertyList,
                                               CFOptionFlags mutabilityOption) {
  return DeepCopy(propertyList, mutabilityOption, 0);
}

Boolean CFPropertyListIsValid(CFPropertyListRef plist, CFPropertyListFormat format) {
  return format == kCFPropertyListXMLFormat_v1_0 && IsValid(plist, 0);
}
