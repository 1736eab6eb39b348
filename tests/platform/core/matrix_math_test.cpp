#include "platform/core/matrix_math.h"

#include "platform/core/mac_errors.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

MatrixRecord Affine(double a, double b, double c, double d, double tx, double ty) {
  MatrixRecord m;
  SetIdentityMatrix(&m);
  m.matrix[0][0] = X2Fix(a);
  m.matrix[0][1] = X2Fix(b);
  m.matrix[1][0] = X2Fix(c);
  m.matrix[1][1] = X2Fix(d);
  m.matrix[2][0] = X2Fix(tx);
  m.matrix[2][1] = X2Fix(ty);
  return m;
}

FixedPoint Map(const MatrixRecord &m, double x, double y) {
  FixedPoint p{X2Fix(x), X2Fix(y)};
  EXPECT_EQ(noErr, TransformFixedPoints(&m, &p, 1));
  return p;
}

TEST(PlatformMatrixMath, TypesFromTheSimplestKind) {
  MatrixRecord perspective;
  SetIdentityMatrix(&perspective);
  perspective.matrix[0][2] = X2Frac(0.001);
  const struct {
    MatrixRecord m;
    SInt16 type;
  } cases[] = {
      {Affine(1, 0, 0, 1, 0, 0), identityMatrixType},
      {Affine(1, 0, 0, 1, -8, 0), translateMatrixType},
      {Affine(640.0 / 720.0, 0, 0, 1, 0, 0), scaleMatrixType},
      {Affine(2, 0, 0, 2, 3, 4), scaleTranslateMatrixType},
      {Affine(0, 1, -1, 0, 0, 0), linearMatrixType},
      {Affine(0, 1, -1, 0, 480, 0), linearTranslateMatrixType},
      {perspective, perspectiveMatrixType},
  };
  for (const auto &c : cases) EXPECT_EQ(c.type, GetMatrixType(&c.m));
}

TEST(PlatformMatrixMath, ConcatenationAppliesTheFirstMatrixFirst) {
  MatrixRecord a = Affine(1, 0, 0, 1, 10, 0);  // translate by 10
  MatrixRecord b = Affine(2, 0, 0, 2, 0, 0);   // then scale by 2
  ConcatMatrix(&a, &b);
  FixedPoint p = Map(b, 1, 0);
  EXPECT_EQ(Long2Fix(22), p.x);
  EXPECT_EQ(0, p.y);

  // Translations of an affine matrix stay exact in Fixed units.
  MatrixRecord t = Affine(640.0 / 720.0, 0, 0, 1, 0, 0);
  TranslateMatrix(&t, 1, -0x18000);
  EXPECT_EQ(1, t.matrix[2][0]);
  EXPECT_EQ(-0x18000, t.matrix[2][1]);

  // A scaling about a point keeps that point.
  MatrixRecord s;
  SetIdentityMatrix(&s);
  ScaleMatrix(&s, Long2Fix(3), Long2Fix(2), Long2Fix(10), Long2Fix(20));
  p = Map(s, 10, 20);
  EXPECT_EQ(Long2Fix(10), p.x);
  EXPECT_EQ(Long2Fix(20), p.y);
}

TEST(PlatformMatrixMath, InverseUndoesAndSingularIsRefused) {
  MatrixRecord m = Affine(0.5, 0, 0, 2, -8, 12);
  MatrixRecord inv;
  ASSERT_TRUE(InverseMatrix(&m, &inv));
  FixedPoint p = Map(m, 100, 50);
  FixedPoint back = Map(inv, Fix2X(p.x), Fix2X(p.y));
  EXPECT_EQ(Long2Fix(100), back.x);
  EXPECT_EQ(Long2Fix(50), back.y);

  MatrixRecord singular = Affine(1, 2, 2, 4, 0, 0);
  MatrixRecord untouched = Affine(7, 0, 0, 7, 0, 0);
  EXPECT_FALSE(InverseMatrix(&singular, &untouched));
  EXPECT_TRUE(EqualMatrix(&untouched, &untouched));
  EXPECT_EQ(X2Fix(7), untouched.matrix[0][0]);
}

