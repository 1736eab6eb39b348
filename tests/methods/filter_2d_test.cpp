// The two-dimensional spectral noise filter: exact values, rounding, geometry and coverage, an independent
// double-precision oracle, and the SSE path against the scalar one.
#include "methods/filter_2d.h"

#include "methods/line_filters.h"
#include "rn_test_params.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using bz_test::GuardedBuffer;
using bz_test::RnTestParams;

enum class Path { kScalar, kAcc };

const char *Name(Path p) { return p == Path::kScalar ? "BZ_Rn2DFilter" : "BZ_Rn2DFilterAcc"; }

void RunFilter(Path path, const BZ_RnParams *p, const UInt8 *in, UInt8 *out) {
  if (path == Path::kScalar)
    BZ_Rn2DFilter(p, in, out);
  else
    BZ_Rn2DFilterAcc(p, in, out);
}

// Every model value of the two-dimensional filter, per channel, for the groups and for the first row and
// column.
void SetModel(BZ_RnParams *p, float y, float c, float yAdd, float cAdd) {
  std::fill_n(p->nn2D[0], 64, y);
  std::fill_n(p->nn2D[1], 16, c);
  std::fill_n(p->nn2D[2], 16, c);
  std::fill_n(p->nn2Dadd[0], 16, yAdd);
  std::fill_n(p->nn2Dadd[1], 8, cAdd);
  std::fill_n(p->nn2Dadd[2], 8, cAdd);
}

// A model shaped like the random tables (more power at high frequencies), at roughly amplitude 39.
void SetShapedModel(BZ_RnParams *p) {
  for (int a = 0; a < 8; ++a)
    for (int b = 0; b < 8; ++b) p->nn2D[0][8 * a + b] = 8000.0f + 900.0f * float(a + b);
  for (int c = 1; c < 3; ++c)
    for (int i = 0; i < 16; ++i) p->nn2D[c][i] = 1200.0f + 150.0f * float(i % 4 + i / 4);
  for (int i = 0; i < 16; ++i) p->nn2Dadd[0][i] = 2500.0f + 200.0f * float(i % 8);
  for (int c = 1; c < 3; ++c)
    for (int i = 0; i < 8; ++i) p->nn2Dadd[c][i] = 600.0f + 80.0f * float(i % 4);
}

bool InPicture(const BZ_RnParams &p, SInt32 y, SInt32 byte) {
  const SInt32 f = p.interlaced ? 2 : 1;
  if (y < 8 * f || y >= p.inHeight + 8 * f) return false;
  const SInt32 pixel = byte / 2;
  if (byte & 1) return pixel >= 8 && pixel < p.inWidth + 8;
  const SInt32 pair = byte / 4;  // chroma of a pair with a picture pixel
  return 2 * pair + 1 >= 8 && 2 * pair < p.inWidth + 8;
}

// Input frame and guarded output frame cleared to 0, a value the filter never writes (it clamps to 1 .. 254).
struct Frames {
  explicit Frames(const BZ_RnParams &p)
      : rowBytes(2 * p.width), height(p.height), in(size_t(rowBytes) * height), out(size_t(rowBytes) * height) {
    Clear();
  }
  void Clear() { std::memset(out.data(), 0, out.size()); }
  UInt8 &In(SInt32 y, SInt32 b) { return in.data()[size_t(y) * rowBytes + b]; }
  UInt8 Out(SInt32 y, SInt32 b) const { return out.data()[size_t(y) * rowBytes + b]; }
  SInt32 rowBytes, height;
  GuardedBuffer in;
  GuardedBuffer out;
};

using Pattern = std::function<UInt8(SInt32 y, SInt32 b, std::mt19937 &)>;

void Fill(Frames *fr, const Pattern &pattern) {
  std::mt19937 rng(bz_test::TestSeed());
  for (SInt32 y = 0; y < fr->height; ++y)
    for (SInt32 b = 0; b < fr->rowBytes; ++b) fr->In(y, b) = pattern(y, b, rng);
}

