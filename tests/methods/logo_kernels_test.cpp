// The kernels of logo removal and logo finding on small padded frames: fade numbers and fractions, the
// interpolation's weights, components and sources, diminishing, edge softening, the anti-shimmer median,
// opaque and transparent finding, and the mask read from an image file.
#include "methods/logo_finding.h"
#include "methods/logo_interpolation.h"
#include "methods/logo_mask.h"
#include "methods/logo_removal.h"
#include "methods/logo_stage.h"

#include "support/file_fixtures.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <limits>
#include <vector>

namespace {

using namespace bz_test;

// A run's parameters over padded frames of w x h pixels.
struct LogoFrames {
  BZ_RlSett sett{};
  BZ_RlParams p{};
  LogoFrames(SInt32 w, SInt32 h, Rect rect, bool interlaced = false) {
    BZ_MakeDefaultRlSett(&sett);
    sett.logoRect = rect;
    p.inWidth = w;
    p.inHeight = h;
    p.width = (w + 16 + 7) / 8 * 8;
    p.height = (h + 32 + 15) / 16 * 16;
    p.interlaced = interlaced;
    p.sett = &sett;
    p.logoRect = rect;
    p.numWorkers = 1;
  }
  std::vector<UInt8> Frame(UInt8 chroma, UInt8 luma) const {
    std::vector<UInt8> f(size_t(p.width) * p.height * 2);
    for (size_t i = 0; i < f.size(); i += 2) f[i] = chroma, f[i + 1] = luma;
    return f;
  }
  UInt8 *At(std::vector<UInt8> &f, SInt32 row, SInt32 col) { return BZ_RlPixel(&p, f.data(), row, col); }
};

// ---- Fade ----------------------------------------------------------------------------------------------------

struct FadeCase {
  SInt32 seconds, timeBeforeFade;
  bool fadeStays;
  SInt32 f0, f1, f2, f3;  // at 25 frames per second
};

TEST(LogoFade, FrameNumbersShrinkTheTimeToFitTheMovie) {
  const FadeCase cases[] = {
      {5, 3, true, 25, 50, 100, 75},   // 2T + 3 <= 5 gives T = 1
      {2, 3, false, 0, 0, 0, 0},       // too short for any fade
      {10, 3, true, 75, 100, 175, 150},
      {3, 0, true, 0, 25, 74, 50},  // the frame at the very end is the last one
  };
  for (const FadeCase &c : cases) {
    SCOPED_TRACE(testing::Message() << c.seconds << " s, timeBeforeFade " << c.timeBeforeFade);
    std::vector<TimeValue> times(size_t(c.seconds) * 25);
    for (size_t i = 0; i < times.size(); ++i) times[i] = TimeValue(i * 24);
    BZ_StatMovInfo movie{};
    movie.numFrames = SInt32(times.size());
    movie.timeList = times.data();
    LogoFrames l(64, 48, Rect{8, 8, 20, 20});
    l.sett.fade = true;
    l.sett.timeBeforeFade = c.timeBeforeFade;
    BZ_RlFadeFrameNumbers(&movie, TimeValue(c.seconds) * 600, 600, &l.sett, &l.p);
    EXPECT_EQ(c.fadeStays, bool(l.sett.fade));
    if (!c.fadeStays) continue;
    EXPECT_EQ(c.f0, l.p.lastFrameNumBeforeFadeOut);
    EXPECT_EQ(c.f1, l.p.lastFrameNumOfFadeOut);
    EXPECT_EQ(c.f3, l.p.firstFrameNumOfFadeIn);
    EXPECT_EQ(c.f2, l.p.firstFrameNumAfterFadeIn);
  }
}

TEST(LogoFade, FractionRampsInAndOut) {
  LogoFrames l(64, 48, Rect{8, 8, 20, 20});
  l.sett.fade = true;
  l.p.lastFrameNumBeforeFadeOut = 25, l.p.lastFrameNumOfFadeOut = 50;
  l.p.firstFrameNumOfFadeIn = 75, l.p.firstFrameNumAfterFadeIn = 100;
  const std::pair<SInt32, float> cases[] = {{0, 0.0f},  {24, 0.0f}, {25, 0.0f}, {30, 0.2f}, {50, 1.0f}, {74, 1.0f},
                                            {80, 0.8f}, {100, 0.0f}, {101, 0.0f}};
  for (auto [frame, fraction] : cases) EXPECT_NEAR(fraction, BZ_RlGetFadeFraction(&l.p, frame), 1e-6) << frame;
  l.sett.fade = false;
  EXPECT_EQ(1.0f, BZ_RlGetFadeFraction(&l.p, 0));
}

TEST(LogoFade, FractionNearOneLeavesTheKernelOutputAlone) {
  LogoFrames l(64, 48, Rect{8, 8, 24, 30});
  std::vector<UInt8> in = l.Frame(128, 60), plain(in.size()), faded(in.size());
  for (SInt32 row = 6; row < 26; ++row) l.At(in, row, 20)[1] = UInt8(200 + row);
  std::vector<UInt8> mask(size_t(22 * 16), 1);
  l.p.isMaskPixel = mask.data();
  l.p.numMaskPix = SInt32(mask.size());
  ASSERT_EQ(noErr, BZ_SetupNonTrInterpolation(&l.p, 1));
  l.sett.mode = kBZ_LogoModeInterp;
  BZ_RemoveLogo(&l.p, 0, 0, in.data(), plain.data());
  // 0.99995 of the way up a very long ramp: close enough to 1 to count as the full removal.
  l.sett.fade = true;
  l.p.lastFrameNumBeforeFadeOut = 0, l.p.lastFrameNumOfFadeOut = 20000;
  l.p.firstFrameNumOfFadeIn = 30000, l.p.firstFrameNumAfterFadeIn = 40000;
  BZ_RemoveLogo(&l.p, 0, 19999, in.data(), faded.data());
  EXPECT_EQ(plain, faded);
  BZ_RemoveLogo(&l.p, 0, 19000, in.data(), faded.data());
  EXPECT_NE(plain, faded);
  BZ_RlDisposeInterpolation(&l.p.logoComps, &l.p.numConnectedComps, &l.p.interpWeights);
}

// ---- Interpolation ---------------------------------------------------------------------------------------------

TEST(LogoInterpolation, WeightTableHoldsTheDistanceWeights) {
  const struct {
    SInt32 dv, dh;
    double w;
  } cases[] = {{0, 1, 16.650013}, {1, 1, 10.784038}, {0, 2, 4.605375}, {3, 4, 0.090755}, {0, 5, 0.090755}};
  for (const auto &c : cases) EXPECT_NEAR(c.w, BZ_RlInterpWeight(c.dv, c.dh), 1e-6) << c.dv << "," << c.dh;
  LogoFrames l(64, 48, Rect{8, 8, 16, 18});
  std::vector<UInt8> mask(80, 1);
  l.p.isMaskPixel = mask.data();
  l.p.numMaskPix = 80;
  ASSERT_EQ(noErr, BZ_SetupNonTrInterpolation(&l.p, 1));
  EXPECT_FLOAT_EQ(float(BZ_RlInterpWeight(3, 4)), l.p.interpWeights[3 * 11 + 4]);
  BZ_RlDisposeInterpolation(&l.p.logoComps, &l.p.numConnectedComps, &l.p.interpWeights);
  EXPECT_EQ(nullptr, l.p.logoComps);
}

TEST(LogoInterpolation, ComponentsAreEightConnectedWithTheirBounds) {
  LogoFrames l(64, 48, Rect{10, 20, 18, 30});
  // A diagonal chain (one component), a separate bar, and a lone pixel.
  const char *rows[] = {"X.........", ".X......XX", "..X.......", "..........",
                        "..........", ".....X....", "..........", ".........X"};
  std::vector<UInt8> mask;
  for (const char *row : rows)
    for (const char *c = row; *c != 0; ++c) mask.push_back(*c == 'X');
  l.p.isMaskPixel = mask.data();
  l.p.numMaskPix = 7;
  ASSERT_EQ(noErr, BZ_SetupNonTrInterpolation(&l.p, 2));
  ASSERT_EQ(4, l.p.numConnectedComps);
  const Rect expected[] = {{10, 20, 13, 23}, {11, 28, 12, 30}, {15, 25, 16, 26}, {17, 29, 18, 30}};
  const SInt32 pixels[] = {3, 2, 1, 1};
  SInt32 i = 0;
  for (BZ_RlLogoCompLE *c = l.p.logoComps; c != nullptr; c = c->next, ++i) {
    EXPECT_EQ(expected[i].top, c->bounds.top) << i;
    EXPECT_EQ(expected[i].left, c->bounds.left) << i;
    EXPECT_EQ(expected[i].bottom, c->bounds.bottom) << i;
    EXPECT_EQ(expected[i].right, c->bounds.right) << i;
    EXPECT_EQ(pixels[i], c->numTrgtPix) << i;
    EXPECT_EQ(2, c->numWorkers);
  }
  // The lone pixel's eight neighbours are all sources; none of the others' targets is one.
  EXPECT_EQ(8, l.p.logoComps->next->next->numSrcPix);
  BZ_RlDisposeInterpolation(&l.p.logoComps, &l.p.numConnectedComps, &l.p.interpWeights);
}

// The field-0 lines of an interlaced frame interpolate exactly like a progressive frame made of those lines
// alone: only same-field sources count, at half the row distance.
TEST(LogoInterpolation, InterlacedUsesSameFieldSourcesAtHalfTheRowDistance) {
  LogoFrames il(64, 64, Rect{16, 12, 32, 26}, true);
  LogoFrames pr(64, 32, Rect{8, 12, 16, 26});
  std::vector<UInt8> fi = il.Frame(128, 0), fp = pr.Frame(128, 0);
  std::mt19937 rng(7);
  for (SInt32 row = 0; row < 32; ++row)
    for (SInt32 col = 0; col < 64; ++col) {
      const UInt8 c = UInt8(rng() % 256), y = UInt8(rng() % 256);
      UInt8 *a = il.At(fi, 2 * row, col), *b = pr.At(fp, row, col);
      a[0] = b[0] = c, a[1] = b[1] = y;
      il.At(fi, 2 * row + 1, col)[1] = UInt8(rng() % 256);  // the other field: anything
    }
  std::vector<UInt8> mi(16 * 14, 1), mp(8 * 14, 1);
  il.p.isMaskPixel = mi.data(), il.p.numMaskPix = SInt32(mi.size());
  pr.p.isMaskPixel = mp.data(), pr.p.numMaskPix = SInt32(mp.size());
  ASSERT_EQ(noErr, BZ_SetupNonTrInterpolation(&il.p, 1));
  ASSERT_EQ(noErr, BZ_SetupNonTrInterpolation(&pr.p, 1));
  BZ_RlKillLogoUsingNonTrMask(&il.p, 0, fi.data());
  BZ_RlKillLogoUsingNonTrMask(&pr.p, 0, fp.data());
  for (SInt32 row = 8; row < 16; ++row)
    for (SInt32 col = 12; col < 26; ++col) {
      ASSERT_EQ(pr.At(fp, row, col)[1], il.At(fi, 2 * row, col)[1]) << row << "," << col;
      ASSERT_EQ(pr.At(fp, row, col)[0], il.At(fi, 2 * row, col)[0]) << row << "," << col;
    }
  BZ_RlDisposeInterpolation(&il.p.logoComps, &il.p.numConnectedComps, &il.p.interpWeights);
  BZ_RlDisposeInterpolation(&pr.p.logoComps, &pr.p.numConnectedComps, &pr.p.interpWeights);
}

TEST(LogoInterpolation, SourceBetweenTwoMaskPixelsTakesNeutralChroma) {
  LogoFrames l(64, 48, Rect{10, 10, 18, 20});
  std::vector<UInt8> f = l.Frame(200, 90);
  std::vector<UInt8> mask(80, 1);
  mask[3 * 10 + 5] = 0;  // a hole at (13, 15): both horizontal neighbours are mask pixels
  l.p.isMaskPixel = mask.data();
  l.p.numMaskPix = 79;
  ASSERT_EQ(noErr, BZ_SetupNonTrInterpolation(&l.p, 1));
  BZ_RlKillLogoUsingNonTrMask(&l.p, 0, f.data());
  const BZ_RlLogoCompLE *c = l.p.logoComps;
  bool seen = false;
  for (SInt32 s = 0; s < c->numSrcPix; ++s) {
    const BZ_RlLogoSrcPixel &sp = c->srcPix[0][s];
    if (c->bounds.top + sp.v != 13 || c->bounds.left + sp.h != 15) continue;
    seen = true;
    EXPECT_EQ(200.0f, sp.cr);  // column 15 carries Cr itself
    EXPECT_EQ(128.0f, sp.cb);
  }
  EXPECT_TRUE(seen);
  // A source outside the rectangle takes its neighbour's chroma.
  EXPECT_EQ(200.0f, c->srcPix[0][0].cb);
  EXPECT_EQ(200.0f, c->srcPix[0][0].cr);
  BZ_RlDisposeInterpolation(&l.p.logoComps, &l.p.numConnectedComps, &l.p.interpWeights);
}

// ---- Diminish and softening ------------------------------------------------------------------------------------

TEST(LogoDiminish, ClampsLumaAndKeepsChromaOfDarkPixels) {
  LogoFrames l(64, 48, Rect{10, 10, 20, 22});
  l.sett.mode = kBZ_LogoModeDiminish;
  std::vector<UInt8> in = l.Frame(128, 100);
  // Chroma around the logo spans 100 .. 160 for both kinds, luma 100 .. 120.
  for (SInt32 row = 6; row < 26; ++row)
    for (SInt32 col = 4; col < 30; ++col) {
      UInt8 *p = l.At(in, row, col);
      p[0] = UInt8(100 + (row * 7 + col * 3) % 61);
      p[1] = UInt8(100 + (row + col) % 21);
    }
  UInt8 *dark = l.At(in, 15, 15), *bright = l.At(in, 15, 16), *mid = l.At(in, 16, 15);
  dark[0] = 150, dark[1] = 30;
  bright[0] = 150, bright[1] = 220;
  mid[0] = 150, mid[1] = 60;
  std::vector<UInt8> ys(64), cbs(64), crs(64);
  BZ_RlEdgeRange range{};
  BZ_RlFindLogoEdgeColors(&l.p, 0, in.data(), ys.data(), cbs.data(), crs.data(), &range);
  ASSERT_GT(range.minY, 80);
  ASSERT_LT(range.minCb, 150);
  ASSERT_GT(range.maxCb, 150);
  ASSERT_LT(range.minCr, 130);
  ASSERT_GT(range.maxCr, 140);
  std::vector<UInt8> out(in);
  std::vector<UInt8 *> yv{ys.data()}, cbv{cbs.data()}, crv{crs.data()};
  l.p.yValues = yv.data(), l.p.cbValues = cbv.data(), l.p.crValues = crv.data();
  BZ_RlDiminishLogo(&l.p, 0, in.data(), out.data());
  EXPECT_EQ(range.minY, l.At(out, 15, 15)[1]);
  EXPECT_EQ(150, l.At(out, 15, 15)[0]) << "luma 30 keeps its chroma";
  EXPECT_EQ(range.maxY, l.At(out, 15, 16)[1]);
  const SInt32 scaled = 128 + SInt32(float(range.maxY) / 220.0f * 22.0f);
  EXPECT_EQ(std::clamp(scaled, range.minCr, range.maxCr), l.At(out, 15, 16)[0]);
  EXPECT_EQ(std::clamp(128 + SInt32(float(range.minY) / 60.0f * 22.0f), range.minCr, range.maxCr), l.At(out, 16, 15)[0]);
  // Outside the rectangle nothing changed.
  EXPECT_EQ(0, std::memcmp(l.At(in, 9, 0), l.At(out, 9, 0), 64 * 2));
}

TEST(LogoDiminish, EdgesAreSoftenedWithTheirNeighbours) {
  // Pixels -2 .. 5 of a line of a four-pixel logo: chroma and luma bytes.
  UInt8 line[16] = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130, 140, 150, 160};
  BZ_RlSoftenVertEdge(line + 4, 4);
  const UInt8 expected[16] = {10, 20, 30, 40, (50 + 10) / 2, (60 + 40) / 2, (70 + 30) / 2, (80 + 50) / 2,
                              (90 + 130) / 2, (100 + 130) / 2, (110 + 150) / 2, (120 + 140) / 2, 130, 140, 150, 160};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(expected[i], line[i]) << i;
  UInt8 a[4] = {0, 255, 100, 7}, b[4] = {255, 255, 101, 0};
  BZ_RlSoftenHorizEdge(a, b, 2);
  EXPECT_EQ(127, a[0]);
  EXPECT_EQ(255, a[1]);
  EXPECT_EQ(100, a[2]);
  EXPECT_EQ(3, a[3]);
}

