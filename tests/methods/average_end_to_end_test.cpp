// Averaging two captures through the whole engine, headless: ffmpeg makes two noisy captures of one test
// clip, the second displaced; an analysis run measures the shift and the weight, an execution averages the
// captures into a cleaner movie; sources that cannot be averaged end the run before any frame, leave no
// target and never change a source.
#include "engine/closing_saving.h"
#include "engine/engine_wiring.h"
#include "engine/main_task.h"
#include "engine/project_start.h"
#include "engine/runtime/frame_selection.h"
#include "engine/stage_table.h"
#include "methods/average_sources.h"
#include "methods/average_stage.h"
#include "movie/image_descriptions.h"
#include "movie/movie_queries.h"
#include "movie/movie_time.h"
#include "platform/movie/movie_drawing.h"
#include "platform/core/files.h"
#include "platform/core/memory.h"
#include "platform/movie/movie_toolbox.h"
#include "support/cf_check.h"
#include "support/engine_fixtures.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"
#include "support/task_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace {
using namespace bz_test;
constexpr EventTimeout kLimit = 120;
constexpr int kWidth = 352, kHeight = 288, kFrames = 12;

// ---- Fixtures -----------------------------------------------------------------------------------------------

// ffmpeg's test clip at 352 x 288, 12 frames, as uncompressed '2vuy'; `filters` come before the noise.
std::string MakeClip(const TempDir &dir, const std::string &name, const std::string &filters, int noiseSeed,
                     int frames = kFrames, const std::string &size = "352x288") {
  std::string chain = filters;
  if (noiseSeed >= 0) {
    if (!chain.empty()) chain += ",";
    chain += "noise=alls=12:allf=t:all_seed=" + std::to_string(noiseSeed);
  }
  const std::string path = dir.File(name);
  const std::string cmd = "ffmpeg -v error -y -f lavfi -i testsrc2=s=" + size + ":r=25 -frames:v " +
                          std::to_string(frames) + (chain.empty() ? "" : " -vf " + ShellQuote(chain)) +
                          " -pix_fmt uyvy422 -c:v rawvideo -tag:v 2vuy " + ShellQuote(path);
  EXPECT_EQ(RunCommand(cmd), 0) << cmd;
  return path;
}

std::string FileHash(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return std::to_string(std::hash<std::string>{}(bytes)) + ":" + std::to_string(bytes.size());
}

// Mean Y PSNR of a movie against the clean clip, 10 pixels at each side left out.
double LumaPsnr(const std::string &movie, const std::string &clean) {
  const auto a = DecodeVideoWithFfmpeg(movie, kWidth, kHeight), b = DecodeVideoWithFfmpeg(clean, kWidth, kHeight);
  EXPECT_EQ(a.size(), b.size());
  if (a.empty() || a.size() != b.size()) return 0.0;
  double sum = 0.0;
  for (size_t f = 0; f < a.size(); ++f) {
    double se = 0.0;
    long n = 0;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 10; x < kWidth - 10; ++x) {
        const double d = double(a[f][(size_t(y) * kWidth + x) * 2 + 1]) - b[f][(size_t(y) * kWidth + x) * 2 + 1];
        se += d * d;
        ++n;
      }
    sum += 10.0 * std::log10(255.0 * 255.0 / std::max(se / double(n), 1e-9));
  }
  return sum / double(a.size());
}

// ---- The engine headless --------------------------------------------------------------------------------------

// What the dialog would see: the values posted for its items, and the dialog's analysis state.
struct AveragingHost {
  std::mutex mutex;
  std::vector<std::pair<SInt16, float>> values;
  std::vector<std::string> logLines;
  BZ_ProjDlgState dlgState{};
  UInt32 autoSettCalc = 0, autoSettCalculated = 0;

