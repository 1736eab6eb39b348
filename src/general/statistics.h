// Statistics and array routines: robust averages, minimum and maximum searches with sub-sample refinement,
// searches in arrays and sorted lists, float comparisons, clamps, three-sample medians, rounding, histogram
// peaks, bit counts, pixel weights of a disc and a byte checksum. Stateless; every routine may run on any
// thread. Optional out-parameters are written only when given (NULL means not wanted). An index result of
// -1 means that there is no such element.
#pragma once

#include "general/geometry.h"
#include "general/integer_ratios.h"
#include "platform/core/mac_types.h"

// ---- Robust averages ------------------------------------------------------------------------------------

// Mean of the values without invalid samples (greater than the largest float, i.e. +infinity; NaN counts as
// invalid too) and without outliers (farther than twice the mean absolute deviation d from the first mean,
// d at least 0.0001). stdDev receives the mean |x - first mean| over the kept values; outliers one flag per
// value (1 for invalid or dropped). No valid value: result 0, *stdDev 0 and the flags untouched.
float GL_GetAverageNoOutliers(const float *value, SInt32 numValues, float *stdDev, Boolean *outliers);
// Mean and mean absolute deviation; no values gives NaN for both.
void GL_GetAverageF(const float *value, SInt32 numValues, float *avValue, float *stdDev);
void GL_GetAverageL(const SInt32 *value, SInt32 numValues, float *avValue, float *stdDev);

// ---- Minimum and maximum --------------------------------------------------------------------------------

// One pass; the first occurrence wins on ties. The running minimum starts at the type's greatest value and
// the maximum at its least, and an index stays -1 when no element passes its start value (an array of only
// 255 bytes reports minimum 255 at index -1; NaN never passes): callers must check the index before using it.
void GL_GetArrayMinMaxU8(SInt32 arraySize, const UInt8 *numberArray, UInt8 *min, UInt8 *max, SInt32 *minIndex,
                         SInt32 *maxIndex);
void GL_GetArrayMinMaxS16(SInt32 arraySize, const SInt16 *numberArray, SInt16 *min, SInt16 *max, SInt32 *minIndex,
                          SInt32 *maxIndex);
void GL_GetArrayMinMaxS32(SInt32 arraySize, const SInt32 *numberArray, SInt32 *min, SInt32 *max, SInt32 *minIndex,
                          SInt32 *maxIndex);
void GL_GetArrayMinMaxF32(SInt32 arraySize, const float *numberArray, float *min, float *max, SInt32 *minIndex,
                          SInt32 *maxIndex);
void GL_GetArrayMinMaxF64(SInt32 arraySize, const double *numberArray, double *min, double *max, SInt32 *minIndex,
                          SInt32 *maxIndex);
// Minimum and maximum of three bytes.
void GL_GetMinMaxFrom3_U8(const UInt8 *array, UInt8 *min, UInt8 *max);

// Fractional position and value of the array's minimum; true when a fit refined it. An unrefined result is
// the minimum's index as float (-1 when no element is below +infinity) and the array minimum.
Boolean GL_GetArrayMinimumF_Ext(SInt32 arraySize, const float *values, float *minArg, float *minValue);
// Refines the minimum of five values centred on the smallest (values[2]); true when the shape allowed a fit,
// even if the fit then failed (position 2 and values[2] are kept in that case).
Boolean GL_RefineMinFromArrayF(const float *values, float *minArg, float *bestMin);
// Best minimum of four-point fits over 4..16 values whose vertex lies well inside its window; *minX is its
// position x0 + p*dx. +infinity (and *minX untouched) when none qualified or the count is out of range.
float GL_GetMinFromArrayF(float x0, float dx, const float *values, SInt32 numValues, float *minX);

// ---- Curves ---------------------------------------------------------------------------------------------

// The inner point of pts[minIndex..maxIndex] farthest from the chord pts[minIndex]-pts[maxIndex]: its distance
// *maxDist, its index *newIndex (the first of equal distances), the side *sign (+1 or -1) and the chord's
// length *len. Without an inner point: *newIndex 0, *maxDist 0, *sign 1, *len untouched. When the chord's
// ends coincide (*len 0) the distance is measured to that point instead.
void GL_GetMaxChordDistance(const GL_FloatPt *pts, SInt32 minIndex, SInt32 maxIndex, float *maxDist,
                            SInt32 *newIndex, float *len, float *sign);
// Corner points of the polyline pts[minIndex..maxIndex]: recursively splits at the point farthest from the
// chord while that point lies more than 1.0 from it and splitting gains more than minPercGain of the
// distance. Call with level 0, maxDist above 1 (2.0), newIndex -1, len 0, sign 0, *numAngPts 0, and
// pixelList as scratch of 2 x maxNumAngPts entries. On return *angPts and *ratios (owned, free with free();
// NULL when no corner was found) hold the *numAngPts corner indexes in ascending order and their signed
// distances relative to their chord's length (a chord whose ends coincide counts as one unit long).
// memFullErr (nothing returned) when the arrays cannot be allocated.
OSStatus GL_SubdivideCurve(const GL_FloatPt *pts, SInt32 level, SInt32 minIndex, SInt32 maxIndex, float maxDist,
                           SInt32 newIndex, float len, float sign, float minPercGain, SInt32 maxNumAngPts,
                           SInt32 *numAngPts, SInt32 **angPts, float **ratios, SInt32 *pixelList);

// ---- Searches and tests ---------------------------------------------------------------------------------

