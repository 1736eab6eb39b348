// Analysis and preview run control.
#include "dialog/run_control.h"

#include "dialog/method_tabs.h"
#include "dialog/method_types.h"
#include "engine/runtime/stage_access.h"
#include "general/file_layer.h"
#include "engine/tasks/pipeline_types.h"
#include "engine/tasks/task_runtime.h"
#include "platform/core/event_loop.h"

#include <cstdint>
#include <cstdio>

std::atomic<Boolean> &BZ_PreviewCalcDeferred() {
  static std::atomic<Boolean> deferred{false};
  return deferred;
}

OSStatus BZ_StopMovieAnalysis(BZ_ProjDlgState *dlgState, Boolean *actuallyStopping, Boolean waiting) {
  if (dlgState == nullptr || actuallyStopping == nullptr) return paramErr;
  dlgState->movieAnalysisDeferred = false;
  BZ_PreviewCalcDeferred() = false;
  BZ_ProjPtr project = gBZ.project;
  if (project == nullptr || BZ_GetProjectBuffer(project) == nullptr) return noErr;

  const BZ_ExecuteState exec = project->state.exec;
  const bool analysing = exec == kBZ_ProjStateAnalyzingMovie;
  const bool previewing = exec == kBZ_ProjStatePreviewing && project->state.subExec == kBZ_ProjSubStateCalcPreview;
  BZ_DlgTaskData &dlgTaskData = gBZ.dlgTaskData;
  if (waiting) {
    MPSemaphoreID semaphore = dlgTaskData.stopSemaphore.load();
    OSStatus err = MP_RecreateSemaphore(1, 0, &semaphore);
    dlgTaskData.stopSemaphore = semaphore;
    if (err != noErr) return err;
  } else if (dlgState->needMovieAnalysis && (analysing || previewing)) {
    dlgState->movieAnalysisDeferred = true;
  } else if (dlgState->needPreviewCalc && previewing) {
    BZ_PreviewCalcDeferred() = true;
  }

  SInt32 code = 0;
  if (dlgState->needMovieAnalysis) {
    if (analysing)
      code = kBZ_CancelMovieAnalysisMessage;
    else if (previewing)
      code = kBZ_CancelPreviewCalcMessage;
  } else if (dlgState->needPreviewCalc) {
    if (previewing) code = kBZ_CancelPreviewCalcMessage;
    if (exec != kBZ_ProjStatePreviewing) dlgState->needPreviewCalc = false;
  }
  if (code == 0) {
    *actuallyStopping = false;
    if (waiting) {
      MPSemaphoreID semaphore = dlgTaskData.stopSemaphore.exchange(nullptr);
      MP_DeleteSemaphore(&semaphore);
    }
    return noErr;
  }
  std::printf(code == kBZ_CancelPreviewCalcMessage ? "KBZ: stopping preview calculation\n"
                                                   : "KBZ: stopping movie analysis\n");
  OSStatus err = MPNotifyQueue(gBZ.mainTaskData.inputQueue, reinterpret_cast<void *>(intptr_t(kBZ_ProjDlgTaskType)),
                               nullptr, reinterpret_cast<void *>(intptr_t(code)));
  if (err == noErr && waiting) {
    // Dispatching while waiting: the main task's end of the run may need the main thread.
    err = PL_WaitOnSemaphoreDispatching(dlgTaskData.stopSemaphore.load(), kDurationForever);
    MPSemaphoreID semaphore = dlgTaskData.stopSemaphore.exchange(nullptr);
    MP_DeleteSemaphore(&semaphore);
  }
  if (err != noErr) return err;
  *actuallyStopping = true;
  return noErr;
}

OSStatus BZ_GetValidSelectedProcessTypes(const BZ_CleaninSett *cleaning, UInt32 *types) {
  if (types == nullptr) return noErr;
  *types = 0;
  if (cleaning == nullptr || gBZ.project == nullptr) return noErr;
  const BZ_ProjInfo &info = gBZ.project->info;
  if (!GL_FSRefValid(&info.srcFileData[0].fileRef)) return noErr;
  UInt32 valid = BZ_GetSelectedProcessTypes(cleaning);
  if (!GL_FSRefValid(&info.srcFileData[1].fileRef)) valid &= ~UInt32(kBZ_AverageTypeFlag);
  if (!cleaning->noiseRed.horizontal && !cleaning->noiseRed.vertical) valid &= ~UInt32(kBZ_NoiseRedTypeFlag);
  if (cleaning->removeLogo.mode == kBZ_LogoModeUseMask && !BZ_ProjDlgHasLogoMaskPic() && !cleaning->removeLogo.findMask)
    valid &= ~UInt32(kBZ_RlTypeFlag);
  *types = valid;
  return noErr;
}

void BZ_UpdateAutoSettCalc(SInt32, CodecType) {}
OSStatus BZ_ScheduleMovieAnalysisIfNeeded(WindowRef, CodecType) { return noErr; }
void BZ_InitMovieAnalysis(EventLoopTimerRef, void *) {}
OSStatus BZ_ClearCalcValues(WindowRef) { return noErr; }
OSStatus BZ_StartPreviewCalc() { return noErr; }
