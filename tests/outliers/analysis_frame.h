// A padded '2vuy' frame with the outlier worker's planes for one slot (gradient, flags, object numbers), the
// three mask planes and the pixel list, as the analysis routines take them.
#pragma once

#include "engine/runtime/stage_access.h"
#include "outliers/gradient_objects.h"
#include "outliers/outlier_stage.h"

#include <gtest/gtest.h>

#include <vector>

namespace bz_test {

class AnalysisFrame {
 public:
  AnalysisFrame(SInt32 inWidth, SInt32 inHeight) {
    sett_.numConstPix = 2;
    params.sett = &sett_;
    params.inWidth = inWidth;
    params.inHeight = inHeight;
    params.numInBuffers = 9;
    SInt64 size = 0;
    EXPECT_EQ(BZ_GetBufferSize(inHeight, inWidth, false, &params.height, &params.width, &size), noErr);
    BZ_OuParamsToRealFrameBounds(&params, &picture);
    const size_t pixels = size_t(params.width) * size_t(params.height);
    frame.assign(size_t(size), 0);
    for (size_t p = 0; p < pixels; ++p) frame[2 * p] = 128;
    out.assign(size_t(size), 0);
    gradSq.assign(pixels, 0);
    data.assign(pixels, 0);
    objData.assign(pixels, 0);
    pixelList.assign(pixels, 0);
    for (auto &mask : maskPlanes) mask.assign(pixels, 0);
    for (int k = 0; k < 3; ++k) masks[k] = maskPlanes[k].data();
  }
  ~AnalysisFrame() { BZ_MvDisposeMvObjList(&objects); }
  AnalysisFrame(const AnalysisFrame &) = delete;
  AnalysisFrame &operator=(const AnalysisFrame &) = delete;

  // The buffer index of picture pixel (x, y).
  SInt32 Index(SInt32 x, SInt32 y) const { return (picture.top + y) * params.width + picture.left + x; }
  UInt8 &Luma(SInt32 x, SInt32 y) { return frame[2 * size_t(Index(x, y)) + 1]; }
  UInt8 &OutLuma(SInt32 x, SInt32 y) { return out[2 * size_t(Index(x, y)) + 1]; }
  void FillLuma(SInt32 left, SInt32 top, SInt32 right, SInt32 bottom, UInt8 y) {
    for (SInt32 r = top; r < bottom; ++r)
      for (SInt32 c = left; c < right; ++c) Luma(c, r) = y;
  }
  // The gradient of the frame and its objects, sorted largest first; *numLarge of them get skeletons.
  OSStatus FindObjects(SInt32 *numLarge = nullptr) {
    BZ_OuCalcGradSq(&params, frame.data(), nullptr, gradSq.data(), pixelList.data());
    OSStatus err = BZ_OuFindGradObjects(&params, gradSq.data(), data.data(), pixelList.data(), &objects,
                                        objData.data());
    if (err != noErr) return err;
    SInt32 n = 0;
    BZ_SortObjectsBySize(data.data(), &objects, &n);
    if (numLarge != nullptr) *numLarge = n;
    return BZ_OuCalcMoreObjProperties(params.width, frame.data(), data.data(), masks, objects, n, pixelList.data());
  }

  BZ_OuParams params{};
  Rect picture{};
  std::vector<UInt8> frame, out;
  std::vector<UInt16> gradSq, data, objData;
  std::vector<SInt32> pixelList;
  std::vector<UInt8> maskPlanes[3];
  UInt8 *masks[3] = {};
  BZ_MvObjectLE *objects = nullptr;

 private:
  BZ_OuSett sett_{};
};

}  // namespace bz_test