// ---- Anti-shimmer ----------------------------------------------------------------------------------------------

TEST(LogoAntiShimmer, MedianOfThreeLeavesFirstAndLastFrameAlone) {
  LogoFrames l(32, 24, Rect{4, 4, 12, 14});
  std::vector<UInt8> saved(6 * 80);
  l.p.savedLogos = saved.data();
  const UInt8 lumas[4] = {10, 200, 30, 90};
  std::vector<std::vector<UInt8>> frames;
  for (UInt8 y : lumas) frames.push_back(l.Frame(128, y));
  for (SInt32 n = 0; n < 4; ++n) {
    BZ_RlProcParams item{&l.p, false, false, nullptr, nullptr, nullptr, frames[size_t(n)].data(), 0};
    BZ_LogoAntiShimmerFilter(n > 0 ? frames[size_t(n - 1)].data() : nullptr, n, &item);
  }
  EXPECT_EQ(10, l.At(frames[0], 5, 5)[1]);
  EXPECT_EQ(30, l.At(frames[1], 5, 5)[1]);  // median(10, 200, 30)
  EXPECT_EQ(90, l.At(frames[2], 5, 5)[1]);  // median(200, 30, 90) of the unfiltered values
  EXPECT_EQ(90, l.At(frames[3], 5, 5)[1]);
  EXPECT_EQ(200, l.At(frames[1], 0, 0)[1]) << "outside the rectangle";
}

