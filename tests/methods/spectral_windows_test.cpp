// Windows, bases and the small block utilities of the noise filters.
#include "methods/spectral_windows.h"

#include "general/sort_search.h"
#include "rn_test_params.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace {

using bz_test::RnTestParams;

TEST(RnWindows, ValuesSymmetryAndExactCentres) {
  RnTestParams t;
  const BZ_RnParams &p = t.params;
  const float w8[4] = {0.039566f, 0.320871f, 0.718695f, 1.0f};
  const float w16[8] = {0.009701f, 0.085083f, 0.224370f, 0.406359f, 0.603342f, 0.785330f, 0.924618f, 1.0f};
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(p.window8[i], w8[i], 1e-6) << "window8[" << i << "]";
    EXPECT_EQ(p.window8[7 - i], p.window8[i]);
  }
  for (int i = 0; i < 8; ++i) {
    EXPECT_NEAR(p.window16[i], w16[i], 1e-6) << "window16[" << i << "]";
    EXPECT_EQ(p.window16[15 - i], p.window16[i]);
  }
  EXPECT_EQ(p.window8[3], 1.0f);
  EXPECT_EQ(p.window8[4], 1.0f);
  EXPECT_EQ(p.window16[7], 1.0f);
  EXPECT_EQ(p.window16[8], 1.0f);
  EXPECT_EQ(p.window64[2 * 8 + 5], p.window8[5] * p.window8[2]);
  EXPECT_EQ(p.window256[7 * 16 + 8], 1.0f);
  EXPECT_EQ(p.window256[0], p.window16[0] * p.window16[0]);
}

struct BasisCase {
  int n;
  int centre;  // the first rebuilt sample
};

class RnBases : public ::testing::TestWithParam<BasisCase> {};

TEST_P(RnBases, ReducedInverseTimesBasisGivesTheCentreUnitRows) {
  RnTestParams t;
  const int n = GetParam().n, centre = GetParam().centre;
  const float *M = n == 8 ? t.params.M8 : t.params.M16;
  const float *inv = n == 8 ? t.params.M8inv : t.params.M16inv;
  EXPECT_EQ(reinterpret_cast<uintptr_t>(M) % 16, 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(inv) % 16, 0u);
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < n; ++j) {
      double sum = 0;
      for (int k = 0; k < n; ++k) sum += double(inv[i * n + k]) * M[k * n + j];
      EXPECT_NEAR(sum, j == centre + i ? 1.0 : 0.0, 1e-5) << "row " << i << ", column " << j;
    }
}

