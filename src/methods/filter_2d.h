// The two-dimensional spectral noise filter, used when both the horizontal and the vertical setting are on.
// Every 2 x 2 group of luma pixels is rebuilt from the 16 x 16 luma block around it, every pair of Cb (or Cr)
// samples on two lines from the 8 x 8 block of that component around it: the block minus its mean is
// transformed with the windowed bases (T = each row times M16, S = M16 x T; M8 for chroma), each 2 x 2
// coefficient group is multiplied by max(P - N, 0) / max(P, 2^-16) against nn2D, the first coefficient row
// and column bin by bin against nn2Dadd (the DC passes), and only the centre rows and columns are
// transformed back (M16inv, M8inv) and clamped to 1 .. 254.
//
// Geometry (buffer coordinates, W x H the padded size): luma groups at odd x = 7 .. W - 9 and odd
// y = 7 .. H - 9 (pixels x, x + 1 of lines y, y + 1); Cb and Cr pairs of pixel pairs q, q + 1 for odd
// q = 3 .. W/2 - 5 on the same line pairs, their blocks the pairs q - 3 .. q + 4 of lines y - 3 .. y + 4. An
// interlaced frame is filtered as one picture. Only the picture (pixels 8 .. inWidth + 7, lines
// 8f .. inHeight + 8f - 1, f = 2 when interlaced) of the output is written; the stage pads the margins.
//
// Kernels: BZ_Rn2DFilter is the plain scalar reference; BZ_Rn2DFilterAcc (filter_2d_sse.cpp) filters four
// neighbouring groups at once, one per lane, each lane summing in the scalar order and dividing as the
// scalar does, so the two differ only in rounding: + 0.49 and truncation here, nearest with ties to even
// there. Any thread; both read rnParams and the input and write only the output (distinct buffers).
#pragma once

#include "methods/noise_params.h"
#include "platform/core/mac_types.h"

// ---- Scalar -------------------------------------------------------------------------------------------------
// The frame walk: block rows of 8 lines, each with a window of 3 x 3 tiles (8 lines x 16 bytes each, copied
// once per block row) sliding one tile to the right at a time.
void BZ_Rn2DFilter(const BZ_RnParams *rnParams, const UInt8 *inBuffer, UInt8 *outBuffer);
// Block row rowNum (0 .. height/8 - 3; the last one also takes the line pair height - 9): tiles is scratch
// of 9 x 128 bytes.
void BZ_RnDoBlockRow(UInt8 *tiles, const BZ_RnParams *rnParams, SInt32 rowNum, const UInt8 *inBuffer,
                     UInt8 *outBuffer);
// The groups of the tile window of tile column horizBlockNum (blockPtrs: 3 x 3 tiles, row by row): line pairs
// 8r + 7 .. 8r + 13 (+ 15 in the last row), luma groups at 8h + 7 .. 8h + 13 (+ 15 in the last column), Cb
// and Cr pairs from pixel pairs 4h + 3 and 4h + 5 (+ 7 in the last column), written into outBuffer.
void BZ_RnDoBlock2D(SInt32 horizBlockNum, const BZ_RnParams *rnParams, const UInt8 *const *blockPtrs,
                    SInt32 rowNum, UInt8 *outBuffer);
// One luma group: its block starts at (vertOffset, horizOffset) pixels inside the tile window; noisyY256 is
// scratch of 256 floats; cleanYF receives rows 7 and 8, columns 7 and 8, unrounded.
void BZ_RnFilter256Y(const UInt8 *const *blockPtrs, const BZ_RnParams *rnParams, float *noisyY256,
                     SInt32 horizOffset, SInt32 vertOffset, float *cleanYF);
// One chroma pair: horizOffset is the pixel of the block's first sample in the window (even: Cb, odd: Cr).
void BZ_RnFilter64(const UInt8 *const *blockPtrs, const BZ_RnParams *rnParams, float *noisy64, SInt32 horizOffset,
                   SInt32 vertOffset, float *cleanF);
