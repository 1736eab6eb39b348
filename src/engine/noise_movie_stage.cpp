// The noise-frame stage: difference pictures and the release of source frames.
#include "engine/noise_movie_stage.h"

#include "engine/runtime/frame_selection.h"

#include "color/argb_conversions.h"
#include "engine/runtime/diff_lines.h"
#include "engine/runtime/stage_access.h"
#include "engine/runtime/working_format.h"
#include "general/memory_lists.h"
#include "outliers/outlier_stage.h"
#include "outliers/preview_data.h"
#include "outliers/speck_editing.h"

#include <cstring>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {

// The preview's outlier record while outliers are edited, or NULL.
BZ_OuPreviewData *EditedOuPreviewData() {
  BZ_PreviewData *preview = BZ_GetPreviewDataPtr();
  return preview != nullptr ? preview->ouPreviewData : nullptr;
}

}  // namespace

SInt32 BZ_DiffMediumGray(float inGamma) {
  const double g = std::pow(0.5, 2.2 / double(inGamma));
  return SInt32(std::trunc(16.0 + std::trunc(0.5 + 256.0 * g) * 219.0 / 255.0));
}

void BZ_MakeDiffFrame(SInt32 height, SInt32 width, const BZ_DiffParams *diffParams, float inGamma,
                      const UInt8 *dirtyFramePtr, const UInt8 *cleanFramePtr, UInt8 *outBuffer) {
  if (diffParams == nullptr || dirtyFramePtr == nullptr || cleanFramePtr == nullptr || outBuffer == nullptr) return;
  const SInt32 mediumGray = BZ_DiffMediumGray(inGamma);
  float chroma = 1.0f, luma = 1.0f;
  if (diffParams->scaleMode == 1) {
    chroma = luma = diffParams->scale;
  } else if (diffParams->scaleMode == 2) {
    chroma = diffParams->optScaleC;
    luma = diffParams->optScaleY;
  }
  float factorY = 0.0f, factorC = chroma, chromaInLuma = 0.0f;
  if (diffParams->showLuma) {
    factorY = luma;
    if (!diffParams->showChroma) factorC = 0.0f;
  } else {
    chromaInLuma = 1.0f;
  }
  BZ_MakeDiffLinesUni(height, width, dirtyFramePtr, cleanFramePtr, outBuffer, factorC, factorY, chromaInLuma,
                      mediumGray);
}

// ---- Source frames ----

UInt8 *BZ_GetDirtyFramePtr(BZ_ProjPtr project, SInt32 frameNum) {
  if (project == nullptr) return nullptr;
  BZ_BuffInfo *first = BZ_GetFirstProcessBuffer(project->dynIO_Info.buffInfo);
  return first != nullptr ? BZ_FrameNumToPtr(first, frameNum) : nullptr;
}

OSStatus BZ_FreeDirtyFrames(BZ_ProjPtr project, BZ_TaskType taskType, const BZ_FrameBuffInfo *inFrameBuffInfo,
                            const SInt32 *outSampleArray, SInt32 arrayNum, SInt32 numFrames,
                            MPQueueID dirtyFreeQueue, SInt32 numPrev) {
  if (project == nullptr || inFrameBuffInfo == nullptr || numPrev < 0) return paramErr;
  const bool executing = project->state.exec == kBZ_ProjStateExecuting;
  if (!executing && outSampleArray == nullptr) return paramErr;
  BZ_BuffInfo *first = BZ_GetFirstProcessBuffer(project->dynIO_Info.buffInfo);
  MPQueueID target = dirtyFreeQueue;
  if (first != nullptr && first->type == kBZ_OutlierTaskType && first->taskData[0] != nullptr)
    target = first->taskData[0].load()->inputQueue;
  const SInt32 f = inFrameBuffInfo->frameNum;
  const SInt32 n = numPrev + 1;
  for (SInt32 c = f - numPrev; c <= f; ++c) {
    if (c < 0) continue;
    if (!executing) {
      bool listed = false;
      for (SInt32 i = std::max<SInt32>(arrayNum - n, 0); i < arrayNum; ++i) listed = listed || outSampleArray[i] == c;
      if (!listed) continue;
    }
    const bool needed = executing ? (f < numFrames - 1 && c > f - numPrev)
                                  : (arrayNum < numFrames && c >= outSampleArray[arrayNum] - numPrev);
    if (needed) continue;
    UInt8 *dirty = BZ_GetDirtyFramePtr(project, c);
    if (dirty == nullptr) continue;
    if (OSStatus err = BZ_NotifyFrame(project, taskType, target, nullptr, dirty, nullptr); err != noErr) return err;
  }
  return noErr;
}

