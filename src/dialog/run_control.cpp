// Analysis and preview run control.
#include "dialog/run_control.h"

#include "app/app_preferences.h"
#include "app/window_lookup.h"
#include "dialog/edit_text_checks.h"
#include "dialog/input_tab.h"
#include "dialog/method_tabs.h"
#include "dialog/method_types.h"
#include "dialog/progress_display.h"
#include "dialog/project_dialog.h"
#include "engine/project_start.h"
#include "engine/runtime/analysis_tasks.h"
#include "engine/runtime/stage_access.h"
#include "engine/stage_table.h"
#include "engine/tasks/pipeline_types.h"
#include "engine/tasks/task_runtime.h"
#include "general/file_layer.h"
#include "movie/codecs.h"
#include "outliers/outlier_edit_lists.h"
#include "outliers/outlier_stage.h"
#include "platform/core/event_loop.h"
#include "platform/movie/decompression.h"
#include "toolkit/dialog_items.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {

HIViewID Item(SInt32 n) { return HIViewID{kBZ_DialogItemSignature, n}; }

bool MovieSetUp(const BZ_ProjPtr project) { return project != nullptr && project->info.statMovInfo[0].cType != 0; }

bool Analysing(const BZ_ProjPtr project) { return project->state.exec == kBZ_ProjStateAnalyzingMovie; }
bool CalculatingPreview(const BZ_ProjPtr project) {
  return project->state.exec == kBZ_ProjStatePreviewing && project->state.subExec == kBZ_ProjSubStateCalcPreview;
}

// The source is in video gamma (2.2 within 0.02 of 2.21) or every frame is converted to it anyway: the output
// codec then changes nothing that an analysis measured.
bool GammaIndependentOfCodec(const BZ_ProjPtr project) {
  if (std::fabs(project->info.statMovInfo[0].gamma - 2.21f) <= 0.02f) return true;
  BZ_AppPrefs prefs{};
  BZ_GetAppPrefs(&prefs);
  if (prefs.successSound != nullptr) CFRelease(prefs.successSound);
  return prefs.alwaysGamma22;
}

// The Y noise level already measured for the filter directions chosen (no direction: nothing measured).
bool NoiseLevelMeasured(const BZ_Rn_Sett &noiseRed) {
  const BZ_RnDlgTaskData *rn = gBZ.dlgTaskData.rnDlgTaskData;
  if (rn == nullptr || (!noiseRed.horizontal && !noiseRed.vertical)) return false;
  const float level = noiseRed.horizontal && noiseRed.vertical ? rn->eqNoiseLevel2D[0]
                      : noiseRed.horizontal                    ? rn->eqNoiseLevel16H[0]
                                                               : rn->eqNoiseLevel16V[0];
  return level > 0.1f;
}

void PostToMainTask(BZ_TaskType sender, BZ_ProjPtr project, SInt32 code, OSStatus *err) {
  *err = MPNotifyQueue(gBZ.mainTaskData.inputQueue, reinterpret_cast<void *>(intptr_t(sender)), project,
                       reinterpret_cast<void *>(intptr_t(code)));
}

// Restarts the progress view's decompression for a new output codec.
OSStatus RestartProgressDecompression(WindowRef window, BZ_ProjPtr project) {
  ImageSequence &seqID = project->progress.seqID;
  OSStatus err = seqID != 0 ? OSStatus(CDSequenceEnd(seqID)) : OSStatus(noErr);
  seqID = 0;
  if (err != noErr) return err;
  return BZ_BeginProgressDecompressSequence(window, project);
}

}  // namespace

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

// ---- The decision ----

