// Rectangle, point and region arithmetic in QuickDraw integers, 16.16 fixed point and float, conversions
// to and from HIToolbox/Quartz rectangles, fitting and covering of boxes, and one-line QDD_ wrappers over
// the QuickDraw calls, so the deprecated calls are made in one place.
//
// The integer, fixed and float routines are pure and run on any thread. The region routines run on any
// thread for regions of their own; the port, coordinate and drawing routines on the main thread.
// A border rectangle holds four widths in the fields of a Rect (top, left, bottom, right strip).
#pragma once

#include "general/integer_ratios.h"
#include "platform/core/color_tables.h"
#include "platform/core/cursors.h"
#include "platform/core/graphics_devices.h"
#include "platform/core/matrix_math.h"
#include "platform/core/offscreen_worlds.h"
#include "platform/core/quartz_contexts.h"
#include "platform/core/quartz_geometry.h"
#include "platform/core/quickdraw_geometry.h"
#include "platform/core/quickdraw_pictures.h"
#include "platform/core/quickdraw_pixels.h"
#include "platform/core/quickdraw_ports.h"

#include <cstddef>

struct GL_FloatRect {
  float top;
  float left;
  float bottom;
  float right;
};

struct GL_FloatPt {
  float h;
  float v;
};

// ---- QuickDraw wrappers: each calls the routine of the same name and returns its result ----

void QDD_SetRect(Rect *r, SInt16 left, SInt16 top, SInt16 right, SInt16 bottom);
Boolean QDD_EqualRect(const Rect *rect1, const Rect *rect2);
Boolean QDD_EqualPt(Point pt1, Point pt2);
void QDD_SetPt(Point *pt, SInt16 h, SInt16 v);
void QDD_AddPt(Point src, Point *dst);
Boolean QDD_PtInRect(Point pt, const Rect *r);
Boolean QDD_EmptyRect(const Rect *r);
void QDD_InsetRect(Rect *r, int dh, int dv);
void QDD_UnionRect(const Rect *src1, const Rect *src2, Rect *dstRect);
void QDD_OffsetRect(Rect *r, int dh, int dv);
Boolean QDD_SectRect(const Rect *src1, const Rect *src2, Rect *dstRect);
RgnHandle QDD_NewRgn();
void QDD_DisposeRgn(RgnHandle rgn);
void QDD_RectRgn(RgnHandle rgn, const Rect *r);
void QDD_CopyRgn(RgnHandle srcRgn, RgnHandle dstRgn);
void QDD_SectRgn(RgnHandle srcRgnA, RgnHandle srcRgnB, RgnHandle dstRgn);
void QDD_UnionRgn(RgnHandle srcRgnA, RgnHandle srcRgnB, RgnHandle dstRgn);
void QDD_DiffRgn(RgnHandle srcRgnA, RgnHandle srcRgnB, RgnHandle dstRgn);
void QDD_OffsetRgn(RgnHandle rgn, SInt16 dh, SInt16 dv);
Boolean QDD_PtInRgn(Point pt, RgnHandle rgn);
Boolean QDD_EmptyRgn(RgnHandle rgn);
Boolean QDD_EqualRgn(RgnHandle rgnA, RgnHandle rgnB);
Boolean QDD_IsRegionRectangular(RgnHandle rgn);
Rect *QDD_GetRegionBounds(RgnHandle region, Rect *bounds);
OSErr QDD_BitMapToRegion(RgnHandle region, const BitMap *bMap);
void QDD_EraseRgn(RgnHandle rgn);
void QDD_PaintRgn(RgnHandle rgn);
void QDD_FrameRgn(RgnHandle rgn);
void QDD_SetPort(GrafPtr port);
void QDD_GetPort(GrafPtr *port);
// Offscreen worlds and pixel maps.
QDErr QDD_NewGWorld(GWorldPtr *offscreenGWorld, SInt16 pixelDepth, const Rect *boundsRect, CTabHandle cTable,
                    GDHandle aGDevice, GWorldFlags flags);