// Counts picture bytes different from expected(y, b) and bytes outside the picture that were written.
::testing::AssertionResult PictureMatches(const BZ_RnParams &p, const Frames &fr,
                                          const std::function<int(SInt32, SInt32)> &expected) {
  int wrong = 0, outside = 0;
  ::testing::AssertionResult result = ::testing::AssertionSuccess();
  for (SInt32 y = 0; y < fr.height; ++y)
    for (SInt32 b = 0; b < fr.rowBytes; ++b) {
      if (!InPicture(p, y, b)) {
        if (fr.Out(y, b) != 0 && outside++ == 0) result = ::testing::AssertionFailure() << "line " << y << ", byte " << b << " outside the picture written; ";
        continue;
      }
      const int e = expected(y, b);
      if (fr.Out(y, b) != e && wrong++ == 0)
        result = ::testing::AssertionFailure() << "line " << y << ", byte " << b << " is " << int(fr.Out(y, b))
                                               << ", expected " << e << "; ";
    }
  if (!fr.out.CheckGuards()) return ::testing::AssertionFailure() << "guard bytes written";
  if (wrong == 0 && outside == 0) return ::testing::AssertionSuccess();
  return result << wrong << " wrong, " << outside << " outside";
}

// ---- Exact values ----------------------------------------------------------------------------------------------

TEST(Rn2DFilter, ConstantFrameComesOutUnchanged) {
  for (Path path : {Path::kScalar, Path::kAcc})
    for (bool interlaced : {false, true})
      for (UInt8 value : {UInt8(1), UInt8(77), UInt8(128), UInt8(254)}) {
        RnTestParams t(64, 48, interlaced);
        SetShapedModel(&t.params);
        Frames fr(t.params);
        Fill(&fr, [value](SInt32, SInt32, std::mt19937 &) { return value; });
        RunFilter(path, &t.params, fr.in.data(), fr.out.data());
        EXPECT_TRUE(PictureMatches(t.params, fr, [value](SInt32, SInt32) { return value; }))
            << Name(path) << (interlaced ? " interlaced" : "") << " value " << int(value);
      }
}

TEST(Rn2DFilter, ZeroModelRebuildsTheInputClampedTo1To254) {
  // Gains 1 everywhere: every sample is rebuilt, 0 and 255 (also single ones in a flat area) come out 1 and
  // 254.
  struct Case {
    const char *name;
    Pattern pattern;
  };
  const Case cases[] = {
      {"random", [](SInt32, SInt32, std::mt19937 &rng) { return UInt8(rng() % 256); }},
      {"flat with 0 and 255 dots",
       [](SInt32 y, SInt32 b, std::mt19937 &) { return UInt8(y % 11 == 3 && b % 13 == 1 ? (b % 2 ? 255 : 0) : 100); }},
      {"saturated blocks", [](SInt32 y, SInt32 b, std::mt19937 &) { return UInt8(((y / 6 + b / 10) % 2) ? 255 : 0); }},
  };
  for (const Case &c : cases)
    for (Path path : {Path::kScalar, Path::kAcc}) {
      RnTestParams t(64, 48);
      SetModel(&t.params, 0, 0, 0, 0);
      Frames fr(t.params);
      Fill(&fr, c.pattern);
      RunFilter(path, &t.params, fr.in.data(), fr.out.data());
      EXPECT_TRUE(PictureMatches(t.params, fr, [&](SInt32 y, SInt32 b) { return std::clamp<int>(fr.In(y, b), 1, 254); }))
          << Name(path) << ", " << c.name;
    }
}

TEST(Rn2DFilter, DotsOf0And255InAFlatAreaStayWithin1To254UnderAStrongModel) {
  for (Path path : {Path::kScalar, Path::kAcc}) {
    RnTestParams t(64, 48);
    SetShapedModel(&t.params);
    Frames fr(t.params);
    Fill(&fr, [](SInt32 y, SInt32 b, std::mt19937 &) { return UInt8(y % 9 == 4 && b % 11 == 3 ? (b % 4 == 1 ? 255 : 0) : 128); });
    RunFilter(path, &t.params, fr.in.data(), fr.out.data());
    int low = 255, high = 0;
    for (SInt32 y = 0; y < fr.height; ++y)
      for (SInt32 b = 0; b < fr.rowBytes; ++b)
        if (InPicture(t.params, y, b)) {
          low = std::min<int>(low, fr.Out(y, b));
          high = std::max<int>(high, fr.Out(y, b));
        }
    EXPECT_GE(low, 1) << Name(path);
    EXPECT_LE(high, 254) << Name(path);
  }
}

