// Varying brightness's analysis data kept between runs: the brightness factor tables that the measuring
// stage fills and the correction stage reads. Made with the analysis record at start-up, emptied after each
// project. Main thread only, while no stage runs.
#pragma once

#include "engine/runtime/project_types.h"
#include "platform/core/mac_types.h"

// *vbDlgTaskData = a new zeroed record (owned; free with BZ_VbDisposeDlgTaskDataRecord). memFullErr and NULL
// on failure.
OSStatus BZ_VbInitDlgTaskData(BZ_VbDlgTaskData **vbDlgTaskData);
// Frees the three factor tables and clears them, and forgets that the movie was analysed; the record stays.
// NULL does nothing.
void BZ_VbDisposeDlgTaskData(BZ_VbDlgTaskData *vbDlgTaskData);
// Frees the tables and the record itself and clears *vbDlgTaskData.
void BZ_VbDisposeDlgTaskDataRecord(BZ_VbDlgTaskData **vbDlgTaskData);

// ---- The measuring stage ------------------------------------------------------------------------------------
// In an analysis run at the automatic-settings stage of varying brightness (kBZ_VbAutoSettStage) the stage of
// type kBZ_VarBrTaskType (14) measures, over every frame of the movie in order, the brightness of each frame
// (each field when interlaced) relative to the one before, and after the last frame turns the ratios into the
// factor table of the analysis record (methods/varbr_analysis.h). It hands on no frame.
//
// Messages: the distributor (task 1) takes (previous stage, project, input buffer) from its inputQueue and
// gives each frame, with the frame before it, to the next of BZ_GetNumSubTasks() workers as (14, project,
// item); a worker measures and hands the item to the collector (task 2) as (kBZ_ProcSubTaskType, project,
// item). The collector takes frames in frame-number order and gives a frame's buffer back to the stage's
// inFreeQueue only once the frame after it has been collected, since that frame's worker reads it. After the
// last frame it evaluates and posts (14, project, 5033) to the distributor, which then ends the run.
//
// Threads: the distributor owns the run's BZ_VbParams and its relBr, which live until it has closed its
// workers and its collector; each measurement writes its own relBr entries only.

#include "methods/method_stage.h"
#include "methods/varbr.h"

// The task bodies (parameter: the task's MP_TaskData). Task 1 is the stage's measuring entry point.
OSStatus BZ_FindRelBrTask1(void *parameter);
OSStatus BZ_FindRelBrTaskProper(void *parameter);
OSStatus BZ_FindRelBrTask2(void *parameter);

// Set-up of task 1: the run's record (*ms) and vbParams for the movie of source 0, relBr allocated (owned by
// the caller: free it with GL_DisposePtr). 5023 for a picture too small for one measuring block; paramErr for
// buffers smaller than a frame; memFullErr.
OSStatus BZ_SetupFindRelBrTask1(MP_TaskData *task1, BZ_MethodStage **ms, BZ_VbParams *vbParams);
// Set-up of task 2: the run's record; paramErr without one.
OSStatus BZ_SetupFindRelBrTask2(MP_TaskData *task2, BZ_MethodStage **ms);
// Starts the collector of the measuring stage.
OSStatus BZ_VbfCreateTask2(BZ_MethodStage *ms, MP_TaskData *task1);
// ---- Shared by the measuring and the correction stage ----

// vbParams for the movie of source 0 and the stage's buffers (relBr and factors left empty). paramErr when a
// frame does not fit the stage's buffers (or, correcting, the receiver's) or the movie has no frames.
OSStatus BZ_VbFillParams(const BZ_MethodStage *ms, Boolean calcAutoSett, BZ_VbParams *vbParams);
// Sets or clears the dialog state's analyzingVarBr.
void BZ_VbSetAnalyzing(Boolean analyzing);
// Closes the workers and then the collector of task 1, with trace lines naming taskName; the first failure.
OSStatus BZ_VbCloseStage(BZ_MethodStage *ms, MP_TaskData *task1, const char *taskName);
// Ends the collector of either varying-brightness stage: unless it has ended already, posts it 5033 and
// waits on task 1's inputQueue for its end (its 5033 after the last frame and other messages are passed
// over); then disposes its record. Returns the collector's result.
OSStatus BZ_VbCloseTask2(BZ_MethodStage *ms, MP_TaskData *task1);
