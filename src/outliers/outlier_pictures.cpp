// The analysis pictures of the outlier stage.
#include "outliers/outlier_pictures.h"

#include "outliers/outlier_stage.h"
#include "outliers/skeleton_node_regions.h"

#include <algorithm>
#include <cstring>

namespace {

inline SInt64 NumPixels(const BZ_OuParams *p) { return SInt64(p->width) * p->height; }

void FillBlack(const BZ_OuParams *p, UInt8 *out) {
  const SInt64 n = NumPixels(p);
  for (SInt64 i = 0; i < n; ++i) {
    out[2 * i] = 128;
    out[2 * i + 1] = 0;
  }
}

inline void SetLuma(UInt8 *out, SInt32 pixel, UInt8 y) { out[2 * SInt64(pixel) + 1] = y; }

void DrawSectorColors(SInt32 width, const SK_Skeleton &skeleton, UInt8 *out) {
  for (const SK_NodeRgnLE *le = skeleton.nodeRgns; le != nullptr; le = le->next) {
    const SK_NodeRgn &nr = le->nodeRgn;
    if (nr.colors == nullptr || nr.numColorIndexes == nullptr || nr.colorIndexes == nullptr) continue;
    for (SInt32 j = 0; j < nr.numLongBranches; ++j) {
      const YCbCrF32 &color = nr.colors[j];
      const SInt32 n = std::clamp<SInt32>(nr.numColorIndexes[j], 0, kSK_NumSectorSamples);
      for (SInt32 m = 0; m < n; ++m) {
        const SInt32 p = nr.colorIndexes[j * kSK_NumSectorSamples + m];
        SetLuma(out, p, UInt8(color.Y));
        out[2 * SInt64(p)] = UInt8((p % width) % 2 == 0 ? color.Cb : color.Cr);
      }
    }
  }
}

}  // namespace

void BZ_CopySkeletonsToOutBuffer(const BZ_OuParams *ouParams, const UInt8 *inBuffer,
                                 const BZ_MvObjectLE *gradObjList, UInt32 flags, UInt8 *outBuffer) {
  if (ouParams == nullptr || outBuffer == nullptr) return;
  FillBlack(ouParams, outBuffer);
  const SInt32 w = ouParams->width;
  for (const BZ_MvObjectLE *e = gradObjList; e != nullptr; e = e->next) {
    const BZ_MvObject &obj = e->mvObj;
    const SK_Skeleton &sk = obj.skeleton;
    if (flags & kBZ_OuDrawNodes)
      for (SInt32 k = 0; k < sk.numNodes; ++k) SetLuma(outBuffer, sk.nodes[k], 128);
    if (flags & kBZ_OuDrawBranches)
      for (SInt32 b = 0; b < sk.numBranches; ++b) {
        const SK_SkeletonBranch &br = sk.branches[b];
        for (SInt32 k = 0; k < br.numPixels; ++k) SetLuma(outBuffer, br.pixels[k], 255);
        if (flags & kBZ_OuDrawCornerPoints)
          for (SInt32 k = 0; k < br.numParamPts; ++k)
            if (br.paramPts[k] >= 0 && br.paramPts[k] < br.numPixels) SetLuma(outBuffer, br.pixels[br.paramPts[k]], 64);
      }
    if (flags & kBZ_OuDrawClosures)
      for (SInt32 c = 0; c < obj.numClosures; ++c) {
        const SK_Closure &closure = obj.closures[c];
        for (SInt32 k = 0; k < std::min<SInt32>(closure.numPixels, 16); ++k) SetLuma(outBuffer, closure.pixels[k], 192);
      }
    if ((flags & kBZ_OuDrawHoles) && inBuffer != nullptr)
      for (const RG_RgnLE *hole = obj.rgn.holes; hole != nullptr; hole = hole->next)
        for (SInt32 k = 0; k < hole->rgn.numPixels; ++k) {
          const SInt64 p = hole->rgn.pixels[k];
          outBuffer[2 * p] = inBuffer[2 * p];
          outBuffer[2 * p + 1] = inBuffer[2 * p + 1];
        }
    if (flags & kBZ_OuDrawSectorColors) DrawSectorColors(w, sk, outBuffer);
  }
}

void BZ_CopyGradSqToOutBuffer(const BZ_OuParams *ouParams, const UInt16 *gradSq, UInt8 *outBuffer) {
  if (ouParams == nullptr || gradSq == nullptr || outBuffer == nullptr) return;
  const SInt64 n = NumPixels(ouParams);
  for (SInt64 i = 0; i < n; ++i) {
    outBuffer[2 * i] = 128;
    outBuffer[2 * i + 1] = UInt8(std::min<UInt16>(255, UInt16(gradSq[i] * 0.085)));
  }
}

void BZ_CopyGradObjToOutBuffer(const BZ_OuParams *ouParams, const UInt16 *data, const BZ_MvObjectLE *gradObjList,
                               UInt8 *outBuffer) {
  if (ouParams == nullptr || data == nullptr || outBuffer == nullptr) return;
  FillBlack(ouParams, outBuffer);
  for (const BZ_MvObjectLE *e = gradObjList; e != nullptr; e = e->next)
    for (SInt32 k = 0; k < e->mvObj.rgn.numPixels; ++k) {
      const SInt32 p = e->mvObj.rgn.pixels[k];
      if (data[p] & kRG_FirstDegree)
        SetLuma(outBuffer, p, 190);
      else if (data[p] & kRG_SecondDegree)
        SetLuma(outBuffer, p, 100);
    }
}

void BZ_CopySkeletonThicknessToOutBuffer(const BZ_OuParams *ouParams, const BZ_MvObjectLE *gradObjList,
                                         UInt8 *outBuffer) {
  if (ouParams == nullptr || outBuffer == nullptr) return;
  FillBlack(ouParams, outBuffer);
  static constexpr UInt8 kLuma[6] = {0, 96, 128, 160, 192, 240};
  UInt8 luma = 255;  // a thickness outside 1 to 5 repeats the value last written
  for (const BZ_MvObjectLE *e = gradObjList; e != nullptr; e = e->next) {
    const SK_Skeleton &sk = e->mvObj.skeleton;
    for (SInt32 b = 0; b < sk.numBranches; ++b) {
      const SK_SkeletonBranch &br = sk.branches[b];
      if (br.thickness == nullptr) continue;
      for (SInt32 k = 0; k < br.numPixels; ++k) {
        if (br.thickness[k] >= 1 && br.thickness[k] <= 5) luma = kLuma[br.thickness[k]];
        SetLuma(outBuffer, br.pixels[k], luma);
      }
    }
  }
}

void BZ_OuCopyMvParamsQualityToBuffer(const BZ_OuParams * /*ouParams*/, const void * /*mv*/, UInt8 * /*outBuffer*/) {}

void BZ_OuCopyMedianFilteredToBuffer(const BZ_OuParams *ouParams, const UInt8 *tempIn, UInt8 *outBuffer) {
  if (ouParams == nullptr || tempIn == nullptr || outBuffer == nullptr) return;
  std::memcpy(outBuffer, tempIn, size_t(NumPixels(ouParams)) * 2);
}
