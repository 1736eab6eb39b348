// Geometry: rectangles, points and regions in integer, fixed and float, and the QuickDraw wrappers.
//
// Sizes and products are formed in 64 bits: a Rect spans up to 65535 pixels a side, so width x height and
// the cross products of the fitting routines do not fit 32 bits.
#include "general/geometry.h"

#include "general/memory_lists.h"
#include "platform/core/fixed_math.h"
#include "platform/core/mac_errors.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

SInt32 Width(const Rect *r) { return SInt32(r->right) - r->left; }
SInt32 Height(const Rect *r) { return SInt32(r->bottom) - r->top; }

SInt16 ToSInt16(SInt64 v) { return SInt16(v); }  // keeps the low 16 bits, as the 16-bit fields did

// Fixed-point differences and sums wrap in 32 bits, as the toolbox's did.
Fixed FixedAdd(Fixed a, Fixed b) { return Fixed(UInt32(a) + UInt32(b)); }
Fixed FixedSub(Fixed a, Fixed b) { return Fixed(UInt32(a) - UInt32(b)); }
Fixed FixedAbs(Fixed a) { return a < 0 ? Fixed(0u - UInt32(a)) : a; }

SInt16 TruncToSInt16(float x) {
  if (std::isnan(x)) return 0;
  float t = std::trunc(x);
  if (t > 32767.0f) return 32767;
  if (t < -32768.0f) return -32768;
  return SInt16(t);
}

void ClearScale(float *scaleFactorF, GL_LongRatio *scaleFactorLR) {
  if (scaleFactorF) *scaleFactorF = 0.0f;
  if (scaleFactorLR) *scaleFactorLR = GL_LongRatio{0, 1};
}

void SetScale(SInt64 numerator, SInt64 denominator, float *scaleFactorF, GL_LongRatio *scaleFactorLR) {
  if (scaleFactorF) *scaleFactorF = float(double(numerator) / double(denominator));
  if (scaleFactorLR) GL_CreateLongRatio(numerator, denominator, scaleFactorLR);
}

}  // namespace

// ---- QuickDraw wrappers ----

