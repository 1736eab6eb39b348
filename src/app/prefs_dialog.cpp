// The preferences dialog.
#include "app/prefs_dialog.h"

#include "app/app_preferences.h"
#include "app/error_display.h"
#include "app/log_contents.h"
#include "app/window_lookup.h"
#include "engine/runtime/engine_host.h"
#include "general/processor_info.h"
#include "platform/core/cf_object.h"
#include "platform/core/cf_string.h"
#include "platform/core/formatter.h"
#include "platform/core/standard_alerts.h"
#include "platform/core/memory.h"
#include "platform/core/window_refcons.h"
#include "platform/ui/help_book.h"
#include "platform/ui/nib_controls.h"
#include "toolkit/dialog_items.h"
#include "toolkit/edit_text_alerts.h"
#include "toolkit/events_clicks_sounds.h"
#include "toolkit/log_window.h"
#include "toolkit/windows.h"

#include <algorithm>
#include <tuple>
#include <string>

namespace {

constexpr EventTime kTextCheckDelay = 5.0 / 3.0;
constexpr EventTime kSaveDelay = 2.0;

HIViewID Item(SInt32 item) { return HIViewID{'Orl1', item}; }

DI_DlgRefCon *RefCon(WindowRef window) {
  return window != nullptr ? reinterpret_cast<DI_DlgRefCon *>(GetWRefCon(window)) : nullptr;
}
BZ_PrefsDlgData *Data(WindowRef window) {
  DI_DlgRefCon *refCon = RefCon(window);
  return refCon != nullptr ? static_cast<BZ_PrefsDlgData *>(refCon->data) : nullptr;
}

OSStatus GetValue(WindowRef window, SInt32 item, SInt32 *value) {
  return GL_GetDialogItemValueByID(window, Item(item), value);
}
OSStatus GetBoolean(WindowRef window, SInt32 item, Boolean *value) {
  SInt32 v = 0;
  OSStatus err = GetValue(window, item, &v);
  if (err == noErr) *value = v != 0;
  return err;
}
OSStatus SetValue(WindowRef window, SInt32 item, SInt32 value) {
  return GL_SetDialogItemValueByID(window, Item(item), value);
}

// The 'yuv2' and 'yuvu' sources are read with the gamma that the preference gives them; tasks read that
// record while an analysis or preview runs, so such a run is stopped first and analysed again afterwards.
void ApplyYuv2Gamma(Boolean videoRange) {
  BZ_ProjPtr project = gBZ.project;
  if (project == nullptr || project->state.exec >= kBZ_ProjStateBeingOpened) return;
  if (project->state.exec != kBZ_ProjStateReady) {
    const BZ_EngineHost *host = BZ_GetEngineHost();
    Boolean stopping = false;
    if (host != nullptr && host->stopMovieAnalysis != nullptr) host->stopMovieAnalysis(host->refCon, &stopping, true);
  }
  for (BZ_StatMovInfo &info : project->info.statMovInfo)
    if (info.cType == 'yuv2' || info.cType == 'yuvu') info.gamma = videoRange ? 2.2f : 1.8f;
  gBZ.dlgTaskData.inputSettChanged = true;
}

void DisposeRefCon(WindowRef window) {
  DI_DlgRefCon *refCon = RefCon(window);
  if (refCon == nullptr) return;
  if (BZ_PrefsDlgData *data = Data(window)) {
    if (data->changeTimer != nullptr) RemoveEventLoopTimer(data->changeTimer);
    delete data;
  }
  for (int i = 1; refCon->etiHit != nullptr && i <= refCon->numEtiItems; ++i)
    if (refCon->etiHit[i].eventHandler != nullptr) RemoveEventHandler(refCon->etiHit[i].eventHandler);
  if (refCon->checkEtiTimer != nullptr) RemoveEventLoopTimer(refCon->checkEtiTimer);
  refCon->checkEtiTimer = nullptr;
  if (refCon->eventHandler != nullptr) RemoveEventHandler(refCon->eventHandler);
  delete[] refCon->etiHit;
  SetWRefCon(window, 0);
  delete refCon;
}

// Saves at once what is pending: the edit text checked and corrected, then the preferences stored.
void SavePendingChanges(WindowRef window) {
  BZ_PrefsDlgData *data = Data(window);
  if (data == nullptr || !data->anyChangeMade) return;
  BZ_PrefsDlgCheckETI(nullptr, window);
  BZ_SaveAppPrefsSetInDialog(window);
}

}  // namespace

