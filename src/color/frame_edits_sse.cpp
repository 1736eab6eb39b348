// SSE versions of the black line and the horizontal mirror: 16 bytes (8 pixels) a block, SSE2 only.
#include "color/frame_edits.h"

#include <emmintrin.h>

#include <cassert>
#include <cstddef>

namespace {

// Mirrors the 8 pixels of a block: the four pairs in reverse order, Cb and Cr staying in their slots, the
// two lumas of each pair exchanged.
inline __m128i MirrorBlock(__m128i v) {
  const __m128i lumaMask = _mm_set1_epi32(SInt32(0xFF00FF00u));
  v = _mm_shuffle_epi32(v, _MM_SHUFFLE(0, 1, 2, 3));
  __m128i luma = _mm_and_si128(v, lumaMask);
  __m128i chroma = _mm_andnot_si128(lumaMask, v);
  luma = _mm_or_si128(_mm_slli_epi32(luma, 16), _mm_srli_epi32(luma, 16));
  return _mm_or_si128(chroma, luma);
}

}  // namespace

void CO_PaintLineBlackAcc(SInt32 width, void *line) {
  assert(width < 8 || line != nullptr);
  auto *p = static_cast<__m128i *>(line);
  const __m128i black = _mm_set1_epi16(0x0080);  // bytes 128, 0
  const SInt32 steps = width / 8;
  for (SInt32 i = 0; i < steps; ++i) _mm_storeu_si128(p + i, black);
}

void CO_PaintFrameBlackAcc(SInt32 height, SInt32 width, void *buffer) {
  assert(height <= 0 || width < 8 || buffer != nullptr);
  auto *frame = static_cast<UInt8 *>(buffer);
  for (SInt32 y = 0; y < height; ++y) CO_PaintLineBlackAcc(width, frame + ptrdiff_t(y) * width * 2);
}

void CO_Flip2vuyLineHorizontalAcc(SInt32 width, void *line) {
  assert(width <= 0 || (width & 7) == 0);
  if (width <= 0 || (width & 7) != 0) return;
  auto *p = static_cast<__m128i *>(line);
  const SInt32 blocks = width / 8;
  for (SInt32 i = 0; i < blocks / 2; ++i) {
    __m128i a = _mm_loadu_si128(p + i);
    __m128i b = _mm_loadu_si128(p + blocks - 1 - i);
    _mm_storeu_si128(p + i, MirrorBlock(b));
    _mm_storeu_si128(p + blocks - 1 - i, MirrorBlock(a));
  }
  if (blocks & 1) _mm_storeu_si128(p + blocks / 2, MirrorBlock(_mm_loadu_si128(p + blocks / 2)));
}

void CO_FlipFrameHorizontalAcc(SInt32 height, SInt32 width, void *buffer) {
  assert(height <= 0 || width <= 0 || ((width & 7) == 0 && buffer != nullptr));
  auto *frame = static_cast<UInt8 *>(buffer);
  for (SInt32 y = 0; y < height; ++y) CO_Flip2vuyLineHorizontalAcc(width, frame + ptrdiff_t(y) * width * 2);
}
