// SSE versions of the sanity check and the IRE limit: 4 pixel pairs (8 pixels, 16 floats) a step, width / 8
// steps, no branches inside a step. Every lane computes every quotient; the comparison masks select the
// corrected or the unchanged value before any minimum is taken, so a quotient of a lane that needs no
// correction (0/0, x/0) never reaches the result. True division and square root, no estimates, so results
// do not depend on the processor's maker.
#include "color/legalising.h"

#include "color/yuv422_formats.h"

#include <emmintrin.h>

#include <cassert>
#include <cstddef>

namespace {

const float kKr = 0.299f;
const float kKg = 0.587f;
const float kKb = 0.114f;
const float kCrToR = 1.402f;
const float kCbToB = 1.772f;

// N vectors treated as one, so that the long dependent chain of the sanity check runs for N independent
// groups of pairs side by side in the instruction stream.
template <int N>
struct Lanes {
  __m128 v[N];
};

template <int N>
inline Lanes<N> Splat(float x) {
  Lanes<N> r;
  for (int k = 0; k < N; ++k) r.v[k] = _mm_set1_ps(x);
  return r;
}

#define BZ_LANES_OP(name, intrinsic)                          \
  template <int N>                                            \
  inline Lanes<N> name(const Lanes<N> &a, const Lanes<N> &b) { \
    Lanes<N> r;                                               \
    for (int k = 0; k < N; ++k) r.v[k] = intrinsic(a.v[k], b.v[k]); \
    return r;                                                 \
  }
BZ_LANES_OP(Add, _mm_add_ps)
BZ_LANES_OP(Sub, _mm_sub_ps)
BZ_LANES_OP(Mul, _mm_mul_ps)
BZ_LANES_OP(Div, _mm_div_ps)
BZ_LANES_OP(Min, _mm_min_ps)
BZ_LANES_OP(Max, _mm_max_ps)
BZ_LANES_OP(Greater, _mm_cmpgt_ps)
BZ_LANES_OP(Less, _mm_cmplt_ps)
BZ_LANES_OP(Equal, _mm_cmpeq_ps)
BZ_LANES_OP(Or, _mm_or_ps)
BZ_LANES_OP(AndNot, _mm_andnot_ps)
#undef BZ_LANES_OP

// mask ? a : b
template <int N>
inline Lanes<N> Select(const Lanes<N> &mask, const Lanes<N> &a, const Lanes<N> &b) {
  Lanes<N> r;
  for (int k = 0; k < N; ++k) r.v[k] = _mm_or_ps(_mm_and_ps(mask.v[k], a.v[k]), _mm_andnot_ps(mask.v[k], b.v[k]));
  return r;
}

template <int N>
inline Lanes<N> ClampLuma(const Lanes<N> &y) {
  Lanes<N> r = Select(Greater(y, Splat<N>(kCO_SanityHighThreshold)), Splat<N>(kCO_SanityHighTarget), y);
  return Select(Less(y, Splat<N>(kCO_SanityLowThreshold)), Splat<N>(kCO_SanityLowTarget), r);
}

// The scalar steps for one pixel of each pair; every factor kept at 0 or above, as in the scalar code.
// Divisions by constants are products with their reciprocals (within an ulp of the quotient); the divisions
// that remain are the five whose divisor depends on the pixel.
template <int N>
inline void LimitPixelChroma(const Lanes<N> &y, Lanes<N> &cb, Lanes<N> &cr) {
  const Lanes<N> one = Splat<N>(1.0f);
  const Lanes<N> zero = Splat<N>(0.0f);
  const Lanes<N> crToR = Splat<N>(kCrToR);
  const Lanes<N> cbToB = Splat<N>(kCbToB);

  // Upper limit of R and B.
  Lanes<N> red = Add(y, Mul(crToR, cr));
  Lanes<N> blue = Add(y, Mul(cbToB, cb));
  Lanes<N> headroom = Sub(Splat<N>(kCO_SanityHighTarget), y);
  Lanes<N> sR = Select(Greater(red, Splat<N>(kCO_SanityHighThreshold)),
                       Div(Mul(headroom, Splat<N>(1.0f / kCrToR)), cr), one);
  Lanes<N> sB = Select(Greater(blue, Splat<N>(kCO_SanityHighThreshold)),
                       Div(Mul(headroom, Splat<N>(1.0f / kCbToB)), cb), one);
  Lanes<N> s = Max(Min(sR, sB), zero);
  cb = Mul(cb, s);
  cr = Mul(cr, s);

  // Lower limit of R and B.
  red = Add(y, Mul(crToR, cr));
  blue = Add(y, Mul(cbToB, cb));
  Lanes<N> footroom = Sub(Splat<N>(kCO_SanityLowTarget), y);
  Lanes<N> rR = Select(Less(red, Splat<N>(kCO_SanityLowThreshold)),
                       Div(Mul(footroom, Splat<N>(1.0f / kCrToR)), cr), one);
  Lanes<N> rB = Select(Less(blue, Splat<N>(kCO_SanityLowThreshold)),
                       Div(Mul(footroom, Splat<N>(1.0f / kCbToB)), cb), one);
  Lanes<N> r = Max(Min(rR, rB), zero);
  cb = Mul(cb, r);
  cr = Mul(cr, r);

  // G, with the chroma left by the steps above.
  red = Add(y, Mul(crToR, cr));
  blue = Add(y, Mul(cbToB, cb));
  Lanes<N> green = Mul(Sub(Sub(y, Mul(Splat<N>(kKr), red)), Mul(Splat<N>(kKb), blue)), Splat<N>(1.0f / kKg));
  Lanes<N> low = Less(green, Splat<N>(kCO_SanityLowThreshold));
  Lanes<N> high = Greater(green, Splat<N>(kCO_SanityHighThreshold));
  Lanes<N> target = Select(low, Splat<N>(kCO_SanityLowTarget), Splat<N>(kCO_SanityHighTarget));
  Lanes<N> d = Mul(Add(Mul(Splat<N>(kKb * (1.0f - kKb)), cb), Mul(Splat<N>(kKr * (1.0f - kKr)), cr)),
                   Splat<N>(2.0f / kKg));
  Lanes<N> f = Max(Add(one, Div(Sub(green, target), d)), zero);
  Lanes<N> apply = AndNot(Equal(d, zero), Or(low, high));
  f = Select(apply, f, one);
  cb = Mul(cb, f);
  cr = Mul(cr, f);
}

// N groups of 4 pairs from `line`: transposed to Y0, Cb, Y1, Cr vectors, checked, transposed back.
template <int N>
inline void SanityCheckGroups(float *line) {
  Lanes<N> y0, cb, y1, cr;
  for (int k = 0; k < N; ++k) {
    float *p = line + 16 * k;
    y0.v[k] = _mm_loadu_ps(p + 0);
    cb.v[k] = _mm_loadu_ps(p + 4);
    y1.v[k] = _mm_loadu_ps(p + 8);
    cr.v[k] = _mm_loadu_ps(p + 12);
    _MM_TRANSPOSE4_PS(y0.v[k], cb.v[k], y1.v[k], cr.v[k]);
  }
  y0 = ClampLuma(y0);
  LimitPixelChroma(y0, cb, cr);
  y1 = ClampLuma(y1);
  LimitPixelChroma(y1, cb, cr);
  for (int k = 0; k < N; ++k) {
    float *p = line + 16 * k;
    _MM_TRANSPOSE4_PS(y0.v[k], cb.v[k], y1.v[k], cr.v[k]);
    _mm_storeu_ps(p + 0, y0.v[k]);
    _mm_storeu_ps(p + 4, cb.v[k]);
    _mm_storeu_ps(p + 8, y1.v[k]);
    _mm_storeu_ps(p + 12, cr.v[k]);
  }
}

inline void LimitPixelIRE(__m128 y, __m128 lumaLimit, __m128 &cb, __m128 &cr) {
  __m128 a = _mm_max_ps(_mm_sub_ps(lumaLimit, y), _mm_set1_ps(0.1f));
  __m128 u = _mm_mul_ps(_mm_set1_ps(kCO_CompositeUFactor), cb);
  __m128 v = _mm_mul_ps(_mm_set1_ps(kCO_CompositeVFactor), cr);
  __m128 a2 = _mm_mul_ps(a, a);
  // At least A^2 (and 0.01), so the factor is exactly 1 where the amplitude is within the limit.
  __m128 amplitude2 = _mm_max_ps(_mm_add_ps(_mm_mul_ps(u, u), _mm_mul_ps(v, v)), _mm_max_ps(a2, _mm_set1_ps(0.01f)));
  __m128 f = _mm_sqrt_ps(_mm_div_ps(a2, amplitude2));
  cb = _mm_mul_ps(cb, f);
  cr = _mm_mul_ps(cr, f);
}

}  // namespace

