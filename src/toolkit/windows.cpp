// Window operations of the toolkit.
#include "toolkit/windows.h"

#include "general/geometry.h"
#include "general/processor_info.h"
#include "general/unicode_strings.h"
#include "platform/core/cf_string.h"
#include "platform/core/windows.h"
#include "platform/core/quickdraw_text.h"
#include "platform/ui/nib_controls.h"

namespace {

OSStatus MakeCloseEvent(WindowRef window, EventRef *event) {
  *event = nullptr;
  if (window == nullptr) return paramErr;
  OSStatus err = CreateEvent(nullptr, kEventClassWindow, kEventWindowClose, 0, kEventAttributeNone, event);
  if (err == noErr) err = SetEventParameter(*event, kEventParamDirectObject, typeWindowRef, sizeof window, &window);
  if (err != noErr && *event != nullptr) {
    ReleaseEvent(*event);
    *event = nullptr;
  }
  return err;
}

OSStatus PostCloseEvent(WindowRef window, EventQueueRef queue) {
  EventTargetRef target = GetWindowEventTarget(window);
  if (target == nullptr) return window == nullptr ? OSStatus(paramErr) : OSStatus(errInvalidWindowRef);
  EventRef event = nullptr;
  OSStatus err = MakeCloseEvent(window, &event);
  if (err != noErr) return err;
  err = SetEventParameter(event, kEventParamPostTarget, typeEventTargetRef, sizeof target, &target);
  if (err == noErr) err = PostEventToQueue(queue, event, kEventPriorityStandard);
  ReleaseEvent(event);
  return err;
}

}  // namespace

OSStatus GL_SendWindowCloseEvent(WindowRef window) {
  EventTargetRef target = GetWindowEventTarget(window);
  if (target == nullptr) return window == nullptr ? OSStatus(paramErr) : OSStatus(errInvalidWindowRef);
  EventRef event = nullptr;
  OSStatus err = MakeCloseEvent(window, &event);
  if (err != noErr) return err;
  err = SendEventToEventTarget(event, target);
  ReleaseEvent(event);
  return err;
}

OSStatus GL_PostWindowCloseEventMain(WindowRef window) { return PostCloseEvent(window, GetMainEventQueue()); }

OSStatus GL_PostWindowCloseEventCurrent(WindowRef window) { return PostCloseEvent(window, GetCurrentEventQueue()); }

WindowRef GL_FindWindowByClassAndName(WindowClass windowClass, CFStringRef name, Boolean mustBeVisible) {
  if (name == nullptr) return nullptr;
  for (WindowRef window = GetFrontWindowOfClass(windowClass, mustBeVisible); window != nullptr;
       window = GetNextWindowOfClass(window, windowClass, mustBeVisible)) {
    CFStringRef title = nullptr;
    if (CopyWindowTitleAsCFString(window, &title) != noErr) continue;
    const Boolean same = GL_EqualCFStr(title, name);
    CFRelease(title);
    if (same) return window;
  }
  return nullptr;
}

OSStatus GL_IsWindowClosable(WindowRef window, Boolean *closable) {
  if (closable == nullptr) return paramErr;
  WindowAttributes attributes = 0;
  OSStatus err = GetWindowAttributes(window, &attributes);
  if (err == noErr) *closable = (attributes & kWindowCloseBoxAttribute) != 0;
  return err;
}

void GL_PositionWindow(WindowRef window, Point savedLoc) {
  if (savedLoc.h != 0 || savedLoc.v != 0) MoveWindow(window, savedLoc.h, savedLoc.v, false);
  ConstrainWindowToScreen(window, kWindowStructureRgn, kWindowConstrainStandardOptions, nullptr, nullptr);
}

void GL_PositionAndSizeWindow(WindowRef window, Point savedLoc, Point savedSize) {
  if (savedLoc.h != 0 || savedLoc.v != 0) MoveWindow(window, savedLoc.h, savedLoc.v, false);
  if (savedSize.h != 0 || savedSize.v != 0) SizeWindow(window, savedSize.h, savedSize.v, true);
  ConstrainWindowToScreen(window, kWindowStructureRgn, kWindowConstrainStandardOptions, nullptr, nullptr);
}

