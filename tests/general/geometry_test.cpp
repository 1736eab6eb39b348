#include "general/geometry.h"

#include "general/memory_lists.h"
#include "platform/core/fixed_math.h"
#include "platform/core/mac_errors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

::testing::AssertionResult RectIs(const Rect &r, SInt16 top, SInt16 left, SInt16 bottom, SInt16 right) {
  if (r.top == top && r.left == left && r.bottom == bottom && r.right == right) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got {" << r.top << ", " << r.left << ", " << r.bottom << ", " << r.right
                                       << "}, expected {" << top << ", " << left << ", " << bottom << ", " << right
                                       << "}";
}

TEST(GeneralGeometryRects, CornersSizesAndSetting) {
  const Rect r{10, 20, 40, 70};
  Point p = GL_TopLeft(&r);
  EXPECT_TRUE(p.v == 10 && p.h == 20);
  p = GL_TopRight(&r);
  EXPECT_TRUE(p.v == 10 && p.h == 70);
  p = GL_BottomLeft(&r);
  EXPECT_TRUE(p.v == 40 && p.h == 20);
  p = GL_BottomRight(&r);
  EXPECT_TRUE(p.v == 40 && p.h == 70);
  p = GL_GetRectSize(&r);
  EXPECT_TRUE(p.v == 30 && p.h == 50);
  EXPECT_EQ(GL_GetRectArea(&r), 1500);
  const Rect big{-32000, -32000, 32000, 32000};
  EXPECT_EQ(GL_GetRectArea(&big), SInt32(64000LL * 64000LL));  // the 32-bit product

  Rect s;
  GL_SetRectTlbr(&s, 1, 2, 3, 4);
  EXPECT_TRUE(RectIs(s, 1, 2, 3, 4));
  GL_SetRectFromPoints(Point{5, 6}, Point{7, 8}, &s);
  EXPECT_TRUE(RectIs(s, 5, 6, 7, 8));
  GL_PtToRect(Point{5, 6}, &s);
  EXPECT_TRUE(RectIs(s, 5, 6, 6, 7));
}

TEST(GeneralGeometryRects, MovingAndScaling) {
  Rect r{10, 20, 40, 70};
  GL_MoveRectTopLeft(&r, Point{-5, 3});
  EXPECT_TRUE(RectIs(r, -5, 3, 25, 53));
  GL_MoveRectTopLeftToOrigin(&r);
  EXPECT_TRUE(RectIs(r, 0, 0, 30, 50));

  struct Corner {
    int orientation;
    Rect expected;
  } corners[] = {{0, {100, 200, 130, 250}}, {1, {70, 200, 100, 250}}, {2, {70, 150, 100, 200}}, {3, {100, 150, 130, 200}},
                 {-1, {100, 150, 130, 200}}};
  for (const Corner &c : corners) {
    Rect m{0, 0, 30, 50};
    GL_MoveRectToPoint(Point{100, 200}, c.orientation, &m);
    EXPECT_TRUE(RectIs(m, c.expected.top, c.expected.left, c.expected.bottom, c.expected.right))
        << "orientation " << c.orientation;
  }

  Rect scaled{10, 10, 20, 30};
  GL_ScaleRect(&scaled, FixedPoint{X2Fix(1.5), X2Fix(0.25)});
  EXPECT_TRUE(RectIs(scaled, 10, 10, 13, 40));  // 10 x 0.25 = 2.5 rounds to 3

  Rect inset{0, 0, 10, 10};
  Rect fives{5, 5, 5, 5};
  GL_InsetRectByRect(&inset, &fives);
  EXPECT_TRUE(RectIs(inset, 0, 0, 0, 0));
  inset = Rect{0, 0, 10, 10};
  Rect uneven{1, 2, 3, 4};
  GL_InsetRectByRect(&inset, &uneven);
  EXPECT_TRUE(RectIs(inset, 1, 2, 7, 6));
}

TEST(GeneralGeometryRects, SplitIntoQuarters) {
  const Rect r{0, 0, 5, 5};
  Rect q1, q2, q3, q4;
  GL_SplitRect(&r, &q1, &q2, &q3, &q4);
  EXPECT_TRUE(RectIs(q1, 0, 0, 3, 3));
  EXPECT_TRUE(RectIs(q2, 0, 3, 3, 5));
  EXPECT_TRUE(RectIs(q3, 3, 0, 5, 3));
  EXPECT_TRUE(RectIs(q4, 3, 3, 5, 5));
  Rect only{9, 9, 9, 9};
  GL_SplitRect(&r, nullptr, nullptr, nullptr, &only);
  EXPECT_TRUE(RectIs(only, 3, 3, 5, 5));
  const Rect offset{10, 20, 14, 26};
  GL_SplitRect(&offset, &q1, nullptr, nullptr, &q4);
  EXPECT_TRUE(RectIs(q1, 10, 20, 12, 23));
  EXPECT_TRUE(RectIs(q4, 12, 23, 14, 26));
}

TEST(GeneralGeometryRects, MoveInsideAndContainment) {
  const Rect env{0, 0, 100, 100};
  struct Case {
    Rect in;
    bool moved;
    Rect out;
  } cases[] = {
      {{10, 90, 20, 110}, true, {10, 80, 20, 100}},    // sticks out right: both edges move left
      {{-5, -7, 5, 3}, true, {0, 0, 10, 10}},          // above and left
      {{95, 10, 105, 20}, true, {90, 10, 100, 20}},    // below
      {{10, 10, 20, 20}, true, {10, 10, 20, 20}},      // already inside
      {{0, 0, 10, 120}, false, {0, 0, 10, 120}},       // too wide: nothing moves
  };
  for (const Case &c : cases) {
    Rect r = c.in;
    EXPECT_EQ(bool(GL_MoveRectInsideRect(&env, &r)), c.moved);
    EXPECT_TRUE(RectIs(r, c.out.top, c.out.left, c.out.bottom, c.out.right));
  }

  const Rect empty{50, 50, 50, 80};
  const Rect farAway{500, 500, 600, 600};
  EXPECT_TRUE(GL_IsRectInRect(&empty, &env));
  EXPECT_TRUE(GL_IsRectInRect(&env, &env));
  EXPECT_FALSE(GL_IsRectInRect(&farAway, &env));
  EXPECT_TRUE(GL_RectFitsInsideRect(&farAway, &env));
  const Rect tooBig{0, 0, 101, 10};
  EXPECT_FALSE(GL_RectFitsInsideRect(&tooBig, &env));

  EXPECT_TRUE(GL_PointInRectInclusive(Point{100, 100}, &env));  // the bottom-right corner itself
  EXPECT_FALSE(GL_PointInRectInclusive(Point{101, 50}, &env));
  EXPECT_TRUE(GL_RectsCoincide(&env, &env));
  Rect s;
  EXPECT_TRUE(GL_SectRect(&env, &tooBig, &s));
  EXPECT_TRUE(RectIs(s, 0, 0, 100, 10));
  EXPECT_FALSE(GL_SectRect(&env, &farAway, nullptr));
  EXPECT_TRUE(GL_IsInterval1InInterval2(0, 0, 5, 5));
  EXPECT_FALSE(GL_IsInterval1InInterval2(1, 0, 5, 5));
}

TEST(GeneralGeometryRects, Borders) {
  Rect r{10, 10, 20, 20};
  const Rect b{1, 2, 3, 4};
  GL_AddRectBorders(&r, &b);
  EXPECT_TRUE(RectIs(r, 9, 8, 23, 24));
  Rect borders;
  const Rect inner{10, 10, 20, 20};
  GL_GetRectBorders(&r, &inner, &borders);
  EXPECT_TRUE(RectIs(borders, 1, 2, 3, 4));
  GL_RemoveRectBorders(&r, &b);
  EXPECT_TRUE(RectIs(r, 10, 10, 20, 20));
  GL_AddBorders(&b, &b, &borders);
  EXPECT_TRUE(RectIs(borders, 2, 4, 6, 8));

  const Rect r1{0, 0, 10, 10}, r2{2, -5, 8, 7};
  Rect diff;
  GL_DiffRect(&r1, &r2, &diff);
  EXPECT_TRUE(RectIs(diff, 2, 0, 2, 3));
  GL_GetRectAbsDiff(&r1, &r2, &diff);
  EXPECT_TRUE(RectIs(diff, 2, 5, 2, 3));
}

TEST(GeneralGeometryFit, FitAndCoverTables) {
  struct Case {
    const char *name;
    Rect rect, box;
    Rect fit;
    float fitScale;
    GL_LongRatio fitLR;
    Rect cover;
    float coverScale;
  } cases[] = {
      {"wide into square", {0, 0, 50, 100}, {0, 0, 40, 40}, {10, 0, 30, 40}, 0.4f, {2, 5}, {0, -20, 40, 60}, 0.8f},
      {"tall into square", {0, 0, 100, 50}, {0, 0, 40, 40}, {0, 10, 40, 30}, 0.4f, {2, 5}, {-20, 0, 60, 40}, 0.8f},
      {"same shape", {5, 5, 25, 45}, {100, 100, 110, 120}, {0, 0, 10, 20}, 0.5f, {1, 2}, {100, 100, 110, 120}, 0.5f},
            // 30/7 = 4.3 rounds to 4; the cover's 23 wide box keeps the box's edges moved by (10 - 23) / 2 = -6.
      {"rounding to nearest", {0, 0, 3, 7}, {0, 0, 10, 10}, {3, 0, 7, 10}, 10.0f / 7, {10, 7}, {0, -6, 10, 16}, 10.0f / 3},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Rect out;
    float f = -1;
    GL_LongRatio lr{};
    GL_FitRectInBox(&c.rect, &c.box, &out, &f, &lr);
    EXPECT_TRUE(RectIs(out, c.fit.top, c.fit.left, c.fit.bottom, c.fit.right));
    EXPECT_FLOAT_EQ(f, c.fitScale);
    EXPECT_TRUE(GL_EqualLongRatio(&lr, &c.fitLR)) << lr.n << "/" << lr.d;
    GL_CoverBoxWithRect(&c.rect, &c.box, &out, &f, nullptr);
    EXPECT_TRUE(RectIs(out, c.cover.top, c.cover.left, c.cover.bottom, c.cover.right));
    EXPECT_FLOAT_EQ(f, c.coverScale);
  }
  // Empty inputs give an empty result and scale 0 instead of dividing by zero.
  const Rect box{0, 0, 40, 40};
  const Rect empties[] = {{0, 0, 0, 10}, {0, 0, 10, 0}, {5, 5, 2, 9}};
  for (const Rect &e : empties) {
    for (auto fn : {GL_FitRectInBox, GL_CoverBoxWithRect}) {
      Rect out{1, 1, 1, 1};
      float f = -1;
      GL_LongRatio lr{7, 7};
      fn(&e, &box, &out, &f, &lr);
      EXPECT_TRUE(RectIs(out, 0, 0, 0, 0));
      EXPECT_EQ(f, 0.0f);
      EXPECT_EQ(lr.n, 0);
      EXPECT_EQ(lr.d, 1u);
      fn(&box, &e, &out, &f, nullptr);
      EXPECT_TRUE(RectIs(out, 0, 0, 0, 0));
      EXPECT_EQ(f, 0.0f);
    }
  }
  // Large 16-bit sizes: w x H (3.6e9) needs more than 32 bits to choose the right side to fit.
  const Rect huge{-30000, -30000, 30000, 30000};
  const Rect flat{0, -30000, 2, 30000};
  Rect out;
  float f;
  GL_FitRectInBox(&flat, &huge, &out, &f, nullptr);
  EXPECT_FLOAT_EQ(f, 1.0f);
  EXPECT_EQ(out.top, 29999);
  EXPECT_EQ(out.bottom, 30001);
}

TEST(GeneralGeometryFixed, ConversionsAndRounding) {
  const Rect r{1, -2, 3, 4};
  FixedRect fr;
  GL_RectToFixed(&r, &fr);
  EXPECT_EQ(fr.left, -2 * fixed1);
  EXPECT_EQ(fr.top, fixed1);
  Rect back;
  GL_FixedToRect(&fr, &back);
  EXPECT_TRUE(RectIs(back, 1, -2, 3, 4));

  struct Round {
    double value;
    SInt16 rectSide;  // halves upward
    SInt16 point;     // halves away from zero
  } rounds[] = {{1.5, 2, 2}, {-1.5, -1, -2}, {2.4, 2, 2}, {-2.6, -3, -3}, {0.5, 1, 1}, {-0.5, 0, -1}};
  for (const Round &c : rounds) {
    FixedRect x{X2Fix(c.value), 0, 0, 0};
    GL_FixedToRect(&x, &back);
    EXPECT_EQ(back.left, c.rectSide) << c.value;
    FixedPoint fp{X2Fix(c.value), X2Fix(c.value)};
    Point p = GL_FixedToPoint(&fp);
    EXPECT_EQ(p.h, c.point) << c.value;
    EXPECT_EQ(p.v, c.point) << c.value;
  }
  Point pt{7, -3};
  FixedPoint fp;
  GL_PointToFixed(&pt, &fp);
  EXPECT_EQ(fp.x, -3 * fixed1);
  EXPECT_EQ(fp.y, 7 * fixed1);

  GL_FloatRect f;
  FixedRect half{X2Fix(0.5), X2Fix(1.25), X2Fix(2.75), X2Fix(3.0)};
  GL_FixedRectToFloat(&half, &f);
  EXPECT_FLOAT_EQ(f.left, 0.5f);
  EXPECT_FLOAT_EQ(f.top, 1.25f);
  EXPECT_FLOAT_EQ(f.right, 2.75f);
  EXPECT_FLOAT_EQ(f.bottom, 3.0f);
}

TEST(GeneralGeometryFixed, RectArithmetic) {
  FixedRect a;
  GL_SetFixedRectTlbr(&a, 0, 0, 10 * fixed1, 10 * fixed1);
  FixedRect b;
  GL_SetFixedRectTlbr(&b, 20 * fixed1, 2 * fixed1, 30 * fixed1, 5 * fixed1);
  FixedRect c;
  GL_SectFixedRect(&a, &b, &c);
  // Disjoint vertically: zero height at the nearer edge, the horizontal overlap kept.
  EXPECT_EQ(c.top, 10 * fixed1);
  EXPECT_EQ(c.bottom, 10 * fixed1);
  EXPECT_EQ(c.left, 2 * fixed1);
  EXPECT_EQ(c.right, 5 * fixed1);

  GL_OffsetFixedRect(&b, fixed1, -fixed1);
  EXPECT_EQ(b.left, 3 * fixed1);
  EXPECT_EQ(b.top, 19 * fixed1);
  FixedPoint size, topLeft;
  GL_GetFixedRectSize(&b, &size);
  EXPECT_EQ(size.x, 3 * fixed1);
  EXPECT_EQ(size.y, 10 * fixed1);
  GL_FixedTopLeft(&b, &topLeft);
  EXPECT_EQ(topLeft.x, 3 * fixed1);

  FixedRect borders;
  const FixedRect inner{fixed1, 2 * fixed1, 7 * fixed1, 6 * fixed1};
  GL_GetFixedRectBorders(&a, &inner, &borders);
  EXPECT_EQ(borders.left, fixed1);
  EXPECT_EQ(borders.top, 2 * fixed1);
  EXPECT_EQ(borders.right, 3 * fixed1);
  EXPECT_EQ(borders.bottom, 4 * fixed1);
  FixedRect inset = a;
  GL_InsetFixedRectByFixedRect(&inset, borders);
  EXPECT_EQ(inset.left, fixed1);
  EXPECT_EQ(inset.right, 7 * fixed1);
  EXPECT_EQ(inset.bottom, 6 * fixed1);
  FixedRect diff;
  GL_GetFixedRectAbsDiff(&inset, &a, &diff);
  EXPECT_EQ(diff.left, fixed1);
  EXPECT_EQ(diff.bottom, 4 * fixed1);
}

TEST(GeneralGeometryFixed, FitAndCoverOnTheBox) {
  FixedRect rect, box, out;
  GL_SetFixedRectTlbr(&rect, 0, 0, 50 * fixed1, 100 * fixed1);
  GL_SetFixedRectTlbr(&box, 10 * fixed1, 10 * fixed1, 50 * fixed1, 50 * fixed1);
  float f;
  GL_LongRatio lr;
  GL_FitFixedRectInBox(&rect, &box, &out, &f, &lr);
  EXPECT_FLOAT_EQ(f, 0.4f);
  EXPECT_TRUE(lr.n == 2 && lr.d == 5);
  EXPECT_EQ(out.left, 10 * fixed1);
  EXPECT_EQ(out.right, 50 * fixed1);
  EXPECT_EQ(out.top, 20 * fixed1);
  EXPECT_EQ(out.bottom, 40 * fixed1);
  GL_CoverBoxWithFixedRect(&rect, &box, &out, &f, nullptr);
  EXPECT_FLOAT_EQ(f, 0.8f);
  EXPECT_EQ(out.top, 10 * fixed1);
  EXPECT_EQ(out.bottom, 50 * fixed1);
  EXPECT_EQ(out.left, -10 * fixed1);
  EXPECT_EQ(out.right, 70 * fixed1);

  FixedRect empty;
  GL_SetFixedRectTlbr(&empty, 0, 0, 0, 10 * fixed1);
  GL_FitFixedRectInBox(&empty, &box, &out, &f, &lr);
  EXPECT_EQ(f, 0.0f);
  EXPECT_TRUE(out.left == 0 && out.right == 0 && out.top == 0 && out.bottom == 0);
}

TEST(GeneralGeometryFloat, PointsAndRects) {
  GL_FloatPt a, b, c;
  GL_SetFloatPt(&a, 3, 4);
  GL_SetFloatPt(&b, -1, 2);
  GL_AddFloatPt(&a, &b, &c);
  EXPECT_TRUE(c.h == 2 && c.v == 6);
  GL_DiffFloatPt(&a, &b, &c);
  EXPECT_TRUE(c.h == 4 && c.v == 2);
  GL_FloatPtLC(2, &a, -1, &b, &c);
  EXPECT_TRUE(c.h == 7 && c.v == 6);
  GL_ScaleFloatPt(0.5f, &a, &c);
  EXPECT_TRUE(c.h == 1.5f && c.v == 2);
  EXPECT_EQ(GL_DotProductF(&a, &b), 5.0f);

  float cs, sn;
  GL_FloatPt x{1, 0}, y{0, 2};
  GL_GetFloatPtsAngle(&x, &y, &cs, &sn);
  EXPECT_NEAR(cs, 0.0f, 1e-7);
  EXPECT_NEAR(sn, 1.0f, 1e-7);
  GL_RotatePt(&x, cs, sn, &c);
  EXPECT_NEAR(c.h, 0.0f, 1e-7);
  EXPECT_NEAR(c.v, 1.0f, 1e-7);
  GL_FloatPt zero{0, 0};
  GL_GetFloatPtsAngle(&zero, &y, &cs, &sn);
  EXPECT_EQ(cs, 1.0f);
  EXPECT_EQ(sn, 0.0f);

  const GL_FloatRect unit{0, 0, 1, 1};
  struct Dist {
    float h, v, distSq;
  } dists[] = {{-3, -4, 25}, {0.5f, 0.5f, 0}, {1, 1, 0}, {0.5f, 3, 4}, {-2, 0.5f, 4}, {4, 5, 25}};
  for (const Dist &d : dists) {
    GL_FloatPt p{d.h, d.v};
    EXPECT_FLOAT_EQ(GL_GetFloatPtRectDistSq(&p, &unit), d.distSq) << d.h << ", " << d.v;
  }

  GL_FloatRect r, s;
  GL_SetFloatRectTlbr(&r, 0, 0, 2, 4);
  EXPECT_EQ(GL_GetFloatRectArea(&r), 8.0f);
  GL_SetFloatRectTlbr(&s, 5, 1, 7, 3);
  GL_FloatRect t;
  GL_SectFloatRect(&r, &s, &t);
  EXPECT_TRUE(t.top == 2 && t.bottom == 2 && t.left == 1 && t.right == 3);

  GL_FloatPt corners[4];
  GL_FloatRectToPoints(&r, corners);
  EXPECT_TRUE(corners[0].h == 0 && corners[0].v == 0);
  EXPECT_TRUE(corners[1].h == 4 && corners[1].v == 0);
  EXPECT_TRUE(corners[2].h == 4 && corners[2].v == 2);
  EXPECT_TRUE(corners[3].h == 0 && corners[3].v == 2);
  EXPECT_FLOAT_EQ(GL_GetSlopedFloatRectArea(corners), 8.0f);
  // The same rectangle turned by 30 degrees keeps its area.
  float c30 = std::cos(0.5235988f), s30 = std::sin(0.5235988f);
  for (GL_FloatPt &p : corners) GL_RotatePt(&p, c30, s30, &p);
  EXPECT_NEAR(GL_GetSlopedFloatRectArea(corners), 8.0f, 1e-5);

  Rect ir{1, 2, 3, 4};
  GL_RectToFloat(&ir, &r);
  EXPECT_TRUE(r.top == 1 && r.left == 2 && r.bottom == 3 && r.right == 4);
}

TEST(GeneralGeometryQuartz, Conversions) {
  HIPoint hp{12.9f, -3.7f};
  Point p;
  GL_HIPointToPoint(&hp, &p);
  EXPECT_TRUE(p.h == 12 && p.v == -3);
  hp = HIPoint{1e9f, NAN};
  GL_HIPointToPoint(&hp, &p);
  EXPECT_TRUE(p.h == 32767 && p.v == 0);
  GL_PointToHIPoint(&p, &hp);
  EXPECT_TRUE(hp.x == 32767 && hp.y == 0);

  HIRect hr = CGRectMake(10.7f, 5.2f, 20.6f, 3.9f);
  Rect r;
  GL_HIRectToRect(&hr, &r);
  EXPECT_TRUE(RectIs(r, 5, 10, 8, 30));  // bottom = trunc(3.9 + 5), right = trunc(20.6 + 10)
  GL_RectToHIRect(&r, &hr);
  EXPECT_TRUE(hr.origin.x == 10 && hr.origin.y == 5 && hr.size.width == 20 && hr.size.height == 3);

  const Rect inWindow{10, 20, 30, 60};
  CGRect cg;
  GL_RectToCGRect(100, &inWindow, &cg);
  EXPECT_TRUE(cg.origin.x == 20 && cg.origin.y == 70 && cg.size.width == 40 && cg.size.height == 20);
  GL_CG_InsetRect(&cg, 2);
  EXPECT_TRUE(cg.origin.x == 22 && cg.origin.y == 72 && cg.size.width == 36 && cg.size.height == 16);
}

TEST(GeneralGeometryRegions, PointsAreasAndContainment) {
  RgnHandle rgn = NewRgn();
  EXPECT_EQ(GL_GetRgnArea(rgn), 0);
  Rect r{0, 0, 4, 5};
  RectRgn(rgn, &r);
  EXPECT_EQ(GL_GetRgnArea(rgn), 20);
  GL_RemovePtFromRgn(Point{1, 1}, rgn);
  EXPECT_EQ(GL_GetRgnArea(rgn), 19);
  EXPECT_FALSE(PtInRgn(Point{1, 1}, rgn));
  GL_AddPtToRgn(Point{10, 10}, rgn);
  EXPECT_EQ(GL_GetRgnArea(rgn), 20);
  EXPECT_TRUE(PtInRgn(Point{10, 10}, rgn));

  const Rect inner{2, 2, 4, 4}, straddling{0, 0, 2, 2}, outside{20, 20, 30, 30};
  EXPECT_TRUE(GL_IsRectInRgn(&inner, rgn));
  EXPECT_FALSE(GL_IsRectInRgn(&straddling, rgn));  // holds the removed pixel
  RgnHandle section = NewRgn();
  EXPECT_TRUE(GL_SectRectRgn(&straddling, rgn, section));
  EXPECT_EQ(GL_GetRgnArea(section), 3);
  EXPECT_FALSE(GL_SectRectRgn(&outside, rgn, nullptr));
  EXPECT_TRUE(GL_SectRgn(rgn, section, nullptr));
  EXPECT_TRUE(GL_IsRgnInRgn(section, rgn));
  EXPECT_FALSE(GL_IsRgnInRgn(rgn, section));

  GL_DisposeRgn(&section);
  EXPECT_EQ(section, nullptr);
  GL_DisposeRgn(&section);
  GL_DisposeRgn(&rgn);
}

TEST(GeneralGeometryRegions, FlattenRoundTrip) {
  RgnHandle rgn = NewRgn(), part = NewRgn();
  SetRectRgn(rgn, 3, 2, 9, 5);
  SetRectRgn(part, 5, 5, 6, 90);  // a tall thin tail: more than one band of rows
  UnionRgn(rgn, part, rgn);
  GL_RemovePtFromRgn(Point{3, 4}, rgn);
  SInt32 *data = nullptr;
  SInt32 size = 0;
  ASSERT_EQ(GL_FlattenRgnBitMap(rgn, &data, &size), noErr);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(size, SInt32(4 * (data[0] + 1)));
  EXPECT_EQ(data[1], 0);  // the bounds start inside: an empty outside run first
  SInt64 total = 0;
  for (SInt32 i = 1; i <= data[0]; ++i) total += data[i];
  Rect bounds;
  GetRegionBounds(rgn, &bounds);
  EXPECT_EQ(total, SInt64(bounds.right - bounds.left) * (bounds.bottom - bounds.top));

  RgnHandle back = NewRgn();
  ASSERT_EQ(GL_UnflattenRgnBitMap(data, &bounds, back), noErr);
  EXPECT_TRUE(EqualRgn(back, rgn));
  SetEmptyRgn(back);
  ASSERT_EQ(GL_UnflattenRgnBitMapSized(data, size_t(size), &bounds, back), noErr);
  EXPECT_TRUE(EqualRgn(back, rgn));
  GL_DisposePtr(&data);

  SetEmptyRgn(rgn);
  ASSERT_EQ(GL_FlattenRgnBitMap(rgn, &data, &size), noErr);
  EXPECT_EQ(size, 4);
  EXPECT_EQ(data[0], 0);
  GL_DisposePtr(&data);
  for (RgnHandle h : {rgn, part, back}) DisposeRgn(h);
}

TEST(GeneralGeometryRegions, UnflattenAddsInsideRunsAcrossRows) {
  const SInt32 data[] = {2, 3, 2};
  const Rect bounds{10, 20, 12, 24};  // 4 pixels wide
  RgnHandle rgn = NewRgn();
  ASSERT_EQ(GL_UnflattenRgnBitMap(data, &bounds, rgn), noErr);
  EXPECT_EQ(GL_GetRgnArea(rgn), 2);
  EXPECT_TRUE(PtInRgn(Point{10, 23}, rgn));  // position 3: last of the first row
  EXPECT_TRUE(PtInRgn(Point{11, 20}, rgn));  // position 4: first of the second row
  // Adds to what the region held.
  SInt32 more[] = {3, 0, 1, 7};
  ASSERT_EQ(GL_UnflattenRgnBitMap(more, &bounds, rgn), noErr);
  EXPECT_EQ(GL_GetRgnArea(rgn), 3);
  DisposeRgn(rgn);
}

TEST(GeneralGeometryRegions, DamagedFlattenedDataIsRefused) {
  const Rect bounds{0, 0, 2, 4};  // 8 pixels
  struct Case {
    const char *name;
    std::vector<SInt32> values;
    size_t bytes;  // 0: the size of values
    Rect bounds;
  } cases[] = {
      {"negative count", {-1}, 0, bounds},
      {"negative run", {2, 1, -3}, 0, bounds},
      {"more pixels than the bounds", {2, 4, 5}, 0, bounds},
      {"huge run", {2, 0, 0x7FFFFFFF}, 0, bounds},
      {"count beyond the data", {5, 1, 1}, 0, bounds},
      {"count past a truncated file", {2, 1, 1}, 8, bounds},
      {"size not whole values", {2, 1, 1}, 10, bounds},
      {"no data", {}, 0, bounds},
      {"runs over empty bounds", {2, 0, 1}, 0, {0, 0, 0, 4}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    RgnHandle rgn = NewRgn();
    SetRectRgn(rgn, 50, 50, 51, 51);
    size_t bytes = c.bytes ? c.bytes : c.values.size() * sizeof(SInt32);
    EXPECT_EQ(GL_UnflattenRgnBitMapSized(c.values.data(), bytes, &c.bounds, rgn), paramErr);
    EXPECT_EQ(GL_GetRgnArea(rgn), 1);  // unchanged
    DisposeRgn(rgn);
  }
  RgnHandle rgn = NewRgn();
  const SInt32 negative[] = {2, -1, 5};
  EXPECT_EQ(GL_UnflattenRgnBitMap(negative, &bounds, rgn), paramErr);
  EXPECT_EQ(GL_UnflattenRgnBitMap(nullptr, &bounds, rgn), paramErr);
  EXPECT_TRUE(EmptyRgn(rgn));
  DisposeRgn(rgn);
}

TEST(GeneralGeometryPorts, CoordinatesThroughPorts) {
  PL_PortDrawProcs none{};
  Rect bounds{0, 0, 100, 100};
  GrafPtr window = PL_NewPort(&bounds, Point{200, 300}, &none, nullptr);
  GrafPtr other = PL_NewPort(&bounds, Point{-10, -20}, &none, nullptr);
  SetPort(other);

  Rect r{1, 2, 3, 4};
  GL_LocalRectToGlobal(&r, window);
  EXPECT_TRUE(RectIs(r, 201, 302, 203, 304));
  GrafPtr current;
  GetPort(&current);
  EXPECT_EQ(current, other);  // restored
  GL_GlobalRectToLocal(&r, window);
  EXPECT_TRUE(RectIs(r, 1, 2, 3, 4));
  GL_LocalRectToGlobal(&r, nullptr);  // the current port
  EXPECT_TRUE(RectIs(r, -9, -18, -7, -16));

  RgnHandle rgn = NewRgn();
  SetRectRgn(rgn, 0, 0, 5, 5);
  GL_LocalRegionToGlobal(rgn, window);
  Rect rb;
  GetRegionBounds(rgn, &rb);
  EXPECT_TRUE(RectIs(rb, 200, 300, 205, 305));
  GL_GlobalRegionToLocal(rgn, window);
  GetRegionBounds(rgn, &rb);
  EXPECT_TRUE(RectIs(rb, 0, 0, 5, 5));

  static GrafPtr sWindow;
  sWindow = window;
  PL_SetWindowPortProc([](WindowRef) -> CGrafPtr { return sWindow; });
  Point global;
  GL_LocalToGlobal(reinterpret_cast<WindowRef>(1), Point{5, 6}, &global);
  EXPECT_TRUE(global.v == 205 && global.h == 306);
  Point local;
  GL_GlobalToLocal(reinterpret_cast<WindowRef>(1), global, &local);
  EXPECT_TRUE(local.v == 5 && local.h == 6);
  GetPort(&current);
  EXPECT_EQ(current, other);
  PL_SetWindowPortProc(nullptr);

  // Drawing helpers reach the back end; without one the failure shows in QDError.
  GL_PaintRect(&r, nullptr);
  EXPECT_EQ(QDError(), unimpErr);
  GL_FrameRect(&r, nullptr, 2);
  EXPECT_EQ(QDError(), unimpErr);
  PenState pen;
  GetPenState(&pen);
  EXPECT_EQ(pen.pnSize.h, 2);

  DisposeRgn(rgn);
  PL_DisposePort(window);
  PL_DisposePort(other);
}

TEST(GeneralGeometryWrappers, ForwardToTheToolbox) {
  Rect r;
  QDD_SetRect(&r, 1, 2, 11, 12);
  EXPECT_TRUE(RectIs(r, 2, 1, 12, 11));
  QDD_InsetRect(&r, 1, 2);
  EXPECT_TRUE(RectIs(r, 4, 2, 10, 10));
  QDD_OffsetRect(&r, -2, -4);
  EXPECT_TRUE(RectIs(r, 0, 0, 6, 8));
  Rect u;
  const Rect corner{10, 10, 12, 12};
  QDD_UnionRect(&r, &corner, &u);
  EXPECT_TRUE(RectIs(u, 0, 0, 12, 12));
  EXPECT_TRUE(QDD_SectRect(&r, &u, &u));
  EXPECT_TRUE(QDD_EqualRect(&r, &u));
  EXPECT_TRUE(QDD_PtInRect(Point{0, 0}, &r));
  EXPECT_FALSE(QDD_EmptyRect(&r));
  RgnHandle rgn = QDD_NewRgn();
  QDD_RectRgn(rgn, &r);
  EXPECT_TRUE(QDD_IsRegionRectangular(rgn));
  EXPECT_TRUE(QDD_PtInRgn(Point{5, 7}, rgn));
  QDD_DisposeRgn(rgn);
  SetQDGlobalsRandomSeed(1);
  EXPECT_EQ(QDD_Random(), 16807);
}

}  // namespace

namespace {

TEST(GeneralGeometryTransforms, TransformsCopyTheInputAndReportUprightResults) {
  MatrixRecord m;
  SetIdentityMatrix(&m);
  m.matrix[0][0] = X2Fix(640.0 / 720.0);
  m.matrix[2][0] = Long2Fix(-8);
  const Rect in{0, 0, 576, 720};
  Rect out{};
  EXPECT_TRUE(GL_TransformRect(&m, &in, &out));
  EXPECT_TRUE(RectIs(out, 0, -8, 576, 632));
  EXPECT_TRUE(RectIs(in, 0, 0, 576, 720));

  FixedRect inF{0, 0, Long2Fix(720), Long2Fix(576)}, outF{};
  EXPECT_TRUE(GL_TransformFixedRect(&m, &inF, &outF));
  EXPECT_EQ(Long2Fix(-8), outF.left);
  EXPECT_NEAR(632.0, Fix2X(outF.right), 0.01);
  EXPECT_EQ(Long2Fix(720), inF.right);

  // The wrappers transform in place and hand out the corners.
  MatrixRecord skew;
  SetIdentityMatrix(&skew);
  skew.matrix[1][0] = fixed1;  // x' = x + y
  Rect r{0, 0, 10, 10};
  FixedPoint corners[4];
  EXPECT_FALSE(QDD_TransformRect(&skew, &r, corners));
  EXPECT_TRUE(RectIs(r, 0, 0, 10, 20));
  EXPECT_EQ(Long2Fix(20), corners[2].x);
  FixedRect rf{0, 0, Long2Fix(10), Long2Fix(10)};
  EXPECT_FALSE(QDD_TransformFixedRect(&skew, &rf, nullptr));
  EXPECT_EQ(Long2Fix(20), rf.right);
}

}  // namespace

TEST(GeneralGeometry, OffscreenWorldWrappers) {
  const Rect bounds{0, 0, 4, 6};
  GWorldPtr world = nullptr;
  ASSERT_EQ(QDD_NewGWorld(&world, 32, &bounds, nullptr, nullptr, 0), noErr);
  ASSERT_NE(world, nullptr);
  CGrafPtr savedPort = nullptr;
  GDHandle savedDevice = nullptr;
  QDD_GetGWorld(&savedPort, &savedDevice);
  QDD_SetGWorld(world, nullptr);
  CGrafPtr current = nullptr;
  GDHandle device = nullptr;
  QDD_GetGWorld(&current, &device);
  EXPECT_EQ(current, world);
  PixMapHandle pm = QDD_GetGWorldPixMap(world);
  ASSERT_NE(pm, nullptr);
  EXPECT_EQ(QDD_GetPortPixMap(world), pm);
  const GWorldFlags state = QDD_GetPixelsState(pm);
  EXPECT_TRUE(QDD_LockPixels(pm));
  ASSERT_NE(QDD_GetPixBaseAddr(pm), nullptr);
  EXPECT_GE(QDD_GetPixRowBytes(pm), 6 * 4);
  QDD_SetPixelsState(pm, state);
  QDD_SetGWorld(savedPort, savedDevice);
  QDD_DisposeGWorld(world);
}

TEST(GeneralGeometry, PictureAndBitsWrappers) {
  // A 2 x 2 image (black, white / white, black) and an 8 x 8 world to draw in.
  const Rect small{0, 0, 2, 2}, frame{0, 0, 4, 4}, big{0, 0, 8, 8};
  GWorldPtr image = nullptr, world = nullptr;
  ASSERT_EQ(QDD_NewGWorld(&image, 32, &small, nullptr, nullptr, 0), noErr);
  ASSERT_EQ(QDD_NewGWorld(&world, 32, &big, nullptr, nullptr, 0), noErr);
  CGrafPtr savedPort = nullptr;
  GDHandle savedDevice = nullptr;
  QDD_GetGWorld(&savedPort, &savedDevice);
  QDD_SetGWorld(image, nullptr);
  QDD_ForeColor(30);  // white
  QDD_PaintRect(&small);
  QDD_ForeColor(33);  // black
  Rect dot{0, 0, 1, 1};
  QDD_PaintRect(&dot);
  OffsetRect(&dot, 1, 1);
  QDD_PaintRect(&dot);

  // Recorded: a blue frame at 72 dpi with the image copied into its bottom-right quarter.
  QDD_SetGWorld(world, nullptr);
  OpenCPicParams params{frame, 72 << 16, 72 << 16, -2, 0, 0};
  PicHandle pic = QDD_OpenCPicture(&params);
  ASSERT_NE(pic, nullptr);
  const RGBColor blue{0, 0, 0xFFFF};
  QDD_RGBForeColor(&blue);
  QDD_FrameRect(&frame);
  Rect quarter{2, 2, 4, 4};
  QDD_CopyBits(GetPortBitMapForCopyBits(image), GetPortBitMapForCopyBits(world), &small, &quarter, srcCopy, nullptr);
  EXPECT_EQ(QDError(), noErr);
  QDD_ClosePicture();
  PictInfo info;
  ASSERT_EQ(QDD_GetPictInfo(pic, &info, 0, 0, 0, 0), noErr);
  EXPECT_TRUE(RectIs(info.sourceRect, 0, 0, 4, 4));
  EXPECT_EQ(info.rectCount, 1);
  EXPECT_EQ(info.pixMapCount, 1);

  // Replayed at twice the size over a red background.
  const RGBColor red{0xFFFF, 0, 0};
  QDD_RGBForeColor(&red);
  QDD_PaintRect(&big);
  QDD_DrawPicture(pic, &big);
  PixMapHandle pm = QDD_GetGWorldPixMap(world);
  auto at = [&](int x, int y) {
    const UInt8 *p = reinterpret_cast<const UInt8 *>(QDD_GetPixBaseAddr(pm)) + y * QDD_GetPixRowBytes(pm) + 4 * x;
    return UInt32(p[1]) << 16 | UInt32(p[2]) << 8 | p[3];
  };
  struct Case {
    int x, y;
    UInt32 rgb;
  };
  const Case cases[] = {
      {0, 0, 0x0000FF}, {7, 0, 0x0000FF}, {1, 7, 0x0000FF},  // the frame, two pixels wide now
      {2, 2, 0xFF0000}, {3, 5, 0xFF0000},                    // nothing drawn inside it
      {4, 4, 0x000000}, {5, 5, 0x000000}, {6, 4, 0xFFFFFF},  // the image, each pixel 2 x 2
      {4, 6, 0xFFFFFF}, {6, 6, 0x000000}, {5, 2, 0xFF0000},
  };
  for (const Case &c : cases) EXPECT_EQ(at(c.x, c.y), c.rgb) << "at " << c.x << ", " << c.y;

  QDD_KillPicture(nullptr);
  QDD_KillPicture(pic);
  PicHandle plain = QDD_OpenPicture(&frame);
  ASSERT_NE(plain, nullptr);
  QDD_ClosePicture();
  ASSERT_EQ(QDD_GetPictInfo(plain, &info, 0, 0, 0, 0), noErr);
  EXPECT_EQ(info.hRes, 72 << 16);
  QDD_KillPicture(plain);
  QDD_SetGWorld(savedPort, savedDevice);
  QDD_DisposeGWorld(world);
  QDD_DisposeGWorld(image);
}

TEST(GeneralGeometry, CursorWrappers) {
  EXPECT_EQ(QDD_GetCursor(0), nullptr);
  EXPECT_EQ(QDD_GetCursor(129), nullptr);
  CursHandle watch = QDD_GetCursor(watchCursor);
  ASSERT_NE(watch, nullptr);
  EXPECT_EQ(QDD_GetCursor(watchCursor), watch);
  QDD_SetCursor(*watch);
  Cursor current{};
  PL_GetCurrentCursor(&current);
  EXPECT_EQ(std::memcmp(&current, *watch, sizeof(Cursor)), 0);
  Cursor arrow{};
  EXPECT_EQ(QDD_GetQDGlobalsArrow(&arrow), &arrow);
  QDD_SetCursor(&arrow);
  PL_GetCurrentCursor(&current);
  EXPECT_EQ(std::memcmp(&current, &arrow, sizeof(Cursor)), 0);
}

TEST(GeneralGeometry, StandardColorTables) {
  EXPECT_EQ(QDD_GetCTable(129), nullptr);
  CTabHandle grey = QDD_GetCTable(40);
  ASSERT_NE(grey, nullptr);
  EXPECT_EQ((**grey).ctSize, 255);
  EXPECT_EQ((**grey).ctTable[0].rgb.red, 0xFFFF);
  EXPECT_EQ((**grey).ctTable[255].rgb.blue, 0);
  QDD_DisposeCTable(grey);
  CTabHandle system = QDD_GetCTable(8);
  ASSERT_NE(system, nullptr);
  EXPECT_EQ((**system).ctTable[0].rgb.green, 0xFFFF);   // white first
  EXPECT_EQ((**system).ctTable[215].rgb.red, 0xEEEE);   // the red ramp
  EXPECT_EQ((**system).ctTable[215].rgb.green, 0);
  EXPECT_EQ((**system).ctTable[255].rgb.red, 0);        // black last
  QDD_DisposeCTable(system);
  QDD_DisposeCTable(nullptr);
}
