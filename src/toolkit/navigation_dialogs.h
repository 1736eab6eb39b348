// Navigation dialogs of the user-interface toolkit (choosing files and folders), and the localisation keys
// of their error numbers.
#pragma once

#include "platform/core/cf_base.h"

enum : OSStatus {
  kNS_NoNavServicesErr = 24001,  // the file dialogs are not available
  kNS_NoEventProcErr = 24002,    // a dialog was asked for without its event procedure
};

// Stores the constant key of a navigation number (never release it): 24001 "NS NoNavServicesErr", 24002
// "NS NoEventProcErr", every other number "GL UnknownErr". Cannot fail; any thread.
void NS_GetLibErrorKey(OSStatus error, CFStringRef *errorKey);