// ---- Finding ---------------------------------------------------------------------------------------------------

TEST(LogoFinding, OpaquePixelsLeaveTheMaskWhenDarkOrVarying) {
  LogoFrames l(32, 24, Rect{4, 4, 8, 12});
  std::vector<UInt8> mask(32, 1);
  UInt8 *lists = BZ_RlAllocateAndInit10MinMaxColors(32);
  std::vector<UInt8 *> yv{lists};
  l.p.yValues = yv.data();
  l.p.isMaskPixel = mask.data();
  l.p.numMaskPix = 32;
  // Pixel 0 dips to 79 once; pixel 1 varies by 71; pixel 2 by 70; the rest stay at 200.
  const UInt8 seq[3][4] = {{200, 200, 79, 200}, {150, 221, 180, 160}, {150, 220, 180, 160}};
  for (int s = 0; s < 4; ++s) {
    std::vector<UInt8> f = l.Frame(128, 200);
    for (int i = 0; i < 3; ++i) l.At(f, 4, 4 + i)[1] = seq[i][s];
    BZ_DlgTaskInput input{};
    input.inBuffer = f.data();
    BZ_FindNonTrLogo(&l.p, &input);
  }
  EXPECT_EQ(0, mask[0]);
  EXPECT_EQ(0, mask[1]);
  EXPECT_EQ(1, mask[2]);
  EXPECT_EQ(30, l.p.numMaskPix);
  std::free(lists);
}

