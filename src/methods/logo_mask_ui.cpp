// The logo mask picture of the logo pane (see the header).
#include "methods/logo_mask_ui.h"

#include "general/file_layer.h"
#include "general/file_system_helpers.h"
#include "general/folders_volumes.h"
#include "general/quartz_pictures.h"
#include "general/unicode_strings.h"
#include "methods/logo_mask.h"
#include "platform/core/cf_string.h"
#include "platform/core/controls.h"
#include "platform/core/memory.h"
#include "platform/movie/components.h"
#include "platform/movie/movie_toolbox.h"
#include "toolkit/dialog_items.h"
#include "toolkit/navigation_dialogs.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr OSType kSignature = 'Orl1';
constexpr SInt32 kMargin = 20;  // frame pixels around a found mask's box in its picture

HIViewID Item(SInt32 number) { return HIViewID{kSignature, number}; }

BZ_RlDlgTaskData *LogoData() { return gBZ.dlgTaskData.rlDlgTaskData; }

// Width and height of the image well.
OSStatus WellSize(WindowRef window, SInt32 *width, SInt32 *height) {
  ControlRef well = nullptr;
  const HIViewID id = Item(kBZ_RlMaskWellItem);
  OSStatus err = GetControlByID(window, &id, &well);
  if (err != noErr) return err;
  Rect bounds{};
  GetControlBounds(well, &bounds);
  *width = bounds.right - bounds.left;
  *height = bounds.bottom - bounds.top;
  return noErr;
}

void Replace(PicHandle *slot, PicHandle picture) {
  if (*slot != nullptr && *slot != picture) KillPicture(*slot);
  *slot = picture;
}

// The side of the frame nearer the box, horizontally or vertically: the picture frame's extent.
void PictureSpan(SInt32 lo, SInt32 hi, SInt32 frame, SInt32 well, bool nearStart, SInt32 *from, SInt32 *to) {
  if (nearStart) {
    *from = 0;
    *to = std::max(hi + kMargin, well);
  } else {
    *to = frame;
    *from = std::min(lo - kMargin, frame - well);
  }
}

CFStringRef Quoted(CFStringRef text) {
  CFMutableStringRef quoted = CFStringCreateMutable(nullptr, 0);
  CFStringAppend(quoted, CFSTR("\""));
  CFStringAppend(quoted, text);
  CFStringAppend(quoted, CFSTR("\""));
  return quoted;
}

// The exporter's default extension without its trailing blanks.
std::string ExtensionOf(GraphicsExportComponent exporter) {
  OSType code = 0;
  if (GraphicsExportGetDefaultFileNameExtension(exporter, &code) != noErr) return "";
  std::string ext;
  for (int shift = 24; shift >= 0; shift -= 8) ext.push_back(char((code >> shift) & 0xFF));
  while (!ext.empty() && ext.back() == ' ') ext.pop_back();
  return ext;
}

}  // namespace

// ---- The clip ---------------------------------------------------------------------------------------------------

OSStatus BZ_RlGetClip(WindowRef window, Rect *clip, SInt32 logoPos) {
  if (clip == nullptr || logoPos < 0 || logoPos > 3) return paramErr;
  const BZ_RlDlgTaskData *data = LogoData();
  if (data == nullptr) return paramErr;
  if (gBZ.project == nullptr || gBZ.project->info.statMovInfo[0].cType == 0) logoPos = 0;
  SInt32 wellWidth = 0, wellHeight = 0;
  OSStatus err = WellSize(window, &wellWidth, &wellHeight);
  if (err != noErr) return err;
  const Rect &bounds = data->logoPicBounds, &logo = data->logoRectInPic;
  Rect c{0, 0, SInt16(std::min<SInt32>(bounds.bottom - bounds.top, wellHeight)),
         SInt16(std::min<SInt32>(bounds.right - bounds.left, wellWidth))};
  const SInt32 lw = logo.right - logo.left, lh = logo.bottom - logo.top;
  SInt32 dh, dv;
  if (c.right - c.left >= lw + 8)
    dh = logoPos <= 1 ? logo.right - c.right + 4 : logo.left - c.left - 4;
  else
    dh = (logo.left + logo.right) / 2 - c.right / 2;
  if (c.bottom - c.top >= lh + 8)
    dv = logoPos == 1 || logoPos == 2 ? logo.top - c.top - 4 : logo.bottom - c.bottom + 4;
  else
    dv = (logo.top + logo.bottom) / 2 - c.bottom / 2;
  OffsetRect(&c, SInt16(dh), SInt16(dv));
  // Back inside the picture.
  const SInt32 backV = c.top < 0 ? -c.top : c.bottom > bounds.bottom ? bounds.bottom - c.bottom : 0;
  const SInt32 backH = c.left < 0 ? -c.left : c.right > bounds.right ? bounds.right - c.right : 0;
  OffsetRect(&c, SInt16(backH), SInt16(backV));
  *clip = c;
  return noErr;
}

