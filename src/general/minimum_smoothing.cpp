// Minimum refinement, polynomial fits and smoothing filters on top of the SVD routines.
#include "general/minimum_smoothing.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"

#include <cmath>
#include <limits>

namespace {

// Zeroes every singular value strictly below 1e-5 times the largest; the product is formed in double.
template <typename W>
void ApplySingularValueThreshold(W w, SInt32 first, SInt32 last) {
  float wMax = 0.0f;
  for (SInt32 j = first; j <= last; ++j) {
    if (w[j] > wMax) wMax = w[j];
  }
  const float thresh = float(double(wMax) * 1e-5);
  for (SInt32 j = first; j <= last; ++j) {
    if (w[j] < thresh) w[j] = 0.0f;
  }
}

// Parabola through n values (n <= 7) in the 1-based fixed-row layout; coef[1..3] = a, b, c.
void FitParabola(const float *values, SInt32 n, float coef[4]) {
  float u[8][4] = {};
  float v[4][4] = {};
  float w[4] = {};
  float rhs[8] = {};
  for (SInt32 x = 0; x < n; ++x) {
    u[x + 1][1] = 1.0f;
    u[x + 1][2] = float(x);
    u[x + 1][3] = float(x * x);
    rhs[x + 1] = values[x];
  }
  // The design matrix depends only on n, so the decomposition always succeeds.
  (void)NR_svdcmpSPL4(u, n, 3, w, v);
  ApplySingularValueThreshold(w, 1, 3);
  NR_svbksbSPL4(u, w, v, n, 3, rhs, coef);
}

void FitParabolaOut(const float *values, SInt32 n, float *aOut, float *bOut, float *c) {
  float coef[4] = {};
  if (values != nullptr) FitParabola(values, n, coef);
  if (aOut != nullptr) *aOut = coef[1];
  if (bOut != nullptr) *bOut = coef[2];
  if (c != nullptr) *c = coef[3];
}

OSStatus GetMinimumFromN(const float *values, SInt32 n, float *minArg, float *minValue) {
  if (values == nullptr) return paramErr;
  const float upper = float(n - 1);
  float coef[4];
  FitParabola(values, n, coef);
  const float a = coef[1], b = coef[2], c = coef[3];
  OSStatus result = noErr;
  float p;
  if (c > -0.001 && c < 0.001) {
    result = kNR_NoClearExtrErr;
    p = b > 0.0f ? 0.0f : upper;
  } else {
    p = b / (c * -2.0f);
    if (p < 0.0f) {
      result = kNR_NoClearExtrErr;
      p = 0.0f;
    } else if (p > upper) {
      result = kNR_NoClearExtrErr;
      p = upper;
    }
  }
  if (minArg != nullptr) *minArg = p;
  if (minValue != nullptr) *minValue = (c * p) * p + (b * p + a);
  return result;
}

}  // namespace

void NR_FitPieceOfParabolaTo5(const float *values, float *aOut, float *bOut, float *c) {
  FitParabolaOut(values, 5, aOut, bOut, c);
}

void NR_FitPieceOfParabolaTo7(const float *values, float *aOut, float *bOut, float *c) {
  FitParabolaOut(values, 7, aOut, bOut, c);
}

void NR_FitPieceOfParabolaTo4(const float *values, float *aOut, float *bOut, float *c) {
  FitParabolaOut(values, 4, aOut, bOut, c);
}

OSStatus NR_FitPieceOfParabolaTo5_new(const float *values, float *a) { return NR_FitPolyLS(values, 5, a, 3); }

OSStatus NR_FitPieceOfParabolaTo7_new(const float *values, float *a) { return NR_FitPolyLS(values, 7, a, 3); }

OSStatus NR_FitPieceOfParabolaTo4_new(const float *values, float *a) { return NR_FitPolyLS(values, 4, a, 3); }

float NR_GetCenterValueOf5(const float *values) {
  float a, b, c;
  NR_FitPieceOfParabolaTo5(values, &a, &b, &c);
  return 4.0f * c + (b + b + a);
}

OSStatus NR_GetMinimumFrom5(const float *globalDiff, float *minArg, float *minValue) {
  return GetMinimumFromN(globalDiff, 5, minArg, minValue);
}

