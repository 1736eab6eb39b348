// SSE ARGB conversions: 8 pixels a step for the '2vuy' conversions, groups of 4 for the ARGB gamma. ARGB
// pixels are handled as 32-bit words A | R << 8 | G << 16 | B << 24, '2vuy' pairs as
// Cb | Y0 << 8 | Cr << 16 | Y1 << 24.
#include "color/argb_conversions.h"

#include <cassert>
#include <cstddef>
#include <cstdlib>

#include "color/power_curve_sse.h"
#include "color/sse_primitives_sse.h"
#include "color/yuv422_formats.h"

namespace {

constexpr float kKr = 0.299f;
constexpr float kKg = 0.587f;
constexpr float kKb = 0.114f;
constexpr float kCrToR = 1.402f;
constexpr float kCbToB = 1.772f;
constexpr float kInvKg = 1.7035775f;
constexpr float kBToCb = 0.56433409f;
constexpr float kRToCr = 0.71326679f;

inline __m128i ByteOfWords(__m128i w, int shift) {
  return _mm_and_si128(_mm_srli_epi32(w, shift), _mm_set1_epi32(0xFF));
}

// R, G and B of four pixels from luma and chroma (full-range float levels).
struct Rgb4 {
  vFloat r, g, b;
};

inline Rgb4 ToRgb(vFloat y, vFloat cb, vFloat cr) {
  Rgb4 c;
  c.r = _mm_add_ps(_mm_mul_ps(_mm_set1_ps(kCrToR), cr), y);
  c.b = _mm_add_ps(_mm_mul_ps(_mm_set1_ps(kCbToB), cb), y);
  c.g = _mm_mul_ps(_mm_sub_ps(_mm_sub_ps(y, _mm_mul_ps(_mm_set1_ps(kKr), c.r)), _mm_mul_ps(_mm_set1_ps(kKb), c.b)),
                   _mm_set1_ps(kInvKg));
  return c;
}

// Rounds with halves upward; values below 0 saturate later, where truncation and floor agree.
inline __m128i RoundHalfUp(vFloat v) { return _mm_cvttps_epi32(_mm_add_ps(v, _mm_set1_ps(0.5f))); }

// Eight 32-bit lanes (pixels 0..3 in lo, 4..7 in hi) as eight 16-bit lanes in pixel order.
inline __m128i Interleave16(__m128i even, __m128i odd) {
  return _mm_packs_epi32(_mm_unpacklo_epi32(even, odd), _mm_unpackhi_epi32(even, odd));
}

}  // namespace

// --- '2vuy' to ARGB -------------------------------------------------------------------------------------

