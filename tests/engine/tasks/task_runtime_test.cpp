#include "engine/tasks/task_runtime.h"

#include "general/memory_lists.h"
#include "support/task_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

using bz_test::FromWord;
using bz_test::kHangLimit;
using bz_test::StatusFromWord;
using bz_test::WaitUntil;
using bz_test::Word;

BZ_ProjPtr const kProject = reinterpret_cast<BZ_ProjPtr>(uintptr_t(0xB0B0));
MPTaskID const kSomeID = reinterpret_cast<MPTaskID>(uintptr_t(8));

struct Message {
  intptr_t w1, w2, w3;
  bool operator==(const Message &) const = default;
};

// Everything on the queue, without waiting.
std::vector<Message> Drain(MPQueueID queue) {
  std::vector<Message> out;
  void *a, *b, *c;
  while (MPWaitOnQueue(queue, &a, &b, &c, kDurationImmediate) == noErr)
    out.push_back({FromWord(a), FromWord(b), FromWord(c)});
  return out;
}

OSStatus ReturnsMinus7(void *) { return -7; }

OSStatus WaitsOnInput(void *parameter) {
  auto *self = static_cast<MP_TaskData *>(parameter);
  return MPWaitOnQueue(self->inputQueue, nullptr, nullptr, nullptr, kDurationForever);
}

TEST(EngineTaskRuntime, CreateTaskMakesTheFlaggedQueuesAndDisposeDeletesOnlyThose) {
  MPQueueID term = nullptr;
  ASSERT_EQ(MPCreateQueue(&term), noErr);
  MP_TaskData task{};
  task.entryPoint = ReturnsMinus7;
  task.queuesAllocated = kMP_InputQueueAlloc | kMP_OutputQueueAlloc | kMP_ResumeQueueAlloc;
  task.termQueue = term;  // not flagged: the creator's
  task.termMessage1 = Word(kBZ_CopyTaskType);
  task.termMessage2 = kProject;
  ASSERT_EQ(MP_CreateTask(&task), noErr);
  EXPECT_NE(task.ID.load(), nullptr);
  EXPECT_NE(task.inputQueue, nullptr);
  EXPECT_NE(task.outputQueue, nullptr);
  EXPECT_NE(task.resumeQueue, nullptr);
  EXPECT_EQ(task.inFreeQueue, nullptr);
  EXPECT_EQ(task.outFreeQueue, nullptr);
  void *a, *b, *c;
  ASSERT_EQ(MPWaitOnQueue(term, &a, &b, &c, kHangLimit), noErr);
  EXPECT_EQ((Message{FromWord(a), FromWord(b), FromWord(c)}), (Message{kBZ_CopyTaskType, 0xB0B0, -7}));

  MPQueueID input = task.inputQueue;
  EXPECT_EQ(MP_DisposeTask(&task), noErr);
  EXPECT_EQ(task.inputQueue, nullptr);
  EXPECT_EQ(task.outputQueue, nullptr);
  EXPECT_EQ(task.resumeQueue, nullptr);
  EXPECT_EQ(task.termQueue, term);  // not flagged, kept
  EXPECT_EQ(MPNotifyQueue(input, nullptr, nullptr, nullptr), kMPInvalidIDErr);
  EXPECT_EQ(MPNotifyQueue(term, nullptr, nullptr, nullptr), noErr);
  EXPECT_EQ(MP_DisposeTask(&task), noErr);  // again: nothing left to delete

  // No entry: the queues are made, the task is not, and the failure is returned.
  MP_TaskData broken{};
  broken.queuesAllocated = kMP_InFreeQueueAlloc | kMP_TermQueueAlloc;
  EXPECT_EQ(MP_CreateTask(&broken), paramErr);
  EXPECT_NE(broken.inFreeQueue, nullptr);
  EXPECT_NE(broken.termQueue, nullptr);
  EXPECT_EQ(broken.ID.load(), nullptr);
  EXPECT_EQ(MP_DisposeTask(&broken), noErr);
  MPDeleteQueue(term);
}

