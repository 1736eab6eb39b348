// Motion vectors: surface coefficients, sub-pixel fit, block differences (both versions), the block search on
// shifted pictures, following pixels through the window, and the temporal replacement along the vectors.
#include "outliers/motion_vectors.h"

#include "engine/runtime/project_types.h"
#include "outliers/outlier_stage.h"
#include "outliers/speck_replacement.h"
#include "support/kernel_check.h"
#include "support/padded_frames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using bz_test::PaddedFrame;

const float (*BaseCoeffs())[6] {
  static float coeffs[25][6];
  static const OSStatus err = BZ_MvGetCoeffs(coeffs);
  EXPECT_EQ(err, noErr);
  return coeffs;
}

// Parameters of a non-interlaced picture of inWidth x inHeight in a PaddedFrame's buffer.
struct TestParams {
  BZ_OuSett sett{};
  BZ_OuParams params{};
  TestParams(SInt32 inWidth, SInt32 inHeight, SInt32 k) {
    sett.numConstPix = k;
    sett.maxAvPixelDiff = 30;
    params.sett = &sett;
    params.inWidth = inWidth;
    params.inHeight = inHeight;
    params.width = (inWidth + 16 + 7) / 8 * 8;
    params.height = (inHeight + 32 + 15) / 16 * 16;
  }
  TestParams(const TestParams &) = delete;
  Rect Bounds() const {
    Rect r;
    BZ_OuParamsToRealFrameBounds(&params, &r);
    return r;
  }
};

// A smooth texture (periods of 13 to 31 pixels) sampled with its content moved by (sx, sy).
// Luma rising by 2 a pixel to the right, chroma by 2 a pixel downwards, content moved by (sx, sy): the block
// difference is then an exact quadratic of the displacement with its minimum at the move.
void FillRamps(PaddedFrame *f, double sx, double sy) {
  for (int32_t y = -8; y < f->inHeight() + 8; ++y)
    for (int32_t x = -8; x < f->inWidth() + 8; ++x) {
      f->Luma(x, y) = uint8_t(std::lround(std::min(255.0, std::max(0.0, 20 + 2 * (x - sx)))));
      f->Chroma(x, y) = uint8_t(std::lround(std::min(255.0, std::max(0.0, 20 + 2 * (y - sy)))));
    }
}

// detail scales the frequencies (0.5: periods of 26 to 62 pixels).
void FillTexture(PaddedFrame *f, double sx, double sy, double contrast = 1.0, double detail = 1.0) {
  for (int32_t y = -8; y < f->inHeight() + 8; ++y)
    for (int32_t x = -8; x < f->inWidth() + 8; ++x) {
      const double u = (x - sx) * detail, v = (y - sy) * detail;
      const double luma = 128 + contrast * (45 * std::sin(u * 0.27 + 0.4 * v * 0.3) + 30 * std::cos(v * 0.33) +
                                            20 * std::sin((u + v) * 0.2 + 1.0));
      const double chroma = 128 + contrast * (25 * std::cos(u * 0.21) + 15 * std::sin(v * 0.48 - u * 0.1));
      f->Luma(x, y) = uint8_t(std::lround(std::min(255.0, std::max(0.0, luma))));
      f->Chroma(x, y) = uint8_t(std::lround(std::min(255.0, std::max(0.0, chroma))));
    }
}

std::vector<BZ_OuMotionVec> PairArray(const TestParams &p) {
  return std::vector<BZ_OuMotionVec>(BZ_MvArraySize(p.params.inWidth, p.params.inHeight) / sizeof(BZ_OuMotionVec));
}
std::vector<BZ_OuMotionVec> ScratchArray(const TestParams &p) {
  return std::vector<BZ_OuMotionVec>(BZ_MvScratchSize(p.params.inWidth, p.params.inHeight) /
                                     sizeof(BZ_OuMotionVec));
}

// Keeps gBZ.procInfo.hasSSE3 as it was.
class ProcessorFlag {
 public:
  explicit ProcessorFlag(Boolean hasSSE3) : saved_(gBZ.procInfo.hasSSE3) { gBZ.procInfo.hasSSE3 = hasSSE3; }
  ~ProcessorFlag() { gBZ.procInfo.hasSSE3 = saved_; }

 private:
  Boolean saved_;
};

// ---- Coefficients and the sub-pixel fit ----

