// Conversions between 32-bit ARGB pixels (bytes A, R, G, B in memory, always full range) and '2vuy'
// (yuv422_formats.h), with and without a gamma change on the way, and the gamma change of ARGB frames.
// Every conversion to ARGB writes alpha 255; the gamma changes copy alpha; conversions from ARGB ignore it.
// Rec. 601 weights; the range flag says how the '2vuy' side is read or written.
//
// Scalar, SSE (suffix Acc) and dispatcher (suffix Uni) of an operation take width and height in the
// orders listed, which differ between operations; each dispatcher hands its callees both in their roles.
// Scalar line conversions work on width / 2 whole pairs (an odd width leaves the last pixel of a line
// unwritten); SSE conversions on width / 8 groups of 8 pixels, the ARGB gamma on width / 4 groups of 4.
// Gamma tables are those of gamma_tables.h.
#pragma once

#include "platform/core/mac_types.h"

// --- Lines, scalar ------------------------------------------------------------------------------------

// '2vuy' to ARGB: both pixels of a pair carry the pair's chroma; R, G, B rounded and clamped to 0..255.
void CO_2vuyLineToARGB(SInt32 width, const void *inLine, void *outLine, Boolean inputIsFullRange);
// The same with each unrounded R, G, B looked up in newRGB (levels below 1 read the entry of level 1).
void CO_2vuyLineToARGB_ChangeGamma(SInt32 width, const void *inLine, void *outLine, Boolean inputIsFullRange,
                                   const UInt16 *newRGB);
// ARGB to '2vuy': the pair's chroma is its first pixel's; the second pixel gives only its luma. Rounding
// and clamps of the scalar float-line packer (luma 1..254, chroma 1..255).
void CO_ARGB_LineTo2vuy(SInt32 width, const void *inLine, void *outLine, Boolean outputIsFullRange);
// The same after each R, G, B went through newRGB.
void CO_ARGB_LineTo2vuy_ChangeGamma(SInt32 width, const void *inLine, void *outLine, Boolean outputIsFullRange,
                                    const UInt16 *newRGB);
// ARGB gamma of every pixel: each of R, G, B becomes (newRGB[4v] + 2) >> 2, at most 255. A null table
// writes nothing.
void CO_ARGB_LineChangeGamma(SInt32 width, const void *inLine, void *outLine, const UInt16 *newRGB);

// --- Lines, SSE ---------------------------------------------------------------------------------------

// '2vuy' to ARGB, from the line's end towards its start. Unlike the scalar version the odd pixel of a
// pair takes as chroma the mean (rounded down) of its pair's and the next pair's bytes; the line's last
// odd pixel keeps its own. R, G, B rounded with halves upward, saturated to 0..255. Width / 8 steps ending at
// the line's end: leftover pixels of another width are the first ones, left untouched.
void CO_2vuyLineToARGB_Acc(SInt32 width, const void *sourcePtr, void *targetPtr, Boolean inputIsFullRange);
// ARGB to '2vuy': chroma rounded to nearest with ties to even, luma with halves upward, every byte
// saturated to 0..255 (so luma 0 and 255 and chroma 0 can be written).
void CO_ARGB_LineTo2vuyAcc(SInt32 width, const void *sourcePtr, void *targetPtr, Boolean outputIsFullRange);
// ARGB gamma with the curve 255 · (v/255)^(inGamma/outGamma) computed without a table, at most 254,
// rounded with halves upward: 0 stays 0, 255 becomes 254.
void CO_ChangeARGB_LineGammaAcc(SInt32 width, const void *inLine, void *outLine, float inGamma, float outGamma);

// --- Frames -------------------------------------------------------------------------------------------

// ARGB frame to '2vuy', packed rows (width × 4 and width × 2 bytes).
void CO_ARGB_FrameTo2vuy(SInt32 width, SInt32 height, const void *sourcePtr, void *targetPtr,
                         Boolean outputIsFullRange);
void CO_ARGB_FrameTo2vuyAcc(SInt32 height, SInt32 width, const void *sourcePtr, void *targetPtr,
                            Boolean outputIsFullRange);
