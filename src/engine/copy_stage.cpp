// The copy stage: conversion of source frames into the padded working format, and the source frame cache.
#include "engine/copy_stage.h"

#include "color/argb_conversions.h"
#include "color/gamma_tables.h"
#include "color/legalising.h"
#include "color/planar420.h"
#include "color/yuv422_formats.h"
#include "engine/runtime/analysis_tasks.h"
#include "engine/runtime/engine_host.h"
#include "engine/runtime/frame_selection.h"
#include "engine/runtime/stage_access.h"
#include "engine/runtime/working_format.h"
#include "general/memory_lists.h"
#include "movie/codecs.h"
#include "platform/core/fixed_math.h"
#include "platform/movie/image_descriptions.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// A source whose gamma was never found counts as having its codec's usual one, as the internal gamma does.
float UsableGamma(float gamma, CodecType cType) {
  if (gamma > 0.0f && std::isfinite(gamma)) return gamma;
  return QT_IsDV_CodecType(cType) ? kBZ_VideoGamma : float(Fix2X(PL_DefaultGammaForCodec(cType)));
}

void EnterCache(MPCriticalRegionID region) {
  if (region != nullptr) MPEnterCriticalRegion(region, kDurationForever);
}
void ExitCache(MPCriticalRegionID region) {
  if (region != nullptr) MPExitCriticalRegion(region);
}

// Posts the frame to an analysis task as (kBZ_CopyTaskType, input, kBZ_AnalyseFrameMessage).
OSStatus PostToAnalysis(const MP_TaskData &analysisTask, BZ_DlgTaskInput *input) {
  if (analysisTask.inputQueue == nullptr) return kMPTaskAbortedErr;
  return MPNotifyQueue(analysisTask.inputQueue, BZ_Word(kBZ_CopyTaskType), input,
                       BZ_Word(kBZ_AnalyseFrameMessage));
}

// The analysis of one frame of an analysis run: the test frames go to the white-line, black-bars and
// noise-level tasks that still have something to find, and the stage waits for their answers; after the last
// frame the results are condensed. userCanceledErr when the run is stopped meanwhile.
OSStatus AnalyseFrame(BZ_BuffInfo *stage, SInt32 file, Boolean calcStats, const SInt32 *testNums, SInt32 numTests,
                      SInt32 numFrames, SInt32 *nextTest, const BZ_FrameBuffInfo *inInfo, UInt8 *in, UInt8 *out,
                      BZ_DlgTaskInput *input) {
  BZ_DlgTaskData &dlg = gBZ.dlgTaskData;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  BZ_ProjDlgState *dlgState = host->getDialogStatePtr(host->refCon);
  const SInt32 stageNum = std::clamp<SInt32>(stage->number, 0, kBZ_MaxNumStages - 1);
  *input = BZ_DlgTaskInput{in, out, inInfo->frameNum, inInfo->inArrayNum, inInfo->inArrayNum, 0, stage->number, file};
  const bool test = *nextTest < numTests && inInfo->frameNum == testNums[*nextTest];
  OSStatus err = noErr;
  MPEventFlags expected = 0;
  if (test) {
    input->testNum = (*nextTest)++;
    const bool first = input->testNum == 0;
    if (!dlg.searchedWhiteLinePiece[file]) {
      if (first) dlgState->findingWhiteLinePiece[file] = true;
      if ((err = PostToAnalysis(dlg.whiteLineTaskData, input)) != noErr) return err;
      expected |= kBZ_WhiteLineDoneFlag;
    }
    if (!dlg.detectedBlackBars && file == 0) {
      if (first) dlgState->detectingBlackBars = true;
      if ((err = PostToAnalysis(dlg.blackBarsTaskData, input)) != noErr) return err;
      expected |= kBZ_BlackBarsDoneFlag;
    }
    if (calcStats) {
      if (first) dlgState->findingNoiseLevel[stageNum] = true;
      if ((err = PostToAnalysis(dlg.noiseLevelTaskData, input)) != noErr) return err;
      expected |= kBZ_NoiseLevelDoneFlag;
    }
  }
  // The tasks read both frames and the input record until they answer.
  while (expected != 0) {
    MPEventFlags flags = 0;
    if ((err = MPWaitForEvent(stage->event, &flags, kDurationForever)) != noErr) return err;
    if (flags & kBZ_StopTaskFlag) return userCanceledErr;
    expected &= ~flags;
  }
  if (inInfo->inArrayNum != numFrames - 1) return noErr;
  if (dlgState->findingWhiteLinePiece[file]) {
    if ((err = BZ_WhiteLineCalcResult(file, numTests)) != noErr) return err;
    dlgState->findingWhiteLinePiece[file] = false;
    dlg.searchedWhiteLinePiece[file] = true;
  }
  if (dlgState->detectingBlackBars && file == 0) {
    if ((err = BZ_BlackBarsCalcResult(numTests)) != noErr) return err;
    dlgState->detectingBlackBars = false;
    dlg.detectedBlackBars = true;
  }
  if (dlgState->findingNoiseLevel[stageNum]) {
    if ((err = BZ_NoiseLevelCalcResult(stageNum, numTests)) != noErr) return err;
    dlgState->findingNoiseLevel[stageNum] = false;
  }
  return noErr;
}

}  // namespace

