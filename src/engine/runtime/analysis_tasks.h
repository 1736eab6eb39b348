// The four frame-analysis tasks that measure the sample ("test") frames of an analysis run for the automatic
// settings and the project dialog: white line (fed by the copy stage of each file), black bars (the copy
// stage of file 0), noise level and frame difference (any stage, through BZ_GeneralFrameAnalysis). Their
// records live in gBZ.dlgTaskData; they are started by the copy stage's set-up and kept between runs.
//
// Messages on a task's input queue: (sender's stage type, address of a BZ_DlgTaskInput, kBZ_AnalyseFrameMessage).
// The task measures the input's frames (the picture is the working frame of source 0's size, see
// engine/runtime/frame_analysis.h), stores the result in its cell of gBZ.dlgTaskData (by file or stage
// number and test number) and sets its done flag (kBZ_WhiteLineDoneFlag, kBZ_BlackBarsDoneFlag,
// kBZ_NoiseLevelDoneFlag, kBZ_PixelDiffDoneFlag) on the event of the asking stage. The asking stage keeps the
// input record and both frames unchanged until that flag has come. White line and black bars take only the
// copy stage's messages; messages with another code are dropped. A task ends on a failing queue wait or
// event post (that failure is its result, posted on its own termQueue) or when it is terminated.
//
// After the last test frame the asking stage calls the matching CalcResult routine on its own task; it
// condenses the per-frame results and tells the dialog through the engine host's custom events:
// kBZ_SetValueInDialogEvent (2005 float value, 2006 SInt16 item), kBZ_StageDefaultsButtonActivateEvent (2008
// task type) and kBZ_WhiteLineEvent (2000 SInt32 file number).
#pragma once

#include "engine/runtime/dialog_items.h"
#include "engine/runtime/project_types.h"
#include "engine/tasks/pipeline_types.h"
#include "engine/tasks/task_runtime.h"
#include "platform/core/mac_types.h"
#include "platform/core/multiprocessing.h"

// Queues each analysis task owns (made by MP_CreateTask, deleted by MP_DisposeTask): input, output, term.
enum : SInt32 { kBZ_AnalysisTaskQueues = kMP_InputQueueAlloc | kMP_OutputQueueAlloc | kMP_TermQueueAlloc };

// ---- Starting the tasks (the copy stage's set-up) ---------------------------------------------------------------
// Both are safe from several copy stages at once. A task that has ended on its own is collected and started
// again. The first failure is returned; a task that could not be started leaves no queues behind.

// In an analysis run with no automatic setting pending (the host's getAutoSettStage answers 0), starts the
// frame-difference and noise-level tasks unless they run; in any other run ends both, waiting for their end.
OSStatus BZ_CreateGeneralAnalysisTasks(BZ_DlgTaskData *dlgTaskData);
// In an analysis run: starts the white-line task when the file's white line is not yet searched and the task
// does not run; for file 0 also the black-bars task when the bars are not yet detected and it does not run.
OSStatus BZ_CreateInputAnalysisTasks(BZ_DlgTaskData *dlgTaskData, SInt32 fileNum);

// ---- Task entry points (parameter: the task's MP_TaskData, whose data is the BZ_DlgTaskData) -------------------

// Picture lines height - 2 and height - 1 of the copy stage's frame, for 576-line pictures only (wide enough
// for the tested columns): the first white one is recorded in hasWhiteLineInSecLastLine or hasWhiteLineInBottomLine of [file][test]; both
// cells are rewritten for every test frame, so an earlier movie's answer never stays.
OSStatus BZ_WhiteLineTask(void *parameter);
// The black bar sizes (top, left, bottom, right) of file 0's copy-stage frame into blackBarSize[test]: at
// most a quarter of the height (rows) or width (columns) each.
OSStatus BZ_BlackBarsTask(void *parameter);
// The noise level of the input's outBuffer into noiseLevel[stage][test].
OSStatus BZ_FrameNoiseLevelTask(void *parameter);
// The difference between inBuffer and outBuffer into pixelDiff[stage][test] (mean absolute difference per
// pixel, chroma and luma summed) and percChanged[stage][test] (share of changed pixels); for the write stage
// of file 0 also the optimal scales of the difference picture into optScaleY[test] and optScaleC[test].
OSStatus BZ_FramePixelDiffTask(void *parameter);

