// The outlier stage's motion-vector arrays, their per-frame job and the preview's copies.
#include "outliers/outlier_motion.h"

#include "general/memory_lists.h"
#include "outliers/motion_vectors.h"

#include <cstring>

namespace {

void FreeMvCaches(BZ_OuDlgTaskData *ou) {
  if (ou->mv[0] != nullptr) GL_DisposePtr(&ou->mv[0]);
  for (void *&slot : ou->mv) slot = nullptr;
  if (ou->scratchMv != nullptr) GL_DisposePtr(&ou->scratchMv);
  ou->mvArraySize = ou->mvScratchSize = 0;
  ou->mvNumArrays = ou->mvNumWorkers = 0;
}

}  // namespace

OSStatus BZ_OuEnsureBaseCoeffs(BZ_OuDlgTaskData *ou) {
  if (ou == nullptr) return paramErr;
  if (ou->bcCalculated) return noErr;
  if (OSStatus err = BZ_MvGetCoeffs(ou->baseCoeffs); err != noErr) return err;
  ou->bcCalculated = true;
  return noErr;
}

OSStatus BZ_OuMakeMvCaches(BZ_OuDlgTaskData *ou, SInt32 inWidth, SInt32 inHeight, SInt32 numArrays,
                           SInt32 numWorkers) {
  if (ou == nullptr || numArrays < 1 || numArrays > kBZ_OuMaxNumCached || numWorkers < 1) return paramErr;
  const size_t arraySize = BZ_MvArraySize(inWidth, inHeight);
  const size_t scratchSize = BZ_MvScratchSize(inWidth, inHeight);
  if (ou->mv[0] != nullptr && ou->mvArraySize == arraySize && ou->mvScratchSize == scratchSize &&
      ou->mvNumArrays == numArrays && ou->mvNumWorkers == numWorkers)
    return noErr;
  FreeMvCaches(ou);
  // A picture too small for a vector cell has no vectors: no array, and the stage reads plain places.
  if (arraySize == 0) return noErr;
  UInt8 *block = nullptr;
  if (OSStatus err = GL_NewPtrClear(arraySize * size_t(numArrays), &block); err != noErr) return err;
  for (SInt32 i = 0; i < numArrays; ++i) ou->mv[i] = block + size_t(i) * arraySize;
  if (scratchSize != 0) {
    if (OSStatus err = GL_NewPtrClear(scratchSize * size_t(numWorkers), &ou->scratchMv); err != noErr) {
      FreeMvCaches(ou);
      return err;
    }
  }
  ou->mvArraySize = arraySize;
  ou->mvScratchSize = scratchSize;
  ou->mvNumArrays = numArrays;
  ou->mvNumWorkers = numWorkers;
  return noErr;
}

void *BZ_OuWorkerScratchMv(BZ_OuDlgTaskData *ou, SInt32 i) {
  if (ou == nullptr || ou->scratchMv == nullptr || i < 0 || i >= ou->mvNumWorkers) return nullptr;
  return static_cast<UInt8 *>(ou->scratchMv) + size_t(i) * ou->mvScratchSize;
}

void BZ_OuFindFramePairVectors(const BZ_OuParams *ouParams, const float (*baseCoeffs)[6], SInt32 sceneValue,
                               UInt8 *prevFrame, UInt8 *frame, void *pairMv, void *scratchMv) {
  if (ouParams == nullptr || ouParams->sett == nullptr || pairMv == nullptr) return;
  // The array may hold an earlier frame's vectors: every entry is written either way.
  if (sceneValue >= ouParams->sett->maxAvPixelDiff || prevFrame == nullptr || frame == nullptr ||
      scratchMv == nullptr) {
    BZ_SetMvNotFound(ouParams, pairMv);
    return;
  }
  BZ_MvFindPairVectors(ouParams, baseCoeffs, prevFrame, frame, pairMv, scratchMv);
}

void BZ_OuGetWindowMv(const BZ_OuFrameRec *const *slots, SInt32 numInBuffers, void **mv) {
  if (slots == nullptr || mv == nullptr) return;
  for (SInt32 b = 0; b + 1 < numInBuffers; ++b)
    mv[b] = slots[b] != nullptr && slots[b + 1] != nullptr ? slots[b + 1]->pairMv : nullptr;
}

OSStatus BZ_OuEnsurePreviewMvCopies(BZ_OuPreviewData *p, SInt32 numConstPix, size_t arraySize) {
  if (p == nullptr || numConstPix < kBZ_OuMinNumConstPix || numConstPix > kBZ_OuMaxNumConstPix) return paramErr;
  const SInt32 count = 2 * numConstPix;
  if (p->mvCopies != nullptr && p->mvCopySize == arraySize && p->mvNumCopies == count) return noErr;
  BZ_OuDisposePreviewMv(p);
  if (arraySize == 0) return noErr;
  if (OSStatus err = GL_NewPtrClear(arraySize * size_t(count), &p->mvCopies); err != noErr) return err;
  p->mvCopySize = arraySize;
  p->mvNumCopies = count;
  return noErr;
}

void BZ_OuCopyPreviewMv(BZ_OuPreviewData *p, const BZ_OuParams *ouParams, void *const *mv) {
  if (p == nullptr) return;
  for (void *&slot : p->mv) slot = nullptr;
  if (ouParams == nullptr || ouParams->sett == nullptr || mv == nullptr || p->mvCopies == nullptr) return;
  const SInt32 k = ouParams->sett->numConstPix;
  if (2 * k != p->mvNumCopies) return;
  // The edits see window slots k to 3k only, so a chain there reads the pairs k to 3k - 1.
  for (SInt32 i = 0; i < 2 * k; ++i) {
    const void *from = mv[k + i];
    if (from == nullptr) continue;
    UInt8 *copy = p->mvCopies + size_t(i) * p->mvCopySize;
    std::memcpy(copy, from, p->mvCopySize);
    p->mv[k + i] = copy;
  }
}

void BZ_OuDisposePreviewMv(BZ_OuPreviewData *p) {
  if (p == nullptr) return;
  if (p->mvCopies != nullptr) GL_DisposePtr(&p->mvCopies);
  for (void *&slot : p->mv) slot = nullptr;
  p->mvCopySize = 0;
  p->mvNumCopies = 0;
}
