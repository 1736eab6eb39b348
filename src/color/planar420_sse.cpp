// SSE versions of the 4:2:0 conversions, SSE2 only. Chroma means use the rounding byte average (halves
// upward), so chroma may exceed the scalar results by one; luma is copied exactly.
#include "color/planar420.h"

#include <emmintrin.h>

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>

namespace {

const SInt32 kStep = 32;

inline SInt32 RoundUp(SInt32 v, SInt32 unit) { return (v + unit - 1) / unit * unit; }

// 32 pixels of a line pair: luma of both lines to their Y rows, averaged chroma to 16 Cb and 16 Cr bytes.
inline void PairToY420Step32(const UInt8 *a, const UInt8 *b, UInt8 *yA, UInt8 *yB, UInt8 *cb, UInt8 *cr) {
  const __m128i lowBytes = _mm_set1_epi16(0x00FF);
  __m128i va[4], vb[4], chroma[4];
  for (int i = 0; i < 4; ++i) {
    va[i] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a) + i);
    vb[i] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b) + i);
    chroma[i] = _mm_and_si128(_mm_avg_epu8(va[i], vb[i]), lowBytes);  // Cb Cr Cb Cr as 16-bit lanes
  }
  for (int i = 0; i < 4; i += 2) {
    _mm_storeu_si128(reinterpret_cast<__m128i *>(yA + 8 * i),
                     _mm_packus_epi16(_mm_srli_epi16(va[i], 8), _mm_srli_epi16(va[i + 1], 8)));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(yB + 8 * i),
                     _mm_packus_epi16(_mm_srli_epi16(vb[i], 8), _mm_srli_epi16(vb[i + 1], 8)));
  }
  __m128i pairs0 = _mm_packus_epi16(chroma[0], chroma[1]);  // 8 pairs Cb Cr
  __m128i pairs1 = _mm_packus_epi16(chroma[2], chroma[3]);
  __m128i cbBytes = _mm_packus_epi16(_mm_and_si128(pairs0, lowBytes), _mm_and_si128(pairs1, lowBytes));
  __m128i crBytes = _mm_packus_epi16(_mm_srli_epi16(pairs0, 8), _mm_srli_epi16(pairs1, 8));
  _mm_storeu_si128(reinterpret_cast<__m128i *>(cb), cbBytes);
  _mm_storeu_si128(reinterpret_cast<__m128i *>(cr), crBytes);
}

// 16 pixels of a line pair: 16 luma bytes per line, 8 Cb and 8 Cr bytes.
inline void PairToY420Step16(const UInt8 *a, const UInt8 *b, UInt8 *yA, UInt8 *yB, UInt8 *cb, UInt8 *cr) {
  const __m128i lowBytes = _mm_set1_epi16(0x00FF);
  __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a));
  __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a) + 1);
  __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b));
  __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b) + 1);
  _mm_storeu_si128(reinterpret_cast<__m128i *>(yA), _mm_packus_epi16(_mm_srli_epi16(a0, 8), _mm_srli_epi16(a1, 8)));
  _mm_storeu_si128(reinterpret_cast<__m128i *>(yB), _mm_packus_epi16(_mm_srli_epi16(b0, 8), _mm_srli_epi16(b1, 8)));
  __m128i pairs = _mm_packus_epi16(_mm_and_si128(_mm_avg_epu8(a0, b0), lowBytes),
                                   _mm_and_si128(_mm_avg_epu8(a1, b1), lowBytes));
  __m128i cbBytes = _mm_packus_epi16(_mm_and_si128(pairs, lowBytes), _mm_setzero_si128());
  __m128i crBytes = _mm_packus_epi16(_mm_srli_epi16(pairs, 8), _mm_setzero_si128());
  _mm_storel_epi64(reinterpret_cast<__m128i *>(cb), cbBytes);
  _mm_storel_epi64(reinterpret_cast<__m128i *>(cr), crBytes);
}

// (3 x own + other) / 4 from two rounding averages: within one of the scalar (other + 3 x own) >> 2.
inline __m128i WeightedChroma(__m128i own, __m128i other) { return _mm_avg_epu8(own, _mm_avg_epu8(other, own)); }

// 8 pixels of 4:2:0 into 16 '2vuy' bytes: 8 luma, 4 Cb and 4 Cr bytes.
inline __m128i Build8(const UInt8 *y, __m128i cb, __m128i cr) {
  __m128i luma = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(y));
  return _mm_unpacklo_epi8(_mm_unpacklo_epi8(cb, cr), luma);
}

