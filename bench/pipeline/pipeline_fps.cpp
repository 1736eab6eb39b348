// Headless run of the whole engine over one movie, the way the main thread drives a project: start, every
// stage on its tasks, the main thread serving the tasks' events, then the save with the sound. No cleaning
// method, output '2vuy'. Prints the frames and the seconds from the start to the saved movie.
//
//   bz_pipeline_fps SOURCE.mov OUTPUT_FOLDER [WORKERS] [RUNS]
//
// WORKERS 0 (the default) uses every processor. With several runs the fastest is reported. The engine's trace
// goes to standard error; the one result line per run ("frames N seconds S fps F") to standard output.
#include "engine/closing_saving.h"
#include "engine/engine_wiring.h"
#include "engine/main_task.h"
#include "engine/project_start.h"
#include "engine/runtime/engine_host.h"
#include "engine/runtime/frame_selection.h"
#include "engine/runtime/project_settings.h"
#include "engine/stage_table.h"
#include "general/processor_info.h"
#include "movie/movie_files.h"
#include "movie/movie_queries.h"
#include "movie/movie_time.h"
#include "platform/core/event_loop.h"
#include "platform/core/files.h"
#include "platform/core/memory.h"
#include "platform/core/multiprocessing.h"
#include "platform/movie/movie_toolbox.h"

#include <unistd.h>

#include <chrono>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr EventTimeout kLimit = 600;  // seconds for one run; a run that takes longer has hung

void *Word(intptr_t value) { return reinterpret_cast<void *>(value); }

OSStatus RefFor(const std::string &path, FSRef *ref) {
  return FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), ref, nullptr);
}

// Source 0 described as the project dialog describes a movie it opens.
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
  info->isVideoRange = true;
  info->gamma = 2.2f;
  info->movieTimeScale = GetMovieTimeScale(movie);
  return BZ_MakeMovieTimeList(movie, info);
}

// One execution into OUTPUT_FOLDER/out.mov; seconds from the start to the saved movie, negative on failure.
double RunOnce(const std::string &source, const std::string &folder, SInt32 *frames) {
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
  *frames = info.statMovInfo[0].numFrames;
  BZ_MakeDefaultProjSett(info.statMovInfo, &info.settings);
  BZ_CleaninSett &c = info.settings.cleaning;
  c.average.apply = c.noiseRed.apply = c.removeLogo.apply = c.crossLuma.apply = c.varBr.apply = c.ou.apply = false;
  info.settings.output.cType = '2vuy';
  info.settings.output.makeNoiseMovie = false;
  info.settings.output.export_ = false;
  info.settings.input.interlaced = false;
  info.dynMovieInfo.sourceMovie[0] = movie;
  info.srcFileData[0].fileRef = sourceRef;
  info.targetFileData[0].parentRef = folderRef;
  PL_HFSUniStr255FromUTF8("out.mov", &info.targetFileData[0].fileName);

  double seconds = -1;
  if ((err = BZ_CreateBuffers()) == noErr) {
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
  return seconds;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s SOURCE.mov OUTPUT_FOLDER [WORKERS] [RUNS]\n", argv[0]);
    return 2;
  }
  const std::string source = argv[1], folder = argv[2];
  const int workers = argc > 3 ? std::atoi(argv[3]) : 0;
  const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 1;

  // The engine traces on standard output; the results alone go there.
  const int results = dup(STDOUT_FILENO);
  dup2(STDERR_FILENO, STDOUT_FILENO);
  FILE *out = fdopen(results, "w");
  if (out == nullptr) return 1;

  GL_GetProcessorInfo(&gBZ.procInfo);  // the colour kernels' vector paths, as the application has them
  gBZ.numProcessors = ItemCount(std::max(0, workers));
  gBZ.project = new BZ_Project();
  MPSemaphoreID prf = nullptr;
  OSStatus err = MPCreateSemaphore(1, 0, &prf);
  if (err == noErr) {
    gBZ.dlgTaskData.prfSemaphore = prf;
    err = BZ_InstallEngineEventHandlers(nullptr);
  }
  BZ_InstallStageEntryPoints();
  if (err == noErr) err = MPCreateQueue(&gBZ.mainTaskData.termQueue);
  if (err == noErr) err = BZ_CreateMainTask(gBZ.project);
  int status = err == noErr ? 0 : 1;

  double best = -1;
  SInt32 frames = 0;
  for (int run = 0; run < runs && status == 0; ++run) {
    const double seconds = RunOnce(source, folder, &frames);
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
