// The project dialog's tabs and methods, and the text naming the applied methods.
#include "dialog/method_types.h"

#include "app/window_lookup.h"
#include "dialog/preview_window.h"
#include "dialog/project_dialog.h"
#include "dialog/run_control.h"
#include "dialog/shortcuts_window.h"
#include "engine/runtime/dialog_items.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_string.h"
#include "platform/ui/text_views.h"
#include "toolkit/dialog_items.h"
#include "toolkit/text_objects.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct MethodRow {
  SInt32 firstItem, lastItem, applyBox;
  const char *nameKey;
};
// In tab order 1 to 6.
constexpr MethodRow kMethods[kBZ_NumMethods] = {
    {2100, 2149, 2110, "BZ Average"},       {2150, 2199, 2174, "BZ Reduce noise"},
    {2300, 2349, 2334, "BZ Remove logo"},   {2350, 2399, 2359, "BZ CrossLuma"},
    {2400, 2409, 2407, "BZ Varying brightness"}, {2500, 2517, 2514, "BZ Outliers"},
};

struct EtiRow {
  SInt32 item;
  bool isFloat;
};
// Index 1 to 27 at positions 0 to 26.
constexpr EtiRow kEtiItems[kBZ_NumEtiItems] = {
    {2104, true},  {2105, true},  {2153, true},  {2154, true},  {2155, true},  {2170, false}, {2171, false},
    {2172, false}, {2173, false}, {2300, false}, {2301, false}, {2302, false}, {2303, false}, {2321, true},
    {2323, true},  {2350, false}, {2351, false}, {2352, false}, {2353, false}, {2354, false}, {2355, false},
    {2356, true},  {2038, false}, {2039, false}, {2040, false}, {2041, false}, {2511, true},
};

constexpr RGBColor kBlack{0, 0, 0};
constexpr RGBColor kGrey{32767, 32767, 32767};
constexpr const char *kSeparator = " + ";

HIViewID Item(SInt32 n) { return HIViewID{kBZ_DialogItemSignature, n}; }

std::string Localized(const char *key) {
  PL_CFScoped<CFStringRef> k{CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8)};
  PL_CFScoped<CFStringRef> text{CFBundleCopyLocalizedString(CFBundleGetMainBundle(), k.get(), k.get(), nullptr)};
  if (text.get() == nullptr) return key;
  std::vector<char> utf8(size_t(CFStringGetLength(text.get())) * 4 + 1);
  if (!CFStringGetCString(text.get(), utf8.data(), CFIndex(utf8.size()), kCFStringEncodingUTF8)) return key;
  return utf8.data();
}

// Replaces the whole text by UTF-8 text.
OSStatus SetText(TXNObject txn, const std::string &utf8) {
  PL_CFScoped<CFStringRef> s{CFStringCreateWithCString(nullptr, utf8.c_str(), kCFStringEncodingUTF8)};
  if (s.get() == nullptr) return memFullErr;
  std::vector<UniChar> units(size_t(CFStringGetLength(s.get())));
  if (!units.empty()) CFStringGetCharacters(s.get(), CFRangeMake(0, CFIndex(units.size())), units.data());
  return TXNSetData(txn, kTXNUnicodeTextData, units.empty() ? nullptr : units.data(), units.size() * sizeof(UniChar),
                    kTXNStartOffset, kTXNEndOffset);
}

OSStatus ColourRange(TXNObject txn, TXNOffset start, TXNOffset end, const RGBColor &colour) {
  OSStatus err = TXNSetSelection(txn, start, end);
  return err != noErr ? err : TXN_SetColorInSelection(txn, &colour);
}

const BZ_CleaninSett *Cleaning() {
  return gBZ.project != nullptr ? &gBZ.project->info.settings.cleaning : nullptr;
}

}  // namespace

BZ_ProjDlgState *BZ_GetDialogStatePtr() { return gBZ.dlgData != nullptr ? &gBZ.dlgData->state : nullptr; }

OSStatus BZ_GetProcessTab(WindowRef window, long *processTab) {
  if (processTab == nullptr) return paramErr;
  SInt32 mainTab = 0;
  OSStatus err = GL_GetDialogItemValueByID(window, Item(kBZ_MainTabItem), &mainTab);
  if (err != noErr) return err;
  if (mainTab == 1) {
    *processTab = kBZ_InputProcessTab;
  } else if (mainTab == 3) {
    *processTab = kBZ_OutputProcessTab;
  } else if (mainTab == 2) {
    SInt32 methodTab = 0;
    if ((err = GL_GetDialogItemValueByID(window, Item(kBZ_MethodTabItem), &methodTab)) != noErr) return err;
    *processTab = methodTab;
  }
  return noErr;
}

UInt32 BZ_GetSelectedProcessTypes(const BZ_CleaninSett *cleaning) {
  if (cleaning == nullptr) return 0;
  UInt32 types = 0;
  if (cleaning->average.apply) types |= kBZ_AverageTypeFlag;
  if (cleaning->noiseRed.apply) types |= kBZ_NoiseRedTypeFlag;
  if (cleaning->removeLogo.apply) types |= kBZ_RlTypeFlag;
  if (cleaning->crossLuma.apply) types |= kBZ_CrossLumaTypeFlag;
  if (cleaning->varBr.apply) types |= kBZ_VarBrTypeFlag;
  if (cleaning->ou.apply) types |= kBZ_OutlierTypeFlag;
  return types;
}

