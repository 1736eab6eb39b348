// The progress display of the project dialog.
#include "dialog/progress_display.h"

#include "dialog/project_dialog.h"
#include "engine/runtime/engine_host.h"
#include "engine/runtime/frame_selection.h"

OSStatus BZ_ReinitProgress(BZ_ProjPtr project) {
  if (project == nullptr) return paramErr;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  WindowRef dialog = host->getProjDlgWindow(host->refCon);
  if (dialog == nullptr) return noErr;
  GL_ProgrData &progress = project->progress;
  progress.compStartupDate = gBZ.compStartupDate;
  progress.savedEndTime = 0;
  progress.prevTime = 0;
  progress.savedCount = 0;
  progress.savedCountForRate = 0;
  progress.count = 0;
  progress.savedPercWorkDone = 0;
  progress.percWorkDoneAtPrevTime = 0;
  progress.numParts = BZ_GetNumSelectedMovieSamples();
  progress.window = dialog;
  progress.standAloneWindow = false;
  progress.progrBarID = HIViewID{kBZ_DialogItemSignature, kBZ_ProgressBarItem};
  progress.progrBarTitleID = HIViewID{kBZ_DialogItemSignature, kBZ_ProgressStateTextItem};
  progress.rateID = HIViewID{kBZ_DialogItemSignature, kBZ_ProgressRateTextItem};
  progress.shown = true;  // the first frame may be shown once the timer has run

  // The frame view is built for the input's cropping and interlacing; the display rebuilds it when they
  // changed, so they are remembered here.
  BZ_ProjDlgState *dlgState = host->getDialogStatePtr(host->refCon);
  const BZ_InputSett &input = project->info.settings.input;
  if (dlgState != nullptr) {
    dlgState->savedCropping = input.cropping;
    dlgState->savedCropRect = input.cropRect;
    dlgState->savedInterlaced = input.interlaced;
  }
  return noErr;
}

OSStatus BZ_UpdateProgressBar() { return noErr; }
OSStatus BZ_StartCancelProject(WindowRef) { return noErr; }
OSStatus BZ_InstallProgressFrameHandler(WindowRef) { return noErr; }

OSStatus BZ_BeginProgressDecompressSequence(WindowRef, BZ_ProjPtr) { return noErr; }
