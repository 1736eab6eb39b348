// The project dialog window: opening and initialising it, the handler of its window and control events, the
// dispatch of every control hit, the pass over dependent items that follows each hit, the Start button's
// activation, the texts naming the source and target files, the logo slider, the help buttons and the
// disposal at quit. Main thread only. A NULL window (no dialog open) leaves nothing to do: noErr.
#pragma once

#include "engine/runtime/dialog_items.h"
#include "engine/runtime/project_types.h"
#include "outliers/preview_data.h"
#include "platform/core/controls.h"
#include "platform/core/event_loop.h"
#include "platform/core/quickdraw_ports.h"
#include "toolkit/drag_handlers.h"

#include <atomic>

// Items of the project dialog (signature 'Orl1'); those the engine uses too are in dialog_items.h.
enum : SInt32 {
  kBZ_StartButtonItem = 2000,
  kBZ_CancelButtonItem = 2001,
  kBZ_ExampleButtonItem = 2003,
  kBZ_MainTabItem = 2005,   // 1 Input, 2 Process, 3 Output; the panes are 2006 to 2008
  kBZ_InputPaneItem = 2006,
  kBZ_CropRectItem = 2038,  // top; left, bottom and right follow
  kBZ_MethodTabItem = 2050,  // 1 averaging ... 6 outliers; the panes are 2051 to 2056
  kBZ_NoiseSpectrumItem = 2181,
  kBZ_LogoUniformityItem = 2321,
};

// The project dialog's data: kept in gBZ.dlgData and in the window's reference record for the life of the
// window. The fields that pipeline tasks write are atomic. The logo mask state is the logo method's
// (rlDlgTaskData); the dialog keeps no copy of it.
struct BZ_ProjDlgData {
  BZ_ProjPtr project = nullptr;
  BZ_PreviewData previewData{};
  BZ_ProjDlgState state{};
  SInt16 itemHit = 0;  // the item whose change caused the pending run
  EventLoopTimerRef movieAnalysisTimer = nullptr;
  std::atomic<UInt32> autoSettCalc{0};        // automatic-settings stages wanted
  std::atomic<UInt32> autoSettCalculated{0};  // stages done in this analysis
  std::atomic<UInt32> savedValidSelectedTypes{0};  // the flags the stage table was last built for
  float savedFloatEtiValue = 0;
  SInt32 savedIntEtiValue = 0;
  EventHandlerRef imageWellEvHandler = nullptr, maskWellEvHandler = nullptr, textViewEvHandler = nullptr;
  BZ_RlDlgTaskData *rlDlgTaskData = nullptr;  // borrowed: the logo mask state of the logo method
  DR_ReceiveData receiveData{};  // movie and folder drops (movie_drop.h)
};

// Opens the project dialog at start-up: a zeroed reference record with ID 1, the window "New Project Dialog"
// of the application's nib, initialised, placed at its saved location, its event handler installed, pending
// key-downs flushed, selected and shown. The first failure; a window made before it is disposed of.
OSStatus BZ_OpenProjectDialog();
// Makes the dialog's data, groups items into panes, installs the edit-text filters, timers and control
// actions, loads the settings, re-initialises the dialog and sets up the applied-methods text. The first
// failure.
OSStatus BZ_InitProjectDialog(WindowRef window);
// The crop, noise and logo item groups put into their panes.
OSStatus BZ_EmbedProjDlgItems(WindowRef window);
// The edit-text check timer and the movie-analysis timer, both dormant, the window as data.
OSStatus BZ_ProjDlgInstallTimers(WindowRef window);
// The slider's live action on 2320 and the little arrows' action with their text items.
OSStatus BZ_InstallProjDlgControlActions(WindowRef window);
// The outlier part of the preview data.
void BZ_InitDlgPreviewData(BZ_PreviewData *previewData);
// The applied-methods view 2004: small centred read-only text that never takes the keyboard focus.
OSStatus BZ_InitAppliedCleanMethodsHIView(WindowRef window);
OSStatus BZ_AppliedCleanMethodsHIViewEventHandler(EventHandlerCallRef callRef, EventRef event, void *data);

