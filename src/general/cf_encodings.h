// CoreFoundation helpers: mutable strings, dictionaries, the encodings by which plain values are stored under
// keys of a dictionary, the application's preferences, XML property-list files, bundle files and
// time-stamped printing.
//
// The encodings are a stored format (the project settings, window locations, export settings and aliases
// live in preferences through them): the number type of each element, the order of elements and the keys of
// the small fixed dictionaries below must not change.
//
// Reading is defensive, because a preferences file is something a user can edit or damage, and values read
// back from a file come as SInt64 and Float64 numbers whatever type they were stored with:
// - a getter accepts a number of any type whose value converts exactly into the wanted type (integers also
//   from integral reals), and any number for a float;
// - a value of the wrong CF type, out of range, or an array or text that is too short or too long for the
//   caller's buffer counts as missing: the output keeps its default as each getter says. Getters never fail
//   and return true when they read a value.
//
// Ownership: Create and Copy results are owned (CFRelease); blocks are owned (free) as said. Stateless; any
// thread, except the preferences calls, which share the application's preferences (they are thread-safe).
#pragma once

#include "general/formatted_strings.h"
#include "platform/core/cf_base.h"
#include "platform/core/cf_string.h"
#include "platform/core/files.h"
#include "platform/core/formatter.h"
#include "platform/core/matrix_math.h"
#include "platform/core/quickdraw_geometry.h"
#include "platform/core/quickdraw_ports.h"

#include <cstddef>

// ---- Strings ---------------------------------------------------------------------------------------------------

// Owned: a new mutable string from a format, as CF_StringCreateWithFormat makes an immutable one.
template <class... A>
CFMutableStringRef CF_StringCreateMutableWithFormat(CFStringRef format, const A &...args) {
  if (format == nullptr) return nullptr;
  CFStringRef s = CF_StringCreateWithFormat(format, args...);
  CFMutableStringRef m = CFStringCreateMutableCopy(kCFAllocatorDefault, 0, s);
  CFRelease(s);
  return m;
}
// Owned: a new empty mutable string without length limit.
CFMutableStringRef CF_StringCreateMut();
// Owned: a mutable copy (NULL for NULL).
CFMutableStringRef CF_StringCreateMutCopy(CFStringRef str);
// Owned: a mutable copy; takes `str`: it is released, so the caller must not release it again.
CFMutableStringRef CF_StringMakeMutable(CFStringRef str);

// ---- Dictionaries (CF type callbacks for keys and values) ------------------------------------------------------

// Owned results.
CFDictionaryRef CF_DictCreate(const void **keys, const void **values, CFIndex count);
CFMutableDictionaryRef CF_DictCreateMut();
CFMutableDictionaryRef CF_DictCreateMutWithValues(const void **keys, const void **values, CFIndex count);
CFMutableDictionaryRef CF_DictCreateMutCopy(CFDictionaryRef dict);
// Takes `dict`: it is released.
CFMutableDictionaryRef CF_DictMakeMutable(CFDictionaryRef dict);
// Owned: a mutable copy of the dictionary stored under key; NULL when there is none (or another type).
CFMutableDictionaryRef CF_CopyMutDictFromDict(CFDictionaryRef parent, CFStringRef key);
// *keys = a new block (owned: free) with the count keys (borrowed from the dictionary); NULL when the
// dictionary is empty. memFullErr (NULL, count 0) when the block cannot be had.
OSStatus CF_DictGetKeys(CFDictionaryRef dict, const void ***keys, CFIndex *count);

// ---- Rectangles, points and regions --------------------------------------------------------------------------

// Owned: [top, left, bottom, right] as 16-bit numbers.
CFArrayRef CF_CopyRectToCFArray(const Rect *rect);
// Reads the first 4 elements; a missing or bad array leaves *rect unchanged.
Boolean CF_GetRectFromCFArray(CFArrayRef array, Rect *rect);
Boolean CF_GetRectFromDict(CFDictionaryRef dict, CFStringRef key, Rect *rect);
// Owned: [h, v] as 16-bit numbers.
CFArrayRef CF_CopyPointToCFArray(const Point *point);
// Element 0 into h, element 1 into v; a missing or bad array leaves *point unchanged.
Boolean CF_GetPointFromCFArray(CFArrayRef array, Point *point);
Boolean CF_GetPointFromDict(CFDictionaryRef dict, CFStringRef key, Point *point);
// Owned: {"Bounds": rectangle array, "Bits": flattened bitmap (only for a region that is not a rectangle)};
// NULL when memory is out.
CFDictionaryRef CF_CreateRgnDict(RgnHandle rgn);
// Owned: a new region (DisposeRgn) equal to the stored one; NULL when the bounds are missing or bad. Bits
// that do not fit the bounds count as missing: the region is then the bounds' rectangle.
RgnHandle CF_GetRgnFromDict(CFDictionaryRef dict);