void QDD_SetRect(Rect *r, SInt16 left, SInt16 top, SInt16 right, SInt16 bottom) { SetRect(r, left, top, right, bottom); }
Boolean QDD_EqualRect(const Rect *rect1, const Rect *rect2) { return EqualRect(rect1, rect2); }
Boolean QDD_EqualPt(Point pt1, Point pt2) { return EqualPt(pt1, pt2); }
void QDD_SetPt(Point *pt, SInt16 h, SInt16 v) { SetPt(pt, h, v); }
void QDD_AddPt(Point src, Point *dst) { AddPt(src, dst); }
Boolean QDD_PtInRect(Point pt, const Rect *r) { return PtInRect(pt, r); }
Boolean QDD_EmptyRect(const Rect *r) { return EmptyRect(r); }
void QDD_InsetRect(Rect *r, int dh, int dv) { InsetRect(r, SInt16(dh), SInt16(dv)); }
void QDD_UnionRect(const Rect *src1, const Rect *src2, Rect *dstRect) { UnionRect(src1, src2, dstRect); }
void QDD_OffsetRect(Rect *r, int dh, int dv) { OffsetRect(r, SInt16(dh), SInt16(dv)); }
Boolean QDD_SectRect(const Rect *src1, const Rect *src2, Rect *dstRect) { return SectRect(src1, src2, dstRect); }
Boolean QDD_TransformRect(MatrixRecord *m, Rect *r, FixedPoint *fpp) { return TransformRect(m, r, fpp); }
Boolean QDD_TransformFixedRect(MatrixRecord *m, FixedRect *fr, FixedPoint *fpp) {
  return TransformFixedRect(m, fr, fpp);
}
RgnHandle QDD_NewRgn() { return NewRgn(); }
void QDD_DisposeRgn(RgnHandle rgn) { DisposeRgn(rgn); }
void QDD_RectRgn(RgnHandle rgn, const Rect *r) { RectRgn(rgn, r); }
void QDD_CopyRgn(RgnHandle srcRgn, RgnHandle dstRgn) { CopyRgn(srcRgn, dstRgn); }
void QDD_SectRgn(RgnHandle a, RgnHandle b, RgnHandle dst) { SectRgn(a, b, dst); }
void QDD_UnionRgn(RgnHandle a, RgnHandle b, RgnHandle dst) { UnionRgn(a, b, dst); }
void QDD_DiffRgn(RgnHandle a, RgnHandle b, RgnHandle dst) { DiffRgn(a, b, dst); }
void QDD_OffsetRgn(RgnHandle rgn, SInt16 dh, SInt16 dv) { OffsetRgn(rgn, dh, dv); }
Boolean QDD_PtInRgn(Point pt, RgnHandle rgn) { return PtInRgn(pt, rgn); }
Boolean QDD_EmptyRgn(RgnHandle rgn) { return EmptyRgn(rgn); }
Boolean QDD_EqualRgn(RgnHandle rgnA, RgnHandle rgnB) { return EqualRgn(rgnA, rgnB); }
Boolean QDD_IsRegionRectangular(RgnHandle rgn) { return IsRegionRectangular(rgn); }
Rect *QDD_GetRegionBounds(RgnHandle region, Rect *bounds) { return GetRegionBounds(region, bounds); }
OSErr QDD_BitMapToRegion(RgnHandle region, const BitMap *bMap) { return BitMapToRegion(region, bMap); }
void QDD_EraseRgn(RgnHandle rgn) { EraseRgn(rgn); }
void QDD_PaintRgn(RgnHandle rgn) { PaintRgn(rgn); }
void QDD_FrameRgn(RgnHandle rgn) { FrameRgn(rgn); }
void QDD_SetPort(GrafPtr port) { SetPort(port); }
void QDD_GetPort(GrafPtr *port) { GetPort(port); }
QDErr QDD_NewGWorld(GWorldPtr *offscreenGWorld, SInt16 pixelDepth, const Rect *boundsRect, CTabHandle cTable,
                    GDHandle aGDevice, GWorldFlags flags) {
  return NewGWorld(offscreenGWorld, pixelDepth, boundsRect, cTable, aGDevice, flags);
}
void QDD_DisposeGWorld(GWorldPtr offscreenGWorld) { DisposeGWorld(offscreenGWorld); }
void QDD_GetGWorld(CGrafPtr *port, GDHandle *gdh) { GetGWorld(port, gdh); }
void QDD_SetGWorld(CGrafPtr port, GDHandle gdh) { SetGWorld(port, gdh); }
PixMapHandle QDD_GetGWorldPixMap(GWorldPtr offscreenGWorld) { return GetGWorldPixMap(offscreenGWorld); }
PixMapHandle QDD_GetPortPixMap(CGrafPtr port) { return GetPortPixMap(port); }
Boolean QDD_LockPixels(PixMapHandle pm) { return LockPixels(pm); }
GWorldFlags QDD_GetPixelsState(PixMapHandle pm) { return GetPixelsState(pm); }
void QDD_SetPixelsState(PixMapHandle pm, GWorldFlags state) { SetPixelsState(pm, state); }
Ptr QDD_GetPixBaseAddr(PixMapHandle pm) { return GetPixBaseAddr(pm); }
SInt32 QDD_GetPixRowBytes(PixMapHandle pm) { return GetPixRowBytes(pm); }
void QDD_CopyBits(const BitMap *srcBits, const BitMap *dstBits, const Rect *srcRect, const Rect *dstRect,
                  SInt16 mode, RgnHandle maskRgn) {
  CopyBits(srcBits, dstBits, srcRect, dstRect, mode, maskRgn);
}
PicHandle QDD_OpenPicture(const Rect *picFrame) { return OpenPicture(picFrame); }
PicHandle QDD_OpenCPicture(const OpenCPicParams *newHeader) { return OpenCPicture(newHeader); }
void QDD_ClosePicture() { ClosePicture(); }
void QDD_DrawPicture(PicHandle myPicture, const Rect *dstRect) { DrawPicture(myPicture, dstRect); }
void QDD_KillPicture(PicHandle myPicture) { KillPicture(myPicture); }
OSErr QDD_GetPictInfo(PicHandle thePictHandle, PictInfo *thePictInfo, SInt16 verb, SInt16 colorsRequested,
                      SInt16 colorPickMethod, SInt16 version) {
  return GetPictInfo(thePictHandle, thePictInfo, verb, colorsRequested, colorPickMethod, version);
}
CTabHandle QDD_GetCTable(SInt16 ctID) { return GetCTable(ctID); }
void QDD_DisposeCTable(CTabHandle cTable) { DisposeCTable(cTable); }
CursHandle QDD_GetCursor(SInt16 cursorID) { return GetCursor(cursorID); }
void QDD_SetCursor(const Cursor *crsr) { SetCursor(crsr); }
Cursor *QDD_GetQDGlobalsArrow(Cursor *arrow) { return GetQDGlobalsArrow(arrow); }
void QDD_LocalToGlobal(Point *pt) { LocalToGlobal(pt); }
void QDD_GlobalToLocal(Point *pt) { GlobalToLocal(pt); }
void QDD_SetClip(RgnHandle rgn) { SetClip(rgn); }
void QDD_GetClip(RgnHandle rgn) { GetClip(rgn); }
void QDD_ClipRect(const Rect *r) { ClipRect(r); }
Rect *QDD_GetPortBounds(CGrafPtr port, Rect *rect) { return GetPortBounds(port, rect); }
void QDD_GetPenState(PenState *pnState) { GetPenState(pnState); }
void QDD_SetPenState(const PenState *pnState) { SetPenState(pnState); }
void QDD_PenNormal() { PenNormal(); }
void QDD_PenSize(SInt16 width, SInt16 height) { PenSize(width, height); }
void QDD_MoveTo(SInt16 h, SInt16 v) { MoveTo(h, v); }
void QDD_RGBForeColor(const RGBColor *color) { RGBForeColor(color); }
void QDD_RGBBackColor(const RGBColor *color) { RGBBackColor(color); }
void QDD_ForeColor(SInt32 color) { ForeColor(color); }
void QDD_FrameRect(const Rect *r) { FrameRect(r); }
void QDD_PaintRect(const Rect *r) { PaintRect(r); }
void QDD_EraseRect(const Rect *r) { EraseRect(r); }
void QDD_QDFlushPortBuffer(CGrafPtr port, RgnHandle region) { QDFlushPortBuffer(port, region); }
SInt16 QDD_Random() { return Random(); }
GDHandle QDD_GetMainDevice() { return GetMainDevice(); }
GDHandle QDD_GetNextDevice(GDHandle curDevice) { return GetNextDevice(curDevice); }
Boolean QDD_TestDeviceAttribute(GDHandle gdh, SInt16 attribute) { return TestDeviceAttribute(gdh, attribute); }

// ---- Integer rectangles and points ----

Point GL_TopLeft(const Rect *rect) { return Point{rect->top, rect->left}; }
Point GL_TopRight(const Rect *rect) { return Point{rect->top, rect->right}; }
Point GL_BottomLeft(const Rect *rect) { return Point{rect->bottom, rect->left}; }
Point GL_BottomRight(const Rect *rect) { return Point{rect->bottom, rect->right}; }

Point GL_GetRectSize(const Rect *rect) { return Point{ToSInt16(Height(rect)), ToSInt16(Width(rect))}; }

SInt32 GL_GetRectArea(const Rect *rect) { return SInt32(SInt64(Width(rect)) * Height(rect)); }

void GL_SetRectTlbr(Rect *r, SInt16 top, SInt16 left, SInt16 bottom, SInt16 right) { *r = Rect{top, left, bottom, right}; }

void GL_SetRectFromPoints(Point topLeft, Point bottomRight, Rect *r) {
  SetRect(r, topLeft.h, topLeft.v, bottomRight.h, bottomRight.v);
}

