// Singular value decomposition (Golub-Reinsch), back-substitution, Gauss-Jordan elimination and
// polynomial interpolation in single precision.
//
// The three matrix layouts share one implementation: the algorithms are written once over small accessor
// records that map 0-based (row, column) onto the caller's storage, so all layouts give the same results
// for the same matrix. Arithmetic is float throughout; square roots are taken in double and stored as
// floats, as are the few products that the fits form in double.
#include "general/least_squares.h"

#include "platform/core/mac_errors.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// ---- accessors --------------------------------------------------------------------------------------

template <typename T>
struct FlatMatrix {
  T *p;
  SInt32 cols;
  T &operator()(SInt32 i, SInt32 j) const { return p[i * cols + j]; }
};

template <typename T>
struct RowPtrMatrix {
  T *const *p;
  T &operator()(SInt32 i, SInt32 j) const { return p[i][j]; }
};

// 1-based row pointers of any length: (0, 0) is the caller's [1][1].
template <typename T>
struct OneBasedRows {
  T *const *p;
  T &operator()(SInt32 i, SInt32 j) const { return p[i + 1][j + 1]; }
};

// 1-based rows of W floats: (0, 0) is the caller's [1][1].
template <typename T, int W>
struct FixedRowMatrix {
  T (*p)[W];
  T &operator()(SInt32 i, SInt32 j) const { return p[i + 1][j + 1]; }
};

template <typename T>
struct Vector0 {
  T *p;
  T &operator[](SInt32 i) const { return p[i]; }
};

template <typename T>
struct Vector1 {
  T *p;
  T &operator[](SInt32 i) const { return p[i + 1]; }
};

inline float Sign(float a, float b) { return b >= 0.0f ? std::fabs(a) : -std::fabs(a); }

inline float SqrtD(float s) { return float(std::sqrt(double(s))); }

// ---- decomposition ----------------------------------------------------------------------------------

