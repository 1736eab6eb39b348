// The test stages (see test_stages.h) and a check of the identity stage's frame order on its own.
#include "test_stages.h"

#include "engine/engine_wiring.h"
#include "engine/main_task.h"
#include "engine/runtime/stage_access.h"
#include "engine/tasks/task_runtime.h"
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
    StampFrame(buffer, out->size, f);
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
    std::memcpy(outBuffer, in, std::min(stage->size, out->size));
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
      if (!FrameIntact(buffer, stage->size, info->frameNum)) ++c.damagedFrames;
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

struct IdentityItem {
  UInt8 *in;
  UInt8 *out;
};

// Kept in the stage's addStorage, which lives as long as the table (the main task may read the collector's
// record until the run is over).
struct IdentityStage {
  MP_TaskData task2;
  BZ_ProjPtr project;
  BZ_BuffInfo *stage;
  BZ_BuffInfo *receiver;
  BZ_TaskType type;
  BZ_ExecuteState exec;
  IdentityItem items[kBZ_MaxFrameBuffers];  // by input buffer number
};

OSStatus IdentityWorker(void *parameter) {
  auto *worker = static_cast<MP_TaskData *>(parameter);
  auto *s = static_cast<IdentityStage *>(worker->creator->data);
  std::minstd_rand rng(UInt32(worker->number) * 7919u + 1u);
  for (;;) {
    void *word = nullptr;
    OSStatus err = MPWaitOnQueue(worker->inputQueue, nullptr, nullptr, &word, kDurationForever);
    if (err != noErr) return err;
    if (word == nullptr) return noErr;
    auto *item = static_cast<IdentityItem *>(word);
    std::memcpy(item->out, item->in, std::min(s->stage->size, s->receiver->size));
    if (TestStages().randomDelays) MP_DelayMillisec(UInt32(rng() % 3));
    if ((err = MPNotifyQueue(s->task2.inputQueue, BZ_Word(kBZ_ProcSubTaskType), s->project, item)) != noErr) return err;
  }
}

OSStatus IdentityTask2(void *parameter) {
  auto *task2 = static_cast<MP_TaskData *>(parameter);
  auto *s = static_cast<IdentityStage *>(task2->data);
  MPQueueID ownFree = s->stage->taskData[0].load()->inFreeQueue;
  MPQueueID outFree = s->receiver->taskData[0].load()->inFreeQueue;
  MPQueueID outInput = s->receiver->taskData[0].load()->inputQueue;
  IdentityItem byOut[kBZ_MaxFrameBuffers] = {};  // by output buffer number
  Boolean finished = false;
  OSStatus result = noErr;
  while (!finished && result == noErr) {
    void *word = nullptr;
    result = BZ_WaitForBuffer(task2, task2->inputQueue, &word, nullptr, &finished);
    if (result != noErr || finished) break;
    const IdentityItem item = *static_cast<IdentityItem *>(word);
    BZ_FrameBuffInfo *inInfo = BZ_GetFrameBuffInfo(s->stage, item.in);
    BZ_FrameBuffInfo *outInfo = BZ_GetFrameBuffInfo(s->receiver, item.out);
    if (inInfo == nullptr || outInfo == nullptr) return paramErr;
    const SInt32 key = s->exec == kBZ_ProjStateExecuting ? inInfo->frameNum : inInfo->outArrayNum;
    if (key < s->stage->mpInfo.outFrameNum) {
      // Its turn has passed: both buffers go back.
      BZ_NotifyFrame(s->project, s->type, ownFree, nullptr, item.in, nullptr);
      BZ_NotifyFrame(s->project, s->type, outFree, nullptr, item.out, nullptr);
      continue;
    }
    byOut[outInfo->number] = item;
    if ((result = MPNotifyQueue(s->stage->mpInfo.outputPool, BZ_Word(s->type), nullptr, item.out)) != noErr) break;
    for (;;) {
      UInt8 *frame = nullptr;
      result = BZ_GetFrameFromOutputPool(s->exec, s->receiver, s->type, &s->stage->mpInfo, &frame);
      if (result != noErr || frame == nullptr) break;
      const IdentityItem &done = byOut[BZ_GetFrameBuffInfo(s->receiver, frame)->number];
      if ((result = BZ_NotifyFrame(s->project, s->type, ownFree, outInput, done.in, frame)) != noErr) break;
    }
  }
  return result;
}

