#include "general/minimum_smoothing.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "support/kernel_check.h"
#include "support/numeric_reference.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

using bz_test::ReferencePolyFit;
using bz_test::ReferencePolyValue;

constexpr float kUntouched = 1234.5f;

std::vector<double> Abscissas(int n) {
  std::vector<double> x(n);
  for (int i = 0; i < n; ++i) x[i] = i;
  return x;
}

TEST(GeneralMinimumSmoothing, ParabolaFitsMatchDoubleReference) {
  BZ_KERNEL_SEED_TRACE();
  for (int n : {4, 5, 7}) {
    SCOPED_TRACE(::testing::Message() << n << " values");
    for (int trial = 0; trial < 20; ++trial) {
      float values[7];
      bz_test::FillRandomFloats(values, n, -100.0f, 100.0f, bz_test::Rng());
      std::vector<double> ref = ReferencePolyFit(Abscissas(n), std::vector<double>(values, values + n), 3);
      float a, b, c;
      if (n == 4) NR_FitPieceOfParabolaTo4(values, &a, &b, &c);
      if (n == 5) NR_FitPieceOfParabolaTo5(values, &a, &b, &c);
      if (n == 7) NR_FitPieceOfParabolaTo7(values, &a, &b, &c);
      EXPECT_NEAR(a, ref[0], 1e-3);
      EXPECT_NEAR(b, ref[1], 1e-3);
      EXPECT_NEAR(c, ref[2], 1e-4);
      float coef[3];
      OSStatus err = n == 4 ? NR_FitPieceOfParabolaTo4_new(values, coef)
                     : n == 5 ? NR_FitPieceOfParabolaTo5_new(values, coef)
                              : NR_FitPieceOfParabolaTo7_new(values, coef);
      ASSERT_EQ(err, noErr);
      EXPECT_NEAR(coef[0], ref[0], 1e-3);
      EXPECT_NEAR(coef[1], ref[1], 1e-3);
      EXPECT_NEAR(coef[2], ref[2], 1e-4);
      if (n == 5) {
        EXPECT_NEAR(NR_GetCenterValueOf5(values), ReferencePolyValue(ref, 2.0), 1e-3);
      }
    }
  }
}

TEST(GeneralMinimumSmoothing, MinimumFromFiveAndFour) {
  struct Case {
    const char *name;
    int n;
    float values[5];
    OSStatus result;
    float position, value;
  };
  const Case cases[] = {
      {"valley", 5, {4, 1, 0, 1, 4}, noErr, 2.0f, 0.0f},
      {"rising line", 5, {0, 1, 2, 3, 4}, kNR_NoClearExtrErr, 0.0f, 0.0f},
      {"falling line", 5, {4, 3, 2, 1, 0}, kNR_NoClearExtrErr, 4.0f, 0.0f},
      // Vertices on the bounds: the single-precision fit lands them a hair inside, which is accepted.
      {"vertex at 0", 5, {1, 2, 5, 10, 17}, noErr, 0.0f, 1.0f},
      {"vertex at 4", 5, {16, 9, 4, 1, 0}, noErr, 4.0f, 0.0f},
      {"vertex left of range", 5, {1, 4, 9, 16, 25}, kNR_NoClearExtrErr, 0.0f, 1.0f},
      {"vertex right of range", 5, {25, 16, 9, 4, 1}, kNR_NoClearExtrErr, 4.0f, 1.0f},
      {"top of a hill", 5, {0, 3, 4, 3, 0}, noErr, 2.0f, 4.0f - 0.0f},
      {"off-centre valley", 5, {3.24f, 0.64f, 0.04f, 1.44f, 4.84f}, noErr, 1.8f, 0.0f},
      {"four, falling line", 4, {3, 2, 1, 0}, kNR_NoClearExtrErr, 3.0f, 0.0f},
      {"four, valley", 4, {1.69f, 0.09f, 0.49f, 2.89f}, noErr, 1.3f, 0.0f},
      {"four, vertex at 3", 4, {9, 4, 1, 0}, noErr, 3.0f, 0.0f},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    float position = kUntouched, value = kUntouched;
    OSStatus err = c.n == 5 ? NR_GetMinimumFrom5(c.values, &position, &value)
                            : NR_GetMinimumFrom4(c.values, &position, &value);
    EXPECT_EQ(err, c.result);
    EXPECT_NEAR(position, c.position, 2e-5);
    // The hill's least-squares top lies slightly above 4 (its points are not an exact parabola).
    EXPECT_NEAR(value, c.value, std::string(c.name) == "top of a hill" ? 0.2 : 2e-4);
  }
  // Out-parameters may be left out.
  const float valley[5] = {4, 1, 0, 1, 4};
  EXPECT_EQ(NR_GetMinimumFrom5(valley, nullptr, nullptr), noErr);
  float position = kUntouched;
  EXPECT_EQ(NR_GetMinimumFrom4(valley, &position, nullptr), noErr);
}

