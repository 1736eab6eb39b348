// The shared pieces of the cleaning-method stages: the run's record, the distributor's steps, the workers'
// queue steps and the collector's ordered hand-on with the analysis of test frames.
#include "methods/method_stage.h"

#include "engine/runtime/analysis_tasks.h"
#include "engine/runtime/engine_host.h"
#include "engine/runtime/frame_selection.h"
#include "engine/runtime/stage_access.h"
#include "engine/runtime/working_format.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

namespace {

BZ_ProjPtr ProjectOf(MP_TaskData *task) { return static_cast<BZ_ProjPtr>(task->termMessage2); }

// The frames an analysis run hands on through the stage and the test frames among them.
OSStatus SelectFrames(BZ_MethodStage *ms) {
  ms->numFrames = 0;
  ms->numTestFrames = 0;
  ms->testNumArray[0] = kBZ_EndOfFrameList;
  if (ms->exec == kBZ_ProjStateExecuting) return noErr;
  const SInt32 capacity = std::max<SInt32>(BZ_GetMaxSampleNumArraySize(ms->project->dynIO_Info.buffInfo), 1);
  std::vector<SInt32> inList(static_cast<size_t>(capacity)), outList(inList.size());
  SInt32 numIn = 0;
  return BZ_SelectMovieSamplesForStage(ms->project->info.statMovInfo[0].numFrames, ms->type, inList.data(), &numIn,
                                       outList.data(), &ms->numFrames, ms->testNumArray, &ms->numTestFrames);
}

// A test frame of an analysis with calcStats goes through the general frame analysis; after the run's last
// frame the results are condensed.
OSStatus AnalyseFrame(BZ_MethodStage *ms, UInt8 *inBuffer, UInt8 *outBuffer) {
  BZ_FrameBuffInfo *inInfo = BZ_GetFrameBuffInfo(ms->stage, inBuffer);
  if (inInfo == nullptr) return paramErr;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  BZ_ProjDlgState *dlgState = host->getDialogStatePtr(host->refCon);
  const SInt32 stageNum = std::clamp<SInt32>(ms->stage->number, 0, kBZ_MaxNumStages - 1);
  const SInt32 numTests = std::min<SInt32>(ms->numTestFrames, kBZ_NumTestFrames);
  OSStatus err = noErr;
  if (ms->nextTest < numTests && inInfo->frameNum == ms->testNumArray[ms->nextTest]) {
    if (ms->nextTest == 0) {
      dlgState->findingNoiseLevel[stageNum] = ms->reduceNoiseInEntireFrame;
      dlgState->findingFrameDiff[stageNum] = true;
    }
    BZ_MsFillDlgTaskInput(ms->stage, inBuffer, outBuffer, &ms->dlgTaskInput);
    ms->dlgTaskInput.testNum = ms->nextTest++;
    if ((err = BZ_GeneralFrameAnalysis(ms->stage, &gBZ.dlgTaskData, ms->reduceNoiseInEntireFrame, &ms->dlgTaskInput,
                                       nullptr)) != noErr)
      return err;
  }
  if (++ms->framesAnalysed != ms->numFrames || ms->nextTest == 0) return noErr;
  err = BZ_FinishGeneralFrameAnalysis(ms->stage, ms->reduceNoiseInEntireFrame, ms->nextTest);
  dlgState->findingNoiseLevel[stageNum] = false;
  dlgState->findingFrameDiff[stageNum] = false;
  return err;
}

}  // namespace

// ---- Distributor ----

OSStatus BZ_MsFindStage(MP_TaskData *task1, BZ_BuffInfo **stage, BZ_BuffInfo **receiver) {
  if (task1 == nullptr || stage == nullptr || receiver == nullptr) return paramErr;
  *stage = *receiver = nullptr;
  BZ_ProjPtr project = ProjectOf(task1);
  if (project == nullptr) return paramErr;
  BZ_BuffInfo *table = project->dynIO_Info.buffInfo;
  BZ_BuffInfo *own = BZ_StageOfTask(table, task1);
  BZ_BuffInfo *next = own != nullptr ? BZ_GetOutputBufferInfoForStage(table, own, 0) : nullptr;
  // Only an execution compresses; in the other runs the frames go past the compress stage.
  if (next != nullptr && next->type == kBZ_ComprTaskType && project->state.exec != kBZ_ProjStateExecuting)
    next = BZ_GetWriteBuffInfo(table, 0);
  if (own == nullptr || next == nullptr || next->taskData[0] == nullptr) return paramErr;
  *stage = own;
  *receiver = next;
  return noErr;
}