  void Install() {
    BZ_EngineHost h = *BZ_GetPlainEngineHost();
    h.refCon = this;
    h.postCustomEvent = [](void *r, UInt32 kind, const BZ_EventParam *params, ItemCount numParams) {
      auto *self = static_cast<AveragingHost *>(r);
      if (kind == kBZ_SetValueInDialogEvent) {
        float value = NAN;
        SInt16 item = -1;
        for (ItemCount i = 0; i < numParams; ++i) {
          if (params[i].name == kBZ_ValueEventParam) value = *static_cast<const float *>(params[i].data);
          if (params[i].name == kBZ_ItemEventParam) item = *static_cast<const SInt16 *>(params[i].data);
        }
        std::lock_guard<std::mutex> lock(self->mutex);
        self->values.emplace_back(item, value);
        return OSStatus(noErr);
      }
      return BZ_PostProjEventToMainQueue(kind, params, numParams);
    };
    h.getDialogStatePtr = [](void *r) { return &static_cast<AveragingHost *>(r)->dlgState; };
    h.getAutoSettStage = [](void *r) {
      auto *self = static_cast<AveragingHost *>(r);
      const UInt32 wanted = self->autoSettCalc & ~self->autoSettCalculated;
      return wanted & (~wanted + 1);
    };
    h.setAutoSettCalculated = [](void *r) {
      auto *self = static_cast<AveragingHost *>(r);
      const UInt32 wanted = self->autoSettCalc & ~self->autoSettCalculated;
      self->autoSettCalculated |= wanted & (~wanted + 1);
    };
    h.setProjectMessageInLog = [](void *r, CFStringRef t) {
      auto *self = static_cast<AveragingHost *>(r);
      std::lock_guard<std::mutex> lock(self->mutex);
      self->logLines.push_back(CFText(t));
      return OSStatus(noErr);
    };
    BZ_SetEngineHost(&h);
  }
  std::vector<std::pair<SInt16, float>> Values() {
    std::lock_guard<std::mutex> lock(mutex);
    return values;
  }
};

void Describe(BZ_StatMovInfo *info, int fileNum, Movie movie) {
  SInt32 frames = 0;
  EXPECT_EQ(noErr, QT_CountMovieFrames(movie, &frames, nullptr));
  Track track = QT_GetFirstEnabledVisualTrack(movie);
  Media media = track != nullptr ? GetTrackMedia(track) : nullptr;
  ImageDescriptionHandle desc = reinterpret_cast<ImageDescriptionHandle>(NewHandle(0));
  if (media != nullptr) GetMediaSampleDescription(media, 1, reinterpret_cast<SampleDescriptionHandle>(desc));
  const bool described = GetHandleSize(reinterpret_cast<Handle>(desc)) > 0;
  DescribeSource(info, fileNum, described ? (**desc).height : 0, described ? (**desc).width : 0, frames,
                 described ? (**desc).cType : 0);
  DisposeHandle(reinterpret_cast<Handle>(desc));
  BZ_StatMovInfo &m = info[fileNum];
  m.videoDuration = GetMovieDuration(movie);
  if (frames > 0) m.avFrameDuration = float(GetMovieDuration(movie)) / float(GetMovieTimeScale(movie)) / float(frames);
  m.hasOneSimpleVideoTrack = true;
  m.numVisualTracks = QT_CountEnabledVisualTracks(movie);
  m.numDataRefIndexes = 1;
  m.isVideoRange = true;
  m.gamma = 2.2f;
  m.movieTimeScale = GetMovieTimeScale(movie);
  EXPECT_EQ(noErr, BZ_MakeMovieTimeList(movie, &m));
}

struct RunResult {
  OSStatus error = noErr;
  BZ_ExecuteState exec = kBZ_ProjStateReady;
  std::vector<std::pair<SInt16, float>> posted;
  double shift = NAN, weight = NAN;  // the averaging settings after the run
  std::vector<std::string> logLines;
};

enum class RunKind { kAnalysis, kExecution };

