// Vector geometry: 2-D and 3-D vectors, boxes, matrices and scalar helpers.
//
// Routines that read an operand after writing the result (cross products, matrix products) compute into
// a local first, so a result may alias an operand.
#include "general/vector_geometry.h"

#include "general/memory_lists.h"
#include "platform/core/mac_errors.h"

#include <cmath>

// ---- 2-D ----

double V2SquaredLength(const Vector2 *a) { return a->x * a->x + a->y * a->y; }

double V2Length(const Vector2 *a) { return std::sqrt(V2SquaredLength(a)); }

Vector2 *V2Negate(Vector2 *v) {
  v->x = -v->x;
  v->y = -v->y;
  return v;
}

Vector2 *V2NegateII(const Vector2 *v, Vector2 *neg) {
  *neg = Vector2{-v->x, -v->y};
  return neg;
}

Vector2 *V2Normalize(Vector2 *v) {
  double len = V2Length(v);
  if (len != 0.0) {
    v->x /= len;
    v->y /= len;
  }
  return v;
}

Vector2 *V2NormalizeII(const Vector2 *v, Vector2 *u) {
  double len = V2Length(v);
  *u = len != 0.0 ? Vector2{v->x / len, v->y / len} : Vector2{0.0, 0.0};
  return u;
}

Vector2 *V2Rotate90(const Vector2 *v, Vector2 *w) {
  *w = Vector2{v->y, -v->x};
  return w;
}

Vector2 *V2MakePerpendicular(const Vector2 *a, Vector2 *ap) {
  *ap = Vector2{-a->y, a->x};
  return ap;
}

Vector2 *V2Scale(Vector2 *v, double newlen) {
  double len = V2Length(v);
  if (len != 0.0) {
    v->x *= newlen / len;
    v->y *= newlen / len;
  }
  return v;
}

Vector2 *V2ScaleIV(const Vector2 *v, double scale, Vector2 *s) {
  *s = Vector2{v->x * scale, v->y * scale};
  return s;
}

Vector2 V2ScaleIII(const Vector2 *v, double s) { return Vector2{v->x * s, v->y * s}; }

Vector2 *V2Add(const Vector2 *a, const Vector2 *b, Vector2 *c) {
  *c = Vector2{a->x + b->x, a->y + b->y};
  return c;
}

Vector2 V2AddII(const Vector2 *a, const Vector2 *b) { return Vector2{a->x + b->x, a->y + b->y}; }

Vector2 *V2AddIII(const Vector2 *a, Vector2 *b) {
  b->x += a->x;
  b->y += a->y;
  return b;
}

Vector2 *V2Sub(const Vector2 *a, const Vector2 *b, Vector2 *c) {
  *c = Vector2{a->x - b->x, a->y - b->y};
  return c;
}

Vector2 V2SubII(const Vector2 *a, const Vector2 *b) { return Vector2{a->x - b->x, a->y - b->y}; }

double V2Dot(const Vector2 *a, const Vector2 *b) { return a->x * b->x + a->y * b->y; }

Vector2 *V2Mul(const Vector2 *a, const Vector2 *b, Vector2 *result) {
  *result = Vector2{a->x * b->x, a->y * b->y};
  return result;
}

Vector2 *V2Combine(const Vector2 *a, const Vector2 *b, Vector2 *result, double ascl, double bscl) {
  *result = Vector2{a->x * ascl + b->x * bscl, a->y * ascl + b->y * bscl};
  return result;
}

Vector2 *V2Lerp(const Vector2 *lo, const Vector2 *hi, double alpha, Vector2 *result) {
  *result = Vector2{lo->x + alpha * (hi->x - lo->x), lo->y + alpha * (hi->y - lo->y)};
  return result;
}

Vector2 *V2Lerp4(const Vector2 vecIn[4], double alphaX, double alphaY, Vector2 *result) {
  Vector2 t1, t2;
  V2Lerp(&vecIn[0], &vecIn[1], alphaX, &t1);
  V2Lerp(&vecIn[2], &vecIn[3], alphaX, &t2);
  return V2Lerp(&t1, &t2, alphaY, result);
}