void QDD_DisposeGWorld(GWorldPtr offscreenGWorld);
void QDD_GetGWorld(CGrafPtr *port, GDHandle *gdh);
void QDD_SetGWorld(CGrafPtr port, GDHandle gdh);
PixMapHandle QDD_GetGWorldPixMap(GWorldPtr offscreenGWorld);
PixMapHandle QDD_GetPortPixMap(CGrafPtr port);
Boolean QDD_LockPixels(PixMapHandle pm);
GWorldFlags QDD_GetPixelsState(PixMapHandle pm);
void QDD_SetPixelsState(PixMapHandle pm, GWorldFlags state);
Ptr QDD_GetPixBaseAddr(PixMapHandle pm);
SInt32 QDD_GetPixRowBytes(PixMapHandle pm);
// Colour tables.
CTabHandle QDD_GetCTable(SInt16 ctID);
void QDD_DisposeCTable(CTabHandle cTable);
// Cursors.
CursHandle QDD_GetCursor(SInt16 cursorID);
void QDD_SetCursor(const Cursor *crsr);
Cursor *QDD_GetQDGlobalsArrow(Cursor *arrow);
void QDD_LocalToGlobal(Point *pt);
void QDD_GlobalToLocal(Point *pt);
void QDD_SetClip(RgnHandle rgn);
void QDD_GetClip(RgnHandle rgn);
void QDD_ClipRect(const Rect *r);
Rect *QDD_GetPortBounds(CGrafPtr port, Rect *rect);
void QDD_GetPenState(PenState *pnState);
void QDD_SetPenState(const PenState *pnState);
void QDD_PenNormal();
void QDD_PenSize(SInt16 width, SInt16 height);
void QDD_MoveTo(SInt16 h, SInt16 v);
void QDD_RGBForeColor(const RGBColor *color);
void QDD_RGBBackColor(const RGBColor *color);
void QDD_ForeColor(SInt32 color);
void QDD_FrameRect(const Rect *r);
void QDD_PaintRect(const Rect *r);
void QDD_EraseRect(const Rect *r);
void QDD_QDFlushPortBuffer(CGrafPtr port, RgnHandle region);
SInt16 QDD_Random();
GDHandle QDD_GetMainDevice();
GDHandle QDD_GetNextDevice(GDHandle curDevice);
Boolean QDD_TestDeviceAttribute(GDHandle gdh, SInt16 attribute);
Boolean QDD_TransformRect(MatrixRecord *m, Rect *r, FixedPoint *fpp);
Boolean QDD_TransformFixedRect(MatrixRecord *m, FixedRect *fr, FixedPoint *fpp);
void QDD_CopyBits(const BitMap *srcBits, const BitMap *dstBits, const Rect *srcRect, const Rect *dstRect,
                  SInt16 mode, RgnHandle maskRgn);
PicHandle QDD_OpenPicture(const Rect *picFrame);
PicHandle QDD_OpenCPicture(const OpenCPicParams *newHeader);
void QDD_ClosePicture();
void QDD_DrawPicture(PicHandle myPicture, const Rect *dstRect);
void QDD_KillPicture(PicHandle myPicture);
OSErr QDD_GetPictInfo(PicHandle thePictHandle, PictInfo *thePictInfo, SInt16 verb, SInt16 colorsRequested,
                      SInt16 colorPickMethod, SInt16 version);

// ---- Integer rectangles and points ----

Point GL_TopLeft(const Rect *rect);
Point GL_TopRight(const Rect *rect);
Point GL_BottomLeft(const Rect *rect);
Point GL_BottomRight(const Rect *rect);
// v = height, h = width.
Point GL_GetRectSize(const Rect *rect);
// width x height as a 32-bit product.
SInt32 GL_GetRectArea(const Rect *rect);