void CO_FloatLineSanityCheckAcc(SInt32 width, float *linePtr) {
  assert(width < 8 || linePtr != nullptr);
  const SInt32 steps = width / 8;
  SInt32 i = 0;
  for (; i + 2 <= steps; i += 2) SanityCheckGroups<2>(linePtr + 16 * ptrdiff_t(i));
  if (i < steps) SanityCheckGroups<1>(linePtr + 16 * ptrdiff_t(i));
}

void CO_FloatLineLimitIRE_Acc(SInt32 width, float *linePtr, float ireLimit) {
  assert(width < 8 || linePtr != nullptr);
  const __m128 lumaLimit = _mm_set1_ps(float(double(ireLimit) * 255.0));
  const SInt32 steps = width / 8;
  for (SInt32 i = 0; i < steps; ++i, linePtr += 16) {
    __m128 y0 = _mm_loadu_ps(linePtr + 0);
    __m128 cb = _mm_loadu_ps(linePtr + 4);
    __m128 y1 = _mm_loadu_ps(linePtr + 8);
    __m128 cr = _mm_loadu_ps(linePtr + 12);
    _MM_TRANSPOSE4_PS(y0, cb, y1, cr);
    LimitPixelIRE(y0, lumaLimit, cb, cr);
    LimitPixelIRE(y1, lumaLimit, cb, cr);
    _MM_TRANSPOSE4_PS(y0, cb, y1, cr);
    _mm_storeu_ps(linePtr + 0, y0);
    _mm_storeu_ps(linePtr + 4, cb);
    _mm_storeu_ps(linePtr + 8, y1);
    _mm_storeu_ps(linePtr + 12, cr);
  }
}

