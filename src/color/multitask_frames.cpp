// Multi-task frame operations: bands of a frame dealt to the caller's worker tasks (see the header).
#include "color/multitask_frames.h"

#include "color/gamma_tables.h"
#include "color/legalising.h"
#include "platform/core/event_loop.h"

#include <algorithm>

namespace {

constexpr SInt64 kPixelsPerBand = 100000;
constexpr SInt64 kMinPixelsForBands = 200000;

// How many bands the frame is cut into; 0 when the calling task does it alone.
SInt32 BandCount(SInt32 height, SInt32 width, SInt32 numProcessors) {
  const SInt64 pixels = SInt64(height) * SInt64(width);
  if (numProcessors < 2 || pixels < kMinPixelsForBands) return 0;
  return SInt32(std::min<SInt64>(pixels / kPixelsPerBand, numProcessors));
}

// Lines of band k of n; the last band also takes what the division leaves.
SInt32 BandLines(SInt32 height, SInt32 n, SInt32 k) {
  const SInt32 lines = height / n;
  return k == n - 1 ? height - (n - 1) * lines : lines;
}

// Waits until the first `count` records are marked done. The event only wakes this task: the flags are
// re-read after every wake, so bands finished between two waits, or by workers sharing an event bit, all
// count.
template <typename Params>
OSStatus WaitForBands(Params *params, SInt32 count, MPEventID event) {
  for (;;) {
    SInt32 done = 0;
    for (SInt32 k = 0; k < count; ++k)
      if (params[k].bandDone.load(std::memory_order_acquire)) ++done;
    if (done == count) return noErr;
    OSStatus err = PL_WaitForEventDispatching(event, nullptr, kDurationForever);
    if (err != noErr) return err;
  }
}

// Posts one message per band (fill(k) prepares record k first) and waits for them. With stopAtFailedPost the
// posting ends at the first failure; otherwise the other bands are still posted. Either way the bands that
// were posted are waited for before the post's error is returned, since they work in the caller's buffers.
template <typename Params, typename Fill>
OSStatus Distribute(SInt32 n, Params *params, MPQueueID inputQueue, MPEventID event, bool stopAtFailedPost,
                    Fill fill) {
  OSStatus postErr = noErr;
  SInt32 last = 0;  // records up to here were posted or marked done
  for (SInt32 k = 0; k < n; ++k) {
    fill(k);
    params[k].bandDone.store(false, std::memory_order_relaxed);
    OSStatus err = MPNotifyQueue(inputQueue, event, &params[k], nullptr);
    last = k + 1;
    if (err != noErr) {
      params[k].bandDone.store(true, std::memory_order_relaxed);  // never posted: nothing to wait for
      if (postErr == noErr) postErr = err;
      if (stopAtFailedPost) break;
    }
  }
  OSStatus err = WaitForBands(params, last, event);
  return postErr != noErr ? postErr : err;
}

// The worker loop shared by the three entries: run(record) does the band.
template <typename Params, typename Run>
OSStatus WorkOnBands(void *parameter, Run run) {
  MP_TaskData *task = static_cast<MP_TaskData *>(parameter);
  const MPEventFlags bit = MPEventFlags(1u << (UInt32(task->number) % 32u));
  for (;;) {
    void *eventWord = nullptr;
    void *record = nullptr;
    OSStatus err = MPWaitOnQueue(task->inputQueue, &eventWord, &record, nullptr, kDurationForever);
    if (err != noErr || record == nullptr) return err;
    Params *params = static_cast<Params *>(record);
    run(*params);
    // The distributor may return as soon as the flag is set: the record is not touched after it.
    params->bandDone.store(true, std::memory_order_release);
    MPSetEvent(static_cast<MPEventID>(eventWord), bit);
  }
}

// The two legalising passes: packed rows of width x 2 bytes, done in place; `alone` does the whole frame on
// the calling task. Both records carry ireLimit (the sanity check does not read it).
template <typename Params, typename Alone>
OSStatus LegaliseInBands(SInt32 height, SInt32 width, void *buffer, float *linePtrF, Boolean inputIsFullRange,
                         float ireLimit, SInt32 numProcessors, Params *params, MPQueueID inputQueue, MPEventID event,
                         Alone alone) {
  const SInt32 n = BandCount(height, width, numProcessors);
  if (n == 0) {
    alone();
    return noErr;
  }
  const SInt32 lines = height / n;
  return Distribute(n, params, inputQueue, event, true, [&](SInt32 k) {
    Params &p = params[k];
    p.height = BandLines(height, n, k);
    p.width = width;
    p.buffer = static_cast<UInt8 *>(buffer) + size_t(k) * size_t(lines) * size_t(width) * 2;
    p.linePtrF = linePtrF + size_t(k) * size_t(width) * 2;
    p.inputIsFullRange = inputIsFullRange;
    p.ireLimit = ireLimit;
  });
}

}  // namespace

