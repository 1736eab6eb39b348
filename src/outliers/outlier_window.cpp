// The outlier window and the release rendezvous of its input frames.
#include "outliers/outlier_window.h"

#include "engine/tasks/task_runtime.h"

OSStatus BZ_OuInitWindow(BZ_OuWindow *window, SInt32 numConstPix) {
  if (window == nullptr) return paramErr;
  *window = BZ_OuWindow{};
  if (numConstPix < kBZ_OuMinNumConstPix || numConstPix > kBZ_OuMaxNumConstPix) return paramErr;
  window->numInBuffers = 4 * numConstPix + 1;
  return noErr;
}

BZ_OuFrameRec *BZ_OuShiftWindow(BZ_OuWindow *window, BZ_OuFrameRec *newest) {
  if (window == nullptr || window->numInBuffers <= 0) return nullptr;
  const SInt32 last = window->numInBuffers - 1;
  BZ_OuFrameRec *dropped = window->slots[0];
  for (SInt32 i = 0; i < last; ++i) window->slots[i] = window->slots[i + 1];
  window->slots[last] = newest;
  return dropped;
}

void BZ_OuGetWindowArrays(const BZ_OuFrameRec *const *slots, SInt32 numInBuffers, UInt8 **inBuffers,
                          SInt32 *frameNums, SInt32 *avPixelDiff) {
  for (SInt32 i = 0; i < numInBuffers; ++i) {
    const BZ_OuFrameRec *f = slots[i];
    if (inBuffers != nullptr) inBuffers[i] = f != nullptr ? f->buffer : nullptr;
    if (frameNums != nullptr) frameNums[i] = f != nullptr ? f->frameNum : -1;
    if (avPixelDiff != nullptr) {
      const BZ_OuFrameRec *next = i + 1 < numInBuffers ? slots[i + 1] : nullptr;
      avPixelDiff[i] = f != nullptr && next != nullptr ? next->sceneValue : 0;
    }
  }
}

SInt32 BZ_OuFirstSlotOfChunk(const SInt32 *frameNums, SInt32 numInBuffers) {
  for (SInt32 i = 1; i < numInBuffers; ++i) {
    const SInt32 a = frameNums[i - 1], b = frameNums[i];
    if (a >= 0 && b >= 0 && b != a + 1) return i;
  }
  return 0;
}

void BZ_OuRemovePreviousInBuffers(const BZ_OuParams *ouParams, BZ_BuffInfo *stageBuffInfo, UInt8 **inBuffers) {
  if (ouParams == nullptr || stageBuffInfo == nullptr || inBuffers == nullptr) return;
  const SInt32 n = ouParams->numInBuffers;
  if (n <= 0 || n > kBZ_OuNumWindowSlots) return;
  SInt32 frameNums[kBZ_OuNumWindowSlots];
  for (SInt32 i = 0; i < n; ++i) {
    const BZ_FrameBuffInfo *info = inBuffers[i] != nullptr ? BZ_GetFrameBuffInfo(stageBuffInfo, inBuffers[i]) : nullptr;
    frameNums[i] = info != nullptr ? info->frameNum : -1;
  }
  const SInt32 first = BZ_OuFirstSlotOfChunk(frameNums, n);
  for (SInt32 i = 0; i < first; ++i) inBuffers[i] = nullptr;
}

Boolean BZ_OuKeepsInBuffer(const BZ_OuParams *ouParams, SInt32 frameNum) {
  if (ouParams == nullptr || ouParams->freeInputBuffer) return false;
  if (ouParams->executing) return true;
  // calcStats is set only in analysis runs.
  if (ouParams->calcStats || ouParams->testNumArray == nullptr) return false;
  for (SInt32 i = 0; i < ouParams->numTestFrames; ++i)
    if (ouParams->testNumArray[i] == frameNum) return true;
  return false;
}

namespace {

// The entry of the list that holds buffer, or NULL.
UInt8 **Find(UInt8 **list, const UInt8 *buffer) {
  for (SInt32 i = 0; i < kBZ_OuNumReleaseEntries; ++i)
    if (list[i] == buffer) return &list[i];
  return nullptr;
}

OSStatus Free(BZ_ProjPtr project, MPQueueID inFreeQueue, UInt8 *buffer) {
  return BZ_NotifyFrame(project, kBZ_OutlierTaskType, inFreeQueue, nullptr, buffer, nullptr);
}

}  // namespace

OSStatus BZ_OuFreeInBuffer0(const BZ_OuParams *ouParams, BZ_ProjPtr project, BZ_BuffInfo *inBuffInfo,
                            MPQueueID inFreeQueue, UInt8 **diffCalcList, UInt8 **notifyList, UInt8 *inBuffers0) {
  if (ouParams == nullptr || diffCalcList == nullptr || notifyList == nullptr || inBuffers0 == nullptr) return paramErr;
  const BZ_FrameBuffInfo *info = inBuffInfo != nullptr ? BZ_GetFrameBuffInfo(inBuffInfo, inBuffers0) : nullptr;
  if (info == nullptr || !BZ_OuKeepsInBuffer(ouParams, info->frameNum)) return Free(project, inFreeQueue, inBuffers0);
  if (UInt8 **released = Find(diffCalcList, inBuffers0)) {
    *released = nullptr;
    return Free(project, inFreeQueue, inBuffers0);
  }
  if (UInt8 **empty = Find(notifyList, nullptr)) *empty = inBuffers0;
  return noErr;
}

OSStatus BZ_OuHandleFreeInBuffer0Message(BZ_ProjPtr project, MPQueueID inFreeQueue, UInt8 **diffCalcList,
                                         UInt8 **notifyList, UInt8 *inBuffers0) {
  if (diffCalcList == nullptr || notifyList == nullptr || inBuffers0 == nullptr) return paramErr;
  if (UInt8 **waiting = Find(notifyList, inBuffers0)) {
    *waiting = nullptr;
    return Free(project, inFreeQueue, inBuffers0);
  }
  if (UInt8 **empty = Find(diffCalcList, nullptr)) *empty = inBuffers0;
  return noErr;
}
