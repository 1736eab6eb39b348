#include "general/least_squares.h"

#include "platform/core/mac_errors.h"
#include "support/kernel_check.h"
#include "support/numeric_reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

using bz_test::ReferenceLagrangeWeight;
using bz_test::ReferenceLeastSquares;
using bz_test::ReferenceSingularValues;

constexpr float kUntouched = 1234.5f;

struct Decomposition {
  std::vector<float> u, w, v;  // u m x n, v n x n, row-major
  OSStatus err;
};

Decomposition DecomposeFlat(const std::vector<float> &a, int m, int n) {
  Decomposition d{a, std::vector<float>(n, kUntouched), std::vector<float>(size_t(n) * n, kUntouched), 0};
  d.err = NR_svdcmpSPL(d.u.data(), m, n, d.w.data(), d.v.data());
  return d;
}

Decomposition DecomposeRowPointers(const std::vector<float> &a, int m, int n) {
  Decomposition d{a, std::vector<float>(n, kUntouched), std::vector<float>(size_t(n) * n, kUntouched), 0};
  std::vector<float *> rows(m), vrows(n);
  for (int i = 0; i < m; ++i) rows[i] = d.u.data() + size_t(i) * n;
  for (int i = 0; i < n; ++i) vrows[i] = d.v.data() + size_t(i) * n;
  d.err = NR_svdcmpSPLnew(rows.data(), m, n, d.w.data(), vrows.data());
  return d;
}

std::vector<float> RandomMatrix(int m, int n) {
  std::vector<float> a(size_t(m) * n);
  bz_test::FillRandomFloats(a.data(), a.size(), -10.0f, 10.0f, bz_test::Rng());
  return a;
}

// Checks A = U diag(w) V^T, V orthogonal, U's columns orthonormal (m >= n), w against a double reference.
void ExpectValidDecomposition(const std::vector<float> &a, int m, int n, const Decomposition &d) {
  ASSERT_EQ(d.err, noErr);
  double wMax = 0;
  for (float x : d.w) {
    EXPECT_GE(x, 0.0f);
    wMax = std::max(wMax, double(x));
  }
  std::vector<double> ad(a.begin(), a.end());
  std::vector<double> ref = ReferenceSingularValues(ad, m, n);
  std::vector<double> got(d.w.begin(), d.w.end());
  std::sort(got.begin(), got.end(), std::greater<double>());
  for (size_t k = 0; k < ref.size(); ++k) EXPECT_NEAR(got[k], ref[k], 2e-5 * wMax) << "singular value " << k;
  // With fewer rows than columns the remaining singular values are zero.
  for (size_t k = ref.size(); k < got.size(); ++k) EXPECT_NEAR(got[k], 0.0, 2e-5 * wMax);

  double worst = 0;
  for (int i = 0; i < m; ++i) {
    for (int j = 0; j < n; ++j) {
      double s = 0;
      for (int k = 0; k < n; ++k) s += double(d.u[size_t(i) * n + k]) * d.w[k] * d.v[size_t(j) * n + k];
      worst = std::max(worst, std::fabs(s - a[size_t(i) * n + j]));
    }
  }
  EXPECT_LT(worst, 1e-5 * std::max(1.0, wMax) * n) << "reconstruction";
  for (int p = 0; p < n; ++p) {
    for (int q = 0; q < n; ++q) {
      double vv = 0, uu = 0;
      for (int k = 0; k < n; ++k) vv += double(d.v[size_t(k) * n + p]) * d.v[size_t(k) * n + q];
      for (int k = 0; k < m; ++k) uu += double(d.u[size_t(k) * n + p]) * d.u[size_t(k) * n + q];
      EXPECT_NEAR(vv, p == q ? 1.0 : 0.0, 1e-5) << "V columns " << p << ", " << q;
      if (m >= n) {
        EXPECT_NEAR(uu, p == q ? 1.0 : 0.0, 1e-5) << "U columns " << p << ", " << q;
      }
    }
  }
}

