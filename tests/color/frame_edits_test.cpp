#include "color/frame_edits.h"

#include "support/color_frames.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using bz_test::GuardedBuffer;
using bz_test::GuardedFrame;

bool IsBlack(const GuardedFrame &f, SInt32 x, SInt32 y) { return f.Chroma(x, y) == 128 && f.Luma(x, y) == 0; }

// --- Black ------------------------------------------------------------------------------------------------

TEST(ColorFrameEdits, BlackLineIsChroma128Luma0AndAccLeavesTheRemainder) {
  for (auto paint : {CO_PaintLineBlack, CO_PaintLineBlackAcc}) {
    GuardedFrame line(16, 1);
    bz_test::Fill2vuyConstant(line, 7, 7, 7);
    paint(16, line.data());
    for (SInt32 x = 0; x < 16; ++x) EXPECT_TRUE(IsBlack(line, x, 0)) << "pixel " << x;
    EXPECT_TRUE(line.CheckGuards());
  }
  // Width 20: the SSE version paints 16 pixels and leaves 4, so the dispatcher takes the scalar one.
  GuardedFrame acc(20, 1), uni(20, 1);
  bz_test::Fill2vuyConstant(acc, 7, 7, 7);
  bz_test::Fill2vuyConstant(uni, 7, 7, 7);
  CO_PaintLineBlackAcc(20, acc.data());
  CO_PaintLineBlackUni(0, 1, 20, uni.data());
  for (SInt32 x = 0; x < 20; ++x) {
    EXPECT_EQ(IsBlack(acc, x, 0), x < 16) << "pixel " << x;
    EXPECT_TRUE(IsBlack(uni, x, 0)) << "pixel " << x;
  }
}

TEST(ColorFrameEdits, BlackFramesAndBars) {
  for (auto paint : {CO_PaintFrameBlack, CO_PaintFrameBlackAcc}) {
    GuardedFrame frame(24, 3);
    bz_test::Fill2vuyConstant(frame, 1, 2, 3);
    paint(3, 24, frame.data());
    for (SInt32 y = 0; y < 3; ++y)
      for (SInt32 x = 0; x < 24; ++x) ASSERT_TRUE(IsBlack(frame, x, y));
    EXPECT_TRUE(frame.CheckGuards());
  }
  // Bars: columns start .. end - 1 of each row; out-of-range columns are limited to the row.
  struct Case {
    SInt32 start, end, firstBlack, endBlack;
  } const cases[] = {{8, 11, 8, 11}, {-3, 2, 0, 2}, {30, 99, 30, 32}, {5, 5, 0, 0}, {9, 4, 0, 0}};
  for (const Case &c : cases) {
    GuardedFrame frame(32, 4);
    bz_test::Fill2vuyConstant(frame, 60, 90, 200);
    CO_PaintVerticalBarBlack(4, 32, frame.data(), c.start, c.end);
    for (SInt32 y = 0; y < 4; ++y)
      for (SInt32 x = 0; x < 32; ++x)
        ASSERT_EQ(IsBlack(frame, x, y), x >= c.firstBlack && x < c.endBlack)
            << "bar " << c.start << ".." << c.end << " pixel " << x << " row " << y;
    EXPECT_TRUE(frame.CheckGuards());
  }
}

// --- Mirrors ----------------------------------------------------------------------------------------------

TEST(ColorFrameEdits, MirrorOfSmallLines) {
  // Width 6: pairs 0 and 2 trade chroma, pair 1 keeps its chroma while its lumas trade places.
  const UInt8 six[12] = {10, 1, 11, 2, 20, 3, 21, 4, 30, 5, 31, 6};
  const UInt8 sixMirrored[12] = {30, 6, 31, 5, 20, 4, 21, 3, 10, 2, 11, 1};
  // Width 5 (odd): chroma trades between pixels of the same parity.
  const UInt8 five[10] = {10, 1, 11, 2, 20, 3, 21, 4, 30, 5};
  const UInt8 fiveMirrored[10] = {30, 5, 21, 4, 20, 3, 11, 2, 10, 1};
  UInt8 line[12];
  std::memcpy(line, six, 12);
  CO_Flip2vuyLineHorizontal(6, line);
  EXPECT_EQ(0, std::memcmp(line, sixMirrored, 12));
  std::memcpy(line, five, 10);
  CO_Flip2vuyLineHorizontal(5, line);
  EXPECT_EQ(0, std::memcmp(line, fiveMirrored, 10));
}