Boolean BZ_AtLeastOneProcessApplied(const BZ_CleaninSett *cleaning) { return BZ_GetSelectedProcessTypes(cleaning) != 0; }

UInt32 BZ_ItemHitToProcessType(SInt32 itemHit) {
  for (SInt32 k = 0; k < kBZ_NumMethods; ++k)
    if (itemHit >= kMethods[k].firstItem && itemHit <= kMethods[k].lastItem) return UInt32(1) << (k + 1);
  return 0;
}

Boolean BZ_IsApplyButton(SInt32 item) { return BZ_ApplyButtonToProcessType(item) != 0; }

UInt32 BZ_ApplyButtonToProcessType(SInt32 item) {
  for (SInt32 k = 0; k < kBZ_NumMethods; ++k)
    if (item == kMethods[k].applyBox) return UInt32(1) << (k + 1);
  return 0;
}

SInt32 BZ_TypeFlagToProcessTab(UInt32 flag) {
  for (SInt32 n = 0; n < 32; ++n)
    if ((UInt32(1) << n) == flag) return n;
  return 0;
}

UInt32 BZ_GetFirstSelectedType(UInt32 types) { return types & (~types + 1); }

SInt32 BZ_ProjDlgEtiIndexToItem(SInt32 etiIndex) {
  return etiIndex >= 1 && etiIndex <= kBZ_NumEtiItems ? kEtiItems[etiIndex - 1].item : 0;
}

SInt32 BZ_ProjDlgItemToEtiIndex(SInt32 item) {
  for (SInt32 i = 0; i < kBZ_NumEtiItems; ++i)
    if (kEtiItems[i].item == item) return i + 1;
  return 0;
}

Boolean BZ_ItemIsNumericFloat(SInt32 item) {
  const SInt32 index = BZ_ProjDlgItemToEtiIndex(item);
  return index != 0 && kEtiItems[index - 1].isFloat;
}

Boolean BZ_ItemIsNumericInt(SInt32 item) {
  const SInt32 index = BZ_ProjDlgItemToEtiIndex(item);
  return index != 0 && !kEtiItems[index - 1].isFloat;
}

SInt32 BZ_EtiIndexToSliderItem(SInt32 etiIndex) { return etiIndex == 14 ? kBZ_LogoSliderItem : 0; }

UInt32 BZ_GetSliderValue(SInt32 etiIndex, float value) {
  if (etiIndex != 14) return 0xFFFFFFFFu;
  // In double: (1.0f - 0.6) * 250 is 100 exactly there, 99.99... in single precision.
  const double position = std::trunc(250.0 * (double(value) - 0.6));
  if (!(position > 0)) return 0;
  return position >= 4294967295.0 ? 0xFFFFFFFFu : UInt32(position);
}

Boolean BZ_IsLogoCoordinateETI(SInt32 etiIndex) { return etiIndex >= 10 && etiIndex <= 13; }

OSStatus BZ_SelectFirstAppliedProcessType(WindowRef window) {
  const UInt32 selected = BZ_GetSelectedProcessTypes(Cleaning());
  if (selected == 0) return noErr;
  SInt32 shown = 0;
  OSStatus err = GL_GetDialogItemValueByID(window, Item(kBZ_MethodTabItem), &shown);
  if (err != noErr) return err;
  if (shown >= 1 && shown < 32 && (selected & (UInt32(1) << shown)) != 0) return noErr;
  err = GL_SetDialogItemValueByID(window, Item(kBZ_MethodTabItem), BZ_TypeFlagToProcessTab(BZ_GetFirstSelectedType(selected)));
  if (err != noErr) return err;
  HIViewID tab = Item(kBZ_MethodTabItem);
  return BZ_HandleItemHitSimple(window, &tab);
}

OSStatus BZ_FindAppliedTypesOffsets(WindowRef window, TXNObject txnObj, UInt32 selectedTypes,
                                    UInt32 validSelectedTypes, TXNOffset startOffsets[kBZ_NumMethods],
                                    TXNOffset endOffsets[kBZ_NumMethods]) {
  if (txnObj == nullptr || startOffsets == nullptr || endOffsets == nullptr) return paramErr;
  // Measured in the view itself, out of sight.
  OSStatus err = GL_ShowDialogItemByID(window, Item(kBZ_AppliedMethodsItem), false);
  if (err != noErr) return err;
  startOffsets[0] = 0;
  std::string upToHere;
  for (SInt32 k = 0; k < kBZ_NumMethods && err == noErr; ++k) {
    const UInt32 flag = UInt32(1) << (k + 1);
    if ((selectedTypes & flag) == 0) {
      endOffsets[k] = startOffsets[k];
    } else {
      if (!upToHere.empty()) upToHere += kSeparator;
      upToHere += Localized(kMethods[k].nameKey);
      const bool laterSelected = (selectedTypes & ~((flag << 1) - 1)) != 0;
      if ((err = SetText(txnObj, laterSelected ? upToHere + kSeparator : upToHere)) != noErr) break;
      TXNSelectAll(txnObj);
      TXNOffset start = 0, end = 0;
      TXNGetSelection(txnObj, &start, &end);
      endOffsets[k] = end;
      if (validSelectedTypes & flag) endOffsets[k] = startOffsets[k];
      if (k < kBZ_NumMethods - 1) startOffsets[k + 1] = end;
      continue;
    }
    if (k < kBZ_NumMethods - 1) startOffsets[k + 1] = startOffsets[k];
  }
  const OSStatus shown = GL_ShowDialogItemByID(window, Item(kBZ_AppliedMethodsItem), true);
  return err != noErr ? err : shown;
}

