// Speck shapes: fits of a speck against a circle, a rectangle and an elongated rectangle, the orientation
// difference of two specks, and the comparison of two specks through their standard specks.
//
// A standard speck is a 10 by 10 raster (row-major, cell = 10 x row + column) of whole units summing to
// exactly 100, the speck scaled into it. Its subchunks are the raster seen as a 3 by 3 grid of cells 10/3
// wide: a bin per cell lists the raster index of each unit it holds (11 units in each outer cell, 12 in the
// middle), and speck_9 their average positions. Two specks compare by morphing the units of the second onto
// the raster of the first; the distortion of that morph (how much it changed the units' distances along
// each axis) is the shape difference. Points are in raster units: cell (column c, row r) covers [c, c + 1)
// by [r, r + 1).
//
// Everything works on data passed in and per-call scratch, so the functions are re-entrant on any thread.
#pragma once

#include "general/geometry.h"
#include "outliers/speck_properties.h"
#include "platform/core/mac_errors.h"
#include "platform/core/mac_types.h"

struct BZ_OuParams;

enum : SInt32 {
  kBZ_OuNumCells100 = 100,  // cells of the standard speck
  kBZ_OuNumCells9 = 9,      // cells of the subchunk grid
  kBZ_OuStandardUnits = 100,
  kBZ_OuBinStride = 101,     // a bin: its count, then room for every unit's raster index
  kBZ_OuMaxCellPairs = 2500,  // surplus cells x deficit cells among 100 cells
};

// A bin: element 0 the count, elements 1..count the raster indexes of the units it holds.
typedef SInt32 BZ_OuBin[kBZ_OuBinStride];

// A cell with units to spare (from) and one that lacks units (to).
struct BZ_OuCellPair {
  SInt32 from, to;
};

// ---- Shape fits ----

// Fills the three shape fits of the speck (frame: padded '2vuy'), each divided by their sum. pixelList is the
// caller's work queue of one SInt32 per frame pixel. paramErr for a missing argument or a speck without
// pixels.
OSStatus BZ_OuCalcSpeckShape(const BZ_OuParams *ouParams, UInt16 *data, const UInt8 *frame, BZ_OuSpeck *speck,
                             SInt32 *pixelList);
// The unnormalised fit of the speck against a disc, a 4-wide bar and a 2-wide bar (0 for a perfect fit).
float BZ_OuGetCircleDiff(const BZ_OuParams *ouParams, const UInt8 *frame, const BZ_OuSpeck *speck);
float BZ_OuGetRectDiff(const BZ_OuParams *ouParams, const UInt8 *frame, const BZ_OuSpeck *speck);
float BZ_OuGetElongRectDiff(const BZ_OuParams *ouParams, const UInt8 *frame, const BZ_OuSpeck *speck);
// The bar models: rows 1 to 8, columns 3 to 6 (rectangle) or 4 to 5 (elongated rectangle) are 1, the rest 0.
void BZ_OuInitRectSpeck100f(float speck_100f[kBZ_OuNumCells100]);
void BZ_OuInitElongRectSpeck100f(float speck_100f[kBZ_OuNumCells100]);

// ---- Comparing two specks ----

// The difference of the two specks' orientations as directions (o and o + pi are the same), 0 to 0.5 of pi,
// divided by pi; *weight = the product of their orientation weights.
float BZ_OuCalcShapeDiffSimple(const BZ_OuSpeck *speck1, const BZ_OuSpeck *speck2, float *weight);
// The standard-speck difference of two specks, each rasterised from its own frame.
float BZ_OuCalcShapeDiff(const BZ_OuParams *ouParams, const UInt8 *frame1, const UInt8 *frame2,
                         const BZ_OuSpeck *speck1, const BZ_OuSpeck *speck2);
// The smallest morph distortion of speck 2 (subchunks speck2_9, bins bin) onto speck 1's raster over the
// candidate rotations; 0x7FFFFFFF when speck1_100 or the bins do not hold exactly 100 units.
SInt32 BZ_OuCalcStandShapeDiff(const SInt32 speck1_100[kBZ_OuNumCells100], const GL_FloatPt speck1_9[kBZ_OuNumCells9],
                               const GL_FloatPt speck2_9[kBZ_OuNumCells9], const BZ_OuBin bin[kBZ_OuNumCells9]);