// Linear search from the front; *index (set to -1 first) receives the first equal element's position.
Boolean GL_IsOSTypeInArray(OSType type, SInt16 arraySize, const OSType *array, SInt32 *index);
Boolean GL_IsNumberInArrayS16(SInt16 number, SInt16 arraySize, const SInt16 *numberArray, SInt32 *index);
Boolean GL_IsNumberInArrayS32(SInt32 number, SInt32 arraySize, const SInt32 *numberArray, SInt32 *index);
// Bisection in an ascending list: an index of an equal element (the later one of duplicates), else -1.
SInt32 GL_FindIndexInSortedListS32(SInt32 numValues, const SInt32 *valueList, SInt32 value);
SInt32 GL_FindIndexInSortedListF32(SInt32 numValues, const float *valueList, float value);
// No value occurs twice (true for fewer than two values).
Boolean GL_AllValuesInArrayUniqueS32(SInt32 numValues, const SInt32 *values);
// All arraySize entries equal (true for 0).
Boolean GL_EqualArrayS32(SInt32 arraySize, const SInt32 *array1, const SInt32 *array2);
// The values are min, min + 1, ..., min + arraySize - 1 in any order.
Boolean GL_ArrayNumbersAreConsecutive(SInt16 arraySize, const SInt16 *numberArray);
// begin <= value <= end.
Boolean GL_IsNumberInInterval(SInt32 begin, SInt32 value, SInt32 end);

// ---- Comparisons, clamps, medians, rounding -------------------------------------------------------------

// |x - y| < absDiff.
Boolean GL_FloatsEqualByAbsDiff(float x, float y, float absDiff);
// |x - y| < perc * max(|x|, |y|).
Boolean GL_FloatsEqualByPerc(float x, float y, float perc);
// y lies outside (1 - percentage) x .. (1 + percentage) x. Needs x > 0, y >= 0 and 0 <= percentage <= 1;
// otherwise false with *error paramErr. *error is noErr on valid input.
Boolean GL_Diff(float x, float y, float percentage, OSStatus *error);
// 1 - min(r, 1/r) for r = f1 / f2; 1 when r < 0.
float GL_FloatPercDiff(float f1, float f2);
// GL_FloatPercDiff of the two ratios taken as floats.
float GL_LongRatioPercDiff(const GL_LongRatio *x, const GL_LongRatio *y);

// Raise to min, then lower to max (max wins when min > max).
void GL_ClampIntToBounds(int min, int max, int *value);
void GL_ClampShortToBounds(SInt16 min, SInt16 max, SInt16 *value);
void GL_ClampFloatToBounds(float min, float max, float *value);

// How far the middle sample y2 sticks out of the range of y1 and y3, with sign (0 inside).
SInt32 GL_GetAntiMedianValue3(UInt8 y1, UInt8 y2, UInt8 y3);
// y2 clamped to the range of y1 and y3 (the median of the three).
UInt8 GL_GetMedianFilteredValue3_U8(UInt8 y1, UInt8 y2, UInt8 y3);

// Truncation toward zero, an odd result moved one step away from zero (2.7 -> 2, 3.2 -> 4, -3.2 -> -4).
// Values beyond the 32-bit range saturate; NaN gives 0.
SInt32 GL_RoundToEven(float x);
// Truncation n of thisFloat, or n + 1 when thisFloat lies within tolerance of it.
SInt32 GL_RoundDownFloatToNearestInteger(float thisFloat, float tolerance);
// p = 2^basePower (1 when basePower < 1, at most 2^30), doubled while 2p <= number; *result = p and
// *remainder = number modulo p.
void GL_RoundToPowerOf2(SInt16 basePower, SInt32 number, SInt32 *result, SInt32 *remainder);

// ---- Histograms, bits, logarithms -----------------------------------------------------------------------

// Finds, from *domainPosition on, the next stretch of *peakWidth neighbouring histogram entries whose sum
// reaches the threshold (minPeakSize, or when 0 the fraction minPeakSizeAsPercentageOfTotal of the sum over
// the domain) and stops where the sum starts to fall. *peakSize is the peak's sum (0 when none). With
// findMinimalPeakWidth the window is then narrowed to the smallest width still reaching the threshold,
// returned in *peakWidth. *domainPosition must lie within domainStart..domainEnd (else *peakSize is 0).
void GL_GetNextPeak(SInt32 domainStart, SInt32 domainEnd, const SInt32 *valueList, SInt32 *domainPosition,
                    SInt32 *peakWidth, Boolean findMinimalPeakWidth, SInt32 minPeakSize,
                    Fixed minPeakSizeAsPercentageOfTotal, SInt32 *peakSize);
// Smallest n with 2^n > maxValue (0 for 0, 32 from 2^31 on).
SInt32 GL_GetNumBitsFromMaxValue(UInt32 maxValue);
// Bits needed for values from minValue to maxValue, a sign bit included when minValue < 0.
SInt32 GL_GetNumBitsFromMaxMinValue(SInt32 maxValue, SInt32 minValue);
double GL_Log2(double x);
// Floor of log2 m; 0 for m <= 1.
SInt16 GL_IntLog2(SInt32 m);

// ---- Pixel weights of a disc, checksum ------------------------------------------------------------------

// weights (squareSize^2 floats, row by row): the fraction of each pixel inside the disc of the given area
// centred in the square, sampled at 100 x 100 points per pixel; weights below minWeight become 0.
// *numNonZero and *weightSum count and sum the others.
void GL_GetPixelWeightsInCircle(SInt32 squareSize, float area, float minWeight, float *weights, SInt32 *numNonZero,
                                float *weightSum);
// weights (squareSize^2 floats, row by row): exact covered fraction of each pixel by the disc inscribed in
// the square. Meant for even sizes; for an odd size the middle row and the last column are not written.
void GL_GetPixelWeightsInCircle2(SInt32 squareSize, float *weights);
// Checksum of the bytes (taken as signed) mixing sums over every, every 2nd, 3rd and 5th byte.
SInt32 GL_CalcCheckSum(const char *ptr, SInt32 size);
