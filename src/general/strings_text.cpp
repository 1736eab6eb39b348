// Strings, text buffers and number texts.
#include "general/strings_text.h"

#include "general/geometry.h"
#include "general/integer_ratios.h"
#include "general/memory_lists.h"
#include "general/standard_helpers.h"
#include "general/text_drawing.h"
#include "general/unicode_strings.h"
#include "platform/core/cf_string.h"
#include "platform/core/formatter.h"
#include "platform/core/mac_errors.h"
#include "platform/core/text_encodings.h"

#include <sys/mman.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// ---- text-buffer table ----

std::mutex &BufferMutex() {
  static std::mutex m;
  return m;
}
std::unordered_map<const void *, size_t> &Buffers() {
  static auto *table = new std::unordered_map<const void *, size_t>();
  return *table;
}

// The capacity of a buffer made by GL_NewTextBuffer; 0 for any other block.
size_t CapacityOf(const void *p) {
  std::lock_guard<std::mutex> lock(BufferMutex());
  auto it = Buffers().find(p);
  return it == Buffers().end() ? 0 : it->second;
}

void AppendBytes(Ptr textPtr, SInt32 *textSize, const char *bytes, size_t n) {
  if (textPtr == nullptr || textSize == nullptr || bytes == nullptr || *textSize < 0) return;
  const size_t capacity = CapacityOf(textPtr);
  if (capacity > 0) {
    const auto used = size_t(*textSize);
    if (used >= capacity) return;
    n = std::min(n, capacity - used);
  }
  std::memcpy(textPtr + *textSize, bytes, n);
  *textSize += SInt32(n);
}

void AppendText(Ptr textPtr, SInt32 *textSize, const std::string &text) {
  AppendBytes(textPtr, textSize, text.data(), text.size());
}

// Title, ": ", value, "\n".
void AddField(Ptr textPtr, SInt32 *textSize, CFStringRef title, const std::string &value) {
  GL_AddCFStringToTextPtr(textPtr, textSize, title);
  AppendText(textPtr, textSize, ": " + value + "\n");
}

std::string Bytes(SInt64 numBytes) {
  if (numBytes < 1024) return PL_Format("%ld bytes", numBytes);
  if (numBytes < (SInt64(1) << 20)) return PL_Format("%.2f kB", float(numBytes) / 1000.0f);
  if (numBytes < (SInt64(1) << 30)) return PL_Format("%.2f MB", float(numBytes) / 1000000.0f);
  return PL_Format("%.2f GB", float(numBytes) / 1000000000.0f);
}

// Copies `text` into a caller's Str255-sized buffer (256 bytes).
void Put255(const std::string &text, char *out) {
  if (out == nullptr) return;
  const size_t n = std::min<size_t>(text.size(), 255);
  std::memcpy(out, text.data(), n);
  out[n] = 0;
}

UInt64 WideToU64(const wide *w) { return (UInt64(UInt32(w->hi)) << 32) | w->lo; }
void U64ToWide(UInt64 v, wide *w) {
  w->hi = SInt32(UInt32(v >> 32));
  w->lo = UInt32(v);
}

bool IsSkippable(unsigned char c) { return c < 33 || c == 127; }

constexpr SInt16 kDigits = 20;

}  // namespace

// ---- Text buffers ----