TEST(Rn2DFilter, HalvesRoundDownInTheScalarAndToEvenInTheSsePath) {
  // A luma checkerboard of v and v + 1 under a model that removes every non-constant coefficient: each luma
  // group comes out at v + 0.5 exactly (the windowed sum of the checkerboard is 0, the mean v + 0.5).
  struct Case {
    UInt8 v;
    int scalar, acc;
  };
  const Case cases[] = {{11, 11, 12}, {10, 10, 10}};
  for (const Case &c : cases)
    for (Path path : {Path::kScalar, Path::kAcc}) {
      RnTestParams t(48, 32);
      SetModel(&t.params, 1e12f, 1e12f, 1e12f, 1e12f);
      Frames fr(t.params);
      Fill(&fr, [&](SInt32 y, SInt32 b, std::mt19937 &) { return UInt8(b & 1 ? c.v + ((y + b / 2) & 1) : 128); });
      RunFilter(path, &t.params, fr.in.data(), fr.out.data());
      const int expected = path == Path::kScalar ? c.scalar : c.acc;
      EXPECT_TRUE(PictureMatches(t.params, fr, [&](SInt32, SInt32 b) { return b & 1 ? expected : 128; }))
          << Name(path) << ": " << int(c.v) << ".5";
    }
}

// ---- Geometry ---------------------------------------------------------------------------------------------------

// The filter of one group computed from the formulas in double precision, straight from the bases: the
// block minus its mean, S = M B M^T, group and first-row/column gains, the centre of M^-1-reduced inverse.
template <int N>
void ReferenceGroup(const BZ_RnParams &p, int channel, const double *block, double out[4]) {
  const float *M = N == 16 ? p.M16 : p.M8, *Minv = N == 16 ? p.M16inv : p.M8inv;
  double m = 0;
  for (int i = 0; i < N * N; ++i) m += block[i];
  m /= N * N;
  std::vector<double> S(N * N, 0.0);
  for (int u = 0; u < N; ++u)
    for (int v = 0; v < N; ++v)
      for (int i = 0; i < N; ++i)
        for (int s = 0; s < N; ++s) S[u * N + v] += M[u * N + i] * M[v * N + s] * (block[i * N + s] - m);
  const double dc = S[0];
  std::vector<double> G(S);
  auto gain = [](double power, double noise) { return std::max(power - noise, 0.0) / std::max(power, 1.0 / 65536); };
  for (int a = 0; a < N / 2; ++a)
    for (int b = 0; b < N / 2; ++b) {
      double power = 0;
      for (int du = 0; du < 2; ++du)
        for (int dv = 0; dv < 2; ++dv) {
          const int u = 2 * a + du, v = 2 * b + dv;
          if (u != 0 && v != 0) power += S[u * N + v] * S[u * N + v];
        }
      const double g = gain(power, p.nn2D[channel][(N / 2) * a + b]);
      for (int du = 0; du < 2; ++du)
        for (int dv = 0; dv < 2; ++dv) {
          const int u = 2 * a + du, v = 2 * b + dv;
          if (u != 0 && v != 0) G[u * N + v] = S[u * N + v] * g;
        }
    }
  for (int bin = 0; bin < N / 2; ++bin) {
    const double r0 = bin == 0 ? 0 : S[2 * bin], r1 = S[2 * bin + 1];
    const double gr = gain(r0 * r0 + r1 * r1, p.nn2Dadd[channel][bin]);
    G[2 * bin] = r0 * gr;
    G[2 * bin + 1] = r1 * gr;
    const double c0 = bin == 0 ? 0 : S[2 * bin * N], c1 = S[(2 * bin + 1) * N];
    const double gc = gain(c0 * c0 + c1 * c1, p.nn2Dadd[channel][N / 2 + bin]);
    if (bin != 0) G[2 * bin * N] = c0 * gc;
    G[(2 * bin + 1) * N] = c1 * gc;
  }
  G[0] = dc;
  for (int k = 0; k < 2; ++k)
    for (int l = 0; l < 2; ++l) {
      double sum = 0;
      for (int u = 0; u < N; ++u)
        for (int v = 0; v < N; ++v) sum += Minv[k * N + u] * Minv[l * N + v] * G[u * N + v];
      out[2 * k + l] = sum + m;
    }
}

