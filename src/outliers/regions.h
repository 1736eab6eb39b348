// Regions: connected sets of pixels of one padded frame, held as linear pixel indexes (row x width + column)
// with their bounds, counts, weighted size and colour, inner ring and holes. Plain functions over the caller's
// records; they keep no state and run on any thread.
#pragma once

#include "general/memory_lists.h"
#include "platform/core/mac_errors.h"
#include "platform/core/mac_types.h"

// Flag bits of the per-pixel UInt16 plane.
enum : UInt16 {
  kRG_CoverageMask = 0x000F,  // coverage in tenths of a pixel
  kRG_FirstDegree = 0x0010,
  kRG_SecondDegree = 0x0020,
  kRG_ThirdDegree = 0x0040,
  kRG_InRegion = 0x0080,
  kRG_InnerRing = 0x0100,
  kRG_HoleRegion = 0x0200,
  kRG_HolePixel = 0x0400,
  kRG_Brighter = 0x0800,
};

// The eight directions of a pixel's neighbours, clockwise from the top-left: top-left, top, top-right, right,
// bottom-right, bottom, bottom-left, left, as row and column offsets.
inline constexpr SInt32 kRG_DirRow[8] = {-1, -1, -1, 0, 1, 1, 1, 0};
inline constexpr SInt32 kRG_DirCol[8] = {-1, 0, 1, 1, 1, 0, -1, -1};
// The direction of the neighbour at row offset dr and column offset dc (each -1, 0 or 1, not both 0); -1 for
// any other offset.
inline SInt32 RG_DirectionOfOffset(SInt32 dr, SInt32 dc) {
  for (SInt32 d = 0; d < 8; ++d)
    if (kRG_DirRow[d] == dr && kRG_DirCol[d] == dc) return d;
  return -1;
}
// Whether the pixel at row r and column c lies inside the rectangle (bottom and right exclusive).
inline bool RG_InBounds(const Rect &bounds, SInt32 r, SInt32 c) {
  return r >= bounds.top && r < bounds.bottom && c >= bounds.left && c < bounds.right;
}

struct YCbCrF32 {
  float Y, Cb, Cr;
};

struct RG_RgnLE;

struct RG_Region {
  SInt32 numPixels;  // pixels of the region proper
  SInt32 numFirstDegreePixels, numSecDegreePixels, numThirdDegreePixels;
  SInt32 edgeSize1, edgeSize2, edgeSize3;  // sizes of the rings around the region
  float size;                              // coverage-weighted area
  float cmX, cmY;                          // coverage-weighted centre of mass (pixel centres at +0.5)
  Rect bounds;                             // bottom and right exclusive
  SInt32 *pixels;    // owned: numPixels region indexes, then the ring indexes (RG_DisposeRegion)
  SInt32 pixelsSize;  // entries allocated in pixels
  YCbCrF32 avColor, colorStddev;
  RG_RgnLE *holes;
  SInt32 numHoles;
};

struct RG_RgnLE {
  RG_RgnLE *next;
  SInt32 number;
  RG_Region rgn;
};

// Appends a new zeroed element to the list *first whose last element is *last (NULL for an empty list) and
// makes it the last. Keeping the tail keeps long lists (objects, holes, node regions) linear to build.
// memFullErr links nothing.
template <typename LE>
OSStatus RG_AppendNewElement(LE **first, LE **last, LE **element) {
  LE *e = nullptr;
  if (OSStatus err = GL_NewPtrClear(sizeof(LE), &e); err != noErr) return err;
  if (*last != nullptr)
    (*last)->next = e;
  else
    *first = e;
  *last = e;
  *element = e;
  return noErr;
}

// Grows a region from the pixel seedNum within bounds, breadth first over 8-neighbours: a neighbour joins
// when it has 0x10, or 0x20 next to a pixel with 0x10; joined pixels get 0x80. newRgn (zeroed by the caller)
// receives its pixels (owned: RG_DisposeRgn), counts and bounds. pixelList holds one SInt32 per frame pixel
// (the work queue). memFullErr when the pixel list cannot be made.
OSStatus RG_ConstructRgn(SInt32 width, const Rect *bounds, UInt16 *data, SInt32 seedNum, SInt32 *pixelList,
                         RG_Region *newRgn);
