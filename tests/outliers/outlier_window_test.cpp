// The outlier stage's window without threads: scene values and their rounding, the usable range around the
// centre, the window's positions and flush, the dropping of an earlier chunk, the release rendezvous of
// input frames, and the replacement of a speck whose neighbours are both unusable.
#include "outliers/outlier_window.h"

#include "engine/tasks/task_runtime.h"
#include "outliers/outlier_stage.h"
#include "outliers/scene_values.h"
#include "outliers/speck_replacement.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

BZ_OuParams ParamsOf(SInt32 width, SInt32 height, BZ_OuSett *sett) {
  BZ_OuParams p{};
  p.sett = sett;
  p.width = width;
  p.height = height;
  p.inWidth = width;
  p.inHeight = height;
  p.numInBuffers = 4 * sett->numConstPix + 1;
  return p;
}

BZ_OuSett Sett(SInt32 k, SInt32 maxAvPixelDiff = 30) {
  BZ_OuSett s{};
  s.numConstPix = k;
  s.maxAvPixelDiff = maxAvPixelDiff;
  return s;
}

// ---- Scene values ----

// (sum + n / 2) / n over the whole padded frame, luma bytes only; both kernels agree.
TEST(OutliersSceneValue, RoundsHalfUpOverTheLumaBytes) {
  const SInt32 width = 8, height = 2;  // 16 pixels
  const struct {
    const char *name;
    int lumaSum;  // total |Y1 - Y2|, spread over the first pixels
    SInt32 expected;
  } cases[] = {
      {"equal frames", 0, 0},
      {"just below a half", 7, 0},
      {"exactly a half rounds up", 8, 1},
      {"one and a half", 24, 2},
      {"largest difference", 16 * 255, 255},
  };
  BZ_OuSett sett = Sett(2);
  const BZ_OuParams p = ParamsOf(width, height, &sett);
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<UInt8> a(2 * width * height, 100), b(a);
    for (size_t i = 0; i < a.size(); i += 2) a[i] = b[i] = 0, b[i] = 255;  // chroma differs everywhere
    for (int left = c.lumaSum, px = 0; left > 0; ++px) {
      const int d = std::min(left, 255);
      a[2 * px + 1] = 0;
      b[2 * px + 1] = UInt8(d);
      left -= d;
    }
    EXPECT_EQ(c.expected, BZ_OuGetAvPixelDiff(&p, a.data(), b.data()));
    EXPECT_EQ(UInt64(c.lumaSum), BZ_OuSumLumaAbsDiff(width * height, a.data(), b.data()));
    EXPECT_EQ(UInt64(c.lumaSum), BZ_OuSumLumaAbsDiffAcc(width * height, a.data(), b.data()));
  }
}

// The SSE sum equals the scalar one for counts that are not multiples of its step, random frames.
TEST(OutliersSceneValue, VectorSumMatchesScalarForAnyCount) {
  std::mt19937 rng(7);
  for (SInt64 n : {1, 7, 8, 9, 15, 16, 17, 736 * 592 + 3}) {
    SCOPED_TRACE(n);
    std::vector<UInt8> a(size_t(2 * n)), b(size_t(2 * n));
    for (auto &v : a) v = UInt8(rng());
    for (auto &v : b) v = UInt8(rng());
    EXPECT_EQ(BZ_OuSumLumaAbsDiff(n, a.data(), b.data()), BZ_OuSumLumaAbsDiffAcc(n, a.data(), b.data()));
    EXPECT_EQ(BZ_OuSumLumaAbsDiff(n, a.data(), b.data()), BZ_OuSumLumaAbsDiffUni(true, n, a.data(), b.data()));
    EXPECT_EQ(BZ_OuSumLumaAbsDiff(n, a.data(), b.data()), BZ_OuSumLumaAbsDiffUni(false, n, a.data(), b.data()));
  }
}

// ---- Usable range ----

