// The compress stage: output corrections, compression into write-stage buffers, and the completion that
// hands compressed frames on.
#include "engine/compress_stage.h"
#include "engine/noise_movie_stage.h"

#include "color/frame_edits.h"
#include "color/legalising.h"
#include "color/planar420.h"
#include "engine/project_start.h"
#include "engine/runtime/engine_host.h"
#include "engine/runtime/progress_frames.h"
#include "engine/runtime/shell_senders.h"
#include "engine/runtime/stage_access.h"
#include "engine/runtime/working_format.h"
#include "engine/tasks/task_runtime.h"
#include "engine/write_stage.h"
#include "movie/codecs.h"
#include "platform/movie/compression.h"
#include "platform/movie/decompression.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// How long the exit wait for compressions in flight sleeps between looks.
constexpr SInt32 kInFlightWaitSliceMs = 20;

void PrintCompletionError(OSStatus err) {
  std::printf("KBZ: BZ_CompressCompletionProc: error = %ld\n", long(err));
}

bool IsCompleted(const BZ_CompressData *record) {
  return std::atomic_ref<Boolean>(const_cast<Boolean &>(record->completed)).load(std::memory_order_acquire);
}

void MarkCompleted(BZ_CompressData *record) {
  std::atomic_ref<Boolean>(record->completed).store(true, std::memory_order_release);
}

// What the end of a completion needs of its record, taken before the record can be reused (once its
// write-stage buffer has gone to the write stage, the stage may take it back and start the next frame).
struct Turn {
  BZ_CompressParams *params = nullptr;  // set when the stage has workers: frames then leave by turns
  BZ_ProjPtr project = nullptr;
  MPQueueID inFreeQueue = nullptr;      // set for a pooled frame: its working frame goes back here
  UInt8 *inBuffer = nullptr;
};

// Waits until every frame started before the record's has gone to the write stage. The main thread never
// waits: a frame compressed there was started only once nothing else was in flight.
Turn TakeTurn(const BZ_CompressData *record) {
  Turn t;
  t.project = record->project;
  if (record->pooled) {
    t.inFreeQueue = record->inFreeQueue;
    t.inBuffer = record->inBuffer;
  }
  BZ_CompressParams *p = record->params;
  if (p == nullptr || p->numWorkers == 0) return t;
  t.params = p;
  if (record->heapCopy) return t;
  std::unique_lock<std::mutex> lock(p->turnLock);
  p->turnChanged.wait(lock, [&] { return p->turn == record->order; });
  return t;
}

// After the hand-over (or the failure): a pooled frame's working frame goes back to the stage, and the next
// frame's turn comes.
void PassTurn(const Turn &t) {
  if (t.inFreeQueue != nullptr && t.inBuffer != nullptr)
    BZ_NotifyFrame(t.project, kBZ_ComprTaskType, t.inFreeQueue, nullptr, t.inBuffer, nullptr);
  if (t.params == nullptr) return;
  {
    std::lock_guard<std::mutex> lock(t.params->turnLock);
    ++t.params->turn;
  }
  t.params->turnChanged.notify_all();
}

// Compress worker: takes a record (third word; none ends the worker) and compresses its frame; the completion
// does the rest. A compression that cannot start is completed with its error, so that its turn passes.
OSStatus CompressWorkerTask(void *parameter) {
  auto *self = static_cast<MP_TaskData *>(parameter);
  for (;;) {
    void *word = nullptr;
    OSStatus err = MPWaitOnQueue(self->inputQueue, nullptr, nullptr, &word, kDurationForever);
    if (err != noErr || word == nullptr) return err;
    auto *d = static_cast<BZ_CompressData *>(word);
    err = CompressSequenceFrame(d->seqID, d->pixMap, nullptr, codecFlagUpdatePrevious,
                                reinterpret_cast<Ptr>(d->comprBuffer), &d->dataSize, nullptr, &d->completionProcRecord);
    if (err != noErr)
      BZ_CompressCompletionProc(OSErr(err), codecCompletionSource | codecCompletionDest, long(reinterpret_cast<intptr_t>(d)));
  }
}

