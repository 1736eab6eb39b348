// Holes of regions (rings with straight and diagonal walls, shapes open to their bounds, regions too small to
// search) and regions written into byte masks.
#include "outliers/regions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A flag plane with '#' drawn as first-degree pixels, 2 pixels of margin, and the region grown from the first.
struct DrawnRegion {
  explicit DrawnRegion(const std::vector<std::string> &art)
      : width(SInt32(art[0].size()) + 4),
        height(SInt32(art.size()) + 4),
        data(size_t(width) * size_t(height), 0),
        pixelList(size_t(width) * size_t(height), 0) {
    SInt32 seed = -1;
    for (size_t r = 0; r < art.size(); ++r)
      for (size_t c = 0; c < art[r].size(); ++c)
        if (art[r][c] == '#') {
          const SInt32 p = SInt32(r + 2) * width + SInt32(c + 2);
          data[size_t(p)] = kRG_FirstDegree | 10;
          if (seed < 0) seed = p;
        }
    const Rect all{0, 0, SInt16(height), SInt16(width)};
    EXPECT_EQ(RG_ConstructRgn(width, &all, data.data(), seed, pixelList.data(), &rgn), noErr);
  }
  ~DrawnRegion() { RG_DisposeRgn(&rgn); }
  OSStatus FindHoles() {
    const Rect all{0, 0, SInt16(height), SInt16(width)};
    return RG_FindHolesInRgn(width, &all, data.data(), &rgn, pixelList.data());
  }

  SInt32 width, height;
  std::vector<UInt16> data;
  std::vector<SInt32> pixelList;
  RG_Region rgn{};
};

TEST(OutliersRegionHoles, HolesAreAreasTheRegionEncloses) {
  struct Case {
    const char *what;
    std::vector<std::string> art;
    SInt32 numHoles;
    SInt32 firstHolePixels;
  } cases[] = {
      {"square ring", {"#####", "#...#", "#...#", "#####"}, 1, 6},
      {"diamond ring: the inside reaches out only diagonally", {"..#..", ".#.#.", "#...#", ".#.#.", "..#.."}, 1, 5},
      {"U open to the top", {"#...#", "#...#", "#####"}, 0, 0},
      {"two rooms", {"#######", "#..#..#", "#######"}, 2, 2},
      {"three pixels are not searched", {"#.#", ".#."}, 0, 0},
      {"bar", {"######"}, 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    DrawnRegion d(c.art);
    ASSERT_EQ(d.FindHoles(), noErr);
    EXPECT_EQ(d.rgn.numHoles, c.numHoles);
    SInt32 listed = 0;
    for (const RG_RgnLE *hole = d.rgn.holes; hole != nullptr; hole = hole->next) {
      EXPECT_EQ(hole->number, listed);
      if (listed == 0) {
        EXPECT_EQ(hole->rgn.numPixels, c.firstHolePixels);
      }
      ++listed;
    }
    EXPECT_EQ(listed, c.numHoles);
    // The search leaves no work bits behind.
    for (UInt16 f : d.data) EXPECT_EQ(f & (kRG_InnerRing | kRG_HoleRegion | kRG_HolePixel), 0);
  }
}

TEST(OutliersRegionHoles, RegionToMaskClearsOnlyItsBounds) {
  DrawnRegion d({"##", ".#"});
  std::vector<UInt8> mask(d.data.size(), 5);
  RG_RegionToMask(d.width, &d.rgn, true, mask.data());
  for (SInt32 r = 0; r < d.height; ++r)
    for (SInt32 c = 0; c < d.width; ++c) {
      const bool inBounds = r >= 2 && r < 4 && c >= 2 && c < 4;
      const bool inRegion = inBounds && !(r == 3 && c == 2);
      EXPECT_EQ(mask[size_t(r * d.width + c)], inRegion ? 1 : inBounds ? 0 : 5) << r << "," << c;
    }
  std::vector<UInt8> kept(d.data.size(), 5);
  RG_RegionToMask(d.width, &d.rgn, false, kept.data());
  EXPECT_EQ(kept[size_t(3 * d.width + 2)], 5) << "without clear the bounds keep their bytes";
  EXPECT_EQ(kept[size_t(2 * d.width + 2)], 1);
}

}  // namespace
