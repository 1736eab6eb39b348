// The outlier state kept across runs, the preview's outlier record, the window helpers and the outlier
// stage itself (distributing task, workers and collecting task).
#include "outliers/outlier_stage.h"

#include "engine/runtime/stage_access.h"
#include "engine/runtime/working_format.h"
#include "general/memory_lists.h"
#include "engine/runtime/analysis_tasks.h"
#include "engine/runtime/engine_host.h"
#include "engine/runtime/frame_selection.h"
#include "engine/tasks/task_runtime.h"
#include "outliers/outlier_motion.h"
#include "outliers/outlier_window.h"
#include "outliers/outlier_worker.h"
#include "outliers/preview_data.h"
#include "outliers/scene_values.h"
#include "platform/core/event_loop.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>
#include <string>

OSStatus BZ_OuInitDlgTaskData(BZ_OuDlgTaskData **ouDlgTaskData) {
  if (ouDlgTaskData == nullptr) return paramErr;
  BZ_OuDlgTaskData *ou = nullptr;
  OSStatus err = GL_NewPtrClear(sizeof(BZ_OuDlgTaskData), &ou);
  if (err != noErr) return err;
  err = MPCreateCriticalRegion(&ou->oeCritRgn);
  if (err != noErr) {
    GL_DisposePtr(&ou);
    return err;
  }
  *ouDlgTaskData = ou;
  return noErr;
}

OSStatus BZ_InitOuPreviewData(BZ_OuPreviewData **ouPreviewData) {
  if (ouPreviewData == nullptr) return paramErr;
  return GL_NewPtrClear(sizeof(BZ_OuPreviewData), ouPreviewData);
}

void BZ_OuReinitDlgTaskData(BZ_OuDlgTaskData *ouDlgTaskData) {
  if (ouDlgTaskData == nullptr) return;
  ouDlgTaskData->outlierEditList.changed = false;
  ouDlgTaskData->outlierEditList.saved = true;
}

void BZ_OuDisposeDlgTaskData(BZ_OuDlgTaskData *ou) {
  if (ou == nullptr) return;
  // Each cache is one block whose start is its first slot.
  if (ou->ouData[0] != nullptr) GL_DisposePtr(&ou->ouData[0]);
  for (UInt16 *&slot : ou->ouData) slot = nullptr;
  if (ou->workerScratch != nullptr) GL_DisposePtr(&ou->workerScratch);
  ou->cacheWidth = ou->cacheHeight = ou->cacheNumInBuffers = ou->cacheNumWorkers = 0;
  if (ou->mv[0] == nullptr) return;
  GL_DisposePtr(&ou->mv[0]);
  for (void *&slot : ou->mv) slot = nullptr;
  if (ou->scratchMv != nullptr) GL_DisposePtr(&ou->scratchMv);
  for (UInt16 **cache : {ou->objData, ou->gradSq, ou->tempIn}) {
    if (cache[0] != nullptr) GL_DisposePtr(&cache[0]);
    for (SInt32 i = 0; i < kBZ_OuMaxNumCached; ++i) cache[i] = nullptr;
  }
  // The three mask planes are one block too.
  if (ou->masks[0] != nullptr) GL_DisposePtr(&ou->masks[0]);
  for (UInt8 *&mask : ou->masks) mask = nullptr;
}

void BZ_OuDisposeDlgTaskDataRecord(BZ_OuDlgTaskData **ouDlgTaskData) {
  if (ouDlgTaskData == nullptr || *ouDlgTaskData == nullptr) return;
  BZ_OuDlgTaskData *ou = *ouDlgTaskData;
  BZ_OuDisposeDlgTaskData(ou);
  // Blocks a run made before the motion vectors existed are freed here too.
  for (UInt16 **cache : {ou->ouData, ou->objData, ou->gradSq, ou->tempIn})
    if (cache[0] != nullptr) GL_DisposePtr(&cache[0]);
  if (ou->masks[0] != nullptr) GL_DisposePtr(&ou->masks[0]);
  if (ou->ouScratch != nullptr) GL_DisposePtr(&ou->ouScratch);
  BZ_OuDisposeOutlierEditlist(&ou->outlierEditList.firstFrameOel);
  BZ_OuDisposeOutlierEditlist(&ou->savedOutlierEditList.firstFrameOel);
  BZ_OuDisposeOutlierEditlist(&ou->runEditList.firstFrameOel);
  if (ou->oeCritRgn != nullptr) MPDeleteCriticalRegion(ou->oeCritRgn);
  GL_DisposePtr(ouDlgTaskData);
}

OSStatus BZ_OuEnsurePreviewFrames(BZ_OuPreviewData *p, size_t size) {
  if (p == nullptr || size == 0) return paramErr;
  UInt8 **owned[] = {&p->diffBuffer2vuy, &p->savedOutBuffer, &p->savedInBuffer};
  if (size > p->bufferSize) {
    for (UInt8 **block : owned)
      if (*block != nullptr) GL_DisposePtr(block);
    p->bufferSize = size;
  }
  for (UInt8 **block : owned)
    if (*block == nullptr)
      if (OSStatus err = GL_NewPtrClear(p->bufferSize, block); err != noErr) return err;
  return noErr;
}

OSStatus BZ_OuEnsurePreviewWindowCopies(BZ_OuPreviewData *p, size_t size) {
  if (p == nullptr || size == 0) return paramErr;
  if (p->windowCopies != nullptr && p->windowCopySize != size) GL_DisposePtr(&p->windowCopies);
  if (p->windowCopies == nullptr) {
    p->windowCopySize = 0;
    if (OSStatus err = GL_NewPtrClear(size * (kBZ_OuNumPreviewInBuffers + 1), &p->windowCopies); err != noErr) {
      for (UInt8 *&frame : p->inBuffers) frame = nullptr;
      p->outBuffer2vuy = nullptr;
      return err;
    }
    p->windowCopySize = size;
  }
  for (SInt32 i = 0; i < kBZ_OuNumPreviewInBuffers; ++i) p->inBuffers[i] = p->windowCopies + size_t(i) * size;
  p->outBuffer2vuy = p->windowCopies + size_t(kBZ_OuNumPreviewInBuffers) * size;
  return noErr;
}

