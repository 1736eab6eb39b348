// The logo-removal stage: set-up, distributor, workers and collector (see the header).
#include "methods/logo_stage.h"

#include "engine/runtime/engine_host.h"
#include "engine/runtime/frame_selection.h"
#include "engine/runtime/progress_frames.h"
#include "engine/runtime/shell_senders.h"
#include "engine/runtime/stage_access.h"
#include "engine/runtime/working_format.h"
#include "methods/logo_finding.h"
#include "methods/logo_interpolation.h"
#include "methods/logo_mask.h"
#include "methods/logo_removal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

namespace {

BZ_ProjPtr ProjectOf(MP_TaskData *task) { return static_cast<BZ_ProjPtr>(task->termMessage2); }

size_t AreaOf(const Rect &r) { return size_t(BZ_RlLogoWidth(r)) * size_t(BZ_RlLogoHeight(r)); }

// numWorkers arrays of `bytes` each and a NULL after them; NULL entries when out of memory (the caller checks).
UInt8 **NewScratch(SInt32 numWorkers, size_t bytes) {
  auto **arrays = static_cast<UInt8 **>(std::calloc(size_t(numWorkers) + 1, sizeof(UInt8 *)));
  if (arrays == nullptr) return nullptr;
  for (SInt32 i = 0; i < numWorkers; ++i) arrays[i] = static_cast<UInt8 *>(std::malloc(bytes));
  return arrays;
}

bool ScratchMade(UInt8 **arrays, SInt32 numWorkers) {
  if (arrays == nullptr) return false;
  for (SInt32 i = 0; i < numWorkers; ++i)
    if (arrays[i] == nullptr) return false;
  return true;
}

// Frees arrays made by NewScratch (also half-made ones: the first NULL ends them).
void FreeScratch(UInt8 ***arrays) {
  if (*arrays == nullptr) return;
  for (UInt8 **a = *arrays; *a != nullptr; ++a) std::free(*a);
  std::free(*arrays);
  *arrays = nullptr;
}

BZ_RlDlgTaskData *LogoData() {
  if (gBZ.dlgTaskData.rlDlgTaskData == nullptr) BZ_RlInitDlgTaskData(&gBZ.dlgTaskData.rlDlgTaskData);
  return gBZ.dlgTaskData.rlDlgTaskData;
}

// The interpolation of the run's mask, built once for the run and kept in the logo method's state (the preview
// and the next runs use it; the old one goes).
OSStatus BuildInterpolation(BZ_RlParams *p, BZ_RlDlgTaskData *data) {
  BZ_RlDisposeInterpolation(&data->logoComps, &data->numConnectedComps, &data->interpWeights);
  OSStatus err = BZ_SetupNonTrInterpolation(p, p->numWorkers);
  if (err != noErr) return err;
  data->logoComps = p->logoComps;
  data->numConnectedComps = p->numConnectedComps;
  data->interpWeights = p->interpWeights;
  return noErr;
}

// A mask array of the logo method for the rectangle, every pixel set or cleared.
OSStatus NewDialogMask(BZ_RlDlgTaskData *data, const Rect &rect, UInt8 value) {
  const size_t area = AreaOf(rect);
  auto *mask = static_cast<UInt8 *>(std::malloc(area + 1));
  if (mask == nullptr) return memFullErr;
  std::memset(mask, value, area);
  BZ_RlForgetMask(data);
  data->isMaskPixel = mask;
  data->maskRect = rect;
  data->numMaskPix = value != 0 ? SInt32(area) : 0;
  return noErr;
}

// A run that uses the mask of the logo method (mode 3 without finding it): read from the mask file when none
// is held, checked against the rectangle, and borrowed.
OSStatus BorrowMask(BZ_RlParams *p, BZ_RlDlgTaskData *data) {
  const BZ_RlSett *sett = p->sett;
  const bool noFile = std::all_of(data->maskFile.hidden, data->maskFile.hidden + sizeof data->maskFile.hidden,
                                  [](UInt8 b) { return b == 0; });
  if (data->isMaskPixel == nullptr && noFile) {
    // A mask still to be found: until then nothing is removed.
    if (!sett->findMask) return kBZ_LogoEmptyErr;
    OSStatus err = NewDialogMask(data, p->logoRect, 0);
    if (err != noErr) return err;
  }
  if (data->isMaskPixel == nullptr) {
    OSStatus err = BZ_RlCheckMask(data, &data->maskFile);
    if (err != noErr) return err;
    BZ_RlMaskRectAtAnchor(data, sett->maskAnchor, p->inHeight, p->inWidth, &data->maskRect);
  }
  // The mask must cover the rectangle exactly, or pixels would be read from the wrong place or past its end.
  if (BZ_RlLogoWidth(data->maskRect) != BZ_RlLogoWidth(p->logoRect) ||
      BZ_RlLogoHeight(data->maskRect) != BZ_RlLogoHeight(p->logoRect)) {
    std::printf("KBZ: remove logo: the mask (%ld x %ld) does not fit the logo rectangle (%ld x %ld)\n",
                long(BZ_RlLogoWidth(data->maskRect)), long(BZ_RlLogoHeight(data->maskRect)),
                long(BZ_RlLogoWidth(p->logoRect)), long(BZ_RlLogoHeight(p->logoRect)));
    return kBZ_LogoTooLargeErr;
  }
  if (data->numMaskPix <= 0 && !sett->findMask) return kBZ_LogoEmptyErr;
  if (sett->transparent && (data->logoPixels == nullptr || data->numLogoPixels != data->numMaskPix)) {
    // An imported mask has no measured colours: a black logo is assumed.
    std::free(data->logoPixels);
    data->logoPixels = static_cast<UInt8 *>(std::calloc(size_t(data->numMaskPix) * 2 + 1, 1));
    if (data->logoPixels == nullptr) return memFullErr;
    data->numLogoPixels = data->numMaskPix;
  }
  p->isMaskPixel = data->isMaskPixel;
  p->numMaskPix = data->numMaskPix;
  p->logoPixels = data->logoPixels;
  return noErr;
}

// Finding: the mask, colours and lists this run measures into.
OSStatus PrepareFinding(BZ_RlParams *p, BZ_RlDlgTaskData *data) {
  const BZ_RlSett *sett = p->sett;
  const size_t area = AreaOf(p->logoRect);
  OSStatus err = noErr;
  if (sett->transparent) {
    if (sett->findMask) {
      err = NewDialogMask(data, p->logoRect, 0);
    } else {
      err = BorrowMask(p, data);
    }
    if (err != noErr) return err;
    std::free(data->logoPixels);
    data->logoPixels = static_cast<UInt8 *>(std::calloc(2 * area + 1, 1));
    data->numLogoPixels = data->numMaskPix;
    p->unifFrames = static_cast<BZ_RlUnifFrame *>(std::calloc(kBZ_RlNumUnifFrames, sizeof(BZ_RlUnifFrame)));
    p->logosPtr = static_cast<UInt8 *>(std::calloc(kBZ_RlNumUnifFrames * 2 * area + 1, 1));
    if (data->logoPixels == nullptr || p->unifFrames == nullptr || p->logosPtr == nullptr) return memFullErr;
    for (SInt32 k = 0; k < 5; ++k) p->unifFrames[k].avY = std::numeric_limits<float>::infinity();
  } else if (sett->findMask) {
    if ((err = NewDialogMask(data, p->logoRect, 1)) != noErr) return err;
    // Entry 0 of each holds the lists of every pixel (only the luma lists are filled).
    for (UInt8 ***lists : {&p->yValues, &p->cbValues, &p->crValues}) {
      *lists = static_cast<UInt8 **>(std::calloc(2, sizeof(UInt8 *)));
      if (*lists == nullptr) return memFullErr;
      if (((*lists)[0] = BZ_RlAllocateAndInit10MinMaxColors(SInt32(area))) == nullptr) return memFullErr;
    }
  } else if ((err = BorrowMask(p, data)) != noErr) {
    return err;
  }
  p->isMaskPixel = data->isMaskPixel;
  p->numMaskPix = data->numMaskPix;
  p->logoPixels = data->logoPixels;
  return noErr;
}

void PrintSamples(BZ_MethodStage *ms) {
  const SInt32 capacity = std::max<SInt32>(BZ_GetMaxSampleNumArraySize(ms->project->dynIO_Info.buffInfo), 1);
  std::vector<SInt32> in(static_cast<size_t>(capacity)), out(in.size());
  SInt32 numIn = 0, numOut = 0, tests[kBZ_NumTestFrames + 1], numTests = 0;
  if (BZ_SelectMovieSamplesForStage(BZ_GetNumFramesInMovie(ms->project->info.statMovInfo), kBZ_RlTaskType, in.data(),
                                    &numIn, out.data(), &numOut, tests, &numTests) != noErr)
    return;
  std::printf("Rl samples: \nSamples: ");
  for (SInt32 i = 0; i < numOut; ++i) std::printf("%ld,", long(out[size_t(i)]));
  std::printf(" (%ld frames)\nTest samples: ", long(numOut));
  for (SInt32 i = 0; i < numTests; ++i) std::printf("%ld,", long(tests[i]));
  std::printf(" (%ld frames)\n", long(numTests));
}

// A measured sample of a finding run: shown, then straight to the collector.
OSStatus MeasureSample(BZ_MethodStage *ms, MP_TaskData *task1, BZ_RlParams *p, UInt8 *in, void *slot) {
  BZ_RlProcParams *item = static_cast<BZ_RlProcParams *>(slot);
  *item = BZ_RlProcParams{p, ms->calcStats, false, nullptr, in, nullptr, nullptr, 0};
  BZ_DlgTaskInput input{};
  BZ_RlFillDlgTaskInput(ms->stage, item, &input);
  if (p->numSamplesMeasured++ == 0) {
    const BZ_EngineHost *host = BZ_GetEngineHost();
    host->getDialogStatePtr(host->refCon)->findingLogo = true;
  }
  if (p->unifFrames != nullptr)
    BZ_FindTrLogo(p, &input);
  else if (p->yValues != nullptr)
    BZ_FindNonTrLogo(p, &input);
  MPEventFlags expected = 0;
  OSStatus err = BZ_ShowProgressFrame(ms->project, BZ_GetFrameBuffInfo(ms->stage, in), ms->stage->event, &expected);
  if (err != noErr) return err;
  return BZ_MsItemDone(task1, item);
}

}  // namespace

