// The two-dimensional spectral noise filter, SSE version: four neighbouring groups of one line pair at once,
// one per lane. Every lane sums in the scalar order and divides as the scalar does; only the final rounding
// differs (nearest, ties to even).
#include "methods/filter_2d.h"

#include "color/sse_primitives_sse.h"
#include "engine/runtime/working_format.h"
#include "methods/line_filters.h"

#include <cassert>
#include <cstdlib>
#include <vector>

// Every basis, inverse and model value spread over the four lanes, so the inner loops load instead of
// shuffling.
struct BZ_Rn2DAccBases {
  vFloat m16[256];
  vFloat m16inv[32];
  vFloat m8[64];
  vFloat m8inv[16];
  vFloat nnY[64];
  vFloat nnC[2][16];  // Cb, Cr
  alignas(16) float addY[16][4];  // nn2Dadd as 4-lane vectors, the layout BZ_SubtractNoiseHoriz8Acc reads
  alignas(16) float addC[2][8][4];
};

namespace {

#define BZ_UNROLL _Pragma("GCC unroll 16")

void Splat(const float *from, int count, vFloat *to) {
  for (int i = 0; i < count; ++i) to[i] = _mm_set1_ps(from[i]);
}

void SplatAdd(const float *from, int count, float (*to)[4]) {
  for (int i = 0; i < count; ++i)
    for (int lane = 0; lane < 4; ++lane) to[i][lane] = from[i];
}

void FillBases(const BZ_RnParams *p, BZ_Rn2DAccBases *b) {
  Splat(p->M16, 256, b->m16);
  Splat(p->M16inv, 32, b->m16inv);
  Splat(p->M8, 64, b->m8);
  Splat(p->M8inv, 16, b->m8inv);
  Splat(p->nn2D[0], 64, b->nnY);
  Splat(p->nn2D[1], 16, b->nnC[0]);
  Splat(p->nn2D[2], 16, b->nnC[1]);
  SplatAdd(p->nn2Dadd[0], 16, b->addY);
  SplatAdd(p->nn2Dadd[1], 8, b->addC[0]);
  SplatAdd(p->nn2Dadd[2], 8, b->addC[1]);
}

// Z = A x B over N x N lane vectors with A splatted: Z[i][j] = sum over k of A[i][k] B[k][j], k upward. Each
// pass runs four independent sums side by side (columns j0 .. j0 + 3 of two rows), so that the adds are
// throughput- and not latency-bound.
template <int N>
__attribute__((always_inline)) inline void MatMatLanes(const vFloat *A, const vFloat *B, vFloat *Z) {
  for (int i = 0; i < N; i += 2) {
    for (int j0 = 0; j0 < N; j0 += 4) {
      vFloat a0 = A[i * N], a1 = A[(i + 1) * N];
      vFloat b0 = B[j0], b1 = B[j0 + 1], b2 = B[j0 + 2], b3 = B[j0 + 3];
      vFloat p0 = _mm_mul_ps(a0, b0), p1 = _mm_mul_ps(a0, b1), p2 = _mm_mul_ps(a0, b2), p3 = _mm_mul_ps(a0, b3);
      vFloat q0 = _mm_mul_ps(a1, b0), q1 = _mm_mul_ps(a1, b1), q2 = _mm_mul_ps(a1, b2), q3 = _mm_mul_ps(a1, b3);
      for (int k = 1; k < N; ++k) {
        a0 = A[i * N + k];
        a1 = A[(i + 1) * N + k];
        const vFloat *row = B + k * N + j0;
        b0 = row[0];
        b1 = row[1];
        b2 = row[2];
        b3 = row[3];
        p0 = _mm_add_ps(p0, _mm_mul_ps(a0, b0));
        p1 = _mm_add_ps(p1, _mm_mul_ps(a0, b1));
        p2 = _mm_add_ps(p2, _mm_mul_ps(a0, b2));
        p3 = _mm_add_ps(p3, _mm_mul_ps(a0, b3));
        q0 = _mm_add_ps(q0, _mm_mul_ps(a1, b0));
        q1 = _mm_add_ps(q1, _mm_mul_ps(a1, b1));
        q2 = _mm_add_ps(q2, _mm_mul_ps(a1, b2));
        q3 = _mm_add_ps(q3, _mm_mul_ps(a1, b3));
      }
      vFloat *z0 = Z + i * N + j0, *z1 = z0 + N;
      z0[0] = p0;
      z0[1] = p1;
      z0[2] = p2;
      z0[3] = p3;
      z1[0] = q0;
      z1[1] = q1;
      z1[2] = q2;
      z1[3] = q3;
    }
  }
}

// T row i = M x block row i: T[i][k] = sum over s of M[k][s] d[i][s], s upward; two block rows and four
// coefficients side by side, as above.
template <int N>
__attribute__((always_inline)) inline void RowTransformLanes(const vFloat *M, const vFloat *d, vFloat *T) {
  for (int i = 0; i < N; i += 2) {
    const vFloat *r0 = d + i * N, *r1 = r0 + N;
    for (int k0 = 0; k0 < N; k0 += 4) {
      const vFloat *m = M + k0 * N;
      vFloat x0 = r0[0], x1 = r1[0];
      vFloat p0 = _mm_mul_ps(m[0], x0), p1 = _mm_mul_ps(m[N], x0), p2 = _mm_mul_ps(m[2 * N], x0),
             p3 = _mm_mul_ps(m[3 * N], x0);
      vFloat q0 = _mm_mul_ps(m[0], x1), q1 = _mm_mul_ps(m[N], x1), q2 = _mm_mul_ps(m[2 * N], x1),
             q3 = _mm_mul_ps(m[3 * N], x1);
      for (int s = 1; s < N; ++s) {
        x0 = r0[s];
        x1 = r1[s];
        const vFloat c0 = m[s], c1 = m[N + s], c2 = m[2 * N + s], c3 = m[3 * N + s];
        p0 = _mm_add_ps(p0, _mm_mul_ps(c0, x0));
        p1 = _mm_add_ps(p1, _mm_mul_ps(c1, x0));
        p2 = _mm_add_ps(p2, _mm_mul_ps(c2, x0));
        p3 = _mm_add_ps(p3, _mm_mul_ps(c3, x0));
        q0 = _mm_add_ps(q0, _mm_mul_ps(c0, x1));
        q1 = _mm_add_ps(q1, _mm_mul_ps(c1, x1));
        q2 = _mm_add_ps(q2, _mm_mul_ps(c2, x1));
        q3 = _mm_add_ps(q3, _mm_mul_ps(c3, x1));
      }
      vFloat *t0 = T + i * N + k0, *t1 = t0 + N;
      t0[0] = p0;
      t0[1] = p1;
      t0[2] = p2;
      t0[3] = p3;
      t1[0] = q0;
      t1[1] = q1;
      t1[2] = q2;
      t1[3] = q3;
    }
  }
}

template <int N>
void SubtrNoise2RowsLanes(const vFloat *nn, vFloat *rows) {
  const vFloat zero = _mm_setzero_ps(), minPower = _mm_set1_ps(kBZ_RnMinPower);
  BZ_UNROLL for (int b = 0; b < N / 2; ++b) {
    vFloat &a0 = rows[2 * b], &a1 = rows[2 * b + 1], &b0 = rows[N + 2 * b], &b1 = rows[N + 2 * b + 1];
    vFloat power = _mm_add_ps(_mm_mul_ps(a0, a0), _mm_mul_ps(a1, a1));
    power = _mm_add_ps(power, _mm_mul_ps(b0, b0));
    power = _mm_add_ps(power, _mm_mul_ps(b1, b1));
    const vFloat g = _mm_div_ps(_mm_max_ps(_mm_sub_ps(power, nn[b]), zero), _mm_max_ps(power, minPower));
    a0 = _mm_mul_ps(a0, g);
    a1 = _mm_mul_ps(a1, g);
    b0 = _mm_mul_ps(b0, g);
    b1 = _mm_mul_ps(b1, g);
  }
}

// The whole filter of four N x N blocks (lane j: block j), as the scalar FilterArray does it per block.
template <int N>
void FilterLanes(const vFloat *M, const vFloat *Minv, const vFloat *nn, const float (*add)[4], vFloat *block,
                 vFloat *clean) {
  // Whole numbers below 2^24: exact in any order, so eight partial sums instead of one long chain.
  vFloat part[8];
  for (int j = 0; j < 8; ++j) part[j] = block[j];
  for (int i = 8; i < N * N; i += 8)
    for (int j = 0; j < 8; ++j) part[j] = _mm_add_ps(part[j], block[i + j]);
  const vFloat sum = _mm_add_ps(_mm_add_ps(_mm_add_ps(part[0], part[1]), _mm_add_ps(part[2], part[3])),
                                _mm_add_ps(_mm_add_ps(part[4], part[5]), _mm_add_ps(part[6], part[7])));
  const vFloat m = _mm_div_ps(sum, _mm_set1_ps(float(N * N)));
  for (int i = 0; i < N * N; ++i) block[i] = _mm_sub_ps(block[i], m);
  alignas(16) vFloat T[N * N], S[N * N];
  RowTransformLanes<N>(M, block, T);
  MatMatLanes<N>(M, T, S);

  const vFloat dc = S[0];
  S[0] = _mm_setzero_ps();
  alignas(16) vFloat row0[N], col0[N];
  for (int v = 0; v < N; ++v) row0[v] = S[v];
  for (int u = 0; u < N; ++u) col0[u] = S[u * N];
  for (int v = 0; v < N; ++v) S[v] = _mm_setzero_ps();
  for (int u = 0; u < N; ++u) S[u * N] = _mm_setzero_ps();
  for (int a = 0; a < N / 2; ++a) SubtrNoise2RowsLanes<N>(nn + (N / 2) * a, S + 2 * a * N);
  float *rowF = reinterpret_cast<float *>(row0), *colF = reinterpret_cast<float *>(col0);
  const float *addF = &add[0][0];
  for (int half = 0; half < N / 8; ++half) BZ_SubtractNoiseHoriz8Acc(rowF + 32 * half, addF + 16 * half);
  for (int half = 0; half < N / 8; ++half) BZ_SubtractNoiseHoriz8Acc(colF + 32 * half, addF + 4 * (N / 2) + 16 * half);
  for (int u = 0; u < N; ++u) S[u * N] = col0[u];
  for (int v = 0; v < N; ++v) S[v] = row0[v];
  S[0] = dc;

  // R_k = Minv row k x S, then the dot product of Minv row l with R_k, plus m.
  vFloat R[2][N];
  for (int k = 0; k < 2; ++k)
    BZ_UNROLL for (int v = 0; v < N; ++v) {
      vFloat acc = _mm_mul_ps(Minv[k * N], S[v]);
      for (int u = 1; u < N; ++u) acc = _mm_add_ps(acc, _mm_mul_ps(Minv[k * N + u], S[u * N + v]));
      R[k][v] = acc;
    }
  for (int k = 0; k < 2; ++k)
    for (int l = 0; l < 2; ++l) {
      vFloat acc = _mm_mul_ps(Minv[l * N], R[k][0]);
      for (int v = 1; v < N; ++v) acc = _mm_add_ps(acc, _mm_mul_ps(Minv[l * N + v], R[k][v]));
      clean[2 * k + l] = _mm_add_ps(acc, m);
    }
}

// Clamp to 1 .. 254, round to nearest (ties to even), as 32-bit integers.
inline __m128i RoundNearest(vFloat y) {
  return _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(y, _mm_set1_ps(1.0f)), _mm_set1_ps(254.0f)));
}

