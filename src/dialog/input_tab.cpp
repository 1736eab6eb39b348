// The Input pane of the project dialog.
#include "dialog/input_tab.h"

#include "app/error_display.h"
#include "app/status_window.h"
#include "app/window_lookup.h"
#include "dialog/method_tabs.h"
#include "dialog/output_tab.h"
#include "dialog/preview_window.h"
#include "dialog/project_dialog.h"
#include "dialog/run_control.h"
#include "dialog/shortcuts_window.h"
#include "dialog/static_movie_info.h"
#include "engine/closing_saving.h"
#include "engine/runtime/dialog_items.h"
#include "engine/runtime/stage_access.h"
#include "engine/stage_table.h"
#include "general/memory_lists.h"
#include "general/quartz_pictures.h"
#include "methods/average_sources.h"
#include "methods/logo_mask_ui.h"
#include "methods/logo_params.h"
#include "movie/codecs.h"
#include "movie/movie_files.h"
#include "outliers/outlier_edit_lists.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_string.h"
#include "platform/core/quickdraw_pictures.h"
#include "toolkit/dialog_items.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

HIViewID Item(SInt32 n) { return HIViewID{kBZ_DialogItemSignature, n}; }

void Trace(const char *line) { std::printf("KBZ: %s\n", line); }

// The measured noise levels belong to the interlacing they were measured with.
void ClearEquivalentNoiseLevels() {
  BZ_RnDlgTaskData *rn = gBZ.dlgTaskData.rnDlgTaskData;
  if (rn == nullptr) return;
  for (int c = 0; c < 3; ++c) rn->eqNoiseLevel16H[c] = rn->eqNoiseLevel16V[c] = rn->eqNoiseLevel2D[c] = 0.0f;
}

// The limits of the frame items and the noise range for a movie of numFrames frames.
OSStatus SetFrameLimits(WindowRef window, SInt32 numFrames) {
  BZ_CleaninSett &cleaning = gBZ.project->info.settings.cleaning;
  cleaning.noiseRed.startFrame = 1;
  cleaning.noiseRed.endFrame = numFrames;
  Trace("GL_SetDialogItemMaxByID 1");
  OSStatus err = GL_SetDialogItemMaxByID(window, Item(2327), std::min<SInt32>(numFrames, 1000));
  if (err != noErr) return err;
  Trace("GL_SetDialogItemMaxByID 2");
  if ((err = GL_SetDialogItemMaxByID(window, Item(2159), numFrames)) != noErr) return err;
  Trace("GL_SetDialogItemMaxByID 4");
  return GL_SetDialogItemMaxByID(window, Item(2162), numFrames);
}

// The dialog without a source movie: every record of source 0 emptied and its reference zeroed.
void ForgetSourceMovie(WindowRef window) {
  BZ_DisposeStaticMovieInfo(window, 0);
  BZ_StatMovInfo &info = gBZ.project->info.statMovInfo[0];
  info = BZ_StatMovInfo{};
  gBZ.project->info.srcFileData[0].fileRef = FSRef{};
}

const FSRef kNoFile{};

}  // namespace

Boolean BZ_IsInputHit(SInt32 item) { return item >= 2020 && item <= 2049; }
Boolean BZ_IsCropHit(SInt32 item) { return item >= 2033 && item <= 2041; }

UInt32 BZ_InterlaceTypeAffectsResult(UInt32 validSelectedTypes) { return validSelectedTypes & (4 + 8 + 32); }
UInt32 BZ_FieldDominanceAffectsResult(UInt32 validSelectedTypes) { return validSelectedTypes & 32; }

OSStatus BZ_EmbedCropItems(WindowRef window) {
  const HIViewID group{kBZ_DialogItemSignature, 2033};
  OSStatus err = GL_EmbedSubgroup(window, kBZ_DialogItemSignature, group, 2038, 2041, 2037);
  if (err != noErr) return err;
  return GL_EmbedSubgroup(window, kBZ_DialogItemSignature, group, 2035, 2037, 2034);
}

