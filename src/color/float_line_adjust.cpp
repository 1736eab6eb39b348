// Scalar tone and colour operations on float lines, through the 1024-entry tables.
#include "color/float_line_adjust.h"

#include <algorithm>


namespace {

constexpr float kKr = 0.299f;
constexpr float kKg = 0.587f;
constexpr float kKb = 0.114f;
// Derived factors, formed in single precision.
constexpr float kCrToR = (1.0f - kKr) + (1.0f - kKr);
constexpr float kCbToB = (1.0f - kKb) + (1.0f - kKb);
constexpr float kBToCb = 0.5f / (1.0f - kKb);
constexpr float kRToCr = 0.5f / (1.0f - kKr);

constexpr int kFirstIndex = 4;     // level 1
constexpr int kLastIndex = 1020;  // level 255

// Keeps a value that becomes a table index inside what an int holds (and NaN out), so that absurd levels
// read the end entries instead of converting out of range. Levels of real lines are far inside.
template <typename T>
inline T IndexSafe(T q) {
  if (!(q > T(-8192))) return T(-8192);
  return q < T(8192) ? q : T(8192);
}

inline int ClampIndex(int i) { return std::clamp(i, kFirstIndex, kLastIndex); }

// Linear interpolation between the entries around 4·x.
inline float InterpolatedLevel(float x, const UInt16 *t) {
  const float q = IndexSafe(4.0f * x);
  const int i = static_cast<int>(q);
  const float wA = q - static_cast<float>(i);
  const float wB = static_cast<float>(i + 1) - q;
  const float lo = static_cast<float>(0.25 * t[ClampIndex(i)]);
  const float hi = static_cast<float>(0.25 * t[ClampIndex(i + 1)]);
  return (wB * lo + wA * hi) / (wA + wB);
}

// The entry nearest to 4·x.
inline float NearestLevel(float x, const UInt16 *t) {
  const int i = static_cast<int>(IndexSafe(0.5 + 4.0 * static_cast<double>(x)));
  return static_cast<float>(0.25 * t[ClampIndex(i)]);
}

struct Rgb {
  float r, g, b;
};

inline Rgb ToRgb(float y, float cb, float cr) {
  Rgb c;
  c.r = y + kCrToR * cr;
  c.b = y + kCbToB * cb;
  c.g = ((y - kKr * c.r) - kKb * c.b) / kKg;
  return c;
}

inline float Luma(const Rgb &c) { return kKb * c.b + (kKr * c.r + kKg * c.g); }

}  // namespace

void CO_ChangeYuv255LineGamma(SInt32 width, const float *inLinePtr, float *outLinePtr, const UInt16 *newRGB) {
  for (SInt32 x = 0; x < width; x += 2, inLinePtr += 4, outLinePtr += 4) {
    const float y0 = inLinePtr[0], cb = inLinePtr[1], y1 = inLinePtr[2], cr = inLinePtr[3];

    Rgb p0 = ToRgb(y0, cb, cr);
    p0 = {InterpolatedLevel(p0.r, newRGB), InterpolatedLevel(p0.g, newRGB), InterpolatedLevel(p0.b, newRGB)};
    const float newY0 = Luma(p0);
    // The pair's new chroma comes from its first pixel alone.
    const float newCb = (p0.b - newY0) * kBToCb;
    const float newCr = (p0.r - newY0) * kRToCr;

    Rgb p1 = ToRgb(y1, cb, cr);
    p1 = {NearestLevel(p1.r, newRGB), NearestLevel(p1.g, newRGB), NearestLevel(p1.b, newRGB)};

    outLinePtr[0] = newY0;
    outLinePtr[1] = newCb;
    outLinePtr[2] = Luma(p1);
    outLinePtr[3] = newCr;
  }
}

void CO_ChangeYuv255LineContrast(SInt32 width, const float *inLinePtr, float *outLinePtr, float blackLevel,
                                 float invBrScale) {
  for (SInt32 x = 0; x < width; x += 2, inLinePtr += 4, outLinePtr += 4) {
    const float y0 = inLinePtr[0], cb = inLinePtr[1], y1 = inLinePtr[2], cr = inLinePtr[3];
    const float m = std::max(y0, 1.0f);
    const float newY0 = (y0 - blackLevel) * invBrScale;
    const float ratio = newY0 > 0.0f ? newY0 / m : 1.0f;
    outLinePtr[0] = newY0;
    outLinePtr[1] = newY0 > 0.0f ? cb * ratio : cb;
    outLinePtr[2] = (y1 - blackLevel) * invBrScale;
    outLinePtr[3] = newY0 > 0.0f ? cr * ratio : cr;
  }
}