void GL_PtToRect(Point pt, Rect *ptRect) {
  *ptRect = Rect{pt.v, pt.h, ToSInt16(pt.v + 1), ToSInt16(pt.h + 1)};
}

void GL_MoveRectTopLeft(Rect *rect, Point newTopLeft) {
  OffsetRect(rect, ToSInt16(newTopLeft.h - rect->left), ToSInt16(newTopLeft.v - rect->top));
}

void GL_MoveRectTopLeftToOrigin(Rect *rect) { GL_MoveRectTopLeft(rect, Point{0, 0}); }

void GL_MoveRectToPoint(Point point, int orientation, Rect *rect) {
  SInt32 w = Width(rect), h = Height(rect);
  SInt32 left, top;
  switch (orientation) {
    case 0:  // top-left
      left = point.h;
      top = point.v;
      break;
    case 1:  // bottom-left
      left = point.h;
      top = point.v - h;
      break;
    case 2:  // bottom-right
      left = point.h - w;
      top = point.v - h;
      break;
    default:  // top-right
      left = point.h - w;
      top = point.v;
      break;
  }
  *rect = Rect{ToSInt16(top), ToSInt16(left), ToSInt16(top + h), ToSInt16(left + w)};
}

void GL_ScaleRect(Rect *rect, FixedPoint scale) {
  SInt32 w = Fix2Long(FixMul(Long2Fix(Width(rect)), scale.x));
  SInt32 h = Fix2Long(FixMul(Long2Fix(Height(rect)), scale.y));
  rect->right = ToSInt16(rect->left + w);
  rect->bottom = ToSInt16(rect->top + h);
}

void GL_InsetRectByRect(Rect *rect, const Rect *insetRect) {
  SInt32 left = rect->left + insetRect->left;
  SInt32 top = rect->top + insetRect->top;
  SInt32 bottom = rect->bottom - insetRect->bottom;
  SInt32 right = rect->right - insetRect->right;
  if (left >= right || top >= bottom) *rect = Rect{0, 0, 0, 0};
  else *rect = Rect{ToSInt16(top), ToSInt16(left), ToSInt16(bottom), ToSInt16(right)};
}

void GL_SplitRect(const Rect *rect, Rect *rect1, Rect *rect2, Rect *rect3, Rect *rect4) {
  if (rect == nullptr) return;
  SInt16 midH = ToSInt16(rect->left + (Width(rect) + 1) / 2);
  SInt16 midV = ToSInt16(rect->top + (Height(rect) + 1) / 2);
  if (rect1) *rect1 = Rect{rect->top, rect->left, midV, midH};
  if (rect2) *rect2 = Rect{rect->top, midH, midV, rect->right};
  if (rect3) *rect3 = Rect{midV, rect->left, rect->bottom, midH};
  if (rect4) *rect4 = Rect{midV, midH, rect->bottom, rect->right};
}

Boolean GL_MoveRectInsideRect(const Rect *envelopingRect, Rect *rect) {
  if (!GL_RectFitsInsideRect(rect, envelopingRect)) return false;
  SInt32 dv = 0, dh = 0;
  if (rect->top < envelopingRect->top) dv = envelopingRect->top - rect->top;
  if (rect->bottom > envelopingRect->bottom) dv = envelopingRect->bottom - rect->bottom;
  if (rect->left < envelopingRect->left) dh = envelopingRect->left - rect->left;
  if (rect->right > envelopingRect->right) dh = envelopingRect->right - rect->right;
  OffsetRect(rect, ToSInt16(dh), ToSInt16(dv));
  return true;
}

void GL_AddRectBorders(Rect *rect, const Rect *borders) {
  rect->top = ToSInt16(rect->top - borders->top);
  rect->left = ToSInt16(rect->left - borders->left);
  rect->bottom = ToSInt16(rect->bottom + borders->bottom);
  rect->right = ToSInt16(rect->right + borders->right);
}

void GL_RemoveRectBorders(Rect *rect, const Rect *borders) {
  rect->top = ToSInt16(rect->top + borders->top);
  rect->left = ToSInt16(rect->left + borders->left);
  rect->bottom = ToSInt16(rect->bottom - borders->bottom);
  rect->right = ToSInt16(rect->right - borders->right);
}

void GL_AddBorders(const Rect *borders1, const Rect *borders2, Rect *borders) {
  *borders = Rect{ToSInt16(borders1->top + borders2->top), ToSInt16(borders1->left + borders2->left),
                  ToSInt16(borders1->bottom + borders2->bottom), ToSInt16(borders1->right + borders2->right)};
}

void GL_GetRectBorders(const Rect *outerRect, const Rect *innerRect, Rect *borders) {
  *borders = Rect{ToSInt16(innerRect->top - outerRect->top), ToSInt16(innerRect->left - outerRect->left),
                  ToSInt16(outerRect->bottom - innerRect->bottom), ToSInt16(outerRect->right - innerRect->right)};
}

void GL_DiffRect(const Rect *rect1, const Rect *rect2, Rect *result) {
  Rect s;
  SectRect(rect1, rect2, &s);
  *result = Rect{ToSInt16(s.top - rect1->top), ToSInt16(s.left - rect1->left), ToSInt16(rect1->bottom - s.bottom),
                 ToSInt16(rect1->right - s.right)};
}

void GL_GetRectAbsDiff(const Rect *rect1, const Rect *rect2, Rect *absDiffRect) {
  *absDiffRect = Rect{ToSInt16(std::abs(rect2->top - rect1->top)), ToSInt16(std::abs(rect2->left - rect1->left)),
                      ToSInt16(std::abs(rect2->bottom - rect1->bottom)),
                      ToSInt16(std::abs(rect2->right - rect1->right))};
}

Boolean GL_PointInRectInclusive(Point point, const Rect *rect) {
  return rect->top <= point.v && point.v <= rect->bottom && rect->left <= point.h && point.h <= rect->right;
}

