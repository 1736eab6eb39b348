// The polynomial power curve 255 · (x/255)^exponent of the SSE gamma and brightness kernels: a
// logarithm and an exponential in base 2 from short polynomials instead of a table lookup.
//
// Inline intrinsics that need SSE3: include this header only from *_sse.cpp files.
#pragma once

#include "color/sse_primitives_sse.h"

// Per lane 255 · 2^(exponent · log2(x/255)). The polynomials are fitted on mantissa and fraction ranges of
// [0, 1); the integer part of y = exponent · log2(x/255) is therefore its floor, not its truncation,
// so that the fraction stays in [0, 1) and equal gammas give the identity within a few thousandths of a
// level. Level 0 gives 0; y is held to -127..127 so the power of two stays a float.
inline vFloat CO_PowerCurveAcc(vFloat x, vFloat exponent) {
  const vFloat u = _mm_mul_ps(x, _mm_set1_ps(0.00392156886f));

  // log2(u) = e + log2(1 + m) with 0 <= m < 1.
  const __m128i bits = _mm_castps_si128(u);
  const vFloat e = _mm_cvtepi32_ps(
      _mm_sub_epi32(_mm_and_si128(_mm_srli_epi32(bits, 23), _mm_set1_epi32(0xFF)), _mm_set1_epi32(127)));
  const vFloat m = _mm_sub_ps(
      _mm_castsi128_ps(_mm_or_si128(_mm_and_si128(bits, _mm_set1_epi32(0x007FFFFF)), _mm_set1_epi32(0x3F800000))),
      _mm_set1_ps(1.0f));
  vFloat p = _mm_set1_ps(-0.0258411653f);
  p = _mm_add_ps(_mm_mul_ps(p, m), _mm_set1_ps(0.12179701f));
  p = _mm_add_ps(_mm_mul_ps(p, m), _mm_set1_ps(-0.277904272f));
  p = _mm_add_ps(_mm_mul_ps(p, m), _mm_set1_ps(0.457548589f));
  p = _mm_add_ps(_mm_mul_ps(p, m), _mm_set1_ps(-0.718145072f));
  p = _mm_add_ps(_mm_mul_ps(p, m), _mm_set1_ps(1.44254494f));
  const vFloat log2u = _mm_add_ps(e, _mm_mul_ps(m, p));

  // 2^y = 2^i · 2^f with i = floor(y) and 0 <= f < 1. max/min take their second operand for NaN.
  vFloat y = _mm_mul_ps(exponent, log2u);
  y = _mm_min_ps(_mm_max_ps(y, _mm_set1_ps(-127.0f)), _mm_set1_ps(127.0f));
  // floor(y): the truncation, taken down by one where it lies above y (|y| <= 127 converts exactly).
  __m128i i = _mm_cvttps_epi32(y);
  i = _mm_add_epi32(i, _mm_castps_si128(_mm_cmplt_ps(y, _mm_cvtepi32_ps(i))));
  const vFloat f = _mm_sub_ps(y, _mm_cvtepi32_ps(i));
  vFloat q = _mm_set1_ps(0.0135557568f);
  q = _mm_add_ps(_mm_mul_ps(q, f), _mm_set1_ps(0.0520323515f));
  q = _mm_add_ps(_mm_mul_ps(q, f), _mm_set1_ps(0.241379768f));
  q = _mm_add_ps(_mm_mul_ps(q, f), _mm_set1_ps(0.693032146f));
  q = _mm_add_ps(_mm_mul_ps(q, f), _mm_set1_ps(1.0f));
  const vFloat pow2i =
      _mm_castsi128_ps(_mm_slli_epi32(_mm_add_epi32(i, _mm_set1_epi32(127)), 23));
  return _mm_mul_ps(_mm_set1_ps(255.0f), _mm_mul_ps(q, pow2i));
}
