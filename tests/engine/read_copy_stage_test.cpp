// The read and copy stages: the conversion of one frame into the working format, the direct read of one
// sample and its damaged sizes, and whole runs read -> copy -> identity cleaning stage -> a collecting stage
// through the real main task, on movies written by our writer and by ffmpeg, compared pixel by pixel with
// their sources; the source frame cache serving a repeated preview frame.
#include "engine/copy_stage.h"
#include "engine/engine_wiring.h"
#include "engine/main_task.h"
#include "engine/project_start.h"
#include "engine/read_stage.h"
#include "engine/runtime/engine_host.h"
#include "engine/runtime/stage_access.h"
#include "engine/runtime/working_format.h"
#include "engine/stage_table.h"
#include "color/argb_conversions.h"
#include "color/legalising.h"
#include "color/gamma_tables.h"
#include "color/planar420.h"
#include "color/yuv422_formats.h"
#include "movie/movie_errors.h"
#include "movie/movie_queries.h"
#include "movie/movie_time.h"
#include "outliers/outlier_stage.h"
#include "platform/core/event_loop.h"
#include "platform/core/files.h"
#include "platform/core/memory.h"
#include "platform/core/offscreen_worlds.h"
#include "platform/movie/movie_drawing.h"
#include "engine/runtime/frame_selection.h"
#include "support/engine_fixtures.h"
#include "support/kernel_check.h"
#include "support/movie_builders.h"
#include "support/movie_fixtures.h"
#include "support/task_check.h"
#include "support/test_stages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace {

using bz_test::FromWord;
using bz_test::Word;

constexpr EventTimeout kLimit = 60.0;  // seconds; reaching it means a hang

// ---- One frame's conversion ----------------------------------------------------------------------------------

struct CopyFrame {
  BZ_CopyParams params{};
  std::vector<UInt8> in;
  std::vector<UInt8> out;
  SInt64 bufferSize = 0;

  CopyFrame(SInt32 inWidth, SInt32 inHeight, Boolean interlaced) {
    params.inWidth = inWidth;
    params.inHeight = inHeight;
    params.interlaced = interlaced;
    EXPECT_EQ(BZ_GetBufferSize(inHeight, inWidth, interlaced, &params.height, &params.width, &bufferSize), noErr);
    params.linePtrYUV255 = static_cast<float *>(MP_NewPtrClear(size_t(params.width) * 8));
    params.tempLine = static_cast<UInt8 *>(MP_NewPtrClear(size_t((params.width + 31) / 32) * 128));
    params.inGamma = params.outGamma = 2.2f;
    params.isVideoRange = true;
    in = bz_test::FixtureFramePattern(3, inWidth, inHeight);
    in.resize(size_t(inWidth) * inHeight * 4);
    out.assign(size_t(bufferSize), 0xEE);
  }
  ~CopyFrame() { BZ_DisposeCopyParams(&params); }

  const UInt8 *Picture(SInt32 y) const {
    const SInt32 top = params.interlaced ? 16 : 8;
    return out.data() + size_t(top + y) * size_t(params.width) * 2 + 16;
  }
  // Whether every picture line equals the given compact picture.
  bool PictureEquals(const std::vector<UInt8> &compact) const {
    const size_t row = size_t(params.inWidth) * 2;
    for (SInt32 y = 0; y < params.inHeight; ++y)
      if (std::memcmp(Picture(y), compact.data() + size_t(y) * row, row) != 0) return false;
    return true;
  }
};

TEST(EngineCopy, PlacesThePictureAndFillsTheMargins) {
  for (Boolean interlaced : {false, true}) {
    SCOPED_TRACE(interlaced ? "interlaced" : "progressive");
    CopyFrame f(48, 32, interlaced);
    const std::vector<UInt8> source(f.in.begin(), f.in.begin() + 48 * 32 * 2);
    EXPECT_EQ(BZ_Copy(&f.params, f.in.data(), f.out.data()), noErr);
    EXPECT_TRUE(f.PictureEquals(source));
    // The margins are filled from the picture, as the padding does it on its own.
    std::vector<UInt8> expected(f.out.size(), 0xEE);
    const size_t row = size_t(f.params.width) * 2;
    const SInt32 top = interlaced ? 16 : 8;
    for (SInt32 y = 0; y < 32; ++y) std::memcpy(&expected[size_t(top + y) * row + 16], &source[size_t(y) * 96], 96);
    BZ_PadParams pad{};
    BZ_CopyParamsToPadParams(&f.params, &pad);
    ASSERT_EQ(BZ_PadFrame(&pad, expected.data()), noErr);
    EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + row * f.params.height, f.out.begin()));
  }
}

TEST(EngineCopy, GammaChangesOnlyBeyondTheTolerance) {
  struct Case {
    float inGamma, outGamma;
    bool unchanged;
  } const cases[] = {{2.2f, 2.2f, true}, {2.2f, 2.21f, true}, {2.2f, 2.249f, true}, {2.2f, 1.8f, false},
                     {1.8f, 2.2222223f, false}};
  for (const Case &c : cases) {
    for (Boolean preserve : {false, true}) {
      SCOPED_TRACE(std::to_string(c.inGamma) + " -> " + std::to_string(c.outGamma) + (preserve ? " super" : ""));
      CopyFrame f(48, 32, false);
      f.params.inGamma = c.inGamma;
      f.params.outGamma = c.outGamma;
      f.params.preserveHighlights = preserve;
      const std::vector<UInt8> source(f.in.begin(), f.in.begin() + 48 * 32 * 2);
      BZ_Copy(&f.params, f.in.data(), f.out.data());
      EXPECT_EQ(f.PictureEquals(source), c.unchanged);
    }
  }
}

TEST(EngineCopy, DirectlyReadYuv2IsSwappedAndRangeConverted) {
  struct Case {
    Boolean directRead, videoRange;
  } const cases[] = {{true, true}, {true, false}, {false, false}};
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.directRead ? "direct" : "drawn") + (c.videoRange ? " video range" : " full range"));
    CopyFrame f(48, 32, false);
    f.params.isYuv2 = true;
    f.params.directRead = c.directRead;
    f.params.isVideoRange = c.videoRange;
    const std::vector<UInt8> twoVuy(f.in.begin(), f.in.begin() + 48 * 32 * 2);
    std::vector<UInt8> yuv2(twoVuy.size());
    CO_ByteSwap2vuyFrame(48, 32, twoVuy.data(), yuv2.data(), 96, 96);
    std::copy(yuv2.begin(), yuv2.end(), f.in.begin());
    BZ_Copy(&f.params, f.in.data(), f.out.data());

    std::vector<UInt8> expected = c.directRead ? twoVuy : yuv2;
    if (c.directRead && !c.videoRange) {
      std::vector<float> line(96);
      for (SInt32 y = 0; y < 32; ++y) {
        CO_2vuyLineToFloat(48, &expected[size_t(y) * 96], line.data(), true);
        CO_FloatLineTo2vuy(48, &expected[size_t(y) * 96], line.data(), false);
      }
    }
    EXPECT_TRUE(f.PictureEquals(expected));
  }
}