OSStatus BZ_NeedMovieAnalysis(WindowRef window, SInt32 itemHit, CodecType savedOutputCType,
                              Boolean *needMovieAnalysis, Boolean *needPreviewCalc) {
  if (needMovieAnalysis == nullptr || needPreviewCalc == nullptr) return paramErr;
  *needMovieAnalysis = *needPreviewCalc = false;
  BZ_ProjPtr project = gBZ.project;
  BZ_ProjDlgData *dlgData = gBZ.dlgData;
  if (!MovieSetUp(project) || dlgData == nullptr || BZ_IsApplyButton(itemHit)) return noErr;
  BZ_ProjSett &settings = project->info.settings;
  const BZ_CleaninSett &cleaning = settings.cleaning;
  UInt32 valid = 0;
  OSStatus err = BZ_GetValidSelectedProcessTypes(&cleaning, &valid);
  if (err != noErr || valid == 0) return err;

  bool analysis = false;
  if ((BZ_ItemHitToProcessType(itemHit) & valid) != 0) {
    analysis = true;
    if (itemHit == 2315 || BZ_IsFadeItem(itemHit)) {
      analysis = false;
    } else if (itemHit == 2106 && !cleaning.average.automatic) {
      analysis = false;
    } else if (BZ_ProjDlgItemToEtiIndex(itemHit) != 0) {
      SInt32 newInt = dlgData->savedIntEtiValue;
      float newFloat = dlgData->savedFloatEtiValue;
      BZ_GetEtiValue(&settings, itemHit, &newInt, &newFloat);
      if (BZ_ItemIsNumericFloat(itemHit)) {
        analysis = std::fabs(newFloat - dlgData->savedFloatEtiValue) >= 0.0001f;
        dlgData->savedFloatEtiValue = newFloat;
      } else {
        analysis = newInt != dlgData->savedIntEtiValue;
        dlgData->savedIntEtiValue = newInt;
      }
    } else if ((itemHit == 2151 || itemHit == 2152) && cleaning.noiseRed.automatic) {
      analysis = !NoiseLevelMeasured(cleaning.noiseRed);
    }
  } else if (itemHit == 2078) {
    if (!GammaIndependentOfCodec(project) &&
        bool(QT_IsDV_CodecType(savedOutputCType)) != bool(QT_IsDV_CodecType(settings.output.cType))) {
      analysis = true;
      if ((err = RestartProgressDecompression(window, project)) != noErr) return err;
    }
  } else if (BZ_IsInputHit(itemHit)) {
    const BZ_InputSett &input = settings.input;
    if (itemHit == 2022)
      analysis = true;
    else if (itemHit == 2026)
      analysis = BZ_InterlaceTypeAffectsResult(valid);
    else if (itemHit == 2027)
      analysis = BZ_FieldDominanceAffectsResult(valid);
    else
      analysis = input.cropping && input.autoDetectBlackBars;
  }
  *needMovieAnalysis = analysis;
  *needPreviewCalc = !analysis && (BZ_IsCropHit(itemHit) || itemHit == 2028 || itemHit == 2102);
  return noErr;
}

Boolean BZ_RlSettRequireAutosettCalc(const BZ_ProjDlgData *, const BZ_RlSett *rlSett) {
  if (rlSett == nullptr || rlSett->mode != kBZ_LogoModeUseMask) return false;
  return rlSett->findMask || (BZ_ProjDlgHasLogoMaskPic() && rlSett->transparent);
}

Boolean BZ_ItemHitRequiresAutoSettRecalc(SInt32 itemHit) {
  if (gBZ.project == nullptr) return false;
  const BZ_CleaninSett &cleaning = gBZ.project->info.settings.cleaning;
  switch (BZ_ItemHitToProcessType(itemHit)) {
    case kBZ_AverageTypeFlag:
      return BZ_IsApplyButton(itemHit) || itemHit == 2106 || itemHit == 2101;
    case kBZ_VarBrTypeFlag:
      return BZ_IsApplyButton(itemHit);
    case kBZ_NoiseRedTypeFlag:
      if (itemHit >= 2153 && itemHit <= 2155) return false;
      return !NoiseLevelMeasured(cleaning.noiseRed);
    case kBZ_RlTypeFlag:
      if (BZ_IsApplyButton(itemHit)) return BZ_RlSettRequireAutosettCalc(gBZ.dlgData, &cleaning.removeLogo);
      switch (itemHit) {
        case 2308: case 2316: case 2318: case 2320: case 2321: case 2325: case 2327:
          return true;
        case 2314:
          return cleaning.removeLogo.transparent;
        default:
          return false;
      }
    default:
      return false;
  }
}

// ---- Stage bookkeeping ----

