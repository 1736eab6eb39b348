#include "color/vector_sums_sse.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>

#include "support/kernel_check.h"
#include "vector_lanes_sse.h"

using bz_test::FloatBits;
using bz_test::Lanes;
using bz_test::LanesF;
using bz_test::Vec;
using bz_test::VecF;

namespace {

using F4 = std::array<float, 4>;

TEST(ColorVectorSums, SumsKeepTheirOrder) {
  // 1e8 + 1 loses the 1 in single precision, so each order of the additions gives its own total.
  alignas(16) vFloat f[4] = {VecF(1e8f, 1, 2, 3), VecF(1, 1e8f, 1, 1), VecF(-1e8f, 1, 0, 0), VecF(1, -1e8f, 0, 0)};
  EXPECT_EQ(LanesF(vecf_sum4(f)), (F4{0, 0, 3, 4}));

  alignas(16) vFloat g[4] = {VecF(1e8f, 1, -1e8f, 1), VecF(1, 1e8f, 1, -1e8f), VecF(1, 2, 3, 4), VecF(-1e8f, 1e8f, 1, 1)};
  // Lane after lane: ((x0 + x1) + x2) + x3.
  EXPECT_EQ(LanesF(vecf_scalar_sum4_across(g)), (F4{1, 0, 10, 2}));
  EXPECT_EQ(LanesF(g[0]), (F4{1e8f, 1, -1e8f, 1})) << "vecf_scalar_sum4_across leaves its block unchanged";
  // Pairwise: (x0 + x1) + (x2 + x3).
  EXPECT_EQ(LanesF(vecf_sum4_across(g)), (F4{0, 0, 10, 2}));
}

TEST(ColorVectorSums, SumAcrossTransposesTheBlockInPlace) {
  alignas(16) vFloat t[4] = {VecF(1, 2, 3, 4), VecF(10, 20, 30, 40), VecF(100, 200, 300, 400), VecF(5, 6, 7, 8)};
  EXPECT_EQ(LanesF(vecf_sum4_across(t)), (F4{10, 100, 1000, 26}));
  EXPECT_EQ(LanesF(t[0]), (F4{1, 10, 100, 5}));
  EXPECT_EQ(LanesF(t[1]), (F4{2, 20, 200, 6}));
  EXPECT_EQ(LanesF(t[3]), (F4{4, 40, 400, 8}));
  // A second call returns the lane-wise sum of the original vectors and restores the block.
  EXPECT_EQ(LanesF(vecf_sum4_across(t)), (F4{116, 228, 340, 452}));
  EXPECT_EQ(LanesF(t[0]), (F4{1, 2, 3, 4}));
  EXPECT_EQ(LanesF(t[2]), (F4{100, 200, 300, 400}));
}

TEST(ColorVectorSums, MeansSpreadOverEveryLane) {
  EXPECT_EQ(LanesF(vecf_av8_splat(VecF(1, 2, 3, 4), VecF(5, 6, 7, 8))), (F4{4.5f, 4.5f, 4.5f, 4.5f}));
  alignas(16) vFloat f16[4] = {VecF(1, 2, 3, 4), VecF(5, 6, 7, 8), VecF(9, 10, 11, 12), VecF(13, 14, 15, 16)};
  EXPECT_EQ(LanesF(vecf_av16_splat(f16)), (F4{8.5f, 8.5f, 8.5f, 8.5f}));

  alignas(16) float ones[256];
  std::fill(ones, ones + 256, 1.0f);
  EXPECT_EQ(LanesF(vecf_av64_splat(reinterpret_cast<const vFloat *>(ones))), (F4{1, 1, 1, 1}));
  EXPECT_EQ(LanesF(vecf_av256_splat(reinterpret_cast<const vFloat *>(ones))), (F4{1, 1, 1, 1}));
}

// The four lane-wise group sums of 16 floats... reduced in the two orders the means use.
void GroupSums(const float *f, float s[4][4]) {
  for (int g = 0; g < 4; ++g) {
    for (int l = 0; l < 4; ++l) {
      const float *v = f + 16 * g;
      s[g][l] = (v[l] + v[4 + l]) + (v[8 + l] + v[12 + l]);
    }
  }
}

float SumAcrossSplat(const float x[4]) { return (x[0] + x[2]) + (x[1] + x[3]); }

TEST(ColorVectorSums, MeansOf64And256FollowTheirSummationOrders) {
  BZ_KERNEL_SEED_TRACE();
  alignas(16) float f[256];
  for (int round = 0; round < 20; ++round) {
    bz_test::FillRandomFloats(f, 256, -1000.0f, 1000.0f, bz_test::Rng());
    f[3 * round] = 5e7f;
    f[255 - round] = -5e7f;

    float s[4][4];
    GroupSums(f, s);
    float totals[4];
    for (int g = 0; g < 4; ++g) totals[g] = ((s[g][0] + s[g][1]) + s[g][2]) + s[g][3];
    const float mean64 = SumAcrossSplat(totals) * 0.015625f;
    const vFloat got64 = vecf_av64_splat(reinterpret_cast<const vFloat *>(f));
    for (float lane : LanesF(got64)) ASSERT_EQ(FloatBits(lane), FloatBits(mean64)) << "vecf_av64_splat";

    // Per block the group sums are reduced pairwise; the block totals likewise.
    float u[4][4];
    for (int b = 0; b < 4; ++b) {
      float t[4][4];
      GroupSums(f + 64 * b, t);
      for (int g = 0; g < 4; ++g) u[b][g] = (t[g][0] + t[g][1]) + (t[g][2] + t[g][3]);
    }
    float blocks[4];
    for (int b = 0; b < 4; ++b) blocks[b] = (u[b][0] + u[b][1]) + (u[b][2] + u[b][3]);
    const float mean256 = SumAcrossSplat(blocks) * 0.00390625f;
    alignas(16) float copy[256];
    std::copy(f, f + 256, copy);
    const vFloat got256 = vecf_av256_splat(reinterpret_cast<const vFloat *>(f));
    for (float lane : LanesF(got256)) ASSERT_EQ(FloatBits(lane), FloatBits(mean256)) << "vecf_av256_splat";
    ASSERT_TRUE(std::equal(f, f + 256, copy)) << "vecf_av256_splat leaves its input unchanged";
  }
}

TEST(ColorVectorSums, SignTransferWrapsTheMostNegativeValue) {
  using S16 = std::array<int16_t, 8>;
  EXPECT_EQ(Lanes<int16_t>(vecs16_sign_acc(Vec(S16{5, -5, -32768, 7, 7, 0, -1, 32767}),
                                           Vec(S16{-1, -1, -1, 0, 1, -5, -32768, -1}))),
            (S16{-5, 5, -32768, 7, 7, 0, 1, -32767}));
  using S8 = std::array<int8_t, 16>;
  EXPECT_EQ(Lanes<int8_t>(vecs8_sign_acc(Vec(S8{5, -5, -128, 7, 127, 0, -1, 3, 1, 1, 1, 1, 1, 1, 1, 1}),
                                         Vec(S8{-1, -1, -1, 0, -128, -5, 127, 1, 0, 0, 0, 0, -2, -2, -2, -2}))),
            (S8{-5, 5, -128, 7, -127, 0, -1, 3, 1, 1, 1, 1, -1, -1, -1, -1}));
  using S32 = std::array<int32_t, 4>;
  EXPECT_EQ(Lanes<int32_t>(vecs32_sign_acc(Vec(S32{5, INT32_MIN, -9, 4}), Vec(S32{INT32_MIN, -1, 0, 1}))),
            (S32{-5, INT32_MIN, -9, 4}));
}

TEST(ColorVectorSums, MultiplyAddSaturatesThePairSums) {
  using U8 = std::array<uint8_t, 16>;
  using S8 = std::array<int8_t, 16>;
  using S16 = std::array<int16_t, 8>;
  U8 a255;
  a255.fill(255);
  S8 b127, bMin;
  b127.fill(127);
  bMin.fill(-128);
  S16 max, min;
  max.fill(32767);
  min.fill(-32768);
  EXPECT_EQ(Lanes<int16_t>(vecs16_maddubs(Vec(a255), Vec(b127))), max);
  EXPECT_EQ(Lanes<int16_t>(vecs16_maddubs(Vec(a255), Vec(bMin))), min);
  // Even and odd bytes keep their own signs: a unsigned, b signed.
  const U8 a = {200, 3, 1, 1, 255, 0, 128, 128, 10, 20, 0, 0, 7, 9, 255, 1};
  const S8 b = {-1, 5, -128, 127, 1, 127, -1, -1, 3, -2, 9, 9, -7, 6, -128, 127};
  EXPECT_EQ(Lanes<int16_t>(vecs16_maddubs(Vec(a), Vec(b))), (S16{-185, -1, 255, -256, -10, 0, 5, -32513}));
}

TEST(ColorVectorSums, HistogramBinsClampAtBothEnds) {
  struct Case {
    int8_t value;
    int bin;
  };
  const Case cases[] = {{0, 8},    {3, 8},    {4, 9},     {-1, 7},  {-128, 0}, {127, 15},
                        {31, 15},  {28, 15},  {27, 14},   {-29, 0}, {-28, 1},  {-32, 0}};
  for (const Case &c : cases) {
    SInt8 vec[16];
    std::fill(vec, vec + 16, c.value);
    UInt32 histogram[16] = {};
    histogram[c.bin] = 5;  // the function only increments
    GL_add16_to_histogram16(vec, histogram);
    for (int b = 0; b < 16; ++b) {
      EXPECT_EQ(histogram[b], b == c.bin ? 21u : 0u) << "GL_add16_to_histogram16 value " << int{c.value} << " bin " << b;
    }
  }
}

}  // namespace
