// Averaging of two captures: measuring the shift and the weight on sample frames. The luma of movie 1 is
// first mapped onto movie 2's distribution (the captures may differ in brightness); the horizontal shift is
// the sub-pixel minimum of line differences over shifts -8..8, the weight the one whose averaged frame is
// quietest. Buffers are padded '2vuy' working frames of `width` x `height` pixels. Stateless; any thread.
#pragma once

#include "engine/runtime/project_types.h"
#include "methods/average_lines.h"
#include "platform/core/mac_types.h"

enum : SInt32 {
  kBZ_AvNoPhase = 100,  // BZ_AvGetRelativePhase found no minimum
  kBZ_AvNumPhaseLines = 20,
};

// yTable (256 bytes) maps movie 1's luma onto movie 2's distribution, counted over the first outWidth
// pixels of 20 buffer lines from line 36, (outHeight - 72) / 20 apart (made odd).
void BZ_AvCreateHistogramMapping(SInt32 outWidth, SInt32 width, SInt32 outHeight, const UInt8 *inBuffer1,
                                 const UInt8 *inBuffer2, UInt8 yTable[256]);
// The horizontal shift of line 2 against line 1 (lines from their buffer column 0): the sub-pixel position
// of the least sum over buffer pixels 24..inWidth-9 of |yTable[luma 1 at x] - luma 2 at x - s|, s = -8..8;
// kBZ_AvNoPhase when the minimum could not be refined (at the search's edge, or no shape to fit).
float BZ_AvGetRelativePhase(SInt32 inWidth, const UInt8 *linePtr1, const UInt8 *linePtr2, const UInt8 yTable[256]);
// Sum over the line's `width` pixels of (yTable[luma 1] - luma 2).
SInt32 BZ_AvGetSignedLineDiff(SInt32 width, const UInt8 *linePtr1, const UInt8 *linePtr2, const UInt8 yTable[256]);

// The noise level (the three quietest blocks, as the frame analysis measures it) of both frames averaged
// with bestShift and curWeight, over bands of 16 lines from line 36. The inputs are not changed.
float BZ_AvGetFrameNoiseLevel(SInt32 inWidth, SInt32 width, SInt32 height, float bestShift, float curWeight,
                              float *tempLine, const UInt8 *inBuffer1, const UInt8 *inBuffer2);

// The weight search over a noise measure N(w): coarse row N(0.125 k), k = 0..8; a fine row of 9 weights
// 0.0625 apart around the coarse minimum (centre held to 0.25..0.75), moved once by 0.125 when its minimum
// lies at its edge; the sub-sample minimum of the fine row, within 0..1.
typedef float (*BZ_AvNoiseAtWeightProc)(void *refCon, float weight);
float BZ_AvSearchBestWeight(BZ_AvNoiseAtWeightProc noiseAt, void *refCon);
// The weight of movie 1 whose average at bestShift is quietest (BZ_AvSearchBestWeight over
// BZ_AvGetFrameNoiseLevel: 18 or 27 averaged frames).
float BZ_AvGetBestWeight(SInt32 inWidth, SInt32 width, SInt32 height, float bestShift, float *tempLine,
                         const UInt8 *inBuffer1, const UInt8 *inBuffer2);

// Measures one sample frame: *bestShift the robust mean of the phases of 20 lines (20 + k x step, step =
// (height - 40) / 20 made odd), *weight the square root of how many lines gave one (0 when none did: then
// *bestShift is 0 and *bestWeight 0.5, not measured), *bestWeight the best weight at *bestShift. Uses
// avParams->analysisLine; the inputs are not changed.
void BZ_GetFrameBestShiftAndWeight(const BZ_AvParams *avParams, const UInt8 *inBuffer1, const UInt8 *inBuffer2,
                                   float *bestShift, float *bestWeight, float *weight);

// The samples' results combined, each weighted by its reliability: true with *shift and *weight when the
// weights add up to more than 0 (slots with non-finite values do not count); false and both untouched
// otherwise. The shift is held to -8..8 and the weight to 0..1.
Boolean BZ_AvCombineSampleResults(const BZ_AvDlgTaskData *avDlgTaskData, float *shift, float *weight);
