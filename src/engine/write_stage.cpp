// The write stage: frame edits, appending to the target's fork, sample references in batches, and the end
// of an execution.
#include "engine/write_stage.h"
#include "engine/noise_movie_stage.h"

#include "color/frame_edits.h"
#include "color/legalising.h"
#include "engine/compress_stage.h"
#include "engine/runtime/analysis_tasks.h"
#include "engine/runtime/engine_host.h"
#include "engine/runtime/frame_selection.h"
#include "engine/runtime/progress_frames.h"
#include "engine/runtime/stage_access.h"
#include "engine/runtime/working_format.h"
#include "engine/tasks/task_runtime.h"
#include "platform/core/files.h"
#include "platform/core/memory.h"
#include "platform/movie/movie_toolbox.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace {

constexpr SInt32 kMaxBytesPerRecord = 1048576;
// How long a wait for the main thread sleeps before it looks for a stop.
constexpr SInt32 kMainThreadWaitSliceMs = 20;

SInt32 FirstPictureRow(Boolean interlaced) { return kBZ_PadFieldLines * (interlaced ? 2 : 1); }

// The crop margins limited to the picture, so that no edit reaches beyond it.
struct Margins {
  SInt32 top, left, bottom, right;
};
Margins ClampedMargins(const BZ_WriteParams *p) {
  Margins m{std::max<SInt32>(p->cropRect.top, 0), std::max<SInt32>(p->cropRect.left, 0),
            std::max<SInt32>(p->cropRect.bottom, 0), std::max<SInt32>(p->cropRect.right, 0)};
  m.top = std::min(m.top, p->inHeight);
  m.bottom = std::min(m.bottom, p->inHeight - m.top);
  m.left = std::min(m.left, p->inWidth);
  m.right = std::min(m.right, p->inWidth - m.left);
  return m;
}

// Waits until the main thread has handled a hand-over (the semaphore) or the stage is stopped. Other flags
// of the stage event that arrive meanwhile are kept for the stage's own waits.
OSStatus WaitForMainThread(MPSemaphoreID semaphore, BZ_SampleRefParams *params) {
  for (;;) {
    OSStatus err = MPWaitOnSemaphore(semaphore, MP_MilliSecondToDuration(kMainThreadWaitSliceMs));
    if (err != kMPTimeoutErr) return err;
    if (params->event == nullptr) continue;
    MPEventFlags flags = 0;
    err = MPWaitForEvent(params->event, &flags, kDurationImmediate);
    if (err == kMPTimeoutErr) continue;
    if (err != noErr) return err;
    params->pendingFlags |= flags;
    if (params->pendingFlags & kBZ_StopTaskFlag) return userCanceledErr;
  }
}

// Hands the target's first `count` records to the main thread and waits until they are added. The main
// thread's failure comes back as the project's first error.
OSStatus HandOver(BZ_ProjPtr project, SInt32 fileNum, BZ_SampleRefParams *params, SInt32 count) {
  BZ_DynOutputInfo &out = project->dynIO_Info.outputInfo[fileNum];
  OSStatus err = BZ_SendOutSampleRefsEvent(project, fileNum, params->media, params->desc, count);
  if (err != noErr) return err;
  if ((err = WaitForMainThread(out.sampleRefsSemaphore, params)) != noErr) return err;
  return project->state.error.load();
}

void ResetRecords(BZ_DynOutputInfo &out) {
  for (SampleReference64Record &r : out.sampleRefs) {
    r.numberOfSamples = 0;
    r.dataSize = 0;
  }
}

// The noise compressions' state of the write stage of file 1, made with a buffer of `size` bytes the first
// time; NULL when memory is out or the stage's buffer is smaller.
BZ_NoiseCompressState *NoiseCompressState(BZ_BuffInfo *stage, size_t size) {
  if (stage->addStorage == nullptr) {
    constexpr size_t kAlign = 16;
    void *block = std::calloc(1, sizeof(BZ_NoiseCompressState) + kAlign + size);
    if (block == nullptr) return nullptr;
    auto *state = new (block) BZ_NoiseCompressState{};
    const uintptr_t after = reinterpret_cast<uintptr_t>(state + 1);
    state->buffer = reinterpret_cast<UInt8 *>((after + kAlign - 1) & ~uintptr_t(kAlign - 1));
    state->bufferSize = size;
    stage->addStorage = block;
  }
  auto *state = static_cast<BZ_NoiseCompressState *>(stage->addStorage);
  return state->bufferSize >= size ? state : nullptr;
}

// Waits for the main thread's noise compression: kBZ_CompressionDoneFlag, or the stop (userCanceledErr).
OSStatus AwaitNoiseCompression(MPEventID event) {
  for (;;) {
    MPEventFlags flags = 0;
    OSStatus err = MPWaitForEvent(event, &flags, kDurationForever);
    if (err != noErr) return err;
    if (flags & kBZ_StopTaskFlag) return userCanceledErr;
    if (flags & kBZ_CompressionDoneFlag) return noErr;
  }
}

