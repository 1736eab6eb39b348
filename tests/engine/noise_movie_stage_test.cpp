// The noise-frame stage: the difference picture's mid grey and its factors by scale mode (the kernel itself is
// tested in runtime/diff_lines_test.cpp), the release of source frames and the stage task.
#include "engine/noise_movie_stage.h"

#include "engine/runtime/working_format.h"
#include "engine/tasks/task_runtime.h"
#include "support/engine_fixtures.h"
#include "support/kernel_check.h"
#include "support/task_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

TEST(EngineNoiseMovie, MediumGrayFollowsTheGamma) {
  EXPECT_EQ(BZ_DiffMediumGray(2.2f), 125);
  EXPECT_EQ(BZ_DiffMediumGray(1.8f), 110);
}

class ScalarPathFixture : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = gBZ.procInfo.hasSSE3; }
  void TearDown() override { gBZ.procInfo.hasSSE3 = saved_; }
  Boolean saved_ = false;
};

TEST_F(ScalarPathFixture, DiffFrameChoosesFactorsByScaleMode) {
  gBZ.procInfo.hasSSE3 = false;
  // One pixel pair with dC = 4 and dY = 10, the rest equal.
  std::vector<UInt8> dirty(16, 100), clean(16, 100);
  clean[0] = 104;
  clean[1] = 110;
  struct Case {
    UInt32 scaleMode;
    Boolean showLuma, showChroma;
    int chroma, luma;  // of pixel 0 (the luma smoothed with mid grey 125)
  } const cases[] = {
      {0, true, true, 132, 130},   // scale 1: 125 + 10 = 135 -> (135 + 125) / 2
      {1, true, true, 136, 135},   // the user's scale 2: 145
      {2, true, true, 140, 140},   // optimal 3 and 3: 155
      {2, true, false, 128, 140},  // no chroma
      {1, false, true, 136, 127},  // chroma drawn into the luma at factor 1: 125 + 4 = 129
  };
  for (const Case &c : cases) {
    SCOPED_TRACE("mode " + std::to_string(c.scaleMode) + (c.showLuma ? " luma" : "") + (c.showChroma ? " chroma" : ""));
    BZ_DiffParams params{c.showChroma, c.showLuma, 2.0f, 3.0f, 3.0f, c.scaleMode};
    std::vector<UInt8> out(16);
    BZ_MakeDiffFrame(1, 8, &params, 2.2f, dirty.data(), clean.data(), out.data());
    EXPECT_EQ(out[0], c.chroma);
    EXPECT_EQ(out[1], c.luma);
  }
}

// ---- Release of source frames ----

class EngineDirtyFrames : public ::testing::Test {
 protected:
  void SetUp() override {
    BZ_BuffInfo *table = project_->dynIO_Info.buffInfo;
    table[0].type = kBZ_ReadTaskType;
    table[1].type = kBZ_CopyTaskType;
    table[2].type = kBZ_NoiseRedTaskType;
    table[2].size = 16;
    table[2].numFrameBuffers = kFrames;
    storage_.resize(16 * kFrames);
    for (SInt32 i = 0; i < kFrames; ++i) {
      table[2].frameBuffInfo[i].number = i;
      table[2].frameBuffInfo[i].ptr = storage_.data() + 16 * i;
      table[2].frameBuffInfo[i].frameNum = i;
    }
    ASSERT_EQ(MPCreateQueue(&free_), noErr);
  }
  void TearDown() override { MP_DeleteQueue(&free_); }

  // The frame numbers whose buffers arrived on the free queue.
  std::set<SInt32> Released() {
    std::set<SInt32> frames;
    void *buffer = nullptr;
    while (MPWaitOnQueue(free_, nullptr, nullptr, &buffer, kDurationImmediate) == noErr)
      frames.insert(SInt32((static_cast<UInt8 *>(buffer) - storage_.data()) / 16));
    return frames;
  }

  static constexpr SInt32 kFrames = 10;
  bz_test::CurrentProject project_;
  std::vector<UInt8> storage_;
  MPQueueID free_ = nullptr;
};

