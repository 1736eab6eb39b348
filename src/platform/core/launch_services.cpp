// Launch Services stand-in: extensions of names.
#include "platform/core/launch_services.h"

#include "platform/core/mac_errors.h"

OSStatus LSGetExtensionInfo(UniCharCount inNameLen, const UniChar inNameBuffer[], UniCharCount *outExtStartIndex) {
  if (outExtStartIndex == nullptr || (inNameBuffer == nullptr && inNameLen > 0)) return paramErr;
  *outExtStartIndex = kLSInvalidExtensionIndex;
  UniCharCount dot = kLSInvalidExtensionIndex;
  for (UniCharCount i = inNameLen; i > 0; --i) {
    const UniChar c = inNameBuffer[i - 1];
    if (c == u'.') {
      dot = i - 1;
      break;
    }
    if (c == u' ' || c == u'/') return noErr;
  }
  if (dot == kLSInvalidExtensionIndex || dot == 0 || dot + 1 >= inNameLen) return noErr;
  *outExtStartIndex = dot + 1;
  return noErr;
}
