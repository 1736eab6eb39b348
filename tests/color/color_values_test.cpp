#include "color/color_values.h"

#include "general/strings_text.h"
#include "platform/core/cf_dictionary.h"
#include "platform/core/cf_number.h"
#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace {

const double kRec601[3] = {0.299, 0.587, 0.114};
const float kRec601F[3] = {0.299f, 0.587f, 0.114f};

int Round(double v) { return int(std::floor(v + 0.5)); }

// ---- Unit interval ----

TEST(ColorValues, UnitIntervalExactValues) {
  EXPECT_DOUBLE_EQ(CO_UIntToUnitInterval(0, 8), 0.25 / 255);
  EXPECT_DOUBLE_EQ(CO_UIntToUnitInterval(255, 8), 1.0 - 0.25 / 255);
  EXPECT_DOUBLE_EQ(CO_UIntToUnitInterval(51, 8), 0.2);
  EXPECT_EQ(CO_UnitIntervalToUInt(CO_UIntToUnitInterval(0, 8), 8), 0u);
  EXPECT_EQ(CO_UnitIntervalToUInt(-3.0, 8), 0u);
  EXPECT_EQ(CO_UnitIntervalToUInt(7.0, 10), 1023u);

  EXPECT_DOUBLE_EQ(CO_SIntToUnitInterval(127, 8), 0.5 - 0.25 / 127);
  EXPECT_DOUBLE_EQ(CO_SIntToUnitInterval(300, 8), 0.5);
  EXPECT_DOUBLE_EQ(CO_SIntToUnitInterval(-127, 8), -0.5 + 0.25 / 127);
  EXPECT_DOUBLE_EQ(CO_SIntToUnitInterval(-128, 8), -0.5);
  EXPECT_DOUBLE_EQ(CO_SIntToUnitInterval(64, 8), 64.0 / 254);
  EXPECT_EQ(CO_UnitIntervalToSInt(0.5, 8), 127);
  EXPECT_EQ(CO_UnitIntervalToSInt(9.0, 8), 127);
  EXPECT_EQ(CO_UnitIntervalToSInt(0.25, 8), 64);
  EXPECT_EQ(CO_UnitIntervalToSInt(-0.5, 8), -126) << "truncated toward zero";

  // Video range: codes never reach the two reserved ends.
  const struct {
    double value;
    int bits;
    UInt32 luma, chroma;
  } vr[] = {{1.0, 8, 235, 240 + 0},  {0.0, 8, 16, 128},      {2.0, 8, 254, 254},   {-1.0, 8, 1, 1},
            {0.5, 8, 126, 240},      {-0.5, 8, 1, 16},  {1.0, 10, 940, 1019}, {0.0, 10, 64, 512},
            {-1.0, 10, 4, 4},        {3.0, 16, 65279, 65279}};
  for (const auto &c : vr) {
    EXPECT_EQ(CO_UnitIntervalToUIntVR(c.value, c.bits), c.luma) << c.value << " at " << c.bits;
    if (c.value >= -0.5 && c.value <= 0.5) {
      EXPECT_EQ(CO_UnitIntervalToSIntVR(c.value, c.bits), c.chroma) << c.value << " at " << c.bits;
    }
  }
  EXPECT_EQ(CO_UnitIntervalToSIntVR(1.0, 8), 254u);
  EXPECT_EQ(CO_UnitIntervalToSIntVR(-1.0, 8), 1u);
  EXPECT_DOUBLE_EQ(CO_UIntVRToUnitInterval(16, 8, 0), 0.0);
  EXPECT_DOUBLE_EQ(CO_UIntVRToUnitInterval(235, 8, 0), 1.0);
  EXPECT_LT(CO_UIntVRToUnitInterval(4, 8, 0), 0.0);
  EXPECT_DOUBLE_EQ(CO_UIntVRToUnitInterval(4, 8, 1), 0.0);
  EXPECT_DOUBLE_EQ(CO_UIntVRToUnitInterval(250, 8, 1), 1.0);
  EXPECT_DOUBLE_EQ(CO_SIntVRToUnitInterval(512, 10, 0), 0.0);
  EXPECT_DOUBLE_EQ(CO_SIntVRToUnitInterval(16, 8, 0), -0.5);
  EXPECT_GT(CO_SIntVRToUnitInterval(250, 8, 0), 0.5);
  EXPECT_DOUBLE_EQ(CO_SIntVRToUnitInterval(250, 8, 1), 0.5);
}