OSStatus BZ_HandleInputHit(WindowRef window, SInt32 itemHit) {
  if (window == nullptr || gBZ.project == nullptr) return noErr;
  BZ_InputSett &input = gBZ.project->info.settings.input;
  BZ_ProjDlgState *state = gBZ.dlgData != nullptr ? &gBZ.dlgData->state : nullptr;
  const BZ_StatMovInfo &movie = gBZ.project->info.statMovInfo[0];
  OSStatus err = noErr;
  switch (itemHit) {
    case 2022:
      Trace("BZ_HandleInputMovieChoice");
      err = BZ_HandleInputMovieChoice(window);
      break;
    case 2026:
      err = GL_ActivateDialogItemByID(window, Item(2027), input.interlaced);
      if (err != noErr) return err;
      // Progressive frames have no field order: neither true nor false.
      if (!input.interlaced) input.topFieldFirst = 2;
      gBZ.dlgTaskData.inputSettChanged = true;
      ClearEquivalentNoiseLevels();
      if (state != nullptr) state->interlaceSetByUser = true;
      break;
    case 2027:
      if (state != nullptr) state->interlaceSetByUser = true;
      break;
    case 2035:
      err = GL_ActivateDialogItemByID(window, Item(2037), !input.autoDetectBlackBars);
      if (err != noErr) return err;
      if (input.autoDetectBlackBars && gBZ.dlgTaskData.detectedBlackBars && movie.cType != 0) {
        input.cropRect = movie.blackEdges;
        BZ_ValidateInputSett(&input, true);
      }
      break;
    default:
      break;
  }
  if (err != noErr) return err;
  if (BZ_IsCropHit(itemHit)) {
    if (gBZ.dlgData != nullptr) gBZ.dlgData->previewData.lastCropEdgeMove = 0;
    Trace("BZ_ActivateDV_Compression");
    if ((err = BZ_ActivateDV_Compression(window)) != noErr) return err;
  }
  if (itemHit == 2033 || itemHit == 2035) {
    Trace("BZ_EnableShortcutsButton");
    if ((err = BZ_EnableShortcutsButton(window)) != noErr) return err;
  }
  if (state != nullptr) state->neededUpdates |= kBZ_InputSettUpdate;
  Trace("BZ_HandleInputHit exiting");
  return noErr;
}

OSStatus BZ_HandleInputMovieChoice(WindowRef window) {
  if (window == nullptr || gBZ.project == nullptr || gBZ.dlgData == nullptr) return noErr;
  BZ_ProjDlgData *dlgData = gBZ.dlgData;
  BZ_ProjInfo &info = gBZ.project->info;
  OSStatus err = BZ_ActivateSpecialMovieButtons(window);
  if (err != noErr) return err;
  // The running analysis or preview ends before anything it reads is closed; only then is the project
  // ready again.
  Boolean stopped = false;
  if ((err = BZ_StopMovieAnalysis(&dlgData->state, &stopped, true)) != noErr) return err;
  gBZ.project->state.exec = kBZ_ProjStateReady;
  if (WindowRef preview = BZ_GetPreviewWindow(); preview != nullptr && (err = BZ_ClosePreview(preview)) != noErr)
    return err;
  dlgData->autoSettCalculated = 0;
  dlgData->state.dvSettingsMade = false;

  if (info.statMovInfo[0].cType != 0) {
    if (gBZ.dlgTaskData.ouDlgTaskData != nullptr &&
        (err = BZ_SaveOutlierEditListFinal(gBZ.dlgTaskData.ouDlgTaskData, &gBZ.dlgTaskData.savedSrcFile)) != noErr)
      return err;
    const FSRef newFile = info.srcFileData[0].fileRef;
    BZ_DisposeProject(window);  // also the analysis results and the logo's frame count of the old movie
    gBZ.project->info.srcFileData[0].fileRef = FSRef{};
    err = BZ_ReinitDialog(window);
    gBZ.project->info.srcFileData[0].fileRef = newFile;
    if (err != noErr) return err;
  }

  // A file chosen but gone before it could be opened is told like any file that cannot be opened.
  FSRef &source = info.srcFileData[0].fileRef;
  if (!GL_FSRefValid(&source) && std::memcmp(&source, &kNoFile, sizeof source) != 0) {
    ForgetSourceMovie(window);
    BZ_ShowError(fnfErr);
  }
  if (GL_FSRefValid(&info.srcFileData[0].fileRef)) {
    if ((err = BZ_HandleOpenMovie1Hit(window)) != noErr) {
      // A movie that cannot be used leaves nothing half set up behind.
      ForgetSourceMovie(window);
      BZ_ShowError(err);
    }
  }
  if (GL_FSRefValid(&info.srcFileData[0].fileRef)) {
    const OSStatus pairErr = GL_FSRefValid(&info.srcFileData[1].fileRef)
                                 ? BZ_Av_CheckInputMovies(info.srcFileData, info.statMovInfo)
                                 : OSStatus(noErr);
    if (pairErr != noErr) {
      BZ_ShowError(pairErr);
      info.srcFileData[1] = BZ_SrcFileData{};
      BZ_DisposeStaticMovieInfo(window, 1);
      if ((err = BZ_SetSourceFileName(window, 1)) != noErr) return err;
      dlgData->state.neededUpdates |= kBZ_AverageTypeFlag;
    }
  } else {
    if ((err = GL_SetDialogItemMaxByID(window, Item(2327), 1000)) != noErr) return err;
    info.settings.cleaning.noiseRed.startFrame = 1;
    info.settings.cleaning.noiseRed.endFrame = 1000;
    if ((err = GL_SetDialogItemMaxByID(window, Item(2159), 1000)) != noErr) return err;
    if ((err = GL_SetDialogItemMaxByID(window, Item(2162), 1000)) != noErr) return err;
  }
  if ((err = BZ_ActivateDV_Compression(window)) != noErr) return err;
  if ((err = BZ_SetSourceFileName(window, 0)) != noErr) return err;
  if ((err = BZ_SetMovieInfo(window)) != noErr) return err;
  if ((err = BZ_ActivateLogoDimensions(window)) != noErr) return err;
  dlgData->state.neededUpdates |= kBZ_OutputSettUpdate | kBZ_VarBrTypeFlag | kBZ_RlTypeFlag | kBZ_NoiseRedTypeFlag;
  return noErr;
}

