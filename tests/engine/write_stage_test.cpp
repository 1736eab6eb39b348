// The write stage: sample references handed to the main thread in batches (record boundaries, the batch of
// 100, frames of zero duration, the last record, a failing addition and a stop while waiting), and whole
// executions through the test stages into a real target file, whose bytes show cropping, black borders and
// the chroma shift.
#include "engine/write_stage.h"

#include "engine/main_task.h"
#include "engine/project_start.h"
#include "engine/runtime/engine_host.h"
#include "engine/runtime/stage_access.h"
#include "engine/stage_table.h"
#include "movie/movie_files.h"
#include "platform/core/event_loop.h"
#include "platform/core/cf_string.h"
#include "platform/core/files.h"
#include "platform/core/memory.h"
#include "platform/movie/movie_toolbox.h"
#include "support/engine_fixtures.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"
#include "support/task_check.h"
#include "support/test_stages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace {

using bz_test::FromWord;
using bz_test::TestStages;
using bz_test::Word;

constexpr EventTimeout kLimit = 60.0;  // seconds; reaching it means a hang

struct Ref {
  SInt64 offset;
  UInt32 size;
  TimeValue duration;
  UInt32 samples;
  bool operator==(const Ref &o) const {
    return offset == o.offset && size == o.size && duration == o.duration && samples == o.samples;
  }
};
std::ostream &operator<<(std::ostream &os, const Ref &r) {
  return os << "{" << r.offset << ", " << r.size << ", " << r.duration << ", " << r.samples << "}";
}

// The batches the main thread was handed, in order.
std::mutex gBatchMutex;
std::vector<std::vector<Ref>> gBatches;

OSStatus HandleRefsEvent(EventHandlerCallRef, EventRef event, void *) {
  BZ_OutSampleRefsData data{};
  if (GetEventParameter(event, kBZ_OutSampleRefsEventParam, kBZ_OutSampleRefsEventParam, nullptr, sizeof data,
                        nullptr, &data) == noErr) {
    std::vector<Ref> batch;
    for (SInt32 i = 0; i < data.outRecordNum; ++i) {
      const SampleReference64Record &r = data.outSampleRefs[i];
      batch.push_back({r.dataOffset, r.dataSize, r.durationPerSample, r.numberOfSamples});
    }
    std::lock_guard<std::mutex> lock(gBatchMutex);
    gBatches.push_back(batch);
  }
  BZ_HandleOutSampleRefsEvent(event);
  return noErr;
}

// A project with one target's sample-reference state, a media to add to, and the 2002 handler installed.
class WriteStageRefs : public ::testing::Test {
 protected:
  void SetUp() override {
    gBatches.clear();
    movie_ = NewMovie(0);
    ASSERT_NE(movie_, nullptr);
    Track track = NewMovieTrack(movie_, Long2Fix(4), Long2Fix(2), 0);
    media_ = NewTrackMedia(track, VideoMediaType, 600, nullptr, 0);
    ASSERT_NE(media_, nullptr);
    desc_ = bz_test::NewFixtureImageDescription(4, 2);
    BZ_DynOutputInfo &out = project_->dynIO_Info.outputInfo[0];
    ASSERT_EQ(MPCreateSemaphore(1, 0, &out.sampleRefsSemaphore), noErr);
    out.sampleRefs[0].dataOffset = 16;
    out.recordNum = -1;
    ASSERT_EQ(MPCreateEvent(&event_), noErr);
    ASSERT_EQ(MPCreateQueue(&termQueue_), noErr);
    static const EventTypeSpec kinds[] = {{kBZ_ProjEventClass, kBZ_OutSampleRefsEvent}};
    ASSERT_EQ(InstallApplicationEventHandler(HandleRefsEvent, 1, kinds, nullptr, &handler_), noErr);
    params_.maxNumOutSamples = 100;
    params_.media = media_;
    params_.desc = desc_;
    params_.nextDataOffset = 16;
    params_.event = event_;
  }
  void TearDown() override {
    if (handler_ != nullptr) RemoveEventHandler(handler_);
    FlushEventQueue(GetMainEventQueue());
    MP_DeleteSemaphore(&project_->dynIO_Info.outputInfo[0].sampleRefsSemaphore);
    MP_DeleteEvent(&event_);
    MP_DeleteQueue(&termQueue_);
    DisposeHandle(reinterpret_cast<Handle>(desc_));
    DisposeMovie(movie_);
  }

  struct Frame {
    size_t size;
    TimeValue duration;
  };