// Codecs whose sequences run on any task and keep no state between frames: their frames may compress side
// by side, one sequence (a buffer's) each.
bool PoolsCompressions(CodecType cType) {
  return QT_IsDV_CodecType(cType) || QT_IsDVCProHD_CodecType(cType) || QT_IsJPEG_CodecType(cType);
}

// Write-task-like state of the compress task between frames.
struct CompressTask {
  MP_TaskData *self = nullptr;
  BZ_ProjPtr project = nullptr;
  BZ_BuffInfo *stage = nullptr;
  BZ_BuffInfo *write = nullptr;
  BZ_CompressParams *params = nullptr;

  // Waits on the stage event until `awaited` has arrived; the stop flag ends the wait (userCanceledErr).
  OSStatus AwaitFlags(MPEventFlags awaited) {
    for (;;) {
      if (params->pendingFlags & kBZ_StopTaskFlag) return userCanceledErr;
      const MPEventFlags got = params->pendingFlags & awaited;
      params->pendingFlags &= ~got;
      awaited &= ~got;
      if (awaited == 0) return noErr;
      MPEventFlags flags = 0;
      OSStatus err = MPWaitForEvent(stage->event, &flags, kDurationForever);
      if (err != noErr) return err;
      params->pendingFlags |= flags;
    }
  }

  // Waits until the record's completion has run; the stop flag ends the wait (userCanceledErr).
  OSStatus AwaitCompletion(const BZ_CompressData *record) {
    while (!IsCompleted(record)) {
      MPEventFlags flags = 0;
      if (params->pendingFlags & kBZ_StopTaskFlag) return userCanceledErr;
      OSStatus err = MPWaitForEvent(stage->event, &flags, kDurationForever);
      if (err != noErr) return err;
      params->pendingFlags |= flags & ~kBZ_CompressionDoneFlag;
    }
    return noErr;
  }

  OSStatus Run();
  OSStatus HandleFrame(UInt8 *in, Boolean *finished);
  void WaitForCompressionsInFlight();
};

OSStatus CompressTask::HandleFrame(UInt8 *in, Boolean *finished) {
  BZ_FrameBuffInfo *info = BZ_GetFrameBuffInfo(stage, in);
  if (info == nullptr) return paramErr;
  BZ_CompressParams &p = *params;
  const GL_ProcessorInfo &cpu = gBZ.procInfo;
  if (p.maskingCrop) {
    // The compression takes the whole frame: masked margins are painted here, as the write stage paints them
    // in uncompressed output.
    BZ_WriteParams crop{};
    crop.interlaced = p.interlaced;
    crop.inHeight = p.inHeight;
    crop.inWidth = p.inWidth;
    crop.cropRect = p.cropRect;
    BZ_Crop(in, p.height, p.width, &crop);
  }
  if (p.removeWhiteLine && BZ_GetWhiteLineRow(p.interlaced, p.whiteLineIsBottomLine) < p.height)
    BZ_RemoveWhiteLine(in, p.width, p.interlaced, p.whiteLineIsBottomLine);
  if (p.yuvSanityCheck && p.legaliseWorkers != nullptr) {
    if (OSStatus err = BZ_SanityCheckFrameInBands(p.legaliseWorkers, p.height, in, p.preserveHighlights); err != noErr)
      return err;
  } else if (p.yuvSanityCheck) {
    CO_FrameSanityCheckUni(cpu.hasAltivec, cpu.hasSSE3, p.height, p.width, in, p.linePtrYUV255, p.preserveHighlights);
  }
  if (p.ntscSafeColors)
    CO_FrameLimitIRE_Uni(cpu.hasAltivec, cpu.hasSSE3, p.height, p.width, in, p.linePtrYUV255, p.preserveHighlights,
                         p.maxIRE);
  if (p.oddCropping) CO_ShiftFrameChroma(p.height, p.width, in);

  // The progress view reads the corrected frame while it is compressed.
  Boolean showing = false;
  OSStatus err = BZ_StartShowingProgressFrame(project, info, &showing);
  if (err != noErr) return err;
  void *outWord = nullptr;
  err = BZ_WaitForBuffer(self, write->taskData[0].load()->inFreeQueue, &outWord, nullptr, finished);
  if (err != noErr || *finished) return err;
  // A frame nothing else reads after the compression goes to a worker, and the next frame comes at once.
  const bool pooled = p.numWorkers > 0 && !p.makeNoiseMovie && !showing;
  BZ_FrameBuffInfo *outInfo = BZ_GetFrameBuffInfo(write, static_cast<UInt8 *>(outWord));
  if (outInfo == nullptr) return paramErr;
  BZ_CompressData &record = p.compressData[outInfo->number];
  record.pooled = pooled;
  if ((err = BZ_Compress(self, info, static_cast<UInt8 *>(outWord), params)) != noErr) return err;
  if (pooled) return noErr;
  if ((err = AwaitCompletion(&record)) != noErr) return err;
  // A compression that failed has left its error with the project.
  if ((err = project->state.error.load()) != noErr) return err;
  if (p.makeNoiseMovie) {
    // The noise-movie stage reads the cleaned frame before it goes back.
    BZ_BuffInfo *noise = BZ_GetBufferInfoByStageType(project->dynIO_Info.buffInfo, kBZ_NoiseFrameTaskType, 0);
    MP_TaskData *noiseTask = noise != nullptr ? noise->taskData[0].load() : nullptr;
    if (noiseTask == nullptr) return paramErr;
    if ((err = MPNotifyQueue(noiseTask->inputQueue, BZ_Word(kBZ_ComprTaskType), project, in)) != noErr) return err;
    if ((err = AwaitFlags(kBZ_NoiseFrameReleasedFlag)) != noErr) return err;
    if ((err = BZ_ReleaseDirtyFramesAfterNoise(project, kBZ_ComprTaskType, info)) != noErr) return err;
  }
  if (showing && (err = AwaitFlags(kBZ_DisplayDecompressDoneFlag)) != noErr) return err;
  return BZ_NotifyFrame(project, kBZ_ComprTaskType, self->inFreeQueue, nullptr, in, nullptr);
}

