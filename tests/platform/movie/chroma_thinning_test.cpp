// The 4:2:0 encoders' chroma thinning: hand-computed rows (rounding down, clamping at both ends, luma
// ignored), and the SSE kernel against the scalar one on random and extreme lines of every width up to a few
// steps, with exact-size input lines and guarded outputs (nothing read or written outside a line).
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

}  // namespace
