// The standard generator's sequence is the platform's own, so these tests check properties over fixed
// seeds (ranges, permutations, sums, frequencies within bounds), never a remembered sequence.
#include "general/random_numbers.h"

#include "platform/core/mac_errors.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <set>
#include <string>
#include <vector>

namespace {

class GeneralRandomNumbers : public ::testing::Test {
 protected:
  void SetUp() override { srandom(bz_test::TestSeed()); }
};

TEST_F(GeneralRandomNumbers, DrawsStayInTheirRanges) {
  BZ_KERNEL_SEED_TRACE();
  std::set<int> seen;
  for (int i = 0; i < 2000; ++i) {
    SInt32 mod = GL_RandomMod(7);
    EXPECT_TRUE(mod >= 0 && mod < 7) << mod;
    int range = GL_RandModRange(-3, 2);
    EXPECT_TRUE(range >= -3 && range < 2) << range;
    seen.insert(range);
    int index = GL_RandModIndex(5);
    EXPECT_TRUE(index >= 1 && index <= 5) << index;
    float f = GL_RandomFloat();
    EXPECT_TRUE(f >= 0.0f && f < 1.0f) << f;
    float g = GL_RandomFloatRange(-2.0f, 6.0f);
    EXPECT_TRUE(g >= -2.0f && g < 6.0f) << g;
  }
  EXPECT_EQ(seen.size(), 5u) << "every value of the range comes up";
}

TEST_F(GeneralRandomNumbers, OrderIsAPermutation) {
  BZ_KERNEL_SEED_TRACE();
  for (SInt32 size : {1, 2, 4, 9, 50}) {
    for (int round = 0; round < 20; ++round) {
      std::vector<SInt32> order(size_t(size), -1);
      GL_RandomOrder(order.data(), size);
      std::vector<SInt32> sorted = order;
      std::sort(sorted.begin(), sorted.end());
      std::vector<SInt32> expected(static_cast<size_t>(size));
      std::iota(expected.begin(), expected.end(), 1);
      ASSERT_EQ(sorted, expected) << "size " << size;
    }
  }
  // Every arrangement of 3 turns up.
  std::set<std::vector<SInt32>> arrangements;
  for (int round = 0; round < 300; ++round) {
    std::vector<SInt32> order(3);
    GL_RandomOrder(order.data(), 3);
    arrangements.insert(order);
  }
  EXPECT_EQ(arrangements.size(), 6u);
}

TEST_F(GeneralRandomNumbers, DistributionPartsArePositiveAndAddUp) {
  BZ_KERNEL_SEED_TRACE();
  const struct {
    SInt32 size, total;
  } cases[] = {{1, 1}, {1, 500}, {3, 3}, {4, 10}, {7, 100}, {10, 11}, {25, 1000}, {100, 100}, {5, 2000000000}};
  for (const auto &c : cases) {
    for (int round = 0; round < 30; ++round) {
      std::vector<SInt32> parts(size_t(c.size), -1);
      GL_RandomDistribution(parts.data(), c.size, c.total);
      SInt64 sum = 0;
      for (SInt32 part : parts) {
        EXPECT_GE(part, 1);
        sum += part;
      }
      EXPECT_EQ(sum, c.total) << c.size << " parts of " << c.total;
    }
  }
  // A total below the number of parts cannot be met: every part stays 1 (and the call ends).
  std::vector<SInt32> parts(6);
  GL_RandomDistribution(parts.data(), 6, 4);
  for (SInt32 part : parts) EXPECT_EQ(part, 1);
}

TEST_F(GeneralRandomNumbers, SeriesOneAndTwoRespectTheBounds) {
  const SInt32 testMin[3] = {0, -5, 100}, testMax[3] = {2, 5, 101};
  std::vector<SInt32> tests(3 * 50);
  GL_GenerateRandomTestSeries1(50, 3, testMin, testMax, tests.data());
  for (size_t i = 0; i < tests.size(); ++i)
    EXPECT_TRUE(tests[i] >= testMin[i % 3] && tests[i] < testMax[i % 3]) << i;

  const OSType types[3] = {'long', 'flt ', 'bool'};
  const char *const names[3] = {"width", "gain", "flag"};
  std::vector<SInt32> rows(3 * 2);
  ::testing::internal::CaptureStdout();
  GL_GenerateRandomTestSeries2("sizes", 2, 3, types, names, testMin, testMax, true, true, rows.data());
  std::string printed = ::testing::internal::GetCapturedStdout();
  std::string expected =
      "Generating random values for test \"sizes\"\n"
      "numTests = 2, testSize = 3\n"
      "Test value types: 'long', 'flt ', 'bool'\n"
      "Test value names: width, gain, flag\n";
  for (int t = 0; t < 2; ++t) {
    expected += "Test " + std::to_string(t) + ": " + std::to_string(rows[t * 3]) + ", " +
                std::to_string(rows[t * 3 + 1]) + ", " + std::to_string(rows[t * 3 + 2]) + "\n";
  }
  expected += "\n";
  EXPECT_EQ(printed, expected);

  // Without the arrays their lines are left out; without the flags nothing is printed.
  ::testing::internal::CaptureStdout();
  GL_GenerateRandomTestSeries2("quiet", 2, 3, nullptr, nullptr, testMin, testMax, false, true, rows.data());
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "Generating random values for test \"quiet\"\nnumTests = 2, testSize = 3\n");
  ::testing::internal::CaptureStdout();
  GL_GenerateRandomTestSeries2("silent", 2, 3, types, names, testMin, testMax, false, false, rows.data());
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
}

