// How the codes of a Y'CbCr type fill their range: full range, video range (luma 16..235 and chroma
// 16..240 at 8 bits), or the wide range of the classic Component Video formats.
#pragma once

enum CO_YCbCrRangeType { kCO_FullRange = 1, kCO_VideoRange = 2, kCO_WideRange = 3 };
