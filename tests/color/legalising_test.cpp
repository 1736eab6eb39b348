#include "color/legalising.h"

#include "color/yuv422_formats.h"
#include "support/color_frames.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

using bz_test::GuardedFloats;
using bz_test::GuardedFrame;

typedef void (*SanityLineProc)(SInt32, float *);
typedef void (*IRELineProc)(SInt32, float *, float);

struct SanityPath {
  const char *name;
  SanityLineProc proc;
};
const SanityPath kSanityPaths[] = {{"CO_FloatLineSanityCheck", CO_FloatLineSanityCheck},
                                   {"CO_FloatLineSanityCheckAcc", CO_FloatLineSanityCheckAcc}};

struct IREPath {
  const char *name;
  IRELineProc proc;
};
const IREPath kIREPaths[] = {{"CO_FloatLineLimitIRE", CO_FloatLineLimitIRE},
                             {"CO_FloatLineLimitIRE_Acc", CO_FloatLineLimitIRE_Acc}};

// Eight pixels (four pairs) all holding the pair y0, cb, y1, cr.
std::vector<float> PairLine(float y0, float cb, float y1, float cr) {
  std::vector<float> line(16);
  for (int i = 0; i < 16; i += 4) {
    line[i] = y0;
    line[i + 1] = cb;
    line[i + 2] = y1;
    line[i + 3] = cr;
  }
  return line;
}

struct Rgb {
  float r, g, b;
};
Rgb ToRgb(float y, float cb, float cr) {
  float r = y + 1.402f * cr;
  float b = y + 1.772f * cb;
  return {r, (y - 0.299f * r - 0.114f * b) / 0.587f, b};
}

// --- Sanity check -----------------------------------------------------------------------------------------

TEST(ColorLegalising, GreyKeepsChromaAndOnlyOutOfRangeLumaMoves) {
  struct Case {
    float in, out;
  } const cases[] = {{0.5f, 1.0f},     {0.99f, 0.99f},     {0.98f, 1.0f},   {100.0f, 100.0f},
                     {254.01f, 254.01f}, {254.02f, 254.0f}, {300.0f, 254.0f}, {-20.0f, 1.0f}};
  for (const SanityPath &p : kSanityPaths) {
    for (const Case &c : cases) {
      std::vector<float> line = PairLine(c.in, 0.0f, 128.0f, 0.0f);
      p.proc(8, line.data());
      EXPECT_EQ(line[0], c.out) << p.name << " luma " << c.in;
      EXPECT_EQ(line[1], 0.0f) << p.name;
      EXPECT_EQ(line[2], 128.0f) << p.name;
      EXPECT_EQ(line[3], 0.0f) << p.name;
    }
  }
}

struct ChromaCase {
  const char *what;
  float y0, cb, y1, cr;
  float expectedCb, expectedCr;
};

const ChromaCase kChromaCases[] = {
    // B = 377.2: Cb goes to (254 - 200) / 1.772 and Cr by the same factor.
    {"saturated blue", 200.0f, 100.0f, 200.0f, 10.0f, 54.0f / 1.772f, 10.0f * 54.0f / 177.2f},
    // The second pixel sees the chroma the first one left: one reduction to (254 - 240) / 1.772, not two.
    {"second pixel after first", 200.0f, 100.0f, 240.0f, 0.0f, 14.0f / 1.772f, 0.0f},
    {"first pixel only", 240.0f, 100.0f, 20.0f, 0.0f, 14.0f / 1.772f, 0.0f},
    // B below 0.99: Cb goes to (1 - 10) / 1.772.
    {"blue below black", 10.0f, -50.0f, 10.0f, -5.0f, -9.0f / 1.772f, -5.0f * 9.0f / 88.6f},
    // R above: Cr to (254 - 180) / 1.402.
    {"saturated red", 180.0f, 0.0f, 180.0f, 120.0f, 0.0f, 74.0f / 1.402f},
    // A luma a hundredth above the target must not turn the hue around (the factor would be -71).
    {"luma at the upper threshold", 254.01f, 50.0f, 254.01f, 1.0e-4f, 0.0f, 0.0f},
};

class SanityChroma : public ::testing::TestWithParam<ChromaCase> {};

