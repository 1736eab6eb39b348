// Conversion between '2vuy' frames and planar 4:2:0 frames ('y420'), progressive or interlaced. The copy
// stage converts 4:2:0 sources to the working format; the compress stage makes 'y420' output. Stateless.
//
// A 'y420' buffer begins with a big-endian header (PlanarPixmapInfoYUV420: for Y, Cb and Cr a signed 32-bit
// plane offset from the start of the header and an unsigned 32-bit row bytes; 32 bytes in all, the last 8
// not used here), followed by the planes. The movie library fills the header (CO_SetY420Header); this module
// only reads it. Y has one byte a pixel and a row a line; Cb and Cr one byte a pixel pair and a row per two
// lines. The number of chroma rows is (Cr offset - Cb offset) / Cb row bytes.
//
// Progressive: chroma row p belongs to lines 2p and 2p + 1. Interlaced: chroma rows stay within a field, row
// 2q belongs to lines 4q and 4q + 2, row 2q + 1 to lines 4q + 1 and 4q + 3. The planes hold the height rounded
// up to a multiple of 2 (progressive) or 4 (interlaced); the conversion to 4:2:0 writes those extra luma rows
// too. Scalar chroma means round down; the SSE versions use the rounding byte average, so their chroma may
// exceed the scalar results by one.
//
// A header that cannot describe planes for the frame (row bytes below the width, a Cb row bytes of 0, fewer
// chroma rows than the height needs) makes the frame conversions do nothing.
#pragma once

#include "platform/core/mac_types.h"

#include <cstddef>

// --- The 'y420' header -------------------------------------------------------------------------------------

struct PlanarComponentInfo {
  SInt32 offset;    // from the start of the header
  UInt32 rowBytes;
};

struct PlanarPixmapInfoYUV420 {
  PlanarComponentInfo componentInfoY;
  PlanarComponentInfo componentInfoCb;
  PlanarComponentInfo componentInfoCr;
};

// Bytes before the planes can start: the six header words plus 8 bytes left unwritten.
inline constexpr size_t kCO_Y420HeaderSize = 32;

// Reads the six big-endian header words at the start of a 'y420' buffer.
void CO_GetY420Header(const void *y420Buffer, PlanarPixmapInfoYUV420 *header);
// Writes the six header words big-endian at the start of a 'y420' buffer (bytes 24..31 are left as they are).
void CO_SetY420Header(void *y420Buffer, const PlanarPixmapInfoYUV420 *header);

// The planes of a 'y420' buffer, as its header describes them.
struct CO_Y420Planes {
  UInt8 *y;
  UInt8 *cb;
  UInt8 *cr;
  SInt32 rowBytesY;
  SInt32 rowBytesCb;
  SInt32 rowBytesCr;
  SInt32 chromaRows;
};

// Reads the header of `y420Buffer` into plane pointers; false when it cannot hold rows of `width` pixels
// (offsets inside the header, row bytes below width or (width + 1) / 2, no chroma row).
Boolean CO_GetY420Planes(const void *y420Buffer, SInt32 width, CO_Y420Planes *planes);

// Lines the planes hold for a frame height (rounded up to 2, or to 4 when interlaced) and chroma rows.
SInt32 CO_Y420LumaRowsForHeight(SInt32 height, Boolean interlaced);
SInt32 CO_Y420ChromaRowsForHeight(SInt32 height, Boolean interlaced);

// --- '2vuy' to 4:2:0 ---------------------------------------------------------------------------------------

// One step of a frame conversion to 4:2:0: the line pair starting at firstLine fills Y rows yRow and the
// one below (two below when interlaced) and chroma row chromaRow; lastLine pairs the line with itself.
struct CO_Y420LinePairStep {
  SInt32 firstLine;
  SInt32 yRow;
  SInt32 chromaRow;
  Boolean lastLine;
};

