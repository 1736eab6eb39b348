// One-dimensional spectral noise filters, SSE versions: four neighbouring vectors per call, one per lane,
// every lane summing in the order of the scalar version.
#include "methods/line_filters.h"

#include "color/sse_primitives_sse.h"

#include <cassert>
#include <vector>

namespace {

// A basis with every element spread over the four lanes, so the inner loops load instead of shuffling.
template <int N>
struct SplatBasis {
  vFloat m[N * N];
  vFloat inv[2 * N];
  vFloat nn[3][N / 2];  // noise values per lane layout (filled by the caller)

  void Fill(const float *M, const float *Minv) {
    for (int i = 0; i < N * N; ++i) m[i] = _mm_set1_ps(M[i]);
    for (int i = 0; i < 2 * N; ++i) inv[i] = _mm_set1_ps(Minv[i]);
  }
};

__attribute__((always_inline)) inline void SubtractNoise(vFloat *c, const vFloat *nn, int pairs) {
  const vFloat zero = _mm_setzero_ps(), minPower = _mm_set1_ps(kBZ_RnMinPower);
  _Pragma("GCC unroll 8") for (int j = 0; j < pairs; ++j) {
    const vFloat re = c[2 * j], im = c[2 * j + 1];
    const vFloat p = _mm_add_ps(_mm_mul_ps(re, re), _mm_mul_ps(im, im));
    const vFloat g = _mm_div_ps(_mm_max_ps(_mm_sub_ps(p, nn[j]), zero), _mm_max_ps(p, minPower));
    c[2 * j] = _mm_mul_ps(re, g);
    c[2 * j + 1] = _mm_mul_ps(im, g);
  }
}

// The rebuilt centre samples of four vectors of N samples x[0..N-1] (lane k: vector k). Fully unrolled so
// that the sums stay in registers; the order of every sum is the scalar one.
#define BZ_UNROLL _Pragma("GCC unroll 16")
template <int N>
__attribute__((always_inline)) inline void FilterLanes(const vFloat *x, const SplatBasis<N> &basis, const vFloat *nn,
                                                       vFloat *ya, vFloat *yb) {
  // Sums of at most 16 bytes are exact in any order, as the scalar running sums are.
  vFloat sum = x[0];
  BZ_UNROLL for (int s = 1; s < N; ++s) sum = _mm_add_ps(sum, x[s]);
  const vFloat m = _mm_mul_ps(sum, _mm_set1_ps(N == 16 ? 0.0625f : 0.125f));
  vFloat d[N], c[N];
  BZ_UNROLL for (int s = 0; s < N; ++s) d[s] = _mm_sub_ps(x[s], m);
  // Eight coefficients at a time: enough independent sums to hide the adds' latency without running out
  // of registers.
  BZ_UNROLL for (int k0 = 0; k0 < N; k0 += 8) {
    vFloat acc[8];
    BZ_UNROLL for (int j = 0; j < 8; ++j) acc[j] = _mm_mul_ps(basis.m[(k0 + j) * N], d[0]);
    BZ_UNROLL for (int s = 1; s < N; ++s) {
      BZ_UNROLL for (int j = 0; j < 8; ++j) acc[j] = _mm_add_ps(acc[j], _mm_mul_ps(basis.m[(k0 + j) * N + s], d[s]));
    }
    BZ_UNROLL for (int j = 0; j < 8; ++j) c[k0 + j] = acc[j];
  }
  const vFloat dc = c[0];
  c[0] = _mm_setzero_ps();
  SubtractNoise(c, nn, N / 2);
  c[0] = dc;
  vFloat a = _mm_mul_ps(basis.inv[0], c[0]), b = _mm_mul_ps(basis.inv[N], c[0]);
  BZ_UNROLL for (int k = 1; k < N; ++k) {
    a = _mm_add_ps(a, _mm_mul_ps(basis.inv[k], c[k]));
    b = _mm_add_ps(b, _mm_mul_ps(basis.inv[N + k], c[k]));
  }
  *ya = _mm_add_ps(m, a);
  *yb = _mm_add_ps(m, b);
}

inline vFloat Clamp(vFloat y) { return _mm_min_ps(_mm_max_ps(y, _mm_set1_ps(1.0f)), _mm_set1_ps(254.0f)); }
// Nearest, ties to even: the SSE line filter's rounding.
inline __m128i RoundNearest(vFloat y) { return _mm_cvtps_epi32(Clamp(y)); }
// + 0.49 and truncation: the scalar rounding, kept by the vertical SSE filter.
inline __m128i RoundLikeScalar(vFloat y) { return _mm_cvttps_epi32(_mm_add_ps(Clamp(y), _mm_set1_ps(0.49f))); }

inline vFloat LoadBytesAsFloats(__m128i words) { return _mm_cvtepi32_ps(words); }

void FillNoise16(SplatBasis<16> &basis, const float *nn, int layout) {
  for (int j = 0; j < 8; ++j) basis.nn[layout][j] = _mm_set1_ps(nn[j]);
}

// The horizontal line filter's scratch: the line's luma split into even and odd pixels and its chroma in
// byte order, as floats, with room for the unused lanes of the line's last vectors.
struct LineScratch {
  float *lumaEven;
  float *lumaOdd;
  float *chroma;
};

void FilterLine(const BZ_RnParams *p, const SplatBasis<16> &luma, const SplatBasis<8> &chroma, const UInt8 *in,
                UInt8 *out, const LineScratch &scratch) {
  const SInt32 groups = p->width / 8;
  const __m128i lowByte = _mm_set1_epi16(0x00FF), lowWord = _mm_set1_epi32(0xFFFF);
  for (SInt32 u = 0; u < groups; ++u) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 16 * u));
    const __m128i y = _mm_srli_epi16(bytes, 8);      // 8 luma words
    const __m128i cbcr = _mm_and_si128(bytes, lowByte);  // Cb Cr Cb Cr ... words
    _mm_storeu_ps(scratch.lumaEven + 4 * u, LoadBytesAsFloats(_mm_and_si128(y, lowWord)));
    _mm_storeu_ps(scratch.lumaOdd + 4 * u, LoadBytesAsFloats(_mm_srli_epi32(y, 16)));
    _mm_storeu_ps(scratch.chroma + 8 * u, LoadBytesAsFloats(_mm_unpacklo_epi16(cbcr, _mm_setzero_si128())));
    _mm_storeu_ps(scratch.chroma + 8 * u + 4, LoadBytesAsFloats(_mm_unpackhi_epi16(cbcr, _mm_setzero_si128())));
  }
  for (int k = 0; k < 8; ++k) {
    scratch.lumaEven[4 * groups + k] = scratch.lumaOdd[4 * groups + k] = 0.0f;
    scratch.chroma[8 * groups + k] = 0.0f;
  }

  alignas(16) SInt32 yOut[8], cOut[8];
  // Group v: luma vectors from pixels 8v, 8v + 2, 8v + 4, 8v + 6; chroma vectors Cb and Cr from pair 4v and
  // from pair 4v + 2. The last pass (v = G - 2) keeps only the first luma vector and the first Cb and Cr.
  for (SInt32 v = 0; v <= groups - 2; ++v) {
    const bool tail = v == groups - 2;
    vFloat x[16];
    for (int t = 0; t < 8; ++t) {
      x[2 * t] = _mm_loadu_ps(scratch.lumaEven + 4 * v + t);
      x[2 * t + 1] = _mm_loadu_ps(scratch.lumaOdd + 4 * v + t);
    }
    vFloat ya, yb;
    FilterLanes<16>(x, luma, luma.nn[0], &ya, &yb);
    // Lane i rebuilds pixels 8v + 2i + 7 and 8v + 2i + 8.
    _mm_store_si128(reinterpret_cast<__m128i *>(yOut), RoundNearest(_mm_unpacklo_ps(ya, yb)));
    _mm_store_si128(reinterpret_cast<__m128i *>(yOut + 4), RoundNearest(_mm_unpackhi_ps(ya, yb)));
    UInt8 *lumaOut = out + 2 * (8 * v + 7) + 1;
    for (int k = 0; k < (tail ? 2 : 8); ++k) lumaOut[2 * k] = UInt8(yOut[k]);

    vFloat c[8];
    for (int s = 0; s < 8; ++s)
      c[s] = _mm_movelh_ps(_mm_loadu_ps(scratch.chroma + 8 * v + 2 * s), _mm_loadu_ps(scratch.chroma + 8 * v + 2 * s + 4));
    FilterLanes<8>(c, chroma, chroma.nn[0], &ya, &yb);
    _mm_store_si128(reinterpret_cast<__m128i *>(cOut), RoundNearest(ya));
    _mm_store_si128(reinterpret_cast<__m128i *>(cOut + 4), RoundNearest(yb));
    // Lanes Cb, Cr from pair 4v rebuild pairs 4v + 3 and 4v + 4; those from pair 4v + 2 pairs 4v + 5, 4v + 6.
    UInt8 *chromaOut = out + 4 * (4 * v + 3);
    chromaOut[0] = UInt8(cOut[0]);
    chromaOut[2] = UInt8(cOut[1]);
    chromaOut[4] = UInt8(cOut[4]);
    chromaOut[6] = UInt8(cOut[5]);
    if (!tail) {
      chromaOut[8] = UInt8(cOut[2]);
      chromaOut[10] = UInt8(cOut[3]);
      chromaOut[12] = UInt8(cOut[6]);
      chromaOut[14] = UInt8(cOut[7]);
    }
  }
}

