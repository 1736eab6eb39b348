// Small stateless helpers on 128-bit vectors for the SSE (Acc) kernels: byte concatenation and per-byte
// shifts that SSE2 lacks, horizontal float sums and means, overflow-free averages, unsigned compares,
// saturating 32-bit arithmetic, packs, byte permutes and float rounding. Each result is defined lane by
// lane (lane 0 at the lowest address); the kernels rely on those exact definitions, including the ones
// that differ from a textbook operation (sse_mradds has no rounding term, sse_avg_s16 rounds down,
// sse_round_ps rounds halves down).
//
// Inline intrinsics that need SSE3: include this header only from *_sse.cpp files.
#pragma once

#ifndef __SSE3__
#error "sse_primitives_sse.h needs SSE3: include it only from files compiled with -msse3 (*_sse.cpp)"
#endif

#include <emmintrin.h>
#include <pmmintrin.h>

#include <cstdint>

// Vector types: every integer vector is an __m128i, the float vector an __m128. Pointers to vectors
// point to 16-byte-aligned storage.
typedef __m128i vUInt8;
typedef __m128i vSInt8;
typedef __m128i vUInt16;
typedef __m128i vSInt16;
typedef __m128i vUInt32;
typedef __m128i vSInt32;
typedef __m128 vFloat;

// x · 2^n per lane, exact where the result is representable (rounded once where it is subnormal).
vFloat vscalbf(vFloat x, vSInt32 n);

// ---------------------------------------------------------------------------------------------------
// Byte concatenation: bytes N..15 of vec1 followed by bytes 0..N-1 of vec2.

inline __m128i sse_sld2_si(__m128i vec1, __m128i vec2) {
  return _mm_or_si128(_mm_srli_si128(vec1, 2), _mm_slli_si128(vec2, 14));
}
inline __m128i sse_sld4_si(__m128i vec1, __m128i vec2) {
  return _mm_or_si128(_mm_srli_si128(vec1, 4), _mm_slli_si128(vec2, 12));
}
inline __m128i sse_sld12_si(__m128i vec1, __m128i vec2) {
  return _mm_or_si128(_mm_srli_si128(vec1, 12), _mm_slli_si128(vec2, 4));
}
inline __m128i sse_sld14_si(__m128i vec1, __m128i vec2) {
  return _mm_or_si128(_mm_srli_si128(vec1, 14), _mm_slli_si128(vec2, 2));
}

// The same for a run-time n of 0..15 (0 gives vec1); any other n, negative ones included, gives zeros.
__m128i sse_alignr_epi8(__m128i vec1, __m128i vec2, int n);

// ---------------------------------------------------------------------------------------------------
// Per-byte shifts.

// Every byte (s << n) & 0xFF; n of 8 or more (or negative) gives 0.
inline vUInt8 sse_slli_epi8(vUInt8 s, int n) {
  if (n < 0 || n > 7) return _mm_setzero_si128();
  const __m128i mask = _mm_set1_epi8(static_cast<char>((0xFF << n) & 0xFF));
  return _mm_and_si128(_mm_sll_epi16(s, _mm_cvtsi32_si128(n)), mask);
}

// Every byte s >> n with zeros shifted in; n of 8 or more (or negative) gives 0.
inline vUInt8 sse_srli_epi8(vUInt8 s, int n) {
  if (n < 0 || n > 7) return _mm_setzero_si128();
  const __m128i mask = _mm_set1_epi8(static_cast<char>(0xFF >> n));
  return _mm_and_si128(_mm_srl_epi16(s, _mm_cvtsi32_si128(n)), mask);
}

