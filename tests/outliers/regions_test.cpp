// Holes of regions (rings with straight and diagonal walls, shapes open to their bounds, regions too small to
// search) and regions written into byte masks.
#include "outliers/regions.h"

#include <gtest/gtest.h>

#include <random>
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

namespace {

TEST(OutliersRegionLists, RegionsGrowFromEveryFirstDegreePixelInBounds) {
  // Three groups; the one at the right lies partly outside the bounds given.
  const SInt32 w = 12, h = 6;
  std::vector<UInt16> data(size_t(w * h), 0);
  for (SInt32 p : {1 * w + 1, 1 * w + 2, 2 * w + 3, 4 * w + 1, 2 * w + 9, 2 * w + 10}) data[size_t(p)] = 26;
  data[size_t(1 * w + 3)] = 35;  // second degree next to the first group
  std::vector<SInt32> pixelList(data.size());
  RG_RgnLE *list = nullptr;
  const Rect bounds{0, 0, SInt16(h), 10};
  EXPECT_EQ(RG_FindRgns(w, &bounds, data.data(), pixelList.data(), &list), 3);
  std::vector<SInt32> sizes;
  for (RG_RgnLE *e = list; e != nullptr; e = e->next) {
    EXPECT_EQ(e->number, SInt32(sizes.size()));
    sizes.push_back(e->rgn.numPixels);
  }
  EXPECT_EQ(sizes, (std::vector<SInt32>{4, 1, 1}));
  EXPECT_EQ(data[size_t(2 * w + 10)] & kRG_InRegion, 0) << "outside the bounds";
  // A second call finds nothing new and keeps the list.
  EXPECT_EQ(RG_FindRgns(w, &bounds, data.data(), pixelList.data(), &list), 3);
  // Sorting by size puts the largest last.
  std::vector<RG_RgnLE> copies;
  for (RG_RgnLE *e = list; e != nullptr; e = e->next) copies.push_back(*e);
  copies[1].rgn.size = 2.5f;
  copies[0].rgn.size = 1.0f;
  copies[2].rgn.size = 1.0f;
  EXPECT_EQ(RG_RgnComparatorBySize(&copies[1], &copies[0]), 1);
  EXPECT_EQ(RG_RgnComparatorBySize(&copies[0], &copies[1]), -1);
  EXPECT_EQ(RG_RgnComparatorBySize(&copies[0], &copies[2]), 0);
  RG_DisposeRgnList(&list);
  EXPECT_EQ(list, nullptr);
  RG_DisposeRgnList(&list);  // an empty list is nothing to do
}

TEST(OutliersRegionLists, NeighbourQueriesKeepToTheirBounds) {
  // A 5 x 5 plane: the centre's neighbours, with bit 0x200 on the top row and the right column.
  const SInt32 w = 5;
  std::vector<UInt16> data(25, 0);
  for (SInt32 c = 1; c <= 3; ++c) data[size_t(1 * w + c)] = 0x200;
  data[size_t(2 * w + 3)] = data[size_t(3 * w + 3)] = 0x200;
  const Rect all{0, 0, 5, 5};
  // The circle TL T TR R BR B BL L TL reads 1 1 1 1 1 0 0 0 1: one change from clear to set.
  EXPECT_EQ(RG_GetNumJumps(w, data.data(), &all, 2, 2), 1);
  data[size_t(3 * w + 1)] = 0x200;  // BL set too: 1 1 1 1 1 0 1 0 1
  EXPECT_EQ(RG_GetNumJumps(w, data.data(), &all, 2, 2), 2);
  // Bounds without the top row: the walk starts at R (set) and gains nothing from TL.
  const Rect lower{2, 0, 5, 5};
  EXPECT_EQ(RG_GetNumJumps(w, data.data(), &lower, 2, 2), 1);
  // First-degree neighbours only count inside the bounds.
  std::vector<UInt16> flags(25, 0);
  flags[0] = 26;
  EXPECT_TRUE(RG_HasFirstDegreeNeigbor(w, &all, flags.data(), 1 * w + 1));
  const Rect inner{1, 1, 4, 4};
  EXPECT_FALSE(RG_HasFirstDegreeNeigbor(w, &inner, flags.data(), 1 * w + 1));
  EXPECT_FALSE(RG_HasFirstDegreeNeigbor(w, &all, flags.data(), 3 * w + 3));
}

TEST(OutliersRegionLists, SealingEndsAndStaysInsideTheBounds) {
  // Random shapes of an 8 x 8 box inside a 12 x 12 plane: every trace ends, and only the box gets marks.
  std::mt19937 random(7);
  for (int shape = 0; shape < 300; ++shape) {
    const SInt32 w = 12;
    std::vector<UInt16> data(144, 0);
    RG_Region rgn{};
    rgn.bounds = Rect{2, 2, 10, 10};
    for (SInt32 r = 2; r < 10; ++r)
      for (SInt32 c = 2; c < 10; ++c)
        if (random() % 3 == 0) data[size_t(r * w + c)] = 0x200;
    RG_SealRgn(w, &rgn, data.data(), 0x200, 0x100);
    for (SInt32 r = 0; r < 12; ++r)
      for (SInt32 c = 0; c < 12; ++c)
        if (!RG_InBounds(rgn.bounds, r, c)) {
          EXPECT_EQ(data[size_t(r * w + c)], 0) << shape << ": " << r << "," << c;
        }
  }
}

}  // namespace
