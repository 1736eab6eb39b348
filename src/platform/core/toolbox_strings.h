// Toolbox string routines: length-prefixed (Pascal) strings, their conversion to and from zero-terminated
// strings, numbers as text, comparison, and text replacement in handles.
//
// Pascal strings hold at most 255 bytes after their length byte; the copies accept overlapping buffers, so
// the conversions may work in place.
#pragma once

#include "platform/core/mac_types.h"

// Copies `source` (length byte and text) to `dest`; returns `dest`.
StringPtr PLstrcpy(StringPtr dest, ConstStr255Param source);
// Appends `append`, cut so that the result holds at most 255 bytes; returns `str`.
StringPtr PLstrcat(StringPtr str, ConstStr255Param append);
// Pascal to zero-terminated (`dst` holds at least src[0] + 1 bytes).
void p2cstrcpy(char *dst, ConstStr255Param src);
// Zero-terminated to Pascal, cut at 255 bytes (`dst` holds 256 bytes).
void c2pstrcpy(Str255 dst, const char *src);

// Decimal text of a 32-bit number ("-123").
void NumToString(SInt32 theNum, Str255 theString);
// The number of a text: an optional sign and digits, read up to the first other character; the value wraps
// at 32 bits as the toolbox's did. An empty text gives 0.
void StringToNum(ConstStr255Param theString, SInt32 *theNum);

// Equality of two Mac Roman Pascal strings; without case sensitivity upper and lower case are equal, without
// diacritical sensitivity accented letters equal their base letters.
Boolean EqualString(ConstStr255Param str1, ConstStr255Param str2, Boolean caseSensitive, Boolean diacSensitive);

// Makes the handle hold `strNew` (length byte and text); MemError tells whether it could grow.
void SetString(StringHandle theString, ConstStr255Param strNew);
// The `index`-th string of a 'STR#' resource. Linux files have no resources, so the answer is always the empty
// string, as the toolbox gave for a missing resource.
void GetIndString(Str255 theString, SInt16 strListID, SInt16 index);
// Replaces every occurrence of `key` (a Pascal string of at most 15 bytes) in `baseText` by the bytes of
// `substitutionText`; returns the number of replacements, or a negative error (paramErr, memFullErr).
SInt32 ReplaceText(Handle baseText, Handle substitutionText, ConstStr255Param key);
