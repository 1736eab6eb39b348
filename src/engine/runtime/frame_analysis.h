// Measurements on padded working frames ('2vuy', engine/runtime/project_types.h BZ_PadParams) that feed the
// automatic settings: the white line piece in a bottom line, the black bars at the four edges, the noise
// level of a frame (from its three quietest 16 x 16 blocks) and the difference between a stage's input and
// output frame with the optimal scales of the difference picture.
//
// Pixel k of a row has its chroma byte (Cb for even k, Cr for odd k) at byte 2k and its luma at 2k + 1.
// Stateless; every routine may run on any thread. The analysis tasks (engine/runtime/analysis_tasks.h) call
// them on frames that the asking stage keeps unchanged until the answer has come.
#pragma once

#include "platform/core/mac_types.h"

enum : SInt32 {
  kBZ_NumDiffGroups = 20,        // row groups of the frame difference
  kBZ_NumOptScaleBins = 16,      // bins of a difference histogram
  kBZ_NumLevel90Bins = 7,        // bins of one side of a difference histogram
  kBZ_NumMinNoiseLevels = 3,     // quietest blocks that make the noise level
  kBZ_NoNoiseLevel = 0x7FFFFFFF  // start value of the quietest-block slots
};

// ---- White line --------------------------------------------------------------------------------------------

// True when every pixel of padded columns 140 to 249 (picture columns 132 to 241) of the row has chroma
// from 98 to 158 and luma of at least 200. rowPtr is the start of the buffer row (padded column 0); the row
// holds at least 250 pixels.
Boolean BZ_IsWhiteLinePieceRow(const UInt8 *rowPtr);

// ---- Black bars ---------------------------------------------------------------------------------------------
// A row (column) is black when more than 95 % of its picture pixels, truncated (count > 95 n / 100), have
// luma below 59. The size is the number of black rows (columns) from the edge before the first one that is
// not black, at most maxHeight (maxWidth).

// buffer points to the first picture pixel of the edge row: the top picture row when fromTop, else the
// bottom one, from which the rows are walked upwards. inWidth picture pixels per row, rows 2 x width bytes
// apart.
SInt32 BZ_GetBlackBarSizeHoriz(const UInt8 *buffer, SInt32 inWidth, SInt32 width, SInt32 maxHeight,
                               Boolean fromTop);
// buffer points to the picture's top-left pixel; the columns of `height` picture rows are walked from picture
// column 0 rightwards when fromLeft, else from column inWidth - 1 leftwards. Rows 2 x width bytes apart.
SInt32 BZ_GetBlackBarSizeVert(const UInt8 *buffer, SInt32 height, SInt32 inWidth, SInt32 width, SInt32 maxWidth,
                              Boolean fromLeft);

// ---- Noise level ----------------------------------------------------------------------------------------------
// One band is 16 rows; its blocks of 16 x 16 pixels start at picture column 16, (inWidth - 40) / 16 of them.
// A block counts when its mean luma lies strictly between 48 and 208. minFrameNoiseLevel holds the three
// lowest block values met so far in ascending order (unfilled slots kBZ_NoNoiseLevel or +infinity); a lower
// value is inserted in its place and the largest drops out. linePtr is the band's first row at picture
// column 0; lineSize its row bytes.

// Integer block value: 2 x (sum over Cb of |128 Cb - sum Cb| + sum over Cr of |128 Cr - sum Cr|) + sum over Y
// of |256 Y - sum Y|, that is 65536 x (half the mean absolute deviations of Cb and Cr plus that of Y).
void BZ_GetBandNoiseLevelOpt(const UInt8 *linePtr, SInt32 inWidth, SInt32 lineSize, SInt32 *minFrameNoiseLevel);
// Always the integer kernel: it is exact, and cheap next to the rest of an analysis run.
void BZ_GetBandNoiseLevelOptUni(const UInt8 *linePtr, SInt32 inWidth, SInt32 lineSize, SInt32 *minFrameNoiseLevel);
// The same measure in floating point: 0.5 x (mean |Cb - mean Cb| + mean |Cr - mean Cr|) + mean |Y - mean Y|.
void BZ_GetBandNoiseLevel(const UInt8 *linePtr, SInt32 inWidth, SInt32 lineSize, float *minFrameNoiseLevel);

