// Control Manager stand-in.
#include "platform/core/controls.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

struct OpaqueControlRef {
  WindowRef window;
  HIViewID id;
  SInt32 value = 0, minimum = 0, maximum = 0;
  MenuRef menu = nullptr;
  CFStringRef text = nullptr;  // owned
  Boolean indeterminate = false;
  Rect bounds = {0, 0, 0, 0};
};

namespace {

// Controls by window; a root view is its window in disguise.
std::map<WindowRef, std::vector<std::unique_ptr<OpaqueControlRef>>> gControls;
PL_ControlChangedProc gChanged = nullptr;

ControlRef Live(ControlRef control) {
  if (control == nullptr) return nullptr;
  auto it = gControls.find(control->window);
  if (it == gControls.end()) return nullptr;
  for (auto &c : it->second)
    if (c.get() == control) return control;
  return nullptr;
}

void Changed(ControlRef c) {
  if (gChanged != nullptr) gChanged(c->window, c->id, c);
}

}  // namespace

HIViewRef HIViewGetRoot(WindowRef inWindow) { return reinterpret_cast<HIViewRef>(inWindow); }

OSStatus HIViewFindByID(HIViewRef inStartView, HIViewID inID, HIViewRef *outControl) {
  if (outControl == nullptr) return paramErr;
  *outControl = nullptr;
  auto it = gControls.find(reinterpret_cast<WindowRef>(inStartView));
  if (inStartView == nullptr || it == gControls.end()) return errUnknownControl;
  for (auto &c : it->second)
    if (c->id.signature == inID.signature && c->id.id == inID.id) {
      *outControl = c.get();
      return noErr;
    }
  return errUnknownControl;
}

OSStatus GetControlByID(WindowRef inWindow, const HIViewID *inID, ControlRef *outControl) {
  if (inID == nullptr) return paramErr;
  return HIViewFindByID(HIViewGetRoot(inWindow), *inID, outControl);
}

SInt32 GetControl32BitValue(ControlRef theControl) { return Live(theControl) ? theControl->value : 0; }
SInt32 GetControl32BitMaximum(ControlRef theControl) { return Live(theControl) ? theControl->maximum : 0; }
SInt32 GetControl32BitMinimum(ControlRef theControl) { return Live(theControl) ? theControl->minimum : 0; }

// The value stays within the range, as the Control Manager kept it.
void SetControl32BitValue(ControlRef c, SInt32 newValue) {
  if (!Live(c)) return;
  c->value = std::clamp(newValue, c->minimum, std::max(c->minimum, c->maximum));
  Changed(c);
}
void SetControl32BitMaximum(ControlRef c, SInt32 newMaximum) {
  if (!Live(c)) return;
  c->maximum = newMaximum;
  if (c->minimum > c->maximum) c->minimum = c->maximum;
  c->value = std::clamp(c->value, c->minimum, c->maximum);
  Changed(c);
}
void SetControl32BitMinimum(ControlRef c, SInt32 newMinimum) {
  if (!Live(c)) return;
  c->minimum = newMinimum;
  if (c->maximum < c->minimum) c->maximum = c->minimum;
  c->value = std::clamp(c->value, c->minimum, c->maximum);
  Changed(c);
}

MenuRef GetControlPopupMenuHandle(ControlRef control) { return Live(control) ? control->menu : nullptr; }

void SetControlPopupMenuHandle(ControlRef control, MenuRef popupMenu) {
  if (!Live(control) || control->menu == popupMenu) return;
  DisposeMenu(control->menu);
  control->menu = popupMenu;
}

OSStatus PL_NewControl(WindowRef window, const HIViewID *id, ControlRef *control) {
  if (control != nullptr) *control = nullptr;
  if (window == nullptr || id == nullptr) return paramErr;
  HIViewRef existing = nullptr;
  if (HIViewFindByID(HIViewGetRoot(window), *id, &existing) == noErr) return dupFNErr;
  auto record = std::make_unique<OpaqueControlRef>();
  record->window = window;
  record->id = *id;
  ControlRef made = record.get();
  gControls[window].push_back(std::move(record));
  if (control != nullptr) *control = made;
  return noErr;
}

void PL_DisposeWindowControls(WindowRef window) {
  auto it = gControls.find(window);
  if (it == gControls.end()) return;
  for (auto &c : it->second) {
    DisposeMenu(c->menu);
    if (c->text != nullptr) CFRelease(c->text);
  }
  gControls.erase(it);
}

void PL_SetControlChangedProc(PL_ControlChangedProc proc) { gChanged = proc; }

OSStatus SetControlTitleWithCFString(ControlRef inControl, CFStringRef inString) {
  if (inString == nullptr) return paramErr;
  if (!Live(inControl)) return errUnknownControl;
  CFStringRef copy = CFStringCreateCopy(nullptr, inString);
  if (copy == nullptr) return memFullErr;
  if (inControl->text != nullptr) CFRelease(inControl->text);
  inControl->text = copy;
  Changed(inControl);
  return noErr;
}

OSStatus CopyControlTitleAsCFString(ControlRef inControl, CFStringRef *outString) {
  if (outString == nullptr) return paramErr;
  *outString = nullptr;
  if (!Live(inControl)) return errUnknownControl;
  *outString = CFStringCreateCopy(nullptr, inControl->text != nullptr ? inControl->text : CFSTR(""));
  return *outString != nullptr ? noErr : memFullErr;
}

OSStatus HIViewSetText(HIViewRef inView, CFStringRef inText) { return SetControlTitleWithCFString(inView, inText); }

CFStringRef HIViewCopyText(HIViewRef inView) {
  CFStringRef text = nullptr;
  CopyControlTitleAsCFString(inView, &text);
  return text;
}

OSStatus SetControlData(ControlRef inControl, ControlPartCode, ResType inTagName, Size inSize, const void *inData) {
  if (!Live(inControl)) return errUnknownControl;
  if (inTagName != kControlProgressBarIndeterminateTag) return errDataNotSupported;
  if (inSize != Size(sizeof(Boolean)) || inData == nullptr) return errDataSizeMismatch;
  inControl->indeterminate = *static_cast<const Boolean *>(inData) != 0;
  Changed(inControl);
  return noErr;
}

OSStatus GetControlData(ControlRef inControl, ControlPartCode, ResType inTagName, Size inBufferSize,
                        void *inBuffer, Size *outActualSize) {
  if (!Live(inControl)) return errUnknownControl;
  if (inTagName != kControlProgressBarIndeterminateTag) return errDataNotSupported;
  if (outActualSize != nullptr) *outActualSize = Size(sizeof(Boolean));
  if (inBuffer == nullptr) return noErr;  // a size query
  if (inBufferSize < Size(sizeof(Boolean))) return errDataSizeMismatch;
  *static_cast<Boolean *>(inBuffer) = inControl->indeterminate;
  return noErr;
}

Rect *GetControlBounds(ControlRef control, Rect *bounds) {
  if (bounds == nullptr) return nullptr;
  *bounds = Live(control) ? control->bounds : Rect{0, 0, 0, 0};
  return bounds;
}

void SetControlBounds(ControlRef control, const Rect *bounds) {
  if (!Live(control) || bounds == nullptr) return;
  control->bounds = *bounds;
  Changed(control);
}

void UpdateControls(WindowRef inWindow, RgnHandle) {
  if (gChanged != nullptr && inWindow != nullptr) gChanged(inWindow, HIViewID{0, 0}, nullptr);
}
