// QuickDraw stand-in: rectangles, points, regions and the random generator.
//
// A region is a list of bands sorted by y; each band covers rows [top, bottom) with the same sorted,
// disjoint, non-touching spans [left, right). Bands never overlap, hold at least one span, and two
// neighbouring bands that touch always differ in their spans, so every pixel set has exactly one form.
// All set operations sweep the band edges of both operands once.
#include "platform/core/quickdraw_geometry.h"

#include "platform/core/mac_errors.h"

#include <algorithm>
#include <new>
#include <vector>

namespace {

thread_local OSErr gQDError = noErr;
thread_local SInt32 gRandomSeed = 1;

struct Band {
  SInt32 top;
  SInt32 bottom;
  std::vector<SInt32> spans;  // left0, right0, left1, right1, ...
};

}  // namespace

struct OpaqueRgnHandle {
  std::vector<Band> bands;
};

namespace {

SInt16 ClampToSInt16(SInt32 v) {
  if (v > 32767) return 32767;
  if (v < -32768) return -32768;
  return SInt16(v);
}

// Appends a band, joining it to the previous one when they touch and have the same spans.
void AppendBand(std::vector<Band> &out, SInt32 top, SInt32 bottom, std::vector<SInt32> &&spans) {
  if (spans.empty() || bottom <= top) return;
  if (!out.empty() && out.back().bottom == top && out.back().spans == spans) {
    out.back().bottom = bottom;
    return;
  }
  out.push_back(Band{top, bottom, std::move(spans)});
}

enum class SetOp { kSect, kUnion, kDiff, kXor };

bool Keep(SetOp op, bool inA, bool inB) {
  switch (op) {
    case SetOp::kSect:
      return inA && inB;
    case SetOp::kUnion:
      return inA || inB;
    case SetOp::kDiff:
      return inA && !inB;
    case SetOp::kXor:
      return inA != inB;
  }
  return false;
}

// Combines two span lists of one row.
std::vector<SInt32> CombineSpans(const std::vector<SInt32> *a, const std::vector<SInt32> *b, SetOp op) {
  static const std::vector<SInt32> kNone;
  const std::vector<SInt32> &sa = a ? *a : kNone;
  const std::vector<SInt32> &sb = b ? *b : kNone;
  std::vector<SInt32> out;
  size_t ia = 0, ib = 0;
  bool inA = false, inB = false, inOut = false;
  while (ia < sa.size() || ib < sb.size()) {
    SInt32 x;
    if (ib >= sb.size() || (ia < sa.size() && sa[ia] <= sb[ib])) x = sa[ia];
    else x = sb[ib];
    // Take every edge at this x from both lists before deciding.
    while (ia < sa.size() && sa[ia] == x) {
      inA = !inA;
      ++ia;
    }
    while (ib < sb.size() && sb[ib] == x) {
      inB = !inB;
      ++ib;
    }
    bool keep = Keep(op, inA, inB);
    if (keep != inOut) {
      out.push_back(x);
      inOut = keep;
    }
  }
  return out;
}

std::vector<Band> Combine(const std::vector<Band> &a, const std::vector<Band> &b, SetOp op) {
  std::vector<SInt32> edges;
  edges.reserve(2 * (a.size() + b.size()));
  for (const Band &band : a) {
    edges.push_back(band.top);
    edges.push_back(band.bottom);
  }
  for (const Band &band : b) {
    edges.push_back(band.top);
    edges.push_back(band.bottom);
  }
  std::sort(edges.begin(), edges.end());
  edges.erase(std::unique(edges.begin(), edges.end()), edges.end());

  std::vector<Band> out;
  size_t ia = 0, ib = 0;
  for (size_t e = 0; e + 1 < edges.size(); ++e) {
    SInt32 y0 = edges[e], y1 = edges[e + 1];
    while (ia < a.size() && a[ia].bottom <= y0) ++ia;
    while (ib < b.size() && b[ib].bottom <= y0) ++ib;
    const std::vector<SInt32> *sa = ia < a.size() && a[ia].top <= y0 ? &a[ia].spans : nullptr;
    const std::vector<SInt32> *sb = ib < b.size() && b[ib].top <= y0 ? &b[ib].spans : nullptr;
    if (sa == nullptr && sb == nullptr) continue;
    AppendBand(out, y0, y1, CombineSpans(sa, sb, op));
  }
  return out;
}

void ApplySetOp(RgnHandle a, RgnHandle b, RgnHandle dst, SetOp op) {
  if (a == nullptr || b == nullptr || dst == nullptr) {
    gQDError = paramErr;
    return;
  }
  try {
    dst->bands = Combine(a->bands, b->bands, op);
    gQDError = noErr;
  } catch (const std::bad_alloc &) {
    gQDError = memFullErr;
  }
}

void SetRectBands(RgnHandle rgn, SInt32 left, SInt32 top, SInt32 right, SInt32 bottom) {
  rgn->bands.clear();
  if (right <= left || bottom <= top) return;
  rgn->bands.push_back(Band{top, bottom, {left, right}});
}

}  // namespace

