// Dialog items of the user-interface toolkit addressed by view identifier.
#include "toolkit/dialog_items.h"

#include "general/geometry.h"
#include "platform/core/cf_string.h"
#include "platform/core/clock.h"
#include "platform/core/formatter.h"
#include "platform/core/mac_errors.h"
#include "platform/core/standard_alerts.h"
#include "platform/ui/nib_controls.h"
#include "platform/ui/window_manager.h"
#include "toolkit/menus.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {
OSStatus Find(WindowRef window, HIViewID viewID, HIViewRef *view) {
  return HIViewFindByID(HIViewGetRoot(window), viewID, view);
}

// Finds the item, then does `act` with it; the finding's failure or act's result.
template <class Act>
OSStatus WithView(WindowRef window, HIViewID viewID, Act act) {
  HIViewRef view = nullptr;
  OSStatus err = Find(window, viewID, &view);
  if (err != noErr) return err;
  return OSStatus(act(view));
}

typedef PL_CFScoped<CFStringRef> ScopedCF;

// Writes a freshly formatted text (taken: released here) into the item.
OSStatus SetFormatted(WindowRef window, HIViewID viewID, CFStringRef text) {
  ScopedCF held{text};
  if (text == nullptr) return memFullErr;
  return GL_SetDialogItemTextByID(window, viewID, text);
}
}  // namespace

OSStatus GL_GetPopupMenuByID(WindowRef window, HIViewID viewID, MenuRef *menuRef) {
  if (menuRef == nullptr) return paramErr;
  return WithView(window, viewID, [&](HIViewRef view) {
    *menuRef = GetControlPopupMenuHandle(view);
    return noErr;
  });
}

OSStatus GL_SetDialogItemMaxByID(WindowRef window, HIViewID viewID, SInt32 value) {
  return WithView(window, viewID, [&](HIViewRef view) {
    SetControl32BitMaximum(view, value);
    return noErr;
  });
}

OSStatus GL_GetDialogItemMaxByID(WindowRef window, HIViewID viewID, SInt32 *value) {
  if (value == nullptr) return paramErr;
  return WithView(window, viewID, [&](HIViewRef view) {
    *value = GetControl32BitMaximum(view);
    return noErr;
  });
}

// ---- Values and ranges ----

OSStatus GL_SetDialogItemValueByID(WindowRef window, HIViewID viewID, SInt32 value) {
  return WithView(window, viewID, [&](HIViewRef view) {
    SetControl32BitValue(view, value);
    return noErr;
  });
}

OSStatus GL_GetDialogItemValueByID(WindowRef window, HIViewID viewID, SInt32 *value) {
  if (value == nullptr) return paramErr;
  return WithView(window, viewID, [&](HIViewRef view) {
    *value = GetControl32BitValue(view);
    return noErr;
  });
}

OSStatus GL_SetDialogItemMinByID(WindowRef window, HIViewID viewID, SInt32 value) {
  return WithView(window, viewID, [&](HIViewRef view) {
    SetControl32BitMinimum(view, value);
    return noErr;
  });
}

OSStatus GL_GetDialogItemMinByID(WindowRef window, HIViewID viewID, SInt32 *value) {
  if (value == nullptr) return paramErr;
  return WithView(window, viewID, [&](HIViewRef view) {
    *value = GetControl32BitMinimum(view);
    return noErr;
  });
}

OSStatus GL_SetDialogItemValueByPercByID(WindowRef window, HIViewID viewID, double percentage) {
  HIViewRef view = nullptr;
  OSStatus err = Find(window, viewID, &view);
  if (err != noErr) return err;
  const double min = GetControl32BitMinimum(view), max = GetControl32BitMaximum(view);
  const double value = std::trunc((max - min) * percentage + min);
  // A percentage outside 0..1 (or not a number) must not reach an undefined conversion; the control keeps
  // its value within its range anyway.
  const double clamped = std::isnan(value) ? min : std::clamp(value, -2147483648.0, 2147483647.0);
  SetControl32BitValue(view, static_cast<SInt32>(clamped));
  return noErr;
}

OSStatus GL_GetDialogItemValueByPercByID(WindowRef window, HIViewID viewID, double *percentage) {
  if (percentage == nullptr) return paramErr;
  HIViewRef view = nullptr;
  OSStatus err = Find(window, viewID, &view);
  if (err != noErr) return err;
  const double min = GetControl32BitMinimum(view), max = GetControl32BitMaximum(view);
  *percentage = (GetControl32BitValue(view) - min) / (max - min);
  return noErr;
}

OSStatus GL_GetDialogItemValueB_ByID(WindowRef window, HIViewID viewID, Boolean *value) {
  if (value == nullptr) return paramErr;
  SInt32 v = 0;
  OSStatus err = GL_GetDialogItemValueByID(window, viewID, &v);
  if (err == noErr) *value = static_cast<Boolean>(v & 0xFF);
  return err;
}

OSStatus GL_GetDialogItemValueS_ByID(WindowRef window, HIViewID viewID, SInt16 *value) {
  if (value == nullptr) return paramErr;
  SInt32 v = 0;
  OSStatus err = GL_GetDialogItemValueByID(window, viewID, &v);
  if (err == noErr) *value = static_cast<SInt16>(v);
  return err;
}

OSStatus GL_SetDialogItemComboValueByID(WindowRef window, HIViewID viewID, SInt32 value) {
  OSStatus err = GL_SetDialogItemValueByID(window, viewID, value);
  if (err != noErr) return err;
  return GL_SetDialogItemTextIntByID(window, HIViewID{viewID.signature, viewID.id + 1}, value);
}

// ---- Text ----

OSStatus GL_SetControlText(HIViewRef view, CFStringRef text) {
  if (text == nullptr) return paramErr;
  return SetControlData(view, kControlEntireControl, kControlEditTextCFStringTag, sizeof(CFStringRef), &text);
}

OSStatus GL_CopyControlText(HIViewRef view, CFStringRef *text) {
  if (text == nullptr) return paramErr;
  CFStringRef copy = nullptr;
  OSStatus err =
      GetControlData(view, kControlEntireControl, kControlEditTextCFStringTag, sizeof(CFStringRef), &copy, nullptr);
  if (err == noErr) *text = copy;
  return err;
}

OSStatus GL_SetDialogItemTextByID(WindowRef window, HIViewID viewID, CFStringRef text) {
  return WithView(window, viewID, [&](HIViewRef view) { return GL_SetControlText(view, text); });
}

OSStatus GL_CopyDialogItemTextByID(WindowRef window, HIViewID viewID, CFStringRef *text) {
  return WithView(window, viewID, [&](HIViewRef view) { return GL_CopyControlText(view, text); });
}

