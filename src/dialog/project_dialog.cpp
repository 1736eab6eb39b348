// The project dialog window and its events.
#include "dialog/project_dialog.h"
#include "dialog/movie_drop.h"

#include "app/error_display.h"
#include "app/file_kinds.h"
#include "app/window_lookup.h"
#include "dialog/busy_indicators.h"
#include "dialog/edit_text_checks.h"
#include "dialog/input_tab.h"
#include "dialog/method_tabs.h"
#include "methods/logo_mask_ui.h"
#include "dialog/method_types.h"
#include "dialog/output_tab.h"
#include "dialog/preview_window.h"
#include "dialog/progress_display.h"
#include "dialog/run_control.h"
#include "dialog/settings_transfer.h"
#include "dialog/shortcuts_window.h"
#include "engine/project_start.h"
#include "engine/runtime/engine_host.h"
#include "engine/runtime/working_format.h"
#include "general/file_layer.h"
#include "general/folders_volumes.h"
#include "movie/movie_files.h"
#include "outliers/outlier_stage.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_string.h"
#include "platform/core/classic_events.h"
#include "platform/core/multiprocessing.h"
#include "platform/core/standard_alerts.h"
#include "platform/core/window_refcons.h"
#include "platform/ui/help_book.h"
#include "platform/ui/text_views.h"
#include "toolkit/dialog_items.h"
#include "toolkit/edit_text_alerts.h"
#include "toolkit/events_clicks_sounds.h"
#include "toolkit/menus.h"
#include "toolkit/navigation_dialogs.h"
#include "toolkit/text_objects.h"
#include "toolkit/windows.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>

namespace {

HIViewID Item(SInt32 n) { return HIViewID{kBZ_DialogItemSignature, n}; }

OSStatus SetItemValue(WindowRef window, SInt32 item, SInt32 value) {
  return GL_SetDialogItemValueByID(window, Item(item), value);
}

OSStatus SetItemActive(WindowRef window, SInt32 item, Boolean activate) {
  return GL_ActivateDialogItemByID(window, Item(item), activate);
}

DI_DlgRefCon *RefCon(WindowRef window) {
  return window != nullptr ? reinterpret_cast<DI_DlgRefCon *>(GetWRefCon(window)) : nullptr;
}

PL_CFScoped<CFStringRef> Localized(CFStringRef key) {
  return PL_CFScoped<CFStringRef>(CFBundleCopyLocalizedString(CFBundleGetMainBundle(), key, key, nullptr));
}

CFStringRef NameString(const HFSUniStr255 &name) {
  return CFStringCreateWithCharacters(nullptr, name.unicode, name.length);
}

// Appends the pieces of a file's description: "<in folder> <folder> <on volume> <volume>"".
OSStatus AppendLocation(CFMutableStringRef text, const FSRef *folder) {
  HFSUniStr255 folderName{};
  OSStatus err = FSGetCatalogInfo(folder, 0, nullptr, &folderName, nullptr, nullptr);
  if (err != noErr) return err;
  HFSUniStr255 volumeName{};
  if ((err = GL_GetVolumeNameFromFSRef(folder, &volumeName)) != noErr) return err;
  PL_CFScoped<CFStringRef> folderText{NameString(folderName)}, volumeText{NameString(volumeName)};
  CFStringAppend(text, Localized(CFSTR("BZ in folder")).get());
  CFStringAppend(text, folderText.get());
  CFStringAppend(text, Localized(CFSTR("BZ on volume")).get());
  CFStringAppend(text, volumeText.get());
  CFStringAppend(text, CFSTR("\""));
  return noErr;
}

struct HelpPage {
  SInt32 item;
  CFStringRef page;
};
const HelpPage kHelpPages[] = {
    {2032, CFSTR("html/Input.html")},         {2090, CFSTR("html/Output.html")},
    {2113, CFSTR("html/Average.html")},       {2177, CFSTR("html/Reduce Noise.html")},
    {2337, CFSTR("html/Remove Logo.html")},   {2362, CFSTR("html/Cross-Luma.html")},
    {2408, CFSTR("html/Varying brightness.html")}, {2515, CFSTR("html/Outliers.html")},
};

// Little arrows, their text items and the range of the setting they step.
const SInt32 kLittleArrows[][4] = {{2327, 2328, 10, 1000},        {2332, 2333, 0, 60},
                                   {2159, 2160, 1, 0x7FFFFFFF},   {2162, 2163, 1, 0x7FFFFFFF},
                                   {2502, 2503, 1, 3},            {2505, 2506, 0, 100},
                                   {2508, 2509, 10, 100}};

// Chooses a movie for source fileNum; a cancel leaves the dialog without that source. *same tells that the
// chosen movie is the one already there: nothing is to change.
OSStatus ChooseSourceMovie(SInt32 fileNum, CFStringRef messageKey, bool *same) {
  *same = false;
  if (gBZ.project == nullptr) return noErr;
  FSRef &source = gBZ.project->info.srcFileData[fileNum].fileRef;
  struct {
    SInt16 count;
    OSType types[2];
  } typeList{2, {'MooV', 'MPEG'}};
  FSRef chosen{};
  gBZ.navDialogOpen = true;
  OSStatus err = NS_GetSingleFileFromUser(NS_DummyEventHandler, QT_MovieFilter, &typeList, CFSTR("kBZ_AppName"),
                                          Localized(messageKey).get(), &chosen);
  gBZ.navDialogOpen = false;
  if (fileNum == 0) gBZ.dlgTaskData.savedSrcFile = source;
  if (err == userCanceledErr) {
    source = FSRef{};
    return noErr;
  }
  if (err != noErr) return err;
  if (GL_FSRefValid(&source) && GL_EqualFileObjects(&chosen, &source)) {
    *same = true;
    return noErr;
  }
  source = chosen;
  return noErr;
}

}  // namespace

