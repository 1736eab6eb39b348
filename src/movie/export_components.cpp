// Components and movie exporters.
#include "movie/export_components.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atom_container.h"
#include "platform/movie/atoms.h"

#include <cstring>
#include <string>

namespace {

constexpr UInt32 kMissingMask = cmpIsMissing;

// The component's name as text; empty when it has none.
OSStatus ComponentName(Component c, ComponentDescription *cd, std::string *name) {
  Handle h = NewHandle(0);
  if (h == nullptr) return memFullErr;
  OSStatus err = GetComponentInfo(c, cd, h, nullptr, nullptr);
  name->clear();
  if (err == noErr && GetHandleSize(h) > 0) {
    size_t n = std::min<size_t>(UInt8((*h)[0]), size_t(GetHandleSize(h) - 1));
    name->assign(*h + 1, n);
  }
  DisposeHandle(h);
  return err;
}

OSStatus ExporterHasFlag(OSType subType, OSType manufacturer, UInt32 flag, Boolean *answer) {
  if (answer == nullptr) return paramErr;
  ComponentDescription cd{MovieExportType, subType, manufacturer, flag, flag | kMissingMask};
  *answer = FindNextComponent(nullptr, &cd) != nullptr;
  return noErr;
}

// The 'src#' resource of the first 'comp' child of a resource list; false when there is none.
bool FirstSourceList(QTAtomContainer list, const UInt8 **data, SInt32 *size) {
  QTAtom comp = QTFindChildByIndex(list, kParentAtomIsContainer, 'comp', 1, nullptr);
  if (comp == 0) return false;
  QTAtom src = QTFindChildByIndex(list, comp, 'src#', 1, nullptr);
  Ptr p = nullptr;
  if (src == 0 || QTGetAtomDataPtr(list, src, size, &p) != noErr) return false;
  *data = reinterpret_cast<const UInt8 *>(p);
  return true;
}

OSStatus SourceListOf(OSType subType, OSType manufacturer, QTAtomContainer *list) {
  ComponentDescription cd{MovieExportType, subType, manufacturer, 0, kMissingMask};
  return GetComponentPublicResourceList('src#', 1, 0, &cd, nullptr, nullptr, list);
}

}  // namespace

Boolean QT_SourceListHas(const UInt8 *data, size_t size, OSType mediaType, UInt32 flag) {
  if (data == nullptr || size < 8) return false;
  // The count comes from the resource: only entries that lie inside it are read.
  UInt64 count = PL_GetBE32(data);
  UInt64 fit = (size - 8) / 12;
  for (UInt64 i = 0; i < std::min(count, fit); ++i) {
    const UInt8 *entry = data + 8 + 12 * i;
    if (PL_GetBE32(entry) == mediaType && (PL_GetBE32(entry + 8) & flag) != 0) return true;
  }
  return false;
}

OSStatus QT_WalkComponentList(OSType type, OSType subType, OSType manufacturer, UInt32 flags) {
  ComponentDescription looking{type, subType, manufacturer, flags, flags};
  Component c = nullptr;
  while ((c = FindNextComponent(c, &looking)) != nullptr) {
    std::string name;
    ComponentDescription cd;
    OSStatus err = ComponentName(c, &cd, &name);
    if (err != noErr) return err;
  }
  return noErr;
}

OSStatus QT_GetComponentName(OSType type, OSType subType, OSType manufacturer, char *compName) {
  if (compName == nullptr) return paramErr;
  compName[0] = 0;
  ComponentDescription looking{type, subType, manufacturer, 0, 0};
  Component c = FindNextComponent(nullptr, &looking);
  if (c == nullptr) return noErr;
  std::string name;
  OSStatus err = ComponentName(c, nullptr, &name);
  if (err != noErr) return err;
  size_t n = std::min<size_t>(name.size(), 255);
  std::memcpy(compName, name.data(), n);
  compName[n] = 0;
  return noErr;
}

OSStatus QT_GetComponentByNameAndType(const char *compName, OSType type, Component *c, ComponentDescription *cd) {
  if (compName == nullptr || c == nullptr || cd == nullptr) return paramErr;
  *c = nullptr;
  ComponentDescription looking{type, 0, 0, 0, kMissingMask};
  *cd = looking;
  const bool aiff = std::strcmp(compName, "AIFF") == 0;
  Component each = nullptr;
  while ((each = FindNextComponent(each, &looking)) != nullptr) {
    ComponentDescription found;
    std::string name;
    OSStatus err = ComponentName(each, &found, &name);
    if (err != noErr) return err;
    if (name != compName) continue;
    if (aiff && found.componentManufacturer != 'soun') continue;
    *c = each;
    *cd = found;
    return noErr;
  }
  return noErr;
}

Component QT_GetComponentOfType(OSType type, OSType subType, OSType manufacturer) {
  ComponentDescription looking{type, subType, manufacturer, 0, kMissingMask};
  return FindNextComponent(nullptr, &looking);
}

OSStatus QT_EncoderCanExportFiles(OSType subType, OSType manufacturer, Boolean *canExportFiles) {
  return ExporterHasFlag(subType, manufacturer, canMovieExportFiles, canExportFiles);
}

