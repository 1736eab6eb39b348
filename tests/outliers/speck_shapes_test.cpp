// Speck shapes: the raster geometry, whole-unit rounding, subchunks, the morph's stress bookkeeping, standard
// specks of typical shapes, and the shape differences and fits.
#include "outliers/speck_shapes.h"

#include "general/statistics.h"
#include "support/kernel_check.h"
#include "support/speck_fixtures.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
using bz_test::Block;
using bz_test::Disc;
using bz_test::NotchedSquare;
using bz_test::SpeckPixels;
using bz_test::SpeckScene;

SInt32 Sum(const SInt32 *raster) {
  SInt32 s = 0;
  for (SInt32 i = 0; i < kBZ_OuNumCells100; ++i) s += raster[i];
  return s;
}

struct Bins {
  std::vector<SInt32> storage;
  explicit Bins(SInt32 n) : storage(size_t(n) * kBZ_OuBinStride, 0) {}
  BZ_OuBin *get() { return reinterpret_cast<BZ_OuBin *>(storage.data()); }
};

TEST(OutliersSpeckShapes, RasterGeometryAndBins) {
  for (SInt32 i = 0; i < kBZ_OuNumCells100; ++i) ASSERT_EQ(BZ_PtToIndex100(BZ_Index100toPt(i)), i) << i;
  const struct {
    float h, v;
    SInt32 index;
  } points[] = {
      {-3.0f, -0.2f, 0}, {12.0f, 0.2f, 9}, {0.2f, 12.0f, 90}, {9.99f, 9.99f, 99}, {10.0f, 10.0f, 99},
      {4.0f, 5.0f, 54},  {3.99f, 5.01f, 53}, {std::numeric_limits<float>::quiet_NaN(), 2.5f, 20},
  };
  for (const auto &p : points) EXPECT_EQ(BZ_PtToIndex100(GL_FloatPt{p.h, p.v}), p.index) << p.h << ", " << p.v;
  EXPECT_NEAR(BZ_Index9toPt(4).h, 5.0f, 1e-5);
  EXPECT_NEAR(BZ_Index9toPt(8).v, 8.3333333f, 1e-5);
  EXPECT_NEAR(BZ_Index9toPt(3).h, 1.6666666f, 1e-5);

  Bins bins(9);
  for (SInt32 index : {7, 8, 9}) BZ_OuAddIndexToBin100(bins.get()[2], index);
  BZ_OuAddIndexToBin100(bins.get()[5], 42);
  BZ_OuRemoveIndexFromBin100(bins.get()[2], 2);
  EXPECT_EQ(bins.get()[2][0], 2);
  EXPECT_EQ(bins.get()[2][1], 7);
  EXPECT_EQ(bins.get()[2][2], 9);
  BZ_OuRemoveIndexFromBin100(bins.get()[2], 3);  // past the count: ignored
  EXPECT_EQ(BZ_OuCountBin9(bins.get()), 3);
  for (SInt32 n = 0; n < 120; ++n) BZ_OuAddIndexToBin100(bins.get()[0], n);
  EXPECT_EQ(bins.get()[0][0], 100) << "a bin never grows past its room";
}

