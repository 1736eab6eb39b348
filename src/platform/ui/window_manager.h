// Window Manager stand-in over Qt top-level widgets: windows with a class and attributes, kept in a
// front-to-back list, each with its own event target, a title answered through the core layer's window
// procedures (platform/core/windows.h), a content rectangle in global coordinates and visibility.
//
// A window closes like a Carbon window: the system's close request (the close box, or an event of class
// kEventClassWindow and kind kEventWindowClose sent to the window's target) runs the handlers installed on
// the window's target, newest first; when none of them handles it, the standard handler disposes the window.
//
// Needs a QApplication; one is made the first time a window is created when the program has none.
// Main thread only.
#pragma once

#include "platform/core/classic_events.h"
#include "platform/core/event_loop.h"
#include "platform/core/quickdraw_ports.h"
#include "platform/core/windows.h"

struct OpaqueIBNibRef;
typedef OpaqueIBNibRef *IBNibRef;

typedef UInt32 WindowClass;
enum : WindowClass {
  kAlertWindowClass = 1,
  kMovableAlertWindowClass = 2,
  kModalWindowClass = 3,
  kMovableModalWindowClass = 4,
  kFloatingWindowClass = 5,
  kDocumentWindowClass = 6,
  kUtilityWindowClass = 8,
  kSheetWindowClass = 11,
  kAllWindowClasses = 0xFFFFFFFF,
};

typedef UInt32 WindowAttributes;
enum : WindowAttributes {
  kWindowNoAttributes = 0,
  kWindowCloseBoxAttribute = 1u << 0,
  kWindowCollapseBoxAttribute = 1u << 3,
  kWindowStandardDocumentAttributes = (1u << 0) | (1u << 1) | (1u << 2) | (1u << 3),
};

typedef UInt16 WindowRegionCode;
enum : WindowRegionCode { kWindowStructureRgn = 32, kWindowContentRgn = 33 };

typedef UInt32 WindowConstrainOptions;
enum : WindowConstrainOptions { kWindowConstrainStandardOptions = 0 };

// Window events, sent to the window's target with the window as direct object (typeWindowRef):
//   activated, deactivated   the user's activation (or SelectWindow) as Qt reports it;
//   bounds changing          before a size change is kept: kEventParamCurrentBounds (typeQDRectangle, global
//                            content bounds) may be changed by a handler that answers noErr;
//                            kEventParamOriginalBounds holds the bounds before the change;
//   bounds changed           after a move or size change, with kEventParamCurrentBounds, kEventParamPreviousBounds
//                            and kEventParamAttributes (kWindowBoundsChange... bits, typeUInt32);
//   resize completed         a user's resizing has come to rest;
//   get minimum/maximum size asked when the window is shown: a handler answering noErr puts the size into
//                            kEventParamDimensions (typeQDPoint, h width, v height);
//   draw content             the content is being drawn;
//   close                    the close box or GL_SendWindowCloseEvent.
// Mouse events (class kEventClassMouse) dragged and up inside the window carry kEventParamMouseLocation (global,
// typeQDPoint) and kEventParamWindowRef.
enum : UInt32 { kEventClassWindow = 'wind' };
enum : UInt32 {
  kEventWindowDrawContent = 2,
  kEventWindowActivated = 5,
  kEventWindowDeactivated = 6,
  kEventWindowBoundsChanging = 26,
  kEventWindowBoundsChanged = 27,
  kEventWindowResizeCompleted = 29,
  kEventWindowClose = 72,
  kEventWindowGetMinimumSize = 81,
  kEventWindowGetMaximumSize = 82,
};
enum : UInt32 { kEventMouseDragged = 6 };
enum : EventParamType { typeWindowRef = 'wind', typeQDRectangle = 'qdrt' };
enum : EventParamName {
  kEventParamWindowRef = 'wind',
  kEventParamCurrentBounds = 'crct',
  kEventParamPreviousBounds = 'prct',
  kEventParamOriginalBounds = 'orgb',
  kEventParamAttributes = 'attr',
  kEventParamDimensions = 'dims',
};
enum : UInt32 {
  kWindowBoundsChangeUserDrag = 1u << 0,
  kWindowBoundsChangeUserResize = 1u << 1,
  kWindowBoundsChangeSizeChanged = 1u << 2,
  kWindowBoundsChangeOriginChanged = 1u << 3,
};

// *outWindow = a new, hidden window of that class with its content at contentBounds (global coordinates),
// in front of the others; owned: DisposeWindow. paramErr for a NULL rectangle or result.
OSStatus CreateNewWindow(WindowClass windowClass, WindowAttributes attributes, const Rect *contentBounds,
                         WindowRef *outWindow);
// *outWindow = a new, hidden document window (close box) holding the nib's window inName (platform/ui/
// nib_controls.h), sized as that widget, titled with its window title; its controls send their hits to the
// window's own event target. A nib window whose widget sets the property "showsMenuBar" shows the menu bar
// (platform/ui/menu_bar.h) at its top; every window takes the bar's shortcuts. fnfErr when the nib has no such window, paramErr for missing arguments.
OSStatus CreateWindowFromNib(IBNibRef inNibRef, CFStringRef inName, WindowRef *outWindow);
// Removes the window, its nib controls, its event target and its widget. A window the layer does not know is left alone.
void DisposeWindow(WindowRef window);

void ShowWindow(WindowRef window);
void HideWindow(WindowRef window);
// Shown (the widget visible); false for an unknown window.
Boolean IsWindowVisible(WindowRef window);
// Brings the window to the front of the list and on screen. The list follows the user's activation too.
void SelectWindow(WindowRef window);

OSStatus GetWindowClass(WindowRef window, WindowClass *outClass);
OSStatus GetWindowAttributes(WindowRef window, WindowAttributes *outAttributes);
// The frontmost window of the class (kAllWindowClasses: any), only visible ones when mustBeVisible; NULL.
WindowRef GetFrontWindowOfClass(WindowClass windowClass, Boolean mustBeVisible);
// The next window of the class behind `window`; NULL at the end or for an unknown window.
WindowRef GetNextWindowOfClass(WindowRef window, WindowClass windowClass, Boolean mustBeVisible);
// The frontmost visible window that is not floating; NULL.
WindowRef FrontNonFloatingWindow();

// The target that window events go to (borrowed: lives as long as the window); NULL for an unknown window.
EventTargetRef GetWindowEventTarget(WindowRef window);

// The content or structure rectangle in global coordinates (the offscreen and most desktop platforms draw
// no frame of their own, so both are the same there).
OSStatus GetWindowBounds(WindowRef window, WindowRegionCode regionCode, Rect *globalBounds);
// Moves the content's top left to (hGlobal, vGlobal); `front` also brings it to the front.
void MoveWindow(WindowRef window, SInt16 hGlobal, SInt16 vGlobal, Boolean front);
// Sizes the content to width x height.
void SizeWindow(WindowRef window, SInt16 width, SInt16 height, Boolean fUpdate);
// Moves the window (by its region) fully onto the screen that holds most of it when it fits there;
// outStructure (optional) gets the new structure rectangle.
OSStatus ConstrainWindowToScreen(WindowRef window, WindowRegionCode regionCode, WindowConstrainOptions options,
                                 const Rect *screenRect, Rect *outStructure);
// The available rectangle of the main screen in global coordinates.
OSStatus PL_GetMainScreenBounds(Rect *bounds);
