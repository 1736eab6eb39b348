// Control Manager stand-in.
#include "platform/core/controls.h"
#include "platform/core/data_browser.h"

#include "platform/core/cf_object.h"
#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/core/multilingual_text.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <vector>

struct OpaqueHIViewTrackingAreaRef {
  ControlRef view;
  HIViewTrackingAreaID id;
};

// View state beyond values and text; releases what it holds when its control goes.
struct PL_ViewExtras {
  Boolean active = true;
  Boolean needsDisplay = false;
  UInt32 renders = 0;
  CGImageRef image = nullptr;  // retained
  ControlButtonContentInfo content{};
  std::map<ResType, std::vector<UInt8>> data;  // tagged control data kept as given
  std::map<std::pair<OSType, OSType>, std::vector<UInt8>> properties;
  CFStringRef classID = nullptr;  // owned; null: the plain control class
  ControlKind kind{kControlKindSignatureApple, kControlKindUserPane};
  std::vector<CFStringRef> comboItems;  // owned
  ControlActionUPP action = nullptr;
  Boolean hasFocus = false, isDefaultButton = false, isCancelButton = false;
  CGFloat alpha = 1;
  SInt16 textPlacement = 0;
  ControlRef parent = nullptr;  // null: a top-level control (or a removed one)
  Boolean removed = false;
  HIViewFeatures features = 0;
  TXNObject textObject = nullptr;  // owned: a text view's text
  EventTargetRef target = nullptr;  // owned
  CFStringRef help = nullptr;       // owned
  std::vector<std::unique_ptr<OpaqueHIViewTrackingAreaRef>> trackingAreas;
  PL_ViewExtras() = default;
  PL_ViewExtras(const PL_ViewExtras &) = delete;
  PL_ViewExtras &operator=(const PL_ViewExtras &) = delete;
  ~PL_ViewExtras() {
    CGImageRelease(image);
    if (content.contentType == kControlContentCGImageRef) CGImageRelease(content.u.imageRef);
    if (classID != nullptr) CFRelease(classID);
    for (CFStringRef item : comboItems) CFRelease(item);
    TXNDeleteObject(textObject);
    if (target != nullptr) PL_DisposeEventTarget(target);
    if (help != nullptr) CFRelease(help);
  }
};

struct OpaqueControlRef {
  WindowRef window;
  HIViewID id;
  PL_ViewExtras extras;
  SInt32 value = 0, minimum = 0, maximum = 0;
  MenuRef menu = nullptr;
  CFStringRef text = nullptr;  // owned
  Boolean indeterminate = false;
  Boolean visible = true;
  Rect bounds = {0, 0, 0, 0};
};

namespace {

// Controls by window; a root view is its window in disguise.
std::map<WindowRef, std::vector<std::unique_ptr<OpaqueControlRef>>> gControls;
PL_ControlChangedProc gChanged = nullptr;
std::vector<PL_ControlChangedProc> gObservers;

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
  for (PL_ControlChangedProc observer : gObservers) observer(c->window, c->id, c);
}

}  // namespace

HIViewRef HIViewGetRoot(WindowRef inWindow) { return reinterpret_cast<HIViewRef>(inWindow); }

