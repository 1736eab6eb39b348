// The averaging stage: distributor, workers and collector (see the header).
#include "methods/average_stage.h"

#include "engine/runtime/engine_host.h"
#include "engine/runtime/frame_selection.h"
#include "engine/runtime/method_settings.h"
#include "engine/runtime/progress_frames.h"
#include "engine/runtime/shell_senders.h"
#include "engine/runtime/stage_access.h"
#include "engine/runtime/working_format.h"
#include "methods/average_measuring.h"
#include "methods/average_sources.h"
#include "methods/method_stage.h"
#include "platform/core/cf_string.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

constexpr size_t kLineAlign = 16;

BZ_ProjPtr ProjectOf(MP_TaskData *task) { return static_cast<BZ_ProjPtr>(task->termMessage2); }

size_t TempLineBytes(SInt32 width) {
  const size_t bytes = size_t(BZ_AvTempLineFloats(width)) * sizeof(float);
  return (bytes + kLineAlign - 1) / kLineAlign * kLineAlign;
}

// A shorter movie 2 ends the run early; the log says how much of movie 1 stays out.
void LogFramesLeftOut(BZ_ProjPtr project) {
  const BZ_StatMovInfo *movies = project->info.statMovInfo;
  const SInt32 leftOut = movies[0].numFrames - BZ_GetNumFramesInMovie(movies);
  if (leftOut <= 0) return;
  char text[160];
  std::snprintf(text, sizeof text, " averaging: movie 2 is shorter, the last %ld frames of movie 1 were left out.",
                long(leftOut));
  CFStringRef message = CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
  if (message == nullptr) return;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  host->setProjectMessageInLog(host->refCon, message);
  CFRelease(message);
}

// Both inputs of one step: the frame numbers must match, or two different pictures would be mixed.
OSStatus CheckPair(BZ_BuffInfo *stage, UInt8 *in1, UInt8 *in2) {
  const BZ_FrameBuffInfo *info1 = BZ_GetFrameBuffInfo(stage, in1);
  const BZ_FrameBuffInfo *info2 = BZ_GetFrameBuffInfo2(stage, in2);
  if (info1 == nullptr || info2 == nullptr) return paramErr;
  if (info1->frameNum != info2->frameNum) {
    std::printf("KBZ: average task: frame %ld of movie 1 met frame %ld of movie 2\n", long(info1->frameNum),
                long(info2->frameNum));
    return paramErr;
  }
  return noErr;
}

// One sample of the analysis into its slot; the first sample starts the measurement afresh, so slots of an
// earlier movie never count.
OSStatus MeasureSample(BZ_ProjPtr project, BZ_BuffInfo *stage, const BZ_AvParams *avParams, SInt32 sampleIndex,
                       UInt8 *in1, UInt8 *in2) {
  BZ_AvDlgTaskData *data = gBZ.dlgTaskData.avDlgTaskData;
  if (data == nullptr) return paramErr;
  if (sampleIndex == 0) {
    const BZ_EngineHost *host = BZ_GetEngineHost();
    BZ_ProjDlgState *dlgState = host->getDialogStatePtr(host->refCon);
    dlgState->findingBestShift = true;
    dlgState->findingBestWeight = true;
    *data = BZ_AvDlgTaskData{};
  }
  if (sampleIndex < kBZ_NumTestFrames)
    BZ_GetFrameBestShiftAndWeight(avParams, in1, in2, &data->bestShift[sampleIndex], &data->bestWeight[sampleIndex],
                                  &data->weight[sampleIndex]);
  MPEventFlags expected = 0;
  return BZ_ShowProgressFrame(project, BZ_GetFrameBuffInfo(stage, in1), stage->event, &expected);
}

}  // namespace

// ---- Distributor ----------------------------------------------------------------------------------------------