// A noise compression still to be made by the main thread writes into the stage's buffer and sets its
// event: the task stays until each one it started has completed, unless it is stopped (the buffer lives on
// with the stage table then).
void WaitForNoiseCompressions(BZ_BuffInfo *stage, BZ_SampleRefParams *params) {
  auto *state = stage != nullptr ? static_cast<BZ_NoiseCompressState *>(stage->addStorage) : nullptr;
  if (state == nullptr) return;
  while (state->numComprStarted > state->numComprCompleted && !(params->pendingFlags & kBZ_StopTaskFlag)) {
    MPEventFlags flags = 0;
    OSStatus err = MPWaitForEvent(stage->event, &flags, MP_MilliSecondToDuration(kMainThreadWaitSliceMs));
    if (err == noErr)
      params->pendingFlags |= flags;
    else if (err != kMPTimeoutErr)
      break;
  }
}

// Write-task state between frames.
struct WriteTask {
  MP_TaskData *self = nullptr;
  BZ_ProjPtr project = nullptr;
  BZ_WriteParams params{};
  BZ_SampleRefParams sampleRefParams{};
  BZ_WriteTaskLinks links{};
  SInt32 framesSeen = 0;

  // An analysis run that measures the frame statistics (every wanted automatic setting calculated): the
  // write stage of file 0 measures what the whole pipeline changed, each frame against its source frame.
  struct Statistics {
    bool measuring = false;
    // The first cleaning stage keeps every source frame for this stage, which gives it back once measured;
    // without a cleaning stage the frame is its own source.
    bool sourceKept = false;
    std::vector<SInt32> frames;  // this stage's frame list, in the order the frames arrive
    SInt32 numFrames = 0;
    SInt32 numPrevBuffersNeeded = 0;
    MPQueueID dirtyFreeQueue = nullptr;
    SInt32 stageNum = 0;
  } stats;

  OSStatus SetupStatistics();
  OSStatus MeasureFrame(UInt8 *buffer, BZ_FrameBuffInfo *info);

  // Waits on the stage event until none of `awaited` is pending any more; the stop flag ends the wait.
  OSStatus AwaitFlags(MPEventFlags awaited) {
    for (;;) {
      MPEventFlags &pending = sampleRefParams.pendingFlags;
      if (pending & kBZ_StopTaskFlag) return userCanceledErr;
      const MPEventFlags got = pending & awaited;
      pending &= ~got;
      awaited &= ~got;
      if (awaited == 0) return noErr;
      MPEventFlags flags = 0;
      OSStatus err = MPWaitForEvent(links.writeBuffInfo->event, &flags, kDurationForever);
      if (err != noErr) return err;
      sampleRefParams.pendingFlags |= flags;
    }
  }

  OSStatus Run();
  OSStatus HandleFrame(UInt8 *buffer, Boolean *endOfRun);
  OSStatus Finish();
};