// Compressions still in flight write into write-stage buffers and post to the write stage: the task stays
// until every one has completed, or until it is stopped.
void CompressTask::WaitForCompressionsInFlight() {
  if (params == nullptr || stage == nullptr) return;
  while (params->numComprStarted > params->numComprCompleted && !(params->pendingFlags & kBZ_StopTaskFlag)) {
    MPEventFlags flags = 0;
    OSStatus err = MPWaitForEvent(stage->event, &flags, MP_MilliSecondToDuration(kInFlightWaitSliceMs));
    if (err == noErr)
      params->pendingFlags |= flags;
    else if (err != kMPTimeoutErr)
      break;
  }
}

OSStatus CompressTask::Run() {
  stage = BZ_StageOfTask(project->dynIO_Info.buffInfo, self);
  if (stage == nullptr) return paramErr;
  write = BZ_GetWriteBuffInfo(project->dynIO_Info.buffInfo, 0);
  if (write == nullptr || write->taskData[0] == nullptr) return paramErr;
  OSStatus err = BZ_SetupCompressTask(self, &params);
  if (err != noErr) return err;
  Boolean finished = false;
  while (!finished) {
    void *word = nullptr;
    if ((err = BZ_WaitForBuffer(self, self->inputQueue, &word, nullptr, &finished)) != noErr || finished) break;
    if (word == nullptr || BZ_FromWord(word) == kBZ_EndOfStreamMessage) continue;
    if ((err = HandleFrame(static_cast<UInt8 *>(word), &finished)) != noErr) break;
  }
  return err;
}

}  // namespace