OSStatus BZ_AverageTask1(void *parameter) {
  MP_TaskData *task1 = static_cast<MP_TaskData *>(parameter);
  BZ_ProjPtr project = ProjectOf(task1);
  std::printf("KBZ: setting up average task 1\n");
  BZ_MethodStage *ms = nullptr;
  BZ_AvParams avParams{};
  OSStatus result = BZ_MsCreateStageRecord(task1, sizeof(BZ_AvProcParams), &ms);
  const SInt32 numWorkers = BZ_GetNumSubTasks();
  if (result == noErr) result = BZ_SetupAverageTask1(project, numWorkers, &avParams);
  const BZ_EngineHost *host = BZ_GetEngineHost();
  const Boolean calcAutoSett = result == noErr && ms->exec == kBZ_ProjStateAnalyzingMovie &&
                               host->getAutoSettStage(host->refCon) == kBZ_AvAutoSettStage;
  if (calcAutoSett) std::printf("BZ_AverageTask1: analyzing, calcAutoSett = %u\n", unsigned(calcAutoSett));
  const Boolean padding = BZ_GetPadding(project, kBZ_AverageTaskType);
  if (result == noErr && ms->exec == kBZ_ProjStateExecuting) LogFramesLeftOut(project);
  if (result == noErr) result = BZ_MsCreateWorkers(task1, BZ_AverageTaskProper);
  if (result == noErr) result = BZ_AvCreateTask2(task1);

  BZ_BuffInfo *stage = ms != nullptr ? ms->stage : nullptr;
  SInt32 sampleIndex = 0;
  Boolean finished = false;
  while (result == noErr && !finished) {
    UInt8 *in1 = nullptr, *out = nullptr;
    if ((result = BZ_MsWaitForFrame(ms, task1, &in1, &out, &finished)) != noErr || finished) break;
    void *word2 = nullptr;
    BZ_TaskType sender2 = kBZ_NoTaskType;
    if ((result = BZ_WaitForBuffer(task1, stage->inputQueue2, &word2, &sender2, &finished)) != noErr || finished)
      break;
    auto *in2 = static_cast<UInt8 *>(word2);
    if ((result = CheckPair(stage, in1, in2)) != noErr) break;

    auto *item = static_cast<BZ_AvProcParams *>(BZ_MsWorkItem(ms, in1));
    if (item == nullptr) {
      result = paramErr;
      break;
    }
    *item = BZ_AvProcParams{&avParams, ms->calcStats, padding, calcAutoSett, in1, in2, out, 0};
    if (calcAutoSett) {
      // Measuring has no output: the receiver's buffer goes straight back.
      item->outBuffer = nullptr;
      if ((result = BZ_NotifyFrame(project, kBZ_AverageTaskType, ms->outFreeQueue, nullptr, out, nullptr)) != noErr)
        break;
      if ((result = MeasureSample(project, stage, &avParams, sampleIndex, in1, in2)) != noErr) break;
      result = BZ_MsItemDone(task1, item);
    } else {
      item->subTaskNum = BZ_MsTakeWorkerNum(ms, task1);
      result = BZ_MsPostItem(ms, task1, item->subTaskNum, item);
    }
    if (ms->exec != kBZ_ProjStateExecuting) ++sampleIndex;
  }

  std::printf("KBZ: exiting average task 1, error = %ld\n", long(result));
  if (task1->numSubTasks > 0 || MP_CountValidSubTasks(task1) > 0) {
    const OSStatus err = BZ_CloseProcSubTasks(task1, project);
    if (err != noErr)
      std::printf("KBZ average task: error %ld deleting subtasks\n", long(err));
    else
      std::printf("KBZ average task: deleted subtasks\n");
    if (result == noErr) result = err;
  }
  if (ms != nullptr) {
    const OSStatus err = BZ_AvCloseTask2(task1);
    if (result == noErr) result = err;
  }
  BZ_AvDisposeParams(&avParams);
  task1->exiting = true;
  return result;
}