  // Feeds the frames from a task, as the write task does, while this thread plays the main thread.
  OSStatus Feed(const std::vector<Frame> &frames) {
    BZ_ProjPtr project = project_.get();
    BZ_SampleRefParams *params = &params_;
    bz_test::StartTask(
        [=]() -> OSStatus {
          for (size_t i = 0; i < frames.size(); ++i) {
            BZ_FrameBuffInfo info{};
            info.frameNum = SInt32(i);
            info.actualSize = frames[i].size;
            info.duration = frames[i].duration;
            OSStatus err = BZ_ManageOutSampleRefs(project, 0, &info, params, i + 1 == frames.size());
            if (err != noErr) return err;
          }
          return noErr;
        },
        termQueue_);
    void *result = nullptr;
    EXPECT_EQ(PL_RunEventLoopUntil(
                  [&] { return MPWaitOnQueue(termQueue_, nullptr, nullptr, &result, kDurationImmediate) == noErr; },
                  kLimit),
              noErr)
        << "the writer hangs";
    return bz_test::StatusFromWord(result);
  }

  bz_test::CurrentProject project_;
  Movie movie_ = nullptr;
  Media media_ = nullptr;
  ImageDescriptionHandle desc_ = nullptr;
  MPEventID event_ = nullptr;
  MPQueueID termQueue_ = nullptr;
  EventHandlerRef handler_ = nullptr;
  BZ_SampleRefParams params_{};
};

struct RefsCase {
  const char *name;
  std::vector<std::pair<size_t, TimeValue>> frames;  // runs below are expanded by Expand
  SInt32 maxNumOutSamples;
  std::vector<std::vector<Ref>> batches;
  SInt32 referencedFrames;
};

std::vector<std::pair<size_t, TimeValue>> Repeat(size_t size, TimeValue duration, int n) {
  return std::vector<std::pair<size_t, TimeValue>>(size_t(n), {size, duration});
}

std::vector<std::pair<size_t, TimeValue>> Alternating(int n) {
  std::vector<std::pair<size_t, TimeValue>> v;
  for (int i = 0; i < n; ++i) v.push_back({i % 2 == 0 ? 10 : 20, 100});
  return v;
}

// Record k of alternating sizes 10, 20, 10, ... starts after 15 bytes per frame on average.
std::vector<Ref> AlternatingRefs(int first, int count) {
  std::vector<Ref> refs;
  for (int k = first; k < first + count; ++k)
    refs.push_back({16 + SInt64(k / 2) * 30 + (k % 2) * 10, UInt32(k % 2 == 0 ? 10 : 20), 100, 1});
  return refs;
}

std::vector<RefsCase> RefsCases() {
  std::vector<RefsCase> cases;
  cases.push_back({"EqualFramesShareRecordsUpToTheLimit",
                   Repeat(10, 100, 250),
                   100,
                   {{{16, 1000, 100, 100}, {1016, 1000, 100, 100}, {2016, 500, 100, 50}}},
                   250});
  {
    // The 101st record makes the full batch go before its frame is added; the next batch goes on from the
    // bytes right after record 99.
    RefsCase c{"AlternatingSizesHandOverAtTheHundredthRecord", Alternating(150), 100, {}, 150};
    c.batches = {AlternatingRefs(0, 100), AlternatingRefs(100, 50)};
    cases.push_back(c);
  }
  cases.push_back({"ZeroDurationFrameKeepsItsBytesButNoReference",
                   {{10, 100}, {10, 100}, {10, 0}, {10, 100}},
                   100,
                   {{{16, 20, 100, 2}, {46, 10, 100, 1}}},
                   3});
  cases.push_back({"LastFrameOfZeroDurationStillHandsOverTheLastRecord",
                   {{10, 100}, {12, 100}, {12, 100}, {12, 0}},
                   100,
                   {{{16, 10, 100, 1}, {26, 24, 100, 2}}},
                   3});
  cases.push_back({"DurationChangeStartsARecord",
                   {{10, 100}, {10, 50}, {10, 50}},
                   100,
                   {{{16, 10, 100, 1}, {26, 20, 50, 2}}},
                   3});
  cases.push_back({"SmallerLimitSplitsRuns", Repeat(8, 40, 5), 2, {{{16, 16, 40, 2}, {32, 16, 40, 2}, {48, 8, 40, 1}}}, 5});
  cases.push_back({"OnlyZeroDurationFramesHandNothingOver", Repeat(10, 0, 3), 100, {}, 0});
  return cases;
}

void PrintTo(const RefsCase &c, std::ostream *os) { *os << c.name; }

