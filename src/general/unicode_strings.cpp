// Unicode strings: CFStrings, HFS Unicode names and byte strings.
#include "general/unicode_strings.h"

#include "general/strings_text.h"
#include "platform/core/cf_string.h"
#include "platform/core/launch_services.h"
#include "platform/core/mac_errors.h"
#include "platform/core/text_encodings.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

CFStringRef EmptyConstant() { return CFSTR(""); }

CFMutableStringRef MutableOf(CFStringRef s) {
  if (s == nullptr) return nullptr;
  CFMutableStringRef m = CFStringCreateMutableCopy(kCFAllocatorDefault, 256, s);
  CFRelease(s);
  return m;
}

// A new malloc block with the units of `s` (and a zero unit when `terminate`).
OSStatus CopyUnits(CFStringRef s, UniChar **out, CFIndex *length, bool terminate) {
  const CFIndex n = CFStringGetLength(s);
  const size_t bytes = size_t(n) * sizeof(UniChar) + (terminate ? sizeof(UniChar) : 0);
  auto *block = static_cast<UniChar *>(std::malloc(bytes > 0 ? bytes : sizeof(UniChar)));
  if (block == nullptr) return memFullErr;
  CFStringGetCharacters(s, CFRangeMake(0, n), block);
  if (terminate) block[n] = 0;
  *out = block;
  *length = n;
  return noErr;
}

OSStatus UnicodePtrFrom(CFStringRef s, UniChar **uniStr, UInt16 *unicodeLen) {
  if (uniStr != nullptr) *uniStr = nullptr;
  if (unicodeLen != nullptr) *unicodeLen = 0;
  if (s == nullptr || uniStr == nullptr || unicodeLen == nullptr || CFStringGetLength(s) > 65535) return paramErr;
  CFIndex n = 0;
  OSStatus err = CopyUnits(s, uniStr, &n, false);
  if (err == noErr) *unicodeLen = UInt16(n);
  return err;
}

// HFSUniStr255 from a string made by `make` (which may give NULL); length 0 and paramErr then.
OSStatus HFSNameFrom(CFStringRef s, HFSUniStr255 *uniStr) {
  if (uniStr == nullptr) {
    if (s != nullptr) CFRelease(s);
    return paramErr;
  }
  uniStr->length = 0;
  if (s == nullptr) return paramErr;
  OSStatus err = FSGetHFSUniStrFromString(s, uniStr);
  CFRelease(s);
  return err;
}

// A length that a stored record may hold, cut to the record.
UInt16 SafeLength(const HFSUniStr255 *s) { return std::min<UInt16>(s->length, 255); }

CFStringRef StringOfHFS(const HFSUniStr255 *s) {
  if (s == nullptr) return nullptr;
  return CFStringCreateWithCharacters(kCFAllocatorDefault, s->unicode, SafeLength(s));
}

// The position of the name end in `name` (its first unit), or kCFNotFound.
CFIndex NameEndStart(CFStringRef name, UInt32 flags) {
  const CFIndex n = CFStringGetLength(name);
  for (CFIndex i = n - 1; i >= 0; --i) {
    const UniChar c = CFStringGetCharacterAtIndex(name, i);
    if (((flags & kGL_NameEndAtPeriod) != 0 && c == u'.') || ((flags & kGL_NameEndAtSpace) != 0 && c == u' ')) {
      return i;
    }
  }
  return kCFNotFound;
}

UInt16 Swap16(UInt16 v) { return UInt16((v >> 8) | (v << 8)); }

}  // namespace

// ---- Creation ----

CFStringRef GL_CStrToCFStr(const char *cStr) {
  return CFStringCreateWithCString(kCFAllocatorDefault, cStr, CFStringGetSystemEncoding());
}

CFStringRef GL_MacRomanCStrToCFStr(const char *cStr) {
  return CFStringCreateWithCString(kCFAllocatorDefault, cStr, kCFStringEncodingMacRoman);
}

