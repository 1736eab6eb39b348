// Unicode strings: conversions and edits between CFStrings, HFS Unicode names (HFSUniStr255) and
// zero-terminated byte strings (in the system encoding, UTF-8 here, or in Mac Roman); comparisons that ignore
// case; truncation in the middle with an ellipsis; name ends and extensions; byte sizes and durations as
// text; four-character codes as strings; byte-order flips of stored names.
//
// "Create"/"Copy" routines return a new string that the caller releases; the name-end routines may return
// the constant empty string, which may be released harmlessly. Everything is stateless and may run on any
// task; GL_EqualHFSStringMP uses no CF call at all.
#pragma once

#include "general/formatted_strings.h"
#include "platform/core/cf_base.h"
#include "platform/core/hfs_names.h"

// Flags of the name-end routines: the end string starts at the last "." or the last " ".
enum : UInt32 { kGL_NameEndAtPeriod = 1, kGL_NameEndAtSpace = 2 };

// ---- Creation (new strings, or NULL when the text does not convert) ----
CFStringRef GL_CStrToCFStr(const char *cStr);
CFStringRef GL_MacRomanCStrToCFStr(const char *cStr);
CFStringRef GL_UnicodePtrToCFStr(const UniChar *unicodeStr, UniCharCount unicodeLen);
CFStringRef GL_TextPtrToCFStr(const char *text, SInt32 len);
CFMutableStringRef GL_CFStrToCFMutStr(CFStringRef constStr);
CFMutableStringRef GL_CStrToCFMutStr(const char *cStr);
CFMutableStringRef GL_MacRomanCStrToCFMutStr(const char *cStr);
CFMutableStringRef GL_UnicodePtrToCFMutStr(const UniChar *unicodeStr, UniCharCount unicodeLen);
CFMutableStringRef GL_HFSUniStr255ToCFMutStr(const HFSUniStr255 *uniStr);
// A formatted string made mutable; NULL when formatting fails.
template <class... A>
CFMutableStringRef GL_CreateCFMutStrWithFormat(CFStringRef format, const A &...args) {
  CFStringRef s = CF_StringCreateWithFormat(format, args...);
  if (s == nullptr) return nullptr;
  CFMutableStringRef m = GL_CFStrToCFMutStr(s);
  CFRelease(s);
  return m;
}
CFStringRef GL_NumToCFStr(SInt64 number);
CFStringRef GL_DoubleToCFStr(double number);
// "%.<precision>f"; a negative precision counts as 0.
CFStringRef GL_DoubleToCFStrPrecise(double number, SInt32 precision);
// The four characters (up to a zero byte) as a Mac Roman string.
CFStringRef GL_OSTypeToCFStr(OSType type);
// "<d>days, <h>h", "<h>h, <m>m", "<m>m, <s>s" or "<s>s", by the largest unit present.
CFStringRef GL_DurationToCFStr(SInt64 durationInSec);
// "<n> bytes" below 1024 (and for negative sizes), else kB, MB or GB with two decimals (powers of 1024).
CFStringRef GL_GetByteSizeString(SInt64 numBytes);
// The ellipsis: Mac Roman byte 201 in the system encoding, and U+2026.
CFStringRef GL_MakeEllipsisCFStr();
CFStringRef GL_MakeUnicodeEllipsisCFStr();

// ---- Conversions into byte strings and UTF-16 ----
// The text in the system encoding (or Mac Roman) with its terminator in `maxSize` bytes; false (and "") when
// it does not convert or fit.
Boolean GL_CFStrToCStr(CFStringRef cfStr, char *cStr, SInt32 maxSize);
Boolean GL_CFStrToMacRomanCStr(CFStringRef cfStr, char *str, SInt32 maxSize);
// The same into a 256-byte buffer.
Boolean GL_CFStrToStr255(CFStringRef cfStr, char *str);
Boolean GL_CFStrToMacRomanStr255(CFStringRef cfStr, char *str);
// *cStr = a new malloc block of the encoding's maximum size plus 1 holding the text (free it with free);
// *size = that block's size. False, NULL and 0 when the text does not convert.
Boolean GL_CFStrToCStrNew(CFStringRef cfStr, CFStringEncoding encoding, char **cStr, SInt32 *size);
// *unicodeStr = a new malloc block with the string's units (no terminator), *unicodeLen their number.
// paramErr (and NULL, 0) for a NULL argument or a string longer than 65535 units; memFullErr.
OSStatus GL_CFStrToUnicodePtr(CFStringRef cfStr, UniChar **unicodeStr, UInt16 *unicodeLen);
// *unicodeStr = a new malloc block with the units and a zero unit after them.
OSStatus GL_CFStrToUnicodeStr(CFStringRef cfStr, UniChar **unicodeStr);
// Through a CFString: the units of a system-encoding (or Mac Roman) string in a new malloc block; paramErr
// (and NULL, 0) when the text does not convert.
OSStatus GL_CStrToUnicodePtr(const char *str, UniChar **uniStr, UInt16 *unicodeLen);
OSStatus GL_MacRomanCStrToUnicodePtr(const char *str, UniChar **uniStr, UInt16 *unicodeLen);
// Through a CFString, cut at 255 units; length 0 (and paramErr) when the text does not convert.
OSStatus GL_CStrToHFSUniStr255(const char *str, HFSUniStr255 *uniStr);
OSStatus GL_MacRomanCStrToHFSUniStr255(const char *str, HFSUniStr255 *uniStr);
// The name in the system encoding in `maxLen` bytes; "" and false when it does not convert or fit.
Boolean GL_HFSUniStr255ToCStr(const HFSUniStr255 *uniStr, char *cStr, SInt32 maxLen);

