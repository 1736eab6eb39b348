// The classic numerical routines in single precision. Each follows the textbook form of its method; what
// is ours are the constants, caps and fatal messages below, and that every allocation is checked before use.
//
// The minimisers are written once as templates over the function they minimise, so the shared-variable
// routines and their re-entrant variants run the same code; the decompositions come from least_squares.
#include "general/numerical_routines.h"

#include "platform/core/memory.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <utility>

int NR_ncom = 0;
float *NR_pcom = nullptr;
float *NR_xicom = nullptr;
NR_FuncNProc NR_func1 = nullptr;

namespace {

constexpr SInt64 kSpare = 1;  // one spare element in front of every allocation

// Minimisation.
constexpr float kGold = 1.618034f;         // golden ratio step of the bracketing
constexpr float kGLimit = 100.0f;          // largest parabolic step, in brackets
constexpr float kTiny = 1.0e-20f;          // denominator floor of the parabolic step
constexpr float kGoldenR = 0.61803399f;    // golden-section ratios
constexpr float kGoldenC = 0.38196601f;
constexpr int kBrentIterations = 100;
constexpr float kBrentCGold = 0.3819660f;  // golden fraction of Brent's fallback step
constexpr float kBrentZeps = 1.0e-10f;     // absolute floor of Brent's tolerance
constexpr float kLinminTol = 2.0e-4f;
constexpr int kPowellIterations = 200;
constexpr float kPowellTiny = 1.0e-25f;
constexpr int kPowellMaxN = 8;             // the re-entrant Powell's work vectors hold 9 floats

// Gamma functions.
constexpr int kGammaIterations = 100;
constexpr float kGammaEps = 3.0e-7f;
constexpr float kGammaFpMin = 1.0e-30f;

// Others.
constexpr float kSimplexEps = 1.0e-6f;
constexpr float kSvdfitTol = 1.0e-5f;
constexpr double kPi = 3.141592653589793;

inline float Sign(float a, float b) { return b >= 0.0f ? std::fabs(a) : -std::fabs(a); }
inline float Sqr(float a) { return a * a; }

// Element count of the range nl..nh with the spare one, or -1 for an impossible range.
SInt64 Elements(SInt32 nl, SInt32 nh) {
  SInt64 count = SInt64(nh) - SInt64(nl) + 1;
  return count < 0 ? -1 : count + kSpare;
}

// The allocation every routine here uses: a vector that is there, or the end of the program.
float *CheckedVector(SInt32 nl, SInt32 nh) {
  float *v = NR_vector(nl, nh);
  if (v == nullptr) NR_nrerror("allocation failure in vector()");
  return v;
}

// ---- One-dimensional minimisation, over any callable f(x) ----

template <typename F>
void Mnbrak(float *ax, float *bx, float *cx, float *fa, float *fb, float *fc, F func) {
  *fa = func(*ax);
  *fb = func(*bx);
  if (*fb > *fa) {  // go downhill from a to b
    std::swap(*ax, *bx);
    std::swap(*fa, *fb);
  }
  *cx = *bx + kGold * (*bx - *ax);
  *fc = func(*cx);
  while (*fb > *fc) {
    float r = (*bx - *ax) * (*fb - *fc);
    float q = (*bx - *cx) * (*fb - *fa);
    float denom = std::fabs(q - r) > kTiny ? std::fabs(q - r) : kTiny;
    float u = *bx - ((*bx - *cx) * q - (*bx - *ax) * r) / (2.0f * Sign(denom, q - r));
    float ulim = *bx + kGLimit * (*cx - *bx);
    float fu;
    if ((*bx - u) * (u - *cx) > 0.0f) {  // parabolic u between b and c
      fu = func(u);
      if (fu < *fc) {
        *ax = *bx;
        *bx = u;
        *fa = *fb;
        *fb = fu;
        return;
      }
      if (fu > *fb) {
        *cx = u;
        *fc = fu;
        return;
      }
      u = *cx + kGold * (*cx - *bx);
      fu = func(u);
    } else if ((*cx - u) * (u - ulim) > 0.0f) {  // between c and the limit
      fu = func(u);
      if (fu < *fc) {
        *bx = *cx;
        *cx = u;
        u = *cx + kGold * (*cx - *bx);
        *fb = *fc;
        *fc = fu;
        fu = func(u);
      }
    } else if ((u - ulim) * (ulim - *cx) >= 0.0f) {  // beyond the limit: take the limit
      u = ulim;
      fu = func(u);
    } else {  // parabolic step rejected: golden step
      u = *cx + kGold * (*cx - *bx);
      fu = func(u);
    }
    *ax = *bx;
    *bx = *cx;
    *cx = u;
    *fa = *fb;
    *fb = *fc;
    *fc = fu;
  }
}

template <typename F>
float Brent(float ax, float bx, float cx, F f, float tol, float *xmin) {
  float a = ax < cx ? ax : cx;
  float b = ax > cx ? ax : cx;
  float x = bx, w = bx, v = bx;
  float fx = f(x);
  float fw = fx, fv = fx;
  float d = 0.0f, e = 0.0f;
  for (int iter = 1; iter <= kBrentIterations; ++iter) {
    float xm = 0.5f * (a + b);
    float tol1 = tol * std::fabs(x) + kBrentZeps;
    float tol2 = 2.0f * tol1;
    if (std::fabs(x - xm) <= tol2 - 0.5f * (b - a)) break;
    if (std::fabs(e) > tol1) {  // try a parabola through x, v and w
      float r = (x - w) * (fx - fv);
      float q = (x - v) * (fx - fw);
      float p = (x - v) * q - (x - w) * r;
      q = 2.0f * (q - r);
      if (q > 0.0f) p = -p;
      q = std::fabs(q);
      float etemp = e;
      e = d;
      if (std::fabs(p) >= std::fabs(0.5f * q * etemp) || p <= q * (a - x) || p >= q * (b - x)) {
        e = x >= xm ? a - x : b - x;
        d = kBrentCGold * e;
      } else {
        d = p / q;
        float u = x + d;
        if (u - a < tol2 || b - u < tol2) d = Sign(tol1, xm - x);
      }
    } else {
      e = x >= xm ? a - x : b - x;
      d = kBrentCGold * e;
    }
    float u = std::fabs(d) >= tol1 ? x + d : x + Sign(tol1, d);
    float fu = f(u);
    if (fu <= fx) {
      if (u >= x) a = x;
      else b = x;
      v = w;
      w = x;
      x = u;
      fv = fw;
      fw = fx;
      fx = fu;
    } else {
      if (u < x) a = u;
      else b = u;
      if (fu <= fw || w == x) {
        v = w;
        w = u;
        fv = fw;
        fw = fu;
      } else if (fu <= fv || v == x || v == w) {
        v = u;
        fv = fu;
      }
    }
  }
  *xmin = x;
  return fx;
}

// ---- Line and direction-set minimisation ----

// Minimises along xi from p; bracket(ax, xx, bx, fa, fx, fb) and brent(ax, xx, bx, tol, xmin) act on the line
// pcom + x * xicom, which `setLine` is told about before any evaluation.
template <typename SetLine, typename Bracket, typename Minimise>
void LineMinimise(float p[], float xi[], int n, float *fret, SetLine setLine, Bracket bracket, Minimise minimise) {
  float *pcom = CheckedVector(1, n);
  float *xicom = CheckedVector(1, n);
  for (int j = 1; j <= n; ++j) {
    pcom[j] = p[j];
    xicom[j] = xi[j];
  }
  setLine(pcom, xicom);
  float ax = 0.0f, xx = 1.0f, bx = 0.0f, fa, fx, fb, xmin = 0.0f;
  bracket(&ax, &xx, &bx, &fa, &fx, &fb);
  *fret = minimise(ax, xx, bx, kLinminTol, &xmin);
  for (int j = 1; j <= n; ++j) {
    xi[j] *= xmin;
    p[j] += xi[j];
  }
  setLine(nullptr, nullptr);
  NR_free_vector(xicom, 1, n);
  NR_free_vector(pcom, 1, n);
}

// Powell's method with the caller's work vectors pt, ptt, xit (1-based, n entries). Returns false when the
// iteration cap was reached before convergence (p and *fret then hold the current point).
template <typename Linmin>
bool Powell(float p[], float **xi, int n, float ftol, int *iter, float *fret, NR_FuncNProc func, float *pt,
            float *ptt, float *xit, Linmin linmin) {
  *fret = func(p);
  for (int j = 1; j <= n; ++j) pt[j] = p[j];
  for (*iter = 1;; ++(*iter)) {
    float fp = *fret;
    int ibig = 0;
    float del = 0.0f;  // the largest decrease along one direction
    for (int i = 1; i <= n; ++i) {
      for (int j = 1; j <= n; ++j) xit[j] = xi[j][i];
      float fptt = *fret;
      linmin(p, xit, n, fret, func);
      if (std::fabs(fptt - *fret) > del) {
        del = std::fabs(fptt - *fret);
        ibig = i;
      }
    }
    if (2.0f * (fp - *fret) <= ftol * (std::fabs(fp) + std::fabs(*fret)) + kPowellTiny) return true;
    if (*iter == kPowellIterations) return false;
    for (int j = 1; j <= n; ++j) {  // extrapolated point and average direction
      ptt[j] = 2.0f * p[j] - pt[j];
      xit[j] = p[j] - pt[j];
      pt[j] = p[j];
    }
    float fptt = func(ptt);
    if (fptt < fp) {
      float t = 2.0f * (fp - 2.0f * *fret + fptt) * Sqr(fp - *fret - del) - del * Sqr(fp - fptt);
      if (t < 0.0f) {  // move to the new direction's minimum and keep the direction
        linmin(p, xit, n, fret, func);
        for (int j = 1; j <= n; ++j) {
          xi[j][ibig] = xi[j][n];
          xi[j][n] = xit[j];
        }
      }
    }
  }
}

// ---- Straight-line fits ----

// Unweighted fit of y = a + b x over the points i = first..last of x(i), y(i); the standard errors are
// scaled by sqrt(chi2 / (ndata - 2)) and written only when siga is given.
template <typename X, typename Y>
void UnweightedLine(X x, Y y, int first, int last, float *a, float *b, float *siga, float *sigb, float *chi2) {
  float sx = 0.0f, sy = 0.0f, st2 = 0.0f, bb = 0.0f;
  for (int i = first; i <= last; ++i) {
    sx += x(i);
    sy += y(i);
  }
  float ss = float(last - first + 1);
  float sxoss = sx / ss;
  for (int i = first; i <= last; ++i) {
    float t = x(i) - sxoss;
    st2 += t * t;
    bb += t * y(i);
  }
  bb /= st2;
  *b = bb;
  *a = (sy - sx * bb) / ss;
  if (siga == nullptr) return;
  float sa = std::sqrt((1.0f + sx * sx / (ss * st2)) / ss);
  float sb = std::sqrt(1.0f / st2);
  float c2 = 0.0f;
  for (int i = first; i <= last; ++i) c2 += Sqr(y(i) - *a - bb * x(i));
  float sigdat = std::sqrt(c2 / (ss - 2.0f));
  *siga = sa * sigdat;
  *sigb = sb * sigdat;
  if (chi2 != nullptr) *chi2 = c2;
}

// Sum of (observed - expected)^2 / expected over i = first..last.
template <typename Check>
float ChiSquareSum(const float *bins, const float *ebins, int first, int last, Check checkExpected) {
  float chsq = 0.0f;
  for (int j = first; j <= last; ++j) {
    checkExpected(ebins[j]);
    float temp = bins[j] - ebins[j];
    chsq += temp * temp / ebins[j];
  }
  return chsq;
}

// The work areas NR_mrqmin keeps between its calls.
struct MrqState {
  int mfit = 0;
  int ma = 0;
  float ochisq = 0.0f;
  float *atry = nullptr;
  float *beta = nullptr;
  float *da = nullptr;
  float **oneda = nullptr;
};
MrqState gMrq;

void MrqRelease() {
  if (gMrq.oneda != nullptr) NR_free_matrix(gMrq.oneda, 1, gMrq.mfit, 1, 1);
  NR_free_vector(gMrq.da, 1, gMrq.ma);
  NR_free_vector(gMrq.beta, 1, gMrq.ma);
  NR_free_vector(gMrq.atry, 1, gMrq.ma);
  gMrq = MrqState{};
}

}  // namespace

