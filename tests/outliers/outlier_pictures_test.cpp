// The analysis pictures: each part of the skeleton picture by its flag, the gradient scale, the object
// degrees, the thickness shades with their carried-over value, the median copy and the quality picture that
// writes nothing.
#include "outliers/outlier_pictures.h"

#include "analysis_frame.h"
#include "general/memory_lists.h"
#include "outliers/skeleton_node_regions.h"
#include "skeleton_test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

namespace {

using bz_test::AnalysisFrame;
using bz_test::BranchSpec;
using bz_test::PixelRun;

// What the picture holds apart from black: buffer pixel -> (chroma, luma).
using Drawn = std::map<SInt32, std::pair<int, int>>;

Drawn NonBlack(const AnalysisFrame &f) {
  Drawn drawn;
  const SInt32 n = f.params.width * f.params.height;
  for (SInt32 p = 0; p < n; ++p)
    if (f.out[2 * size_t(p)] != 128 || f.out[2 * size_t(p) + 1] != 0)
      drawn[p] = {f.out[2 * size_t(p)], f.out[2 * size_t(p) + 1]};
  return drawn;
}

// One object with every part the skeleton picture can show, at known pixels.
class OutliersSkeletonPicture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(LL_AddNewPtr(sizeof(BZ_MvObjectLE), nullptr, &f_.objects, &obj_), noErr);
    const SInt32 w = f_.params.width;
    auto at = [&](int x, int y) { return std::make_pair(f_.picture.top + y, f_.picture.left + x); };
    // A node at (10, 5) with a branch of 5 pixels to its right whose corner is its third pixel.
    obj_->mvObj.skeleton = bz_test::MakeSkeleton(w, {at(10, 5)}, {BranchSpec{PixelRun(at(11, 5).first, at(11, 5).second, 0, 1, 5), 0, -1}});
    SK_SkeletonBranch &br = obj_->mvObj.skeleton.branches[0];
    ASSERT_EQ(GL_NewPtrClear(sizeof(SInt32), &br.paramPts), noErr);
    br.numParamPts = 1;
    br.paramPts[0] = 2;
    ASSERT_EQ(GL_NewPtrClear(sizeof(SK_Closure), &obj_->mvObj.closures), noErr);
    obj_->mvObj.numClosures = 1;
    obj_->mvObj.closures[0].numPixels = 2;
    obj_->mvObj.closures[0].pixels[0] = f_.Index(20, 5);
    obj_->mvObj.closures[0].pixels[1] = f_.Index(21, 5);
    // A hole of one pixel, whose frame colour is (60, 70).
    RG_RgnLE *hole = nullptr;
    ASSERT_EQ(LL_AddNewPtr(sizeof(RG_RgnLE), nullptr, &obj_->mvObj.rgn.holes, &hole), noErr);
    ASSERT_EQ(GL_NewPtrClear(sizeof(SInt32), &hole->rgn.pixels), noErr);
    hole->rgn.numPixels = 1;
    hole->rgn.pixels[0] = f_.Index(3, 3);
    f_.frame[2 * size_t(f_.Index(3, 3))] = 60;
    f_.frame[2 * size_t(f_.Index(3, 3)) + 1] = 70;
    // A node region with one sector of two samples, at an even and an odd buffer column.
    SK_NodeRgnLE *le = nullptr;
    ASSERT_EQ(LL_AddNewPtr(sizeof(SK_NodeRgnLE), nullptr, &obj_->mvObj.skeleton.nodeRgns, &le), noErr);
    SK_NodeRgn &nr = le->nodeRgn;
    nr.numBranches = nr.numLongBranches = 1;
    ASSERT_EQ(GL_NewPtrClear(sizeof(YCbCrF32), &nr.colors), noErr);
    ASSERT_EQ(GL_NewPtrClear(sizeof(SInt32) * kSK_NumSectorSamples, &nr.colorIndexes), noErr);
    ASSERT_EQ(GL_NewPtrClear(sizeof(SInt32), &nr.numColorIndexes), noErr);
    nr.colors[0] = YCbCrF32{77.9f, 100.6f, 200.2f};
    nr.numColorIndexes[0] = 2;
    even_ = f_.Index(6, 8) % 2 == 0 ? f_.Index(6, 8) : f_.Index(7, 8);
    nr.colorIndexes[0] = even_;
    nr.colorIndexes[1] = even_ + 1;
  }

  AnalysisFrame f_{40, 12};
  BZ_MvObjectLE *obj_ = nullptr;
  SInt32 even_ = 0;
};

