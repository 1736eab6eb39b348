// Node regions: the colours of the sectors between three long branches, regions with one branch, with two
// long branches and without any, sectors inside the object, branches inside a region's hole, the border order,
// and the error of a node outside every region.
#include "outliers/skeleton_node_regions.h"

#include "skeleton_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

using bz_test::BranchSpec;
using bz_test::MaskPicture;
using bz_test::PixelRun;

// A plane of width x height with a '2vuy' frame, a flag plane, an object mask and a pixel list.
struct Scene {
  Scene(SInt32 w, SInt32 h)
      : width(w),
        height(h),
        frame(size_t(w) * size_t(h) * 2, 0),
        data(size_t(w) * size_t(h), 0),
        objectMask(size_t(w) * size_t(h), 0),
        pixelList(size_t(w) * size_t(h), 0) {
    for (SInt32 p = 0; p < w * h; ++p) frame[2 * size_t(p)] = 128;
  }
  Rect Bounds() const { return Rect{0, 0, SInt16(height), SInt16(width)}; }
  OSStatus CalcNodeRgns(SK_Skeleton *sk, const Rect *bounds = nullptr) {
    const Rect b = bounds != nullptr ? *bounds : Bounds();
    return SK_CalcNodeRgns(width, frame.data(), &b, objectMask.data(), data.data(), pixelList.data(), sk);
  }

  SInt32 width, height;
  std::vector<UInt8> frame;
  std::vector<UInt16> data;
  std::vector<UInt8> objectMask;
  std::vector<SInt32> pixelList;
};

const SK_NodeRgn &Region(const SK_Skeleton &sk, SInt32 number) {
  for (const SK_NodeRgnLE *le = sk.nodeRgns; le != nullptr; le = le->next)
    if (le->number == number) return le->nodeRgn;
  ADD_FAILURE() << "no node region " << number;
  static const SK_NodeRgn none{};
  return none;
}

// A Y whose two arms and stem have `stem` pixels below the node at drawing (5, 5); arms of 5 pixels.
std::vector<std::string> YArt(int stem) {
  std::vector<std::string> art = {"#.........#", ".#.......#.", "..#.....#..", "...#...#...", "....#.#....",
                                  ".....#....."};
  for (int k = 0; k < stem; ++k) art.push_back(".....#.....");
  return art;
}

// The Y thinned (it is thin already) with its skeleton found, in a scene of the same plane.
struct YScene {
  explicit YScene(int stem) : pic(YArt(stem)), scene(pic.width, pic.height) {
    scene.objectMask = pic.mask;
    const Rect b = pic.Bounds();
    EXPECT_EQ(SK_ReduceMaskToSkeleton(pic.width, &b, pic.mask.data(), pic.work.data()), noErr);
    EXPECT_EQ(SK_FindSkeletonBranchesAndNodes(pic.width, &b, scene.objectMask.data(), pic.mask.data(),
                                              pic.work.data(), &sk, pic.pixelList.data()),
              noErr);
    EXPECT_EQ(sk.numNodes, 1);
  }
  ~YScene() { SK_DisposeSkeleton(&sk); }
  MaskPicture pic;
  Scene scene;
  SK_Skeleton sk{};
};

