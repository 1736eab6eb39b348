// The difference-picture kernel, SSE version.
#include "engine/runtime/diff_lines.h"

#include <emmintrin.h>

#include <algorithm>
#include <cassert>

void BZ_MakeDiffLinesAcc(SInt32 height, SInt32 width, const UInt8 *dirtyFramePtr, const UInt8 *cleanFramePtr,
                         UInt8 *outBuffer, float factorC, float factorY, float chromaInLumaFactor, SInt32 mediumGray) {
  assert(height >= 0 && width >= 0);
  const SInt64 groups = SInt64(height) * width / 8;
  // Factors beyond the 16-bit range would wrap; they saturate every pixel long before that anyway.
  auto fixed = [](float f) { return int(std::clamp(f * 256.0f, -32768.0f, 32767.0f)); };
  const int fC = fixed(factorC);
  const int fY = fixed(factorY);
  const int fCY = fixed(chromaInLumaFactor);
  // Pixels are (chroma, luma) pairs, so one multiply-and-add of the 16-bit differences with (a, b) gives
  // a x dC + b x dY per pixel in 32 bits, wide enough for any factor.
  const __m128i lumaFactors = _mm_set1_epi32(int((UInt32(UInt16(fY)) << 16) | UInt16(fCY)));
  const __m128i chromaFactors = _mm_set1_epi32(int(UInt16(fC)));
  const __m128i lumaAdd = _mm_set1_epi32(mediumGray * 256 + 128);
  const __m128i chromaAdd = _mm_set1_epi32(128 * 256 + 128);
  const __m128i zero = _mm_setzero_si128();
  const __m128i byteMax = _mm_set1_epi16(255);
  int previous = mediumGray < 0 ? 0 : mediumGray > 255 ? 255 : mediumGray;

  for (SInt64 g = 0; g < groups; ++g) {
    const __m128i dirty = _mm_loadu_si128(reinterpret_cast<const __m128i *>(dirtyFramePtr + 16 * g));
    const __m128i clean = _mm_loadu_si128(reinterpret_cast<const __m128i *>(cleanFramePtr + 16 * g));
    const __m128i diffLo = _mm_sub_epi16(_mm_unpacklo_epi8(clean, zero), _mm_unpacklo_epi8(dirty, zero));
    const __m128i diffHi = _mm_sub_epi16(_mm_unpackhi_epi8(clean, zero), _mm_unpackhi_epi8(dirty, zero));

    const __m128i yLo = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(diffLo, lumaFactors), lumaAdd), 8);
    const __m128i yHi = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(diffHi, lumaFactors), lumaAdd), 8);
    const __m128i cLo = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(diffLo, chromaFactors), chromaAdd), 8);
    const __m128i cHi = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(diffHi, chromaFactors), chromaAdd), 8);
    // Limited to 0..255 before the smoothing.
    const __m128i y = _mm_min_epi16(_mm_max_epi16(_mm_packs_epi32(yLo, yHi), zero), byteMax);
    const __m128i c = _mm_min_epi16(_mm_max_epi16(_mm_packs_epi32(cLo, cHi), zero), byteMax);

    const __m128i prev = _mm_insert_epi16(_mm_slli_si128(y, 2), previous, 0);
    const __m128i smooth = _mm_avg_epu16(y, prev);
    previous = _mm_extract_epi16(y, 7);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(outBuffer + 16 * g), _mm_or_si128(c, _mm_slli_epi16(smooth, 8)));
  }
}
