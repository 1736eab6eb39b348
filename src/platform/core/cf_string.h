// CoreFoundation stand-in: CFString, immutable and mutable, UTF-16 inside.
//
// Lengths, indices and ranges count UTF-16 units, as CF does (a character outside the Basic Multilingual
// Plane takes two). Byte texts convert through the encodings below; Mac Roman uses our own table, the
// system encoding is UTF-8 (Linux file names and terminals). Case-insensitive comparison, case mapping,
// normalisation and composed-character ranges follow Unicode through ICU. Formatting lives in formatter.h.
#pragma once

#include "platform/core/cf_base.h"

enum : CFStringEncoding {
  kCFStringEncodingMacRoman = 0,
  kCFStringEncodingWindowsLatin1 = 0x0500,
  kCFStringEncodingISOLatin1 = 0x0201,
  kCFStringEncodingNextStepLatin = 0x0B01,
  kCFStringEncodingASCII = 0x0600,
  kCFStringEncodingUnicode = 0x0100,
  kCFStringEncodingUTF8 = 0x08000100,
  kCFStringEncodingNonLossyASCII = 0x0BFF,
  kCFStringEncodingUTF16 = 0x0100,
  kCFStringEncodingUTF16BE = 0x10000100,
  kCFStringEncodingUTF16LE = 0x14000100,
  kCFStringEncodingUTF32 = 0x0c000100,
  kCFStringEncodingUTF32BE = 0x18000100,
  kCFStringEncodingUTF32LE = 0x1c000100,
};
enum : CFStringEncoding { kCFStringEncodingInvalidId = 0xffffffffU };

typedef CFOptionFlags CFStringCompareFlags;
enum : CFStringCompareFlags {
  kCFCompareCaseInsensitive = 1,
  kCFCompareBackwards = 4,
  kCFCompareAnchored = 8,
  kCFCompareNonliteral = 16,
  kCFCompareLocalized = 32,
  kCFCompareNumerically = 64,
  kCFCompareDiacriticInsensitive = 128,
  kCFCompareWidthInsensitive = 256,
  kCFCompareForcedOrdering = 512,
};

typedef CFIndex CFStringNormalizationForm;
enum : CFStringNormalizationForm {
  kCFStringNormalizationFormD = 0,
  kCFStringNormalizationFormKD = 1,
  kCFStringNormalizationFormC = 2,
  kCFStringNormalizationFormKC = 3,
};

CFTypeID CFStringGetTypeID();

// A constant string of a literal (UTF-8), made once per place of use and never freed; equal literals give
// the same reference.
#define CFSTR(literal)                                                      \
  ([]() -> CFStringRef {                                                    \
    static const CFStringRef pl_cfstr = PL_CFStringMakeConstant("" literal); \
    return pl_cfstr;                                                        \
  }())
// The constant string of a UTF-8 text (interned). Use CFSTR in code.
CFStringRef PL_CFStringMakeConstant(const char *utf8);

// ---- creation (owned results; NULL when the bytes do not convert) ----
CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char *cStr, CFStringEncoding encoding);
CFStringRef CFStringCreateWithBytes(CFAllocatorRef alloc, const UInt8 *bytes, CFIndex numBytes,
                                    CFStringEncoding encoding, Boolean isExternalRepresentation);
CFStringRef CFStringCreateWithCharacters(CFAllocatorRef alloc, const UniChar *chars, CFIndex numChars);
// Takes `chars` only in name: the text is copied, and the buffer is freed with free() unless
// `contentsDeallocator` is kCFAllocatorNull.
CFStringRef CFStringCreateWithCharactersNoCopy(CFAllocatorRef alloc, const UniChar *chars, CFIndex numChars,
                                               CFAllocatorRef contentsDeallocator);
// Pascal string: a length byte and that many bytes.
CFStringRef CFStringCreateWithPascalString(CFAllocatorRef alloc, ConstStr255Param pStr, CFStringEncoding encoding);
CFStringRef CFStringCreateWithSubstring(CFAllocatorRef alloc, CFStringRef str, CFRange range);
CFStringRef CFStringCreateCopy(CFAllocatorRef alloc, CFStringRef theString);
// `maxLength` is a hint only: these strings grow without limit.
CFMutableStringRef CFStringCreateMutable(CFAllocatorRef alloc, CFIndex maxLength);
CFMutableStringRef CFStringCreateMutableCopy(CFAllocatorRef alloc, CFIndex maxLength, CFStringRef theString);
// Owned arrays of strings.
CFArrayRef CFStringCreateArrayBySeparatingStrings(CFAllocatorRef alloc, CFStringRef theString,
                                                  CFStringRef separatorString);
CFStringRef CFStringCreateByCombiningStrings(CFAllocatorRef alloc, CFArrayRef theArray,
                                             CFStringRef separatorString);