SInt32 BZ_PrefsDlgEtiIndexToItem(SInt32 index) { return index == 1 ? kBZ_PrefsMaxIREItem : 0; }
SInt32 BZ_PrefsDlgItemToEtiIndex(SInt32 item) { return item == kBZ_PrefsMaxIREItem ? 1 : 0; }

OSStatus BZ_PrefsDialog() {
  if (WindowRef open = BZ_GetPrefsWindow()) {
    SelectWindow(open);
    return noErr;
  }
  WindowRef window = nullptr;
  OSStatus err = CreateWindowFromNib(gBZ.nibRef, CFSTR("Preferences Dialog"), &window);
  if (err != noErr) return err;
  auto *refCon = new DI_DlgRefCon{};
  refCon->window = window;
  refCon->ID = kBZ_PrefsWindowID;
  refCon->numEtiItems = 1;
  refCon->etiHit = new DI_EtiData[2]{};
  refCon->numericItems = DI_NumericItems{1, BZ_PrefsDlgEtiIndexToItem, BZ_PrefsDlgItemToEtiIndex};
  refCon->data = new BZ_PrefsDlgData{};
  SetWRefCon(window, reinterpret_cast<SRefCon>(refCon));
  if ((err = BZ_InitPrefsDialog(window)) == noErr) {
    static const EventTypeSpec kinds[] = {
        {kEventClassWindow, kEventWindowClose},   {kEventClassMenu, kEventMenuEnableItems},
        {kEventClassControl, kEventControlHit},   {kEventClassCommand, kEventCommandProcess},
        {kEventClassKeyboard, kEventRawKeyDown},  {kEventClassCommand, kEventCommandUpdateStatus}};
    err = InstallEventHandler(GetWindowEventTarget(window), BZ_PrefsDialogEventHandler, 6, kinds, window,
                              &refCon->eventHandler);
  }
  if (err != noErr) {
    DisposeRefCon(window);
    DisposeWindow(window);
    return err;
  }
  GL_PositionWindow(window, gBZ.savedWindowLoc[kBZ_PrefsWindowID]);
  ShowWindow(window);
  SelectWindow(window);
  return noErr;
}

OSStatus BZ_InitPrefsDialog(WindowRef window) {
  DI_DlgRefCon *refCon = RefCon(window);
  if (refCon == nullptr) return paramErr;
  OSStatus err = BZ_PrefsDialogInstallTimers(window);
  if (err != noErr) return err;
  char quitKey = 0;
  if (GL_GetQCharCode(&quitKey, &refCon->isVirtualKey) == noErr) refCon->qCharCode = UInt8(quitKey);
  BZ_AppPrefs prefs{};
  BZ_GetAppPrefs(&prefs);
  PL_CFScoped<CFStringRef> sound(prefs.successSound);
  if ((err = BZ_SetAppPrefsInDialog(window, 0, &prefs)) != noErr) return err;
  if ((err = BZ_PrefsDlgHandleDependentItems(window, kBZ_PrefsNtscSafeItem)) != noErr) return err;
  if ((err = SetValue(window, kBZ_PrefsTabItem, 1)) != noErr) return err;
  return BZ_PrefsDlgHandleDependentItems(window, kBZ_PrefsTabItem);
}

OSStatus BZ_PrefsDialogInstallTimers(WindowRef window) {
  DI_DlgRefCon *refCon = RefCon(window);
  BZ_PrefsDlgData *data = Data(window);
  if (refCon == nullptr || data == nullptr) return paramErr;
  OSStatus err = InstallEventLoopTimer(GetMainEventLoop(), kEventDurationForever, 0, BZ_PrefsDlgCheckETI, window,
                                       &refCon->checkEtiTimer);
  if (err != noErr) return err;
  if ((err = BZ_InstallPrefsDlgEtiFilters(window)) != noErr) return err;
  if (data->changeTimer == nullptr)
    err = InstallEventLoopTimer(GetMainEventLoop(), kEventDurationForever, 0, BZ_SavePrefsChangeTimer, window,
                                &data->changeTimer);
  return err;
}

