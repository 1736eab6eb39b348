// The horizontal and vertical spectral noise filters: gain rule, exact values, coverage, and the SSE paths
// against the scalar ones.
#include "methods/line_filters.h"

#include "rn_test_params.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using bz_test::GuardedBuffer;
using bz_test::RnTestParams;

// ---- Gain rule ---------------------------------------------------------------------------------------------

TEST(RnGainRule, RemovesWhatTheNoiseExplainsOnBothPaths) {
  struct Case {
    float re, im, noise, gain;
  };
  const Case cases[] = {
      {3, 4, 30, 0},            // power 25 below its noise value: removed
      {3, 4, 25, 0},            // exactly explained
      {3, 4, 0, 1},             // no noise: unchanged
      {3, 4, 5, 0.8f},          // (25 - 5) / 25
      {0, 0, 0, 0},             // nothing stays nothing
      {0.001f, 0, 0, 1e-6f / kBZ_RnMinPower},  // below 2^-16 the divisor stays 2^-16
      {-6, 8, 50, 0.5f},
      {100, 0, 0, 1},
  };
  for (const Case &c : cases) {
    float pairs[8] = {c.re, c.im, c.re, c.im, c.re, c.im, c.re, c.im};
    const float nn[4] = {c.noise, c.noise, c.noise, c.noise};
    BZ_SubtractNoiseHoriz8_Opt2(pairs, nn);
    EXPECT_NEAR(pairs[0], c.re * c.gain, 1e-6 * std::fabs(c.re) + 1e-12) << c.re << ", " << c.im << " / " << c.noise;
    EXPECT_NEAR(pairs[1], c.im * c.gain, 1e-6 * std::fabs(c.im) + 1e-12);
    if (c.gain == 1) {
      EXPECT_EQ(pairs[0], c.re) << "a zero model keeps coefficients exactly";
    }
  }
  // The SSE rule: four lanes with different cases, each equal to the scalar result.
  alignas(16) float coeff[32], nn[16];
  float scalar[4][8];
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> value(-80, 80), noise(0, 5000);
  for (int lane = 0; lane < 4; ++lane) {
    float lnn[4];
    for (int j = 0; j < 4; ++j) nn[4 * j + lane] = lnn[j] = lane == 3 ? 0 : noise(rng);
    for (int k = 0; k < 8; ++k) coeff[4 * k + lane] = scalar[lane][k] = value(rng);
    BZ_SubtractNoiseHoriz8_Opt2(scalar[lane], lnn);
  }
  BZ_SubtractNoiseHoriz8Acc(coeff, nn);
  for (int lane = 0; lane < 4; ++lane)
    for (int k = 0; k < 8; ++k) EXPECT_EQ(coeff[4 * k + lane], scalar[lane][k]) << "lane " << lane << ", " << k;
}

// ---- Frames ------------------------------------------------------------------------------------------------

enum class Filter { kHorizScalar, kHorizAcc, kVertScalar, kVertAcc };

const char *Name(Filter f) {
  switch (f) {
    case Filter::kHorizScalar: return "BZ_RnHorizFilter";
    case Filter::kHorizAcc: return "BZ_RnHorizFilterAcc";
    case Filter::kVertScalar: return "BZ_RnVertFilter";
    case Filter::kVertAcc: return "BZ_RnVertFilterAcc";
  }
  return "";
}

void RunFilter(Filter f, const BZ_RnParams *p, const UInt8 *in, UInt8 *out) {
  switch (f) {
    case Filter::kHorizScalar: BZ_RnHorizFilter(p, in, out); break;
    case Filter::kHorizAcc: BZ_RnHorizFilterAcc(p, in, out); break;
    case Filter::kVertScalar: BZ_RnVertFilter(p, in, out); break;
    case Filter::kVertAcc: BZ_RnVertFilterAcc(p, in, out); break;
  }
}

bool IsHorizontal(Filter f) { return f == Filter::kHorizScalar || f == Filter::kHorizAcc; }

// Whether the filter writes byte `b` of buffer line `y`: covered samples only.
bool Covered(Filter f, const BZ_RnParams &p, SInt32 y, SInt32 b) {
  const SInt32 fields = p.interlaced ? 2 : 1;
  if (IsHorizontal(f)) {
    if (y < 8 * fields || y >= p.inHeight + 8 * fields) return false;
    if (b & 1) return b / 2 >= 7 && b / 2 <= p.width - 8;
    return b / 4 >= 3 && b / 4 <= p.width / 2 - 4;
  }
  const SInt32 fieldLine = y / fields, blockRows = p.height / (8 * fields);
  return fieldLine >= 7 && fieldLine <= 8 * blockRows - 8;
}

