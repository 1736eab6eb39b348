// Scalar versions and dispatchers of the 4:2:2 byte swaps and float-line conversions (the Acc versions are
// in yuv422_formats_sse.cpp). Stateless; called on any task.
#include "color/yuv422_formats.h"

#include <cstddef>

namespace {

// Keeps a value inside what an int holds before truncation; NaN goes to the low end, as the packers want.
inline float SafeForTrunc(float v) {
  if (!(v >= -4096.0f)) return -4096.0f;
  if (v > 4096.0f) return 4096.0f;
  return v;
}

inline UInt8 PackLuma(float y) {
  SInt32 v = SInt32(SafeForTrunc(y + 0.5f));
  if (v < 1) v = 1;
  if (v > 254) v = 254;
  return UInt8(v);
}

// Rounds half away from zero, clamps to -127..127 and offsets by 128.
inline UInt8 PackChroma(float c) {
  SInt32 v = c > 0.0f ? SInt32(SafeForTrunc(c + 0.5f)) : SInt32(SafeForTrunc(c - 0.5f));
  if (v < -127) v = -127;
  if (v > 127) v = 127;
  return UInt8(v + 128);
}

inline void SwapYuv2PairTo2vuy(const UInt8 *in, UInt8 *out) {
  UInt8 b0 = in[0], b1 = in[1], b2 = in[2], b3 = in[3];
  out[0] = UInt8(b1 ^ 0x80);
  out[1] = b0;
  out[2] = UInt8(b3 ^ 0x80);
  out[3] = b2;
}

inline void Swap2vuyPairToYuv2(const UInt8 *in, UInt8 *out) {
  UInt8 b0 = in[0], b1 = in[1], b2 = in[2], b3 = in[3];
  out[0] = b1;
  out[1] = UInt8(b0 ^ 0x80);
  out[2] = b3;
  out[3] = UInt8(b2 ^ 0x80);
}

typedef void (*LineSwapProc)(SInt32, const void *, void *);

// Runs a scalar line swap over a frame. With an odd width the line routine would touch one pixel past the
// width; that pixel belongs to the rows only when both strides hold it. Otherwise (packed rows) it is the
// next row's first pixel, and in the last row it lies outside the frame, so the last pixel is swapped alone.
void SwapFrame(LineSwapProc line, bool toYuv2, SInt32 width, SInt32 height, const void *inPtr, void *outPtr,
               SInt32 inRowBytes, SInt32 outRowBytes) {
  if (width <= 0 || height <= 0) return;
  const bool extraPixelFits = (width & 1) == 0 || (inRowBytes >= 2 * (width + 1) && outRowBytes >= 2 * (width + 1));
  const SInt32 lineWidth = extraPixelFits ? width : width - 1;
  auto *in = static_cast<const UInt8 *>(inPtr);
  auto *out = static_cast<UInt8 *>(outPtr);
  for (SInt32 y = 0; y < height; ++y) {
    const UInt8 *inLine = in + ptrdiff_t(y) * inRowBytes;
    UInt8 *outLine = out + ptrdiff_t(y) * outRowBytes;
    line(lineWidth, inLine, outLine);
    if (!extraPixelFits) {
      // The lone pixel's 16-bit unit is swapped like either half of a pair.
      const UInt8 *p = inLine + 2 * ptrdiff_t(width - 1);
      UInt8 b0 = p[0], b1 = p[1];
      UInt8 *q = outLine + 2 * ptrdiff_t(width - 1);
      if (toYuv2) {
        q[0] = b1;
        q[1] = UInt8(b0 ^ 0x80);
      } else {
        q[0] = UInt8(b1 ^ 0x80);
        q[1] = b0;
      }
    }
  }
}

}  // namespace

void CO_ByteSwapYuv2Line(SInt32 width, const void *inLinePtr, void *outLinePtr) {
  auto *in = static_cast<const UInt8 *>(inLinePtr);
  auto *out = static_cast<UInt8 *>(outLinePtr);
  for (SInt32 i = 0; i < width; i += 2) SwapYuv2PairTo2vuy(in + 2 * ptrdiff_t(i), out + 2 * ptrdiff_t(i));
}

void CO_ByteSwapYuv2LineUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 width, const void *inLinePtr,
                            void *outLinePtr) {
  if (CO_UseAccForWidth(hasAltivec, hasSSE3, width))
    CO_ByteSwapYuv2LineAcc(width, inLinePtr, outLinePtr);
  else
    CO_ByteSwapYuv2Line(width, inLinePtr, outLinePtr);
}

void CO_ByteSwap2vuyLine(SInt32 width, const void *inLinePtr, void *outLinePtr) {
  auto *in = static_cast<const UInt8 *>(inLinePtr);
  auto *out = static_cast<UInt8 *>(outLinePtr);
  for (SInt32 i = 0; i < width; i += 2) Swap2vuyPairToYuv2(in + 2 * ptrdiff_t(i), out + 2 * ptrdiff_t(i));
}

void CO_ByteSwap2vuyLineUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 width, const void *inLinePtr,
                            void *outLinePtr) {
  if (CO_UseAccForWidth(hasAltivec, hasSSE3, width))
    CO_ByteSwap2vuyLineAcc(width, inLinePtr, outLinePtr);
  else
    CO_ByteSwap2vuyLine(width, inLinePtr, outLinePtr);
}