OSStatus BZ_CompressTask(void *parameter) {
  auto *self = static_cast<MP_TaskData *>(parameter);
  if (self == nullptr || self->termMessage2 == nullptr) return paramErr;
  std::printf("KBZ: setting up compress task\n");
  CompressTask t;
  t.self = self;
  t.project = static_cast<BZ_ProjPtr>(self->termMessage2);
  OSStatus err = t.Run();
  self->exiting = true;
  t.WaitForCompressionsInFlight();
  if (t.params != nullptr && t.params->workerOwner.subTaskList != nullptr) {
    // Jobs not taken by a stopped run are dropped with the queue; their turn never comes.
    BZ_CloseProcSubTasks(&t.params->workerOwner, nullptr);
  }
  if (t.params != nullptr) {
    if (t.params->workerJobs != nullptr) MPDeleteQueue(t.params->workerJobs);
    if (t.params->workerOwner.inputQueue != nullptr) MPDeleteQueue(t.params->workerOwner.inputQueue);
    t.params->workerJobs = nullptr;
    t.params->workerOwner.inputQueue = nullptr;
    t.params->numWorkers = 0;
  }
  if (t.params != nullptr) {
    if (t.params->linePtrYUV255 != nullptr) MPFree(t.params->linePtrYUV255);
    if (t.params->linePairBuffer != nullptr) MPFree(t.params->linePairBuffer);
    t.params->linePtrYUV255 = nullptr;
    t.params->linePairBuffer = nullptr;
    BZ_DisposeFrameBandWorkers(t.params->legaliseWorkers);
    t.params->legaliseWorkers = nullptr;
    // A compression that a stop left in flight may still write into the scratch buffer: it stays then.
    if (t.params->scratchBuffer != nullptr && t.params->numComprStarted == t.params->numComprCompleted) {
      MPFree(t.params->scratchBuffer);
      t.params->scratchBuffer = nullptr;
    }
  }
  if (err == userCanceledErr) err = noErr;
  std::printf("KBZ: exiting compress task, error = %ld\n", long(err));
  return err;
}

OSStatus BZ_SetupCompressTask(MP_TaskData *taskData, BZ_CompressParams **compressParams) {
  if (taskData == nullptr || compressParams == nullptr) return paramErr;
  auto *project = static_cast<BZ_ProjPtr>(taskData->termMessage2);
  BZ_BuffInfo *stage = project != nullptr ? BZ_StageOfTask(project->dynIO_Info.buffInfo, taskData) : nullptr;
  if (stage == nullptr) return paramErr;
  BZ_BuffInfo *write = BZ_GetWriteBuffInfo(project->dynIO_Info.buffInfo, 0);
  if (write == nullptr || write->taskData[0] == nullptr) return paramErr;
  // The parameters outlive the task: a completion may still come from the main thread.
  if (stage->addStorage == nullptr) stage->addStorage = std::calloc(1, sizeof(BZ_CompressParams));
  if (stage->addStorage == nullptr) return memFullErr;
  auto *p = new (stage->addStorage) BZ_CompressParams{};
  *compressParams = p;

  const BZ_ProjSett &sett = project->info.settings;
  const BZ_StatMovInfo *movies = project->info.statMovInfo;
  p->inHeight = movies[0].height;
  p->inWidth = movies[0].width;
  p->interlaced = sett.input.interlaced;
  OSStatus err = BZ_GetBufferSize(p->inHeight, p->inWidth, p->interlaced, &p->height, &p->width, nullptr);
  if (err != noErr) return err;
  p->linePtrYUV255 = static_cast<float *>(
      MPAllocateAligned(size_t(p->width) * 8, kMPAllocate16ByteAligned, kMPAllocateClearMask));
  if (p->linePtrYUV255 == nullptr) return memFullErr;
  const BZ_AppPrefs prefs = BZ_GetEngineAppPrefs();
  p->yuvSanityCheck = prefs.yuvSanityCheck;
  p->preserveHighlights = prefs.preserveHighlights;
  p->ntscSafeColors = prefs.ntscSafeColors;
  p->maxIRE = float(prefs.maxIRE) / 100.0f;
  if (p->yuvSanityCheck) {
    OSStatus workersErr = BZ_CreateFrameBandWorkers(p->width, BZ_GetNumSubTasks(), &p->legaliseWorkers);
    if (workersErr != noErr) return workersErr;
  }
  p->makeNoiseMovie = sett.output.makeNoiseMovie;
  p->cType = sett.output.cType;

  MP_TaskData *writeTask = write->taskData[0];
  const SInt32 numOut = std::min<SInt32>(write->numFrameBuffers, kBZ_MaxFrameBuffers);
  for (SInt32 i = 0; i < numOut; ++i) {
    BZ_CompressData &d = p->compressData[i];
    d.project = project;
    d.completionProcRecord.completionProc = BZ_CompressCompletionProc;
    d.completionProcRecord.completionRefCon = long(reinterpret_cast<intptr_t>(&d));
    d.freeQueue = writeTask->inFreeQueue;
    d.outInputQueue = writeTask->inputQueue;
    d.fileNum = 0;
    d.numComprFinished = &p->numComprFinished;
    d.numComprCompleted = &p->numComprCompleted;
    d.params = p;
    d.inFreeQueue = taskData->inFreeQueue;
  }
  BZ_CopyWhiteLineSett(movies, &sett, &p->removeWhiteLine, &p->whiteLineIsBottomLine);
  p->oddCropping = sett.input.cropping && !BZ_MasksCropMargins(&sett) && (sett.input.cropRect.left % 2) != 0;
  p->maskingCrop = sett.input.cropping && BZ_MasksCropMargins(&sett);
  p->cropRect = sett.input.cropRect;
  p->numFrames = movies[0].numFrames;

  const SInt32 maxComprSize = project->dynIO_Info.maxComprSize;
  if (p->cType != 'y420' && maxComprSize > 0 && size_t(maxComprSize) > write->size) {
    p->scratchBuffer = static_cast<UInt8 *>(MPAllocateAligned(size_t(maxComprSize), kMPAllocate16ByteAligned, 0));
    if (p->scratchBuffer == nullptr) return memFullErr;
  }
  // Workers only where each frame has a write-stage buffer, and so a sequence, of its own to compress into.
  if (PoolsCompressions(p->cType) && p->scratchBuffer == nullptr && numOut > 1) {
    p->numWorkers = std::min<SInt32>(BZ_GetNumSubTasks(), numOut);
    OSStatus err = MPCreateQueue(&p->workerOwner.inputQueue);
    if (err == noErr) err = MPCreateQueue(&p->workerJobs);
    if (err == noErr) {
      p->workerOwner.numSubTasks = p->numWorkers;
      p->workerOwner.termMessage2 = project;
      err = BZ_CreateSubTasks(&p->workerOwner, CompressWorkerTask, p->workerJobs);
    }
    if (err != noErr) return err;
  }
  if (p->cType == 'y420') {
    Rect r{};
    BZ_GetCroppedSourceRect(&sett.input, p->inHeight, p->inWidth, true, &r);
    const SInt32 h = r.bottom - r.top, w = r.right - r.left;
    const SInt32 hr = p->interlaced ? (h + 3) / 4 * 4 : (h + 1) / 2 * 2;
    const SInt32 wr = (w + 31) / 32 * 32;
    if (p->height < hr || p->width < wr) {
      p->linePairBuffer = static_cast<UInt8 *>(
          MPAllocateAligned(size_t(wr) * 6, kMPAllocate16ByteAligned, kMPAllocateClearMask));
      if (p->linePairBuffer == nullptr) return memFullErr;
    }
    if (size_t(QT_GetY420_FrameSize(h, w)) > write->size) return codecErr;
    for (SInt32 i = 0; i < numOut; ++i) QT_SetY420_Header(write->frameBuffInfo[i].ptr, h, w);
  }
  return noErr;
}