TEST(GeneralMinimumSmoothing, MinimumFromSevenTakesTheVertex) {
  float values[7];
  for (int i = 0; i < 7; ++i) values[i] = (i - 2.7f) * (i - 2.7f) * 0.5f + 1.0f;
  float position, value;
  NR_GetMinimumFrom7(values, &position, &value);
  EXPECT_NEAR(position, 2.7f, 1e-5);
  EXPECT_NEAR(value, 1.0f, 1e-4);
}

TEST(GeneralMinimumSmoothing, SavitzkyGolayWeights) {
  struct Case {
    int n, m;
    std::vector<double> weights;
  };
  const Case cases[] = {
      {5, 3, {-3 / 35.0, 12 / 35.0, 17 / 35.0, 12 / 35.0, -3 / 35.0}},
      {7, 3, {-2 / 21.0, 3 / 21.0, 6 / 21.0, 7 / 21.0, 6 / 21.0, 3 / 21.0, -2 / 21.0}},
      {9, 3, {-21 / 231.0, 14 / 231.0, 39 / 231.0, 54 / 231.0, 59 / 231.0, 54 / 231.0, 39 / 231.0, 14 / 231.0,
              -21 / 231.0}},
      // A cubic gives the quadratic's weights at the centre of a symmetric window.
      {7, 4, {-2 / 21.0, 3 / 21.0, 6 / 21.0, 7 / 21.0, 6 / 21.0, 3 / 21.0, -2 / 21.0}},
      {5, 1, {0.2, 0.2, 0.2, 0.2, 0.2}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::Message() << "n " << c.n << ", m " << c.m);
    float filter[16];
    ASSERT_EQ(NR_GetSavitzkiGolayFilter(filter, c.n, c.m), noErr);
    for (int j = 0; j < c.n; ++j) EXPECT_NEAR(filter[j], c.weights[j], 2e-6) << "weight " << j;
  }
  // The weights of any window sum to 1.
  for (int n = 1; n <= 16; ++n) {
    for (int m = 1; m <= n && m <= 4; ++m) {
      float filter[16];
      ASSERT_EQ(NR_GetSavitzkiGolayFilter(filter, n, m), noErr);
      double sum = 0;
      for (int j = 0; j < n; ++j) sum += filter[j];
      EXPECT_NEAR(sum, 1.0, 1e-4) << "n " << n << ", m " << m;
    }
  }
}

TEST(GeneralMinimumSmoothing, PolyFitRecoversPolynomialsAndChecksItsLimits) {
  // An exact cubic on 10 samples.
  const std::vector<double> c = {3.0, -2.0, 0.5, -0.03};
  float values[16];
  for (int i = 0; i < 10; ++i) values[i] = float(bz_test::ReferencePolyValue(c, i));
  float a[16];
  ASSERT_EQ(NR_FitPolyLS(values, 10, a, 4), noErr);
  for (int k = 0; k < 4; ++k) EXPECT_NEAR(a[k], c[k], 2e-3 * std::pow(0.2, k)) << "coefficient " << k;

  // The largest problem the work arrays hold.
  BZ_KERNEL_SEED_TRACE();
  bz_test::FillRandomFloats(values, 16, -1.0f, 1.0f, bz_test::Rng());
  EXPECT_EQ(NR_FitPolyLS(values, 16, a, 3), noErr);
  std::vector<double> ref = ReferencePolyFit(Abscissas(16), std::vector<double>(values, values + 16), 3);
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(a[k], ref[k], 1e-4) << "coefficient " << k;

  const int bad[][2] = {{17, 3}, {5, 17}, {0, 3}, {5, 0}};
  for (const auto &size : bad) {
    a[0] = kUntouched;
    EXPECT_EQ(NR_FitPolyLS(values, size[0], a, size[1]), paramErr) << size[0] << ", " << size[1];
    EXPECT_EQ(a[0], kUntouched);
  }
  float filter[17];
  EXPECT_EQ(NR_GetSavitzkiGolayFilter(filter, 17, 3), paramErr);
  EXPECT_EQ(NR_FitPolyLS(nullptr, 5, a, 3), paramErr);
}

