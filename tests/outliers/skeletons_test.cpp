// Skeletons: thinning (lines it keeps, bars it thins, and the same result as a whole-bounds scan on random
// shapes), branches and nodes of small figures, thickness, closures and the branch bound.
#include "outliers/skeletons.h"

#include "skeleton_test_support.h"
#include "support/kernel_check.h"
#include "support/skeleton_reference.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using bz_test::BranchSpec;
using bz_test::MaskPicture;
using bz_test::PixelRun;

// Thins the picture's mask and finds its skeleton (the object's mask being the drawing before thinning).
struct Skeletonized {
  explicit Skeletonized(const std::vector<std::string> &art) : pic(art), original(pic.mask) {
    const Rect b = pic.Bounds();
    EXPECT_EQ(SK_ReduceMaskToSkeleton(pic.width, &b, pic.mask.data(), pic.work.data()), noErr);
    err = SK_FindSkeletonBranchesAndNodes(pic.width, &b, original.data(), pic.mask.data(), pic.work.data(), &sk,
                                          pic.pixelList.data());
  }
  ~Skeletonized() { SK_DisposeSkeleton(&sk); }
  std::pair<int, int> At(SInt32 index) const {
    return {index / pic.width - pic.margin, index % pic.width - pic.margin};
  }

  MaskPicture pic;
  std::vector<UInt8> original;
  SK_Skeleton sk{};
  OSStatus err = noErr;
};

TEST(OutliersSkeletons, ThinningKeepsOnePixelLines) {
  const std::vector<std::vector<std::string>> lines = {
      {"#.....", ".#....", "..#...", "...#..", "....#."},  // diagonal
      {"######"},                                          // row
      {"..###..", ".#...#.", "#.....#", "#.....#", "#.....#", ".#...#.", "..###.."},  // ring
      {".###.", "#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#", ".###."},  // figure eight
  };
  for (const auto &art : lines) {
    MaskPicture pic(art);
    const Rect b = pic.Bounds();
    ASSERT_EQ(SK_ReduceMaskToSkeleton(pic.width, &b, pic.mask.data(), pic.work.data()), noErr);
    EXPECT_EQ(pic.Art(), art) << "SK_ReduceMaskToSkeleton changed a one-pixel line";
  }
}

TEST(OutliersSkeletons, ThinningReducesABarToItsCentreLine) {
  MaskPicture pic({"##########", "##########", "##########", "##########", "##########"});
  const Rect b = pic.Bounds();
  ASSERT_EQ(SK_ReduceMaskToSkeleton(pic.width, &b, pic.mask.data(), pic.work.data()), noErr);
  // What is left is one unbroken run on the centre row, shorter than the bar by its half-width at the ends.
  const auto art = pic.Art();
  std::string all;
  for (const auto &row : art) all += row + "\n";
  for (size_t r = 0; r < art.size(); ++r) {
    if (r != 2) {
      EXPECT_EQ(art[r].find('#'), std::string::npos) << all;
    }
  }
  const size_t first = art[2].find('#'), last = art[2].rfind('#');
  ASSERT_NE(first, std::string::npos) << all;
  EXPECT_EQ(art[2].substr(first, last - first + 1), std::string(last - first + 1, '#')) << all;
  EXPECT_GE(last - first + 1, 5u) << all;
  EXPECT_GE(first, 2u) << all;
  EXPECT_LE(last, 7u) << all;
}

