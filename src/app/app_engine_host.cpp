// The application's engine host.
#include "app/app_engine_host.h"

#include "app/app_preferences.h"
#include "app/log_contents.h"
#include "app/window_lookup.h"
#include "dialog/method_types.h"
#include "dialog/output_tab.h"
#include "dialog/preview_window.h"
#include "dialog/progress_display.h"
#include "dialog/project_dialog.h"
#include "dialog/run_control.h"
#include "dialog/settings_transfer.h"
#include "dialog/static_movie_info.h"
#include "engine/runtime/engine_host.h"
#include "outliers/outlier_edit_lists.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/standard_alerts.h"
#include "toolkit/dialog_items.h"
#include "toolkit/edit_text_alerts.h"
#include "toolkit/windows.h"

namespace {

WindowRef GetProjDlgWindow(void *) { return BZ_GetProjDlgWindow(); }
// Before the dialog opens (and after it closes) the engine still asks: it gets a state of its own.
BZ_ProjDlgState *GetDialogStatePtr(void *) {
  static BZ_ProjDlgState withoutDialog{};
  BZ_ProjDlgState *state = BZ_GetDialogStatePtr();
  return state != nullptr ? state : &withoutDialog;
}
OSStatus GetValidSelectedProcessTypes(void *, const BZ_CleaninSett *cleaning, UInt32 *types) {
  return BZ_GetValidSelectedProcessTypes(cleaning, types);
}
void SetSavedValidSelectedTypes(void *, UInt32 types) {
  if (gBZ.dlgData != nullptr) gBZ.dlgData->savedValidSelectedTypes = types;
}
WindowRef GetPreviewWindow(void *) { return BZ_GetPreviewWindow(); }
WindowRef GetExampleWindow(void *) { return BZ_GetExampleWindow(); }
Boolean PreviewWindowExists(void *) { return BZ_GetPreviewWindow() != nullptr; }
Boolean PreviewCalcDeferred(void *) { return gBZ.dlgData != nullptr && gBZ.dlgData->previewData.previewCalcDeferred; }
MPCriticalRegionID GetPreviewCritRgn(void *) {
  return gBZ.dlgData != nullptr ? gBZ.dlgData->previewData.critRgn : nullptr;
}
UInt32 GetAutoSettStage(void *) { return BZ_GetAutoSettStage(gBZ.dlgData); }
void SetAutoSettCalculated(void *) { BZ_SetAutoSettCalculated(gBZ.dlgData); }
void GetAppPrefs(void *, BZ_AppPrefs *prefs) { BZ_GetAppPrefs(prefs); }
void SaveAppPrefs(void *, const BZ_AppPrefs *prefs) { BZ_SaveAppPrefs(prefs); }
OSStatus ProjDlgSaveProjSett(void *, WindowRef dialog) { return BZ_ProjDlgSaveProjSett(dialog); }
OSStatus StopMovieAnalysis(void *, Boolean *actuallyStopping, Boolean waiting) {
  const BZ_EngineHost *host = BZ_GetEngineHost();
  return BZ_StopMovieAnalysis(host->getDialogStatePtr(host->refCon), actuallyStopping, waiting);
}
OSStatus ClosePreview(void *, WindowRef preview) { return BZ_ClosePreview(preview); }
BZ_PreviewData *GetPreviewDataPtr(void *) { return gBZ.dlgData != nullptr ? &gBZ.dlgData->previewData : nullptr; }
SInt32 GetPreviewFrameNum(void *) {
  const BZ_PreviewData *preview = GetPreviewDataPtr(nullptr);
  return preview != nullptr ? preview->frameNum : 0;
}
OSStatus FreezePreview(void *, Boolean freeze) { return BZ_FreezePreview(freeze); }
void DisposePersistentPreviewData(void *) { BZ_DisposePersistentPreviewData(GetPreviewDataPtr(nullptr)); }
OSStatus SendWindowCloseEvent(void *, WindowRef window) { return GL_SendWindowCloseEvent(window); }
OSStatus ReactivateControls(void *, WindowRef dialog, Boolean activate) {
  return BZ_ReactivateControls(dialog, activate);
}
OSStatus ReinitDialog(void *, WindowRef dialog) { return BZ_ReinitDialog(dialog); }
OSStatus ReinitProgress(void *, BZ_ProjPtr project) { return BZ_ReinitProgress(project); }
OSStatus SetProjectInfoInLog(void *, BZ_ProjPtr project) { return BZ_SetProjectInfoInLog(project); }
OSStatus SetProjectMessageInLog(void *, CFStringRef text) { return BZ_SetProjectMessageInLog(text); }
OSStatus SaveOutlierEditListFinalDontAsk(void *, BZ_OuDlgTaskData *ouDlgTaskData) {
  // Without the outlier record (not made yet) no edits are kept.
  return ouDlgTaskData != nullptr ? BZ_SaveOutlierEditListFinalDontAsk(ouDlgTaskData) : OSStatus(noErr);
}

// Without a project dialog there is no item to change.
OSStatus SetProgressIndicatorStateByID(void *, WindowRef dialog, HIViewID item, Boolean determinate) {
  return dialog != nullptr ? GL_SetProgressIndicatorStateByID(dialog, item, determinate) : OSStatus(noErr);
}
OSStatus ActivateDialogItemByID(void *, WindowRef dialog, HIViewID item, Boolean activate) {
  return dialog != nullptr ? GL_ActivateDialogItemByID(dialog, item, activate) : OSStatus(noErr);
}
OSStatus StandardAlertOneButton(void *, SInt16 alertType, CFStringRef defaultButtonTitle, CFStringRef message,
                                CFStringRef explanation, SInt32 secondsToWait) {
  return DI_StandardAlertOneButton(AlertType(alertType), defaultButtonTitle, message, explanation, secondsToWait);
}
void PlayAlertSound(void *) { AlertSoundPlay(); }
// Every frame handed in is answered by the progress display (BZ_HandleShowProgressFrame).
Boolean ShowsProgressFrames(void *) { return true; }
void AdjustDVSettingsToInputMovie(void *, BZ_ProjInfo *projInfo, QTAtomContainer exportSett) {
  BZ_AdjustDVSettingsToInputMovie(projInfo, exportSett);
}
// The project's own records go through the dialog's disposal (movie, poster and its well included).
void DisposeStaticMovieInfo(void *, BZ_StatMovInfo *statMovInfo, SInt32 fileNum) {
  if (gBZ.project != nullptr && statMovInfo == gBZ.project->info.statMovInfo) {
    BZ_DisposeStaticMovieInfo(BZ_GetProjDlgWindow(), fileNum);
    return;
  }
  const BZ_EngineHost *plain = BZ_GetPlainEngineHost();
  plain->disposeStaticMovieInfo(plain->refCon, statMovInfo, fileNum);
}
// The speck list has changes: save them (the default button, also after 10 seconds) or discard them.
OSStatus AskSaveOutlierEdits(void *, Boolean *discard) {
  auto localized = [](CFStringRef key) {
    return PL_CFScoped<CFStringRef>(CFBundleCopyLocalizedString(CFBundleGetMainBundle(), key, key, nullptr));
  };
  auto discardTitle = localized(CFSTR("Discard"));
  auto message = localized(CFSTR("Save changes to speck list?"));
  auto explanation = localized(CFSTR("Changes are saved to a .kbzoel file"));
  DialogItemIndex itemHit = 0;
  OSStatus err = DI_StandardAlertTwoButtons(nullptr, discardTitle.get(), message.get(), explanation.get(), 10, &itemHit);
  if (discard != nullptr) *discard = err == noErr && itemHit == kAlertStdAlertCancelButton;
  return err;
}

}  // namespace

