// Headless run of the whole engine over one movie, the way the main thread drives a project: start, every
// stage on its tasks, the main thread serving the tasks' events, then the save with the sound. No cleaning
// method unless one is asked, output '2vuy' unless --codec says otherwise. The source is described as a
// project describes a movie it opens: its gamma (the stated one, else its codec's), its range and its field
// information come from the file. Prints the source's description and, per run, the frames and the seconds
// from the start to the saved movie.
//
//   bz_pipeline_fps [--legalise] [--always-gamma22] [--codec=TYPE] [--method=NAME] [--sett=FIELD=VALUE]...
//                   [--second=MOVIE2] [--find-logo] [--analyse] [--analysis-only] [--factors=FILE]
//                   [--save-factors=FILE] SOURCE.mov OUTPUT_FOLDER [WORKERS] [RUNS]
//
// --legalise sets the preference that legalises every frame; --always-gamma22 the one that processes frames
// in gamma 2.2 whatever the source's; --codec the output codec (four characters, '2vuy' by default, e.g.
// --codec=dvcp for DV PAL). --method applies a cleaning method with its default settings (cross-luma,
// averaging, noise-reduction with manual levels, noise-reduction-auto at its defaults, outliers, logo); --sett
// then changes one field of that method's settings (a number); --second names the second capture that
// averaging needs. --find-logo runs the logo method's analysis (mask, transparency and logo colours) on the
// source before the timed runs, as a user does before executing in mask mode; --analyse first makes the
// analysis run of the noise automatic settings (one line "analysis seconds S levels Y CB CR"); neither is
// timed. WORKERS 0 (the default) uses every processor. With several runs in
// one process the later ones find the source and the engine warm; bench/pipeline_fps.sh runs one per process.
// --method=varying-brightness corrects with the factors of --factors=FILE (raw floats, one per frame or
// field, as --save-factors writes them); with --analysis-only the run is instead the analysis that measures
// every frame, and --save-factors=FILE keeps the table it found.
// The engine's trace goes to standard error; to standard output go one line "source gamma G range R
// internal-gamma I sound S" and one result line per run ("frames N seconds S fps F").
#include "engine/closing_saving.h"
#include "engine/engine_wiring.h"
#include "engine/main_task.h"
#include "engine/project_start.h"
#include "engine/runtime/engine_host.h"
#include "engine/runtime/frame_selection.h"
#include "engine/runtime/project_settings.h"
#include "engine/runtime/stage_access.h"
#include "engine/runtime/working_format.h"
#include "engine/stage_table.h"
#include "general/memory_lists.h"
#include "general/processor_info.h"
#include "methods/logo_stage.h"
#include "methods/noise_reduction_stage.h"
#include "methods/noise_tables.h"
#include "methods/spectral_windows.h"
#include "methods/varbr_analysis.h"
#include "methods/varbr_measuring_stage.h"
#include "movie/image_descriptions.h"
#include "movie/movie_files.h"
#include "movie/movie_queries.h"
#include "movie/movie_time.h"
#include "outliers/outlier_stage.h"
#include "platform/core/event_loop.h"
#include "platform/core/files.h"
#include "platform/core/memory.h"
#include "platform/core/multiprocessing.h"
#include "platform/movie/movie_toolbox.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr EventTimeout kLimit = 600;  // seconds for one run; a run that takes longer has hung

void *Word(intptr_t value) { return reinterpret_cast<void *>(value); }

OSStatus RefFor(const std::string &path, FSRef *ref) {
  return FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), ref, nullptr);
}

// The preferences of the run: the plain host's, with legalising and the gamma preference as asked.
bool gLegalise = false;
bool gAlwaysGamma22 = false;
CodecType gOutputCodec = '2vuy';

// The cleaning methods the run applies, each one's settings made from the defaults and the --sett fields.
struct MethodOption {
  const char *name;
  void (*apply)(BZ_CleaninSett &c);
  bool (*set)(BZ_CleaninSett &c, const std::string &field, double value);
};

