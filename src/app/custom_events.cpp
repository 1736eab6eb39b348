// The custom events from tasks (see the header).
#include "app/custom_events.h"

#include "app/error_display.h"
#include "app/window_lookup.h"
#include "dialog/busy_indicators.h"
#include "dialog/input_tab.h"
#include "dialog/method_types.h"
#include "dialog/preview_window.h"
#include "dialog/progress_display.h"
#include "dialog/project_dialog.h"
#include "dialog/run_control.h"
#include "dialog/settings_transfer.h"
#include "engine/compress_stage.h"
#include "engine/read_stage.h"
#include "engine/runtime/project_settings.h"
#include "engine/runtime/stage_access.h"
#include "engine/write_stage.h"
#include "methods/logo_mask_ui.h"
#include "methods/logo_stage.h"
#include "methods/noise_params.h"
#include "methods/noise_spectrum_ui.h"
#include "toolkit/dialog_items.h"

#include <cstdio>

namespace {

HIViewID Item(SInt32 n) { return HIViewID{kBZ_DialogItemSignature, n}; }

template <typename T>
OSStatus Param(EventRef event, UInt32 name, T *value) {
  return GetEventParameter(event, name, name, nullptr, sizeof(T), nullptr, value);
}

// The steps of one event: the first failure becomes the project's error, and a step runs only while the
// project has none.
struct Steps {
  BZ_ProjPtr project;
  bool Go() const { return project != nullptr && project->state.error == noErr; }
  void Keep(OSStatus err) const {
    if (err != noErr && project != nullptr) BZ_KeepFirstError(project, err);
  }
};

void SignalLogoStage(BZ_ProjPtr project) {
  if (project == nullptr) return;
  BZ_BuffInfo *logo = BZ_GetBufferInfoByStageType(project->dynIO_Info.buffInfo, kBZ_RlTaskType, 0);
  if (logo != nullptr && logo->semaphore != nullptr) MPSignalSemaphore(logo->semaphore);
}

void RunFinished(WindowRef window, BZ_ProjPtr project, BZ_ExecuteState execOnEntry, const Steps &steps) {
  BZ_SetDialogStateToNonCalculating(BZ_GetDialogStatePtr());
  if (window != nullptr && steps.Go()) {
    const HIViewID bar = Item(kBZ_ProgressBarItem);
    OSStatus err = GL_SetDialogItemValueByID(window, bar, 0);
    if (err == noErr && project->state.exec != kBZ_ProjStateExecuting) {
      // A run that ended for good shows a full or empty bar; between analysis steps it keeps turning.
      const Boolean determinate = execOnEntry == kBZ_ProjStateFinished || execOnEntry == kBZ_ProjStateCanceled;
      err = GL_SetProgressIndicatorStateByID(window, bar, determinate);
    }
    if (err == noErr && execOnEntry == kBZ_ProjStatePreviewing && BZ_GetPreviewWindow() == nullptr)
      err = GL_ActivateDialogItemByID(window, Item(kBZ_PreviewButtonItem), true);
    steps.Keep(err);
  }
  // The main task waits on it after every analysis or preview run.
  if (MPSemaphoreID finished = gBZ.dlgTaskData.prfSemaphore) MPSignalSemaphore(finished);
}

void WhiteLine(WindowRef window, EventRef event, BZ_ProjPtr project, const Steps &steps) {
  SInt32 fileNum = 0;
  OSStatus err = Param(event, kBZ_FileNumEventParam, &fileNum);
  if (err != noErr || fileNum < 0 || fileNum >= kBZ_MaxNumFiles) return steps.Keep(err != noErr ? err : paramErr);
  BZ_ProjSett &settings = project->info.settings;
  const BZ_StatMovInfo &source = project->info.statMovInfo[fileNum];
  BZ_ProjDlgState *state = BZ_GetDialogStatePtr();
  if (fileNum == 0) {
    if (source.whiteLinePiece) {
      settings.input.interlaced = true;
      settings.input.topFieldFirst = source.topFieldFirst;
      settings.input.whiteLinePiece = true;
      err = BZ_HandleInputHit(window, 2026);
    } else {
      settings.input.whiteLinePiece = false;
    }
    if (state != nullptr) state->neededUpdates |= kBZ_InputSettUpdate;
  } else {
    settings.cleaning.average.hasWhiteLinePiece = source.whiteLinePiece;
    if (state != nullptr) state->neededUpdates |= kBZ_AverageTypeFlag;
  }
  if (err == noErr) err = BZ_ProjDlgUpdateSettingsInDlg(window);
  steps.Keep(err);
}

void SetValue(WindowRef window, EventRef event, BZ_ProjPtr project, const Steps &steps) {
  SInt16 item = 0;
  OSStatus err = Param(event, kBZ_ItemEventParam, &item);
  if (err == noErr && item == kBZ_CropRectItem) {
    // The crop rectangle takes the black edges found, corrected, and no value of the event's.
    BZ_InputSett &input = project->info.settings.input;
    input.cropRect = project->info.statMovInfo[0].blackEdges;
    BZ_ValidateInputSett(&input, true);
    err = GL_SetRectValuesInDialog(window, kBZ_DialogItemSignature, kBZ_CropRectItem, &input.cropRect);
  } else if (err == noErr) {
    float value = 0;
    if ((err = Param(event, kBZ_ValueEventParam, &value)) == noErr)
      err = GL_SetDialogItemTextFloatByID(window, Item(item), double(value));
  }
  steps.Keep(err);
}

// 2018 and 2019: item, value and precision, in that order.
void SetValueWithPrecision(WindowRef window, EventRef event, bool relevantDigits, const Steps &steps) {
  SInt16 item = 0;
  float value = 0;
  SInt32 precision = 0;
  OSStatus err = Param(event, kBZ_ItemEventParam, &item);
  if (err == noErr) err = Param(event, kBZ_ValueEventParam, &value);
  if (err == noErr) err = Param(event, kBZ_PrecisionEventParam, &precision);
  if (err == noErr)
    err = relevantDigits ? GL_SetDialogItemTextFloatRelevantDigitsByID(window, Item(item), value, precision)
                         : GL_SetDialogItemTextFloatPreciseByID(window, Item(item), value, precision);
  steps.Keep(err);
}

}  // namespace

