#include "platform/core/color_tables.h"

#include "platform/core/memory.h"

CTabHandle GetCTable(SInt16 ctID) {
  if (ctID != 8 && ctID != 40) return nullptr;
  Handle h = NewHandleClear(Size(sizeof(ColorTable) + 255 * sizeof(ColorSpec)));
  if (h == nullptr) return nullptr;
  CTabHandle table = reinterpret_cast<CTabHandle>(h);
  ColorTable &t = **table;
  t.ctSeed = ctID;
  t.ctSize = 255;
  for (int i = 0; i < 256; ++i) {
    ColorSpec &c = t.ctTable[i];
    c.value = SInt16(i);
    if (ctID == 40) {
      const UInt16 level = UInt16((255 - i) * 0x0101);
      c.rgb = RGBColor{level, level, level};
    } else if (i < 215) {  // the 6x6x6 cube, from white, blue fastest
      c.rgb = RGBColor{UInt16((5 - i / 36) * 0x3333), UInt16((5 - (i / 6) % 6) * 0x3333), UInt16((5 - i % 6) * 0x3333)};
    } else if (i < 255) {  // ramps of red, green, blue and grey between the cube's levels
      static const UInt8 kLevels[10] = {0xEE, 0xDD, 0xBB, 0xAA, 0x88, 0x77, 0x55, 0x44, 0x22, 0x11};
      const UInt16 v = UInt16(kLevels[(i - 215) % 10] * 0x0101);
      const int ramp = (i - 215) / 10;
      c.rgb = ramp == 0 ? RGBColor{v, 0, 0} : ramp == 1 ? RGBColor{0, v, 0} : ramp == 2 ? RGBColor{0, 0, v} : RGBColor{v, v, v};
    } else {
      c.rgb = RGBColor{0, 0, 0};
    }
  }
  return table;
}

void DisposeCTable(CTabHandle cTable) {
  if (cTable != nullptr) DisposeHandle(reinterpret_cast<Handle>(cTable));
}
