// The method panes of the project dialog (see the header).
#include "dialog/method_tabs.h"

#include "app/error_display.h"
#include "app/status_window.h"
#include "app/window_lookup.h"
#include "dialog/output_tab.h"
#include "dialog/run_control.h"
#include "dialog/static_movie_info.h"
#include "engine/runtime/dialog_items.h"
#include "general/file_layer.h"
#include "methods/average_sources.h"
#include "methods/logo_mask.h"
#include "methods/logo_mask_ui.h"
#include "methods/logo_params.h"
#include "methods/logo_stage.h"
#include "movie/movie_files.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_string.h"
#include "platform/core/files.h"
#include "platform/core/quickdraw_pictures.h"
#include "toolkit/dialog_items.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kMinNoiseLevel = 0.1f, kMaxNoiseLevel = 40.0f;  // the range of items 2153-2155
constexpr SInt32 kNoiseTab = 2;                                 // the noise pane's process tab

HIViewID Item(SInt32 n) { return HIViewID{kBZ_DialogItemSignature, n}; }

BZ_RlDlgTaskData *LogoData() { return gBZ.dlgTaskData.rlDlgTaskData; }

void MarkForUpdate(UInt32 bits) {
  if (gBZ.dlgData != nullptr) gBZ.dlgData->state.neededUpdates |= bits;
}

// The measured levels that belong to the filter: both directions 2D, horizontal alone 16H, else 16V.
const float *FilterNoiseTable(const BZ_RnDlgTaskData *rn, const BZ_Rn_Sett &nr) {
  if (rn == nullptr) return nullptr;
  if (nr.horizontal && nr.vertical) return rn->eqNoiseLevel2D;
  if (nr.horizontal) return rn->eqNoiseLevel16H;
  return rn->eqNoiseLevel16V;
}

// Cb or Cr for a typed Y. A Y level not measured yet (zeroed whenever the range, the selection, the
// interlacing or the movie changes) gives no proportion to follow: the levels are then set as by hand,
// instead of the inf or NaN a division by it would spread into the settings and the stage.
float ChromaForTypedY(float typedY, float tableY, float tableC, bool automatic) {
  float level = typedY;
  if (automatic && tableY > 0.0f && std::isfinite(tableY) && std::isfinite(tableC)) level = tableC * (typedY / tableY);
  if (std::isnan(level)) level = std::isnan(typedY) ? kMinNoiseLevel : typedY;
  return std::clamp(level, kMinNoiseLevel, kMaxNoiseLevel);
}

// The measured levels must be measured again.
void ClearEquivalentNoiseLevels() {
  BZ_RnDlgTaskData *rn = gBZ.dlgTaskData.rnDlgTaskData;
  if (rn == nullptr) return;
  for (int c = 0; c < 3; ++c) rn->eqNoiseLevel16H[c] = rn->eqNoiseLevel16V[c] = rn->eqNoiseLevel2D[c] = 0.0f;
}

// The noise pane's selection rectangle in the preview is cancelled: the preview redraws without it.
void CancelNoiseSelection() {
  if (gBZ.dlgData == nullptr) return;
  BZ_PreviewData &preview = gBZ.dlgData->previewData;
  if (!preview.hasSelectionRect[kNoiseTab]) return;
  preview.hasSelectionRect[kNoiseTab] = false;
  if (WindowRef window = BZ_GetPreviewWindow()) GL_SetNeedsDisplayByID(window, Item(2011), true);
}

OSStatus SetActive(WindowRef window, SInt32 item, bool active) {
  return GL_ActivateDialogItemByID(window, Item(item), active);
}

// The logo settings the mask picture was last seen with. The dependent-items pass that re-initialises the
// dialog (after each project, for a new movie) replays the mode and box hits without anything having
// changed: only a real change drops the user's mask picture.
struct MaskSettings {
  bool known;
  BZ_RlMode mode;
  Boolean transparent, findMask;
};
MaskSettings gSeen{};

void RememberMaskSettings(const BZ_RlSett &rl) { gSeen = MaskSettings{true, rl.mode, rl.transparent, rl.findMask}; }

