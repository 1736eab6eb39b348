// The noise-reduction stage in whole executions, headless: read, copy, noise reduction, write, on 1 and 8
// workers, over a testsrc2 clip with ffmpeg's temporal noise, measured against the clean truth.
#include "engine/closing_saving.h"
#include "engine/engine_wiring.h"
#include "engine/main_task.h"
#include "engine/project_start.h"
#include "engine/stage_table.h"
#include "engine/runtime/frame_selection.h"
#include "methods/noise_reduction_stage.h"
#include "methods/noise_tables.h"
#include "methods/spectral_windows.h"
#include "movie/movie_queries.h"
#include "platform/core/files.h"
#include "platform/movie/movie_drawing.h"
#include "support/task_check.h"
#include "target_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {
using namespace bz_test;
constexpr EventTimeout kLimit = 60;
constexpr int kWidth = 352, kHeight = 288;
constexpr size_t kFrameBytes = size_t(kWidth) * kHeight * 2;

struct NrRun {
  intptr_t code = -1;
  BZ_ExecuteState exec = kBZ_ProjStateReady;
  OSStatus error = noErr;
  OSStatus save = noErr;
  bool targetLeft = false;
};

struct NrOptions {
  int workers = 1;
  bool sse = false;
  bool interlaced = false;
  bool tablesReady = true;
  bool cancelWhileWaiting = false;
  std::function<void(BZ_Rn_Sett &)> settings;  // empty: no noise reduction at all
};

// The random tables of the process, built once from a fixed seed into a record of our own (a test project
// clears gBZ's pointer when it ends, so every run puts it back).
void UseTables() {
  static BZ_RnDlgTaskData *tables = nullptr;
  if (tables == nullptr) {
    gBZ.dlgTaskData.rnDlgTaskData = nullptr;
    ASSERT_EQ(BZ_RnInitDlgTaskData(&gBZ.dlgTaskData.rnDlgTaskData), noErr);
    ASSERT_EQ(BZ_InitVectorFloatStorage(&gBZ.dlgTaskData), noErr);
    BZ_RnSetNoiseTablesSeed(true, 2024);
    ASSERT_EQ(BZ_CreateNoiseTables(nullptr), noErr);
    BZ_RnSetNoiseTablesSeed(false, 0);
    tables = gBZ.dlgTaskData.rnDlgTaskData;
  }
  gBZ.dlgTaskData.rnDlgTaskData = tables;
}

