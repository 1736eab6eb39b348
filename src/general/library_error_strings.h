// The per-number library error mapper: any library number to its own key, asked of the library that owns
// the number (general, movie, colour, AIFF, navigation, numerical), and the key's message.
//
// It calls into the movie library and the toolkit, so it is built above both (target bz_error_strings).
#pragma once

#include "platform/core/cf_base.h"

// Stores the key (always, when its address is given) and, for every key but "GL UnknownErr", a new message
// (the caller releases it). A number in no library range gives "GL UnknownErr". Stateless; any thread.
void GL_GetLibraryErrorStringRef(OSStatus error, CFStringRef *errorKey, CFStringRef *errorStringRef);