OSStatus CO_FrameLimitIRE_UniMP(Boolean hasAltivec, Boolean hasSSE3, SInt32 height, SInt32 width, void *buffer,
                                float *linePtrF, Boolean inputIsFullRange, float ireLimit, SInt32 numProcessors,
                                CO_MP_LimitIRE_Params *limitIreParams, MPQueueID inputQueue, MPEventID event) {
  return LegaliseInBands(height, width, buffer, linePtrF, inputIsFullRange, ireLimit, numProcessors, limitIreParams,
                         inputQueue, event, [&] {
                           CO_FrameLimitIRE_Uni(hasAltivec, hasSSE3, height, width, buffer, linePtrF, inputIsFullRange,
                                                ireLimit);
                         });
}

OSStatus CO_FrameSanityCheckUniMP(Boolean hasAltivec, Boolean hasSSE3, SInt32 height, SInt32 width, void *buffer,
                                  float *linePtrF, Boolean inputIsFullRange, SInt32 numProcessors,
                                  CO_MP_SanityCheckParams *sanityCheckParams, MPQueueID inputQueue, MPEventID event) {
  return LegaliseInBands(height, width, buffer, linePtrF, inputIsFullRange, 0.0f, numProcessors, sanityCheckParams,
                         inputQueue, event, [&] {
                           CO_FrameSanityCheckUni(hasAltivec, hasSSE3, height, width, buffer, linePtrF, inputIsFullRange);
                         });
}

OSStatus CO_2vuyFrameChangeGammaUniMP(Boolean hasAltivec, Boolean hasSSE3, SInt32 height, SInt32 width,
                                      const void *inBuffer, void *outBuffer, float *fpLine, SInt32 inRowBytes,
                                      SInt32 outRowBytes, const UInt16 *newRGB, float inGamma, float outGamma,
                                      SInt32 numProcessors, CO_MP_Change2vuyGammaParams *change2vuyGammaParams,
                                      MPQueueID inputQueue, MPEventID event) {
  const SInt32 n = BandCount(height, width, numProcessors);
  if (n == 0) {
    CO_2vuyFrameChangeGammaUni(hasAltivec, hasSSE3, height, width, inBuffer, outBuffer, fpLine, inRowBytes,
                               outRowBytes, inGamma, outGamma, newRGB);
    return noErr;
  }
  const SInt32 lines = height / n;
  return Distribute(n, change2vuyGammaParams, inputQueue, event, false, [&](SInt32 k) {
    CO_MP_Change2vuyGammaParams &p = change2vuyGammaParams[k];
    p.height = BandLines(height, n, k);
    p.width = width;
    p.inBuffer = static_cast<const UInt8 *>(inBuffer) + ptrdiff_t(k) * lines * ptrdiff_t(inRowBytes);
    p.outBuffer = static_cast<UInt8 *>(outBuffer) + ptrdiff_t(k) * lines * ptrdiff_t(outRowBytes);
    p.linePtrF = fpLine + size_t(k) * size_t(width) * 2;
    p.inRowBytes = inRowBytes;
    p.outRowBytes = outRowBytes;
    p.newRGB = newRGB;
    p.inGamma = inGamma;
    p.outGamma = outGamma;
  });
}

OSStatus CO_FrameLimitIRE_UniTask(void *taskData) {
  return WorkOnBands<CO_MP_LimitIRE_Params>(taskData, [](CO_MP_LimitIRE_Params &p) {
    CO_FrameLimitIRE_Uni(p.hasAltivec, p.hasSSE3, p.height, p.width, p.buffer, p.linePtrF, p.inputIsFullRange,
                         p.ireLimit);
  });
}

OSStatus CO_FrameSanityCheckUniTask(void *taskData) {
  return WorkOnBands<CO_MP_SanityCheckParams>(taskData, [](CO_MP_SanityCheckParams &p) {
    CO_FrameSanityCheckUni(p.hasAltivec, p.hasSSE3, p.height, p.width, p.buffer, p.linePtrF, p.inputIsFullRange);
  });
}

OSStatus CO_2vuyFrameChangeGammaUniTask(void *taskData) {
  return WorkOnBands<CO_MP_Change2vuyGammaParams>(taskData, [](CO_MP_Change2vuyGammaParams &p) {
    CO_2vuyFrameChangeGammaUni(p.hasAltivec, p.hasSSE3, p.height, p.width, p.inBuffer, p.outBuffer, p.linePtrF,
                               p.inRowBytes, p.outRowBytes, p.inGamma, p.outGamma, p.newRGB);
  });
}
