// Region growing, rings, measures and queries.
#include "outliers/regions.h"

#include "general/memory_lists.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr SInt32 kNeighbourRow[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
constexpr SInt32 kNeighbourCol[8] = {-1, 0, 1, -1, 1, -1, 0, 1};

inline float Weight(UInt16 flags) { return float(flags & kRG_CoverageMask); }

}  // namespace

OSStatus RG_ConstructRgn(SInt32 width, const Rect *bounds, UInt16 *data, SInt32 seedNum, SInt32 *pixelList,
                         RG_Region *newRgn) {
  if (width <= 0 || bounds == nullptr || data == nullptr || pixelList == nullptr || newRgn == nullptr || seedNum < 0)
    return paramErr;
  SInt32 count = 0;
  pixelList[count++] = seedNum;
  data[seedNum] |= kRG_InRegion;
  newRgn->numFirstDegreePixels = 1;
  newRgn->bounds = Rect{SInt16(seedNum / width), SInt16(seedNum % width), SInt16(seedNum / width + 1),
                        SInt16(seedNum % width + 1)};
  for (SInt32 next = 0; next < count; ++next) {
    const SInt32 p = pixelList[next];
    const bool firstDegree = (data[p] & kRG_FirstDegree) != 0;
    const SInt32 row = p / width, col = p % width;
    for (int n = 0; n < 8; ++n) {
      const SInt32 r = row + kNeighbourRow[n], c = col + kNeighbourCol[n];
      if (!RG_InBounds(*bounds, r, c)) continue;
      const SInt32 q = r * width + c;
      const UInt16 f = data[q];
      if (f & kRG_InRegion) continue;
      const bool joins = (f & kRG_FirstDegree) || ((f & kRG_SecondDegree) && firstDegree);
      if (!joins) continue;
      pixelList[count++] = q;
      data[q] |= kRG_InRegion;
      if (f & kRG_FirstDegree)
        ++newRgn->numFirstDegreePixels;
      else
        ++newRgn->numSecDegreePixels;
      RG_AddIndexToBounds(width, q, &newRgn->bounds);
    }
  }
  OSStatus err = GL_NewPtr(sizeof(SInt32) * size_t(count), &newRgn->pixels);
  if (err != noErr) return err;
  std::memcpy(newRgn->pixels, pixelList, sizeof(SInt32) * size_t(count));
  newRgn->numPixels = count;
  newRgn->pixelsSize = count;
  return noErr;
}

SInt32 RG_FindRgns(SInt32 width, const Rect *bounds, UInt16 *data, SInt32 *pixelList, RG_RgnLE **rgnList) {
  if (width <= 0 || bounds == nullptr || data == nullptr || pixelList == nullptr || rgnList == nullptr)
    return paramErr;
  RG_RgnLE *last = static_cast<RG_RgnLE *>(LL_GetLastPtr(*rgnList));
  OSStatus err = noErr;
  for (SInt32 r = bounds->top; r < bounds->bottom && err == noErr; ++r)
    for (SInt32 c = bounds->left; c < bounds->right && err == noErr; ++c) {
      const SInt32 p = r * width + c;
      if ((data[p] & (kRG_FirstDegree | kRG_InRegion)) != kRG_FirstDegree) continue;
      RG_RgnLE *e = nullptr;
      err = RG_AppendNewElement(rgnList, &last, &e);
      if (err == noErr) err = RG_ConstructRgn(width, bounds, data, p, pixelList, &e->rgn);
    }
  SInt32 count = 0;
  for (RG_RgnLE *e = *rgnList; e != nullptr; e = e->next) e->number = count++;
  return err != noErr ? err : count;
}