// Every signed byte s >> n with the sign shifted in; n of 8 or more (or negative) acts as 7.
inline vSInt8 sse_srai_epi8(vSInt8 s, int n) {
  const __m128i count = _mm_cvtsi32_si128(n < 0 || n > 7 ? 7 : n);
  // Odd bytes sit in the upper half of each 16-bit lane already; even bytes are moved there first.
  const __m128i odd = _mm_and_si128(_mm_sra_epi16(s, count), _mm_set1_epi16(static_cast<short>(0xFF00)));
  const __m128i even = _mm_srli_epi16(_mm_sra_epi16(_mm_slli_epi16(s, 8), count), 8);
  return _mm_or_si128(odd, even);
}

// ---------------------------------------------------------------------------------------------------
// Horizontal sums and means.

// Every lane (f0 + f2) + (f1 + f3).
inline vFloat sse_sum_across_splat_ps(vFloat f) {
  const vFloat t = _mm_add_ps(f, _mm_shuffle_ps(f, f, _MM_SHUFFLE(1, 0, 3, 2)));
  return _mm_add_ps(t, _mm_shuffle_ps(t, t, _MM_SHUFFLE(2, 3, 0, 1)));
}

// (Σf0, Σf1, Σf2, Σf3), each Σ as (x0 + x1) + (x2 + x3).
inline vFloat sse_sum4_across_ps(vFloat f0, vFloat f1, vFloat f2, vFloat f3) {
  return _mm_hadd_ps(_mm_hadd_ps(f0, f1), _mm_hadd_ps(f2, f3));
}

// (f0 + f1) + (f2 + f3), lane-wise.
inline vFloat sse_sum4_ps(vFloat f0, vFloat f1, vFloat f2, vFloat f3) {
  return _mm_add_ps(_mm_add_ps(f0, f1), _mm_add_ps(f2, f3));
}

// The power of four complex values stored as (re, im) pairs:
// (f0[0]² + f0[1]², f0[2]² + f0[3]², f1[0]² + f1[1]², f1[2]² + f1[3]²).
inline vFloat sse_square_sum_4pairs_ps(vFloat f0, vFloat f1) {
  return _mm_hadd_ps(_mm_mul_ps(f0, f0), _mm_mul_ps(f1, f1));
}

// Mean of the 8 floats of f0 and f1 in every lane.
inline vFloat sse_av8_splat_ps(vFloat f0, vFloat f1) {
  return _mm_mul_ps(sse_sum_across_splat_ps(_mm_add_ps(f0, f1)), _mm_set1_ps(0.125f));
}

// Mean of the 16 floats of f0..f3 in every lane.
inline vFloat sse_av16_splat_ps(vFloat f0, vFloat f1, vFloat f2, vFloat f3) {
  return _mm_mul_ps(sse_sum_across_splat_ps(sse_sum4_ps(f0, f1, f2, f3)), _mm_set1_ps(0.0625f));
}

// Mean of the 64 floats of f[0..15] in every lane; group totals summed lane after lane.
vFloat sse_av64_splat_ps(const vFloat *f);
// Mean of the 256 floats of f[0..63] in every lane; group and block totals summed lane after lane.
vFloat sse_av256_splat_ps(const vFloat *f);

// Stores (f0, f0, f1, f1) through f1 and (f2, f2, f3, f3) through f2.
inline void sse_double_float(vFloat f, vFloat *f1, vFloat *f2) {
  _mm_store_ps(reinterpret_cast<float *>(f1), _mm_unpacklo_ps(f, f));
  _mm_store_ps(reinterpret_cast<float *>(f2), _mm_unpackhi_ps(f, f));
}

// (a[0]·b[0] + a[1]·b[1]) + (a[2]·b[2] + a[3]·b[3]), lane-wise; neither array is changed.
inline vFloat sse_mul4x4float(const vFloat *a, vFloat *b) {
  return _mm_add_ps(_mm_add_ps(_mm_mul_ps(a[0], b[0]), _mm_mul_ps(a[1], b[1])),
                    _mm_add_ps(_mm_mul_ps(a[2], b[2]), _mm_mul_ps(a[3], b[3])));
}

