// The task library every task of the application is built on (MP_), and the shared pieces of the frame
// pipeline (BZ_) that stages use to receive buffers, hand frames on, run a pool of worker tasks and take
// their results back in frame order.
//
// A cleaning stage is a distributing task (task 1), one worker per processor and a collecting task
// (task 2). Task 1 creates the workers with BZ_CreateSubTasks; each worker's end arrives on task 1's input
// queue as (kBZ_ProcSubTaskType, project, result). Workers post finished frames to the stage's output pool;
// task 2 takes them in frame order with BZ_GetFrameFromOutputPool and hands them on with BZ_NotifyFrame.
// At the end task 1 stops its workers with BZ_CloseProcSubTasks.
//
// Blocking waits here never block the main thread outright: on the main thread they keep dispatching
// posted events (platform/core/event_loop.h).
#pragma once

#include "engine/tasks/pipeline_types.h"
#include "platform/core/mac_errors.h"
#include "platform/core/mac_types.h"
#include "platform/core/multiprocessing.h"

#include <atomic>
#include <cstddef>

// Which queues MP_CreateTask creates and MP_DisposeTask deletes (MP_TaskData.queuesAllocated).
enum : SInt32 {
  kMP_InFreeQueueAlloc = 1,
  kMP_InputQueueAlloc = 2,
  kMP_OutFreeQueueAlloc = 4,
  kMP_OutputQueueAlloc = 8,
  kMP_ResumeQueueAlloc = 16,
  kMP_TermQueueAlloc = 32,
};

enum : OSStatus {
  kMP_TerminateTaskErr = 22000,         // termination not confirmed
  kMP_NormalTerminationStatus = 22001,  // accepted like 0 as a normal end of the main task
};

// Stack of every task.
constexpr ByteCount kMP_TaskStackSize = 0x80000;

// One task with its queues. The creator fills it and calls MP_CreateTask; the entry receives a pointer to
// this record. Fields that other threads read while the task runs are atomic.
struct MP_TaskData {
  TaskProc entryPoint;        // returns the task's result
  std::atomic<MPTaskID> ID;   // the running task; 0 when none. A sub-task is valid while its ID is not 0
  SInt32 queuesAllocated;     // kMP_...Alloc bits
  void *termMessage1;         // first word of the termination message (the task's BZ_TaskType)
  void *termMessage2;         // second word (the project)
  MPQueueID inFreeQueue;      // free buffers for the task's input
  MPQueueID inputQueue;       // messages to the task
  MPSemaphoreID resumeSemaphore;  // for a suspended task; never deleted here
  MPQueueID resumeQueue;
  std::atomic<Boolean> stopped;   // the task has been asked to stop
  MPQueueID outFreeQueue;     // free buffers for the task's output
  MPQueueID outputQueue;      // results of the task
  MPQueueID termQueue;        // where the termination message goes; normally the creator's inputQueue
  std::atomic<Boolean> exiting;   // the task is leaving its loop
  SInt32 number;              // index of a sub-task among its siblings, from 0
  SInt32 numSubTasks;         // how many workers BZ_CreateSubTasks creates (set by the stage)
  MP_TaskData *creator;
  void *subTaskList;          // list head of MP_TaskDataLE (or, with MP_AddSubTaskPtr, MP_TaskDataPtrLE)
  OSType type;                // a BZ_TaskType
  OSType subType;             // a second selector for lookups
  void *data;                 // task-specific data
};

// Sub-task list elements (general library lists; new elements come zeroed).
struct MP_TaskDataLE {
  MP_TaskDataLE *next;
  MP_TaskData taskData;  // the sub-task
};
struct MP_TaskDataPtrLE {
  MP_TaskDataPtrLE *next;
  MP_TaskData *taskData;  // borrowed; lives elsewhere
};

// ---- Tasks and sub-tasks ---------------------------------------------------------------------------------