TEST(EngineTaskRuntime, TerminateTaskStopsWaitsAndReportsAsAsked) {
  // ID 0: nothing happens, not even to the queues.
  MP_TaskData idle{};
  idle.queuesAllocated = kMP_TermQueueAlloc;
  ASSERT_EQ(MPCreateQueue(&idle.termQueue), noErr);
  MPQueueID keep = idle.termQueue;
  EXPECT_EQ(MP_TerminateTask(&idle, true, 0), noErr);
  EXPECT_EQ(idle.termQueue, keep);
  MP_DisposeTask(&idle);

  // Waiting: the task blocked on its input ends, its message is taken and its queues deleted.
  MP_TaskData waited{};
  waited.entryPoint = WaitsOnInput;
  waited.queuesAllocated = kMP_InputQueueAlloc | kMP_TermQueueAlloc;
  ASSERT_EQ(MP_CreateTask(&waited), noErr);
  ASSERT_TRUE(WaitUntil([&] { return PL_MPWaiterCount(waited.inputQueue) == 1; }));
  EXPECT_EQ(MP_TerminateTask(&waited, true, 0), noErr);
  EXPECT_EQ(waited.ID.load(), nullptr);
  EXPECT_EQ(waited.inputQueue, nullptr);
  EXPECT_EQ(waited.termQueue, nullptr);

  // Not waiting: the ID is cleared at once and the message arrives with the given status.
  MP_TaskData unwaited{};
  unwaited.entryPoint = WaitsOnInput;
  unwaited.queuesAllocated = kMP_InputQueueAlloc | kMP_TermQueueAlloc;
  unwaited.termMessage1 = Word(kBZ_WhiteLineTaskType);
  ASSERT_EQ(MP_CreateTask(&unwaited), noErr);
  EXPECT_EQ(MP_TerminateTask(&unwaited, false, -128), noErr);
  EXPECT_EQ(unwaited.ID.load(), nullptr);
  void *who = nullptr, *result = nullptr;
  ASSERT_EQ(MPWaitOnQueue(unwaited.termQueue, &who, nullptr, &result, kHangLimit), noErr);
  EXPECT_EQ(FromWord(who), kBZ_WhiteLineTaskType);
  EXPECT_EQ(StatusFromWord(result), -128);
  MP_DisposeTask(&unwaited);

  // A task that has ended on its own counts as stopped; waiting takes its message and result.
  ASSERT_TRUE(WaitUntil([] { return PL_MPLiveTaskCount() == 0; }));
  MP_TaskData ended{};
  ended.entryPoint = ReturnsMinus7;
  ended.queuesAllocated = kMP_TermQueueAlloc;
  ASSERT_EQ(MP_CreateTask(&ended), noErr);
  ASSERT_TRUE(WaitUntil([] { return PL_MPLiveTaskCount() == 0; }));
  EXPECT_EQ(MP_TerminateTask(&ended, true, 0), -7);

  // The confirmation cannot come: no termination queue.
  MP_TaskData lost{};
  lost.entryPoint = WaitsOnInput;
  lost.queuesAllocated = kMP_InputQueueAlloc;
  ASSERT_EQ(MP_CreateTask(&lost), noErr);
  ASSERT_TRUE(WaitUntil([&] { return PL_MPWaiterCount(lost.inputQueue) == 1; }));
  EXPECT_EQ(MP_TerminateTask(&lost, true, 0), kMP_TerminateTaskErr);
  ASSERT_TRUE(WaitUntil([] { return PL_MPLiveTaskCount() == 0; }));  // it still ends; then its record may go
  MP_DisposeTask(&lost);
}

// A list of embedded sub-tasks made as BZ_CreateSubTasks makes them, without running anything.
struct SubTaskList {
  MP_TaskData parent{};
  std::vector<MP_TaskData *> subs;
  SubTaskList(std::initializer_list<std::array<SInt32, 4>> rows) {  // number, type, subType, live
    parent.type = kBZ_NoiseRedTaskType;
    for (auto row : rows) {
      MP_TaskDataLE *le = nullptr;
      EXPECT_EQ(LL_AddNewPtr(sizeof(MP_TaskDataLE), nullptr, &parent.subTaskList, &le), noErr);
      le->taskData.number = row[0];
      le->taskData.type = OSType(row[1]);
      le->taskData.subType = OSType(row[2]);
      le->taskData.ID = row[3] ? kSomeID : nullptr;
      subs.push_back(&le->taskData);
    }
  }
  ~SubTaskList() { LL_DisposeLinkedList(&parent.subTaskList); }
};