// ---- Set-up -------------------------------------------------------------------------------------------------

OSStatus BZ_SetupRlTask1(MP_TaskData *task1, BZ_MethodStage **ms, BZ_RlParams *rlParams, Boolean *calcAutoSett,
                         Boolean *padding) {
  if (task1 == nullptr || ms == nullptr || rlParams == nullptr || calcAutoSett == nullptr || padding == nullptr)
    return paramErr;
  *rlParams = BZ_RlParams{};
  *calcAutoSett = false;
  BZ_ProjPtr project = ProjectOf(task1);
  if (project == nullptr) return paramErr;
  BZ_RlSett *sett = &project->info.settings.cleaning.removeLogo;
  BZ_RlSett checked = *sett;
  if (!BZ_RlValidateSett(&checked, false)) {
    // The rectangle has its own check against the real picture below; any other field out of range stops here.
    checked.logoRect = Rect{2, 2, 12, 12};
    if (!BZ_RlValidateSett(&checked, false)) return paramErr;
  }
  OSStatus err = BZ_MsCreateStageRecord(task1, sizeof(BZ_RlProcParams), ms);
  if (err != noErr) return err;
  const BZ_StatMovInfo &movie0 = project->info.statMovInfo[0];
  BZ_RlParams *p = rlParams;
  p->inHeight = movie0.height;
  p->inWidth = movie0.width;
  p->interlaced = project->info.settings.input.interlaced;
  p->sett = sett;
  p->numWorkers = BZ_GetNumSubTasks();
  if ((err = BZ_GetBufferSize(p->inHeight, p->inWidth, p->interlaced, &p->height, &p->width, nullptr)) != noErr)
    return err;
  if (size_t(p->width) * size_t(p->height) * 2 > (*ms)->stage->size ||
      size_t(p->width) * size_t(p->height) * 2 > (*ms)->receiver->size)
    return paramErr;
  // Checked against the real picture, not corrected: a rectangle that does not fit ends the run.
  p->logoRect = sett->logoRect;
  Rect probe = p->logoRect;
  if (!BZ_RlValidateLogoRect(p->inHeight, p->inWidth, false, &probe)) {
    std::printf("KBZ: remove logo: logo rectangle {%hd,%hd,%hd,%hd} does not fit the %ld x %ld picture\n",
                p->logoRect.top, p->logoRect.left, p->logoRect.bottom, p->logoRect.right, long(p->inWidth),
                long(p->inHeight));
    return kBZ_LogoTooLargeErr;
  }
  *padding = BZ_GetPadding(project, kBZ_RlTaskType);
  const BZ_EngineHost *host = BZ_GetEngineHost();
  *calcAutoSett = (*ms)->exec == kBZ_ProjStateAnalyzingMovie &&
                  host->getAutoSettStage(host->refCon) == kBZ_RlAutoSettStage;
  BZ_RlDlgTaskData *data = LogoData();
  if (data == nullptr) return memFullErr;

  const size_t area = AreaOf(p->logoRect);
  if (*calcAutoSett) {
    if (sett->mode == kBZ_LogoModeUseMask) err = PrepareFinding(p, data);
  } else if (sett->mode == kBZ_LogoModeDiminish) {
    const size_t bytes = size_t(BZ_RlLogoWidth(p->logoRect) + BZ_RlLogoHeight(p->logoRect)) * 2 + 4;
    p->yValues = NewScratch(p->numWorkers, bytes);
    p->cbValues = NewScratch(p->numWorkers, bytes);
    p->crValues = NewScratch(p->numWorkers, bytes);
    if (!ScratchMade(p->yValues, p->numWorkers) || !ScratchMade(p->cbValues, p->numWorkers) ||
        !ScratchMade(p->crValues, p->numWorkers))
      err = memFullErr;
  } else if (sett->mode == kBZ_LogoModeInterp) {
    // The whole rectangle is the mask; the logo method's own mask is left as it is.
    p->ownMask = static_cast<UInt8 *>(std::malloc(area + 1));
    if (p->ownMask == nullptr) return memFullErr;
    std::memset(p->ownMask, 1, area);
    p->isMaskPixel = p->ownMask;
    p->numMaskPix = SInt32(area);
    err = BuildInterpolation(p, data);
  } else {
    err = BorrowMask(p, data);
    if (err == noErr && !sett->transparent) err = BuildInterpolation(p, data);
  }
  if (err != noErr) return err;

  if (sett->fade) {
    if ((err = BZ_SendGetFadeFrameNumbersEvent(p)) != noErr) return err;
    if ((err = BZ_RlWaitForMainThread((*ms)->stage)) != noErr) return err;
    if (OSStatus mainErr = project->state.error.load(); mainErr != noErr) return mainErr;
  }
  if ((*ms)->exec != kBZ_ProjStateExecuting) PrintSamples(*ms);
  if ((*ms)->exec == kBZ_ProjStateExecuting) {
    p->savedLogos = static_cast<UInt8 *>(std::calloc(6 * area + 1, 1));
    if (p->savedLogos == nullptr) return memFullErr;
  }
  return noErr;
}

