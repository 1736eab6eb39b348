// Double-precision 2-D and 3-D vectors, boxes and matrices, with a few scalar helpers (binary GCD,
// quadratic roots, a safeguarded root finder). Pure routines on caller storage; any thread.
//
// Points are row vectors multiplied on the left (p' = p M), the translation in the matrix's last row.
// Routines return their result pointer; results may alias an operand everywhere.
#pragma once

#include "platform/core/mac_types.h"

struct Point2 {
  double x;
  double y;
};
typedef Point2 Vector2;

struct Point3 {
  double x;
  double y;
  double z;
};
typedef Point3 Vector3;

struct Box2 {
  Point2 min;
  Point2 max;
};

struct Matrix3 {
  double element[3][3];
};

struct Matrix4 {
  double element[4][4];
};

// ---- 2-D ----

double V2SquaredLength(const Vector2 *a);
double V2Length(const Vector2 *a);
Vector2 *V2Negate(Vector2 *v);
Vector2 *V2NegateII(const Vector2 *v, Vector2 *neg);
// v / |v| in place; unchanged when |v| is 0.
Vector2 *V2Normalize(Vector2 *v);
// u = v / |v|; (0, 0) when |v| is 0.
Vector2 *V2NormalizeII(const Vector2 *v, Vector2 *u);
// w = (v.y, -v.x).
Vector2 *V2Rotate90(const Vector2 *v, Vector2 *w);
// ap = (-a.y, a.x), the opposite turn to V2Rotate90.
Vector2 *V2MakePerpendicular(const Vector2 *a, Vector2 *ap);
// Rescales v in place to length newlen; unchanged when |v| is 0.
Vector2 *V2Scale(Vector2 *v, double newlen);
Vector2 *V2ScaleIV(const Vector2 *v, double scale, Vector2 *s);
Vector2 V2ScaleIII(const Vector2 *v, double s);
Vector2 *V2Add(const Vector2 *a, const Vector2 *b, Vector2 *c);
Vector2 V2AddII(const Vector2 *a, const Vector2 *b);
// b = b + a.
Vector2 *V2AddIII(const Vector2 *a, Vector2 *b);
// c = a - b.
Vector2 *V2Sub(const Vector2 *a, const Vector2 *b, Vector2 *c);
Vector2 V2SubII(const Vector2 *a, const Vector2 *b);
double V2Dot(const Vector2 *a, const Vector2 *b);
// Component-wise product.
Vector2 *V2Mul(const Vector2 *a, const Vector2 *b, Vector2 *result);
// a x ascl + b x bscl.
Vector2 *V2Combine(const Vector2 *a, const Vector2 *b, Vector2 *result, double ascl, double bscl);
// lo + alpha (hi - lo).
Vector2 *V2Lerp(const Vector2 *lo, const Vector2 *hi, double alpha, Vector2 *result);
// Bilinear: between vecIn[0] and [1] and between [2] and [3] by alphaX, then between those by alphaY.
Vector2 *V2Lerp4(const Vector2 vecIn[4], double alphaX, double alphaY, Vector2 *result);
// Bilinear interpolation of four bytes laid out as vecIn of V2Lerp4.
double S4Lerp(const UInt8 values[4], double distX, double distY);
double V2DistanceBetween2Points(const Point2 *a, const Point2 *b);
double V2DistanceSqBetween2Points(const Point2 *a, const Point2 *b);
// New vectors from the standard allocator (owned; the caller frees them). NULL when memory is out.
Vector2 *V2New(double x, double y);
Vector2 *V2Duplicate(const Vector2 *a);
// p = (x, y, 1) m in place, divided by the resulting w unless w is 0.
Point2 *V2MulPointByMatrix(Point2 *p, const Matrix3 *m);
// c = a b.
Matrix3 *V2MatMul(const Matrix3 *a, const Matrix3 *b, Matrix3 *c);
// Strict overlap: boxes that only touch do not overlap.
Boolean V2BoxesOverlap(const Box2 *box1, const Box2 *box2);
// min <= p < max on both axes.
Boolean V2PtInBox2(const Box2 *box, const Point2 *p);

// ---- 3-D ----

double V3SquaredLength(const Vector3 *a);
double V3Length(const Vector3 *a);
Vector3 *V3Negate(Vector3 *v);
Vector3 *V3Normalize(Vector3 *v);
Vector3 *V3Scale(Vector3 *v, double newlen);
Vector3 *V3Add(const Vector3 *a, const Vector3 *b, Vector3 *c);
Vector3 *V3Sub(const Vector3 *a, const Vector3 *b, Vector3 *c);
double V3Dot(const Vector3 *a, const Vector3 *b);
Vector3 *V3Lerp(const Vector3 *lo, const Vector3 *hi, double alpha, Vector3 *result);
Vector3 *V3Combine(const Vector3 *a, const Vector3 *b, Vector3 *result, double ascl, double bscl);
Vector3 *V3Mul(const Vector3 *a, const Vector3 *b, Vector3 *result);
double V3DistanceBetween2Points(const Point3 *a, const Point3 *b);
Vector3 *V3New(double x, double y, double z);
Vector3 *V3Duplicate(const Vector3 *a);
// c = a x b.
Vector3 *V3Cross(const Vector3 *a, const Vector3 *b, Vector3 *c);
// p = (x, y, z, 1) m in place, divided by the resulting w unless w is 0.
Point3 *V3MulPointByMatrix(Point3 *p, const Matrix4 *m);
Matrix4 *V3MatMul(const Matrix4 *a, const Matrix4 *b, Matrix4 *c);

// ---- Scalars ----

// Binary greatest common divisor; 1 when either argument is negative; gcd(u, 0) = u and gcd(0, v) = v.
int gcd(int u, int v);
// Real roots of a x^2 + b x + c = 0 by the stable formula; returns how many were written (0 to 2).
int quadraticRoots(double a, double b, double c, double roots[2]);
// One secant step between left and right (the midpoint when f has the same value at both).
double RegulaFalsi(double (*f)(double), double left, double right);
// One Newton step from x (x - 1 at a flat point).
double NewtonRaphson(double (*f)(double), double (*df)(double), double x);
// Newton steps from left, falling back to secant steps inside the bracket [left, right], until |f(x)| is
// within tolerance; gives up after a bounded number of steps and returns the last x.
double findroot(double left, double right, double tolerance, double (*f)(double), double (*df)(double));
