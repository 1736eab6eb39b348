// Frame measurements on synthetic padded frames whose truth is known: a white line piece, black bars of
// given sizes, Gaussian noise of a given sigma and frames that differ by known amounts. The frame
// difference runs through the scalar kernel, the SSE kernel and the dispatcher with the processor flag off
// and on.
#include "engine/runtime/frame_analysis.h"

#include "engine/runtime/project_types.h"
#include "support/kernel_check.h"
#include "support/padded_frames.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <vector>

namespace {

using bz_test::PaddedFrame;

// ---- White line --------------------------------------------------------------------------------------------

struct WhiteRowCase {
  const char *name;
  int column;  // padded column changed, -1 none
  UInt8 chroma, luma;
  bool white;
};

TEST(EngineFrameAnalysis, WhiteLinePieceRowTestsColumns140To249) {
  const WhiteRowCase cases[] = {
      {"all white", -1, 0, 0, true},
      {"lowest legal values at the first column", 140, 98, 200, true},
      {"highest chroma at the last column", 249, 158, 255, true},
      {"dark pixel at the first column", 140, 128, 199, false},
      {"dark pixel at the last column", 249, 128, 16, false},
      {"chroma too low", 200, 97, 235, false},
      {"chroma too high", 141, 159, 235, false},
      {"dark pixel left of the piece", 139, 16, 16, true},
      {"dark pixel right of the piece", 250, 16, 16, true},
  };
  for (const WhiteRowCase &c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<UInt8> row(2 * 736);
    for (size_t x = 0; x < 736; ++x) {
      row[2 * x] = 128;
      row[2 * x + 1] = 235;
    }
    if (c.column >= 0) {
      row[2 * c.column] = c.chroma;
      row[2 * c.column + 1] = c.luma;
    }
    EXPECT_EQ(bool(BZ_IsWhiteLinePieceRow(row.data())), c.white);
  }
}

// ---- Black bars ---------------------------------------------------------------------------------------------

struct BarSizes {
  SInt32 top, left, bottom, right;
};

BarSizes MeasureBars(PaddedFrame &f) {
  const SInt32 w = f.inWidth(), h = f.inHeight();
  BarSizes s{};
  s.top = BZ_GetBlackBarSizeHoriz(f.Pixel(0, 0), w, f.width(), h / 4, true);
  s.bottom = BZ_GetBlackBarSizeHoriz(f.Pixel(0, h - 1), w, f.width(), h / 4, false);
  s.left = BZ_GetBlackBarSizeVert(f.Pixel(0, 0), h, w, f.width(), w / 4, true);
  s.right = BZ_GetBlackBarSizeVert(f.Pixel(0, 0), h, w, f.width(), w / 4, false);
  return s;
}

TEST(EngineFrameAnalysis, BlackBarsOfKnownSizesAreMeasuredOnEachSide) {
  BZ_KERNEL_SEED_TRACE();
  for (bool interlaced : {false, true}) {
    SCOPED_TRACE(interlaced ? "interlaced" : "progressive");
    PaddedFrame f(720, 576, interlaced);
    // Picture content never black; the bars are luma 16 to 58 with some noise, and the margins (which
    // must not be measured) are black everywhere.
    f.Fill(128, 0);
    std::mt19937 &rng = bz_test::Rng();
    std::uniform_int_distribution<int> bright(59, 235), dark(16, 58);
    for (SInt32 y = 0; y < 576; ++y)
      for (SInt32 x = 0; x < 720; ++x) {
        const bool bar = y < 20 || y >= 576 - 12 || x < 30 || x >= 720 - 18;
        f.Luma(x, y) = UInt8(bar ? dark(rng) : bright(rng));
      }
    const BarSizes s = MeasureBars(f);
    EXPECT_EQ(s.top, 20);
    EXPECT_EQ(s.bottom, 12);
    EXPECT_EQ(s.left, 30);
    EXPECT_EQ(s.right, 18);
    EXPECT_TRUE(f.CheckGuards());
  }
}

TEST(EngineFrameAnalysis, BlackRowNeedsMoreThan95PercentOfBlackPixels) {
  // 720 pixels: 95 % is 684; a row counts as black from 685 black pixels on. Rows 0 and 1 are black, row 2
  // has the tested number of black pixels, the rows below are bright.
  for (SInt32 blackPixels : {720, 685, 684, 0}) {
    SCOPED_TRACE(blackPixels);
    PaddedFrame f(720, 576);
    f.FillRect(0, 0, 720, 576, 128, 100);
    f.FillRect(0, 0, 720, 2, 128, 16);
    for (SInt32 x = 0; x < 720; ++x) f.Luma(x, 2) = x < blackPixels ? 58 : 59;
    EXPECT_EQ(BZ_GetBlackBarSizeHoriz(f.Pixel(0, 0), 720, f.width(), 144, true), blackPixels > 684 ? 3 : 2);
  }
}

TEST(EngineFrameAnalysis, CompletelyBlackFrameGivesAQuarterOnEachSide) {
  for (auto size : {std::array<SInt32, 2>{720, 576}, std::array<SInt32, 2>{1920, 1080}, {34, 21}}) {
    PaddedFrame f(size[0], size[1]);
    f.Fill(128, 16);
    const BarSizes s = MeasureBars(f);
    EXPECT_EQ(s.top, size[1] / 4);
    EXPECT_EQ(s.bottom, size[1] / 4);
    EXPECT_EQ(s.left, size[0] / 4);
    EXPECT_EQ(s.right, size[0] / 4);
  }
}

// ---- Noise level ----------------------------------------------------------------------------------------------

SInt32 BandBlockValue(PaddedFrame &f, SInt32 firstRow) {
  SInt32 lowest[3] = {kBZ_NoNoiseLevel, kBZ_NoNoiseLevel, kBZ_NoNoiseLevel};
  BZ_GetBandNoiseLevelOptUni(f.Pixel(0, firstRow), f.inWidth(), f.rowBytes(), lowest);
  return lowest[0];
}

TEST(EngineFrameAnalysis, BlockValueIsTheScaledMeanAbsoluteDeviation) {
  // Luma alternating 100 and 110 (deviation 5), Cb alternating 120 and 136 (deviation 8), Cr flat:
  // 65536 x (0.5 x (8 + 0) + 5) = 589824 for every block.
  PaddedFrame f(96, 64);
  for (SInt32 y = 0; y < 64; ++y)
    for (SInt32 x = 0; x < 96; ++x) {
      f.Luma(x, y) = (x + y) % 2 ? 110 : 100;
      f.Chroma(x, y) = x % 2 ? 128 : ((x / 2 + y) % 2 ? 136 : 120);
    }
  SInt32 lowest[3] = {kBZ_NoNoiseLevel, kBZ_NoNoiseLevel, kBZ_NoNoiseLevel};
  BZ_GetBandNoiseLevelOpt(f.Pixel(0, 0), 96, f.rowBytes(), lowest);
  // (96 - 40) / 16 = 3 blocks in the band.
  EXPECT_EQ(lowest[0], 589824);
  EXPECT_EQ(lowest[1], 589824);
  EXPECT_EQ(lowest[2], 589824);
  float lowestF[3] = {INFINITY, INFINITY, INFINITY};
  BZ_GetBandNoiseLevel(f.Pixel(0, 0), 96, f.rowBytes(), lowestF);
  EXPECT_FLOAT_EQ(lowestF[0], 9.0f);
  EXPECT_FLOAT_EQ(BZ_GetFrameNoiseLevel(f.data(), 96, 64, f.width(), false), 9.0f);
}

TEST(EngineFrameAnalysis, BlocksCountOnlyWithMeanLumaStrictlyBetween48And208) {
  struct Case {
    SInt32 lumaSum;  // spread over the block's 256 pixels
    bool counts;
  } cases[] = {{12288, false}, {12289, true}, {53247, true}, {53248, false}, {0, false}, {65280, false}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.lumaSum);
    PaddedFrame f(56, 16);  // one block: picture columns 16 to 31
    for (SInt32 i = 0; i < 256; ++i) {
      const SInt32 base = c.lumaSum / 256, extra = c.lumaSum % 256;
      f.Luma(16 + i % 16, i / 16) = UInt8(base + (i < extra ? 1 : 0));
    }
    const SInt32 value = BandBlockValue(f, 0);
    EXPECT_EQ(value != kBZ_NoNoiseLevel, c.counts);
    float lowestF[3] = {INFINITY, INFINITY, INFINITY};
    BZ_GetBandNoiseLevel(f.Pixel(0, 0), 56, f.rowBytes(), lowestF);
    EXPECT_EQ(std::isfinite(lowestF[0]), c.counts);
  }
}

