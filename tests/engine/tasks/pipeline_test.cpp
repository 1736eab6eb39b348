// A miniature run built from the pipeline pieces alone: a feeding stage (a task), one cleaning stage of
// distributor, N workers and collector running an identity operation with random delays, and a receiving
// stage played by the test thread, which also plays the main task that stops the run.
#include "engine/tasks/task_runtime.h"

#include "support/task_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

using bz_test::FromWord;
using bz_test::kHangLimit;
using bz_test::StatusFromWord;
using bz_test::WaitUntil;
using bz_test::Word;

constexpr size_t kBufferBytes = 64;
BZ_ProjPtr const kProject = reinterpret_cast<BZ_ProjPtr>(uintptr_t(0xB0B0));

struct WorkItem {
  UInt8 *inBuffer;
  UInt8 *outBuffer;
};

struct Pipeline {
  SInt32 numFrames = 0;
  MP_TaskData main{};    // its input queue takes the stages' ends; the test thread plays it
  MP_TaskData source{};  // feeding stage (Copy)
  MP_TaskData task1{};   // the cleaning stage's distributor (NoiseRed)
  MP_TaskData task2{};   // its collector, created by task 1
  MP_TaskData sink{};    // receiving stage (Write): its queues; the test thread reads them
  std::unique_ptr<BZ_BuffInfo> stage = std::make_unique<BZ_BuffInfo>();
  std::unique_ptr<BZ_BuffInfo> next = std::make_unique<BZ_BuffInfo>();
  std::vector<UInt8> stageBlock, nextBlock;
  std::array<WorkItem, kBZ_MaxFrameBuffers> items{};  // by output buffer number
};

Pipeline *Of(void *parameter) { return static_cast<Pipeline *>(static_cast<MP_TaskData *>(parameter)->data); }

void FillFrame(UInt8 *buffer, SInt32 frame) {
  for (size_t i = 0; i < kBufferBytes; ++i) buffer[i] = UInt8(frame * 7 + SInt32(i));
  std::memcpy(buffer, &frame, sizeof frame);
}

bool FrameIntact(const UInt8 *buffer, SInt32 frame) {
  UInt8 expected[kBufferBytes];
  FillFrame(expected, frame);
  return std::memcmp(buffer, expected, kBufferBytes) == 0;
}

OSStatus SourceTask(void *parameter) {
  auto *self = static_cast<MP_TaskData *>(parameter);
  Pipeline *p = Of(parameter);
  for (SInt32 f = 0; f < p->numFrames; ++f) {
    void *buffer = nullptr;
    Boolean finished = false;
    OSStatus err = BZ_WaitForBuffer(self, p->task1.inFreeQueue, &buffer, nullptr, &finished);
    if (err != noErr || finished) return err;
    BZ_FrameBuffInfo *info = BZ_GetFrameBuffInfo(p->stage.get(), buffer);
    if (info == nullptr) return paramErr;
    info->frameNum = f;
    info->outArrayNum = f;
    FillFrame(info->ptr, f);
    if ((err = MPNotifyQueue(p->task1.inputQueue, Word(kBZ_CopyTaskType), kProject, buffer)) != noErr) return err;
  }
  return noErr;
}

OSStatus WorkerTask(void *parameter) {
  auto *self = static_cast<MP_TaskData *>(parameter);
  Pipeline *p = static_cast<Pipeline *>(self->creator->data);
  std::minstd_rand rng(UInt32(self->number) * 7919u + 1u);
  for (;;) {
    void *word = nullptr;
    OSStatus err = MPWaitOnQueue(self->inputQueue, nullptr, nullptr, &word, kDurationForever);
    if (err != noErr) return err;
    if (word == nullptr) return noErr;
    auto *item = static_cast<WorkItem *>(word);
    // Finish in a random order: up to 0.3 ms of work.
    AbsoluteTime until = UpTime() + AbsoluteTime(rng() % 300000u);
    if ((err = MPDelayUntil(&until)) != noErr) return err;
    std::memcpy(item->outBuffer, item->inBuffer, kBufferBytes);
    if ((err = MPNotifyQueue(p->task2.inputQueue, Word(kBZ_ProcSubTaskType), kProject, item)) != noErr) return err;
  }
}

