// Interface Builder stand-in: a nib is a folder "<nib name>" in the main bundle's resources holding one Qt
// Designer file "<window name>.ui" per window, or a single Designer file "<nib name>.ui"; a window of the
// nib is the widget of that objectName in its file (the file's top-level widget or one of its children).
// Our own view kinds (BZLittleArrows, BZChasingArrows, BZImageWell, BZImageView, BZTextView, BZPopupButton,
// BZFrameView) are made from plain widgets that carry the kind as the property "bzViewKind". The widgets whose objectName is a view identifier, "<signature>_<number>" (Orl1_2082,
// PRGR_3003), become the window's controls (platform/core/controls.h) and are kept in step with them:
// values, range, indeterminate state, text and visibility set on a control show on its widget, and a
// user's click on a button becomes a control-hit event (class 'cntl', kind 1, the control as direct
// object) sent to the window's hit target. Changes the program makes are no hits.
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
