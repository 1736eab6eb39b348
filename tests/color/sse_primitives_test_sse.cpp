#include "color/sse_primitives_sse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "support/kernel_check.h"
#include "vector_lanes_sse.h"

using bz_test::BitsF;
using bz_test::BitsToFloat;
using bz_test::FloatBits;
using bz_test::Lanes;
using bz_test::LanesF;
using bz_test::Vec;
using bz_test::VecF;

namespace {

using U8x16 = std::array<uint8_t, 16>;
using S8x16 = std::array<int8_t, 16>;
using U16x8 = std::array<uint16_t, 8>;
using S16x8 = std::array<int16_t, 8>;
using U32x4 = std::array<uint32_t, 4>;
using S32x4 = std::array<int32_t, 4>;

constexpr int32_t kMin32 = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax32 = std::numeric_limits<int32_t>::max();

U8x16 Iota(uint8_t first) {
  U8x16 b;
  for (int i = 0; i < 16; ++i) b[i] = static_cast<uint8_t>(first + i);
  return b;
}

// ---------------------------------------------------------------------------------------------------

TEST(ColorSsePrimitives, ByteConcatenationJoinsTheTwoVectors) {
  const __m128i a = Vec(Iota(0));
  const __m128i b = Vec(Iota(16));
  const struct {
    int n;
    __m128i got;
  } fixed[] = {{2, sse_sld2_si(a, b)}, {4, sse_sld4_si(a, b)}, {12, sse_sld12_si(a, b)}, {14, sse_sld14_si(a, b)}};
  for (const auto &c : fixed) {
    EXPECT_EQ(Lanes<uint8_t>(c.got), Iota(static_cast<uint8_t>(c.n))) << "sse_sld" << c.n << "_si";
  }
  for (int n = 0; n < 16; ++n) {
    EXPECT_EQ(Lanes<uint8_t>(sse_alignr_epi8(a, b, n)), Iota(static_cast<uint8_t>(n))) << "sse_alignr_epi8 n=" << n;
  }
  for (int n : {16, 17, -1, -16, 1000}) {
    EXPECT_EQ(Lanes<uint8_t>(sse_alignr_epi8(a, b, n)), U8x16{}) << "sse_alignr_epi8 n=" << n;
  }
}

TEST(ColorSsePrimitives, PerByteShiftsStayInsideTheirBytes) {
  const U8x16 in = {0x00, 0x01, 0x7F, 0x80, 0xFF, 0xFE, 0x55, 0xAA, 0x0F, 0xF0, 0x81, 0x40, 0x3C, 0xC3, 0x02, 0x9D};
  for (int n : {-1, 0, 1, 3, 7, 8, 9, 16, 100}) {
    U8x16 left{}, right{};
    S8x16 arith{};
    for (int i = 0; i < 16; ++i) {
      const bool inRange = n >= 0 && n < 8;
      left[i] = inRange ? static_cast<uint8_t>(in[i] << n) : 0;
      right[i] = inRange ? static_cast<uint8_t>(in[i] >> n) : 0;
      arith[i] = static_cast<int8_t>(static_cast<int8_t>(in[i]) >> (inRange ? n : 7));
    }
    EXPECT_EQ(Lanes<uint8_t>(sse_slli_epi8(Vec(in), n)), left) << "sse_slli_epi8 n=" << n;
    EXPECT_EQ(Lanes<uint8_t>(sse_srli_epi8(Vec(in), n)), right) << "sse_srli_epi8 n=" << n;
    EXPECT_EQ(Lanes<int8_t>(sse_srai_epi8(Vec(in), n)), arith) << "sse_srai_epi8 n=" << n;
  }
  U8x16 ff;
  ff.fill(0xFF);
  U8x16 fe;
  fe.fill(0xFE);
  EXPECT_EQ(Lanes<uint8_t>(sse_slli_epi8(Vec(ff), 1)), fe);
}

// ---------------------------------------------------------------------------------------------------

TEST(ColorSsePrimitives, HorizontalSumsFollowTheirOrder) {
  EXPECT_EQ(LanesF(sse_sum_across_splat_ps(VecF(1, 2, 3, 4))), (std::array<float, 4>{10, 10, 10, 10}));
  // (x0 + x2) + (x1 + x3): the two large values cancel first, so the ones survive.
  EXPECT_EQ(LanesF(sse_sum_across_splat_ps(VecF(1e8f, 1, -1e8f, 1)))[0], 2.0f);
  EXPECT_EQ(LanesF(sse_square_sum_4pairs_ps(VecF(3, 4, 0, 1), VecF(1, 1, 2, 2))),
            (std::array<float, 4>{25, 1, 2, 8}));
  // (x0 + x1) + (x2 + x3) per vector: 1e8 + 1 is lost before -1e8 is added.
  EXPECT_EQ(LanesF(sse_sum4_across_ps(VecF(1e8f, 1, -1e8f, 1), VecF(1, 2, 3, 4), VecF(0, 0, 0, -1), VecF(5, 5, 5, 5))),
            (std::array<float, 4>{0, 10, -1, 20}));
  EXPECT_EQ(LanesF(sse_sum4_ps(VecF(1e8f, 1, 2, 3), VecF(1, 1, 1, 1), VecF(-1e8f, 0, 0, 0), VecF(1, 0, 0, 0))),
            (std::array<float, 4>{0, 2, 3, 4}));
  EXPECT_EQ(LanesF(sse_av8_splat_ps(VecF(1, 2, 3, 4), VecF(5, 6, 7, 8))), (std::array<float, 4>{4.5f, 4.5f, 4.5f, 4.5f}));
  EXPECT_EQ(LanesF(sse_av16_splat_ps(VecF(1, 2, 3, 4), VecF(5, 6, 7, 8), VecF(9, 10, 11, 12), VecF(13, 14, 15, 16))),
            (std::array<float, 4>{8.5f, 8.5f, 8.5f, 8.5f}));
}

// Reference of the lane-after-lane means, written from their definition.
float LaneAfterLane(const float *x) { return ((x[0] + x[1]) + x[2]) + x[3]; }

void GroupTotalsReference(const float *f, float out[4]) {
  for (int g = 0; g < 4; ++g) {
    float s[4];
    for (int l = 0; l < 4; ++l) {
      const float *v = f + 16 * g;
      s[l] = (v[l] + v[4 + l]) + (v[8 + l] + v[12 + l]);
    }
    out[g] = LaneAfterLane(s);
  }
}

TEST(ColorSsePrimitives, MeansOf64And256MatchTheirSummationOrder) {
  BZ_KERNEL_SEED_TRACE();
  alignas(16) float f[256];
  for (int round = 0; round < 20; ++round) {
    bz_test::FillRandomFloats(f, 256, -1000.0f, 1000.0f, bz_test::Rng());
    // Mix in large magnitudes so that the order of the additions shows in the result.
    f[round] = 3e7f;
    f[100 + round] = -3e7f;

    float t[4];
    GroupTotalsReference(f, t);
    const float mean64 = ((t[0] + t[2]) + (t[1] + t[3])) * 0.015625f;
    const vFloat got64 = sse_av64_splat_ps(reinterpret_cast<const vFloat *>(f));
    for (float lane : LanesF(got64)) EXPECT_EQ(FloatBits(lane), FloatBits(mean64)) << "sse_av64_splat_ps";

    float blocks[4];
    for (int b = 0; b < 4; ++b) {
      float g[4];
      GroupTotalsReference(f + 64 * b, g);
      blocks[b] = LaneAfterLane(g);
    }
    const float mean256 = ((blocks[0] + blocks[2]) + (blocks[1] + blocks[3])) * 0.00390625f;
    const vFloat got256 = sse_av256_splat_ps(reinterpret_cast<const vFloat *>(f));
    for (float lane : LanesF(got256)) EXPECT_EQ(FloatBits(lane), FloatBits(mean256)) << "sse_av256_splat_ps";
  }
  alignas(16) float ones[256];
  std::fill(ones, ones + 256, 1.0f);
  EXPECT_EQ(LanesF(sse_av64_splat_ps(reinterpret_cast<const vFloat *>(ones)))[2], 1.0f);
  EXPECT_EQ(LanesF(sse_av256_splat_ps(reinterpret_cast<const vFloat *>(ones)))[1], 1.0f);
}

TEST(ColorSsePrimitives, DoubleFloatAndDotProducts) {
  alignas(16) vFloat lo, hi;
  sse_double_float(VecF(1, 2, 3, 4), &lo, &hi);
  EXPECT_EQ(LanesF(lo), (std::array<float, 4>{1, 1, 2, 2}));
  EXPECT_EQ(LanesF(hi), (std::array<float, 4>{3, 3, 4, 4}));

  alignas(16) vFloat a[4] = {VecF(1, 2, 3, 4), VecF(1, 1, 1, 1), VecF(2, 0, 0, 1e8f), VecF(0, 1, 0, 1)};
  alignas(16) vFloat b[4] = {VecF(1, 1, 1, 1), VecF(1, 2, 3, 4), VecF(1, 1, 1, 1), VecF(5, 5, 5, -1e8f)};
  // (a0·b0 + a1·b1) + (a2·b2 + a3·b3): in lane 3 the 1e16 terms cancel within the second pair.
  EXPECT_EQ(LanesF(sse_mul4x4float(a, b)), (std::array<float, 4>{4, 9, 6, 8}));
  EXPECT_EQ(LanesF(sse_mul2x2float(a, b)), (std::array<float, 4>{2, 4, 6, 8}));
  EXPECT_EQ(LanesF(a[0]), (std::array<float, 4>{1, 2, 3, 4}));
  EXPECT_EQ(LanesF(b[3]), (std::array<float, 4>{5, 5, 5, -1e8f}));
}

// ---------------------------------------------------------------------------------------------------

int FloorHalf(int64_t a, int64_t b) {
  const int64_t s = a + b;
  return static_cast<int>(s >= 0 ? s / 2 : -((-s + 1) / 2));
}

TEST(ColorSsePrimitives, SignedByteAverageIsTheExactFloorForEveryPair) {
  for (int a = -128; a < 128; ++a) {
    S8x16 va, vb, want;
    for (int base = -128; base < 128; base += 16) {
      for (int i = 0; i < 16; ++i) {
        va[i] = static_cast<int8_t>(a);
        vb[i] = static_cast<int8_t>(base + i);
        want[i] = static_cast<int8_t>(FloorHalf(a, base + i));
      }
      ASSERT_EQ(Lanes<int8_t>(sse_avg_s8(Vec(va), Vec(vb))), want) << "sse_avg_s8 a=" << a << " b from " << base;
    }
  }
}

TEST(ColorSsePrimitives, AveragesRoundDownWithoutOverflow) {
  const S16x8 a16 = {-1, 32767, -32768, -32768, 1, -3, 32767, 7};
  const S16x8 b16 = {0, 32767, -32768, 32767, 2, -2, -32768, -8};
  const S16x8 avg16 = {-1, 32767, -32768, -1, 1, -3, -1, -1};
  EXPECT_EQ(Lanes<int16_t>(sse_avg_s16(Vec(a16), Vec(b16))), avg16);

  // Non-negative inputs (the callers' chroma) and the odd negative lanes, which get the exact floor.
  const S32x4 a32 = {3, kMax32, -1, -1};
  const S32x4 b32 = {4, kMax32, -1, 3};
  EXPECT_EQ(Lanes<int32_t>(sse_avg_s32(Vec(a32), Vec(b32))), (S32x4{3, kMax32, -1, 1}));
  EXPECT_EQ(Lanes<int32_t>(sse_avg_s32(Vec(S32x4{kMin32, kMin32, 255, 100}), Vec(S32x4{kMin32, kMax32, 255, 121}))),
            (S32x4{kMin32, -1, 255, 110}));

  EXPECT_EQ(Lanes<uint32_t>(sse_avg_u32(Vec(U32x4{0xFFFFFFFF, 1, 0xFFFFFFFF, 3}), Vec(U32x4{0xFFFFFFFF, 2, 1, 3}))),
            (U32x4{0xFFFFFFFF, 1, 0x80000000, 3}));
  EXPECT_EQ(LanesF(sse_avg_ps(VecF(1, -1, 3e38f, 0.5f), VecF(2, -2, 3e38f, 0.25f))),
            (std::array<float, 4>{1.5f, -1.5f, std::numeric_limits<float>::infinity(), 0.375f}));
}

TEST(ColorSsePrimitives, MraddsTakesTheHighHalfWithoutRounding) {
  const S16x8 s1 = {256, 32767, -256, -1, 1, -32768, 255 << 7, 100 << 7};
  const S16x8 s2 = {128, 16383, 128, 1, 1, 16383, 200, -77};
  const S16x8 s3 = {0, 32767, 0, 0, 0, -32768, 5, -3};
  // -1·1·2 >> 16 is -1: the high half rounds towards minus infinity.
  const S16x8 want = {1, 32767, -1, -1, 0, -32768, 5 + (255 * 200) / 256, -3 + static_cast<int16_t>(
                                                                                   std::floor(100 * -77 / 256.0))};
  EXPECT_EQ(Lanes<int16_t>(sse_mradds(Vec(s1), Vec(s2), Vec(s3))), want);

  // The noise-movie use: 8-bit samples shifted up by 7 give ⌊x · s2 / 256⌋ + s3, saturated.
  BZ_KERNEL_SEED_TRACE();
  std::uniform_int_distribution<int> sample(0, 255), gain(-16383, 16383), offset(-32768, 32767);
  for (int round = 0; round < 2000; ++round) {
    S16x8 x, g, o, w;
    for (int i = 0; i < 8; ++i) {
      const int xi = sample(bz_test::Rng()), gi = gain(bz_test::Rng()), oi = offset(bz_test::Rng());
      x[i] = static_cast<int16_t>(xi << 7);
      g[i] = static_cast<int16_t>(gi);
      o[i] = static_cast<int16_t>(oi);
      const int64_t v = static_cast<int64_t>(std::floor(xi * gi / 256.0)) + oi;
      w[i] = static_cast<int16_t>(std::clamp<int64_t>(v, -32768, 32767));
    }
    ASSERT_EQ(Lanes<int16_t>(sse_mradds(Vec(x), Vec(g), Vec(o))), w);
  }
}

// ---------------------------------------------------------------------------------------------------

TEST(ColorSsePrimitives, UnsignedComparesAcrossTheSignBit) {
  const U8x16 a8 = {0x80, 0xFF, 0, 5, 0x7F, 0x81, 200, 1, 0, 0, 0, 0, 0, 0, 0, 0};
  const U8x16 b8 = {0x7F, 0, 0xFF, 5, 0x80, 0x80, 100, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const U8x16 g8 = {0xFF, 0xFF, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(Lanes<uint8_t>(sse_cmpgt_epu8(Vec(a8), Vec(b8))), g8);
  EXPECT_EQ(Lanes<uint16_t>(sse_cmpgt_epu16(Vec(U16x8{0x8000, 0xFFFF, 0, 7, 0x7FFF, 1, 2, 3}),
                                            Vec(U16x8{0x7FFF, 0, 0xFFFF, 7, 0x8000, 0, 2, 4}))),
            (U16x8{0xFFFF, 0xFFFF, 0, 0, 0, 0xFFFF, 0, 0}));
  EXPECT_EQ(Lanes<uint32_t>(sse_cmpgt_epu32(Vec(U32x4{0x80000000, 0xFFFFFFFF, 0, 9}),
                                            Vec(U32x4{0x7FFFFFFF, 0, 0xFFFFFFFF, 9}))),
            (U32x4{0xFFFFFFFF, 0xFFFFFFFF, 0, 0}));
}

TEST(ColorSsePrimitives, BoundsCompareFlagsEachSideAndNaN) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(Lanes<uint32_t>(sss_cmpb_ps(VecF(1, 3, -3, nan), VecF(2, 2, 2, 2))),
            (U32x4{0, 0x80000000, 0x40000000, 0xC0000000}));
  EXPECT_EQ(Lanes<uint32_t>(sss_cmpb_ps(VecF(0, 2, -2, 1), VecF(-1, 2, 2, nan))),
            (U32x4{0xC0000000, 0, 0, 0xC0000000}));
}

TEST(ColorSsePrimitives, SelectionMasksAndMerges) {
  const __m128i s1 = _mm_set1_epi32(0x11111111);
  const __m128i s2 = _mm_set1_epi32(0x22222222);
  EXPECT_EQ(Lanes<uint32_t>(sse_sel(s1, s2, Vec(U32x4{0, 0xFFFFFFFF, 0xFFFF0000, 0x0000FF00}))),
            (U32x4{0x11111111, 0x22222222, 0x22221111, 0x11112211}));
  EXPECT_EQ(Lanes<uint32_t>(sse_create_float_mask(1.0f, 0.0f, 1.0f, 2.0f)), (U32x4{0, 0xFFFFFFFF, 0, 0xFFFFFFFF}));
  EXPECT_EQ(LanesF(sse_vecf_merge_e(VecF(0, 1, 2, 3), VecF(10, 11, 12, 13))), (std::array<float, 4>{0, 10, 2, 12}));
  EXPECT_EQ(LanesF(sse_vecf_merge_o(VecF(0, 1, 2, 3), VecF(10, 11, 12, 13))), (std::array<float, 4>{1, 11, 3, 13}));
  EXPECT_EQ(LanesF(sse_scalar_shuffle_ps(VecF(0, 1, 2, 3), VecF(10, 11, 12, 13), 3, 0, 2, 1)),
            (std::array<float, 4>{3, 0, 12, 11}));
}

TEST(ColorSsePrimitives, MinimumMaximumAndAbsoluteValues) {
  const S8x16 a8 = {-128, 127, -1, 0, 5, -5, 100, -100, 0, 0, 0, 0, 0, 0, 0, 0};
  const S8x16 b8 = {127, -128, 1, 0, -5, 5, -100, 100, 1, -1, 0, 0, 0, 0, 0, 0};
  S8x16 max8, min8, abs8;
  for (int i = 0; i < 16; ++i) {
    max8[i] = std::max(a8[i], b8[i]);
    min8[i] = std::min(a8[i], b8[i]);
    abs8[i] = static_cast<int8_t>(std::min(127, std::abs(static_cast<int>(a8[i]))));
  }
  EXPECT_EQ(Lanes<int8_t>(sse_max_epi8(Vec(a8), Vec(b8))), max8);
  EXPECT_EQ(Lanes<int8_t>(sse_min_epi8(Vec(a8), Vec(b8))), min8);
  EXPECT_EQ(Lanes<int8_t>(sse_abss_epi8(Vec(a8))), abs8);

  EXPECT_EQ(Lanes<int32_t>(sse_max_epi32(Vec(S32x4{kMin32, kMax32, -1, 3}), Vec(S32x4{kMax32, kMin32, 1, 3}))),
            (S32x4{kMax32, kMax32, 1, 3}));
  EXPECT_EQ(Lanes<int32_t>(sse_min_epi32(Vec(S32x4{kMin32, kMax32, -1, 3}), Vec(S32x4{kMax32, kMin32, 1, 3}))),
            (S32x4{kMin32, kMin32, -1, 3}));
  EXPECT_EQ(Lanes<uint16_t>(sse_max_epu16(Vec(U16x8{0xFFFF, 0, 0x8000, 0x7FFF, 1, 2, 3, 4}),
                                          Vec(U16x8{0, 0xFFFF, 0x7FFF, 0x8000, 1, 3, 2, 4}))),
            (U16x8{0xFFFF, 0xFFFF, 0x8000, 0x8000, 1, 3, 3, 4}));
  EXPECT_EQ(Lanes<uint16_t>(sse_min_epu16(Vec(U16x8{0xFFFF, 0, 0x8000, 0x7FFF, 1, 2, 3, 4}),
                                          Vec(U16x8{0, 0xFFFF, 0x7FFF, 0x8000, 1, 3, 2, 4}))),
            (U16x8{0, 0, 0x7FFF, 0x7FFF, 1, 2, 2, 4}));
  EXPECT_EQ(Lanes<uint32_t>(sse_max_epu32(Vec(U32x4{0xFFFFFFFF, 0, 0x80000000, 5}),
                                          Vec(U32x4{0, 0xFFFFFFFF, 0x7FFFFFFF, 5}))),
            (U32x4{0xFFFFFFFF, 0xFFFFFFFF, 0x80000000, 5}));
  EXPECT_EQ(Lanes<uint32_t>(sse_min_epu32(Vec(U32x4{0xFFFFFFFF, 0, 0x80000000, 5}),
                                          Vec(U32x4{0, 0xFFFFFFFF, 0x7FFFFFFF, 5}))),
            (U32x4{0, 0, 0x7FFFFFFF, 5}));

  EXPECT_EQ(Lanes<int32_t>(sse_abs_epi32(Vec(S32x4{kMin32, -5, 5, kMax32}))), (S32x4{kMin32, 5, 5, kMax32}));
  EXPECT_EQ(Lanes<int32_t>(sse_abss_epi32(Vec(S32x4{kMin32, -5, 0, -kMax32}))), (S32x4{kMax32, 5, 0, kMax32}));
}

TEST(ColorSsePrimitives, PacksSaturateAsUnsigned) {
  EXPECT_EQ(Lanes<uint8_t>(sse_packs_epu16(Vec(U16x8{0, 255, 256, 0xFFFF, 0x8000, 0x7FFF, 1, 128}),
                                           Vec(U16x8{3, 254, 0x100, 0x1FF, 9, 10, 11, 12}))),
            (U8x16{0, 255, 255, 255, 255, 255, 1, 128, 3, 254, 255, 255, 9, 10, 11, 12}));
  EXPECT_EQ(Lanes<uint16_t>(sse_packs_epu32(Vec(U32x4{0, 65535, 65536, 0xFFFFFFFF}),
                                            Vec(U32x4{0x80000000, 32768, 32767, 1}))),
            (U16x8{0, 65535, 65535, 65535, 65535, 32768, 32767, 1}));
  EXPECT_EQ(Lanes<uint16_t>(sse_packus_epi32(Vec(S32x4{-1, 0, 32767, 32768}), Vec(S32x4{65535, 65536, kMin32, kMax32}))),
            (U16x8{0, 0, 32767, 32768, 65535, 65535, 0, 65535}));
}

TEST(ColorSsePrimitives, BytePermutes) {
  const __m128i a = Vec(Iota(0));
  const __m128i b = Vec(Iota(100));
  const U8x16 shuffle = {0, 15, 16, 31, 32, 47, 63, 255, 1, 17, 5, 21, 9, 25, 13, 29};
  const U8x16 perm = {0, 15, 100, 115, 0, 15, 115, 115, 1, 101, 5, 105, 9, 109, 13, 113};
  EXPECT_EQ(Lanes<uint8_t>(sse3_perm(a, b, Vec(shuffle))), perm);

  const U8x16 shuf = {0, 15, 0x80, 0xFF, 3, 0x8F, 7, 16, 17, 31, 127, 2, 0x81, 9, 14, 1};
  const U8x16 shufb = {0, 15, 0, 0, 3, 0, 7, 0, 1, 15, 15, 2, 0, 9, 14, 1};
  EXPECT_EQ(Lanes<uint8_t>(sse3_shufb(a, Vec(shuf))), shufb);

  alignas(16) uint8_t buffer[32] = {};
  EXPECT_EQ(Lanes<uint8_t>(sse_lvsl(3, buffer)), Iota(3));
  EXPECT_EQ(Lanes<uint8_t>(sse_lvsl(0, buffer + 5)), Iota(5));
  EXPECT_EQ(Lanes<uint8_t>(sse_lvsl(14, buffer + 5)), Iota(3));
  EXPECT_EQ(Lanes<uint8_t>(sse_lvsl(-1, buffer)), Iota(15));
}

// ---------------------------------------------------------------------------------------------------

TEST(ColorSsePrimitives, SaturatingArithmeticOn32BitLanes) {
  EXPECT_EQ(Lanes<int32_t>(sse_adds_epi32(Vec(S32x4{kMax32, kMin32, kMin32, 1}), Vec(S32x4{1, -1, kMin32, -1}))),
            (S32x4{kMax32, kMin32, kMin32, 0}));
  EXPECT_EQ(Lanes<int32_t>(sse_adds_epi32(Vec(S32x4{kMax32, kMax32, -7, 0}), Vec(S32x4{kMin32, kMax32, 3, kMin32}))),
            (S32x4{-1, kMax32, -4, kMin32}));
  EXPECT_EQ(Lanes<int32_t>(sse_subs_epi32(Vec(S32x4{0, kMin32, -1, 5}), Vec(S32x4{kMin32, 1, kMax32, 3}))),
            (S32x4{kMax32, kMin32, kMin32, 2}));
  EXPECT_EQ(Lanes<int32_t>(sse_subs_epi32(Vec(S32x4{-1, kMax32, kMin32, 0}), Vec(S32x4{kMin32, -1, kMin32, kMax32}))),
            (S32x4{kMax32, kMax32, 0, -kMax32}));
  EXPECT_EQ(Lanes<uint32_t>(sse_adds_epu32(Vec(U32x4{0xFFFFFFFF, 0x80000000, 0x7FFFFFFF, 0x80000001}),
                                           Vec(U32x4{1, 0x80000000, 0x80000000, 0x7FFFFFFF}))),
            (U32x4{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}));
  EXPECT_EQ(Lanes<uint32_t>(sse_adds_epu32(Vec(U32x4{1, 0x80000000, 0, 0x40000000}),
                                           Vec(U32x4{2, 0x7FFFFFFE, 0, 0x40000000}))),
            (U32x4{3, 0xFFFFFFFE, 0, 0x80000000}));
  EXPECT_EQ(Lanes<uint32_t>(sse_subs_epu32(Vec(U32x4{5, 3, 0x80000000, 0xFFFFFFFF}),
                                           Vec(U32x4{3, 5, 1, 0xFFFFFFFF}))),
            (U32x4{2, 0, 0x7FFFFFFF, 0}));

  BZ_KERNEL_SEED_TRACE();
  std::uniform_int_distribution<uint32_t> any;
  for (int round = 0; round < 5000; ++round) {
    U32x4 a, b;
    S32x4 adds, subs;
    U32x4 addu, subu;
    for (int i = 0; i < 4; ++i) {
      // Draw often near the edges, where the saturation decisions are made.
      a[i] = any(bz_test::Rng()) ^ (round & 1 ? 0x80000000u : 0);
      b[i] = any(bz_test::Rng()) >> (round % 3 == 0 ? 28 : 0);
      const int64_t sa = static_cast<int32_t>(a[i]), sb = static_cast<int32_t>(b[i]);
      adds[i] = static_cast<int32_t>(std::clamp<int64_t>(sa + sb, kMin32, kMax32));
      subs[i] = static_cast<int32_t>(std::clamp<int64_t>(sa - sb, kMin32, kMax32));
      addu[i] = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{a[i]} + b[i], 0xFFFFFFFFu));
      subu[i] = a[i] > b[i] ? a[i] - b[i] : 0;
    }
    ASSERT_EQ(Lanes<int32_t>(sse_adds_epi32(Vec(a), Vec(b))), adds);
    ASSERT_EQ(Lanes<int32_t>(sse_subs_epi32(Vec(a), Vec(b))), subs);
    ASSERT_EQ(Lanes<uint32_t>(sse_adds_epu32(Vec(a), Vec(b))), addu);
    ASSERT_EQ(Lanes<uint32_t>(sse_subs_epu32(Vec(a), Vec(b))), subu);
  }
}

