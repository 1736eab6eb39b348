// The Output pane of the project dialog.
#include "dialog/output_tab.h"

#include "engine/runtime/dialog_items.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_string.h"
#include "toolkit/dialog_items.h"

namespace {
HIViewID Item(SInt32 n) { return HIViewID{kBZ_DialogItemSignature, n}; }
}  // namespace

Boolean BZ_IsOutputHit(SInt32 item) { return item >= 2070 && item <= 2099; }

OSStatus BZ_ReactivateOutputControls(WindowRef window, int activate) {
  const struct {
    SInt32 item;
    Boolean active;
  } steps[] = {{2071, Boolean(activate != 0)}, {2072, Boolean(activate != 0)}, {2073, false},
               {2077, false}, {2078, Boolean(activate != 0)}, {2088, Boolean(activate != 0)}};
  for (const auto &step : steps)
    if (OSStatus err = GL_ActivateDialogItemByID(window, Item(step.item), step.active); err != noErr) return err;
  return noErr;
}

OSStatus BZ_ResetProgressBar(WindowRef window) {
  OSStatus err = GL_SetDialogItemValueByID(window, Item(kBZ_ProgressBarItem), 0);
  if (err == noErr) err = GL_SetDialogItemTextByID(window, Item(kBZ_ProgressStateTextItem), CFSTR("#frames"));
  if (err != noErr) return err;
  PL_CFScoped<CFStringRef> rate{
      CFBundleCopyLocalizedString(CFBundleGetMainBundle(), CFSTR("GL average rate"), CFSTR("GL average rate"), nullptr)};
  return GL_SetDialogItemTextByID(window, Item(kBZ_ProgressRateTextItem), rate.get());
}

OSStatus BZ_HandleOutputHit(WindowRef, SInt32) { return noErr; }
OSStatus BZ_InitExportMenu(WindowRef) { return noErr; }