// ---- Fatal errors and allocation ----

void NR_nrerror(const char *error_text) {
  std::fprintf(stderr, "Numerical Recipes run-time error...\n");
  std::fprintf(stderr, "%s\n", error_text != nullptr ? error_text : "");
  std::fprintf(stderr, "...now exiting to system...\n");
  std::exit(1);
}

float *NR_vector(SInt32 nl, SInt32 nh) {
  SInt64 count = Elements(nl, nh);
  if (count < 0 || PL_AllocationShouldFail()) return nullptr;
  auto *v = static_cast<float *>(std::calloc(size_t(count), sizeof(float)));
  if (v == nullptr) return nullptr;
  return v - nl + kSpare;
}

int *NR_ivector(SInt32 nl, SInt32 nh) {
  SInt64 count = Elements(nl, nh);
  int *v = count < 0 || PL_AllocationShouldFail() ? nullptr
                                                  : static_cast<int *>(std::calloc(size_t(count), sizeof(int)));
  if (v == nullptr) NR_nrerror("allocation failure in ivector()");
  return v - nl + kSpare;
}

float **NR_matrix(SInt32 nrl, SInt32 nrh, SInt32 ncl, SInt32 nch) {
  SInt64 nrow = SInt64(nrh) - nrl + 1;
  SInt64 ncol = SInt64(nch) - ncl + 1;
  // One pointer more than the rows: a matrix without rows still has m[nrl] to keep its block in.
  float **m = nrow < 0 || PL_AllocationShouldFail()
                  ? nullptr
                  : static_cast<float **>(std::calloc(size_t(nrow + kSpare + 1), sizeof(float *)));
  if (m == nullptr) NR_nrerror("allocation failure 1 in matrix()");
  m += kSpare;
  m -= nrl;
  float *block = ncol < 0 || PL_AllocationShouldFail()
                     ? nullptr
                     : static_cast<float *>(std::calloc(size_t(nrow * ncol + kSpare), sizeof(float)));
  if (block == nullptr) NR_nrerror("allocation failure 2 in matrix()");
  if (nrow == 0) {
    m[nrl] = block;
    return m;
  }
  m[nrl] = block + kSpare - ncl;
  for (SInt64 i = SInt64(nrl) + 1; i <= nrh; ++i) m[i] = m[i - 1] + ncol;
  return m;
}

