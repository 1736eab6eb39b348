// Varying brightness's analysis data between runs.
#include "methods/varbr_measuring_stage.h"

#include "engine/runtime/engine_host.h"
#include "engine/runtime/frame_selection.h"
#include "engine/runtime/progress_frames.h"
#include "engine/runtime/stage_access.h"
#include "general/memory_lists.h"
#include "methods/varbr_analysis.h"

#include <cstdio>
#include <new>

OSStatus BZ_VbInitDlgTaskData(BZ_VbDlgTaskData **vbDlgTaskData) {
  if (vbDlgTaskData == nullptr) return paramErr;
  *vbDlgTaskData = new (std::nothrow) BZ_VbDlgTaskData{};
  return *vbDlgTaskData != nullptr ? noErr : memFullErr;
}

void BZ_VbDisposeDlgTaskData(BZ_VbDlgTaskData *vbDlgTaskData) {
  if (vbDlgTaskData == nullptr) return;
  for (float **table : {&vbDlgTaskData->vbFactors, &vbDlgTaskData->vbFactorsTop, &vbDlgTaskData->vbFactorsBottom})
    if (*table != nullptr) GL_DisposePtr(table);
  vbDlgTaskData->numVbFactors = vbDlgTaskData->numVbFactorsTop = vbDlgTaskData->numVbFactorsBottom = 0;
  // Tables measured for the last movie do not fit the next one.
  vbDlgTaskData->analyzedVarBr = false;
}

void BZ_VbDisposeDlgTaskDataRecord(BZ_VbDlgTaskData **vbDlgTaskData) {
  if (vbDlgTaskData == nullptr || *vbDlgTaskData == nullptr) return;
  BZ_VbDisposeDlgTaskData(*vbDlgTaskData);
  delete *vbDlgTaskData;
  *vbDlgTaskData = nullptr;
}

// ---- The measuring stage ----

namespace {

constexpr OSStatus kPeriodNotFoundErr = 5023;  // kBZ_VbPeriodNotFndErr

}  // namespace

void BZ_VbSetAnalyzing(Boolean analyzing) {
  const BZ_EngineHost *host = BZ_GetEngineHost();
  if (BZ_ProjDlgState *state = host->getDialogStatePtr(host->refCon)) state->analyzingVarBr = analyzing;
}

OSStatus BZ_VbFillParams(const BZ_MethodStage *ms, Boolean calcAutoSett, BZ_VbParams *vbParams) {
  if (ms == nullptr || vbParams == nullptr) return paramErr;
  BZ_ProjPtr project = ms->project;
  const BZ_StatMovInfo &movie0 = project->info.statMovInfo[0];
  *vbParams = BZ_VbParams{};
  vbParams->inWidth = movie0.width;
  vbParams->inHeight = movie0.height;
  vbParams->interlaced = project->info.settings.input.interlaced;
  vbParams->topFieldFirst = project->info.settings.input.topFieldFirst;
  vbParams->numFrames = BZ_GetNumFramesInMovie(project->info.statMovInfo);
  vbParams->event = ms->stage->event;
  vbParams->calcAutoSett = calcAutoSett;
  vbParams->frameDuration = movie0.avFrameDuration;
  OSStatus err = BZ_GetBufferSize(vbParams->inHeight, vbParams->inWidth, vbParams->interlaced, &vbParams->height,
                                  &vbParams->width, nullptr);
  if (err != noErr) return err;
  const size_t frameBytes = size_t(vbParams->width) * size_t(vbParams->height) * 2;
  // The measuring stage hands nothing on; the correction writes into the receiver's buffers.
  if (frameBytes > ms->stage->size || (!calcAutoSett && frameBytes > ms->receiver->size) || vbParams->numFrames <= 0)
    return paramErr;
  return noErr;
}

OSStatus BZ_VbCloseStage(BZ_MethodStage *ms, MP_TaskData *task1, const char *taskName) {
  if (ms == nullptr || task1 == nullptr) return paramErr;
  OSStatus result = BZ_CloseProcSubTasks(task1, ms->project);
  if (result != noErr)
    std::printf("%s: error %ld deleting subtasks\n", taskName, long(result));
  else
    std::printf("%s: deleted subtasks\n", taskName);
  const OSStatus err = BZ_VbCloseTask2(ms, task1);
  if (err != noErr)
    std::printf("%s: error %ld deleting task 2\n", taskName, long(err));
  else
    std::printf("%s: deleted task 2\n", taskName);
  return result != noErr ? result : err;
}