OSStatus WriteTask::HandleFrame(UInt8 *buffer, Boolean *endOfRun) {
  BZ_BuffInfo *stage = links.writeBuffInfo;
  BZ_FrameBuffInfo *info = BZ_GetFrameBuffInfo(stage, buffer);
  if (info == nullptr) return paramErr;
  info->outArrayNum = info->inArrayNum;
  const BZ_WriteParams &p = params;
  const GL_ProcessorInfo &cpu = gBZ.procInfo;

  const bool executing = project->state.exec == kBZ_ProjStateExecuting;
  // After an odd left crop the first kept pixel holds Cr: moving the chroma one pixel keeps Cb first. It
  // moves before the margins are painted, or the first kept pixel would take the black margin's Cb.
  if (executing && p.cropping && !p.maskBlackBars && (p.cropRect.left % 2) != 0)
    CO_ShiftFrameChroma(p.height, p.width, buffer);
  if (p.cropping) BZ_Crop(buffer, p.height, p.width, &p);
  if (p.removeWhiteLine && BZ_GetWhiteLineRow(p.interlaced, p.whiteLineIsBottomLine) < p.height)
    BZ_RemoveWhiteLine(buffer, p.width, p.interlaced, p.whiteLineIsBottomLine);
  if (p.yuvSanityCheck && p.legaliseWorkers != nullptr) {
    if (OSStatus err = BZ_SanityCheckFrameInBands(p.legaliseWorkers, p.height, buffer, p.preserveHighlights);
        err != noErr)
      return err;
  } else if (p.yuvSanityCheck) {
    CO_FrameSanityCheckUni(cpu.hasAltivec, cpu.hasSSE3, p.height, p.width, buffer, p.linePtrYUV255,
                           p.preserveHighlights);
  }
  if (p.ntscSafeColors)
    CO_FrameLimitIRE_Uni(cpu.hasAltivec, cpu.hasSSE3, p.height, p.width, buffer, p.linePtrYUV255,
                         p.preserveHighlights, p.maxIRE);

  // The progress view reads the frame: it must not be compacted or returned before the display is done.
  Boolean displayPending = false;
  OSStatus err = noErr;
  if (links.fileNum == 0 && (!p.compressing || !executing) &&
      (err = BZ_StartShowingProgressFrame(project, info, &displayPending)) != noErr)
    return err;

  ++framesSeen;
  // A preview run leaves its cleaned frame beside the source frame in the preview cache, where the preview
  // takes its after and difference pictures from.
  if (!executing && links.fileNum == 0 && project->state.exec == kBZ_ProjStatePreviewing &&
      gBZ.dlgTaskData.previewCache != nullptr) {
    SInt64 bufferSize = 0;
    const BZ_StatMovInfo &movie = project->info.statMovInfo[0];
    if (BZ_GetBufferSize(movie.height, movie.width, project->info.settings.input.interlaced, nullptr, nullptr,
                         &bufferSize) == noErr &&
        SInt64(p.width) * p.height * 2 <= bufferSize)
      std::memcpy(gBZ.dlgTaskData.previewCache + bufferSize, buffer, size_t(p.width) * size_t(p.height) * 2);
  }
  // Analysis and preview runs: the frames are counted so that the run ends.
  if (!executing) *endOfRun = framesSeen >= p.totalNumFrames;
  if (stats.measuring) {
    // The display reads the frame too; its answer must not be taken by the measurement's wait.
    if (displayPending && (err = AwaitFlags(kBZ_DisplayDecompressDoneFlag)) != noErr) return err;
    displayPending = false;
    if ((err = MeasureFrame(buffer, info)) != noErr) return err;
  }
  if (executing) {
    if (links.fileNum == 0 && p.makeNoiseMovie) {
      // The noise-movie stage reads the cleaned frame; compacting would overwrite it, so it must be done first.
      BZ_BuffInfo *noise = BZ_GetBufferInfoByStageType(project->dynIO_Info.buffInfo, kBZ_NoiseFrameTaskType, 0);
      MP_TaskData *noiseTask = noise != nullptr ? noise->taskData[0].load() : nullptr;
      if (noiseTask == nullptr) return paramErr;
      err = MPNotifyQueue(noiseTask->inputQueue, BZ_Word(kBZ_WriteTaskType), project, buffer);
      if (err != noErr) return err;
      if ((err = AwaitFlags(kBZ_NoiseFrameReleasedFlag)) != noErr) return err;
      if ((err = BZ_ReleaseDirtyFramesAfterNoise(project, kBZ_WriteTaskType, info)) != noErr) return err;
    }
    if (displayPending && p.compacting) {
      if ((err = AwaitFlags(kBZ_DisplayDecompressDoneFlag)) != noErr) return err;
      displayPending = false;
    }
    if ((err = BZ_WriteFrame(p.width, project, links.fileNum, stage, &p, info)) != noErr) return err;
    *endOfRun = framesSeen >= p.totalNumFrames;
    if ((err = BZ_ManageOutSampleRefs(project, links.fileNum, info, &sampleRefParams, *endOfRun)) != noErr)
      return err;
  }
  if (displayPending && (err = AwaitFlags(kBZ_DisplayDecompressDoneFlag)) != noErr) return err;
  return BZ_NotifyFrame(project, kBZ_WriteTaskType, links.inFreeQueue, nullptr, buffer, nullptr);
}

OSStatus WriteTask::SetupStatistics() {
  const BZ_EngineHost *host = BZ_GetEngineHost();
  stats = Statistics{};
  stats.measuring = links.fileNum == 0 && project->state.exec == kBZ_ProjStateAnalyzingMovie &&
                    host->getAutoSettStage(host->refCon) == 0;
  if (!stats.measuring) return noErr;
  BZ_BuffInfo *table = project->dynIO_Info.buffInfo;
  const SInt32 capacity = std::max<SInt32>(BZ_GetMaxSampleNumArraySize(table), 1);
  std::vector<SInt32> inList(size_t(capacity), 0);
  stats.frames.assign(size_t(capacity), 0);
  SInt32 testNums[kBZ_NumTestFrames + 1];
  SInt32 numIn = 0, numTests = 0;
  OSStatus err = BZ_SelectMovieSamplesForStage(BZ_GetNumFramesInMovie(project->info.statMovInfo), kBZ_WriteTaskType,
                                               inList.data(), &numIn, stats.frames.data(), &stats.numFrames, testNums,
                                               &numTests);
  if (err != noErr) return err;
  BZ_GetCompoundedChunkSize(table, BZ_CountStages(table), nullptr, nullptr, &stats.numPrevBuffersNeeded);
  stats.stageNum = std::clamp<SInt32>(links.writeBuffInfo->number, 0, kBZ_MaxNumStages - 1);
  // The stage that keeps the source frames: a cleaning stage that comes first holds its inputs for this
  // measurement (BZ_NeedInBufferForNoiseCalc with calcStats).
  BZ_BuffInfo *first = BZ_GetFirstProcessBuffer(table);
  if (first != nullptr && BZ_IsProcessTaskType(first->type) &&
      BZ_NeedInBufferForNoiseCalc(table, first, project->state.exec, project->info.settings.output.makeNoiseMovie,
                                  true)) {
    MP_TaskData *firstTask = first->taskData[0];
    if (firstTask == nullptr || firstTask->inFreeQueue == nullptr) return paramErr;
    stats.sourceKept = true;
    stats.dirtyFreeQueue = firstTask->inFreeQueue;
  } else if (first != nullptr && first != links.writeBuffInfo && !BZ_IsProcessTaskType(first->type)) {
    // An outlier or compress stage first keeps no source frame for this stage: nothing to measure against.
    stats.measuring = false;
  }
  return noErr;
}