// A block of 8 pixels mirrored by hand, for both paths: pairs reversed with Cb and Cr in their slots.
TEST(ColorFrameEdits, MirrorOfEightPixelsBothPaths) {
  UInt8 expected[16];
  UInt8 line[16];
  for (int i = 0; i < 16; ++i) line[i] = UInt8(i + 1);
  for (int k = 0; k < 4; ++k) {
    const UInt8 *src = line + 4 * (3 - k);
    expected[4 * k] = src[0];
    expected[4 * k + 1] = src[3];
    expected[4 * k + 2] = src[2];
    expected[4 * k + 3] = src[1];
  }
  for (auto flip : {CO_Flip2vuyLineHorizontal, CO_Flip2vuyLineHorizontalAcc}) {
    UInt8 work[16];
    std::memcpy(work, line, 16);
    flip(8, work);
    EXPECT_EQ(0, std::memcmp(work, expected, 16));
  }
}

TEST(ColorFrameEdits, MirrorPathsAgreeAndMirroringTwiceRestores) {
  BZ_KERNEL_SEED_TRACE();
  for (SInt32 width : {720, 16, 24, 48, 718, 721, 7, 2}) {
    SCOPED_TRACE(::testing::Message() << "width " << width);
    GuardedFrame input(width, 3);
    bz_test::Fill2vuyRandom(input, bz_test::Rng());
    GuardedFrame scalar = input;
    CO_FlipFrameHorizontal(3, width, scalar.data());
    // Luma reversed exactly.
    for (SInt32 x = 0; x < width; ++x) ASSERT_EQ(scalar.Luma(x, 1), input.Luma(width - 1 - x, 1));
    if ((width & 7) == 0) {
      GuardedFrame acc = input;
      CO_FlipFrameHorizontalAcc(3, width, acc.data());
      EXPECT_TRUE(bz_test::Frames2vuyAgree(scalar, acc, bz_test::ExactBytes()));
      EXPECT_TRUE(acc.CheckGuards());
    }
    for (Boolean sse : {0, 1}) {
      GuardedFrame uni = input;
      CO_FlipFrameHorizontalUni(0, sse, 3, width, uni.data());
      EXPECT_TRUE(bz_test::Frames2vuyAgree(scalar, uni, bz_test::ExactBytes()));
      CO_FlipFrameHorizontalUni(0, sse, 3, width, uni.data());
      EXPECT_TRUE(bz_test::Frames2vuyAgree(input, uni, bz_test::ExactBytes()));
      EXPECT_TRUE(uni.CheckGuards());
    }
  }
}

TEST(ColorFrameEdits, VerticalFlipKeepsAnOddLastLine) {
  for (SInt32 height : {5, 4, 1}) {
    GuardedFrame frame(8, height);
    bz_test::Fill2vuyConstant(frame, 128, 0, 128);
    for (SInt32 y = 0; y < height; ++y)
      for (SInt32 x = 0; x < 8; ++x) frame.Luma(x, y) = UInt8(10 * y);
    GuardedBuffer temp(16);
    CO_FlipFrameVertical(height, 8, frame.data(), temp.data());
    const SInt32 mirrored = (height / 2) * 2;
    for (SInt32 y = 0; y < height; ++y) {
      const SInt32 from = y < mirrored ? mirrored - 1 - y : y;
      EXPECT_EQ(frame.Luma(3, y), 10 * from) << "height " << height << " line " << y;
    }
    EXPECT_TRUE(frame.CheckGuards());
    EXPECT_TRUE(temp.CheckGuards());
  }
}

