// The Output pane of the project dialog.
#include "dialog/output_tab.h"

#include "app/error_display.h"
#include "app/window_lookup.h"
#include "dialog/export_settings_dialog.h"
#include "dialog/project_dialog.h"
#include "engine/runtime/dialog_items.h"
#include "engine/runtime/project_settings.h"
#include "engine/runtime/working_format.h"
#include "general/memory_lists.h"
#include "general/unicode_strings.h"
#include "movie/codecs.h"
#include "movie/core_audio.h"
#include "movie/export_components_ui.h"
#include "movie/export_settings.h"
#include "movie/movie_queries.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_string.h"
#include "platform/core/memory.h"
#include "platform/movie/components.h"
#include "platform/movie/exporters.h"
#include "platform/movie/movie_toolbox.h"
#include "toolkit/dialog_items.h"

namespace {

HIViewID Item(SInt32 n) { return HIViewID{kBZ_DialogItemSignature, n}; }

PL_CFScoped<CFStringRef> Localized(CFStringRef key) {
  return PL_CFScoped<CFStringRef>(CFBundleCopyLocalizedString(CFBundleGetMainBundle(), key, key, nullptr));
}

const CodecType kCodecs[] = {'dvc ', 'mjpa', '2vuy', 'icod', 'y420'};
const CFStringRef kCodecNames[] = {CFSTR("DV"), CFSTR("Motion JPEG A"), CFSTR("Uncompressed 4:2:2 (2vuy)"),
                                   CFSTR("Apple Intermediate Codec"), CFSTR("Uncompressed 4:2:0 (y420)")};

// The exporter results that mean "this exporter has no dialog" or "no such feature": not failures.
constexpr OSStatus kNoExporterDialog = OSStatus(0x80008002);
constexpr OSStatus kPropertyNotSupported = -2195;

const QT_CompInfoLE *FindExporter(OSType subType) {
  for (const QT_CompInfoLE *e = gBZ.expCompInfoList; e != nullptr; e = e->next)
    if (e->subType == subType) return e;
  return nullptr;
}

// The source's picture size after the crop margins that are cut off (masked margins keep it); 576 x 720
// without a source.
void CroppedSourceSize(SInt32 *height, SInt32 *width) {
  const BZ_ProjInfo &info = gBZ.project->info;
  const BZ_StatMovInfo &movie = info.statMovInfo[0];
  *height = movie.height != 0 ? movie.height : 576;
  *width = movie.width != 0 ? movie.width : 720;
  const BZ_InputSett &input = info.settings.input;
  if (input.cropping && !input.maskBlackBars) {
    *height -= input.cropRect.top + input.cropRect.bottom;
    *width -= input.cropRect.left + input.cropRect.right;
  }
}

OSStatus ShowResultName(WindowRef window) {
  BZ_CheckTargetFileName(&gBZ.project->info);
  return BZ_SetTargetFileName(window, 0);
}

}  // namespace

Boolean BZ_IsOutputHit(SInt32 item) { return item >= 2070 && item <= 2099; }

SInt32 BZ_ProjDialogCodecTypeToPopupMenuItem(CodecType cType) {
  if (cType == 'dvcp') return 1;
  for (SInt32 i = 0; i < 5; ++i)
    if (kCodecs[i] == cType) return i + 1;
  return 0;
}

CodecType BZ_ProjDialogPopupMenuItemToCodecType(SInt32 popupMenuItem) {
  return popupMenuItem >= 1 && popupMenuItem <= 5 ? kCodecs[popupMenuItem - 1] : 0;
}

OSStatus BZ_GetCompressor(WindowRef window) {
  if (gBZ.project == nullptr) return noErr;
  SInt32 item = 0;
  OSStatus err = GL_GetDialogItemValueByID(window, Item(2078), &item);
  if (err != noErr) return err;
  BZ_OutputSett &output = gBZ.project->info.settings.output;
  if (item == kBZ_ExportMenuItem) {
    output.export_ = true;
  } else {
    output.export_ = false;
    output.cType = BZ_ProjDialogPopupMenuItemToCodecType(item);
  }
  return noErr;
}