void BZ_RlDisposeParams(BZ_RlParams *rlParams) {
  if (rlParams == nullptr) return;
  FreeScratch(&rlParams->yValues);
  FreeScratch(&rlParams->cbValues);
  FreeScratch(&rlParams->crValues);
  std::free(rlParams->unifFrames);
  std::free(rlParams->logosPtr);
  std::free(rlParams->savedLogos);
  std::free(rlParams->ownMask);
  rlParams->unifFrames = nullptr;
  rlParams->logosPtr = nullptr;
  rlParams->savedLogos = nullptr;
  rlParams->ownMask = nullptr;
  rlParams->isMaskPixel = nullptr;
  rlParams->logoPixels = nullptr;
}

OSStatus BZ_SetupRlTask2(MP_TaskData *task2, BZ_MethodStage **ms) {
  if (ms == nullptr) return paramErr;
  std::printf("KBZ: setting up remove logo task 2\n");
  *ms = BZ_MsOfTask(task2);
  return *ms != nullptr ? noErr : paramErr;
}

OSStatus BZ_RlCreateTask2(BZ_MethodStage *ms, MP_TaskData *task1) { return BZ_MsCreateTask2(ms, task1, BZ_RlTask2); }

OSStatus BZ_RlCloseTask2(BZ_MethodStage *ms, MP_TaskData *task1) { return BZ_MsCloseTask2(ms, task1); }

