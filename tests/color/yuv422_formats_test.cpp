#include "color/yuv422_formats.h"

#include "support/color_frames.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

using bz_test::GuardedBuffer;
using bz_test::GuardedFloats;
using bz_test::GuardedFrame;

// --- Byte swaps -------------------------------------------------------------------------------------------

TEST(ColorYuv422Formats, ByteSwapExactBytesBothPaths) {
  // Y0 16, Cb 0, Y1 235, Cr +127 in 'yuv2' is Cb 128, Y0 16, Cr 255, Y1 235 in '2vuy'.
  const UInt8 yuv2[4] = {0x10, 0x00, 0xEB, 0x7F};
  const UInt8 vuy2[4] = {0x80, 0x10, 0xFF, 0xEB};
  std::vector<UInt8> in(16), out(16), back(16);
  for (int i = 0; i < 16; ++i) in[i] = yuv2[i % 4];
  for (auto swap : {CO_ByteSwapYuv2Line, CO_ByteSwapYuv2LineAcc}) {
    std::fill(out.begin(), out.end(), 0);
    swap(8, in.data(), out.data());
    for (int i = 0; i < 16; ++i) ASSERT_EQ(out[i], vuy2[i % 4]) << "byte " << i;
  }
  for (auto swap : {CO_ByteSwap2vuyLine, CO_ByteSwap2vuyLineAcc}) {
    std::fill(back.begin(), back.end(), 0);
    swap(8, out.data(), back.data());
    EXPECT_EQ(back, in);
  }
}

struct SwapFrameCase {
  SInt32 width, height, inRowBytes, outRowBytes;
  bool inPlace;
};

class ByteSwapFrames : public ::testing::TestWithParam<SwapFrameCase> {};