double S4Lerp(const UInt8 values[4], double distX, double distY) {
  return ((1.0 - distX) * values[0] + distX * values[1]) * (1.0 - distY) +
         ((1.0 - distX) * values[2] + distX * values[3]) * distY;
}

double V2DistanceBetween2Points(const Point2 *a, const Point2 *b) { return std::sqrt(V2DistanceSqBetween2Points(a, b)); }

double V2DistanceSqBetween2Points(const Point2 *a, const Point2 *b) {
  double dx = a->x - b->x, dy = a->y - b->y;
  return dx * dx + dy * dy;
}

Vector2 *V2New(double x, double y) {
  Vector2 *v = nullptr;
  if (GL_NewPtr(sizeof(Vector2), &v) != noErr) return nullptr;
  *v = Vector2{x, y};
  return v;
}

Vector2 *V2Duplicate(const Vector2 *a) { return V2New(a->x, a->y); }

Point2 *V2MulPointByMatrix(Point2 *p, const Matrix3 *m) {
  const double(*e)[3] = m->element;
  double x = p->x * e[0][0] + p->y * e[1][0] + e[2][0];
  double y = p->x * e[0][1] + p->y * e[1][1] + e[2][1];
  double w = p->x * e[0][2] + p->y * e[1][2] + e[2][2];
  if (w != 0.0) {
    x /= w;
    y /= w;
  }
  *p = Point2{x, y};
  return p;
}

Matrix3 *V2MatMul(const Matrix3 *a, const Matrix3 *b, Matrix3 *c) {
  Matrix3 product;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      double sum = 0.0;
      for (int k = 0; k < 3; ++k) sum += a->element[i][k] * b->element[k][j];
      product.element[i][j] = sum;
    }
  *c = product;
  return c;
}

Boolean V2BoxesOverlap(const Box2 *box1, const Box2 *box2) {
  return box2->max.x > box1->min.x && box1->max.x > box2->min.x && box2->max.y > box1->min.y &&
         box1->max.y > box2->min.y;
}

Boolean V2PtInBox2(const Box2 *box, const Point2 *p) {
  return box->min.x <= p->x && p->x < box->max.x && box->min.y <= p->y && p->y < box->max.y;
}

// ---- 3-D ----

double V3SquaredLength(const Vector3 *a) { return a->x * a->x + a->y * a->y + a->z * a->z; }

double V3Length(const Vector3 *a) { return std::sqrt(V3SquaredLength(a)); }

Vector3 *V3Negate(Vector3 *v) {
  *v = Vector3{-v->x, -v->y, -v->z};
  return v;
}

Vector3 *V3Normalize(Vector3 *v) {
  double len = V3Length(v);
  if (len != 0.0) *v = Vector3{v->x / len, v->y / len, v->z / len};
  return v;
}

Vector3 *V3Scale(Vector3 *v, double newlen) {
  double len = V3Length(v);
  if (len != 0.0) {
    double f = newlen / len;
    *v = Vector3{v->x * f, v->y * f, v->z * f};
  }
  return v;
}

Vector3 *V3Add(const Vector3 *a, const Vector3 *b, Vector3 *c) {
  *c = Vector3{a->x + b->x, a->y + b->y, a->z + b->z};
  return c;
}

Vector3 *V3Sub(const Vector3 *a, const Vector3 *b, Vector3 *c) {
  *c = Vector3{a->x - b->x, a->y - b->y, a->z - b->z};
  return c;
}

double V3Dot(const Vector3 *a, const Vector3 *b) { return a->x * b->x + a->y * b->y + a->z * b->z; }

Vector3 *V3Lerp(const Vector3 *lo, const Vector3 *hi, double alpha, Vector3 *result) {
  *result = Vector3{lo->x + alpha * (hi->x - lo->x), lo->y + alpha * (hi->y - lo->y), lo->z + alpha * (hi->z - lo->z)};
  return result;
}

Vector3 *V3Combine(const Vector3 *a, const Vector3 *b, Vector3 *result, double ascl, double bscl) {
  *result = Vector3{a->x * ascl + b->x * bscl, a->y * ascl + b->y * bscl, a->z * ascl + b->z * bscl};
  return result;
}