OSStatus BZ_Compress(MP_TaskData *taskData, BZ_FrameBuffInfo *inFrameBuffInfo, UInt8 *outBuffer,
                     BZ_CompressParams *p) {
  if (taskData == nullptr || inFrameBuffInfo == nullptr || outBuffer == nullptr || p == nullptr) return paramErr;
  auto *project = static_cast<BZ_ProjPtr>(taskData->termMessage2);
  BZ_BuffInfo *write = BZ_GetWriteBuffInfo(project->dynIO_Info.buffInfo, 0);
  BZ_FrameBuffInfo *outInfo = write != nullptr ? BZ_GetFrameBuffInfo(write, outBuffer) : nullptr;
  if (outInfo == nullptr) return paramErr;
  BZ_CompressData &d = p->compressData[outInfo->number];
  d.inBuffer = inFrameBuffInfo->ptr;
  d.outBuffer = outBuffer;
  d.comprBuffer = p->scratchBuffer != nullptr && p->cType != 'y420' ? p->scratchBuffer : outBuffer;
  d.notifiedFreeQueue = false;
  d.notifiedInputQueue = false;
  d.dataSize = 0;
  d.heapCopy = false;
  std::atomic_ref<Boolean>(d.completed).store(false, std::memory_order_relaxed);
  d.order = p->numComprStarted;
  ++p->numComprStarted;

  if (p->cType == 'y420') {
    Rect r{};
    BZ_GetCroppedSourceRect(&project->info.settings.input, p->inHeight, p->inWidth, true, &r);
    const SInt32 h = r.bottom - r.top, w = r.right - r.left;
    const SInt32 rowBytes = p->width * 2;
    const UInt8 *picture = inFrameBuffInfo->ptr + ptrdiff_t(r.top) * rowBytes + ptrdiff_t(r.left) * 2;
    const GL_ProcessorInfo &cpu = gBZ.procInfo;
    CO_2vuyFrameToY420_Uni(cpu.hasAltivec, cpu.hasSSE3, h, w, p->height, rowBytes, picture, outBuffer,
                           p->linePairBuffer, p->interlaced);
    d.dataSize = QT_GetY420_FrameSize(h, w);
    BZ_CompressCompletionProc(noErr, codecCompletionSource | codecCompletionDest,
                              long(reinterpret_cast<intptr_t>(&d)));
    return noErr;
  }

  BZ_BuffInfo *stage = BZ_StageOfTask(project->dynIO_Info.buffInfo, taskData);
  BZ_FrameBuffInfo *inInfo = stage != nullptr ? BZ_GetFrameBuffInfo(stage, inFrameBuffInfo->ptr) : nullptr;
  if (inInfo == nullptr) return paramErr;
  d.seqID = inInfo->comprSeqID;
  d.offscreen = inInfo->offscreen;
  d.pixMap = inInfo->pixMap;
  if (d.pooled) {
    // A worker compresses it; the completion hands it over in its turn.
    OSStatus err = MPNotifyQueue(p->workerJobs, BZ_Word(kBZ_ComprTaskType), project, &d);
    if (err != noErr) {
      --p->numComprStarted;
      BZ_NotifyFrame(project, kBZ_ComprTaskType, d.freeQueue, nullptr, outBuffer, nullptr);
    }
    return err;
  }
  OSStatus err = CompressSequenceFrame(d.seqID, d.pixMap, nullptr, codecFlagUpdatePrevious,
                                       reinterpret_cast<Ptr>(d.comprBuffer), &d.dataSize, nullptr,
                                       &d.completionProcRecord);
  if (err == componentNotThreadSafeErr) {
    // This codec only runs on the main thread, which must never wait for a turn: the frames before this one
    // go first.
    if (p->numWorkers > 0) {
      std::unique_lock<std::mutex> lock(p->turnLock);
      p->turnChanged.wait(lock, [&] { return p->turn == d.order; });
    }
    err = BZ_SendCompressEvent(&d);
  }
  if (err != noErr) {
    // Nothing was started: the compression will never complete.
    --p->numComprStarted;
    BZ_NotifyFrame(project, kBZ_ComprTaskType, d.freeQueue, nullptr, outBuffer, nullptr);
  }
  return err;
}