void PrepareLineBases(const BZ_RnParams *p, SplatBasis<16> *luma, SplatBasis<8> *chroma) {
  luma->Fill(p->M16, p->M16inv);
  FillNoise16(*luma, p->nn16H[0], 0);
  chroma->Fill(p->M8, p->M8inv);
  for (int j = 0; j < 4; ++j) chroma->nn[0][j] = _mm_setr_ps(p->nn16H[1][j], p->nn16H[2][j], p->nn16H[1][j], p->nn16H[2][j]);
}

// Scratch on the stack for ordinary widths, on the heap beyond.
struct LineScratchStore {
  static constexpr SInt32 kStackWidth = 4096;
  alignas(16) float stack[kStackWidth * 2 + 64];
  std::vector<float> heap;
  LineScratch Get(SInt32 width) {
    float *base = stack;
    if (width > kStackWidth) {
      heap.assign(size_t(width) * 2 + 64, 0.0f);
      base = heap.data();
    }
    return LineScratch{base, base + width / 2 + 16, base + width + 32};
  }
};

}  // namespace

void BZ_SubtractNoiseHoriz8Acc(float *coeff, const float *nn8) {
  vFloat c[8], nn[4];
  for (int i = 0; i < 8; ++i) c[i] = _mm_load_ps(coeff + 4 * i);
  for (int i = 0; i < 4; ++i) nn[i] = _mm_load_ps(nn8 + 4 * i);
  SubtractNoise(c, nn, 4);
  for (int i = 0; i < 8; ++i) _mm_store_ps(coeff + 4 * i, c[i]);
}