void NR_free_vector(float *v, SInt32 nl, SInt32) {
  if (v != nullptr) std::free(v + nl - kSpare);
}

void NR_free_ivector(int *v, SInt32 nl, SInt32) {
  if (v != nullptr) std::free(v + nl - kSpare);
}

void NR_free_matrix(float **m, SInt32 nrl, SInt32 nrh, SInt32 ncl, SInt32) {
  if (m == nullptr) return;
  std::free(nrh < nrl ? m[nrl] : m[nrl] + ncl - kSpare);
  std::free(m + nrl - kSpare);
}

// ---- Linear equations ----

void NR_gaussj(float **a, int n, float **b, int m) {
  int *indxc = NR_ivector(1, n);
  int *indxr = NR_ivector(1, n);
  int *ipiv = NR_ivector(1, n);
  OSStatus err = NR_gaussjSPL(a, n, b, m, indxc, indxr, ipiv);
  bool columnTwice = false;
  for (int j = 1; j <= n; ++j) columnTwice = columnTwice || ipiv[j] > 1;
  NR_free_ivector(ipiv, 1, n);
  NR_free_ivector(indxr, 1, n);
  NR_free_ivector(indxc, 1, n);
  if (err == kNR_SingMatrixErr)
    NR_nrerror(columnTwice ? "gaussj: Singular Matrix-1" : "gaussj: Singular Matrix-2");
}

void NR_ludcmp(float **a, int n, int *indx, float *d) {
  float *vv = CheckedVector(1, n);  // implicit scaling of each row
  Boolean zeroRow = false;
  NR_ludcmpRows(a, n, indx, d, vv, &zeroRow);  // a zero pivot alone is no stop here
  NR_free_vector(vv, 1, n);
  if (zeroRow) NR_nrerror("Singular matrix in routine ludcmp");
}

void NR_lubksb(float **a, int n, int *indx, float b[]) { NR_lubksbRows(a, n, indx, b); }

// ---- Interpolation and approximation ----

