#include "support/cf_check.h"

#include "platform/core/cf_array.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_data.h"
#include "platform/core/cf_dictionary.h"
#include "platform/core/cf_number.h"
#include "platform/core/cf_string.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

namespace bz_test {

std::string LocalizedText(const char *key) {
  CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
  CFStringRef text = CFBundleCopyLocalizedString(CFBundleGetMainBundle(), k, k, nullptr);
  std::string result = CFText(text);
  if (text != nullptr) CFRelease(text);
  CFRelease(k);
  return result;
}

std::string CFText(CFStringRef s) {
  if (s == nullptr) return "(null)";
  const CFIndex max = CFStringGetMaximumSizeForEncoding(CFStringGetLength(s), kCFStringEncodingUTF8) + 1;
  std::vector<char> buf(static_cast<size_t>(max));
  if (!CFStringGetCString(s, buf.data(), max, kCFStringEncodingUTF8)) return "(unconvertible)";
  return std::string(buf.data());
}

namespace {

std::string NumberText(CFNumberRef n) {
  char text[64];
  const CFNumberType type = CFNumberGetType(n);
  if (type == kCFNumberFloat32Type || type == kCFNumberFloat64Type) {
    double v = 0;
    CFNumberGetValue(n, kCFNumberFloat64Type, &v);
    std::snprintf(text, sizeof text, "%s %.17g", type == kCFNumberFloat32Type ? "Float32" : "Float64", v);
  } else {
    long long v = 0;
    CFNumberGetValue(n, kCFNumberLongLongType, &v);
    const char *name = type == kCFNumberSInt8Type    ? "SInt8"
                       : type == kCFNumberSInt16Type ? "SInt16"
                       : type == kCFNumberSInt32Type ? "SInt32"
                                                     : "SInt64";
    std::snprintf(text, sizeof text, "%s %lld", name, v);
  }
  return text;
}

void Describe(CFTypeRef value, const std::string &indent, std::string *out) {
  if (value == nullptr) {
    *out += "(null)";
  } else if (CFGetTypeID(value) == CFBooleanGetTypeID()) {
    *out += CFBooleanGetValue(static_cast<CFBooleanRef>(value)) ? "true" : "false";
  } else if (CFGetTypeID(value) == CFNumberGetTypeID()) {
    *out += NumberText(static_cast<CFNumberRef>(value));
  } else if (CFGetTypeID(value) == CFStringGetTypeID()) {
    *out += "\"" + CFText(static_cast<CFStringRef>(value)) + "\"";
  } else if (CFGetTypeID(value) == CFDataGetTypeID()) {
    *out += "data of " + std::to_string(CFDataGetLength(static_cast<CFDataRef>(value))) + " bytes";
  } else if (CFGetTypeID(value) == CFArrayGetTypeID()) {
    auto array = static_cast<CFArrayRef>(value);
    *out += "(";
    for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) {
      if (i > 0) *out += ", ";
      Describe(CFArrayGetValueAtIndex(array, i), indent, out);
    }
    *out += ")";
  } else if (CFGetTypeID(value) == CFDictionaryGetTypeID()) {
    auto dict = static_cast<CFDictionaryRef>(value);
    const size_t n = size_t(CFDictionaryGetCount(dict));
    std::vector<const void *> keys(n), values(n);
    CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
    std::vector<std::pair<std::string, CFTypeRef>> entries;
    for (size_t i = 0; i < n; ++i) entries.emplace_back(CFText(static_cast<CFStringRef>(keys[i])), values[i]);
    std::sort(entries.begin(), entries.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    *out += "{\n";
    for (const auto &[key, v] : entries) {
      *out += indent + "  " + key + " = ";
      Describe(v, indent + "  ", out);
      *out += "\n";
    }
    *out += indent + "}";
  } else {
    *out += "(type " + std::to_string(CFGetTypeID(value)) + ")";
  }
}

}  // namespace

std::string CFDescribe(CFTypeRef value) {
  std::string out;
  Describe(value, "", &out);
  return out;
}

}  // namespace bz_test
