// The per-frame kernels of logo removal: one frame of a worker (BZ_RemoveLogo) and the modes it runs,
// diminishing (mode 1) with its edge statistics and edge softening, the un-blending of a transparent logo
// (mode 3), the fade in and out, and the collector's anti-shimmer median. The interpolating removal of modes 2
// and 3 (opaque) is in logo_interpolation.h. All kernels touch the logo rectangle only (BZ_RemoveLogo copies
// the whole frame first) and are scalar.
//
// Threads: each worker calls the frame kernels on its own output buffer with its own scratch arrays (entry
// subTaskNum); the anti-shimmer runs on the collector only.
#pragma once

#include "methods/logo_params.h"
#include "platform/core/mac_types.h"

// One frame: the input copied to the output (width x height x 2 bytes), the mode's kernel, then the fade.
// Always noErr.
OSStatus BZ_RemoveLogo(BZ_RlParams *rlParams, SInt32 subTaskNum, SInt32 frameNum, const UInt8 *inBuffer,
                       UInt8 *outBuffer);

// Mode 1: every logo pixel pulled into the luma and chroma ranges found just outside the rectangle (per field
// when interlaced), then the edges softened.
void BZ_RlDiminishLogo(const BZ_RlParams *rlParams, SInt32 subTaskNum, const UInt8 *inBuffer, UInt8 *outBuffer);

// The ranges around the logo of one field (0, or 1 when interlaced; lines counted from the logo's top): luma of
// the pixels beside the logo and of the field lines above and below it, chroma sorted by kind. Each range is
// the integer means of the top and bottom quarter of its sorted samples. yValues, cbValues, crValues need
// (logoWidth + logoHeight) x 2 + 4 bytes.
struct BZ_RlEdgeRange {
  SInt32 minY, maxY, minCb, maxCb, minCr, maxCr;
};
void BZ_RlFindLogoEdgeColors(const BZ_RlParams *rlParams, SInt32 field, const UInt8 *frame, UInt8 *yValues,
                             UInt8 *cbValues, UInt8 *crValues, BZ_RlEdgeRange *range);
// Byte comparator for descending sorts: -1 when *a > *b, 1 when *a < *b, else 0.
int BZ_RlCompareYvalues(const void *a, const void *b);
// Averages (truncated) each of the 2 x logoWidth bytes at line with the bytes at neighbour.
void BZ_RlSoftenHorizEdge(UInt8 *line, const UInt8 *neighbour, SInt32 logoWidth);
// Softens the left and right edge of one logo line (line points at the logo's first pixel).
void BZ_RlSoftenVertEdge(UInt8 *line, SInt32 logoWidth);

// Mode 3 transparent: each mask pixel un-blended with its logo colour and t = the settings' transparency (held
// to 0.01 .. 0.99), then held to the border's range of its kind.
void BZ_RlKillTransparentLogo(const BZ_RlParams *rlParams, const UInt8 *inBuffer, UInt8 *outBuffer);
// Minimum and maximum of luma, Cb and Cr over the ring just around the logo of the frame.
void BZ_RlGetBorderMinMax(const BZ_RlParams *rlParams, const UInt8 *frame, BZ_RlEdgeRange *range);

// The fade: share of the removal at that frame (1 without fade), and the blend of the removal's output with
// the input over the logo rectangle (every byte trunc(out x fraction + (1 - fraction) x in)).
float BZ_RlGetFadeFraction(const BZ_RlParams *rlParams, SInt32 frameNum);
void BZ_RlPaintOverLogo(const BZ_RlParams *rlParams, float fraction, const UInt8 *inBuffer, UInt8 *outBuffer);

// Collector, executing: frame n's logo rectangle (out) saved in slot n mod 3 of savedLogos; for n > 1 every
// byte of frame n - 1's rectangle (prev) becomes the median of its own and the saved ones of frames n - 2 and n.
void BZ_LogoAntiShimmerFilter(UInt8 *prev, SInt32 frameNum, const BZ_RlProcParams *rlProcParams);
