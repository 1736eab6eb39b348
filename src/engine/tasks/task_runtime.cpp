// The task library (MP_) and the frame pipeline's shared pieces (BZ_).
#include "engine/tasks/task_runtime.h"

#include "general/memory_lists.h"
#include "platform/core/event_loop.h"

#include <atomic>
#include <cstdint>
#include <limits>
#include <new>

namespace {

// Waits without time-out; on the main thread it keeps dispatching posted events meanwhile.
OSStatus WaitForever(MPQueueID queue, void **param1, void **param2, void **param3) {
  return PL_WaitOnQueueDispatching(queue, param1, param2, param3, kDurationForever);
}

bool IsStopCode(intptr_t code) { return code >= kBZ_CancelProjectMessage && code <= kBZ_EndOfStreamMessage; }

template <class Visit>
MP_TaskData *FindEmbedded(MP_TaskData *taskData, Visit visit) {
  if (taskData == nullptr) return nullptr;
  for (auto *le = static_cast<MP_TaskDataLE *>(taskData->subTaskList); le != nullptr; le = le->next)
    if (visit(le->taskData)) return &le->taskData;
  return nullptr;
}

OSStatus CreateFlaggedQueue(const MP_TaskData *taskData, SInt32 bit, MPQueueID *queue) {
  if ((taskData->queuesAllocated & bit) == 0) return noErr;
  return MPCreateQueue(queue);
}

OSStatus DeleteFlaggedQueue(const MP_TaskData *taskData, SInt32 bit, MPQueueID *queue) {
  if ((taskData->queuesAllocated & bit) == 0) return noErr;
  return MP_DeleteQueue(queue);
}

}  // namespace

// ---- Tasks and sub-tasks ---------------------------------------------------------------------------------

OSStatus MP_CreateTask(MP_TaskData *taskData) {
  if (taskData == nullptr) return paramErr;
  OSStatus err;
  if ((err = CreateFlaggedQueue(taskData, kMP_InFreeQueueAlloc, &taskData->inFreeQueue)) != noErr) return err;
  if ((err = CreateFlaggedQueue(taskData, kMP_InputQueueAlloc, &taskData->inputQueue)) != noErr) return err;
  if ((err = CreateFlaggedQueue(taskData, kMP_OutFreeQueueAlloc, &taskData->outFreeQueue)) != noErr) return err;
  if ((err = CreateFlaggedQueue(taskData, kMP_OutputQueueAlloc, &taskData->outputQueue)) != noErr) return err;
  if ((err = CreateFlaggedQueue(taskData, kMP_TermQueueAlloc, &taskData->termQueue)) != noErr) return err;
  if ((err = CreateFlaggedQueue(taskData, kMP_ResumeQueueAlloc, &taskData->resumeQueue)) != noErr) return err;
  MPTaskID id = nullptr;
  err = MPCreateTask(taskData->entryPoint, taskData, kMP_TaskStackSize, taskData->termQueue,
                     taskData->termMessage1, taskData->termMessage2, 0, &id);
  taskData->ID = id;
  return err;
}

OSStatus MP_TerminateTask(MP_TaskData *taskData, Boolean waitingOnTermQueue, OSStatus termMessage) {
  if (taskData == nullptr) return paramErr;
  MPTaskID id = taskData->ID;
  if (id == nullptr) return noErr;
  OSStatus err = MPTerminateTask(id, termMessage);
  if (err == kMPInsufficientResourcesErr) err = noErr;  // it had ended already: its message is on termQueue
  taskData->ID = nullptr;
  if (err == noErr && waitingOnTermQueue) {
    void *result = nullptr;
    if (WaitForever(taskData->termQueue, nullptr, nullptr, &result) != noErr) return kMP_TerminateTaskErr;
    MP_DisposeTask(taskData);
    return OSStatus(BZ_FromWord(result));
  }
  return err == kMPTimeoutErr ? kMP_TerminateTaskErr : err;
}