// Transparent finding over uniform backgrounds: a 30 % white logo on the left half of the rectangle.
struct TrFinding {
  LogoFrames l{48, 40, Rect{10, 10, 20, 22}};
  std::vector<BZ_RlUnifFrame> unif = std::vector<BZ_RlUnifFrame>(10);
  std::vector<UInt8> logos = std::vector<UInt8>(10 * 120 * 2);
  TrFinding() {
    l.p.unifFrames = unif.data();
    l.p.logosPtr = logos.data();
    for (int k = 0; k < 5; ++k) unif[size_t(k)].avY = std::numeric_limits<float>::infinity();
  }
  void Sample(UInt8 background, bool ringNoise = false) {
    std::vector<UInt8> f = l.Frame(110, background);
    for (SInt32 row = 10; row < 20; ++row)
      for (SInt32 col = 10; col < 16; ++col) l.At(f, row, col)[1] = UInt8(0.7 * background + 0.3 * 235);
    if (ringNoise)
      for (SInt32 col = 8; col < 24; col += 2) l.At(f, 8, col)[1] = UInt8(background > 128 ? 0 : 255);
    BZ_DlgTaskInput input{};
    input.inBuffer = f.data();
    BZ_FindTrLogo(&l.p, &input);
  }
};

TEST(LogoFinding, TransparentSamplesNeedAUniformRingAndSpread) {
  TrFinding t;
  t.Sample(120, true);
  EXPECT_EQ(0, t.l.p.numUnifFrames) << "a ring deviation of 12 or more changes nothing";
  EXPECT_TRUE(std::isinf(t.unif[0].avY));
  // diff = avY(5) - avY(4) against 23.5, 70.5 and 117.5.
  const struct {
    UInt8 dark, bright;
    bool sufficient, good, veryGood;
  } cases[] = {{100, 123, false, false, false}, {100, 124, true, false, false}, {60, 131, true, true, false},
               {40, 158, true, true, true}};
  for (const auto &c : cases) {
    TrFinding u;
    for (int i = 0; i < 5; ++i) u.Sample(c.dark), u.Sample(c.bright);
    EXPECT_EQ(c.sufficient, bool(u.l.p.sufficientData)) << int(c.dark) << "/" << int(c.bright);
    EXPECT_EQ(c.good, bool(u.l.p.goodData)) << int(c.dark) << "/" << int(c.bright);
    EXPECT_EQ(c.veryGood, bool(u.l.p.veryGoodData)) << int(c.dark) << "/" << int(c.bright);
  }
}