class WriteStageRefsCases : public WriteStageRefs, public ::testing::WithParamInterface<RefsCase> {};

TEST_P(WriteStageRefsCases, BatchesPointAtTheirOwnFramesBytes) {
  const RefsCase &c = GetParam();
  params_.maxNumOutSamples = c.maxNumOutSamples;
  std::vector<Frame> frames;
  for (const auto &[size, duration] : c.frames) frames.push_back({size, duration});
  EXPECT_EQ(Feed(frames), noErr);
  {
    std::lock_guard<std::mutex> lock(gBatchMutex);
    ASSERT_EQ(gBatches.size(), c.batches.size());
    for (size_t b = 0; b < c.batches.size(); ++b) EXPECT_EQ(gBatches[b], c.batches[b]) << "batch " << b;
  }
  EXPECT_EQ(project_->state.error, noErr);
  EXPECT_EQ(GetMediaSampleCount(media_), c.referencedFrames) << "the media holds every referenced frame";
  EXPECT_EQ(project_->dynIO_Info.outputInfo[0].numFrames, c.referencedFrames);
  EXPECT_EQ(project_->dynIO_Info.outputInfo[0].recordNum, -1);
}

INSTANTIATE_TEST_SUITE_P(Cases, WriteStageRefsCases, ::testing::ValuesIn(RefsCases()),
                         [](const ::testing::TestParamInfo<RefsCase> &info) { return std::string(info.param.name); });

TEST_F(WriteStageRefs, FailingAdditionReachesTheWriterInsteadOfHangingIt) {
  params_.media = nullptr;  // the main thread cannot add to no media
  const OSStatus err = Feed({{10, 100}, {10, 100}});
  EXPECT_NE(err, noErr);
  EXPECT_EQ(err, project_->state.error) << "the main thread's failure is the project's first error";
}

TEST_F(WriteStageRefs, StopWakesAWriterWhoseBatchIsNotHandled) {
  RemoveEventHandler(handler_);  // nobody handles 2002
  handler_ = nullptr;
  BZ_ProjPtr project = project_.get();
  BZ_SampleRefParams *params = &params_;
  bz_test::StartTask(
      [=]() -> OSStatus {
        BZ_FrameBuffInfo info{};
        info.actualSize = 10;
        info.duration = 100;
        return BZ_ManageOutSampleRefs(project, 0, &info, params, true);
      },
      termQueue_);
  ASSERT_TRUE(bz_test::WaitUntil([&] { return GetNumEventsInQueue(GetMainEventQueue()) == 1; }));
  ASSERT_EQ(MPSetEvent(event_, kBZ_StopTaskFlag | kBZ_NoiseFrameReleasedFlag), noErr);
  void *result = nullptr;
  ASSERT_EQ(MPWaitOnQueue(termQueue_, nullptr, nullptr, &result, kDurationForever), noErr);
  EXPECT_EQ(bz_test::StatusFromWord(result), userCanceledErr);
  EXPECT_TRUE(params_.pendingFlags & kBZ_NoiseFrameReleasedFlag) << "flags taken meanwhile are kept";
}

// ---- Whole executions into a target file ----------------------------------------------------------------

constexpr SInt32 kPicHeight = 6;
constexpr SInt32 kPicWidth = 16;
constexpr SInt32 kFrames = 5;
constexpr TimeValue kFrameDuration = 100;

struct CropCase {
  const char *name;
  Rect crop;  // top, left, bottom, right margins
  bool maskBlackBars;
  bool noiseTarget = false;  // a second target fed by the noise-frame stage, written by the second write stage
};

void PrintTo(const CropCase &c, std::ostream *os) { *os << c.name; }