void BZ_InstallAppEngineHost() {
  BZ_EngineHost host{};
  host.getProjDlgWindow = GetProjDlgWindow;
  host.getDialogStatePtr = GetDialogStatePtr;
  host.getValidSelectedProcessTypes = GetValidSelectedProcessTypes;
  host.setSavedValidSelectedTypes = SetSavedValidSelectedTypes;
  host.getPreviewWindow = GetPreviewWindow;
  host.getExampleWindow = GetExampleWindow;
  host.previewWindowExists = PreviewWindowExists;
  host.previewCalcDeferred = PreviewCalcDeferred;
  host.getPreviewCritRgn = GetPreviewCritRgn;
  host.getAutoSettStage = GetAutoSettStage;
  host.setAutoSettCalculated = SetAutoSettCalculated;
  host.getAppPrefs = GetAppPrefs;
  host.saveAppPrefs = SaveAppPrefs;
  host.projDlgSaveProjSett = ProjDlgSaveProjSett;
  host.stopMovieAnalysis = StopMovieAnalysis;
  host.closePreview = ClosePreview;
  host.getPreviewDataPtr = GetPreviewDataPtr;
  host.getPreviewFrameNum = GetPreviewFrameNum;
  host.freezePreview = FreezePreview;
  host.disposePersistentPreviewData = DisposePersistentPreviewData;
  host.sendWindowCloseEvent = SendWindowCloseEvent;
  host.reactivateControls = ReactivateControls;
  host.reinitDialog = ReinitDialog;
  host.reinitProgress = ReinitProgress;
  host.setProjectInfoInLog = SetProjectInfoInLog;
  host.setProjectMessageInLog = SetProjectMessageInLog;
  host.saveOutlierEditListFinalDontAsk = SaveOutlierEditListFinalDontAsk;
  host.setProgressIndicatorStateByID = SetProgressIndicatorStateByID;
  host.activateDialogItemByID = ActivateDialogItemByID;
  host.standardAlertOneButton = StandardAlertOneButton;
  host.playAlertSound = PlayAlertSound;
  host.showsProgressFrames = ShowsProgressFrames;
  host.askSaveOutlierEdits = AskSaveOutlierEdits;
  host.adjustDVSettingsToInputMovie = AdjustDVSettingsToInputMovie;
  host.disposeStaticMovieInfo = DisposeStaticMovieInfo;
  BZ_SetEngineHost(&host);
}