// ---- Enumerations and numbers ------------------------------------------------------------------------------------

// Owned: an SInt32 number.
CFNumberRef CF_NumberCreateFromEnum(SInt32 value);
// 0 for a missing or bad number.
SInt32 CF_GetEnumFromNumberRef(CFNumberRef number);
void CF_AddEnumToDict(CFMutableDictionaryRef dict, CFStringRef key, SInt32 value);
SInt32 CF_GetEnumFromDict(CFDictionaryRef dict, CFStringRef key);

// Unsigned numbers of bitSize 8, 16 or 32 bits are stored in the next wider signed type (8 as SInt16, 16 as
// SInt32, any other size as SInt64). Reading checks that the value fits bitSize bits.
CFNumberRef CF_CreateUnsignedNumber(UInt32 bitSize, UInt32 number);
Boolean CF_GetUnsignedNumber(CFNumberRef number, UInt32 bitSize, UInt32 *out);
void CF_AddUnsignedToDict(CFMutableDictionaryRef dict, CFStringRef key, UInt32 number, UInt32 bitSize);
Boolean CF_GetUnsignedFromDict(CFDictionaryRef dict, CFStringRef key, UInt32 *out, UInt32 bitSize);

// Signed numbers and floats in exactly their type; a missing or bad value leaves *value unchanged.
void CF_AddSInt8ToDict(CFMutableDictionaryRef dict, CFStringRef key, SInt8 value);
void CF_AddSInt16ToDict(CFMutableDictionaryRef dict, CFStringRef key, SInt16 value);
void CF_AddSInt32ToDict(CFMutableDictionaryRef dict, CFStringRef key, SInt32 value);
void CF_AddSInt64ToDict(CFMutableDictionaryRef dict, CFStringRef key, SInt64 value);
void CF_AddFloat32ToDict(CFMutableDictionaryRef dict, CFStringRef key, Float32 value);
void CF_AddFloat64ToDict(CFMutableDictionaryRef dict, CFStringRef key, Float64 value);
Boolean CF_GetSInt8FromDict(CFDictionaryRef dict, CFStringRef key, SInt8 *value);
Boolean CF_GetSInt16FromDict(CFDictionaryRef dict, CFStringRef key, SInt16 *value);
Boolean CF_GetSInt32FromDict(CFDictionaryRef dict, CFStringRef key, SInt32 *value);
Boolean CF_GetSInt64FromDict(CFDictionaryRef dict, CFStringRef key, SInt64 *value);
Boolean CF_GetFloat32FromDict(CFDictionaryRef dict, CFStringRef key, Float32 *value);
Boolean CF_GetFloat64FromDict(CFDictionaryRef dict, CFStringRef key, Float64 *value);

// ---- Arrays ------------------------------------------------------------------------------------------------------
// The readers copy at most maxCount elements into the caller's buffer: an array of another type, with more
// elements than that, or with a bad element copies nothing, sets *count to 0 and answers false. With a NULL
// buffer they only count.

CFArrayRef CF_CreateSInt32Array(const SInt32 *values, CFIndex count);
Boolean CF_GetSInt32ValuesFromArray(CFArrayRef array, SInt32 *values, CFIndex maxCount, CFIndex *count);
// The numbers lie in memory as UInt8, UInt16 or UInt32 for bitSize 8, 16 or 32 (UInt32 for any other).
CFArrayRef CF_CreateUnsignedArray(UInt32 bitSize, const void *numbers, CFIndex count);
Boolean CF_GetUnsignedValuesFromArray(CFArrayRef array, UInt32 bitSize, void *numbers, CFIndex maxCount,
                                      CFIndex *count);
CFArrayRef CF_CreateBooleanArray(const Boolean *values, CFIndex count);
Boolean CF_GetBooleanValuesFromArray(CFArrayRef array, Boolean *values, CFIndex maxCount, CFIndex *count);