// Grows a region (RG_ConstructRgn) from every pixel of bounds, row by row, that has 0x10 and not yet 0x80,
// appending the elements to *rgnList and numbering the list 0, 1, 2 ...; the number of regions in the list,
// or a negative error (paramErr, memFullErr) with the regions made so far kept in the list.
SInt32 RG_FindRgns(SInt32 width, const Rect *bounds, UInt16 *data, SInt32 *pixelList, RG_RgnLE **rgnList);
// Collects the neighbours within bounds of the region pixels that have neither 0x80 nor 0x100 as the ring
// (edgeSize1 entries stored after the region pixels; they get 0x100). memFullErr when the list cannot grow.
OSStatus RG_FindRgnEdgeInnerRing(SInt32 width, const Rect *bounds, UInt16 *data, RG_Region *rgn, SInt32 *pixelList);
// The region's holes (regions of more than 3 pixels only): areas inside its bounds that no pixel of the region
// reaches and that touch no side of the bounds, each grown over 8-neighbours after the outer contour has been
// sealed, appended to rgn->holes (owned by the region) with numHoles their count. The work bits 0x100, 0x200
// and 0x400 are cleared in the region's bounds before and after. frameBounds is not needed: every step stays
// inside the region's bounds. memFullErr when a hole cannot be made (the holes made so far are kept).
OSStatus RG_FindHolesInRgn(SInt32 width, const Rect *frameBounds, UInt16 *data, RG_Region *rgn, SInt32 *pixelList);
// Grows one hole from seedNum inside the region's bounds over the 8-neighbours that have none of 0x700; they
// get 0x400. newHoleLE (zeroed by the caller) receives its pixels (owned), count and bounds.
OSStatus RG_FindHoleInRgn(SInt32 width, UInt16 *data, const RG_Region *rgn, SInt32 seedNum, SInt32 *pixelList,
                          RG_RgnLE *newHoleLE);
// Whether one of the 8 neighbours within bounds of the pixel has 0x10.
Boolean RG_HasFirstDegreeNeigbor(SInt32 width, const Rect *bounds, const UInt16 *data, SInt32 pixelNum);
// The number of changes from clear to set of bit 0x200 walking the neighbours within bounds of the pixel at
// row pixelHeight and column pixelWidth clockwise from the top-left, back to the top-left.
SInt32 RG_GetNumJumps(SInt32 width, const UInt16 *data, const Rect *bounds, SInt32 pixelHeight, SInt32 pixelWidth);
// Orders region list elements by size (for qsort): 1 when x is larger, -1 when y is larger, 0 otherwise.
int RG_RgnComparatorBySize(const void *x, const void *y);
// Disposes every region of the list (RG_DisposeRgn) and the list; *rgnList ends NULL.
void RG_DisposeRgnList(RG_RgnLE **rgnList);
// Whether a pixel of the hole lies in the first or last row or column of bounds.
Boolean RG_HoleTouchesRgnSide(SInt32 width, const Rect *bounds, const RG_Region *hole);
// Traces the region's outer contour clockwise inside its bounds over the pixels having rgnFlag; every pixel
// looked at on the way before the next contour pixel gets flagToSet.
void RG_SealRgn(SInt32 frameWidth, const RG_Region *rgn, UInt16 *data, UInt16 rgnFlag, UInt16 flagToSet);
// With clear, zeroes the mask bytes of the region's bounds; then sets the byte of every region pixel to 1.
void RG_RegionToMask(SInt32 frameWidth, const RG_Region *rgn, Boolean clear, UInt8 *mask);
// size = the sum of the region pixels' coverage weights / 10.
void RG_CalcRgnSize(const UInt16 *data, RG_Region *rgn);
// avColor and colorStddev over the first- and second-degree pixels, weighted by coverage.
void RG_CalcRgnColor(SInt32 width, const UInt8 *inBuffer, const UInt16 *data, RG_Region *rgn);
// The coverage-weighted centre of mass (pixel centres at column + 0.5, row + 0.5).
void RG_CalcRgnCM(SInt32 width, const UInt16 *data, RG_Region *rgn);
// Clears the flag bits in every pixel of bounds; sets them in every region pixel.
void RG_ClearFlagInRgn(SInt32 width, const Rect *bounds, UInt16 *data, UInt16 flag);
void RG_SetFlagInRgn(const RG_Region *rgn, UInt16 *data, UInt16 flag);
// Grows the rectangle to include the pixel at index.
void RG_AddIndexToBounds(SInt32 frameWidth, SInt32 index, Rect *bounds);
// Prints the flag words of rgnBounds grown by 3 and clipped to frameBounds, "%hu," each, a line per row;
// masked with flags when non-zero, else with notFlags cleared.
void RG_PrintRgnData(SInt32 width, const Rect *frameBounds, const Rect *rgnBounds, const UInt16 *data, UInt16 flags,
                     UInt16 notFlags);
// Frees the region's pixel list (leaving it NULL), its holes' pixel lists and the hole list.
void RG_DisposeRgn(RG_Region *rgn);
// Whether the padded point (h column, v row) is one of the region's pixels (ring pixels excluded).
Boolean RG_PtInRegion(SInt32 width, Point pt, const RG_Region *rgn);
// Whether the two regions share a pixel (ring pixels excluded); false at once for disjoint bounds.
Boolean RG_RegionsOverlap(const RG_Region *rgn1, const RG_Region *rgn2);