TEST(OutliersNodeRegions, SectorsBetweenThreeLongBranchesTakeTheirOwnColours) {
  YScene y(5);
  // The three areas the branches separate get their own luminance; chroma alternates Cb 90, Cr 170.
  const int nodeRow = y.pic.margin + 5, nodeCol = y.pic.margin + 5;
  for (SInt32 r = 0; r < y.scene.height; ++r)
    for (SInt32 c = 0; c < y.scene.width; ++c) {
      const int dr = r - nodeRow, dc = c - nodeCol;
      UInt8 luma = 0;
      if (dr < 0 && std::abs(dc) < -dr)
        luma = 60;
      else if (dc < 0)
        luma = 120;
      else if (dc > 0)
        luma = 180;
      y.scene.frame[2 * size_t(r * y.scene.width + c) + 1] = luma;
      y.scene.frame[2 * size_t(r * y.scene.width + c)] = (c % 2 == 0) ? 90 : 170;
    }
  ASSERT_EQ(y.scene.CalcNodeRgns(&y.sk), noErr);
  ASSERT_EQ(y.sk.numNodeRgns, 1);
  const SK_NodeRgn &nr = Region(y.sk, 0);
  ASSERT_EQ(nr.numBranches, 3);
  ASSERT_EQ(nr.numLongBranches, 3);
  std::set<float> lumas;
  for (SInt32 s = 0; s < 3; ++s) {
    SCOPED_TRACE(::testing::Message() << "sector " << s);
    ASSERT_GT(nr.numColorIndexes[s], 0);
    ASSERT_LE(nr.numColorIndexes[s], kSK_NumSectorSamples);
    for (SInt32 m = 0; m < nr.numColorIndexes[s]; ++m) {
      const SInt32 p = nr.colorIndexes[s * kSK_NumSectorSamples + m];
      EXPECT_EQ(y.scene.objectMask[size_t(p)], 0) << "a sample inside the object";
      EXPECT_EQ(float(y.scene.frame[2 * size_t(p) + 1]), nr.colors[s].Y);
    }
    EXPECT_EQ(nr.colorStddevs[s].Y, 0.0f);
    EXPECT_EQ(nr.colors[s].Cb, 90.0f);
    EXPECT_EQ(nr.colors[s].Cr, 170.0f);
    lumas.insert(nr.colors[s].Y);
  }
  EXPECT_EQ(lumas, (std::set<float>{60.0f, 120.0f, 180.0f}));
  // The work bits are gone again; only coverage-free flags are left on the plane.
  for (UInt16 f : y.scene.data) EXPECT_EQ(f & (0x10 | 0x20 | 0x80 | 0x200), 0);
}

TEST(OutliersNodeRegions, TwoLongBranchesGiveNoSectorColours) {
  YScene y(2);
  ASSERT_EQ(y.scene.CalcNodeRgns(&y.sk), noErr);
  const SK_NodeRgn &nr = Region(y.sk, 0);
  ASSERT_EQ(nr.numBranches, 3);
  EXPECT_EQ(nr.numLongBranches, 2);
  for (SInt32 s = 0; s < nr.numBranches; ++s) {
    EXPECT_EQ(nr.numColorIndexes[s], 0);
    EXPECT_EQ(nr.colorStddevs[s].Y, 0.0f);
  }
}

TEST(OutliersNodeRegions, SectorInsideTheObjectHasNoColourButIsNoError) {
  YScene y(5);
  std::fill(y.scene.objectMask.begin(), y.scene.objectMask.end(), 1);
  ASSERT_EQ(y.scene.CalcNodeRgns(&y.sk), noErr);
  const SK_NodeRgn &nr = Region(y.sk, 0);
  ASSERT_EQ(nr.numLongBranches, 3);
  for (SInt32 s = 0; s < 3; ++s) {
    EXPECT_EQ(nr.numColorIndexes[s], 0);
    EXPECT_EQ(nr.colorStddevs[s].Y, 128.0f);
    EXPECT_EQ(nr.colorStddevs[s].Cb, 128.0f);
    EXPECT_EQ(nr.colorStddevs[s].Cr, 128.0f);
  }
}

