// The video export menu.
#include "movie/export_components_ui.h"

#include "general/memory_lists.h"
#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "toolkit/dialog_items.h"
#include "toolkit/menus.h"

#include <cstring>
#include <string>

namespace {

constexpr UInt32 kExportFlags = canMovieExportFiles | canMovieExportFromProcedures;

// Reads the exporter's name, checks what it implements and its extension, and offers it.
OSStatus OfferExporter(Component c, Boolean restricting, MenuRef menu, SInt32 *numItems, QT_CompInfoLE **list) {
  Handle nameHandle = NewHandle(0);
  if (nameHandle == nullptr) return memFullErr;
  ComponentDescription cd;
  OSStatus err = GetComponentInfo(c, &cd, nameHandle, nullptr, nullptr);
  std::string name;
  if (err == noErr && GetHandleSize(nameHandle) > 0)
    name.assign(*nameHandle + 1, std::min<size_t>(UInt8((*nameHandle)[0]), size_t(GetHandleSize(nameHandle) - 1)));
  DisposeHandle(nameHandle);
  if (err != noErr) return err;
  ComponentInstance ci = nullptr;
  err = OpenAComponent(c, &ci);
  if (err != noErr) return err;
  bool offered = ComponentFunctionImplemented(ci, kMovieExportSetSettingsFromAtomContainerSelect) &&
                 ComponentFunctionImplemented(ci, kMovieExportGetFileNameExtensionSelect);
  if (restricting && (cd.componentManufacturer == 'TELE' || cd.componentManufacturer == 'DARC')) offered = false;
  char extension[16];
  // An exporter that cannot tell its extension is still offered, without a list element.
  QT_GetExportFileNameExtension(ci, extension);
  CloseComponent(ci);
  if (!offered) return noErr;
  return QT_AddVideoExportCompToList(menu, name.c_str(), extension, cd.componentSubType, numItems, list);
}

}  // namespace

OSStatus QT_AddVideoExportCompToList(MenuRef videoExportMenu, const char *itemString, const char *typeString,
                                     OSType subType, SInt32 *numVideoItems, QT_CompInfoLE **expCompInfoList) {
  if (itemString == nullptr || typeString == nullptr || numVideoItems == nullptr) return paramErr;
  std::string text = itemString;
  if (!QT_Is_iDeviceSubType(subType)) text += "\xE2\x80\xA6";  // ellipsis
  CFStringRef item = CFStringCreateWithCString(nullptr, text.c_str(), kCFStringEncodingUTF8);
  if (item == nullptr) return paramErr;
  Boolean present = false;
  OSStatus err = GL_IsNameInMenuList(videoExportMenu, item, nullptr, &present);
  if (err == noErr && !present) {
    err = InsertMenuItemTextWithCFString(videoExportMenu, item, MenuItemIndex(*numVideoItems), 0, subType);
    if (err == noErr) ++*numVideoItems;
  }
  CFRelease(item);
  if (err != noErr || present || typeString[0] == 0 || expCompInfoList == nullptr) return err;
  QT_CompInfoLE *element = nullptr;
  err = LL_AddNewPtr(sizeof(QT_CompInfoLE), nullptr, expCompInfoList, &element);
  if (err != noErr) return err;
  std::strncpy(element->name, itemString, sizeof(element->name) - 1);
  std::strncpy(element->fileNameExt, typeString, sizeof(element->fileNameExt) - 1);
  element->type = MovieExportType;
  element->subType = subType;
  return noErr;
}

OSStatus QT_AddVideoExportCompsToMenu(SInt32 qtVersion, WindowRef window, HIViewID popupViewID, MenuRef menu,
                                      QT_CompInfoLE **compInfoList, Boolean restricting) {
  const bool fromDialogItem = menu == nullptr;
  OSStatus err = noErr;
  if (fromDialogItem) {
    err = GL_GetPopupMenuByID(window, popupViewID, &menu);
    if (err != noErr) return err;
    if (menu == nullptr) return paramErr;
  }
  err = GL_DeleteAllMenuItems(menu);
  if (err != noErr) return err;
  SInt32 numItems = 0;
  QTAtomContainer sources = nullptr;
  ComponentDescription cd{MovieExportType, 0, 0, kExportFlags, kExportFlags};
  err = GetComponentPublicResourceList('src#', 1, 0, &cd, nullptr, nullptr, &sources);
  if (err != noErr) return err;
  SInt16 count = QTCountChildrenOfType(sources, kParentAtomIsContainer, 'comp');
  for (SInt16 i = 1; i <= count && err == noErr; ++i) {
    QTAtom comp = QTFindChildByIndex(sources, kParentAtomIsContainer, 'comp', i, nullptr);
    QTAtom cmpd = QTFindChildByIndex(sources, comp, 'cmpd', 1, nullptr);
    QTAtom src = QTFindChildByIndex(sources, comp, 'src#', 1, nullptr);
    Ptr descPtr = nullptr, srcPtr = nullptr;
    SInt32 descSize = 0, srcSize = 0;
    if (cmpd == 0 || src == 0 || QTGetAtomDataPtr(sources, cmpd, &descSize, &descPtr) != noErr || descSize < 12 ||
        QTGetAtomDataPtr(sources, src, &srcSize, &srcPtr) != noErr)
      continue;
    if (!QT_SourceListHas(reinterpret_cast<const UInt8 *>(srcPtr), size_t(srcSize), VideoMediaType,
                          kQT_SourceIsRequired))
      continue;
    const UInt8 *d = reinterpret_cast<const UInt8 *>(descPtr);
    ComponentDescription looking{PL_GetBE32(d), PL_GetBE32(d + 4), PL_GetBE32(d + 8), 0, cmpIsMissing};
    Component c = FindNextComponent(nullptr, &looking);
    if (c != nullptr) err = OfferExporter(c, restricting, menu, &numItems, compInfoList);
  }
  QTDisposeAtomContainer(sources);
  if (err != noErr) return err;
  if ((qtVersion & 0xFFFF) == 0x715) {
    Component c = QT_GetComponentOfType(MovieExportType, 'M4VH', kAppleManufacturer);
    if (c != nullptr) {
      char name[256];
      err = QT_GetComponentName(MovieExportType, 'M4VH', kAppleManufacturer, name);
      ComponentInstance ci = nullptr;
      if (err == noErr) err = OpenAComponent(c, &ci);
      char extension[16] = "";
      if (err == noErr) {
        QT_GetExportFileNameExtension(ci, extension);
        CloseComponent(ci);
        err = QT_AddVideoExportCompToList(menu, name, extension, 'M4VH', &numItems, compInfoList);
      }
      if (err != noErr) return err;
    }
  }
  if (fromDialogItem) err = GL_SetDialogItemMaxByID(window, popupViewID, numItems);
  return err;
}