OSStatus BZ_OuMakeCaches(BZ_OuDlgTaskData *ou, SInt32 width, SInt32 height, SInt32 numInBuffers, SInt32 numWorkers) {
  if (ou == nullptr || width <= 0 || height <= 0 || numInBuffers <= 0 || numInBuffers > kBZ_OuNumWindowSlots ||
      numWorkers <= 0)
    return paramErr;
  if (ou->cacheWidth != width || ou->cacheHeight != height || ou->cacheNumInBuffers != numInBuffers ||
      ou->cacheNumWorkers != numWorkers) {
    BZ_OuDisposeDlgTaskData(ou);
    if (ou->ouScratch != nullptr) GL_DisposePtr(&ou->ouScratch);
    // Blocks an earlier run made without motion vectors outlive BZ_OuDisposeDlgTaskData's early stop.
    for (UInt16 **cache : {ou->objData, ou->gradSq, ou->tempIn}) {
      if (cache[0] != nullptr) GL_DisposePtr(&cache[0]);
      for (SInt32 i = 0; i < kBZ_OuMaxNumCached; ++i) cache[i] = nullptr;
    }
    if (ou->masks[0] != nullptr) GL_DisposePtr(&ou->masks[0]);
    for (UInt8 *&mask : ou->masks) mask = nullptr;
  }
  const size_t pixels = size_t(width) * size_t(height);
  if (ou->ouScratch == nullptr)
    if (OSStatus err = GL_NewPtrClear(pixels * sizeof(SInt32), &ou->ouScratch); err != noErr) return err;
  if (ou->ouData[0] == nullptr) {
    UInt8 *block = nullptr;
    if (OSStatus err = GL_NewPtrClear(pixels * sizeof(UInt16) * size_t(numInBuffers), &block); err != noErr) return err;
    for (SInt32 i = 0; i < numInBuffers; ++i) ou->ouData[i] = reinterpret_cast<UInt16 *>(block) + size_t(i) * pixels;
  }
  if (ou->workerScratch == nullptr) {
    const size_t perWorker = pixels * (sizeof(UInt16) + sizeof(SInt32));
    if (OSStatus err = GL_NewPtrClear(perWorker * size_t(numWorkers), &ou->workerScratch); err != noErr) return err;
  }
  ou->cacheWidth = width;
  ou->cacheHeight = height;
  ou->cacheNumInBuffers = numInBuffers;
  ou->cacheNumWorkers = numWorkers;
  return noErr;
}

namespace {

// Worker i's part of the scratch block: its pixel list (SInt32, kept 4-byte aligned first), then its flags.
UInt8 *WorkerPart(BZ_OuDlgTaskData *ou, SInt32 i) {
  if (ou == nullptr || ou->workerScratch == nullptr || i < 0 || i >= ou->cacheNumWorkers) return nullptr;
  const size_t pixels = size_t(ou->cacheWidth) * size_t(ou->cacheHeight);
  return ou->workerScratch + size_t(i) * pixels * (sizeof(UInt16) + sizeof(SInt32));
}

}  // namespace

SInt32 *BZ_OuWorkerPixelList(BZ_OuDlgTaskData *ou, SInt32 i) { return reinterpret_cast<SInt32 *>(WorkerPart(ou, i)); }

UInt16 *BZ_OuWorkerData(BZ_OuDlgTaskData *ou, SInt32 i) {
  UInt8 *part = WorkerPart(ou, i);
  if (part == nullptr) return nullptr;
  return reinterpret_cast<UInt16 *>(part + size_t(ou->cacheWidth) * size_t(ou->cacheHeight) * sizeof(SInt32));
}

void BZ_OuDisposePreviewData(BZ_OuPreviewData **ouPreviewData) {
  if (ouPreviewData == nullptr || *ouPreviewData == nullptr) return;
  BZ_OuPreviewData *p = *ouPreviewData;
  if (p->windowCopies != nullptr) GL_DisposePtr(&p->windowCopies);
  BZ_OuDisposePreviewMv(p);
  for (UInt8 **owned : {&p->diffBuffer2vuy, &p->savedOutBuffer, &p->savedInBuffer})
    if (*owned != nullptr) GL_DisposePtr(owned);
  LL_DisposeLinkedList(&p->frameOutlierEditList.firstOe);
  BZ_OuDisposeSpeckList(&p->speckList);
  GL_DisposePtr(ouPreviewData);
}

OSStatus BZ_OuEnterEditRegion(MPCriticalRegionID region) {
  if (region == nullptr) return paramErr;
  if (!PL_IsMainThread()) return MPEnterCriticalRegion(region, kDurationForever);
  for (;;) {
    OSStatus err = MPEnterCriticalRegion(region, 10 * kDurationMillisecond);
    if (err != kMPTimeoutErr) return err;
    (void)PL_DispatchPendingEvents(nullptr);
  }
}

void BZ_OuGetInBufferIndexBounds(SInt32 maxAvPixelDiff, UInt8 *const *inBuffers, SInt32 numInBuffers,
                                 const SInt32 *avPixelDiff, SInt32 *minInBufferIndex, SInt32 *maxInBufferIndex) {
  SInt32 lo = 0, hi = numInBuffers;
  for (SInt32 i = 0; i < numInBuffers / 2; ++i) {
    const SInt32 j = numInBuffers - 1 - i;
    if (avPixelDiff[j - 1] > maxAvPixelDiff || inBuffers[j] == nullptr) hi = j;
    if (avPixelDiff[i] > maxAvPixelDiff || inBuffers[i] == nullptr) lo = i + 1;
  }
  if (minInBufferIndex != nullptr) *minInBufferIndex = lo;
  if (maxInBufferIndex != nullptr) *maxInBufferIndex = hi;
}

void BZ_OuParamsToRealFrameBounds(const BZ_OuParams *ouParams, Rect *frameBounds) {
  if (ouParams == nullptr || frameBounds == nullptr) return;
  BZ_GetRealFrameBounds(ouParams->interlaced, ouParams->inWidth, ouParams->inHeight, frameBounds);
}

OSStatus BZ_OuMakeParamsFromProject(BZ_ProjPtr project, BZ_OuParams *ouParams) {
  if (project == nullptr || ouParams == nullptr) return paramErr;
  *ouParams = BZ_OuParams{};
  ouParams->sett = &project->info.settings.cleaning.ou;
  ouParams->interlaced = project->info.settings.input.interlaced;
  ouParams->topFieldFirst = project->info.settings.input.topFieldFirst;
  ouParams->inWidth = project->info.statMovInfo[0].width;
  ouParams->inHeight = project->info.statMovInfo[0].height;
  // The window arrays hold 4 x numConstPix + 1 frames; a count beyond them (or one that overflows) is refused.
  const SInt32 k = ouParams->sett->numConstPix;
  if (k < 1 || k > (kBZ_OuNumWindowSlots - 1) / 4) return paramErr;
  ouParams->numInBuffers = 4 * k + 1;
  SInt64 size = 0;
  return BZ_GetBufferSize(ouParams->inHeight, ouParams->inWidth, ouParams->interlaced, &ouParams->height,
                          &ouParams->width, &size);
}

