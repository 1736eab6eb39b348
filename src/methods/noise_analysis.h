// The automatic noise settings: in an analysis run at the noise automatic-settings stage, each sample frame's
// noise level per channel (Y, Cb, Cr) is measured from the quietest blocks of the measuring rectangle, in the
// form the chosen filter uses (16 x 16 and 8 x 8 blocks for the two-dimensional filter, 16- and 8-sample
// vectors along a line for the horizontal one, 16 lines down a byte column for the vertical one), and their
// power spectra are summed into the sample's row of the dialog data's spectra. After the last sample the
// levels are averaged without outliers into the settings (and shown in items 2153 .. 2155), the spectra of
// the samples kept are averaged into row 0, and the main thread is asked to draw the spectrum (event 2016).
//
// Units: a level L stands for the power of uniform noise of amplitude L (the random tables' amplitude 39
// gives 39). A block is usable when its mean lies in 48 .. 208 (exclusive); a frame with fewer than 10 % usable
// blocks in a channel measures +infinity there, and a channel whose samples are all +infinity keeps its
// previous level, equalisation level and spectrum.
//
// Threads: the frame measurements run in the stage's task 1, one frame at a time; the result runs once in
// task 2 after the last sample. They share the per-sample arrays in that order only.
#pragma once

#include "engine/runtime/project_types.h"
#include "methods/noise_params.h"
#include "platform/core/mac_types.h"

// Blocks whose noise is summed per frame and channel.
constexpr SInt32 kBZ_RnQuietBlocks = 10;
// Entries of each indNoiseLevels array.
constexpr SInt32 kBZ_RnMaxMeasuredBlocks = 1000;
// The dialog's items of the measured levels: Y, then Cb and Cr.
constexpr SInt16 kBZ_RnNoiseLevelItemY = 2153;

// The filter kind the settings choose: two-dimensional (both directions), horizontal, vertical, none.
enum BZ_RnFilterKind : SInt32 { kBZ_RnKindNone = 0, kBZ_Rn2DKind, kBZ_RnHorizKind, kBZ_RnVertKind };
BZ_RnFilterKind BZ_RnGetFilterKind(const BZ_Rn_Sett *sett);

// Measures one sample frame (dlgTaskInput->inBuffer, sample realArrayNum) into the per-sample levels
// gBZ.dlgTaskData.noiseLevel[c][sample] and the sample's spectrum rows; only when calcAutoSett is 4.
// paramErr without the run's arrays or for a sample index outside 0 .. 9.
OSStatus BZ_RnFindFrameBestSett(const BZ_RnParams *rnParams, const BZ_DlgTaskInput *dlgTaskInput);
// One frame, all channels, by filter kind; noiseLevel gives the three destinations (Y, Cb, Cr).
void BZ_RnGetFrame2DNoiseLevel(const BZ_RnParams *rnParams, const UInt8 *inBuffer, SInt32 realArrayNum,
                               float *const *noiseLevel);
void BZ_RnGetFrameHorizNoiseLevel(const BZ_RnParams *rnParams, const UInt8 *inBuffer, SInt32 realArrayNum,
                                  float *const *noiseLevel);
void BZ_RnGetFrameVertNoiseLevel(const BZ_RnParams *rnParams, const UInt8 *inBuffer, SInt32 realArrayNum,
                                 float *const *noiseLevel);

// Screening of one block: blockPtr at the block's top-left pixel pair; channelOffset 0 Cb, 2 Cr (the chroma
// versions; the vertical one takes the byte 1 Y, 0 Cb, 2 Cr of the pair). The entry gets index and the sum
// of the power bins and *numUsable rises when the block's mean lies in 48 .. 208, else its level is
// +infinity.
void BZ_RnCalcBlockNoisePower256Y(const BZ_RnParams *rnParams, const UInt8 *blockPtr, BZ_IndexedNoiseLevel *entry,
                                  SInt32 blockIndex, SInt32 *numUsable);
void BZ_RnCalcBlockNoisePower64C(const BZ_RnParams *rnParams, const UInt8 *blockPtr, SInt32 channelOffset,
                                 BZ_IndexedNoiseLevel *entry, SInt32 blockIndex, SInt32 *numUsable);