// ---- Booleans, names, texts, codes and byte blocks ------------------------------------------------------------

void CF_AddBooleanToDict(CFMutableDictionaryRef dict, CFStringRef key, Boolean value);
Boolean CF_GetBooleanFromDict(CFDictionaryRef dict, CFStringRef key, Boolean *value);
void CF_AddHFSNameToDict(CFMutableDictionaryRef dict, CFStringRef key, const HFSUniStr255 *name);
// A missing or bad name (more than 255 units) gives length 0.
Boolean CF_GetHFSNameFromDict(CFDictionaryRef dict, CFStringRef key, HFSUniStr255 *name);
// Stored as a data object of the bytes without the terminating zero.
void CF_AddCStringToDict(CFMutableDictionaryRef dict, CFStringRef key, const char *str);
// The bytes and a zero into buffer (bufferSize bytes); a missing value, or one that does not fit with its
// zero, gives the empty string.
Boolean CF_GetCStringFromDict(CFDictionaryRef dict, CFStringRef key, char *buffer, size_t bufferSize);
// A MacRoman text, stored as a string.
void CF_AddMacRomanCStringToDict(CFMutableDictionaryRef dict, CFStringRef key, const char *str);
// Into a 256-byte buffer; missing, not MacRoman or too long: the empty string.
Boolean CF_GetMacRomanCStringFromDict(CFDictionaryRef dict, CFStringRef key, char buffer[256]);
// Its four characters as a MacRoman string, most significant byte first.
void CF_AddOSTypeToDict(CFMutableDictionaryRef dict, CFStringRef key, OSType type);
// The first four characters, padded with zeros; 0 when missing or bad.
OSType CF_GetOSTypeFromDict(CFDictionaryRef dict, CFStringRef key);
void CF_AddDataToDict(CFMutableDictionaryRef dict, CFStringRef key, const void *bytes, size_t size);
void CF_AddDataToDictFromHandle(CFMutableDictionaryRef dict, CFStringRef key, Handle h);
// *block = a new block (owned: free) with the bytes and *size their count; NULL and 0 when missing, bad or
// when memory is out.
Boolean CF_GetDataFromDict(CFDictionaryRef dict, CFStringRef key, void **block, size_t *size);
// *h = a new handle (owned: DisposeHandle) with the bytes; NULL when missing, bad or memory is out.
Boolean CF_GetDataFromDictAsHandle(CFDictionaryRef dict, CFStringRef key, Handle *h);
// Owned results; NULL in, NULL out; NULL when memory is out.
Handle CF_DataRefToHandle(CFDataRef data);
CFDataRef CF_HandleToDataRef(Handle h);

// ---- Matrices and image-description extensions -----------------------------------------------------------------

// The image-description extension records of the movie stand-in (platform/movie/image_descriptions.h).
struct PixelAspectRatioImageDescriptionExtension;
struct CleanApertureImageDescriptionExtension;

// Owned: the nine 32-bit values row by row, as SInt32 numbers.
CFArrayRef CF_CreateMatrixArray(const MatrixRecord *matrix);
// Needs exactly 9 elements; otherwise (or with a bad element) *matrix is left unchanged.
Boolean CF_GetMatrixFromArray(CFArrayRef array, MatrixRecord *matrix);
// Owned: {"Horizontal Spacing", "Vertical Spacing"}, unsigned 32-bit numbers.
CFDictionaryRef CF_CreatePaspIdeExtDict(const PixelAspectRatioImageDescriptionExtension *pasp);
// Field by field; a missing or bad field is left unchanged. True when every field was read.
Boolean CF_GetPaspIdeExtFromDict(CFDictionaryRef dict, PixelAspectRatioImageDescriptionExtension *pasp);
// Owned: the eight fields under their keys; the offsets' numerators are signed 32-bit numbers, the rest
// unsigned 32-bit numbers.
CFDictionaryRef CF_CreateClapIdeExtDict(const CleanApertureImageDescriptionExtension *clap);
Boolean CF_GetClapIdeExtFromDict(CFDictionaryRef dict, CleanApertureImageDescriptionExtension *clap);

// ---- Colours and durations ---------------------------------------------------------------------------------------

