// Window operations of the toolkit.
#include "toolkit/windows.h"

#include "general/unicode_strings.h"
#include "platform/core/cf_string.h"
#include "platform/core/windows.h"

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