// Creates the queues flagged in queuesAllocated (inFree, input, outFree, output, term, resume; the first
// failure is returned and queues made stay), then the task, whose identifier goes into ID.
OSStatus MP_CreateTask(MP_TaskData *taskData);
// Stops the task: nothing when ID is 0; else aborts it (an already ended task counts as stopped) and clears
// ID. With waitingOnTermQueue it then takes the termination message from termQueue, answers the task's
// result and runs MP_DisposeTask (kMP_TerminateTaskErr when that wait fails). A time-out otherwise becomes
// kMP_TerminateTaskErr.
OSStatus MP_TerminateTask(MP_TaskData *taskData, Boolean waitingOnTermQueue, OSStatus termMessage);
// Deletes the queues flagged in queuesAllocated, in the order inFree, input, outFree, output, resume, term;
// nothing else. Returns the first failure.
OSStatus MP_DisposeTask(MP_TaskData *taskData);
// Appends an MP_TaskDataPtrLE pointing to subTaskData.
OSStatus MP_AddSubTaskPtr(MP_TaskData *taskData, MP_TaskData *subTaskData);
// Deletes the MP_TaskDataLE whose embedded record is subTaskData; nothing when absent.
OSStatus MP_RemoveSubTaskFromList(MP_TaskData *taskData, MP_TaskData *subTaskData);
// Deletes the MP_TaskDataPtrLE that points to subTaskData; nothing when absent.
OSStatus MP_RemoveSubTaskPtrFromList(MP_TaskData *taskData, MP_TaskData *subTaskData);
// Embedded sub-tasks whose ID is not 0.
SInt32 MP_CountValidSubTasks(MP_TaskData *taskData);
// The first embedded sub-task with that number and an ID, else NULL.
MP_TaskData *MP_GetSubTaskByNumber(MP_TaskData *taskData, SInt32 number);
// The index-th (from 0) embedded sub-task of that type and sub-type, live or not, else NULL.
MP_TaskData *MP_GetSubTaskByTypeAndIndex(MP_TaskData *taskData, OSType type, OSType subType, SInt32 index);
// The same over a list of MP_TaskDataPtrLE.
MP_TaskData *MP_GetSubTaskPtrByTypeAndIndex(MP_TaskData *taskData, OSType type, OSType subType, SInt32 index);
// For every sub-task in list order: posts (parent's type, message2, 0) to its inputQueue, then to its
// outFreeQueue, each when it exists. Stops at the first failure and returns it.
OSStatus MP_SendNilMessageToAllSubTasks(MP_TaskData *taskData, void *message2);
// Clears the ID of the first sub-task that has one.
OSStatus MP_InvalidateAnySubTask(MP_TaskData *taskData);

// ---- Resources -------------------------------------------------------------------------------------------
// Each takes the address of the identifier: deletes the object when it is not 0, then clears it.

OSStatus MP_DeleteQueue(MPQueueID *queue);
OSStatus MP_DeleteEvent(MPEventID *event);
OSStatus MP_DeleteSemaphore(MPSemaphoreID *semaphore);
OSStatus MP_DeleteCriticalRegion(MPCriticalRegionID *criticalRegion);
// Delete as above, then create anew; the creation's result.
OSStatus MP_RecreateQueue(MPQueueID *queue);
OSStatus MP_RecreateEvent(MPEventID *event);
OSStatus MP_RecreateCriticalRegion(MPCriticalRegionID *criticalRegion);
OSStatus MP_RecreateSemaphore(MPSemaphoreCount maximumValue, MPSemaphoreCount initialValue,
                              MPSemaphoreID *semaphore);
// Takes messages without waiting until the queue is empty: 0 then, or any other failure.
OSStatus MP_EmptyQueue(MPQueueID queue);
// A cleared block aligned to 32 bytes (owned; release with MPFree). NULL when memory is out.
void *MP_NewPtrClear(size_t size);

// ---- Time ------------------------------------------------------------------------------------------------

SInt64 MP_AbsoluteToMilliSecond(AbsoluteTime absoluteTime);
SInt32 MP_DurationToMilliSecond(Duration duration);
// Negative milliseconds count as 0.
AbsoluteTime MP_MilliSecondToAbsolute(SInt32 milliseconds);
Duration MP_MilliSecondToDuration(SInt32 milliseconds);
// Block the calling task for the time; kMPTaskAbortedErr when it is terminated meanwhile.
OSStatus MP_DelayMillisec(UInt32 milliseconds);
OSStatus MP_DelaySec(UInt32 seconds);
// One tick counts as 17 ms here.
OSStatus MP_DelayTicks(UInt32 ticks);

// ---- Example templates ----------------------------------------------------------------------------------
// How a compute job spreads over the processors with plain queues; the frame pipeline does not use them.

// One template worker: its task, the queues it takes requests from and answers on, and its share of items.
struct sTaskData {
  MPTaskID taskID;
  MPQueueID requestQueue;
  MPQueueID resultQueue;
  SInt32 firstItem;
  SInt32 numItems;
};
typedef sTaskData *sTaskDataPtr;

// Request words of MP_MyTaskTempl: 1 and 2 are answered with 0; any other word ends the task with -1.
enum : intptr_t { kMP_TemplRequestWork = 1, kMP_TemplRequestWork2 = 2, kMP_TemplRequestQuit = 3 };

