// Averaging's measurements: the relative phase of two lines, the weight search, one sample frame and the
// combination of the samples.
#include "methods/average_measuring.h"

#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

// A textured picture seen through a horizontal displacement (pixel x shows the scene at x - displacement)
// with its own Gaussian noise; every byte of the buffer is picture, margins included.
struct Capture {
  SInt32 width, height;
  std::vector<UInt8> bytes;
};

// Texture everywhere but in a flat strip on the right, where the noise measure finds its quiet blocks.
double Scene(double x, double y) {
  if (x > 290.0) return 100.0 + 0.1 * y;
  return 128.0 + 40.0 * std::sin(0.23 * x + 0.05 * y) + 25.0 * std::sin(0.61 * x - 0.13 * y + 1.0) +
         12.0 * std::sin(1.1 * x + 0.7 * y);
}

Capture MakeCapture(SInt32 width, SInt32 height, double displacement, double noise, uint32_t seed,
                    double brightness = 0.0) {
  Capture c{width, height, std::vector<UInt8>(size_t(width) * 2 * height)};
  std::mt19937 rng(seed);
  std::normal_distribution<double> gauss(0.0, noise > 0.0 ? noise : 1.0);
  for (SInt32 y = 0; y < height; ++y)
    for (SInt32 x = 0; x < width; ++x) {
      const double n = noise > 0.0 ? gauss(rng) : 0.0;
      const double luma = Scene(x - displacement, y) + brightness + n;
      UInt8 *p = &c.bytes[(size_t(y) * width + x) * 2];
      p[0] = UInt8(std::clamp(128.0 + 20.0 * std::sin(0.1 * (x - displacement)), 0.0, 255.0));
      p[1] = UInt8(std::clamp(std::lround(luma), 0L, 255L));
    }
  return c;
}

std::vector<UInt8> IdentityTable() {
  std::vector<UInt8> t(256);
  for (int i = 0; i < 256; ++i) t[i] = UInt8(i);
  return t;
}

TEST(AverageMeasuring, RelativePhaseOfDisplacedLines) {
  const SInt32 width = 200;
  const std::vector<UInt8> table = IdentityTable();
  const struct {
    double displacement;
    float tolerance;
  } cases[] = {{0.0, 0.01f}, {2.0, 0.01f}, {-3.0, 0.01f}, {5.0, 0.01f}, {0.5, 0.15f}, {-1.5, 0.15f}};
  for (const auto &c : cases) {
    const Capture a = MakeCapture(width, 1, 0.0, 0.0, 1), b = MakeCapture(width, 1, c.displacement, 0.0, 1);
    const float phase = BZ_AvGetRelativePhase(184, a.bytes.data(), b.bytes.data(), table.data());
    EXPECT_NEAR(phase, -c.displacement, c.tolerance) << "BZ_AvGetRelativePhase, movie 2 displaced by "
                                                     << c.displacement;
  }
  // A flat line has no minimum to find, nor has one displaced beyond the search.
  const Capture flat{width, 1, std::vector<UInt8>(width * 2, 120)};
  EXPECT_EQ(BZ_AvGetRelativePhase(184, flat.bytes.data(), flat.bytes.data(), table.data()), kBZ_AvNoPhase);
  const Capture a = MakeCapture(width, 1, 0.0, 0.0, 1), far = MakeCapture(width, 1, 12.0, 0.0, 1);
  EXPECT_EQ(BZ_AvGetRelativePhase(184, a.bytes.data(), far.bytes.data(), table.data()), kBZ_AvNoPhase);
}

TEST(AverageMeasuring, HistogramMappingRemovesABrightnessOffset) {
  const Capture a = MakeCapture(120, 300, 0.0, 0.0, 1), b = MakeCapture(120, 300, 0.0, 0.0, 1, 12.0);
  UInt8 table[256];
  BZ_AvCreateHistogramMapping(104, 120, 300, a.bytes.data(), b.bytes.data(), table);
  for (int level : {100, 128, 150}) EXPECT_NEAR(table[level], level + 12, 1) << "level " << level;
  // Matched, the signed difference of a line nearly vanishes.
  const UInt8 *line1 = &a.bytes[size_t(100) * 240], *line2 = &b.bytes[size_t(100) * 240];
  UInt8 identity[256];
  for (int i = 0; i < 256; ++i) identity[i] = UInt8(i);
  EXPECT_NEAR(BZ_AvGetSignedLineDiff(120, line1, line2, identity), -12 * 120, 30);
  EXPECT_LT(std::abs(BZ_AvGetSignedLineDiff(120, line1, line2, table)), 2 * 120);
}

// A scripted noise measure that records the weights it was asked for.
struct ScriptedNoise {
  float (*shape)(float);
  std::vector<float> asked;
};

float AskScript(void *refCon, float weight) {
  auto *s = static_cast<ScriptedNoise *>(refCon);
  s->asked.push_back(weight);
  return s->shape(weight);
}