OSStatus RG_FindRgnEdgeInnerRing(SInt32 width, const Rect *bounds, UInt16 *data, RG_Region *rgn, SInt32 *pixelList) {
  if (width <= 0 || bounds == nullptr || data == nullptr || rgn == nullptr || pixelList == nullptr ||
      rgn->pixels == nullptr)
    return paramErr;
  SInt32 ring = 0;
  for (SInt32 i = 0; i < rgn->numPixels; ++i) {
    const SInt32 p = rgn->pixels[i];
    const SInt32 row = p / width, col = p % width;
    for (int n = 0; n < 8; ++n) {
      const SInt32 r = row + kNeighbourRow[n], c = col + kNeighbourCol[n];
      if (!RG_InBounds(*bounds, r, c)) continue;
      const SInt32 q = r * width + c;
      if (data[q] & (kRG_InRegion | kRG_InnerRing)) continue;
      data[q] |= kRG_InnerRing;
      pixelList[ring++] = q;
    }
  }
  rgn->edgeSize1 = ring;
  const SInt32 needed = rgn->numPixels + ring;
  if (needed > rgn->pixelsSize) {
    OSStatus err = GL_SetPtrSizeClear(sizeof(SInt32) * size_t(rgn->pixelsSize), sizeof(SInt32) * size_t(2 * needed),
                                      &rgn->pixels);
    if (err != noErr) return err;
    rgn->pixelsSize = 2 * needed;
  }
  std::memcpy(rgn->pixels + rgn->numPixels, pixelList, sizeof(SInt32) * size_t(ring));
  return noErr;
}

OSStatus RG_FindHolesInRgn(SInt32 width, const Rect * /*frameBounds*/, UInt16 *data, RG_Region *rgn,
                           SInt32 *pixelList) {
  if (width <= 0 || data == nullptr || rgn == nullptr || pixelList == nullptr || rgn->pixels == nullptr)
    return paramErr;
  if (rgn->numPixels <= 3) return noErr;
  constexpr UInt16 kWorkBits = kRG_InnerRing | kRG_HoleRegion | kRG_HolePixel;
  const Rect rb = rgn->bounds;
  RG_ClearFlagInRgn(width, &rb, data, kWorkBits);
  RG_SetFlagInRgn(rgn, data, kRG_HoleRegion);
  RG_SealRgn(width, rgn, data, kRG_HoleRegion, kRG_InnerRing);

  OSStatus err = noErr;
  RG_RgnLE *last = static_cast<RG_RgnLE *>(LL_GetLastPtr(rgn->holes));
  for (SInt32 r = rb.top; r < rb.bottom && err == noErr; ++r)
    for (SInt32 c = rb.left; c < rb.right && err == noErr; ++c) {
      const SInt32 p = r * width + c;
      if (data[p] & kWorkBits) continue;
      RG_RgnLE *hole = nullptr;
      err = RG_AppendNewElement(&rgn->holes, &last, &hole);
      if (err == noErr) err = RG_FindHoleInRgn(width, data, rgn, p, pixelList, hole);
    }

  // An area that reaches a side of the bounds lies outside the region.
  SInt32 numHoles = 0;
  RG_RgnLE *kept = nullptr;
  for (RG_RgnLE *hole = rgn->holes; hole != nullptr;) {
    RG_RgnLE *next = hole->next;
    if (hole->rgn.pixels == nullptr || RG_HoleTouchesRgnSide(width, &rb, &hole->rgn)) {
      RG_DisposeRgn(&hole->rgn);
      (kept != nullptr ? kept->next : rgn->holes) = next;
      GL_DisposePtr(&hole);
    } else {
      hole->number = numHoles++;
      kept = hole;
    }
    hole = next;
  }
  rgn->numHoles = numHoles;
  RG_ClearFlagInRgn(width, &rb, data, kWorkBits);
  return err;
}

OSStatus RG_FindHoleInRgn(SInt32 width, UInt16 *data, const RG_Region *rgn, SInt32 seedNum, SInt32 *pixelList,
                          RG_RgnLE *newHoleLE) {
  if (width <= 0 || data == nullptr || rgn == nullptr || pixelList == nullptr || newHoleLE == nullptr || seedNum < 0)
    return paramErr;
  constexpr UInt16 kWorkBits = kRG_InnerRing | kRG_HoleRegion | kRG_HolePixel;
  const Rect &rb = rgn->bounds;
  RG_Region &hole = newHoleLE->rgn;
  SInt32 count = 0;
  pixelList[count++] = seedNum;
  data[seedNum] |= kRG_HolePixel;
  hole.bounds = Rect{SInt16(seedNum / width), SInt16(seedNum % width), SInt16(seedNum / width + 1),
                     SInt16(seedNum % width + 1)};
  for (SInt32 next = 0; next < count; ++next) {
    const SInt32 p = pixelList[next];
    const SInt32 row = p / width, col = p % width;
    for (int n = 0; n < 8; ++n) {
      const SInt32 r = row + kNeighbourRow[n], c = col + kNeighbourCol[n];
      if (!RG_InBounds(rb, r, c)) continue;
      const SInt32 q = r * width + c;
      if (data[q] & kWorkBits) continue;
      data[q] |= kRG_HolePixel;
      pixelList[count++] = q;
      RG_AddIndexToBounds(width, q, &hole.bounds);
    }
  }
  OSStatus err = GL_NewPtr(sizeof(SInt32) * size_t(count), &hole.pixels);
  if (err != noErr) return err;
  std::memcpy(hole.pixels, pixelList, sizeof(SInt32) * size_t(count));
  hole.numPixels = count;
  hole.pixelsSize = count;
  return noErr;
}

