// Legalising of '2vuy' frames, in place, through the float line (see yuv422_formats.h):
// - the sanity check keeps luma within 1..254 and scales each pixel pair's chroma down so that the red,
//   green and blue the pixels stand for stay within 1..254 (BT.601 weights);
// - the IRE limit scales chroma down so that luma plus the composite chroma amplitude stays below
//   ireLimit x 255.
// The copy stage runs the sanity check on every frame; the compress and write stages run it and then the IRE
// limit. Stateless: each task passes its own float line.
//
// Chroma is only ever scaled toward 0 (hue kept); luma changes only by the clamp to 1..254.
// SSE versions (Acc) work on 4 pixel pairs a step without branches, width / 8 steps, leaving any remainder
// untouched; their results may differ from the scalar ones in the last bits of each factor, so packed bytes
// may differ by one near a rounding boundary (and by the packers' own rules, see yuv422_formats.h).
#pragma once

#include "platform/core/mac_types.h"

// Thresholds and targets: values beyond a threshold are brought onto the target a hundredth inside it.
inline constexpr float kCO_SanityHighThreshold = 254.01f;
inline constexpr float kCO_SanityHighTarget = 254.0f;
inline constexpr float kCO_SanityLowThreshold = 0.99f;
inline constexpr float kCO_SanityLowTarget = 1.0f;

// Composite chroma amplitude factors: U = factor x Cb, V = factor x Cr (formed in double, kept in single).
inline constexpr float kCO_CompositeUFactor = float(0.984222 * (1.0 - 0.114));
inline constexpr float kCO_CompositeVFactor = float(1.754566 * (1.0 - 0.299));

// Sanity check of a float line (width x 2 floats). No dispatcher: callers pick the version.
void CO_FloatLineSanityCheck(SInt32 width, float *linePtr);
void CO_FloatLineSanityCheckAcc(SInt32 width, float *linePtr);

// IRE limit of a float line; ireLimit is a fraction of full scale (1.2 for 120 IRE).
void CO_FloatLineLimitIRE(SInt32 width, float *linePtr, float ireLimit);
void CO_FloatLineLimitIRE_Acc(SInt32 width, float *linePtr, float ireLimit);
void CO_FloatLineLimitIRE_Uni(Boolean hasAltivec, Boolean hasSSE3, SInt32 width, float *linePtr, float ireLimit);

// Sanity check of a packed '2vuy' frame in place, bytes read and written in the given range; linePtrF is the
// caller's float line of width x 2 floats. An odd width's last pixel is legalised alone (with the row's last
// Cr), so nothing outside the frame or the float line is touched.
void CO_FrameSanityCheck(SInt32 height, SInt32 width, void *buffer, float *linePtrF, Boolean inputIsFullRange);
void CO_FrameSanityCheckAcc(SInt32 height, SInt32 width, void *buffer, float *linePtrF, Boolean inputIsFullRange);
void CO_FrameSanityCheckUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 height, SInt32 width, void *buffer,
                            float *linePtrF, Boolean inputIsFullRange);

// IRE limit of a packed '2vuy' frame in place; as above.
void CO_FrameLimitIRE(SInt32 height, SInt32 width, void *buffer, float *linePtrF, Boolean inputIsFullRange,
                      float ireLimit);
void CO_FrameLimitIRE_Acc(SInt32 height, SInt32 width, void *buffer, float *linePtrF, Boolean inputIsFullRange,
                          float ireLimit);
void CO_FrameLimitIRE_Uni(Boolean hasAltivec, Boolean hasSSE3, SInt32 height, SInt32 width, void *buffer,
                          float *linePtrF, Boolean inputIsFullRange, float ireLimit);

// Test aid: converts every line to the float line and back without the check and prints
// "CO_FrameSanityCheck_Test: numCorrected = 0".
void CO_FrameSanityCheck_Test(SInt32 height, SInt32 width, void *buffer, float *linePtrF, Boolean inputIsFullRange);

// Test aid: turns a packed '2vuy' frame into illegal colours (chroma c -> 2c - 128, luma y -> y + 40, both
// clamped to 0..255). Note the order: width before height.
void CO_WriteSanityCheckTestPattern(SInt32 width, SInt32 height, void *buffer);