// One frame of a statistics run: measured against its source frame (noise level and difference, through the
// general frame analysis), the source frames no later frame needs given back, and after the last frame the
// results condensed for the dialog.
OSStatus WriteTask::MeasureFrame(UInt8 *buffer, BZ_FrameBuffInfo *info) {
  // Frames arrive in the order of the list: this is the frame's index in it.
  const SInt32 index = framesSeen - 1;
  if (index >= stats.numFrames) return paramErr;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  BZ_ProjDlgState *dlgState = host->getDialogStatePtr(host->refCon);
  if (index == 0) {
    dlgState->findingNoiseLevel[stats.stageNum] = true;
    dlgState->findingFrameDiff[stats.stageNum] = true;
  }
  OSStatus err = noErr;
  if (index < kBZ_NumTestFrames) {
    UInt8 *source = stats.sourceKept ? BZ_GetDirtyFramePtr(project, info->frameNum) : buffer;
    if (source == nullptr) return paramErr;
    BZ_DlgTaskInput input{};
    input.inBuffer = source;
    input.outBuffer = buffer;
    input.frameNum = info->frameNum;
    input.arrayNum = input.realArrayNum = input.testNum = index;
    input.fileNum = links.fileNum;
    err = BZ_GeneralFrameAnalysis(links.writeBuffInfo, &gBZ.dlgTaskData, true, &input, nullptr);
  }
  // The list position after this frame: the release counts the entries before it and keeps what the next
  // listed frame still needs.
  if (err == noErr && stats.sourceKept)
    err = BZ_FreeDirtyFrames(project, kBZ_WriteTaskType, info, stats.frames.data(), index + 1, stats.numFrames,
                             stats.dirtyFreeQueue, stats.numPrevBuffersNeeded);
  if (err != noErr || index != stats.numFrames - 1) return err;
  err = BZ_FinishGeneralFrameAnalysis(links.writeBuffInfo, true, std::min<SInt32>(stats.numFrames, kBZ_NumTestFrames));
  dlgState->findingNoiseLevel[stats.stageNum] = false;
  dlgState->findingFrameDiff[stats.stageNum] = false;
  return err;
}

// Keeps closing a target and asking whether all are closed together, so that of two write stages ending at
// once exactly one finds every file closed.
std::mutex gTargetCloseMutex;

// The end of this stage's frames in an execution: the last write stage to close its file ends the run.
OSStatus WriteTask::Finish() {
  if (project->state.exec == kBZ_ProjStateExecuting) {
    std::unique_lock<std::mutex> lock(gTargetCloseMutex);
    OSStatus err = BZ_CloseTargetFile(project, links.fileNum);
    if (err != noErr) return err;
    if (!BZ_AllTargetFilesClosed(project)) return noErr;  // the other write stage ends the run
    lock.unlock();
    BZ_ExecuteState expected = kBZ_ProjStateExecuting;
    project->state.exec.compare_exchange_strong(expected, kBZ_ProjStateFinished);
  }
  return MPNotifyQueue(self->termQueue, BZ_Word(kBZ_WriteTaskType), project, BZ_Word(kBZ_EndOfStreamMessage));
}

OSStatus WriteTask::Run() {
  OSStatus err = BZ_SetupWriteTask(self, &params, &sampleRefParams, &links);
  if (err == noErr) err = SetupStatistics();
  if (err != noErr) return err;
  Boolean finished = false;
  while (!finished) {
    void *word = nullptr;
    if ((err = BZ_WaitForBuffer(self, links.inInputQueue, &word, nullptr, &finished)) != noErr || finished) break;
    // The stream's end passed down by an earlier stage: this stage counts its own frames.
    if (BZ_FromWord(word) == kBZ_EndOfStreamMessage || word == nullptr) continue;
    Boolean endOfRun = false;
    if ((err = HandleFrame(static_cast<UInt8 *>(word), &endOfRun)) != noErr) break;
    if (endOfRun) {
      err = Finish();
      break;
    }
  }
  return err;
}

}  // namespace

// ---- The task ----