// ---- The stage --------------------------------------------------------------------------------------------
//
// Task 1 (BZ_OutliersTask) takes the input frames, release messages and stop codes from its input queue. For
// each frame it posts a frame job (the frame's scene value and motion vectors against the frame before it,
// which the job holds on to) to the workers' shared queue, moves the window on and, for each window whose
// centre is wanted, takes an output buffer of the receiving stage (in frame order, so the earliest window
// always has one) and posts a window job. Frame jobs go ahead of the window jobs that read them, so a worker
// waiting for a scene value and vectors always waits for work already taken. Workers post finished window jobs to task 2, the collector, which hands the outputs on
// in order (padding, test-frame analysis, then (kBZ_ProcSubTaskType, project, output) to the receiver) and
// lets go of the window's input frames. An input frame goes back to the stage's free queue (sender
// kBZ_OutlierTaskType) when it has left the window, every window job reading it has been collected and, for a
// frame kept for the noise measurement, the later stage's release (sender 10, 11 or 12) has come.
//
// Errors of a worker or of the collector reach task 1 as (kBZ_OutlierTaskType, project, error) on its input
// queue; after an error the collector only returns buffers, so task 1 never waits for an output buffer that
// cannot come back.

namespace {

enum : intptr_t { kFrameJob = 1, kWindowJob = 2 };

// kBZ_OuTooManyOutliersErr of the application's error numbers: a stage that finds too many outliers stops
// the run with it.
constexpr OSStatus kTooManyOutliersErr = 5024;

std::atomic<SInt32> gFailAfterWindows{-1};
std::atomic<OSStatus> gFailError{noErr};

// One window position handed to a worker; lives in the stage record, indexed by its output buffer's number.
struct OuJob {
  BZ_OuFrameRec *slots[kBZ_OuNumWindowSlots];  // the window as the position reads it
  UInt8 *outBuffer;
  SInt32 testNum;   // the test frame this output is, or -1
  const BZ_OuOeLE *edits;
  Boolean previewFrame;
  OSStatus err;
};

// One frame's edits in the run's copy of the edit list.
struct FrameEdits {
  SInt32 frameNum;
  BZ_OuOeLE *firstOe;
};

// The stage's record for a run, kept in the stage's addStorage: the table frees it, so the collector's task
// record stays readable for the main task until the run is over.
struct OuStage {
  MP_TaskData task2;
  MP_TaskData *task1;
  BZ_ProjPtr project;
  BZ_BuffInfo *stage, *receiver;
  BZ_ExecuteState exec;
  BZ_OuParams params;
  BZ_OuDlgTaskData *ou;
  MPQueueID inFreeQueue, inInputQueue, outFreeQueue, outInputQueue;
  MPQueueID workQueue;  // shared by the workers
  BZ_OuFrameRec frames[kBZ_MaxFrameBuffers];  // by input buffer number
  OuJob jobs[kBZ_MaxFrameBuffers];            // by output buffer number
  std::mutex releaseLock;                     // the two lists below, taken by task 1 and the collector
  UInt8 *diffCalcList[kBZ_OuNumReleaseEntries];
  UInt8 *notifyList[kBZ_OuNumReleaseEntries];
  FrameEdits *edits;  // the run's copy of the edits, ascending frame numbers (owned)
  SInt32 numEdits;
  SInt32 previewFrameNum;  // previewing: the previewed frame, else -1
  BZ_OuPreviewTarget previewTarget;
  size_t bufferSize;
  // The chosen picture draws gradient objects: each wanted centre's frame job makes them, with its worker's
  // part of objectScratch.
  Boolean makeObjects;
  UInt8 *objectScratch;
  size_t objectScratchSize;  // per worker
};

OuStage *StageRecord(MP_TaskData *task) { return static_cast<OuStage *>(task->data); }

// ---- Frames and their release ----

OSStatus FrameDone(OuStage *s, BZ_OuFrameRec *f) {
  std::lock_guard<std::mutex> lock(s->releaseLock);
  return BZ_OuFreeInBuffer0(&s->params, s->project, s->stage, s->inFreeQueue, s->diffCalcList, s->notifyList,
                            f->buffer);
}

OSStatus Unref(OuStage *s, BZ_OuFrameRec *f) {
  if (f == nullptr || f->refs.fetch_sub(1) != 1) return noErr;
  BZ_OuDisposeFrameObjects(&f->objects);
  return FrameDone(s, f);
}

OSStatus ReleaseMessage(OuStage *s, UInt8 *buffer) {
  std::lock_guard<std::mutex> lock(s->releaseLock);
  return BZ_OuHandleFreeInBuffer0Message(s->project, s->inFreeQueue, s->diffCalcList, s->notifyList, buffer);
}

// ---- Edits ----

void DisposeEdits(OuStage *s) {
  for (SInt32 i = 0; i < s->numEdits; ++i) LL_DisposeLinkedList(&s->edits[i].firstOe);
  delete[] s->edits;
  s->edits = nullptr;
  s->numEdits = 0;
}

// An execution replays the list its start kept (the lists themselves are closed then); analysis runs the
// current list.
const BZ_OuOelList *RunList(const OuStage *s) {
  return s->exec == kBZ_ProjStateExecuting ? &s->ou->runEditList : &s->ou->outlierEditList;
}

// The run's own copy: a preview replays the preview's current edits on the previewed frame alone; other runs
// replay each frame's edits from the project's list. Called with oeCritRgn held, so no edit changes them.
OSStatus CopyEdits(OuStage *s, BZ_OuPreviewData *ouPreview) {
  SInt32 count = 0;
  if (s->exec == kBZ_ProjStatePreviewing) {
    count = ouPreview != nullptr && ouPreview->frameOutlierEditList.firstOe != nullptr ? 1 : 0;
  } else if (s->ou != nullptr) {
    for (BZ_OuFrameOelLE *f = RunList(s)->firstFrameOel; f != nullptr; f = f->next) ++count;
  }
  if (count == 0) return noErr;
  s->edits = new (std::nothrow) FrameEdits[size_t(count)]();
  if (s->edits == nullptr) return memFullErr;
  if (s->exec == kBZ_ProjStatePreviewing) {
    s->numEdits = 1;
    s->edits[0].frameNum = s->previewFrameNum;
    return BZ_OuCopyOutlierEdits(ouPreview->frameOutlierEditList.firstOe, &s->edits[0].firstOe);
  }
  for (BZ_OuFrameOelLE *f = RunList(s)->firstFrameOel; f != nullptr; f = f->next) {
    FrameEdits &e = s->edits[s->numEdits++];
    e.frameNum = f->frameOel.frameNum;
    if (OSStatus err = BZ_OuCopyOutlierEdits(f->frameOel.firstOe, &e.firstOe); err != noErr) return err;
  }
  std::stable_sort(s->edits, s->edits + s->numEdits,
                   [](const FrameEdits &a, const FrameEdits &b) { return a.frameNum < b.frameNum; });
  return noErr;
}

const BZ_OuOeLE *EditsOf(const OuStage *s, SInt32 frameNum) {
  const FrameEdits *begin = s->edits, *end = s->edits + s->numEdits;
  const FrameEdits *e = std::lower_bound(begin, end, frameNum,
                                         [](const FrameEdits &a, SInt32 n) { return a.frameNum < n; });
  return e != end && e->frameNum == frameNum ? e->firstOe : nullptr;
}

// ---- Workers ----

// Whether the frame's window position gives an output (its centre is wanted).
bool WantedAsCentre(const BZ_OuParams &p, const BZ_OuFrameRec &f) {
  return p.executing || (p.calcAutoSett == 0 && f.outArrayNum >= 0);
}

// The frame's scene value and motion vectors against the frame before it, then its objects when the chosen
// picture draws them. The job holds a reference on both frames (NewFrame), so that they stay in their buffers
// until it is through with them.
OSStatus FrameJob(OuStage *s, SInt32 workerNum, BZ_OuFrameRec *f) {
  OSStatus err = noErr;
  if (f->prevBuffer != nullptr) {
    f->sceneValue = BZ_OuGetAvPixelDiff(&s->params, f->buffer, f->prevBuffer);
    BZ_OuFindFramePairVectors(&s->params, s->ou->baseCoeffs, f->sceneValue, f->prevBuffer, f->buffer, f->pairMv,
                              BZ_OuWorkerScratchMv(s->ou, workerNum));
  }
  // Every window reading the frame waits for these, so they go first.
  f->sceneDone = true;
  f->sceneDone.notify_all();
  if (!f->objectsDone) {
    err = BZ_OuFindFrameObjects(&s->params, f->buffer, s->objectScratch + size_t(workerNum) * s->objectScratchSize,
                                BZ_OuWorkerPixelList(s->ou, workerNum), &f->objects);
    f->objectsDone = true;
    f->objectsDone.notify_all();
  }
  if (f->prevBuffer != nullptr) {
    BZ_FrameBuffInfo *prevInfo = BZ_GetFrameBuffInfo(s->stage, f->prevBuffer);
    const OSStatus prevErr = prevInfo != nullptr ? Unref(s, &s->frames[prevInfo->number]) : noErr;
    if (err == noErr) err = prevErr;
  }
  const OSStatus unrefErr = Unref(s, f);
  return err != noErr ? err : unrefErr;
}

OSStatus WindowJob(OuStage *s, SInt32 workerNum, OuJob *job) {
  const SInt32 n = s->params.numInBuffers;
  for (SInt32 i = 0; i < n; ++i)
    if (BZ_OuFrameRec *f = job->slots[i]) f->sceneDone.wait(false);
  const BZ_OuFrameRec *centre = job->slots[n / 2];
  if (centre != nullptr) centre->objectsDone.wait(false);
  UInt8 *inBuffers[kBZ_OuNumWindowSlots] = {};
  SInt32 frameNums[kBZ_OuNumWindowSlots] = {}, avPixelDiff[kBZ_OuNumWindowSlots] = {};
  BZ_OuGetWindowArrays(job->slots, n, inBuffers, frameNums, avPixelDiff);
  void *mv[kBZ_OuNumWindowSlots] = {};
  BZ_OuGetWindowMv(job->slots, n, mv);
  const SInt32 fail = gFailAfterWindows.load();
  if (fail >= 0 && gFailAfterWindows.fetch_sub(1) == 0) return gFailError.load();
  return BZ_OuRemoveOutliers(&s->params, avPixelDiff, frameNums, inBuffers, job->outBuffer,
                             BZ_OuWorkerPixelList(s->ou, workerNum), BZ_OuWorkerData(s->ou, workerNum), mv,
                             job->edits, job->previewFrame ? &s->previewTarget : nullptr,
                             s->makeObjects && centre != nullptr ? &centre->objects : nullptr);
}

OSStatus BZ_OuTaskProper(void *parameter) {
  auto *worker = static_cast<MP_TaskData *>(parameter);
  OuStage *s = StageRecord(worker->creator);
  for (;;) {
    void *kind = nullptr, *word = nullptr;
    OSStatus err = MPWaitOnQueue(worker->inputQueue, &kind, nullptr, &word, kDurationForever);
    if (err != noErr) return err;
    if (word == nullptr) return noErr;
    if (BZ_FromWord(kind) == kFrameJob) {
      if ((err = FrameJob(s, worker->number, static_cast<BZ_OuFrameRec *>(word))) != noErr) return err;
      continue;
    }
    auto *job = static_cast<OuJob *>(word);
    job->err = WindowJob(s, worker->number, job);
    // A failed window still goes to the collector, which owns its buffers from here on.
    if ((err = MPNotifyQueue(s->task2.inputQueue, BZ_Word(kBZ_ProcSubTaskType), s->project, job)) != noErr) return err;
  }
}

// ---- The collector (task 2) ----

OSStatus HandOn(OuStage *s, OuJob *job, UInt8 *frame) {
  OSStatus err = job->err;
  BZ_FrameBuffInfo *outInfo = BZ_GetFrameBuffInfo(s->receiver, frame);
  BZ_OuFrameRec *centre = job->slots[s->params.numInBuffers / 2];
  if (err == noErr && (outInfo == nullptr || centre == nullptr)) err = paramErr;
  if (err == noErr && s->params.padding == 1) {
    BZ_PadParams pad{};
    BZ_OuParamsToPadParams(&s->params, &pad);
    err = BZ_PadFrame(&pad, frame);
  }
  if (err == noErr && s->exec == kBZ_ProjStateAnalyzingMovie) {
    BZ_FrameBuffInfo *inInfo = BZ_GetFrameBuffInfo(s->stage, centre->buffer);
    err = BZ_OuAnalyzeFrame(s->project, &gBZ.dlgTaskData, &s->params, s->stage, inInfo, outInfo, job->testNum);
    if (err == noErr && centre->outArrayNum == s->params.numOutSamples - 1)
      err = BZ_OuEvaluateResult(s->project, s->stage, s->params.calcStats, s->params.numTestFrames);
  }
  return err;
}

OSStatus BZ_OuTask2(void *parameter) {
  auto *task2 = static_cast<MP_TaskData *>(parameter);
  OuStage *s = static_cast<OuStage *>(task2->data);
  Boolean finished = false;
  OSStatus firstErr = noErr;
  OSStatus result = noErr;
  while (!finished && result == noErr) {
    void *word = nullptr;
    result = BZ_WaitForBuffer(task2, task2->inputQueue, &word, nullptr, &finished);
    if (result != noErr || finished) break;
    auto *job = static_cast<OuJob *>(word);
    if ((result = MPNotifyQueue(s->stage->mpInfo.outputPool, BZ_Word(kBZ_OutlierTaskType), nullptr, job->outBuffer)) != noErr)
      break;
    for (;;) {
      UInt8 *frame = nullptr;
      result = BZ_GetFrameFromOutputPool(s->exec, s->receiver, kBZ_OutlierTaskType, &s->stage->mpInfo, &frame);
      if (result != noErr || frame == nullptr) break;
      // A copy: the slot belongs to the output buffer, which task 1 fills again as soon as the receiver has
      // given the buffer back, possibly before this loop is through with it.
      OuJob job = s->jobs[BZ_GetFrameBuffInfo(s->receiver, frame)->number];
      OuJob *done = &job;
      OSStatus err = firstErr == noErr ? HandOn(s, done, frame) : firstErr;
      if (err == noErr) {
        err = BZ_NotifyFrame(s->project, kBZ_ProcSubTaskType, nullptr, s->outInputQueue, nullptr, frame);
      } else {
        // The output goes back unused; task 1 may be waiting for it.
        BZ_NotifyFrame(s->project, kBZ_OutlierTaskType, s->outFreeQueue, nullptr, frame, nullptr);
      }
      for (SInt32 i = 0; i < s->params.numInBuffers; ++i)
        if (OSStatus e = Unref(s, done->slots[i]); err == noErr) err = e;
      if (err != noErr && firstErr == noErr) {
        firstErr = err;
        MPNotifyQueue(s->inInputQueue, BZ_Word(kBZ_OutlierTaskType), s->project, BZ_Word(err));
      }
    }
  }
  return result;
}

// ---- Task 1 ----

Boolean IsLastFrame(const BZ_OuParams &p, const BZ_OuFrameRec &f) {
  return (p.executing ? f.frameNum : f.inArrayNum) == p.numInSamples - 1;
}

// One window position: the window job when its centre is wanted, then the oldest frame leaves the window.
OSStatus HandleWindow(OuStage *s, const BZ_OuWindow &window, SInt32 *curTestNum, SInt32 *nextWindow,
                      Boolean *finished) {
  const BZ_OuParams &p = s->params;
  const SInt32 n = p.numInBuffers;
  BZ_OuFrameRec *leaving = window.slots[0];
  BZ_OuFrameRec *slots[kBZ_OuNumWindowSlots] = {};
  std::copy(window.slots, window.slots + n, slots);
  if (s->exec == kBZ_ProjStateAnalyzingMovie) {
    SInt32 frameNums[kBZ_OuNumWindowSlots];
    BZ_OuGetWindowArrays(slots, n, nullptr, frameNums, nullptr);
    const SInt32 first = BZ_OuFirstSlotOfChunk(frameNums, n);
    for (SInt32 i = 0; i < first; ++i) slots[i] = nullptr;
  }
  BZ_OuFrameRec *centre = slots[n / 2];
  const bool wanted = centre != nullptr && WantedAsCentre(p, *centre);
  OSStatus err = noErr;
  if (wanted) {
    void *word = nullptr;
    err = BZ_WaitForBuffer(s->task1, s->outFreeQueue, &word, nullptr, finished);
    if (err != noErr || *finished) return err;
    BZ_FrameBuffInfo *outInfo = BZ_GetFrameBuffInfo(s->receiver, word);
    BZ_FrameBuffInfo *inInfo = BZ_GetFrameBuffInfo(s->stage, centre->buffer);
    if (outInfo == nullptr || inInfo == nullptr) return paramErr;
    BZ_CopyFrameInfo(inInfo, outInfo);
    if (!p.executing) outInfo->outArrayNum = -1;
    OuJob *job = &s->jobs[outInfo->number];
    std::copy(slots, slots + kBZ_OuNumWindowSlots, job->slots);
    job->outBuffer = static_cast<UInt8 *>(word);
    job->testNum = !p.executing && *curTestNum < p.numTestFrames && p.testNumArray[*curTestNum] == centre->frameNum
                       ? *curTestNum
                       : -1;
    job->edits = EditsOf(s, centre->frameNum);
    job->previewFrame = s->previewFrameNum >= 0 && centre->frameNum == s->previewFrameNum &&
                        s->previewTarget.ouPreviewData != nullptr;
    job->err = noErr;
    for (BZ_OuFrameRec *f : slots)
      if (f != nullptr) ++f->refs;
    ++*nextWindow;
    err = MPNotifyQueue(s->workQueue, BZ_Word(kWindowJob), s->project, job);
    if (err != noErr) return err;
  }
  if (!p.executing && centre != nullptr && *curTestNum < p.numTestFrames &&
      p.testNumArray[*curTestNum] == centre->frameNum)
    ++*curTestNum;
  return Unref(s, leaving);
}

// A new input frame: its record, its frame job, the window moved on and handled; the flush after the last.
OSStatus NewFrame(OuStage *s, BZ_OuWindow *window, UInt8 *buffer, SInt32 *nextOut, SInt32 *curTestNum,
                  SInt32 *nextWindow, Boolean *finished) {
  const BZ_OuParams &p = s->params;
  BZ_FrameBuffInfo *info = BZ_GetFrameBuffInfo(s->stage, buffer);
  if (info == nullptr) return paramErr;
  std::printf("BZ_OutliersTask: frameNum = %ld, inArrayNum = %ld\n", long(info->frameNum), long(info->inArrayNum));
  info->outArrayNum = -1;
  if (!p.executing && *nextOut < p.numOutSamples && p.outSampleArray[*nextOut] == info->frameNum)
    info->outArrayNum = (*nextOut)++;
  BZ_OuFrameRec *f = &s->frames[info->number];
  BZ_OuFrameRec *newest = window->slots[p.numInBuffers - 1];
  f->buffer = buffer;
  f->frameNum = info->frameNum;
  f->inArrayNum = info->inArrayNum;
  f->outArrayNum = info->outArrayNum;
  f->prevBuffer = newest != nullptr ? newest->buffer : nullptr;
  f->sceneValue = 0;
  f->pairMv = info->number >= 0 && info->number < s->ou->mvNumArrays ? s->ou->mv[info->number] : nullptr;
  f->objectsDone = !(s->makeObjects && WantedAsCentre(p, *f));
  const bool job = f->prevBuffer != nullptr || !f->objectsDone;
  f->refs = job ? 2 : 1;
  f->sceneDone = f->prevBuffer == nullptr;
  if (job) {
    if (f->prevBuffer != nullptr) ++newest->refs;  // the frame job reads it; FrameJob lets go
    if (OSStatus err = MPNotifyQueue(s->workQueue, BZ_Word(kFrameJob), s->project, f); err != noErr) {
      if (f->prevBuffer != nullptr) --newest->refs;
      f->refs = 1;
      return err;
    }
  }
  BZ_OuShiftWindow(window, f);
  OSStatus err = HandleWindow(s, *window, curTestNum, nextWindow, finished);
  // The last frame: the frames still after the centre reach it by flush shifts.
  for (SInt32 i = 0; err == noErr && !*finished && IsLastFrame(p, *f) && i < p.numInBuffers - 1; ++i) {
    BZ_OuShiftWindow(window, nullptr);
    err = HandleWindow(s, *window, curTestNum, nextWindow, finished);
  }
  return err;
}

OSStatus StartTask2(OuStage *s) {
  MP_TaskData &task2 = s->task2;
  task2.type = kBZ_OutlierTaskType;
  task2.termMessage1 = BZ_Word(kBZ_OutlierTaskType);
  task2.termMessage2 = s->project;
  task2.creator = s->task1;
  // Its end goes to a queue of its own: task 1 takes it when it stops the collector.
  task2.queuesAllocated = kMP_InputQueueAlloc | kMP_TermQueueAlloc;
  task2.entryPoint = BZ_OuTask2;
  task2.data = s;
  OSStatus err = MP_CreateTask(&task2);
  if (err == noErr) {
    s->stage->taskData[1] = &task2;
    s->stage->numTasks = 2;
  }
  return err;
}

OSStatus StopTask2(OuStage *s) {
  MP_TaskData &task2 = s->task2;
  if (task2.ID == nullptr) {
    MP_DisposeTask(&task2);
    return noErr;
  }
  OSStatus err = MPNotifyQueue(task2.inputQueue, BZ_Word(kBZ_OutlierTaskType), s->project,
                               BZ_Word(kBZ_EndOfStreamMessage));
  void *result = nullptr;
  if (err == noErr) err = MPWaitOnQueue(task2.termQueue, nullptr, nullptr, &result, kDurationForever);
  if (err == noErr) err = OSStatus(BZ_FromWord(result));
  task2.ID = nullptr;
  MP_DisposeTask(&task2);
  return err;
}

// The caches, the preview's copies and the run's edits; set-up's second half, with oeCritRgn held.
OSStatus PrepareRun(OuStage *s) {
  const BZ_OuParams &p = s->params;
  SInt64 size = 0;
  OSStatus err = BZ_GetBufferSize(p.inHeight, p.inWidth, p.interlaced, nullptr, nullptr, &size);
  if (err != noErr) return err;
  s->bufferSize = size_t(size);
  if ((err = BZ_OuMakeCaches(s->ou, p.width, p.height, p.numInBuffers, BZ_GetNumSubTasks())) != noErr) return err;
  // The coefficients once per program, before any worker reads them; one vector array per input buffer.
  if ((err = BZ_OuEnsureBaseCoeffs(s->ou)) != noErr) return err;
  const SInt32 numArrays = std::clamp<SInt32>(s->stage->numFrameBuffers, 1, kBZ_OuMaxNumCached);
  if ((err = BZ_OuMakeMvCaches(s->ou, p.inWidth, p.inHeight, numArrays, BZ_GetNumSubTasks())) != noErr) return err;
  BZ_OuPictureSwitches switches{};
  BZ_OuGetPictureSwitches(&switches);
  s->makeObjects = BZ_OuSwitchesShowObjects(&switches);
  if (s->makeObjects) {
    s->objectScratchSize = BZ_OuFrameObjectsScratchSize(&p);
    err = GL_NewPtrClear(s->objectScratchSize * size_t(BZ_GetNumSubTasks()), &s->objectScratch);
    if (err != noErr) return err;
  }
  BZ_PreviewData *preview = BZ_GetPreviewDataPtr();
  BZ_OuPreviewData *ouPreview = preview != nullptr ? preview->ouPreviewData : nullptr;
  s->previewFrameNum = -1;
  if (s->exec == kBZ_ProjStatePreviewing && ouPreview != nullptr) {
    const BZ_EngineHost *host = BZ_GetEngineHost();
    s->previewFrameNum = host->getPreviewFrameNum(host->refCon);
    if ((err = BZ_OuEnsurePreviewWindowCopies(ouPreview, s->bufferSize)) != noErr) return err;
    if ((err = BZ_OuEnsurePreviewMvCopies(ouPreview, p.sett->numConstPix, s->ou->mvArraySize)) != noErr) return err;
    s->previewTarget = BZ_OuPreviewTarget{ouPreview, s->ou, s->bufferSize};
  }
  return CopyEdits(s, ouPreview);
}

OSStatus RunLoop(OuStage *s) {
  BZ_OuWindow window{};
  OSStatus err = BZ_OuInitWindow(&window, s->params.sett->numConstPix);
  SInt32 nextOut = 0, curTestNum = 0, nextWindow = 0;
  Boolean finished = false;
  while (err == noErr && !finished) {
    void *word = nullptr;
    BZ_TaskType sender = kBZ_NoTaskType;
    err = BZ_WaitForBuffer(s->task1, s->inInputQueue, &word, &sender, &finished);
    if (err != noErr || finished) break;
    const intptr_t code = BZ_FromWord(word);
    if (sender == kBZ_ComprTaskType || sender == kBZ_WriteTaskType || sender == kBZ_NoiseFrameTaskType) {
      err = ReleaseMessage(s, static_cast<UInt8 *>(word));
    } else if (sender == kBZ_OutlierTaskType) {
      err = OSStatus(code);  // a worker's or the collector's failure
    } else if (sender == kBZ_ProcSubTaskType) {
      // A worker ended on its own: it no longer counts for closing.
      MP_InvalidateAnySubTask(s->task1);
      err = code != noErr ? OSStatus(code) : kMP_TerminateTaskErr;
    } else if (code == kTooManyOutliersErr) {
      err = kTooManyOutliersErr;
    } else if (code == kBZ_EndOfStreamMessage) {
      continue;
    } else {
      err = NewFrame(s, &window, static_cast<UInt8 *>(word), &nextOut, &curTestNum, &nextWindow, &finished);
    }
  }
  return err;
}

}  // namespace