Vector3 *V3Mul(const Vector3 *a, const Vector3 *b, Vector3 *result) {
  *result = Vector3{a->x * b->x, a->y * b->y, a->z * b->z};
  return result;
}

double V3DistanceBetween2Points(const Point3 *a, const Point3 *b) {
  double dx = a->x - b->x, dy = a->y - b->y, dz = a->z - b->z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

Vector3 *V3New(double x, double y, double z) {
  Vector3 *v = nullptr;
  if (GL_NewPtr(sizeof(Vector3), &v) != noErr) return nullptr;
  *v = Vector3{x, y, z};
  return v;
}

Vector3 *V3Duplicate(const Vector3 *a) { return V3New(a->x, a->y, a->z); }

Vector3 *V3Cross(const Vector3 *a, const Vector3 *b, Vector3 *c) {
  *c = Vector3{a->y * b->z - b->y * a->z, a->z * b->x - b->z * a->x, a->x * b->y - b->x * a->y};
  return c;
}

Point3 *V3MulPointByMatrix(Point3 *p, const Matrix4 *m) {
  const double(*e)[4] = m->element;
  double x = p->x * e[0][0] + p->y * e[1][0] + p->z * e[2][0] + e[3][0];
  double y = p->x * e[0][1] + p->y * e[1][1] + p->z * e[2][1] + e[3][1];
  double z = p->x * e[0][2] + p->y * e[1][2] + p->z * e[2][2] + e[3][2];
  double w = p->x * e[0][3] + p->y * e[1][3] + p->z * e[2][3] + e[3][3];
  if (w != 0.0) {
    x /= w;
    y /= w;
    z /= w;
  }
  *p = Point3{x, y, z};
  return p;
}

Matrix4 *V3MatMul(const Matrix4 *a, const Matrix4 *b, Matrix4 *c) {
  Matrix4 product;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      double sum = 0.0;
      for (int k = 0; k < 4; ++k) sum += a->element[i][k] * b->element[k][j];
      product.element[i][j] = sum;
    }
  *c = product;
  return c;
}

// ---- Scalars ----

int gcd(int u, int v) {
  if (u < 0 || v < 0) return 1;
  // Halving a zero never ends: the other argument is the answer.
  if (u == 0) return v;
  if (v == 0) return u;
  int k = 0;
  while ((u & 1) == 0 && (v & 1) == 0) {
    u >>= 1;
    v >>= 1;
    ++k;
  }
  int t = (u & 1) ? -v : u / 2;
  while (t != 0) {
    while ((t & 1) == 0) t /= 2;
    if (t > 0) u = t;
    else v = -t;
    t = u - v;
  }
  return u << k;
}

int quadraticRoots(double a, double b, double c, double roots[2]) {
  double d = b * b - 4.0 * a * c;
  if (d < 0.0) {
    roots[0] = roots[1] = 0.0;
    return 0;
  }
  double q = -0.5 * (b + (b < 0.0 ? -1.0 : 1.0) * std::sqrt(d));
  int count = 0;
  if (a != 0.0) roots[count++] = q / a;
  if (q != 0.0) roots[count++] = c / q;
  return count;
}

double RegulaFalsi(double (*f)(double), double left, double right) {
  double fl = f(left), fr = f(right);
  if (fr == fl) return 0.5 * (left + right);
  return right - (right - left) * fr / (fr - fl);
}

double NewtonRaphson(double (*f)(double), double (*df)(double), double x) {
  double slope = df(x);
  if (slope == 0.0) return x - 1.0;
  return x - f(x) / slope;
}

double findroot(double left, double right, double tolerance, double (*f)(double), double (*df)(double)) {
  // A bracket without a sign change, or a tolerance below what doubles can reach, would loop forever.
  constexpr int kMaxSteps = 1000;
  double x = left;
  for (int step = 0; step < kMaxSteps && std::fabs(f(x)) > tolerance; ++step) {
    x = NewtonRaphson(f, df, x);
    if (x < left || x > right) x = RegulaFalsi(f, left, right);
    if (f(x) * f(left) <= 0.0) right = x;
    else left = x;
  }
  return x;
}
