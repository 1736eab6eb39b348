// One-dimensional spectral noise filters, scalar versions and dispatchers.
#include "methods/line_filters.h"

#include <algorithm>
#include <cassert>

namespace {

// The rebuilt centre samples of one vector of N samples (N = 16 or 8) with mean m. The sums run in index
// order in one accumulator: the SSE versions sum each lane the same way.
template <int N>
void FilterVector(const float *x, float m, const float *M, const float *Minv, const float *nn, float *ya, float *yb) {
  float d[N];
  for (int s = 0; s < N; ++s) d[s] = x[s] - m;
  float c[N];
  for (int k = 0; k < N; ++k) {
    float acc = 0.0f;
    for (int s = 0; s < N; ++s) acc += M[k * N + s] * d[s];
    c[k] = acc;
  }
  const float dc = c[0];
  c[0] = 0.0f;
  for (int half = 0; half < N / 8; ++half) BZ_SubtractNoiseHoriz8_Opt2(c + 8 * half, nn + 4 * half);
  c[0] = dc;
  float a = 0.0f, b = 0.0f;
  for (int k = 0; k < N; ++k) a += Minv[k] * c[k];
  for (int k = 0; k < N; ++k) b += Minv[N + k] * c[k];
  *ya = m + a;
  *yb = m + b;
}

// The channel of a byte column in a pixel pair: Y for odd columns, Cb for 0 mod 4, Cr for 2 mod 4.
inline int ChannelOfByte(SInt32 byteColumn) { return (byteColumn & 1) ? 0 : ((byteColumn & 3) == 0 ? 1 : 2); }

}  // namespace

void BZ_SubtractNoiseHoriz8_Opt2(float *array8, const float *nn8) {
  for (int j = 0; j < 4; ++j) {
    float &re = array8[2 * j], &im = array8[2 * j + 1];
    const float p = re * re + im * im;
    const float g = std::max(p - nn8[j], 0.0f) / std::max(p, kBZ_RnMinPower);
    re *= g;
    im *= g;
  }
}

void BZ_RnFilter16_Opt2(const BZ_RnParams *rnParams, SInt32 vecNum, Boolean horizontal, SInt32 vertLineNum,
                        const UInt8 *inPtr, SInt32 offset, SInt32 *sumY, UInt8 *outPtr) {
  if (vecNum > 0) *sumY += inPtr[14 * offset] + inPtr[15 * offset] - inPtr[-offset] - inPtr[-2 * offset];
  float x[16];
  for (int s = 0; s < 16; ++s) x[s] = float(inPtr[s * offset]);
  const float *nn = horizontal ? rnParams->nn16H[0] : rnParams->nn16V[ChannelOfByte(vertLineNum)];
  float ya, yb;
  FilterVector<16>(x, float(*sumY) * 0.0625f, rnParams->M16, rnParams->M16inv, nn, &ya, &yb);
  outPtr[7 * offset] = BZ_RnStoreByte(ya);
  outPtr[8 * offset] = BZ_RnStoreByte(yb);
}

void BZ_RnFilter8C_Opt2(const BZ_RnParams *rnParams, SInt32 vecNum, const UInt8 *inPtr, SInt32 offset, SInt32 *sum,
                        UInt8 *outPtr) {
  const int channel = (offset & 1) ? 2 : 1;
  const UInt8 *first = inPtr + 2 * offset;
  if (vecNum > 1) sum[channel] += first[24] + first[28] - first[-4] - first[-8];
  float x[8];
  for (int s = 0; s < 8; ++s) x[s] = float(first[4 * s]);
  float ya, yb;
  FilterVector<8>(x, float(sum[channel]) * 0.125f, rnParams->M8, rnParams->M8inv, rnParams->nn16H[channel], &ya,
                  &yb);
  outPtr[2 * offset + 12] = BZ_RnStoreByte(ya);
  outPtr[2 * offset + 16] = BZ_RnStoreByte(yb);
}

