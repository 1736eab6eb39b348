// The status window: a small floating window telling in one to three lines what the application is doing
// (ready, analysing, previewing, processing, opening a movie, preparing the noise tables, quitting). It is
// redrawn by the one-second timer only when the status changed, and the user cannot close it.
// Main thread only, except the flag setters, which any task may call.
#pragma once

#include "platform/core/controls.h"
#include "platform/core/event_loop.h"
#include "platform/core/mac_errors.h"
#include "platform/core/mac_types.h"
#include "platform/ui/window_manager.h"

#include <atomic>

enum BZ_Status : SInt32 {
  kBZ_StatusReady = 0,
  kBZ_StatusAnalyzing = 1,
  kBZ_StatusMakingRandomNoiseTables = 2,
  kBZ_StatusPreviewing = 3,
  kBZ_Processing = 4,
  kBZ_OpeningMovie = 5,
  kBZ_ConnectingToServer = 6,
  kBZ_Quitting = 7,
  kBZ_StartingupProject = 8,
};
enum BZ_SubStatus : SInt32 { kBZ_SubStatusMain = 0, kBZ_SubStatusCalcPreview = 1, kBZ_SubStatusCalcAutosett = 2 };

struct BZ_ActualStatus {
  SInt32 numProjects;
  std::atomic<Boolean> connectingToServer;
  std::atomic<Boolean> openingMovie;
  Boolean quitting;
  std::atomic<Boolean> makingRandomNoiseTables;
};

struct BZ_StatusData {
  BZ_ActualStatus actualStatus;
  BZ_Status savedStatus;  // the one drawn last; -1 forces a redraw
  BZ_SubStatus savedSubStatus;
};

// The reference record of the application's plain windows (only window, type, textView and data are used).
struct BZ_WindowData {
  WindowRef window;
  OSType creator;
  OSType type;  // 'STTU' for the status window
  void *alias;
  void *fileRef;
  SInt16 dataForkID;
  void *teHandle;
  ControlRef textView;
  BZ_StatusData *data;
};

OSStatus BZ_CreateStatusWindow(Point savedLoc);
OSStatus BZ_InitStatusWindow(WindowRef window);
OSStatus BZ_StatusWindowEventHandler(EventHandlerCallRef callRef, EventRef event, void *userData);
// The status now, from the running projects, the project's state and the flags, highest first: noise
// tables, opening a movie, connecting, quitting, then processing, analysing, previewing or ready.
BZ_Status BZ_GetStatus(BZ_ActualStatus *actualStatus, BZ_SubStatus *subStatus);
// Redraws the status when it changed (always with `always`).
OSStatus BZ_UpdateStatus(Boolean always);
// The next update draws whatever the status.
void BZ_ForceStatusUpdate();
// Draws the status's text (localised) into the window.
OSStatus BZ_SetStatusStringNew(BZ_Status status, BZ_SubStatus subStatus);
// The older form with fixed English texts.
OSStatus BZ_SetStatusString(BZ_Status status, BZ_SubStatus subStatus);
void BZ_SetConnectingToServer(Boolean flag);
void BZ_SetOpeningMovie(Boolean flag);
// Stores the window's place (slot 4) and disposes it.
OSStatus BZ_DisposeStatusWindow();
// The flags the status reads, also without a window (the status window's data when there is one).
BZ_ActualStatus *BZ_GetActualStatus();
// Until the engine's noise-tables flag is here, the status keeps its own; the noise-tables task sets it.
void BZ_StatusSetMakingRandomNoiseTables(Boolean flag);
