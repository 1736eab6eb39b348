// The main task and run control. One main task lives for the whole program: it receives the control messages
// of the main thread (sender kBZ_MainThreadTaskType) and of the project dialog (kBZ_ProjDlgTaskType), builds
// and starts one task per stage of the stage table for each run (a movie analysis, a preview calculation or
// the execution of a project), watches the stages' ends and failures, stops every stage when a run ends and
// decides what follows.
//
// Messages on the main task's input queue (sender, project, code):
//   control: 5027 run, 5028 cancel the project, 5029/5030 stop a preview calculation or analysis, 5031 quit,
//            5032 stop with an error;
//   stages:  (stage type, project, 5033) when the last write stage has closed its files, and every stage
//            task's termination (stage type, project, result). A stage reports an error only as its result.
// The output queue carries (kBZ_MainTaskType, project, error) for an execution that ended finished,
// cancelled, quitting or failed (error 0 unless a failure is still to be shown); the main thread saves or
// deletes the target files and disposes the project.
//
// After every run the main task posts kBZ_ProjectRunFinishedEvent (2009) and waits on
// gBZ.dlgTaskData.prfSemaphore until the main thread has handled it (no wait when there is no semaphore or
// the main task is ending). A run stopped by 5029/5030 signals gBZ.dlgTaskData.stopSemaphore once every
// stage has closed, whatever the run's outcome.
#pragma once

#include "engine/runtime/project_types.h"
#include "engine/tasks/task_runtime.h"
#include "platform/core/mac_types.h"
#include "platform/core/multiprocessing.h"

// Entry points of the stage tasks by stage type (8 to 18). `measuring` selects the varying-brightness
// stage's measuring entry, used in an analysis run at the varying-brightness automatic-settings stage. A
// stage type without an entry point fails to start (paramErr), which ends its run. Main thread, while no run
// is active.
void BZ_SetStageEntryPoint(BZ_TaskType stageType, Boolean measuring, TaskProc entryPoint);

// Fills gBZ.mainTaskData (entry BZ_MainTask, type kBZ_MainTaskType, termination message 2 = project, no
// queues owned), creates its input and output queues and starts it. Its termQueue must exist before.
OSStatus BZ_CreateMainTask(BZ_ProjPtr project);
// The main task's body; returns its last status.
OSStatus BZ_MainTask(void *parameter);
// Builds one task record per stage (in the main task's subTaskList), re-creates the stages' queues, event,
// semaphore, worker queue and output pools, fills the free queues and starts the stage tasks in table order.
// The first failure is returned; tasks already started keep running.
OSStatus BZ_CreateProjectTasks(BZ_ProjPtr project, MP_TaskData *mainTaskData);
// Posts (kBZ_MainTaskType, project, message) to every stage's input queues and free queues and sets
// kBZ_StopTaskFlag on its event. The first failure is returned.
OSStatus BZ_CloseProjectTasks(BZ_ProjPtr project, OSStatus message);
// True when no stage has a live task record.
Boolean BZ_AllSubTasksClosed(BZ_BuffInfo *stageTable);
// Forgets the stage tasks of the finished run: clears the stages' task records, deletes the records' own
// queues and disposes the main task's sub-task list. Every stage task must have ended.
OSStatus BZ_RemoveSubTasks(MP_TaskData *mainTaskData, BZ_BuffInfo *stageTable);
// Starts the analysis or preview calculation that the dialog deferred (events 2014 or 2013), else nothing.
OSStatus BZ_StartDeferredTask();
// Post custom events 2014 (parameter 2009), 2013 and 2015 (parameter 2010) to the main thread.
OSStatus BZ_StartMovieAnalysisFromThread(Boolean newAnalysis);
OSStatus BZ_StartPreviewCalcFromThread();
OSStatus BZ_SendForcePreviewUpdateEvent(Boolean recreateImages);
// Main thread, at quit: waits on the main task's termQueue for at most duration. When the main task's end
// arrives, its input and output queues are deleted and its ID cleared; a status other than 0 and
// kMP_NormalTerminationStatus goes to gBZ.error. Returns the wait's result.
OSStatus BZ_WaitForMainTaskTermMessage(Duration duration);