TEST(ColorSsePrimitives, HorizontalIntegerSumsWrapOrSaturate) {
  const S16x8 a = {32767, 1, -32768, -1, 100, 200, -5, 5};
  const S16x8 b = {1, 2, 32767, 32767, -32768, -32768, 7, -8};
  EXPECT_EQ(Lanes<int16_t>(sse_hadd_epi16(Vec(a), Vec(b))), (S16x8{-32768, 32767, 300, 0, 3, -2, 0, -1}));
  EXPECT_EQ(Lanes<int16_t>(sse_hadds_epi16(Vec(a), Vec(b))), (S16x8{32767, -32768, 300, 0, 3, 32767, -32768, -1}));
  // The b half is negated (wrapping) and then pair-summed.
  EXPECT_EQ(Lanes<int16_t>(sse_hsub_epi16(Vec(a), Vec(b))), (S16x8{-32768, 32767, 300, 0, -3, 2, 0, 1}));
  // Negation with saturation: -(-32768) is 32767 before the saturated pair sum.
  EXPECT_EQ(Lanes<int16_t>(sse_hsubs_epi16(Vec(a), Vec(b))), (S16x8{32767, -32768, 300, 0, -3, -32768, 32767, 1}));

  EXPECT_EQ(Lanes<int32_t>(sse_hadd_epi32(Vec(S32x4{kMax32, 1, -3, 4}), Vec(S32x4{10, 20, kMin32, -1}))),
            (S32x4{kMin32, 1, 30, kMax32}));
  EXPECT_EQ(Lanes<int32_t>(sse_hsub_epi32(Vec(S32x4{kMax32, 1, -3, 4}), Vec(S32x4{10, 20, kMin32, -1}))),
            (S32x4{kMin32, 1, -30, kMin32 + 1}));
}