// ---- Appending and copying ----
void GL_AppendHFSUniStr255ToCFStr(CFMutableStringRef cfStr, const HFSUniStr255 *uniStr255);
// The HFSUniStr255 results are cut at 255 units.
OSStatus GL_AppendCFStrToHFSUniStr255(HFSUniStr255 *uniStr255, CFStringRef cfStr);
OSStatus GL_AppendHFSUniStr255(HFSUniStr255 *uniStr, const HFSUniStr255 *addStr);
OSStatus GL_AppendCStrToHFSUniStr255(HFSUniStr255 *uniStr, const char *str);
void GL_AppendCStrToCFStr(CFMutableStringRef cfStr, const char *str);
void GL_AppendMacRomanCStrToCFStr(CFMutableStringRef cfStr, const char *str);
void GL_AppendEllipsisToCFStr(CFMutableStringRef cfStr);
// " " and the number.
void GL_CFAppendSpaceNumber(CFMutableStringRef cfStr, SInt64 number);
// Length and units; a source length above 255 is cut to 255.
void GL_CopyHFSUniStr255(HFSUniStr255 *target, const HFSUniStr255 *source);

// ---- Comparison ----
// Equal when CFStringCompare ignoring case says so; NULL equals only NULL.
Boolean GL_EqualCFStr(CFStringRef str1ref, CFStringRef str2ref);
Boolean GL_EqualHFSUniStr255(const HFSUniStr255 *str1, const HFSUniStr255 *str2);
Boolean GL_EqualHFSUniStr255CFStr(const HFSUniStr255 *uniStr, CFStringRef str1ref);
// Equal lengths and units, exactly; no toolbox or CF call.
Boolean GL_EqualHFSStringMP(const HFSUniStr255 *str1, const HFSUniStr255 *str2);

// ---- Names, extensions and truncation ----
// Shortens the string to at most maxUniLen units by replacing its middle with the ellipsis, never splitting
// a composed character (so the result may be shorter). Nothing happens when it already fits.
void GL_CFStrTruncMiddle(CFMutableStringRef str, CFIndex maxUniLen);
void GL_HFSUniStr255TruncMiddle(HFSUniStr255 *uniStr, CFIndex maxUniLen);
// The end of the name from its last "." (flag kGL_NameEndAtPeriod) or " " (kGL_NameEndAtSpace), that
// character included, as a new string with its length; the constant "" and 0 when there is none or it is
// longer than maxEndStrLen.
CFStringRef GL_CopyCFNameEndString(CFStringRef name, CFIndex *endStrLen, CFIndex maxEndStrLen, UInt32 flags);
// Deletes that end string.
void GL_RemoveCFEndString(CFMutableStringRef cfString, CFIndex maxEndStrLen, UInt32 flags);
void GL_RemoveHFSUniStr255EndString(HFSUniStr255 *uniStr, CFIndex maxEndStrLen, UInt32 flags);
// *extension = the item's extension (without its dot, "" when it has none) as a new string; the File
// Manager's error for a stale or invalid reference.
OSStatus GL_GetFileNameExtension(const FSRef *file, CFStringRef *extension);
// Deletes the item's extension and its dot from the end of `fileName`. A name without an extension, or one
// that does not end with "." and that extension, is left as it is.
OSStatus GL_RemoveFileNameExtension(const FSRef *file, CFMutableStringRef fileName);
// *extension = the name's extension with its dot as a new string, or the constant "" when it has none.
OSStatus GL_GetExtensionFromFileName(const HFSUniStr255 *fileName, CFStringRef *extension);

// ---- Other ----
// The system's text encoding (UTF-8 here); falls back to Mac Roman with paramErr when the script has none.
OSStatus GL_GetSystemTextEncoding(TextEncoding *encoding);
void GL_AddByteSizeString(SInt64 numBytes, CFMutableStringRef string);
// The code of the first four characters in Mac Roman (missing ones are zero bytes); 0 when the string does
// not convert into 15 bytes.
OSType GL_CFStrToOSType(CFStringRef typeStr);
// Swap the byte order of the length and of `length` units in place (at most 255 of them): NtoB reads the
// length before swapping it, BtoN after.
void GL_FlipHFSUniStr255_NtoB(HFSUniStr255 *uniStr);
void GL_FlipHFSUniStr255_BtoN(HFSUniStr255 *uniStr);