// Writes the four groups of a vector: lane j covers pixels (luma) or pixel pairs (chroma) first + 2j and
// first + 2j + 1 on lines y, y + 1; lanes from lastFirst on lie past the frame's last group. Only bytes of
// the picture are written: luma at 2 pixel + 1, chroma at 4 pair + offset.
void StoreLanes(const Rect &pic, SInt32 rowBytes, SInt32 y, SInt32 first, SInt32 lastFirst, bool chroma,
                SInt32 offset, const vFloat *clean, UInt8 *out) {
  alignas(16) SInt32 v[4][4];
  for (int i = 0; i < 4; ++i) _mm_store_si128(reinterpret_cast<__m128i *>(v[i]), RoundNearest(clean[i]));
  for (int k = 0; k < 2; ++k) {
    if (y + k < pic.top || y + k >= pic.bottom) continue;
    UInt8 *line = out + ptrdiff_t(y + k) * rowBytes;
    for (int j = 0; j < 4; ++j) {
      const SInt32 at = first + 2 * j;
      if (at > lastFirst) break;
      for (int l = 0; l < 2; ++l) {
        const SInt32 u = at + l;
        const bool inside = chroma ? (2 * u + 1 >= pic.left && 2 * u < pic.right) : (u >= pic.left && u < pic.right);
        if (inside) line[chroma ? 4 * u + offset : 2 * u + 1] = UInt8(v[2 * k + l][j]);
      }
    }
  }
}