OSStatus NR_GetMinimumFrom4(const float *globalDiff, float *minArg, float *minValue) {
  return GetMinimumFromN(globalDiff, 4, minArg, minValue);
}

void NR_GetMinimumFrom7(const float *values, float *minArg, float *minValue) {
  if (values == nullptr) return;
  float coef[4];
  FitParabola(values, 7, coef);
  const float a = coef[1], b = coef[2], c = coef[3];
  const float p = b / (c * -2.0f);
  if (minArg != nullptr) *minArg = p;
  if (minValue != nullptr) *minValue = (c * p) * p + (b * p + a);
}

OSStatus NR_GetArrayMax(const float *values, SInt32 numValues, float *maxValue, float *maxArg) {
  if (values == nullptr || numValues < 1) return kNR_NoClearExtrErr;
  float maxV = -std::numeric_limits<float>::infinity();
  SInt32 i = -1;
  for (SInt32 k = 0; k < numValues; ++k) {
    if (values[k] > maxV) {
      maxV = values[k];
      i = k;
    }
  }
  if (i <= 0 || i == numValues - 1) return kNR_NoClearExtrErr;

  const float L = values[i - 1], R = values[i + 1];
  const float d1 = maxV - L, d2 = maxV - R;
  float coef[3];
  SInt32 start;
  if (d1 > L - R && d2 > R - L) {
    float cof[3];
    NR_polcoeSPL(values + i - 1, 2, cof);
    coef[0] = cof[0];
    coef[1] = cof[1];
    coef[2] = cof[2];
    start = i - 1;
  } else if (L - R > d1 && i >= 2) {
    if (!(L - values[i - 2] > d1)) return kNR_NoClearExtrErr;
    OSStatus err = NR_FitPieceOfParabolaTo4_new(values + i - 2, coef);
    if (err != noErr) return err;
    start = i - 2;
  } else if (R - L > d2 && i <= numValues - 3) {
    if (!(R - values[i + 2] > d2)) return kNR_NoClearExtrErr;
    OSStatus err = NR_FitPieceOfParabolaTo4_new(values + i - 1, coef);
    if (err != noErr) return err;
    start = i - 1;
  } else {
    return kNR_NoClearExtrErr;
  }
  const float a = coef[0], b = coef[1], c = coef[2];
  const float p = float((b * -0.5) / c);
  if (maxValue != nullptr) *maxValue = (c * p) * p + (a + b * p);
  if (maxArg != nullptr) *maxArg = float(start) + p;
  return noErr;
}

OSStatus NR_FitPolyLS(const float *values, SInt32 n, float *a, SInt32 m) {
  if (values == nullptr || a == nullptr) return paramErr;
  if (n < 1 || m < 1 || n > kNR_MaxPolyFitSize || m > kNR_MaxPolyFitSize) return paramErr;

  float *u = reinterpret_cast<float *>(NewPtr(Size(sizeof(float)) * n * m));
  if (u == nullptr) return memFullErr;
  float *v = reinterpret_cast<float *>(NewPtr(Size(sizeof(float)) * m * m));
  if (v == nullptr) {
    DisposePtr(reinterpret_cast<Ptr>(u));
    return memFullErr;
  }
  float rhs[kNR_MaxPolyFitSize];
  float w[kNR_MaxPolyFitSize];
  for (SInt32 i = 0; i < n; ++i) {
    float *row = u + i * m;
    row[0] = 1.0f;
    for (SInt32 j = 1; j < m; ++j) row[j] = float(i) * row[j - 1];
    rhs[i] = values[i];
  }
  OSStatus err = NR_svdcmpSPL(u, n, m, w, v);
  if (err == noErr) {
    ApplySingularValueThreshold(w, 0, m - 1);
    NR_svbksbSPL(u, w, v, n, m, rhs, a);
  }
  DisposePtr(reinterpret_cast<Ptr>(u));
  DisposePtr(reinterpret_cast<Ptr>(v));
  return err;
}