OSStatus BZ_SetupAverageTask1(BZ_ProjPtr project, SInt32 numWorkers, BZ_AvParams *avParams) {
  if (project == nullptr || avParams == nullptr || numWorkers < 1) return paramErr;
  *avParams = BZ_AvParams{};
  const BZ_ProjInfo &info = project->info;
  if (OSStatus err = BZ_AvCheckSources(info.srcFileData, info.statMovInfo, nullptr); err != noErr) {
    std::printf("KBZ: average task: the two movies cannot be averaged, error = %ld\n", long(err));
    return err;
  }
  // A damaged stored setting must never reach the line kernels: their work lines hold shifts of -8..8.
  BZ_Av_Sett sett = info.settings.cleaning.average;
  if (!BZ_AvValidateSett(&sett, false)) {
    std::printf("KBZ: average task: invalid settings, shift = %g, weight = %g\n", sett.shift, sett.weight);
    return paramErr;
  }

  avParams->inWidth = info.statMovInfo[0].width;
  avParams->inHeight = info.statMovInfo[0].height;
  avParams->interlaced = info.settings.input.interlaced;
  OSStatus err = BZ_GetBufferSize(avParams->inHeight, avParams->inWidth, avParams->interlaced, &avParams->height,
                                  &avParams->width, nullptr);
  if (err != noErr) return err;
  if (avParams->width < 2 * kBZ_AvMaxShift) return paramErr;
  BZ_AvGetFracShift(float(sett.shift), &avParams->intShift, &avParams->fracShift);
  BZ_GetInterpCoeff(avParams->fracShift, avParams->coeff);
  avParams->weight = float(sett.weight);
  avParams->automatic = sett.automatic;
  avParams->numFrames = BZ_GetNumFramesInMovie(info.statMovInfo);

  // One zeroed block: the pointer table, then one aligned line per worker and one for measuring.
  const size_t lineBytes = TempLineBytes(avParams->width);
  const size_t numLines = size_t(numWorkers) + 1;
  const size_t tableBytes = (numLines * sizeof(float *) + kLineAlign - 1) / kLineAlign * kLineAlign;
  void *block = std::aligned_alloc(kLineAlign, tableBytes + numLines * lineBytes);
  if (block == nullptr) return memFullErr;
  std::fill_n(static_cast<UInt8 *>(block), tableBytes + numLines * lineBytes, UInt8(0));
  avParams->tempBlock = block;
  avParams->tempLine = static_cast<float **>(block);
  UInt8 *lines = static_cast<UInt8 *>(block) + tableBytes;
  for (size_t i = 0; i < numLines; ++i) avParams->tempLine[i] = reinterpret_cast<float *>(lines + i * lineBytes);
  avParams->numTempLines = numWorkers;
  avParams->analysisLine = avParams->tempLine[numWorkers];
  return noErr;
}

void BZ_AvDisposeParams(BZ_AvParams *avParams) {
  if (avParams == nullptr) return;
  std::free(avParams->tempBlock);
  avParams->tempBlock = nullptr;
  avParams->tempLine = nullptr;
  avParams->analysisLine = nullptr;
  avParams->numTempLines = 0;
}

void BZ_AvParamsToPadParams(const BZ_AvParams *avParams, BZ_PadParams *padParams) {
  BZ_StageParamsToPadParams(avParams, padParams);
}

OSStatus BZ_AvCreateTask2(MP_TaskData *task1) {
  return BZ_MsCreateTask2(BZ_MsOfTask(task1), task1, BZ_AverageTask2);
}

OSStatus BZ_AvCloseTask2(MP_TaskData *task1) { return BZ_MsCloseTask2(BZ_MsOfTask(task1), task1); }

// ---- Worker ---------------------------------------------------------------------------------------------------

OSStatus BZ_AverageTaskProper(void *parameter) {
  return BZ_MsServeItems<BZ_AvProcParams>(parameter, [](BZ_MethodStage *, MP_TaskData *worker,
                                                        BZ_AvProcParams *item) -> OSStatus {
    const BZ_AvParams *avParams = item->avParams;
    // Each worker writes only its own work line.
    BZ_Average(avParams, worker->number, item->inBuffer1, item->inBuffer2, item->outBuffer);
    if (!item->padding) return noErr;
    BZ_PadParams padParams;
    BZ_AvParamsToPadParams(avParams, &padParams);
    return BZ_PadFrame(&padParams, item->outBuffer);
  });
}

