// The outlier state kept across runs, the preview's outlier record and the window helpers.
#include "outliers/outlier_stage.h"

#include "engine/runtime/stage_access.h"
#include "engine/runtime/working_format.h"
#include "general/memory_lists.h"

OSStatus BZ_OuInitDlgTaskData(BZ_OuDlgTaskData **ouDlgTaskData) {
  if (ouDlgTaskData == nullptr) return paramErr;
  BZ_OuDlgTaskData *ou = nullptr;
  OSStatus err = GL_NewPtrClear(sizeof(BZ_OuDlgTaskData), &ou);
  if (err != noErr) return err;
  err = MPCreateCriticalRegion(&ou->oeCritRgn);
  if (err != noErr) {
    GL_DisposePtr(&ou);
    return err;
  }
  *ouDlgTaskData = ou;
  return noErr;
}

OSStatus BZ_InitOuPreviewData(BZ_OuPreviewData **ouPreviewData) {
  if (ouPreviewData == nullptr) return paramErr;
  return GL_NewPtrClear(sizeof(BZ_OuPreviewData), ouPreviewData);
}

void BZ_OuReinitDlgTaskData(BZ_OuDlgTaskData *ouDlgTaskData) {
  if (ouDlgTaskData == nullptr) return;
  ouDlgTaskData->outlierEditList.changed = false;
  ouDlgTaskData->outlierEditList.saved = true;
}

void BZ_OuDisposeDlgTaskData(BZ_OuDlgTaskData *ou) {
  if (ou == nullptr) return;
  // Each cache is one block whose start is its first slot.
  if (ou->ouData[0] != nullptr) GL_DisposePtr(&ou->ouData[0]);
  for (UInt16 *&slot : ou->ouData) slot = nullptr;
  if (ou->mv[0] == nullptr) return;
  GL_DisposePtr(&ou->mv[0]);
  for (void *&slot : ou->mv) slot = nullptr;
  if (ou->scratchMv != nullptr) GL_DisposePtr(&ou->scratchMv);
  for (UInt16 **cache : {ou->objData, ou->gradSq, ou->tempIn}) {
    if (cache[0] != nullptr) GL_DisposePtr(&cache[0]);
    for (SInt32 i = 0; i < kBZ_OuMaxNumCached; ++i) cache[i] = nullptr;
  }
  // The three mask planes are one block too.
  if (ou->masks[0] != nullptr) GL_DisposePtr(&ou->masks[0]);
  for (UInt8 *&mask : ou->masks) mask = nullptr;
}

void BZ_OuDisposeDlgTaskDataRecord(BZ_OuDlgTaskData **ouDlgTaskData) {
  if (ouDlgTaskData == nullptr || *ouDlgTaskData == nullptr) return;
  BZ_OuDlgTaskData *ou = *ouDlgTaskData;
  BZ_OuDisposeDlgTaskData(ou);
  // Blocks a run made before the motion vectors existed are freed here too.
  for (UInt16 **cache : {ou->ouData, ou->objData, ou->gradSq, ou->tempIn})
    if (cache[0] != nullptr) GL_DisposePtr(&cache[0]);
  if (ou->masks[0] != nullptr) GL_DisposePtr(&ou->masks[0]);
  if (ou->ouScratch != nullptr) GL_DisposePtr(&ou->ouScratch);
  BZ_OuDisposeOutlierEditlist(&ou->outlierEditList.firstFrameOel);
  BZ_OuDisposeOutlierEditlist(&ou->savedOutlierEditList.firstFrameOel);
  if (ou->oeCritRgn != nullptr) MPDeleteCriticalRegion(ou->oeCritRgn);
  GL_DisposePtr(ouDlgTaskData);
}

OSStatus BZ_OuEnsurePreviewFrames(BZ_OuPreviewData *p, size_t size) {
  if (p == nullptr || size == 0) return paramErr;
  UInt8 **owned[] = {&p->diffBuffer2vuy, &p->savedOutBuffer, &p->savedInBuffer};
  if (size > p->bufferSize) {
    for (UInt8 **block : owned)
      if (*block != nullptr) GL_DisposePtr(block);
    p->bufferSize = size;
  }
  for (UInt8 **block : owned)
    if (*block == nullptr)
      if (OSStatus err = GL_NewPtrClear(p->bufferSize, block); err != noErr) return err;
  return noErr;
}

void BZ_OuDisposePreviewData(BZ_OuPreviewData **ouPreviewData) {
  if (ouPreviewData == nullptr || *ouPreviewData == nullptr) return;
  BZ_OuPreviewData *p = *ouPreviewData;
  for (UInt8 **owned : {&p->diffBuffer2vuy, &p->savedOutBuffer, &p->savedInBuffer})
    if (*owned != nullptr) GL_DisposePtr(owned);
  LL_DisposeLinkedList(&p->frameOutlierEditList.firstOe);
  BZ_OuDisposeSpeckList(&p->speckList);
  GL_DisposePtr(ouPreviewData);
}

void BZ_OuGetInBufferIndexBounds(SInt32 maxAvPixelDiff, UInt8 *const *inBuffers, SInt32 numInBuffers,
                                 const SInt32 *avPixelDiff, SInt32 *minInBufferIndex, SInt32 *maxInBufferIndex) {
  SInt32 lo = 0, hi = numInBuffers;
  for (SInt32 i = 0; i < numInBuffers / 2; ++i) {
    const SInt32 j = numInBuffers - 1 - i;
    if (avPixelDiff[j - 1] > maxAvPixelDiff || inBuffers[j] == nullptr) hi = j;
    if (avPixelDiff[i] > maxAvPixelDiff || inBuffers[i] == nullptr) lo = i + 1;
  }
  if (minInBufferIndex != nullptr) *minInBufferIndex = lo;
  if (maxInBufferIndex != nullptr) *maxInBufferIndex = hi;
}

void BZ_OuParamsToRealFrameBounds(const BZ_OuParams *ouParams, Rect *frameBounds) {
  if (ouParams == nullptr || frameBounds == nullptr) return;
  BZ_GetRealFrameBounds(ouParams->interlaced, ouParams->inWidth, ouParams->inHeight, frameBounds);
}

OSStatus BZ_OuMakeParamsFromProject(BZ_ProjPtr project, BZ_OuParams *ouParams) {
  if (project == nullptr || ouParams == nullptr) return paramErr;
  *ouParams = BZ_OuParams{};
  ouParams->sett = &project->info.settings.cleaning.ou;
  ouParams->interlaced = project->info.settings.input.interlaced;
  ouParams->topFieldFirst = project->info.settings.input.topFieldFirst;
  ouParams->inWidth = project->info.statMovInfo[0].width;
  ouParams->inHeight = project->info.statMovInfo[0].height;
  // The window arrays hold 4 x numConstPix + 1 frames; a count beyond them (or one that overflows) is refused.
  const SInt32 k = ouParams->sett->numConstPix;
  if (k < 1 || k > (kBZ_OuNumWindowSlots - 1) / 4) return paramErr;
  ouParams->numInBuffers = 4 * k + 1;
  SInt64 size = 0;
  return BZ_GetBufferSize(ouParams->inHeight, ouParams->inWidth, ouParams->interlaced, &ouParams->height,
                          &ouParams->width, &size);
}