// Both directions, both paths, against a per-pixel reference; nothing outside the rows is touched.
TEST_P(ByteSwapFrames, MatchReferenceAndStayInsideRows) {
  BZ_KERNEL_SEED_TRACE();
  const SwapFrameCase c = GetParam();
  GuardedFrame src(c.width, c.height, c.inRowBytes);
  bz_test::Fill2vuyRandom(src, bz_test::Rng());
  // Reference: each 16-bit unit swapped, chroma sign flipped (on the input byte for 'yuv2' input).
  auto reference = [&](bool toYuv2) {
    GuardedFrame ref(c.width, c.height, c.outRowBytes);
    for (SInt32 y = 0; y < c.height; ++y)
      for (SInt32 x = 0; x < c.width; ++x) {
        UInt8 b0 = src.Row(y)[2 * x], b1 = src.Row(y)[2 * x + 1];
        ref.Row(y)[2 * x] = toYuv2 ? b1 : UInt8(b1 ^ 0x80);
        ref.Row(y)[2 * x + 1] = toYuv2 ? UInt8(b0 ^ 0x80) : b0;
      }
    return ref;
  };
  struct Path {
    const char *name;
    void (*swap)(SInt32, SInt32, const void *, void *, SInt32, SInt32);
    bool toYuv2, isAcc;
  };
  const Path paths[] = {{"CO_ByteSwapYuv2Frame", CO_ByteSwapYuv2Frame, false, false},
                        {"CO_ByteSwapYuv2FrameAcc", CO_ByteSwapYuv2FrameAcc, false, true},
                        {"CO_ByteSwap2vuyFrame", CO_ByteSwap2vuyFrame, true, false},
                        {"CO_ByteSwap2vuyFrameAcc", CO_ByteSwap2vuyFrameAcc, true, true}};
  // Where both strides hold an odd width's extra pixel, the scalar versions convert it too.
  const bool extraPixel = (c.width & 1) && c.inRowBytes >= 2 * (c.width + 1) && c.outRowBytes >= 2 * (c.width + 1);
  const SInt32 outPicture = extraPixel ? 2 * (c.width + 1) : 2 * c.width;
  for (const Path &p : paths) {
    SCOPED_TRACE(p.name);
    if (p.isAcc && (c.width & 7)) continue;  // the dispatcher never gives the SSE version such widths
    GuardedFrame ref = reference(p.toYuv2);
    if (c.inPlace) {
      GuardedFrame work = src;
      p.swap(c.width, c.height, work.data(), work.data(), c.inRowBytes, c.inRowBytes);
      EXPECT_TRUE(bz_test::Frames2vuyAgree(ref, work, bz_test::ExactBytes()));
      EXPECT_TRUE(work.CheckGuards());
    } else {
      GuardedFrame out(c.width, c.height, c.outRowBytes, 0, outPicture);
      p.swap(c.width, c.height, src.data(), out.data(), c.inRowBytes, c.outRowBytes);
      EXPECT_TRUE(bz_test::Frames2vuyAgree(ref, out, bz_test::ExactBytes()));
      EXPECT_TRUE(out.CheckGuards());
      EXPECT_TRUE(src.CheckGuards());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, ByteSwapFrames,
                         ::testing::Values(SwapFrameCase{720, 4, 1440, 1440, true},
                                           SwapFrameCase{720, 3, 1472, 1536, false},
                                           SwapFrameCase{16, 5, 64, 32, false},
                                           // Odd widths in packed rows: the last pixel is swapped once and
                                           // nothing past the frame is read or written.
                                           SwapFrameCase{7, 3, 14, 14, true}, SwapFrameCase{7, 3, 14, 14, false},
                                           SwapFrameCase{1, 2, 2, 2, true},
                                           // Rows wide enough for the extra pixel.
                                           SwapFrameCase{9, 2, 20, 20, false}),
                         [](const ::testing::TestParamInfo<SwapFrameCase> &info) {
                           const SwapFrameCase &c = info.param;
                           return "W" + std::to_string(c.width) + "H" + std::to_string(c.height) + "In" +
                                  std::to_string(c.inRowBytes) + "Out" + std::to_string(c.outRowBytes) +
                                  (c.inPlace ? "InPlace" : "");
                         });

TEST(ColorYuv422Formats, ByteSwapUniAgreesOnEveryWidthAndFlag) {
  BZ_KERNEL_SEED_TRACE();
  for (SInt32 width : {720, 718, 721, 8}) {
    GuardedFrame src(width, 2, (width + 1) * 2);
    bz_test::Fill2vuyRandom(src, bz_test::Rng());
    GuardedFrame expected(width, 2, (width + 1) * 2);
    CO_ByteSwapYuv2Frame(width, 2, src.data(), expected.data(), src.rowBytes(), expected.rowBytes());
    for (Boolean alt : {0, 1})
      for (Boolean sse : {0, 1}) {
        GuardedFrame out(width, 2, (width + 1) * 2);
        CO_ByteSwapYuv2FrameUni(alt, sse, width, 2, src.data(), out.data(), src.rowBytes(), out.rowBytes());
        EXPECT_TRUE(bz_test::Frames2vuyAgree(expected, out, bz_test::ExactBytes()))
            << "width " << width << " flags " << int(alt) << int(sse);
      }
  }
}

// --- '2vuy' to float --------------------------------------------------------------------------------------

TEST(ColorYuv422Formats, LineToFloatAnchorsBothRanges) {
  // Pixel pair Cb, Y0, Cr, Y1.
  struct Case {
    UInt8 cb, y0, cr, y1;
    Boolean fullRange;
    float eY0, eCb, eY1, eCr;
  } const cases[] = {
      {128, 16, 128, 235, false, 0.0f, 0.0f, 255.0f, 0.0f},
      {16, 126, 240, 16, false, 110.0f * kCO_LumaVideoToFullScale, -127.0f, 0.0f, 127.0f},
      {0, 0, 255, 255, true, 0.0f, -128.0f, 255.0f, 127.0f},
      {1, 17, 129, 254, true, 17.0f, -127.0f, 254.0f, 1.0f},
  };
  for (const Case &c : cases) {
    UInt8 line[16];
    for (int i = 0; i < 16; i += 4) {
      line[i] = c.cb;
      line[i + 1] = c.y0;
      line[i + 2] = c.cr;
      line[i + 3] = c.y1;
    }
    for (auto toFloat : {CO_2vuyLineToFloat, CO_2vuyLineToFloatAcc}) {
      float f[16];
      toFloat(8, line, f, c.fullRange);
      for (int i = 0; i < 16; i += 4) {
        EXPECT_FLOAT_EQ(f[i], c.eY0);
        EXPECT_FLOAT_EQ(f[i + 1], c.eCb);
        EXPECT_FLOAT_EQ(f[i + 2], c.eY1);
        EXPECT_FLOAT_EQ(f[i + 3], c.eCr);
      }
    }
  }
}

TEST(ColorYuv422Formats, LineToFloatAccEqualsScalarForEveryByte) {
  BZ_KERNEL_SEED_TRACE();
  GuardedFrame frame(720, 3);
  bz_test::Fill2vuyEdgeValues(frame);  // 2160 pixels: every edge luma meets every edge chroma
  GuardedFrame randomRow(720, 1);
  bz_test::Fill2vuyRandom(randomRow, bz_test::Rng());
  for (Boolean full : {0, 1}) {
    for (const UInt8 *line : {frame.Row(0), frame.Row(1), frame.Row(2), randomRow.Row(0)}) {
      GuardedFloats scalar(1440), acc(1440);
      CO_2vuyLineToFloat(720, line, scalar.data(), full);
      CO_2vuyLineToFloatAcc(720, line, acc.data(), full);
      EXPECT_TRUE(bz_test::FloatsWithinUlps(scalar.data(), acc.data(), 1440, 0)) << "full range " << int(full);
      EXPECT_TRUE(acc.CheckGuards());
    }
  }
}

// --- Float to '2vuy' --------------------------------------------------------------------------------------

// One float value packed as every luma or every chroma of a line, by both packers.
struct PackCase {
  const char *what;
  bool luma;
  Boolean fullRange;
  float value;
  int scalarByte, accByte;
};

const float kNaN = std::numeric_limits<float>::quiet_NaN();

const PackCase kPackCases[] = {
    {"full luma 0 never written by scalar", true, 1, 0.0f, 1, 0},
    {"full luma 255 never written by scalar", true, 1, 255.0f, 254, 255},
    {"full luma half rounds up", true, 1, 127.5f, 128, 128},
    {"full luma below half", true, 1, 127.49f, 127, 127},
    {"full luma far below", true, 1, -40.0f, 1, 0},
    {"full luma far above", true, 1, 1.0e9f, 254, 255},
    {"full luma NaN", true, 1, kNaN, 1, 0},
    {"full luma infinity", true, 1, std::numeric_limits<float>::infinity(), 254, 255},
    {"video luma black", true, 0, 0.0f, 16, 16},
    {"video luma white", true, 0, 255.0f, 235, 235},
    {"video luma below black", true, 0, -40.0f, 1, 0},
    {"video luma above white", true, 0, 300.0f, 254, 255},
    {"full chroma -3.5: away from zero vs upward", false, 1, -3.5f, 124, 125},
    {"full chroma +3.5", false, 1, 3.5f, 132, 132},
    {"full chroma -127", false, 1, -127.0f, 1, 1},
    {"full chroma -128 clamps", false, 1, -128.0f, 1, 0},
    {"full chroma +200 clamps", false, 1, 200.0f, 255, 255},
    {"full chroma NaN", false, 1, kNaN, 1, 0},
    {"video chroma full scale", false, 0, 127.0f, 240, 240},
    {"video chroma minus full scale", false, 0, -127.0f, 16, 16},
    {"video chroma beyond", false, 0, -500.0f, 1, 0},
};

class FloatLinePacking : public ::testing::TestWithParam<PackCase> {};

TEST_P(FloatLinePacking, ScalarAndSseRules) {
  const PackCase &c = GetParam();
  SCOPED_TRACE(c.what);
  float line[16];
  for (int i = 0; i < 16; i += 2) {
    // The other channel holds a neutral value.
    line[i] = c.luma ? c.value : 100.0f;
    line[i + 1] = c.luma ? 0.0f : c.value;
  }
  UInt8 scalar[16], acc[16];
  CO_FloatLineTo2vuy(8, scalar, line, c.fullRange);
  CO_FloatLineTo2vuyAcc(8, acc, line, c.fullRange);
  for (int px = 0; px < 8; ++px) {
    int byte = c.luma ? 2 * px + 1 : 2 * px;
    EXPECT_EQ(scalar[byte], c.scalarByte) << "CO_FloatLineTo2vuy pixel " << px;
    EXPECT_EQ(acc[byte], c.accByte) << "CO_FloatLineTo2vuyAcc pixel " << px;
  }
}

INSTANTIATE_TEST_SUITE_P(Rules, FloatLinePacking, ::testing::ValuesIn(kPackCases),
                         [](const ::testing::TestParamInfo<PackCase> &info) {
                           return "Case" + std::to_string(info.index);
                         });

TEST(ColorYuv422Formats, PackersWriteBytesInOrderCbY0CrY1) {
  const float line[16] = {10, -1, 20, 2, 30, -3, 40, 4, 50, -5, 60, 6, 70, -7, 80, 8};
  for (auto pack : {CO_FloatLineTo2vuy, CO_FloatLineTo2vuyAcc}) {
    UInt8 out[16];
    pack(8, out, line, 1);
    for (int i = 0; i < 16; i += 4) {
      EXPECT_EQ(out[i], UInt8(128 + line[i + 1]));
      EXPECT_EQ(out[i + 1], UInt8(line[i]));
      EXPECT_EQ(out[i + 2], UInt8(128 + line[i + 3]));
      EXPECT_EQ(out[i + 3], UInt8(line[i + 2]));
    }
  }
}

TEST(ColorYuv422Formats, PackersAgreeWithinOneOnRandomFloats) {
  BZ_KERNEL_SEED_TRACE();
  std::vector<float> line(1440);
  for (size_t i = 0; i < line.size(); i += 2) {
    line[i] = std::uniform_real_distribution<float>(-20.0f, 280.0f)(bz_test::Rng());
    line[i + 1] = std::uniform_real_distribution<float>(-150.0f, 150.0f)(bz_test::Rng());
  }
  // Exact halves too: they are where the two rounding rules part.
  for (size_t i = 0; i < 64; ++i) line[i] = float(int(i) - 32) + 0.5f;
  for (Boolean full : {0, 1}) {
    std::vector<UInt8> scalar(1440), acc(1440);
    CO_FloatLineTo2vuy(720, scalar.data(), line.data(), full);
    CO_FloatLineTo2vuyAcc(720, acc.data(), line.data(), full);
    EXPECT_TRUE(bz_test::Lines2vuyAgree(scalar.data(), acc.data(), 720, bz_test::WithinBytes(1)));
  }
}

// --- Round trips ------------------------------------------------------------------------------------------

TEST(ColorYuv422Formats, FullRangeRoundTripKeepsLegalBytes) {
  // Every legal luma 1..254 with every chroma 1..255 survives both paths; 0 and 255 follow each packer's rule.
  GuardedFrame frame(256, 256);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) {
      frame.Luma(x, y) = UInt8(x);
      frame.Chroma(x, y) = UInt8(y);
    }
  GuardedFloats f(512);
  GuardedFrame scalar(256, 256), acc(256, 256);
  for (int y = 0; y < 256; ++y) {
    CO_2vuyLineToFloat(256, frame.Row(y), f.data(), 1);
    CO_FloatLineTo2vuy(256, scalar.Row(y), f.data(), 1);
    CO_2vuyLineToFloatAcc(256, frame.Row(y), f.data(), 1);
    CO_FloatLineTo2vuyAcc(256, acc.Row(y), f.data(), 1);
  }
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) {
      int luma = x, chroma = y;
      ASSERT_EQ(acc.Luma(x, y), luma);
      ASSERT_EQ(acc.Chroma(x, y), chroma);
      ASSERT_EQ(scalar.Luma(x, y), luma == 0 ? 1 : luma == 255 ? 254 : luma) << "luma " << luma;
      ASSERT_EQ(scalar.Chroma(x, y), chroma == 0 ? 1 : chroma) << "chroma " << chroma;
    }
}