// ---- A found mask -----------------------------------------------------------------------------------------------

OSStatus BZ_RlSetMaskPicture(WindowRef window, BZ_RlParams *rlParams) {
  BZ_RlDlgTaskData *data = LogoData();
  if (rlParams == nullptr || rlParams->isMaskPixel == nullptr || data == nullptr) return paramErr;
  const Rect &r = rlParams->logoRect;
  const SInt32 logoWidth = BZ_RlLogoWidth(r), logoHeight = BZ_RlLogoHeight(r);
  SInt32 top = logoHeight, left = logoWidth, bottom = 0, right = 0;
  for (SInt32 row = 0; row < logoHeight; ++row)
    for (SInt32 col = 0; col < logoWidth; ++col)
      if (rlParams->isMaskPixel[row * logoWidth + col] != 0)
        top = std::min(top, row), left = std::min(left, col), bottom = std::max(bottom, row + 1),
        right = std::max(right, col + 1);
  if (bottom == 0) return kBZ_LogoEmptyErr;
  const Rect box{SInt16(r.top + top), SInt16(r.left + left), SInt16(r.top + bottom), SInt16(r.left + right)};
  data->logoRect = box;
  SInt32 wellWidth = 0, wellHeight = 0;
  OSStatus err = WellSize(window, &wellWidth, &wellHeight);
  if (err != noErr) return err;
  const bool onLeft = box.left < rlParams->inWidth - box.right, onTop = box.top < rlParams->inHeight - box.bottom;
  SInt32 picLeft, picRight, picTop, picBottom;
  PictureSpan(box.left, box.right, rlParams->inWidth, wellWidth, onLeft, &picLeft, &picRight);
  PictureSpan(box.top, box.bottom, rlParams->inHeight, wellHeight, onTop, &picTop, &picBottom);
  const SInt32 picWidth = picRight - picLeft, picHeight = picBottom - picTop;
  data->logoRectInPic = Rect{SInt16(box.top - picTop), SInt16(box.left - picLeft), SInt16(box.bottom - picTop),
                             SInt16(box.right - picLeft)};
  data->logoPicBounds = Rect{0, 0, SInt16(picHeight), SInt16(picWidth)};
  // White, each mask pixel inside the box black.
  std::vector<UInt8> argb(size_t(picWidth) * size_t(picHeight) * 4, 0xFF);
  for (SInt32 row = box.top; row < box.bottom; ++row)
    for (SInt32 col = box.left; col < box.right; ++col) {
      if (rlParams->isMaskPixel[(row - r.top) * logoWidth + (col - r.left)] == 0) continue;
      UInt8 *p = argb.data() + (size_t(row - picTop) * size_t(picWidth) + size_t(col - picLeft)) * 4;
      p[1] = p[2] = p[3] = 0;
    }
  PicHandle picture = nullptr;
  const Rect frame = data->logoPicBounds;
  if ((err = PL_NewARGBPicture(&frame, picWidth, picHeight, argb.data(), picWidth * 4, &picture)) != noErr) return err;
  Replace(&data->logoMaskPic, picture);
  const SInt32 logoPos = onTop ? (onLeft ? 0 : 3) : (onLeft ? 1 : 2);
  Rect clip{};
  PicHandle shown = nullptr;
  if ((err = BZ_RlGetClip(window, &clip, logoPos)) != noErr) return err;
  if ((err = GL_ClipPicture(picture, &clip, &shown)) != noErr) return err;
  if ((err = GL_SetPictureInImageWell(window, Item(kBZ_RlMaskWellItem), shown)) != noErr) {
    KillPicture(shown);
    return err;
  }
  Replace(&data->wellPic, shown);
  GL_SetNeedsDisplayByID(window, Item(kBZ_RlMaskWellItem), true);
  if ((err = GL_SetDialogItemValueByID(window, Item(kBZ_RlLogoPositionItem), logoPos + 1)) != noErr) return err;
  if (rlParams->sett != nullptr && rlParams->sett->findMask)
    err = GL_ActivateDialogItemByID(window, Item(kBZ_RlExportMaskItem), true);
  return err;
}