TEST(OutliersSpeckShapes, WholeUnitsSumToExactlyOneHundred) {
  BZ_KERNEL_SEED_TRACE();
  struct Case {
    std::string name;
    std::array<float, 100> raster;
  };
  std::vector<Case> cases;
  cases.push_back({"uniform", {}});
  cases.back().raster.fill(0.37f);
  cases.push_back({"zero", {}});
  cases.push_back({"one cell", {}});
  cases.back().raster[57] = 3.0f;
  cases.push_back({"thirds", {}});
  cases.back().raster[0] = cases.back().raster[1] = cases.back().raster[2] = 1.0f;
  cases.push_back({"negative and NaN", {}});
  cases.back().raster[10] = -5.0f;
  cases.back().raster[11] = std::numeric_limits<float>::quiet_NaN();
  cases.back().raster[12] = std::numeric_limits<float>::infinity();
  cases.back().raster[13] = 2.0f;
  cases.back().raster[14] = 1.0f;
  std::uniform_real_distribution<float> value(0.0f, 1.0f);
  for (int n = 0; n < 200; ++n) {
    cases.push_back({"random " + std::to_string(n), {}});
    for (float &v : cases.back().raster) v = value(bz_test::Rng()) < 0.6f ? 0.0f : value(bz_test::Rng()) * (n % 7 + 1);
  }
  GL_GetPixelWeightsInCircle2(10, cases.emplace_back(Case{"circle", {}}).raster.data());
  BZ_OuInitRectSpeck100f(cases.emplace_back(Case{"rectangle", {}}).raster.data());
  BZ_OuInitElongRectSpeck100f(cases.emplace_back(Case{"elongated rectangle", {}}).raster.data());

  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    SInt32 units[kBZ_OuNumCells100];
    BZ_OuStandardSpeckFloatToDiscrete(c.raster.data(), units);
    ASSERT_EQ(Sum(units), 100);
    double total = 0;
    for (float v : c.raster) total += std::isfinite(v) && v > 0 ? v : 0;
    for (SInt32 i = 0; i < kBZ_OuNumCells100; ++i) {
      const float v = std::isfinite(c.raster[size_t(i)]) && c.raster[size_t(i)] > 0 ? c.raster[size_t(i)] : 0.0f;
      const double share = total > 0 ? 100.0 * v / total : 1.0;
      ASSERT_LT(std::fabs(units[i] - share), 1.0) << "cell " << i << " is its share rounded down or up";
    }
  }
  SInt32 units[kBZ_OuNumCells100];
  BZ_OuStandardSpeckFloatToDiscrete(cases[2].raster.data(), units);
  EXPECT_EQ(units[57], 100);
  BZ_OuStandardSpeckFloatToDiscrete(cases[3].raster.data(), units);
  EXPECT_EQ(units[0] + units[1] + units[2], 100);
  EXPECT_EQ(std::min({units[0], units[1], units[2]}), 33);
  BZ_OuStandardSpeckFloatToDiscrete(cases[4].raster.data(), units);
  EXPECT_EQ(units[13], 67);
  EXPECT_EQ(units[14], 33);
}

TEST(OutliersSpeckShapes, SubchunksHoldElevenUnitsOuterAndTwelveInTheMiddle) {
  BZ_KERNEL_SEED_TRACE();
  std::vector<std::array<SInt32, 100>> rasters;
  std::array<SInt32, 100> r{};
  r.fill(1);
  rasters.push_back(r);  // uniform
  r.fill(0);
  r[0] = 100;  // everything in a corner
  rasters.push_back(r);
  r.fill(0);
  r[44] = 50;
  r[45] = 50;  // the middle
  rasters.push_back(r);
  r.fill(0);
  for (SInt32 i = 0; i < 10; ++i) r[size_t(i) * 10 + 9] = 10;  // the right column
  rasters.push_back(r);
  std::uniform_real_distribution<float> value(0.0f, 1.0f);
  for (int n = 0; n < 60; ++n) {
    std::array<float, 100> f{};
    for (float &v : f) v = value(bz_test::Rng()) < 0.7f ? 0.0f : value(bz_test::Rng());
    BZ_OuStandardSpeckFloatToDiscrete(f.data(), r.data());
    rasters.push_back(r);
  }
  for (size_t n = 0; n < rasters.size(); ++n) {
    SCOPED_TRACE(n);
    Bins bins(9);
    GL_FloatPt speck_9[9];
    BZ_OuFindSubchunks(rasters[n].data(), speck_9, bins.get());
    std::array<SInt32, 100> unitsOf{};
    for (SInt32 k = 0; k < 9; ++k) {
      ASSERT_EQ(bins.get()[k][0], k == 4 ? 12 : 11) << "cell " << k;
      for (SInt32 u = 1; u <= bins.get()[k][0]; ++u) ++unitsOf[size_t(bins.get()[k][u])];
    }
    EXPECT_EQ(unitsOf, rasters[n]) << "every unit keeps its raster index";
  }
  // A uniform raster's subchunks each sit inside their own cell.
  Bins bins(9);
  GL_FloatPt speck_9[9];
  BZ_OuFindSubchunks(rasters[0].data(), speck_9, bins.get());
  for (SInt32 k = 0; k < 9; ++k) {
    EXPECT_NEAR(speck_9[k].h, BZ_Index9toPt(k).h, 10.0 / 6) << k;
    EXPECT_NEAR(speck_9[k].v, BZ_Index9toPt(k).v, 10.0 / 6) << k;
  }
  // A raster that does not hold 100 units is distributed, not balanced, and nothing hangs.
  r.fill(0);
  r[0] = 7;
  BZ_OuFindSubchunks(r.data(), speck_9, bins.get());
  EXPECT_EQ(BZ_OuCountBin9(bins.get()), 7);
}