TEST(OutliersUsableRange, InnermostCutWinsOnEachSide) {
  UInt8 frame = 0;
  const SInt32 limit = 30;
  struct Case {
    const char *name;
    std::vector<SInt32> cuts;    // slots i whose value (between i and i + 1) is above the limit
    std::vector<SInt32> empty;   // empty slots
    SInt32 atLimit;              // a slot whose value equals the limit (-1: none)
    SInt32 min, max;
  };
  const Case cases[] = {
      {"whole window", {}, {}, -1, 0, 9},
      {"a value equal to the limit is no cut", {}, {}, 3, 0, 9},
      {"cut before the centre", {2}, {}, -1, 3, 9},
      {"two cuts before: the inner one", {0, 2}, {}, -1, 3, 9},
      {"cut just before the centre", {3}, {}, -1, 4, 9},
      {"cut after the centre", {5}, {}, -1, 0, 6},
      {"two cuts after: the inner one", {4, 6}, {}, -1, 0, 5},
      {"cut right after the centre", {4}, {}, -1, 0, 5},
      {"empty slots at the start", {}, {0, 1}, -1, 2, 9},
      {"empty slots at the end (flush)", {}, {7, 8}, -1, 0, 7},
      {"cut and empty slots", {1}, {7, 8}, -1, 2, 7},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    UInt8 *buffers[9];
    SInt32 av[9] = {};
    for (UInt8 *&b : buffers) b = &frame;
    for (SInt32 e : c.empty) buffers[e] = nullptr;
    for (SInt32 i : c.cuts) av[i] = limit + 1;
    if (c.atLimit >= 0) av[c.atLimit] = limit;
    SInt32 min = -1, max = -1;
    BZ_OuGetInBufferIndexBounds(limit, buffers, 9, av, &min, &max);
    EXPECT_EQ(c.min, min);
    EXPECT_EQ(c.max, max);
  }
}

// ---- Window positions ----

// Feeding frames 0..n-1 and flushing 4k times after the last: the centre is empty for the first 2k
// positions, then every frame reaches it exactly once, the last 2k during the flush.
TEST(OutliersWindow, EveryFrameReachesTheCentreOnce) {
  for (SInt32 k = 1; k <= 3; ++k) {
    for (SInt32 n : {1, 2, 4 * k, 4 * k + 1, 20}) {
      SCOPED_TRACE("k " + std::to_string(k) + ", " + std::to_string(n) + " frames");
      BZ_OuWindow w{};
      ASSERT_EQ(noErr, BZ_OuInitWindow(&w, k));
      std::vector<BZ_OuFrameRec> recs(static_cast<size_t>(n));
      std::vector<SInt32> centres, left;
      auto handle = [&] {
        centres.push_back(w.slots[2 * k] != nullptr ? w.slots[2 * k]->frameNum : -1);
        if (w.slots[0] != nullptr) left.push_back(w.slots[0]->frameNum);
      };
      for (SInt32 f = 0; f < n; ++f) {
        recs[size_t(f)].frameNum = f;
        BZ_OuShiftWindow(&w, &recs[size_t(f)]);
        handle();
      }
      const size_t beforeFlush = centres.size();
      for (SInt32 i = 0; i < 4 * k; ++i) {
        BZ_OuShiftWindow(&w, nullptr);
        handle();
      }
      std::vector<SInt32> expected(size_t(std::min<SInt32>(2 * k, n)), -1);
      std::vector<SInt32> produced;
      for (SInt32 c : centres)
        if (c >= 0) produced.push_back(c);
      std::vector<SInt32> all(static_cast<size_t>(n));
      for (SInt32 f = 0; f < n; ++f) all[size_t(f)] = f;
      EXPECT_EQ(all, produced);
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(), centres.begin())) << "the first 2k give no output";
      // The frames that reach the centre only in the flush are the last 2k (or all, for short movies).
      SInt32 inFlush = 0;
      for (size_t i = beforeFlush; i < centres.size(); ++i) inFlush += centres[i] >= 0;
      EXPECT_EQ(std::min<SInt32>(2 * k, n), inFlush);
      EXPECT_EQ(all, left) << "every frame leaves the window exactly once, in order";
    }
  }
}

TEST(OutliersWindow, WindowSizesOutsideOneToThreeAreRefused) {
  for (SInt32 k : {-1, 0, 4, 100}) {
    BZ_OuWindow w{};
    EXPECT_EQ(paramErr, BZ_OuInitWindow(&w, k)) << k;
    EXPECT_EQ(0, w.numInBuffers);
    EXPECT_EQ(nullptr, BZ_OuShiftWindow(&w, nullptr));
  }
}

// ---- An earlier chunk's frames ----

