// Whole executions headless, the engine assembled by its installers alone (engine_wiring.h) as the
// application assembles it: start, read, copy, noise frames, write and save with sound, checked by our own
// reader and from outside with ffprobe/ffmpeg; and runs stopped by a cancel or a write error leave no target
// files.
#include "engine/closing_saving.h"
#include "engine/engine_wiring.h"
#include "engine/main_task.h"
#include "engine/project_start.h"
#include "engine/stage_table.h"
#include "engine/runtime/frame_selection.h"
#include "movie/image_descriptions.h"
#include "movie/movie_queries.h"
#include "movie/movie_time.h"
#include "platform/movie/movie_drawing.h"
#include "target_builder.h"
#include "support/task_check.h"

#include "platform/core/files.h"

#include <gtest/gtest.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>
#include <sys/stat.h>

namespace {
using namespace bz_test;
constexpr EventTimeout kLimit = 60;

enum class Stop { None, Cancel, WriteError };

struct RunResult {
  intptr_t code = -1;
  BZ_ExecuteState exec = kBZ_ProjStateReady;
  OSStatus save = noErr;
  OSStatus error = noErr;
};

// One execution of the whole engine over the fixture at dir/src.mov into dir/out.mov, the way the main thread
// drives it; a stopped run has its target files deleted as the main thread does.
RunResult RunProject(const TempDir &dir, const FixtureMovieSpec &spec, int workers, Stop stop, CodecType out = '2vuy') {
  RunResult r;
  FakeHome home(dir.path());
  CurrentProject project;
  RecordedHost host;
  host.Install();
  const ItemCount baseTasks = PL_MPLiveTaskCount();
  gBZ.numProcessors = ItemCount(workers);
  Movie src = nullptr;
  EXPECT_EQ(noErr, OpenMovieAtPath(dir.File("src.mov"), &src));
  BZ_StatMovInfo *movies = project.statMovInfo();
  SInt32 frames = 0;
  EXPECT_EQ(noErr, QT_CountMovieFrames(src, &frames, nullptr));
  // As the project dialog describes a movie it opens: codec and fields from its video description.
  Track srcTrack = QT_GetFirstEnabledVisualTrack(src);
  Media srcMedia = srcTrack != nullptr ? GetTrackMedia(srcTrack) : nullptr;
  EXPECT_NE(nullptr, srcMedia);
  ImageDescriptionHandle srcDesc = reinterpret_cast<ImageDescriptionHandle>(NewHandle(0));
  GetMediaSampleDescription(srcMedia, 1, reinterpret_cast<SampleDescriptionHandle>(srcDesc));
  const CodecType srcType = GetHandleSize(reinterpret_cast<Handle>(srcDesc)) > 0 ? (**srcDesc).cType : 0;
  DisposeHandle(reinterpret_cast<Handle>(srcDesc));
  DescribeSource(movies, 0, spec.height, spec.width, frames, srcType);
  Boolean hasFiel = false, interlaced = false, topFirst = false;
  EXPECT_EQ(noErr, QT_GetFielData(srcMedia, &hasFiel, &interlaced, &topFirst));
  movies[0].hasFielExt = hasFiel;
  movies[0].interlaced = interlaced;
  movies[0].topFieldFirst = topFirst;
  movies[0].hasOneSimpleVideoTrack = true;
  movies[0].numVisualTracks = QT_CountEnabledVisualTracks(src);
  movies[0].numDataRefIndexes = 1;
  movies[0].isVideoRange = true;
  movies[0].gamma = 2.2f;
  movies[0].movieTimeScale = GetMovieTimeScale(src);
  EXPECT_EQ(noErr, BZ_MakeMovieTimeList(src, &movies[0]));
  BZ_MakeDefaultProjSett(movies, &project->info.settings);
  BZ_CleaninSett &c = project->info.settings.cleaning;
  c.average.apply = c.noiseRed.apply = c.removeLogo.apply = c.crossLuma.apply = c.varBr.apply = c.ou.apply = false;
  project->info.settings.output.cType = out;
  project->info.settings.input.interlaced = interlaced;
  project->info.settings.input.topFieldFirst = topFirst;
  project->info.dynMovieInfo.sourceMovie[0] = src;
  project->info.srcFileData[0].fileRef = RefFor(dir.File("src.mov"));
  project->info.targetFileData[0].parentRef = RefFor(dir.path());
  project->info.targetFileData[0].fileName = Name("out.mov");

  MPSemaphoreID prf = nullptr;
  EXPECT_EQ(MPCreateSemaphore(1, 0, &prf), noErr);
  gBZ.dlgTaskData.prfSemaphore = prf;
  EventHandlerRef handler = nullptr;
  EXPECT_EQ(BZ_InstallEngineEventHandlers(&handler), noErr);
  BZ_InstallStageEntryPoints();
  EXPECT_EQ(MPCreateQueue(&gBZ.mainTaskData.termQueue), noErr);
  EXPECT_EQ(BZ_CreateMainTask(project.get()), noErr);
  EXPECT_EQ(BZ_CreateBuffers(), noErr);

  if (stop == Stop::WriteError) PL_FailWritesAfterBytes(SInt64(spec.width) * spec.height * 2 * spec.frames / 2);
  EXPECT_EQ(noErr, BZ_StartProject());
  if (stop == Stop::Cancel) {
    // Half-way: once half the picture bytes are in the target file.
    const std::string out = dir.File("out.mov");
    const auto half = std::uintmax_t(spec.width) * spec.height * spec.frames;
    PL_RunEventLoopUntil([&] {
      std::error_code ec;
      return std::filesystem::file_size(out, ec) >= half && !ec;
    }, kLimit);
    MPNotifyQueue(gBZ.mainTaskData.inputQueue, Word(kBZ_MainThreadTaskType), project.get(), Word(kBZ_CancelProjectMessage));
  }
  void *code = nullptr;
  EXPECT_EQ(noErr, PL_RunEventLoopUntil([&] { return MPWaitOnQueue(gBZ.mainTaskData.outputQueue, nullptr, nullptr, &code, kDurationImmediate) == noErr; }, kLimit));
  PL_FailWritesAfterBytes(-1);
  r.code = intptr_t(code);
  r.exec = project->state.exec.load();
  r.error = project->state.error;
  if (r.exec == kBZ_ProjStateFinished && r.code == 0)
    r.save = BZ_SaveTargetMovies(project.get());
  else
    BZ_DeleteProjectFiles(project.get());
  BZ_DisposeProject(nullptr);

  MPNotifyQueue(gBZ.mainTaskData.inputQueue, Word(kBZ_MainThreadTaskType), project.get(), Word(kBZ_AppQuitMessage));
  OSStatus err = eventLoopTimedOutErr;
  PL_RunEventLoopUntil([&] { return (err = BZ_WaitForMainTaskTermMessage(kDurationImmediate)) != kMPTimeoutErr; }, kLimit);
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
  return r;
}

class EndToEndWorkers : public ::testing::TestWithParam<int> {};

// The cleaned movie's sound as ffprobe sees it: the source's format, rate, channels and duration.
void ExpectSameSoundFormat(const std::string &src, const std::string &out) {
  auto a = ProbeStream(src, "a:0"), b = ProbeStream(out, "a:0");
  EXPECT_EQ(a["codec_name"], b["codec_name"]);
  EXPECT_EQ(a["sample_rate"], b["sample_rate"]);
  EXPECT_EQ(a["channels"], b["channels"]);
  EXPECT_EQ("2", b["channels"]);
  EXPECT_NEAR(std::stod(a["duration"]), std::stod(b["duration"]), 0.001);
}

TEST_P(EndToEndWorkers, TwoVuyWithSoundToTwoVuy) {
  TempDir dir;
  FixtureMovieSpec spec;
  spec.width = 320; spec.height = 240; spec.frames = 12;
  FixtureMovieInfo info;
  ASSERT_EQ(noErr, WriteFixtureMovie(dir.File("src.mov"), spec, &info));
  const auto srcBytes = ReadWholeFile(dir.File("src.mov"));
  RunResult r = RunProject(dir, spec, GetParam(), Stop::None);
  EXPECT_EQ(0, r.code);
  EXPECT_EQ(kBZ_ProjStateFinished, r.exec);
  EXPECT_EQ(noErr, r.save);
  EXPECT_TRUE(srcBytes == ReadWholeFile(dir.File("src.mov"))) << "the source movie was written";
  {
    // Our own reader first: the cleaned movie's samples are the source's pictures byte for byte.
    Movie cleaned = nullptr;
    ASSERT_EQ(noErr, OpenMovieAtPath(dir.File("out.mov"), &cleaned));
    Track track = QT_GetFirstEnabledVisualTrack(cleaned);
    EXPECT_TRUE(track != nullptr && MediaSamples(GetTrackMedia(track)) == info.frames);
    DisposeMovie(cleaned);
  }
  if (!RequireFfmpeg()) return;

  auto v = ProbeStream(dir.File("out.mov"), "v:0");
  EXPECT_EQ("rawvideo", v["codec_name"]);
  EXPECT_EQ(std::to_string(spec.width), v["width"]);
  EXPECT_EQ(std::to_string(spec.height), v["height"]);
  EXPECT_EQ(std::to_string(spec.frames), v["nb_frames"]);
  EXPECT_EQ("25/1", v["r_frame_rate"]);
  std::string all;
  for (const auto &f : info.frames) all.append(reinterpret_cast<const char *>(f.data()), f.size());
  EXPECT_TRUE(all == Decode(dir.File("out.mov"), "-map 0:v -f rawvideo -pix_fmt uyvy422"));
  ExpectSameSoundFormat(dir.File("src.mov"), dir.File("out.mov"));
  const std::string srcSound = Decode(dir.File("src.mov"), "-map 0:a -f s16le");
  EXPECT_FALSE(srcSound.empty());
  EXPECT_TRUE(srcSound == Decode(dir.File("out.mov"), "-map 0:a -f s16le"));
}

INSTANTIATE_TEST_SUITE_P(Workers, EndToEndWorkers, ::testing::Values(1, 2, 8));

// A run stopped half-way (cancel, or the disk filling under the writer) ends, leaves no target file and
// keeps the source as it was.
TEST(EndToEnd, StoppedRunsLeaveNoTarget) {
  for (Stop stop : {Stop::Cancel, Stop::WriteError}) {
    SCOPED_TRACE(stop == Stop::Cancel ? "cancel" : "write error");
    TempDir dir;
    FixtureMovieSpec spec;
    spec.width = 320; spec.height = 240; spec.frames = 120;
    FixtureMovieInfo info;
    ASSERT_EQ(noErr, WriteFixtureMovie(dir.File("src.mov"), spec, &info));
    const auto srcBytes = ReadWholeFile(dir.File("src.mov"));
    RunResult r = RunProject(dir, spec, 4, stop);
    if (stop == Stop::Cancel) {
      EXPECT_EQ(kBZ_ProjStateCanceled, r.exec);
    } else {
      EXPECT_EQ(dskFulErr, r.error);
      EXPECT_NE(kBZ_ProjStateFinished, r.exec);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.mov")));
    EXPECT_TRUE(srcBytes == ReadWholeFile(dir.File("src.mov")));
  }
}
// The same for a source drawn on the main thread, whose frames are pending in the main thread's events when
// the stop comes.
TEST(EndToEnd, StoppedDrawnRunsLeaveNoTarget) {
  if (!RequireFfmpeg()) return;
  TempDir source;
  ASSERT_EQ(0, RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=s=720x576:r=25:d=4 -pix_fmt yuv420p -c:v dvvideo " +
                          ShellQuote(source.File("src.mov"))));
  const auto srcBytes = ReadWholeFile(source.File("src.mov"));
  for (Stop stop : {Stop::Cancel, Stop::WriteError}) {
    SCOPED_TRACE(stop == Stop::Cancel ? "cancel" : "write error");
    TempDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.File("src.mov"), srcBytes));
    FixtureMovieSpec spec;
    spec.width = 720; spec.height = 576; spec.frames = 100;
    RunResult r = RunProject(dir, spec, 4, stop);
    if (stop == Stop::Cancel) {
      EXPECT_EQ(kBZ_ProjStateCanceled, r.exec);
    } else {
      EXPECT_EQ(dskFulErr, r.error);
      EXPECT_NE(kBZ_ProjStateFinished, r.exec);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.mov")));
    EXPECT_TRUE(srcBytes == ReadWholeFile(dir.File("src.mov")));
  }
}

