// The standard about box: a small modeless window of ours showing the application's icon, name, version
// and description. Main thread.
#pragma once

#include "platform/core/cf_base.h"

// Option keys (CFString values); a missing name or version comes from the main bundle's Info.plist
// (CFBundleName, CFBundleShortVersionString).
#define kHIAboutBoxNameKey CFSTR("HIAboutBoxName")
#define kHIAboutBoxVersionKey CFSTR("HIAboutBoxVersion")
#define kHIAboutBoxDescriptionKey CFSTR("HIAboutBoxDescription")

// Makes and shows the about box in front (a document window with a close box that closes it); its labels
// are named "HIAboutBoxIcon", "HIAboutBoxName", "HIAboutBoxVersion" and "HIAboutBoxDescription". inOptions
// may be NULL. paramErr when no window can be made.
OSStatus HIAboutBox(CFDictionaryRef inOptions);
