// Icons of the user-interface toolkit: icon references made from pictures, picture files, Quartz images and
// icon files of the application's bundle. Main thread only.
#pragma once

#include "platform/core/files.h"
#include "platform/core/icons.h"
#include "platform/core/quartz_images.h"
#include "platform/ui/images_icons.h"

// *iconRef = a new icon of the picture (owned: ReleaseIconRef); null on failure (paramErr for a damaged
// or missing picture).
OSStatus IC_PicToIcon(PicHandle picture, IconRef *iconRef);
// *iconRef = NULL, then the icon of the image file (IC_GetIconRefFromCGImage); file and decoding errors as
// they come.
OSStatus IC_PictureFileToIconRef(const FSRef *file, IconRef *iconRef);
// *iconRef = NULL, then the image scaled into 256 x 256 straight-alpha ARGB pixels, set as the 'ic08' element
// of a new icon family, and its icon (owned: ReleaseIconRef).
OSStatus IC_GetIconRefFromCGImage(CGImageRef image, IconRef *iconRef);
// Registers the bundle resource `name` as the icon of (creator, type): paramErr (-50) for an empty or NULL
// name; a name the bundle does not hold registers nothing and answers noErr. *iconRef (may be null) = the
// registered icon, owned by the registration.
OSStatus IC_RegisterIconInAppBundle(FourCharCode creator, FourCharCode type, const char *name, IconRef *iconRef);
// *iconRef = the icon of the bundle's icon file `name` (owned: ReleaseIconRef); fnfErr when missing.
OSStatus IC_IconFromAppBundle(CFStringRef name, IconRef *iconRef);
