// Scalar versions and dispatchers of the sanity check and the IRE limit (the Acc versions are in
// legalising_sse.cpp). Stateless; called on any task.
#include "color/legalising.h"

#include "color/yuv422_formats.h"

#include <cmath>
#include <cstddef>
#include <cstdio>

namespace {

// BT.601 luma weights and the chroma-to-R/B factors 2 (1 - Kr) and 2 (1 - Kb).
constexpr float kKr = 0.299f;
constexpr float kKg = 0.587f;
constexpr float kKb = 0.114f;
constexpr float kCrToR = 1.402f;
constexpr float kCbToB = 1.772f;

inline float ClampLuma(float y) {
  if (y > kCO_SanityHighThreshold) return kCO_SanityHighTarget;
  if (y < kCO_SanityLowThreshold) return kCO_SanityLowTarget;
  return y;
}

// Scales the pair's chroma so that the pixel of luma y keeps R, B and then G inside 1..254. Every factor is
// kept at 0 or above: a luma a hundredth outside a target (254..254.01 or 0.99..1) would otherwise give a
// negative factor and turn the hue around instead of removing the colour.
inline void LimitPixelChroma(float y, float &cb, float &cr) {
  // Upper limit of R and B.
  float sR = 1.0f, sB = 1.0f;
  if (y + kCrToR * cr > kCO_SanityHighThreshold) sR = (kCO_SanityHighTarget - y) / kCrToR / cr;
  if (y + kCbToB * cb > kCO_SanityHighThreshold) sB = (kCO_SanityHighTarget - y) / kCbToB / cb;
  float s = sR < sB ? sR : sB;
  if (s < 0.0f) s = 0.0f;
  cb *= s;
  cr *= s;

  // Lower limit of R and B.
  float wantedCr = cr, wantedCb = cb;
  if (y + kCrToR * cr < kCO_SanityLowThreshold) wantedCr = float((1.0 - double(y)) / 1.402);
  if (y + kCbToB * cb < kCO_SanityLowThreshold) wantedCb = float((1.0 - double(y)) / 1.772);
  float rR = wantedCr == cr ? 1.0f : wantedCr / cr;
  float rB = wantedCb == cb ? 1.0f : wantedCb / cb;
  float r = rR < rB ? rR : rB;
  if (r < 0.0f) r = 0.0f;
  cb *= r;
  cr *= r;

  // G, with the chroma left by the steps above. G = y - D, so the factor brings G onto its target.
  float red = y + kCrToR * cr;
  float blue = y + kCbToB * cb;
  float green = (y - kKr * red - kKb * blue) / kKg;
  if (green < kCO_SanityLowThreshold || green > kCO_SanityHighThreshold) {
    float target = green < kCO_SanityLowThreshold ? kCO_SanityLowTarget : kCO_SanityHighTarget;
    float d = (kKb * (1.0f - kKb) * cb + kKr * (1.0f - kKr) * cr) * (2.0f / kKg);
    // d is 0 only for a grey pixel whose G misses y by rounding; there is no chroma to scale then.
    if (d != 0.0f) {
      float f = 1.0f + (green - target) / d;
      if (f < 0.0f) f = 0.0f;
      cb *= f;
      cr *= f;
    }
  }
}

inline void LimitPixelIRE(float y, double lumaLimit, float &cb, float &cr) {
  float a = float(lumaLimit - double(y));
  if (!(a > 0.0f)) a = 0.1f;
  float u = kCO_CompositeUFactor * cb;
  float v = kCO_CompositeVFactor * cr;
  float amplitude2 = u * u + v * v;
  float a2 = a * a;
  if (amplitude2 > a2) {
    float f = float(std::sqrt(double(a2 / amplitude2)));
    cb *= f;
    cr *= f;
  }
}

// Runs a float-line operation over a packed frame with the scalar conversions. An odd width's last pixel
// would make the pair routines reach into the next row (and past the frame and the float line in the last
// row); it is done alone instead, paired with the row's last Cr (128 in a one-pixel row).
template <typename LineOp>
void RunFrameScalar(SInt32 height, SInt32 width, void *buffer, float *linePtrF, Boolean fullRange, LineOp op) {
  if (height <= 0 || width <= 0) return;
  const SInt32 evenWidth = width & ~1;
  auto *frame = static_cast<UInt8 *>(buffer);
  for (SInt32 row = 0; row < height; ++row) {
    UInt8 *line = frame + ptrdiff_t(row) * width * 2;
    if (evenWidth > 0) {
      CO_2vuyLineToFloat(evenWidth, line, linePtrF, fullRange);
      op(evenWidth, linePtrF);
      CO_FloatLineTo2vuy(evenWidth, line, linePtrF, fullRange);
    }
    if (width & 1) {
      UInt8 *last = line + 2 * ptrdiff_t(width - 1);
      UInt8 pair[4];
      CO_Get2vuyOddLastPair(width, line, pair);
      float f[4];
      CO_2vuyLineToFloat(2, pair, f, fullRange);
      op(2, f);
      CO_FloatLineTo2vuy(2, pair, f, fullRange);
      last[0] = pair[0];
      last[1] = pair[1];
    }
  }
}

}  // namespace

