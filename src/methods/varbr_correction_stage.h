// The varying-brightness correction stage (kBZ_VarBrTaskType, 14, outside the measuring run): a cleaning
// stage of the standard shape over the shared method-stage pieces (methods/method_stage.h) that multiplies
// the luma of every frame, or of each field when interlaced, by the factor the analysis stored for it
// (methods/varbr.h). The factor table is chosen by the field order at set-up and only read during the run; a
// preview or an execution without a table that covers its frames or fields ends with 5023 before any frame;
// an analysis run of other settings passes its frames on uncorrected.
//
// Threads: task 1 (the distributor) owns the run's BZ_VbParams, which lives until it has closed its workers
// and its collector; the workers read it and write only their output buffers.
#pragma once

#include "engine/runtime/project_types.h"
#include "methods/method_stage.h"
#include "methods/varbr.h"
#include "platform/core/mac_types.h"

// The task bodies (parameter: the task's MP_TaskData). Task 1 is the stage's entry point.
OSStatus BZ_CorrRelBrTask1(void *parameter);
OSStatus BZ_CorrRelBrTaskProper(void *parameter);
OSStatus BZ_CorrRelBrTask2(void *parameter);

// The factor table of the analysis record for the field order (borrowed, NULL when none was measured) and
// its number of entries.
const float *BZ_VbGetFactorTable(const BZ_VbDlgTaskData *data, Boolean interlaced, Boolean topFieldFirst,
                                 SInt32 *numFactors);
// Set-up of task 1: the run's record (*ms), vbParams for source 0 with the factor table of its field order,
// and whether the outputs are to be padded. 5023 when no table covers the movie's frames (progressive) or
// fields (interlaced), except in an analysis run (factors NULL then: every factor 1); paramErr for buffers
// smaller than a frame.
OSStatus BZ_SetupCorrRelBrTask1(MP_TaskData *task1, BZ_MethodStage **ms, BZ_VbParams *vbParams, Boolean *padding);
// Set-up of task 2: the run's record; paramErr without one.
OSStatus BZ_SetupCorrRelBrTask2(MP_TaskData *task2, BZ_MethodStage **ms);
// Starts the collector of the correction stage.
OSStatus BZ_VbcCreateTask2(BZ_MethodStage *ms, MP_TaskData *task1);