OSStatus BZ_SetupFindRelBrTask1(MP_TaskData *task1, BZ_MethodStage **ms, BZ_VbParams *vbParams) {
  if (task1 == nullptr || ms == nullptr || vbParams == nullptr) return paramErr;
  *vbParams = BZ_VbParams{};
  OSStatus err = BZ_MsCreateStageRecord(task1, sizeof(BZ_VbProcParams), ms);
  if (err == noErr) err = BZ_VbFillParams(*ms, true, vbParams);
  if (err != noErr) return err;
  // A picture without one whole measuring block has no brightness to compare.
  SInt32 numBlocksH = 0, numBlocksV = 0;
  BZ_VbGetBlockGrid(vbParams->width, vbParams->height, &numBlocksH, &numBlocksV, nullptr);
  if (numBlocksH <= 0 || numBlocksV <= 0) return kPeriodNotFoundErr;
  return GL_NewPtrClear(size_t(2) * size_t(vbParams->numFrames) * sizeof(float), &vbParams->relBr);
}

OSStatus BZ_SetupFindRelBrTask2(MP_TaskData *task2, BZ_MethodStage **ms) {
  if (ms == nullptr) return paramErr;
  *ms = BZ_MsOfTask(task2);
  return *ms != nullptr ? noErr : paramErr;
}

OSStatus BZ_VbfCreateTask2(BZ_MethodStage *ms, MP_TaskData *task1) {
  return BZ_MsCreateTask2(ms, task1, BZ_FindRelBrTask2);
}

OSStatus BZ_VbCloseTask2(BZ_MethodStage *ms, MP_TaskData *task1) {
  // The measuring collector's 5033 says the last frame was evaluated; its end follows.
  return BZ_MsCloseTask2(ms, task1, true);
}

OSStatus BZ_FindRelBrTask1(void *parameter) {
  auto *task = static_cast<MP_TaskData *>(parameter);
  if (task == nullptr) return paramErr;
  std::printf("KBZ: setting up find rel br 1\n");
  BZ_MethodStage *ms = nullptr;
  BZ_VbParams vbParams{};
  OSStatus result = BZ_SetupFindRelBrTask1(task, &ms, &vbParams);
  if (result == noErr) result = BZ_VbfCreateTask2(ms, task);
  if (result == noErr) result = BZ_MsCreateWorkers(task, BZ_FindRelBrTaskProper);
  if (result == noErr && ms->exec == kBZ_ProjStateAnalyzingMovie && vbParams.calcAutoSett)
    std::printf("BZ_FindRelativeBrTask1: analyzing, calcAutoSett = %u\n", unsigned(vbParams.calcAutoSett));
  BZ_VbSetAnalyzing(true);

  UInt8 *prevBuffer = nullptr;
  Boolean finished = false;
  while (result == noErr && !finished) {
    void *word = nullptr;
    BZ_TaskType sender = kBZ_NoTaskType;
    result = BZ_WaitForBuffer(task, task->inputQueue, &word, &sender, &finished);
    if (result != noErr || finished) break;
    const OSStatus code = OSStatus(BZ_FromWord(word));
    if (sender == ms->type) {
      // 5033: the last frame is evaluated and the collector waits to be closed; anything else is its end.
      if (code != kBZ_EndOfStreamMessage) ms->task2Ended = true;
      result = code == kBZ_EndOfStreamMessage ? noErr : code;
      break;
    }
    if (sender == kBZ_ProcSubTaskType) {  // a worker ended early: it no longer counts for closing
      MP_InvalidateAnySubTask(task);
      result = code != noErr ? code : kMP_TerminateTaskErr;
      break;
    }
    if (code == kBZ_EndOfStreamMessage) continue;
    auto *in = static_cast<UInt8 *>(word);
    auto *item = static_cast<BZ_VbProcParams *>(BZ_MsWorkItem(ms, in));
    if (item == nullptr) {
      result = paramErr;
      break;
    }
    MPEventFlags expected = 0;
    if ((result = BZ_ShowProgressFrame(ms->project, BZ_GetFrameBuffInfo(ms->stage, in), ms->stage->event,
                                       &expected)) != noErr)
      break;
    const SInt32 worker = BZ_MsTakeWorkerNum(ms, task);
    *item = BZ_VbProcParams{&vbParams, false, false, prevBuffer, in, nullptr, worker};
    prevBuffer = in;
    result = BZ_MsPostItem(ms, task, worker, item);
  }

  BZ_VbSetAnalyzing(false);
  if (ms != nullptr) {
    const OSStatus err = BZ_VbCloseStage(ms, task, "BZ_FindRelativeBrTask1");
    if (result == noErr) result = err;
  }
  if (vbParams.relBr != nullptr) GL_DisposePtr(&vbParams.relBr);
  task->exiting = true;
  if (task->creator != nullptr && task->creator->inputQueue != nullptr)
    MPNotifyQueue(task->creator->inputQueue, BZ_Word(kBZ_VarBrTaskType), task->termMessage2,
                  BZ_Word(kBZ_EndOfStreamMessage));
  std::printf("KBZ: exiting find rel br task 1, error = %ld\n", long(result));
  return result;
}