void BZ_OuFailWindowJobsAfter(SInt32 numWindows, OSStatus err) {
  gFailError = err;
  gFailAfterWindows = err != noErr ? numWindows : -1;
}

void BZ_OuParamsToPadParams(const BZ_OuParams *ouParams, BZ_PadParams *padParams) {
  BZ_StageParamsToPadParams(ouParams, padParams);
}

void BZ_OuDisposeParamsArrays(BZ_OuParams *ouParams) {
  if (ouParams == nullptr) return;
  delete[] ouParams->inSampleArray;
  delete[] ouParams->outSampleArray;
  delete[] ouParams->testNumArray;
  ouParams->inSampleArray = ouParams->outSampleArray = ouParams->testNumArray = nullptr;
}

namespace {

void PrintFrameList(const char *title, const SInt32 *list, SInt32 count) {
  std::string line = title;
  char number[24];
  for (SInt32 i = 0; i < count; ++i) {
    std::snprintf(number, sizeof number, "%ld,", long(list[i]));
    line += number;
  }
  std::snprintf(number, sizeof number, " (%ld frames)\n", long(count));
  line += number;
  std::fputs(line.c_str(), stdout);
}

}  // namespace

OSStatus BZ_SetupOuTask(MP_TaskData *taskData, BZ_ProjPtr project, BZ_OuParams *p, BZ_BuffInfo **stageBuffInfo,
                        BZ_BuffInfo **outBuffInfo, MPQueueID *inFreeQueue, MPQueueID *inInputQueue,
                        MPQueueID *outFreeQueue, MPQueueID *outInputQueue) {
  if (taskData == nullptr || project == nullptr || p == nullptr || stageBuffInfo == nullptr ||
      outBuffInfo == nullptr)
    return paramErr;
  *p = BZ_OuParams{};
  const BZ_StatMovInfo *movies = project->info.statMovInfo;
  p->inHeight = movies[0].height;
  p->inWidth = movies[0].width;
  const SInt32 numFrames = BZ_GetNumFramesInMovie(movies);
  p->interlaced = project->info.settings.input.interlaced;
  p->topFieldFirst = project->info.settings.input.topFieldFirst;
  SInt64 size = 0;
  OSStatus err = BZ_GetBufferSize(p->inHeight, p->inWidth, p->interlaced, &p->height, &p->width, &size);
  if (err != noErr) return err;
  p->sett = &project->info.settings.cleaning.ou;
  // The window arrays hold 13 slots; any other k would index outside them.
  const SInt32 k = p->sett->numConstPix;
  if (k < kBZ_OuMinNumConstPix || k > kBZ_OuMaxNumConstPix) return paramErr;
  p->padding = BZ_GetPadding(project, kBZ_OutlierTaskType) ? 1 : 0;
  p->numInBuffers = 4 * k + 1;
  const BZ_ExecuteState exec = project->state.exec;
  p->executing = exec == kBZ_ProjStateExecuting;
  p->calcAutoSett = 0;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  p->calcStats = exec == kBZ_ProjStateAnalyzingMovie && host->getAutoSettStage(host->refCon) == 0;

  BZ_BuffInfo *table = project->dynIO_Info.buffInfo;
  BZ_BuffInfo *stage = BZ_GetBufferInfoByStageType(table, kBZ_OutlierTaskType, 0);
  BZ_BuffInfo *receiver = stage != nullptr ? BZ_GetOutputBufferInfoForStage(table, stage, 0) : nullptr;
  if (receiver != nullptr && receiver->type == kBZ_ComprTaskType && !p->executing)
    receiver = BZ_GetOutputBufferInfoForStage(table, receiver, 0);
  MP_TaskData *own = stage != nullptr ? stage->taskData[0].load() : nullptr;
  MP_TaskData *next = receiver != nullptr ? receiver->taskData[0].load() : nullptr;
  if (own == nullptr || next == nullptr) return paramErr;
  *stageBuffInfo = stage;
  *outBuffInfo = receiver;
  *inFreeQueue = own->inFreeQueue;
  *inInputQueue = own->inputQueue;
  *outFreeQueue = next->inFreeQueue;
  *outInputQueue = next->inputQueue;
  p->freeInputBuffer = !BZ_NeedInBufferForNoiseCalc(table, stage, exec, project->info.settings.output.makeNoiseMovie,
                                                    p->calcStats);

  const SInt32 maxSamples = std::max<SInt32>(BZ_GetMaxSampleNumArraySize(table), 1);
  p->inSampleArray = new (std::nothrow) SInt32[size_t(maxSamples)]();
  p->outSampleArray = new (std::nothrow) SInt32[size_t(maxSamples)]();
  p->testNumArray = new (std::nothrow) SInt32[size_t(std::max<SInt32>(maxSamples, kBZ_NumTestFrames + 1))]();
  if (p->inSampleArray == nullptr || p->outSampleArray == nullptr || p->testNumArray == nullptr) return memFullErr;
  if (p->executing) {
    p->numInSamples = numFrames;
  } else {
    err = BZ_SelectMovieSamplesForStage(numFrames, kBZ_OutlierTaskType, p->inSampleArray, &p->numInSamples,
                                        p->outSampleArray, &p->numOutSamples, p->testNumArray, &p->numTestFrames);
    if (err != noErr) return err;
    std::printf("\nmaxSampleNumArraySize = %ld\n", long(maxSamples));
    std::printf("Outlier samples: \n");
    PrintFrameList("In samples: ", p->inSampleArray, p->numInSamples);
    PrintFrameList("Out samples: ", p->outSampleArray, p->numOutSamples);
    PrintFrameList("Test samples: ", p->testNumArray, p->numTestFrames);
    std::printf("\n");
  }
  p->event = stage->event;
  (void)taskData;
  return noErr;
}