// The compress stage in a whole run: PAL-sized pictures into DV, read back by ffmpeg close to the source.
TEST(EndToEnd, TwoVuyToDv) {
  if (!RequireFfmpeg()) return;
  TempDir dir;
  FixtureMovieSpec spec;
  spec.width = 720; spec.height = 576; spec.frames = 8;
  // A camera-like picture (ffmpeg's test card) rather than the line pattern, which no DV coder keeps close.
  ASSERT_EQ(0, RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=s=720x576:r=25:d=0.32 -f lavfi -i sine=r=48000:d=0.32 "
                          "-pix_fmt uyvy422 -c:v rawvideo -c:a pcm_s16be -ac 2 " + ShellQuote(dir.File("src.mov"))));
  RunResult r = RunProject(dir, spec, 4, Stop::None, 'dvc ');
  EXPECT_EQ(0, r.code);
  EXPECT_EQ(kBZ_ProjStateFinished, r.exec);
  EXPECT_EQ(noErr, r.save);
  auto v = ProbeStream(dir.File("out.mov"), "v:0");
  EXPECT_EQ("dvvideo", v["codec_name"]);
  EXPECT_EQ("720", v["width"]);
  EXPECT_EQ("576", v["height"]);
  EXPECT_EQ(std::to_string(spec.frames), v["nb_frames"]);
  std::string log;
  RunCommand("ffmpeg -v info -nostats -i " + ShellQuote(dir.File("out.mov")) + " -i " + ShellQuote(dir.File("src.mov")) +
                 " -map 0:v -map 1:v -lavfi \"[0:v]format=yuv422p[a];[1:v]format=yuv422p[b];[a][b]psnr\" -f null - 2>&1",
             &log);
  const auto at = log.find("average:");
  ASSERT_NE(std::string::npos, at) << log;
  const double psnr = std::atof(log.c_str() + at + 8);
  EXPECT_GE(psnr, 40.0) << log.substr(at, 80);
}

