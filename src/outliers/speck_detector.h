// The automatic speck detector: finds the dust and dirt of the centre frame of the outlier window (slot
// 2 x numConstPix) without user edits. Pixels outside the luminance range of the other usable frames are
// flagged, specks are grown from them, each speck's band in the neighbouring frames is recorded, and a speck
// whose second and third edge rings look like the picture around a dust spot is marked for removal.
//
// Threads: plain functions over the caller's flag plane and pixel list; a worker calls them with its own.
// The settings are only read: the detector raises the outlier distance in its own copy.
#pragma once

#include "outliers/outlier_stage.h"
#include "outliers/speck_properties.h"
#include "platform/core/mac_types.h"

// Flag bits the detector adds to those of the regions (regions.h).
enum : UInt16 {
  kBZ_OuRingTemp = 0x0200,       // second or third edge ring, while the edge is judged
  kBZ_OuQuiet = 0x1000,          // the other frames agree closely with each other and with this one
  kBZ_OuMotionAligned = 0x2000,  // the neighbouring frames are read along the motion vectors
  kBZ_OuWindowCut = 0x4000,      // the usable slots do not cover slots k to 3k
};

enum : SInt32 {
  // Specks the detector finds are numbered from here in scan order; the user's own specks count from 0, so
  // edits stored before automatic detection existed keep their meaning.
  kBZ_OuFirstAutoSpeckNum = 1000000,
  kBZ_OuMaxNumSpecks = 500,  // more specks than this are found again at a larger outlier distance
};

// The whole detector: replaces *speckList with the specks of the centre frame (owned: BZ_OuDisposeSpeckList),
// leaving their flags in data (the padded plane, cleared first) and using pixelList (one SInt32 per padded
// pixel) as its queue. Too many outliers raise the distance by 5 and retry, posting event 2020 at most once
// unless executing. A frame without a usable neighbouring frame gets no specks. mv: the window's motion
// vectors (mv[b] those of the pair (slot b, slot b + 1)) or NULL; with them every pixel whose motion chain is
// complete is marked kBZ_OuMotionAligned (BZ_SetInMvChain) and compared where its content went. paramErr for
// missing arguments, memFullErr.
OSStatus BZ_OuCalcSpeckList(const BZ_OuParams *ouParams, UInt8 *const *inBuffers, const SInt32 *avPixelDiff,
                            void *const *mv, UInt16 *data, SInt32 *pixelList, BZ_OuSpeckLE **speckList);

// Flags every picture pixel of the centre frame against the range of the usable slots [min, max) within
// k to 3k (first and second degree, brighter, quiet, window cut); *numFirstDegreeOutliers their count. With
// mv, a pixel marked kBZ_OuMotionAligned is compared over the slots its chain reaches, at the places it leads
// to (BZ_GetAlignedPixelIndexes), and keeps its mark.
// 5024 when more than 10 % of the buffer's pixels are first-degree outliers.
OSStatus BZ_OuFindOutliers(const BZ_OuParams *ouParams, UInt8 *const *inBuffers, SInt32 minInBufferIndex,
                           SInt32 maxInBufferIndex, UInt16 *data, void *const *mv, SInt32 *numFirstDegreeOutliers);
// One row of those flags: the centre frame's row (centreRow, '2vuy' from the row's first picture pixel) against
// the luminance range of the same row of numNeighbours neighbouring frames (numNeighbours 0: the range is
// empty, smallest 255 and largest 0), cols pixels, minDiff d >= 0; each flag or'ed with cut into out; the
// row's count of first-degree outliers. The scalar version, the SSE one (sixteen pixels at a time, the same
// flags bit for bit) and the choice between them by hasSSE3.
SInt32 BZ_OuFlagOutlierRow(const UInt8 *const *neighbourRows, SInt32 numNeighbours, const UInt8 *centreRow,
                          SInt32 cols, SInt32 minDiff, UInt16 cut, UInt16 *out);
SInt32 BZ_OuFlagOutlierRowAcc(const UInt8 *const *neighbourRows, SInt32 numNeighbours, const UInt8 *centreRow,
                             SInt32 cols, SInt32 minDiff, UInt16 cut, UInt16 *out);
SInt32 BZ_OuFlagOutlierRowUni(Boolean hasSSE3, const UInt8 *const *neighbourRows, SInt32 numNeighbours,
                             const UInt8 *centreRow, SInt32 cols, SInt32 minDiff, UInt16 cut, UInt16 *out);
// The second-degree outliers that have a first-degree 8-neighbour inside the picture.
SInt32 BZ_OuCountSecDegreeOutliers(const BZ_OuParams *ouParams, const UInt16 *data);

