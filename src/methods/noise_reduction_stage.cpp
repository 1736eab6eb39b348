// The noise-reduction stage: set-up, distributor, workers, collector and close-down.
#include "methods/noise_reduction_stage.h"

#include "engine/runtime/analysis_tasks.h"
#include "engine/runtime/engine_host.h"
#include "engine/runtime/frame_selection.h"
#include "engine/runtime/method_settings.h"
#include "engine/runtime/progress_frames.h"
#include "engine/runtime/shell_senders.h"
#include "engine/runtime/stage_access.h"
#include "engine/runtime/working_format.h"
#include "general/memory_lists.h"
#include "methods/filter_2d.h"
#include "methods/line_filters.h"
#include "methods/noise_analysis.h"
#include "methods/noise_tables.h"
#include "methods/spectral_windows.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr UInt32 kWaitTicks = 10;

size_t StorageBytes(const BZ_BuffInfo *stage) {
  return 3 * stage->size + kBZ_RnModelBytes + kBZ_RnWindowBytes + sizeof(BZ_RnStageRun);
}

BZ_RnStageRun *RunOf(BZ_BuffInfo *stage) {
  return reinterpret_cast<BZ_RnStageRun *>(static_cast<UInt8 *>(stage->addStorage) + 3 * stage->size +
                                           kBZ_RnModelBytes + kBZ_RnWindowBytes);
}

// Whether a cleaning stage comes after this one: the filters define only the picture, so its margins must be
// padded again for a stage that reads past the picture's edges.
bool CleaningStageFollows(BZ_BuffInfo *table, const BZ_BuffInfo *stage) {
  for (const BZ_BuffInfo *s = stage + 1; s < table + kBZ_NumBuffInfos && s->type != kBZ_NoTaskType; ++s)
    if (s->type >= kBZ_AverageTaskType && s->type <= kBZ_OutlierTaskType) return true;
  return false;
}

// The receiving stage: the next one, past the compress stage when the run does not execute.
BZ_BuffInfo *ReceiverOf(BZ_ProjPtr project, BZ_BuffInfo *stage, BZ_ExecuteState exec) {
  BZ_BuffInfo *table = project->dynIO_Info.buffInfo;
  BZ_BuffInfo *receiver = BZ_GetOutputBufferInfoForStage(table, stage, 0);
  if (receiver != nullptr && receiver->type == kBZ_ComprTaskType && exec != kBZ_ProjStateExecuting)
    receiver = BZ_GetOutputBufferInfoForStage(table, receiver, 0);
  return receiver;
}

UInt32 CalcAutoSett(BZ_ExecuteState exec) {
  if (exec != kBZ_ProjStateAnalyzingMovie) return 0;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  return host->getAutoSettStage(host->refCon) & kBZ_RnAutoSettMask;
}

Boolean CalcStats(BZ_ExecuteState exec) {
  const BZ_EngineHost *host = BZ_GetEngineHost();
  return exec == kBZ_ProjStateAnalyzingMovie && host->getAutoSettStage(host->refCon) == 0;
}

void PrintSamples(const char *title, const SInt32 *samples, SInt32 count, const char *end) {
  std::printf("%s", title);
  for (SInt32 i = 0; i < count; ++i) std::printf("%ld,", long(samples[i]));
  std::printf(end, long(count));
}

// Waits until the random tables the filter needs are built, polling every 10 ticks with the status shown;
// a stop of the stage ends the wait with *stopped set.
OSStatus WaitForRandomTables(const BZ_Rn_Sett *sett, BZ_BuffInfo *stage, Boolean *stopped) {
  const int needed = sett->horizontal && sett->vertical ? 2 : (sett->horizontal || sett->vertical ? 1 : 0);
  const BZ_EngineHost *host = BZ_GetEngineHost();
  BZ_ProjDlgState *dlgState = host->getDialogStatePtr(host->refCon);
  OSStatus err = noErr;
  if (needed != 0 && !dlgState->noiseTablesReady[needed].load(std::memory_order_acquire)) {
    BZ_SetMakingRandomNoiseTables(1);
    while (!dlgState->noiseTablesReady[needed].load(std::memory_order_acquire)) {
      MPEventFlags flags = 0;
      err = MPWaitForEvent(stage->event, &flags, Duration(kWaitTicks * 1000 / 60));
      if (err == kMPTimeoutErr) {
        err = noErr;
      } else if (err != noErr) {
        break;
      }
      if (flags & kBZ_StopTaskFlag) {
        *stopped = true;
        break;
      }
    }
  }
  BZ_SetMakingRandomNoiseTables(0);
  return err;
}

}  // namespace

void BZ_RnLayOutModelsAndWindows(void *storage, BZ_RnParams *rnParams) {
  float *f = static_cast<float *>(storage);
  auto carve = [&f](float *&field, int n) {
    field = f;
    f += n;
  };
  static const int k16H[3] = {8, 4, 4}, k16V[3] = {8, 8, 8}, k2D[3] = {64, 16, 16}, k2Dadd[3] = {16, 8, 8};
  for (int c = 0; c < 3; ++c) carve(rnParams->nn16H[c], k16H[c]);
  for (int c = 0; c < 3; ++c) carve(rnParams->nn16V[c], k16V[c]);
  for (int c = 0; c < 3; ++c) carve(rnParams->nn2D[c], k2D[c]);
  for (int c = 0; c < 3; ++c) carve(rnParams->nn2Dadd[c], k2Dadd[c]);
  carve(rnParams->window8, 8);
  carve(rnParams->window16, 16);
  carve(rnParams->window64, 64);
  carve(rnParams->window256, 256);
}