CFStringRef GL_UnicodePtrToCFStr(const UniChar *unicodeStr, UniCharCount unicodeLen) {
  if (unicodeStr == nullptr && unicodeLen > 0) return nullptr;
  return CFStringCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8 *>(unicodeStr),
                                 CFIndex(unicodeLen) * 2, kCFStringEncodingUnicode, false);
}

CFStringRef GL_TextPtrToCFStr(const char *text, SInt32 len) {
  if (len < 0 || (text == nullptr && len > 0)) return nullptr;
  return CFStringCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8 *>(text), len,
                                 kCFStringEncodingMacRoman, false);
}

CFMutableStringRef GL_CFStrToCFMutStr(CFStringRef constStr) {
  if (constStr == nullptr) return nullptr;
  return CFStringCreateMutableCopy(kCFAllocatorDefault, 0, constStr);
}

CFMutableStringRef GL_CStrToCFMutStr(const char *cStr) { return MutableOf(GL_CStrToCFStr(cStr)); }
CFMutableStringRef GL_MacRomanCStrToCFMutStr(const char *cStr) { return MutableOf(GL_MacRomanCStrToCFStr(cStr)); }
CFMutableStringRef GL_UnicodePtrToCFMutStr(const UniChar *unicodeStr, UniCharCount unicodeLen) {
  return MutableOf(GL_UnicodePtrToCFStr(unicodeStr, unicodeLen));
}
CFMutableStringRef GL_HFSUniStr255ToCFMutStr(const HFSUniStr255 *uniStr) {
  return MutableOf(FSCreateStringFromHFSUniStr(kCFAllocatorDefault, uniStr));
}

CFStringRef GL_NumToCFStr(SInt64 number) { return CF_StringCreateWithFormat(CFSTR("%ld"), number); }

CFStringRef GL_DoubleToCFStr(double number) { return CF_StringCreateWithFormat(CFSTR("%.2f"), number); }

CFStringRef GL_DoubleToCFStrPrecise(double number, SInt32 precision) {
  PL_CFScoped<CFStringRef> format(CF_StringCreateWithFormat(CFSTR("%%.%ldf"), std::max<SInt32>(precision, 0)));
  return CF_StringCreateWithFormat(format.get(), number);
}

CFStringRef GL_OSTypeToCFStr(OSType type) {
  const char chars[5] = {char(type >> 24), char(type >> 16), char(type >> 8), char(type), 0};
  return GL_MacRomanCStrToCFStr(chars);
}

CFStringRef GL_DurationToCFStr(SInt64 durationInSec) {
  const SInt64 s = durationInSec;
  const SInt64 d = s / 86400;
  const SInt64 h = (s % 86400) / 3600;
  const SInt64 m = (s % 3600) / 60;
  const SInt64 r = s % 60;
  if (d > 0) return CF_StringCreateWithFormat(CFSTR("%llddays, %lldh"), d, h);
  if (h > 0) return CF_StringCreateWithFormat(CFSTR("%lldh, %lldm"), h, m);
  if (m > 0) return CF_StringCreateWithFormat(CFSTR("%lldm, %llds"), m, r);
  return CF_StringCreateWithFormat(CFSTR("%llds"), r);
}

CFStringRef GL_GetByteSizeString(SInt64 numBytes) {
  if (numBytes < 1024) return CF_StringCreateWithFormat(CFSTR("%lld bytes"), numBytes);
  if (numBytes < (SInt64(1) << 20)) return CF_StringCreateWithFormat(CFSTR("%.2f kB"), float(numBytes) / 1024.0f);
  if (numBytes < (SInt64(1) << 30)) {
    return CF_StringCreateWithFormat(CFSTR("%.2f MB"), float(numBytes) / 1048576.0f);
  }
  return CF_StringCreateWithFormat(CFSTR("%.2f GB"), float(numBytes) / 1073741824.0f);
}

