// The banded frame operations give the single-task dispatchers' bytes for every band layout, count every
// band (one worker serving many, more workers than an event word has bits), and wait for posted bands when
// a post fails.
#include "color/multitask_frames.h"

#include "color/gamma_tables.h"
#include "color/legalising.h"
#include "engine/tasks/task_runtime.h"
#include "support/color_frames.h"
#include "support/kernel_check.h"
#include "support/task_check.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

namespace {

using bz_test::GuardedFloats;
using bz_test::GuardedFrame;

// A pool of workers on one shared queue, made as a stage makes its workers and closed the same way.
struct WorkerPool {
  MP_TaskData stage{};
  MPQueueID shared = nullptr;
  WorkerPool() { EXPECT_EQ(MPCreateQueue(&stage.inputQueue), noErr); EXPECT_EQ(MPCreateQueue(&shared), noErr); }
  void Start(SInt32 workers, TaskProc entry) {
    stage.numSubTasks = workers;
    ASSERT_EQ(BZ_CreateSubTasks(&stage, entry, shared), noErr);
  }
  ~WorkerPool() {
    if (stage.subTaskList != nullptr) {
      EXPECT_EQ(BZ_CloseProcSubTasks(&stage, nullptr), noErr);
    }
    MPDeleteQueue(shared);
    MPDeleteQueue(stage.inputQueue);
  }
};

struct BandCase {
  SInt32 width, height, processors, workers;
  SInt32 bands;       // 0: the calling task alone
  SInt32 firstLines;  // lines of every band but the last
  SInt32 lastLines;
  Boolean sse;
};

const BandCase kBandCases[] = {
    {720, 276, 4, 4, 0, 0, 0, true},          // 198720 pixels: alone
    {720, 288, 4, 4, 2, 144, 144, true},      // 207360 pixels: 2 bands
    {1920, 1080, 8, 8, 8, 135, 135, true},
    {1920, 1080, 16, 16, 16, 67, 75, false},  // the last band takes the remainder
    {1920, 1080, 8, 1, 8, 135, 135, true},    // one worker serves all bands
    {3840, 2160, 40, 40, 40, 54, 54, true},   // more workers than an event word has bits
    {2, 1, 1, 1, 0, 0, 0, false},
};

class MultitaskBands : public ::testing::TestWithParam<BandCase> {};

// Every band's lines, width and float line as cut, and every band marked done.
template <typename Params>
void ExpectBands(const BandCase &c, const Params *params, const float *lines) {
  for (SInt32 k = 0; k < c.bands; ++k) {
    SCOPED_TRACE(testing::Message() << "band " << k);
    EXPECT_EQ(params[k].height, k == c.bands - 1 ? c.lastLines : c.firstLines);
    EXPECT_EQ(params[k].width, c.width);
    EXPECT_EQ(params[k].linePtrF, lines + size_t(k) * size_t(c.width) * 2);
    EXPECT_TRUE(params[k].bandDone.load());
  }
}

TEST_P(MultitaskBands, LegalisingEqualsTheSingleTaskDispatcher) {
  const BandCase c = GetParam();
  BZ_KERNEL_SEED_TRACE();
  SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " on " << c.processors << " processors, "
                                  << c.workers << " workers");
  GuardedFrame input(c.width, c.height);
  bz_test::Fill2vuyRandom(input, bz_test::Rng());
  GuardedFloats single(size_t(c.width) * 2);
  GuardedFloats lines(size_t(c.processors) * size_t(c.width) * 2);

