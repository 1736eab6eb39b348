// The out-of-line vector helpers: run-time byte shifts, the lane-after-lane means, the byte permutes that
// work through memory, whole-register bit shifts and vscalbf.
#include "color/sse_primitives_sse.h"

#include <cmath>
#include <cstring>

vFloat vscalbf(vFloat x, vSInt32 n) {
  // One multiply by an exact power of two rounds once, as ldexpf does; counts beyond the normal
  // exponent range take the lane-by-lane route.
  const __m128i outside =
      _mm_or_si128(_mm_cmpgt_epi32(_mm_set1_epi32(-126), n), _mm_cmpgt_epi32(n, _mm_set1_epi32(127)));
  if (_mm_movemask_epi8(outside) == 0) {
    const __m128i bits = _mm_slli_epi32(_mm_add_epi32(n, _mm_set1_epi32(127)), 23);
    return _mm_mul_ps(x, _mm_castsi128_ps(bits));
  }
  alignas(16) float lanes[4];
  alignas(16) int32_t counts[4];
  _mm_store_ps(lanes, x);
  _mm_store_si128(reinterpret_cast<__m128i *>(counts), n);
  for (int i = 0; i < 4; ++i) lanes[i] = std::ldexp(lanes[i], counts[i]);
  return _mm_load_ps(lanes);
}

__m128i sse_alignr_epi8(__m128i vec1, __m128i vec2, int n) {
#define BZ_ALIGNR_CASE(k) \
  case k:                 \
    return _mm_or_si128(_mm_srli_si128(vec1, k), _mm_slli_si128(vec2, 16 - (k)));
  switch (n) {
    case 0:
      return vec1;
      BZ_ALIGNR_CASE(1)
      BZ_ALIGNR_CASE(2)
      BZ_ALIGNR_CASE(3)
      BZ_ALIGNR_CASE(4)
      BZ_ALIGNR_CASE(5)
      BZ_ALIGNR_CASE(6)
      BZ_ALIGNR_CASE(7)
      BZ_ALIGNR_CASE(8)
      BZ_ALIGNR_CASE(9)
      BZ_ALIGNR_CASE(10)
      BZ_ALIGNR_CASE(11)
      BZ_ALIGNR_CASE(12)
      BZ_ALIGNR_CASE(13)
      BZ_ALIGNR_CASE(14)
      BZ_ALIGNR_CASE(15)
    default:
      return _mm_setzero_si128();
  }
#undef BZ_ALIGNR_CASE
}

namespace {

// The four lanes of v added one after the other: ((x0 + x1) + x2) + x3.
inline float LaneSum(vFloat v) {
  alignas(16) float x[4];
  _mm_store_ps(x, v);
  return ((x[0] + x[1]) + x[2]) + x[3];
}

// One vector of the lane-after-lane totals of the four group sums of 16 consecutive vectors.
inline vFloat GroupTotals16(const vFloat *f) {
  const float t0 = LaneSum(sse_sum4_ps(f[0], f[1], f[2], f[3]));
  const float t1 = LaneSum(sse_sum4_ps(f[4], f[5], f[6], f[7]));
  const float t2 = LaneSum(sse_sum4_ps(f[8], f[9], f[10], f[11]));
  const float t3 = LaneSum(sse_sum4_ps(f[12], f[13], f[14], f[15]));
  return _mm_setr_ps(t0, t1, t2, t3);
}

}  // namespace

vFloat sse_av64_splat_ps(const vFloat *f) {
  return _mm_mul_ps(sse_sum_across_splat_ps(GroupTotals16(f)), _mm_set1_ps(0.015625f));
}

vFloat sse_av256_splat_ps(const vFloat *f) {
  const vFloat blocks = _mm_setr_ps(LaneSum(GroupTotals16(f)), LaneSum(GroupTotals16(f + 16)),
                                    LaneSum(GroupTotals16(f + 32)), LaneSum(GroupTotals16(f + 48)));
  return _mm_mul_ps(sse_sum_across_splat_ps(blocks), _mm_set1_ps(0.00390625f));
}

vUInt8 sse3_perm(vUInt8 a, vUInt8 b, vUInt8 shuffle) {
  alignas(16) uint8_t src[32];
  alignas(16) uint8_t sh[16];
  alignas(16) uint8_t out[16];
  _mm_store_si128(reinterpret_cast<__m128i *>(src), a);
  _mm_store_si128(reinterpret_cast<__m128i *>(src + 16), b);
  _mm_store_si128(reinterpret_cast<__m128i *>(sh), shuffle);
  for (int i = 0; i < 16; ++i) out[i] = src[sh[i] & 31];
  return _mm_load_si128(reinterpret_cast<const __m128i *>(out));
}

vUInt8 sse3_shufb(vUInt8 a, vUInt8 shuffle) {
  alignas(16) uint8_t src[16];
  alignas(16) uint8_t sh[16];
  alignas(16) uint8_t out[16];
  _mm_store_si128(reinterpret_cast<__m128i *>(src), a);
  _mm_store_si128(reinterpret_cast<__m128i *>(sh), shuffle);
  // Indices 16..127 lie outside the vector; like the processor's byte shuffle, only their low 4 bits count.
  for (int i = 0; i < 16; ++i) out[i] = (sh[i] & 0x80) ? 0 : src[sh[i] & 15];
  return _mm_load_si128(reinterpret_cast<const __m128i *>(out));
}

vUInt8 sse_lvsl(int n, const void *p) {
  const unsigned k = static_cast<unsigned>(static_cast<uintptr_t>(n) + reinterpret_cast<uintptr_t>(p)) & 15u;
  alignas(16) uint8_t out[16];
  for (unsigned i = 0; i < 16; ++i) out[i] = static_cast<uint8_t>(k + i);
  return _mm_load_si128(reinterpret_cast<const __m128i *>(out));
}

vFloat sse_scalar_shuffle_ps(vFloat lo, vFloat hi, int n0, int n1, int n2, int n3) {
  alignas(16) float l[4];
  alignas(16) float h[4];
  _mm_store_ps(l, lo);
  _mm_store_ps(h, hi);
  return _mm_setr_ps(l[n0 & 3], l[n1 & 3], h[n2 & 3], h[n3 & 3]);
}

namespace {

inline unsigned __int128 Load128(__m128i a) {
  unsigned __int128 v;
  std::memcpy(&v, &a, sizeof v);
  return v;
}

inline __m128i Store128(unsigned __int128 v) {
  __m128i a;
  std::memcpy(&a, &v, sizeof a);
  return a;
}

}  // namespace

__m128i sse_sll(__m128i a, __m128i n) {
  const uint32_t count = static_cast<uint32_t>(_mm_cvtsi128_si32(n));
  if (count > 127) return _mm_setzero_si128();
  return Store128(Load128(a) << count);
}

__m128i sse_srl(__m128i a, __m128i n) {
  const uint32_t count = static_cast<uint32_t>(_mm_cvtsi128_si32(n));
  if (count > 127) return _mm_setzero_si128();
  return Store128(Load128(a) >> count);
}