// ---- Import -----------------------------------------------------------------------------------------------------

OSStatus BZ_GetMaskPicFromFile(WindowRef window, const FSRef *maskFile, SInt32 logoPos) {
  BZ_RlDlgTaskData *data = LogoData();
  if (data == nullptr || maskFile == nullptr) return paramErr;
  GraphicsImportComponent gi = nullptr;
  OSStatus err = QT_GetGraphicsImporterForFile(maskFile, &gi);
  if (err != noErr) return err;
  Rect clip{};
  PicHandle picture = nullptr;
  err = BZ_RlGetClip(window, &clip, logoPos);
  if (err == noErr) err = GraphicsImportSetSourceRect(gi, &clip);
  if (err == noErr) err = GraphicsImportGetAsPicture(gi, &picture);
  CloseComponent(gi);
  if (err != noErr) return err;
  Replace(&data->wellPic, nullptr);
  Replace(&data->logoMaskPic, picture);
  return noErr;
}

OSStatus BZ_ImportMask(WindowRef window) {
  BZ_RlDlgTaskData *data = LogoData();
  if (data == nullptr || gBZ.project == nullptr) return paramErr;
  FSRef chosen{};
  gBZ.navDialogOpen = true;
  OSStatus err = NS_GetSingleFileFromUser(NS_DummyEventHandler, QT_PictureFilter, nullptr, CFSTR("kBZ_AppName"),
                                          CFSTR("Please select logo mask file"), &chosen);
  gBZ.navDialogOpen = false;
  if (err != noErr && err != userCanceledErr) return err;
  if (err == userCanceledErr) {
    // Nothing chosen: no mask file and no picture.
    data->maskFile = FSRef{};
    GL_SetPictureInImageWell(window, Item(kBZ_RlMaskWellItem), nullptr);
    Replace(&data->wellPic, nullptr);
    Replace(&data->logoMaskPic, nullptr);
    BZ_RlSetMaskFileLocation(window, &data->maskFile);
    return noErr;
  }
  if ((err = BZ_RlCheckMask(data, &chosen)) != noErr) return err;
  data->maskFile = chosen;
  BZ_RlSett &sett = gBZ.project->info.settings.cleaning.removeLogo;
  const BZ_StatMovInfo &movie = gBZ.project->info.statMovInfo[0];
  if (movie.cType != 0)
    BZ_RlMaskRectAtAnchor(data, sett.maskAnchor, movie.height, movie.width, &data->maskRect);
  data->logoRect = data->maskRect;
  sett.logoRect = data->maskRect;
  if ((err = BZ_GetMaskPicFromFile(window, &chosen, sett.maskAnchor)) != noErr) return err;
  if ((err = GL_SetPictureInImageWell(window, Item(kBZ_RlMaskWellItem), data->logoMaskPic)) != noErr) return err;
  GL_SetNeedsDisplayByID(window, Item(kBZ_RlMaskWellItem), true);
  return BZ_RlSetMaskFileLocation(window, &data->maskFile);
}

OSStatus BZ_RlSetMaskFileLocation(WindowRef window, const FSRef *maskFile) {
  if (maskFile == nullptr || !GL_FSRefValid(maskFile))
    return GL_SetDialogItemTextByID(window, Item(kBZ_RlMaskFileTextItem), CFSTR("Mask name & location"));
  HFSUniStr255 name{}, folderName{}, volumeName{};
  FSRef parent{};
  OSStatus err = FSGetCatalogInfo(maskFile, kFSCatInfoNone, nullptr, &name, nullptr, &parent);
  if (err == noErr) err = FSGetCatalogInfo(&parent, kFSCatInfoNone, nullptr, &folderName, nullptr, nullptr);
  if (err == noErr) err = GL_GetVolumeNameFromFSRef(maskFile, &volumeName);
  if (err != noErr) return err;
  CFMutableStringRef text = CFStringCreateMutable(nullptr, 0);
  for (const HFSUniStr255 *part : {&name, &folderName, &volumeName}) {
    CFStringRef plain = CFStringCreateWithCharacters(nullptr, part->unicode, part->length);
    CFStringRef quoted = Quoted(plain);
    CFStringAppend(text, quoted);
    CFRelease(quoted);
    CFRelease(plain);
    if (part == &name) CFStringAppend(text, CFSTR(" in folder "));
    if (part == &folderName) CFStringAppend(text, CFSTR(" on volume "));
  }
  err = GL_SetDialogItemTextByID(window, Item(kBZ_RlMaskFileTextItem), text);
  CFRelease(text);
  return err;
}

