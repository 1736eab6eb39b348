// Sums of four float vectors, means of 8, 16, 64 and 256 floats spread over every lane, sign transfer
// and an unsigned-by-signed byte multiply-add. The summation orders are part of the results (they decide
// the last bit), so the kernels that call these get the same sums on every machine.
//
// Inline intrinsics that need SSE3: include this header only from *_sse.cpp files.
#pragma once

#include "color/sse_primitives_sse.h"
#include "color/vector_sums.h"

// (f[0] + f[1]) + (f[2] + f[3]), lane-wise.
inline vFloat vecf_sum4(const vFloat *f) { return _mm_add_ps(_mm_add_ps(f[0], f[1]), _mm_add_ps(f[2], f[3])); }

// Lane k: the four lanes of f[k] added one after the other, ((x0 + x1) + x2) + x3. f is not changed.
inline vFloat vecf_scalar_sum4_across(const vFloat *f) {
  alignas(16) float x[4][4];
  for (int k = 0; k < 4; ++k) _mm_store_ps(x[k], f[k]);
  return _mm_setr_ps(((x[0][0] + x[0][1]) + x[0][2]) + x[0][3], ((x[1][0] + x[1][1]) + x[1][2]) + x[1][3],
                     ((x[2][0] + x[2][1]) + x[2][2]) + x[2][3], ((x[3][0] + x[3][1]) + x[3][2]) + x[3][3]);
}

// Lane k: the sum of the lanes of terms[k] as (x0 + x1) + (x2 + x3). The four vectors are transposed in
// place first (afterwards terms[j] lane i holds what terms[i] lane j held).
inline vFloat vecf_sum4_across(vFloat *terms) {
  _MM_TRANSPOSE4_PS(terms[0], terms[1], terms[2], terms[3]);
  return vecf_sum4(terms);
}

// Mean of the 8 floats of f0 and f1 in every lane.
inline vFloat vecf_av8_splat(vFloat f0, vFloat f1) {
  return _mm_mul_ps(sse_sum_across_splat_ps(_mm_add_ps(f0, f1)), _mm_set1_ps(0.125f));
}

// Mean of the 16 floats of f[0..3] in every lane.
inline vFloat vecf_av16_splat(const vFloat *f) {
  return _mm_mul_ps(sse_sum_across_splat_ps(vecf_sum4(f)), _mm_set1_ps(0.0625f));
}

// Mean of the 64 floats of f[0..15] in every lane; the four group sums are reduced lane after lane.
vFloat vecf_av64_splat(const vFloat *f);

// Mean of the 256 floats of f[0..63] in every lane, reduced pairwise through transpositions. f is not
// changed.
vFloat vecf_av256_splat(const vFloat *f);

// Per lane -a where b < 0, else a; the negation wraps (the most negative value stays itself).
inline vSInt8 vecs8_sign_acc(vSInt8 a, vSInt8 b) {
  const __m128i m = _mm_cmpgt_epi8(_mm_setzero_si128(), b);
  return sse_sel(a, _mm_sub_epi8(_mm_setzero_si128(), a), m);
}
inline vSInt16 vecs16_sign_acc(vSInt16 a, vSInt16 b) {
  const __m128i m = _mm_cmpgt_epi16(_mm_setzero_si128(), b);
  return sse_sel(a, _mm_sub_epi16(_mm_setzero_si128(), a), m);
}
inline vSInt32 vecs32_sign_acc(vSInt32 a, vSInt32 b) {
  const __m128i m = _mm_cmpgt_epi32(_mm_setzero_si128(), b);
  return sse_sel(a, _mm_sub_epi32(_mm_setzero_si128(), a), m);
}

// Lane k: a[2k]·b[2k] + a[2k+1]·b[2k+1], a unsigned and b signed bytes, each product exact, the sum with
// signed 16-bit saturation.
inline vSInt16 vecs16_maddubs(vUInt8 a, vSInt8 b) {
  const __m128i aEven = _mm_srli_epi16(_mm_slli_epi16(a, 8), 8);
  const __m128i bEven = _mm_srai_epi16(_mm_slli_epi16(b, 8), 8);
  const __m128i aOdd = _mm_srli_epi16(a, 8);
  const __m128i bOdd = _mm_srai_epi16(b, 8);
  return _mm_adds_epi16(_mm_mullo_epi16(aEven, bEven), _mm_mullo_epi16(aOdd, bOdd));
}
