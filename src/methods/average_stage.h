// The averaging stage (kBZ_AverageTaskType): two captures of the same tape, movie 1 from source 0 and movie
// 2 from source 1, averaged frame by frame after movie 2 has been shifted horizontally into line with movie
// 1. In an analysis run at the averaging automatic-settings stage it measures the shift and the weight on
// the sample frames instead and sends them to the dialog.
//
// Tasks: the distributor (task 1, BZ_AverageTask1) takes one frame of each movie in step, checks that their
// frame numbers match, and deals work items round-robin to BZ_GetNumSubTasks() workers
// (BZ_AverageTaskProper), which average into an output buffer of the receiving stage; the collector (task 2,
// BZ_AverageTask2) hands the frames on in frame order (method_stage.h). Measuring runs on the distributor
// and hands the items straight to the collector, which combines the samples after the last one.
//
// Messages: movie 1 arrives on the stage's inputQueue from the Copy stage of file 0 and goes back to the
// stage's inFreeQueue (or stays for the noise frame, method_stage.h); movie 2 arrives on the stage's
// inputQueue2 from the Copy stage of file 1 and goes back to freeQueue2 as soon as its frame has been
// averaged. Line 2 of a movie-2 buffer is shifted in place by the worker that owns the frame.
#pragma once

#include "engine/runtime/project_types.h"
#include "methods/average_lines.h"
#include "platform/core/mac_types.h"

// The automatic-settings stage bit of averaging, and the dialog items that show its results.
enum : UInt32 { kBZ_AvAutoSettStage = 1 };
enum : SInt16 { kBZ_AvShiftItem = 2104, kBZ_AvWeightItem = 2105 };

// One frame's work item (in the stage record's item slot of its movie-1 buffer). The buffers belong to the
// task that holds the item.
struct BZ_AvProcParams {
  BZ_AvParams *avParams;  // borrowed: the distributor's, alive until the workers and collector have ended
  Boolean calcStats;
  Boolean padding;  // the output is padded (the next stage needs its margins)
  Boolean calcAutoSett;  // measured on the distributor: no output buffer
  UInt8 *inBuffer1;
  UInt8 *inBuffer2;
  UInt8 *outBuffer;
  SInt32 subTaskNum;
};

// The three task bodies (parameter: the task's MP_TaskData). Return the task's result.
OSStatus BZ_AverageTask1(void *parameter);
OSStatus BZ_AverageTaskProper(void *parameter);
OSStatus BZ_AverageTask2(void *parameter);

// The distributor's set-up for this run: checks that the sources can be averaged (kBZ_DiffDimensionsErr,
// kBZ_IdenticalInputMoviesErr) and that the settings are valid (paramErr otherwise; nothing is corrected),
// then fills *avParams from the settings and the picture size of source 0 with numWorkers work lines plus
// one for measuring (owned: BZ_AvDisposeParams). memFullErr when the lines cannot be made.
OSStatus BZ_SetupAverageTask1(BZ_ProjPtr project, SInt32 numWorkers, BZ_AvParams *avParams);
// Frees the work lines of *avParams and clears them. Accepts a half-filled or cleared record.
void BZ_AvDisposeParams(BZ_AvParams *avParams);
// The collector's set-up: its trace line. Always noErr.
OSStatus BZ_SetupAverageTask2(MP_TaskData *task2);
// Starts and ends the collector (method_stage.h's pieces with BZ_AverageTask2).
OSStatus BZ_AvCreateTask2(MP_TaskData *task1);
OSStatus BZ_AvCloseTask2(MP_TaskData *task1);
// The padding parameters of the run's frames.
void BZ_AvParamsToPadParams(const BZ_AvParams *avParams, BZ_PadParams *padParams);

// After the last sample: the samples combined (BZ_AvCombineSampleResults) are sent to items 2104 (shift) and
// 2105 (weight) and stored in the project's averaging settings. When no sample found a shift nothing is sent
// and the settings stay; a trace line says so. The first failure of the sends.
OSStatus BZ_BestShiftWeightCalcResult();

// The averaging analysis record: *avDlgTaskData = a new zeroed record (owned: BZ_AvDisposeDlgTaskData);
// memFullErr and NULL on failure.
OSStatus BZ_AvInitDlgTaskData(BZ_AvDlgTaskData **avDlgTaskData);
void BZ_AvDisposeDlgTaskData(BZ_AvDlgTaskData **avDlgTaskData);