// Owned: {"Red", "Green", "Blue"}, each an unsigned 16-bit number.
CFDictionaryRef CF_CreateRGBDict(const RGBColor *color);
// The colour under key; a missing or bad dictionary sets the whole colour to black.
Boolean CF_GetRGBFromDict(CFDictionaryRef dict, CFStringRef key, RGBColor *color);
// Component by component; a missing component is left unchanged.
Boolean CF_GetRGBFromRGBDict(CFDictionaryRef rgbDict, RGBColor *color);
// {"Descr": the duration as text, "Value": the SInt64} under key.
void CF_AddDurationToDict(CFMutableDictionaryRef dict, CFStringRef key, SInt64 duration);
// 0 when missing or bad.
SInt64 CF_GetDurationFromDict(CFDictionaryRef dict, CFStringRef key);

// ---- File references (alias records in data objects) -------------------------------------------------------------

// *data = an owned data object holding an alias record of the file; NULL and the alias error on failure.
OSStatus CF_FileToAliasDataRef(const FSRef *file, CFDataRef *data);
// Resolves the alias in data; NULL data gives fnfErr; on any failure *file is cleared. wasChanged optional.
OSStatus CF_AliasDataRefToFile(CFDataRef data, FSRef *file, Boolean *wasChanged);
OSStatus CF_AddFileObjectToDict(CFMutableDictionaryRef dict, CFStringRef key, const FSRef *file);
// A missing (or bad) key clears *file and gives fnfErr. wasChanged optional.
OSStatus CF_ResolveAliasInDict(CFDictionaryRef dict, CFStringRef key, FSRef *file, Boolean *wasChanged);
// Resolves; when that succeeded, the file is valid and the alias was changed, stores a fresh alias under key
// and returns the result of that.
OSStatus CF_UpdateAliasInDict(CFMutableDictionaryRef dict, CFStringRef key, FSRef *file, Boolean *wasChanged);

// ---- The application's preferences ---------------------------------------------------------------------------------

// Puts a copy of the value under key (in memory until CF_SavePreferencesToDisk).
void CF_SaveValueInPrefs(CFStringRef key, CFPropertyListRef value);
void CF_SaveDataInPrefs(CFStringRef key, const void *bytes, size_t size);
// Owned: the stored value or NULL.
CFPropertyListRef CF_CopyValueFromPrefs(CFStringRef key);
void CF_RemoveValueFromPrefs(CFStringRef key);
// Writes the preferences to their file; false when that failed.
Boolean CF_SavePreferencesToDisk();
// Owned: a mutable copy of the dictionary under key, or a new empty one (also when the value is not one).
CFMutableDictionaryRef CF_CopyOrCreateMutDictFromPrefs(CFStringRef key);
// Owned: a mutable copy of the dictionary under key, or NULL.
CFMutableDictionaryRef CF_CopyMutDictFromPrefs(CFStringRef key);

// ---- Property-list files, bundles and printing -------------------------------------------------------------------

// Writes the property list as XML (atomically); the URL write's error code, kGL_PropertyListErr when the
// value is not a property list.
OSStatus CF_WritePropertyListToXMLFile(CFPropertyListRef plist, CFURLRef url);
// *plist = the file's property list (owned, immutable); the read's error code, kGL_PropertyListErr for data
// that does not parse. *plist is NULL on failure.
OSStatus CF_ReadPropertyListFromXMLFile(CFURLRef url, CFPropertyListRef *plist);
// A bundle for <name>.framework in the system's Frameworks folder. There is no such folder here: fnfErr.
OSStatus CF_LoadSystemFrameworkByName(CFStringRef name, CFBundleRef *bundle);
// The FSRef of a resource of the main bundle found by full name; fnfErr when missing.
OSStatus CF_GetNamedFileInAppBundle(CFStringRef fileName, FSRef *file);
// Writes "HH:MM:SS message" (local time) and a newline to standard output; the line is cut to 255 bytes at a
// character boundary.
void CF_CF_PrintWithTimeVA(CFStringRef format, PL_FormatArgList args);
template <class... A>
void CF_CF_PrintWithTime(CFStringRef format, const A &...args) {
  const PL_FormatArg list[sizeof...(A) + 1] = {PL_MakeFormatArg(args)..., PL_FormatArg()};
  CF_CF_PrintWithTimeVA(format, PL_FormatArgList{list, sizeof...(A)});
}
// "Date = YYYY-MM-DD" / "Time = HH:MM:SS" of now (local time) and a newline on standard output.
void CF_PrintDateNew();
void CF_PrintTimeNew();
