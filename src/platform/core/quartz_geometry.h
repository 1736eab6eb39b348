// Quartz and HIToolbox geometry: single-precision points, sizes and rectangles (origin and size), the y axis
// pointing up in Quartz spaces and down in HIToolbox views; the rectangle arithmetic the drawing code uses;
// and HIToolbox shapes (here: rectangles), reference counted like every CF value (CFRelease).
// Any thread.
#pragma once

#include "platform/core/cf_base.h"
#include "platform/core/mac_types.h"

typedef float CGFloat;

struct CGPoint {
  CGFloat x;
  CGFloat y;
};

struct CGSize {
  CGFloat width;
  CGFloat height;
};

struct CGRect {
  CGPoint origin;
  CGSize size;
};

// x' = a x + c y + tx, y' = b x + d y + ty.
struct CGAffineTransform {
  CGFloat a, b, c, d, tx, ty;
};
inline CGAffineTransform CGAffineTransformMake(CGFloat a, CGFloat b, CGFloat c, CGFloat d, CGFloat tx, CGFloat ty) {
  return CGAffineTransform{a, b, c, d, tx, ty};
}

typedef CGPoint HIPoint;
typedef CGSize HISize;
typedef CGRect HIRect;

inline CGPoint CGPointMake(CGFloat x, CGFloat y) { return CGPoint{x, y}; }
inline CGSize CGSizeMake(CGFloat width, CGFloat height) { return CGSize{width, height}; }
inline CGRect CGRectMake(CGFloat x, CGFloat y, CGFloat width, CGFloat height) {
  return CGRect{CGPoint{x, y}, CGSize{width, height}};
}

// The same rectangle with a width and height that are not negative.
CGRect CGRectStandardize(CGRect rect);
// Edges of the standardized rectangle, and its size.
CGFloat CGRectGetMinX(CGRect rect);
CGFloat CGRectGetMaxX(CGRect rect);
CGFloat CGRectGetMinY(CGRect rect);
CGFloat CGRectGetMaxY(CGRect rect);
CGFloat CGRectGetWidth(CGRect rect);
CGFloat CGRectGetHeight(CGRect rect);
// True for a width or height of 0.
bool CGRectIsEmpty(CGRect rect);
// Whether the point lies inside: min <= coordinate < max on both axes.
bool CGRectContainsPoint(CGRect rect, CGPoint point);

typedef UInt32 CGRectEdge;
enum : CGRectEdge { CGRectMinXEdge = 0, CGRectMinYEdge = 1, CGRectMaxXEdge = 2, CGRectMaxYEdge = 3 };
// Cuts a strip of `amount` (kept within 0 and the rectangle's size) off the standardized rectangle at the
// edge: *slice is the strip, *remainder the rest. Either out-pointer may be NULL.
void CGRectDivide(CGRect rect, CGRect *slice, CGRect *remainder, CGFloat amount, CGRectEdge edge);

// ---- Shapes ----
struct HIShape;
typedef const HIShape *HIShapeRef;
// Owned (CFRelease): the shape of a rectangle; NULL for a NULL rectangle.
HIShapeRef HIShapeCreateWithRect(const HIRect *inRect);
// Whether the point lies in the shape (CGRectContainsPoint of its rectangle); false for NULL arguments.
Boolean HIShapeContainsPoint(HIShapeRef inShape, const HIPoint *inPoint);
// The shape's bounds; paramErr for NULL arguments.
OSStatus HIShapeGetBounds(HIShapeRef inShape, HIRect *outRect);
CFTypeID HIShapeGetTypeID();