TEST(ColorSsePrimitives, FullProductsAndMultiplySums) {
  const U16x8 a = {65535, 2, 40000, 0, 300, 65535, 7, 32768};
  const U16x8 b = {65535, 3, 2, 9, 300, 1, 65535, 32768};
  alignas(16) vUInt32 hi, lo;
  sse_mul_full_epu16(Vec(a), Vec(b), &hi, &lo);
  EXPECT_EQ(Lanes<uint32_t>(hi), (U32x4{0xFFFE0001u, 6, 80000, 0}));
  EXPECT_EQ(Lanes<uint32_t>(lo), (U32x4{90000, 65535, 458745, 0x40000000}));

  const S16x8 sa = {-32768, -2, 300, 7, -32768, 5, -300, 1};
  const S16x8 sb = {-32768, 3, 300, -9, -32768, 5, 300, 0};
  alignas(16) vSInt32 shi, slo;
  sse_mul_full_epi16(Vec(sa), Vec(sb), &shi, &slo);
  EXPECT_EQ(Lanes<int32_t>(shi), (S32x4{1 << 30, -6, 90000, -63}));
  EXPECT_EQ(Lanes<int32_t>(slo), (S32x4{1 << 30, 25, -90000, 0}));

  // Lane i: product i + product i + 4 + c.
  EXPECT_EQ(Lanes<uint32_t>(sse_msum_epu16(Vec(a), Vec(b), Vec(U32x4{1, 2, 3, 0xFFFFFFFF}))),
            (U32x4{0xFFFE0001u + 90000u + 1u, 6 + 65535 + 2, 80000 + 458745 + 3, 0x40000000 - 1}));
  EXPECT_EQ(Lanes<uint32_t>(sse_msums_epu16(Vec(a), Vec(b), Vec(U32x4{1, 2, 3, 0xFFFFFFFF}))),
            (U32x4{0xFFFE0001u + 90000u + 1u, 6 + 65535 + 2, 80000 + 458745 + 3, 0xFFFFFFFF}));
  EXPECT_EQ(Lanes<int32_t>(sse_msums_epi16(Vec(sa), Vec(sb), Vec(S32x4{0, 1, 2, kMin32}))),
            (S32x4{kMax32, -6 + 25 + 1, 2, kMin32}));
}