TEST(MotionVectorCoefficients, ReproduceAnyExactQuadratic) {
  const float (*coeffs)[6] = BaseCoeffs();
  std::mt19937 rng(bz_test::TestSeed());
  std::uniform_real_distribution<float> coef(-50.0f, 50.0f);
  std::vector<std::vector<float>> surfaces = {
      {1, 0, 0, 0, 0, 0}, {0, 1, 0, 0, 0, 0}, {0, 0, 0, 1, 0, 0}, {0, 0, 0, 0, 1, 0}, {300, -40, 25, 8, -3, 6}};
  for (int r = 0; r < 5; ++r) surfaces.push_back({coef(rng), coef(rng), coef(rng), coef(rng), coef(rng), coef(rng)});
  for (const std::vector<float> &a : surfaces) {
    float values[25], fitted[6];
    for (int i = 0; i < 25; ++i) {
      const float x = float(i % 5), y = float(i / 5);
      values[i] = a[0] + a[1] * x + a[2] * y + a[3] * x * x + a[4] * x * y + a[5] * y * y;
    }
    ASSERT_EQ(BZ_MvFitPolyLS(values, fitted), noErr);
    for (int j = 0; j < 6; ++j) {
      float c = 0.0f;
      for (int i = 0; i < 25; ++i) c += values[i] * coeffs[i][j];
      const float tolerance = 1e-3f * (1.0f + std::fabs(a[0]) + std::fabs(a[1]) + std::fabs(a[2]));
      EXPECT_NEAR(c, a[size_t(j)], tolerance) << "BZ_MvGetCoeffs, coefficient " << j;
      EXPECT_NEAR(fitted[j], a[size_t(j)], tolerance) << "BZ_MvFitPolyLS, coefficient " << j;
    }
  }
}

struct BestMvCase {
  const char *name;
  SInt32 (*surface)(SInt32 x, SInt32 y);
  SInt32 offsetH, offsetV, scale;
  float dx, dy;
};

const BestMvCase kBestMvCases[] = {
    // Flat: no curvature at all, grid position (0, 0).
    {"flat", [](SInt32, SInt32) { return SInt32(500); }, 3, -2, 2, -1.0f, -6.0f},
    {"bowl at (2.5, 1.5)", [](SInt32 x, SInt32 y) { return (2 * x - 5) * (2 * x - 5) + (2 * y - 3) * (2 * y - 3); },
     0, 0, 4, 2.0f, -2.0f},
    {"tilted bowl at (1, 3)", [](SInt32 x, SInt32 y) { return 3 * (x - 1) * (x - 1) + (x - 1) * (y - 3) + 2 * (y - 3) * (y - 3); },
     1, 1, 1, 0.0f, 2.0f},
    // Saddle: no minimum, grid position (0, 0).
    {"saddle", [](SInt32 x, SInt32 y) { return 1000 + 10 * (x - 2) * (x - 2) - 10 * (y - 2) * (y - 2); }, 3, -2, 2,
     -1.0f, -6.0f},
    // A valley along y: no single stationary point; the best grid sample (column 3, first row) is taken.
    {"valley along y", [](SInt32 x, SInt32) { return 2 * (x - 3) * (x - 3); }, 2, 4, 2, 4.0f, 0.0f},
    // Results of 16 pixels or more in either axis become the zero vector; 15 stays.
    {"bowl at 15", [](SInt32 x, SInt32 y) { return (x - 2) * (x - 2) + (y - 2) * (y - 2); }, 15, -3, 1, 15.0f, -3.0f},
    {"bowl at 16", [](SInt32 x, SInt32 y) { return (x - 2) * (x - 2) + (y - 2) * (y - 2); }, 16, -3, 1, 0.0f, 0.0f},
    {"bowl at -16", [](SInt32 x, SInt32 y) { return (x - 2) * (x - 2) + (y - 2) * (y - 2); }, 4, -16, 1, 0.0f, 0.0f},
};

TEST(MotionVectorFit, FindBestMvTable) {
  const float (*coeffs)[6] = BaseCoeffs();
  for (const BestMvCase &c : kBestMvCases) {
    SCOPED_TRACE(c.name);
    SInt32 diffs[25];
    for (SInt32 i = 0; i < 25; ++i) diffs[i] = c.surface(i % 5, i / 5);
    BZ_OuMotionVec vec{};
    vec.dx = vec.dy = 99.0f;
    BZ_FindBestMv(c.offsetH, c.offsetV, c.scale, coeffs, diffs, &vec);
    EXPECT_NEAR(vec.dx, c.dx, 1e-3f) << "BZ_FindBestMv";
    EXPECT_NEAR(vec.dy, c.dy, 1e-3f) << "BZ_FindBestMv";
  }
}

TEST(MotionVectorFit, TrueMinAndOneDimensionalPlaceholder) {
  // f = 2 (x - 1)^2 + (y - 3)^2: a0 = 11, a1 = -4, a2 = -6, a3 = 2, a4 = 0, a5 = 1.
  const float c[6] = {11, -4, -6, 2, 0, 1};
  float x = -1, y = -1;
  BZ_MvFindTrueMin(c, &x, &y);
  EXPECT_NEAR(x, 1.0f, 1e-5f);
  EXPECT_NEAR(y, 3.0f, 1e-5f);
  const float flat[6] = {5, 1, 1, 0, 0, 0};
  x = y = -1;
  BZ_MvFindTrueMin(flat, &x, &y);
  EXPECT_EQ(x, -1.0f);  // nothing written
  EXPECT_EQ(y, -1.0f);
  EXPECT_EQ(BZ_MvFind1DMin(c, &x), 0);
  EXPECT_EQ(x, -1.0f);
}

// ---- Block differences ----

