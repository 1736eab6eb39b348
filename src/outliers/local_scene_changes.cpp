// Local scene changes.
#include "outliers/local_scene_changes.h"

#include "general/memory_lists.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

Rect PictureRect(const BZ_OuParams *p) {
  Rect r{};
  BZ_OuParamsToRealFrameBounds(p, &r);
  return r;
}

size_t PlaneSize(const BZ_OuParams *p) { return size_t(std::max(p->width, 0)) * size_t(std::max(p->height, 0)); }

bool ValidWindow(const BZ_OuParams *p) {
  if (p == nullptr || p->sett == nullptr) return false;
  const SInt32 k = p->sett->numConstPix;
  return k >= 1 && 4 * k + 1 <= kBZ_OuNumWindowSlots && p->numInBuffers == 4 * k + 1;
}

}  // namespace

OSStatus BZ_OuDoNextSceneChanges(const BZ_OuParams *ouParams, const SInt32 *avPixelDiff, UInt8 *const *inBuffers,
                                 UInt16 *data, SInt32 *pixelList, UInt8 *const *localSceneChanges) {
  if (!ValidWindow(ouParams) || avPixelDiff == nullptr || inBuffers == nullptr || localSceneChanges == nullptr)
    return paramErr;
  const SInt32 k = ouParams->sett->numConstPix, maxDiff = ouParams->sett->maxAvPixelDiff;
  UInt8 *plane = localSceneChanges[2 * k];
  if (plane == nullptr) return noErr;
  // avPixelDiff[i] is the scene value between slots i and i + 1.
  if (avPixelDiff[2 * k - 1] > maxDiff) {
    BZ_OuSetGlobalSceneChange(ouParams, plane);
    return noErr;
  }
  BZ_OuClearLocalSceneChanges(ouParams, plane);
  if (inBuffers[k] == nullptr || inBuffers[3 * k] == nullptr) return noErr;
  for (SInt32 i = k; i < 3 * k; ++i)
    if (avPixelDiff[i] > maxDiff) return noErr;
  return BZ_OuCalcLocalSceneChanges(ouParams, inBuffers, data, pixelList, plane);
}

OSStatus BZ_OuCalcLocalSceneChanges(const BZ_OuParams *ouParams, UInt8 *const *inBuffers, UInt16 *data,
                                    SInt32 *pixelList, UInt8 *localSceneChanges) {
  if (!ValidWindow(ouParams) || inBuffers == nullptr || data == nullptr || pixelList == nullptr ||
      localSceneChanges == nullptr)
    return paramErr;
  const SInt32 k = ouParams->sett->numConstPix, d = ouParams->sett->maxAvPixelDiff;
  for (SInt32 s = k; s <= 3 * k; ++s)
    if (inBuffers[s] == nullptr) return paramErr;
  std::memset(data, 0, PlaneSize(ouParams) * sizeof(UInt16));
  const Rect picture = PictureRect(ouParams);
  const SInt32 width = ouParams->width;
  for (SInt32 r = picture.top; r < picture.bottom; ++r)
    for (SInt32 c = picture.left; c < picture.right; ++c) {
      const size_t p = size_t(r) * size_t(width) + size_t(c);
      SInt32 earlyMin = 255, earlyMax = 0, lateMin = 255, lateMax = 0;
      for (SInt32 s = k; s < 2 * k; ++s) {
        const SInt32 y = inBuffers[s][2 * p + 1];
        earlyMin = std::min(earlyMin, y);
        earlyMax = std::max(earlyMax, y);
      }
      for (SInt32 s = 2 * k; s <= 3 * k; ++s) {
        const SInt32 y = inBuffers[s][2 * p + 1];
        lateMin = std::min(lateMin, y);
        lateMax = std::max(lateMax, y);
      }
      if (earlyMin > lateMax + d || earlyMax + d < lateMin)
        data[p] = kRG_FirstDegree;
      else if (earlyMin <= lateMax && earlyMax >= lateMin)
        data[p] = 0;
      else
        data[p] = kRG_SecondDegree;
    }
  RG_RgnLE *lscList = nullptr;
  OSStatus err = BZ_OuFindLocalSceneChanges(ouParams, data, pixelList, &lscList);
  for (RG_RgnLE *e = lscList; e != nullptr && err == noErr; e = e->next)
    err = RG_FindHolesInRgn(width, &picture, data, &e->rgn, pixelList);
  if (err == noErr) BZ_OuCopyLocalSceneChanges(lscList, localSceneChanges);
  BZ_OuDisposeLocalSceneChanges(&lscList);
  return err;
}