OSStatus BZ_FindRelBrTaskProper(void *parameter) {
  return BZ_MsServeItems<BZ_VbProcParams>(parameter, [](BZ_MethodStage *ms, MP_TaskData *,
                                                        BZ_VbProcParams *item) -> OSStatus {
    const BZ_FrameBuffInfo *info = BZ_GetFrameBuffInfo(ms->stage, item->inBuffer);
    if (info == nullptr) return paramErr;
    BZ_FindRelBr(item->vbParams, item->prevBuffer, item->inBuffer, info->frameNum);
    return noErr;
  });
}

OSStatus BZ_FindRelBrTask2(void *parameter) {
  auto *task2 = static_cast<MP_TaskData *>(parameter);
  std::printf("KBZ: setting up find rel br task 2\n");
  BZ_MethodStage *ms = nullptr;
  OSStatus result = BZ_SetupFindRelBrTask2(task2, &ms);
  BZ_MP_Info *pool = ms != nullptr ? &ms->stage->mpInfo : nullptr;
  UInt8 *held = nullptr;  // the last collected frame, read by the worker of the frame after it
  BZ_VbParams *vbParams = nullptr;
  Boolean finished = false;
  while (result == noErr && !finished) {
    void *word = nullptr;
    result = BZ_WaitForBuffer(task2, task2->inputQueue, &word, nullptr, &finished);
    if (result != noErr || finished) break;
    const auto *item = static_cast<const BZ_VbProcParams *>(word);
    vbParams = item->vbParams;
    const BZ_FrameBuffInfo *info = BZ_GetFrameBuffInfo(ms->stage, item->inBuffer);
    if (info == nullptr || vbParams == nullptr) {
      result = paramErr;
      break;
    }
    if (info->frameNum < pool->outFrameNum)
      result = BZ_NotifyFrame(ms->project, ms->type, ms->ownFreeQueue, nullptr, item->inBuffer, nullptr);
    else
      result = MPNotifyQueue(pool->outputPool, BZ_Word(ms->type), nullptr, item->inBuffer);
    while (result == noErr) {
      UInt8 *frame = nullptr;
      // Keyed by frame number: the run reads every frame in order.
      if ((result = BZ_GetFrameFromOutputPool(kBZ_ProjStateExecuting, ms->stage, ms->type, pool, &frame)) != noErr ||
          frame == nullptr)
        break;
      const BZ_FrameBuffInfo *frameInfo = BZ_GetFrameBuffInfo(ms->stage, frame);
      if (frameInfo->frameNum == vbParams->numFrames - 1) {
        if ((result = BZ_VbEvaluateResult(vbParams)) != noErr) break;
        result = MPNotifyQueue(ms->task2.creator->inputQueue, BZ_Word(ms->type), ms->project,
                               BZ_Word(kBZ_EndOfStreamMessage));
      }
      if (held != nullptr && result == noErr)
        result = BZ_NotifyFrame(ms->project, ms->type, ms->ownFreeQueue, nullptr, held, nullptr);
      held = frame;
      ++ms->project->dynIO_Info.workDone;
    }
  }
  if (held != nullptr) BZ_NotifyFrame(ms->project, ms->type, ms->ownFreeQueue, nullptr, held, nullptr);
  result = BZ_MsEndTask2(ms, task2, result);
  std::printf("KBZ: exiting find rel br task 2, error = %ld\n", long(result));
  return result;
}
