// The two-dimensional spectral noise filter: the scalar reference and the dispatch-free frame walk.
#include "methods/filter_2d.h"

#include "engine/runtime/working_format.h"
#include "methods/line_filters.h"
#include "methods/spectral_windows.h"
#include "platform/core/vector_matrix.h"

#include <cassert>
#include <cstring>

namespace {

constexpr SInt32 kTileBytes = 128;  // 8 lines x 16 bytes

// The picture area, the only part of the output the filter writes.
Rect PictureOf(const BZ_RnParams *p) {
  Rect r;
  BZ_GetRealFrameBounds(p->interlaced, p->inWidth, p->inHeight, &r);
  return r;
}

// The byte at (line, pixel) of the tile window; chroma is the pixel's own chroma byte (Cb for an even,
// Cr for an odd pixel).
inline UInt8 WindowByte(const UInt8 *const *blockPtrs, SInt32 line, SInt32 pixel, SInt32 luma) {
  return blockPtrs[3 * (line >> 3) + (pixel >> 3)][16 * (line & 7) + 2 * (pixel & 7) + luma];
}

// Gains, centre inverse and mean of one block of N x N samples whose mean m is already subtracted and whose
// rows are already transformed into T; c is the channel's index into the models. Every sum runs from index
// 0 upward in one accumulator (the SSE version sums each lane alike).
template <int N>
void FilterTransformed(const BZ_RnParams *p, const float *M, const float *Minv, int c, const float *T, float m,
                       float *result) {
  float S[N * N];
  if (N == 16)
    sMultMatMat_16x16(M, T, S);
  else
    sMultMatMat_8x8(M, T, S);
  const float dc = S[0];
  S[0] = 0.0f;
  float row0[N], col0[N];
  for (int v = 0; v < N; ++v) row0[v] = S[v];
  for (int u = 0; u < N; ++u) col0[u] = S[u * N];
  for (int v = 0; v < N; ++v) S[v] = 0.0f;
  for (int u = 0; u < N; ++u) S[u * N] = 0.0f;
  for (int a = 0; a < N / 2; ++a) {
    if (N == 16)
      BZ_RnSubtrNoiseHoriz2x16(p->nn2D[c] + 8 * a, S + 2 * a * N);
    else
      BZ_RnSubtrNoiseHoriz2x8(p->nn2D[c] + 4 * a, S + 2 * a * N);
  }
  const float *add = p->nn2Dadd[c];
  for (int half = 0; half < N / 8; ++half) BZ_SubtractNoiseHoriz8_Opt2(row0 + 8 * half, add + 4 * half);
  for (int half = 0; half < N / 8; ++half) BZ_SubtractNoiseHoriz8_Opt2(col0 + 8 * half, add + N / 2 + 4 * half);
  for (int u = 0; u < N; ++u) S[u * N] = col0[u];
  for (int v = 0; v < N; ++v) S[v] = row0[v];
  S[0] = dc;
  float R[2][N];
  for (int k = 0; k < 2; ++k) {
    if (N == 16)
      sMultVecMat_16x16(Minv + k * N, S, R[k]);
    else
      sMultVecMat_8x8(Minv + k * N, S, R[k]);
  }
  for (int k = 0; k < 2; ++k)
    for (int l = 0; l < 2; ++l) {
      float sum = 0.0f;
      for (int v = 0; v < N; ++v) sum += Minv[l * N + v] * R[k][v];
      result[2 * k + l] = sum + m;
    }
}

// The whole filter of one N x N block in array (rows of N floats): results into the centre 2 x 2.
template <int N>
void FilterArray(const BZ_RnParams *p, int c, float *array) {
  const float *M = N == 16 ? p->M16 : p->M8, *Minv = N == 16 ? p->M16inv : p->M8inv;
  float sum = 0.0f;
  for (int i = 0; i < N * N; ++i) sum += array[i];  // whole numbers below 2^24: exact in any order
  const float m = sum / float(N * N);
  for (int i = 0; i < N * N; ++i) array[i] -= m;
  float T[N * N];
  for (int i = 0; i < N; ++i) {
    if (N == 16)
      sMultMatVec_16x16(M, array + i * N, T + i * N);
    else
      sMultMatVec_8x8(M, array + i * N, T + i * N);
  }
  float result[4];
  FilterTransformed<N>(p, M, Minv, c, T, m, result);
  const int h = N / 2 - 1;
  array[h * N + h] = result[0];
  array[h * N + h + 1] = result[1];
  array[(h + 1) * N + h] = result[2];
  array[(h + 1) * N + h + 1] = result[3];
}

template <int N>
void SubtrNoise2Rows(const float *nn, float *array) {
  const float *r0 = array, *r1 = array + N;
  for (int b = 0; b < N / 2; ++b) {
    const float a0 = r0[2 * b], a1 = r0[2 * b + 1], b0 = r1[2 * b], b1 = r1[2 * b + 1];
    const float power = a0 * a0 + a1 * a1 + b0 * b0 + b1 * b1;
    const float g = std::max(power - nn[b], 0.0f) / std::max(power, kBZ_RnMinPower);
    array[2 * b] = a0 * g;
    array[2 * b + 1] = a1 * g;
    array[N + 2 * b] = b0 * g;
    array[N + 2 * b + 1] = b1 * g;
  }
}

// Writes the rebuilt 2 x 2 of a group: luma of pixels x, x + 1, or the chroma byte (offset 0 Cb, 2 Cr) of
// pixel pairs q, q + 1, on lines y, y + 1; only inside the picture.
void StoreLuma(const Rect &pic, SInt32 rowBytes, SInt32 y, SInt32 x, const float *clean, UInt8 *out) {
  for (int k = 0; k < 2; ++k) {
    if (y + k < pic.top || y + k >= pic.bottom) continue;
    UInt8 *line = out + ptrdiff_t(y + k) * rowBytes;
    for (int l = 0; l < 2; ++l)
      if (x + l >= pic.left && x + l < pic.right) line[2 * (x + l) + 1] = BZ_RnStoreByte(clean[2 * k + l]);
  }
}

void StoreChroma(const Rect &pic, SInt32 rowBytes, SInt32 y, SInt32 q, SInt32 offset, const float *clean,
                 UInt8 *out) {
  for (int k = 0; k < 2; ++k) {
    if (y + k < pic.top || y + k >= pic.bottom) continue;
    UInt8 *line = out + ptrdiff_t(y + k) * rowBytes;
    for (int l = 0; l < 2; ++l) {
      const SInt32 pair = q + l;
      if (2 * pair + 1 >= pic.left && 2 * pair < pic.right) line[4 * pair + offset] = BZ_RnStoreByte(clean[2 * k + l]);
    }
  }
}

}  // namespace

