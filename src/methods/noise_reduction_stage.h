// The noise-reduction stage (type kBZ_NoiseRedTaskType): removes random noise from each padded '2vuy' frame
// with the spectral filter the settings choose (both directions: the two-dimensional filter; one: its line
// filter; neither: a copy), pads the result when a cleaning stage follows, and hands the frames on in frame order.
//
// Tasks: task 1 (BZ_ReduceNoiseTask1, started by the main task) sets the run up, deals frames round-robin to
// BZ_GetNumSubTasks() workers (BZ_ReduceNoiseTaskProper) and closes everything at the end; each worker
// filters one frame per work item into an output buffer of the receiving stage and hands the item to task 2
// (BZ_ReduceNoiseTask2), which takes the frames back in frame order through the stage's output pool, hands
// them on and returns the input buffers that are no longer needed.
//
// Messages: task 1 takes (previous stage, project, input buffer) from its inputQueue and stop codes from the
// main task; items go to a worker as (15, project, item) and to task 2 as (19, project, item); finished frames
// go to the receiver's inputQueue as (15, project, output buffer) and inputs back to this stage's inFreeQueue,
// each the receiver's from the post on. Task 2's and the workers' ends arrive on task 1's inputQueue. An item
// and the buffers it names belong to the task that holds it.
//
// Storage: the stage's addStorage (kept with the stage record) holds three frame-buffer sizes, the noise
// models (1152 bytes), the windows (1376 bytes) and then the run's shared record with task 2's task record,
// which the main task reads until the run is over. BZ_RnParams lives in task 1 for the run.
//
// Automatic settings: in an analysis run at the noise automatic-settings stage task 1 measures the output
// samples instead of filtering them (noise_analysis.h) and hands them to task 2 without an output buffer;
// after the last one task 2 stores the result and ends task 1 with 5033, which reports 5033 to the main task.
#pragma once

#include "engine/runtime/project_types.h"
#include "engine/tasks/pipeline_types.h"
#include "engine/tasks/task_runtime.h"
#include "methods/noise_params.h"
#include "platform/core/mac_types.h"

// The run's record shared by task 1, the workers and task 2, in the stage's addStorage after the stage's own
// layout. Written by task 1 before task 2 and the workers start; read-only afterwards except where noted.
struct BZ_RnStageRun {
  MP_TaskData task2;
  BZ_ProjPtr project;
  BZ_BuffInfo *stage;
  BZ_BuffInfo *receiver;
  BZ_ExecuteState exec;
  UInt32 calcAutoSett;
  Boolean calcStats;
  SInt32 numInFrames;
  SInt32 lastInFrame;  // the number of the run's last input frame
  BZ_RnProcParams *copies;  // task 1's kBZ_MaxFrameBuffers work items, by input buffer number
};

// Points the noise models and windows of rnParams into storage (16-byte aligned, 1152 + 1376 bytes), one after
// the other: nn16H Y 8, Cb 4, Cr 4; nn16V 8 each; nn2D Y 64, Cb 16, Cr 16; nn2Dadd Y 16, Cb 8, Cr 8; then
// window8, window16, window64, window256.
void BZ_RnLayOutModelsAndWindows(void *storage, BZ_RnParams *rnParams);
// Allocates the zeroed noise-reduction analysis record (owned for the program's life). memFullErr.
OSStatus BZ_RnInitDlgTaskData(BZ_RnDlgTaskData **rnDlgTaskData);

// ---- Task 1 ----------------------------------------------------------------------------------------------------

// The stage's entry (parameter: its MP_TaskData). Returns the run's first failure.
OSStatus BZ_ReduceNoiseTask1(void *parameter);
// Fills rnParams and the outputs for this run: geometry, automatic-settings stage, queues, tables, storage,
// windows, bases and model, sample lists. Checks the settings (paramErr for out-of-range values) and waits for
// the random tables the filter needs (ending the wait, with *stopped set, when the stage is stopped).
// *outSampleArray is owned by the caller (free with GL_DisposePtr); *lastInFrame is the number of the last
// input frame, which is its own next frame.
OSStatus BZ_SetupReduceNoiseTask1(BZ_DlgTaskData *dlgData, BZ_ProjPtr project, BZ_BuffInfo *stage,
                                  BZ_RnParams *rnParams, MPQueueID *inInputQueue, MPQueueID *outFreeQueue,
                                  SInt32 **outSampleArray, SInt32 *numInFrames, SInt32 *lastInFrame,
                                  SInt32 *numOutSamples, Boolean *calcStats, Boolean *padding, Boolean *stopped);