TEST(ColorValues, UnitIntervalRoundTripsKeepTheCode) {
  for (int bits : {5, 8, 10, 12, 16}) {
    const UInt32 top = (1u << bits) - 1;
    for (UInt32 code = 0; code <= top; code += bits == 16 ? 7 : 1) {
      ASSERT_EQ(CO_UnitIntervalToUInt(CO_UIntToUnitInterval(code, bits), bits), code) << bits << " bits";
    }
    const UInt32 s = bits >= 8 ? 1u << (bits - 8) : 1;
    if (bits < 8) continue;
    for (UInt32 code = 16 * s; code <= 235 * s; ++code)
      ASSERT_EQ(CO_UnitIntervalToUIntVR(CO_UIntVRToUnitInterval(SInt32(code), bits, 1), bits), code) << bits;
    for (UInt32 code = 16 * s; code <= 240 * s; ++code)
      ASSERT_EQ(CO_UnitIntervalToSIntVR(CO_SIntVRToUnitInterval(SInt32(code), bits, 1), bits), code) << bits;
  }
}

// ---- Integer depth and range changes ----

TEST(ColorValues, IntegerDepthChanges) {
  const struct {
    int (*convert)(int);
    int in, out;
  } cases[] = {{CO_10bitUIntTo5bitUInt, 0, 0},      {CO_10bitUIntTo5bitUInt, 1023, 31},
               {CO_10bitUIntTo5bitUInt, 512, 16},   {CO_16bitUIntTo8bitUInt, 0, 0},
               {CO_16bitUIntTo8bitUInt, 65535, 255}, {CO_16bitUIntTo8bitUInt, 32768, 128},
               {CO_5bitUIntTo10bitUInt, 0, 8},      {CO_5bitUIntTo10bitUInt, 31, 1016},
               {CO_5bitUIntTo10bitUInt, 10, 330},   {CO_8bitUIntTo16bitUInt, 0, 64},
               {CO_8bitUIntTo16bitUInt, 255, 65471}, {CO_8bitUIntTo16bitUInt, 300, 65471},
               {CO_8bitUIntTo16bitUInt, 128, 32896}};
  for (const auto &c : cases) EXPECT_EQ(c.convert(c.in), c.out) << c.in;
  // Narrowing stays within one level of x / 257 and never falls as x rises.
  for (int x = 0; x <= 65535; ++x) {
    ASSERT_LE(std::abs(CO_16bitUIntTo8bitUInt(x) - x / 257.0), 1.0) << x;
    if (x > 0) {
      ASSERT_GE(CO_16bitUIntTo8bitUInt(x), CO_16bitUIntTo8bitUInt(x - 1)) << x;
    }
  }
}

TEST(ColorValues, EightBitRangeChanges) {
  EXPECT_EQ(CO_8bitUIntFRToVR(0), 16);
  EXPECT_EQ(CO_8bitUIntFRToVR(255), 235);
  EXPECT_EQ(CO_8bitSIntFRToVR(-128), 16);
  EXPECT_EQ(CO_8bitSIntFRToVR(0), 128);
  EXPECT_EQ(CO_8bitSIntFRToVR(127), 240);
  EXPECT_EQ(CO_8bitUIntVRToFR(16), 0);
  EXPECT_EQ(CO_8bitUIntVRToFR(235), 255);
  EXPECT_EQ(CO_8bitUIntVRToFR(3), 0) << "below black is black";
  EXPECT_EQ(CO_8bitUIntVRToFR(250), 255);
  EXPECT_EQ(CO_8bitSIntVRToFR(128), 0);
  EXPECT_EQ(CO_8bitSIntVRToFR(16), -127);
  EXPECT_EQ(CO_8bitSIntVRToFR(240), 127);
  EXPECT_EQ(CO_8bitSIntVRToFR(1), -127);
  for (int x = 0; x <= 255; ++x) EXPECT_LE(std::abs(CO_8bitUIntFRToVR(x) - Round(16 + x * 219.0 / 255)), 1) << x;
  for (int x = -128; x <= 127; ++x)
    EXPECT_LE(std::abs(CO_8bitSIntFRToVR(x) - Round(128 + x * 224.0 / 255)), 1) << x;
  for (int x = 16; x <= 235; ++x) EXPECT_EQ(CO_8bitUIntVRToFR(x), Round((x - 16) * 255.0 / 219)) << x;
  for (int x = 16; x <= 240; ++x) EXPECT_LE(std::abs(CO_8bitSIntVRToFR(x) - (x - 128) * 255.0 / 224), 0.5) << x;
}

