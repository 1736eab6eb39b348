// Gradient objects: the gradient plane on both paths (exact values at an edge, equal results on random frames
// of several widths, pixels outside its rectangle untouched), the flags at the thresholds, frames without
// objects, and the 50 largest objects of size 100 or more getting skeletons.
#include "outliers/gradient_objects.h"

#include "analysis_frame.h"
#include "engine/runtime/project_types.h"
#include "outliers/outlier_pictures.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using bz_test::AnalysisFrame;

enum class Path { kScalar, kAcc };

void CalcGradSq(Path path, AnalysisFrame &f) {
  if (path == Path::kAcc)
    BZ_OuCalcGradSqAcc(&f.params, f.frame.data(), nullptr, f.gradSq.data(), f.pixelList.data());
  else
    BZ_OuCalcGradSq(&f.params, f.frame.data(), nullptr, f.gradSq.data(), f.pixelList.data());
}

TEST(OutliersGradient, EdgeGivesSixTimesTheSquaredStepOnBothPaths) {
  struct Case {
    UInt8 step;
    UInt16 gradSq;  // (6 step^2 x 21) >> 8
  } cases[] = {{10, 49}, {20, 196}, {22, 238}, {255, 32004}};
  for (const Case &c : cases)
    for (Path path : {Path::kScalar, Path::kAcc}) {
      SCOPED_TRACE(::testing::Message() << "step " << int(c.step) << (path == Path::kAcc ? ", SSE" : ", scalar"));
      AnalysisFrame f(40, 12);
      f.FillLuma(20, 0, 40, 12, c.step);  // columns 20 and on
      CalcGradSq(path, f);
      for (SInt32 y = 1; y < 11; ++y)
        for (SInt32 x = 1; x < 39; ++x) {
          const UInt16 expected = (x == 19 || x == 20) ? c.gradSq : 0;
          ASSERT_EQ(f.gradSq[size_t(f.Index(x, y))], expected) << "x " << x << ", y " << y;
        }
    }
}

TEST(OutliersGradient, SsePathMatchesScalarAndKeepsTheBorder) {
  BZ_KERNEL_SEED_TRACE();
  for (SInt32 width : {16, 17, 23, 48, 53, 720}) {
    SCOPED_TRACE(::testing::Message() << "width " << width);
    AnalysisFrame scalar(width, 20), acc(width, 20);
    bz_test::FillRandomBytes(scalar.frame.data(), scalar.frame.size(), bz_test::Rng());
    acc.frame = scalar.frame;
    // Pixels outside the inner rectangle keep what the plane held.
    std::fill(scalar.gradSq.begin(), scalar.gradSq.end(), 0xBEEF);
    std::fill(acc.gradSq.begin(), acc.gradSq.end(), 0xBEEF);
    CalcGradSq(Path::kScalar, scalar);
    CalcGradSq(Path::kAcc, acc);
    ASSERT_EQ(scalar.gradSq, acc.gradSq);
    for (SInt32 r = 0; r < scalar.params.height; ++r)
      for (SInt32 c = 0; c < scalar.params.width; ++c) {
        const bool inner = r > scalar.picture.top && r < scalar.picture.bottom - 1 && c > scalar.picture.left &&
                           c < scalar.picture.right - 1;
        if (!inner) {
          ASSERT_EQ(scalar.gradSq[size_t(r * scalar.params.width + c)], 0xBEEF) << r << "," << c;
        }
      }
  }
}

TEST(OutliersGradient, DispatcherFollowsTheProcessorFlag) {
  const Boolean saved = gBZ.procInfo.hasSSE3;
  AnalysisFrame expected(33, 9);
  bz_test::FillRandomBytes(expected.frame.data(), expected.frame.size(), bz_test::Rng());
  CalcGradSq(Path::kScalar, expected);
  for (Boolean sse : {Boolean(false), Boolean(true)}) {
    gBZ.procInfo.hasSSE3 = sse;
    AnalysisFrame f(33, 9);
    f.frame = expected.frame;
    BZ_OuCalcGradSqUni(&f.params, f.frame.data(), nullptr, f.gradSq.data(), f.pixelList.data());
    EXPECT_EQ(f.gradSq, expected.gradSq) << "hasSSE3 " << int(sse);
  }
  gBZ.procInfo.hasSSE3 = saved;
}

