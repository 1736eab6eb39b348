// The difference-picture kernel: exact values on both paths, the SSE version against the scalar one on a table
// of frame sizes (nothing written outside the frame), and the dispatcher's choice.
#include "engine/runtime/diff_lines.h"

#include "engine/runtime/project_types.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

enum class Path { kScalar, kAcc };

std::vector<UInt8> Diff(Path path, SInt32 height, SInt32 width, const std::vector<UInt8> &dirty,
                        const std::vector<UInt8> &clean, float factorC, float factorY, float chromaInLuma,
                        SInt32 mediumGray) {
  std::vector<UInt8> out(dirty.size(), 0xEE);
  if (path == Path::kScalar)
    BZ_MakeDiffLines(height, width, dirty.data(), clean.data(), out.data(), factorC, factorY, chromaInLuma, mediumGray);
  else
    BZ_MakeDiffLinesAcc(height, width, dirty.data(), clean.data(), out.data(), factorC, factorY, chromaInLuma,
                        mediumGray);
  return out;
}

TEST(EngineDiffLines, IdenticalFramesGiveMidGreyOnBothPaths) {
  std::vector<UInt8> frame(size_t(24) * 4 * 2);
  bz_test::FillRandomBytes(frame.data(), frame.size(), bz_test::Rng());
  for (Path path : {Path::kScalar, Path::kAcc}) {
    const std::vector<UInt8> out = Diff(path, 4, 24, frame, frame, 3.0f, 3.0f, 0.0f, 125);
    for (size_t i = 0; i < out.size(); i += 2) {
      ASSERT_EQ(out[i], 128) << "chroma at " << i;
      ASSERT_EQ(out[i + 1], 125) << "luma at " << i;
    }
  }
}

// One line of eight pixels with chosen differences, checked on both paths.
TEST(EngineDiffLines, ExactValuesOfShortLines) {
  struct Case {
    const char *name;
    std::vector<int> dC, dY;  // clean - dirty per pixel
    float factorC, factorY, chromaInLuma;
    std::vector<int> chroma, scalarLuma, accLuma;
  } const cases[] = {
      {"scale 1", {0, 4, -4, 0, 0, 0, 0, 0}, {10, 10, -10, -10, 0, 0, 0, 0}, 1, 1, 0,
       {128, 132, 124, 128, 128, 128, 128, 128}, {130, 135, 125, 115, 120, 125, 125, 125},
       {130, 135, 125, 115, 120, 125, 125, 125}},
      // Far beyond the scale: limited to 255 and 0 before the smoothing.
      {"limits", {100, -100, 0, 0, 0, 0, 0, 0}, {130, -110, 0, 0, 0, 0, 0, 0}, 3, 3, 0,
       {255, 0, 128, 128, 128, 128, 128, 128}, {190, 127, 62, 125, 125, 125, 125, 125},
       {190, 128, 63, 125, 125, 125, 125, 125}},
      // Chroma only: the chroma difference is drawn into the luma as well.
      {"chroma in luma", {8, 8, -8, -8, 0, 0, 0, 0}, {50, 50, 50, 50, 0, 0, 0, 0}, 2, 0, 1,
       {144, 144, 112, 112, 128, 128, 128, 128}, {129, 133, 125, 117, 121, 125, 125, 125},
       {129, 133, 125, 117, 121, 125, 125, 125}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<UInt8> dirty(16), clean(16);
    for (int i = 0; i < 8; ++i) {
      dirty[size_t(2 * i)] = UInt8(128);
      dirty[size_t(2 * i + 1)] = UInt8(120);
      clean[size_t(2 * i)] = UInt8(128 + c.dC[size_t(i)]);
      clean[size_t(2 * i + 1)] = UInt8(120 + c.dY[size_t(i)]);
    }
    for (Path path : {Path::kScalar, Path::kAcc}) {
      SCOPED_TRACE(path == Path::kScalar ? "scalar" : "acc");
      const std::vector<UInt8> out = Diff(path, 1, 8, dirty, clean, c.factorC, c.factorY, c.chromaInLuma, 125);
      const std::vector<int> &luma = path == Path::kScalar ? c.scalarLuma : c.accLuma;
      for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(out[size_t(2 * i)], c.chroma[size_t(i)]) << "chroma of pixel " << i;
        EXPECT_EQ(out[size_t(2 * i + 1)], luma[size_t(i)]) << "luma of pixel " << i;
      }
    }
  }
}

// ---- Both paths over frame sizes ----

struct SizeCase {
  const char *name;  // also the test's name
  SInt32 height, width;
  float factorC, factorY, chromaInLuma;
};

