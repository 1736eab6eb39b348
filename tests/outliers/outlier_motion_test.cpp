// The outlier stage's motion-vector arrays: their caches per input buffer and per worker, the coefficients
// made once, the frame job's vectors or their absence at a scene change, the window's view of the arrays and
// the preview's own copies.
#include "outliers/outlier_motion.h"

#include "engine/runtime/method_settings.h"
#include "engine/runtime/working_format.h"
#include "outliers/motion_vectors.h"
#include "outliers/outlier_worker.h"
#include "outliers/speck_detector.h"
#include "support/padded_frames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

using bz_test::PaddedFrame;

struct OuRecord {
  BZ_OuDlgTaskData *ou = nullptr;
  OuRecord() { EXPECT_EQ(BZ_OuInitDlgTaskData(&ou), noErr); }
  ~OuRecord() { BZ_OuDisposeDlgTaskDataRecord(&ou); }
};

TEST(OutlierMotionCaches, ArraysPerBufferAndScratchPerWorker) {
  OuRecord r;
  BZ_OuDlgTaskData *ou = r.ou;
  ASSERT_EQ(BZ_OuMakeMvCaches(ou, 720, 576, 17, 4), noErr);
  const size_t arraySize = BZ_MvArraySize(720, 576), scratchSize = BZ_MvScratchSize(720, 576);
  EXPECT_EQ(arraySize, size_t(180 * 144 * 2) * sizeof(BZ_OuMotionVec));
  for (SInt32 i = 0; i < 17; ++i)
    EXPECT_EQ(static_cast<UInt8 *>(ou->mv[i]), static_cast<UInt8 *>(ou->mv[0]) + size_t(i) * arraySize);
  EXPECT_EQ(ou->mv[17], nullptr);
  for (SInt32 w = 0; w < 4; ++w)
    EXPECT_EQ(static_cast<UInt8 *>(BZ_OuWorkerScratchMv(ou, w)),
              static_cast<UInt8 *>(ou->scratchMv) + size_t(w) * scratchSize);
  EXPECT_EQ(BZ_OuWorkerScratchMv(ou, 4), nullptr);
  EXPECT_EQ(BZ_OuWorkerScratchMv(ou, -1), nullptr);
  // Every byte of the last array and scratch is ours (AddressSanitizer would see a write past them).
  std::memset(ou->mv[16], 0xff, arraySize);
  std::memset(BZ_OuWorkerScratchMv(ou, 3), 0xff, scratchSize);

  // The same request keeps the arrays; another size, count or worker count makes them again.
  void *first = ou->mv[0];
  ASSERT_EQ(BZ_OuMakeMvCaches(ou, 720, 576, 17, 4), noErr);
  EXPECT_EQ(ou->mv[0], first);
  struct Case {
    SInt32 w, h, arrays, workers;
  } cases[] = {{1920, 1080, 17, 4}, {1920, 1080, 30, 4}, {1920, 1080, 30, 8}};
  for (const Case &c : cases) {
    ASSERT_EQ(BZ_OuMakeMvCaches(ou, c.w, c.h, c.arrays, c.workers), noErr);
    std::memset(ou->mv[c.arrays - 1], 0, BZ_MvArraySize(c.w, c.h));
    std::memset(BZ_OuWorkerScratchMv(ou, c.workers - 1), 0, BZ_MvScratchSize(c.w, c.h));
    EXPECT_EQ(ou->mv[c.arrays], nullptr);
  }
  // A picture without a whole vector cell has no arrays at all; the stage then reads plain places.
  ASSERT_EQ(BZ_OuMakeMvCaches(ou, 3, 3, 17, 4), noErr);
  EXPECT_EQ(ou->mv[0], nullptr);
  EXPECT_EQ(BZ_OuWorkerScratchMv(ou, 0), nullptr);
  EXPECT_EQ(BZ_OuMakeMvCaches(ou, 720, 576, 0, 4), paramErr);
  EXPECT_EQ(BZ_OuMakeMvCaches(ou, 720, 576, kBZ_OuMaxNumCached + 1, 4), paramErr);
  EXPECT_EQ(BZ_OuMakeMvCaches(ou, 720, 576, 17, 0), paramErr);
  EXPECT_EQ(BZ_OuMakeMvCaches(nullptr, 720, 576, 17, 4), paramErr);
}