TEST_P(SanityChroma, ScalesTowardZeroAsSpecified) {
  const ChromaCase &c = GetParam();
  SCOPED_TRACE(c.what);
  for (const SanityPath &p : kSanityPaths) {
    std::vector<float> line = PairLine(c.y0, c.cb, c.y1, c.cr);
    p.proc(8, line.data());
    for (int i = 0; i < 16; i += 4) {
      EXPECT_NEAR(line[i + 1], c.expectedCb, 2e-3f) << p.name;
      EXPECT_NEAR(line[i + 3], c.expectedCr, 2e-3f) << p.name;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, SanityChroma, ::testing::ValuesIn(kChromaCases),
                         [](const ::testing::TestParamInfo<ChromaCase> &info) {
                           return "Case" + std::to_string(info.index);
                         });

TEST(ColorLegalising, GreenLimitBringsGOntoItsTarget) {
  // Both chroma negative: R and B fine, G = 263.5 too high.
  for (const SanityPath &p : kSanityPaths) {
    std::vector<float> line = PairLine(200.0f, -60.0f, 200.0f, -60.0f);
    p.proc(8, line.data());
    Rgb rgb = ToRgb(line[0], line[1], line[3]);
    EXPECT_NEAR(rgb.g, 254.0f, 0.02f) << p.name;
    EXPECT_NEAR(line[1], line[3], 1e-4f) << p.name << ": hue kept";
    EXPECT_LT(line[1], 0.0f) << p.name;
  }
}

// After the check every pixel's R, G and B lie within the thresholds, chroma has only shrunk and kept its
// direction, and luma has changed only by the clamp. Random pairs far outside the legal colours.
TEST(ColorLegalising, SanityCheckLeavesOnlyLegalColoursAndKeepsHue) {
  BZ_KERNEL_SEED_TRACE();
  const SInt32 width = 720;
  std::vector<float> original(size_t(width) * 2);
  bz_test::FillRandomFloats(original.data(), original.size(), -30.0f, 285.0f, bz_test::Rng());
  for (size_t i = 1; i < original.size(); i += 2) original[i] = (original[i] - 127.5f) * 1.2f;  // chroma
  const float margin = 2e-3f;
  for (const SanityPath &p : kSanityPaths) {
    SCOPED_TRACE(p.name);
    std::vector<float> line = original;
    p.proc(width, line.data());
    for (SInt32 i = 0; i < width * 2; i += 4) {
      const float cb0 = original[i + 1], cr0 = original[i + 3];
      const float cb = line[i + 1], cr = line[i + 3];
      ASSERT_LE(std::fabs(cb), std::fabs(cb0) + 1e-4f) << "pair " << i / 4;
      ASSERT_LE(std::fabs(cr), std::fabs(cr0) + 1e-4f) << "pair " << i / 4;
      ASSERT_GE(cb * cb0, 0.0f) << "pair " << i / 4 << ": Cb turned around";
      ASSERT_GE(cr * cr0, 0.0f) << "pair " << i / 4 << ": Cr turned around";
      // Same factor on both: the ratio is kept.
      if (std::fabs(cb0) > 1.0f && std::fabs(cr0) > 1.0f && std::fabs(cb) > 0.05f) {
        ASSERT_NEAR(cr / cb, cr0 / cb0, 1e-2f * std::fabs(cr0 / cb0) + 1e-3f) << "pair " << i / 4;
      }
      for (int k : {0, 2}) {
        const float y = line[i + k];
        ASSERT_GE(y, kCO_SanityLowThreshold);
        ASSERT_LE(y, kCO_SanityHighThreshold);
        if (original[i + k] >= 1.0f && original[i + k] <= 254.0f) {
          ASSERT_EQ(y, original[i + k]);
        }
        Rgb rgb = ToRgb(y, cb, cr);
        for (float v : {rgb.r, rgb.g, rgb.b}) {
          ASSERT_GE(v, kCO_SanityLowThreshold - margin) << "pair " << i / 4 << " pixel " << k / 2;
          ASSERT_LE(v, kCO_SanityHighThreshold + margin) << "pair " << i / 4 << " pixel " << k / 2;
        }
      }
    }
  }
}

TEST(ColorLegalising, SanityLineSseAgreesWithScalar) {
  BZ_KERNEL_SEED_TRACE();
  std::vector<float> line(1440);
  bz_test::FillRandomFloats(line.data(), line.size(), -40.0f, 290.0f, bz_test::Rng());
  for (size_t i = 1; i < line.size(); i += 2) line[i] -= 125.0f;
  std::vector<float> scalar = line, acc = line;
  CO_FloatLineSanityCheck(720, scalar.data());
  CO_FloatLineSanityCheckAcc(720, acc.data());
  EXPECT_TRUE(bz_test::FloatsNear(scalar.data(), acc.data(), line.size(), 2e-3f));
}

// --- Frames -----------------------------------------------------------------------------------------------

TEST(ColorLegalising, FrameReadAsVideoRangeLosesWhiteByOneStep) {
  // Grey pixels: video range 235 -> 255.0 -> 254.0 -> 234; full range keeps 1..254 as they are.
  for (bool acc : {false, true}) {
    SCOPED_TRACE(acc ? "CO_FrameSanityCheckAcc" : "CO_FrameSanityCheck");
    auto check = acc ? CO_FrameSanityCheckAcc : CO_FrameSanityCheck;
    GuardedFrame frame(16, 2);
    bz_test::Fill2vuyConstant(frame, 128, 235, 128);
    GuardedFloats f(32);
    check(2, 16, frame.data(), f.data(), 0);
    for (SInt32 x = 0; x < 16; ++x) EXPECT_EQ(frame.Luma(x, 1), 234);

    GuardedFrame full(256, 1);
    for (SInt32 x = 0; x < 256; ++x) {
      full.Luma(x, 0) = UInt8(x);
      full.Chroma(x, 0) = 128;
    }
    GuardedFloats g(512);
    check(1, 256, full.data(), g.data(), 1);
    for (SInt32 x = 1; x < 255; ++x) ASSERT_EQ(full.Luma(x, 0), x);
    EXPECT_EQ(full.Luma(0, 0), 1);
    EXPECT_EQ(full.Luma(255, 0), 254);
    EXPECT_TRUE(full.CheckGuards());
    EXPECT_TRUE(g.CheckGuards());
  }
}

struct FrameCase {
  SInt32 width, height;
  Boolean fullRange;
};

class LegaliseFrames : public ::testing::TestWithParam<FrameCase> {};

// Scalar and SSE frame versions agree within one step per byte on random (mostly illegal) frames, in both
// ranges, and neither writes outside the frame or the float line.
TEST_P(LegaliseFrames, ScalarAndSseAgree) {
  BZ_KERNEL_SEED_TRACE();
  const FrameCase c = GetParam();
  GuardedFrame input(c.width, c.height);
  bz_test::Fill2vuyRandom(input, bz_test::Rng());
  GuardedFloats scalarLine(size_t(c.width) * 2), accLine(size_t(c.width) * 2);
  EXPECT_TRUE(bz_test::ScalarAndAccAgree(
      input,
      [&](GuardedFrame &f) { CO_FrameSanityCheck(c.height, c.width, f.data(), scalarLine.data(), c.fullRange); },
      [&](GuardedFrame &f) { CO_FrameSanityCheckAcc(c.height, c.width, f.data(), accLine.data(), c.fullRange); },
      bz_test::WithinBytes(1)))
      << "sanity check";
  for (float ire : {1.0f, 1.2f, 0.5f}) {
    EXPECT_TRUE(bz_test::ScalarAndAccAgree(
        input,
        [&](GuardedFrame &f) {
          CO_FrameLimitIRE(c.height, c.width, f.data(), scalarLine.data(), c.fullRange, ire);
        },
        [&](GuardedFrame &f) { CO_FrameLimitIRE_Acc(c.height, c.width, f.data(), accLine.data(), c.fullRange, ire); },
        bz_test::WithinBytes(1)))
        << "IRE limit " << ire;
  }
  EXPECT_TRUE(scalarLine.CheckGuards());
  EXPECT_TRUE(accLine.CheckGuards());
}

INSTANTIATE_TEST_SUITE_P(Sizes, LegaliseFrames,
                         ::testing::Values(FrameCase{720, 8, 0}, FrameCase{720, 8, 1}, FrameCase{16, 3, 0},
                                           FrameCase{1920, 2, 1}),
                         [](const ::testing::TestParamInfo<FrameCase> &info) {
                           return "W" + std::to_string(info.param.width) + "H" + std::to_string(info.param.height) +
                                  (info.param.fullRange ? "Full" : "Video");
                         });

TEST(ColorLegalising, OddWidthFrameStaysInsideFrameAndFloatLine) {
  // Width 7 in packed rows: the last pixel of each row is legalised alone; nothing past the frame or the
  // float line of 14 floats is touched, and the next row's first pixel is not changed by this row.
  GuardedFrame frame(7, 3);
  bz_test::Fill2vuyConstant(frame, 128, 100, 128);
  for (SInt32 y = 0; y < 3; ++y) frame.Luma(6, y) = 255;  // illegal in full range
  frame.Chroma(0, 1) = 200;                               // Cb of row 1's first pixel
  GuardedFloats f(14);
  CO_FrameSanityCheck(3, 7, frame.data(), f.data(), 1);
  EXPECT_TRUE(frame.CheckGuards());
  EXPECT_TRUE(f.CheckGuards());
  for (SInt32 y = 0; y < 3; ++y) EXPECT_EQ(frame.Luma(6, y), 254) << "row " << y;
  EXPECT_EQ(frame.Luma(0, 1), 100);

  GuardedFrame one(1, 2);
  bz_test::Fill2vuyConstant(one, 60, 255, 60);
  GuardedFloats g(2);
  CO_FrameLimitIRE(2, 1, one.data(), g.data(), 1, 1.0f);
  EXPECT_TRUE(one.CheckGuards());
  EXPECT_TRUE(g.CheckGuards());
  EXPECT_EQ(one.Luma(0, 1), 254);
}

// --- IRE limit --------------------------------------------------------------------------------------------

float Amplitude(float cb, float cr) {
  float u = kCO_CompositeUFactor * cb, v = kCO_CompositeVFactor * cr;
  return std::sqrt(u * u + v * v);
}

TEST(ColorLegalising, IRELimitBringsAmplitudeToTheAllowance) {
  EXPECT_FLOAT_EQ(kCO_CompositeUFactor, 0.87202066f);
  EXPECT_FLOAT_EQ(kCO_CompositeVFactor, 1.2299507f);
  struct Case {
    const char *what;
    float y0, y1, cb, cr, limit, expectedAmplitude;
    bool unchanged;
  } const cases[] = {
      {"luma at full scale: amplitude 0.1", 255.0f, 100.0f, 30.0f, -20.0f, 1.0f, 0.1f, false},
      {"luma 200: 55 allowed", 200.0f, 100.0f, 60.0f, 40.0f, 1.0f, 55.0f, false},
      {"within the limit: untouched", 200.0f, 100.0f, 20.0f, 10.0f, 1.0f, 0.0f, true},
      {"second pixel sees the reduced chroma", 200.0f, 230.0f, 60.0f, 40.0f, 1.0f, 25.0f, false},
      {"120 IRE", 250.0f, 250.0f, 60.0f, 40.0f, 1.2f, 56.0f, false},
  };
  for (const IREPath &p : kIREPaths) {
    for (const auto &c : cases) {
      SCOPED_TRACE(std::string(p.name) + ": " + c.what);
      std::vector<float> line = PairLine(c.y0, c.cb, c.y1, c.cr);
      p.proc(8, line.data(), c.limit);
      for (int i = 0; i < 16; i += 4) {
        EXPECT_EQ(line[i], c.y0);
        EXPECT_EQ(line[i + 2], c.y1);
        if (c.unchanged) {
          EXPECT_EQ(line[i + 1], c.cb);
          EXPECT_EQ(line[i + 3], c.cr);
        } else {
          EXPECT_NEAR(Amplitude(line[i + 1], line[i + 3]), c.expectedAmplitude, 1e-3f * c.expectedAmplitude);
          EXPECT_NEAR(line[i + 3] / line[i + 1], c.cr / c.cb, 1e-4f);
        }
      }
    }
  }
}

TEST(ColorLegalising, IRELineSseAgreesWithScalar) {
  BZ_KERNEL_SEED_TRACE();
  std::vector<float> line(1440);
  bz_test::FillRandomFloats(line.data(), line.size(), -10.0f, 270.0f, bz_test::Rng());
  for (size_t i = 1; i < line.size(); i += 2) line[i] -= 130.0f;
  for (float limit : {1.0f, 1.1f, 0.7f}) {
    std::vector<float> scalar = line, acc = line;
    CO_FloatLineLimitIRE(720, scalar.data(), limit);
    CO_FloatLineLimitIRE_Acc(720, acc.data(), limit);
    // The SSE version allows max(L - Y, 0.1) where the scalar one allows L - Y down to 0, so a luma within
    // 0.1 below the limit may leave up to 0.1 more amplitude there.
    const float lumaLimit = limit * 255.0f;
    for (size_t i = 0; i < line.size(); i += 4) {
      bool nearLimit = false;
      for (int k : {0, 2}) nearLimit |= line[i + k] < lumaLimit && line[i + k] > lumaLimit - 0.1f;
      const float eps = nearLimit ? 0.12f : 1e-3f;
      ASSERT_TRUE(bz_test::FloatsNear(scalar.data() + i, acc.data() + i, 4, eps)) << "limit " << limit << " pair " << i / 4;
    }
  }
}

// --- Dispatch and test aids -------------------------------------------------------------------------------

TEST(ColorLegalising, FrameDispatchersFollowTheWidthRule) {
  BZ_KERNEL_SEED_TRACE();
  for (SInt32 width : {720, 718}) {
    GuardedFrame input(width, 4);
    bz_test::Fill2vuyRandom(input, bz_test::Rng());
    GuardedFloats f(size_t(width) * 2);
    auto run = [&](auto proc) {
      GuardedFrame out = input;
      proc(out);
      return out;
    };
    GuardedFrame scalarSanity = run([&](GuardedFrame &o) { CO_FrameSanityCheck(4, width, o.data(), f.data(), 1); });
    GuardedFrame scalarIRE = run([&](GuardedFrame &o) { CO_FrameLimitIRE(4, width, o.data(), f.data(), 1, 1.0f); });
    // Full-range luma 255 survives the IRE limit only in the SSE path, so the two paths differ here.
    const bool accPossible = (width & 7) == 0;
    if (accPossible) {
      GuardedFrame accIRE = run([&](GuardedFrame &o) { CO_FrameLimitIRE_Acc(4, width, o.data(), f.data(), 1, 1.0f); });
      ASSERT_FALSE(bz_test::Frames2vuyAgree(scalarIRE, accIRE, bz_test::ExactBytes()));
    }
    for (Boolean alt : {0, 1})
      for (Boolean sse : {0, 1}) {
        const bool expectAcc = accPossible && (alt || sse);
        SCOPED_TRACE(::testing::Message() << "width " << width << " flags " << int(alt) << int(sse));
        GuardedFrame sanity = run(
            [&](GuardedFrame &o) { CO_FrameSanityCheckUni(alt, sse, 4, width, o.data(), f.data(), 1); });
        GuardedFrame ire = run(
            [&](GuardedFrame &o) { CO_FrameLimitIRE_Uni(alt, sse, 4, width, o.data(), f.data(), 1, 1.0f); });
        if (expectAcc) {
          GuardedFrame accSanity = run(
              [&](GuardedFrame &o) { CO_FrameSanityCheckAcc(4, width, o.data(), f.data(), 1); });
          GuardedFrame accIRE = run(
              [&](GuardedFrame &o) { CO_FrameLimitIRE_Acc(4, width, o.data(), f.data(), 1, 1.0f); });
          EXPECT_TRUE(bz_test::Frames2vuyAgree(accSanity, sanity, bz_test::ExactBytes()));
          EXPECT_TRUE(bz_test::Frames2vuyAgree(accIRE, ire, bz_test::ExactBytes()));
        } else {
          EXPECT_TRUE(bz_test::Frames2vuyAgree(scalarSanity, sanity, bz_test::ExactBytes()));
          EXPECT_TRUE(bz_test::Frames2vuyAgree(scalarIRE, ire, bz_test::ExactBytes()));
        }
      }
  }
  // The float-line IRE dispatcher: luma untouched, so compare with each path directly.
  std::vector<float> line(1440);
  bz_test::FillRandomFloats(line.data(), line.size(), -100.0f, 255.0f, bz_test::Rng());
  std::vector<float> scalar = line, acc = line, viaUni = line;
  CO_FloatLineLimitIRE(720, scalar.data(), 0.8f);
  CO_FloatLineLimitIRE_Acc(720, acc.data(), 0.8f);
  CO_FloatLineLimitIRE_Uni(0, 1, 720, viaUni.data(), 0.8f);
  EXPECT_EQ(viaUni, acc);
  viaUni = line;
  CO_FloatLineLimitIRE_Uni(0, 0, 720, viaUni.data(), 0.8f);
  EXPECT_EQ(viaUni, scalar);
}

TEST(ColorLegalising, TestPatternThenSanityCheckGivesLegalFrame) {
  // The pattern's own rule on a few bytes.
  GuardedFrame small(4, 1);
  const UInt8 bytes[8] = {128, 230, 200, 0, 60, 215, 64, 255};
  std::memcpy(small.data(), bytes, 8);
  CO_WriteSanityCheckTestPattern(4, 1, small.data());
  const UInt8 expected[8] = {128, 255, 255, 40, 0, 255, 0, 255};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(small.data()[i], expected[i]) << "byte " << i;
  EXPECT_TRUE(small.CheckGuards());

  // A frame made illegal by the pattern comes out of either path with legal R, G and B (within the
  // quantisation of the packed bytes).
  BZ_KERNEL_SEED_TRACE();
  GuardedFrame input(64, 8);
  bz_test::Fill2vuyRandom(input, 16, 235, 16, 240, bz_test::Rng());
  CO_WriteSanityCheckTestPattern(64, 8, input.data());
  for (bool acc : {false, true}) {
    GuardedFrame frame = input;
    GuardedFloats f(128);
    (acc ? CO_FrameSanityCheckAcc : CO_FrameSanityCheck)(8, 64, frame.data(), f.data(), 0);
    for (SInt32 y = 0; y < 8; ++y) {
      CO_2vuyLineToFloat(64, frame.Row(y), f.data(), 0);
      for (SInt32 i = 0; i < 128; i += 4)
        for (int k : {0, 2}) {
          Rgb rgb = ToRgb(f.data()[i + k], f.data()[i + 1], f.data()[i + 3]);
          for (float v : {rgb.r, rgb.g, rgb.b}) {
            ASSERT_GE(v, -2.0f) << (acc ? "Acc" : "scalar") << " row " << y << " pair " << i / 4;
            ASSERT_LE(v, 257.0f) << (acc ? "Acc" : "scalar") << " row " << y << " pair " << i / 4;
          }
        }
    }
  }
}

TEST(ColorLegalising, SanityTestAidRoundTripsWithoutChecking) {
  GuardedFrame frame(16, 2);
  bz_test::Fill2vuyEdgeValues(frame);
  GuardedFrame before = frame;
  GuardedFloats f(32);
  ::testing::internal::CaptureStdout();
  CO_FrameSanityCheck_Test(2, 16, frame.data(), f.data(), 1);
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "CO_FrameSanityCheck_Test: numCorrected = 0\n");
  // Full range: only the packer's own rules change bytes (luma 0/255, chroma 0); illegal colours stay.
  for (SInt32 y = 0; y < 2; ++y)
    for (SInt32 x = 0; x < 16; ++x) {
      int l = before.Luma(x, y), c = before.Chroma(x, y);
      EXPECT_EQ(frame.Luma(x, y), l == 0 ? 1 : l == 255 ? 254 : l);
      EXPECT_EQ(frame.Chroma(x, y), c == 0 ? 1 : c);
    }
}

}  // namespace