void CO_ChangeYuv255LineContrastY_only(SInt32 width, const float *inLinePtr, float *outLinePtr, float blackLevel,
                                       float invBrScale) {
  for (SInt32 x = 0; x < width; x += 2, inLinePtr += 4, outLinePtr += 4) {
    const float y0 = inLinePtr[0], cb = inLinePtr[1], y1 = inLinePtr[2], cr = inLinePtr[3];
    outLinePtr[0] = (y0 - blackLevel) * invBrScale;
    outLinePtr[1] = cb;
    outLinePtr[2] = (y1 - blackLevel) * invBrScale;
    outLinePtr[3] = cr;
  }
}

void CO_ChangeYuv255LineBrightness(SInt32 width, const float *inLinePtr, float *outLinePtr, const UInt16 *newY) {
  for (SInt32 x = 0; x < width; x += 2, inLinePtr += 4, outLinePtr += 4) {
    const float y0 = inLinePtr[0], cb = inLinePtr[1], y1 = inLinePtr[2], cr = inLinePtr[3];
    const float newY0 = NearestLevel(y0, newY);
    const float ratio = newY0 / std::max(y0, 1.0f);
    outLinePtr[0] = newY0;
    outLinePtr[1] = cb * ratio;
    outLinePtr[2] = NearestLevel(y1, newY);
    outLinePtr[3] = cr * ratio;
  }
}

void CO_ChangeYuv255LineBrightnessY_only(SInt32 width, const float *inLinePtr, float *outLinePtr,
                                         const UInt16 *newY) {
  for (SInt32 x = 0; x < width; x += 2, inLinePtr += 4, outLinePtr += 4) {
    const float y0 = inLinePtr[0], cb = inLinePtr[1], y1 = inLinePtr[2], cr = inLinePtr[3];
    outLinePtr[0] = NearestLevel(y0, newY);
    outLinePtr[1] = cb;
    outLinePtr[2] = NearestLevel(y1, newY);
    outLinePtr[3] = cr;
  }
}

void CO_ChangeYuv255LineSaturation(SInt32 width, const float *inLinePtr, float *outLinePtr, float satScale) {
  for (SInt32 x = 0; x < width; x += 2, inLinePtr += 4, outLinePtr += 4) {
    const float y0 = inLinePtr[0], cb = inLinePtr[1], y1 = inLinePtr[2], cr = inLinePtr[3];
    outLinePtr[0] = y0;
    outLinePtr[1] = cb * satScale;
    outLinePtr[2] = y1;
    outLinePtr[3] = cr * satScale;
  }
}

namespace {

// Contrast, then the brightness curve when a table is given; chroma × chromaFactor(m, yc0, newY0).
template <typename ChromaFactor>
inline void ContrBrSatLine(SInt32 width, const float *in, float *out, float blackLevel, float invBrScale,
                           const UInt16 *newY, ChromaFactor chromaFactor) {
  for (SInt32 x = 0; x < width; x += 2, in += 4, out += 4) {
    const float y0 = in[0], cb = in[1], y1 = in[2], cr = in[3];
    const float yc0 = (y0 - blackLevel) * invBrScale;
    const float yc1 = (y1 - blackLevel) * invBrScale;
    const float newY0 = newY ? NearestLevel(yc0, newY) : yc0;
    const float newY1 = newY ? NearestLevel(yc1, newY) : yc1;
    const float r = chromaFactor(std::max(y0, 1.0f), yc0, newY0);
    out[0] = newY0;
    out[1] = cb * r;
    out[2] = newY1;
    out[3] = cr * r;
  }
}

}  // namespace

void CO_ChangeYuv255LineContrBrSat(SInt32 width, const float *inLinePtr, float *outLinePtr, float blackLevel,
                                   float invBrScale, const UInt16 *newY, float satScale) {
  ContrBrSatLine(width, inLinePtr, outLinePtr, blackLevel, invBrScale, newY, [&](float m, float yc0, float newY0) {
    float r = satScale * (yc0 / m);
    if (r < 0.0f) r = 0.0f;
    if (newY) r *= newY0 / std::max(yc0, 1.0f);
    return r;
  });
}

void CO_ChangeYuv255LineContrBrSatY_only(SInt32 width, const float *inLinePtr, float *outLinePtr, float blackLevel,
                                         float invBrScale, const UInt16 *newY, float satScale) {
  ContrBrSatLine(width, inLinePtr, outLinePtr, blackLevel, invBrScale, newY,
                 [&](float, float, float) { return satScale; });
}
