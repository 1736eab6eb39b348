// The cross-luma stage: set-up, distributor, workers and collector.
#include "methods/cross_luma_stage.h"

#include "engine/runtime/stage_access.h"
#include "engine/runtime/working_format.h"

#include <cstdio>

namespace {

constexpr OSStatus kTooManyIntervalsErr = 5022;  // kBZ_ExcLimNumChromaIntervOnLineErr

}  // namespace

OSStatus BZ_SetupCrossLumaTask1(MP_TaskData *task1, BZ_MethodStage **ms, BZ_Cl_Sett *sett, BZ_ClParams *clParams,
                                Boolean *padding) {
  if (task1 == nullptr || ms == nullptr || sett == nullptr || clParams == nullptr || padding == nullptr)
    return paramErr;
  auto *project = static_cast<BZ_ProjPtr>(task1->termMessage2);
  if (project == nullptr) return paramErr;
  // A record set without the dialog's checks must not reach the kernel: it would read outside its lines.
  *sett = project->info.settings.cleaning.crossLuma;
  if (!BZ_ClValidateSett(sett, false)) return paramErr;
  OSStatus err = BZ_MsCreateStageRecord(task1, sizeof(BZ_ClProcParams), ms);
  if (err != noErr) return err;
  const BZ_StatMovInfo &movie0 = project->info.statMovInfo[0];
  clParams->inHeight = movie0.height;
  clParams->inWidth = movie0.width;
  clParams->interlaced = project->info.settings.input.interlaced;
  clParams->sett = sett;
  if ((err = BZ_GetBufferSize(clParams->inHeight, clParams->inWidth, clParams->interlaced, &clParams->height,
                              &clParams->width, nullptr)) != noErr)
    return err;
  // Each worker's areas hold a whole frame's stretch lists; the stage's buffers must hold the frame.
  if (size_t(clParams->width) * size_t(clParams->height) * 2 > (*ms)->stage->size ||
      size_t(clParams->width) * size_t(clParams->height) * 2 > (*ms)->receiver->size)
    return paramErr;
  *padding = BZ_GetPadding(project, kBZ_CrossLumaTaskType);
  return BZ_ClNewAreas(clParams, BZ_GetNumSubTasks());
}

OSStatus BZ_SetupCrossLumaTask2(MP_TaskData *task2, BZ_MethodStage **ms) {
  if (ms == nullptr) return paramErr;
  *ms = BZ_MsOfTask(task2);
  return *ms != nullptr ? noErr : paramErr;
}

OSStatus BZ_ClCreateTask2(BZ_MethodStage *ms, MP_TaskData *task1) {
  return BZ_MsCreateTask2(ms, task1, BZ_CrossLumaTask2);
}

OSStatus BZ_ClCloseTask2(BZ_MethodStage *ms, MP_TaskData *task1) { return BZ_MsCloseTask2(ms, task1); }

void BZ_ClFillDlgTaskInput(BZ_BuffInfo *stageBuffInfo, const BZ_ClProcParams *clProcParams,
                           BZ_DlgTaskInput *dlgTaskInput) {
  if (clProcParams == nullptr) return;
  BZ_MsFillDlgTaskInput(stageBuffInfo, clProcParams->inBuffer, clProcParams->outBuffer, dlgTaskInput);
}

void BZ_ClParamsToPadParams(const BZ_ClParams *clParams, BZ_PadParams *padParams) {
  BZ_StageParamsToPadParams(clParams, padParams);
}

OSStatus BZ_CrossLumaTask1(void *parameter) {
  auto *task = static_cast<MP_TaskData *>(parameter);
  if (task == nullptr) return paramErr;
  std::printf("KBZ: setting up cross-luma task 1\n");
  BZ_MethodStage *ms = nullptr;
  BZ_Cl_Sett sett{};
  BZ_ClParams clParams{};
  Boolean padding = false;
  OSStatus result = BZ_SetupCrossLumaTask1(task, &ms, &sett, &clParams, &padding);
  if (result == noErr) result = BZ_ClCreateTask2(ms, task);
  if (result == noErr) result = BZ_MsCreateWorkers(task, BZ_CrossLumaTaskProper);

  Boolean finished = false;
  while (result == noErr && !finished) {
    UInt8 *in = nullptr, *out = nullptr;
    result = BZ_MsWaitForFrame(ms, task, &in, &out, &finished);
    if (result != noErr || finished) break;
    auto *item = static_cast<BZ_ClProcParams *>(BZ_MsWorkItem(ms, in));
    if (item == nullptr) {
      result = paramErr;
      break;
    }
    const SInt32 worker = BZ_MsTakeWorkerNum(ms, task);
    *item = BZ_ClProcParams{&clParams, ms->calcStats, padding, in, out, worker};
    result = BZ_MsPostItem(ms, task, worker, item);
  }

  if (ms != nullptr) {
    OSStatus err = BZ_CloseProcSubTasks(task, ms->project);
    if (err != noErr)
      std::printf("KBZ cross-luma task: error %ld deleting subtasks\n", long(err));
    else
      std::printf("KBZ cross-luma task: deleted subtasks\n");
    if (result == noErr) result = err;
    err = BZ_ClCloseTask2(ms, task);
    if (result == noErr) result = err;
  }
  BZ_ClDisposeAreas(&clParams);
  task->exiting = true;
  std::printf("KBZ: exiting cross-luma task 1, error = %ld\n", long(result));
  return result;
}

OSStatus BZ_CrossLumaTaskProper(void *parameter) {
  return BZ_MsServeItems<BZ_ClProcParams>(parameter, [](BZ_MethodStage *ms, MP_TaskData *,
                                                        BZ_ClProcParams *item) -> OSStatus {
    OSStatus err = BZ_CrossLuma(item->clParams, item->subTaskNum, item->inBuffer, item->outBuffer);
    if (err == kTooManyIntervalsErr) {
      // The frame goes on as the unfiltered copy the kernel left; one line per such frame.
      ++item->clParams->numUnfilteredFrames;
      const BZ_FrameBuffInfo *info = BZ_GetFrameBuffInfo(ms->stage, item->inBuffer);
      std::printf("KBZ: cross-luma: too many constant-chroma intervals, frame %ld left unfiltered\n",
                  long(info != nullptr ? info->frameNum : -1));
    } else if (err != noErr) {
      return err;
    }
    if (item->padding) {
      BZ_PadParams pad{};
      BZ_ClParamsToPadParams(item->clParams, &pad);
      BZ_PadFrame(&pad, item->outBuffer);
    }
    return noErr;
  });
}

OSStatus BZ_CrossLumaTask2(void *parameter) {
  auto *task2 = static_cast<MP_TaskData *>(parameter);
  std::printf("KBZ: setting up cross-luma task 2\n");
  BZ_MethodStage *ms = nullptr;
  OSStatus result = BZ_SetupCrossLumaTask2(task2, &ms);
  result = BZ_MsCollectItems<BZ_ClProcParams>(ms, task2, result);
  std::printf("KBZ: exiting cross-luma task 2, error = %ld\n", long(result));
  return result;
}
