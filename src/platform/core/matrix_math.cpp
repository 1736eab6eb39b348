// Movie Toolbox matrices over double-precision 3 x 3 arithmetic.
#include "platform/core/matrix_math.h"

#include "platform/core/mac_errors.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

struct Mat {
  double a[3][3];
};

Mat ToDouble(const MatrixRecord &m) {
  Mat d;
  for (int i = 0; i < 3; ++i) {
    d.a[i][0] = Fix2X(m.matrix[i][0]);
    d.a[i][1] = Fix2X(m.matrix[i][1]);
    d.a[i][2] = Frac2X(m.matrix[i][2]);
  }
  return d;
}

MatrixRecord FromDouble(const Mat &d) {
  MatrixRecord m;
  for (int i = 0; i < 3; ++i) {
    m.matrix[i][0] = X2Fix(d.a[i][0]);
    m.matrix[i][1] = X2Fix(d.a[i][1]);
    m.matrix[i][2] = X2Frac(d.a[i][2]);
  }
  return m;
}

Mat Multiply(const Mat &x, const Mat &y) {
  Mat z;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) z.a[i][j] = x.a[i][0] * y.a[0][j] + x.a[i][1] * y.a[1][j] + x.a[i][2] * y.a[2][j];
  return z;
}

bool Invert(const Mat &m, Mat *inv) {
  const double (*a)[3] = m.a;
  double c00 = a[1][1] * a[2][2] - a[1][2] * a[2][1];
  double c01 = a[1][2] * a[2][0] - a[1][0] * a[2][2];
  double c02 = a[1][0] * a[2][1] - a[1][1] * a[2][0];
  double det = a[0][0] * c00 + a[0][1] * c01 + a[0][2] * c02;
  if (det == 0.0 || !std::isfinite(det)) return false;
  Mat r;
  r.a[0][0] = c00 / det;
  r.a[1][0] = c01 / det;
  r.a[2][0] = c02 / det;
  r.a[0][1] = (a[0][2] * a[2][1] - a[0][1] * a[2][2]) / det;
  r.a[1][1] = (a[0][0] * a[2][2] - a[0][2] * a[2][0]) / det;
  r.a[2][1] = (a[0][1] * a[2][0] - a[0][0] * a[2][1]) / det;
  r.a[0][2] = (a[0][1] * a[1][2] - a[0][2] * a[1][1]) / det;
  r.a[1][2] = (a[0][2] * a[1][0] - a[0][0] * a[1][2]) / det;
  r.a[2][2] = (a[0][0] * a[1][1] - a[0][1] * a[1][0]) / det;
  *inv = r;
  return true;
}

bool IsAffine(const MatrixRecord &m) {
  return m.matrix[0][2] == 0 && m.matrix[1][2] == 0 && m.matrix[2][2] == fract1;
}

Fixed SaturatingAdd(Fixed a, Fixed b) {
  SInt64 s = SInt64(a) + SInt64(b);
  return Fixed(std::clamp<SInt64>(s, kFixedMin, kFixedMax));
}

// Maps (x, y); false when the point goes to infinity.
bool MapPoint(const Mat &m, double x, double y, double *ox, double *oy) {
  double w = x * m.a[0][2] + y * m.a[1][2] + m.a[2][2];
  if (w == 0.0) return false;
  *ox = (x * m.a[0][0] + y * m.a[1][0] + m.a[2][0]) / w;
  *oy = (x * m.a[0][1] + y * m.a[1][1] + m.a[2][1]) / w;
  return true;
}

// The projective map of the unit square (0,0), (1,0), (1,1), (0,1) onto the quadrilateral q
// (x0, y0, ..., x3, y3), in the row-vector convention.
bool SquareToQuad(const double q[8], Mat *m) {
  double x0 = q[0], y0 = q[1], x1 = q[2], y1 = q[3], x2 = q[4], y2 = q[5], x3 = q[6], y3 = q[7];
  double sx = x0 - x1 + x2 - x3, sy = y0 - y1 + y2 - y3;
  double a, b, c = x0, d, e, f = y0, g = 0, h = 0;
  if (sx == 0.0 && sy == 0.0) {
    a = x1 - x0;
    b = x2 - x1;
    d = y1 - y0;
    e = y2 - y1;
  } else {
    double dx1 = x1 - x2, dx2 = x3 - x2, dy1 = y1 - y2, dy2 = y3 - y2;
    double del = dx1 * dy2 - dx2 * dy1;
    if (del == 0.0) return false;
    g = (sx * dy2 - dx2 * sy) / del;
    h = (dx1 * sy - sx * dy1) / del;
    a = x1 - x0 + g * x1;
    b = x3 - x0 + h * x3;
    d = y1 - y0 + g * y1;
    e = y3 - y0 + h * y3;
  }
  m->a[0][0] = a, m->a[0][1] = d, m->a[0][2] = g;
  m->a[1][0] = b, m->a[1][1] = e, m->a[1][2] = h;
  m->a[2][0] = c, m->a[2][1] = f, m->a[2][2] = 1.0;
  return true;
}

