// SSE frame difference: sixteen pixels (32 bytes) a step. Absolute differences come from psadbw over the
// interleaved bytes, which is |dC| + |dY| per pixel summed; a pixel is unchanged when its 16-bit lane
// (chroma and luma byte) compares equal; the histograms take the signed saturating byte differences of the
// de-interleaved channels, biased so that unsigned order is kept.
#include "engine/runtime/frame_analysis.h"

#include "color/sse_primitives_sse.h"
#include "color/vector_sums.h"

#include <cassert>

namespace {

inline __m128i Load(const UInt8 *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }

// Chroma bytes (even) of 16 pixels, biased to signed order.
inline __m128i ChromaBiased(__m128i lo, __m128i hi) {
  const __m128i low = _mm_set1_epi16(0x00FF);
  return _mm_xor_si128(_mm_packus_epi16(_mm_and_si128(lo, low), _mm_and_si128(hi, low)),
                       _mm_set1_epi8(static_cast<char>(0x80)));
}

// Luma bytes (odd) of 16 pixels, biased to signed order.
inline __m128i LumaBiased(__m128i lo, __m128i hi) {
  return _mm_xor_si128(_mm_packus_epi16(_mm_srli_epi16(lo, 8), _mm_srli_epi16(hi, 8)),
                       _mm_set1_epi8(static_cast<char>(0x80)));
}

}  // namespace

void BZ_Calc20LineDiffAcc(const UInt8 *inBuffer, const UInt8 *outBuffer, SInt32 inWidth, SInt32 lineSize,
                          SInt32 numLines, float *lineDiff, SInt32 *numDiff, Boolean calcOptScale,
                          float *optScalePtrY, float *optScalePtrC) {
  assert(inBuffer != nullptr && outBuffer != nullptr && lineDiff != nullptr && numDiff != nullptr);
  const SInt32 usedWidth = BZ_GetDiffLineWidth(inWidth);
  assert((usedWidth & 15) == 0);
  // Rows are read from pixel 24 on (the left margin) for usedWidth pixels.
  assert(numLines <= 0 || lineSize >= 48 + 2 * usedWidth);
  const SInt64 groupPixels = numLines > 0 ? SInt64(usedWidth) * numLines : 0;
  UInt32 histogramC[kBZ_NumOptScaleBins] = {};
  UInt32 histogramY[kBZ_NumOptScaleBins] = {};
  alignas(16) SInt8 diffC[16];
  alignas(16) SInt8 diffY[16];
  const __m128i ones = _mm_set1_epi16(1);
  SInt64 unchanged = 0;
  for (int g = 0; g < kBZ_NumDiffGroups; ++g) {
    __m128i groupSum = _mm_setzero_si128();  // two 64-bit lanes
    for (SInt32 r = 0; r < numLines; ++r) {
      const ptrdiff_t offset = ptrdiff_t(24 + g * numLines + r) * lineSize + 48;
      const UInt8 *in = inBuffer + offset;
      const UInt8 *out = outBuffer + offset;
      // Per 16-bit lane at most two counts a step; a row of any width we meet stays far below 32767 steps.
      __m128i equalCount = _mm_setzero_si128();
      for (SInt32 x = 0; x < usedWidth; x += 16) {
        const __m128i in0 = Load(in + 2 * x), in1 = Load(in + 2 * x + 16);
        const __m128i out0 = Load(out + 2 * x), out1 = Load(out + 2 * x + 16);
        groupSum = _mm_add_epi64(groupSum, _mm_add_epi64(_mm_sad_epu8(out0, in0), _mm_sad_epu8(out1, in1)));
        equalCount = _mm_sub_epi16(equalCount, _mm_cmpeq_epi16(out0, in0));
        equalCount = _mm_sub_epi16(equalCount, _mm_cmpeq_epi16(out1, in1));
        if (calcOptScale) {
          _mm_store_si128(reinterpret_cast<__m128i *>(diffC),
                          _mm_subs_epi8(ChromaBiased(out0, out1), ChromaBiased(in0, in1)));
          _mm_store_si128(reinterpret_cast<__m128i *>(diffY),
                          _mm_subs_epi8(LumaBiased(out0, out1), LumaBiased(in0, in1)));
          GL_add16_to_histogram16(diffC, histogramC);
          GL_add16_to_histogram16(diffY, histogramY);
        }
      }
      alignas(16) SInt32 lanes[4];
      _mm_store_si128(reinterpret_cast<__m128i *>(lanes), _mm_madd_epi16(equalCount, ones));
      unchanged += SInt64(lanes[0]) + lanes[1] + lanes[2] + lanes[3];
    }
    alignas(16) SInt64 sums[2];
    _mm_store_si128(reinterpret_cast<__m128i *>(sums), groupSum);
    lineDiff[g] = groupPixels > 0 ? float(double(sums[0] + sums[1]) / double(groupPixels)) : 0.0f;
  }
  *numDiff = SInt32(groupPixels * kBZ_NumDiffGroups - unchanged);
  if (calcOptScale && optScalePtrY != nullptr && optScalePtrC != nullptr)
    BZ_CalcOptNoiseScale(histogramC, histogramY, optScalePtrC, optScalePtrY);
}
