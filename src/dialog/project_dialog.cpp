// The project dialog window: re-initialisation and activation of its controls.
#include "dialog/project_dialog.h"

#include "engine/runtime/engine_host.h"
#include "toolkit/dialog_items.h"

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