// ---- Export -----------------------------------------------------------------------------------------------------

OSStatus BZ_RlSuggestMaskName(GraphicsExportComponent exporter, CFStringRef *maskName) {
  if (maskName == nullptr) return paramErr;
  const std::string name = "Logo mask." + ExtensionOf(exporter);
  *maskName = CFStringCreateWithCString(nullptr, name.c_str(), kCFStringEncodingUTF8);
  return *maskName != nullptr ? noErr : memFullErr;
}

OSStatus BZ_RlAddFileNameExtension(GraphicsExportComponent exporter, FSRef *logoFile) {
  if (logoFile == nullptr) return paramErr;
  HFSUniStr255 name{};
  OSStatus err = FSGetCatalogInfo(logoFile, kFSCatInfoNone, nullptr, &name, nullptr, nullptr);
  if (err != noErr) return err;
  CFStringRef extension = nullptr;
  if ((err = GL_GetExtensionFromFileName(&name, &extension)) != noErr) return err;
  const bool hasOne = CFStringGetLength(extension) > 0;
  CFRelease(extension);
  const std::string ext = ExtensionOf(exporter);
  if (hasOne || ext.empty()) return noErr;
  char utf8[1024];
  if (!GL_HFSUniStr255ToCStr(&name, utf8, sizeof utf8)) return paramErr;
  HFSUniStr255 newName{};
  if ((err = GL_CStrToHFSUniStr255((std::string(utf8) + "." + ext).c_str(), &newName)) != noErr) return err;
  FSRef renamed{};
  if ((err = FSRenameUnicode(logoFile, newName.length, newName.unicode, kTextEncodingUnknown, &renamed)) != noErr)
    return err;
  *logoFile = renamed;
  return noErr;
}

OSStatus BZ_ExportMask(WindowRef window) {
  BZ_RlDlgTaskData *data = LogoData();
  if (data == nullptr || data->logoMaskPic == nullptr) return paramErr;
  GraphicsExportComponent ge = nullptr;
  OSStatus err = OpenADefaultComponent('grex', 'qtif', &ge);
  if (err != noErr) return err;
  CFStringRef suggested = nullptr;
  FSRef parent{}, file{};
  HFSUniStr255 name{};
  Boolean mayDelete = false, hidden = false;
  Handle alias = nullptr;
  OSType aliasType = 0;
  err = GraphicsExportSetInputPicture(ge, data->logoMaskPic);
  if (err == noErr) err = BZ_RlSuggestMaskName(ge, &suggested);
  if (err == noErr)
    err = NS_PutFile(nullptr, suggested, NS_DummyEventHandler, CFSTR("Set name and location of found logo mask"),
                     CFSTR("Orl Brizel"), true, &mayDelete, &parent, &name, &file, &hidden);
  if (suggested != nullptr) CFRelease(suggested);
  if (err == noErr) err = BZ_RlAddFileNameExtension(ge, &file);
  OSType fileType = 0, creator = 0;
  if (err == noErr) err = GraphicsExportGetDefaultFileTypeAndCreator(ge, &fileType, &creator);
  if (err == noErr) err = MF_FSChangeCreatorType(&file, creator, fileType);
  if (err == noErr) err = QTNewDataReferenceFromFSRef(&file, 0, &alias, &aliasType);
  if (err == noErr) err = GraphicsExportSetOutputDataReference(ge, alias, aliasType);
  if (err == noErr) err = GraphicsExportDoExport(ge, nullptr);
  CloseComponent(ge);
  if (alias != nullptr) DisposeHandle(alias);
  // Extensions are never hidden here (the file layer keeps no such flag), so `hidden` asks for nothing.
  if (err != noErr) return err;
  GL_ActivateDialogItemByID(window, Item(kBZ_RlExportMaskItem), false);
  return BZ_RlSetMaskFileLocation(window, &file);
}