void BZ_CompressCompletionProc(OSErr result, SInt16 flags, long refcon) {
  auto *record = reinterpret_cast<BZ_CompressData *>(intptr_t(refcon));
  if (record == nullptr || record->project == nullptr) return;
  BZ_ProjPtr project = record->project;
  BZ_BuffInfo *table = project->dynIO_Info.buffInfo;
  BZ_BuffInfo *compr = BZ_GetComprBuffInfo(table);
  BZ_BuffInfo *write = BZ_GetWriteBuffInfo(table, 0);
  BZ_FrameBuffInfo *outInfo = write != nullptr ? BZ_GetFrameBuffInfo(write, record->outBuffer) : nullptr;
  BZ_FrameBuffInfo *inInfo = compr != nullptr ? BZ_GetFrameBuffInfo(compr, record->inBuffer) : nullptr;

  OSStatus err = result;
  if (err == noErr && (outInfo == nullptr || inInfo == nullptr)) err = paramErr;
  // The size comes from the codec: a frame the write stage's buffer cannot hold must not be written.
  if (err == noErr && (flags & codecCompletionDest) &&
      (record->dataSize < 0 || size_t(record->dataSize) > write->size))
    err = codecErr;
  if (err == noErr && project->state.error != noErr) err = project->state.error;
  // Once the write-stage buffer or the event is released the stage may reuse the record: what the end needs
  // is taken first.
  const bool heapCopy = record->heapCopy;
  std::atomic<SInt32> *completedCount = record->numComprCompleted;
  if (err != noErr) {
    const Turn turn = TakeTurn(record);
    BZ_KeepFirstError(project, err);
    PrintCompletionError(err);
    PassTurn(turn);
    const MPQueueID freeQueue = record->freeQueue;
    UInt8 *outBuffer = record->outBuffer;
    if (completedCount != nullptr) ++*completedCount;
    MarkCompleted(record);
    if (freeQueue != nullptr && outBuffer != nullptr)
      BZ_NotifyFrame(project, kBZ_ComprTaskType, freeQueue, nullptr, outBuffer, nullptr);
    if (compr != nullptr && compr->event != nullptr) MPSetEvent(compr->event, kBZ_CompressionDoneFlag);
    if (heapCopy) std::free(record);
    return;
  }

  if ((flags & (codecCompletionSource | codecCompletionDest)) != (codecCompletionSource | codecCompletionDest))
    std::printf("KBZ: BZ_CompressCompletionProc: didn't receive both flags simultaneousy\n");
  if (flags & codecCompletionSource) {
    outInfo->frameNum = inInfo->frameNum;
    outInfo->time = inInfo->time;
    outInfo->duration = inInfo->duration;
    outInfo->inArrayNum = inInfo->outArrayNum;
    if (inInfo->frameNum > 0 && record->numComprFinished != nullptr && inInfo->frameNum < *record->numComprFinished)
      std::printf("KBZ: BZ_CompressCompletionProc: compress completion out of order\n");
    record->notifiedFreeQueue = true;
  }
  if (flags & codecCompletionDest) {
    if (record->comprBuffer != nullptr && record->comprBuffer != record->outBuffer)
      std::memcpy(record->outBuffer, record->comprBuffer, size_t(record->dataSize));
    outInfo->actualSize = size_t(record->dataSize);
    record->notifiedInputQueue = true;
    if (record->dataSize == 0)
      std::printf("KBZ: BZ_CompressCompletionProc: actualSize = 0, frameNum = %ld\n", long(outInfo->frameNum));
  }
  if (!record->notifiedFreeQueue || !record->notifiedInputQueue) return;
  const Turn turn = TakeTurn(record);
  std::atomic<SInt32> *finishedCount = record->numComprFinished;
  // The record is not read after the hand-over: the write stage may give its buffer back at once.
  MarkCompleted(record);
  err = MPNotifyQueue(record->outInputQueue, BZ_Word(kBZ_ComprTaskType), project, record->outBuffer);
  if (err == noErr) {
    if (finishedCount != nullptr) ++*finishedCount;
  } else {
    BZ_KeepFirstError(project, err);
    PrintCompletionError(err);
  }
  PassTurn(turn);
  if (completedCount != nullptr) ++*completedCount;
  // The stage waits for this after the hand-over, so the record is free for the next frame.
  if (compr != nullptr && compr->event != nullptr) MPSetEvent(compr->event, kBZ_CompressionDoneFlag);
  if (heapCopy) std::free(record);
}