void BZ_RlFillDlgTaskInput(BZ_BuffInfo *stageBuffInfo, const BZ_RlProcParams *rlProcParams,
                           BZ_DlgTaskInput *dlgTaskInput) {
  if (rlProcParams == nullptr) return;
  BZ_MsFillDlgTaskInput(stageBuffInfo, rlProcParams->inBuffer, rlProcParams->outBuffer, dlgTaskInput);
}

void BZ_RlParamsToPadParams(const BZ_RlParams *rlParams, BZ_PadParams *padParams) {
  BZ_StageParamsToPadParams(rlParams, padParams);
}

// ---- Distributor --------------------------------------------------------------------------------------------

OSStatus BZ_RlTask1(void *parameter) {
  auto *task = static_cast<MP_TaskData *>(parameter);
  if (task == nullptr) return paramErr;
  std::printf("KBZ: setting up remove logo task 1\n");
  BZ_MethodStage *ms = nullptr;
  BZ_RlParams rlParams{};
  Boolean calcAutoSett = false, padding = false;
  OSStatus result = BZ_SetupRlTask1(task, &ms, &rlParams, &calcAutoSett, &padding);
  if (result == noErr && calcAutoSett)
    std::printf("BZ_RlTask1: analyzing, calcAutoSett = %u\n", unsigned(calcAutoSett));
  if (result == noErr) result = BZ_RlCreateTask2(ms, task);
  if (result == noErr) result = BZ_MsCreateWorkers(task, BZ_RemoveLogoTaskProper);

  Boolean finished = false;
  while (result == noErr && !finished) {
    UInt8 *in = nullptr, *out = nullptr;
    result = BZ_MsWaitForFrame(ms, task, &in, &out, &finished);
    if (result != noErr || finished) break;
    void *slot = BZ_MsWorkItem(ms, in);
    if (slot == nullptr) {
      result = paramErr;
      break;
    }
    if (calcAutoSett) {
      // Measuring makes no output: the receiver's buffer goes straight back.
      if ((result = BZ_NotifyFrame(ms->project, kBZ_RlTaskType, ms->outFreeQueue, nullptr, out, nullptr)) != noErr)
        break;
      const BZ_FrameBuffInfo *info = BZ_GetFrameBuffInfo(ms->stage, in);
      if (info != nullptr && info->inArrayNum < ms->numFrames) {
        result = MeasureSample(ms, task, &rlParams, in, slot);
      } else {
        // More frames than samples: released unmeasured, so the stage never runs out of buffers.
        result = BZ_NotifyFrame(ms->project, kBZ_RlTaskType, ms->ownFreeQueue, nullptr, in, nullptr);
      }
      continue;
    }
    const SInt32 worker = BZ_MsTakeWorkerNum(ms, task);
    auto *item = static_cast<BZ_RlProcParams *>(slot);
    *item = BZ_RlProcParams{&rlParams, ms->calcStats, padding, nullptr, in, nullptr, out, worker};
    result = BZ_MsPostItem(ms, task, worker, item);
  }

  if (ms != nullptr) {
    OSStatus err = BZ_MsCloseWorkers(ms, task, "remove logo");
    if (result == noErr) result = err;
    err = BZ_RlCloseTask2(ms, task);
    if (result == noErr) result = err;
  }
  BZ_RlDisposeParams(&rlParams);
  task->exiting = true;
  std::printf("KBZ: exiting remove logo task 1, error = %ld\n", long(result));
  return result;
}

