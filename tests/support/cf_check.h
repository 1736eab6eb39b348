// Test helpers for CF values.
#pragma once

#include "platform/core/cf_base.h"

#include <string>

namespace bz_test {

// The string's text as UTF-8; "(null)" for NULL.
std::string CFText(CFStringRef s);

// The main bundle's localised text for the key, as UTF-8.
std::string LocalizedText(const char *key);

// A property-list value as text that shows every number's stored type: dictionaries with their keys sorted,
// one "key = value" per line, nested ones indented; e.g. "Shift = Float64 -3.25", "Apply = true",
// "Crop values = (SInt16 2, SInt16 4, SInt16 6, SInt16 8)". Golden tests of stored formats compare it.
std::string CFDescribe(CFTypeRef value);

}  // namespace bz_test
