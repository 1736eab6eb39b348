// Scalar ARGB conversions and the dispatchers. The derived colour factors are formed from the weights in
// single precision; the SSE versions hold rounded constants instead, which can differ in the last bit.
#include "color/argb_conversions.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "color/gamma_tables.h"
#include "color/yuv422_formats.h"

namespace {

constexpr float kKr = 0.299f;
constexpr float kKg = 0.587f;
constexpr float kKb = 0.114f;

struct Factors {
  float kr, kg, kb;
  float crToR, cbToB, invKg, bToCb, rToCr;
};

constexpr Factors MakeFactors() {
  Factors f{};
  f.kr = kKr;
  f.kg = kKg;
  f.kb = kKb;
  f.crToR = (1.0f - f.kr) + (1.0f - f.kr);
  f.cbToB = (1.0f - f.kb) + (1.0f - f.kb);
  f.invKg = 1.0f / f.kg;
  f.bToCb = 0.5f / (1.0f - f.kb);
  f.rToCr = 0.5f / (1.0f - f.kr);
  return f;
}

// Every level here comes from 8-bit inputs and stays within a few hundred, so it converts to int safely;
// the clamps are then integer selects, without branches on the data.

// trunc(v + 0.5) clamped to lo..hi.
inline int RoundClamp(float v, int lo, int hi) { return std::clamp(static_cast<int>(v + 0.5f), lo, hi); }

// Chroma rounded half away from zero, clamped to -127..127, stored offset by 128.
inline UInt8 PackChroma(float c) {
  return static_cast<UInt8>(std::clamp(static_cast<int>(c + std::copysign(0.5f, c)), -127, 127) + 128);
}

// Table index trunc(4·v + 0.5) limited to level 1..255.
inline int TableIndex(float v) { return std::clamp(static_cast<int>(4.0f * v + 0.5f), 4, 1020); }

struct PairRgb {
  float r[2], g[2], b[2];
};

// Steps 1 to 3 of the '2vuy' to RGB conversion for one pair: both pixels with the pair's chroma.
inline PairRgb PairToRgb(const UInt8 *p, bool fullRange, const Factors &f) {
  float cb = static_cast<float>(p[0] - 128);
  float cr = static_cast<float>(p[2] - 128);
  float y[2];
  if (fullRange) {
    y[0] = static_cast<float>(p[1]);
    y[1] = static_cast<float>(p[3]);
  } else {
    y[0] = static_cast<float>(p[1] - 16) * kCO_LumaVideoToFullScale;
    y[1] = static_cast<float>(p[3] - 16) * kCO_LumaVideoToFullScale;
    cb *= kCO_ChromaVideoToFullScale;
    cr *= kCO_ChromaVideoToFullScale;
  }
  PairRgb c;
  for (int i = 0; i < 2; ++i) {
    c.r[i] = f.crToR * cr + y[i];
    c.b[i] = f.cbToB * cb + y[i];
    c.g[i] = ((y[i] - f.kr * c.r[i]) - f.kb * c.b[i]) * f.invKg;
  }
  return c;
}

// Luma and the first pixel's chroma of a pair of RGB pixels, packed as '2vuy'; `scale` takes levels on
// another scale back to 0..255 before the range compression.
inline void PackPair(const float r[2], const float g[2], const float b[2], bool fullRange, float scale,
                     const Factors &f, UInt8 *out) {
  float y[2];
  for (int i = 0; i < 2; ++i) y[i] = (f.kr * r[i] + f.kg * g[i]) + f.kb * b[i];
  float cb = (b[0] - y[0]) * f.bToCb;
  float cr = (r[0] - y[0]) * f.rToCr;
  if (scale != 1.0f) {
    y[0] *= scale;
    y[1] *= scale;
    cb *= scale;
    cr *= scale;
  }
  if (!fullRange) {
    y[0] = 16.0f + y[0] * kCO_LumaFullToVideoScale;
    y[1] = 16.0f + y[1] * kCO_LumaFullToVideoScale;
    cb *= kCO_ChromaFullToVideoScale;
    cr *= kCO_ChromaFullToVideoScale;
  }
  out[0] = PackChroma(cb);
  out[1] = static_cast<UInt8>(RoundClamp(y[0], 1, 254));
  out[2] = PackChroma(cr);
  out[3] = static_cast<UInt8>(RoundClamp(y[1], 1, 254));
}

}  // namespace