OSStatus GL_NewTextBuffer(Ptr *textPtr) {
  if (textPtr == nullptr) return paramErr;
  *textPtr = nullptr;
  // Address space only: pages are taken as text is written into them.
  void *block = mmap(nullptr, size_t(kGL_TextBufferCapacity), PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (block == MAP_FAILED) return memFullErr;
  {
    std::lock_guard<std::mutex> lock(BufferMutex());
    Buffers()[block] = size_t(kGL_TextBufferCapacity);
  }
  *textPtr = static_cast<Ptr>(block);
  return noErr;
}

void GL_DisposeTextBuffer(Ptr *textPtr) {
  if (textPtr == nullptr || *textPtr == nullptr) return;
  size_t capacity = 0;
  {
    std::lock_guard<std::mutex> lock(BufferMutex());
    auto it = Buffers().find(*textPtr);
    if (it != Buffers().end()) {
      capacity = it->second;
      Buffers().erase(it);
    }
  }
  if (capacity > 0) munmap(*textPtr, capacity);
  *textPtr = nullptr;
}

void GL_AddCStringToTextPtr(Ptr textPtr, SInt32 *textSize, const char *textPart) {
  if (textPart == nullptr) return;
  AppendBytes(textPtr, textSize, textPart, std::strlen(textPart));
}

void GL_AddCFStringToTextPtr(Ptr textPtr, SInt32 *textSize, CFStringRef cfTextPart) {
  if (cfTextPart == nullptr) return;
  const CFIndex length = CFStringGetLength(cfTextPart);
  CFIndex needed = 0;
  CFStringGetBytes(cfTextPart, CFRangeMake(0, length), CFStringGetSystemEncoding(), '?', false, nullptr, 0, &needed);
  std::vector<UInt8> bytes(size_t(needed) + 1);
  CFIndex used = 0;
  CFStringGetBytes(cfTextPart, CFRangeMake(0, length), CFStringGetSystemEncoding(), '?', false, bytes.data(), needed,
                   &used);
  AppendBytes(textPtr, textSize, reinterpret_cast<const char *>(bytes.data()), size_t(used));
}

void GL_AddBooleanFieldDescrToTextPtr(Ptr textPtr, SInt32 *textSize, CFStringRef title, Boolean value) {
  AddField(textPtr, textSize, title, value ? "yes" : "no");
}

void GL_AddLongFieldDescrToTextPtr(Ptr textPtr, SInt32 *textSize, CFStringRef title, SInt64 value) {
  AddField(textPtr, textSize, title, PL_Format("%ld", value));
}

void GL_AddLongFieldDescrToTextPtr2(Ptr textPtr, SInt32 *textSize, CFStringRef title, SInt64 value,
                                    CFStringRef comment) {
  AddField(textPtr, textSize, title, PL_Format("%ld%@", value, comment != nullptr ? comment : CFSTR("")));
}

void GL_AddFloatFieldDescrToTextPtr(Ptr textPtr, SInt32 *textSize, CFStringRef title, float value, int maxDigits) {
  char str[256];
  GL_FloatRoundToStr(value, str, maxDigits);
  AddField(textPtr, textSize, title, str);
}

void GL_AddByteFieldDescrToTextPtr(Ptr textPtr, SInt32 *textSize, CFStringRef title, SInt64 numBytes) {
  AddField(textPtr, textSize, title, Bytes(numBytes));
}

void GL_AddOSTypeFieldDescrToTextPtr(Ptr textPtr, SInt32 *textSize, CFStringRef title, OSType type) {
  char code[5];
  GL_OSTypeToCString(type, code);
  GL_AddCFStringToTextPtr(textPtr, textSize, title);
  AppendText(textPtr, textSize, std::string(": '") + code + "'\n");
}

void GL_AddRectFieldDescrToTextPtr(Ptr textPtr, SInt32 *textSize, CFStringRef title, const Rect *rect) {
  if (rect == nullptr) return;
  AddField(textPtr, textSize, title,
           PL_Format("top %ld, left %ld, bottom %ld, right %ld", rect->top, rect->left, rect->bottom, rect->right));
}

void GL_AddPointFieldDescrToTextPtr(Ptr textPtr, SInt32 *textSize, CFStringRef title, Point pt) {
  AddField(textPtr, textSize, title, PL_Format("vert %ld, horiz %ld", pt.v, pt.h));
}

void GL_AddHexFieldDescrToTextPtr(Ptr textPtr, SInt32 *textSize, CFStringRef title, UInt32 number) {
  char hex[11];
  GL_NumToHex(number, hex);
  AddField(textPtr, textSize, title, hex);
}

void GL_AddVersionFieldDescrToTextPtr(Ptr textPtr, SInt32 *textSize, CFStringRef title, UInt32 number) {
  char version[256];
  GL_NumToVersion(number, version);
  AddField(textPtr, textSize, title, version);
}

void GL_AddVersionsFieldDescrToTextPtr(Ptr textPtr, SInt32 *textSize, CFStringRef title, SInt32 systemVersionMajor,
                                       SInt32 systemVersionMinor, SInt32 systemVersionBugFix) {
  char version[256];
  GL_NumToVersion2(systemVersionMajor, systemVersionMinor, systemVersionBugFix, version);
  AddField(textPtr, textSize, title, version);
}

// ---- Four-character codes ----

void GL_OSTypeToCString(OSType type, char *cString) {
  if (cString == nullptr) return;
  cString[0] = char(type >> 24);
  cString[1] = char(type >> 16);
  cString[2] = char(type >> 8);
  cString[3] = char(type);
  cString[4] = 0;
}

void GL_OSTypeToCStringWithQuo(OSType type, char *cString) {
  if (cString == nullptr) return;
  cString[0] = '\'';
  for (int i = 0; i < 4; ++i) {
    const auto c = UInt8(type >> (24 - 8 * i));
    cString[1 + i] = c >= 32 && c < 127 ? char(c) : ' ';
  }
  cString[5] = '\'';
  cString[6] = 0;
}

void GL_PrintOSTypeWithName(OSType type, const char *name) {
  char quoted[7];
  GL_OSTypeToCStringWithQuo(type, quoted);
  PL_Printf("%s: %s\n", name, quoted);
}

OSType GL_CStrToOSType(const char *cString) {
  if (cString == nullptr) return 0;
  OSType code = 0;
  bool ended = false;
  for (int i = 0; i < 4; ++i) {
    const auto b = ended ? UInt8(0) : UInt8(cString[i]);
    if (b == 0) ended = true;
    code = (code << 8) | b;
  }
  return code;
}

Boolean GL_IsOSTypeInList(const OSType *list, SInt32 numInList, OSType type) {
  if (list == nullptr) return false;
  for (SInt32 i = 0; i < numInList; ++i) {
    if (list[i] == type) return true;
  }
  return false;
}

// ---- Hexadecimal, versions and numbers ----

void GL_NumToHex(UInt32 number, char *hexStr) {
  if (hexStr == nullptr) return;
  PL_SNPrintf(hexStr, 11, "0x%08X", number);
}

UInt32 GL_HexToNum(const char *hexStr) {
  if (hexStr == nullptr || hexStr[0] == 0 || hexStr[1] == 0) return 0;
  UInt32 value = 0;
  for (const char *p = hexStr + 2; *p != 0; ++p) {
    UInt32 digit;
    if (*p >= '0' && *p <= '9') {
      digit = UInt32(*p - '0');
    } else if (*p >= 'A' && *p <= 'F') {
      digit = UInt32(*p - 'A' + 10);
    } else {
      break;
    }
    value = (value << 4) | digit;
  }
  return value;
}

char *GL_DataToHexCStr(const void *data, SInt32 size) {
  if (size < 0 || (data == nullptr && size > 0)) return nullptr;
  static const char kHex[] = "0123456789ABCDEF";
  auto *out = static_cast<char *>(std::malloc(2 + 2 * size_t(size) + 1));
  if (out == nullptr) return nullptr;
  out[0] = '0';
  out[1] = 'X';
  const auto *bytes = static_cast<const UInt8 *>(data);
  for (SInt32 i = 0; i < size; ++i) {
    out[2 + 2 * i] = kHex[bytes[i] >> 4];
    out[3 + 2 * i] = kHex[bytes[i] & 15];
  }
  out[2 + 2 * size_t(size)] = 0;
  return out;
}

Boolean GL_CStringIsPureHex(const char *str) {
  if (str == nullptr) return false;
  for (const char *p = str; *p != 0; ++p) {
    if (!std::isxdigit(static_cast<unsigned char>(*p))) return false;
  }
  return true;
}

Boolean GL_CStringIsPureBinary(const char *str) {
  if (str == nullptr) return false;
  for (const char *p = str; *p != 0; ++p) {
    if (*p != '0' && *p != '1') return false;
  }
  return true;
}

void GL_NumToVersion(UInt32 number, char *version) {
  if (version == nullptr) return;
  char hex[11];
  GL_NumToHex(number, hex);
  const char *d = hex + 6;  // the last four digits: the low 16 bits
  char out[8];
  if (d[0] != '0') {
    const char text[] = {d[0], d[1], '.', d[2], '.', d[3], 0};
    std::memcpy(out, text, sizeof text);
  } else {
    const char text[] = {d[1], '.', d[2], '.', d[3], 0};
    std::memcpy(out, text, sizeof text);
  }
  std::strcpy(version, out);
}

void GL_NumToVersion2(SInt32 systemVersionMajor, SInt32 systemVersionMinor, SInt32 systemVersionBugFix,
                      char *version) {
  if (version == nullptr) return;
  PL_SNPrintf(version, 256, "%ld.%ld.%ld", systemVersionMajor, systemVersionMinor, systemVersionBugFix);
}

void GL_NumToCString(SInt64 number, char *str) {
  if (str != nullptr) PL_SNPrintf(str, 256, "%ld", number);
}

void GL_AddNumToStr(char *s, SInt64 number) {
  if (s != nullptr) std::strcat(s, PL_Format("%ld", number).c_str());
}

void GL_AppendSpaceNumber(char *s, SInt64 number) {
  if (s != nullptr) std::strcat(s, PL_Format(" %ld", number).c_str());
}

void GL_AppendPeriodNumber(char *s, SInt64 number) {
  if (s != nullptr) std::strcat(s, PL_Format(".%ld", number).c_str());
}

void GL_SafeAppendSpaceNumberTruncEnd(char *s, SInt64 number, int maxLength) {
  if (s == nullptr) return;
  const std::string num = PL_Format("%ld", number);
  const SInt64 room = std::max<SInt64>(SInt64(maxLength) - SInt64(num.size()) - 1, 0);
  if (SInt64(std::strlen(s)) > room) s[room] = 0;
  std::strcat(s, (" " + num).c_str());
}

void GL_FloatToStr(float number, char *str) {
  if (str != nullptr) PL_SNPrintf(str, 256, "%.2f", number);
}

void GL_FloatRoundToStr(float number, char *str, int maxDigits) {
  if (str == nullptr) return;
  char format[16];
  AC_MakeMaxFloatSizeFormatStr(maxDigits, format);
  PL_SNPrintf(str, 256, format, number);
}

float GL_RoundFloat(float number, int maxDigits) {
  char str[256];
  GL_FloatRoundToStr(number, str, maxDigits);
  return float(std::atof(str));
}

void GL_FixedToString(Fixed fixed, int numDigitsAfterDecimalPoint, char *fixedStr) {
  if (fixedStr == nullptr) return;
  const int digits = std::clamp(numDigitsAfterDecimalPoint, 0, 16);
  const SInt64 magnitude = fixed < 0 ? -SInt64(fixed) : SInt64(fixed);
  const SInt64 whole = magnitude >> 16;
  const UInt64 fraction = UInt64(magnitude & 0xFFFF);
  std::string text = (fixed < 0 ? "-" : "") + PL_Format("%ld", whole);
  if (digits > 0) {
    UInt64 scale = 1;
    for (int i = 0; i < digits; ++i) scale *= 10;
    // fraction < 2^16 and scale <= 10^16: the product fits 64 bits.
    const UInt64 decimals = fraction * scale >> 16;
    text += PL_Format(".%0*lu", digits, decimals);
  }
  Put255(text, fixedStr);
}

void GL_FixedToPercentageAsText(Fixed fixed, char *str) {
  if (str == nullptr) return;
  const auto percent = SInt64(std::llround(double(fixed) * 100.0 / 65536.0));
  PL_SNPrintf(str, 256, "%ld%%", percent);
}

void GL_WideNumToString(const wide *number, char *str) {
  if (number == nullptr || str == nullptr) return;
  const auto value = SInt64(WideToU64(number));
  const UInt64 magnitude = value < 0 ? UInt64(0) - UInt64(value) : UInt64(value);
  UInt8 sum[kDigits] = {};
  UInt8 power[kDigits] = {};
  power[kDigits - 1] = 1;
  for (int bit = 0; bit < 64; ++bit) {
    if ((magnitude >> bit) & 1) GL_AddDigitArrays(sum, power, kDigits);
    GL_MultiplyDigitArray(power, kDigits, 2);
  }
  std::string text = value < 0 ? "-" : "";
  int first = 0;
  while (first < kDigits - 1 && sum[first] == 0) ++first;
  for (int i = first; i < kDigits; ++i) text += char('0' + sum[i]);
  Put255(text, str);
}

void GL_TrueNumberStringToWide(const char *str, wide *number) {
  if (number == nullptr) return;
  U64ToWide(0, number);
  if (str == nullptr) return;
  size_t n = 0;
  while (n < size_t(kDigits) && str[n] >= '0' && str[n] <= '9') ++n;
  UInt8 value[kDigits] = {};
  for (size_t i = 0; i < n; ++i) value[size_t(kDigits) - n + i] = UInt8(str[i] - '0');
  // 2^63 as decimal digits, halved each round.
  UInt8 power[kDigits] = {0, 9, 2, 2, 3, 3, 7, 2, 0, 3, 6, 8, 5, 4, 7, 7, 5, 8, 0, 8};
  UInt64 result = 0;
  for (int k = 1; k <= 64; ++k) {
    if (GL_CompareDigitArrays(value, power, kDigits) >= 0) {
      GL_SubtractDigitArrays(value, power, kDigits);
      result |= UInt64(1) << (64 - k);
    }
    UInt8 remainder = 0;
    GL_DivideDigitArray(power, kDigits, 2, &remainder);
  }
  U64ToWide(result, number);
}

void GL_StringToWideNum(const char *str, wide *number) {
  if (number == nullptr) return;
  U64ToWide(0, number);
  if (str == nullptr) return;
  const char *p = str;
  while (*p != 0 && IsSkippable(static_cast<unsigned char>(*p))) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
    while (*p != 0 && IsSkippable(static_cast<unsigned char>(*p))) ++p;
  }
  GL_TrueNumberStringToWide(p, number);
  if (negative) U64ToWide(UInt64(0) - WideToU64(number), number);
}