// a[0]·b[0] + a[1]·b[1], lane-wise.
inline vFloat sse_mul2x2float(const vFloat *a, vFloat *b) {
  return _mm_add_ps(_mm_mul_ps(a[0], b[0]), _mm_mul_ps(a[1], b[1]));
}

// ---------------------------------------------------------------------------------------------------
// Averages without overflow. (a & b) + ((a ^ b) >> 1) is exactly ⌊(a + b) / 2⌋ for any two integers.

// ⌊(s1 + s2) / 2⌋ per signed byte, exact.
inline vSInt8 sse_avg_s8(vSInt8 s1, vSInt8 s2) {
  // Biased to unsigned, pavgb rounds up; the odd sums are taken back down by one.
  const __m128i bias = _mm_set1_epi8(static_cast<char>(0x80));
  const __m128i up = _mm_avg_epu8(_mm_xor_si128(s1, bias), _mm_xor_si128(s2, bias));
  const __m128i odd = _mm_and_si128(_mm_xor_si128(s1, s2), _mm_set1_epi8(1));
  return _mm_xor_si128(_mm_sub_epi8(up, odd), bias);
}

// ⌊(s1 + s2) / 2⌋ per signed 16-bit lane, exact (no +1).
inline vSInt16 sse_avg_s16(vSInt16 s1, vSInt16 s2) {
  return _mm_add_epi16(_mm_and_si128(s1, s2), _mm_srai_epi16(_mm_xor_si128(s1, s2), 1));
}

// ⌊(s1 + s2) / 2⌋ per signed 32-bit lane without overflow. For non-negative inputs (the callers' chroma
// bytes) this equals (s1 >> 1) + (s2 >> 1) + (1 where both are odd); negative odd inputs get the exact
// floor as well.
inline vSInt32 sse_avg_s32(vSInt32 s1, vSInt32 s2) {
  return _mm_add_epi32(_mm_and_si128(s1, s2), _mm_srai_epi32(_mm_xor_si128(s1, s2), 1));
}

// ⌊(u1 + u2) / 2⌋ per unsigned 32-bit lane without overflow.
inline vUInt32 sse_avg_u32(vUInt32 u1, vUInt32 u2) {
  return _mm_add_epi32(_mm_and_si128(u1, u2), _mm_srli_epi32(_mm_xor_si128(u1, u2), 1));
}

// (f1 + f2) × 0.5.
inline vFloat sse_avg_ps(vFloat f1, vFloat f2) { return _mm_mul_ps(_mm_add_ps(f1, f2), _mm_set1_ps(0.5f)); }

// ---------------------------------------------------------------------------------------------------
// Selection and compares.

// (s1 AND NOT mask) OR (s2 AND mask): mask bits choose s2.
inline __m128i sse_sel(__m128i s1, __m128i s2, __m128i mask) {
  return _mm_or_si128(_mm_andnot_si128(mask, s1), _mm_and_si128(s2, mask));
}

// All ones in the lanes whose float equals 1.0, else 0; x0 goes to lane 3 and x3 to lane 0.
inline vUInt32 sse_create_float_mask(float x0, float x1, float x2, float x3) {
  return _mm_castps_si128(_mm_cmpeq_ps(_mm_set_ps(x0, x1, x2, x3), _mm_set1_ps(1.0f)));
}

// All ones where a > b as unsigned numbers, else 0.
inline __m128i sse_cmpgt_epu8(__m128i a, __m128i b) {
  const __m128i bias = _mm_set1_epi8(static_cast<char>(0x80));
  return _mm_cmpgt_epi8(_mm_xor_si128(a, bias), _mm_xor_si128(b, bias));
}
inline __m128i sse_cmpgt_epu16(__m128i a, __m128i b) {
  const __m128i bias = _mm_set1_epi16(static_cast<short>(0x8000));
  return _mm_cmpgt_epi16(_mm_xor_si128(a, bias), _mm_xor_si128(b, bias));
}
inline __m128i sse_cmpgt_epu32(__m128i a, __m128i b) {
  const __m128i bias = _mm_set1_epi32(static_cast<int>(0x80000000u));
  return _mm_cmpgt_epi32(_mm_xor_si128(a, bias), _mm_xor_si128(b, bias));
}