TEST(OutliersSkeletons, ThinningMatchesAWholeBoundsScan) {
  BZ_KERNEL_SEED_TRACE();
  std::mt19937 &rng = bz_test::Rng();
  for (int trial = 0; trial < 40; ++trial) {
    const SInt32 w = 64, h = 48;
    std::vector<UInt8> mask(size_t(w * h), 0);
    // Unions of random discs and bars, some touching the bounds.
    std::uniform_int_distribution<int> x(0, w - 1), y(0, h - 1), rad(1, 7), shapes(1, 6);
    for (int s = shapes(rng); s > 0; --s) {
      const int cx = x(rng), cy = y(rng), r = rad(rng), r2 = rad(rng);
      const bool disc = (s & 1) != 0;
      for (int yy = 0; yy < h; ++yy)
        for (int xx = 0; xx < w; ++xx) {
          const bool in = disc ? (xx - cx) * (xx - cx) + (yy - cy) * (yy - cy) <= r * r
                               : std::abs(xx - cx) <= r * 3 && std::abs(yy - cy) <= r2 / 2;
          if (in) mask[size_t(yy * w + xx)] = 1;
        }
    }
    const Rect bounds{SInt16(y(rng) / 4), SInt16(x(rng) / 4), SInt16(h - y(rng) / 4), SInt16(w - x(rng) / 4)};
    std::vector<UInt8> expected = mask, remove(mask.size(), 0), expectedRemove(mask.size(), 0);
    bz_test::ReferenceThinning(w, bounds, expected.data(), expectedRemove.data());
    ASSERT_EQ(SK_ReduceMaskToSkeleton(w, &bounds, mask.data(), remove.data()), noErr);
    ASSERT_TRUE(bz_test::BytesEqual(expected.data(), mask.data(), size_t(w), size_t(h))) << "trial " << trial;
    ASSERT_TRUE(bz_test::BytesEqual(expectedRemove.data(), remove.data(), size_t(w), size_t(h))) << "trial " << trial;
  }
}

TEST(OutliersSkeletons, SinglePixelIsOneBranchWithoutNodes) {
  Skeletonized s({"#"});
  ASSERT_EQ(s.err, noErr);
  ASSERT_EQ(s.sk.numBranches, 1);
  EXPECT_EQ(s.sk.numNodes, 0);
  EXPECT_EQ(s.sk.branches[0].numPixels, 1);
  EXPECT_EQ(s.sk.branches[0].nodes[0], -1);
  EXPECT_EQ(s.sk.branches[0].nodes[1], -1);
  EXPECT_EQ(s.sk.numPixels, 1);
  EXPECT_FALSE(s.sk.isLoop);
}

TEST(OutliersSkeletons, RingIsOneLoopBranch) {
  Skeletonized s({"..###..", ".#...#.", "#.....#", "#.....#", "#.....#", ".#...#.", "..###.."});
  ASSERT_EQ(s.err, noErr);
  EXPECT_EQ(s.sk.numNodes, 0);
  ASSERT_EQ(s.sk.numBranches, 1);
  EXPECT_EQ(s.sk.branches[0].numPixels, 16);
  EXPECT_TRUE(s.sk.isLoop);
}

TEST(OutliersSkeletons, ThickRingThinsToALoop) {
  std::vector<std::string> art;
  for (int r = -9; r <= 9; ++r) {
    std::string row;
    for (int c = -9; c <= 9; ++c) row += (r * r + c * c <= 81 && r * r + c * c >= 25) ? '#' : '.';
    art.push_back(row);
  }
  Skeletonized s(art);
  ASSERT_EQ(s.err, noErr);
  EXPECT_EQ(s.sk.numNodes, 0);
  EXPECT_EQ(s.sk.numBranches, 1);
  EXPECT_TRUE(s.sk.isLoop);
}

TEST(OutliersSkeletons, BranchesEndAtTheirNodes) {
  // A Y: two short arms and a longer stem meet at one node pixel.
  Skeletonized s({"#.....#", ".#...#.", "..#.#..", "...#...", "...#...", "...#...", "...#..."});
  ASSERT_EQ(s.err, noErr);
  ASSERT_EQ(s.sk.numNodes, 1);
  EXPECT_EQ(s.At(s.sk.nodes[0]), std::make_pair(3, 3));
  ASSERT_EQ(s.sk.numBranches, 3);
  std::vector<int> lengths;
  for (SInt32 b = 0; b < s.sk.numBranches; ++b) {
    const SK_SkeletonBranch &br = s.sk.branches[b];
    lengths.push_back(br.numPixels);
    // Exactly one end of each arm lies at the node, and that end is the pixel next to it.
    const bool headAtNode = br.nodes[0] == 0, tailAtNode = br.nodes[1] == 0;
    EXPECT_NE(headAtNode, tailAtNode) << "branch " << b;
    const auto end = s.At(headAtNode ? br.pixels[0] : br.pixels[br.numPixels - 1]);
    EXPECT_LE(std::abs(end.first - 3), 1);
    EXPECT_LE(std::abs(end.second - 3), 1);
    EXPECT_EQ(br.nodeRgns[0], -1);
    EXPECT_EQ(br.nodeRgns[1], -1);
  }
  std::sort(lengths.begin(), lengths.end());
  EXPECT_EQ(lengths, (std::vector<int>{3, 3, 3}));
  EXPECT_EQ(s.sk.numPixels, 10);
  EXPECT_FALSE(s.sk.isLoop);
  const Rect bounds = s.pic.Bounds();
  EXPECT_EQ(SK_CalcNumHolesInSkeleton(s.pic.width, &bounds, s.pic.mask.data(), &s.sk), 0);
}