// Converts the line's bytes into the band's planes at band line bandLine; the columns past the line stay 0.
void ConvertLine(const UInt8 *in, SInt32 width, const BZ_Rn2DAccBand *band, SInt32 bandLine) {
  float *ye = band->lumaEven + ptrdiff_t(bandLine) * band->lumaStride;
  float *yo = band->lumaOdd + ptrdiff_t(bandLine) * band->lumaStride;
  const ptrdiff_t c = ptrdiff_t(bandLine) * band->chromaStride;
  float *cbe = band->cbEven + c, *cbo = band->cbOdd + c, *cre = band->crEven + c, *cro = band->crOdd + c;
  const __m128i lowByte = _mm_set1_epi32(0xFF);
  // Four pixel pairs (16 bytes) at a time: Cb, Y0, Cr, Y1 in each 32-bit lane.
  for (SInt32 t = 0; t < width / 2; t += 4) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 4 * t));
    const vFloat cb = _mm_cvtepi32_ps(_mm_and_si128(bytes, lowByte));
    const vFloat y0 = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(bytes, 8), lowByte));
    const vFloat cr = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(bytes, 16), lowByte));
    const vFloat y1 = _mm_cvtepi32_ps(_mm_srli_epi32(bytes, 24));
    _mm_storeu_ps(ye + t, y0);
    _mm_storeu_ps(yo + t, y1);
    // Pairs t, t + 2 are even, t + 1, t + 3 odd.
    alignas(16) float cbv[4], crv[4];
    _mm_store_ps(cbv, cb);
    _mm_store_ps(crv, cr);
    cbe[t / 2] = cbv[0];
    cbe[t / 2 + 1] = cbv[2];
    cbo[t / 2] = cbv[1];
    cbo[t / 2 + 1] = cbv[3];
    cre[t / 2] = crv[0];
    cre[t / 2 + 1] = crv[2];
    cro[t / 2] = crv[1];
    cro[t / 2 + 1] = crv[3];
  }
}

