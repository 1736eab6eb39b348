// Double-precision reference computations for tests of the single-precision numerical routines.
// They are written independently of the code under test (different algorithms where possible), so that a
// fault shared by our own paths still shows.
#pragma once

#include <vector>

namespace bz_test {

// Singular values of the row-major m x n matrix a (one-sided Jacobi), sorted descending.
std::vector<double> ReferenceSingularValues(const std::vector<double> &a, int m, int n);

// Least-squares solution of the row-major m x n system a * x = b (m >= n, full column rank) by Householder QR.
std::vector<double> ReferenceLeastSquares(const std::vector<double> &a, int m, int n, const std::vector<double> &b);

// Coefficients c[0..numCoeffs-1] (of x^0..) of the least-squares polynomial through (x[i], y[i]).
std::vector<double> ReferencePolyFit(const std::vector<double> &x, const std::vector<double> &y, int numCoeffs);

// Value at x of the Lagrange basis polynomial of node k over the abscissas xa.
double ReferenceLagrangeWeight(const std::vector<double> &xa, int k, double x);

// Evaluates the polynomial with coefficients c (of x^0..) at x.
double ReferencePolyValue(const std::vector<double> &c, double x);

}  // namespace bz_test
