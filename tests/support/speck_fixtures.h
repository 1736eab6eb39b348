// Specks for tests and benchmarks of the speck routines: a padded '2vuy' frame of luminance 100 holding
// pixels of another luminance, their flag plane and the speck made of them (band 90..110, minDiff 30), plus
// pixel sets of common shapes. Header only; the executable links the outlier library.
#pragma once

#include "general/memory_lists.h"
#include "outliers/outlier_stage.h"
#include "outliers/regions.h"
#include "outliers/speck_properties.h"

#include <utility>
#include <vector>

namespace bz_test {

using SpeckPixels = std::vector<std::pair<int, int>>;  // (row, column)

struct SpeckScene {
  static constexpr SInt32 kWidth = 48, kHeight = 40;
  std::vector<UInt8> frame = std::vector<UInt8>(size_t(kWidth) * kHeight * 2, 128);
  std::vector<UInt16> data = std::vector<UInt16>(size_t(kWidth) * kHeight, 0);
  std::vector<SInt32> pixelList = std::vector<SInt32>(size_t(kWidth) * kHeight, 0);
  BZ_OuSett sett{};
  BZ_OuParams params{};
  BZ_OuSpeck speck{};

  explicit SpeckScene(const SpeckPixels &pixels, UInt8 luma = 200) {
    for (size_t i = 1; i < frame.size(); i += 2) frame[i] = 100;
    BZ_MakeDefaultOuSett(&sett);
    sett.minDiff = 30;
    params.sett = &sett;
    params.width = kWidth;
    params.height = kHeight;
    speck.min = 90;
    speck.max = 110;
    speck.rgn.numPixels = speck.rgn.numFirstDegreePixels = SInt32(pixels.size());
    if (GL_NewPtrClear(sizeof(SInt32) * (pixels.size() + 1), &speck.rgn.pixels) != noErr) {
      speck.rgn.numPixels = 0;
      return;
    }
    speck.rgn.pixelsSize = SInt32(pixels.size());
    speck.rgn.bounds = Rect{32767, 32767, -32768, -32768};
    for (size_t i = 0; i < pixels.size(); ++i) {
      const SInt32 index = pixels[i].first * kWidth + pixels[i].second;
      speck.rgn.pixels[i] = index;
      frame[2 * size_t(index) + 1] = luma;
      data[size_t(index)] = kRG_FirstDegree | kRG_InRegion | 10;
      RG_AddIndexToBounds(kWidth, index, &speck.rgn.bounds);
    }
  }
  ~SpeckScene() { RG_DisposeRgn(&speck.rgn); }
  SpeckScene(const SpeckScene &) = delete;
  SpeckScene &operator=(const SpeckScene &) = delete;
};

inline SpeckPixels Block(int top, int left, int rows, int cols) {
  SpeckPixels p;
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) p.emplace_back(top + r, left + c);
  return p;
}

inline SpeckPixels Disc(int cy, int cx, double radius) {
  SpeckPixels p;
  for (int r = cy - int(radius) - 1; r <= cy + int(radius) + 1; ++r)
    for (int c = cx - int(radius) - 1; c <= cx + int(radius) + 1; ++c)
      if ((r - cy) * (r - cy) + (c - cx) * (c - cx) <= radius * radius) p.emplace_back(r, c);
  return p;
}

// A size by size square without its notch by notch top-right corner, turned by quarter turns (0..3)
// clockwise.
inline SpeckPixels NotchedSquare(int top, int left, int turns, int size = 10, int notch = 4) {
  SpeckPixels p;
  for (int r = 0; r < size; ++r)
    for (int c = 0; c < size; ++c) {
      if (r < notch && c >= size - notch) continue;
      int rr = r, cc = c;
      for (int t = 0; t < turns; ++t) {
        const int nr = cc, nc = size - 1 - rr;
        rr = nr;
        cc = nc;
      }
      p.emplace_back(top + rr, left + cc);
    }
  return p;
}

}  // namespace bz_test
