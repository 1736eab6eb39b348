// QuickDraw stand-in: port state and the forwarding of drawing calls to a port's back end.
#include "platform/core/quickdraw_ports.h"

#include "platform/core/mac_errors.h"

#include <new>

struct OpaqueGrafPtr {
  Rect portBounds;
  Point globalOrigin;
  RgnHandle clip;
  PenState pen;
  SInt16 txFont;
  Style txFace;
  SInt16 txSize;
  SInt16 txMode;
  const PL_PortDrawProcs *procs;
  void *refCon;
  RGBColor foreColor;
  RGBColor backColor;
  // An open picture that sees every drawing call as well.
  const PL_PortDrawProcs *recorder;
  void *recorderRefCon;
  PL_PortRecorderReleaseProc recorderRelease;
};

namespace {

thread_local GrafPtr gCurrentPort = nullptr;
PL_WindowPortProc gWindowPortProc = nullptr;

PenState NormalPen(Point location) {
  PenState pen{};
  pen.pnLoc = location;
  pen.pnSize = Point{1, 1};
  pen.pnMode = patCopy;
  for (UInt8 &b : pen.pnPat.pat) b = 0xFF;
  return pen;
}

// The current port, or NULL after setting QDError to paramErr.
GrafPtr CurrentPort() {
  if (gCurrentPort == nullptr) PL_SetQDError(paramErr);
  return gCurrentPort;
}

// Runs a back-end procedure of the current port when it has one.
template <typename Proc, typename... Args>
void Forward(GrafPtr port, Proc PL_PortDrawProcs::*member, Args... args) {
  if (port == nullptr) {
    PL_SetQDError(paramErr);
    return;
  }
  Proc record = port->recorder != nullptr ? port->recorder->*member : nullptr;
  if (record != nullptr) record(port, args...);
  Proc proc = port->procs != nullptr ? port->procs->*member : nullptr;
  if (proc == nullptr) {
    PL_SetQDError(unimpErr);
    return;
  }
  PL_SetQDError(noErr);
  proc(port, args...);
}

// QuickDraw's eight basic colours (ForeColor constants) as pure colours; anything else is black.
RGBColor BasicColor(SInt32 color) {
  switch (color) {
    case 30: return RGBColor{0xFFFF, 0xFFFF, 0xFFFF};  // whiteColor
    case 69: return RGBColor{0xFFFF, 0xFFFF, 0};       // yellowColor
    case 137: return RGBColor{0xFFFF, 0, 0xFFFF};      // magentaColor
    case 205: return RGBColor{0xFFFF, 0, 0};           // redColor
    case 273: return RGBColor{0, 0xFFFF, 0xFFFF};      // cyanColor
    case 341: return RGBColor{0, 0xFFFF, 0};           // greenColor
    case 409: return RGBColor{0, 0, 0xFFFF};           // blueColor
    default: return RGBColor{0, 0, 0};
  }
}

}  // namespace

GrafPtr PL_NewPort(const Rect *portBounds, Point globalOrigin, const PL_PortDrawProcs *procs, void *refCon) {
  auto *port = new (std::nothrow) OpaqueGrafPtr{};
  RgnHandle clip = port ? NewRgn() : nullptr;
  if (port == nullptr || clip == nullptr) {
    delete port;
    PL_SetQDError(memFullErr);
    return nullptr;
  }
  port->portBounds = portBounds ? *portBounds : Rect{0, 0, 0, 0};
  port->globalOrigin = globalOrigin;
  // A new port's clip is wide open.
  SetRectRgn(clip, -32767, -32767, 32767, 32767);
  port->clip = clip;
  port->pen = NormalPen(Point{0, 0});
  port->txMode = srcOr;
  port->procs = procs;
  port->refCon = refCon;
  port->foreColor = RGBColor{0, 0, 0};
  port->backColor = RGBColor{0xFFFF, 0xFFFF, 0xFFFF};
  PL_SetQDError(noErr);
  return port;
}

