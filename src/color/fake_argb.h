// Fake ARGB frames: a '2vuy' frame carried in a 32-bit pixel map, one word per pixel holding its luma and a
// full set of chroma in the positions of R, G and B (byte 1 luma, byte 2 Cb, byte 3 Cr; byte 0 is the
// alpha position). No colour conversion: the bytes keep their '2vuy' values and range. The even pixel of a
// pair holds the pair's chroma, the odd pixel the mean (rounded down) of its pair's and the next pair's
// chroma, or its own pair's at the end of a line. Frames are packed (width × 2 and width × 4 bytes a line).
#pragma once

#include "platform/core/mac_types.h"

// '2vuy' to fake ARGB, from the last line and the last pair backwards, so that outBuffer may be inBuffer
// when it holds height × width × 4 bytes. Byte 0 of every pixel is left as it was. An odd width's last
// pixel takes its own Cb and the Cr of the pair before it (128 when there is none).
void CO_2vuyFrameToFakeARGB(SInt32 height, SInt32 width, const void *inBuffer, void *outBuffer);
// The same 8 pixels a step, writing 255 into byte 0 of every pixel; widths that are multiples of 8.
void CO_2vuyLineToFakeARGB_Acc(SInt32 width, const void *sourcePtr, void *targetPtr);
void CO_2vuyFrameToFakeARGB_Acc(SInt32 height, SInt32 width, const void *inBuffer, void *outBuffer);
void CO_2vuyFrameToFakeARGB_Uni(Boolean hasAltivec, Boolean hasSSE3, SInt32 height, SInt32 width,
                                const void *sourcePtr, void *targetPtr);

// Fake ARGB back to '2vuy': per pair Cb, Y0, Cr from the even pixel and Y1 from the odd one; byte 0 and
// the odd pixels' chroma are not read. Runs forwards, so it may write over its own input. An odd width's
// last pixel gives its Cb and luma only.
void CO_FakeARGB_FrameTo2vuy(SInt32 height, SInt32 width, const void *inBuffer, void *outBuffer);
void CO_FakeARGB_LineTo2vuyAcc(SInt32 width, const void *sourcePtr, void *targetPtr);
void CO_FakeARGB_FrameTo2vuyAcc(SInt32 height, SInt32 width, const void *inBuffer, void *outBuffer);
void CO_FakeARGB_FrameTo2vuyUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 height, SInt32 width,
                                const void *sourcePtr, void *targetPtr);
