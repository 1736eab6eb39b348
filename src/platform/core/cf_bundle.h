// CoreFoundation stand-in: bundles. The main bundle is the program's resources folder:
//   $BZ_RESOURCES_DIR when set; else a "resources" folder beside the executable or one level above it;
//   else the source tree's resources folder.
// It holds Info.plist (version and identifier) and en.lproj/<table>.strings with the English texts
// ("key" = "text"; lines in UTF-8, or UTF-16 with a byte-order mark; /* */ and // comments; the escapes
// \n \t \r \" \\ \' and \Uxxxx). Files are read once, on first use; a missing or damaged file leaves its
// table empty (a damaged line is skipped), so lookups fall back as CFBundleCopyLocalizedString says.
#pragma once

#include "platform/core/cf_base.h"

#include <string>

extern const CFStringRef kCFBundleInfoDictionaryVersionKey;
extern const CFStringRef kCFBundleExecutableKey;
extern const CFStringRef kCFBundleIdentifierKey;
extern const CFStringRef kCFBundleVersionKey;
extern const CFStringRef kCFBundleNameKey;

CFTypeID CFBundleGetTypeID();
// Borrowed; never NULL (a missing resources folder gives a bundle without resources).
CFBundleRef CFBundleGetMainBundle();
// Owned: a bundle over another folder; NULL when the folder does not exist.
CFBundleRef CFBundleCreate(CFAllocatorRef allocator, CFURLRef bundleURL);

// Owned: the text of `key` in the table (NULL or "" means "Localizable"); a missing key gives `value`, or the
// key itself when `value` is NULL or empty.
CFStringRef CFBundleCopyLocalizedString(CFBundleRef bundle, CFStringRef key, CFStringRef value, CFStringRef tableName);
// Borrowed: the Info.plist dictionary (empty when there is none) and one of its values.
CFDictionaryRef CFBundleGetInfoDictionary(CFBundleRef bundle);
CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key);
CFStringRef CFBundleGetIdentifier(CFBundleRef bundle);
// CFBundleVersion packed as a classic version number: major (two BCD digits), minor and bug-fix nibbles,
// stage (0x20 development, 0x40 alpha, 0x60 beta, 0x80 release) and the pre-release revision; "1.2.3" gives
// 0x01238000. 0 when there is no version or it does not parse.
UInt32 CFBundleGetVersionNumber(CFBundleRef bundle);
// Owned URLs of the bundle folder, its resources folder (the same folder here) and of one resource
// (name + "." + type, looked for in the folder and then in en.lproj, inside `subDirName` when given);
// NULL when the resource does not exist.
CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle);
CFURLRef CFBundleCopyResourcesDirectoryURL(CFBundleRef bundle);
CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef resourceName, CFStringRef resourceType,
                                 CFStringRef subDirName);

// The main bundle's folder ("" when none was found).
std::string PL_MainBundleDirectory();
// Points the main bundle at another folder and forgets what it read (NULL: search again as above). For tests
// and start-up only: no other thread may use the bundle meanwhile, and borrowed values of the old folder die.
void PL_SetMainBundleDirectory(const char *path);
