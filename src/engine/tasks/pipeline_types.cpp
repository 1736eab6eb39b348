// Descriptor lookups of the stage table: one division from a buffer pointer to its descriptor.
#include "engine/tasks/pipeline_types.h"

#include <algorithm>
#include <cstdint>

BZ_FrameBuffInfo *BZ_GetFrameBuffInfoBasic(BZ_FrameBuffInfo *frameBuffInfo, const void *ptr, size_t size,
                                           SInt32 count) {
  if (frameBuffInfo == nullptr || ptr == nullptr || size == 0 || count <= 0 || frameBuffInfo[0].ptr == nullptr)
    return nullptr;
  auto first = reinterpret_cast<uintptr_t>(frameBuffInfo[0].ptr);
  auto at = reinterpret_cast<uintptr_t>(ptr);
  if (at < first) return nullptr;
  uintptr_t index = (at - first) / size;
  if (index >= uintptr_t(std::min<SInt32>(count, kBZ_MaxFrameBuffers))) return nullptr;
  return &frameBuffInfo[index];
}

BZ_FrameBuffInfo *BZ_GetFrameBuffInfo(BZ_BuffInfo *stage, const void *ptr) {
  if (stage == nullptr) return nullptr;
  return BZ_GetFrameBuffInfoBasic(stage->frameBuffInfo, ptr, stage->size, stage->numFrameBuffers);
}

BZ_FrameBuffInfo *BZ_GetFrameBuffInfo2(BZ_BuffInfo *stage, const void *ptr) {
  if (stage == nullptr) return nullptr;
  return BZ_GetFrameBuffInfoBasic(stage->frameBuffInfo2, ptr, stage->size, stage->numFrameBuffers2);
}