OSStatus BZ_SetCompressor(WindowRef window) {
  if (gBZ.project == nullptr) return noErr;
  const BZ_OutputSett &output = gBZ.project->info.settings.output;
  OSStatus err = noErr;
  SInt32 item = 0;
  if (output.export_) {
    item = kBZ_ExportMenuItem;
    MenuRef exportMenu = nullptr;
    if ((err = BZ_GetVideoExportMenu(window, &exportMenu)) != noErr) return err;
    MenuItemIndex exportItem = 0;
    if ((err = GetIndMenuItemWithCommandID(exportMenu, output.exportType, 1, nullptr, &exportItem)) != noErr) return err;
    if ((err = BZ_SetExportTypeInSTI(window, output.exportType)) != noErr) return err;
    for (MenuItemIndex i = 1; i <= CountMenuItems(exportMenu); ++i) CheckMenuItem(exportMenu, i, i == exportItem);
  } else {
    item = BZ_ProjDialogCodecTypeToPopupMenuItem(output.cType);
    if ((err = GL_SetDialogItemTextByID(window, Item(2080), CFSTR(""))) != noErr) return err;
  }
  if ((err = GL_SetDialogItemValueByID(window, Item(2078), item)) != noErr) return err;
  MenuRef menu = nullptr;
  if ((err = GL_GetPopupMenuByID(window, Item(2078), &menu)) != noErr) return err;
  for (MenuItemIndex i = 1; i <= CountMenuItems(menu); ++i) CheckMenuItem(menu, i, i == item);
  return noErr;
}

OSStatus BZ_GetVideoExportMenu(WindowRef window, MenuRef *videoExportMenu) {
  if (videoExportMenu == nullptr) return paramErr;
  *videoExportMenu = nullptr;
  MenuRef menu = nullptr;
  OSStatus err = GL_GetPopupMenuByID(window, Item(2078), &menu);
  if (err != noErr) return err;
  if (menu == nullptr) return paramErr;
  if ((err = GetMenuItemHierarchicalMenu(menu, kBZ_ExportMenuItem, videoExportMenu)) != noErr) return err;
  return *videoExportMenu != nullptr ? OSStatus(noErr) : OSStatus(paramErr);
}

OSStatus BZ_InitExportMenu(WindowRef window) {
  MenuRef menu = nullptr;
  OSStatus err = GL_GetPopupMenuByID(window, Item(2078), &menu);
  if (err != noErr) return err;
  if (menu == nullptr || CountMenuItems(menu) == 0) {
    // The codecs, a separator and the export item with its (still empty) submenu.
    MenuRef made = nullptr, exportMenu = nullptr;
    if ((err = CreateNewMenu(0, 0, &made)) != noErr) return err;
    for (CFStringRef name : kCodecNames) AppendMenuItemTextWithCFString(made, name, 0, 0, nullptr);
    AppendMenuItemTextWithCFString(made, CFSTR("-"), kMenuItemAttrSeparator, 0, nullptr);
    AppendMenuItemTextWithCFString(made, Localized(CFSTR("BZ Export")).get(), 0, 0, nullptr);
    // The submenu lives as long as the dialog, which lives until the program quits.
    if ((err = CreateNewMenu(0, 0, &exportMenu)) == noErr)
      err = SetMenuItemHierarchicalMenu(made, kBZ_ExportMenuItem, exportMenu);
    if (err == noErr) err = GL_SetPopupMenuByID(window, Item(2078), made);
    if (err != noErr) {
      if (exportMenu != nullptr) DisposeMenu(exportMenu);
      DisposeMenu(made);
      return err;
    }
  }
  // The pop-up's value ranges over its items, the export item included.
  if ((err = GL_SetDialogItemMinByID(window, Item(2078), 0)) != noErr) return err;
  if ((err = GL_SetDialogItemMaxByID(window, Item(2078), kBZ_ExportMenuItem)) != noErr) return err;
  MenuRef exportMenu = nullptr;
  if ((err = BZ_GetVideoExportMenu(window, &exportMenu)) != noErr) return err;
  if (gBZ.expCompInfoList != nullptr) LL_DisposeLinkedList(&gBZ.expCompInfoList);
  err = QT_AddVideoExportCompsToMenu(QT_GetQTVersion(), nullptr, HIViewID{0, 0}, exportMenu, &gBZ.expCompInfoList,
                                     false);
  if (err != noErr) return err;
  // The exporters show their settings in our dialogs.
  PL_SetMovieExportDialogProc(BZ_ExportSettingsDialog);
  static const EventTypeSpec process{kEventClassCommand, kEventCommandProcess};
  return InstallEventHandler(GetMenuEventTarget(exportMenu), BZ_ExportMenuEventHandler, 1, &process, exportMenu,
                             nullptr);
}