TEST_P(RnBases, ConstantBlockRebuildsToItsValue) {
  RnTestParams t;
  const int n = GetParam().n;
  const float *M = n == 8 ? t.params.M8 : t.params.M16;
  const float *inv = n == 8 ? t.params.M8inv : t.params.M16inv;
  for (float value : {1.0f, 77.0f, 254.0f}) {
    float c[16];
    for (int k = 0; k < n; ++k) {
      c[k] = 0;
      for (int s = 0; s < n; ++s) c[k] += M[k * n + s] * value;
    }
    for (int i = 0; i < 2; ++i) {
      float y = 0;
      for (int k = 0; k < n; ++k) y += inv[i * n + k] * c[k];
      EXPECT_NEAR(y, value, 1e-3 * value) << "n " << n << ", sample " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, RnBases, ::testing::Values(BasisCase{8, 3}, BasisCase{16, 7}));

TEST(RnBases, TestPrintoutListsTheProductLines) {
  RnTestParams t;
  ::testing::internal::CaptureStdout();
  BZ_RnTestM8(&t.params);
  const std::string m8 = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(m8.rfind("i = 0, j = 0, result = 0.0000\n", 0), 0u) << m8;
  EXPECT_NE(m8.find("i = 0, j = 3, result = 1.0000\n"), std::string::npos);
  EXPECT_NE(m8.find("i = 1, j = 4, result = 1.0000\n"), std::string::npos);
  EXPECT_EQ(std::count(m8.begin(), m8.end(), '\n'), 16);
  ::testing::internal::CaptureStdout();
  BZ_RnTestM16(&t.params);
  const std::string m16 = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(m16.find("i = 1, j = 8, result = 1.0000\n"), std::string::npos);
  EXPECT_EQ(std::count(m16.begin(), m16.end(), '\n'), 32);
}

TEST(RnVectorFloatStorage, CarvesOneAlignedBlockEndingAtItsLastByte) {
  BZ_RnDlgTaskData rn{};
  BZ_DlgTaskData *dlg = new BZ_DlgTaskData();
  EXPECT_EQ(BZ_InitVectorFloatStorage(dlg), paramErr) << "no noise data yet";
  dlg->rnDlgTaskData = &rn;
  ASSERT_EQ(BZ_InitVectorFloatStorage(dlg), noErr);
  const char *base = reinterpret_cast<const char *>(rn.randomPowerTable8);
  const float *arrays[] = {rn.randomPowerTable8, rn.randomPowerTable16, rn.randomPowerTable64,
                           rn.randomPowerTable256, rn.noiseSpectr16H[0], rn.noiseSpectr16H[1], rn.noiseSpectr16H[2],
                           rn.noiseSpectr16V[0], rn.noiseSpectr16V[1], rn.noiseSpectr16V[2], rn.noiseSpectr2D[0],
                           rn.noiseSpectr2D[1], rn.noiseSpectr2D[2], rn.noiseSpectr2Dadd[0], rn.noiseSpectr2Dadd[1],
                           rn.noiseSpectr2Dadd[2]};
  const size_t floats[] = {4, 8, 16, 64, 80, 40, 40, 80, 80, 80, 640, 160, 160, 160, 80, 80};
  size_t offset = 0;
  for (size_t i = 0; i < std::size(arrays); ++i) {
    EXPECT_EQ(reinterpret_cast<const char *>(arrays[i]) - base, ptrdiff_t(offset)) << "array " << i;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(arrays[i]) % 16, 0u) << "array " << i;
    offset += floats[i] * sizeof(float);
  }
  EXPECT_EQ(offset, kBZ_RnVectorFloatStorageBytes) << "the Cr first-row/column spectra end at the last byte";
  for (size_t i = 0; i < kBZ_RnVectorFloatStorageBytes; ++i) ASSERT_EQ(base[i], 0) << "byte " << i;
  float *before = rn.randomPowerTable8;
  EXPECT_EQ(BZ_InitVectorFloatStorage(dlg), noErr);
  EXPECT_EQ(rn.randomPowerTable8, before) << "carved once, never replaced";
  MPFree(rn.randomPowerTable8);
  delete dlg;
}

TEST(RnSelRect, WholePictureInsetAndShiftedIntoTheBuffer) {
  struct Case {
    bool interlaced, useSelRect;
    Rect sel, expected;  // top, left, bottom, right
  };
  const Case cases[] = {
      {false, false, {}, {24, 24, 472, 712}},
      {true, false, {}, {32, 24, 480, 712}},
      {false, true, {100, 50, 200, 300}, {108, 58, 208, 308}},
      {true, true, {100, 50, 200, 300}, {116, 58, 216, 308}},
  };
  for (const Case &c : cases) {
    BZ_Rn_Sett sett{};
    sett.useSelRect = c.useSelRect;
    sett.selRect = c.sel;
    BZ_RnParams p{};
    p.sett = &sett;
    p.inWidth = 720;
    p.inHeight = 480;
    p.interlaced = c.interlaced;
    Rect r{};
    BZ_RnGetSelRect(&p, &r);
    EXPECT_EQ(r.top, c.expected.top);
    EXPECT_EQ(r.left, c.expected.left);
    EXPECT_EQ(r.bottom, c.expected.bottom);
    EXPECT_EQ(r.right, c.expected.right);
  }
}

TEST(RnCompareNoiseLevels, SelectionSortAscendsWithInfinityLast) {
  const float inf = std::numeric_limits<float>::infinity();
  BZ_IndexedNoiseLevel levels[] = {{0, 5, 5.0f}, {1, 9, inf}, {2, 2, 2.0f}, {3, 3, 3.0f}};
  SS_SelectSortArray(BZ_RnCompareNoiseLevelsF, levels, 4, sizeof(BZ_IndexedNoiseLevel));
  const float expected[] = {2.0f, 3.0f, 5.0f, inf};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(levels[i].noiseLevelF, expected[i]) << i;
  EXPECT_EQ(sizeof(BZ_IndexedNoiseLevel), 12u);

  BZ_IndexedNoiseLevel ints[] = {{0, 7, 0}, {1, 1, 0}, {2, 4, 0}};
  SS_SelectSortArray(BZ_RnCompareNoiseLevels, ints, 3, sizeof(BZ_IndexedNoiseLevel));
  EXPECT_EQ(ints[0].noiseLevel, 1);
  EXPECT_EQ(ints[1].noiseLevel, 4);
  EXPECT_EQ(ints[2].noiseLevel, 7);
  EXPECT_EQ(BZ_RnCompareNoiseLevelsF(&levels[0], &levels[0]), 0);
}

TEST(RnMedianFilterHoriz, FiltersOnlyWhenTheSpreadIsBelowTwiceTheLevel) {
  struct Case {
    UInt8 y1, y2, y3;
    SInt32 level;
    UInt8 expected;
  };
  const Case cases[] = {
      {10, 200, 12, 100, 12}, {10, 200, 12, 90, 200}, {50, 40, 60, 20, 50}, {60, 40, 50, 20, 50}, {5, 6, 7, 1, 6},
  };
  for (const Case &c : cases) {
    // Samples of one component two bytes apart, as luma in a '2vuy' line.
    const UInt8 in[5] = {c.y1, 0, c.y2, 0, c.y3};
    UInt8 out[5] = {};
    BZ_MedianFilterHoriz(c.level, in, out, 2, 2);
    EXPECT_EQ(out[2], c.expected) << int(c.y1) << ", " << int(c.y2) << ", " << int(c.y3) << " at " << c.level;
    EXPECT_EQ(out[0] + out[1] + out[3] + out[4], 0);
  }
}

TEST(RnBlockUtilities, CopyAndPadParams) {
  UInt8 in[20], out[20] = {};
  for (int i = 0; i < 20; ++i) in[i] = UInt8(i + 1);
  BZ_RnCopy8Pixels(in, out);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(out[i], in[i]);
  EXPECT_EQ(out[16], 0);
  BZ_RnParams p{};
  p.inWidth = 720;
  p.inHeight = 480;
  p.width = 736;
  p.height = 512;
  p.interlaced = true;
  BZ_PadParams pad{};
  BZ_RnParamsToPadParams(&p, &pad);
  EXPECT_EQ(pad.inWidth, 720);
  EXPECT_EQ(pad.inHeight, 480);
  EXPECT_EQ(pad.width, 736);
  EXPECT_EQ(pad.height, 512);
  EXPECT_TRUE(pad.interlaced);
}

}  // namespace
