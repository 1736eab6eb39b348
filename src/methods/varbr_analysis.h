// The analysis of varying brightness: from the brightness ratio of every frame (or field) to the one before,
// an absolute brightness curve, its alternating maxima and minima found with a neighbourhood that adapts to
// the period, a check that the variation is regular, and for every sample the factor that lifts it to the
// envelope through the maxima. All but BZ_VbEvaluateResult are plain functions on arrays of n samples.
//
// A run of an index list (minIndex or maxIndex, entry i the position of the extremum of the window
// i ... i + r - 1) is a stretch of equal entries; it qualifies when it is at least r long, which marks an
// extremum over its position +- (r - 1).
#pragma once

#include "methods/varbr.h"
#include "platform/core/mac_types.h"

// The automatic-settings stage of varying brightness (the dialog's bit).
enum : UInt32 { kBZ_VbAutoSettStage = 2 };
// The project dialog's items for the period (seconds) and the amplitude (per cent).
enum : SInt16 { kBZ_VbPeriodItem = 2402, kBZ_VbAmplitudeItem = 2405 };

// Replaces ratios farther than 3 mean absolute deviations from their mean (relBr[0 ... n - 2]) by a line
// between the good neighbours; a bad stretch at the very end stays.
void BZ_VbCorrectRelBrOutliers(float *relBr, SInt32 numFactors);
// From indexStart: the first run of index (entries below n - r only) that qualifies, or the run current
// where the walk ended (then *curLen < range). *indexEnd is one past a qualifying run that ended before the
// limit, else the last entry looked at.
void BZ_GetNextConstIndexInterval(SInt32 numFactors, SInt32 range, const SInt32 *index, SInt32 *indexStart,
                                  SInt32 *indexEnd, SInt32 *curLen);
// The first qualifying runs of both lists and which kind is to be searched next (*findNextMax when the max
// came first).
void BZ_VbStartMinMaxRangeSearch(SInt32 numFactors, SInt32 range, const SInt32 *minIndex, const SInt32 *maxIndex,
                                 Boolean *findNextMax, SInt32 *minIndexStart, SInt32 *minIndexEnd, SInt32 *curMinLen,
                                 SInt32 *maxIndexStart, SInt32 *maxIndexEnd, SInt32 *curMaxLen);
// Fills minIndex and maxIndex (n entries each; those below n - range written) for the neighbourhood range and
// returns its score: the summed lengths of the alternating qualifying runs (0 when none alternate).
SInt32 BZ_VbFindNumMinMaxIndexesForRange(const double *absBr, SInt32 numFactors, SInt32 range, SInt32 *minIndex,
                                         SInt32 *maxIndex);
// The alternating extrema of the lists made for maxRange: their positions into minMaxIndex and values into
// minMax (n entries each), in increasing order. Returns their number.
SInt32 BZ_VbGetMinMax(const double *absBr, SInt32 numFactors, SInt32 maxRange, const SInt32 *maxIndex,
                      const SInt32 *minIndex, float *minMax, SInt32 *minMaxIndex);
// Where the spacing of two extrema is more than 3 mean deviations off, inserts the missing pairs: extrema
// found between them (stable runs of the lists) or evenly spaced positions. minMaxIndex holds n entries and
// never takes more.
void BZ_VbCorrectMinMaxOutliers(const double *absBr, SInt32 numFactors, SInt32 range, const SInt32 *minIndex,
                                const SInt32 *maxIndex, SInt32 *numMinMax, SInt32 *minMaxIndex);
// The next position of a qualifying run of indexList strictly between index1 and index2, searched from
// *startIndex (which moves past it); 0 when there is none.
SInt32 BZ_VbGetNextIndexBetweenMinMax(const SInt32 *indexList, SInt32 numFactors, SInt32 range, SInt32 index1,
                                      SInt32 index2, SInt32 *startIndex);
// Mean relative amplitude ((hi - lo) / 2 / hi) and mean spacing of consecutive extrema, with their mean
// absolute deviations.
void BZ_VbGetAvPeriodAmpl(SInt32 numMinMax, const float *minMax, const SInt32 *minMaxIndex, float *avAmpl,
                          float *amplStddev, float *avPeriod, float *avPeriodStddev);
// Removes the drift of the curve: the mean of the growth rates between the first and last extrema of each
// kind, divided out.
void BZ_VbRescaleAbsBr(double *absBr, SInt32 numFactors, SInt32 numMinMax, const SInt32 *minMaxIndex);
// Smooths the curve with a cubic Savitzky-Golay window of about a quarter period (5, 7 or 9 samples); a
// quarter period of 4 samples or fewer is left alone.
void BZ_VbSmoothenAbsBr(double *absBr, SInt32 numFactors, SInt32 numMinMax);
// vbFactors[i] = the envelope through the maxima at i over absBr[i] (n entries).
void BZ_CalcVbFactors(const double *absBr, float *vbFactors, SInt32 numFactors, SInt32 numMinMax,
                      const SInt32 *minMaxIndex);

// The whole analysis of n = numFactors samples from their n - 1 ratios (relBr is corrected in place): the
// factors into vbFactors (n entries), the mean extremum spacing in samples and the mean relative amplitude.
// 5023 (no regular period) when n <= 8, fewer than 4 extrema are found or the variation is irregular (vbFactors
// is then left as it was); memFullErr.
OSStatus BZ_VbCalcFactorTable(float *relBr, SInt32 numFactors, float *vbFactors, float *avPeriod, float *avAmpl);

// After the measuring run: the factor table of the field order made from vbParams->relBr and stored in the
// analysis record, replacing (and freeing) the one before; the period (seconds) and amplitude (per cent)
// sent to the dialog. On 5023 (or memFullErr) the stored table stays as it was.
OSStatus BZ_VbEvaluateResult(BZ_VbParams *vbParams);