TEST(GeneralLeastSquares, SvdOfSignedDiagonalKeepsColumnOrder) {
  const std::vector<float> a = {1, 0, 0, 0, -3, 0, 0, 0, 2};
  Decomposition d = DecomposeFlat(a, 3, 3);
  ASSERT_EQ(d.err, noErr);
  EXPECT_FLOAT_EQ(d.w[0], 1.0f);
  EXPECT_FLOAT_EQ(d.w[1], 3.0f);
  EXPECT_FLOAT_EQ(d.w[2], 2.0f);
  ExpectValidDecomposition(a, 3, 3, d);
}

TEST(GeneralLeastSquares, SvdMatchesReferenceOverShapes) {
  BZ_KERNEL_SEED_TRACE();
  const int shapes[][2] = {{1, 1}, {1, 4}, {4, 1}, {3, 3}, {5, 3}, {3, 5}, {8, 6}, {25, 6}, {16, 16}, {32, 32}};
  for (const auto &shape : shapes) {
    const int m = shape[0], n = shape[1];
    SCOPED_TRACE(::testing::Message() << m << " x " << n);
    std::vector<float> a = RandomMatrix(m, n);
    ExpectValidDecomposition(a, m, n, DecomposeFlat(a, m, n));
  }
}

TEST(GeneralLeastSquares, LayoutsGiveIdenticalResults) {
  BZ_KERNEL_SEED_TRACE();
  const int m = 5, n = 3;
  std::vector<float> a = RandomMatrix(m, n);
  Decomposition flat = DecomposeFlat(a, m, n);
  Decomposition rows = DecomposeRowPointers(a, m, n);

  // The fixed-row layout is 1-based: row 0 and column 0 must stay as they were.
  float u[m + 1][4], v[n + 1][4], w[n + 1];
  for (auto &row : u) std::fill(std::begin(row), std::end(row), kUntouched);
  for (auto &row : v) std::fill(std::begin(row), std::end(row), kUntouched);
  std::fill(std::begin(w), std::end(w), kUntouched);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j) u[i + 1][j + 1] = a[size_t(i) * n + j];
  ASSERT_EQ(NR_svdcmpSPL4(u, m, n, w, v), noErr);

  ASSERT_EQ(flat.err, noErr);
  ASSERT_EQ(rows.err, noErr);
  EXPECT_EQ(flat.u, rows.u);
  EXPECT_EQ(flat.w, rows.w);
  EXPECT_EQ(flat.v, rows.v);
  for (int j = 0; j < n; ++j) {
    EXPECT_EQ(w[j + 1], flat.w[j]);
    for (int i = 0; i < m; ++i) EXPECT_EQ(u[i + 1][j + 1], flat.u[size_t(i) * n + j]);
    for (int i = 0; i < n; ++i) EXPECT_EQ(v[i + 1][j + 1], flat.v[size_t(i) * n + j]);
  }
  EXPECT_EQ(w[0], kUntouched);
  for (int i = 0; i <= m; ++i) EXPECT_EQ(u[i][0], kUntouched);
  for (int j = 0; j < 4; ++j) EXPECT_EQ(u[0][j], kUntouched);
  for (int i = 0; i <= n; ++i) EXPECT_EQ(v[i][0], kUntouched);
  for (int j = 0; j < 4; ++j) EXPECT_EQ(v[0][j], kUntouched);
}

TEST(GeneralLeastSquares, RowPointerLayoutHasNoRowLimit) {
  BZ_KERNEL_SEED_TRACE();
  const int m = 40, n = 6;
  std::vector<float> a = RandomMatrix(m, n);
  ExpectValidDecomposition(a, m, n, DecomposeRowPointers(a, m, n));
}