// One run over movie1 and movie2 (paths) into dir/out.mov with `workers` workers. A failed execution has its
// target files deleted, as the main thread does.
RunResult RunAveraging(const TempDir &dir, const std::string &movie1, const std::string &movie2, RunKind kind,
                       int workers, double shift, double weight) {
  RunResult r;
  FakeHome home(dir.path());
  CurrentProject project;
  AveragingHost host;
  host.Install();
  BZ_AvDlgTaskData *avData = nullptr;
  EXPECT_EQ(BZ_AvInitDlgTaskData(&avData), noErr);
  gBZ.dlgTaskData.avDlgTaskData = avData;
  const ItemCount baseTasks = PL_MPLiveTaskCount();
  gBZ.numProcessors = ItemCount(workers);

  Movie movies[2] = {nullptr, nullptr};
  const std::string paths[2] = {movie1, movie2};
  BZ_StatMovInfo *info = project.statMovInfo();
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(noErr, OpenMovieAtPath(paths[i], &movies[i]));
    Describe(info, i, movies[i]);
    project->info.dynMovieInfo.sourceMovie[i] = movies[i];
    project->info.srcFileData[i].fileRef = RefFor(paths[i]);
  }
  BZ_MakeDefaultProjSett(info, &project->info.settings);
  BZ_CleaninSett &c = project->info.settings.cleaning;
  c.noiseRed.apply = c.removeLogo.apply = c.crossLuma.apply = c.varBr.apply = c.ou.apply = false;
  c.average.apply = true;
  c.average.shift = shift;
  c.average.weight = weight;
  project->info.settings.output.cType = '2vuy';
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

  if (kind == RunKind::kAnalysis) {
    host.autoSettCalc = kBZ_AvAutoSettStage;
    EXPECT_EQ(noErr, BZ_OpenSourceFiles());
    project->state.exec = kBZ_ProjStateAnalyzingMovie;
    project->state.subExec = kBZ_ProjSubStateCalcAutoSett;
    MPNotifyQueue(gBZ.mainTaskData.inputQueue, Word(kBZ_MainThreadTaskType), project.get(),
                  Word(kBZ_RunProjectMessage));
    // The run is over once the averaging stage is done and the main task has reported it.
    EXPECT_EQ(noErr, PL_RunEventLoopUntil([&] {
      return host.autoSettCalculated != 0 || project->state.error != noErr || project->state.exec == kBZ_ProjStateReady;
    }, kLimit));
    PL_RunEventLoopUntil([&] { return BZ_AllSubTasksClosed(project->dynIO_Info.buffInfo); }, kLimit);
  } else {
    EXPECT_EQ(noErr, BZ_StartProject());
    void *code = nullptr;
    EXPECT_EQ(noErr, PL_RunEventLoopUntil([&] {
      return MPWaitOnQueue(gBZ.mainTaskData.outputQueue, nullptr, nullptr, &code, kDurationImmediate) == noErr;
    }, kLimit));
    if (project->state.exec == kBZ_ProjStateFinished && FromWord(code) == 0)
      EXPECT_EQ(noErr, BZ_SaveTargetMovies(project.get()));
    else
      BZ_DeleteProjectFiles(project.get());
  }
  r.error = project->state.error;
  r.exec = project->state.exec.load();
  r.posted = host.Values();
  r.shift = c.average.shift;
  r.weight = c.average.weight;
  r.logLines = host.logLines;
  BZ_DisposeProject(nullptr);
  // The analysis tasks an analysis run made would live on until the movie goes.
  BZ_DlgTaskData &d = gBZ.dlgTaskData;
  for (MP_TaskData *t : {&d.whiteLineTaskData, &d.blackBarsTaskData, &d.noiseLevelTaskData, &d.frameDiffTaskData})
    MP_TerminateTask(t, true, noErr);

  MPNotifyQueue(gBZ.mainTaskData.inputQueue, Word(kBZ_MainThreadTaskType), project.get(), Word(kBZ_AppQuitMessage));
  OSStatus err = eventLoopTimedOutErr;
  PL_RunEventLoopUntil([&] { return (err = BZ_WaitForMainTaskTermMessage(kDurationImmediate)) != kMPTimeoutErr; },
                       kLimit);
  PL_RunEventLoopUntil([&] { return PL_MPLiveTaskCount() == baseTasks; }, kLimit);
  MP_DeleteQueue(&gBZ.mainTaskData.termQueue);
  gBZ.mainTaskData.~MP_TaskData();
  new (&gBZ.mainTaskData) MP_TaskData{};
  prf = gBZ.dlgTaskData.prfSemaphore.exchange(nullptr);
  MP_DeleteSemaphore(&prf);
  RemoveEventHandler(handler);
  FlushEventQueue(GetMainEventQueue());
  gBZ.numProcessors = 0;
  gBZ.dlgTaskData.avDlgTaskData = nullptr;
  BZ_AvDisposeDlgTaskData(&avData);
  for (Movie m : movies) DisposeMovie(m);
  return r;
}

float Posted(const RunResult &r, SInt16 item) {
  for (const auto &v : r.posted)
    if (v.first == item) return v.second;
  return NAN;
}

// ---- Tests ----------------------------------------------------------------------------------------------------