OSErr QDError() { return gQDError; }

void PL_SetQDError(OSErr err) { gQDError = err; }

// ---- Rectangles and points ----

void SetRect(Rect *r, SInt16 left, SInt16 top, SInt16 right, SInt16 bottom) {
  if (r == nullptr) return;
  r->left = left;
  r->top = top;
  r->right = right;
  r->bottom = bottom;
}

void OffsetRect(Rect *r, SInt16 dh, SInt16 dv) {
  if (r == nullptr) return;
  r->left = SInt16(r->left + dh);
  r->right = SInt16(r->right + dh);
  r->top = SInt16(r->top + dv);
  r->bottom = SInt16(r->bottom + dv);
}

void InsetRect(Rect *r, SInt16 dh, SInt16 dv) {
  if (r == nullptr) return;
  r->left = SInt16(r->left + dh);
  r->right = SInt16(r->right - dh);
  r->top = SInt16(r->top + dv);
  r->bottom = SInt16(r->bottom - dv);
  if (r->right <= r->left || r->bottom <= r->top) *r = Rect{0, 0, 0, 0};
}

Boolean SectRect(const Rect *src1, const Rect *src2, Rect *dstRect) {
  Rect s{0, 0, 0, 0};
  bool overlap = false;
  if (src1 != nullptr && src2 != nullptr) {
    s.left = std::max(src1->left, src2->left);
    s.top = std::max(src1->top, src2->top);
    s.right = std::min(src1->right, src2->right);
    s.bottom = std::min(src1->bottom, src2->bottom);
    overlap = s.left < s.right && s.top < s.bottom;
    if (!overlap) s = Rect{0, 0, 0, 0};
  }
  if (dstRect != nullptr) *dstRect = s;
  return overlap;
}

void UnionRect(const Rect *src1, const Rect *src2, Rect *dstRect) {
  if (src1 == nullptr || src2 == nullptr || dstRect == nullptr) return;
  Rect u;
  u.left = std::min(src1->left, src2->left);
  u.top = std::min(src1->top, src2->top);
  u.right = std::max(src1->right, src2->right);
  u.bottom = std::max(src1->bottom, src2->bottom);
  *dstRect = u;
}

Boolean EqualRect(const Rect *rect1, const Rect *rect2) {
  if (rect1 == nullptr || rect2 == nullptr) return false;
  return rect1->top == rect2->top && rect1->left == rect2->left && rect1->bottom == rect2->bottom &&
         rect1->right == rect2->right;
}

Boolean EmptyRect(const Rect *r) { return r == nullptr || r->bottom <= r->top || r->right <= r->left; }

Boolean PtInRect(Point pt, const Rect *r) {
  return r != nullptr && pt.h >= r->left && pt.h < r->right && pt.v >= r->top && pt.v < r->bottom;
}

void SetPt(Point *pt, SInt16 h, SInt16 v) {
  if (pt == nullptr) return;
  pt->h = h;
  pt->v = v;
}

void AddPt(Point src, Point *dst) {
  if (dst == nullptr) return;
  dst->h = SInt16(dst->h + src.h);
  dst->v = SInt16(dst->v + src.v);
}

void SubPt(Point src, Point *dst) {
  if (dst == nullptr) return;
  dst->h = SInt16(dst->h - src.h);
  dst->v = SInt16(dst->v - src.v);
}

