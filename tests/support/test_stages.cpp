// The test stages (see test_stages.h), the identity cleaning stage built on the shared method-stage pieces.
#include "support/test_stages.h"

#include "engine/engine_wiring.h"
#include "engine/main_task.h"
#include "engine/runtime/stage_access.h"
#include "engine/tasks/task_runtime.h"
#include "methods/method_stage.h"
#include "platform/core/multiprocessing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>

namespace bz_test {
namespace {

BZ_ProjPtr ProjectOf(MP_TaskData *task) { return static_cast<BZ_ProjPtr>(task->termMessage2); }

BZ_BuffInfo *StageOf(MP_TaskData *task) { return BZ_StageOfTask(ProjectOf(task)->dynIO_Info.buffInfo, task); }

void Started(MP_TaskData *task) {
  std::lock_guard<std::mutex> lock(TestStages().mutex);
  ++TestStages().stagesStarted;
  TestStages().stageQueues.push_back(task->inputQueue);
  TestStages().stageQueues.push_back(task->inFreeQueue);
}

bool ShouldFail(BZ_TaskType type, SInt32 frames) {
  TestStageConfig &c = TestStages();
  return c.failingStage == type && frames >= c.failAfterFrames;
}

// A stage that was stopped ends with the configured stop error, if any.
OSStatus StopResult(BZ_TaskType type, Boolean finished, OSStatus result) {
  TestStageConfig &c = TestStages();
  if (result == noErr && finished && c.stopFailingStage == type) return c.stopError;
  return result;
}

// Makes numbered frames for the stage after this one, then waits to be stopped (read and noise-frame stages).
OSStatus SourceTask(void *parameter) {
  auto *task = static_cast<MP_TaskData *>(parameter);
  Started(task);
  BZ_ProjPtr project = ProjectOf(task);
  BZ_BuffInfo *stage = StageOf(task);
  BZ_BuffInfo *out = BZ_GetOutputBufferInfoForStage(project->dynIO_Info.buffInfo, stage, 0);
  if (stage == nullptr || out == nullptr || out->taskData[0] == nullptr) return paramErr;
  const BZ_TaskType type = stage->type;
  Boolean finished = false;
  OSStatus result = noErr;
  for (SInt32 f = 0; f < TestStages().numFrames && !finished && result == noErr; ++f) {
    if (ShouldFail(type, f)) return TestStages().failError;
    void *word = nullptr;
    result = BZ_WaitForBuffer(task, out->taskData[0].load()->inFreeQueue, &word, nullptr, &finished);
    if (result != noErr || finished) break;
    auto *buffer = static_cast<UInt8 *>(word);
    BZ_FrameBuffInfo *info = BZ_GetFrameBuffInfo(out, buffer);
    if (info == nullptr) return paramErr;
    info->frameNum = info->inArrayNum = info->outArrayNum = f;
    info->duration = TestStages().frameDuration;
    info->time = f * info->duration;
    if (!TestStages().premadeFrames) StampFrame(buffer, out->size, f);
    result = BZ_NotifyFrame(project, type, nullptr, out->taskData[0].load()->inputQueue, nullptr, buffer);
  }
  // Its frames are all made: it keeps waiting until the main task stops it.
  while (!finished && result == noErr) result = BZ_WaitForBuffer(task, task->inputQueue, nullptr, nullptr, &finished);
  return StopResult(type, finished, result);
}

// Passes each frame on (copy and compress stages).
OSStatus PassTask(void *parameter) {
  auto *task = static_cast<MP_TaskData *>(parameter);
  Started(task);
  BZ_ProjPtr project = ProjectOf(task);
  BZ_BuffInfo *stage = StageOf(task);
  BZ_BuffInfo *out = BZ_GetOutputBufferInfoForStage(project->dynIO_Info.buffInfo, stage, 0);
  if (stage == nullptr || out == nullptr || out->taskData[0] == nullptr) return paramErr;
  const BZ_TaskType type = stage->type;
  Boolean finished = false;
  OSStatus result = noErr;
  for (SInt32 frames = 0; !finished && result == noErr; ++frames) {
    void *word = nullptr;
    result = BZ_WaitForBuffer(task, task->inputQueue, &word, nullptr, &finished);
    if (result != noErr || finished) break;
    if (BZ_FromWord(word) == kBZ_EndOfStreamMessage) continue;
    if (ShouldFail(type, frames)) return TestStages().failError;
    auto *in = static_cast<UInt8 *>(word);
    void *outWord = nullptr;
    result = BZ_WaitForBuffer(task, out->taskData[0].load()->inFreeQueue, &outWord, nullptr, &finished);
    if (result != noErr || finished) break;
    auto *outBuffer = static_cast<UInt8 *>(outWord);
    BZ_FrameBuffInfo *inInfo = BZ_GetFrameBuffInfo(stage, in);
    BZ_FrameBuffInfo *outInfo = BZ_GetFrameBuffInfo(out, outBuffer);
    if (inInfo == nullptr || outInfo == nullptr) return paramErr;
    BZ_CopyFrameInfo(inInfo, outInfo);
    outInfo->outArrayNum = inInfo->outArrayNum;
    if (!TestStages().premadeFrames) std::memcpy(outBuffer, in, std::min(stage->size, out->size));
    result = BZ_NotifyFrame(project, type, task->inFreeQueue, out->taskData[0].load()->inputQueue, in, outBuffer);
  }
  return StopResult(type, finished, result);
}

// Checks and records each frame; after the last one it ends as the write stages do.
OSStatus WriteTask(void *parameter) {
  auto *task = static_cast<MP_TaskData *>(parameter);
  Started(task);
  BZ_ProjPtr project = ProjectOf(task);
  BZ_BuffInfo *stage = StageOf(task);
  if (stage == nullptr) return paramErr;
  const SInt32 file = std::clamp<SInt32>(stage->fileNum, 0, 1);
  TestStageConfig &c = TestStages();
  Boolean finished = false;
  OSStatus result = noErr;
  for (SInt32 count = 0; !finished && result == noErr;) {
    void *word = nullptr;
    result = BZ_WaitForBuffer(task, task->inputQueue, &word, nullptr, &finished);
    if (result != noErr || finished) break;
    if (BZ_FromWord(word) == kBZ_EndOfStreamMessage) continue;
    if (ShouldFail(kBZ_WriteTaskType, count)) return c.failError;
    auto *buffer = static_cast<UInt8 *>(word);
    BZ_FrameBuffInfo *info = BZ_GetFrameBuffInfo(stage, buffer);
    if (info == nullptr) return paramErr;
    {
      std::lock_guard<std::mutex> lock(c.mutex);
      c.written[file].push_back(info->frameNum);
      if (!c.premadeFrames && !FrameIntact(buffer, stage->size, info->frameNum)) ++c.damagedFrames;
    }
    result = BZ_NotifyFrame(project, kBZ_WriteTaskType, task->inFreeQueue, nullptr, buffer, nullptr);
    if (++count < c.numFrames) continue;
    // The last write stage to finish ends the stream; the others end quietly.
    if (--c.openWriteStages > 0) return result;
    if (project->state.exec == kBZ_ProjStateExecuting) project->state.exec = kBZ_ProjStateFinished;
    OSStatus err = MPNotifyQueue(task->creator->inputQueue, BZ_Word(kBZ_WriteTaskType), project,
                                 BZ_Word(kBZ_EndOfStreamMessage));
    return result != noErr ? result : err;
  }
  return StopResult(kBZ_WriteTaskType, finished, result);
}

// ---- The identity cleaning stage ----
// Built on the shared method-stage pieces as every cleaning method is: a distributor, workers that copy the
// frame (sleeping a random moment to mix up their order) and a collector that hands frames on in order.

struct IdentityItem {
  UInt8 *in;
  UInt8 *out;
};

OSStatus IdentityWorker(void *parameter) {
  auto *worker = static_cast<MP_TaskData *>(parameter);
  BZ_MethodStage *ms = BZ_MsOfTask(worker);
  if (ms == nullptr) return paramErr;
  std::minstd_rand rng(UInt32(worker->number) * 7919u + 1u);
  for (;;) {
    void *word = nullptr;
    OSStatus err = BZ_MsWaitForItem(worker, &word);
    if (err != noErr) return err;
    if (word == nullptr) return noErr;
    auto *item = static_cast<IdentityItem *>(word);
    std::memcpy(item->out, item->in, std::min(ms->stage->size, ms->receiver->size));
    if (TestStages().randomDelays) MP_DelayMillisec(UInt32(rng() % 3));
    if ((err = BZ_MsItemDone(worker, item)) != noErr) return err;
  }
}

OSStatus IdentityTask2(void *parameter) {
  auto *task2 = static_cast<MP_TaskData *>(parameter);
  BZ_MethodStage *ms = BZ_MsOfTask(task2);
  Boolean finished = false;
  OSStatus result = noErr;
  while (!finished && result == noErr) {
    void *word = nullptr;
    result = BZ_WaitForBuffer(task2, task2->inputQueue, &word, nullptr, &finished);
    if (result != noErr || finished) break;
    const IdentityItem item = *static_cast<IdentityItem *>(word);
    result = BZ_MsCollectFrame(ms, item.in, item.out);
  }
  return BZ_MsEndTask2(ms, task2, result);
}

OSStatus IdentityTask1(void *parameter) {
  auto *task = static_cast<MP_TaskData *>(parameter);
  Started(task);
  BZ_MethodStage *ms = nullptr;
  OSStatus result = BZ_MsCreateStageRecord(task, sizeof(IdentityItem), &ms);
  if (result != noErr) return result;
  // The test stages after it never give a source frame back: it goes back at once.
  ms->freeInputBuffer = true;
  if ((result = BZ_MsCreateTask2(ms, task, IdentityTask2)) == noErr)
    result = BZ_MsCreateWorkers(task, IdentityWorker);

  Boolean finished = false;
  for (SInt32 frames = 0; result == noErr && !finished; ++frames) {
    UInt8 *in = nullptr, *out = nullptr;
    result = BZ_MsWaitForFrame(ms, task, &in, &out, &finished);
    if (result != noErr || finished) break;
    if (ShouldFail(ms->type, frames)) {
      result = TestStages().failError;
      break;
    }
    auto *item = static_cast<IdentityItem *>(BZ_MsWorkItem(ms, in));
    *item = {in, out};
    result = BZ_MsPostItem(ms, task, BZ_MsTakeWorkerNum(ms, task), item);
  }
  result = StopResult(ms->type, finished, result);

  OSStatus err = BZ_CloseProcSubTasks(task, ms->project);
  if (result == noErr) result = err;
  err = BZ_MsCloseTask2(ms, task);
  if (result == noErr) result = err;
  return result;
}

}  // namespace

TestStageConfig &TestStages() {
  static TestStageConfig config;
  return config;
}

void InstallTestStages(SInt32 numFrames, SInt32 openWriteStages, std::initializer_list<BZ_TaskType> realTypes) {
  TestStageConfig &c = TestStages();
  c.numFrames = numFrames;
  c.randomDelays = true;
  c.premadeFrames = false;
  c.frameDuration = 0;
  c.failingStage = kBZ_NoTaskType;
  c.failAfterFrames = 0;
  c.failError = noErr;
  c.stopFailingStage = kBZ_NoTaskType;
  c.stopError = noErr;
  c.openWriteStages = openWriteStages;
  {
    std::lock_guard<std::mutex> lock(c.mutex);
    c.written[0].clear();
    c.written[1].clear();
    c.damagedFrames = 0;
    c.stagesStarted = 0;
    c.stageQueues.clear();
  }
  static const struct {
    BZ_TaskType type;
    TaskProc entryPoint;
  } kTestStages[] = {
      {kBZ_ReadTaskType, SourceTask},         {kBZ_CopyTaskType, PassTask},
      {kBZ_ComprTaskType, PassTask},          {kBZ_WriteTaskType, WriteTask},
      {kBZ_NoiseFrameTaskType, SourceTask},   {kBZ_AverageTaskType, IdentityTask1},
      {kBZ_VarBrTaskType, IdentityTask1},     {kBZ_NoiseRedTaskType, IdentityTask1},
      {kBZ_RlTaskType, IdentityTask1},        {kBZ_CrossLumaTaskType, IdentityTask1},
      {kBZ_OutlierTaskType, IdentityTask1},
  };
  BZ_InstallStageEntryPoints();
  for (const auto &stage : kTestStages) {
    if (std::find(realTypes.begin(), realTypes.end(), stage.type) != realTypes.end()) continue;
    BZ_SetStageEntryPoint(stage.type, false, stage.entryPoint);
    if (stage.type == kBZ_VarBrTaskType) BZ_SetStageEntryPoint(stage.type, true, stage.entryPoint);
  }
}

void StampFrame(UInt8 *buffer, size_t size, SInt32 frame) {
  for (size_t i = 0; i < size; ++i) buffer[i] = UInt8(frame * 31 + SInt32(i % 251));
  if (size >= sizeof frame) std::memcpy(buffer, &frame, sizeof frame);
}

bool FrameIntact(const UInt8 *buffer, size_t size, SInt32 frame) {
  SInt32 stamped = 0;
  if (size >= sizeof frame) std::memcpy(&stamped, buffer, sizeof frame);
  if (stamped != frame) return false;
  for (size_t i = sizeof frame; i < size; ++i)
    if (buffer[i] != UInt8(frame * 31 + SInt32(i % 251))) return false;
  return true;
}

}  // namespace bz_test