// Frames drawn as ARGB or 4:2:0 arrive converted like the colour library converts them on its own.
TEST(EngineCopy, DrawnArgbAndPlanarFramesConvertAtTheirSize) {
  const SInt32 w = 48, h = 32;
  const std::vector<UInt8> twoVuy = bz_test::FixtureFramePattern(5, w, h);
  std::vector<UInt8> argb(size_t(w) * h * 4);
  CO_2vuyFrameToARGB(w, h, twoVuy.data(), argb.data(), false, w * 2, w * 4);
  for (Boolean sameGamma : {true, false}) {
    SCOPED_TRACE(sameGamma ? "ARGB" : "ARGB with a gamma change");
    CopyFrame f(w, h, false);
    f.params.rgbPlayback = true;
    f.params.outGamma = sameGamma ? 2.2f : 1.8f;
    std::copy(argb.begin(), argb.end(), f.in.begin());
    std::vector<UInt8> source = argb, expected(size_t(w) * h * 2);
    if (sameGamma)
      CO_ARGB_FrameTo2vuy(w, h, source.data(), expected.data(), false);
    else
      CO_ARGB_FrameTo2vuyChangeGamma(w, h, source.data(), expected.data(), false, 2.2f, 1.8f, nullptr);
    BZ_Copy(&f.params, f.in.data(), f.out.data());
    EXPECT_TRUE(f.PictureEquals(expected));
  }
  for (Boolean interlaced : {false, true}) {
    SCOPED_TRACE(interlaced ? "4:2:0 interlaced" : "4:2:0");
    CopyFrame f(w, h, interlaced);
    f.params.y420Playback = true;
    const PlanarPixmapInfoYUV420 header{{32, UInt32(w)}, {32 + w * h, UInt32(w / 2)}, {32 + w * h + w * h / 4, UInt32(w / 2)}};
    CO_SetY420Header(f.in.data(), &header);
    CO_2vuyFrameToY420(h, w, w * 2, twoVuy.data(), f.in.data(), interlaced);
    std::vector<UInt8> expected(size_t(w) * h * 2);
    CO_Y420_FrameTo2vuy(h, w, f.in.data(), expected.data(), interlaced);
    BZ_Copy(&f.params, f.in.data(), f.out.data());
    EXPECT_TRUE(f.PictureEquals(expected));
    // 4:2:0 is drawn in the source's gamma like anything else: frames worked in another gamma change it.
    f.params.outGamma = 1.8f;
    std::vector<float> line(size_t(w) * 2);
    CO_2vuyFrameChangeGamma(h, w, expected.data(), expected.data(), line.data(), w * 2, w * 2, 2.2f, 1.8f, nullptr);
    BZ_Copy(&f.params, f.in.data(), f.out.data());
    EXPECT_TRUE(f.PictureEquals(expected)) << "gamma changed";
  }
}

TEST(EngineCopy, LegalisesTheWholePaddedFrame) {
  // 718 pixels: the padded width (736) is far beyond the source width, so a float line of the source width
  // would be overrun by the legalising of a padded line.
  CopyFrame f(718, 8, false);
  f.params.yuvSanityCheck = true;
  for (size_t i = 0; i < size_t(718) * 8 * 2; ++i) f.in[i] = UInt8(i % 2 ? 250 : 5);  // illegal colours
  CopyFrame plain(718, 8, false);
  std::copy(f.in.begin(), f.in.end(), plain.in.begin());
  BZ_Copy(&f.params, f.in.data(), f.out.data());
  BZ_Copy(&plain.params, plain.in.data(), plain.out.data());
  std::vector<float> line(size_t(f.params.width) * 2);
  CO_FrameSanityCheckUni(false, gBZ.procInfo.hasSSE3, f.params.height, f.params.width, plain.out.data(), line.data(),
                         false);
  EXPECT_TRUE(std::equal(plain.out.begin(), plain.out.begin() + f.params.width * f.params.height * 2, f.out.begin()));
  EXPECT_FALSE(std::equal(f.in.begin(), f.in.begin() + 718 * 2, f.Picture(0))) << "the frame was legalised";
}

// Legalising on the stage's band workers gives what one task gives, over the whole padded frame, for frames
// that are cut into bands and for one that is too small to be.
TEST(EngineCopy, LegalisingOnBandWorkersEqualsOneTask) {
  for (SInt32 height : {576, 16}) {
    SCOPED_TRACE("height " + std::to_string(height));
    CopyFrame banded(720, height, true), alone(720, height, true);
    banded.params.yuvSanityCheck = alone.params.yuvSanityCheck = true;
    ASSERT_EQ(BZ_CreateFrameBandWorkers(banded.params.width, 4, &banded.params.legaliseWorkers), noErr);
    for (size_t i = 0; i < size_t(720) * height * 2; ++i) banded.in[i] = alone.in[i] = UInt8((i * 37) % 256);
    EXPECT_EQ(BZ_Copy(&banded.params, banded.in.data(), banded.out.data()), noErr);
    EXPECT_EQ(BZ_Copy(&alone.params, alone.in.data(), alone.out.data()), noErr);
    EXPECT_TRUE(banded.out == alone.out);
    EXPECT_FALSE(std::equal(banded.in.begin(), banded.in.begin() + 720 * 2, banded.Picture(0))) << "not legalised";
  }
}

// ---- Direct reads of one sample -----------------------------------------------------------------------------

TEST(EngineReadDirect, SampleSizesOutsideTheFrameAndBufferAreErrors) {
  bz_test::TempDir dir;
  const std::string path = dir.File("source.mov");
  bz_test::FixtureMovieSpec spec;
  spec.withSound = false;
  bz_test::FixtureMovieInfo written;
  ASSERT_EQ(bz_test::WriteFixtureMovie(path, spec, &written), noErr);
  FSRef ref;
  ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &ref, nullptr), noErr);
  BZ_DynInputInfo input{};
  ASSERT_EQ(FSOpenFork(&ref, 0, nullptr, fsRdPerm, &input.fileRefNum[0]), noErr);

  const UInt32 frame = 48 * 32 * 2;
  struct Case {
    UInt32 sampleSize;
    size_t bufferSize;
    SInt16 dataRefIndex;  // 0: the fork of the data reference is not open
    OSStatus expected;
  } const cases[] = {
      {frame, frame, 1, noErr},
      {frame, 2 * frame, 1, noErr},
      {frame + 8, frame + 8, 1, noErr},
      {frame - 2, 2 * frame, 1, kQT_AtomTableErr},       // shorter than a frame
      {frame + 1, frame, 1, kQT_AtomTableErr},           // larger than the buffer
      {0x7FFFFFF0u, 2 * frame, 1, kQT_AtomTableErr},     // absurd
      {frame, frame, 0, kQT_DataRefIndexNotInMediaErr},  // no fork for its data reference
  };
  for (const Case &c : cases) {
    SCOPED_TRACE("sample " + std::to_string(c.sampleSize) + ", buffer " + std::to_string(c.bufferSize));
    bz_test::BuiltMovie built(600);
    std::vector<bz_test::BuiltSample> samples = {{100, c.sampleSize, true}, {100, c.sampleSize, true}};
    Track track = bz_test::AddBuiltTrack(built.movie, VideoMediaType, 600, samples, written.frameOffsets[0]);
    bz_test::InsertWholeMedia(track);
    BZ_DynInputInfo in = input;
    if (c.dataRefIndex == 0) in.fileRefNum[0] = 0;
    in.movieTime = 0;
    // Guard bytes after the buffer show an overrun.
    std::vector<UInt8> buffer(c.bufferSize + 64, 0xA5);
    EXPECT_EQ(BZ_ReadFrameDirect(track, GetTrackMedia(track), &in, buffer.data(), c.bufferSize, frame), c.expected);
    EXPECT_TRUE(std::all_of(buffer.begin() + c.bufferSize, buffer.end(), [](UInt8 b) { return b == 0xA5; }));
    if (c.expected == noErr) {
      EXPECT_TRUE(std::equal(written.frames[0].begin(), written.frames[0].end(), buffer.begin()));
    }
  }
  FSCloseFork(input.fileRefNum[0]);
}