// A second sanity check of a legalised frame is not a no-op: where the packing of the first pass rounded a
// colour a hair past its target it moves a few bytes by a step or two. The output stages' pass after the copy
// stage's therefore stays (it also catches what a method made illegal). Random (mostly illegal) frames.
TEST(ColorLegalising, SecondSanityCheckMovesFewBytesByTwoStepsAtMost) {
  BZ_KERNEL_SEED_TRACE();
  for (Boolean sse : {false, true}) {
    for (Boolean fullRange : {false, true}) {
      SCOPED_TRACE(std::string(sse ? "SSE" : "scalar") + (fullRange ? ", full range" : ", video range"));
      const SInt32 width = 720, height = 16;
      GuardedFrame frame(width, height);
      bz_test::Fill2vuyRandom(frame, bz_test::Rng());
      GuardedFloats line(size_t(width) * 2);
      CO_FrameSanityCheckUni(false, sse, height, width, frame.data(), line.data(), fullRange);
      std::vector<UInt8> once(frame.data(), frame.data() + size_t(width) * height * 2);
      CO_FrameSanityCheckUni(false, sse, height, width, frame.data(), line.data(), fullRange);
      size_t changed = 0;
      int largest = 0;
      for (size_t i = 0; i < once.size(); ++i) {
        changed += once[i] != frame.data()[i];
        largest = std::max(largest, std::abs(int(once[i]) - int(frame.data()[i])));
      }
      EXPECT_LE(largest, 2);
      EXPECT_LE(changed, once.size() / 100);
    }
  }
}