// One execution of the engine over dir/src into dir/out.mov, as the main thread drives it; a run that did not
// finish has its target files deleted.
NrRun RunNr(const TempDir &dir, const std::string &source, const NrOptions &o) {
  NrRun r;
  FakeHome home(dir.path());
  CurrentProject project;
  RecordedHost host;
  host.Install();
  UseTables();
  host.dlgState.noiseTablesReady[1] = host.dlgState.noiseTablesReady[2] = o.tablesReady;
  const ItemCount baseTasks = PL_MPLiveTaskCount();
  const Boolean savedSse = gBZ.procInfo.hasSSE3;
  gBZ.procInfo.hasSSE3 = o.sse;
  gBZ.numProcessors = ItemCount(o.workers);
  Movie src = nullptr;
  EXPECT_EQ(noErr, OpenMovieAtPath(dir.File(source), &src));
  SInt32 frames = 0;
  EXPECT_EQ(noErr, QT_CountMovieFrames(src, &frames, nullptr));
  BZ_StatMovInfo *movies = project.statMovInfo();
  DescribeSource(movies, 0, kHeight, kWidth, frames, '2vuy');
  movies[0].videoDuration = GetMovieDuration(src);
  movies[0].avFrameDuration = float(GetMovieDuration(src)) / float(GetMovieTimeScale(src)) / float(frames);
  movies[0].hasOneSimpleVideoTrack = true;
  movies[0].numVisualTracks = 1;
  movies[0].numDataRefIndexes = 1;
  movies[0].isVideoRange = true;
  movies[0].gamma = 2.2f;
  movies[0].interlaced = o.interlaced;
  movies[0].topFieldFirst = o.interlaced;
  movies[0].movieTimeScale = GetMovieTimeScale(src);
  EXPECT_EQ(noErr, BZ_MakeMovieTimeList(src, &movies[0]));
  BZ_MakeDefaultProjSett(movies, &project->info.settings);
  BZ_CleaninSett &c = project->info.settings.cleaning;
  c.average.apply = c.noiseRed.apply = c.removeLogo.apply = c.crossLuma.apply = c.varBr.apply = c.ou.apply = false;
  if (o.settings) {
    c.noiseRed.apply = true;
    c.noiseRed.automatic = false;
    o.settings(c.noiseRed);
  }
  project->info.settings.output.cType = '2vuy';
  project->info.settings.input.interlaced = o.interlaced;
  project->info.settings.input.topFieldFirst = o.interlaced;
  project->info.dynMovieInfo.sourceMovie[0] = src;
  project->info.srcFileData[0].fileRef = RefFor(dir.File(source));
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
  EXPECT_EQ(noErr, BZ_StartProject());
  if (o.cancelWhileWaiting) {
    // The stage polls for the tables; give it a few rounds, then cancel as the user would.
    PL_RunEventLoopUntil([] { return false; }, 0.4);
    MPNotifyQueue(gBZ.mainTaskData.inputQueue, Word(kBZ_MainThreadTaskType), project.get(),
                  Word(kBZ_CancelProjectMessage));
  }
  void *code = nullptr;
  EXPECT_EQ(noErr, PL_RunEventLoopUntil([&] {
              return MPWaitOnQueue(gBZ.mainTaskData.outputQueue, nullptr, nullptr, &code, kDurationImmediate) == noErr;
            }, kLimit));
  r.code = intptr_t(code);
  r.exec = project->state.exec.load();
  r.error = project->state.error;
  if (r.exec == kBZ_ProjStateFinished && r.code == 0)
    r.save = BZ_SaveTargetMovies(project.get());
  else
    BZ_DeleteProjectFiles(project.get());
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
  gBZ.procInfo.hasSSE3 = savedSse;
  DisposeMovie(src);
  std::error_code ec;
  r.targetLeft = std::filesystem::exists(dir.File("out.mov"), ec);
  return r;
}

// Source clips: testsrc2 with ffmpeg's temporal noise as '2vuy', and the clean truth as raw 2vuy frames.
std::string MakeClip(const TempDir &dir, const std::string &name, int frames, const std::string &filter) {
  const std::string path = dir.File(name);
  EXPECT_EQ(0, RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=s=352x288:r=25 -frames:v " + std::to_string(frames) +
                          " -vf " + filter + " -pix_fmt uyvy422 -c:v rawvideo -tag:v 2vuy -f mov " + ShellQuote(path)));
  return path;
}

std::string CleanTruth(int frames) {
  std::string out;
  EXPECT_EQ(0, RunCommand("ffmpeg -v error -f lavfi -i testsrc2=s=352x288:r=25 -frames:v " + std::to_string(frames) +
                              " -pix_fmt uyvy422 -f rawvideo -",
                          &out));
  return out;
}

std::string Frames(const std::string &path) { return Decode(path, "-map 0:v -f rawvideo -pix_fmt uyvy422"); }

double LumaPsnr(const std::string &a, const std::string &b, size_t frame) {
  double sum = 0;
  size_t n = 0;
  for (size_t i = frame * kFrameBytes + 1; i < (frame + 1) * kFrameBytes; i += 2, ++n) {
    const double d = double(UInt8(a[i])) - double(UInt8(b[i]));
    sum += d * d;
  }
  return sum == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / (sum / double(n)));
}

double MeanLumaPsnr(const std::string &a, const std::string &b) {
  double total = 0;
  const size_t frames = std::min(a.size(), b.size()) / kFrameBytes;
  for (size_t f = 0; f < frames; ++f) total += LumaPsnr(a, b, f);
  return frames == 0 ? 0 : total / double(frames);
}

double MeanAbsDiff(const std::string &a, const std::string &b, size_t frame) {
  double sum = 0;
  for (size_t i = frame * kFrameBytes; i < (frame + 1) * kFrameBytes; ++i) sum += std::abs(int(UInt8(a[i])) - int(UInt8(b[i])));
  return sum / double(kFrameBytes);
}

