// The analysis of varying brightness on made-up curves: outlier ratios, the smoothing window, inserted
// extrema, the factor table of a clean variation and the curves that have no regular period.
#include "methods/varbr_analysis.h"
#include "methods/varbr_measuring_stage.h"

#include "engine/runtime/project_types.h"
#include "general/memory_lists.h"
#include "general/minimum_smoothing.h"
#include "platform/core/event_loop.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <numbers>
#include <utility>
#include <string>
#include <vector>

namespace {

// The n - 1 ratios of a brightness curve.
std::vector<float> RatiosOf(const std::vector<double> &curve) {
  std::vector<float> r(curve.size());
  for (size_t i = 0; i + 1 < curve.size(); ++i) r[i] = float(curve[i + 1] / curve[i]);
  return r;
}

// 1 + amplitude sin(2 pi i / period), n samples.
std::vector<double> Wave(SInt32 n, double period, double amplitude) {
  std::vector<double> curve(static_cast<size_t>(n));
  for (SInt32 i = 0; i < n; ++i) curve[size_t(i)] = 1.0 + amplitude * std::sin(2.0 * std::numbers::pi * i / period);
  return curve;
}

// ---- Ratio outliers ----------------------------------------------------------------------------------------------

// 19 ratios alternating 1.01 and 0.99 (n = 20), with some set.
std::vector<float> Ratios(std::initializer_list<std::pair<int, float>> set) {
  std::vector<float> r(20, 0.0f);
  for (int i = 0; i < 19; ++i) r[size_t(i)] = i % 2 == 0 ? 1.01f : 0.99f;
  for (const auto &[i, v] : set) r[size_t(i)] = v;
  return r;
}

TEST(VbCorrectRelBrOutliers, BadRatiosBecomeALineBetweenGoodNeighbours) {
  struct Case {
    const char *name;
    std::vector<float> in, expected;
  };
  const Case cases[] = {
      {"one bad ratio takes its neighbours' mean", Ratios({{4, 1.03f}, {5, 2.0f}, {6, 0.97f}}),
       Ratios({{4, 1.03f}, {5, 1.0f}, {6, 0.97f}})},
      {"two bad ratios lie on the line", Ratios({{4, 1.03f}, {5, 2.0f}, {6, 2.0f}, {7, 0.97f}}),
       Ratios({{4, 1.03f}, {5, 1.015f}, {6, 0.985f}, {7, 0.97f}})},
      {"a bad start takes the first good ratio", Ratios({{0, 2.0f}}), Ratios({{0, 0.99f}})},
      {"a bad stretch at the very end stays", Ratios({{17, 2.0f}, {18, 2.0f}}), Ratios({{17, 2.0f}, {18, 2.0f}})},
      {"before the last ratio the line is flat", Ratios({{17, 2.0f}, {18, 0.97f}}),
       Ratios({{17, 1.01f}, {18, 0.97f}})},
      {"ratios near the mean stay", Ratios({{3, 1.02f}}), Ratios({{3, 1.02f}})},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<float> r = c.in;
    BZ_VbCorrectRelBrOutliers(r.data(), SInt32(r.size()));
    for (size_t i = 0; i < r.size(); ++i) EXPECT_NEAR(r[i], c.expected[i], 1e-6) << "ratio " << i;
  }
}

// ---- Smoothing ------------------------------------------------------------------------------------------------

// An impulse spreads over exactly the window, the window's centre weight at its place.
TEST(VbSmoothenAbsBr, WindowFollowsTheQuarterPeriod) {
  struct Case {
    SInt32 numMinMax;  // with 120 samples: quarter period (240 / numMinMax) / 4
    SInt32 window;     // 0: not smoothed
  };
  const Case cases[] = {{15, 0}, {12, 5}, {10, 5}, {8, 7}, {7, 7}, {6, 9}, {5, 9}};
  constexpr SInt32 n = 120, at = 60;
  for (const Case &c : cases) {
    SCOPED_TRACE("quarter period " + std::to_string(2 * n / c.numMinMax / 4));
    std::vector<double> curve(n, 0.0);
    curve[at] = 1.0;
    BZ_VbSmoothenAbsBr(curve.data(), n, c.numMinMax);
    SInt32 changed = 0;
    for (SInt32 i = 0; i < n; ++i)
      if (curve[size_t(i)] != (i == at ? 1.0 : 0.0)) ++changed;
    if (c.window == 0) {
      EXPECT_EQ(changed, 0);
      continue;
    }
    EXPECT_EQ(changed, c.window);
    float weights[9] = {};
    ASSERT_EQ(NR_GetSavitzkiGolayFilter(weights, c.window, 3), noErr);
    EXPECT_NEAR(curve[at], weights[c.window / 2], 1e-6);
    // The textbook centre weights of the quadratic (and cubic) windows.
    const double centre = c.window == 5 ? 17.0 / 35 : c.window == 7 ? 7.0 / 21 : 59.0 / 231;
    EXPECT_NEAR(curve[at], centre, 1e-5);
    for (SInt32 d = 1; d <= c.window / 2; ++d) EXPECT_NEAR(curve[size_t(at - d)], curve[size_t(at + d)], 1e-6);
  }
}

// ---- Missing extrema -------------------------------------------------------------------------------------------

// Regular extrema 4 apart with one gap; positions before the gap are maxima at multiples of 8.
struct Extrema {
  std::vector<SInt32> positions;
  std::vector<double> curve;
};

Extrema WithGap(SInt32 gapFrom, SInt32 gapTo, SInt32 last, SInt32 n) {
  Extrema e;
  for (SInt32 p = 0; p <= gapFrom; p += 4) e.positions.push_back(p);
  for (SInt32 p = gapTo; p <= last; p += 4) e.positions.push_back(p);
  e.curve = Wave(n, 8.0, 0.05);
  return e;
}

TEST(VbCorrectMinMaxOutliers, MissingExtremaAreInserted) {
  constexpr SInt32 n = 120, range = 2;
  {
    SCOPED_TRACE("a stable maximum between the neighbours and the minimum before it");
    // Maxima of the curve at 2 + 8k: a maximum at 42, then the minimum at 54 (46 and 50 missing).
    Extrema e = WithGap(40, 52, 100, n);
    for (SInt32 &p : e.positions) p += 2;
    ASSERT_GT(e.curve[42], e.curve[54]);
    std::vector<SInt32> maxIndex(n, 0), minIndex(n, 0);
    // One run of range entries holding 50, after entries up to the maximum at 42; nothing else in between.
    for (SInt32 i = 0; i < n; ++i) maxIndex[size_t(i)] = i < 47 ? 42 : i < 49 ? 50 : 60;
    SInt32 count = SInt32(e.positions.size());
    e.positions.resize(n);
    BZ_VbCorrectMinMaxOutliers(e.curve.data(), n, range, minIndex.data(), maxIndex.data(), &count,
                               e.positions.data());
    ASSERT_EQ(count, 26);
    for (SInt32 i = 0; i < count; ++i) EXPECT_EQ(e.positions[size_t(i)], 2 + 4 * i) << "extremum " << i;
  }
  {
    SCOPED_TRACE("evenly spaced when the lists hold nothing between");
    // 40 to 54: more than three spacings, so one pair goes in at a third and two thirds (integer step 4).
    Extrema e = WithGap(40, 54, 102, n);
    std::vector<SInt32> none(n, 0);
    SInt32 count = SInt32(e.positions.size());
    const SInt32 before = count;
    e.positions.resize(n);
    BZ_VbCorrectMinMaxOutliers(e.curve.data(), n, range, none.data(), none.data(), &count, e.positions.data());
    ASSERT_EQ(count, before + 2);
    const std::vector<SInt32> around(e.positions.begin() + 9, e.positions.begin() + 15);
    EXPECT_EQ(around, (std::vector<SInt32>{36, 40, 44, 48, 54, 58}));
  }
  {
    SCOPED_TRACE("a regular sequence stays");
    Extrema e = WithGap(40, 44, 100, n);
    std::vector<SInt32> none(n, 0);
    SInt32 count = SInt32(e.positions.size());
    const std::vector<SInt32> before = e.positions;
    e.positions.resize(n);
    BZ_VbCorrectMinMaxOutliers(e.curve.data(), n, range, none.data(), none.data(), &count, e.positions.data());
    EXPECT_EQ(std::vector<SInt32>(e.positions.begin(), e.positions.begin() + count), before);
  }
}

TEST(VbGetNextIndexBetweenMinMax, OnlyAStableRunStrictlyBetweenCounts) {
  constexpr SInt32 n = 40, range = 3;
  //                         0  1  2  3  4   5   6   7   8   9  10  11 ...
  std::vector<SInt32> list = {5, 5, 5, 9, 9, 12, 12, 12, 20, 20, 20, 30};
  list.resize(n, 30);
  SInt32 start = 0;
  EXPECT_EQ(BZ_VbGetNextIndexBetweenMinMax(list.data(), n, range, 5, 25, &start), 0)
      << "9 is not a run of 3: the search ends there";
  start = 5;
  EXPECT_EQ(BZ_VbGetNextIndexBetweenMinMax(list.data(), n, range, 5, 25, &start), 12);
  EXPECT_EQ(start, 8);
  EXPECT_EQ(BZ_VbGetNextIndexBetweenMinMax(list.data(), n, range, 12, 25, &start), 20);
  EXPECT_EQ(BZ_VbGetNextIndexBetweenMinMax(list.data(), n, range, 20, 25, &start), 0) << "30 is past index2";
  start = 0;
  EXPECT_EQ(BZ_VbGetNextIndexBetweenMinMax(list.data(), n, range, 30, 99, &start), 0) << "runs out at n - range";
}

// ---- The whole analysis ----------------------------------------------------------------------------------------

// A clean +-5 % variation of period 8: extrema 4 samples apart, amplitude 0.1 / 2 / 1.05, and every sample
// lifted to the maxima's envelope.
TEST(VbCalcFactorTable, CleanSinusoidReachesTheEnvelope) {
  for (SInt32 n : {60, 64, 121}) {
    SCOPED_TRACE("n = " + std::to_string(n));
    const std::vector<double> curve = Wave(n, 8.0, 0.05);
    std::vector<float> ratios = RatiosOf(curve);
    std::vector<float> factors(static_cast<size_t>(n), 0.0f);
    float avPeriod = 0, avAmpl = 0;
    ASSERT_EQ(BZ_VbCalcFactorTable(ratios.data(), n, factors.data(), &avPeriod, &avAmpl), noErr);
    EXPECT_NEAR(avPeriod, 4.0f, 0.01f);
    EXPECT_NEAR(100.0f * avAmpl, 4.76f, 0.1f);
    for (SInt32 i = 0; i < n; ++i)
      EXPECT_NEAR(factors[size_t(i)] * curve[size_t(i)], 1.05, 1.05 * 0.005) << "sample " << i;
  }
}

// A slow drift under the variation is kept: the factors flatten the flicker, not the trend.
TEST(VbCalcFactorTable, DriftUnderTheVariationIsKept) {
  constexpr SInt32 n = 96;
  std::vector<double> curve = Wave(n, 8.0, 0.05);
  for (SInt32 i = 0; i < n; ++i) curve[size_t(i)] *= std::pow(1.002, i);
  std::vector<float> ratios = RatiosOf(curve);
  std::vector<float> factors(n, 0.0f);
  float avPeriod = 0, avAmpl = 0;
  ASSERT_EQ(BZ_VbCalcFactorTable(ratios.data(), n, factors.data(), &avPeriod, &avAmpl), noErr);
  EXPECT_NEAR(avPeriod, 4.0f, 0.2f);
  for (SInt32 i = 8; i + 8 < n; ++i) {
    const double corrected = factors[size_t(i)] * curve[size_t(i)];
    EXPECT_NEAR(corrected / std::pow(1.002, i), 1.05, 1.05 * 0.01) << "sample " << i;
  }
}

// Curves without a regular period end with 5023 and leave the factor array alone.
TEST(VbCalcFactorTable, CurvesWithoutARegularPeriodGive5023) {
  struct Case {
    const char *name;
    std::vector<double> curve;
  };
  std::vector<Case> cases;
  cases.push_back({"8 samples", Wave(8, 4.0, 0.05)});
  cases.push_back({"brightness only drifting", {}});
  for (SInt32 i = 0; i < 60; ++i) cases.back().curve.push_back(std::pow(1.01, i));
  cases.push_back({"one bump: fewer than 4 extrema", {}});
  for (SInt32 i = 0; i < 60; ++i) cases.back().curve.push_back(1.0 + 0.1 * std::exp(-(i - 30) * (i - 30) / 50.0));
  cases.push_back({"scattered amplitudes", {}});
  // Every third period strong, the others faint: their amplitudes are far from their mean.
  for (SInt32 i = 0; i < 96; ++i)
    cases.back().curve.push_back(1.0 + ((i / 8) % 3 == 0 ? 0.4 : 0.004) * std::sin(2.0 * std::numbers::pi * i / 8.0));
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const SInt32 n = SInt32(c.curve.size());
    std::vector<float> ratios = RatiosOf(c.curve);
    std::vector<float> factors(static_cast<size_t>(n), 7.0f);
    float avPeriod = 0, avAmpl = 0;
    EXPECT_EQ(BZ_VbCalcFactorTable(ratios.data(), n, factors.data(), &avPeriod, &avAmpl), 5023);
    for (float f : factors) ASSERT_EQ(f, 7.0f);
  }
}