void BZ_CopyParamsToPadParams(const BZ_CopyParams *copyParams, BZ_PadParams *padParams) {
  BZ_StageParamsToPadParams(copyParams, padParams);
}

void BZ_DisposeCopyParams(BZ_CopyParams *copyParams) {
  if (copyParams == nullptr) return;
  if (copyParams->linePtrYUV255 != nullptr) MPFree(copyParams->linePtrYUV255);
  if (copyParams->tempLine != nullptr) MPFree(copyParams->tempLine);
  copyParams->linePtrYUV255 = nullptr;
  copyParams->tempLine = nullptr;
  BZ_DisposeFrameBandWorkers(copyParams->legaliseWorkers);
  copyParams->legaliseWorkers = nullptr;
  GL_DisposePtr(&copyParams->newRGB);
}

OSStatus BZ_Copy(BZ_CopyParams *p, void *inBuffer, void *outBuffer) {
  const Boolean altivec = gBZ.procInfo.hasAltivec;
  const Boolean sse3 = gBZ.procInfo.hasSSE3;
  const SInt32 inW = p->inWidth, inH = p->inHeight;
  const SInt32 inRowBytes = inW * 2;
  const size_t outRowBytes = size_t(p->width) * 2;
  const SInt32 top = (p->interlaced ? 2 : 1) * kBZ_PadFieldLines;
  auto *in = static_cast<UInt8 *>(inBuffer);
  auto *out = static_cast<UInt8 *>(outBuffer);
  auto padded = [&](SInt32 y) { return out + size_t(top + y) * outRowBytes + 2 * kBZ_PadLeftPixels; };

  if (p->directRead && p->isYuv2) {
    CO_ByteSwapYuv2FrameUni(altivec, sse3, inW, inH, in, in, inRowBytes, inRowBytes);
    if (!p->isVideoRange) {
      for (SInt32 y = 0; y < inH; ++y) {
        UInt8 *line = in + size_t(y) * size_t(inRowBytes);
        CO_2vuyLineToFloatUni(altivec, sse3, inW, line, p->linePtrYUV255, true);
        CO_FloatLineTo2vuyUni(altivec, sse3, inW, line, p->linePtrYUV255, false);
      }
    }
  }
  const bool sameGamma = std::fabs(p->inGamma - p->outGamma) < 0.05f;
  bool compact = true;  // the converted picture lies packed at the start of outBuffer
  if (p->y420Playback) {
    CO_Y420FrameTo2vuyUni(altivec, sse3, inH, inW, in, out, p->tempLine, p->interlaced);
    // 4:2:0 comes in the source's gamma like any other drawing: frames worked in another gamma change it.
    if (!sameGamma && p->preserveHighlights)
      CO_2vuyFrameChangeGammaSuperUni(altivec, sse3, inW, inH, out, out, p->linePtrYUV255, inRowBytes, inRowBytes,
                                      p->inGamma, p->outGamma, p->newRGB);
    else if (!sameGamma)
      CO_2vuyFrameChangeGammaUni(altivec, sse3, inH, inW, out, out, p->linePtrYUV255, inRowBytes, inRowBytes,
                                 p->inGamma, p->outGamma, p->newRGB);
  } else if (p->rgbPlayback) {
    if (sameGamma)
      CO_ARGB_FrameTo2vuyUni(altivec, sse3, inH, inW, in, out, false);
    else
      CO_ARGB_FrameTo2vuyChangeGammaUni(altivec, sse3, inW, inH, in, out, false, p->inGamma, p->outGamma, p->newRGB);
  } else if (sameGamma) {
    // The bytes go straight to their padded place: one copy per line.
    for (SInt32 y = inH - 1; y >= 0; --y) std::memcpy(padded(y), in + size_t(y) * size_t(inRowBytes), size_t(inRowBytes));
    compact = false;
  } else if (p->preserveHighlights) {
    CO_2vuyFrameChangeGammaSuperUni(altivec, sse3, inW, inH, in, out, p->linePtrYUV255, inRowBytes, inRowBytes,
                                    p->inGamma, p->outGamma, p->newRGB);
  } else {
    CO_2vuyFrameChangeGammaUni(altivec, sse3, inH, inW, in, out, p->linePtrYUV255, inRowBytes, inRowBytes, p->inGamma,
                               p->outGamma, p->newRGB);
  }
  // From the last line up, so that no line is overwritten before it has moved.
  if (compact)
    for (SInt32 y = inH - 1; y >= 0; --y) std::memmove(padded(y), out + size_t(y) * size_t(inRowBytes), size_t(inRowBytes));

  BZ_PadParams pad{};
  BZ_CopyParamsToPadParams(p, &pad);
  BZ_PadFrame(&pad, out);
  if (p->yuvSanityCheck && p->legaliseWorkers != nullptr)
    return BZ_SanityCheckFrameInBands(p->legaliseWorkers, p->height, out, p->preserveHighlights);
  if (p->yuvSanityCheck)
    CO_FrameSanityCheckUni(altivec, sse3, p->height, p->width, out, p->linePtrYUV255, p->preserveHighlights);
  return noErr;
}