// ---- Collector ------------------------------------------------------------------------------------------------

OSStatus BZ_SetupAverageTask2(MP_TaskData *) {
  std::printf("KBZ: setting up average task 2\n");
  return noErr;
}

OSStatus BZ_AverageTask2(void *parameter) {
  MP_TaskData *task2 = static_cast<MP_TaskData *>(parameter);
  BZ_MethodStage *ms = BZ_MsOfTask(task2);
  OSStatus result = ms != nullptr ? BZ_SetupAverageTask2(task2) : paramErr;
  BZ_BuffInfo *stage = ms != nullptr ? ms->stage : nullptr;
  SInt32 samplesDone = 0;
  while (result == noErr) {
    void *sender = nullptr, *word = nullptr;
    if ((result = MPWaitOnQueue(task2->inputQueue, &sender, nullptr, &word, kDurationForever)) != noErr) break;
    if (BZ_FromWord(sender) != kBZ_ProcSubTaskType) break;  // the distributor's end of the run
    auto *item = static_cast<BZ_AvProcParams *>(word);
    // Movie 2 has been averaged (or measured): nothing reads it any more.
    if ((result = BZ_NotifyFrame(ms->project, kBZ_AverageTaskType, stage->freeQueue2, nullptr, item->inBuffer2,
                                 nullptr)) != noErr)
      break;
    if (!item->calcAutoSett) {
      result = BZ_MsCollectFrame(ms, item->inBuffer1, item->outBuffer);
      continue;
    }
    if ((result = BZ_NotifyFrame(ms->project, kBZ_AverageTaskType, ms->ownFreeQueue, nullptr, item->inBuffer1,
                                 nullptr)) != noErr)
      break;
    if (++samplesDone != ms->numFrames) continue;
    result = BZ_BestShiftWeightCalcResult();
    const BZ_EngineHost *host = BZ_GetEngineHost();
    BZ_ProjDlgState *dlgState = host->getDialogStatePtr(host->refCon);
    dlgState->findingBestShift = false;
    dlgState->findingBestWeight = false;
    if (result == noErr)
      result = MPNotifyQueue(task2->creator->termQueue, BZ_Word(kBZ_AverageTaskType), ms->project,
                             BZ_Word(kBZ_EndOfStreamMessage));
  }
  std::printf("KBZ: exiting average task 2, error = %ld\n", long(result));
  return BZ_MsEndTask2(ms, task2, result);
}

OSStatus BZ_BestShiftWeightCalcResult() {
  BZ_ProjPtr project = gBZ.project;
  const BZ_AvDlgTaskData *data = gBZ.dlgTaskData.avDlgTaskData;
  if (project == nullptr || data == nullptr) return paramErr;
  float shift = 0.0f, weight = 0.0f;
  if (!BZ_AvCombineSampleResults(data, &shift, &weight)) {
    std::printf("KBZ: averaging: no shift found, settings kept\n");
    return noErr;
  }
  OSStatus err = BZ_SendSetValueInDialogEvent(shift, kBZ_AvShiftItem);
  if (err == noErr) err = BZ_SendSetValueInDialogEvent(weight, kBZ_AvWeightItem);
  if (err != noErr) return err;
  BZ_Av_Sett &sett = project->info.settings.cleaning.average;
  sett.shift = shift;
  sett.weight = weight;
  return noErr;
}

// ---- Analysis record ------------------------------------------------------------------------------------------

OSStatus BZ_AvInitDlgTaskData(BZ_AvDlgTaskData **avDlgTaskData) {
  if (avDlgTaskData == nullptr) return paramErr;
  *avDlgTaskData = new (std::nothrow) BZ_AvDlgTaskData{};
  return *avDlgTaskData != nullptr ? noErr : memFullErr;
}

void BZ_AvDisposeDlgTaskData(BZ_AvDlgTaskData **avDlgTaskData) {
  if (avDlgTaskData == nullptr) return;
  delete *avDlgTaskData;
  *avDlgTaskData = nullptr;
}