OSStatus BZ_OutliersTask(void *parameter) {
  auto *task = static_cast<MP_TaskData *>(parameter);
  if (task == nullptr) return paramErr;
  auto *project = static_cast<BZ_ProjPtr>(task->termMessage2);
  std::printf("KBZ: setting up outlier task\n");
  BZ_OuDlgTaskData *ou = gBZ.dlgTaskData.ouDlgTaskData;
  BZ_BuffInfo *stage = project != nullptr ? BZ_StageOfTask(project->dynIO_Info.buffInfo, task) : nullptr;
  if (ou == nullptr || stage == nullptr) return paramErr;
  OSStatus err = MPEnterCriticalRegion(ou->oeCritRgn, kDurationForever);
  if (err != noErr) return err;

  if (stage->addStorage == nullptr) stage->addStorage = std::calloc(1, sizeof(OuStage));
  OuStage *s = stage->addStorage != nullptr ? new (stage->addStorage) OuStage{} : nullptr;
  if (s == nullptr) err = memFullErr;
  if (err == noErr) {
    task->data = s;
    s->task1 = task;
    s->project = project;
    s->ou = ou;
    s->exec = project->state.exec;
    err = BZ_SetupOuTask(task, project, &s->params, &s->stage, &s->receiver, &s->inFreeQueue, &s->inInputQueue,
                         &s->outFreeQueue, &s->outInputQueue);
  }
  if (err == noErr) err = PrepareRun(s);
  bool task2Started = false;
  if (err == noErr && (err = StartTask2(s)) == noErr) {
    task2Started = true;
    s->workQueue = stage->subTaskInputQueue;
    task->numSubTasks = BZ_GetNumSubTasks();
    err = BZ_CreateSubTasks(task, BZ_OuTaskProper, s->workQueue);
  }
  if (err == noErr) err = RunLoop(s);

  task->exiting = true;
  if (s != nullptr) {
    OSStatus closeErr = BZ_CloseProcSubTasks(task, project);
    if (err == noErr) err = closeErr;
    if (task2Started && (closeErr = StopTask2(s)) != noErr && err == noErr) err = closeErr;
    BZ_OuDisposeParamsArrays(&s->params);
    DisposeEdits(s);
    // Objects of frames a failed run left behind.
    for (BZ_OuFrameRec &f : s->frames) BZ_OuDisposeFrameObjects(&f.objects);
    GL_DisposePtr(&s->objectScratch);
  }
  std::printf("KBZ: exiting outlier task, error = %ld\n", long(err));
  const OSStatus leaveErr = MPExitCriticalRegion(ou->oeCritRgn);
  return err != noErr ? err : leaveErr;
}

