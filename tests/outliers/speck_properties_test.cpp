// Speck properties: the box of a speck that fills its bounds, the diagonal box of a thin diagonal speck, the
// orientation (including the -pi of a wide axis-parallel box) and the orientation weight.
#include "outliers/speck_properties.h"

#include "general/memory_lists.h"
#include "outliers/outlier_stage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

TEST(OutliersSpeckProperties, BoxOrientationAndWeightByShape) {
  const SInt32 width = 16;
  const struct {
    const char *name;
    std::vector<std::pair<int, int>> pixels;  // (row, column), full coverage
    double orientation;
    double weight;
    bool boundsAsBox;
  } cases[] = {
      {"10 x 2 bar", {}, -kPi, 1.0, true},
      {"2 x 10 bar", {}, kPi / 2, 1.0, true},
      {"3 x 3 square", {}, -kPi, 0.001, true},  // not higher than wide: the top side
      {"diagonal line", {{2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}, {7, 7}}, 3 * kPi / 4, -1.0, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::pair<int, int>> pixels = c.pixels;
    if (pixels.empty()) {
      const int rows = c.name[0] == '1' ? 2 : c.name[0] == '2' ? 10 : 3;
      const int cols = c.name[0] == '1' ? 10 : c.name[0] == '2' ? 2 : 3;
      for (int r = 0; r < rows; ++r)
        for (int col = 0; col < cols; ++col) pixels.emplace_back(r + 1, col + 1);
    }
    std::vector<UInt16> data(size_t(width) * 16, 0);
    std::vector<UInt8> frame(data.size() * 2, 100);
    BZ_OuSpeck speck{};
    speck.rgn.numPixels = speck.rgn.numFirstDegreePixels = SInt32(pixels.size());
    ASSERT_EQ(GL_NewPtrClear(sizeof(SInt32) * pixels.size(), &speck.rgn.pixels), noErr);
    speck.rgn.bounds = Rect{32767, 32767, -32768, -32768};
    for (size_t i = 0; i < pixels.size(); ++i) {
      const SInt32 index = pixels[i].first * width + pixels[i].second;
      speck.rgn.pixels[i] = index;
      data[size_t(index)] = 26;
      RG_AddIndexToBounds(width, index, &speck.rgn.bounds);
    }
    BZ_OuSett sett{};
    BZ_MakeDefaultOuSett(&sett);
    BZ_OuParams params{};
    params.sett = &sett;
    params.width = width;
    params.height = 16;
    BZ_CalcSpeckProperties(&params, frame.data(), data.data(), &speck);
    EXPECT_FLOAT_EQ(speck.rgn.size, float(pixels.size()));
    EXPECT_FLOAT_EQ(speck.rgn.avColor.Y, 100.0f);
    EXPECT_NEAR(speck.orientation, c.orientation, 1e-5);
    if (c.weight >= 0) {
      EXPECT_NEAR(speck.orientationWeight, c.weight, 1e-6);
    }
    const Rect &b = speck.rgn.bounds;
    if (c.boundsAsBox) {
      EXPECT_EQ(speck.minBounds[0].h, b.left);
      EXPECT_EQ(speck.minBounds[0].v, b.top);
      EXPECT_EQ(speck.minBounds[2].h, b.right);
      EXPECT_EQ(speck.minBounds[2].v, b.bottom);
      EXPECT_EQ(speck.minBoundsArea, 0.0f) << "not measured on this road";
    } else {
      // A thin box along the top-left to bottom-right diagonal: far less area than the bounds, well filled.
      EXPECT_GT(speck.minBoundsArea, 0.0f);
      EXPECT_LT(speck.minBoundsArea, 0.5f * float((b.bottom - b.top) * (b.right - b.left)));
      EXPECT_GT(speck.orientationWeight, 0.5f);
    }
    RG_DisposeRgn(&speck.rgn);
  }
}

TEST(OutliersSpeckProperties, PartlyCoveredPixelsPullTheBoxIn) {
  const SInt32 width = 16;
  std::vector<UInt16> data(size_t(width) * 16, 0);
  BZ_OuSpeck speck{};
  const SInt32 pixels[] = {2 * width + 2, 3 * width + 3, 4 * width + 4};
  speck.rgn.numPixels = 3;
  ASSERT_EQ(GL_NewPtrClear(sizeof pixels, &speck.rgn.pixels), noErr);
  speck.rgn.bounds = Rect{2, 2, 5, 5};
  BZ_OuParams params{};
  params.width = width;
  GL_FloatPt full[4], partial[4];
  for (int i = 0; i < 3; ++i) {
    speck.rgn.pixels[i] = pixels[i];
    data[size_t(pixels[i])] = 26;
  }
  BZ_GetBestDiagonalBox(&params, data.data(), &speck, full, false);
  for (SInt32 p : pixels) data[size_t(p)] = 16 + 5;  // half covered
  BZ_GetBestDiagonalBox(&params, data.data(), &speck, partial, false);
  auto length = [](GL_FloatPt a, GL_FloatPt b) { return std::hypot(double(a.h) - b.h, double(a.v) - b.v); };
  // Pixels on the diagonal reach their full corner off it; half covered ones stay on it.
  EXPECT_NEAR(length(full[0], full[3]), std::sqrt(0.5), 1e-5);
  EXPECT_NEAR(length(partial[0], partial[3]), 0.0, 1e-5);
  RG_DisposeRgn(&speck.rgn);
}

TEST(OutliersSpeckProperties, BoxCornerOnABoundsCornerKeepsTheWeightFinite) {
  const SInt32 width = 16;
  const struct {
    std::vector<std::pair<int, int>> pixels;  // (row, column), full coverage
    double orientation;
  } cases[] = {
      {{{2, 3}, {3, 2}}, kPi / 4},  // the diagonal box's corner lands on a corner of the 2 by 2 bounds
      {{{2, 4}, {4, 2}}, kPi / 4},
      {{{2, 2}, {3, 3}}, 3 * kPi / 4},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.pixels.size());
    std::vector<UInt16> data(size_t(width) * 16, 0);
    std::vector<UInt8> frame(data.size() * 2, 100);
    BZ_OuSpeck speck{};
    speck.rgn.numPixels = speck.rgn.numFirstDegreePixels = SInt32(c.pixels.size());
    ASSERT_EQ(GL_NewPtrClear(sizeof(SInt32) * c.pixels.size(), &speck.rgn.pixels), noErr);
    speck.rgn.bounds = Rect{32767, 32767, -32768, -32768};
    for (size_t i = 0; i < c.pixels.size(); ++i) {
      const SInt32 index = c.pixels[i].first * width + c.pixels[i].second;
      speck.rgn.pixels[i] = index;
      data[size_t(index)] = 26;
      RG_AddIndexToBounds(width, index, &speck.rgn.bounds);
    }
    BZ_OuParams params{};
    params.width = width;
    params.height = 16;
    BZ_CalcSpeckProperties(&params, frame.data(), data.data(), &speck);
    EXPECT_TRUE(std::isfinite(speck.minBoundsArea));
    EXPECT_TRUE(std::isfinite(speck.orientationWeight));
    EXPECT_GE(speck.orientationWeight, 0.001f);
    EXPECT_LE(speck.orientationWeight, 1.0f);
    EXPECT_NEAR(speck.orientation, c.orientation, 1e-5);
    RG_DisposeRgn(&speck.rgn);
  }
  // The box's corners on the bounds' corners: the whole bounds, no NaN.
  EXPECT_EQ(BZ_GetTriangleArea(3.0f, 0.0f, 0.0f, 0.0f), 0.0f);
  const Rect bounds{2, 3, 7, 11};  // top, left, bottom, right
  const GL_FloatPt box[4] = {{3, 2}, {11, 2}, {11, 7}, {3, 7}};
  EXPECT_FLOAT_EQ(BZ_GetMinBoundsArea(&bounds, box), 40.0f);
}

}  // namespace