void BZ_UpdateAutoSettCalc(SInt32 itemHit, CodecType savedOutputCType) {
  BZ_ProjDlgData *dlgData = gBZ.dlgData;
  BZ_ProjPtr project = gBZ.project;
  if (dlgData == nullptr || project == nullptr) return;
  const BZ_ProjSett &settings = project->info.settings;
  const BZ_CleaninSett &cleaning = settings.cleaning;
  auto mark = [&](UInt32 stage) {
    dlgData->autoSettCalculated &= ~stage;
    dlgData->autoSettCalc |= stage;
  };
  auto drop = [&](UInt32 stage) {
    dlgData->autoSettCalculated &= ~stage;
    dlgData->autoSettCalc &= ~stage;
  };
  // 'icod' is converted to video gamma as DV is.
  auto dvClass = [](CodecType c) { return QT_IsDV_CodecType(c) || c == 'icod'; };
  bool everyStage = itemHit == 0 || itemHit == 2022;
  if (itemHit == 2078 && !GammaIndependentOfCodec(project) &&
      dvClass(savedOutputCType) != dvClass(settings.output.cType))
    everyStage = true;
  UInt32 valid = 0;
  BZ_GetValidSelectedProcessTypes(&cleaning, &valid);
  const UInt32 type = BZ_ItemHitToProcessType(itemHit);
  const bool recalc = BZ_ItemHitRequiresAutoSettRecalc(itemHit) || everyStage;
  bool marked = false;

  if (type == kBZ_AverageTypeFlag || everyStage) {
    if ((valid & kBZ_AverageTypeFlag) && cleaning.average.automatic) {
      if (recalc) mark(kBZ_AvAutoSettStage);
      marked = true;
    } else {
      drop(kBZ_AvAutoSettStage);
    }
  }
  const bool fieldItem = itemHit == 2026 || itemHit == 2027;
  if ((type == kBZ_VarBrTypeFlag || everyStage || fieldItem) && (valid & kBZ_VarBrTypeFlag) && (recalc || fieldItem)) {
    const BZ_VbDlgTaskData *vb = gBZ.dlgTaskData.vbDlgTaskData;
    const BZ_InputSett &input = settings.input;
    const float *factors = vb == nullptr             ? nullptr
                           : !input.interlaced       ? vb->vbFactors
                           : input.topFieldFirst     ? vb->vbFactorsTop
                                                     : vb->vbFactorsBottom;
    if (factors == nullptr) {
      mark(kBZ_VbAutoSettStage);
      marked = true;
    }
  }
  if (type == kBZ_NoiseRedTypeFlag || everyStage || marked || itemHit == 2026) {
    if ((valid & kBZ_NoiseRedTypeFlag) && cleaning.noiseRed.automatic) {
      if (recalc || itemHit == 2026) {
        mark(kBZ_RnAutoSettStage);
        marked = true;
      }
      if (everyStage || itemHit == 2027) dlgData->autoSettCalculated &= ~UInt32(kBZ_RnAutoSettStage2);
    } else {
      drop(kBZ_RnAutoSettStage);
      drop(kBZ_RnAutoSettStage2);
    }
  }
  if (type == kBZ_RlTypeFlag || everyStage || marked || itemHit == 2026) {
    const BZ_RlSett &logo = cleaning.removeLogo;
    if ((valid & kBZ_RlTypeFlag) && logo.mode == kBZ_LogoModeUseMask && (logo.findMask || logo.transparent)) {
      if (recalc) mark(kBZ_RlAutoSettStage);
    } else {
      drop(kBZ_RlAutoSettStage);
    }
  }
}

// ---- Scheduling and starting ----