TEST(EngineReadDirect, ReadsFromTheForkOfTheSamplesDataReference) {
  bz_test::TempDir dir;
  const std::string first = dir.File("first.mov"), second = dir.File("second.mov");
  bz_test::FixtureMovieSpec spec;
  spec.withSound = false;
  bz_test::FixtureMovieInfo written;
  ASSERT_EQ(bz_test::WriteFixtureMovie(first, spec, &written), noErr);
  // The second file holds frame 5's picture where the first holds frame 0's.
  std::vector<UInt8> bytes = bz_test::ReadWholeFile(first);
  std::copy(written.frames[5].begin(), written.frames[5].end(), bytes.begin() + written.frameOffsets[0]);
  ASSERT_TRUE(bz_test::WriteWholeFile(second, bytes));
  BZ_DynInputInfo input{};
  for (int i = 0; i < 2; ++i) {
    FSRef ref;
    const std::string &path = i == 0 ? first : second;
    ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &ref, nullptr), noErr);
    ASSERT_EQ(FSOpenFork(&ref, 0, nullptr, fsRdPerm, &input.fileRefNum[i]), noErr);
  }
  for (SInt16 dataRefIndex : {1, 2}) {
    SCOPED_TRACE("data reference " + std::to_string(dataRefIndex));
    bz_test::BuiltMovie built(600);
    Track track = NewMovieTrack(built.movie, 48 << 16, 32 << 16, 0);
    Media media = NewTrackMedia(track, VideoMediaType, 600, nullptr, 0);
    Handle other = nullptr;
    OSType type = 0;
    ASSERT_EQ(PL_NewDataReferenceFromPath(second.c_str(), &other, &type), noErr);
    SInt16 index = 0;
    ASSERT_EQ(AddMediaDataRef(media, &index, other, type), noErr);
    ASSERT_EQ(index, 2);
    DisposeHandle(other);
    ImageDescriptionHandle desc = bz_test::NewFixtureImageDescription(48, 32);
    (*desc)->dataRefIndex = dataRefIndex;
    SampleReference64Record r{written.frameOffsets[0], 48 * 32 * 2, 100, 1, 0};
    ASSERT_EQ(AddMediaSampleReferences64(media, reinterpret_cast<SampleDescriptionHandle>(desc), 1, &r, nullptr), noErr);
    DisposeHandle(reinterpret_cast<Handle>(desc));
    bz_test::InsertWholeMedia(track);
    std::vector<UInt8> buffer(48 * 32 * 2);
    ASSERT_EQ(BZ_ReadFrameDirect(track, media, &input, buffer.data(), buffer.size(), buffer.size()), noErr);
    EXPECT_EQ(buffer, written.frames[dataRefIndex == 1 ? 0 : 5]);
  }
  FSCloseFork(input.fileRefNum[0]);
  FSCloseFork(input.fileRefNum[1]);
}

TEST(EngineReadDirect, ATruncatedFileGivesEof) {
  bz_test::TempDir dir;
  const std::string path = dir.File("source.mov");
  bz_test::FixtureMovieSpec spec;
  spec.withSound = false;
  bz_test::FixtureMovieInfo written;
  ASSERT_EQ(bz_test::WriteFixtureMovie(path, spec, &written), noErr);
  Movie movie = nullptr;
  ASSERT_EQ(bz_test::OpenMovieAtPath(path, &movie), noErr);
  // The data fork ends inside the last frame once the movie is in memory.
  std::vector<UInt8> bytes = bz_test::ReadWholeFile(path);
  bytes.resize(size_t(written.frameOffsets.back() + 10));
  ASSERT_TRUE(bz_test::WriteWholeFile(path, bytes));
  FSRef ref;
  ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &ref, nullptr), noErr);
  BZ_DynInputInfo input{};
  ASSERT_EQ(FSOpenFork(&ref, 0, nullptr, fsRdPerm, &input.fileRefNum[0]), noErr);
  Track track = QT_GetFirstEnabledVideoTrack(movie);
  input.movieTime = QT_MovieFrameNumberToTime(movie, spec.frames - 1);
  std::vector<UInt8> buffer(48 * 32 * 4);
  EXPECT_EQ(BZ_ReadFrameDirect(track, GetTrackMedia(track), &input, buffer.data(), buffer.size(), 48 * 32 * 2), eofErr);
  FSCloseFork(input.fileRefNum[0]);
  DisposeMovie(movie);
}

// ---- Whole runs ------------------------------------------------------------------------------------------------

// What the collecting stage saw: each frame's working-frame bytes by frame number, in arrival order.
struct Collected {
  std::mutex mutex;
  std::vector<SInt32> order;
  std::map<SInt32, std::vector<UInt8>> frames;
  std::atomic<SInt32> expected{0};
};
Collected gCollected;

// Takes the frames of the last cleaning stage in place of the write stage; after the expected number it ends
// the stream as the write stages do.
OSStatus CollectTask(void *parameter) {
  auto *task = static_cast<MP_TaskData *>(parameter);
  auto *project = static_cast<BZ_ProjPtr>(task->termMessage2);
  BZ_BuffInfo *table = project->dynIO_Info.buffInfo;
  BZ_BuffInfo *stage = nullptr;
  for (SInt32 i = 0; i < kBZ_NumBuffInfos - 1 && table[i].type != kBZ_NoTaskType; ++i)
    if (table[i].taskData[0] == task) stage = &table[i];
  if (stage == nullptr) return paramErr;
  Boolean finished = false;
  OSStatus result = noErr;
  for (SInt32 count = 0; !finished && result == noErr;) {
    void *word = nullptr;
    result = BZ_WaitForBuffer(task, task->inputQueue, &word, nullptr, &finished);
    if (result != noErr || finished) break;
    if (FromWord(word) == kBZ_EndOfStreamMessage) continue;
    auto *buffer = static_cast<UInt8 *>(word);
    BZ_FrameBuffInfo *info = BZ_GetFrameBuffInfo(stage, buffer);
    if (info == nullptr) return paramErr;
    {
      std::lock_guard<std::mutex> lock(gCollected.mutex);
      gCollected.order.push_back(info->frameNum);
      gCollected.frames[info->frameNum].assign(buffer, buffer + std::min(info->actualSize, stage->size));
    }
    result = BZ_NotifyFrame(project, kBZ_WriteTaskType, task->inFreeQueue, nullptr, buffer, nullptr);
    if (++count < gCollected.expected) continue;
    if (project->state.exec == kBZ_ProjStateExecuting) project->state.exec = kBZ_ProjStateFinished;
    OSStatus err = MPNotifyQueue(task->creator->inputQueue, Word(kBZ_WriteTaskType), project, Word(kBZ_EndOfStreamMessage));
    return result != noErr ? result : err;
  }
  return result;
}