// --- Chroma shift -----------------------------------------------------------------------------------------

TEST(ColorFrameEdits, ShiftChromaMovesEveryChromaOnePixelRight) {
  // Cb0 Y0 Cr0 Y1 Cb2 Y2 Cr2 Y3 -> Cr0 Y0 Cb0 Y1 Cr0 Y2 Cb2 Y3.
  UInt8 line[8] = {'b', 0, 'r', 1, 'B', 2, 'R', 3};
  const UInt8 expected[8] = {'r', 0, 'b', 1, 'r', 2, 'B', 3};
  CO_ShiftChromaLine(4, line);
  EXPECT_EQ(0, std::memcmp(line, expected, 8));

  // The frame is one long line: each row's first chroma comes from the row above; only the frame's first
  // pixel takes the old chroma of the second.
  GuardedFrame frame(4, 3);
  for (SInt32 y = 0; y < 3; ++y)
    for (SInt32 x = 0; x < 4; ++x) {
      frame.Chroma(x, y) = UInt8(10 * y + x);
      frame.Luma(x, y) = UInt8(100 + 10 * y + x);
    }
  CO_ShiftFrameChroma(3, 4, frame.data());
  EXPECT_EQ(frame.Chroma(0, 0), 1);
  for (SInt32 y = 0; y < 3; ++y)
    for (SInt32 x = 0; x < 4; ++x) {
      if (x > 0 || y > 0) {
        EXPECT_EQ(frame.Chroma(x, y), x > 0 ? 10 * y + x - 1 : 10 * (y - 1) + 3) << x << "," << y;
      }
      EXPECT_EQ(frame.Luma(x, y), 100 + 10 * y + x);
    }
  EXPECT_TRUE(frame.CheckGuards());

  // Lines of two and one pixel: nothing past them is read or written.
  GuardedFrame two(2, 1), one(1, 1);
  two.Chroma(0, 0) = 'b';
  two.Chroma(1, 0) = 'r';
  one.Chroma(0, 0) = 'b';
  CO_ShiftChromaLine(2, two.data());
  CO_ShiftChromaLine(1, one.data());
  EXPECT_EQ(two.Chroma(0, 0), 'r');
  EXPECT_EQ(two.Chroma(1, 0), 'b');
  EXPECT_EQ(one.Chroma(0, 0), 'b');
  EXPECT_TRUE(two.CheckGuards());
  EXPECT_TRUE(one.CheckGuards());
}

// --- Vertical filters -------------------------------------------------------------------------------------

// A one-column frame (width 1 keeps the arithmetic visible) with the given chroma or luma per row.
GuardedFrame Column(const std::vector<int> &values, bool luma) {
  GuardedFrame f(2, SInt32(values.size()));
  bz_test::Fill2vuyConstant(f, 128, 77, 128);
  for (size_t y = 0; y < values.size(); ++y) (luma ? f.Luma(0, SInt32(y)) : f.Chroma(0, SInt32(y))) = UInt8(values[y]);
  return f;
}