CFStringRef GL_MakeEllipsisCFStr() {
  TextEncoding system = kTextEncodingMacRoman;
  GL_GetSystemTextEncoding(&system);
  const UInt8 macRomanEllipsis = 201;
  UInt8 bytes[4] = {macRomanEllipsis, 0, 0, 0};
  ByteCount used = 1;
  TECObjectRef converter = nullptr;
  OSStatus err = TECCreateConverter(&converter, kTextEncodingMacRoman, system);
  if (err == noErr) {
    ByteCount read = 0;
    err = TECConvertText(converter, &macRomanEllipsis, 1, &read, bytes, sizeof bytes, &used);
    TECDisposeConverter(converter);
  }
  if (err != noErr) {
    // No conversion path: the byte stays as it is.
    bytes[0] = macRomanEllipsis;
    used = 1;
  }
  CFStringRef s = CFStringCreateWithBytes(kCFAllocatorDefault, bytes, CFIndex(used), CFStringGetSystemEncoding(), false);
  // A system encoding in which the lone byte means nothing still gets an ellipsis.
  return s != nullptr ? s : GL_MakeUnicodeEllipsisCFStr();
}

CFStringRef GL_MakeUnicodeEllipsisCFStr() { return CF_StringCreateWithFormat(CFSTR("%C"), UniChar(8230)); }

// ---- Conversions ----

Boolean GL_CFStrToCStr(CFStringRef cfStr, char *cStr, SInt32 maxSize) {
  if (cStr == nullptr || maxSize <= 0) return false;
  return CFStringGetCString(cfStr, cStr, maxSize, CFStringGetSystemEncoding());
}

Boolean GL_CFStrToMacRomanCStr(CFStringRef cfStr, char *str, SInt32 maxSize) {
  if (str == nullptr || maxSize <= 0) return false;
  return CFStringGetCString(cfStr, str, maxSize, kCFStringEncodingMacRoman);
}

Boolean GL_CFStrToStr255(CFStringRef cfStr, char *str) { return GL_CFStrToCStr(cfStr, str, 256); }
Boolean GL_CFStrToMacRomanStr255(CFStringRef cfStr, char *str) { return GL_CFStrToMacRomanCStr(cfStr, str, 256); }

Boolean GL_CFStrToCStrNew(CFStringRef cfStr, CFStringEncoding encoding, char **cStr, SInt32 *size) {
  if (cStr != nullptr) *cStr = nullptr;
  if (size != nullptr) *size = 0;
  if (cfStr == nullptr || cStr == nullptr) return false;
  const CFIndex max = CFStringGetMaximumSizeForEncoding(CFStringGetLength(cfStr), encoding);
  if (max == kCFNotFound || max >= 0x7FFFFFFF) return false;
  const CFIndex blockSize = max + 1;
  auto *block = static_cast<char *>(std::malloc(size_t(blockSize)));
  if (block == nullptr) return false;
  if (!CFStringGetCString(cfStr, block, blockSize, encoding)) {
    std::free(block);
    return false;
  }
  *cStr = block;
  if (size != nullptr) *size = SInt32(blockSize);
  return true;
}

OSStatus GL_CFStrToUnicodePtr(CFStringRef cfStr, UniChar **unicodeStr, UInt16 *unicodeLen) {
  return UnicodePtrFrom(cfStr, unicodeStr, unicodeLen);
}

OSStatus GL_CFStrToUnicodeStr(CFStringRef cfStr, UniChar **unicodeStr) {
  if (unicodeStr != nullptr) *unicodeStr = nullptr;
  if (cfStr == nullptr || unicodeStr == nullptr) return paramErr;
  CFIndex n = 0;
  return CopyUnits(cfStr, unicodeStr, &n, true);
}

OSStatus GL_CStrToUnicodePtr(const char *str, UniChar **uniStr, UInt16 *unicodeLen) {
  PL_CFScoped<CFStringRef> s(GL_CStrToCFStr(str));
  return UnicodePtrFrom(s, uniStr, unicodeLen);
}