TEST(ColorSsePrimitives, WholeRegisterBitShifts) {
  const __m128i one = Vec(U32x4{0x80000001u, 0, 0, 0x80000000u});
  EXPECT_EQ(Lanes<uint32_t>(sse_sll_imm(one, 1)), (U32x4{2, 1, 0, 0}));
  EXPECT_EQ(Lanes<uint32_t>(sse_sll_imm(one, 0)), (U32x4{0x80000001u, 0, 0, 0x80000000u}));
  EXPECT_EQ(Lanes<uint32_t>(sse_sll_imm(one, 64)), (U32x4{0, 0, 0x80000001u, 0}));
  EXPECT_EQ(Lanes<uint32_t>(sse_sll_imm(one, 127)), (U32x4{0, 0, 0, 0x80000000u}));
  EXPECT_EQ(Lanes<uint32_t>(sse_sll(one, _mm_cvtsi32_si128(128))), (U32x4{0, 0, 0, 0}));
  EXPECT_EQ(Lanes<uint32_t>(sse_srl_imm(one, 1)), (U32x4{0x40000000u, 0, 0, 0x40000000u}));
  EXPECT_EQ(Lanes<uint32_t>(sse_srl_imm(one, 96)), (U32x4{0x80000000u, 0, 0, 0}));
  EXPECT_EQ(Lanes<uint32_t>(sse_srl(one, _mm_cvtsi32_si128(-1))), (U32x4{0, 0, 0, 0}));
}