struct PipelineHost {
  std::atomic<Boolean> sanityCheck{false};
  std::atomic<SInt32> previewFrame{0};
};
PipelineHost gPipelineHost;

void PipelinePrefs(void *, BZ_AppPrefs *prefs) {
  *prefs = BZ_AppPrefs{};
  prefs->maxIRE = 120;
  prefs->yuvSanityCheck = gPipelineHost.sanityCheck;
}
UInt32 NoAutoSettStage(void *) { return 0; }
SInt32 PreviewFrame(void *) { return gPipelineHost.previewFrame; }

// Counts the ends of runs and passes them on to the engine's handler.
std::atomic<SInt32> gRunsFinished{0};
OSStatus CountRunFinished(EventHandlerCallRef callRef, EventRef event, void *) {
  ++gRunsFinished;
  return CallNextEventHandler(callRef, event);
}

// A source movie opened for the run.
struct Source {
  std::string path;
  Movie movie = nullptr;
  SInt32 width = 0, height = 0, numFrames = 0;
  CodecType cType = 0;
};

class EnginePipeline : public ::testing::Test {
 protected:
  void SetUp() override {
    baseTasks_ = PL_MPLiveTaskCount();
    gBZ.numProcessors = 3;
    gCollected.order.clear();
    gCollected.frames.clear();
    gRunsFinished = 0;
    gPipelineHost.sanityCheck = false;
    gPipelineHost.previewFrame = 0;
    BZ_EngineHost host{};
    host.getAppPrefs = PipelinePrefs;
    host.getAutoSettStage = NoAutoSettStage;
    host.getPreviewFrameNum = PreviewFrame;
    BZ_SetEngineHost(&host);
    MPSemaphoreID prf = nullptr;
    ASSERT_EQ(MPCreateSemaphore(1, 0, &prf), noErr);
    gBZ.dlgTaskData.prfSemaphore = prf;
    static const EventTypeSpec kinds[] = {{kBZ_ProjEventClass, kBZ_ProjectRunFinishedEvent}};
    ASSERT_EQ(BZ_InstallEngineEventHandlers(&engineHandler_), noErr);
    ASSERT_EQ(InstallApplicationEventHandler(CountRunFinished, 1, kinds, nullptr, &handler_), noErr);

    // The engine's read and copy stages; the identity stage for the cleaning types, the collector for writing.
    bz_test::InstallTestStages(0, 1, {kBZ_ReadTaskType, kBZ_CopyTaskType});
    BZ_SetStageEntryPoint(kBZ_WriteTaskType, false, CollectTask);
    ASSERT_EQ(MPCreateQueue(&gBZ.mainTaskData.termQueue), noErr);
    ASSERT_EQ(BZ_CreateMainTask(project_.get()), noErr);
  }

  void TearDown() override {
    if (gBZ.mainTaskData.ID != nullptr) {
      ASSERT_EQ(MPNotifyQueue(gBZ.mainTaskData.inputQueue, Word(kBZ_MainThreadTaskType), project_.get(),
                              Word(kBZ_AppQuitMessage)),
                noErr);
      OSStatus err = eventLoopTimedOutErr;
      PL_RunEventLoopUntil([&] { return (err = BZ_WaitForMainTaskTermMessage(kDurationImmediate)) != kMPTimeoutErr; },
                           kLimit);
      EXPECT_EQ(err, noErr);
    }
    // Analysis runs leave their analysis tasks running for the next run.
    BZ_DlgTaskData &d = gBZ.dlgTaskData;
    for (MP_TaskData *t : {&d.whiteLineTaskData, &d.blackBarsTaskData, &d.noiseLevelTaskData, &d.frameDiffTaskData})
      MP_TerminateTask(t, true, noErr);
    EXPECT_EQ(PL_RunEventLoopUntil([&] { return PL_MPLiveTaskCount() == baseTasks_; }, kLimit), noErr);
    BZ_DisposeBuffInfo(project_->dynIO_Info.buffInfo);
    MP_DeleteQueue(&gBZ.mainTaskData.termQueue);
    gBZ.mainTaskData.~MP_TaskData();
    new (&gBZ.mainTaskData) MP_TaskData{};
    MPSemaphoreID prf = gBZ.dlgTaskData.prfSemaphore.exchange(nullptr);
    MP_DeleteSemaphore(&prf);
    RemoveEventHandler(handler_);
    RemoveEventHandler(engineHandler_);
    FlushEventQueue(GetMainEventQueue());
    for (FSIORefNum &fork : project_->dynIO_Info.inputInfo[0].fileRefNum)
      if (fork != 0) FSCloseFork(fork);
    if (source_.movie != nullptr) DisposeMovie(source_.movie);
    if (timeList_ != nullptr) DisposePtr(reinterpret_cast<Ptr>(timeList_));
    DisposeCache();
    BZ_SetEngineHost(nullptr);
    gBZ.numProcessors = 0;
  }

