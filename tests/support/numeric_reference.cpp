#include "support/numeric_reference.h"

#include <algorithm>
#include <cmath>

namespace bz_test {

std::vector<double> ReferenceSingularValues(const std::vector<double> &a, int m, int n) {
  // One-sided Jacobi on the columns: rotate pairs until all columns are mutually orthogonal; the column
  // norms are then the singular values. Work on the transpose when there are fewer rows than columns.
  int rows = m, cols = n;
  std::vector<double> u(a);
  if (m < n) {
    rows = n;
    cols = m;
    u.assign(size_t(rows) * cols, 0.0);
    for (int i = 0; i < m; ++i)
      for (int j = 0; j < n; ++j) u[size_t(j) * cols + i] = a[size_t(i) * n + j];
  }
  auto at = [&](int i, int j) -> double & { return u[size_t(i) * cols + j]; };
  for (int sweep = 0; sweep < 100; ++sweep) {
    double off = 0.0;
    for (int p = 0; p < cols - 1; ++p) {
      for (int q = p + 1; q < cols; ++q) {
        double alpha = 0, beta = 0, gamma = 0;
        for (int i = 0; i < rows; ++i) {
          alpha += at(i, p) * at(i, p);
          beta += at(i, q) * at(i, q);
          gamma += at(i, p) * at(i, q);
        }
        if (gamma == 0.0) continue;
        off = std::max(off, std::fabs(gamma) / std::sqrt(alpha * beta));
        double zeta = (beta - alpha) / (2.0 * gamma);
        double t = (zeta >= 0 ? 1.0 : -1.0) / (std::fabs(zeta) + std::sqrt(1.0 + zeta * zeta));
        double c = 1.0 / std::sqrt(1.0 + t * t), s = c * t;
        for (int i = 0; i < rows; ++i) {
          double x = at(i, p), y = at(i, q);
          at(i, p) = c * x - s * y;
          at(i, q) = s * x + c * y;
        }
      }
    }
    if (off < 1e-15) break;
  }
  std::vector<double> sv(cols);
  for (int j = 0; j < cols; ++j) {
    double s = 0;
    for (int i = 0; i < rows; ++i) s += at(i, j) * at(i, j);
    sv[j] = std::sqrt(s);
  }
  std::sort(sv.begin(), sv.end(), std::greater<double>());
  return sv;
}

std::vector<double> ReferenceLeastSquares(const std::vector<double> &a, int m, int n, const std::vector<double> &b) {
  std::vector<double> r(a), y(b);
  auto at = [&](int i, int j) -> double & { return r[size_t(i) * n + j]; };
  for (int k = 0; k < n; ++k) {
    double norm = 0;
    for (int i = k; i < m; ++i) norm += at(i, k) * at(i, k);
    norm = std::sqrt(norm);
    if (norm == 0) continue;
    double alpha = at(k, k) > 0 ? -norm : norm;
    std::vector<double> v(m, 0.0);
    for (int i = k; i < m; ++i) v[i] = at(i, k);
    v[k] -= alpha;
    double vv = 0;
    for (int i = k; i < m; ++i) vv += v[i] * v[i];
    if (vv == 0) continue;
    for (int j = k; j < n; ++j) {
      double s = 0;
      for (int i = k; i < m; ++i) s += v[i] * at(i, j);
      s = 2 * s / vv;
      for (int i = k; i < m; ++i) at(i, j) -= s * v[i];
    }
    double s = 0;
    for (int i = k; i < m; ++i) s += v[i] * y[i];
    s = 2 * s / vv;
    for (int i = k; i < m; ++i) y[i] -= s * v[i];
  }
  std::vector<double> x(n, 0.0);
  for (int i = n - 1; i >= 0; --i) {
    double s = y[i];
    for (int j = i + 1; j < n; ++j) s -= at(i, j) * x[j];
    x[i] = s / at(i, i);
  }
  return x;
}

std::vector<double> ReferencePolyFit(const std::vector<double> &x, const std::vector<double> &y, int numCoeffs) {
  int m = int(x.size());
  std::vector<double> a(size_t(m) * numCoeffs);
  for (int i = 0; i < m; ++i) {
    double p = 1.0;
    for (int j = 0; j < numCoeffs; ++j) {
      a[size_t(i) * numCoeffs + j] = p;
      p *= x[i];
    }
  }
  return ReferenceLeastSquares(a, m, numCoeffs, y);
}

double ReferenceLagrangeWeight(const std::vector<double> &xa, int k, double x) {
  double w = 1.0;
  for (int j = 0; j < int(xa.size()); ++j) {
    if (j != k) w *= (x - xa[j]) / (xa[k] - xa[j]);
  }
  return w;
}

double ReferencePolyValue(const std::vector<double> &c, double x) {
  double v = 0.0;
  for (int k = int(c.size()) - 1; k >= 0; --k) v = v * x + c[k];
  return v;
}

}  // namespace bz_test
