// Averaging's line kernels: splitting a shift, the interpolation coefficients, the sub-pixel shift of a
// line and the weighted mean.
#include "methods/average_lines.h"

#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr SInt32 kWidth = 96;

std::vector<UInt8> RandomLine(SInt32 width) {
  std::vector<UInt8> line(size_t(width) * 2);
  bz_test::FillRandomBytes(line.data(), line.size(), bz_test::Rng());
  return line;
}

// A work line whose stale contents would show: any entry read before it is written poisons the result.
std::vector<float> PoisonedTempLine(SInt32 width) { return std::vector<float>(BZ_AvTempLineFloats(width), 1.0e30f); }

// Lagrange interpolation of line 2's luma at pixel position pos, from the four samples around it,
// computed directly in double.
double InterpolateLuma(const std::vector<UInt8> &line, double pos) {
  const int base = int(std::floor(pos)) - 1;
  const double x = pos - base;
  double sum = 0.0;
  for (int k = 0; k < 4; ++k) {
    double basis = 1.0;
    for (int m = 0; m < 4; ++m)
      if (m != k) basis *= (x - m) / double(k - m);
    sum += basis * line[2 * (base + k) + 1];
  }
  return sum;
}

TEST(AverageLines, SplittingAShift) {
  struct Case {
    float shift;
    SInt32 intShift;
    float fracShift;
  };
  const Case cases[] = {{0.75f, 1, -0.25f}, {-0.75f, -1, 0.25f}, {2.5f, 2, 0.5f},  {-2.5f, -2, -0.5f},
                        {0.0f, 0, 0.0f},    {3.2f, 3, 0.2f},     {-8.0f, -8, 0.0f}, {NAN, 0, 0.0f},
                        {INFINITY, 0, 0.0f}};
  for (const Case &c : cases) {
    SInt32 intShift = 99;
    float fracShift = 99.0f;
    BZ_AvGetFracShift(c.shift, &intShift, &fracShift);
    EXPECT_EQ(intShift, c.intShift) << "BZ_AvGetFracShift(" << c.shift << ")";
    EXPECT_NEAR(fracShift, c.fracShift, 1e-6f) << "BZ_AvGetFracShift(" << c.shift << ")";
  }
}

TEST(AverageLines, InterpolationCoefficients) {
  struct Case {
    float fracShift;
    float coeff[4];
  };
  const Case cases[] = {{0.0f, {0.0f, 1.0f, 0.0f, 0.0f}},
                        {0.5f, {-0.0625f, 0.5625f, 0.5625f, -0.0625f}},
                        {-0.25f, {-0.0546875f, 0.8203125f, 0.2734375f, -0.0390625f}},
                        {0.2f, {-0.032f, 0.216f, 0.864f, -0.048f}}};
  for (const Case &c : cases) {
    float coeff[4];
    BZ_GetInterpCoeff(c.fracShift, coeff);
    EXPECT_TRUE(bz_test::FloatsNear(c.coeff, coeff, 4, 1e-6f)) << "BZ_GetInterpCoeff(" << c.fracShift << ")";
  }
}

TEST(AverageLines, NoShiftAndEqualWeightsGiveTheRoundedMean) {
  BZ_KERNEL_SEED_TRACE();
  std::vector<UInt8> line1 = RandomLine(kWidth), line2 = RandomLine(kWidth), out(line1.size());
  std::vector<float> temp = PoisonedTempLine(kWidth);
  float coeff[4];
  BZ_GetInterpCoeff(0.0f, coeff);
  const std::vector<UInt8> original2 = line2;
  BZ_AverageLineUni(kWidth, 0, 0.0f, 0.5f, coeff, out.data(), line1.data(), temp.data(), line2.data());
  for (size_t b = 0; b < out.size(); ++b)
    ASSERT_EQ(out[b], (line1[b] + original2[b] + 1) / 2) << "BZ_AverageLineUni, byte " << b;
}

TEST(AverageLines, WeightsFavourTheirMovie) {
  std::vector<UInt8> line1(kWidth * 2, 200), line2(kWidth * 2, 100), out(kWidth * 2);
  std::vector<float> temp = PoisonedTempLine(kWidth);
  float coeff[4];
  BZ_GetInterpCoeff(0.0f, coeff);
  const struct {
    float weight;
    UInt8 expected;
  } cases[] = {{1.0f, 200}, {0.0f, 100}, {0.25f, 125}, {0.75f, 175}, {0.3f, 130}};
  for (const auto &c : cases) {
    BZ_AverageLine(kWidth, 0, 0.0f, c.weight, coeff, out.data(), line1.data(), temp.data(), line2.data());
    EXPECT_EQ(out[0], c.expected) << "weight " << c.weight;
    EXPECT_EQ(out[kWidth * 2 - 1], c.expected) << "weight " << c.weight;
  }
}

