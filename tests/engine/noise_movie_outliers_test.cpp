// The noise-frame stage in a preview run: the difference picture goes into the preview's third ARGB picture,
// and while outliers are edited it is made from the cleaned frame with the kept specks filled, luma only at
// scale 1, with the specks coloured; the cleaned frame and the difference settings are put back.
#include "engine/noise_movie_stage.h"

#include "color/argb_conversions.h"
#include "engine/runtime/stage_access.h"
#include "engine/runtime/working_format.h"
#include "engine/tasks/task_runtime.h"
#include "general/memory_lists.h"
#include "outliers/outlier_stage.h"
#include "outliers/preview_data.h"
#include "outliers/speck_editing.h"
#include "support/engine_fixtures.h"
#include "support/kernel_check.h"
#include "support/task_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

struct Answers {
  Boolean editing = false;
  BZ_PreviewData preview{};
};

class EngineNoiseFramePreview : public ::testing::Test {
 protected:
  void SetUp() override {
    BZ_StatMovInfo *movies = project_.statMovInfo();
    bz_test::DescribeSource(movies, 0, 8, 16, 2, '2vuy');
    movies[0].gamma = 2.2f;
    project_->info.settings.output.cType = '2vuy';
    BZ_MakeDefaultOuSett(&project_->info.settings.cleaning.ou);
    project_->info.settings.diffParams = BZ_DiffParams{true, true, 2.0f, 3.0f, 3.0f, 1};
    project_->state.exec = kBZ_ProjStatePreviewing;
    ASSERT_EQ(BZ_GetBufferSize(8, 16, false, &height_, &width_, &size_), noErr);
    BZ_BuffInfo *table = project_->dynIO_Info.buffInfo;
    const BZ_TaskType types[] = {kBZ_ReadTaskType, kBZ_CopyTaskType, kBZ_OutlierTaskType, kBZ_WriteTaskType,
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
      }
    }
    table[5].fileNum = 1;
    ASSERT_EQ(MPCreateEvent(&table[3].event), noErr);
    write1_.type = kBZ_WriteTaskType;
    ASSERT_EQ(MPCreateQueue(&write1_.inputQueue), noErr);
    ASSERT_EQ(MPCreateQueue(&write1_.inFreeQueue), noErr);
    table[5].taskData[0] = &write1_;
    for (int b = 0; b < 2; ++b)
      MPNotifyQueue(write1_.inFreeQueue, bz_test::Word(kBZ_WriteTaskType), project_.get(),
                    table[5].frameBuffInfo[b].ptr);
    main_.type = kBZ_MainTaskType;
    ASSERT_EQ(MPCreateQueue(&main_.inputQueue), noErr);
    task_.entryPoint = BZ_NoiseFrameTask;
    task_.type = kBZ_NoiseFrameTaskType;
    task_.termMessage1 = bz_test::Word(kBZ_NoiseFrameTaskType);
    task_.termMessage2 = project_.get();
    task_.termQueue = main_.inputQueue;
    task_.creator = &main_;
    task_.queuesAllocated = kMP_InputQueueAlloc;
    table[4].taskData[0] = &task_;

    // Source (dirty) frame 0 and its cleaned frame at the write stage.
    bz_test::FillRandomBytes(Buffer(2, 0), size_t(size_), 40, 200, bz_test::Rng());
    for (size_t i = 0; i < size_t(size_); ++i) Buffer(3, 0)[i] = UInt8(Buffer(2, 0)[i] + int(i % 5) - 2);