// ---- Packing ----

TEST(ColorValues, Rgb16Packing) {
  RGB8 rgb;
  UInt16 alpha;
  CO_UnpackRGB16(0x7FFF, &rgb, &alpha);
  EXPECT_EQ(rgb.red, 253);
  EXPECT_EQ(rgb.green, 253);
  EXPECT_EQ(rgb.blue, 253);
  EXPECT_EQ(alpha, 0);
  CO_UnpackRGB16(0x8000, &rgb, &alpha);
  EXPECT_EQ(rgb.red, 2);
  EXPECT_EQ(rgb.blue, 2);
  EXPECT_EQ(alpha, 0x8000);
  UInt16 packed;
  const RGB8 extremes = {255, 0, 128};
  CO_PackRGB16(&extremes, 0x8000, &packed);
  EXPECT_EQ(packed, 0x8000 | 31 << 10 | 0 << 5 | 16);
  for (UInt32 pixel = 0; pixel <= 0xFFFF; ++pixel) {
    CO_UnpackRGB16(UInt16(pixel), &rgb, &alpha);
    CO_PackRGB16(&rgb, alpha, &packed);
    ASSERT_EQ(packed, pixel);
  }
  EXPECT_EQ(CO_UnpackGrey(0), 255);
  EXPECT_EQ(CO_UnpackGrey(200), 55);
}

TEST(ColorValues, EightBitPairsInTheirByteOrders) {
  const YCbCr8 full[2] = {{100, -20, 30}, {110, -90, 90}};
  UInt8 yuv2[4];
  CO_PackYCbCr8To422(full, yuv2);
  EXPECT_EQ(std::vector<UInt8>(yuv2, yuv2 + 4), (std::vector<UInt8>{100, UInt8(-20), 110, 30}));
  const YCbCrU8 video[2] = {{60, 100, 150}, {70, 0, 0}};
  UInt8 uyvy[4];
  CO_PackYCbCrU8To422(video, uyvy);
  EXPECT_EQ(std::vector<UInt8>(uyvy, uyvy + 4), (std::vector<UInt8>{100, 60, 150, 70}));
}

UInt32 LE32(const UInt8 *p) { return p[0] | UInt32(p[1]) << 8 | UInt32(p[2]) << 16 | UInt32(p[3]) << 24; }

TEST(ColorValues, V410Words) {
  // A grey pixel at 16-bit video black: Y field 64, chroma fields 512.
  const YCbCrU16 black = {4096, 32768, 32768};
  UInt8 word[4];
  CO_Pack_v410(&black, word);
  UInt32 w = LE32(word);
  EXPECT_EQ((w >> 12) & 0x3FF, 64u);
  EXPECT_EQ((w >> 2) & 0x3FF, 512u);
  EXPECT_EQ((w >> 22) & 0x3FF, 512u);
  EXPECT_EQ(w & 3, 0u);
  YCbCrU16 back;
  CO_Unpack_v410(word, &back);
  EXPECT_EQ(back.y, 4096);
  EXPECT_EQ(back.cb, 32768);
  EXPECT_EQ(back.cr, 32768);

  // Every legal 10-bit code comes back through the 16-bit record.
  for (UInt32 y = 64; y <= 940; ++y) {
    UInt32 c = 64 + (y * 7) % 897;
    UInt32 word32 = c << 22 | y << 12 | (960 - (c - 64)) << 2;
    UInt8 in[4] = {UInt8(word32), UInt8(word32 >> 8), UInt8(word32 >> 16), UInt8(word32 >> 24)}, out[4];
    YCbCrU16 mid;
    CO_Unpack_v410(in, &mid);
    CO_Pack_v410(&mid, out);
    ASSERT_EQ(LE32(out), word32) << y;
  }
}

