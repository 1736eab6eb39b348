// The checks of the project dialog's numeric edit texts (see the header).
#include "dialog/edit_text_checks.h"

#include "dialog/method_types.h"
#include "dialog/project_dialog.h"
#include "engine/runtime/project_types.h"
#include "platform/core/cf_string.h"
#include "platform/core/standard_alerts.h"
#include "platform/core/window_refcons.h"
#include "toolkit/dialog_items.h"
#include "toolkit/edit_text_alerts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <tuple>

namespace {

HIViewID Item(SInt32 n) { return HIViewID{kBZ_DialogItemSignature, n}; }

DI_DlgRefCon *RefCon(WindowRef window) {
  return window != nullptr ? reinterpret_cast<DI_DlgRefCon *>(GetWRefCon(window)) : nullptr;
}

// The rectangle an item belongs to (its first item), 0 for other items.
SInt32 RectFirstItem(SInt32 item) {
  for (SInt32 first : {2038, 2170, 2300})
    if (item >= first && item < first + 4) return first;
  return 0;
}

template <typename Sett>  // BZ_ProjSett, const or not
auto SettingsRect(Sett &s, SInt32 first) -> decltype(&s.input.cropRect) {
  switch (first) {
    case 2038: return &s.input.cropRect;
    case 2170: return &s.cleaning.noiseRed.selRect;
    case 2300: return &s.cleaning.removeLogo.logoRect;
    default: return nullptr;
  }
}

// Coordinate i (top, left, bottom, right) of the rectangle.
template <typename R>  // Rect, const or not
auto Coordinate(R &r, SInt32 i) -> decltype((r.top)) {
  switch (i) {
    case 0: return r.top;
    case 1: return r.left;
    case 2: return r.bottom;
    default: return r.right;
  }
}

CFStringRef Format(bool isFloat, double value) {
  char text[64];
  if (isFloat)
    std::snprintf(text, sizeof text, "%.2f", value);
  else
    std::snprintf(text, sizeof text, "%ld", long(value));
  return CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
}

double Number(CFStringRef text, bool isFloat) {
  if (text == nullptr) return 0;
  return isFloat ? CFStringGetDoubleValue(text) : double(CFStringGetIntValue(text));
}

bool Later(const UTCDateTime &a, const UTCDateTime &b) {
  return std::tie(a.highSeconds, a.lowSeconds, a.fraction) > std::tie(b.highSeconds, b.lowSeconds, b.fraction);
}

}  // namespace

OSStatus BZ_InstallProjDlgEtiFilters(WindowRef window) {
  DI_DlgRefCon *refCon = RefCon(window);
  if (refCon == nullptr) return paramErr;
  BZ_RemoveProjDlgEtiFilters(window);
  refCon->numEtiItems = kBZ_NumEtiItems;
  refCon->etiHit = new (std::nothrow) DI_EtiData[kBZ_NumEtiItems + 1]{};
  if (refCon->etiHit == nullptr) return memFullErr;
  refCon->numericItems = DI_NumericItems{kBZ_NumEtiItems, BZ_ProjDlgEtiIndexToItem, BZ_ProjDlgItemToEtiIndex};
  static const EventTypeSpec kinds[] = {{kEventClassControl, kEventControlTrackingAreaEntered},
                                        {kEventClassControl, kEventControlTrackingAreaExited},
                                        {kEventClassTextField, kEventTextAccepted},
                                        {kEventClassTextField, kEventTextDidChange},
                                        {kEventClassTextField, kEventTextShouldChangeInRange}};
  for (SInt32 index = 1; index <= kBZ_NumEtiItems; ++index) {
    const HIViewID id = Item(BZ_ProjDlgEtiIndexToItem(index));
    HIViewRef view = nullptr;
    OSStatus err = HIViewFindByID(HIViewGetRoot(window), id, &view);
    if (err != noErr) return err;
    DI_EtiData &eti = refCon->etiHit[index];
    eti.textCheckDelay = kBZ_ProjDlgTextCheckDelay;
    if ((err = InstallEventHandler(GetControlEventTarget(view), DI_EtiEventHandler, 5, kinds, view,
                                   &eti.eventHandler)) != noErr)
      return err;
    GL_HIViewNewTrackingAreaByID(window, id, nullptr, 0, nullptr);
  }
  return noErr;
}