// ---- Worker -------------------------------------------------------------------------------------------------

OSStatus BZ_RemoveLogoTaskProper(void *parameter) {
  return BZ_MsServeItems<BZ_RlProcParams>(parameter, [](BZ_MethodStage *ms, MP_TaskData *,
                                                        BZ_RlProcParams *item) -> OSStatus {
    const BZ_FrameBuffInfo *info = BZ_GetFrameBuffInfo(ms->stage, item->inBuffer);
    BZ_RemoveLogo(item->rlParams, item->subTaskNum, info != nullptr ? info->frameNum : 0, item->inBuffer,
                  item->outBuffer);
    if (item->padding) {
      BZ_PadParams pad{};
      BZ_RlParamsToPadParams(item->rlParams, &pad);
      BZ_PadFrame(&pad, item->outBuffer);
    }
    return noErr;
  });
}

// ---- Collector ----------------------------------------------------------------------------------------------

namespace {

// The executing collector's frame held back for its median.
struct HeldFrame {
  UInt8 *out = nullptr;
  SInt32 frameNum = -1;
};

// Executing: frames in order, each median-filtered once its successor is there and handed on then; the last
// frame goes with its own arrival.
OSStatus CollectExecuting(BZ_MethodStage *ms, BZ_RlProcParams *item, HeldFrame *held) {
  BZ_FrameBuffInfo *inInfo = BZ_GetFrameBuffInfo(ms->stage, item->inBuffer);
  if (inInfo == nullptr || BZ_GetFrameBuffInfo(ms->receiver, item->outBuffer) == nullptr) return paramErr;
  BZ_MP_Info &pool = ms->stage->mpInfo;
  // Inputs not needed for the noise movie go back at once; the others stay with the frame downstream.
  OSStatus err;
  if (ms->freeInputBuffer &&
      (err = BZ_NotifyFrame(ms->project, ms->type, ms->ownFreeQueue, nullptr, item->inBuffer, nullptr)) != noErr)
    return err;
  if (inInfo->frameNum < pool.outFrameNum) {
    // Its turn has passed: both buffers go back, and the run goes on with the next item.
    if (!ms->freeInputBuffer &&
        (err = BZ_NotifyFrame(ms->project, ms->type, ms->ownFreeQueue, nullptr, item->inBuffer, nullptr)) != noErr)
      return err;
    return BZ_NotifyFrame(ms->project, ms->type, ms->outFreeQueue, nullptr, item->outBuffer, nullptr);
  }
  if ((err = MPNotifyQueue(pool.outputPool, BZ_Word(ms->type), nullptr, item->outBuffer)) != noErr) return err;
  const SInt32 numFrames = BZ_GetNumFramesInMovie(ms->project->info.statMovInfo);
  const BZ_RlParams *rlParams = item->rlParams;
  for (;;) {
    UInt8 *frame = nullptr;
    if ((err = BZ_GetFrameFromOutputPool(ms->exec, ms->receiver, ms->type, &pool, &frame)) != noErr ||
        frame == nullptr)
      return err;
    const BZ_FrameBuffInfo *info = BZ_GetFrameBuffInfo(ms->receiver, frame);
    if (info == nullptr) return paramErr;
    const SInt32 n = info->frameNum;
    BZ_RlProcParams current{*item};
    current.outBuffer = frame;
    // Frames the fade leaves untouched stay as they came.
    UInt8 *prev = held->out != nullptr && BZ_RlGetFadeFraction(rlParams, held->frameNum) > 0.0f ? held->out : nullptr;
    BZ_LogoAntiShimmerFilter(prev, n, &current);
    if (held->out != nullptr &&
        (err = BZ_NotifyFrame(ms->project, ms->type, nullptr, ms->outInputQueue, nullptr, held->out)) != noErr)
      return err;
    held->out = frame;
    held->frameNum = n;
    if (n >= numFrames - 1) {
      held->out = nullptr;
      if ((err = BZ_NotifyFrame(ms->project, ms->type, nullptr, ms->outInputQueue, nullptr, frame)) != noErr)
        return err;
    }
  }
}

}  // namespace

