#include "general/numerical_routines.h"

#include "platform/core/memory.h"
#include "support/kernel_check.h"
#include "support/numeric_reference.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>
#include <vector>

namespace {

// A 1-based matrix filled from row-major values, freed with the object.
struct Matrix1 {
  float **m;
  int rows, cols;
  Matrix1(int r, int c, std::initializer_list<float> values = {}) : m(NR_matrix(1, r, 1, c)), rows(r), cols(c) {
    int k = 0;
    for (float x : values) {
      m[1 + k / c][1 + k % c] = x;
      ++k;
    }
  }
  ~Matrix1() { NR_free_matrix(m, 1, rows, 1, cols); }
  Matrix1(const Matrix1 &) = delete;
  Matrix1 &operator=(const Matrix1 &) = delete;
};

// ---- Allocation and fatal errors ----

TEST(GeneralNumericalRoutines, VectorsAndMatricesAddressTheCallersRanges) {
  float *v = NR_vector(1, 3);
  ASSERT_NE(v, nullptr);
  for (int i = 1; i <= 3; ++i) EXPECT_EQ(v[i], 0.0f) << "vectors come zeroed";
  for (int i = 1; i <= 3; ++i) v[i] = float(i);
  EXPECT_EQ(v[1] + v[2] + v[3], 6.0f);
  NR_free_vector(v, 1, 3);

  float *shifted = NR_vector(-5, -2);  // any range, negative ones too
  ASSERT_NE(shifted, nullptr);
  for (int i = -5; i <= -2; ++i) shifted[i] = float(i);
  EXPECT_EQ(shifted[-5], -5.0f);
  NR_free_vector(shifted, -5, -2);

  int *iv = NR_ivector(0, 4);
  for (int i = 0; i <= 4; ++i) iv[i] = i * i;
  EXPECT_EQ(iv[4], 16);
  NR_free_ivector(iv, 0, 4);

  // Rows are one contiguous block, each row right after the previous one.
  float **m = NR_matrix(2, 4, -1, 1);
  for (int i = 2; i <= 4; ++i)
    for (int j = -1; j <= 1; ++j) m[i][j] = float(10 * i + j);
  EXPECT_EQ(m[3], m[2] + 3);
  EXPECT_EQ(m[4][1], 41.0f);
  EXPECT_EQ(m[2][-1], 19.0f);
  NR_free_matrix(m, 2, 4, -1, 1);

  float **empty = NR_matrix(1, 0, 1, 1);  // a fit without free parameters asks for this
  ASSERT_NE(empty, nullptr);
  NR_free_matrix(empty, 1, 0, 1, 1);

  NR_free_vector(nullptr, 1, 3);
  EXPECT_EQ(NR_vector(5, 3), nullptr) << "no range";
  PL_FailAllocationAfter(1);
  EXPECT_EQ(NR_vector(1, 3), nullptr) << "a failed allocation gives NULL";
  PL_FailAllocationAfter(0);
}

// Death tests fork: the stop's three lines and exit status 1, for each routine that stops.
class NumericalRoutinesDeath : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

std::string StopMessage(const std::string &text) {
  std::string escaped;
  for (char c : text) {
    if (std::string("().*[]+?^$\\{}|").find(c) != std::string::npos) escaped += '\\';
    escaped += c;
  }
  return "Numerical Recipes run-time error\\.\\.\\.\n" + escaped + "\n\\.\\.\\.now exiting to system\\.\\.\\.\n";
}

float Bowl(float p[]) { return (p[1] - 1.0f) * (p[1] - 1.0f) + 2.0f * (p[2] + 2.0f) * (p[2] + 2.0f) + 3.0f; }

struct StopCase {
  const char *message;
  void (*provoke)();
};

const StopCase kStopCases[] = {
    {"some text", [] { NR_nrerror("some text"); }},
    // A failed vector allocation inside a routine stops instead of writing through NULL.
    {"allocation failure in vector()",
     [] {
       float p[3] = {0, 0, 0}, xi[3] = {0, 1, 0}, fret;
       PL_FailAllocationAfter(1);
       NR_linmin(p, xi, 2, &fret, Bowl);
     }},
    {"allocation failure in vector()",
     [] {
       float xa[3] = {0, 1, 2}, ya[3] = {0, 1, 4}, y, dy;
       PL_FailAllocationAfter(2);
       NR_polint(xa, ya, 2, 0.5f, &y, &dy);
     }},
    {"allocation failure in ivector()",
     [] {
       PL_FailAllocationAfter(1);
       NR_ivector(1, 3);
     }},
    {"allocation failure 1 in matrix()",
     [] {
       PL_FailAllocationAfter(1);
       NR_matrix(1, 2, 1, 2);
     }},
    {"allocation failure 2 in matrix()",
     [] {
       PL_FailAllocationAfter(2);
       NR_matrix(1, 2, 1, 2);
     }},
    {"gaussj: Singular Matrix-2",
     [] {
       Matrix1 a(2, 2, {1, 2, 0, 0}), b(2, 1, {1, 1});
       NR_gaussj(a.m, 2, b.m, 1);
     }},
    {"Singular matrix in routine ludcmp",
     [] {
       Matrix1 a(2, 2, {1, 2, 0, 0});
       int indx[3];
       float d;
       NR_ludcmp(a.m, 2, indx, &d);
     }},
    {"Error in routine polint",
     [] {
       float xa[3] = {0, 1, 1}, ya[3] = {0, 1, 2}, y, dy;
       NR_polint(xa, ya, 2, 0.5f, &y, &dy);
     }},
    {"no convergence in 30 svdcmp iterations",
     [] {
       const float nan = std::numeric_limits<float>::quiet_NaN();
       Matrix1 a(2, 2, {nan, 1, 1, nan}), v(2, 2);
       float w[3];
       NR_svdcmp(a.m, 2, 2, w, v.m);
     }},
    {"Bad expected number in chsone",
     [] {
       float bins[3] = {0, 1, 2}, ebins[3] = {0, 1, 0}, df, chsq, prob;
       NR_chsone(bins, ebins, 2, 0, &df, &chsq, &prob);
     }},
    {"Bad input constraint counts in simplx",
     [] {
       Matrix1 a(3, 3);
       int izrov[3], iposv[2], icase;
       NR_simplx(a.m, 1, 2, 1, 1, 0, &icase, izrov, iposv);
     }},
    {"Bad input tableau in simplx",
     [] {
       Matrix1 a(3, 3, {0, 1, 1, -1, -1, -1, 0, 0, 0});
       int izrov[3], iposv[2], icase;
       NR_simplx(a.m, 1, 2, 1, 0, 0, &icase, izrov, iposv);
     }},
    // A tolerance that can never be met runs into the iteration cap.
    {"powell exceeding maximum iterations.",
     [] {
       float p[3] = {0, 5, 5};
       Matrix1 xi(2, 2, {1, 0, 0, 1});
       int iter;
       float fret;
       NR_powell(p, xi.m, 2, -1.0f, &iter, &fret, Bowl);
     }},
};

TEST_F(NumericalRoutinesDeath, StopsWithItsMessagesAndStatusOne) {
  for (const StopCase &stop : kStopCases) {
    EXPECT_EXIT(stop.provoke(), ::testing::ExitedWithCode(1), StopMessage(stop.message)) << stop.message;
  }
}

// ---- Linear equations and interpolation ----

TEST(GeneralNumericalRoutines, LinearSolversAgree) {
  // 2x + y - z = 8, -3x - y + 2z = -11, -2x + y + 2z = -3: x = 2, y = 3, z = -1.
  const std::initializer_list<float> coefficients = {2, 1, -1, -3, -1, 2, -2, 1, 2};
  Matrix1 a(3, 3, coefficients), b(3, 1, {8, -11, -3});
  NR_gaussj(a.m, 3, b.m, 1);
  EXPECT_NEAR(b.m[1][1], 2.0f, 1e-5f);
  EXPECT_NEAR(b.m[2][1], 3.0f, 1e-5f);
  EXPECT_NEAR(b.m[3][1], -1.0f, 1e-5f);
  Matrix1 original(3, 3, coefficients);
  for (int i = 1; i <= 3; ++i) {  // a is now the inverse
    for (int j = 1; j <= 3; ++j) {
      float s = 0;
      for (int k = 1; k <= 3; ++k) s += original.m[i][k] * a.m[k][j];
      EXPECT_NEAR(s, i == j ? 1.0f : 0.0f, 1e-5f);
    }
  }

  Matrix1 lu(3, 3, coefficients);
  int indx[4];
  float d = 0, x[4] = {0, 8, -11, -3};
  NR_ludcmp(lu.m, 3, indx, &d);
  NR_lubksb(lu.m, 3, indx, x);
  EXPECT_NEAR(x[1], 2.0f, 1e-5f);
  EXPECT_NEAR(x[2], 3.0f, 1e-5f);
  EXPECT_NEAR(x[3], -1.0f, 1e-5f);
  // The determinant (-1) is d times the product of the diagonal.
  EXPECT_NEAR(d * lu.m[1][1] * lu.m[2][2] * lu.m[3][3], -1.0f, 1e-5f);
}

TEST(GeneralNumericalRoutines, InterpolationRecoversPolynomials) {
  // y = 1 - 2x + 0.5x^3: exact at any x through four points; through five, the last correction (the error
  // estimate) vanishes as well.
  auto f = [](float t) { return 1.0f - 2.0f * t + 0.5f * t * t * t; };
  float xa[6] = {0, -1.0f, 0.5f, 2.0f, 3.0f, 4.0f}, ya[6];
  for (int i = 1; i <= 5; ++i) ya[i] = f(xa[i]);
  for (float x : {-2.0f, 0.0f, 1.25f, 2.0f}) {
    float y, dy;
    NR_polint(xa, ya, 4, x, &y, &dy);
    EXPECT_NEAR(y, f(x), 1e-4f) << x;
    NR_polint(xa, ya, 5, x, &y, &dy);
    EXPECT_NEAR(y, f(x), 1e-4f) << x;
    EXPECT_LT(std::fabs(dy), 1e-4f) << x;
  }
  float y, dy;
  NR_polint(xa, ya, 3, 1.0f, &y, &dy);  // a quadratic through three points misses the cubic term
  EXPECT_GT(std::fabs(dy), 0.1f);

  float x0[3] = {-1.0f, 0.5f, 2.0f}, y0[3], cof[3];
  for (int i = 0; i < 3; ++i) y0[i] = 1.0f + 2.0f * x0[i] + 3.0f * x0[i] * x0[i];
  NR_polcoe(x0, y0, 2, cof);
  EXPECT_NEAR(cof[0], 1.0f, 1e-4f);
  EXPECT_NEAR(cof[1], 2.0f, 1e-4f);
  EXPECT_NEAR(cof[2], 3.0f, 1e-4f);
}

TEST(GeneralNumericalRoutines, SplineBoundaries) {
  float x[6] = {0, 0, 1, 2, 3, 4}, y[6], y2[6];
  for (int i = 1; i <= 5; ++i) y[i] = x[i] * x[i] * x[i];
  // Both derivatives 1e30: natural ends.
  NR_spline(x, y, 5, 1e30f, 1e30f, y2);
  EXPECT_EQ(y2[1], 0.0f);
  EXPECT_EQ(y2[5], 0.0f);
  // The true end derivatives (0 and 48) reproduce the cubic exactly.
  NR_spline(x, y, 5, 0.0f, 48.0f, y2);
  for (float at : {0.5f, 2.5f, 3.9f}) {
    float value;
    NR_splint(x, y, y2, 5, at, &value);
    EXPECT_NEAR(value, at * at * at, 2e-4f) << at;
  }
  EXPECT_NEAR(y2[1], 0.0f, 1e-4f);
  EXPECT_NEAR(y2[5], 24.0f, 1e-4f);
}

float Exp(float x) { return std::exp(x); }

TEST(GeneralNumericalRoutines, ChebyshevSeries) {
  float c[10];
  NR_chebft(-1.0f, 2.0f, c, 10, Exp);
  for (float x : {-1.0f, 0.0f, 0.7f, 2.0f}) EXPECT_NEAR(NR_chebev(-1.0f, 2.0f, c, 10, x), std::exp(x), 1e-5f) << x;
  // Outside [a, b] the series is not evaluated.
  EXPECT_EQ(NR_chebev(-1.0f, 2.0f, c, 10, 2.01f), std::numeric_limits<float>::infinity());
  EXPECT_EQ(NR_chebev(-1.0f, 2.0f, c, 10, -3.0f), std::numeric_limits<float>::infinity());
}

// ---- Gamma functions and chi-square ----

TEST(GeneralNumericalRoutines, GammaFunctions) {
  EXPECT_NEAR(NR_gammln(5.0f), std::log(24.0f), 1e-5f);
  EXPECT_NEAR(NR_gammln(0.5f), 0.5f * std::log(3.14159265f), 1e-5f);
  EXPECT_EQ(NR_gammq(1.0f, 0.0f), 1.0f);
  // Q(1, x) = exp(-x), through the series (x < 2) and the continued fraction (x >= 2).
  for (float x : {0.3f, 1.5f, 2.5f, 8.0f}) EXPECT_NEAR(NR_gammq(1.0f, x), std::exp(-x), 2e-6f) << x;
  // Q(2, x) = (1 + x) exp(-x).
  for (float x : {0.5f, 6.0f}) EXPECT_NEAR(NR_gammq(2.0f, x), (1.0f + x) * std::exp(-x), 2e-6f) << x;

  float gamser = -7.0f, gln;
  NR_gser(&gamser, 10000.0f, 9900.0f, &gln);  // needs far more than 100 terms
  EXPECT_EQ(gamser, -7.0f) << "an unconverged series leaves its result unwritten";
  EXPECT_TRUE(std::isnan(NR_gammq(10000.0f, 9900.0f)));
}

TEST(GeneralNumericalRoutines, ChiSquare) {
  float bins[5] = {0, 10, 20, 30, 40}, ebins[5] = {0, 10, 20, 30, 40};
  float df, chsq, prob;
  NR_chsone(bins, ebins, 4, 1, &df, &chsq, &prob);
  EXPECT_EQ(df, 3.0f);
  EXPECT_EQ(chsq, 0.0f);
  EXPECT_EQ(prob, 1.0f);

  bins[1] = 16;
  bins[4] = 34;
  NR_chsone(bins, ebins, 4, 0, &df, &chsq, &prob);
  EXPECT_NEAR(chsq, 36.0f / 10 + 36.0f / 40, 1e-5f);
  EXPECT_NEAR(prob, NR_gammq(2.0f, chsq / 2), 1e-7f);
  // The 0-based variant with numBins - 1 degrees of freedom.
  EXPECT_NEAR(NR_ChiSquaredOne(bins + 1, ebins + 1, 4), NR_gammq(1.5f, chsq / 2), 1e-7f);
}

// ---- Minimisation ----

float Parabola(float x) { return (x - 2.0f) * (x - 2.0f) + 1.0f; }

TEST(GeneralNumericalRoutines, OneDimensionalMinimisers) {
  float ax = 10.0f, bx = 9.0f, cx, fa, fb, fc;
  NR_mnbrak(&ax, &bx, &cx, &fa, &fb, &fc, Parabola);
  EXPECT_LT(fb, fa);
  EXPECT_LT(fb, fc);
  EXPECT_GT((bx - ax) * (cx - bx), 0.0f) << "b lies between a and c";

  float xmin;
  EXPECT_NEAR(NR_golden(ax, bx, cx, Parabola, 1e-4f, &xmin), 1.0f, 1e-6f);
  EXPECT_NEAR(xmin, 2.0f, 1e-3f);
  EXPECT_NEAR(NR_brent(ax, bx, cx, Parabola, 1e-4f, &xmin), 1.0f, 1e-6f);
  EXPECT_NEAR(xmin, 2.0f, 1e-3f);
}

float Rosenbrockish(float p[]) {
  return 5.0f * (p[2] - p[1] * p[1]) * (p[2] - p[1] * p[1]) + (1.0f - p[1]) * (1.0f - p[1]);
}

TEST(GeneralNumericalRoutines, DirectionSetMinimisation) {
  float p[3] = {0, 4.0f, 4.0f}, xi[3] = {0, -1.0f, -2.0f}, fret;
  NR_linmin(p, xi, 2, &fret, Bowl);
  EXPECT_NEAR(fret, Bowl(p), 1e-5f);
  float q[3] = {0, 4.0f, 4.0f}, qi[3] = {0, -1.0f, -2.0f}, qret;
  NR_Linmin(q, qi, 2, &qret, Bowl);
  EXPECT_EQ(p[1], q[1]);
  EXPECT_EQ(p[2], q[2]);
  EXPECT_EQ(fret, qret);

  for (NR_FuncNProc func : {Bowl, Rosenbrockish}) {
    float shared[3] = {0, -1.0f, 2.0f}, reentrant[3] = {0, -1.0f, 2.0f};
    Matrix1 xiShared(2, 2, {1, 0, 0, 1}), xiReentrant(2, 2, {1, 0, 0, 1});
    int iterShared, iterReentrant;
    float fShared, fReentrant;
    NR_powell(shared, xiShared.m, 2, 1e-6f, &iterShared, &fShared, func);
    NR_Powell(reentrant, xiReentrant.m, 2, 1e-6f, &iterReentrant, &fReentrant, func);
    const float expected[3] = {0, 1.0f, func == Bowl ? -2.0f : 1.0f};
    EXPECT_NEAR(shared[1], expected[1], 2e-2f);
    EXPECT_NEAR(shared[2], expected[2], 2e-2f);
    // Both forms run the same steps.
    EXPECT_EQ(shared[1], reentrant[1]);
    EXPECT_EQ(shared[2], reentrant[2]);
    EXPECT_EQ(iterShared, iterReentrant);
  }

  float untouched[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  int iter = -1;
  NR_Powell(untouched, nullptr, 9, 1e-6f, &iter, &fret, Bowl);  // more than 8 dimensions: nothing
  EXPECT_EQ(iter, -1);
}

TEST(GeneralNumericalRoutines, ReentrantPowellRunsOnSeveralThreads) {
  auto run = [](NR_FuncNProc func, float *point) {
    point[0] = 0;
    point[1] = -1.0f;
    point[2] = 2.0f;
    Matrix1 xi(2, 2, {1, 0, 0, 1});
    int iter;
    float fret;
    NR_Powell(point, xi.m, 2, 1e-6f, &iter, &fret, func);
  };
  float alone[2][3], together[2][3];
  run(Bowl, alone[0]);
  run(Rosenbrockish, alone[1]);
  std::thread t1(run, Bowl, together[0]);
  std::thread t2(run, Rosenbrockish, together[1]);
  t1.join();
  t2.join();
  for (int k = 0; k < 2; ++k)
    for (int i = 1; i <= 2; ++i) EXPECT_EQ(alone[k][i], together[k][i]);
}

// ---- Linear programming ----

struct SimplexResult {
  int icase;
  float z;
  std::vector<float> x;
};

SimplexResult Simplex(int m, int n, int m1, int m2, int m3, std::initializer_list<float> tableau) {
  Matrix1 a(m + 2, n + 1, tableau);
  std::vector<int> izrov(n + 1), iposv(m + 1);
  SimplexResult r{99, 0, std::vector<float>(n + 1, 0.0f)};
  NR_simplx(a.m, m, n, m1, m2, m3, &r.icase, izrov.data(), iposv.data());
  r.z = a.m[1][1];
  for (int i = 1; i <= m; ++i)
    if (iposv[i] <= n) r.x[iposv[i]] = a.m[i + 1][1];
  return r;
}

TEST(GeneralNumericalRoutines, SimplexCases) {
  // Maximise x1 + x2 + 3 x3 - x4/2 with x1 + 2 x3 <= 740, 2 x2 - 7 x4 <= 0, x2 - x3 + 2 x4 >= 1/2 and
  // x1 + x2 + x3 + x4 = 9 (rows hold b and the negated coefficients).
  SimplexResult solved = Simplex(4, 4, 2, 1, 1,
                                 {0, 1, 1, 3, -0.5f,      //
                                  740, -1, 0, -2, 0,      //
                                  0, 0, -2, 0, 7,         //
                                  0.5f, 0, -1, 1, -2,     //
                                  9, -1, -1, -1, -1,      //
                                  0, 0, 0, 0, 0});
  EXPECT_EQ(solved.icase, 0);
  EXPECT_NEAR(solved.z, 17.025f, 1e-4f);
  EXPECT_NEAR(solved.x[1], 0.0f, 1e-4f);
  EXPECT_NEAR(solved.x[2], 3.325f, 1e-4f);
  EXPECT_NEAR(solved.x[3], 4.725f, 1e-4f);
  EXPECT_NEAR(solved.x[4], 0.95f, 1e-4f);

  // Maximise x1 with x1 - x2 <= 1: x2 lets x1 grow without end.
  EXPECT_EQ(Simplex(1, 2, 1, 0, 0, {0, 1, 0, 1, -1, 1, 0, 0, 0}).icase, 1);
  // x1 + x2 <= 1 and x1 + x2 >= 2 cannot both hold.
  EXPECT_EQ(Simplex(2, 2, 1, 1, 0, {0, 1, 1, 1, -1, -1, 2, -1, -1, 0, 0, 0}).icase, -1);
}

// ---- Fits ----

TEST(GeneralNumericalRoutines, StraightLineFits) {
  // y = 3 - 0.5 x with a small alternating disturbance.
  const int n = 8;
  float x[n + 1], y[n + 1], sig[n + 1];
  for (int i = 1; i <= n; ++i) {
    x[i] = float(i - 1) * 0.5f + 1.0f;
    y[i] = 3.0f - 0.5f * x[i] + (i % 2 ? 0.01f : -0.01f);
    sig[i] = 1.0f;
  }
  float a, b, siga, sigb, chi2, q;
  NR_fit(x, y, n, sig, 0, &a, &b, &siga, &sigb, &chi2, &q);
  EXPECT_NEAR(a, 3.0f, 0.02f);
  EXPECT_NEAR(b, -0.5f, 0.01f);
  EXPECT_EQ(q, 1.0f) << "no goodness of fit without weights";
  EXPECT_GT(siga, 0.0f);
  EXPECT_NEAR(chi2, n * 1e-4f, 2e-4f);

  float wa, wb, wsiga, wsigb, wchi2, wq;
  NR_fit(x, y, n, sig, 1, &wa, &wb, &wsiga, &wsigb, &wchi2, &wq);
  EXPECT_NEAR(wa, a, 1e-5f);  // unit weights give the same line
  EXPECT_NEAR(wb, b, 1e-5f);
  EXPECT_NEAR(wchi2, chi2, 1e-6f);
  EXPECT_NEAR(wq, NR_gammq(0.5f * (n - 2), 0.5f * wchi2), 1e-6f);

  // The same line on a regular grid and on 0-based points.
  float ga, gb, gsiga, gsigb;
  NR_fitNoMWT(1.0f, 0.5f, y, n, &ga, &gb, &gsiga, &gsigb);
  EXPECT_EQ(ga, a);
  EXPECT_EQ(gb, b);
  EXPECT_EQ(gsiga, siga);
  EXPECT_EQ(gsigb, sigb);
  float pa, pb;
  NR_fitPts(x + 1, y + 1, n, &pa, &pb);
  EXPECT_EQ(pa, a);
  EXPECT_EQ(pb, b);
}

void Quadratic(float x, float afunc[], int ma) {
  afunc[1] = 1.0f;
  for (int j = 2; j <= ma; ++j) afunc[j] = afunc[j - 1] * x;
}

TEST(GeneralNumericalRoutines, SvdFitAndBackSubstitution) {
  const int n = 12, ma = 3;
  float x[n + 1], y[n + 1], sig[n + 1], a[ma + 1], w[ma + 1], chisq = -1;
  for (int i = 1; i <= n; ++i) {
    x[i] = float(i) / 3.0f - 2.0f;
    y[i] = 0.5f - 1.5f * x[i] + 2.0f * x[i] * x[i];
    sig[i] = 0.1f;
  }
  Matrix1 u(n, ma), v(ma, ma);
  NR_svdfit(x, y, sig, n, a, ma, u.m, v.m, w, &chisq, Quadratic);
  EXPECT_NEAR(a[1], 0.5f, 1e-4f);
  EXPECT_NEAR(a[2], -1.5f, 1e-4f);
  EXPECT_NEAR(a[3], 2.0f, 1e-4f);
  EXPECT_NEAR(chisq, 0.0f, 1e-4f);
  NR_svdfit(x, y, sig, n, a, ma, u.m, v.m, w, nullptr, Quadratic);  // no chi-square wanted

  // The classic decomposition against a double-precision least-squares reference.
  BZ_KERNEL_SEED_TRACE();
  const int rows = 7, cols = 4;
  std::vector<float> flat(rows * cols), rhs(rows);
  bz_test::FillRandomFloats(flat.data(), flat.size(), -3.0f, 3.0f, bz_test::Rng());
  bz_test::FillRandomFloats(rhs.data(), rhs.size(), -3.0f, 3.0f, bz_test::Rng());
  Matrix1 m(rows, cols), vv(cols, cols);
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < cols; ++j) m.m[i + 1][j + 1] = flat[i * cols + j];
  float ww[cols + 1], b[rows + 1], sol[cols + 1];
  for (int i = 0; i < rows; ++i) b[i + 1] = rhs[i];
  NR_svdcmp(m.m, rows, cols, ww, vv.m);
  NR_svbksb(m.m, ww, vv.m, rows, cols, b, sol);
  std::vector<double> ref = bz_test::ReferenceLeastSquares(std::vector<double>(flat.begin(), flat.end()), rows, cols,
                                                           std::vector<double>(rhs.begin(), rhs.end()));
  for (int j = 0; j < cols; ++j) EXPECT_NEAR(sol[j + 1], ref[j], 1e-4) << j;
}

// y = a1 exp(-a2 x) + a3.
void Decay(float x, float a[], float *y, float dyda[], int) {
  float e = std::exp(-a[2] * x);
  *y = a[1] * e + a[3];
  dyda[1] = e;
  dyda[2] = -a[1] * x * e;
  dyda[3] = 1.0f;
}

TEST(GeneralNumericalRoutines, LevenbergMarquardtRecoversAKnownCurve) {
  const int n = 20, ma = 3;
  float x[n + 1], y[n + 1], sig[n + 1];
  for (int i = 1; i <= n; ++i) {
    x[i] = 0.25f * float(i);
    y[i] = 4.0f * std::exp(-0.7f * x[i]) + 1.0f;
    sig[i] = 0.05f;
  }
  float a[ma + 1] = {0, 3.0f, 0.4f, 0.5f};
  int ia[ma + 1] = {0, 1, 1, 1};
  Matrix1 covar(ma, ma), alpha(ma, ma);
  float chisq, alamda = -1.0f;
  NR_mrqmin(x, y, sig, n, a, ia, ma, covar.m, alpha.m, &chisq, Decay, &alamda);
  EXPECT_EQ(alamda, 0.001f) << "the first call only sets up";
  float firstChisq = chisq;
  for (int step = 0; step < 50; ++step) NR_mrqmin(x, y, sig, n, a, ia, ma, covar.m, alpha.m, &chisq, Decay, &alamda);
  EXPECT_NEAR(a[1], 4.0f, 1e-3f);
  EXPECT_NEAR(a[2], 0.7f, 1e-3f);
  EXPECT_NEAR(a[3], 1.0f, 1e-3f);
  EXPECT_LT(chisq, firstChisq * 1e-6f);
  alamda = 0.0f;
  NR_mrqmin(x, y, sig, n, a, ia, ma, covar.m, alpha.m, &chisq, Decay, &alamda);
  for (int j = 1; j <= ma; ++j) EXPECT_GT(covar.m[j][j], 0.0f) << "variance of a" << j;

  // Holding a parameter: its covariance row and column come back as zeros.
  float held[ma + 1] = {0, 3.0f, 0.7f, 0.5f};
  int iaHeld[ma + 1] = {0, 1, 0, 1};
  alamda = -1.0f;
  for (int step = 0; step < 30; ++step)
    NR_mrqmin(x, y, sig, n, held, iaHeld, ma, covar.m, alpha.m, &chisq, Decay, &alamda);
  EXPECT_EQ(held[2], 0.7f);
  EXPECT_NEAR(held[1], 4.0f, 1e-3f);
  alamda = 0.0f;
  NR_mrqmin(x, y, sig, n, held, iaHeld, ma, covar.m, alpha.m, &chisq, Decay, &alamda);
  for (int j = 1; j <= ma; ++j) {
    EXPECT_EQ(covar.m[2][j], 0.0f);
    EXPECT_EQ(covar.m[j][2], 0.0f);
  }
  EXPECT_GT(covar.m[3][3], 0.0f);
}

}  // namespace
