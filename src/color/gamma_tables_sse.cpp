// SSE gamma of '2vuy' lines and packed frames: the polynomial curve instead of the table.
#include "color/gamma_tables.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>

#include "color/float_line_adjust.h"
#include "color/yuv422_formats.h"

void CO_Change2vuyLineGammaAcc(SInt32 width, const void *inLinePtr, void *outLinePtr, float *fpLinePtr,
                               float inGamma, float outGamma) {
  assert(width < 8 || (inLinePtr != nullptr && outLinePtr != nullptr && fpLinePtr != nullptr));
  CO_2vuyLineToFloatAcc(width, inLinePtr, fpLinePtr, false);
  CO_ChangeYuv255LineGammaAcc(width, fpLinePtr, fpLinePtr, inGamma, outGamma);
  CO_FloatLineTo2vuyAcc(width, outLinePtr, fpLinePtr, false);
}

void CO_Change2vuyLineGammaSuperAcc(SInt32 width, const void *inLinePtr, void *outLinePtr, float *fpLinePtr,
                                    float inGamma, float outGamma) {
  assert(width < 8 || (inLinePtr != nullptr && outLinePtr != nullptr && fpLinePtr != nullptr));
  CO_2vuyLineToFloatAcc(width, inLinePtr, fpLinePtr, true);
  CO_ChangeYuv255LineGammaAcc(width, fpLinePtr, fpLinePtr, inGamma, outGamma);
  // Where the curve puts video black and white, from the power function itself.
  const float g = inGamma / outGamma;
  const float lo = 255.0f * std::pow(16.0f / 255.0f, g);
  const float hi = 255.0f * std::pow(235.0f / 255.0f, g);
  const float blackLevel = hi * 16.0f / -235.0f + lo;
  const float invBrScale = 235.0f / (hi - blackLevel);
  CO_ChangeYuv255LineContrSatAcc(width, fpLinePtr, fpLinePtr, blackLevel, invBrScale, 1.0f);
  CO_FloatLineTo2vuyAcc(width, outLinePtr, fpLinePtr, true);
}

namespace {

constexpr SInt32 kLocalLinePixels = 512;  // a multiple of 8, so the pieces of a line stay whole groups

// Packed lines through lineOp(width, in, out, fp), with the caller's float line or a local one.
template <typename LineOp>
void RunPackedLines(SInt32 height, SInt32 width, const void *inBuffer, void *outBuffer, float *fpLine,
                    LineOp lineOp) {
  if (height <= 0 || width <= 0) return;
  alignas(64) float local[kLocalLinePixels * 2];
  const ptrdiff_t rowBytes = 2 * static_cast<ptrdiff_t>(width);
  const UInt8 *in = static_cast<const UInt8 *>(inBuffer);
  UInt8 *out = static_cast<UInt8 *>(outBuffer);
  for (SInt32 y = 0; y < height; ++y, in += rowBytes, out += rowBytes) {
    if (fpLine) {
      lineOp(width, in, out, fpLine);
      continue;
    }
    for (SInt32 x = 0; x < width; x += kLocalLinePixels) {
      lineOp(std::min(kLocalLinePixels, width - x), in + 2 * static_cast<ptrdiff_t>(x),
             out + 2 * static_cast<ptrdiff_t>(x), local);
    }
  }
}

}  // namespace

void CO_2vuyFrameChangeGammaAcc(SInt32 height, SInt32 width, const void *inBuffer, void *outBuffer, float *fpLine,
                                float inGamma, float outGamma) {
  assert(height <= 0 || width < 8 || (inBuffer != nullptr && outBuffer != nullptr));  // fpLine NULL: a local one
  RunPackedLines(height, width, inBuffer, outBuffer, fpLine, [=](SInt32 w, const void *in, void *out, float *fp) {
    CO_Change2vuyLineGammaAcc(w, in, out, fp, inGamma, outGamma);
  });
}

void CO_2vuyFrameChangeGammaSuperAcc(SInt32 height, SInt32 width, const void *inBuffer, void *outBuffer,
                                     float *fpLine, float inGamma, float outGamma) {
  assert(height <= 0 || width < 8 || (inBuffer != nullptr && outBuffer != nullptr));  // fpLine NULL: a local one
  RunPackedLines(height, width, inBuffer, outBuffer, fpLine, [=](SInt32 w, const void *in, void *out, float *fp) {
    CO_Change2vuyLineGammaSuperAcc(w, in, out, fp, inGamma, outGamma);
  });
}