// rv1 is the work vector of n floats (the superdiagonal).
template <typename A, typename W, typename V>
OSStatus Svdcmp(A a, SInt32 m, SInt32 n, W w, V v, float *rv1) {
  float g = 0.0f, scale = 0.0f, anorm = 0.0f;
  float s, f, h, c, x, y, z;
  SInt32 l = 0, nm = 0;

  // Householder reduction to bidiagonal form.
  for (SInt32 i = 0; i < n; ++i) {
    l = i + 1;
    rv1[i] = scale * g;
    g = s = scale = 0.0f;
    if (i < m) {
      for (SInt32 k = i; k < m; ++k) scale += std::fabs(a(k, i));
      if (scale != 0.0f) {
        for (SInt32 k = i; k < m; ++k) {
          a(k, i) /= scale;
          s += a(k, i) * a(k, i);
        }
        f = a(i, i);
        g = -Sign(SqrtD(s), f);
        h = f * g - s;
        a(i, i) = f - g;
        for (SInt32 j = l; j < n; ++j) {
          s = 0.0f;
          for (SInt32 k = i; k < m; ++k) s += a(k, i) * a(k, j);
          f = s / h;
          for (SInt32 k = i; k < m; ++k) a(k, j) += f * a(k, i);
        }
        for (SInt32 k = i; k < m; ++k) a(k, i) *= scale;
      }
    }
    w[i] = scale * g;
    g = s = scale = 0.0f;
    if (i < m && i != n - 1) {
      for (SInt32 k = l; k < n; ++k) scale += std::fabs(a(i, k));
      if (scale != 0.0f) {
        for (SInt32 k = l; k < n; ++k) {
          a(i, k) /= scale;
          s += a(i, k) * a(i, k);
        }
        f = a(i, l);
        g = -Sign(SqrtD(s), f);
        h = f * g - s;
        a(i, l) = f - g;
        for (SInt32 k = l; k < n; ++k) rv1[k] = a(i, k) / h;
        for (SInt32 j = l; j < m; ++j) {
          s = 0.0f;
          for (SInt32 k = l; k < n; ++k) s += a(j, k) * a(i, k);
          for (SInt32 k = l; k < n; ++k) a(j, k) += s * rv1[k];
        }
        for (SInt32 k = l; k < n; ++k) a(i, k) *= scale;
      }
    }
    float t = std::fabs(w[i]) + std::fabs(rv1[i]);
    if (t > anorm) anorm = t;
  }

  // Accumulation of the right-hand transformations.
  for (SInt32 i = n - 1; i >= 0; --i) {
    if (i < n - 1) {
      if (g != 0.0f) {
        // Two divisions avoid a possible underflow.
        for (SInt32 j = l; j < n; ++j) v(j, i) = (a(i, j) / a(i, l)) / g;
        for (SInt32 j = l; j < n; ++j) {
          s = 0.0f;
          for (SInt32 k = l; k < n; ++k) s += a(i, k) * v(k, j);
          for (SInt32 k = l; k < n; ++k) v(k, j) += s * v(k, i);
        }
      }
      for (SInt32 j = l; j < n; ++j) v(i, j) = v(j, i) = 0.0f;
    }
    v(i, i) = 1.0f;
    g = rv1[i];
    l = i;
  }

  // Accumulation of the left-hand transformations.
  for (SInt32 i = (m < n ? m : n) - 1; i >= 0; --i) {
    l = i + 1;
    g = w[i];
    for (SInt32 j = l; j < n; ++j) a(i, j) = 0.0f;
    if (g != 0.0f) {
      g = 1.0f / g;
      for (SInt32 j = l; j < n; ++j) {
        s = 0.0f;
        for (SInt32 k = l; k < m; ++k) s += a(k, i) * a(k, j);
        f = (s / a(i, i)) * g;
        for (SInt32 k = i; k < m; ++k) a(k, j) += f * a(k, i);
      }
      for (SInt32 k = i; k < m; ++k) a(k, i) *= g;
    } else {
      for (SInt32 k = i; k < m; ++k) a(k, i) = 0.0f;
    }
    a(i, i) += 1.0f;
  }

  // Diagonalisation of the bidiagonal form.
  for (SInt32 k = n - 1; k >= 0; --k) {
    for (int its = 1; its <= 30; ++its) {
      bool cancel = true;
      for (l = k; l >= 0; --l) {
        nm = l - 1;
        // rv1[0] is always 0, so this test stops the walk at the first column; l == 0 keeps it there
        // also when NaN input made anorm NaN.
        if (l == 0 || float(std::fabs(rv1[l]) + anorm) == anorm) {
          cancel = false;
          break;
        }
        if (float(std::fabs(w[nm]) + anorm) == anorm) break;
      }
      if (cancel) {
        c = 0.0f;
        s = 1.0f;
        for (SInt32 i = l; i <= k; ++i) {
          f = s * rv1[i];
          rv1[i] = c * rv1[i];
          if (float(std::fabs(f) + anorm) == anorm) break;
          g = w[i];
          h = NR_pythag(f, g);
          w[i] = h;
          h = 1.0f / h;
          c = g * h;
          s = -f * h;
          for (SInt32 j = 0; j < m; ++j) {
            y = a(j, nm);
            z = a(j, i);
            a(j, nm) = y * c + z * s;
            a(j, i) = z * c - y * s;
          }
        }
      }
      z = w[k];
      if (l == k) {
        if (z < 0.0f) {
          w[k] = -z;
          for (SInt32 j = 0; j < n; ++j) v(j, k) = -v(j, k);
        }
        break;
      }
      if (its == 30) return kNR_NoSVDConvergenceErr;
      // Shift from the bottom 2 x 2 minor.
      x = w[l];
      nm = k - 1;
      y = w[nm];
      g = rv1[nm];
      h = rv1[k];
      f = ((y - z) * (y + z) + (g - h) * (g + h)) / (2.0f * h * y);
      g = NR_pythag(f, 1.0f);
      f = ((x - z) * (x + z) + h * ((y / (f + Sign(g, f))) - h)) / x;
      // Next QR transformation.
      c = s = 1.0f;
      for (SInt32 j = l; j <= nm; ++j) {
        SInt32 i = j + 1;
        g = rv1[i];
        y = w[i];
        h = s * g;
        g = c * g;
        z = NR_pythag(f, h);
        rv1[j] = z;
        c = f / z;
        s = h / z;
        f = x * c + g * s;
        g = g * c - x * s;
        h = y * s;
        y *= c;
        for (SInt32 jj = 0; jj < n; ++jj) {
          x = v(jj, j);
          z = v(jj, i);
          v(jj, j) = x * c + z * s;
          v(jj, i) = z * c - x * s;
        }
        z = NR_pythag(f, h);
        w[j] = z;
        // A rotation of norm 0 keeps the previous cosine and sine.
        if (z != 0.0f) {
          z = 1.0f / z;
          c = f * z;
          s = h * z;
        }
        f = c * g + s * y;
        x = c * y - s * g;
        for (SInt32 jj = 0; jj < m; ++jj) {
          y = a(jj, j);
          z = a(jj, i);
          a(jj, j) = y * c + z * s;
          a(jj, i) = z * c - y * s;
        }
      }
      rv1[l] = 0.0f;
      rv1[k] = f;
      w[k] = x;
    }
  }
  return noErr;
}