TEST(MotionVectorBlockDiff, HandComputedAndCutCosts) {
  const TestParams p(96, 80, 1);
  const Rect b = p.Bounds();
  PaddedFrame a(96, 80), c(96, 80);
  FillTexture(&a, 0, 0);
  c.CopyFrom(a);
  // One pixel of the block (0, 0) of width 8 differs by 5 in luma and 3 in chroma.
  c.Luma(3, 2) = uint8_t(c.Luma(3, 2) + 5);
  c.Chroma(3, 2) = uint8_t(c.Chroma(3, 2) - 3);
  EXPECT_EQ(BZ_MvGetBlockDiffSq(p.params.width, &b, 8, 0, 0, 0, 0, a.data(), c.data()), 34);
  // Identical flat frames: only the cut counts, 800 per pixel.
  a.Fill(128, 90);
  c.Fill(128, 90);
  struct CutCase {
    SInt32 blockWidth, v, h, offsetV, offsetH, missingPixels;
  };
  const SInt32 lastRow = BZ_MvNumVectors(80, 8) - 1, lastCol = BZ_MvNumVectors(96, 8) - 1;
  const CutCase cases[] = {
      {8, 0, 0, -3, 0, 3 * 8},          // three rows above the picture
      {8, 0, 0, 0, -5, 5 * 8},          // five columns left of it
      {8, 0, 0, -3, -5, 64 - 5 * 3},    // both
      {8, lastRow, lastCol, 2, 1, 64 - 6 * 7},
      {16, 0, 0, 4, 4, 0},              // inside
      {8, 0, 0, -9, 0, 64},             // fully out, every side
      {8, lastRow, 0, 9, 0, 64},
      {16, 0, 0, 0, -17, 256},
      {32, 0, 1000, 0, 40, 1024},       // a column beyond the grid is the last block
      {64, 0, 0, -64, -64, 4096},
      {64, 0, 0, 90, 0, 4096},
  };
  for (const CutCase &k : cases) {
    SCOPED_TRACE(::testing::Message() << "blockWidth " << k.blockWidth << " offset (" << k.offsetH << ", "
                                      << k.offsetV << ")");
    for (Boolean sse : {Boolean(false), Boolean(true)})
      EXPECT_EQ(BZ_MvGetBlockDiffSqUni(sse, p.params.width, &b, k.blockWidth, k.v, k.h, k.offsetV, k.offsetH,
                                       a.data(), c.data()),
                k.missingPixels * 800)
          << "hasSSE3 " << int(sse);
  }
  EXPECT_TRUE(a.CheckGuards());
}

// The SSE version equals the scalar one on random content for every block of every level and every offset
// that reaches past the picture's edges, with the buffers guarded.
TEST(MotionVectorBlockDiff, SseEqualsScalarAtEveryEdge) {
  BZ_KERNEL_SEED_TRACE();
  std::mt19937 rng(bz_test::TestSeed());
  for (const auto &size : {std::pair<SInt32, SInt32>{72, 40}, {65, 67}}) {
    const TestParams p(size.first, size.second, 1);
    const Rect b = p.Bounds();
    PaddedFrame f0(size.first, size.second), f1(size.first, size.second);
    f0.FillRandom(0, 255, 0, 255, rng);
    f1.FillRandom(0, 255, 0, 255, rng);
    for (SInt32 bw : {8, 16, 32, 64}) {
      const SInt32 numH = BZ_MvNumVectors(size.first, bw), numV = BZ_MvNumVectors(size.second, bw);
      for (SInt32 v = 0; v < numV; ++v)
        for (SInt32 h = 0; h < numH; ++h)
          for (SInt32 oy = -20; oy <= 20; oy += (bw >= 32 ? 3 : 1))
            for (SInt32 ox = -20; ox <= 20; ox += (bw >= 32 ? 3 : 1)) {
              const SInt32 scalar = BZ_MvGetBlockDiffSq(p.params.width, &b, bw, v, h, oy, ox, f0.data(), f1.data());
              const SInt32 acc = BZ_MvGetBlockDiffSqAcc(p.params.width, &b, bw, v, h, oy, ox, f0.data(), f1.data());
              if (scalar != acc) {
                ADD_FAILURE() << "BZ_MvGetBlockDiffSqAcc at bw " << bw << " block (" << h << ", " << v
                              << ") offset (" << ox << ", " << oy << "): " << acc << " != " << scalar;
                return;
              }
            }
    }
    EXPECT_TRUE(f0.CheckGuards());
    EXPECT_TRUE(f1.CheckGuards());
  }
}

// ---- One block's vector ----

// What the widest scale alone finds for a block: its grid of differences around zero, the fitted vector and
// the mean difference at the vector rounded.
BZ_OuMotionVec FirstScaleVector(const TestParams &p, SInt32 blockWidth, SInt32 v, SInt32 h, const PaddedFrame &f0,
                                const PaddedFrame &f1) {
  const Rect b = p.Bounds();
  SInt32 diffs[25];
  for (SInt32 i = 0; i < 25; ++i)
    diffs[i] = BZ_MvGetBlockDiffSq(p.params.width, &b, blockWidth, v, h, (i / 5 - 2) * 8, (i % 5 - 2) * 8,
                                   f0.data(), f1.data());
  BZ_OuMotionVec vec{};
  BZ_FindBestMv(0, 0, 8, BaseCoeffs(), diffs, &vec);
  vec.minDiff = float(BZ_MvGetBlockDiffSq(p.params.width, &b, blockWidth, v, h, SInt32(std::lround(vec.dy)),
                                          SInt32(std::lround(vec.dx)), f0.data(), f1.data())) /
                float(blockWidth * blockWidth);
  return vec;
}