TEST(GeneralMinimumSmoothing, PolyFitReportsFailedAllocations) {
  const float values[5] = {4, 1, 0, 1, 4};
  for (SInt32 failing : {1, 2}) {
    SCOPED_TRACE(::testing::Message() << "allocation " << failing << " fails");
    float a[3] = {kUntouched, kUntouched, kUntouched};
    PL_FailAllocationAfter(failing);
    OSStatus err = NR_FitPolyLS(values, 5, a, 3);
    PL_FailAllocationAfter(0);
    EXPECT_EQ(err, memFullErr);
    EXPECT_EQ(a[0], kUntouched);
    // The filter passes the failure on after writing nothing.
    float filter[5] = {kUntouched, kUntouched, kUntouched, kUntouched, kUntouched};
    PL_FailAllocationAfter(failing);
    err = NR_GetSavitzkiGolayFilter(filter, 5, 3);
    PL_FailAllocationAfter(0);
    EXPECT_EQ(err, memFullErr);
    EXPECT_EQ(filter[0], kUntouched);
  }
}

TEST(GeneralMinimumSmoothing, ArrayMaxRefinesPeaks) {
  struct Case {
    const char *name;
    std::vector<float> values;
    OSStatus result;
    float position, value;
  };
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  auto hill = [](float centre, int n) {
    std::vector<float> v(n);
    for (int i = 0; i < n; ++i) v[i] = 10.0f - (i - centre) * (i - centre);
    return v;
  };
  const Case cases[] = {
      {"three-point window", hill(3.1f, 7), noErr, 3.1f, 10.0f},
      {"four-point window to the left", hill(2.6f, 7), noErr, 2.6f, 10.0f},
      {"four-point window to the right", hill(3.3f, 7), noErr, 3.3f, 10.0f},
      {"flat-topped: left pair", {0, 1, 5, 5.2f, 1, 0}, noErr, 2.5f, 0.0f},
      {"maximum at the start", {5, 4, 3, 2}, kNR_NoClearExtrErr, 0, 0},
      {"maximum at the end", {1, 2, 3, 4}, kNR_NoClearExtrErr, 0, 0},
      {"nothing above minus infinity", {-inf, -inf, -inf}, kNR_NoClearExtrErr, 0, 0},
      {"only NaN", {nan, nan, nan}, kNR_NoClearExtrErr, 0, 0},
      {"empty", {}, kNR_NoClearExtrErr, 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    float value = kUntouched, position = kUntouched;
    EXPECT_EQ(NR_GetArrayMax(c.values.data(), SInt32(c.values.size()), &value, &position), c.result);
    if (c.result != noErr) {
      EXPECT_EQ(value, kUntouched);
      EXPECT_EQ(position, kUntouched);
    } else if (c.value != 0.0f) {
      EXPECT_NEAR(position, c.position, 1e-4);
      EXPECT_NEAR(value, c.value, 1e-4);
    } else {
      // A plateau between two samples: the peak lies between them.
      EXPECT_GT(position, 2.0f);
      EXPECT_LT(position, 3.0f);
      EXPECT_GT(value, 5.2f);
    }
  }
}

TEST(GeneralMinimumSmoothing, PlaneFitOnBlockOfFive) {
  // 5 x 6 block: an exact plane 20 + 3x - 2y on the selected positions.
  UInt8 data[32];
  for (int k = 0; k < 32; ++k) data[k] = UInt8(20 + 3 * (k % 5) - 2 * (k / 5) + 10);
  const UInt32 mask = 0x3FFFFFFEu;  // all but position 0 and 30, 31
  float a[4] = {kUntouched, kUntouched, kUntouched, kUntouched};
  SInt32 diff[32];
  for (SInt32 &d : diff) d = -777;
  float chisq = kUntouched;
  ASSERT_EQ(NR_FitGradient2D(data, mask, 2.0f, a, diff, &chisq), noErr);
  EXPECT_EQ(a[0], kUntouched);
  EXPECT_NEAR(a[1], 30.0f, 1e-4);
  EXPECT_NEAR(a[2], 3.0f, 1e-5);
  EXPECT_NEAR(a[3], -2.0f, 1e-5);
  EXPECT_NEAR(chisq, 0.0f, 1e-6);
  for (int k = 0; k < 32; ++k) EXPECT_EQ(diff[k], (mask >> k) & 1 ? 0 : -777) << "position " << k;

  // With noise: compare with a double least-squares plane.
  BZ_KERNEL_SEED_TRACE();
  bz_test::FillRandomBytes(data, 32, bz_test::Rng());
  const UInt32 sparse = 0x0152A4C3u;
  std::vector<double> design, rhs;
  int rows = 0;
  for (int k = 0; k < 32; ++k) {
    if (!((sparse >> k) & 1)) continue;
    design.insert(design.end(), {1.0, double(k % 5), double(k / 5)});
    rhs.push_back(data[k]);
    ++rows;
  }
  std::vector<double> ref = bz_test::ReferenceLeastSquares(design, rows, 3, rhs);
  ASSERT_EQ(NR_FitGradient2D(data, sparse, 4.0f, a, diff, &chisq), noErr);
  double refChisq = 0;
  for (int k = 0; k < 32; ++k) {
    if (!((sparse >> k) & 1)) continue;
    double d = data[k] - (ref[0] + ref[1] * (k % 5) + ref[2] * (k / 5));
    refChisq += d * d / 16.0;
    EXPECT_EQ(diff[k], SInt32(std::trunc(d + 0.5))) << "position " << k;
  }
  for (int j = 0; j < 3; ++j) EXPECT_NEAR(a[j + 1], ref[j], 1e-3);
  EXPECT_NEAR(chisq, refChisq, 1e-3 * refChisq);

  // Bad input: nothing to fit, more rows than the work matrix, no noise level.
  EXPECT_EQ(NR_FitGradient2D(data, 0, 1.0f, a, diff, &chisq), paramErr);
  EXPECT_EQ(NR_FitGradient2D(data, 0xFFFFFFFFu, 1.0f, a, diff, &chisq), paramErr);
  EXPECT_EQ(NR_FitGradient2D(data, mask, 0.0f, a, diff, &chisq), paramErr);
}

TEST(GeneralMinimumSmoothing, SolveLinEq2) {
  struct Case {
    float a11, a12, a21, a22, b1, b2;
    OSStatus result;
    float x1, x2;
  };
  const Case cases[] = {
      {2, 1, 1, 3, 5, 10, noErr, 1, 3},
      {0, 1, 1, 0, 7, 4, noErr, 4, 7},          // needs a row exchange
      {1e-6f, 1, 1, 1, 1, 2, noErr, 1.000001f, 0.999999f},
      {0, 0, 1, 2, 0, 3, kNR_SingMatrixErr, 0, 0},  // zero row
      {1, 2, 2, 4, 1, 2, kNR_SingMatrixErr, 0, 0},  // dependent rows
  };
  for (const Case &c : cases) {
    float a[3][3] = {{0, 0, 0}, {0, c.a11, c.a12}, {0, c.a21, c.a22}};
    float b[3] = {0, c.b1, c.b2};
    EXPECT_EQ(NR_SolveLinEq2(a, b), c.result) << c.a11 << " " << c.a12 << " " << c.a21 << " " << c.a22;
    if (c.result == noErr) {
      EXPECT_NEAR(b[1], c.x1, 1e-5);
      EXPECT_NEAR(b[2], c.x2, 1e-5);
    }
  }
}

TEST(GeneralMinimumSmoothing, LineThroughIntegerSamples) {
  const SInt32 y[6] = {1, 3, 2, 5, 4, 7};
  float a, b, dev;
  NR_fitEquiDistInts(y, 6, &a, &b, &dev);
  std::vector<double> ref = ReferencePolyFit(Abscissas(6), std::vector<double>(y, y + 6), 2);
  EXPECT_NEAR(a, ref[0], 1e-5);
  EXPECT_NEAR(b, ref[1], 1e-5);
  double refDev = 0;
  for (int i = 0; i < 6; ++i) refDev += std::fabs(y[i] - ref[0] - i * ref[1]);
  EXPECT_NEAR(dev, refDev / 6, 1e-5);

  NR_fitEquiDistInts(y, 1, &a, &b, &dev);
  EXPECT_EQ(a, 1.0f);
  EXPECT_EQ(b, 0.0f);
  EXPECT_EQ(dev, 0.0f);
}

}  // namespace