void BZ_RnCalcBlockNoisePower16H(const BZ_RnParams *rnParams, const UInt8 *blockPtr, BZ_IndexedNoiseLevel *entry,
                                 SInt32 blockIndex, SInt32 *numUsable);
void BZ_RnCalcBlockNoisePower8C(const BZ_RnParams *rnParams, const UInt8 *blockPtr, SInt32 channelOffset,
                                BZ_IndexedNoiseLevel *entry, SInt32 blockIndex, SInt32 *numUsable);
void BZ_RnCalcBlockNoisePower16V(const BZ_RnParams *rnParams, const UInt8 *blockPtr, SInt32 channelOffset,
                                 BZ_IndexedNoiseLevel *entry, SInt32 blockIndex, SInt32 *numUsable);

// The level of one channel from its screened entries (sorted here): the mean matching level of the (at most
// 10) quietest usable blocks, whose power bins (and, two-dimensional, first row and column bins) are summed
// into spectr (and addSpectr), both cleared first. +infinity with fewer than 10 % usable blocks or none.
// numBlocks entries of entries are used; selRect is the measuring rectangle in buffer coordinates.
void BZ_RnGetFrame2DNoiseLevelY_FromLowest10(const BZ_RnParams *rnParams, const UInt8 *buffer, BZ_IndexedNoiseLevel *entries,
                                             SInt32 numBlocks, SInt32 numUsable, float *spectr, float *addSpectr,
                                             float *level);
void BZ_RnGetFrame2DNoiseLevelC_FromLowest10(const BZ_RnParams *rnParams, const UInt8 *buffer, SInt32 channelOffset,
                                             BZ_IndexedNoiseLevel *entries, SInt32 numBlocks, SInt32 numUsable,
                                             float *spectr, float *addSpectr, float *level);
void BZ_RnGetFrameNoiseLevel16H_Y_FromLowest10(const BZ_RnParams *rnParams, const UInt8 *buffer,
                                               BZ_IndexedNoiseLevel *entries, SInt32 numBlocks, SInt32 numUsable,
                                               float *spectr, float *level);
void BZ_RnGetFrameNoiseLevel8C_FromLowest10(const BZ_RnParams *rnParams, const UInt8 *buffer, SInt32 channelOffset,
                                            BZ_IndexedNoiseLevel *entries, SInt32 numBlocks, SInt32 numUsable,
                                            float *spectr, float *level);
void BZ_RnGetFrameNoiseLevel16V_FromLowest10(const BZ_RnParams *rnParams, const UInt8 *buffer, SInt32 channelOffset,
                                             BZ_IndexedNoiseLevel *entries, SInt32 numBlocks, SInt32 numUsable,
                                             float *spectr, float *level);

// The level of uniform noise whose random table (4, 8, 16 or 64 bins) has the measured total power:
// 39 x sqrt(P / T). *nonRandomNess = sum over bins of |table x P / T - measured| / P (0 for P = 0).
// +infinity when the table holds no power (not built).
float BZ_RnGetMatchingRandomNoiseLevel(const BZ_RnParams *rnParams, const float *mm, SInt32 numNoiseValues,
                                       float *nonRandomNess);

// The result after the last sample (task 2): levels into the settings and the dialog, equalisation levels,
// averaged spectra, then event 2016 with a copy of *rnParams. Nothing with calcAutoSett 8. A channel without
// a finite sample keeps its previous values (restored from savedSpectra) and is reported in a trace line.
// Returns the first failing post.
OSStatus BZ_RnBestSettingsCalcResult(const BZ_RnParams *rnParams);
// Row 0 of noiseSpectr (rows of spectrumSize floats) becomes the mean of the rows 0 .. numRealSamples - 1
// not flagged in outliers. false (and row 0 untouched) when every row is flagged.
Boolean BZ_CalcAverageNoiseSpectrum(SInt32 numRealSamples, const Boolean *outliers, float *noiseSpectr,
                                    SInt32 spectrumSize);

// Allocates the run's measuring arrays (indNoiseLevels, 3 x 1000 entries, and savedSpectra, a copy of row 0
// of the spectra of the filter kind measured, with the equalisation levels); owned, BZ_RnFree releases them.
// memFullErr.
OSStatus BZ_RnAllocMeasuring(BZ_RnParams *rnParams, const BZ_RnDlgTaskData *rnDlgTaskData);
