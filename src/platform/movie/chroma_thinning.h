// Chroma thinning for the 4:2:0 and 4:1:1 encoders, by the filters matched to our decoders' interpolation, so
// that a picture that came from 4:2:0 or 4:1:1 goes back to the same chroma within rounding. Called by the
// compressors (compression.cpp) on the thread that compresses; the kernels keep no state.
//
// 4:2:0: one chroma row from the four '2vuy' lines around its line pair (on the way up each line of a pair
// gets (3 x own row + the neighbouring row) / 4): row = (3 (a + b) - (above + below)) >> 2, clamped to
// 0..255, per sample of Cb (byte 0 of each pixel pair) and Cr (byte 2). The shift rounds down: the vector
// interpolation rounds its weighted means up, and the two cancel, so that nearly every sample comes back
// exactly. The caller repeats an edge line for the lines beyond the picture (or field).
//
// 4:1:1: one chroma row from one '2vuy' line; sample k stands on pixel pair 2k and is
// (6 P(2k) + 2 (P(2k - 1) + P(2k + 1)) - (P(2k - 2) + P(2k + 2)) + 4) >> 3 over the pairs P around it (the edge
// pair repeated beyond the line), clamped to 0..255, which inverts the decoders' interpolation exactly and
// low-passes anything else.
#pragma once

#include "platform/core/mac_types.h"

// above, a, b, below: '2vuy' lines of at least 4 x pairs bytes; cb and cr: pairs bytes each.
void PL_ThinChroma420Row(const UInt8 *above, const UInt8 *a, const UInt8 *b, const UInt8 *below, SInt32 pairs,
                         UInt8 *cb, UInt8 *cr);
void PL_ThinChroma420RowAcc(const UInt8 *above, const UInt8 *a, const UInt8 *b, const UInt8 *below, SInt32 pairs,
                            UInt8 *cb, UInt8 *cr);
void PL_ThinChroma420RowUni(bool hasSSE3, const UInt8 *above, const UInt8 *a, const UInt8 *b, const UInt8 *below,
                            SInt32 pairs, UInt8 *cb, UInt8 *cr);

// line: '2vuy' of at least 4 x pairs bytes; cb and cr: samples bytes each, samples <= (pairs + 1) / 2.
void PL_ThinChroma411Row(const UInt8 *line, SInt32 pairs, SInt32 samples, UInt8 *cb, UInt8 *cr);
void PL_ThinChroma411RowAcc(const UInt8 *line, SInt32 pairs, SInt32 samples, UInt8 *cb, UInt8 *cr);
void PL_ThinChroma411RowUni(bool hasSSE3, const UInt8 *line, SInt32 pairs, SInt32 samples, UInt8 *cb, UInt8 *cr);

// Whether the processor runs the SSE3 kernels (the kernel's "hw.optional.sse3"), asked once.
bool PL_ChromaThinningHasSSE3();