// Gather a 16 x 16 luma block, resp. an 8 x 8 chroma block (every second pixel's chroma byte), as floats.
void BZ_RnFillYArray256(SInt32 vertOffset, SInt32 horizOffset, const UInt8 *const *blockPtrs, float *array);
void BZ_RnFillArray64(SInt32 vertOffset, SInt32 horizOffset, const UInt8 *const *blockPtrs, float *array);
// Mean, transform, gains, centre inverse: the four results replace elements (7,7), (7,8), (8,7), (8,8),
// resp. (3,3), (3,4), (4,3), (4,4) of array; the rest of array is scratch afterwards. The chroma one takes
// Cb's model for an even horizOffset, Cr's for an odd one.
void BZ_RnFilterArray256(const BZ_RnParams *rnParams, float *array);
void BZ_RnFilterArray64(const BZ_RnParams *rnParams, SInt32 horizOffset, float *array);
// The group gains of one coefficient row pair: array holds two rows of 16 (resp. 8) coefficients, nn the 8
// (resp. 4) noise values of its groups.
void BZ_RnSubtrNoiseHoriz2x16(const float *nn, float *array);
void BZ_RnSubtrNoiseHoriz2x8(const float *nn, float *array);

// ---- SSE ------------------------------------------------------------------------------------------------------
// The model and bases spread over four lanes, built once per frame (opaque outside filter_2d_sse.cpp).
struct BZ_Rn2DAccBases;
// Float copies of the 24 lines of one block row: luma of even and odd pixels, Cb and Cr of even and odd
// pixel pairs, so that four groups two pixels (or pairs) apart are one unaligned load.
struct BZ_Rn2DAccBand {
  float *lumaEven, *lumaOdd, *cbEven, *cbOdd, *crEven, *crOdd;
  SInt32 lumaStride, chromaStride;  // floats per line of each plane
};

void BZ_Rn2DFilterAcc(const BZ_RnParams *rnParams, const UInt8 *inBuffer, UInt8 *outBuffer);
// *bases = the spread bases and model of rnParams (owned: BZ_RnDispose2DAccBases); memFullErr.
OSStatus BZ_RnCreate2DAccBases(const BZ_RnParams *rnParams, BZ_Rn2DAccBases **bases);
void BZ_RnDispose2DAccBases(BZ_Rn2DAccBases *bases);
// Block row rowNum: converts its 24 lines into band, then filters its windows.
void BZ_RnDoBlockRowAcc(const BZ_RnParams *rnParams, const BZ_Rn2DAccBases *bases, SInt32 rowNum,
                        const BZ_Rn2DAccBand *band, const UInt8 *inBuffer, UInt8 *outBuffer);
// The window blockNum of a block row: 16 pixels, two luma vectors (groups at 16j + 7 .. 16j + 21) and one
// Cb and one Cr vector (pixel pairs 8j + 3 .. 8j + 9) per line pair.
void BZ_RnDoBlock2D_Acc(const BZ_RnParams *rnParams, const BZ_Rn2DAccBases *bases, SInt32 rowNum, SInt32 blockNum,
                        const BZ_Rn2DAccBand *band, UInt8 *outBuffer);
// Four luma groups (lane j: block j of noisyY256, 256 vectors of 4 floats, 16-byte aligned, scratch after):
// cleanYF receives the vectors of (7,7), (7,8), (8,7), (8,8), unrounded.
void BZ_RnFilter256Y_Acc(const BZ_Rn2DAccBases *bases, float *noisyY256, float *cleanYF);
// Four chroma pairs of one component (cIndex 1 Cb, 2 Cr): noisy64 64 vectors, cleanF as above.
void BZ_RnFilter64C_Acc(const BZ_Rn2DAccBases *bases, float *noisy64, SInt32 cIndex, float *cleanF);
// Gather four luma blocks (lane j: starting at pixel horizOffset + 2j of band line vertOffset), resp. four
// Cb and four Cr blocks (lane j: pixel pairs horizPair + 2j .. + 7 of band lines vertOffset ..).
void BZ_RnFillArray256Y_Acc(SInt32 vertOffset, SInt32 horizOffset, const BZ_Rn2DAccBand *band, float *block);
void BZ_RnFillArray64C_Acc(SInt32 vertOffset, SInt32 horizPair, const BZ_Rn2DAccBand *band, float *cbBlock,
                           float *crBlock);