template <typename U, typename W, typename V, typename B, typename X, typename T>
void Svbksb(U u, W w, V v, SInt32 m, SInt32 n, B b, X x, T tmp) {
  for (SInt32 j = 0; j < n; ++j) {
    float s = 0.0f;
    if (w[j] != 0.0f) {
      for (SInt32 i = 0; i < m; ++i) s += u(i, j) * b[i];
      s /= w[j];
    }
    tmp[j] = s;
  }
  for (SInt32 j = 0; j < n; ++j) {
    float s = 0.0f;
    for (SInt32 jj = 0; jj < n; ++jj) s += v(j, jj) * tmp[jj];
    x[j] = s;
  }
}

// Neville's algorithm; xa holds the n abscissas, den(ho, hp, m) the difference xa[i] - xa[i + m]; c and d are
// scratch of n floats. *dy (when given) receives the last correction. A zero difference gives NaN.
template <typename Den>
float Neville(const float *xa, const float *ya, SInt32 n, float x, Den den, float *c, float *d, float *dy) {
  SInt32 ns = 0;
  float dif = std::fabs(x - xa[0]);
  for (SInt32 i = 0; i < n; ++i) {
    float dift = std::fabs(x - xa[i]);
    if (dift < dif) {
      ns = i;
      dif = dift;
    }
    c[i] = ya[i];
    d[i] = ya[i];
  }
  float y = ya[ns--];
  float correction = 0.0f;
  for (SInt32 m = 1; m < n; ++m) {
    for (SInt32 i = 0; i < n - m; ++i) {
      float ho = xa[i] - x;
      float hp = xa[i + m] - x;
      float w = c[i + 1] - d[i];
      float h = den(ho, hp, m);
      if (h == 0.0f) return std::numeric_limits<float>::quiet_NaN();
      float q = w / h;
      d[i] = hp * q;
      c[i] = ho * q;
    }
    correction = (2 * (ns + 1) < (n - m)) ? c[ns + 1] : d[ns--];
    y += correction;
  }
  if (dy != nullptr) *dy = correction;
  return y;
}

}  // namespace

float NR_pythag(float a, float b) {
  float absa = std::fabs(a);
  float absb = std::fabs(b);
  if (absa > absb) {
    float r = absb / absa;
    return float(double(absa) * std::sqrt(1.0 + double(r * r)));
  }
  if (absb == 0.0f) return 0.0f;
  float r = absa / absb;
  return float(double(absb) * std::sqrt(1.0 + double(r * r)));
}

OSStatus NR_svdcmpSPL(float *aMatrix, SInt32 m, SInt32 n, float *w, float *vMatrix) {
  if (aMatrix == nullptr || w == nullptr || vMatrix == nullptr) return paramErr;
  if (m < 1 || n < 1 || m > kNR_MaxSVDSize || n > kNR_MaxSVDSize) return paramErr;
  float rv1[kNR_MaxSVDSize];
  return Svdcmp(FlatMatrix<float>{aMatrix, n}, m, n, Vector0<float>{w}, FlatMatrix<float>{vMatrix, n}, rv1);
}