OSStatus BZ_ExportMenuEventHandler(EventHandlerCallRef, EventRef event, void *userData) {
  if (GetEventClass(event) != kEventClassCommand || GetEventKind(event) != kEventCommandProcess)
    return eventNotHandledErr;
  HICommand command{};
  if (GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command) !=
          noErr ||
      !(command.attributes & kHICommandFromMenu) || command.menu.menuRef != static_cast<MenuRef>(userData))
    return eventNotHandledErr;
  WindowRef window = BZ_GetProjDlgWindow();
  OSStatus err = BZ_HandleVideoExportChoice(window, command.commandID);
  if (err == noErr) {
    MenuRef exportMenu = command.menu.menuRef;
    for (MenuItemIndex i = 1; i <= CountMenuItems(exportMenu); ++i)
      CheckMenuItem(exportMenu, i, i == command.menu.menuItemIndex);
    MenuRef menu = nullptr;
    err = GL_SetDialogItemValueByID(window, Item(2078), kBZ_ExportMenuItem);
    if (err == noErr) err = GL_GetPopupMenuByID(window, Item(2078), &menu);
    if (err == noErr)
      for (MenuItemIndex i = 1; i <= CountMenuItems(menu); ++i) CheckMenuItem(menu, i, i == kBZ_ExportMenuItem);
    if (err == noErr) err = BZ_SetExportTypeInSTI(window, command.commandID);
    if (err == noErr) err = BZ_SetOutputSize(window);
  }
  if (err != noErr && err != userCanceledErr) BZ_ShowError(err);
  return noErr;
}

OSStatus BZ_HandleVideoExportChoice(WindowRef window, UInt32 commandID) {
  if (gBZ.project == nullptr) return paramErr;
  BZ_ProjInfo &info = gBZ.project->info;
  BZ_OutputSett &output = info.settings.output;
  if (QT_Is_iDeviceSubType(commandID)) {
    output.export_ = true;
    output.exportType = commandID;
    return noErr;
  }
  MovieExportComponent exporter = nullptr;
  OSStatus err = OpenADefaultComponent(MovieExportType, commandID, &exporter);
  if (err != noErr) return err;
  err = CA_EnableHighResolutionAudio(exporter);
  if (err == kPropertyNotSupported || err == kNoExporterDialog) err = noErr;

  // The settings to start from: this exporter's own from before, else the stored ones, else its defaults.
  const bool changedType = output.exportType != commandID;
  output.exportType = commandID;
  QTAtomContainer settings = nullptr;  // a copy, disposed below
  if (err == noErr) {
    if (!changedType && output.videoExportSett != nullptr) {
      settings = output.videoExportSett;
      err = HandToHand(&settings);
    } else {
      BZ_OutputSett stored = output;
      stored.videoExportSett = nullptr;
      BZ_GetVideoExportSettFromPrefs(&stored);
      if (stored.videoExportSett != nullptr)
        settings = stored.videoExportSett;
      else
        err = MovieExportGetSettingsAsAtomContainer(exporter, &settings);
    }
  }
  Movie source = info.dynMovieInfo.sourceMovie[0];
  const bool movieOpen = info.statMovInfo[0].cType != 0 && source != nullptr;
  if (err == noErr && movieOpen && commandID == kQTFileTypeDVC && gBZ.dlgData != nullptr &&
      !gBZ.dlgData->state.dvSettingsMade) {
    BZ_AdjustDVSettingsToInputMovie(&info, settings);
    gBZ.dlgData->state.dvSettingsMade = true;
  }
  if (err == noErr) err = MovieExportSetSettingsFromAtomContainer(exporter, settings);
  if (settings != nullptr) QTDisposeAtomContainer(settings);
  Boolean canceled = false;
  if (err == noErr) {
    err = MovieExportDoUserDialog(exporter, movieOpen ? source : nullptr, nullptr, 0,
                                  movieOpen ? GetMovieDuration(source) : 0, &canceled);
    if (err == kNoExporterDialog || err == badComponentSelector) {
      err = noErr;
      canceled = true;
    }
  }
  if (err == noErr && !canceled) {
    QTAtomContainer chosen = nullptr;
    err = MovieExportGetSettingsAsAtomContainer(exporter, &chosen);
    if (err == noErr) {
      if (output.videoExportSett != nullptr) DisposeHandle(output.videoExportSett);
      output.videoExportSett = chosen;
      output.export_ = true;
      output.cType = '2vuy';
      err = ShowResultName(window);
    }
  } else if (err == noErr) {
    err = userCanceledErr;
  }
  CloseComponent(exporter);
  return err;
}