OSStatus BZ_OuAnalyzeFrame(BZ_ProjPtr project, BZ_DlgTaskData *dlgData, const BZ_OuParams *ouParams,
                           BZ_BuffInfo *stageBuffInfo, BZ_FrameBuffInfo *inInfo, BZ_FrameBuffInfo *outInfo,
                           SInt32 curTestNum) {
  if (project == nullptr || dlgData == nullptr || ouParams == nullptr || stageBuffInfo == nullptr ||
      inInfo == nullptr || outInfo == nullptr)
    return paramErr;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  BZ_ProjDlgState *state = host->getDialogStatePtr(host->refCon);
  const SInt32 stageNum = stageBuffInfo->number;
  if (inInfo->outArrayNum == 0 && ouParams->calcStats && stageNum >= 0 && stageNum < kBZ_MaxNumStages)
    state->findingFrameDiff[stageNum] = true;
  if (!ouParams->calcStats) return noErr;
  BZ_DlgTaskInput input{};
  BZ_OuFillDlgTaskInput(stageBuffInfo, inInfo, inInfo->ptr, outInfo->ptr, &input);
  if (curTestNum < 0 || curTestNum >= ouParams->numTestFrames ||
      ouParams->testNumArray[curTestNum] != inInfo->frameNum) {
    outInfo->statsNum = -1;
    return noErr;
  }
  input.testNum = curTestNum;
  outInfo->statsNum = curTestNum;
  MPEventFlags expected = 0;
  return BZ_GeneralFrameAnalysis(stageBuffInfo, dlgData, false, &input, &expected);
}