TEST(OutlierMotionCaches, CoefficientsAreMadeOnce) {
  OuRecord r;
  ASSERT_FALSE(r.ou->bcCalculated);
  ASSERT_EQ(BZ_OuEnsureBaseCoeffs(r.ou), noErr);
  EXPECT_TRUE(r.ou->bcCalculated);
  float expected[25][6];
  ASSERT_EQ(BZ_MvGetCoeffs(expected), noErr);
  EXPECT_EQ(std::memcmp(expected, r.ou->baseCoeffs, sizeof expected), 0);
  // Later set-ups only read them (workers of an earlier run may still be reading).
  r.ou->baseCoeffs[0][0] = 42.0f;
  ASSERT_EQ(BZ_OuEnsureBaseCoeffs(r.ou), noErr);
  EXPECT_EQ(r.ou->baseCoeffs[0][0], 42.0f);
}

// The frame job on a textured pan of 2 pixels: the pair's own vectors below the scene-change threshold; none
// at or above it, even where the array held a pair's vectors before.
TEST(OutlierMotionFrameJob, VectorsOrNoneAtASceneChange) {
  const SInt32 w = 64, h = 48;
  BZ_OuSett sett{};
  sett.numConstPix = 2;
  sett.maxAvPixelDiff = 30;
  BZ_OuParams params{};
  params.sett = &sett;
  params.inWidth = w;
  params.inHeight = h;
  PaddedFrame a(w, h), b(w, h);
  params.width = a.width();
  params.height = a.height();
  // A smooth texture with periods of 13 to 31 pixels, as the search's own tests use.
  auto texture = [](double u, double v) {
    return UInt8(std::lround(std::clamp(
        128 + 45 * std::sin(u * 0.27 + 0.4 * v * 0.3) + 30 * std::cos(v * 0.33) + 20 * std::sin((u + v) * 0.2 + 1.0),
        0.0, 255.0)));
  };
  for (SInt32 y = -8; y < h + 8; ++y)
    for (SInt32 x = -8; x < w + 8; ++x) {
      a.Luma(x, y) = texture(x, y);
      b.Luma(x, y) = texture(x - 2, y);
    }
  float coeffs[25][6];
  ASSERT_EQ(BZ_MvGetCoeffs(coeffs), noErr);
  const size_t count = BZ_MvArraySize(w, h) / sizeof(BZ_OuMotionVec);
  std::vector<BZ_OuMotionVec> scratch(BZ_MvScratchSize(w, h) / sizeof(BZ_OuMotionVec));
  std::vector<BZ_OuMotionVec> searched(count), pair(count);
  BZ_MvFindPairVectors(&params, coeffs, a.data(), b.data(), searched.data(), scratch.data());
  SInt32 numFound = 0;
  for (const BZ_OuMotionVec &v : searched) numFound += v.minDiff < kBZ_MvMaxFoundDiff;
  ASSERT_GT(numFound, SInt32(count / 4)) << "the fixture has vectors to find";
  struct Case {
    SInt32 sceneValue;
    bool found;
  } cases[] = {{0, true}, {29, true}, {30, false}, {31, false}, {1000, false}};
  for (const Case &c : cases) {
    SCOPED_TRACE("scene value " + std::to_string(c.sceneValue));
    BZ_OuFindFramePairVectors(&params, coeffs, c.sceneValue, a.data(), b.data(), pair.data(), scratch.data());
    if (c.found) {
      EXPECT_EQ(std::memcmp(pair.data(), searched.data(), count * sizeof(BZ_OuMotionVec)), 0);
      continue;
    }
    for (const BZ_OuMotionVec &v : pair) EXPECT_FALSE(v.minDiff < kBZ_MvMaxFoundDiff);
  }
}

TEST(OutlierMotionWindow, PairsOfFilledSlotsOnly) {
  BZ_OuFrameRec recs[9] = {};
  int arrays[9] = {};
  const BZ_OuFrameRec *slots[kBZ_OuNumWindowSlots] = {};
  for (int i = 0; i < 9; ++i) {
    recs[i].pairMv = &arrays[i];
    slots[i] = &recs[i];
  }
  slots[0] = nullptr;  // before the movie's start
  slots[7] = slots[8] = nullptr;  // past its end
  void *mv[kBZ_OuNumWindowSlots];
  for (void *&m : mv) m = &arrays[0];
  BZ_OuGetWindowMv(slots, 9, mv);
  for (int b = 0; b < 8; ++b) {
    SCOPED_TRACE("pair " + std::to_string(b));
    // Pair (b, b + 1) is kept by the frame of slot b + 1.
    EXPECT_EQ(mv[b], b >= 1 && b + 1 <= 6 ? static_cast<void *>(&arrays[b + 1]) : nullptr);
  }
  EXPECT_EQ(mv[8], &arrays[0]) << "entries past the window's pairs are left alone";
}

