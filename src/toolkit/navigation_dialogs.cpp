// Navigation dialogs, and their error keys.
#include "toolkit/navigation_dialogs.h"

#include "platform/core/cf_string.h"

void NS_GetLibErrorKey(OSStatus error, CFStringRef *errorKey) {
  if (errorKey == nullptr) return;
  switch (error) {
    case kNS_NoNavServicesErr: *errorKey = CFSTR("NS NoNavServicesErr"); break;
    case kNS_NoEventProcErr: *errorKey = CFSTR("NS NoEventProcErr"); break;
    default: *errorKey = CFSTR("GL UnknownErr"); break;
  }
}
