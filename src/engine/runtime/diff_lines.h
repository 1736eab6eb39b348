// The difference picture of two padded '2vuy' working frames (dirty: the source, clean: the cleaned frame),
// drawn around a mid grey: the noise movie's frames and the preview's difference view (noise_movie_stage.h
// chooses the factors). Frames are height x width pixels as one run of (chroma, luma) byte pairs.
//
// Kernels: BZ_MakeDiffLines (scalar), BZ_MakeDiffLinesAcc (SSE, diff_lines_sse.cpp) and the dispatcher
// BZ_MakeDiffLinesUni. Each writes only its output buffer, so workers may run them on different frames at
// once.
#pragma once

#include "platform/core/mac_types.h"

// Over all height x width pixels as one run: chroma 128 + dC x factorC, luma dC x chromaInLumaFactor +
// dY x factorY + mediumGray (d = clean - dirty), each truncated and limited to 0..255; the luma written is
// the mean (rounded down) of that pixel's and the previous pixel's value, mediumGray before the first.
void BZ_MakeDiffLines(SInt32 height, SInt32 width, const UInt8 *dirtyFramePtr, const UInt8 *cleanFramePtr,
                      UInt8 *outBuffer, float factorC, float factorY, float chromaInLumaFactor, SInt32 mediumGray);
// The same eight pixels at a time in 16-bit fixed point: factors x 256 truncated, products rounded, the luma
// mean rounded up; height x width / 8 groups (a working frame's width is a multiple of 8). May differ from
// the scalar version by the fixed point's rounding.
void BZ_MakeDiffLinesAcc(SInt32 height, SInt32 width, const UInt8 *dirtyFramePtr, const UInt8 *cleanFramePtr,
                         UInt8 *outBuffer, float factorC, float factorY, float chromaInLumaFactor, SInt32 mediumGray);
// The SSE version when gBZ.procInfo.hasSSE3 is set and width is a multiple of 8 (always so for a working
// frame; any other width would leave the last pixels to no group), else the scalar one.
void BZ_MakeDiffLinesUni(SInt32 height, SInt32 width, const UInt8 *dirtyFramePtr, const UInt8 *cleanFramePtr,
                         UInt8 *outBuffer, float factorC, float factorY, float chromaInLumaFactor, SInt32 mediumGray);
