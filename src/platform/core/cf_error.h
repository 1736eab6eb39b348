// CoreFoundation stand-in: CFError, an error code in a domain with a description, as the property-list
// calls report their failures.
#pragma once

#include "platform/core/cf_base.h"

extern const CFStringRef kCFErrorDomainPOSIX;
extern const CFStringRef kCFErrorDomainOSStatus;
extern const CFStringRef kCFErrorDomainCocoa;
// Key of the user-info dictionary whose string value is the description.
extern const CFStringRef kCFErrorDescriptionKey;

// Codes of the property-list calls in kCFErrorDomainCocoa.
enum : CFIndex {
  kCFPropertyListReadCorruptError = 3840,
  kCFPropertyListReadUnknownVersionError = 3841,
  kCFPropertyListReadStreamError = 3842,
  kCFPropertyListWriteStreamError = 3851,
  kCFPropertyListWriteInvalidError = 3852,
};

CFTypeID CFErrorGetTypeID();
// Owned. `userInfo` (may be NULL) is copied.
CFErrorRef CFErrorCreate(CFAllocatorRef allocator, CFStringRef domain, CFIndex code, CFDictionaryRef userInfo);
// Borrowed.
CFStringRef CFErrorGetDomain(CFErrorRef err);
CFIndex CFErrorGetCode(CFErrorRef err);
// Owned: the description of the user info, else a text made of domain and code.
CFStringRef CFErrorCopyDescription(CFErrorRef err);
// Owned: a copy of the user info (an empty dictionary when there is none).
CFDictionaryRef CFErrorCopyUserInfo(CFErrorRef err);

// Owned: an error with a description, in one call.
CFErrorRef PL_CFErrorCreateWithDescription(CFStringRef domain, CFIndex code, CFStringRef description);