// Bounds compare: 0x80000000 where a <= b is false, plus 0x40000000 where -b <= a is false; a lane
// holding a NaN gets both bits.
inline vSInt32 sss_cmpb_ps(vFloat a, vFloat b) {
  const vFloat negB = _mm_xor_ps(b, _mm_set1_ps(-0.0f));
  const __m128i above = _mm_castps_si128(_mm_cmpnle_ps(a, b));
  const __m128i below = _mm_castps_si128(_mm_cmpnle_ps(negB, a));
  return _mm_or_si128(_mm_and_si128(above, _mm_set1_epi32(static_cast<int>(0x80000000u))),
                      _mm_and_si128(below, _mm_set1_epi32(0x40000000)));
}

// ---------------------------------------------------------------------------------------------------
// Minimum, maximum and absolute values.

inline vSInt8 sse_max_epi8(vSInt8 a, vSInt8 b) { return sse_sel(b, a, _mm_cmpgt_epi8(a, b)); }
inline vSInt8 sse_min_epi8(vSInt8 a, vSInt8 b) { return sse_sel(a, b, _mm_cmpgt_epi8(a, b)); }
inline vSInt32 sse_max_epi32(vSInt32 a, vSInt32 b) { return sse_sel(b, a, _mm_cmpgt_epi32(a, b)); }
inline vSInt32 sse_min_epi32(vSInt32 a, vSInt32 b) { return sse_sel(a, b, _mm_cmpgt_epi32(a, b)); }
inline vUInt16 sse_max_epu16(vUInt16 a, vUInt16 b) { return sse_sel(b, a, sse_cmpgt_epu16(a, b)); }
inline vUInt16 sse_min_epu16(vUInt16 a, vUInt16 b) { return sse_sel(a, b, sse_cmpgt_epu16(a, b)); }
inline vUInt32 sse_max_epu32(vUInt32 a, vUInt32 b) { return sse_sel(b, a, sse_cmpgt_epu32(a, b)); }
inline vUInt32 sse_min_epu32(vUInt32 a, vUInt32 b) { return sse_sel(a, b, sse_cmpgt_epu32(a, b)); }

// |a| as (a XOR s) - s with s = a >> 31; -2147483648 stays -2147483648.
inline vSInt32 sse_abs_epi32(vSInt32 a) {
  const __m128i s = _mm_srai_epi32(a, 31);
  return _mm_sub_epi32(_mm_xor_si128(a, s), s);
}

// |a| with saturation: -2147483648 gives 2147483647.
inline vSInt32 sse_abss_epi32(vSInt32 a) { return sse_abs_epi32(sse_max_epi32(a, _mm_set1_epi32(-2147483647))); }

// |a| with saturation: -128 gives 127.
inline vSInt8 sse_abss_epi8(vSInt8 a) {
  const __m128i m = _mm_cmpgt_epi8(_mm_setzero_si128(), a);
  return _mm_subs_epi8(_mm_xor_si128(a, m), m);
}

// ---------------------------------------------------------------------------------------------------
// Packs.

// Each unsigned 16-bit lane clamped to at most 255; a gives bytes 0..7, b bytes 8..15.
inline vUInt8 sse_packs_epu16(vUInt16 a, vUInt16 b) {
  const __m128i max = _mm_set1_epi16(255);
  return _mm_packus_epi16(_mm_sub_epi16(a, _mm_subs_epu16(a, max)), _mm_sub_epi16(b, _mm_subs_epu16(b, max)));
}

