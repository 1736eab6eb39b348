#include "color/gamma_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "color/yuv422_formats.h"
#include "support/color_frames.h"
#include "support/kernel_check.h"

namespace {

using bz_test::GuardedFloats;
using bz_test::GuardedFrame;

std::vector<UInt16> Table(float inGamma, float outGamma) {
  std::vector<UInt16> t(kCO_RGBTableEntries);
  CO_MakeRGBTable(inGamma, outGamma, t.data());
  return t;
}

// A grey frame whose pixel x has luma lo + x (clamped to hi), neutral chroma.
GuardedFrame GreyRamp(SInt32 width, SInt32 height, int lo, int hi) {
  GuardedFrame f(width, height);
  for (SInt32 y = 0; y < height; ++y) {
    for (SInt32 x = 0; x < width; ++x) {
      f.Chroma(x, y) = 128;
      f.Luma(x, y) = static_cast<UInt8>(std::min(hi, lo + x));
    }
  }
  return f;
}

enum class Path { kScalar, kAcc };

// The gamma change of a whole packed frame in place on one path, through its dispatcher.
void ChangeGamma(GuardedFrame &f, Path path, bool super, float inGamma, float outGamma, const UInt16 *table) {
  const Boolean sse = path == Path::kAcc;
  if (super) {
    CO_2vuyFrameChangeGammaSuperUni(false, sse, f.width(), f.height(), f.data(), f.data(), nullptr, f.width() * 2,
                                    f.width() * 2, inGamma, outGamma, table);
  } else {
    CO_2vuyFrameChangeGammaUni(false, sse, f.height(), f.width(), f.data(), f.data(), nullptr, f.width() * 2,
                               f.width() * 2, inGamma, outGamma, table);
  }
}

// ---------------------------------------------------------------------------------------------------

TEST(Color2vuyGamma, EqualGammasKeepEveryLevel) {
  // Levels whose float lies inside the curve's clamps come back unchanged on both paths. Video black
  // (float 0) is raised to the clamp at 1 and packs as 17; the SSE curve's top clamp (254 on the float
  // scale) packs video white as 234.
  const std::vector<UInt16> identity = Table(2.2f, 2.2f);
  for (bool super : {false, true}) {
    for (Path path : {Path::kScalar, Path::kAcc}) {
      SCOPED_TRACE(::testing::Message() << (super ? "Super " : "plain ") << (path == Path::kAcc ? "SSE" : "scalar"));
      GuardedFrame f = GreyRamp(256, 2, 0, 255);
      ChangeGamma(f, path, super, 2.2f, 2.2f, identity.data());
      for (int v = 0; v < 256; ++v) {
        int want = v;
        if (!super) want = std::clamp(v, 16, 235);  // video range reads and writes clip
        if (!super && want == 16) want = 17;
        if (!super && want == 235 && path == Path::kAcc) want = 234;
        if (super) want = std::clamp(v, 1, 254);
        ASSERT_EQ(f.Luma(v, 1), want) << "level " << v;
        ASSERT_EQ(f.Chroma(v, 1), 128) << "level " << v;
      }
      EXPECT_TRUE(f.CheckGuards());
    }
  }
}

TEST(Color2vuyGamma, SseCurveIsMonotonicWithoutSteps) {
  for (auto g : {std::pair{2.2f, 1.8f}, std::pair{1.8f, 2.2f}, std::pair{2.5f, 1.8f}}) {
    GuardedFrame f = GreyRamp(256, 1, 0, 255);
    ChangeGamma(f, Path::kAcc, false, g.first, g.second, nullptr);
    GuardedFrame s = GreyRamp(256, 1, 0, 255);
    ChangeGamma(s, Path::kAcc, true, g.first, g.second, nullptr);
    for (int v = 1; v < 256; ++v) {
      ASSERT_GE(f.Luma(v, 0), f.Luma(v - 1, 0)) << g.first << " to " << g.second << " level " << v;
      ASSERT_LE(f.Luma(v, 0) - f.Luma(v - 1, 0), 2) << g.first << " to " << g.second << " level " << v;
      ASSERT_GE(s.Luma(v, 0), s.Luma(v - 1, 0)) << "Super " << g.first << " to " << g.second << " level " << v;
    }
  }
}

TEST(Color2vuyGamma, ScalarAndSseAgreeWithinTheTableQuantisation) {
  BZ_KERNEL_SEED_TRACE();
  GuardedFrame input(720, 8);
  // Colours whose RGB stays inside both paths' clamps.
  bz_test::Fill2vuyRandom(input, 40, 220, 100, 156, bz_test::Rng());
  // The Super contrast step scales chroma by the first luma's ratio (scalar) or the pair's mean ratio
  // (SSE); pairs of equal lumas take both rules to the same chroma.
  GuardedFrame evenPairs(input);
  for (SInt32 y = 0; y < evenPairs.height(); ++y) {
    for (SInt32 x = 0; x < evenPairs.width(); x += 2) evenPairs.Luma(x + 1, y) = evenPairs.Luma(x, y);
  }
  for (auto g : {std::pair{2.2f, 1.8f}, std::pair{1.8f, 2.2f}, std::pair{2.2222223f, 1.8f}}) {
    for (bool super : {false, true}) {
      SCOPED_TRACE(::testing::Message() << (super ? "Super " : "plain ") << g.first << " to " << g.second);
      const std::vector<UInt16> t = Table(g.first, g.second);
      EXPECT_TRUE(bz_test::ScalarAndAccAgree(
          super ? evenPairs : input, [&](GuardedFrame &f) { ChangeGamma(f, Path::kScalar, super, g.first, g.second, t.data()); },
          [&](GuardedFrame &f) { ChangeGamma(f, Path::kAcc, super, g.first, g.second, t.data()); },
          bz_test::WithinBytes(1)));
    }
  }
}

TEST(Color2vuyGamma, SuperKeepsSuperwhitesThatPlainClips) {
  const std::vector<UInt16> t = Table(2.2f, 1.8f);
  for (Path path : {Path::kScalar, Path::kAcc}) {
    SCOPED_TRACE(path == Path::kAcc ? "SSE" : "scalar");
    GuardedFrame plain(8, 1), super(8, 1);
    bz_test::Fill2vuyConstant(plain, 128, 250, 128);
    bz_test::Fill2vuyConstant(super, 128, 250, 128);
    ChangeGamma(plain, path, false, 2.2f, 1.8f, t.data());
    ChangeGamma(super, path, true, 2.2f, 1.8f, t.data());
    EXPECT_LE(plain.Luma(0, 0), 235);
    EXPECT_GT(super.Luma(0, 0), 240);
    // Video white stays at 235 through the Super contrast step.
    bz_test::Fill2vuyConstant(super, 128, 235, 128);
    ChangeGamma(super, path, true, 2.2f, 1.8f, t.data());
    EXPECT_NEAR(super.Luma(3, 0), 235, 1);
  }
}

TEST(Color2vuyGamma, ScalarFramesMakeTheirOwnTableAndFloatLine) {
  BZ_KERNEL_SEED_TRACE();
  const std::vector<UInt16> t = Table(2.2f, 1.8f);
  for (SInt32 width : {721, 1300}) {  // odd: the last pair reaches one pixel past the width
    GuardedFrame input(width, 3, 2 * (width + 1), 0, 2 * (width + 1));
    bz_test::Fill2vuyRandom(input, bz_test::Rng());
    GuardedFloats fp(static_cast<size_t>(width + 1) * 2);
    for (bool super : {false, true}) {
      auto run = super ? CO_2vuyFrameChangeGammaSuper : CO_2vuyFrameChangeGamma;
      GuardedFrame given(input), own(input);
      run(3, width, given.data(), given.data(), fp.data(), given.rowBytes(), given.rowBytes(), 0, 0, t.data());
      run(3, width, own.data(), own.data(), nullptr, own.rowBytes(), own.rowBytes(), 2.2f, 1.8f, nullptr);
      EXPECT_TRUE(bz_test::Frames2vuyAgree(given, own, bz_test::ExactBytes(), 3, width + 1)) << width;
      EXPECT_TRUE(own.CheckGuards());
      EXPECT_TRUE(fp.CheckGuards());
    }
  }
}

TEST(Color2vuyGamma, RowBytesRules) {
  BZ_KERNEL_SEED_TRACE();
  const std::vector<UInt16> t = Table(1.8f, 2.2f);
  GuardedFrame packed(64, 4);
  bz_test::Fill2vuyRandom(packed, bz_test::Rng());

  // Super reads 0 as packed.
  GuardedFrame a(packed), b(packed);
  CO_2vuyFrameChangeGammaSuper(4, 64, a.data(), a.data(), nullptr, 128, 128, 0, 0, t.data());
  CO_2vuyFrameChangeGammaSuper(4, 64, b.data(), b.data(), nullptr, 0, 0, 0, 0, t.data());
  EXPECT_TRUE(bz_test::Frames2vuyAgree(a, b, bz_test::ExactBytes()));

  // Rows with gaps: both dispatcher paths convert each row and leave the gaps alone.
  GuardedFrame padded(64, 4, 160);
  for (SInt32 y = 0; y < 4; ++y) std::copy(packed.Row(y), packed.Row(y) + 128, padded.Row(y));
  for (bool super : {false, true}) {
    for (Path path : {Path::kScalar, Path::kAcc}) {
      GuardedFrame p(padded), q(packed);
      const Boolean sse = path == Path::kAcc;
      if (super) {
        CO_2vuyFrameChangeGammaSuperUni(false, sse, 64, 4, p.data(), p.data(), nullptr, 160, 160, 1.8f, 2.2f, t.data());
        CO_2vuyFrameChangeGammaSuperUni(false, sse, 64, 4, q.data(), q.data(), nullptr, 128, 128, 1.8f, 2.2f, t.data());
      } else {
        CO_2vuyFrameChangeGammaUni(false, sse, 4, 64, p.data(), p.data(), nullptr, 160, 160, 1.8f, 2.2f, t.data());
        CO_2vuyFrameChangeGammaUni(false, sse, 4, 64, q.data(), q.data(), nullptr, 128, 128, 1.8f, 2.2f, t.data());
      }
      EXPECT_TRUE(p.CheckGuards()) << super << " " << sse;
      EXPECT_TRUE(bz_test::Frames2vuyAgree(q, p, bz_test::ExactBytes())) << super << " " << sse;
    }
  }
}

TEST(Color2vuyGamma, DispatchersTakeTheSsePathOnlyForMultiplesOf8) {
  BZ_KERNEL_SEED_TRACE();
  const std::vector<UInt16> t = Table(2.2f, 1.8f);
  for (SInt32 width : {720, 718, 721}) {
    GuardedFrame input(width, 2, 2 * (width + 1), 0, 2 * (width + 1));
    bz_test::Fill2vuyRandom(input, 30, 230, 90, 170, bz_test::Rng());
    const SInt32 rb = input.rowBytes();
    for (bool super : {false, true}) {
      GuardedFrame viaUni(input), scalar(input), acc(input);
      if (super) {
        CO_2vuyFrameChangeGammaSuperUni(true, false, width, 2, viaUni.data(), viaUni.data(), nullptr, rb, rb, 2.2f, 1.8f,
                                        t.data());
        CO_2vuyFrameChangeGammaSuper(2, width, scalar.data(), scalar.data(), nullptr, rb, rb, 2.2f, 1.8f, t.data());
      } else {
        CO_2vuyFrameChangeGammaUni(true, false, 2, width, viaUni.data(), viaUni.data(), nullptr, rb, rb, 2.2f, 1.8f,
                                   t.data());
        CO_2vuyFrameChangeGamma(2, width, scalar.data(), scalar.data(), nullptr, rb, rb, 2.2f, 1.8f, t.data());
      }
      const bool sse = (width & 7) == 0;
      if (sse) {
        GuardedFrame packed(width, 2);
        for (SInt32 y = 0; y < 2; ++y) std::copy(input.Row(y), input.Row(y) + 2 * width, packed.Row(y));
        auto accFrame = super ? CO_2vuyFrameChangeGammaSuperAcc : CO_2vuyFrameChangeGammaAcc;
        accFrame(2, width, packed.data(), packed.data(), nullptr, 2.2f, 1.8f);
        for (SInt32 y = 0; y < 2; ++y) std::copy(packed.Row(y), packed.Row(y) + 2 * width, acc.Row(y));
      }
      EXPECT_TRUE(bz_test::Frames2vuyAgree(sse ? acc : scalar, viaUni, bz_test::ExactBytes()))
          << "width " << width << (super ? " Super" : "");
    }
  }
}

TEST(Color2vuyGamma, SuperBrightnessAndContrastLines) {
  std::vector<UInt16> neutral(kCO_RGBTableEntries);
  CO_MakeBrightnessTable(1.0f, neutral.data());
  GuardedFrame f(8, 1);
  GuardedFloats fp(16);
  const UInt8 line[16] = {128, 16, 128, 100, 90, 81, 240, 81, 60, 200, 200, 250, 128, 235, 128, 5};
  std::copy(line, line + 16, f.data());

  // A neutral table and contrast are the identity (luma kept in 1..254 by the packer).
  CO_Change2vuyLineBrightnessSuper(8, f.data(), f.data(), fp.data(), neutral.data());
  EXPECT_TRUE(bz_test::Lines2vuyAgree(line, f.data(), 8, bz_test::WithinBytes(1)));
  std::copy(line, line + 16, f.data());
  CO_Change2vuyLineContrBrSatSuper(8, f.data(), f.data(), fp.data(), 0.0f, 1.0f, neutral.data(), 1.0f);
  EXPECT_TRUE(bz_test::Lines2vuyAgree(line, f.data(), 8, bz_test::WithinBytes(1)));

  // Saturation 0 leaves grey pixels with the input's lumas.
  std::copy(line, line + 16, f.data());
  CO_Change2vuyLineContrBrSatSuper(8, f.data(), f.data(), fp.data(), 0.0f, 1.0f, neutral.data(), 0.0f);
  for (int x = 0; x < 8; ++x) {
    EXPECT_EQ(f.Chroma(x, 0), 128) << x;
    EXPECT_NEAR(f.Luma(x, 0), line[2 * x + 1], 1) << x;
  }

  // A brightening table lifts mid-grey; the contrast step keeps 235 at 235.
  std::vector<UInt16> bright(kCO_RGBTableEntries);
  CO_MakeBrightnessTable(1.5f, bright.data());
  bz_test::Fill2vuyConstant(f, 128, 128, 128);
  f.Luma(7, 0) = 235;
  CO_Change2vuyLineBrightnessSuper(8, f.data(), f.data(), fp.data(), bright.data());
  EXPECT_GT(f.Luma(0, 0), 140);
  EXPECT_NEAR(f.Luma(7, 0), 235, 1);
  EXPECT_TRUE(f.CheckGuards());
  EXPECT_TRUE(fp.CheckGuards());
}

}  // namespace