OSStatus BZ_RnInitDlgTaskData(BZ_RnDlgTaskData **rnDlgTaskData) {
  if (rnDlgTaskData == nullptr) return paramErr;
  if (*rnDlgTaskData != nullptr) return noErr;
  auto *d = static_cast<BZ_RnDlgTaskData *>(std::calloc(1, sizeof(BZ_RnDlgTaskData)));
  if (d == nullptr) return memFullErr;
  *rnDlgTaskData = new (d) BZ_RnDlgTaskData{};
  return noErr;
}

// ---- Task 1 ----------------------------------------------------------------------------------------------------

OSStatus BZ_SetupReduceNoiseTask1(BZ_DlgTaskData *dlgData, BZ_ProjPtr project, BZ_BuffInfo *stage,
                                  BZ_RnParams *rnParams, MPQueueID *inInputQueue, MPQueueID *outFreeQueue,
                                  SInt32 **outSampleArray, SInt32 *numInFrames, SInt32 *lastInFrame,
                                  SInt32 *numOutSamples, Boolean *calcStats, Boolean *padding, Boolean *stopped) {
  if (dlgData == nullptr || project == nullptr || stage == nullptr || stage->taskData[0] == nullptr)
    return paramErr;
  const BZ_ExecuteState exec = project->state.exec;
  const BZ_InputSett &input = project->info.settings.input;
  BZ_Rn_Sett *sett = &project->info.settings.cleaning.noiseRed;
  const BZ_StatMovInfo *movie = &project->info.statMovInfo[0];

  // Settings that did not pass the dialog's validation would give a NaN model or a rectangle outside the
  // picture: refuse them before any frame. A temporal flag alone is treated as off.
  BZ_Rn_Sett checked = *sett;
  checked.temporal = false;
  if (!checked.horizontal && !checked.vertical) checked.horizontal = true;  // both off is a plain copy
  if (!BZ_NrValidateSett(project->info.statMovInfo, &checked, false)) {
    std::printf("KBZ: reduce noise task 1: settings out of range\n");
    return paramErr;
  }

  rnParams->interlaced = input.interlaced;
  rnParams->topFieldFirst = input.topFieldFirst;
  rnParams->inWidth = movie->width;
  rnParams->inHeight = movie->height;
  SInt64 frameBytes = 0;
  OSStatus err = BZ_GetBufferSize(movie->height, movie->width, input.interlaced, &rnParams->height,
                                  &rnParams->width, &frameBytes);
  if (err != noErr) return err;
  if (size_t(frameBytes) > stage->size || rnParams->width < 24 || rnParams->height < 24) return paramErr;

  *padding = BZ_GetPadding(project, kBZ_NoiseRedTaskType) || CleaningStageFollows(project->dynIO_Info.buffInfo, stage);
  rnParams->calcAutoSett = CalcAutoSett(exec);
  *calcStats = CalcStats(exec);
  BZ_BuffInfo *receiver = ReceiverOf(project, stage, exec);
  if (receiver == nullptr || receiver->taskData[0] == nullptr) return paramErr;
  *inInputQueue = stage->taskData[0].load()->inputQueue;
  *outFreeQueue = rnParams->calcAutoSett != 0 ? nullptr : receiver->taskData[0].load()->inFreeQueue;

  rnParams->sett = sett;
  BZ_RnDlgTaskData *rn = dlgData->rnDlgTaskData;
  if (rn == nullptr) return paramErr;
  for (int c = 0; c < 3; ++c) {
    rnParams->noiseSpectr16H[c] = rn->noiseSpectr16H[c];
    rnParams->noiseSpectr16V[c] = rn->noiseSpectr16V[c];
    rnParams->noiseSpectr2D[c] = rn->noiseSpectr2D[c];
    rnParams->noiseSpectr2Dadd[c] = rn->noiseSpectr2Dadd[c];
  }
  rnParams->randomPowerTable8 = rn->randomPowerTable8;
  rnParams->randomPowerTable16 = rn->randomPowerTable16;
  rnParams->randomPowerTable64 = rn->randomPowerTable64;
  rnParams->randomPowerTable256 = rn->randomPowerTable256;
  rnParams->randomPowerTable64add = rn->randomPowerTable64add;
  rnParams->randomPowerTable256add = rn->randomPowerTable256add;

  if (stage->addStorage == nullptr) {
    stage->addStorage = std::calloc(1, StorageBytes(stage));
    if (stage->addStorage == nullptr) return memFullErr;
  }
  rnParams->tempBuffer = static_cast<UInt8 *>(stage->addStorage);
  BZ_RnLayOutModelsAndWindows(static_cast<UInt8 *>(stage->addStorage) + 3 * stage->size, rnParams);
  BZ_RnFillInWindows(rnParams);
  if ((err = BZ_RnInitM16(rnParams)) != noErr) return err;
  if ((err = BZ_RnInitM8(rnParams)) != noErr) return err;

  // Every run reads the tables its model is made of: wait for them (a project may start right after the
  // program did), also before a manual model.
  if ((err = WaitForRandomTables(sett, stage, stopped)) != noErr || *stopped) return err;
  if (rnParams->calcAutoSett == 0) BZ_RnCalcNoiseModel(rnParams);
  else if ((err = BZ_RnAllocMeasuring(rnParams, rn)) != noErr) return err;

  const SInt32 maxSamples = std::max<SInt32>(BZ_GetMaxSampleNumArraySize(project->dynIO_Info.buffInfo), 1);
  SInt32 *inSamples = nullptr;
  if ((err = GL_NewPtrClear(sizeof(SInt32) * size_t(maxSamples), &inSamples)) != noErr) return err;
  if ((err = GL_NewPtrClear(sizeof(SInt32) * size_t(maxSamples), outSampleArray)) != noErr) {
    GL_DisposePtr(&inSamples);
    return err;
  }
  if (exec == kBZ_ProjStateExecuting) {
    *numInFrames = BZ_GetNumFramesInMovie(project->info.statMovInfo);
    *numOutSamples = *numInFrames;
    *lastInFrame = *numInFrames - 1;
  } else {
    SInt32 testSamples[kBZ_NumTestFrames + 1] = {};
    SInt32 numTest = 0;
    err = BZ_SelectMovieSamplesForStage(BZ_GetNumFramesInMovie(project->info.statMovInfo), kBZ_NoiseRedTaskType,
                                        inSamples, numInFrames, *outSampleArray, numOutSamples, testSamples, &numTest);
    *lastInFrame = *numInFrames > 0 ? inSamples[std::min(*numInFrames, maxSamples) - 1] : -1;
    if (err == noErr) {
      std::printf("\nmaxSampleNumArraySize = %ld\n", long(maxSamples));
      std::printf("Rn samples: \n");
      PrintSamples("In samples: ", inSamples, *numInFrames, " (%ld frames)\n");
      PrintSamples("Out samples: ", *outSampleArray, *numOutSamples, " (%ld frames)\n");
      PrintSamples("Test samples: ", testSamples, numTest, " (%ld frames)\n\n");
    }
  }
  GL_DisposePtr(&inSamples);
  if (err != noErr) return err;
  rnParams->event = stage->event;
  return noErr;
}