OSStatus IdentityTask1(void *parameter) {
  auto *task = static_cast<MP_TaskData *>(parameter);
  Started(task);
  BZ_ProjPtr project = ProjectOf(task);
  BZ_BuffInfo *stage = StageOf(task);
  if (stage == nullptr) return paramErr;
  if (stage->addStorage == nullptr) stage->addStorage = std::calloc(1, sizeof(IdentityStage));
  if (stage->addStorage == nullptr) return memFullErr;
  auto *s = new (stage->addStorage) IdentityStage{};
  s->project = project;
  s->stage = stage;
  s->receiver = BZ_GetOutputBufferInfoForStage(project->dynIO_Info.buffInfo, stage, 0);
  s->type = stage->type;
  s->exec = project->state.exec;
  if (s->receiver == nullptr || s->receiver->taskData[0] == nullptr) return paramErr;
  task->data = s;

  MP_TaskData &task2 = s->task2;
  task2.type = s->type;
  task2.termMessage1 = BZ_Word(s->type);
  task2.termMessage2 = project;
  task2.termQueue = task->inputQueue;
  task2.creator = task;
  task2.queuesAllocated = kMP_InputQueueAlloc;
  task2.entryPoint = IdentityTask2;
  task2.data = s;
  OSStatus result = MP_CreateTask(&task2);
  const bool task2Started = result == noErr;
  if (task2Started) {
    stage->taskData[1] = &task2;
    stage->numTasks = 2;
    task->numSubTasks = BZ_GetNumSubTasks();
    result = BZ_CreateSubTasks(task, IdentityWorker, nullptr);
  }

  MPQueueID outFree = s->receiver->taskData[0].load()->inFreeQueue;
  Boolean finished = false;
  bool task2Ended = false;
  SInt32 nextWorker = 0;
  for (SInt32 frames = 0; result == noErr && !finished; ++frames) {
    void *word = nullptr;
    BZ_TaskType sender = kBZ_NoTaskType;
    result = BZ_WaitForBuffer(task, task->inputQueue, &word, &sender, &finished);
    if (result != noErr || finished) break;
    if (sender == s->type) {  // the collector ended on its own
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
    if (ShouldFail(s->type, frames)) {
      result = TestStages().failError;
      break;
    }
    auto *in = static_cast<UInt8 *>(word);
    BZ_FrameBuffInfo *inInfo = BZ_GetFrameBuffInfo(stage, in);
    void *outWord = nullptr;
    result = BZ_WaitForBuffer(task, outFree, &outWord, nullptr, &finished);
    if (result != noErr || finished) break;
    BZ_FrameBuffInfo *outInfo = BZ_GetFrameBuffInfo(s->receiver, outWord);
    if (inInfo == nullptr || outInfo == nullptr) {
      result = paramErr;
      break;
    }
    BZ_CopyFrameInfo(inInfo, outInfo);
    outInfo->outArrayNum = inInfo->outArrayNum;
    IdentityItem &item = s->items[inInfo->number];
    item = {in, static_cast<UInt8 *>(outWord)};
    MP_TaskData *worker = MP_GetSubTaskByNumber(task, nextWorker);
    nextWorker = (nextWorker + 1) % std::max<SInt32>(task->numSubTasks, 1);
    result = worker != nullptr ? MPNotifyQueue(worker->inputQueue, BZ_Word(s->type), project, &item) : kMP_TerminateTaskErr;
  }
  result = StopResult(s->type, finished, result);

  OSStatus err = BZ_CloseProcSubTasks(task, project);
  if (result == noErr) result = err;
  if (task2Started) {
    MPNotifyQueue(task2.inputQueue, BZ_Word(s->type), nullptr, BZ_Word(kBZ_EndOfStreamMessage));
    while (!task2Ended) {
      void *sender = nullptr, *code = nullptr;
      if ((err = MPWaitOnQueue(task->inputQueue, &sender, nullptr, &code, kDurationForever)) != noErr) break;
      if (BZ_FromWord(sender) == s->type) {
        task2Ended = true;
        if (result == noErr) result = OSStatus(BZ_FromWord(code));
      }
    }
    // The collector has ended: the main task must not count it as running.
    task2.ID = nullptr;
    MP_DisposeTask(&task2);
  }
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