TEST(OutliersGradient, FlagsFollowTheThresholds) {
  struct Case {
    UInt16 gradSq;
    UInt16 flags;  // without the region bit
  } cases[] = {
      {0, 0}, {149, 0}, {150, 0x20 | 0}, {151, 0x20 | 0}, {165, 0x20 | 1}, {299, 0x20 | 9},
      {300, 0x10 | 10}, {301, 0x10 | 10}, {65535, 0x10 | 10},
  };
  AnalysisFrame f(40, 8);
  // One value every fourth pixel of row 3, so that no value joins another's region.
  for (size_t k = 0; k < std::size(cases); ++k) f.gradSq[size_t(f.Index(SInt32(4 * k + 1), 3))] = cases[k].gradSq;
  ASSERT_EQ(BZ_OuFindGradObjects(&f.params, f.gradSq.data(), f.data.data(), f.pixelList.data(), &f.objects,
                                 f.objData.data()),
            noErr);
  for (size_t k = 0; k < std::size(cases); ++k)
    EXPECT_EQ(f.data[size_t(f.Index(SInt32(4 * k + 1), 3))] & ~kRG_InRegion, cases[k].flags)
        << "gradSq " << cases[k].gradSq;
  // Each first-degree value is an object of its own, numbered in scan order.
  SInt32 count = 0;
  for (const BZ_MvObjectLE *e = f.objects; e != nullptr; e = e->next) {
    EXPECT_EQ(e->number, count);
    EXPECT_EQ(e->mvObj.rgn.numPixels, 1);
    EXPECT_EQ(f.objData[size_t(e->mvObj.rgn.pixels[0])], count);
    ++count;
  }
  EXPECT_EQ(count, 3);
}

TEST(OutliersGradient, SecondDegreeJoinsOnlyNextToFirstDegree) {
  AnalysisFrame f(20, 8);
  // A first-degree pixel with a second-degree neighbour, which has a second-degree neighbour of its own.
  f.gradSq[size_t(f.Index(5, 3))] = 400;
  f.gradSq[size_t(f.Index(6, 3))] = 200;
  f.gradSq[size_t(f.Index(7, 3))] = 200;
  ASSERT_EQ(BZ_OuFindGradObjects(&f.params, f.gradSq.data(), f.data.data(), f.pixelList.data(), &f.objects,
                                 f.objData.data()),
            noErr);
  ASSERT_NE(f.objects, nullptr);
  EXPECT_EQ(f.objects->next, nullptr);
  EXPECT_EQ(f.objects->mvObj.rgn.numPixels, 2);
}

TEST(OutliersGradient, FrameWithoutStrongGradientHasNoObjectsAndABlackPicture) {
  AnalysisFrame f(48, 16);
  // A ramp of 10 per pixel: a gradient of 196, second degree only.
  for (SInt32 y = 0; y < 16; ++y)
    for (SInt32 x = 0; x < 48; ++x) f.Luma(x, y) = UInt8(std::min(200, 10 * x));
  std::fill(f.out.begin(), f.out.end(), 77);
  SInt32 numLarge = -1;
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(f.FindObjects(&numLarge), noErr);
  const std::string trace = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(trace, "Gradient region count: 0\n");
  EXPECT_EQ(f.gradSq[size_t(f.Index(5, 5))], 196);
  EXPECT_EQ(f.objects, nullptr);
  EXPECT_EQ(numLarge, 0);
  BZ_CopySkeletonsToOutBuffer(&f.params, f.frame.data(), f.objects, kBZ_OuSkeletonPictureFlags, f.out.data());
  const size_t bytes = size_t(f.params.width) * size_t(f.params.height) * 2;
  for (size_t k = 0; k < bytes; k += 2) {
    ASSERT_EQ(f.out[k], 128) << "byte " << k;
    ASSERT_EQ(f.out[k + 1], 0) << "byte " << k + 1;
  }
  EXPECT_EQ(f.out[bytes], 77) << "nothing past the frame";
}

