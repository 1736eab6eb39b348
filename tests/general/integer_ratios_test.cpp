#include "general/integer_ratios.h"

#include "platform/core/fixed_math.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <vector>

namespace {

::testing::AssertionResult RatioIs(const GL_LongRatio &r, SInt32 n, UInt32 d) {
  if (r.n == n && r.d == d) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got " << r.n << "/" << r.d << ", expected " << n << "/" << d;
}

TEST(GeneralIntegers, GcdAndLcm) {
  EXPECT_EQ(GL_GetGCD(12, 18), 6u);
  EXPECT_EQ(GL_GetGCD(0, 5), 5u);
  EXPECT_EQ(GL_GetGCD(5, 0), 5u);
  EXPECT_EQ(GL_GetGCD(0, 0), 0u);
  EXPECT_EQ(GL_GetLCM(4, 6), 12u);
  EXPECT_EQ(GL_GetLCM(0, 7), 7u);
  EXPECT_EQ(GL_GetLCM(7, 0), 7u);
  // (2^62 + something odd) and 3: the product passes 2^63 - 1.
  EXPECT_EQ(GL_GetLCM((1ull << 62) + 1, 3), 0u);
  EXPECT_EQ(GL_GetLCM(1ull << 62, 2), 1ull << 62);
}

TEST(GeneralRatios, Construction) {
  struct Case {
    SInt64 n, d;
    SInt32 wantN;
    UInt32 wantD;
    bool exact;
  } cases[] = {
      {6, -4, -3, 2, true},
      {-6, -4, 3, 2, true},
      {0, -9, 0, 1, true},
      {5, 0, 2147483647, 1, false},
      {-5, 0, -2147483647 - 1, 1, false},
      {0, 0, 1, 1, false},
      {3000000000LL, 3, 1000000000, 1, true},
      {-4, 2, -2, 1, true},
  };
  for (const Case &c : cases) {
    GL_LongRatio r{};
    EXPECT_EQ(bool(GL_CreateLongRatio(c.n, c.d, &r)), c.exact) << c.n << "/" << c.d;
    EXPECT_TRUE(RatioIs(r, c.wantN, c.wantD)) << c.n << "/" << c.d;
  }

  // Denominators between 2^31 - 1 and 2^32 - 1 are exact only for the SInt64 form.
  GL_LongRatio r{};
  EXPECT_FALSE(GL_CreateLongRatio(1, 3000000000LL, &r));
  EXPECT_TRUE(GL_SetLongRatioFromSInt64(1, 3000000000LL, &r));
  EXPECT_TRUE(RatioIs(r, 1, 3000000000u));

  // Too big for 32 bits: the best approximation, close to the value.
  EXPECT_FALSE(GL_CreateLongRatio(10000000000LL, 3, &r));
  EXPECT_TRUE(RatioIs(r, 2147483647, 1));
  EXPECT_FALSE(GL_CreateLongRatio(2147483647LL * 3 + 1, 2147483647LL * 2, &r));
  EXPECT_NEAR(double(r.n) / r.d, 1.5, 1e-8);

  GL_LongRatio left, right, top, bottom;
  Rect rect = {1, 2, 3, 4};
  GL_RectToLongRatio(&rect, &left, &right, &top, &bottom);
  EXPECT_TRUE(RatioIs(left, 2, 1));
  EXPECT_TRUE(RatioIs(right, 4, 1));
  EXPECT_TRUE(RatioIs(top, 1, 1));
  EXPECT_TRUE(RatioIs(bottom, 3, 1));
}

TEST(GeneralRatios, ExactArithmetic) {
  const GL_LongRatio quarter = {1, 4}, sixth = {1, 6}, minusHalf = {-1, 2}, twoThirds = {2, 3};
  GL_LongRatio z{};
  EXPECT_TRUE(GL_LongRatioAdd2(&quarter, &sixth, &z));
  EXPECT_TRUE(RatioIs(z, 5, 12));
  EXPECT_TRUE(GL_LongRatioAdd2(&minusHalf, &minusHalf, &z));
  EXPECT_TRUE(RatioIs(z, -1, 1));
  EXPECT_TRUE(GL_LongRatioSubtract2(&quarter, &quarter, &z));
  EXPECT_TRUE(RatioIs(z, 0, 1));
  EXPECT_TRUE(GL_LongRatioAddLong(&quarter, 2, &z));
  EXPECT_TRUE(RatioIs(z, 9, 4));
  EXPECT_TRUE(GL_LongRatioSubtractLong(&quarter, 1, &z));
  EXPECT_TRUE(RatioIs(z, -3, 4));
  EXPECT_TRUE(GL_LongSubtractLongRatio(1, &quarter, &z));
  EXPECT_TRUE(RatioIs(z, 3, 4));

  EXPECT_TRUE(GL_LongRatioMul2(&minusHalf, &twoThirds, &z));
  EXPECT_TRUE(RatioIs(z, -1, 3));
  EXPECT_TRUE(GL_LongRatioMulLong(&sixth, 3, &z));
  EXPECT_TRUE(RatioIs(z, 1, 2));
  EXPECT_TRUE(GL_LongRatioInvert(&minusHalf, &z));
  EXPECT_TRUE(RatioIs(z, -2, 1));
  EXPECT_TRUE(GL_LongRatioDiv2(&quarter, &minusHalf, &z));
  EXPECT_TRUE(RatioIs(z, -1, 2));
  EXPECT_TRUE(GL_LongRatioDivByLong(&twoThirds, 4, &z));
  EXPECT_TRUE(RatioIs(z, 1, 6));
  EXPECT_TRUE(GL_LongDivByLongRatio(3, &twoThirds, &z));
  EXPECT_TRUE(RatioIs(z, 9, 2));
  // Results may alias an operand.
  GL_LongRatio acc = quarter;
  EXPECT_TRUE(GL_LongRatioAdd2(&acc, &acc, &acc));
  EXPECT_TRUE(RatioIs(acc, 1, 2));

  // Dividing by zero is not exact: the inverse saturates.
  const GL_LongRatio zero = {0, 1};
  EXPECT_FALSE(GL_LongRatioDiv2(&quarter, &zero, &z));
}

TEST(GeneralRatios, DivisionToAnIntegerAndRemainder) {
  struct Case {
    GL_LongRatio x, y;
    SInt32 whole;
    GL_LongRatio rest;
  } cases[] = {
      {{7, 2}, {1, 1}, 3, {1, 2}},
      {{-7, 2}, {1, 1}, -3, {-1, 2}},
      {{7, 3}, {-1, 2}, -4, {-2, 3}},
      {{1, 3}, {1, 1}, 0, {1, 3}},
  };
  for (const Case &c : cases) {
    SInt32 whole = 99;
    GL_LongRatio rest{};
    EXPECT_TRUE(GL_LongRatioDiv2ToLong(&c.x, &c.y, &whole, &rest));
    EXPECT_EQ(whole, c.whole) << c.x.n << "/" << c.x.d;
    EXPECT_TRUE(RatioIs(rest, c.rest.n, c.rest.d)) << c.x.n << "/" << c.x.d;
  }
}

TEST(GeneralRatios, ComparisonsAndReduction) {
  GL_LongRatio r = {-6, 9};
  GL_ReduceLongRatio(&r);
  EXPECT_TRUE(RatioIs(r, -2, 3));
  const GL_LongRatio a = {-1, 3}, b = {-1, 2}, c = {-2, 6};
  EXPECT_TRUE(GL_GreaterLongRatio(&a, &b));
  EXPECT_FALSE(GL_GreaterLongRatio(&b, &a));
  EXPECT_FALSE(GL_GreaterLongRatio(&a, &c));
  EXPECT_TRUE(GL_EqualLongRatio(&a, &c));
  EXPECT_FALSE(GL_EqualLongRatio(&a, &b));
  GL_LongRatio abs{};
  GL_AbsLongRatio(&b, &abs);
  EXPECT_TRUE(RatioIs(abs, 1, 2));
  EXPECT_FLOAT_EQ(GL_LongRatioToFloat(&b), -0.5f);
  const GL_LongRatio big = {1, 4000000000u};
  EXPECT_GT(GL_LongRatioToFloat(&big), 0.0f);  // the denominator is unsigned
}

TEST(GeneralRatios, OverflowingSumIsApproximatedNotReportedExact) {
  // Two prime denominators: their LCM passes 2^63 - 1, so there is no exact sum to report.
  const GL_LongRatio x = {3, 4294967291u};
  const GL_LongRatio y = {2147483647, 4294967279u};
  ASSERT_EQ(GL_GetLCM(x.d, y.d), 0u);
  GL_LongRatio z{};
  EXPECT_FALSE(GL_LongRatioAdd2(&x, &y, &z));
  ASSERT_NE(z.d, 0u);
  double expected = 3.0 / 4294967291.0 + 2147483647.0 / 4294967279.0;
  EXPECT_NEAR(double(z.n) / z.d, expected, 1e-6);

  // A sum whose parts do not fit 32 bits: approximated, close.
  const GL_LongRatio p = {2147483600, 7}, q = {2147483600, 11};
  EXPECT_FALSE(GL_LongRatioAdd2(&p, &q, &z));
  double sum = 2147483600.0 / 7 + 2147483600.0 / 11;
  EXPECT_NEAR(double(z.n) / z.d, sum, sum * 1e-5);
  EXPECT_FALSE(GL_LongRatioMul2(&p, &q, &z));
  EXPECT_TRUE(RatioIs(z, 2147483647, 1));  // beyond the largest numerator
}

TEST(GeneralRatios, BestApproximation) {
  struct Case {
    double number;
    UInt32 max, steps;
    SInt32 n;
    UInt32 d;
  } cases[] = {
      {0.5, 2147483647, 1000000, 1, 2},
      {-0.75, 2147483647, 1000000, -3, 4},
      {1e-12, 2147483647, 1000000, 0, 1},  // below 1/max
      {5e9, 2147483647, 1000000, 2147483647, 1},
      {-5e9, 1000, 1000000, -1000, 1},
      {NAN, 100, 100, 0, 1},
      // Tiny step budgets and a max below the step count: the step stays at 1 and the search ends.
      {0.3, 10, 0, 0, 1},
      {0.3, 10, 1000000, 3, 10},
      {2.5, 100, 1000000, 5, 2},
      // Five numerators: 0 and 99 with step 99, then 0 and 98 with step 98; 98/39 is the closest of them.
      {2.5, 100, 5, 98, 39},
  };
  for (const Case &c : cases) {
    SInt32 n = 7;
    UInt32 d = 7;
    GL_GetBestN_OverD(c.number, c.max, c.steps, &n, &d);
    EXPECT_EQ(n, c.n) << c.number << " max " << c.max << " steps " << c.steps;
    EXPECT_EQ(d, c.d) << c.number << " max " << c.max << " steps " << c.steps;
  }
  GL_LongRatio r{};
  GL_SetLongRatioFromDouble(M_PI, &r);
  EXPECT_NEAR(double(r.n) / r.d, M_PI, 1e-9);
}

TEST(GeneralIntegers, Reduce32bitFactors) {
  Boolean reduce1 = false, reduce2 = false;
  double factor1 = -1, factor2 = -1;
  GL_Reduce32bitFactors(100000, 100000, &reduce1, &reduce2, &factor1, &factor2);
  double limit = 2147483647.0 / 1e10;
  double s = std::sqrt(0.9 * limit);
  EXPECT_TRUE(reduce1);
  EXPECT_TRUE(reduce2);
  EXPECT_DOUBLE_EQ(factor2, s);
  EXPECT_DOUBLE_EQ(factor1, s * limit);

  // Very different sizes: only the larger one is reduced, the other factor is left alone.
  factor1 = factor2 = -1;
  GL_Reduce32bitFactors(1000000000, 10, &reduce1, &reduce2, &factor1, &factor2);
  EXPECT_TRUE(reduce1);
  EXPECT_FALSE(reduce2);
  EXPECT_DOUBLE_EQ(factor1, 0.9 * 2147483647.0 / 1e10);
  EXPECT_EQ(factor2, -1);
  factor1 = factor2 = -1;
  GL_Reduce32bitFactors(10, 1000000000, &reduce1, &reduce2, &factor1, &factor2);
  EXPECT_FALSE(reduce1);
  EXPECT_TRUE(reduce2);
  EXPECT_EQ(factor1, -1);

  GL_Reduce32bitFactors(0, 5, &reduce1, &reduce2, &factor1, &factor2);
  EXPECT_FALSE(reduce1);
  EXPECT_FALSE(reduce2);
}

TEST(GeneralIntegers, MultiplyDivide) {
  SInt32 rem = 0;
  // The product (3e9) passes 32 bits; the quotient does not.
  EXPECT_EQ(GL_MultiplyDivide(100000, 30000, 7, &rem), 428571428);
  EXPECT_EQ(rem, 4);
  EXPECT_EQ(GL_MultiplyDivide(-6, 7, 4, nullptr), -10);
}

TEST(GeneralFixedSums, RoundedQuotientsAddUpExactly) {
  // Thirds: each rounds to 21845 (0.33333), three add to 65535: one entry must be raised.
  const SInt32 n1[] = {1, 1, 1};
  const SInt32 d1[] = {3, 3, 3};
  Fixed result[3];
  ASSERT_EQ(GL_RoundFixedNumberListToExactSum(n1, d1, 3, fixed1, result), noErr);
  EXPECT_EQ(SInt64(result[0]) + result[1] + result[2], fixed1);
  for (Fixed r : result) EXPECT_LE(std::abs(r - 21845), 1);

  // 2/3 rounds up (43691, 5/16 of a unit too much), 1/2 is exact: lowering by one takes a 2/3 entry.
  const SInt32 n2[] = {2, 1, 2};
  const SInt32 d2[] = {3, 2, 3};
  ASSERT_EQ(GL_RoundFixedNumberListToExactSum(n2, d2, 3, 120149, result), noErr);
  EXPECT_EQ(result[0], 43690);
  EXPECT_EQ(result[1], 32768);
  EXPECT_EQ(result[2], 43691);

  // Already exact: untouched.
  const SInt32 n3[] = {1, 1};
  const SInt32 d3[] = {2, 4};
  ASSERT_EQ(GL_RoundFixedNumberListToExactSum(n3, d3, 2, 49152, result), noErr);
  EXPECT_EQ(result[0], 32768);
  EXPECT_EQ(result[1], 16384);

  const SInt32 d4[] = {3, 0, 3};
  EXPECT_EQ(GL_RoundFixedNumberListToExactSum(n1, d4, 3, fixed1, result), 4);

  PL_FailAllocationAfter(1);
  EXPECT_EQ(GL_RoundFixedNumberListToExactSum(n1, d1, 3, fixed1, result), memFullErr);
  PL_FailAllocationAfter(0);
}

TEST(GeneralFixedSums, BestBinaryInverse) {
  struct Case {
    SInt32 num, den;
  } cases[] = {{1, 3}, {3, 1}, {2, 3}, {7, 11}, {-5, 9}, {720, 704}, {4, 4}, {1, 1000}};
  for (const Case &c : cases) {
    Fixed factor = 0, inverse = 0;
    ASSERT_EQ(GL_GetBestBinaryInverse(c.num, c.den, &factor, &inverse), noErr);
    double exactFactor = double(c.num) / c.den;
    EXPECT_LE(std::fabs(Fix2X(factor) - exactFactor), 2.0 / 65536) << c.num << "/" << c.den;
    EXPECT_LE(std::fabs(Fix2X(inverse) - 1.0 / exactFactor), 2.0 / 65536) << c.num << "/" << c.den;
    // Never further from 1.0 than the plain quotients.
    Fixed plainF = FixDiv(std::abs(c.num), std::abs(c.den));
    Fixed plainI = FixDiv(std::abs(c.den), std::abs(c.num));
    EXPECT_LE(std::abs(FixMul(std::abs(factor), std::abs(inverse)) - fixed1), std::abs(FixMul(plainF, plainI) - fixed1));
    EXPECT_EQ(factor < 0, exactFactor < 0);
    EXPECT_EQ(inverse < 0, exactFactor < 0);
  }
  Fixed f, i;
  EXPECT_EQ(GL_GetBestBinaryInverse(0, 3, &f, &i), 4);
  EXPECT_EQ(GL_GetBestBinaryInverse(3, 0, &f, &i), 4);
  // 1/3 and 3: raising 21845 would overshoot 1.0 by more than it falls short, so nothing changes.
  ASSERT_EQ(GL_GetBestBinaryInverse(1, 3, &f, &i), noErr);
  EXPECT_EQ(f, 21845);
  EXPECT_EQ(i, 3 * fixed1);
  // A one-unit nudge that makes the product exactly 1.0 is kept: the inverse raised, the factor lowered.
  struct Nudge {
    SInt32 num, den;
    Fixed factor, inverse;
  } nudges[] = {{7, 12, 38229, 112348}, {11, 13, 55453, 77452}, {-11, 13, -55453, -77452}};
  for (const Nudge &c : nudges) {
    ASSERT_EQ(GL_GetBestBinaryInverse(c.num, c.den, &f, &i), noErr);
    EXPECT_EQ(f, c.factor) << c.num << "/" << c.den;
    EXPECT_EQ(i, c.inverse) << c.num << "/" << c.den;
  }
}

TEST(GeneralIntegers, ClosestSum) {
  const SInt32 entries[] = {5, 9, 3, 7};
  SInt32 sum = 0;
  SInt32 chosen[4] = {-1, -1, -1, -1};
  GL_GetClosestSum(entries, 4, 16, &sum, chosen);
  EXPECT_EQ(sum, 15);  // 5 + 3 + 7 (16 itself is not allowed)
  SInt32 total = 0;
  for (SInt32 v : chosen) total += v;
  EXPECT_EQ(total, 15);

  sum = 10;
  chosen[0] = 42;
  GL_GetClosestSum(entries, 4, 12, &sum, chosen);
  EXPECT_EQ(sum, 10);  // nothing fits below 12 besides 10 itself
  EXPECT_EQ(chosen[0], 42);
}

TEST(GeneralDigitArrays, Arithmetic) {
  auto digits = [](const char *s) {
    std::vector<UInt8> d;
    for (; *s; ++s) d.push_back(UInt8(*s - '0'));
    return d;
  };
  std::vector<UInt8> a = digits("0999");
  GL_AddDigitArrays(a.data(), digits("0001").data(), 4);
  EXPECT_EQ(a, digits("1000"));
  GL_AddDigitArrays(a.data(), digits("9000").data(), 4);  // the final carry drops
  EXPECT_EQ(a, digits("0000"));
  a = digits("1000");
  GL_SubtractDigitArrays(a.data(), digits("0001").data(), 4);
  EXPECT_EQ(a, digits("0999"));
  a = digits("0000");
  GL_SubtractDigitArrays(a.data(), digits("0001").data(), 4);  // the final borrow drops
  EXPECT_EQ(a, digits("9999"));
  a = digits("0498");
  GL_MultiplyDigitArray(a.data(), 4, 2);
  EXPECT_EQ(a, digits("0996"));
  a = digits("0123");
  GL_MultiplyDigitArray(a.data(), 4, 25);
  EXPECT_EQ(a, digits("3075"));
  EXPECT_EQ(GL_CompareDigitArrays(digits("0123").data(), digits("0124").data(), 4), -1);
  EXPECT_EQ(GL_CompareDigitArrays(digits("1123").data(), digits("0124").data(), 4), 1);
  EXPECT_EQ(GL_CompareDigitArrays(digits("0124").data(), digits("0124").data(), 4), 0);
  a = digits("1001");
  UInt8 rest = 99;
  GL_DivideDigitArray(a.data(), 4, 7, &rest);
  EXPECT_EQ(a, digits("0143"));
  EXPECT_EQ(rest, 0);
  GL_DivideDigitArray(a.data(), 4, 2, &rest);
  EXPECT_EQ(a, digits("0071"));
  EXPECT_EQ(rest, 1);
  GL_DivideDigitArray(a.data(), 4, 0, &rest);  // refused, unchanged
  EXPECT_EQ(a, digits("0071"));
}

TEST(GeneralPartitions, EnumeratesEveryOrderedPartitionOnce) {
  struct Case {
    int sum, width, count;  // count = C(sum + width - 1, width - 1)
  } cases[] = {{2, 3, 6}, {3, 2, 4}, {4, 4, 35}, {1, 5, 5}};
  for (const Case &c : cases) {
    std::vector<int> p(size_t(c.width));
    int cursor = 0;
    GL_InitializePartition(p.data(), c.sum, c.width, &cursor);
    std::set<std::vector<int>> seen;
    int visits = 0;
    while (cursor >= 0 && visits < 1000) {
      int total = 0;
      for (int v : p) {
        EXPECT_GE(v, 0);
        total += v;
      }
      EXPECT_EQ(total, c.sum);
      seen.insert(p);
      ++visits;
      GL_GetNextPartition(p.data(), c.sum, c.width, &cursor);
    }
    EXPECT_EQ(visits, c.count) << "sum " << c.sum << " width " << c.width;
    EXPECT_EQ(int(seen.size()), c.count);
  }
  // The last partition has everything in the first entry.
  int p[3];
  int cursor;
  GL_InitializePartition(p, 2, 3, &cursor);
  std::vector<int> last;
  while (cursor >= 0) {
    last.assign(p, p + 3);
    GL_GetNextPartition(p, 2, 3, &cursor);
  }
  EXPECT_EQ(last, (std::vector<int>{2, 0, 0}));
}

struct SignedCollector {
  std::vector<std::vector<int>> seen;
  size_t stopAfter = 0;
};

void CollectSigned(int *partition, int width, void *data, Boolean *finished) {
  auto *c = static_cast<SignedCollector *>(data);
  c->seen.emplace_back(partition, partition + width);
  if (c->stopAfter != 0 && c->seen.size() >= c->stopAfter) *finished = true;
}

TEST(GeneralPartitions, SignedCombinations) {
  int partition[4] = {2, 0, 1, 0};
  int signs[2] = {0, 0};
  SignedCollector collector;
  Boolean finished = false;
  GL_SignedPartitionRecursion(partition, 4, 2, 0, signs, CollectSigned, &collector, &finished);
  std::vector<std::vector<int>> expected = {{2, 0, 1, 0}, {2, 0, -1, 0}, {-2, 0, 1, 0}, {-2, 0, -1, 0}};
  EXPECT_EQ(collector.seen, expected);
  EXPECT_EQ(std::vector<int>(partition, partition + 4), (std::vector<int>{2, 0, 1, 0}));  // left unsigned

  SignedCollector stopping;
  stopping.stopAfter = 1;
  finished = false;
  GL_SignedPartitionRecursion(partition, 4, 2, 0, signs, CollectSigned, &stopping, &finished);
  EXPECT_EQ(stopping.seen.size(), 1u);

  int zeros[2] = {0, 0};
  SignedCollector once;
  finished = false;
  GL_SignedPartitionRecursion(zeros, 2, 0, 0, signs, CollectSigned, &once, &finished);
  EXPECT_EQ(once.seen.size(), 1u);

  int direct[3] = {3, 0, 4};
  const int signList[2] = {-1, 1};
  GL_AddSignsToPartition(direct, 3, signList);
  EXPECT_EQ(std::vector<int>(direct, direct + 3), (std::vector<int>{-3, 0, 4}));
}

}  // namespace