// Two captures, the second displaced 2 pixels to the right: the analysis finds the shift that lines it up
// and equal weights; averaging with them beats either capture by close to 3 dB; 1 and 8 workers agree.
TEST(AverageEndToEnd, MeasuresThenAveragesTwoCaptures) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  TempDir dir;
  const std::string clean = MakeClip(dir, "clean.mov", "", -1);
  const std::string cap1 = MakeClip(dir, "cap1.mov", "", 1);
  const std::string cap2 = MakeClip(dir, "cap2.mov", "crop=350:288:0:0,pad=352:288:2:0", 2);
  const std::string hash1 = FileHash(cap1), hash2 = FileHash(cap2);

  RunResult analysis = RunAveraging(dir, cap1, cap2, RunKind::kAnalysis, 8, 0.0, 0.5);
  ASSERT_EQ(analysis.error, noErr);
  EXPECT_NEAR(Posted(analysis, kBZ_AvShiftItem), -2.0f, 0.1f);
  EXPECT_NEAR(Posted(analysis, kBZ_AvWeightItem), 0.5f, 0.05f);
  EXPECT_NEAR(analysis.shift, Posted(analysis, kBZ_AvShiftItem), 1e-6) << "stored in the settings";
  EXPECT_NEAR(analysis.weight, Posted(analysis, kBZ_AvWeightItem), 1e-6);

  std::vector<std::vector<std::vector<uint8_t>>> outputs;
  for (int workers : {1, 8}) {
    SCOPED_TRACE(::testing::Message() << workers << " workers");
    RunResult run = RunAveraging(dir, cap1, cap2, RunKind::kExecution, workers, analysis.shift, analysis.weight);
    ASSERT_EQ(run.error, noErr);
    outputs.push_back(DecodeVideoWithFfmpeg(dir.File("out.mov"), kWidth, kHeight));
    EXPECT_EQ(outputs.back().size(), size_t(kFrames));
    if (workers == 8) {
      const double averaged = LumaPsnr(dir.File("out.mov"), clean);
      const double psnr1 = LumaPsnr(cap1, clean), psnr2 = LumaPsnr(cap2, clean);
      std::printf("Y PSNR: capture 1 %.2f dB, capture 2 %.2f dB, averaged %.2f dB\n", psnr1, psnr2, averaged);
      // Capture 2 lost its left 2 columns to the displacement; the comparison leaves 10 out at each side.
      EXPECT_GE(averaged, psnr1 + 2.5);
      EXPECT_GE(averaged, psnr2 + 2.5);
    }
  }
  EXPECT_TRUE(outputs[0] == outputs[1]) << "1 and 8 workers give the same bytes";
  EXPECT_EQ(FileHash(cap1), hash1);
  EXPECT_EQ(FileHash(cap2), hash2);
}

// Half a pixel, made through a source of twice the width: crop one column, pad, scale to half.
TEST(AverageEndToEnd, MeasuresAHalfPixelShift) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  TempDir dir;
  const std::string cap1 = MakeClip(dir, "cap1.mov", "scale=352:288", 1, kFrames, "704x288");
  const std::string cap2 = MakeClip(dir, "cap2.mov", "format=yuv444p,crop=703:288:0:0,pad=704:288:1:0,scale=352:288", 2, kFrames,
                                    "704x288");
  RunResult analysis = RunAveraging(dir, cap1, cap2, RunKind::kAnalysis, 4, 0.0, 0.5);
  ASSERT_EQ(analysis.error, noErr);
  EXPECT_NEAR(Posted(analysis, kBZ_AvShiftItem), -0.5f, 0.15f);
}

// Runs that cannot average end before any frame with their error, leave no target file and no source
// changed; a shorter second movie gives a shorter output without hanging.
TEST(AverageEndToEnd, RefusedRunsAndAShorterSecondMovie) {
  if (!RequireFfmpeg()) GTEST_SKIP();
  TempDir dir;
  const std::string cap1 = MakeClip(dir, "cap1.mov", "", 1);
  const std::string cap2 = MakeClip(dir, "cap2.mov", "", 2);
  const std::string small = MakeClip(dir, "small.mov", "", 3, kFrames, "320x240");
  const std::string shorter = MakeClip(dir, "short.mov", "", 4, 8);
  struct Case {
    const char *name;
    std::string movie2;
    double shift;
    OSStatus error;
  };
  const Case cases[] = {
      {"second movie of another size", small, 0.0, kBZ_DiffDimensionsErr},
      {"damaged shift setting", cap2, 11.0, paramErr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string hash1 = FileHash(cap1), hash2 = FileHash(c.movie2);
    RunResult run = RunAveraging(dir, cap1, c.movie2, RunKind::kExecution, 4, c.shift, 0.5);
    EXPECT_EQ(run.error, c.error);
    EXPECT_FALSE(Exists(dir.File("out.mov"))) << "no target file is left";
    EXPECT_EQ(FileHash(cap1), hash1);
    EXPECT_EQ(FileHash(c.movie2), hash2);
  }

  RunResult run = RunAveraging(dir, cap1, shorter, RunKind::kExecution, 4, 0.0, 0.5);
  ASSERT_EQ(run.error, noErr);
  EXPECT_EQ(DecodeVideoWithFfmpeg(dir.File("out.mov"), kWidth, kHeight).size(), 8u);
  bool logged = false;
  for (const std::string &line : run.logLines) logged |= line.find("4 frames of movie 1") != std::string::npos;
  EXPECT_TRUE(logged) << "the log says how many frames were left out";
}

}  // namespace