OSStatus BZ_InstallPrefsDlgEtiFilters(WindowRef window) {
  DI_DlgRefCon *refCon = RefCon(window);
  if (refCon == nullptr) return paramErr;
  static const EventTypeSpec kinds[] = {{kEventClassControl, kEventControlTrackingAreaEntered},
                                        {kEventClassControl, kEventControlTrackingAreaExited},
                                        {kEventClassTextField, kEventTextAccepted},
                                        {kEventClassTextField, kEventTextDidChange},
                                        {kEventClassTextField, kEventTextShouldChangeInRange}};
  for (int index = 1; index <= refCon->numEtiItems; ++index) {
    HIViewRef view = nullptr;
    OSStatus err = HIViewFindByID(HIViewGetRoot(window), Item(BZ_PrefsDlgEtiIndexToItem(index)), &view);
    if (err != noErr) return err;
    refCon->etiHit[index].textCheckDelay = kTextCheckDelay;
    err = InstallEventHandler(GetControlEventTarget(view), DI_EtiEventHandler, 5, kinds, view,
                              &refCon->etiHit[index].eventHandler);
    if (err != noErr) return err;
    GL_HIViewNewTrackingAreaByID(window, Item(BZ_PrefsDlgEtiIndexToItem(index)), nullptr, 0, nullptr);
  }
  return noErr;
}

OSStatus BZ_PrefsDialogEventHandler(EventHandlerCallRef callRef, EventRef event, void *userData) {
  auto window = static_cast<WindowRef>(userData);
  DI_DlgRefCon *refCon = RefCon(window);
  if (refCon == nullptr) return eventNotHandledErr;
  OSStatus result = eventNotHandledErr;
  const UInt32 eventClass = GetEventClass(event), kind = GetEventKind(event);
  if (eventClass == kEventClassControl && kind == kEventControlHit) {
    ControlRef control = nullptr;
    GetEventParameter(event, kEventParamDirectObject, 'ctrl', nullptr, sizeof control, nullptr, &control);
    ControlID id{};
    if (GetControlID(control, &id) == noErr) {
      refCon->error = BZ_HandlePrefsDialogControlHit(window, &id);
      result = noErr;
      // Close is the dialog's own way out: the close handler saves what is pending.
      if (id.id == kBZ_PrefsCloseItem) {
        GL_SendWindowCloseEvent(window);
        return noErr;
      }
    }
  } else if (eventClass == kEventClassCommand && kind == kEventCommandProcess) {
    HICommand command{};
    GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command);
    if (command.commandID == kHICommandQuit) {
      refCon->quitting = true;
      const ControlID close = Item(kBZ_PrefsCloseItem);
      refCon->error = BZ_HandlePrefsDialogControlHit(window, &close);
      // The application ends before the save timer would fire: what is pending is saved now.
      SavePendingChanges(window);
    }
  } else if ((eventClass == kEventClassCommand && kind == kEventCommandUpdateStatus) ||
             (eventClass == kEventClassMenu && kind == kEventMenuEnableItems)) {
    result = CallNextEventHandler(callRef, event);
    EnableMenuCommand(nullptr, kHICommandQuit);
  } else if (eventClass == kEventClassWindow && kind == kEventWindowClose) {
    BZ_ClosePrefsDialog(window);
    return eventNotHandledErr;  // the standard handler disposes the window
  }
  if (BZ_GetPrefsWindow() == window && RefCon(window) != nullptr && RefCon(window)->error != noErr)
    GL_SendWindowCloseEvent(window);
  return result;
}

OSStatus BZ_HandlePrefsDialogControlHit(WindowRef window, const ControlID *controlID) {
  if (controlID == nullptr) return paramErr;
  const SInt32 item = controlID->id;
  OSStatus err = noErr;
  if (item == kBZ_PrefsHelpItem) {
    err = AHGotoPage(nullptr, CFSTR("html/General.html"), nullptr);
  } else if (item == kBZ_PrefsSoundItem) {
    CFStringRef name = nullptr;
    if ((err = GL_CopySelectedPopupTextByID(window, Item(kBZ_PrefsSoundItem), &name)) == noErr) {
      err = GL_PlaySystemSoundByName(name);
      CFRelease(name);
    }
  } else if (item == kBZ_PrefsDefaultsItem) {
    SInt32 tab = 1;
    if ((err = GetValue(window, kBZ_PrefsTabItem, &tab)) == noErr) err = BZ_SetDefaultAppPrefsInDialog(window, tab);
  }
  if (item != 0 && item != kBZ_PrefsHelpItem) {
    const OSStatus dependent = BZ_PrefsDlgHandleDependentItems(window, SInt16(item));
    if (err == noErr) err = dependent;
  }
  if (item != kBZ_PrefsTabItem && item != kBZ_PrefsHelpItem && item != 0) {
    if (BZ_PrefsDlgData *data = Data(window)) {
      data->anyChangeMade = true;
      if (data->changeTimer != nullptr) SetEventLoopTimerNextFireTime(data->changeTimer, kSaveDelay);
    }
  }
  return err;
}