// Step `index` (from 0) of the conversion of `lines` lines; false past the last step. Progressive: pairs
// (2p, 2p + 1), an odd last line alone. Interlaced: per group of 4 lines the pairs (4q, 4q + 2) and
// (4q + 1, 4q + 3); of a remainder of 3 lines the pair (4q, 4q + 2) and line 4q + 1 alone; of 2 lines both
// alone; of 1 line line 4q alone and line 4q - 1 (line 0 when there is none) alone into the other field's
// rows, so that every chroma row the planes hold for the height is written.
Boolean CO_GetY420LinePairStep(SInt32 lines, Boolean interlaced, SInt32 index, CO_Y420LinePairStep *step);

// One line pair: the luma of inLine goes to outLineY, the partner's (the next line, two down when interlaced,
// inLine itself when lastLine is set) to the Y row one below (two when interlaced); chroma is the mean of the
// two lines rounded down. With an odd width the last chroma entry repeats the one before.
void CO_2vuyLinePairToY420(SInt32 width, SInt32 inRowBytes, const void *inLine, UInt8 *outLineY, SInt32 rowBytesY,
                           UInt8 *outLineCb, UInt8 *outLineCr, Boolean interlaced, Boolean lastLine);
// SSE: converts the width rounded up to a multiple of 16, so it reads and writes that many pixels.
void CO_2vuyLinePairToY420_Acc(SInt32 width, SInt32 inRowBytes, const void *inLine, UInt8 *outLineY,
                               SInt32 rowBytesY, UInt8 *outLineCb, UInt8 *outLineCr, Boolean interlaced);
// SSE through tempBuffer: copies the pair there at the rounded size, then converts it.
void CO_2vuyLinePairToY420_UsingLineBufferAcc(SInt32 width, SInt32 inRowBytes, const void *inLine, void *tempBuffer,
                                              UInt8 *outLineY, SInt32 rowBytesY, UInt8 *outLineCb,
                                              UInt8 *outLineCr, Boolean interlaced, Boolean lastLine);

// Whole frame into the planes after the header of outBuffer. The '2vuy' rows are inRowBytes apart.
// Remainder lines pair with themselves; a one-line remainder of an interlaced frame also fills the other
// field's rows from line 4q - 1 (line 0 in a one-line frame).
void CO_2vuyFrameToY420(SInt32 height, SInt32 width, SInt32 inRowBytes, const void *inBuffer, void *outBuffer,
                        Boolean interlaced);
// SSE: when the height rounded up to 2 (4 interlaced) does not exceed inPaddedHeight (the lines readable from
// inBuffer), the extra lines come from the input's padding instead of pairing lines with themselves. Pairs
// are converted in place when the rounded line fits within inRowBytes and the pair does not reach the last
// line; otherwise through tempBuffer (rows of the width rounded up to 32 x 2 bytes: 2 rows, 3 when
// interlaced).
void CO_2vuyFrameToY420_Acc(SInt32 height, SInt32 width, SInt32 inPaddedHeight, SInt32 inRowBytes,
                            const void *inBuffer, void *outBuffer, void *tempBuffer, Boolean interlaced);
// SSE when a flag is set, inBuffer, the plane starts and row bytes are multiples of 16 and either inRowBytes
// is a multiple of 64 (holding the rounded line) with inPaddedHeight a multiple of 4 (interlaced) or 2, or
// tempBuffer is given and 16-byte aligned. No test on the width.
void CO_2vuyFrameToY420_Uni(Boolean hasAltivec, Boolean hasSSE3, SInt32 height, SInt32 width, SInt32 inPaddedHeight,
                            SInt32 inRowBytes, const void *inBuffer, void *outBuffer, void *tempBuffer,
                            Boolean interlaced);

// Copies one '2vuy' line into tempBuffer at the rounded size (the width rounded up to 32; an odd width's extra
// pixel filled with the last luma and Cr, the rest with copies of the last pair); with lastLine also into the
// partner row (one rounded row down, two when interlaced).
void CO_Copy2vuyLinePairToY420_Size(SInt32 width, const void *inLine, void *tempBuffer, Boolean interlaced,
                                    Boolean lastLine);

// --- 4:2:0 to '2vuy' ---------------------------------------------------------------------------------------