OSStatus BZ_RnCreateTask2(BZ_RnStageRun *run, MP_TaskData *task1) {
  MP_TaskData &task2 = run->task2;
  task2.~MP_TaskData();
  new (&task2) MP_TaskData{};
  task2.type = kBZ_NoiseRedTaskType;
  task2.termMessage1 = BZ_Word(kBZ_NoiseRedTaskType);
  task2.termMessage2 = run->project;
  task2.termQueue = task1->inputQueue;
  task2.creator = task1;
  task2.queuesAllocated = kMP_InputQueueAlloc;
  task2.entryPoint = BZ_ReduceNoiseTask2;
  task2.data = run;
  OSStatus err = MP_CreateTask(&task2);
  if (err != noErr) {
    MP_DisposeTask(&task2);
    return err;
  }
  run->stage->taskData[1] = &task2;
  run->stage->numTasks = 2;
  return noErr;
}

namespace {

// An output sample of an automatic-settings run: measured here instead of filtered, shown in the progress
// view, and handed to task 2 as if a worker had finished it (without an output buffer).
OSStatus MeasureFrame(BZ_RnStageRun *run, BZ_RnProcParams *item, BZ_RnProcParams *copies,
                      BZ_FrameBuffInfo *current) {
  if (current->number < 0 || current->number >= kBZ_MaxFrameBuffers) return paramErr;
  item->outBuffer = nullptr;
  BZ_DlgTaskInput input{};
  BZ_RnFillDlgTaskInput(run->stage, item, &input);
  OSStatus err = BZ_RnFindFrameBestSett(item->rnParams, &input);
  if (err != noErr) return err;
  run->project->dynIO_Info.outputInfo[0].numFrames += 1;
  MPEventFlags expected = 0;
  if ((err = BZ_ShowProgressFrame(run->project, current, run->stage->event, &expected)) != noErr) return err;
  BZ_RnProcParams *slot = &copies[current->number];
  *slot = *item;
  return MPNotifyQueue(run->task2.inputQueue, BZ_Word(kBZ_ProcSubTaskType), run->project, slot);
}

}  // namespace

