// Launch Services stand-in: where a file name's extension starts.
//
// A name has an extension when its last "." is neither its first nor its last character and nothing after
// it is a space or a slash ("movie.mov" -> "mov"; ".profile", "capture", "notes." and "v1. draft" have none).
#pragma once

#include "platform/core/mac_types.h"

enum : UniCharCount { kLSInvalidExtensionIndex = 0xFFFFFFFFu };

// The index of the extension's first character (after the dot), or kLSInvalidExtensionIndex.
// paramErr for a NULL buffer with a non-zero length.
OSStatus LSGetExtensionInfo(UniCharCount inNameLen, const UniChar inNameBuffer[], UniCharCount *outExtStartIndex);