TEST(EngineTaskRuntime, SubTaskListsAreSearchedCountedAndTrimmed) {
  SubTaskList list({{0, 19, 0, 1}, {1, 19, 0, 0}, {1, 19, 0, 1}, {2, 19, 7, 1}, {3, 5, 0, 0}});
  MP_TaskData *p = &list.parent;
  EXPECT_EQ(MP_CountValidSubTasks(p), 3);
  EXPECT_EQ(MP_GetSubTaskByNumber(p, 1), list.subs[2]);  // the live one of the two number 1s
  EXPECT_EQ(MP_GetSubTaskByNumber(p, 3), nullptr);       // not live
  EXPECT_EQ(MP_GetSubTaskByNumber(p, 9), nullptr);
  EXPECT_EQ(MP_GetSubTaskByTypeAndIndex(p, 19, 0, 1), list.subs[1]);  // liveness does not matter
  EXPECT_EQ(MP_GetSubTaskByTypeAndIndex(p, 19, 7, 0), list.subs[3]);
  EXPECT_EQ(MP_GetSubTaskByTypeAndIndex(p, 19, 0, 3), nullptr);
  EXPECT_EQ(MP_GetSubTaskByTypeAndIndex(p, 5, 0, 0), list.subs[4]);

  EXPECT_EQ(MP_InvalidateAnySubTask(p), noErr);
  EXPECT_EQ(list.subs[0]->ID.load(), nullptr);
  EXPECT_EQ(MP_CountValidSubTasks(p), 2);

  MP_TaskData stranger{};
  EXPECT_EQ(MP_RemoveSubTaskFromList(p, &stranger), noErr);
  EXPECT_EQ(LL_PtrListCount(p->subTaskList), 5);
  EXPECT_EQ(MP_RemoveSubTaskFromList(p, list.subs[2]), noErr);
  EXPECT_EQ(LL_PtrListCount(p->subTaskList), 4);
  EXPECT_EQ(MP_CountValidSubTasks(p), 1);
  EXPECT_EQ(MP_GetSubTaskByNumber(p, 1), nullptr);

  // Lists of pointers to records kept elsewhere.
  MP_TaskData holder{}, a{}, b{}, c{};
  a.type = b.type = 5;
  c.type = 6;
  b.subType = 1;
  for (MP_TaskData *t : {&a, &b, &c}) ASSERT_EQ(MP_AddSubTaskPtr(&holder, t), noErr);
  EXPECT_EQ(MP_GetSubTaskPtrByTypeAndIndex(&holder, 5, 0, 0), &a);
  EXPECT_EQ(MP_GetSubTaskPtrByTypeAndIndex(&holder, 5, 1, 0), &b);
  EXPECT_EQ(MP_GetSubTaskPtrByTypeAndIndex(&holder, 5, 0, 1), nullptr);
  EXPECT_EQ(MP_RemoveSubTaskPtrFromList(&holder, &a), noErr);
  EXPECT_EQ(MP_RemoveSubTaskPtrFromList(&holder, &a), noErr);  // absent: nothing
  EXPECT_EQ(LL_PtrListCount(holder.subTaskList), 2);
  EXPECT_EQ(MP_GetSubTaskPtrByTypeAndIndex(&holder, 6, 0, 0), &c);
  LL_DisposeLinkedList(&holder.subTaskList);
}

TEST(EngineTaskRuntime, NilMessagesGoToInputThenFreeQueueAndStopAtTheFirstFailure) {
  SubTaskList list({{0, 19, 0, 1}, {1, 19, 0, 1}, {2, 19, 0, 1}});
  for (MP_TaskData *sub : list.subs) ASSERT_EQ(MPCreateQueue(&sub->inputQueue), noErr);
  ASSERT_EQ(MPCreateQueue(&list.subs[0]->outFreeQueue), noErr);
  ASSERT_EQ(MP_SendNilMessageToAllSubTasks(&list.parent, kProject), noErr);
  for (MP_TaskData *sub : list.subs)
    EXPECT_EQ(Drain(sub->inputQueue), (std::vector<Message>{{kBZ_NoiseRedTaskType, 0xB0B0, 0}}));
  EXPECT_EQ(Drain(list.subs[0]->outFreeQueue), (std::vector<Message>{{kBZ_NoiseRedTaskType, 0xB0B0, 0}}));

  // The second worker's queue is gone: the first gets its message, the third none.
  MPDeleteQueue(list.subs[1]->inputQueue);
  EXPECT_EQ(MP_SendNilMessageToAllSubTasks(&list.parent, nullptr), kMPInvalidIDErr);
  EXPECT_EQ(Drain(list.subs[0]->inputQueue).size(), 1u);
  EXPECT_EQ(Drain(list.subs[2]->inputQueue).size(), 0u);
  MPDeleteQueue(list.subs[0]->inputQueue);
  MPDeleteQueue(list.subs[0]->outFreeQueue);
  MPDeleteQueue(list.subs[2]->inputQueue);
}