Boolean SumIsEven(SInt32 testSize, const SInt32 *row) {
  SInt32 sum = 0;
  for (SInt32 p = 0; p < testSize; ++p) sum += row[p];
  return sum % 2 == 0;
}

Boolean NeverAccepts(SInt32, const SInt32 *) { return false; }

Boolean FirstNotZero(SInt32, const SInt32 *row) { return row[0] != 0; }

TEST_F(GeneralRandomNumbers, SeriesThreeGivesDistinctValidRowsOrSaysWhyNot) {
  BZ_KERNEL_SEED_TRACE();
  const SInt32 testMin[2] = {0, 0}, testMax[2] = {4, 5};  // 20 distinct rows, 10 with an even sum
  std::vector<SInt32> tests(2 * 10, -1);
  ASSERT_EQ(GL_GenerateRandomTestSeries3(10, 2, testMin, testMax, SumIsEven, tests.data()), noErr);
  std::set<std::pair<SInt32, SInt32>> rows;
  for (int t = 0; t < 10; ++t) {
    EXPECT_EQ((tests[2 * t] + tests[2 * t + 1]) % 2, 0);
    rows.insert({tests[2 * t], tests[2 * t + 1]});
  }
  EXPECT_EQ(rows.size(), 10u) << "all ten even rows, each once";

  // More rows than the bounds allow: the 20 possible ones are drawn, then the series stops.
  std::vector<SInt32> tooMany(2 * 21, -1);
  EXPECT_EQ(GL_GenerateRandomTestSeries3(21, 2, testMin, testMax, nullptr, tooMany.data()), paramErr);
  rows.clear();
  for (int t = 0; t < 20; ++t) rows.insert({tooMany[2 * t], tooMany[2 * t + 1]});
  EXPECT_EQ(rows.size(), 20u);
  EXPECT_EQ(tooMany[40], -1);

  // More than the validator allows (10 even rows) or nothing acceptable: it gives up after its draws.
  std::vector<SInt32> eleven(2 * 11);
  EXPECT_EQ(GL_GenerateRandomTestSeries3(11, 2, testMin, testMax, SumIsEven, eleven.data()), paramErr);
  EXPECT_EQ(GL_GenerateRandomTestSeries3(3, 2, testMin, testMax, NeverAccepts, eleven.data()), paramErr);
  const SInt32 emptyMax[2] = {4, 0};
  EXPECT_EQ(GL_GenerateRandomTestSeries3(1, 2, testMin, emptyMax, nullptr, eleven.data()), paramErr);
}

TEST_F(GeneralRandomNumbers, FrequenciesOfTheDrawnValues) {
  BZ_KERNEL_SEED_TRACE();
  const SInt32 testMin[2] = {0, 2}, testMax[2] = {4, 6}, freqSize = 8;
  std::vector<float> freq(2 * freqSize, -1.0f);
  ASSERT_EQ(GL_CalcTestValueFrequencies(4000, 2, testMin, testMax, FirstNotZero, freqSize, freq.data()), noErr);
  EXPECT_EQ(freq[0], 0.0f) << "the validator never lets 0 through at position 0";
  for (int v = 1; v < 4; ++v) EXPECT_NEAR(freq[v], 1.0f / 3, 0.04f) << v;
  for (int v = 2; v < 6; ++v) EXPECT_NEAR(freq[freqSize + v], 0.25f, 0.04f) << v;
  float sum0 = freq[0] + freq[1] + freq[2] + freq[3];
  float sum1 = freq[freqSize + 2] + freq[freqSize + 3] + freq[freqSize + 4] + freq[freqSize + 5];
  EXPECT_NEAR(sum0, 1.0f, 1e-5f);
  EXPECT_NEAR(sum1, 1.0f, 1e-5f);
  EXPECT_EQ(freq[freqSize + 0], -1.0f) << "outside the range nothing is written";
  EXPECT_EQ(freq[4], -1.0f);

  const SInt32 tooWide[2] = {4, 9};
  EXPECT_EQ(GL_CalcTestValueFrequencies(10, 2, testMin, tooWide, nullptr, freqSize, freq.data()), paramErr);
}

