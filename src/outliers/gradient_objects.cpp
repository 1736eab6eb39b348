// Gradient plane (scalar version and dispatcher), flags, objects and their skeletons.
#include "outliers/gradient_objects.h"

#include "engine/runtime/project_types.h"
#include "general/memory_lists.h"
#include "outliers/outlier_stage.h"
#include "outliers/skeleton_node_regions.h"

#include <cstdio>

void BZ_OuCalcGradSq(const BZ_OuParams *ouParams, const UInt8 *inBuffer, UInt16 * /*tempIn*/, UInt16 *gradSq,
                     SInt32 * /*pixelList*/) {
  if (ouParams == nullptr || inBuffer == nullptr || gradSq == nullptr) return;
  Rect fb{};
  BZ_OuParamsToRealFrameBounds(ouParams, &fb);
  const SInt64 w = ouParams->width;
  auto Y = [inBuffer](SInt64 p) { return SInt32(inBuffer[2 * p + 1]); };
  auto sq = [](SInt32 d) { return d * d; };
  for (SInt32 r = fb.top + 1; r <= fb.bottom - 2; ++r)
    for (SInt32 c = fb.left + 1; c <= fb.right - 2; ++c) {
      const SInt64 p = r * w + c, u = p - w, d = p + w;
      const SInt32 gx = sq(Y(u + 1) - Y(u - 1)) + sq(2 * (Y(p + 1) - Y(p - 1))) + sq(Y(d + 1) - Y(d - 1));
      const SInt32 gy = sq(Y(d - 1) - Y(u - 1)) + sq(2 * (Y(d) - Y(u))) + sq(Y(d + 1) - Y(u + 1));
      gradSq[p] = UInt16(((gx + gy) * 21) >> 8);
    }
}

void BZ_OuCalcGradSqUni(const BZ_OuParams *ouParams, const UInt8 *inBuffer, UInt16 *tempIn, UInt16 *gradSq,
                        SInt32 *pixelList) {
  if (gBZ.procInfo.hasSSE3)
    BZ_OuCalcGradSqAcc(ouParams, inBuffer, tempIn, gradSq, pixelList);
  else
    BZ_OuCalcGradSq(ouParams, inBuffer, tempIn, gradSq, pixelList);
}

SInt32 BZ_FindObjRgns(SInt32 width, const Rect *bounds, UInt16 *data, SInt32 *pixelList, BZ_MvObjectLE **mvObjList) {
  if (width <= 0 || bounds == nullptr || data == nullptr || pixelList == nullptr || mvObjList == nullptr)
    return paramErr;
  BZ_MvObjectLE *last = static_cast<BZ_MvObjectLE *>(LL_GetLastPtr(*mvObjList));
  OSStatus err = noErr;
  for (SInt32 r = bounds->top; r < bounds->bottom && err == noErr; ++r)
    for (SInt32 c = bounds->left; c < bounds->right && err == noErr; ++c) {
      const SInt32 p = r * width + c;
      if (!(data[p] & kRG_FirstDegree) || (data[p] & kRG_InRegion)) continue;
      BZ_MvObjectLE *obj = nullptr, *before = last;
      err = RG_AppendNewElement(mvObjList, &last, &obj);
      if (err != noErr) break;
      err = RG_ConstructRgn(width, bounds, data, p, pixelList, &obj->mvObj.rgn);
      if (err != noErr) {
        // The object without a region is taken off again.
        (before != nullptr ? before->next : *mvObjList) = nullptr;
        last = before;
        GL_DisposePtr(&obj);
      }
    }
  SInt32 count = 0;
  for (BZ_MvObjectLE *e = *mvObjList; e != nullptr; e = e->next) e->number = count++;
  return err != noErr ? err : count;
}

OSStatus BZ_OuFindGradObjects(const BZ_OuParams *ouParams, const UInt16 *gradSq, UInt16 *data, SInt32 *pixelList,
                              BZ_MvObjectLE **gradObjList, UInt16 *objData) {
  if (ouParams == nullptr || gradSq == nullptr || data == nullptr || pixelList == nullptr || gradObjList == nullptr ||
      objData == nullptr)
    return paramErr;
  BZ_MvDisposeMvObjList(gradObjList);
  Rect fb{};
  BZ_OuParamsToRealFrameBounds(ouParams, &fb);
  const SInt32 w = ouParams->width;
  constexpr SInt32 kFull = kBZ_OuGradFirstDegree;
  for (SInt32 r = fb.top; r < fb.bottom; ++r)
    for (SInt32 c = fb.left; c < fb.right; ++c) {
      const SInt32 p = r * w + c;
      const SInt32 g = gradSq[p];
      data[p] = g >= kFull         ? UInt16(kRG_FirstDegree | 10)
                : 2 * g >= kFull ? UInt16(kRG_SecondDegree + ((2 * g - kFull) * 10) / kFull)
                                 : UInt16(0);
    }
  const SInt32 count = BZ_FindObjRgns(w, &fb, data, pixelList, gradObjList);
  std::printf("Gradient region count: %ld\n", long(count));
  if (count < 0) return count;
  for (BZ_MvObjectLE *e = *gradObjList; e != nullptr; e = e->next) {
    const OSStatus err = RG_FindHolesInRgn(w, &fb, data, &e->mvObj.rgn, pixelList);
    if (err != noErr) return err;
    for (SInt32 k = 0; k < e->mvObj.rgn.numPixels; ++k) objData[e->mvObj.rgn.pixels[k]] = UInt16(e->number);
  }
  return noErr;
}

OSStatus BZ_OuCalcMoreObjProperties(SInt32 frameWidth, const UInt8 *inBuffer, UInt16 *data, UInt8 *masks[3],
                                    BZ_MvObjectLE *mvObjList, SInt32 numObjects, SInt32 *pixelList) {
  if (frameWidth <= 0 || inBuffer == nullptr || data == nullptr || masks == nullptr || masks[0] == nullptr ||
      masks[1] == nullptr || masks[2] == nullptr || pixelList == nullptr)
    return paramErr;
  SInt32 k = 0;
  for (BZ_MvObjectLE *e = mvObjList; e != nullptr && k < numObjects; e = e->next, ++k) {
    BZ_MvObject &obj = e->mvObj;
    // Made again from the region, so that a second call does not leave the first one's skeleton behind.
    SK_DisposeSkeleton(&obj.skeleton);
    GL_DisposePtr(&obj.closures);
    obj.numClosures = 0;
    const Rect bounds = obj.rgn.bounds;
    RG_RegionToMask(frameWidth, &obj.rgn, true, masks[0]);
    RG_RegionToMask(frameWidth, &obj.rgn, true, masks[1]);
    OSStatus err = SK_ReduceMaskToSkeleton(frameWidth, &bounds, masks[1], masks[2]);
    if (err == noErr)
      err = SK_FindSkeletonBranchesAndNodes(frameWidth, &bounds, masks[0], masks[1], masks[2], &obj.skeleton,
                                            pixelList);
    if (err == noErr && !obj.skeleton.isLoop) {
      err = SK_CalcBranchClosures(frameWidth, &obj.skeleton, &obj.numClosures, &obj.closures);
      if (err == noErr)
        err = SK_CalcNodeRgns(frameWidth, inBuffer, &bounds, masks[0], data, pixelList, &obj.skeleton);
    }
    if (err != noErr) return err;
  }
  return noErr;
}
