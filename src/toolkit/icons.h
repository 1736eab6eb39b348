// Icons of the user-interface toolkit. Main thread only.
#pragma once

#include "platform/core/icons.h"

// *iconRef = a new icon of the picture (owned: ReleaseIconRef); null on failure (paramErr for a damaged
// or missing picture).
OSStatus IC_PicToIcon(PicHandle picture, IconRef *iconRef);
