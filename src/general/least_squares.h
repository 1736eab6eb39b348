// Linear-algebra core of the numerical routines, in single precision: singular value decomposition and its
// back-substitution in three matrix layouts, Gauss-Jordan elimination, Neville interpolation and the
// coefficients of an interpolating polynomial. Nothing here keeps state or allocates; every routine may run
// on any thread.
//
// Layouts of an m x n matrix (m rows, n columns):
//   flat          one block of m*n floats, row after row, 0-based            m <= 32, n <= 32
//   row pointers  m pointers to rows of n floats, 0-based                    n <= 32
//   fixed rows    rows of 4 floats (5 for NR_svbksbSPL5), used from row 1 and column 1; row 0 and
//                 column 0 are never touched, so the array must hold rows 0..m    n <= 3 (5-wide: n <= 4)
// A decomposition A = U * diag(w) * V^T overwrites A with U, writes the n singular values (not negative,
// not sorted) into w and V (not its transpose) into v, in the layout and indexing of A.
#pragma once

#include "platform/core/mac_types.h"

// Error numbers of the numerical range.
enum : OSStatus {
  kNR_NoSVDConvergenceErr = 23001,  // a singular value did not converge within 30 passes
  kNR_NoClearExtrErr = 23002,       // flat fit or extremum outside the sampled range
  kNR_SingMatrixErr = 23003,        // singular matrix
};

// Largest sizes of the fixed work arrays.
enum : SInt32 {
  kNR_MaxSVDSize = 32,     // rows and columns of the flat layout, columns of the row-pointer layout
  kNR_MaxInterpPoints = 8  // points of NR_polintEq and NR_polintNV
};

// sqrt(a^2 + b^2) without overflow or destructive underflow of the squares.
float NR_pythag(float a, float b);

// SVD of the flat m x n matrix aMatrix; vMatrix receives n x n floats, w n floats.
// 0, kNR_NoSVDConvergenceErr (the arrays are then partly transformed and must not be used), or paramErr
// for a NULL array or sizes outside 1..32 (nothing written).
OSStatus NR_svdcmpSPL(float *aMatrix, SInt32 m, SInt32 n, float *w, float *vMatrix);
// SVD of the m x n matrix given as m row pointers; v holds n row pointers of n floats. Results as
// NR_svdcmpSPL; n is limited to 32, m only by the caller's rows.
OSStatus NR_svdcmpSPLnew(float *const *a, SInt32 m, SInt32 n, float *w, float *const *v);
// SVD in the 1-based fixed-row layout: a holds rows 0..m of 4 floats, w holds n + 1 floats, v rows 0..n.
// Results as NR_svdcmpSPL; n is limited to 3.
OSStatus NR_svdcmpSPL4(float (*a)[4], SInt32 m, SInt32 n, float *w, float (*v)[4]);

// SVD in the classic 1-based layout: a[1..m][1..n] and v[1..n][1..n] as row pointers, w[1..n]; rv1 is the
// caller's work vector of n floats (0-based). No size limit. 0, kNR_NoSVDConvergenceErr or paramErr.
OSStatus NR_svdcmpOneBased(float *const *a, SInt32 m, SInt32 n, float *w, float *const *v, float *rv1);

// Back-substitution: x (n entries) = V * diag(1/w) * U^T * b (m entries); a zero singular value drops its
// direction, giving the minimum-norm least-squares solution. u, w, v and b are only read. Sizes outside
// the layout's limits leave x untouched.
void NR_svbksbSPL(const float *uMatrix, const float *w, const float *vMatrix, SInt32 m, SInt32 n, const float *b,
                  float *x);
// The same with row pointers; tmp is the caller's scratch of n floats.
void NR_svbksbSPLnew(const float *const *u, const float *w, const float *const *v, float *tmp, SInt32 m, SInt32 n,
                     const float *b, float *x);
// The same in the classic 1-based layout (u[1..m][1..n], v[1..n][1..n], w, b and x 1-based); tmp is the
// caller's scratch of n floats (0-based).
void NR_svbksbOneBased(const float *const *u, const float *w, const float *const *v, float *tmp, SInt32 m,
                       SInt32 n, const float *b, float *x);
// The same in the 1-based fixed-row layout (b and x 1-based, n <= 3).
void NR_svbksbSPL4(const float (*u)[4], const float *w, const float (*v)[4], SInt32 m, SInt32 n, const float *b,
                   float *x);
// The same with rows of five floats (n <= 4).
void NR_svbksbSPL5(const float (*u)[5], const float *w, const float (*v)[5], SInt32 m, SInt32 n, const float *b,
                   float *x);

// Gauss-Jordan elimination with full pivoting, 1-based: a (n x n row pointers) is replaced by its inverse
// and b (n x m row pointers) by the solutions; indxc, indxr and ipiv are the caller's work vectors of n + 1
// ints. 0, kNR_SingMatrixErr (a and b then partly transformed) or paramErr for NULL arrays or n < 1.
OSStatus NR_gaussjSPL(float *const *a, SInt32 n, float *const *b, SInt32 m, int *indxc, int *indxr, int *ipiv);

// Crout's LU decomposition with implicit partial pivoting, in place and 1-based: a[1..n][1..n] as row
// pointers becomes its LU factors, indx[1..n] the row permutation, *d +1 or -1 for an even or odd number of
// interchanges; vv is the caller's scratch of n + 1 floats. The decomposition always completes: a zero pivot
// is replaced by 1e-20, and a row of zeros (also reported in *zeroRow when given) leaves an infinite scale.
// 0, or kNR_SingMatrixErr after a zero row or pivot.
OSStatus NR_ludcmpRows(float *const *a, SInt32 n, SInt32 *indx, float *d, float *vv, Boolean *zeroRow);
// Solves with the factors of NR_ludcmpRows: b[1..n] becomes the solution (leading zeros of b are skipped).
void NR_lubksbRows(const float *const *a, SInt32 n, const SInt32 *indx, float *b);

// Value at x of the polynomial through the n points (x0 + i*dx, ya[i]), i = 0..n-1 (Neville's algorithm).
// n from 1 to 8; any other n gives NaN. A zero dx gives an undefined result.
float NR_polintEq(float x0, float dx, const float *ya, SInt32 n, float x);
// Value at x of the polynomial through (xa[i], ya[i]), i = 0..n-1; n from 1 to 8 (else NaN); the abscissas
// must be distinct (coinciding ones give NaN).
float NR_polintNV(const float *xa, const float *ya, SInt32 n, float x);
// The same for any n >= 1 with the caller's scratch c and d of n floats each; *dy (when given) receives the
// last correction, an estimate of the error. Coinciding abscissas give NaN (*dy then unwritten).
float NR_polintScratch(const float *xa, const float *ya, SInt32 n, float x, float *c, float *d, float *dy);
// cof[0..n] = coefficients of x^0..x^n of the polynomial through (i, y[i]), i = 0..n; n from 0 to 7
// (any other n leaves cof untouched).
void NR_polcoeSPL(const float *y, SInt32 n, float *cof);
