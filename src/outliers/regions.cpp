// Region bookkeeping and queries.
#include "outliers/regions.h"

#include "general/memory_lists.h"

#include <algorithm>
#include <vector>

void RG_DisposeRegion(RG_Region *rgn) {
  if (rgn == nullptr) return;
  if (rgn->pixels != nullptr) GL_DisposePtr(&rgn->pixels);
  for (RG_RgnLE *hole = rgn->holes; hole != nullptr; hole = hole->next) RG_DisposeRegion(&hole->rgn);
  LL_DisposeLinkedList(&rgn->holes);
  *rgn = RG_Region{};
}

Boolean RG_PtInRegion(SInt32 width, const RG_Region *rgn, Point paddedPt) {
  if (rgn == nullptr || rgn->pixels == nullptr || width <= 0) return false;
  const Rect &b = rgn->bounds;
  if (paddedPt.v < b.top || paddedPt.v >= b.bottom || paddedPt.h < b.left || paddedPt.h >= b.right) return false;
  const SInt32 index = SInt32(paddedPt.v) * width + paddedPt.h;
  return std::find(rgn->pixels, rgn->pixels + rgn->numPixels, index) != rgn->pixels + rgn->numPixels;
}

Boolean RG_RegionsOverlap(const RG_Region *rgn1, const RG_Region *rgn2) {
  if (rgn1 == nullptr || rgn2 == nullptr || rgn1->pixels == nullptr || rgn2->pixels == nullptr) return false;
  const Rect &a = rgn1->bounds, &b = rgn2->bounds;
  if (a.left >= b.right || b.left >= a.right || a.top >= b.bottom || b.top >= a.bottom) return false;
  std::vector<SInt32> first(rgn1->pixels, rgn1->pixels + rgn1->numPixels);
  std::sort(first.begin(), first.end());
  for (SInt32 i = 0; i < rgn2->numPixels; ++i)
    if (std::binary_search(first.begin(), first.end(), rgn2->pixels[i])) return true;
  return false;
}