void GL_NumBytesToStr(SInt64 numBytes, char *str) { Put255(Bytes(numBytes), str); }

// ---- Time codes ----

void GL_TimeInSecToTimeCodeStr1(double timeInSec, char *str, SInt32 framesPerSec) {
  if (str == nullptr) return;
  const double whole = std::floor(timeInSec);
  const auto seconds = SInt64(whole);
  const auto frames = SInt64((timeInSec - whole) * double(framesPerSec));
  PL_SNPrintf(str, 256, "%ld:%ld:%ld:%ld", seconds / 3600, (seconds % 3600) / 60, seconds % 60, frames);
}

void GL_TimeInSecToTimeCodeStr1_Alt(double timeInSec, char *str, SInt32 numFrames) {
  const double rate = timeInSec > 0 ? std::round(double(numFrames) / timeInSec) : 0.0;
  const auto framesPerSec = SInt32(std::clamp(rate, -2147483648.0, 2147483647.0));
  GL_TimeInSecToTimeCodeStr1(timeInSec, str, framesPerSec);
}

void GL_TimeInSecToTimeCodeStr2(double timeInSec, char *str) {
  if (str == nullptr) return;
  const auto whole = SInt64(std::floor(timeInSec));
  const SInt64 hours = whole / 3600;
  const SInt64 minutes = (whole % 3600) / 60;
  const double seconds = timeInSec - double(hours * 3600 + minutes * 60);
  PL_SNPrintf(str, 256, "%ldh,%ldm,%.2fs", hours, minutes, seconds);
}

