// QuickDraw stand-in, port part: the current port, local and global coordinates, clip, pen state, and
// the drawing calls, which a port forwards to the drawing back end it was made with.
//
// The state-keeping calls work here in the core layer, so coordinate and clip logic is testable without a
// display. Pixels are the back end's business: the user-interface layer makes a port per window or
// offscreen with PL_NewPort and its own PL_PortDrawProcs. A drawing call on a port without that procedure
// does nothing and sets QDError to unimpErr; a call without a current port sets paramErr.
// Main thread only, like QuickDraw; the current port is per thread.
#pragma once

#include "platform/core/quickdraw_geometry.h"

// QuickDraw's colour record: 16-bit components, 0 to 65535.
struct RGBColor {
  UInt16 red;
  UInt16 green;
  UInt16 blue;
};

struct OpaqueGrafPtr;
typedef OpaqueGrafPtr *GrafPtr;
typedef GrafPtr CGrafPtr;

struct OpaqueWindowPtr;
typedef OpaqueWindowPtr *WindowRef;
typedef WindowRef WindowPtr;

struct Pattern {
  UInt8 pat[8];
};

enum : SInt16 { patCopy = 8 };

struct PenState {
  Point pnLoc;
  Point pnSize;
  SInt16 pnMode;
  Pattern pnPat;
};

// What a drawing back end does for one port. Any entry may be NULL.
struct PL_PortDrawProcs {
  void (*frameRect)(GrafPtr port, const Rect *r);
  void (*paintRect)(GrafPtr port, const Rect *r);
  void (*eraseRect)(GrafPtr port, const Rect *r);
  void (*frameRgn)(GrafPtr port, RgnHandle rgn);
  void (*paintRgn)(GrafPtr port, RgnHandle rgn);
  void (*eraseRgn)(GrafPtr port, RgnHandle rgn);
  void (*rgbForeColor)(GrafPtr port, const RGBColor *color);
  void (*rgbBackColor)(GrafPtr port, const RGBColor *color);
  void (*foreColor)(GrafPtr port, SInt32 color);
  void (*flushPortBuffer)(GrafPtr port, RgnHandle region);
};

// A new port (owned; release with PL_DisposePort) whose rectangle is portBounds in local coordinates and
// whose local point (0, 0) lies at globalOrigin on the screen. procs (borrowed, may be NULL) must outlive
// the port. NULL when memory is out.
GrafPtr PL_NewPort(const Rect *portBounds, Point globalOrigin, const PL_PortDrawProcs *procs, void *refCon);
// Disposes the port; when it is current, there is no current port afterwards.
void PL_DisposePort(GrafPtr port);
void *PL_GetPortRefCon(GrafPtr port);
// Tells the port where its local origin now lies (the window moved).
void PL_SetPortGlobalOrigin(GrafPtr port, Point globalOrigin);
// How GetWindowPort finds a window's port; installed by the window layer (NULL: no windows).
typedef CGrafPtr (*PL_WindowPortProc)(WindowRef window);
void PL_SetWindowPortProc(PL_WindowPortProc proc);

void SetPort(GrafPtr port);
void GetPort(GrafPtr *port);
// NULL (QDError paramErr) when no window layer knows the window.
CGrafPtr GetWindowPort(WindowRef window);
Rect *GetPortBounds(CGrafPtr port, Rect *rect);
// Coordinates of the current port.
void LocalToGlobal(Point *pt);
void GlobalToLocal(Point *pt);

// The clip region of the current port: SetClip copies rgn in, GetClip copies it out.
void SetClip(RgnHandle rgn);
void GetClip(RgnHandle rgn);
void ClipRect(const Rect *r);

void GetPenState(PenState *pnState);
void SetPenState(const PenState *pnState);
// Pen of 1 x 1, mode patCopy, black pattern.
void PenNormal();
void PenSize(SInt16 width, SInt16 height);
void MoveTo(SInt16 h, SInt16 v);

void RGBForeColor(const RGBColor *color);
void RGBBackColor(const RGBColor *color);
void ForeColor(SInt32 color);
void FrameRect(const Rect *r);
void PaintRect(const Rect *r);
void EraseRect(const Rect *r);
void FrameRgn(RgnHandle rgn);
void PaintRgn(RgnHandle rgn);
void EraseRgn(RgnHandle rgn);
void QDFlushPortBuffer(CGrafPtr port, RgnHandle region);