// Per frame of two equally long runs of 'uyvy' pictures: luma PSNR and the mean absolute differences of luma
// and chroma.
struct FrameDiff {
  double psnr = 0, meanLuma = 0, meanChroma = 0;
};
std::vector<FrameDiff> CompareFrames(const std::string &a, const std::string &b, size_t frameBytes) {
  std::vector<FrameDiff> diffs;
  if (a.size() != b.size() || frameBytes == 0) return diffs;
  for (size_t start = 0; start + frameBytes <= a.size(); start += frameBytes) {
    double sq = 0, sum[2] = {0, 0};
    for (size_t k = start; k < start + frameBytes; ++k) {
      const int d = int(UInt8(a[k])) - int(UInt8(b[k]));
      sum[k % 2] += std::abs(d);  // byte 0 of a pair is chroma, byte 1 luma
      if (k % 2 == 1) sq += double(d) * d;
    }
    const double pixels = double(frameBytes / 2);
    FrameDiff f;
    f.psnr = sq == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * pixels / sq);
    f.meanLuma = sum[1] / pixels;
    f.meanChroma = sum[0] / pixels;
    diffs.push_back(f);
  }
  return diffs;
}

// A DV source with sound, which is drawn frame by frame on the main thread, into DV: ffprobe sees the output as
// the source (codec, size, frame count and rate, field order, pixel aspect), ffmpeg's pictures of every output
// frame lie within one DV generation of the source's own, and the sound is the source's.
class EndToEndDvWorkers : public ::testing::TestWithParam<int> {};