// Whether the settings differ from those last seen in what `same` compares (always when none were seen).
template <typename Compare>
bool MaskSettingsChanged(const BZ_RlSett *rl, Compare same) {
  return rl == nullptr || !gSeen.known || !same(*rl);
}

// Closes what the input information of a source holds open.
void CloseInputForks(BZ_DynInputInfo *input) {
  if (input->fileRefNum[0] != 0)
    for (FSIORefNum &fork : input->fileRefNum)
      if (fork != 0) {
        FSCloseFork(fork);
        fork = 0;
      }
  *input = BZ_DynInputInfo{};
}

}  // namespace

// ---- Item ranges ----

Boolean BZ_IsAverageHit(SInt32 item) { return item >= 2100 && item <= 2149; }
Boolean BZ_IsRedNoiseHit(SInt32 item) { return item >= 2150 && item <= 2199; }
Boolean BZ_IsRnSelRectHit(SInt32 item) { return item >= 2170 && item <= 2173; }
Boolean BZ_IsRlHit(SInt32 item) { return item >= 2300 && item <= 2349; }
Boolean BZ_IsFadeItem(SInt32 item) { return item >= 2329 && item <= 2333; }
Boolean BZ_IsLogoRectItem(SInt32 item) { return item >= 2300 && item <= 2303; }
Boolean BZ_IsCrossLumaHit(SInt32 item) { return item >= 2350 && item <= 2399; }
Boolean BZ_IsVarBrHit(SInt32 item) { return item >= 2400 && item <= 2409; }
Boolean BZ_IsOutlierHit(SInt32 item) { return item >= 2500 && item <= 2517; }

// ---- Panes ----

OSStatus BZ_EmbedReduceNoiseItems(WindowRef window) {
  OSStatus err = GL_EmbedSubgroup(window, kBZ_DialogItemSignature, Item(2156), 2166, 2173, 2165);
  if (err != noErr) return err;
  return GL_EmbedSubgroup(window, kBZ_DialogItemSignature, Item(2156), 2158, 2165, 2157);
}

OSStatus BZ_EmbedRlItems(WindowRef window) {
  OSStatus err = GL_EmbedSubgroup(window, kBZ_DialogItemSignature, Item(2053), 2325, 2328, 2324);
  if (err == noErr) err = GL_EmbedSubgroup(window, kBZ_DialogItemSignature, Item(2329), 2331, 2333, 2330);
  if (err == noErr) err = GL_EmbedSubgroup(window, kBZ_DialogItemSignature, Item(2053), 2318, 2323, 2317);
  static const SInt32 kMaskItems[] = {2310, 2311, 2312, 2313, 2314, 2315, 2316, 2317, 2324};
  if (err == noErr) err = GL_EmbedSubgroupArray(window, kBZ_DialogItemSignature, Item(2053), 9, kMaskItems, 2309);
  if (err == noErr) err = GL_HIViewSetZOrderByID(window, Item(2309), kHIViewZOrderBelow, HIViewID{0, 0});
  return err;
}

// ---- Averaging ----