SInt32 BZ_GetMethodTabForCleaningSett(const BZ_CleaninSett *cleaning) {
  if (cleaning == nullptr || cleaning->noiseRed.apply) return 2;
  if (cleaning->average.apply) return 1;
  if (cleaning->removeLogo.apply) return 3;
  if (cleaning->crossLuma.apply) return 4;
  if (cleaning->varBr.apply) return 5;
  if (cleaning->ou.apply) return 6;
  return 2;
}

// ---- Opening and initialising ----

OSStatus BZ_OpenProjectDialog() {
  auto *refCon = static_cast<DI_DlgRefCon *>(std::calloc(1, sizeof(DI_DlgRefCon)));
  if (refCon == nullptr) return memFullErr;
  refCon->ID = kBZ_ProjDlgWindowID;
  WindowRef window = nullptr;
  OSStatus err = CreateWindowFromNib(gBZ.nibRef, CFSTR("New Project Dialog"), &window);
  if (err != noErr) {
    std::free(refCon);
    return err;
  }
  refCon->window = window;
  SetWRefCon(window, reinterpret_cast<SRefCon>(refCon));
  err = BZ_InitProjectDialog(window);
  if (err == noErr) {
    GL_PositionWindow(window, gBZ.savedWindowLoc[kBZ_ProjDlgWindowID]);
    static const EventTypeSpec kinds[] = {{kEventClassWindow, kEventWindowActivated},
                                          {kEventClassWindow, kEventWindowDeactivated},
                                          {kEventClassControl, kEventControlHit}};
    err = InstallEventHandler(GetWindowEventTarget(window), BZ_ProjDlgEventHandler, 3, kinds, window,
                              &refCon->eventHandler);
  }
  if (err != noErr) {
    BZ_DisposeTimers(window);
    BZ_RemoveProjDlgEtiFilters(window);
    delete gBZ.dlgData;
    gBZ.dlgData = nullptr;
    DisposeWindow(window);
    std::free(refCon);
    return err;
  }
  // Keys typed while the program started are not meant for the dialog.
  static const EventTypeSpec keyDown{kEventClassKeyboard, kEventRawKeyDown};
  EventRef pending = nullptr;
  while (ReceiveNextEvent(1, &keyDown, kEventDurationNoWait, true, &pending) == noErr) ReleaseEvent(pending);
  SelectWindow(window);
  ShowWindow(window);
  return noErr;
}

void BZ_InitDlgPreviewData(BZ_PreviewData *previewData) {
  if (previewData != nullptr && previewData->ouPreviewData == nullptr) BZ_InitOuPreviewData(&previewData->ouPreviewData);
}

OSStatus BZ_EmbedProjDlgItems(WindowRef window) {
  OSStatus err = BZ_EmbedCropItems(window);
  if (err == noErr) err = BZ_EmbedReduceNoiseItems(window);
  if (err == noErr) err = BZ_EmbedRlItems(window);
  return err;
}

OSStatus BZ_ProjDlgInstallTimers(WindowRef window) {
  DI_DlgRefCon *refCon = RefCon(window);
  if (refCon == nullptr || gBZ.dlgData == nullptr) return paramErr;
  OSStatus err = InstallEventLoopTimer(GetMainEventLoop(), kEventDurationForever, 0, BZ_ProjDlgCheckETI, window,
                                       &refCon->checkEtiTimer);
  if (err != noErr) return err;
  return InstallEventLoopTimer(GetMainEventLoop(), kEventDurationForever, 0, BZ_InitMovieAnalysis, window,
                               &gBZ.dlgData->movieAnalysisTimer);
}

OSStatus BZ_InstallProjDlgControlActions(WindowRef window) {
  OSStatus err = GL_SetDialogItemActionByID(window, Item(kBZ_LogoSliderItem), BZ_SliderProc);
  for (const auto &arrows : kLittleArrows) {
    if (err == noErr) err = GL_SetDialogItemActionByID(window, Item(arrows[0]), GL_LA_ProcTemplate);
    if (err == noErr) err = GL_SetLA_AssTextItemByID(window, Item(arrows[0]), SInt16(arrows[1]));
    // The arrows hold the setting's value (the settings transfer reads it back), so they span its range.
    if (err == noErr) err = GL_SetDialogItemMinByID(window, Item(arrows[0]), arrows[2]);
    if (err == noErr) err = GL_SetDialogItemMaxByID(window, Item(arrows[0]), arrows[3]);
  }
  return err;
}

