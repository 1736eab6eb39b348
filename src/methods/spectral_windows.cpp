// Spectral windows, bases and block utilities of the noise-reduction method.
#include "methods/spectral_windows.h"

#include "general/geometry.h"
#include "platform/core/multiprocessing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Half a raised-cosine window of n values, mirrored and scaled so that the two centre values are 1.
void FillWindow(float *w, int n, double start, double step) {
  for (int i = 0; i < n / 2; ++i) {
    w[i] = float(0.5 * (std::cos(kPi * (start - step * i)) + 1.0));
    w[n - 1 - i] = w[i];
  }
  const float centre = w[n / 2 - 1];
  for (int i = 0; i < n; ++i) w[i] /= centre;
}

void FillWindow2D(const float *w, int n, float *w2) {
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) w2[i * n + j] = w[j] * w[i];
}

float *AllocateBasis(size_t numFloats) {
  return static_cast<float *>(
      MPAllocateAligned(numFloats * sizeof(float), kMPAllocate16ByteAligned, kMPAllocateClearMask));
}

// The windowed packed-spectrum basis of n samples and the two rows that rebuild samples n/2 - 1 and n/2.
OSStatus InitBasis(int n, const float *window, float **basis, float **inverse) {
  float *m = AllocateBasis(size_t(n) * n);
  float *inv = AllocateBasis(2 * size_t(n));
  if (m == nullptr || inv == nullptr) {
    if (m != nullptr) MPFree(m);
    if (inv != nullptr) MPFree(inv);
    return memFullErr;
  }
  const double freqStep = 2.0 / n;  // 0.25 for 8 samples, 0.125 for 16
  for (int j = 0; j < n; ++j) {
    m[j] = 1.0f;
    m[n + j] = (j & 1) ? -1.0f : 1.0f;
  }
  for (int k = 1; k < n / 2; ++k)
    for (int j = 0; j < n; ++j) {
      const double angle = kPi * (freqStep * k) * j;
      m[2 * k * n + j] = float(std::cos(angle));
      m[(2 * k + 1) * n + j] = float(std::sin(angle));
    }
  for (int r = 0; r < n; ++r)
    for (int j = 0; j < n; ++j) m[r * n + j] *= window[j];

  // Sample n/2 - 1 has phase (n/2 - 1) x 2 pi k / n; sample n/2 has phase pi k.
  const float dc = 1.0f / float(n), pair = 2.0f / float(n);
  const double centrePhase = 1.0 - 2.0 / n;  // 0.75 for 8 samples, 0.875 for 16
  inv[0] = dc;
  inv[1] = -dc;
  inv[n] = dc;
  inv[n + 1] = dc;
  for (int k = 1; k < n / 2; ++k) {
    inv[2 * k] = float(pair * std::cos(centrePhase * kPi * k));
    inv[2 * k + 1] = float(pair * std::sin(centrePhase * kPi * k));
    inv[n + 2 * k] = (k & 1) ? -pair : pair;
    inv[n + 2 * k + 1] = 0.0f;
  }
  *basis = m;
  *inverse = inv;
  return noErr;
}

void PrintProduct(const float *inverse, const float *basis, int n) {
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < n; ++j) {
      float sum = 0.0f;
      for (int k = 0; k < n; ++k) sum += inverse[i * n + k] * basis[k * n + j];
      std::printf("i = %ld, j = %ld, result = %.4f\n", long(i), long(j), double(sum));
    }
}

template <typename T>
SInt32 CompareAscending(T x, T y) {
  if (x < y) return 1;
  if (x > y) return -1;
  return 0;
}

}  // namespace

void BZ_RnFillInWindows(BZ_RnParams *rnParams) {
  FillWindow(rnParams->window8, 8, 0.875, 0.25);
  FillWindow(rnParams->window16, 16, 0.9375, 0.125);
  FillWindow2D(rnParams->window8, 8, rnParams->window64);
  FillWindow2D(rnParams->window16, 16, rnParams->window256);
}

OSStatus BZ_RnInitM8(BZ_RnParams *rnParams) {
  if (rnParams == nullptr || rnParams->window8 == nullptr) return paramErr;
  return InitBasis(8, rnParams->window8, &rnParams->M8, &rnParams->M8inv);
}

OSStatus BZ_RnInitM16(BZ_RnParams *rnParams) {
  if (rnParams == nullptr || rnParams->window16 == nullptr) return paramErr;
  return InitBasis(16, rnParams->window16, &rnParams->M16, &rnParams->M16inv);
}