OSStatus GL_SetDialogItemTextIntByID(WindowRef window, HIViewID viewID, SInt32 value) {
  return SetFormatted(window, viewID, CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%ld"), value));
}

OSStatus GL_SetDialogItemTextFloatByID(WindowRef window, HIViewID viewID, double value) {
  return SetFormatted(window, viewID, CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%.2f"), value));
}

OSStatus GL_SetDialogItemTextFloatPreciseByID(WindowRef window, HIViewID viewID, float value, long precision) {
  if (precision < 0 || precision > 99) return paramErr;
  ScopedCF format{CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%%.%df"), static_cast<int>(precision))};
  if (format.get() == nullptr) return memFullErr;
  return SetFormatted(window, viewID,
                      CFStringCreateWithFormat(nullptr, nullptr, format.get(), static_cast<double>(value)));
}

OSStatus GL_SetDialogItemTextFloatRelevantDigitsByID(WindowRef window, HIViewID viewID, float value,
                                                     SInt32 precision) {
  SInt32 decimals = precision - 2;
  float limit = 10.0f;
  // Bounded by the count itself, so a precision of 10 or more keeps its decimals instead of looping.
  while (decimals < 8) {
    if (std::fabs(value) > limit) break;
    decimals += 1;
    limit = static_cast<float>(limit * 0.1);
  }
  if (decimals <= 0) decimals = 1;
  return GL_SetDialogItemTextFloatPreciseByID(window, viewID, value, decimals);
}

namespace {
// The item's text read as a number by parse.
template <class T, class Parse>
OSStatus GetDialogItemTextAs(WindowRef window, HIViewID viewID, T *value, Parse parse) {
  if (value == nullptr) return paramErr;
  CFStringRef text = nullptr;
  OSStatus err = GL_CopyDialogItemTextByID(window, viewID, &text);
  if (err != noErr) return err;
  *value = parse(text);
  CFRelease(text);
  return noErr;
}
}  // namespace

OSStatus GL_GetDialogItemTextIntByID(WindowRef window, HIViewID viewID, SInt32 *value) {
  return GetDialogItemTextAs(window, viewID, value, CFStringGetIntValue);
}

OSStatus GL_GetDialogItemTextSInt16ByID(WindowRef window, HIViewID viewID, SInt16 *value) {
  if (value == nullptr) return paramErr;
  SInt32 v = 0;
  OSStatus err = GL_GetDialogItemTextIntByID(window, viewID, &v);
  if (err == noErr) *value = static_cast<SInt16>(v);
  return err;
}

OSStatus GL_GetDialogItemTextFloat64ByID(WindowRef window, HIViewID viewID, double *value) {
  return GetDialogItemTextAs(window, viewID, value, CFStringGetDoubleValue);
}

OSStatus GL_GetDialogItemTextFloat32ByID(WindowRef window, HIViewID viewID, float *value) {
  if (value == nullptr) return paramErr;
  double v = 0;
  OSStatus err = GL_GetDialogItemTextFloat64ByID(window, viewID, &v);
  if (err == noErr) *value = static_cast<float>(v);
  return err;
}

OSStatus GL_CheckDialogItemTextIntByID(WindowRef window, HIViewID viewID) {
  SInt32 value = 0;
  OSStatus err = GL_GetDialogItemTextIntByID(window, viewID, &value);
  if (err != noErr) return err;
  return GL_SetDialogItemTextIntByID(window, viewID, value);
}

OSStatus GL_GetDialogItemAllTextSelectedByID(WindowRef window, HIViewID viewID, Boolean *allSelected) {
  if (allSelected == nullptr) return paramErr;
  HIViewRef view = nullptr;
  OSStatus err = Find(window, viewID, &view);
  if (err != noErr) return err;
  ControlEditTextSelectionRec selection{};
  err = GetControlData(view, kControlEntireControl, kControlEditTextSelectionTag, sizeof selection, &selection,
                       nullptr);
  if (err != noErr) return err;
  CFStringRef text = nullptr;
  err = GL_CopyControlText(view, &text);
  if (err != noErr) return err;
  *allSelected = selection.selEnd - selection.selStart == CFStringGetLength(text);
  CFRelease(text);
  return noErr;
}

OSStatus GL_SetDialogItemAllTextSelectedByID(WindowRef window, HIViewID viewID) {
  HIViewRef view = nullptr;
  OSStatus err = Find(window, viewID, &view);
  if (err != noErr) return err;
  CFStringRef text = nullptr;
  err = GL_CopyControlText(view, &text);
  if (err != noErr) return err;
  ControlEditTextSelectionRec selection{0, static_cast<SInt16>(std::min<CFIndex>(CFStringGetLength(text), 32767))};
  CFRelease(text);
  return SetControlData(view, kControlEntireControl, kControlEditTextSelectionTag, sizeof selection, &selection);
}

OSStatus GL_SetDialogItemTextPreservingAllSelectedByID(WindowRef window, HIViewID viewID, CFStringRef text) {
  Boolean allSelected = false;
  OSStatus err = GL_GetDialogItemAllTextSelectedByID(window, viewID, &allSelected);
  if (err != noErr) return err;
  err = GL_SetDialogItemTextByID(window, viewID, text);
  if (err != noErr || !allSelected) return err;
  return GL_SetDialogItemAllTextSelectedByID(window, viewID);
}

OSStatus GL_SetDialogItemTitleByID(WindowRef window, HIViewID viewID, CFStringRef title) {
  return WithView(window, viewID, [&](HIViewRef view) { return SetControlTitleWithCFString(view, title); });
}

OSStatus GL_CopyDialogItemTitleByID(WindowRef window, HIViewID viewID, CFStringRef *title) {
  return WithView(window, viewID, [&](HIViewRef view) { return CopyControlTitleAsCFString(view, title); });
}

// ---- State, drawing ----

OSStatus GL_ActivateDialogItemByID(WindowRef window, HIViewID viewID, Boolean activate) {
  return WithView(window, viewID, [&](HIViewRef view) { return HIViewSetActivated(view, activate != 0); });
}

OSStatus GL_IsDialogItemActiveByID(WindowRef window, HIViewID viewID, Boolean *active) {
  if (active == nullptr) return paramErr;
  return WithView(window, viewID, [&](HIViewRef view) {
    *active = HIViewIsActive(view, nullptr);
    return noErr;
  });
}

OSStatus GL_ShowDialogItemByID(WindowRef window, HIViewID viewID, Boolean show) {
  return WithView(window, viewID, [&](HIViewRef view) { return HIViewSetVisible(view, show != 0); });
}

OSStatus GL_IsDialogItemVisibleByID(WindowRef window, HIViewID viewID, Boolean *visible) {
  if (visible == nullptr) return paramErr;
  return WithView(window, viewID, [&](HIViewRef view) {
    *visible = HIViewIsVisible(view);
    return noErr;
  });
}

OSStatus GL_SetNeedsDisplayByID(WindowRef window, HIViewID viewID, Boolean needsDisplay) {
  return WithView(window, viewID, [&](HIViewRef view) { return HIViewSetNeedsDisplay(view, needsDisplay != 0); });
}

OSStatus GL_RenderDialogItemByID(WindowRef window, HIViewID viewID) {
  return WithView(window, viewID, [&](HIViewRef view) { return HIViewRender(view); });
}

OSStatus GL_Draw1ControlByID(WindowRef window, HIViewID viewID) {
  return WithView(window, viewID, [&](HIViewRef view) {
    Draw1Control(view);
    return noErr;
  });
}

// ---- Special controls ----

OSStatus GL_ImageViewSetImageByID(WindowRef window, HIViewID viewID, CGImageRef image) {
  return WithView(window, viewID, [&](HIViewRef view) { return HIImageViewSetImage(view, image); });
}

OSStatus GL_SetPictureInImageWell(WindowRef window, HIViewID viewID, PicHandle picture) {
  HIViewRef view = nullptr;
  OSStatus err = Find(window, viewID, &view);
  if (err != noErr) return err;
  ControlButtonContentInfo info{};
  info.contentType = kControlContentPictHandle;
  info.u.picture = picture;
  return SetImageWellContentInfo(view, &info);
}

OSStatus GL_SetBevelButtonPictureHandleByID(WindowRef window, HIViewID viewID, PicHandle picture) {
  HIViewRef view = nullptr;
  OSStatus err = Find(window, viewID, &view);
  if (err != noErr) return err;
  ControlButtonContentInfo info{};
  info.contentType = kControlContentPictHandle;
  info.u.picture = picture;
  return SetBevelButtonContentInfo(view, &info);
}

OSStatus GL_SetPopupMenuByID(WindowRef window, HIViewID viewID, MenuRef menu) {
  return WithView(window, viewID, [&](HIViewRef view) {
    SetControlPopupMenuHandle(view, menu);
    return noErr;
  });
}

OSStatus GL_GetSelectedPopupMenuItemByID(WindowRef window, HIViewID viewID, SInt16 *item) {
  if (item == nullptr) return paramErr;
  MenuRef menu = nullptr;
  OSStatus err = GL_GetPopupMenuByID(window, viewID, &menu);
  if (err != noErr) return err;
  return GL_GetDialogItemValueS_ByID(window, viewID, item);
}

OSStatus GL_CopySelectedPopupTextByID(WindowRef window, HIViewID viewID, CFStringRef *text) {
  if (text == nullptr) return paramErr;
  MenuRef menu = nullptr;
  OSStatus err = GL_GetPopupMenuByID(window, viewID, &menu);
  if (err != noErr) return err;
  SInt32 value = 0;
  err = GL_GetDialogItemValueByID(window, viewID, &value);
  if (err != noErr) return err;
  if (value < 1 || value > 0xFFFF) return menuItemNotFoundErr;
  return CopyMenuItemTextAsCFString(menu, static_cast<MenuItemIndex>(value), text);
}

OSStatus GL_GetSelectedPopupTextValueByID(WindowRef window, HIViewID viewID, long *value) {
  if (value == nullptr) return paramErr;
  CFStringRef text = nullptr;
  OSStatus err = GL_CopySelectedPopupTextByID(window, viewID, &text);
  if (err != noErr) return err;
  *value = CFStringGetIntValue(text);
  CFRelease(text);
  return noErr;
}

OSStatus GL_GetSelectedPopupTextValueFloatByID(WindowRef window, HIViewID viewID, float *value) {
  if (value == nullptr) return paramErr;
  CFStringRef text = nullptr;
  OSStatus err = GL_CopySelectedPopupTextByID(window, viewID, &text);
  if (err != noErr) return err;
  *value = static_cast<float>(CFStringGetDoubleValue(text));
  CFRelease(text);
  return noErr;
}

OSStatus GL_SetSelectedPopupTextByID(WindowRef window, HIViewID viewID, CFStringRef itemText) {
  MenuRef menu = nullptr;
  OSStatus err = GL_GetPopupMenuByID(window, viewID, &menu);
  if (err != noErr) return err;
  MenuItemIndex item = 0;
  Boolean found = false;
  err = GL_IsNameInMenuList(menu, itemText, &item, &found);
  if (err != noErr) return err;
  return GL_SetDialogItemValueByID(window, viewID, found ? item : 1);
}

OSStatus GL_SetSelectedPopupTextValueByID(WindowRef window, HIViewID viewID, long value) {
  ScopedCF text{CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%ld"), value)};
  if (text.get() == nullptr) return memFullErr;
  return GL_SetSelectedPopupTextByID(window, viewID, text.get());
}

OSStatus GL_SetChasingArrowsAnimatingByID(WindowRef window, HIViewID viewID, Boolean animating) {
  HIViewRef view = nullptr;
  OSStatus err = Find(window, viewID, &view);
  if (err != noErr) return err;
  Boolean flag = animating != 0;
  return SetControlData(view, kControlEntireControl, kControlChasingArrowsAnimatingTag, sizeof flag, &flag);
}

OSStatus GL_ActivateChasingArrowsByID(WindowRef window, HIViewID viewID, Boolean animating) {
  OSStatus err = GL_SetChasingArrowsAnimatingByID(window, viewID, animating);
  if (err != noErr) return err;
  return GL_SetNeedsDisplayByID(window, viewID, true);
}

OSStatus GL_SetProgressIndicatorState(HIViewRef view, Boolean isDeterminate) {
  if (view == nullptr) return paramErr;
  Boolean indeterminate = !isDeterminate;
  return SetControlData(view, kControlEntireControl, kControlProgressBarIndeterminateTag, sizeof indeterminate,
                        &indeterminate);
}

OSStatus GL_SetProgressIndicatorStateByID(WindowRef window, HIViewID viewID, Boolean isDeterminate) {
  return WithView(window, viewID, [&](HIViewRef view) { return GL_SetProgressIndicatorState(view, isDeterminate); });
}

OSStatus GL_GetProgressIndicatorState(HIViewRef view, Boolean *isDeterminate) {
  if (view == nullptr || isDeterminate == nullptr) return paramErr;
  Boolean indeterminate = false;
  OSStatus err = GetControlData(view, kControlEntireControl, kControlProgressBarIndeterminateTag,
                                sizeof indeterminate, &indeterminate, nullptr);
  if (err == noErr) *isDeterminate = !indeterminate;
  return err;
}

OSStatus GL_GetProgressIndicatorStateByID(WindowRef window, HIViewID viewID, Boolean *isDeterminate) {
  return WithView(window, viewID, [&](HIViewRef view) { return GL_GetProgressIndicatorState(view, isDeterminate); });
}

// ---- Groups of consecutive items ----

OSStatus GL_SetPointValuesInDialog(WindowRef window, OSType signature, SInt16 firstItem, Point point) {
  OSStatus err = GL_SetDialogItemTextIntByID(window, HIViewID{signature, firstItem}, point.h);
  if (err != noErr) return err;
  return GL_SetDialogItemTextIntByID(window, HIViewID{signature, firstItem + 1}, point.v);
}

OSStatus GL_GetPointValuesFromDialog(WindowRef window, OSType signature, SInt16 firstItem, Point *point) {
  if (point == nullptr) return paramErr;
  SInt16 h = 0, v = 0;
  OSStatus err = GL_GetDialogItemTextSInt16ByID(window, HIViewID{signature, firstItem}, &h);
  if (err == noErr) err = GL_GetDialogItemTextSInt16ByID(window, HIViewID{signature, firstItem + 1}, &v);
  if (err != noErr) return err;
  point->h = h;
  point->v = v;
  return noErr;
}

OSStatus GL_SetRectValuesInDialog(WindowRef window, OSType signature, SInt16 firstItem, const Rect *rect) {
  if (rect == nullptr) return paramErr;
  const SInt16 values[4] = {rect->top, rect->left, rect->bottom, rect->right};
  for (int i = 0; i < 4; ++i) {
    OSStatus err = GL_SetDialogItemTextIntByID(window, HIViewID{signature, firstItem + i}, values[i]);
    if (err != noErr) return err;
  }
  return noErr;
}

OSStatus GL_GetRectValuesFromDialog(WindowRef window, OSType signature, SInt16 firstItem, Rect *rect) {
  if (rect == nullptr) return paramErr;
  SInt16 values[4] = {};
  for (int i = 0; i < 4; ++i) {
    OSStatus err = GL_GetDialogItemTextSInt16ByID(window, HIViewID{signature, firstItem + i}, &values[i]);
    if (err != noErr) return err;
  }
  *rect = Rect{values[0], values[1], values[2], values[3]};
  return noErr;
}

OSStatus GL_SetRectValuesInDialogPreservingAllSelected(WindowRef window, OSType signature, SInt16 firstItem,
                                                       const Rect *rect) {
  if (rect == nullptr) return noErr;
  Boolean allSelected[4] = {};
  for (int i = 0; i < 4; ++i)
    GL_GetDialogItemAllTextSelectedByID(window, HIViewID{signature, firstItem + i}, &allSelected[i]);
  GL_SetRectValuesInDialog(window, signature, firstItem, rect);
  for (int i = 0; i < 4; ++i)
    if (allSelected[i]) GL_SetDialogItemAllTextSelectedByID(window, HIViewID{signature, firstItem + i});
  return noErr;
}

OSStatus GL_ActivateAssEmbeddersByID(WindowRef window, HIViewID viewID, SInt32 numItems, SInt32 itemHit) {
  for (SInt32 i = 0; i < numItems; ++i) {
    OSStatus err = GL_ActivateDialogItemByID(window, HIViewID{viewID.signature, viewID.id + numItems + i}, i == itemHit);
    if (err != noErr) return err;
  }
  return noErr;
}

OSStatus GL_ActivateAssEmbedderByID(WindowRef window, HIViewID viewID) {
  Boolean on = false;
  OSStatus err = GL_GetDialogItemValueB_ByID(window, viewID, &on);
  if (err != noErr) return err;
  return GL_ActivateDialogItemByID(window, HIViewID{viewID.signature, viewID.id + 1}, on != 0);
}

OSStatus GL_ShowAssEmbeddersByID(WindowRef window, HIViewID viewID, SInt32 numPanes) {
  SInt32 value = 0;
  OSStatus err = GL_GetDialogItemValueByID(window, viewID, &value);
  if (err != noErr) return err;
  for (SInt32 k = 1; k <= numPanes; ++k) {
    err = GL_ShowDialogItemByID(window, HIViewID{viewID.signature, viewID.id + k}, k == value);
    if (err != noErr) return err;
  }
  return noErr;
}

// ---- Geometry ----

OSStatus GL_GetDialogItemBoundsByID(WindowRef window, HIViewID viewID, Rect *bounds) {
  if (bounds == nullptr) return paramErr;
  return WithView(window, viewID, [&](HIViewRef view) {
    GetControlBounds(view, bounds);
    return noErr;
  });
}

OSStatus GL_SetDialogItemBoundsByID(WindowRef window, HIViewID viewID, const Rect *bounds) {
  if (bounds == nullptr) return paramErr;
  return WithView(window, viewID, [&](HIViewRef view) {
    SetControlBounds(view, bounds);
    return noErr;
  });
}

OSStatus GL_HIViewGetFrameByID(WindowRef window, HIViewID viewID, HIRect *frame) {
  if (frame == nullptr) return paramErr;
  return WithView(window, viewID, [&](HIViewRef view) { return HIViewGetFrame(view, frame); });
}

OSStatus GL_HIViewSetFrameByID(WindowRef window, HIViewID viewID, const HIRect *frame) {
  if (frame == nullptr) return paramErr;
  return WithView(window, viewID, [&](HIViewRef view) { return HIViewSetFrame(view, frame); });
}

OSStatus GL_HIViewMoveByID(WindowRef window, HIViewID viewID, float dx, float dy) {
  return WithView(window, viewID, [&](HIViewRef view) { return HIViewMoveBy(view, dx, dy); });
}

OSStatus GL_HIViewGetSizeByID(WindowRef window, HIViewID viewID, HIRect *rect) {
  if (rect == nullptr) return paramErr;
  return WithView(window, viewID, [&](HIViewRef view) { return HIViewGetBounds(view, rect); });
}

OSStatus GL_GetDialogItemQDSizeByID(WindowRef window, HIViewID viewID, SInt32 *height, SInt32 *width) {
  if (height == nullptr || width == nullptr) return paramErr;
  HIRect bounds{};
  OSStatus err = GL_HIViewGetSizeByID(window, viewID, &bounds);
  if (err != noErr) return err;
  Rect rect{};
  GL_HIRectToRect(&bounds, &rect);
  *height = rect.bottom;
  *width = rect.right;
  return noErr;
}

// ---- Combo boxes ----

namespace {
// Writes the first list item that `matches` into the combo box's text, else `fallback` (taken).
template <class Match>
OSStatus SetComboText(WindowRef window, HIViewID viewID, Match matches, CFStringRef fallback) {
  ScopedCF held{fallback};
  HIViewRef view = nullptr;
  OSStatus err = Find(window, viewID, &view);
  if (err != noErr) return err;
  const ItemCount count = HIComboBoxGetItemCount(view);
  for (ItemCount i = 0; i < count; ++i) {
    CFStringRef item = nullptr;
    err = HIComboBoxCopyTextItemAtIndex(view, CFIndex(i), &item);
    if (err != noErr) return err;
    ScopedCF itemHeld{item};
    if (matches(item)) return GL_SetControlText(view, item);
  }
  if (fallback == nullptr) return memFullErr;
  return GL_SetControlText(view, fallback);
}
}  // namespace

OSStatus GL_SetIntValueInComboBoxByID(WindowRef window, HIViewID viewID, SInt32 value) {
  return SetComboText(
      window, viewID, [value](CFStringRef item) { return CFStringGetIntValue(item) == value; },
      CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%ld"), value));
}

OSStatus GL_SetFloatValueInComboBoxByID(WindowRef window, HIViewID viewID, float value) {
  return SetComboText(
      window, viewID,
      [value](CFStringRef item) {
        const float itemValue = static_cast<float>(CFStringGetDoubleValue(item));
        return std::fabs(itemValue - value) < 0.0001f;
      },
      CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%.2f"), static_cast<double>(value)));
}

OSStatus GL_SetTextInComboBoxByID(WindowRef window, HIViewID viewID, CFStringRef text) {
  if (text == nullptr) return paramErr;
  return SetComboText(
      window, viewID,
      [text](CFStringRef item) { return CFStringCompare(item, text, kCFCompareCaseInsensitive) == kCFCompareEqualTo; },
      static_cast<CFStringRef>(CFRetain(text)));
}

Boolean GL_IsComboBox(HIObjectRef object) {
  ScopedCF classID{HIObjectCopyClassID(object)};
  return classID.get() != nullptr &&
         CFStringCompare(classID.get(), CFSTR("com.apple.HIComboBox"), 0) == kCFCompareEqualTo;
}

OSStatus GL_IsComboBoxByID(WindowRef window, HIViewID viewID, Boolean *isComboBox) {
  if (isComboBox == nullptr) return paramErr;
  return WithView(window, viewID, [&](HIViewRef view) {
    *isComboBox = GL_IsComboBox(view);
    return noErr;
  });
}

OSStatus GL_GetEditTextControlSelection(WindowRef *selWindow, ControlRef *selControl,
                                        ControlEditTextSelectionRec *selection) {
  if (selection == nullptr) return paramErr;
  *selection = ControlEditTextSelectionRec{0, 0};
  WindowRef window = GetUserFocusWindow();
  ControlRef control = nullptr;
  OSStatus err = noErr;
  if (window != nullptr) err = GetKeyboardFocus(window, &control);
  if (selWindow != nullptr) *selWindow = window;
  if (selControl != nullptr) *selControl = control;
  if (err != noErr || control == nullptr) return err;
  ControlKind kind{};
  if (GetControlKind(control, &kind) != noErr) return noErr;
  if (kind.kind != kControlKindEditText && kind.kind != kControlKindHITextView) return noErr;
  return GetControlData(control, kControlEntireControl, kControlEditTextSelectionTag, sizeof *selection, selection,
                        nullptr);
}

// ---- More state, focus and fonts ----

OSStatus GL_DisposeDialogItemByID(WindowRef window, HIViewID viewID) {
  return WithView(window, viewID, [&](HIViewRef view) {
    DisposeControl(view);
    return noErr;
  });
}

OSStatus GL_SetDialogItemActionByID(WindowRef window, HIViewID viewID, ControlActionUPP actionProc) {
  return WithView(window, viewID, [&](HIViewRef view) {
    SetControlAction(view, actionProc);
    return noErr;
  });
}

OSStatus GL_SetWindowDefaultButtonByID(WindowRef window, HIViewID viewID) {
  return WithView(window, viewID, [&](HIViewRef view) { return SetWindowDefaultButton(window, view); });
}

OSStatus GL_SetWindowCancelButtonByID(WindowRef window, HIViewID viewID) {
  return WithView(window, viewID, [&](HIViewRef view) { return SetWindowCancelButton(window, view); });
}

OSStatus GL_SetKeyboardFocusByID(WindowRef window, HIViewID viewID) {
  HIViewRef view = nullptr;
  OSStatus err = Find(window, viewID, &view);
  if (err != noErr) return err;
  err = SetKeyboardFocus(window, view, kControlFocusNoPart);
  if (err != noErr) return err;
  return SetKeyboardFocus(window, view, kControlFocusNextPart);
}

OSStatus GL_ClearKeyboardFocusByID(WindowRef window, HIViewID viewID) {
  return WithView(window, viewID, [&](HIViewRef view) { return SetKeyboardFocus(window, view, kControlFocusNoPart); });
}

OSStatus GL_GetKeyboardFocusByID(WindowRef window, HIViewID *viewID) {
  if (viewID == nullptr) return paramErr;
  ControlRef control = nullptr;
  OSStatus err = GetKeyboardFocus(window, &control);
  if (err != noErr) return err;
  return GetControlID(control, viewID);
}

OSStatus GL_SetDialogItemFontJustificationByID(WindowRef window, HIViewID viewID, SInt16 just) {
  ControlFontStyleRec style{};
  style.flags = kControlUseJustMask;
  style.just = just;
  return GL_SetDialogItemFontStyleByID(window, viewID, &style);
}

OSStatus GL_GetControlFontStyle(HIViewRef view, ControlFontStyleRec *style) {
  if (style == nullptr) return paramErr;
  ControlFontStyleRec got{};
  OSStatus err = GetControlData(view, kControlEntireControl, kControlFontStyleTag, sizeof got, &got, nullptr);
  if (err == noErr) *style = got;
  return err;
}

OSStatus GL_SetControlFontStyle(HIViewRef view, const ControlFontStyleRec *style) {
  if (style == nullptr) return paramErr;
  return SetControlData(view, kControlEntireControl, kControlFontStyleTag, sizeof *style, style);
}

OSStatus GL_GetDialogItemFontStyleByID(WindowRef window, HIViewID viewID, ControlFontStyleRec *style) {
  return WithView(window, viewID, [&](HIViewRef view) { return GL_GetControlFontStyle(view, style); });
}

OSStatus GL_SetDialogItemFontStyleByID(WindowRef window, HIViewID viewID, const ControlFontStyleRec *style) {
  return WithView(window, viewID, [&](HIViewRef view) { return GL_SetControlFontStyle(view, style); });
}

OSStatus GL_ImageViewSetAlphaByID(WindowRef window, HIViewID viewID, float alpha) {
  return WithView(window, viewID, [&](HIViewRef view) { return HIImageViewSetAlpha(view, alpha); });
}

OSStatus GL_SetBevelButtonTextPlacementByID(WindowRef window, HIViewID viewID, SInt16 where) {
  return WithView(window, viewID, [&](HIViewRef view) { return SetBevelButtonTextPlacement(view, where); });
}

OSStatus GL_SetControlSpecialSize(HIViewRef view, SInt16 size) {
  return SetControlData(view, kControlEntireControl, kControlSizeTag, sizeof size, &size);
}

OSStatus GL_SetControlSpecialSizeByID(WindowRef window, HIViewID viewID, SInt16 size) {
  return WithView(window, viewID, [&](HIViewRef view) { return GL_SetControlSpecialSize(view, size); });
}

// ---- Clocks ----

OSStatus GL_GetClockDataByID(WindowRef window, HIViewID viewID, LongDateRec *clockData) {
  if (clockData == nullptr) return paramErr;
  HIViewRef view = nullptr;
  OSStatus err = Find(window, viewID, &view);
  if (err != noErr) return err;
  LongDateRec got{};
  err = GetControlData(view, kControlEntireControl, kControlClockLongDateTag, sizeof got, &got, nullptr);
  if (err == noErr) *clockData = got;
  return err;
}

OSStatus GL_GetClockTimeByID(WindowRef window, HIViewID viewID, LongDateRec *clockTime, UInt32 *seconds) {
  UInt32 nowSeconds = 0;
  GetDateTime(&nowSeconds);
  LongDateTime day = nowSeconds;
  LongDateRec now{};
  LongSecondsToDate(&day, &now);
  LongDateRec clock{};
  OSStatus err = GL_GetClockDataByID(window, viewID, &clock);
  if (err != noErr) return err;
  const bool later = clock.ld.hour > now.ld.hour || (clock.ld.hour == now.ld.hour && clock.ld.minute > now.ld.minute);
  if (!later) {
    day += 86400;
    LongSecondsToDate(&day, &now);
  }
  clock.ld.era = now.ld.era;
  clock.ld.year = now.ld.year;
  clock.ld.month = now.ld.month;
  clock.ld.day = now.ld.day;
  clock.ld.dayOfWeek = now.ld.dayOfWeek;
  clock.ld.dayOfYear = now.ld.dayOfYear;
  clock.ld.weekOfYear = now.ld.weekOfYear;
  clock.ld.pm = now.ld.pm;
  clock.ld.second = 0;
  if (clockTime != nullptr) *clockTime = clock;
  if (seconds != nullptr) {
    LongDateTime at = 0;
    LongDateToSeconds(&clock, &at);
    *seconds = static_cast<UInt32>(at);
  }
  return noErr;
}

// ---- Little arrows ----

OSStatus GL_GetLA_Increment(ControlHandle control, SInt32 *increment) {
  if (increment == nullptr) return paramErr;
  SInt32 got = 0;
  OSStatus err =
      GetControlData(control, kControlEntireControl, kControlLittleArrowsIncrementValueTag, sizeof got, &got, nullptr);
  if (err == noErr) *increment = got;
  return err;
}

OSStatus GL_SetLA_AssTextItemByID(WindowRef window, HIViewID viewID, SInt16 assTextItem) {
  return WithView(window, viewID, [&](HIViewRef view) { return SetControlProperty(view, viewID.signature, 'LAAT', sizeof assTextItem, &assTextItem); });
}

void GL_LA_ProcTemplate(ControlHandle control, SInt16 part) {
  const SInt16 maximum = static_cast<SInt16>(GetControl32BitMaximum(control));
  const SInt16 minimum = static_cast<SInt16>(GetControl32BitMinimum(control));
  SInt32 increment = 1;  // the arrows' own step when none was given
  GL_GetLA_Increment(control, &increment);
  SInt32 value = -1;
  if (part == kControlUpButtonPart) {
    value = static_cast<SInt16>(GetControl32BitValue(control));
    if (value < maximum) {
      value = std::min<SInt32>(value + increment, maximum);
      SetControl32BitValue(control, value);
    } else {
      AlertSoundPlay();
    }
  } else if (part == kControlDownButtonPart) {
    value = static_cast<SInt16>(GetControl32BitValue(control));
    if (value > minimum) {
      value = std::max<SInt32>(value - increment, minimum);
      SetControl32BitValue(control, value);
    } else {
      AlertSoundPlay();
    }
  }
  HIViewID id{};
  if (GetControlID(control, &id) != noErr) return;
  SInt16 textItem = 0;
  if (GetControlProperty(control, id.signature, 'LAAT', sizeof textItem, nullptr, &textItem) != noErr) return;
  if (textItem == 0) return;
  GL_SetDialogItemTextIntByID(GetControlOwner(control), HIViewID{id.signature, textItem}, value);
}

// ---- Hierarchy ----

OSStatus GL_HIViewIsEmbedderByID(WindowRef window, HIViewID viewID, Boolean *isEmbedder) {
  if (isEmbedder == nullptr) return paramErr;
  HIViewRef view = nullptr;
  OSStatus err = Find(window, viewID, &view);
  if (err != noErr) return err;
  HIViewFeatures features = 0;
  err = HIViewGetFeatures(view, &features);
  if (err == noErr) *isEmbedder = (features & kHIViewFeatureAllowsSubviews) != 0;
  return err;
}

OSStatus GL_HIViewCountSubviewsByID(WindowRef window, HIViewID viewID, CFIndex *count) {
  if (count == nullptr) return paramErr;
  return WithView(window, viewID, [&](HIViewRef view) {
    *count = HIViewCountSubviews(view);
    return noErr;
  });
}

OSStatus GL_GetSuperViewByID(WindowRef window, HIViewID viewID, HIViewID *superViewID) {
  if (superViewID == nullptr) return paramErr;
  return WithView(window, viewID, [&](HIViewRef view) { return HIViewGetID(HIViewGetSuperview(view), superViewID); });
}

OSStatus GL_GetSubViewByID(WindowRef window, HIViewID viewID, CFIndex index, HIViewRef *subView) {
  if (subView == nullptr) return paramErr;
  HIViewRef view = nullptr;
  OSStatus err = Find(window, viewID, &view);
  if (err != noErr) return err;
  if (index < 1 || index > 0xFFFF) return errUnknownControl;
  ControlRef sub = nullptr;
  err = GetIndexedSubControl(view, static_cast<UInt16>(index), &sub);
  if (err == noErr) *subView = sub;
  return err;
}

OSStatus GL_ActivateSubViewByID(WindowRef window, HIViewID viewID, CFIndex index, Boolean activate) {
  HIViewRef sub = nullptr;
  OSStatus err = GL_GetSubViewByID(window, viewID, index, &sub);
  if (err != noErr) return err;
  return HIViewSetActivated(sub, activate != 0);
}

OSStatus GL_FindSubviewByClassID(WindowRef window, HIViewID parentViewID, CFStringRef classID, SInt32 index,
                                 HIViewID *subViewID) {
  if (subViewID == nullptr || classID == nullptr) return paramErr;
  *subViewID = HIViewID{0, 0};
  HIViewRef parent = nullptr;
  OSStatus err = Find(window, parentViewID, &parent);
  if (err != noErr) return err;
  const CFIndex count = HIViewCountSubviews(parent);
  SInt32 found = 0;
  for (CFIndex i = 1; i <= count && i <= 0xFFFF; ++i) {
    ControlRef sub = nullptr;
    err = GetIndexedSubControl(parent, static_cast<UInt16>(i), &sub);
    if (err != noErr) return err;
    ScopedCF subClass{HIObjectCopyClassID(sub)};
    if (subClass.get() == nullptr || CFStringCompare(subClass.get(), classID, 0) != kCFCompareEqualTo) continue;
    if (++found == index) return GetControlID(sub, subViewID);
  }
  return noErr;
}

OSStatus GL_HIViewAddSubviewByID(WindowRef window, HIViewID viewID, HIViewID subViewID) {
  HIViewRef parent = nullptr, sub = nullptr;
  OSStatus err = Find(window, viewID, &parent);
  if (err == noErr) err = Find(window, subViewID, &sub);
  if (err != noErr) return err;
  return HIViewAddSubview(parent, sub);
}

OSStatus GL_HIViewAddSubviewToContentView(WindowRef window, HIViewRef view) {
  HIViewRef content = nullptr;
  OSStatus err = GL_HIGetWindowContentView(window, &content);
  if (err != noErr) return err;
  return HIViewAddSubview(content, view);
}

OSStatus GL_HIViewAddSubviewFromOtherWindowByID(WindowRef window, HIViewID viewID, WindowRef otherWindow,
                                                HIViewID subViewID) {
  HIViewRef parent = nullptr, sub = nullptr;
  OSStatus err = Find(window, viewID, &parent);
  if (err == noErr) err = Find(otherWindow, subViewID, &sub);
  if (err != noErr) return err;
  return HIViewAddSubview(parent, sub);
}

OSStatus GL_HIViewRemoveFromSuperviewByID(WindowRef window, HIViewID viewID) {
  return WithView(window, viewID, [&](HIViewRef view) { return HIViewRemoveFromSuperview(view); });
}

OSStatus GL_HIViewSetZOrderByID(WindowRef window, HIViewID viewID, HIViewZOrderOp op, HIViewID refViewID) {
  HIViewRef view = nullptr, other = nullptr;
  OSStatus err = Find(window, viewID, &view);
  if (err != noErr) return err;
  if (refViewID.id != 0) {
    err = Find(window, refViewID, &other);
    if (err != noErr) return err;
  }
  return HIViewSetZOrder(view, op, other);
}

OSStatus GL_HIViewChangeFeaturesByID(WindowRef window, HIViewID viewID, UInt64 setFeatures, UInt64 clearFeatures) {
  return WithView(window, viewID, [&](HIViewRef view) { return HIViewChangeFeatures(view, setFeatures, clearFeatures); });
}

OSStatus GL_ChangeHIViewID_ByID(WindowRef window, HIViewID viewID, HIViewID newViewID) {
  return WithView(window, viewID, [&](HIViewRef view) { return HIViewSetID(view, newViewID); });
}

OSStatus GL_HIGetWindowContentView(WindowRef window, HIViewRef *contentView) {
  if (contentView == nullptr) return paramErr;
  HIViewRef root = HIViewGetRoot(window);
  if (root == nullptr) return errUnknownControl;
  *contentView = root;
  return noErr;
}

OSStatus GL_GetHIViewBoundsInWindowContentByID(WindowRef window, HIViewID viewID, HIRect *rect) {
  if (rect == nullptr) return paramErr;
  HIViewRef view = nullptr;
  OSStatus err = Find(window, viewID, &view);
  if (err != noErr) return err;
  HIRect bounds{};
  err = HIViewGetBounds(view, &bounds);
  if (err == noErr) err = HIViewConvertRect(&bounds, view, HIViewGetRoot(window));
  if (err == noErr) *rect = bounds;
  return err;
}

OSStatus GL_GetHIViewBoundsInWindowByID(WindowRef window, HIViewID viewID, HIRect *rect) {
  if (rect == nullptr) return paramErr;
  HIViewRef view = nullptr;
  OSStatus err = Find(window, viewID, &view);
  if (err != noErr) return err;
  HIRect bounds{};
  err = HIViewGetBounds(view, &bounds);
  if (err == noErr) err = HIViewConvertRect(&bounds, view, nullptr);
  if (err == noErr) *rect = bounds;
  return err;
}

OSStatus GL_SetCompoundControlSpecialSize(HIViewRef view, SInt16 size) {
  UInt16 count = 0;
  OSStatus err = CountSubControls(view, &count);
  if (err != noErr) return err;
  for (UInt16 i = 1; i <= count; ++i) {
    ControlRef sub = nullptr;
    err = GetIndexedSubControl(view, i, &sub);
    if (err == noErr) err = GL_SetControlSpecialSize(sub, size);
    if (err != noErr) return err;
  }
  return noErr;
}

OSStatus GL_ActivateControlAndChildren(HIViewRef control, Boolean activate) {
  OSStatus err = activate ? ActivateControl(control) : DeactivateControl(control);
  if (err != noErr) return err;
  UInt16 count = 0;
  err = CountSubControls(control, &count);
  if (err != noErr) return err;
  for (UInt16 i = 1; i <= count; ++i) {
    ControlRef sub = nullptr;
    err = GetIndexedSubControl(control, i, &sub);
    if (err != noErr) return err;
    UInt16 subCount = 0;
    if (CountSubControls(sub, &subCount) != noErr) subCount = 0;  // a failing count counts as none
    err = subCount > 0 ? GL_ActivateControlAndChildren(sub, activate)
                       : (activate ? ActivateControl(sub) : DeactivateControl(sub));
    if (err != noErr) return err;
  }
  return noErr;
}

OSStatus GL_HICreateEmbedderPane(WindowRef window, HIRect bounds, HIViewRef *pane) {
  if (pane == nullptr) return paramErr;
  *pane = nullptr;
  HIViewRef view = nullptr;
  OSStatus err = PL_NewEmbedderView(window, &view);
  if (err != noErr) return err;
  HIViewRef content = nullptr;
  if ((err = GL_HIGetWindowContentView(window, &content)) != noErr) return err;
  if ((err = HIViewAddSubview(content, view)) != noErr) return err;
  if ((err = HIViewSetFrame(view, &bounds)) != noErr) return err;
  if ((err = HIViewSetVisible(view, true)) != noErr) return err;
  *pane = view;
  return noErr;
}

OSStatus GL_EmbedSubgroupArray(WindowRef window, OSType signature, HIViewID parentViewID, SInt32 numItems,
                               const SInt32 items[], SInt32 userPaneID) {
  if (items == nullptr || numItems <= 0) return paramErr;
  HIViewRef parent = nullptr;
  OSStatus err = Find(window, parentViewID, &parent);
  if (err != noErr) return err;
  std::vector<HIViewRef> views;
  HIRect unionRect = CGRectMake(0, 0, 0, 0);
  for (SInt32 i = 0; i < numItems; ++i) {
    HIViewRef item = nullptr;
    if ((err = HIViewFindByID(parent, HIViewID{signature, items[i]}, &item)) != noErr) return err;
    HIRect frame{};
    if ((err = HIViewGetFrame(item, &frame)) != noErr) return err;
    // Frames in the parent's coordinates, also of items nested deeper.
    if (HIViewGetSuperview(item) != parent) HIViewConvertRect(&frame, HIViewGetSuperview(item), parent);
    if (i == 0) {
      unionRect = frame;
    } else {
      const CGFloat left = std::min(unionRect.origin.x, frame.origin.x), top = std::min(unionRect.origin.y, frame.origin.y);
      const CGFloat right = std::max(unionRect.origin.x + unionRect.size.width, frame.origin.x + frame.size.width);
      const CGFloat bottom = std::max(unionRect.origin.y + unionRect.size.height, frame.origin.y + frame.size.height);
      unionRect = CGRectMake(left, top, right - left, bottom - top);
    }
    views.push_back(item);
  }
  const HIViewID paneID{signature, userPaneID};
  // A container of the window's file that holds just these items becomes the pane as it is.
  HIViewRef pane = nullptr;
  if (PL_AdoptEmbedderPane(window, parent, views.data(), ItemCount(views.size()), paneID, &pane) == noErr)
    return noErr;
  if ((err = GL_HICreateEmbedderPane(window, CGRectMake(0, 0, 1, 1), &pane)) != noErr) return err;
  if ((err = HIViewAddSubview(parent, pane)) != noErr) return err;
  if ((err = HIViewSetID(pane, paneID)) != noErr) return err;
  if ((err = HIViewSetFrame(pane, &unionRect)) != noErr) return err;
  for (HIViewRef item : views) {
    HIRect frame{};
    if ((err = HIViewGetFrame(item, &frame)) != noErr) return err;
    HIViewRef from = HIViewGetSuperview(item);
    if ((err = HIViewAddSubview(pane, item)) != noErr) return err;
    if ((err = HIViewConvertRect(&frame, from, pane)) != noErr) return err;
    if ((err = HIViewSetFrame(item, &frame)) != noErr) return err;
  }
  return noErr;
}

OSStatus GL_EmbedSubgroup(WindowRef window, OSType signature, HIViewID parentViewID, SInt32 firstItem,
                          SInt32 lastItem, SInt32 userPaneID) {
  if (lastItem < firstItem) return paramErr;
  std::vector<SInt32> items;
  for (SInt32 item = firstItem; item <= lastItem; ++item) items.push_back(item);
  return GL_EmbedSubgroupArray(window, signature, parentViewID, SInt32(items.size()), items.data(), userPaneID);
}

OSStatus GL_GetDialogItemRegionByID(WindowRef window, HIViewID viewID, ControlPartCode part, RgnHandle region) {
  return WithView(window, viewID, [&](HIViewRef view) { return GetControlRegion(view, part, region); });
}

OSStatus GL_GetWindowContentBounds(WindowRef window, HIRect *bounds) {
  if (bounds == nullptr) return paramErr;
  Rect content{};
  OSStatus err = GetWindowBounds(window, kWindowContentRgn, &content);
  if (err != noErr) return err;
  *bounds = CGRectMake(0, 0, content.right - content.left, content.bottom - content.top);
  return noErr;
}

OSStatus GL_HIViewCopyShapeByID(WindowRef window, HIViewID viewID, HIViewPartCode part, HIShapeRef *shape) {
  return WithView(window, viewID, [&](HIViewRef view) { return HIViewCopyShape(view, part, shape); });
}

OSStatus GL_HIViewNewTrackingAreaByID(WindowRef window, HIViewID viewID, HIShapeRef shape, UInt64 areaID,
                                      HIViewTrackingAreaRef *trackingArea) {
  return WithView(window, viewID, [&](HIViewRef view) {
    const UInt64 id = areaID != 0 ? areaID : UInt64(SInt64(reinterpret_cast<intptr_t>(view)));
    return HIViewNewTrackingArea(view, shape, id, trackingArea);
  });
}

OSStatus GL_HIViewSimulateClickByID(WindowRef window, HIViewID viewID, HIViewPartCode part, UInt32 modifiers,
                                    HIViewPartCode *partClicked) {
  return WithView(window, viewID,
                  [&](HIViewRef view) { return HIViewSimulateClick(view, part, modifiers, partClicked); });
}

OSStatus GL_HIViewSimulateClickOnRadioButtonByID(WindowRef window, HIViewID viewID, CFIndex button, UInt32 modifiers,
                                                 HIViewPartCode *partClicked) {
  return WithView(window, viewID, [&](HIViewRef group) {
    ControlRef radio = nullptr;
    OSStatus err = GetIndexedSubControl(group, UInt16(button), &radio);
    if (err != noErr) return err;
    return HIViewSimulateClick(radio, 0, modifiers, partClicked);
  });
}

OSStatus GL_HIViewSimulateClickOnActiveRadioButtonByID(WindowRef window, HIViewID viewID, UInt32 modifiers,
                                                       HIViewPartCode *partClicked) {
  SInt32 value = 0;
  OSStatus err = GL_GetDialogItemValueByID(window, viewID, &value);
  if (err != noErr) return err;
  return GL_HIViewSimulateClickOnRadioButtonByID(window, viewID, value, modifiers, partClicked);
}

OSStatus GL_ReplaceRadioGroupByCopy(WindowRef window, HIViewID viewID, SInt32 newID) {
  HIViewRef old = nullptr;
  OSStatus err = Find(window, viewID, &old);
  if (err != noErr) return err;
  HIViewRef super = HIViewGetSuperview(old);
  HIRect frame{};
  if ((err = HIViewGetFrame(old, &frame)) != noErr) return err;
  Rect qdFrame{};
  GL_HIRectToRect(&frame, &qdFrame);
  ControlRef group = nullptr;
  if ((err = CreateRadioGroupControl(window, &qdFrame, &group)) != noErr) return err;
  UInt16 count = 0;
  if ((err = CountSubControls(old, &count)) != noErr) return err;
  for (UInt16 i = 1; i <= count; ++i) {
    ControlRef oldButton = nullptr;
    if ((err = GetIndexedSubControl(old, i, &oldButton)) != noErr) return err;
    HIRect buttonFrame{};
    if ((err = HIViewGetFrame(oldButton, &buttonFrame)) != noErr) return err;
    CFStringRef text = nullptr;
    if ((err = CopyControlTitleAsCFString(oldButton, &text)) != noErr) return err;
    ScopedCF held{text};
    Rect buttonRect{};
    GL_HIRectToRect(&buttonFrame, &buttonRect);
    ControlRef button = nullptr;
    if ((err = CreateRadioButtonControl(window, &buttonRect, nullptr, 0, false, &button)) != noErr) return err;
    if ((err = SetControlTitleWithCFString(button, text)) != noErr) return err;
    ControlFontStyleRec style{};
    style.flags = kControlUseThemeFontIDMask;
    style.font = 2;  // the small emphasised system font
    if ((err = GL_SetControlFontStyle(button, &style)) != noErr) return err;
    if ((err = GL_SetControlSpecialSize(button, kControlSizeSmall)) != noErr) return err;
    if ((err = HIViewAddSubview(group, button)) != noErr) return err;
    if ((err = HIViewSetFrame(button, &buttonFrame)) != noErr) return err;
  }
  SetControl32BitMaximum(group, count);
  SetControl32BitValue(group, GetControl32BitValue(old));
  if ((err = HIViewSetID(old, HIViewID{viewID.signature, newID})) != noErr) return err;
  if ((err = HIViewSetVisible(old, false)) != noErr) return err;
  if ((err = HIViewSetID(group, viewID)) != noErr) return err;
  if (super != nullptr && (err = HIViewAddSubview(super, group)) != noErr) return err;
  return HIViewSetFrame(group, &frame);
}

OSStatus GL_SetRadioGroupHelp(WindowRef window, HIViewID viewID, SInt32, CFStringRef helpText[][2]) {
  if (helpText == nullptr) return paramErr;
  return WithView(window, viewID, [&](HIViewRef group) {
    UInt16 count = 0;
    OSStatus err = CountSubControls(group, &count);
    for (UInt16 i = 1; err == noErr && i <= count; ++i) {
      ControlRef button = nullptr;
      if ((err = GetIndexedSubControl(group, i, &button)) != noErr) break;
      HMHelpContentRec help{};
      help.version = kMacHelpVersion;
      help.tagSide = kHMDefaultSide;
      help.content[kHMMinimumContentIndex].contentType = kHMCFStringContent;
      help.content[kHMMinimumContentIndex].u.tagCFString = helpText[i][0];
      if (helpText[i][1] != nullptr) {
        help.content[kHMMaximumContentIndex].contentType = kHMCFStringContent;
        help.content[kHMMaximumContentIndex].u.tagCFString = helpText[i][1];
      } else {
        help.content[kHMMaximumContentIndex].contentType = kHMNoContent;
      }
      err = HMSetControlHelpContent(button, &help);
    }
    return err;
  });
}