TEST(LogoFinding, TransparentMaskTransparencyAndLogoColours) {
  for (bool allWhite : {false, true}) {
    TrFinding t;
    const UInt8 backgrounds[10] = {30, 40, 50, 60, 70, 160, 170, 180, 190, 200};
    for (UInt8 b : backgrounds) t.Sample(b);
    ASSERT_TRUE(t.l.p.sufficientData);
    std::vector<UInt8> mask(120), colours(240);
    t.l.p.isMaskPixel = mask.data();
    t.l.p.logoPixels = colours.data();
    t.l.sett.findMask = true;
    t.l.sett.allWhite = allWhite;
    SInt32 n = 0;
    ASSERT_EQ(noErr, BZ_RlTrGetLogoMask(&t.l.p, &n));
    EXPECT_EQ(60, n);
    for (SInt32 row = 0; row < 10; ++row)
      for (SInt32 col = 0; col < 12; ++col) EXPECT_EQ(col < 6, mask[size_t(row * 12 + col)] != 0) << row << "," << col;
    EXPECT_NEAR(0.7, t.l.sett.transparency, 0.01);
    // Luma: the rounded mean of (Y - t avY) / (1 - t) over the ten copies.
    const double tr = t.l.sett.transparency;
    double sum = 0;
    for (UInt8 b : backgrounds) sum += (UInt8(0.7 * b + 0.3 * 235) - tr * b) / (1 - tr);
    EXPECT_EQ(SInt32((std::clamp(sum, 0.0, 2550.0) + 5) / 10), colours[1]);
    EXPECT_EQ(allWhite ? 128 : 110, colours[0]);
  }
}

