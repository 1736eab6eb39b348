// Test helpers: build vectors from lane arrays and read their lanes back (lane 0 at the lowest address).
#pragma once

#include "color/sse_primitives_sse.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace bz_test {

template <typename T, size_t N>
inline __m128i Vec(const std::array<T, N> &lanes) {
  static_assert(sizeof(T) * N == 16, "a vector holds 16 bytes");
  __m128i v;
  std::memcpy(&v, lanes.data(), 16);
  return v;
}

template <typename T>
inline std::array<T, 16 / sizeof(T)> Lanes(__m128i v) {
  std::array<T, 16 / sizeof(T)> out;
  std::memcpy(out.data(), &v, 16);
  return out;
}

inline __m128 VecF(float x0, float x1, float x2, float x3) { return _mm_setr_ps(x0, x1, x2, x3); }

inline std::array<float, 4> LanesF(__m128 v) {
  std::array<float, 4> out;
  std::memcpy(out.data(), &v, 16);
  return out;
}

inline std::array<uint32_t, 4> BitsF(__m128 v) {
  std::array<uint32_t, 4> out;
  std::memcpy(out.data(), &v, 16);
  return out;
}

inline uint32_t FloatBits(float f) {
  uint32_t b;
  std::memcpy(&b, &f, 4);
  return b;
}

inline float BitsToFloat(uint32_t b) {
  float f;
  std::memcpy(&f, &b, 4);
  return f;
}

}  // namespace bz_test