OSStatus MP_DisposeTask(MP_TaskData *taskData) {
  if (taskData == nullptr) return paramErr;
  OSStatus first = noErr;
  auto keep = [&first](OSStatus err) {
    if (first == noErr) first = err;
  };
  keep(DeleteFlaggedQueue(taskData, kMP_InFreeQueueAlloc, &taskData->inFreeQueue));
  keep(DeleteFlaggedQueue(taskData, kMP_InputQueueAlloc, &taskData->inputQueue));
  keep(DeleteFlaggedQueue(taskData, kMP_OutFreeQueueAlloc, &taskData->outFreeQueue));
  keep(DeleteFlaggedQueue(taskData, kMP_OutputQueueAlloc, &taskData->outputQueue));
  keep(DeleteFlaggedQueue(taskData, kMP_ResumeQueueAlloc, &taskData->resumeQueue));
  keep(DeleteFlaggedQueue(taskData, kMP_TermQueueAlloc, &taskData->termQueue));
  return first;
}

OSStatus MP_AddSubTaskPtr(MP_TaskData *taskData, MP_TaskData *subTaskData) {
  if (taskData == nullptr || subTaskData == nullptr) return paramErr;
  MP_TaskDataPtrLE *le = nullptr;
  OSStatus err = LL_AddNewPtr(sizeof(MP_TaskDataPtrLE), nullptr, &taskData->subTaskList, &le);
  if (err != noErr) return err;
  le->taskData = subTaskData;
  return noErr;
}

OSStatus MP_RemoveSubTaskFromList(MP_TaskData *taskData, MP_TaskData *subTaskData) {
  if (taskData == nullptr) return paramErr;
  for (auto *le = static_cast<MP_TaskDataLE *>(taskData->subTaskList); le != nullptr; le = le->next) {
    if (&le->taskData == subTaskData) {
      LL_DeletePtr(&taskData->subTaskList, &le);
      break;
    }
  }
  return noErr;
}

OSStatus MP_RemoveSubTaskPtrFromList(MP_TaskData *taskData, MP_TaskData *subTaskData) {
  if (taskData == nullptr) return paramErr;
  for (auto *le = static_cast<MP_TaskDataPtrLE *>(taskData->subTaskList); le != nullptr; le = le->next) {
    if (le->taskData == subTaskData) {
      LL_DeletePtr(&taskData->subTaskList, &le);
      break;
    }
  }
  return noErr;
}

SInt32 MP_CountValidSubTasks(MP_TaskData *taskData) {
  SInt32 count = 0;
  FindEmbedded(taskData, [&count](MP_TaskData &sub) {
    if (sub.ID != nullptr) ++count;
    return false;
  });
  return count;
}

MP_TaskData *MP_GetSubTaskByNumber(MP_TaskData *taskData, SInt32 number) {
  return FindEmbedded(taskData, [number](MP_TaskData &sub) { return sub.number == number && sub.ID != nullptr; });
}

MP_TaskData *MP_GetSubTaskByTypeAndIndex(MP_TaskData *taskData, OSType type, OSType subType, SInt32 index) {
  return FindEmbedded(taskData, [&](MP_TaskData &sub) {
    return sub.type == type && sub.subType == subType && index-- == 0;
  });
}

MP_TaskData *MP_GetSubTaskPtrByTypeAndIndex(MP_TaskData *taskData, OSType type, OSType subType, SInt32 index) {
  if (taskData == nullptr) return nullptr;
  for (auto *le = static_cast<MP_TaskDataPtrLE *>(taskData->subTaskList); le != nullptr; le = le->next) {
    MP_TaskData *sub = le->taskData;
    if (sub != nullptr && sub->type == type && sub->subType == subType && index-- == 0) return sub;
  }
  return nullptr;
}

OSStatus MP_SendNilMessageToAllSubTasks(MP_TaskData *taskData, void *message2) {
  if (taskData == nullptr) return paramErr;
  void *sender = BZ_Word(intptr_t(taskData->type));
  for (auto *le = static_cast<MP_TaskDataLE *>(taskData->subTaskList); le != nullptr; le = le->next) {
    MP_TaskData &sub = le->taskData;
    OSStatus err;
    if (sub.inputQueue != nullptr && (err = MPNotifyQueue(sub.inputQueue, sender, message2, nullptr)) != noErr)
      return err;
    if (sub.outFreeQueue != nullptr && (err = MPNotifyQueue(sub.outFreeQueue, sender, message2, nullptr)) != noErr)
      return err;
  }
  return noErr;
}

