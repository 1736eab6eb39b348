// Varying brightness's frame kernels: the block grid, the histogram of block ratios, the order in which
// frames and fields fill the ratios, and the luma correction.
#include "methods/varbr.h"

#include "engine/runtime/stage_access.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A padded '2vuy' frame of W x H pixels, chroma 128 and luma y everywhere.
struct Frame {
  SInt32 width, height;
  std::vector<UInt8> bytes;
  Frame(SInt32 w, SInt32 h, UInt8 y) : width(w), height(h), bytes(size_t(w) * size_t(h) * 2) {
    for (size_t i = 0; i < bytes.size(); i += 2) {
      bytes[i] = 128;
      bytes[i + 1] = y;
    }
  }
  UInt8 &Luma(SInt32 x, SInt32 line) { return bytes[(size_t(line) * size_t(width) + size_t(x)) * 2 + 1]; }
  UInt8 &Chroma(SInt32 x, SInt32 line) { return bytes[(size_t(line) * size_t(width) + size_t(x)) * 2]; }
  // Sets the luma of every line of one field (0 top, 1 bottom).
  void FieldLuma(int field, UInt8 y) {
    for (SInt32 line = field; line < height; line += 2)
      for (SInt32 x = 0; x < width; ++x) Luma(x, line) = y;
  }
  // Sets the luma of block (bh, bv) of the measuring grid.
  void BlockLuma(SInt32 bh, SInt32 bv, SInt32 blockSize, UInt8 y) {
    for (SInt32 line = 0; line < blockSize; ++line)
      for (SInt32 x = 0; x < blockSize; ++x) Luma(32 + bh * blockSize + x, 16 + bv * blockSize + line) = y;
  }
};

TEST(VbGetBlockGrid, BlockSizeFollowsThePicture) {
  struct Case {
    SInt32 inWidth, inHeight;
    Boolean interlaced;
    SInt32 numBlocksH, numBlocksV, blockSize;
  };
  const Case cases[] = {
      {720, 480, false, 21, 14, 32},  // 736 x 496 buffers
      {720, 576, true, 21, 18, 32},
      {320, 240, false, 17, 14, 16},  // 56 blocks of 32 are too few
      {1920, 1080, false, 58, 33, 32},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.inWidth) + "x" + std::to_string(c.inHeight));
    SInt32 height = 0, width = 0;
    ASSERT_EQ(BZ_GetBufferSize(c.inHeight, c.inWidth, c.interlaced, &height, &width, nullptr), noErr);
    SInt32 h = 0, v = 0, size = 0;
    BZ_VbGetBlockGrid(width, height, &h, &v, &size);
    EXPECT_EQ(h, c.numBlocksH);
    EXPECT_EQ(v, c.numBlocksV);
    EXPECT_EQ(size, c.blockSize);
    // The grid stays 32 pixels and 16 lines inside the buffer.
    EXPECT_LE(32 + h * size, width - 32);
    EXPECT_LE(16 + v * size, height - 16);
  }
  SInt32 h = 0, v = 0;
  BZ_VbGetBlockGrid(64, 56, &h, &v, nullptr);  // a 48 x 40 picture
  EXPECT_TRUE(h <= 0 || v <= 0) << "no whole block fits";
}

// 720 x 480 progressive: 21 x 14 = 294 blocks of 32.
TEST(VbFindFramesRelBr, ModeOfTheBlockRatios) {
  constexpr SInt32 W = 736, H = 496, kH = 21, kV = 14, kSize = 32;
  struct Case {
    const char *name;
    UInt8 y1, y2;          // luma of the two pictures
    SInt32 outlierBlocks;  // blocks black in picture 1 and 200 in picture 2
    float expected;
  };
  const Case cases[] = {
      // Second pass: the largest ratio (1) is put into bin 254, so the result is 254.5 / 254.
      {"equal pictures", 100, 100, 0, 254.5f / 254.0f},
      {"ten per cent brighter", 100, 110, 0, 1.1f * 254.5f / 254.0f},
      // One or two of 294 blocks in bin 255 (fewer than 1 %): the histogram of steps of 1/8 stands.
      {"one block in bin 255", 100, 100, 1, 8.5f / 8.0f},
      {"two blocks in bin 255", 100, 110, 2, 9.5f / 8.0f},
      // Three or more (1 % and over): rescaled by the largest ratio, 200 x 1024 / 1, and everything else
      // falls into bin 0.
      {"three blocks in bin 255", 100, 100, 3, 0.5f * 200.0f * 1024.0f / 254.0f},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Frame a(W, H, c.y1), b(W, H, c.y2);
    for (SInt32 k = 0; k < c.outlierBlocks; ++k) {
      a.BlockLuma(k, 0, kSize, 0);
      b.BlockLuma(k, 0, kSize, 200);
    }
    EXPECT_NEAR(BZ_FindFramesRelBr(a.bytes.data(), b.bytes.data(), kH, kV, kSize, 2 * W, false), c.expected,
                c.expected * 1e-5);
  }
}

TEST(VbFindFramesRelBr, BlackBlockCountsAsSumOne) {
  // Every block of picture 1 black, picture 2 at 1: each ratio is 32 x 32 / 1, and the second pass puts it
  // into bin 254.
  constexpr SInt32 W = 736, H = 496;
  Frame a(W, H, 0), b(W, H, 1);
  EXPECT_NEAR(BZ_FindFramesRelBr(a.bytes.data(), b.bytes.data(), 21, 14, 32, 2 * W, false),
              1024.0f * 254.5f / 254.0f, 0.01f);
}

