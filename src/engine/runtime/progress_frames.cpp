// Handing frames to the progress view.
#include "engine/runtime/progress_frames.h"

#include "engine/runtime/engine_host.h"
#include "engine/runtime/shell_senders.h"

OSStatus BZ_StartShowingProgressFrame(BZ_ProjPtr project, BZ_FrameBuffInfo *frameBuffInfo, Boolean *showing) {
  if (showing == nullptr) return paramErr;
  *showing = false;
  if (project == nullptr || frameBuffInfo == nullptr) return paramErr;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  if (!host->showsProgressFrames(host->refCon)) return noErr;
  GL_ProgrData &progress = project->progress;
  // Two stages may look at once: only one takes the mark.
  Boolean due = true;
  if (!progress.show.compare_exchange_strong(due, false)) return noErr;
  progress.ptr = frameBuffInfo->ptr;
  progress.size = SInt32(frameBuffInfo->actualSize);
  const OSStatus err = BZ_SendShowProgressFrameEvent(frameBuffInfo);
  if (err == noErr) *showing = true;
  return err;
}

OSStatus BZ_ShowProgressFrame(BZ_ProjPtr project, BZ_FrameBuffInfo *frameBuffInfo, MPEventID event,
                              MPEventFlags *expectedEvents) {
  if (expectedEvents == nullptr || event == nullptr) return paramErr;
  Boolean showing = false;
  OSStatus err = BZ_StartShowingProgressFrame(project, frameBuffInfo, &showing);
  if (err != noErr || !showing) return err;
  *expectedEvents |= kBZ_DisplayDecompressDoneFlag;
  while (*expectedEvents & kBZ_DisplayDecompressDoneFlag) {
    MPEventFlags flags = 0;
    if ((err = MPWaitForEvent(event, &flags, kDurationForever)) != noErr) return err;
    *expectedEvents &= ~flags;
    // A stopped stage must not wait for a main thread that may no longer answer.
    if (flags & kBZ_StopTaskFlag) return userCanceledErr;
  }
  return noErr;
}