OSStatus BZ_MsCreateStageRecord(MP_TaskData *task1, size_t itemSize, BZ_MethodStage **ms) {
  if (ms == nullptr) return paramErr;
  *ms = nullptr;
  BZ_BuffInfo *stage = nullptr, *receiver = nullptr;
  OSStatus err = BZ_MsFindStage(task1, &stage, &receiver);
  if (err != noErr) return err;
  // The items follow the record, aligned for any record a method keeps in them.
  constexpr size_t kAlign = alignof(std::max_align_t);
  const size_t head = (sizeof(BZ_MethodStage) + kAlign - 1) / kAlign * kAlign;
  const size_t itemStride = std::max<size_t>((itemSize + kAlign - 1) / kAlign * kAlign, kAlign);
  const size_t size = head + itemStride * kBZ_MaxFrameBuffers;
  auto *old = static_cast<BZ_MethodStage *>(stage->addStorage);
  if (old != nullptr && old->storageSize < size) {
    std::free(stage->addStorage);
    stage->addStorage = nullptr;
  }
  if (stage->addStorage == nullptr) {
    stage->addStorage = std::calloc(1, size);
    if (stage->addStorage == nullptr) return memFullErr;
    static_cast<BZ_MethodStage *>(stage->addStorage)->storageSize = size;
  }
  const size_t storageSize = static_cast<BZ_MethodStage *>(stage->addStorage)->storageSize;
  auto *s = new (stage->addStorage) BZ_MethodStage{};
  s->storageSize = storageSize;
  s->project = ProjectOf(task1);
  s->stage = stage;
  s->receiver = receiver;
  s->type = stage->type;
  s->exec = s->project->state.exec;
  s->ownFreeQueue = task1->inFreeQueue;
  s->outFreeQueue = receiver->taskData[0].load()->inFreeQueue;
  s->outInputQueue = receiver->taskData[0].load()->inputQueue;
  s->items = static_cast<UInt8 *>(stage->addStorage) + head;
  s->itemSize = itemStride;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  s->calcStats = s->exec == kBZ_ProjStateAnalyzingMovie && host->getAutoSettStage(host->refCon) == 0;
  s->freeInputBuffer = !BZ_NeedInBufferForNoiseCalc(s->project->dynIO_Info.buffInfo, stage, s->exec,
                                                    s->project->info.settings.output.makeNoiseMovie, s->calcStats);
  // Kept inputs come back from a later stage: the compress or write stage once an execution's noise frame is
  // made, the write stage once a statistics run has measured the frame. A preview's one frame is not given
  // back (the next run refills the pools), so it goes back at once.
  if (s->exec == kBZ_ProjStatePreviewing) s->freeInputBuffer = true;
  s->reduceNoiseInEntireFrame = true;
  task1->data = s;
  if (s->ownFreeQueue == nullptr || s->outFreeQueue == nullptr || s->outInputQueue == nullptr) return paramErr;
  if ((err = SelectFrames(s)) != noErr) return err;
  *ms = s;
  return noErr;
}

OSStatus BZ_MsCreateTask2(BZ_MethodStage *ms, MP_TaskData *task1, TaskProc task2Entry) {
  if (ms == nullptr || task1 == nullptr || task2Entry == nullptr) return paramErr;
  MP_TaskData &task2 = ms->task2;
  task2.type = ms->type;
  task2.termMessage1 = BZ_Word(ms->type);
  task2.termMessage2 = ms->project;
  task2.termQueue = task1->inputQueue;
  task2.creator = task1;
  task2.queuesAllocated = kMP_InputQueueAlloc;
  task2.entryPoint = task2Entry;
  task2.data = ms;
  OSStatus err = MP_CreateTask(&task2);
  if (err != noErr) {
    MP_DisposeTask(&task2);
    return err;
  }
  ms->task2Started = true;
  ms->stage->taskData[1] = &task2;
  ms->stage->numTasks = 2;
  return noErr;
}

OSStatus BZ_MsCreateWorkers(MP_TaskData *task1, TaskProc taskProper) {
  if (task1 == nullptr || taskProper == nullptr) return paramErr;
  task1->numSubTasks = BZ_GetNumSubTasks();
  return BZ_CreateSubTasks(task1, taskProper, nullptr);
}

