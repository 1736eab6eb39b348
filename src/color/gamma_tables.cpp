#include "color/gamma_tables.h"

#include <cmath>

namespace {

// trunc(0.5 + 1024 · (i/1024)^e) for every i. A gamma of zero, a negative one or NaN can give values
// outside 16 bits (up to infinity); they are held to the entry's range instead of converted blindly.
void FillPowerTable(double e, UInt16 *table) {
  for (int i = 0; i < kCO_RGBTableEntries; ++i) {
    const double v = 0.5 + 1024.0 * std::pow(i / 1024.0, e);
    if (v >= 0.0 && v < 65536.0) {
      table[i] = static_cast<UInt16>(v);
    } else {
      table[i] = v >= 65536.0 ? 65535 : 0;
    }
  }
}

}  // namespace

void CO_MakeRGBTable(float inGamma, float outGamma, UInt16 *newRGB) {
  const float e = inGamma / outGamma;
  FillPowerTable(e, newRGB);
}

void CO_MakeBrightnessTable(float brightness, UInt16 *newY) { FillPowerTable(1.0 / brightness, newY); }