TEST(ColorValues, V216RoundTripsAtEveryPrecision) {
  for (int sgnb : {10, 12, 14, 16}) {
    SCOPED_TRACE(sgnb);
    const UInt32 s = 1u << (sgnb - 8);
    for (UInt32 luma = 16 * s; luma <= 235 * s; luma += s > 16 ? 3 : 1) {
      UInt32 chroma = 16 * s + (luma * 5) % (224 * s + 1);
      UInt16 codes[4] = {UInt16(chroma), UInt16(luma), UInt16(240 * s - (chroma - 16 * s)), UInt16(235 * s + 16 * s - luma)};
      UInt8 in[8], out[8];
      for (int k = 0; k < 4; ++k) {
        UInt16 word = UInt16(codes[k] << (16 - sgnb));
        in[2 * k] = UInt8(word);
        in[2 * k + 1] = UInt8(word >> 8);
      }
      YCbCrU16_422 mid;
      CO_Unpack_v216(in, &mid, sgnb);
      CO_Pack_v216(&mid, out, sgnb);
      ASSERT_EQ(std::memcmp(in, out, 8), 0) << "luma " << luma;
      if (sgnb == 16) {
        ASSERT_EQ(mid.y0, luma) << "16-bit words are stored as they are";
        ASSERT_EQ(mid.cb, chroma);
      }
    }
  }
  // A 10-bit code sits at the top of its word.
  const YCbCrU16_422 black = {32768, 4096, 32768, 4096};
  UInt8 words[8];
  CO_Pack_v216(&black, words, 10);
  EXPECT_EQ(words[2] | words[3] << 8, 64 << 6);
  EXPECT_EQ(words[0] | words[1] << 8, 512 << 6);
}

TEST(ColorValues, V210GroupLayoutAndRoundTrip) {
  // Twelve distinct legal 10-bit codes in stream order Cb0 Y0 Cr0 Y1 Cb1 Y2 Cr1 Y3 Cb2 Y4 Cr2 Y5.
  const UInt32 codes[12] = {100, 200, 300, 400, 500, 600, 700, 800, 900, 64, 960, 940};
  UInt8 words[16];
  for (int w = 0; w < 4; ++w) {
    UInt32 v = codes[3 * w] | codes[3 * w + 1] << 10 | codes[3 * w + 2] << 20;
    for (int b = 0; b < 4; ++b) words[4 * w + b] = UInt8(v >> (8 * b));
  }
  YCbCrU16_422 pairs[3];
  CO_Unpack_v210(words, pairs);
  auto to16Luma = [](UInt32 c) { return CO_UnitIntervalToUIntVR(CO_UIntVRToUnitInterval(SInt32(c), 10, 1), 16); };
  auto to16Chroma = [](UInt32 c) { return CO_UnitIntervalToSIntVR(CO_SIntVRToUnitInterval(SInt32(c), 10, 1), 16); };
  EXPECT_EQ(pairs[0].cb, to16Chroma(100));
  EXPECT_EQ(pairs[0].y0, to16Luma(200));
  EXPECT_EQ(pairs[0].cr, to16Chroma(300));
  EXPECT_EQ(pairs[0].y1, to16Luma(400));
  EXPECT_EQ(pairs[1].cb, to16Chroma(500));
  EXPECT_EQ(pairs[2].cr, to16Chroma(960));
  EXPECT_EQ(pairs[2].y1, to16Luma(940));
  UInt8 again[16];
  CO_Pack_v210(again, pairs);
  EXPECT_EQ(std::memcmp(words, again, 16), 0);

  // Random legal codes, and out-of-range 16-bit codes land on legal 10-bit ones with bits 30..31 clear.
  BZ_KERNEL_SEED_TRACE();
  std::uniform_int_distribution<int> any(0, 65535);
  for (int round = 0; round < 2000; ++round) {
    YCbCrU16_422 in[3];
    for (auto &p : in) p = {UInt16(any(bz_test::Rng())), UInt16(any(bz_test::Rng())), UInt16(any(bz_test::Rng())),
                            UInt16(any(bz_test::Rng()))};
    UInt8 packed[16];
    CO_Pack_v210(packed, in);
    for (int w = 0; w < 4; ++w) {
      UInt32 v = LE32(packed + 4 * w);
      ASSERT_EQ(v >> 30, 0u);
      for (int f = 0; f < 3; ++f) {
        UInt32 field = (v >> (10 * f)) & 0x3FF;
        ASSERT_TRUE(field >= 4 && field <= 1019) << field;
      }
    }
    YCbCrU16_422 mid[3];
    UInt8 repacked[16];
    CO_Unpack_v210(packed, mid);
    CO_Pack_v210(repacked, mid);
    ASSERT_EQ(std::memcmp(packed, repacked, 16), 0);
  }
}

