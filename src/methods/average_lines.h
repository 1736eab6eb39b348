// Averaging of two captures: the line kernels. Line 2 (movie 2) is shifted horizontally by a sub-pixel
// amount with 4-point Lagrange interpolation so that it lines up with line 1 (movie 1), then both are mixed
// with a weight. Lines are '2vuy' working-frame lines (Cb Y Cr Y ...; chroma at even bytes, luma at odd).
// Stateless; any thread. Each caller owns its float work line.
//
// There is no SSE version: the shift costs 4 multiplications per luma pixel and the mean 2 per byte, and the
// averaging stage gets its speed from its workers.
#pragma once

#include "platform/core/mac_types.h"

enum : SInt32 {
  kBZ_AvMaxShift = 8,        // |shift| of movie 2 in pixels that the kernels and the phase search accept
  kBZ_AvTempLineExtra = 32,  // floats of a work line beyond the line's width
  kBZ_AvBandLines = 16,      // lines of one averaged band of the weight search
};

// The averaging of one run, shared read-only by the stage's workers.
struct BZ_AvParams {
  SInt32 inWidth, inHeight;  // picture size
  SInt32 width, height;      // frame buffer size
  Boolean interlaced;
  // One float work line per worker (index = worker number), numTempLines of them, and one for the
  // distributor's measurements; each BZ_AvTempLineFloats(width) floats, 16-byte aligned, all in one
  // zeroed block (tempBlock) that the stage owns.
  float **tempLine;
  SInt32 numTempLines;
  float *analysisLine;
  void *tempBlock;
  SInt32 intShift;  // the shift split by BZ_AvGetFracShift
  float fracShift;
  float weight;  // of movie 1
  float coeff[4];
  Boolean automatic;
  SInt32 numFrames;  // frames of the run
};

// Floats of a work line for buffer lines of `width` pixels (width x 4 + 128 bytes).
SInt32 BZ_AvTempLineFloats(SInt32 width);

// Splits a shift into its integer part and a fractional part in -0.5 .. 0.5: 0.75 -> 1, -0.25; -0.75 -> -1,
// 0.25; 2.5 -> 2, 0.5. A non-finite shift gives 0, 0.
void BZ_AvGetFracShift(float shift, SInt32 *intShift, float *fracShift);
// The four Lagrange coefficients over the nodes 0..3 at x = 2 - fracShift (fracShift > 0) or 1 - fracShift,
// as BZ_AvShiftVideoLine applies them.
void BZ_GetInterpCoeff(float fracShift, float coeff[4]);

// Shifts line 2 in place so that pixel i takes what was at i - (intShift + fracShift); |intShift| at most
// kBZ_AvMaxShift, width at least 2 x kBZ_AvMaxShift. Chroma moves by whole pixel pairs (intShift rounded
// to even towards the sign of fracShift) so Cb and Cr keep their places; the pixels emptied at an edge take
// line 1's values. tempLine holds BZ_AvTempLineFloats(width) floats; its contents on entry do not matter.
void BZ_AvShiftVideoLine(SInt32 width, SInt32 intShift, float fracShift, const UInt8 *linePtr1, float *tempLine,
                         UInt8 *linePtr2, const float coeff[4]);

// Shifts line 2 in place, then out = line 2 x (1 - weight) + line 1 x weight + 0.5, truncated, for every
// byte. linePtr may be linePtr2.
void BZ_AverageLine(SInt32 width, SInt32 intShift, float fracShift, float weight, const float coeff[4],
                    UInt8 *linePtr, const UInt8 *linePtr1, float *tempLineF, UInt8 *linePtr2);
// Always BZ_AverageLine.
void BZ_AverageLineUni(SInt32 width, SInt32 intShift, float fracShift, float weight, const float coeff[4],
                       UInt8 *linePtr, const UInt8 *linePtr1, float *tempLineF, UInt8 *linePtr2);

// Averages one frame: all `height` buffer lines of `width` pixels, with worker subTaskNum's work line.
// inBuffer2 is shifted in place.
void BZ_Average(const BZ_AvParams *avParams, SInt32 subTaskNum, const UInt8 *inBuffer1, UInt8 *inBuffer2,
                UInt8 *outBuffer);

// Averages kBZ_AvBandLines lines of both movies into band (the same row bytes, width x 2): each line of
// movie 2 is copied into band, shifted there by bestShift and mixed with movie 1's line at curWeight.
// The input bands are not changed.
void BZ_AverageBand(SInt32 width, float bestShift, float curWeight, float *tempLine, const UInt8 *bandPtr1,
                    const UInt8 *bandPtr2, UInt8 *band);
