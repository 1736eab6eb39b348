#include "platform/core/fixed_math.h"

#include <gtest/gtest.h>

namespace {

struct BinaryCase {
  Fixed a;
  Fixed b;
  Fixed expected;
};

TEST(PlatformFixedMath, FixMulRoundsAndSaturates) {
  const BinaryCase cases[] = {
      {fixed1, fixed1, fixed1},
      {2 * fixed1, 3 * fixed1, 6 * fixed1},
      {-2 * fixed1, 3 * fixed1, -6 * fixed1},
      {fixed1 / 2, fixed1 / 2, fixed1 / 4},
      {1, fixed1 / 2, 1},            // 0.5 lsb rounds up
      {-1, fixed1 / 2, 0},           // -0.5 lsb rounds toward +inf, as the toolbox's add-half-then-shift
      {1, 1, 0},                     // far below half an lsb
      {0x7FFF0000, 4 * fixed1, kFixedMax},
      {(Fixed)0x80000000, 2 * fixed1, kFixedMin},
      {(Fixed)0x80000000, -2 * fixed1, kFixedMax},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(::testing::Message() << "FixMul(" << c.a << ", " << c.b << ")");
    EXPECT_EQ(FixMul(c.a, c.b), c.expected);
  }
}

TEST(PlatformFixedMath, FixDivRoundsAndSaturates) {
  const BinaryCase cases[] = {
      {6 * fixed1, 3 * fixed1, 2 * fixed1},
      {fixed1, 3 * fixed1, 21845},   // 0.33333 -> 21845.33 rounds down
      {2 * fixed1, 3 * fixed1, 43691},  // 43690.67 rounds up
      {-fixed1, 3 * fixed1, -21845},
      {fixed1, 0, kFixedMax},
      {-fixed1, 0, kFixedMin},
      {0, 0, kFixedMax},
      {0x7FFF0000, 1, kFixedMax},
      {-0x7FFF0000, 1, kFixedMin},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(::testing::Message() << "FixDiv(" << c.a << ", " << c.b << ")");
    EXPECT_EQ(FixDiv(c.a, c.b), c.expected);
  }
}

TEST(PlatformFixedMath, ConversionsRoundToNearest) {
  EXPECT_EQ(FixRatio(1, 2), fixed1 / 2);
  EXPECT_EQ(FixRatio(-1, 3), -21845);
  EXPECT_EQ(FixRatio(1, 0), kFixedMax);
  EXPECT_EQ(Fix2Long(fixed1 / 2), 1);
  EXPECT_EQ(Fix2Long(fixed1 / 2 - 1), 0);
  EXPECT_EQ(Fix2Long(-fixed1 / 2), -1);
  EXPECT_EQ(Fix2Long(kFixedMax), 32768);
  EXPECT_EQ(Long2Fix(32767), 0x7FFF0000);
  EXPECT_EQ(Long2Fix(40000), kFixedMax);
  EXPECT_EQ(Long2Fix(-40000), kFixedMin);
  EXPECT_EQ(X2Fix(1.5), 0x18000);
  EXPECT_EQ(X2Fix(1e12), kFixedMax);
  EXPECT_EQ(X2Fix(-1e12), kFixedMin);
  EXPECT_DOUBLE_EQ(Fix2X(0x18000), 1.5);
  EXPECT_EQ(X2Frac(1.0), fract1);
  EXPECT_EQ(X2Frac(2.5), 0x7FFFFFFF);
  EXPECT_EQ(Fix2Frac(fixed1), fract1);
  EXPECT_EQ(Frac2Fix(fract1), fixed1);
  EXPECT_EQ(FracMul(fract1, fract1 / 2), fract1 / 2);
  EXPECT_EQ(FracSqrt(fract1), fract1);
}

TEST(PlatformFixedMath, WideArithmetic) {
  wide w{};
  WideMultiply(0x7FFFFFFF, 0x7FFFFFFF, &w);
  EXPECT_EQ(PL_WideToSInt64(w), SInt64(0x7FFFFFFF) * 0x7FFFFFFF);
  WideMultiply(-3, 5, &w);
  EXPECT_EQ(w.hi, -1);
  EXPECT_EQ(w.lo, UInt32(-15));

  SInt32 rem = 0;
  wide big = PL_SInt64ToWide(1000000000000LL);
  EXPECT_EQ(WideDivide(&big, 1000000, &rem), 1000000);
  EXPECT_EQ(rem, 0);
  wide odd = PL_SInt64ToWide(-7);
  EXPECT_EQ(WideDivide(&odd, 2, &rem), -3);
  EXPECT_EQ(rem, -1);
  // Quotient overflow and division by zero answer 0x80000000 in both results.
  EXPECT_EQ(WideDivide(&big, 1, &rem), (SInt32)0x80000000);
  EXPECT_EQ(rem, (SInt32)0x80000000);
  EXPECT_EQ(WideDivide(&big, 0, nullptr), (SInt32)0x80000000);

  wide a = PL_SInt64ToWide(0xFFFFFFFFLL);
  wide one = PL_SInt64ToWide(1);
  WideAdd(&a, &one);
  EXPECT_EQ(a.hi, 1);
  EXPECT_EQ(a.lo, 0u);
  WideSubtract(&a, &one);
  EXPECT_EQ(PL_WideToSInt64(a), 0xFFFFFFFFLL);
  WideNegate(&a);
  EXPECT_EQ(PL_WideToSInt64(a), -0xFFFFFFFFLL);
  EXPECT_EQ(WideCompare(&a, &one), -1);
  EXPECT_EQ(WideCompare(&one, &a), 1);

  wide s = PL_SInt64ToWide(5);
  WideShift(&s, 1);  // 2.5 rounds to 3
  EXPECT_EQ(PL_WideToSInt64(s), 3);
  wide sq = PL_SInt64ToWide(1LL << 40);
  EXPECT_EQ(WideSquareRoot(&sq), 1u << 20);
}

}  // namespace