void CO_2vuyLineToARGB_Acc(SInt32 width, const void *sourcePtr, void *targetPtr, Boolean inputIsFullRange) {
  assert(width < 8 || (sourcePtr != nullptr && targetPtr != nullptr));
  const SInt32 steps = width / 8;
  if (steps <= 0) return;
  // The steps end at the line's end, as the conversion works from there toward the start: pixels left over
  // by a width that is no multiple of 8 are the first ones, and they stay untouched.
  const ptrdiff_t skipped = width - 8 * steps;
  const __m128i *src = reinterpret_cast<const __m128i *>(static_cast<const UInt8 *>(sourcePtr) + 2 * skipped);
  __m128i *dst = reinterpret_cast<__m128i *>(static_cast<UInt8 *>(targetPtr) + 4 * skipped);
  const vFloat lumaScale = _mm_set1_ps(inputIsFullRange ? 1.0f : kCO_LumaVideoToFullScale);
  const vFloat chromaScale = _mm_set1_ps(inputIsFullRange ? 1.0f : kCO_ChromaVideoToFullScale);
  const __m128i lumaOffset = _mm_set1_epi32(inputIsFullRange ? 0 : 16);
  const __m128i chromaOffset = _mm_set1_epi32(128);
  const __m128i alpha = _mm_set1_epi16(255);

  // The chroma of the pair right of the current step (lane 0); the line's last pair stands in for the
  // first step, so its odd pixel keeps its own chroma.
  __m128i words = _mm_loadu_si128(src + steps - 1);
  __m128i cbRight = _mm_srli_si128(ByteOfWords(words, 0), 12);
  __m128i crRight = _mm_srli_si128(ByteOfWords(words, 16), 12);

  for (SInt32 step = steps - 1; step >= 0; --step) {
    words = _mm_loadu_si128(src + step);
    const __m128i cb = ByteOfWords(words, 0);
    const __m128i y0 = ByteOfWords(words, 8);
    const __m128i cr = ByteOfWords(words, 16);
    const __m128i y1 = _mm_srli_epi32(words, 24);
    // Odd pixels: the rounded-down mean of their pair's chroma and the next pair's.
    const __m128i cbOdd = sse_avg_s32(cb, _mm_or_si128(_mm_srli_si128(cb, 4), _mm_slli_si128(cbRight, 12)));
    const __m128i crOdd = sse_avg_s32(cr, _mm_or_si128(_mm_srli_si128(cr, 4), _mm_slli_si128(crRight, 12)));
    cbRight = cb;
    crRight = cr;

    auto luma = [&](__m128i v) { return _mm_mul_ps(_mm_cvtepi32_ps(_mm_sub_epi32(v, lumaOffset)), lumaScale); };
    auto chroma = [&](__m128i v) {
      return _mm_mul_ps(_mm_cvtepi32_ps(_mm_sub_epi32(v, chromaOffset)), chromaScale);
    };
    const Rgb4 even = ToRgb(luma(y0), chroma(cb), chroma(cr));
    const Rgb4 odd = ToRgb(luma(y1), chroma(cbOdd), chroma(crOdd));

    // Saturated bytes of the eight pixels in order, then interleaved to A, R, G, B.
    const __m128i rg = _mm_packus_epi16(Interleave16(RoundHalfUp(even.r), RoundHalfUp(odd.r)),
                                        Interleave16(RoundHalfUp(even.g), RoundHalfUp(odd.g)));
    const __m128i ba = _mm_packus_epi16(Interleave16(RoundHalfUp(even.b), RoundHalfUp(odd.b)), alpha);
    const __m128i ar = _mm_unpacklo_epi8(_mm_unpackhi_epi64(ba, ba), rg);
    const __m128i gb = _mm_unpacklo_epi8(_mm_unpackhi_epi64(rg, rg), ba);
    _mm_storeu_si128(dst + 2 * step, _mm_unpacklo_epi16(ar, gb));
    _mm_storeu_si128(dst + 2 * step + 1, _mm_unpackhi_epi16(ar, gb));
  }
}

// --- ARGB to '2vuy' -------------------------------------------------------------------------------------

void CO_ARGB_LineTo2vuyAcc(SInt32 width, const void *sourcePtr, void *targetPtr, Boolean outputIsFullRange) {
  assert(width < 8 || (sourcePtr != nullptr && targetPtr != nullptr));
  const __m128i *src = static_cast<const __m128i *>(sourcePtr);
  __m128i *dst = static_cast<__m128i *>(targetPtr);
  const vFloat lumaScale = _mm_set1_ps(outputIsFullRange ? 1.0f : kCO_LumaFullToVideoScale);
  const vFloat lumaOffset = _mm_set1_ps(outputIsFullRange ? 0.0f : 16.0f);
  const vFloat chromaScale = _mm_set1_ps(outputIsFullRange ? 1.0f : kCO_ChromaFullToVideoScale);
  const vFloat chromaOffset = _mm_set1_ps(128.0f);
  for (SInt32 step = 0; step < width / 8; ++step) {
    const __m128i w0 = _mm_loadu_si128(src + 2 * step);
    const __m128i w1 = _mm_loadu_si128(src + 2 * step + 1);
    auto luma = [](__m128i w) {
      const vFloat r = _mm_cvtepi32_ps(ByteOfWords(w, 8));
      const vFloat g = _mm_cvtepi32_ps(ByteOfWords(w, 16));
      const vFloat b = _mm_cvtepi32_ps(_mm_srli_epi32(w, 24));
      return _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(kKr), r), _mm_mul_ps(_mm_set1_ps(kKg), g)),
                        _mm_mul_ps(_mm_set1_ps(kKb), b));
    };
    const vFloat ya = luma(w0);
    const vFloat yb = luma(w1);

    // Chroma of each pair's first pixel: pixels 0, 2, 4 and 6.
    const __m128i first = _mm_castps_si128(
        _mm_shuffle_ps(_mm_castsi128_ps(w0), _mm_castsi128_ps(w1), _MM_SHUFFLE(2, 0, 2, 0)));
    const vFloat yFirst = _mm_shuffle_ps(ya, yb, _MM_SHUFFLE(2, 0, 2, 0));
    const vFloat rFirst = _mm_cvtepi32_ps(ByteOfWords(first, 8));
    const vFloat bFirst = _mm_cvtepi32_ps(_mm_srli_epi32(first, 24));
    const vFloat kCb = _mm_set1_ps(kBToCb);
    const vFloat kCr = _mm_set1_ps(kRToCr);
    const vFloat cb = _mm_sub_ps(_mm_mul_ps(kCb, bFirst), _mm_mul_ps(kCb, yFirst));
    const vFloat cr = _mm_sub_ps(_mm_mul_ps(kCr, rFirst), _mm_mul_ps(kCr, yFirst));

    // Chroma + 128 rounds to nearest (ties to even, the processor's mode); luma with halves upward.
    const __m128i cbI = _mm_cvtps_epi32(_mm_add_ps(_mm_mul_ps(cb, chromaScale), chromaOffset));
    const __m128i crI = _mm_cvtps_epi32(_mm_add_ps(_mm_mul_ps(cr, chromaScale), chromaOffset));
    const __m128i yaI = RoundHalfUp(_mm_add_ps(_mm_mul_ps(ya, lumaScale), lumaOffset));
    const __m128i ybI = RoundHalfUp(_mm_add_ps(_mm_mul_ps(yb, lumaScale), lumaOffset));

    const __m128i chroma16 = _mm_packs_epi32(_mm_unpacklo_epi32(cbI, crI), _mm_unpackhi_epi32(cbI, crI));
    const __m128i luma16 = _mm_packs_epi32(yaI, ybI);
    _mm_storeu_si128(dst + step, _mm_packus_epi16(_mm_unpacklo_epi16(chroma16, luma16),
                                                  _mm_unpackhi_epi16(chroma16, luma16)));
  }
}

