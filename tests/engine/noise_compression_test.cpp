// The compressed noise movie: the completion of a noise compression (every outcome releases the waiting
// writer, a frame larger than the buffer is an error), executions whose noise frames go through the write
// stage of file 1 into an 'smc ' movie that ffmpeg reads back to the very luma of each noise frame, a failing
// compression that ends the run with its error, and a whole project run with a noise movie, from the start of
// the project to the saved files.
#include "engine/write_stage.h"

#include "engine/closing_saving.h"
#include "engine/compress_stage.h"
#include "engine/copy_stage.h"
#include "engine/engine_wiring.h"
#include "engine/main_task.h"
#include "engine/noise_movie_stage.h"
#include "engine/project_start.h"
#include "engine/read_stage.h"
#include "engine/runtime/engine_host.h"
#include "engine/runtime/frame_selection.h"
#include "engine/runtime/stage_access.h"
#include "engine/runtime/working_format.h"
#include "engine/stage_table.h"
#include "movie/movie_files.h"
#include "movie/movie_queries.h"
#include "movie/movie_time.h"
#include "platform/core/cf_string.h"
#include "platform/core/event_loop.h"
#include "platform/core/memory.h"
#include "platform/movie/compression.h"
#include "platform/movie/movie_toolbox.h"
#include "support/engine_fixtures.h"
#include "support/file_fixtures.h"
#include "support/movie_fixtures.h"
#include "support/task_check.h"
#include "target_builder.h"
#include "support/test_stages.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <new>
#include <string>
#include <vector>