void NR_polint(float xa[], float ya[], int n, float x, float *y, float *dy) {
  float *c = CheckedVector(1, n);
  float *d = CheckedVector(1, n);
  *dy = 0.0f;
  *y = NR_polintScratch(xa + 1, ya + 1, n, x, c + 1, d + 1, dy);
  NR_free_vector(d, 1, n);
  NR_free_vector(c, 1, n);
  if (std::isnan(*y) && n > 1) {
    for (int i = 1; i < n; ++i)
      for (int j = i + 1; j <= n; ++j)
        if (xa[i] == xa[j]) NR_nrerror("Error in routine polint");
  }
}

void NR_polcoe(float x[], float y[], int n, float cof[]) {
  float *s = CheckedVector(0, n);  // coefficients of the master polynomial prod (x - x[i])
  for (int i = 0; i <= n; ++i) s[i] = cof[i] = 0.0f;
  s[n] = -x[0];
  for (int i = 1; i <= n; ++i) {
    for (int j = n - i; j <= n - 1; ++j) s[j] -= x[i] * s[j + 1];
    s[n] -= x[i];
  }
  for (int j = 0; j <= n; ++j) {
    float phi = float(n + 1);
    for (int k = n; k >= 1; --k) phi = float(k) * s[k] + x[j] * phi;
    float ff = y[j] / phi;
    float b = 1.0f;
    for (int k = n; k >= 0; --k) {
      cof[k] += b * ff;
      b = s[k] + x[j] * b;
    }
  }
  NR_free_vector(s, 0, n);
}

void NR_spline(float x[], float y[], int n, float yp1, float ypn, float y2[]) {
  if (n < 2) {
    if (n == 1) y2[1] = 0.0f;
    return;
  }
  float *u = CheckedVector(1, n - 1);
  if (yp1 > 0.99e30f) {
    y2[1] = u[1] = 0.0f;
  } else {
    y2[1] = -0.5f;
    u[1] = (3.0f / (x[2] - x[1])) * ((y[2] - y[1]) / (x[2] - x[1]) - yp1);
  }
  for (int i = 2; i <= n - 1; ++i) {  // decomposition of the tridiagonal system
    float sig = (x[i] - x[i - 1]) / (x[i + 1] - x[i - 1]);
    float p = sig * y2[i - 1] + 2.0f;
    y2[i] = (sig - 1.0f) / p;
    u[i] = (y[i + 1] - y[i]) / (x[i + 1] - x[i]) - (y[i] - y[i - 1]) / (x[i] - x[i - 1]);
    u[i] = (6.0f * u[i] / (x[i + 1] - x[i - 1]) - sig * u[i - 1]) / p;
  }
  float qn = 0.0f, un = 0.0f;
  if (!(ypn > 0.99e30f)) {
    qn = 0.5f;
    un = (3.0f / (x[n] - x[n - 1])) * (ypn - (y[n] - y[n - 1]) / (x[n] - x[n - 1]));
  }
  y2[n] = (un - qn * u[n - 1]) / (qn * y2[n - 1] + 1.0f);
  for (int k = n - 1; k >= 1; --k) y2[k] = y2[k] * y2[k + 1] + u[k];
  NR_free_vector(u, 1, n - 1);
}

void NR_splint(float xa[], float ya[], float y2a[], int n, float x, float *y) {
  int klo = 1, khi = n;
  while (khi - klo > 1) {
    int k = (khi + klo) >> 1;
    if (xa[k] > x) khi = k;
    else klo = k;
  }
  float h = xa[khi] - xa[klo];
  float a = (xa[khi] - x) / h;
  float b = (x - xa[klo]) / h;
  *y = a * ya[klo] + b * ya[khi] + ((a * a * a - a) * y2a[klo] + (b * b * b - b) * y2a[khi]) * (h * h) / 6.0f;
}

void NR_chebft(float a, float b, float c[], int n, NR_Func1Proc func) {
  if (n < 1) return;
  float *f = CheckedVector(0, n - 1);
  float bma = 0.5f * (b - a);
  float bpa = 0.5f * (b + a);
  for (int k = 0; k < n; ++k) {
    float y = float(std::cos(kPi * (k + 0.5) / n));
    f[k] = func(y * bma + bpa);
  }
  float fac = 2.0f / float(n);
  for (int j = 0; j < n; ++j) {
    double sum = 0.0;
    for (int k = 0; k < n; ++k) sum += f[k] * std::cos(kPi * j * (k + 0.5) / n);
    c[j] = float(fac * sum);
  }
  NR_free_vector(f, 0, n - 1);
}

float NR_chebev(float a, float b, float c[], int m, float x) {
  if ((x - a) * (x - b) > 0.0f) return std::numeric_limits<float>::infinity();
  float d = 0.0f, dd = 0.0f;
  float y = (2.0f * x - a - b) / (b - a);
  float y2 = 2.0f * y;
  for (int j = m - 1; j >= 1; --j) {
    float sv = d;
    d = y2 * d - dd + c[j];
    dd = sv;
  }
  return y * d - dd + 0.5f * c[0];
}

// ---- Singular value decomposition ----

void NR_svdcmp(float **a, int m, int n, float w[], float **v) {
  if (n < 1) return;
  float *rv1 = CheckedVector(1, n);
  OSStatus err = NR_svdcmpOneBased(a, m, n, w, v, rv1 + 1);
  NR_free_vector(rv1, 1, n);
  if (err == kNR_NoSVDConvergenceErr) NR_nrerror("no convergence in 30 svdcmp iterations");
}

void NR_svbksb(float **u, float w[], float **v, int m, int n, float b[], float x[]) {
  if (n < 1) return;
  float *tmp = CheckedVector(1, n);
  NR_svbksbOneBased(u, w, v, tmp + 1, m, n, b, x);
  NR_free_vector(tmp, 1, n);
}

// ---- Gamma functions and chi-square ----