TEST(ColorFrameEdits, VerticalChromaFilterWeightsAndEdges) {
  struct Case {
    std::vector<int> in, out;
  } const cases[] = {
      {{0, 0, 80, 0, 0}, {10, 20, 20, 20, 10}},
      // Rounding constant 3: a sum of 4 stays 0 (it would be 1 with 4).
      {{0, 0, 0, 0, 4}, {0, 0, 0, 1, 2}},
      {{90, 90, 90}, {90, 90, 90}},
      {{200}, {200}},
  };
  for (const Case &c : cases) {
    GuardedFrame f = Column(c.in, false);
    const SInt32 h = SInt32(c.in.size());
    GuardedBuffer lineBuffer(size_t(h) + 4);
    CO_FilterVertChromaLine(2, h, f.data(), 0, lineBuffer.data());
    for (SInt32 y = 0; y < h; ++y) {
      EXPECT_EQ(f.Chroma(0, y), c.out[y]) << "row " << y;
      EXPECT_EQ(f.Luma(0, y), 77);
      EXPECT_EQ(f.Chroma(1, y), 128) << "other column untouched";
    }
    EXPECT_TRUE(lineBuffer.CheckGuards());
    EXPECT_TRUE(f.CheckGuards());
  }
  // The frame routine filters every column (Cb and Cr columns alike).
  GuardedFrame frame(4, 5);
  bz_test::Fill2vuyConstant(frame, 128, 50, 128);
  for (SInt32 x = 0; x < 4; ++x) frame.Chroma(x, 2) = 208;
  GuardedBuffer lineBuffer(9);
  CO_FilterFrameVertChroma(4, 5, frame.data(), lineBuffer.data());
  for (SInt32 x = 0; x < 4; ++x) {
    EXPECT_EQ(frame.Chroma(x, 2), (128 * 2 + 2 * (128 + 208 + 128) + 3) >> 3);
    EXPECT_EQ(frame.Chroma(x, 0), (128 * 7 + 208 + 3) >> 3);
  }
}