OSStatus BZ_InitAppliedCleanMethodsHIView(WindowRef window) {
  HIViewRef view = nullptr;
  OSStatus err = HIViewFindByID(HIViewGetRoot(window), Item(kBZ_AppliedMethodsItem), &view);
  if (err != noErr) return err;
  TXNObject txn = HITextViewGetTXNObject(view);
  if (txn == nullptr) return paramErr;
  if ((err = TXN_SetReadOnly(txn, 0)) == noErr && (err = TXN_SetJust(4, txn)) == noErr &&
      (err = TXN_SetFont(txn, -5)) == noErr && (err = TXN_SetSize(txn, 9)) == noErr)
    err = TXN_SetReadOnly(txn, 1);
  if (err != noErr) return err;
  // The text is only read: it never takes the keyboard focus.
  static const EventTypeSpec setFocus{kEventClassControl, kEventControlSetFocusPart};
  if (gBZ.dlgData != nullptr && gBZ.dlgData->textViewEvHandler == nullptr &&
      (err = InstallEventHandler(GetControlEventTarget(view), BZ_AppliedCleanMethodsHIViewEventHandler, 1, &setFocus,
                                 nullptr, &gBZ.dlgData->textViewEvHandler)) != noErr)
    return err;
  if ((err = HIViewChangeFeatures(view, 0, kHIViewFeatureGetsFocusOnClick)) != noErr) return err;
  return BZ_HandleApplyBoxHit(window);
}

OSStatus BZ_AppliedCleanMethodsHIViewEventHandler(EventHandlerCallRef, EventRef, void *) { return paramErr; }

OSStatus BZ_InitProjectDialog(WindowRef window) {
  DI_DlgRefCon *refCon = RefCon(window);
  if (refCon == nullptr) return paramErr;
  auto *dlgData = new (std::nothrow) BZ_ProjDlgData();
  if (dlgData == nullptr) return memFullErr;
  refCon->data = dlgData;
  gBZ.dlgData = dlgData;
  dlgData->project = gBZ.project;
  dlgData->rlDlgTaskData = gBZ.dlgTaskData.rlDlgTaskData;
  BZ_InitDlgPreviewData(&dlgData->previewData);
  std::printf("Size of dialog data = %ld\n", long(sizeof(BZ_ProjDlgData)));
  OSStatus err = BZ_EmbedProjDlgItems(window);
  if (err == noErr) err = BZ_InstallProjDlgEtiFilters(window);
  if (err == noErr) err = BZ_ProjDlgInstallTimers(window);
  if (err == noErr) err = BZ_InstallProjDlgControlActions(window);
  if (err == noErr) err = BZ_InstallProgressFrameHandler(window);
  if (err == noErr) err = BZ_SetProjDlgImageWellBackground(window);
  if (err == noErr) err = BZ_InitExportMenu(window);
  if (err == noErr) err = BZ_ProjDlgInitSettingsInDlg(window);
  // Return presses Start, Escape Cancel (each only while active).
  if (err == noErr) err = GL_SetWindowDefaultButtonByID(window, Item(kBZ_StartButtonItem));
  if (err == noErr) err = GL_SetWindowCancelButtonByID(window, Item(kBZ_CancelButtonItem));
  if (err == noErr) err = BZ_ReinitDialog(window);
  if (err != noErr) return err;
  BZ_UpdateAutoSettCalc(0, 0);
  if ((err = SetItemActive(window, 2150, false)) != noErr) return err;
  if ((err = BZ_InitAppliedCleanMethodsHIView(window)) != noErr) return err;
  if ((err = BZ_InstallProjDlgDragHandlers(window)) != noErr) return err;
  if ((err = BZ_ActivateAIC(window)) != noErr) return err;
  if (dlgData->previewData.critRgn == nullptr) err = MPCreateCriticalRegion(&dlgData->previewData.critRgn);
  return err;
}

// ---- Re-initialising and activation ----

OSStatus BZ_ReinitDialog(WindowRef window) {
  if (window == nullptr) return noErr;
  OSStatus err = BZ_SetSourceFileName(window, 0);
  if (err == noErr) err = BZ_SetSourceFileName(window, 1);
  if (err == noErr) err = BZ_SetMovieInfo(window);
  for (SInt32 file = 0; file < 3 && err == noErr; ++file) err = BZ_SetTargetFileName(window, file);
  if (err == noErr) err = SetItemValue(window, kBZ_MainTabItem, 1);
  if (err == noErr) err = GL_ShowAssEmbeddersByID(window, Item(kBZ_MainTabItem), 3);
  const BZ_CleaninSett *cleaning = gBZ.project != nullptr ? &gBZ.project->info.settings.cleaning : nullptr;
  if (err == noErr) err = SetItemValue(window, kBZ_MethodTabItem, BZ_GetMethodTabForCleaningSett(cleaning));
  if (err == noErr) err = GL_ShowAssEmbeddersByID(window, Item(kBZ_MethodTabItem), 6);
  if (err == noErr) err = BZ_ReactivateControls(window, true);
  if (err == noErr) err = BZ_ProjDlgInitDependentItems(window);
  if (err == noErr) err = BZ_ResetProgressBar(window);
  if (err == noErr) err = BZ_StopChasingArrows(window);
  if (err == noErr) err = BZ_ClearCalcValues(window);
  if (err == noErr) err = SetItemActive(window, 2315, false);
  if (err == noErr && gBZ.dlgTaskData.ouDlgTaskData != nullptr) BZ_OuReinitDlgTaskData(gBZ.dlgTaskData.ouDlgTaskData);
  return err;
}

