// The one-dimensional spectral noise filters: horizontal along each picture line, vertical down each byte
// column (within its field when interlaced). Both cut the signal into 16-sample vectors (8-sample chroma
// vectors along a line) that start every second sample, transform each with the windowed basis M16 or M8,
// shrink every bin by the gain max(P - N, 0) / max(P, 2^-16) (P its power, N the noise model's value; the
// constant term passes unchanged) and rebuild only the two centre samples, each clamped to 1 .. 254.
//
// Frames are padded '2vuy' buffers (width a multiple of 8, rows of 2 x width bytes). Covered, and the only
// samples written: luma of pixels 7 .. width - 8 and chroma of pixel pairs 3 .. width/2 - 4 of each line;
// field lines 7 .. 8B - 8 (B = height / 8f) of every byte column for the vertical filter.
//
// Kernels: the scalar versions (Opt2, and BZ_RnVertFilter) and the SSE versions (Acc, line_filters_sse.cpp),
// which filter four neighbouring vectors at once, one per lane, each lane summing in the scalar order. The
// horizontal SSE result differs from the scalar one only in rounding (nearest, ties to even, against + 0.49
// and truncation); the vertical SSE version rounds as the scalar one and matches it bit for bit. Any thread;
// the filters read rnParams and the input, and write only the output buffer (distinct from the input).
#pragma once

#include "methods/noise_params.h"
#include "platform/core/mac_types.h"

// Smallest power the gain divides by.
constexpr float kBZ_RnMinPower = 1.52587890625e-05f;  // 2^-16

// A rebuilt sample as a byte the scalar filters' way: clamped to 1 .. 254, then + 0.49 and truncated.
inline UInt8 BZ_RnStoreByte(float y) {
  if (y < 1.0f) return 1;
  if (y > 254.0f) return 254;
  return UInt8(SInt32(y + 0.49f));
}

// ---- The gain rule ------------------------------------------------------------------------------------------
// Four (re, im) pairs of array8, pair j against nn8[j]: both multiplied by max(P - N, 0) / max(P, 2^-16).
void BZ_SubtractNoiseHoriz8_Opt2(float *array8, const float *nn8);
// The same on four lanes at once: coeff holds 8 coefficient vectors of 4 lanes (32 floats, 16-byte aligned),
// nn8 4 noise vectors of 4 lanes (16 floats).
void BZ_SubtractNoiseHoriz8Acc(float *coeff, const float *nn8);

// ---- The horizontal line filter -----------------------------------------------------------------------------
// One padded line (width pixels from rnParams) from inLinePtr into outLinePtr.
void BZ_RnFilterHorizLineOpt2(const BZ_RnParams *rnParams, const UInt8 *inLinePtr, UInt8 *outLinePtr);
void BZ_RnFilterHorizLineAcc(const BZ_RnParams *rnParams, const UInt8 *inLinePtr, UInt8 *outLinePtr);
// The SSE version when gBZ.procInfo.hasSSE3, else the scalar one.
void BZ_RnFilterHorizLineUni(const BZ_RnParams *rnParams, const UInt8 *inLinePtr, UInt8 *outLinePtr);

// The vectors that start in the 8-pixel group vecNum of a line of G groups (vecNum 0 .. G - 3; the last also
// filters the vectors that start in the next group). sum holds the running Y, Cb and Cr sums of the line;
// inPtr and outPtr point at the group in the input and output line.
void BZ_RnFilter8PixelsOpt2(const BZ_RnParams *rnParams, SInt32 vecNum, SInt32 *sum, const UInt8 *inPtr,
                            UInt8 *outPtr);
// One 16-sample vector: inPtr at its first sample, offset the byte distance between samples, outPtr at the
// output place of its first sample (the results go to samples 7 and 8). Along a line (horizontal: Y noise
// values of nn16H) or down byte column vertLineNum of a pixel pair (odd: Y, 0: Cb, 2: Cr of nn16V). vecNum
// counts the vectors of the line or column from 0; every one but the first moves *sumY by two samples.
void BZ_RnFilter16_Opt2(const BZ_RnParams *rnParams, SInt32 vecNum, Boolean horizontal, SInt32 vertLineNum,
                        const UInt8 *inPtr, SInt32 offset, SInt32 *sumY, UInt8 *outPtr);
// One 8-sample chroma vector along a line: inPtr and outPtr at the 8-pixel group, offset the chroma index q
// (byte 2q of the group; even Cb, odd Cr), sum the running sums (Cb at 1, Cr at 2). vecNum counts the
// chroma vectors of the line from 0; the first two (one Cb, one Cr) start their sums.
void BZ_RnFilter8C_Opt2(const BZ_RnParams *rnParams, SInt32 vecNum, const UInt8 *inPtr, SInt32 offset, SInt32 *sum,
                        UInt8 *outPtr);
// SSE: four 16-sample luma vectors, one per lane: noisyY holds 16 sample vectors (64 floats, 16-byte
// aligned), cleanY receives the rebuilt samples 7 (4 lanes) then 8 (4 lanes), unrounded.
void BZ_RnFilter16Y_Acc(const BZ_RnParams *rnParams, const float *noisyY, float *cleanY);
// SSE: four 8-sample chroma vectors: noisyC 8 sample vectors, cleanC samples 3 then 4. cIndex chooses the
// lanes' noise values: 0 Cb, Cr, Cb, Cr (the line filter's order), 1 all Cb, 2 all Cr.
void BZ_RnFilter8C_Acc(const BZ_RnParams *rnParams, const float *noisyC, float *cleanC, SInt32 cIndex);

// ---- Frame passes ---------------------------------------------------------------------------------------------
// The line filter over the picture lines 8f .. inHeight + 8f - 1 (f = 2 when interlaced), input and
// output at the same line: scalar lines, resp. SSE lines.
void BZ_RnHorizFilter(const BZ_RnParams *rnParams, const UInt8 *inBuffer, UInt8 *outBuffer);
void BZ_RnHorizFilterAcc(const BZ_RnParams *rnParams, const UInt8 *inBuffer, UInt8 *outBuffer);
// The vertical filter over every 8-pixel column group and field; BZ_RnVertFilterAcc gives the same bytes.
void BZ_RnVertFilter(const BZ_RnParams *rnParams, const UInt8 *inBuffer, UInt8 *outBuffer);
void BZ_RnVertFilterAcc(const BZ_RnParams *rnParams, const UInt8 *inBuffer, UInt8 *outBuffer);
// The vectors of block row vecNum (vecNum 0 .. B - 3; the last also the vectors of the next) of one byte
// column: inBlock and outBlock at the column's first field line in each buffer, sum its running sum.
void BZ_RnVertDoBlock(const BZ_RnParams *rnParams, SInt32 vecNum, SInt32 *sum, const UInt8 *inBlock,
                      UInt8 *outBlock, SInt32 byteColumn, SInt32 fieldStride);