TEST(EngineTaskRuntime, ResourcesAreDeletedRecreatedAndEmptied) {
  MPQueueID q = nullptr;
  MPEventID e = nullptr;
  MPSemaphoreID s = nullptr;
  MPCriticalRegionID r = nullptr;
  EXPECT_EQ(MP_DeleteQueue(&q), noErr);  // 0: nothing to do
  EXPECT_EQ(MP_DeleteQueue(nullptr), paramErr);
  ASSERT_EQ(MP_RecreateQueue(&q), noErr);
  ASSERT_EQ(MP_RecreateEvent(&e), noErr);
  ASSERT_EQ(MP_RecreateSemaphore(1, 1, &s), noErr);
  ASSERT_EQ(MP_RecreateCriticalRegion(&r), noErr);

  for (intptr_t i = 0; i < 3; ++i) MPNotifyQueue(q, Word(i), nullptr, nullptr);
  MPQueueID old = q;
  ASSERT_EQ(MP_RecreateQueue(&q), noErr);
  EXPECT_NE(q, old);
  EXPECT_EQ(MPNotifyQueue(old, nullptr, nullptr, nullptr), kMPInvalidIDErr);
  EXPECT_TRUE(Drain(q).empty());  // a fresh queue
  MPSemaphoreID oldSem = s;
  ASSERT_EQ(MP_RecreateSemaphore(2, 0, &s), noErr);
  EXPECT_EQ(MPWaitOnSemaphore(oldSem, kDurationImmediate), kMPInvalidIDErr);
  EXPECT_EQ(MPWaitOnSemaphore(s, kDurationImmediate), kMPTimeoutErr);
  EXPECT_EQ(MPSignalSemaphore(s), noErr);
  EXPECT_EQ(MPSignalSemaphore(s), noErr);
  EXPECT_EQ(MPSignalSemaphore(s), kMPInsufficientResourcesErr);

  EXPECT_EQ(MP_EmptyQueue(q), noErr);  // empty
  for (intptr_t i = 0; i < 5; ++i) MPNotifyQueue(q, Word(i), nullptr, nullptr);
  EXPECT_EQ(MP_EmptyQueue(q), noErr);
  EXPECT_EQ(MPWaitOnQueue(q, nullptr, nullptr, nullptr, kDurationImmediate), kMPTimeoutErr);

  EXPECT_EQ(MP_DeleteQueue(&q), noErr);
  EXPECT_EQ(q, nullptr);
  EXPECT_EQ(MP_EmptyQueue(old), kMPInvalidIDErr);
  EXPECT_EQ(MP_DeleteEvent(&e), noErr);
  EXPECT_EQ(MP_DeleteSemaphore(&s), noErr);
  EXPECT_EQ(MP_DeleteCriticalRegion(&r), noErr);
  EXPECT_EQ(e, nullptr);
  EXPECT_EQ(s, nullptr);
  EXPECT_EQ(r, nullptr);

  auto *block = static_cast<UInt8 *>(MP_NewPtrClear(1000));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 32, 0u);
  int nonZero = 0;
  for (int i = 0; i < 1000; ++i) nonZero += block[i] != 0;
  EXPECT_EQ(nonZero, 0);
  MPFree(block);
}

TEST(EngineTaskRuntime, TimeConversionsAndDelays) {
  EXPECT_EQ(MP_AbsoluteToMilliSecond(DurationToAbsolute(1500)), 1500);
  EXPECT_EQ(MP_AbsoluteToMilliSecond(AbsoluteTime(5000000000000ull)), 5000000);  // beyond 32 bits
  EXPECT_EQ(MP_DurationToMilliSecond(250), 250);
  EXPECT_EQ(MP_DurationToMilliSecond(Duration(-3000)), 3);
  EXPECT_EQ(MP_DurationToMilliSecond(kDurationForever), 0x7FFFFFFF);
  EXPECT_EQ(MP_MilliSecondToAbsolute(20), AbsoluteTime(20000000));
  EXPECT_EQ(MP_MilliSecondToAbsolute(-5), AbsoluteTime(0));
  EXPECT_EQ(SInt32(MP_MilliSecondToDuration(40)), 40);
  EXPECT_EQ(MP_DurationToMilliSecond(MP_MilliSecondToDuration(123456)), 123456);

  AbsoluteTime start = UpTime();
  EXPECT_EQ(MP_DelayMillisec(2), noErr);
  EXPECT_GE(UpTime() - start, MP_MilliSecondToAbsolute(2));
  start = UpTime();
  EXPECT_EQ(MP_DelayTicks(1), noErr);  // one tick is 17 ms
  EXPECT_GE(UpTime() - start, MP_MilliSecondToAbsolute(17));
  EXPECT_EQ(MP_DelaySec(0), noErr);
}