TEST_F(GeneralRandomNumbers, SeriesFourFavoursRareValues) {
  BZ_KERNEL_SEED_TRACE();
  // Position 0 observed value 0 in 70 % of earlier rows; positions 1 and 2 just widen the row space.
  const SInt32 testMin[3] = {0, 0, 0}, testMax[3] = {4, 30, 30}, freqSize = 30;
  std::vector<float> freq(3 * freqSize, 0.1f);
  freq[0] = 0.7f;
  freq[1] = freq[2] = freq[3] = 0.1f;
  const int numTests = 400;
  std::vector<SInt32> tests(3 * numTests);
  float maxCorrFactor = 0;
  ASSERT_EQ(GL_GenerateRandomTestSeries4(numTests, 3, testMin, testMax, nullptr, freq.data(), freqSize,
                                         tests.data(), &maxCorrFactor),
            noErr);
  EXPECT_GE(maxCorrFactor, 1.0f);
  int count[4] = {0, 0, 0, 0};
  std::set<std::vector<SInt32>> rows;
  for (int t = 0; t < numTests; ++t) {
    ASSERT_TRUE(tests[3 * t] >= 0 && tests[3 * t] < 4);
    ++count[tests[3 * t]];
    rows.insert({tests[3 * t], tests[3 * t + 1], tests[3 * t + 2]});
  }
  EXPECT_EQ(rows.size(), size_t(numTests)) << "rows are distinct";
  // Shares inverse to the observations: 1/0.7 against 1/0.1, that is 1 : 7 : 7 : 7 of 22.
  EXPECT_NEAR(count[0] / double(numTests), 1.0 / 22, 0.03);
  for (int v = 1; v < 4; ++v) EXPECT_NEAR(count[v] / double(numTests), 7.0 / 22, 0.06) << v;

  // A value never seen (frequency 0) is favoured heavily, yet the flattening leaves every value at least
  // 100 of the 10,000 entries (about 1 %).
  const SInt32 roomyMax[3] = {4, 50, 50}, roomySize = 50;
  std::vector<float> roomyFreq(3 * roomySize, 0.02f);
  roomyFreq[0] = 0.0f;
  roomyFreq[1] = 0.5f;
  roomyFreq[2] = roomyFreq[3] = 0.25f;
  const int roomyTests = 1000;
  std::vector<SInt32> roomy(3 * roomyTests);
  ASSERT_EQ(GL_GenerateRandomTestSeries4(roomyTests, 3, testMin, roomyMax, nullptr, roomyFreq.data(), roomySize,
                                         roomy.data(), &maxCorrFactor),
            noErr);
  std::fill(std::begin(count), std::end(count), 0);
  for (int t = 0; t < roomyTests; ++t) ++count[roomy[3 * t]];
  EXPECT_GT(count[0], roomyTests * 85 / 100);
  for (int v = 1; v < 4; ++v) EXPECT_GT(count[v], 0) << v;

  // Wide ranges cannot give every value 100 entries: the flattening still ends.
  const SInt32 wideMax[3] = {200, 10, 10};
  std::vector<float> wideFreq(3 * 200, 0.005f);
  ASSERT_EQ(GL_GenerateRandomTestSeries4(50, 3, testMin, wideMax, nullptr, wideFreq.data(), 200, tests.data(),
                                         &maxCorrFactor),
            noErr);

  EXPECT_EQ(GL_GenerateRandomTestSeries4(3, 3, testMin, testMax, NeverAccepts, freq.data(), freqSize,
                                         tests.data(), &maxCorrFactor),
            paramErr);
  EXPECT_EQ(GL_GenerateRandomTestSeries4(1, 3, testMin, wideMax, nullptr, freq.data(), freqSize, tests.data(),
                                         &maxCorrFactor),
            paramErr)
      << "a range beyond the frequency table";
}

}  // namespace
