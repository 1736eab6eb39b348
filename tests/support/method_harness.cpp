// Headless whole runs for the method tests (see method_harness.h).
#include "support/method_harness.h"

#include "engine/closing_saving.h"
#include "engine/engine_wiring.h"
#include "engine/main_task.h"
#include "engine/project_start.h"
#include "engine/runtime/engine_host.h"
#include "engine/runtime/frame_selection.h"
#include "engine/runtime/project_settings.h"
#include "engine/runtime/stage_access.h"
#include "engine/stage_table.h"
#include "methods/logo_params.h"
#include "methods/noise_reduction_stage.h"
#include "methods/noise_tables.h"
#include "methods/spectral_windows.h"
#include "outliers/outlier_edit_lists.h"
#include "movie/movie_queries.h"
#include "movie/movie_time.h"
#include "platform/core/cf_string.h"
#include "platform/core/files.h"
#include "platform/core/memory.h"
#include "platform/movie/movie_toolbox.h"
#include "support/engine_fixtures.h"
#include "support/file_fixtures.h"
#include "support/movie_fixtures.h"
#include "support/task_check.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <new>

namespace bz_test {
namespace {

constexpr EventTimeout kLimit = 120;  // seconds; a run that takes longer has hung

// The dialog's and the shell's answers during a run, and what the main thread was told.
struct HarnessHost {
  BZ_AppPrefs prefs{};
  BZ_ProjDlgState dlgState{};
  std::atomic<UInt32> autoSettCalc{0};
  std::atomic<UInt32> autoSettCalculated{0};
  SInt32 previewFrame = 0;
  BZ_PreviewData *previewData = nullptr;
  bool keepOutlierEdits = false;
  bool showFrames = false;
  MethodRunResult *result = nullptr;  // main thread only
  BZ_ProjPtr project = nullptr;
  bool analysing = false;
  bool statisticsStep = true;
  std::mutex logMutex;  // the log is written from the tasks

  UInt32 Pending() const { return autoSettCalc & ~autoSettCalculated; }