// --- ARGB gamma -----------------------------------------------------------------------------------------

namespace {

// The curve's result for every 8-bit level, evaluated by the polynomials four levels at a time. The
// inputs of the ARGB gamma are bytes, so looking the levels up gives exactly what evaluating the curve
// per component gives, at a fraction of the cost; 256 bytes on the stack, nothing allocated.
struct GammaLevels {
  alignas(16) UInt8 level[256];
};

inline void MakeGammaLevels(float inGamma, float outGamma, GammaLevels *levels) {
  const vFloat exponent = _mm_set1_ps(inGamma / outGamma);
  const vFloat top = _mm_set1_ps(254.0f);
  for (int v = 0; v < 256; v += 16) {
    __m128i q[4];
    for (int k = 0; k < 4; ++k) {
      const vFloat x = _mm_cvtepi32_ps(_mm_add_epi32(_mm_set1_epi32(v + 4 * k), _mm_setr_epi32(0, 1, 2, 3)));
      q[k] = RoundHalfUp(_mm_min_ps(CO_PowerCurveAcc(x, exponent), top));
    }
    _mm_store_si128(reinterpret_cast<__m128i *>(levels->level + v),
                    _mm_packus_epi16(_mm_packs_epi32(q[0], q[1]), _mm_packs_epi32(q[2], q[3])));
  }
}

// width / 4 groups of four pixels: alpha copied, R, G and B through the levels.
inline void ApplyGammaLevels(SInt32 width, const UInt8 *in, UInt8 *out, const GammaLevels &levels) {
  const SInt32 pixels = (width / 4) * 4;
  for (SInt32 x = 0; x < pixels; ++x, in += 4, out += 4) {
    const UInt8 a = in[0], r = in[1], g = in[2], b = in[3];
    out[0] = a;
    out[1] = levels.level[r];
    out[2] = levels.level[g];
    out[3] = levels.level[b];
  }
}

}  // namespace

void CO_ChangeARGB_LineGammaAcc(SInt32 width, const void *inLine, void *outLine, float inGamma, float outGamma) {
  assert(width < 4 || (inLine != nullptr && outLine != nullptr));
  if (width < 4) return;
  GammaLevels levels;
  MakeGammaLevels(inGamma, outGamma, &levels);
  ApplyGammaLevels(width, static_cast<const UInt8 *>(inLine), static_cast<UInt8 *>(outLine), levels);
}

