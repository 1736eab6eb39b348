// The Qt side of the nib stand-in, for the user-interface layer and Qt-aware tests only: the toolkit and
// everything above it see no Qt type.
#pragma once

#include "platform/ui/nib_controls.h"

#include <string>

class QWidget;

// The Designer file that holds the nib's window (or menu bar) inName; "" for a NULL nib.
std::string PL_GetNibFilePath(IBNibRef inNibRef, CFStringRef inName);

// *outWidget = a new widget tree of the nib's window inName, without a parent (owned by the caller).
// fnfErr when the nib has no widget of that name, paramErr for missing arguments.
OSStatus PL_LoadNibWindowWidget(IBNibRef inNibRef, CFStringRef inName, QWidget **outWidget);
// Makes a control for each widget of the tree named as a view identifier, with the widget's state, and keeps
// the two in step; hits go to hitTarget (NULL: the application target). dupFNErr when two widgets carry the
// same identifier.
OSStatus PL_AttachNibControls(WindowRef window, QWidget *root, EventTargetRef hitTarget);
// The widget of a control (borrowed); NULL when the window has none of that identifier.
QWidget *PL_GetControlWidget(WindowRef window, HIViewID id);