// The picture area, the only part of the output the filter writes.
Rect PictureOf(const BZ_RnParams *p) {
  Rect r;
  BZ_GetRealFrameBounds(p->interlaced, p->inWidth, p->inHeight, &r);
  return r;
}

}  // namespace

OSStatus BZ_RnCreate2DAccBases(const BZ_RnParams *rnParams, BZ_Rn2DAccBases **bases) {
  *bases = static_cast<BZ_Rn2DAccBases *>(std::aligned_alloc(16, sizeof(BZ_Rn2DAccBases)));
  if (*bases == nullptr) return memFullErr;
  FillBases(rnParams, *bases);
  return noErr;
}

void BZ_RnDispose2DAccBases(BZ_Rn2DAccBases *bases) { std::free(bases); }

void BZ_RnFillArray256Y_Acc(SInt32 vertOffset, SInt32 horizOffset, const BZ_Rn2DAccBand *band, float *block) {
  vFloat *b = reinterpret_cast<vFloat *>(block);
  for (SInt32 i = 0; i < 16; ++i) {
    const ptrdiff_t line = ptrdiff_t(vertOffset + i) * band->lumaStride + horizOffset / 2;
    const float *even = band->lumaEven + line, *odd = band->lumaOdd + line;
    for (SInt32 s = 0; s < 16; s += 2) {
      b[16 * i + s] = _mm_loadu_ps(even + s / 2);
      b[16 * i + s + 1] = _mm_loadu_ps(odd + s / 2);
    }
  }
}