void BZ_DecompressCompletionProc(OSErr result, SInt16 flags, long refcon) {
  auto *record = reinterpret_cast<BZ_CompressData *>(intptr_t(refcon));
  if (record == nullptr) {
    std::printf("KBZ: BZ_DecompressCompletionProc: error = %ld\n", long(paramErr));
    return;
  }
  BZ_ProjPtr project = record->project;
  OSStatus err = result;
  if (err != noErr) {
    if (project != nullptr) BZ_KeepFirstError(project, err);
    std::printf("KBZ: BZ_DecompressCompletionProc: error = %ld\n", long(err));
    // No more calls follow a failure: both sides count as done.
    flags = SInt16(codecCompletionSource | codecCompletionDest);
  }
  if ((flags & codecCompletionSource) && !record->notifiedFreeQueue) {
    record->notifiedFreeQueue = true;
    BZ_BuffInfo *display = project != nullptr ? BZ_GetDisplayBuffer(project) : nullptr;
    if (display != nullptr && display->event != nullptr &&
        (err = MPSetEvent(display->event, kBZ_DisplayDecompressDoneFlag)) != noErr) {
      BZ_KeepFirstError(project, err);
      std::printf("KBZ: BZ_DecompressCompletionProc: error = %ld\n", long(err));
    }
  }
  if ((flags & codecCompletionDest) && !record->notifiedInputQueue) {
    record->notifiedInputQueue = true;
    if (result == noErr) {
      if ((err = BZ_SendSetNeedsDisplayEvent(kBZ_ProgressImageItem)) != noErr) {
        if (project != nullptr) BZ_KeepFirstError(project, err);
        std::printf("KBZ: BZ_DecompressCompletionProc: error = %ld\n", long(err));
      }
    }
  }
  if (record->notifiedFreeQueue && record->notifiedInputQueue) std::free(record);
}