OSStatus BZ_RlTask2(void *parameter) {
  auto *task2 = static_cast<MP_TaskData *>(parameter);
  BZ_MethodStage *ms = nullptr;
  OSStatus result = BZ_SetupRlTask2(task2, &ms);
  HeldFrame held;
  SInt32 samplesDone = 0;
  while (result == noErr) {
    void *sender = nullptr, *word = nullptr;
    if ((result = MPWaitOnQueue(task2->inputQueue, &sender, nullptr, &word, kDurationForever)) != noErr) break;
    if (BZ_FromWord(sender) != kBZ_ProcSubTaskType) break;  // the distributor's end of the run
    auto *item = static_cast<BZ_RlProcParams *>(word);
    if (item->outBuffer == nullptr) {
      // A measured sample: its input goes back; after the last one the results are made.
      if ((result = BZ_NotifyFrame(ms->project, kBZ_RlTaskType, ms->ownFreeQueue, nullptr, item->inBuffer,
                                   nullptr)) != noErr)
        break;
      if (++samplesDone == ms->numFrames) {
        const BZ_EngineHost *host = BZ_GetEngineHost();
        result = BZ_RlFinishAutoSettCalc(host->getDialogStatePtr(host->refCon), ms->project, item->rlParams,
                                         ms->stage, task2->creator->termQueue);
      }
      continue;
    }
    if (ms->exec == kBZ_ProjStateExecuting)
      result = CollectExecuting(ms, item, &held);
    else
      result = BZ_MsCollectFrame(ms, item->inBuffer, item->outBuffer);
  }
  result = BZ_MsEndTask2(ms, task2, result);
  std::printf("KBZ: exiting remove logo task 2, error = %ld\n", long(result));
  return result;
}