// ---- access ----
CFIndex CFStringGetLength(CFStringRef theString);
UniChar CFStringGetCharacterAtIndex(CFStringRef theString, CFIndex idx);
void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar *buffer);
// Borrowed pointer to the units of an immutable string; NULL for mutable strings.
const UniChar *CFStringGetCharactersPtr(CFStringRef theString);
// Borrowed pointer to the bytes in `encoding`, or NULL (always allowed): given for constant strings in UTF-8,
// and in ASCII or Mac Roman when their text is plain ASCII.
const char *CFStringGetCStringPtr(CFStringRef theString, CFStringEncoding encoding);
// Writes the text and a terminating zero; false (and an empty buffer) when a character does not convert or
// the text and its zero do not fit `bufferSize` bytes.
Boolean CFStringGetCString(CFStringRef theString, char *buffer, CFIndex bufferSize, CFStringEncoding encoding);
// Length byte and bytes; false when it does not convert or exceeds 255 bytes or the buffer.
Boolean CFStringGetPascalString(CFStringRef theString, StringPtr buffer, CFIndex bufferSize,
                                CFStringEncoding encoding);
// Converts the units of `range`; an unconvertible character becomes `lossByte`, or ends the conversion when
// `lossByte` is 0. With a NULL buffer it only measures. Returns the number of units converted.
CFIndex CFStringGetBytes(CFStringRef theString, CFRange range, CFStringEncoding encoding, UInt8 lossByte,
                         Boolean isExternalRepresentation, UInt8 *buffer, CFIndex maxBufLen, CFIndex *usedBufLen);
// The most bytes `length` units can need in `encoding` (without a terminator); kCFNotFound on overflow.
CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding);
// UTF-8 here.
CFStringEncoding CFStringGetSystemEncoding();
CFStringEncoding CFStringGetFastestEncoding(CFStringRef theString);
Boolean CFStringIsEncodingAvailable(CFStringEncoding encoding);
// File names: UTF-8 bytes; bytes that are not UTF-8 survive the round trip through a string.
Boolean CFStringGetFileSystemRepresentation(CFStringRef string, char *buffer, CFIndex maxBufLen);
CFIndex CFStringGetMaximumSizeOfFileSystemRepresentation(CFStringRef string);
CFStringRef CFStringCreateWithFileSystemRepresentation(CFAllocatorRef alloc, const char *buffer);
// Leading white space, an optional sign and digits; 0 when there are none; clamped to the int range.
SInt32 CFStringGetIntValue(CFStringRef str);
// Leading white space and a decimal number with a point; 0.0 when there is none.
double CFStringGetDoubleValue(CFStringRef str);

// ---- comparison and search ----
CFComparisonResult CFStringCompare(CFStringRef theString1, CFStringRef theString2,
                                   CFStringCompareFlags compareOptions);
CFComparisonResult CFStringCompareWithOptions(CFStringRef theString1, CFStringRef theString2,
                                              CFRange rangeToCompare, CFStringCompareFlags compareOptions);
// The range of the first (or, with kCFCompareBackwards, last) occurrence; {kCFNotFound, 0} when absent.
CFRange CFStringFind(CFStringRef theString, CFStringRef stringToFind, CFStringCompareFlags compareOptions);
Boolean CFStringFindWithOptions(CFStringRef theString, CFStringRef stringToFind, CFRange rangeToSearch,
                                CFStringCompareFlags searchOptions, CFRange *result);
Boolean CFStringHasPrefix(CFStringRef theString, CFStringRef prefix);
Boolean CFStringHasSuffix(CFStringRef theString, CFStringRef suffix);
// The range of the user-perceived character (grapheme cluster) that holds `theIndex`.
CFRange CFStringGetRangeOfComposedCharactersAtIndex(CFStringRef theString, CFIndex theIndex);

// ---- mutation (on mutable strings; calls on immutable ones are ignored) ----
void CFStringAppend(CFMutableStringRef theString, CFStringRef appendedString);
void CFStringAppendCharacters(CFMutableStringRef theString, const UniChar *chars, CFIndex numChars);
void CFStringAppendCString(CFMutableStringRef theString, const char *cStr, CFStringEncoding encoding);
void CFStringAppendPascalString(CFMutableStringRef theString, ConstStr255Param pStr, CFStringEncoding encoding);
void CFStringInsert(CFMutableStringRef str, CFIndex idx, CFStringRef insertedStr);
void CFStringDelete(CFMutableStringRef theString, CFRange range);
void CFStringReplace(CFMutableStringRef theString, CFRange range, CFStringRef replacement);
void CFStringReplaceAll(CFMutableStringRef theString, CFStringRef replacement);
// Replaces every occurrence inside `rangeToSearch`; returns how many.
CFIndex CFStringFindAndReplace(CFMutableStringRef theString, CFStringRef stringToFind, CFStringRef replacementString,
                               CFRange rangeToSearch, CFStringCompareFlags compareOptions);
void CFStringTrim(CFMutableStringRef theString, CFStringRef trimString);
void CFStringTrimWhitespace(CFMutableStringRef theString);
void CFStringLowercase(CFMutableStringRef theString, CFLocaleRef locale);
void CFStringUppercase(CFMutableStringRef theString, CFLocaleRef locale);
void CFStringCapitalize(CFMutableStringRef theString, CFLocaleRef locale);
void CFStringNormalize(CFMutableStringRef theString, CFStringNormalizationForm theForm);
