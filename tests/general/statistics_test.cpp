#include "general/statistics.h"

#include "platform/core/fixed_math.h"
#include "platform/core/mac_errors.h"
#include "support/kernel_check.h"
#include "support/numeric_reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <vector>

namespace {

constexpr float kUntouched = 1234.5f;
const float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

// ---- Robust averages ------------------------------------------------------------------------------------

// The documented algorithm in double, for comparison.
double ReferenceAverageNoOutliers(const std::vector<float> &v, double *dev, std::vector<int> *flags) {
  double sum = 0;
  int count = 0;
  for (float x : v) {
    if (std::isfinite(x) || x == -kInf) {
      sum += x;
      ++count;
    }
  }
  double m = sum / count, d = 0;
  for (float x : v) {
    if (std::isfinite(x)) d += std::fabs(x - m);
  }
  d = std::max(d / count, 0.0001);
  double keptSum = 0, keptDev = 0;
  int kept = 0;
  flags->clear();
  for (float x : v) {
    bool drop = !std::isfinite(x) || std::fabs(x - m) > 2 * d;
    flags->push_back(drop);
    if (!drop) {
      keptSum += x;
      keptDev += std::fabs(x - m);
      ++kept;
    }
  }
  *dev = keptDev / kept;
  return keptSum / kept;
}

TEST(GeneralStatistics, AverageNoOutliersDropsFarValues) {
  {
    const float v[5] = {1, 1, 1, 1, 100};
    float dev = kUntouched;
    Boolean flags[5] = {9, 9, 9, 9, 9};
    EXPECT_FLOAT_EQ(GL_GetAverageNoOutliers(v, 5, &dev, flags), 1.0f);
    EXPECT_FLOAT_EQ(dev, 19.8f);
    EXPECT_EQ(std::vector<int>(flags, flags + 5), (std::vector<int>{0, 0, 0, 0, 1}));
  }
  {
    // Equal values: the deviation is raised to 0.0001 and nothing is dropped.
    const float v[4] = {7.5f, 7.5f, 7.5f, 7.5f};
    float dev = kUntouched;
    Boolean flags[4] = {9, 9, 9, 9};
    EXPECT_FLOAT_EQ(GL_GetAverageNoOutliers(v, 4, &dev, flags), 7.5f);
    EXPECT_EQ(dev, 0.0f);
    EXPECT_EQ(std::vector<int>(flags, flags + 4), (std::vector<int>{0, 0, 0, 0}));
  }
  {
    // Samples without a value are flagged and left out; NaN counts as one.
    const float v[6] = {2, kInf, 4, kNaN, 3, 3};
    float dev = kUntouched;
    Boolean flags[6];
    EXPECT_FLOAT_EQ(GL_GetAverageNoOutliers(v, 6, &dev, flags), 3.0f);
    EXPECT_FLOAT_EQ(dev, 0.5f);
    EXPECT_EQ(std::vector<int>(flags, flags + 6), (std::vector<int>{0, 1, 0, 1, 0, 0}));
  }
}

TEST(GeneralStatistics, AverageNoOutliersWithoutValidSamples) {
  const float v[3] = {kInf, kInf, kInf};
  float dev = kUntouched;
  Boolean flags[3] = {9, 9, 9};
  EXPECT_EQ(GL_GetAverageNoOutliers(v, 3, &dev, flags), 0.0f);
  EXPECT_EQ(dev, 0.0f);
  EXPECT_EQ(flags[0], 9);
  EXPECT_EQ(GL_GetAverageNoOutliers(v, 3, nullptr, nullptr), 0.0f);
  EXPECT_EQ(GL_GetAverageNoOutliers(v, 0, &dev, flags), 0.0f);
}

TEST(GeneralStatistics, AverageNoOutliersMatchesDoubleReference) {
  BZ_KERNEL_SEED_TRACE();
  for (int trial = 0; trial < 20; ++trial) {
    std::vector<float> v(20);
    bz_test::FillRandomFloats(v.data(), v.size(), 10.0f, 12.0f, bz_test::Rng());
    v[trial % 20] = 40.0f;  // one clear outlier
    v[(trial * 7 + 3) % 20] = kInf;
    double refDev;
    std::vector<int> refFlags;
    double ref = ReferenceAverageNoOutliers(v, &refDev, &refFlags);
    float dev;
    std::vector<Boolean> flags(v.size());
    EXPECT_NEAR(GL_GetAverageNoOutliers(v.data(), SInt32(v.size()), &dev, flags.data()), ref, 1e-5);
    EXPECT_NEAR(dev, refDev, 1e-5);
    EXPECT_EQ(std::vector<int>(flags.begin(), flags.end()), refFlags);
  }
}

TEST(GeneralStatistics, AverageAndMeanAbsoluteDeviation) {
  const float f[4] = {1, 2, 3, 6};
  const SInt32 l[4] = {1, 2, 3, 6};
  float av, dev;
  GL_GetAverageF(f, 4, &av, &dev);
  EXPECT_FLOAT_EQ(av, 3.0f);
  EXPECT_FLOAT_EQ(dev, 1.5f);
  GL_GetAverageL(l, 4, &av, &dev);
  EXPECT_FLOAT_EQ(av, 3.0f);
  EXPECT_FLOAT_EQ(dev, 1.5f);
  GL_GetAverageF(f, 0, &av, &dev);
  EXPECT_TRUE(std::isnan(av));
  EXPECT_TRUE(std::isnan(dev));
  GL_GetAverageL(l, 0, &av, nullptr);
  EXPECT_TRUE(std::isnan(av));
}

// ---- Minimum and maximum --------------------------------------------------------------------------------

TEST(GeneralStatistics, ArrayMinMaxTakesFirstOccurrence) {
  const SInt32 s32[6] = {4, -2, 9, -2, 9, 0};
  SInt32 mn, mx, mnI, mxI;
  GL_GetArrayMinMaxS32(6, s32, &mn, &mx, &mnI, &mxI);
  EXPECT_EQ(mn, -2);
  EXPECT_EQ(mnI, 1);
  EXPECT_EQ(mx, 9);
  EXPECT_EQ(mxI, 2);

  const double f64[4] = {1.5, -0.25, 7.0, -0.25};
  double dmn, dmx;
  GL_GetArrayMinMaxF64(4, f64, &dmn, &dmx, &mnI, &mxI);
  EXPECT_EQ(dmn, -0.25);
  EXPECT_EQ(mnI, 1);
  EXPECT_EQ(dmx, 7.0);
  EXPECT_EQ(mxI, 2);

  const SInt16 s16[3] = {-32768, 5, 32767};
  SInt16 smn, smx;
  GL_GetArrayMinMaxS16(3, s16, &smn, &smx, &mnI, &mxI);
  EXPECT_EQ(smn, -32768);
  EXPECT_EQ(mnI, 0);
  EXPECT_EQ(smx, 32767);
  EXPECT_EQ(mxI, 2);

  // Each output is optional.
  GL_GetArrayMinMaxS32(6, s32, nullptr, nullptr, nullptr, &mxI);
  EXPECT_EQ(mxI, 2);
}

TEST(GeneralStatistics, ArrayMinMaxReportsMinusOneWhenNothingPassesStartValue) {
  const SInt16 tops[2] = {32767, 32767};
  SInt16 smn, smx;
  SInt32 mnI = 7, mxI = 7;
  GL_GetArrayMinMaxS16(2, tops, &smn, &smx, &mnI, &mxI);
  EXPECT_EQ(smn, 32767);
  EXPECT_EQ(mnI, -1);
  EXPECT_EQ(mxI, 0);
  const SInt32 bottoms[2] = {-2147483647 - 1, -2147483647 - 1};
  GL_GetArrayMinMaxS32(2, bottoms, nullptr, nullptr, &mnI, &mxI);
  EXPECT_EQ(mnI, 0);
  EXPECT_EQ(mxI, -1);

  const UInt8 bytes[4] = {255, 255, 255, 255};
  UInt8 mn = 0, mx = 0;
  mnI = mxI = 7;
  GL_GetArrayMinMaxU8(4, bytes, &mn, &mx, &mnI, &mxI);
  EXPECT_EQ(mn, 255);
  EXPECT_EQ(mnI, -1);
  EXPECT_EQ(mx, 255);
  EXPECT_EQ(mxI, 0);

  const float floats[3] = {kNaN, kNaN, kNaN};
  float fmn, fmx;
  GL_GetArrayMinMaxF32(3, floats, &fmn, &fmx, &mnI, &mxI);
  EXPECT_EQ(fmn, kInf);
  EXPECT_EQ(fmx, -kInf);
  EXPECT_EQ(mnI, -1);
  EXPECT_EQ(mxI, -1);

  GL_GetArrayMinMaxF32(0, floats, &fmn, &fmx, &mnI, &mxI);
  EXPECT_EQ(mnI, -1);
  EXPECT_EQ(mxI, -1);

  UInt8 three[3] = {9, 3, 200};
  GL_GetMinMaxFrom3_U8(three, &mn, &mx);
  EXPECT_EQ(mn, 3);
  EXPECT_EQ(mx, 200);
}

// Vertex of the double least-squares parabola through values at x = 0..n-1.
double ReferenceVertex(const float *values, int n) {
  std::vector<double> x(n), y(values, values + n);
  for (int i = 0; i < n; ++i) x[i] = i;
  std::vector<double> c = bz_test::ReferencePolyFit(x, y, 3);
  return -c[1] / (2 * c[2]);
}

TEST(GeneralStatistics, ArrayMinimumRefinesInsideTheArray) {
  // An error curve of 17 values with its minimum between samples, like the averaging's phase search.
  std::vector<float> curve(17);
  for (int i = 0; i < 17; ++i) curve[i] = 3.0f + (i - 7.3f) * (i - 7.3f);
  float position = kUntouched, value = kUntouched;
  EXPECT_TRUE(GL_GetArrayMinimumF_Ext(17, curve.data(), &position, &value));
  EXPECT_NEAR(position, 7.3f, 1e-4);
  EXPECT_NEAR(value, 3.0f, 1e-3);
}

TEST(GeneralStatistics, ArrayMinimumNearTheEdgesIsNotRefined) {
  for (int minIndex : {0, 1, 7, 8}) {
    std::vector<float> v(9);
    for (int i = 0; i < 9; ++i) v[i] = 10.0f + std::fabs(float(i - minIndex));
    v[minIndex] = 2.5f;
    float position = kUntouched, value = kUntouched;
    EXPECT_FALSE(GL_GetArrayMinimumF_Ext(9, v.data(), &position, &value)) << minIndex;
    EXPECT_EQ(position, float(minIndex));
    EXPECT_EQ(value, 2.5f);
  }
  // No element below +infinity: position -1 and no element read at -1.
  const float none[5] = {kInf, kNaN, kInf, kInf, kNaN};
  float position = kUntouched, value = kUntouched;
  EXPECT_FALSE(GL_GetArrayMinimumF_Ext(5, none, &position, &value));
  EXPECT_EQ(position, -1.0f);
  EXPECT_EQ(value, kInf);
  EXPECT_FALSE(GL_GetArrayMinimumF_Ext(0, none, &position, &value));
  EXPECT_EQ(position, -1.0f);
}

TEST(GeneralStatistics, ArrayMinimumFallsBackToSevenPointWindow) {
  // The five points around the minimum are no valley (a bump at index 5), but the seven from index 2 are.
  const std::vector<float> v = {20, 15, 10, 5, 2, 3, 1, 4, 9, 16, 25};
  float position, value;
  EXPECT_TRUE(GL_GetArrayMinimumF_Ext(SInt32(v.size()), v.data(), &position, &value));
  EXPECT_NEAR(position, 2.0 + ReferenceVertex(v.data() + 2, 7), 1e-4);

  // Window to the right would end on the array's last element: not taken.
  const std::vector<float> w = {9, 6, 4, 1, 3, 2, 5, 9};
  EXPECT_FALSE(GL_GetArrayMinimumF_Ext(SInt32(w.size()), w.data(), &position, &value));
  EXPECT_EQ(position, 3.0f);
  EXPECT_EQ(value, 1.0f);

  // A window whose interior rises above its shoulders is no valley.
  const std::vector<float> x = {20, 15, 10, 5, 2, 6, 1, 4, 9, 16, 25};
  EXPECT_FALSE(GL_GetArrayMinimumF_Ext(SInt32(x.size()), x.data(), &position, &value));
  EXPECT_EQ(position, 6.0f);
  EXPECT_EQ(value, 1.0f);
}

TEST(GeneralStatistics, RefineMinKeepsCentreWhenTheFitFails) {
  struct Case {
    const char *name;
    float values[5];
    Boolean result;
    float position, value;
    float tolerance;
  };
  const Case cases[] = {
      {"symmetric valley", {4, 1, 0, 1, 4}, true, 2.0f, 0.0f, 1e-5f},
      {"off-centre valley", {3.24f, 0.64f, 0.04f, 1.44f, 4.84f}, true, 1.8f, 0.0f, 1e-4f},
      {"not a valley", {1, 2, 0, 1, 4}, false, 2.0f, 0.0f, 0.0f},
      // Flat five-point fit: the failed fit's clamped position must not leak out.
      {"five-point fit fails", {2e-4f, 1e-4f, 0, 1e-4f, 2e-4f}, true, 2.0f, 0.0f, 0.0f},
      // Flat four-point fit on y0..y3: likewise.
      {"four-point fit fails", {3e-4f, 2e-4f, 1e-4f, 0, 1e-4f}, true, 2.0f, 1e-4f, 0.0f},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    float position = kUntouched, value = kUntouched;
    EXPECT_EQ(GL_RefineMinFromArrayF(c.values, &position, &value), c.result);
    EXPECT_NEAR(position, c.position, c.tolerance);
    EXPECT_NEAR(value, c.value, std::max(c.tolerance, 1e-6f));
  }
}

TEST(GeneralStatistics, MinFromArrayTakesBestInnerFourPointFit) {
  float v[10];
  for (int i = 0; i < 10; ++i) v[i] = 0.5f + (i - 5.4f) * (i - 5.4f);
  float minX = kUntouched;
  EXPECT_NEAR(GL_GetMinFromArrayF(1.0f, 0.5f, v, 10, &minX), 0.5f, 1e-3);
  EXPECT_NEAR(minX, 1.0f + 5.4f * 0.5f, 1e-4);

  // A falling line has no inner minimum; counts outside 4..16 are refused.
  float line[6] = {6, 5, 4, 3, 2, 1};
  minX = kUntouched;
  EXPECT_EQ(GL_GetMinFromArrayF(0.0f, 1.0f, line, 6, &minX), kInf);
  EXPECT_EQ(GL_GetMinFromArrayF(0.0f, 1.0f, v, 3, &minX), kInf);
  float many[17] = {};
  EXPECT_EQ(GL_GetMinFromArrayF(0.0f, 1.0f, many, 17, &minX), kInf);
  EXPECT_EQ(minX, kUntouched);
}

// ---- Curves ---------------------------------------------------------------------------------------------

std::vector<GL_FloatPt> Polyline(const std::vector<std::pair<int, int>> &corners) {
  // Unit steps along straight segments between the corners.
  std::vector<GL_FloatPt> pts;
  for (size_t c = 0; c + 1 < corners.size(); ++c) {
    auto [h0, v0] = corners[c];
    auto [h1, v1] = corners[c + 1];
    const int steps = std::max(std::abs(h1 - h0), std::abs(v1 - v0));
    for (int k = 0; k < steps; ++k)
      pts.push_back({h0 + float(h1 - h0) * k / steps, v0 + float(v1 - v0) * k / steps});
  }
  pts.push_back({float(corners.back().first), float(corners.back().second)});
  return pts;
}

TEST(GeneralStatistics, MaxChordDistance) {
  float dist = kUntouched, len = kUntouched, sign = kUntouched;
  SInt32 index = 99;
  const std::vector<GL_FloatPt> line = Polyline({{0, 0}, {6, 3}});
  GL_GetMaxChordDistance(line.data(), 0, 6, &dist, &index, &len, &sign);
  EXPECT_NEAR(dist, 0.0f, 1e-6);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(sign, 1.0f);
  EXPECT_NEAR(len, std::sqrt(45.0f), 1e-5);

  const GL_FloatPt hill[5] = {{0, 0}, {1, 1}, {2, 3}, {3, 1}, {4, 0}};
  GL_GetMaxChordDistance(hill, 0, 4, &dist, &index, &len, &sign);
  EXPECT_FLOAT_EQ(dist, 3.0f);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(sign, -1.0f);
  EXPECT_FLOAT_EQ(len, 4.0f);

  // No inner point: the length is left alone.
  len = kUntouched;
  GL_GetMaxChordDistance(hill, 1, 2, &dist, &index, &len, &sign);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(dist, 0.0f);
  EXPECT_EQ(sign, 1.0f);
  EXPECT_EQ(len, kUntouched);

  // Ends that coincide: the distance to that point, not 0/0.
  const GL_FloatPt loop[4] = {{0, 0}, {3, 0}, {3, 4}, {0, 0}};
  GL_GetMaxChordDistance(loop, 0, 3, &dist, &index, &len, &sign);
  EXPECT_FLOAT_EQ(dist, 5.0f);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(sign, 1.0f);
  EXPECT_EQ(len, 0.0f);

  // NaN points still give an inner index.
  const GL_FloatPt broken[3] = {{0, 0}, {kNaN, kNaN}, {2, 0}};
  index = -1;
  GL_GetMaxChordDistance(broken, 0, 2, &dist, &index, &len, &sign);
  EXPECT_EQ(index, 1);
}

struct Corners {
  OSStatus err;
  std::vector<SInt32> indexes;
  std::vector<float> ratios;
};

Corners Subdivide(const std::vector<GL_FloatPt> &pts, SInt32 maxNumAngPts = 100000, float maxDist = 2.0f) {
  std::vector<SInt32> scratch(2 * size_t(maxNumAngPts));
  SInt32 num = 0;
  SInt32 *angPts = reinterpret_cast<SInt32 *>(1);
  float *ratios = reinterpret_cast<float *>(1);
  Corners out;
  out.err = GL_SubdivideCurve(pts.data(), 0, 0, SInt32(pts.size()) - 1, maxDist, -1, 0.0f, 0.0f, 0.1f, maxNumAngPts,
                              &num, &angPts, &ratios, scratch.data());
  if (num == 0) {
    EXPECT_EQ(angPts, nullptr);
    EXPECT_EQ(ratios, nullptr);
  } else {
    out.indexes.assign(angPts, angPts + num);
    out.ratios.assign(ratios, ratios + num);
    std::free(angPts);
    std::free(ratios);
  }
  return out;
}

TEST(GeneralStatistics, SubdivideCurveFindsCornersInOrder) {
  // An L: one corner, half a chord's length away from it.
  Corners l = Subdivide(Polyline({{0, 0}, {10, 0}, {10, 10}}));
  ASSERT_EQ(l.err, noErr);
  EXPECT_EQ(l.indexes, (std::vector<SInt32>{10}));
  EXPECT_NEAR(l.ratios[0], 0.5f, 1e-5);

  // A peak with a bend on each flank: the peak (index 26) is found first, the bends (10, 42) below it,
  // but they are handed out along the curve. Both bends turn the same way along the curve.
  Corners m = Subdivide(Polyline({{0, 0}, {10, 4}, {20, 20}, {30, 4}, {40, 0}}));
  ASSERT_EQ(m.err, noErr);
  EXPECT_EQ(m.indexes, (std::vector<SInt32>{10, 26, 42}));
  ASSERT_EQ(m.ratios.size(), 3u);
  EXPECT_NEAR(std::fabs(m.ratios[1]), 20.0f / 40.0f, 1e-5);
  EXPECT_NEAR(std::fabs(m.ratios[0]), 120.0f / 800.0f, 1e-5);  // |(10,4) x (20,20)| / |(20,20)|^2
  EXPECT_EQ(m.ratios[0] > 0, m.ratios[2] > 0);

  // A closed square loop: its chord has no length, which used to read before the points.
  Corners square = Subdivide(Polyline({{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 0}}));
  ASSERT_EQ(square.err, noErr);
  EXPECT_EQ(square.indexes, (std::vector<SInt32>{4, 8, 12}));
  for (float r : square.ratios) EXPECT_TRUE(std::isfinite(r));

  // The cap on corners, straight curves, two points and a small distance record nothing more.
  EXPECT_EQ(Subdivide(Polyline({{0, 0}, {10, 4}, {20, 20}, {30, 4}, {40, 0}}), 1).indexes,
            (std::vector<SInt32>{26}));
  EXPECT_TRUE(Subdivide(Polyline({{0, 0}, {9, 9}})).indexes.empty());
  EXPECT_TRUE(Subdivide(Polyline({{0, 0}, {1, 0}})).indexes.empty());
  EXPECT_TRUE(Subdivide(Polyline({{0, 0}, {10, 0}, {10, 10}}), 100000, 1.0f).indexes.empty());
}

// ---- Searches and tests ---------------------------------------------------------------------------------

TEST(GeneralStatistics, SearchesInArrays) {
  const SInt32 s32[5] = {7, 3, 9, 3, -1};
  SInt32 index = 99;
  EXPECT_TRUE(GL_IsNumberInArrayS32(3, 5, s32, &index));
  EXPECT_EQ(index, 1);
  EXPECT_FALSE(GL_IsNumberInArrayS32(4, 5, s32, &index));
  EXPECT_EQ(index, -1);
  EXPECT_TRUE(GL_IsNumberInArrayS32(-1, 5, s32, nullptr));

  const SInt16 s16[3] = {5, -5, 5};
  EXPECT_TRUE(GL_IsNumberInArrayS16(5, 3, s16, &index));
  EXPECT_EQ(index, 0);
  const OSType types[3] = {'vide', 'soun', 'tmcd'};
  EXPECT_TRUE(GL_IsOSTypeInArray('tmcd', 3, types, &index));
  EXPECT_EQ(index, 2);
  EXPECT_FALSE(GL_IsOSTypeInArray('text', 3, types, &index));
  EXPECT_EQ(index, -1);

  EXPECT_FALSE(GL_AllValuesInArrayUniqueS32(5, s32));
  EXPECT_TRUE(GL_AllValuesInArrayUniqueS32(3, s32));
  EXPECT_TRUE(GL_AllValuesInArrayUniqueS32(1, s32));
  EXPECT_TRUE(GL_AllValuesInArrayUniqueS32(0, nullptr));
  const SInt32 other[5] = {7, 3, 9, 3, 0};
  EXPECT_TRUE(GL_EqualArrayS32(4, s32, other));
  EXPECT_FALSE(GL_EqualArrayS32(5, s32, other));
  EXPECT_TRUE(GL_EqualArrayS32(0, s32, other));
  EXPECT_TRUE(GL_IsNumberInInterval(1, 1, 3));
  EXPECT_TRUE(GL_IsNumberInInterval(1, 3, 3));
  EXPECT_FALSE(GL_IsNumberInInterval(1, 4, 3));
}

TEST(GeneralStatistics, SortedListSearchPrefersLaterDuplicate) {
  struct Case {
    std::vector<SInt32> list;
    SInt32 value, expected;
  };
  const Case cases[] = {
      {{1, 3, 3, 5}, 3, 2}, {{1, 3, 3, 5}, 1, 0}, {{1, 3, 3, 5}, 5, 3}, {{1, 3, 3, 5}, 4, -1},
      {{1, 3, 3, 5}, 0, -1}, {{1, 3, 3, 5}, 9, -1}, {{}, 3, -1},          {{4}, 4, 0},
      {{4}, 5, -1},          {{2, 2, 2, 2, 2}, 2, 4},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(GL_FindIndexInSortedListS32(SInt32(c.list.size()), c.list.data(), c.value), c.expected)
        << "value " << c.value << " in " << ::testing::PrintToString(c.list);
    std::vector<float> f(c.list.begin(), c.list.end());
    EXPECT_EQ(GL_FindIndexInSortedListF32(SInt32(f.size()), f.data(), float(c.value)), c.expected);
  }
  const float f[3] = {1, 2, 3};
  EXPECT_EQ(GL_FindIndexInSortedListF32(3, f, kNaN), -1);
}

TEST(GeneralStatistics, ConsecutiveNumbers) {
  struct Case {
    std::vector<SInt16> values;
    Boolean expected;
  };
  const Case cases[] = {
      {{3, 5, 4}, true},      {{3, 5, 6}, false},         {{-1, 0, 1, -2}, true}, {{7}, true},
      {{}, true},             {{32766, 32767}, true},     // the top of the range
      {{32767, 32767}, false},  // minimum only through its start value: index -1, never read
      {{2, 2, 3}, false},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(GL_ArrayNumbersAreConsecutive(SInt16(c.values.size()), c.values.data()), c.expected)
        << ::testing::PrintToString(c.values);
  }
}

// ---- Comparisons, clamps, medians, rounding -------------------------------------------------------------

TEST(GeneralStatistics, FloatComparisons) {
  EXPECT_TRUE(GL_FloatsEqualByAbsDiff(1.0f, 1.05f, 0.1f));
  EXPECT_FALSE(GL_FloatsEqualByAbsDiff(1.0f, 1.5f, 0.5f));  // strict
  EXPECT_TRUE(GL_FloatsEqualByPerc(100.0f, 104.0f, 0.05f));
  EXPECT_FALSE(GL_FloatsEqualByPerc(100.0f, 106.0f, 0.05f));
  EXPECT_FALSE(GL_FloatsEqualByPerc(0.0f, 0.0f, 0.05f));  // strict: 0 < 0 fails

  struct DiffCase {
    float x, y, percentage;
    Boolean result;
    OSStatus error;
  };
  const DiffCase diffs[] = {
      {10, 8, 0.1f, true, noErr},    {10, 12, 0.1f, true, noErr},     {10, 9.5f, 0.1f, false, noErr},
      {10, 9, 0.1f, false, noErr},   {0, 1, 0.1f, false, paramErr},   {10, -1, 0.1f, false, paramErr},
      {10, 5, 1.5f, false, paramErr}, {10, 5, -0.1f, false, paramErr}, {10, 5, kNaN, false, paramErr},
  };
  for (const DiffCase &c : diffs) {
    OSStatus err = 12345;
    EXPECT_EQ(GL_Diff(c.x, c.y, c.percentage, &err), c.result) << c.x << " " << c.y << " " << c.percentage;
    EXPECT_EQ(err, c.error);
  }
  EXPECT_FLOAT_EQ(GL_FloatPercDiff(2, 4), 0.5f);
  EXPECT_FLOAT_EQ(GL_FloatPercDiff(4, 2), 0.5f);
  EXPECT_FLOAT_EQ(GL_FloatPercDiff(3, 3), 0.0f);
  EXPECT_FLOAT_EQ(GL_FloatPercDiff(-1, 2), 1.0f);
  const GL_LongRatio third = {1, 3}, half = {1, 2}, minusHalf = {-1, 2};
  EXPECT_FLOAT_EQ(GL_LongRatioPercDiff(&third, &half), 1.0f - (1.0f / 3.0f) / 0.5f);
  EXPECT_FLOAT_EQ(GL_LongRatioPercDiff(&half, &minusHalf), 1.0f);
}

TEST(GeneralStatistics, ClampsLetMaxWin) {
  int i = 5;
  GL_ClampIntToBounds(10, 3, &i);
  EXPECT_EQ(i, 3);
  i = -4;
  GL_ClampIntToBounds(0, 9, &i);
  EXPECT_EQ(i, 0);
  SInt16 s = 40;
  GL_ClampShortToBounds(0, 30, &s);
  EXPECT_EQ(s, 30);
  float f = 0.5f;
  GL_ClampFloatToBounds(0.0f, 1.0f, &f);
  EXPECT_EQ(f, 0.5f);
  GL_ClampFloatToBounds(0.75f, 1.0f, &f);
  EXPECT_EQ(f, 0.75f);
}

TEST(GeneralStatistics, ThreeSampleFiltersAgainstSorting) {
  for (int a = 0; a < 256; a += 15) {
    for (int b = 0; b < 256; b += 5) {
      for (int c = 0; c < 256; c += 15) {
        int sorted[3] = {a, b, c};
        std::sort(sorted, sorted + 3);
        ASSERT_EQ(GL_GetMedianFilteredValue3_U8(UInt8(a), UInt8(b), UInt8(c)), sorted[1]) << a << " " << b << " " << c;
        const int lo = std::min(a, c), hi = std::max(a, c);
        ASSERT_EQ(GL_GetAntiMedianValue3(UInt8(a), UInt8(b), UInt8(c)), b - std::clamp(b, lo, hi));
      }
    }
  }
}

TEST(GeneralStatistics, Rounding) {
  const std::pair<float, SInt32> even[] = {{2.7f, 2},  {3.2f, 4},   {-3.2f, -4}, {3.0f, 4},
                                           {-0.5f, 0}, {0.9f, 0},   {-1.0f, -2}, {4.0f, 4},
                                           {1e10f, 2147483647}, {-1e10f, -2147483647 - 1}, {kNaN, 0}};
  for (const auto &[x, expected] : even) EXPECT_EQ(GL_RoundToEven(x), expected) << x;

  EXPECT_EQ(GL_RoundDownFloatToNearestInteger(2.9999f, 0.001f), 3);
  EXPECT_EQ(GL_RoundDownFloatToNearestInteger(2.5f, 0.1f), 2);
  EXPECT_EQ(GL_RoundDownFloatToNearestInteger(7.0f, 0.1f), 7);

  struct PowerCase {
    SInt16 basePower;
    SInt32 number, result, remainder;
  };
  const PowerCase powers[] = {{0, 100, 64, 36}, {3, 5, 8, 5}, {-2, 1, 1, 0}, {3, 1000, 512, 488},
                              {0, 2147483647, 1073741824, 1073741823}};
  for (const PowerCase &c : powers) {
    SInt32 result = 0, remainder = 0;
    GL_RoundToPowerOf2(c.basePower, c.number, &result, &remainder);
    EXPECT_EQ(result, c.result) << c.basePower << ", " << c.number;
    EXPECT_EQ(remainder, c.remainder);
  }
}

// ---- Histograms, bits, logarithms -----------------------------------------------------------------------

TEST(GeneralStatistics, NextPeakWalksThroughAHistogram) {
  const SInt32 h[20] = {0, 0, 1, 0, 5, 9, 12, 9, 5, 0, 0, 0, 2, 8, 15, 8, 2, 0, 0, 0};
  SInt32 position = 0, width = 3, size = -1;
  GL_GetNextPeak(0, 19, h, &position, &width, false, 20, 0, &size);
  EXPECT_EQ(size, 30);  // 9 + 12 + 9
  EXPECT_EQ(position, 8);
  EXPECT_EQ(width, 3);

  GL_GetNextPeak(0, 19, h, &position, &width, false, 20, 0, &size);
  EXPECT_EQ(size, 31);  // 8 + 15 + 8
  EXPECT_EQ(position, 16);

  GL_GetNextPeak(0, 19, h, &position, &width, false, 20, 0, &size);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(width, 3);

  // The narrowest stretch still reaching 20 is 9 + 12.
  position = 0;
  GL_GetNextPeak(0, 19, h, &position, &width, true, 20, 0, &size);
  EXPECT_EQ(size, 21);
  EXPECT_EQ(width, 2);
  EXPECT_EQ(position, 8);

  // The threshold as a fraction of the total (76 / 4 = 19) finds the same first peak.
  position = 0;
  width = 3;
  GL_GetNextPeak(0, 19, h, &position, &width, false, 0, fixed1 / 4, &size);
  EXPECT_EQ(size, 30);

  // A window wider than what is left is cut for the search and given back afterwards.
  position = 18;
  width = 5;
  GL_GetNextPeak(0, 19, h, &position, &width, false, 20, 0, &size);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(width, 5);

  // A zero threshold narrows to one entry and stops there.
  position = 0;
  width = 4;
  GL_GetNextPeak(0, 19, h, &position, &width, true, 0, 0, &size);
  EXPECT_EQ(width, 1);

  // A start outside the domain finds nothing.
  position = 25;
  GL_GetNextPeak(0, 19, h, &position, &width, false, 20, 0, &size);
  EXPECT_EQ(size, 0);
}

TEST(GeneralStatistics, BitCountsAndLogarithms) {
  const std::pair<UInt32, SInt32> bits[] = {{0, 0}, {1, 1}, {255, 8}, {256, 9}, {0x7FFFFFFF, 31},
                                            {0x80000000u, 32}, {0xFFFFFFFFu, 32}};
  for (const auto &[value, expected] : bits) EXPECT_EQ(GL_GetNumBitsFromMaxValue(value), expected) << value;

  struct MaxMin {
    SInt32 maxValue, minValue, expected;
  };
  const MaxMin ranges[] = {{127, -128, 8}, {255, 0, 8}, {128, -128, 9}, {0, 0, 0},  {1, 0, 1},
                           {0, -1, 1},     {2147483647, -2147483647 - 1, 32}};
  for (const MaxMin &c : ranges)
    EXPECT_EQ(GL_GetNumBitsFromMaxMinValue(c.maxValue, c.minValue), c.expected) << c.maxValue << ", " << c.minValue;

  EXPECT_DOUBLE_EQ(GL_Log2(8.0), 3.0);
  EXPECT_DOUBLE_EQ(GL_Log2(0.5), -1.0);
  const std::pair<SInt32, SInt16> logs[] = {{-5, 0}, {0, 0}, {1, 0}, {2, 1}, {3, 1}, {1023, 9}, {1024, 10}};
  for (const auto &[m, expected] : logs) EXPECT_EQ(GL_IntLog2(m), expected) << m;
}

// ---- Pixel weights of a disc, checksum ------------------------------------------------------------------

TEST(GeneralStatistics, ExactDiscWeights) {
  float two[4];
  GL_GetPixelWeightsInCircle2(2, two);
  for (float w : two) EXPECT_NEAR(w, std::numbers::pi / 4, 1e-6);

  for (int n : {4, 8, 16}) {
    SCOPED_TRACE(n);
    std::vector<float> w(size_t(n) * n, kUntouched);
    GL_GetPixelWeightsInCircle2(n, w.data());
    double sum = 0;
    for (int r = 0; r < n; ++r) {
      for (int c = 0; c < n; ++c) {
        const float x = w[size_t(r) * n + c];
        ASSERT_GE(x, 0.0f);
        ASSERT_LE(x, 1.0f);
        EXPECT_EQ(x, w[size_t(n - 1 - r) * n + c]);
        EXPECT_EQ(x, w[size_t(r) * n + (n - 1 - c)]);
        EXPECT_EQ(x, w[size_t(c) * n + r]);  // the quadrant is symmetric too
        sum += x;
      }
    }
    EXPECT_NEAR(sum, std::numbers::pi * n * n / 4, 1e-4 * n * n);
  }

  // Odd sizes leave the middle row and the last column alone.
  std::vector<float> odd(25, kUntouched);
  GL_GetPixelWeightsInCircle2(5, odd.data());
  for (int c = 0; c < 5; ++c) EXPECT_EQ(odd[2 * 5 + c], kUntouched);
  for (int r = 0; r < 5; ++r) EXPECT_EQ(odd[r * 5 + 4], kUntouched);
  EXPECT_NE(odd[0], kUntouched);
}

TEST(GeneralStatistics, SampledDiscWeightsApproachExactOnes) {
  const int n = 8;
  std::vector<float> exact(n * n), sampled(n * n);
  GL_GetPixelWeightsInCircle2(n, exact.data());
  SInt32 nonZero = -1;
  float sum = -1;
  GL_GetPixelWeightsInCircle(n, std::numbers::pi_v<float> * 16.0f, 0.0f, sampled.data(), &nonZero, &sum);
  double exactSum = 0;
  for (int k = 0; k < n * n; ++k) {
    EXPECT_NEAR(sampled[k], exact[k], 0.01) << "pixel " << k;
    exactSum += exact[k];
  }
  EXPECT_EQ(nonZero, n * n);
  EXPECT_NEAR(sum, exactSum, 0.05);

  // A minimum weight drops the rim.
  GL_GetPixelWeightsInCircle(n, std::numbers::pi_v<float> * 16.0f, 0.5f, sampled.data(), &nonZero, &sum);
  SInt32 count = 0;
  float kept = 0;
  for (float w : sampled) {
    EXPECT_TRUE(w == 0.0f || w >= 0.5f);
    if (w > 0) {
      ++count;
      kept += w;
    }
  }
  EXPECT_EQ(nonZero, count);
  EXPECT_FLOAT_EQ(sum, kept);
  EXPECT_LT(count, n * n);
}

TEST(GeneralStatistics, CheckSum) {
  EXPECT_EQ(GL_CalcCheckSum("abc", 3), 6382118);
  // Signed bytes and 32-bit wrap-around, against a sum taken in 64 bits.
  std::vector<char> bytes(1000);
  BZ_KERNEL_SEED_TRACE();
  bz_test::FillRandomBytes(bytes.data(), bytes.size(), bz_test::Rng());
  SInt64 s[4] = {};
  const int steps[4] = {1, 2, 3, 5};
  const SInt32 size = SInt32(bytes.size());
  for (int k = 0; k < 4; ++k)
    for (SInt32 i = 0; i < size / steps[k]; ++i) s[k] += SInt8(bytes[size_t(i) * steps[k]]);
  const UInt32 expected = UInt32(s[0]) + ((UInt32(s[1]) & 255u) << 8) + ((UInt32(s[2]) & 255u) << 16) +
                          (UInt32(s[3]) << 24);
  EXPECT_EQ(GL_CalcCheckSum(bytes.data(), size), SInt32(expected));
  EXPECT_EQ(GL_CalcCheckSum(bytes.data(), 0), 0);
}

}  // namespace