TEST(OutliersSpeckShapes, CorrectionGivesBackWhatRoundingTookOrAdded) {
  const struct {
    std::array<SInt32, 9> copies;
    std::array<float, 9> remainder;
    std::array<SInt32, 9> expected;
  } cases[] = {
      // Shares 2.55, 2.65, 2.8 and 2 give 11 copies of 10 units: the cell rounded up most gives one back.
      {{3, 3, 3, 2, 0, 0, 0, 0, 0}, {0.45f, 0.35f, 0.2f, 0, 0, 0, 0, 0, 0}, {2, 3, 3, 2, 0, 0, 0, 0, 0}},
      // Three shares of 1/3 rounded down: one unit missing, given to a cell rounded down.
      {{0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, -0.33f, -0.34f, 0, 0, -0.33f, 0, 0, 0}, {0, 0, 1, 0, 0, 0, 0, 0, 0}},
      // Nothing to correct.
      {{1, 2, 0, 0, 0, 0, 0, 0, 0}, {0.2f, -0.2f, 0, 0, 0, 0, 0, 0, 0}, {1, 2, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const auto &c : cases) {
    std::array<SInt32, 9> copies = c.copies;
    BZ_OuCorrectExcessPixelDistribution(copies.data(), c.remainder.data());
    EXPECT_EQ(copies, c.expected);
  }
}

TEST(OutliersSpeckShapes, StressDiffMatchesTheStressBeforeAndAfterAMove) {
  BZ_KERNEL_SEED_TRACE();
  std::uniform_int_distribution<SInt32> cell(0, 99);
  for (int round = 0; round < 20; ++round) {
    Bins morph(100);
    for (SInt32 n = 0; n < 100; ++n) BZ_OuAddIndexToBin100(morph.get()[cell(bz_test::Rng())], cell(bz_test::Rng()));
    for (int move = 0; move < 10; ++move) {
      SInt32 from = cell(bz_test::Rng());
      while (morph.get()[from][0] == 0) from = (from + 1) % 100;
      const SInt32 to = cell(bz_test::Rng());
      const SInt32 pos = std::uniform_int_distribution<SInt32>(1, morph.get()[from][0])(bz_test::Rng());
      const SInt32 before = BZ_OuCalcMorphStress(morph.get());
      const SInt32 diff = BZ_OuCalcMorphStressDiff(morph.get(), from, pos, to);
      BZ_OuMoveUnitValueIn10x10(morph.get(), from, to, pos);
      ASSERT_EQ(BZ_OuCalcMorphStress(morph.get()), before + diff) << from << " -> " << to;
    }
  }
  // Units in their own starting cells carry no stress; two units swapped carry some.
  Bins morph(100);
  for (SInt32 i : {3, 27, 27, 64}) BZ_OuAddIndexToBin100(morph.get()[i], i);
  EXPECT_EQ(BZ_OuCalcMorphStress(morph.get()), 0);
  BZ_OuMoveUnitValueIn10x10(morph.get(), 3, 4, 1);
  EXPECT_GT(BZ_OuCalcMorphStress(morph.get()), 0);
}

TEST(OutliersSpeckShapes, StandardSpeckOfTypicalShapes) {
  const struct {
    const char *name;
    SpeckPixels pixels;
    UInt8 luma;
  } cases[] = {
      {"one pixel", {{10, 10}}, 200},
      {"disc", Disc(15, 20, 4.0), 200},
      {"wide bar", Block(12, 10, 2, 10), 200},
      {"high bar", Block(8, 30, 10, 2), 200},
      {"notched square", NotchedSquare(5, 5, 0), 200},
      {"diagonal", {{3, 3}, {4, 4}, {5, 5}, {6, 6}, {7, 7}}, 200},
      {"dark disc", Disc(20, 20, 3.0), 20},
      {"within the band", Block(20, 20, 3, 3), 105},
      {"50 pixels", Disc(20, 24, 3.9), 200},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    SpeckScene scene(c.pixels, c.luma);
    SInt32 raster[kBZ_OuNumCells100];
    BZ_OuSpeckToStandardSpeck(&scene.params, scene.frame.data(), &scene.speck, raster);
    ASSERT_EQ(Sum(raster), 100);
    const std::string name = c.name;
    if (name == "one pixel") {
      for (SInt32 v : raster) EXPECT_EQ(v, 1) << "one pixel covers the raster evenly";
    } else if (name == "wide bar") {
      for (SInt32 i = 0; i < 100; ++i) EXPECT_EQ(raster[i], i / 10 == 4 || i / 10 == 5 ? 5 : 0) << i;
    } else if (name == "high bar") {
      for (SInt32 i = 0; i < 100; ++i) EXPECT_EQ(raster[i], i % 10 == 4 || i % 10 == 5 ? 5 : 0) << i;
    } else if (name == "within the band") {
      // No pixel lies beyond the band: the first pixel, the top-left third, stands for the speck.
      for (SInt32 i = 0; i < 100; ++i) EXPECT_EQ(raster[i] > 0, i / 10 <= 3 && i % 10 <= 3) << i;
    }
  }
}

TEST(OutliersSpeckShapes, ShapeDifferences) {
  // A 10 by 10 square with a 4 by 4 corner notch (84 pixels), the same turned by a quarter, two bars of its
  // area, and discs of two sizes.
  SpeckScene notched(NotchedSquare(4, 4, 0)), turned(NotchedSquare(4, 24, 1)), bar(Block(22, 4, 6, 14)),
      thinBar(Block(30, 4, 3, 28)), disc(Disc(28, 38, 4.0)), bigDisc(Disc(14, 38, 6.0));
  ASSERT_EQ(notched.speck.rgn.numPixels, 84);
  ASSERT_EQ(turned.speck.rgn.numPixels, 84);
  auto diff = [](SpeckScene &a, SpeckScene &b) {
    return BZ_OuCalcShapeDiff(&a.params, a.frame.data(), b.frame.data(), &a.speck, &b.speck);
  };
  for (SpeckScene *s : {&notched, &bar, &thinBar, &disc}) EXPECT_EQ(diff(*s, *s), 0.0f);
  const float toTurned = diff(notched, turned), toBar = diff(notched, bar), toThinBar = diff(notched, thinBar);
  EXPECT_GT(toTurned, 0.0f);
  EXPECT_LT(toTurned, toBar);
  EXPECT_LT(toTurned, toThinBar);
  // The raster takes out the size: a larger disc is nearer to a disc than any bar is.
  EXPECT_LT(diff(disc, bigDisc), diff(disc, bar));
  EXPECT_LT(diff(disc, bigDisc), diff(disc, thinBar));

  // The same comparisons on several threads at once give the same answers.
  std::vector<float> results(4, -1.0f);
  {
    std::vector<std::thread> threads;
    for (size_t t = 0; t < results.size(); ++t)
      threads.emplace_back([&, t] { results[t] = diff(notched, t % 2 ? bar : turned); });
    for (std::thread &t : threads) t.join();
  }
  for (size_t t = 0; t < results.size(); ++t) EXPECT_EQ(results[t], t % 2 ? toBar : toTurned);
}

TEST(OutliersSpeckShapes, InvalidRastersGiveNoMatch) {
  std::array<SInt32, 100> raster{};
  raster.fill(1);
  Bins bins(9);
  GL_FloatPt speck_9[9];
  BZ_OuFindSubchunks(raster.data(), speck_9, bins.get());
  EXPECT_EQ(BZ_OuCalcStandShapeDiff(raster.data(), speck_9, speck_9, bins.get()), 0);
  std::array<SInt32, 100> short_ = raster;
  short_[5] = 0;
  EXPECT_EQ(BZ_OuCalcStandShapeDiff(short_.data(), speck_9, speck_9, bins.get()), 0x7FFFFFFF);
  bins.get()[3][1] = 100;  // a unit outside the raster
  EXPECT_EQ(BZ_OuCalcStandShapeDiff(raster.data(), speck_9, speck_9, bins.get()), 0x7FFFFFFF);
}

TEST(OutliersSpeckShapes, SubchunkRotationsFollowTheRing) {
  GL_FloatPt speck1_9[9], speck2_9[9];
  const SInt32 ring[8] = {0, 1, 2, 5, 8, 7, 6, 3};
  for (SInt32 k = 0; k < 9; ++k) speck1_9[k] = BZ_Index9toPt(k);
  speck1_9[0].h += 0.3f;  // an irregular ring, so that only one rotation fits
  speck1_9[5].v += 0.5f;
  SInt32 rotations[8], n = 0;
  BZ_OuMatchSubchunks(speck1_9, speck1_9, rotations, &n);
  ASSERT_EQ(n, 1);
  EXPECT_EQ(rotations[0], 0);
  // Speck 2's ring cell k holds what speck 1 holds at ring cell k + 2: a quarter turn.
  for (SInt32 k = 0; k < 8; ++k) speck2_9[ring[k]] = speck1_9[ring[(k + 2) % 8]];
  speck2_9[4] = speck1_9[4];
  BZ_OuMatchSubchunks(speck1_9, speck2_9, rotations, &n);
  EXPECT_EQ(rotations[0], 2);
  // A ring of equal cells fits every rotation alike: all eight are candidates, the first best first.
  GL_FloatPt centre[9];
  for (GL_FloatPt &p : centre) p = GL_FloatPt{5, 5};
  BZ_OuMatchSubchunks(centre, centre, rotations, &n);
  EXPECT_EQ(n, 1) << "no other rotation is below 1.1 times a best total of 0";
}

TEST(OutliersSpeckShapes, OrientationDifferenceWrapsAround) {
  const struct {
    float o1, o2, diff;
  } cases[] = {
      {0.0f, float(kPi), 0.0f},
      {0.1f, float(kPi) - 0.1f, float(0.2 / kPi)},
      {0.0f, float(kPi / 2), 0.5f},
      {float(-kPi), 0.0f, 0.0f},  // a wide axis-parallel box
      {float(-kPi), float(kPi / 2), 0.5f},
      {float(kPi / 4), float(3 * kPi / 4), 0.5f},
      {0.3f, 0.5f, float(0.2 / kPi)},
  };
  for (const auto &c : cases) {
    BZ_OuSpeck a{}, b{};
    a.orientation = c.o1;
    b.orientation = c.o2;
    a.orientationWeight = 0.5f;
    b.orientationWeight = 0.25f;
    float weight = 0;
    EXPECT_NEAR(BZ_OuCalcShapeDiffSimple(&a, &b, &weight), c.diff, 1e-6) << c.o1 << " " << c.o2;
    EXPECT_NEAR(BZ_OuCalcShapeDiffSimple(&b, &a, nullptr), c.diff, 1e-6);
    EXPECT_FLOAT_EQ(weight, 0.125f);
  }
}

TEST(OutliersSpeckShapes, ShapeFitsFavourTheNearestModel) {
  const struct {
    const char *name;
    SpeckPixels pixels;
    int best;  // 0 circle, 1 rectangle, 2 elongated rectangle
  } cases[] = {
      {"disc", Disc(15, 20, 5.0), 0},
      // The models stand upright and the morph's stress counts distances per axis, so a bar fits best
      // standing.
      {"upright thin bar", Block(4, 30, 16, 2), 2},
      {"upright wide bar", Block(4, 30, 16, 7), 1},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    SpeckScene scene(c.pixels);
    ASSERT_EQ(BZ_OuCalcSpeckShape(&scene.params, scene.data.data(), scene.frame.data(), &scene.speck,
                                  scene.pixelList.data()),
              noErr);
    const float fits[3] = {scene.speck.circleDiff, scene.speck.rectDiff, scene.speck.elongRectDiff};
    EXPECT_NEAR(fits[0] + fits[1] + fits[2], 1.0f, 1e-5);
    for (int m = 0; m < 3; ++m) {
      if (m != c.best) {
        EXPECT_LT(fits[c.best], fits[m]) << "model " << m;
      }
    }
  }
  SpeckScene empty({});
  EXPECT_EQ(BZ_OuCalcSpeckShape(&empty.params, empty.data.data(), empty.frame.data(), &empty.speck,
                                empty.pixelList.data()),
            paramErr);
}

TEST(OutliersSpeckShapes, TraceRows) {
  std::array<SInt32, 100> raster{};
  raster[0] = 100;
  testing::internal::CaptureStdout();
  BZ_OuPrint10x10Raster(raster.data());
  const std::string rasterText = testing::internal::GetCapturedStdout();
  EXPECT_EQ(rasterText.substr(0, 21), "100,0,0,0,0,0,0,0,0,0");
  EXPECT_EQ(std::count(rasterText.begin(), rasterText.end(), '\n'), 10);
  EXPECT_EQ(std::count(rasterText.begin(), rasterText.end(), ','), 100);

  Bins bins(9);
  GL_FloatPt speck_9[9];
  BZ_OuFindSubchunks(raster.data(), speck_9, bins.get());
  testing::internal::CaptureStdout();
  BZ_OuPrintBin9(bins.get());
  BZ_OuPrint3x3PtRaster(speck_9);
  EXPECT_EQ(testing::internal::GetCapturedStdout().substr(0, 10), "11,11,11,\n");
}

}  // namespace