void CO_FrameSanityCheckAcc(SInt32 height, SInt32 width, void *buffer, float *linePtrF, Boolean inputIsFullRange) {
  assert(height <= 0 || width < 8 || (buffer != nullptr && linePtrF != nullptr));
  auto *frame = static_cast<UInt8 *>(buffer);
  for (SInt32 row = 0; row < height; ++row) {
    UInt8 *line = frame + ptrdiff_t(row) * width * 2;
    CO_2vuyLineToFloatAcc(width, line, linePtrF, inputIsFullRange);
    CO_FloatLineSanityCheckAcc(width, linePtrF);
    CO_FloatLineTo2vuyAcc(width, line, linePtrF, inputIsFullRange);
  }
}

void CO_FrameLimitIRE_Acc(SInt32 height, SInt32 width, void *buffer, float *linePtrF, Boolean inputIsFullRange,
                          float ireLimit) {
  assert(height <= 0 || width < 8 || (buffer != nullptr && linePtrF != nullptr));
  auto *frame = static_cast<UInt8 *>(buffer);
  for (SInt32 row = 0; row < height; ++row) {
    UInt8 *line = frame + ptrdiff_t(row) * width * 2;
    CO_2vuyLineToFloatAcc(width, line, linePtrF, inputIsFullRange);
    CO_FloatLineLimitIRE_Acc(width, linePtrF, ireLimit);
    CO_FloatLineTo2vuyAcc(width, line, linePtrF, inputIsFullRange);
  }
}