TEST_F(OutliersSkeletonPicture, EachFlagDrawsItsPart) {
  const SInt32 node = f_.Index(10, 5);
  Drawn branch, corner;
  for (int k = 0; k < 5; ++k) branch[f_.Index(11 + k, 5)] = {128, 255};
  corner = branch;
  corner[f_.Index(13, 5)] = {128, 64};
  const Drawn closure = {{f_.Index(20, 5), {128, 192}}, {f_.Index(21, 5), {128, 192}}};
  const Drawn hole = {{f_.Index(3, 3), {60, 70}}};
  const Drawn sector = {{even_, {100, 77}}, {even_ + 1, {200, 77}}};
  auto join = [](std::initializer_list<Drawn> parts) {
    Drawn all;
    for (const Drawn &d : parts) all.insert(d.begin(), d.end());
    return all;
  };
  struct Case {
    UInt32 flags;
    Drawn expected;
  } cases[] = {
      {0, {}},
      {kBZ_OuDrawNodes, {{node, {128, 128}}}},
      {kBZ_OuDrawBranches, branch},
      {kBZ_OuDrawCornerPoints, {}},  // corner points only with the branches
      {kBZ_OuDrawBranches | kBZ_OuDrawCornerPoints, corner},
      {kBZ_OuDrawClosures, closure},
      {kBZ_OuDrawHoles, hole},
      {kBZ_OuDrawSectorColors, sector},
      {kBZ_OuSkeletonPictureFlags, join({{{node, {128, 128}}}, branch, sector})},
      {63, join({{{node, {128, 128}}}, corner, closure, hole, sector})},
  };
  for (const Case &c : cases) {
    std::fill(f_.out.begin(), f_.out.end(), 9);
    BZ_CopySkeletonsToOutBuffer(&f_.params, f_.frame.data(), f_.objects, c.flags, f_.out.data());
    EXPECT_EQ(NonBlack(f_), c.expected) << "flags " << c.flags;
  }
}

TEST(OutliersPictures, GradientScalesByPoint085) {
  AnalysisFrame f(16, 4);
  const std::pair<UInt16, int> cases[] = {{0, 0}, {11, 0}, {12, 1}, {1000, 85}, {3000, 255}, {3001, 255}, {65535, 255}};
  for (size_t k = 0; k < std::size(cases); ++k) f.gradSq[k] = cases[k].first;
  BZ_CopyGradSqToOutBuffer(&f.params, f.gradSq.data(), f.out.data());
  for (size_t k = 0; k < std::size(cases); ++k) {
    EXPECT_EQ(f.out[2 * k], 128);
    EXPECT_EQ(f.out[2 * k + 1], cases[k].second) << "gradSq " << cases[k].first;
  }
}

TEST(OutliersPictures, GradientObjectsShowTheirDegrees) {
  AnalysisFrame f(16, 4);
  BZ_MvObjectLE *obj = nullptr;
  ASSERT_EQ(LL_AddNewPtr(sizeof(BZ_MvObjectLE), nullptr, &f.objects, &obj), noErr);
  ASSERT_EQ(GL_NewPtrClear(sizeof(SInt32) * 3, &obj->mvObj.rgn.pixels), noErr);
  obj->mvObj.rgn.numPixels = 3;
  const SInt32 first = f.Index(1, 1), second = f.Index(2, 1), neither = f.Index(3, 1);
  obj->mvObj.rgn.pixels[0] = first;
  obj->mvObj.rgn.pixels[1] = second;
  obj->mvObj.rgn.pixels[2] = neither;
  f.data[size_t(first)] = 0x10 | 10 | 0x80;
  f.data[size_t(second)] = 0x20 | 5 | 0x80;
  f.data[size_t(neither)] = 0x80;
  f.data[size_t(f.Index(5, 1))] = 0x10 | 10;  // not in the object
  BZ_CopyGradObjToOutBuffer(&f.params, f.data.data(), f.objects, f.out.data());
  EXPECT_EQ(NonBlack(f), (Drawn{{first, {128, 190}}, {second, {128, 100}}}));
}

TEST(OutliersPictures, ThicknessShadesCarryTheLastValueOver) {
  AnalysisFrame f(20, 4);
  BZ_MvObjectLE *obj = nullptr;
  ASSERT_EQ(LL_AddNewPtr(sizeof(BZ_MvObjectLE), nullptr, &f.objects, &obj), noErr);
  const SInt32 row = f.picture.top + 1, col = f.picture.left;
  obj->mvObj.skeleton = bz_test::MakeSkeleton(f.params.width, {}, {BranchSpec{PixelRun(row, col, 0, 1, 9)}});
  SK_SkeletonBranch &br = obj->mvObj.skeleton.branches[0];
  ASSERT_EQ(GL_NewPtrClear(sizeof(SInt32) * 9, &br.thickness), noErr);
  const SInt32 thickness[9] = {0, 1, 2, 3, 4, 5, 7, 1, -1};
  const int luma[9] = {255, 96, 128, 160, 192, 240, 240, 96, 96};
  std::copy(thickness, thickness + 9, br.thickness);
  BZ_CopySkeletonThicknessToOutBuffer(&f.params, f.objects, f.out.data());
  for (int k = 0; k < 9; ++k) EXPECT_EQ(f.out[2 * size_t(row * f.params.width + col + k) + 1], luma[k]) << k;
}

TEST(OutliersPictures, MedianCopiesThePlaneAndQualityWritesNothing) {
  AnalysisFrame f(16, 4);
  const size_t bytes = size_t(f.params.width) * size_t(f.params.height) * 2;
  std::vector<UInt8> plane(f.out.size());
  for (size_t k = 0; k < plane.size(); ++k) plane[k] = UInt8(k * 7);
  std::fill(f.out.begin(), f.out.end(), 3);
  BZ_OuCopyMvParamsQualityToBuffer(&f.params, nullptr, f.out.data());
  EXPECT_EQ(f.out, std::vector<UInt8>(f.out.size(), 3));
  BZ_OuCopyMedianFilteredToBuffer(&f.params, plane.data(), f.out.data());
  EXPECT_TRUE(std::equal(plane.begin(), plane.begin() + ptrdiff_t(bytes), f.out.begin()));
  EXPECT_EQ(f.out[bytes], 3);
}

}  // namespace