OSStatus BZ_ReactivateControls(WindowRef window, Boolean activate) {
  if (window == nullptr) return noErr;
  OSStatus err = SetItemActive(window, kBZ_InputPaneItem, activate);
  if (err == noErr) err = BZ_ReactivateOutputControls(window, activate);
  for (SInt32 pane = 2051; pane <= 2056 && err == noErr; ++pane) err = SetItemActive(window, pane, activate);
  if (err == noErr) err = BZ_ActivateBottomButtons(window, !activate);
  return err;
}

// ---- Events and hits ----

OSStatus BZ_ProjDlgEventHandler(EventHandlerCallRef, EventRef event, void *data) {
  auto window = static_cast<WindowRef>(data);
  if (GetEventClass(event) == kEventClassWindow) {
    const bool activated = GetEventKind(event) == kEventWindowActivated;
    GL_EnableMenuCommandByID(2003, 'MDtF', !activated);
    return eventNotHandledErr;
  }
  if (GetEventClass(event) != kEventClassControl || GetEventKind(event) != kEventControlHit) return eventNotHandledErr;
  ControlRef control = nullptr;
  HIViewID id{};
  if (GetEventParameter(event, kEventParamDirectObject, 'ctrl', nullptr, sizeof control, nullptr, &control) != noErr ||
      GetControlID(control, &id) != noErr || id.signature != kBZ_DialogItemSignature)
    return eventNotHandledErr;
  DI_DlgRefCon *refCon = RefCon(window);
  const OSStatus err = BZ_HandleProjDlgControlHit(window, &id);
  if (refCon != nullptr) {
    refCon->error = err;
    if (refCon->error != noErr && refCon->error != userCanceledErr) {
      BZ_ShowError(refCon->error);
      refCon->error = noErr;
    }
  }
  return eventNotHandledErr;
}

void BZ_MarkForUpdate(BZ_ProjDlgState *state, SInt32 itemHit) {
  if (state == nullptr) return;
  if (BZ_IsInputHit(itemHit))
    state->neededUpdates |= kBZ_InputSettUpdate;
  else if (BZ_IsOutputHit(itemHit))
    state->neededUpdates |= kBZ_OutputSettUpdate;
  else
    state->neededUpdates |= BZ_ItemHitToProcessType(itemHit);
}

OSStatus BZ_HandleItemHitSimple(WindowRef window, const HIViewID *controlID) {
  if (controlID == nullptr) return paramErr;
  switch (controlID->id) {
    case kBZ_MainTabItem:
      return GL_ShowAssEmbeddersByID(window, *controlID, 3);
    case kBZ_MethodTabItem:
      return GL_ShowAssEmbeddersByID(window, *controlID, 6);
    case 2033: case 2073: case 2156: case 2164: case 2329:
      return GL_ActivateAssEmbedderByID(window, *controlID);
    default:
      return noErr;
  }
}

OSStatus BZ_HandleProjDlgControlHit(WindowRef window, HIViewID *controlID) {
  if (controlID == nullptr) return paramErr;
  const SInt32 item = controlID->id;
  BZ_ProjDlgData *dlgData = gBZ.dlgData;
  DI_DlgRefCon *refCon = RefCon(window);
  if (dlgData != nullptr) {
    dlgData->itemHit = SInt16(item);
    BZ_MarkForUpdate(&dlgData->state, item);
  }
  if (refCon != nullptr) refCon->itemHit = SInt16(item);
  // Edit texts are handled by their check timer.
  if (BZ_ProjDlgItemToEtiIndex(item) != 0) return noErr;
  OSStatus err = BZ_IsDefaultButton(item)     ? BZ_HandleDefaultButtonHit(window, item)
                 : BZ_IsDlgHelpButton(item) ? BZ_HandleDlgHelpButtonHit(item)
                                              : BZ_HandleItemHitSimple(window, controlID);
  if (err != noErr) return err;
  bool forgotten = false;
  switch (item) {
    case 2022:
      err = ChooseSourceMovie(0, CFSTR("BZ select movie file"), &forgotten);
      break;
    case 2101:
      err = ChooseSourceMovie(1, CFSTR("BZ select second movie file"), &forgotten);
      break;
    case 2072:
      err = BZ_PutTargetFile(window);
      break;
    case 2076:
      err = BZ_PutNoiseFile(window);
      break;
    case 2314:
      err = BZ_ImportMask(window);
      break;
    case 2315:
      err = BZ_ExportMask(window);
      break;
    case kBZ_CancelButtonItem:
      err = BZ_StartCancelProject(window);
      if (err == noErr) err = SetItemActive(window, kBZ_CancelButtonItem, false);
      break;
    case kBZ_StartButtonItem: {
      BZ_ProjDlgCheckETI(nullptr, window);
      Boolean active = false;
      GL_IsDialogItemActiveByID(window, Item(kBZ_StartButtonItem), &active);
      if ((refCon != nullptr && refCon->anyEtiItemCorrected) || !active) {
        AlertSoundPlay();  // SysBeep(30)
        if (refCon != nullptr) refCon->anyEtiItemCorrected = false;
        forgotten = true;
      }
      break;
    }
    case kBZ_PreviewButtonItem:
      err = BZ_ShowPreview(window);
      break;
    case kBZ_ExampleButtonItem:
      err = BZ_ShowExample(window);
      break;
    default:
      break;
  }
  if (err != noErr || forgotten) return err;
  if (item == kBZ_StartButtonItem) return BZ_StartProject();
  if (item == kBZ_CancelButtonItem) return noErr;
  if ((err = BZ_ProjDlgHandleDependentItems(window, true)) != noErr) return err;
  return BZ_ProjDlgActivateOKButton(window);
}

