// The scene value of two frames of the outlier window: the mean absolute luminance difference over every
// pixel of the padded buffers, rounded to the nearest integer. A value above the settings' maxAvPixelDiff
// counts as a scene change between the two frames. Plain functions; any thread.
#pragma once

#include "platform/core/mac_types.h"

struct BZ_OuParams;

// The sum of |Y1 - Y2| over numPixels '2vuy' pixels (the second byte of each pair), in 64 bits.
UInt64 BZ_OuSumLumaAbsDiff(SInt64 numPixels, const UInt8 *buffer1, const UInt8 *buffer2);
// The same eight pixels at a time (SSE); a tail of fewer pixels is summed in its own loop.
UInt64 BZ_OuSumLumaAbsDiffAcc(SInt64 numPixels, const UInt8 *buffer1, const UInt8 *buffer2);
// The SSE version when hasSSE3, else the scalar one.
UInt64 BZ_OuSumLumaAbsDiffUni(Boolean hasSSE3, SInt64 numPixels, const UInt8 *buffer1, const UInt8 *buffer2);

// (sum + n / 2) / n in 64-bit integers, n = width x height of the parameters, the sum over the whole padded
// frames (margins included). 0 when either buffer is missing or the frame has no pixels.
SInt32 BZ_OuGetAvPixelDiff(const BZ_OuParams *ouParams, const UInt8 *buffer1, const UInt8 *buffer2);