TEST(OutliersWindow, FramesOfAnEarlierChunkAreDropped) {
  const struct {
    const char *name;
    std::vector<SInt32> frames;  // per slot, -1 empty
    SInt32 firstKept;
  } cases[] = {
      {"one chunk", {10, 11, 12, 13, 14, 15, 16, 17, 18}, 0},
      {"next chunk from slot 3", {10, 11, 12, 40, 41, 42, 43, 44, 45}, 3},
      {"empty slots before a chunk", {-1, -1, 5, 6, 7, 8, 9, 10, 11}, 0},
      {"gap after empty slots", {-1, 3, 4, 20, 21, 22, 23, -1, -1}, 3},
      {"two gaps: the first one counts", {1, 2, 10, 11, 30, 31, 32, 33, 34}, 2},
      {"chunk ends before the flush", {50, 51, 52, 53, 54, 55, -1, -1, -1}, 0},
  };
  BZ_OuSett sett = Sett(2);
  const BZ_OuParams p = ParamsOf(16, 8, &sett);
  // A stage pool of 9 buffers whose descriptors carry the frame numbers.
  BZ_BuffInfo *stage = new BZ_BuffInfo{};
  std::vector<UInt8> block(9 * 64);
  stage->size = 64;
  stage->numFrameBuffers = 9;
  for (SInt32 i = 0; i < 9; ++i) {
    stage->frameBuffInfo[i].number = i;
    stage->frameBuffInfo[i].ptr = block.data() + 64 * i;
  }
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.firstKept, BZ_OuFirstSlotOfChunk(c.frames.data(), 9));
    UInt8 *buffers[9];
    for (SInt32 i = 0; i < 9; ++i) {
      stage->frameBuffInfo[i].frameNum = c.frames[size_t(i)];
      buffers[i] = c.frames[size_t(i)] >= 0 ? stage->frameBuffInfo[i].ptr : nullptr;
    }
    BZ_OuRemovePreviousInBuffers(&p, stage, buffers);
    for (SInt32 i = 0; i < 9; ++i)
      EXPECT_EQ(i < c.firstKept || c.frames[size_t(i)] < 0 ? nullptr : stage->frameBuffInfo[i].ptr, buffers[i]) << i;
  }
  delete stage;
}

// ---- The release rendezvous ----

class OutliersRelease : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(noErr, MPCreateQueue(&free_));
    stage_ = new BZ_BuffInfo{};
    block_.assign(4 * 32, 0);
    stage_->size = 32;
    stage_->numFrameBuffers = 4;
    for (SInt32 i = 0; i < 4; ++i) {
      stage_->frameBuffInfo[i].number = i;
      stage_->frameBuffInfo[i].frameNum = 20 + i;
      stage_->frameBuffInfo[i].ptr = block_.data() + 32 * i;
    }
    sett_ = Sett(2);
    params_ = ParamsOf(16, 8, &sett_);
    params_.executing = true;
  }
  void TearDown() override {
    MPDeleteQueue(free_);
    delete stage_;
  }
  UInt8 *Buffer(SInt32 i) { return stage_->frameBuffInfo[i].ptr; }
  // The buffers on the free queue, in order, with the sender checked.
  std::vector<UInt8 *> Freed() {
    std::vector<UInt8 *> freed;
    void *sender = nullptr, *buffer = nullptr;
    while (MPWaitOnQueue(free_, &sender, nullptr, &buffer, kDurationImmediate) == noErr) {
      EXPECT_EQ(intptr_t(kBZ_OutlierTaskType), intptr_t(sender));
      freed.push_back(static_cast<UInt8 *>(buffer));
    }
    return freed;
  }
  OSStatus Done(SInt32 i) { return BZ_OuFreeInBuffer0(&params_, nullptr, stage_, free_, diff_, notify_, Buffer(i)); }
  OSStatus Release(SInt32 i) { return BZ_OuHandleFreeInBuffer0Message(nullptr, free_, diff_, notify_, Buffer(i)); }

  MPQueueID free_ = nullptr;
  BZ_BuffInfo *stage_ = nullptr;
  std::vector<UInt8> block_;
  BZ_OuSett sett_{};
  BZ_OuParams params_{};
  UInt8 *diff_[kBZ_OuNumReleaseEntries] = {};
  UInt8 *notify_[kBZ_OuNumReleaseEntries] = {};
};

TEST_F(OutliersRelease, KeptFrameGoesBackWhenBothSidesAreDoneInEitherOrder) {
  params_.freeInputBuffer = false;
  // Done first, then released.
  ASSERT_EQ(noErr, Done(0));
  EXPECT_TRUE(Freed().empty());
  ASSERT_EQ(noErr, Release(0));
  EXPECT_EQ(std::vector<UInt8 *>{Buffer(0)}, Freed());
  // Released first, then done.
  ASSERT_EQ(noErr, Release(1));
  EXPECT_TRUE(Freed().empty());
  ASSERT_EQ(noErr, Done(1));
  EXPECT_EQ(std::vector<UInt8 *>{Buffer(1)}, Freed());
  // Nothing stays behind in the lists.
  for (SInt32 i = 0; i < kBZ_OuNumReleaseEntries; ++i) EXPECT_TRUE(diff_[i] == nullptr && notify_[i] == nullptr);
}