void BZ_RemoveProjDlgEtiFilters(WindowRef window) {
  DI_DlgRefCon *refCon = RefCon(window);
  if (refCon == nullptr || refCon->etiHit == nullptr) return;
  for (int index = 1; index <= refCon->numEtiItems; ++index)
    if (refCon->etiHit[index].eventHandler != nullptr) RemoveEventHandler(refCon->etiHit[index].eventHandler);
  delete[] refCon->etiHit;
  refCon->etiHit = nullptr;
  refCon->numEtiItems = 0;
}

void BZ_GetEtiValue(const BZ_ProjSett *settings, SInt32 item, SInt32 *intValue, float *floatValue) {
  if (settings == nullptr || intValue == nullptr || floatValue == nullptr) return;
  const BZ_CleaninSett &c = settings->cleaning;
  if (const SInt32 first = RectFirstItem(item)) {
    *intValue = Coordinate(*SettingsRect(*settings, first), item - first);
    return;
  }
  switch (item) {
    case 2104: *floatValue = float(c.average.shift); return;
    case 2105: *floatValue = float(c.average.weight); return;
    case 2153: case 2154: case 2155: *floatValue = c.noiseRed.noiseLevel[item - 2153]; return;
    case 2321: *floatValue = float(c.removeLogo.minBackGrUnif); return;
    case 2323: *floatValue = float(c.removeLogo.transparency); return;
    case 2350: *intValue = c.crossLuma.constChromaTestLen; return;
    case 2351: *intValue = c.crossLuma.minConstChromaLen; return;
    case 2352: *intValue = c.crossLuma.maxChromaStddev; return;
    case 2353: *intValue = c.crossLuma.extent; return;
    case 2354: *intValue = c.crossLuma.minStddev; return;
    case 2355: *intValue = c.crossLuma.maxStddev; return;
    case 2356: *floatValue = float(c.crossLuma.percentage); return;
    case 2511: *floatValue = c.ou.scratchWidth; return;
    default: return;
  }
}

OSStatus BZ_GetCorrectEtiText(WindowRef, const HIViewID *controlID, CFStringRef falseEntry,
                              CFStringRef *correctEntry) {
  if (controlID == nullptr || correctEntry == nullptr) return paramErr;
  *correctEntry = nullptr;
  if (gBZ.project == nullptr) return noErr;
  BZ_ProjSett &s = gBZ.project->info.settings;
  const BZ_StatMovInfo *movie = &gBZ.project->info.statMovInfo[0];
  const SInt32 item = controlID->id;
  const bool isFloat = BZ_ItemIsNumericFloat(item);
  double v = Number(falseEntry, isFloat);
  auto clamp = [&](double low, double high) { v = std::clamp(v, low, high); };
  if (const SInt32 first = RectFirstItem(item)) {
    Rect &r = *SettingsRect(s, first);
    Coordinate(r, item - first) = SInt16(std::clamp(v, -32768.0, 32767.0));
    if (first == 2038)
      BZ_ValidateInputSett(&s.input, true);
    else if (first == 2170)
      BZ_NrValidateSelRect(movie, &r, true);
    else
      BZ_RlValidateLogoRect(movie->height, movie->width, true, &r);
    v = Coordinate(r, item - first);
  } else {
    switch (item) {
      case 2104: if (v < -7 || v > 7) v = 0; break;
      case 2105: clamp(0, 1); break;
      case 2153: case 2154: case 2155: clamp(0.1, 40); break;
      case 2321: clamp(0.6, 1); break;
      // The pair keeps 2 apart, measured against the settings as they were before this check.
      case 2350: clamp(4, 20); v = std::min(v, double(s.cleaning.crossLuma.minConstChromaLen - 2)); break;
      case 2351: clamp(6, 40); v = std::max(v, double(s.cleaning.crossLuma.constChromaTestLen + 2)); break;
      case 2352: clamp(1, 40); break;
      case 2353: clamp(8, 40); break;
      case 2354: clamp(0, 40); break;
      case 2355: clamp(1, 100); break;
      case 2356: clamp(0, 1); break;
      case 2511: clamp(1, 10); break;
      default: break;
    }
  }
  *correctEntry = Format(isFloat, v);
  return *correctEntry != nullptr ? OSStatus(noErr) : OSStatus(memFullErr);
}

