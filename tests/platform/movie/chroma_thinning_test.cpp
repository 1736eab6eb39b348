// The 4:2:0 and 4:1:1 encoders' chroma thinning: hand-computed rows (rounding, clamping at both ends, edge
// pairs repeated, luma ignored), and the SSE kernels against the scalar ones on random and extreme lines of
// every width up to a few steps, with exact-size input lines and guarded outputs (nothing read or written
// outside a line).
#include "platform/movie/chroma_thinning.h"

#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using bz_test::GuardedBuffer;

// A '2vuy' line of `pairs` pixel pairs: Cb and Cr of each pair from the functions, luma bytes as given.
template <typename Cb, typename Cr>
std::vector<UInt8> Line(SInt32 pairs, Cb cb, Cr cr, UInt8 luma) {
  std::vector<UInt8> line(4 * size_t(pairs));
  for (SInt32 k = 0; k < pairs; ++k) {
    line[4 * size_t(k)] = cb(k);
    line[4 * size_t(k) + 1] = luma;
    line[4 * size_t(k) + 2] = cr(k);
    line[4 * size_t(k) + 3] = luma;
  }
  return line;
}

struct Rows {
  std::vector<UInt8> above, a, b, below;
};

// Runs the kernel chosen by `path` (0 scalar, 1 SSE, 2 dispatcher with SSE allowed) into guarded rows.
void Thin(int path, const Rows &r, SInt32 pairs, GuardedBuffer *cb, GuardedBuffer *cr) {
  switch (path) {
    case 0: PL_ThinChroma420Row(r.above.data(), r.a.data(), r.b.data(), r.below.data(), pairs, cb->data(), cr->data()); break;
    case 1: PL_ThinChroma420RowAcc(r.above.data(), r.a.data(), r.b.data(), r.below.data(), pairs, cb->data(), cr->data()); break;
    default:
      PL_ThinChroma420RowUni(true, r.above.data(), r.a.data(), r.b.data(), r.below.data(), pairs, cb->data(), cr->data());
  }
}

TEST(ChromaThinning, HandComputedRows) {
  struct Case {
    const char *what;
    UInt8 above, a, b, below;
    UInt8 expected;
  } cases[] = {
      {"flat", 90, 90, 90, 90, 90},
      {"the pair alone", 128, 100, 104, 128, 89},          // (612 - 256) / 4
      {"rounds down", 0, 1, 0, 0, 0},                      // 3 / 4
      {"rounds down below zero", 1, 0, 0, 0, 0},           // -1 / 4 rounds to -1, clamped to 0
      {"clamped at 0", 255, 10, 10, 255, 0},               // (60 - 510) / 4
      {"clamped at 255", 0, 255, 255, 0, 255},             // 1530 / 4
      {"a ramp comes back as its middle", 16, 48, 80, 112, 64},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    for (int path : {0, 1, 2}) {
      SCOPED_TRACE(path);
      const SInt32 pairs = 8;
      // Cb as the case has it, Cr a flat 200 (so that a swap shows), luma bytes that differ per line.
      auto of = [](UInt8 v) { return [v](SInt32) { return v; }; };
      Rows r{Line(pairs, of(c.above), of(200), 200), Line(pairs, of(c.a), of(200), 7),
             Line(pairs, of(c.b), of(200), 255), Line(pairs, of(c.below), of(200), 0)};
      GuardedBuffer cb{size_t(pairs)}, cr{size_t(pairs)};
      Thin(path, r, pairs, &cb, &cr);
      for (SInt32 k = 0; k < pairs; ++k) {
        EXPECT_EQ(cb.data()[k], c.expected) << "pair " << k;
        EXPECT_EQ(cr.data()[k], 200) << "pair " << k;
      }
      EXPECT_TRUE(cb.CheckGuards());
      EXPECT_TRUE(cr.CheckGuards());
    }
  }
}

