// Interface Builder stand-in: a nib is the Qt Designer file "<nib name>.ui" in the main bundle's resources;
// a window of the nib is the widget of that objectName in it (the file's top-level widget or one of its
// children). The widgets whose objectName is a view identifier, "<signature>_<number>" (Orl1_2082,
// PRGR_3003), become the window's controls (platform/core/controls.h) and are kept in step with them:
// values, range, indeterminate state, text and visibility set on a control show on its widget, and a
// user's click on a button becomes a control-hit event (class 'cntl', kind 1, the control as direct
// object) sent to the window's hit target. Changes the program makes are no hits.
//
// Needs a QApplication. Main thread only.
#pragma once

#include "platform/core/controls.h"
#include "platform/core/event_loop.h"

class QWidget;

struct OpaqueIBNibRef;
typedef OpaqueIBNibRef *IBNibRef;

enum : OSStatus { kPL_NibWindowNotFoundErr = -43 };

// *outNibRef = the nib of that name (owned: DisposeNibReference). fnfErr when the bundle has no such file.
OSStatus CreateNibReference(CFStringRef inNibName, IBNibRef *outNibRef);
void DisposeNibReference(IBNibRef inNibRef);

// Our own helpers, on which the window layer builds CreateWindowFromNib:
// *outWidget = a new widget tree of the nib's window inName, without a parent (owned by the caller).
// fnfErr when the nib has no widget of that name, paramErr for missing arguments.
OSStatus PL_LoadNibWindowWidget(IBNibRef inNibRef, CFStringRef inName, QWidget **outWidget);
// Makes a control for each widget of the tree named as a view identifier, with the widget's state, and keeps
// the two in step; hits go to hitTarget (NULL: the application target). dupFNErr when two widgets carry the
// same identifier. The controls go with PL_DetachNibControls (or PL_DisposeWindowControls).
OSStatus PL_AttachNibControls(WindowRef window, QWidget *root, EventTargetRef hitTarget);
void PL_DetachNibControls(WindowRef window);
// Whether the window has controls of PL_AttachNibControls.
Boolean PL_HasNibControls(WindowRef window);
// The widget of a control (borrowed); NULL when the window has none of that identifier.
QWidget *PL_GetControlWidget(WindowRef window, HIViewID id);
