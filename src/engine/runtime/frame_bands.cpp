// Banded legalising on worker tasks a stage owns.
#include "engine/runtime/frame_bands.h"

#include "engine/runtime/project_types.h"
#include "platform/core/mac_errors.h"

#include <new>

OSStatus BZ_CreateFrameBandWorkers(SInt32 width, SInt32 numWorkers, BZ_FrameBandWorkers **workers) {
  if (workers == nullptr) return paramErr;
  *workers = nullptr;
  if (width < 1 || numWorkers < 1) return paramErr;
  auto *w = new (std::nothrow) BZ_FrameBandWorkers{};
  if (w == nullptr) return memFullErr;
  *workers = w;
  w->numWorkers = numWorkers;
  w->width = width;
  w->params = new (std::nothrow) CO_MP_SanityCheckParams[size_t(numWorkers)]{};
  w->lines = static_cast<float *>(
      MPAllocateAligned(size_t(numWorkers) * size_t(width) * 2 * sizeof(float), kMPAllocate16ByteAligned,
                        kMPAllocateClearMask));
  if (w->params == nullptr || w->lines == nullptr) return memFullErr;
  OSStatus err = MPCreateQueue(&w->owner.inputQueue);
  if (err == noErr) err = MPCreateQueue(&w->bands);
  if (err == noErr) err = MPCreateEvent(&w->event);
  if (err != noErr) return err;
  w->owner.numSubTasks = numWorkers;
  return BZ_CreateSubTasks(&w->owner, CO_FrameSanityCheckUniTask, w->bands);
}

void BZ_DisposeFrameBandWorkers(BZ_FrameBandWorkers *workers) {
  if (workers == nullptr) return;
  // Workers that started take their stop and end before their queue goes.
  if (workers->owner.subTaskList != nullptr) BZ_CloseProcSubTasks(&workers->owner, nullptr);
  if (workers->event != nullptr) MPDeleteEvent(workers->event);
  if (workers->bands != nullptr) MPDeleteQueue(workers->bands);
  if (workers->owner.inputQueue != nullptr) MPDeleteQueue(workers->owner.inputQueue);
  if (workers->lines != nullptr) MPFree(workers->lines);
  delete[] workers->params;
  delete workers;
}

OSStatus BZ_SanityCheckFrameInBands(BZ_FrameBandWorkers *workers, SInt32 height, void *frame,
                                    Boolean inputIsFullRange) {
  if (workers == nullptr || frame == nullptr || workers->params == nullptr) return paramErr;
  const GL_ProcessorInfo &cpu = gBZ.procInfo;
  for (SInt32 i = 0; i < workers->numWorkers; ++i) {
    workers->params[i].hasAltivec = cpu.hasAltivec;
    workers->params[i].hasSSE3 = cpu.hasSSE3;
  }
  return CO_FrameSanityCheckUniMP(cpu.hasAltivec, cpu.hasSSE3, height, workers->width, frame, workers->lines,
                                  inputIsFullRange, workers->numWorkers, workers->params, workers->bands,
                                  workers->event);
}