// Odd widths stay inside the frame, as every other frame operation does: the last pixel is changed as a pair
// of its own (with the Cr before it) and nothing past a row, the frame or the float line is written (the
// guards) or read (AddressSanitizer). The even part is what an even-width run gives. In place and apart, with
// the caller's float line and without.
TEST(Color2vuyGamma, OddWidthsStayInsideTheFrame) {
  BZ_KERNEL_SEED_TRACE();
  const std::vector<UInt16> t = Table(2.2f, 1.8f);
  for (SInt32 width : {1, 3, 17, 719, 721}) {
    for (bool super : {false, true}) {
      for (bool inPlace : {false, true}) {
        SCOPED_TRACE("width " + std::to_string(width) + (super ? " super" : "") + (inPlace ? " in place" : ""));
        const SInt32 height = 3;
        GuardedFrame in(width, height), out(width, height);
        bz_test::Fill2vuyRandom(in, bz_test::Rng());
        const GuardedFrame source(in);
        GuardedFloats line(size_t(width) * 2);
        GuardedFrame &target = inPlace ? in : out;
        auto run = super ? CO_2vuyFrameChangeGammaSuper : CO_2vuyFrameChangeGamma;
        run(height, width, in.data(), target.data(), line.data(), in.rowBytes(), target.rowBytes(), 0, 0, t.data());
        EXPECT_TRUE(target.CheckGuards());
        EXPECT_TRUE(line.CheckGuards());
        auto lineOp = super ? CO_Change2vuyLineGammaSuper : CO_Change2vuyLineGamma;
        std::vector<float> fp(size_t(width + 1) * 2);
        for (SInt32 y = 0; y < height; ++y) {
          std::vector<UInt8> even(source.Row(y), source.Row(y) + 2 * (width - 1));
          if (width > 1) lineOp(width - 1, even.data(), even.data(), fp.data(), t.data());
          EXPECT_TRUE(std::equal(even.begin(), even.end(), target.Row(y))) << "row " << y;
          const UInt8 *last = source.Row(y) + 2 * (width - 1);
          UInt8 pair[4] = {last[0], last[1], width > 1 ? last[-2] : UInt8(128), last[1]};
          lineOp(2, pair, pair, fp.data(), t.data());
          EXPECT_EQ(pair[0], target.Row(y)[2 * (width - 1)]) << "row " << y;
          EXPECT_EQ(pair[1], target.Row(y)[2 * (width - 1) + 1]) << "row " << y;
        }
      }
    }
  }
  // Without a float line of the caller's, a local one serves.
  GuardedFrame a(721, 2);
  bz_test::Fill2vuyRandom(a, bz_test::Rng());
  GuardedFrame b(a);
  GuardedFloats line(721 * 2);
  CO_2vuyFrameChangeGamma(2, 721, a.data(), a.data(), nullptr, a.rowBytes(), a.rowBytes(), 0, 0, t.data());
  CO_2vuyFrameChangeGamma(2, 721, b.data(), b.data(), line.data(), b.rowBytes(), b.rowBytes(), 0, 0, t.data());
  EXPECT_TRUE(bz_test::Frames2vuyAgree(a, b, bz_test::ExactBytes()));
  EXPECT_TRUE(a.CheckGuards());
}
