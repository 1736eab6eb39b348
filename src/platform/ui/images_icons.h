// Icon Services stand-in, icon families: the 'icns' format (a big-endian header 'icns' and total length,
// then elements of type, length including their 8-byte header, and data) made and read in memory, icon
// references made from a family, and icons registered by creator and type. Pictures are decoded with the
// 'PICT' element (a picture of this layer), the 'ic08' element when it holds 256 x 256 ARGB pixels, and
// otherwise with Qt's icns reader (PNG and JPEG 2000 elements of real icon files). Main thread only.
#pragma once

#include "platform/core/files.h"
#include "platform/core/icons.h"
#include "platform/core/memory.h"

typedef Handle IconFamilyHandle;

enum : OSErr { invalidIconRefErr = -2580, noSuchIconErr = -2582 };
enum : OSType {
  kIconFamilyType = 'icns',
  kPictureIconFamilyElement = 'PICT',
  kThumbnail8BitMask = 't8mk',
  kIconServices256PixelDataARGB = 'ic08',
};

// Sets (replacing one of the same type) the element's data to a copy of h's bytes; the family grows.
// paramErr for a family that is not one.
OSErr SetIconFamilyData(IconFamilyHandle iconFamily, OSType iconType, Handle h);
// h's bytes become the element's data; noSuchIconErr when the family has no such element.
OSErr GetIconFamilyData(IconFamilyHandle iconFamily, OSType iconType, Handle h);
// A new icon (owned: ReleaseIconRef) of the family's bytes; invalidIconRefErr when they hold no picture
// that can be decoded, paramErr for bytes that are no family.
OSErr GetIconRefFromIconFamilyPtr(const void *inIconFamilyPtr, Size inSize, IconRef *outIconRef);
// *iconFamily = a new family (owned: DisposeHandle) holding the file's bytes; invalidIconRefErr for a file
// that is no icon family, file errors as the File Manager gives them.
OSErr ReadIconFromFSRef(const FSRef *ref, IconFamilyHandle *iconFamily);
// Registers the icon of the file for (creator, iconType), replacing an earlier one; *theIconRef (may be
// null) = the icon, owned by the registration (AcquireIconRef to keep it).
OSErr RegisterIconRefFromFSRef(OSType creator, OSType iconType, const FSRef *iconFile, IconRef *theIconRef);
// The registered icon of (creator, iconType) (owned: one more reference); noSuchIconErr when none.
OSErr GetIconRef(SInt16 vRefNum, OSType creator, OSType iconType, IconRef *theIconRef);

// Our own: the pixel size of the icon's picture.
OSStatus PL_GetIconRefSize(IconRef iconRef, SInt32 *width, SInt32 *height);