TEST(ColorYuv422Formats, VideoRangeRoundTripKeepsEveryLegalByte) {
  GuardedFrame frame(256, 256);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) {
      frame.Luma(x, y) = UInt8(x);
      frame.Chroma(x, y) = UInt8(y);
    }
  GuardedFloats f(512);
  for (int y = 16; y <= 240; ++y) {
    UInt8 scalar[512], acc[512];
    CO_2vuyLineToFloat(256, frame.Row(y), f.data(), 0);
    CO_FloatLineTo2vuy(256, scalar, f.data(), 0);
    CO_2vuyLineToFloatAcc(256, frame.Row(y), f.data(), 0);
    CO_FloatLineTo2vuyAcc(256, acc, f.data(), 0);
    for (int x = 16; x <= 235; ++x) {
      ASSERT_EQ(scalar[2 * x + 1], x);
      ASSERT_EQ(acc[2 * x + 1], x);
      ASSERT_EQ(scalar[2 * x], y);
      ASSERT_EQ(acc[2 * x], y);
    }
  }
}

TEST(ColorYuv422Formats, CopyStageSequenceMapsFullRangeOntoVideoRange) {
  // Read as full range, write as video range, in place, as the copy stage does.
  const UInt8 in[8] = {1, 0, 255, 255, 128, 128, 128, 1};
  const UInt8 expected[8] = {16, 16, 240, 235, 128, 126, 128, 17};
  for (bool acc : {false, true}) {
    UInt8 line[16];
    for (int i = 0; i < 16; ++i) line[i] = in[i % 8];
    float f[16];
    if (acc) {
      CO_2vuyLineToFloatAcc(8, line, f, 1);
      CO_FloatLineTo2vuyAcc(8, line, f, 0);
    } else {
      CO_2vuyLineToFloat(8, line, f, 1);
      CO_FloatLineTo2vuy(8, line, f, 0);
    }
    for (int i = 0; i < 16; ++i) EXPECT_EQ(line[i], expected[i % 8]) << (acc ? "Acc" : "scalar") << " byte " << i;
  }
}

