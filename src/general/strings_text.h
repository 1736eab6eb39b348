// Strings, text buffers and number texts: zero-terminated byte strings (the system encoding, Str255-sized
// where they stand for length-prefixed strings), four-character codes, hexadecimal, versions, numbers, time
// codes and digit filters, and the text buffer with its "title: value\n" lines.
#pragma once

#include "platform/core/mac_types.h"

// ---- Four-character codes ----
// The first four bytes, missing ones taken as 0 bytes, the first byte most significant.
OSType GL_CStrToOSType(const char *cString);
