#include "color/float_line_adjust.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "color/gamma_tables.h"
#include "support/kernel_check.h"

namespace {

using bz_test::GuardedBuffer;

// A float line in guarded, aligned storage, filled pair by pair (Y0, Cb, Y1, Cr).
struct FloatLine {
  explicit FloatLine(int pixels) : buffer(static_cast<size_t>((pixels + 1) / 2) * 4 * sizeof(float)) {}
  float *data() { return buffer.as<float>(); }
  float &operator[](size_t i) { return data()[i]; }
  void SetPair(int pair, float y0, float cb, float y1, float cr) {
    float *p = data() + 4 * pair;
    p[0] = y0;
    p[1] = cb;
    p[2] = y1;
    p[3] = cr;
  }
  GuardedBuffer buffer;
};

// ---------------------------------------------------------------------------------------------------
// Tables.

TEST(ColorGammaTables, TablesHitTheirAnchors) {
  std::vector<UInt16> t(kCO_RGBTableEntries);
  CO_MakeRGBTable(2.2f, 2.2f, t.data());
  for (int i = 0; i < kCO_RGBTableEntries; ++i) ASSERT_EQ(t[i], i) << "CO_MakeRGBTable(2.2, 2.2) index " << i;

  CO_MakeRGBTable(1.0f, 2.2f, t.data());
  EXPECT_EQ(t[0], 0);
  EXPECT_EQ(t[1020], 1022);
  EXPECT_EQ(t[1023], 1024);

  CO_MakeRGBTable(2.2f, 1.8f, t.data());
  const double e = static_cast<double>(2.2f / 1.8f);
  for (int i : {0, 4, 64, 512, 940, 1020, 1023}) {
    EXPECT_EQ(t[i], static_cast<UInt16>(std::trunc(0.5 + 1024.0 * std::pow(i / 1024.0, e)))) << "index " << i;
  }
  EXPECT_EQ(t[512], 439);  // level 128 → about 109.8

  CO_MakeBrightnessTable(2.0f, t.data());
  EXPECT_EQ(t[256], 512);  // (1/4)^(1/2) = 1/2
  EXPECT_EQ(t[0], 0);
  CO_MakeBrightnessTable(1.0f, t.data());
  EXPECT_EQ(t[700], 700);
}

TEST(ColorGammaTables, AbsurdGammasGiveBoundedEntries) {
  std::vector<UInt16> t(kCO_RGBTableEntries, 7);
  CO_MakeRGBTable(-2.2f, 1.8f, t.data());  // negative exponent: level 0 would be infinite
  EXPECT_EQ(t[0], 65535);
  EXPECT_GE(t[1], 1024);
  CO_MakeRGBTable(NAN, 1.8f, t.data());
  EXPECT_EQ(t[100], 0);
  CO_MakeBrightnessTable(0.0f, t.data());  // 1/0: every level below full scale goes to 0
  EXPECT_EQ(t[1023], 0);
}

// ---------------------------------------------------------------------------------------------------
// Scalar operations.

TEST(ColorFloatLineAdjust, ScalarGammaWithTheIdentityTable) {
  std::vector<UInt16> identity(kCO_RGBTableEntries);
  CO_MakeRGBTable(1.8f, 1.8f, identity.data());
  FloatLine line(6);
  line.SetPair(0, 100.3f, 0, 100.3f, 0);   // grey: first exact, second to the nearest quarter
  line.SetPair(1, 0.2f, 0, 300.0f, 0);     // outside 1..255: read the end entries
  line.SetPair(2, 120.0f, 20.0f, 90.0f, -15.0f);
  CO_ChangeYuv255LineGamma(6, line.data(), line.data(), identity.data());

  EXPECT_NEAR(line[0], 100.3f, 1e-4);
  EXPECT_NEAR(line[1], 0.0f, 1e-4);
  EXPECT_EQ(line[2], 100.25f);
  EXPECT_NEAR(line[4], 1.0f, 1e-5);
  EXPECT_NEAR(line[6], 255.0f, 1e-4);

  // A coloured pair: the first pixel's RGB and the pair's chroma survive, the second pixel moves by at most
  // an eighth of a level per component.
  EXPECT_NEAR(line[8], 120.0f, 1e-3);
  EXPECT_NEAR(line[9], 20.0f, 1e-3);
  EXPECT_NEAR(line[11], -15.0f, 1e-3);
  EXPECT_NEAR(line[10], 90.0f, 0.125f);
  EXPECT_TRUE(line.buffer.CheckGuards());
}

TEST(ColorFloatLineAdjust, ScalarGammaFollowsTheTableCurve) {
  std::vector<UInt16> t(kCO_RGBTableEntries);
  CO_MakeRGBTable(2.2f, 1.8f, t.data());
  const double e = static_cast<double>(2.2f / 1.8f);
  FloatLine line(2);
  for (float level = 1.0f; level <= 255.0f; level += 0.37f) {
    line.SetPair(0, level, 0, level, 0);
    CO_ChangeYuv255LineGamma(2, line.data(), line.data(), t.data());
    const double want = 256.0 * std::pow(level / 256.0, e);
    // Grey stays grey; the table's quarter levels and its interpolation bound the error.
    ASSERT_NEAR(line[0], want, 0.2) << "level " << level;
    ASSERT_NEAR(line[2], want, 0.4) << "level " << level;
    ASSERT_NEAR(line[1], 0.0f, 1e-3);
    ASSERT_NEAR(line[3], 0.0f, 1e-3);
  }
}

TEST(ColorFloatLineAdjust, ScalarContrastBrightnessAndSaturationRules) {
  std::vector<UInt16> half(kCO_RGBTableEntries);  // a table that halves every level
  for (int i = 0; i < kCO_RGBTableEntries; ++i) half[i] = static_cast<UInt16>(i / 2);

  struct Case {
    const char *name;
    void (*run)(float *, const UInt16 *);
    float in[4];
    float out[4];
  };
  const Case cases[] = {
      {"CO_ChangeYuv255LineContrast", [](float *l, const UInt16 *) { CO_ChangeYuv255LineContrast(2, l, l, 10, 2); },
       {60, 10, 30, -20}, {100, 10 * 100.0f / 60, 40, -20 * 100.0f / 60}},
      // A first luma of 0 divides by 1; a non-positive new first luma leaves chroma alone.
      {"CO_ChangeYuv255LineContrast luma 0", [](float *l, const UInt16 *) { CO_ChangeYuv255LineContrast(2, l, l, -4, 2); },
       {0, 10, 30, -20}, {8, 80, 68, -160}},
      {"CO_ChangeYuv255LineContrast black above", [](float *l, const UInt16 *) { CO_ChangeYuv255LineContrast(2, l, l, 50, 2); },
       {40, 10, 80, -20}, {-20, 10, 60, -20}},
      {"CO_ChangeYuv255LineContrastY_only", [](float *l, const UInt16 *) { CO_ChangeYuv255LineContrastY_only(2, l, l, 10, 2); },
       {60, 10, 30, -20}, {100, 10, 40, -20}},
      {"CO_ChangeYuv255LineBrightness", [](float *l, const UInt16 *t) { CO_ChangeYuv255LineBrightness(2, l, l, t); },
       {100, 10, 50.2f, -20}, {50, 5, 25, -10}},
      {"CO_ChangeYuv255LineBrightness luma 0", [](float *l, const UInt16 *t) { CO_ChangeYuv255LineBrightness(2, l, l, t); },
       {0, 10, 0, -20}, {0.5f, 5, 0.5f, -10}},
      {"CO_ChangeYuv255LineBrightnessY_only", [](float *l, const UInt16 *t) { CO_ChangeYuv255LineBrightnessY_only(2, l, l, t); },
       {100, 10, 50, -20}, {50, 10, 25, -20}},
      {"CO_ChangeYuv255LineSaturation 0", [](float *l, const UInt16 *) { CO_ChangeYuv255LineSaturation(2, l, l, 0); },
       {100, 10, 50, -20}, {100, 0, 50, 0}},
      {"CO_ChangeYuv255LineContrBrSat no table", [](float *l, const UInt16 *) { CO_ChangeYuv255LineContrBrSat(2, l, l, 10, 2, nullptr, 0.5f); },
       {60, 12, 30, -24}, {100, 10, 40, -20}},
      {"CO_ChangeYuv255LineContrBrSat black above", [](float *l, const UInt16 *) { CO_ChangeYuv255LineContrBrSat(2, l, l, 50, 2, nullptr, 1); },
       {40, 10, 80, -20}, {-20, 0, 60, 0}},
      // With a table: r = sat · Yc0/m · newY0/Yc0 = 1 · 100/50 · 50/100.
      {"CO_ChangeYuv255LineContrBrSat table", [](float *l, const UInt16 *t) { CO_ChangeYuv255LineContrBrSat(2, l, l, 0, 2, t, 1); },
       {50, 10, 30, -20}, {50, 10, 30, -20}},
      {"CO_ChangeYuv255LineContrBrSatY_only", [](float *l, const UInt16 *t) { CO_ChangeYuv255LineContrBrSatY_only(2, l, l, 0, 2, t, 3); },
       {50, 10, 30, -20}, {50, 30, 30, -60}},
  };
  for (const Case &c : cases) {
    FloatLine line(2);
    line.SetPair(0, c.in[0], c.in[1], c.in[2], c.in[3]);
    c.run(line.data(), half.data());
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(line[i], c.out[i], 1e-4) << c.name << " float " << i;
  }
}

TEST(ColorFloatLineAdjust, ScalarOperationsHandleAnOddWidthAsTheNextEvenOne) {
  FloatLine line(4);
  for (int i = 0; i < 8; ++i) line[i] = 10.0f + i;
  CO_ChangeYuv255LineSaturation(3, line.data(), line.data(), 2.0f);
  EXPECT_EQ(line[5], 30.0f);  // the second pair's Cb: pixel 3 belongs to it
  EXPECT_EQ(line[7], 34.0f);
  EXPECT_TRUE(line.buffer.CheckGuards());
}

// ---------------------------------------------------------------------------------------------------
// SSE operations.

// Grey levels through the SSE curve, pixel by pixel in one line.
std::vector<float> SseGreyCurve(const std::vector<float> &levels, float inGamma, float outGamma) {
  FloatLine line(static_cast<int>(levels.size()));
  for (size_t i = 0; i < levels.size(); ++i) {
    line[(i / 2) * 4 + (i & 1) * 2] = levels[i];
    line[(i / 2) * 4 + 1] = 0;
    line[(i / 2) * 4 + 3] = 0;
  }
  CO_ChangeYuv255LineGammaAcc(static_cast<SInt32>(levels.size()), line.data(), line.data(), inGamma, outGamma);
  std::vector<float> out(levels.size());
  for (size_t i = 0; i < levels.size(); ++i) out[i] = line[(i / 2) * 4 + (i & 1) * 2];
  return out;
}

TEST(ColorFloatLineAdjust, SseGammaWithEqualGammasIsTheIdentity) {
  // The curve's fraction must stay within the range its polynomial was fitted on: identical gammas once
  // mapped level 128 to about 130.5.
  std::vector<float> levels;
  for (int i = 0; i < 1024; ++i) levels.push_back(1.0f + 253.0f * i / 1023.0f);
  for (float g : {1.0f, 1.8f, 2.2f, 2.2222223f}) {
    const std::vector<float> got = SseGreyCurve(levels, g, g);
    for (size_t i = 0; i < levels.size(); ++i) {
      ASSERT_NEAR(got[i], levels[i], 0.5f) << "CO_ChangeYuv255LineGammaAcc gamma " << g << " level " << levels[i];
    }
  }
  EXPECT_NEAR(SseGreyCurve({128.0f, 16.0f}, 2.2f, 2.2f)[0], 128.0f, 0.05f);
}

TEST(ColorFloatLineAdjust, SseGammaCurveIsMonotonicAndCloseToThePower) {
  std::vector<float> levels;
  for (float v = 1.0f; v <= 254.0f; v += 0.125f) levels.push_back(v);
  const struct {
    float in, out;
  } pairs[] = {{2.2f, 1.8f}, {1.8f, 2.2f}, {2.2222223f, 2.2f}, {1.0f, 2.2f}, {2.2f, 1.0f}};
  for (const auto &p : pairs) {
    const std::vector<float> got = SseGreyCurve(levels, p.in, p.out);
    const double e = static_cast<double>(p.in / p.out);
    for (size_t i = 0; i < levels.size(); ++i) {
      const double want = std::min(254.0, 255.0 * std::pow(levels[i] / 255.0, e));
      ASSERT_NEAR(got[i], want, 0.05 + 0.001 * want) << p.in << " to " << p.out << " level " << levels[i];
      if (i > 0) {
        ASSERT_GE(got[i], got[i - 1]) << p.in << " to " << p.out << " level " << levels[i];
      }
    }
  }
  // 2.2 to 1.8 around 144/145 once jumped by 3.5 levels.
  const std::vector<float> step = SseGreyCurve({144.0f, 145.0f}, 2.2f, 1.8f);
  EXPECT_LT(step[1] - step[0], 1.3f);
  EXPECT_GT(step[1] - step[0], 1.0f);
}

TEST(ColorFloatLineAdjust, SseAndScalarGammaAgreeWithinTheTableQuantisation) {
  BZ_KERNEL_SEED_TRACE();
  const int width = 720;
  FloatLine scalar(width), sse(width);
  std::uniform_real_distribution<float> luma(20.0f, 230.0f), chroma(-12.0f, 12.0f);
  for (int p = 0; p < width / 2; ++p) {
    scalar.SetPair(p, luma(bz_test::Rng()), chroma(bz_test::Rng()), luma(bz_test::Rng()), chroma(bz_test::Rng()));
  }
  std::copy(scalar.data(), scalar.data() + 2 * width, sse.data());
  for (const auto &g : {std::pair{2.2f, 1.8f}, std::pair{1.8f, 2.2f}, std::pair{2.0f, 2.0f}}) {
    std::vector<UInt16> t(kCO_RGBTableEntries);
    CO_MakeRGBTable(g.first, g.second, t.data());
    FloatLine a(width), b(width);
    std::copy(scalar.data(), scalar.data() + 2 * width, a.data());
    std::copy(scalar.data(), scalar.data() + 2 * width, b.data());
    CO_ChangeYuv255LineGamma(width, a.data(), a.data(), t.data());
    CO_ChangeYuv255LineGammaAcc(width, b.data(), b.data(), g.first, g.second);
    // The table's curve is 256·(x/256)^g on quarter levels, the SSE one 255·(x/255)^g: within a level.
    EXPECT_TRUE(bz_test::FloatsNear(a.data(), b.data(), 2 * width, 0.75f)) << g.first << " to " << g.second;
  }
}

TEST(ColorFloatLineAdjust, SseGammaOfAnOddPairCountStaysInsideTheLine) {
  FloatLine line(6);  // three pairs: the last group holds a single pair
  for (int p = 0; p < 3; ++p) line.SetPair(p, 100, 5, 110, -5);
  CO_ChangeYuv255LineGammaAcc(6, line.data(), line.data(), 2.2f, 1.8f);
  EXPECT_TRUE(line.buffer.CheckGuards());
  EXPECT_EQ(line[8], line[0]);
  EXPECT_EQ(line[10], line[2]);
  EXPECT_EQ(line[11], line[3]);
}

TEST(ColorFloatLineAdjust, SseContrastAndSaturationClampsAndChromaRule) {
  FloatLine line(8);
  line.SetPair(0, 0.0f, 10, 255.0f, -10);    // lumas clamped to 1 and 254 first
  line.SetPair(1, 60.0f, 10, 100.0f, -20);   // chroma × new mean / old mean × sat
  line.SetPair(2, 5.0f, 10, 7.0f, -20);      // new mean below 0: chroma 0
  line.SetPair(3, 50.0f, 8, 50.0f, 4);
  CO_ChangeYuv255LineContrSatAcc(8, line.data(), line.data(), 10.0f, 2.0f, 0.5f);
  const float want[16] = {-18, 10 * (((-18 + 488) * 0.5f) / 127.5f) * 0.5f, 488, -10 * (((-18 + 488) * 0.5f) / 127.5f) * 0.5f,
                          100, 10 * (140 / 80.0f) * 0.5f, 180, -20 * (140 / 80.0f) * 0.5f,
                          -10, 0, -6, 0,
                          80, 8 * (80 / 50.0f) * 0.5f, 80, 4 * (80 / 50.0f) * 0.5f};
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(line[i], want[i], 1e-4) << "CO_ChangeYuv255LineContrSatAcc float " << i;

  FloatLine y(4);
  y.SetPair(0, -30.0f, 10, 300.0f, -10);
  y.SetPair(1, 10.0f, 1, 0.0f, 2);
  CO_ChangeYuv255LineContrSatY_OnlyAcc(4, y.data(), y.data(), 10.0f, 2.0f, 3.0f);
  const float wantY[8] = {-80, 30, 580, -30, 0, 3, -20, 6};
  for (int i = 0; i < 8; ++i) EXPECT_NEAR(y[i], wantY[i], 1e-4) << "CO_ChangeYuv255LineContrSatY_OnlyAcc float " << i;
}

TEST(ColorFloatLineAdjust, SseBrightnessContrastAndSaturation) {
  // brGamma 1 and a neutral contrast leave lumas on the curve's identity and chroma nearly unchanged.
  FloatLine line(4);
  line.SetPair(0, 100.0f, 10, 200.0f, -10);
  line.SetPair(1, 0.0f, 10, 255.0f, -10);
  CO_ChangeYuv255LineBrContrSatAcc(4, line.data(), line.data(), 1.0f, 0.0f, 1.0f, 1.0f);
  EXPECT_NEAR(line[0], 100.0f, 0.05f);
  EXPECT_NEAR(line[1], 10.0f, 0.01f);
  EXPECT_NEAR(line[2], 200.0f, 0.05f);
  EXPECT_NEAR(line[3], -10.0f, 0.01f);
  EXPECT_NEAR(line[4], 1.0f, 0.01f);     // luma clamped up to 1 before the curve
  EXPECT_NEAR(line[6], 254.0f, 0.01f);   // and the result to at most 254
  EXPECT_NEAR(line[5], 10.0f, 0.01f);    // chroma × Y'0 / Yc0 with Yc0 = 1

  // A brightening curve: 255 · (Y/255)^0.5.
  FloatLine b(4);
  b.SetPair(0, 63.75f, 8, 127.5f, 0);
  b.SetPair(1, 600.0f, 0, -5.0f, 0);
  CO_ChangeYuv255LineBrContrSatY_OnlyAcc(4, b.data(), b.data(), 0.5f, 0.0f, 1.0f, 2.0f);
  EXPECT_NEAR(b[0], 127.5f, 0.2f);
  EXPECT_NEAR(b[1], 16.0f, 1e-5);
  EXPECT_NEAR(b[2], 255.0f * std::sqrt(0.5f), 0.2f);
  EXPECT_NEAR(b[4], 255.0f * std::sqrt(254.0f / 255.0f), 0.2f);  // contrast result clamped to 254 first
  EXPECT_NEAR(b[6], 255.0f * std::sqrt(1.0f / 255.0f), 0.05f);   // and up to 1
}

}  // namespace