OSStatus CollectorTask(void *parameter) {
  auto *self = static_cast<MP_TaskData *>(parameter);
  Pipeline *p = Of(parameter);
  BZ_MP_Info *pool = &p->stage->mpInfo;
  for (;;) {
    void *word = nullptr;
    BZ_TaskType sender = kBZ_NoTaskType;
    Boolean finished = false;
    OSStatus err = BZ_WaitForBuffer(self, self->inputQueue, &word, &sender, &finished);
    if (err != noErr || finished) return err;
    if (sender != kBZ_ProcSubTaskType) continue;
    auto *item = static_cast<WorkItem *>(word);
    BZ_FrameBuffInfo *out = BZ_GetFrameBuffInfo(p->next.get(), item->outBuffer);
    if (out == nullptr) return paramErr;
    if (out->frameNum < pool->outFrameNum) {  // its turn has passed: give the buffer back
      err = MPNotifyQueue(p->sink.inFreeQueue, Word(kBZ_NoiseRedTaskType), kProject, item->outBuffer);
      if (err != noErr) return err;
      continue;
    }
    if ((err = MPNotifyQueue(pool->outputPool, Word(kBZ_ProcSubTaskType), kProject, item->outBuffer)) != noErr)
      return err;
    for (;;) {
      UInt8 *frame = nullptr;
      err = BZ_GetFrameFromOutputPool(kBZ_ProjStateExecuting, p->next.get(), kBZ_NoiseRedTaskType, pool, &frame);
      if (err != noErr) return err;
      if (frame == nullptr) break;
      const WorkItem &done = p->items[BZ_GetFrameBuffInfo(p->next.get(), frame)->number];
      err = BZ_NotifyFrame(kProject, kBZ_NoiseRedTaskType, p->task1.inFreeQueue, p->sink.inputQueue, done.inBuffer,
                           frame);
      if (err != noErr) return err;
    }
  }
}

// Waits on task 1's own queue for task 2's end, dropping everything else; returns task 2's result.
OSStatus CloseCollector(Pipeline *p) {
  OSStatus err =
      MPNotifyQueue(p->task2.inputQueue, Word(kBZ_NoiseRedTaskType), nullptr, Word(kBZ_EndOfStreamMessage));
  if (err != noErr) return err;
  for (;;) {
    void *sender = nullptr, *result = nullptr;
    if ((err = MPWaitOnQueue(p->task1.inputQueue, &sender, nullptr, &result, kDurationForever)) != noErr) return err;
    if (FromWord(sender) == kBZ_NoiseRedTaskType) break;
  }
  p->stage->taskData[1] = nullptr;
  p->stage->numTasks = 1;
  return MP_DisposeTask(&p->task2);
}

OSStatus DistributorTask(void *parameter) {
  auto *self = static_cast<MP_TaskData *>(parameter);
  Pipeline *p = Of(parameter);
  p->task2.entryPoint = CollectorTask;
  p->task2.type = kBZ_NoiseRedTaskType;
  p->task2.termMessage1 = Word(kBZ_NoiseRedTaskType);
  p->task2.termMessage2 = kProject;
  p->task2.termQueue = self->inputQueue;
  p->task2.creator = self;
  p->task2.queuesAllocated = kMP_InputQueueAlloc;
  p->task2.data = p;
  OSStatus err = MP_CreateTask(&p->task2);
  if (err != noErr) return err;
  p->stage->taskData[1] = &p->task2;
  p->stage->numTasks = 2;
  if ((err = BZ_CreateSubTasks(self, WorkerTask, nullptr)) != noErr) return err;

  SInt32 nextWorker = 0;
  Boolean finished = false;
  while (!finished) {
    void *word = nullptr;
    BZ_TaskType sender = kBZ_NoTaskType;
    err = BZ_WaitForBuffer(self, self->inputQueue, &word, &sender, &finished);
    if (err != noErr || finished || sender == kBZ_NoiseRedTaskType) break;  // stopped, or task 2 has ended
    if (sender != kBZ_CopyTaskType) continue;
    BZ_FrameBuffInfo *in = BZ_GetFrameBuffInfo(p->stage.get(), word);
    void *outBuffer = nullptr;
    err = BZ_WaitForBuffer(self, p->sink.inFreeQueue, &outBuffer, nullptr, &finished);
    if (err != noErr || finished) break;
    BZ_FrameBuffInfo *out = BZ_GetFrameBuffInfo(p->next.get(), outBuffer);
    if (in == nullptr || out == nullptr) {
      err = paramErr;
      break;
    }
    BZ_CopyFrameInfo(in, out);
    WorkItem *item = &p->items[out->number];
    *item = {in->ptr, out->ptr};
    MP_TaskData *worker = MP_GetSubTaskByNumber(self, nextWorker);
    nextWorker = (nextWorker + 1) % self->numSubTasks;
    if (worker == nullptr) {
      err = paramErr;
      break;
    }
    if ((err = MPNotifyQueue(worker->inputQueue, Word(kBZ_NoiseRedTaskType), kProject, item)) != noErr) break;
  }
  OSStatus closeErr = BZ_CloseProcSubTasks(self, kProject);
  if (err == noErr) err = closeErr;
  closeErr = CloseCollector(p);
  if (err == noErr) err = closeErr;
  self->exiting = true;
  return err;
}