namespace sse_internal {
// Packs eight lanes of 0..65535 into 16-bit lanes (a gives lanes 0..3).
inline vUInt16 pack_u16_range_epi32(__m128i a, __m128i b) {
  const __m128i half = _mm_set1_epi32(32768);
  const __m128i packed = _mm_packs_epi32(_mm_sub_epi32(a, half), _mm_sub_epi32(b, half));
  return _mm_xor_si128(packed, _mm_set1_epi16(static_cast<short>(0x8000)));
}

// Keeps the low 16 bits of each 32-bit lane and packs them: lanes of a give 0..3, of b 4..7.
inline __m128i pack_low16_epi32(__m128i a, __m128i b) {
  return _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(a, 16), 16), _mm_srai_epi32(_mm_slli_epi32(b, 16), 16));
}
}  // namespace sse_internal

// Each unsigned 32-bit lane clamped to at most 65535; a gives lanes 0..3.
inline vUInt16 sse_packs_epu32(vUInt32 a, vUInt32 b) {
  const __m128i max = _mm_set1_epi32(65535);
  return sse_internal::pack_u16_range_epi32(sse_min_epu32(a, max), sse_min_epu32(b, max));
}

// Each signed 32-bit lane clamped to 0..65535 (unsigned saturation); a gives lanes 0..3.
inline vUInt16 sse_packus_epi32(vSInt32 a, vSInt32 b) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i max = _mm_set1_epi32(65535);
  return sse_internal::pack_u16_range_epi32(sse_min_epi32(sse_max_epi32(a, zero), max),
                                  sse_min_epi32(sse_max_epi32(b, zero), max));
}

// ---------------------------------------------------------------------------------------------------
// Byte permutes (byte by byte through memory).

// Byte i = k < 16 ? a[k] : b[k - 16] with k = shuffle[i] AND 31.
vUInt8 sse3_perm(vUInt8 a, vUInt8 b, vUInt8 shuffle);
// Byte i = 0 where bit 7 of shuffle[i] is set, else a[shuffle[i] AND 15].
vUInt8 sse3_shufb(vUInt8 a, vUInt8 shuffle);
// The permute control of a misaligned load: with k = (n + address of p) AND 15, byte i = k + i.
vUInt8 sse_lvsl(int n, const void *p);

// (a0, b0, a2, b2).
inline vFloat sse_vecf_merge_e(vFloat a, vFloat b) {
  return _mm_movelh_ps(_mm_unpacklo_ps(a, b), _mm_unpackhi_ps(a, b));
}
// (a1, b1, a3, b3).
inline vFloat sse_vecf_merge_o(vFloat a, vFloat b) {
  return _mm_movehl_ps(_mm_unpackhi_ps(a, b), _mm_unpacklo_ps(a, b));
}

// (lo[n0], lo[n1], hi[n2], hi[n3]) with run-time indices 0..3 (taken modulo 4).
vFloat sse_scalar_shuffle_ps(vFloat lo, vFloat hi, int n0, int n1, int n2, int n3);

// ---------------------------------------------------------------------------------------------------
// Saturating and horizontal integer arithmetic.

// u1 + u2 per signed 32-bit lane with signed saturation.
inline vSInt32 sse_adds_epi32(vSInt32 u1, vSInt32 u2) {
  const __m128i sum = _mm_add_epi32(u1, u2);
  // Overflow where both operands share a sign that the wrapped sum lacks.
  const __m128i overflow = _mm_andnot_si128(_mm_xor_si128(u1, u2), _mm_xor_si128(u1, sum));
  const __m128i mask = _mm_srai_epi32(overflow, 31);
  // Saturate towards the operands' sign: 0x7FFFFFFF for positive, 0x80000000 for negative.
  const __m128i limit = _mm_xor_si128(_mm_srai_epi32(u1, 31), _mm_set1_epi32(0x7FFFFFFF));
  return sse_sel(sum, limit, mask);
}

