#include "color/gamma_tables.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "color/float_line_adjust.h"
#include "color/yuv422_formats.h"

namespace {

// trunc(0.5 + 1024 · (i/1024)^e) for every i. A gamma of zero, a negative one or NaN can give values
// outside 16 bits (up to infinity); they are held to the entry's range instead of converted blindly.
void FillPowerTable(double e, UInt16 *table) {
  for (int i = 0; i < kCO_RGBTableEntries; ++i) {
    const double v = 0.5 + 1024.0 * std::pow(i / 1024.0, e);
    if (v >= 0.0 && v < 65536.0) {
      table[i] = static_cast<UInt16>(v);
    } else {
      table[i] = v >= 65536.0 ? 65535 : 0;
    }
  }
}

}  // namespace

void CO_MakeRGBTable(float inGamma, float outGamma, UInt16 *newRGB) {
  const float e = inGamma / outGamma;
  FillPowerTable(e, newRGB);
}

void CO_MakeBrightnessTable(float brightness, UInt16 *newY) { FillPowerTable(1.0 / brightness, newY); }

// ---------------------------------------------------------------------------------------------------
// '2vuy' lines.

namespace {

// The Super variants' contrast step: maps the curve's black `lo` to 0 and its white `hi` to 235, so that
// video white stays at 235 whatever the curve does to it.
void SuperContrastStep(SInt32 width, float *fp, const UInt16 *table) {
  const float lo = static_cast<float>(table[64] / 4.0);
  const float hi = static_cast<float>(table[940] / 4.0);
  const float blackLevel = hi * 16.0f / -235.0f + lo;
  const float invBrScale = 235.0f / (hi - blackLevel);
  CO_ChangeYuv255LineContrast(width, fp, fp, blackLevel, invBrScale);
}

}  // namespace

void CO_Change2vuyLineGamma(SInt32 width, const void *inLinePtr, void *outLinePtr, float *fpLinePtr,
                            const UInt16 *newRGB) {
  CO_2vuyLineToFloat(width, inLinePtr, fpLinePtr, false);
  CO_ChangeYuv255LineGamma(width, fpLinePtr, fpLinePtr, newRGB);
  CO_FloatLineTo2vuy(width, outLinePtr, fpLinePtr, false);
}

void CO_Change2vuyLineGammaSuper(SInt32 width, const void *inLinePtr, void *outLinePtr, float *fpLinePtr,
                                 const UInt16 *newRGB) {
  CO_2vuyLineToFloat(width, inLinePtr, fpLinePtr, true);
  CO_ChangeYuv255LineGamma(width, fpLinePtr, fpLinePtr, newRGB);
  SuperContrastStep(width, fpLinePtr, newRGB);
  CO_FloatLineTo2vuy(width, outLinePtr, fpLinePtr, true);
}

void CO_Change2vuyLineBrightnessSuper(SInt32 width, const void *inLinePtr, void *outLinePtr, float *fpLinePtr,
                                      const UInt16 *newY) {
  CO_2vuyLineToFloat(width, inLinePtr, fpLinePtr, true);
  CO_ChangeYuv255LineBrightness(width, fpLinePtr, fpLinePtr, newY);
  SuperContrastStep(width, fpLinePtr, newY);
  CO_FloatLineTo2vuy(width, outLinePtr, fpLinePtr, true);
}

void CO_Change2vuyLineContrBrSatSuper(SInt32 width, const void *inLinePtr, void *outLinePtr, float *fpLinePtr,
                                      float blackLevel, float invBrScale, const UInt16 *newY, float satScale) {
  CO_2vuyLineToFloat(width, inLinePtr, fpLinePtr, true);
  CO_ChangeYuv255LineContrBrSat(width, fpLinePtr, fpLinePtr, blackLevel, invBrScale, newY, satScale);
  // Maps the table's levels at 16 and 235 to 16 and 235: the black level is stretched by 235/219.
  const float lo = static_cast<float>(newY[64] / 4.0);
  const float hi = static_cast<float>(newY[940] / 4.0);
  const float blackLevel2 = static_cast<float>((lo + static_cast<double>(hi) * 16.0 / -235.0) / 0.9319148936170213);
  const float invBrScale2 = 235.0f / (hi - blackLevel2);
  CO_ChangeYuv255LineContrast(width, fpLinePtr, fpLinePtr, blackLevel2, invBrScale2);
  CO_FloatLineTo2vuy(width, outLinePtr, fpLinePtr, true);
}

// ---------------------------------------------------------------------------------------------------
// Frames.

