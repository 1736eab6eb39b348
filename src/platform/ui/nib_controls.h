// Interface Builder stand-in: a nib is a folder "<nib name>" in the main bundle's resources holding one Qt
// Designer file "<window name>.ui" per window, or a single Designer file "<nib name>.ui"; a window of the
// nib is the widget of that objectName in its file (the file's top-level widget or one of its children).
// Our own view kinds (BZLittleArrows, BZChasingArrows, BZImageWell, BZImageView, BZTextView, BZPopupButton,
// BZFrameView) are made from plain widgets that carry the kind as the property "bzViewKind". The widgets whose objectName is a view identifier, "<signature>_<number>" (Orl1_2082,
// PRGR_3003), become the window's controls (platform/core/controls.h) and are kept in step with them:
// values, range, indeterminate state, text and visibility set on a control show on its widget, and a
// user's action becomes a control-hit event (class 'cntl', kind 1, the control as direct object) sent to the
// window's hit target: a click on a button, check box (0 and 1; 2 shows mixed), radio button (the group's
// value is the button's 1-based index), tab (1-based), a pop-up item (its index, separators counted; a
// submenu item also sends its command to the submenu), a click into an edit text, a slider's release (its
// action runs while it is dragged) and the release of little arrows (their action runs with part 20 or 21
// while one is held). Typing sends ('txfd', 2) and ('txfd', 3), Return ('txfd', 1), a combo box's list item
// ('hicb', 1), each to the control's own target. Activation, help tags (tool tips), size and font, keyboard
// focus and the window's default (Return) and cancel (Escape) buttons show on the widgets; bounds follow
// the widgets. Changes the program makes are no hits.
//
// Needs a QApplication. Main thread only.
#pragma once

#include "platform/core/controls.h"
#include "platform/core/event_loop.h"

struct OpaqueIBNibRef;
typedef OpaqueIBNibRef *IBNibRef;

enum : OSStatus { kPL_NibWindowNotFoundErr = -43 };

// *outNibRef = the nib of that name (owned: DisposeNibReference). fnfErr when the bundle has no such file.
OSStatus CreateNibReference(CFStringRef inNibName, IBNibRef *outNibRef);
void DisposeNibReference(IBNibRef inNibRef);

// The controls of PL_AttachNibControls (nib_controls_qt.h) go with PL_DetachNibControls (or
// PL_DisposeWindowControls).
void PL_DetachNibControls(WindowRef window);
// Whether the window has controls of PL_AttachNibControls.
Boolean PL_HasNibControls(WindowRef window);

// A click on the control as the user's: a button's widget is clicked (so its hit takes the user's road),
// any other control sends its hit with the part. An inactive control takes no click. *outPartClicked (may be
// null) = the part.
OSStatus HIViewSimulateClick(HIViewRef inView, ControlPartCode inPartToClick, UInt32 inModifiers,
                             ControlPartCode *outPartClicked);
// Makes the Designer file's unnamed container that holds exactly the listed controls (and no other) the new
// pane paneID under parent, the items its subviews: the container's layout stays. errUnknownControl when
// there is no such container (then the caller makes a pane of its own).
OSStatus PL_AdoptEmbedderPane(WindowRef window, HIViewRef parent, const HIViewRef *items, ItemCount numItems,
                              HIViewID paneID, HIViewRef *outPane);