// Creates one worker per scheduled processor: *taskData gets the records (owned; MP_StopTasksTempl frees
// them), *numProcessors their number and *notificationQueue the queue on which every worker's end arrives.
// On a failure what exists is stopped, *taskData is NULL, *numProcessors 1 (work on alone) and the failure
// is returned.
OSStatus MP_CreateTasksTempl(sTaskDataPtr *taskData, UInt32 *numProcessors, MPQueueID *notificationQueue);
// Worker entry (parameter: its sTaskData): answers requests 1 and 2 with 0 on its result queue; any other
// request is answered with -1 and ends the task with -1. A failed wait ends it with that failure.
OSStatus MP_MyTaskTempl(void *parameter);
// Gives worker i the items from firstItem + i x (totalItems / n), totalItems / n of them (the last one also
// takes the remainder, so every item has a worker), asks each to work, then takes one answer from each in
// turn. The first failure of posting or waiting, or the first non-zero answer, is returned.
OSStatus MP_NotifyTasksTempl(sTaskDataPtr taskData, SInt32 firstItem, SInt32 totalItems, UInt32 numProcessors);
// Terminates each worker that runs and takes its end from the notification queue, deletes its queues;
// then deletes the notification queue and frees the records. The first failure is returned.
OSStatus MP_StopTasksTempl(sTaskDataPtr taskData, UInt32 numProcessors, MPQueueID notificationQueue);

// A task that wakes every 10 ms until it is terminated (parameter: an MP_PeriodicTemplData or NULL).
struct MP_PeriodicTemplData {
  std::atomic<UInt32> wakeUps;
};
OSStatus MP_PeriodicTaskTempl(void *parameter);

// Two tasks taking turns through two semaphores (maximum 1, initial 0): the task of high weight does one
// unit of work and signals `first`, then waits on `second`; the task of low weight waits on `first`, lets
// one unit of absolute time pass and signals `second`. Both run until terminated.
struct MP_HighLowTemplData {
  MPSemaphoreID first;
  MPSemaphoreID second;
  std::atomic<UInt32> unitsDone;
};
OSStatus MP_high_thread(void *parameter);
OSStatus MP_low_thread(void *parameter);
// One unit of the high task's work (empty).
void MP_Do_work();

// ---- Pipeline pieces -------------------------------------------------------------------------------------

// Creates stage->numSubTasks workers running taskProper, each an MP_TaskDataLE appended to the stage's
// subTaskList: type and termMessage1 kBZ_ProcSubTaskType, termMessage2 the stage's, termQueue the stage's
// inputQueue, creator the stage, number i, and inputQueue the given queue (shared) or, when it is 0, a
// queue of its own. The first failure is returned at once; workers already started keep running.
OSStatus BZ_CreateSubTasks(MP_TaskData *stage, TaskProc taskProper, MPQueueID inputQueue);
// Waits without time-out for one message on queue: *buffer gets its third word and *taskType its first
// (either may be NULL). A failed wait sets *finished and is returned. A stop code (5028 to 5033) sets
// *finished only when it comes from this task's creator; otherwise *finished stays as the caller set it.
OSStatus BZ_WaitForBuffer(MP_TaskData *taskData, MPQueueID queue, void **buffer, BZ_TaskType *taskType,
                          Boolean *finished);
// Copies duration, frameNum, statsNum, actualSize and time, and sets out's inArrayNum to in's outArrayNum;
// out keeps its own outArrayNum, number, ptr and graphics fields.
void BZ_CopyFrameInfo(const BZ_FrameBuffInfo *in, BZ_FrameBuffInfo *out);
// Posts (type, project, inBuffer) to inFreeQueue when both are given, then (type, project, outBuffer) to
// outInputQueue when both are given; the first failure is returned. The buffers pass to the receivers.
OSStatus BZ_NotifyFrame(BZ_ProjPtr project, BZ_TaskType type, MPQueueID inFreeQueue, MPQueueID outInputQueue,
                        void *inBuffer, void *outBuffer);
// Collecting task only; never blocks. Takes the next frame in order from the pool: the buffer whose key
// (frameNum when exec is kBZ_ProjStateExecuting, else inArrayNum, of its descriptor in outBuffInfo's pool)
// equals mpInfo->outFrameNum goes to *frame and outFrameNum advances; the others are posted back as
// (taskType, 0, buffer). After one full rotation without it, *frame is NULL and the result 0. A buffer that
// is not in outBuffInfo's pool gives paramErr (and stays out of the pool).
OSStatus BZ_GetFrameFromOutputPool(BZ_ExecuteState exec, BZ_BuffInfo *outBuffInfo, BZ_TaskType taskType,
                                   BZ_MP_Info *mpInfo, UInt8 **frame);
// Stops the stage's workers: sends each a message with third word 0 (a worker ends with status 0 when it
// takes one), then takes messages from the stage's inputQueue until every worker's end has arrived; other
// messages there are dropped. Then deletes the workers' own queues and the sub-task list.
OSStatus BZ_CloseProcSubTasks(MP_TaskData *stage, void *message2);