// ---- RGB and Y'CbCr ----

TEST(ColorValues, DoubleConversionsInvertEachOther) {
  const double white[3] = {1, 1, 1};
  double ycc[3];
  CO_RGBToYCbCr(white, kRec601, ycc);
  EXPECT_NEAR(ycc[0], 1.0, 1e-12);
  EXPECT_NEAR(ycc[1], 0.0, 1e-12);
  EXPECT_NEAR(ycc[2], 0.0, 1e-12);
  const double red[3] = {1, 0, 0};
  CO_RGBToYCbCr(red, kRec601, ycc);
  EXPECT_NEAR(ycc[0], 0.299, 1e-12);
  EXPECT_NEAR(ycc[2], 0.5, 1e-12);
  for (double r : {0.0, 0.3, 1.0})
    for (double g : {0.1, 0.6})
      for (double b : {0.0, 0.9}) {
        const double rgb[3] = {r, g, b};
        double back[3];
        CO_RGBToYCbCr(rgb, kRec601, ycc);
        CO_YCbCrToRGB(ycc, kRec601, back);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(back[k], rgb[k], 1e-12);
      }

  // The float forms on the 0..255 scale.
  const YCbCr8 grey = {128, 0, 0};
  RGB_F32 f;
  CO_YCbCr8ToRGB_F32(&grey, kRec601F, &f);
  EXPECT_EQ(f.red, 128.0f);
  EXPECT_EQ(f.blue, 128.0f);
  const YCbCr8 reddish = {100, -10, 40};
  CO_YCbCr8ToRGB_F32(&reddish, kRec601F, &f);
  EXPECT_NEAR(f.red, 100 + 2 * (1 - 0.299) * 40, 1e-4);
  EXPECT_NEAR(f.blue, 100 + 2 * (1 - 0.114) * -10, 1e-4);
  const YCbCrU8 video = {235, 240, 16};
  YCbCrF32 yf;
  CO_YCbCrU8_ToYCbCrF32(&video, &yf);
  EXPECT_NEAR(yf.y, 16 + 219 * 1.1643835f, 1e-3);
  EXPECT_NEAR(yf.cb, 127.5f, 1e-3);
  EXPECT_NEAR(yf.cr, -127.5f, 1e-3);
}

