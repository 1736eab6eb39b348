#include "color/fake_argb.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "support/color_frames.h"
#include "support/kernel_check.h"

namespace {

using bz_test::GuardedBuffer;
using bz_test::GuardedFrame;
using Ycc = std::array<int, 3>;  // bytes 1..3 of a fake ARGB pixel: Y, Cb, Cr

Ycc PixelAt(const UInt8 *p, int x) { return {p[4 * x + 1], p[4 * x + 2], p[4 * x + 3]}; }

TEST(ColorFakeArgb, ExpansionSitesTheOddPixelsChromaBetweenPairs) {
  const UInt8 line[16] = {100, 20, 200, 30, 121, 40, 201, 50, 121, 60, 201, 70, 90, 80, 10, 90};
  const Ycc want[8] = {{20, 100, 200}, {30, 110, 200}, {40, 121, 201}, {50, 121, 201},
                       {60, 121, 201}, {70, 105, 105}, {80, 90, 10},   {90, 90, 10}};
  for (bool sse : {false, true}) {
    GuardedBuffer out(32);
    std::memset(out.data(), 7, 32);
    (sse ? CO_2vuyFrameToFakeARGB_Acc : CO_2vuyFrameToFakeARGB)(1, 8, line, out.data());
    for (int x = 0; x < 8; ++x) {
      EXPECT_EQ(PixelAt(out.data(), x), want[x]) << (sse ? "SSE" : "scalar") << " pixel " << x;
      // The scalar expansion leaves byte 0 alone; the SSE one writes 255 there.
      EXPECT_EQ(out.data()[4 * x], sse ? 255 : 7) << (sse ? "SSE" : "scalar") << " pixel " << x;
    }
    EXPECT_TRUE(out.CheckGuards());
  }
  // The two-pair line of the scalar version alone.
  GuardedBuffer out(16);
  CO_2vuyFrameToFakeARGB(1, 4, line, out.data());
  EXPECT_EQ(PixelAt(out.data(), 1), (Ycc{30, 110, 200}));
  EXPECT_EQ(PixelAt(out.data(), 3), (Ycc{50, 121, 201}));
}

struct FakeCase {
  SInt32 width, height;
  bool sse;
};

class FakeArgbRoundTrip : public ::testing::TestWithParam<FakeCase> {};

// Expanding and packing back gives the '2vuy' bytes that were expanded, out of place and in place; the
// in-place expansion equals the out-of-place one.
TEST_P(FakeArgbRoundTrip, GivesBackTheBytesAndWorksInPlace) {
  BZ_KERNEL_SEED_TRACE();
  const FakeCase c = GetParam();
  const size_t yuvBytes = size_t(c.width) * c.height * 2, fakeBytes = size_t(c.width) * c.height * 4;
  GuardedBuffer yuv(yuvBytes);
  bz_test::FillRandomBytes(yuv.data(), yuvBytes, bz_test::Rng());
  auto expand = c.sse ? CO_2vuyFrameToFakeARGB_Acc : CO_2vuyFrameToFakeARGB;
  auto pack = c.sse ? CO_FakeARGB_FrameTo2vuyAcc : CO_FakeARGB_FrameTo2vuy;

  GuardedBuffer fake(fakeBytes);
  std::memset(fake.data(), 0, fakeBytes);
  expand(c.height, c.width, yuv.data(), fake.data());
  GuardedBuffer back(yuvBytes);
  pack(c.height, c.width, fake.data(), back.data());
  EXPECT_TRUE(bz_test::BytesEqual(yuv.data(), back.data(), yuvBytes, 1));

  // In place: the '2vuy' frame at the start of a buffer big enough for the expansion.
  GuardedBuffer shared(fakeBytes);
  std::memset(shared.data(), 0, fakeBytes);
  std::memcpy(shared.data(), yuv.data(), yuvBytes);
  expand(c.height, c.width, shared.data(), shared.data());
  for (SInt32 i = 0; i < c.width * c.height; ++i) {
    ASSERT_EQ(PixelAt(shared.data(), i), PixelAt(fake.data(), i)) << "pixel " << i;
  }
  pack(c.height, c.width, shared.data(), shared.data());
  EXPECT_TRUE(bz_test::BytesEqual(yuv.data(), shared.data(), yuvBytes, 1));
  EXPECT_TRUE(fake.CheckGuards());
  EXPECT_TRUE(back.CheckGuards());
  EXPECT_TRUE(shared.CheckGuards());
}

INSTANTIATE_TEST_SUITE_P(Sizes, FakeArgbRoundTrip,
                         ::testing::Values(FakeCase{720, 4, false}, FakeCase{720, 4, true}, FakeCase{8, 1, true},
                                           FakeCase{718, 3, false}, FakeCase{721, 3, false}, FakeCase{3, 2, false},
                                           FakeCase{1, 3, false}));

TEST(ColorFakeArgb, ScalarAndSseAgreeApartFromByteZero) {
  BZ_KERNEL_SEED_TRACE();
  const SInt32 width = 720, height = 3;
  GuardedFrame yuv(width, height);
  bz_test::Fill2vuyRandom(yuv, bz_test::Rng());
  GuardedBuffer scalar(size_t(width) * height * 4), sse(scalar.size());
  CO_2vuyFrameToFakeARGB_Uni(false, false, height, width, yuv.data(), scalar.data());
  CO_2vuyFrameToFakeARGB_Uni(false, true, height, width, yuv.data(), sse.data());
  for (SInt32 i = 0; i < width * height; ++i) {
    ASSERT_EQ(PixelAt(scalar.data(), i), PixelAt(sse.data(), i)) << "pixel " << i;
    ASSERT_EQ(sse.data()[4 * i], 255) << "pixel " << i;
  }
}

TEST(ColorFakeArgb, OddWidthsStayInsideTheirLines) {
  // Width 3: one pair and a lone pixel, whose Cr is the pair's.
  const UInt8 yuv[12] = {100, 20, 200, 30, 120, 40, /* row 1 */ 50, 60, 70, 80, 90, 100};
  GuardedBuffer fake(24);
  std::memset(fake.data(), 0, 24);
  CO_2vuyFrameToFakeARGB(2, 3, yuv, fake.data());
  EXPECT_EQ(PixelAt(fake.data(), 0), (Ycc{20, 100, 200}));
  EXPECT_EQ(PixelAt(fake.data(), 1), (Ycc{30, 110, 200}));
  EXPECT_EQ(PixelAt(fake.data(), 2), (Ycc{40, 120, 200}));
  EXPECT_EQ(PixelAt(fake.data(), 5), (Ycc{100, 90, 70}));
  EXPECT_TRUE(fake.CheckGuards());

  GuardedBuffer back(12);
  CO_FakeARGB_FrameTo2vuy(2, 3, fake.data(), back.data());
  EXPECT_TRUE(bz_test::BytesEqual(yuv, back.data(), 12, 1));
  EXPECT_TRUE(back.CheckGuards());
}

TEST(ColorFakeArgb, DispatchersChooseByWidth) {
  for (SInt32 width : {720, 718}) {
    std::vector<UInt8> yuv(size_t(width) * 2, 128);
    GuardedBuffer fake(size_t(width) * 4);
    std::memset(fake.data(), 0, fake.size());
    CO_2vuyFrameToFakeARGB_Uni(true, false, 1, width, yuv.data(), fake.data());
    EXPECT_EQ(fake.data()[0], width % 8 == 0 ? 255 : 0) << width;
    std::vector<UInt8> back(yuv.size(), 0);
    CO_FakeARGB_FrameTo2vuyUni(true, false, 1, width, fake.data(), back.data());
    EXPECT_EQ(back, yuv) << width;
  }
}

}  // namespace