OSStatus HIViewFindByID(HIViewRef inStartView, HIViewID inID, HIViewRef *outControl) {
  if (outControl == nullptr) return paramErr;
  *outControl = nullptr;
  if (inStartView == nullptr) return errUnknownControl;
  auto it = gControls.find(reinterpret_cast<WindowRef>(inStartView));
  if (it == gControls.end()) {
    // A control as the start: the search covers the views embedded in it, at any depth.
    ControlRef start = Live(inStartView);
    if (start == nullptr) return errUnknownControl;
    for (auto &c : gControls[start->window]) {
      if (c->extras.removed || c->id.signature != inID.signature || c->id.id != inID.id) continue;
      for (ControlRef p = c->extras.parent; p != nullptr; p = p->extras.parent)
        if (p == start) {
          *outControl = c.get();
          return noErr;
        }
    }
    return errUnknownControl;
  }
  for (auto &c : it->second)
    if (!c->extras.removed && c->id.signature == inID.signature && c->id.id == inID.id) {
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

void PL_NewRootView(WindowRef window) {
  if (window != nullptr) gControls[window];
}

void PL_DisposeWindowControls(WindowRef window) {
  auto it = gControls.find(window);
  if (it == gControls.end()) return;
  for (auto &c : it->second) {
    PL_DisposeDataBrowser(c.get());
    DisposeMenu(c->menu);
    if (c->text != nullptr) CFRelease(c->text);
  }
  gControls.erase(it);
}

void PL_SetControlChangedProc(PL_ControlChangedProc proc) { gChanged = proc; }

void PL_AddControlObserver(PL_ControlChangedProc proc) {
  if (proc != nullptr && std::find(gObservers.begin(), gObservers.end(), proc) == gObservers.end())
    gObservers.push_back(proc);
}

OSStatus PL_SetControlTextObject(ControlRef control, TXNObject object) {
  if (!Live(control)) return errUnknownControl;
  if (control->extras.textObject != object) TXNDeleteObject(control->extras.textObject);
  control->extras.textObject = object;
  return noErr;
}

TXNObject PL_GetControlTextObject(ControlRef control) {
  return Live(control) ? control->extras.textObject : nullptr;
}

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

static OSStatus SetOtherControlData(ControlRef c, ResType tag, Size size, const void *data);
static OSStatus GetOtherControlData(ControlRef c, ResType tag, Size bufferSize, void *buffer, Size *actualSize);

OSStatus SetControlData(ControlRef inControl, ControlPartCode, ResType inTagName, Size inSize, const void *inData) {
  if (!Live(inControl)) return errUnknownControl;
  // A text view's text is its text object's.
  if (inTagName == kControlEditTextCFStringTag && inControl->extras.textObject != nullptr) {
    if (inSize != Size(sizeof(CFStringRef)) || inData == nullptr) return errDataSizeMismatch;
    const std::u16string &text = PL_CFStringText(*static_cast<const CFStringRef *>(inData));
    return TXNSetData(inControl->extras.textObject, kTXNUnicodeTextData, text.data(), text.size() * 2,
                      kTXNStartOffset, kTXNEndOffset);
  }
  if (inTagName != kControlProgressBarIndeterminateTag) return SetOtherControlData(inControl, inTagName, inSize, inData);
  if (inSize != Size(sizeof(Boolean)) || inData == nullptr) return errDataSizeMismatch;
  inControl->indeterminate = *static_cast<const Boolean *>(inData) != 0;
  Changed(inControl);
  return noErr;
}

OSStatus GetControlData(ControlRef inControl, ControlPartCode, ResType inTagName, Size inBufferSize,
                        void *inBuffer, Size *outActualSize) {
  if (!Live(inControl)) return errUnknownControl;
  if (inTagName == kControlEditTextCFStringTag && inControl->extras.textObject != nullptr) {
    if (outActualSize != nullptr) *outActualSize = Size(sizeof(CFStringRef));
    if (inBuffer == nullptr) return noErr;
    if (inBufferSize < Size(sizeof(CFStringRef))) return errDataSizeMismatch;
    TXNOffset count = 0;
    const UniChar *chars = PL_TXNGetCharacters(inControl->extras.textObject, &count);
    CFStringRef copy = CFStringCreateWithCharacters(nullptr, chars, CFIndex(count));
    if (copy == nullptr) return memFullErr;
    *static_cast<CFStringRef *>(inBuffer) = copy;
    return noErr;
  }
  if (inTagName != kControlProgressBarIndeterminateTag)
    return GetOtherControlData(inControl, inTagName, inBufferSize, inBuffer, outActualSize);
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

OSStatus GetControlID(ControlRef inControl, HIViewID *outID) {
  if (outID == nullptr) return paramErr;
  if (!Live(inControl)) return errUnknownControl;
  *outID = inControl->id;
  return noErr;
}

WindowRef GetControlOwner(ControlRef inControl) { return Live(inControl) ? inControl->window : nullptr; }

OSStatus HIViewSetVisible(HIViewRef inView, Boolean inVisible) {
  if (!Live(inView)) return errUnknownControl;
  inView->visible = inVisible != 0;
  Changed(inView);
  return noErr;
}
void HideControl(ControlRef inControl) { HIViewSetVisible(inControl, false); }
void ShowControl(ControlRef inControl) { HIViewSetVisible(inControl, true); }
Boolean IsControlVisible(ControlRef inControl) { return Live(inControl) && inControl->visible; }

// ---- Views ----

OSStatus HIViewSetID(HIViewRef inView, HIViewID inID) {
  if (!Live(inView)) return errUnknownControl;
  inView->id = inID;
  return noErr;
}

OSStatus HIViewSetActivated(HIViewRef inView, Boolean inSetActivated) {
  if (!Live(inView)) return errUnknownControl;
  inView->extras.active = inSetActivated != 0;
  Changed(inView);
  return noErr;
}

Boolean HIViewIsActive(HIViewRef inView, Boolean *outIsLatentActive) {
  const Boolean active = Live(inView) && inView->extras.active;
  if (outIsLatentActive != nullptr) *outIsLatentActive = active;
  return active;
}

OSStatus ActivateControl(ControlRef inControl) { return HIViewSetActivated(inControl, true); }
OSStatus DeactivateControl(ControlRef inControl) { return HIViewSetActivated(inControl, false); }
Boolean IsControlActive(ControlRef inControl) { return HIViewIsActive(inControl, nullptr); }

Boolean HIViewIsVisible(HIViewRef inView) { return IsControlVisible(inView); }

OSStatus HIViewSetNeedsDisplay(HIViewRef inView, Boolean inNeedsDisplay) {
  if (!Live(inView)) return errUnknownControl;
  inView->extras.needsDisplay = inNeedsDisplay != 0;
  if (inView->extras.needsDisplay) Changed(inView);
  return noErr;
}

Boolean HIViewGetNeedsDisplay(HIViewRef inView) { return Live(inView) && inView->extras.needsDisplay; }

OSStatus HIViewRender(HIViewRef inView) {
  if (!Live(inView)) return errUnknownControl;
  inView->extras.needsDisplay = false;
  inView->extras.renders += 1;
  Changed(inView);
  return noErr;
}

void Draw1Control(ControlRef theControl) { HIViewRender(theControl); }

OSStatus HIViewGetFrame(HIViewRef inView, HIRect *outRect) {
  if (outRect == nullptr) return paramErr;
  if (!Live(inView)) return errUnknownControl;
  const Rect &b = inView->bounds;
  *outRect = CGRectMake(b.left, b.top, b.right - b.left, b.bottom - b.top);
  return noErr;
}

OSStatus HIViewSetFrame(HIViewRef inView, const HIRect *inRect) {
  if (inRect == nullptr) return paramErr;
  if (!Live(inView)) return errUnknownControl;
  auto px = [](CGFloat v) {
    return static_cast<SInt16>(std::clamp<double>(std::lround(v), -32768.0, 32767.0));
  };
  const Rect b{px(inRect->origin.y), px(inRect->origin.x), px(inRect->origin.y + inRect->size.height),
               px(inRect->origin.x + inRect->size.width)};
  SetControlBounds(inView, &b);
  return noErr;
}

OSStatus HIViewMoveBy(HIViewRef inView, CGFloat inDX, CGFloat inDY) {
  HIRect frame{};
  OSStatus err = HIViewGetFrame(inView, &frame);
  if (err != noErr) return err;
  frame.origin.x += inDX;
  frame.origin.y += inDY;
  return HIViewSetFrame(inView, &frame);
}

OSStatus HIViewGetBounds(HIViewRef inView, HIRect *outRect) {
  OSStatus err = HIViewGetFrame(inView, outRect);
  if (err == noErr) outRect->origin = CGPoint{0, 0};
  return err;
}

OSStatus HIImageViewSetImage(HIViewRef inView, CGImageRef inImage) {
  if (!Live(inView)) return errUnknownControl;
  if (inImage != inView->extras.image) {
    CGImageRetain(inImage);
    CGImageRelease(inView->extras.image);
    inView->extras.image = inImage;
  }
  Changed(inView);
  return noErr;
}

CGImageRef HIImageViewCopyImage(HIViewRef inView) { return Live(inView) ? CGImageRetain(inView->extras.image) : nullptr; }

namespace {
OSStatus SetContent(ControlRef c, ControlButtonContentInfoPtr in) {
  if (in == nullptr) return paramErr;
  if (!Live(c)) return errUnknownControl;
  if (in->contentType != kControlNoContent && in->contentType != kControlContentPictHandle &&
      in->contentType != kControlContentCGImageRef)
    return paramErr;
  if (c->extras.content.contentType == kControlContentCGImageRef) CGImageRelease(c->extras.content.u.imageRef);
  c->extras.content = *in;
  if (c->extras.content.contentType == kControlContentCGImageRef) CGImageRetain(c->extras.content.u.imageRef);
  Changed(c);
  return noErr;
}
OSStatus GetContent(ControlRef c, ControlButtonContentInfoPtr out) {
  if (out == nullptr) return paramErr;
  if (!Live(c)) return errUnknownControl;
  *out = c->extras.content;
  return noErr;
}
}  // namespace

OSStatus SetImageWellContentInfo(ControlRef inButton, ControlButtonContentInfoPtr inContent) {
  return SetContent(inButton, inContent);
}
OSStatus GetImageWellContentInfo(ControlRef inButton, ControlButtonContentInfoPtr outContent) {
  return GetContent(inButton, outContent);
}
OSStatus SetBevelButtonContentInfo(ControlRef inButton, ControlButtonContentInfoPtr inContent) {
  return SetContent(inButton, inContent);
}
OSStatus GetBevelButtonContentInfo(ControlRef inButton, ControlButtonContentInfoPtr outContent) {
  return GetContent(inButton, outContent);
}

UInt32 PL_GetControlRenderCount(ControlRef control) { return Live(control) ? control->extras.renders : 0; }

// 'cfst' is the control's text; other tags keep their bytes.
static OSStatus SetOtherControlData(ControlRef c, ResType tag, Size size, const void *data) {
  if (data == nullptr || size <= 0) return errDataSizeMismatch;
  if (tag == kControlEditTextCFStringTag) {
    if (size != Size(sizeof(CFStringRef))) return errDataSizeMismatch;
    CFStringRef text = *static_cast<const CFStringRef *>(data);
    return text != nullptr ? SetControlTitleWithCFString(c, text) : paramErr;
  }
  const auto *bytes = static_cast<const UInt8 *>(data);
  c->extras.data[tag].assign(bytes, bytes + size);
  Changed(c);
  return noErr;
}

static OSStatus GetOtherControlData(ControlRef c, ResType tag, Size bufferSize, void *buffer, Size *actualSize) {
  if (tag == kControlEditTextCFStringTag) {
    if (actualSize != nullptr) *actualSize = Size(sizeof(CFStringRef));
    if (buffer == nullptr) return noErr;
    if (bufferSize < Size(sizeof(CFStringRef))) return errDataSizeMismatch;
    CFStringRef text = nullptr;
    OSStatus err = CopyControlTitleAsCFString(c, &text);
    if (err == noErr) *static_cast<CFStringRef *>(buffer) = text;
    return err;
  }
  std::vector<UInt8> start;
  const std::vector<UInt8> *bytes = nullptr;
  auto it = c->extras.data.find(tag);
  if (it != c->extras.data.end()) {
    bytes = &it->second;
  } else if (tag == kControlChasingArrowsAnimatingTag) {
    start.assign(sizeof(Boolean), 0);
    bytes = &start;
  } else if (tag == kControlEditTextSelectionTag) {
    start.assign(sizeof(ControlEditTextSelectionRec), 0);
    bytes = &start;
  } else {
    return errDataNotSupported;
  }
  if (actualSize != nullptr) *actualSize = Size(bytes->size());
  if (buffer == nullptr) return noErr;  // a size query
  if (bufferSize < Size(bytes->size())) return errDataSizeMismatch;
  std::copy(bytes->begin(), bytes->end(), static_cast<UInt8 *>(buffer));
  return noErr;
}

// ---- Object class, kind, combo-box lists, properties, actions, focus and window buttons ----

CFStringRef HIObjectCopyClassID(HIObjectRef inObject) {
  if (!Live(inObject)) return nullptr;
  CFStringRef id = inObject->extras.classID != nullptr ? inObject->extras.classID : CFSTR("com.apple.control");
  return static_cast<CFStringRef>(CFRetain(id));
}

OSStatus PL_SetControlClassID(ControlRef control, CFStringRef classID) {
  if (classID == nullptr) return paramErr;
  if (!Live(control)) return errUnknownControl;
  CFStringRef copy = CFStringCreateCopy(nullptr, classID);
  if (copy == nullptr) return memFullErr;
  if (control->extras.classID != nullptr) CFRelease(control->extras.classID);
  control->extras.classID = copy;
  return noErr;
}

OSStatus GetControlKind(ControlRef inControl, ControlKind *outControlKind) {
  if (outControlKind == nullptr) return paramErr;
  if (!Live(inControl)) return errUnknownControl;
  *outControlKind = inControl->extras.kind;
  return noErr;
}

OSStatus PL_SetControlKind(ControlRef control, const ControlKind *kind) {
  if (kind == nullptr) return paramErr;
  if (!Live(control)) return errUnknownControl;
  control->extras.kind = *kind;
  return noErr;
}

ItemCount HIComboBoxGetItemCount(HIViewRef inComboBox) {
  return Live(inComboBox) ? inComboBox->extras.comboItems.size() : 0;
}

OSStatus HIComboBoxAppendTextItem(HIViewRef inComboBox, CFStringRef inText, CFIndex *outIndex) {
  if (inText == nullptr) return paramErr;
  if (!Live(inComboBox)) return errUnknownControl;
  CFStringRef copy = CFStringCreateCopy(nullptr, inText);
  if (copy == nullptr) return memFullErr;
  inComboBox->extras.comboItems.push_back(copy);
  if (outIndex != nullptr) *outIndex = CFIndex(inComboBox->extras.comboItems.size()) - 1;
  Changed(inComboBox);
  return noErr;
}

OSStatus HIComboBoxCopyTextItemAtIndex(HIViewRef inComboBox, CFIndex inIndex, CFStringRef *outString) {
  if (outString == nullptr) return paramErr;
  if (!Live(inComboBox)) return errUnknownControl;
  const auto &items = inComboBox->extras.comboItems;
  if (inIndex < 0 || size_t(inIndex) >= items.size()) return paramErr;
  *outString = static_cast<CFStringRef>(CFRetain(items[size_t(inIndex)]));
  return noErr;
}

OSStatus SetControlProperty(ControlRef control, OSType propertyCreator, OSType propertyTag, ByteCount propertySize,
                            const void *propertyData) {
  if (propertyData == nullptr && propertySize > 0) return paramErr;
  if (!Live(control)) return errUnknownControl;
  const auto *bytes = static_cast<const UInt8 *>(propertyData);
  control->extras.properties[{propertyCreator, propertyTag}].assign(bytes, bytes + propertySize);
  return noErr;
}

OSStatus GetControlProperty(ControlRef control, OSType propertyCreator, OSType propertyTag, ByteCount bufferSize,
                            ByteCount *actualSize, void *propertyBuffer) {
  if (!Live(control)) return errUnknownControl;
  auto it = control->extras.properties.find({propertyCreator, propertyTag});
  if (it == control->extras.properties.end()) return controlPropertyNotFoundErr;
  if (actualSize != nullptr) *actualSize = it->second.size();
  if (propertyBuffer == nullptr) return noErr;  // a size query
  if (bufferSize < it->second.size()) return errDataSizeMismatch;
  std::copy(it->second.begin(), it->second.end(), static_cast<UInt8 *>(propertyBuffer));
  return noErr;
}

void SetControlAction(ControlRef theControl, ControlActionUPP actionProc) {
  if (Live(theControl)) theControl->extras.action = actionProc;
}

ControlActionUPP GetControlAction(ControlRef theControl) {
  return Live(theControl) ? theControl->extras.action : nullptr;
}

namespace {
// The window's controls (none for an unknown window).
std::vector<std::unique_ptr<OpaqueControlRef>> *ControlsOf(WindowRef window) {
  auto it = gControls.find(window);
  return it != gControls.end() ? &it->second : nullptr;
}

ControlRef FindFlagged(WindowRef window, Boolean PL_ViewExtras::*flag) {
  auto *controls = ControlsOf(window);
  if (controls == nullptr) return nullptr;
  for (auto &c : *controls)
    if (c->extras.*flag) return c.get();
  return nullptr;
}

// Gives the flag to one control of the window (null: to none).
OSStatus SetFlagged(WindowRef window, ControlRef control, Boolean PL_ViewExtras::*flag) {
  if (window == nullptr) return paramErr;
  if (control != nullptr && (!Live(control) || control->window != window)) return errUnknownControl;
  std::vector<ControlRef> changed;
  if (auto *controls = ControlsOf(window))
    for (auto &c : *controls) {
      const Boolean now = c.get() == control;
      if (c->extras.*flag != now) changed.push_back(c.get());
      c->extras.*flag = now;
    }
  for (ControlRef c : changed) Changed(c);
  return noErr;
}

WindowRef gUserFocusWindow = nullptr;
}  // namespace

OSStatus SetKeyboardFocus(WindowRef inWindow, ControlRef inControl, ControlFocusPart inPart) {
  if (inWindow == nullptr) return paramErr;
  if (!Live(inControl) || inControl->window != inWindow) return errUnknownControl;
  if (inPart == kControlFocusNoPart) {
    if (inControl->extras.hasFocus) {
      inControl->extras.hasFocus = false;
      Changed(inControl);
    }
    return noErr;
  }
  return SetFlagged(inWindow, inControl, &PL_ViewExtras::hasFocus);
}

OSStatus GetKeyboardFocus(WindowRef inWindow, ControlRef *outControl) {
  if (inWindow == nullptr || outControl == nullptr) return paramErr;
  *outControl = FindFlagged(inWindow, &PL_ViewExtras::hasFocus);
  return noErr;
}

OSStatus ClearKeyboardFocus(WindowRef inWindow) { return SetFlagged(inWindow, nullptr, &PL_ViewExtras::hasFocus); }

WindowRef GetUserFocusWindow() { return gUserFocusWindow; }

OSStatus SetUserFocusWindow(WindowRef inWindow) {
  gUserFocusWindow = inWindow;
  return noErr;
}

OSStatus SetWindowDefaultButton(WindowRef inWindow, ControlRef inControl) {
  return SetFlagged(inWindow, inControl, &PL_ViewExtras::isDefaultButton);
}

OSStatus SetWindowCancelButton(WindowRef inWindow, ControlRef inControl) {
  return SetFlagged(inWindow, inControl, &PL_ViewExtras::isCancelButton);
}

OSStatus GetWindowDefaultButton(WindowRef inWindow, ControlRef *outControl) {
  if (inWindow == nullptr || outControl == nullptr) return paramErr;
  *outControl = FindFlagged(inWindow, &PL_ViewExtras::isDefaultButton);
  return noErr;
}

OSStatus GetWindowCancelButton(WindowRef inWindow, ControlRef *outControl) {
  if (inWindow == nullptr || outControl == nullptr) return paramErr;
  *outControl = FindFlagged(inWindow, &PL_ViewExtras::isCancelButton);
  return noErr;
}

void DisposeControl(ControlRef theControl) {
  if (!Live(theControl)) return;
  auto *controls = ControlsOf(theControl->window);
  auto it = std::find_if(controls->begin(), controls->end(), [theControl](auto &c) { return c.get() == theControl; });
  PL_DisposeDataBrowser(theControl);
  DisposeMenu(theControl->menu);
  if (theControl->text != nullptr) CFRelease(theControl->text);
  controls->erase(it);  // the view state goes with the record
}

OSStatus HIImageViewSetAlpha(HIViewRef inView, CGFloat inAlpha) {
  if (!Live(inView)) return errUnknownControl;
  inView->extras.alpha = std::clamp<CGFloat>(inAlpha, 0, 1);
  Changed(inView);
  return noErr;
}

CGFloat HIImageViewGetAlpha(HIViewRef inView) { return Live(inView) ? inView->extras.alpha : 0; }

OSStatus SetBevelButtonTextPlacement(ControlRef inButton, SInt16 inWhere) {
  if (!Live(inButton)) return errUnknownControl;
  inButton->extras.textPlacement = inWhere;
  Changed(inButton);
  return noErr;
}

OSStatus GetBevelButtonTextPlacement(ControlRef inButton, SInt16 *outWhere) {
  if (outWhere == nullptr) return paramErr;
  if (!Live(inButton)) return errUnknownControl;
  *outWhere = inButton->extras.textPlacement;
  return noErr;
}

// ---- View hierarchy ----

namespace {
bool IsRoot(HIViewRef view) { return view != nullptr && gControls.count(reinterpret_cast<WindowRef>(view)) != 0; }

// The window of a control or a root; null otherwise.
WindowRef WindowOfView(HIViewRef view) {
  if (IsRoot(view)) return reinterpret_cast<WindowRef>(view);
  return Live(view) ? view->window : nullptr;
}

// Subviews of a control or a root, back to front.
std::vector<ControlRef> Subviews(HIViewRef view) {
  std::vector<ControlRef> out;
  WindowRef window = WindowOfView(view);
  if (window == nullptr) return out;
  ControlRef parent = IsRoot(view) ? nullptr : view;
  for (auto &c : gControls[window])
    if (!c->extras.removed && c->extras.parent == parent) out.push_back(c.get());
  return out;
}

// Top left of a control in window coordinates.
CGPoint Origin(ControlRef c) {
  CGPoint p{0, 0};
  for (ControlRef v = c; v != nullptr; v = v->extras.parent) {
    p.x += v->bounds.left;
    p.y += v->bounds.top;
  }
  return p;
}
}  // namespace

HIViewRef HIViewGetSuperview(HIViewRef inView) {
  if (!Live(inView) || inView->extras.removed) return nullptr;
  if (inView->extras.parent != nullptr) return inView->extras.parent;
  return HIViewGetRoot(inView->window);
}

OSStatus HIViewGetID(HIViewRef inView, HIViewID *outID) {
  if (outID == nullptr) return paramErr;
  if (IsRoot(inView)) {
    *outID = kHIViewWindowContentID;
    return noErr;
  }
  return GetControlID(inView, outID);
}

CFIndex HIViewCountSubviews(HIViewRef inView) { return CFIndex(Subviews(inView).size()); }

OSStatus CountSubControls(ControlRef inControl, UInt16 *outNumChildren) {
  if (outNumChildren == nullptr) return paramErr;
  if (WindowOfView(inControl) == nullptr) return errUnknownControl;
  *outNumChildren = static_cast<UInt16>(std::min<size_t>(Subviews(inControl).size(), 0xFFFF));
  return noErr;
}

OSStatus GetIndexedSubControl(ControlRef inControl, UInt16 inIndex, ControlRef *outSubControl) {
  if (outSubControl == nullptr) return paramErr;
  *outSubControl = nullptr;
  if (WindowOfView(inControl) == nullptr) return errUnknownControl;
  std::vector<ControlRef> subviews = Subviews(inControl);
  if (inIndex < 1 || inIndex > subviews.size()) return errUnknownControl;
  *outSubControl = subviews[inIndex - 1];
  return noErr;
}

OSStatus HIViewAddSubview(HIViewRef inNewParent, HIViewRef inNewChild) {
  WindowRef window = WindowOfView(inNewParent);
  if (window == nullptr || !Live(inNewChild)) return errUnknownControl;
  ControlRef parent = IsRoot(inNewParent) ? nullptr : inNewParent;
  for (ControlRef v = parent; v != nullptr; v = v->extras.parent)
    if (v == inNewChild) return paramErr;
  // Its own subviews go along into the other window.
  std::vector<ControlRef> moving{inNewChild};
  for (size_t i = 0; i < moving.size(); ++i)
    for (ControlRef sub : Subviews(moving[i])) moving.push_back(sub);
  for (ControlRef c : moving) {
    auto &from = gControls[c->window];
    auto it = std::find_if(from.begin(), from.end(), [c](auto &p) { return p.get() == c; });
    std::unique_ptr<OpaqueControlRef> record = std::move(*it);
    from.erase(it);
    record->window = window;
    gControls[window].push_back(std::move(record));  // frontmost
  }
  inNewChild->extras.parent = parent;
  inNewChild->extras.removed = false;
  Changed(inNewChild);
  return noErr;
}

OSStatus HIViewRemoveFromSuperview(HIViewRef inView) {
  if (!Live(inView)) return errUnknownControl;
  inView->extras.removed = true;
  inView->extras.parent = nullptr;
  Changed(inView);
  return noErr;
}

OSStatus HIViewSetZOrder(HIViewRef inView, HIViewZOrderOp inOp, HIViewRef inOther) {
  if (!Live(inView)) return errUnknownControl;
  if (inOp != kHIViewZOrderAbove && inOp != kHIViewZOrderBelow) return paramErr;
  if (inOther != nullptr && (!Live(inOther) || inOther->window != inView->window)) return errUnknownControl;
  auto &list = gControls[inView->window];
  auto it = std::find_if(list.begin(), list.end(), [inView](auto &p) { return p.get() == inView; });
  std::unique_ptr<OpaqueControlRef> record = std::move(*it);
  list.erase(it);
  if (inOther == nullptr) {
    // Above all siblings, or below all of them.
    if (inOp == kHIViewZOrderAbove)
      list.push_back(std::move(record));
    else
      list.insert(list.begin(), std::move(record));
  } else {
    auto at = std::find_if(list.begin(), list.end(), [inOther](auto &p) { return p.get() == inOther; });
    if (inOp == kHIViewZOrderAbove) ++at;
    list.insert(at, std::move(record));
  }
  Changed(inView);
  return noErr;
}

OSStatus HIViewChangeFeatures(HIViewRef inView, HIViewFeatures inFeaturesToSet, HIViewFeatures inFeaturesToClear) {
  if (!Live(inView)) return errUnknownControl;
  inView->extras.features = (inView->extras.features | inFeaturesToSet) & ~inFeaturesToClear;
  return noErr;
}

OSStatus HIViewGetFeatures(HIViewRef inView, HIViewFeatures *outFeatures) {
  if (outFeatures == nullptr) return paramErr;
  if (!Live(inView)) return errUnknownControl;
  *outFeatures = inView->extras.features;
  return noErr;
}

OSStatus HIViewConvertRect(HIRect *ioRect, HIViewRef inSourceView, HIViewRef inDestView) {
  if (ioRect == nullptr) return paramErr;
  CGPoint from{0, 0}, to{0, 0};
  if (inSourceView != nullptr && !IsRoot(inSourceView)) {
    if (!Live(inSourceView)) return errUnknownControl;
    from = Origin(inSourceView);
  }
  if (inDestView != nullptr && !IsRoot(inDestView)) {
    if (!Live(inDestView)) return errUnknownControl;
    to = Origin(inDestView);
  }
  ioRect->origin.x += from.x - to.x;
  ioRect->origin.y += from.y - to.y;
  return noErr;
}

EventTargetRef GetControlEventTarget(ControlRef inControl) {
  if (!Live(inControl)) return nullptr;
  if (inControl->extras.target == nullptr) PL_CreateEventTarget(nullptr, &inControl->extras.target);
  return inControl->extras.target;
}

EventTargetRef PL_PeekControlEventTarget(ControlRef inControl) {
  return Live(inControl) ? inControl->extras.target : nullptr;
}

OSStatus HMSetControlHelpContent(ControlRef inControl, const HMHelpContentRec *inContent) {
  if (inContent == nullptr || inContent->version != kMacHelpVersion) return paramErr;
  if (!Live(inControl)) return errUnknownControl;
  const HMHelpContent &minimum = inContent->content[kHMMinimumContentIndex];
  CFStringRef text = minimum.contentType == kHMCFStringContent && minimum.u.tagCFString != nullptr
                         ? CFStringCreateCopy(nullptr, minimum.u.tagCFString)
                         : nullptr;
  if (inControl->extras.help != nullptr) CFRelease(inControl->extras.help);
  inControl->extras.help = text;
  Changed(inControl);
  return noErr;
}

OSStatus PL_GetControlHelpText(ControlRef inControl, CFStringRef *outText) {
  if (outText == nullptr) return paramErr;
  if (!Live(inControl)) return errUnknownControl;
  *outText = inControl->extras.help;
  return noErr;
}

OSStatus GetControlRegion(ControlRef inControl, ControlPartCode, RgnHandle outRegion) {
  if (outRegion == nullptr) return paramErr;
  if (!Live(inControl)) return errUnknownControl;
  HIRect frame{};
  HIViewGetFrame(inControl, &frame);
  if (HIViewGetSuperview(inControl) != nullptr) HIViewConvertRect(&frame, HIViewGetSuperview(inControl), nullptr);
  const Rect r{SInt16(frame.origin.y), SInt16(frame.origin.x), SInt16(frame.origin.y + frame.size.height),
               SInt16(frame.origin.x + frame.size.width)};
  RectRgn(outRegion, &r);
  return noErr;
}

OSStatus HIViewCopyShape(HIViewRef inView, HIViewPartCode, HIShapeRef *outShape) {
  if (outShape == nullptr) return paramErr;
  HIRect bounds{};
  OSStatus err = HIViewGetBounds(inView, &bounds);
  if (err != noErr) return err;
  *outShape = HIShapeCreateWithRect(&bounds);
  return *outShape != nullptr ? OSStatus(noErr) : OSStatus(memFullErr);
}

OSStatus HIViewNewTrackingArea(HIViewRef inView, HIShapeRef, HIViewTrackingAreaID inID, HIViewTrackingAreaRef *outRef) {
  if (!Live(inView)) return errUnknownControl;
  auto area = std::make_unique<OpaqueHIViewTrackingAreaRef>(OpaqueHIViewTrackingAreaRef{inView, inID});
  if (outRef != nullptr) *outRef = area.get();
  inView->extras.trackingAreas.push_back(std::move(area));
  return noErr;
}

namespace {
// The live view that holds the area; null when it is gone.
ControlRef TrackingAreaOwner(HIViewTrackingAreaRef area) {
  if (area == nullptr) return nullptr;
  for (auto &[window, list] : gControls)
    for (auto &c : list)
      for (auto &a : c->extras.trackingAreas)
        if (a.get() == area) return c.get();
  return nullptr;
}
}  // namespace

OSStatus HIViewGetTrackingAreaID(HIViewTrackingAreaRef inTrackingRef, HIViewTrackingAreaID *outID) {
  if (outID == nullptr) return paramErr;
  if (TrackingAreaOwner(inTrackingRef) == nullptr) return paramErr;
  *outID = inTrackingRef->id;
  return noErr;
}

OSStatus HIViewDisposeTrackingArea(HIViewTrackingAreaRef inTrackingRef) {
  ControlRef owner = TrackingAreaOwner(inTrackingRef);
  if (owner == nullptr) return paramErr;
  auto &areas = owner->extras.trackingAreas;
  areas.erase(std::remove_if(areas.begin(), areas.end(), [&](auto &a) { return a.get() == inTrackingRef; }),
              areas.end());
  return noErr;
}

HIViewTrackingAreaRef PL_GetViewTrackingArea(HIViewRef inView) {
  return Live(inView) && !inView->extras.trackingAreas.empty() ? inView->extras.trackingAreas.front().get() : nullptr;
}

namespace {
// Made controls carry identifiers of signature 0 until their makers give them one.
OSStatus NewMadeControl(WindowRef window, ControlRef *out) {
  static SInt32 serial = 0x40000000;
  HIViewID id{0, 0};
  OSStatus err = dupFNErr;
  while (err == dupFNErr) {
    id.id = ++serial;
    err = PL_NewControl(window, &id, out);
  }
  return err;
}
}  // namespace

OSStatus PL_NewEmbedderView(WindowRef inWindow, HIViewRef *outView) {
  if (outView == nullptr) return paramErr;
  OSStatus err = NewMadeControl(inWindow, outView);
  if (err != noErr) return err;
  PL_SetControlClassID(*outView, CFSTR("com.apple.hiview"));
  HIViewChangeFeatures(*outView, kHIViewFeatureAllowsSubviews, 0);
  return noErr;
}

OSStatus CreateRadioGroupControl(WindowRef window, const Rect *boundsRect, ControlRef *outControl) {
  if (boundsRect == nullptr || outControl == nullptr) return paramErr;
  OSStatus err = NewMadeControl(window, outControl);
  if (err != noErr) return err;
  const ControlKind kind{kControlKindSignatureApple, kControlKindRadioGroup};
  PL_SetControlKind(*outControl, &kind);
  HIViewChangeFeatures(*outControl, kHIViewFeatureAllowsSubviews, 0);
  SetControlBounds(*outControl, boundsRect);
  return noErr;
}

OSStatus CreateRadioButtonControl(WindowRef window, const Rect *boundsRect, CFStringRef title, SInt32 initialValue,
                                  Boolean, ControlRef *outControl) {
  if (boundsRect == nullptr || outControl == nullptr) return paramErr;
  OSStatus err = NewMadeControl(window, outControl);
  if (err != noErr) return err;
  const ControlKind kind{kControlKindSignatureApple, 'rdio'};
  PL_SetControlKind(*outControl, &kind);
  SetControl32BitMaximum(*outControl, 1);
  SetControl32BitValue(*outControl, initialValue);
  if (title != nullptr) SetControlTitleWithCFString(*outControl, title);
  SetControlBounds(*outControl, boundsRect);
  return noErr;
}
