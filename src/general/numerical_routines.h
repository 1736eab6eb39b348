// The classic single-precision numerical routines: vectors and matrices addressed with the caller's index
// ranges, linear equations, interpolation, splines, Chebyshev approximation, the incomplete gamma
// function, one- and multi-dimensional minimisation, linear programming and least-squares fits, with a few
// re-entrant variants beside them. Nothing in the application calls them; they are offered for tools and
// tests.
//
// Conventions of the family:
// - Arrays are 1-based unless a routine says otherwise: v[nl..nh] and m[nrl..nrh][ncl..nch] are addressed
//   with the caller's index ranges. NR_vector, NR_ivector and NR_matrix allocate them (zeroed) with one
//   spare element in front; free them with the NR_free_ routine of the same ranges.
// - Arithmetic is float; double precision only where a routine says so.
// - Fatal errors end the program: NR_nrerror writes three lines to standard error and exits with status 1.
//   Every routine that stops does so through it, with its own message (quoted in the comments below).
// - NR_linmin / NR_f1dim (and NR_powell through them) share library-wide variables, and NR_mrqmin keeps its
//   work areas between calls: none of them may run on two threads at once. NR_Powell, NR_Linmin,
//   NR_Mnbrak, NR_Brent and NR_F1dim pass that context as arguments and are re-entrant; every other
//   routine keeps no state.
#pragma once

#include "general/least_squares.h"
#include "platform/core/mac_types.h"

// A function of one float (minimisation, Chebyshev sampling).
typedef float (*NR_Func1Proc)(float x);
// A function of a 1-based float vector p[1..n].
typedef float (*NR_FuncNProc)(float p[]);
// The value along a line of a function of n variables, the line passed explicitly:
// func(pcom + x * xicom), pcom and xicom 1-based.
typedef float (*NR_LineFuncProc)(float x, NR_FuncNProc func, int n, float *pcom, float *xicom);
// Basis functions of a linear fit: afunc[1..ma] = the ma functions at x.
typedef void (*NR_BasisFuncsProc)(float x, float afunc[], int ma);
// A model of a nonlinear fit: *y = the model at x with parameters a[1..na], dyda[1..na] its derivatives.
typedef void (*NR_ModelFuncProc)(float x, float a[], float *y, float dyda[], int na);

// ---- Fatal errors and allocation ---------------------------------------------------------------------------

// Writes "Numerical Recipes run-time error...", the text and "...now exiting to system..." (one line each)
// to standard error and ends the program with exit status 1.
[[noreturn]] void NR_nrerror(const char *error_text);

// Owned float vector v[nl..nh] (zeroed): NR_free_vector with the same range. NULL when it cannot be
// allocated (or nh < nl - 1); the routines here test that and stop with "allocation failure in vector()".
float *NR_vector(SInt32 nl, SInt32 nh);
// Owned int vector v[nl..nh]: NR_free_ivector. Stops with "allocation failure in ivector()".
int *NR_ivector(SInt32 nl, SInt32 nh);
// Owned float matrix m[nrl..nrh][ncl..nch]: row pointers into one contiguous block of rows; NR_free_matrix.
// Stops with "allocation failure 1 in matrix()" (row pointers) or "allocation failure 2 in matrix()" (rows).
float **NR_matrix(SInt32 nrl, SInt32 nrh, SInt32 ncl, SInt32 nch);
// Release with the allocation's ranges; NULL is fine.
void NR_free_vector(float *v, SInt32 nl, SInt32 nh);
void NR_free_ivector(int *v, SInt32 nl, SInt32 nh);
void NR_free_matrix(float **m, SInt32 nrl, SInt32 nrh, SInt32 ncl, SInt32 nch);

// ---- Linear equations -------------------------------------------------------------------------------------

// Gauss-Jordan elimination with full pivoting: a[1..n][1..n] becomes its inverse, b[1..n][1..m] the
// solutions. Stops with "gaussj: Singular Matrix-1" (a pivot column chosen twice) or
// "gaussj: Singular Matrix-2" (a zero pivot).
void NR_gaussj(float **a, int n, float **b, int m);
// LU decomposition in place (Crout, implicit partial pivoting): indx[1..n] the row permutation, *d +1 or -1
// for an even or odd number of interchanges. A zero pivot becomes 1e-20; a row of zeros stops with
// "Singular matrix in routine ludcmp".
void NR_ludcmp(float **a, int n, int *indx, float *d);
// Solves with the factors of NR_ludcmp: b[1..n] becomes the solution (leading zeros of b are skipped).
void NR_lubksb(float **a, int n, int *indx, float b[]);

// ---- Interpolation and approximation ---------------------------------------------------------------------