void BZ_RnFillArray64C_Acc(SInt32 vertOffset, SInt32 horizPair, const BZ_Rn2DAccBand *band, float *cbBlock,
                           float *crBlock) {
  vFloat *cb = reinterpret_cast<vFloat *>(cbBlock), *cr = reinterpret_cast<vFloat *>(crBlock);
  for (SInt32 i = 0; i < 8; ++i) {
    const ptrdiff_t line = ptrdiff_t(vertOffset + i) * band->chromaStride + horizPair / 2;
    for (SInt32 s = 0; s < 8; s += 2) {
      cb[8 * i + s] = _mm_loadu_ps(band->cbEven + line + s / 2);
      cb[8 * i + s + 1] = _mm_loadu_ps(band->cbOdd + line + s / 2);
      cr[8 * i + s] = _mm_loadu_ps(band->crEven + line + s / 2);
      cr[8 * i + s + 1] = _mm_loadu_ps(band->crOdd + line + s / 2);
    }
  }
}

void BZ_RnFilter256Y_Acc(const BZ_Rn2DAccBases *bases, float *noisyY256, float *cleanYF) {
  FilterLanes<16>(bases->m16, bases->m16inv, bases->nnY, bases->addY, reinterpret_cast<vFloat *>(noisyY256),
                  reinterpret_cast<vFloat *>(cleanYF));
}

void BZ_RnFilter64C_Acc(const BZ_Rn2DAccBases *bases, float *noisy64, SInt32 cIndex, float *cleanF) {
  const int c = cIndex == 2 ? 1 : 0;
  FilterLanes<8>(bases->m8, bases->m8inv, bases->nnC[c], bases->addC[c], reinterpret_cast<vFloat *>(noisy64),
                 reinterpret_cast<vFloat *>(cleanF));
}

