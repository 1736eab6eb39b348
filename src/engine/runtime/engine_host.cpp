// The engine's host: the installed record of the shell's and the dialog's routines, and the plain one.
#include "engine/runtime/engine_host.h"

#include "general/memory_lists.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_string.h"
#include "platform/core/event_loop.h"

#include <cstdio>

namespace {

BZ_ProjDlgState gPlainDialogState;

OSStatus PlainPostCustomEvent(void *, UInt32 kind, const BZ_EventParam *params, ItemCount numParams) {
  return BZ_PostProjEventToMainQueue(kind, params, numParams);
}
BZ_ProjDlgState *PlainGetDialogStatePtr(void *) { return &gPlainDialogState; }
UInt32 PlainGetAutoSettStage(void *) { return 0; }
void PlainSetAutoSettCalculated(void *) {}
OSStatus PlainFreezePreview(void *, Boolean) { return noErr; }
Boolean PlainPreviewWindowExists(void *) { return false; }
MPCriticalRegionID PlainGetPreviewCritRgn(void *) { return nullptr; }
Boolean PlainPreviewCalcDeferred(void *) { return false; }
SInt32 PlainGetLastCropEdgeMove(void *) { return 0; }
SInt32 PlainGetPreviewFrameNum(void *) { return 0; }
OSStatus PlainGetValidSelectedProcessTypes(void *, const BZ_CleaninSett *cleaning, UInt32 *types) {
  if (types == nullptr) return paramErr;
  *types = BZ_GetValidSelectedTypesFromSett(BZ_GetStaticMovieInfoPtr(), cleaning);
  return noErr;
}
void PlainSetSavedValidSelectedTypes(void *, UInt32) {}

void PlainGetAppPrefs(void *, BZ_AppPrefs *appPrefs) {
  if (appPrefs == nullptr) return;
  const FSRef folder = appPrefs->prevOutputFolder;
  *appPrefs = BZ_AppPrefs{};
  appPrefs->copySound = true;
  appPrefs->successSound = static_cast<CFStringRef>(CFRetain(CFSTR("Hero")));
  appPrefs->maxIRE = 120;
  appPrefs->outputFolderOption = 3;
  appPrefs->prevOutputFolder = folder;
}

OSStatus PlainSetProjectMessageInLog(void *, CFStringRef text) {
  if (text == nullptr) return paramErr;
  char line[1024];
  if (!CFStringGetCString(text, line, sizeof line, kCFStringEncodingUTF8)) return paramErr;
  std::printf("KBZ: %s\n", line);
  return noErr;
}

void PlainShowError(void *, OSStatus err) { std::printf("KBZ: error # %ld\n", long(err)); }

WindowRef PlainGetWindow(void *) { return nullptr; }
// Without a dialog only the settings are kept.
OSStatus PlainProjDlgSaveProjSett(void *, WindowRef) {
  if (gBZ.project != nullptr) BZ_SaveProjSett(&gBZ.project->info.settings);
  return noErr;
}
void PlainSaveAppPrefs(void *, const BZ_AppPrefs *) {}
OSStatus PlainStopMovieAnalysis(void *, Boolean *, Boolean) { return noErr; }
OSStatus PlainWindowStep(void *, WindowRef) { return noErr; }
OSStatus PlainReactivateControls(void *, WindowRef, Boolean) { return noErr; }
OSStatus PlainProjectStep(void *, BZ_ProjPtr) { return noErr; }
OSStatus PlainItemState(void *, WindowRef, HIViewID, Boolean) { return noErr; }
OSStatus PlainSaveOutlierEditListFinalDontAsk(void *, BZ_OuDlgTaskData *) { return noErr; }

OSStatus PlainGetProgressBar(void *, SInt32 *value, SInt32 *maximum) {
  if (value != nullptr) *value = 0;
  if (maximum != nullptr) *maximum = 0;
  return noErr;
}
void PlainSetProgressBarValue(void *, SInt32) {}
void PlainSetProgressText(void *, SInt32, CFStringRef) {}
void PlainAdjustDVSettingsToInputMovie(void *, BZ_ProjInfo *, QTAtomContainer) {}
void PlainDisposePersistentPreviewData(void *) {}
void PlainDisposeStaticMovieInfo(void *, BZ_StatMovInfo *statMovInfo, SInt32 fileNum) {
  if (statMovInfo == nullptr || fileNum < 0 || fileNum >= kBZ_MaxNumFiles) return;
  BZ_StatMovInfo &info = statMovInfo[fileNum];
  if (info.timeList != nullptr) GL_DisposePtr(&info.timeList);
  if (info.trackList != nullptr) LL_DisposeLinkedList(&info.trackList);
  if (info.trackClip != nullptr) DisposeRgn(info.trackClip);
  if (info.movieClip != nullptr) DisposeRgn(info.movieClip);
  info = BZ_StatMovInfo{};
}

BZ_PreviewData *PlainGetPreviewDataPtr(void *) { return nullptr; }
Boolean PlainGetEditingOutliers(void *) { return false; }
OSStatus PlainAskSaveOutlierEdits(void *, Boolean *discard) {
  if (discard != nullptr) *discard = false;
  return noErr;
}

void PlainPlayAlertSound(void *) {}

void PrintText(const char *label, CFStringRef text) {
  if (text == nullptr) return;
  char line[1024];
  if (CFStringGetCString(text, line, sizeof line, kCFStringEncodingUTF8)) std::printf("KBZ: %s%s\n", label, line);
}

// Without a window the alert goes to standard output and counts as answered.
OSStatus PlainStandardAlertOneButton(void *, SInt16, CFStringRef, CFStringRef message, CFStringRef explanation,
                                     SInt32) {
  PrintText("alert: ", message);
  PrintText("       ", explanation);
  return noErr;
}

Boolean PlainShowsProgressFrames(void *) { return false; }

const BZ_EngineHost kPlainHost = {
    nullptr,
    PlainPostCustomEvent,
    PlainGetDialogStatePtr,
    PlainGetAutoSettStage,
    PlainSetAutoSettCalculated,
    PlainFreezePreview,
    PlainPreviewWindowExists,
    PlainGetPreviewCritRgn,
    PlainPreviewCalcDeferred,
    PlainGetLastCropEdgeMove,
    PlainGetPreviewFrameNum,
    PlainGetValidSelectedProcessTypes,
    PlainSetSavedValidSelectedTypes,
    PlainGetAppPrefs,
    PlainSetProjectMessageInLog,
    PlainShowError,
    PlainGetWindow,
    PlainGetWindow,
    PlainGetWindow,
    PlainProjDlgSaveProjSett,
    PlainSaveAppPrefs,
    PlainStopMovieAnalysis,
    PlainWindowStep,
    PlainWindowStep,
    PlainReactivateControls,
    PlainWindowStep,
    PlainProjectStep,
    PlainItemState,
    PlainItemState,
    PlainSaveOutlierEditListFinalDontAsk,
    PlainProjectStep,
    PlainGetProgressBar,
    PlainSetProgressBarValue,
    PlainSetProgressText,
    PlainAdjustDVSettingsToInputMovie,
    PlainDisposePersistentPreviewData,
    PlainDisposeStaticMovieInfo,
    PlainGetPreviewDataPtr,
    PlainGetEditingOutliers,
    PlainAskSaveOutlierEdits,
    PlainPlayAlertSound,
    PlainStandardAlertOneButton,
    PlainShowsProgressFrames,
};

BZ_EngineHost gHost = kPlainHost;

template <class F>
void Fill(F &field, F plain) {
  if (field == nullptr) field = plain;
}

}  // namespace