OSStatus GL_SaveWindowPosition(WindowRef window, Point *location) {
  if (location == nullptr) return paramErr;
  Rect bounds{};
  OSStatus err = GetWindowBounds(window, kWindowContentRgn, &bounds);
  if (err == noErr) *location = Point{bounds.top, bounds.left};
  return err;
}

OSStatus GL_GetWindowPortSize(WindowRef window, Point *size) {
  if (size == nullptr) return paramErr;
  Rect bounds{};
  OSStatus err = GetWindowBounds(window, kWindowContentRgn, &bounds);
  if (err == noErr) *size = Point{SInt16(bounds.bottom - bounds.top), SInt16(bounds.right - bounds.left)};
  return err;
}

OSStatus GL_GetGlobalWindowRect(WindowRef window, Rect *rect) {
  if (rect == nullptr) return paramErr;
  return GetWindowBounds(window, kWindowContentRgn, rect);
}

Boolean GL_IsWindowVisible(WindowRef window) {
  Rect bounds{}, screen{};
  if (GetWindowBounds(window, kWindowContentRgn, &bounds) != noErr) return false;
  if (PL_GetMainScreenBounds(&screen) != noErr) return false;
  const bool meets = bounds.left < screen.right && screen.left < bounds.right && bounds.top < screen.bottom &&
                     screen.top < bounds.bottom;
  return meets;
}

OSStatus GL_GetWindowContentRect(WindowRef window, Rect *rect) {
  if (rect == nullptr) return paramErr;
  return GetWindowBounds(window, kWindowContentRgn, rect);
}

OSStatus GL_GetWindowFrame(WindowRef window, Rect *frame) {
  if (frame == nullptr) return paramErr;
  Rect structure, content;
  OSStatus err = GetWindowBounds(window, kWindowStructureRgn, &structure);
  if (err == noErr) err = GetWindowBounds(window, kWindowContentRgn, &content);
  if (err == noErr) GL_GetRectBorders(&structure, &content, frame);
  return err;
}

OSStatus GL_GetWindowTitleBar(WindowRef window, Rect *rect) {
  if (rect == nullptr) return paramErr;
  Rect structure, content;
  OSStatus err = GetWindowBounds(window, kWindowStructureRgn, &structure);
  if (err == noErr) err = GetWindowBounds(window, kWindowContentRgn, &content);
  if (err != noErr) return err;
  structure.bottom = content.top;
  *rect = structure;
  return noErr;
}

GDHandle GL_GetWindowMaxScreen(WindowRef window) {
  Rect structure;
  if (GetWindowBounds(window, kWindowStructureRgn, &structure) != noErr) return nullptr;
  return GL_FindRectMaxScreen(&structure, nullptr);
}

Boolean GL_SectRectWindowStrucRgn(const Rect *rect, WindowRef window, Rect *intersection) {
  Rect structure, common;
  if (rect == nullptr || GetWindowBounds(window, kWindowStructureRgn, &structure) != noErr) return false;
  const Boolean meets = SectRect(rect, &structure, &common);
  if (intersection != nullptr) *intersection = common;
  return meets;
}

Boolean GL_SectRectWindowsStrucRgn(const Rect *rect, const GL_WindowLE *firstElem, RgnHandle intersection) {
  if (rect == nullptr) return false;
  RgnHandle all = NewRgn(), one = NewRgn();
  Boolean meets = false;
  if (all != nullptr && one != nullptr) {
    for (const GL_WindowLE *elem = firstElem; elem != nullptr; elem = elem->next) {
      Rect structure;
      if (GetWindowBounds(elem->window, kWindowStructureRgn, &structure) != noErr) continue;
      RectRgn(one, &structure);
      UnionRgn(all, one, all);
    }
    meets = GL_SectRectRgn(rect, all, intersection);
  }
  if (one != nullptr) DisposeRgn(one);
  if (all != nullptr) DisposeRgn(all);
  return meets;
}

OSStatus GL_CreateWindowFromNibByName(CFStringRef nibName, CFStringRef windowName, WindowRef *window) {
  if (window == nullptr) return paramErr;
  *window = nullptr;
  IBNibRef nib = nullptr;
  OSStatus err = CreateNibReference(nibName, &nib);
  if (err != noErr) return err;
  err = CreateWindowFromNib(nib, windowName, window);
  DisposeNibReference(nib);
  return err;
}

