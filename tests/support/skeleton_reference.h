// The skeleton thinning written the plain way, for checking the shipped one: every sub-pass scans the whole
// bounds row by row, marks the pixels whose neighbourhood (as it stood when the sub-pass began) meets the
// sub-pass rule, and clears them afterwards; the last clean-up clears each pixel as it is found. Header only,
// standard library and platform types only.
#pragma once

#include "platform/core/mac_types.h"

#include <cstring>

namespace bz_test {

struct ReferenceRing {
  bool tl, t, tr, r, br, b, bl, l;
  int count, jumps;
};

inline ReferenceRing ReferenceRingAt(SInt32 w, const Rect &bounds, const UInt8 *mask, SInt32 row, SInt32 col) {
  auto at = [&](SInt32 dr, SInt32 dc) {
    const SInt32 r = row + dr, c = col + dc;
    return r >= bounds.top && r < bounds.bottom && c >= bounds.left && c < bounds.right && mask[r * w + c] != 0;
  };
  ReferenceRing n{at(-1, -1), at(-1, 0), at(-1, 1), at(0, 1), at(1, 1), at(1, 0), at(1, -1), at(0, -1), 0, 0};
  const bool circle[9] = {n.tl, n.t, n.tr, n.r, n.br, n.b, n.bl, n.l, n.tl};
  for (int k = 0; k < 8; ++k) {
    n.count += circle[k] ? 1 : 0;
    n.jumps += (!circle[k] && circle[k + 1]) ? 1 : 0;
  }
  return n;
}

// step 0: the thinning; 1: pixels with 4 neighbours; 2: pixels with 3 neighbours.
inline bool ReferenceRemovable(int step, int subPass, const ReferenceRing &n) {
  if (step == 0) {
    if (n.count < 2 || n.count > 6 || n.jumps != 1) return false;
    return subPass == 0 ? !(n.t && n.r && n.b) && !(n.r && n.b && n.l) : !(n.t && n.r && n.l) && !(n.t && n.b && n.l);
  }
  if (step == 1) {
    if (n.count != 4 || n.jumps != 2) return false;
    return subPass == 0 ? (n.tr && n.r && n.b && n.bl) || (n.tl && n.t && n.r && n.br)
                        : (n.t && n.tr && n.bl && n.l) || (n.tl && n.br && n.b && n.l);
  }
  if (n.count != 3 || n.jumps != 2) return false;
  return subPass == 0 ? (n.t && n.r && n.br) || (n.r && n.b && n.bl) || (n.r && n.b && n.tr) || (n.b && n.l && n.br)
                      : (n.t && n.r && n.tl) || (n.l && n.t && n.bl) || (n.l && n.t && n.tr) || (n.b && n.l && n.tl);
}

inline void ReferenceThinning(SInt32 w, const Rect &bounds, UInt8 *mask, UInt8 *remove) {
  for (SInt32 r = bounds.top; r < bounds.bottom; ++r) std::memset(remove + r * w + bounds.left, 0, size_t(bounds.right - bounds.left));
  auto subPass = [&](int step, int sub) {
    int marked = 0;
    for (SInt32 r = bounds.top; r < bounds.bottom; ++r)
      for (SInt32 c = bounds.left; c < bounds.right; ++c)
        if (mask[r * w + c] && ReferenceRemovable(step, sub, ReferenceRingAt(w, bounds, mask, r, c))) {
          remove[r * w + c] = 1;
          ++marked;
        }
    for (SInt32 r = bounds.top; r < bounds.bottom; ++r)
      for (SInt32 c = bounds.left; c < bounds.right; ++c)
        if (remove[r * w + c]) mask[r * w + c] = 0;
    return marked;
  };
  for (int step = 0; step < 3; ++step)
    for (;;) {
      const int marked = subPass(step, 0) + subPass(step, 1);
      if (marked == 0) break;
    }
  for (SInt32 r = bounds.top; r < bounds.bottom; ++r)
    for (SInt32 c = bounds.left; c < bounds.right; ++c) {
      if (!mask[r * w + c]) continue;
      const ReferenceRing n = ReferenceRingAt(w, bounds, mask, r, c);
      if (n.count == 2 && n.jumps == 2 && ((n.t && n.r) || (n.r && n.b) || (n.b && n.l) || (n.l && n.t)))
        mask[r * w + c] = 0;
    }
}

}  // namespace bz_test