void BZ_SetEngineHost(const BZ_EngineHost *host) {
  if (host == nullptr) {
    gHost = kPlainHost;
    return;
  }
  BZ_EngineHost h = *host;
  // A host may leave out what it has no own answer to.
  Fill(h.postCustomEvent, kPlainHost.postCustomEvent);
  Fill(h.getDialogStatePtr, kPlainHost.getDialogStatePtr);
  Fill(h.getAutoSettStage, kPlainHost.getAutoSettStage);
  Fill(h.setAutoSettCalculated, kPlainHost.setAutoSettCalculated);
  Fill(h.freezePreview, kPlainHost.freezePreview);
  Fill(h.previewWindowExists, kPlainHost.previewWindowExists);
  Fill(h.getPreviewCritRgn, kPlainHost.getPreviewCritRgn);
  Fill(h.previewCalcDeferred, kPlainHost.previewCalcDeferred);
  Fill(h.getLastCropEdgeMove, kPlainHost.getLastCropEdgeMove);
  Fill(h.getPreviewFrameNum, kPlainHost.getPreviewFrameNum);
  Fill(h.getValidSelectedProcessTypes, kPlainHost.getValidSelectedProcessTypes);
  Fill(h.setSavedValidSelectedTypes, kPlainHost.setSavedValidSelectedTypes);
  Fill(h.getAppPrefs, kPlainHost.getAppPrefs);
  Fill(h.setProjectMessageInLog, kPlainHost.setProjectMessageInLog);
  Fill(h.showError, kPlainHost.showError);
  Fill(h.getProjDlgWindow, kPlainHost.getProjDlgWindow);
  Fill(h.getPreviewWindow, kPlainHost.getPreviewWindow);
  Fill(h.getExampleWindow, kPlainHost.getExampleWindow);
  Fill(h.projDlgSaveProjSett, kPlainHost.projDlgSaveProjSett);
  Fill(h.saveAppPrefs, kPlainHost.saveAppPrefs);
  Fill(h.stopMovieAnalysis, kPlainHost.stopMovieAnalysis);
  Fill(h.closePreview, kPlainHost.closePreview);
  Fill(h.sendWindowCloseEvent, kPlainHost.sendWindowCloseEvent);
  Fill(h.reactivateControls, kPlainHost.reactivateControls);
  Fill(h.reinitDialog, kPlainHost.reinitDialog);
  Fill(h.reinitProgress, kPlainHost.reinitProgress);
  Fill(h.setProgressIndicatorStateByID, kPlainHost.setProgressIndicatorStateByID);
  Fill(h.activateDialogItemByID, kPlainHost.activateDialogItemByID);
  Fill(h.saveOutlierEditListFinalDontAsk, kPlainHost.saveOutlierEditListFinalDontAsk);
  Fill(h.setProjectInfoInLog, kPlainHost.setProjectInfoInLog);
  Fill(h.getProgressBar, kPlainHost.getProgressBar);
  Fill(h.setProgressBarValue, kPlainHost.setProgressBarValue);
  Fill(h.setProgressText, kPlainHost.setProgressText);
  Fill(h.adjustDVSettingsToInputMovie, kPlainHost.adjustDVSettingsToInputMovie);
  Fill(h.disposePersistentPreviewData, kPlainHost.disposePersistentPreviewData);
  Fill(h.disposeStaticMovieInfo, kPlainHost.disposeStaticMovieInfo);
  Fill(h.getPreviewDataPtr, kPlainHost.getPreviewDataPtr);
  Fill(h.getEditingOutliers, kPlainHost.getEditingOutliers);
  Fill(h.askSaveOutlierEdits, kPlainHost.askSaveOutlierEdits);
  Fill(h.playAlertSound, kPlainHost.playAlertSound);
  Fill(h.standardAlertOneButton, kPlainHost.standardAlertOneButton);
  Fill(h.showsProgressFrames, kPlainHost.showsProgressFrames);
  gHost = h;
}

