// QuickDraw stand-in, pure part: rectangle and point calls, regions, bitmaps made into regions, the
// QuickDraw random generator and QDError. Nothing here draws; ports and drawing are in quickdraw_ports.h.
//
// Rectangles are half-open: a pixel (h, v) lies inside when left <= h < right and top <= v < bottom.
// A region is a set of pixels kept as horizontal bands of spans, always in a canonical form, so equal
// pixel sets compare equal. Region calls run on any thread as long as each region is used by one thread.
#pragma once

#include "platform/core/mac_types.h"

enum : OSStatus {
  rgnOverflowErr = -147,
  pixmapTooDeepErr = -148,
  rgnTooBigErr = -500,
};

// The result of the last region or bitmap call on this thread (memFullErr when a region could not grow).
OSErr QDError();
// Sets what QDError reports; for the platform's own QuickDraw calls (ports, drawing back ends).
void PL_SetQDError(OSErr err);

// ---- Rectangles and points ----

void SetRect(Rect *r, SInt16 left, SInt16 top, SInt16 right, SInt16 bottom);
void OffsetRect(Rect *r, SInt16 dh, SInt16 dv);
// Moves left and right inward by dh, top and bottom by dv; a result without area becomes {0, 0, 0, 0}.
void InsetRect(Rect *r, SInt16 dh, SInt16 dv);
// The intersection; {0, 0, 0, 0} and false when the rectangles do not overlap (or either is empty).
Boolean SectRect(const Rect *src1, const Rect *src2, Rect *dstRect);
// The smallest rectangle holding both.
void UnionRect(const Rect *src1, const Rect *src2, Rect *dstRect);
Boolean EqualRect(const Rect *rect1, const Rect *rect2);
// True when the rectangle holds no pixel (bottom <= top or right <= left).
Boolean EmptyRect(const Rect *r);
Boolean PtInRect(Point pt, const Rect *r);
void SetPt(Point *pt, SInt16 h, SInt16 v);
// dst += src.
void AddPt(Point src, Point *dst);
// dst -= src.
void SubPt(Point src, Point *dst);
Boolean EqualPt(Point pt1, Point pt2);

// ---- Regions ----

struct OpaqueRgnHandle;
typedef OpaqueRgnHandle *RgnHandle;

// A new empty region (owned; release with DisposeRgn). NULL and QDError memFullErr when memory is out.
RgnHandle NewRgn();
void DisposeRgn(RgnHandle rgn);
void CopyRgn(RgnHandle srcRgn, RgnHandle dstRgn);
void SetEmptyRgn(RgnHandle rgn);
void SetRectRgn(RgnHandle rgn, SInt16 left, SInt16 top, SInt16 right, SInt16 bottom);
void RectRgn(RgnHandle rgn, const Rect *r);
void OffsetRgn(RgnHandle rgn, SInt16 dh, SInt16 dv);
// Set operations; the destination may be either source.
void SectRgn(RgnHandle srcRgnA, RgnHandle srcRgnB, RgnHandle dstRgn);
void UnionRgn(RgnHandle srcRgnA, RgnHandle srcRgnB, RgnHandle dstRgn);
void DiffRgn(RgnHandle srcRgnA, RgnHandle srcRgnB, RgnHandle dstRgn);
void XorRgn(RgnHandle srcRgnA, RgnHandle srcRgnB, RgnHandle dstRgn);
Boolean PtInRgn(Point pt, RgnHandle rgn);
Boolean EqualRgn(RgnHandle rgnA, RgnHandle rgnB);
Boolean EmptyRgn(RgnHandle rgn);
// True for a region that is one rectangle (or empty).
Boolean IsRegionRectangular(RgnHandle rgn);
// The bounding box; {0, 0, 0, 0} for an empty region.
Rect *GetRegionBounds(RgnHandle region, Rect *bounds);

// Walks the region's rectangles (disjoint; each horizontal band of the region gives its spans) in the
// order asked for: the proc gets kQDRegionToRectsMsgInit, then kQDRegionToRectsMsgParse for each rectangle,
// then kQDRegionToRectsMsgTerminate; a non-zero result of a parse ends the walk (terminate still comes)
// and is returned. paramErr for a NULL region or proc.
typedef UInt32 QDRegionParseDirection;
enum : QDRegionParseDirection {
  kQDParseRegionFromTop = 1u << 0,
  kQDParseRegionFromBottom = 1u << 1,
  kQDParseRegionFromLeft = 1u << 2,
  kQDParseRegionFromRight = 1u << 3,
  kQDParseRegionFromTopLeft = kQDParseRegionFromTop | kQDParseRegionFromLeft,
  kQDParseRegionFromBottomRight = kQDParseRegionFromBottom | kQDParseRegionFromRight,
};
enum : UInt16 { kQDRegionToRectsMsgInit = 1, kQDRegionToRectsMsgParse = 2, kQDRegionToRectsMsgTerminate = 3 };
typedef OSStatus (*RegionToRectsProcPtr)(UInt16 message, RgnHandle rgn, const Rect *rect, void *refCon);
typedef RegionToRectsProcPtr RegionToRectsUPP;
OSStatus QDRegionToRects(RgnHandle rgn, QDRegionParseDirection dir, RegionToRectsUPP proc, void *userData);

// A 1-bit image: rows of rowBytes bytes, the most significant bit first; pixel (bounds.left, bounds.top)
// is the first bit of baseAddr. A set high bit of rowBytes marks a pixel map, which has more than 1 bit.
struct BitMap {
  Ptr baseAddr;
  SInt16 rowBytes;
  Rect bounds;
};

// Replaces the region by the set pixels of the bitmap, in the bitmap's coordinates. pixmapTooDeepErr for
// a pixel map, paramErr for a NULL argument or rows too short for the bounds.
OSErr BitMapToRegion(RgnHandle region, const BitMap *bMap);

// ---- Random numbers ----

// The QuickDraw generator: the seed steps as seed x 16807 mod (2^31 - 1); the result is the seed's low
// 16 bits as a signed number, with -32768 given as 0. The seed is per thread and starts at 1.
SInt16 Random();
SInt32 GetQDGlobalsRandomSeed();
void SetQDGlobalsRandomSeed(SInt32 seed);