OSStatus NR_svdcmpSPLnew(float *const *a, SInt32 m, SInt32 n, float *w, float *const *v) {
  if (a == nullptr || w == nullptr || v == nullptr) return paramErr;
  if (m < 1 || n < 1 || n > kNR_MaxSVDSize) return paramErr;
  float rv1[kNR_MaxSVDSize];
  return Svdcmp(RowPtrMatrix<float>{a}, m, n, Vector0<float>{w}, RowPtrMatrix<float>{v}, rv1);
}

OSStatus NR_svdcmpSPL4(float (*a)[4], SInt32 m, SInt32 n, float *w, float (*v)[4]) {
  if (a == nullptr || w == nullptr || v == nullptr) return paramErr;
  if (m < 1 || n < 1 || n > 3) return paramErr;
  float rv1[kNR_MaxSVDSize];
  return Svdcmp(FixedRowMatrix<float, 4>{a}, m, n, Vector1<float>{w}, FixedRowMatrix<float, 4>{v}, rv1);
}

OSStatus NR_svdcmpOneBased(float *const *a, SInt32 m, SInt32 n, float *w, float *const *v, float *rv1) {
  if (a == nullptr || w == nullptr || v == nullptr || rv1 == nullptr) return paramErr;
  if (m < 1 || n < 1) return paramErr;
  return Svdcmp(OneBasedRows<float>{a}, m, n, Vector1<float>{w}, OneBasedRows<float>{v}, rv1);
}

void NR_svbksbSPL(const float *uMatrix, const float *w, const float *vMatrix, SInt32 m, SInt32 n, const float *b,
                  float *x) {
  if (uMatrix == nullptr || w == nullptr || vMatrix == nullptr || b == nullptr || x == nullptr) return;
  if (m < 1 || n < 1 || m > kNR_MaxSVDSize || n > kNR_MaxSVDSize) return;
  float tmp[kNR_MaxSVDSize];
  Svbksb(FlatMatrix<const float>{uMatrix, n}, Vector0<const float>{w}, FlatMatrix<const float>{vMatrix, n}, m, n,
         Vector0<const float>{b}, Vector0<float>{x}, Vector0<float>{tmp});
}

void NR_svbksbSPLnew(const float *const *u, const float *w, const float *const *v, float *tmp, SInt32 m, SInt32 n,
                     const float *b, float *x) {
  if (u == nullptr || w == nullptr || v == nullptr || tmp == nullptr || b == nullptr || x == nullptr) return;
  if (m < 1 || n < 1) return;
  Svbksb(RowPtrMatrix<const float>{u}, Vector0<const float>{w}, RowPtrMatrix<const float>{v}, m, n,
         Vector0<const float>{b}, Vector0<float>{x}, Vector0<float>{tmp});
}

void NR_svbksbOneBased(const float *const *u, const float *w, const float *const *v, float *tmp, SInt32 m,
                       SInt32 n, const float *b, float *x) {
  if (u == nullptr || w == nullptr || v == nullptr || tmp == nullptr || b == nullptr || x == nullptr) return;
  if (m < 1 || n < 1) return;
  Svbksb(OneBasedRows<const float>{u}, Vector1<const float>{w}, OneBasedRows<const float>{v}, m, n,
         Vector1<const float>{b}, Vector1<float>{x}, Vector0<float>{tmp});
}

void NR_svbksbSPL4(const float (*u)[4], const float *w, const float (*v)[4], SInt32 m, SInt32 n, const float *b,
                   float *x) {
  if (u == nullptr || w == nullptr || v == nullptr || b == nullptr || x == nullptr) return;
  if (m < 1 || n < 1 || n > 3) return;
  float tmp[4];
  Svbksb(FixedRowMatrix<const float, 4>{u}, Vector1<const float>{w}, FixedRowMatrix<const float, 4>{v}, m, n,
         Vector1<const float>{b}, Vector1<float>{x}, Vector0<float>{tmp});
}

