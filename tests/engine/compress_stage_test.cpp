// The compress stage: the completion procedure (hand-over, failures that still release the waiting stage,
// frames larger than the write stage's buffer), the main thread's compression of event 2001, and whole
// executions through the test stages into DV and JPEG target files, one of them with a compression that
// fails and ends the run with its error.
#include "engine/compress_stage.h"

#include "engine/engine_wiring.h"
#include "engine/main_task.h"
#include "engine/project_start.h"
#include "engine/runtime/engine_host.h"
#include "engine/runtime/stage_access.h"
#include "engine/stage_table.h"
#include "engine/write_stage.h"
#include "movie/movie_files.h"
#include "platform/core/cf_string.h"
#include "platform/core/event_loop.h"
#include "platform/core/memory.h"
#include "platform/movie/compression.h"
#include "platform/movie/movie_toolbox.h"
#include "support/engine_fixtures.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"
#include "support/task_check.h"
#include "support/test_stages.h"

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

namespace {

using bz_test::FromWord;
using bz_test::TestStages;
using bz_test::Word;

constexpr EventTimeout kLimit = 60.0;  // seconds; reaching it means a hang
constexpr TimeValue kFrameDuration = 100;

// A project being opened with a compressed output: its stage table (with the compress stage) and target 0
// opened with its compression sequences, in a temporary folder.
class CompressStage : public ::testing::Test {
 protected:
  void Open(CodecType cType, SInt32 height, SInt32 width, SInt32 frames) {
    gBZ.numProcessors = 2;
    BZ_StatMovInfo *movies = project_.statMovInfo();
    bz_test::DescribeSource(movies, 0, height, width, frames, '2vuy');
    movies[0].movieTimeScale = 600;
    BZ_MakeDefaultProjSett(movies, &project_->info.settings);
    BZ_ProjSett &sett = project_->info.settings;
    sett.output.cType = cType;
    sett.input.interlaced = height >= 480;
    sett.input.cropping = false;
    project_->state.exec = kBZ_ProjStateBeingOpened;  // the table gets its compress stage
    ASSERT_EQ(BZ_CreateBuffers(), noErr);
    BZ_BuffInfo *table = project_->dynIO_Info.buffInfo;
    ASSERT_NE(BZ_GetComprBuffInfo(table), nullptr);
    BZ_BuffInfo *noise = BZ_GetBufferInfoByStageType(table, kBZ_NoiseFrameTaskType, 0);
    ASSERT_NE(noise, nullptr);
    noise[0].type = noise[1].type = kBZ_NoTaskType;  // no noise movie: one write stage
    path_ = dir_.File("cleaned.mov");
    FSRef folder = bz_test::RefFor(dir_.path());
    ASSERT_EQ(QT_CreateMovieFile(&folder, CFSTR("cleaned.mov"), kBZ_TargetFileCreator,
                                 SInt32(createMovieFileDeleteCurFile), &project_->info.targetFileData[0].fileRef,
                                 &project_->info.dynMovieInfo.targetMovie[0]),
              noErr);
    ASSERT_EQ(BZ_OpenTargetFile(project_.get(), 0), noErr);
    ASSERT_EQ(BZ_InstallEngineEventHandlers(&handler_), noErr);
  }

  void TearDown() override {
    if (gBZ.mainTaskData.ID != nullptr) {
      MPNotifyQueue(gBZ.mainTaskData.inputQueue, Word(kBZ_MainThreadTaskType), project_.get(), Word(kBZ_AppQuitMessage));
      OSStatus err = eventLoopTimedOutErr;
      PL_RunEventLoopUntil([&] { return (err = BZ_WaitForMainTaskTermMessage(kDurationImmediate)) != kMPTimeoutErr; },
                           kLimit);
      EXPECT_EQ(err, noErr);
      MP_DeleteQueue(&gBZ.mainTaskData.termQueue);
      gBZ.mainTaskData.~MP_TaskData();
      new (&gBZ.mainTaskData) MP_TaskData{};
    }
    EXPECT_EQ(PL_RunEventLoopUntil([&] { return PL_MPLiveTaskCount() == baseTasks_; }, kLimit), noErr);
    if (handler_ != nullptr) RemoveEventHandler(handler_);
    FlushEventQueue(GetMainEventQueue());
    BZ_DisposeBuffInfo(project_->dynIO_Info.buffInfo);  // ends the compression sequences too
    BZ_CloseTargetFile(project_.get(), 0);
    BZ_DynMovieInfo &dyn = project_->info.dynMovieInfo;
    if (dyn.targetDesc[0] != nullptr) DisposeHandle(reinterpret_cast<Handle>(dyn.targetDesc[0]));
    QT_DisposeMovie(&dyn.targetMovie[0]);
    MP_DeleteSemaphore(&project_->dynIO_Info.outputInfo[0].sampleRefsSemaphore);
    gBZ.numProcessors = 0;
  }

