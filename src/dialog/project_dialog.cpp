// The project dialog window: re-initialisation and activation of its controls.
#include "dialog/project_dialog.h"

#include "app/window_lookup.h"
#include "engine/runtime/engine_host.h"
#include "platform/core/cf_string.h"
#include "platform/core/classic_events.h"
#include "platform/core/window_refcons.h"
#include "toolkit/dialog_items.h"
#include "toolkit/edit_text_alerts.h"
#include "toolkit/menus.h"
#include "toolkit/windows.h"

#include <cstdlib>

namespace {

OSStatus SetItemValue(WindowRef window, SInt32 item, SInt32 value) {
  return GL_SetDialogItemValueByID(window, HIViewID{kBZ_DialogItemSignature, item}, value);
}

OSStatus SetItemActive(WindowRef window, SInt32 item, Boolean activate) {
  return GL_ActivateDialogItemByID(window, HIViewID{kBZ_DialogItemSignature, item}, activate);
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

OSStatus BZ_ReinitDialog(WindowRef window) {
  if (window == nullptr) return noErr;
  OSStatus err = SetItemValue(window, kBZ_MainTabItem, 1);
  if (err != noErr) return err;
  const BZ_CleaninSett *cleaning = gBZ.project != nullptr ? &gBZ.project->info.settings.cleaning : nullptr;
  if ((err = SetItemValue(window, kBZ_MethodTabItem, BZ_GetMethodTabForCleaningSett(cleaning))) != noErr) return err;
  if ((err = BZ_ReactivateControls(window, true)) != noErr) return err;
  return SetItemValue(window, kBZ_ProgressBarItem, 0);
}

OSStatus BZ_ReactivateControls(WindowRef window, Boolean activate) {
  if (window == nullptr) return noErr;
  static const SInt32 kFollowing[] = {kBZ_ProcessPaneItem, 2071, 2072, 2073, 2077, 2078, 2088,
                                      2051, 2052, 2053, 2054, 2055, 2056};
  static const SInt32 kOpposite[] = {2000, 2001, 2002, 2003};
  for (SInt32 item : kFollowing)
    if (OSStatus err = SetItemActive(window, item, activate); err != noErr) return err;
  for (SInt32 item : kOpposite)
    if (OSStatus err = SetItemActive(window, item, !activate); err != noErr) return err;
  return noErr;
}

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

OSStatus BZ_InitProjectDialog(WindowRef) { return noErr; }

OSStatus BZ_ProjDlgEventHandler(EventHandlerCallRef, EventRef event, void *) {
  if (GetEventClass(event) == kEventClassWindow) {
    const bool activated = GetEventKind(event) == kEventWindowActivated;
    GL_EnableMenuCommandByID(2003, 'MDtF', !activated);
  }
  return eventNotHandledErr;
}

OSStatus BZ_ProjDlgHandleAppActivate(WindowRef) { return noErr; }

OSStatus BZ_DisposeDialog() {
  WindowRef window = BZ_GetProjDlgWindow();
  if (window == nullptr) return noErr;
  auto *refCon = reinterpret_cast<DI_DlgRefCon *>(GetWRefCon(window));
  Point location{};
  if (GL_SaveWindowPosition(window, &location) == noErr) gBZ.savedWindowLoc[kBZ_ProjDlgWindowID] = location;
  if (refCon != nullptr && refCon->eventHandler != nullptr) RemoveEventHandler(refCon->eventHandler);
  DisposeWindow(window);
  std::free(refCon);
  return noErr;
}