// a - b per signed 32-bit lane with signed saturation.
inline vSInt32 sse_subs_epi32(vSInt32 a, vSInt32 b) {
  const __m128i diff = _mm_sub_epi32(a, b);
  // Overflow where the operands' signs differ and the result's sign is not a's.
  const __m128i overflow = _mm_and_si128(_mm_xor_si128(a, b), _mm_xor_si128(a, diff));
  const __m128i mask = _mm_srai_epi32(overflow, 31);
  const __m128i limit = _mm_xor_si128(_mm_srai_epi32(a, 31), _mm_set1_epi32(0x7FFFFFFF));
  return sse_sel(diff, limit, mask);
}

// u1 + u2 per unsigned 32-bit lane, 0xFFFFFFFF where the sum exceeds 32 bits.
inline vUInt32 sse_adds_epu32(vUInt32 u1, vUInt32 u2) {
  const __m128i sum = _mm_add_epi32(u1, u2);
  return _mm_or_si128(sum, sse_cmpgt_epu32(u1, sum));
}

// a - b where a > b (unsigned), else 0.
inline vUInt32 sse_subs_epu32(vUInt32 a, vUInt32 b) {
  return _mm_and_si128(_mm_sub_epi32(a, b), sse_cmpgt_epu32(a, b));
}

// (a0+a1, a2+a3, a4+a5, a6+a7, b0+b1, b2+b3, b4+b5, b6+b7), wrapped to 16 bits.
inline __m128i sse_hadd_epi16(__m128i a, __m128i b) {
  return sse_internal::pack_low16_epi32(_mm_add_epi16(a, _mm_srli_epi32(a, 16)), _mm_add_epi16(b, _mm_srli_epi32(b, 16)));
}

// The same pair sums with signed saturation.
inline vSInt16 sse_hadds_epi16(vSInt16 a, vSInt16 b) {
  const __m128i ones = _mm_set1_epi16(1);
  return _mm_packs_epi32(_mm_madd_epi16(a, ones), _mm_madd_epi16(b, ones));
}

// sse_hadd_epi16(a, -b) with -b wrapped.
inline __m128i sse_hsub_epi16(__m128i a, __m128i b) {
  return sse_hadd_epi16(a, _mm_sub_epi16(_mm_setzero_si128(), b));
}

// sse_hadds_epi16 of a and of 0 - b taken with signed saturation.
inline vSInt16 sse_hsubs_epi16(vSInt16 a, vSInt16 b) {
  return sse_hadds_epi16(a, _mm_subs_epi16(_mm_setzero_si128(), b));
}

// (a0+a1, a2+a3, b0+b1, b2+b3), wrapped.
inline __m128i sse_hadd_epi32(__m128i a, __m128i b) {
  const __m128 fa = _mm_castsi128_ps(a);
  const __m128 fb = _mm_castsi128_ps(b);
  const __m128i even = _mm_castps_si128(_mm_shuffle_ps(fa, fb, _MM_SHUFFLE(2, 0, 2, 0)));
  const __m128i odd = _mm_castps_si128(_mm_shuffle_ps(fa, fb, _MM_SHUFFLE(3, 1, 3, 1)));
  return _mm_add_epi32(even, odd);
}

// sse_hadd_epi32(a, -b) with -b wrapped.
inline __m128i sse_hsub_epi32(__m128i a, __m128i b) {
  return sse_hadd_epi32(a, _mm_sub_epi32(_mm_setzero_si128(), b));
}