const SizeCase kSizeCases[] = {
    {"OneGroup", 1, 8, 1, 1, 0},
    {"Narrow", 3, 24, 3, 3, 0},
    {"PalWorkingRows", 8, 736, 0.75f, 2.5f, 0},
    {"HdWorkingRows", 4, 1936, 3, 3, 0},
    {"ChromaInLuma", 5, 64, 2, 0, 1},
    {"LumaOnly", 2, 48, 0, 3, 0},
    {"SaturatingFactors", 4, 40, 200.0f, 200.0f, 0},
    {"WidthNotAMultipleOf8", 3, 12, 3, 3, 0},
};

class DiffLinesPaths : public ::testing::TestWithParam<SizeCase> {
 protected:
  void SetUp() override { savedSSE3_ = gBZ.procInfo.hasSSE3; }
  void TearDown() override { gBZ.procInfo.hasSSE3 = savedSSE3_; }

  // One run of the path into a guarded buffer; fails when anything outside the frame was written.
  std::vector<UInt8> Run(const std::vector<UInt8> &dirty, const std::vector<UInt8> &clean,
                         void (*kernel)(SInt32, SInt32, const UInt8 *, const UInt8 *, UInt8 *, float, float, float,
                                        SInt32)) {
    const SizeCase &c = GetParam();
    bz_test::GuardedBuffer out(dirty.size());
    kernel(c.height, c.width, dirty.data(), clean.data(), out.data(), c.factorC, c.factorY, c.chromaInLuma, 125);
    EXPECT_TRUE(out.CheckGuards());
    return std::vector<UInt8>(out.data(), out.data() + out.size());
  }

  Boolean savedSSE3_ = false;
};

TEST_P(DiffLinesPaths, AccAgreesWithScalarAndTheDispatcherTakesTheRightOne) {
  const SizeCase &c = GetParam();
  const size_t bytes = size_t(c.height) * size_t(c.width) * 2;
  std::vector<UInt8> dirty(bytes), clean(bytes);
  bz_test::FillRandomBytes(dirty.data(), bytes, bz_test::Rng());
  // Mostly small differences, as cleaning makes them, and some large ones.
  for (size_t i = 0; i < bytes; ++i)
    clean[i] = UInt8(std::clamp<int>(dirty[i] + int(bz_test::Rng()() % 21) - 10 +
                                         (i % 97 == 0 ? int(bz_test::Rng()() % 200) - 100 : 0),
                                     0, 255));
  const std::vector<UInt8> scalar = Run(dirty, clean, BZ_MakeDiffLines);
  const bool grouped = c.width % 8 == 0;
  if (grouped) {
    const std::vector<UInt8> acc = Run(dirty, clean, BZ_MakeDiffLinesAcc);
    // The luma mean may differ by the rounding of its two inputs and of the mean itself.
    EXPECT_TRUE(bz_test::BytesEqual(scalar.data(), acc.data(), bytes, 1, 0, 2)) << "BZ_MakeDiffLinesAcc";
  }
  gBZ.procInfo.hasSSE3 = false;
  EXPECT_TRUE(bz_test::BytesEqual(scalar.data(), Run(dirty, clean, BZ_MakeDiffLinesUni).data(), bytes, 1))
      << "BZ_MakeDiffLinesUni without SSE3 takes the scalar kernel";
  gBZ.procInfo.hasSSE3 = true;
  const std::vector<UInt8> expected = grouped ? Run(dirty, clean, BZ_MakeDiffLinesAcc) : scalar;
  EXPECT_TRUE(bz_test::BytesEqual(expected.data(), Run(dirty, clean, BZ_MakeDiffLinesUni).data(), bytes, 1))
      << "BZ_MakeDiffLinesUni with SSE3 takes " << (grouped ? "the SSE kernel" : "the scalar kernel");
}

INSTANTIATE_TEST_SUITE_P(Sizes, DiffLinesPaths, ::testing::ValuesIn(kSizeCases),
                         [](const ::testing::TestParamInfo<SizeCase> &info) { return std::string(info.param.name); });

// The two paths round the luma mean differently, so the dispatcher's choice shows in one pixel.
TEST(EngineDiffLines, DispatcherFollowsTheProcessorFlag) {
  const Boolean saved = gBZ.procInfo.hasSSE3;
  std::vector<UInt8> dirty(16, 128), clean(16, 128);
  clean[1] = 125;  // Yout 122
  clean[3] = 141;  // Yout 138: (122 + 138) / 2 = 130 either way
  clean[5] = 132;  // Yout 129: (138 + 129) / 2 = 133.5 -> 133 scalar, 134 SSE
  for (Boolean sse : {false, true}) {
    gBZ.procInfo.hasSSE3 = sse;
    std::vector<UInt8> out(16);
    BZ_MakeDiffLinesUni(1, 8, dirty.data(), clean.data(), out.data(), 1, 1, 0, 125);
    EXPECT_EQ(out[5], sse ? 134 : 133) << (sse ? "SSE path" : "scalar path");
  }
  gBZ.procInfo.hasSSE3 = saved;
}

}  // namespace