auto Manual(bool horizontal, bool vertical, float y, float c) {
  return [=](BZ_Rn_Sett &s) {
    s.horizontal = horizontal;
    s.vertical = vertical;
    s.noiseLevel[0] = y;
    s.noiseLevel[1] = s.noiseLevel[2] = c;
  };
}

void ExpectFinished(const NrRun &r) {
  EXPECT_EQ(0, r.code);
  EXPECT_EQ(kBZ_ProjStateFinished, r.exec);
  EXPECT_EQ(noErr, r.error);
  EXPECT_EQ(noErr, r.save);
}

class NoiseReductionRun : public ::testing::TestWithParam<int> {
 protected:
  NrOptions Options(std::function<void(BZ_Rn_Sett &)> settings) const {
    NrOptions o;
    o.workers = GetParam();
    o.sse = GetParam() > 1;  // the SSE path on many workers, the scalar one on one
    o.settings = std::move(settings);
    return o;
  }
};

TEST_P(NoiseReductionRun, LineFiltersRaiseThePsnrAndAHigherLevelChangesMore) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  TempDir dir;
  const std::string src = MakeClip(dir, "src.mov", 12, "noise=alls=12:allf=t");
  const auto srcBytes = ReadWholeFile(src);
  const std::string truth = CleanTruth(12), noisy = Frames(src);
  ASSERT_EQ(truth.size(), 12 * kFrameBytes);
  const double before = MeanLumaPsnr(truth, noisy);

  struct Case {
    const char *name;
    bool horizontal, vertical;
  };
  for (const Case &c : {Case{"horizontal", true, false}, Case{"vertical", false, true}}) {
    SCOPED_TRACE(c.name);
    ExpectFinished(RunNr(dir, "src.mov", Options(Manual(c.horizontal, c.vertical, 18, 5))));
    const std::string at18 = Frames(dir.File("out.mov"));
    ASSERT_EQ(at18.size(), noisy.size());
    const double after = MeanLumaPsnr(truth, at18);
    std::printf("%s level 18: Y PSNR %.2f dB -> %.2f dB\n", c.name, before, after);
    EXPECT_GT(after, before + 1.0);
    // The last frame is filtered too, though no frame comes after it.
    EXPECT_GT(LumaPsnr(truth, at18, 11), LumaPsnr(truth, noisy, 11) + 1.0);

    ExpectFinished(RunNr(dir, "src.mov", Options(Manual(c.horizontal, c.vertical, 36, 5))));
    const std::string at36 = Frames(dir.File("out.mov"));
    EXPECT_GT(MeanAbsDiff(noisy, at36, 5), MeanAbsDiff(noisy, at18, 5)) << "a higher level removes more";
  }
  EXPECT_TRUE(srcBytes == ReadWholeFile(src)) << "the source was written";
}

TEST_P(NoiseReductionRun, BothDirectionsOffCopiesEveryByte) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  TempDir dir;
  MakeClip(dir, "src.mov", 6, "noise=alls=12:allf=t");
  NrOptions plain = Options({});
  ExpectFinished(RunNr(dir, "src.mov", plain));
  const auto without = ReadWholeFile(dir.File("out.mov"));
  std::filesystem::remove(dir.File("out.mov"));
  ExpectFinished(RunNr(dir, "src.mov", Options(Manual(false, false, 18, 5))));
  const std::string a = Frames(dir.File("out.mov"));
  ASSERT_FALSE(without.empty());
  const std::string withoutPath = dir.File("without.mov");
  {
    FILE *f = std::fopen(withoutPath.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(without.data(), 1, without.size(), f);
    std::fclose(f);
  }
  EXPECT_TRUE(a == Frames(withoutPath)) << "both off must give the no-method run's frames";
}