OSStatus BZ_PrefsDlgHandleDependentItems(WindowRef window, SInt16 item) {
  OSStatus err = noErr;
  if (item == kBZ_PrefsNtscSafeItem) {
    Boolean safe = false;
    if ((err = GetBoolean(window, kBZ_PrefsNtscSafeItem, &safe)) != noErr) return err;
    for (SInt32 i = 2043; i <= 2045; ++i)
      if ((err = GL_ActivateDialogItemByID(window, Item(i), safe)) != noErr) return err;
  } else if (item == kBZ_PrefsTabItem) {
    SInt32 tab = 0;
    if (GetValue(window, kBZ_PrefsTabItem, &tab) != noErr) return noErr;
    for (SInt32 k = 1; k <= 3; ++k)
      if ((err = GL_ShowDialogItemByID(window, Item(kBZ_PrefsTabItem + k), k == tab)) != noErr) return err;
  } else if (item == kBZ_PrefsYuv2VideoRangeItem || item == kBZ_PrefsSanityCheckItem ||
             item == kBZ_PrefsGamma22Item || item == kBZ_PrefsHighlightsItem) {
    gBZ.dlgTaskData.inputSettChanged = true;
    if (item == kBZ_PrefsYuv2VideoRangeItem) {
      Boolean videoRange = false;
      if ((err = GetBoolean(window, kBZ_PrefsYuv2VideoRangeItem, &videoRange)) != noErr) return err;
      ApplyYuv2Gamma(videoRange);
    }
  }
  return BZ_SetDefaultAppPrefsButtonActive(window, item);
}

OSStatus BZ_SetDefaultAppPrefsButtonActive(WindowRef window, SInt16 itemHit) {
  if (itemHit == kBZ_PrefsDefaultsItem) return GL_ActivateDialogItemByID(window, Item(kBZ_PrefsDefaultsItem), false);
  SInt32 tab = 1;
  OSStatus err = GetValue(window, kBZ_PrefsTabItem, &tab);
  if (err != noErr) return err;
  BZ_AppPrefs prefs{};
  BZ_MakeDefaultAppPrefs(&prefs);
  if (prefs.successSound != nullptr) CFRelease(prefs.successSound);
  prefs.successSound = nullptr;
  err = BZ_GetAppPrefsFromDialog(window, &prefs);
  const Boolean differs = !BZ_AppPrefsEqualDefault(&prefs, tab);
  if (prefs.successSound != nullptr) CFRelease(prefs.successSound);
  if (err != noErr) return err;
  return GL_ActivateDialogItemByID(window, Item(kBZ_PrefsDefaultsItem), differs);
}

OSStatus BZ_GetAppPrefsFromDialog(WindowRef window, BZ_AppPrefs *prefs) {
  if (prefs == nullptr) return paramErr;
  OSStatus err = GetBoolean(window, kBZ_PrefsCopySoundItem, &prefs->copySound);
  if (err != noErr) return err;
  CFStringRef sound = nullptr;
  if ((err = GL_CopySelectedPopupTextByID(window, Item(kBZ_PrefsSoundItem), &sound)) != noErr) return err;
  if (prefs->successSound != nullptr) CFRelease(prefs->successSound);
  prefs->successSound = sound;
  if ((err = GetBoolean(window, kBZ_PrefsAnamorphicItem, &prefs->anamorphic1080)) != noErr) return err;
  if ((err = GetBoolean(window, kBZ_PrefsYuv2VideoRangeItem, &prefs->yuv2IsVideoRange)) != noErr) return err;
  if ((err = GetBoolean(window, kBZ_PrefsSanityCheckItem, &prefs->yuvSanityCheck)) != noErr) return err;
  if ((err = GetBoolean(window, kBZ_PrefsNtscSafeItem, &prefs->ntscSafeColors)) != noErr) return err;
  if ((err = GL_GetDialogItemTextIntByID(window, Item(kBZ_PrefsMaxIREItem), &prefs->maxIRE)) != noErr) return err;
  if ((err = GetBoolean(window, kBZ_PrefsGamma22Item, &prefs->alwaysGamma22)) != noErr) return err;
  if ((err = GetBoolean(window, kBZ_PrefsHighlightsItem, &prefs->preserveHighlights)) != noErr) return err;
  return GetValue(window, kBZ_PrefsOutputFolderItem, &prefs->outputFolderOption);
}