// ---- The stored table ------------------------------------------------------------------------------------------

class VbEvaluateResultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(BZ_VbInitDlgTaskDataForTest(), noErr);
  }
  void TearDown() override {
    BZ_VbDisposeDlgTaskData(data_);
    delete data_;
    gBZ.dlgTaskData.vbDlgTaskData = nullptr;
    FlushEventQueue(GetMainEventQueue());
  }
  OSStatus BZ_VbInitDlgTaskDataForTest() {
    data_ = new BZ_VbDlgTaskData{};
    gBZ.dlgTaskData.vbDlgTaskData = data_;
    // A table of an earlier analysis.
    OSStatus err = GL_NewPtrClear(60 * sizeof(float), &data_->vbFactors);
    for (SInt32 i = 0; err == noErr && i < 60; ++i) data_->vbFactors[i] = 1.25f;
    data_->numVbFactors = 60;
    data_->analyzedVarBr = true;
    return err;
  }
  // Runs the evaluation of numFrames frames over the curve's ratios.
  OSStatus Evaluate(const std::vector<double> &curve, SInt32 numFrames, bool interlaced, bool topFieldFirst) {
    relBr_ = RatiosOf(curve);
    relBr_.resize(size_t(2 * numFrames), 0.0f);
    BZ_VbParams params{};
    params.numFrames = numFrames;
    params.interlaced = interlaced;
    params.topFieldFirst = topFieldFirst;
    params.relBr = relBr_.data();
    params.frameDuration = 0.04f;
    return BZ_VbEvaluateResult(&params);
  }
  BZ_VbDlgTaskData *data_ = nullptr;
  std::vector<float> relBr_;
};