OSStatus BZ_SendCompressEvent(const BZ_CompressData *compressData) {
  if (compressData == nullptr) return paramErr;
  const BZ_EventParam param = {kBZ_ComprDataEventParam, sizeof(BZ_CompressData), compressData};
  return BZ_PostEngineEvent(kBZ_CompressEvent, &param, 1);
}

OSStatus BZ_SendDecompressEvent(const BZ_CompressData *decompressData) {
  return BZ_SendRecordEvent(kBZ_DecompressEvent, kBZ_ComprDataEventParam, decompressData, sizeof(BZ_CompressData));
}

OSStatus BZ_HandleDecompressEvent(EventRef event) {
  auto *block = static_cast<BZ_CompressData *>(std::calloc(1, sizeof(BZ_CompressData)));
  OSStatus err = block != nullptr ? OSStatus(GetEventParameter(event, kBZ_ComprDataEventParam, kBZ_ComprDataEventParam,
                                                              nullptr, sizeof(BZ_CompressData), nullptr, block))
                                  : OSStatus(memFullErr);
  BZ_ProjPtr project = block != nullptr && block->project != nullptr ? block->project : gBZ.project;
  if (err == noErr && block->completionProcRecord.completionProc == nullptr) err = paramErr;
  if (err == noErr) {
    block->heapCopy = true;
    block->completionProcRecord.completionRefCon = long(reinterpret_cast<intptr_t>(block));
    // From here the completion procedure owns the block; it runs unless the call fails at once.
    err = DecompressSequenceFrameWhen(block->seqID, reinterpret_cast<Ptr>(block->inBuffer), block->dataSize, 0,
                                      nullptr, &block->completionProcRecord, nullptr);
  }
  if (err != noErr) {
    // No completion will run: the block is ours to free and the waiting stage ours to release.
    std::free(block);
    if (project != nullptr) {
      BZ_KeepFirstError(project, err);
      BZ_BuffInfo *display = BZ_GetDisplayBuffer(project);
      if (display != nullptr && display->event != nullptr) MPSetEvent(display->event, kBZ_DisplayDecompressDoneFlag);
    }
  }
  return err;
}

OSStatus BZ_HandleCompressEvent(EventRef event) {
  auto *block = static_cast<BZ_CompressData *>(std::calloc(1, sizeof(BZ_CompressData)));
  if (block == nullptr) return memFullErr;
  OSStatus err = GetEventParameter(event, kBZ_ComprDataEventParam, kBZ_ComprDataEventParam, nullptr,
                                   sizeof(BZ_CompressData), nullptr, block);
  if (err != noErr || block->project == nullptr || block->completionProcRecord.completionProc == nullptr) {
    // Without a record there is no stage to release.
    std::free(block);
    return err != noErr ? err : paramErr;
  }
  block->heapCopy = true;
  block->completionProcRecord.completionRefCon = long(reinterpret_cast<intptr_t>(block));
  ICMCompletionUPP completion = block->completionProcRecord.completionProc;
  BZ_ProjPtr project = block->project;
  if (block->comprBuffer == nullptr) block->comprBuffer = block->outBuffer;
  err = CompressSequenceFrame(block->seqID, block->pixMap, nullptr, codecFlagUpdatePrevious,
                              reinterpret_cast<Ptr>(block->comprBuffer), &block->dataSize, nullptr,
                              &block->completionProcRecord);
  if (err != noErr) {
    // The frame was never started: completing it with the error releases the waiting stage (and frees
    // the block).
    BZ_KeepFirstError(project, err);
    completion(OSErr(err), codecCompletionSource | codecCompletionDest, long(reinterpret_cast<intptr_t>(block)));
  }
  return err;
}
