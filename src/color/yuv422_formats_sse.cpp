// SSE versions of the 4:2:2 byte swaps and float-line conversions: 8 pixels (16 bytes, 16 floats) a step,
// width / 8 steps, any remainder left untouched. Only SSE2 instructions are used.
#include "color/yuv422_formats.h"

#include <emmintrin.h>

#include <cassert>
#include <cstddef>
#include <cstdlib>

namespace {

// Exchanges the two bytes of every 16-bit unit.
inline __m128i SwapBytes16(__m128i v) { return _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8)); }

}  // namespace

void CO_ByteSwapYuv2LineAcc(SInt32 width, const void *inLinePtr, void *outLinePtr) {
  assert(width < 8 || (inLinePtr != nullptr && outLinePtr != nullptr));
  auto *in = static_cast<const __m128i *>(inLinePtr);
  auto *out = static_cast<__m128i *>(outLinePtr);
  const __m128i signBits = _mm_set1_epi16(SInt16(0x8000));
  const SInt32 steps = width / 8;
  for (SInt32 i = 0; i < steps; ++i) {
    __m128i v = _mm_loadu_si128(in + i);
    _mm_storeu_si128(out + i, SwapBytes16(_mm_xor_si128(v, signBits)));
  }
}

void CO_ByteSwap2vuyLineAcc(SInt32 width, const void *inLinePtr, void *outLinePtr) {
  assert(width < 8 || (inLinePtr != nullptr && outLinePtr != nullptr));
  auto *in = static_cast<const __m128i *>(inLinePtr);
  auto *out = static_cast<__m128i *>(outLinePtr);
  const __m128i signBits = _mm_set1_epi16(SInt16(0x8000));
  const SInt32 steps = width / 8;
  for (SInt32 i = 0; i < steps; ++i) {
    __m128i v = _mm_loadu_si128(in + i);
    _mm_storeu_si128(out + i, _mm_xor_si128(SwapBytes16(v), signBits));
  }
}

void CO_ByteSwapYuv2FrameAcc(SInt32 width, SInt32 height, const void *inPtr, void *outPtr, SInt32 inRowBytes,
                             SInt32 outRowBytes) {
  assert(height <= 0 || width < 8 || (inPtr != nullptr && outPtr != nullptr));
  assert(height <= 1 || (std::abs(inRowBytes) >= 2 * width && std::abs(outRowBytes) >= 2 * width));
  auto *in = static_cast<const UInt8 *>(inPtr);
  auto *out = static_cast<UInt8 *>(outPtr);
  for (SInt32 y = 0; y < height; ++y)
    CO_ByteSwapYuv2LineAcc(width, in + ptrdiff_t(y) * inRowBytes, out + ptrdiff_t(y) * outRowBytes);
}

void CO_ByteSwap2vuyFrameAcc(SInt32 width, SInt32 height, const void *inPtr, void *outPtr, SInt32 inRowBytes,
                             SInt32 outRowBytes) {
  assert(height <= 0 || width < 8 || (inPtr != nullptr && outPtr != nullptr));
  assert(height <= 1 || (std::abs(inRowBytes) >= 2 * width && std::abs(outRowBytes) >= 2 * width));
  auto *in = static_cast<const UInt8 *>(inPtr);
  auto *out = static_cast<UInt8 *>(outPtr);
  for (SInt32 y = 0; y < height; ++y)
    CO_ByteSwap2vuyLineAcc(width, in + ptrdiff_t(y) * inRowBytes, out + ptrdiff_t(y) * outRowBytes);
}