// The preview keeps its own copies of the pairs its frames (window slots k to 3k) span: later runs reuse
// the stage's arrays, the edits must not see that.
TEST(OutlierMotionPreview, CopiesOfThePairsTheEditsReach) {
  const SInt32 k = 2;
  BZ_OuSett sett{};
  sett.numConstPix = k;
  BZ_OuParams params{};
  params.sett = &sett;
  params.inWidth = 64;
  params.inHeight = 48;
  const size_t size = BZ_MvArraySize(64, 48);
  BZ_OuPreviewData *pv = nullptr;
  ASSERT_EQ(BZ_InitOuPreviewData(&pv), noErr);
  ASSERT_EQ(BZ_OuEnsurePreviewMvCopies(pv, k, size), noErr);
  std::vector<std::vector<UInt8>> arrays;
  void *mv[kBZ_OuNumWindowSlots] = {};
  for (SInt32 b = 0; b < 4 * k; ++b) arrays.emplace_back(size, UInt8(b + 1));
  for (SInt32 b = 0; b < 4 * k; ++b) mv[b] = arrays[size_t(b)].data();
  mv[3] = nullptr;  // a pair across an empty slot
  BZ_OuCopyPreviewMv(pv, &params, mv);
  for (SInt32 b = 0; b < kBZ_OuNumWindowSlots; ++b) {
    SCOPED_TRACE("pair " + std::to_string(b));
    if (b < k || b >= 3 * k || b == 3) {
      EXPECT_EQ(pv->mv[b], nullptr);
      continue;
    }
    ASSERT_NE(pv->mv[b], nullptr);
    EXPECT_NE(pv->mv[b], mv[b]);
    EXPECT_EQ(std::memcmp(pv->mv[b], arrays[size_t(b)].data(), size), 0);
  }
  arrays[4].assign(size, 0);
  EXPECT_EQ(static_cast<UInt8 *>(pv->mv[4])[size - 1], 5) << "the copy is the preview's own";
  // Another window size makes the copies again, and without vectors there are none.
  ASSERT_EQ(BZ_OuEnsurePreviewMvCopies(pv, 1, size), noErr);
  EXPECT_EQ(pv->mvNumCopies, 2);
  ASSERT_EQ(BZ_OuEnsurePreviewMvCopies(pv, 1, 0), noErr);
  BZ_OuCopyPreviewMv(pv, &params, mv);
  for (void *m : pv->mv) EXPECT_EQ(m, nullptr);
  EXPECT_EQ(BZ_OuEnsurePreviewMvCopies(pv, 4, size), paramErr);
  BZ_OuDisposePreviewData(&pv);
}