OSStatus BZ_WriteTask(void *parameter) {
  auto *self = static_cast<MP_TaskData *>(parameter);
  if (self == nullptr || self->termMessage2 == nullptr) return paramErr;
  std::printf("KBZ: setting up write task\n");
  WriteTask t;
  t.self = self;
  t.project = static_cast<BZ_ProjPtr>(self->termMessage2);
  OSStatus err = t.Run();
  if (t.params.compressedNoiseBuffer != nullptr && err != userCanceledErr)
    WaitForNoiseCompressions(t.links.writeBuffInfo, &t.sampleRefParams);
  // A stopped or failed execution leaves its files to be deleted; their forks must not stay open.
  if (t.links.writeBuffInfo != nullptr) {
    std::lock_guard<std::mutex> lock(gTargetCloseMutex);
    BZ_CloseTargetFile(t.project, t.links.fileNum);
  }
  BZ_DisposeWriteParams(&t.params);
  if (err == userCanceledErr) err = noErr;
  std::printf("KBZ: exiting write task, error = %ld, fileNum = %ld\n", long(err), long(t.links.fileNum));
  return err;
}

OSStatus BZ_SetupWriteTask(MP_TaskData *taskData, BZ_WriteParams *writeParams, BZ_SampleRefParams *sampleRefParams,
                           BZ_WriteTaskLinks *links) {
  if (taskData == nullptr || writeParams == nullptr || sampleRefParams == nullptr || links == nullptr) return paramErr;
  auto *project = static_cast<BZ_ProjPtr>(taskData->termMessage2);
  if (project == nullptr) return paramErr;
  BZ_BuffInfo *stage = BZ_StageOfTask(project->dynIO_Info.buffInfo, taskData);
  if (stage == nullptr) return paramErr;
  const SInt32 fileNum = std::clamp<SInt32>(stage->fileNum, 0, kBZ_MaxNumFiles - 1);
  const BZ_ProjSett &sett = project->info.settings;
  const BZ_StatMovInfo *movies = project->info.statMovInfo;
  BZ_WriteParams &p = *writeParams;
  p = BZ_WriteParams{};

  links->writeBuffInfo = stage;
  links->fileNum = fileNum;
  links->inInputQueue = taskData->inputQueue;
  links->inFreeQueue = taskData->inFreeQueue;
  links->bufferSize = stage->size;
  links->numFrames = stage->totalNumFrames;

  p.interlaced = sett.input.interlaced;
  p.inHeight = movies[0].height;
  p.inWidth = movies[0].width;
  OSStatus err = BZ_GetBufferSize(p.inHeight, p.inWidth, p.interlaced, &p.height, &p.width, nullptr);
  if (err != noErr) return err;
  if (size_t(p.height) * size_t(p.width) * 2 > stage->size) return paramErr;

  const BZ_ExecuteState exec = project->state.exec;
  // The target's description says how the noise movie was set up (BZ_OpenTargetFile): frames must be
  // written as it says.
  ImageDescriptionHandle noiseDesc = project->info.dynMovieInfo.targetDesc[1];
  const bool noiseCompressed = fileNum == 1 && exec == kBZ_ProjStateExecuting && noiseDesc != nullptr &&
                               *noiseDesc != nullptr && (**noiseDesc).cType == kBZ_NoiseMovieCodec;
  p.compressing = (fileNum == 0 && sett.output.cType != '2vuy') || noiseCompressed;
  p.compacting = !p.compressing;
  const BZ_AppPrefs prefs = BZ_GetEngineAppPrefs();
  if (!p.compressing) {
    p.yuvSanityCheck = prefs.yuvSanityCheck;
    p.preserveHighlights = prefs.preserveHighlights;
    p.ntscSafeColors = prefs.ntscSafeColors;
  }
  p.maxIRE = float(prefs.maxIRE) / 100.0f;
  p.makeNoiseMovie = !p.compressing && sett.output.makeNoiseMovie;
  // With a compressed output the compression crops target 0.
  p.cropping = sett.input.cropping && !(p.compressing && exec == kBZ_ProjStateExecuting && fileNum != 1);
  p.cropRect = sett.input.cropRect;
  p.maskBlackBars = BZ_MasksCropMargins(&sett);
  BZ_CopyWhiteLineSett(movies, &sett, &p.removeWhiteLine, &p.whiteLineIsBottomLine);
  p.totalNumFrames = exec == kBZ_ProjStateExecuting ? stage->totalNumFrames : BZ_GetNumSelectedMovieSamples();
  p.linePtrYUV255 = static_cast<float *>(MPAllocateAligned(size_t(p.width) * 8, kMPAllocate16ByteAligned,
                                                            kMPAllocateClearMask));
  if (p.linePtrYUV255 == nullptr) return memFullErr;
  if (p.yuvSanityCheck) {
    OSStatus err = BZ_CreateFrameBandWorkers(p.width, BZ_GetNumSubTasks(), &p.legaliseWorkers);
    if (err != noErr) return err;
  }
  if (noiseCompressed) {
    BZ_NoiseCompressState *state = NoiseCompressState(stage, BZ_GetNoiseCompressBufferSize(project));
    if (state == nullptr) return memFullErr;
    p.compressedNoiseBuffer = state->buffer;
    p.compressedNoiseBufferSize = state->bufferSize;
  }

  const SInt32 maxComprSize = project->dynIO_Info.maxComprSize > 0 ? project->dynIO_Info.maxComprSize
                                                                     : SInt32(std::min<size_t>(stage->size, 0x7FFFFFFF));
  sampleRefParams->maxNumOutSamples = std::max<SInt32>(kMaxBytesPerRecord / std::max<SInt32>(maxComprSize, 1), 1);
  sampleRefParams->media = project->info.dynMovieInfo.targetMedia[fileNum];
  sampleRefParams->desc = project->info.dynMovieInfo.targetDesc[fileNum];
  // The first record's offset is where the target's data begin (just after the header).
  const SInt64 start = project->dynIO_Info.outputInfo[fileNum].sampleRefs[0].dataOffset;
  sampleRefParams->nextDataOffset = start > 0 ? start : 16;
  sampleRefParams->pendingFlags = 0;
  sampleRefParams->event = stage->event;
  return noErr;
}