OSStatus BZ_ReleaseDirtyFramesAfterNoise(BZ_ProjPtr project, BZ_TaskType taskType,
                                        const BZ_FrameBuffInfo *inFrameBuffInfo) {
  if (project == nullptr || inFrameBuffInfo == nullptr) return paramErr;
  BZ_BuffInfo *table = project->dynIO_Info.buffInfo;
  BZ_BuffInfo *first = BZ_GetFirstProcessBuffer(table);
  // A cleaning or outlier stage that comes first keeps its source frames for the noise movie until this
  // release; without one the frames the noise stage reads are the compress or write stage's own.
  if (first == nullptr || (!BZ_IsProcessTaskType(first->type) && first->type != kBZ_OutlierTaskType) ||
      project->state.exec != kBZ_ProjStateExecuting)
    return noErr;
  MP_TaskData *firstTask = first->taskData[0];
  if (firstTask == nullptr) return noErr;
  SInt32 numPrevBuffersNeeded = 0;
  BZ_GetCompoundedChunkSize(table, BZ_CountStages(table), nullptr, nullptr, &numPrevBuffersNeeded);
  return BZ_FreeDirtyFrames(project, taskType, inFrameBuffInfo, nullptr, 0,
                            BZ_GetNumFramesInMovie(project->info.statMovInfo), firstTask->inFreeQueue,
                            numPrevBuffersNeeded);
}

// ---- The stage task ----

OSStatus BZ_SetupNoiseFrameTask(MP_TaskData *taskData, SInt32 *height, SInt32 *width, size_t *bufferSize,
                                UInt8 **savedInBuffer, BZ_NoiseParams *noiseParams, BZ_BuffInfo **inBuffInfo,
                                BZ_BuffInfo **outBuffInfo, MPQueueID *inInputQueue, Boolean *previewing,
                                Boolean *editingOutliers, MPQueueID *outInputQueue, MPQueueID *outFreeQueue,
                                UInt16 **newRGB) {
  if (taskData == nullptr || noiseParams == nullptr) return paramErr;
  auto *project = static_cast<BZ_ProjPtr>(taskData->termMessage2);
  if (project == nullptr) return paramErr;
  *newRGB = nullptr;
  *savedInBuffer = nullptr;
  *editingOutliers = false;
  const BZ_StatMovInfo &movie0 = project->info.statMovInfo[0];
  SInt64 size = 0;
  OSStatus err =
      BZ_GetBufferSize(movie0.height, movie0.width, project->info.settings.input.interlaced, height, width, &size);
  if (err != noErr) return err;
  *bufferSize = size_t(size);

  BZ_DiffParams *diff = &project->info.settings.diffParams;
  if (std::fabs(diff->optScaleY) < 0.0001f) diff->optScaleY = diff->optScaleC = 3.0f;
  noiseParams->diffParams = diff;

  BZ_BuffInfo *table = project->dynIO_Info.buffInfo;
  BZ_BuffInfo *out = BZ_GetWriteBuffInfo(table, 1);
  BZ_BuffInfo *in = BZ_GetComprBuffInfo(table);
  if (in == nullptr) in = BZ_GetWriteBuffInfo(table, 0);
  if (out == nullptr || in == nullptr || out->taskData[0] == nullptr || BZ_StageOfTask(table, taskData) == nullptr)
    return paramErr;
  *outBuffInfo = out;
  *inBuffInfo = in;
  *inInputQueue = taskData->inputQueue;
  *outInputQueue = out->taskData[0].load()->inputQueue;
  *outFreeQueue = out->taskData[0].load()->inFreeQueue;
  *previewing = project->state.exec == kBZ_ProjStatePreviewing;
  // While outliers are edited the preview's outlier record keeps the cleaned frame aside and receives the
  // difference frame; both blocks are made once and kept with the record.
  if (*previewing && BZ_GetEditingOutliers()) {
    BZ_OuPreviewData *ou = EditedOuPreviewData();
    if (ou != nullptr) {
      err = BZ_OuEnsurePreviewFrames(ou, *bufferSize);
      if (err != noErr) return err;
      *savedInBuffer = ou->savedInBuffer;
      *editingOutliers = true;
    }
  }
  return BZ_GetInternalGamma(project, nullptr, &noiseParams->inGamma, nullptr, newRGB);
}