// Chroma moves by whole pairs of pixels, luma by the exact sub-pixel shift; interior pixels are checked
// against a directly computed interpolation, the emptied edge against line 1.
TEST(AverageLines, ShiftMovesChromaByPairsAndLumaByTheSubPixelShift) {
  BZ_KERNEL_SEED_TRACE();
  struct Case {
    SInt32 intShift;
    float fracShift;
    SInt32 chromaShift;
  };
  const Case cases[] = {{3, 0.2f, 4},   {3, -0.2f, 2},   {-3, 0.4f, -2}, {-3, -0.4f, -4}, {0, 0.5f, 0},
                        {-1, -0.3f, -2}, {1, 0.25f, 2},   {8, 0.5f, 8},   {-8, -0.5f, -8}, {2, 0.0f, 2},
                        {-5, 0.0f, -6}};
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::Message() << "intShift " << c.intShift << ", fracShift " << c.fracShift);
    const std::vector<UInt8> line1 = RandomLine(kWidth), original2 = RandomLine(kWidth);
    std::vector<UInt8> line2 = original2;
    std::vector<float> temp = PoisonedTempLine(kWidth);
    float coeff[4];
    BZ_GetInterpCoeff(c.fracShift, coeff);
    BZ_AvShiftVideoLine(kWidth, c.intShift, c.fracShift, line1.data(), temp.data(), line2.data(), coeff);

    for (SInt32 i = 0; i < kWidth; ++i) {
      const SInt32 from = i - c.chromaShift;
      const UInt8 expected = from >= 0 && from < kWidth ? original2[2 * from] : line1[2 * i];
      ASSERT_EQ(line2[2 * i], expected) << "chroma of pixel " << i;
    }
    const double shift = c.intShift + double(c.fracShift);
    for (SInt32 i = 0; i < kWidth; ++i) {
      const double pos = i - shift;
      if (pos >= 2.0 && pos <= kWidth - 3.0) {
        const double v = std::clamp(InterpolateLuma(original2, pos), 0.0, 255.0);
        ASSERT_NEAR(line2[2 * i + 1], v, 0.5 + 1e-3) << "luma of pixel " << i;
      } else if (c.fracShift == 0.0f && (pos < 0.0 || pos >= kWidth)) {
        ASSERT_EQ(line2[2 * i + 1], line1[2 * i + 1]) << "emptied luma of pixel " << i;
      }
    }
  }
}

// With both lines flat every value the filter reads must be that level, guards and emptied pixels
// included; a stale work-line entry would show at the edges.
TEST(AverageLines, FlatLinesStayFlatForEveryShift) {
  for (SInt32 intShift = -kBZ_AvMaxShift; intShift <= kBZ_AvMaxShift; ++intShift) {
    for (float fracShift : {-0.5f, -0.3f, 0.0f, 0.1f, 0.5f}) {
      std::vector<UInt8> line1(kWidth * 2), line2(kWidth * 2);
      for (SInt32 i = 0; i < kWidth; ++i) {
        line1[2 * i] = line2[2 * i] = 90;
        line1[2 * i + 1] = line2[2 * i + 1] = 77;
      }
      std::vector<float> temp = PoisonedTempLine(kWidth);
      float coeff[4];
      BZ_GetInterpCoeff(fracShift, coeff);
      BZ_AvShiftVideoLine(kWidth, intShift, fracShift, line1.data(), temp.data(), line2.data(), coeff);
      for (SInt32 i = 0; i < kWidth; ++i) {
        ASSERT_EQ(line2[2 * i], 90) << "chroma, pixel " << i << ", shift " << intShift << " + " << fracShift;
        ASSERT_EQ(line2[2 * i + 1], 77) << "luma, pixel " << i << ", shift " << intShift << " + " << fracShift;
      }
    }
  }
}

TEST(AverageLines, FrameAveragesEveryLineAndBandLeavesItsInputs) {
  BZ_KERNEL_SEED_TRACE();
  const SInt32 width = 48, height = 20;
  const size_t size = size_t(width) * 2 * height;
  std::vector<UInt8> in1(size), in2(size), out(size);
  bz_test::FillRandomBytes(in1.data(), size, bz_test::Rng());
  bz_test::FillRandomBytes(in2.data(), size, bz_test::Rng());
  const std::vector<UInt8> original2 = in2;

  std::vector<float> lines(2 * size_t(BZ_AvTempLineFloats(width)));
  float *tempLines[2] = {lines.data(), lines.data() + BZ_AvTempLineFloats(width)};
  BZ_AvParams params{};
  params.width = width;
  params.height = height;
  params.tempLine = tempLines;
  params.numTempLines = 2;
  params.intShift = -2;
  params.fracShift = 0.25f;
  params.weight = 0.4f;
  BZ_GetInterpCoeff(params.fracShift, params.coeff);
  BZ_Average(&params, 1, in1.data(), in2.data(), out.data());

  // The same through one line at a time, and through BZ_AverageBand on 16 of the lines.
  std::vector<UInt8> expected(size), copy2 = original2;
  std::vector<float> temp = PoisonedTempLine(width);
  for (SInt32 row = 0; row < height; ++row) {
    const size_t offset = size_t(row) * width * 2;
    BZ_AverageLine(width, -2, 0.25f, 0.4f, params.coeff, expected.data() + offset, in1.data() + offset, temp.data(),
                   copy2.data() + offset);
  }
  EXPECT_TRUE(bz_test::BytesEqual(expected.data(), out.data(), size, 1)) << "BZ_Average";
  EXPECT_TRUE(bz_test::BytesEqual(copy2.data(), in2.data(), size, 1)) << "BZ_Average shifts line 2 in place";

  std::vector<UInt8> band(size_t(width) * 2 * kBZ_AvBandLines);
  BZ_AverageBand(width, -1.75f, 0.4f, temp.data(), in1.data(), original2.data(), band.data());
  EXPECT_TRUE(bz_test::BytesEqual(expected.data(), band.data(), band.size(), 1)) << "BZ_AverageBand";
}

}  // namespace