TEST(ColorFrameEdits, VerticalLumaFilterAllowances) {
  struct Case {
    const char *what;
    std::vector<int> in, out;
  } const cases[] = {
      // A one-line spike moves by a quarter of its smaller step; its neighbours stay.
      {"spike", {100, 100, 100, 200, 100, 100, 100}, {100, 100, 100, 175, 100, 100, 100}},
      {"dip", {100, 100, 100, 40, 100, 100, 100}, {100, 100, 100, 55, 100, 100, 100}},
      // Rows between their neighbours (a ramp) are not local extrema: unchanged. The end rows are extrema
      // against their padding (which repeats the same field) and move by a quarter of their step.
      {"ramp", {10, 30, 50, 70, 90, 110}, {15, 30, 50, 70, 90, 105}},
      // Two fields of different brightness: each row already sits at its own field's mean.
      {"fields", {100, 50, 100, 50, 100, 50}, {100, 50, 100, 50, 100, 50}},
      // Allowance limits the pull: the step to one neighbour is small.
      {"small step", {100, 100, 100, 200, 190, 100, 100}, {100, 100, 100, 198, 190, 100, 100}},
      // Tiny frames stay inside their rows.
      {"one line", {50}, {50}},
      {"two lines", {50, 200}, {50, 200}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    GuardedFrame f = Column(c.in, true);
    const SInt32 h = SInt32(c.in.size());
    GuardedBuffer lineBuffer(size_t(h) + 4);
    CO_FilterVertBrLine(2, h, f.data(), 0, lineBuffer.data());
    for (SInt32 y = 0; y < h; ++y) {
      EXPECT_EQ(f.Luma(0, y), c.out[y]) << "row " << y;
      EXPECT_EQ(f.Chroma(0, y), 128);
      EXPECT_EQ(f.Luma(1, y), 77) << "other column untouched";
    }
    EXPECT_TRUE(lineBuffer.CheckGuards());
    EXPECT_TRUE(f.CheckGuards());
  }
  GuardedFrame frame(3, 7);
  bz_test::Fill2vuyConstant(frame, 128, 100, 128);
  for (SInt32 x = 0; x < 3; ++x) frame.Luma(x, 3) = 200;
  GuardedBuffer lineBuffer(11);
  CO_FilterFrameVertBr(3, 7, frame.data(), lineBuffer.data());
  for (SInt32 x = 0; x < 3; ++x) EXPECT_EQ(frame.Luma(x, 3), 175);
}

// --- Odd widths and heights -------------------------------------------------------------------------------

TEST(ColorFrameEdits, MakeLinesEvenWidthRepeatsLastLumaAndCr) {
  BZ_KERNEL_SEED_TRACE();
  const SInt32 width = 719, height = 3;
  GuardedFrame packed(width, height);
  bz_test::Fill2vuyRandom(packed, bz_test::Rng());
  for (bool inPlace : {false, true}) {
    SCOPED_TRACE(inPlace ? "in place" : "out of place");
    GuardedFrame wide(720, height);  // rows of 1440 bytes
    if (inPlace) std::memcpy(wide.data(), packed.data(), size_t(width) * 2 * height);
    CO_2vuyFrameMakeLinesEvenWidth(width, height, inPlace ? wide.data() : packed.data(), wide.data());
    for (SInt32 y = 0; y < height; ++y) {
      ASSERT_EQ(0, std::memcmp(wide.Row(y), packed.Row(y), size_t(width) * 2)) << "row " << y;
      EXPECT_EQ(wide.Luma(719, y), packed.Luma(718, y));
      EXPECT_EQ(wide.Chroma(719, y), packed.Chroma(717, y));  // the Cr of pixels 716 and 717
    }
    EXPECT_TRUE(wide.CheckGuards());
  }
  // The same fill on a frame that already has the wider rows; a one-pixel row takes chroma 128.
  GuardedFrame wide(720, 2);
  bz_test::Fill2vuyRandom(wide, bz_test::Rng());
  GuardedFrame before = wide;
  CO_2vuyFrameCopyLastPixelOnOddWidthLines(719, 2, wide.data());
  for (SInt32 y = 0; y < 2; ++y) {
    EXPECT_EQ(0, std::memcmp(wide.Row(y), before.Row(y), 1438));
    EXPECT_EQ(wide.Luma(719, y), before.Luma(718, y));
    EXPECT_EQ(wide.Chroma(719, y), before.Chroma(717, y));
  }
  GuardedFrame one(2, 2);
  bz_test::Fill2vuyConstant(one, 40, 60, 200);
  CO_2vuyFrameMakeLinesEvenWidth(1, 2, one.data(), one.data());
  EXPECT_EQ(one.Chroma(1, 1), 128);
  EXPECT_EQ(one.Luma(1, 1), 60);
  EXPECT_TRUE(one.CheckGuards());
  // Even widths return at once.
  GuardedFrame even(8, 2);
  bz_test::Fill2vuyRandom(even, bz_test::Rng());
  GuardedFrame evenBefore = even;
  CO_2vuyFrameMakeLinesEvenWidth(8, 2, even.data(), even.data());
  CO_2vuyFrameCopyLastPixelOnOddWidthLines(8, 2, even.data());
  EXPECT_TRUE(bz_test::Frames2vuyAgree(evenBefore, even, bz_test::ExactBytes()));
}

TEST(ColorFrameEdits, CopyLastInterlacedLineTakesTheSameField) {
  struct Case {
    SInt32 width, height, source;  // source -1: nothing copied
  } const cases[] = {{8, 5, 3}, {8, 4, -1}, {7, 3, 1}, {8, 1, 0}};
  for (const Case &c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height);
    const SInt32 rowBytes = c.width * 2 + ((c.width & 1) ? 2 : 0);
    GuardedFrame frame(c.width, c.height + 1, rowBytes, 0, rowBytes);
    for (SInt32 y = 0; y <= c.height; ++y) std::memset(frame.Row(y), 10 + y, size_t(rowBytes));
    CO_2vuyFrameCopyLastInterlacedLine(c.width, c.height, frame.data());
    for (SInt32 y = 0; y < c.height; ++y) EXPECT_EQ(frame.Row(y)[0], 10 + y);
    const int expected = c.source < 0 ? 10 + c.height : 10 + c.source;
    for (SInt32 i = 0; i < rowBytes; ++i) ASSERT_EQ(frame.Row(c.height)[i], expected) << "byte " << i;
    EXPECT_TRUE(frame.CheckGuards());
  }
}

}  // namespace