// Frame n has luma 60 + 10 n (top field) and 65 + 10 n (bottom field); every ratio is measured exactly
// up to the bin width of the second pass (the result is ratio x 254.5 / 254).
TEST(VbFindRelBr, FramesAndFieldsFillTheRatiosInTemporalOrder) {
  constexpr SInt32 kFrames = 5;
  struct Case {
    const char *name;
    Boolean interlaced, topFieldFirst;
  };
  const Case cases[] = {{"progressive", false, false}, {"top field first", true, true}, {"bottom field first", true, false}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    SInt32 height = 0, width = 0;
    ASSERT_EQ(BZ_GetBufferSize(240, 320, c.interlaced, &height, &width, nullptr), noErr);
    std::vector<Frame> frames;
    for (SInt32 n = 0; n < kFrames; ++n) {
      frames.emplace_back(width, height, UInt8(60 + 10 * n));
      if (c.interlaced) frames.back().FieldLuma(1, UInt8(65 + 10 * n));
    }
    std::vector<float> relBr(2 * kFrames, -1.0f);
    BZ_VbParams params{};
    params.width = width;
    params.height = height;
    params.numFrames = kFrames;
    params.interlaced = c.interlaced;
    params.topFieldFirst = c.topFieldFirst;
    params.relBr = relBr.data();
    // Out of order, as the workers finish.
    for (SInt32 n : {3, 0, 4, 1, 2})
      BZ_FindRelBr(&params, n > 0 ? frames[size_t(n - 1)].bytes.data() : nullptr, frames[size_t(n)].bytes.data(), n);

    auto top = [](SInt32 n) { return 60.0f + 10.0f * float(n); };
    auto bottom = [](SInt32 n) { return 65.0f + 10.0f * float(n); };
    std::vector<float> expected(2 * kFrames, -1.0f);
    for (SInt32 n = 0; n < kFrames; ++n) {
      if (!c.interlaced) {
        if (n > 0) expected[size_t(n - 1)] = top(n) / top(n - 1);
        continue;
      }
      auto first = [&](SInt32 f) { return c.topFieldFirst ? top(f) : bottom(f); };
      auto second = [&](SInt32 f) { return c.topFieldFirst ? bottom(f) : top(f); };
      if (n > 0) expected[size_t(2 * n - 1)] = first(n) / second(n - 1);
      expected[size_t(2 * n)] = second(n) / first(n);
    }
    const SInt32 filled = c.interlaced ? 2 * kFrames - 1 : kFrames - 1;
    for (SInt32 i = 0; i < 2 * kFrames; ++i) {
      if (i >= filled) {
        EXPECT_EQ(relBr[size_t(i)], -1.0f) << "entry " << i << " is past the movie";
        continue;
      }
      EXPECT_NEAR(relBr[size_t(i)], expected[size_t(i)] * 254.5f / 254.0f, 1e-4) << "entry " << i;
    }
  }
}

TEST(VbCorrRelBr, MultipliesLumaOnlyEverywhere) {
  constexpr SInt32 W = 96, H = 64;
  Frame in(W, H, 0);
  // Luma 0 ... 255 along the lines, odd chroma, margins included.
  for (SInt32 line = 0; line < H; ++line)
    for (SInt32 x = 0; x < W; ++x) {
      in.Luma(x, line) = UInt8((x * 3 + line) & 255);
      in.Chroma(x, line) = UInt8(17 + x);
    }
  const float factors[] = {1.0f, 1.2f, 0.5f};
  BZ_VbParams params{};
  params.width = W;
  params.height = H;
  params.numFrames = 3;
  params.factors = factors;
  params.numFactors = 3;
  Frame out(W, H, 7);
  BZ_CorrRelBr(&params, in.bytes.data(), out.bytes.data(), 1, false);
  SInt32 saturated = 0;
  for (SInt32 line = 0; line < H; ++line)
    for (SInt32 x = 0; x < W; ++x) {
      const float exact = float(in.Luma(x, line)) * 1.2f;
      const UInt8 expected = exact >= 255.0f ? 255 : UInt8(exact);
      ASSERT_EQ(out.Luma(x, line), expected) << "x " << x << " line " << line;
      ASSERT_EQ(out.Chroma(x, line), in.Chroma(x, line)) << "chroma is never changed";
      if (expected == 255 && in.Luma(x, line) != 255) ++saturated;
    }
  EXPECT_GT(saturated, 0) << "bright luma saturates";
  EXPECT_EQ(out.Luma(0, 0), 0);
  EXPECT_EQ(out.Luma(W - 1, H - 1), UInt8(float((3 * (W - 1) + H - 1) & 255) * 1.2f)) << "the padding too";
}

TEST(VbCorrRelBr, FieldsTakeTheirOwnFactors) {
  constexpr SInt32 W = 64, H = 48;
  // Frame 1: entries 2 (first field in time) and 3 (second).
  const float factors[] = {1.0f, 1.0f, 0.5f, 2.0f};
  for (Boolean topFieldFirst : {true, false}) {
    SCOPED_TRACE(topFieldFirst ? "top field first" : "bottom field first");
    Frame in(W, H, 100), out(W, H, 0);
    BZ_VbParams params{};
    params.width = W;
    params.height = H;
    params.numFrames = 2;
    params.interlaced = true;
    params.topFieldFirst = topFieldFirst;
    params.factors = factors;
    params.numFactors = 4;
    BZ_CorrRelBr(&params, in.bytes.data(), out.bytes.data(), 1, true);
    BZ_CorrRelBr(&params, in.bytes.data(), out.bytes.data(), 1, false);
    const UInt8 topLuma = topFieldFirst ? 50 : 200, bottomLuma = topFieldFirst ? 200 : 50;
    for (SInt32 line = 0; line < H; ++line)
      for (SInt32 x = 0; x < W; ++x) ASSERT_EQ(out.Luma(x, line), line % 2 == 0 ? topLuma : bottomLuma) << line;
  }
}

}  // namespace