bool SetClField(BZ_CleaninSett &c, const std::string &field, double value) {
  BZ_Cl_Sett &s = c.crossLuma;
  const SInt32 n = SInt32(value);
  if (field == "constChromaTestLen") s.constChromaTestLen = n;
  else if (field == "minConstChromaLen") s.minConstChromaLen = n;
  else if (field == "maxChromaStddev") s.maxChromaStddev = n;
  else if (field == "extent") s.extent = n;
  else if (field == "minStddev") s.minStddev = n;
  else if (field == "maxStddev") s.maxStddev = n;
  else if (field == "percentage") s.percentage = value;
  else return false;
  return true;
}

bool SetAvField(BZ_CleaninSett &c, const std::string &field, double value) {
  if (field == "shift") c.average.shift = value;
  else if (field == "weight") c.average.weight = value;
  else return false;
  return true;
}

// Noise reduction with manual levels (automatic off): horizontal, vertical (0 or 1), levelY, levelC.
bool SetNrField(BZ_CleaninSett &c, const std::string &field, double value) {
  BZ_Rn_Sett &s = c.noiseRed;
  if (field == "horizontal") s.horizontal = value != 0;
  else if (field == "vertical") s.vertical = value != 0;
  else if (field == "levelY") s.noiseLevel[0] = float(value);
  else if (field == "levelC") s.noiseLevel[1] = s.noiseLevel[2] = float(value);
  else return false;
  return true;
}

bool SetOuField(BZ_CleaninSett &c, const std::string &field, double value) {
  BZ_OuSett &s = c.ou;
  if (field == "numConstPix") s.numConstPix = SInt32(value);
  else if (field == "minDiff") s.minDiff = SInt32(value);
  else if (field == "maxAvPixelDiff") s.maxAvPixelDiff = SInt32(value);
  else if (field == "scratchWidth") s.scratchWidth = float(value);
  else return false;
  return true;
}

// Logo removal: mode (1 to 3), the rectangle (top, left, bottom, right), transparent (0 or 1), transparency,
// findMask (0 or 1).
bool SetRlField(BZ_CleaninSett &c, const std::string &field, double value) {
  BZ_RlSett &s = c.removeLogo;
  const SInt16 n = SInt16(value);
  if (field == "mode") s.mode = BZ_RlMode(value);
  else if (field == "top") s.logoRect.top = n;
  else if (field == "left") s.logoRect.left = n;
  else if (field == "bottom") s.logoRect.bottom = n;
  else if (field == "right") s.logoRect.right = n;
  else if (field == "transparent") s.transparent = value != 0;
  else if (field == "transparency") s.transparency = value;
  else if (field == "findMask") s.findMask = value != 0;
  else return false;
  return true;
}

const MethodOption kMethods[] = {
    {"cross-luma", [](BZ_CleaninSett &c) { c.crossLuma.apply = true; }, SetClField},
    {"averaging", [](BZ_CleaninSett &c) { c.average.apply = true; }, SetAvField},
    {"noise-reduction",
     [](BZ_CleaninSett &c) {
       c.noiseRed.apply = true;
       c.noiseRed.automatic = false;
     },
     SetNrField},
    // Noise reduction at its defaults (both directions, automatic): with --analyse, measured first.
    {"noise-reduction-auto", [](BZ_CleaninSett &c) { c.noiseRed.apply = true; }, SetNrField},
    // Without edits the stage removes the specks its detector finds.
    {"outliers", [](BZ_CleaninSett &c) { c.ou.apply = true; }, SetOuField},
    {"logo", [](BZ_CleaninSett &c) { c.removeLogo.apply = true; }, SetRlField},
    {"varying-brightness", [](BZ_CleaninSett &c) { c.varBr.apply = true; },
     [](BZ_CleaninSett &, const std::string &, double) { return false; }},
};
bool gAnalysisOnly = false;  // the varying-brightness analysis instead of an execution
std::string gFactorsIn, gFactorsOut;
std::atomic<UInt32> gAutoSettStage{0};  // the automatic-settings stage while an analysis runs

// The varying-brightness factor table of the source's field order.
std::pair<float **, SInt32 *> FactorTable(const BZ_ProjInfo &info) {
  BZ_VbDlgTaskData *d = gBZ.dlgTaskData.vbDlgTaskData;
  if (!info.settings.input.interlaced) return {&d->vbFactors, &d->numVbFactors};
  if (info.settings.input.topFieldFirst) return {&d->vbFactorsTop, &d->numVbFactorsTop};
  return {&d->vbFactorsBottom, &d->numVbFactorsBottom};
}

