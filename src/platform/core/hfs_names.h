// File Manager names: HFSUniStr255 (a length and up to 255 UTF-16 units, native byte order) and its
// conversions to and from CFStrings.
#pragma once

#include "platform/core/cf_base.h"

// The record itself is the File Manager stand-in's.
#include "platform/core/files.h"

// Copies the string's units into `asHFSUniStr`, cut at 255 units (never inside a surrogate pair).
// paramErr for a NULL argument.
OSStatus FSGetHFSUniStrFromString(CFStringRef theString, HFSUniStr255 *asHFSUniStr);
// Owned: a string of the name's units; NULL for a NULL name or a length above 255.
CFStringRef FSCreateStringFromHFSUniStr(CFAllocatorRef alloc, const HFSUniStr255 *uniStr);
