// The pieces every cleaning-method stage shares. A method stage is three kinds of task: its distributor
// (task 1, the stage task the main task starts) deals input frames round-robin to BZ_GetNumSubTasks()
// workers, each worker cleans a frame into an output buffer of the receiving stage and hands the work item to
// the collector (task 2), and the collector takes the frames back in frame order through the stage's output
// pool and hands them on. Each method keeps its own named task functions (BZ_CrossLumaTask1 ...) and calls
// these pieces from them; the pixel work stays in the method's kernel module.
//
// The record of a run (BZ_MethodStage) lives in the stage's addStorage, which the table frees: it outlives
// the tasks, so the main task may read the collector's task record until the run is over.
//
// Messages: the distributor takes (previous stage, project, input buffer) from its inputQueue and free
// output buffers from the receiver's inFreeQueue; the stop codes come from the main task. A work item goes
// to a worker as (stage type, project, item) and from the worker to the collector as (kBZ_ProcSubTaskType,
// project, item); the buffers named in an item belong to the task that holds the item. Finished frames go
// to the receiver's inputQueue as (stage type, project, output buffer), inputs back to the stage's
// inFreeQueue, each the receiver's from the post on. The collector's and the workers' ends arrive on the
// distributor's inputQueue.
#pragma once

#include "engine/runtime/project_types.h"
#include "engine/tasks/pipeline_types.h"
#include "engine/tasks/task_runtime.h"
#include "platform/core/mac_types.h"

#include <atomic>
#include <cstddef>

// One run of a method stage. Filled by BZ_MsCreateStageRecord on the distributor; afterwards the fields
// above `nextWorker` are read-only while the run goes on.
struct BZ_MethodStage {
  MP_TaskData task2;        // the collector's task record
  BZ_ProjPtr project;
  BZ_BuffInfo *stage;       // the stage's entry in the table
  BZ_BuffInfo *receiver;    // where its frames go
  BZ_TaskType type;
  BZ_ExecuteState exec;     // the run's state at set-up
  Boolean calcStats;        // an analysis run with every wanted automatic setting calculated
  Boolean freeInputBuffer;  // inputs go back as soon as their frame is handed on
  Boolean reduceNoiseInEntireFrame;  // for the general frame analysis (the method sets it)
  MPQueueID ownFreeQueue;   // the stage's inFreeQueue
  MPQueueID outFreeQueue;   // the receiver's inFreeQueue
  MPQueueID outInputQueue;  // the receiver's inputQueue
  SInt32 numFrames;         // frames an analysis run hands on (0 when executing)
  SInt32 numTestFrames;
  SInt32 testNumArray[kBZ_NumTestFrames + 1];  // frame numbers, ended by kBZ_EndOfFrameList
  void *items;              // kBZ_MaxFrameBuffers work items of itemSize bytes, by input buffer number
  size_t itemSize;

  // Distributor only.
  SInt32 nextWorker;
  Boolean task2Started;
  Boolean task2Ended;       // its end message has been taken
  // Collector only.
  UInt8 *inByOut[kBZ_MaxFrameBuffers];  // the input of each output buffer in the pool, by its number
  SInt32 nextTest;
  SInt32 framesAnalysed;
  BZ_DlgTaskInput dlgTaskInput;  // read by the analysis tasks until they answer
  // Set by the collector before it marks itself exiting.
  std::atomic<OSStatus> task2Result;
  size_t storageSize;       // bytes of the addStorage block that holds this record and the items
};

// ---- Distributor ----------------------------------------------------------------------------------------------

// The distributor's stage entry and its receiver: the next entry of the table, past a compress stage unless
// the run executes. paramErr when either is missing or has no task record.
OSStatus BZ_MsFindStage(MP_TaskData *task1, BZ_BuffInfo **stage, BZ_BuffInfo **receiver);
// *ms = the run's record in the stage's addStorage (made, or re-used when large enough), filled for this run
// with room for kBZ_MaxFrameBuffers work items of itemSize bytes; task1->data points to it. Finds the frames
// and test frames an analysis run hands on. paramErr, memFullErr or the frame selection's failure.
OSStatus BZ_MsCreateStageRecord(MP_TaskData *task1, size_t itemSize, BZ_MethodStage **ms);
// Starts the collector: entry task2Entry, its own input queue, type and first termination word the stage
// type, creator task 1, its end posted on task 1's inputQueue; it becomes the stage's second task record.
OSStatus BZ_MsCreateTask2(BZ_MethodStage *ms, MP_TaskData *task1, TaskProc task2Entry);
// Starts BZ_GetNumSubTasks() workers running taskProper, each with its own input queue.
OSStatus BZ_MsCreateWorkers(MP_TaskData *task1, TaskProc taskProper);
// The next frame to clean: waits for an input buffer and then for a free output buffer of the receiver,
// sets the input's outArrayNum to its inArrayNum and copies the frame information to the output. *finished
// is set when the main task stops the stage, and also when the collector or a worker ended on its own (its
// failure is returned; an unasked normal end counts as kMP_TerminateTaskErr). paramErr for a buffer that is
// not in its pool.
OSStatus BZ_MsWaitForFrame(BZ_MethodStage *ms, MP_TaskData *task1, UInt8 **inBuffer, UInt8 **outBuffer,
                           Boolean *finished);