TEST_F(EngineDirtyFrames, ExecutingKeepsWhatLaterFramesNeed) {
  project_->state.exec = kBZ_ProjStateExecuting;
  BZ_FrameBuffInfo done{};
  done.frameNum = 5;
  ASSERT_EQ(BZ_FreeDirtyFrames(project_.get(), kBZ_ComprTaskType, &done, nullptr, 0, kFrames, free_, 2), noErr);
  EXPECT_EQ(Released(), (std::set<SInt32>{3}));
  done.frameNum = kFrames - 1;  // the last frame: nothing is needed any more
  ASSERT_EQ(BZ_FreeDirtyFrames(project_.get(), kBZ_ComprTaskType, &done, nullptr, 0, kFrames, free_, 2), noErr);
  EXPECT_EQ(Released(), (std::set<SInt32>{7, 8, 9}));
}

TEST_F(EngineDirtyFrames, ListedRunsReleaseWhatTheNextListedFrameDoesNotReach) {
  project_->state.exec = kBZ_ProjStateAnalyzingMovie;
  // The output list 2, 3, 7: frame 3 done, 7 next with one frame before it.
  const SInt32 list[] = {2, 3, 7, 0x7FFFFFFF};
  BZ_FrameBuffInfo done{};
  done.frameNum = 3;
  ASSERT_EQ(BZ_FreeDirtyFrames(project_.get(), kBZ_WriteTaskType, &done, list, 2, 3, free_, 1), noErr);
  EXPECT_EQ(Released(), (std::set<SInt32>{2, 3}));
  // The list's last frame: everything listed before goes.
  done.frameNum = 7;
  ASSERT_EQ(BZ_FreeDirtyFrames(project_.get(), kBZ_WriteTaskType, &done, list, 3, 3, free_, 1), noErr);
  EXPECT_EQ(Released(), (std::set<SInt32>{7}));
}

}  // namespace

// ---- The stage task over a hand-made table ----

// Source frames in the first processing stage, cleaned frames in the write stage of file 0 and the noise
// movie's write stage of file 1; the noise-frame task runs on its own and is stopped as the main task does.
class EngineNoiseFrameTask : public ::testing::Test {
 protected:
  void SetUp() override {
    BZ_StatMovInfo *movies = project_.statMovInfo();
    bz_test::DescribeSource(movies, 0, 8, 16, 2, '2vuy');
    movies[0].gamma = 2.2f;
    project_->info.settings.output.cType = '2vuy';
    project_->info.settings.diffParams = BZ_DiffParams{true, true, 1.0f, 0.0f, 0.0f, 2};
    ASSERT_EQ(BZ_GetBufferSize(8, 16, false, &height_, &width_, &size_), noErr);
    BZ_BuffInfo *table = project_->dynIO_Info.buffInfo;
    const BZ_TaskType types[] = {kBZ_ReadTaskType, kBZ_CopyTaskType, kBZ_NoiseRedTaskType, kBZ_WriteTaskType,
                                 kBZ_NoiseFrameTaskType, kBZ_WriteTaskType};
    storage_.assign(size_t(size_) * 2 * 6, 0);
    for (int i = 0; i < 6; ++i) {
      table[i].type = types[i];
      table[i].number = i;
      table[i].size = size_t(size_);
      table[i].numFrameBuffers = 2;
      for (int b = 0; b < 2; ++b) {
        table[i].frameBuffInfo[b].number = b;
        table[i].frameBuffInfo[b].ptr = storage_.data() + size_t(size_) * size_t(2 * i + b);
        table[i].frameBuffInfo[b].frameNum = b;
        table[i].frameBuffInfo[b].outArrayNum = b;
      }
    }
    table[5].fileNum = 1;
    ASSERT_EQ(MPCreateEvent(&table[3].event), noErr);
    write1_.type = kBZ_WriteTaskType;
    ASSERT_EQ(MPCreateQueue(&write1_.inputQueue), noErr);
    ASSERT_EQ(MPCreateQueue(&write1_.inFreeQueue), noErr);
    table[5].taskData[0] = &write1_;
    for (int b = 0; b < 2; ++b)
      MPNotifyQueue(write1_.inFreeQueue, Word(kBZ_WriteTaskType), project_.get(), table[5].frameBuffInfo[b].ptr);

    main_.type = kBZ_MainTaskType;
    ASSERT_EQ(MPCreateQueue(&main_.inputQueue), noErr);
    task_.entryPoint = BZ_NoiseFrameTask;
    task_.type = kBZ_NoiseFrameTaskType;
    task_.termMessage1 = Word(kBZ_NoiseFrameTaskType);
    task_.termMessage2 = project_.get();
    task_.termQueue = main_.inputQueue;
    task_.creator = &main_;
    task_.queuesAllocated = kMP_InputQueueAlloc;
    table[4].taskData[0] = &task_;

    // Source and cleaned frames that differ in a known way.
    bz_test::FillRandomBytes(Buffer(2, 0), size_t(size_) * 2, 40, 200, bz_test::Rng());
    for (size_t i = 0; i < size_t(size_) * 2; ++i) Buffer(3, 0)[i] = UInt8(Buffer(2, 0)[i] + int(i % 7) - 3);
  }