OSStatus BZ_ScheduleMovieAnalysisIfNeeded(WindowRef window, CodecType savedOutputCType) {
  BZ_ProjDlgData *dlgData = gBZ.dlgData;
  BZ_ProjPtr project = gBZ.project;
  if (dlgData == nullptr || project == nullptr) return noErr;
  std::printf("KBZ: schedule movie analysis if needed\n");
  UInt32 valid = 0;
  OSStatus err = BZ_GetValidSelectedProcessTypes(&project->info.settings.cleaning, &valid);
  if (err != noErr || valid == 0) return BZ_DisablePreview(window);
  const SInt32 itemHit = dlgData->itemHit;
  Boolean analysis = false, preview = false;
  if (BZ_IsApplyButton(itemHit)) {
    const BZ_VbDlgTaskData *vb = gBZ.dlgTaskData.vbDlgTaskData;
    // The brightness factors are measured already: applying them needs only the preview.
    preview = itemHit == 2407 && vb != nullptr && vb->analyzedVarBr;
    analysis = !preview;
  } else if ((err = BZ_NeedMovieAnalysis(window, itemHit, savedOutputCType, &analysis, &preview)) != noErr) {
    return err;
  }
  if (!analysis && !preview) return noErr;
  dlgData->state.needMovieAnalysis = analysis;
  dlgData->state.needPreviewCalc = preview;
  return BZ_ScheduleMovieAnalysis(kBZ_MovieAnalysisDelay);
}

OSStatus BZ_ScheduleMovieAnalysis(EventTimerInterval interval) {
  std::printf("KBZ: scheduling movie analysis\n");
  BZ_ProjDlgData *dlgData = gBZ.dlgData;
  if (dlgData == nullptr || dlgData->movieAnalysisTimer == nullptr) return noErr;
  return SetEventLoopTimerNextFireTime(dlgData->movieAnalysisTimer, interval);
}

void BZ_InitMovieAnalysis(EventLoopTimerRef, void *) {
  std::printf("KBZ: initing movie analysis\n");
  BZ_ProjDlgData *dlgData = gBZ.dlgData;
  BZ_ProjPtr project = gBZ.project;
  if (dlgData == nullptr || project == nullptr) return;
  // A project being opened or executed owns the stage table: no analysis may touch it.
  if (project->state.exec >= kBZ_ProjStateBeingOpened) return;
  Boolean stopping = false;
  OSStatus err = BZ_StopMovieAnalysis(&dlgData->state, &stopping, false);
  // A stop was sent: the main task starts the wanted run once the running one has closed.
  if (err == noErr && stopping) return;
  if (err == noErr && dlgData->state.needMovieAnalysis) {
    UInt32 valid = 0;
    err = BZ_GetValidSelectedProcessTypes(&project->info.settings.cleaning, &valid);
    if (err == noErr) {
      const bool hasBuffers = BZ_GetProjectBuffer(project) != nullptr;
      const bool rebuild = !hasBuffers || dlgData->itemHit == 2078 || valid != dlgData->savedValidSelectedTypes;
      if (rebuild && hasBuffers) BZ_DisposeBuffInfo(project->dynIO_Info.buffInfo);
      if (rebuild) err = BZ_CreateBuffers();
      if (err == noErr) {
        std::printf("BZ_InitMovieAnalysis: calling BZ_StartMovieAnalysis\n");
        err = BZ_StartMovieAnalysis();
      }
    }
  } else if (err == noErr && dlgData->state.needPreviewCalc) {
    std::printf("BZ_InitMovieAnalysis: calling BZ_StartPreviewCalc\n");
    err = BZ_StartPreviewCalc();
  }
  if (err != noErr) BZ_KeepFirstError(project, err);
}

OSStatus BZ_StartMovieAnalysis() {
  BZ_ProjDlgData *dlgData = gBZ.dlgData;
  BZ_ProjPtr project = gBZ.project;
  if (dlgData == nullptr || project == nullptr) return noErr;
  BZ_ProjDlgState &state = dlgData->state;
  if (!MovieSetUp(project)) {
    state.movieAnalysisDeferred = state.needMovieAnalysis = state.needPreviewCalc = false;
    return noErr;
  }
  if (gBZ.dlgTaskData.prfSemaphore == nullptr) {
    MPSemaphoreID prf = nullptr;
    if (OSStatus err = MPCreateSemaphore(1, 0, &prf); err != noErr) return err;
    gBZ.dlgTaskData.prfSemaphore = prf;
  }
  std::printf("KBZ: start movie analysis\n");
  project->state.exec = kBZ_ProjStateAnalyzingMovie;
  project->state.subExec = BZ_GetAutoSettStage(dlgData) != 0 ? kBZ_ProjSubStateCalcAutoSett : kBZ_ProjSubStateMain;
  state.movieAnalysisDeferred = state.needMovieAnalysis = state.needPreviewCalc = false;
  OSStatus err = BZ_ReinitProject(project);
  if (err != noErr) return err;
  dlgData->itemHit = 0;
  const BZ_CleaninSett &cleaning = project->info.settings.cleaning;
  BZ_OuDlgTaskData *ou = gBZ.dlgTaskData.ouDlgTaskData;
  if (cleaning.ou.apply && ou != nullptr && !BZ_EqualOuSett(&cleaning.ou, &ou->ouSett)) {
    if ((err = BZ_UpdateOutlierEditList()) != noErr) return err;
    if ((err = BZ_OuOpenOutlierEditListFile(true)) != noErr) return err;
    if (BZ_GetPreviewWindow() != nullptr && (err = BZ_OuCopyFrameOutlierEditListToPreviewData()) != noErr) return err;
  }
  PostToMainTask(kBZ_MainThreadTaskType, project, kBZ_RunProjectMessage, &err);
  return err;
}

