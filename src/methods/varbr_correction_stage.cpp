// The varying-brightness correction stage: set-up, distributor, workers and collector.
#include "methods/varbr_correction_stage.h"

#include "engine/runtime/working_format.h"
#include "methods/varbr_measuring_stage.h"

#include <cstdio>

namespace {

constexpr OSStatus kPeriodNotFoundErr = 5023;  // kBZ_VbPeriodNotFndErr

}  // namespace

const float *BZ_VbGetFactorTable(const BZ_VbDlgTaskData *data, Boolean interlaced, Boolean topFieldFirst,
                                 SInt32 *numFactors) {
  if (numFactors != nullptr) *numFactors = 0;
  if (data == nullptr) return nullptr;
  const float *table = data->vbFactors;
  SInt32 count = data->numVbFactors;
  if (interlaced) {
    table = topFieldFirst ? data->vbFactorsTop : data->vbFactorsBottom;
    count = topFieldFirst ? data->numVbFactorsTop : data->numVbFactorsBottom;
  }
  if (numFactors != nullptr) *numFactors = table != nullptr ? count : 0;
  return table;
}

OSStatus BZ_SetupCorrRelBrTask1(MP_TaskData *task1, BZ_MethodStage **ms, BZ_VbParams *vbParams, Boolean *padding) {
  if (task1 == nullptr || ms == nullptr || vbParams == nullptr || padding == nullptr) return paramErr;
  *vbParams = BZ_VbParams{};
  OSStatus err = BZ_MsCreateStageRecord(task1, sizeof(BZ_VbProcParams), ms);
  if (err == noErr) err = BZ_VbFillParams(*ms, false, vbParams);
  if (err != noErr) return err;
  // No analysis yet, one made for the other field order or for a shorter movie: nothing to correct with,
  // and guessing would change the pictures without reason.
  vbParams->factors = BZ_VbGetFactorTable(gBZ.dlgTaskData.vbDlgTaskData, vbParams->interlaced,
                                          vbParams->topFieldFirst, &vbParams->numFactors);
  const SInt32 needed = vbParams->interlaced ? 2 * vbParams->numFrames : vbParams->numFrames;
  if (vbParams->factors == nullptr || vbParams->numFactors < needed || needed <= 0) {
    std::printf("KBZ: corr rel br: no brightness factors for %ld %s\n", long(needed),
                vbParams->interlaced ? "fields" : "frames");
    // The measurements of other settings that come before the brightness analysis see the frames as they
    // are; a picture the user gets to see or keep is never left uncorrected silently.
    if ((*ms)->exec != kBZ_ProjStateAnalyzingMovie) return kPeriodNotFoundErr;
    vbParams->factors = nullptr;
    vbParams->numFactors = 0;
  }
  *padding = BZ_GetPadding((*ms)->project, kBZ_VarBrTaskType);
  return noErr;
}

OSStatus BZ_SetupCorrRelBrTask2(MP_TaskData *task2, BZ_MethodStage **ms) {
  if (ms == nullptr) return paramErr;
  *ms = BZ_MsOfTask(task2);
  return *ms != nullptr ? noErr : paramErr;
}

OSStatus BZ_VbcCreateTask2(BZ_MethodStage *ms, MP_TaskData *task1) {
  return BZ_MsCreateTask2(ms, task1, BZ_CorrRelBrTask2);
}

OSStatus BZ_CorrRelBrTask1(void *parameter) {
  auto *task = static_cast<MP_TaskData *>(parameter);
  if (task == nullptr) return paramErr;
  std::printf("KBZ: setting up corr rel br task 1\n");
  BZ_MethodStage *ms = nullptr;
  BZ_VbParams vbParams{};
  Boolean padding = false;
  OSStatus result = BZ_SetupCorrRelBrTask1(task, &ms, &vbParams, &padding);
  if (result == noErr) result = BZ_VbcCreateTask2(ms, task);
  if (result == noErr) result = BZ_MsCreateWorkers(task, BZ_CorrRelBrTaskProper);
  if (result == noErr && ms->exec == kBZ_ProjStateAnalyzingMovie && vbParams.calcAutoSett)
    std::printf("BZ_CorrRelativeBrTask1: analyzing, calcAutoSett = %u\n", unsigned(vbParams.calcAutoSett));
  BZ_VbSetAnalyzing(true);

  Boolean finished = false;
  while (result == noErr && !finished) {
    UInt8 *in = nullptr, *out = nullptr;
    result = BZ_MsWaitForFrame(ms, task, &in, &out, &finished);
    if (result != noErr || finished) break;
    auto *item = static_cast<BZ_VbProcParams *>(BZ_MsWorkItem(ms, in));
    if (item == nullptr) {
      result = paramErr;
      break;
    }
    const SInt32 worker = BZ_MsTakeWorkerNum(ms, task);
    *item = BZ_VbProcParams{&vbParams, ms->calcStats, padding, nullptr, in, out, worker};
    result = BZ_MsPostItem(ms, task, worker, item);
  }

  BZ_VbSetAnalyzing(false);
  if (ms != nullptr) {
    const OSStatus err = BZ_VbCloseStage(ms, task, "BZ_CorrRelativeBrTask1");
    if (result == noErr) result = err;
  }
  task->exiting = true;
  std::printf("KBZ: exiting corr rel br task 1, error = %ld\n", long(result));
  return result;
}

OSStatus BZ_CorrRelBrTaskProper(void *parameter) {
  return BZ_MsServeItems<BZ_VbProcParams>(parameter, [](BZ_MethodStage *ms, MP_TaskData *,
                                                        BZ_VbProcParams *item) -> OSStatus {
    const BZ_FrameBuffInfo *info = BZ_GetFrameBuffInfo(ms->stage, item->inBuffer);
    if (info == nullptr) return paramErr;
    if (item->vbParams->interlaced) {
      BZ_CorrRelBr(item->vbParams, item->inBuffer, item->outBuffer, info->frameNum, true);
      BZ_CorrRelBr(item->vbParams, item->inBuffer, item->outBuffer, info->frameNum, false);
    } else {
      BZ_CorrRelBr(item->vbParams, item->inBuffer, item->outBuffer, info->frameNum, false);
    }
    if (item->padding) {
      BZ_PadParams pad{};
      BZ_StageParamsToPadParams(item->vbParams, &pad);
      BZ_PadFrame(&pad, item->outBuffer);
    }
    return noErr;
  });
}

OSStatus BZ_CorrRelBrTask2(void *parameter) {
  auto *task2 = static_cast<MP_TaskData *>(parameter);
  std::printf("KBZ: setting up corr rel br 2\n");
  BZ_MethodStage *ms = nullptr;
  OSStatus result = BZ_SetupCorrRelBrTask2(task2, &ms);
  result = BZ_MsCollectItems<BZ_VbProcParams>(ms, task2, result);
  std::printf("KBZ: exiting corr rel br task 2, error = %ld\n", long(result));
  return result;
}