// Runs an execution of the test stages ending in the real write stage, into a real target movie file.
class WriteStageExecution : public ::testing::TestWithParam<CropCase> {
 protected:
  void SetUp() override {
    baseTasks_ = PL_MPLiveTaskCount();
    gBatches.clear();
    gBZ.numProcessors = 2;
    BZ_StatMovInfo *movies = project_.statMovInfo();
    bz_test::DescribeSource(movies, 0, kPicHeight, kPicWidth, kFrames, '2vuy');
    movies[0].movieTimeScale = 600;
    BZ_MakeDefaultProjSett(movies, &project_->info.settings);  // noise reduction: one identity stage
    BZ_ProjSett &sett = project_->info.settings;
    sett.output.cType = '2vuy';
    sett.input.interlaced = false;
    sett.input.cropping = true;
    sett.input.cropRect = GetParam().crop;
    sett.input.maskBlackBars = GetParam().maskBlackBars;

    ASSERT_EQ(BZ_CreateBuffers(), noErr);
    BZ_BuffInfo *table = project_->dynIO_Info.buffInfo;
    BZ_BuffInfo *noise = BZ_GetBufferInfoByStageType(table, kBZ_NoiseFrameTaskType, 0);
    ASSERT_NE(noise, nullptr);
    const bool twoTargets = GetParam().noiseTarget;
    if (!twoTargets) noise[0].type = noise[1].type = kBZ_NoTaskType;  // no noise movie: one write stage

    FSRef folder = bz_test::RefFor(dir_.path());
    BZ_DynMovieInfo &dyn = project_->info.dynMovieInfo;
    for (SInt32 i = 0; i < (twoTargets ? 2 : 1); ++i) {
      paths_[i] = dir_.File(i == 0 ? "cleaned.mov" : "noise.mov");
      ASSERT_EQ(QT_CreateMovieFile(&folder, i == 0 ? CFSTR("cleaned.mov") : CFSTR("noise.mov"), kBZ_TargetFileCreator,
                                   SInt32(createMovieFileDeleteCurFile), &project_->info.targetFileData[i].fileRef,
                                   &dyn.targetMovie[i]),
                noErr);
      ASSERT_EQ(BZ_OpenTargetFile(project_.get(), i), noErr);
    }
    path_ = paths_[0];

    static const EventTypeSpec kinds[] = {{kBZ_ProjEventClass, kBZ_OutSampleRefsEvent}};
    ASSERT_EQ(InstallApplicationEventHandler(HandleRefsEvent, 1, kinds, nullptr, &handler_), noErr);
    bz_test::InstallTestStages(kFrames, twoTargets ? 2 : 1, {kBZ_WriteTaskType});
    TestStages().frameDuration = kFrameDuration;
    ASSERT_EQ(MPCreateQueue(&gBZ.mainTaskData.termQueue), noErr);
    ASSERT_EQ(BZ_CreateMainTask(project_.get()), noErr);
  }

  void TearDown() override {
    if (gBZ.mainTaskData.ID != nullptr) {
      MPNotifyQueue(gBZ.mainTaskData.inputQueue, Word(kBZ_MainThreadTaskType), project_.get(), Word(kBZ_AppQuitMessage));
      OSStatus err = eventLoopTimedOutErr;
      PL_RunEventLoopUntil([&] { return (err = BZ_WaitForMainTaskTermMessage(kDurationImmediate)) != kMPTimeoutErr; },
                           kLimit);
      EXPECT_EQ(err, noErr);
    }
    EXPECT_EQ(PL_RunEventLoopUntil([&] { return PL_MPLiveTaskCount() == baseTasks_; }, kLimit), noErr);
    BZ_DisposeBuffInfo(project_->dynIO_Info.buffInfo);
    MP_DeleteQueue(&gBZ.mainTaskData.termQueue);
    gBZ.mainTaskData.~MP_TaskData();
    new (&gBZ.mainTaskData) MP_TaskData{};
    RemoveEventHandler(handler_);
    FlushEventQueue(GetMainEventQueue());
    for (SInt32 i = 0; i < 2; ++i) {
      BZ_CloseTargetFile(project_.get(), i);
      BZ_DynMovieInfo &dyn = project_->info.dynMovieInfo;
      if (dyn.targetDesc[i] != nullptr) DisposeHandle(reinterpret_cast<Handle>(dyn.targetDesc[i]));
      QT_DisposeMovie(&dyn.targetMovie[i]);
      MP_DeleteSemaphore(&project_->dynIO_Info.outputInfo[i].sampleRefsSemaphore);
    }
    gBZ.numProcessors = 0;
  }

  // Runs the execution; the code the main task reports.
  OSStatus Execute() { return bz_test::ExecuteProject(project_.get(), kLimit); }

  // The byte the test source stage stamped at buffer offset i of frame f.
  static UInt8 Stamped(SInt32 f, size_t i) { return UInt8(f * 31 + SInt32(i % 251)); }

  ItemCount baseTasks_ = 0;
  bz_test::TempDir dir_;
  std::string path_;
  std::string paths_[2];
  bz_test::CurrentProject project_;
  EventHandlerRef handler_ = nullptr;
};