void BZ_RnFilter8PixelsOpt2(const BZ_RnParams *rnParams, SInt32 vecNum, SInt32 *sum, const UInt8 *inPtr,
                            UInt8 *outPtr) {
  const SInt32 groups = rnParams->width / 8;
  const int count = vecNum == groups - 3 ? 5 : 4;
  for (int i = 0; i < count; ++i) {
    BZ_RnFilter16_Opt2(rnParams, 4 * vecNum + i, true, 0, inPtr + 4 * i + 1, 2, &sum[0], outPtr + 4 * i + 1);
    if (i < 4) {
      const SInt32 q = (i % 2) + 4 * (i / 2);
      BZ_RnFilter8C_Opt2(rnParams, 4 * vecNum + i, inPtr, q, sum, outPtr);
    } else {
      BZ_RnFilter8C_Opt2(rnParams, 4 * vecNum + 4, inPtr, 8, sum, outPtr);
      BZ_RnFilter8C_Opt2(rnParams, 4 * vecNum + 5, inPtr, 9, sum, outPtr);
    }
  }
}

void BZ_RnFilterHorizLineOpt2(const BZ_RnParams *rnParams, const UInt8 *inLinePtr, UInt8 *outLinePtr) {
  assert(rnParams->width >= 24 && (rnParams->width & 7) == 0);
  SInt32 sum[3] = {0, 0, 0};
  for (int s = 0; s < 16; ++s) sum[0] += inLinePtr[2 * s + 1];
  for (int s = 0; s < 8; ++s) {
    sum[1] += inLinePtr[4 * s];
    sum[2] += inLinePtr[4 * s + 2];
  }
  const SInt32 groups = rnParams->width / 8;
  for (SInt32 v = 0; v <= groups - 3; ++v)
    BZ_RnFilter8PixelsOpt2(rnParams, v, sum, inLinePtr + 16 * v, outLinePtr + 16 * v);
}

void BZ_RnFilterHorizLineUni(const BZ_RnParams *rnParams, const UInt8 *inLinePtr, UInt8 *outLinePtr) {
  if (gBZ.procInfo.hasSSE3)
    BZ_RnFilterHorizLineAcc(rnParams, inLinePtr, outLinePtr);
  else
    BZ_RnFilterHorizLineOpt2(rnParams, inLinePtr, outLinePtr);
}

void BZ_RnHorizFilter(const BZ_RnParams *rnParams, const UInt8 *inBuffer, UInt8 *outBuffer) {
  const SInt32 f = rnParams->interlaced ? 2 : 1, rowBytes = 2 * rnParams->width;
  for (SInt32 line = 8 * f; line < rnParams->inHeight + 8 * f; ++line)
    BZ_RnFilterHorizLineOpt2(rnParams, inBuffer + ptrdiff_t(line) * rowBytes, outBuffer + ptrdiff_t(line) * rowBytes);
}

void BZ_RnVertDoBlock(const BZ_RnParams *rnParams, SInt32 vecNum, SInt32 *sum, const UInt8 *inBlock,
                      UInt8 *outBlock, SInt32 byteColumn, SInt32 fieldStride) {
  const SInt32 blockRows = rnParams->height / (8 * (rnParams->interlaced ? 2 : 1));
  const int count = vecNum == blockRows - 3 ? 5 : 4;
  for (int i = 0; i < count; ++i) {
    const ptrdiff_t at = ptrdiff_t(8 * vecNum + 2 * i) * fieldStride;
    BZ_RnFilter16_Opt2(rnParams, 4 * vecNum + i, false, byteColumn, inBlock + at, fieldStride, sum, outBlock + at);
  }
}

void BZ_RnVertFilter(const BZ_RnParams *rnParams, const UInt8 *inBuffer, UInt8 *outBuffer) {
  const SInt32 f = rnParams->interlaced ? 2 : 1, rowBytes = 2 * rnParams->width, fieldStride = rowBytes * f;
  const SInt32 blockRows = rnParams->height / (8 * f);
  if (blockRows < 3) return;
  for (SInt32 field = 0; field < f; ++field)
    for (SInt32 g = 0; g < rnParams->width / 8; ++g)
      for (SInt32 b = 0; b < 16; ++b) {
        const UInt8 *in = inBuffer + ptrdiff_t(field) * rowBytes + 16 * g + b;
        UInt8 *out = outBuffer + ptrdiff_t(field) * rowBytes + 16 * g + b;
        SInt32 sum = 0;
        for (int l = 0; l < 16; ++l) sum += in[ptrdiff_t(l) * fieldStride];
        for (SInt32 r = 0; r <= blockRows - 3; ++r) BZ_RnVertDoBlock(rnParams, r, &sum, in, out, b, fieldStride);
      }
}