OSStatus BZ_HandleAvSecondMovieChoice(WindowRef window) {
  if (window == nullptr || gBZ.project == nullptr) return noErr;
  BZ_ProjInfo &info = gBZ.project->info;
  OSStatus err = BZ_ActivateSpecialMovieButtons(window);
  if (err != noErr) return err;
  if (info.statMovInfo[1].cType != 0) {
    // An analysis or preview may be reading the second movie: it ends before the movie is closed.
    if (gBZ.dlgData != nullptr) {
      Boolean stopped = false;
      if ((err = BZ_StopMovieAnalysis(&gBZ.dlgData->state, &stopped, true)) != noErr) return err;
    }
    const FSRef chosen = info.srcFileData[1].fileRef;
    BZ_DisposeStaticMovieInfo(window, 1);
    info.srcFileData[1] = BZ_SrcFileData{};
    CloseInputForks(&gBZ.project->dynIO_Info.inputInfo[1]);
    gBZ.dlgTaskData.searchedWhiteLinePiece[1] = false;
    info.srcFileData[1].fileRef = chosen;
  }
  if (GL_FSRefValid(&info.srcFileData[1].fileRef)) {
    BZ_SetOpeningMovie(true);
    BZ_UpdateStatus(false);
    err = QT_OpenMovieFile(&info.srcFileData[1].fileRef, 0, &info.dynMovieInfo.sourceMovie[1]);
    BZ_SetOpeningMovie(false);
    BZ_UpdateStatus(false);
    if (err == noErr) err = BZ_GetStaticMovieInfo(info.dynMovieInfo.sourceMovie[1], &info.statMovInfo[1]);
    if (err != noErr) {
      // Nothing half set up stays behind: no second movie.
      BZ_DisposeStaticMovieInfo(window, 1);
      info.srcFileData[1].fileRef = FSRef{};
      BZ_SetSourceFileName(window, 1);
      return err;
    }
  }
  if (GL_FSRefValid(&info.srcFileData[1].fileRef) && GL_FSRefValid(&info.srcFileData[0].fileRef)) {
    if (OSStatus pairErr = BZ_Av_CheckInputMovies(info.srcFileData, info.statMovInfo); pairErr != noErr) {
      BZ_ShowError(pairErr);
      info.srcFileData[1].fileRef = FSRef{};
      BZ_DisposeStaticMovieInfo(window, 1);
    }
  }
  return BZ_SetSourceFileName(window, 1);
}

// ---- Noise reduction ----

OSStatus BZ_HandleNoiseRedHit(WindowRef, SInt32 itemHit) {
  if (gBZ.project == nullptr) return noErr;
  BZ_Rn_Sett &nr = gBZ.project->info.settings.cleaning.noiseRed;
  const float *table = FilterNoiseTable(gBZ.dlgTaskData.rnDlgTaskData, nr);
  switch (itemHit) {
    case 2151:
    case 2152:
      if (nr.automatic && table != nullptr) {
        std::copy(table, table + 3, nr.noiseLevel);
        MarkForUpdate(kBZ_NoiseRedTypeFlag);
      }
      break;
    case 2153: {
      const float y = nr.noiseLevel[0];
      const float tableY = table != nullptr ? table[0] : 0.0f;
      for (int c = 1; c <= 2; ++c)
        nr.noiseLevel[c] = ChromaForTypedY(y, tableY, table != nullptr ? table[c] : 0.0f, nr.automatic);
      MarkForUpdate(kBZ_NoiseRedTypeFlag);
      break;
    }
    case 2159:
      if (nr.startFrame > nr.endFrame) nr.endFrame = nr.startFrame;
      MarkForUpdate(kBZ_NoiseRedTypeFlag);
      break;
    case 2162:
      if (nr.endFrame < nr.startFrame) nr.startFrame = nr.endFrame;
      MarkForUpdate(kBZ_NoiseRedTypeFlag);
      break;
    case 2164:
      if (!nr.useSelRect) CancelNoiseSelection();
      break;
    default:
      break;
  }
  if (itemHit == 2159 || itemHit == 2162 || itemHit == 2164 || BZ_IsRnSelRectHit(itemHit))
    ClearEquivalentNoiseLevels();
  return noErr;
}

// ---- Logo removal ----

namespace {
OSStatus HandleRlItem(WindowRef window, SInt32 itemHit, BZ_RlSett &rl);
}  // namespace

OSStatus BZ_HandleRlHit(WindowRef window, SInt32 itemHit) {
  if (gBZ.project == nullptr) return noErr;
  BZ_RlSett &rl = gBZ.project->info.settings.cleaning.removeLogo;
  MarkForUpdate(kBZ_RlTypeFlag);
  const OSStatus err = HandleRlItem(window, itemHit, rl);
  RememberMaskSettings(rl);
  return err;
}