  // Opens the movie as source 0, describes it and opens its data fork as the project start does.
  void OpenSource(const std::string &path, CodecType cType, SInt32 width, SInt32 height) {
    source_.path = path;
    source_.cType = cType;
    source_.width = width;
    source_.height = height;
    ASSERT_EQ(bz_test::OpenMovieAtPath(path, &source_.movie), noErr);
    ASSERT_EQ(QT_CountMovieFrames(source_.movie, &source_.numFrames, nullptr), noErr);
    ASSERT_GT(source_.numFrames, 0);
    BZ_StatMovInfo *movies = project_.statMovInfo();
    bz_test::DescribeSource(movies, 0, height, width, source_.numFrames, cType);
    movies[0].hasOneSimpleVideoTrack = true;
    movies[0].numDataRefIndexes = 1;
    movies[0].isVideoRange = true;
    movies[0].gamma = 2.2f;
    timeList_ = reinterpret_cast<TimeValue *>(NewPtrClear(Size(source_.numFrames * sizeof(TimeValue))));
    for (SInt32 i = 0; i < source_.numFrames; ++i) timeList_[i] = QT_MovieFrameNumberToTime(source_.movie, i);
    movies[0].timeList = timeList_;
    BZ_MakeDefaultProjSett(movies, &project_->info.settings);  // noise reduction: one identity stage
    project_->info.settings.input.interlaced = interlaced_;
    if (noCleaning_) {
      BZ_CleaninSett &c = project_->info.settings.cleaning;
      c.average.apply = c.noiseRed.apply = c.removeLogo.apply = c.crossLuma.apply = c.varBr.apply = c.ou.apply = false;
    }
    project_->info.dynMovieInfo.sourceMovie[0] = source_.movie;
    ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), &project_->info.srcFileData[0].fileRef,
                            nullptr),
              noErr);
  }

  // Builds the table (without the noise movie's stages) for the run's state and opens the source as the set-up
  // of a run does: its data fork when it is read directly, else the movie drawing into the copy stage.
  void BuildTable(BZ_ExecuteState exec) {
    project_->state.exec = exec;
    ASSERT_EQ(BZ_CreateBuffers(), noErr);
    BZ_BuffInfo *table = project_->dynIO_Info.buffInfo;
    BZ_BuffInfo *noise = BZ_GetBufferInfoByStageType(table, kBZ_NoiseFrameTaskType, 0);
    ASSERT_NE(noise, nullptr);
    noise[0].type = noise[1].type = kBZ_NoTaskType;
    ASSERT_EQ(BZ_OpenSourceFiles(), noErr);
  }

  void StartAt(SInt32 frame) {
    BZ_DynInputInfo &input = project_->dynIO_Info.inputInfo[0];
    input.frameNum = frame;
    input.movieTime = QT_MovieFrameNumberToTime(source_.movie, frame);
    input.movieTimeF = input.movieTime;
    TimeValue start = 0;
    QT_MovieTimeToFrameNumber(source_.movie, input.movieTime, &start, &input.duration);
  }

  // Executes the movie from startFrame_, expecting that many frames (all by default); the main task's result.
  OSStatus Execute(SInt32 frames = -1) {
    BuildTable(kBZ_ProjStateExecuting);
    StartAt(startFrame_);
    gCollected.expected = frames < 0 ? source_.numFrames : frames;
    project_->state.exec = kBZ_ProjStateExecuting;
    EXPECT_EQ(MPNotifyQueue(gBZ.mainTaskData.inputQueue, Word(kBZ_MainThreadTaskType), project_.get(),
                            Word(kBZ_RunProjectMessage)),
              noErr);
    void *code = nullptr;
    EXPECT_EQ(PL_RunEventLoopUntil(
                  [&] { return MPWaitOnQueue(gBZ.mainTaskData.outputQueue, nullptr, nullptr, &code, kDurationImmediate) == noErr; },
                  kLimit),
              noErr);
    WaitForRunEnd();
    return OSStatus(FromWord(code));
  }

  // One preview run of the frame, which with noise reduction reads the frame and its two neighbours; the
  // run's error.
  OSStatus Preview(SInt32 frame) {
    gPipelineHost.previewFrame = frame;
    gCollected.expected = 3;
    project_->state.exec = kBZ_ProjStatePreviewing;
    const SInt32 before = gRunsFinished;
    EXPECT_EQ(MPNotifyQueue(gBZ.mainTaskData.inputQueue, Word(kBZ_MainThreadTaskType), project_.get(),
                            Word(kBZ_RunProjectMessage)),
              noErr);
    EXPECT_EQ(PL_RunEventLoopUntil([&] { return gRunsFinished > before; }, kLimit), noErr);
    WaitForRunEnd();
    return project_->state.error.exchange(noErr);
  }

  void WaitForRunEnd() {
    EXPECT_EQ(PL_RunEventLoopUntil([&] { return PL_MPLiveTaskCount() == baseTasks_ + 1; }, kLimit), noErr);
  }

  void MakeCache() {
    SInt64 size = 0;
    ASSERT_EQ(BZ_GetBufferSize(source_.height, source_.width, false, nullptr, nullptr, &size), noErr);
    gBZ.dlgTaskData.frameCache = reinterpret_cast<UInt8 *>(NewPtrClear(Size(size * kBZ_FrameCacheSize)));
    for (auto &slot : gBZ.dlgTaskData.frameCacheInfo) {
      slot.frameNum = -1;
      slot.needed = 0;
    }
    ASSERT_EQ(MPCreateCriticalRegion(&gBZ.dlgTaskData.frameCacheCritRgn), noErr);
  }
  void DisposeCache() {
    if (gBZ.dlgTaskData.frameCache != nullptr) DisposePtr(reinterpret_cast<Ptr>(gBZ.dlgTaskData.frameCache));
    gBZ.dlgTaskData.frameCache = nullptr;
    MP_DeleteCriticalRegion(&gBZ.dlgTaskData.frameCacheCritRgn);
  }

  // The picture of a collected working frame, compact.
  std::vector<UInt8> PictureOf(const std::vector<UInt8> &working) const {
    SInt32 width = 0, height = 0;
    EXPECT_EQ(BZ_GetBufferSize(source_.height, source_.width, interlaced_, &height, &width, nullptr), noErr);
    std::vector<UInt8> picture;
    if (working.size() < size_t(width) * height * 2) return picture;
    const SInt32 top = interlaced_ ? 16 : 8;
    for (SInt32 y = 0; y < source_.height; ++y) {
      const UInt8 *line = working.data() + size_t(top + y) * size_t(width) * 2 + 16;
      picture.insert(picture.end(), line, line + size_t(source_.width) * 2);
    }
    return picture;
  }

  bz_test::CurrentProject project_;
  Source source_;
  Boolean interlaced_ = false;
  SInt32 startFrame_ = 0;
  Boolean noCleaning_ = false;
  TimeValue *timeList_ = nullptr;
  EventHandlerRef handler_ = nullptr;
  EventHandlerRef engineHandler_ = nullptr;
  ItemCount baseTasks_ = 0;
};

TEST_F(EnginePipeline, OurTwoVuyMovieArrivesExactly) {
  bz_test::TempDir dir;
  const std::string path = dir.File("ours.mov");
  bz_test::FixtureMovieSpec spec;
  spec.frames = 7;
  bz_test::FixtureMovieInfo written;
  ASSERT_EQ(bz_test::WriteFixtureMovie(path, spec, &written), noErr);
  const std::vector<UInt8> before = bz_test::ReadWholeFile(path);
  OpenSource(path, '2vuy', spec.width, spec.height);

  EXPECT_EQ(Execute(), noErr);
  EXPECT_TRUE(project_->dynIO_Info.inputInfo[0].directRead);
  ASSERT_EQ(gCollected.order.size(), size_t(spec.frames));
  for (SInt32 i = 0; i < spec.frames; ++i) {
    EXPECT_EQ(gCollected.order[size_t(i)], i);
    EXPECT_EQ(PictureOf(gCollected.frames[i]), written.frames[size_t(i)]) << "frame " << i;
  }
  EXPECT_EQ(bz_test::ReadWholeFile(path), before) << "the source is never written";
}