// Builds the pools, the queues and the task records of a run; starts nothing.
void SetUpRun(Pipeline &p, SInt32 numWorkers, SInt32 numFrames) {
  p.numFrames = numFrames;
  p.main.type = kBZ_MainTaskType;
  ASSERT_EQ(MPCreateQueue(&p.main.inputQueue), noErr);

  SInt32 poolSize = numWorkers + 2;
  for (auto [stage, block, type] : {std::tuple{p.stage.get(), &p.stageBlock, kBZ_NoiseRedTaskType},
                                    std::tuple{p.next.get(), &p.nextBlock, kBZ_WriteTaskType}}) {
    block->assign(size_t(poolSize) * kBufferBytes, 0);
    stage->type = type;
    stage->size = kBufferBytes;
    stage->numFrameBuffers = poolSize;
    stage->ptr = block->data();
    for (SInt32 i = 0; i < poolSize; ++i) {
      stage->frameBuffInfo[i].number = i;
      stage->frameBuffInfo[i].ptr = block->data() + size_t(i) * kBufferBytes;
    }
  }
  ASSERT_EQ(MP_RecreateQueue(&p.stage->mpInfo.outputPool), noErr);
  p.stage->mpInfo.outFrameNum = 0;

  struct Role {
    MP_TaskData *task;
    BZ_TaskType type;
    TaskProc entry;
  };
  for (Role role : {Role{&p.source, kBZ_CopyTaskType, SourceTask},
                    Role{&p.task1, kBZ_NoiseRedTaskType, DistributorTask}, Role{&p.sink, kBZ_WriteTaskType, nullptr}}) {
    auto [task, type, entry] = role;
    task->type = type;
    task->entryPoint = entry;
    task->termMessage1 = Word(type);
    task->termMessage2 = kProject;
    task->termQueue = p.main.inputQueue;
    task->creator = &p.main;
    task->data = &p;
  }
  p.task1.queuesAllocated = kMP_InFreeQueueAlloc | kMP_InputQueueAlloc;
  p.task1.numSubTasks = numWorkers;
  p.stage->taskData[0] = &p.task1;
  p.stage->numTasks = 1;
  ASSERT_EQ(MPCreateQueue(&p.sink.inputQueue), noErr);
  ASSERT_EQ(MPCreateQueue(&p.sink.inFreeQueue), noErr);
}

// Starts the stage and the feeding task, with every buffer on its free queue.
void StartRun(Pipeline &p) {
  ASSERT_EQ(MP_CreateTask(&p.task1), noErr);
  for (SInt32 i = 0; i < p.stage->numFrameBuffers; ++i)
    ASSERT_EQ(MPNotifyQueue(p.task1.inFreeQueue, Word(kBZ_NoiseRedTaskType), kProject, p.stage->frameBuffInfo[i].ptr),
              noErr);
  for (SInt32 i = 0; i < p.next->numFrameBuffers; ++i)
    ASSERT_EQ(MPNotifyQueue(p.sink.inFreeQueue, Word(kBZ_WriteTaskType), kProject, p.next->frameBuffInfo[i].ptr),
              noErr);
  ASSERT_EQ(MP_CreateTask(&p.source), noErr);
}

// As the main task does: the stop code to every stage's input and free queues.
void StopRun(Pipeline &p, intptr_t code) {
  for (MPQueueID q : {p.task1.inputQueue, p.task1.inFreeQueue, p.sink.inFreeQueue})
    ASSERT_EQ(MPNotifyQueue(q, Word(kBZ_MainTaskType), kProject, Word(code)), noErr);
}

// Takes the ends of the feeding stage and the cleaning stage from the main task's queue.
void ExpectCleanEnd(Pipeline &p) {
  std::vector<intptr_t> ended;
  for (int i = 0; i < 2; ++i) {
    void *sender = nullptr, *project = nullptr, *result = nullptr;
    ASSERT_EQ(MPWaitOnQueue(p.main.inputQueue, &sender, &project, &result, kHangLimit), noErr);
    EXPECT_EQ(project, kProject);
    EXPECT_EQ(StatusFromWord(result), noErr) << "stage type " << FromWord(sender);
    ended.push_back(FromWord(sender));
  }
  std::sort(ended.begin(), ended.end());
  EXPECT_EQ(ended, (std::vector<intptr_t>{kBZ_CopyTaskType, kBZ_NoiseRedTaskType}));
  EXPECT_TRUE(p.task1.exiting);
  EXPECT_EQ(p.task1.subTaskList, nullptr);  // every worker closed and forgotten
  EXPECT_EQ(p.task2.inputQueue, nullptr);   // the collector closed and disposed
  EXPECT_TRUE(WaitUntil([] { return PL_MPLiveTaskCount() == 0; }));
}