TEST(ColorValues, FixedPointConversionsFollowTheDoubleOnesWithinOneLevel) {
  for (int r = 0; r <= 255; r += 5) {
    for (int g = 0; g <= 255; g += 5) {
      for (int b = 0; b <= 255; b += 5) {
        const RGB8 rgb = {UInt8(r), UInt8(g), UInt8(b)};
        double y = 0.299 * r + 0.587 * g + 0.114 * b;
        double cb = (b - y) * 0.5 / (1 - 0.114), cr = (r - y) * 0.5 / (1 - 0.299);
        YCbCr8 full;
        CO_RGB8ToYCbCr8(&rgb, &full);
        ASSERT_LE(std::abs(full.y - y), 1.0) << r << " " << g << " " << b;
        ASSERT_LE(std::abs(full.cb - cb), 1.0);
        ASSERT_LE(std::abs(full.cr - cr), 1.0);
        YCbCrU8 video;
        CO_RGB8_ToYCbCrU8(&rgb, &video);
        ASSERT_LE(std::abs(video.y - (16 + y * 219 / 255)), 1.0);
        ASSERT_LE(std::abs(video.cb - (128 + cb * 224 / 255)), 1.0);
        ASSERT_LE(std::abs(video.cr - (128 + cr * 224 / 255)), 1.0);
        // And back.
        RGB8 fromFull, fromVideo;
        CO_YCbCr8ToRGB8(&full, &fromFull);
        CO_YCbCrU8ToRGB8(&video, &fromVideo);
        ASSERT_LE(std::abs(fromFull.red - r), 3) << r << " " << g << " " << b;
        ASSERT_LE(std::abs(fromFull.green - g), 3);
        ASSERT_LE(std::abs(fromFull.blue - b), 3);
        ASSERT_LE(std::abs(fromVideo.red - r), 3);
        ASSERT_LE(std::abs(fromVideo.green - g), 3);
        ASSERT_LE(std::abs(fromVideo.blue - b), 3);
      }
    }
  }
  // The inverse conversions against their double formulas.
  for (int y = 0; y <= 255; y += 3) {
    for (int c = -128; c <= 127; c += 5) {
      const YCbCr8 full = {UInt8(y), SInt8(c), SInt8(-c / 2)};
      RGB8 rgb;
      CO_YCbCr8ToRGB8(&full, &rgb);
      double r = y + 2 * (1 - 0.299) * full.cr, b = y + 2 * (1 - 0.114) * full.cb;
      ASSERT_LE(std::abs(rgb.red - std::clamp(r, 0.0, 255.0)), 1.0) << y << " " << c;
      ASSERT_LE(std::abs(rgb.blue - std::clamp(b, 0.0, 255.0)), 1.0) << y << " " << c;
      YCbCrU8 video;
      CO_YCbCrToYCbCrU8(&full, &video);
      ASSERT_LE(std::abs(video.y - (16 + y * 219 / 255.0)), 1.0);
      ASSERT_LE(std::abs(video.cb - (128 + c * 224 / 255.0)), 1.0);
      YCbCr8 back;
      CO_YCbCrU8ToYCbCr(&video, &back);
      ASSERT_LE(std::abs(back.y - y), 1);
      ASSERT_LE(std::abs(back.cb - c), 1);
    }
  }
  const YCbCrU8 videoWhite = {235, 128, 128};
  RGB8 white;
  CO_YCbCrU8ToRGB8(&videoWhite, &white);
  EXPECT_EQ(white.red, 255);
  EXPECT_EQ(white.green, 255);
  EXPECT_EQ(white.blue, 255);
}

TEST(ColorValues, VideoCodesOutsideTheRangeDoNotWrap) {
  // Below black and above white used to wrap around the byte (superwhite turning black).
  const struct {
    YCbCrU8 in;
    UInt8 y;
    SInt8 cb, cr;
  } cases[] = {{{0, 128, 128}, 0, 0, 0},      {{255, 128, 128}, 255, 0, 0}, {{254, 255, 1}, 255, 127, -128},
               {{16, 16, 240}, 0, -127, 127}, {{235, 128, 128}, 255, 0, 0}};
  for (const auto &c : cases) {
    YCbCr8 out;
    CO_YCbCrU8ToYCbCr(&c.in, &out);
    EXPECT_EQ(out.y, c.y) << int(c.in.y);
    EXPECT_EQ(out.cb, c.cb) << int(c.in.cb);
    EXPECT_EQ(out.cr, c.cr) << int(c.in.cr);
  }
}