    rgb_.assign(size_t(size_) * 6, 0);
    answers_.preview.buffersRGB = rgb_.data();
    answers_.preview.buffersRGBSize = SInt64(rgb_.size());
    ASSERT_EQ(BZ_InitOuPreviewData(&answers_.preview.ouPreviewData), noErr);
    BZ_EngineHost host{};
    host.refCon = &answers_;
    host.getPreviewDataPtr = [](void *refCon) { return &static_cast<Answers *>(refCon)->preview; };
    host.getEditingOutliers = [](void *refCon) { return static_cast<Answers *>(refCon)->editing; };
    BZ_SetEngineHost(&host);
  }

  void TearDown() override {
    BZ_SetEngineHost(nullptr);
    BZ_OuDisposePreviewData(&answers_.preview.ouPreviewData);
    BZ_BuffInfo *table = project_->dynIO_Info.buffInfo;
    MP_DeleteEvent(&table[3].event);
    MP_DeleteQueue(&write1_.inputQueue);
    MP_DeleteQueue(&write1_.inFreeQueue);
    MP_DeleteQueue(&main_.inputQueue);
    for (SInt32 i = 0; i < kBZ_NumBuffInfos; ++i) table[i].taskData[0] = nullptr;
  }

  UInt8 *Buffer(int stage, int b) { return project_->dynIO_Info.buffInfo[stage].frameBuffInfo[b].ptr; }
  BZ_OuPreviewData *Ou() { return answers_.preview.ouPreviewData; }

  OSStatus RunOneFrame() {
    EXPECT_EQ(MP_CreateTask(&task_), noErr);
    EXPECT_EQ(MPNotifyQueue(task_.inputQueue, bz_test::Word(kBZ_WriteTaskType), project_.get(), Buffer(3, 0)), noErr);
    MPEventFlags flags = 0;
    EXPECT_EQ(MPWaitForEvent(project_->dynIO_Info.buffInfo[3].event, &flags, 60000 * kDurationMillisecond), noErr);
    EXPECT_EQ(MPNotifyQueue(task_.inputQueue, bz_test::Word(kBZ_MainTaskType), project_.get(),
                            bz_test::Word(kBZ_CancelPreviewCalcMessage)),
              noErr);
    void *result = nullptr;
    EXPECT_EQ(MPWaitOnQueue(main_.inputQueue, nullptr, nullptr, &result, 60000 * kDurationMillisecond), noErr);
    task_.ID = nullptr;
    MP_DisposeTask(&task_);
    return OSStatus(bz_test::FromWord(result));
  }

  // The ARGB picture the stage draws from a '2vuy' difference frame.
  std::vector<UInt8> ExpectedARGB(const UInt8 *diff) {
    float gamma = 0;
    UInt16 *newRGB = nullptr;
    EXPECT_EQ(BZ_GetInternalGamma(project_.get(), nullptr, &gamma, nullptr, &newRGB), noErr);
    std::vector<UInt8> argb(size_t(size_) * 2, 0);
    const GL_ProcessorInfo &cpu = gBZ.procInfo;
    if (newRGB != nullptr)
      CO_2vuyFrameToARGB_ChangeGammaUni(cpu.hasAltivec, cpu.hasSSE3, width_, height_, diff, argb.data(), false,
                                        2 * width_, 4 * width_, gamma, kBZ_DisplayGamma, newRGB);
    else
      CO_2vuyFrameToARGB_Uni(cpu.hasAltivec, cpu.hasSSE3, width_, height_, diff, argb.data(), false, 2 * width_,
                             4 * width_);
    GL_DisposePtr(&newRGB);
    return argb;
  }
  std::vector<UInt8> DiffPicture() {
    return std::vector<UInt8>(rgb_.begin() + 4 * size_, rgb_.begin() + 6 * size_);
  }

  bz_test::CurrentProject project_;
  SInt32 height_ = 0, width_ = 0;
  SInt64 size_ = 0;
  std::vector<UInt8> storage_, rgb_;
  MP_TaskData main_{}, task_{}, write1_{};
  Answers answers_;
};

TEST_F(EngineNoiseFramePreview, PreviewDrawsTheDifferencePicture) {
  ASSERT_EQ(RunOneFrame(), noErr);
  void *buffer = nullptr;
  ASSERT_EQ(MPWaitOnQueue(write1_.inFreeQueue, nullptr, nullptr, &buffer, kDurationImmediate), noErr);
  float gamma = 0;
  ASSERT_EQ(BZ_GetInternalGamma(project_.get(), nullptr, &gamma, nullptr, nullptr), noErr);
  std::vector<UInt8> diff(static_cast<size_t>(size_));
  BZ_MakeDiffFrame(height_, width_, &project_->info.settings.diffParams, gamma, Buffer(2, 0), Buffer(3, 0),
                   diff.data());
  EXPECT_EQ(DiffPicture(), ExpectedARGB(diff.data()));
  EXPECT_EQ(Ou()->diffBuffer2vuy, nullptr) << "nothing of the outlier record is made without editing";
}