// ---- Standard speck ----

// Rasterises the speck (frame: padded '2vuy') into 100 units: its bounds scaled to the raster (the smaller
// side centred), each pixel weighted by how far its luminance lies beyond the speck's band (min, max).
void BZ_OuSpeckToStandardSpeck(const BZ_OuParams *ouParams, const UInt8 *frame, const BZ_OuSpeck *speck,
                               SInt32 speck_100[kBZ_OuNumCells100]);
// Rounds the float raster, scaled to sum to 100, into whole units summing to exactly 100, rounding first the
// cells that lose or gain least. Negative and non-finite cells count as 0; a raster without weight becomes
// one unit per cell.
void BZ_OuStandardSpeckFloatToDiscrete(const float speck_100f[kBZ_OuNumCells100], SInt32 speck_100[kBZ_OuNumCells100]);

// ---- Subchunks ----

// Distributes the raster's units over the 3 by 3 cells, balances them to 11 per outer cell and 12 in the
// middle, and gives each cell's average position. A raster that does not hold exactly 100 units is
// distributed but left unbalanced.
void BZ_OuFindSubchunks(const SInt32 speck_100[kBZ_OuNumCells100], GL_FloatPt speck_9[kBZ_OuNumCells9],
                        BZ_OuBin bin[kBZ_OuNumCells9]);
// Empties the bins and gives each 3 by 3 cell the units of every raster cell in proportion to their overlap.
void BZ_OuDistribute10x10over3x3(const SInt32 speck_100[kBZ_OuNumCells100], BZ_OuBin bin[kBZ_OuNumCells9]);
// Makes the copies of one raster cell's units (copies rounded from exact shares, remainder = copies - share)
// add up again: the cells rounded down most get one more, or those rounded up most one fewer.
void BZ_OuCorrectExcessPixelDistribution(SInt32 copies[kBZ_OuNumCells9], const float remainder[kBZ_OuNumCells9]);
// Each bin's average unit position: the sum of its units' points over 11 (outer) or 12 (middle).
void BZ_OuCalcAvPos3x3(const BZ_OuBin bin[kBZ_OuNumCells9], GL_FloatPt speck_9[kBZ_OuNumCells9]);
// The pairs of 3 by 3 cells with opposite excesses (count - wanted) at the smallest Manhattan distance, in
// scan order; *numPairs 0 when there is none.
void BZ_OuSortPairsIn3x3(const SInt32 excess[kBZ_OuNumCells9], BZ_OuCellPair pairs[kBZ_OuMaxCellPairs],
                         SInt32 *numPairs);
// The unit of bin `from` whose point lies nearest (squared distance) to 3 by 3 cell stepCell; the first one
// found wins a tie. *unitPos is its position in the bin (1..count).
void BZ_OuFindBestUnitToMove3x3(const BZ_OuBin bin[kBZ_OuNumCells9], SInt32 from, SInt32 stepCell, SInt32 *unitPos,
                                float *distanceSq);
// Moves the unit at unitPos of bin `from` into bin `to`.
void BZ_OuMoveUnitValueIn3x3(BZ_OuBin bin[kBZ_OuNumCells9], SInt32 from, SInt32 to, SInt32 unitPos);

// ---- Morphing speck 2 onto speck 1 ----

// The candidate rotations of speck 2's outer ring of cells onto speck 1's (0..7 steps of the ring), best
// first, then those whose summed distance is below 1.1 times the best.
void BZ_OuMatchSubchunks(const GL_FloatPt speck1_9[kBZ_OuNumCells9], const GL_FloatPt speck2_9[kBZ_OuNumCells9],
                         SInt32 rotations[8], SInt32 *numRotations);
