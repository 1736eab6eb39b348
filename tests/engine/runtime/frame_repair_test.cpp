#include "engine/runtime/frame_repair.h"

#include "platform/core/mac_errors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

typedef std::vector<UInt8> Frame;

// A frame of `rows` rows of `width` pixels whose every byte tells its row, column and kind apart.
Frame PatternFrame(SInt32 width, SInt32 rows) {
  Frame f(size_t(width) * 2 * size_t(rows));
  for (SInt32 y = 0; y < rows; ++y) {
    for (SInt32 x = 0; x < width; ++x) {
      f[(size_t(y) * width + x) * 2] = UInt8(x * 7 + y * 3);
      f[(size_t(y) * width + x) * 2 + 1] = UInt8(x * 5 + y * 11 + 1);
    }
  }
  return f;
}

struct Pix {
  int chroma, luma;
};
Pix At(const Frame &f, SInt32 width, SInt32 y, SInt32 x) {
  const size_t i = (size_t(y) * width + x) * 2;
  return {f[i], f[i + 1]};
}
Pix Mean(Pix a, Pix b) { return {(a.chroma + b.chroma) / 2, (a.luma + b.luma) / 2}; }

TEST(EngineFrameRepair, DreadLineRowsAreShiftedAndInterpolated) {
  for (SInt32 width : {260, 720}) {
    SCOPED_TRACE("width " + std::to_string(width));
    const SInt32 rows = kBZ_DreadLineMinRows;
    const Frame before = PatternFrame(width, rows);
    Frame after = before;
    ASSERT_EQ(noErr, BZ_RepairDreadLine(width, after.data()));
    const SInt32 W = width;
    auto old = [&](SInt32 y, SInt32 x) { return At(before, W, y, x); };
    const Pix mended = Mean(old(171, W - 250), old(177, W - 250));

    struct Case {
      const char *what;
      SInt32 y, x;
      Pix expected;
    } cases[] = {
        {"first pixel from 28 to its right", 173, 0, old(173, 28)},
        {"last pixel of the long shift", 173, W - 125, old(173, W - 97)},
        {"first pixel of the short shift", 173, W - 124, old(173, W - 110)},
        {"just before the right mean", 173, W - 37, old(173, W - 23)},
        {"right mean, first", 173, W - 36, Mean(old(171, W - 36), old(175, W - 36))},
        {"right mean, last", 173, W - 17, Mean(old(171, W - 17), old(175, W - 17))},
        {"short shift after the mean", 173, W - 16, old(173, W - 2)},
        {"last pixel of the short shift", 173, W - 15, old(173, W - 1)},
        {"untouched right end", 173, W - 14, old(173, W - 14)},
        {"left mean, first", 173, W - 258, Mean(old(171, W - 258), old(177, W - 258))},
        {"left mean, last", 173, W - 233, Mean(old(171, W - 233), old(177, W - 233))},
        {"after the left mean", 173, W - 232, old(173, W - 204)},
        {"row 175 from the mended row", 175, W - 250,
         {(mended.chroma + old(177, W - 250).chroma) / 2, mended.luma}},
        {"row 175 outside the 26 pixels", 175, W - 232, old(175, W - 232)},
        {"row 175 left end", 175, 0, old(175, 0)},
    };
    for (const Case &c : cases) {
      const Pix got = At(after, W, c.y, c.x);
      EXPECT_EQ(c.expected.chroma, got.chroma) << c.what;
      EXPECT_EQ(c.expected.luma, got.luma) << c.what;
    }
    // Every chroma byte of row 173 comes from a column of its own parity: Cb and Cr stay in place.
    for (SInt32 x = 0; x < W - 124; ++x) {
      if (x >= W - 258 && x <= W - 233) continue;
      EXPECT_EQ(old(173, x + 28).chroma, At(after, W, 173, x).chroma) << x;
    }
    // The other rows are as they were.
    for (SInt32 y = 0; y < rows; ++y) {
      if (y == 173 || y == 175) continue;
      const size_t row = size_t(y) * W * 2;
      EXPECT_TRUE(std::equal(before.begin() + row, before.begin() + row + W * 2, after.begin() + row)) << y;
    }
  }
}