OSStatus BZ_MsWaitForFrame(BZ_MethodStage *ms, MP_TaskData *task1, UInt8 **inBuffer, UInt8 **outBuffer,
                           Boolean *finished) {
  if (ms == nullptr || task1 == nullptr || inBuffer == nullptr || outBuffer == nullptr || finished == nullptr)
    return paramErr;
  *inBuffer = *outBuffer = nullptr;
  for (;;) {
    void *word = nullptr;
    BZ_TaskType sender = kBZ_NoTaskType;
    OSStatus err = BZ_WaitForBuffer(task1, task1->inputQueue, &word, &sender, finished);
    if (err != noErr || *finished) return err;
    if (sender == ms->type) {  // the collector ended on its own
      ms->task2Ended = true;
      *finished = true;
      const OSStatus code = OSStatus(BZ_FromWord(word));
      return code != noErr ? code : kMP_TerminateTaskErr;
    }
    if (sender == kBZ_ProcSubTaskType) {  // a worker ended early: it no longer counts for closing
      MP_InvalidateAnySubTask(task1);
      *finished = true;
      const OSStatus code = OSStatus(BZ_FromWord(word));
      return code != noErr ? code : kMP_TerminateTaskErr;
    }
    if (BZ_FromWord(word) == kBZ_EndOfStreamMessage) continue;
    auto *in = static_cast<UInt8 *>(word);
    BZ_FrameBuffInfo *inInfo = BZ_GetFrameBuffInfo(ms->stage, in);
    if (inInfo == nullptr) return paramErr;
    inInfo->outArrayNum = inInfo->inArrayNum;
    void *outWord = nullptr;
    if ((err = BZ_WaitForBuffer(task1, ms->outFreeQueue, &outWord, nullptr, finished)) != noErr || *finished)
      return err;
    BZ_FrameBuffInfo *outInfo = BZ_GetFrameBuffInfo(ms->receiver, outWord);
    if (outInfo == nullptr) return paramErr;
    BZ_CopyFrameInfo(inInfo, outInfo);
    *inBuffer = in;
    *outBuffer = static_cast<UInt8 *>(outWord);
    return noErr;
  }
}

void *BZ_MsWorkItem(BZ_MethodStage *ms, const UInt8 *inBuffer) {
  if (ms == nullptr || ms->items == nullptr) return nullptr;
  BZ_FrameBuffInfo *info = BZ_GetFrameBuffInfo(ms->stage, inBuffer);
  if (info == nullptr || info->number < 0 || info->number >= kBZ_MaxFrameBuffers) return nullptr;
  return static_cast<UInt8 *>(ms->items) + size_t(info->number) * ms->itemSize;
}

SInt32 BZ_MsTakeWorkerNum(BZ_MethodStage *ms, MP_TaskData *task1) {
  if (ms == nullptr || task1 == nullptr) return 0;
  const SInt32 num = ms->nextWorker;
  ms->nextWorker = (num + 1) % std::max<SInt32>(task1->numSubTasks, 1);
  return num;
}

OSStatus BZ_MsPostItem(BZ_MethodStage *ms, MP_TaskData *task1, SInt32 workerNum, void *item) {
  if (ms == nullptr || task1 == nullptr || item == nullptr) return paramErr;
  MP_TaskData *worker = MP_GetSubTaskByNumber(task1, workerNum);
  if (worker == nullptr || worker->inputQueue == nullptr) return kMP_TerminateTaskErr;
  return MPNotifyQueue(worker->inputQueue, BZ_Word(ms->type), ms->project, item);
}

OSStatus BZ_MsCloseTask2(BZ_MethodStage *ms, MP_TaskData *task1, bool passOverStreamEnds) {
  if (ms == nullptr || task1 == nullptr) return paramErr;
  if (!ms->task2Started) return noErr;
  OSStatus err = noErr;
  // A collector marked exiting posts nothing more that matters; its end message may already have been dropped
  // by the closing of the workers.
  if (!ms->task2Ended && !ms->task2.exiting) {
    err = MPNotifyQueue(ms->task2.inputQueue, BZ_Word(ms->type), ms->project, BZ_Word(kBZ_EndOfStreamMessage));
    while (err == noErr) {
      void *sender = nullptr;
      void *code = nullptr;
      if ((err = MPWaitOnQueue(task1->inputQueue, &sender, nullptr, &code, kDurationForever)) != noErr) break;
      if (BZ_FromWord(sender) != ms->type) continue;
      if (!passOverStreamEnds || BZ_FromWord(code) != kBZ_EndOfStreamMessage) break;
    }
  }
  ms->task2Ended = true;
  ms->task2Started = false;
  // The collector has ended: the main task must not count it as running.
  ms->task2.ID = nullptr;
  MP_DisposeTask(&ms->task2);
  return err != noErr ? err : ms->task2Result.load();
}

OSStatus BZ_MsCloseWorkers(BZ_MethodStage *ms, MP_TaskData *task1, const char *stageName) {
  if (ms == nullptr || task1 == nullptr) return paramErr;
  const OSStatus err = BZ_CloseProcSubTasks(task1, ms->project);
  if (err != noErr)
    std::printf("KBZ %s task: error %ld deleting subtasks\n", stageName, long(err));
  else
    std::printf("KBZ %s task: deleted subtasks\n", stageName);
  return err;
}

