// Launch Services stand-in: extensions of names.
#include "platform/core/launch_services.h"

#include "platform/core/cf_number.h"
#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"

#include <string>

const CFStringRef kLSItemExtension = PL_CFStringMakeConstant("LSItemExtension");
const CFStringRef kLSItemDisplayName = PL_CFStringMakeConstant("LSItemDisplayName");
const CFStringRef kLSItemExtensionIsHidden = PL_CFStringMakeConstant("LSItemExtensionIsHidden");

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

OSStatus LSCopyItemAttribute(const FSRef *inItem, LSRolesMask, CFStringRef inAttributeName, CFTypeRef *outValue) {
  if (outValue == nullptr || inItem == nullptr || inAttributeName == nullptr) return paramErr;
  *outValue = nullptr;
  const bool extension = CFEqual(inAttributeName, kLSItemExtension);
  const bool displayName = CFEqual(inAttributeName, kLSItemDisplayName);
  if (!extension && !displayName && !CFEqual(inAttributeName, kLSItemExtensionIsHidden)) {
    return kLSAttributeNotFoundErr;
  }
  std::string path;
  OSStatus err = PL_FSRefMakePathString(inItem, &path);
  if (err != noErr) return err;
  if (!extension && !displayName) {
    *outValue = kCFBooleanFalse;
    return noErr;
  }
  const std::string name = path == "/" ? path : path.substr(path.rfind('/') + 1);
  PL_CFScoped<CFStringRef> nameString(CFStringCreateWithFileSystemRepresentation(nullptr, name.c_str()));
  if (nameString == nullptr) return memFullErr;
  if (displayName) {
    *outValue = nameString.release();
    return noErr;
  }
  const CFIndex n = CFStringGetLength(nameString);
  std::u16string units(size_t(n), u'\0');
  CFStringGetCharacters(nameString, CFRangeMake(0, n), reinterpret_cast<UniChar *>(units.data()));
  UniCharCount start = kLSInvalidExtensionIndex;
  LSGetExtensionInfo(UniCharCount(n), reinterpret_cast<const UniChar *>(units.data()), &start);
  *outValue = start == kLSInvalidExtensionIndex
                  ? CFStringCreateWithCharacters(nullptr, nullptr, 0)
                  : CFStringCreateWithSubstring(nullptr, nameString, CFRangeMake(CFIndex(start), n - CFIndex(start)));
  return *outValue != nullptr ? noErr : memFullErr;
}
