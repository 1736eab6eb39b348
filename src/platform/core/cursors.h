// Cursor stand-in: the classic cursor records by resource id and the arrow, and the cursor last set. The
// user-interface layer shows the real pointer shapes; this layer only records which one was asked for.
#pragma once

#include "platform/core/mac_types.h"
#include "platform/core/quickdraw_geometry.h"

typedef SInt16 Bits16[16];
struct Cursor {
  Bits16 data;
  Bits16 mask;
  Point hotSpot;
};
typedef Cursor *CursPtr;
typedef CursPtr *CursHandle;

enum : SInt16 { iBeamCursor = 1, crossCursor = 2, plusCursor = 3, watchCursor = 4 };

// The system cursor of that id (one handle per id for the life of the process); nullptr for any other id.
CursHandle GetCursor(SInt16 cursorID);
// Records the cursor to show (a copy of it).
void SetCursor(const Cursor *crsr);
// Fills in the arrow cursor.
Cursor *GetQDGlobalsArrow(Cursor *arrow);
// The cursor last set (the arrow before any).
void PL_GetCurrentCursor(Cursor *crsr);