// The noise level of a padded frame (inWidth x inHeight picture, buffer `width` pixels wide, picture from row
// 16 when interlaced, else 8): bands of 16 rows from the first picture row, (inHeight - 40) / 16 of them,
// through BZ_GetBandNoiseLevelOptUni; the sum of the three lowest block values / 196608. A frame with fewer
// than three counting blocks, or whose level exceeds 40, has level 0.
float BZ_GetFrameNoiseLevel(const UInt8 *buffer, SInt32 inWidth, SInt32 inHeight, SInt32 width, Boolean interlaced);

// ---- Frame difference -------------------------------------------------------------------------------------------
// Over 20 groups of numLines rows, group g from buffer row 24 + g x numLines, each row from padded column 24
// (picture column 16) for U = (inWidth - 32) rounded down to a multiple of 16 pixels (none when inWidth < 48):
// dC = out chroma - in chroma and dY = out luma - in luma; lineDiff[g] = the group's sum of |dC| + |dY| over
// U x numLines (0 for an empty group); *numDiff = the pixels where dC or dY is not 0. With calcOptScale, dC
// and dY go into 16-bin chroma and luma histograms (bin clamp(d + 32, 0, 63) / 4) that BZ_CalcOptNoiseScale
// turns into *optScalePtrC and *optScalePtrY. inBuffer and outBuffer are the frame buffers' starts, lineSize
// their row bytes; lineDiff holds 20 floats.

void BZ_Calc20LineDiff(const UInt8 *inBuffer, const UInt8 *outBuffer, SInt32 inWidth, SInt32 lineSize,
                       SInt32 numLines, float *lineDiff, SInt32 *numDiff, Boolean calcOptScale, float *optScalePtrY,
                       float *optScalePtrC);
// SSE: sixteen pixels a step, the same sums, count and histograms (differences saturated to -128..127 before
// binning, which leaves every bin unchanged).
void BZ_Calc20LineDiffAcc(const UInt8 *inBuffer, const UInt8 *outBuffer, SInt32 inWidth, SInt32 lineSize,
                          SInt32 numLines, float *lineDiff, SInt32 *numDiff, Boolean calcOptScale,
                          float *optScalePtrY, float *optScalePtrC);
// The SSE version when gBZ.procInfo.hasSSE3, else the scalar one.
void BZ_Calc20LineDiffUni(const UInt8 *inBuffer, const UInt8 *outBuffer, SInt32 inWidth, SInt32 lineSize,
                          SInt32 numLines, float *lineDiff, SInt32 *numDiff, Boolean calcOptScale,
                          float *optScalePtrY, float *optScalePtrC);

// The pixels of a row that the frame difference reads: (inWidth - 32) rounded down to 16, at least 0.
SInt32 BZ_GetDiffLineWidth(SInt32 inWidth);

// Optimal scales of the difference picture from 16-bin histograms: each histogram's negative side (bins 6
// down to 0; bin 7 is left out) and positive side (bins 8 to 14) through BZ_CalcLevel90; L the larger of the
// two; *optScalePtrC = 12.6 / L for the chroma histogram, *optScalePtrY = 6.3 / L for the luma one.
void BZ_CalcOptNoiseScale(const UInt32 *histogramC, const UInt32 *histogramY, float *optScalePtrC,
                          float *optScalePtrY);
// The level below which 90 % of seven bins lie: 7.0 for an empty histogram, 0.9 when bin 0 alone holds more
// than 90 %, else i + (0.9 total - B) / (running sum - B) at the first bin i whose running sum exceeds
// 0.9 x total, B the running sum before bin i.
float BZ_CalcLevel90(const UInt32 *histogram);