inline __m128i Load4(const UInt8 *p) {
  SInt32 v;
  std::memcpy(&v, p, 4);
  return _mm_cvtsi32_si128(v);
}

// One output line: groups of 8 pixels (32 at a time where possible) over `pixels` pixels.
void Y420LineTo2vuy(SInt32 pixels, const UInt8 *y, const UInt8 *otherCb, const UInt8 *otherCr, const UInt8 *cb,
                    const UInt8 *cr, UInt8 *out) {
  SInt32 x = 0;
  for (; x + kStep <= pixels; x += kStep) {
    const SInt32 k = x / 2;
    __m128i vcb = WeightedChroma(_mm_loadu_si128(reinterpret_cast<const __m128i *>(cb + k)),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i *>(otherCb + k)));
    __m128i vcr = WeightedChroma(_mm_loadu_si128(reinterpret_cast<const __m128i *>(cr + k)),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i *>(otherCr + k)));
    __m128i pairsLo = _mm_unpacklo_epi8(vcb, vcr);
    __m128i pairsHi = _mm_unpackhi_epi8(vcb, vcr);
    __m128i y0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(y + x));
    __m128i y1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(y + x + 16));
    auto *o = reinterpret_cast<__m128i *>(out + 2 * x);
    _mm_storeu_si128(o + 0, _mm_unpacklo_epi8(pairsLo, y0));
    _mm_storeu_si128(o + 1, _mm_unpackhi_epi8(pairsLo, y0));
    _mm_storeu_si128(o + 2, _mm_unpacklo_epi8(pairsHi, y1));
    _mm_storeu_si128(o + 3, _mm_unpackhi_epi8(pairsHi, y1));
  }
  for (; x + 8 <= pixels; x += 8) {
    const SInt32 k = x / 2;
    __m128i vcb = WeightedChroma(Load4(cb + k), Load4(otherCb + k));
    __m128i vcr = WeightedChroma(Load4(cr + k), Load4(otherCr + k));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 2 * x), Build8(y + x, vcb, vcr));
  }
}

}  // namespace

// --- '2vuy' to 4:2:0 ---------------------------------------------------------------------------------------

void CO_2vuyLinePairToY420_Acc(SInt32 width, SInt32 inRowBytes, const void *inLine, UInt8 *outLineY,
                               SInt32 rowBytesY, UInt8 *outLineCb, UInt8 *outLineCr, Boolean interlaced) {
  // Whole 16-pixel steps: the luma rows hold the width rounded up to 16.
  assert(width <= 0 || (inLine != nullptr && outLineY != nullptr && outLineCb != nullptr && outLineCr != nullptr));
  assert(width <= 0 || rowBytesY >= RoundUp(width, 16));
  if (width <= 0) return;
  const ptrdiff_t partnerRows = interlaced ? 2 : 1;
  const UInt8 *a = static_cast<const UInt8 *>(inLine);
  const UInt8 *b = a + partnerRows * inRowBytes;
  UInt8 *yB = outLineY + partnerRows * rowBytesY;
  const SInt32 pixels = RoundUp(width, 16);
  SInt32 x = 0;
  for (; x + kStep <= pixels; x += kStep)
    PairToY420Step32(a + 2 * x, b + 2 * x, outLineY + x, yB + x, outLineCb + x / 2, outLineCr + x / 2);
  if (x < pixels) PairToY420Step16(a + 2 * x, b + 2 * x, outLineY + x, yB + x, outLineCb + x / 2, outLineCr + x / 2);
}

void CO_2vuyLinePairToY420_UsingLineBufferAcc(SInt32 width, SInt32 inRowBytes, const void *inLine, void *tempBuffer,
                                              UInt8 *outLineY, SInt32 rowBytesY, UInt8 *outLineCb,
                                              UInt8 *outLineCr, Boolean interlaced, Boolean lastLine) {
  assert(width <= 0 || (inLine != nullptr && tempBuffer != nullptr && outLineY != nullptr &&
                       outLineCb != nullptr && outLineCr != nullptr));
  assert(width <= 0 || rowBytesY >= RoundUp(width, 16));
  if (width <= 0) return;
  const SInt32 tempRowBytes = RoundUp(width, kStep) * 2;
  auto *temp = static_cast<UInt8 *>(tempBuffer);
  CO_Copy2vuyLinePairToY420_Size(width, inLine, temp, interlaced, lastLine);
  if (!lastLine) {
    const ptrdiff_t partnerRows = interlaced ? 2 : 1;
    CO_Copy2vuyLinePairToY420_Size(width, static_cast<const UInt8 *>(inLine) + partnerRows * inRowBytes,
                                   temp + partnerRows * tempRowBytes, interlaced, false);
  }
  CO_2vuyLinePairToY420_Acc(width, tempRowBytes, temp, outLineY, rowBytesY, outLineCb, outLineCr, interlaced);
}

