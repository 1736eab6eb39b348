// Control of the analysis and preview runs of the project dialog: stopping a running analysis or preview
// calculation through the main task. Main thread only.
#pragma once

#include "engine/runtime/project_types.h"
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