  void Install() {
    prefs.copySound = true;
    prefs.maxIRE = 120;
    BZ_EngineHost h{};
    h.refCon = this;
    h.getAppPrefs = [](void *r, BZ_AppPrefs *p) { *p = static_cast<HarnessHost *>(r)->prefs; };
    h.getDialogStatePtr = [](void *r) { return &static_cast<HarnessHost *>(r)->dlgState; };
    h.getAutoSettStage = [](void *r) {
      const UInt32 pending = static_cast<HarnessHost *>(r)->Pending();
      return pending & (0u - pending);
    };
    h.setAutoSettCalculated = [](void *r) {
      auto *self = static_cast<HarnessHost *>(r);
      const UInt32 pending = self->Pending();
      self->autoSettCalculated |= pending & (0u - pending);
    };
    h.getPreviewFrameNum = [](void *r) { return static_cast<HarnessHost *>(r)->previewFrame; };
    // As the dialog answers: logo removal through a mask is valid too when the logo method holds a mask or a
    // mask file (the plain host knows none).
    h.getValidSelectedProcessTypes = [](void *, const BZ_CleaninSett *cleaning, UInt32 *types) {
      OSStatus err = BZ_GetPlainEngineHost()->getValidSelectedProcessTypes(nullptr, cleaning, types);
      const BZ_RlDlgTaskData *logo = gBZ.dlgTaskData.rlDlgTaskData;
      if (err == noErr && cleaning != nullptr && cleaning->removeLogo.apply && logo != nullptr &&
          (logo->isMaskPixel != nullptr || !IsZeroRef(logo->maskFile)))
        *types |= kBZ_RlTypeFlag;
      return err;
    };
    h.setProjectMessageInLog = [](void *r, CFStringRef text) {
      auto *self = static_cast<HarnessHost *>(r);
      char line[512] = {};
      if (text != nullptr) CFStringGetCString(text, line, sizeof line, kCFStringEncodingUTF8);
      std::lock_guard<std::mutex> lock(self->logMutex);
      self->result->logLines.push_back(line);
      return OSStatus(noErr);
    };
    h.showError = [](void *, OSStatus) {};
    h.getProgressBar = [](void *, SInt32 *v, SInt32 *m) {
      *v = 0;
      *m = 1000;
      return OSStatus(noErr);
    };
    h.setProgressBarValue = [](void *, SInt32) {};
    h.setProgressText = [](void *, SInt32, CFStringRef) {};
    h.showsProgressFrames = [](void *r) { return Boolean(static_cast<HarnessHost *>(r)->showFrames); };
    if (previewData != nullptr)
      h.getPreviewDataPtr = [](void *r) { return static_cast<HarnessHost *>(r)->previewData; };
    if (keepOutlierEdits)
      h.saveOutlierEditListFinalDontAsk = [](void *, BZ_OuDlgTaskData *ou) {
        return ou != nullptr ? BZ_SaveOutlierEditListFinalDontAsk(ou) : OSStatus(noErr);
      };
    BZ_SetEngineHost(&h);
  }
};

HarnessHost *gHarness = nullptr;

// The stage that waits on its semaphore for the main thread's logo work.
void SignalLogoStage() {
  if (gBZ.project == nullptr) return;
  BZ_BuffInfo *logo = BZ_GetBufferInfoByStageType(gBZ.project->dynIO_Info.buffInfo, kBZ_RlTaskType, 0);
  if (logo != nullptr && logo->semaphore != nullptr) MPSignalSemaphore(logo->semaphore);
}

BZ_RlParams *RlParamsOf(EventRef event) {
  BZ_RlParams *params = nullptr;
  GetEventParameter(event, kBZ_RlParamsEventParam, kBZ_RlParamsEventParam, nullptr, sizeof params, nullptr, &params);
  return params;
}

void KeepError(OSStatus err) {
  if (err != noErr && gBZ.project != nullptr) BZ_KeepFirstError(gBZ.project, err);
}

// The shell's part of the methods' events, the progress frames, and the steps between analysis runs.
OSStatus HandleMethodEvent(EventHandlerCallRef callRef, EventRef event, void *) {
  HarnessHost *h = gHarness;
  if (h == nullptr || GetEventClass(event) != kBZ_ProjEventClass) return eventNotHandledErr;
  MethodEventRoutines &routines = MethodRoutines();
  switch (GetEventKind(event)) {
    case kBZ_SetValueInDialogEvent: {
      float value = 0;
      SInt16 item = 0;
      GetEventParameter(event, kBZ_ValueEventParam, kBZ_ValueEventParam, nullptr, sizeof value, nullptr, &value);
      GetEventParameter(event, kBZ_ItemEventParam, kBZ_ItemEventParam, nullptr, sizeof item, nullptr, &item);
      h->result->dialogValues.emplace_back(item, value);
      return noErr;
    }
    case kBZ_SetValueRelevantDigitsInDialogEvent: {
      float value = 0;
      SInt16 item = 0;
      SInt32 digits = 0;
      GetEventParameter(event, kBZ_ValueEventParam, kBZ_ValueEventParam, nullptr, sizeof value, nullptr, &value);
      GetEventParameter(event, kBZ_ItemEventParam, kBZ_ItemEventParam, nullptr, sizeof item, nullptr, &item);
      GetEventParameter(event, kBZ_PrecisionEventParam, kBZ_PrecisionEventParam, nullptr, sizeof digits, nullptr,
                        &digits);
      h->result->relevantDigitValues.emplace_back(item, value, digits);
      return noErr;
    }
    case kBZ_GetFadeFrameNumbersEvent: {
      // Always signalled, also after a failure: the stage must not wait forever (it reads the error).
      KeepError(routines.getFadeFrameNumbers ? routines.getFadeFrameNumbers(RlParamsOf(event)) : noErr);
      SignalLogoStage();
      return noErr;
    }
    case kBZ_SetLogoMaskPicEvent:
      KeepError(routines.setLogoMaskPic ? routines.setLogoMaskPic(RlParamsOf(event)) : noErr);
      SignalLogoStage();
      return noErr;
    case kBZ_SetLogoTransparencyEvent:
      KeepError(routines.setLogoTransparency ? routines.setLogoTransparency() : noErr);
      return noErr;
    case kBZ_DrawNoiseSpectrEvent:
      KeepError(routines.drawNoiseSpectr ? routines.drawNoiseSpectr(event) : noErr);
      return noErr;
    case kBZ_ShowProgressFrameEvent: {
      BZ_FrameBuffInfo *info = nullptr;
      GetEventParameter(event, kBZ_FrameBuffInfoEventParam, kBZ_FrameBuffInfoEventParam, nullptr, sizeof info, nullptr,
                        &info);
      if (info != nullptr) h->result->shownFrames.push_back(info->frameNum);
      // Drawn: the stage may let the frame go, and the next one is due.
      if (h->project != nullptr) {
        h->project->progress.show = true;
        BZ_BuffInfo *display = BZ_GetDisplayBuffer(h->project);
        if (display != nullptr && display->event != nullptr) MPSetEvent(display->event, kBZ_DisplayDecompressDoneFlag);
      }
      return noErr;
    }
    case kBZ_StartMovieAnalysisEvent:
      // The next automatic-settings stage, as the dialog starts it.
      if (h->project != nullptr && h->analysing && (h->Pending() != 0 || h->statisticsStep)) {
        h->project->state.exec = kBZ_ProjStateAnalyzingMovie;
        h->project->state.subExec = kBZ_ProjSubStateCalcAutoSett;
        MPNotifyQueue(gBZ.mainTaskData.inputQueue, BZ_Word(kBZ_MainThreadTaskType), h->project,
                      BZ_Word(kBZ_RunProjectMessage));
      }
      return noErr;
    case kBZ_ProjectRunFinishedEvent:
      ++h->result->runsFinished;
      return CallNextEventHandler(callRef, event);
    default:
      return eventNotHandledErr;
  }
}

constexpr EventTypeSpec kHarnessEvents[] = {
    {kBZ_ProjEventClass, kBZ_SetValueInDialogEvent},     {kBZ_ProjEventClass, kBZ_SetValueRelevantDigitsInDialogEvent},
    {kBZ_ProjEventClass, kBZ_GetFadeFrameNumbersEvent},  {kBZ_ProjEventClass, kBZ_SetLogoMaskPicEvent},
    {kBZ_ProjEventClass, kBZ_SetLogoTransparencyEvent},  {kBZ_ProjEventClass, kBZ_DrawNoiseSpectrEvent},
    {kBZ_ProjEventClass, kBZ_ShowProgressFrameEvent},    {kBZ_ProjEventClass, kBZ_StartMovieAnalysisEvent},
    {kBZ_ProjEventClass, kBZ_ProjectRunFinishedEvent},
};

// A source described as the project dialog describes a movie it opens: codec, size and fields from its video
// description, frames evenly spaced for MPEG kinds, counted for the others.
void DescribeOpenedSource(Movie src, BZ_StatMovInfo *sources, int fileNum) {
  BZ_StatMovInfo *movies = sources + fileNum;
  Track srcTrack = QT_GetFirstEnabledVisualTrack(src);
  Media srcMedia = srcTrack != nullptr ? GetTrackMedia(srcTrack) : nullptr;
  EXPECT_NE(nullptr, srcMedia);
  ImageDescriptionHandle srcDesc = reinterpret_cast<ImageDescriptionHandle>(NewHandle(0));
  GetMediaSampleDescription(srcMedia, 1, reinterpret_cast<SampleDescriptionHandle>(srcDesc));
  const bool described = GetHandleSize(reinterpret_cast<Handle>(srcDesc)) > 0;
  const CodecType srcType = described ? (**srcDesc).cType : 0;
  const SInt32 height = described ? (**srcDesc).height : 0, width = described ? (**srcDesc).width : 0;
  DisposeHandle(reinterpret_cast<Handle>(srcDesc));
  // A movie time scale that cannot hold the frames' times takes the media's (600 units or more).
  const TimeScale mediaScale = srcMedia != nullptr ? GetMediaTimeScale(srcMedia) : 0;
  if (mediaScale >= 600 && GetMovieTimeScale(src) % mediaScale != 0) SetMovieTimeScale(src, mediaScale);
  SInt32 frames = 0;
  if (srcType == 'm2v ' || srcType == 'm1v ') {
    EXPECT_EQ(noErr, QT_GetMpegInfo(src, &movies[0].isPAL, &frames, &movies[0].frameDuration, &movies[0].frameDurationF));
  } else {
    EXPECT_EQ(noErr, QT_CountMovieFrames(src, &frames, nullptr));
  }
  DescribeSource(sources, fileNum, height, width, frames, srcType);
  movies[0].videoDuration = GetMovieDuration(src);
  if (frames > 0)
    movies[0].avFrameDuration = float(GetMovieDuration(src)) / float(GetMovieTimeScale(src)) / float(frames);
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
}

// The frame-analysis tasks are kept between runs; a test leaves none behind.
void EndAnalysisTasks() {
  BZ_DlgTaskData &dlg = gBZ.dlgTaskData;
  for (MP_TaskData *task : {&dlg.whiteLineTaskData, &dlg.blackBarsTaskData, &dlg.noiseLevelTaskData,
                            &dlg.frameDiffTaskData})
    if (task->ID != nullptr) MP_TerminateTask(task, true, noErr);
}

}  // namespace

MethodEventRoutines &MethodRoutines() {
  static MethodEventRoutines routines;
  return routines;
}

BZ_CleaninSett NoCleaning() {
  BZ_StatMovInfo movies[kBZ_MaxNumFiles] = {};
  BZ_ProjSett settings{};
  BZ_MakeDefaultProjSett(movies, &settings);
  BZ_CleaninSett c = settings.cleaning;
  c.average.apply = c.noiseRed.apply = c.removeLogo.apply = c.crossLuma.apply = c.varBr.apply = c.ou.apply = false;
  return c;
}

std::string HashFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "";
  // 64-bit FNV-1a: enough to tell a changed file from an unchanged one.
  UInt64 hash = 1469598103934665603ull;
  char buffer[1 << 16];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    for (std::streamsize i = 0; i < in.gcount(); ++i) hash = (hash ^ UInt8(buffer[i])) * 1099511628211ull;
    if (!in) break;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

// The random-noise tables of the process, made once from a fixed seed as the shell's start-up makes them (a
// test project clears gBZ's pointer when it ends, so every run puts it back).
static void UseNoiseTables() {
  static BZ_RnDlgTaskData *tables = nullptr;
  if (tables == nullptr) {
    gBZ.dlgTaskData.rnDlgTaskData = nullptr;
    EXPECT_EQ(BZ_RnInitDlgTaskData(&gBZ.dlgTaskData.rnDlgTaskData), noErr);
    EXPECT_EQ(BZ_InitVectorFloatStorage(&gBZ.dlgTaskData), noErr);
    BZ_RnSetNoiseTablesSeed(true, 2024);
    EXPECT_EQ(BZ_CreateNoiseTables(nullptr), noErr);
    BZ_RnSetNoiseTablesSeed(false, 0);
    tables = gBZ.dlgTaskData.rnDlgTaskData;
  }
  gBZ.dlgTaskData.rnDlgTaskData = tables;
}

MethodRunResult RunMethodProject(const TempDir &dir, const MethodRunOptions &options) {
  MethodRunResult r;
  const std::string srcPath = dir.File(options.source), outPath = dir.File(options.target);
  r.sourceHashBefore = HashFile(srcPath);
  FakeHome home(dir.path());
  CurrentProject project;
  HarnessHost host;
  host.result = &r;
  host.project = project.get();
  host.autoSettCalc = options.autoSettCalc;
  host.previewFrame = options.previewFrame;
  host.previewData = options.previewData;
  host.keepOutlierEdits = options.keepOutlierEdits;
  host.showFrames = options.recordShownFrames;
  host.analysing = options.kind == MethodRunKind::kAnalysis;
  host.statisticsStep = options.statisticsStep;
  host.Install();
  UseNoiseTables();
  host.dlgState.noiseTablesReady[1] = host.dlgState.noiseTablesReady[2] = options.noiseTablesReady;
  gHarness = &host;
  const ItemCount baseTasks = PL_MPLiveTaskCount();
  gBZ.numProcessors = ItemCount(options.workers);

  Movie src = nullptr;
  EXPECT_EQ(noErr, OpenMovieAtPath(srcPath, &src));
  BZ_StatMovInfo *movies = project.statMovInfo();
  if (src != nullptr) DescribeOpenedSource(src, movies, 0);
  Movie src2 = nullptr;
  const std::string src2Path = options.source2.empty() ? "" : dir.File(options.source2);
  if (!src2Path.empty()) {
    r.source2HashBefore = HashFile(src2Path);
    EXPECT_EQ(noErr, OpenMovieAtPath(src2Path, &src2));
    if (src2 != nullptr) DescribeOpenedSource(src2, movies, 1);
  }
  BZ_MakeDefaultProjSett(movies, &project->info.settings);
  project->info.settings.cleaning = options.cleaning ? *options.cleaning : NoCleaning();
  project->info.settings.output.cType = options.out;
  project->info.settings.output.makeNoiseMovie = options.noiseMovie;
  project->info.settings.input.interlaced = movies[0].interlaced;
  project->info.settings.input.topFieldFirst = movies[0].topFieldFirst;
  const Rect &m = options.crop;
  project->info.settings.input.cropping = m.top != 0 || m.left != 0 || m.bottom != 0 || m.right != 0;
  project->info.settings.input.cropRect = m;
  project->info.dynMovieInfo.sourceMovie[0] = src;
  project->info.srcFileData[0].fileRef = RefFor(srcPath);
  if (src2 != nullptr) {
    project->info.dynMovieInfo.sourceMovie[1] = src2;
    project->info.srcFileData[1].fileRef = RefFor(src2Path);
  }
  project->info.targetFileData[0].parentRef = RefFor(dir.path());
  project->info.targetFileData[0].fileName = Name(options.target.c_str());

  MPSemaphoreID prf = nullptr;
  EXPECT_EQ(MPCreateSemaphore(1, 0, &prf), noErr);
  gBZ.dlgTaskData.prfSemaphore = prf;
  EventHandlerRef engineHandler = nullptr, harnessHandler = nullptr;
  EXPECT_EQ(BZ_InstallEngineEventHandlers(&engineHandler), noErr);
  // Installed later, so it sees the events first and passes 2009 on to the engine's handler.
  EXPECT_EQ(InstallApplicationEventHandler(HandleMethodEvent, std::size(kHarnessEvents), kHarnessEvents, nullptr,
                                           &harnessHandler),
            noErr);
  BZ_InstallStageEntryPoints();
  EXPECT_EQ(MPCreateQueue(&gBZ.mainTaskData.termQueue), noErr);
  EXPECT_EQ(BZ_CreateMainTask(project.get()), noErr);
  if (options.recordShownFrames) project->progress.show = true;

  if (options.kind == MethodRunKind::kExecute) {
    EXPECT_EQ(BZ_CreateBuffers(), noErr);
    if (options.stop == RunStop::kWriteError) {
      const SInt64 frameBytes = SInt64(movies[0].width) * movies[0].height * 2;
      PL_FailWritesAfterBytes(frameBytes * movies[0].numFrames / 2);
    }
    const OSStatus started = BZ_StartProject();
    EXPECT_EQ(noErr, started);
    if (options.noiseMovie && started == noErr) r.noisePath = PathOf(project->info.targetFileData[1].fileRef);
    if (options.stop == RunStop::kCancel) {
      // Half-way: once half the picture bytes are in the target file.
      const auto half = std::uintmax_t(movies[0].width) * std::uintmax_t(movies[0].height) * std::uintmax_t(movies[0].numFrames);
      PL_RunEventLoopUntil([&] {
        std::error_code ec;
        return std::filesystem::file_size(outPath, ec) >= half && !ec;
      }, kLimit);
      MPNotifyQueue(gBZ.mainTaskData.inputQueue, BZ_Word(kBZ_MainThreadTaskType), project.get(),
                    BZ_Word(kBZ_CancelProjectMessage));
    } else if (options.stop == RunStop::kCancelEarly) {
      PL_RunEventLoopUntil([] { return false; }, 0.3);
      MPNotifyQueue(gBZ.mainTaskData.inputQueue, BZ_Word(kBZ_MainThreadTaskType), project.get(),
                    BZ_Word(kBZ_CancelProjectMessage));
    }
    void *code = nullptr;
    if (started == noErr) {
      EXPECT_EQ(noErr, PL_RunEventLoopUntil([&] {
                  return MPWaitOnQueue(gBZ.mainTaskData.outputQueue, nullptr, nullptr, &code, kDurationImmediate) ==
                         noErr;
                }, kLimit))
          << "the execution never ended";
      r.code = intptr_t(code);
    }
    PL_FailWritesAfterBytes(-1);
    r.exec = project->state.exec.load();
    r.error = project->state.error;
    if (r.exec == kBZ_ProjStateFinished && r.code == 0)
      r.save = BZ_SaveTargetMovies(project.get());
    else
      BZ_DeleteProjectFiles(project.get());
  } else {
    // As the dialog starts a preview calculation or an analysis: the table for that run, the sources opened,
    // then the run message.
    const bool preview = options.kind == MethodRunKind::kPreview;
    project->state.exec = preview ? kBZ_ProjStatePreviewing : kBZ_ProjStateAnalyzingMovie;
    project->state.subExec = preview ? kBZ_ProjSubStateCalcPreview : kBZ_ProjSubStateCalcAutoSett;
    OSStatus err = BZ_CreateBuffers();
    EXPECT_EQ(noErr, err);
    if (err == noErr) {
      err = BZ_ReinitProject(project.get());
      EXPECT_EQ(noErr, err);
    }
    if (err == noErr) {
      MPNotifyQueue(gBZ.mainTaskData.inputQueue, BZ_Word(kBZ_MainThreadTaskType), project.get(),
                    BZ_Word(kBZ_RunProjectMessage));
      // Every asked automatic setting and the statistics step: one 2009 each, then no stage runs. A failed
      // run ends the series.
      SInt32 expectedRuns = 0;
      for (UInt32 bits = options.autoSettCalc; bits != 0; bits &= bits - 1) ++expectedRuns;
      if (preview || options.statisticsStep || expectedRuns == 0) ++expectedRuns;
      EXPECT_EQ(noErr, PL_RunEventLoopUntil([&] {
                  return (r.runsFinished >= expectedRuns || project->state.error != noErr) &&
                         BZ_AllSubTasksClosed(project->dynIO_Info.buffInfo) &&
                         GetNumEventsInQueue(GetMainEventQueue()) == 0;
                }, kLimit))
          << "the run never ended";
    }
    r.exec = project->state.exec.load();
    r.error = project->state.error;
  }
  r.cleaning = project->info.settings.cleaning;
  if (options.atRunEnd) options.atRunEnd();
  BZ_DisposeProject(nullptr);

  MPNotifyQueue(gBZ.mainTaskData.inputQueue, BZ_Word(kBZ_MainThreadTaskType), project.get(),
                BZ_Word(kBZ_AppQuitMessage));
  OSStatus err = eventLoopTimedOutErr;
  PL_RunEventLoopUntil([&] { return (err = BZ_WaitForMainTaskTermMessage(kDurationImmediate)) != kMPTimeoutErr; },
                       kLimit);
  EndAnalysisTasks();
  EXPECT_EQ(noErr, PL_RunEventLoopUntil([&] { return PL_MPLiveTaskCount() == baseTasks; }, kLimit))
      << "a task of the run is still alive";
  MP_DeleteQueue(&gBZ.mainTaskData.termQueue);
  gBZ.mainTaskData.~MP_TaskData();
  new (&gBZ.mainTaskData) MP_TaskData{};
  prf = gBZ.dlgTaskData.prfSemaphore.exchange(nullptr);
  MP_DeleteSemaphore(&prf);
  RemoveEventHandler(harnessHandler);
  RemoveEventHandler(engineHandler);
  FlushEventQueue(GetMainEventQueue());
  gHarness = nullptr;
  gBZ.numProcessors = 0;
  if (src != nullptr) DisposeMovie(src);
  if (src2 != nullptr) DisposeMovie(src2);
  r.targetExists = std::filesystem::exists(outPath);
  r.sourceHashAfter = HashFile(srcPath);
  if (!src2Path.empty()) r.source2HashAfter = HashFile(src2Path);
  return r;
}

}  // namespace bz_test
