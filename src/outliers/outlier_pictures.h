// The outlier stage's analysis pictures, written into a padded '2vuy' output frame of the parameters' size:
// the skeletons of the gradient objects, the gradient, the objects, the skeleton thickness and the
// median-filtered luminance. Plain functions on the caller's thread; none keeps state.
#pragma once

#include "outliers/motion_vectors.h"
#include "platform/core/mac_types.h"

struct BZ_OuParams;

// Parts of the skeleton picture (flags of BZ_CopySkeletonsToOutBuffer).
enum : UInt32 {
  kBZ_OuDrawNodes = 1,          // node pixels, luminance 128
  kBZ_OuDrawBranches = 2,       // branch pixels, 255
  kBZ_OuDrawCornerPoints = 4,   // with branches: their corner points, 64
  kBZ_OuDrawClosures = 8,       // closure pixels, 192
  kBZ_OuDrawHoles = 16,         // the objects' holes, copied from the frame
  kBZ_OuDrawSectorColors = 32,  // the sampled sector pixels of the node regions, in the sector's colour
  kBZ_OuSkeletonPictureFlags = kBZ_OuDrawNodes | kBZ_OuDrawBranches | kBZ_OuDrawSectorColors,
};

// A black picture (chroma 128, luminance 0 in every pixel, margins included) with, object by object, the parts
// of their skeletons that flags choose. inBuffer (the frame) is read for the holes only.
void BZ_CopySkeletonsToOutBuffer(const BZ_OuParams *ouParams, const UInt8 *inBuffer,
                                 const BZ_MvObjectLE *gradObjList, UInt32 flags, UInt8 *outBuffer);
// Every pixel: chroma 128, luminance min(255, gradSq x 0.085).
void BZ_CopyGradSqToOutBuffer(const BZ_OuParams *ouParams, const UInt16 *gradSq, UInt8 *outBuffer);
// Black, with every object pixel at luminance 190 when first-degree (0x10), else 100 when second-degree.
void BZ_CopyGradObjToOutBuffer(const BZ_OuParams *ouParams, const UInt16 *data, const BZ_MvObjectLE *gradObjList,
                               UInt8 *outBuffer);
// Black, with every branch pixel at a luminance from its thickness (1 to 5: 96, 128, 160, 192, 240).
void BZ_CopySkeletonThicknessToOutBuffer(const BZ_OuParams *ouParams, const BZ_MvObjectLE *gradObjList,
                                         UInt8 *outBuffer);
// The motion-vector quality picture is not drawn: the output is left as it is.
void BZ_OuCopyMvParamsQualityToBuffer(const BZ_OuParams *ouParams, const void *mv, UInt8 *outBuffer);
// Copies the whole padded frame tempIn (the median-filtered plane) into the output.
void BZ_OuCopyMedianFilteredToBuffer(const BZ_OuParams *ouParams, const UInt8 *tempIn, UInt8 *outBuffer);