TEST(EngineTaskRuntime, WaitForBufferFinishesOnlyOnTheCreatorsStopCodes) {
  MP_TaskData creator{}, stage{};
  creator.type = kBZ_MainTaskType;
  stage.type = kBZ_NoiseRedTaskType;
  stage.creator = &creator;
  ASSERT_EQ(MPCreateQueue(&stage.inputQueue), noErr);
  struct Case {
    BZ_TaskType sender;
    intptr_t code;
    bool finishes;
  };
  const Case cases[] = {
      {kBZ_MainTaskType, kBZ_CancelProjectMessage, true},  {kBZ_MainTaskType, kBZ_CancelPreviewCalcMessage, true},
      {kBZ_MainTaskType, kBZ_CancelMovieAnalysisMessage, true}, {kBZ_MainTaskType, kBZ_AppQuitMessage, true},
      {kBZ_MainTaskType, kBZ_ErrorStopMessage, true},      {kBZ_MainTaskType, kBZ_EndOfStreamMessage, true},
      {kBZ_MainTaskType, kBZ_RunProjectMessage, false},    {kBZ_MainTaskType, 5034, false},
      {kBZ_MainTaskType, kBZ_AnalyseFrameMessage, false},  {kBZ_MainTaskType, 0, false},
      {kBZ_VarBrTaskType, kBZ_EndOfStreamMessage, false},  {kBZ_VarBrTaskType, kBZ_CancelProjectMessage, false},
      {kBZ_ProcSubTaskType, kBZ_ErrorStopMessage, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.sender << " sends " << c.code);
    ASSERT_EQ(MPNotifyQueue(stage.inputQueue, Word(c.sender), kProject, Word(c.code)), noErr);
    void *buffer = nullptr;
    BZ_TaskType sender = kBZ_NoTaskType;
    Boolean finished = false;
    EXPECT_EQ(BZ_WaitForBuffer(&stage, stage.inputQueue, &buffer, &sender, &finished), noErr);
    EXPECT_EQ(FromWord(buffer), c.code);
    EXPECT_EQ(sender, c.sender);
    EXPECT_EQ(bool(finished), c.finishes);
  }
  // finished already set stays set; a task without a creator takes no stop code.
  MPNotifyQueue(stage.inputQueue, Word(kBZ_CopyTaskType), kProject, Word(0x1000));
  Boolean finished = true;
  EXPECT_EQ(BZ_WaitForBuffer(&stage, stage.inputQueue, nullptr, nullptr, &finished), noErr);
  EXPECT_TRUE(finished);
  MP_TaskData orphan{};
  MPNotifyQueue(stage.inputQueue, Word(0), kProject, Word(kBZ_ErrorStopMessage));
  finished = false;
  EXPECT_EQ(BZ_WaitForBuffer(&orphan, stage.inputQueue, nullptr, nullptr, &finished), noErr);
  EXPECT_FALSE(finished);
  // A failed wait finishes.
  MPQueueID gone = stage.inputQueue;
  MPDeleteQueue(gone);
  EXPECT_EQ(BZ_WaitForBuffer(&stage, gone, nullptr, nullptr, &finished), kMPInvalidIDErr);
  EXPECT_TRUE(finished);
}

TEST(EngineTaskRuntime, NotifyFrameSkipsTheHalfWithoutBufferOrQueue) {
  MPQueueID freeQ = nullptr, nextQ = nullptr;
  ASSERT_EQ(MPCreateQueue(&freeQ), noErr);
  ASSERT_EQ(MPCreateQueue(&nextQ), noErr);
  void *in = Word(0x1000), *out = Word(0x2000);
  struct Case {
    MPQueueID freeQueue, nextQueue;
    void *inBuffer, *outBuffer;
    size_t toFree, toNext;
  };
  const Case cases[] = {
      {freeQ, nextQ, in, out, 1, 1},          {freeQ, nextQ, nullptr, out, 0, 1},
      {freeQ, nextQ, in, nullptr, 1, 0},      {nullptr, nextQ, in, out, 0, 1},
      {freeQ, nullptr, in, out, 1, 0},        {nullptr, nullptr, in, out, 0, 0},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(BZ_NotifyFrame(kProject, kBZ_RlTaskType, c.freeQueue, c.nextQueue, c.inBuffer, c.outBuffer), noErr);
    std::vector<Message> freed = Drain(freeQ), handed = Drain(nextQ);
    EXPECT_EQ(freed.size(), c.toFree);
    EXPECT_EQ(handed.size(), c.toNext);
    for (const Message &m : freed) EXPECT_EQ(m, (Message{kBZ_RlTaskType, 0xB0B0, 0x1000}));
    for (const Message &m : handed) EXPECT_EQ(m, (Message{kBZ_RlTaskType, 0xB0B0, 0x2000}));
  }
  // A failing first half does not stop the second; its failure is the result.
  MPQueueID gone = nullptr;
  MPCreateQueue(&gone);
  MPDeleteQueue(gone);
  EXPECT_EQ(BZ_NotifyFrame(kProject, kBZ_RlTaskType, gone, nextQ, in, out), kMPInvalidIDErr);
  EXPECT_EQ(Drain(nextQ).size(), 1u);
  MPDeleteQueue(freeQ);
  MPDeleteQueue(nextQ);
}

TEST(EngineTaskRuntime, CopyFrameInfoCopiesTheFrameButNotTheBuffer) {
  UInt8 a = 0, b = 0;
  BZ_FrameBuffInfo in{}, out{};
  in.number = 3;
  in.ptr = &a;
  in.frameNum = 41;
  in.inArrayNum = 5;
  in.outArrayNum = 6;
  in.statsNum = 2;
  in.actualSize = 9999;
  in.time = 600;
  in.duration = 20;
  in.copyFromCache = true;
  out.number = 7;
  out.ptr = &b;
  out.outArrayNum = -1;
  BZ_CopyFrameInfo(&in, &out);
  EXPECT_EQ(out.frameNum, 41);
  EXPECT_EQ(out.inArrayNum, 6);
  EXPECT_EQ(out.statsNum, 2);
  EXPECT_EQ(out.actualSize, 9999u);
  EXPECT_EQ(out.time, 600);
  EXPECT_EQ(out.duration, 20);
  EXPECT_EQ(out.outArrayNum, -1);
  EXPECT_EQ(out.number, 7);
  EXPECT_EQ(out.ptr, &b);
  EXPECT_FALSE(out.copyFromCache);
}