TEST(EngineFrameAnalysis, IntegerAndFloatBandLevelsAgreeOnRandomBands) {
  BZ_KERNEL_SEED_TRACE();
  PaddedFrame f(720, 48);
  f.FillRandom(16, 240, 40, 216, bz_test::Rng());
  SInt32 lowest[3] = {kBZ_NoNoiseLevel, kBZ_NoNoiseLevel, kBZ_NoNoiseLevel};
  float lowestF[3] = {INFINITY, INFINITY, INFINITY};
  for (SInt32 band = 0; band < 3; ++band) {
    BZ_GetBandNoiseLevelOpt(f.Pixel(0, 16 * band), 720, f.rowBytes(), lowest);
    BZ_GetBandNoiseLevel(f.Pixel(0, 16 * band), 720, f.rowBytes(), lowestF);
  }
  for (int i = 0; i < 3; ++i) {
    ASSERT_NE(lowest[i], kBZ_NoNoiseLevel);
    EXPECT_NEAR(lowest[i] / 65536.0, lowestF[i], 1e-3) << i;
    if (i > 0) {
      EXPECT_LE(lowest[i - 1], lowest[i]);
    }
  }
}

TEST(EngineFrameAnalysis, LowestThreeKeepAscendingOrderAsValuesArrive) {
  // Three blocks per band with deviations 3, 1 and 2 (luma alternating around 128), then a quieter band.
  PaddedFrame f(96, 32);
  const int deviation[2][3] = {{3, 1, 2}, {0, 4, 4}};
  for (int band = 0; band < 2; ++band)
    for (int b = 0; b < 3; ++b)
      for (SInt32 y = 0; y < 16; ++y)
        for (SInt32 x = 0; x < 16; ++x)
          f.Luma(16 + 16 * b + x, 16 * band + y) = UInt8(128 + ((x + y) % 2 ? 1 : -1) * deviation[band][b]);
  SInt32 lowest[3] = {kBZ_NoNoiseLevel, kBZ_NoNoiseLevel, kBZ_NoNoiseLevel};
  BZ_GetBandNoiseLevelOpt(f.Pixel(0, 0), 96, f.rowBytes(), lowest);
  EXPECT_EQ(lowest[0], 1 * 65536);
  EXPECT_EQ(lowest[1], 2 * 65536);
  EXPECT_EQ(lowest[2], 3 * 65536);
  BZ_GetBandNoiseLevelOpt(f.Pixel(0, 16), 96, f.rowBytes(), lowest);
  EXPECT_EQ(lowest[0], 0);
  EXPECT_EQ(lowest[1], 1 * 65536);
  EXPECT_EQ(lowest[2], 2 * 65536);
}