OSStatus BZ_SetExportTypeInSTI(WindowRef window, OSType exportType) {
  const QT_CompInfoLE *exporter = FindExporter(exportType);
  if (exporter == nullptr) return noErr;
  PL_CFScoped<CFStringRef> name{CFStringCreateWithCString(nullptr, exporter->name, kCFStringEncodingMacRoman)};
  return GL_SetDialogItemTextByID(window, Item(2080), name.get());
}

OSStatus BZ_AdjustDVSettingsToInputMovie(BZ_ProjInfo *projInfo, Handle videoExportSett) {
  if (projInfo == nullptr || videoExportSett == nullptr) return paramErr;
  const BZ_StatMovInfo &movie = projInfo->statMovInfo[0];
  OSStatus err = QT_CorrectPAL_SettingForDV_Stream(movie.height, videoExportSett);
  if (movie.hasSound) err = QT_SetInSampleRateForExport(projInfo->dynMovieInfo.sourceMovie[0], videoExportSett);
  // The picture as the movie shows it decides its shape.
  const SInt32 shownHeight = movie.displayHeight > 0 ? movie.displayHeight : movie.height;
  const SInt32 shownWidth = movie.displayWidth > 0 ? movie.displayWidth : movie.width;
  if (BZ_Get16x9(shownHeight, shownWidth)) err = QT_Set16x9_InExportSettContainer(videoExportSett, true, nullptr);
  if (!projInfo->settings.input.interlaced)
    err = QT_SetProgressiveInExportSettContainer(videoExportSett, true, nullptr);
  return err;
}

OSStatus BZ_ActivateDV_Compression(WindowRef window) {
  if (gBZ.project == nullptr) return noErr;
  SInt32 height = 0, width = 0;
  CroppedSourceSize(&height, &width);
  MenuRef menu = nullptr;
  OSStatus err = GL_GetPopupMenuByID(window, Item(2078), &menu);
  if (err != noErr) return err;
  const bool dvFits = width == 720 && (height == 576 || height == 480);
  if (menu != nullptr) {
    if (dvFits)
      EnableMenuItem(menu, 1);
    else
      DisableMenuItem(menu, 1);
  }
  BZ_OutputSett &output = gBZ.project->info.settings.output;
  if (!dvFits && (output.cType == 'dvc ' || output.cType == 'dvcp')) output.cType = 'mjpa';
  if (gBZ.dlgData != nullptr) gBZ.dlgData->state.neededUpdates |= kBZ_OutputSettUpdate;
  return noErr;
}

OSStatus BZ_ActivateSpecialMovieButtons(WindowRef window) {
  if (gBZ.project == nullptr) return noErr;
  const BZ_ProjInfo &info = gBZ.project->info;
  const BZ_TargetFileData &result = info.targetFileData[0];
  bool active = (GL_FSRefValid(&info.srcFileData[0].fileRef) && GL_FSRefValid(&result.fileRef)) ||
                (GL_FSRefValid(&result.parentRef) && result.fileName.length > 0);
  if (info.settings.cleaning.average.apply) active = active && GL_FSRefValid(&info.srcFileData[1].fileRef);
  OSStatus err = GL_ActivateDialogItemByID(window, Item(2073), active);
  if (err == noErr) err = GL_ActivateDialogItemByID(window, Item(2077), active);
  return err;
}