OSStatus BZ_SetupCopyTask(MP_TaskData *taskData, SInt32 *height, SInt32 *width, BZ_CopyParams *copyParams,
                          MPQueueID *inInputQueue, MPQueueID *inFreeQueue, MPQueueID *outFreeQueue,
                          MPQueueID *outInputQueue, BZ_BuffInfo **stageBuffInfo, size_t *outBufferSize,
                          size_t *actualOutSize, BZ_BuffInfo **outBuffInfo, SInt32 *numFrames,
                          SInt32 *testNumArray, Boolean *calcStats) {
  if (taskData == nullptr || copyParams == nullptr || testNumArray == nullptr) return paramErr;
  auto *project = static_cast<BZ_ProjPtr>(taskData->termMessage2);
  if (project == nullptr) return paramErr;
  *copyParams = BZ_CopyParams{};
  const BZ_AppPrefs prefs = BZ_GetEngineAppPrefs();

  const BZ_StatMovInfo &movie0 = project->info.statMovInfo[0];
  BZ_CopyParams &p = *copyParams;
  p.interlaced = project->info.settings.input.interlaced;
  p.yuvSanityCheck = prefs.yuvSanityCheck;
  p.preserveHighlights = prefs.preserveHighlights;
  p.inHeight = movie0.height;
  p.inWidth = movie0.width;
  SInt64 bufferSize = 0;
  OSStatus err = BZ_GetBufferSize(p.inHeight, p.inWidth, p.interlaced, &p.height, &p.width, &bufferSize);
  if (err != noErr) return err;
  *height = p.height;
  *width = p.width;

  BZ_BuffInfo *table = project->dynIO_Info.buffInfo;
  BZ_BuffInfo *stage = BZ_StageOfTask(table, taskData);
  BZ_BuffInfo *out = BZ_GetFirstProcessBuffer(table);
  if (stage == nullptr || out == nullptr || out->taskData[0] == nullptr) return paramErr;
  const SInt32 file = std::clamp<SInt32>(stage->fileNum, 0, kBZ_MaxNumFiles - 1);
  *stageBuffInfo = stage;
  *outBuffInfo = out;
  *inInputQueue = taskData->inputQueue;
  *inFreeQueue = taskData->inFreeQueue;
  *outBufferSize = out->size;
  *actualOutSize = size_t(p.width) * size_t(p.height) * 2;
  if (file == 0) {
    *outFreeQueue = out->taskData[0].load()->inFreeQueue;
    *outInputQueue = out->taskData[0].load()->inputQueue;
  } else {
    *outFreeQueue = out->freeQueue2;
    *outInputQueue = out->inputQueue2;
  }
  if (*outFreeQueue == nullptr || *outInputQueue == nullptr || *actualOutSize > out->size) return paramErr;

  const BZ_DynInputInfo &input = project->dynIO_Info.inputInfo[file];
  const BZ_StatMovInfo &own = project->info.statMovInfo[file];
  p.rgbPlayback = input.rgbPlayback;
  p.y420Playback = input.y420Playback;
  p.directRead = input.directRead;
  p.isYuv2 = own.cType == 'yuv2' || own.cType == 'yuvu';
  p.isVideoRange = own.isVideoRange;
  p.inGamma = UsableGamma(own.gamma, own.cType);

  // The legalising runs over whole padded lines, so the float line has the padded width.
  p.linePtrYUV255 = static_cast<float *>(MP_NewPtrClear(size_t(p.width) * 8));
  p.tempLine = static_cast<UInt8 *>(MP_NewPtrClear(size_t((p.width + 31) / 32) * 128));
  if (p.linePtrYUV255 == nullptr || p.tempLine == nullptr) {
    BZ_DisposeCopyParams(&p);
    return memFullErr;
  }
  if (p.yuvSanityCheck && (err = BZ_CreateFrameBandWorkers(p.width, BZ_GetNumSubTasks(), &p.legaliseWorkers)) != noErr) {
    BZ_DisposeCopyParams(&p);
    return err;
  }

  // The frames an analysis or preview run passes on, and the test frames among them.
  *numFrames = 0;
  testNumArray[0] = kBZ_EndOfFrameList;
  if (project->state.exec != kBZ_ProjStateExecuting) {
    const SInt32 capacity = BZ_GetMaxSampleNumArraySize(table);
    std::vector<SInt32> inList(size_t(std::max<SInt32>(capacity, 1))), outList(inList.size());
    SInt32 numIn = 0, numTest = 0;
    err = BZ_SelectMovieSamplesForStage(movie0.numFrames, kBZ_NoiseRedTaskType, inList.data(), &numIn,
                                        outList.data(), numFrames, testNumArray, &numTest);
    if (err != noErr) {
      BZ_DisposeCopyParams(&p);
      return err;
    }
  }
  // The analysis tasks this run needs are started, those it does not need ended.
  if ((err = BZ_CreateGeneralAnalysisTasks(&gBZ.dlgTaskData)) != noErr ||
      (err = BZ_CreateInputAnalysisTasks(&gBZ.dlgTaskData, file)) != noErr) {
    BZ_DisposeCopyParams(&p);
    return err;
  }
  // The noise level is measured only once no automatic setting is being calculated.
  const BZ_EngineHost *host = BZ_GetEngineHost();
  *calcStats = project->state.exec == kBZ_ProjStateAnalyzingMovie && host->getAutoSettStage(host->refCon) == 0;

  err = BZ_GetInternalGamma(project, &prefs, &p.outGamma, &p.newRGB, nullptr);
  if (err != noErr) {
    BZ_DisposeCopyParams(&p);
    return err;
  }
  // The table maps source 0's gamma; a second source with its own gamma converts without it.
  if (file != 0 && std::fabs(p.inGamma - UsableGamma(movie0.gamma, movie0.cType)) >= 0.0001f)
    GL_DisposePtr(&p.newRGB);
  return noErr;
}

