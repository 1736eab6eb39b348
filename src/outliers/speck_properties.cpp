// Speck records, their lists and the properties the preview's editing needs.
#include "outliers/speck_properties.h"

#include "general/memory_lists.h"
#include "outliers/outlier_stage.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

struct Vec {
  double h, v;
};
inline Vec Sub(GL_FloatPt a, GL_FloatPt b) { return Vec{double(a.h) - b.h, double(a.v) - b.v}; }
inline double Dot(Vec a, Vec b) { return a.h * b.h + a.v * b.v; }

// Corners of a rectangle: top-left, top-right, bottom-right, bottom-left.
void RectToPoints(const Rect &r, GL_FloatPt p[4]) {
  p[0] = GL_FloatPt{float(r.left), float(r.top)};
  p[1] = GL_FloatPt{float(r.right), float(r.top)};
  p[2] = GL_FloatPt{float(r.right), float(r.bottom)};
  p[3] = GL_FloatPt{float(r.left), float(r.bottom)};
}

}  // namespace

void BZ_OuDisposeSpeckList(BZ_OuSpeckLE **first) {
  if (first == nullptr) return;
  for (BZ_OuSpeckLE *s = *first; s != nullptr; s = s->next) RG_DisposeRgn(&s->speck.rgn);
  LL_DisposeLinkedList(first);
}

void BZ_CalcSpeckProperties(const BZ_OuParams *ouParams, const UInt8 *frame, const UInt16 *data, BZ_OuSpeck *speck) {
  if (ouParams == nullptr || frame == nullptr || data == nullptr || speck == nullptr) return;
  RG_CalcRgnSize(data, &speck->rgn);
  RG_CalcRgnColor(ouParams->width, frame, data, &speck->rgn);
  RG_CalcRgnCM(ouParams->width, data, &speck->rgn);
  BZ_OuCalcSpeckShapeSimple(ouParams, data, speck);
}

void BZ_OuCalcSpeckShapeSimple(const BZ_OuParams *ouParams, const UInt16 *data, BZ_OuSpeck *speck) {
  if (ouParams == nullptr || data == nullptr || speck == nullptr) return;
  const Rect &b = speck->rgn.bounds;
  const SInt32 w = b.right - b.left, h = b.bottom - b.top;
  if (double(speck->rgn.size) > 0.8 * double(w) * double(h)) {
    RectToPoints(b, speck->minBounds);
  } else {
    GL_FloatPt boxBlTr[4], boxTlBr[4];
    BZ_GetBestDiagonalBox(ouParams, data, speck, boxBlTr, true);
    BZ_GetBestDiagonalBox(ouParams, data, speck, boxTlBr, false);
    const float areaBlTr = BZ_GetMinBoundsArea(&b, boxBlTr), areaTlBr = BZ_GetMinBoundsArea(&b, boxTlBr);
    const float fillBlTr = speck->rgn.size / areaBlTr, fillTlBr = speck->rgn.size / areaTlBr;
    const bool first = fillBlTr > fillTlBr;
    std::copy(first ? boxBlTr : boxTlBr, (first ? boxBlTr : boxTlBr) + 4, speck->minBounds);
    speck->minBoundsArea = first ? areaBlTr : areaTlBr;
  }
  speck->orientation = BZ_OuGetOrientation(speck->minBounds);
  speck->orientationWeight = std::max(BZ_OuGetOrientationWeight(speck), 0.001f);
}

void BZ_GetBestDiagonalBox(const BZ_OuParams *ouParams, const UInt16 *data, const BZ_OuSpeck *speck,
                           GL_FloatPt box[4], Boolean orientationBlTr) {
  if (ouParams == nullptr || data == nullptr || speck == nullptr || box == nullptr || ouParams->width <= 0) return;
  GL_FloatPt corner[4];
  RectToPoints(speck->rgn.bounds, corner);
  const GL_FloatPt S = orientationBlTr ? corner[3] : corner[0], E = orientationBlTr ? corner[1] : corner[2];
  const Vec se = Sub(E, S);
  const double seLength = std::sqrt(Dot(se, se));
  const Vec d{float(se.h / seLength), float(se.v / seLength)};
  const Vec L = Sub(corner[0], corner[3]);
  const double dl = Dot(d, L);
  const Vec nRaw{L.h - dl * d.h, L.v - dl * d.v};
  const double nLength = std::sqrt(Dot(nRaw, nRaw));
  const Vec n{float(nRaw.h / nLength), float(nRaw.v / nLength)};
  double maxTop = 0, maxBottom = 0;
  double minLeft = std::numeric_limits<double>::infinity(), minRight = std::numeric_limits<double>::infinity();
  const SInt32 width = ouParams->width;
  for (SInt32 i = 0; i < speck->rgn.numPixels; ++i) {
    const SInt32 index = speck->rgn.pixels[i];
    const double c = index % width, r = index / width;
    const double f = double(data[index] & kRG_CoverageMask) / 10.0;
    const Vec q{c + 0.5 - S.h, r + 0.5 - S.v};
    GL_FloatPt p;
    if (Dot(q, n) > 0)
      p = orientationBlTr ? GL_FloatPt{float(c + 1 - f), float(r + 1 - f)} : GL_FloatPt{float(c + f), float(r + 1 - f)};
    else
      p = orientationBlTr ? GL_FloatPt{float(c + f), float(r + f)} : GL_FloatPt{float(c + 1 - f), float(r + f)};
    const Vec ps = Sub(p, S);
    minLeft = std::min(minLeft, Dot(ps, d));
    const double t = Dot(ps, n);
    if (t > 0)
      maxTop = std::max(maxTop, t);
    else
      maxBottom = std::max(maxBottom, -t);
    minRight = std::min(minRight, Dot(Sub(E, p), d));
  }
  if (speck->rgn.numPixels <= 0) minLeft = minRight = 0;
  const Vec A{S.h + minLeft * d.h, S.v + minLeft * d.v}, B{E.h - minRight * d.h, E.v - minRight * d.v};
  box[0] = GL_FloatPt{float(A.h + maxTop * n.h), float(A.v + maxTop * n.v)};
  box[3] = GL_FloatPt{float(A.h - maxBottom * n.h), float(A.v - maxBottom * n.v)};
  box[1] = GL_FloatPt{float(B.h + maxTop * n.h), float(B.v + maxTop * n.v)};
  box[2] = GL_FloatPt{float(B.h - maxBottom * n.h), float(B.v - maxBottom * n.v)};
}

