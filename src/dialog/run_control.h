// Control of the analysis and preview runs of the project dialog: stopping a running analysis or preview
// calculation through the main task. Main thread only.
#pragma once

#include "engine/runtime/method_settings.h"
#include "engine/runtime/project_types.h"
#include "platform/core/event_loop.h"
#include "platform/core/mac_types.h"

#include <atomic>

// Whether a preview calculation waits until the running run has stopped (the preview's flag; any thread).
std::atomic<Boolean> &BZ_PreviewCalcDeferred();

// Stops a running movie analysis (kBZ_CancelMovieAnalysisMessage) or preview calculation
// (kBZ_CancelPreviewCalcMessage) through the main task when a new run is wanted. With waiting, waits (while
// dispatching events) on gBZ.dlgTaskData.stopSemaphore until the main task has closed the run; without,
// marks the wanted run deferred so that the main task starts it afterwards. *actuallyStopping tells whether
// a stop was sent; it is left alone when the project has no frame buffers (nothing can run). The first
// failure of making the semaphore, posting or waiting.
OSStatus BZ_StopMovieAnalysis(BZ_ProjDlgState *dlgState, Boolean *actuallyStopping, Boolean waiting);

// The method flags that are applied and can run: 0 without a valid first source movie; otherwise the applied
// flags less averaging without a valid second movie, noise reduction filtering in neither direction, and the
// logo's mask mode (3) without a mask picture and without finding one. Always noErr.
OSStatus BZ_GetValidSelectedProcessTypes(const BZ_CleaninSett *cleaning, UInt32 *types);
// The automatic-settings stages wanted after a change of the item (0: every item). Not built yet.
void BZ_UpdateAutoSettCalc(SInt32 itemHit, CodecType savedOutputCType);
// Schedules an analysis or preview run when the change needs one. Not built yet: noErr.
OSStatus BZ_ScheduleMovieAnalysisIfNeeded(WindowRef window, CodecType savedOutputCType);
// The movie-analysis timer's procedure (the dialog window as data). Not built yet.
void BZ_InitMovieAnalysis(EventLoopTimerRef timer, void *window);
// Empties the measured-value items. Not built yet: noErr.
OSStatus BZ_ClearCalcValues(WindowRef window);
// Starts a preview calculation. Not built yet: noErr.
OSStatus BZ_StartPreviewCalc();