Boolean RG_HasFirstDegreeNeigbor(SInt32 width, const Rect *bounds, const UInt16 *data, SInt32 pixelNum) {
  if (width <= 0 || bounds == nullptr || data == nullptr || pixelNum < 0) return false;
  const SInt32 row = pixelNum / width, col = pixelNum % width;
  for (int n = 0; n < 8; ++n) {
    const SInt32 r = row + kNeighbourRow[n], c = col + kNeighbourCol[n];
    if (RG_InBounds(*bounds, r, c) && (data[r * width + c] & kRG_FirstDegree)) return true;
  }
  return false;
}

SInt32 RG_GetNumJumps(SInt32 width, const UInt16 *data, const Rect *bounds, SInt32 pixelHeight, SInt32 pixelWidth) {
  if (width <= 0 || data == nullptr || bounds == nullptr) return 0;
  SInt32 jumps = 0;
  bool havePrev = false, prevSet = false;
  // Nine steps: the circle closes on the top-left neighbour it started with.
  for (SInt32 k = 0; k <= 8; ++k) {
    const SInt32 d = k & 7;
    const SInt32 r = pixelHeight + kRG_DirRow[d], c = pixelWidth + kRG_DirCol[d];
    if (!RG_InBounds(*bounds, r, c)) continue;
    const bool set = (data[r * width + c] & kRG_HoleRegion) != 0;
    if (havePrev && set && !prevSet) ++jumps;
    havePrev = true;
    prevSet = set;
  }
  return jumps;
}

int RG_RgnComparatorBySize(const void *x, const void *y) {
  const float a = static_cast<const RG_RgnLE *>(x)->rgn.size, b = static_cast<const RG_RgnLE *>(y)->rgn.size;
  return a > b ? 1 : b > a ? -1 : 0;
}

void RG_DisposeRgnList(RG_RgnLE **rgnList) {
  if (rgnList == nullptr) return;
  for (RG_RgnLE *e = *rgnList; e != nullptr; e = e->next) RG_DisposeRgn(&e->rgn);
  LL_DisposeLinkedList(rgnList);
}

Boolean RG_HoleTouchesRgnSide(SInt32 /*width*/, const Rect *bounds, const RG_Region *hole) {
  if (bounds == nullptr || hole == nullptr || hole->numPixels <= 0) return false;
  // The hole's bounds are those of its pixels, so they touch a side exactly when one of its pixels does.
  const Rect &h = hole->bounds;
  return h.top == bounds->top || h.left == bounds->left || h.bottom == bounds->bottom || h.right == bounds->right;
}