namespace {

constexpr SInt16 kFloaterWidth = 220, kFloaterHeight = 124;

bool InsideRect(const Rect &inner, const Rect &outer) {
  return inner.top >= outer.top && inner.left >= outer.left && inner.bottom <= outer.bottom &&
         inner.right <= outer.right;
}

Rect FloaterAt(SInt32 top, SInt32 left) {
  return Rect{SInt16(top), SInt16(left), SInt16(top + kFloaterHeight), SInt16(left + kFloaterWidth)};
}

}  // namespace

OSStatus GL_InitFloatingWindow(WindowRef floater, TEHandle *text, ConstStr255Param title) {
  if (text == nullptr) return paramErr;
  *text = nullptr;
  Rect bounds{};
  OSStatus err = GetWindowBounds(floater, kWindowContentRgn, &bounds);
  if (err != noErr) return err;
  GrafPtr savedPort = nullptr;
  GetPort(&savedPort);
  CGrafPtr port = GetWindowPort(floater);
  if (port != nullptr) {
    SetPort(port);
    GetPortBounds(port, &bounds);
  } else {
    // A window without a port of its own: its content at (0,0).
    OffsetRect(&bounds, SInt16(-bounds.left), SInt16(-bounds.top));
  }
  TextFont(5);
  TextSize(10);
  TextFace(0);
  Rect dest = bounds;
  InsetRect(&dest, 10, 10);
  *text = TENew(&dest, &bounds);
  if (*text == nullptr) {
    SetPort(savedPort);
    return memFullErr;
  }
  if (title != nullptr) {
    CFStringRef cfTitle = CFStringCreateWithPascalString(nullptr, title, kCFStringEncodingMacRoman);
    if (cfTitle != nullptr) {
      SetWindowTitleWithCFString(floater, cfTitle);
      CFRelease(cfTitle);
    }
  }
  if (port != nullptr) {
    const RGBColor lightGrey{60000, 60000, 60000};
    RGBBackColor(&lightGrey);
  }
  SetPort(savedPort);
  return noErr;
}

void GL_DisposeFloater(WindowRef *floater, TEHandle *text) {
  if (text != nullptr && *text != nullptr) {
    TEDispose(*text);
    *text = nullptr;
  }
  if (floater != nullptr && *floater != nullptr) {
    DisposeWindow(*floater);
    *floater = nullptr;
  }
}

OSStatus GL_CreateFloatingWindow(WindowRef *floater, WindowRef owner, TEHandle *text, ConstStr255Param title) {
  if (floater == nullptr || text == nullptr) return paramErr;
  Rect place{};
  OSStatus err = noErr;
  const bool remade = *floater != nullptr;
  if (remade) {
    Rect old{};
    err = GetWindowBounds(*floater, kWindowContentRgn, &old);
    if (err != noErr) return err;
    place = FloaterAt(old.top, old.left);
    GL_DisposeFloater(floater, text);
  } else {
    Rect s{}, desktop{};
    err = GetWindowBounds(owner, kWindowStructureRgn, &s);
    if (err == noErr) err = PL_GetMainScreenBounds(&desktop);
    if (err != noErr) return err;
    const Rect tries[] = {FloaterAt(s.top, s.left - kFloaterWidth), FloaterAt(s.top, s.right),
                          FloaterAt(s.bottom - kFloaterHeight, s.left - kFloaterWidth),
                          FloaterAt(s.bottom - kFloaterHeight, s.right - kFloaterWidth)};
    // The last place lies over the owner; it is taken when none fits on the screen.
    place = tries[3];
    for (const Rect &r : tries)
      if (InsideRect(r, desktop)) {
        place = r;
        break;
      }
  }
  err = CreateNewWindow(kFloatingWindowClass, kWindowCollapseBoxAttribute, &place, floater);
  if (err != noErr) return err;
  err = GL_InitFloatingWindow(*floater, text, title);
  if (err != noErr) {
    GL_DisposeFloater(floater, text);
    return err;
  }
  ShowWindow(*floater);
  return noErr;
}