void NR_svbksbSPL5(const float (*u)[5], const float *w, const float (*v)[5], SInt32 m, SInt32 n, const float *b,
                   float *x) {
  if (u == nullptr || w == nullptr || v == nullptr || b == nullptr || x == nullptr) return;
  if (m < 1 || n < 1 || n > 4) return;
  float tmp[4];
  Svbksb(FixedRowMatrix<const float, 5>{u}, Vector1<const float>{w}, FixedRowMatrix<const float, 5>{v}, m, n,
         Vector1<const float>{b}, Vector1<float>{x}, Vector0<float>{tmp});
}

OSStatus NR_gaussjSPL(float *const *a, SInt32 n, float *const *b, SInt32 m, int *indxc, int *indxr, int *ipiv) {
  if (a == nullptr || indxc == nullptr || indxr == nullptr || ipiv == nullptr || n < 1) return paramErr;
  if (m > 0 && b == nullptr) return paramErr;
  for (SInt32 j = 1; j <= n; ++j) ipiv[j] = 0;
  for (SInt32 i = 1; i <= n; ++i) {
    float big = 0.0f;
    SInt32 irow = 0, icol = 0;
    for (SInt32 j = 1; j <= n; ++j) {
      if (ipiv[j] == 1) continue;
      for (SInt32 k = 1; k <= n; ++k) {
        if (ipiv[k] == 0) {
          // Ties go to the later element.
          if (std::fabs(a[j][k]) >= big) {
            big = std::fabs(a[j][k]);
            irow = j;
            icol = k;
          }
        } else if (ipiv[k] > 1) {
          return kNR_SingMatrixErr;
        }
      }
    }
    // Only NaN entries are left: no pivot can be chosen.
    if (irow == 0) return kNR_SingMatrixErr;
    ++ipiv[icol];
    if (irow != icol) {
      for (SInt32 l = 1; l <= n; ++l) std::swap(a[irow][l], a[icol][l]);
      for (SInt32 l = 1; l <= m; ++l) std::swap(b[irow][l], b[icol][l]);
    }
    indxr[i] = irow;
    indxc[i] = icol;
    if (a[icol][icol] == 0.0f) return kNR_SingMatrixErr;
    float pivinv = 1.0f / a[icol][icol];
    a[icol][icol] = 1.0f;
    for (SInt32 l = 1; l <= n; ++l) a[icol][l] *= pivinv;
    for (SInt32 l = 1; l <= m; ++l) b[icol][l] *= pivinv;
    for (SInt32 ll = 1; ll <= n; ++ll) {
      if (ll == icol) continue;
      float dum = a[ll][icol];
      a[ll][icol] = 0.0f;
      for (SInt32 l = 1; l <= n; ++l) a[ll][l] -= a[icol][l] * dum;
      for (SInt32 l = 1; l <= m; ++l) b[ll][l] -= b[icol][l] * dum;
    }
  }
  for (SInt32 l = n; l >= 1; --l) {
    if (indxr[l] != indxc[l]) {
      for (SInt32 k = 1; k <= n; ++k) std::swap(a[k][indxr[l]], a[k][indxc[l]]);
    }
  }
  return noErr;
}

OSStatus NR_ludcmpRows(float *const *a, SInt32 n, SInt32 *indx, float *d, float *vv, Boolean *zeroRow) {
  OSStatus result = noErr;
  if (zeroRow != nullptr) *zeroRow = false;
  *d = 1.0f;
  for (SInt32 i = 1; i <= n; ++i) {  // the implicit scale of each row
    float big = 0.0f;
    for (SInt32 j = 1; j <= n; ++j) big = std::max(big, std::fabs(a[i][j]));
    if (big == 0.0f) {
      result = kNR_SingMatrixErr;
      if (zeroRow != nullptr) *zeroRow = true;
    }
    vv[i] = 1.0f / big;
  }
  for (SInt32 j = 1; j <= n; ++j) {
    for (SInt32 i = 1; i < j; ++i) {
      float sum = a[i][j];
      for (SInt32 k = 1; k < i; ++k) sum -= a[i][k] * a[k][j];
      a[i][j] = sum;
    }
    float big = 0.0f;
    SInt32 imax = j;
    for (SInt32 i = j; i <= n; ++i) {
      float sum = a[i][j];
      for (SInt32 k = 1; k < j; ++k) sum -= a[i][k] * a[k][j];
      a[i][j] = sum;
      // Ties go to the later row.
      float dum = vv[i] * std::fabs(sum);
      if (dum >= big) {
        big = dum;
        imax = i;
      }
    }
    if (j != imax) {
      for (SInt32 k = 1; k <= n; ++k) std::swap(a[imax][k], a[j][k]);
      *d = -*d;
      vv[imax] = vv[j];
    }
    indx[j] = imax;
    if (a[j][j] == 0.0f) {
      a[j][j] = 1e-20f;
      result = kNR_SingMatrixErr;
    }
    if (j != n) {
      float dum = 1.0f / a[j][j];
      for (SInt32 i = j + 1; i <= n; ++i) a[i][j] *= dum;
    }
  }
  return result;
}