TEST(LogoFinding, NoCandidateEndsLikeTooLittleData) {
  TrFinding t;
  for (UInt8 b : {30, 40, 50, 60, 70, 160, 170, 180, 190, 200}) {
    std::vector<UInt8> f = t.l.Frame(128, b);  // no logo at all: every ratio is 1
    BZ_DlgTaskInput input{};
    input.inBuffer = f.data();
    BZ_FindTrLogo(&t.l.p, &input);
  }
  std::vector<UInt8> mask(120), colours(240);
  t.l.p.isMaskPixel = mask.data();
  t.l.p.logoPixels = colours.data();
  t.l.sett.findMask = true;
  SInt32 n = -1;
  EXPECT_EQ(kBZ_CouldNotMeasureTrLogoErr, BZ_RlTrGetLogoMask(&t.l.p, &n));
  EXPECT_EQ(0, n);
}

TEST(LogoFinding, LogoColoursSurviveTransparencyAtItsBounds) {
  TrFinding t;
  for (UInt8 b : {30, 40, 50, 60, 70, 160, 170, 180, 190, 200}) t.Sample(b);
  std::vector<UInt8> mask(120, 1), colours(240);
  for (double perc : {0.0, 1.0}) {
    BZ_RlTrCalcLogoPixels(t.logos.data(), 10, 10, 12, t.unif.data(), mask.data(), perc, colours.data());
    for (UInt8 c : colours) EXPECT_LE(c, 255);
  }
  // Measured over a mask of background pixels only, the ratio is 1 or more: the setting stays in range.
  t.l.sett.findMask = false;
  t.l.p.isMaskPixel = mask.data();
  t.l.p.logoPixels = colours.data();
  t.l.p.numMaskPix = 120;
  std::fill(mask.begin(), mask.end(), 0);
  for (SInt32 row = 0; row < 10; ++row) std::fill_n(mask.begin() + row * 12 + 6, 6, UInt8(1));
  for (size_t p = 0; p < 120; ++p) t.logos[5 * 240 + 2 * p + 1] = UInt8(t.logos[5 * 240 + 2 * p + 1] + 10);
  SInt32 n = 0;
  ASSERT_EQ(noErr, BZ_RlTrGetLogoMask(&t.l.p, &n));
  EXPECT_LE(t.l.sett.transparency, 1.0);
  BZ_RlSett stored = t.l.sett;
  EXPECT_TRUE(BZ_RlValidateSett(&stored, false));
  std::fill(mask.begin(), mask.end(), 1);
  // Un-blending at t = 0 must not divide by zero either.
  std::vector<UInt8> in = t.l.Frame(128, 100), out(in);
  t.l.sett.transparency = 0.0;
  t.l.p.isMaskPixel = mask.data();
  t.l.p.logoPixels = colours.data();
  BZ_RlKillTransparentLogo(&t.l.p, in.data(), out.data());
  EXPECT_EQ(100, t.l.At(out, 12, 12)[1]);
}