// A search whose first mean difference is below 10 keeps the scale-8 result; a worse one goes on.
TEST(MotionVectorSearch, GoodFirstMatchStopsAfterScaleEight) {
  const float (*coeffs)[6] = BaseCoeffs();
  const TestParams p(96, 80, 1);
  struct Case {
    double contrast;
    bool stops;
  };
  for (const Case c : {Case{0.04, true}, Case{1.0, false}}) {
    SCOPED_TRACE(::testing::Message() << "contrast " << c.contrast);
    PaddedFrame f0(96, 80), f1(96, 80);
    FillTexture(&f0, 0, 0, c.contrast);
    FillTexture(&f1, 1.0, 0, c.contrast);
    const SInt32 v = 5, h = 6, bw = 16;
    const BZ_OuMotionVec scaleEight = FirstScaleVector(p, bw, v, h, f0, f1);
    BZ_OuMotionVec vec{};
    BZ_FindMotionVector(&p.params, coeffs, bw, v, h, f0.data(), f1.data(), &vec);
    if (c.stops) {
      EXPECT_EQ(vec.dx, scaleEight.dx);
      EXPECT_EQ(vec.dy, scaleEight.dy);
      EXPECT_LT(vec.minDiff, 10.0f);
    } else {
      EXPECT_TRUE(vec.dx != scaleEight.dx || vec.dy != scaleEight.dy) << "the search went on";
      EXPECT_LT(vec.minDiff, 10.0f);
    }
  }
}

// On texture the finer scales' surfaces can mislead (a saddle sends the fit to a grid corner): the search
// never ends with a worse match than its first scale found.
TEST(MotionVectorSearch, NeverEndsWorseThanItsFirstScale) {
  const float (*coeffs)[6] = BaseCoeffs();
  const TestParams p(96, 80, 1);
  PaddedFrame f0(96, 80), f1(96, 80);
  FillTexture(&f0, 0, 0);
  FillTexture(&f1, 1.5, -1.0);
  int blocks = 0;
  for (SInt32 bw : {8, 16}) {
    for (SInt32 v = 0; v < BZ_MvNumVectors(80, bw); ++v)
      for (SInt32 h = 0; h < BZ_MvNumVectors(96, bw); ++h) {
        const float firstDiff = FirstScaleVector(p, bw, v, h, f0, f1).minDiff;
        BZ_OuMotionVec vec{};
        BZ_FindMotionVector(&p.params, coeffs, bw, v, h, f0.data(), f1.data(), &vec);
        ASSERT_LE(vec.minDiff, firstDiff) << "block width " << bw << ", block (" << h << ", " << v << ")";
        ++blocks;
      }
  }
  EXPECT_GT(blocks, 300);
}

// A picture moved by a known whole or half pixel gives vectors within 0.25 pixel of the move, forward and
// backward, on the inner blocks (whose grids stay inside the picture); a guess far off changes nothing, since
// the widest scale's grid is always centred on zero.
TEST(MotionVectorSearch, ShiftedPicturesGiveTheShift) {
  const float (*coeffs)[6] = BaseCoeffs();
  const TestParams p(96, 64, 1);
  struct Shift {
    double sx, sy;
  };
  for (const Shift s : {Shift{1, 0}, Shift{0, -2}, Shift{0.5, 0}, Shift{-3, 1.5}, Shift{2.5, -0.5}, Shift{6, 4}}) {
    SCOPED_TRACE(::testing::Message() << "shift (" << s.sx << ", " << s.sy << ")");
    PaddedFrame f0(96, 64), f1(96, 64);
    FillRamps(&f0, 0, 0);
    FillRamps(&f1, s.sx, s.sy);
    std::vector<BZ_OuMotionVec> pair = PairArray(p), scratch = ScratchArray(p);
    BZ_MvFindPairVectors(&p.params, coeffs, f0.data(), f1.data(), pair.data(), scratch.data());
    const SInt32 numH = BZ_MvNumVectors(96, 8), numV = BZ_MvNumVectors(64, 8);
    int checked = 0;
    for (SInt32 i = 5; i < numV - 5; ++i)
      for (SInt32 j = 5; j < numH - 5; ++j) {
        const BZ_OuMotionVec &fwd = pair[size_t(2 * (i * numH + j))], &bwd = pair[size_t(2 * (i * numH + j) + 1)];
        ASSERT_LT(fwd.minDiff, kBZ_MvMaxFoundDiff) << "cell (" << j << ", " << i << ")";
        ASSERT_LT(bwd.minDiff, kBZ_MvMaxFoundDiff) << "cell (" << j << ", " << i << ")";
        EXPECT_NEAR(fwd.dx, s.sx, 0.25) << "forward, cell (" << j << ", " << i << ")";
        EXPECT_NEAR(fwd.dy, s.sy, 0.25) << "forward, cell (" << j << ", " << i << ")";
        EXPECT_NEAR(bwd.dx, -s.sx, 0.25) << "backward, cell (" << j << ", " << i << ")";
        EXPECT_NEAR(bwd.dy, -s.sy, 0.25) << "backward, cell (" << j << ", " << i << ")";
        ++checked;
      }
    EXPECT_GT(checked, 60);
    BZ_OuMotionVec guessed{};
    guessed.dx = -11.0f;
    guessed.dy = 9.0f;
    BZ_FindMotionVector(&p.params, coeffs, 8, 10, 12, f0.data(), f1.data(), &guessed);
    const BZ_OuMotionVec &same = pair[size_t(2 * (10 * numH + 12))];
    EXPECT_EQ(guessed.dx, same.dx);
    EXPECT_EQ(guessed.dy, same.dy);
  }
}