void PL_DisposePort(GrafPtr port) {
  if (port == nullptr) return;
  if (gCurrentPort == port) gCurrentPort = nullptr;
  if (port->recorderRelease != nullptr) port->recorderRelease(port, port->recorderRefCon);
  DisposeRgn(port->clip);
  delete port;
}

void *PL_GetPortRefCon(GrafPtr port) { return port ? port->refCon : nullptr; }

const PL_PortDrawProcs *PL_GetPortDrawProcs(GrafPtr port) { return port ? port->procs : nullptr; }

void PL_SetPortGlobalOrigin(GrafPtr port, Point globalOrigin) {
  if (port != nullptr) port->globalOrigin = globalOrigin;
}

void PL_SetWindowPortProc(PL_WindowPortProc proc) { gWindowPortProc = proc; }

void SetPort(GrafPtr port) { gCurrentPort = port; }

void GetPort(GrafPtr *port) {
  if (port != nullptr) *port = gCurrentPort;
}

CGrafPtr GetWindowPort(WindowRef window) {
  CGrafPtr port = (window != nullptr && gWindowPortProc != nullptr) ? gWindowPortProc(window) : nullptr;
  PL_SetQDError(port ? noErr : paramErr);
  return port;
}

Rect *GetPortBounds(CGrafPtr port, Rect *rect) {
  if (rect == nullptr) return nullptr;
  *rect = port ? port->portBounds : Rect{0, 0, 0, 0};
  PL_SetQDError(port ? noErr : paramErr);
  return rect;
}

void LocalToGlobal(Point *pt) {
  GrafPtr port = CurrentPort();
  if (port == nullptr || pt == nullptr) return;
  AddPt(port->globalOrigin, pt);
}

void GlobalToLocal(Point *pt) {
  GrafPtr port = CurrentPort();
  if (port == nullptr || pt == nullptr) return;
  SubPt(port->globalOrigin, pt);
}

void SetClip(RgnHandle rgn) {
  GrafPtr port = CurrentPort();
  if (port != nullptr) CopyRgn(rgn, port->clip);
}

void GetClip(RgnHandle rgn) {
  GrafPtr port = CurrentPort();
  if (port != nullptr) CopyRgn(port->clip, rgn);
}

void ClipRect(const Rect *r) {
  GrafPtr port = CurrentPort();
  if (port != nullptr) RectRgn(port->clip, r);
}

void GetPenState(PenState *pnState) {
  GrafPtr port = CurrentPort();
  if (port != nullptr && pnState != nullptr) *pnState = port->pen;
}

void SetPenState(const PenState *pnState) {
  GrafPtr port = CurrentPort();
  if (port != nullptr && pnState != nullptr) port->pen = *pnState;
}

void PenNormal() {
  GrafPtr port = CurrentPort();
  if (port != nullptr) port->pen = NormalPen(port->pen.pnLoc);
}

void PenSize(SInt16 width, SInt16 height) {
  GrafPtr port = CurrentPort();
  if (port != nullptr) port->pen.pnSize = Point{height, width};
}

void MoveTo(SInt16 h, SInt16 v) {
  GrafPtr port = CurrentPort();
  if (port != nullptr) port->pen.pnLoc = Point{v, h};
}

void Move(SInt16 dh, SInt16 dv) {
  GrafPtr port = CurrentPort();
  if (port == nullptr) return;
  port->pen.pnLoc.h = SInt16(port->pen.pnLoc.h + dh);
  port->pen.pnLoc.v = SInt16(port->pen.pnLoc.v + dv);
}

void LineTo(SInt16 h, SInt16 v) {
  GrafPtr port = CurrentPort();
  if (port == nullptr) return;
  const Point from = port->pen.pnLoc, to{v, h};
  Forward(port, &PL_PortDrawProcs::line, from, to);
  port->pen.pnLoc = to;
}