TEST(ChromaThinning, SseMatchesScalarAtEveryWidth) {
  BZ_KERNEL_SEED_TRACE();
  std::mt19937 &rng = bz_test::Rng();
  for (SInt32 pairs = 8; pairs <= 44; ++pairs) {
    SCOPED_TRACE(::testing::Message() << pairs << " pairs");
    for (int fill = 0; fill < 3; ++fill) {
      // Random bytes; then only the extremes, which drive the filter to both clamps.
      Rows r;
      for (std::vector<UInt8> *line : {&r.above, &r.a, &r.b, &r.below}) {
        line->resize(4 * size_t(pairs));
        bz_test::FillRandomBytes(line->data(), line->size(), rng);
        if (fill > 0)
          for (UInt8 &v : *line) v = (v & 1) != 0 ? 255 : 0;
      }
      GuardedBuffer cb0{size_t(pairs)}, cr0{size_t(pairs)}, cb1{size_t(pairs), 3}, cr1{size_t(pairs), 5},
          cb2{size_t(pairs)}, cr2{size_t(pairs)};
      Thin(0, r, pairs, &cb0, &cr0);
      Thin(1, r, pairs, &cb1, &cr1);
      Thin(2, r, pairs, &cb2, &cr2);
      EXPECT_TRUE(bz_test::BytesEqual(cb0.data(), cb1.data(), size_t(pairs), 1));
      EXPECT_TRUE(bz_test::BytesEqual(cr0.data(), cr1.data(), size_t(pairs), 1));
      EXPECT_TRUE(bz_test::BytesEqual(cb0.data(), cb2.data(), size_t(pairs), 1));
      EXPECT_TRUE(bz_test::BytesEqual(cr0.data(), cr2.data(), size_t(pairs), 1));
      for (GuardedBuffer *g : {&cb0, &cr0, &cb1, &cr1, &cb2, &cr2}) EXPECT_TRUE(g->CheckGuards());
    }
  }
}

// Lines shorter than one SSE step go to the scalar kernel, even when SSE is allowed.
TEST(ChromaThinning, ShortLinesTakeTheScalarKernel) {
  for (SInt32 pairs = 1; pairs < 8; ++pairs) {
    SCOPED_TRACE(::testing::Message() << pairs << " pairs");
    auto ramp = [](SInt32 k) { return UInt8(40 + 20 * k); };
    Rows r{Line(pairs, ramp, ramp, 16), Line(pairs, ramp, ramp, 16), Line(pairs, ramp, ramp, 16),
           Line(pairs, ramp, ramp, 16)};
    GuardedBuffer cb{size_t(pairs)}, cr{size_t(pairs)};
    Thin(2, r, pairs, &cb, &cr);
    for (SInt32 k = 0; k < pairs; ++k) {
      EXPECT_EQ(cb.data()[k], ramp(k));
      EXPECT_EQ(cr.data()[k], ramp(k));
    }
    EXPECT_TRUE(cb.CheckGuards());
    EXPECT_TRUE(cr.CheckGuards());
  }
}

// ---- 4:1:1 ----

void Thin411(int path, const std::vector<UInt8> &line, SInt32 pairs, SInt32 samples, GuardedBuffer *cb,
             GuardedBuffer *cr) {
  switch (path) {
    case 0: PL_ThinChroma411Row(line.data(), pairs, samples, cb->data(), cr->data()); break;
    case 1: PL_ThinChroma411RowAcc(line.data(), pairs, samples, cb->data(), cr->data()); break;
    default: PL_ThinChroma411RowUni(true, line.data(), pairs, samples, cb->data(), cr->data());
  }
}

