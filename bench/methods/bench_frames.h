// A padded '2vuy' working frame for the method benchmarks: vertical colour bands 40 pixels wide, a luma ramp
// down the picture and a same-field checkerboard of amplitude 10 within 6 pixels of every band edge, so
// that every line has its stretches and zones as a cleaned movie's would.
#pragma once

#include "platform/core/mac_types.h"

#include <cstddef>

namespace bz_bench {

inline void MakeColourBandFrame(SInt32 width, SInt32 height, UInt8 *buffer) {
  for (SInt32 y = 0; y < height; ++y) {
    UInt8 *line = buffer + size_t(y) * size_t(width) * 2;
    for (SInt32 x = 0; x < width; ++x) {
      const SInt32 band = x / 40, edge = x % 40;
      const bool even = band % 2 == 0;
      line[2 * x] = UInt8((x % 2 == 0) ? (even ? 90 : 160) : (even ? 160 : 90));
      SInt32 luma = 60 + (120 * y) / (height > 0 ? height : 1) + (even ? 0 : 20);
      if (edge < 6 || edge >= 34) luma += ((x + y / 2) % 2) ? 10 : -10;
      line[2 * x + 1] = UInt8(luma);
    }
  }
}

}  // namespace bz_bench