OSStatus BZ_RnHandleInputBuffer(MP_TaskData *taskData, BZ_RnStageRun *run, SInt32 /*numInFrames*/,
                                MPQueueID outFreeQueue, BZ_RnProcParams *item, BZ_RnProcParams *copies,
                                UInt8 *buffer, const SInt32 *outSampleArray, SInt32 numOutSamples,
                                SInt32 *outArrayNum, Boolean *finished) {
  BZ_BuffInfo *stage = run->stage;
  BZ_FrameBuffInfo *arriving = BZ_GetFrameBuffInfo(stage, buffer);
  if (arriving == nullptr) return paramErr;
  const bool executing = run->exec == kBZ_ProjStateExecuting;
  for (;;) {
    item->prevBuffer = item->inBuffer;
    item->inBuffer = item->nextBuffer;
    item->nextBuffer = arriving;
    BZ_FrameBuffInfo *current = item->inBuffer;
    bool output = false, process = false;
    if (current != nullptr) {
      if (executing) {
        output = process = true;
        current->outArrayNum = -1;
      } else {
        output = *outArrayNum < numOutSamples && current->frameNum == outSampleArray[*outArrayNum];
        process = output && run->calcAutoSett == 0;
        current->outArrayNum = output ? *outArrayNum : -1;
      }
    }
    if (process) {
      void *outWord = nullptr;
      OSStatus err = BZ_WaitForBuffer(taskData, outFreeQueue, &outWord, nullptr, finished);
      if (err != noErr || *finished) return err;
      BZ_FrameBuffInfo *out = BZ_GetFrameBuffInfo(run->receiver, outWord);
      if (out == nullptr || current->number < 0 || current->number >= kBZ_MaxFrameBuffers) return paramErr;
      BZ_CopyFrameInfo(current, out);
      item->outBuffer = out;
      const SInt32 workers = std::clamp<SInt32>(taskData->numSubTasks, 1, kBZ_MaxNumSubTasks);
      if (item->subTaskNum < 0 || item->subTaskNum >= workers) item->subTaskNum = 0;
      BZ_RnProcParams *slot = &copies[current->number];
      *slot = *item;
      MP_TaskData *worker = MP_GetSubTaskByNumber(taskData, item->subTaskNum);
      if (worker == nullptr) return kMP_TerminateTaskErr;
      if ((err = MPNotifyQueue(worker->inputQueue, BZ_Word(kBZ_NoiseRedTaskType), run->project, slot)) != noErr)
        return err;
      item->subTaskNum = (item->subTaskNum + 1) % workers;
    }
    if (output && !process) {
      OSStatus err = MeasureFrame(run, item, copies, current);
      if (err == userCanceledErr) *finished = true;
      if (err != noErr) return *finished ? noErr : err;
    }
    if (output && !executing) ++*outArrayNum;
    // The last input frame is its own next frame, so that it does not wait for a frame that never comes (a
    // one-frame run included).
    if (arriving->frameNum != run->lastInFrame || item->inBuffer == arriving) return noErr;
  }
}

OSStatus BZ_ReduceNoiseTask1(void *parameter) {
  auto *task = static_cast<MP_TaskData *>(parameter);
  auto project = static_cast<BZ_ProjPtr>(task->termMessage2);
  if (project == nullptr) return paramErr;
  BZ_BuffInfo *stage = BZ_StageOfTask(project->dynIO_Info.buffInfo, task);
  if (stage == nullptr) return paramErr;

  BZ_RnParams rnParams{};
  BZ_RnProcParams item{};
  static_assert(kBZ_MaxFrameBuffers == 104, "one work item per frame buffer of the stage");
  auto *copies = static_cast<BZ_RnProcParams *>(std::calloc(kBZ_MaxFrameBuffers, sizeof(BZ_RnProcParams)));
  std::printf("KBZ: setting up reduce noise task 1\n");
  MPQueueID inInputQueue = nullptr, outFreeQueue = nullptr;
  SInt32 *outSamples = nullptr;
  SInt32 numInFrames = 0, lastInFrame = -1, numOutSamples = 0;
  Boolean calcStats = false, padding = false, finished = false, stopped = false;
  OSStatus result = copies != nullptr ? noErr : memFullErr;
  if (result == noErr)
    result = BZ_SetupReduceNoiseTask1(&gBZ.dlgTaskData, project, stage, &rnParams, &inInputQueue, &outFreeQueue,
                                      &outSamples, &numInFrames, &lastInFrame, &numOutSamples, &calcStats, &padding,
                                      &stopped);
  BZ_RnStageRun *run = nullptr;
  bool task2Started = false;
  if (result == noErr && !stopped) {
    run = new (RunOf(stage)) BZ_RnStageRun{};
    run->project = project;
    run->stage = stage;
    run->receiver = ReceiverOf(project, stage, project->state.exec);
    run->exec = project->state.exec;
    run->calcAutoSett = rnParams.calcAutoSett;
    run->calcStats = calcStats;
    run->numInFrames = numInFrames;
    run->lastInFrame = lastInFrame;
    run->copies = copies;
    task->data = run;
    result = BZ_RnCreateTask2(run, task);
    task2Started = result == noErr;
    if (result == noErr) {
      task->numSubTasks = BZ_GetNumSubTasks();
      result = BZ_CreateSubTasks(task, BZ_ReduceNoiseTaskProper, nullptr);
    }
  }

  item.rnParams = &rnParams;
  item.calcStats = calcStats;
  item.padding = padding;
  if (rnParams.calcAutoSett != 0)
    std::printf("ReduceNoiseTask1: analyzing, calcAutoSett = %lu\n", static_cast<unsigned long>(rnParams.calcAutoSett));
  SInt32 outArrayNum = 0;
  Boolean task2Ended = false;
  while (result == noErr && !stopped && !finished) {
    void *word = nullptr;
    BZ_TaskType sender = kBZ_NoTaskType;
    result = BZ_WaitForBuffer(task, inInputQueue, &word, &sender, &finished);
    if (result != noErr || finished) break;
    if (sender == kBZ_NoiseRedTaskType && BZ_FromWord(word) == kBZ_EndOfStreamMessage &&
        rnParams.calcAutoSett != 0) {  // task 2 has the measurement's result
      finished = true;
      break;
    }
    if (sender == kBZ_NoiseRedTaskType) {  // task 2 ended on its own
      task2Ended = true;
      result = OSStatus(BZ_FromWord(word));
      break;
    }
    if (sender == kBZ_ProcSubTaskType) {  // a worker ended early: it no longer counts for closing
      MP_InvalidateAnySubTask(task);
      result = BZ_FromWord(word) != noErr ? OSStatus(BZ_FromWord(word)) : kMP_TerminateTaskErr;
      break;
    }
    if (BZ_FromWord(word) == kBZ_EndOfStreamMessage) continue;
    result = BZ_RnHandleInputBuffer(task, run, numInFrames, outFreeQueue, &item, copies, static_cast<UInt8 *>(word),
                                    outSamples, numOutSamples, &outArrayNum, &finished);
  }

  if (run != nullptr) {
    OSStatus err = BZ_CloseProcSubTasks(task, project);
    if (err != noErr)
      std::printf("KBZ reduce noise task 1: error %ld deleting subtasks\n", long(err));
    else
      std::printf("KBZ reduce noise task 1: deleted subtasks\n");
    if (result == noErr) result = err;
    if (task2Started) {
      err = BZ_RnCloseTask2(task, run, &task2Ended);
      if (err != noErr)
        std::printf("KBZ reduce noise task 1: error %ld deleting task 2\n", long(err));
      else
        std::printf("KBZ reduce noise task 1: deleted task 2\n");
      if (result == noErr) result = err;
    }
  }
  // An automatic-settings run ends here: the main task learns it from 5033.
  if (run != nullptr && rnParams.calcAutoSett != 0 && task->termQueue != nullptr) {
    const OSStatus err = MPNotifyQueue(task->termQueue, BZ_Word(kBZ_NoiseRedTaskType), project,
                                       BZ_Word(kBZ_EndOfStreamMessage));
    if (result == noErr) result = err;
  }
  BZ_RnFree(&rnParams);
  task->exiting = true;
  GL_DisposePtr(&outSamples);
  std::free(copies);
  if (run != nullptr) run->copies = nullptr;
  std::printf("KBZ: exiting reduce noise task 1, error = %ld\n", long(result));
  return result;
}