// ---- Main thread --------------------------------------------------------------------------------------------

void BZ_RlFadeFrameNumbers(const BZ_StatMovInfo *movie, TimeValue duration, TimeScale scale, BZ_RlSett *sett,
                           BZ_RlParams *rlParams) {
  SInt32 t = sett->timeBeforeFade;
  const SInt64 seconds = scale > 0 ? SInt64(duration) / scale : 0;
  while (2 * t + 3 > seconds && t > 0) --t;
  if (t == 0 && seconds < 3) {
    sett->fade = false;
    return;
  }
  rlParams->lastFrameNumBeforeFadeOut = BZ_MovieFrameNumberFromTimeList(movie, TimeValue(t) * scale);
  rlParams->lastFrameNumOfFadeOut = BZ_MovieFrameNumberFromTimeList(movie, TimeValue(t + 1) * scale);
  rlParams->firstFrameNumAfterFadeIn = BZ_MovieFrameNumberFromTimeList(movie, duration - TimeValue(t) * scale);
  rlParams->firstFrameNumOfFadeIn = BZ_MovieFrameNumberFromTimeList(movie, duration - TimeValue(t + 1) * scale);
  if (rlParams->firstFrameNumAfterFadeIn == -1) rlParams->firstFrameNumAfterFadeIn = movie->numFrames;
}

