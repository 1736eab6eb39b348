// Test helpers for CF values.
#pragma once

#include "platform/core/cf_base.h"

#include <string>

namespace bz_test {

// The string's text as UTF-8; "(null)" for NULL.
std::string CFText(CFStringRef s);

}  // namespace bz_test