// Multiplies eight 16-bit lanes into full 32-bit products (low half in bits 0..15, high half in bits
// 16..31): products of lanes 0..3 are stored through hi, of lanes 4..7 through lo.
inline void sse_mul_full_epu16(vUInt16 a, vUInt16 b, vUInt32 *hi, vUInt32 *lo) {
  const __m128i low = _mm_mullo_epi16(a, b);
  const __m128i high = _mm_mulhi_epu16(a, b);
  _mm_store_si128(hi, _mm_unpacklo_epi16(low, high));
  _mm_store_si128(lo, _mm_unpackhi_epi16(low, high));
}
inline void sse_mul_full_epi16(vSInt16 a, vSInt16 b, vSInt32 *hi, vSInt32 *lo) {
  const __m128i low = _mm_mullo_epi16(a, b);
  const __m128i high = _mm_mulhi_epi16(a, b);
  _mm_store_si128(hi, _mm_unpacklo_epi16(low, high));
  _mm_store_si128(lo, _mm_unpackhi_epi16(low, high));
}

// Lane i (0..3): a[i]·b[i] + a[i+4]·b[i+4] + c[i], unsigned, wrapped.
inline vUInt32 sse_msum_epu16(vUInt16 a, vUInt16 b, vUInt32 c) {
  alignas(16) vUInt32 p[2];
  sse_mul_full_epu16(a, b, &p[0], &p[1]);
  return _mm_add_epi32(_mm_add_epi32(p[0], p[1]), c);
}
// The same with signed products and signed saturation.
inline vSInt32 sse_msums_epi16(vSInt16 a, vSInt16 b, vSInt32 c) {
  alignas(16) vSInt32 p[2];
  sse_mul_full_epi16(a, b, &p[0], &p[1]);
  return sse_adds_epi32(sse_adds_epi32(p[0], p[1]), c);
}
// The same with unsigned products and unsigned saturation.
inline vUInt32 sse_msums_epu16(vUInt16 a, vUInt16 b, vUInt32 c) {
  alignas(16) vUInt32 p[2];
  sse_mul_full_epu16(a, b, &p[0], &p[1]);
  return sse_adds_epu32(sse_adds_epu32(p[0], p[1]), c);
}

// ---------------------------------------------------------------------------------------------------
// Whole-register bit shifts of the 128-bit value (lane 0 least significant), counts 0..127; larger
// counts give zero. The vector forms take their count from the low 32 bits of n, as an unsigned number.

__m128i sse_sll(__m128i a, __m128i n);
__m128i sse_srl(__m128i a, __m128i n);
inline __m128i sse_sll_imm(__m128i a, int nImm) {
  return sse_sll(a, _mm_cvtsi32_si128(nImm));
}
inline __m128i sse_srl_imm(__m128i a, int nImm) {
  return sse_srl(a, _mm_cvtsi32_si128(nImm));
}

// ---------------------------------------------------------------------------------------------------
// Conversions between float and 32-bit integers with a power-of-two scale.

// f · 2^n to signed 32-bit, rounded to nearest with ties to even; lanes at or above 2^31 give
// 0x7FFFFFFF, lanes at or below -2^31 and NaN give 0x80000000.
inline vSInt32 sse_cts_ps(vFloat v, int n) {
  const vFloat s = vscalbf(v, _mm_set1_epi32(n));
  const __m128i over = _mm_castps_si128(_mm_cmpge_ps(s, _mm_set1_ps(2147483648.0f)));
  return _mm_xor_si128(_mm_cvtps_epi32(s), over);
}

// f · 2^n to unsigned 32-bit, rounded to nearest with ties to even; negative values and NaN give 0,
// values of 2^32 and above give 0xFFFFFFFF.
inline vUInt32 sse_ctu_ps(vFloat f, int n) {
  const vFloat two31 = _mm_set1_ps(2147483648.0f);
  // max(s, 0) takes its second operand where s is NaN.
  const vFloat s = _mm_max_ps(vscalbf(f, _mm_set1_epi32(n)), _mm_setzero_ps());
  const vFloat big = _mm_cmpge_ps(s, two31);
  const __m128i converted = _mm_cvtps_epi32(_mm_sub_ps(s, _mm_and_ps(big, two31)));
  const __m128i high = _mm_and_si128(_mm_castps_si128(big), _mm_set1_epi32(static_cast<int>(0x80000000u)));
  const __m128i saturated = _mm_castps_si128(_mm_cmpge_ps(s, _mm_set1_ps(4294967296.0f)));
  return _mm_or_si128(_mm_add_epi32(converted, high), saturated);
}