TEST(EngineFrameAnalysis, GaussianNoiseOfKnownSigmaGivesItsMeanAbsoluteDeviation) {
  // The measure is 0.5 x (MAD Cb + MAD Cr) + MAD Y: twice the mean absolute value of the rounded noise for
  // equal sigmas (close to 2 sigma sqrt(2 / pi)). The level comes from the three quietest of over a
  // thousand blocks, which lie below the mean: the truth x 0.84 .. 0.95 (seen: 0.87 .. 0.92).
  BZ_KERNEL_SEED_TRACE();
  for (bool interlaced : {false, true}) {
    for (double sigma : {1.0, 2.0, 4.0, 8.0}) {
      SCOPED_TRACE(::testing::Message() << "sigma " << sigma << (interlaced ? " interlaced" : ""));
      PaddedFrame f(720, 576, interlaced);
      f.Fill(128, 120);
      f.AddGaussianNoise(sigma, sigma, bz_test::Rng());
      auto cdf = [sigma](double x) { return 0.5 * std::erfc(-x / (sigma * std::sqrt(2.0))); };
      double meanAbs = 0;
      for (int k = 1; k < 100; ++k) meanAbs += 2.0 * k * (cdf(k + 0.5) - cdf(k - 0.5));
      const double truth = 2.0 * meanAbs;
      const float level = BZ_GetFrameNoiseLevel(f.data(), 720, 576, f.width(), interlaced);
      EXPECT_GT(level, 0.84 * truth);
      EXPECT_LT(level, 0.95 * truth);
    }
  }
}

