// File Manager names as UTF-16 records.
#include "platform/core/hfs_names.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"

OSStatus FSGetHFSUniStrFromString(CFStringRef theString, HFSUniStr255 *asHFSUniStr) {
  if (theString == nullptr || asHFSUniStr == nullptr) return paramErr;
  CFIndex n = CFStringGetLength(theString);
  if (n > 255) {
    n = 255;
    const UniChar last = CFStringGetCharacterAtIndex(theString, 254);
    if (last >= 0xD800 && last <= 0xDBFF) n = 254;
  }
  CFStringGetCharacters(theString, CFRangeMake(0, n), asHFSUniStr->unicode);
  asHFSUniStr->length = UInt16(n);
  return noErr;
}

CFStringRef FSCreateStringFromHFSUniStr(CFAllocatorRef alloc, const HFSUniStr255 *uniStr) {
  if (uniStr == nullptr || uniStr->length > 255) return nullptr;
  return CFStringCreateWithCharacters(alloc, uniStr->unicode, uniStr->length);
}
