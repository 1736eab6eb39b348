// Launch Services stand-in: where a file name's extension starts, and the attributes of an item that
// depend on its name.
//
// A name has an extension when its last "." is neither its first nor its last character and nothing after
// it is a space or a slash ("movie.mov" -> "mov"; ".profile", "capture", "notes." and "v1. draft" have none).
#pragma once

#include "platform/core/cf_base.h"
#include "platform/core/files.h"
#include "platform/core/mac_types.h"

enum : UniCharCount { kLSInvalidExtensionIndex = 0xFFFFFFFFu };

// The index of the extension's first character (after the dot), or kLSInvalidExtensionIndex.
// paramErr for a NULL buffer with a non-zero length.
OSStatus LSGetExtensionInfo(UniCharCount inNameLen, const UniChar inNameBuffer[], UniCharCount *outExtStartIndex);

typedef OptionBits LSRolesMask;
enum : LSRolesMask { kLSRolesNone = 1, kLSRolesViewer = 2, kLSRolesEditor = 4, kLSRolesShell = 8, kLSRolesAll = 0xFFFFFFFFu };
enum : OSStatus { kLSAttributeNotFoundErr = -10662 };

// Attribute names: the extension without its dot ("" when there is none), the name to show (the full
// name: extensions are never hidden here) and whether the extension is hidden (always false).
extern const CFStringRef kLSItemExtension;
extern const CFStringRef kLSItemDisplayName;
extern const CFStringRef kLSItemExtensionIsHidden;

// *outValue = a new value of the attribute (owned); the File Manager's error for a stale or invalid reference,
// kLSAttributeNotFoundErr for another attribute name.
OSStatus LSCopyItemAttribute(const FSRef *inItem, LSRolesMask inRoles, CFStringRef inAttributeName,
                             CFTypeRef *outValue);