TEST_P(NoiseReductionRun, OneFrameMovieIsFilteredAndTheRunEnds) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  TempDir dir;
  const std::string src = MakeClip(dir, "one.mov", 1, "noise=alls=12:allf=t");
  const std::string truth = CleanTruth(1), noisy = Frames(src);
  const NrRun r = RunNr(dir, "one.mov", Options(Manual(true, false, 18, 5)));
  ExpectFinished(r);
  const std::string out = Frames(dir.File("out.mov"));
  ASSERT_EQ(out.size(), kFrameBytes);
  EXPECT_GT(LumaPsnr(truth, out, 0), LumaPsnr(truth, noisy, 0) + 1.0);
}

TEST_P(NoiseReductionRun, InterlacedClipIsFilteredWithinItsFields) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  TempDir dir;
  // The top field is flat, the bottom field noisy: filtered within its field, every top-field line keeps its
  // value exactly (a flat vector passes unchanged); a vector across both fields would carry the noise over.
  MakeClip(dir, "fields.mov", 3, "geq=lum='if(mod(Y\\,2)\\,100+40*random(0)-20\\,100)':cb=128:cr=128");
  for (bool interlaced : {true, false}) {
    SCOPED_TRACE(interlaced ? "interlaced" : "progressive");
    NrOptions o = Options(Manual(false, true, 18, 5));
    o.interlaced = interlaced;
    ExpectFinished(RunNr(dir, "fields.mov", o));
    const std::string out = Frames(dir.File("out.mov"));
    ASSERT_EQ(out.size(), 3 * kFrameBytes);
    SInt32 changed = 0;
    for (size_t f = 0; f < 3; ++f)
      for (int y = 0; y < kHeight; y += 2)
        for (int x = 0; x < kWidth; ++x) changed += UInt8(out[f * kFrameBytes + size_t(y) * kWidth * 2 + 2 * x + 1]) != 100;
    if (interlaced)
      EXPECT_EQ(changed, 0) << "top-field luma samples changed";
    else
      EXPECT_GT(changed, 1000) << "a progressive filter mixes the fields (the fixture must tell the two apart)";
  }
}

INSTANTIATE_TEST_SUITE_P(Workers, NoiseReductionRun, ::testing::Values(1, 8));

TEST(NoiseReductionRunErrors, OutOfRangeLevelsEndBeforeAnyFrame) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  TempDir dir;
  const std::string src = MakeClip(dir, "src.mov", 4, "noise=alls=12:allf=t");
  const auto srcBytes = ReadWholeFile(src);
  for (float level : {std::numeric_limits<float>::quiet_NaN(), 45.0f, -1.0f}) {
    SCOPED_TRACE(level);
    NrOptions o;
    o.workers = 4;
    o.settings = Manual(true, false, level, 5);
    const NrRun r = RunNr(dir, "src.mov", o);
    EXPECT_NE(kBZ_ProjStateFinished, r.exec);
    EXPECT_EQ(paramErr, r.error);
    EXPECT_FALSE(r.targetLeft) << "no target file stays";
  }
  EXPECT_TRUE(srcBytes == ReadWholeFile(src)) << "the source was written";
}

TEST(NoiseReductionRunErrors, BothDirectionsEndWithUnimplementedBeforeAnyFrame) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  TempDir dir;
  MakeClip(dir, "src.mov", 4, "noise=alls=12:allf=t");
  NrOptions o;
  o.workers = 2;
  o.settings = Manual(true, true, 18, 5);
  const NrRun r = RunNr(dir, "src.mov", o);
  EXPECT_NE(kBZ_ProjStateFinished, r.exec);
  EXPECT_EQ(unimpErr, r.error);
  EXPECT_FALSE(r.targetLeft);
}

TEST(NoiseReductionRunErrors, CancelWhileWaitingForTheRandomTablesEndsCleanly) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  TempDir dir;
  MakeClip(dir, "src.mov", 4, "noise=alls=12:allf=t");
  NrOptions o;
  o.workers = 2;
  o.settings = Manual(true, false, 18, 5);
  o.tablesReady = false;
  o.cancelWhileWaiting = true;
  const NrRun r = RunNr(dir, "src.mov", o);
  EXPECT_EQ(kBZ_ProjStateCanceled, r.exec);
  EXPECT_EQ(noErr, r.error);
  EXPECT_FALSE(r.targetLeft);
}

}  // namespace