int RoundScalar(double y) { return y < 1 ? 1 : y > 254 ? 254 : int(y + 0.49); }

TEST(Rn2DFilter, GroupsComeFromTheirOwnNeighbourhoods) {
  // The first groups of the picture against the double-precision oracle over the blocks named here: the
  // luma group at pixels 9, 10 of lines 9, 10 reads luma of lines and pixels 2 .. 17; the Cb pair at pixels
  // 10, 12 reads Cb of pixels 4 .. 18 on lines 6 .. 13; the Cr pair at pixels 11, 13 reads Cr of pixels
  // 5 .. 19. Every other sample is noise too, so a shifted block would show.
  RnTestParams t(64, 48);
  SetShapedModel(&t.params);
  for (Path path : {Path::kScalar, Path::kAcc}) {
    Frames fr(t.params);
    Fill(&fr, [](SInt32, SInt32, std::mt19937 &rng) { return UInt8(60 + rng() % 120); });
    RunFilter(path, &t.params, fr.in.data(), fr.out.data());
    double luma[256], cb[64], cr[64], out[4];
    for (int i = 0; i < 16; ++i)
      for (int s = 0; s < 16; ++s) luma[16 * i + s] = fr.In(2 + i, 2 * (2 + s) + 1);
    ReferenceGroup<16>(t.params, 0, luma, out);
    for (int k = 0; k < 4; ++k)
      EXPECT_NEAR(fr.Out(9 + k / 2, 2 * (9 + k % 2) + 1), RoundScalar(out[k]), 1) << Name(path) << " luma " << k;
    for (int i = 0; i < 8; ++i)
      for (int s = 0; s < 8; ++s) {
        cb[8 * i + s] = fr.In(6 + i, 2 * (4 + 2 * s));
        cr[8 * i + s] = fr.In(6 + i, 2 * (5 + 2 * s));
      }
    ReferenceGroup<8>(t.params, 1, cb, out);
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(fr.Out(9 + k / 2, 2 * (10 + 2 * (k % 2))), RoundScalar(out[k]), 1) << Name(path) << " Cb " << k;
    ReferenceGroup<8>(t.params, 2, cr, out);
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(fr.Out(9 + k / 2, 2 * (11 + 2 * (k % 2))), RoundScalar(out[k]), 1) << Name(path) << " Cr " << k;
  }
}

TEST(Rn2DFilter, FiltersEveryPictureSampleOfA720x480FrameAndNothingElse) {
  // Buffer 736 x 496: lines 8 .. 487 and pixels 8 .. 727, the last line 487 and the chroma of the last pair
  // 726, 727 included. The model removes every non-constant coefficient, so each written sample is its
  // block's mean of a ramp, never the 0 the output started with.
  for (Path path : {Path::kScalar, Path::kAcc}) {
    RnTestParams t(720, 480);
    t.params.height = 496;
    ASSERT_EQ(t.params.width, 736);
    SetModel(&t.params, 1e12f, 1e12f, 1e12f, 1e12f);
    Frames fr(t.params);
    Fill(&fr, [](SInt32 y, SInt32 b, std::mt19937 &rng) { return UInt8(40 + (y + b / 4) % 150 + rng() % 3); });
    RunFilter(path, &t.params, fr.in.data(), fr.out.data());
    int unwritten = 0, outside = 0;
    for (SInt32 y = 0; y < fr.height; ++y)
      for (SInt32 b = 0; b < fr.rowBytes; ++b) {
        const bool inside = InPicture(t.params, y, b);
        if (inside && fr.Out(y, b) == 0 && unwritten++ < 3) ADD_FAILURE() << Name(path) << ": line " << y << ", byte " << b;
        if (!inside && fr.Out(y, b) != 0) ++outside;
      }
    EXPECT_EQ(unwritten, 0) << Name(path);
    EXPECT_EQ(outside, 0) << Name(path);
    EXPECT_NE(fr.Out(487, 2 * 727 + 1), 0) << Name(path) << ": luma of the last pixel";
    EXPECT_NE(fr.Out(487, 4 * 363), 0) << Name(path) << ": Cb of pair 726, 727";
    EXPECT_NE(fr.Out(487, 4 * 363 + 2), 0) << Name(path) << ": Cr of pair 726, 727";
    EXPECT_TRUE(fr.out.CheckGuards());
  }
}