void CO_ByteSwapYuv2Frame(SInt32 width, SInt32 height, const void *inPtr, void *outPtr, SInt32 inRowBytes,
                          SInt32 outRowBytes) {
  SwapFrame(CO_ByteSwapYuv2Line, false, width, height, inPtr, outPtr, inRowBytes, outRowBytes);
}

void CO_ByteSwapYuv2FrameUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 width, SInt32 height, const void *inPtr,
                             void *outPtr, SInt32 inRowBytes, SInt32 outRowBytes) {
  if (CO_UseAccForWidth(hasAltivec, hasSSE3, width))
    CO_ByteSwapYuv2FrameAcc(width, height, inPtr, outPtr, inRowBytes, outRowBytes);
  else
    CO_ByteSwapYuv2Frame(width, height, inPtr, outPtr, inRowBytes, outRowBytes);
}

void CO_ByteSwap2vuyFrame(SInt32 width, SInt32 height, const void *inPtr, void *outPtr, SInt32 inRowBytes,
                          SInt32 outRowBytes) {
  SwapFrame(CO_ByteSwap2vuyLine, true, width, height, inPtr, outPtr, inRowBytes, outRowBytes);
}

void CO_ByteSwap2vuyFrameUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 width, SInt32 height, const void *inPtr,
                             void *outPtr, SInt32 inRowBytes, SInt32 outRowBytes) {
  if (CO_UseAccForWidth(hasAltivec, hasSSE3, width))
    CO_ByteSwap2vuyFrameAcc(width, height, inPtr, outPtr, inRowBytes, outRowBytes);
  else
    CO_ByteSwap2vuyFrame(width, height, inPtr, outPtr, inRowBytes, outRowBytes);
}

void CO_Get2vuyOddLastPair(SInt32 width, const void *line, UInt8 pair[4]) {
  const UInt8 *last = static_cast<const UInt8 *>(line) + 2 * ptrdiff_t(width - 1);
  pair[0] = last[0];
  pair[1] = last[1];
  pair[2] = width >= 3 ? last[-2] : UInt8(128);
  pair[3] = last[1];
}

void CO_2vuyLineToFloat(SInt32 width, const void *sourcePtr, float *linePtr, Boolean inputIsFullRange) {
  auto *src = static_cast<const UInt8 *>(sourcePtr);
  if (inputIsFullRange) {
    for (SInt32 i = 0; i < width; i += 2, src += 4, linePtr += 4) {
      linePtr[0] = float(src[1]);
      linePtr[1] = float(SInt32(src[0]) - 128);
      linePtr[2] = float(src[3]);
      linePtr[3] = float(SInt32(src[2]) - 128);
    }
  } else {
    for (SInt32 i = 0; i < width; i += 2, src += 4, linePtr += 4) {
      linePtr[0] = float(SInt32(src[1]) - 16) * kCO_LumaVideoToFullScale;
      linePtr[1] = float(SInt32(src[0]) - 128) * kCO_ChromaVideoToFullScale;
      linePtr[2] = float(SInt32(src[3]) - 16) * kCO_LumaVideoToFullScale;
      linePtr[3] = float(SInt32(src[2]) - 128) * kCO_ChromaVideoToFullScale;
    }
  }
}

void CO_2vuyLineToFloatUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 width, const void *sourcePtr,
                           float *linePtr, Boolean inputIsFullRange) {
  if (CO_UseAccForWidth(hasAltivec, hasSSE3, width))
    CO_2vuyLineToFloatAcc(width, sourcePtr, linePtr, inputIsFullRange);
  else
    CO_2vuyLineToFloat(width, sourcePtr, linePtr, inputIsFullRange);
}

void CO_FloatLineTo2vuy(SInt32 width, void *targetPtr, const float *linePtr, Boolean outputIsFullRange) {
  auto *dst = static_cast<UInt8 *>(targetPtr);
  if (outputIsFullRange) {
    for (SInt32 i = 0; i < width; i += 2, dst += 4, linePtr += 4) {
      UInt8 y0 = PackLuma(linePtr[0]);
      UInt8 cb = PackChroma(linePtr[1]);
      UInt8 y1 = PackLuma(linePtr[2]);
      UInt8 cr = PackChroma(linePtr[3]);
      dst[0] = cb;
      dst[1] = y0;
      dst[2] = cr;
      dst[3] = y1;
    }
  } else {
    for (SInt32 i = 0; i < width; i += 2, dst += 4, linePtr += 4) {
      // Product and sums in single precision, in this order.
      UInt8 y0 = PackLuma(linePtr[0] * kCO_LumaFullToVideoScale + 16.0f);
      UInt8 cb = PackChroma(linePtr[1] * kCO_ChromaFullToVideoScale);
      UInt8 y1 = PackLuma(linePtr[2] * kCO_LumaFullToVideoScale + 16.0f);
      UInt8 cr = PackChroma(linePtr[3] * kCO_ChromaFullToVideoScale);
      dst[0] = cb;
      dst[1] = y0;
      dst[2] = cr;
      dst[3] = y1;
    }
  }
}

void CO_FloatLineTo2vuyUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 width, void *targetPtr,
                           const float *linePtr, Boolean outputIsFullRange) {
  if (CO_UseAccForWidth(hasAltivec, hasSSE3, width))
    CO_FloatLineTo2vuyAcc(width, targetPtr, linePtr, outputIsFullRange);
  else
    CO_FloatLineTo2vuy(width, targetPtr, linePtr, outputIsFullRange);
}