OSStatus BZ_HandleOpenMovie1Hit(WindowRef window) {
  if (window == nullptr || gBZ.project == nullptr || gBZ.dlgData == nullptr) return paramErr;
  BZ_ProjInfo &info = gBZ.project->info;
  BZ_ProjDlgData *dlgData = gBZ.dlgData;
  BZ_StatMovInfo &movie = info.statMovInfo[0];
  BZ_InputSett &input = info.settings.input;
  BZ_CleaninSett &cleaning = info.settings.cleaning;

  // 1. The status shows "opening" only while the file opens.
  BZ_SetOpeningMovie(true);
  BZ_UpdateStatus(false);
  OSStatus err = QT_OpenMovieFile(&info.srcFileData[0].fileRef, 0, &info.dynMovieInfo.sourceMovie[0]);
  BZ_SetOpeningMovie(false);
  BZ_UpdateStatus(false);
  if (err != noErr) {
    info.srcFileData[0].fileRef = FSRef{};
    return err;
  }
  // 2.
  if ((err = BZ_GetStaticMovieInfo(info.dynMovieInfo.sourceMovie[0], &movie)) != noErr) return err;
  // 3. Field information of the movie's own.
  if (movie.hasFielExt) {
    input.interlaced = movie.interlaced;
    input.topFieldFirst = movie.topFieldFirst;
    const SInt16 saved = dlgData->itemHit;
    dlgData->itemHit = 2026;
    err = BZ_ProjDlgHandleDependentItems(window, false);
    dlgData->itemHit = saved;
    if (err != noErr) return err;
    dlgData->state.interlaceSetByUser = false;
  }
  // 4.
  cleaning.removeLogo.numBackGrFrames = std::min(cleaning.removeLogo.numBackGrFrames, movie.numFrames);
  if ((err = SetFrameLimits(window, movie.numFrames)) != noErr) return err;
  // 5. A loaded logo mask is read again for this movie's frame; without one the logo rectangle must fit it.
  if (BZ_ProjDlgHasLogoMaskPic()) {
    BZ_RlDlgTaskData *logo = gBZ.dlgTaskData.rlDlgTaskData;
    Trace("BZ_SetLogoPosition");
    if ((err = BZ_SetLogoPosition(window, cleaning.removeLogo.maskAnchor)) != noErr) return err;
    if (GL_FSRefValid(&logo->maskFile)) {
      Trace("BZ_GetMaskPicFromFile");
      if ((err = BZ_GetMaskPicFromFile(window, &logo->maskFile, cleaning.removeLogo.maskAnchor)) != noErr) return err;
      Trace("GL_SetPictureInImageWell");
      if ((err = GL_SetPictureInImageWell(window, Item(kBZ_RlMaskWellItem), logo->logoMaskPic)) != noErr) return err;
      Trace("GL_SetNeedsDisplayByID");
      if ((err = GL_SetNeedsDisplayByID(window, Item(kBZ_RlMaskWellItem), true)) != noErr) return err;
    }
  } else {
    BZ_RlValidateLogoRect(movie.height, movie.width, true, &cleaning.removeLogo.logoRect);
  }
  // 6.
  BZ_NrValidateSelRect(info.statMovInfo, &cleaning.noiseRed.selRect, true);
  Trace("BZ_HandleInputHit");
  if ((err = BZ_HandleInputHit(window, 2026)) != noErr) return err;
  // 7. The frame cache for this movie's frames.
  ClearEquivalentNoiseLevels();
  SInt64 bufferSize = 0;
  if ((err = BZ_GetBufferSize(movie.height, movie.width, input.interlaced, nullptr, nullptr, &bufferSize)) != noErr)
    return err;
  if ((err = BZ_InitFrameCache(&gBZ.dlgTaskData, bufferSize)) != noErr) return err;
  if (WindowRef preview = BZ_GetPreviewWindow(); preview != nullptr && (err = BZ_ClosePreview(preview)) != noErr)
    return err;
  if (gBZ.project->dynIO_Info.buffInfo[0].ptr != nullptr) BZ_DisposeBuffInfo(gBZ.project->dynIO_Info.buffInfo);
  // 9. What the progress view is built for.
  dlgData->state.savedCropRect = input.cropRect;
  dlgData->state.savedCropping = input.cropping;
  dlgData->state.savedInterlaced = input.interlaced;
  if (cleaning.ou.apply && (err = BZ_OuOpenOutlierEditListFile(false)) != noErr) return err;
  Trace("BZ_HandleOpenMovie1Hit exiting");
  return noErr;
}

