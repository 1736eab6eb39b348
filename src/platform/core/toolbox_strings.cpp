// Toolbox string routines.
#include "platform/core/toolbox_strings.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

StringPtr PLstrcpy(StringPtr dest, ConstStr255Param source) {
  if (dest == nullptr || source == nullptr) return dest;
  std::memmove(dest, source, size_t(source[0]) + 1);
  return dest;
}

StringPtr PLstrcat(StringPtr str, ConstStr255Param append) {
  if (str == nullptr || append == nullptr) return str;
  const size_t n = std::min<size_t>(append[0], 255u - str[0]);
  std::memmove(str + 1 + str[0], append + 1, n);
  str[0] = UInt8(str[0] + n);
  return str;
}

void p2cstrcpy(char *dst, ConstStr255Param src) {
  if (dst == nullptr || src == nullptr) return;
  const size_t n = src[0];
  std::memmove(dst, src + 1, n);
  dst[n] = 0;
}

void c2pstrcpy(Str255 dst, const char *src) {
  if (dst == nullptr || src == nullptr) return;
  const size_t n = strnlen(src, 255);
  std::memmove(dst + 1, src, n);
  dst[0] = UInt8(n);
}

void NumToString(SInt32 theNum, Str255 theString) {
  if (theString == nullptr) return;
  char buf[16];
  const int n = std::snprintf(buf, sizeof buf, "%d", int(theNum));
  theString[0] = UInt8(n);
  std::memcpy(theString + 1, buf, size_t(n));
}

void StringToNum(ConstStr255Param theString, SInt32 *theNum) {
  if (theNum == nullptr) return;
  *theNum = 0;
  if (theString == nullptr) return;
  size_t i = 1;
  const size_t end = size_t(theString[0]) + 1;
  bool negative = false;
  if (i < end && (theString[i] == '-' || theString[i] == '+')) negative = theString[i++] == '-';
  UInt32 value = 0;
  for (; i < end && theString[i] >= '0' && theString[i] <= '9'; ++i) value = value * 10 + UInt32(theString[i] - '0');
  *theNum = SInt32(negative ? 0u - value : value);
}

Boolean EqualString(ConstStr255Param str1, ConstStr255Param str2, Boolean caseSensitive, Boolean diacSensitive) {
  if (str1 == nullptr || str2 == nullptr) return str1 == str2;
  if (caseSensitive && diacSensitive) return str1[0] == str2[0] && std::memcmp(str1 + 1, str2 + 1, str1[0]) == 0;
  PL_CFScoped<CFStringRef> a(CFStringCreateWithPascalString(nullptr, str1, kCFStringEncodingMacRoman));
  PL_CFScoped<CFStringRef> b(CFStringCreateWithPascalString(nullptr, str2, kCFStringEncodingMacRoman));
  CFStringCompareFlags flags = 0;
  if (!caseSensitive) flags |= kCFCompareCaseInsensitive;
  if (!diacSensitive) flags |= kCFCompareDiacriticInsensitive;
  return CFStringCompare(a, b, flags) == kCFCompareEqualTo;
}

void SetString(StringHandle theString, ConstStr255Param strNew) {
  if (theString == nullptr || strNew == nullptr) return;
  SetHandleSize(reinterpret_cast<Handle>(theString), Size(strNew[0]) + 1);
  if (MemError() != noErr) return;
  std::memmove(*theString, strNew, size_t(strNew[0]) + 1);
}

void GetIndString(Str255 theString, SInt16, SInt16) {
  if (theString != nullptr) theString[0] = 0;
}

SInt32 ReplaceText(Handle baseText, Handle substitutionText, ConstStr255Param key) {
  if (baseText == nullptr || substitutionText == nullptr || key == nullptr || key[0] == 0 || key[0] > 15) {
    return paramErr;
  }
  const std::string base(*baseText, size_t(GetHandleSize(baseText)));
  const std::string sub(*substitutionText, size_t(GetHandleSize(substitutionText)));
  const std::string k(reinterpret_cast<const char *>(key + 1), key[0]);
  std::string out;
  SInt32 count = 0;
  size_t pos = 0;
  for (size_t hit = base.find(k); hit != std::string::npos; hit = base.find(k, pos)) {
    out.append(base, pos, hit - pos);
    out += sub;
    pos = hit + k.size();
    ++count;
  }
  out.append(base, pos, std::string::npos);
  if (count == 0) return 0;
  SetHandleSize(baseText, Size(out.size()));
  if (MemError() != noErr) return memFullErr;
  std::memcpy(*baseText, out.data(), out.size());
  return count;
}
