// How the engine reaches the application shell and the project dialog, which sit above it: one record of
// function pointers, each named after the routine of the shell or the dialog it stands for. The application
// installs its own record at start-up; tests install theirs. Until a record is installed the engine uses a
// plain one: events go to the main event queue, the dialog's answers are those of a dialog without a window
// (nothing deferred, no stage pending, the preview at frame 0, every applied method valid), preferences are
// the defaults, log lines and errors go to standard output.
//
// Threads: the engine calls the host from its tasks (the main task, stage tasks) as well as from the main
// thread. Every function must therefore be safe from any thread; what needs the main thread is done by posting
// an event (postCustomEvent) or by keeping the work for the main thread's timer (showError).
#pragma once

#include "engine/runtime/dialog_items.h"
#include "engine/runtime/project_types.h"
#include "platform/core/mac_types.h"
#include "platform/core/multiprocessing.h"
#include "platform/core/quickdraw_ports.h"
#include "platform/movie/atom_container.h"

// One typed parameter of a custom event (copied into the event by value).
struct BZ_PreviewData;

struct BZ_EventParam {
  UInt32 name;  // kBZ_...EventParam; the parameter's type is the same number
  ByteCount size;
  const void *data;
};

struct BZ_EngineHost {
  void *refCon;  // handed to every function

  // ---- Main thread events ----
  // Posts a custom event of class kBZ_ProjEventClass and that kind with the parameters, in order, to the main
  // event queue at standard priority; the first failure. Stands for the shell's event senders
  // (BZ_SendProjectRunFinishedEvent and its kin).
  OSStatus (*postCustomEvent)(void *refCon, UInt32 kind, const BZ_EventParam *params, ItemCount numParams);

  // ---- The project dialog ----
  // BZ_GetDialogStatePtr: the dialog's calculation state (borrowed; never NULL).
  BZ_ProjDlgState *(*getDialogStatePtr)(void *refCon);
  // BZ_GetAutoSettStage: the automatic-settings stage being calculated (lowest bit wanted and not done), 0.
  UInt32 (*getAutoSettStage)(void *refCon);
  // BZ_SetAutoSettCalculated: marks that stage done.
  void (*setAutoSettCalculated)(void *refCon);
  // BZ_FreezePreview.
  OSStatus (*freezePreview)(void *refCon, Boolean freeze);
  // BZ_GetPreviewWindow: whether the preview window is open.
  Boolean (*previewWindowExists)(void *refCon);
  // BZ_GetPreviewDataPtr()->critRgn: the region that keeps the start of a preview calculation apart from its
  // end; 0 when there is none.
  MPCriticalRegionID (*getPreviewCritRgn)(void *refCon);
  // BZ_GetPreviewDataPtr()->previewCalcDeferred.
  Boolean (*previewCalcDeferred)(void *refCon);
  // BZ_GetPreviewDataPtr()->lastCropEdgeMove: the item of the preview's last crop-edge command.
  SInt32 (*getLastCropEdgeMove)(void *refCon);
  // BZ_GetPreviewDataPtr()->frameNum: the frame (from 0) the preview shows and a preview run cleans.
  SInt32 (*getPreviewFrameNum)(void *refCon);
  // BZ_GetValidSelectedProcessTypes: the applied methods that can run, as type flags.
  OSStatus (*getValidSelectedProcessTypes)(void *refCon, const BZ_CleaninSett *cleaning, UInt32 *types);
  // BZ_ProjDlgData.savedValidSelectedTypes = types (the flags the stage table was built for).
  void (*setSavedValidSelectedTypes)(void *refCon, UInt32 types);

  // ---- The application shell ----
  // BZ_GetAppPrefs: the application preferences (the caller releases successSound when not NULL).
  void (*getAppPrefs)(void *refCon, BZ_AppPrefs *appPrefs);
  // BZ_SetProjectMessageInLog: appends a time-stamped project message to the log.
  OSStatus (*setProjectMessageInLog)(void *refCon, CFStringRef text);
  // BZ_ShowError: shows the error (kept for the main thread when called from a task).
  void (*showError)(void *refCon, OSStatus err);

  // ---- Project start and close (main thread) ----
  // Each stands for the routine of the dialog or the shell it is named after; the plain host's versions are
  // those of a run without windows: no window is ever found, nothing is open to close, stop or redraw.
  // BZ_GetProjDlgWindow, BZ_GetPreviewWindow, BZ_GetExampleWindow: the window, NULL when not open.
  WindowRef (*getProjDlgWindow)(void *refCon);
  WindowRef (*getPreviewWindow)(void *refCon);
  WindowRef (*getExampleWindow)(void *refCon);
  // BZ_ProjDlgSaveProjSett: the dialog's settings into the project, then stored as the project
  // preferences even when reading the dialog failed; the reading's result (plain: stores them, noErr).
  OSStatus (*projDlgSaveProjSett)(void *refCon, WindowRef dialog);
  // BZ_SaveAppPrefs: stores the record as the application preferences (plain: nothing is stored).
  void (*saveAppPrefs)(void *refCon, const BZ_AppPrefs *appPrefs);
  // BZ_StopMovieAnalysis: stops a running analysis or preview calculation through the main task and, with
  // waiting, waits until it has stopped; *actuallyStopping tells whether a stop was sent (plain: none runs,
  // noErr, *actuallyStopping unchanged).
  OSStatus (*stopMovieAnalysis)(void *refCon, Boolean *actuallyStopping, Boolean waiting);
  // BZ_ClosePreview: closes the preview window.
  OSStatus (*closePreview)(void *refCon, WindowRef preview);
  // GL_SendWindowCloseEvent: closes the window through its own close handler.
  OSStatus (*sendWindowCloseEvent)(void *refCon, WindowRef window);
  // BZ_ReactivateControls: (de)activates the dialog's settings controls together.
  OSStatus (*reactivateControls)(void *refCon, WindowRef dialog, Boolean activate);
  // BZ_ReinitDialog: re-initialises the dialog for the current project.
  OSStatus (*reinitDialog)(void *refCon, WindowRef dialog);
  // BZ_ReinitProgress: resets the project's progress record and display.
  OSStatus (*reinitProgress)(void *refCon, BZ_ProjPtr project);
  // GL_SetProgressIndicatorStateByID and GL_ActivateDialogItemByID on an item of the dialog.
  OSStatus (*setProgressIndicatorStateByID)(void *refCon, WindowRef dialog, HIViewID item, Boolean determinate);
  OSStatus (*activateDialogItemByID)(void *refCon, WindowRef dialog, HIViewID item, Boolean activate);
  // BZ_SaveOutlierEditListFinalDontAsk: saves the outlier edits without asking (plain: none are kept).
  OSStatus (*saveOutlierEditListFinalDontAsk)(void *refCon, BZ_OuDlgTaskData *ouDlgTaskData);
  // BZ_SetProjectInfoInLog: the project's files, location and settings into the log (plain: nothing).
  OSStatus (*setProjectInfoInLog)(void *refCon, BZ_ProjPtr project);

