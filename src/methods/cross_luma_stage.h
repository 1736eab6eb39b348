// The cross-luma stage (kBZ_CrossLumaTaskType, 17): a cleaning stage of the standard shape over the shared
// method-stage pieces (methods/method_stage.h) running the kernel of methods/cross_luma.h. It has no
// automatic settings. A frame with too many constant-chroma stretches on a line is passed on unfiltered and
// counted; the run goes on.
//
// Threads: task 1 (the distributor) owns the run's BZ_ClParams, which lives until it has closed its workers
// and its collector; the workers read it and write their own scratch areas.
#pragma once

#include "engine/runtime/project_types.h"
#include "methods/cross_luma.h"
#include "methods/method_stage.h"
#include "platform/core/mac_types.h"

// The task bodies (parameter: the task's MP_TaskData). Task 1 is the stage's entry point.
OSStatus BZ_CrossLumaTask1(void *parameter);
OSStatus BZ_CrossLumaTaskProper(void *parameter);
OSStatus BZ_CrossLumaTask2(void *parameter);

// Set-up of task 1: the run's record (*ms), the settings checked (not corrected) into *sett, clParams filled
// from source 0's picture size and the interlace setting with the areas of BZ_GetNumSubTasks() workers, and
// whether the outputs are to be padded. paramErr for settings out of range (nothing is allocated then), else
// the failure of the record or the areas.
OSStatus BZ_SetupCrossLumaTask1(MP_TaskData *task1, BZ_MethodStage **ms, BZ_Cl_Sett *sett, BZ_ClParams *clParams,
                                Boolean *padding);
// Set-up of task 2: the run's record; paramErr without one.
OSStatus BZ_SetupCrossLumaTask2(MP_TaskData *task2, BZ_MethodStage **ms);
// Starts and ends the collector (BZ_MsCreateTask2, BZ_MsCloseTask2).
OSStatus BZ_ClCreateTask2(BZ_MethodStage *ms, MP_TaskData *task1);
OSStatus BZ_ClCloseTask2(BZ_MethodStage *ms, MP_TaskData *task1);
// The analysis tasks' input for an item of the stage.
void BZ_ClFillDlgTaskInput(BZ_BuffInfo *stageBuffInfo, const BZ_ClProcParams *clProcParams,
                           BZ_DlgTaskInput *dlgTaskInput);
// inWidth, inHeight, width, height and interlaced of the run's parameters.
void BZ_ClParamsToPadParams(const BZ_ClParams *clParams, BZ_PadParams *padParams);