// A stage record with a pool of n small buffers whose descriptors carry the given frame numbers.
struct Pool {
  std::unique_ptr<BZ_BuffInfo> stage = std::make_unique<BZ_BuffInfo>();
  std::vector<UInt8> block;
  explicit Pool(SInt32 n, size_t size = 32) : block(size_t(n) * size) {
    stage->size = size;
    stage->numFrameBuffers = n;
    for (SInt32 i = 0; i < n; ++i) {
      stage->frameBuffInfo[i].number = i;
      stage->frameBuffInfo[i].ptr = block.data() + size_t(i) * size;
      stage->frameBuffInfo[i].frameNum = 100 + i;
      stage->frameBuffInfo[i].inArrayNum = i;
    }
    EXPECT_EQ(MPCreateQueue(&stage->mpInfo.outputPool), noErr);
  }
  ~Pool() { MPDeleteQueue(stage->mpInfo.outputPool); }
  UInt8 *Buffer(SInt32 i) { return stage->frameBuffInfo[i].ptr; }
  void Post(std::initializer_list<SInt32> buffers) {
    for (SInt32 i : buffers) MPNotifyQueue(stage->mpInfo.outputPool, Word(kBZ_ProcSubTaskType), kProject, Buffer(i));
  }
  std::vector<intptr_t> Contents() {
    std::vector<intptr_t> order;
    for (const Message &m : Drain(stage->mpInfo.outputPool)) {
      BZ_FrameBuffInfo *info = BZ_GetFrameBuffInfo(stage.get(), Word(m.w3));
      order.push_back(info ? info->number : -1);
    }
    return order;
  }
};

TEST(EngineTaskRuntime, OutputPoolHandsOnFramesOnlyInOrder) {
  // Only later frames: one rotation, nothing handed on, the pool keeps them in their order.
  {
    Pool pool(6);
    pool.stage->mpInfo.outFrameNum = 100;
    pool.Post({3, 1, 2});
    UInt8 *frame = pool.Buffer(5);
    EXPECT_EQ(BZ_GetFrameFromOutputPool(kBZ_ProjStateExecuting, pool.stage.get(), kBZ_NoiseRedTaskType,
                                        &pool.stage->mpInfo, &frame),
              noErr);
    EXPECT_EQ(frame, nullptr);
    EXPECT_EQ(pool.stage->mpInfo.outFrameNum.load(), 100);
    // The first buffer was taken twice (it closes the rotation), so it now stands last.
    EXPECT_EQ(pool.Contents(), (std::vector<intptr_t>{1, 2, 3}));
  }
  // The wanted frame first: taken at once, the rest untouched; then the next ones in turn.
  {
    Pool pool(6);
    pool.stage->mpInfo.outFrameNum = 102;
    pool.Post({2, 4, 3});
    UInt8 *frame = nullptr;
    auto take = [&] {
      return BZ_GetFrameFromOutputPool(kBZ_ProjStateExecuting, pool.stage.get(), kBZ_NoiseRedTaskType,
                                       &pool.stage->mpInfo, &frame);
    };
    ASSERT_EQ(take(), noErr);
    EXPECT_EQ(frame, pool.Buffer(2));
    ASSERT_EQ(take(), noErr);
    EXPECT_EQ(frame, pool.Buffer(3));  // behind 4: 4 goes round once
    ASSERT_EQ(take(), noErr);
    EXPECT_EQ(frame, pool.Buffer(4));
    ASSERT_EQ(take(), noErr);  // empty
    EXPECT_EQ(frame, nullptr);
    EXPECT_EQ(pool.stage->mpInfo.outFrameNum.load(), 105);
  }
  // Analysis and preview runs order by inArrayNum; re-posted buffers carry the collector's type and no project.
  {
    Pool pool(4);
    pool.stage->mpInfo.outFrameNum = 0;
    pool.Post({1, 0});
    UInt8 *frame = nullptr;
    ASSERT_EQ(BZ_GetFrameFromOutputPool(kBZ_ProjStateAnalyzingMovie, pool.stage.get(), kBZ_RlTaskType,
                                        &pool.stage->mpInfo, &frame),
              noErr);
    EXPECT_EQ(frame, pool.Buffer(0));
    std::vector<Message> left = Drain(pool.stage->mpInfo.outputPool);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0], (Message{kBZ_RlTaskType, 0, FromWord(pool.Buffer(1))}));
  }
  // A buffer from another pool has no key: an error, not an endless rotation.
  {
    Pool pool(4), other(4);
    MPNotifyQueue(pool.stage->mpInfo.outputPool, Word(kBZ_ProcSubTaskType), kProject, other.Buffer(0));
    UInt8 *frame = pool.Buffer(1);
    EXPECT_EQ(BZ_GetFrameFromOutputPool(kBZ_ProjStateExecuting, pool.stage.get(), kBZ_NoiseRedTaskType,
                                        &pool.stage->mpInfo, &frame),
              paramErr);
    EXPECT_EQ(frame, nullptr);
  }
}