float NR_gammln(float xx) {
  static const double kCof[6] = {76.18009172947146,  -86.50532032941677,    24.01409824083091,
                                 -1.231739572450155, 0.1208650973866179e-2, -0.5395239384953e-5};
  double x = xx, y = xx;
  double tmp = x + 5.5;
  tmp -= (x + 0.5) * std::log(tmp);
  double ser = 1.000000000190015;
  for (double c : kCof) ser += c / ++y;
  return float(-tmp + std::log(2.5066282746310007 * ser / x));
}

void NR_gser(float *gamser, float a, float x, float *gln) {
  *gln = NR_gammln(a);
  if (x <= 0.0f) {
    *gamser = 0.0f;
    return;
  }
  float ap = a;
  float sum = 1.0f / a;
  float del = sum;
  for (int n = 1; n <= kGammaIterations; ++n) {
    ++ap;
    del *= x / ap;
    sum += del;
    if (std::fabs(del) < std::fabs(sum) * kGammaEps) {
      *gamser = sum * std::exp(-x + a * std::log(x) - *gln);
      return;
    }
  }
}

void NR_gcf(float *gammcf, float a, float x, float *gln) {
  *gln = NR_gammln(a);
  float b = x + 1.0f - a;
  float c = 1.0f / kGammaFpMin;
  float d = 1.0f / b;
  float h = d;
  for (int i = 1; i <= kGammaIterations; ++i) {
    float an = -i * (i - a);
    b += 2.0f;
    d = an * d + b;
    if (std::fabs(d) < kGammaFpMin) d = kGammaFpMin;
    c = b + an / c;
    if (std::fabs(c) < kGammaFpMin) c = kGammaFpMin;
    d = 1.0f / d;
    float del = d * c;
    h *= del;
    if (std::fabs(del - 1.0f) < kGammaEps) break;
  }
  *gammcf = std::exp(-x + a * std::log(x) - *gln) * h;
}

float NR_gammq(float a, float x) {
  float gln;
  if (x < a + 1.0f) {
    // A series that does not converge leaves this untouched: NaN says so instead of an arbitrary value.
    float gamser = std::numeric_limits<float>::quiet_NaN();
    NR_gser(&gamser, a, x, &gln);
    return 1.0f - gamser;
  }
  float gammcf;
  NR_gcf(&gammcf, a, x, &gln);
  return gammcf;
}

void NR_chsone(float bins[], float ebins[], int nbins, int knstrn, float *df, float *chsq, float *prob) {
  *df = float(nbins - knstrn);
  *chsq = ChiSquareSum(bins, ebins, 1, nbins, [](float expected) {
    if (expected <= 0.0f) NR_nrerror("Bad expected number in chsone");
  });
  *prob = NR_gammq(0.5f * *df, 0.5f * *chsq);
}

float NR_ChiSquaredOne(const float *measuredValues, const float *expectedValues, int numBins) {
  float chsq = ChiSquareSum(measuredValues, expectedValues, 0, numBins - 1, [](float) {});
  return NR_gammq(0.5f * float(numBins - 1), 0.5f * chsq);
}

// ---- Minimisation ----

void NR_mnbrak(float *ax, float *bx, float *cx, float *fa, float *fb, float *fc, NR_Func1Proc func) {
  Mnbrak(ax, bx, cx, fa, fb, fc, func);
}

float NR_golden(float ax, float bx, float cx, NR_Func1Proc f, float tol, float *xmin) {
  float x0 = ax, x3 = cx, x1, x2;
  if (std::fabs(cx - bx) > std::fabs(bx - ax)) {  // the new point goes into the larger segment
    x1 = bx;
    x2 = bx + kGoldenC * (cx - bx);
  } else {
    x2 = bx;
    x1 = bx - kGoldenC * (bx - ax);
  }
  float f1 = f(x1);
  float f2 = f(x2);
  while (std::fabs(x3 - x0) > tol * (std::fabs(x1) + std::fabs(x2))) {
    if (f2 < f1) {
      x0 = x1;
      x1 = x2;
      x2 = kGoldenR * x1 + kGoldenC * x3;
      f1 = f2;
      f2 = f(x2);
    } else {
      x3 = x2;
      x2 = x1;
      x1 = kGoldenR * x2 + kGoldenC * x0;
      f2 = f1;
      f1 = f(x1);
    }
  }
  if (f1 < f2) {
    *xmin = x1;
    return f1;
  }
  *xmin = x2;
  return f2;
}

float NR_brent(float ax, float bx, float cx, NR_Func1Proc f, float tol, float *xmin) {
  return Brent(ax, bx, cx, f, tol, xmin);
}

float NR_f1dim(float x) {
  float *xt = CheckedVector(1, NR_ncom);
  for (int j = 1; j <= NR_ncom; ++j) xt[j] = NR_pcom[j] + x * NR_xicom[j];
  float f = NR_func1(xt);
  NR_free_vector(xt, 1, NR_ncom);
  return f;
}

void NR_linmin(float p[], float xi[], int n, float *fret, NR_FuncNProc func) {
  LineMinimise(
      p, xi, n, fret,
      [&](float *pcom, float *xicom) {
        NR_ncom = n;
        NR_pcom = pcom;
        NR_xicom = xicom;
        NR_func1 = func;
      },
      [](float *ax, float *xx, float *bx, float *fa, float *fx, float *fb) {
        NR_mnbrak(ax, xx, bx, fa, fx, fb, NR_f1dim);
      },
      [](float ax, float xx, float bx, float tol, float *xmin) { return NR_brent(ax, xx, bx, NR_f1dim, tol, xmin); });
}