OSStatus BZ_SetAppPrefsInDialog(WindowRef window, SInt32 tab, const BZ_AppPrefs *prefs) {
  if (prefs == nullptr) return paramErr;
  OSStatus err = noErr;
  if (tab == 0 || tab == 1) {
    if ((err = SetValue(window, kBZ_PrefsAnamorphicItem, prefs->anamorphic1080)) != noErr) return err;
    if ((err = SetValue(window, kBZ_PrefsCopySoundItem, prefs->copySound)) != noErr) return err;
    if ((err = BZ_InitSuccessSound(window, prefs->successSound)) != noErr) return err;
  }
  if (tab == 0 || tab == 2) {
    if ((err = SetValue(window, kBZ_PrefsYuv2VideoRangeItem, prefs->yuv2IsVideoRange)) != noErr) return err;
    if ((err = SetValue(window, kBZ_PrefsSanityCheckItem, prefs->yuvSanityCheck)) != noErr) return err;
    if ((err = SetValue(window, kBZ_PrefsNtscSafeItem, prefs->ntscSafeColors)) != noErr) return err;
    if ((err = GL_SetDialogItemTextIntByID(window, Item(kBZ_PrefsMaxIREItem), prefs->maxIRE)) != noErr) return err;
    if ((err = SetValue(window, kBZ_PrefsGamma22Item, prefs->alwaysGamma22)) != noErr) return err;
    if ((err = SetValue(window, kBZ_PrefsHighlightsItem, prefs->preserveHighlights)) != noErr) return err;
  }
  if (tab == 0 || tab == 3) err = SetValue(window, kBZ_PrefsOutputFolderItem, prefs->outputFolderOption);
  return err;
}

OSStatus BZ_SetDefaultAppPrefsInDialog(WindowRef window, SInt32 tab) {
  BZ_AppPrefs prefs{};
  BZ_MakeDefaultAppPrefs(&prefs);
  PL_CFScoped<CFStringRef> sound(prefs.successSound);
  OSStatus err = BZ_SetAppPrefsInDialog(window, tab, &prefs);
  if (err != noErr) return err;
  return BZ_PrefsDlgHandleDependentItems(window, kBZ_PrefsNtscSafeItem);
}

OSStatus BZ_InitSuccessSound(WindowRef window, CFStringRef successSound) {
  MenuRef menu = nullptr;
  OSStatus err = GL_GetPopupMenuByID(window, Item(kBZ_PrefsSoundItem), &menu);
  if (err != noErr) return err;
  // A pop-up from the nib may come without a menu; it gets one of its own.
  const bool made = menu == nullptr;
  if (made && (err = CreateNewMenu(kBZ_PrefsSoundItem, 0, &menu)) != noErr) return err;
  if (CountMenuItems(menu) > 0) DeleteMenuItems(menu, 1, CountMenuItems(menu));
  FSRef *files = nullptr;
  ItemCount count = 0;
  if ((err = GL_GetSystemSoundFileList(&files, &count)) != noErr) return err;
  for (ItemCount i = 0; i < count && err == noErr; ++i) {
    HFSUniStr255 name{};
    err = FSGetCatalogInfo(&files[i], kFSCatInfoNone, nullptr, &name, nullptr, nullptr);
    if (err != noErr) break;
    UniCharCount length = name.length;
    for (UniCharCount k = name.length; k > 1; --k)
      if (name.unicode[k - 1] == '.') {
        length = k - 1;
        break;
      }
    PL_CFScoped<CFStringRef> text(CFStringCreateWithCharacters(nullptr, name.unicode, CFIndex(length)));
    err = AppendMenuItemTextWithCFString(menu, text.get(), 0, 0, nullptr);
  }
  DisposePtr(reinterpret_cast<Ptr>(files));
  HIViewRef view = nullptr;
  if (err == noErr) err = HIViewFindByID(HIViewGetRoot(window), Item(kBZ_PrefsSoundItem), &view);
  if (err != noErr) {
    if (made) DisposeMenu(menu);
    return err;
  }
  // The control shows the new menu and its count (it takes a menu made here).
  if (made) SetControlPopupMenuHandle(view, menu);
  SetControl32BitMaximum(view, SInt32(count));
  if (successSound == nullptr || count == 0) return noErr;
  return GL_SetSelectedPopupTextByID(window, Item(kBZ_PrefsSoundItem), successSound);
}

