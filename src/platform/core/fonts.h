// Font Manager names and family numbers. Linux has no font numbers, so the classic families keep their
// historic numbers (systemFont 0, applFont 1, Geneva 3, Monaco 4, Times 20, Helvetica 21, Courier 22 ...)
// and any other name gets a number of its own for the life of the process; the user-interface layer maps
// names to real fonts.
#pragma once

#include "platform/core/mac_types.h"

enum : SInt16 { systemFont = 0, applFont = 1 };

// The family number of a name (a Pascal string); 0 (the system font) for an empty name.
void GetFNum(ConstStr255Param name, SInt16 *familyID);
// The name of a family number; an empty string for a number that names no family.
void GetFontName(SInt16 familyID, Str255 name);
// The application font's family number (applFont).
SInt16 GetAppFont();