Boolean GL_RectsCoincide(const Rect *rect1, const Rect *rect2) { return EqualRect(rect1, rect2); }

Boolean GL_IsRectInRect(const Rect *innerRect, const Rect *outerRect) {
  if (GL_GetRectArea(innerRect) == 0) return true;
  Rect s;
  SectRect(innerRect, outerRect, &s);
  return EqualRect(&s, innerRect);
}

Boolean GL_RectFitsInsideRect(const Rect *rect, const Rect *envelopingRect) {
  Rect moved = *rect;
  GL_MoveRectTopLeft(&moved, GL_TopLeft(envelopingRect));
  return GL_IsRectInRect(&moved, envelopingRect);
}

Boolean GL_SectRect(const Rect *rect1, const Rect *rect2, Rect *intersection) {
  Rect s;
  Boolean overlap = SectRect(rect1, rect2, &s);
  if (intersection) *intersection = s;
  return overlap;
}

Boolean GL_IsInterval1InInterval2(SInt32 begin2, SInt32 begin1, SInt32 end1, SInt32 end2) {
  return begin2 <= begin1 && end1 <= end2;
}

void GL_FitRectInBox(const Rect *rect, const Rect *box, Rect *scaledRect, float *scaleFactorF,
                     GL_LongRatio *scaleFactorLR) {
  SInt64 w = Width(rect), h = Height(rect), W = Width(box), H = Height(box);
  // Nothing to scale (or nothing to fit into): an empty result rather than a division by zero.
  if (w <= 0 || h <= 0 || W <= 0 || H <= 0) {
    if (scaledRect) *scaledRect = Rect{0, 0, 0, 0};
    ClearScale(scaleFactorF, scaleFactorLR);
    return;
  }
  SInt64 width, height;
  if (w * H <= W * h) {
    height = H;
    width = (w * H + h / 2) / h;
    SetScale(H, h, scaleFactorF, scaleFactorLR);
  } else {
    width = W;
    height = (h * W + w / 2) / w;
    SetScale(W, w, scaleFactorF, scaleFactorLR);
  }
  if (scaledRect) {
    SInt64 dh = (W - width) / 2, dv = (H - height) / 2;
    *scaledRect = Rect{ToSInt16(dv), ToSInt16(dh), ToSInt16(dv + height), ToSInt16(dh + width)};
  }
}

void GL_CoverBoxWithRect(const Rect *rect, const Rect *box, Rect *scaledRect, float *scaleFactorF,
                         GL_LongRatio *scaleFactorLR) {
  SInt64 w = Width(rect), h = Height(rect), W = Width(box), H = Height(box);
  if (w <= 0 || h <= 0 || W <= 0 || H <= 0) {
    if (scaledRect) *scaledRect = Rect{0, 0, 0, 0};
    ClearScale(scaleFactorF, scaleFactorLR);
    return;
  }
  SInt64 width, height;
  if (H * w <= W * h) {
    width = W;
    height = (W * h + w / 2) / w;
    SetScale(W, w, scaleFactorF, scaleFactorLR);
  } else {
    height = H;
    width = (w * H + h / 2) / h;
    SetScale(H, h, scaleFactorF, scaleFactorLR);
  }
  if (scaledRect) {
    SInt64 dv = (H - height) / 2, dh = (W - width) / 2;
    *scaledRect = Rect{ToSInt16(box->top + dv), ToSInt16(box->left + dh), ToSInt16(box->bottom - dv),
                       ToSInt16(box->right - dh)};
  }
}

void GL_FrameRect(const Rect *rect, const RGBColor *color, SInt16 size) {
  PenNormal();
  RGBForeColor(color);
  PenSize(size, size);
  FrameRect(rect);
}

void GL_PaintRect(const Rect *rect, const RGBColor *color) {
  RGBForeColor(color);
  PaintRect(rect);
}

void GL_PrintRect(const Rect *rect) {
  std::printf("Rectangle: top %hd, left %hd, bottom %hd, right %hd, width %ld, height %ld\n", rect->top, rect->left,
              rect->bottom, rect->right, long(Width(rect)), long(Height(rect)));
}

void GL_PrintRectWithName(const Rect *rect, const char *name) {
  std::printf("%s: {t,l,b,r = %hd,%hd,%hd,%hd}, {w,h = %ld,%ld}\n", name ? name : "", rect->top, rect->left,
              rect->bottom, rect->right, long(Width(rect)), long(Height(rect)));
}

void GL_PrintEdgeWithName(const Rect *rect, const char *name) {
  std::printf("%s: {t,l,b,r = %hd,%hd,%hd,%hd}\n", name ? name : "", rect->top, rect->left, rect->bottom, rect->right);
}

void GL_PrintFloatRectWithName(const GL_FloatRect *rect, const char *name) {
  std::printf("%s: {t,l,b,r = %.2f,%.2f,%.2f,%.2f}, {w,h = %.2f,%.2f}\n", name ? name : "", double(rect->top),
              double(rect->left), double(rect->bottom), double(rect->right), double(rect->right - rect->left),
              double(rect->bottom - rect->top));
}

void GL_PrintFixedRectWithName(const FixedRect *rect, const char *name) {
  GL_FloatRect f;
  GL_FixedRectToFloat(rect, &f);
  GL_PrintFloatRectWithName(&f, name);
}

Boolean GL_TransformRect(MatrixRecord *m, const Rect *inRect, Rect *outRect) {
  *outRect = *inRect;
  return TransformRect(m, outRect, nullptr);
}

Boolean GL_TransformFixedRect(MatrixRecord *m, const FixedRect *inRect, FixedRect *outRect) {
  *outRect = *inRect;
  return TransformFixedRect(m, outRect, nullptr);
}

// ---- Fixed point ----

void GL_RectToFixed(const Rect *rect, FixedRect *fixedRect) {
  fixedRect->left = Long2Fix(rect->left);
  fixedRect->top = Long2Fix(rect->top);
  fixedRect->right = Long2Fix(rect->right);
  fixedRect->bottom = Long2Fix(rect->bottom);
}