// --- Lines ----------------------------------------------------------------------------------------------

void CO_2vuyLineToARGB(SInt32 width, const void *inLine, void *outLine, Boolean inputIsFullRange) {
  constexpr Factors f = MakeFactors();
  const UInt8 *in = static_cast<const UInt8 *>(inLine);
  UInt8 *out = static_cast<UInt8 *>(outLine);
  for (SInt32 pair = 0; pair < width / 2; ++pair, in += 4, out += 8) {
    const PairRgb c = PairToRgb(in, inputIsFullRange != 0, f);
    for (int i = 0; i < 2; ++i) {
      out[4 * i + 0] = 255;
      out[4 * i + 1] = static_cast<UInt8>(RoundClamp(c.r[i], 0, 255));
      out[4 * i + 2] = static_cast<UInt8>(RoundClamp(c.g[i], 0, 255));
      out[4 * i + 3] = static_cast<UInt8>(RoundClamp(c.b[i], 0, 255));
    }
  }
}

void CO_2vuyLineToARGB_ChangeGamma(SInt32 width, const void *inLine, void *outLine, Boolean inputIsFullRange,
                                   const UInt16 *newRGB) {
  constexpr Factors f = MakeFactors();
  const UInt8 *in = static_cast<const UInt8 *>(inLine);
  UInt8 *out = static_cast<UInt8 *>(outLine);
  for (SInt32 pair = 0; pair < width / 2; ++pair, in += 4, out += 8) {
    const PairRgb c = PairToRgb(in, inputIsFullRange != 0, f);
    for (int i = 0; i < 2; ++i) {
      out[4 * i + 0] = 255;
      out[4 * i + 1] = static_cast<UInt8>(newRGB[TableIndex(c.r[i])] >> 2);
      out[4 * i + 2] = static_cast<UInt8>(newRGB[TableIndex(c.g[i])] >> 2);
      out[4 * i + 3] = static_cast<UInt8>(newRGB[TableIndex(c.b[i])] >> 2);
    }
  }
}

void CO_ARGB_LineTo2vuy(SInt32 width, const void *inLine, void *outLine, Boolean outputIsFullRange) {
  constexpr Factors f = MakeFactors();
  const UInt8 *in = static_cast<const UInt8 *>(inLine);
  UInt8 *out = static_cast<UInt8 *>(outLine);
  for (SInt32 pair = 0; pair < width / 2; ++pair, in += 8, out += 4) {
    const float r[2] = {static_cast<float>(in[1]), static_cast<float>(in[5])};
    const float g[2] = {static_cast<float>(in[2]), static_cast<float>(in[6])};
    const float b[2] = {static_cast<float>(in[3]), static_cast<float>(in[7])};
    PackPair(r, g, b, outputIsFullRange != 0, 1.0f, f, out);
  }
}

void CO_ARGB_LineTo2vuy_ChangeGamma(SInt32 width, const void *inLine, void *outLine, Boolean outputIsFullRange,
                                    const UInt16 *newRGB) {
  constexpr Factors f = MakeFactors();
  const UInt8 *in = static_cast<const UInt8 *>(inLine);
  UInt8 *out = static_cast<UInt8 *>(outLine);
  for (SInt32 pair = 0; pair < width / 2; ++pair, in += 8, out += 4) {
    // Levels on the table's 4 × scale, brought back by the 0.25 in PackPair.
    const float r[2] = {static_cast<float>(newRGB[4 * in[1]]), static_cast<float>(newRGB[4 * in[5]])};
    const float g[2] = {static_cast<float>(newRGB[4 * in[2]]), static_cast<float>(newRGB[4 * in[6]])};
    const float b[2] = {static_cast<float>(newRGB[4 * in[3]]), static_cast<float>(newRGB[4 * in[7]])};
    PackPair(r, g, b, outputIsFullRange != 0, 0.25f, f, out);
  }
}

void CO_ARGB_LineChangeGamma(SInt32 width, const void *inLine, void *outLine, const UInt16 *newRGB) {
  if (newRGB == nullptr) return;
  const UInt8 *in = static_cast<const UInt8 *>(inLine);
  UInt8 *out = static_cast<UInt8 *>(outLine);
  for (SInt32 x = 0; x < width; ++x, in += 4, out += 4) {
    const UInt8 a = in[0], r = in[1], g = in[2], b = in[3];
    out[0] = a;
    out[1] = static_cast<UInt8>(std::min((newRGB[4 * r] + 2) >> 2, 255));
    out[2] = static_cast<UInt8>(std::min((newRGB[4 * g] + 2) >> 2, 255));
    out[3] = static_cast<UInt8>(std::min((newRGB[4 * b] + 2) >> 2, 255));
  }
}

