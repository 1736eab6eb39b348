// The method panes of the project dialog.
#include "dialog/method_tabs.h"

#include "engine/runtime/dialog_items.h"
#include "methods/logo_params.h"
#include "toolkit/dialog_items.h"

namespace {
HIViewID Item(SInt32 n) { return HIViewID{kBZ_DialogItemSignature, n}; }
}  // namespace

Boolean BZ_IsRlHit(SInt32 item) { return item >= 2300 && item <= 2349; }
Boolean BZ_IsOutlierHit(SInt32 item) { return item >= 2500 && item <= 2517; }
Boolean BZ_IsRedNoiseHit(SInt32 item) { return item >= 2150 && item <= 2199; }
Boolean BZ_IsFadeItem(SInt32 item) { return item >= 2329 && item <= 2333; }

OSStatus BZ_EmbedReduceNoiseItems(WindowRef window) {
  OSStatus err = GL_EmbedSubgroup(window, kBZ_DialogItemSignature, Item(2156), 2166, 2173, 2165);
  if (err != noErr) return err;
  return GL_EmbedSubgroup(window, kBZ_DialogItemSignature, Item(2156), 2158, 2165, 2157);
}

OSStatus BZ_EmbedRlItems(WindowRef window) {
  OSStatus err = GL_EmbedSubgroup(window, kBZ_DialogItemSignature, Item(2053), 2325, 2328, 2324);
  if (err == noErr) err = GL_EmbedSubgroup(window, kBZ_DialogItemSignature, Item(2329), 2331, 2333, 2330);
  if (err == noErr) err = GL_EmbedSubgroup(window, kBZ_DialogItemSignature, Item(2053), 2318, 2323, 2317);
  static const SInt32 kMaskItems[] = {2310, 2311, 2312, 2313, 2314, 2315, 2316, 2317, 2324};
  if (err == noErr) err = GL_EmbedSubgroupArray(window, kBZ_DialogItemSignature, Item(2053), 9, kMaskItems, 2309);
  if (err == noErr) err = GL_HIViewSetZOrderByID(window, Item(2309), kHIViewZOrderBelow, HIViewID{0, 0});
  return err;
}

OSStatus BZ_HandleAvSecondMovieChoice(WindowRef) { return noErr; }
OSStatus BZ_HandleNoiseRedHit(WindowRef, SInt32) { return noErr; }
OSStatus BZ_HandleRlHit(WindowRef, SInt32) { return noErr; }
OSStatus BZ_HandleOuHit(WindowRef, SInt32) { return noErr; }
OSStatus BZ_RlRemoveMaskPic() { return noErr; }
Boolean BZ_ProjDlgHasLogoMaskPic() {
  const BZ_RlDlgTaskData *logo = gBZ.dlgTaskData.rlDlgTaskData;
  return logo != nullptr && logo->logoMaskPic != nullptr;
}