namespace {

using bz_test::FromWord;
using bz_test::TestStages;
using bz_test::Word;

constexpr EventTimeout kLimit = 60.0;  // seconds; reaching it means a hang
constexpr SInt32 kPicHeight = 10;
constexpr SInt32 kPicWidth = 20;
constexpr SInt32 kFrames = 5;
constexpr TimeValue kFrameDuration = 100;

// Cleaning without averaging, noise reduction or varying brightness: the noise movie is compressed.
void SparseCleaning(BZ_ProjSett *sett) {
  BZ_CleaninSett &c = sett->cleaning;
  c.average.apply = c.noiseRed.apply = c.removeLogo.apply = c.crossLuma.apply = c.varBr.apply = c.ou.apply = false;
}

// ---- The completion procedure ----------------------------------------------------------------------------------

struct NoiseCompletionCase {
  const char *name;
  OSErr result;
  SInt32 dataSize;  // -1: one byte more than the buffer
  OSStatus expectedError;
};
void PrintTo(const NoiseCompletionCase &c, std::ostream *os) { *os << c.name; }

class NoiseCompletion : public ::testing::TestWithParam<NoiseCompletionCase> {};

TEST_P(NoiseCompletion, EveryOutcomeReleasesTheWriter) {
  const NoiseCompletionCase &c = GetParam();
  bz_test::CurrentProject project;
  gBZ.numProcessors = 1;
  bz_test::DescribeSource(project.statMovInfo(), 0, kPicHeight, kPicWidth, kFrames, '2vuy');
  BZ_MakeDefaultProjSett(project.statMovInfo(), &project->info.settings);
  ASSERT_EQ(BZ_CreateBuffers(), noErr);
  BZ_BuffInfo *write = BZ_GetWriteBuffInfo(project->dynIO_Info.buffInfo, 1);
  ASSERT_NE(write, nullptr);
  ASSERT_EQ(MP_RecreateEvent(&write->event), noErr);
  // The stage's compression state as the write task makes it.
  constexpr size_t kBufferSize = 256;
  write->addStorage = std::calloc(1, sizeof(BZ_NoiseCompressState) + kBufferSize);
  auto *state = new (write->addStorage) BZ_NoiseCompressState{};
  state->bufferSize = kBufferSize;
  state->buffer = reinterpret_cast<UInt8 *>(state + 1);
  state->numComprStarted = 1;

  auto *record = static_cast<BZ_CompressData *>(std::calloc(1, sizeof(BZ_CompressData)));
  record->project = project.get();
  record->inBuffer = write->frameBuffInfo[0].ptr;
  record->outBuffer = state->buffer;
  record->dataSize = c.dataSize < 0 ? SInt32(kBufferSize) + 1 : c.dataSize;
  record->numComprCompleted = &state->numComprCompleted;
  record->heapCopy = true;  // freed by the procedure (ASan sees a leak otherwise)
  write->frameBuffInfo[0].actualSize = 12345;

  BZ_NoiseCompressCompletionProc(c.result, codecCompletionSource | codecCompletionDest,
                                 long(reinterpret_cast<intptr_t>(record)));

  MPEventFlags flags = 0;
  EXPECT_EQ(MPWaitForEvent(write->event, &flags, kDurationImmediate), noErr);
  EXPECT_TRUE(flags & kBZ_CompressionDoneFlag) << "the writer waiting for the compression goes on";
  EXPECT_EQ(state->numComprCompleted, 1);
  EXPECT_EQ(project->state.error, c.expectedError);
  if (c.expectedError == noErr)
    EXPECT_EQ(write->frameBuffInfo[0].actualSize, size_t(c.dataSize));
  else
    EXPECT_EQ(write->frameBuffInfo[0].actualSize, 12345u) << "a failed size is never taken";
  BZ_DisposeBuffInfo(project->dynIO_Info.buffInfo);
  gBZ.numProcessors = 0;
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, NoiseCompletion,
    ::testing::Values(NoiseCompletionCase{"CompressedSizeBecomesTheFramesSize", noErr, 100, noErr},
                      NoiseCompletionCase{"CodecFailureIsKept", codecErr, 100, codecErr},
                      NoiseCompletionCase{"FrameLargerThanTheBufferIsAnError", noErr, -1, codecErr}),
    [](const ::testing::TestParamInfo<NoiseCompletionCase> &info) { return std::string(info.param.name); });

// ---- Executions through the write stage of the noise movie --------------------------------------------------

struct NoiseCropCase {
  const char *name;
  bool cropping;
  Rect crop;  // top, left, bottom, right margins
  bool maskBlackBars;
};
void PrintTo(const NoiseCropCase &c, std::ostream *os) { *os << c.name; }

// The test stages feed both write stages: the noise-frame stage's stamped frames are the noise frames.
class NoiseMovieExecution : public ::testing::Test {
 protected:
  void Open(const NoiseCropCase &c) {
    baseTasks_ = PL_MPLiveTaskCount();
    gBZ.numProcessors = 2;
    BZ_StatMovInfo *movies = project_.statMovInfo();
    bz_test::DescribeSource(movies, 0, kPicHeight, kPicWidth, kFrames, '2vuy');
    movies[0].movieTimeScale = 600;
    BZ_MakeDefaultProjSett(movies, &project_->info.settings);
    BZ_ProjSett &sett = project_->info.settings;
    SparseCleaning(&sett);
    sett.output.cType = '2vuy';
    sett.input.interlaced = false;
    sett.input.cropping = c.cropping;
    sett.input.cropRect = c.crop;
    sett.input.maskBlackBars = c.maskBlackBars;
    ASSERT_EQ(BZ_CreateBuffers(), noErr);

    FSRef folder = bz_test::RefFor(dir_.path());
    BZ_DynMovieInfo &dyn = project_->info.dynMovieInfo;
    for (SInt32 i = 0; i < 2; ++i) {
      paths_[i] = dir_.File(i == 0 ? "cleaned.mov" : "noise.mov");
      ASSERT_EQ(QT_CreateMovieFile(&folder, i == 0 ? CFSTR("cleaned.mov") : CFSTR("noise.mov"), kBZ_TargetFileCreator,
                                   SInt32(createMovieFileDeleteCurFile), &project_->info.targetFileData[i].fileRef,
                                   &dyn.targetMovie[i]),
                noErr);
      ASSERT_EQ(BZ_OpenTargetFile(project_.get(), i), noErr);
    }
    ASSERT_EQ((**dyn.targetDesc[1]).cType, kBZ_NoiseMovieCodec);

    ASSERT_EQ(BZ_InstallEngineEventHandlers(&handler_), noErr);
    bz_test::InstallTestStages(kFrames, 2, {kBZ_WriteTaskType});
    TestStages().frameDuration = kFrameDuration;
    ASSERT_EQ(MPCreateQueue(&gBZ.mainTaskData.termQueue), noErr);
    ASSERT_EQ(BZ_CreateMainTask(project_.get()), noErr);
  }