void GL_FixedToRect(const FixedRect *fixedRect, Rect *rect) {
  auto round = [](Fixed x) { return ToSInt16((SInt64(x) + 32768) >> 16); };
  *rect = Rect{round(fixedRect->top), round(fixedRect->left), round(fixedRect->bottom), round(fixedRect->right)};
}

void GL_FixedRectToFloat(const FixedRect *fixedRect, GL_FloatRect *rectFloat) {
  rectFloat->top = float(Fix2X(fixedRect->top));
  rectFloat->left = float(Fix2X(fixedRect->left));
  rectFloat->bottom = float(Fix2X(fixedRect->bottom));
  rectFloat->right = float(Fix2X(fixedRect->right));
}

void GL_InsetFixedRectByFixedRect(FixedRect *rect, FixedRect insetRect) {
  rect->left = FixedAdd(rect->left, insetRect.left);
  rect->top = FixedAdd(rect->top, insetRect.top);
  rect->right = FixedSub(rect->right, insetRect.right);
  rect->bottom = FixedSub(rect->bottom, insetRect.bottom);
}

void GL_GetFixedRectAbsDiff(const FixedRect *rect1, const FixedRect *rect2, FixedRect *absDiffRect) {
  *absDiffRect = FixedRect{FixedAbs(FixedSub(rect2->left, rect1->left)), FixedAbs(FixedSub(rect2->top, rect1->top)),
                           FixedAbs(FixedSub(rect2->right, rect1->right)),
                           FixedAbs(FixedSub(rect2->bottom, rect1->bottom))};
}

void GL_GetFixedRectBorders(const FixedRect *outerRect, const FixedRect *innerRect, FixedRect *borders) {
  *borders = FixedRect{FixedSub(innerRect->left, outerRect->left), FixedSub(innerRect->top, outerRect->top),
                       FixedSub(outerRect->right, innerRect->right), FixedSub(outerRect->bottom, innerRect->bottom)};
}

void GL_SectFixedRect(const FixedRect *rectFa, const FixedRect *rectFb, FixedRect *rectFc) {
  FixedRect c;
  c.left = std::max(rectFa->left, rectFb->left);
  c.top = std::max(rectFa->top, rectFb->top);
  c.right = std::min(rectFa->right, rectFb->right);
  c.bottom = std::min(rectFa->bottom, rectFb->bottom);
  if (c.top > c.bottom) c.top = c.bottom;
  if (c.left > c.right) c.left = c.right;
  *rectFc = c;
}

void GL_SetFixedRectTlbr(FixedRect *r, Fixed top, Fixed left, Fixed bottom, Fixed right) {
  *r = FixedRect{left, top, right, bottom};
}

void GL_OffsetFixedRect(FixedRect *rectF, Fixed shiftH, Fixed shiftV) {
  rectF->left = FixedAdd(rectF->left, shiftH);
  rectF->right = FixedAdd(rectF->right, shiftH);
  rectF->top = FixedAdd(rectF->top, shiftV);
  rectF->bottom = FixedAdd(rectF->bottom, shiftV);
}

void GL_PointToFixed(const Point *pt, FixedPoint *fixedPt) {
  fixedPt->x = Long2Fix(pt->h);
  fixedPt->y = Long2Fix(pt->v);
}

Point GL_FixedToPoint(const FixedPoint *fixedPt) {
  auto round = [](Fixed x) {
    SInt64 v = x;
    return ToSInt16(v > 0 ? (v + 32768) / 65536 : (v - 32768) / 65536);
  };
  return Point{round(fixedPt->y), round(fixedPt->x)};
}

void GL_GetFixedRectSize(const FixedRect *rectF, FixedPoint *fixedPt) {
  fixedPt->x = FixedSub(rectF->right, rectF->left);
  fixedPt->y = FixedSub(rectF->bottom, rectF->top);
}

void GL_FixedTopLeft(const FixedRect *rect, FixedPoint *fixedPt) {
  fixedPt->x = rect->left;
  fixedPt->y = rect->top;
}

namespace {

// Places a width x height rectangle centred on the box itself.
void CentreOnFixedBox(const FixedRect *boxF, SInt64 W, SInt64 H, Fixed width, Fixed height, FixedRect *scaledRectF) {
  if (scaledRectF == nullptr) return;
  SInt64 dv = (H - height) / 2, dh = (W - width) / 2;
  *scaledRectF = FixedRect{Fixed(boxF->left + dh), Fixed(boxF->top + dv), Fixed(boxF->right - dh),
                           Fixed(boxF->bottom - dv)};
}

void FitOrCoverFixed(const FixedRect *rectF, const FixedRect *boxF, FixedRect *scaledRectF, float *scaleFactorF,
                     GL_LongRatio *scaleFactorLR, bool cover) {
  SInt64 w = SInt64(rectF->right) - rectF->left, h = SInt64(rectF->bottom) - rectF->top;
  SInt64 W = SInt64(boxF->right) - boxF->left, H = SInt64(boxF->bottom) - boxF->top;
  if (w <= 0 || h <= 0 || W <= 0 || H <= 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF || W > 0x7FFFFFFF ||
      H > 0x7FFFFFFF) {
    if (scaledRectF) *scaledRectF = FixedRect{0, 0, 0, 0};
    ClearScale(scaleFactorF, scaleFactorLR);
    return;
  }
  // The relatively wider rectangle is fitted by width (covered by height), the other way round otherwise.
  bool byWidth = (H * w > W * h) != cover;
  Fixed width, height;
  if (byWidth) {
    width = Fixed(W);
    height = FixMul(FixDiv(Fixed(h), Fixed(w)), Fixed(W));
    SetScale(W, w, scaleFactorF, scaleFactorLR);
  } else {
    height = Fixed(H);
    width = FixMul(FixDiv(Fixed(w), Fixed(h)), Fixed(H));
    SetScale(H, h, scaleFactorF, scaleFactorLR);
  }
  CentreOnFixedBox(boxF, W, H, width, height, scaledRectF);
}

}  // namespace

