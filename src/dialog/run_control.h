// Control of the analysis and preview runs of the project dialog: whether a change needs a new movie analysis,
// a preview calculation or nothing; the 3-second delay that turns a burst of changes into one run; starting
// and stopping runs through the main task; the automatic-settings stages of an analysis; and the dialog's
// state at the end of a run. Main thread only, except the stage queries (BZ_GetAutoSettStage,
// BZ_SetAutoSettCalculated), which the main task and the stage tasks call.
#pragma once

#include "engine/runtime/method_settings.h"
#include "engine/runtime/project_types.h"
#include "methods/average_stage.h"
#include "methods/logo_params.h"
#include "methods/noise_params.h"
#include "methods/varbr_analysis.h"
#include "platform/core/event_loop.h"
#include "platform/core/mac_types.h"

struct BZ_ProjDlgData;

// The delay from the last change to the start of the run it asks for.
constexpr EventTimerInterval kBZ_MovieAnalysisDelay = 3.0;

// The method flags that are applied and can run: 0 without a valid first source movie; otherwise the applied
// flags less averaging without a valid second movie, noise reduction filtering in neither direction, and the
// logo's mask mode (3) without a mask picture and without finding one. Always noErr.
OSStatus BZ_GetValidSelectedProcessTypes(const BZ_CleaninSett *cleaning, UInt32 *types);

// The decision for one changed item (the settings hold the dialog's new values; savedOutputCType is the output
// codec before they were read): *needMovieAnalysis, and *needPreviewCalc when no analysis is needed but a crop
// or white-line item changed. For an edit text the new value is compared with the one saved before the
// reading (the same float within 0.0001 asks for nothing) and then replaces it. A change of the output codec
// between DV and another codec with a source not in video gamma restarts the progress view's decompression;
// its failure is returned.
OSStatus BZ_NeedMovieAnalysis(WindowRef window, SInt32 itemHit, CodecType savedOutputCType,
                              Boolean *needMovieAnalysis, Boolean *needPreviewCalc);
// Whether a change of the item asks for the automatic settings to be measured again.
Boolean BZ_ItemHitRequiresAutoSettRecalc(SInt32 itemHit);
// The logo in mask mode that finds its mask, or holds a mask picture and is transparent.
Boolean BZ_RlSettRequireAutosettCalc(const BZ_ProjDlgData *dlgData, const BZ_RlSett *rlSett);
// The automatic-settings stages wanted after a change of the item (0: every item, as when the dialog opens):
// marks (wanted, not done) or drops the averaging, varying-brightness, noise and logo stages.
void BZ_UpdateAutoSettCalc(SInt32 itemHit, CodecType savedOutputCType);

// After a handled item: schedules an analysis or preview run when the change needs one (an apply box always
// does), storing the wish and the item; without a method that can run, disables the preview.
OSStatus BZ_ScheduleMovieAnalysisIfNeeded(WindowRef window, CodecType savedOutputCType);
// Moves the analysis timer's next firing to `interval` seconds from now.
OSStatus BZ_ScheduleMovieAnalysis(EventTimerInterval interval);
// The analysis timer's procedure (the dialog window as data): stops what runs without waiting (the wanted run
// then starts from the main task) or starts the wanted analysis, rebuilding the stage table when the valid
// methods or the output codec changed, or the preview calculation. A failure becomes the project's error.
void BZ_InitMovieAnalysis(EventLoopTimerRef timer, void *window);
// Starts an analysis run: exec 1 (subExec 1 while a stage is pending), the wishes cleared, the project
// re-initialised and (kBZ_MainThreadTaskType, project, kBZ_RunProjectMessage) posted to the main task. No movie
// set up: the wishes are dropped, noErr.
OSStatus BZ_StartMovieAnalysis();
// Starts a preview calculation inside the preview's critical region; while any run is active it is only
// marked deferred, so that the end of that run starts it. Without a preview window the wish is dropped.
OSStatus BZ_StartPreviewCalc();

// Stops a running movie analysis (kBZ_CancelMovieAnalysisMessage) or preview calculation
// (kBZ_CancelPreviewCalcMessage) through the main task. Without waiting, a stop is sent only when a new run is
// wished, and the wished run is marked deferred so that the main task starts it afterwards. With waiting
// (project start, new source movie, closing the preview) any active run is stopped, whatever is wished, and
// the call returns (dispatching events) once the main task has closed it. *actuallyStopping tells whether a
// stop was sent; it is left alone when the project has no frame buffers (nothing can run). The first failure
// of making the semaphore, posting or waiting.
OSStatus BZ_StopMovieAnalysis(BZ_ProjDlgState *dlgState, Boolean *actuallyStopping, Boolean waiting);
// At the end of a run: the whole calculation state cleared except neededUpdates and noiseTablesReady.
void BZ_SetDialogStateToNonCalculating(BZ_ProjDlgState *state);
// Writes 0 (two decimals) into every item that shows a measured value. The first failure.
OSStatus BZ_ClearCalcValues(WindowRef window);

// The stage being calculated: the lowest bit wanted and not done (0: none). Any thread.
UInt32 BZ_GetAutoSettStage(const BZ_ProjDlgData *dlgData);
// Marks that stage done. Any thread.
void BZ_SetAutoSettCalculated(BZ_ProjDlgData *dlgData);
// Removes from *validSelectedTypes every method flag above that of a pending stage.
void BZ_AutoSettRemoveLaterStages(const BZ_ProjDlgData *dlgData, UInt32 *validSelectedTypes);