void GL_SetRectTlbr(Rect *r, SInt16 top, SInt16 left, SInt16 bottom, SInt16 right);
void GL_SetRectFromPoints(Point topLeft, Point bottomRight, Rect *r);
// The one-pixel rectangle at the point.
void GL_PtToRect(Point pt, Rect *ptRect);

void GL_MoveRectTopLeft(Rect *rect, Point newTopLeft);
void GL_MoveRectTopLeftToOrigin(Rect *rect);
// Puts a corner on the point, keeping the size: orientation 0 top-left, 1 bottom-left, 2 bottom-right,
// any other value top-right.
void GL_MoveRectToPoint(Point point, int orientation, Rect *rect);
// Scales width and height by the fixed-point factors; the top-left corner stays.
void GL_ScaleRect(Rect *rect, FixedPoint scale);
// Insets each side by the matching border; a result without area becomes {0, 0, 0, 0}.
void GL_InsetRectByRect(Rect *rect, const Rect *insetRect);
// Quarters at half the width and height, odd sizes giving the extra pixel to the top and left quarters:
// rect1 top-left, rect2 top-right, rect3 bottom-left, rect4 bottom-right; each output is optional.
void GL_SplitRect(const Rect *rect, Rect *rect1, Rect *rect2, Rect *rect3, Rect *rect4);
// Shifts rect to lie inside envelopingRect; false (nothing moved) when it does not fit.
Boolean GL_MoveRectInsideRect(const Rect *envelopingRect, Rect *rect);

void GL_AddRectBorders(Rect *rect, const Rect *borders);
void GL_RemoveRectBorders(Rect *rect, const Rect *borders);
void GL_AddBorders(const Rect *borders1, const Rect *borders2, Rect *borders);
void GL_GetRectBorders(const Rect *outerRect, const Rect *innerRect, Rect *borders);
// The widths of rect1 outside rect2 on each side.
void GL_DiffRect(const Rect *rect1, const Rect *rect2, Rect *result);
void GL_GetRectAbsDiff(const Rect *rect1, const Rect *rect2, Rect *absDiffRect);

// Edges included, unlike PtInRect.
Boolean GL_PointInRectInclusive(Point point, const Rect *rect);
Boolean GL_RectsCoincide(const Rect *rect1, const Rect *rect2);
// True for an inner rectangle of zero area, else when it lies within outerRect.
Boolean GL_IsRectInRect(const Rect *innerRect, const Rect *outerRect);
// Whether rect, moved to the enveloping rectangle's top-left corner, lies within it.
Boolean GL_RectFitsInsideRect(const Rect *rect, const Rect *envelopingRect);
Boolean GL_SectRect(const Rect *rect1, const Rect *rect2, Rect *intersection);
Boolean GL_IsInterval1InInterval2(SInt32 begin2, SInt32 begin1, SInt32 end1, SInt32 end2);

// The largest scaled copy of rect inside box, centred in a box-sized frame at the origin; the scale goes to
// the optional float and ratio outputs. An empty rect or box gives an empty rectangle and scale 0.
void GL_FitRectInBox(const Rect *rect, const Rect *box, Rect *scaledRect, float *scaleFactorF,
                     GL_LongRatio *scaleFactorLR);
// The smallest scaled copy of rect that covers box, centred on the box. Empty inputs as GL_FitRectInBox.
void GL_CoverBoxWithRect(const Rect *rect, const Rect *box, Rect *scaledRect, float *scaleFactorF,
                         GL_LongRatio *scaleFactorLR);

// Main thread: draw into the current port.
void GL_FrameRect(const Rect *rect, const RGBColor *color, SInt16 size);
void GL_PaintRect(const Rect *rect, const RGBColor *color);

// Lines on standard output.
void GL_PrintRect(const Rect *rect);
void GL_PrintRectWithName(const Rect *rect, const char *name);
void GL_PrintEdgeWithName(const Rect *rect, const char *name);
void GL_PrintFixedRectWithName(const FixedRect *rect, const char *name);
void GL_PrintFloatRectWithName(const GL_FloatRect *rect, const char *name);