OSStatus BZ_HandleCustomApplicationEvent(EventRef event, UInt32 eventKind) {
  WindowRef window = BZ_GetProjDlgWindow();
  BZ_ProjPtr project = gBZ.dlgData != nullptr && gBZ.dlgData->project != nullptr ? gBZ.dlgData->project : gBZ.project;
  const Steps steps{project};
  const BZ_ExecuteState execOnEntry = project != nullptr ? BZ_ExecuteState(project->state.exec) : kBZ_ProjStateReady;
  const bool errorOnEntry = project != nullptr && project->state.error != noErr;

  switch (eventKind) {
    case kBZ_DrawFrameEvent: {
      SInt32 fileNum = 0;
      OSStatus err = Param(event, kBZ_FileNumEventParam, &fileNum);
      if (err == noErr) err = BZ_SetSrcMovieTimeValue(project, fileNum);
      // The drawing's own completion stops the run when it fails.
      if (err != noErr) std::printf("KBZ: error from \"draw frame\" event = %ld\n", long(err));
      break;
    }
    case kBZ_CompressEvent:
      BZ_HandleCompressEvent(event);  // keeps its failure and always completes the stage's frame
      break;
    case kBZ_OutSampleRefsEvent:
      BZ_HandleOutSampleRefsEvent(event);  // keeps its failure and always signals the writer
      break;
    case kBZ_ShowProgressFrameEvent:
      BZ_HandleShowProgressFrame(project);  // always releases the handing stage
      break;
    case kBZ_DecompressEvent:
      BZ_HandleDecompressEvent(event);  // keeps its failure and always releases the display stage
      break;
    case kBZ_SetValueInDialogEvent:
      if (steps.Go()) SetValue(window, event, project, steps);
      break;
    case kBZ_StageDefaultsButtonActivateEvent: {
      BZ_TaskType taskType = kBZ_NoTaskType;
      OSStatus err = Param(event, kBZ_TaskTypeEventParam, &taskType);
      if (err == noErr && steps.Go()) err = BZ_ActivateDefaultsButtonByTaskType(taskType);
      steps.Keep(err);
      break;
    }
    case kBZ_ProjectRunFinishedEvent:
      RunFinished(window, project, execOnEntry, steps);
      break;
    case kBZ_GetFadeFrameNumbersEvent:
    case kBZ_SetLogoMaskPicEvent: {
      BZ_RlParams *rlParams = nullptr;
      OSStatus err = Param(event, kBZ_RlParamsEventParam, &rlParams);
      if (err == noErr && steps.Go())
        err = eventKind == kBZ_GetFadeFrameNumbersEvent ? BZ_RlGetFadeFrameNumbers(project, rlParams)
                                                        : BZ_RlSetMaskPicture(window, rlParams);
      steps.Keep(err);
      // The logo stage waits for this without time limit, whatever happened here.
      SignalLogoStage(project);
      break;
    }
    case kBZ_SetLogoTransparencyEvent:
      if (steps.Go())
        steps.Keep(GL_SetDialogItemTextFloatByID(window, Item(2323), project->info.settings.cleaning.removeLogo.transparency));
      break;
    case kBZ_StartPreviewCalcEvent:
      BZ_StartPreviewCalc();
      break;
    case kBZ_StartMovieAnalysisEvent:
      BZ_StartMovieAnalysis();
      break;
    case kBZ_ForcePreviewUpdateEvent: {
      Boolean recreateImages = false;
      if (Param(event, kBZ_RecreateImagesEventParam, &recreateImages) == noErr) BZ_ForcePreviewUpdate(recreateImages);
      break;
    }
    case kBZ_DrawNoiseSpectrEvent: {
      BZ_RnParams copy{};
      if (Param(event, kBZ_RnParamsEventParam, &copy) == noErr) BZ_DrawNoiseSpectr(&copy);
      break;
    }
    case kBZ_SetNeedsDisplayEvent: {
      SInt16 item = 0;
      OSStatus err = Param(event, kBZ_ItemEventParam, &item);
      if (err == noErr && steps.Go()) err = GL_SetNeedsDisplayByID(window, Item(item), true);
      steps.Keep(err);
      break;
    }
    case kBZ_SetValuePreciseInDialogEvent:
    case kBZ_SetValueRelevantDigitsInDialogEvent:
      if (steps.Go()) SetValueWithPrecision(window, event, eventKind == kBZ_SetValueRelevantDigitsInDialogEvent, steps);
      break;
    case kBZ_TooManyOutliersEvent:
      BZ_ShowError(kBZ_OuTooManyOutliersErr);
      break;
    case kBZ_WhiteLineEvent:
      if (steps.Go()) WhiteLine(window, event, project, steps);
      break;
    default:  // 2004 and 2005: nothing to do
      break;
  }
  if (project != nullptr && !errorOnEntry && project->state.error != noErr)
    std::printf("BZ_HandleCustomApplicationEvent: project error set, eventKind = %hd, error = %ld\n",
                short(eventKind), long(project->state.error));
  return noErr;
}