TEST(GeneralLeastSquares, BackSubstitutionSolvesLeastSquares) {
  BZ_KERNEL_SEED_TRACE();
  const int m = 12, n = 4;
  std::vector<float> a = RandomMatrix(m, n);
  std::vector<float> b(m);
  bz_test::FillRandomFloats(b.data(), m, -5.0f, 5.0f, bz_test::Rng());
  std::vector<double> ref = ReferenceLeastSquares(std::vector<double>(a.begin(), a.end()), m, n,
                                                  std::vector<double>(b.begin(), b.end()));

  Decomposition flat = DecomposeFlat(a, m, n);
  ASSERT_EQ(flat.err, noErr);
  std::vector<float> x(n, kUntouched);
  NR_svbksbSPL(flat.u.data(), flat.w.data(), flat.v.data(), m, n, b.data(), x.data());
  for (int j = 0; j < n; ++j) EXPECT_NEAR(x[j], ref[j], 1e-4 * (1 + std::fabs(ref[j]))) << "x[" << j << "]";

  // The row-pointer variant with the caller's scratch gives the same solution.
  std::vector<const float *> urows(m), vrows(n);
  for (int i = 0; i < m; ++i) urows[i] = flat.u.data() + size_t(i) * n;
  for (int i = 0; i < n; ++i) vrows[i] = flat.v.data() + size_t(i) * n;
  std::vector<float> tmp(n), x2(n);
  NR_svbksbSPLnew(urows.data(), flat.w.data(), vrows.data(), tmp.data(), m, n, b.data(), x2.data());
  EXPECT_EQ(x, x2);
}

TEST(GeneralLeastSquares, FiveWideBackSubstitutionSolvesFourUnknowns) {
  // Cubic through six points, 1-based rows of five floats.
  const int m = 6, n = 4;
  float u[m + 1][5] = {}, v[n + 1][5] = {}, w[n + 1] = {}, b[m + 1] = {}, x[n + 1] = {};
  std::vector<float> flat(size_t(m) * n);
  for (int i = 0; i < m; ++i) {
    float p = 1.0f;
    for (int j = 0; j < n; ++j) {
      flat[size_t(i) * n + j] = p;
      p *= float(i);
    }
    b[i + 1] = 1.0f - 2.0f * i + 0.5f * i * i - 0.25f * i * i * i;
  }
  Decomposition d = DecomposeFlat(flat, m, n);
  ASSERT_EQ(d.err, noErr);
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j) u[i + 1][j + 1] = d.u[size_t(i) * n + j];
  for (int i = 0; i < n; ++i) {
    w[i + 1] = d.w[i];
    for (int j = 0; j < n; ++j) v[i + 1][j + 1] = d.v[size_t(i) * n + j];
  }
  NR_svbksbSPL5(u, w, v, m, n, b, x);
  EXPECT_NEAR(x[1], 1.0f, 1e-4);
  EXPECT_NEAR(x[2], -2.0f, 1e-4);
  EXPECT_NEAR(x[3], 0.5f, 1e-4);
  EXPECT_NEAR(x[4], -0.25f, 1e-4);
}

TEST(GeneralLeastSquares, RankDeficientGivesMinimumNormSolution) {
  // Columns (1, x, x): the two equal columns share the slope equally in the minimum-norm solution.
  const int m = 6, n = 3;
  std::vector<float> a(size_t(m) * n), b(m);
  for (int i = 0; i < m; ++i) {
    a[size_t(i) * n] = 1.0f;
    a[size_t(i) * n + 1] = a[size_t(i) * n + 2] = float(i);
    b[i] = 2.0f + 3.0f * i;
  }
  Decomposition d = DecomposeFlat(a, m, n);
  ASSERT_EQ(d.err, noErr);
  float wMax = *std::max_element(d.w.begin(), d.w.end());
  int small = 0;
  for (float &x : d.w) {
    if (x < wMax * 1e-5f) {
      x = 0.0f;
      ++small;
    }
  }
  EXPECT_EQ(small, 1);
  std::vector<float> x(n);
  NR_svbksbSPL(d.u.data(), d.w.data(), d.v.data(), m, n, b.data(), x.data());
  EXPECT_NEAR(x[0], 2.0f, 1e-4);
  EXPECT_NEAR(x[1], 1.5f, 1e-4);
  EXPECT_NEAR(x[2], 1.5f, 1e-4);
}

