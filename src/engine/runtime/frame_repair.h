// Two frame tools beside the pipeline: the fixed repair of one damaged line of a '2vuy' frame, and a
// whole-frame sanity check through float lines (the stages legalise their frames with CO_FrameSanityCheckUni
// instead). Rows are 2 x width bytes without gaps; a pixel is a chroma byte then a luma byte.
//
// Threads: any; each call works on the caller's buffers only.
#pragma once

#include "platform/core/mac_types.h"

enum : SInt32 {
  kBZ_DreadLineRow = 173,          // the damaged row; row 175 is mended with it
  kBZ_DreadLineMinRows = 178,      // rows the repair reads (up to row 177)
  kBZ_DreadLineMinWidth = 258,     // pixels per row the repair reaches back from the right edge
};

// Repairs rows 173 and 175 of a frame of at least kBZ_DreadLineMinRows rows of `width` pixels, in place:
// row 173 shifted left by 28 pixels up to width - 125 and by 14 pixels from width - 124 to width - 15, its
// pixels width - 36 .. width - 17 the mean of rows 171 and 175 and width - 258 .. width - 233 the mean of
// rows 171 and 177; then the chroma of those 26 pixels of row 175 the mean of the repaired row 173 and row
// 177, their luma that of row 173. paramErr for a NULL buffer or a width below kBZ_DreadLineMinWidth.
OSStatus BZ_RepairDreadLine(SInt32 width, void *outBuffer);

// Legalises `height` rows of `width` pixels (video range) from inBuffer into outBuffer, row by row through a
// float line: unpacked, sanity-checked (CO_FloatLineSanityCheck) and packed again. The buffers may be the
// same. paramErr for NULL buffers, a size below 0 or an odd width (a '2vuy' row holds pixel pairs);
// memFullErr when the float line cannot be had.
OSStatus BZ_YC_SanityCheckFrame(SInt32 height, SInt32 width, const void *inBuffer, void *outBuffer);