// ---- Workers -----------------------------------------------------------------------------------------------------

OSStatus BZ_ReduceNoiseTaskProper(void *parameter) {
  auto *worker = static_cast<MP_TaskData *>(parameter);
  auto *run = static_cast<BZ_RnStageRun *>(worker->creator->data);
  OSStatus result = noErr;
  for (;;) {
    void *word = nullptr;
    OSStatus err = MPWaitOnQueue(worker->inputQueue, nullptr, nullptr, &word, kDurationForever);
    if (err != noErr) return err;
    if (word == nullptr) return result;
    auto *item = static_cast<BZ_RnProcParams *>(word);
    const BZ_RnParams *p = item->rnParams;
    auto ptr = [](const BZ_FrameBuffInfo *info) { return info != nullptr ? info->ptr : nullptr; };
    err = BZ_ReduceNoise(nullptr, p, 0, 0, run->exec, ptr(item->prevBuffer), ptr(item->inBuffer),
                         ptr(item->nextBuffer), item->outBuffer->ptr);
    if (err == noErr && item->padding) {
      BZ_PadParams pad{};
      BZ_RnParamsToPadParams(p, &pad);
      err = BZ_PadFrame(&pad, item->outBuffer->ptr);
    }
    if (err != noErr) return err;
    result = MPNotifyQueue(run->task2.inputQueue, BZ_Word(kBZ_ProcSubTaskType), run->project, item);
    if (result != noErr) return result;
  }
}

OSStatus BZ_ReduceNoise(BZ_ProjPtr, const BZ_RnParams *rnParams, SInt32, SInt32, BZ_ExecuteState, const UInt8 *,
                        const UInt8 *inBuffer, const UInt8 *, UInt8 *outBuffer) {
  if (rnParams == nullptr || inBuffer == nullptr || outBuffer == nullptr) return paramErr;
  // Temporal filtering is treated as off: the settings' validation turns it off before a project starts.
  BZ_RnFilterSpatialUni(rnParams, inBuffer, outBuffer);
  return noErr;
}

namespace {

// The filter the settings choose, through the given frame passes.
void FilterSpatialWith(const BZ_RnParams *rnParams, const UInt8 *inBuffer, UInt8 *outBuffer,
                       void (*horizontal)(const BZ_RnParams *, const UInt8 *, UInt8 *),
                       void (*vertical)(const BZ_RnParams *, const UInt8 *, UInt8 *),
                       void (*both)(const BZ_RnParams *, const UInt8 *, UInt8 *)) {
  const BZ_Rn_Sett *sett = rnParams->sett;
  if (sett->horizontal && sett->vertical)
    both(rnParams, inBuffer, outBuffer);
  else if (sett->horizontal)
    horizontal(rnParams, inBuffer, outBuffer);
  else if (sett->vertical)
    vertical(rnParams, inBuffer, outBuffer);
  else
    std::memcpy(outBuffer, inBuffer, size_t(rnParams->width) * size_t(rnParams->height) * 2);
}

}  // namespace