TEST(OutliersNodeRegions, BorderWalkOrdersBranchesClockwise) {
  // Region 0: one node with one branch. Region 1: a node with branches down, up and left (listed in that
  // order); a clockwise walk from the first (down) meets left, then up. A third node has no branch at all.
  Scene scene(20, 12);
  SK_Skeleton sk = bz_test::MakeSkeleton(
      scene.width, {{5, 3}, {5, 12}, {10, 17}},
      {BranchSpec{PixelRun(5, 4, 0, 1, 3), 0, -1}, BranchSpec{PixelRun(6, 12, 1, 0, 3), 1, -1},
       BranchSpec{PixelRun(4, 12, -1, 0, 3), 1, -1}, BranchSpec{PixelRun(5, 11, 0, -1, 3), 1, -1}});
  ASSERT_EQ(scene.CalcNodeRgns(&sk), noErr);
  ASSERT_EQ(sk.numNodeRgns, 3);
  const SK_NodeRgn &one = Region(sk, 0);
  ASSERT_EQ(one.numBranches, 1);
  EXPECT_EQ(one.sortedBranches[0], 0);
  const SK_NodeRgn &three = Region(sk, 1);
  ASSERT_EQ(three.numBranches, 3);
  EXPECT_EQ(std::vector<SInt32>(three.branches, three.branches + 3), (std::vector<SInt32>{1, 2, 3}));
  EXPECT_EQ(std::vector<SInt32>(three.sortedBranches, three.sortedBranches + 3), (std::vector<SInt32>{0, 2, 1}));
  EXPECT_EQ(three.numLongBranches, 3);
  const SK_NodeRgn &none = Region(sk, 2);
  EXPECT_EQ(none.numBranches, 0);
  EXPECT_EQ(none.sortedBranches, nullptr);
  for (SInt32 b = 0; b < 4; ++b) EXPECT_EQ(sk.branches[b].nodeRgns[0], b == 0 ? 0 : 1);
  SK_DisposeSkeleton(&sk);
}

TEST(OutliersNodeRegions, BranchInsideARegionsHoleIsRemoved) {
  // A ring of eight node pixels around (5, 5); a one-pixel branch sits in its hole between a branch going
  // up and one going down.
  Scene scene(12, 12);
  const std::vector<std::pair<int, int>> ring = {{4, 4}, {4, 5}, {4, 6}, {5, 4}, {5, 6}, {6, 4}, {6, 5}, {6, 6}};
  SK_Skeleton sk = bz_test::MakeSkeleton(scene.width, ring,
                                         {BranchSpec{PixelRun(3, 5, -1, 0, 3), 1, -1}, BranchSpec{{{5, 5}}, 1, -1},
                                          BranchSpec{PixelRun(7, 5, 1, 0, 3), 6, -1}});
  ASSERT_EQ(scene.CalcNodeRgns(&sk), noErr);
  ASSERT_EQ(sk.numNodeRgns, 1);
  const SK_NodeRgn &nr = Region(sk, 0);
  EXPECT_EQ(nr.rgn.numHoles, 1);
  ASSERT_EQ(sk.numBranches, 2);
  EXPECT_EQ(sk.branches[1].pixels[0], 7 * scene.width + 5) << "the later branch moved down one place";
  EXPECT_EQ(sk.branches[2].pixels, nullptr) << "the freed place is left empty";
  ASSERT_EQ(nr.numBranches, 2);
  EXPECT_EQ(nr.branches[0], 0);
  EXPECT_EQ(nr.branches[1], 1);
  EXPECT_EQ(nr.sortedBranches[1], 1);
  SK_DisposeSkeleton(&sk);
}

TEST(OutliersNodeRegions, NodeOutsideEveryRegionIsAnError) {
  Scene scene(12, 12);
  SK_Skeleton sk = bz_test::MakeSkeleton(scene.width, {{0, 5}}, {BranchSpec{PixelRun(1, 5, 1, 0, 3), 0, -1}});
  const Rect below{1, 0, 12, 12};  // the node's row is outside
  EXPECT_EQ(scene.CalcNodeRgns(&sk, &below), kSK_NodeWithoutRgnErr);
  SK_DisposeSkeleton(&sk);
}

TEST(OutliersNodeRegions, PrintShowsTheRegionAndItsMap) {
  YScene y(5);
  ASSERT_EQ(y.scene.CalcNodeRgns(&y.sk), noErr);
  ::testing::internal::CaptureStdout();
  SK_PrintNodeRgn(y.scene.width, &y.sk, 0, y.scene.data.data());
  SK_PrintNodeRgn(y.scene.width, &y.sk, 7, y.scene.data.data());
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Node region #0:\n#branches = 3, #long branches = 3\n"), std::string::npos) << out;
  EXPECT_NE(out.find("r "), std::string::npos) << out;
  EXPECT_NE(out.find("Node region not found in list\n"), std::string::npos) << out;
}

}  // namespace