OSStatus BZ_CopyTask(void *parameter) {
  auto *task = static_cast<MP_TaskData *>(parameter);
  if (task == nullptr) return paramErr;
  std::printf("KBZ: setting up copy task\n");
  auto *project = static_cast<BZ_ProjPtr>(task->termMessage2);
  SInt32 height = 0, width = 0, numFrames = 0;
  BZ_CopyParams params{};
  MPQueueID inInput = nullptr, inFree = nullptr, outFree = nullptr, outInput = nullptr;
  BZ_BuffInfo *stage = nullptr, *out = nullptr;
  size_t outBufferSize = 0, actualOutSize = 0;
  SInt32 testNums[kBZ_NumTestFrames + 1];
  Boolean calcStats = false;
  OSStatus result = BZ_SetupCopyTask(task, &height, &width, &params, &inInput, &inFree, &outFree, &outInput, &stage,
                                     &outBufferSize, &actualOutSize, &out, &numFrames, testNums, &calcStats);
  if (result == noErr) {
    const SInt32 file = stage->fileNum;
    const BZ_ExecuteState exec = project->state.exec;
    if (file == 0)
      std::printf("%s\n", exec == kBZ_ProjStateAnalyzingMovie ? "Analyzing"
                          : exec == kBZ_ProjStatePreviewing  ? "Previewing"
                                                             : "Executing");
    BZ_DlgTaskData &dlg = gBZ.dlgTaskData;
    const bool executing = exec == kBZ_ProjStateExecuting;
    SInt32 numTests = 0, nextTest = 0;
    while (numTests < kBZ_NumTestFrames && testNums[numTests] != kBZ_EndOfFrameList) ++numTests;
    BZ_DlgTaskInput dlgInput{};  // read by the analysis tasks until they answer
    Boolean finished = false;
    while (result == noErr && !finished) {
      void *inWord = nullptr;
      result = BZ_WaitForBuffer(task, inInput, &inWord, nullptr, &finished);
      if (result != noErr || finished) break;
      auto *in = static_cast<UInt8 *>(inWord);
      BZ_FrameBuffInfo *inInfo = BZ_GetFrameBuffInfo(stage, in);
      if (inInfo == nullptr) {
        result = paramErr;
        break;
      }
      inInfo->outArrayNum = inInfo->inArrayNum;
      void *outWord = nullptr;
      result = BZ_WaitForBuffer(task, outFree, &outWord, nullptr, &finished);
      if (result != noErr || finished) break;
      auto *outBuffer = static_cast<UInt8 *>(outWord);
      BZ_FrameBuffInfo *outInfo = file == 0 ? BZ_GetFrameBuffInfo(out, outBuffer) : BZ_GetFrameBuffInfo2(out, outBuffer);
      if (outInfo == nullptr) {
        result = paramErr;
        break;
      }

      // Slots lie a buffer size apart; only the working frame's rows are copied.
      const SInt32 slot = inInfo->frameNum % kBZ_FrameCacheSize;
      UInt8 *slotPtr = dlg.frameCache != nullptr && slot >= 0 ? dlg.frameCache + size_t(slot) * outBufferSize : nullptr;
      if (!executing && inInfo->copyFromCache && slotPtr != nullptr) {
        // The slot cannot be refilled meanwhile: its needed count holds it.
        std::memcpy(outBuffer, slotPtr, actualOutSize);
        EnterCache(dlg.frameCacheCritRgn);
        if (dlg.frameCacheInfo[slot].needed > 0) --dlg.frameCacheInfo[slot].needed;
        ExitCache(dlg.frameCacheCritRgn);
      } else {
        if ((result = BZ_Copy(&params, in, outBuffer)) != noErr) break;
        if (!executing && file == 0 && slotPtr != nullptr) {
          EnterCache(dlg.frameCacheCritRgn);
          if (dlg.frameCacheInfo[slot].needed == 0) {
            std::memcpy(slotPtr, outBuffer, actualOutSize);
            dlg.frameCacheInfo[slot].frameNum = inInfo->frameNum;
          }
          ExitCache(dlg.frameCacheCritRgn);
        }
      }
      // The previewed frame is kept by its number: with methods that read neighbours it is not the first
      // frame of the run, so its position in the run cannot tell it.
      if (exec == kBZ_ProjStatePreviewing && file == 0 && inInfo->frameNum == testNums[0] &&
          dlg.previewCache != nullptr)
        std::memcpy(dlg.previewCache, outBuffer, actualOutSize);

      if (exec == kBZ_ProjStateAnalyzingMovie) {
        result = AnalyseFrame(stage, file, calcStats, testNums, numTests, numFrames, &nextTest, inInfo, in, outBuffer,
                              &dlgInput);
        if (result == userCanceledErr) {  // stopped while waiting: the run is over
          result = noErr;
          break;
        }
        if (result != noErr) break;
      }

      BZ_CopyFrameInfo(inInfo, outInfo);
      outInfo->outArrayNum = inInfo->outArrayNum;
      outInfo->actualSize = actualOutSize;
      result = BZ_NotifyFrame(project, kBZ_CopyTaskType, inFree, outInput, in, outBuffer);
    }
  }
  BZ_DisposeCopyParams(&params);
  task->exiting = true;
  std::printf("KBZ: exiting copy task, error = %ld\n", long(result));
  return result;
}