// Starts task 2 with its record in run->task2.
OSStatus BZ_RnCreateTask2(BZ_RnStageRun *run, MP_TaskData *task1);
// Distributes one arriving frame: slides the three-frame window and hands the current frame to a worker.
// *outArrayNum is the index of the next output sample; *finished is set when the stage is stopped.
OSStatus BZ_RnHandleInputBuffer(MP_TaskData *taskData, BZ_RnStageRun *run, SInt32 numInFrames,
                                MPQueueID outFreeQueue, BZ_RnProcParams *rnProcParams,
                                BZ_RnProcParams *rnProcParamsCopies, UInt8 *buffer, const SInt32 *outSampleArray,
                                SInt32 numOutSamples, SInt32 *outArrayNum, Boolean *finished);

// ---- Workers -----------------------------------------------------------------------------------------------------

// A worker's entry (parameter: its MP_TaskData, whose creator is task 1). A NULL item ends it.
OSStatus BZ_ReduceNoiseTaskProper(void *parameter);
// The per-frame work: the spatial filter of inBuffer into outBuffer (the other frames are not used).
OSStatus BZ_ReduceNoise(BZ_ProjPtr project, const BZ_RnParams *rnParams, SInt32 frameNum, SInt32 curRealArrayNum,
                        BZ_ExecuteState state, const UInt8 *prevInBuffer, const UInt8 *inBuffer,
                        const UInt8 *nextInBuffer, UInt8 *outBuffer);
// The filter the settings choose: two-dimensional (both on), horizontal, vertical, or a copy of width x height
// x 2 bytes with both off. The scalar frame passes, resp. the SSE ones.
void BZ_RnFilterSpatial(const BZ_RnParams *rnParams, const UInt8 *inBuffer, UInt8 *outBuffer);
void BZ_RnFilterSpatialAcc(const BZ_RnParams *rnParams, const UInt8 *inBuffer, UInt8 *outBuffer);
// The SSE version when gBZ.procInfo.hasSSE3, else the scalar one.
void BZ_RnFilterSpatialUni(const BZ_RnParams *rnParams, const UInt8 *inBuffer, UInt8 *outBuffer);

// ---- Task 2 -----------------------------------------------------------------------------------------------------

// The collector's entry (parameter: run->task2). Turns a user cancel into noErr.
OSStatus BZ_ReduceNoiseTask2(void *parameter);
// After the last output sample of an analysis run: the measured automatic settings (then 5033 to task 1,
// which ends the run), or the general frame analysis' results.
OSStatus BZ_RnEvaluateResult(BZ_RnStageRun *run, const BZ_RnParams *rnParams, BZ_ProjDlgState *dlgState,
                             Boolean calcStats, SInt32 numTestFrames);
// Fills the analysis tasks' input from a work item.
void BZ_RnFillDlgTaskInput(const BZ_BuffInfo *inBuffInfo, const BZ_RnProcParams *rnProcParams,
                           BZ_DlgTaskInput *dlgTaskInput);

// ---- End of a run ----------------------------------------------------------------------------------------------

// Ends task 2 (5033 on its queue; 5033 to the receiver too unless measuring), waits for its end on task 1's
// queue unless *task2Ended, and returns task 2's result.
OSStatus BZ_RnCloseTask2(MP_TaskData *taskData, BZ_RnStageRun *run, Boolean *task2Ended);
// Frees the run's arrays (analysis arrays, bases); the additional storage stays with the stage.
void BZ_RnFree(BZ_RnParams *rnParams);