void NR_powell(float p[], float **xi, int n, float ftol, int *iter, float *fret, NR_FuncNProc func) {
  float *pt = CheckedVector(1, n);
  float *ptt = CheckedVector(1, n);
  float *xit = CheckedVector(1, n);
  bool converged = Powell(p, xi, n, ftol, iter, fret, func, pt, ptt, xit, NR_linmin);
  NR_free_vector(xit, 1, n);
  NR_free_vector(ptt, 1, n);
  NR_free_vector(pt, 1, n);
  if (!converged) NR_nrerror("powell exceeding maximum iterations.");
}

float NR_F1dim(float x, NR_FuncNProc func, int n, float *pcom, float *xicom) {
  float *xt = CheckedVector(1, n);
  for (int j = 1; j <= n; ++j) xt[j] = pcom[j] + x * xicom[j];
  float f = func(xt);
  NR_free_vector(xt, 1, n);
  return f;
}

void NR_Mnbrak(float *ax, float *bx, float *cx, float *fa, float *fb, float *fc, NR_LineFuncProc f,
               NR_FuncNProc func, int n, float *pcom, float *xicom) {
  Mnbrak(ax, bx, cx, fa, fb, fc, [&](float x) { return f(x, func, n, pcom, xicom); });
}

float NR_Brent(float ax, float bx, float cx, float tol, float *xmin, NR_LineFuncProc f, NR_FuncNProc func, int n,
               float *pcom, float *xicom) {
  return Brent(ax, bx, cx, [&](float x) { return f(x, func, n, pcom, xicom); }, tol, xmin);
}

void NR_Linmin(float p[], float xi[], int n, float *fret, NR_FuncNProc func) {
  float *linePcom = nullptr;
  float *lineXicom = nullptr;
  LineMinimise(
      p, xi, n, fret,
      [&](float *pcom, float *xicom) {
        linePcom = pcom;
        lineXicom = xicom;
      },
      [&](float *ax, float *xx, float *bx, float *fa, float *fx, float *fb) {
        NR_Mnbrak(ax, xx, bx, fa, fx, fb, NR_F1dim, func, n, linePcom, lineXicom);
      },
      [&](float ax, float xx, float bx, float tol, float *xmin) {
        return NR_Brent(ax, xx, bx, tol, xmin, NR_F1dim, func, n, linePcom, lineXicom);
      });
}

void NR_Powell(float p[], float **xi, int n, float ftol, int *iter, float *fret, NR_FuncNProc func) {
  if (n < 1 || n > kPowellMaxN) return;
  float pt[kPowellMaxN + 1], ptt[kPowellMaxN + 1], xit[kPowellMaxN + 1];
  Powell(p, xi, n, ftol, iter, fret, func, pt, ptt, xit, NR_Linmin);
}

// ---- Linear programming ----

void NR_simp1(float **a, int mm, int ll[], int nll, int iabf, int *kp, float *bmax) {
  if (nll <= 0) {
    *bmax = 0.0f;
    return;
  }
  *kp = ll[1];
  *bmax = a[mm + 1][*kp + 1];
  for (int k = 2; k <= nll; ++k) {
    float candidate = a[mm + 1][ll[k] + 1];
    float test = iabf == 0 ? candidate - *bmax : std::fabs(candidate) - std::fabs(*bmax);
    if (test > 0.0f) {
      *bmax = candidate;
      *kp = ll[k];
    }
  }
}

void NR_simp2(float **a, int m, int n, int *ip, int kp) {
  *ip = 0;
  int i = 1;
  while (i <= m && !(a[i + 1][kp + 1] < -kSimplexEps)) ++i;
  if (i > m) return;  // no possible pivot
  float q1 = -a[i + 1][1] / a[i + 1][kp + 1];
  *ip = i;
  for (i = *ip + 1; i <= m; ++i) {
    if (!(a[i + 1][kp + 1] < -kSimplexEps)) continue;
    float q = -a[i + 1][1] / a[i + 1][kp + 1];
    if (q < q1) {
      *ip = i;
      q1 = q;
    } else if (q == q1) {  // degenerate: break the tie with the further columns
      float qp = 0.0f, q0 = 0.0f;
      for (int k = 1; k <= n; ++k) {
        qp = -a[*ip + 1][k + 1] / a[*ip + 1][kp + 1];
        q0 = -a[i + 1][k + 1] / a[i + 1][kp + 1];
        if (q0 != qp) break;
      }
      if (q0 < qp) *ip = i;
    }
  }
}

void NR_simp3(float **a, int i1, int k1, int ip, int kp) {
  float piv = 1.0f / a[ip + 1][kp + 1];
  for (int ii = 1; ii <= i1 + 1; ++ii) {
    if (ii - 1 == ip) continue;
    a[ii][kp + 1] *= piv;
    for (int kk = 1; kk <= k1 + 1; ++kk)
      if (kk - 1 != kp) a[ii][kk] -= a[ip + 1][kk] * a[ii][kp + 1];
  }
  for (int kk = 1; kk <= k1 + 1; ++kk)
    if (kk - 1 != kp) a[ip + 1][kk] *= -piv;
  a[ip + 1][kp + 1] = piv;
}