Boolean EqualPt(Point pt1, Point pt2) { return pt1.h == pt2.h && pt1.v == pt2.v; }

// ---- Regions ----

RgnHandle NewRgn() {
  RgnHandle rgn = new (std::nothrow) OpaqueRgnHandle;
  gQDError = rgn ? noErr : memFullErr;
  return rgn;
}

void DisposeRgn(RgnHandle rgn) {
  delete rgn;
  gQDError = noErr;
}

void CopyRgn(RgnHandle srcRgn, RgnHandle dstRgn) {
  if (srcRgn == nullptr || dstRgn == nullptr) {
    gQDError = paramErr;
    return;
  }
  if (srcRgn == dstRgn) return;
  try {
    dstRgn->bands = srcRgn->bands;
    gQDError = noErr;
  } catch (const std::bad_alloc &) {
    gQDError = memFullErr;
  }
}

void SetEmptyRgn(RgnHandle rgn) {
  if (rgn != nullptr) rgn->bands.clear();
  gQDError = rgn ? noErr : paramErr;
}

void SetRectRgn(RgnHandle rgn, SInt16 left, SInt16 top, SInt16 right, SInt16 bottom) {
  if (rgn == nullptr) {
    gQDError = paramErr;
    return;
  }
  try {
    SetRectBands(rgn, left, top, right, bottom);
    gQDError = noErr;
  } catch (const std::bad_alloc &) {
    gQDError = memFullErr;
  }
}

void RectRgn(RgnHandle rgn, const Rect *r) {
  if (r == nullptr) {
    gQDError = paramErr;
    return;
  }
  SetRectRgn(rgn, r->left, r->top, r->right, r->bottom);
}

void OffsetRgn(RgnHandle rgn, SInt16 dh, SInt16 dv) {
  if (rgn == nullptr) {
    gQDError = paramErr;
    return;
  }
  for (Band &band : rgn->bands) {
    band.top += dv;
    band.bottom += dv;
    for (SInt32 &x : band.spans) x += dh;
  }
  gQDError = noErr;
}

void SectRgn(RgnHandle a, RgnHandle b, RgnHandle dst) { ApplySetOp(a, b, dst, SetOp::kSect); }
void UnionRgn(RgnHandle a, RgnHandle b, RgnHandle dst) { ApplySetOp(a, b, dst, SetOp::kUnion); }
void DiffRgn(RgnHandle a, RgnHandle b, RgnHandle dst) { ApplySetOp(a, b, dst, SetOp::kDiff); }
void XorRgn(RgnHandle a, RgnHandle b, RgnHandle dst) { ApplySetOp(a, b, dst, SetOp::kXor); }

Boolean PtInRgn(Point pt, RgnHandle rgn) {
  if (rgn == nullptr) return false;
  const std::vector<Band> &bands = rgn->bands;
  auto it = std::upper_bound(bands.begin(), bands.end(), SInt32(pt.v),
                             [](SInt32 v, const Band &band) { return v < band.top; });
  if (it == bands.begin()) return false;
  const Band &band = *(it - 1);
  if (pt.v >= band.bottom) return false;
  // The number of edges at or left of h is odd exactly inside a span.
  auto edge = std::upper_bound(band.spans.begin(), band.spans.end(), SInt32(pt.h));
  return ((edge - band.spans.begin()) & 1) != 0;
}

Boolean EqualRgn(RgnHandle rgnA, RgnHandle rgnB) {
  if (rgnA == nullptr || rgnB == nullptr) return rgnA == rgnB;
  if (rgnA->bands.size() != rgnB->bands.size()) return false;
  for (size_t i = 0; i < rgnA->bands.size(); ++i) {
    const Band &a = rgnA->bands[i];
    const Band &b = rgnB->bands[i];
    if (a.top != b.top || a.bottom != b.bottom || a.spans != b.spans) return false;
  }
  return true;
}

Boolean EmptyRgn(RgnHandle rgn) { return rgn == nullptr || rgn->bands.empty(); }

Boolean IsRegionRectangular(RgnHandle rgn) {
  return rgn != nullptr && (rgn->bands.empty() || (rgn->bands.size() == 1 && rgn->bands[0].spans.size() == 2));
}