TEST_P(WriteStageExecution, WritesCroppedFramesAndTheirReferences) {
  const CropCase &c = GetParam();
  ASSERT_EQ(Execute(), noErr);
  EXPECT_EQ(project_->state.exec, kBZ_ProjStateFinished);
  EXPECT_EQ(project_->state.error, noErr);
  EXPECT_EQ(project_->dynIO_Info.outputInfo[0].ioParam.forkRefNum, 0) << "the target is closed";

  SInt32 bufferWidth = 0;
  ASSERT_EQ(BZ_GetBufferSize(kPicHeight, kPicWidth, false, nullptr, &bufferWidth, nullptr), noErr);
  const size_t rowBytes = size_t(bufferWidth) * 2;
  const bool cut = !c.maskBlackBars;
  const SInt32 top = cut ? c.crop.top : 0, left = cut ? c.crop.left : 0;
  const SInt32 rows = kPicHeight - (cut ? c.crop.top + c.crop.bottom : 0);
  const SInt32 cols = kPicWidth - (cut ? c.crop.left + c.crop.right : 0);
  const size_t frameBytes = size_t(rows) * size_t(cols) * 2;

  const std::vector<uint8_t> file = bz_test::ReadWholeFile(path_);
  ASSERT_EQ(file.size(), 16 + kFrames * frameBytes);
  const uint8_t header[16] = {0, 0, 0, 8, 'w', 'i', 'd', 'e', 0, 0, 0, 8, 'm', 'd', 'a', 't'};
  EXPECT_TRUE(std::equal(header, header + 16, file.begin()));
  const bool shifted = cut && (c.crop.left % 2) != 0;
  int mismatches = 0;
  for (SInt32 f = 0; f < kFrames; ++f) {
    for (SInt32 y = 0; y < rows; ++y) {
      for (SInt32 x = 0; x < cols; ++x) {
        const SInt32 px = left + x, py = top + y;  // picture pixel
        const size_t rowStart = size_t(8 + py) * rowBytes;
        const bool black = !cut && (py < c.crop.top || py >= kPicHeight - c.crop.bottom || px < c.crop.left ||
                                    px >= kPicWidth - c.crop.right);
        // After an odd left crop every pixel takes the chroma of the pixel before it.
        const size_t chromaFrom = rowStart + size_t(8 + px - (shifted ? 1 : 0)) * 2;
        const uint8_t chroma = black ? 128 : Stamped(f, chromaFrom);
        const uint8_t luma = black ? 0 : Stamped(f, rowStart + size_t(8 + px) * 2 + 1);
        const size_t at = 16 + f * frameBytes + (size_t(y) * cols + x) * 2;
        if ((file[at] != chroma || file[at + 1] != luma) && ++mismatches <= 5)
          ADD_FAILURE() << "frame " << f << " pixel (" << px << ", " << py << "): got " << int(file[at]) << "/"
                        << int(file[at + 1]) << ", expected " << int(chroma) << "/" << int(luma);
      }
    }
  }
  EXPECT_EQ(mismatches, 0);

  EXPECT_EQ(GetMediaSampleCount(project_->info.dynMovieInfo.targetMedia[0]), kFrames);
  if (c.noiseTarget) {
    // The second target gets every frame too, whichever write stage finished first.
    EXPECT_EQ(bz_test::ReadWholeFile(paths_[1]).size(), 16 + kFrames * frameBytes);
    EXPECT_EQ(GetMediaSampleCount(project_->info.dynMovieInfo.targetMedia[1]), kFrames);
    EXPECT_EQ(project_->dynIO_Info.outputInfo[1].ioParam.forkRefNum, 0);
  } else {
    std::lock_guard<std::mutex> lock(gBatchMutex);
    ASSERT_EQ(gBatches.size(), 1u);
    EXPECT_EQ(gBatches[0], (std::vector<Ref>{{16, UInt32(kFrames * frameBytes), kFrameDuration, UInt32(kFrames)}}));
  }
}

INSTANTIATE_TEST_SUITE_P(Crops, WriteStageExecution,
                         ::testing::Values(CropCase{"MaskedBlackBarsKeepTheSize", Rect{1, 2, 1, 3}, true},
                                           CropCase{"EvenLeftCropIsCut", Rect{1, 2, 2, 4}, false},
                                           CropCase{"OddLeftCropShiftsChroma", Rect{0, 3, 0, 1}, false},
                                           CropCase{"NoMarginsWritesTheWholePicture", Rect{0, 0, 0, 0}, false},
                                           CropCase{"SecondTargetEndsTheRunOnlyWhenBothAreClosed", Rect{0, 0, 0, 0},
                                                    false, true}),
                         [](const ::testing::TestParamInfo<CropCase> &info) { return std::string(info.param.name); });

}  // namespace