OSStatus BZ_ProjDlgHandleDependentItems(WindowRef window, Boolean getSettings) {
  BZ_ProjDlgData *dlgData = gBZ.dlgData;
  if (window == nullptr || dlgData == nullptr || gBZ.project == nullptr) return noErr;
  BZ_ProjSett &settings = gBZ.project->info.settings;
  const SInt32 item = dlgData->itemHit;
  const CodecType savedCType = settings.output.cType;
  OSStatus err = getSettings ? BZ_ProjDlgGetSett(window) : OSStatus(noErr);
  if (err != noErr) return err;
  if (BZ_IsInputHit(item)) {
    err = BZ_HandleInputHit(window, item);
  } else if (BZ_IsOutputHit(item)) {
    err = BZ_HandleOutputHit(window, item);
  } else if (item == kBZ_MainTabItem) {
    err = BZ_ActivateExampleButton(window);
    SInt32 mainTab = 0;
    if (err == noErr) err = GL_GetDialogItemValueByID(window, Item(kBZ_MainTabItem), &mainTab);
    if (err == noErr && mainTab == 2) err = BZ_SelectFirstAppliedProcessType(window);
    if (err == noErr && BZ_GetEditingOutliers()) err = BZ_StartPreviewCalc();
    if (err == noErr) err = BZ_EnableShortcutsButton(window);
  } else if (item == kBZ_MethodTabItem) {
    err = BZ_ActivateExampleButton(window);
    if (err == noErr && BZ_GetExampleWindow() != nullptr) err = BZ_SetExamplePictures(window);
    if (err == noErr && BZ_GetPreviewWindow() != nullptr) {
      GL_SetNeedsDisplayByID(BZ_GetPreviewWindow(), Item(2011), true);
      err = BZ_EnableShortcutsButton(window);
    }
  }
  if (err != noErr) return err;
  if (BZ_IsDefaultButton(item) && (err = SetItemActive(window, item, false)) != noErr) return err;
  if (item == 2101) {
    err = BZ_HandleAvSecondMovieChoice(window);
  } else if (item == 2106) {
    const Boolean manual = !settings.cleaning.average.automatic;
    err = SetItemActive(window, 2104, manual);
    if (err == noErr) err = SetItemActive(window, 2105, manual);
  } else if (item >= 2150 && item <= 2181) {
    err = BZ_HandleNoiseRedHit(window, item);
  } else if (BZ_IsRlHit(item)) {
    err = BZ_HandleRlHit(window, item);
  } else if (BZ_IsOutlierHit(item)) {
    err = BZ_HandleOuHit(window, item);
  }
  if (err == noErr) err = BZ_HandleApplyBoxHit(window);
  if (err != noErr || !getSettings) return err;
  // Edit texts whose text was all selected keep it selected after their values are written back.
  Boolean allSelected[kBZ_NumEtiItems + 1] = {};
  for (SInt32 i = 1; i <= kBZ_NumEtiItems; ++i)
    GL_GetDialogItemAllTextSelectedByID(window, Item(BZ_ProjDlgEtiIndexToItem(i)), &allSelected[i]);
  if ((err = BZ_ProjDlgUpdateSettingsInDlg(window)) != noErr) return err;
  for (SInt32 i = 1; i <= kBZ_NumEtiItems; ++i)
    if (allSelected[i]) GL_SetDialogItemAllTextSelectedByID(window, Item(BZ_ProjDlgEtiIndexToItem(i)));
  err = BZ_SetFocus(window);
  if (err != noErr && err != errCouldntSetFocus) return err;
  BZ_UpdateAutoSettCalc(item, savedCType);
  return BZ_ScheduleMovieAnalysisIfNeeded(window, savedCType);
}

OSStatus BZ_ProjDlgInitDependentItems(WindowRef window) {
  BZ_ProjDlgData *dlgData = gBZ.dlgData;
  if (window == nullptr || dlgData == nullptr) return noErr;
  static const struct {
    SInt32 item;
    bool simple;
  } kOrder[] = {{2022, false}, {2026, false}, {2033, true},  {2035, false}, {2005, false},
                {2050, false}, {2106, false}, {2174, false}, {2156, true},  {2164, true},
                {2325, false}, {2308, false}, {2329, true},  {2073, true},  {2316, false}};
  const SInt16 saved = dlgData->itemHit;
  OSStatus err = noErr;
  for (const auto &step : kOrder) {
    dlgData->itemHit = SInt16(step.item);
    const HIViewID id = Item(step.item);
    err = step.simple ? BZ_HandleItemHitSimple(window, &id) : BZ_ProjDlgHandleDependentItems(window, false);
    if (err != noErr) break;
  }
  dlgData->itemHit = saved;
  if (err != noErr) return err;
  return BZ_ProjDlgUpdateSettingsInDlg(window);
}

