// The busy indicators, bottom buttons, defaults buttons and example window of the project dialog.
#include "dialog/busy_indicators.h"

#include "app/window_lookup.h"
#include "dialog/method_types.h"
#include "dialog/settings_transfer.h"
#include "engine/runtime/dialog_items.h"
#include "toolkit/dialog_items.h"

namespace {
HIViewID Item(SInt32 n) { return HIViewID{kBZ_DialogItemSignature, n}; }
}  // namespace

OSStatus BZ_ActivateChasingArrows() { return noErr; }

OSStatus BZ_StopChasingArrows(WindowRef window) {
  for (SInt32 item : {2031, 2112, 2176, 2336, 2361, 2409, 2517, 2089})
    if (OSStatus err = GL_SetChasingArrowsAnimatingByID(window, Item(item), false); err != noErr) return err;
  return noErr;
}

OSStatus BZ_ActivateBottomButtons(WindowRef window, int processing) {
  const struct {
    SInt32 item;
    Boolean active;
  } steps[] = {{2000, false}, {2001, Boolean(processing != 0)}, {2002, false}, {2003, false},
               {2004, Boolean(processing == 0)}};
  for (const auto &step : steps)
    if (OSStatus err = GL_ActivateDialogItemByID(window, Item(step.item), step.active); err != noErr) return err;
  return noErr;
}

Boolean BZ_IsDefaultButton(SInt32 item) {
  switch (item) {
    case 2030: case 2088: case 2111: case 2175: case 2335: case 2360: case 2516:
      return true;
    default:
      return false;
  }
}

OSStatus BZ_HandleDefaultButtonHit(WindowRef window, SInt32 item) {
  switch (item) {
    case 2030: return BZ_ProjDlgMakeDefaultInputSett(window);
    case 2088: return BZ_ProjDlgMakeDefaultOutputSett(window);
    case 2111: return BZ_ProjDlgMakeDefaultAvSett(window);
    case 2175: return BZ_ProjDlgMakeDefaultNrSett(window);
    case 2335: return BZ_ProjDlgMakeDefaultRlSett(window);
    case 2360: return BZ_ProjDlgMakeDefaultClSett(window);
    case 2516: return BZ_ProjDlgMakeDefaultOuSett(window);
    default: return noErr;
  }
}

OSStatus BZ_ActivateDefaultsButtonByTaskType(BZ_TaskType taskType) {
  BZ_ProjDlgState *state = BZ_GetDialogStatePtr();
  if (state == nullptr) return noErr;
  switch (taskType) {
    case kBZ_ReadTaskType: case kBZ_CopyTaskType: state->neededUpdates |= kBZ_InputSettUpdate; break;
    case kBZ_ComprTaskType: case kBZ_WriteTaskType: state->neededUpdates |= kBZ_OutputSettUpdate; break;
    case kBZ_AverageTaskType: state->neededUpdates |= kBZ_AverageTypeFlag; break;
    case kBZ_VarBrTaskType: state->neededUpdates |= kBZ_VarBrTypeFlag; break;
    case kBZ_NoiseRedTaskType: state->neededUpdates |= kBZ_NoiseRedTypeFlag; break;
    case kBZ_RlTaskType: state->neededUpdates |= kBZ_RlTypeFlag; break;
    case kBZ_CrossLumaTaskType: state->neededUpdates |= kBZ_CrossLumaTypeFlag; break;
    case kBZ_OutlierTaskType: state->neededUpdates |= kBZ_OutlierTypeFlag; break;
    default: break;
  }
  return BZ_ProjDlgUpdateSettingsInDlg(BZ_GetProjDlgWindow());
}
OSStatus BZ_ActivateExampleButton(WindowRef) { return noErr; }
OSStatus BZ_SetExamplePictures(WindowRef) { return noErr; }
OSStatus BZ_ShowExample(WindowRef) { return noErr; }
OSStatus BZ_CloseExampleWindow() { return noErr; }