OSStatus BZ_StartPreviewCalc() {
  BZ_ProjDlgData *dlgData = gBZ.dlgData;
  BZ_ProjPtr project = gBZ.project;
  if (dlgData == nullptr || project == nullptr) return noErr;
  BZ_PreviewData &preview = dlgData->previewData;
  MPCriticalRegionID region = preview.critRgn;
  if (region != nullptr) MPEnterCriticalRegion(region, kDurationForever);
  OSStatus err = noErr;
  if (BZ_GetPreviewWindow() == nullptr) {
    preview.previewCalcDeferred = false;
    dlgData->state.needPreviewCalc = false;
  } else if (Analysing(project) || CalculatingPreview(project)) {
    // A second pipeline must not start under a live run: the end of that run starts this one.
    preview.previewCalcDeferred = true;
    std::printf("KBZ: preview calculation deferred\n");
  } else {
    std::printf("KBZ: starting preview calculation\n");
    project->state.exec = kBZ_ProjStatePreviewing;
    project->state.subExec = kBZ_ProjSubStateCalcPreview;
    preview.previewCalcDeferred = false;
    dlgData->state.needPreviewCalc = false;
    if ((err = BZ_ReinitProject(project)) == noErr)
      PostToMainTask(kBZ_MainThreadTaskType, project, kBZ_RunProjectMessage, &err);
  }
  if (region != nullptr) MPExitCriticalRegion(region);
  return err;
}

// ---- Stopping ----

