// The logo-removal stage (kBZ_RlTaskType, 16): a cleaning stage over the shared method-stage pieces
// (methods/method_stage.h) that removes a logo at a fixed rectangle of every frame in one of three modes
// (logo_removal.h, logo_interpolation.h). In an analysis run at its automatic-settings stage it finds the
// logo's mask and transparency on the sample frames instead (logo_finding.h).
//
// Tasks: the distributor (BZ_RlTask1) deals frames round-robin to BZ_GetNumSubTasks() workers
// (BZ_RemoveLogoTaskProper) or, when finding, measures each sample itself and hands it straight to the
// collector; the collector (BZ_RlTask2) hands frames on in order. When executing, the collector runs the
// anti-shimmer median over three frames, so each frame leaves it one frame later.
//
// Main-thread round trips: the fade frame numbers (2010) and the found mask's picture (2011); the stage waits
// on its semaphore, and a stop ends the wait.
#pragma once

#include "engine/runtime/project_types.h"
#include "methods/logo_params.h"
#include "methods/method_stage.h"
#include "platform/core/mac_types.h"

// The task bodies (parameter: the task's MP_TaskData). Task 1 is the stage's entry point.
OSStatus BZ_RlTask1(void *parameter);
OSStatus BZ_RemoveLogoTaskProper(void *parameter);
OSStatus BZ_RlTask2(void *parameter);

// Set-up of task 1: the run's record, rlParams filled for this run (sizes, rectangle, mask, interpolation,
// scratch, fade numbers), whether this run finds the logo (*calcAutoSett) and whether outputs are padded.
// kBZ_LogoTooLargeErr for a rectangle that does not fit the picture or a mask of another size than the
// rectangle; the mask file's errors (kBZ_AuxFileNotFoundErr for a missing file); paramErr for settings out of
// range; memFullErr. Nothing is read from a frame before it succeeded. Free with BZ_RlDisposeParams.
OSStatus BZ_SetupRlTask1(MP_TaskData *task1, BZ_MethodStage **ms, BZ_RlParams *rlParams, Boolean *calcAutoSett,
                         Boolean *padding);
// What the run owns in rlParams, freed and cleared (borrowed mask state stays with BZ_RlDlgTaskData).
void BZ_RlDisposeParams(BZ_RlParams *rlParams);
// Set-up of task 2: the run's record; paramErr without one.
OSStatus BZ_SetupRlTask2(MP_TaskData *task2, BZ_MethodStage **ms);
// Starts and ends the collector.
OSStatus BZ_RlCreateTask2(BZ_MethodStage *ms, MP_TaskData *task1);
OSStatus BZ_RlCloseTask2(BZ_MethodStage *ms, MP_TaskData *task1);
// The analysis tasks' input for an item of the stage.
void BZ_RlFillDlgTaskInput(BZ_BuffInfo *stageBuffInfo, const BZ_RlProcParams *rlProcParams,
                           BZ_DlgTaskInput *dlgTaskInput);
void BZ_RlParamsToPadParams(const BZ_RlParams *rlParams, BZ_PadParams *padParams);

// Main thread (event 2010): the four fade frame numbers of the project's first source into rlParams; for a
// movie too short for any fade, fade is switched off in the settings. paramErr without a project.
OSStatus BZ_RlGetFadeFrameNumbers(BZ_ProjPtr project, BZ_RlParams *rlParams);
// The same from the movie's duration, time scale and time list (the arithmetic of the routine above).
void BZ_RlFadeFrameNumbers(const BZ_StatMovInfo *movie, TimeValue duration, TimeScale scale, BZ_RlSett *sett,
                           BZ_RlParams *rlParams);

// Main thread (the preview after a new rectangle): when the stage table holds a logo stage, the mask becomes
// the whole rectangle and the interpolation is rebuilt for it. memFullErr.
OSStatus BZ_RlReinitInterpolation(BZ_DlgTaskData *dlgData, const BZ_RlSett *rlSett);

// The logo method's lasting state: *rlDlgTaskData = a new zeroed record (owned: BZ_RlDisposeDlgTaskData);
// memFullErr and NULL on failure.
OSStatus BZ_RlInitDlgTaskData(BZ_RlDlgTaskData **rlDlgTaskData);
void BZ_RlDisposeDlgTaskData(BZ_RlDlgTaskData **rlDlgTaskData);
// The mask of the record (mask array, count, logo colours) freed and cleared; picture and file stay.
void BZ_RlForgetMask(BZ_RlDlgTaskData *rlDlgTaskData);