void CornersOf(double left, double top, double right, double bottom, double q[8]) {
  q[0] = left, q[1] = top, q[2] = right, q[3] = top, q[4] = right, q[5] = bottom, q[6] = left, q[7] = bottom;
}

// Maps the four corners; false when one goes to infinity.
bool MapCorners(const MatrixRecord *m, double left, double top, double right, double bottom, double out[8]) {
  Mat d = ToDouble(*m);
  double q[8];
  CornersOf(left, top, right, bottom, q);
  for (int i = 0; i < 4; ++i)
    if (!MapPoint(d, q[2 * i], q[2 * i + 1], &out[2 * i], &out[2 * i + 1])) return false;
  return true;
}

bool Upright(const FixedPoint p[4]) {
  bool same = p[0].y == p[1].y && p[1].x == p[2].x && p[2].y == p[3].y && p[3].x == p[0].x;
  bool turned = p[0].x == p[1].x && p[1].y == p[2].y && p[2].x == p[3].x && p[3].y == p[0].y;
  return same || turned;
}

SInt16 RoundToShort(double v) { return SInt16(std::clamp(std::round(v), -32768.0, 32767.0)); }

}  // namespace

SInt16 GetMatrixType(const MatrixRecord *m) {
  if (!IsAffine(*m)) return perspectiveMatrixType;
  const Fixed(*a)[3] = m->matrix;
  bool translates = a[2][0] != 0 || a[2][1] != 0;
  if (a[0][1] != 0 || a[1][0] != 0) return translates ? linearTranslateMatrixType : linearMatrixType;
  if (a[0][0] == fixed1 && a[1][1] == fixed1) return translates ? translateMatrixType : identityMatrixType;
  return translates ? scaleTranslateMatrixType : scaleMatrixType;
}

void CopyMatrix(const MatrixRecord *m1, MatrixRecord *m2) { *m2 = *m1; }

Boolean EqualMatrix(const MatrixRecord *m1, const MatrixRecord *m2) {
  return std::memcmp(m1, m2, sizeof(MatrixRecord)) == 0;
}

void SetIdentityMatrix(MatrixRecord *matrix) {
  std::memset(matrix, 0, sizeof(*matrix));
  matrix->matrix[0][0] = fixed1;
  matrix->matrix[1][1] = fixed1;
  matrix->matrix[2][2] = fract1;
}

void TranslateMatrix(MatrixRecord *m, Fixed deltaH, Fixed deltaV) {
  if (IsAffine(*m)) {
    // Kept in integers so that whole and half pixels never drift.
    m->matrix[2][0] = SaturatingAdd(m->matrix[2][0], deltaH);
    m->matrix[2][1] = SaturatingAdd(m->matrix[2][1], deltaV);
    return;
  }
  MatrixRecord t;
  SetIdentityMatrix(&t);
  t.matrix[2][0] = deltaH;
  t.matrix[2][1] = deltaV;
  *m = FromDouble(Multiply(ToDouble(*m), ToDouble(t)));
}

void ScaleMatrix(MatrixRecord *m, Fixed scaleX, Fixed scaleY, Fixed aboutX, Fixed aboutY) {
  Mat s{};
  double sx = Fix2X(scaleX), sy = Fix2X(scaleY), ax = Fix2X(aboutX), ay = Fix2X(aboutY);
  s.a[0][0] = sx;
  s.a[1][1] = sy;
  s.a[2][0] = ax - ax * sx;
  s.a[2][1] = ay - ay * sy;
  s.a[2][2] = 1.0;
  *m = FromDouble(Multiply(ToDouble(*m), s));
}

void ConcatMatrix(const MatrixRecord *a, MatrixRecord *b) { *b = FromDouble(Multiply(ToDouble(*a), ToDouble(*b))); }

Boolean InverseMatrix(const MatrixRecord *m, MatrixRecord *im) {
  Mat inv;
  if (!Invert(ToDouble(*m), &inv)) return false;
  // Keep the third column's last entry at 1 where the matrix allows, as the file format expects.
  if (inv.a[2][2] != 0.0) {
    double k = inv.a[2][2];
    for (auto &row : inv.a)
      for (double &v : row) v /= k;
  }
  *im = FromDouble(inv);
  return true;
}