TEST(LogoFinding, EarlierMaskFormFindsTheLogoOnPairedBackgrounds) {
  // Five dark backgrounds at 50 and five bright ones at 150: every pair differs by 100.
  std::vector<BZ_RlUnifFrame> unif(10);
  std::vector<UInt8> logos(10 * 4 * 2);
  for (int k = 0; k < 10; ++k) {
    const float bg = k < 5 ? 50.0f : 150.0f;
    unif[size_t(k)].avY = bg;
    for (int p = 0; p < 4; ++p) logos[size_t(k) * 8 + size_t(p) * 2 + 1] = UInt8(p < 2 ? 0.7f * bg + 70.5f : bg);
  }
  std::vector<UInt8> mask(4);
  SInt32 n = 0;
  double perc = 0;
  ASSERT_TRUE(BZ_RlTrCalcMaskAndPerc(logos.data(), 2, 2, unif.data(), mask.data(), &n, &perc));
  EXPECT_EQ(2, n);
  EXPECT_EQ((std::vector<UInt8>{1, 1, 0, 0}), mask);
  EXPECT_NEAR(0.7, perc, 0.01);
}

TEST(LogoFindingHelpers, NeighboursBackgroundsAndSourceWindows) {
  const Point at{20, 30};
  const struct {
    SInt32 i;
    Point loc, eo;
  } neighbours[] = {{0, {19, 29}, {18, 29}}, {2, {19, 31}, {18, 31}}, {3, {20, 29}, {20, 29}}, {4, {20, 31}, {20, 31}},
                    {5, {21, 29}, {22, 29}}, {7, {21, 31}, {22, 31}}, {8, {10000, 10000}, {0, 0}},
                    {-1, {10000, 10000}, {0, 0}}};
  for (const auto &c : neighbours) {
    const Point loc = BZ_RlNeighborNumToLoc(at, c.i), eo = BZ_RlNeighborNumToLocEO(at, c.i);
    EXPECT_EQ(c.loc.v, loc.v) << c.i;
    EXPECT_EQ(c.loc.h, loc.h) << c.i;
    EXPECT_EQ(c.eo.v, eo.v) << c.i;
    EXPECT_EQ(c.eo.h, eo.h) << c.i;
  }
  BZ_RlUnifFrame dark{10, 0, 0, 1}, bright{200, 0, 0, 2};
  EXPECT_EQ(-1, BZ_RlCompareUnifFrame(&dark, &bright));
  EXPECT_EQ(1, BZ_RlCompareUnifFrame(&bright, &dark));
  EXPECT_EQ(0, BZ_RlCompareUnifFrame(&dark, &dark));

  // A 20 x 20 logo: at its corner a 5 x 5 window already holds 16 outside pixels, 7 x 7 holds 33.
  Rect f{};
  BZ_RlGetSrcFrame(0, 0, 7, 20, 20, 1, &f);
  EXPECT_EQ(-1, f.top);
  EXPECT_EQ(-1, f.left);
  EXPECT_EQ(4, f.bottom);
  EXPECT_EQ(4, f.right);
  BZ_RlGetSrcFrame(1, 5, 9, 20, 20, 2, &f);  // rows 1 - 8 .. 1 + 8, two apart: clipped to -1 (same parity)
  EXPECT_EQ(-1, f.top);
  EXPECT_EQ(10, f.bottom);
  std::vector<UInt8> all(400, 1), none(400, 0);
  const struct {
    const UInt8 *mask;
    SInt32 i, j, size;
  } windows[] = {
      {all.data(), 0, 0, 31},  // only the row above and the column left count: 16 + 15 at 29, 17 + 16 at 31
      {none.data(), 10, 10, 7},  // every pixel a source: 25 at 5, 49 at 7
      {nullptr, 10, 10, 21},     // without a mask only the outside: none up to 19, the row and column below at 21
  };
  for (const auto &w : windows)
    EXPECT_EQ(w.size, BZ_GetSourceFrameSize(w.mask, w.i, w.j, 20, 20, 1)) << w.i << "," << w.j;
  // One field of an 8 x 8 logo has only 28 sources around it: the window stops once the frame stops it (the
  // full frame at 11, unchanged at 13).
  std::vector<UInt8> small(64, 1);
  EXPECT_EQ(13, BZ_GetSourceFrameSize(small.data(), 4, 4, 8, 8, 2));
}