void ExpectSameVectors(const std::vector<BZ_OuMotionVec> &got, const std::vector<BZ_OuMotionVec> &expected,
                       SInt32 numEntries) {
  for (SInt32 e = 0; e < numEntries; ++e) {
    const BZ_OuMotionVec &g = got[size_t(e)], &x = expected[size_t(e)];
    bool same = g.dx == x.dx && g.dy == x.dy && g.minDiff == x.minDiff && g.assigned == x.assigned &&
                g.interpolated == x.interpolated && g.accepted == x.accepted;
    for (int c = 0; c < 6; ++c) same = same && g.coeffs[c] == x.coeffs[c];
    if (!same) {
      ADD_FAILURE() << "entry " << e << ": (" << g.dx << ", " << g.dy << ", " << g.minDiff << ") against (" << x.dx
                    << ", " << x.dy << ", " << x.minDiff << ")";
      return;
    }
  }
}

// The pair's vectors are the same whether the four levels are searched (BZ_FindMotionVectors), with or without
// the earlier pair's vectors as guides (three frames), or the finest level alone (BZ_MvFindPairVectors): a
// guess only places the first scale's grid, which stays centred on zero.
TEST(MotionVectorSearch, GuidesAndCoarseLevelsChangeNoVector) {
  const float (*coeffs)[6] = BaseCoeffs();
  const TestParams p(96, 64, 1);
  for (int content = 0; content < 2; ++content) {
    SCOPED_TRACE(content == 0 ? "texture" : "ramps");
    PaddedFrame f0(96, 64), f1(96, 64), f2(96, 64);
    for (int f = 0; f < 3; ++f) {
      PaddedFrame *frame = f == 0 ? &f0 : f == 1 ? &f1 : &f2;
      if (content == 0)
        FillTexture(frame, 2.0 * f, 1.0 * f);
      else
        FillRamps(frame, 1.5 * f, -0.5 * f);
    }
    std::vector<BZ_OuMotionVec> earlier = PairArray(p), alone = PairArray(p), literal = PairArray(p);
    std::vector<BZ_OuMotionVec> guided = PairArray(p), newest = PairArray(p), scratch = ScratchArray(p);
    BZ_MvFindPairVectors(&p.params, coeffs, f0.data(), f1.data(), earlier.data(), scratch.data());
    BZ_MvFindPairVectors(&p.params, coeffs, f1.data(), f2.data(), alone.data(), scratch.data());
    for (BZ_OuMotionVec &v : newest) v.assigned = true;
    UInt8 *window[5] = {nullptr, nullptr, f0.data(), f1.data(), f2.data()};
    void *mv[5] = {nullptr, nullptr, earlier.data(), guided.data(), newest.data()};
    BZ_FindMotionVectors(&p.params, coeffs, window, nullptr, nullptr, mv, scratch.data(), false);
    BZ_FindMotionVectors(&p.params, coeffs, window, nullptr, nullptr, mv, scratch.data(), true);
    UInt8 *pairOnly[5] = {nullptr, nullptr, nullptr, f1.data(), f2.data()};
    void *literalMv[5] = {nullptr, nullptr, nullptr, literal.data(), nullptr};
    BZ_FindMotionVectors(&p.params, coeffs, pairOnly, nullptr, nullptr, literalMv, scratch.data(), false);
    BZ_FindMotionVectors(&p.params, coeffs, pairOnly, nullptr, nullptr, literalMv, scratch.data(), true);
    const SInt32 numCells = BZ_MvNumVectors(96, 8) * BZ_MvNumVectors(64, 8);
    ExpectSameVectors(guided, alone, 2 * numCells);
    ExpectSameVectors(literal, alone, 2 * numCells);
    // The newest frame's assigned flags are cleared one vector at a time over as many vectors as cells.
    for (SInt32 e = 0; e < SInt32(newest.size()); ++e) EXPECT_EQ(newest[size_t(e)].assigned, e >= numCells) << e;
  }
}

