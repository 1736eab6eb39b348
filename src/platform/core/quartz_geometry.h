// Quartz and HIToolbox geometry records: single-precision points, sizes and rectangles (origin and size),
// the y axis pointing up in Quartz spaces and down in HIToolbox views.
#pragma once

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

typedef CGPoint HIPoint;
typedef CGSize HISize;
typedef CGRect HIRect;

inline CGPoint CGPointMake(CGFloat x, CGFloat y) { return CGPoint{x, y}; }
inline CGSize CGSizeMake(CGFloat width, CGFloat height) { return CGSize{width, height}; }
inline CGRect CGRectMake(CGFloat x, CGFloat y, CGFloat width, CGFloat height) {
  return CGRect{CGPoint{x, y}, CGSize{width, height}};
}