void BZ_PrefsDlgCheckETI(EventLoopTimerRef, void *userData) {
  auto window = static_cast<WindowRef>(userData);
  DI_DlgRefCon *refCon = RefCon(window);
  if (refCon == nullptr || refCon->etiHit == nullptr) return;
  bool corrected = false;
  UTCDateTime latest{};
  for (int index = 1; index <= refCon->numEtiItems; ++index) {
    DI_EtiData &eti = refCon->etiHit[index];
    if (!eti.hit) continue;
    eti.hit = false;
    const SInt32 item = BZ_PrefsDlgEtiIndexToItem(index);
    const UTCDateTime &t = eti.time;
    if (std::tie(t.highSeconds, t.lowSeconds, t.fraction) >= std::tie(latest.highSeconds, latest.lowSeconds, latest.fraction)) {
      latest = t;
      refCon->itemHit = SInt16(item);
    }
    CFStringRef text = nullptr;
    if (GL_CopyDialogItemTextByID(window, Item(item), &text) != noErr) continue;
    PL_CFScoped<CFStringRef> held(text);
    const ControlID id = Item(item);
    CFStringRef correct = nullptr;
    BZ_GetCorrectPrefsEtiText(&id, text, &correct);
    PL_CFScoped<CFStringRef> heldCorrect(correct);
    if (correct == nullptr || CFStringCompare(correct, text, 0) == kCFCompareEqualTo) continue;
    GL_SetDialogItemTextByID(window, Item(item), correct);
    if (CFStringGetIntValue(correct) != CFStringGetIntValue(text)) corrected = true;
  }
  if (corrected) SysBeep(30);
  refCon->anyEtiItemCorrected = corrected;
}

void BZ_SavePrefsChangeTimer(EventLoopTimerRef, void *userData) {
  auto window = static_cast<WindowRef>(userData);
  if (window == BZ_GetPrefsWindow() && RefCon(window) != nullptr) BZ_SaveAppPrefsSetInDialog(window);
}

OSStatus BZ_SaveAppPrefsSetInDialog(WindowRef window) {
  BZ_PrefsDlgData *data = Data(window);
  if (data == nullptr || !data->anyChangeMade) return noErr;
  BZ_AppPrefs prefs{};
  BZ_GetAppPrefs(&prefs);  // keeps the previous output folder, which the dialog does not show
  OSStatus err = BZ_GetAppPrefsFromDialog(window, &prefs);
  if (err == noErr) {
    BZ_SaveAppPrefs(&prefs);
    PL_CFScoped<CFStringRef> name(BZ_GetLogName());
    if (TXNObject log = LOG_GetTXNObject(name.get())) err = BZ_SetAppPrefsInLog(log);
  }
  if (prefs.successSound != nullptr) CFRelease(prefs.successSound);
  return err;
}

void BZ_GetCorrectPrefsEtiText(const ControlID *controlID, CFStringRef text, CFStringRef *correct) {
  if (correct == nullptr) return;
  *correct = nullptr;
  if (controlID == nullptr || text == nullptr) return;
  if (controlID->id != kBZ_PrefsMaxIREItem) {
    *correct = CFStringCreateCopy(nullptr, text);
    return;
  }
  const SInt32 value = std::clamp<SInt32>(CFStringGetIntValue(text), kBZ_MinMaxIRE, kBZ_DefaultMaxIRE);
  *correct = CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%ld"), value);
}

void BZ_ClosePrefsDialog(WindowRef window) {
  DI_DlgRefCon *refCon = RefCon(window);
  if (refCon == nullptr) return;
  SavePendingChanges(window);
  GL_SaveWindowPosition(window, &gBZ.savedWindowLoc[kBZ_PrefsWindowID]);
  const OSStatus error = refCon->error;
  DisposeRefCon(window);
  if (error != noErr) BZ_ShowError(error);
}