OSStatus GL_MacRomanCStrToUnicodePtr(const char *str, UniChar **uniStr, UInt16 *unicodeLen) {
  PL_CFScoped<CFStringRef> s(GL_MacRomanCStrToCFStr(str));
  return UnicodePtrFrom(s, uniStr, unicodeLen);
}

OSStatus GL_CStrToHFSUniStr255(const char *str, HFSUniStr255 *uniStr) {
  return HFSNameFrom(GL_CStrToCFStr(str), uniStr);
}

OSStatus GL_MacRomanCStrToHFSUniStr255(const char *str, HFSUniStr255 *uniStr) {
  return HFSNameFrom(GL_MacRomanCStrToCFStr(str), uniStr);
}

Boolean GL_HFSUniStr255ToCStr(const HFSUniStr255 *uniStr, char *cStr, SInt32 maxLen) {
  if (cStr == nullptr || maxLen <= 0) return false;
  cStr[0] = 0;
  PL_CFScoped<CFStringRef> s(StringOfHFS(uniStr));
  if (s == nullptr) return false;
  return GL_CFStrToCStr(s, cStr, maxLen);
}

// ---- Appending and copying ----

void GL_AppendHFSUniStr255ToCFStr(CFMutableStringRef cfStr, const HFSUniStr255 *uniStr255) {
  if (cfStr == nullptr || uniStr255 == nullptr) return;
  CFStringAppendCharacters(cfStr, uniStr255->unicode, SafeLength(uniStr255));
}

OSStatus GL_AppendCFStrToHFSUniStr255(HFSUniStr255 *uniStr255, CFStringRef cfStr) {
  if (uniStr255 == nullptr || cfStr == nullptr) return paramErr;
  PL_CFScoped<CFMutableStringRef> joined(GL_HFSUniStr255ToCFMutStr(uniStr255));
  if (joined == nullptr) return paramErr;
  CFStringAppend(joined, cfStr);
  return FSGetHFSUniStrFromString(joined, uniStr255);
}

OSStatus GL_AppendHFSUniStr255(HFSUniStr255 *uniStr, const HFSUniStr255 *addStr) {
  PL_CFScoped<CFStringRef> add(StringOfHFS(addStr));
  if (add == nullptr) return paramErr;
  return GL_AppendCFStrToHFSUniStr255(uniStr, add);
}

OSStatus GL_AppendCStrToHFSUniStr255(HFSUniStr255 *uniStr, const char *str) {
  PL_CFScoped<CFStringRef> add(GL_CStrToCFStr(str));
  if (add == nullptr) return paramErr;
  return GL_AppendCFStrToHFSUniStr255(uniStr, add);
}

void GL_AppendCStrToCFStr(CFMutableStringRef cfStr, const char *str) {
  CFStringAppendCString(cfStr, str, CFStringGetSystemEncoding());
}

void GL_AppendMacRomanCStrToCFStr(CFMutableStringRef cfStr, const char *str) {
  CFStringAppendCString(cfStr, str, kCFStringEncodingMacRoman);
}

void GL_AppendEllipsisToCFStr(CFMutableStringRef cfStr) {
  PL_CFScoped<CFStringRef> ellipsis(GL_MakeEllipsisCFStr());
  CFStringAppend(cfStr, ellipsis);
}

void GL_CFAppendSpaceNumber(CFMutableStringRef cfStr, SInt64 number) {
  CFStringAppendFormat(cfStr, nullptr, CFSTR(" %ld"), number);
}

void GL_CopyHFSUniStr255(HFSUniStr255 *target, const HFSUniStr255 *source) {
  if (target == nullptr || source == nullptr) return;
  const UInt16 n = SafeLength(source);
  std::memmove(target->unicode, source->unicode, n * sizeof(UniChar));
  target->length = n;
}

// ---- Comparison ----

Boolean GL_EqualCFStr(CFStringRef str1ref, CFStringRef str2ref) {
  if (str1ref == nullptr || str2ref == nullptr) return str1ref == str2ref;
  return CFStringCompare(str1ref, str2ref, kCFCompareCaseInsensitive) == kCFCompareEqualTo;
}