// float(v) · 2^-n.
inline vFloat sse_ctf_epi32(vSInt32 v, int n) {
  return vscalbf(_mm_cvtepi32_ps(v), _mm_set1_epi32(-n));
}

// (float(v >> 16) × 65536 + float(v AND 0xFFFF)) · 2^-n, v unsigned.
inline vFloat sse_ctf_epu32(vUInt32 v, int n) {
  const vFloat high = _mm_mul_ps(_mm_cvtepi32_ps(_mm_srli_epi32(v, 16)), _mm_set1_ps(65536.0f));
  const vFloat low = _mm_cvtepi32_ps(_mm_and_si128(v, _mm_set1_epi32(0xFFFF)));
  return vscalbf(_mm_add_ps(high, low), _mm_set1_epi32(-n));
}

// ---------------------------------------------------------------------------------------------------
// Float rounding (under the default round-to-nearest mode). Magnitudes above 2^23 are integers already
// and come back unchanged.

inline vFloat sse_floor_ps(vFloat v) {
  const vFloat two23 = _mm_set1_ps(8388608.0f);
  const vFloat a = _mm_andnot_ps(_mm_set1_ps(-0.0f), v);
  // Adding and removing 2^23 rounds v to an integer; a result above v is taken down by one.
  vFloat d = _mm_sub_ps(_mm_add_ps(_mm_add_ps(_mm_sub_ps(v, two23), two23), two23), two23);
  const vFloat above = _mm_cmplt_ps(v, d);
  d = _mm_add_ps(d, _mm_cvtepi32_ps(_mm_castps_si128(above)));
  const vFloat large = _mm_cmpgt_ps(a, two23);
  return _mm_or_ps(_mm_and_ps(large, v), _mm_andnot_ps(large, d));
}

// v where floor(v) = v, else floor(v) + 1.
inline vFloat sse_ceil_ps(vFloat v) {
  const vFloat fl = sse_floor_ps(v);
  const vFloat integral = _mm_cmpeq_ps(fl, v);
  return _mm_add_ps(fl, _mm_andnot_ps(integral, _mm_set1_ps(1.0f)));
}

// Towards zero: floor(v) where v > 0 or v is an integer, else floor(v) + 1.
inline vFloat sse_trunc_ps(vFloat v) {
  const vFloat fl = sse_floor_ps(v);
  const vFloat keep = _mm_or_ps(_mm_cmpgt_ps(v, _mm_setzero_ps()), _mm_cmpeq_ps(fl, v));
  return _mm_add_ps(fl, _mm_andnot_ps(keep, _mm_set1_ps(1.0f)));
}

// Nearest integer with halves going down (2.5 gives 2, -2.5 gives -3).
inline vFloat sse_round_ps(vFloat v) {
  const vFloat one = _mm_set1_ps(1.0f);
  const vFloat fl = sse_floor_ps(v);
  const vFloat fraction = _mm_sub_ps(v, fl);
  const vFloat up = _mm_cmplt_ps(_mm_sub_ps(one, fraction), fraction);
  return _mm_add_ps(fl, _mm_and_ps(up, one));
}

// ---------------------------------------------------------------------------------------------------
// Fixed-point multiply-high with add: the high 16 bits of s1 × (s2 · 2, wrapped to 16 bits), added to s3
// with signed saturation. No rounding term: for |s2| < 16384 this is ⌊s1 · s2 / 32768⌋ + s3.
inline vSInt16 sse_mradds(vSInt16 s1, vSInt16 s2, vSInt16 s3) {
  return _mm_adds_epi16(_mm_mulhi_epi16(s1, _mm_add_epi16(s2, s2)), s3);
}