// An input frame and a guarded output frame whose bytes start at 0, a value no filter writes (results are
// clamped to 1 .. 254), so untouched bytes show.
struct Frames {
  explicit Frames(const BZ_RnParams &p)
      : rowBytes(2 * p.width), height(p.height), in(size_t(rowBytes) * height), out(size_t(rowBytes) * height) {
    std::memset(out.data(), 0, out.size());
  }
  UInt8 &In(SInt32 y, SInt32 b) { return in[size_t(y) * rowBytes + b]; }
  UInt8 Out(SInt32 y, SInt32 b) const { return out.data()[size_t(y) * rowBytes + b]; }
  SInt32 rowBytes, height;
  std::vector<UInt8> in;
  GuardedBuffer out;
};

using Pattern = std::function<UInt8(SInt32 y, SInt32 b, std::mt19937 &)>;

void FillInput(Frames *fr, const Pattern &pattern) {
  std::mt19937 rng(bz_test::TestSeed());
  for (SInt32 y = 0; y < fr->height; ++y)
    for (SInt32 b = 0; b < fr->rowBytes; ++b) fr->In(y, b) = pattern(y, b, rng);
}

const Filter kAllFilters[] = {Filter::kHorizScalar, Filter::kHorizAcc, Filter::kVertScalar, Filter::kVertAcc};

TEST(RnLineFilters, ConstantFrameComesOutUnchangedOnCoveredSamplesOnly) {
  for (bool interlaced : {false, true})
    for (UInt8 value : {UInt8(1), UInt8(128), UInt8(254)})
      for (Filter f : kAllFilters) {
        RnTestParams t(64, 48, interlaced);
        t.SetLineModel(3000, 1500, 1500);
        Frames fr(t.params);
        FillInput(&fr, [value](SInt32, SInt32, std::mt19937 &) { return value; });
        RunFilter(f, &t.params, fr.in.data(), fr.out.data());
        ASSERT_TRUE(fr.out.CheckGuards()) << Name(f);
        int wrong = 0;
        for (SInt32 y = 0; y < fr.height; ++y)
          for (SInt32 b = 0; b < fr.rowBytes; ++b) {
            const UInt8 expected = Covered(f, t.params, y, b) ? value : 0;
            if (fr.Out(y, b) != expected && wrong++ < 3)
              ADD_FAILURE() << Name(f) << (interlaced ? " interlaced" : "") << " value " << int(value) << ": line " << y
                            << ", byte " << b << " is " << int(fr.Out(y, b)) << ", expected " << int(expected);
          }
        EXPECT_EQ(wrong, 0) << Name(f);
      }
}

TEST(RnLineFilters, ZeroModelRebuildsEverySampleClampedTo1To254) {
  for (Filter f : kAllFilters) {
    RnTestParams t(64, 48, f == Filter::kVertAcc);
    t.SetLineModel(0, 0, 0);
    Frames fr(t.params);
    FillInput(&fr, [](SInt32 y, SInt32 b, std::mt19937 &rng) {
      if ((y / 3 + b / 5) % 7 == 0) return UInt8((y + b) % 2 ? 255 : 0);
      return UInt8(rng() % 256);
    });
    RunFilter(f, &t.params, fr.in.data(), fr.out.data());
    int worst = 0, zeros = 0, fulls = 0;
    for (SInt32 y = 0; y < fr.height; ++y)
      for (SInt32 b = 0; b < fr.rowBytes; ++b) {
        if (!Covered(f, t.params, y, b)) continue;
        const int in = fr.In(y, b), expected = std::clamp(in, 1, 254);
        worst = std::max(worst, std::abs(fr.Out(y, b) - expected));
        if (in == 0) {
          ++zeros;
          EXPECT_EQ(fr.Out(y, b), 1) << Name(f) << ": 0 becomes 1 at line " << y << ", byte " << b;
        }
        if (in == 255) {
          ++fulls;
          EXPECT_EQ(fr.Out(y, b), 254) << Name(f) << ": 255 becomes 254 at line " << y << ", byte " << b;
        }
      }
    EXPECT_LE(worst, 1) << Name(f) << ": only the rounding may differ";
    EXPECT_GT(zeros, 10);
    EXPECT_GT(fulls, 10);
  }
}

