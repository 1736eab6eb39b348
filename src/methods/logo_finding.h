// Logo finding: what an analysis run of the logo stage measures on its sample frames instead of cleaning
// them. Opaque logos: a pixel stays in the mask while its luma stays bright and nearly constant. Transparent
// logos (observed = t x background + (1 - t) x logo): the five darkest and five brightest uniform
// backgrounds around the rectangle are kept with copies of the rectangle; at the end the mask, the
// transparency t and the logo's own colours follow from them.
//
// Threads: the measuring runs on the stage's distributor, one sample after the other; the finishing step on
// its collector.
#pragma once

#include "engine/tasks/pipeline_types.h"
#include "methods/logo_params.h"
#include "platform/core/mac_types.h"

// One sample frame (dlgTaskInput->inBuffer), opaque logo: the five smallest and largest luma values of each
// pixel still in the mask (entry 0 of yValues) are updated; a pixel leaves the mask for good once its largest
// and smallest differ by 71 or more or its smallest is 79 or less.
void BZ_FindNonTrLogo(BZ_RlParams *rlParams, const BZ_DlgTaskInput *dlgTaskInput);
// One sample frame, transparent logo: a frame with a uniform enough ring around the logo enters the lists
// of darkest and brightest backgrounds; sufficientData, goodData and veryGoodData follow.
void BZ_FindTrLogo(BZ_RlParams *rlParams, const BZ_DlgTaskInput *dlgTaskInput);

// Mean luma of the ring around the logo and the mean absolute deviation from it; means of its Cb and Cr.
void BZ_RlTrGetAvY(SInt32 width, SInt32 vStep, const UInt8 *frame, const Rect *logoRect, float *averageY,
                   float *stddev);
void BZ_RlTrGetAvC(SInt32 lineSize, SInt32 vStep, const UInt8 *frame, const Rect *logoRect, float *avCb, float *avCr);
// Copies logoHeight rows of 2 x logoWidth bytes, lineSize apart from linePtr on, into the compact logoPtr.
void BZ_RlTrCopyLogoToMiniBuffer(SInt32 lineSize, UInt8 *logoPtr, const UInt8 *linePtr, SInt32 logoHeight,
                                 SInt32 logoWidth);

// After the last sample (collector): the results into the logo method's state and the settings, 2012 for a
// transparent logo, 2011 (and the wait for the main thread) for a found mask, then the run's end to the main
// task. 5015 with transparency 0.7 when the backgrounds differ too little or no pixel qualifies.
// The stage's semaphore and event serve the wait; endQueue takes the end message.
OSStatus BZ_RlFinishAutoSettCalc(BZ_ProjDlgState *dlgState, BZ_ProjPtr project, BZ_RlParams *rlParams,
                                 BZ_BuffInfo *stage, MPQueueID endQueue);

// Waits on the stage's semaphore for the main thread's part (events 2010 and 2011); a stop of the run ends
// the wait with userCanceledErr, so a cancel never leaves the stage waiting.
OSStatus BZ_RlWaitForMainThread(BZ_BuffInfo *stage);

// Mask (with findMask) and transparency from the backgrounds, then the logo colours. *numRealLogoPixels the
// mask pixels. kBZ_CouldNotMeasureTrLogoErr when no pixel qualifies.
OSStatus BZ_RlTrGetLogoMask(BZ_RlParams *rlParams, SInt32 *numRealLogoPixels);
// The share of the background change that shows through at each pixel of the rectangle (ratio(p)).
void BZ_RlTrGetRatios(const UInt8 *logosPtr, SInt32 logoHeight, SInt32 logoWidth, const BZ_RlUnifFrame *unifFrames,
                      float *ratios);
// Mask candidates (ratio below 0.8), too transparent ones dropped; *perc the kept pixels' mean ratio. false when
// no pixel qualifies (mask and count cleared).
Boolean BZ_RlTrCalcMaskAndPercNew(const UInt8 *logosPtr, SInt32 logoHeight, SInt32 logoWidth,
                                  const BZ_RlUnifFrame *unifFrames, UInt8 *isMaskPixel, SInt32 *numRealLogoPixels,
                                  double *perc);
// The transparency over an existing mask; false (perc unchanged) when the mask is empty.
Boolean BZ_RlTrCalcPerc(const UInt8 *logosPtr, SInt32 logoHeight, SInt32 logoWidth, const BZ_RlUnifFrame *unifFrames,
                        const UInt8 *isMaskPixel, double *perc);
// The earlier form of the mask finding: each pixel's ratio is the mean of the five pair ratios
// (Y_p(k) - Y_p(k + 5)) / (avY(k) - avY(9 - k)); candidates and kept pixels as in the form above.
Boolean BZ_RlTrCalcMaskAndPerc(const UInt8 *logosPtr, SInt32 logoHeight, SInt32 logoWidth,
                               const BZ_RlUnifFrame *unifFrames, UInt8 *isMaskPixel, SInt32 *numRealLogoPixels,
                               double *perc);
// Orders two BZ_RlUnifFrame by avY, ascending: -1, 0, 1.
int BZ_RlCompareUnifFrame(const void *a, const void *b);
// The location of neighbour i (0-2 the row above, columns -1..+1; 3 left; 4 right; 5-7 the row below) of
// pixelLoc; (10000, 10000) for another number. The EO form takes rows two lines apart (the same field) and
// gives (0, 0) for another number.
Point BZ_RlNeighborNumToLoc(Point pixelLoc, SInt32 i);
Point BZ_RlNeighborNumToLocEO(Point pixelLoc, SInt32 i);
// The window around logo pixel (row i, column j) of an odd size from 5 up, rows hStep apart, that holds at least
// 32 source pixels (outside the rectangle, or not mask pixels; without a mask only those outside); the largest
// window the frame allows when none does. BZ_RlGetSrcFrame: that window's rows and columns, clipped to hStep
// rows above and below the rectangle (the row parity kept) and one column left and right of it.
SInt32 BZ_GetSourceFrameSize(const UInt8 *isMaskPixel, SInt32 i, SInt32 j, SInt32 logoHeight, SInt32 logoWidth,
                             SInt32 hStep);
void BZ_RlGetSrcFrame(SInt32 i, SInt32 j, SInt32 size, SInt32 logoHeight, SInt32 logoWidth, SInt32 hStep,
                      Rect *frame);
// The logo's own colours of the mask pixels: the rounded means over the ten copies of the un-blended values, t
// held to 0.01 .. 0.99. left: the rectangle's left column (chroma kind).
void BZ_RlTrCalcLogoPixels(const UInt8 *logosPtr, SInt32 left, SInt32 logoHeight, SInt32 logoWidth,
                           const BZ_RlUnifFrame *unifFrames, const UInt8 *isMaskPixel, double perc,
                           UInt8 *logoPixels);