TEST(GeneralLeastSquares, SvdRejectsSizesBeyondItsWorkArrays) {
  std::vector<float> a(40 * 40, 1.0f), w(40, kUntouched), v(40 * 40, kUntouched);
  const int bad[][2] = {{0, 3}, {3, 0}, {-1, 3}, {33, 3}, {3, 33}};
  for (const auto &size : bad) {
    SCOPED_TRACE(::testing::Message() << size[0] << " x " << size[1]);
    EXPECT_EQ(NR_svdcmpSPL(a.data(), size[0], size[1], w.data(), v.data()), paramErr);
  }
  EXPECT_EQ(w[0], kUntouched);
  EXPECT_EQ(NR_svdcmpSPL(nullptr, 3, 3, w.data(), v.data()), paramErr);

  std::vector<float *> rows(40);
  for (int i = 0; i < 40; ++i) rows[i] = a.data() + i * 40;
  EXPECT_EQ(NR_svdcmpSPLnew(rows.data(), 3, 33, w.data(), rows.data()), paramErr);

  float u4[6][4] = {}, v4[5][4] = {}, w4[5] = {};
  EXPECT_EQ(NR_svdcmpSPL4(u4, 5, 4, w4, v4), paramErr);

  // Back-substitution with sizes beyond the limits writes nothing.
  std::vector<float> x(40, kUntouched);
  NR_svbksbSPL(a.data(), w.data(), v.data(), 33, 3, a.data(), x.data());
  EXPECT_EQ(x[0], kUntouched);
}

TEST(GeneralLeastSquares, NonFiniteInputReportsNoConvergence) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::vector<float> a = {1, 2, nan, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(DecomposeFlat(a, 3, 3).err, kNR_NoSVDConvergenceErr);
}

TEST(GeneralLeastSquares, PythagAvoidsOverflowAndUnderflow) {
  struct Case {
    float a, b, expected;
  };
  const Case cases[] = {{3, 4, 5},       {4, 3, 5},          {-3, 4, 5},          {0, 0, 0},        {0, -7, 7},
                        {1e30f, 1e30f, 1.41421356e30f}, {1e-30f, 1e-30f, 1.41421356e-30f}, {3e38f, 4e37f, 3.0265492e38f}};
  for (const Case &c : cases) EXPECT_FLOAT_EQ(NR_pythag(c.a, c.b), c.expected) << c.a << ", " << c.b;
}

TEST(GeneralLeastSquares, GaussJordanInvertsAndSolves) {
  const double ad[3][3] = {{2, 1, 1}, {1, 3, 2}, {1, 0, 0}};
  const double bd[3][2] = {{4, 1}, {5, 2}, {6, 3}};
  float arows[4][4] = {}, brows[4][3] = {};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) arows[i + 1][j + 1] = float(ad[i][j]);
    for (int j = 0; j < 2; ++j) brows[i + 1][j + 1] = float(bd[i][j]);
  }
  float *a[4] = {nullptr, arows[1], arows[2], arows[3]};
  float *b[4] = {nullptr, brows[1], brows[2], brows[3]};
  int indxc[4], indxr[4], ipiv[4];
  ASSERT_EQ(NR_gaussjSPL(a, 3, b, 2, indxc, indxr, ipiv), noErr);
  // a * inverse = I, and a * solution = b, both checked in double.
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      double s = 0;
      for (int k = 0; k < 3; ++k) s += ad[i][k] * a[k + 1][j + 1];
      EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-6);
    }
    for (int j = 0; j < 2; ++j) {
      double s = 0;
      for (int k = 0; k < 3; ++k) s += ad[i][k] * b[k + 1][j + 1];
      EXPECT_NEAR(s, bd[i][j], 1e-5);
    }
  }
}

TEST(GeneralLeastSquares, GaussJordanReportsSingularMatrices) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float cases[][3][3] = {{{1, 2, 3}, {0, 0, 0}, {4, 5, 6}},  // zero row
                               {{1, 2, 3}, {1, 2, 3}, {4, 5, 7}},  // repeated row
                               {{nan, nan, nan}, {nan, nan, nan}, {nan, nan, nan}}};
  for (const auto &c : cases) {
    float rows[4][4] = {};
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) rows[i + 1][j + 1] = c[i][j];
    float *a[4] = {nullptr, rows[1], rows[2], rows[3]};
    int indxc[4], indxr[4], ipiv[4];
    EXPECT_EQ(NR_gaussjSPL(a, 3, nullptr, 0, indxc, indxr, ipiv), kNR_SingMatrixErr);
  }
}