Boolean BZ_TargetFileChosen(const BZ_TargetFileData *target) {
  if (target == nullptr) return false;
  return GL_FSRefValid(&target->fileRef) || (target->fileName.length >= 3 && GL_FSRefValid(&target->parentRef));
}

OSStatus BZ_ProjDlgActivateOKButton(WindowRef window) {
  if (window == nullptr || gBZ.project == nullptr) return noErr;
  if (gBZ.project->state.exec >= kBZ_ProjStateBeingOpened) return noErr;
  const BZ_ProjInfo &info = gBZ.project->info;
  UInt32 valid = 0;
  BZ_GetValidSelectedProcessTypes(&info.settings.cleaning, &valid);
  const bool ready = GL_FSRefValid(&info.srcFileData[0].fileRef) && BZ_TargetFileChosen(&info.targetFileData[0]) &&
                     (!info.settings.output.makeNoiseMovie || BZ_TargetFileChosen(&info.targetFileData[1])) &&
                     valid != 0;
  return SetItemActive(window, kBZ_StartButtonItem, ready);
}

OSStatus BZ_ProjDlgHandleAppActivate(WindowRef window) {
  if (window == nullptr) return noErr;
  return GL_ImageViewSetAlphaByID(window, Item(kBZ_NoiseSpectrumItem), gBZ.switchedIn ? 1.0f : 0.5f);
}

// ---- File names ----

OSStatus BZ_SetSourceFileName(WindowRef window, SInt32 fileNum) {
  if (window == nullptr || (fileNum != 0 && fileNum != 1)) return paramErr;
  const HIViewID item = Item(fileNum == 0 ? 2021 : 2100);
  const FSRef *file = gBZ.project != nullptr ? &gBZ.project->info.srcFileData[fileNum].fileRef : nullptr;
  if (file == nullptr || !GL_FSRefValid(file))
    return GL_SetDialogItemTextByID(window, item, Localized(CFSTR("BZ Movie name & location")).get());
  HFSUniStr255 name{};
  FSRef parent{};
  OSStatus err = FSGetCatalogInfo(file, 0, nullptr, &name, nullptr, &parent);
  if (err != noErr) return err;
  PL_CFScoped<CFMutableStringRef> text{CFStringCreateMutable(nullptr, 0)};
  PL_CFScoped<CFStringRef> fileName{NameString(name)};
  CFStringAppend(text.get(), Localized(CFSTR("BZ Process file")).get());
  CFStringAppend(text.get(), fileName.get());
  if ((err = AppendLocation(text.get(), &parent)) != noErr) return err;
  return GL_SetDialogItemTextByID(window, item, text.get());
}

OSStatus BZ_SetTargetFileName(WindowRef window, SInt32 fileNum) {
  if (window == nullptr || fileNum < 0 || fileNum > 2) return paramErr;
  if (gBZ.dlgData != nullptr) gBZ.dlgData->state.neededUpdates |= kBZ_OutputSettUpdate;
  const HIViewID item = Item(fileNum == 1 ? 2075 : 2071);
  BZ_TargetFileData *target = gBZ.project != nullptr ? &gBZ.project->info.targetFileData[fileNum] : nullptr;
  PL_CFScoped<CFStringRef> prefix{fileNum == 0   ? Localized(CFSTR("BZ result file")).release()
                                  : fileNum == 1 ? Localized(CFSTR("BZ noise movie file")).release()
                                                 : CFStringCreateCopy(nullptr, CFSTR("Motion vector movie file: \""))};
  PL_CFScoped<CFMutableStringRef> text{CFStringCreateMutable(nullptr, 0)};
  CFStringAppend(text.get(), prefix.get());
  OSStatus err = noErr;
  if (target != nullptr && GL_FSRefValid(&target->fileRef)) {
    HFSUniStr255 name{};
    FSRef parent{};
    if ((err = FSGetCatalogInfo(&target->fileRef, 0, nullptr, &name, nullptr, &parent)) != noErr) return err;
    if (!GL_FSRefValid(&target->parentRef)) target->parentRef = parent;
    PL_CFScoped<CFStringRef> fileName{NameString(name)};
    CFStringAppend(text.get(), fileName.get());
  } else if (target != nullptr && GL_FSRefValid(&target->parentRef) && target->fileName.length > 2) {
    PL_CFScoped<CFStringRef> fileName{NameString(target->fileName)};
    CFStringAppend(text.get(), fileName.get());
  } else {
    return GL_SetDialogItemTextByID(window, item, Localized(CFSTR("BZ Movie name & location")).get());
  }
  if ((err = AppendLocation(text.get(), &target->parentRef)) != noErr) return err;
  return GL_SetDialogItemTextByID(window, item, text.get());
}