void BZ_ProjDlgCheckETI(EventLoopTimerRef, void *data) {
  auto window = static_cast<WindowRef>(data);
  DI_DlgRefCon *refCon = RefCon(window);
  BZ_ProjDlgData *dlgData = gBZ.dlgData;
  if (refCon == nullptr || refCon->etiHit == nullptr || dlgData == nullptr || gBZ.project == nullptr) return;
  BZ_ProjSett &settings = gBZ.project->info.settings;
  bool corrected = false;
  UTCDateTime latest{};
  SInt32 latestItem = 0;
  for (SInt32 index = 1; index <= refCon->numEtiItems; ++index) {
    DI_EtiData &eti = refCon->etiHit[index];
    if (!eti.hit) continue;
    eti.hit = false;
    const SInt32 item = BZ_ProjDlgEtiIndexToItem(index);
    if (latestItem == 0 || Later(eti.time, latest)) {
      latest = eti.time;
      latestItem = item;
    }
    BZ_MarkForUpdate(&dlgData->state, item);
    BZ_GetEtiValue(&settings, item, &dlgData->savedIntEtiValue, &dlgData->savedFloatEtiValue);
    const SInt32 first = RectFirstItem(item);
    if (first != 0) GL_GetRectValuesFromDialog(window, kBZ_DialogItemSignature, SInt16(first), SettingsRect(settings, first));
    CFStringRef typed = nullptr;
    if (GL_CopyDialogItemTextByID(window, Item(item), &typed) != noErr) continue;
    PL_CFScoped<CFStringRef> heldTyped(typed);
    const HIViewID id = Item(item);
    CFStringRef correct = nullptr;
    if (BZ_GetCorrectEtiText(window, &id, typed, &correct) != noErr || correct == nullptr) continue;
    PL_CFScoped<CFStringRef> heldCorrect(correct);
    const bool isFloat = BZ_ItemIsNumericFloat(item);
    if (CFStringCompare(typed, correct, 0) != kCFCompareEqualTo || first != 0) {
      const double before = Number(typed, isFloat), after = Number(correct, isFloat);
      if (isFloat ? std::fabs(before - after) >= 0.0001 : before != after) corrected = true;
      if (first != 0)
        GL_SetRectValuesInDialogPreservingAllSelected(window, kBZ_DialogItemSignature, SInt16(first),
                                                      SettingsRect(settings, first));
      else
        GL_SetDialogItemTextPreservingAllSelectedByID(window, id, correct);
    }
    if (const SInt32 slider = BZ_EtiIndexToSliderItem(index)) {
      const double number = isFloat ? Number(correct, true) : double(CFStringGetIntValue(correct));
      GL_SetDialogItemValueByID(window, Item(slider), SInt32(BZ_GetSliderValue(index, float(number))));
    }
  }
  if (corrected) SysBeep(30);
  refCon->anyEtiItemCorrected = corrected;
  const SInt32 itemHit = latestItem != 0 ? latestItem : 2000;
  refCon->itemHit = SInt16(itemHit);
  dlgData->itemHit = SInt16(itemHit);
  if (OSStatus err = BZ_ProjDlgHandleDependentItems(window, true); err != noErr)
    BZ_KeepFirstError(gBZ.project, err);
}

OSStatus BZ_SetFocus(WindowRef window) {
  if (window == nullptr) return noErr;
  ControlRef focused = nullptr;
  if (GetKeyboardFocus(window, &focused) == noErr && focused != nullptr && IsControlVisible(focused) &&
      IsControlActive(focused))
    return noErr;
  // The pane shown is the one whose items are visible: its first active edit text takes the focus.
  for (SInt32 index = 1; index <= kBZ_NumEtiItems; ++index) {
    const HIViewID id = Item(BZ_ProjDlgEtiIndexToItem(index));
    ControlRef control = nullptr;
    if (GetControlByID(window, &id, &control) != noErr || control == nullptr) continue;
    if (IsControlVisible(control) && IsControlActive(control)) return GL_SetKeyboardFocusByID(window, id);
  }
  return errCouldntSetFocus;
}