OSStatus BZ_RlGetFadeFrameNumbers(BZ_ProjPtr project, BZ_RlParams *rlParams) {
  if (project == nullptr || rlParams == nullptr || rlParams->sett == nullptr) return paramErr;
  const BZ_StatMovInfo *movie = &project->info.statMovInfo[0];
  BZ_RlFadeFrameNumbers(movie, movie->videoDuration, movie->movieTimeScale, rlParams->sett, rlParams);
  return noErr;
}

OSStatus BZ_RlReinitInterpolation(BZ_DlgTaskData *dlgData, const BZ_RlSett *rlSett) {
  if (dlgData == nullptr || rlSett == nullptr) return paramErr;
  BZ_ProjPtr project = gBZ.project;
  if (project == nullptr ||
      BZ_GetBufferInfoByStageType(project->dynIO_Info.buffInfo, kBZ_RlTaskType, 0) == nullptr)
    return noErr;
  if (dlgData->rlDlgTaskData == nullptr) {
    OSStatus err = BZ_RlInitDlgTaskData(&dlgData->rlDlgTaskData);
    if (err != noErr) return err;
  }
  BZ_RlDlgTaskData *data = dlgData->rlDlgTaskData;
  BZ_RlSett sett = *rlSett;
  BZ_RlParams p{};
  p.sett = &sett;
  p.logoRect = rlSett->logoRect;
  p.interlaced = project->info.settings.input.interlaced;
  p.numWorkers = BZ_GetNumSubTasks();
  if (BZ_RlLogoWidth(p.logoRect) <= 0 || BZ_RlLogoHeight(p.logoRect) <= 0) return paramErr;
  OSStatus err = NewDialogMask(data, p.logoRect, 1);
  if (err != noErr) return err;
  p.isMaskPixel = data->isMaskPixel;
  p.numMaskPix = data->numMaskPix;
  return BuildInterpolation(&p, data);
}

OSStatus BZ_RlInitDlgTaskData(BZ_RlDlgTaskData **rlDlgTaskData) {
  if (rlDlgTaskData == nullptr) return paramErr;
  *rlDlgTaskData = static_cast<BZ_RlDlgTaskData *>(std::calloc(1, sizeof(BZ_RlDlgTaskData)));
  return *rlDlgTaskData != nullptr ? noErr : memFullErr;
}

void BZ_RlForgetMask(BZ_RlDlgTaskData *data) {
  if (data == nullptr) return;
  std::free(data->isMaskPixel);
  std::free(data->logoPixels);
  data->isMaskPixel = nullptr;
  data->logoPixels = nullptr;
  data->numMaskPix = 0;
  data->numLogoPixels = 0;
  data->maskRect = Rect{};
}

void BZ_RlDisposeDlgTaskData(BZ_RlDlgTaskData **rlDlgTaskData) {
  if (rlDlgTaskData == nullptr || *rlDlgTaskData == nullptr) return;
  BZ_RlDlgTaskData *data = *rlDlgTaskData;
  BZ_RlDisposeInterpolation(&data->logoComps, &data->numConnectedComps, &data->interpWeights);
  BZ_RlForgetMask(data);
  if (data->logoMaskPic != nullptr) KillPicture(data->logoMaskPic);
  if (data->wellPic != nullptr) KillPicture(data->wellPic);
  std::free(data);
  *rlDlgTaskData = nullptr;
}