Boolean GL_EqualHFSUniStr255(const HFSUniStr255 *str1, const HFSUniStr255 *str2) {
  PL_CFScoped<CFStringRef> a(StringOfHFS(str1));
  PL_CFScoped<CFStringRef> b(StringOfHFS(str2));
  return GL_EqualCFStr(a, b);
}

Boolean GL_EqualHFSUniStr255CFStr(const HFSUniStr255 *uniStr, CFStringRef str1ref) {
  PL_CFScoped<CFStringRef> a(StringOfHFS(uniStr));
  return GL_EqualCFStr(a, str1ref);
}

Boolean GL_EqualHFSStringMP(const HFSUniStr255 *str1, const HFSUniStr255 *str2) {
  if (str1 == nullptr || str2 == nullptr) return str1 == str2;
  if (str1->length != str2->length) return false;
  return std::memcmp(str1->unicode, str2->unicode, SafeLength(str1) * sizeof(UniChar)) == 0;
}

// ---- Names, extensions and truncation ----

void GL_CFStrTruncMiddle(CFMutableStringRef str, CFIndex maxUniLen) {
  if (str == nullptr) return;
  const CFIndex length = CFStringGetLength(str);
  if (length <= maxUniLen) return;
  PL_CFScoped<CFStringRef> ellipsis(GL_MakeEllipsisCFStr());
  const CFIndex keep = maxUniLen - CFStringGetLength(ellipsis);
  const CFIndex middle = std::max<CFIndex>(keep / 2, 0);
  const CFIndex start = CFStringGetRangeOfComposedCharactersAtIndex(str, middle).location;
  const CFIndex last = std::min(start + (length - keep) - 1, length - 1);
  const CFRange lastChar = CFStringGetRangeOfComposedCharactersAtIndex(str, last);
  const CFIndex end = lastChar.location + lastChar.length;
  CFStringReplace(str, CFRangeMake(start, end - start), ellipsis);
}

void GL_HFSUniStr255TruncMiddle(HFSUniStr255 *uniStr, CFIndex maxUniLen) {
  if (uniStr == nullptr) return;
  PL_CFScoped<CFMutableStringRef> s(GL_HFSUniStr255ToCFMutStr(uniStr));
  if (s == nullptr) return;
  GL_CFStrTruncMiddle(s, maxUniLen);
  FSGetHFSUniStrFromString(s, uniStr);
}

CFStringRef GL_CopyCFNameEndString(CFStringRef name, CFIndex *endStrLen, CFIndex maxEndStrLen, UInt32 flags) {
  if (endStrLen != nullptr) *endStrLen = 0;
  if (name == nullptr) return EmptyConstant();
  const CFIndex start = NameEndStart(name, flags);
  const CFIndex n = start == kCFNotFound ? 0 : CFStringGetLength(name) - start;
  if (start == kCFNotFound || n > maxEndStrLen) return EmptyConstant();
  if (endStrLen != nullptr) *endStrLen = n;
  return CFStringCreateWithSubstring(kCFAllocatorDefault, name, CFRangeMake(start, n));
}

void GL_RemoveCFEndString(CFMutableStringRef cfString, CFIndex maxEndStrLen, UInt32 flags) {
  if (cfString == nullptr) return;
  CFIndex n = 0;
  CFStringRef end = GL_CopyCFNameEndString(cfString, &n, maxEndStrLen, flags);
  CFRelease(end);
  if (n > 0) CFStringDelete(cfString, CFRangeMake(CFStringGetLength(cfString) - n, n));
}

void GL_RemoveHFSUniStr255EndString(HFSUniStr255 *uniStr, CFIndex maxEndStrLen, UInt32 flags) {
  if (uniStr == nullptr) return;
  PL_CFScoped<CFMutableStringRef> s(GL_HFSUniStr255ToCFMutStr(uniStr));
  if (s == nullptr) return;
  GL_RemoveCFEndString(s, maxEndStrLen, flags);
  FSGetHFSUniStrFromString(s, uniStr);
}