// --- Frames ---------------------------------------------------------------------------------------------

namespace {

inline const UInt8 *Advance(const void *p, ptrdiff_t bytes) { return static_cast<const UInt8 *>(p) + bytes; }
inline UInt8 *Advance(void *p, ptrdiff_t bytes) { return static_cast<UInt8 *>(p) + bytes; }

inline bool Packed(SInt32 rowBytes, SInt32 packedBytes) { return rowBytes == 0 || rowBytes == packedBytes; }

}  // namespace

void CO_ARGB_FrameTo2vuy(SInt32 width, SInt32 height, const void *sourcePtr, void *targetPtr,
                         Boolean outputIsFullRange) {
  for (SInt32 y = 0; y < height; ++y) {
    CO_ARGB_LineTo2vuy(width, Advance(sourcePtr, ptrdiff_t(y) * width * 4), Advance(targetPtr, ptrdiff_t(y) * width * 2),
                       outputIsFullRange);
  }
}

void CO_ARGB_FrameTo2vuyUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 height, SInt32 width, const void *sourcePtr,
                            void *targetPtr, Boolean outputIsFullRange) {
  if (CO_UseAccForWidth(hasAltivec, hasSSE3, width)) {
    CO_ARGB_FrameTo2vuyAcc(height, width, sourcePtr, targetPtr, outputIsFullRange);
  } else {
    CO_ARGB_FrameTo2vuy(width, height, sourcePtr, targetPtr, outputIsFullRange);
  }
}

void CO_ARGB_FrameTo2vuyChangeGamma(SInt32 width, SInt32 height, void *sourcePtr, void *targetPtr,
                                    Boolean outputIsFullRange, float inGamma, float outGamma, const UInt16 *newRGB) {
  if (height <= 0 || width < 2) return;
  // A table on the stack: the frame is always converted, no allocation can fail.
  UInt16 localTable[kCO_RGBTableEntries];
  if (newRGB == nullptr) {
    CO_MakeRGBTable(inGamma, outGamma, localTable);
    newRGB = localTable;
  }
  for (SInt32 y = 0; y < height; ++y) {
    UInt8 *source = Advance(sourcePtr, ptrdiff_t(y) * width * 4);
    CO_ARGB_LineChangeGamma(width, source, source, newRGB);
    CO_ARGB_LineTo2vuy(width, source, Advance(targetPtr, ptrdiff_t(y) * width * 2), outputIsFullRange);
  }
}

void CO_ARGB_FrameTo2vuyChangeGammaUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 width, SInt32 height,
                                       void *sourcePtr, void *targetPtr, Boolean outputIsFullRange, float inGamma,
                                       float outGamma, const UInt16 *newRGB) {
  if (CO_UseAccForWidth(hasAltivec, hasSSE3, width)) {
    CO_ARGB_FrameTo2vuyChangeGammaAcc(width, height, sourcePtr, targetPtr, outputIsFullRange, inGamma, outGamma);
  } else {
    CO_ARGB_FrameTo2vuyChangeGamma(width, height, sourcePtr, targetPtr, outputIsFullRange, inGamma, outGamma, newRGB);
  }
}

void CO_2vuyFrameToARGB(SInt32 width, SInt32 height, const void *inPtr, void *outPtr, Boolean inputIsFullRange,
                        SInt32 inRowBytes, SInt32 outRowBytes) {
  for (SInt32 y = 0; y < height; ++y) {
    CO_2vuyLineToARGB(width, Advance(inPtr, ptrdiff_t(y) * inRowBytes), Advance(outPtr, ptrdiff_t(y) * outRowBytes),
                      inputIsFullRange);
  }
}

