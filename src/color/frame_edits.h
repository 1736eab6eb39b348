// Small in-place edits of '2vuy' frames: black lines and bars, mirrors, moving chroma by one pixel (after an
// odd left crop), making odd-width frames even, and two vertical filters. The compress and write stages
// paint the cropped bands black and shift chroma; stateless, any task may call them on its own buffers.
//
// Rows are packed (width x 2 bytes) unless a routine says otherwise; the even-width helpers use rows of
// width x 2 + 2 bytes for an odd width. Black is chroma 128 with luma 0. Sizes of 0 or less do nothing.
// The dispatchers (Uni) take hasAltivec and hasSSE3 first: the black line follows the colour library's rule
// (width a multiple of 8), the horizontal flips need a multiple of 16.
#pragma once

#include "platform/core/mac_types.h"

// Every pixel of a line black. The Acc version paints width / 8 groups of 8 pixels and leaves the rest.
void CO_PaintLineBlack(SInt32 width, void *line);
void CO_PaintLineBlackAcc(SInt32 width, void *line);
void CO_PaintLineBlackUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 width, void *line);

// Every pixel of a packed frame black: the scalar version paints height x width pixels as one line, the Acc
// version runs the SSE line over each row (so each row's remainder of width / 8 is left).
void CO_PaintFrameBlack(SInt32 height, SInt32 width, void *buffer);
void CO_PaintFrameBlackAcc(SInt32 height, SInt32 width, void *buffer);

// Pixels start .. end - 1 of each of `height` packed rows black; the columns are limited to 0 .. width.
void CO_PaintVerticalBarBlack(SInt32 height, SInt32 width, void *buffer, SInt32 start, SInt32 end);

// Mirror one line left to right. Luma of pixels i and width - 1 - i trade places; chroma trades between
// pixels of the same parity (odd width) or between whole pairs, Cb staying Cb (even width; a middle pair
// keeps its chroma). The Acc version needs a width that is a multiple of 8 and gives the same bytes.
void CO_Flip2vuyLineHorizontal(SInt32 width, void *line);
void CO_Flip2vuyLineHorizontalAcc(SInt32 width, void *line);
void CO_Flip2vuyLineHorizontalUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 width, void *line);

// Mirror every packed line.
void CO_FlipFrameHorizontal(SInt32 height, SInt32 width, void *buffer);
void CO_FlipFrameHorizontalAcc(SInt32 height, SInt32 width, void *buffer);
void CO_FlipFrameHorizontalUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 height, SInt32 width, void *buffer);

// Mirror a packed frame top to bottom through tempLine (width x 2 bytes): line i and line
// (height / 2) x 2 - 1 - i trade places, so an odd height keeps its last line where it is and the field
// order of the others is kept.
void CO_FlipFrameVertical(SInt32 height, SInt32 width, void *buffer, void *tempLine);

// Moves every chroma byte one pixel to the right (Cb and Cr trade slots); the first pixel takes the old
// chroma of the second. The frame version treats the packed frame as one line, so each row's first chroma
// comes from the row above.
void CO_ShiftChromaLine(SInt32 width, void *buffer);
void CO_ShiftFrameChroma(SInt32 height, SInt32 width, void *buffer);

// Vertical low-pass of the chroma of column `column` (weights 1, 2, 2, 2, 1 over five rows, rounding
// constant 3, edges repeated), or of every column. lineBuffer holds height + 4 bytes. Note the order:
// width before height.
void CO_FilterVertChromaLine(SInt32 width, SInt32 height, void *buffer, SInt32 column, UInt8 *lineBuffer);
void CO_FilterFrameVertChroma(SInt32 width, SInt32 height, void *buffer, UInt8 *lineBuffer);

// Limited vertical smoothing of luma: each row is pulled toward the mean of its own field (rows y - 2 and
// y + 2), by no more than a quarter of its smaller step to the rows above and below when it is a local
// extremum, and not at all otherwise. lineBuffer holds height + 4 bytes; every row is computed from
// unfiltered neighbours.
void CO_FilterVertBrLine(SInt32 width, SInt32 height, void *buffer, SInt32 column, UInt8 *lineBuffer);
void CO_FilterFrameVertBr(SInt32 width, SInt32 height, void *buffer, UInt8 *lineBuffer);

// Odd width: moves each packed row into rows one pixel wider (input and output may be the same buffer, which
// must then hold the wider rows) and fills the extra pixel with the row's last luma and the Cr of its last
// whole pair (128 in a one-pixel row). Even widths return at once.
void CO_2vuyFrameMakeLinesEvenWidth(SInt32 width, SInt32 height, const void *inFramePtr, void *outFramePtr);
// Odd width: fills the extra pixel of every row of a frame that already has the wider rows.
void CO_2vuyFrameCopyLastPixelOnOddWidthLines(SInt32 width, SInt32 height, void *framePtr);
// Odd height: copies line height - 2 (the same field) into line height (line 0 for a one-line frame); rows
// are width x 2 bytes, plus 2 for an odd width, and the buffer holds height + 1 lines.
void CO_2vuyFrameCopyLastInterlacedLine(SInt32 width, SInt32 height, void *framePtr);