// The window's handler (window activated and deactivated, control hit; the window as data): activation
// disables the menu command 'MDtF' (bring the project dialog to the front) of menu 2003, deactivation enables
// it; a hit of an 'Orl1' control is handled and a failure other than a cancel shown once. Always
// eventNotHandledErr, so that the standard handling goes on.
OSStatus BZ_ProjDlgEventHandler(EventHandlerCallRef callRef, EventRef event, void *window);
// One control hit (see the dialog's hit rules): marks its group for update, dispatches it and runs the
// dependent items and the Start activation after it. The first failure.
OSStatus BZ_HandleProjDlgControlHit(WindowRef window, HIViewID *controlID);
// Tabs show their pane; 2033, 2073, 2156, 2164 and 2329 activate their embedded items.
OSStatus BZ_HandleItemHitSimple(WindowRef window, const HIViewID *controlID);
// The settings-update bit of the item's group: input 1, output 128, averaging 2 ... outliers 64.
void BZ_MarkForUpdate(BZ_ProjDlgState *state, SInt32 itemHit);
// The pass over the items that depend on the last hit; with getSettings the dialog is read first and the
// changed settings written back.
OSStatus BZ_ProjDlgHandleDependentItems(WindowRef window, Boolean getSettings);
// The dependent items at start: the pass for each item that has dependants, without reading settings.
OSStatus BZ_ProjDlgInitDependentItems(WindowRef window);
// Start (2000) is active when the first source movie is valid, the result movie chosen, the noise movie chosen
// when one is to be made, and a method can run; only while the project is ready, analysing or previewing.
OSStatus BZ_ProjDlgActivateOKButton(WindowRef window);
// The noise spectrum 2181 is opaque while the application is in front and half transparent behind.
OSStatus BZ_ProjDlgHandleAppActivate(WindowRef window);

// Item 2021 (file 0) or 2100 (file 1): "BZ Process file" name "BZ in folder" folder "BZ on volume" volume ",
// or "BZ Movie name & location" without a valid file.
OSStatus BZ_SetSourceFileName(WindowRef window, SInt32 fileNum);
// Item 2071 (files 0 and 2) or 2075 (file 1), for an existing or a chosen file; marks the output settings
// for update.
OSStatus BZ_SetTargetFileName(WindowRef window, SInt32 fileNum);
// The suggested result name: the source's name without its extension (an ending of at most 6 characters)
// and " proj", or "BZ New project" without a source, followed by the output's extension.
OSStatus BZ_SuggestOutName(const FSRef *srcFile, HFSUniStr255 *targetName);
// The result chooser (2072): starts in the result's folder, else the default output folder, with the chosen
// or a suggested name; a chosen existing file is then replaced or renamed (BZ_CheckForExistingFile); a cancel
// clears the choice (noErr).
OSStatus BZ_PutTargetFile(WindowRef window);
// The noise chooser (2076): "<source> nm.mov" offered in the result's folder; a cancel clears the choice
// (noErr). Marks the output settings for update.
OSStatus BZ_PutNoiseFile(WindowRef window);
// The chosen name in the chosen folder: nothing to do when no such file exists; otherwise the file is
// replaced when the user agrees (or agreed in the chooser), else the result gets a numbered name. A source
// movie is never replaced, and an unanswered question replaces nothing.
OSStatus BZ_CheckForExistingFile(BZ_TargetFileData *targetFileData);
// A target file counts as chosen when it exists, or when its name has at least 3 characters in a valid folder.
Boolean BZ_TargetFileChosen(const BZ_TargetFileData *target);

// The logo slider's live action: 2320 at v writes 0.6 + v / 250 into 2321 and clears its edited mark.
void BZ_SliderProc(ControlRef slider, ControlPartCode part);
Boolean BZ_IsDlgHelpButton(SInt32 itemHit);
// Opens the pane's help page in the help book ("" for an item without one).
OSStatus BZ_HandleDlgHelpButtonHit(SInt32 id);

// The method tab (1 averaging, 2 noise, 3 logo, 4 cross-luma, 5 varying brightness, 6 outliers) to show
// for the applied methods: noise reduction when it is applied, else the first applied of averaging, logo,
// cross-luma, varying brightness and outliers, else noise reduction.
SInt32 BZ_GetMethodTabForCleaningSett(const BZ_CleaninSett *cleaning);
// Re-initialises the dialog for the current project: file names, the Input tab and the method tab of the
// applied methods shown, the controls reactivated, the dependent items, progress and measured values reset.
// The first failure.
OSStatus BZ_ReinitDialog(WindowRef window);
// The Input pane 2006, the output controls and the method panes 2051 to 2056 follow `activate`; the bottom
// buttons are set for processing when not `activate`. The first failure.
OSStatus BZ_ReactivateControls(WindowRef window, Boolean activate);

// At quit: removes the timers and handlers, saves the window's position into its slot and disposes of the
// window, its data and its reference record. The reference record's error (NULL window: nothing).
OSStatus BZ_DisposeDialog();
// Removes the dialog's timers.
void BZ_DisposeTimers(WindowRef window);