void BZ_RnFilter16Y_Acc(const BZ_RnParams *rnParams, const float *noisyY, float *cleanY) {
  SplatBasis<16> basis;
  basis.Fill(rnParams->M16, rnParams->M16inv);
  FillNoise16(basis, rnParams->nn16H[0], 0);
  vFloat x[16], ya, yb;
  for (int s = 0; s < 16; ++s) x[s] = _mm_load_ps(noisyY + 4 * s);
  FilterLanes<16>(x, basis, basis.nn[0], &ya, &yb);
  _mm_store_ps(cleanY, ya);
  _mm_store_ps(cleanY + 4, yb);
}

void BZ_RnFilter8C_Acc(const BZ_RnParams *rnParams, const float *noisyC, float *cleanC, SInt32 cIndex) {
  SplatBasis<8> basis;
  basis.Fill(rnParams->M8, rnParams->M8inv);
  const float *cb = rnParams->nn16H[1], *cr = rnParams->nn16H[2];
  for (int j = 0; j < 4; ++j)
    basis.nn[0][j] = cIndex == 1 ? _mm_set1_ps(cb[j])
                     : cIndex == 2 ? _mm_set1_ps(cr[j])
                                   : _mm_setr_ps(cb[j], cr[j], cb[j], cr[j]);
  vFloat x[8], ya, yb;
  for (int s = 0; s < 8; ++s) x[s] = _mm_load_ps(noisyC + 4 * s);
  FilterLanes<8>(x, basis, basis.nn[0], &ya, &yb);
  _mm_store_ps(cleanC, ya);
  _mm_store_ps(cleanC + 4, yb);
}