TEST(Rn2DFilter, InterlacedFrameIsFilteredAsOnePicture) {
  // Fields of different brightness under a model that keeps only each block's mean: filtered across the
  // fields, every picture line comes out near the mean of both (120), and the picture lines of the
  // interlaced frame equal those of the same buffer filtered as progressive.
  for (Path path : {Path::kScalar, Path::kAcc}) {
    // The progressive picture (lines 8 .. 63) covers the interlaced one (lines 16 .. 55) in the same buffer.
    RnTestParams ti(48, 40, true), tp(48, 56, false);
    tp.params.height = ti.params.height;
    SetModel(&ti.params, 1e12f, 1e12f, 1e12f, 1e12f);
    SetModel(&tp.params, 1e12f, 1e12f, 1e12f, 1e12f);
    Frames a(ti.params), b(tp.params);
    auto pattern = [](SInt32 y, SInt32, std::mt19937 &rng) { return UInt8((y % 2 ? 150 : 90) + rng() % 3); };
    Fill(&a, pattern);
    Fill(&b, pattern);
    RunFilter(path, &ti.params, a.in.data(), a.out.data());
    RunFilter(path, &tp.params, b.in.data(), b.out.data());
    for (SInt32 y = 16; y < 16 + 40; ++y)
      for (SInt32 byte = 16; byte < 2 * (48 + 8); ++byte) {
        ASSERT_EQ(a.Out(y, byte), b.Out(y, byte)) << Name(path) << " line " << y << ", byte " << byte;
        if (byte & 1) {
          ASSERT_NEAR(a.Out(y, byte), 121, 3) << Name(path) << " line " << y << ", byte " << byte;
        }
      }
  }
}

// ---- SSE against scalar -----------------------------------------------------------------------------------------

TEST(Rn2DFilter, AccLanesSumExactlyAsTheScalarFilter) {
  // Four random blocks, one per lane: every unrounded result of the SSE group filters equals the scalar one
  // bit for bit (the same sums in the same order, true division), for luma and both chroma components.
  RnTestParams t(64, 48);
  SetShapedModel(&t.params);
  BZ_Rn2DAccBases *bases = nullptr;
  ASSERT_EQ(noErr, BZ_RnCreate2DAccBases(&t.params, &bases));
  std::mt19937 rng(bz_test::TestSeed());
  for (int round = 0; round < 20; ++round) {
    alignas(16) float lanes[256 * 4], clean[16];
    float blocks[4][256];
    const int spread = round % 2 ? 256 : 40;  // full range, and noise around grey
    for (int j = 0; j < 4; ++j)
      for (int i = 0; i < 256; ++i) lanes[4 * i + j] = blocks[j][i] = float(round % 2 ? rng() % spread : 108 + rng() % spread);
    BZ_RnFilter256Y_Acc(bases, lanes, clean);
    for (int j = 0; j < 4; ++j) {
      BZ_RnFilterArray256(&t.params, blocks[j]);
      const float expected[4] = {blocks[j][7 * 16 + 7], blocks[j][7 * 16 + 8], blocks[j][8 * 16 + 7], blocks[j][8 * 16 + 8]};
      for (int r = 0; r < 4; ++r) ASSERT_EQ(clean[4 * r + j], expected[r]) << "luma lane " << j << ", result " << r;
    }
    for (SInt32 cIndex : {1, 2}) {
      for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 64; ++i) lanes[4 * i + j] = blocks[j][i] = float(rng() % spread + (round % 2 ? 0 : 108));
      BZ_RnFilter64C_Acc(bases, lanes, cIndex, clean);
      for (int j = 0; j < 4; ++j) {
        BZ_RnFilterArray64(&t.params, cIndex == 1 ? 0 : 1, blocks[j]);
        const float expected[4] = {blocks[j][3 * 8 + 3], blocks[j][3 * 8 + 4], blocks[j][4 * 8 + 3], blocks[j][4 * 8 + 4]};
        for (int r = 0; r < 4; ++r) ASSERT_EQ(clean[4 * r + j], expected[r]) << "chroma " << cIndex << " lane " << j;
      }
    }
  }
  BZ_RnDispose2DAccBases(bases);
}