// --- Widths and dispatch ----------------------------------------------------------------------------------

TEST(ColorYuv422Formats, DispatchersChooseByWidthAndFlags) {
  // Luma 0.0 packs to 1 in the scalar path and to 0 in the SSE path, which shows the path taken.
  struct Case {
    SInt32 width;
    Boolean altivec, sse3;
    bool expectAcc;
  } const cases[] = {{720, 0, 1, true},   {720, 1, 0, true},   {720, 0, 0, false}, {718, 1, 1, false},
                     {721, 0, 1, false},  {8, 0, 1, true},     {16, 1, 1, true},   {4, 1, 1, false}};
  for (const Case &c : cases) {
    std::vector<float> line(size_t(c.width + 1) * 2, 0.0f);
    GuardedBuffer out(size_t(c.width + 1) * 2);
    CO_FloatLineTo2vuyUni(c.altivec, c.sse3, c.width, out.data(), line.data(), 1);
    EXPECT_EQ(out.data()[1], c.expectAcc ? 0 : 1) << "width " << c.width << " flags " << int(c.altivec) << int(c.sse3);
    EXPECT_EQ(CO_UseAccForWidth(c.altivec, c.sse3, c.width), c.expectAcc);
  }
}

TEST(ColorYuv422Formats, ScalarOddWidthWritesTheExtraPixelAccLeavesTheRemainder) {
  // Width 719: the scalar version writes pixel 719 too.
  {
    std::vector<float> line(1440, 50.0f);
    GuardedBuffer out(1440);
    CO_FloatLineTo2vuy(719, out.data(), line.data(), 1);
    EXPECT_EQ(out.data()[2 * 719 + 1], 50);
    EXPECT_TRUE(out.CheckGuards());
  }
  // Width 20 given to the SSE versions: 16 pixels done, 4 untouched.
  {
    std::vector<float> line(40, 50.0f);
    GuardedBuffer out(40);
    std::memset(out.data(), 0xEE, 40);
    CO_FloatLineTo2vuyAcc(20, out.data(), line.data(), 1);
    EXPECT_EQ(out.data()[2 * 15 + 1], 50);
    for (int i = 32; i < 40; ++i) EXPECT_EQ(out.data()[i], 0xEE) << "byte " << i;
    GuardedFloats f(40);
    std::vector<UInt8> src(40, 77);
    for (int i = 0; i < 40; ++i) f.data()[i] = -1.0f;
    CO_2vuyLineToFloatAcc(20, src.data(), f.data(), 1);
    EXPECT_EQ(f.data()[31], -51.0f);
    for (int i = 32; i < 40; ++i) EXPECT_EQ(f.data()[i], -1.0f) << "float " << i;
    EXPECT_TRUE(f.CheckGuards());
  }
  // Sizes of 0 or less do nothing.
  UInt8 untouched[16];
  std::memset(untouched, 0x5A, sizeof untouched);
  float f[16] = {};
  for (SInt32 w : {0, -2, -8}) {
    CO_FloatLineTo2vuyUni(0, 1, w, untouched, f, 1);
    CO_FloatLineTo2vuyUni(0, 0, w, untouched, f, 1);
    CO_ByteSwapYuv2FrameUni(0, 1, w, 3, untouched, untouched, 16, 16);
    CO_ByteSwap2vuyFrame(8, w, untouched, untouched, 16, 16);
  }
  for (UInt8 b : untouched) EXPECT_EQ(b, 0x5A);
}

}  // namespace