// The search gives the same vectors on the scalar and the SSE block differences.
TEST(MotionVectorSearch, SameVectorsOnBothPaths) {
  const TestParams p(80, 56, 2);
  PaddedFrame f0(80, 56), f1(80, 56);
  FillTexture(&f0, 0, 0);
  FillTexture(&f1, -2.5, 1.0);
  std::vector<BZ_OuMotionVec> scalar = PairArray(p), sse = PairArray(p), scratch = ScratchArray(p);
  {
    ProcessorFlag flag(false);
    BZ_MvFindPairVectors(&p.params, BaseCoeffs(), f0.data(), f1.data(), scalar.data(), scratch.data());
  }
  {
    ProcessorFlag flag(true);
    BZ_MvFindPairVectors(&p.params, BaseCoeffs(), f0.data(), f1.data(), sse.data(), scratch.data());
  }
  ExpectSameVectors(sse, scalar, SInt32(scalar.size()));
}

TEST(MotionVectorSearch, AveragedGuessFromEarlierPair) {
  const SInt32 numH = 10, numV = 6;
  std::vector<BZ_OuMotionVec> prev(size_t(2 * numH * numV));
  auto setAll = [&](float fdx, float fdy, float bdx, float bdy) {
    for (SInt32 c = 0; c < numH * numV; ++c) {
      prev[size_t(2 * c)] = BZ_OuMotionVec{{}, fdx, fdy, 5.0f, false, false, false};
      prev[size_t(2 * c + 1)] = BZ_OuMotionVec{{}, bdx, bdy, 5.0f, false, false, false};
    }
  };
  BZ_OuMotionVec guess{};
  // Uniform motion: the backward vectors' mean.
  setAll(4, 0, -4, 1);
  BZ_GetAvgPrevMv(numH, numV, 1, 1, 2, prev.data(), &guess);
  EXPECT_FLOAT_EQ(guess.dx, -4.0f);
  EXPECT_FLOAT_EQ(guess.dy, 1.0f);
  // Backward vectors spreading by more than 4 pixels: the zero vector.
  for (SInt32 c = 0; c < numH * numV; ++c) prev[size_t(2 * c + 1)].dx = (c % 2) ? 6.0f : -6.0f;
  BZ_GetAvgPrevMv(numH, numV, 0, 0, 2, prev.data(), &guess);
  EXPECT_EQ(guess.dx, 0.0f);
  EXPECT_EQ(guess.dy, 0.0f);
  // Forward vectors not found, or starting cells beyond the grid (coarse levels reach past it): nothing adds.
  setAll(0, 0, -4, 1);
  for (SInt32 c = 0; c < numH * numV; ++c) prev[size_t(2 * c)].minDiff = std::numeric_limits<float>::infinity();
  BZ_GetAvgPrevMv(numH, numV, 0, 0, 2, prev.data(), &guess);
  EXPECT_EQ(guess.dx, 0.0f);
  setAll(0, 0, -1, 1);
  BZ_GetAvgPrevMv(numH, numV, 3, 4, 8, prev.data(), &guess);
  EXPECT_EQ(guess.dx, 0.0f);
  EXPECT_EQ(guess.dy, 0.0f);
}

// Pictures too small for some levels or for any block: reads and writes stay inside arrays of exactly the
// sizes the stage allocates (an AddressSanitizer build checks them), and a picture below 8 x 8 has no vector.
TEST(MotionVectorSearch, TinyAndNarrowPictures) {
  const float (*coeffs)[6] = BaseCoeffs();
  struct Size {
    SInt32 w, h;
  };
  for (const Size s : {Size{7, 7}, Size{6, 40}, Size{40, 5}, Size{8, 8}, Size{9, 12}, Size{20, 40}, Size{40, 24},
                       Size{33, 70}, Size{70, 33}}) {
    SCOPED_TRACE(::testing::Message() << s.w << " x " << s.h);
    const TestParams p(s.w, s.h, 1);
    PaddedFrame f0(s.w, s.h), f1(s.w, s.h);
    FillTexture(&f0, 0, 0);
    FillTexture(&f1, 1, 0);
    std::vector<BZ_OuMotionVec> pair = PairArray(p), scratch = ScratchArray(p);
    for (BZ_OuMotionVec &v : pair) v.minDiff = -1.0f;  // stale content that would look found
    BZ_MvFindPairVectors(&p.params, coeffs, f0.data(), f1.data(), pair.data(), scratch.data());
    const SInt32 cells = BZ_MvNumVectors(s.w, 8) * BZ_MvNumVectors(s.h, 8);
    if (s.w < 8 || s.h < 8) {
      for (const BZ_OuMotionVec &v : pair) EXPECT_FALSE(v.minDiff < kBZ_MvMaxFoundDiff);
    } else {
      ASSERT_GT(cells, 0);
      for (SInt32 e = 0; e < 2 * cells; ++e) EXPECT_GE(pair[size_t(e)].minDiff, 0.0f) << "entry " << e;
    }
    EXPECT_TRUE(f0.CheckGuards());
  }
  EXPECT_EQ(BZ_MvArraySize(3, 100), 0u);
  EXPECT_EQ(BZ_MvScratchSize(7, 100), 0u);
}