// ---------------------------------------------------------------------------------------------------

TEST(ColorSsePrimitives, ScaledConversionsToAndFromIntegers) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(Lanes<uint32_t>(sse_ctu_ps(VecF(-1.0f, 2147483648.0f, 4294967040.0f, 4294967296.0f), 0)),
            (U32x4{0, 0x80000000u, 0xFFFFFF00u, 0xFFFFFFFFu}));
  EXPECT_EQ(Lanes<uint32_t>(sse_ctu_ps(VecF(2.5f, 3.5f, nan, 2147483520.0f), 0)), (U32x4{2, 4, 0, 2147483520u}));
  EXPECT_EQ(Lanes<uint32_t>(sse_ctu_ps(VecF(1.0f, 0.75f, 1.5f, 1e30f), 31)),
            (U32x4{0x80000000u, 0x60000000u, 0xC0000000u, 0xFFFFFFFFu}));
  EXPECT_EQ(Lanes<int32_t>(sse_cts_ps(VecF(2.5f, -2.5f, 2147483648.0f, -2147483648.0f), 0)),
            (S32x4{2, -2, kMax32, kMin32}));
  EXPECT_EQ(Lanes<int32_t>(sse_cts_ps(VecF(1.5f, -0.75f, 3.0f, 1.0f), 1)), (S32x4{3, -2, 6, 2}));
  EXPECT_EQ(Lanes<int32_t>(sse_cts_ps(VecF(1.0f, -1.0f, nan, 0.0f), 40)), (S32x4{kMax32, kMin32, kMin32, 0}));
  EXPECT_EQ(LanesF(sse_ctf_epi32(Vec(S32x4{-3, kMin32, 7, 0}), 1)), (std::array<float, 4>{-1.5f, -1073741824.0f, 3.5f, 0}));
  EXPECT_EQ(LanesF(sse_ctf_epu32(Vec(U32x4{0xFFFFFFFFu, 0x80000000u, 65537, 3}), 0)),
            (std::array<float, 4>{4294967296.0f, 2147483648.0f, 65537.0f, 3.0f}));
  EXPECT_EQ(LanesF(sse_ctf_epu32(Vec(U32x4{0x80000000u, 1, 6, 0}), 31)),
            (std::array<float, 4>{1.0f, 0x1p-31f, 6 * 0x1p-31f, 0}));
}