void CO_2vuyLineToFloatAcc(SInt32 width, const void *sourcePtr, float *linePtr, Boolean inputIsFullRange) {
  assert(width < 8 || (sourcePtr != nullptr && linePtr != nullptr));
  auto *src = static_cast<const __m128i *>(sourcePtr);
  // A byte b placed below the exponent bits 0x4B00 reads as the float 2^23 + b; subtracting 2^23 + offset
  // leaves b - offset exactly, so the conversion needs no integer-to-float instruction.
  const __m128i magic = _mm_set1_epi16(0x4B00);
  const float m = 8388608.0f;
  // Lanes hold Y0, Cb, Y1, Cr.
  const __m128 bias = inputIsFullRange ? _mm_setr_ps(m, m + 128.0f, m, m + 128.0f)
                                       : _mm_setr_ps(m + 16.0f, m + 128.0f, m + 16.0f, m + 128.0f);
  const __m128 scale = _mm_setr_ps(kCO_LumaVideoToFullScale, kCO_ChromaVideoToFullScale, kCO_LumaVideoToFullScale,
                                   kCO_ChromaVideoToFullScale);
  const __m128i lowBytes = _mm_set1_epi16(0x00FF);
  const SInt32 steps = width / 8;
  for (SInt32 i = 0; i < steps; ++i, linePtr += 16) {
    // Cb Y0 Cr Y1 -> Y0 Cb Y1 Cr in 16-bit lanes, then widened (with the exponent) to 32 bits.
    __m128i v = _mm_loadu_si128(src + i);
    __m128i luma = _mm_srli_epi16(v, 8);
    __m128i chroma = _mm_and_si128(v, lowBytes);
    __m128i lo = _mm_unpacklo_epi16(luma, chroma);
    __m128i hi = _mm_unpackhi_epi16(luma, chroma);
    __m128 f0 = _mm_sub_ps(_mm_castsi128_ps(_mm_unpacklo_epi16(lo, magic)), bias);
    __m128 f1 = _mm_sub_ps(_mm_castsi128_ps(_mm_unpackhi_epi16(lo, magic)), bias);
    __m128 f2 = _mm_sub_ps(_mm_castsi128_ps(_mm_unpacklo_epi16(hi, magic)), bias);
    __m128 f3 = _mm_sub_ps(_mm_castsi128_ps(_mm_unpackhi_epi16(hi, magic)), bias);
    if (!inputIsFullRange) {
      // The difference is an exact integer, so this equals the scalar (byte - offset) x scale.
      f0 = _mm_mul_ps(f0, scale);
      f1 = _mm_mul_ps(f1, scale);
      f2 = _mm_mul_ps(f2, scale);
      f3 = _mm_mul_ps(f3, scale);
    }
    _mm_storeu_ps(linePtr + 0, f0);
    _mm_storeu_ps(linePtr + 4, f1);
    _mm_storeu_ps(linePtr + 8, f2);
    _mm_storeu_ps(linePtr + 12, f3);
  }
}

namespace {

// value x scale + offset, rounded to nearest with halves upward. Values that end below 0 saturate to 0
// anyway, so truncating value + 0.5 is exact where it matters. The clamp keeps huge values and NaN (to the
// low end) away from the conversion's out-of-range result.
inline __m128i RoundHalfUp(__m128 v, __m128 scale, __m128 offset) {
  const __m128 half = _mm_set1_ps(0.5f);
  const __m128 low = _mm_set1_ps(-4096.0f);
  const __m128 high = _mm_set1_ps(4096.0f);
  __m128 x = _mm_add_ps(_mm_add_ps(_mm_mul_ps(v, scale), offset), half);
  x = _mm_min_ps(_mm_max_ps(x, low), high);  // max(NaN, low) is low
  return _mm_cvttps_epi32(x);
}

}  // namespace

void CO_FloatLineTo2vuyAcc(SInt32 width, void *targetPtr, const float *linePtr, Boolean outputIsFullRange) {
  assert(width < 8 || (targetPtr != nullptr && linePtr != nullptr));
  auto *dst = static_cast<__m128i *>(targetPtr);
  const __m128 offset = outputIsFullRange ? _mm_setr_ps(0.0f, 128.0f, 0.0f, 128.0f)
                                          : _mm_setr_ps(16.0f, 128.0f, 16.0f, 128.0f);
  const __m128 scale = outputIsFullRange ? _mm_set1_ps(1.0f)
                                         : _mm_setr_ps(kCO_LumaFullToVideoScale, kCO_ChromaFullToVideoScale,
                                                       kCO_LumaFullToVideoScale, kCO_ChromaFullToVideoScale);
  const SInt32 steps = width / 8;
  for (SInt32 i = 0; i < steps; ++i, linePtr += 16) {
    __m128i i0 = RoundHalfUp(_mm_loadu_ps(linePtr + 0), scale, offset);
    __m128i i1 = RoundHalfUp(_mm_loadu_ps(linePtr + 4), scale, offset);
    __m128i i2 = RoundHalfUp(_mm_loadu_ps(linePtr + 8), scale, offset);
    __m128i i3 = RoundHalfUp(_mm_loadu_ps(linePtr + 12), scale, offset);
    // Saturating packs give 0..255; then Y0 Cb Y1 Cr -> Cb Y0 Cr Y1.
    __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(i0, i1), _mm_packs_epi32(i2, i3));
    _mm_storeu_si128(dst + i, SwapBytes16(bytes));
  }
}
