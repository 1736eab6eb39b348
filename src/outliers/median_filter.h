// The step-preserving luminance filter: an 8-sample kernel along rows, then along columns, that sharpens clean
// steps between the two halves of its window and leaves windows without such a step alone. Plain functions
// over the caller's frames; no state.
#pragma once

#include "platform/core/mac_types.h"

struct BZ_OuParams;

enum : SInt32 { kBZ_OuMedianRecentWindows = 6 };

// Filters the luminance of the picture rectangle of inBuffer into tempIn (both padded '2vuy' frames of the
// parameters' size; chroma bytes are neither read nor written): the rows from inBuffer, then the columns of the
// row-filtered tempIn in place, each column copied into pixelList (one SInt32 per row) first. Only pixels of
// windows with a step are written: a caller that wants the frame where there is none copies it into tempIn
// first.
void BZ_OuMedianFilter(const BZ_OuParams *ouParams, const UInt8 *inBuffer, UInt8 *tempIn, SInt32 *pixelList);
// One kernel step over the 8 samples y (the window ends just before the byte offset `offset` of tempIn, samples
// pixelOffset bytes apart). Stores the window's two step values (min1 - max2, min2 - max1) at index 5 of the
// step arrays and its candidates for samples 1 to 6 in newY[5]; when the window has a step, writes the weighted
// average of the last 6 windows' candidates into the luminance of the window's samples 1 to 6. Entries 0 to 4
// of the arrays belong to the 5 windows before, oldest first.
void BZ_OuMedianFilter8(UInt8 *tempIn, const SInt32 y[8], SInt64 offset, SInt32 pixelOffset,
                        SInt32 prevMin1MinusMax2[kBZ_OuMedianRecentWindows],
                        SInt32 prevMin2MinusMax1[kBZ_OuMedianRecentWindows], SInt32 newY[kBZ_OuMedianRecentWindows][8]);