void BZ_RnSubtrNoiseHoriz2x16(const float *nn, float *array) { SubtrNoise2Rows<16>(nn, array); }
void BZ_RnSubtrNoiseHoriz2x8(const float *nn, float *array) { SubtrNoise2Rows<8>(nn, array); }

void BZ_RnFillYArray256(SInt32 vertOffset, SInt32 horizOffset, const UInt8 *const *blockPtrs, float *array) {
  for (SInt32 i = 0; i < 16; ++i)
    for (SInt32 s = 0; s < 16; ++s) array[16 * i + s] = float(WindowByte(blockPtrs, vertOffset + i, horizOffset + s, 1));
}

void BZ_RnFillArray64(SInt32 vertOffset, SInt32 horizOffset, const UInt8 *const *blockPtrs, float *array) {
  for (SInt32 i = 0; i < 8; ++i)
    for (SInt32 s = 0; s < 8; ++s)
      array[8 * i + s] = float(WindowByte(blockPtrs, vertOffset + i, horizOffset + 2 * s, 0));
}

void BZ_RnFilterArray256(const BZ_RnParams *rnParams, float *array) { FilterArray<16>(rnParams, 0, array); }

void BZ_RnFilterArray64(const BZ_RnParams *rnParams, SInt32 horizOffset, float *array) {
  FilterArray<8>(rnParams, (horizOffset & 1) ? 2 : 1, array);
}

void BZ_RnFilter256Y(const UInt8 *const *blockPtrs, const BZ_RnParams *rnParams, float *noisyY256,
                     SInt32 horizOffset, SInt32 vertOffset, float *cleanYF) {
  BZ_RnFillYArray256(vertOffset, horizOffset, blockPtrs, noisyY256);
  BZ_RnFilterArray256(rnParams, noisyY256);
  cleanYF[0] = noisyY256[7 * 16 + 7];
  cleanYF[1] = noisyY256[7 * 16 + 8];
  cleanYF[2] = noisyY256[8 * 16 + 7];
  cleanYF[3] = noisyY256[8 * 16 + 8];
}

void BZ_RnFilter64(const UInt8 *const *blockPtrs, const BZ_RnParams *rnParams, float *noisy64, SInt32 horizOffset,
                   SInt32 vertOffset, float *cleanF) {
  BZ_RnFillArray64(vertOffset, horizOffset, blockPtrs, noisy64);
  BZ_RnFilterArray64(rnParams, horizOffset, noisy64);
  cleanF[0] = noisy64[3 * 8 + 3];
  cleanF[1] = noisy64[3 * 8 + 4];
  cleanF[2] = noisy64[4 * 8 + 3];
  cleanF[3] = noisy64[4 * 8 + 4];
}