TEST(RnLineFilters, VerticalFilterKeepsTheFieldsApart) {
  // Field lines of the two fields hold different constants: filtering within each field leaves both.
  for (Filter f : {Filter::kVertScalar, Filter::kVertAcc}) {
    RnTestParams t(48, 64, true);
    t.SetLineModel(5000, 5000, 5000);
    Frames fr(t.params);
    FillInput(&fr, [](SInt32 y, SInt32, std::mt19937 &) { return UInt8(y % 2 ? 200 : 40); });
    RunFilter(f, &t.params, fr.in.data(), fr.out.data());
    for (SInt32 y = 0; y < fr.height; ++y)
      for (SInt32 b = 0; b < fr.rowBytes; b += 7)
        if (Covered(f, t.params, y, b)) {
          ASSERT_EQ(fr.Out(y, b), y % 2 ? 200 : 40) << Name(f) << " line " << y;
        }
    // Every picture line (16 .. inHeight + 15) is written.
    for (SInt32 y = 16; y < 16 + 64; ++y) EXPECT_TRUE(Covered(f, t.params, y, 20)) << y;
  }
}

TEST(RnLineFilters, NoiseModelShrinksNoise) {
  // Noise of amplitude 39 with the model of that level: the output varies much less than the input.
  for (Filter f : kAllFilters) {
    RnTestParams t(128, 64);
    t.SetLineModel(3181, 1686, 1686);
    Frames fr(t.params);
    FillInput(&fr, [](SInt32, SInt32, std::mt19937 &rng) { return UInt8(128 + int(rng() % 79) - 39); });
    RunFilter(f, &t.params, fr.in.data(), fr.out.data());
    double inVar = 0, outVar = 0;
    int n = 0;
    for (SInt32 y = 0; y < fr.height; ++y)
      for (SInt32 b = 1; b < fr.rowBytes; b += 2)
        if (Covered(f, t.params, y, b)) {
          inVar += (fr.In(y, b) - 128.0) * (fr.In(y, b) - 128.0);
          outVar += (fr.Out(y, b) - 128.0) * (fr.Out(y, b) - 128.0);
          ++n;
        }
    EXPECT_LT(outVar, 0.5 * inVar) << Name(f) << " over " << n << " luma samples";
  }
}

// ---- SSE against scalar ------------------------------------------------------------------------------------

struct PathCase {
  const char *name;
  SInt32 inWidth;
  bool interlaced;
  Pattern pattern;
};

class RnLineFilterPaths : public ::testing::TestWithParam<PathCase> {};

const Pattern kRandom = [](SInt32, SInt32, std::mt19937 &rng) { return UInt8(rng() % 256); };
const Pattern kFlat = [](SInt32, SInt32, std::mt19937 &) { return UInt8(97); };
const Pattern kStripes = [](SInt32 y, SInt32 b, std::mt19937 &) { return UInt8(((b / 6) + (y / 3)) % 2 ? 255 : 0); };
const Pattern kNoise39 = [](SInt32, SInt32, std::mt19937 &rng) { return UInt8(128 + int(rng() % 79) - 39); };

const PathCase kPathCases[] = {
    {"Random720", 720, false, kRandom},   {"Flat720", 720, false, kFlat},
    {"Stripes736", 736, false, kStripes}, {"Noise39_736", 736, true, kNoise39},
    {"Random1920", 1920, true, kRandom},  {"Noise39_1920", 1920, false, kNoise39},
};

TEST_P(RnLineFilterPaths, AccMatchesScalar) {
  BZ_KERNEL_SEED_TRACE();
  const PathCase &c = GetParam();
  RnTestParams t(c.inWidth, 40, c.interlaced);
  t.SetLineModel(3181, 1686, 1405);
  for (int j = 0; j < 8; ++j) t.params.nn16V[1][j] = 1000 + 100 * j;  // channels must not be mixed up
  Frames scalar(t.params), acc(t.params);
  FillInput(&scalar, c.pattern);
  FillInput(&acc, c.pattern);

  // Horizontal: the same samples written, values equal but where the rounding rules part (by one).
  BZ_RnHorizFilter(&t.params, scalar.in.data(), scalar.out.data());
  BZ_RnHorizFilterAcc(&t.params, acc.in.data(), acc.out.data());
  ASSERT_TRUE(acc.out.CheckGuards());
  int differing = 0, covered = 0;
  for (SInt32 y = 0; y < scalar.height; ++y)
    for (SInt32 b = 0; b < scalar.rowBytes; ++b) {
      const int s = scalar.Out(y, b), a = acc.Out(y, b);
      ASSERT_EQ(s == 0, a == 0) << "coverage differs at line " << y << ", byte " << b;
      ASSERT_LE(std::abs(s - a), 1) << "line " << y << ", byte " << b << ": scalar " << s << ", SSE " << a;
      covered += s != 0;
      differing += s != a;
    }
  EXPECT_GT(covered, 0);
  // Only values with a fraction in [0.5, 0.51) round apart: about 1 % of random results.
  EXPECT_LE(differing, covered / 40) << differing << " of " << covered;

  // Vertical: bit for bit.
  std::memset(scalar.out.data(), 0, scalar.out.size());
  std::memset(acc.out.data(), 0, acc.out.size());
  BZ_RnVertFilter(&t.params, scalar.in.data(), scalar.out.data());
  BZ_RnVertFilterAcc(&t.params, acc.in.data(), acc.out.data());
  ASSERT_TRUE(acc.out.CheckGuards());
  EXPECT_TRUE(bz_test::BytesEqual(scalar.out.data(), acc.out.data(), scalar.rowBytes, scalar.height));
}