TEST(AverageMeasuring, WeightSearchRows) {
  struct Case {
    const char *name;
    float (*shape)(float);
    size_t calls;
    float secondRowFirst;  // first weight of the second (fine) row
    float expected;
  };
  const Case cases[] = {
      // Coarse minimum at weight 0: the fine row runs 0 .. 0.5 around centre 0.25.
      {"minimum at 0", [](float w) { return (w + 0.05f) * (w + 0.05f); }, 18, 0.0f, 0.0f},
      {"minimum at 0.4", [](float w) { return (w - 0.4f) * (w - 0.4f); }, 18, 0.125f, 0.4f},
      {"minimum at 1", [](float w) { return (1.2f - w) * (1.2f - w); }, 18, 0.5f, 1.0f},
      // The coarse row sees 0.5; the fine row's minimum at its edge moves it once, by 0.125.
      {"dip off the coarse grid",
       [](float w) { return std::fabs(w - 0.3125f) < 1e-4f ? -1.0f : std::fabs(w - 0.5f); }, 27, 0.25f, 0.3125f},
  };
  for (const Case &c : cases) {
    ScriptedNoise script{c.shape, {}};
    const float weight = BZ_AvSearchBestWeight(AskScript, &script);
    ASSERT_EQ(script.asked.size(), c.calls) << c.name;
    EXPECT_FLOAT_EQ(script.asked[9], c.secondRowFirst) << c.name;
    EXPECT_FLOAT_EQ(script.asked[17], c.secondRowFirst + 0.5f) << c.name;
    EXPECT_NEAR(weight, c.expected, 0.02f) << c.name;
  }
  ScriptedNoise flat{[](float) { return NAN; }, {}};
  const float unmeasured = BZ_AvSearchBestWeight(AskScript, &flat);
  EXPECT_TRUE(unmeasured >= 0.0f && unmeasured <= 1.0f) << "no usable measure still gives a weight, not " << unmeasured;
}

struct SampleFrames {
  SInt32 inWidth = 352, inHeight = 288, width = 368, height = 304;
  BZ_AvParams params{};
  std::vector<float> line = std::vector<float>(BZ_AvTempLineFloats(368));
  SampleFrames() {
    params.inWidth = inWidth;
    params.inHeight = inHeight;
    params.width = width;
    params.height = height;
    params.analysisLine = line.data();
  }
};

TEST(AverageMeasuring, SampleFrameGivesShiftAndWeight) {
  SampleFrames f;
  const struct {
    double displacement, noise1, noise2;
    float shift, weightLo, weightHi;
  } cases[] = {
      {2.0, 6.0, 6.0, -2.0f, 0.4f, 0.6f},   // equal noise: equal weights
      {-1.0, 3.0, 9.0, 1.0f, 0.7f, 0.95f},  // movie 1 the quieter: it weighs more
      {0.5, 9.0, 3.0, -0.5f, 0.05f, 0.3f},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(::testing::Message() << "displacement " << c.displacement);
    const Capture a = MakeCapture(f.width, f.height, 0.0, c.noise1, 11);
    const Capture b = MakeCapture(f.width, f.height, c.displacement, c.noise2, 12);
    const std::vector<UInt8> keep1 = a.bytes, keep2 = b.bytes;
    float shift = 0, bestWeight = 0, weight = 0;
    BZ_GetFrameBestShiftAndWeight(&f.params, a.bytes.data(), b.bytes.data(), &shift, &bestWeight, &weight);
    EXPECT_NEAR(shift, c.shift, 0.15f);
    EXPECT_FLOAT_EQ(weight, std::sqrt(20.0f)) << "every line gave a phase";
    EXPECT_GE(bestWeight, c.weightLo);
    EXPECT_LE(bestWeight, c.weightHi);
    EXPECT_EQ(a.bytes, keep1) << "measuring never changes movie 1";
    EXPECT_EQ(b.bytes, keep2) << "measuring never changes movie 2";
  }
}

TEST(AverageMeasuring, SampleWithoutPhasesHasNoWeight) {
  SampleFrames f;
  const Capture flat{f.width, f.height, std::vector<UInt8>(size_t(f.width) * 2 * f.height, 128)};
  float shift = 7, bestWeight = 7, weight = 7;
  BZ_GetFrameBestShiftAndWeight(&f.params, flat.bytes.data(), flat.bytes.data(), &shift, &bestWeight, &weight);
  EXPECT_EQ(weight, 0.0f);
  EXPECT_EQ(shift, 0.0f);
}

TEST(AverageMeasuring, CombiningSamples) {
  BZ_AvDlgTaskData data{};
  float shift = 42.0f, weight = 42.0f;
  EXPECT_FALSE(BZ_AvCombineSampleResults(&data, &shift, &weight)) << "all weights 0: nothing to combine";
  EXPECT_EQ(shift, 42.0f);
  EXPECT_EQ(weight, 42.0f);

  data.bestShift[0] = -2.0f, data.bestWeight[0] = 0.4f, data.weight[0] = 3.0f;
  data.bestShift[1] = -1.0f, data.bestWeight[1] = 0.8f, data.weight[1] = 1.0f;
  data.bestShift[2] = NAN, data.bestWeight[2] = 0.5f, data.weight[2] = 4.0f;  // damaged slot: ignored
  ASSERT_TRUE(BZ_AvCombineSampleResults(&data, &shift, &weight));
  EXPECT_FLOAT_EQ(shift, -1.75f);
  EXPECT_FLOAT_EQ(weight, 0.5f);

  data.bestShift[3] = 100.0f, data.bestWeight[3] = 3.0f, data.weight[3] = 1000.0f;
  ASSERT_TRUE(BZ_AvCombineSampleResults(&data, &shift, &weight));
  EXPECT_LE(shift, 8.0f) << "held to the range the stage accepts";
  EXPECT_LE(weight, 1.0f);
}

}  // namespace
