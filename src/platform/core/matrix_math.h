// The Movie Toolbox's 3 x 3 transformation matrices and their arithmetic: identity, translation,
// scaling, concatenation, inversion, rectangle and quadrilateral maps, and the transformation of points
// and rectangles. Pure arithmetic on the caller's records; any thread.
//
// A point (x, y) maps as the row vector [x y 1] times the matrix: x' = (x m00 + y m10 + m20) / w,
// y' = (x m01 + y m11 + m21) / w, w = x m02 + y m12 + m22. The first two columns are Fixed (16.16), the
// third Fract (2.30), as in movie files. Results are computed in double precision and rounded to the
// nearest unit of their field (saturating), so integer translations and scales stay exact.
#pragma once

#include "platform/core/fixed_math.h"
#include "platform/core/mac_types.h"

struct MatrixRecord {
  Fixed matrix[3][3];
};
typedef MatrixRecord *MatrixRecordPtr;

// Matrix kinds, from the simplest; GetMatrixType gives the simplest that describes a matrix.
enum : SInt16 {
  identityMatrixType = 0,
  translateMatrixType = 1,
  scaleMatrixType = 2,
  scaleTranslateMatrixType = 3,
  linearMatrixType = 4,
  linearTranslateMatrixType = 5,
  perspectiveMatrixType = 6,
};

SInt16 GetMatrixType(const MatrixRecord *m);
void CopyMatrix(const MatrixRecord *m1, MatrixRecord *m2);
Boolean EqualMatrix(const MatrixRecord *m1, const MatrixRecord *m2);
void SetIdentityMatrix(MatrixRecord *matrix);
// Appends a translation by (deltaH, deltaV) to the matrix's transformation.
void TranslateMatrix(MatrixRecord *m, Fixed deltaH, Fixed deltaV);
// Appends a scaling about the point (aboutX, aboutY).
void ScaleMatrix(MatrixRecord *m, Fixed scaleX, Fixed scaleY, Fixed aboutX, Fixed aboutY);
// b = a x b: the transformation of a followed by that of b.
void ConcatMatrix(const MatrixRecord *a, MatrixRecord *b);
// The inverse; false (im unchanged) for a singular matrix.
Boolean InverseMatrix(const MatrixRecord *m, MatrixRecord *im);
// The scale-and-translate matrix that maps srcRect onto dstRect. A source side of zero length scales by 1.
void RectMatrix(MatrixRecord *matrix, const Rect *srcRect, const Rect *dstRect);
// Appends to the matrix the map of fromRect onto toRect.
void MapMatrix(MatrixRecord *matrix, const Rect *fromRect, const Rect *toRect);
// The matrix that maps the quadrilateral `source` onto `dest`; each holds four corners as (x, y) pairs of
// Fixed values, in the order (left, top), (right, top), (right, bottom), (left, bottom) for a rectangle.
// paramErr (map unchanged) for a degenerate quadrilateral or a map that the record cannot hold.
OSErr QuadToQuadMatrix(const Fixed *source, const Fixed *dest, MatrixRecord *map);

// Points transformed in place; paramErr for a negative count or a point that maps to infinity.
OSErr TransformPoints(const MatrixRecord *mp, Point *dpt, SInt32 count);
OSErr TransformFixedPoints(const MatrixRecord *m, FixedPoint *fpt, SInt32 count);
// The rectangle becomes the bounding box of its transformed corners (integer sides rounded to nearest);
// fpp (may be NULL) receives the four transformed corners in the order above. True when the corners
// still form an upright rectangle (no rotation other than by right angles, no skew, no perspective).
Boolean TransformRect(const MatrixRecord *m, Rect *r, FixedPoint *fpp);
Boolean TransformFixedRect(const MatrixRecord *m, FixedRect *fr, FixedPoint *fpp);