// Grows a speck from every first-degree pixel of the picture not yet in one, row by row, appending them to
// *speckList and numbering them from kBZ_OuFirstAutoSpeckNum. memFullErr (the specks made so far are kept).
OSStatus BZ_OuFindSpecks(const BZ_OuParams *ouParams, UInt16 *data, SInt32 *pixelList, BZ_OuSpeckLE **speckList);
// Grows one speck from seedNum and appends it: breadth first over 8-neighbours in the picture with the
// seed's brightness bit; first-degree pixels join, second-degree ones only next to a first-degree pixel.
OSStatus BZ_OuConstructSpeck(const BZ_OuParams *ouParams, UInt16 *data, SInt32 seedNum, SInt32 *pixelList,
                             BZ_OuSpeckLE **speckList);
// Adds to each speck the second-degree 8-neighbours of its pixels that are in no speck yet (0x40).
void BZ_OuAddThirdDegreePixelsToSpecks(const BZ_OuParams *ouParams, UInt16 *data, BZ_OuSpeckLE *speckList);
// Each speck's min and max: the luminance range of the usable neighbouring slots over its pixels, read along
// the motion chains of the pixels marked kBZ_OuMotionAligned when mv and data are given.
void BZ_OuCheckSandwiching(const BZ_OuParams *ouParams, const SInt32 *avPixelDiff, UInt8 *const *inBuffers,
                           const UInt16 *data, void *const *mv, BZ_OuSpeckLE *speckList);
// The properties (BZ_CalcSpeckProperties) of every speck, measured in inBuffer.
void BZ_OuCalcSpecksProperties(const BZ_OuParams *ouParams, const UInt8 *inBuffer, const UInt16 *data,
                               BZ_OuSpeckLE *speckList);
// Judges every speck's edge in inBuffer: its three rings are found and counted, and it is marked remove when
// at least 90 % of its second and third rings lie in its band or are quiet, else edgeRejected. A speck with
// a pixel index outside the buffer or a leftover ring flag is dropped from the list (and traced).
OSStatus BZ_OuAnalyzeEdge(const BZ_OuParams *ouParams, const UInt8 *inBuffer, UInt16 *data,
                          BZ_OuSpeckLE **speckList, SInt32 *pixelList);
// The second ring: pixels next to the first ring in no speck and no ring yet, each counted once (0x200).
OSStatus BZ_OuFindEdgeSecondRing(const BZ_OuParams *ouParams, const UInt8 *inBuffer, UInt16 *data,
                                 BZ_OuSpeck *speck, SInt32 *pixelList);
// The third ring, next to the second one; outside the band only quiet pixels count.
OSStatus BZ_OuFindEdgeThirdRing(const BZ_OuParams *ouParams, const UInt8 *inBuffer, UInt16 *data,
                                BZ_OuSpeck *speck, SInt32 *pixelList);
// The holes of every speck (RG_FindHolesInRgn).
OSStatus BZ_OuFindHolesInSpecks(const BZ_OuParams *ouParams, UInt16 *data, BZ_OuSpeckLE *speckList,
                                SInt32 *pixelList);

// Clear 0x200 inside bounds.
void BZ_OuClearInSpeckEdgeFlag(SInt32 width, const Rect *bounds, UInt16 *data);
void BZ_OuClearInSpeckTempFlag(SInt32 width, const Rect *bounds, UInt16 *data);
// Clears 0x200 inside bounds grown by 3 pixels on every side, clamped to the buffer.
void BZ_OuClearRingFlag(SInt32 width, SInt32 height, const Rect *bounds, UInt16 *data);
// Sets 0x40 on the speck's third-degree pixels (array entries from its first- and second-degree count up to
// numPixels).
void BZ_OuSetInSpeckEdgeFlag(const BZ_OuSpeck *speck, UInt16 *data);
// Sets 0x200 on the speck's region pixels.
void BZ_OuSetInSpeckTempFlag(const BZ_OuSpeck *speck, UInt16 *data);
// Whether any pixel of the buffer has 0x200.
Boolean BZ_OuAnyTempInSpeck(const BZ_OuParams *ouParams, const UInt16 *data);
// Whether every index of the speck's region and its three rings lies inside the buffer.
Boolean BZ_OuValidatePixels(const BZ_OuParams *ouParams, const BZ_OuSpeck *speck);

// Trace: the speck's number, counts and bounds, then the flag words (or luminances) of its bounds grown by
// 3 and clipped to the picture, a line per row, on standard output.
void BZ_OuPrintSpeck(const BZ_OuParams *ouParams, const BZ_OuSpeck *speck, const UInt16 *data);
void BZ_OuPrintSpeckY(const BZ_OuParams *ouParams, const UInt8 *buffer, const BZ_OuSpeck *speck);
