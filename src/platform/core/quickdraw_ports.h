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

// Text state of a port: font family number, face (style bits), size in pixels (0: the font's standard
// size) and transfer mode. quickdraw_text.h has the calls that use them.
typedef UInt8 Style;
typedef SInt16 StyleParameter;
enum : SInt16 { srcCopy = 0, srcOr = 1, srcXor = 2, srcBic = 3 };
struct FontInfo;

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
  // Text in the port's font, size and face; the bytes are in the system encoding. Each returns noErr or
  // why it failed. measureText gives the width in pixels of byteCount bytes; drawText draws them with the
  // left end of the baseline at pen (local coordinates) and gives the advance.
  OSStatus (*measureText)(GrafPtr port, const char *text, SInt32 byteCount, SInt32 *width);
  OSStatus (*getFontInfo)(GrafPtr port, FontInfo *info);
  OSStatus (*drawText)(GrafPtr port, const char *text, SInt32 byteCount, Point pen, SInt32 *advance);
  // A straight line with the port's pen from `from` to `to` (local coordinates): the pen's rectangle, which
  // hangs below and right of the pen location, swept along the line.
  void (*line)(GrafPtr port, Point from, Point to);
};

// A new port (owned; release with PL_DisposePort) whose rectangle is portBounds in local coordinates and
// whose local point (0, 0) lies at globalOrigin on the screen. procs (borrowed, may be NULL) must outlive
// the port. NULL when memory is out.
GrafPtr PL_NewPort(const Rect *portBounds, Point globalOrigin, const PL_PortDrawProcs *procs, void *refCon);
// Disposes the port; when it is current, there is no current port afterwards.
void PL_DisposePort(GrafPtr port);
void *PL_GetPortRefCon(GrafPtr port);
// The back end the port was made with (borrowed; NULL for none or a NULL port).
const PL_PortDrawProcs *PL_GetPortDrawProcs(GrafPtr port);
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
void Move(SInt16 dh, SInt16 dv);
// Draws a line with the pen from its location to (h, v), or by (dh, dv), and moves the pen there. A pen
// of width or height 0 draws nothing.
void LineTo(SInt16 h, SInt16 v);
void Line(SInt16 dh, SInt16 dv);

// A port's text state. A new port has font 0 (the system font), size 0, face 0 (plain) and mode srcOr.
// The getters answer 0 for a NULL port.
SInt16 GetPortTextFont(CGrafPtr port);
Style GetPortTextFace(CGrafPtr port);
SInt16 GetPortTextSize(CGrafPtr port);
SInt16 GetPortTextMode(CGrafPtr port);
void SetPortTextFont(CGrafPtr port, SInt16 txFont);
void SetPortTextFace(CGrafPtr port, StyleParameter face);
void SetPortTextSize(CGrafPtr port, SInt16 size);
void SetPortTextMode(CGrafPtr port, SInt16 mode);

// The colours of a port, kept by the port whatever its back end does with them: black and white for a new
// port; ForeColor takes QuickDraw's basic colour constants (blackColor 33 ... blueColor 409).
void PL_GetPortForeColor(CGrafPtr port, RGBColor *color);
void PL_GetPortBackColor(CGrafPtr port, RGBColor *color);
// A second set of procedures that sees every drawing call of the port before its back end does (the
// picture being recorded in it); NULL procedures end that. release (may be NULL) is called with refCon
// when the port is disposed while the recorder is set.
typedef void (*PL_PortRecorderReleaseProc)(GrafPtr port, void *refCon);
void PL_SetPortRecorder(GrafPtr port, const PL_PortDrawProcs *recorder, void *refCon,
                        PL_PortRecorderReleaseProc release);
void *PL_GetPortRecorderRefCon(GrafPtr port);
// The recorder procedures set on the port (borrowed; NULL for none or a NULL port).
const PL_PortDrawProcs *PL_GetPortRecorder(GrafPtr port);

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
