// CoreFoundation stand-in: the application's preferences (CFPreferences of the current application, the
// current user and any host).
//
// Each domain is one XML property list in the Preferences folder ($XDG_CONFIG_HOME/brizel, default
// ~/.config/brizel), named after the domain: "<bundle identifier>.plist" for kCFPreferencesCurrentApplication.
// A domain is read on its first use and kept in memory, where numbers keep the type they were set with;
// from the file they come back as SInt64 or Float64, so readers convert (CFNumberGetValue). Changes reach the
// disk only through CFPreferencesAppSynchronize, which writes atomically (a temporary file beside the target,
// synced, then renamed over it), so a crash never leaves half a file.
//
// A damaged file (broken XML, a root that is not a dictionary) never stops the program: it is reported once
// on standard error, kept aside as "<name>.damaged" for the user and the domain starts empty, so the
// application sets its defaults; the next synchronisation writes a sound file.
//
// Every call may run on any thread; the domains are guarded by one lock.
#pragma once

#include "platform/core/cf_base.h"

#include <string>

// The domain of the running application.
extern const CFStringRef kCFPreferencesCurrentApplication;

// Owned: the value under key, or NULL. The value is immutable; copy it to change it.
CFPropertyListRef CFPreferencesCopyAppValue(CFStringRef key, CFStringRef applicationID);
// Puts a copy of the value under key (NULL removes the key). A value that is not a property list is not
// stored (and reported on standard error), since it could never be written.
void CFPreferencesSetAppValue(CFStringRef key, CFPropertyListRef value, CFStringRef applicationID);
// Writes the domain's changes to its file (nothing to do without changes). False when the file cannot be
// written; the changes then stay in memory for a later try.
Boolean CFPreferencesAppSynchronize(CFStringRef applicationID);

// Our own helpers (PL_).
// The path of the domain's file ("" when the Preferences folder cannot be made).
std::string PL_CFPreferencesFilePath(CFStringRef applicationID);
// Whether the domain's file was found damaged when it was read (since start or the last forgetting);
// *keptAs (may be NULL) gets where it was kept aside, "" when it could not be.
Boolean PL_CFPreferencesWasDamaged(CFStringRef applicationID, std::string *keptAs);
// Forgets every domain held in memory, unsaved changes included, as a new start of the program would. For
// tests, and for pointing the preferences at another folder.
void PL_CFPreferencesForgetAll();