void BZ_DisposeWriteParams(BZ_WriteParams *writeParams) {
  if (writeParams == nullptr) return;
  if (writeParams->linePtrYUV255 != nullptr) MPFree(writeParams->linePtrYUV255);
  writeParams->linePtrYUV255 = nullptr;
  BZ_DisposeFrameBandWorkers(writeParams->legaliseWorkers);
  writeParams->legaliseWorkers = nullptr;
}

// ---- Frame edits ----

void BZ_Crop(UInt8 *buffer, SInt32 height, SInt32 width, const BZ_WriteParams *p) {
  const SInt32 first = FirstPictureRow(p->interlaced);
  if (first + p->inHeight > height || p->inWidth + 2 * kBZ_PadLeftPixels > width) return;
  const Margins m = ClampedMargins(p);
  const ptrdiff_t rowBytes = ptrdiff_t(width) * 2;
  UInt8 *picture = buffer + first * rowBytes;
  CO_PaintFrameBlack(m.top, width, picture);
  CO_PaintFrameBlack(m.bottom, width, picture + ptrdiff_t(p->inHeight - m.bottom) * rowBytes);
  CO_PaintVerticalBarBlack(p->inHeight, width, picture, kBZ_PadLeftPixels, kBZ_PadLeftPixels + m.left);
  CO_PaintVerticalBarBlack(p->inHeight, width, picture, kBZ_PadLeftPixels + p->inWidth - m.right,
                           kBZ_PadLeftPixels + p->inWidth);
}

size_t BZ_CompactFrame(SInt32 width, const BZ_WriteParams *p, UInt8 *inBuffer) {
  Margins m{0, 0, 0, 0};
  if (p->cropping && !p->maskBlackBars) m = ClampedMargins(p);
  const SInt32 rows = p->inHeight - m.top - m.bottom;
  const size_t pixels = size_t(p->inWidth - m.left - m.right);
  const ptrdiff_t rowBytes = ptrdiff_t(width) * 2;
  const UInt8 *from = inBuffer + ptrdiff_t(FirstPictureRow(p->interlaced) + m.top) * rowBytes +
                      ptrdiff_t(kBZ_PadLeftPixels + m.left) * 2;
  UInt8 *to = inBuffer;
  // Each row moves down the buffer (never past its own source), so memmove row by row is safe.
  for (SInt32 y = 0; y < rows; ++y, from += rowBytes, to += pixels * 2) std::memmove(to, from, pixels * 2);
  return size_t(std::max<SInt32>(rows, 0)) * pixels * 2;
}

// ---- Writing ----

OSStatus BZ_WriteFrame(SInt32 width, BZ_ProjPtr project, SInt32 fileNum, BZ_BuffInfo *writeBuffInfo,
                       const BZ_WriteParams *writeParams, BZ_FrameBuffInfo *inFrameBuffInfo) {
  if (project == nullptr || writeBuffInfo == nullptr || writeParams == nullptr || inFrameBuffInfo == nullptr ||
      fileNum < 0 || fileNum >= kBZ_MaxNumFiles)
    return paramErr;
  if (inFrameBuffInfo->frameNum == 0)
    std::printf("BZ_WriteFrame: compacting = %u, fileNum = %ld\n", unsigned(writeParams->compacting), long(fileNum));
  if (writeParams->compacting)
    inFrameBuffInfo->actualSize = BZ_CompactFrame(width, writeParams, inFrameBuffInfo->ptr);
  const UInt8 *data = inFrameBuffInfo->ptr;
  size_t capacity = writeBuffInfo->size;
  if (fileNum == 1 && writeParams->compressedNoiseBuffer != nullptr) {
    OSStatus err = BZ_CompressNoise(project, inFrameBuffInfo, writeParams->compressedNoiseBuffer);
    if (err == noErr) err = AwaitNoiseCompression(writeBuffInfo->event);
    // A failed compression left its error with the project.
    if (err == noErr) err = project->state.error.load();
    if (err != noErr) return err;
    data = writeParams->compressedNoiseBuffer;
    capacity = writeParams->compressedNoiseBufferSize;
  }
  if (inFrameBuffInfo->actualSize == 0)
    std::printf("KBZ: BZ_WriteFrame: actualSize = 0, frameNum = %ld\n", long(inFrameBuffInfo->frameNum));
  // The size came from a codec: more than the buffer holds would read beyond it.
  if (inFrameBuffInfo->actualSize > capacity) return codecErr;
  FSForkIOParam &io = project->dynIO_Info.outputInfo[fileNum].ioParam;
  if (io.forkRefNum == 0) return fnOpnErr;
  io.positionMode = fsAtMark;
  io.positionOffset = 0;
  io.buffer = reinterpret_cast<Ptr>(const_cast<UInt8 *>(data));
  io.requestCount = inFrameBuffInfo->actualSize;
  io.actualCount = 0;
  if (io.requestCount == 0) return noErr;
  OSStatus err = PBWriteForkSync(&io);
  if (err == noErr && io.actualCount != io.requestCount) err = ioErr;
  return err;
}