  void TearDown() override {
    if (gBZ.mainTaskData.ID != nullptr) {
      MPNotifyQueue(gBZ.mainTaskData.inputQueue, Word(kBZ_MainThreadTaskType), project_.get(),
                    Word(kBZ_AppQuitMessage));
      OSStatus err = eventLoopTimedOutErr;
      PL_RunEventLoopUntil([&] { return (err = BZ_WaitForMainTaskTermMessage(kDurationImmediate)) != kMPTimeoutErr; },
                           kLimit);
      EXPECT_EQ(err, noErr);
    }
    EXPECT_EQ(PL_RunEventLoopUntil([&] { return PL_MPLiveTaskCount() == baseTasks_; }, kLimit), noErr);
    if (handler_ != nullptr) RemoveEventHandler(handler_);
    FlushEventQueue(GetMainEventQueue());
    BZ_DisposeBuffInfo(project_->dynIO_Info.buffInfo);
    MP_DeleteQueue(&gBZ.mainTaskData.termQueue);
    gBZ.mainTaskData.~MP_TaskData();
    new (&gBZ.mainTaskData) MP_TaskData{};
    for (SInt32 i = 0; i < 2; ++i) {
      BZ_CloseTargetFile(project_.get(), i);
      BZ_DynMovieInfo &dyn = project_->info.dynMovieInfo;
      if (dyn.targetDesc[i] != nullptr) DisposeHandle(reinterpret_cast<Handle>(dyn.targetDesc[i]));
      dyn.targetDesc[i] = nullptr;
      QT_DisposeMovie(&dyn.targetMovie[i]);
      MP_DeleteSemaphore(&project_->dynIO_Info.outputInfo[i].sampleRefsSemaphore);
    }
    gBZ.numProcessors = 0;
  }

  // Runs the execution; the code the main task reports.
  OSStatus Execute() { return bz_test::ExecuteProject(project_.get(), kLimit); }

  // The byte the test source stages stamp at buffer offset i of frame f.
  static UInt8 Stamped(SInt32 f, size_t i) { return UInt8(f * 31 + SInt32(i % 251)); }