TEST(Rn2DFilter, AccMatchesScalarExceptForTheRoundingRule) {
  struct Case {
    const char *name;
    Pattern pattern;
  };
  const Case cases[] = {
      {"random", [](SInt32, SInt32, std::mt19937 &rng) { return UInt8(rng() % 256); }},
      {"flat", [](SInt32, SInt32, std::mt19937 &) { return UInt8(93); }},
      {"steps", [](SInt32 y, SInt32 b, std::mt19937 &) { return UInt8(((y / 5) * 37 + (b / 24) * 53) % 230 + 10); }},
      {"noise 39", [](SInt32 y, SInt32 b, std::mt19937 &rng) { return UInt8(128 + (y + b) % 40 - 20 + int(rng() % 79) - 39); }},
      {"saturated", [](SInt32 y, SInt32 b, std::mt19937 &rng) { return UInt8((y * 7 + b / 3) % 5 < 2 ? (rng() % 2) * 255 : 255); }},
  };
  struct Size {
    SInt32 width, height;
    bool interlaced;
  };
  for (const Size &size : {Size{720, 40, false}, Size{1920, 24, false}, Size{720, 32, true}})
    for (const Case &c : cases) {
      RnTestParams t(size.width, size.height, size.interlaced);
      SetShapedModel(&t.params);
      Frames scalar(t.params), acc(t.params);
      Fill(&scalar, c.pattern);
      Fill(&acc, c.pattern);
      BZ_Rn2DFilter(&t.params, scalar.in.data(), scalar.out.data());
      BZ_Rn2DFilterAcc(&t.params, acc.in.data(), acc.out.data());
      // Both paths compute the same floats; the SSE rounding (nearest) is one above the scalar one (+ 0.49,
      // truncated) exactly when the fraction lies in [0.5, 0.51), and never below it.
      int ups = 0, samples = 0;
      for (SInt32 y = 0; y < scalar.height; ++y)
        for (SInt32 b = 0; b < scalar.rowBytes; ++b) {
          if (!InPicture(t.params, y, b)) continue;
          ++samples;
          const int d = acc.Out(y, b) - scalar.Out(y, b);
          ups += d == 1;
          if (d != 0 && d != 1)
            FAIL() << c.name << " at " << size.width << ": line " << y << ", byte " << b << " scalar "
                   << int(scalar.Out(y, b)) << ", SSE " << int(acc.Out(y, b));
        }
      EXPECT_LE(ups, samples / 50) << c.name << " at " << size.width;
      if (std::string(c.name) == "flat") {
        EXPECT_EQ(ups, 0);
      }
      // Neither path writes outside the picture.
      EXPECT_TRUE(PictureMatches(t.params, acc, [&](SInt32 y, SInt32 b) { return acc.Out(y, b); })) << c.name;
      EXPECT_TRUE(PictureMatches(t.params, scalar, [&](SInt32 y, SInt32 b) { return scalar.Out(y, b); })) << c.name;
    }
}

}  // namespace