size_t BZ_GetNoiseCompressBufferSize(BZ_ProjPtr project) {
  if (project == nullptr) return 0;
  const BZ_StatMovInfo &src = project->info.statMovInfo[0];
  SInt32 height = 0, width = 0;
  if (BZ_GetBufferSize(src.height, src.width, project->info.settings.input.interlaced, &height, &width, nullptr) !=
      noErr)
    return 0;
  return size_t(height) * size_t(width) * 2;
}

OSStatus BZ_CompressNoise(BZ_ProjPtr project, BZ_FrameBuffInfo *inFrameBuffInfo, UInt8 *outBuffer) {
  if (project == nullptr || inFrameBuffInfo == nullptr || outBuffer == nullptr) return paramErr;
  BZ_BuffInfo *write = BZ_GetWriteBuffInfo(project->dynIO_Info.buffInfo, 1);
  auto *state = write != nullptr ? static_cast<BZ_NoiseCompressState *>(write->addStorage) : nullptr;
  if (state == nullptr || inFrameBuffInfo->comprSeqID == 0) return paramErr;
  BZ_CompressData d{};
  d.project = project;
  d.seqID = inFrameBuffInfo->comprSeqID;
  d.offscreen = inFrameBuffInfo->offscreen;
  d.pixMap = inFrameBuffInfo->pixMap;
  d.outBuffer = outBuffer;
  d.comprBuffer = outBuffer;
  d.inBuffer = inFrameBuffInfo->ptr;
  d.completionProcRecord.completionProc = BZ_NoiseCompressCompletionProc;
  d.fileNum = 1;
  d.numComprCompleted = &state->numComprCompleted;
  ++state->numComprStarted;
  const OSStatus err = BZ_SendCompressEvent(&d);
  if (err != noErr) --state->numComprStarted;  // nothing will complete
  return err;
}

void BZ_NoiseCompressCompletionProc(OSErr result, SInt16 flags, long refcon) {
  auto *record = reinterpret_cast<BZ_CompressData *>(intptr_t(refcon));
  if (record == nullptr || record->project == nullptr) return;
  BZ_ProjPtr project = record->project;
  BZ_BuffInfo *write = BZ_GetWriteBuffInfo(project->dynIO_Info.buffInfo, 1);
  auto *state = write != nullptr ? static_cast<BZ_NoiseCompressState *>(write->addStorage) : nullptr;
  BZ_FrameBuffInfo *info = write != nullptr ? BZ_GetFrameBuffInfo(write, record->inBuffer) : nullptr;
  OSStatus err = result;
  if (err == noErr && (state == nullptr || info == nullptr)) err = paramErr;
  if (flags & codecCompletionSource) record->notifiedFreeQueue = true;
  if (flags & codecCompletionDest) {
    // The size comes from the codec: one the buffer cannot hold must not be written.
    if (err == noErr && (record->dataSize < 0 || size_t(record->dataSize) > state->bufferSize)) err = codecErr;
    if (err == noErr) info->actualSize = size_t(record->dataSize);
    record->notifiedInputQueue = true;
  }
  if (err != noErr) {
    BZ_KeepFirstError(project, err);
    std::printf("KBZ: BZ_NoiseCompressCompletionProc: error = %ld\n", long(err));
  } else if (!record->notifiedFreeQueue || !record->notifiedInputQueue) {
    return;  // the other side follows
  }
  // Done, or failed: either way the writer waiting for it goes on.
  if (record->numComprCompleted != nullptr) ++*record->numComprCompleted;
  if (write != nullptr && write->event != nullptr) MPSetEvent(write->event, kBZ_CompressionDoneFlag);
  if (record->heapCopy) std::free(record);
}