  ItemCount baseTasks_ = 0;
  bz_test::TempDir dir_;
  bz_test::FakeHome home_{dir_.path()};
  std::string paths_[2];
  bz_test::CurrentProject project_;
  bz_test::RecordedHost host_;
  EventHandlerRef handler_ = nullptr;
};

class NoiseMovieCrops : public NoiseMovieExecution, public ::testing::WithParamInterface<NoiseCropCase> {};

TEST_P(NoiseMovieCrops, FfmpegDecodesTheNoiseFramesLuma) {
  if (!bz_test::RequireFfmpeg()) return;
  const NoiseCropCase &c = GetParam();
  host_.Install();
  host_.prefs.copySound = false;
  Open(c);
  ASSERT_EQ(Execute(), noErr);
  EXPECT_EQ(project_->state.exec, kBZ_ProjStateFinished);
  ASSERT_EQ(project_->state.error, noErr);
  ASSERT_EQ(BZ_SaveTargetMovies(project_.get()), noErr);

  // The picture the noise movie keeps: margins cut unless the bars are only masked.
  const bool cut = c.cropping && !c.maskBlackBars;
  const SInt32 top = cut ? c.crop.top : 0, left = cut ? c.crop.left : 0;
  const SInt32 rows = kPicHeight - (cut ? c.crop.top + c.crop.bottom : 0);
  const SInt32 cols = kPicWidth - (cut ? c.crop.left + c.crop.right : 0);
  std::map<std::string, std::string> probe = bz_test::ProbeStream(paths_[1], "v:0");
  EXPECT_EQ(probe["codec_name"], "smc");
  EXPECT_EQ(probe["width"], std::to_string(cols));
  EXPECT_EQ(probe["height"], std::to_string(rows));
  EXPECT_EQ(probe["nb_frames"], std::to_string(kFrames));

  std::string rgb;
  ASSERT_EQ(bz_test::RunCommand("ffmpeg -v error -i " + bz_test::ShellQuote(paths_[1]) +
                                    " -map 0:v:0 -f rawvideo -pix_fmt rgb24 -",
                                &rgb),
            0);
  const size_t frameBytes = size_t(rows) * size_t(cols) * 3;
  ASSERT_EQ(rgb.size(), frameBytes * kFrames);
  SInt32 bufferWidth = 0;
  ASSERT_EQ(BZ_GetBufferSize(kPicHeight, kPicWidth, false, nullptr, &bufferWidth, nullptr), noErr);
  const size_t rowBytes = size_t(bufferWidth) * 2;
  int mismatches = 0;
  for (SInt32 f = 0; f < kFrames; ++f) {
    for (SInt32 y = 0; y < rows; ++y) {
      for (SInt32 x = 0; x < cols; ++x) {
        const SInt32 px = left + x, py = top + y;  // picture pixel
        const bool masked = c.cropping && c.maskBlackBars &&
                            (py < c.crop.top || py >= kPicHeight - c.crop.bottom || px < c.crop.left ||
                             px >= kPicWidth - c.crop.right);
        const UInt8 luma = masked ? 0 : Stamped(f, size_t(8 + py) * rowBytes + size_t(8 + px) * 2 + 1);
        const size_t at = f * frameBytes + (size_t(y) * size_t(cols) + size_t(x)) * 3;
        const auto r = UInt8(rgb[at]), g = UInt8(rgb[at + 1]), b = UInt8(rgb[at + 2]);
        if ((r != luma || g != luma || b != luma) && ++mismatches <= 5)
          ADD_FAILURE() << "frame " << f << " pixel (" << px << ", " << py << "): grey " << int(r) << "/" << int(g)
                        << "/" << int(b) << ", luma " << int(luma);
      }
    }
  }
  EXPECT_EQ(mismatches, 0) << "the noise movie keeps every luma byte";
}

INSTANTIATE_TEST_SUITE_P(Crops, NoiseMovieCrops,
                         ::testing::Values(NoiseCropCase{"WholePicture", false, Rect{0, 0, 0, 0}, false},
                                           NoiseCropCase{"CutMargins", true, Rect{1, 2, 1, 3}, false},
                                           NoiseCropCase{"MaskedBarsKeepTheSize", true, Rect{1, 2, 1, 3}, true}),
                         [](const ::testing::TestParamInfo<NoiseCropCase> &info) {
                           return std::string(info.param.name);
                         });

TEST_F(NoiseMovieExecution, FailingCompressionEndsTheRunWithItsError) {
  Open(NoiseCropCase{"", false, Rect{0, 0, 0, 0}, false});
  BZ_BuffInfo *write = BZ_GetWriteBuffInfo(project_->dynIO_Info.buffInfo, 1);
  // The sequences are gone: every compression of a noise frame fails on the main thread.
  for (SInt32 i = 0; i < write->numFrameBuffers; ++i) PL_EndCompressionSequence(write->frameBuffInfo[i].comprSeqID);
  const OSStatus shown = Execute();
  EXPECT_NE(project_->state.error, noErr);
  EXPECT_EQ(shown, project_->state.error) << "the error travels with the ended project";
  EXPECT_EQ(project_->state.exec, kBZ_ProjStateDeleted);
}

// ---- A whole project with a noise movie ----------------------------------------------------------------------

// Starts the project over the fixture movie at dir/src.mov into dir/out.mov with a noise movie, runs it as the
// main thread does and saves it; the noise movie's path.
std::string RunProjectWithNoiseMovie(const bz_test::TempDir &dir, const bz_test::FixtureMovieSpec &spec) {
  bz_test::FakeHome home(dir.path());
  bz_test::CurrentProject project;
  bz_test::RecordedHost host;
  host.Install();
  host.prefs.copySound = false;
  const ItemCount baseTasks = PL_MPLiveTaskCount();
  gBZ.numProcessors = 2;
  Movie src = nullptr;
  EXPECT_EQ(noErr, bz_test::OpenMovieAtPath(dir.File("src.mov"), &src));
  BZ_StatMovInfo *movies = project.statMovInfo();
  bz_test::DescribeSource(movies, 0, spec.height, spec.width, spec.frames, '2vuy');
  movies[0].hasOneSimpleVideoTrack = true;
  movies[0].numVisualTracks = 1;
  movies[0].numDataRefIndexes = 1;
  movies[0].isVideoRange = true;
  movies[0].gamma = 2.2f;
  movies[0].movieTimeScale = GetMovieTimeScale(src);
  EXPECT_EQ(noErr, BZ_MakeMovieTimeList(src, &movies[0]));
  BZ_MakeDefaultProjSett(movies, &project->info.settings);
  SparseCleaning(&project->info.settings);
  project->info.settings.output.cType = '2vuy';
  project->info.settings.output.makeNoiseMovie = true;
  project->info.dynMovieInfo.sourceMovie[0] = src;
  project->info.srcFileData[0].fileRef = bz_test::RefFor(dir.File("src.mov"));
  project->info.targetFileData[0].parentRef = bz_test::RefFor(dir.path());
  project->info.targetFileData[0].fileName = bz_test::Name("out.mov");

  MPSemaphoreID prf = nullptr;
  EXPECT_EQ(MPCreateSemaphore(1, 0, &prf), noErr);
  gBZ.dlgTaskData.prfSemaphore = prf;
  EventHandlerRef handler = nullptr;
  EXPECT_EQ(BZ_InstallEngineEventHandlers(&handler), noErr);
  BZ_InstallStageEntryPoints();
  EXPECT_EQ(MPCreateQueue(&gBZ.mainTaskData.termQueue), noErr);
  EXPECT_EQ(BZ_CreateMainTask(project.get()), noErr);
  EXPECT_EQ(BZ_CreateBuffers(), noErr);

  std::string noisePath;
  EXPECT_EQ(noErr, BZ_StartProject());
  if (project->info.dynMovieInfo.targetDesc[1] != nullptr) {
    EXPECT_EQ((**project->info.dynMovieInfo.targetDesc[1]).cType, kBZ_NoiseMovieCodec);
    noisePath = bz_test::PathOf(project->info.targetFileData[1].fileRef);
  }
  void *code = nullptr;
  EXPECT_EQ(noErr, PL_RunEventLoopUntil(
                       [&] {
                         return MPWaitOnQueue(gBZ.mainTaskData.outputQueue, nullptr, nullptr, &code,
                                              kDurationImmediate) == noErr;
                       },
                       kLimit));
  EXPECT_EQ(code, nullptr);
  EXPECT_EQ(project->state.exec, kBZ_ProjStateFinished);
  EXPECT_EQ(project->state.error, noErr);
  EXPECT_EQ(BZ_SaveTargetMovies(project.get()), noErr);
  BZ_DisposeProject(nullptr);

  MPNotifyQueue(gBZ.mainTaskData.inputQueue, Word(kBZ_MainThreadTaskType), project.get(), Word(kBZ_AppQuitMessage));
  PL_RunEventLoopUntil([&] { return BZ_WaitForMainTaskTermMessage(kDurationImmediate) != kMPTimeoutErr; }, kLimit);
  PL_RunEventLoopUntil([&] { return PL_MPLiveTaskCount() == baseTasks; }, kLimit);
  MP_DeleteQueue(&gBZ.mainTaskData.termQueue);
  gBZ.mainTaskData.~MP_TaskData();
  new (&gBZ.mainTaskData) MP_TaskData{};
  prf = gBZ.dlgTaskData.prfSemaphore.exchange(nullptr);
  MP_DeleteSemaphore(&prf);
  RemoveEventHandler(handler);
  FlushEventQueue(GetMainEventQueue());
  gBZ.numProcessors = 0;
  DisposeMovie(src);
  return noisePath;
}

// Without cleaning every noise frame is the mid grey of video gamma; the noise movie holds exactly that.
TEST(NoiseMovieProject, StartRunAndSaveMakeAGraphicsNoiseMovie) {
  if (!bz_test::RequireFfmpeg()) return;
  bz_test::TempDir dir;
  bz_test::FixtureMovieSpec spec;
  spec.width = 48;
  spec.height = 32;
  spec.frames = 6;
  spec.withSound = false;
  bz_test::FixtureMovieInfo info;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(dir.File("src.mov"), spec, &info));
  const std::vector<uint8_t> srcBytes = bz_test::ReadWholeFile(dir.File("src.mov"));
  const std::string noisePath = RunProjectWithNoiseMovie(dir, spec);
  ASSERT_FALSE(noisePath.empty());
  EXPECT_TRUE(srcBytes == bz_test::ReadWholeFile(dir.File("src.mov"))) << "the source movie was written";

  std::map<std::string, std::string> probe = bz_test::ProbeStream(noisePath, "v:0");
  EXPECT_EQ(probe["codec_name"], "smc");
  EXPECT_EQ(probe["width"], "48");
  EXPECT_EQ(probe["height"], "32");
  EXPECT_EQ(probe["nb_frames"], std::to_string(spec.frames));
  std::string grey;
  ASSERT_EQ(bz_test::RunCommand("ffmpeg -v error -i " + bz_test::ShellQuote(noisePath) +
                                    " -map 0:v:0 -f rawvideo -pix_fmt rgb24 -",
                                &grey),
            0);
  ASSERT_EQ(grey.size(), size_t(spec.width) * size_t(spec.height) * 3 * size_t(spec.frames));
  const char mid = char(BZ_DiffMediumGray(2.2f));
  EXPECT_EQ(grey, std::string(grey.size(), mid));
}

}  // namespace
