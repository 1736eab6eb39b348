// Quartz rectangle arithmetic and HIToolbox shapes.
#include "platform/core/quartz_geometry.h"

#include "platform/core/cf_object.h"
#include "platform/core/mac_errors.h"

#include <algorithm>
#include <new>

struct HIShape : PL_CFObject {
  HIShape() : PL_CFObject(kPL_CFTypeIDHIShape) {}
  HIRect rect{};
};

namespace {

const HIShape *ShapeOf(HIShapeRef shape) {
  return PL_CFIsType(shape, kPL_CFTypeIDHIShape) ? static_cast<const HIShape *>(shape) : nullptr;
}

}  // namespace

CGRect CGRectStandardize(CGRect rect) {
  if (rect.size.width < 0) {
    rect.origin.x += rect.size.width;
    rect.size.width = -rect.size.width;
  }
  if (rect.size.height < 0) {
    rect.origin.y += rect.size.height;
    rect.size.height = -rect.size.height;
  }
  return rect;
}

CGFloat CGRectGetMinX(CGRect rect) { return CGRectStandardize(rect).origin.x; }
CGFloat CGRectGetMaxX(CGRect rect) {
  rect = CGRectStandardize(rect);
  return rect.origin.x + rect.size.width;
}
CGFloat CGRectGetMinY(CGRect rect) { return CGRectStandardize(rect).origin.y; }
CGFloat CGRectGetMaxY(CGRect rect) {
  rect = CGRectStandardize(rect);
  return rect.origin.y + rect.size.height;
}
CGFloat CGRectGetWidth(CGRect rect) { return CGRectStandardize(rect).size.width; }
CGFloat CGRectGetHeight(CGRect rect) { return CGRectStandardize(rect).size.height; }

bool CGRectIsEmpty(CGRect rect) { return rect.size.width == 0 || rect.size.height == 0; }

bool CGRectContainsPoint(CGRect rect, CGPoint point) {
  rect = CGRectStandardize(rect);
  return point.x >= rect.origin.x && point.x < rect.origin.x + rect.size.width && point.y >= rect.origin.y &&
         point.y < rect.origin.y + rect.size.height;
}

void CGRectDivide(CGRect rect, CGRect *slice, CGRect *remainder, CGFloat amount, CGRectEdge edge) {
  rect = CGRectStandardize(rect);
  CGRect s = rect, r = rect;
  const bool horizontal = edge == CGRectMinXEdge || edge == CGRectMaxXEdge;
  const CGFloat size = horizontal ? rect.size.width : rect.size.height;
  const CGFloat cut = std::clamp(amount, CGFloat(0), size);
  switch (edge) {
    case CGRectMinXEdge:
      s.size.width = cut;
      r.origin.x += cut;
      r.size.width -= cut;
      break;
    case CGRectMaxXEdge:
      s.origin.x += size - cut;
      s.size.width = cut;
      r.size.width -= cut;
      break;
    case CGRectMinYEdge:
      s.size.height = cut;
      r.origin.y += cut;
      r.size.height -= cut;
      break;
    default:  // CGRectMaxYEdge
      s.origin.y += size - cut;
      s.size.height = cut;
      r.size.height -= cut;
      break;
  }
  if (slice != nullptr) *slice = s;
  if (remainder != nullptr) *remainder = r;
}

HIShapeRef HIShapeCreateWithRect(const HIRect *inRect) {
  if (inRect == nullptr) return nullptr;
  HIShape *shape = new (std::nothrow) HIShape;
  if (shape != nullptr) shape->rect = CGRectStandardize(*inRect);
  return shape;
}

Boolean HIShapeContainsPoint(HIShapeRef inShape, const HIPoint *inPoint) {
  const HIShape *shape = ShapeOf(inShape);
  return shape != nullptr && inPoint != nullptr && CGRectContainsPoint(shape->rect, *inPoint);
}

OSStatus HIShapeGetBounds(HIShapeRef inShape, HIRect *outRect) {
  const HIShape *shape = ShapeOf(inShape);
  if (shape == nullptr || outRect == nullptr) return paramErr;
  *outRect = shape->rect;
  return noErr;
}

CFTypeID HIShapeGetTypeID() { return kPL_CFTypeIDHIShape; }
