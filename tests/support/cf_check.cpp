#include "support/cf_check.h"

#include "platform/core/cf_string.h"

#include <vector>

namespace bz_test {

std::string CFText(CFStringRef s) {
  if (s == nullptr) return "(null)";
  const CFIndex max = CFStringGetMaximumSizeForEncoding(CFStringGetLength(s), kCFStringEncodingUTF8) + 1;
  std::vector<char> buf(static_cast<size_t>(max));
  if (!CFStringGetCString(s, buf.data(), max, kCFStringEncodingUTF8)) return "(unconvertible)";
  return std::string(buf.data());
}

}  // namespace bz_test