TEST(ChromaThinning, HandComputed411Rows) {
  // 24 pairs, 12 samples (a DV line in small): Cb as the case draws it, Cr a flat 200.
  constexpr SInt32 pairs = 24, samples = 12;
  struct Case {
    const char *what;
    UInt8 (*cb)(SInt32 pair);
    std::vector<UInt8> expected;
  } cases[] = {
      {"flat", [](SInt32) { return UInt8(77); }, std::vector<UInt8>(samples, 77)},
      // A straight ramp passes through: each sample is its own pair's value. At the ends the repeated edge
      // pair bends it: (6 x 10 + 2 (10 + 20) - (10 + 30) + 4) >> 3 = 10 at the start, and
      // (6 x 230 + 2 (220 + 240) - (210 + 240) + 4) >> 3 = 231 at the end.
      {"ramp", [](SInt32 i) { return UInt8(10 + 10 * i); },
       {10, 30, 50, 70, 90, 110, 130, 150, 170, 190, 210, 231}},
      // One bright pair on sample 3's place: (6 x 200 + 2 x 80 - 80 + 4) >> 3 = 160; the samples beside it see
      // it at distance 2: (240 + 160 - 240 + 4) >> 3 = 20.
      {"impulse", [](SInt32 i) { return UInt8(i == 6 ? 200 : 40); }, {40, 40, 20, 160, 20, 40, 40, 40, 40, 40, 40, 40}},
      // Even pairs bright, odd ones dark: (6 x 255 - 2 x 255 + 4) >> 3 = 128 inside; the repeated edge pairs
      // give (1530 + 510 - 510 + 4) >> 3 = 191 at the start and (1530 - 255 + 4) >> 3 = 159 at the end.
      {"alternating", [](SInt32 i) { return UInt8(i % 2 == 0 ? 255 : 0); },
       {191, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 159}},
      // Every fourth pair bright: samples on a dark pair with bright pairs 2 away fall below 0 (-506 >> 3),
      // those on a bright pair give (1530 + 4) >> 3 = 191.
      {"clamped at 0", [](SInt32 i) { return UInt8(i % 4 == 2 ? 255 : 0); },
       {0, 191, 0, 191, 0, 191, 0, 191, 0, 191, 0, 191}},
      // The reverse: a bright pair with bright neighbours and dark pairs 2 away rises past 255 (2554 >> 3),
      // a dark one gives (1020 - 510 + 4) >> 3 = 64.
      {"clamped at 255", [](SInt32 i) { return UInt8(i % 4 == 2 ? 0 : 255); },
       {255, 64, 255, 64, 255, 64, 255, 64, 255, 64, 255, 64}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<UInt8> line = Line(pairs, c.cb, [](SInt32) { return UInt8(200); }, 9);
    for (int path : {0, 1, 2}) {
      SCOPED_TRACE(path);
      GuardedBuffer cb{size_t(samples)}, cr{size_t(samples)};
      Thin411(path, line, pairs, samples, &cb, &cr);
      EXPECT_EQ(std::vector<UInt8>(cb.data(), cb.data() + samples), c.expected);
      EXPECT_EQ(std::vector<UInt8>(cr.data(), cr.data() + samples), std::vector<UInt8>(samples, 200));
      EXPECT_TRUE(cb.CheckGuards());
      EXPECT_TRUE(cr.CheckGuards());
    }
  }
}

TEST(ChromaThinning, Sse411MatchesScalarAtEveryWidth) {
  BZ_KERNEL_SEED_TRACE();
  std::mt19937 &rng = bz_test::Rng();
  for (SInt32 pairs = 1; pairs <= 48; ++pairs) {
    for (SInt32 samples : {(pairs + 1) / 2, pairs / 2}) {
      SCOPED_TRACE(::testing::Message() << pairs << " pairs, " << samples << " samples");
      for (int fill = 0; fill < 3; ++fill) {
        std::vector<UInt8> line(4 * size_t(pairs));
        bz_test::FillRandomBytes(line.data(), line.size(), rng);
        if (fill > 0)
          for (UInt8 &v : line) v = (v & 1) != 0 ? 255 : 0;
        GuardedBuffer cb0{size_t(samples)}, cr0{size_t(samples)}, cb1{size_t(samples), 1}, cr1{size_t(samples), 7},
            cb2{size_t(samples)}, cr2{size_t(samples)};
        Thin411(0, line, pairs, samples, &cb0, &cr0);
        Thin411(1, line, pairs, samples, &cb1, &cr1);
        Thin411(2, line, pairs, samples, &cb2, &cr2);
        if (samples > 0) {
          EXPECT_TRUE(bz_test::BytesEqual(cb0.data(), cb1.data(), size_t(samples), 1));
          EXPECT_TRUE(bz_test::BytesEqual(cr0.data(), cr1.data(), size_t(samples), 1));
          EXPECT_TRUE(bz_test::BytesEqual(cb0.data(), cb2.data(), size_t(samples), 1));
          EXPECT_TRUE(bz_test::BytesEqual(cr0.data(), cr2.data(), size_t(samples), 1));
        }
        for (GuardedBuffer *g : {&cb0, &cr0, &cb1, &cr1, &cb2, &cr2}) EXPECT_TRUE(g->CheckGuards());
      }
    }
  }
}

}  // namespace