  void TearDown() override {
    BZ_BuffInfo *table = project_->dynIO_Info.buffInfo;
    MP_DeleteEvent(&table[3].event);
    MP_DeleteQueue(&write1_.inputQueue);
    MP_DeleteQueue(&write1_.inFreeQueue);
    MP_DeleteQueue(&main_.inputQueue);
    for (SInt32 i = 0; i < kBZ_NumBuffInfos; ++i) table[i].taskData[0] = nullptr;
  }

  UInt8 *Buffer(int stage, int b) { return project_->dynIO_Info.buffInfo[stage].frameBuffInfo[b].ptr; }

  // Starts the task, hands it cleaned frame 0 and stops it; the task's result.
  OSStatus RunOneFrame() {
    EXPECT_EQ(MP_CreateTask(&task_), noErr);
    EXPECT_EQ(MPNotifyQueue(task_.inputQueue, Word(kBZ_WriteTaskType), project_.get(), Buffer(3, 0)), noErr);
    MPEventFlags flags = 0;
    EXPECT_EQ(MPWaitForEvent(project_->dynIO_Info.buffInfo[3].event, &flags, 60000 * kDurationMillisecond), noErr);
    EXPECT_TRUE(flags & kBZ_NoiseFrameReleasedFlag) << "the cleaned frame is let go";
    EXPECT_EQ(MPNotifyQueue(task_.inputQueue, Word(kBZ_MainTaskType), project_.get(), Word(kBZ_CancelProjectMessage)),
              noErr);
    void *sender = nullptr, *result = nullptr;
    EXPECT_EQ(MPWaitOnQueue(main_.inputQueue, &sender, nullptr, &result, 60000 * kDurationMillisecond), noErr);
    task_.ID = nullptr;
    MP_DisposeTask(&task_);
    return OSStatus(bz_test::FromWord(result));
  }

  static void *Word(intptr_t v) { return bz_test::Word(v); }

  bz_test::CurrentProject project_;
  SInt32 height_ = 0, width_ = 0;
  SInt64 size_ = 0;
  std::vector<UInt8> storage_;
  MP_TaskData main_{}, task_{}, write1_{};
};

TEST_F(EngineNoiseFrameTask, ExecutingPostsTheDifferenceToTheNoiseMovie) {
  project_->state.exec = kBZ_ProjStateExecuting;
  ASSERT_EQ(RunOneFrame(), noErr);
  // An optimal scale never measured counts as 3 for both channels.
  EXPECT_FLOAT_EQ(project_->info.settings.diffParams.optScaleY, 3.0f);
  EXPECT_FLOAT_EQ(project_->info.settings.diffParams.optScaleC, 3.0f);
  void *buffer = nullptr;
  ASSERT_EQ(MPWaitOnQueue(write1_.inputQueue, nullptr, nullptr, &buffer, kDurationImmediate), noErr);
  std::vector<UInt8> expected(static_cast<size_t>(size_));
  float gamma = 0;
  ASSERT_EQ(BZ_GetInternalGamma(project_.get(), nullptr, &gamma, nullptr, nullptr), noErr);
  BZ_MakeDiffFrame(height_, width_, &project_->info.settings.diffParams, gamma, Buffer(2, 0), Buffer(3, 0),
                   expected.data());
  EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + width_ * height_ * 2, static_cast<UInt8 *>(buffer)));
  const BZ_FrameBuffInfo *info = BZ_GetFrameBuffInfo(&project_->dynIO_Info.buffInfo[5], buffer);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->frameNum, 0);
}

TEST_F(EngineNoiseFrameTask, PreviewKeepsTheDifferenceBuffer) {
  project_->state.exec = kBZ_ProjStatePreviewing;
  ASSERT_EQ(RunOneFrame(), noErr);
  EXPECT_EQ(MPWaitOnQueue(write1_.inputQueue, nullptr, nullptr, nullptr, kDurationImmediate), kMPTimeoutErr);
  int free = 0;
  while (MPWaitOnQueue(write1_.inFreeQueue, nullptr, nullptr, nullptr, kDurationImmediate) == noErr) ++free;
  EXPECT_EQ(free, 2) << "the buffer went back to the free queue";
}