void RectMatrix(MatrixRecord *matrix, const Rect *srcRect, const Rect *dstRect) {
  double sw = double(srcRect->right) - srcRect->left, sh = double(srcRect->bottom) - srcRect->top;
  double dw = double(dstRect->right) - dstRect->left, dh = double(dstRect->bottom) - dstRect->top;
  double sx = sw != 0.0 ? dw / sw : 1.0, sy = sh != 0.0 ? dh / sh : 1.0;
  Mat d{};
  d.a[0][0] = sx;
  d.a[1][1] = sy;
  d.a[2][0] = dstRect->left - srcRect->left * sx;
  d.a[2][1] = dstRect->top - srcRect->top * sy;
  d.a[2][2] = 1.0;
  *matrix = FromDouble(d);
}

void MapMatrix(MatrixRecord *matrix, const Rect *fromRect, const Rect *toRect) {
  MatrixRecord map;
  RectMatrix(&map, fromRect, toRect);
  ConcatMatrix(matrix, &map);
  *matrix = map;
}

OSErr QuadToQuadMatrix(const Fixed *source, const Fixed *dest, MatrixRecord *map) {
  if (source == nullptr || dest == nullptr || map == nullptr) return paramErr;
  double s[8], t[8];
  for (int i = 0; i < 8; ++i) {
    s[i] = Fix2X(source[i]);
    t[i] = Fix2X(dest[i]);
  }
  Mat fromSquare, toSquare, toDest;
  if (!SquareToQuad(s, &fromSquare) || !SquareToQuad(t, &toDest) || !Invert(fromSquare, &toSquare)) return paramErr;
  Mat h = Multiply(toSquare, toDest);
  if (h.a[2][2] == 0.0 || !std::isfinite(h.a[2][2])) return paramErr;
  double k = h.a[2][2];
  for (auto &row : h.a)
    for (double &v : row) {
      v /= k;
      if (!std::isfinite(v)) return paramErr;
    }
  // The third column is a Fract: a perspective term beyond its range cannot be stored.
  if (std::fabs(h.a[0][2]) >= 2.0 || std::fabs(h.a[1][2]) >= 2.0) return paramErr;
  *map = FromDouble(h);
  return noErr;
}

OSErr TransformPoints(const MatrixRecord *mp, Point *dpt, SInt32 count) {
  if (count < 0 || (count > 0 && dpt == nullptr)) return paramErr;
  Mat d = ToDouble(*mp);
  for (SInt32 i = 0; i < count; ++i) {
    double x, y;
    if (!MapPoint(d, dpt[i].h, dpt[i].v, &x, &y)) return paramErr;
    dpt[i].h = RoundToShort(x);
    dpt[i].v = RoundToShort(y);
  }
  return noErr;
}

OSErr TransformFixedPoints(const MatrixRecord *m, FixedPoint *fpt, SInt32 count) {
  if (count < 0 || (count > 0 && fpt == nullptr)) return paramErr;
  Mat d = ToDouble(*m);
  for (SInt32 i = 0; i < count; ++i) {
    double x, y;
    if (!MapPoint(d, Fix2X(fpt[i].x), Fix2X(fpt[i].y), &x, &y)) return paramErr;
    fpt[i].x = X2Fix(x);
    fpt[i].y = X2Fix(y);
  }
  return noErr;
}

Boolean TransformFixedRect(const MatrixRecord *m, FixedRect *fr, FixedPoint *fpp) {
  double q[8];
  if (!MapCorners(m, Fix2X(fr->left), Fix2X(fr->top), Fix2X(fr->right), Fix2X(fr->bottom), q)) return false;
  FixedPoint p[4];
  for (int i = 0; i < 4; ++i) p[i] = FixedPoint{X2Fix(q[2 * i]), X2Fix(q[2 * i + 1])};
  if (fpp) std::memcpy(fpp, p, sizeof(p));
  fr->left = std::min({p[0].x, p[1].x, p[2].x, p[3].x});
  fr->right = std::max({p[0].x, p[1].x, p[2].x, p[3].x});
  fr->top = std::min({p[0].y, p[1].y, p[2].y, p[3].y});
  fr->bottom = std::max({p[0].y, p[1].y, p[2].y, p[3].y});
  return Upright(p);
}

Boolean TransformRect(const MatrixRecord *m, Rect *r, FixedPoint *fpp) {
  double q[8];
  if (!MapCorners(m, r->left, r->top, r->right, r->bottom, q)) return false;
  FixedPoint p[4];
  for (int i = 0; i < 4; ++i) p[i] = FixedPoint{X2Fix(q[2 * i]), X2Fix(q[2 * i + 1])};
  if (fpp) std::memcpy(fpp, p, sizeof(p));
  double left = std::min({q[0], q[2], q[4], q[6]}), right = std::max({q[0], q[2], q[4], q[6]});
  double top = std::min({q[1], q[3], q[5], q[7]}), bottom = std::max({q[1], q[3], q[5], q[7]});
  r->left = RoundToShort(left);
  r->top = RoundToShort(top);
  r->right = RoundToShort(right);
  r->bottom = RoundToShort(bottom);
  return Upright(p);
}