OSStatus BZ_ReactivateOutputControls(WindowRef window, int activate) {
  const struct {
    SInt32 item;
    Boolean active;
  } steps[] = {{2071, Boolean(activate != 0)}, {2072, Boolean(activate != 0)}, {2073, false},
               {2077, false}, {2078, Boolean(activate != 0)}, {2088, Boolean(activate != 0)}};
  for (const auto &step : steps)
    if (OSStatus err = GL_ActivateDialogItemByID(window, Item(step.item), step.active); err != noErr) return err;
  return noErr;
}

OSStatus BZ_ResetProgressBar(WindowRef window) {
  OSStatus err = GL_SetDialogItemValueByID(window, Item(kBZ_ProgressBarItem), 0);
  if (err == noErr) err = GL_SetDialogItemTextByID(window, Item(kBZ_ProgressStateTextItem), CFSTR("#frames"));
  if (err != noErr) return err;
  return GL_SetDialogItemTextByID(window, Item(kBZ_ProgressRateTextItem), Localized(CFSTR("GL average rate")).get());
}

OSStatus BZ_SetOutputSize(WindowRef window) {
  if (window == nullptr) return noErr;
  PL_CFScoped<CFMutableStringRef> text{CFStringCreateMutableCopy(nullptr, 0, Localized(CFSTR("BZ Size")).get())};
  if (text.get() == nullptr) return memFullErr;
  SInt64 estimate = 0;
  OSStatus err = noErr;
  const BZ_ProjInfo *info = gBZ.project != nullptr ? &gBZ.project->info : nullptr;
  if (info != nullptr && GL_FSRefValid(&info->srcFileData[0].fileRef) && info->statMovInfo[0].cType != 0) {
    const BZ_StatMovInfo &movie = info->statMovInfo[0];
    const SInt64 w = movie.width, h = movie.height;
    SInt64 frameSize = 0;
    if (info->settings.output.export_) {
      SInt32 exportSize = 0;
      err = BZ_GetExportFrameDataSize(info, &exportSize);
      frameSize = exportSize;
    } else {
      switch (info->settings.output.cType) {
        case 'dvc ': frameSize = h == 576 ? 144000 : 120000; break;
        case '2vuy': frameSize = w * h * 2; break;
        case 'mjpa': case 'icod': frameSize = w * h * 120000 / 345600; break;
        case 'y420': frameSize = w * h * 3 / 2; break;
        default: frameSize = 0; break;
      }
    }
    estimate = SInt64(movie.numFrames) * frameSize;
  }
  if (estimate > 0)
    GL_AddByteSizeString(estimate, text.get());
  else
    CFStringAppend(text.get(), CFSTR("?"));
  const OSStatus setErr = GL_SetDialogItemTextByID(window, Item(2079), text.get());
  return err != noErr ? err : setErr;
}

OSStatus BZ_HandleOutputHit(WindowRef window, SInt32 itemHit) {
  if (window == nullptr || gBZ.project == nullptr) return noErr;
  OSStatus err = noErr;
  switch (itemHit) {
    case 2076:
      err = BZ_SetTargetFileName(window, 1);
      break;
    case 2072:
      err = BZ_ActivateSpecialMovieButtons(window);
      if (err == noErr) err = BZ_SetTargetFileName(window, 0);
      break;
    case 2078: {
      SInt32 item = 0;
      err = BZ_GetCompressor(window);
      if (err == noErr) err = GL_GetDialogItemValueByID(window, Item(2078), &item);
      if (err == noErr && item != kBZ_ExportMenuItem) {
        gBZ.project->info.settings.output.export_ = false;
        err = BZ_SetOutputSize(window);
        if (err == noErr) err = ShowResultName(window);
      }
      break;
    }
    default:
      break;
  }
  if (err != noErr) return err;
  if (gBZ.dlgData != nullptr) gBZ.dlgData->state.neededUpdates |= kBZ_OutputSettUpdate;
  return noErr;
}
