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

SInt32 BZ_BufferInfoToChasingArrows(const BZ_BuffInfo *buffInfo) {
  if (buffInfo == nullptr) return 0;
  switch (buffInfo->type) {
    case kBZ_CopyTaskType: return buffInfo->fileNum == 0 ? 2031 : buffInfo->fileNum == 1 ? 2112 : 0;
    case kBZ_ComprTaskType: case kBZ_WriteTaskType: return 2089;
    case kBZ_AverageTaskType: return 2112;
    case kBZ_VarBrTaskType: return 2409;
    case kBZ_NoiseRedTaskType: return 2176;
    case kBZ_RlTaskType: return 2336;
    case kBZ_CrossLumaTaskType: return 2361;
    case kBZ_OutlierTaskType: return 2517;
    default: return 0;
  }
}

namespace {

// Whether the stage is busy measuring while no project executes.
bool Measuring(const BZ_ProjDlgState &state, const BZ_BuffInfo &stage) {
  const bool numbered = stage.number >= 0 && stage.number < kBZ_MaxNumStages;
  if (numbered && (state.findingNoiseLevel[stage.number] || state.findingFrameDiff[stage.number])) return true;
  switch (stage.type) {
    case kBZ_CopyTaskType:
      return stage.fileNum >= 0 && stage.fileNum < kBZ_MaxNumFiles && state.findingWhiteLinePiece[stage.fileNum];
    case kBZ_AverageTaskType: return state.findingBestShift || state.findingBestWeight;
    case kBZ_NoiseRedTaskType: return state.calcRedNoiseBestSett;
    case kBZ_RlTaskType: return state.findingLogo;
    case kBZ_VarBrTaskType: return state.analyzingVarBr;
    default: return false;
  }
}

}  // namespace

OSStatus BZ_ActivateChasingArrows() {
  WindowRef window = BZ_GetProjDlgWindow();
  BZ_ProjDlgState *state = BZ_GetDialogStatePtr();
  BZ_ProjPtr project = gBZ.project;
  if (window == nullptr || state == nullptr || project == nullptr) return noErr;
  const bool executing = project->state.exec >= kBZ_ProjStateBeingOpened;
  for (const BZ_BuffInfo &stage : project->dynIO_Info.buffInfo) {
    if (stage.type == kBZ_NoTaskType) break;
    const SInt32 item = BZ_BufferInfoToChasingArrows(&stage);
    if (item == 0) continue;
    const Boolean animate = executing || Measuring(*state, stage);
    OSStatus err = GL_SetChasingArrowsAnimatingByID(window, Item(item), animate);
    if (err == noErr) err = GL_SetNeedsDisplayByID(window, Item(item), true);
    if (err != noErr) return err;
  }
  return noErr;
}

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