TEST(EngineFrameAnalysis, FrameNoiseLevelIsZeroWithoutThreeQuietBlocksOrAbove40) {
  BZ_KERNEL_SEED_TRACE();
  {
    SCOPED_TRACE("black frame");
    PaddedFrame f(720, 576);
    f.Fill(128, 16);
    EXPECT_EQ(BZ_GetFrameNoiseLevel(f.data(), 720, 576, f.width(), false), 0.0f);
  }
  {
    SCOPED_TRACE("two grey blocks in a black frame");
    PaddedFrame f(720, 576);
    f.Fill(128, 16);
    f.FillRect(16, 0, 48, 16, 128, 128);
    EXPECT_EQ(BZ_GetFrameNoiseLevel(f.data(), 720, 576, f.width(), false), 0.0f);
    f.FillRect(48, 0, 64, 16, 128, 128);  // the third block makes a level (of a flat picture: 0)
    f.Luma(20, 3) = 140;
    EXPECT_GT(BZ_GetFrameNoiseLevel(f.data(), 720, 576, f.width(), false), 0.0f);
  }
  {
    SCOPED_TRACE("level above 40");
    PaddedFrame f(720, 576);
    // Luma 50 or 206 in a checkerboard, chroma 16 or 240: 0.5 x (112 + 112) + 78 = 190.
    for (SInt32 y = 0; y < 576; ++y)
      for (SInt32 x = 0; x < 720; ++x) {
        f.Luma(x, y) = (x + y) % 2 ? 206 : 50;
        f.Chroma(x, y) = (x / 2 + y) % 2 ? 240 : 16;
      }
    EXPECT_EQ(BZ_GetFrameNoiseLevel(f.data(), 720, 576, f.width(), false), 0.0f);
  }
  {
    SCOPED_TRACE("frames too small for a band or a block");
    PaddedFrame f(720, 55);
    f.Fill(128, 128);
    EXPECT_EQ(BZ_GetFrameNoiseLevel(f.data(), 720, 55, f.width(), false), 0.0f);
    PaddedFrame g(55, 576);
    g.Fill(128, 128);
    EXPECT_EQ(BZ_GetFrameNoiseLevel(g.data(), 55, 576, g.width(), false), 0.0f);
  }
}

// ---- Optimal scales ---------------------------------------------------------------------------------------------

TEST(EngineFrameAnalysis, Level90OfSevenBins) {
  struct Case {
    const char *name;
    std::array<UInt32, 7> bins;
    float level;
  } cases[] = {
      {"empty", {0, 0, 0, 0, 0, 0, 0}, 7.0f},
      {"first bin above 90 %", {91, 9, 0, 0, 0, 0, 0}, 0.9f},
      {"all in the first bin", {5, 0, 0, 0, 0, 0, 0}, 0.9f},
      // Total 100, 90 reached inside bin 2: 2 + (90 - 60) / (100 - 60).
      {"interpolated in bin 2", {30, 30, 40, 0, 0, 0, 0}, 2.75f},
      {"all in the last bin", {0, 0, 0, 0, 0, 0, 10}, 6.9f},
      {"exactly 90 % before bin 3", {45, 0, 45, 10, 0, 0, 0}, 3.0f},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NEAR(BZ_CalcLevel90(c.bins.data()), c.level, 1e-5f);
  }
}

