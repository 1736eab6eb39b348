// Measuring the noise of one frame for the automatic settings: the level of uniform noise, unusable blocks,
// the 10 % rule, the quietest blocks, the samples each filter kind takes, the level matching and the
// averaged spectrum.
#include "methods/noise_analysis.h"

#include "methods/noise_tables.h"
#include "rn_test_params.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <random>
#include <vector>

namespace {

using bz_test::RnTestParams;

constexpr float kInf = std::numeric_limits<float>::infinity();

// A run's parameters for measuring: random tables (seeded), ten spectrum rows per kind and channel, the
// block arrays, and a frame of inWidth x inHeight with the measuring rectangle selRect (picture coordinates).
class Measuring {
 public:
  Measuring(SInt32 inWidth, SInt32 inHeight, Rect selRect, bool horizontal, bool vertical) : t_(inWidth, inHeight) {
    BZ_RnParams &p = t_.params;
    p.height = inHeight + 16;
    sett_.horizontal = horizontal;
    sett_.vertical = vertical;
    sett_.useSelRect = true;
    sett_.selRect = selRect;
    p.sett = &sett_;
    p.calcAutoSett = kBZ_RnAutoSettStage;
    p.randomPowerTable8 = tables_.data();
    p.randomPowerTable16 = tables_.data() + 4;
    p.randomPowerTable64 = tables_.data() + 12;
    p.randomPowerTable256 = tables_.data() + 28;
    static std::vector<float> built;
    if (built.empty()) {
      BZ_RnSetNoiseTablesSeed(true, 7);
      BZ_RnCreate1DRandomPowerTable8(&p);
      BZ_RnCreate1DRandomPowerTable16(&p);
      BZ_RnCreate2DRandomPowerTable64(&p);
      BZ_RnCreate2DRandomPowerTable256(&p);
      BZ_RnSetNoiseTablesSeed(false, 0);
      built = tables_;
    }
    tables_ = built;
    const int sizes[4][3] = {{8, 4, 4}, {8, 8, 8}, {64, 16, 16}, {16, 8, 8}};
    float **fields[4] = {p.noiseSpectr16H, p.noiseSpectr16V, p.noiseSpectr2D, p.noiseSpectr2Dadd};
    for (int k = 0; k < 4; ++k)
      for (int c = 0; c < 3; ++c) {
        spectra_.emplace_back(size_t(10 * sizes[k][c]), 0.0f);
        fields[k][c] = spectra_.back().data();
      }
    EXPECT_EQ(noErr, BZ_RnAllocMeasuring(&p, nullptr));
    frame.assign(size_t(p.width) * p.height * 2, 0);
  }
  ~Measuring() {
    for (auto &levels : t_.params.indNoiseLevels) std::free(levels);
  }
  BZ_RnParams &params() { return t_.params; }
  // Sets every byte of the picture area (buffer coordinates) from pattern(line, byte).
  void Fill(const std::function<UInt8(SInt32, SInt32, std::mt19937 &)> &pattern) {
    std::mt19937 rng(bz_test::TestSeed());
    const SInt32 rowBytes = 2 * t_.params.width;
    for (SInt32 y = 0; y < t_.params.height; ++y)
      for (SInt32 b = 0; b < rowBytes; ++b) frame[size_t(y) * rowBytes + b] = pattern(y, b, rng);
  }
  // The frame's three levels for the settings' kind, as sample 0.
  void Measure(float levels[3]) {
    float *out[3] = {&levels[0], &levels[1], &levels[2]};
    if (sett_.horizontal && sett_.vertical)
      BZ_RnGetFrame2DNoiseLevel(&t_.params, frame.data(), 0, out);
    else if (sett_.horizontal)
      BZ_RnGetFrameHorizNoiseLevel(&t_.params, frame.data(), 0, out);
    else
      BZ_RnGetFrameVertNoiseLevel(&t_.params, frame.data(), 0, out);
  }
  std::vector<UInt8> frame;