void BZ_RnDoBlock2D(SInt32 horizBlockNum, const BZ_RnParams *rnParams, const UInt8 *const *blockPtrs,
                    SInt32 rowNum, UInt8 *outBuffer) {
  const Rect pic = PictureOf(rnParams);
  const SInt32 rowBytes = 2 * rnParams->width, h = horizBlockNum, r = rowNum;
  const int pairs = r == rnParams->height / 8 - 3 ? 5 : 4;
  const int columns = h == rnParams->width / 8 - 3 ? 5 : 4;
  float scratch[256], clean[4];
  for (int i = 0; i < pairs; ++i) {
    const SInt32 y = 8 * r + 7 + 2 * i;
    if (y + 1 < pic.top || y >= pic.bottom) continue;
    for (int k = 0; k < columns; ++k) {
      const SInt32 x = 8 * h + 7 + 2 * k;
      if (x + 1 < pic.left || x >= pic.right) continue;
      BZ_RnFilter256Y(blockPtrs, rnParams, scratch, 2 * k, 2 * i, clean);
      StoreLuma(pic, rowBytes, y, x, clean, outBuffer);
    }
    // Cb and Cr pairs of pixel pairs 4h + 3 + 2k: their blocks start at pixel 8h + 4k (Cb), 8h + 4k + 1 (Cr).
    for (int k = 0; k < (columns == 5 ? 3 : 2); ++k) {
      const SInt32 q = 4 * h + 3 + 2 * k;
      if (2 * q + 3 < pic.left || 2 * q >= pic.right) continue;
      for (SInt32 cr = 0; cr < 2; ++cr) {
        BZ_RnFilter64(blockPtrs, rnParams, scratch, 4 * k + cr, 2 * i + 4, clean);
        StoreChroma(pic, rowBytes, y, q, 2 * cr, clean, outBuffer);
      }
    }
  }
}

void BZ_RnDoBlockRow(UInt8 *tiles, const BZ_RnParams *rnParams, SInt32 rowNum, const UInt8 *inBuffer,
                     UInt8 *outBuffer) {
  const SInt32 rowBytes = 2 * rnParams->width, w = rnParams->width / 8;
  const UInt8 *rowIn = inBuffer + ptrdiff_t(8 * rowNum) * rowBytes;
  UInt8 *slot[3][3];  // tile buffers by window row and column; columns rotate as the window slides
  for (int t = 0; t < 9; ++t) slot[t / 3][t % 3] = tiles + kTileBytes * t;
  auto copyColumn = [&](UInt8 *const column[3], SInt32 tileColumn) {
    for (int tr = 0; tr < 3; ++tr)
      for (int l = 0; l < 8; ++l)
        BZ_RnCopy8Pixels(rowIn + ptrdiff_t(8 * tr + l) * rowBytes + 16 * tileColumn, column[tr] + 16 * l);
  };
  UInt8 *column[3][3];
  for (int c = 0; c < 3; ++c) {
    for (int tr = 0; tr < 3; ++tr) column[c][tr] = slot[tr][c];
    copyColumn(column[c], c);
  }
  int leftmost = 0;
  for (SInt32 h = 0; h <= w - 3; ++h) {
    const UInt8 *blockPtrs[9];
    for (int tr = 0; tr < 3; ++tr)
      for (int c = 0; c < 3; ++c) blockPtrs[3 * tr + c] = column[(leftmost + c) % 3][tr];
    BZ_RnDoBlock2D(h, rnParams, blockPtrs, rowNum, outBuffer);
    if (h + 3 < w) {
      copyColumn(column[leftmost], h + 3);
      leftmost = (leftmost + 1) % 3;
    }
  }
}

void BZ_Rn2DFilter(const BZ_RnParams *rnParams, const UInt8 *inBuffer, UInt8 *outBuffer) {
  assert((rnParams->width & 7) == 0 && (rnParams->height & 7) == 0);
  const SInt32 n = rnParams->height / 8, w = rnParams->width / 8;
  if (n < 3 || w < 3) return;
  const Rect pic = PictureOf(rnParams);
  alignas(16) UInt8 tiles[9 * kTileBytes];
  for (SInt32 r = 0; r <= n - 3; ++r) {
    const SInt32 lastLine = 8 * r + (r == n - 3 ? 16 : 14);
    if (lastLine < pic.top || 8 * r + 7 >= pic.bottom) continue;
    BZ_RnDoBlockRow(tiles, rnParams, r, inBuffer, outBuffer);
  }
}