TEST(ColorValues, SixteenBitRgbRoundTripsInEachRange) {
  for (CO_YCbCrRangeType range : {kCO_FullRange, kCO_VideoRange, kCO_WideRange}) {
    SCOPED_TRACE(range);
    for (int r = 0; r <= 65535; r += 4369) {
      for (int g = 0; g <= 65535; g += 13107) {
        for (int b = 0; b <= 65535; b += 21845) {
          const RGBColor in = {UInt16(r), UInt16(g), UInt16(b)};
          YCbCr8 ycc;
          RGBColor out;
          CO_RGB16ToYCbCr8(&in, kRec601, range, &ycc);
          CO_YCbCr8ToRGB16(&ycc, kRec601, range, &out);
          // One 8-bit level of luma and chroma is about 2 % of the 16-bit scale after the matrix.
          ASSERT_NEAR(out.red, r, 1800) << r << " " << g << " " << b;
          ASSERT_NEAR(out.green, g, 1800);
          ASSERT_NEAR(out.blue, b, 1800);
        }
      }
    }
  }
  // Video range keeps chroma as offset-binary codes in the record.
  const RGBColor grey = {32768, 32768, 32768};
  YCbCr8 ycc;
  CO_RGB16ToYCbCr8(&grey, kRec601, kCO_VideoRange, &ycc);
  EXPECT_EQ(ycc.y, 126);
  EXPECT_EQ(UInt8(ycc.cb), 128);
  EXPECT_EQ(UInt8(ycc.cr), 128);
  CO_RGB16ToYCbCr8(&grey, kRec601, kCO_FullRange, &ycc);
  EXPECT_EQ(ycc.y, 128);
  EXPECT_EQ(ycc.cb, 0);
}

int Luma(const RGB8 &c) { return (299 * c.red + 587 * c.green + 114 * c.blue + 500) / 1000; }

TEST(ColorValues, SettingTheLumaOfAnRgbColour) {
  RGB8 out;
  const RGB8 black = {0, 0, 0};
  CO_SetRGB8_Br(&black, 77, &out);
  EXPECT_EQ(out.red, 77);
  EXPECT_EQ(out.green, 77);
  EXPECT_EQ(out.blue, 77);
  const RGB8 nearBlack = {1, 0, 0};  // luma 0 as well
  CO_SetRGB8_Br(&nearBlack, 10, &out);
  EXPECT_EQ(out.red, 10);

  const RGB8 orange = {200, 100, 10};
  CO_SetRGB8_Br(&orange, 60, &out);  // luma 120: halved
  EXPECT_EQ(out.red, 100);
  EXPECT_EQ(out.green, 50);
  EXPECT_EQ(out.blue, 5);
  const RGB8 red = {255, 0, 0};
  CO_SetRGB8_Br(&red, 200, &out);  // too bright for pure red: toward white
  EXPECT_EQ(out.red, 255);
  EXPECT_EQ(out.green, out.blue);
  EXPECT_GT(out.green, 150);
  EXPECT_NEAR(Luma(out), 200, 2);

  for (int r = 5; r <= 255; r += 50)
    for (int g = 0; g <= 255; g += 85)
      for (int b = 0; b <= 255; b += 85)
        for (int y : {20, 128, 240}) {
          const RGB8 in = {UInt8(r), UInt8(g), UInt8(b)};
          if (Luma(in) < 30) continue;  // the integer luma of a dark colour is too coarse to scale by
          CO_SetRGB8_Br(&in, UInt8(y), &out);
          EXPECT_NEAR(Luma(out), y, 3) << r << " " << g << " " << b << " to " << y;
        }

  YCbCrU8 direct, viaRgb;
  CO_BrRGB8_ToYCbCrU8(&orange, 200, &direct);
  CO_SetRGB8_Br(&orange, 200, &out);
  CO_RGB8_ToYCbCrU8(&out, &viaRgb);
  EXPECT_TRUE(CO_EqualColorU8(&direct, &viaRgb));
}

// ---- Float RGB ----

