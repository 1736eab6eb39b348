// The bridge between file URLs and FSRefs.
#pragma once

#include "platform/core/cf_base.h"
#include "platform/core/files.h"

// Owned: the URL of the object (a folder's URL has a folder path); NULL when the reference names nothing.
CFURLRef CFURLCreateFromFSRef(CFAllocatorRef allocator, const FSRef *fsRef);
// The reference of the object a file URL names; false when the URL is not a file URL or nothing is there.
Boolean CFURLGetFSRef(CFURLRef url, FSRef *fsRef);