OSStatus BZ_StopMovieAnalysis(BZ_ProjDlgState *dlgState, Boolean *actuallyStopping, Boolean waiting) {
  if (dlgState == nullptr || actuallyStopping == nullptr) return paramErr;
  dlgState->movieAnalysisDeferred = false;
  if (gBZ.dlgData != nullptr) gBZ.dlgData->previewData.previewCalcDeferred = false;
  BZ_ProjPtr project = gBZ.project;
  if (project == nullptr || BZ_GetProjectBuffer(project) == nullptr) return noErr;

  const BZ_ExecuteState exec = project->state.exec;
  const bool analysing = Analysing(project);
  const bool previewing = CalculatingPreview(project);
  BZ_DlgTaskData &dlgTaskData = gBZ.dlgTaskData;
  if (waiting) {
    MPSemaphoreID semaphore = dlgTaskData.stopSemaphore.load();
    OSStatus err = MP_RecreateSemaphore(1, 0, &semaphore);
    dlgTaskData.stopSemaphore = semaphore;
    if (err != noErr) return err;
  } else if (dlgState->needMovieAnalysis && (analysing || previewing)) {
    dlgState->movieAnalysisDeferred = true;
  } else if (dlgState->needPreviewCalc && previewing && gBZ.dlgData != nullptr) {
    gBZ.dlgData->previewData.previewCalcDeferred = true;
  }

  SInt32 code = 0;
  if (waiting) {
    // The caller is about to free what the run uses: any active run ends, whatever is wished.
    code = analysing ? kBZ_CancelMovieAnalysisMessage : previewing ? kBZ_CancelPreviewCalcMessage : 0;
  } else if (dlgState->needMovieAnalysis) {
    code = analysing ? kBZ_CancelMovieAnalysisMessage : previewing ? kBZ_CancelPreviewCalcMessage : 0;
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
  OSStatus err = noErr;
  PostToMainTask(kBZ_ProjDlgTaskType, nullptr, code, &err);
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

void BZ_SetDialogStateToNonCalculating(BZ_ProjDlgState *state) {
  if (state == nullptr) return;
  const UInt32 neededUpdates = state->neededUpdates;
  Boolean ready[4];
  for (int i = 0; i < 4; ++i) ready[i] = state->noiseTablesReady[i];
  state->needMovieAnalysis = state->needPreviewCalc = state->movieAnalysisDeferred = false;
  state->calcRedNoiseBestSett = false;
  for (auto &flag : state->findingNoiseLevel) flag = false;
  for (auto &flag : state->findingFrameDiff) flag = false;
  for (auto &flag : state->findingWhiteLinePiece) flag = false;
  state->detectingBlackBars = state->findingBestShift = state->findingBestWeight = false;
  state->findingLogo = state->analyzingVarBr = false;
  state->interlaceSetByUser = state->dvSettingsMade = false;
  state->savedCropping = false;
  state->savedCropRect = Rect{};
  state->savedInterlaced = false;
  state->neededUpdates = neededUpdates;
  for (int i = 0; i < 4; ++i) state->noiseTablesReady[i] = ready[i];
}

OSStatus BZ_ClearCalcValues(WindowRef window) {
  if (window == nullptr) return noErr;
  auto clear = [&](SInt16 item) {
    return item < 0 ? OSStatus(noErr) : GL_SetDialogItemTextFloatByID(window, Item(item), 0.0);
  };
  // The copy stage shows only the noise level, of each source.
  OSStatus err = noErr;
  for (SInt32 file = 0; file < 2 && err == noErr; ++file)
    err = clear(BZ_GetDialogItemForCalcValue(kBZ_CopyTaskType, file, kBZ_CalcItemTypeNoiseLevel));
  for (BZ_TaskType type : {kBZ_AverageTaskType, kBZ_VarBrTaskType, kBZ_NoiseRedTaskType, kBZ_RlTaskType,
                           kBZ_CrossLumaTaskType, kBZ_OutlierTaskType, kBZ_WriteTaskType})
    for (BZ_CalcItemType kind : {kBZ_CalcItemTypeNoiseLevel, kBZ_CalcItemTypePixelDiff, kBZ_CalcItemTypePercChanged})
      if (err == noErr) err = clear(BZ_GetDialogItemForCalcValue(type, 0, kind));
  for (BZ_CalcItemType kind : {kBZ_CalcItemTypeVarBrPeriod, kBZ_CalcItemTypeVarBrAtten})
    if (err == noErr) err = clear(BZ_GetDialogItemForCalcValue(kBZ_VarBrTaskType, 0, kind));
  return err;
}

// ---- Stage queries ----

UInt32 BZ_GetAutoSettStage(const BZ_ProjDlgData *dlgData) {
  if (dlgData == nullptr) return 0;
  const UInt32 pending = dlgData->autoSettCalc & ~dlgData->autoSettCalculated;
  return pending & (0u - pending);
}

void BZ_SetAutoSettCalculated(BZ_ProjDlgData *dlgData) {
  if (dlgData != nullptr) dlgData->autoSettCalculated |= BZ_GetAutoSettStage(dlgData);
}

void BZ_AutoSettRemoveLaterStages(const BZ_ProjDlgData *dlgData, UInt32 *validSelectedTypes) {
  if (dlgData == nullptr || validSelectedTypes == nullptr) return;
  const UInt32 pending = dlgData->autoSettCalc & ~dlgData->autoSettCalculated;
  // The method flag of each stage: flags above it wait for the stage's result.
  const struct {
    UInt32 stage, methodFlag;
  } kStages[] = {{kBZ_AvAutoSettStage, kBZ_AverageTypeFlag},
                 {kBZ_RnAutoSettStage, kBZ_NoiseRedTypeFlag},
                 {kBZ_RnAutoSettStage2, kBZ_NoiseRedTypeFlag},
                 {kBZ_RlAutoSettStage, kBZ_RlTypeFlag}};
  for (const auto &s : kStages)
    if (pending & s.stage) *validSelectedTypes &= (s.methodFlag << 1) - 1;
}