namespace {

OSStatus HandleRlItem(WindowRef window, SInt32 itemHit, BZ_RlSett &rl) {
  switch (itemHit) {
    case 2308:
      return BZ_HandleDiminishRadioGroupHit(window, &rl);
    case 2325:
      if (!MaskSettingsChanged(&rl, [](const BZ_RlSett &r) { return r.findMask == gSeen.findMask; }))
        return BZ_ActivateLogoDimensions(window);
      return BZ_HandleFindMaskHit(window);
    case 2316:
      return BZ_HandleMaskTrGroupBoxHit(window, &rl);
    case kBZ_RlLogoPositionItem: {
      OSStatus err = BZ_SetLogoPosition(window, rl.maskAnchor);
      BZ_RlDlgTaskData *data = LogoData();
      if (err != noErr || data == nullptr || !GL_FSRefValid(&data->maskFile)) return err;
      if ((err = BZ_GetMaskPicFromFile(window, &data->maskFile, rl.maskAnchor)) != noErr) return err;
      if ((err = GL_SetPictureInImageWell(window, Item(kBZ_RlMaskWellItem), data->logoMaskPic)) != noErr) return err;
      return GL_SetNeedsDisplayByID(window, Item(kBZ_RlMaskWellItem), true);
    }
    case 2314: {
      // An imported mask is the mask: none is to be found. The rectangle comes from the picture: the
      // dialog's items, read again before this pass, still held the one typed before the import.
      rl.findMask = false;
      OSStatus err = BZ_ProjDlgHasLogoMaskPic() ? BZ_SetLogoPosition(window, rl.maskAnchor) : OSStatus(noErr);
      if (err == noErr) err = BZ_ActivateLogoDimensions(window);
      return err;
    }
    default:
      return noErr;
  }
}

}  // namespace

OSStatus BZ_SetLogoDimensions(WindowRef window, const Rect *logoRect) {
  if (logoRect == nullptr) return paramErr;
  if (gBZ.project != nullptr) gBZ.project->info.settings.cleaning.removeLogo.logoRect = *logoRect;
  if (BZ_RlDlgTaskData *data = LogoData()) data->logoRect = *logoRect;
  MarkForUpdate(kBZ_RlTypeFlag);
  if (window == nullptr) return noErr;
  return GL_SetRectValuesInDialog(window, kBZ_DialogItemSignature, 2300, logoRect);
}

OSStatus BZ_SetLogoPosition(WindowRef window, SInt32 maskAnchor) {
  if (maskAnchor < 0 || maskAnchor > 3) return paramErr;
  const BZ_RlDlgTaskData *data = LogoData();
  if (data == nullptr || gBZ.project == nullptr) return paramErr;
  // Without a picture its rectangles are zero: placing them would throw the user's logo rectangle away.
  if (data->logoPicBounds.bottom <= data->logoPicBounds.top || data->logoPicBounds.right <= data->logoPicBounds.left)
    return noErr;
  Rect logoRect = data->logoRectInPic;
  const BZ_StatMovInfo &movie = gBZ.project->info.statMovInfo[0];
  if (movie.cType != 0) BZ_RlMaskRectAtAnchor(data, maskAnchor, movie.height, movie.width, &logoRect);
  return BZ_SetLogoDimensions(window, &logoRect);
}

OSStatus BZ_ActivateLogoDimensions(WindowRef window) {
  if (window == nullptr) return noErr;
  const BZ_RlDlgTaskData *data = LogoData();
  const bool hasPicture = data != nullptr && data->logoMaskPic != nullptr;
  bool positionActive = hasPicture;
  if (hasPicture && gBZ.project != nullptr) {
    const BZ_StatMovInfo &movie = gBZ.project->info.statMovInfo[0];
    const Rect &bounds = data->logoPicBounds;
    if (movie.cType != 0 && bounds.bottom - bounds.top == movie.height && bounds.right - bounds.left == movie.width)
      positionActive = false;
  }
  OSStatus err = noErr;
  for (SInt32 item = 2300; item <= 2307 && err == noErr; ++item) err = SetActive(window, item, !hasPicture);
  if (err == noErr) err = SetActive(window, 2341, positionActive);
  if (err == noErr) err = SetActive(window, 2340, positionActive);
  return err;
}