// --- Frames ---------------------------------------------------------------------------------------------

namespace {

inline const UInt8 *Advance(const void *p, ptrdiff_t bytes) { return static_cast<const UInt8 *>(p) + bytes; }
inline UInt8 *Advance(void *p, ptrdiff_t bytes) { return static_cast<UInt8 *>(p) + bytes; }

}  // namespace

void CO_ARGB_FrameTo2vuyAcc(SInt32 height, SInt32 width, const void *sourcePtr, void *targetPtr,
                            Boolean outputIsFullRange) {
  assert(height <= 0 || width < 8 || (sourcePtr != nullptr && targetPtr != nullptr));
  for (SInt32 y = 0; y < height; ++y) {
    CO_ARGB_LineTo2vuyAcc(width, Advance(sourcePtr, ptrdiff_t(y) * width * 4),
                          Advance(targetPtr, ptrdiff_t(y) * width * 2), outputIsFullRange);
  }
}

void CO_ARGB_FrameTo2vuyChangeGammaAcc(SInt32 width, SInt32 height, void *sourcePtr, void *targetPtr,
                                       Boolean outputIsFullRange, float inGamma, float outGamma) {
  assert(height <= 0 || width < 8 || (sourcePtr != nullptr && targetPtr != nullptr));
  if (height <= 0 || width < 8) return;
  GammaLevels levels;
  MakeGammaLevels(inGamma, outGamma, &levels);
  for (SInt32 y = 0; y < height; ++y) {
    UInt8 *source = Advance(sourcePtr, ptrdiff_t(y) * width * 4);
    ApplyGammaLevels(width, source, source, levels);
    CO_ARGB_LineTo2vuyAcc(width, source, Advance(targetPtr, ptrdiff_t(y) * width * 2), outputIsFullRange);
  }
}

void CO_2vuyFrameToARGB_Acc(SInt32 height, SInt32 width, const void *sourcePtr, void *targetPtr,
                            Boolean inputIsFullRange) {
  assert(height <= 0 || width < 8 || (sourcePtr != nullptr && targetPtr != nullptr));
  for (SInt32 y = 0; y < height; ++y) {
    CO_2vuyLineToARGB_Acc(width, Advance(sourcePtr, ptrdiff_t(y) * width * 2),
                          Advance(targetPtr, ptrdiff_t(y) * width * 4), inputIsFullRange);
  }
}

void CO_2vuyFrameToARGB_ChangeGammaAcc(SInt32 width, SInt32 height, const void *sourcePtr, void *targetPtr,
                                       Boolean inputIsFullRange, float inGamma, float outGamma) {
  assert(height <= 0 || width < 8 || (sourcePtr != nullptr && targetPtr != nullptr));
  if (height <= 0 || width < 8) return;
  GammaLevels levels;
  MakeGammaLevels(inGamma, outGamma, &levels);
  for (SInt32 y = 0; y < height; ++y) {
    UInt8 *target = Advance(targetPtr, ptrdiff_t(y) * width * 4);
    CO_2vuyLineToARGB_Acc(width, Advance(sourcePtr, ptrdiff_t(y) * width * 2), target, inputIsFullRange);
    ApplyGammaLevels(width, target, target, levels);
  }
}

void CO_ChangeARGB_FrameGammaAcc(SInt32 height, SInt32 width, SInt32 inRowBytes, SInt32 outRowBytes,
                                 const void *inFrame, void *outFrame, float inGamma, float outGamma) {
  assert(height <= 0 || width < 4 || (inFrame != nullptr && outFrame != nullptr));
  // Row bytes 0 stand for packed rows.
  assert(height <= 1 || inRowBytes == 0 || std::abs(inRowBytes) >= 4 * width);
  assert(height <= 1 || outRowBytes == 0 || std::abs(outRowBytes) >= 4 * width);
  if (height <= 0 || width < 4) return;
  if (inRowBytes == 0) inRowBytes = width * 4;
  if (outRowBytes == 0) outRowBytes = width * 4;
  GammaLevels levels;
  MakeGammaLevels(inGamma, outGamma, &levels);
  for (SInt32 y = 0; y < height; ++y) {
    ApplyGammaLevels(width, Advance(inFrame, ptrdiff_t(y) * inRowBytes), Advance(outFrame, ptrdiff_t(y) * outRowBytes),
                     levels);
  }
}
