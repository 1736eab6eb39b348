// The step-preserving filter: the blend of the unchanged, moderate and hard versions by step height (rises
// and the mirrored falls), the weighted average over recent windows, and whole frames: a flat frame leaves
// the plane alone, a clean edge writes only the pixels of the window that straddles it.
#include "outliers/median_filter.h"

#include "engine/runtime/stage_access.h"
#include "outliers/outlier_stage.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

using Six = std::array<SInt32, 6>;

struct KernelCase {
  const char *what;
  std::array<SInt32, 8> y;  // a rise: the first half below the second
  float s, t, u;            // the weights of the step height min2 - max1
  Six unchanged, moderate, hard;
};

// A rough low half [10 14 12 13] below a high half H + [3 0 2 1], H = 14 + h, so the step height is h.
KernelCase Rough(const char *what, SInt32 h, float s, float t, float u) {
  const SInt32 H = 14 + h;
  return KernelCase{what,
                    {10, 14, 12, 13, H + 3, H, H + 2, H + 1},
                    s,
                    t,
                    u,
                    {14, 12, 13, H + 3, H, H + 2},
                    {14, 13, 13, H, H, H + 2},
                    {14, 14, 14, H + 2, H, H + 2}};
}

const KernelCase kCases[] = {
    Rough("height 20", 20, 1.0f / 3.0f, 2.0f / 3.0f, 0.0f),
    Rough("height 30", 30, 0.0f, 1.0f, 0.0f),
    Rough("height 45", 45, 0.0f, 0.5f, 0.5f),
    Rough("height 60", 60, 0.0f, 0.0f, 1.0f),
    Rough("height 90", 90, 0.0f, 0.0f, 1.0f),
    // Samples 1 and 6 both stick out beyond their halves: each is pulled back towards its neighbour.
    KernelCase{"outer samples", {13, 10, 12, 14, 105, 104, 109, 106}, 0, 0, 1,
               {10, 12, 14, 105, 104, 109}, {10, 12, 14, 105, 104, 109}, {12, 12, 14, 105, 104, 106}},
};

// Runs the kernel on one window with no earlier steps; returns newY[5][1..6] and checks what it wrote.
Six RunKernel(const std::array<SInt32, 8> &y) {
  std::vector<UInt8> plane(2 * 16, 7);
  SInt32 a[6] = {}, b[6] = {}, newY[6][8] = {};
  BZ_OuMedianFilter8(plane.data(), y.data(), 2 * 9, 2, a, b, newY);
  Six got{};
  for (int i = 1; i <= 6; ++i) {
    got[size_t(i - 1)] = newY[5][i];
    // Sample i of the window lies (8 - i) pixels before pixel 9; only the newest window counts.
    EXPECT_EQ(plane[2 * size_t(9 - 8 + i) + 1], UInt8(newY[5][i])) << "sample " << i;
  }
  EXPECT_EQ(plane[2 * 1 + 1], 7) << "sample 0 is never written";
  EXPECT_EQ(plane[2 * 8 + 1], 7) << "sample 7 is never written";
  return got;
}

TEST(OutliersMedianFilter, StepsBlendTheirVersionsByHeight) {
  for (const KernelCase &c : kCases)
    for (bool fall : {false, true}) {
      SCOPED_TRACE(::testing::Message() << c.what << (fall ? ", fall" : ", rise"));
      // A fall is the mirror image: every sample and every version as 200 minus the rise's.
      auto mirror = [fall](SInt32 v) { return fall ? 200 - v : v; };
      std::array<SInt32, 8> y{};
      for (size_t k = 0; k < 8; ++k) y[k] = mirror(c.y[k]);
      Six expected{};
      for (size_t i = 0; i < 6; ++i)
        expected[i] = SInt32(0.499 + c.s * float(mirror(c.unchanged[i])) + c.t * float(mirror(c.moderate[i])) +
                             c.u * float(mirror(c.hard[i])));
      EXPECT_EQ(RunKernel(y), expected);
    }
}

TEST(OutliersMedianFilter, OverlappingHalvesWriteNothing) {
  std::vector<UInt8> plane(2 * 16, 7);
  SInt32 a[6] = {}, b[6] = {}, newY[6][8] = {};
  const SInt32 y[8] = {50, 60, 55, 52, 58, 59, 51, 57};
  BZ_OuMedianFilter8(plane.data(), y, 2 * 9, 2, a, b, newY);
  EXPECT_EQ(a[5], 50 - 59);
  EXPECT_EQ(b[5], 51 - 60);
  for (int i = 1; i <= 6; ++i) EXPECT_EQ(newY[5][i], y[i]);
  for (size_t k = 0; k < plane.size(); ++k) EXPECT_EQ(plane[k], 7);
}