OSStatus NR_GetSavitzkiGolayFilter(float *filter, SInt32 n, SInt32 m) {
  if (filter == nullptr) return paramErr;
  if (n < 1 || m < 1 || n > kNR_MaxPolyFitSize || m > kNR_MaxPolyFitSize) return paramErr;
  float values[kNR_MaxPolyFitSize];
  float coeffs[kNR_MaxPolyFitSize];
  const float centre = float(n - 1) * 0.5f;
  for (SInt32 j = 0; j < n; ++j) {
    for (SInt32 k = 0; k < n; ++k) values[k] = (k == j) ? 1.0f : 0.0f;
    OSStatus err = NR_FitPolyLS(values, n, coeffs, m);
    if (err != noErr) return err;
    float sum = 0.0f;
    float p = 1.0f;
    for (SInt32 k = 0; k < m; ++k) {
      sum += coeffs[k] * p;
      p *= centre;
    }
    filter[j] = sum;
  }
  return noErr;
}

OSStatus NR_FitGradient2D(const UInt8 *data, UInt32 mask, float noiseLevel, float *a, SInt32 *diff, float *chisq) {
  if (data == nullptr || a == nullptr || diff == nullptr || chisq == nullptr) return paramErr;
  if (!(noiseLevel > 0.0f)) return paramErr;
  // Rows 1..31 of the work matrix: at most 31 positions fit.
  float u[32][4] = {};
  float v[4][4] = {};
  float w[4] = {};
  float rhs[32] = {};
  SInt32 rows = 0;
  for (SInt32 k = 0; k < 32; ++k) {
    if ((mask & (UInt32(1) << k)) == 0) continue;
    if (rows == 31) return paramErr;
    ++rows;
    u[rows][1] = 1.0f;
    u[rows][2] = float(k % 5);
    u[rows][3] = float(k / 5);
    rhs[rows] = float(data[k]);
  }
  if (rows == 0) return paramErr;
  OSStatus err = NR_svdcmpSPL4(u, rows, 3, w, v);
  if (err != noErr) return err;
  ApplySingularValueThreshold(w, 1, 3);
  NR_svbksbSPL4(u, w, v, rows, 3, rhs, a);

  const float invNoise2 = 1.0f / (noiseLevel * noiseLevel);
  float sum = 0.0f;
  for (SInt32 k = 0; k < 32; ++k) {
    if ((mask & (UInt32(1) << k)) == 0) continue;
    float model = 0.0f;
    model += a[1] * 1.0f;
    model += a[2] * float(k % 5);
    model += a[3] * float(k / 5);
    const float d = float(data[k]) - model;
    sum += d * d * invNoise2;
    diff[k] = SInt32(d + 0.5);
  }
  *chisq = sum;
  return noErr;
}

OSStatus NR_SolveLinEq2(float (*a)[3], float *b) {
  if (a == nullptr || b == nullptr) return paramErr;
  float *const rows[3] = {a[0], a[1], a[2]};
  float vv[3], d;
  SInt32 indx[3] = {0, 1, 2};
  OSStatus result = NR_ludcmpRows(rows, 2, indx, &d, vv, nullptr);
  NR_lubksbRows(rows, 2, indx, b);
  return result;
}

void NR_fitEquiDistInts(const SInt32 *y, SInt32 ndata, float *a, float *b, float *avDiffY) {
  if (y == nullptr || a == nullptr || b == nullptr || avDiffY == nullptr) return;
  if (ndata < 2) {
    // No slope can be measured: the flat line through the one sample, or zeros.
    *a = ndata == 1 ? float(y[0]) : 0.0f;
    *b = 0.0f;
    *avDiffY = 0.0f;
    return;
  }
  float sx = 0.0f, sy = 0.0f;
  for (SInt32 i = 0; i < ndata; ++i) {
    sx += float(i);
    sy += float(y[i]);
  }
  const float ss = float(ndata);
  const float sxoss = sx / ss;
  float st2 = 0.0f;
  float bb = 0.0f;
  for (SInt32 i = 0; i < ndata; ++i) {
    const float t = float(i) - sxoss;
    st2 += t * t;
    bb += t * float(y[i]);
  }
  bb /= st2;
  const float aa = (sy - sx * bb) / ss;
  float dev = 0.0f;
  for (SInt32 i = 0; i < ndata; ++i) dev += std::fabs(float(y[i]) - aa - float(i) * bb);
  *a = aa;
  *b = bb;
  *avDiffY = dev / ss;
}