TEST(ColorSsePrimitives, VscalbfIsExactAndRoundsSubnormalsOnce) {
  const vFloat x = VecF(1.0f, 3.0f, -5.0f, 1.5f);
  EXPECT_EQ(LanesF(vscalbf(x, Vec(S32x4{0, 2, -1, 127}))), (std::array<float, 4>{1, 12, -2.5f, 1.5f * 0x1p127f}));
  // Counts outside the normal exponent range: overflow to infinity, subnormal results rounded to even.
  const std::array<float, 4> big = LanesF(vscalbf(x, Vec(S32x4{200, -150, -149, -200})));
  EXPECT_EQ(big[0], std::numeric_limits<float>::infinity());
  EXPECT_EQ(FloatBits(big[1]), 2u);  // 3 · 2^-150 = 1.5 · 2^-149, rounded to 2 · 2^-149.
  EXPECT_EQ(FloatBits(big[2]), 0x80000005u);
  EXPECT_EQ(big[3], 0.0f);
}

TEST(ColorSsePrimitives, RoundingFamilyEdges) {
  struct Case {
    float v, floor, ceil, trunc, round;
  };
  const Case cases[] = {
      {0.5f, 0, 1, 0, 0},          {0.51f, 0, 1, 0, 1},           {-0.5f, -1, -0, -0, -1},
      {2.5f, 2, 3, 2, 2},          {-2.5f, -3, -2, -2, -3},       {-2.0f, -2, -2, -2, -2},
      {-1.5f, -2, -1, -1, -2},     {1.75f, 1, 2, 1, 2},           {0.25f, 0, 1, 0, 0},
      {8388607.5f, 8388607, 8388608, 8388607, 8388607},           {-8388607.5f, -8388608, -8388607, -8388607, -8388608},
      {8388609.0f, 8388609, 8388609, 8388609, 8388609},           {-1e20f, -1e20f, -1e20f, -1e20f, -1e20f},
      {0.99999994f, 0, 1, 0, 1},   {-0.99999994f, -1, -0, -0, -1}, {0, 0, 0, 0, 0},
  };
  for (const Case &c : cases) {
    const vFloat v = _mm_set1_ps(c.v);
    EXPECT_EQ(LanesF(sse_floor_ps(v))[0], c.floor) << "sse_floor_ps(" << c.v << ")";
    EXPECT_EQ(LanesF(sse_ceil_ps(v))[1], c.ceil) << "sse_ceil_ps(" << c.v << ")";
    EXPECT_EQ(LanesF(sse_trunc_ps(v))[2], c.trunc) << "sse_trunc_ps(" << c.v << ")";
    EXPECT_EQ(LanesF(sse_round_ps(v))[3], c.round) << "sse_round_ps(" << c.v << ")";
  }
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(LanesF(sse_floor_ps(VecF(inf, -inf, 3e38f, 16777217.0f))), (std::array<float, 4>{inf, -inf, 3e38f, 16777216.0f}));
  EXPECT_TRUE(std::isnan(LanesF(sse_floor_ps(_mm_set1_ps(std::numeric_limits<float>::quiet_NaN())))[0]));
}