void CO_2vuyFrameToY420_Acc(SInt32 height, SInt32 width, SInt32 inPaddedHeight, SInt32 inRowBytes,
                            const void *inBuffer, void *outBuffer, void *tempBuffer, Boolean interlaced) {
  assert(height <= 0 || width <= 0 || (inBuffer != nullptr && outBuffer != nullptr));
  assert(height <= 1 || std::abs(inRowBytes) >= 2 * width);
  if (height <= 0 || width <= 0) return;
  CO_Y420Planes pl;
  if (!CO_GetY420Planes(outBuffer, width, &pl) || pl.chromaRows < CO_Y420ChromaRowsForHeight(height, interlaced))
    return;
  const bool fits = SInt64(RoundUp(width, 16)) * 2 <= SInt64(inRowBytes);
  assert(fits || tempBuffer != nullptr);
  if (!fits && tempBuffer == nullptr) return;
  // With enough padding below the picture, the rounded height is converted from the input itself.
  const SInt32 roundedHeight = CO_Y420LumaRowsForHeight(height, interlaced);
  const SInt32 lines = roundedHeight <= inPaddedHeight ? roundedHeight : height;
  const ptrdiff_t partnerRows = interlaced ? 2 : 1;
  auto *in = static_cast<const UInt8 *>(inBuffer);
  CO_Y420LinePairStep s;
  for (SInt32 i = 0; CO_GetY420LinePairStep(lines, interlaced, i, &s); ++i) {
    const UInt8 *line = in + ptrdiff_t(s.firstLine) * inRowBytes;
    UInt8 *y = pl.y + ptrdiff_t(s.yRow) * pl.rowBytesY;
    UInt8 *cb = pl.cb + ptrdiff_t(s.chromaRow) * pl.rowBytesCb;
    UInt8 *cr = pl.cr + ptrdiff_t(s.chromaRow) * pl.rowBytesCr;
    // The rounded read of the last line may reach past the buffer: that one goes through tempBuffer.
    const bool readsLastLine = (s.lastLine ? s.firstLine : s.firstLine + partnerRows) == lines - 1;
    if (fits && (tempBuffer == nullptr || !readsLastLine)) {
      // In place; a line that is its own partner is read twice (row bytes 0).
      CO_2vuyLinePairToY420_Acc(width, s.lastLine ? 0 : inRowBytes, line, y, pl.rowBytesY, cb, cr, interlaced);
    } else {
      CO_2vuyLinePairToY420_UsingLineBufferAcc(width, inRowBytes, line, tempBuffer, y, pl.rowBytesY, cb, cr,
                                               interlaced, s.lastLine);
    }
  }
}

// --- 4:2:0 to '2vuy' ---------------------------------------------------------------------------------------

void CO_Y420_LinePairTo2vuyAcc(SInt32 width, SInt32 numInY, const UInt8 *inLineY, const UInt8 *nextInLineY,
                               const UInt8 *prevInLineCb, const UInt8 *prevInLineCr, const UInt8 *inLineCb,
                               const UInt8 *inLineCr, const UInt8 *nextInLineCb, const UInt8 *nextInLineCr,
                               void *outLine, void *nextOutLine) {
  assert(width < 8 || numInY < 8 ||
         (inLineY != nullptr && inLineCb != nullptr && inLineCr != nullptr && outLine != nullptr));
  assert(nextOutLine == nullptr || nextInLineY != nullptr);
  const SInt32 pixels = std::min(width, numInY) / 8 * 8;
  if (pixels <= 0) return;
  Y420LineTo2vuy(pixels, inLineY, prevInLineCb, prevInLineCr, inLineCb, inLineCr, static_cast<UInt8 *>(outLine));
  if (nextOutLine)
    Y420LineTo2vuy(pixels, nextInLineY, nextInLineCb, nextInLineCr, inLineCb, inLineCr,
                   static_cast<UInt8 *>(nextOutLine));
}