TEST(ColorValues, FloatRgbArithmeticAndSaturation) {
  RGB_F32 a, b, c;
  CO_InitRGB8_F32(10, 20, 30, &a);
  CO_InitRGB8_F32(1, 2, 3, &b);
  CO_AddRGB_F32(&a, &b, &c);
  EXPECT_EQ(c.red, 11.0f);
  EXPECT_EQ(c.blue, 33.0f);
  CO_SubRGB_F32(&a, &b, &c);
  EXPECT_EQ(c.green, 18.0f);
  CO_ScaleRGB_F32(&c, 0.5f);
  EXPECT_EQ(c.green, 9.0f);

  const struct {
    RGB_F32 in, out;
    bool inside;
  } sanitize[] = {
      {{300, 0, 0}, {255, 22.5f, 22.5f}, false},   // the mean 100 stays, red comes down to 255
      {{-30, 60, 60}, {0, 45, 45}, false},         // mean 30, blue-green toward it
      {{300, 300, 300}, {255, 255, 255}, false},   // the mean itself is limited
      {{10, 200, 255}, {10, 200, 255}, true},
  };
  for (const auto &s : sanitize) {
    RGB_F32 x = s.in;
    EXPECT_EQ(bool(CO_SanitizeRGB_F32(&x)), s.inside);
    EXPECT_NEAR(x.red, s.out.red, 1e-4);
    EXPECT_NEAR(x.green, s.out.green, 1e-4);
    EXPECT_NEAR(x.blue, s.out.blue, 1e-4);
  }

  float sat = -1;
  const RGB_F32 grey = {90, 90, 90}, pureRed = {255, 0, 0};
  CO_RGB_F32_GetSaturation(&grey, &sat);
  EXPECT_EQ(sat, 0.0f);
  CO_RGB_F32_GetSaturation(&pureRed, &sat);
  EXPECT_NEAR(sat, 1.0f, 1e-6);

  RGB_F32 limited = pureRed;
  CO_RGB_F32_LimitSaturation(&limited, 0.5f);
  EXPECT_NEAR(limited.red, 170.0f, 1e-3);
  EXPECT_NEAR(limited.green, 42.5f, 1e-3);
  CO_RGB_F32_GetSaturation(&limited, &sat);
  EXPECT_NEAR(sat, 0.5f, 1e-5);
  RGB_F32 mild = {100, 90, 80};
  CO_RGB_F32_LimitSaturation(&mild, 0.5f);
  EXPECT_EQ(mild.red, 100.0f) << "below the limit nothing changes";
}

// ---- Equality, names, dictionaries ----

TEST(ColorValues, NamesTextAndDictionary) {
  const YCbCr8 one = {10, -3, 4}, same = {10, -3, 4}, other = {10, -3, 5};
  EXPECT_TRUE(CO_EqualColor8(&one, &same));
  EXPECT_FALSE(CO_EqualColor8(&one, &other));

  const struct {
    CO_YCbCrRangeType range;
    const char *name;
  } names[] = {{kCO_VideoRange, "video range"},
               {kCO_FullRange, "full range"},
               {kCO_WideRange, "wide range"},
               {CO_YCbCrRangeType(0), "unknown range type"}};
  Ptr text = nullptr;
  ASSERT_EQ(GL_NewTextBuffer(&text), noErr);
  SInt32 size = 0;
  std::string expected;
  for (const auto &n : names) {
    char name[32];
    CO_GetRangeName(n.range, name);
    EXPECT_STREQ(name, n.name);
    CO_AddRangeFieldDescrToTextPtr(text, &size, CFSTR("Input range"), n.range);
    expected += std::string("Input range: ") + n.name + "\n";
  }
  EXPECT_EQ(std::string(text, size_t(size)), expected);
  GL_DisposeTextBuffer(&text);

  CFMutableDictionaryRef dict = CO_CopyYCbCr8ToDict(&one);
  ASSERT_NE(dict, nullptr);
  EXPECT_EQ(CFDictionaryGetCount(dict), 3);
  YCbCr8 back = {0, 0, 0};
  EXPECT_TRUE(CO_GetYCbCr8FromDict(dict, &back));
  EXPECT_TRUE(CO_EqualColor8(&back, &one));
  CFDictionaryRemoveValue(dict, CFSTR("Cr"));
  YCbCr8 partial = {1, 1, 99};
  EXPECT_FALSE(CO_GetYCbCr8FromDict(dict, &partial));
  EXPECT_EQ(partial.y, 10);
  EXPECT_EQ(partial.cr, 99) << "a missing value leaves its field";
  CFRelease(dict);
}

}  // namespace