// Counts the frame buffers on a queue, leaving stop messages aside.
SInt32 CountBuffers(MPQueueID queue) {
  SInt32 n = 0;
  void *sender = nullptr;
  while (MPWaitOnQueue(queue, &sender, nullptr, nullptr, kDurationImmediate) == noErr)
    n += FromWord(sender) != kBZ_MainTaskType;
  return n;
}

void TearDownRun(Pipeline &p) {
  MP_DisposeTask(&p.task1);
  MP_DeleteQueue(&p.stage->mpInfo.outputPool);
  MP_DeleteQueue(&p.sink.inputQueue);
  MP_DeleteQueue(&p.sink.inFreeQueue);
  MP_DeleteQueue(&p.main.inputQueue);
}

class EnginePipeline : public ::testing::TestWithParam<SInt32> {
 protected:
  void SetUp() override { ASSERT_TRUE(WaitUntil([] { return PL_MPLiveTaskCount() == 0; })); }
};

TEST_P(EnginePipeline, IdentityStageKeepsFrameOrder) {
  constexpr SInt32 kFrames = 1000;
  Pipeline p;
  ASSERT_NO_FATAL_FAILURE(SetUpRun(p, GetParam(), kFrames));
  ASSERT_NO_FATAL_FAILURE(StartRun(p));

  SInt32 outOfOrder = 0, damaged = 0;
  for (SInt32 f = 0; f < kFrames; ++f) {
    void *sender = nullptr, *project = nullptr, *buffer = nullptr;
    ASSERT_EQ(MPWaitOnQueue(p.sink.inputQueue, &sender, &project, &buffer, kHangLimit), noErr) << "frame " << f;
    ASSERT_EQ(FromWord(sender), kBZ_NoiseRedTaskType);
    ASSERT_EQ(project, kProject);
    BZ_FrameBuffInfo *info = BZ_GetFrameBuffInfo(p.next.get(), buffer);
    ASSERT_NE(info, nullptr);
    outOfOrder += info->frameNum != f;
    damaged += !FrameIntact(info->ptr, f);
    EXPECT_EQ(info->inArrayNum, f);  // copied from the input frame's outArrayNum
    ASSERT_EQ(MPNotifyQueue(p.sink.inFreeQueue, Word(kBZ_WriteTaskType), kProject, buffer), noErr);
  }
  EXPECT_EQ(outOfOrder, 0);
  EXPECT_EQ(damaged, 0);
  EXPECT_EQ(p.stage->mpInfo.outFrameNum.load(), kFrames);

  StopRun(p, kBZ_EndOfStreamMessage);
  ExpectCleanEnd(p);
  // No buffer was lost on the way: every one is back on its free queue, nothing is left in the pool.
  EXPECT_EQ(CountBuffers(p.task1.inFreeQueue), p.stage->numFrameBuffers);
  EXPECT_EQ(CountBuffers(p.sink.inFreeQueue), p.next->numFrameBuffers);
  EXPECT_EQ(MPWaitOnQueue(p.stage->mpInfo.outputPool, nullptr, nullptr, nullptr, kDurationImmediate), kMPTimeoutErr);
  TearDownRun(p);
}

// A cancel in mid-stream, while the receiving stage has stopped taking frames: every task still ends.
TEST_P(EnginePipeline, StopCodeInMidStreamClosesEveryTask) {
  Pipeline p;
  ASSERT_NO_FATAL_FAILURE(SetUpRun(p, GetParam(), 1000));
  ASSERT_NO_FATAL_FAILURE(StartRun(p));
  for (SInt32 f = 0; f < 50; ++f) {
    void *buffer = nullptr;
    ASSERT_EQ(MPWaitOnQueue(p.sink.inputQueue, nullptr, nullptr, &buffer, kHangLimit), noErr);
    ASSERT_EQ(BZ_GetFrameBuffInfo(p.next.get(), buffer)->frameNum, f);
    ASSERT_EQ(MPNotifyQueue(p.sink.inFreeQueue, Word(kBZ_WriteTaskType), kProject, buffer), noErr);
  }
  StopRun(p, kBZ_CancelProjectMessage);
  ExpectCleanEnd(p);
  TearDownRun(p);
}

INSTANTIATE_TEST_SUITE_P(Workers, EnginePipeline, ::testing::Values(1, 2, 8, SInt32(MPProcessors())),
                         [](const ::testing::TestParamInfo<SInt32> &info) {
                           return "N" + std::to_string(info.param) + (info.index == 3 ? "AllCores" : "");
                         });

}  // namespace