// outRect = the bounding box of inRect transformed by m (sides rounded to nearest); true when the result is
// still the exact image of the rectangle (the matrix scales, translates or turns by right angles only).
Boolean GL_TransformRect(MatrixRecord *m, const Rect *inRect, Rect *outRect);
Boolean GL_TransformFixedRect(MatrixRecord *m, const FixedRect *inRect, FixedRect *outRect);

// ---- Fixed point ----

void GL_RectToFixed(const Rect *rect, FixedRect *fixedRect);
// Each side rounded to the nearest integer, halves upward.
void GL_FixedToRect(const FixedRect *fixedRect, Rect *rect);
void GL_FixedRectToFloat(const FixedRect *fixedRect, GL_FloatRect *rectFloat);
void GL_InsetFixedRectByFixedRect(FixedRect *rect, FixedRect insetRect);
void GL_GetFixedRectAbsDiff(const FixedRect *rect1, const FixedRect *rect2, FixedRect *absDiffRect);
void GL_GetFixedRectBorders(const FixedRect *outerRect, const FixedRect *innerRect, FixedRect *borders);
// The intersection; disjoint rectangles give a zero-size rectangle at the nearer edges.
void GL_SectFixedRect(const FixedRect *rectFa, const FixedRect *rectFb, FixedRect *rectFc);
void GL_SetFixedRectTlbr(FixedRect *r, Fixed top, Fixed left, Fixed bottom, Fixed right);
void GL_OffsetFixedRect(FixedRect *rectF, Fixed shiftH, Fixed shiftV);
void GL_PointToFixed(const Point *pt, FixedPoint *fixedPt);
// Each coordinate rounded to nearest, halves away from zero.
Point GL_FixedToPoint(const FixedPoint *fixedPt);
void GL_GetFixedRectSize(const FixedRect *rectF, FixedPoint *fixedPt);
void GL_FixedTopLeft(const FixedRect *rect, FixedPoint *fixedPt);
// As GL_FitRectInBox in fixed point, the result centred on the box itself.
void GL_FitFixedRectInBox(const FixedRect *rectF, const FixedRect *boxF, FixedRect *scaledRectF, float *scaleFactorF,
                          GL_LongRatio *scaleFactorLR);
void GL_CoverBoxWithFixedRect(const FixedRect *rectF, const FixedRect *boxF, FixedRect *scaledRectF,
                              float *scaleFactorF, GL_LongRatio *scaleFactorLR);

// ---- Float ----

void GL_RectToFloat(const Rect *rect, GL_FloatRect *rectF);
// The corners {left, top}, {right, top}, {right, bottom}, {left, bottom} as {h, v}.
void GL_FloatRectToPoints(const GL_FloatRect *rectF, GL_FloatPt points[4]);
void GL_SetFloatPt(GL_FloatPt *ptF, float x, float y);
void GL_AddFloatPt(const GL_FloatPt *pt1, const GL_FloatPt *pt2, GL_FloatPt *pt);
void GL_DiffFloatPt(const GL_FloatPt *pt1, const GL_FloatPt *pt2, GL_FloatPt *pt);
// a pt1 + b pt2.
void GL_FloatPtLC(float a, const GL_FloatPt *pt1, float b, const GL_FloatPt *pt2, GL_FloatPt *pt);
void GL_ScaleFloatPt(float a, const GL_FloatPt *pt1, GL_FloatPt *pt);
float GL_DotProductF(const GL_FloatPt *a, const GL_FloatPt *b);
// Cosine and sine of the angle from pt1 to pt2; a zero-length vector gives cos 1, sin 0.
void GL_GetFloatPtsAngle(const GL_FloatPt *pt1, const GL_FloatPt *pt2, float *cos, float *sin);
void GL_RotatePt(const GL_FloatPt *oldPt, float cos, float sin, GL_FloatPt *newPt);
void GL_SetFloatRectTlbr(GL_FloatRect *r, float top, float left, float bottom, float right);
void GL_SectFloatRect(const GL_FloatRect *rectFa, const GL_FloatRect *rectFb, GL_FloatRect *rectFc);
float GL_GetFloatRectArea(const GL_FloatRect *rect);
// Squared distance from the point to the nearest point of the rectangle; 0 inside or on an edge.
float GL_GetFloatPtRectDistSq(const GL_FloatPt *ptF, const GL_FloatRect *rectF);
// Area of a rotated rectangle given by its four corners in order.
float GL_GetSlopedFloatRectArea(const GL_FloatPt pts[4]);