void BZ_RnFilterSpatial(const BZ_RnParams *rnParams, const UInt8 *inBuffer, UInt8 *outBuffer) {
  FilterSpatialWith(rnParams, inBuffer, outBuffer, BZ_RnHorizFilter, BZ_RnVertFilter, BZ_Rn2DFilter);
}

void BZ_RnFilterSpatialAcc(const BZ_RnParams *rnParams, const UInt8 *inBuffer, UInt8 *outBuffer) {
  FilterSpatialWith(rnParams, inBuffer, outBuffer, BZ_RnHorizFilterAcc, BZ_RnVertFilterAcc, BZ_Rn2DFilterAcc);
}

void BZ_RnFilterSpatialUni(const BZ_RnParams *rnParams, const UInt8 *inBuffer, UInt8 *outBuffer) {
  if (gBZ.procInfo.hasSSE3)
    BZ_RnFilterSpatialAcc(rnParams, inBuffer, outBuffer);
  else
    BZ_RnFilterSpatial(rnParams, inBuffer, outBuffer);
}

// ---- Task 2 -----------------------------------------------------------------------------------------------------

namespace {

// Task 2's state for a run.
struct Collector {
  BZ_RnStageRun *run;
  BZ_DlgTaskData *dlgData;
  MPQueueID inFreeQueue;
  MPQueueID outInputQueue;
  Boolean freeInputBuffer;
  SInt32 *outSamples;
  SInt32 numOutSamples;
  SInt32 testSamples[kBZ_NumTestFrames + 1];
  SInt32 numTestFrames;
  SInt32 curTestNum;
  BZ_RnProcParams *byOut[kBZ_MaxFrameBuffers];  // the item of each output buffer in the pool, by its number
  MPEventFlags expectedEvents;
};

OSStatus AnalyzeFrame(Collector &c, BZ_RnProcParams *item) {
  BZ_RnStageRun *run = c.run;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  BZ_ProjDlgState *dlgState = host->getDialogStatePtr(host->refCon);
  const SInt32 stageNum = std::clamp<SInt32>(run->stage->number, 0, kBZ_MaxNumStages - 1);
  BZ_FrameBuffInfo *in = item->inBuffer;
  if (in->outArrayNum == 0) {
    if (run->calcAutoSett != 0) {
      dlgState->calcRedNoiseBestSett = true;
    } else if (run->calcStats) {
      dlgState->findingNoiseLevel[stageNum] = true;
      dlgState->findingFrameDiff[stageNum] = true;
    }
  }
  if (!run->calcStats) return noErr;
  BZ_DlgTaskInput input{};
  BZ_RnFillDlgTaskInput(run->stage, item, &input);
  if (c.curTestNum < c.numTestFrames && in->frameNum == c.testSamples[c.curTestNum]) {
    input.testNum = c.curTestNum;
    in->statsNum = c.curTestNum;
    return BZ_GeneralFrameAnalysis(run->stage, c.dlgData, 1, &input, &c.expectedEvents);
  }
  in->statsNum = -1;
  return noErr;
}

// Hands the output on and returns the input buffers no longer needed (see the release rules in the header of
// the collector's steps).
OSStatus NotifyRnFrame(Collector &c, BZ_RnProcParams *item) {
  BZ_RnStageRun *run = c.run;
  const SInt32 n = item->inBuffer->frameNum, a = item->inBuffer->outArrayNum, N = c.numOutSamples;
  const SInt32 T = c.numTestFrames, t = c.curTestNum;
  bool prevTest = false, curTest = false, nextTest = false, curNeeded = false, nextNeeded = false;
  if (run->exec != kBZ_ProjStateExecuting) {
    const SInt32 *out = c.outSamples, *test = c.testSamples;
    prevTest = t > 0 && n - 1 == test[t - 1];
    if (a > 0 && a < N && out[a] < out[a - 1]) {
      std::printf("BZ_NotifyRnFrame: breakpoint in out sample array\n");
      prevTest = false;
    }
    curTest = t < T && test[t] == n;
    if (curTest)
      nextTest = t < T - 1 && n + 1 == test[t + 1];
    else
      nextTest = t < T && n + 1 == test[t];
    if (a >= 0 && a < N - 1) {
      curNeeded = out[a + 1] - 1 == n;
      nextNeeded = n + 1 >= out[a + 1] - 1 && !(out[a + 1] < out[a]);
    }
  }
  auto released = [&](bool needed, bool test) { return !needed && (!test || c.freeInputBuffer); };
  bool releasePrev, releaseCur, releaseNext;
  if (run->exec == kBZ_ProjStateExecuting) {
    releasePrev = c.freeInputBuffer;
    releaseCur = releaseNext = false;
  } else {
    releasePrev = released(false, prevTest);
    releaseCur = released(curNeeded, curTest);
    releaseNext = released(nextNeeded, nextTest);
  }
  auto ptr = [](BZ_FrameBuffInfo *info) -> void * { return info != nullptr ? info->ptr : nullptr; };
  void *prev = releasePrev ? ptr(item->prevBuffer) : nullptr;
  // The window repeats a buffer at the ends of a run (the last frame is its own next frame): return each
  // buffer once.
  void *cur = releaseCur ? ptr(item->inBuffer) : nullptr;
  void *next = releaseNext && item->nextBuffer != item->inBuffer ? ptr(item->nextBuffer) : nullptr;
  if (prev == cur) prev = nullptr;
  const MPQueueID free = c.inFreeQueue;
  OSStatus err = BZ_NotifyFrame(run->project, kBZ_NoiseRedTaskType, prev != nullptr ? free : nullptr,
                                c.outInputQueue, prev, ptr(item->outBuffer));
  if (err == noErr && next != nullptr) err = BZ_NotifyFrame(run->project, kBZ_NoiseRedTaskType, free, nullptr, next, nullptr);
  if (err == noErr && cur != nullptr) err = BZ_NotifyFrame(run->project, kBZ_NoiseRedTaskType, free, nullptr, cur, nullptr);
  return err;
}

OSStatus HandleFrameInOrder(Collector &c, BZ_RnProcParams *item) {
  BZ_RnStageRun *run = c.run;
  if (run->exec != kBZ_ProjStateExecuting) {
    OSStatus err = AnalyzeFrame(c, item);
    if (err != noErr) return err;
    if (item->inBuffer->outArrayNum == c.numOutSamples - 1) {
      const BZ_EngineHost *host = BZ_GetEngineHost();
      if ((err = BZ_RnEvaluateResult(run, item->rnParams, host->getDialogStatePtr(host->refCon), run->calcStats,
                                     c.numTestFrames)) != noErr)
        return err;
    }
  }
  const SInt32 frameNum = item->inBuffer->frameNum;
  OSStatus err = NotifyRnFrame(c, item);
  if (run->exec != kBZ_ProjStateExecuting && c.curTestNum < c.numTestFrames &&
      frameNum == c.testSamples[c.curTestNum])
    ++c.curTestNum;
  return err;
}

OSStatus HandleOutBuffer(Collector &c, BZ_RnProcParams *item) {
  BZ_RnStageRun *run = c.run;
  // A measured sample has no output buffer and comes in order from task 1 itself.
  if (run->calcAutoSett != 0) return item->inBuffer != nullptr ? HandleFrameInOrder(c, item) : paramErr;
  BZ_FrameBuffInfo *out = item->outBuffer;
  if (out == nullptr || out->number < 0 || out->number >= kBZ_MaxFrameBuffers || item->inBuffer == nullptr)
    return paramErr;
  const SInt32 key = run->exec == kBZ_ProjStateExecuting ? item->inBuffer->frameNum : item->inBuffer->outArrayNum;
  if (run->stage->mpInfo.outFrameNum > key) {
    // Its turn has passed: the output buffer goes back to the receiver.
    return BZ_NotifyFrame(run->project, kBZ_NoiseRedTaskType, run->receiver->taskData[0].load()->inFreeQueue,
                          nullptr, out->ptr, nullptr);
  }
  c.byOut[out->number] = item;
  OSStatus err = MPNotifyQueue(run->stage->mpInfo.outputPool, BZ_Word(kBZ_NoiseRedTaskType), nullptr, out->ptr);
  while (err == noErr) {
    UInt8 *frame = nullptr;
    err = BZ_GetFrameFromOutputPool(run->exec, run->receiver, kBZ_NoiseRedTaskType, &run->stage->mpInfo, &frame);
    if (err != noErr || frame == nullptr) break;
    BZ_FrameBuffInfo *done = BZ_GetFrameBuffInfo(run->receiver, frame);
    if (done == nullptr || c.byOut[done->number] == nullptr) return paramErr;
    BZ_RnProcParams *doneItem = c.byOut[done->number];
    c.byOut[done->number] = nullptr;
    err = HandleFrameInOrder(c, doneItem);
  }
  return err;
}

}  // namespace

