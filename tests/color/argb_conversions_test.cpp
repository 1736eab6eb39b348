#include "color/argb_conversions.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <vector>

#include "color/gamma_tables.h"
#include "support/color_frames.h"
#include "support/kernel_check.h"

namespace {

using bz_test::GuardedBuffer;
using bz_test::GuardedFrame;
using Bytes4 = std::array<UInt8, 4>;

// `count` copies of a '2vuy' pair or an ARGB pixel.
std::vector<UInt8> Repeat(const Bytes4 &unit, int count) {
  std::vector<UInt8> v;
  for (int i = 0; i < count; ++i) v.insert(v.end(), unit.begin(), unit.end());
  return v;
}

Bytes4 At(const UInt8 *p, int index) { return {p[4 * index], p[4 * index + 1], p[4 * index + 2], p[4 * index + 3]}; }

// Both paths of the line conversions on 8 pixels.
Bytes4 ToArgb(const Bytes4 &pair, bool full, bool sse, int pixel = 0) {
  const std::vector<UInt8> in = Repeat(pair, 4);
  GuardedBuffer out(32);
  (sse ? CO_2vuyLineToARGB_Acc : CO_2vuyLineToARGB)(8, in.data(), out.data(), full);
  EXPECT_TRUE(out.CheckGuards());
  return At(out.data(), pixel);
}

Bytes4 To2vuy(const Bytes4 &p0, const Bytes4 &p1, bool full, bool sse) {
  std::vector<UInt8> in = Repeat(p0, 1);
  const std::vector<UInt8> second = Repeat(p1, 1);
  in.insert(in.end(), second.begin(), second.end());
  std::vector<UInt8> line;
  for (int i = 0; i < 4; ++i) line.insert(line.end(), in.begin(), in.end());
  GuardedBuffer out(16);
  (sse ? CO_ARGB_LineTo2vuyAcc : CO_ARGB_LineTo2vuy)(8, line.data(), out.data(), full);
  EXPECT_TRUE(out.CheckGuards());
  return At(out.data(), 0);
}

const char *PathName(bool sse) { return sse ? "SSE" : "scalar"; }

// ---------------------------------------------------------------------------------------------------

TEST(ColorArgbConversions, YuvToArgbExactValues) {
  struct Case {
    Bytes4 pair;
    bool full;
    Bytes4 argb;
  };
  const Case cases[] = {
      {{128, 16, 128, 16}, false, {255, 0, 0, 0}},
      {{128, 235, 128, 235}, false, {255, 255, 255, 255}},
      {{128, 16, 128, 16}, true, {255, 16, 16, 16}},
      {{128, 0, 128, 0}, true, {255, 0, 0, 0}},
      {{128, 255, 128, 255}, true, {255, 255, 255, 255}},
      // G and B come out slightly negative and clamp to 0.
      {{90, 81, 240, 81}, false, {255, 254, 0, 0}},
      {{54, 145, 34, 145}, false, {255, 1, 255, 2}},  // the 8-bit round trip of pure green
      {{240, 41, 110, 41}, false, {255, 0, 0, 254}},  // and of pure blue
  };
  for (const Case &c : cases) {
    for (bool sse : {false, true}) {
      EXPECT_EQ(ToArgb(c.pair, c.full, sse), c.argb) << PathName(sse) << " pair " << int{c.pair[0]} << ","
                                                      << int{c.pair[1]} << "," << int{c.pair[2]} << (c.full ? " full" : " video");
    }
  }
}

TEST(ColorArgbConversions, ArgbToYuvExactValues) {
  const Bytes4 white = {255, 255, 255, 255}, black = {255, 0, 0, 0};
  const Bytes4 red = {255, 255, 0, 0}, green = {255, 0, 255, 0}, blue = {255, 0, 0, 255};
  struct Case {
    Bytes4 p0, p1;
    bool full;
    Bytes4 scalar, sse;
  };
  const Case cases[] = {
      {white, white, false, {128, 235, 128, 235}, {128, 235, 128, 235}},
      {black, black, false, {128, 16, 128, 16}, {128, 16, 128, 16}},
      // Full range: the scalar packer keeps luma in 1..254, the SSE one saturates to 0..255.
      {white, white, true, {128, 254, 128, 254}, {128, 255, 128, 255}},
      {black, black, true, {128, 1, 128, 1}, {128, 0, 128, 0}},
      {red, red, false, {90, 81, 240, 81}, {90, 81, 240, 81}},
      {green, green, false, {54, 145, 34, 145}, {54, 145, 34, 145}},
      {blue, blue, false, {240, 41, 110, 41}, {240, 41, 110, 41}},
      {red, red, true, {85, 76, 255, 76}, {85, 76, 255, 76}},  // Cr clamped at +127
      // The pair's chroma is its first pixel's.
      {red, blue, false, {90, 81, 240, 41}, {90, 81, 240, 41}},
      // Alpha is ignored.
      {{0, 255, 0, 0}, {17, 255, 0, 0}, false, {90, 81, 240, 81}, {90, 81, 240, 81}},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(To2vuy(c.p0, c.p1, c.full, false), c.scalar) << "scalar case " << (&c - cases);
    EXPECT_EQ(To2vuy(c.p0, c.p1, c.full, true), c.sse) << "SSE case " << (&c - cases);
  }
}

TEST(ColorArgbConversions, ScalarLinesLeaveTheOddLastPixelUnwritten) {
  const std::vector<UInt8> yuv = Repeat({128, 100, 128, 100}, 3);  // 5 pixels and one spare
  GuardedBuffer argb(24);
  std::fill(argb.data(), argb.data() + 24, 7);
  CO_2vuyLineToARGB(5, yuv.data(), argb.data(), false);
  EXPECT_EQ(At(argb.data(), 3)[0], 255);
  EXPECT_EQ(At(argb.data(), 4), (Bytes4{7, 7, 7, 7}));

  const std::vector<UInt8> pixels = Repeat({255, 200, 100, 50}, 6);
  GuardedBuffer yuvOut(12);
  std::fill(yuvOut.data(), yuvOut.data() + 12, 7);
  CO_ARGB_LineTo2vuy(5, pixels.data(), yuvOut.data(), false);
  EXPECT_NE(yuvOut.data()[7], 7);
  EXPECT_EQ(yuvOut.data()[8], 7);
  EXPECT_EQ(yuvOut.data()[9], 7);
  EXPECT_TRUE(argb.CheckGuards());
  EXPECT_TRUE(yuvOut.CheckGuards());
}

TEST(ColorArgbConversions, SseOddPixelsTakeTheMeanOfNeighbouringChroma) {
  // Pairs with Cb 100, then 121: the SSE odd pixel between them gets Cb 110, the scalar one keeps 100; the
  // last pair's odd pixel keeps its own chroma.
  std::vector<UInt8> line = {100, 128, 128, 128, 121, 128, 128, 128, 121, 128, 200, 128, 121, 128, 90, 128};
  GuardedBuffer scalar(32), sse(32), reference(32);
  CO_2vuyLineToARGB(8, line.data(), scalar.data(), true);
  CO_2vuyLineToARGB_Acc(8, line.data(), sse.data(), true);
  const std::vector<UInt8> mean = Repeat({110, 128, 128, 128}, 4);
  CO_2vuyLineToARGB(8, mean.data(), reference.data(), true);
  EXPECT_EQ(At(sse.data(), 1), At(reference.data(), 0));
  EXPECT_EQ(At(scalar.data(), 1), At(scalar.data(), 0));
  // Cr 128 and 200 average to 164 for pixel 3; pixel 7 keeps Cr 90.
  const std::vector<UInt8> cr164 = Repeat({121, 128, 164, 128}, 4);
  CO_2vuyLineToARGB(8, cr164.data(), reference.data(), true);
  EXPECT_EQ(At(sse.data(), 3), At(reference.data(), 0));
  EXPECT_EQ(At(sse.data(), 7), At(scalar.data(), 7));
  for (int x = 0; x < 8; x += 2) EXPECT_EQ(At(sse.data(), x), At(scalar.data(), x)) << "even pixel " << x;
}

// The SSE conversion works from the line's end: at a width that is no multiple of 8 the leftover pixels are
// the first ones, left untouched, and the steps cover the rest exactly as they cover a line starting there.
TEST(ColorArgbConversions, SseLeavesTheLeftoverPixelsAtTheLineStart) {
  BZ_KERNEL_SEED_TRACE();
  for (SInt32 width : {10, 20}) {
    SCOPED_TRACE("width " + std::to_string(width));
    GuardedFrame line(width, 1);
    bz_test::Fill2vuyRandom(line, bz_test::Rng());
    const SInt32 skipped = width % 8;
    GuardedBuffer out(size_t(width) * 4), tail(size_t(width - skipped) * 4);
    std::fill(out.data(), out.data() + out.size(), UInt8(0xEE));
    CO_2vuyLineToARGB_Acc(width, line.data(), out.data(), false);
    CO_2vuyLineToARGB_Acc(width - skipped, line.data() + 2 * skipped, tail.data(), false);
    EXPECT_TRUE(std::all_of(out.data(), out.data() + 4 * skipped, [](UInt8 b) { return b == 0xEE; }))
        << "the first " << skipped << " pixels were written";
    EXPECT_TRUE(std::equal(tail.data(), tail.data() + tail.size(), out.data() + 4 * skipped));
    EXPECT_TRUE(out.CheckGuards());
  }
}

TEST(ColorArgbConversions, ScalarAndSseAgreeOnRandomFrames) {
  BZ_KERNEL_SEED_TRACE();
  const SInt32 width = 720, height = 6;
  for (bool full : {false, true}) {
    GuardedFrame yuv(width, height);
    bz_test::Fill2vuyRandom(yuv, bz_test::Rng());
    // Adjacent pairs share their chroma, so the SSE chroma siting cannot show.
    for (SInt32 y = 0; y < height; ++y) {
      for (SInt32 x = 4; x < width; x += 4) {
        yuv.Chroma(x, y) = yuv.Chroma(0, y);
        yuv.Chroma(x + 1, y) = yuv.Chroma(1, y);
        yuv.Chroma(x + 2, y) = yuv.Chroma(0, y);
        yuv.Chroma(x + 3, y) = yuv.Chroma(1, y);
      }
      yuv.Chroma(2, y) = yuv.Chroma(0, y);
      yuv.Chroma(3, y) = yuv.Chroma(1, y);
    }
    GuardedBuffer a(size_t(width) * height * 4), b(size_t(width) * height * 4);
    CO_2vuyFrameToARGB_Uni(false, false, width, height, yuv.data(), a.data(), full, width * 2, width * 4);
    CO_2vuyFrameToARGB_Uni(false, true, width, height, yuv.data(), b.data(), full, width * 2, width * 4);
    EXPECT_TRUE(bz_test::BytesEqual(a.data(), b.data(), size_t(width) * 4, height, 0, 1)) << "to ARGB, full " << full;

    GuardedBuffer argb(size_t(width) * height * 4);
    bz_test::FillRandomBytes(argb.data(), argb.size(), bz_test::Rng());
    GuardedFrame s(width, height), v(width, height);
    CO_ARGB_FrameTo2vuyUni(false, false, height, width, argb.data(), s.data(), full);
    CO_ARGB_FrameTo2vuyUni(true, false, height, width, argb.data(), v.data(), full);
    EXPECT_TRUE(bz_test::Frames2vuyAgree(s, v, bz_test::WithinBytes(1))) << "to 2vuy, full " << full;
    EXPECT_TRUE(s.CheckGuards());
    EXPECT_TRUE(v.CheckGuards());
  }
}

// ---------------------------------------------------------------------------------------------------
// Gamma.

TEST(ColorArgbConversions, ArgbGammaWithEqualGammas) {
  std::vector<UInt8> line(256 * 4);
  for (int v = 0; v < 256; ++v) {
    line[4 * v] = static_cast<UInt8>(v ^ 0x5A);
    line[4 * v + 1] = static_cast<UInt8>(v);
    line[4 * v + 2] = static_cast<UInt8>(255 - v);
    line[4 * v + 3] = static_cast<UInt8>((v * 7) & 255);
  }
  std::vector<UInt16> identity(kCO_RGBTableEntries);
  CO_MakeRGBTable(1.8f, 1.8f, identity.data());
  std::vector<UInt8> scalar(line.size()), sse(line.size());
  CO_ARGB_LineChangeGamma(256, line.data(), scalar.data(), identity.data());
  CO_ChangeARGB_LineGammaAcc(256, line.data(), sse.data(), 1.8f, 1.8f);
  EXPECT_EQ(scalar, line);
  // The SSE curve keeps every level but the top one, which its clamp takes to 254.
  for (size_t i = 0; i < line.size(); ++i) {
    const int want = (i % 4 != 0 && line[i] == 255) ? 254 : line[i];
    ASSERT_EQ(sse[i], want) << "byte " << i;
  }
}

TEST(ColorArgbConversions, ArgbGammaCurves) {
  std::vector<UInt16> t(kCO_RGBTableEntries);
  CO_MakeRGBTable(1.0f, 2.2f, t.data());
  ASSERT_EQ(t[1020], 1022);
  const std::vector<UInt8> white = Repeat({9, 255, 255, 255}, 4);
  std::vector<UInt8> out(16);
  CO_ARGB_LineChangeGamma(4, white.data(), out.data(), t.data());
  EXPECT_EQ(At(out.data(), 0), (Bytes4{9, 255, 255, 255}));

  // Both paths follow 255 · (v/255)^(in/out) within a level.
  for (auto g : {std::pair{2.2f, 1.8f}, std::pair{1.8f, 2.2f}}) {
    CO_MakeRGBTable(g.first, g.second, t.data());
    std::vector<UInt8> line(256 * 4), a(line.size()), b(line.size());
    for (int v = 0; v < 256; ++v) line[4 * v + 1] = line[4 * v + 2] = line[4 * v + 3] = static_cast<UInt8>(v);
    CO_ARGB_LineChangeGamma(256, line.data(), a.data(), t.data());
    CO_ChangeARGB_LineGammaAcc(256, line.data(), b.data(), g.first, g.second);
    for (int v = 0; v < 256; ++v) {
      const double want = 255.0 * std::pow(v / 255.0, double(g.first / g.second));
      EXPECT_NEAR(a[4 * v + 1], want, 1.0) << "scalar level " << v;
      EXPECT_NEAR(b[4 * v + 2], std::min(want, 254.0), 0.51) << "SSE level " << v;
      if (v > 0) {
        EXPECT_GE(b[4 * v + 3], b[4 * v - 1]) << "SSE level " << v;
      }
    }
  }
}

TEST(ColorArgbConversions, YuvToArgbWithGammaOnBothPaths) {
  BZ_KERNEL_SEED_TRACE();
  const SInt32 width = 64, height = 3;
  GuardedFrame yuv(width, height);
  bz_test::Fill2vuyRandom(yuv, 30, 220, 110, 146, bz_test::Rng());
  std::vector<UInt16> t(kCO_RGBTableEntries);
  CO_MakeRGBTable(2.2f, 1.8f, t.data());
  GuardedBuffer given(size_t(width) * height * 4), own(given.size()), sse(given.size());
  CO_2vuyFrameToARGB_ChangeGamma(width, height, yuv.data(), given.data(), false, width * 2, width * 4, 0, 0, t.data());
  CO_2vuyFrameToARGB_ChangeGamma(width, height, yuv.data(), own.data(), false, width * 2, width * 4, 2.2f, 1.8f,
                                 nullptr);
  EXPECT_TRUE(bz_test::BytesEqual(given.data(), own.data(), size_t(width) * 4, height));
  CO_2vuyFrameToARGB_ChangeGammaUni(false, true, width, height, yuv.data(), sse.data(), false, width * 2, width * 4,
                                    2.2f, 1.8f, t.data());
  // The SSE path changes the gamma of rounded bytes and sites odd-pixel chroma between pairs; compare the
  // even pixels, where only the rounding order differs.
  for (SInt32 i = 0; i < width * height; i += 2) {
    for (int c = 0; c < 4; ++c) {
      ASSERT_NEAR(given.data()[4 * i + c], sse.data()[4 * i + c], 2) << "pixel " << i << " byte " << c;
    }
  }

  // With the identity table the gamma path gives the plain conversion with its two low bits dropped
  // (floor(v + 1/8) instead of rounding), and levels below 1 read level 1.
  std::vector<UInt16> identity(kCO_RGBTableEntries);
  CO_MakeRGBTable(1.8f, 1.8f, identity.data());
  GuardedBuffer plain(given.size());
  CO_2vuyFrameToARGB(width, height, yuv.data(), plain.data(), false, width * 2, width * 4);
  CO_2vuyFrameToARGB_ChangeGamma(width, height, yuv.data(), given.data(), false, width * 2, width * 4, 0, 0,
                                 identity.data());
  for (size_t i = 0; i < given.size(); ++i) {
    const int p = plain.data()[i], g = given.data()[i];
    if (p == 0) {
      ASSERT_EQ(g, 1) << "byte " << i;
    } else {
      ASSERT_TRUE(g == p || (g == p - 1 && g >= 1)) << "byte " << i << ": plain " << p << ", gamma path " << g;
    }
  }
}

TEST(ColorArgbConversions, ArgbToYuvWithGammaChangesTheSource) {
  BZ_KERNEL_SEED_TRACE();
  const SInt32 width = 16, height = 2;
  std::vector<UInt8> argb(size_t(width) * height * 4);
  bz_test::FillRandomBytes(argb.data(), argb.size(), bz_test::Rng());
  std::vector<UInt16> t(kCO_RGBTableEntries);
  CO_MakeRGBTable(1.8f, 2.2f, t.data());

  std::vector<UInt8> source(argb), expectSource(argb);
  GuardedFrame target(width, height), expect(width, height);
  CO_ARGB_FrameTo2vuyChangeGamma(width, height, source.data(), target.data(), false, 1.8f, 2.2f, nullptr);
  CO_ChangeARGB_FrameGamma(height, width, 0, 0, expectSource.data(), expectSource.data(), t.data());
  CO_ARGB_FrameTo2vuy(width, height, expectSource.data(), expect.data(), false);
  EXPECT_EQ(source, expectSource) << "the source keeps its gamma-changed pixels";
  EXPECT_TRUE(bz_test::Frames2vuyAgree(expect, target, bz_test::ExactBytes()));

  // The table's 4 × scale cancels: with the identity table the line conversion is the plain one.
  std::vector<UInt16> identity(kCO_RGBTableEntries);
  CO_MakeRGBTable(2.2f, 2.2f, identity.data());
  GuardedBuffer a(size_t(width) * 2), b(size_t(width) * 2);
  for (bool full : {false, true}) {
    CO_ARGB_LineTo2vuy(width, argb.data(), a.data(), full);
    CO_ARGB_LineTo2vuy_ChangeGamma(width, argb.data(), b.data(), full, identity.data());
    EXPECT_TRUE(bz_test::BytesEqual(a.data(), b.data(), size_t(width) * 2, 1)) << "full " << full;
  }

  // The SSE path through the dispatcher changes its source the same way, by its own curve.
  std::vector<UInt8> sseSource(argb);
  GuardedFrame sseTarget(width, height);
  CO_ARGB_FrameTo2vuyChangeGammaUni(false, true, width, height, sseSource.data(), sseTarget.data(), false, 1.8f, 2.2f,
                                    t.data());
  for (size_t i = 0; i < argb.size(); ++i) ASSERT_NEAR(sseSource[i], expectSource[i], 1) << i;
  EXPECT_TRUE(bz_test::Frames2vuyAgree(expect, sseTarget, bz_test::WithinBytes(2)));
}

// ---------------------------------------------------------------------------------------------------
// Dispatchers and rows.

TEST(ColorArgbConversions, DispatchersChooseByWidth) {
  BZ_KERNEL_SEED_TRACE();
  for (SInt32 width : {720, 718, 716}) {
    GuardedFrame yuv(width, 2);
    bz_test::Fill2vuyRandom(yuv, bz_test::Rng());
    GuardedBuffer uni(size_t(width) * 8), scalar(size_t(width) * 8), acc(size_t(width) * 8);
    CO_2vuyFrameToARGB_Uni(true, false, width, 2, yuv.data(), uni.data(), false, width * 2, width * 4);
    CO_2vuyFrameToARGB(width, 2, yuv.data(), scalar.data(), false, width * 2, width * 4);
    CO_2vuyFrameToARGB_Acc(2, width, yuv.data(), acc.data(), false);
    const bool sse = width % 8 == 0;
    EXPECT_TRUE(bz_test::BytesEqual((sse ? acc : scalar).data(), uni.data(), size_t(width) * 4, 2)) << width;

    // The ARGB gamma needs only a multiple of 4.
    GuardedBuffer g1(size_t(width) * 8), g2(size_t(width) * 8);
    CO_ChangeARGB_FrameGammaUni(false, true, 2, width, 0, 0, scalar.data(), g1.data(), 2.2f, 1.8f, nullptr);
    CO_ChangeARGB_FrameGammaAcc(2, width, 0, 0, scalar.data(), g2.data(), 2.2f, 1.8f);
    if (width % 4 == 0) {
      EXPECT_TRUE(bz_test::BytesEqual(g2.data(), g1.data(), size_t(width) * 4, 2)) << width;
    }
  }
}

TEST(ColorArgbConversions, PackedFrameOf486LinesOnBothPaths) {
  BZ_KERNEL_SEED_TRACE();
  const SInt32 width = 720, height = 486;
  GuardedFrame yuv(width, height);
  bz_test::Fill2vuyRandom(yuv, 16, 235, 16, 240, bz_test::Rng());
  for (Boolean sse : {false, true}) {
    GuardedBuffer out(size_t(width) * height * 4);
    std::fill(out.data(), out.data() + out.size(), 0);
    CO_2vuyFrameToARGB_Uni(false, sse, width, height, yuv.data(), out.data(), false, width * 2, width * 4);
    EXPECT_TRUE(out.CheckGuards());
    for (SInt32 i = 0; i < width * height; ++i) ASSERT_EQ(out.data()[4 * i], 255) << PathName(sse) << " pixel " << i;
  }
}

TEST(ColorArgbConversions, RowsWithGapsOnBothPaths) {
  BZ_KERNEL_SEED_TRACE();
  const SInt32 width = 32, height = 3, inRowBytes = 80, outRowBytes = 160;
  GuardedFrame yuv(width, height, inRowBytes);
  bz_test::Fill2vuyRandom(yuv, bz_test::Rng());
  GuardedFrame packedYuv(width, height);
  for (SInt32 y = 0; y < height; ++y) std::copy(yuv.Row(y), yuv.Row(y) + 64, packedYuv.Row(y));
  for (bool gamma : {false, true}) {
    for (Boolean sse : {false, true}) {
      GuardedFrame gapped(width, height, outRowBytes, 0, width * 4);
      GuardedBuffer packed(size_t(width) * height * 4);
      if (gamma) {
        CO_2vuyFrameToARGB_ChangeGammaUni(false, sse, width, height, yuv.data(), gapped.data(), false, inRowBytes,
                                          outRowBytes, 2.2f, 1.8f, nullptr);
        CO_2vuyFrameToARGB_ChangeGammaUni(false, sse, width, height, packedYuv.data(), packed.data(), false,
                                          width * 2, width * 4, 2.2f, 1.8f, nullptr);
      } else {
        CO_2vuyFrameToARGB_Uni(false, sse, width, height, yuv.data(), gapped.data(), false, inRowBytes, outRowBytes);
        CO_2vuyFrameToARGB_Uni(false, sse, width, height, packedYuv.data(), packed.data(), false, width * 2,
                               width * 4);
      }
      EXPECT_TRUE(gapped.CheckGuards()) << PathName(sse) << " gamma " << gamma;
      for (SInt32 y = 0; y < height; ++y) {
        EXPECT_TRUE(bz_test::BytesEqual(packed.data() + y * width * 4, gapped.Row(y), size_t(width) * 4, 1))
            << PathName(sse) << " gamma " << gamma << " row " << y;
      }
    }
  }

  // The ARGB gamma steps by its row bytes, 0 meaning packed; without a table the scalar path writes nothing.
  std::vector<UInt8> argb(size_t(width) * height * 4, 100), out(argb.size(), 3);
  CO_ChangeARGB_FrameGamma(height, width, 0, 0, argb.data(), out.data(), nullptr);
  EXPECT_EQ(out, std::vector<UInt8>(argb.size(), 3));
}

}  // namespace