OSStatus GL_GetFileNameExtension(const FSRef *file, CFStringRef *extension) {
  if (extension == nullptr) return paramErr;
  *extension = nullptr;
  CFTypeRef value = nullptr;
  OSStatus err = LSCopyItemAttribute(file, kLSRolesAll, kLSItemExtension, &value);
  if (err == noErr) *extension = static_cast<CFStringRef>(value);
  return err;
}

OSStatus GL_RemoveFileNameExtension(const FSRef *file, CFMutableStringRef fileName) {
  if (fileName == nullptr) return paramErr;
  CFStringRef ext = nullptr;
  OSStatus err = GL_GetFileNameExtension(file, &ext);
  if (err != noErr) return err;
  PL_CFScoped<CFStringRef> extension(ext);
  const CFIndex n = CFStringGetLength(extension);
  // Without an extension nothing goes: removing "its dot" would cut the name's last character.
  if (n == 0) return noErr;
  PL_CFScoped<CFStringRef> dotted(CF_StringCreateWithFormat(CFSTR(".%@"), extension.get()));
  if (CFStringHasSuffix(fileName, dotted)) {
    CFStringDelete(fileName, CFRangeMake(CFStringGetLength(fileName) - n - 1, n + 1));
  }
  return noErr;
}

OSStatus GL_GetExtensionFromFileName(const HFSUniStr255 *fileName, CFStringRef *extension) {
  if (extension == nullptr) return paramErr;
  *extension = EmptyConstant();
  if (fileName == nullptr) return paramErr;
  UniCharCount start = kLSInvalidExtensionIndex;
  const UInt16 n = SafeLength(fileName);
  OSStatus err = LSGetExtensionInfo(n, fileName->unicode, &start);
  if (err != noErr || start == kLSInvalidExtensionIndex) return err;
  // With its dot.
  *extension = CFStringCreateWithCharacters(kCFAllocatorDefault, fileName->unicode + start - 1, n - start + 1);
  return *extension != nullptr ? noErr : memFullErr;
}

// ---- Other ----

OSStatus GL_GetSystemTextEncoding(TextEncoding *encoding) {
  if (encoding == nullptr) return paramErr;
  const auto script = ScriptCode(GetScriptManagerVariable(smSysScript));
  const auto region = RegionCode(GetScriptManagerVariable(smRegionCode));
  OSStatus err = UpgradeScriptInfoToTextEncoding(script, kTextLanguageDontCare, region, nullptr, encoding);
  if (err == paramErr) {
    err = UpgradeScriptInfoToTextEncoding(script, kTextLanguageDontCare, kTextRegionDontCare, nullptr, encoding);
  }
  if (err == paramErr) *encoding = kTextEncodingMacRoman;
  return err;
}

void GL_AddByteSizeString(SInt64 numBytes, CFMutableStringRef string) {
  PL_CFScoped<CFStringRef> size(GL_GetByteSizeString(numBytes));
  CFStringAppend(string, size);
}

OSType GL_CFStrToOSType(CFStringRef typeStr) {
  char buf[16];
  if (!GL_CFStrToMacRomanCStr(typeStr, buf, sizeof buf)) buf[0] = 0;
  return GL_CStrToOSType(buf);
}

void GL_FlipHFSUniStr255_NtoB(HFSUniStr255 *uniStr) {
  if (uniStr == nullptr) return;
  const UInt16 n = SafeLength(uniStr);
  uniStr->length = Swap16(uniStr->length);
  for (UInt16 i = 0; i < n; ++i) uniStr->unicode[i] = Swap16(uniStr->unicode[i]);
}

void GL_FlipHFSUniStr255_BtoN(HFSUniStr255 *uniStr) {
  if (uniStr == nullptr) return;
  uniStr->length = Swap16(uniStr->length);
  const UInt16 n = SafeLength(uniStr);
  for (UInt16 i = 0; i < n; ++i) uniStr->unicode[i] = Swap16(uniStr->unicode[i]);
}
