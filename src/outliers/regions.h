// Regions: connected sets of pixels of one padded frame, held as linear pixel indexes (row x width + column)
// with their bounds, counts, weighted size and colour, inner ring and holes. Plain functions over the caller's
// records; they keep no state and run on any thread.
#pragma once

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

// Grows a region from the pixel seedNum within bounds, breadth first over 8-neighbours: a neighbour joins
// when it has 0x10, or 0x20 next to a pixel with 0x10; joined pixels get 0x80. newRgn (zeroed by the caller)
// receives its pixels (owned: RG_DisposeRgn), counts and bounds. pixelList holds one SInt32 per frame pixel
// (the work queue). memFullErr when the pixel list cannot be made.
OSStatus RG_ConstructRgn(SInt32 width, const Rect *bounds, UInt16 *data, SInt32 seedNum, SInt32 *pixelList,
                         RG_Region *newRgn);
// Collects the neighbours within bounds of the region pixels that have neither 0x80 nor 0x100 as the ring
// (edgeSize1 entries stored after the region pixels; they get 0x100). memFullErr when the list cannot grow.
OSStatus RG_FindRgnEdgeInnerRing(SInt32 width, const Rect *bounds, UInt16 *data, RG_Region *rgn, SInt32 *pixelList);
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