OSStatus GL_TimeCodeStrToSec(const char *str, double *sec, SInt32 framesPerSec) {
  if (sec == nullptr) return paramErr;
  *sec = 0;
  if (str == nullptr) return paramErr;
  long long parts[4];
  const char *p = str;
  for (int i = 0; i < 4; ++i) {
    char *end = nullptr;
    if (*p < '0' || *p > '9') return paramErr;
    parts[i] = std::strtoll(p, &end, 10);
    p = end;
    if (i < 3) {
      if (*p != ':') return paramErr;
      ++p;
    }
  }
  if (*p != 0) return paramErr;
  *sec = double(parts[0]) * 3600.0 + double(parts[1]) * 60.0 + double(parts[2]) +
         (framesPerSec > 0 ? double(parts[3]) / double(framesPerSec) : 0.0);
  return noErr;
}

// ---- Comparison, copying and editing ----

Boolean GL_EqualCStr(const char *s1, const char *s2) {
  if (s1 == nullptr || s2 == nullptr) return s1 == s2;
  return std::strcmp(s1, s2) == 0;
}

Boolean GL_EqualCStringMP(const char *sA, const char *sB, SInt32 maxLen) {
  if (sA == nullptr || sB == nullptr) return sA == sB;
  for (SInt32 i = 0; i <= maxLen; ++i) {
    if (sA[i] != sB[i]) return false;
    if (sA[i] == 0) return true;
  }
  return true;
}

Boolean GL_IsStringEmpty(const char *s) { return s == nullptr || s[0] == 0; }

void GL_CopyStringMP(const char *sB, char *sA) {
  if (sA == nullptr || sB == nullptr) return;
  std::memmove(sA, sB, std::strlen(sB) + 1);
}

void GL_TextToStrCopy(const char *text, SInt32 length, char *str) {
  if (str == nullptr) return;
  if (text == nullptr || length < 0) length = 0;
  std::memmove(str, text, size_t(length));
  str[length] = 0;
}

void GL_SafeAppendString(char *original, const char *added, SInt32 maxSize) {
  if (original == nullptr || added == nullptr) return;
  const size_t limit = maxSize > 0 ? size_t(maxSize) : 0;
  const size_t addedLen = std::strlen(added);
  const size_t originalLen = std::strlen(original);
  if (originalLen + addedLen <= limit) {
    std::memmove(original + originalLen, added, addedLen + 1);
    return;
  }
  // Too long: the end of the original goes first, and an `added` longer than the limit is cut as well.
  const size_t keptAdded = std::min(addedLen, limit);
  const size_t keptOriginal = limit - keptAdded;
  std::memmove(original + keptOriginal, added, keptAdded);
  original[keptOriginal + keptAdded] = 0;
}

void GL_PrependString(char *original, const char *added) {
  if (original == nullptr || added == nullptr) return;
  const size_t originalLen = std::strlen(original);
  const size_t addedLen = std::min(std::strlen(added), originalLen >= 255 ? 0 : 255 - originalLen);
  std::memmove(original + addedLen, original, originalLen + 1);
  std::memmove(original, added, addedLen);
}

void GL_GetStringEnd(const char *s, SInt32 length, char *endStr) {
  if (s == nullptr || endStr == nullptr) return;
  const size_t n = std::strlen(s);
  const size_t take = length < 0 ? 0 : std::min(n, size_t(length));
  std::memmove(endStr, s + n - take, take + 1);
}

void GL_RemoveStringEnd(char *s, SInt32 length) {
  if (s == nullptr || length <= 0) return;
  const size_t n = std::strlen(s);
  s[n - std::min(n, size_t(length))] = 0;
}

void GL_RemoveCharacterFromString(char *s, SInt32 i) {
  if (s == nullptr || i < 1) return;
  const size_t n = std::strlen(s);
  if (size_t(i) > n) return;
  std::memmove(s + i - 1, s + i, n - size_t(i) + 1);
}

void GL_PutInParentheses(char *s) {
  if (s == nullptr) return;
  const size_t n = std::strlen(s);
  std::memmove(s + 1, s, n);
  s[0] = '"';
  s[n + 1] = '"';
  s[n + 2] = 0;
}