void Line(SInt16 dh, SInt16 dv) {
  GrafPtr port = CurrentPort();
  if (port == nullptr) return;
  LineTo(SInt16(port->pen.pnLoc.h + dh), SInt16(port->pen.pnLoc.v + dv));
}

SInt16 GetPortTextFont(CGrafPtr port) { return port ? port->txFont : 0; }
Style GetPortTextFace(CGrafPtr port) { return port ? port->txFace : 0; }
SInt16 GetPortTextSize(CGrafPtr port) { return port ? port->txSize : 0; }
SInt16 GetPortTextMode(CGrafPtr port) { return port ? port->txMode : 0; }

void SetPortTextFont(CGrafPtr port, SInt16 txFont) {
  if (port != nullptr) port->txFont = txFont;
}
void SetPortTextFace(CGrafPtr port, StyleParameter face) {
  // Only the low byte holds style bits.
  if (port != nullptr) port->txFace = Style(face & 0xFF);
}
void SetPortTextSize(CGrafPtr port, SInt16 size) {
  if (port != nullptr) port->txSize = size;
}
void SetPortTextMode(CGrafPtr port, SInt16 mode) {
  if (port != nullptr) port->txMode = mode;
}

void PL_SetPortRecorder(GrafPtr port, const PL_PortDrawProcs *recorder, void *refCon,
                        PL_PortRecorderReleaseProc release) {
  if (port == nullptr) return;
  port->recorder = recorder;
  port->recorderRefCon = refCon;
  port->recorderRelease = release;
}

void *PL_GetPortRecorderRefCon(GrafPtr port) { return port ? port->recorderRefCon : nullptr; }

const PL_PortDrawProcs *PL_GetPortRecorder(GrafPtr port) { return port ? port->recorder : nullptr; }

void PL_GetPortForeColor(CGrafPtr port, RGBColor *color) {
  if (color != nullptr) *color = port ? port->foreColor : RGBColor{0, 0, 0};
}

void PL_GetPortBackColor(CGrafPtr port, RGBColor *color) {
  if (color != nullptr) *color = port ? port->backColor : RGBColor{0xFFFF, 0xFFFF, 0xFFFF};
}

void RGBForeColor(const RGBColor *color) {
  if (gCurrentPort != nullptr && color != nullptr) gCurrentPort->foreColor = *color;
  Forward(gCurrentPort, &PL_PortDrawProcs::rgbForeColor, color);
}
void RGBBackColor(const RGBColor *color) {
  if (gCurrentPort != nullptr && color != nullptr) gCurrentPort->backColor = *color;
  Forward(gCurrentPort, &PL_PortDrawProcs::rgbBackColor, color);
}
void ForeColor(SInt32 color) {
  if (gCurrentPort != nullptr) gCurrentPort->foreColor = BasicColor(color);
  Forward(gCurrentPort, &PL_PortDrawProcs::foreColor, color);
}
void FrameRect(const Rect *r) { Forward(gCurrentPort, &PL_PortDrawProcs::frameRect, r); }
void PaintRect(const Rect *r) { Forward(gCurrentPort, &PL_PortDrawProcs::paintRect, r); }
void EraseRect(const Rect *r) { Forward(gCurrentPort, &PL_PortDrawProcs::eraseRect, r); }
void FrameRgn(RgnHandle rgn) { Forward(gCurrentPort, &PL_PortDrawProcs::frameRgn, rgn); }
void PaintRgn(RgnHandle rgn) { Forward(gCurrentPort, &PL_PortDrawProcs::paintRgn, rgn); }
void EraseRgn(RgnHandle rgn) { Forward(gCurrentPort, &PL_PortDrawProcs::eraseRgn, rgn); }
void QDFlushPortBuffer(CGrafPtr port, RgnHandle region) {
  Forward(port, &PL_PortDrawProcs::flushPortBuffer, region);
}