TEST_F(EnginePipeline, FfmpegTwoVuyMovieArrivesExactly) {
  if (!bz_test::RequireFfmpeg()) return;
  bz_test::TempDir dir;
  const std::string path = dir.File("ffmpeg.mov");
  const std::string raw = dir.File("frames.uyvy");
  ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=s=64x48:r=25:d=0.36 -pix_fmt uyvy422 "
                                   "-c:v rawvideo -tag:v 2vuy " + bz_test::ShellQuote(path)));
  ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y -i " + bz_test::ShellQuote(path) +
                                   " -f rawvideo -pix_fmt uyvy422 " + bz_test::ShellQuote(raw)));
  const std::vector<UInt8> reference = bz_test::ReadWholeFile(raw);
  interlaced_ = true;  // the same pictures, 16 lines down
  OpenSource(path, '2vuy', 64, 48);
  ASSERT_EQ(source_.numFrames, 9);

  EXPECT_EQ(Execute(), noErr);
  const size_t frameBytes = 64 * 48 * 2;
  ASSERT_EQ(reference.size(), frameBytes * 9);
  ASSERT_EQ(gCollected.frames.size(), 9u);
  for (SInt32 i = 0; i < 9; ++i) {
    const std::vector<UInt8> expected(reference.begin() + i * frameBytes, reference.begin() + (i + 1) * frameBytes);
    EXPECT_EQ(PictureOf(gCollected.frames[i]), expected) << "frame " << i;
  }
}

TEST_F(EnginePipeline, FfmpegYuv2MovieIsSwappedToTwoVuy) {
  if (!bz_test::RequireFfmpeg()) return;
  bz_test::TempDir dir;
  const std::string path = dir.File("yuv2.mov");
  const std::string raw = dir.File("frames.uyvy");
  ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=s=64x48:r=25:d=0.2 -pix_fmt yuyv422 "
                                   "-c:v rawvideo -tag:v yuv2 " + bz_test::ShellQuote(path)));
  ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y -i " + bz_test::ShellQuote(path) +
                                   " -f rawvideo -pix_fmt uyvy422 " + bz_test::ShellQuote(raw)));
  const std::vector<UInt8> reference = bz_test::ReadWholeFile(raw);
  OpenSource(path, 'yuv2', 64, 48);
  ASSERT_EQ(source_.numFrames, 5);

  EXPECT_EQ(Execute(), noErr);
  const size_t frameBytes = 64 * 48 * 2;
  ASSERT_EQ(reference.size(), frameBytes * 5);
  ASSERT_EQ(gCollected.frames.size(), 5u);
  for (SInt32 i = 0; i < 5; ++i) {
    const std::vector<UInt8> expected(reference.begin() + i * frameBytes, reference.begin() + (i + 1) * frameBytes);
    EXPECT_EQ(PictureOf(gCollected.frames[i]), expected) << "frame " << i;
  }
}

TEST_F(EnginePipeline, ExecutionStartsAtTheInputsFrame) {
  bz_test::TempDir dir;
  const std::string path = dir.File("ours.mov");
  bz_test::FixtureMovieSpec spec;
  spec.frames = 6;
  bz_test::FixtureMovieInfo written;
  ASSERT_EQ(bz_test::WriteFixtureMovie(path, spec, &written), noErr);
  noCleaning_ = true;  // the identity stage would wait for frame 0
  OpenSource(path, '2vuy', spec.width, spec.height);
  startFrame_ = 2;

  EXPECT_EQ(Execute(4), noErr);
  EXPECT_EQ(gCollected.order, (std::vector<SInt32>{2, 3, 4, 5}));
  for (SInt32 i = 2; i < spec.frames; ++i) EXPECT_EQ(PictureOf(gCollected.frames[i]), written.frames[size_t(i)]);
}

TEST_F(EnginePipeline, AnalysisRunHandsTestFramesToTheBlackBarsTask) {
  if (!bz_test::RequireFfmpeg()) return;
  bz_test::TempDir dir;
  const std::string path = dir.File("bars.mov");
  // Eight black lines above and below the picture.
  ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=s=64x48:r=25:d=1.2 -vf "
                                   "pad=64:64:0:8:black -pix_fmt uyvy422 -c:v rawvideo -tag:v 2vuy " +
                                   bz_test::ShellQuote(path)));
  noCleaning_ = true;
  OpenSource(path, '2vuy', 64, 64);
  BuildTable(kBZ_ProjStateAnalyzingMovie);
  project_->state.exec = kBZ_ProjStateAnalyzingMovie;
  gCollected.expected = BZ_GetNumSelectedMovieSamples();
  ASSERT_EQ(gCollected.expected, 10);
  const SInt32 before = gRunsFinished;
  ASSERT_EQ(MPNotifyQueue(gBZ.mainTaskData.inputQueue, Word(kBZ_MainThreadTaskType), project_.get(),
                          Word(kBZ_RunProjectMessage)),
            noErr);
  EXPECT_EQ(PL_RunEventLoopUntil([&] { return gRunsFinished > before; }, kLimit), noErr);
  EXPECT_EQ(project_->state.error.load(), noErr);
  EXPECT_EQ(gCollected.frames.size(), 10u);
  EXPECT_TRUE(gBZ.dlgTaskData.detectedBlackBars);
  EXPECT_TRUE(gBZ.dlgTaskData.searchedWhiteLinePiece[0]);
  const Rect &edges = project_->info.statMovInfo[0].blackEdges;
  EXPECT_EQ(edges.top, 8);
  EXPECT_EQ(edges.bottom, 8);
  EXPECT_EQ(edges.left, 0);
  EXPECT_EQ(edges.right, 0);
}

// An analysis run with outlier removal alone: the real outlier stage hands its test frames to the frame
// analysis and reports the pixel difference and the changed share to the dialog (items 2513 and 2512).
std::vector<SInt16> gDialogItems;
OSStatus RecordDialogItem(EventHandlerCallRef callRef, EventRef event, void *) {
  SInt16 item = -1;
  GetEventParameter(event, kBZ_ItemEventParam, kBZ_ItemEventParam, nullptr, sizeof item, nullptr, &item);
  gDialogItems.push_back(item);
  return CallNextEventHandler(callRef, event);
}