TEST(EngineFrameAnalysis, OptimalScalesTakeTheWiderSideOfEachHistogram) {
  // Everything in bin 8: the negative side is empty (7.0), so both scales come from L = 7.
  UInt32 zeroC[16] = {}, zeroY[16] = {};
  zeroC[8] = zeroY[8] = 1000;
  float scaleC = 0, scaleY = 0;
  BZ_CalcOptNoiseScale(zeroC, zeroY, &scaleC, &scaleY);
  EXPECT_FLOAT_EQ(scaleC, 1.8f);
  EXPECT_FLOAT_EQ(scaleY, 0.9f);
  // Symmetric spread: negative side bins 6, 5 hold 50 each -> level 1.8; positive bins 8, 9, 10 hold
  // 40, 40, 20 -> 2 + (90 - 80) / 20 = 2.5, the wider side.
  UInt32 h[16] = {};
  h[6] = h[5] = 50;
  h[7] = 500;  // left out on both sides
  h[8] = h[9] = 40;
  h[10] = 20;
  BZ_CalcOptNoiseScale(h, h, &scaleC, &scaleY);
  EXPECT_FLOAT_EQ(scaleC, 12.6f / 2.5f);
  EXPECT_FLOAT_EQ(scaleY, 6.3f / 2.5f);
}

// ---- Frame difference -------------------------------------------------------------------------------------------

enum class Path { kScalar, kAcc, kUniScalar, kUniSSE };

const char *PathName(Path p) {
  switch (p) {
    case Path::kScalar: return "scalar";
    case Path::kAcc: return "acc";
    case Path::kUniScalar: return "uni without SSE3";
    case Path::kUniSSE: return "uni with SSE3";
  }
  return "";
}

// Sets the processor flag the application's dispatchers read and puts it back afterwards.
class ProcessorFlagFixture : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = gBZ.procInfo.hasSSE3; }
  void TearDown() override { gBZ.procInfo.hasSSE3 = saved_; }

  struct DiffResult {
    float lineDiff[20];
    SInt32 numDiff;
    float optScaleY, optScaleC;
  };

  DiffResult Run(Path path, const UInt8 *in, const UInt8 *out, SInt32 inWidth, SInt32 lineSize, SInt32 numLines,
                 Boolean calcOptScale) {
    DiffResult r{};
    r.numDiff = -7;
    r.optScaleY = r.optScaleC = -1.0f;
    switch (path) {
      case Path::kScalar:
        BZ_Calc20LineDiff(in, out, inWidth, lineSize, numLines, r.lineDiff, &r.numDiff, calcOptScale, &r.optScaleY,
                          &r.optScaleC);
        break;
      case Path::kAcc:
        BZ_Calc20LineDiffAcc(in, out, inWidth, lineSize, numLines, r.lineDiff, &r.numDiff, calcOptScale,
                             &r.optScaleY, &r.optScaleC);
        break;
      case Path::kUniScalar:
      case Path::kUniSSE:
        gBZ.procInfo.hasSSE3 = path == Path::kUniSSE;
        BZ_Calc20LineDiffUni(in, out, inWidth, lineSize, numLines, r.lineDiff, &r.numDiff, calcOptScale,
                             &r.optScaleY, &r.optScaleC);
        break;
    }
    return r;
  }

 private:
  Boolean saved_ = false;
};

constexpr Path kAllPaths[] = {Path::kScalar, Path::kAcc, Path::kUniScalar, Path::kUniSSE};

class EngineFrameDiff : public ProcessorFlagFixture {};