OSStatus BZ_SetMovieInfo(WindowRef window) {
  if (window == nullptr) return noErr;
  const BZ_ProjInfo *info = gBZ.project != nullptr ? &gBZ.project->info : nullptr;
  OSStatus err = noErr;
  if (info != nullptr && GL_FSRefValid(&info->srcFileData[0].fileRef) && info->statMovInfo[0].cType != 0) {
    CFMutableStringRef made = nullptr;
    if ((err = BZ_CreateMovieInfoText(&info->statMovInfo[0], &made)) != noErr) return err;
    PL_CFScoped<CFMutableStringRef> text{made};
    if ((err = GL_SetDialogItemTextByID(window, Item(2024), text.get())) != noErr) return err;
    if ((err = BZ_SetScaledPosterInDialog(window)) != noErr) return err;
  } else {
    PL_CFScoped<CFStringRef> text{CFBundleCopyLocalizedString(CFBundleGetMainBundle(), CFSTR("BZ Movie info"),
                                                              CFSTR("BZ Movie info"), nullptr)};
    if ((err = GL_SetDialogItemTextByID(window, Item(2024), text.get())) != noErr) return err;
  }
  return BZ_SetOutputSize(window);
}

OSStatus BZ_SetScaledPosterInDialog(WindowRef window) {
  if (window == nullptr || gBZ.project == nullptr) return paramErr;
  BZ_StatMovInfo &movie = gBZ.project->info.statMovInfo[0];
  if (movie.posterPict == nullptr) return paramErr;
  Rect bounds{};
  OSStatus err = GL_GetDialogItemBoundsByID(window, Item(2025), &bounds);
  if (err != noErr) return err;
  PicHandle scaled = nullptr;
  const UInt32 kMidGrey = 34;
  if ((err = GL_ScalePicture(&bounds, movie.posterPict, &scaled, true, false, kMidGrey)) != noErr) return err;
  // The well shows the new picture before the old one goes.
  err = GL_SetPictureInImageWell(window, Item(2025), scaled);
  if (err != noErr) {
    KillPicture(scaled);
    return err;
  }
  KillPicture(movie.posterPict);
  movie.posterPict = scaled;
  return GL_SetNeedsDisplayByID(window, Item(2025), true);
}

OSStatus BZ_SetProjDlgImageWellBackground(WindowRef) { return noErr; }

OSStatus BZ_ActivateAIC(WindowRef window) {
  Boolean present = false;
  const OSStatus err = QT_IsCodecPresent('icod', "Apple Intermediate Codec", &present);
  if (err == noErr && present) return noErr;
  MenuRef menu = nullptr;
  if (GL_GetPopupMenuByID(window, Item(2078), &menu) != noErr || menu == nullptr) return noErr;
  DisableMenuItem(menu, 4);
  return noErr;
}

OSStatus BZ_InitFrameCache(BZ_DlgTaskData *dlgTaskData, SInt64 bufferSize) {
  if (dlgTaskData == nullptr || bufferSize <= 0) return paramErr;
  if (dlgTaskData->frameCache != nullptr) GL_DisposePtr(&dlgTaskData->frameCache);
  if (dlgTaskData->previewCache != nullptr) GL_DisposePtr(&dlgTaskData->previewCache);
  OSStatus err = GL_NewPtrClear(size_t(bufferSize) * kBZ_FrameCacheSize, &dlgTaskData->frameCache);
  if (err == noErr) err = GL_NewPtrClear(size_t(bufferSize) * 3, &dlgTaskData->previewCache);
  if (err != noErr) {
    if (dlgTaskData->frameCache != nullptr) GL_DisposePtr(&dlgTaskData->frameCache);
    return err;
  }
  if (dlgTaskData->frameCacheCritRgn == nullptr &&
      (err = MPCreateCriticalRegion(&dlgTaskData->frameCacheCritRgn)) != noErr)
    return err;
  for (BZ_FrameCacheInfo &slot : dlgTaskData->frameCacheInfo) {
    slot.frameNum = -1;
    slot.needed = 0;
  }
  return noErr;
}