OSStatus MP_InvalidateAnySubTask(MP_TaskData *taskData) {
  if (taskData == nullptr) return paramErr;
  MP_TaskData *live = FindEmbedded(taskData, [](MP_TaskData &sub) { return sub.ID != nullptr; });
  if (live != nullptr) live->ID = nullptr;
  return noErr;
}

// ---- Resources -------------------------------------------------------------------------------------------

OSStatus MP_DeleteQueue(MPQueueID *queue) {
  if (queue == nullptr) return paramErr;
  OSStatus err = *queue != nullptr ? MPDeleteQueue(*queue) : noErr;
  *queue = nullptr;
  return err;
}

OSStatus MP_DeleteEvent(MPEventID *event) {
  if (event == nullptr) return paramErr;
  OSStatus err = *event != nullptr ? MPDeleteEvent(*event) : noErr;
  *event = nullptr;
  return err;
}

OSStatus MP_DeleteSemaphore(MPSemaphoreID *semaphore) {
  if (semaphore == nullptr) return paramErr;
  OSStatus err = *semaphore != nullptr ? MPDeleteSemaphore(*semaphore) : noErr;
  *semaphore = nullptr;
  return err;
}

OSStatus MP_DeleteCriticalRegion(MPCriticalRegionID *criticalRegion) {
  if (criticalRegion == nullptr) return paramErr;
  OSStatus err = *criticalRegion != nullptr ? MPDeleteCriticalRegion(*criticalRegion) : noErr;
  *criticalRegion = nullptr;
  return err;
}

OSStatus MP_RecreateQueue(MPQueueID *queue) {
  if (queue == nullptr) return paramErr;
  MP_DeleteQueue(queue);
  return MPCreateQueue(queue);
}

OSStatus MP_RecreateEvent(MPEventID *event) {
  if (event == nullptr) return paramErr;
  MP_DeleteEvent(event);
  return MPCreateEvent(event);
}

OSStatus MP_RecreateCriticalRegion(MPCriticalRegionID *criticalRegion) {
  if (criticalRegion == nullptr) return paramErr;
  MP_DeleteCriticalRegion(criticalRegion);
  return MPCreateCriticalRegion(criticalRegion);
}

OSStatus MP_RecreateSemaphore(MPSemaphoreCount maximumValue, MPSemaphoreCount initialValue,
                              MPSemaphoreID *semaphore) {
  if (semaphore == nullptr) return paramErr;
  MP_DeleteSemaphore(semaphore);
  return MPCreateSemaphore(maximumValue, initialValue, semaphore);
}

OSStatus MP_EmptyQueue(MPQueueID queue) {
  for (;;) {
    OSStatus err = MPWaitOnQueue(queue, nullptr, nullptr, nullptr, kDurationImmediate);
    if (err == kMPTimeoutErr) return noErr;
    if (err != noErr) return err;
  }
}

void *MP_NewPtrClear(size_t size) {
  if (size > std::numeric_limits<ByteCount>::max()) return nullptr;
  return MPAllocateAligned(ByteCount(size), kMPAllocate32ByteAligned, kMPAllocateClearMask);
}

// ---- Time ------------------------------------------------------------------------------------------------

SInt64 MP_AbsoluteToMilliSecond(AbsoluteTime absoluteTime) {
  return SInt64(AbsoluteToNanoseconds(absoluteTime) / 1000000u);
}

SInt32 MP_DurationToMilliSecond(Duration duration) {
  UInt64 ms = AbsoluteToNanoseconds(DurationToAbsolute(duration)) / 1000000u;
  return ms > UInt64(std::numeric_limits<SInt32>::max()) ? std::numeric_limits<SInt32>::max() : SInt32(ms);
}

AbsoluteTime MP_MilliSecondToAbsolute(SInt32 milliseconds) {
  // A negative time would wrap round to an absurdly long one.
  if (milliseconds < 0) return 0;
  return NanosecondsToAbsolute(Nanoseconds(milliseconds) * 1000000u);
}

Duration MP_MilliSecondToDuration(SInt32 milliseconds) {
  return AbsoluteToDuration(MP_MilliSecondToAbsolute(milliseconds));
}

OSStatus MP_DelayMillisec(UInt32 milliseconds) {
  AbsoluteTime until = AddAbsoluteToAbsolute(UpTime(), NanosecondsToAbsolute(Nanoseconds(milliseconds) * 1000000u));
  return MPDelayUntil(&until);
}