TEST(PlatformMatrixMath, RectAndQuadMapsAgreeOnRectangles) {
  const Rect media{0, 0, 480, 720}, track{0, 0, 480, 640};
  MatrixRecord rm;
  RectMatrix(&rm, &media, &track);
  EXPECT_EQ(scaleMatrixType, GetMatrixType(&rm));
  EXPECT_EQ(X2Fix(640.0 / 720.0), rm.matrix[0][0]);
  // The scale is a Fixed, so the far corner lands within a few Fixed units of 640.
  FixedPoint corner = Map(rm, 720, 480);
  EXPECT_NEAR(640.0, Fix2X(corner.x), 0.01);
  EXPECT_EQ(Long2Fix(480), corner.y);

  const Fixed src[8] = {0, 0, Long2Fix(720), 0, Long2Fix(720), Long2Fix(480), 0, Long2Fix(480)};
  const Fixed dst[8] = {0, 0, Long2Fix(640), 0, Long2Fix(640), Long2Fix(480), 0, Long2Fix(480)};
  MatrixRecord qm;
  ASSERT_EQ(noErr, QuadToQuadMatrix(src, dst, &qm));
  EXPECT_TRUE(EqualMatrix(&rm, &qm));

  // MapMatrix appends the rectangle map to what the matrix already does.
  MatrixRecord shifted = Affine(1, 0, 0, 1, 10, 0);
  MapMatrix(&shifted, &media, &track);
  corner = Map(shifted, 710, 480);
  EXPECT_NEAR(640.0, Fix2X(corner.x), 0.01);
}

TEST(PlatformMatrixMath, QuadToQuadHandlesPerspectiveAndRefusesDegenerateQuads) {
  const Fixed square[8] = {0, 0, Long2Fix(100), 0, Long2Fix(100), Long2Fix(100), 0, Long2Fix(100)};
  const Fixed trapezoid[8] = {Long2Fix(20), 0, Long2Fix(80), 0, Long2Fix(100), Long2Fix(100), 0, Long2Fix(100)};
  MatrixRecord m;
  ASSERT_EQ(noErr, QuadToQuadMatrix(square, trapezoid, &m));
  EXPECT_EQ(perspectiveMatrixType, GetMatrixType(&m));
  for (int i = 0; i < 4; ++i) {
    FixedPoint p = Map(m, Fix2X(square[2 * i]), Fix2X(square[2 * i + 1]));
    EXPECT_NEAR(Fix2X(trapezoid[2 * i]), Fix2X(p.x), 0.01) << "corner " << i;
    EXPECT_NEAR(Fix2X(trapezoid[2 * i + 1]), Fix2X(p.y), 0.01) << "corner " << i;
  }
  const Fixed line[8] = {0, 0, Long2Fix(10), 0, Long2Fix(20), 0, Long2Fix(30), 0};
  MatrixRecord keep = Affine(3, 0, 0, 3, 0, 0);
  EXPECT_EQ(paramErr, QuadToQuadMatrix(line, square, &keep));
  EXPECT_EQ(X2Fix(3), keep.matrix[0][0]);
}

TEST(PlatformMatrixMath, TransformedRectanglesAndTheirUprightness) {
  // A quarter turn keeps a rectangle upright; its bounding box is exact.
  MatrixRecord turn = Affine(0, 1, -1, 0, 480, 0);
  Rect r{0, 0, 480, 720};
  FixedPoint corners[4];
  EXPECT_TRUE(TransformRect(&turn, &r, corners));
  EXPECT_EQ(0, r.top);
  EXPECT_EQ(0, r.left);
  EXPECT_EQ(720, r.bottom);
  EXPECT_EQ(480, r.right);
  EXPECT_EQ(Long2Fix(480), corners[0].x);  // (left, top) goes to (480, 0)

  // An eighth of a turn does not; the result is the bounding box.
  double c = std::sqrt(0.5);
  MatrixRecord eighth = Affine(c, c, -c, c, 0, 0);
  FixedRect fr{0, 0, Long2Fix(10), Long2Fix(10)};
  EXPECT_FALSE(TransformFixedRect(&eighth, &fr, nullptr));
  EXPECT_NEAR(-7.071, Fix2X(fr.left), 0.001);
  EXPECT_NEAR(14.142, Fix2X(fr.bottom), 0.001);

  // Half-pixel results round to the nearest integer side.
  MatrixRecord half = Affine(0.5, 0, 0, 0.5, 0, 0);
  Rect odd{1, 3, 5, 7};
  EXPECT_TRUE(TransformRect(&half, &odd, nullptr));
  EXPECT_EQ(2, odd.left);  // 1.5 rounds away from zero
  EXPECT_EQ(1, odd.top);   // 0.5 likewise

  Point pts[2] = {{10, 20}, {-4, -6}};
  EXPECT_EQ(noErr, TransformPoints(&half, pts, 2));
  EXPECT_EQ(10, pts[0].h);
  EXPECT_EQ(5, pts[0].v);
  EXPECT_EQ(-3, pts[1].h);
  EXPECT_EQ(paramErr, TransformPoints(&half, pts, -1));
}

}  // namespace
