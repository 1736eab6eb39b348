// Control Manager stand-in, the part below the toolkit: the views of a window found by their view
// identifier (signature and number), each with a 32-bit value, minimum and maximum and, for pop-up
// buttons, its menu. The user-interface layer makes a control for each widget of a window it loads
// (PL_NewControl) and shows the values; code and tests below it work on the records without a display.
// Main thread only.
#pragma once

#include "platform/core/mac_errors.h"
#include "platform/core/cf_base.h"
#include "platform/core/menus.h"
#include "platform/core/quickdraw_geometry.h"
#include "platform/core/quickdraw_ports.h"

struct HIViewID {
  OSType signature;
  SInt32 id;
};
struct OpaqueControlRef;
typedef OpaqueControlRef *ControlRef;
typedef ControlRef HIViewRef;

// The root view of a window (a handle for HIViewFindByID; null for a null window).
HIViewRef HIViewGetRoot(WindowRef inWindow);
// The view with that identifier under the root; errUnknownControl when the window has none.
OSStatus HIViewFindByID(HIViewRef inStartView, HIViewID inID, HIViewRef *outControl);
OSStatus GetControlByID(WindowRef inWindow, const HIViewID *inID, ControlRef *outControl);

SInt32 GetControl32BitValue(ControlRef theControl);
void SetControl32BitValue(ControlRef theControl, SInt32 newValue);
SInt32 GetControl32BitMaximum(ControlRef theControl);
void SetControl32BitMaximum(ControlRef theControl, SInt32 newMaximum);
SInt32 GetControl32BitMinimum(ControlRef theControl);
void SetControl32BitMinimum(ControlRef theControl, SInt32 newMinimum);
// The menu of a pop-up button (borrowed: the control owns it); null for other controls.
MenuRef GetControlPopupMenuHandle(ControlRef control);
// Gives the pop-up button a menu (the control takes it and disposes the one it had).
void SetControlPopupMenuHandle(ControlRef control, MenuRef popupMenu);

// A control's text: a button's title or a static or edit text's contents (one text per control). The copy
// is owned (CFRelease); a control without text answers an empty string. errUnknownControl for a control
// that is gone, paramErr for a NULL string.
OSStatus SetControlTitleWithCFString(ControlRef inControl, CFStringRef inString);
OSStatus CopyControlTitleAsCFString(ControlRef inControl, CFStringRef *outString);
OSStatus HIViewSetText(HIViewRef inView, CFStringRef inText);
// NULL for a view that is gone.
CFStringRef HIViewCopyText(HIViewRef inView);

// Tagged control data: only the progress indicator's indeterminate flag (a Boolean) is kept; other tags
// answer errDataNotSupported, a wrong size errDataSizeMismatch. A new control is determinate.
typedef SInt16 ControlPartCode;
enum : ResType { kControlProgressBarIndeterminateTag = 'inde' };
enum : ControlPartCode { kControlEntireControl = 0 };
enum : OSStatus { errDataNotSupported = -30583, errDataSizeMismatch = -30601 };
OSStatus SetControlData(ControlRef inControl, ControlPartCode inPart, ResType inTagName, Size inSize,
                        const void *inData);
OSStatus GetControlData(ControlRef inControl, ControlPartCode inPart, ResType inTagName, Size inBufferSize,
                        void *inBuffer, Size *outActualSize);

// The control's rectangle in the window's content coordinates; a new control has an empty one.
Rect *GetControlBounds(ControlRef control, Rect *bounds);
void SetControlBounds(ControlRef control, const Rect *bounds);

// Asks the window's controls to be drawn again; the user-interface layer redraws on its own, so this only
// tells it (through the changed procedure, with a NULL control) that a batch of changes is complete.
void UpdateControls(WindowRef inWindow, RgnHandle inUpdateRegion);

// ---- Our own helpers ----
// A new control of the window (owned by the window's list: PL_DisposeWindowControls) with value 0,
// minimum 0, maximum 0 and no menu. paramErr for a null window or identifier, dupFNErr for an identifier
// the window has already.
OSStatus PL_NewControl(WindowRef window, const HIViewID *id, ControlRef *control);
// Disposes every control of the window with their menus.
void PL_DisposeWindowControls(WindowRef window);
// Called after a value, minimum, maximum, text, indeterminate flag or bounds changed through the calls
// above, and with a NULL control from UpdateControls (the user-interface layer
// mirrors it on the widget); null removes it.
typedef void (*PL_ControlChangedProc)(WindowRef window, HIViewID id, ControlRef control);
void PL_SetControlChangedProc(PL_ControlChangedProc proc);