TEST_F(EngineNoiseFramePreview, EditingShowsKeptSpecksAndColoursThem) {
  answers_.editing = true;
  // The outlier stage's cleaned frame and the window around the previewed frame (k = 2: slots 0..4 of the
  // preview hold window slots 2..6; the previewed frame is preview slot 2).
  const SInt32 k = project_->info.settings.cleaning.ou.numConstPix;
  std::vector<UInt8> cleaned(Buffer(3, 0), Buffer(3, 0) + size_);
  std::vector<std::vector<UInt8>> window(size_t(2 * k + 1), std::vector<UInt8>(size_t(size_), 0));
  for (SInt32 i = 0; i <= 2 * k; ++i) {
    for (size_t b = 0; b < size_t(size_); b += 2) {
      window[size_t(i)][b] = 128;
      window[size_t(i)][b + 1] = UInt8(60 + 20 * i);
    }
    Ou()->inBuffers[i] = window[size_t(i)].data();
  }
  Ou()->outBuffer2vuy = cleaned.data();
  const std::vector<UInt8> cleanedBefore = cleaned;
  // One kept speck (filled from its neighbours: luma 100) and one removed speck.
  const SInt32 kept = 9 * width_ + 12, removed = 10 * width_ + 14;
  for (SInt32 p : {kept, removed}) {
    BZ_OuSpeckLE *s = nullptr;
    ASSERT_EQ(LL_AddNewPtr(sizeof(BZ_OuSpeckLE), nullptr, &Ou()->speckList, &s), noErr);
    ASSERT_EQ(GL_NewPtrClear(sizeof(SInt32), &s->speck.rgn.pixels), noErr);
    s->speck.rgn.pixels[0] = p;
    s->speck.rgn.numPixels = 1;
    s->speck.rgn.bounds = Rect{SInt16(p / width_), SInt16(p % width_), SInt16(p / width_ + 1), SInt16(p % width_ + 1)};
    s->speck.remove = p == removed;
  }
  const BZ_DiffParams diffParams = project_->info.settings.diffParams;

  ASSERT_EQ(RunOneFrame(), noErr);

  // The difference against the cleaned frame with the kept speck filled, luma only at scale 1.
  std::vector<UInt8> filled = cleanedBefore;
  filled[2 * size_t(kept)] = 128;
  filled[2 * size_t(kept) + 1] = 100;
  BZ_DiffParams lumaOnly{false, true, 1.0f, 0.0f, 0.0f, 0};
  float gamma = 0;
  ASSERT_EQ(BZ_GetInternalGamma(project_.get(), nullptr, &gamma, nullptr, nullptr), noErr);
  std::vector<UInt8> diff(static_cast<size_t>(size_));
  BZ_MakeDiffFrame(height_, width_, &lumaOnly, gamma, Buffer(2, 0), filled.data(), diff.data());
  ASSERT_NE(Ou()->diffBuffer2vuy, nullptr);
  EXPECT_TRUE(std::equal(diff.begin(), diff.end(), Ou()->diffBuffer2vuy));

  // The picture: that difference, with the kept speck red and the removed one in the found speck's colours.
  std::vector<UInt8> expected = ExpectedARGB(diff.data());
  const SInt32 grey = BZ_DiffMediumGray(gamma);
  const bool keptBright = diff[2 * size_t(kept) + 1] > grey, removedBright = diff[2 * size_t(removed) + 1] > grey;
  const UInt8 keptRGB[3] = {UInt8(keptBright ? 255 : 180), 0, 0};
  const UInt8 removedRGB[3] = {UInt8(removedBright ? 200 : 0), UInt8(removedBright ? 200 : 0),
                               UInt8(removedBright ? 200 : 0)};
  std::copy(keptRGB, keptRGB + 3, expected.begin() + 4 * kept + 1);
  std::copy(removedRGB, removedRGB + 3, expected.begin() + 4 * removed + 1);
  EXPECT_EQ(DiffPicture(), expected);

  EXPECT_EQ(cleaned, cleanedBefore) << "the cleaned frame is put back";
  const BZ_DiffParams &after = project_->info.settings.diffParams;
  EXPECT_EQ(after.showLuma, diffParams.showLuma);
  EXPECT_EQ(after.showChroma, diffParams.showChroma);
  EXPECT_EQ(after.scaleMode, diffParams.scaleMode);
  ASSERT_NE(Ou()->savedInBuffer, nullptr);
  BZ_OuDisposeSpeckList(&Ou()->speckList);
}

}  // namespace