void BZ_RnDoBlock2D_Acc(const BZ_RnParams *rnParams, const BZ_Rn2DAccBases *bases, SInt32 rowNum, SInt32 blockNum,
                        const BZ_Rn2DAccBand *band, UInt8 *outBuffer) {
  const Rect pic = PictureOf(rnParams);
  const SInt32 W = rnParams->width, rowBytes = 2 * W, r = rowNum;
  const int pairs = r == rnParams->height / 8 - 3 ? 5 : 4;
  alignas(16) vFloat block[256], cr[64], clean[4];
  for (int i = 0; i < pairs; ++i) {
    const SInt32 y = 8 * r + 7 + 2 * i;
    if (y + 1 < pic.top || y >= pic.bottom) continue;
    for (int v = 0; v < 2; ++v) {
      const SInt32 x0 = 16 * blockNum + 7 + 8 * v;
      if (x0 > W - 9 || x0 + 7 < pic.left || x0 >= pic.right) continue;
      BZ_RnFillArray256Y_Acc(2 * i, x0 - 7, band, reinterpret_cast<float *>(block));
      BZ_RnFilter256Y_Acc(bases, reinterpret_cast<float *>(block), reinterpret_cast<float *>(clean));
      StoreLanes(pic, rowBytes, y, x0, W - 9, false, 0, clean, outBuffer);
    }
    const SInt32 q0 = 8 * blockNum + 3;
    if (q0 > W / 2 - 5 || 2 * q0 + 15 < pic.left || 2 * q0 >= pic.right) continue;
    BZ_RnFillArray64C_Acc(2 * i + 4, q0 - 3, band, reinterpret_cast<float *>(block), reinterpret_cast<float *>(cr));
    BZ_RnFilter64C_Acc(bases, reinterpret_cast<float *>(block), 1, reinterpret_cast<float *>(clean));
    StoreLanes(pic, rowBytes, y, q0, W / 2 - 5, true, 0, clean, outBuffer);
    BZ_RnFilter64C_Acc(bases, reinterpret_cast<float *>(cr), 2, reinterpret_cast<float *>(clean));
    StoreLanes(pic, rowBytes, y, q0, W / 2 - 5, true, 2, clean, outBuffer);
  }
}

void BZ_RnDoBlockRowAcc(const BZ_RnParams *rnParams, const BZ_Rn2DAccBases *bases, SInt32 rowNum,
                        const BZ_Rn2DAccBand *band, const UInt8 *inBuffer, UInt8 *outBuffer) {
  const SInt32 W = rnParams->width, rowBytes = 2 * W;
  for (SInt32 l = 0; l < 24; ++l) ConvertLine(inBuffer + ptrdiff_t(8 * rowNum + l) * rowBytes, W, band, l);
  // Windows of 16 pixels; the last may reach past the frame's last group, whose lanes are not stored.
  for (SInt32 j = 0; 16 * j + 7 <= W - 9; ++j) BZ_RnDoBlock2D_Acc(rnParams, bases, rowNum, j, band, outBuffer);
}

void BZ_Rn2DFilterAcc(const BZ_RnParams *rnParams, const UInt8 *inBuffer, UInt8 *outBuffer) {
  assert((rnParams->width & 7) == 0 && (rnParams->height & 7) == 0);
  const SInt32 n = rnParams->height / 8, W = rnParams->width;
  if (n < 3 || W < 24) return;
  const Rect pic = PictureOf(rnParams);
  BZ_Rn2DAccBases *bases = nullptr;
  if (BZ_RnCreate2DAccBases(rnParams, &bases) != noErr) return;
  // The last vector of a line reads up to three groups past the frame's last one: room of 8 floats, zeroed.
  BZ_Rn2DAccBand band{};
  band.lumaStride = W / 2 + 8;
  band.chromaStride = W / 4 + 8;
  std::vector<float> store(size_t(24) * (2 * band.lumaStride + 4 * band.chromaStride), 0.0f);
  float *f = store.data();
  band.lumaEven = f;
  band.lumaOdd = band.lumaEven + 24 * band.lumaStride;
  band.cbEven = band.lumaOdd + 24 * band.lumaStride;
  band.cbOdd = band.cbEven + 24 * band.chromaStride;
  band.crEven = band.cbOdd + 24 * band.chromaStride;
  band.crOdd = band.crEven + 24 * band.chromaStride;
  for (SInt32 r = 0; r <= n - 3; ++r) {
    const SInt32 lastLine = 8 * r + (r == n - 3 ? 16 : 14);
    if (lastLine < pic.top || 8 * r + 7 >= pic.bottom) continue;
    BZ_RnDoBlockRowAcc(rnParams, bases, r, &band, inBuffer, outBuffer);
  }
  BZ_RnDispose2DAccBases(bases);
}