TEST_P(EndToEndDvWorkers, DvWithSoundToDv) {
  if (!RequireFfmpeg()) return;
  TempDir dir;
  FixtureMovieSpec spec;
  spec.width = 720; spec.height = 576; spec.frames = 10;
  const std::string src = dir.File("src.mov"), out = dir.File("out.mov");
  // Interlaced bottom field first, 4:3 pixels: PAL DV as a camera records it.
  ASSERT_EQ(0, RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=s=720x576:r=25:d=0.4 -f lavfi -i sine=r=48000:d=0.4 "
                          "-vf setfield=bff,setsar=16/15 -pix_fmt yuv420p -flags +ildct+ilme -c:v dvvideo "
                          "-c:a pcm_s16be -ac 2 " + ShellQuote(src)));
  auto s = ProbeStream(src, "v:0");
  ASSERT_EQ("dvvideo", s["codec_name"]);
  ASSERT_EQ("10", s["nb_frames"]);
  const auto srcBytes = ReadWholeFile(src);

  RunResult r = RunProject(dir, spec, GetParam(), Stop::None, 'dvc ');
  EXPECT_EQ(0, r.code);
  EXPECT_EQ(kBZ_ProjStateFinished, r.exec);
  EXPECT_EQ(noErr, r.error);
  EXPECT_EQ(noErr, r.save);
  EXPECT_TRUE(srcBytes == ReadWholeFile(src)) << "the source movie was written";

  auto v = ProbeStream(out, "v:0");
  EXPECT_EQ("dvvideo", v["codec_name"]);
  EXPECT_EQ("720", v["width"]);
  EXPECT_EQ("576", v["height"]);
  EXPECT_EQ("10", v["nb_frames"]);
  EXPECT_EQ("10", v["nb_read_frames"]);
  EXPECT_EQ("25/1", v["r_frame_rate"]);
  EXPECT_EQ(s["field_order"], v["field_order"]);
  EXPECT_EQ("bt", v["field_order"]) << "bottom field first";
  EXPECT_EQ("16:15", v["sample_aspect_ratio"]);

  const std::string before = Decode(src, "-map 0:v -f rawvideo -pix_fmt uyvy422");
  const std::string after = Decode(out, "-map 0:v -f rawvideo -pix_fmt uyvy422");
  const size_t frameBytes = size_t(spec.width) * spec.height * 2;
  ASSERT_EQ(before.size(), frameBytes * 10);
  ASSERT_EQ(after.size(), before.size());
  const std::vector<FrameDiff> diffs = CompareFrames(before, after, frameBytes);
  ASSERT_EQ(diffs.size(), 10u);
  for (size_t i = 0; i < diffs.size(); ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    // One more DV generation (and the chroma taken to 4:2:2 and back): far closer than the neighbouring frame,
    // which lies at 26 dB and a mean luma difference near 3.
    EXPECT_GE(diffs[i].psnr, 45.0);
    EXPECT_LE(diffs[i].meanLuma, 0.5);
    EXPECT_LE(diffs[i].meanChroma, 1.0);
  }

  ExpectSameSoundFormat(src, out);
  const std::string srcSound = Decode(src, "-map 0:a -f s16le");
  EXPECT_FALSE(srcSound.empty());
  EXPECT_TRUE(srcSound == Decode(out, "-map 0:a -f s16le"));
}

INSTANTIATE_TEST_SUITE_P(Workers, EndToEndDvWorkers, ::testing::Values(1, 2, 8));
}  // namespace