const BZ_EngineHost *BZ_GetEngineHost() { return &gHost; }

const BZ_EngineHost *BZ_GetPlainEngineHost() { return &kPlainHost; }

OSStatus BZ_PostEngineEvent(UInt32 kind, const BZ_EventParam *params, ItemCount numParams) {
  return gHost.postCustomEvent(gHost.refCon, kind, params, numParams);
}

BZ_AppPrefs BZ_GetEngineAppPrefs() {
  BZ_AppPrefs prefs{};
  gHost.getAppPrefs(gHost.refCon, &prefs);
  if (prefs.successSound != nullptr) CFRelease(prefs.successSound);
  prefs.successSound = nullptr;
  return prefs;
}

void BZ_ShowEngineError(OSStatus err) { gHost.showError(gHost.refCon, err); }

void BZ_SetLocalizedProgressText(SInt32 item, CFStringRef key) {
  CFStringRef text = CFBundleCopyLocalizedString(CFBundleGetMainBundle(), key, key, nullptr);
  gHost.setProgressText(gHost.refCon, item, text != nullptr ? text : key);
  if (text != nullptr) CFRelease(text);
}

OSStatus BZ_PostProjEventToMainQueue(UInt32 kind, const BZ_EventParam *params, ItemCount numParams) {
  if (numParams > 0 && params == nullptr) return paramErr;
  EventRef event = nullptr;
  OSStatus err = CreateEvent(nullptr, kBZ_ProjEventClass, kind, 0, kEventAttributeNone, &event);
  if (err != noErr) return err;
  for (ItemCount i = 0; i < numParams && err == noErr; ++i)
    err = SetEventParameter(event, params[i].name, params[i].name, params[i].size, params[i].data);
  if (err == noErr) err = PostEventToQueue(GetMainEventQueue(), event, kEventPriorityStandard);
  ReleaseEvent(event);
  return err;
}

UInt32 BZ_GetValidSelectedTypesFromSett(const BZ_StatMovInfo *statMovInfo, const BZ_CleaninSett *cleaning) {
  if (cleaning == nullptr || statMovInfo == nullptr || statMovInfo[0].cType == 0) return 0;
  UInt32 types = 0;
  if (cleaning->average.apply && statMovInfo[1].cType != 0) types |= kBZ_AverageTypeFlag;
  if (cleaning->noiseRed.apply && (cleaning->noiseRed.horizontal || cleaning->noiseRed.vertical))
    types |= kBZ_NoiseRedTypeFlag;
  if (cleaning->removeLogo.apply &&
      (cleaning->removeLogo.mode != kBZ_LogoModeUseMask || cleaning->removeLogo.findMask))
    types |= kBZ_RlTypeFlag;
  if (cleaning->crossLuma.apply) types |= kBZ_CrossLumaTypeFlag;
  if (cleaning->varBr.apply) types |= kBZ_VarBrTypeFlag;
  if (cleaning->ou.apply) types |= kBZ_OutlierTypeFlag;
  return types;
}