void NR_lubksbRows(const float *const *a, SInt32 n, const SInt32 *indx, float *b) {
  SInt32 ii = 0;  // the first non-zero entry of b, once found
  for (SInt32 i = 1; i <= n; ++i) {
    SInt32 ip = indx[i];
    float sum = b[ip];
    b[ip] = b[i];
    if (ii != 0) {
      for (SInt32 j = ii; j <= i - 1; ++j) sum -= a[i][j] * b[j];
    } else if (sum != 0.0f) {
      ii = i;
    }
    b[i] = sum;
  }
  for (SInt32 i = n; i >= 1; --i) {
    float sum = b[i];
    for (SInt32 j = i + 1; j <= n; ++j) sum -= a[i][j] * b[j];
    b[i] = sum / a[i][i];
  }
}

float NR_polintEq(float x0, float dx, const float *ya, SInt32 n, float x) {
  if (ya == nullptr || n < 1 || n > kNR_MaxInterpPoints) return std::numeric_limits<float>::quiet_NaN();
  float xa[kNR_MaxInterpPoints];
  xa[0] = x0;
  for (SInt32 i = 1; i < n; ++i) xa[i] = float(i) * dx + x0;
  // The abscissa difference xa[i] - xa[i + m] is -m*dx exactly as the grid defines it.
  float c[kNR_MaxInterpPoints], d[kNR_MaxInterpPoints];
  return Neville(xa, ya, n, x, [dx](float, float, SInt32 m) { return float(-m) * dx; }, c, d, nullptr);
}

float NR_polintNV(const float *xa, const float *ya, SInt32 n, float x) {
  if (xa == nullptr || ya == nullptr || n < 1 || n > kNR_MaxInterpPoints)
    return std::numeric_limits<float>::quiet_NaN();
  float c[kNR_MaxInterpPoints], d[kNR_MaxInterpPoints];
  return NR_polintScratch(xa, ya, n, x, c, d, nullptr);
}

float NR_polintScratch(const float *xa, const float *ya, SInt32 n, float x, float *c, float *d, float *dy) {
  if (xa == nullptr || ya == nullptr || c == nullptr || d == nullptr || n < 1)
    return std::numeric_limits<float>::quiet_NaN();
  return Neville(xa, ya, n, x, [](float ho, float hp, SInt32) { return ho - hp; }, c, d, dy);
}

void NR_polcoeSPL(const float *y, SInt32 n, float *cof) {
  if (y == nullptr || cof == nullptr || n < 0 || n > 7) return;
  float s[8];
  for (SInt32 i = 0; i <= n; ++i) s[i] = cof[i] = 0.0f;
  // Master polynomial prod (x - i) over the abscissas 0..n; the first abscissa 0 leaves s[n] at 0.
  for (SInt32 i = 1; i <= n; ++i) {
    for (SInt32 j = n - i; j <= n - 1; ++j) s[j] -= float(i) * s[j + 1];
    s[n] -= float(i);
  }
  for (SInt32 j = 0; j <= n; ++j) {
    float phi = float(n + 1);
    for (SInt32 k = n; k >= 1; --k) phi = float(k) * s[k] + float(j) * phi;
    float ff = y[j] / phi;
    float bb = 1.0f;
    for (SInt32 k = n; k >= 0; --k) {
      cof[k] += bb * ff;
      bb = s[k] + float(j) * bb;
    }
  }
}