void GL_AddPostfix(char *s, const char *postfix, SInt32 maxLength, Boolean truncWhere) {
  if (s == nullptr || postfix == nullptr) return;
  const auto postLen = SInt32(std::strlen(postfix));
  if (postLen > maxLength - 3 || maxLength > 255) return;
  const auto len = SInt32(std::strlen(s));
  const SInt32 excess = len + postLen - maxLength;
  if (excess > 0) {
    if (truncWhere) {
      GL_TruncStringMiddle(s, 3, excess);
    } else {
      const SInt32 newLen = len - excess;
      s[newLen - 1] = char(kGL_MacRomanEllipsis);
      s[newLen] = 0;
    }
  }
  std::strcat(s, postfix);
}

void GL_AppendCharacter31(char *s, char c) {
  const char one[2] = {c, 0};
  GL_AddPostfix(s, one, 31, true);
}

void GL_TruncStringMiddleByOneChar(char *s, char ellipsis) {
  if (s == nullptr) return;
  const size_t n = std::strlen(s);
  if (n < 4) return;
  const char *found = std::strchr(s, ellipsis);
  if (found != nullptr && ellipsis != 0) {
    const auto at = size_t(found - s);
    const size_t before = at;
    const size_t after = n - at - 1;
    // Remove the neighbour on the longer side (on a tie, the one after it).
    const size_t remove = before > after ? at - 1 : at + 1;
    if (remove >= n) return;
    std::memmove(s + remove, s + remove + 1, n - remove);
    return;
  }
  s[n / 2] = ellipsis;
}

void GL_TruncStringMiddle(char *s, SInt32 minSize, SInt32 requestedReduction) {
  if (s == nullptr || minSize <= 2 || requestedReduction <= 0) return;
  const auto length = SInt32(std::strlen(s));
  const SInt32 reduction = std::min(requestedReduction, length - minSize);
  if (reduction <= 0) return;
  const SInt32 remaining = length - reduction;
  const SInt32 head = remaining / 2;
  const SInt32 tail = remaining - head - 1;
  s[head] = char(kGL_MacRomanEllipsis);
  std::memmove(s + head + 1, s + length - tail, size_t(tail) + 1);
}

void GL_GetNameEndString(const char *name, char *endStr) {
  if (endStr == nullptr) return;
  endStr[0] = 0;
  if (name == nullptr) return;
  const char *space = std::strrchr(name, ' ');
  if (space == nullptr || std::strlen(space) > 15) return;
  std::strcpy(endStr, space);
}

OSStatus GL_GetNameEndIndex(const char *name, char *endNumberStr, SInt32 *endNumber) {
  if (endNumberStr != nullptr) endNumberStr[0] = 0;
  if (endNumber != nullptr) *endNumber = 0;
  if (name == nullptr) return paramErr;
  const char *space = std::strrchr(name, ' ');
  if (space == nullptr || space - name < 2) return kGL_NoNameEndErr;
  const char *digits = space + 1;
  const size_t n = std::strlen(digits);
  if (n == 0 || n > 15) return kGL_NoNameEndErr;
  for (const char *p = digits; *p != 0; ++p) {
    if (!GL_IsNumericCharacter(*p)) return kGL_NonNumericCharacterErr;
  }
  if (endNumberStr != nullptr) std::strcpy(endNumberStr, digits);
  if (endNumber != nullptr) *endNumber = SInt32(std::atol(digits));
  return noErr;
}

OSStatus GL_ChangeNameEndIndex(char *name, SInt32 increment) {
  SInt32 number = 0;
  OSStatus err = GL_GetNameEndIndex(name, nullptr, &number);
  if (err != noErr) return err;
  const char *space = std::strrchr(name, ' ');
  const std::string updated = std::string(name, size_t(space - name)) + PL_Format(" %ld", SInt64(number) + increment);
  if (updated.size() >= 64) return kGL_StringTooLongErr;
  std::strcpy(name, updated.c_str());
  return noErr;
}

OSStatus GL_RemoveNameEndIndex(char *name) {
  OSStatus err = GL_GetNameEndIndex(name, nullptr, nullptr);
  if (err != noErr) return err;
  *std::strrchr(name, ' ') = 0;
  return noErr;
}

const char *GL_FindNextLine(const char *curInText, const char *endOfText) {
  if (curInText == nullptr || endOfText == nullptr) return endOfText;
  for (const char *p = curInText; p < endOfText; ++p) {
    if (*p == 13) return p + 1;
  }
  return endOfText;
}

// ---- Words ----

OSStatus GL_FindWord(const char *line, const char *findWord, SInt32 *position) {
  if (position != nullptr) *position = 0;
  if (line == nullptr || findWord == nullptr) return paramErr;
  const size_t wordLen = std::strlen(findWord);
  const size_t lineLen = std::strlen(line);
  if (wordLen >= 16) return kGL_WordIndexErr;
  if (wordLen > lineLen) return kGL_WordNotFoundErr;
  if (wordLen == 0) return noErr;
  for (size_t i = 0; i + wordLen <= lineLen; ++i) {
    const bool startOk = i == 0 || line[i - 1] == ' ';
    const bool endOk = i + wordLen == lineLen || line[i + wordLen] == ' ';
    if (startOk && endOk && std::strncmp(line + i, findWord, wordLen) == 0) {
      if (position != nullptr) *position = SInt32(i + 1);
      return noErr;
    }
  }
  return noErr;
}

OSStatus GL_InsertWord(char *line, const char *insert, SInt32 position) {
  if (line == nullptr || insert == nullptr) return paramErr;
  const size_t lineLen = std::strlen(line);
  const size_t wordLen = std::strlen(insert);
  if (wordLen > 31 || position < 1 || size_t(position) > lineLen + 1) return kGL_WordIndexErr;
  if (lineLen + wordLen + 1 > 255) return kGL_StringTooLongErr;
  const size_t at = size_t(position - 1);
  std::memmove(line + at + wordLen + 1, line + at, lineLen - at + 1);
  std::memcpy(line + at, insert, wordLen);
  line[at + wordLen] = ' ';
  return noErr;
}

