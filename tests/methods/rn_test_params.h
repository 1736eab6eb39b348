// A noise-reduction run's parameters for kernel tests: the models and windows laid out as the stage lays
// them, windows and bases built, the model set by the test. Header only.
#pragma once

#include "methods/noise_params.h"
#include "methods/noise_reduction_stage.h"
#include "methods/spectral_windows.h"
#include "platform/core/multiprocessing.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace bz_test {

class RnTestParams {
 public:
  RnTestParams(SInt32 inWidth = 64, SInt32 inHeight = 48, bool interlaced = false) {
    storage_ = static_cast<float *>(MPAllocateAligned(kBZ_RnModelBytes + kBZ_RnWindowBytes, kMPAllocate16ByteAligned,
                                                      kMPAllocateClearMask));
    BZ_RnLayOutModelsAndWindows(storage_, &params);
    BZ_RnFillInWindows(&params);
    EXPECT_EQ(BZ_RnInitM8(&params), noErr);
    EXPECT_EQ(BZ_RnInitM16(&params), noErr);
    SetGeometry(inWidth, inHeight, interlaced);
  }
  ~RnTestParams() {
    BZ_RnDisposeBases(&params);
    MPFree(storage_);
  }
  RnTestParams(const RnTestParams &) = delete;
  RnTestParams &operator=(const RnTestParams &) = delete;

  // The padded geometry of the working format: width + 16 rounded up to 8 pixels; 8 lines of margin per field
  // above and at least as many below.
  void SetGeometry(SInt32 inWidth, SInt32 inHeight, bool interlaced) {
    params.inWidth = inWidth;
    params.inHeight = inHeight;
    params.width = (inWidth + 16 + 7) / 8 * 8;
    params.height = (inHeight + 32 + 15) / 16 * 16;
    params.interlaced = interlaced;
  }
  // Every model value of the one-dimensional filters: Y, Cb and Cr.
  void SetLineModel(float y, float cb, float cr) {
    const float values[3] = {y, cb, cr};
    std::fill_n(params.nn16H[0], 8, y);
    for (int c = 1; c < 3; ++c) std::fill_n(params.nn16H[c], 4, values[c]);
    for (int c = 0; c < 3; ++c) std::fill_n(params.nn16V[c], 8, values[c]);
  }

  BZ_RnParams params{};

 private:
  float *storage_ = nullptr;
};

}  // namespace bz_test