OSStatus QT_EncoderCanExportFromProcedures(OSType subType, OSType manufacturer, Boolean *canExportFromProcedures) {
  return ExporterHasFlag(subType, manufacturer, canMovieExportFromProcedures, canExportFromProcedures);
}

OSStatus QT_ExportCompWantsSound(OSType subType, OSType manufacturer, Boolean *wantsVideo, Boolean *wantsSound,
                                 Boolean *wantsText, Boolean *wantsMIDI) {
  Boolean video = false, sound = false, text = false, midi = false;
  OSStatus err = noErr;
  if (subType == 'M4VH' && manufacturer == kAppleManufacturer) {
    video = sound = true;
  } else {
    QTAtomContainer list = nullptr;
    err = SourceListOf(subType, manufacturer, &list);
    const UInt8 *data = nullptr;
    SInt32 size = 0;
    if (err == noErr && FirstSourceList(list, &data, &size)) {
      sound = QT_SourceListHas(data, size_t(size), SoundMediaType, kQT_SourceIsRequired);
      video = QT_SourceListHas(data, size_t(size), VideoMediaType, kQT_SourceIsRequired) ||
              QT_SourceListHas(data, size_t(size), 'eyes', kQT_SourceCanExport);
      text = QT_SourceListHas(data, size_t(size), 'text', kQT_SourceIsRequired);
      midi = QT_SourceListHas(data, size_t(size), 'musi', kQT_SourceIsRequired);
    }
    QTDisposeAtomContainer(list);
  }
  if (wantsVideo != nullptr) *wantsVideo = video;
  if (wantsSound != nullptr) *wantsSound = sound;
  if (wantsText != nullptr) *wantsText = text;
  if (wantsMIDI != nullptr) *wantsMIDI = midi;
  return err;
}

OSStatus QT_ComponentExportsSoundFromProcedures(const char *compName, Boolean *canExportSound) {
  if (compName == nullptr || canExportSound == nullptr) return paramErr;
  *canExportSound = false;
  QTAtomContainer list = nullptr;
  ComponentDescription cd{MovieExportType, 0, 0, 0, kMissingMask};
  OSStatus err = GetComponentPublicResourceList('src#', 1, 0, &cd, nullptr, nullptr, &list);
  if (err != noErr) return err;
  SInt16 count = QTCountChildrenOfType(list, kParentAtomIsContainer, 'comp');
  for (SInt16 i = 1; i <= count && err == noErr; ++i) {
    QTAtom comp = QTFindChildByIndex(list, kParentAtomIsContainer, 'comp', i, nullptr);
    QTAtom cmpd = QTFindChildByIndex(list, comp, 'cmpd', 1, nullptr);
    QTAtom src = QTFindChildByIndex(list, comp, 'src#', 1, nullptr);
    Ptr descPtr = nullptr, srcPtr = nullptr;
    SInt32 descSize = 0, srcSize = 0;
    if (cmpd == 0 || src == 0 || QTGetAtomDataPtr(list, cmpd, &descSize, &descPtr) != noErr || descSize < 12 ||
        QTGetAtomDataPtr(list, src, &srcSize, &srcPtr) != noErr)
      continue;
    const UInt8 *d = reinterpret_cast<const UInt8 *>(descPtr);
    ComponentDescription looking{PL_GetBE32(d), PL_GetBE32(d + 4), PL_GetBE32(d + 8), 0, kMissingMask};
    Component c = FindNextComponent(nullptr, &looking);
    std::string name;
    if (c == nullptr) continue;
    err = ComponentName(c, nullptr, &name);
    if (err == noErr && name == compName) {
      *canExportSound =
          QT_SourceListHas(reinterpret_cast<const UInt8 *>(srcPtr), size_t(srcSize), SoundMediaType, kQT_SourceIsRequired);
      break;
    }
  }
  QTDisposeAtomContainer(list);
  return err;
}

OSStatus QT_GetMovieExportCompInputTrackTypes() {
  ComponentDescription looking{MovieExportType, 0, 0, 0, kMissingMask};
  Component c = nullptr;
  while ((c = FindNextComponent(c, &looking)) != nullptr) {
    ComponentDescription cd;
    std::string name;
    OSStatus err = ComponentName(c, &cd, &name);
    Boolean video, sound, text, midi;
    if (err == noErr)
      err = QT_ExportCompWantsSound(cd.componentSubType, cd.componentManufacturer, &video, &sound, &text, &midi);
    if (err != noErr) return err;
  }
  return noErr;
}

OSStatus QT_GetExportFileNameExtension(ComponentInstance ci, char *typeString) {
  if (typeString == nullptr) return paramErr;
  typeString[0] = 0;
  OSType extension = 0;
  OSStatus err = MovieExportGetFileNameExtension(ci, &extension);
  if (err != noErr) return err;
  char text[4] = {char(extension >> 24), char(extension >> 16), char(extension >> 8), char(extension)};
  size_t n = 4;
  while (n > 0 && text[n - 1] == ' ') --n;
  typeString[0] = '.';
  std::memcpy(typeString + 1, text, n);
  typeString[n + 1] = 0;
  return noErr;
}