  for (bool ire : {false, true}) {
    SCOPED_TRACE(ire ? "CO_FrameLimitIRE_UniMP" : "CO_FrameSanityCheckUniMP");
    GuardedFrame expected = input, actual = input;
    if (ire)
      CO_FrameLimitIRE_Uni(c.sse, c.sse, c.height, c.width, expected.data(), single.data(), false, 1.1f);
    else
      CO_FrameSanityCheckUni(c.sse, c.sse, c.height, c.width, expected.data(), single.data(), true);

    WorkerPool pool;
    MPEventID event = nullptr;
    ASSERT_EQ(MPCreateEvent(&event), noErr);
    if (c.bands > 0) pool.Start(c.workers, ire ? CO_FrameLimitIRE_UniTask : CO_FrameSanityCheckUniTask);
    // Without bands nothing may be posted: a null queue would make any post fail.
    MPQueueID queue = c.bands > 0 ? pool.shared : nullptr;
    if (ire) {
      std::unique_ptr<CO_MP_LimitIRE_Params[]> params(new CO_MP_LimitIRE_Params[size_t(c.processors)]());
      for (SInt32 k = 0; k < c.processors; ++k) params[k].hasAltivec = params[k].hasSSE3 = c.sse;
      ASSERT_EQ(CO_FrameLimitIRE_UniMP(c.sse, c.sse, c.height, c.width, actual.data(), lines.data(), false, 1.1f,
                                       c.processors, params.get(), queue, event),
                noErr);
      ExpectBands(c, params.get(), lines.data());
      for (SInt32 k = 0; k < c.bands; ++k)
        EXPECT_EQ(params[k].buffer, actual.Row(k * c.firstLines)) << "band " << k;
    } else {
      std::unique_ptr<CO_MP_SanityCheckParams[]> params(new CO_MP_SanityCheckParams[size_t(c.processors)]());
      for (SInt32 k = 0; k < c.processors; ++k) params[k].hasAltivec = params[k].hasSSE3 = c.sse;
      ASSERT_EQ(CO_FrameSanityCheckUniMP(c.sse, c.sse, c.height, c.width, actual.data(), lines.data(), true,
                                         c.processors, params.get(), queue, event),
                noErr);
      ExpectBands(c, params.get(), lines.data());
      for (SInt32 k = 0; k < c.bands; ++k)
        EXPECT_EQ(params[k].buffer, actual.Row(k * c.firstLines)) << "band " << k;
    }
    EXPECT_TRUE(bz_test::Frames2vuyAgree(expected, actual, bz_test::ExactBytes()));
    EXPECT_TRUE(actual.CheckGuards());
    EXPECT_TRUE(lines.CheckGuards());
    MPDeleteEvent(event);
  }
}

TEST_P(MultitaskBands, GammaChangeEqualsTheSingleTaskDispatcher) {
  const BandCase c = GetParam();
  BZ_KERNEL_SEED_TRACE();
  SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " on " << c.processors << " processors, "
                                  << c.workers << " workers");
  // Row strides wider than the picture and different on both sides: bands must step by each.
  const SInt32 inRowBytes = c.width * 2 + 32, outRowBytes = c.width * 2 + 64;
  GuardedFrame input(c.width, c.height, inRowBytes);
  bz_test::Fill2vuyRandom(input, bz_test::Rng());
  GuardedFrame expected(c.width, c.height, outRowBytes), actual(c.width, c.height, outRowBytes);
  std::vector<UInt16> table(kCO_RGBTableEntries);
  CO_MakeRGBTable(2.2f, 1.8f, table.data());
  GuardedFloats single(size_t(c.width) * 2 + 4);
  GuardedFloats lines(size_t(c.processors) * size_t(c.width) * 2 + 4);
  CO_2vuyFrameChangeGammaUni(c.sse, c.sse, c.height, c.width, input.data(), expected.data(), single.data(),
                             inRowBytes, outRowBytes, 2.2f, 1.8f, table.data());

  WorkerPool pool;
  MPEventID event = nullptr;
  ASSERT_EQ(MPCreateEvent(&event), noErr);
  if (c.bands > 0) pool.Start(c.workers, CO_2vuyFrameChangeGammaUniTask);
  std::unique_ptr<CO_MP_Change2vuyGammaParams[]> params(new CO_MP_Change2vuyGammaParams[size_t(c.processors)]());
  for (SInt32 k = 0; k < c.processors; ++k) params[k].hasAltivec = params[k].hasSSE3 = c.sse;
  ASSERT_EQ(CO_2vuyFrameChangeGammaUniMP(c.sse, c.sse, c.height, c.width, input.data(), actual.data(), lines.data(),
                                         inRowBytes, outRowBytes, table.data(), 2.2f, 1.8f, c.processors,
                                         params.get(), c.bands > 0 ? pool.shared : nullptr, event),
            noErr);
  ExpectBands(c, params.get(), lines.data());
  for (SInt32 k = 0; k < c.bands; ++k) {
    EXPECT_EQ(params[k].inBuffer, input.Row(k * c.firstLines)) << "band " << k;
    EXPECT_EQ(params[k].outBuffer, actual.Row(k * c.firstLines)) << "band " << k;
  }
  EXPECT_TRUE(bz_test::Frames2vuyAgree(expected, actual, bz_test::ExactBytes()));
  EXPECT_TRUE(actual.CheckGuards());
  EXPECT_TRUE(lines.CheckGuards());
  MPDeleteEvent(event);
}