TEST_F(EngineFrameDiff, IdenticalFramesGiveNoDifferenceAndScales18And09) {
  BZ_KERNEL_SEED_TRACE();
  PaddedFrame in(720, 576), out(720, 576);
  in.FillRandom(0, 255, 0, 255, bz_test::Rng());
  out.CopyFrom(in);
  for (Path path : kAllPaths) {
    SCOPED_TRACE(PathName(path));
    const DiffResult r = Run(path, in.data(), out.data(), 720, in.rowBytes(), (576 - 48) / 20, true);
    for (float d : r.lineDiff) EXPECT_EQ(d, 0.0f);
    EXPECT_EQ(r.numDiff, 0);
    EXPECT_FLOAT_EQ(r.optScaleC, 1.8f);
    EXPECT_FLOAT_EQ(r.optScaleY, 0.9f);
  }
}

TEST_F(EngineFrameDiff, KnownChangesInsideTheTestedAreaAreCountedExactly) {
  // 720 x 576: numLines 26, tested rows 24 .. 543, padded columns 24 .. 711 (U = 688). Every fourth pixel
  // there gets luma + 5 and chroma - 3 (8 per changed pixel, 2 per pixel on average); changes outside the
  // tested area must not count.
  BZ_KERNEL_SEED_TRACE();
  const SInt32 numLines = (576 - 48) / 20, usedWidth = 688;
  PaddedFrame in(720, 576), out(720, 576);
  in.FillRandom(20, 200, 20, 200, bz_test::Rng());
  out.CopyFrom(in);
  for (SInt32 row = 24; row < 24 + 20 * numLines; ++row)
    for (SInt32 x = 24; x < 24 + usedWidth; x += 4) {
      out.Row(row)[2 * x] -= 3;
      out.Row(row)[2 * x + 1] += 5;
    }
  for (SInt32 x = 0; x < out.width(); ++x) {
    out.Row(23)[2 * x + 1] ^= 0xFF;                 // the row above the tested area
    out.Row(24 + 20 * numLines)[2 * x + 1] ^= 0xFF;  // the row below it
  }
  for (SInt32 row = 0; row < out.height(); ++row) {
    out.Row(row)[2 * 23 + 1] ^= 0xFF;             // the column left of it
    out.Row(row)[2 * (24 + usedWidth) + 1] ^= 0xFF;  // the column right of it
  }
  for (Path path : kAllPaths) {
    SCOPED_TRACE(PathName(path));
    const DiffResult r = Run(path, in.data(), out.data(), 720, in.rowBytes(), numLines, true);
    for (float d : r.lineDiff) EXPECT_FLOAT_EQ(d, 2.0f);
    EXPECT_EQ(r.numDiff, usedWidth / 4 * numLines * 20);
    // Luma: 3/4 in bin 8, 1/4 in bin 9 -> positive side 1 + (0.9 - 0.75) / 0.25 = 1.6, negative side
    // empty (7.0). Chroma -3 falls into bin 7, which neither side counts: both sides 7.0 at most.
    EXPECT_FLOAT_EQ(r.optScaleY, 6.3f / 7.0f);
    EXPECT_FLOAT_EQ(r.optScaleC, 12.6f / 7.0f);
  }
}

TEST_F(EngineFrameDiff, GaussianDifferenceOfKnownSigmaGivesItsMeanAbsoluteValue) {
  // out = in + N(0, sigma) rounded, in both channels: the truth is twice the mean |k| of the rounded normal
  // distribution (close to 2 sigma sqrt(2 / pi)); the share of changed pixels is 1 - P(both round to 0).
  BZ_KERNEL_SEED_TRACE();
  for (double sigma : {2.0, 5.0}) {
    SCOPED_TRACE(sigma);
    PaddedFrame in(720, 576), out(720, 576);
    in.FillRandom(60, 190, 60, 190, bz_test::Rng());
    out.CopyFrom(in);
    out.AddGaussianNoise(sigma, sigma, bz_test::Rng());
    const SInt32 numLines = 26;
    const double tested = 688.0 * numLines * 20;
    auto cdf = [sigma](double x) { return 0.5 * std::erfc(-x / (sigma * std::sqrt(2.0))); };
    double meanAbs = 0;
    for (int k = 1; k < 100; ++k) meanAbs += 2.0 * k * (cdf(k + 0.5) - cdf(k - 0.5));
    const double truthDiff = 2.0 * meanAbs;
    const double pZero = cdf(0.5) - cdf(-0.5);
    const double truthChanged = 1.0 - pZero * pZero;
    for (Path path : kAllPaths) {
      SCOPED_TRACE(PathName(path));
      const DiffResult r = Run(path, in.data(), out.data(), 720, in.rowBytes(), numLines, false);
      double mean = 0;
      for (float d : r.lineDiff) mean += d / 20.0;
      EXPECT_NEAR(mean, truthDiff, 0.01 * truthDiff);
      EXPECT_NEAR(r.numDiff / tested, truthChanged, 0.01);
    }
  }
}