OSStatus MP_DelaySec(UInt32 seconds) {
  UInt64 ms = UInt64(seconds) * 1000u;
  AbsoluteTime until = AddAbsoluteToAbsolute(UpTime(), NanosecondsToAbsolute(ms * 1000000u));
  return MPDelayUntil(&until);
}

OSStatus MP_DelayTicks(UInt32 ticks) {
  UInt64 ms = UInt64(ticks) * 17u;
  AbsoluteTime until = AddAbsoluteToAbsolute(UpTime(), NanosecondsToAbsolute(ms * 1000000u));
  return MPDelayUntil(&until);
}

// ---- Example templates ----------------------------------------------------------------------------------

OSStatus MP_CreateTasksTempl(sTaskDataPtr *taskData, UInt32 *numProcessors, MPQueueID *notificationQueue) {
  if (taskData == nullptr || numProcessors == nullptr || notificationQueue == nullptr) return paramErr;
  *taskData = nullptr;
  *notificationQueue = 0;
  if (!MPLibraryIsLoaded()) {
    *numProcessors = 1;
    return kMPInsufficientResourcesErr;
  }
  UInt32 n = UInt32(MPProcessorsScheduled());
  if (n == 0) n = 1;
  auto *records = static_cast<sTaskDataPtr>(MP_NewPtrClear(sizeof(sTaskData) * n));
  if (records == nullptr) {
    *numProcessors = 1;
    return memFullErr;
  }
  OSStatus err = MPCreateQueue(notificationQueue);
  for (UInt32 i = 0; err == noErr && i < n; ++i) {
    if ((err = MPCreateQueue(&records[i].requestQueue)) != noErr) break;
    if ((err = MPCreateQueue(&records[i].resultQueue)) != noErr) break;
    err = MPCreateTask(MP_MyTaskTempl, &records[i], 0, *notificationQueue, nullptr, nullptr, 0, &records[i].taskID);
  }
  if (err != noErr) {
    MP_StopTasksTempl(records, n, *notificationQueue);
    *notificationQueue = 0;
    *numProcessors = 1;
    return err;
  }
  *taskData = records;
  *numProcessors = n;
  return noErr;
}

OSStatus MP_MyTaskTempl(void *parameter) {
  auto *task = static_cast<sTaskData *>(parameter);
  for (;;) {
    void *request = nullptr;
    OSStatus err = MPWaitOnQueue(task->requestQueue, &request, nullptr, nullptr, kDurationForever);
    if (err != noErr) return err;
    intptr_t word = BZ_FromWord(request);
    if (word != kMP_TemplRequestWork && word != kMP_TemplRequestWork2) {
      MPNotifyQueue(task->resultQueue, BZ_Word(-1), nullptr, nullptr);
      return -1;
    }
    if ((err = MPNotifyQueue(task->resultQueue, BZ_Word(0), nullptr, nullptr)) != noErr) return err;
  }
}

OSStatus MP_NotifyTasksTempl(sTaskDataPtr taskData, SInt32 firstItem, SInt32 totalItems, UInt32 numProcessors) {
  if (taskData == nullptr || numProcessors == 0 || totalItems < 0) return paramErr;
  SInt32 share = totalItems / SInt32(numProcessors);
  for (UInt32 i = 0; i < numProcessors; ++i) {
    taskData[i].firstItem = firstItem + SInt32(i) * share;
    taskData[i].numItems = share;
  }
  // Integer division would leave the last totalItems % n items to nobody.
  taskData[numProcessors - 1].numItems += totalItems - share * SInt32(numProcessors);
  for (UInt32 i = 0; i < numProcessors; ++i) {
    OSStatus err = MPNotifyQueue(taskData[i].requestQueue, BZ_Word(kMP_TemplRequestWork), nullptr, nullptr);
    if (err != noErr) return err;
  }
  OSStatus result = noErr;
  for (UInt32 i = 0; i < numProcessors; ++i) {
    void *answer = nullptr;
    OSStatus err = WaitForever(taskData[i].resultQueue, &answer, nullptr, nullptr);
    if (err == noErr) err = OSStatus(BZ_FromWord(answer));
    if (result == noErr) result = err;
  }
  return result;
}