// A previewed frame's specks are those the execution finds for it: a pair's vectors come from its two frames
// alone, whatever the arrays and the worker's scratch held before and in whatever order the pairs were made.
TEST(OutlierMotionPreview, PreviewAndExecutionFindTheSameSpecks) {
  const SInt32 k = 1, w = 96, h = 64;
  BZ_OuSett sett{};
  BZ_MakeDefaultOuSett(&sett);
  sett.numConstPix = k;
  BZ_OuParams params{};
  params.sett = &sett;
  params.executing = true;
  params.numInBuffers = 4 * k + 1;
  params.inWidth = w;
  params.inHeight = h;
  SInt64 size = 0;
  ASSERT_EQ(BZ_GetBufferSize(h, w, false, &params.height, &params.width, &size), noErr);
  std::vector<std::vector<UInt8>> frames(5, std::vector<UInt8>(size_t(size), 128));
  UInt8 *window[kBZ_OuNumWindowSlots] = {};
  for (SInt32 s = 0; s < 5; ++s) {
    for (SInt32 y = 0; y < params.height; ++y)
      for (SInt32 x = 0; x < params.width; ++x) {
        const double u = x - 2.0 * s, v = y;
        frames[size_t(s)][2 * size_t(y * params.width + x) + 1] = UInt8(std::lround(
            128 + 45 * std::sin(u * 0.27 + 0.12 * v) + 30 * std::cos(v * 0.33) + 20 * std::sin((u + v) * 0.2 + 1.0)));
      }
    window[s] = frames[size_t(s)].data();
  }
  for (SInt32 y = 30; y < 33; ++y)
    for (SInt32 x = 40; x < 43; ++x) frames[2][2 * size_t((y + 8) * params.width + x + 8) + 1] = 250;
  float coeffs[25][6];
  ASSERT_EQ(BZ_MvGetCoeffs(coeffs), noErr);
  const size_t arraySize = BZ_MvArraySize(w, h), plane = size_t(params.width) * size_t(params.height);
  SInt32 av[kBZ_OuNumWindowSlots] = {};

  // The execution's worker made other pairs first, in the same arrays and scratch; then these, in order.
  std::vector<std::vector<UInt8>> execArrays(4, std::vector<UInt8>(arraySize));
  std::vector<UInt8> execScratch(BZ_MvScratchSize(w, h));
  void *execMv[kBZ_OuNumWindowSlots] = {};
  for (SInt32 b = 0; b < 4; ++b) {
    BZ_OuFindFramePairVectors(&params, coeffs, 0, window[4 - b], window[3 - b], execArrays[size_t(b)].data(),
                              execScratch.data());
    execMv[b] = execArrays[size_t(b)].data();
  }
  for (SInt32 b = 0; b < 4; ++b)
    BZ_OuFindFramePairVectors(&params, coeffs, av[b], window[b], window[b + 1], execMv[b], execScratch.data());
  std::vector<UInt16> data(plane);
  std::vector<SInt32> pixelList(plane);
  BZ_OuSpeckLE *execSpecks = nullptr;
  ASSERT_EQ(BZ_OuCalcSpeckList(&params, window, av, execMv, data.data(), pixelList.data(), &execSpecks), noErr);
  std::vector<UInt8> execOut(static_cast<size_t>(size));
  ASSERT_EQ(BZ_OuRemoveOutliers(&params, av, av, window, execOut.data(), pixelList.data(), data.data(), execMv,
                                nullptr, nullptr, nullptr),
            noErr);

  // The preview's run: fresh arrays and scratch, the pairs made the other way round.
  std::vector<std::vector<UInt8>> previewArrays(4, std::vector<UInt8>(arraySize));
  std::vector<UInt8> previewScratch(BZ_MvScratchSize(w, h));
  void *previewMv[kBZ_OuNumWindowSlots] = {};
  for (SInt32 b = 3; b >= 0; --b) {
    previewMv[b] = previewArrays[size_t(b)].data();
    BZ_OuFindFramePairVectors(&params, coeffs, av[b], window[b], window[b + 1], previewMv[b], previewScratch.data());
  }
  OuRecord r;
  ASSERT_EQ(BZ_OuMakeCaches(r.ou, params.width, params.height, params.numInBuffers, 1), noErr);
  BZ_OuPreviewData *pv = nullptr;
  ASSERT_EQ(BZ_InitOuPreviewData(&pv), noErr);
  ASSERT_EQ(BZ_OuEnsurePreviewWindowCopies(pv, size_t(size)), noErr);
  ASSERT_EQ(BZ_OuEnsurePreviewMvCopies(pv, k, arraySize), noErr);
  const BZ_OuPreviewTarget target{pv, r.ou, size_t(size)};
  std::vector<UInt8> previewOut(static_cast<size_t>(size));
  std::fill(data.begin(), data.end(), 0xFFFF);
  ASSERT_EQ(BZ_OuRemoveOutliers(&params, av, av, window, previewOut.data(), pixelList.data(), data.data(),
                                previewMv, nullptr, &target, nullptr),
            noErr);

  ASSERT_GE(LL_PtrListCount(execSpecks), 1);
  ASSERT_EQ(LL_PtrListCount(pv->speckList), LL_PtrListCount(execSpecks));
  for (const BZ_OuSpeckLE *a = execSpecks, *b = pv->speckList; a != nullptr; a = a->next, b = b->next) {
    EXPECT_EQ(a->speck.number, b->speck.number);
    EXPECT_EQ(a->speck.remove, b->speck.remove);
    ASSERT_EQ(a->speck.rgn.numPixels, b->speck.rgn.numPixels);
    EXPECT_TRUE(std::equal(a->speck.rgn.pixels, a->speck.rgn.pixels + a->speck.rgn.numPixels, b->speck.rgn.pixels));
  }
  EXPECT_EQ(execOut, previewOut);
  for (SInt32 b = k; b < 3 * k; ++b) {
    ASSERT_NE(pv->mv[b], nullptr);
    EXPECT_EQ(std::memcmp(pv->mv[b], execMv[b], arraySize), 0) << "pair " << b;
  }
  BZ_OuDisposeSpeckList(&execSpecks);
  BZ_OuDisposePreviewData(&pv);
}

}  // namespace