// ---- Mask images -----------------------------------------------------------------------------------------------

// A 24-bit BMP of w x h white pixels with the given black ones.
void WriteBmp(const std::string &path, int w, int h, const std::vector<std::pair<int, int>> &black) {
  const int rowBytes = (w * 3 + 3) / 4 * 4, size = 54 + rowBytes * h;
  std::vector<UInt8> b(size_t(size), 0);
  auto le = [&](int at, UInt32 v, int n) {
    for (int i = 0; i < n; ++i) b[size_t(at + i)] = UInt8(v >> (8 * i));
  };
  b[0] = 'B', b[1] = 'M';
  le(2, UInt32(size), 4), le(10, 54, 4), le(14, 40, 4), le(18, UInt32(w), 4), le(22, UInt32(h), 4), le(26, 1, 2);
  le(28, 24, 2), le(34, UInt32(rowBytes * h), 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      bool isBlack = false;
      for (auto [bx, by] : black) isBlack |= bx == x && by == y;
      // Near-white noise (within 7 levels) stays white.
      const UInt8 v = isBlack ? 0 : UInt8(250 + (x + y) % 6);
      for (int c = 0; c < 3; ++c) b[size_t(54 + (h - 1 - y) * rowBytes + x * 3 + c)] = v;
    }
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(b.data()), std::streamsize(b.size()));
}

TEST(LogoMaskImage, NonWhitePixelsFormTheMask) {
  TempDir dir;
  BZ_RlDlgTaskData *data = nullptr;
  ASSERT_EQ(noErr, BZ_RlInitDlgTaskData(&data));
  WriteBmp(dir.File("one.bmp"), 20, 10, {{7, 3}});
  FSRef one = RefFor(dir.File("one.bmp"));
  ASSERT_EQ(noErr, BZ_RlCheckMask(data, &one));
  EXPECT_EQ(1, data->numMaskPix);
  EXPECT_EQ(3, data->logoRectInPic.top);
  EXPECT_EQ(7, data->logoRectInPic.left);
  EXPECT_EQ(4, data->logoRectInPic.bottom);
  EXPECT_EQ(8, data->logoRectInPic.right);
  EXPECT_EQ(10, data->logoPicBounds.bottom);
  EXPECT_EQ(20, data->logoPicBounds.right);
  ASSERT_NE(nullptr, data->isMaskPixel);
  EXPECT_EQ(1, data->isMaskPixel[0]);
  // Placed at the bottom right of a 64 x 48 frame.
  Rect placed{};
  BZ_RlMaskRectAtAnchor(data, 2, 48, 64, &placed);
  EXPECT_EQ(41, placed.top);
  EXPECT_EQ(51, placed.left);

  // An all-white image, a missing file and a damaged one keep the mask there is.
  WriteBmp(dir.File("white.bmp"), 20, 10, {});
  FSRef white = RefFor(dir.File("white.bmp"));
  EXPECT_EQ(kBZ_LogoEmptyErr, BZ_RlCheckMask(data, &white));
  WriteBmp(dir.File("gone.bmp"), 4, 4, {{1, 1}});
  FSRef gone = RefFor(dir.File("gone.bmp"));
  std::remove(dir.File("gone.bmp").c_str());
  EXPECT_EQ(kBZ_AuxFileNotFoundErr, BZ_RlCheckMask(data, &gone));
  WriteText(dir.File("bad.bmp"), "BM\x10\x00garbage");
  FSRef bad = RefFor(dir.File("bad.bmp"));
  const OSStatus badErr = BZ_RlCheckMask(data, &bad);
  EXPECT_NE(noErr, badErr);
  EXPECT_EQ(1, data->numMaskPix);
  EXPECT_EQ(7, data->logoRectInPic.left);
  BZ_RlDisposeDlgTaskData(&data);
}

}  // namespace