OSStatus MP_StopTasksTempl(sTaskDataPtr taskData, UInt32 numProcessors, MPQueueID notificationQueue) {
  OSStatus result = noErr;
  auto keep = [&result](OSStatus err) {
    if (result == noErr) result = err;
  };
  for (UInt32 i = 0; taskData != nullptr && i < numProcessors; ++i) {
    sTaskData &task = taskData[i];
    if (task.taskID != 0) {
      OSStatus err = MPTerminateTask(task.taskID, noErr);
      // A task that has already ended still left its end on the queue.
      if (err != noErr && err != kMPInsufficientResourcesErr) keep(err);
      else keep(WaitForever(notificationQueue, nullptr, nullptr, nullptr));
      task.taskID = 0;
    }
    keep(MP_DeleteQueue(&task.requestQueue));
    keep(MP_DeleteQueue(&task.resultQueue));
  }
  keep(MP_DeleteQueue(&notificationQueue));
  if (taskData != nullptr) MPFree(taskData);
  return result;
}

OSStatus MP_PeriodicTaskTempl(void *parameter) {
  auto *data = static_cast<MP_PeriodicTemplData *>(parameter);
  MPSemaphoreID semaphore = 0;
  OSStatus err = MPCreateSemaphore(1, 0, &semaphore);
  if (err != noErr) return err;
  while ((err = MPWaitOnSemaphore(semaphore, 10 * kDurationMillisecond)) == kMPTimeoutErr)
    if (data != nullptr) ++data->wakeUps;
  MP_DeleteSemaphore(&semaphore);
  return err;
}

void MP_Do_work() {}

OSStatus MP_high_thread(void *parameter) {
  auto *data = static_cast<MP_HighLowTemplData *>(parameter);
  for (;;) {
    MP_Do_work();
    ++data->unitsDone;
    OSStatus err = MPSignalSemaphore(data->first);
    if (err != noErr) return err;
    if ((err = MPWaitOnSemaphore(data->second, kDurationForever)) != noErr) return err;
  }
}

OSStatus MP_low_thread(void *parameter) {
  auto *data = static_cast<MP_HighLowTemplData *>(parameter);
  for (;;) {
    OSStatus err = MPWaitOnSemaphore(data->first, kDurationForever);
    if (err != noErr) return err;
    AbsoluteTime until = AddAbsoluteToAbsolute(UpTime(), 1);
    if ((err = MPDelayUntil(&until)) != noErr) return err;
    if ((err = MPSignalSemaphore(data->second)) != noErr) return err;
  }
}

// ---- Pipeline pieces -------------------------------------------------------------------------------------

OSStatus BZ_CreateSubTasks(MP_TaskData *stage, TaskProc taskProper, MPQueueID inputQueue) {
  if (stage == nullptr || taskProper == nullptr) return paramErr;
  for (SInt32 i = 0; i < stage->numSubTasks; ++i) {
    MP_TaskDataLE *le = nullptr;
    OSStatus err = LL_AddNewPtr(sizeof(MP_TaskDataLE), nullptr, &stage->subTaskList, &le);
    if (err != noErr) return err;
    MP_TaskData *worker = new (&le->taskData) MP_TaskData{};
    worker->termMessage1 = BZ_Word(kBZ_ProcSubTaskType);
    worker->termMessage2 = stage->termMessage2;
    worker->termQueue = stage->inputQueue;
    worker->inputQueue = inputQueue;
    worker->queuesAllocated = inputQueue != nullptr ? 0 : kMP_InputQueueAlloc;
    worker->creator = stage;
    worker->type = kBZ_ProcSubTaskType;
    worker->number = i;
    worker->entryPoint = taskProper;
    if ((err = MP_CreateTask(worker)) != noErr) return err;
  }
  return noErr;
}

OSStatus BZ_WaitForBuffer(MP_TaskData *taskData, MPQueueID queue, void **buffer, BZ_TaskType *taskType,
                          Boolean *finished) {
  void *sender = nullptr, *word = nullptr;
  OSStatus err = WaitForever(queue, &sender, nullptr, &word);
  if (err != noErr) {
    if (finished) *finished = true;
    return err;
  }
  if (buffer) *buffer = word;
  if (taskType) *taskType = BZ_TaskType(BZ_FromWord(sender));
  // Only the creator's stop codes count: an end of stream passed down by the previous stage is data.
  MP_TaskData *creator = taskData != nullptr ? taskData->creator : nullptr;
  if (creator != nullptr && BZ_FromWord(sender) == intptr_t(creator->type) && IsStopCode(BZ_FromWord(word)) && finished)
    *finished = true;
  return noErr;
}