OSStatus BZ_HandleFindMaskHit(WindowRef window) {
  OSStatus err = BZ_RlRemoveMaskPic(window, gBZ.dlgData);
  if (err != noErr) return err;
  return BZ_ActivateLogoDimensions(window);
}

OSStatus BZ_HandleMaskTrGroupBoxHit(WindowRef window, const BZ_RlSett *removeLogo) {
  if (removeLogo == nullptr) return paramErr;
  OSStatus err = window != nullptr ? SetActive(window, 2317, removeLogo->transparent) : OSStatus(noErr);
  if (err == noErr && MaskSettingsChanged(removeLogo, [](const BZ_RlSett &r) { return r.transparent == gSeen.transparent; }))
    err = BZ_RlRemoveMaskPic(window, gBZ.dlgData);
  if (err == noErr) err = BZ_ActivateLogoDimensions(window);
  return err;
}

OSStatus BZ_HandleDiminishRadioGroupHit(WindowRef window, const BZ_RlSett *removeLogo) {
  if (removeLogo == nullptr) return paramErr;
  OSStatus err =
      window != nullptr ? SetActive(window, 2309, removeLogo->mode == kBZ_LogoModeUseMask) : OSStatus(noErr);
  if (err == noErr && MaskSettingsChanged(removeLogo, [](const BZ_RlSett &r) { return r.mode == gSeen.mode; }))
    err = BZ_RlRemoveMaskPic(window, gBZ.dlgData);
  if (err == noErr) err = BZ_ActivateLogoDimensions(window);
  return err;
}

OSStatus BZ_RlRemoveMaskPic(WindowRef window, BZ_ProjDlgData *) {
  BZ_RlDlgTaskData *data = LogoData();
  OSStatus err = noErr;
  if (window != nullptr) {
    err = SetActive(window, kBZ_RlExportMaskItem, false);
    PL_CFScoped<CFStringRef> noFile{CFBundleCopyLocalizedString(CFBundleGetMainBundle(), CFSTR("BZ file location"),
                                                                CFSTR("BZ file location"), nullptr)};
    const OSStatus textErr = GL_SetDialogItemTextByID(window, Item(kBZ_RlMaskFileTextItem), noFile.get());
    if (err == noErr) err = textErr;
  }
  if (data == nullptr) return err;
  if (data->logoMaskPic != nullptr || data->wellPic != nullptr) {
    // The well lets go of the picture before it is disposed of.
    if (window != nullptr) {
      const OSStatus wellErr = GL_SetPictureInImageWell(window, Item(kBZ_RlMaskWellItem), nullptr);
      GL_SetNeedsDisplayByID(window, Item(kBZ_RlMaskWellItem), true);
      if (err == noErr) err = wellErr;
    }
    if (data->wellPic != nullptr && data->wellPic != data->logoMaskPic) KillPicture(data->wellPic);
    if (data->logoMaskPic != nullptr) KillPicture(data->logoMaskPic);
    data->wellPic = nullptr;
    data->logoMaskPic = nullptr;
  }
  BZ_RlForgetMask(data);
  gSeen = MaskSettings{};
  data->maskFile = FSRef{};
  data->logoRectInPic = Rect{};
  data->logoPicBounds = Rect{};
  return err;
}

Boolean BZ_ProjDlgHasLogoMaskPic() {
  const BZ_RlDlgTaskData *logo = LogoData();
  return logo != nullptr && logo->logoMaskPic != nullptr;
}

Boolean BZ_GetCorrectLogoPosEtiText(WindowRef window, const BZ_StatMovInfo *statMovInfo, Rect *logoRect) {
  if (logoRect == nullptr) return false;
  if (GL_GetRectValuesFromDialog(window, kBZ_DialogItemSignature, 2300, logoRect) != noErr) return false;
  const bool movie = statMovInfo != nullptr && statMovInfo->cType != 0;
  return BZ_RlValidateLogoRect(movie ? statMovInfo->height : 0, movie ? statMovInfo->width : 0, true, logoRect);
}

// ---- Outliers ----

OSStatus BZ_HandleOuHit(WindowRef, SInt32) {
  MarkForUpdate(kBZ_OutlierTypeFlag);
  return noErr;
}
