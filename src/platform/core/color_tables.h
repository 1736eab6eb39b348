// Colour-table stand-in: the standard tables by id (8: the 8-bit system palette, 40: the 8-bit grey scale
// from white to black), as handles the caller disposes of.
#pragma once

#include "platform/core/offscreen_worlds.h"

struct ColorSpec {
  SInt16 value;
  RGBColor rgb;
};
struct ColorTable {
  SInt32 ctSeed;
  SInt16 ctFlags;
  SInt16 ctSize;  // entries minus one
  ColorSpec ctTable[1];
};

// nullptr for any other id or when memory runs out.
CTabHandle GetCTable(SInt16 ctID);
void DisposeCTable(CTabHandle cTable);