void RG_SealRgn(SInt32 frameWidth, const RG_Region *rgn, UInt16 *data, UInt16 rgnFlag, UInt16 flagToSet) {
  if (frameWidth <= 0 || rgn == nullptr || data == nullptr) return;
  const Rect &rb = rgn->bounds;
  SInt32 startCol = -1;
  for (SInt32 c = rb.left; c < rb.right; ++c)
    if (data[rb.top * frameWidth + c] & rgnFlag) {
      startCol = c;
      break;
    }
  if (startCol < 0) return;
  const SInt32 startRow = rb.top;
  SInt32 curRow = startRow, curCol = startCol;
  SInt32 backRow = startRow, backCol = startCol - 1;
  if (startCol == rb.left) {
    backRow = startRow + 1;
    backCol = startCol;
  }
  // Each step is decided by the current pixel and the direction back, so a trace that has not come home after
  // visiting every such state can only be circling; the bound ends it without changing any finished trace.
  const SInt64 maxSteps = 8 * SInt64(rb.bottom - rb.top) * SInt64(rb.right - rb.left) + 8;
  for (SInt64 step = 0; step < maxSteps; ++step) {
    const SInt32 d0 = RG_DirectionOfOffset(backRow - curRow, backCol - curCol);
    SInt32 foundRow = -1, foundCol = -1;
    for (SInt32 k = 1; k <= 8; ++k) {
      const SInt32 d = (d0 + k) & 7;
      const SInt32 r = curRow + kRG_DirRow[d], c = curCol + kRG_DirCol[d];
      if (!RG_InBounds(rb, r, c)) continue;
      UInt16 &f = data[r * frameWidth + c];
      if (f & rgnFlag) {
        foundRow = r;
        foundCol = c;
        break;
      }
      f |= flagToSet;
    }
    if (foundRow < 0) return;  // a lone pixel has no contour to follow
    backRow = curRow;
    backCol = curCol;
    curRow = foundRow;
    curCol = foundCol;
    if (curRow == startRow && curCol == startCol) return;
  }
}

void RG_RegionToMask(SInt32 frameWidth, const RG_Region *rgn, Boolean clear, UInt8 *mask) {
  if (frameWidth <= 0 || rgn == nullptr || mask == nullptr) return;
  const Rect &b = rgn->bounds;
  if (clear)
    for (SInt32 r = b.top; r < b.bottom; ++r)
      std::memset(mask + SInt64(r) * frameWidth + b.left, 0, size_t(std::max(0, b.right - b.left)));
  if (rgn->pixels == nullptr) return;
  for (SInt32 i = 0; i < rgn->numPixels; ++i) mask[rgn->pixels[i]] = 1;
}

void RG_CalcRgnSize(const UInt16 *data, RG_Region *rgn) {
  if (data == nullptr || rgn == nullptr || rgn->pixels == nullptr) return;
  float sum = 0;
  for (SInt32 i = 0; i < rgn->numPixels; ++i) sum += Weight(data[rgn->pixels[i]]);
  rgn->size = sum / 10.0f;
}

void RG_CalcRgnColor(SInt32 width, const UInt8 *inBuffer, const UInt16 *data, RG_Region *rgn) {
  if (width <= 0 || inBuffer == nullptr || data == nullptr || rgn == nullptr || rgn->pixels == nullptr) return;
  const SInt32 n = std::min(rgn->numPixels, rgn->numFirstDegreePixels + rgn->numSecDegreePixels);
  if (n <= 0) return;
  double wY = 0, sY = 0, wCb = 0, sCb = 0, wCr = 0, sCr = 0;
  for (SInt32 i = 0; i < n; ++i) {
    const SInt32 p = rgn->pixels[i];
    const double w = Weight(data[p]);
    wY += w;
    sY += w * inBuffer[2 * p + 1];
    ((p & 1) == 0 ? wCb : wCr) += w;
    ((p & 1) == 0 ? sCb : sCr) += w * inBuffer[2 * p];
  }
  // A region without pixels of one chroma kind borrows that kind from its first pixel's neighbour.
  const SInt32 first = rgn->pixels[0];
  const SInt32 neighbour = ((first + 1) % width == 0) ? first - 1 : first + 1;
  if (wCb <= 0) {
    wCb = 1;
    sCb = inBuffer[2 * neighbour];
  } else if (wCr <= 0) {
    wCr = 1;
    sCr = inBuffer[2 * neighbour];
  }
  const float avY = wY > 0 ? float(sY / wY) : 0.0f, avCb = float(sCb / wCb), avCr = float(sCr / wCr);
  rgn->avColor = YCbCrF32{avY, avCb, avCr};
  double dY = 0, dCb = 0, dCr = 0;
  for (SInt32 i = 0; i < n; ++i) {
    const SInt32 p = rgn->pixels[i];
    const double w = Weight(data[p]);
    dY += w * std::fabs(double(inBuffer[2 * p + 1]) - double(avY));
    if ((p & 1) == 0)
      dCb += w * std::fabs(double(inBuffer[2 * p]) - double(avCb));
    else
      dCr += w * std::fabs(double(inBuffer[2 * p]) - double(avCr));
  }
  rgn->colorStddev = YCbCrF32{wY > 0 ? float(dY / wY) : 0.0f, float(dCb / wCb), float(dCr / wCr)};
}

