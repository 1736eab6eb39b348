// Small window operations shared by all windows of the application: closing a window through its own close
// handler, finding a window by class and title, placing a window at a saved location and keeping it on
// screen, saving its location, and rectangle queries. Main thread only; nothing here keeps state.
#pragma once

#include "platform/core/cf_base.h"
#include "platform/core/offscreen_worlds.h"
#include "platform/core/quickdraw_geometry.h"
#include "platform/core/quickdraw_ports.h"
#include "platform/core/text_edit.h"
#include "platform/ui/window_manager.h"

// Sends the window its close event at once (class window, kind close, the window as direct object), so that
// it closes through its own close handler exactly as if the user had clicked its close box. The sending's
// status (paramErr for NULL).
OSStatus GL_SendWindowCloseEvent(WindowRef window);
// The same event posted with standard priority to the main event queue, respectively to the current
// thread's queue, for the window's target.
OSStatus GL_PostWindowCloseEventMain(WindowRef window);
OSStatus GL_PostWindowCloseEventCurrent(WindowRef window);

// The frontmost window of that class whose title equals name (only visible ones when mustBeVisible); NULL
// when none (or for a NULL name).
WindowRef GL_FindWindowByClassAndName(WindowClass windowClass, CFStringRef name, Boolean mustBeVisible);
// *closable: whether the window has a close box.
OSStatus GL_IsWindowClosable(WindowRef window, Boolean *closable);

// Unless savedLoc is (0,0), moves the window's content top left there (global coordinates, not to the
// front); then moves the window onto the screen when it lies off it.
void GL_PositionWindow(WindowRef window, Point savedLoc);
// As GL_PositionWindow, and unless savedSize is (0,0) sizes the content to savedSize (h wide, v high) first.
void GL_PositionAndSizeWindow(WindowRef window, Point savedLoc, Point savedSize);
// *location: the top left of the window's content in global coordinates (v top, h left).
OSStatus GL_SaveWindowPosition(WindowRef window, Point *location);
// *size: the content's width (h) and height (v).
OSStatus GL_GetWindowPortSize(WindowRef window, Point *size);
// *rect: the window's content rectangle in global coordinates.
OSStatus GL_GetGlobalWindowRect(WindowRef window, Rect *rect);
// True when some part of the window's global content rectangle lies on the main screen; false when it lies
// wholly off it (it cannot be seen there) or the window is unknown.
Boolean GL_IsWindowVisible(WindowRef window);

// ---- Rectangle queries ----

// One element of a singly linked list of windows.
struct GL_WindowLE {
  GL_WindowLE *next;
  WindowRef window;
};

// *rect: the bounds of the window's content region in global coordinates.
OSStatus GL_GetWindowContentRect(WindowRef window, Rect *rect);
// *frame: the widths of the window's frame on each side (structure rectangle outside the content rectangle).
OSStatus GL_GetWindowFrame(WindowRef window, Rect *frame);
// *rect: the window's structure rectangle down to the content's top.
OSStatus GL_GetWindowTitleBar(WindowRef window, Rect *rect);
// The screen that holds the largest part of the window's structure rectangle; NULL when none (or for an
// unknown window).
GDHandle GL_GetWindowMaxScreen(WindowRef window);
// Whether rect meets the window's structure rectangle; *intersection (optional) gets the common part.
// False for an unknown window.
Boolean GL_SectRectWindowStrucRgn(const Rect *rect, WindowRef window, Rect *intersection);
// Whether rect meets the union of the structure rectangles of the list's windows (unknown windows add
// nothing); intersection (optional region) gets the common part.
Boolean GL_SectRectWindowsStrucRgn(const Rect *rect, const GL_WindowLE *firstElem, RgnHandle intersection);

// *window = a new window windowName of the nib nibName (see CreateWindowFromNib); the nib reference is
// opened and disposed of here. The first failure; *window is NULL then.
OSStatus GL_CreateWindowFromNibByName(CFStringRef nibName, CFStringRef windowName, WindowRef *window);

// ---- A simple floating text window (offered; the application does not call it) ----

// *floater = a floating window 220 wide and 124 high with a text record *text. An existing floater is
// disposed of (with its text record) and the new one takes its place; otherwise it goes beside the owner:
// left of its top left, at its top right, left of its bottom left, or inside its bottom right corner, the
// first of these that lies wholly on the screen. The window is shown.
OSStatus GL_CreateFloatingWindow(WindowRef *floater, WindowRef owner, TEHandle *text, ConstStr255Param title);
// *text = a text record over the window's port (inset by 10; font 5, size 10, plain), the title set and the
// background light grey. memFullErr when the record cannot be made. The current port is kept.
OSStatus GL_InitFloatingWindow(WindowRef floater, TEHandle *text, ConstStr255Param title);
// Disposes of the floater and its text record, each when present, and clears both.
void GL_DisposeFloater(WindowRef *floater, TEHandle *text);