TEST(OutliersMedianFilter, ResultAveragesRecentWindowsByStepHeight) {
  // The window before had a step of 10 with candidates 100..106; the newest a clean step of 30.
  std::vector<UInt8> plane(2 * 16, 7);
  SInt32 a[6] = {0, 0, 0, 0, 0, 0}, b[6] = {0, 0, 0, 0, 10, 0}, newY[6][8] = {};
  for (int i = 0; i < 8; ++i) newY[4][i] = 100 + i;
  const SInt32 y[8] = {20, 20, 20, 20, 50, 50, 50, 50};
  BZ_OuMedianFilter8(plane.data(), y, 2 * 9, 2, a, b, newY);
  for (int i = 1; i <= 6; ++i) {
    // The older window saw this pixel as its sample i + 1 (none for i = 6).
    const SInt32 expected = i < 6 ? (40 / 2 + 30 * y[i] + 10 * (100 + i + 1)) / 40 : y[i];
    EXPECT_EQ(plane[2 * size_t(1 + i) + 1], UInt8(expected)) << "sample " << i;
  }
}

// A 48 x 24 picture and its filter plane.
class MedianFilterFrame : public ::testing::Test {
 protected:
  void SetUp() override {
    sett_.numConstPix = 2;
    params_.sett = &sett_;
    params_.inWidth = 48;
    params_.inHeight = 24;
    SInt64 size = 0;
    ASSERT_EQ(BZ_GetBufferSize(params_.inHeight, params_.inWidth, false, &params_.height, &params_.width, &size),
              noErr);
    BZ_OuParamsToRealFrameBounds(&params_, &picture_);
    frame_.assign(size_t(size), 128);
    plane_.assign(size_t(size), 7);
    pixelList_.assign(size_t(params_.width) * size_t(params_.height), 0);
  }
  UInt8 &Luma(std::vector<UInt8> &f, SInt32 x, SInt32 y) {
    return f[2 * size_t((picture_.top + y) * params_.width + picture_.left + x) + 1];
  }

  BZ_OuSett sett_{};
  BZ_OuParams params_{};
  Rect picture_{};
  std::vector<UInt8> frame_, plane_;
  std::vector<SInt32> pixelList_;
};

TEST_F(MedianFilterFrame, FlatFrameLeavesThePlaneUntouched) {
  for (SInt32 y = 0; y < 24; ++y)
    for (SInt32 x = 0; x < 48; ++x) Luma(frame_, x, y) = UInt8(60 + (x * 7 + y * 3) % 5);
  BZ_OuMedianFilter(&params_, frame_.data(), plane_.data(), pixelList_.data());
  for (size_t k = 0; k < plane_.size(); ++k) ASSERT_EQ(plane_[k], 7) << "byte " << k;
}

TEST_F(MedianFilterFrame, RowsWriteOnlyTheWindowAcrossAnEdge) {
  // A clean vertical edge at x = 20: of each row only the window from x = 16 to 23 has a step, and it writes its
  // samples 1 to 6 with the frame's values; the columns are flat and write nothing.
  for (SInt32 y = 0; y < 24; ++y)
    for (SInt32 x = 0; x < 48; ++x) Luma(frame_, x, y) = UInt8(x >= 20 ? 90 : 30);
  BZ_OuMedianFilter(&params_, frame_.data(), plane_.data(), pixelList_.data());
  for (SInt32 y = 0; y < 24; ++y)
    for (SInt32 x = 0; x < 48; ++x) {
      const bool written = x >= 17 && x <= 22;
      EXPECT_EQ(Luma(plane_, x, y), written ? Luma(frame_, x, y) : 7) << "x " << x << ", y " << y;
    }
  for (size_t k = 0; k < plane_.size(); k += 2) ASSERT_EQ(plane_[k], 7) << "chroma byte " << k;
}

TEST_F(MedianFilterFrame, ColumnsSharpenARoughStepInPlace) {
  // Every row is flat; down the columns a rough rise of 90 from row 8 to row 15. The plane starts as a copy of
  // the frame, as the stage prepares it; only the window of rows 8 to 15 has a step, and its hard version
  // raises rows 10 and 11 to 14 and lowers row 12 to 106.
  const SInt32 profile[24] = {14, 14, 14, 14, 14, 14, 14, 14, 10, 14, 12, 13,
                              107, 104, 106, 105, 104, 104, 104, 104, 104, 104, 104, 104};
  for (SInt32 y = 0; y < 24; ++y)
    for (SInt32 x = 0; x < 48; ++x) Luma(frame_, x, y) = UInt8(profile[y]);
  plane_ = frame_;
  BZ_OuMedianFilter(&params_, frame_.data(), plane_.data(), pixelList_.data());
  for (SInt32 y = 0; y < 24; ++y) {
    const SInt32 expected = (y == 10 || y == 11) ? 14 : y == 12 ? 106 : profile[y];
    for (SInt32 x = 0; x < 48; ++x) ASSERT_EQ(Luma(plane_, x, y), expected) << "x " << x << ", y " << y;
  }
}

}  // namespace