OSStatus BZ_OuEvaluateResult(BZ_ProjPtr project, BZ_BuffInfo *stageBuffInfo, Boolean calcStats,
                             SInt32 numTestFrames) {
  if (!calcStats) return noErr;
  if (project == nullptr || stageBuffInfo == nullptr) return paramErr;
  OSStatus err = BZ_FinishGeneralFrameAnalysis(stageBuffInfo, false, numTestFrames);
  if (err == noErr && stageBuffInfo->number >= 0 && stageBuffInfo->number < kBZ_MaxNumStages) {
    const BZ_EngineHost *host = BZ_GetEngineHost();
    host->getDialogStatePtr(host->refCon)->findingFrameDiff[stageBuffInfo->number] = false;
  }
  return err;
}

void BZ_OuFillDlgTaskInput(const BZ_BuffInfo *stageBuffInfo, const BZ_FrameBuffInfo *inInfo, UInt8 *inBuffer,
                           UInt8 *outBuffer, BZ_DlgTaskInput *dlgTaskInput) {
  if (stageBuffInfo == nullptr || inInfo == nullptr || dlgTaskInput == nullptr) return;
  dlgTaskInput->inBuffer = inBuffer;
  dlgTaskInput->outBuffer = outBuffer;
  dlgTaskInput->frameNum = inInfo->frameNum;
  dlgTaskInput->arrayNum = inInfo->inArrayNum;
  dlgTaskInput->realArrayNum = inInfo->outArrayNum;
  dlgTaskInput->stageNum = stageBuffInfo->number;
  dlgTaskInput->fileNum = stageBuffInfo->fileNum;
}