OSStatus BZ_ManageOutSampleRefs(BZ_ProjPtr project, SInt32 fileNum, const BZ_FrameBuffInfo *inFrameBuffInfo,
                                BZ_SampleRefParams *params, Boolean finished) {
  if (project == nullptr || inFrameBuffInfo == nullptr || params == nullptr || fileNum < 0 ||
      fileNum >= kBZ_MaxNumFiles)
    return paramErr;
  BZ_DynOutputInfo &out = project->dynIO_Info.outputInfo[fileNum];
  SampleReference64Record *refs = out.sampleRefs;
  const size_t size = inFrameBuffInfo->actualSize;
  const TimeValue duration = inFrameBuffInfo->duration;
  const SInt64 frameOffset = params->nextDataOffset;
  params->nextDataOffset += SInt64(size);
  if (size == 0)
    std::printf("KBZ: BZ_ManageOutSampleRefs: actualSize = 0, frameNum = %ld\n", long(inFrameBuffInfo->frameNum));
  if (duration == 0)
    std::printf("KBZ: BZ_ManageOutSampleRefs: duration = 0, frameNum = %ld\n", long(inFrameBuffInfo->frameNum));

  OSStatus err = noErr;
  if (duration != 0) {
    bool startNew = out.recordNum < 0;
    if (!startNew) {
      const SampleReference64Record &r = refs[out.recordNum];
      // A record holds frames of one size and duration whose bytes follow each other.
      startNew = r.numberOfSamples == 0 || r.dataSize / r.numberOfSamples != size ||
                 r.durationPerSample != duration || SInt32(r.numberOfSamples) >= params->maxNumOutSamples ||
                 r.dataOffset + SInt64(r.dataSize) != frameOffset ||
                 UInt64(r.dataSize) + size > UInt64(UINT32_MAX);
    }
    if (startNew) {
      if (out.recordNum + 1 >= kBZ_NumOutSampleRefs) {
        if ((err = HandOver(project, fileNum, params, kBZ_NumOutSampleRefs)) != noErr) return err;
        ResetRecords(out);
        out.recordNum = -1;
      }
      ++out.recordNum;
      SampleReference64Record &r = refs[out.recordNum];
      r.dataOffset = frameOffset;
      r.dataSize = 0;
      r.numberOfSamples = 0;
      r.sampleFlags = 0;
    }
    SampleReference64Record &r = refs[out.recordNum];
    r.dataSize += UInt32(size);
    r.numberOfSamples += 1;
    r.durationPerSample = duration;
    out.time += duration;
    out.numFrames += 1;
  }
  if (finished && out.recordNum >= 0) {
    // Every record held goes, also when the last frame had no duration.
    if ((err = HandOver(project, fileNum, params, out.recordNum + 1)) != noErr) return err;
    ResetRecords(out);
    out.recordNum = -1;
  }
  return noErr;
}

OSStatus BZ_SendOutSampleRefsEvent(BZ_ProjPtr project, SInt32 fileNum, Media media, ImageDescriptionHandle desc,
                                   SInt32 count) {
  if (project == nullptr || fileNum < 0 || fileNum >= kBZ_MaxNumFiles) return paramErr;
  BZ_DynOutputInfo &out = project->dynIO_Info.outputInfo[fileNum];
  BZ_OutSampleRefsData data{};
  data.error = noErr;
  data.media = media;
  data.desc = desc;
  data.outRecordNum = count;
  data.outSampleRefs = out.sampleRefs;
  data.project = project;
  data.semaphore = out.sampleRefsSemaphore;
  const BZ_EventParam param = {kBZ_OutSampleRefsEventParam, sizeof(data), &data};
  return BZ_PostEngineEvent(kBZ_OutSampleRefsEvent, &param, 1);
}

OSStatus BZ_HandleOutSampleRefsEvent(EventRef event) {
  BZ_OutSampleRefsData data{};
  OSStatus err = GetEventParameter(event, kBZ_OutSampleRefsEventParam, kBZ_OutSampleRefsEventParam, nullptr,
                                   sizeof(data), nullptr, &data);
  BZ_ProjPtr project = data.project != nullptr ? data.project : gBZ.project;
  if (err == noErr && (project == nullptr || project->state.error == noErr)) {
    if (data.outRecordNum < 0 || data.outRecordNum > kBZ_NumOutSampleRefs || data.outSampleRefs == nullptr)
      err = paramErr;
    else if (data.outRecordNum > 0)
      err = AddMediaSampleReferences64(data.media, reinterpret_cast<SampleDescriptionHandle>(data.desc),
                                       data.outRecordNum, data.outSampleRefs, nullptr);
  }
  if (err != noErr && project != nullptr) BZ_KeepFirstError(project, err);
  // The writer waits for this whatever happened here.
  if (data.semaphore != nullptr) MPSignalSemaphore(data.semaphore);
  return err;
}

OSStatus BZ_CloseTargetFile(BZ_ProjPtr project, SInt32 fileNum) {
  if (project == nullptr || fileNum < 0 || fileNum >= kBZ_MaxNumFiles) return paramErr;
  FSForkIOParam &io = project->dynIO_Info.outputInfo[fileNum].ioParam;
  if (io.forkRefNum == 0) return noErr;
  OSStatus err = FSCloseFork(io.forkRefNum);
  io.forkRefNum = 0;
  return err;
}

Boolean BZ_AllTargetFilesClosed(BZ_ProjPtr project) {
  if (project == nullptr) return true;
  for (const BZ_DynOutputInfo &out : project->dynIO_Info.outputInfo)
    if (out.ioParam.forkRefNum != 0) return false;
  return true;
}
