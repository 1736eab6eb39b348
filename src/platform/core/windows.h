// Window Manager stand-in, the part below the toolkit: window titles, answered by the window layer that
// the user-interface layer installs with PL_SetWindowProcs (a window's port is found through
// PL_SetWindowPortProc, quickdraw_ports.h). Code that only reads or sets a title, such as the general
// library, works through these calls without knowing the toolkit.
//
// Without an installed window layer there are no windows: every call answers unimpErr. A NULL window, or
// one the layer does not know, gives errInvalidWindowRef. Main thread only.
#pragma once

#include "platform/core/cf_base.h"
#include "platform/core/quickdraw_ports.h"

enum : OSStatus { errInvalidWindowRef = -5600 };

// What a window layer answers. Every entry is required.
struct PL_WindowProcs {
  // *outString: an owned copy of the title.
  OSStatus (*copyTitle)(WindowRef window, CFStringRef *outString);
  OSStatus (*setTitle)(WindowRef window, CFStringRef title);
};
// Copies the table; NULL removes the window layer. paramErr for a table with a missing entry.
OSStatus PL_SetWindowProcs(const PL_WindowProcs *procs);

// *outString: the window's title, owned (CFRelease); NULL on failure.
OSStatus CopyWindowTitleAsCFString(WindowRef inWindow, CFStringRef *outString);
// The title becomes a copy of inString (NULL: paramErr).
OSStatus SetWindowTitleWithCFString(WindowRef inWindow, CFStringRef inString);
// The title in the system encoding, cut after the last whole character that fits 255 bytes; empty when
// it cannot be read.
void GetWTitle(WindowRef theWindow, Str255 title);
// The title from a string in the system encoding (read as Mac Roman when it is no UTF-8).
void SetWTitle(WindowRef theWindow, ConstStr255Param title);