TEST(EngineTaskRuntime, FrameBuffInfoLookupStaysInsideThePool) {
  Pool pool(4, 100);
  BZ_BuffInfo *stage = pool.stage.get();
  UInt8 *first = pool.Buffer(0);
  struct Case {
    intptr_t offset;
    SInt32 expected;  // descriptor number, -1 for none
  };
  for (Case c : {Case{0, 0}, Case{99, 0}, Case{100, 1}, Case{350, 3}, Case{399, 3}, Case{400, -1}, Case{-1, -1},
                 Case{100000, -1}}) {
    SCOPED_TRACE(c.offset);
    BZ_FrameBuffInfo *info = BZ_GetFrameBuffInfo(stage, first + c.offset);
    EXPECT_EQ(info ? info->number : -1, c.expected);
  }
  EXPECT_EQ(BZ_GetFrameBuffInfo(stage, nullptr), nullptr);
  EXPECT_EQ(BZ_GetFrameBuffInfo2(stage, first), nullptr);  // no second pool
  EXPECT_EQ(BZ_GetFrameBuffInfoBasic(stage->frameBuffInfo, first, 0, 4), nullptr);
  stage->numFrameBuffers = 1000;  // a damaged count cannot take the lookup past the descriptors
  EXPECT_EQ(BZ_GetFrameBuffInfo(stage, first + 100 * kBZ_MaxFrameBuffers), nullptr);
}

// A worker that ends on a nil item: with status 0, except worker 1 when the nil message's second word is 1.
OSStatus WorkerEndsOnNil(void *parameter) {
  auto *self = static_cast<MP_TaskData *>(parameter);
  for (;;) {
    void *message2 = nullptr, *item = nullptr;
    OSStatus err = MPWaitOnQueue(self->inputQueue, nullptr, &message2, &item, kDurationForever);
    if (err != noErr) return err;
    if (item == nullptr) return self->number == 1 && message2 == Word(1) ? OSStatus(-36) : noErr;
  }
}

// Both ways of feeding workers; the second run has one worker end with an error, which must still count.
TEST(EngineTaskRuntime, SubTasksAreCreatedAndClosedWithTheirQueues) {
  for (bool shared : {false, true}) {
    for (intptr_t failing : {0, 1}) {
      SCOPED_TRACE(testing::Message() << "shared " << shared << ", failing " << failing);
      MP_TaskData stage{};
      stage.type = kBZ_CrossLumaTaskType;
      stage.termMessage2 = kProject;
      stage.numSubTasks = 4;
      ASSERT_EQ(MPCreateQueue(&stage.inputQueue), noErr);
      MPQueueID sharedQueue = nullptr;
      if (shared) {
        ASSERT_EQ(MPCreateQueue(&sharedQueue), noErr);
      }
      ASSERT_EQ(BZ_CreateSubTasks(&stage, WorkerEndsOnNil, sharedQueue), noErr);
      ASSERT_EQ(LL_PtrListCount(stage.subTaskList), 4);
      EXPECT_EQ(MP_CountValidSubTasks(&stage), 4);
      std::vector<MPQueueID> ownQueues;
      for (SInt32 i = 0; i < 4; ++i) {
        MP_TaskData *w = MP_GetSubTaskByNumber(&stage, i);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->type, OSType(kBZ_ProcSubTaskType));
        EXPECT_EQ(w->termMessage1, Word(kBZ_ProcSubTaskType));
        EXPECT_EQ(w->termMessage2, kProject);
        EXPECT_EQ(w->termQueue, stage.inputQueue);
        EXPECT_EQ(w->creator, &stage);
        EXPECT_EQ(w->entryPoint, WorkerEndsOnNil);
        if (shared) {
          EXPECT_EQ(w->inputQueue, sharedQueue);
          EXPECT_EQ(w->queuesAllocated, 0);
        } else {
          EXPECT_NE(w->inputQueue, nullptr);
          EXPECT_EQ(w->queuesAllocated, kMP_InputQueueAlloc);
          ownQueues.push_back(w->inputQueue);
        }
      }
      // Stray data from the previous stage waits on the stage's queue: dropped while closing.
      MPNotifyQueue(stage.inputQueue, Word(kBZ_CopyTaskType), kProject, Word(0x4000));
      EXPECT_EQ(BZ_CloseProcSubTasks(&stage, Word(failing)), noErr);
      EXPECT_EQ(MP_CountValidSubTasks(&stage), 0);
      EXPECT_EQ(stage.subTaskList, nullptr);
      for (MPQueueID q : ownQueues) EXPECT_EQ(MPNotifyQueue(q, nullptr, nullptr, nullptr), kMPInvalidIDErr);
      if (shared) {
        EXPECT_EQ(MPNotifyQueue(sharedQueue, nullptr, nullptr, nullptr), noErr);  // the caller's: kept
        MPDeleteQueue(sharedQueue);
      }
      MPDeleteQueue(stage.inputQueue);
    }
  }
}

}  // namespace