TEST(OutliersSkeletons, FigureEightHasTwoHoles) {
  Skeletonized s({".###.", "#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#", ".###."});
  ASSERT_EQ(s.err, noErr);
  ASSERT_EQ(s.sk.numNodes, 1);
  ASSERT_EQ(s.sk.numBranches, 2);
  for (SInt32 b = 0; b < 2; ++b) {
    EXPECT_EQ(s.sk.branches[b].nodes[0], 0);
    EXPECT_EQ(s.sk.branches[b].nodes[1], 0);
  }
  const Rect bounds = s.pic.Bounds();
  EXPECT_EQ(SK_CalcNumHolesInSkeleton(s.pic.width, &bounds, s.pic.mask.data(), &s.sk), 2);
}

TEST(OutliersSkeletons, NumJumpsCountsUnsetToSetAroundTheCircle) {
  struct Case {
    Boolean used[3][3];
    SInt32 jumps;
  } cases[] = {
      {{{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, 0},
      {{{1, 1, 1}, {1, 0, 1}, {1, 1, 1}}, 0},
      {{{1, 0, 0}, {0, 0, 0}, {0, 0, 1}}, 2},  // a diagonal line through the pixel
      {{{0, 1, 0}, {1, 0, 1}, {0, 1, 0}}, 4},
      {{{1, 1, 0}, {0, 0, 0}, {0, 0, 0}}, 1},  // the circle closes at the top-left
  };
  for (const Case &c : cases) {
    Boolean ordered[9];
    EXPECT_EQ(SK_GetNumJumps(c.used, ordered), c.jumps);
    EXPECT_EQ(ordered[0], ordered[8]);
  }
}

TEST(OutliersSkeletons, NeighboursOutsideTheBoundsDoNotCount) {
  MaskPicture pic({"###", "###", "###"});
  const Rect all = pic.Bounds();
  // The bounds end at the drawing's middle column: the right-hand neighbours are left out.
  const Rect left{0, 0, SInt16(pic.height), SInt16(pic.margin + 2)};
  const SInt32 row = pic.margin + 1, col = pic.margin + 1;
  Boolean used[3][3] = {};
  SInt32 n = 0;
  SK_GetNeighborsUsed(pic.width, &all, pic.mask.data(), row, col, used, &n);
  EXPECT_EQ(n, 8);
  SK_GetNeighborsUsed(pic.width, &left, pic.mask.data(), row, col, used, &n);
  EXPECT_EQ(n, 5);
  EXPECT_FALSE(used[0][2]);
  EXPECT_FALSE(used[1][2]);
  EXPECT_FALSE(used[2][2]);
  Point nb[8];
  SK_GetNeighborsInMask(pic.width, &left, pic.mask.data(), Point{SInt16(row), SInt16(col)}, nb, &n);
  ASSERT_EQ(n, 5);
  // Row-major: top-left, top, left, bottom-left, bottom.
  const std::pair<int, int> expected[5] = {{-1, -1}, {-1, 0}, {0, -1}, {1, -1}, {1, 0}};
  for (int k = 0; k < 5; ++k) {
    EXPECT_EQ(nb[k].v - row, expected[k].first) << k;
    EXPECT_EQ(nb[k].h - col, expected[k].second) << k;
  }
}

TEST(OutliersSkeletons, EdgeNodeIsTheFirstNeighbourWithMoreThanTwo) {
  // The end of the stem of a T: its neighbour is the junction.
  MaskPicture pic({"#####", "..#..", "..#.."});
  const Rect b = pic.Bounds();
  auto at = [&](int r, int c) { return Point{SInt16(pic.margin + r), SInt16(pic.margin + c)}; };
  Point node{7, 7};
  SK_GetSkeletonEdgeNodePt(pic.width, &b, pic.mask.data(), at(2, 2), &node);
  EXPECT_EQ(node.v, -1) << "one neighbour: no node";
  node = Point{7, 7};
  SK_GetSkeletonEdgeNodePt(pic.width, &b, pic.mask.data(), at(1, 2), &node);
  EXPECT_EQ(node.v, at(0, 1).v);
  EXPECT_EQ(node.h, at(0, 1).h) << "the first neighbour in raster order with more than 2 neighbours";
  node = Point{7, 7};
  SK_GetSkeletonEdgeNodePt(pic.width, &b, pic.mask.data(), at(0, 4), &node);
  EXPECT_EQ(node.v, -1);
}

TEST(OutliersSkeletons, PixelThicknessFollowsTheLargestElementThatFits) {
  struct Case {
    const char *what;
    int barWidth;
    int row;        // of the pixel, within the bar's 0-based rows
    bool atTop;     // the bounds start at the bar's first row
    SInt32 thickness;
  } cases[] = {
      {"7-pixel bar, centre line", 7, 3, false, 5},
      {"4-pixel bar, second row", 4, 1, false, 4},
      {"4-pixel bar, third row", 4, 2, false, 4},
      {"1-pixel line", 1, 0, false, 1},
      {"2-pixel bar", 2, 0, false, 2},
      {"3-pixel bar, centre line", 3, 1, false, 3},
      {"2-pixel bar at the top of the bounds", 2, 0, true, 4},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> art(size_t(c.barWidth), std::string(20, '#'));
    MaskPicture pic(art, 4);
    Rect bounds = pic.Bounds();
    if (c.atTop) bounds.top = SInt16(pic.margin);
    const Point pt{SInt16(pic.margin + c.row), SInt16(pic.margin + 10)};
    EXPECT_EQ(SK_CalcBranchPixelThickness(pic.width, &bounds, pic.mask.data(), pt), c.thickness);
  }
}

TEST(OutliersSkeletons, BranchThicknessIsMeasuredInTheObjectsMask) {
  std::vector<std::string> art(7, std::string(24, '#'));
  Skeletonized s(art);
  ASSERT_EQ(s.err, noErr);
  ASSERT_EQ(s.sk.numBranches, 1);
  const SK_SkeletonBranch &br = s.sk.branches[0];
  ASSERT_NE(br.thickness, nullptr);
  // The middle of the centre line sees the full 7-pixel bar; the ends reach the bar's ends.
  EXPECT_EQ(br.thickness[br.numPixels / 2], 5);
  EXPECT_GT(br.avThickness, 3.0f);
  EXPECT_LE(br.avThickness, 5.0f);
}

// Two horizontal branches of 20 pixels on row 10, free at both ends, the second starting `gap` columns after the
// end of the first.
SK_Skeleton CollinearPair(SInt32 width, int gap, SInt32 firstTailNode = -1) {
  return bz_test::MakeSkeleton(width, {},
                               {BranchSpec{PixelRun(10, 0, 0, 1, 20), -1, firstTailNode},
                                BranchSpec{PixelRun(10, 19 + gap, 0, 1, 20), -1, -1}});
}

TEST(OutliersSkeletons, ClosuresJoinFacingEndsAcrossSmallGaps) {
  const SInt32 w = 100;
  struct Case {
    const char *what;
    int gap;
    SInt32 firstTailNode;
    SInt32 numClosures;
  } cases[] = {
      {"ends 3 apart", 3, -1, 1},
      {"ends 16 apart", 16, -1, 0},
      {"one end at a node", 3, 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    SK_Skeleton sk = CollinearPair(w, c.gap, c.firstTailNode);
    SInt32 numClosures = -1;
    SK_Closure *closures = nullptr;
    ASSERT_EQ(SK_CalcBranchClosures(w, &sk, &numClosures, &closures), noErr);
    ASSERT_EQ(numClosures, c.numClosures);
    if (numClosures == 1) {
      EXPECT_EQ(closures[0].branchNum1, 0);
      EXPECT_EQ(closures[0].branchNum2, 1);
      EXPECT_EQ(closures[0].endPt1, 10 * w + 19);
      EXPECT_EQ(closures[0].endPt2, 10 * w + 22);
      ASSERT_EQ(closures[0].numPixels, 2);
      EXPECT_EQ(closures[0].pixels[0], 10 * w + 20);
      EXPECT_EQ(closures[0].pixels[1], 10 * w + 21);
    } else {
      EXPECT_EQ(closures, nullptr);
    }
    GL_DisposePtr(&closures);
    SK_DisposeSkeleton(&sk);
  }
}

TEST(OutliersSkeletons, ThreeEndsNearOneAnotherGiveNoClosure) {
  const SInt32 w = 100;
  // The first branch's end faces both others; the two candidates share it, so neither closes.
  SK_Skeleton sk = bz_test::MakeSkeleton(
      w, {},
      {BranchSpec{PixelRun(10, 0, 0, 1, 20)}, BranchSpec{PixelRun(10, 22, 0, 1, 20)}, BranchSpec{PixelRun(12, 22, 0, 1, 20)}});
  SInt32 numClosures = -1;
  SK_Closure *closures = nullptr;
  ASSERT_EQ(SK_CalcBranchClosures(w, &sk, &numClosures, &closures), noErr);
  EXPECT_EQ(numClosures, 0);
  EXPECT_EQ(closures, nullptr);
  SK_DisposeSkeleton(&sk);
}

TEST(OutliersSkeletons, ClosureLinesRunStrictlyBetweenTheEnds) {
  const SInt32 w = 50;
  struct Case {
    int r1, c1, r2, c2;
    std::vector<std::pair<int, int>> line;
  } cases[] = {
      {5, 5, 5, 9, {{5, 6}, {5, 7}, {5, 8}}},
      {9, 5, 5, 5, {{8, 5}, {7, 5}, {6, 5}}},
      {5, 5, 8, 8, {{6, 6}, {7, 7}}},
      {5, 5, 7, 9, {{5, 6}, {6, 7}, {6, 8}}},  // rows rounded from 0.499 + k x 2 / 4
      {5, 5, 6, 6, {}},
  };
  for (const Case &c : cases) {
    SK_Closure closure{};
    SK_CalcClosurePixels(w, c.r1 * w + c.c1, c.r2 * w + c.c2, &closure);
    std::vector<std::pair<int, int>> line;
    for (SInt32 k = 0; k < closure.numPixels; ++k) line.emplace_back(closure.pixels[k] / w, closure.pixels[k] % w);
    EXPECT_EQ(line, c.line) << "from (" << c.r1 << "," << c.c1 << ") to (" << c.r2 << "," << c.c2 << ")";
  }
}

TEST(OutliersSkeletons, BranchesBeyondTheEstimateAreRefused) {
  MaskPicture pic({"#.#"});
  const Rect b = pic.Bounds();
  SK_Skeleton sk{};
  ASSERT_EQ(GL_NewPtrClear(sizeof(SK_SkeletonBranch), &sk.branches), noErr);
  sk.branchesSize = 1;
  const Point first{SInt16(pic.margin), SInt16(pic.margin)}, second{SInt16(pic.margin), SInt16(pic.margin + 2)};
  const Point none{-1, -1};
  EXPECT_EQ(SK_AddBranchToSkeleton(pic.width, &b, pic.mask.data(), pic.mask.data(), first, none, &sk, pic.work.data(),
                                   pic.pixelList.data()),
            noErr);
  EXPECT_EQ(SK_AddBranchToSkeleton(pic.width, &b, pic.mask.data(), pic.mask.data(), second, none, &sk,
                                   pic.work.data(), pic.pixelList.data()),
            kSK_TooManyBranchesErr);
  EXPECT_EQ(sk.numBranches, 1);
  SK_DisposeSkeleton(&sk);
}

TEST(OutliersSkeletons, BranchStartWalksToAnEnd) {
  MaskPicture pic({"####"});
  const Rect b = pic.Bounds();
  Point prev{-1, -1}, cur{SInt16(pic.margin), SInt16(pic.margin + 1)};
  SK_GetBranchStart(pic.width, &b, pic.mask.data(), &prev, &cur);
  // From the second pixel the first step goes to the first set neighbour in raster order, the first pixel.
  EXPECT_EQ(prev.h, pic.margin);
  EXPECT_EQ(cur.h, pic.margin + 1);
  Point lonePrev{-1, -1}, lone{SInt16(pic.margin), SInt16(pic.margin)};
  MaskPicture single({"#"});
  const Rect sb = single.Bounds();
  SK_GetBranchStart(single.width, &sb, single.mask.data(), &lonePrev, &lone);
  EXPECT_EQ(lonePrev.v, single.margin);
  EXPECT_EQ(lone.v, -1);
  EXPECT_EQ(lone.h, -1);
}

}  // namespace