float BZ_GetTriangleArea(float a1, float b1, float a2, float b2) {
  // A box corner on a corner of the bounds cuts off no triangle; dividing would give NaN, which would spread
  // into minBoundsArea and past the weight's lower clamp.
  if (b1 + a2 == 0.0f || b2 + a1 == 0.0f) return 0.0f;
  const float x1 = b1 * (a1 + b2) / (b1 + a2);
  const float x2 = b2 * (b1 + a2) / (b2 + a1);
  return 0.5f * (a1 - x1) * (a2 - x2);
}

float BZ_GetMinBoundsArea(const Rect *bounds, const GL_FloatPt box[4]) {
  if (bounds == nullptr || box == nullptr) return 0.0f;
  GL_FloatPt c[4];
  for (int k = 0; k < 4; ++k) c[k] = box[0].v > box[1].v ? box[k] : box[(k + 3) % 4];
  const float top = bounds->top, left = bounds->left, bottom = bounds->bottom, right = bounds->right;
  float area = float((SInt32(bounds->bottom) - bounds->top) * (SInt32(bounds->right) - bounds->left));
  area -= BZ_GetTriangleArea(c[0].v - top, left - c[0].h, c[1].h - left, top - c[1].v);
  area -= BZ_GetTriangleArea(right - c[1].h, top - c[1].v, c[2].v - top, c[2].h - right);
  area -= BZ_GetTriangleArea(bottom - c[2].v, c[2].h - right, right - c[3].h, c[3].v - bottom);
  area -= BZ_GetTriangleArea(c[3].h - left, c[3].v - bottom, bottom - c[0].v, left - c[0].h);
  return area;
}

float BZ_OuGetOrientation(const GL_FloatPt box[4]) {
  if (box == nullptr) return 0.0f;
  const Vec side03 = Sub(box[0], box[3]), side01 = Sub(box[0], box[1]);
  Vec v = Dot(side03, side03) > Dot(side01, side01) ? side03 : side01;
  if (v.v > 0) v = Vec{-v.h, -v.v};
  return float(std::atan2(-v.v, v.h));
}

float BZ_OuGetOrientationWeight(const BZ_OuSpeck *speck) {
  if (speck == nullptr) return 0.0f;
  const Vec hv = Sub(speck->minBounds[0], speck->minBounds[3]), wv = Sub(speck->minBounds[0], speck->minBounds[1]);
  const double height = std::sqrt(Dot(hv, hv)), width = std::sqrt(Dot(wv, wv));
  // The bounding rectangle itself (no box area measured) counts as filled.
  double fill = 1.0;
  if (speck->minBoundsArea > 0.0f)
    fill = std::clamp((double(speck->rgn.size) / double(speck->minBoundsArea) - 0.8) / (1.0 - 0.8), 0.0, 1.0);
  const double smaller = std::min(height, width), larger = std::max(height, width);
  const double elong = smaller > 0 ? std::min((larger / smaller - 1.0) / 3.0, 1.0) : 1.0;
  return float(fill * elong);
}

void BZ_CalcSpeckCM(const BZ_OuParams *ouParams, const UInt16 *data, BZ_OuSpeck *speck) {
  if (ouParams == nullptr || data == nullptr || speck == nullptr || ouParams->width <= 0) return;
  double x = 0, y = 0, total = 0;
  for (SInt32 i = 0; i < speck->rgn.numPixels; ++i) {
    const SInt32 p = speck->rgn.pixels[i];
    const double k = data[p] & kRG_CoverageMask;
    x += k * (p % ouParams->width + 0.5);
    y += k * (p / ouParams->width + 0.5);
    total += k;
  }
  if (total <= 0) return;
  speck->cmX = float(x / total);
  speck->cmY = float(y / total);
}