INSTANTIATE_TEST_SUITE_P(Layouts, MultitaskBands, ::testing::ValuesIn(kBandCases));

// The fourth post fails: the distributor must not return while the three posted bands are still to be done
// (they work in the caller's frame), and the bands never posted stay untouched.
TEST(ColorMultitaskFrames, FailedPostWaitsForThePostedBands) {
  const SInt32 width = 1920, height = 1080, n = 8;
  for (int op = 0; op < 2; ++op) {
    SCOPED_TRACE(op == 0 ? "CO_FrameSanityCheckUniMP" : "CO_2vuyFrameChangeGammaUniMP");
    GuardedFrame input(width, height);
    bz_test::Fill2vuyRandom(input, bz_test::Rng());
    GuardedFrame frame = input, out(width, height);
    GuardedFloats lines(size_t(n) * width * 2);
    std::vector<UInt16> table(kCO_RGBTableEntries);
    CO_MakeRGBTable(2.2f, 1.8f, table.data());
    std::unique_ptr<CO_MP_SanityCheckParams[]> sanity(new CO_MP_SanityCheckParams[n]());
    std::unique_ptr<CO_MP_Change2vuyGammaParams[]> gamma(new CO_MP_Change2vuyGammaParams[n]());
    for (SInt32 k = 0; k < n; ++k) sanity[k].hasSSE3 = gamma[k].hasSSE3 = true;

    WorkerPool pool;
    MPEventID event = nullptr;
    ASSERT_EQ(MPCreateEvent(&event), noErr);
    ASSERT_EQ(PL_FailQueueNotifies(pool.shared, 3, kMPInsufficientResourcesErr), noErr);
    std::atomic<bool> returned{false};
    std::atomic<OSStatus> result{1};
    MPQueueID term = nullptr;
    ASSERT_EQ(MPCreateQueue(&term), noErr);
    bz_test::StartTask(
        [&]() -> OSStatus {
          OSStatus err = op == 0 ? CO_FrameSanityCheckUniMP(true, true, height, width, frame.data(), lines.data(), false,
                                                            n, sanity.get(), pool.shared, event)
                                 : CO_2vuyFrameChangeGammaUniMP(true, true, height, width, input.data(), out.data(),
                                                                lines.data(), width * 2, width * 2, table.data(), 2.2f,
                                                                1.8f, n, gamma.get(), pool.shared, event);
          result = err;
          returned = true;
          return noErr;
        },
        term);
    // The distributor has posted what it could and waits; no worker exists yet.
    ASSERT_TRUE(bz_test::WaitUntil([&] { return PL_MPWaiterCount(event) == 1; }));
    EXPECT_FALSE(returned.load());
    pool.Start(2, op == 0 ? CO_FrameSanityCheckUniTask : CO_2vuyFrameChangeGammaUniTask);
    ASSERT_EQ(MPWaitOnQueue(term, nullptr, nullptr, nullptr, bz_test::kHangLimit), noErr);
    EXPECT_EQ(result.load(), kMPInsufficientResourcesErr);
    PL_FailQueueNotifies(pool.shared, -1, noErr);

    // The three posted bands are done exactly as the single-task dispatcher does them; the rest is untouched.
    const SInt32 posted = 3 * (height / n);
    GuardedFrame expected = input, expectedOut(width, height);
    GuardedFloats single(size_t(width) * 2);
    if (op == 0) {
      CO_FrameSanityCheckUni(true, true, posted, width, expected.data(), single.data(), false);
      EXPECT_TRUE(bz_test::Frames2vuyAgree(expected, frame, bz_test::ExactBytes()));
    } else {
      CO_2vuyFrameChangeGammaUni(true, true, posted, width, input.data(), expectedOut.data(), single.data(), width * 2,
                                 width * 2, 2.2f, 1.8f, table.data());
      EXPECT_TRUE(bz_test::Frames2vuyAgree(expectedOut, out, bz_test::ExactBytes()));
    }
    MPDeleteQueue(term);
    MPDeleteEvent(event);
  }
}

}  // namespace