TEST(MotionVectorSearch, NotFoundCoversTheWholeArray) {
  const TestParams p(41, 23, 1);
  std::vector<BZ_OuMotionVec> pair = PairArray(p);
  ASSERT_EQ(pair.size(), size_t(2 * 10 * 5));
  BZ_SetMvNotFound(&p.params, pair.data());
  for (const BZ_OuMotionVec &v : pair) EXPECT_EQ(v.minDiff, std::numeric_limits<float>::infinity());
}

// ---- Following pixels ----

// A window of 4k + 1 slots whose pair arrays hold one forward and one backward vector everywhere.
struct ChainWindow {
  std::vector<std::vector<BZ_OuMotionVec>> arrays;
  void *mv[kBZ_OuNumWindowSlots] = {};
  ChainWindow(const TestParams &p, float fdx, float fdy, float bdx, float bdy) {
    const SInt32 slots = 4 * p.sett.numConstPix + 1;
    for (SInt32 s = 0; s < slots; ++s) {
      arrays.push_back(PairArray(p));
      for (size_t c = 0; c < arrays.back().size(); c += 2) {
        arrays.back()[c] = BZ_OuMotionVec{{}, fdx, fdy, 3.0f, false, false, false};
        arrays.back()[c + 1] = BZ_OuMotionVec{{}, bdx, bdy, 3.0f, false, false, false};
      }
    }
    for (SInt32 s = 0; s < slots; ++s) mv[s] = arrays[size_t(s)].data();
  }
  void Lose(SInt32 slot, SInt32 entry) {
    for (size_t c = size_t(entry); c < arrays[size_t(slot)].size(); c += 2)
      arrays[size_t(slot)][c].minDiff = std::numeric_limits<float>::infinity();
  }
};

