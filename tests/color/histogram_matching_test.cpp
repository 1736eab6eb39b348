#include "color/histogram_matching.h"

#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <vector>

namespace {

using Histogram = std::array<UInt32, 256>;
using Table = std::array<UInt8, 256>;

Table Match(const Histogram &count1, const Histogram &count2) {
  Table table;
  table.fill(0xAA);
  CO_MatchHistograms(count1.data(), count2.data(), table.data());
  return table;
}

void ExpectRising(const Table &table) {
  for (int i = 1; i < 256; ++i) ASSERT_GE(table[i], table[i - 1]) << "level " << i;
}

TEST(ColorHistogramMatching, EqualHistogramsGiveTheIdentityOnTheirLevels) {
  BZ_KERNEL_SEED_TRACE();
  std::uniform_int_distribution<int> count(0, 50);
  for (int round = 0; round < 20; ++round) {
    Histogram h{};
    for (int i = 20; i < 230; ++i) h[i] = i % 3 == 0 ? 0 : UInt32(count(bz_test::Rng()));
    Table table = Match(h, h);
    for (int i = 0; i < 256; ++i) {
      if (h[i] != 0) {
        ASSERT_EQ(table[i], i) << "level " << i;
      }
    }
    ExpectRising(table);
  }
}

TEST(ColorHistogramMatching, SingleLevelsAndTheFilledGaps) {
  Histogram at100{}, at150{};
  at100[100] = 5000;
  at150[150] = 5000;
  Table table = Match(at100, at150);
  EXPECT_EQ(table[100], 150);
  for (int k = 0; k < 100; ++k) EXPECT_EQ(table[k], 149 * k / 100 + 1) << k;  // 1 .. 148
  for (int k = 101; k < 256; ++k) EXPECT_EQ(table[k], 104 * (k - 101) / 155 + 151) << k;  // 151 .. 254
  EXPECT_EQ(table[0], 1);
  EXPECT_EQ(table[99], 148);
  EXPECT_EQ(table[101], 151);
  EXPECT_EQ(table[255], 254);

  // Neighbours one level apart: the gap is split at its middle.
  Histogram two{}, adjacent{};
  two[10] = two[20] = 100;
  adjacent[10] = adjacent[11] = 100;
  table = Match(two, adjacent);
  EXPECT_EQ(table[10], 10);
  EXPECT_EQ(table[20], 11);
  for (int k = 11; k <= 15; ++k) EXPECT_EQ(table[k], 10) << k;
  for (int k = 16; k <= 19; ++k) EXPECT_EQ(table[k], 11) << k;
  // Neighbours on the same level: the gap takes it.
  Histogram same{};
  same[40] = 200;
  table = Match(two, same);
  for (int k = 10; k <= 20; ++k) EXPECT_EQ(table[k], 40) << k;
}

TEST(ColorHistogramMatching, ShiftedHistogramMapsOntoItsShift) {
  Histogram low{}, high{};
  for (int i = 50; i < 100; ++i) {
    low[i] = UInt32(10 + i % 7);
    high[i + 60] = low[i];
  }
  Table table = Match(low, high);
  for (int i = 50; i < 100; ++i) EXPECT_EQ(table[i], i + 60) << i;
  ExpectRising(table);
}

TEST(ColorHistogramMatching, UnequalTotalsAndEmptyHistogramsStayInBounds) {
  Histogram count1{}, fewer{}, empty{};
  for (int i = 0; i < 256; ++i) count1[i] = 10;
  fewer[3] = 5;  // far fewer samples: its cumulative share never reaches count1's
  Table table = Match(count1, fewer);
  EXPECT_EQ(table[255], 255);
  ExpectRising(table);
  table = Match(count1, empty);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(table[i], i) << "identity for an empty second histogram";
  table = Match(empty, count1);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(table[i], i);
}

TEST(ColorHistogramMatching, ColourDistance) {
  EXPECT_EQ(CO_ColorDiff(0x00FF0000, 0x0000FF00), 510);
  EXPECT_EQ(CO_ColorDiff(0x00102030, 0x00102030), 0);
  EXPECT_EQ(CO_ColorDiff(0x00000000, 0x00FFFFFF), 765);
  EXPECT_EQ(CO_ColorDiff(0x00405060, 0x00605040), 64);
  EXPECT_EQ(CO_ColorDiff(0x00605040, 0x00405060), 64);
}

TEST(ColorHistogramMatching, NearestColourSearch) {
  // Sorted in falling order; entry 2 is the first at most the key, entry 3 is the nearest.
  const std::vector<UInt32> list = {0x00A0A0A0, 0x00808080, 0x007F0000, 0x007E7E7E, 0x00100000,
                                    0x007F7F7F /* beyond numListPixels */};
  const SInt32 n = 5;
  EXPECT_EQ(CO_FindMatchForPixel(0x007F7F7E, list.data(), n, -1), 3);
  EXPECT_EQ(CO_FindMatchForPixel(0x00808080, list.data(), n, -1), 1) << "an exact entry";
  EXPECT_EQ(CO_FindMatchForPixel(0x00808080, list.data(), n, 1), 3) << "only entries after index 1";
  EXPECT_EQ(CO_FindMatchForPixel(0x00050505, list.data(), n, -1), -1) << "every entry is greater";
  EXPECT_EQ(CO_FindMatchForPixel(0x007F7F7F, list.data(), n, 3), 4);
  EXPECT_EQ(CO_FindMatchForPixel(0x007F7F7F, list.data(), n, 4), -1) << "nothing after the last entry";
  EXPECT_EQ(CO_FindMatchForPixel(0x007F7F7F, nullptr, n, -1), -1);

  // On random lists the result is never farther than the first candidate and never outside the list.
  BZ_KERNEL_SEED_TRACE();
  std::uniform_int_distribution<UInt32> colour(0, 0xFFFFFF);
  for (int round = 0; round < 200; ++round) {
    std::vector<UInt32> colours(300);
    for (UInt32 &c : colours) c = colour(bz_test::Rng());
    std::sort(colours.begin(), colours.end(), std::greater<UInt32>());
    UInt32 key = colour(bz_test::Rng());
    SInt32 index = CO_FindMatchForPixel(key, colours.data(), SInt32(colours.size()), -1);
    auto first = std::find_if(colours.begin(), colours.end(), [key](UInt32 c) { return c <= key; });
    if (first == colours.end()) {
      EXPECT_EQ(index, -1);
      continue;
    }
    ASSERT_TRUE(index >= 0 && index < SInt32(colours.size()));
    EXPECT_LE(CO_ColorDiff(key, colours[size_t(index)]), CO_ColorDiff(key, *first));
  }
}

TEST(ColorHistogramMatching, Placeholders) {
  double x = -1, nine[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  UInt32 best = 7, worst = 8;
  CO_GetCameraAccuracy(&x, &nine[0], &nine[1], &nine[2], &nine[3], &nine[4], &nine[5], &nine[6], &nine[7], &nine[8],
                       &best, &worst);
  EXPECT_EQ(x, 45.0);
  EXPECT_EQ(best, 7u);
  float wx = 0.25f, wy = 0.5f;
  CO_ColorTempToWhitePoint(6500.0f, &wx, &wy);
  EXPECT_EQ(wx, 0.25f);
  EXPECT_EQ(wy, 0.5f);
}

}  // namespace