TEST(GeneralLeastSquares, EquidistantInterpolationGivesLagrangeWeights) {
  // The averaging method's use: four nodes 0..3, evaluated at 2 - f or 1 - f.
  const std::vector<double> nodes = {0, 1, 2, 3};
  for (float x : {1.0f, 1.25f, 1.5f, 1.875f, 2.0f, 0.3f, 2.9f, -0.5f}) {
    SCOPED_TRACE(x);
    float sum = 0.0f;
    for (int i = 0; i < 4; ++i) {
      float e[4] = {};
      e[i] = 1.0f;
      float weight = NR_polintEq(0.0f, 1.0f, e, 4, x);
      EXPECT_NEAR(weight, ReferenceLagrangeWeight(nodes, i, x), 2e-6) << "weight " << i;
      if (x == std::floor(x) && x >= 0) {
        EXPECT_EQ(weight, float(i) == x ? 1.0f : 0.0f);
      }
      sum += weight;
    }
    EXPECT_NEAR(sum, 1.0f, 1e-6);
  }
}

TEST(GeneralLeastSquares, InterpolationReproducesPolynomials) {
  auto cubic = [](double x) { return 0.5 - 1.5 * x + 0.25 * x * x + 0.125 * x * x * x; };
  // Shifted, scaled grid.
  float ya[5];
  for (int i = 0; i < 5; ++i) ya[i] = float(cubic(0.5 + 0.25 * i));
  for (float x : {0.6f, 0.9f, 1.3f, 1.5f, 1.7f})
    EXPECT_NEAR(NR_polintEq(0.5f, 0.25f, ya, 5, x), cubic(x), 1e-5) << x;

  // Uneven abscissas.
  const float xa[5] = {0.0f, 0.5f, 2.0f, 3.5f, 4.0f};
  float yb[5];
  for (int i = 0; i < 5; ++i) yb[i] = float(cubic(xa[i]));
  for (float x : {0.2f, 1.0f, 2.7f, 3.9f}) EXPECT_NEAR(NR_polintNV(xa, yb, 5, x), cubic(x), 1e-5) << x;

  // Sizes outside the work arrays give NaN rather than reading past them.
  float nine[9] = {};
  EXPECT_TRUE(std::isnan(NR_polintEq(0.0f, 1.0f, nine, 9, 1.0f)));
  EXPECT_TRUE(std::isnan(NR_polintEq(0.0f, 1.0f, nine, 0, 1.0f)));
  EXPECT_TRUE(std::isnan(NR_polintNV(xa, nine, 9, 1.0f)));
}

TEST(GeneralLeastSquares, PolynomialCoefficientsThroughIntegerAbscissas) {
  const float y[3] = {1, 3, 7};
  float cof[3];
  NR_polcoeSPL(y, 2, cof);
  EXPECT_FLOAT_EQ(cof[0], 1.0f);
  EXPECT_FLOAT_EQ(cof[1], 1.0f);
  EXPECT_FLOAT_EQ(cof[2], 1.0f);

  // Degree 7, the largest: the coefficients reproduce every sample.
  const std::vector<double> c = {2.0, -1.0, 0.5, 0.25, -0.125, 0.0625, -0.03125, 0.015625};
  float y8[8], cof8[8];
  for (int i = 0; i < 8; ++i) y8[i] = float(bz_test::ReferencePolyValue(c, i));
  NR_polcoeSPL(y8, 7, cof8);
  for (int k = 0; k < 8; ++k) EXPECT_NEAR(cof8[k], c[k], 2e-3 * std::fabs(c[0])) << "cof " << k;

  float untouched[9];
  std::fill(std::begin(untouched), std::end(untouched), kUntouched);
  NR_polcoeSPL(y8, 8, untouched);
  EXPECT_EQ(untouched[0], kUntouched);
}

}  // namespace