void CO_Y420_LinePairTo2vuyUsingLineBufferAcc(SInt32 width, SInt32 numInY, const UInt8 *inLineY,
                                              const UInt8 *nextInLineY, const UInt8 *prevInLineCb,
                                              const UInt8 *prevInLineCr, const UInt8 *inLineCb,
                                              const UInt8 *inLineCr, const UInt8 *nextInLineCb,
                                              const UInt8 *nextInLineCr, void *tempBuffer, void *outLine,
                                              void *nextOutLine) {
  assert(width <= 0 || (inLineY != nullptr && inLineCb != nullptr && inLineCr != nullptr &&
                       tempBuffer != nullptr && outLine != nullptr));
  assert(nextOutLine == nullptr || nextInLineY != nullptr);
  if (width <= 0) return;
  const SInt32 tempRowBytes = RoundUp(width, kStep) * 2;
  auto *temp = static_cast<UInt8 *>(tempBuffer);
  // Whole groups of 8 cover the width where the Y rows hold them; only width x 2 bytes leave the buffer.
  const SInt32 pixels = std::min(RoundUp(width, 8), numInY);
  CO_Y420_LinePairTo2vuyAcc(pixels, numInY, inLineY, nextInLineY, prevInLineCb, prevInLineCr, inLineCb, inLineCr,
                            nextInLineCb, nextInLineCr, temp, nextOutLine ? temp + tempRowBytes : nullptr);
  std::memcpy(outLine, temp, size_t(width) * 2);
  if (nextOutLine) std::memcpy(nextOutLine, temp + tempRowBytes, size_t(width) * 2);
}

void CO_Y420_FrameTo2vuyAcc(SInt32 height, SInt32 width, const void *inBuffer, void *outBuffer, void *tempBuffer,
                            Boolean interlaced) {
  assert(height <= 0 || width <= 0 || (inBuffer != nullptr && outBuffer != nullptr));
  if (height <= 0 || width <= 0) return;
  CO_Y420Planes pl;
  if (!CO_GetY420Planes(inBuffer, width, &pl)) return;
  const SInt32 n = std::min(pl.chromaRows, CO_Y420ChromaRowsForHeight(height, interlaced));
  const bool direct = (width % kStep) == 0 || tempBuffer == nullptr;
  auto *out = static_cast<UInt8 *>(outBuffer);
  const ptrdiff_t outRowBytes = ptrdiff_t(width) * 2;
  auto yRow = [&](SInt32 r) { return pl.y + ptrdiff_t(r) * pl.rowBytesY; };
  auto outRow = [&](SInt32 r) { return out + ptrdiff_t(r) * outRowBytes; };
  auto convert = [&](SInt32 first, bool pair, SInt32 index) {
    const UInt8 *pcb, *cb, *ncb, *pcr, *cr, *ncr;
    if (interlaced)
      CO_GetChromaInLinesInterlaced(pl.cb, pl.rowBytesCb, pl.cr, pl.rowBytesCr, n, index, &pcb, &cb, &ncb, &pcr, &cr,
                                    &ncr);
    else
      CO_GetChromaInLines(pl.cb, pl.rowBytesCb, pl.cr, pl.rowBytesCr, n, index, &pcb, &cb, &ncb, &pcr, &cr, &ncr);
    const SInt32 partner = first + (interlaced ? 2 : 1);
    const UInt8 *nextY = pair ? yRow(partner) : nullptr;
    UInt8 *nextOut = pair ? outRow(partner) : nullptr;
    if (direct)
      CO_Y420_LinePairTo2vuyAcc(width, pl.rowBytesY, yRow(first), nextY, pcb, pcr, cb, cr, ncb, ncr, outRow(first),
                                nextOut);
    else
      CO_Y420_LinePairTo2vuyUsingLineBufferAcc(width, pl.rowBytesY, yRow(first), nextY, pcb, pcr, cb, cr, ncb, ncr,
                                               tempBuffer, outRow(first), nextOut);
  };
  if (!interlaced) {
    for (SInt32 p = 0; p < height / 2; ++p) convert(2 * p, true, p);
    if (height & 1) convert(height - 1, false, height / 2);
    return;
  }
  const SInt32 groups = height / 4;
  for (SInt32 q = 0; q < groups; ++q) {
    convert(4 * q, true, 2 * q);
    convert(4 * q + 1, true, 2 * q + 1);
  }
  const SInt32 q = groups, rest = height % 4;
  if (rest == 3) {
    convert(4 * q, true, 2 * q);
    convert(4 * q + 1, false, 2 * q + 1);
  } else if (rest == 2) {
    convert(4 * q, false, 2 * q);
    convert(4 * q + 1, false, 2 * q + 1);
  } else if (rest == 1) {
    convert(4 * q, false, 2 * q);
  }
}