// ---- HIToolbox and Quartz ----

// Coordinates truncated toward zero (and limited to the 16-bit range).
void GL_HIPointToPoint(const HIPoint *hiPt, Point *pt);
void GL_PointToHIPoint(const Point *pt, HIPoint *hiPt);
void GL_HIRectToRect(const HIRect *hiRect, Rect *rect);
void GL_RectToHIRect(const Rect *rect, HIRect *hiRect);
// The Quartz rectangle of rect in a space `height` high with the y axis pointing up.
void GL_RectToCGRect(SInt32 height, const Rect *rect, CGRect *cgRect);
void GL_CG_InsetRect(CGRect *cgRect, float inset);

// ---- Regions and coordinates ----

// Intersections into `intersection`, or into a temporary when it is NULL; true when not empty.
Boolean GL_SectRectRgn(const Rect *rect, RgnHandle rgn, RgnHandle intersection);
Boolean GL_SectRgn(RgnHandle rgn1, RgnHandle rgn2, RgnHandle intersection);
void GL_RemovePtFromRgn(Point pt, RgnHandle region);
void GL_AddPtToRgn(Point pt, RgnHandle region);
// Number of pixels in the region.
SInt32 GL_GetRgnArea(RgnHandle region);
Boolean GL_IsRgnInRgn(RgnHandle rgn1, RgnHandle rgn2);
Boolean GL_IsRectInRgn(const Rect *rect, RgnHandle rgn);
// Disposes a non-NULL region and sets the handle to NULL.
void GL_DisposeRgn(RgnHandle *region);

// Run-length codes the region over its bounding rectangle: *data = a new block (owned; free with
// GL_DisposePtr) of SInt32 values: the run count n, then n runs alternating outside and inside, row by row,
// beginning with an outside run; *size = its length in bytes, 4 x (n + 1).
OSStatus GL_FlattenRgnBitMap(RgnHandle rgn, SInt32 **data, SInt32 *size);
// Adds to rgn the inside runs of flattened data laid over bounds. paramErr, with rgn unchanged, for data
// that does not fit the bounds (a negative count or run, or more pixels than the bounds hold).
OSStatus GL_UnflattenRgnBitMap(const SInt32 *data, const Rect *bounds, RgnHandle rgn);
// The same for data of dataSize bytes read from outside (a file): the count must match the size.
OSStatus GL_UnflattenRgnBitMapSized(const void *data, size_t dataSize, const Rect *bounds, RgnHandle rgn);

// Main thread: point and rectangle conversions through a window's or the given port (NULL: the current one).
void GL_LocalToGlobal(WindowRef macWindow, Point localPt, Point *globalPt);
void GL_GlobalToLocal(WindowRef macWindow, Point globalPt, Point *localPt);
void GL_LocalRectToGlobal(Rect *rect, GrafPtr port);
void GL_GlobalRectToLocal(Rect *rect, GrafPtr port);
void GL_LocalRegionToGlobal(RgnHandle rgn, GrafPtr port);
void GL_GlobalRegionToLocal(RgnHandle rgn, GrafPtr port);