TEST_F(EnginePipeline, AnalysisWithOutlierRemovalReportsItsDifference) {
  if (!bz_test::RequireFfmpeg()) return;
  bz_test::TempDir dir;
  const std::string path = dir.File("clip.mov");
  ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=s=64x48:r=25:d=2 -pix_fmt uyvy422 "
                                   "-c:v rawvideo -tag:v 2vuy " + bz_test::ShellQuote(path)));
  noCleaning_ = true;
  OpenSource(path, '2vuy', 64, 48);
  project_->info.settings.cleaning.ou.apply = true;
  BZ_OuDlgTaskData *ou = nullptr;
  ASSERT_EQ(BZ_OuInitDlgTaskData(&ou), noErr);
  gBZ.dlgTaskData.ouDlgTaskData = ou;
  BZ_SetStageEntryPoint(kBZ_OutlierTaskType, false, BZ_OutliersTask);
  BuildTable(kBZ_ProjStateAnalyzingMovie);
  ASSERT_NE(BZ_GetBufferInfoByStageType(project_->dynIO_Info.buffInfo, kBZ_OutlierTaskType, 0), nullptr);
  project_->state.exec = kBZ_ProjStateAnalyzingMovie;
  gCollected.expected = BZ_GetNumSelectedMovieSamples();
  gDialogItems.clear();
  static const EventTypeSpec kinds[] = {{kBZ_ProjEventClass, kBZ_SetValueInDialogEvent}};
  EventHandlerRef items = nullptr;
  ASSERT_EQ(InstallApplicationEventHandler(RecordDialogItem, 1, kinds, nullptr, &items), noErr);
  const SInt32 before = gRunsFinished;
  ASSERT_EQ(MPNotifyQueue(gBZ.mainTaskData.inputQueue, Word(kBZ_MainThreadTaskType), project_.get(),
                          Word(kBZ_RunProjectMessage)),
            noErr);
  EXPECT_EQ(PL_RunEventLoopUntil([&] { return gRunsFinished > before; }, kLimit), noErr);
  // The analysis tasks stay for the next run; the stages must be gone before the outlier record goes.
  EXPECT_EQ(PL_RunEventLoopUntil([&] { return BZ_AllSubTasksClosed(project_->dynIO_Info.buffInfo); }, kLimit), noErr);
  RemoveEventHandler(items);
  EXPECT_EQ(project_->state.error.load(), noErr);
  EXPECT_EQ(gCollected.frames.size(), size_t(gCollected.expected));
  EXPECT_NE(std::find(gDialogItems.begin(), gDialogItems.end(), 2513), gDialogItems.end());
  EXPECT_NE(std::find(gDialogItems.begin(), gDialogItems.end(), 2512), gDialogItems.end());
  gBZ.dlgTaskData.ouDlgTaskData = nullptr;
  BZ_OuDisposeDlgTaskDataRecord(&ou);
}

TEST_F(EnginePipeline, ADamagedSampleSizeEndsTheRunWithAnError) {
  bz_test::TempDir dir;
  const std::string path = dir.File("damaged.mov");
  bz_test::FixtureMovieSpec spec;
  spec.withSound = false;
  bz_test::FixtureMovieInfo written;
  ASSERT_EQ(bz_test::WriteFixtureMovie(path, spec, &written), noErr);
  // The sample table says every frame is 2 bytes short.
  std::vector<UInt8> bytes = bz_test::ReadWholeFile(path);
  const UInt8 tag[] = {'s', 't', 's', 'z'};
  auto at = std::search(bytes.begin(), bytes.end(), std::begin(tag), std::end(tag));
  ASSERT_NE(at, bytes.end());
  const size_t sizeField = size_t(at - bytes.begin()) + 8;
  const UInt32 constant = UInt32(bytes[sizeField]) << 24 | UInt32(bytes[sizeField + 1]) << 16 |
                          UInt32(bytes[sizeField + 2]) << 8 | bytes[sizeField + 3];
  const size_t patch = constant != 0 ? sizeField : sizeField + 8;  // the constant size, else the first entry
  const UInt32 shortSize = UInt32(spec.width * spec.height * 2 - 2);
  for (int k = 0; k < 4; ++k) bytes[patch + size_t(k)] = UInt8(shortSize >> (24 - 8 * k));
  ASSERT_TRUE(bz_test::WriteWholeFile(path, bytes));
  OpenSource(path, '2vuy', spec.width, spec.height);

  EXPECT_EQ(Execute(), kQT_AtomTableErr);
  EXPECT_TRUE(gCollected.frames.empty());
}

TEST_F(EnginePipeline, TheCacheServesARepeatedPreviewFrame) {
  bz_test::TempDir dir;
  const std::string path = dir.File("ours.mov");
  bz_test::FixtureMovieSpec spec;
  spec.frames = 30;
  spec.withSound = false;
  bz_test::FixtureMovieInfo written;
  ASSERT_EQ(bz_test::WriteFixtureMovie(path, spec, &written), noErr);
  OpenSource(path, '2vuy', spec.width, spec.height);
  MakeCache();
  BuildTable(kBZ_ProjStatePreviewing);

  ASSERT_EQ(Preview(27), noErr);
  for (SInt32 f : {26, 27, 28}) {
    ASSERT_EQ(gCollected.frames.count(f), 1u) << "frame " << f;
    EXPECT_EQ(PictureOf(gCollected.frames[f]), written.frames[size_t(f)]) << "frame " << f;
    EXPECT_EQ(gBZ.dlgTaskData.frameCacheInfo[f % kBZ_FrameCacheSize].frameNum, f);
  }

  // With the file closed nothing can be read: the frames must come from the cache.
  FSIORefNum &fork = project_->dynIO_Info.inputInfo[0].fileRefNum[0];
  FSCloseFork(fork);
  fork = 0;
  gCollected.frames.clear();
  ASSERT_EQ(Preview(27), noErr);
  for (SInt32 f : {26, 27, 28}) {
    ASSERT_EQ(gCollected.frames.count(f), 1u) << "frame " << f;
    EXPECT_EQ(PictureOf(gCollected.frames[f]), written.frames[size_t(f)]) << "frame " << f;
    EXPECT_EQ(gBZ.dlgTaskData.frameCacheInfo[f % kBZ_FrameCacheSize].needed, 0);
  }

  // Frames 1 to 3 share those slots: they are read again, and fail without their file.
  gCollected.frames.clear();
  EXPECT_EQ(Preview(2), kQT_DataRefIndexNotInMediaErr);
  EXPECT_TRUE(gCollected.frames.empty());
}

// ---- Drawn sources -------------------------------------------------------------------------------------------
// A source that is not read directly is opened for playback by the set-up of the run (BZ_OpenSourceFiles): its
// movie draws into a world over the copy stage's one buffer. What the application's handler of event 2000 does
// is done by the engine's handler: move the movie to the input's time and task it (BZ_SetSrcMovieTimeValue);
// the drawing-complete procedure advances the input and posts the buffer on.

// Counts the requests to draw and passes them on to the engine's handler.
std::atomic<SInt32> gDrawRequests{0};
OSStatus CountDrawFrame(EventHandlerCallRef callRef, EventRef event, void *) {
  ++gDrawRequests;
  return CallNextEventHandler(callRef, event);
}

class EngineDrawnPipeline : public EnginePipeline {
 protected:
  void SetUp() override {
    EnginePipeline::SetUp();
    gDrawRequests = 0;
    static const EventTypeSpec kinds[] = {{kBZ_ProjEventClass, kBZ_DrawFrameEvent}};
    ASSERT_EQ(InstallApplicationEventHandler(CountDrawFrame, 1, kinds, nullptr, &drawHandler_), noErr);
  }
  void TearDown() override {
    // The table's world goes with the table: the movie must not draw into it afterwards.
    if (source_.movie != nullptr) {
      SetMovieDrawingCompleteProc(source_.movie, movieDrawingCallAlways, nullptr, 0);
      SetMovieGWorld(source_.movie, nullptr, nullptr);
    }
    RemoveEventHandler(drawHandler_);
    EnginePipeline::TearDown();
  }