  // ---- Closing, saving, export and sound copy (main thread) ----
  // The progress items of the project dialog (signature 'Orl1'): the bar 2082's value and maximum (the plain
  // host has no bar: both 0), its new value, and the texts of 2083 (state) and 2084 (rates).
  OSStatus (*getProgressBar)(void *refCon, SInt32 *value, SInt32 *maximum);
  void (*setProgressBarValue)(void *refCon, SInt32 value);
  void (*setProgressText)(void *refCon, SInt32 item, CFStringRef text);
  // BZ_AdjustDVSettingsToInputMovie: adapts DV export settings to the input movie (plain: unchanged).
  void (*adjustDVSettingsToInputMovie)(void *refCon, BZ_ProjInfo *projInfo, QTAtomContainer exportSett);
  // BZ_DisposePersistentPreviewData (plain: nothing to free).
  void (*disposePersistentPreviewData)(void *refCon);
  // BZ_DisposeStaticMovieInfo of a source (plain: frees the time list, track list and track clip the
  // record owns and clears it).
  void (*disposeStaticMovieInfo)(void *refCon, BZ_StatMovInfo *statMovInfo, SInt32 fileNum);

  // ---- The preview's outlier editing ----
  // BZ_GetPreviewDataPtr: the preview's data (borrowed), NULL when there is none (plain: NULL).
  BZ_PreviewData *(*getPreviewDataPtr)(void *refCon);
  // BZ_GetEditingOutliers: whether the user edits outliers in the preview (plain: false).
  Boolean (*getEditingOutliers)(void *refCon);
  // Asks "Save changes to speck list?" (main thread); *discard is set when the user chose "Discard". The
  // question's status (plain: saves without asking, noErr).
  OSStatus (*askSaveOutlierEdits)(void *refCon, Boolean *discard);
  // Plays the alert sound: an edit in the preview found nothing to change (plain: nothing).
  void (*playAlertSound)(void *refCon);

  // ---- Alerts and the progress frame ----
  // DI_StandardAlertOneButton (main thread): a one-button alert of alertType (the toolbox's AlertType: 0 stop,
  // 1 note, 2 caution, 3 plain) with the default button's title (NULL: the standard "OK"), the message and the
  // explanation (may be NULL), closing by itself after secondsToWait seconds (0: only by the button); the
  // alert's failure. The plain host prints the texts and returns 0.
  OSStatus (*standardAlertOneButton)(void *refCon, SInt16 alertType, CFStringRef defaultButtonTitle,
                                     CFStringRef message, CFStringRef explanation, SInt32 secondsToWait);
  // Whether progress frames are shown at all: when true, a frame handed in through custom event 2003 is
  // always answered on the main thread by kBZ_DisplayDecompressDoneFlag on the handing stage's event. The
  // plain host, with no window, shows none.
  Boolean (*showsProgressFrames)(void *refCon);
};

// Installs the host (copied); NULL goes back to the plain host. Main thread, while no task runs.
void BZ_SetEngineHost(const BZ_EngineHost *host);
// The installed host (borrowed); never NULL.
const BZ_EngineHost *BZ_GetEngineHost();
// The plain host's functions, for hosts that keep some of them.
const BZ_EngineHost *BZ_GetPlainEngineHost();

// ---- Shorthands: the installed host's function of that name, called with its refCon ----

// postCustomEvent: posts custom event `kind` of class kBZ_ProjEventClass with the parameters; the failure.
OSStatus BZ_PostEngineEvent(UInt32 kind, const BZ_EventParam *params, ItemCount numParams);
// getAppPrefs for readers of the settings: the success sound is released here and left NULL.
BZ_AppPrefs BZ_GetEngineAppPrefs();
// showError.
void BZ_ShowEngineError(OSStatus err);
// setProgressText with the localised text of key (the key itself when it has none).
void BZ_SetLocalizedProgressText(SInt32 item, CFStringRef key);

// Posts the custom event through the main event queue directly (what the plain host does).
OSStatus BZ_PostProjEventToMainQueue(UInt32 kind, const BZ_EventParam *params, ItemCount numParams);

// Applied methods that can run by the settings alone: the applied ones, without averaging when no second
// source movie is known, noise reduction without horizontal and vertical filtering, and logo removal with a
// mask but no mask search (the plain host knows no mask picture). Without a first source: none.
UInt32 BZ_GetValidSelectedTypesFromSett(const BZ_StatMovInfo *statMovInfo, const BZ_CleaninSett *cleaning);
