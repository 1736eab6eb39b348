// The 64- and 256-float means, each in its own summation order.
#include "color/vector_sums_sse.h"

vFloat vecf_av64_splat(const vFloat *f) {
  alignas(16) vFloat s[4];
  for (int g = 0; g < 4; ++g) s[g] = vecf_sum4(f + 4 * g);
  return _mm_mul_ps(sse_sum_across_splat_ps(vecf_scalar_sum4_across(s)), _mm_set1_ps(0.015625f));
}

vFloat vecf_av256_splat(const vFloat *f) {
  alignas(16) vFloat u[4];
  for (int b = 0; b < 4; ++b) {
    alignas(16) vFloat t[4];
    for (int g = 0; g < 4; ++g) t[g] = vecf_sum4(f + 16 * b + 4 * g);
    u[b] = vecf_sum4_across(t);
  }
  return _mm_mul_ps(sse_sum_across_splat_ps(vecf_sum4_across(u)), _mm_set1_ps(0.00390625f));
}