TEST_F(OutliersRelease, FramesNotKeptGoBackAtOnce) {
  // The stage may free its inputs.
  params_.freeInputBuffer = true;
  ASSERT_EQ(noErr, Done(0));
  // A preview keeps its test frames only.
  params_.freeInputBuffer = false;
  params_.executing = false;
  SInt32 tests[] = {22};
  params_.testNumArray = tests;
  params_.numTestFrames = 1;
  ASSERT_EQ(noErr, Done(1));
  ASSERT_EQ(noErr, Done(2));
  EXPECT_EQ((std::vector<UInt8 *>{Buffer(0), Buffer(1)}), Freed());
  ASSERT_EQ(noErr, Release(2));
  EXPECT_EQ(std::vector<UInt8 *>{Buffer(2)}, Freed());
  // Analysis runs (calcStats) keep none: nothing would release them.
  params_.calcStats = true;
  ASSERT_EQ(noErr, Done(2));
  EXPECT_EQ(std::vector<UInt8 *>{Buffer(2)}, Freed());
}

TEST_F(OutliersRelease, FullListsRecordNothing) {
  params_.freeInputBuffer = false;
  UInt8 other = 0;
  std::fill(std::begin(notify_), std::end(notify_), &other);
  std::fill(std::begin(diff_), std::end(diff_), &other);
  EXPECT_EQ(noErr, Done(0));
  EXPECT_EQ(noErr, Release(1));
  EXPECT_TRUE(Freed().empty());
  EXPECT_EQ(kBZ_OuNumReleaseEntries, std::count(std::begin(notify_), std::end(notify_), &other));
  EXPECT_EQ(kBZ_OuNumReleaseEntries, std::count(std::begin(diff_), std::end(diff_), &other));
}

// ---- Replacement without a usable neighbour ----

// A speck whose neighbours both lie beyond scene changes (or outside the movie) is filled from its ring in
// its own frame, never from the next slot; a pixel whose ring has no weight keeps its value.
TEST(OutliersSpeckReplacement, NoUsableNeighbourFillsFromTheRing) {
  const SInt32 width = 16, height = 8, k = 2;
  BZ_OuSett sett = Sett(k, 30);
  const BZ_OuParams p = ParamsOf(width, height, &sett);
  const size_t size = size_t(width * height * 2);
  std::vector<std::vector<UInt8>> frames(9, std::vector<UInt8>(size, 0));
  for (SInt32 i = 0; i < 9; ++i)
    for (size_t b = 0; b < size; b += 2) frames[size_t(i)][b] = 128, frames[size_t(i)][b + 1] = UInt8(20 * i);
  const SInt32 centre = 2 * k, p0 = 3 * width + 5;
  const std::vector<SInt32> ring = {p0 - width, p0 + width, p0 - 1, p0 + 1};
  for (SInt32 q : ring) frames[size_t(centre)][size_t(2 * q + 1)] = 200;
  BZ_OuSpeck speck{};
  std::vector<SInt32> pixels = {p0};
  pixels.insert(pixels.end(), ring.begin(), ring.end());
  speck.rgn.pixels = pixels.data();
  speck.rgn.numPixels = 1;
  speck.rgn.edgeSize1 = SInt32(ring.size());
  speck.remove = true;

  const struct {
    const char *name;
    std::vector<SInt32> cuts;
    std::vector<SInt32> empty;
    int expected;
  } cases[] = {
      {"cuts on both sides", {centre - 1, centre}, {}, 200},
      {"cut after, previous frame missing", {centre}, {centre - 1}, 200},
      {"both neighbours missing", {}, {centre - 1, centre + 1}, 200},
      {"next usable only", {centre - 1}, {}, 20 * (centre + 1)},
      {"previous usable only", {centre}, {}, 20 * (centre - 1)},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    UInt8 *window[kBZ_OuNumWindowSlots] = {};
    for (SInt32 i = 0; i < 9; ++i) window[i] = frames[size_t(i)].data();
    for (SInt32 e : c.empty) window[e] = nullptr;
    SInt32 av[kBZ_OuNumWindowSlots] = {};
    for (SInt32 i : c.cuts) av[i] = 31;
    std::vector<UInt8> out = frames[size_t(centre)];
    BZ_OuInterpolateSpeckTemporally(&p, av, window, out.data(), nullptr, nullptr, &speck);
    EXPECT_EQ(c.expected, out[size_t(2 * p0 + 1)]);
  }
  // Without a ring nothing can be filled: the pixel keeps its value.
  speck.rgn.edgeSize1 = 0;
  UInt8 *window[kBZ_OuNumWindowSlots] = {};
  window[centre] = frames[size_t(centre)].data();
  SInt32 av[kBZ_OuNumWindowSlots] = {};
  std::vector<UInt8> out = frames[size_t(centre)];
  BZ_OuInterpolateSpeckTemporally(&p, av, window, out.data(), nullptr, nullptr, &speck);
  EXPECT_TRUE(out == frames[size_t(centre)]);
}

}  // namespace
