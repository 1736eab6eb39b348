// SSE fake ARGB frames, 8 pixels a step. '2vuy' pairs are handled as 32-bit words
// Cb | Y0 << 8 | Cr << 16 | Y1 << 24, fake ARGB pixels as A | Y << 8 | Cb << 16 | Cr << 24.
#include "color/fake_argb.h"

#include <cassert>
#include <cstddef>

#include "color/sse_primitives_sse.h"

namespace {

inline __m128i ByteOfWords(__m128i w, int shift) {
  return _mm_and_si128(_mm_srli_epi32(w, shift), _mm_set1_epi32(0xFF));
}

}  // namespace

void CO_2vuyLineToFakeARGB_Acc(SInt32 width, const void *sourcePtr, void *targetPtr) {
  assert(width < 8 || (sourcePtr != nullptr && targetPtr != nullptr));
  const SInt32 steps = width / 8;
  if (steps <= 0) return;
  const __m128i *src = static_cast<const __m128i *>(sourcePtr);
  __m128i *dst = static_cast<__m128i *>(targetPtr);
  const __m128i alpha = _mm_set1_epi32(255);
  // Lane 0: the chroma of the pair right of the step; the line's last pair stands in for the first step.
  __m128i words = _mm_loadu_si128(src + steps - 1);
  __m128i cbRight = _mm_srli_si128(ByteOfWords(words, 0), 12);
  __m128i crRight = _mm_srli_si128(ByteOfWords(words, 16), 12);
  // From the end of the line backwards: a step's output covers only input already read, so the line may
  // be expanded in place.
  for (SInt32 step = steps - 1; step >= 0; --step) {
    words = _mm_loadu_si128(src + step);
    const __m128i cb = ByteOfWords(words, 0);
    const __m128i y0 = ByteOfWords(words, 8);
    const __m128i cr = ByteOfWords(words, 16);
    const __m128i y1 = _mm_srli_epi32(words, 24);
    const __m128i cbOdd = sse_avg_s32(cb, _mm_or_si128(_mm_srli_si128(cb, 4), _mm_slli_si128(cbRight, 12)));
    const __m128i crOdd = sse_avg_s32(cr, _mm_or_si128(_mm_srli_si128(cr, 4), _mm_slli_si128(crRight, 12)));
    cbRight = cb;
    crRight = cr;
    const __m128i even = _mm_or_si128(_mm_or_si128(alpha, _mm_slli_epi32(y0, 8)),
                                      _mm_or_si128(_mm_slli_epi32(cb, 16), _mm_slli_epi32(cr, 24)));
    const __m128i odd = _mm_or_si128(_mm_or_si128(alpha, _mm_slli_epi32(y1, 8)),
                                     _mm_or_si128(_mm_slli_epi32(cbOdd, 16), _mm_slli_epi32(crOdd, 24)));
    _mm_storeu_si128(dst + 2 * step + 1, _mm_unpackhi_epi32(even, odd));
    _mm_storeu_si128(dst + 2 * step, _mm_unpacklo_epi32(even, odd));
  }
}

void CO_2vuyFrameToFakeARGB_Acc(SInt32 height, SInt32 width, const void *inBuffer, void *outBuffer) {
  assert(height <= 0 || width < 8 || (inBuffer != nullptr && outBuffer != nullptr));
  const UInt8 *in = static_cast<const UInt8 *>(inBuffer);
  UInt8 *out = static_cast<UInt8 *>(outBuffer);
  for (SInt32 row = height - 1; row >= 0; --row) {
    CO_2vuyLineToFakeARGB_Acc(width, in + ptrdiff_t(row) * width * 2, out + ptrdiff_t(row) * width * 4);
  }
}

void CO_FakeARGB_LineTo2vuyAcc(SInt32 width, const void *sourcePtr, void *targetPtr) {
  assert(width < 8 || (sourcePtr != nullptr && targetPtr != nullptr));
  const __m128i *src = static_cast<const __m128i *>(sourcePtr);
  __m128i *dst = static_cast<__m128i *>(targetPtr);
  for (SInt32 step = 0; step < width / 8; ++step) {
    const __m128 p0 = _mm_castsi128_ps(_mm_loadu_si128(src + 2 * step));
    const __m128 p1 = _mm_castsi128_ps(_mm_loadu_si128(src + 2 * step + 1));
    const __m128i even = _mm_castps_si128(_mm_shuffle_ps(p0, p1, _MM_SHUFFLE(2, 0, 2, 0)));
    const __m128i odd = _mm_castps_si128(_mm_shuffle_ps(p0, p1, _MM_SHUFFLE(3, 1, 3, 1)));
    // Cb | Y0 << 8 | Cr << 16 | Y1 << 24 from the even pixel's Y, Cb, Cr and the odd pixel's Y.
    const __m128i pair = _mm_or_si128(
        _mm_or_si128(ByteOfWords(even, 16), _mm_and_si128(even, _mm_set1_epi32(0xFF00))),
        _mm_or_si128(_mm_slli_epi32(_mm_srli_epi32(even, 24), 16), _mm_slli_epi32(ByteOfWords(odd, 8), 24)));
    _mm_storeu_si128(dst + step, pair);
  }
}

void CO_FakeARGB_FrameTo2vuyAcc(SInt32 height, SInt32 width, const void *inBuffer, void *outBuffer) {
  assert(height <= 0 || width < 8 || (inBuffer != nullptr && outBuffer != nullptr));
  const UInt8 *in = static_cast<const UInt8 *>(inBuffer);
  UInt8 *out = static_cast<UInt8 *>(outBuffer);
  for (SInt32 row = 0; row < height; ++row) {
    CO_FakeARGB_LineTo2vuyAcc(width, in + ptrdiff_t(row) * width * 4, out + ptrdiff_t(row) * width * 2);
  }
}