TEST(OutliersGradient, OnlyTheFiftyLargestObjectsGetSkeletons) {
  // 60 bright squares of 14 to 23 pixels on dark ground (each edge is one object of size 100 or more) and 6
  // small dots, in cells of 36 x 36.
  AnalysisFrame f(360, 252);
  for (int k = 0; k < 66; ++k) {
    const int x0 = (k % 10) * 36 + 6, y0 = (k / 10) * 36 + 6, side = k < 60 ? 14 + k % 10 : 2;
    f.FillLuma(x0, y0, x0 + side, y0 + side, 200);
  }
  SInt32 numLarge = -1;
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(f.FindObjects(&numLarge), noErr);
  ::testing::internal::GetCapturedStdout();
  ASSERT_EQ(numLarge, 50);
  BZ_CopySkeletonsToOutBuffer(&f.params, f.frame.data(), f.objects, kBZ_OuSkeletonPictureFlags, f.out.data());
  SInt32 position = 0, count = 0;
  float previousSize = 1e9f;
  for (const BZ_MvObjectLE *e = f.objects; e != nullptr; e = e->next, ++position) {
    const BZ_MvObject &obj = e->mvObj;
    EXPECT_LE(obj.rgn.size, previousSize) << "sorted largest first";
    previousSize = obj.rgn.size;
    SInt32 drawn = 0;
    for (SInt32 r = obj.rgn.bounds.top; r < obj.rgn.bounds.bottom; ++r)
      for (SInt32 c = obj.rgn.bounds.left; c < obj.rgn.bounds.right; ++c)
        drawn += f.out[2 * size_t(r * f.params.width + c) + 1] != 0;
    if (position < 50) {
      EXPECT_GE(obj.rgn.size, 100.0f);
      EXPECT_GT(obj.skeleton.numBranches, 0) << "object " << position;
      EXPECT_GT(drawn, 0) << "object " << position;
    } else {
      EXPECT_EQ(obj.skeleton.numBranches, 0) << "object " << position;
      EXPECT_EQ(drawn, 0) << "object " << position;
    }
    ++count;
  }
  EXPECT_EQ(count, 66);
}

TEST(OutliersGradient, ObjectListsSortBySizeAndCountTheLargeOnes) {
  // Regions whose size is their pixel count (full coverage everywhere).
  std::vector<UInt16> data(200, 10);
  auto listOf = [](const std::vector<SInt32> &sizes) {
    BZ_MvObjectLE *list = nullptr, *last = nullptr;
    for (size_t k = 0; k < sizes.size(); ++k) {
      BZ_MvObjectLE *e = nullptr;
      EXPECT_EQ(LL_AddNewPtr(sizeof(BZ_MvObjectLE), last, &list, &e), noErr);
      e->number = SInt32(k);
      EXPECT_EQ(GL_NewPtrClear(sizeof(SInt32) * size_t(sizes[k]), &e->mvObj.rgn.pixels), noErr);
      e->mvObj.rgn.numPixels = sizes[k];
      last = e;
    }
    return list;
  };
  struct Case {
    std::vector<SInt32> sizes;
    std::vector<SInt32> order;  // numbers after sorting
    SInt32 numLarge;
  } cases[] = {
      {{150, 99, 100, 180, 100}, {3, 0, 2, 4, 1}, 4},
      {{99, 5}, {0, 1}, 0},
      {std::vector<SInt32>(60, 120), {}, 50},
  };
  for (const Case &c : cases) {
    BZ_MvObjectLE *list = listOf(c.sizes);
    SInt32 numLarge = -1;
    BZ_SortObjectsBySize(data.data(), &list, &numLarge);
    EXPECT_EQ(numLarge, c.numLarge);
    if (!c.order.empty()) {
      std::vector<SInt32> order;
      for (const BZ_MvObjectLE *e = list; e != nullptr; e = e->next) order.push_back(e->number);
      EXPECT_EQ(order, c.order);
    }
    BZ_MvDisposeMvObjList(&list);
    EXPECT_EQ(list, nullptr);
  }
}

}  // namespace