void BZ_RnFilterHorizLineAcc(const BZ_RnParams *rnParams, const UInt8 *inLinePtr, UInt8 *outLinePtr) {
  assert(rnParams->width >= 24 && (rnParams->width & 7) == 0);
  SplatBasis<16> luma;
  SplatBasis<8> chroma;
  PrepareLineBases(rnParams, &luma, &chroma);
  LineScratchStore store;
  FilterLine(rnParams, luma, chroma, inLinePtr, outLinePtr, store.Get(rnParams->width));
}

void BZ_RnHorizFilterAcc(const BZ_RnParams *rnParams, const UInt8 *inBuffer, UInt8 *outBuffer) {
  assert(rnParams->width >= 24 && (rnParams->width & 7) == 0);
  SplatBasis<16> luma;
  SplatBasis<8> chroma;
  PrepareLineBases(rnParams, &luma, &chroma);
  LineScratchStore store;
  const LineScratch scratch = store.Get(rnParams->width);
  const SInt32 f = rnParams->interlaced ? 2 : 1, rowBytes = 2 * rnParams->width;
  for (SInt32 line = 8 * f; line < rnParams->inHeight + 8 * f; ++line)
    FilterLine(rnParams, luma, chroma, inBuffer + ptrdiff_t(line) * rowBytes, outBuffer + ptrdiff_t(line) * rowBytes,
               scratch);
}

void BZ_RnVertFilterAcc(const BZ_RnParams *rnParams, const UInt8 *inBuffer, UInt8 *outBuffer) {
  assert((rnParams->width & 7) == 0);
  const SInt32 f = rnParams->interlaced ? 2 : 1, rowBytes = 2 * rnParams->width;
  const SInt32 blockRows = rnParams->height / (8 * f);
  if (blockRows < 3) return;
  SplatBasis<16> basis;
  basis.Fill(rnParams->M16, rnParams->M16inv);
  // Byte column b of a group sits in lane b / 4 of vector b mod 4: Cb, Y, Cr, Y.
  static const int kChannel[4] = {1, 0, 2, 0};
  FillNoise16(basis, rnParams->nn16V[0], 0);
  FillNoise16(basis, rnParams->nn16V[1], 1);
  FillNoise16(basis, rnParams->nn16V[2], 2);
  const __m128i lowByte = _mm_set1_epi32(0xFF);
  // The last 32 field lines of the group as floats, four vectors per line (one per byte of each pixel pair).
  vFloat ring[32][4];
  auto convert = [&](const UInt8 *in, SInt32 line) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + ptrdiff_t(line) * f * rowBytes));
    for (int k = 0; k < 4; ++k)
      ring[line & 31][k] = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(bytes, 8 * k), lowByte));
  };
  for (SInt32 field = 0; field < f; ++field)
    for (SInt32 g = 0; g < rnParams->width / 8; ++g) {
      const UInt8 *in = inBuffer + ptrdiff_t(field) * rowBytes + 16 * g;
      UInt8 *out = outBuffer + ptrdiff_t(field) * rowBytes + 16 * g;
      for (SInt32 l = 0; l < 14; ++l) convert(in, l);
      for (SInt32 start = 0; start <= 8 * blockRows - 16; start += 2) {
        convert(in, start + 14);
        convert(in, start + 15);
        __m128i a = _mm_setzero_si128(), b = _mm_setzero_si128();
        for (int k = 0; k < 4; ++k) {
          vFloat x[16], ya, yb;
          for (int s = 0; s < 16; ++s) x[s] = ring[(start + s) & 31][k];
          FilterLanes<16>(x, basis, basis.nn[kChannel[k]], &ya, &yb);
          a = _mm_or_si128(a, _mm_slli_epi32(RoundLikeScalar(ya), 8 * k));
          b = _mm_or_si128(b, _mm_slli_epi32(RoundLikeScalar(yb), 8 * k));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + ptrdiff_t(start + 7) * f * rowBytes), a);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + ptrdiff_t(start + 8) * f * rowBytes), b);
      }
    }
}