bool LoadFactors(const BZ_ProjInfo &info) {
  FILE *f = std::fopen(gFactorsIn.c_str(), "rb");
  if (f == nullptr) return false;
  std::vector<float> values;
  float v = 0;
  while (std::fread(&v, sizeof v, 1, f) == 1) values.push_back(v);
  std::fclose(f);
  auto [table, count] = FactorTable(info);
  if (*table != nullptr) GL_DisposePtr(table);
  *count = 0;
  if (values.empty() || GL_NewPtrClear(values.size() * sizeof(float), table) != noErr) return false;
  std::memcpy(*table, values.data(), values.size() * sizeof(float));
  *count = SInt32(values.size());
  return true;
}

bool SaveFactors(const BZ_ProjInfo &info) {
  auto [table, count] = FactorTable(info);
  if (*table == nullptr) return false;
  FILE *f = std::fopen(gFactorsOut.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(*table, sizeof(float), size_t(*count), f) == size_t(*count);
  return std::fclose(f) == 0 && ok;
}

std::string gSecondSource;  // the second capture (averaging)
bool gFindLogo = false;      // the logo analysis before the timed runs
bool gLogoFound = false;     // it ran: its transparency below and the mask of the logo method hold
double gFoundTransparency = 0;
SInt32 gRunsFinished = 0;     // 2009 events seen
// --analyse: an analysis run at the noise automatic-settings stage before the timed runs, as the project dialog
// makes it when the user asks for the automatic settings; the analysis data keeps the measured spectra.
bool gAnalyse = false;
const MethodOption *gMethod = nullptr;
std::vector<std::pair<std::string, double>> gSettFields;

void GetBenchAppPrefs(void *refCon, BZ_AppPrefs *appPrefs) {
  BZ_GetPlainEngineHost()->getAppPrefs(refCon, appPrefs);
  appPrefs->yuvSanityCheck = gLegalise;
  appPrefs->alwaysGamma22 = gAlwaysGamma22;
}

// As the dialog answers: logo removal through a mask is valid once the logo method holds a mask.
OSStatus GetBenchValidTypes(void *refCon, const BZ_CleaninSett *cleaning, UInt32 *types) {
  OSStatus err = BZ_GetPlainEngineHost()->getValidSelectedProcessTypes(refCon, cleaning, types);
  const BZ_RlDlgTaskData *logo = gBZ.dlgTaskData.rlDlgTaskData;
  if (err == noErr && cleaning != nullptr && cleaning->removeLogo.apply && logo != nullptr &&
      logo->isMaskPixel != nullptr)
    *types |= kBZ_RlTypeFlag;
  return err;
}

// The main thread's part of the logo analysis: the stage waits for the mask picture (nothing to show here),
// the transparency needs no window; the end of a run is counted.
OSStatus HandleBenchEvent(EventHandlerCallRef callRef, EventRef event, void *) {
  switch (GetEventKind(event)) {
    case kBZ_SetLogoMaskPicEvent: {
      BZ_BuffInfo *logo = gBZ.project != nullptr
                              ? BZ_GetBufferInfoByStageType(gBZ.project->dynIO_Info.buffInfo, kBZ_RlTaskType, 0)
                              : nullptr;
      if (logo != nullptr && logo->semaphore != nullptr) MPSignalSemaphore(logo->semaphore);
      return noErr;
    }
    case kBZ_SetLogoTransparencyEvent: return noErr;
    case kBZ_ProjectRunFinishedEvent:
      ++gRunsFinished;
      return CallNextEventHandler(callRef, event);
    default: return eventNotHandledErr;
  }
}

// Source 0 described as the project dialog describes a movie it opens: size, frames, data references, the
// gamma at which it is drawn (unknown: 2.2222223), video range except for 'yuv2' (the preference, off by
// default), field information and sound.
OSStatus DescribeSource(Movie movie, BZ_StatMovInfo *info) {
  Track track = QT_GetFirstEnabledVideoTrack(movie);
  Media media = track != nullptr ? GetTrackMedia(track) : nullptr;
  if (media == nullptr) return invalidMedia;
  auto desc = reinterpret_cast<ImageDescriptionHandle>(NewHandle(0));
  GetMediaSampleDescription(media, 1, reinterpret_cast<SampleDescriptionHandle>(desc));
  OSStatus err = GetMoviesError();
  if (err == noErr) {
    info->cType = (**desc).cType;
    info->width = (**desc).width;
    info->height = (**desc).height;
  }
  DisposeHandle(reinterpret_cast<Handle>(desc));
  if (err != noErr) return err;
  if ((err = QT_CountMovieFrames(movie, &info->numFrames, nullptr)) != noErr) return err;
  SInt16 dataRefs = 0;
  if ((err = GetMediaDataRefCount(media, &dataRefs)) != noErr) return err;
  info->numDataRefIndexes = dataRefs;
  info->numVisualTracks = QT_CountEnabledVisualTracks(movie);
  info->hasOneSimpleVideoTrack = info->numVisualTracks == 1;
  if ((err = QT_GetMovieGamma2(movie, nullptr, &info->gamma)) != noErr) return err;
  if (info->gamma == -1.0f) info->gamma = kBZ_VideoGamma;
  BZ_AppPrefs prefs{};
  GetBenchAppPrefs(nullptr, &prefs);
  if (prefs.successSound != nullptr) CFRelease(prefs.successSound);
  const bool yuv2 = info->cType == 'yuv2' || info->cType == 'yuvu';
  info->isVideoRange = !yuv2 || prefs.yuv2IsVideoRange;
  if (yuv2 && prefs.yuv2IsVideoRange) info->gamma = kBZ_VideoGamma;
  if ((err = QT_GetFielData(media, &info->hasFielExt, &info->interlaced, &info->topFieldFirst)) != noErr) return err;
  info->hasSound = QT_CountEnabledSoundTracks(movie) > 0;
  info->movieTimeScale = GetMovieTimeScale(movie);
  return BZ_MakeMovieTimeList(movie, info);
}

// An analysis run at one automatic-settings stage, as the dialog starts it (the stage table of that run, the
// sources, the run message): the stage measures its samples and stores what it found. Seconds from the start
// to the end of its last task, negative on failure.
double RunAnalysis(BZ_ProjPtr project, UInt32 autoSettStage) {
  gAutoSettStage = autoSettStage;
  gRunsFinished = 0;
  project->state.exec = kBZ_ProjStateAnalyzingMovie;
  project->state.subExec = kBZ_ProjSubStateCalcAutoSett;
  const auto start = std::chrono::steady_clock::now();
  OSStatus err = BZ_CreateBuffers();
  if (err == noErr) err = BZ_ReinitProject(project);
  if (err == noErr)
    err = MPNotifyQueue(gBZ.mainTaskData.inputQueue, Word(kBZ_MainThreadTaskType), project, Word(kBZ_RunProjectMessage));
  if (err == noErr)
    err = PL_RunEventLoopUntil([&] {
      return gRunsFinished >= 1 && BZ_AllSubTasksClosed(project->dynIO_Info.buffInfo) &&
             GetNumEventsInQueue(GetMainEventQueue()) == 0;
    }, kLimit);
  gAutoSettStage = 0;
  if (err == noErr) err = project->state.error;
  if (err != noErr) {
    std::fprintf(stderr, "bz_pipeline_fps: analysis failed, error %ld\n", long(err));
    return -1;
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One execution into OUTPUT_FOLDER/out.mov; seconds from the start to the saved movie, negative on failure.
// The source is described on `describe` when it is given. With `analyse` the run is the analysis instead.
double RunOnce(const std::string &source, const std::string &folder, SInt32 *frames, FILE *describe,
               bool analyse = false) {
  BZ_ProjPtr project = gBZ.project;
  Movie movie = nullptr;
  FSRef sourceRef{}, folderRef{};
  OSStatus err = RefFor(source, &sourceRef);
  if (err == noErr) err = RefFor(folder, &folderRef);
  if (err == noErr) err = QT_OpenMovieFile(&sourceRef, 0, &movie);
  BZ_ProjInfo &info = project->info;
  if (err == noErr) err = DescribeSource(movie, &info.statMovInfo[0]);
  if (err != noErr) {
    std::fprintf(stderr, "bz_pipeline_fps: cannot open %s, error %ld\n", source.c_str(), long(err));
    return -1;
  }
  Movie movie2 = nullptr;
  FSRef source2Ref{};
  if (!gSecondSource.empty()) {
    err = RefFor(gSecondSource, &source2Ref);
    if (err == noErr) err = QT_OpenMovieFile(&source2Ref, 0, &movie2);
    if (err == noErr) err = DescribeSource(movie2, &info.statMovInfo[1]);
    if (err != noErr) {
      std::fprintf(stderr, "bz_pipeline_fps: cannot open %s, error %ld\n", gSecondSource.c_str(), long(err));
      DisposeMovie(movie);
      return -1;
    }
    info.dynMovieInfo.sourceMovie[1] = movie2;
    info.srcFileData[1].fileRef = source2Ref;
  }
  *frames = info.statMovInfo[0].numFrames;
  BZ_MakeDefaultProjSett(info.statMovInfo, &info.settings);
  BZ_CleaninSett &c = info.settings.cleaning;
  c.average.apply = c.noiseRed.apply = c.removeLogo.apply = c.crossLuma.apply = c.varBr.apply = c.ou.apply = false;
  if (gMethod != nullptr) {
    gMethod->apply(c);
    for (const auto &[field, value] : gSettFields) gMethod->set(c, field, value);
  }
  if (gLogoFound) {
    // What the analysis found is used, not looked for again.
    c.removeLogo.transparency = gFoundTransparency;
    c.removeLogo.findMask = false;
  }
  info.settings.output.cType = gOutputCodec;
  info.settings.output.makeNoiseMovie = false;
  info.settings.output.export_ = false;
  if (describe != nullptr) {
    float internalGamma = 0;
    BZ_AppPrefs prefs{};
    GetBenchAppPrefs(nullptr, &prefs);
    if (prefs.successSound != nullptr) CFRelease(prefs.successSound);
    BZ_GetInternalGamma(project, &prefs, &internalGamma, nullptr, nullptr);
    const BZ_StatMovInfo &s = info.statMovInfo[0];
    std::fprintf(describe, "source gamma %.4f range %s internal-gamma %.4f sound %s\n", s.gamma,
                 s.isVideoRange ? "video" : "full", internalGamma, s.hasSound ? "yes" : "no");
    std::fflush(describe);
  }
  info.dynMovieInfo.sourceMovie[0] = movie;
  info.srcFileData[0].fileRef = sourceRef;
  info.targetFileData[0].parentRef = folderRef;
  PL_HFSUniStr255FromUTF8("out.mov", &info.targetFileData[0].fileName);

  double seconds = -1;
  if (gFindLogo && !gLogoFound) {
    // The analysis, as the dialog starts it: the stage table of that run, the sources, the run message.
    c.removeLogo.findMask = true;
    gLogoFound = RunAnalysis(project, kBZ_RlAutoSettStage) >= 0;
    gFoundTransparency = c.removeLogo.transparency;
    std::fprintf(stderr, "bz_pipeline_fps: logo analysis: transparency %.3f\n", gFoundTransparency);
    BZ_DisposeProject(nullptr);
    project->state.error = noErr;
    project->state.exec = kBZ_ProjStateReady;
    DisposeMovie(movie);
    if (movie2 != nullptr) DisposeMovie(movie2);
    return gLogoFound ? RunOnce(source, folder, frames, describe) : -1;
  }
  if (analyse) {
    seconds = RunAnalysis(project, kBZ_RnAutoSettStage);
  } else if (gAnalysisOnly) {
    seconds = RunAnalysis(project, kBZ_VbAutoSettStage);
    if (seconds > 0 && !gFactorsOut.empty() && !SaveFactors(info)) {
      std::fprintf(stderr, "bz_pipeline_fps: cannot write %s\n", gFactorsOut.c_str());
      seconds = -1;
    }
  } else if (!gFactorsIn.empty() && !LoadFactors(info)) {
    std::fprintf(stderr, "bz_pipeline_fps: cannot read %s\n", gFactorsIn.c_str());
  } else if ((err = BZ_CreateBuffers()) == noErr) {
    const auto start = std::chrono::steady_clock::now();
    err = BZ_StartProject();
    void *code = Word(-1);
    if (err == noErr)
      err = PL_RunEventLoopUntil([&] {
        return MPWaitOnQueue(gBZ.mainTaskData.outputQueue, nullptr, nullptr, &code, kDurationImmediate) == noErr;
      }, kLimit);
    if (err == noErr && code == nullptr && project->state.exec == kBZ_ProjStateFinished) {
      err = BZ_SaveTargetMovies(project);
      if (err == noErr) seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    } else {
      BZ_DeleteProjectFiles(project);
    }
    if (seconds < 0)
      std::fprintf(stderr, "bz_pipeline_fps: run failed, error %ld, project error %ld\n", long(err),
                   long(project->state.error.load()));
  }
  BZ_DisposeProject(nullptr);
  DisposeMovie(movie);
  if (movie2 != nullptr) DisposeMovie(movie2);
  return seconds;
}

}  // namespace

int main(int argc, char **argv) {
  int first = 1;
  for (; first < argc && std::strncmp(argv[first], "--", 2) == 0; ++first) {
    if (std::strcmp(argv[first], "--legalise") == 0) {
      gLegalise = true;
    } else if (std::strcmp(argv[first], "--always-gamma22") == 0) {
      gAlwaysGamma22 = true;
    } else if (std::strncmp(argv[first], "--codec=", 8) == 0 && std::strlen(argv[first]) == 12) {
      const char *c = argv[first] + 8;
      gOutputCodec = CodecType(UInt8(c[0])) << 24 | CodecType(UInt8(c[1])) << 16 | CodecType(UInt8(c[2])) << 8 |
                     CodecType(UInt8(c[3]));
    } else if (std::strncmp(argv[first], "--method=", 9) == 0) {
      for (const MethodOption &m : kMethods)
        if (std::strcmp(argv[first] + 9, m.name) == 0) gMethod = &m;
      if (gMethod == nullptr) {
        std::fprintf(stderr, "%s: unknown method %s\n", argv[0], argv[first] + 9);
        return 2;
      }
    } else if (std::strcmp(argv[first], "--find-logo") == 0) {
      gFindLogo = true;
    } else if (std::strcmp(argv[first], "--analysis-only") == 0) {
      gAnalysisOnly = true;
    } else if (std::strncmp(argv[first], "--factors=", 10) == 0) {
      gFactorsIn = argv[first] + 10;
    } else if (std::strncmp(argv[first], "--save-factors=", 15) == 0) {
      gFactorsOut = argv[first] + 15;
    } else if (std::strcmp(argv[first], "--analyse") == 0) {
      gAnalyse = true;
    } else if (std::strncmp(argv[first], "--second=", 9) == 0) {
      gSecondSource = argv[first] + 9;
    } else if (std::strncmp(argv[first], "--sett=", 7) == 0) {
      const std::string pair = argv[first] + 7;
      const size_t eq = pair.find('=');
      BZ_CleaninSett probe{};
      if (gMethod == nullptr || eq == std::string::npos ||
          !gMethod->set(probe, pair.substr(0, eq), std::atof(pair.c_str() + eq + 1))) {
        std::fprintf(stderr, "%s: --sett=FIELD=VALUE needs a --method before it and one of its fields: %s\n",
                     argv[0], argv[first]);
        return 2;
      }
      gSettFields.emplace_back(pair.substr(0, eq), std::atof(pair.c_str() + eq + 1));
    } else {
      std::fprintf(stderr, "%s: unknown option %s\n", argv[0], argv[first]);
      return 2;
    }
  }
  if (argc - first < 2) {
    std::fprintf(stderr,
                 "usage: %s [--legalise] [--always-gamma22] [--codec=TYPE] [--method=NAME] [--sett=FIELD=VALUE]... "
                 "[--second=MOVIE2] [--find-logo] [--analyse] [--analysis-only] [--factors=FILE] "
                 "[--save-factors=FILE] "
                 "SOURCE.mov OUTPUT_FOLDER [WORKERS] [RUNS]\n",
                 argv[0]);
    return 2;
  }
  const std::string source = argv[first], folder = argv[first + 1];
  const int workers = argc > first + 2 ? std::atoi(argv[first + 2]) : 0;
  const int runs = argc > first + 3 ? std::max(1, std::atoi(argv[first + 3])) : 1;

  // The engine traces on standard output; the results alone go there.
  const int results = dup(STDOUT_FILENO);
  dup2(STDERR_FILENO, STDOUT_FILENO);
  FILE *out = fdopen(results, "w");
  if (out == nullptr) return 1;

  GL_GetProcessorInfo(&gBZ.procInfo);  // the colour kernels' vector paths, as the application has them
  static BZ_EngineHost host = *BZ_GetPlainEngineHost();
  host.getAppPrefs = GetBenchAppPrefs;
  host.getValidSelectedProcessTypes = GetBenchValidTypes;
  host.getAutoSettStage = [](void *) { return gAutoSettStage.load(); };
  host.setAutoSettCalculated = [](void *) { gAutoSettStage = 0; };
  BZ_SetEngineHost(&host);
  gBZ.numProcessors = ItemCount(std::max(0, workers));
  gBZ.project = new BZ_Project();
  MPSemaphoreID prf = nullptr;
  OSStatus err = MPCreateSemaphore(1, 0, &prf);
  if (err == noErr) {
    gBZ.dlgTaskData.prfSemaphore = prf;
    err = BZ_InstallEngineEventHandlers(nullptr);
  }
  static const EventTypeSpec kBenchEvents[] = {{kBZ_ProjEventClass, kBZ_SetLogoMaskPicEvent},
                                               {kBZ_ProjEventClass, kBZ_SetLogoTransparencyEvent},
                                               {kBZ_ProjEventClass, kBZ_ProjectRunFinishedEvent}};
  if (err == noErr) err = InstallApplicationEventHandler(HandleBenchEvent, 3, kBenchEvents, nullptr, nullptr);
  if (err == noErr) err = BZ_RlInitDlgTaskData(&gBZ.dlgTaskData.rlDlgTaskData);
  BZ_InstallStageEntryPoints();
  // The random-noise tables, made before the timed runs as start-up makes them.
  if (err == noErr) err = BZ_RnInitDlgTaskData(&gBZ.dlgTaskData.rnDlgTaskData);
  if (err == noErr) err = BZ_InitVectorFloatStorage(&gBZ.dlgTaskData);
  if (err == noErr) err = BZ_CreateNoiseTables(nullptr);
  // The outlier stage keeps its state across runs in this record, as the application makes it at start-up.
  if (err == noErr) err = BZ_OuInitDlgTaskData(&gBZ.dlgTaskData.ouDlgTaskData);
  // The varying-brightness tables live here between an analysis and the correction, as at start-up.
  if (err == noErr) err = BZ_VbInitDlgTaskData(&gBZ.dlgTaskData.vbDlgTaskData);
  if (err == noErr) err = MPCreateQueue(&gBZ.mainTaskData.termQueue);
  if (err == noErr) err = BZ_CreateMainTask(gBZ.project);
  int status = err == noErr ? 0 : 1;
  if (status == 0 && gAnalyse) {
    SInt32 frames = 0;
    const double seconds = RunOnce(source, folder, &frames, nullptr, true);
    if (seconds < 0) status = 1;
    // The next runs' defaults take the measured levels from here.
    const float *level = gBZ.dlgTaskData.rnDlgTaskData->eqNoiseLevel2D;
    std::fprintf(out, "analysis seconds %.3f levels %.2f %.2f %.2f\n", seconds, level[0], level[1], level[2]);
    std::fflush(out);
  }

  double best = -1;
  SInt32 frames = 0;
  for (int run = 0; run < runs && status == 0; ++run) {
    const double seconds = RunOnce(source, folder, &frames, run == 0 ? out : nullptr);
    if (seconds <= 0) {
      status = 1;
      break;
    }
    std::fprintf(out, "frames %ld seconds %.3f fps %.1f\n", long(frames), seconds, frames / seconds);
    std::fflush(out);
    if (best < 0 || seconds < best) best = seconds;
  }
  if (best > 0 && runs > 1)
    std::fprintf(out, "best: frames %ld seconds %.3f fps %.1f\n", long(frames), best, frames / best);

  if (gBZ.mainTaskData.inputQueue != nullptr) {
    MPNotifyQueue(gBZ.mainTaskData.inputQueue, Word(kBZ_MainThreadTaskType), gBZ.project, Word(kBZ_AppQuitMessage));
    PL_RunEventLoopUntil([&] { return BZ_WaitForMainTaskTermMessage(kDurationImmediate) != kMPTimeoutErr; }, kLimit);
  }
  fclose(out);
  return status;
}