OSStatus BZ_HandleApplyBoxHit(WindowRef window) {
  UInt32 valid = 0;
  OSStatus err = BZ_GetValidSelectedProcessTypes(Cleaning(), &valid);
  if (err != noErr) return err;
  const UInt32 selected = BZ_GetSelectedProcessTypes(Cleaning());
  HIViewRef view = nullptr;
  if ((err = HIViewFindByID(HIViewGetRoot(window), Item(kBZ_AppliedMethodsItem), &view)) != noErr) return err;
  TXNObject txn = HITextViewGetTXNObject(view);
  if (txn == nullptr) return paramErr;
  if ((err = TXN_SetReadOnly(txn, 0)) != noErr) return err;
  if (gBZ.dlgData != nullptr && BZ_IsApplyButton(gBZ.dlgData->itemHit) &&
      (selected & BZ_ApplyButtonToProcessType(gBZ.dlgData->itemHit)) == 0 &&
      (err = BZ_SelectFirstAppliedProcessType(window)) != noErr)
    return err;
  if ((err = SetText(txn, std::string())) != noErr) return err;
  if ((err = TXN_SetColorInSelection(txn, &kBlack)) != noErr) return err;
  if (selected != 0) {
    TXNOffset starts[kBZ_NumMethods] = {}, ends[kBZ_NumMethods] = {};
    if ((err = BZ_FindAppliedTypesOffsets(window, txn, selected, valid, starts, ends)) != noErr) return err;
    std::string text;
    for (SInt32 k = 0; k < kBZ_NumMethods; ++k)
      if (selected & (UInt32(1) << (k + 1))) text += Localized(kMethods[k].nameKey) + kSeparator;
    text.resize(text.size() - 3);  // the last " + "
    if ((err = SetText(txn, text)) != noErr) return err;
    if ((err = ColourRange(txn, kTXNStartOffset, kTXNEndOffset, kBlack)) != noErr) return err;
    for (SInt32 k = 0; k < kBZ_NumMethods; ++k)
      if (ends[k] > starts[k] && (err = ColourRange(txn, starts[k], ends[k], kGrey)) != noErr) return err;
    TXNSetSelection(txn, kTXNEndOffset, kTXNEndOffset);
  } else {
    if ((err = SetText(txn, Localized("BZ Applied cleaning methods"))) != noErr) return err;
    if ((err = ColourRange(txn, kTXNStartOffset, kTXNEndOffset, kBlack)) != noErr) return err;
    TXNSetSelection(txn, kTXNEndOffset, kTXNEndOffset);
  }
  if ((err = TXN_SetReadOnly(txn, 1)) != noErr) return err;
  return BZ_EnableShortcutsButton(window);
}

OSStatus BZ_AddAppliedProcessText(TXNObject txnObj, const char *text, UInt32 validSelectedType) {
  if (txnObj == nullptr || text == nullptr) return paramErr;
  TXNOffset start = 0, end = 0;
  TXNSetSelection(txnObj, kTXNEndOffset, kTXNEndOffset);
  TXNGetSelection(txnObj, &start, &end);
  OSStatus err = TXN_AddText(txnObj, const_cast<char *>(text), long(std::strlen(text)));
  if (err != noErr) return err;
  return ColourRange(txnObj, start, kTXNEndOffset, validSelectedType != 0 ? kBlack : kGrey);
}

OSStatus BZ_DisablePreview(WindowRef window) {
  if (WindowRef preview = BZ_GetPreviewWindow())
    if (OSStatus err = BZ_ClosePreview(preview); err != noErr) return err;
  return GL_ActivateDialogItemByID(window, Item(kBZ_PreviewButtonItem), false);
}

OSStatus BZ_ActivateDialogItemByID(WindowRef window, const HIViewID *controlID, Boolean activate) {
  if (controlID == nullptr) return paramErr;
  HIViewRef view = nullptr;
  OSStatus err = HIViewFindByID(HIViewGetRoot(window), *controlID, &view);
  if (err != noErr) return err;
  if (!activate) {
    ControlRef focus = nullptr;
    GetKeyboardFocus(window, &focus);
    // The focus moves on before its control goes inactive.
    if (focus == view && (err = SetKeyboardFocus(window, view, kControlFocusNoPart)) != noErr) return err;
  }
  return HIViewSetActivated(view, activate);
}
