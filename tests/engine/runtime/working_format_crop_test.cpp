// The cropped picture rectangle inside a padded working frame: the one rule that the target set-up, the
// compression sequences, the noise compression and the 'y420' conversion share.
#include "engine/runtime/working_format.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct CropRectCase {
  const char *name;
  Boolean interlaced, cropping, maskBlackBars;
  int clipping;
  Rect crop;      // top, left, bottom and right margins
  Rect expected;  // in buffer coordinates
};
void PrintTo(const CropRectCase &c, std::ostream *os) { *os << c.name; }

// A 720 x 576 source; with f = 2 for interlaced pictures the picture starts at line 8f, pixel 8.
const CropRectCase kCropRectCases[] = {
    {"InterlacedWithoutCropping", true, false, false, 1, {0, 0, 0, 0}, {16, 8, 592, 728}},
    {"ProgressiveWithoutCropping", false, false, false, 1, {0, 0, 0, 0}, {8, 8, 584, 728}},
    {"MarginsCountOnlyWhenCroppingIsOn", false, false, false, 1, {4, 6, 2, 10}, {8, 8, 584, 728}},
    {"ProgressiveCropped", false, true, false, 1, {4, 6, 2, 10}, {12, 14, 582, 718}},
    {"InterlacedCroppedMarginsInLines", true, true, false, 0, {4, 6, 2, 10}, {20, 14, 590, 718}},
    {"MaskedBarsKeepTheSizeWhenClipping", true, true, true, 1, {4, 6, 2, 10}, {16, 8, 592, 728}},
    {"MaskedBarsAreCutWithoutClipping", true, true, true, 0, {4, 6, 2, 10}, {20, 14, 590, 718}},
    {"OddLeftMarginStaysOdd", false, true, false, 1, {0, 3, 0, 1}, {8, 11, 584, 727}},
    {"MarginsBeyondThePictureLeaveItEmpty", false, true, false, 1, {300, 400, 300, 400}, {308, 408, 308, 408}},
};

class CroppedSourceRect : public ::testing::TestWithParam<CropRectCase> {};

TEST_P(CroppedSourceRect, PictureRectangleInTheBuffer) {
  const CropRectCase &c = GetParam();
  BZ_InputSett input{};
  input.interlaced = c.interlaced;
  input.cropping = c.cropping;
  input.maskBlackBars = c.maskBlackBars;
  input.cropRect = c.crop;
  Rect r{-1, -1, -1, -1};
  BZ_GetCroppedSourceRect(&input, 576, 720, c.clipping, &r);
  EXPECT_EQ(r.top, c.expected.top);
  EXPECT_EQ(r.left, c.expected.left);
  EXPECT_EQ(r.bottom, c.expected.bottom);
  EXPECT_EQ(r.right, c.expected.right);
  EXPECT_GE(r.bottom, r.top) << "never an inverted rectangle";
  EXPECT_GE(r.right, r.left);
}

INSTANTIATE_TEST_SUITE_P(Cases, CroppedSourceRect, ::testing::ValuesIn(kCropRectCases),
                         [](const ::testing::TestParamInfo<CropRectCase> &info) {
                           return std::string(info.param.name);
                         });

}  // namespace