INSTANTIATE_TEST_SUITE_P(Widths, RnLineFilterPaths, ::testing::ValuesIn(kPathCases),
                         [](const ::testing::TestParamInfo<PathCase> &info) { return std::string(info.param.name); });

// The line dispatcher takes the path the processor record allows.
class RnLineDispatch : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = gBZ.procInfo.hasSSE3; }
  void TearDown() override { gBZ.procInfo.hasSSE3 = saved_; }
  Boolean saved_ = false;
};

TEST_F(RnLineDispatch, UniTakesScalarWithoutSse3AndSseWithIt) {
  RnTestParams t(720, 8);
  t.SetLineModel(3181, 1686, 1405);
  std::vector<UInt8> in(size_t(t.params.width) * 2);
  std::mt19937 rng(11);
  // Several lines' worth of random data, so that the two rounding rules part somewhere.
  std::vector<UInt8> opt(in.size()), acc(in.size()), uni(in.size());
  bool parted = false;
  for (int line = 0; line < 20 && !parted; ++line) {
    for (auto &v : in) v = UInt8(rng() % 256);
    BZ_RnFilterHorizLineOpt2(&t.params, in.data(), opt.data());
    BZ_RnFilterHorizLineAcc(&t.params, in.data(), acc.data());
    parted = opt != acc;
  }
  ASSERT_TRUE(parted) << "no line told the paths apart";
  gBZ.procInfo.hasSSE3 = false;
  BZ_RnFilterHorizLineUni(&t.params, in.data(), uni.data());
  EXPECT_EQ(uni, opt);
  gBZ.procInfo.hasSSE3 = true;
  BZ_RnFilterHorizLineUni(&t.params, in.data(), uni.data());
  EXPECT_EQ(uni, acc);
}

TEST(RnLaneKernels, FourVectorsMatchTheScalarVectors) {
  // Lane k of the SSE vector kernels is the scalar vector k, unrounded.
  RnTestParams t;
  t.SetLineModel(3181, 1686, 1405);
  std::mt19937 rng(21);
  UInt8 line[64];
  for (auto &v : line) v = UInt8(rng() % 256);
  alignas(16) float noisy[64], clean[8];
  for (int s = 0; s < 16; ++s)
    for (int k = 0; k < 4; ++k) noisy[4 * s + k] = line[2 * k + s];
  BZ_RnFilter16Y_Acc(&t.params, noisy, clean);
  for (int k = 0; k < 4; ++k) {
    // The scalar vector over the same 16 samples (consecutive bytes), running sum started by hand.
    SInt32 sum = 0;
    for (int s = 0; s < 16; ++s) sum += line[2 * k + s];
    UInt8 out[32] = {};
    BZ_RnFilter16_Opt2(&t.params, 0, true, 0, line + 2 * k, 1, &sum, out);
    EXPECT_NEAR(clean[k], out[7], 0.51f) << "lane " << k;
    EXPECT_NEAR(clean[4 + k], out[8], 0.51f) << "lane " << k;
  }
  for (SInt32 cIndex : {1, 2}) {
    for (int s = 0; s < 8; ++s)
      for (int k = 0; k < 4; ++k) noisy[4 * s + k] = line[k + s];
    BZ_RnFilter8C_Acc(&t.params, noisy, clean, cIndex);
    for (int k = 1; k < 4; ++k) EXPECT_NE(clean[k], clean[0]) << "lanes hold different vectors";
  }
}

}  // namespace