 private:
  RnTestParams t_;
  BZ_Rn_Sett sett_{};
  std::vector<float> tables_ = std::vector<float>(4 + 8 + 16 + 64, 0.0f);
  std::vector<std::vector<float>> spectra_;
};

UInt8 Noise39(std::mt19937 &rng) { return UInt8(128 + int(rng() % 79) - 39); }

TEST(RnNoiseMeasuring, UniformNoiseOfAmplitude39MeasuresAbout39InEveryKind) {
  // A selection of 48 x 24 pixels: 5 x 2 = 10 blocks, all used.
  struct Kind {
    const char *name;
    bool horizontal, vertical;
  };
  for (const Kind &k : {Kind{"2-D", true, true}, Kind{"horizontal", true, false}, Kind{"vertical", false, true}}) {
    Measuring m(96, 64, Rect{20, 24, 44, 72}, k.horizontal, k.vertical);
    m.Fill([](SInt32, SInt32, std::mt19937 &rng) { return Noise39(rng); });
    float levels[3];
    m.Measure(levels);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(levels[c], 39.0f, 39.0f * 0.15f) << k.name << ", channel " << c;
  }
}

TEST(RnNoiseMeasuring, BlackOrWhiteSelectionMeasuresInfinity) {
  for (UInt8 y : {UInt8(16), UInt8(235), UInt8(48), UInt8(208)}) {
    Measuring m(96, 64, Rect{20, 24, 44, 72}, true, true);
    m.Fill([y](SInt32, SInt32 b, std::mt19937 &rng) { return b & 1 ? y : Noise39(rng); });
    float levels[3];
    m.Measure(levels);
    EXPECT_EQ(levels[0], kInf) << "luma " << int(y);
    EXPECT_TRUE(std::isfinite(levels[1]));
  }
}

// A black frame with noisy islands of luma mean 90 exactly under some blocks of a 20-block grid (an 88 x 24
// selection: 10 x 2 blocks, 8 pixels and 12 lines apart): neighbours overlap an island by at most half, so
// their mean stays below 48 and only the island blocks are usable.
struct Islands {
  Measuring m{128, 64, Rect{20, 24, 44, 112}, true, true};
  std::vector<int> blocks;
  explicit Islands(std::vector<int> b) : blocks(std::move(b)) {
    const SInt32 top = 28, left = 32;  // the selection in buffer coordinates
    m.Fill([&](SInt32 y, SInt32 byte, std::mt19937 &rng) -> UInt8 {
      if (!(byte & 1)) return 128;
      const SInt32 x = byte / 2;
      for (int i : blocks) {
        const SInt32 bx = left + 8 * (i % 10), by = top + 12 * (i / 10);
        if (x >= bx && x < bx + 16 && y >= by && y < by + 16) return UInt8(90 + int(rng() % 41) - 20);
      }
      return 0;
    });
  }
  // The matching level of block i alone, from its own samples.
  float BlockLevel(int i, float *bins) {
    const SInt32 top = 28, left = 32, rowBytes = 2 * m.params().width;
    UInt8 bytes[256];
    for (int l = 0; l < 16; ++l)
      for (int s = 0; s < 16; ++s)
        bytes[16 * l + s] = m.frame[size_t(top + 12 * (i / 10) + l) * rowBytes + 2 * (left + 8 * (i % 10) + s) + 1];
    float mean, add[16], nonRandomNess;
    BZ_RnCalcNoisePower256(m.params().M16, bytes, bins, &mean, add);
    return BZ_RnGetMatchingRandomNoiseLevel(&m.params(), bins, 64, &nonRandomNess);
  }
};

TEST(RnNoiseMeasuring, TenPercentUsableBlocksAreMeasuredFewerAreNot) {
  Islands two({0, 4});
  float levels[3];
  two.m.Measure(levels);
  EXPECT_TRUE(std::isfinite(levels[0])) << "2 of 20 blocks usable";
  Islands one({0});
  one.m.Measure(levels);
  EXPECT_EQ(levels[0], kInf) << "1 of 20 blocks usable";
}

TEST(RnNoiseMeasuring, FewerThanTenUsableBlocksAverageThoseThatExist) {
  Islands three({0, 4, 17});
  float levels[3], a[64], b[64], c[64];
  three.m.Measure(levels);
  const float expected = (three.BlockLevel(0, a) + three.BlockLevel(4, b) + three.BlockLevel(17, c)) / 3;
  EXPECT_NEAR(levels[0], expected, 1e-4f * expected);
  // The sample's spectrum row holds the sum of the three blocks' bins.
  const float *row = three.m.params().noiseSpectr2D[0];
  for (int i = 0; i < 64; ++i) EXPECT_NEAR(row[i], a[i] + b[i] + c[i], 1e-3f * (a[i] + b[i] + c[i]) + 1e-3f) << i;
}

TEST(RnNoiseMeasuring, HorizontalKindTakesTheFirstLineOfEachBlockOnly) {
  // Blocks start on lines 28 and 40 (12 apart): noise only on those lines measures as noise horizontally and
  // not at all when every other line carries it (the quietest half of 20 short vectors reads somewhat low).
  struct Case {
    const char *name;
    bool onFirstLines;
    float low, high;
  };
  for (const Case &c : {Case{"noise on the first lines", true, 25, 45}, Case{"noise elsewhere", false, 0, 0.001f}}) {
    Measuring m(128, 64, Rect{20, 24, 44, 112}, true, false);
    m.Fill([&](SInt32 y, SInt32, std::mt19937 &rng) {
      const bool first = y == 28 || y == 40;
      return first == c.onFirstLines ? Noise39(rng) : UInt8(128);
    });
    float levels[3];
    m.Measure(levels);
    for (int ch = 0; ch < 3; ++ch) {
      EXPECT_GE(levels[ch], c.low) << c.name << ", channel " << ch;
      EXPECT_LE(levels[ch], c.high) << c.name << ", channel " << ch;
    }
  }
}

TEST(RnNoiseMeasuring, MatchingLevelScalesWithTheRootOfThePowerRatio) {
  Measuring m(96, 64, Rect{20, 24, 44, 72}, true, true);
  BZ_RnParams &p = m.params();
  struct Case {
    int bins;
    const float *table;
  };
  for (const Case &c : {Case{4, p.randomPowerTable8}, Case{8, p.randomPowerTable16}, Case{16, p.randomPowerTable64},
                        Case{64, p.randomPowerTable256}}) {
    std::vector<float> measured(c.table, c.table + c.bins);
    for (float &v : measured) v *= 4;  // twice the amplitude
    float nonRandomNess = -1;
    EXPECT_NEAR(BZ_RnGetMatchingRandomNoiseLevel(&p, measured.data(), c.bins, &nonRandomNess), 78.0f, 1e-3f) << c.bins;
    EXPECT_NEAR(nonRandomNess, 0.0f, 1e-5f);
    // All power in one bin: same level from the same total, but far from random.
    float total = 0;
    for (float v : measured) total += v;
    std::vector<float> peaked(size_t(c.bins), 0.0f);
    peaked[1] = total;
    EXPECT_NEAR(BZ_RnGetMatchingRandomNoiseLevel(&p, peaked.data(), c.bins, &nonRandomNess), 78.0f, 1e-2f);
    EXPECT_GT(nonRandomNess, 0.5f);
    std::vector<float> none(size_t(c.bins), 0.0f);
    EXPECT_EQ(BZ_RnGetMatchingRandomNoiseLevel(&p, none.data(), c.bins, &nonRandomNess), 0.0f);
    EXPECT_EQ(nonRandomNess, 0.0f);
  }
  // Tables not made yet: no finite level.
  std::vector<float> empty(4, 0.0f), measured(4, 1.0f);
  p.randomPowerTable8 = empty.data();
  float nonRandomNess;
  EXPECT_EQ(BZ_RnGetMatchingRandomNoiseLevel(&p, measured.data(), 4, &nonRandomNess), kInf);
}

TEST(RnNoiseMeasuring, AverageSpectrumLeavesOutFlaggedSamples) {
  struct Case {
    std::vector<Boolean> flags;
    bool averaged;
    float bin0;  // row 0's first bin afterwards
  };
  // Rows s hold (s + 1) x (1, 2).
  const Case cases[] = {
      {{0, 0, 0}, true, 2.0f},  // (1 + 2 + 3) / 3
      {{0, 1, 0}, true, 2.0f},  // (1 + 3) / 2
      {{1, 0, 0}, true, 2.5f},  // (2 + 3) / 2
      {{0, 0, 1}, true, 1.5f},
      {{1, 1, 1}, false, 1.0f},  // nothing to average: row 0 stays
  };
  for (const Case &c : cases) {
    float rows[6] = {1, 2, 2, 4, 3, 6};
    EXPECT_EQ(c.averaged, bool(BZ_CalcAverageNoiseSpectrum(3, c.flags.data(), rows, 2)));
    EXPECT_FLOAT_EQ(rows[0], c.bin0);
    EXPECT_FLOAT_EQ(rows[1], 2 * c.bin0);
    EXPECT_TRUE(std::isfinite(rows[0]));
  }
}

TEST(RnNoiseMeasuring, SelectionTooSmallForABlockMeasuresInfinity) {
  Measuring m(96, 64, Rect{20, 24, 30, 34}, true, true);
  m.Fill([](SInt32, SInt32, std::mt19937 &rng) { return Noise39(rng); });
  float levels[3] = {0, 0, 0};
  m.Measure(levels);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(levels[c], kInf) << "no block, not 0 / 0";
}

}  // namespace
