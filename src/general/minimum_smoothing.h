// Small least-squares fits on equidistant samples in single precision: sub-sample refinement of a minimum
// or maximum found on a grid, polynomial fits, the Savitzky-Golay smoothing filter, a plane fit to a pixel
// block, a 2 x 2 solver and a straight line through integer samples. Sample i lies at x = i; a parabola is
// (a, b, c) meaning y = a + b*x + c*x^2. No state; every routine may run on any thread.
//
// All fits drop singular values below 1e-5 times the largest before back-substitution.
#pragma once

#include "general/least_squares.h"
#include "platform/core/mac_types.h"

// Largest window (samples) and number of coefficients of NR_FitPolyLS and NR_GetSavitzkiGolayFilter.
enum : SInt32 { kNR_MaxPolyFitSize = 16 };

// Least-squares parabola through 5, 7 or 4 values at x = 0..n-1; no failure, the outputs are always written.
void NR_FitPieceOfParabolaTo5(const float *values, float *aOut, float *bOut, float *c);
void NR_FitPieceOfParabolaTo7(const float *values, float *aOut, float *bOut, float *c);
void NR_FitPieceOfParabolaTo4(const float *values, float *aOut, float *bOut, float *c);
// The same through NR_FitPolyLS: a[0..2] = a, b, c. NR_FitPolyLS's result.
OSStatus NR_FitPieceOfParabolaTo5_new(const float *values, float *a);
OSStatus NR_FitPieceOfParabolaTo7_new(const float *values, float *a);
OSStatus NR_FitPieceOfParabolaTo4_new(const float *values, float *a);
// Value of the five-point parabola at x = 2.
float NR_GetCenterValueOf5(const float *values);

// Vertex of the parabola fitted to 5 (4) values when it lies within 0..4 (0..3): 0, or kNR_NoClearExtrErr for
// a flat fit or a vertex outside, with the position clamped to the range. minArg and minValue may be NULL;
// both are written also on kNR_NoClearExtrErr, where callers must not use them. A downward-opening
// parabola yields its top.
OSStatus NR_GetMinimumFrom5(const float *globalDiff, float *minArg, float *minValue);
OSStatus NR_GetMinimumFrom4(const float *globalDiff, float *minArg, float *minValue);
// Vertex of the seven-point parabola without any test (a flat fit gives an infinite or NaN position).
void NR_GetMinimumFrom7(const float *values, float *minArg, float *minValue);
// Sub-sample maximum of an array from the parabola through its largest value and its neighbours:
// 0, or kNR_NoClearExtrErr (no usable peak; nothing written). maxValue and maxArg may be NULL.
OSStatus NR_GetArrayMax(const float *values, SInt32 numValues, float *maxValue, float *maxArg);

// Least-squares polynomial with m coefficients through (i, values[i]), i = 0..n-1: a[k] is the coefficient
// of x^k. 0, kNR_NoSVDConvergenceErr, memFullErr when its work blocks cannot be allocated, or paramErr for
// NULL arrays or n, m outside 1..16.
OSStatus NR_FitPolyLS(const float *values, SInt32 n, float *a, SInt32 m);
// filter[0..n-1]: Savitzky-Golay weights of a window of n samples for a polynomial of m coefficients;
// weight j applies to the sample j places after the window start and the sum gives the smoothed value at
// the window centre. Results as NR_FitPolyLS; on a failure filter[0..j-1] are written and the rest untouched.
OSStatus NR_GetSavitzkiGolayFilter(float *filter, SInt32 n, SInt32 m);
// Plane a[1] + a[2]*x + a[3]*y fitted to the pixels of a block five pixels wide whose positions k (x = k mod 5,
// y = k div 5) are selected by bit k of mask; a holds 4 floats (a[0] unused). diff[k] receives the rounded
// residual of each selected position (32 entries, others untouched) and chisq the sum of squared residuals
// over noiseLevel^2. 0, kNR_NoSVDConvergenceErr (nothing written), or paramErr for NULL arrays, no or more
// than 31 selected positions, or a noise level that is not positive.
OSStatus NR_FitGradient2D(const UInt8 *data, UInt32 mask, float noiseLevel, float *a, SInt32 *diff, float *chisq);
// Solves the 2 x 2 system a * x = b in place (1-based: a[1..2][1..2], b[1..2]); a receives its LU factors and
// b the solution. 0, or kNR_SingMatrixErr, in which case a zero pivot was replaced by 1e-20 and the
// solution still completed.
OSStatus NR_SolveLinEq2(float (*a)[3], float *b);
// Straight line a + b*x through integer samples at x = 0..ndata-1 and the mean absolute deviation from it.
// One sample gives the flat line through it, none gives zeros.
void NR_fitEquiDistInts(const SInt32 *y, SInt32 ndata, float *a, float *b, float *avDiffY);
