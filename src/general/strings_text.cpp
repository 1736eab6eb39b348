// Strings, text buffers and number texts.
#include "general/strings_text.h"

#include <cstring>

OSType GL_CStrToOSType(const char *cString) {
  if (cString == nullptr) return 0;
  OSType code = 0;
  bool ended = false;
  for (int i = 0; i < 4; ++i) {
    const auto b = ended ? UInt8(0) : UInt8(cString[i]);
    if (b == 0) ended = true;
    code = (code << 8) | b;
  }
  return code;
}