// ---- The asking stages ------------------------------------------------------------------------------------------

// Called by a stage's task for each test frame. Sets the input's stageNum to the stage's number, posts the
// input to the noise-level task (with reduceNoiseInEntireFrame) and to the frame-difference task, adds
// kBZ_NoiseLevelDoneFlag and kBZ_PixelDiffDoneFlag to *expectedEvents (the caller's word; NULL: none of its
// own) and waits on the stage's event until both have come, clearing every flag received from the word.
// A stop (kBZ_StopTaskFlag) gives userCanceledErr (-128) once the tasks have let go of the input; a stage
// without a task record gives -128 at once; a measuring task that is gone gives kMPTaskAbortedErr. The input
// and the frames stay the caller's and must stay unchanged until this returns.
OSStatus BZ_GeneralFrameAnalysis(BZ_BuffInfo *stageBuffInfo, BZ_DlgTaskData *dlgTaskData,
                                 Boolean reduceNoiseInEntireFrame, BZ_DlgTaskInput *dlgTaskInput,
                                 MPEventFlags *expectedEvents);
// After the last test frame: BZ_NoiseLevelCalcResult (with reduceNoiseInEntireFrame), then
// BZ_PixelDiffCalcResult for the stage; the first failure.
OSStatus BZ_FinishGeneralFrameAnalysis(BZ_BuffInfo *stageBuffInfo, Boolean reduceNoiseInEntireFrame,
                                       SInt32 numFrames);

// ---- Results (on the asking stage's task, after the last test frame) ----------------------------------------------
// numFrames counts the test frames measured (at most kBZ_NumTestFrames are kept). Each returns the first
// failure of its posts; paramErr for a file or stage that does not exist.

// The file's movie has a white line piece when all 10 test frames found it in the bottom line (then
// whiteLineIsBottomLine) or all 10 in the second-last line; without one, whiteLineIsBottomLine tells which
// line was found more often. A piece in a movie without field information marks source 0 interlaced, top
// field first unless the piece is in the bottom line (never over source 0's own field information). Posts
// kBZ_WhiteLineEvent with the file number.
OSStatus BZ_WhiteLineCalcResult(SInt32 fileNum, SInt32 numFrames);
// Source 0's blackEdges: per side the smallest size over the test frames (0 without any). With the input
// setting autoDetectBlackBars posts value 0 for item kBZ_BlackBarsItem; always posts the defaults-button
// event for the copy stage.
OSStatus BZ_BlackBarsCalcResult(SInt32 numFrames);
// The average of the stage's per-frame noise levels without outliers, posted to the stage's noise-level item.
OSStatus BZ_NoiseLevelCalcResult(SInt32 stageNum, SInt32 numFrames);
// D and Q, the averages without outliers of the stage's per-frame difference and changed share; without
// reduceNoiseInEntireFrame D becomes the difference per changed pixel D / Q (0 when nothing changed). Posts D
// and then 100 Q to the stage type's items. After the write stage of file 0 the project's difference
// parameters take the averages of the optimal scales.
OSStatus BZ_PixelDiffCalcResult(SInt32 stageNum, SInt32 numFrames, Boolean reduceNoiseInEntireFrame);

// The dialog item that shows a measured value of a stage type (the copy stage's noise level has one item per
// file, 0 and 1), or -1 when there is none.
SInt16 BZ_GetDialogItemForCalcValue(BZ_TaskType taskType, SInt32 fileNum, BZ_CalcItemType calcItemType);
