// Regions: connected sets of pixels of one padded frame, held as linear pixel indexes (row x width + column)
// with their bounds, counts, weighted size and colour, inner ring and holes. Plain functions over the caller's
// records; they keep no state and run on any thread.
#pragma once

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

// Frees the region's pixel indexes and holes and clears it.
void RG_DisposeRegion(RG_Region *rgn);
// Whether the padded point (h column, v row) is one of the region's pixels (ring pixels excluded).
Boolean RG_PtInRegion(SInt32 width, const RG_Region *rgn, Point paddedPt);
// Whether the two regions share a pixel (ring pixels excluded).
Boolean RG_RegionsOverlap(const RG_Region *rgn1, const RG_Region *rgn2);