// Neville's interpolation through (xa[i], ya[i]), i = 1..n: *y the value at x, *dy its error estimate.
// Coincident abscissas stop with "Error in routine polint".
void NR_polint(float xa[], float ya[], int n, float x, float *y, float *dy);
// cof[0..n] = coefficients (of x^0..x^n) of the polynomial through (x[i], y[i]), i = 0..n (0-based).
void NR_polcoe(float x[], float y[], int n, float cof[]);
// Second derivatives y2[1..n] of the cubic spline through (x[i], y[i]); a boundary derivative yp1 or ypn
// above 0.99e30 gives a natural boundary (second derivative 0 there). n >= 2.
void NR_spline(float x[], float y[], int n, float yp1, float ypn, float y2[]);
// The spline's value at x (interval found by bisection). Coincident abscissas divide by zero.
void NR_splint(float xa[], float ya[], float y2a[], int n, float x, float *y);
// Chebyshev coefficients c[0..n-1] of func on [a, b] from n samples at the Chebyshev nodes (sums in double).
void NR_chebft(float a, float b, float c[], int n, NR_Func1Proc func);
// The Chebyshev series c[0..m-1] at x by Clenshaw's recurrence (half of c[0]); +infinity outside [a, b].
float NR_chebev(float a, float b, float c[], int m, float x);

// ---- Singular value decomposition ------------------------------------------------------------------------

// A = U diag(w) V^T in the 1-based layout: a[1..m][1..n] becomes U, w[1..n], v[1..n][1..n] (V itself).
// Stops with "no convergence in 30 svdcmp iterations".
void NR_svdcmp(float **a, int m, int n, float w[], float **v);
// x[1..n] from b[1..m] with the decomposition; a zero singular value drops its direction.
void NR_svbksb(float **u, float w[], float **v, int m, int n, float b[], float x[]);

// ---- Gamma functions and chi-square ----------------------------------------------------------------------

// ln Gamma(xx), xx > 0 (Lanczos series, double precision inside).
float NR_gammln(float xx);
// P(a, x) by its series (at most 100 terms, relative accuracy 3e-7); *gln = ln Gamma(a). x <= 0 gives 0.
// A series that has not converged after 100 terms leaves *gamser unwritten.
void NR_gser(float *gamser, float a, float x, float *gln);
// Q(a, x) by its continued fraction (modified Lentz, at most 100 steps, accuracy 3e-7); the value after the
// last step is used.
void NR_gcf(float *gammcf, float a, float x, float *gln);
// Q(a, x) = 1 - P(a, x): the series when x < a + 1, else the continued fraction. No argument test; NaN when
// the series did not converge.
float NR_gammq(float a, float x);
// Chi-square of observed bins[1..nbins] against expected ebins[1..nbins]; *df = nbins - knstrn,
// *prob = Q(df / 2, chsq / 2). An expected count that is not positive stops with "Bad expected number in chsone".
void NR_chsone(float bins[], float ebins[], int nbins, int knstrn, float *df, float *chsq, float *prob);
// The same on 0-based arrays of numBins counts with df = numBins - 1; returns the probability. No test of
// the expected values.
float NR_ChiSquaredOne(const float *measuredValues, const float *expectedValues, int numBins);

// ---- Minimisation -----------------------------------------------------------------------------------------

// Brackets a minimum downhill from *ax, *bx: on return f(*bx) is below f(*ax) and f(*cx) (golden step
// 1.618034, parabolic step limit 100, denominator floor 1e-20).
void NR_mnbrak(float *ax, float *bx, float *cx, float *fa, float *fb, float *fc, NR_Func1Proc func);
// Golden-section search within the bracket; returns f(*xmin). No iteration cap: tol must be reachable.
float NR_golden(float ax, float bx, float cx, NR_Func1Proc f, float tol, float *xmin);
// Brent's minimisation within the bracket (at most 100 iterations, then the best point so far); returns
// f(*xmin).
float NR_brent(float ax, float bx, float cx, NR_Func1Proc f, float tol, float *xmin);

// The library-wide line of NR_linmin and NR_f1dim: dimension, start point, direction, function.
extern int NR_ncom;
extern float *NR_pcom;
extern float *NR_xicom;
extern NR_FuncNProc NR_func1;

// Minimum of func along xi[1..n] from p[1..n]: p becomes the minimum, xi the step taken, *fret the value.
// Not re-entrant (shares the variables above).
void NR_linmin(float p[], float xi[], int n, float *fret, NR_FuncNProc func);
// func(NR_pcom + x * NR_xicom).
float NR_f1dim(float x);
// Powell's direction-set minimisation from p[1..n] with the directions in the columns of xi[1..n][1..n].
// Ends when 2 (fp - fret) <= ftol (|fp| + |fret|) + 1e-25; *iter the iterations; stops with
// "powell exceeding maximum iterations." at iteration 200. Not re-entrant.
void NR_powell(float p[], float **xi, int n, float ftol, int *iter, float *fret, NR_FuncNProc func);