// The work item slot of an input buffer (borrowed; the slot's item lives as long as that buffer is in
// flight), NULL for a buffer that is not in the stage's pool.
void *BZ_MsWorkItem(BZ_MethodStage *ms, const UInt8 *inBuffer);
// The number of the worker that takes the next item (round-robin over the workers).
SInt32 BZ_MsTakeWorkerNum(BZ_MethodStage *ms, MP_TaskData *task1);
// Posts the item to the worker of that number; kMP_TerminateTaskErr when it does not run.
OSStatus BZ_MsPostItem(BZ_MethodStage *ms, MP_TaskData *task1, SInt32 workerNum, void *item);
// Closes the workers (BZ_CloseProcSubTasks) with the trace line "KBZ <stageName> task: deleted subtasks" or
// "... error %ld deleting subtasks". Its failure.
OSStatus BZ_MsCloseWorkers(BZ_MethodStage *ms, MP_TaskData *task1, const char *stageName);
// Ends the collector: unless it has ended already, posts it 5033 and waits on task 1's inputQueue for its
// end (other messages there are dropped); then clears and disposes its record. Returns the collector's
// result. Call after the workers are closed (they post to the collector). With passOverStreamEnds, the
// stage's own end-of-stream codes are passed over too (a collector that answers 5033 after a last frame).
OSStatus BZ_MsCloseTask2(BZ_MethodStage *ms, MP_TaskData *task1, bool passOverStreamEnds = false);

// ---- Worker ---------------------------------------------------------------------------------------------------

// The stage's record, seen from a worker or the collector.
BZ_MethodStage *BZ_MsOfTask(MP_TaskData *task);
// Waits for the next item on the worker's queue; *item is NULL when the worker is to end.
OSStatus BZ_MsWaitForItem(MP_TaskData *worker, void **item);
// Hands a cleaned item to the collector.
OSStatus BZ_MsItemDone(MP_TaskData *worker, void *item);
// What every worker does: takes the items posted to it one after the other, lets `work(ms, worker, item)`
// clean each (an error ends the worker with it) and hands it to the collector, until the end comes.
template <class Item, class Work>
OSStatus BZ_MsServeItems(void *parameter, Work &&work) {
  auto *worker = static_cast<MP_TaskData *>(parameter);
  BZ_MethodStage *ms = BZ_MsOfTask(worker);
  if (ms == nullptr) return paramErr;
  for (;;) {
    void *word = nullptr;
    OSStatus err = BZ_MsWaitForItem(worker, &word);
    if (err != noErr) return err;
    if (word == nullptr) return noErr;
    auto *item = static_cast<Item *>(word);
    if ((err = work(ms, worker, item)) != noErr) return err;
    if ((err = BZ_MsItemDone(worker, item)) != noErr) return err;
  }
}

// ---- Collector ------------------------------------------------------------------------------------------------

// One cleaned frame: its output buffer goes into the ordered output pool, unless its turn has passed (then
// the output goes back to the receiver and the input to the stage). Then every frame whose turn has come is
// taken out, measured when it is a test frame of an analysis with calcStats (the general frame analysis,
// finished after the run's last frame) and handed on, its input released when freeInputBuffer. A stop
// during the analysis gives userCanceledErr.
OSStatus BZ_MsCollectFrame(BZ_MethodStage *ms, UInt8 *inBuffer, UInt8 *outBuffer);
// The analysis tasks' input for a frame of the stage: in and out buffers, frame number, inArrayNum and
// outArrayNum of the input's descriptor, stage number and file number.
void BZ_MsFillDlgTaskInput(BZ_BuffInfo *stage, UInt8 *inBuffer, UInt8 *outBuffer, BZ_DlgTaskInput *dlgTaskInput);
// The collector's last step: userCanceledErr becomes 0, the result is kept for the distributor and the task
// marks itself exiting. Returns the result.
OSStatus BZ_MsEndTask2(BZ_MethodStage *ms, MP_TaskData *task2, OSStatus result);
// The collector of a stage whose items name their frame's inBuffer and outBuffer: collects every item in turn
// after a set-up that gave `result`, then ends as BZ_MsEndTask2 does.
template <class Item>
OSStatus BZ_MsCollectItems(BZ_MethodStage *ms, MP_TaskData *task2, OSStatus result) {
  Boolean finished = false;
  while (result == noErr && !finished) {
    void *word = nullptr;
    result = BZ_WaitForBuffer(task2, task2->inputQueue, &word, nullptr, &finished);
    if (result != noErr || finished) break;
    const auto *item = static_cast<const Item *>(word);
    result = BZ_MsCollectFrame(ms, item->inBuffer, item->outBuffer);
  }
  return BZ_MsEndTask2(ms, task2, result);
}