TEST(ColorSsePrimitives, FloorAgreesWithTheLibraryAcrossTheRange) {
  BZ_KERNEL_SEED_TRACE();
  std::uniform_int_distribution<uint32_t> bits(0, 0x4B800000u);  // magnitudes up to 2^24
  for (int round = 0; round < 200000; ++round) {
    alignas(16) float v[4];
    for (float &x : v) x = BitsToFloat(bits(bz_test::Rng()) | ((round & 1) ? 0x80000000u : 0));
    const std::array<float, 4> fl = LanesF(sse_floor_ps(_mm_load_ps(v)));
    const std::array<float, 4> ce = LanesF(sse_ceil_ps(_mm_load_ps(v)));
    const std::array<float, 4> tr = LanesF(sse_trunc_ps(_mm_load_ps(v)));
    for (int i = 0; i < 4; ++i) {
      // Compared by value: -0 and +0 are the same integer here.
      ASSERT_EQ(fl[i], std::floor(v[i])) << "sse_floor_ps(" << v[i] << ")";
      ASSERT_EQ(ce[i], std::ceil(v[i])) << "sse_ceil_ps(" << v[i] << ")";
      ASSERT_EQ(tr[i], std::trunc(v[i])) << "sse_trunc_ps(" << v[i] << ")";
    }
  }
}

}  // namespace
