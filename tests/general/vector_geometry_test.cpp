#include "general/vector_geometry.h"

#include "general/memory_lists.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

::testing::AssertionResult Near2(const Vector2 &v, double x, double y) {
  if (std::fabs(v.x - x) < 1e-12 && std::fabs(v.y - y) < 1e-12) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got (" << v.x << ", " << v.y << "), expected (" << x << ", " << y << ")";
}

::testing::AssertionResult Near3(const Vector3 &v, double x, double y, double z) {
  if (std::fabs(v.x - x) < 1e-12 && std::fabs(v.y - y) < 1e-12 && std::fabs(v.z - z) < 1e-12)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got (" << v.x << ", " << v.y << ", " << v.z << ")";
}

TEST(GeneralVectors2, LengthsNormalisingAndTurns) {
  Vector2 v{3, 4};
  EXPECT_EQ(V2SquaredLength(&v), 25.0);
  EXPECT_EQ(V2Length(&v), 5.0);
  Vector2 u;
  EXPECT_TRUE(Near2(*V2NormalizeII(&v, &u), 0.6, 0.8));
  EXPECT_TRUE(Near2(*V2Scale(&v, 10), 6, 8));
  EXPECT_TRUE(Near2(*V2Normalize(&v), 0.6, 0.8));

  Vector2 zero{0, 0};
  EXPECT_TRUE(Near2(*V2Normalize(&zero), 0, 0));
  u = Vector2{9, 9};
  EXPECT_TRUE(Near2(*V2NormalizeII(&zero, &u), 0, 0));
  EXPECT_TRUE(Near2(*V2Scale(&zero, 3), 0, 0));

  Vector2 a{1, 2}, w;
  EXPECT_TRUE(Near2(*V2Rotate90(&a, &w), 2, -1));
  EXPECT_TRUE(Near2(*V2MakePerpendicular(&a, &w), -2, 1));
  EXPECT_TRUE(Near2(*V2NegateII(&a, &w), -1, -2));
  EXPECT_TRUE(Near2(*V2Negate(&w), 1, 2));
}

TEST(GeneralVectors2, ArithmeticAndInterpolation) {
  const Vector2 a{1, 2}, b{3, -1};
  Vector2 c;
  EXPECT_TRUE(Near2(*V2Add(&a, &b, &c), 4, 1));
  EXPECT_TRUE(Near2(V2AddII(&a, &b), 4, 1));
  EXPECT_TRUE(Near2(*V2Sub(&a, &b, &c), -2, 3));
  EXPECT_TRUE(Near2(V2SubII(&a, &b), -2, 3));
  Vector2 acc{10, 10};
  EXPECT_TRUE(Near2(*V2AddIII(&a, &acc), 11, 12));
  EXPECT_EQ(V2Dot(&a, &b), 1.0);
  EXPECT_TRUE(Near2(*V2Mul(&a, &b, &c), 3, -2));
  EXPECT_TRUE(Near2(*V2Combine(&a, &b, &c, 2, -1), -1, 5));
  EXPECT_TRUE(Near2(*V2ScaleIV(&a, 3, &c), 3, 6));
  EXPECT_TRUE(Near2(V2ScaleIII(&a, -1), -1, -2));
  EXPECT_TRUE(Near2(*V2Lerp(&a, &b, 0.25, &c), 1.5, 1.25));
  EXPECT_EQ(V2DistanceSqBetween2Points(&a, &b), 13.0);
  EXPECT_DOUBLE_EQ(V2DistanceBetween2Points(&a, &b), std::sqrt(13.0));

  const Vector2 corners[4] = {{0, 0}, {10, 0}, {0, 20}, {10, 20}};
  EXPECT_TRUE(Near2(*V2Lerp4(corners, 0.5, 0.25, &c), 5, 5));
  const UInt8 values[4] = {0, 100, 200, 40};
  EXPECT_DOUBLE_EQ(S4Lerp(values, 0, 0), 0.0);
  EXPECT_DOUBLE_EQ(S4Lerp(values, 1, 1), 40.0);
  EXPECT_DOUBLE_EQ(S4Lerp(values, 0.5, 0.5), 85.0);

  Vector2 *fresh = V2New(7, 8);
  ASSERT_NE(fresh, nullptr);
  Vector2 *copy = V2Duplicate(fresh);
  EXPECT_TRUE(Near2(*copy, 7, 8));
  GL_DisposePtr(&fresh);
  GL_DisposePtr(&copy);
}

