// The custom events from tasks (see the header).
#include "app/custom_events.h"

#include "app/window_lookup.h"
#include "engine/runtime/stage_access.h"
#include "methods/logo_mask_ui.h"
#include "methods/logo_stage.h"
#include "toolkit/dialog_items.h"

namespace {

BZ_RlParams *RlParamsOf(EventRef event) {
  BZ_RlParams *params = nullptr;
  GetEventParameter(event, kBZ_RlParamsEventParam, kBZ_RlParamsEventParam, nullptr, sizeof params, nullptr, &params);
  return params;
}

// The stage's failure is the project's; the stage reads it once it runs on.
void KeepError(OSStatus err) {
  if (err != noErr && gBZ.project != nullptr) BZ_KeepFirstError(gBZ.project, err);
}

// The logo stage waits on its semaphore for the main thread: released whatever the result.
void SignalLogoStage() {
  if (gBZ.project == nullptr) return;
  BZ_BuffInfo *logo = BZ_GetBufferInfoByStageType(gBZ.project->dynIO_Info.buffInfo, kBZ_RlTaskType, 0);
  if (logo != nullptr && logo->semaphore != nullptr) MPSignalSemaphore(logo->semaphore);
}

}  // namespace

OSStatus BZ_HandleCustomApplicationEvent(EventRef event, UInt32 eventKind) {
  switch (eventKind) {
    case kBZ_GetFadeFrameNumbersEvent:
      KeepError(BZ_RlGetFadeFrameNumbers(gBZ.project, RlParamsOf(event)));
      SignalLogoStage();
      break;
    case kBZ_SetLogoMaskPicEvent:
      KeepError(BZ_RlSetMaskPicture(BZ_GetProjDlgWindow(), RlParamsOf(event)));
      SignalLogoStage();
      break;
    case kBZ_SetLogoTransparencyEvent:
      if (gBZ.project != nullptr && BZ_GetProjDlgWindow() != nullptr)
        KeepError(GL_SetDialogItemTextFloatByID(BZ_GetProjDlgWindow(), HIViewID{'Orl1', kBZ_RlTransparencyItem},
                                                gBZ.project->info.settings.cleaning.removeLogo.transparency));
      break;
    default:
      break;
  }
  return noErr;
}