// ---- Worker ----

BZ_MethodStage *BZ_MsOfTask(MP_TaskData *task) {
  if (task == nullptr) return nullptr;
  // A worker's creator is the distributor; the collector carries the record itself.
  if (task->type == kBZ_ProcSubTaskType) return task->creator != nullptr ? static_cast<BZ_MethodStage *>(task->creator->data) : nullptr;
  return static_cast<BZ_MethodStage *>(task->data);
}

OSStatus BZ_MsWaitForItem(MP_TaskData *worker, void **item) {
  if (worker == nullptr || item == nullptr) return paramErr;
  *item = nullptr;
  return MPWaitOnQueue(worker->inputQueue, nullptr, nullptr, item, kDurationForever);
}

OSStatus BZ_MsItemDone(MP_TaskData *worker, void *item) {
  BZ_MethodStage *ms = BZ_MsOfTask(worker);
  if (ms == nullptr || item == nullptr) return paramErr;
  return MPNotifyQueue(ms->task2.inputQueue, BZ_Word(kBZ_ProcSubTaskType), ms->project, item);
}

// ---- Collector ----

OSStatus BZ_MsCollectFrame(BZ_MethodStage *ms, UInt8 *inBuffer, UInt8 *outBuffer) {
  if (ms == nullptr) return paramErr;
  BZ_FrameBuffInfo *inInfo = BZ_GetFrameBuffInfo(ms->stage, inBuffer);
  BZ_FrameBuffInfo *outInfo = BZ_GetFrameBuffInfo(ms->receiver, outBuffer);
  if (inInfo == nullptr || outInfo == nullptr) return paramErr;
  BZ_MP_Info &pool = ms->stage->mpInfo;
  const SInt32 key = ms->exec == kBZ_ProjStateExecuting ? inInfo->frameNum : inInfo->outArrayNum;
  OSStatus err;
  if (key < pool.outFrameNum) {
    // Its turn has passed: both buffers go back to their pools.
    if ((err = BZ_NotifyFrame(ms->project, ms->type, ms->ownFreeQueue, nullptr, inBuffer, nullptr)) != noErr) return err;
    return BZ_NotifyFrame(ms->project, ms->type, ms->outFreeQueue, nullptr, outBuffer, nullptr);
  }
  ms->inByOut[outInfo->number] = inBuffer;
  if ((err = MPNotifyQueue(pool.outputPool, BZ_Word(ms->type), nullptr, outBuffer)) != noErr) return err;
  for (;;) {
    UInt8 *frame = nullptr;
    if ((err = BZ_GetFrameFromOutputPool(ms->exec, ms->receiver, ms->type, &pool, &frame)) != noErr || frame == nullptr)
      return err;
    BZ_FrameBuffInfo *frameInfo = BZ_GetFrameBuffInfo(ms->receiver, frame);
    if (frameInfo == nullptr) return paramErr;
    UInt8 *in = ms->inByOut[frameInfo->number];
    ms->inByOut[frameInfo->number] = nullptr;
    if (in == nullptr) return paramErr;
    if (ms->calcStats && (err = AnalyseFrame(ms, in, frame)) != noErr) return err;
    if ((err = BZ_NotifyFrame(ms->project, ms->type, ms->freeInputBuffer ? ms->ownFreeQueue : nullptr,
                              ms->outInputQueue, in, frame)) != noErr)
      return err;
  }
}

void BZ_MsFillDlgTaskInput(BZ_BuffInfo *stage, UInt8 *inBuffer, UInt8 *outBuffer, BZ_DlgTaskInput *dlgTaskInput) {
  if (stage == nullptr || dlgTaskInput == nullptr) return;
  const BZ_FrameBuffInfo *info = BZ_GetFrameBuffInfo(stage, inBuffer);
  *dlgTaskInput = BZ_DlgTaskInput{};
  dlgTaskInput->inBuffer = inBuffer;
  dlgTaskInput->outBuffer = outBuffer;
  if (info != nullptr) {
    dlgTaskInput->frameNum = info->frameNum;
    dlgTaskInput->arrayNum = info->inArrayNum;
    dlgTaskInput->realArrayNum = info->outArrayNum;
  }
  dlgTaskInput->stageNum = stage->number;
  dlgTaskInput->fileNum = stage->fileNum;
}

OSStatus BZ_MsEndTask2(BZ_MethodStage *ms, MP_TaskData *task2, OSStatus result) {
  // A stop during the analysis is the run's end, not a failure of the stage.
  if (result == userCanceledErr) result = noErr;
  if (ms != nullptr) ms->task2Result = result;
  if (task2 != nullptr) task2->exiting = true;
  return result;
}