Rect *GetRegionBounds(RgnHandle region, Rect *bounds) {
  if (bounds == nullptr) return nullptr;
  *bounds = Rect{0, 0, 0, 0};
  if (region == nullptr || region->bands.empty()) return bounds;
  SInt32 left = region->bands[0].spans.front();
  SInt32 right = region->bands[0].spans.back();
  for (const Band &band : region->bands) {
    left = std::min(left, band.spans.front());
    right = std::max(right, band.spans.back());
  }
  bounds->top = ClampToSInt16(region->bands.front().top);
  bounds->bottom = ClampToSInt16(region->bands.back().bottom);
  bounds->left = ClampToSInt16(left);
  bounds->right = ClampToSInt16(right);
  return bounds;
}

OSStatus QDRegionToRects(RgnHandle rgn, QDRegionParseDirection dir, RegionToRectsUPP proc, void *userData) {
  if (rgn == nullptr || proc == nullptr) return paramErr;
  std::vector<std::vector<Rect>> rows;
  for (const Band &band : rgn->bands) {
    std::vector<Rect> row;
    for (size_t i = 0; i + 1 < band.spans.size(); i += 2)
      row.push_back(Rect{ClampToSInt16(band.top), ClampToSInt16(band.spans[i]), ClampToSInt16(band.bottom),
                         ClampToSInt16(band.spans[i + 1])});
    if (dir & kQDParseRegionFromRight) std::reverse(row.begin(), row.end());
    rows.push_back(std::move(row));
  }
  if (dir & kQDParseRegionFromBottom) std::reverse(rows.begin(), rows.end());
  OSStatus result = proc(kQDRegionToRectsMsgInit, rgn, nullptr, userData);
  for (size_t r = 0; result == noErr && r < rows.size(); ++r)
    for (size_t i = 0; result == noErr && i < rows[r].size(); ++i)
      result = proc(kQDRegionToRectsMsgParse, rgn, &rows[r][i], userData);
  OSStatus terminated = proc(kQDRegionToRectsMsgTerminate, rgn, nullptr, userData);
  return result != noErr ? result : terminated;
}

OSErr BitMapToRegion(RgnHandle region, const BitMap *bMap) {
  if (region == nullptr || bMap == nullptr) return gQDError = paramErr;
  if (bMap->rowBytes & 0x8000) return gQDError = pixmapTooDeepErr;
  SInt32 width = SInt32(bMap->bounds.right) - bMap->bounds.left;
  SInt32 height = SInt32(bMap->bounds.bottom) - bMap->bounds.top;
  if (width <= 0 || height <= 0) {
    region->bands.clear();
    return gQDError = noErr;
  }
  if (bMap->baseAddr == nullptr || SInt32(bMap->rowBytes) * 8 < width) return gQDError = paramErr;
  try {
    std::vector<Band> bands;
    for (SInt32 row = 0; row < height; ++row) {
      const UInt8 *bits = reinterpret_cast<const UInt8 *>(bMap->baseAddr) + size_t(row) * size_t(bMap->rowBytes);
      std::vector<SInt32> spans;
      bool inside = false;
      for (SInt32 x = 0; x < width; ++x) {
        bool set = (bits[x >> 3] & (0x80 >> (x & 7))) != 0;
        if (set != inside) {
          spans.push_back(bMap->bounds.left + x);
          inside = set;
        }
      }
      if (inside) spans.push_back(bMap->bounds.left + width);
      SInt32 y = bMap->bounds.top + row;
      AppendBand(bands, y, y + 1, std::move(spans));
    }
    region->bands = std::move(bands);
  } catch (const std::bad_alloc &) {
    return gQDError = memFullErr;
  }
  return gQDError = noErr;
}

// ---- Random numbers ----

SInt16 Random() {
  gRandomSeed = SInt32((SInt64(gRandomSeed) * 16807) % 2147483647);
  SInt16 value = SInt16(UInt16(UInt32(gRandomSeed) & 0xFFFF));
  return value == -32768 ? 0 : value;
}

SInt32 GetQDGlobalsRandomSeed() { return gRandomSeed; }

void SetQDGlobalsRandomSeed(SInt32 seed) { gRandomSeed = seed; }