OSStatus GL_InsertWordBehind(char *line, const char *behindStr, const char *insertStr) {
  if (line == nullptr || behindStr == nullptr || insertStr == nullptr) return paramErr;
  SInt32 position = 0;
  OSStatus err = GL_FindWord(line, behindStr, &position);
  if (err != noErr) return err;
  if (position == 0) return kGL_InsertWordBehindErr;
  const size_t lineLen = std::strlen(line);
  const size_t after = size_t(position - 1) + std::strlen(behindStr);
  if (after < lineLen) return GL_InsertWord(line, insertStr, SInt32(after + 2));  // after the space
  // The word ends the line: the new word follows after a space.
  const size_t wordLen = std::strlen(insertStr);
  if (wordLen > 31) return kGL_WordIndexErr;
  if (lineLen + wordLen + 1 > 255) return kGL_StringTooLongErr;
  line[lineLen] = ' ';
  std::memcpy(line + lineLen + 1, insertStr, wordLen + 1);
  return noErr;
}

OSStatus GL_AddWordSubToList(GL_WordSub **firstSub, const char *behind, const char *insert) {
  if (firstSub == nullptr || behind == nullptr || insert == nullptr) return paramErr;
  if (std::strlen(behind) >= 16 || std::strlen(insert) >= 16) return kGL_WordIndexErr;
  GL_WordSub *sub = nullptr;
  OSStatus err = LL_AddNewPtr(sizeof(GL_WordSub), nullptr, firstSub, &sub);  // at the end
  if (err != noErr) return err;
  std::strcpy(sub->behind, behind);
  std::strcpy(sub->insert, insert);
  return noErr;
}

OSStatus GL_WordInsertions(char *line, const GL_WordSub *firstSub) {
  for (const GL_WordSub *sub = firstSub; sub != nullptr; sub = sub->next) {
    OSStatus err = GL_InsertWordBehind(line, sub->behind, sub->insert);
    if (err != noErr) return err;
  }
  return noErr;
}

// ---- Character classes and digit filters ----

Boolean GL_IsNumericCharacter(char c) { return c == '+' || c == '-' || (c >= '0' && c <= '9'); }
Boolean GL_IsNumericCharacterFloat(char c) { return GL_IsNumericCharacter(c) || c == '.'; }
Boolean GL_IsDigit(char c) { return c >= '0' && c <= '9'; }
Boolean GL_IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
Boolean GL_IsWordDelimiter(char c) { return !GL_IsDigit(c) && !GL_IsLetter(c); }
Boolean GL_IsInvisibleAsciiCharacter(char c) { return IsSkippable(static_cast<unsigned char>(c)); }

Boolean GL_AnyNonDigitInTextString(const char *str) {
  if (str == nullptr) return false;
  for (const char *p = str; *p != 0; ++p) {
    if (!GL_IsNumericCharacter(*p)) return true;
  }
  return false;
}

void GL_RemoveAnyNonDigitInString(char *numText) {
  if (numText == nullptr) return;
  std::string out;
  for (const char *p = numText; *p != 0; ++p) {
    if (GL_IsDigit(*p) || ((*p == '+' || *p == '-') && out.empty())) out += *p;
  }
  out = out.substr(0, 11);
  std::strcpy(numText, out.c_str());
}

void GL_RemoveAnyNonDigitInFloatString(char *numText) {
  if (numText == nullptr) return;
  std::string out;
  bool point = false;
  for (const char *p = numText; *p != 0; ++p) {
    if (GL_IsDigit(*p) || ((*p == '+' || *p == '-') && out.empty())) {
      out += *p;
    } else if (*p == '.' && !point) {
      out += '.';
      point = true;
    }
  }
  out = out.substr(0, 14);
  // A bare point gets its zeros: "." reads "0.0", "5." reads "5.0", ".5" reads "0.5".
  const size_t dot = out.find('.');
  if (dot != std::string::npos) {
    const size_t signLen = !out.empty() && (out[0] == '+' || out[0] == '-') ? 1 : 0;
    if (dot + 1 == out.size()) out += '0';
    if (dot == signLen) out.insert(signLen, "0");
  }
  std::strcpy(numText, out.c_str());
}

void GL_EnforceTextValueBounds(char *numStr, SInt32 min, SInt32 max) {
  if (numStr == nullptr) return;
  GL_RemoveAnyNonDigitInString(numStr);
  const SInt64 value = std::clamp<SInt64>(std::atoll(numStr), min, std::max(min, max));
  PL_SNPrintf(numStr, 16, "%ld", value);
}

void GL_EnforceEvenTextValue(char *numStr) {
  if (numStr == nullptr) return;
  const SInt64 value = std::atoll(numStr);
  PL_SNPrintf(numStr, 32, "%ld", value - value % 2);
}

void GL_EnforceTextFloatValueBounds(char *numStr, float min, float max) {
  if (numStr == nullptr) return;
  GL_RemoveAnyNonDigitInFloatString(numStr);
  float value = float(std::atof(numStr));
  if (!(value >= min)) value = min;  // NaN goes to min too
  if (value > max) value = max;
  PL_SNPrintf(numStr, 64, "%.2f", value);
}

void GL_ReduceTextToLowerASCII(char *text, SInt32 len) {
  if (text == nullptr) return;
  for (SInt32 i = 0; i < len; ++i) text[i] = char(static_cast<unsigned char>(text[i]) & 0x7F);
}

SInt32 GL_CountCharParamsInText(const char *text, SInt32 selStart, SInt32 selEnd, ScriptCode script) {
  if (text == nullptr || selEnd <= selStart || selStart < 0) return 0;
  if (script == smRoman) return selEnd - selStart;
  // UTF-8: a character is its lead byte and the continuation bytes that follow it.
  SInt32 count = 0;
  for (SInt32 i = selStart; i < selEnd; ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++count;
  }
  return count;
}

// ---- Window names ----