void CO_ARGB_FrameTo2vuyUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 height, SInt32 width, const void *sourcePtr,
                            void *targetPtr, Boolean outputIsFullRange);

// ARGB frame to '2vuy' with a gamma change, packed rows. Each source line is gamma-changed in place
// first, so the source frame keeps the gamma-changed pixels: it must be the caller's alone. The scalar
// version uses newRGB when given (then the gammas play no part) and else a table of its own.
void CO_ARGB_FrameTo2vuyChangeGamma(SInt32 width, SInt32 height, void *sourcePtr, void *targetPtr,
                                    Boolean outputIsFullRange, float inGamma, float outGamma, const UInt16 *newRGB);
void CO_ARGB_FrameTo2vuyChangeGammaAcc(SInt32 width, SInt32 height, void *sourcePtr, void *targetPtr,
                                       Boolean outputIsFullRange, float inGamma, float outGamma);
void CO_ARGB_FrameTo2vuyChangeGammaUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 width, SInt32 height,
                                       void *sourcePtr, void *targetPtr, Boolean outputIsFullRange, float inGamma,
                                       float outGamma, const UInt16 *newRGB);

// '2vuy' frame to ARGB. The scalar version steps by the row bytes as given (0 is not replaced); the SSE
// version works on packed rows; the dispatcher honours the row bytes on both paths.
void CO_2vuyFrameToARGB(SInt32 width, SInt32 height, const void *inPtr, void *outPtr, Boolean inputIsFullRange,
                        SInt32 inRowBytes, SInt32 outRowBytes);
void CO_2vuyFrameToARGB_Acc(SInt32 height, SInt32 width, const void *sourcePtr, void *targetPtr,
                            Boolean inputIsFullRange);
void CO_2vuyFrameToARGB_Uni(Boolean hasAltivec, Boolean hasSSE3, SInt32 width, SInt32 height, const void *inPtr,
                            void *outPtr, Boolean inputIsFullRange, SInt32 inRowBytes, SInt32 outRowBytes);

// '2vuy' frame to ARGB with a gamma change (the display path at gamma 1.8). The scalar version looks up
// the unrounded R, G, B in newRGB or in a table of its own; the SSE version converts to ARGB and then
// changes the gamma of the 8-bit output.
void CO_2vuyFrameToARGB_ChangeGamma(SInt32 width, SInt32 height, const void *inPtr, void *outPtr,
                                    Boolean inputIsFullRange, SInt32 inRowBytes, SInt32 outRowBytes, float inGamma,
                                    float outGamma, const UInt16 *newRGB);
void CO_2vuyFrameToARGB_ChangeGammaAcc(SInt32 width, SInt32 height, const void *sourcePtr, void *targetPtr,
                                       Boolean inputIsFullRange, float inGamma, float outGamma);
void CO_2vuyFrameToARGB_ChangeGammaUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 width, SInt32 height,
                                       const void *inPtr, void *outPtr, Boolean inputIsFullRange, SInt32 inRowBytes,
                                       SInt32 outRowBytes, float inGamma, float outGamma, const UInt16 *newRGB);

// ARGB frame gamma; a row bytes value of 0 means width × 4. The scalar version needs newRGB (a null
// table writes nothing); the dispatcher takes the SSE version for widths that are multiples of 4.
void CO_ChangeARGB_FrameGamma(SInt32 height, SInt32 width, SInt32 inRowBytes, SInt32 outRowBytes,
                              const void *inFrame, void *outFrame, const UInt16 *newRGB);
void CO_ChangeARGB_FrameGammaAcc(SInt32 height, SInt32 width, SInt32 inRowBytes, SInt32 outRowBytes,
                                 const void *inFrame, void *outFrame, float inGamma, float outGamma);
void CO_ChangeARGB_FrameGammaUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 height, SInt32 width,
                                 SInt32 inRowBytes, SInt32 outRowBytes, const void *inFrame, void *outFrame,
                                 float inGamma, float outGamma, const UInt16 *newRGB);