void NR_simplx(float **a, int m, int n, int m1, int m2, int m3, int *icase, int izrov[], int iposv[]) {
  if (m != m1 + m2 + m3) NR_nrerror("Bad input constraint counts in simplx");
  for (int i = 1; i <= m; ++i)
    if (a[i + 1][1] < 0.0f) NR_nrerror("Bad input tableau in simplx");
  int *l1 = NR_ivector(1, n + 1);  // columns still eligible to enter
  int *l3 = NR_ivector(1, m);      // ">=" constraints whose slack is still artificial
  int nl1 = n;
  for (int k = 1; k <= n; ++k) l1[k] = izrov[k] = k;
  for (int i = 1; i <= m; ++i) iposv[i] = n + i;
  int ip = 0, kp = 0;
  float bmax = 0.0f;
  bool done = false;
  if (m2 + m3 != 0) {
    // Phase one: drive the artificial variables out with the auxiliary objective in row m + 2.
    for (int i = 1; i <= m2; ++i) l3[i] = 1;
    for (int k = 1; k <= n + 1; ++k) {
      float q1 = 0.0f;
      for (int i = m1 + 1; i <= m; ++i) q1 += a[i + 1][k];
      a[m + 2][k] = -q1;
    }
    for (;;) {
      NR_simp1(a, m + 1, l1, nl1, 0, &kp, &bmax);
      bool pivotFound = false;
      if (bmax <= kSimplexEps && a[m + 2][1] < -kSimplexEps) {
        *icase = -1;  // auxiliary objective still negative: no feasible solution
        done = true;
        break;
      }
      if (bmax <= kSimplexEps && a[m + 2][1] <= kSimplexEps) {
        // Feasible; exchange artificial "=" variables still on the right-hand side.
        for (ip = m1 + m2 + 1; ip <= m; ++ip) {
          if (iposv[ip] == ip + n) {
            NR_simp1(a, ip, l1, nl1, 1, &kp, &bmax);
            if (bmax > kSimplexEps) {
              pivotFound = true;
              break;
            }
          }
        }
        if (!pivotFound) {
          for (int i = m1 + 1; i <= m1 + m2; ++i)
            if (l3[i - m1] == 1)
              for (int k = 1; k <= n + 1; ++k) a[i + 1][k] = -a[i + 1][k];
          break;  // on to phase two
        }
      }
      if (!pivotFound) {
        NR_simp2(a, m, n, &ip, kp);
        if (ip == 0) {
          *icase = -1;
          done = true;
          break;
        }
      }
      NR_simp3(a, m + 1, n, ip, kp);
      if (iposv[ip] >= n + m1 + m2 + 1) {  // an artificial "=" variable left: drop its column for good
        int k = 1;
        while (k <= nl1 && l1[k] != kp) ++k;
        --nl1;
        for (int is = k; is <= nl1; ++is) l1[is] = l1[is + 1];
      } else {
        int kh = iposv[ip] - m1 - n;
        if (kh >= 1 && l3[kh] != 0) {  // a ">=" slack left for the first time: change its sign
          l3[kh] = 0;
          ++a[m + 2][kp + 1];
          for (int i = 1; i <= m + 2; ++i) a[i][kp + 1] = -a[i][kp + 1];
        }
      }
      std::swap(izrov[kp], iposv[ip]);
    }
  }
  while (!done) {  // phase two: optimise the objective in row 1
    NR_simp1(a, 0, l1, nl1, 0, &kp, &bmax);
    if (bmax <= kSimplexEps) {
      *icase = 0;
      break;
    }
    NR_simp2(a, m, n, &ip, kp);
    if (ip == 0) {
      *icase = 1;
      break;
    }
    NR_simp3(a, m, n, ip, kp);
    std::swap(izrov[kp], iposv[ip]);
  }
  NR_free_ivector(l3, 1, m);
  NR_free_ivector(l1, 1, n + 1);
}

// ---- Fits ----

void NR_fit(float x[], float y[], int ndata, float sig[], int mwt, float *a, float *b, float *siga, float *sigb,
            float *chi2, float *q) {
  *q = 1.0f;
  if (mwt == 0) {
    UnweightedLine([x](int i) { return x[i]; }, [y](int i) { return y[i]; }, 1, ndata, a, b, siga, sigb, chi2);
    return;
  }
  float ss = 0.0f, sx = 0.0f, sy = 0.0f, st2 = 0.0f, bb = 0.0f;
  for (int i = 1; i <= ndata; ++i) {
    float wt = 1.0f / Sqr(sig[i]);
    ss += wt;
    sx += x[i] * wt;
    sy += y[i] * wt;
  }
  float sxoss = sx / ss;
  for (int i = 1; i <= ndata; ++i) {
    float t = (x[i] - sxoss) / sig[i];
    st2 += t * t;
    bb += t * y[i] / sig[i];
  }
  bb /= st2;
  *b = bb;
  *a = (sy - sx * bb) / ss;
  *siga = std::sqrt((1.0f + sx * sx / (ss * st2)) / ss);
  *sigb = std::sqrt(1.0f / st2);
  float c2 = 0.0f;
  for (int i = 1; i <= ndata; ++i) c2 += Sqr((y[i] - *a - bb * x[i]) / sig[i]);
  *chi2 = c2;
  if (ndata > 2) *q = NR_gammq(0.5f * float(ndata - 2), 0.5f * c2);
}

void NR_fitNoMWT(float x1, float dx, float y[], int ndata, float *a, float *b, float *siga, float *sigb) {
  UnweightedLine([x1, dx](int i) { return x1 + float(i - 1) * dx; }, [y](int i) { return y[i]; }, 1, ndata, a, b,
                 siga, sigb, nullptr);
}

void NR_fitPts(const float *x, const float *y, int ndata, float *a, float *b) {
  UnweightedLine([x](int i) { return x[i]; }, [y](int i) { return y[i]; }, 0, ndata - 1, a, b, nullptr, nullptr,
                 nullptr);
}