TEST(GeneralVectors2, MatricesAndBoxes) {
  // Scale by 2, then translate by (5, -1): the translation sits in the last row.
  const Matrix3 scale{{{2, 0, 0}, {0, 2, 0}, {0, 0, 1}}};
  const Matrix3 shift{{{1, 0, 0}, {0, 1, 0}, {5, -1, 1}}};
  Matrix3 both;
  V2MatMul(&scale, &shift, &both);
  Point2 p{1, 1};
  EXPECT_TRUE(Near2(*V2MulPointByMatrix(&p, &both), 7, 1));
  // In place: the product may be its own operand.
  Matrix3 m = scale;
  V2MatMul(&m, &m, &m);
  EXPECT_EQ(m.element[0][0], 4.0);
  // A projective w divides; w = 0 leaves the point undivided.
  const Matrix3 halve{{{1, 0, 0}, {0, 1, 0}, {0, 0, 2}}};
  p = Point2{4, 6};
  EXPECT_TRUE(Near2(*V2MulPointByMatrix(&p, &halve), 2, 3));
  const Matrix3 flat{{{1, 0, 0}, {0, 1, 0}, {0, 0, 0}}};
  p = Point2{4, 6};
  EXPECT_TRUE(Near2(*V2MulPointByMatrix(&p, &flat), 4, 6));

  struct Overlap {
    Box2 a, b;
    bool overlap;
  } overlaps[] = {
      {{{0, 0}, {1, 1}}, {{1, 0}, {2, 1}}, false},  // touching only
      {{{0, 0}, {2, 2}}, {{1, 5}, {3, 6}}, false},  // apart in y
      {{{0, 0}, {2, 2}}, {{1, 1}, {3, 3}}, true},
      {{{0, 0}, {4, 4}}, {{1, 1}, {2, 2}}, true},   // inside
  };
  for (const Overlap &o : overlaps) {
    EXPECT_EQ(bool(V2BoxesOverlap(&o.a, &o.b)), o.overlap);
    EXPECT_EQ(bool(V2BoxesOverlap(&o.b, &o.a)), o.overlap);
  }
  const Box2 box{{0, 0}, {2, 3}};
  const Point2 atMin{0, 0}, atMax{2, 3}, inside{1.9, 2.9}, edge{2, 1};
  EXPECT_TRUE(V2PtInBox2(&box, &atMin));
  EXPECT_FALSE(V2PtInBox2(&box, &atMax));
  EXPECT_TRUE(V2PtInBox2(&box, &inside));
  EXPECT_FALSE(V2PtInBox2(&box, &edge));
}

TEST(GeneralVectors3, ArithmeticCrossAndMatrices) {
  Vector3 a{1, 2, 2}, b{0, 1, 0}, c;
  EXPECT_EQ(V3SquaredLength(&a), 9.0);
  EXPECT_EQ(V3Length(&a), 3.0);
  EXPECT_EQ(V3Dot(&a, &b), 2.0);
  EXPECT_TRUE(Near3(*V3Add(&a, &b, &c), 1, 3, 2));
  EXPECT_TRUE(Near3(*V3Sub(&a, &b, &c), 1, 1, 2));
  EXPECT_TRUE(Near3(*V3Mul(&a, &a, &c), 1, 4, 4));
  EXPECT_TRUE(Near3(*V3Combine(&a, &b, &c, 2, 3), 2, 7, 4));
  EXPECT_TRUE(Near3(*V3Lerp(&a, &b, 0.5, &c), 0.5, 1.5, 1));
  EXPECT_DOUBLE_EQ(V3DistanceBetween2Points(&a, &b), std::sqrt(6.0));

  const Vector3 x{1, 0, 0}, y{0, 1, 0};
  EXPECT_TRUE(Near3(*V3Cross(&x, &y, &c), 0, 0, 1));
  Vector3 inPlace = x;
  EXPECT_TRUE(Near3(*V3Cross(&inPlace, &y, &inPlace), 0, 0, 1));  // aliasing is safe

  Vector3 n = a;
  EXPECT_TRUE(Near3(*V3Normalize(&n), 1.0 / 3, 2.0 / 3, 2.0 / 3));
  EXPECT_TRUE(Near3(*V3Scale(&n, 6), 2, 4, 4));
  Vector3 zero{0, 0, 0};
  EXPECT_TRUE(Near3(*V3Normalize(&zero), 0, 0, 0));
  EXPECT_TRUE(Near3(*V3Scale(&zero, 2), 0, 0, 0));
  EXPECT_TRUE(Near3(*V3Negate(&n), -2, -4, -4));

  const Matrix4 shift{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {1, 2, 3, 1}}};
  const Matrix4 twice{{{2, 0, 0, 0}, {0, 2, 0, 0}, {0, 0, 2, 0}, {0, 0, 0, 1}}};
  Matrix4 both;
  V3MatMul(&shift, &twice, &both);
  Point3 p{1, 1, 1};
  EXPECT_TRUE(Near3(*V3MulPointByMatrix(&p, &both), 4, 6, 8));
  const Matrix4 quarter{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 4}}};
  p = Point3{4, 8, 12};
  EXPECT_TRUE(Near3(*V3MulPointByMatrix(&p, &quarter), 1, 2, 3));

  Vector3 *fresh = V3New(1, 2, 3);
  Vector3 *copy = V3Duplicate(fresh);
  EXPECT_TRUE(Near3(*copy, 1, 2, 3));
  GL_DisposePtr(&fresh);
  GL_DisposePtr(&copy);
}

