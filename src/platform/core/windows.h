// Window Manager stand-in, the part below the toolkit: window titles and window pictures, answered by the
// window layer that the user-interface layer installs with PL_SetWindowProcs and PL_SetWindowPictureProcs
// (a window's port is found through PL_SetWindowPortProc, quickdraw_ports.h). Code that only reads or sets
// a title or a picture, such as the general library, works through these calls without knowing the toolkit.
//
// Without an installed window layer there are no windows: every title call answers unimpErr. A NULL window,
// or one the layer does not know, gives errInvalidWindowRef. Main thread only.
#pragma once

#include "platform/core/cf_base.h"
#include "platform/core/quickdraw_pictures.h"
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

// ---- Window pictures ----
// What a window layer answers about the picture a window shows as its content. Both entries are required.
struct PL_WindowPictureProcs {
  // errInvalidWindowRef for a window the layer does not know.
  OSStatus (*setPicture)(WindowRef window, PicHandle picture);
  PicHandle (*getPicture)(WindowRef window);
};
// Copies the table; NULL removes it. paramErr for a table with a missing entry.
OSStatus PL_SetWindowPictureProcs(const PL_WindowPictureProcs *procs);
// The window shows the picture, scaled to its content, instead of its own drawing; NULL ends that. The
// window only borrows the picture: the caller disposes it (KillPicture) once no window shows it. Without a
// window layer, or for an unknown window, nothing changes.
void SetWindowPic(WindowRef window, PicHandle pic);
// The picture the window shows (borrowed); NULL for none, an unknown window or without a window layer.
PicHandle GetWindowPic(WindowRef window);