// Empties the morph raster and records each unit of speck 2 (by its starting raster index) in the raster
// cell where shifting, rotating and blending its subchunk onto speck 1's puts it.
void BZ_OuDoInitialMorph(const GL_FloatPt speck1_9[kBZ_OuNumCells9], const GL_FloatPt speck2_9[kBZ_OuNumCells9],
                         const BZ_OuBin bin[kBZ_OuNumCells9], SInt32 rotation, BZ_OuBin morph[kBZ_OuNumCells100]);
// Shifts the units of speck 2's middle bin by the difference of the two middle averages into the morph.
void BZ_OuTranslateMiddleValue(const GL_FloatPt speck1_9[kBZ_OuNumCells9], const GL_FloatPt speck2_9[kBZ_OuNumCells9],
                               const BZ_OuBin bin[kBZ_OuNumCells9], BZ_OuBin morph[kBZ_OuNumCells100]);
// The transform of an outer subchunk at pos2 onto pos1: the rotation about the raster centre (5, 5) turning
// pos2's direction onto pos1's, the shift1 left after it (relative to the centre), and the blend perc between
// plain shifting (1) and rotating (0).
void BZ_OuGetOuterPixelTransform(GL_FloatPt pos1, GL_FloatPt pos2, float *cosAngle, float *sinAngle,
                                 GL_FloatPt *shift1, float *perc);
// Moves units one cell at a time until the morph holds as many units per cell as wanted_100, each time the
// unit whose move changes the stress least; returns the final stress.
SInt32 BZ_OuDoFinalMorph(const SInt32 wanted_100[kBZ_OuNumCells100], BZ_OuBin morph[kBZ_OuNumCells100]);
// Moves the unit at unitPos of morph cell `from` into cell `to`.
void BZ_OuMoveUnitValueIn10x10(BZ_OuBin morph[kBZ_OuNumCells100], SInt32 from, SInt32 to, SInt32 unitPos);
// The pairs of raster cells with opposite excesses at the smallest Manhattan distance, in scan order.
void BZ_OuSortPairsIn10x10(const SInt32 excess[kBZ_OuNumCells100], BZ_OuCellPair pairs[kBZ_OuMaxCellPairs],
                           SInt32 *numPairs);
// The unit of cell `from` whose move into cell `to` changes the stress least (the first one found wins a tie).
void BZ_OuFindBestUnitToMove10x10(const BZ_OuBin morph[kBZ_OuNumCells100], SInt32 from, SInt32 to, SInt32 *unitPos,
                                  SInt32 *stressDiff);
// For every two units in different cells: how much the morph changed their distance along each axis.
SInt32 BZ_OuCalcMorphStress(const BZ_OuBin morph[kBZ_OuNumCells100]);
// The change of that stress when the unit at unitPos of cell `from` moves into cell `to`.
SInt32 BZ_OuCalcMorphStressDiff(const BZ_OuBin morph[kBZ_OuNumCells100], SInt32 from, SInt32 unitPos, SInt32 to);

// ---- Raster geometry and bins ----

// The centre of raster cell i.
GL_FloatPt BZ_Index100toPt(SInt32 i);
// The centre of 3 by 3 cell i.
GL_FloatPt BZ_Index9toPt(SInt32 i);
// The raster cell holding the point, clamped to the raster.
SInt32 BZ_PtToIndex100(GL_FloatPt p);
// Appends index to the bin.
void BZ_OuAddIndexToBin100(BZ_OuBin bin, SInt32 index);
// Removes the entry at position unitPos (1..count), closing the gap.
void BZ_OuRemoveIndexFromBin100(BZ_OuBin bin, SInt32 unitPos);
// The number of units in the nine bins.
SInt32 BZ_OuCountBin9(const BZ_OuBin bin[kBZ_OuNumCells9]);

// ---- Trace to standard output ----

void BZ_OuPrint10x10Raster(const SInt32 speck_100[kBZ_OuNumCells100]);
void BZ_OuPrintBin9(const BZ_OuBin bin[kBZ_OuNumCells9]);
void BZ_OuPrintBin100(const BZ_OuBin morph[kBZ_OuNumCells100]);
void BZ_OuPrint3x3PtRaster(const GL_FloatPt speck_9[kBZ_OuNumCells9]);