namespace {

// A new mutable string: the source's name without its extension (an ending of at most 6 characters from the
// last "."), then `ending`; without a source the localised "BZ New project" instead of the name.
OSStatus MakeNameAfterSource(const FSRef *srcFile, CFStringRef ending, CFMutableStringRef *made) {
  *made = nullptr;
  if (srcFile != nullptr && GL_FSRefValid(srcFile)) {
    HFSUniStr255 sourceName{};
    OSStatus err = FSGetCatalogInfo(srcFile, 0, nullptr, &sourceName, nullptr, nullptr);
    if (err != noErr) return err;
    PL_CFScoped<CFStringRef> source{NameString(sourceName)};
    CFIndex length = CFStringGetLength(source.get());
    CFRange dot = CFStringFind(source.get(), CFSTR("."), kCFCompareBackwards);
    if (dot.location != kCFNotFound && dot.location > 0 && length - dot.location <= 6) length = dot.location;
    PL_CFScoped<CFStringRef> stem{CFStringCreateWithSubstring(nullptr, source.get(), CFRangeMake(0, length))};
    *made = CFStringCreateMutableCopy(nullptr, 0, stem.get());
    if (*made != nullptr) CFStringAppend(*made, ending);
  } else {
    *made = CFStringCreateMutableCopy(nullptr, 0, Localized(CFSTR("BZ New project")).get());
  }
  return *made != nullptr ? OSStatus(noErr) : OSStatus(memFullErr);
}

void CopyIntoName(CFStringRef text, HFSUniStr255 *name) {
  const CFIndex units = std::min<CFIndex>(CFStringGetLength(text), 255);
  CFStringGetCharacters(text, CFRangeMake(0, units), name->unicode);
  name->length = UInt16(units);
}

}  // namespace

OSStatus BZ_SuggestOutName(const FSRef *srcFile, HFSUniStr255 *targetName) {
  if (targetName == nullptr) return paramErr;
  CFMutableStringRef made = nullptr;
  OSStatus err = MakeNameAfterSource(srcFile, CFSTR(" proj"), &made);
  if (err != noErr) return err;
  PL_CFScoped<CFMutableStringRef> name{made};
  PL_CFScoped<CFStringRef> extension{BZ_MakeOutputFileExtension()};
  if (extension.get() != nullptr) CFStringAppend(name.get(), extension.get());
  CopyIntoName(name.get(), targetName);
  return noErr;
}

OSStatus BZ_PutTargetFile(WindowRef) {
  if (gBZ.project == nullptr) return noErr;
  BZ_ProjInfo &info = gBZ.project->info;
  BZ_TargetFileData &target = info.targetFileData[0];
  OSStatus err = noErr;
  if (!GL_FSRefValid(&target.parentRef) &&
      (err = BZ_GetDefaultTargetFolder(&info.srcFileData[0].fileRef, &target.parentRef)) != noErr)
    return err;
  if (target.fileName.length == 0 && (err = BZ_SuggestOutName(&info.srcFileData[0].fileRef, &target.fileName)) != noErr)
    return err;
  gBZ.navDialogOpen = true;
  err = NS_PutFile(nullptr, nullptr, NS_DummyEventHandler, Localized(CFSTR("BZ select target file")).get(),
                   CFSTR("Orl Brizel"), false, &target.mayDelete, &target.parentRef, &target.fileName, nullptr,
                   &target.hideExtension);
  gBZ.navDialogOpen = false;
  target.fileRef = FSRef{};
  if (err == userCanceledErr) {
    target.parentRef = FSRef{};
    target.fileName.length = 0;
    return noErr;
  }
  if (err != noErr) return err;
  return BZ_CheckForExistingFile(&target);
}

OSStatus BZ_PutNoiseFile(WindowRef) {
  if (gBZ.project == nullptr) return noErr;
  BZ_ProjInfo &info = gBZ.project->info;
  BZ_TargetFileData &noise = info.targetFileData[1];
  CFMutableStringRef made = nullptr;
  OSStatus err = MakeNameAfterSource(&info.srcFileData[0].fileRef, CFSTR(" nm.mov"), &made);
  if (err != noErr) return err;
  PL_CFScoped<CFMutableStringRef> name{made};
  CopyIntoName(name.get(), &noise.fileName);
  noise.parentRef = info.targetFileData[0].parentRef;
  gBZ.navDialogOpen = true;
  err = NS_PutFile(nullptr, nullptr, NS_DummyEventHandler, Localized(CFSTR("BZ select noise file")).get(),
                   CFSTR("Orl Brizel"), false, nullptr, &noise.parentRef, &noise.fileName, nullptr,
                   &noise.hideExtension);
  gBZ.navDialogOpen = false;
  if (gBZ.dlgData != nullptr) gBZ.dlgData->state.neededUpdates |= kBZ_OutputSettUpdate;
  if (err == userCanceledErr) {
    noise.fileRef = FSRef{};
    noise.parentRef = FSRef{};
    noise.fileName.length = 0;
    return noErr;
  }
  return err;
}