void RG_CalcRgnCM(SInt32 width, const UInt16 *data, RG_Region *rgn) {
  if (width <= 0 || data == nullptr || rgn == nullptr || rgn->pixels == nullptr) return;
  double sx = 0, sy = 0, sw = 0;
  for (SInt32 i = 0; i < rgn->numPixels; ++i) {
    const SInt32 p = rgn->pixels[i];
    const double w = Weight(data[p]);
    sx += w * (p % width + 0.5);
    sy += w * (p / width + 0.5);
    sw += w;
  }
  if (sw <= 0) return;
  rgn->cmX = float(sx / sw);
  rgn->cmY = float(sy / sw);
}

void RG_ClearFlagInRgn(SInt32 width, const Rect *bounds, UInt16 *data, UInt16 flag) {
  if (width <= 0 || bounds == nullptr || data == nullptr) return;
  for (SInt32 r = bounds->top; r < bounds->bottom; ++r)
    for (SInt32 c = bounds->left; c < bounds->right; ++c) data[r * width + c] &= UInt16(~flag);
}

void RG_SetFlagInRgn(const RG_Region *rgn, UInt16 *data, UInt16 flag) {
  if (rgn == nullptr || data == nullptr || rgn->pixels == nullptr) return;
  for (SInt32 i = 0; i < rgn->numPixels; ++i) data[rgn->pixels[i]] |= flag;
}

void RG_AddIndexToBounds(SInt32 frameWidth, SInt32 index, Rect *bounds) {
  if (frameWidth <= 0 || bounds == nullptr) return;
  const SInt16 v = SInt16(index / frameWidth), h = SInt16(index % frameWidth);
  bounds->top = std::min(bounds->top, v);
  bounds->left = std::min(bounds->left, h);
  bounds->bottom = std::max(bounds->bottom, SInt16(v + 1));
  bounds->right = std::max(bounds->right, SInt16(h + 1));
}

void RG_PrintRgnData(SInt32 width, const Rect *frameBounds, const Rect *rgnBounds, const UInt16 *data, UInt16 flags,
                     UInt16 notFlags) {
  if (width <= 0 || frameBounds == nullptr || rgnBounds == nullptr || data == nullptr) return;
  const SInt32 top = std::max<SInt32>(rgnBounds->top - 3, frameBounds->top);
  const SInt32 bottom = std::min<SInt32>(rgnBounds->bottom + 3, frameBounds->bottom);
  const SInt32 left = std::max<SInt32>(rgnBounds->left - 3, frameBounds->left);
  const SInt32 right = std::min<SInt32>(rgnBounds->right + 3, frameBounds->right);
  for (SInt32 r = top; r < bottom; ++r) {
    for (SInt32 c = left; c < right; ++c) {
      UInt16 f = data[r * width + c];
      if (flags != 0)
        f &= flags;
      else if (notFlags != 0)
        f &= UInt16(~notFlags);
      std::printf("%hu,", f);
    }
    std::printf("\n");
  }
}

void RG_DisposeRgn(RG_Region *rgn) {
  if (rgn == nullptr) return;
  if (rgn->pixels != nullptr) GL_DisposePtr(&rgn->pixels);
  for (RG_RgnLE *hole = rgn->holes; hole != nullptr; hole = hole->next) RG_DisposeRgn(&hole->rgn);
  LL_DisposeLinkedList(&rgn->holes);
  rgn->numHoles = 0;
}

Boolean RG_PtInRegion(SInt32 width, Point pt, const RG_Region *rgn) {
  if (rgn == nullptr || rgn->pixels == nullptr || width <= 0) return false;
  const Rect &b = rgn->bounds;
  if (pt.v < b.top || pt.v >= b.bottom || pt.h < b.left || pt.h >= b.right) return false;
  const SInt32 index = SInt32(pt.v) * width + pt.h;
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