struct DiffShape {
  SInt32 inWidth, inHeight;
  size_t offset;  // bytes added to both buffers' starts
};

class EngineFrameDiffShapes : public ProcessorFlagFixture, public ::testing::WithParamInterface<DiffShape> {};

TEST_P(EngineFrameDiffShapes, SseEqualsScalarOnRandomFrames) {
  BZ_KERNEL_SEED_TRACE();
  const DiffShape s = GetParam();
  PaddedFrame in(s.inWidth, s.inHeight), out(s.inWidth, s.inHeight);
  // Full-range bytes, so that differences beyond -128..127 test the saturated histogram path, and a
  // minority of unchanged pixels.
  in.FillRandom(0, 255, 0, 255, bz_test::Rng());
  out.FillRandom(0, 255, 0, 255, bz_test::Rng());
  for (size_t i = 0; i < in.size(); i += 6) out.data()[i] = in.data()[i], out.data()[i + 1] = in.data()[i + 1];
  const SInt32 numLines = s.inHeight >= 48 ? (s.inHeight - 48) / 20 : 0;
  for (Boolean calcOptScale : {false, true}) {
    SCOPED_TRACE(calcOptScale ? "with scales" : "without scales");
    const DiffResult ref =
        Run(Path::kScalar, in.data() + s.offset, out.data() + s.offset, s.inWidth, in.rowBytes(), numLines, calcOptScale);
    for (Path path : {Path::kAcc, Path::kUniScalar, Path::kUniSSE}) {
      SCOPED_TRACE(PathName(path));
      const DiffResult r =
          Run(path, in.data() + s.offset, out.data() + s.offset, s.inWidth, in.rowBytes(), numLines, calcOptScale);
      for (int g = 0; g < 20; ++g) EXPECT_EQ(r.lineDiff[g], ref.lineDiff[g]) << g;
      EXPECT_EQ(r.numDiff, ref.numDiff);
      if (calcOptScale) {
        EXPECT_EQ(r.optScaleY, ref.optScaleY);
        EXPECT_EQ(r.optScaleC, ref.optScaleC);
      } else {
        EXPECT_EQ(r.optScaleY, -1.0f);  // not touched
        EXPECT_EQ(r.optScaleC, -1.0f);
      }
    }
    if (BZ_GetDiffLineWidth(s.inWidth) > 0 && numLines > 0) {
      EXPECT_GT(ref.numDiff, 0);
    } else {
      EXPECT_EQ(ref.numDiff, 0);
      for (float d : ref.lineDiff) EXPECT_EQ(d, 0.0f);
    }
  }
  EXPECT_TRUE(in.CheckGuards());
  EXPECT_TRUE(out.CheckGuards());
}

const DiffShape kDiffShapes[] = {
    {720, 576, 0},   // PAL
    {721, 576, 0},   // odd width: the same 688 pixels
    {718, 480, 0},   // width not a multiple of 8
    {1920, 1080, 0},  // HD
    {720, 576, 3},   // unaligned start
    {64, 68, 0},     // smallest frame with a full group: U 32, one row per group
    {47, 576, 0},    // too narrow: nothing tested
    {720, 67, 0},    // too short: no rows per group
};
INSTANTIATE_TEST_SUITE_P(Shapes, EngineFrameDiffShapes, ::testing::ValuesIn(kDiffShapes));

}  // namespace