namespace {

// Pixels a line is worked on at a time when the caller gives no float line: every operation here works
// pair by pair, so a line done in pieces gives what it gives whole, and no allocation can fail.
constexpr SInt32 kLocalLinePixels = 512;

// Runs lineOp(width, in, out, fp) over `height` rows, with the caller's float line or a local one. The line
// operations work pair by pair: an odd width's last pixel is done alone as a pair of its own
// (CO_Get2vuyOddLastPair), so nothing past the row, the frame or the float line is read or written.
template <typename LineOp>
void RunLines(SInt32 height, SInt32 width, const void *inPtr, void *outPtr, float *fpLine, SInt32 inRowBytes,
              SInt32 outRowBytes, LineOp lineOp) {
  alignas(64) float local[kLocalLinePixels * 2];
  const SInt32 evenWidth = width & ~1;
  const UInt8 *in = static_cast<const UInt8 *>(inPtr);
  UInt8 *out = static_cast<UInt8 *>(outPtr);
  for (SInt32 y = 0; y < height; ++y, in += inRowBytes, out += outRowBytes) {
    if (width & 1) {
      // Taken before the even part runs: in place, that part does not reach the last pixel anyway.
      UInt8 pair[4];
      CO_Get2vuyOddLastPair(width, in, pair);
      lineOp(2, pair, pair, local);
      UInt8 *last = out + 2 * static_cast<ptrdiff_t>(width - 1);
      last[0] = pair[0];
      last[1] = pair[1];
    }
    if (fpLine) {
      if (evenWidth > 0) lineOp(evenWidth, in, out, fpLine);
      continue;
    }
    for (SInt32 x = 0; x < evenWidth; x += kLocalLinePixels) {
      lineOp(std::min(kLocalLinePixels, evenWidth - x), in + 2 * static_cast<ptrdiff_t>(x),
             out + 2 * static_cast<ptrdiff_t>(x), local);
    }
  }
}

}  // namespace

void CO_2vuyFrameChangeGamma(SInt32 height, SInt32 width, const void *inPtr, void *outPtr, float *fpLine,
                             SInt32 inRowBytes, SInt32 outRowBytes, float inGamma, float outGamma,
                             const UInt16 *newRGB) {
  if (height <= 0 || width <= 0) return;
  UInt16 localTable[kCO_RGBTableEntries];
  if (newRGB == nullptr) {
    CO_MakeRGBTable(inGamma, outGamma, localTable);
    newRGB = localTable;
  }
  RunLines(height, width, inPtr, outPtr, fpLine, inRowBytes, outRowBytes,
           [newRGB](SInt32 w, const void *in, void *out, float *fp) { CO_Change2vuyLineGamma(w, in, out, fp, newRGB); });
}

void CO_2vuyFrameChangeGammaSuper(SInt32 height, SInt32 width, const void *inPtr, void *outPtr, float *fpLine,
                                  SInt32 inRowBytes, SInt32 outRowBytes, float inGamma, float outGamma,
                                  const UInt16 *newRGB) {
  if (height <= 0 || width <= 0) return;
  UInt16 localTable[kCO_RGBTableEntries];
  if (newRGB == nullptr) {
    CO_MakeRGBTable(inGamma, outGamma, localTable);
    newRGB = localTable;
  }
  if (inRowBytes == 0) inRowBytes = width * 2;
  if (outRowBytes == 0) outRowBytes = width * 2;
  RunLines(height, width, inPtr, outPtr, fpLine, inRowBytes, outRowBytes,
           [newRGB](SInt32 w, const void *in, void *out, float *fp) {
             CO_Change2vuyLineGammaSuper(w, in, out, fp, newRGB);
           });
}

void CO_2vuyFrameChangeGammaUni(int hasAltivec, int hasSSE3, SInt32 height, SInt32 width, const void *inBuffer,
                                void *outBuffer, float *fpLine, SInt32 inRowBytes, SInt32 outRowBytes,
                                float inGamma, float outGamma, const UInt16 *newRGB) {
  if (!CO_UseAccForWidth(hasAltivec != 0, hasSSE3 != 0, width)) {
    CO_2vuyFrameChangeGamma(height, width, inBuffer, outBuffer, fpLine, inRowBytes, outRowBytes, inGamma, outGamma,
                            newRGB);
  } else if ((inRowBytes == 0 || inRowBytes == width * 2) && (outRowBytes == 0 || outRowBytes == width * 2)) {
    CO_2vuyFrameChangeGammaAcc(height, width, inBuffer, outBuffer, fpLine, inGamma, outGamma);
  } else {
    // The SSE frame operation knows only packed rows; rows with gaps go line by line.
    RunLines(height, width, inBuffer, outBuffer, fpLine, inRowBytes, outRowBytes,
             [=](SInt32 w, const void *in, void *out, float *fp) {
               CO_Change2vuyLineGammaAcc(w, in, out, fp, inGamma, outGamma);
             });
  }
}

void CO_2vuyFrameChangeGammaSuperUni(int hasAltivec, int hasSSE3, SInt32 width, SInt32 height, const void *inPtr,
                                     void *outPtr, float *fpLine, SInt32 inRowBytes, SInt32 outRowBytes,
                                     float inGamma, float outGamma, const UInt16 *newRGB) {
  if (!CO_UseAccForWidth(hasAltivec != 0, hasSSE3 != 0, width)) {
    CO_2vuyFrameChangeGammaSuper(height, width, inPtr, outPtr, fpLine, inRowBytes, outRowBytes, inGamma, outGamma,
                                 newRGB);
  } else if ((inRowBytes == 0 || inRowBytes == width * 2) && (outRowBytes == 0 || outRowBytes == width * 2)) {
    CO_2vuyFrameChangeGammaSuperAcc(height, width, inPtr, outPtr, fpLine, inGamma, outGamma);
  } else {
    RunLines(height, width, inPtr, outPtr, fpLine, inRowBytes, outRowBytes,
             [=](SInt32 w, const void *in, void *out, float *fp) {
               CO_Change2vuyLineGammaSuperAcc(w, in, out, fp, inGamma, outGamma);
             });
  }
}