void BZ_RnDisposeBases(BZ_RnParams *rnParams) {
  for (float **basis : {&rnParams->M8, &rnParams->M8inv, &rnParams->M16, &rnParams->M16inv}) {
    if (*basis != nullptr) MPFree(*basis);
    *basis = nullptr;
  }
}

SInt32 BZ_RnCompareNoiseLevelsF(const void *x, const void *y) {
  return CompareAscending(static_cast<const BZ_IndexedNoiseLevel *>(x)->noiseLevelF,
                          static_cast<const BZ_IndexedNoiseLevel *>(y)->noiseLevelF);
}

SInt32 BZ_RnCompareNoiseLevels(const void *x, const void *y) {
  return CompareAscending(static_cast<const BZ_IndexedNoiseLevel *>(x)->noiseLevel,
                          static_cast<const BZ_IndexedNoiseLevel *>(y)->noiseLevel);
}

void BZ_RnGetSelRect(const BZ_RnParams *rnParams, Rect *selRect) {
  const SInt32 f = rnParams->interlaced ? 2 : 1;
  if (rnParams->sett != nullptr && rnParams->sett->useSelRect) {
    *selRect = rnParams->sett->selRect;
  } else {
    QDD_SetRect(selRect, 0, 0, SInt16(rnParams->inWidth), SInt16(rnParams->inHeight));
    QDD_InsetRect(selRect, 16, 16);
  }
  QDD_OffsetRect(selRect, 8, 8 * f);
}

OSStatus BZ_InitVectorFloatStorage(BZ_DlgTaskData *dlgTaskData) {
  if (dlgTaskData == nullptr || dlgTaskData->rnDlgTaskData == nullptr) return paramErr;
  BZ_RnDlgTaskData *d = dlgTaskData->rnDlgTaskData;
  if (d->randomPowerTable8 != nullptr) return noErr;  // carved once for the program's life
  float *p = static_cast<float *>(
      MPAllocateAligned(kBZ_RnVectorFloatStorageBytes, kMPAllocate16ByteAligned, kMPAllocateClearMask));
  if (p == nullptr) return memFullErr;
  auto carve = [&p](float *&field, size_t numFloats) {
    field = p;
    p += numFloats;
  };
  carve(d->randomPowerTable8, 4);
  carve(d->randomPowerTable16, 8);
  carve(d->randomPowerTable64, 16);
  carve(d->randomPowerTable256, 64);
  static const size_t k16H[3] = {80, 40, 40}, k16V[3] = {80, 80, 80}, k2D[3] = {640, 160, 160},
                      k2Dadd[3] = {160, 80, 80};
  for (int c = 0; c < 3; ++c) carve(d->noiseSpectr16H[c], k16H[c]);
  for (int c = 0; c < 3; ++c) carve(d->noiseSpectr16V[c], k16V[c]);
  for (int c = 0; c < 3; ++c) carve(d->noiseSpectr2D[c], k2D[c]);
  for (int c = 0; c < 3; ++c) carve(d->noiseSpectr2Dadd[c], k2Dadd[c]);
  return noErr;
}

void BZ_RnCopy8Pixels(const UInt8 *inPtr, UInt8 *outPtr) { std::memcpy(outPtr, inPtr, 16); }

void BZ_RnParamsToPadParams(const BZ_RnParams *rnParams, BZ_PadParams *padParams) {
  BZ_StageParamsToPadParams(rnParams, padParams);
}

void BZ_MedianFilterHoriz(SInt32 spatNoiseLevel, const UInt8 *temp2, UInt8 *array, SInt32 index, SInt32 step) {
  const SInt32 y1 = temp2[index - step], y2 = temp2[index], y3 = temp2[index + step];
  const SInt32 maxY = std::max({y1, y2, y3}), minY = std::min({y1, y2, y3});
  if (maxY - minY < 2 * spatNoiseLevel) {
    SInt32 median = y2;
    if ((y1 >= y2 && y1 <= y3) || (y1 <= y2 && y1 >= y3))
      median = y1;
    else if ((y3 >= y1 && y3 <= y2) || (y3 <= y1 && y3 >= y2))
      median = y3;
    array[index] = UInt8(median);
  } else {
    array[index] = UInt8(y2);
  }
}

void BZ_RnTestM8(const BZ_RnParams *rnParams) { PrintProduct(rnParams->M8inv, rnParams->M8, 8); }
void BZ_RnTestM16(const BZ_RnParams *rnParams) { PrintProduct(rnParams->M16inv, rnParams->M16, 16); }