TEST(EngineFrameRepair, DreadLineRefusesFramesItWouldReachOutOf) {
  // The narrowest frame: its first 26 pixels are the left mean; nothing beyond the rows it names changes.
  Frame narrow = PatternFrame(kBZ_DreadLineMinWidth, kBZ_DreadLineMinRows);
  const Frame original = narrow;
  ASSERT_EQ(noErr, BZ_RepairDreadLine(kBZ_DreadLineMinWidth, narrow.data()));
  const Pix a = At(original, kBZ_DreadLineMinWidth, 171, 0), b = At(original, kBZ_DreadLineMinWidth, 177, 0);
  EXPECT_EQ((a.luma + b.luma) / 2, At(narrow, kBZ_DreadLineMinWidth, 173, 0).luma);
  const size_t rowBytes = kBZ_DreadLineMinWidth * 2;
  EXPECT_TRUE(std::equal(narrow.begin() + 176 * rowBytes, narrow.end(), original.begin() + 176 * rowBytes));

  Frame f = PatternFrame(257, kBZ_DreadLineMinRows);
  const Frame copy = f;
  EXPECT_EQ(paramErr, BZ_RepairDreadLine(257, f.data()));
  EXPECT_EQ(paramErr, BZ_RepairDreadLine(0, f.data()));
  EXPECT_EQ(paramErr, BZ_RepairDreadLine(-720, f.data()));
  EXPECT_EQ(paramErr, BZ_RepairDreadLine(720, nullptr));
  EXPECT_EQ(copy, f);
}

// '2vuy' rows from pixel values (chroma, luma).
Frame Rows(SInt32 width, SInt32 rows, const std::vector<Pix> &pixels) {
  Frame f(size_t(width) * 2 * size_t(rows));
  for (size_t i = 0; i < f.size() / 2; ++i) {
    const Pix p = pixels[i % pixels.size()];
    f[2 * i] = UInt8(p.chroma);
    f[2 * i + 1] = UInt8(p.luma);
  }
  return f;
}

TEST(EngineFrameRepair, SanityCheckLegalisesEveryRowInPlaceOrIntoAnotherBuffer) {
  const SInt32 width = 6, rows = 3;
  // Greys and a mild colour, then out-of-gamut pixels: full blue at white luma, saturated red on black, luma
  // beyond the video range.
  const Frame legal = Rows(width, rows, {{128, 30}, {128, 30}, {128, 126}, {128, 126}, {136, 200}, {120, 200}});
  const Frame wild = Rows(width, rows, {{240, 235}, {16, 235}, {128, 250}, {128, 5}, {16, 16}, {240, 16}});
  struct Case {
    const char *name;
    const Frame *frame;
    bool changes;
  } cases[] = {{"legal", &legal, false}, {"out of gamut", &wild, true}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Frame out(c.frame->size(), 0xAA);
    ASSERT_EQ(noErr, BZ_YC_SanityCheckFrame(rows, width, c.frame->data(), out.data()));
    EXPECT_EQ(c.changes, out != *c.frame);
    // Each row on its own: every row of the input repeats the first, so do the output's.
    for (SInt32 y = 1; y < rows; ++y)
      EXPECT_TRUE(std::equal(out.begin(), out.begin() + width * 2, out.begin() + y * width * 2)) << y;
    // Legal output stays as it is.
    Frame again = out;
    ASSERT_EQ(noErr, BZ_YC_SanityCheckFrame(rows, width, again.data(), again.data()));
    EXPECT_EQ(out, again);
    // In place gives the same as into another buffer.
    Frame inPlace = *c.frame;
    ASSERT_EQ(noErr, BZ_YC_SanityCheckFrame(rows, width, inPlace.data(), inPlace.data()));
    EXPECT_EQ(out, inPlace);
  }
  // No row beyond `height` is touched.
  Frame out(wild.size(), 0xAA);
  ASSERT_EQ(noErr, BZ_YC_SanityCheckFrame(2, width, wild.data(), out.data()));
  EXPECT_TRUE(std::all_of(out.begin() + 2 * width * 2, out.end(), [](UInt8 b) { return b == 0xAA; }));
}

TEST(EngineFrameRepair, SanityCheckRefusesWhatIsNotAFrame) {
  Frame f(16, 128);
  EXPECT_EQ(paramErr, BZ_YC_SanityCheckFrame(1, 7, f.data(), f.data()));  // half a pixel pair
  EXPECT_EQ(paramErr, BZ_YC_SanityCheckFrame(-1, 8, f.data(), f.data()));
  EXPECT_EQ(paramErr, BZ_YC_SanityCheckFrame(1, 8, nullptr, f.data()));
  EXPECT_EQ(paramErr, BZ_YC_SanityCheckFrame(1, 8, f.data(), nullptr));
  EXPECT_EQ(noErr, BZ_YC_SanityCheckFrame(0, 8, f.data(), f.data()));
  EXPECT_EQ(Frame(16, 128), f);
}

}  // namespace
