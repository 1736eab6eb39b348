// Icon Services stand-in: icon references made from pictures; the user-interface layer shows an icon's
// picture (a window icon, a list row). Reference counted; main thread only.
#pragma once

#include "platform/core/quickdraw_pictures.h"

struct OpaqueIconRef;
typedef OpaqueIconRef *IconRef;

// Releases one reference (the last disposes the icon); paramErr for a null or unknown icon.
OSErr ReleaseIconRef(IconRef theIconRef);
OSErr AcquireIconRef(IconRef theIconRef);

// ---- Our own helpers ----
// A new icon (owned: ReleaseIconRef) showing a copy of the picture; paramErr for a damaged picture.
OSStatus PL_NewIconRefFromPicture(PicHandle picture, IconRef *iconRef);
// The icon's picture (borrowed while the icon lives); null for an unknown icon.
PicHandle PL_GetIconRefPicture(IconRef iconRef);