  // The world the movie draws into: over the copy stage's one buffer, of source 0's size.
  void ExpectDrawingIntoTheCopyBuffer(OSType format) {
    BZ_BuffInfo *copy = BZ_GetBufferInfoByStageType(project_->dynIO_Info.buffInfo, kBZ_CopyTaskType, 0);
    ASSERT_NE(copy, nullptr);
    ASSERT_EQ(copy->numFrameBuffers, 1) << "a drawn source has one buffer to draw into";
    GWorldPtr world = copy->frameBuffInfo[0].offscreen;
    ASSERT_NE(world, nullptr);
    CGrafPtr port = nullptr;
    GetMovieGWorld(source_.movie, &port, nullptr);
    EXPECT_EQ(port, world);
    PixMapHandle pm = GetGWorldPixMap(world);
    ASSERT_NE(pm, nullptr);
    EXPECT_EQ((**pm).pixelFormat, format);
    EXPECT_EQ(reinterpret_cast<UInt8 *>(GetPixBaseAddr(pm)), copy->ptr);
    EXPECT_EQ(QTGetPixMapHandleRequestedGammaLevel(pm), -1) << "the source's own gamma";
    const BZ_DynInputInfo &input = project_->dynIO_Info.inputInfo[0];
    EXPECT_TRUE(input.openedMovieForPlayback);
    EXPECT_EQ(input.rgbPlayback, format == k32ARGBPixelFormat);
    EXPECT_EQ(input.y420Playback, format == kYUV420PixelFormat);
  }

  // Makes the movie with ffmpeg and its reference pictures as ffmpeg decodes them, executes it `runs` times
  // (each on a table built anew, as a compressed output rebuilds it) and compares every frame of each run within
  // the tolerance: the mean absolute difference of luma and of chroma, and the share of bytes more than 8 apart.
  void RunAgainstFfmpeg(const std::string &encode, CodecType cType, SInt32 width, SInt32 height, SInt32 frames,
                        double maxMeanLuma, double maxMeanChroma, double maxFarShare, int runs = 1,
                        OSType world = k2vuyPixelFormat) {
    if (!bz_test::RequireFfmpeg()) return;
    bz_test::TempDir dir;
    const std::string path = dir.File("drawn.mov"), raw = dir.File("frames.uyvy");
    ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y " + encode + " " + bz_test::ShellQuote(path)));
    ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y -i " + bz_test::ShellQuote(path) +
                                     " -f rawvideo -pix_fmt uyvy422 " + bz_test::ShellQuote(raw)));
    const std::vector<UInt8> reference = bz_test::ReadWholeFile(raw);
    const std::vector<UInt8> before = bz_test::ReadWholeFile(path);
    OpenSource(path, cType, width, height);
    ASSERT_EQ(source_.numFrames, frames);

    for (int run = 0; run < runs; ++run) {
      SCOPED_TRACE("run " + std::to_string(run));
      gDrawRequests = 0;
      gCollected.order.clear();
      gCollected.frames.clear();
      EXPECT_EQ(Execute(), noErr);
      EXPECT_FALSE(project_->dynIO_Info.inputInfo[0].directRead);
      ExpectDrawingIntoTheCopyBuffer(world);
      EXPECT_EQ(gDrawRequests, frames);
      const size_t frameBytes = size_t(width) * size_t(height) * 2;
      ASSERT_EQ(reference.size(), frameBytes * size_t(frames));
      ASSERT_EQ(gCollected.order.size(), size_t(frames));
      for (SInt32 i = 0; i < frames; ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        EXPECT_EQ(gCollected.order[size_t(i)], i);
        const std::vector<UInt8> got = PictureOf(gCollected.frames[i]);
        ASSERT_EQ(got.size(), frameBytes);
        double sum[2] = {0, 0};
        size_t far = 0;
        for (size_t k = 0; k < frameBytes; ++k) {
          const int d = std::abs(int(got[k]) - int(reference[size_t(i) * frameBytes + k]));
          sum[k % 2] += d;  // byte 0 of a pair is chroma, byte 1 luma
          far += d > 8;
        }
        EXPECT_LE(sum[1] / (frameBytes / 2), maxMeanLuma);
        EXPECT_LE(sum[0] / (frameBytes / 2), maxMeanChroma);
        EXPECT_LE(double(far) / frameBytes, maxFarShare);
      }
    }
    EXPECT_EQ(bz_test::ReadWholeFile(path), before) << "the source is never written";
  }

  EventHandlerRef drawHandler_ = nullptr;
};

// The second run's table is a new one: the movie gets a world over its new buffer. DV PAL is 4:2:0: it is
// drawn as such and the copy task interpolates the chroma.
TEST_F(EngineDrawnPipeline, DvMovieIsDrawnWithinTheDecodeTolerance) {
  RunAgainstFfmpeg("-f lavfi -i testsrc2=s=720x576:r=25:d=0.16 -pix_fmt yuv420p -c:v dvvideo -flags +bitexact", 'dvcp',
                   720, 576, 4, 1.0, 2.0, 0.01, 2, kYUV420PixelFormat);
}

TEST_F(EngineDrawnPipeline, MotionJpegMovieIsDrawnWithinTheDecodeTolerance) {
  RunAgainstFfmpeg("-f lavfi -i testsrc2=s=64x48:r=25:d=0.2 -pix_fmt yuvj422p -c:v mjpeg -q:v 2", 'jpeg', 64, 48, 5,
                   1.0, 2.0, 0.01);
}

// A frame the movie cannot draw (its data cut off the file) ends the run with the drawing's error; the older
// picture left in the buffer never goes on as that frame.
TEST_F(EngineDrawnPipeline, AFrameThatCannotBeDrawnEndsTheRun) {
  if (!bz_test::RequireFfmpeg()) return;
  bz_test::TempDir dir;
  const std::string path = dir.File("cut.mov");
  // The movie atom first, so that cutting the file's end takes only picture data.
  ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=s=64x48:r=25:d=0.4 -pix_fmt yuvj422p "
                                   "-c:v mjpeg -q:v 2 -movflags +faststart " + bz_test::ShellQuote(path)));
  std::vector<UInt8> bytes = bz_test::ReadWholeFile(path);
  ASSERT_GT(bytes.size(), 4000u);
  OpenSource(path, 'jpeg', 64, 48);
  ASSERT_EQ(source_.numFrames, 10);
  // The last three frames' data is gone.
  bytes.resize(bytes.size() - 3 * (bytes.size() / 20));
  ASSERT_TRUE(bz_test::WriteWholeFile(path, bytes));

  EXPECT_NE(Execute(), noErr);
  EXPECT_NE(project_->state.error.load(), noErr);
  EXPECT_LT(gCollected.order.size(), 10u);
  for (size_t i = 0; i < gCollected.order.size(); ++i) EXPECT_EQ(gCollected.order[i], SInt32(i));
}

}  // namespace