  // Runs an execution through the test stages, the compress stage and the write stage; the code the main
  // task reports.
  OSStatus Execute(SInt32 frames) {
    bz_test::InstallTestStages(frames, 1, {kBZ_ComprTaskType, kBZ_WriteTaskType});
    TestStages().frameDuration = kFrameDuration;
    EXPECT_EQ(MPCreateQueue(&gBZ.mainTaskData.termQueue), noErr);
    EXPECT_EQ(BZ_CreateMainTask(project_.get()), noErr);
    project_->state.exec = kBZ_ProjStateExecuting;
    EXPECT_EQ(MPNotifyQueue(gBZ.mainTaskData.inputQueue, Word(kBZ_MainThreadTaskType), project_.get(),
                            Word(kBZ_RunProjectMessage)),
              noErr);
    void *code = nullptr;
    EXPECT_EQ(PL_RunEventLoopUntil(
                  [&] {
                    return MPWaitOnQueue(gBZ.mainTaskData.outputQueue, nullptr, nullptr, &code, kDurationImmediate) ==
                           noErr;
                  },
                  kLimit),
              noErr)
        << "the execution does not end";
    return OSStatus(FromWord(code));
  }

  ItemCount baseTasks_ = PL_MPLiveTaskCount();
  bz_test::TempDir dir_;
  std::string path_;
  bz_test::CurrentProject project_;
  EventHandlerRef handler_ = nullptr;
};

// ---- The completion procedure ----

struct CompletionCase {
  const char *name;
  OSErr result;
  SInt32 dataSize;  // -1: one byte more than the write stage's buffer
  OSStatus expectedError;
};
void PrintTo(const CompletionCase &c, std::ostream *os) { *os << c.name; }

class CompressCompletion : public CompressStage, public ::testing::WithParamInterface<CompletionCase> {};

TEST_P(CompressCompletion, EveryOutcomeReleasesTheWaitingStage) {
  const CompletionCase &c = GetParam();
  Open('jpeg', 16, 32, 3);
  BZ_BuffInfo *table = project_->dynIO_Info.buffInfo;
  BZ_BuffInfo *compr = BZ_GetComprBuffInfo(table);
  BZ_BuffInfo *write = BZ_GetWriteBuffInfo(table, 0);
  ASSERT_EQ(MP_RecreateEvent(&compr->event), noErr);
  MPQueueID freeQueue = nullptr, inputQueue = nullptr;
  ASSERT_EQ(MPCreateQueue(&freeQueue), noErr);
  ASSERT_EQ(MPCreateQueue(&inputQueue), noErr);
  std::atomic<SInt32> finished{0}, completed{0};
  BZ_CompressData d{};
  d.project = project_.get();
  d.inBuffer = compr->frameBuffInfo[1].ptr;
  d.outBuffer = write->frameBuffInfo[1].ptr;
  d.freeQueue = freeQueue;
  d.outInputQueue = inputQueue;
  d.dataSize = c.dataSize < 0 ? SInt32(write->size) + 1 : c.dataSize;
  d.numComprFinished = &finished;
  d.numComprCompleted = &completed;
  compr->frameBuffInfo[1].frameNum = 7;
  compr->frameBuffInfo[1].duration = kFrameDuration;

  BZ_CompressCompletionProc(c.result, codecCompletionSource | codecCompletionDest, long(reinterpret_cast<intptr_t>(&d)));

  MPEventFlags flags = 0;
  EXPECT_EQ(MPWaitForEvent(compr->event, &flags, kDurationImmediate), noErr);
  EXPECT_TRUE(flags & kBZ_CompressionDoneFlag) << "the stage waiting for the compression is released";
  EXPECT_EQ(completed, 1);
  EXPECT_EQ(project_->state.error, c.expectedError);
  void *sender = nullptr, *buffer = nullptr;
  if (c.expectedError == noErr) {
    EXPECT_EQ(finished, 1);
    ASSERT_EQ(MPWaitOnQueue(inputQueue, &sender, nullptr, &buffer, kDurationImmediate), noErr);
    EXPECT_EQ(FromWord(sender), kBZ_ComprTaskType);
    EXPECT_EQ(write->frameBuffInfo[1].actualSize, size_t(c.dataSize));
    EXPECT_EQ(write->frameBuffInfo[1].frameNum, 7);
    EXPECT_EQ(write->frameBuffInfo[1].duration, kFrameDuration);
  } else {
    EXPECT_EQ(finished, 0);
    EXPECT_EQ(MPWaitOnQueue(inputQueue, nullptr, nullptr, nullptr, kDurationImmediate), kMPTimeoutErr)
        << "nothing reaches the write stage";
    ASSERT_EQ(MPWaitOnQueue(freeQueue, nullptr, nullptr, &buffer, kDurationImmediate), noErr)
        << "the write stage's buffer goes back";
  }
  EXPECT_EQ(buffer, d.outBuffer);
  MP_DeleteQueue(&freeQueue);
  MP_DeleteQueue(&inputQueue);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, CompressCompletion,
    ::testing::Values(CompletionCase{"CompressedFrameGoesToTheWriteStage", noErr, 100, noErr},
                      CompletionCase{"EmptyFrameIsStillWritten", noErr, 0, noErr},
                      CompletionCase{"CodecFailureIsKept", codecErr, 100, codecErr},
                      CompletionCase{"FrameLargerThanTheBufferIsAnError", noErr, -1, codecErr}),
    [](const ::testing::TestParamInfo<CompletionCase> &info) { return std::string(info.param.name); });

TEST_F(CompressStage, MainThreadCompressionCompletesTheFrame) {
  Open('jpeg', 16, 32, 3);
  BZ_BuffInfo *table = project_->dynIO_Info.buffInfo;
  BZ_BuffInfo *compr = BZ_GetComprBuffInfo(table);
  BZ_BuffInfo *write = BZ_GetWriteBuffInfo(table, 0);
  ASSERT_EQ(MP_RecreateEvent(&compr->event), noErr);
  MPQueueID freeQueue = nullptr, inputQueue = nullptr;
  ASSERT_EQ(MPCreateQueue(&freeQueue), noErr);
  ASSERT_EQ(MPCreateQueue(&inputQueue), noErr);
  std::atomic<SInt32> finished{0}, completed{0};
  BZ_CompressData d{};
  d.project = project_.get();
  d.seqID = compr->frameBuffInfo[0].comprSeqID;
  d.pixMap = compr->frameBuffInfo[0].pixMap;
  d.offscreen = compr->frameBuffInfo[0].offscreen;
  d.inBuffer = compr->frameBuffInfo[0].ptr;
  d.outBuffer = write->frameBuffInfo[0].ptr;
  d.completionProcRecord.completionProc = BZ_CompressCompletionProc;
  d.freeQueue = freeQueue;
  d.outInputQueue = inputQueue;
  d.numComprFinished = &finished;
  d.numComprCompleted = &completed;

  ASSERT_EQ(BZ_SendCompressEvent(&d), noErr);
  BZ_CompressData broken = d;
  broken.seqID = 12345;  // no such sequence
  broken.outBuffer = write->frameBuffInfo[1].ptr;
  ASSERT_EQ(BZ_SendCompressEvent(&broken), noErr);
  ASSERT_EQ(PL_RunEventLoopUntil([&] { return completed == 2; }, kLimit), noErr);

  void *buffer = nullptr;
  ASSERT_EQ(MPWaitOnQueue(inputQueue, nullptr, nullptr, &buffer, kDurationImmediate), noErr);
  EXPECT_EQ(buffer, d.outBuffer);
  EXPECT_GT(write->frameBuffInfo[0].actualSize, 2u);
  EXPECT_EQ(d.outBuffer[0], 0xFF);
  EXPECT_EQ(d.outBuffer[1], 0xD8) << "a JPEG image";
  EXPECT_EQ(finished, 1);
  ASSERT_EQ(MPWaitOnQueue(freeQueue, nullptr, nullptr, &buffer, kDurationImmediate), noErr);
  EXPECT_EQ(buffer, broken.outBuffer);
  EXPECT_NE(project_->state.error, noErr) << "the failed compression is the project's error";
  MP_DeleteQueue(&freeQueue);
  MP_DeleteQueue(&inputQueue);
}

// ---- Whole executions ----

struct OutputCase {
  const char *name;
  CodecType cType;
  SInt32 height, width;
  CodecType written;     // the description's codec
  SInt32 frameSize;      // bytes per frame, 0: any
};
void PrintTo(const OutputCase &c, std::ostream *os) { *os << c.name; }

class CompressExecution : public CompressStage, public ::testing::WithParamInterface<OutputCase> {};

TEST_P(CompressExecution, WritesEveryCompressedFrameAndItsReference) {
  const OutputCase &c = GetParam();
  constexpr SInt32 kFrames = 3;
  Open(c.cType, c.height, c.width, kFrames);
  EXPECT_EQ((*project_->info.dynMovieInfo.targetDesc[0])->cType, c.written);
  ASSERT_EQ(Execute(kFrames), noErr);
  EXPECT_EQ(project_->state.exec, kBZ_ProjStateFinished);
  EXPECT_EQ(project_->state.error, noErr);

  const std::vector<uint8_t> file = bz_test::ReadWholeFile(path_);
  ASSERT_GT(file.size(), 16u);
  Media media = project_->info.dynMovieInfo.targetMedia[0];
  EXPECT_EQ(GetMediaSampleCount(media), kFrames);
  SampleReference64Record refs[kFrames] = {};
  SInt32 count = 0;
  ASSERT_EQ(GetMediaSampleReferences64(media, 0, nullptr, nullptr, nullptr, kFrames, &count, refs), noErr);
  SInt64 next = 16;
  SInt32 samples = 0;
  for (SInt32 i = 0; i < count; ++i) {
    EXPECT_EQ(refs[i].dataOffset, next) << "record " << i << " follows the one before";
    next += refs[i].dataSize;
    samples += SInt32(refs[i].numberOfSamples);
    if (c.frameSize != 0) {
      EXPECT_EQ(refs[i].dataSize, UInt32(c.frameSize) * refs[i].numberOfSamples);
    }
    EXPECT_EQ(refs[i].durationPerSample, kFrameDuration);
  }
  EXPECT_EQ(samples, kFrames);
  EXPECT_EQ(SInt64(file.size()), next) << "the references cover every written byte";
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, CompressExecution,
    ::testing::Values(OutputCase{"NtscDvKeepsItsType", 'dvc ', 480, 720, 'dvc ', 120000},
                      OutputCase{"PalDvBecomesDvcp", 'dvc ', 576, 720, 'dvcp', 144000},
                      OutputCase{"JpegOfASmallPicture", 'jpeg', 16, 32, 'jpeg', 0}),
    [](const ::testing::TestParamInfo<OutputCase> &info) { return std::string(info.param.name); });

TEST_F(CompressStage, FailingCompressionEndsTheRunWithItsError) {
  Open('jpeg', 16, 32, 50);
  BZ_BuffInfo *compr = BZ_GetComprBuffInfo(project_->dynIO_Info.buffInfo);
  // The sequences are gone: every compression fails.
  for (SInt32 i = 0; i < compr->numFrameBuffers; ++i) {
    PL_EndCompressionSequence(compr->frameBuffInfo[i].comprSeqID);
  }
  const OSStatus shown = Execute(50);
  EXPECT_NE(project_->state.error, noErr);
  EXPECT_EQ(shown, project_->state.error) << "the error travels with the ended project";
  EXPECT_EQ(project_->state.exec, kBZ_ProjStateDeleted);
}

}  // namespace