OSStatus BZ_NoiseFrameTask(void *parameter) {
  auto *task = static_cast<MP_TaskData *>(parameter);
  if (task == nullptr) return paramErr;
  std::printf("KBZ: setting up noise frame task\n");
  auto *project = static_cast<BZ_ProjPtr>(task->termMessage2);
  SInt32 height = 0, width = 0;
  size_t bufferSize = 0;
  UInt8 *savedInBuffer = nullptr;
  BZ_NoiseParams params{};
  BZ_BuffInfo *in = nullptr, *out = nullptr;
  MPQueueID inInput = nullptr, outInput = nullptr, outFree = nullptr;
  Boolean previewing = false, editingOutliers = false;
  UInt16 *newRGB = nullptr;
  OSStatus result = BZ_SetupNoiseFrameTask(task, &height, &width, &bufferSize, &savedInBuffer, &params, &in, &out,
                                           &inInput, &previewing, &editingOutliers, &outInput, &outFree, &newRGB);
  const bool executing = project != nullptr && project->state.exec == kBZ_ProjStateExecuting;
  Boolean finished = false;
  while (result == noErr && !finished) {
    void *word = nullptr;
    result = BZ_WaitForBuffer(task, inInput, &word, nullptr, &finished);
    if (result != noErr || finished) break;
    if (BZ_FromWord(word) == kBZ_EndOfStreamMessage) continue;
    auto *clean = static_cast<UInt8 *>(word);
    BZ_FrameBuffInfo *inInfo = BZ_GetFrameBuffInfo(in, clean);
    void *outWord = nullptr;
    result = BZ_WaitForBuffer(task, outFree, &outWord, nullptr, &finished);
    if (result != noErr || finished) break;
    auto *diff = static_cast<UInt8 *>(outWord);
    BZ_FrameBuffInfo *outInfo = BZ_GetFrameBuffInfo(out, diff);
    UInt8 *dirty = inInfo != nullptr ? BZ_GetDirtyFramePtr(project, inInfo->frameNum) : nullptr;
    if (inInfo == nullptr || outInfo == nullptr || dirty == nullptr) {
      result = paramErr;
      break;
    }
    BZ_CopyFrameInfo(inInfo, outInfo);
    if (!executing) outInfo->outArrayNum = -1;

    // Editing outliers: the difference is made from the preview's cleaned frame with the kept specks filled
    // in, luma only at scale 1, into the preview's difference frame; the cleaned frame and the difference
    // parameters are put back before the cleaned frame is let go.
    BZ_OuPreviewData *ou = previewing && editingOutliers ? EditedOuPreviewData() : nullptr;
    UInt8 *diffTarget = diff;
    const BZ_DiffParams savedDiffParams = *params.diffParams;
    if (ou != nullptr && ou->outBuffer2vuy != nullptr && ou->diffBuffer2vuy != nullptr) {
      clean = ou->outBuffer2vuy;
      diffTarget = ou->diffBuffer2vuy;
      std::memcpy(savedInBuffer, clean, bufferSize);
      (void)BZ_OuApplyNonRemovedSpecks();  // without specks or window frames there is nothing to fill
      params.diffParams->showLuma = true;
      params.diffParams->showChroma = false;
      params.diffParams->scaleMode = 0;
    } else {
      ou = nullptr;
    }
    BZ_MakeDiffFrame(height, width, params.diffParams, params.inGamma, dirty, clean, diffTarget);
    if (ou != nullptr) {
      std::memcpy(clean, savedInBuffer, bufferSize);
      *params.diffParams = savedDiffParams;
    }
    // The compress or write stage may let its frame go now.
    if (in->event != nullptr) MPSetEvent(in->event, kBZ_NoiseFrameReleasedFlag);

    // A preview's difference picture, drawn at the display gamma.
    BZ_PreviewData *preview = previewing ? BZ_GetPreviewDataPtr() : nullptr;
    // Pictures made for a smaller frame (the interlacing changed) are left alone until they are made again.
    if (preview != nullptr && preview->buffersRGB != nullptr && preview->buffersRGBSize >= 6 * SInt64(bufferSize)) {
      UInt8 *diffRGB = preview->buffersRGB + 4 * bufferSize;
      const GL_ProcessorInfo &cpu = gBZ.procInfo;
      if (newRGB != nullptr)
        CO_2vuyFrameToARGB_ChangeGammaUni(cpu.hasAltivec, cpu.hasSSE3, width, height, diffTarget, diffRGB, false,
                                          2 * width, 4 * width, params.inGamma, kBZ_DisplayGamma, newRGB);
      else
        CO_2vuyFrameToARGB_Uni(cpu.hasAltivec, cpu.hasSSE3, width, height, diffTarget, diffRGB, false, 2 * width,
                               4 * width);
      if (ou != nullptr) (void)BZ_OuColorSpecksDiffs();
    }
    if (executing)
      result = BZ_NotifyFrame(project, kBZ_NoiseFrameTaskType, nullptr, outInput, nullptr, diff);
    else
      result = BZ_NotifyFrame(project, kBZ_NoiseFrameTaskType, outFree, nullptr, diff, nullptr);
  }
  GL_DisposePtr(&newRGB);
  task->exiting = true;
  std::printf("KBZ: exiting noise frame task, error = %ld\n", long(result));
  return result;
}