// One line pair: outLine gets the luma of inLineY and chroma (previous row + 3 x own row) >> 2; nextOutLine,
// when given, the luma of nextInLineY and (next row + 3 x own row) >> 2. With an odd width the last pixel's
// chroma repeats the Cb of the last whole pair.
void CO_Y420_LinePairTo2vuy(SInt32 width, const UInt8 *inLineY, const UInt8 *nextInLineY, const UInt8 *prevInLineCb,
                            const UInt8 *prevInLineCr, const UInt8 *inLineCb, const UInt8 *inLineCr,
                            const UInt8 *nextInLineCb, const UInt8 *nextInLineCr, void *outLine, void *nextOutLine);
// SSE, straight into the output lines: groups of 8 pixels within min(width, numInY), any remainder untouched;
// chroma within one of the scalar result.
void CO_Y420_LinePairTo2vuyAcc(SInt32 width, SInt32 numInY, const UInt8 *inLineY, const UInt8 *nextInLineY,
                               const UInt8 *prevInLineCb, const UInt8 *prevInLineCr, const UInt8 *inLineCb,
                               const UInt8 *inLineCr, const UInt8 *nextInLineCb, const UInt8 *nextInLineCr,
                               void *outLine, void *nextOutLine);
// SSE through tempBuffer (two rows of the width rounded up to 32 x 2 bytes), copying width x 2 bytes out.
void CO_Y420_LinePairTo2vuyUsingLineBufferAcc(SInt32 width, SInt32 numInY, const UInt8 *inLineY,
                                              const UInt8 *nextInLineY, const UInt8 *prevInLineCb,
                                              const UInt8 *prevInLineCr, const UInt8 *inLineCb,
                                              const UInt8 *inLineCr, const UInt8 *nextInLineCb,
                                              const UInt8 *nextInLineCr, void *tempBuffer, void *outLine,
                                              void *nextOutLine);

// Whole 4:2:0 frame (header at the start of inBuffer) into a packed '2vuy' frame. Chroma rows are chosen
// among the rows a conversion of this height wrote (and the header holds).
void CO_Y420_FrameTo2vuy(SInt32 height, SInt32 width, const void *inBuffer, void *outBuffer, Boolean interlaced);
// tempBuffer: ((width + 31) / 32) x 128 bytes, used when the width is not a multiple of 32.
void CO_Y420_FrameTo2vuyAcc(SInt32 height, SInt32 width, const void *inBuffer, void *outBuffer, void *tempBuffer,
                            Boolean interlaced);
// SSE when a flag is set, outBuffer is 16-byte aligned, the width is a multiple of 8, the plane starts and
// row bytes are multiples of 16, and the width is a multiple of 32 or tempBuffer is given and 16-byte aligned.
void CO_Y420FrameTo2vuyUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 height, SInt32 width, const void *inBuffer,
                           void *outBuffer, void *tempBuffer, Boolean interlaced);

// The chroma rows of line pair `linePairNum` (progressive) or of chroma row `linePairNum` (interlaced):
// previous, current and next row of Cb and of Cr, each limited to the numCbLines rows given (in the same
// field when interlaced).
void CO_GetChromaInLines(const UInt8 *inBufferCb, SInt32 rowBytesCb, const UInt8 *inBufferCr, SInt32 rowBytesCr,
                         SInt32 numCbLines, SInt32 linePairNum, const UInt8 **prevInLineCb, const UInt8 **inLineCb,
                         const UInt8 **nextInLineCb, const UInt8 **prevInLineCr, const UInt8 **inLineCr,
                         const UInt8 **nextInLineCr);
void CO_GetChromaInLinesInterlaced(const UInt8 *inBufferCb, SInt32 rowBytesCb, const UInt8 *inBufferCr,
                                   SInt32 rowBytesCr, SInt32 numCbLines, SInt32 linePairNum,
                                   const UInt8 **prevInLineCb, const UInt8 **inLineCb, const UInt8 **nextInLineCb,
                                   const UInt8 **prevInLineCr, const UInt8 **inLineCr, const UInt8 **nextInLineCr);