TEST(GeneralVectorScalars, BinaryGcd) {
  struct Case {
    int u, v, g;
  } cases[] = {{12, 18, 6}, {18, 12, 6}, {-4, 6, 1}, {4, -6, 1}, {7, 13, 1}, {48, 180, 12},
               {1024, 96, 32}, {5, 5, 5}, {0, 9, 9}, {9, 0, 9}, {0, 0, 0}};
  for (const Case &c : cases) EXPECT_EQ(gcd(c.u, c.v), c.g) << c.u << ", " << c.v;
}

TEST(GeneralVectorScalars, QuadraticRoots) {
  struct Case {
    double a, b, c;
    int count;
    double r0, r1;
  } cases[] = {
      {0, 2, -4, 1, 2, 0},      // linear
      {1, 0, 1, 0, 0, 0},       // no real root
      {1, -3, 2, 2, 2, 1},      // (x - 1)(x - 2)
      {1, 2, 1, 2, -1, -1},     // double root
      {2, 0, 0, 1, 0, 0},       // q = 0: only the first
      {1, -1e8, 1, 2, 1e8, 1e-8},  // the stable form keeps the small root accurate
  };
  for (const Case &c : cases) {
    double roots[2] = {99, 99};
    int n = quadraticRoots(c.a, c.b, c.c, roots);
    EXPECT_EQ(n, c.count) << c.a << " " << c.b << " " << c.c;
    if (n >= 1) {
      EXPECT_NEAR(roots[0], c.r0, 1e-9 * std::max(1.0, std::fabs(c.r0)));
    }
    if (n == 2) {
      EXPECT_NEAR(roots[1], c.r1, 1e-9 * std::max(1e-8, std::fabs(c.r1)));
    }
    if (n == 0) {
      EXPECT_TRUE(roots[0] == 0 && roots[1] == 0);
    }
  }
}

double Cubic(double x) { return x * x * x - 2 * x - 5; }
double CubicSlope(double x) { return 3 * x * x - 2; }
double Flat(double) { return 1.0; }
double FlatSlope(double) { return 0.0; }
double Square(double x) { return x * x + 1; }
double SquareSlope(double x) { return 2 * x; }

TEST(GeneralVectorScalars, RootFinding) {
  EXPECT_EQ(NewtonRaphson(Flat, FlatSlope, 3.0), 2.0);  // a flat point steps one unit left
  EXPECT_DOUBLE_EQ(NewtonRaphson(Cubic, CubicSlope, 2.0), 2.0 - Cubic(2.0) / CubicSlope(2.0));
  EXPECT_EQ(RegulaFalsi(Flat, 0.0, 4.0), 2.0);
  EXPECT_DOUBLE_EQ(RegulaFalsi(Cubic, 2.0, 3.0), 3.0 - 1.0 * Cubic(3.0) / (Cubic(3.0) - Cubic(2.0)));

  double root = findroot(2.0, 3.0, 1e-12, Cubic, CubicSlope);
  EXPECT_NEAR(root, 2.0945514815423265, 1e-10);
  // No root at all in the bracket: the search still ends.
  double stuck = findroot(-1.0, 1.0, 1e-12, Square, SquareSlope);
  EXPECT_TRUE(std::isfinite(stuck));
}

}  // namespace