void GL_FitFixedRectInBox(const FixedRect *rectF, const FixedRect *boxF, FixedRect *scaledRectF, float *scaleFactorF,
                          GL_LongRatio *scaleFactorLR) {
  FitOrCoverFixed(rectF, boxF, scaledRectF, scaleFactorF, scaleFactorLR, false);
}

void GL_CoverBoxWithFixedRect(const FixedRect *rectF, const FixedRect *boxF, FixedRect *scaledRectF,
                              float *scaleFactorF, GL_LongRatio *scaleFactorLR) {
  FitOrCoverFixed(rectF, boxF, scaledRectF, scaleFactorF, scaleFactorLR, true);
}

// ---- Float ----

void GL_RectToFloat(const Rect *rect, GL_FloatRect *rectF) {
  *rectF = GL_FloatRect{float(rect->top), float(rect->left), float(rect->bottom), float(rect->right)};
}

void GL_FloatRectToPoints(const GL_FloatRect *rectF, GL_FloatPt points[4]) {
  points[0] = GL_FloatPt{rectF->left, rectF->top};
  points[1] = GL_FloatPt{rectF->right, rectF->top};
  points[2] = GL_FloatPt{rectF->right, rectF->bottom};
  points[3] = GL_FloatPt{rectF->left, rectF->bottom};
}

void GL_SetFloatPt(GL_FloatPt *ptF, float x, float y) { *ptF = GL_FloatPt{x, y}; }

void GL_AddFloatPt(const GL_FloatPt *pt1, const GL_FloatPt *pt2, GL_FloatPt *pt) {
  *pt = GL_FloatPt{pt1->h + pt2->h, pt1->v + pt2->v};
}

void GL_DiffFloatPt(const GL_FloatPt *pt1, const GL_FloatPt *pt2, GL_FloatPt *pt) {
  *pt = GL_FloatPt{pt1->h - pt2->h, pt1->v - pt2->v};
}

void GL_FloatPtLC(float a, const GL_FloatPt *pt1, float b, const GL_FloatPt *pt2, GL_FloatPt *pt) {
  *pt = GL_FloatPt{a * pt1->h + b * pt2->h, a * pt1->v + b * pt2->v};
}

void GL_ScaleFloatPt(float a, const GL_FloatPt *pt1, GL_FloatPt *pt) { *pt = GL_FloatPt{a * pt1->h, a * pt1->v}; }

float GL_DotProductF(const GL_FloatPt *a, const GL_FloatPt *b) { return a->h * b->h + a->v * b->v; }

void GL_GetFloatPtsAngle(const GL_FloatPt *pt1, const GL_FloatPt *pt2, float *cos, float *sin) {
  float length = std::sqrt(GL_DotProductF(pt1, pt1)) * std::sqrt(GL_DotProductF(pt2, pt2));
  // No direction to measure from: report no rotation instead of NaNs.
  if (length == 0.0f) {
    *cos = 1.0f;
    *sin = 0.0f;
    return;
  }
  *cos = GL_DotProductF(pt1, pt2) / length;
  *sin = (pt1->h * pt2->v - pt2->h * pt1->v) / length;
}

void GL_RotatePt(const GL_FloatPt *oldPt, float cos, float sin, GL_FloatPt *newPt) {
  GL_FloatPt p = *oldPt;
  *newPt = GL_FloatPt{p.h * cos - p.v * sin, p.h * sin + p.v * cos};
}

void GL_SetFloatRectTlbr(GL_FloatRect *r, float top, float left, float bottom, float right) {
  *r = GL_FloatRect{top, left, bottom, right};
}

void GL_SectFloatRect(const GL_FloatRect *rectFa, const GL_FloatRect *rectFb, GL_FloatRect *rectFc) {
  GL_FloatRect c;
  c.top = std::max(rectFa->top, rectFb->top);
  c.left = std::max(rectFa->left, rectFb->left);
  c.bottom = std::min(rectFa->bottom, rectFb->bottom);
  c.right = std::min(rectFa->right, rectFb->right);
  if (c.top > c.bottom) c.top = c.bottom;
  if (c.left > c.right) c.left = c.right;
  *rectFc = c;
}

float GL_GetFloatRectArea(const GL_FloatRect *rect) { return (rect->bottom - rect->top) * (rect->right - rect->left); }

float GL_GetFloatPtRectDistSq(const GL_FloatPt *ptF, const GL_FloatRect *rectF) {
  float dh = 0.0f, dv = 0.0f;
  if (ptF->h < rectF->left) dh = rectF->left - ptF->h;
  else if (ptF->h > rectF->right) dh = ptF->h - rectF->right;
  if (ptF->v < rectF->top) dv = rectF->top - ptF->v;
  else if (ptF->v > rectF->bottom) dv = ptF->v - rectF->bottom;
  return dh * dh + dv * dv;
}

float GL_GetSlopedFloatRectArea(const GL_FloatPt pts[4]) {
  GL_FloatPt side1, side2;
  GL_DiffFloatPt(&pts[0], &pts[3], &side1);
  GL_DiffFloatPt(&pts[0], &pts[1], &side2);
  return std::sqrt(GL_DotProductF(&side1, &side1) * GL_DotProductF(&side2, &side2));
}

// ---- HIToolbox and Quartz ----

void GL_HIPointToPoint(const HIPoint *hiPt, Point *pt) {
  pt->h = TruncToSInt16(hiPt->x);
  pt->v = TruncToSInt16(hiPt->y);
}

void GL_PointToHIPoint(const Point *pt, HIPoint *hiPt) { *hiPt = HIPoint{float(pt->h), float(pt->v)}; }