OSStatus BZ_OuFindLocalSceneChanges(const BZ_OuParams *ouParams, UInt16 *data, SInt32 *pixelList,
                                    RG_RgnLE **lscList) {
  if (ouParams == nullptr || data == nullptr || pixelList == nullptr || lscList == nullptr) return paramErr;
  // Growth stays inside the picture, so no region can leave it.
  const Rect picture = PictureRect(ouParams);
  const SInt32 count = RG_FindRgns(ouParams->width, &picture, data, pixelList, lscList);
  if (count < 0) return count;
  std::printf("Lsc count = %ld\n", long(count));
  return noErr;
}

OSStatus BZ_OuConstructLocalSceneChange(const BZ_OuParams *ouParams, UInt16 *data, SInt32 seedNum,
                                        SInt32 *pixelList, RG_RgnLE **lscList) {
  if (ouParams == nullptr || data == nullptr || pixelList == nullptr || lscList == nullptr || seedNum < 0 ||
      size_t(seedNum) >= PlaneSize(ouParams))
    return paramErr;
  RG_RgnLE *last = static_cast<RG_RgnLE *>(LL_GetLastPtr(*lscList)), *e = nullptr;
  if (OSStatus err = RG_AppendNewElement(lscList, &last, &e); err != noErr) return err;
  const Rect picture = PictureRect(ouParams);
  return RG_ConstructRgn(ouParams->width, &picture, data, seedNum, pixelList, &e->rgn);
}

void BZ_OuCopyLocalSceneChanges(const RG_RgnLE *lscList, UInt8 *localSceneChanges) {
  if (localSceneChanges == nullptr) return;
  for (const RG_RgnLE *e = lscList; e != nullptr; e = e->next) {
    // Without clearing, the mask routine only needs the pixel indexes, not the frame width.
    RG_RegionToMask(1, &e->rgn, false, localSceneChanges);
    for (const RG_RgnLE *h = e->rgn.holes; h != nullptr; h = h->next)
      RG_RegionToMask(1, &h->rgn, false, localSceneChanges);
  }
}

void BZ_OuSetGlobalSceneChange(const BZ_OuParams *ouParams, UInt8 *localSceneChanges) {
  if (ouParams != nullptr && localSceneChanges != nullptr) std::memset(localSceneChanges, 1, PlaneSize(ouParams));
}

void BZ_OuClearLocalSceneChanges(const BZ_OuParams *ouParams, UInt8 *localSceneChanges) {
  if (ouParams != nullptr && localSceneChanges != nullptr) std::memset(localSceneChanges, 0, PlaneSize(ouParams));
}

void BZ_OuDisposeLocalSceneChanges(RG_RgnLE **lscList) { RG_DisposeRgnList(lscList); }

void BZ_OuCopySceneChangesToBuffer(const BZ_OuParams *ouParams, const UInt8 *localSceneChanges, UInt8 *outBuffer) {
  if (ouParams == nullptr || localSceneChanges == nullptr || outBuffer == nullptr) return;
  const size_t n = PlaneSize(ouParams);
  for (size_t i = 0; i < n; ++i) {
    outBuffer[2 * i] = 128;
    outBuffer[2 * i + 1] = localSceneChanges[i] ? 128 : 255;
  }
}