void CO_2vuyFrameToARGB_Uni(Boolean hasAltivec, Boolean hasSSE3, SInt32 width, SInt32 height, const void *inPtr,
                            void *outPtr, Boolean inputIsFullRange, SInt32 inRowBytes, SInt32 outRowBytes) {
  if (!CO_UseAccForWidth(hasAltivec, hasSSE3, width)) {
    CO_2vuyFrameToARGB(width, height, inPtr, outPtr, inputIsFullRange, inRowBytes, outRowBytes);
  } else if (Packed(inRowBytes, width * 2) && Packed(outRowBytes, width * 4)) {
    CO_2vuyFrameToARGB_Acc(height, width, inPtr, outPtr, inputIsFullRange);
  } else {
    // The SSE frame knows only packed rows; rows with gaps (preview pixel maps) go line by line.
    for (SInt32 y = 0; y < height; ++y) {
      CO_2vuyLineToARGB_Acc(width, Advance(inPtr, ptrdiff_t(y) * inRowBytes),
                            Advance(outPtr, ptrdiff_t(y) * outRowBytes), inputIsFullRange);
    }
  }
}

void CO_2vuyFrameToARGB_ChangeGamma(SInt32 width, SInt32 height, const void *inPtr, void *outPtr,
                                    Boolean inputIsFullRange, SInt32 inRowBytes, SInt32 outRowBytes, float inGamma,
                                    float outGamma, const UInt16 *newRGB) {
  if (height <= 0 || width < 2) return;
  UInt16 localTable[kCO_RGBTableEntries];
  if (newRGB == nullptr) {
    CO_MakeRGBTable(inGamma, outGamma, localTable);
    newRGB = localTable;
  }
  for (SInt32 y = 0; y < height; ++y) {
    CO_2vuyLineToARGB_ChangeGamma(width, Advance(inPtr, ptrdiff_t(y) * inRowBytes),
                                  Advance(outPtr, ptrdiff_t(y) * outRowBytes), inputIsFullRange, newRGB);
  }
}

void CO_2vuyFrameToARGB_ChangeGammaUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 width, SInt32 height,
                                       const void *inPtr, void *outPtr, Boolean inputIsFullRange, SInt32 inRowBytes,
                                       SInt32 outRowBytes, float inGamma, float outGamma, const UInt16 *newRGB) {
  if (!CO_UseAccForWidth(hasAltivec, hasSSE3, width)) {
    CO_2vuyFrameToARGB_ChangeGamma(width, height, inPtr, outPtr, inputIsFullRange, inRowBytes, outRowBytes, inGamma,
                                   outGamma, newRGB);
  } else if (Packed(inRowBytes, width * 2) && Packed(outRowBytes, width * 4)) {
    CO_2vuyFrameToARGB_ChangeGammaAcc(width, height, inPtr, outPtr, inputIsFullRange, inGamma, outGamma);
  } else {
    for (SInt32 y = 0; y < height; ++y) {
      UInt8 *out = Advance(outPtr, ptrdiff_t(y) * outRowBytes);
      CO_2vuyLineToARGB_Acc(width, Advance(inPtr, ptrdiff_t(y) * inRowBytes), out, inputIsFullRange);
      CO_ChangeARGB_LineGammaAcc(width, out, out, inGamma, outGamma);
    }
  }
}

void CO_ChangeARGB_FrameGamma(SInt32 height, SInt32 width, SInt32 inRowBytes, SInt32 outRowBytes,
                              const void *inFrame, void *outFrame, const UInt16 *newRGB) {
  if (newRGB == nullptr) return;
  if (inRowBytes == 0) inRowBytes = width * 4;
  if (outRowBytes == 0) outRowBytes = width * 4;
  for (SInt32 y = 0; y < height; ++y) {
    CO_ARGB_LineChangeGamma(width, Advance(inFrame, ptrdiff_t(y) * inRowBytes),
                            Advance(outFrame, ptrdiff_t(y) * outRowBytes), newRGB);
  }
}

void CO_ChangeARGB_FrameGammaUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 height, SInt32 width,
                                 SInt32 inRowBytes, SInt32 outRowBytes, const void *inFrame, void *outFrame,
                                 float inGamma, float outGamma, const UInt16 *newRGB) {
  // Four ARGB pixels fill a vector: a multiple of 4 is enough here.
  if ((width & 3) == 0 && (hasAltivec || hasSSE3)) {
    CO_ChangeARGB_FrameGammaAcc(height, width, inRowBytes, outRowBytes, inFrame, outFrame, inGamma, outGamma);
  } else {
    CO_ChangeARGB_FrameGamma(height, width, inRowBytes, outRowBytes, inFrame, outFrame, newRGB);
  }
}