void GL_SuggestName(WindowRef window, char *suggestedName, const char *postFix) {
  if (suggestedName == nullptr) return;
  suggestedName[0] = 0;
  CFStringRef title = nullptr;
  if (CopyWindowTitleAsCFString(window, &title) != noErr || title == nullptr) return;
  // A longer title is cut after its last whole character rather than refused.
  CFIndex used = 0;
  CFStringGetBytes(title, CFRangeMake(0, CFStringGetLength(title)), CFStringGetSystemEncoding(), 0, false,
                   reinterpret_cast<UInt8 *>(suggestedName), 63, &used);
  CFRelease(title);
  suggestedName[used] = 0;
  if (postFix == nullptr) return;
  size_t room = 255 - size_t(used);
  size_t take = std::strlen(postFix);
  if (take > room) {
    take = room;
    // Do not split a UTF-8 character of the postfix.
    while (take > 0 && (static_cast<unsigned char>(postFix[take]) & 0xC0) == 0x80) --take;
  }
  std::memcpy(suggestedName + used, postFix, take);
  suggestedName[size_t(used) + take] = 0;
}

// ---- Measured text ----

namespace {

// The first 255 bytes of a zero-terminated string as a Pascal string.
void ToStr255(const char *s, Str255 p) {
  const size_t n = s == nullptr ? 0 : std::min<size_t>(std::strlen(s), 255);
  p[0] = UInt8(n);
  if (n > 0) std::memcpy(p + 1, s, n);
}

// Sets the current port's font, size and face and puts the old ones back when it goes out of scope.
class PortTextStyleScope {
 public:
  PortTextStyleScope(SInt16 font, SInt16 size, Style face) {
    QDD_GetPort(&port_);
    font_ = GetPortTextFont(port_);
    size_ = GetPortTextSize(port_);
    face_ = GetPortTextFace(port_);
    GLD_TextFont(font);
    GLD_TextSize(size);
    GLD_TextFace(face);
  }
  ~PortTextStyleScope() {
    if (port_ == nullptr) return;
    const OSErr err = QDError();
    SetPortTextFont(port_, font_);
    SetPortTextSize(port_, size_);
    SetPortTextFace(port_, face_);
    PL_SetQDError(err);
  }
  PortTextStyleScope(const PortTextStyleScope &) = delete;
  PortTextStyleScope &operator=(const PortTextStyleScope &) = delete;

 private:
  GrafPtr port_ = nullptr;
  SInt16 font_ = 0;
  SInt16 size_ = 0;
  Style face_ = 0;
};

struct WordSpan {
  size_t start;
  size_t length;
};

// The words of a line: runs of visible characters.
std::vector<WordSpan> WordsOf(const std::string &line) {
  std::vector<WordSpan> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsSkippable(static_cast<unsigned char>(line[i]))) ++i;
    const size_t start = i;
    while (i < line.size() && !IsSkippable(static_cast<unsigned char>(line[i]))) ++i;
    if (i > start) words.push_back({start, i - start});
  }
  return words;
}

SInt16 WidthOf(const std::string &s) { return GL_CStringWidth(s.c_str()); }

// The word cut in its middle to `keep` characters, the ellipsis counted among them: the first keep / 2
// characters, the ellipsis, the last ones. Characters are UTF-8 characters or stray bytes.
std::string MiddleCut(const std::string &word, size_t keep) {
  std::vector<size_t> starts;
  for (size_t i = 0; i < word.size(); ++i)
    if ((static_cast<unsigned char>(word[i]) & 0xC0) != 0x80) starts.push_back(i);
  const size_t n = starts.size();
  starts.push_back(word.size());
  if (keep >= n) return word;
  const size_t head = keep / 2;
  const size_t tail = keep - head - 1;
  return word.substr(0, starts[head]) + char(kGL_MacRomanEllipsis) + word.substr(starts[n - tail]);
}

size_t CharacterCount(const std::string &s) {
  size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

}  // namespace

SInt16 GL_CStringWidth(const char *s) {
  Str255 p;
  ToStr255(s, p);
  return GLD_StringWidth(p);
}

void GL_DrawCString(const char *s) {
  Str255 p;
  ToStr255(s, p);
  GLD_DrawString(p);
}

SInt16 GL_GetStringWidth(const char *string, SInt16 fontNumber, SInt16 fontSize, Style fontStyle) {
  PortTextStyleScope style(fontNumber, fontSize, fontStyle);
  return GL_CStringWidth(string);
}

SInt16 GL_GetWidestWordInLine(const char *line, char *widestWord) {
  if (widestWord != nullptr) widestWord[0] = 0;
  if (line == nullptr) return 0;
  const std::string text(line);
  SInt16 widest = 0;
  bool any = false;
  for (const WordSpan &w : WordsOf(text)) {
    const std::string word = text.substr(w.start, w.length);
    const SInt16 width = WidthOf(word);
    if (!any || width > widest) {
      any = true;
      widest = width;
      if (widestWord != nullptr) std::memcpy(widestWord, word.c_str(), word.size() + 1);
    }
  }
  return widest;
}

OSStatus GL_TruncWordsInLine(char *line, SInt16 maxWidth, SInt16 fontNumber, SInt16 fontSize, Style fontStyle) {
  if (line == nullptr || maxWidth < 80) return noErr;
  PortTextStyleScope style(fontNumber, fontSize, fontStyle);
  std::string text(line);
  // From the last word to the first, so that the spans of the words still to do stay where they are.
  const std::vector<WordSpan> words = WordsOf(text);
  for (auto w = words.rbegin(); w != words.rend(); ++w) {
    const std::string word = text.substr(w->start, w->length);
    if (WidthOf(word) <= maxWidth) continue;
    // Drop one character more each time; three (first, ellipsis, last) is as short as a word gets.
    std::string shortened = word;
    for (size_t keep = CharacterCount(word) - 1; keep >= 3; --keep) {
      shortened = MiddleCut(word, keep);
      if (WidthOf(shortened) <= maxWidth) break;
    }
    text.replace(w->start, w->length, shortened);
  }
  // The text never grows: a cut replaces at least one byte by the one-byte ellipsis.
  std::memcpy(line, text.c_str(), text.size() + 1);
  return noErr;
}