OSStatus BZ_ReduceNoiseTask2(void *parameter) {
  auto *task2 = static_cast<MP_TaskData *>(parameter);
  auto *run = static_cast<BZ_RnStageRun *>(task2->data);
  std::printf("KBZ: setting up reduce noise task 2\n");
  auto *c = static_cast<Collector *>(std::calloc(1, sizeof(Collector)));
  if (c == nullptr) return memFullErr;
  c->run = run;
  c->dlgData = &gBZ.dlgTaskData;
  c->inFreeQueue = run->stage->taskData[0].load()->inFreeQueue;
  c->outInputQueue = run->calcAutoSett != 0 ? nullptr : run->receiver->taskData[0].load()->inputQueue;
  c->freeInputBuffer = !BZ_NeedInBufferForNoiseCalc(run->project->dynIO_Info.buffInfo, run->stage, run->exec,
                                                    run->project->info.settings.output.makeNoiseMovie,
                                                    run->calcStats);
  // A preview's frames are not given back by a later stage (the next run refills the pools); a statistics
  // run's test frames are, by the write stage once measured.
  if (run->exec == kBZ_ProjStatePreviewing) c->freeInputBuffer = true;
  OSStatus result = noErr;
  if (run->exec != kBZ_ProjStateExecuting) {
    const SInt32 maxSamples = std::max<SInt32>(BZ_GetMaxSampleNumArraySize(run->project->dynIO_Info.buffInfo), 1);
    SInt32 *inSamples = nullptr;
    SInt32 numIn = 0;
    result = GL_NewPtrClear(sizeof(SInt32) * size_t(maxSamples), &inSamples);
    if (result == noErr) result = GL_NewPtrClear(sizeof(SInt32) * size_t(maxSamples), &c->outSamples);
    if (result == noErr)
      result = BZ_SelectMovieSamplesForStage(BZ_GetNumFramesInMovie(run->project->info.statMovInfo),
                                             kBZ_NoiseRedTaskType, inSamples, &numIn, c->outSamples,
                                             &c->numOutSamples, c->testSamples, &c->numTestFrames);
    GL_DisposePtr(&inSamples);
  }
  Boolean finished = false;
  while (result == noErr && !finished) {
    void *word = nullptr;
    result = BZ_WaitForBuffer(task2, task2->inputQueue, &word, nullptr, &finished);
    if (result != noErr || finished) break;
    if (BZ_FromWord(word) == kBZ_EndOfStreamMessage) break;
    result = HandleOutBuffer(*c, static_cast<BZ_RnProcParams *>(word));
  }
  task2->exiting = true;
  GL_DisposePtr(&c->outSamples);
  std::free(c);
  if (result == userCanceledErr) result = noErr;
  std::printf("KBZ: exiting reduce noise task 2, error = %ld\n", long(result));
  return result;
}