namespace {

TEST(EngineTaskTemplates, WorkersShareTheItemsAnswerAndStop) {
  sTaskDataPtr tasks = nullptr;
  UInt32 n = 0;
  MPQueueID notification = 0;
  ASSERT_EQ(MP_CreateTasksTempl(&tasks, &n, &notification), noErr);
  ASSERT_NE(tasks, nullptr);
  EXPECT_EQ(n, UInt32(MPProcessorsScheduled()));
  ASSERT_TRUE(WaitUntil([&] { return PL_MPWaiterCount(tasks[n - 1].requestQueue) == 1; }));

  // Every item belongs to exactly one worker, the remainder to the last one.
  SInt32 total = SInt32(7 * n + (n > 1 ? 3 : 0));
  EXPECT_EQ(MP_NotifyTasksTempl(tasks, 100, total, n), noErr);
  SInt32 next = 100;
  for (UInt32 i = 0; i < n; ++i) {
    EXPECT_EQ(tasks[i].firstItem, next) << i;
    next += tasks[i].numItems;
  }
  EXPECT_EQ(next, 100 + total);
  EXPECT_EQ(MP_NotifyTasksTempl(tasks, 0, 5, 0), paramErr);

  // A second round works as well: the workers wait for more.
  EXPECT_EQ(MP_NotifyTasksTempl(tasks, 0, total, n), noErr);

  // A request other than 1 or 2 ends that worker with -1, posted on its result queue and as its end.
  ASSERT_EQ(MPNotifyQueue(tasks[0].requestQueue, Word(kMP_TemplRequestQuit), nullptr, nullptr), noErr);
  void *answer = nullptr, *result = nullptr;
  ASSERT_EQ(MPWaitOnQueue(tasks[0].resultQueue, &answer, nullptr, nullptr, kHangLimit), noErr);
  EXPECT_EQ(FromWord(answer), -1);
  ASSERT_EQ(MPWaitOnQueue(notification, nullptr, nullptr, &result, kHangLimit), noErr);
  EXPECT_EQ(StatusFromWord(result), -1);
  tasks[0].taskID = 0;  // its end has been taken

  EXPECT_EQ(MP_StopTasksTempl(tasks, n, notification), noErr);
  EXPECT_TRUE(WaitUntil([] { return PL_MPLiveTaskCount() == 0; }));
  EXPECT_EQ(MP_CreateTasksTempl(nullptr, &n, &notification), paramErr);
}

TEST(EngineTaskTemplates, PeriodicAndAlternatingTasksRunUntilTerminated) {
  MPQueueID term = 0;
  ASSERT_EQ(MPCreateQueue(&term), noErr);

  MP_PeriodicTemplData periodic{};
  MPTaskID periodicID = 0;
  ASSERT_EQ(MPCreateTask(MP_PeriodicTaskTempl, &periodic, 0, term, Word(1), nullptr, 0, &periodicID), noErr);

  MP_HighLowTemplData turns{};
  ASSERT_EQ(MPCreateSemaphore(1, 0, &turns.first), noErr);
  ASSERT_EQ(MPCreateSemaphore(1, 0, &turns.second), noErr);
  MPTaskID high = 0, low = 0;
  ASSERT_EQ(MPCreateTask(MP_low_thread, &turns, 0, term, Word(2), nullptr, 0, &low), noErr);
  ASSERT_EQ(MPCreateTask(MP_high_thread, &turns, 0, term, Word(3), nullptr, 0, &high), noErr);

  EXPECT_TRUE(WaitUntil([&] { return periodic.wakeUps.load() >= 3 && turns.unitsDone.load() >= 100; }));

  for (MPTaskID task : {periodicID, high, low}) EXPECT_EQ(MPTerminateTask(task, -128), noErr);
  std::vector<intptr_t> ended;
  for (int i = 0; i < 3; ++i) {
    void *who = nullptr, *result = nullptr;
    ASSERT_EQ(MPWaitOnQueue(term, &who, nullptr, &result, kHangLimit), noErr);
    EXPECT_EQ(StatusFromWord(result), -128);
    ended.push_back(FromWord(who));
  }
  std::sort(ended.begin(), ended.end());
  EXPECT_EQ(ended, (std::vector<intptr_t>{1, 2, 3}));
  EXPECT_TRUE(WaitUntil([] { return PL_MPLiveTaskCount() == 0; }));
  MPDeleteSemaphore(turns.first);
  MPDeleteSemaphore(turns.second);
  MPDeleteQueue(term);
}

}  // namespace