OSStatus BZ_CheckForExistingFile(BZ_TargetFileData *targetFileData) {
  if (targetFileData == nullptr) return paramErr;
  FSRef existing{};
  OSStatus err = FSMakeFSRefUnicode(&targetFileData->parentRef, targetFileData->fileName.length,
                                    targetFileData->fileName.unicode, kTextEncodingUnknown, &existing);
  if (err == fnfErr) return noErr;
  if (err != noErr) return err;
  // The source movies are only ever read: choosing one as the result gives the result another name.
  if (gBZ.project != nullptr)
    for (const BZ_SrcFileData &source : gBZ.project->info.srcFileData)
      if (GL_FSRefValid(&source.fileRef) && GL_EqualFileObjects(&source.fileRef, &existing))
        return BZ_CreateIndexedNameInFolder(targetFileData, 0);
  if (!targetFileData->mayDelete) {
    // Left unanswered, the question keeps the file.
    DialogItemIndex answer = 0;
    err = DI_StandardAlertTwoButtonsCancelOnTimeOut(nullptr, nullptr, Localized(CFSTR("BZ Delete existing file")).get(),
                                                    nullptr, 10, &answer);
    if (err != noErr) return err;
    targetFileData->mayDelete = answer == kAlertStdAlertOKButton;
  }
  if (!targetFileData->mayDelete) return BZ_CreateIndexedNameInFolder(targetFileData, 0);
  if (FSDeleteObject(&existing) != noErr) {
    DI_StandardAlertOneButton(kAlertStopAlert, nullptr, Localized(CFSTR("BZ Existing file")).get(),
                              Localized(CFSTR("BZ File is in use")).get(), 10);
    return BZ_CreateIndexedNameInFolder(targetFileData, 0);
  }
  return noErr;
}

// ---- Slider and help ----

void BZ_SliderProc(ControlRef slider, ControlPartCode part) {
  if (part == 0 || slider == nullptr) return;
  HIViewID id{};
  if (GetControlID(slider, &id) != noErr || id.id != kBZ_LogoSliderItem) return;
  WindowRef window = GetControlOwner(slider);
  const double value = 0.6 + GetControl32BitValue(slider) / 250.0;
  if (BZ_ItemIsNumericFloat(kBZ_LogoUniformityItem))
    GL_SetDialogItemTextFloatByID(window, Item(kBZ_LogoUniformityItem), value);
  else
    GL_SetDialogItemTextIntByID(window, Item(kBZ_LogoUniformityItem), GetControl32BitValue(slider));
  // The slider wrote it: it is no text the user typed and waits for no check.
  DI_DlgRefCon *refCon = RefCon(window);
  const SInt32 index = BZ_ProjDlgItemToEtiIndex(kBZ_LogoUniformityItem);
  if (refCon != nullptr && refCon->etiHit != nullptr && index <= refCon->numEtiItems) refCon->etiHit[index].hit = false;
}

Boolean BZ_IsDlgHelpButton(SInt32 itemHit) {
  for (const HelpPage &page : kHelpPages)
    if (page.item == itemHit) return true;
  return false;
}

OSStatus BZ_HandleDlgHelpButtonHit(SInt32 id) {
  CFStringRef page = CFSTR("");
  for (const HelpPage &p : kHelpPages)
    if (p.item == id) page = p.page;
  return AHGotoPage(nullptr, page, nullptr);
}

// ---- Disposal ----

void BZ_DisposeTimers(WindowRef window) {
  DI_DlgRefCon *refCon = RefCon(window);
  if (refCon != nullptr && refCon->checkEtiTimer != nullptr) {
    RemoveEventLoopTimer(refCon->checkEtiTimer);
    refCon->checkEtiTimer = nullptr;
  }
  if (gBZ.dlgData != nullptr && gBZ.dlgData->movieAnalysisTimer != nullptr) {
    RemoveEventLoopTimer(gBZ.dlgData->movieAnalysisTimer);
    gBZ.dlgData->movieAnalysisTimer = nullptr;
  }
}

OSStatus BZ_DisposeDialog() {
  WindowRef window = BZ_GetProjDlgWindow();
  if (window == nullptr) return noErr;
  DI_DlgRefCon *refCon = RefCon(window);
  BZ_RlRemoveMaskPic(window, gBZ.dlgData);
  if (WindowRef preview = BZ_GetPreviewWindow()) BZ_ClosePreview(preview);
  BZ_CloseExampleWindow();
  BZ_DisposeTimers(window);
  if (BZ_ProjDlgData *dlgData = gBZ.dlgData) {
    for (EventHandlerRef *h : {&dlgData->imageWellEvHandler, &dlgData->maskWellEvHandler, &dlgData->textViewEvHandler})
      if (*h != nullptr) {
        RemoveEventHandler(*h);
        *h = nullptr;
      }
    BZ_RemoveProjDlgDragHandlers(window);
  }
  Point location{};
  if (GL_SaveWindowPosition(window, &location) == noErr) gBZ.savedWindowLoc[kBZ_ProjDlgWindowID] = location;
  if (refCon != nullptr && refCon->eventHandler != nullptr) RemoveEventHandler(refCon->eventHandler);
  BZ_RemoveProjDlgEtiFilters(window);
  const OSStatus err = refCon != nullptr ? refCon->error : OSStatus(noErr);
  DisposeWindow(window);
  if (BZ_ProjDlgData *dlgData = gBZ.dlgData) {
    BZ_OuDisposePreviewData(&dlgData->previewData.ouPreviewData);
    if (dlgData->previewData.critRgn != nullptr) MPDeleteCriticalRegion(dlgData->previewData.critRgn);
    delete dlgData;
    gBZ.dlgData = nullptr;
  }
  std::free(refCon);
  return err;
}