void GL_HIRectToRect(const HIRect *hiRect, Rect *rect) {
  SInt16 top = TruncToSInt16(hiRect->origin.y);
  SInt16 left = TruncToSInt16(hiRect->origin.x);
  rect->top = top;
  rect->left = left;
  rect->bottom = TruncToSInt16(hiRect->size.height + float(top));
  rect->right = TruncToSInt16(hiRect->size.width + float(left));
}

void GL_RectToHIRect(const Rect *rect, HIRect *hiRect) {
  *hiRect = CGRectMake(rect->left, rect->top, float(Width(rect)), float(Height(rect)));
}

void GL_RectToCGRect(SInt32 height, const Rect *rect, CGRect *cgRect) {
  *cgRect = CGRectMake(rect->left, float(SInt64(height) - rect->bottom), float(Width(rect)), float(Height(rect)));
}

void GL_CG_InsetRect(CGRect *cgRect, float inset) {
  cgRect->origin.x += inset;
  cgRect->origin.y += inset;
  cgRect->size.width -= 2 * inset;
  cgRect->size.height -= 2 * inset;
}

// ---- Regions ----

Boolean GL_SectRgn(RgnHandle rgn1, RgnHandle rgn2, RgnHandle intersection) {
  RgnHandle target = intersection ? intersection : NewRgn();
  if (target == nullptr) return false;
  SectRgn(rgn1, rgn2, target);
  Boolean found = !EmptyRgn(target);
  if (target != intersection) DisposeRgn(target);
  return found;
}

Boolean GL_SectRectRgn(const Rect *rect, RgnHandle rgn, RgnHandle intersection) {
  RgnHandle rectRgn = NewRgn();
  if (rectRgn == nullptr) return false;
  RectRgn(rectRgn, rect);
  Boolean found = GL_SectRgn(rectRgn, rgn, intersection);
  DisposeRgn(rectRgn);
  return found;
}

namespace {

void CombineWithPixel(Point pt, RgnHandle region, bool add) {
  if (region == nullptr) return;
  RgnHandle pixel = NewRgn();
  if (pixel == nullptr) return;
  SetRectRgn(pixel, pt.h, pt.v, ToSInt16(pt.h + 1), ToSInt16(pt.v + 1));
  if (add) UnionRgn(region, pixel, region);
  else DiffRgn(region, pixel, region);
  DisposeRgn(pixel);
}

}  // namespace

void GL_RemovePtFromRgn(Point pt, RgnHandle region) { CombineWithPixel(pt, region, false); }

void GL_AddPtToRgn(Point pt, RgnHandle region) { CombineWithPixel(pt, region, true); }

SInt32 GL_GetRgnArea(RgnHandle region) {
  Rect bounds;
  GetRegionBounds(region, &bounds);
  SInt32 area = 0;
  for (SInt32 v = bounds.top; v < bounds.bottom; ++v)
    for (SInt32 h = bounds.left; h < bounds.right; ++h)
      if (PtInRgn(Point{SInt16(v), SInt16(h)}, region)) ++area;
  return area;
}

Boolean GL_IsRgnInRgn(RgnHandle rgn1, RgnHandle rgn2) {
  RgnHandle section = NewRgn();
  if (section == nullptr) return false;
  SectRgn(rgn1, rgn2, section);
  Boolean inside = QDError() == noErr && EqualRgn(section, rgn1);
  DisposeRgn(section);
  return inside;
}

Boolean GL_IsRectInRgn(const Rect *rect, RgnHandle rgn) {
  RgnHandle rectRgn = NewRgn();
  if (rectRgn == nullptr) return false;
  RectRgn(rectRgn, rect);
  Boolean inside = GL_IsRgnInRgn(rectRgn, rgn);
  DisposeRgn(rectRgn);
  return inside;
}

void GL_DisposeRgn(RgnHandle *region) {
  if (region == nullptr || *region == nullptr) return;
  DisposeRgn(*region);
  *region = nullptr;
}

OSStatus GL_FlattenRgnBitMap(RgnHandle rgn, SInt32 **data, SInt32 *size) {
  if (rgn == nullptr || data == nullptr || size == nullptr) return paramErr;
  *data = nullptr;
  *size = 0;
  Rect bounds;
  GetRegionBounds(rgn, &bounds);
  std::vector<SInt32> runs;
  try {
    // Runs alternate outside, inside, ... over the bounds row by row; they start with an outside run.
    bool inside = false;
    SInt32 run = 0;
    for (SInt32 v = bounds.top; v < bounds.bottom; ++v) {
      for (SInt32 h = bounds.left; h < bounds.right; ++h) {
        bool in = PtInRgn(Point{SInt16(v), SInt16(h)}, rgn);
        if (in != inside) {
          runs.push_back(run);
          run = 0;
          inside = in;
        }
        ++run;
      }
    }
    if (run > 0) runs.push_back(run);
  } catch (const std::bad_alloc &) {
    return memFullErr;
  }
  size_t bytes = sizeof(SInt32) * (runs.size() + 1);
  if (bytes > size_t(0x7FFFFFFF)) return memFullErr;
  SInt32 *block = nullptr;
  OSStatus err = GL_NewPtr(bytes, &block);
  if (err != noErr) return err;
  block[0] = SInt32(runs.size());
  std::copy(runs.begin(), runs.end(), block + 1);
  *data = block;
  *size = SInt32(bytes);
  return noErr;
}