void NR_svdfit(float x[], float y[], float sig[], int ndata, float a[], int ma, float **u, float **v, float w[],
               float *chisq, NR_BasisFuncsProc funcs) {
  float *b = CheckedVector(1, ndata);
  float *afunc = CheckedVector(1, ma);
  for (int i = 1; i <= ndata; ++i) {  // the design matrix and right-hand side, each row divided by sig
    funcs(x[i], afunc, ma);
    float tmp = 1.0f / sig[i];
    for (int j = 1; j <= ma; ++j) u[i][j] = afunc[j] * tmp;
    b[i] = y[i] * tmp;
  }
  NR_svdcmp(u, ndata, ma, w, v);
  float wmax = 0.0f;
  for (int j = 1; j <= ma; ++j)
    if (w[j] > wmax) wmax = w[j];
  float thresh = kSvdfitTol * wmax;
  for (int j = 1; j <= ma; ++j)
    if (w[j] < thresh) w[j] = 0.0f;
  NR_svbksb(u, w, v, ndata, ma, b, a);
  if (chisq != nullptr) {
    *chisq = 0.0f;
    for (int i = 1; i <= ndata; ++i) {
      funcs(x[i], afunc, ma);
      float sum = 0.0f;
      for (int j = 1; j <= ma; ++j) sum += a[j] * afunc[j];
      *chisq += Sqr((y[i] - sum) / sig[i]);
    }
  }
  NR_free_vector(afunc, 1, ma);
  NR_free_vector(b, 1, ndata);
}

void NR_covsrt(float **covar, int ma, int ia[], int mfit) {
  for (int i = mfit + 1; i <= ma; ++i)
    for (int j = 1; j <= i; ++j) covar[i][j] = covar[j][i] = 0.0f;
  int k = mfit;
  for (int j = ma; j >= 1; --j) {
    if (ia[j] == 0) continue;
    for (int i = 1; i <= ma; ++i) std::swap(covar[i][k], covar[i][j]);
    for (int i = 1; i <= ma; ++i) std::swap(covar[k][i], covar[j][i]);
    --k;
  }
}

void NR_mrqcof(float x[], float y[], float sig[], int ndata, float a[], int ia[], int ma, float **alpha,
               float beta[], float *chisq, NR_ModelFuncProc funcs) {
  float *dyda = CheckedVector(1, ma);
  int mfit = 0;
  for (int j = 1; j <= ma; ++j)
    if (ia[j] != 0) ++mfit;
  for (int j = 1; j <= mfit; ++j) {
    for (int k = 1; k <= j; ++k) alpha[j][k] = 0.0f;
    beta[j] = 0.0f;
  }
  *chisq = 0.0f;
  for (int i = 1; i <= ndata; ++i) {
    float ymod;
    funcs(x[i], a, &ymod, dyda, ma);
    float sig2i = 1.0f / (sig[i] * sig[i]);
    float dy = y[i] - ymod;
    for (int j = 0, l = 1; l <= ma; ++l) {
      if (ia[l] == 0) continue;
      float wt = dyda[l] * sig2i;
      ++j;
      for (int k = 0, mm = 1; mm <= l; ++mm)
        if (ia[mm] != 0) alpha[j][++k] += wt * dyda[mm];
      beta[j] += dy * wt;
    }
    *chisq += dy * dy * sig2i;
  }
  for (int j = 2; j <= mfit; ++j)  // fill in the symmetric side
    for (int k = 1; k < j; ++k) alpha[k][j] = alpha[j][k];
  NR_free_vector(dyda, 1, ma);
}

void NR_mrqmin(float x[], float y[], float sig[], int ndata, float a[], int ia[], int ma, float **covar,
               float **alpha, float *chisq, NR_ModelFuncProc funcs, float *alamda) {
  if (*alamda < 0.0f) {
    MrqRelease();  // a fit that was never finished with alamda 0 leaves its work areas behind
    gMrq.ma = ma;
    gMrq.atry = CheckedVector(1, ma);
    gMrq.beta = CheckedVector(1, ma);
    gMrq.da = CheckedVector(1, ma);
    for (int j = 1; j <= ma; ++j)
      if (ia[j] != 0) ++gMrq.mfit;
    gMrq.oneda = NR_matrix(1, gMrq.mfit, 1, 1);
    *alamda = 0.001f;
    NR_mrqcof(x, y, sig, ndata, a, ia, ma, alpha, gMrq.beta, chisq, funcs);
    gMrq.ochisq = *chisq;
    for (int j = 1; j <= ma; ++j) gMrq.atry[j] = a[j];
    return;  // the first call only sets up: alamda stays 0.001 for the first step
  }
  if (gMrq.atry == nullptr) return;  // no fit started
  int mfit = gMrq.mfit;
  for (int j = 1; j <= mfit; ++j) {  // the augmented curvature matrix
    for (int k = 1; k <= mfit; ++k) covar[j][k] = alpha[j][k];
    covar[j][j] = alpha[j][j] * (1.0f + *alamda);
    gMrq.oneda[j][1] = gMrq.beta[j];
  }
  NR_gaussj(covar, mfit, gMrq.oneda, 1);
  for (int j = 1; j <= mfit; ++j) gMrq.da[j] = gMrq.oneda[j][1];
  if (*alamda == 0.0f) {
    NR_covsrt(covar, ma, ia, mfit);
    MrqRelease();
    return;
  }
  for (int j = 0, l = 1; l <= ma; ++l)
    if (ia[l] != 0) gMrq.atry[l] = a[l] + gMrq.da[++j];
  NR_mrqcof(x, y, sig, ndata, gMrq.atry, ia, ma, covar, gMrq.da, chisq, funcs);
  if (*chisq < gMrq.ochisq) {  // success: take the trial
    *alamda *= 0.1f;
    gMrq.ochisq = *chisq;
    for (int j = 1; j <= mfit; ++j) {
      for (int k = 1; k <= mfit; ++k) alpha[j][k] = covar[j][k];
      gMrq.beta[j] = gMrq.da[j];
    }
    for (int l = 1; l <= ma; ++l) a[l] = gMrq.atry[l];
  } else {
    *alamda *= 10.0f;
    *chisq = gMrq.ochisq;
  }
}