OSStatus BZ_RnEvaluateResult(BZ_RnStageRun *run, const BZ_RnParams *rnParams, BZ_ProjDlgState *dlgState,
                             Boolean calcStats, SInt32 numTestFrames) {
  if (run->calcAutoSett != 0) {
    OSStatus err = BZ_RnBestSettingsCalcResult(rnParams);
    dlgState->calcRedNoiseBestSett = false;
    const OSStatus ended = MPNotifyQueue(run->stage->taskData[0].load()->inputQueue, BZ_Word(kBZ_NoiseRedTaskType),
                                         run->project, BZ_Word(kBZ_EndOfStreamMessage));
    return err != noErr ? err : ended;
  }
  if (!calcStats) return noErr;
  OSStatus err = BZ_FinishGeneralFrameAnalysis(run->stage, 1, numTestFrames);
  const SInt32 stageNum = std::clamp<SInt32>(run->stage->number, 0, kBZ_MaxNumStages - 1);
  dlgState->findingNoiseLevel[stageNum] = false;
  dlgState->findingFrameDiff[stageNum] = false;
  return err;
}

void BZ_RnFillDlgTaskInput(const BZ_BuffInfo *inBuffInfo, const BZ_RnProcParams *rnProcParams,
                           BZ_DlgTaskInput *dlgTaskInput) {
  const BZ_FrameBuffInfo *in = rnProcParams->inBuffer;
  dlgTaskInput->inBuffer = in->ptr;
  dlgTaskInput->frameNum = in->frameNum;
  dlgTaskInput->arrayNum = in->inArrayNum;
  dlgTaskInput->realArrayNum = in->outArrayNum;
  dlgTaskInput->stageNum = inBuffInfo->number;
  dlgTaskInput->fileNum = inBuffInfo->fileNum;
  dlgTaskInput->outBuffer = rnProcParams->outBuffer != nullptr ? rnProcParams->outBuffer->ptr : nullptr;
}

// ---- End of a run ----------------------------------------------------------------------------------------------

OSStatus BZ_RnCloseTask2(MP_TaskData *taskData, BZ_RnStageRun *run, Boolean *task2Ended) {
  OSStatus err = MPNotifyQueue(run->task2.inputQueue, BZ_Word(kBZ_NoiseRedTaskType), nullptr,
                               BZ_Word(kBZ_EndOfStreamMessage));
  if (err != noErr) return err;
  if (run->calcAutoSett == 0) {
    err = MPNotifyQueue(run->receiver->taskData[0].load()->inputQueue, BZ_Word(kBZ_NoiseRedTaskType), nullptr,
                        BZ_Word(kBZ_EndOfStreamMessage));
    if (err != noErr) return err;
  }
  OSStatus result = noErr;
  while (!*task2Ended) {
    void *sender = nullptr, *code = nullptr;
    if ((err = MPWaitOnQueue(taskData->inputQueue, &sender, nullptr, &code, kDurationForever)) != noErr) return err;
    if (BZ_FromWord(sender) == kBZ_NoiseRedTaskType) {
      *task2Ended = true;
      result = OSStatus(BZ_FromWord(code));
    }
  }
  // Task 2 has ended: the main task must not count it as running.
  run->task2.ID = nullptr;
  MP_DisposeTask(&run->task2);
  return result;
}

void BZ_RnFree(BZ_RnParams *rnParams) {
  for (auto &levels : rnParams->indNoiseLevels) {
    std::free(levels);
    levels = nullptr;
  }
  std::free(rnParams->savedSpectra);
  rnParams->savedSpectra = nullptr;
  BZ_RnDisposeBases(rnParams);
}