namespace {

SInt32 ReadValue(const void *data, size_t index) {
  SInt32 v;
  std::memcpy(&v, static_cast<const char *>(data) + index * sizeof(SInt32), sizeof v);
  return v;
}

// Checks the runs against the bounds, then adds the inside runs to rgn a band of rows at a time, through a
// 1-bit bitmap of bounded size.
OSStatus UnflattenRuns(const void *data, size_t availableValues, const Rect *bounds, RgnHandle rgn) {
  if (data == nullptr || bounds == nullptr || rgn == nullptr || availableValues < 1) return paramErr;
  SInt64 width = SInt64(bounds->right) - bounds->left;
  SInt64 height = SInt64(bounds->bottom) - bounds->top;
  SInt32 count = ReadValue(data, 0);
  if (count < 0 || size_t(count) > availableValues - 1) return paramErr;
  if (count > 0 && (width <= 0 || height <= 0)) return paramErr;
  SInt64 total = 0;
  for (SInt32 i = 1; i <= count; ++i) {
    SInt32 run = ReadValue(data, size_t(i));
    if (run < 0) return paramErr;
    total += run;
    if (total > width * height) return paramErr;
  }
  if (count == 0) return noErr;

  constexpr SInt64 kBandRows = 64;
  size_t rowBytes = size_t((width + 15) / 16 * 2);
  std::vector<UInt8> bits;
  RgnHandle band = NewRgn();
  RgnHandle result = NewRgn();
  OSStatus err = (band && result) ? noErr : memFullErr;
  if (err == noErr) {
    CopyRgn(rgn, result);
    err = QDError();
  }
  SInt64 p = 0;        // position in the bounds, row by row
  SInt32 index = 1;    // the next run to read; odd runs lie outside, even ones inside
  SInt32 left = 0;     // pixels of the current run still to place
  bool inside = false;
  for (SInt64 bandTop = 0; err == noErr && bandTop < height && (index <= count || left > 0); bandTop += kBandRows) {
    SInt64 rows = std::min(kBandRows, height - bandTop);
    SInt64 bandEnd = (bandTop + rows) * width;
    try {
      bits.assign(rowBytes * size_t(rows), 0);
    } catch (const std::bad_alloc &) {
      err = memFullErr;
      break;
    }
    bool any = false;
    while (p < bandEnd) {
      if (left == 0) {
        if (index > count) break;
        inside = index % 2 == 0;
        left = ReadValue(data, size_t(index++));
        continue;
      }
      SInt64 take = std::min<SInt64>(left, bandEnd - p);
      if (inside) {
        any = true;
        for (SInt64 q = p; q < p + take; ++q) {
          SInt64 row = q / width - bandTop, col = q % width;
          bits[size_t(row) * rowBytes + size_t(col >> 3)] |= UInt8(0x80 >> (col & 7));
        }
      }
      p += take;
      left -= SInt32(take);
    }
    if (!any) continue;
    BitMap map{reinterpret_cast<Ptr>(bits.data()), SInt16(rowBytes),
               Rect{SInt16(bounds->top + bandTop), bounds->left, SInt16(bounds->top + bandTop + rows), bounds->right}};
    err = BitMapToRegion(band, &map);
    if (err == noErr) {
      UnionRgn(result, band, result);
      err = QDError();
    }
  }
  if (err == noErr) {
    CopyRgn(result, rgn);
    err = QDError();
  }
  if (band) DisposeRgn(band);
  if (result) DisposeRgn(result);
  return err;
}

}  // namespace

OSStatus GL_UnflattenRgnBitMap(const SInt32 *data, const Rect *bounds, RgnHandle rgn) {
  if (data == nullptr) return paramErr;
  // Memory from GL_FlattenRgnBitMap: the count itself tells how many values follow.
  size_t available = data[0] < 0 ? 1 : size_t(data[0]) + 1;
  return UnflattenRuns(data, available, bounds, rgn);
}

OSStatus GL_UnflattenRgnBitMapSized(const void *data, size_t dataSize, const Rect *bounds, RgnHandle rgn) {
  if (data == nullptr || dataSize < sizeof(SInt32) || dataSize % sizeof(SInt32) != 0) return paramErr;
  return UnflattenRuns(data, dataSize / sizeof(SInt32), bounds, rgn);
}

// ---- Coordinates ----

void GL_LocalToGlobal(WindowRef macWindow, Point localPt, Point *globalPt) {
  GrafPtr savedPort = nullptr;
  GetPort(&savedPort);
  SetPort(GetWindowPort(macWindow));
  *globalPt = localPt;
  LocalToGlobal(globalPt);
  SetPort(savedPort);
}

void GL_GlobalToLocal(WindowRef macWindow, Point globalPt, Point *localPt) {
  GrafPtr savedPort = nullptr;
  GetPort(&savedPort);
  SetPort(GetWindowPort(macWindow));
  *localPt = globalPt;
  GlobalToLocal(localPt);
  SetPort(savedPort);
}

namespace {

void ConvertRect(Rect *rect, GrafPtr port, bool toGlobal) {
  GrafPtr savedPort = nullptr;
  if (port != nullptr) {
    GetPort(&savedPort);
    SetPort(port);
  }
  Point topLeft = GL_TopLeft(rect);
  Point bottomRight = GL_BottomRight(rect);
  if (toGlobal) {
    LocalToGlobal(&topLeft);
    LocalToGlobal(&bottomRight);
  } else {
    GlobalToLocal(&topLeft);
    GlobalToLocal(&bottomRight);
  }
  GL_SetRectFromPoints(topLeft, bottomRight, rect);
  if (port != nullptr) SetPort(savedPort);
}

// The global position of the local origin of the port (or of the current port).
Point GlobalOrigin(GrafPtr port) {
  GrafPtr savedPort = nullptr;
  if (port != nullptr) {
    GetPort(&savedPort);
    SetPort(port);
  }
  Point origin{0, 0};
  LocalToGlobal(&origin);
  if (port != nullptr) SetPort(savedPort);
  return origin;
}

}  // namespace

void GL_LocalRectToGlobal(Rect *rect, GrafPtr port) { ConvertRect(rect, port, true); }

void GL_GlobalRectToLocal(Rect *rect, GrafPtr port) { ConvertRect(rect, port, false); }

void GL_LocalRegionToGlobal(RgnHandle rgn, GrafPtr port) {
  Point origin = GlobalOrigin(port);
  OffsetRgn(rgn, origin.h, origin.v);
}

void GL_GlobalRegionToLocal(RgnHandle rgn, GrafPtr port) {
  Point origin = GlobalOrigin(port);
  OffsetRgn(rgn, ToSInt16(-origin.h), ToSInt16(-origin.v));
}
