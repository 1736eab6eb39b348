// The two 8-bit 4:2:2 byte orders ('2vuy', the working format of every frame buffer, and 'yuv2', read
// directly from uncompressed sources), the float line through which every per-pixel colour operation works,
// and the conversions between them. Called per frame by the copy stage and by every colour module; stateless,
// so any task may call them at once on its own buffers.
//
// '2vuy' pixel pair: Cb, Y0, Cr, Y1, chroma offset binary (128 = no colour).
// 'yuv2' pixel pair: Y0, Cb, Y1, Cr, chroma two's complement (0 = no colour).
// Float line: 2 floats a pixel, per pair Y0, Cb, Y1, Cr; luma on the full-range 0..255 scale (video black
// 0.0, video white 255.0), chroma signed around 0 with +-127 as full scale. The range flag of a conversion
// says only how the bytes are read or written; the float line is always in these units. It is owned by the
// caller, one per task.
//
// Every operation has three names: the scalar version, the SSE version (suffix Acc) and the dispatcher
// (suffix Uni). Dispatch rule of the whole colour library: the Acc version runs when the width is a multiple
// of 8 and hasAltivec or hasSSE3 is set; otherwise the scalar version runs.
//
// Scalar versions step through a line two pixels at a time, so an odd width is handled as width + 1: the
// buffers given an odd width must hold one pixel more. Acc versions handle width / 8 groups of 8 pixels and
// leave any remainder untouched. Input and output may be the same buffer. Sizes of 0 or less do nothing.
#pragma once

#include "platform/core/mac_types.h"

#include <bit>

// Single-precision scales between video-range bytes and the float line (the bit patterns are part of the
// results: stored frames depend on them).
inline constexpr float kCO_LumaVideoToFullScale = std::bit_cast<float>(0x3F950A85u);    // 255/219
inline constexpr float kCO_ChromaVideoToFullScale = std::bit_cast<float>(0x3F912492u);  // 127/112
inline constexpr float kCO_LumaFullToVideoScale = std::bit_cast<float>(0x3F5BDBDCu);    // 219/255
inline constexpr float kCO_ChromaFullToVideoScale = std::bit_cast<float>(0x3F61C387u);  // 112/127

// True when a colour-library dispatcher takes the Acc version for this width.
inline bool CO_UseAccForWidth(Boolean hasAltivec, Boolean hasSSE3, SInt32 width) {
  return (width & 7) == 0 && (hasAltivec || hasSSE3);
}

// 'yuv2' line to '2vuy' line: per pair b0 b1 b2 b3 becomes b1^0x80, b0, b3^0x80, b2.
void CO_ByteSwapYuv2Line(SInt32 width, const void *inLinePtr, void *outLinePtr);
void CO_ByteSwapYuv2LineAcc(SInt32 width, const void *inLinePtr, void *outLinePtr);
void CO_ByteSwapYuv2LineUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 width, const void *inLinePtr,
                            void *outLinePtr);

// '2vuy' line to 'yuv2' line: per pair b0 b1 b2 b3 becomes b1, b0^0x80, b3, b2^0x80.
void CO_ByteSwap2vuyLine(SInt32 width, const void *inLinePtr, void *outLinePtr);
void CO_ByteSwap2vuyLineAcc(SInt32 width, const void *inLinePtr, void *outLinePtr);
void CO_ByteSwap2vuyLineUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 width, const void *inLinePtr,
                            void *outLinePtr);

// 'yuv2' frame to '2vuy' frame, `height` lines advancing by the row bytes. An odd width converts its extra
// pixel only where both row strides hold it; otherwise the last pixel is converted alone, so that nothing
// outside the rows is read or written.
void CO_ByteSwapYuv2Frame(SInt32 width, SInt32 height, const void *inPtr, void *outPtr, SInt32 inRowBytes,
                          SInt32 outRowBytes);
void CO_ByteSwapYuv2FrameAcc(SInt32 width, SInt32 height, const void *inPtr, void *outPtr, SInt32 inRowBytes,
                             SInt32 outRowBytes);
void CO_ByteSwapYuv2FrameUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 width, SInt32 height, const void *inPtr,
                             void *outPtr, SInt32 inRowBytes, SInt32 outRowBytes);

// '2vuy' frame to 'yuv2' frame; as above.
void CO_ByteSwap2vuyFrame(SInt32 width, SInt32 height, const void *inPtr, void *outPtr, SInt32 inRowBytes,
                          SInt32 outRowBytes);
void CO_ByteSwap2vuyFrameAcc(SInt32 width, SInt32 height, const void *inPtr, void *outPtr, SInt32 inRowBytes,
                             SInt32 outRowBytes);
void CO_ByteSwap2vuyFrameUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 width, SInt32 height, const void *inPtr,
                             void *outPtr, SInt32 inRowBytes, SInt32 outRowBytes);

// '2vuy' line to float line (width x 2 floats). Full range: luma = byte, chroma = byte - 128. Video range:
// (byte - 16) x 255/219 and (byte - 128) x 127/112. The Acc version gives the same floats.
void CO_2vuyLineToFloat(SInt32 width, const void *sourcePtr, float *linePtr, Boolean inputIsFullRange);

// The last pixel of a '2vuy' line of odd width as a whole pair, for line operations that work pair by pair
// and would otherwise reach one pixel past the line: its Cb and Y, the Cr of the pixel before it (128 in a
// one-pixel line) and its Y again. Operations write back bytes 0 and 1 only.
void CO_Get2vuyOddLastPair(SInt32 width, const void *line, UInt8 pair[4]);
void CO_2vuyLineToFloatAcc(SInt32 width, const void *sourcePtr, float *linePtr, Boolean inputIsFullRange);
void CO_2vuyLineToFloatUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 width, const void *sourcePtr,
                           float *linePtr, Boolean inputIsFullRange);

// Float line to '2vuy' line. The scalar packer truncates luma + 0.5 and rounds chroma half away from zero,
// clamps luma to 1..254 and chroma to 1..255. The Acc packer rounds halves upward and saturates every byte
// to 0..255, so it writes luma 0 and 255 and chroma 0 where the scalar one writes 1, 254 and 1.
// NaN packs as the lowest byte in both.
void CO_FloatLineTo2vuy(SInt32 width, void *targetPtr, const float *linePtr, Boolean outputIsFullRange);
void CO_FloatLineTo2vuyAcc(SInt32 width, void *targetPtr, const float *linePtr, Boolean outputIsFullRange);
void CO_FloatLineTo2vuyUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 width, void *targetPtr,
                           const float *linePtr, Boolean outputIsFullRange);