void CO_FloatLineSanityCheck(SInt32 width, float *linePtr) {
  for (SInt32 i = 0; i < width; i += 2, linePtr += 4) {
    float cb = linePtr[1], cr = linePtr[3];
    float y0 = ClampLuma(linePtr[0]);
    LimitPixelChroma(y0, cb, cr);
    linePtr[0] = y0;
    // The second pixel sees the chroma the first one left.
    float y1 = ClampLuma(linePtr[2]);
    LimitPixelChroma(y1, cb, cr);
    linePtr[1] = cb;
    linePtr[2] = y1;
    linePtr[3] = cr;
  }
}

void CO_FloatLineLimitIRE(SInt32 width, float *linePtr, float ireLimit) {
  const double lumaLimit = double(ireLimit) * 255.0;
  for (SInt32 i = 0; i < width; i += 2, linePtr += 4) {
    float cb = linePtr[1], cr = linePtr[3];
    LimitPixelIRE(linePtr[0], lumaLimit, cb, cr);
    LimitPixelIRE(linePtr[2], lumaLimit, cb, cr);
    linePtr[1] = cb;
    linePtr[3] = cr;
  }
}

void CO_FloatLineLimitIRE_Uni(Boolean hasAltivec, Boolean hasSSE3, SInt32 width, float *linePtr, float ireLimit) {
  if (CO_UseAccForWidth(hasAltivec, hasSSE3, width))
    CO_FloatLineLimitIRE_Acc(width, linePtr, ireLimit);
  else
    CO_FloatLineLimitIRE(width, linePtr, ireLimit);
}

void CO_FrameSanityCheck(SInt32 height, SInt32 width, void *buffer, float *linePtrF, Boolean inputIsFullRange) {
  RunFrameScalar(height, width, buffer, linePtrF, inputIsFullRange,
                 [](SInt32 w, float *line) { CO_FloatLineSanityCheck(w, line); });
}

void CO_FrameSanityCheckUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 height, SInt32 width, void *buffer,
                            float *linePtrF, Boolean inputIsFullRange) {
  if (CO_UseAccForWidth(hasAltivec, hasSSE3, width))
    CO_FrameSanityCheckAcc(height, width, buffer, linePtrF, inputIsFullRange);
  else
    CO_FrameSanityCheck(height, width, buffer, linePtrF, inputIsFullRange);
}

void CO_FrameLimitIRE(SInt32 height, SInt32 width, void *buffer, float *linePtrF, Boolean inputIsFullRange,
                      float ireLimit) {
  RunFrameScalar(height, width, buffer, linePtrF, inputIsFullRange,
                 [ireLimit](SInt32 w, float *line) { CO_FloatLineLimitIRE(w, line, ireLimit); });
}

void CO_FrameLimitIRE_Uni(Boolean hasAltivec, Boolean hasSSE3, SInt32 height, SInt32 width, void *buffer,
                          float *linePtrF, Boolean inputIsFullRange, float ireLimit) {
  if (CO_UseAccForWidth(hasAltivec, hasSSE3, width))
    CO_FrameLimitIRE_Acc(height, width, buffer, linePtrF, inputIsFullRange, ireLimit);
  else
    CO_FrameLimitIRE(height, width, buffer, linePtrF, inputIsFullRange, ireLimit);
}

void CO_FrameSanityCheck_Test(SInt32 height, SInt32 width, void *buffer, float *linePtrF, Boolean inputIsFullRange) {
  RunFrameScalar(height, width, buffer, linePtrF, inputIsFullRange, [](SInt32, float *) {});
  std::printf("CO_FrameSanityCheck_Test: numCorrected = %ld\n", 0L);
}

void CO_WriteSanityCheckTestPattern(SInt32 width, SInt32 height, void *buffer) {
  if (width <= 0 || height <= 0) return;
  auto *p = static_cast<UInt8 *>(buffer);
  const ptrdiff_t pixels = ptrdiff_t(width) * height;
  for (ptrdiff_t i = 0; i < pixels; ++i, p += 2) {
    int c = 2 * int(p[0]) - 128;
    int y = int(p[1]) + 40;
    p[0] = UInt8(c < 0 ? 0 : c > 255 ? 255 : c);
    p[1] = UInt8(y > 255 ? 255 : y);
  }
}