OSStatus GL_FitStringsInLineBox(const GL_CStringLE *stringList, const Rect *textBox, int numSpaces,
                                TextStyle *fontInfo, char *line) {
  if (textBox == nullptr || fontInfo == nullptr || line == nullptr || numSpaces < 0) return paramErr;
  line[0] = 0;
  std::string joined;
  for (const GL_CStringLE *e = stringList; e != nullptr; e = e->next) {
    if (e != stringList) joined.append(size_t(numSpaces), ' ');
    if (e->str != nullptr) joined += e->str;
    if (joined.size() > 255) return kGL_StringTooLongErr;
  }
  std::memcpy(line, joined.c_str(), joined.size() + 1);

  const SInt32 room = SInt32(textBox->right) - textBox->left - 2;
  GLD_TextFont(fontInfo->tsFont);
  GLD_TextFace(fontInfo->tsFace);
  GLD_TextSize(fontInfo->tsSize);
  SInt16 width = GL_CStringWidth(line);
  if (QDError() != noErr) return QDError();
  while (width > room && fontInfo->tsSize > 9) {
    fontInfo->tsSize = SInt16(fontInfo->tsSize - 1);
    GLD_TextSize(fontInfo->tsSize);
    width = GL_CStringWidth(line);
    if (QDError() != noErr) return QDError();
  }
  return width > room ? OSStatus(kGL_StringsDoNotFitErr) : OSStatus(noErr);
}

// ---- Line fitting of CF strings ----

CFMutableStringRef GL_MakeCompoundStr(const GL_CFStringLE *stringList, int numSpaces, Boolean padWithSpaces) {
  CFMutableStringRef compound = CFStringCreateMutable(kCFAllocatorDefault, 0);
  if (compound == nullptr) return nullptr;
  const std::string gap(size_t(std::max(numSpaces, 0)), ' ');
  const std::string pad = padWithSpaces ? std::string(gap.size() / 2, ' ') : std::string();
  CFStringAppendCString(compound, pad.c_str(), kCFStringEncodingUTF8);
  for (const GL_CFStringLE *e = stringList; e != nullptr; e = e->next) {
    if (e != stringList) CFStringAppendCString(compound, gap.c_str(), kCFStringEncodingUTF8);
    if (e->str != nullptr) CFStringAppend(compound, e->str);
  }
  CFStringAppendCString(compound, pad.c_str(), kCFStringEncodingUTF8);
  return compound;
}

namespace {

// The longest text the measuring takes, in UTF-16 units.
constexpr CFIndex kFitMaxUnits = 256;

// The width in whole pixels of the compound text with n spaces in the current port; *tooLong when it
// exceeds the measuring buffer (then the width is not measured).
OSStatus MeasureCompound(const GL_CFStringLE *list, int n, Boolean pad, SInt32 *width, Boolean *tooLong) {
  *width = 0;
  *tooLong = false;
  CFMutableStringRef compound = GL_MakeCompoundStr(list, n, pad);
  if (compound == nullptr) return memFullErr;
  if (CFStringGetLength(compound) > kFitMaxUnits) {
    *tooLong = true;
    CFRelease(compound);
    return noErr;
  }
  char utf8[kFitMaxUnits * 3 + 1];
  Boolean ok = CFStringGetCString(compound, utf8, sizeof utf8, kCFStringEncodingUTF8);
  CFRelease(compound);
  if (!ok) return memFullErr;
  *width = TextWidth(utf8, 0, SInt16(std::strlen(utf8)));
  return QDError();
}

}  // namespace

OSStatus GL_FitCFStringsInLineBox(ThemeFontID themeFont, const GL_CFStringLE *stringList, const Rect *textBox,
                                  int minNumSpaces, Boolean padWithSpaces, CFMutableStringRef *compoundStr) {
  if (compoundStr == nullptr) return paramErr;
  *compoundStr = nullptr;
  if (textBox == nullptr || minNumSpaces < 0) return paramErr;
  GrafPtr port = nullptr;
  GetPort(&port);
  if (port == nullptr) return paramErr;

  // The theme font's family, measured at 9 points.
  ATSUFontID fontID = 0;
  OSStatus err = GL_ThemeFontToATSUFontID(themeFont, &fontID);
  if (err != noErr) return err;
  const SInt16 oldFont = GetPortTextFont(port), oldSize = GetPortTextSize(port);
  const Style oldFace = GetPortTextFace(port);
  TextFont(SInt16(fontID));
  TextFace(normal);
  TextSize(9);

  const SInt32 room = SInt32(textBox->right) - textBox->left - 2;
  int n = minNumSpaces, result = -1;
  Boolean fits = true;
  SInt32 width = 0;
  Boolean tooLong = false;
  // Growing: count + 1, except the second step, which is sized by what one space cost. A width that does
  // not change with the count (nothing to space apart) ends the growing at once.
  SInt32 prevSlack = 0;
  for (int step = 1;; ++step) {
    err = MeasureCompound(stringList, n, padWithSpaces, &width, &tooLong);
    if (err != noErr) break;
    const SInt32 slack = tooLong ? -1 : room - width;
    if (slack == 0 || (slack > 0 && step > 1 && slack == prevSlack)) {
      result = n;
      break;
    }
    if (slack < 0) break;
    int grow = 1;
    if (step == 2 && prevSlack > slack) grow = std::max(1, int(slack / (prevSlack - slack)));
    prevSlack = slack;
    n += grow;
  }
  // Shrinking: the first smaller count that fits, down to minNumSpaces.
  if (err == noErr && result < 0) {
    for (int k = n - 1; k >= minNumSpaces; --k) {
      err = MeasureCompound(stringList, k, padWithSpaces, &width, &tooLong);
      if (err != noErr) break;
      if (!tooLong && room - width >= 0) {
        result = k;
        break;
      }
    }
    if (err == noErr && result < 0) {
      result = minNumSpaces;
      fits = false;
    }
  }

  TextFont(oldFont);
  TextFace(oldFace);
  TextSize(oldSize);
  if (err != noErr) return err;
  *compoundStr = GL_MakeCompoundStr(stringList, result, padWithSpaces);
  if (*compoundStr == nullptr) return memFullErr;
  return fits ? OSStatus(noErr) : OSStatus(kGL_StringsDoNotFitErr);
}