TEST_F(VbEvaluateResultTest, FailedAnalysisKeepsTheEarlierTable) {
  const float *before = data_->vbFactors;
  struct Case {
    const char *name;
    std::vector<double> curve;
    SInt32 numFrames;
  };
  std::vector<double> drift;
  for (SInt32 i = 0; i < 60; ++i) drift.push_back(std::pow(1.01, i));
  const Case cases[] = {{"an 8-frame movie", Wave(8, 4.0, 0.05), 8}, {"a drifting movie", drift, 60}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Evaluate(c.curve, c.numFrames, false, false), 5023);
    ASSERT_EQ(data_->vbFactors, before);
    EXPECT_EQ(data_->numVbFactors, 60);
    for (SInt32 i = 0; i < 60; ++i) ASSERT_EQ(data_->vbFactors[i], 1.25f);
  }
  EXPECT_EQ(GetNumEventsInQueue(GetMainEventQueue()), 0u) << "nothing is shown for a failed analysis";
}

TEST_F(VbEvaluateResultTest, SuccessReplacesTheTableOfItsFieldOrder) {
  ASSERT_EQ(Evaluate(Wave(64, 8.0, 0.05), 64, false, false), noErr);
  EXPECT_EQ(data_->numVbFactors, 64);
  EXPECT_NEAR(data_->vbFactors[6] * Wave(64, 8.0, 0.05)[6], 1.05, 0.005);
  EXPECT_EQ(GetNumEventsInQueue(GetMainEventQueue()), 2u) << "period and amplitude";

  // Interlaced, top field first: 2 x 32 fields into the top table; the progressive one stays.
  const float *progressive = data_->vbFactors;
  ASSERT_EQ(Evaluate(Wave(64, 8.0, 0.05), 32, true, true), noErr);
  EXPECT_EQ(data_->vbFactors, progressive);
  ASSERT_NE(data_->vbFactorsTop, nullptr);
  EXPECT_EQ(data_->numVbFactorsTop, 64);
  EXPECT_EQ(data_->vbFactorsBottom, nullptr);
  EXPECT_TRUE(data_->analyzedVarBr);
}

}  // namespace