TEST(MotionVectorChains, AlignedIndexesTable) {
  struct Case {
    const char *name;
    SInt32 k;
    float fdx, fdy, bdx, bdy;
    std::vector<std::pair<SInt32, SInt32>> lost;  // (slot, entry) arrays whose vectors are not found
    SInt32 minIn, maxIn;
    SInt32 x, y;  // picture position of the pixel
    SInt32 expMin, expMax;
    std::vector<std::pair<SInt32, SInt32>> expOffsets;  // per slot from expMin: (dx, dy) from the pixel
    bool chained;
  };
  const std::vector<Case> cases = {
      {"both ways", 1, 2, 0, -2, 1, {}, 0, 5, 20, 10, 1, 4, {{-2, 1}, {0, 0}, {2, 0}}, true},
      {"k 2 both ways", 2, 1, 1, -1, -1, {}, 0, 9, 20, 10, 2, 7, {{-2, -2}, {-1, -1}, {0, 0}, {1, 1}, {2, 2}}, true},
      {"backward lost, forward goes on", 1, 2, 0, -2, 0, {{1, 1}}, 0, 5, 20, 10, 2, 5, {{0, 0}, {2, 0}, {4, 0}}, true},
      {"forward lost at its second step", 2, 1, 0, -1, 0, {{5, 0}}, 0, 9, 20, 10, 1, 6,
       {{-3, 0}, {-2, 0}, {-1, 0}, {0, 0}, {1, 0}}, true},
      {"both lost", 1, 2, 0, -2, 0, {{1, 1}, {2, 0}}, 0, 5, 20, 10, 2, 3, {{0, 0}}, false},
      // The next slot is unusable (a scene change after the centre): no forward step reaches it.
      {"usable slots end after the centre", 1, 2, 0, -2, 0, {}, 0, 3, 20, 10, 0, 3, {{-4, 0}, {-2, 0}, {0, 0}}, true},
      {"usable slots on neither side", 1, 2, 0, -2, 0, {}, 2, 3, 20, 10, 2, 3, {{0, 0}}, false},
      // Steps that would leave the picture end their direction.
      {"left edge", 1, -1, 0, -1, 0, {}, 0, 5, 0, 10, 2, 3, {{0, 0}}, false},
      {"right edge forward", 1, 3, 0, -3, 0, {}, 0, 5, 38, 10, 0, 3, {{-6, 0}, {-3, 0}, {0, 0}}, true},
      {"bottom edge", 1, 0, 10.6f, 0, -10.6f, {}, 0, 5, 20, 22, 0, 3, {{0, -22}, {0, -11}, {0, 0}}, true},
      {"top edge both ways", 1, 0, -10.6f, 0, -10.6f, {}, 0, 5, 20, 1, 2, 3, {{0, 0}}, false},
      // Positions round as (position + d + 0.5) truncated.
      {"half pixel", 1, 0.5f, -0.5f, -0.5f, 0.49f, {}, 0, 5, 20, 10, 1, 4, {{0, 0}, {0, 0}, {1, 0}}, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const TestParams p(40, 24, c.k);
    ChainWindow w(p, c.fdx, c.fdy, c.bdx, c.bdy);
    for (const auto &l : c.lost) w.Lose(l.first, l.second);
    const Rect b = p.Bounds();
    const SInt32 index = (b.top + c.y) * p.params.width + b.left + c.x;
    SInt32 indexes[kBZ_OuNumWindowSlots], minIndex = -1, maxIndex = -1;
    BZ_GetAlignedPixelIndexes(&p.params, w.mv, c.minIn, c.maxIn, &minIndex, &maxIndex, index, indexes);
    EXPECT_EQ(minIndex, c.expMin);
    EXPECT_EQ(maxIndex, c.expMax);
    if (minIndex == c.expMin && maxIndex == c.expMax)
      for (SInt32 s = minIndex; s < maxIndex; ++s) {
        const auto &o = c.expOffsets[size_t(s - minIndex)];
        EXPECT_EQ(indexes[s], index + o.second * p.params.width + o.first) << "slot " << s;
      }
    std::vector<UInt16> data(size_t(p.params.width * p.params.height), 7);
    BZ_SetPixelInMvChain(&p.params, c.minIn, c.maxIn, w.mv, data.data(), index);
    EXPECT_EQ(data[size_t(index)], c.chained ? (7 | kBZ_OuInMvChainFlag) : 7);
  }
}

// Every picture pixel of a frame whose width and height are multiples of 4 (so its last pixels lie past the
// vector grid) gets a chain, no padding pixel does, and the arrays are read only within their allocation.
TEST(MotionVectorChains, WholeFrameStaysInsideTheArrays) {
  for (const auto &size : {std::pair<SInt32, SInt32>{40, 24}, {37, 29}}) {
    const TestParams p(size.first, size.second, 2);
    ChainWindow w(p, 0.0f, 0.0f, 0.0f, 0.0f);
    std::vector<UInt16> data(size_t(p.params.width * p.params.height), 0);
    BZ_SetInMvChain(&p.params, 0, 9, w.mv, data.data());
    const Rect b = p.Bounds();
    for (SInt32 y = 0; y < p.params.height; ++y)
      for (SInt32 x = 0; x < p.params.width; ++x) {
        const bool inPicture = x >= b.left && x < b.right && y >= b.top && y < b.bottom;
        ASSERT_EQ(data[size_t(y * p.params.width + x)], inPicture ? kBZ_OuInMvChainFlag : 0)
            << "pixel (" << x << ", " << y << ")";
      }
  }
}

// ---- Temporal replacement along the vectors ----

// A picture panning by 2 pixels a frame with a speck in the centre frame: pixels flagged as chained are
// filled from where the pan's vectors carry them, and so get the picture back; without the flag they take
// the same place in the neighbours, which shows other detail.
TEST(MotionVectorReplacement, ChainedSpeckPixelsFollowThePan) {
  const SInt32 k = 1, w = 96, h = 64;
  const TestParams p(w, h, k);
  std::vector<std::unique_ptr<PaddedFrame>> frames;
  for (SInt32 s = 0; s < 5; ++s) {
    frames.push_back(std::make_unique<PaddedFrame>(w, h));
    FillTexture(frames.back().get(), 2.0 * s, 0);
  }
  PaddedFrame clean(w, h);
  clean.CopyFrom(*frames[2]);
  frames[2]->FillRect(40, 30, 44, 33, 128, 250);  // the speck
  ChainWindow vectors(p, 2.0f, 0.0f, -2.0f, 0.0f);
  void *const *mv = vectors.mv;
  UInt8 *window[kBZ_OuNumWindowSlots] = {};
  for (SInt32 s = 0; s < 5; ++s) window[s] = frames[size_t(s)]->data();

  const Rect b = p.Bounds();
  std::vector<SInt32> pixels;
  for (SInt32 y = 30; y < 33; ++y)
    for (SInt32 x = 40; x < 44; ++x) pixels.push_back((b.top + y) * p.params.width + b.left + x);
  BZ_OuSpeck speck{};
  speck.rgn.pixels = pixels.data();
  speck.rgn.numPixels = SInt32(pixels.size());
  SInt32 av[kBZ_OuNumWindowSlots] = {};
  std::vector<UInt16> data(size_t(p.params.width * p.params.height), 0);
  BZ_SetInMvChain(&p.params, 0, 5, mv, data.data());
  for (SInt32 px : pixels) ASSERT_NE(data[size_t(px)] & kBZ_OuInMvChainFlag, 0);

  auto worstError = [&](const UInt16 *flags) {
    std::vector<UInt8> out(frames[2]->data(), frames[2]->data() + frames[2]->size());
    BZ_OuInterpolateSpeckTemporally(&p.params, av, window, out.data(), flags, mv, &speck);
    int worst = 0;
    for (SInt32 px : pixels)
      for (int byte = 0; byte < 2; ++byte)
        worst = std::max(worst, std::abs(int(out[size_t(2 * px + byte)]) - int(clean.data()[2 * px + byte])));
    return worst;
  };
  EXPECT_EQ(worstError(data.data()), 0) << "along the vectors";
  EXPECT_GT(worstError(nullptr), 4) << "same place";
  // A scene change after the centre: the chained pixels come from the previous frame alone.
  av[2] = 31;
  EXPECT_EQ(worstError(data.data()), 0) << "previous frame only";
  EXPECT_GT(worstError(nullptr), 10) << "previous frame only, same place";
}

}  // namespace