// Re-entrant variants: the line is passed along instead of through shared variables.
// Powell's method for n <= 8 (other n do nothing); at iteration 200 it ends quietly with the current point.
void NR_Powell(float p[], float **xi, int n, float ftol, int *iter, float *fret, NR_FuncNProc func);
void NR_Linmin(float p[], float xi[], int n, float *fret, NR_FuncNProc func);
void NR_Mnbrak(float *ax, float *bx, float *cx, float *fa, float *fb, float *fc, NR_LineFuncProc f,
               NR_FuncNProc func, int n, float *pcom, float *xicom);
float NR_Brent(float ax, float bx, float cx, float tol, float *xmin, NR_LineFuncProc f, NR_FuncNProc func, int n,
               float *pcom, float *xicom);
float NR_F1dim(float x, NR_FuncNProc func, int n, float *pcom, float *xicom);

// ---- Linear programming -----------------------------------------------------------------------------------

// Simplex method on the tableau a[1..m+2][1..n+1] (row 1 the objective, rows 2..m+1 the m1 "<=", m2 ">="
// and m3 "=" constraints in that order, column 1 the right-hand sides). *icase 0: solution found (izrov,
// iposv tell which variables are left- and right-hand), 1: unbounded, -1: no feasible solution.
// Stops with "Bad input constraint counts in simplx" or "Bad input tableau in simplx" (a negative
// right-hand side).
void NR_simplx(float **a, int m, int n, int m1, int m2, int m3, int *icase, int izrov[], int iposv[]);
// Tableau steps: the largest (iabf 0) or largest-magnitude (iabf 1) coefficient of row mm among the columns
// ll[1..nll]; the pivot row for column kp by the ratio test (0 when none); the pivot exchange.
void NR_simp1(float **a, int mm, int ll[], int nll, int iabf, int *kp, float *bmax);
void NR_simp2(float **a, int m, int n, int *ip, int kp);
void NR_simp3(float **a, int i1, int k1, int ip, int kp);

// ---- Fits -------------------------------------------------------------------------------------------------

// Straight line y = a + b x through (x[i], y[i]), i = 1..ndata, weighted by 1/sig^2 when mwt != 0:
// standard errors, chi-square and goodness of fit q (1 unless weighted with ndata > 2; unweighted errors
// scaled by sqrt(chi2 / (ndata - 2))).
void NR_fit(float x[], float y[], int ndata, float sig[], int mwt, float *a, float *b, float *siga, float *sigb,
            float *chi2, float *q);
// Unweighted straight line on x_i = x1 + (i - 1) dx and y[1..ndata], errors scaled as NR_fit's; ndata >= 3.
void NR_fitNoMWT(float x1, float dx, float y[], int ndata, float *a, float *b, float *siga, float *sigb);
// Unweighted straight line through 0-based x, y without error estimates; ndata >= 2.
void NR_fitPts(const float *x, const float *y, int ndata, float *a, float *b);
// General linear least squares by SVD with basis functions: a[1..ma]; u[1..ndata][1..ma], v[1..ma][1..ma]
// and w[1..ma] receive the decomposition (singular values below 1e-5 of the largest zeroed). *chisq only
// when chisq is given.
void NR_svdfit(float x[], float y[], float sig[], int ndata, float a[], int ma, float **u, float **v, float w[],
               float *chisq, NR_BasisFuncsProc funcs);
// One Levenberg-Marquardt step on the parameters a[l] with ia[l] != 0. The first call with *alamda < 0
// allocates the work areas, computes *chisq and alpha at a and sets *alamda = 0.001 (no step yet); a step that lowers chi-square is taken and *alamda
// multiplied by 0.1, otherwise *alamda is multiplied by 10 and a is kept; a call with *alamda == 0 leaves
// the covariance in covar and releases the work areas. Not re-entrant.
void NR_mrqmin(float x[], float y[], float sig[], int ndata, float a[], int ia[], int ma, float **covar,
               float **alpha, float *chisq, NR_ModelFuncProc funcs, float *alamda);
// The curvature matrix alpha[1..mfit][1..mfit], gradient beta[1..mfit] and chi-square of the model.
void NR_mrqcof(float x[], float y[], float sig[], int ndata, float a[], int ia[], int ma, float **alpha,
               float beta[], float *chisq, NR_ModelFuncProc funcs);
// Spreads the covariance of the mfit fitted parameters over all ma, zeros for the held ones.
void NR_covsrt(float **covar, int ma, int ia[], int mfit);