void BZ_CopyFrameInfo(const BZ_FrameBuffInfo *in, BZ_FrameBuffInfo *out) {
  if (in == nullptr || out == nullptr) return;
  out->duration = in->duration;
  // Other stages look buffers up by frame number while this task fills the one it holds
  // (BZ_FrameNumToFrameBuffInfo), so the number is published atomically.
  std::atomic_ref<SInt32>(out->frameNum).store(in->frameNum, std::memory_order_relaxed);
  out->statsNum = in->statsNum;
  out->actualSize = in->actualSize;
  out->time = in->time;
  out->inArrayNum = in->outArrayNum;
}

OSStatus BZ_NotifyFrame(BZ_ProjPtr project, BZ_TaskType type, MPQueueID inFreeQueue, MPQueueID outInputQueue,
                        void *inBuffer, void *outBuffer) {
  OSStatus first = noErr;
  if (inBuffer != nullptr && inFreeQueue != nullptr)
    first = MPNotifyQueue(inFreeQueue, BZ_Word(type), project, inBuffer);
  if (outBuffer != nullptr && outInputQueue != nullptr) {
    OSStatus err = MPNotifyQueue(outInputQueue, BZ_Word(type), project, outBuffer);
    if (first == noErr) first = err;
  }
  return first;
}

OSStatus BZ_GetFrameFromOutputPool(BZ_ExecuteState exec, BZ_BuffInfo *outBuffInfo, BZ_TaskType taskType,
                                   BZ_MP_Info *mpInfo, UInt8 **frame) {
  if (frame == nullptr || mpInfo == nullptr || outBuffInfo == nullptr) return paramErr;
  *frame = nullptr;
  bool rotating = false;
  SInt32 firstKey = 0;
  for (;;) {
    void *word = nullptr;
    OSStatus err = MPWaitOnQueue(mpInfo->outputPool, nullptr, nullptr, &word, kDurationImmediate);
    if (err == kMPTimeoutErr || err == kMPInsufficientResourcesErr) return noErr;
    if (err != noErr) return err;
    auto *buffer = static_cast<UInt8 *>(word);
    BZ_FrameBuffInfo *info = BZ_GetFrameBuffInfo(outBuffInfo, buffer);
    // Not one of this pool's buffers: it has no key, and posting it back would make the pool rotate
    // around it for ever.
    if (info == nullptr) return paramErr;
    SInt32 key = exec == kBZ_ProjStateExecuting ? info->frameNum : info->inArrayNum;
    if (key == mpInfo->outFrameNum) {
      *frame = buffer;
      ++mpInfo->outFrameNum;
      return noErr;
    }
    bool rotationDone = rotating && key == firstKey;
    if (!rotating) {
      rotating = true;
      firstKey = key;
    }
    if ((err = MPNotifyQueue(mpInfo->outputPool, BZ_Word(taskType), nullptr, buffer)) != noErr) return err;
    if (rotationDone) return noErr;
  }
}

OSStatus BZ_CloseProcSubTasks(MP_TaskData *stage, void *message2) {
  if (stage == nullptr) return paramErr;
  OSStatus err = MP_SendNilMessageToAllSubTasks(stage, message2);
  if (err != noErr) return err;
  while (MP_CountValidSubTasks(stage) > 0) {
    void *sender = nullptr;
    if ((err = WaitForever(stage->inputQueue, &sender, nullptr, nullptr)) != noErr) return err;
    // Every worker's end counts, also one with an error status: otherwise a failed worker would keep the
    // stage waiting for ever. No other message with this sender reaches a stage's own input queue.
    if (BZ_FromWord(sender) == kBZ_ProcSubTaskType) MP_InvalidateAnySubTask(stage);
  }
  // All workers have ended: their own queues and the list elements would otherwise outlive the run.
  for (auto *le = static_cast<MP_TaskDataLE *>(stage->subTaskList); le != nullptr; le = le->next)
    MP_DisposeTask(&le->taskData);
  LL_DisposeLinkedList(&stage->subTaskList);
  return noErr;
}
