// Folder search, volumes, aliases, the classic preferences file and resource maps.
#include "general/folders_volumes.h"

#include "general/error_keys.h"
#include "general/file_system_helpers.h"
#include "general/memory_lists.h"
#include "general/processor_info.h"
#include "general/strings_text.h"
#include "general/unicode_strings.h"
#include "platform/core/cf_array.h"
#include "platform/core/cf_string.h"
#include "platform/core/clock.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"

#include <cstring>
#include <vector>

namespace {

constexpr ItemCount kBulkCount = 10;  // objects per catalog request
constexpr UInt32 kTicksPerSecond = 60;
constexpr OSType kPrefsCreator = 0x203F3F20;  // ' ?? '
constexpr OSType kPrefsFileType = 'pref';

// Calls visit(ref, name, info) for every object of the folder, 10 per bulk request, until it returns true.
// The end of the folder is not an error; the iterator's close result is returned after a match or the end.
template <class Visit>
OSStatus ScanFolder(const FSRef *folder, FSCatalogInfoBitmap which, Visit visit) {
  FSIterator iterator = nullptr;
  OSStatus err = FSOpenIterator(folder, kFSIterateFlat, &iterator);
  if (err != noErr) return err;
  FSRef refs[kBulkCount];
  HFSUniStr255 names[kBulkCount];
  FSCatalogInfo infos[kBulkCount];
  bool stop = false;
  while (!stop && err == noErr) {
    ItemCount n = 0;
    err = FSGetCatalogInfoBulk(iterator, kBulkCount, &n, nullptr, which, which != kFSCatInfoNone ? infos : nullptr,
                               refs, nullptr, names);
    for (ItemCount i = 0; i < n && !stop; ++i) stop = visit(refs[i], names[i], infos[i]);
  }
  if (err == errFSNoMoreItems) err = noErr;
  const OSStatus closeErr = FSCloseIterator(iterator);
  return err != noErr ? err : closeErr;
}

CFStringRef NameString(const HFSUniStr255 &name) {
  return CFStringCreateWithCharacters(nullptr, name.unicode, name.length);
}

bool NameHasSuffix(const HFSUniStr255 &name, CFStringRef extension) {
  PL_CFScoped<CFStringRef> s(NameString(name));
  return s.get() != nullptr && CFStringHasSuffix(s, extension);
}

OSStatus NameFromCFString(CFStringRef str, HFSUniStr255 *name) {
  if (str == nullptr || CFStringGetLength(str) > 255) return str == nullptr ? paramErr : errFSNameTooLong;
  name->length = 0;
  return GL_AppendCFStrToHFSUniStr255(name, str);
}

OSStatus VolumeOf(const FSRef *object, FSVolumeRefNum *volume) {
  FSCatalogInfo info;
  OSStatus err = FSGetCatalogInfo(object, kFSCatInfoVolume, &info, nullptr, nullptr, nullptr);
  if (err == noErr) *volume = info.volume;
  return err;
}

// Walks the volume depth first (a folder's own objects before its subfolders), staying on the volume, until
// match(info, name) or the time limit; fnfErr when nothing matched.
template <class Match>
OSStatus SearchVolume(FSVolumeRefNum volume, FSCatalogInfoBitmap which, FSRef *ref, Match match) {
  if (ref == nullptr) return paramErr;
  std::memset(ref, 0, sizeof *ref);
  FSRef root;
  OSStatus err = FSGetVolumeInfo(volume, 0, nullptr, kFSVolInfoNone, nullptr, nullptr, &root);
  if (err != noErr) return err;
  const UInt32 start = TickCount();
  const UInt32 limit = kGL_CatalogSearchMilliseconds * kTicksPerSecond / 1000;
  std::vector<FSRef> folders{root};
  bool found = false;
  while (!folders.empty() && !found && TickCount() - start <= limit) {
    const FSRef folder = folders.back();
    folders.pop_back();
    std::vector<FSRef> subfolders;
    // A folder that cannot be read is passed over, as a catalog search would.
    ScanFolder(&folder, which | kFSCatInfoNodeFlags | kFSCatInfoVolume,
               [&](const FSRef &r, const HFSUniStr255 &name, const FSCatalogInfo &info) {
                 if (match(info, name)) {
                   *ref = r;
                   found = true;
                   return true;
                 }
                 if ((info.nodeFlags & kFSNodeIsDirectoryMask) != 0 && info.volume == volume) subfolders.push_back(r);
                 return TickCount() - start > limit;
               });
    // Pushed in reverse so that the first subfolder is searched first.
    folders.insert(folders.end(), subfolders.rbegin(), subfolders.rend());
  }
  return found ? noErr : fnfErr;
}

// Runs body with resFile current (0: the current one stays) and restores the previous current file.
template <class Body>
OSStatus WithResFile(ResFileRefNum resFile, Body body) {
  const ResFileRefNum saved = CurResFile();
  if (resFile != 0) {
    UseResFile(resFile);
    if (ResError() != noErr) return ResError();
  }
  const OSStatus err = body();
  UseResFile(saved);
  return err;
}

// Opens the file's map when resFile is 0, runs body on it and closes what it opened.
template <class Body>
OSStatus WithOpenedMap(ResFileRefNum resFile, const FSRef *file, SInt8 permission, Body body) {
  ResFileRefNum used = resFile;
  if (resFile == 0) {
    const ResFileRefNum saved = CurResFile();
    used = FSOpenResFile(file, permission);
    const OSStatus err = ResError();
    if (used == -1 || err != noErr) {
      UseResFile(saved);
      return err != noErr ? err : OSStatus(resFNotFound);
    }
    UseResFile(saved);
  }
  OSStatus err = body(used);
  if (resFile == 0) CloseResFile(used);
  return err;
}

OSStatus ReadVersion(Handle h, UInt32 *version, SInt16 *regionCode, Str255 shortVersion, Str255 longVersion) {
  const Size size = GetHandleSize(h);
  const UInt8 *p = reinterpret_cast<const UInt8 *>(*h);
  // Number (4 bytes), region (2), then two length-prefixed texts: every length is checked against the block.
  if (size < 8) return resNotFound;
  const size_t shortLen = p[6];
  if (size_t(size) < 7 + shortLen + 1) return resNotFound;
  const size_t longLen = p[7 + shortLen];
  if (size_t(size) < 8 + shortLen + longLen) return resNotFound;
  if (version != nullptr) *version = (UInt32(p[0]) << 24) | (UInt32(p[1]) << 16) | (UInt32(p[2]) << 8) | p[3];
  if (regionCode != nullptr) *regionCode = SInt16((UInt16(p[4]) << 8) | p[5]);
  if (shortVersion != nullptr) std::memcpy(shortVersion, p + 6, shortLen + 1);
  if (longVersion != nullptr) std::memcpy(longVersion, p + 7 + shortLen, longLen + 1);
  return noErr;
}

}  // namespace

// ---- Searching folders and volumes ----------------------------------------------------------------------------

OSStatus GL_IsFileInFolder(const FSRef *folder, const HFSUniStr255 *name, FSRef *file, Boolean *found) {
  if (found == nullptr || name == nullptr) return paramErr;
  *found = false;
  Boolean match = false;
  OSStatus err = ScanFolder(folder, kFSCatInfoNone, [&](const FSRef &r, const HFSUniStr255 &n, const FSCatalogInfo &) {
    if (!GL_EqualHFSUniStr255(&n, name)) return false;
    match = true;
    if (file != nullptr) *file = r;
    return true;
  });
  *found = err == noErr && match;
  return err;
}

Boolean GL_IsFileNameInFolder(const FSRef *folder, const HFSUniStr255 *name) {
  if (name == nullptr) return false;
  FSRef ref;
  return FSMakeFSRefUnicode(folder, name->length, name->unicode, kTextEncodingUnknown, &ref) == noErr;
}

OSStatus GL_CountFilesWithExtension(const FSRef *folder, CFStringRef extension, UInt32 *count) {
  if (count == nullptr || extension == nullptr) return paramErr;
  *count = 0;
  UInt32 n = 0;
  OSStatus err = ScanFolder(folder, kFSCatInfoNone, [&](const FSRef &, const HFSUniStr255 &name, const FSCatalogInfo &) {
    if (NameHasSuffix(name, extension)) ++n;
    return false;
  });
  if (err == noErr) *count = n;
  return err;
}

OSStatus GL_ListFilesWithExtension(const FSRef *folder, CFStringRef extension, FSRef *files, UInt32 capacity,
                                   UInt32 *count) {
  if (count == nullptr || extension == nullptr || (files == nullptr && capacity > 0)) return paramErr;
  *count = 0;
  if (capacity == 0) return noErr;
  // The folder may have gained objects since they were counted: the array's capacity is the limit.
  return ScanFolder(folder, kFSCatInfoNone, [&](const FSRef &r, const HFSUniStr255 &name, const FSCatalogInfo &) {
    if (NameHasSuffix(name, extension)) files[(*count)++] = r;
    return *count >= capacity;
  });
}

OSStatus GL_MakeFolderFileList(const FSRef *folder, GL_FSRefLE **list) {
  if (list == nullptr) return paramErr;
  OSStatus addErr = noErr;
  GL_FSRefLE *last = static_cast<GL_FSRefLE *>(LL_GetLastPtr(*list));
  OSStatus err = ScanFolder(folder, kFSCatInfoNone, [&](const FSRef &r, const HFSUniStr255 &, const FSCatalogInfo &) {
    GL_FSRefLE *element = nullptr;
    addErr = LL_AddNewPtr(sizeof(GL_FSRefLE), last, list, &element);
    if (addErr != noErr) return true;
    element->fileRef = r;
    last = element;
    return false;
  });
  return addErr != noErr ? addErr : err;
}

OSStatus GL_FindFilesWithSameNameInSameFolder(const FSRef *file, FSRef *files, UInt32 maximum, UInt32 *count) {
  if (count == nullptr || (files == nullptr && maximum > 0)) return paramErr;
  *count = 0;
  HFSUniStr255 name;
  FSRef parent;
  OSStatus err = FSGetCatalogInfo(file, kFSCatInfoNone, nullptr, &name, nullptr, &parent);
  if (err != noErr) return err;
  // An extension is the last "." and at most 8 characters behind it.
  constexpr CFIndex kMaxExtension = 9;
  PL_CFScoped<CFMutableStringRef> base(GL_HFSUniStr255ToCFMutStr(&name));
  if (base.get() == nullptr) return memFullErr;
  GL_RemoveCFEndString(base, kMaxExtension, kGL_NameEndAtPeriod);
  if (maximum == 0) return noErr;
  return ScanFolder(&parent, kFSCatInfoNone, [&](const FSRef &r, const HFSUniStr255 &n, const FSCatalogInfo &) {
    if (FSCompareFSRefs(&r, file) == noErr) return false;
    PL_CFScoped<CFMutableStringRef> other(GL_HFSUniStr255ToCFMutStr(&n));
    if (other.get() == nullptr) return false;
    GL_RemoveCFEndString(other, kMaxExtension, kGL_NameEndAtPeriod);
    if (CFStringCompare(base, other, 0) == kCFCompareEqualTo) files[(*count)++] = r;
    return *count >= maximum;
  });
}

OSStatus GL_FindFolderInFolderUni(const FSRef *parent, const HFSUniStr255 *name, FSRef *folder, Boolean create) {
  if (name == nullptr || folder == nullptr) return paramErr;
  FSRef ref;
  OSStatus err = FSMakeFSRefUnicode(parent, name->length, name->unicode, kTextEncodingUnknown, &ref);
  if (err == noErr) {
    FSCatalogInfo info;
    err = FSGetCatalogInfo(&ref, kFSCatInfoNodeFlags, &info, nullptr, nullptr, nullptr);
    if (err != noErr) return err;
    if ((info.nodeFlags & kFSNodeIsDirectoryMask) == 0) return fnfErr;
    *folder = ref;
    return noErr;
  }
  if (err != fnfErr || !create) return err;
  err = FSCreateDirectoryUnicode(parent, name->length, name->unicode, kFSCatInfoNone, nullptr, &ref, nullptr, nullptr);
  if (err == noErr) *folder = ref;
  return err;
}

OSStatus GL_FindFolderInFolder(const FSRef *parent, CFStringRef name, FSRef *folder, Boolean create) {
  HFSUniStr255 uni;
  OSStatus err = NameFromCFString(name, &uni);
  return err != noErr ? err : GL_FindFolderInFolderUni(parent, &uni, folder, create);
}

OSStatus GL_FindObjectByName(FSVolumeRefNum volume, const HFSUniStr255 *name, FSRef *ref) {
  if (name == nullptr) return paramErr;
  return SearchVolume(volume, kFSCatInfoNone, ref, [&](const FSCatalogInfo &, const HFSUniStr255 &n) {
    return n.length == name->length && std::memcmp(n.unicode, name->unicode, n.length * sizeof(UniChar)) == 0;
  });
}

OSStatus GL_FindObjectByNodeID(FSVolumeRefNum volume, UInt32 nodeID, FSRef *ref) {
  return SearchVolume(volume, kFSCatInfoNodeID, ref,
                      [&](const FSCatalogInfo &info, const HFSUniStr255 &) { return info.nodeID == nodeID; });
}

OSStatus GL_FindFile(FSVolumeRefNum volume, const HFSUniStr255 *name, OSType creator, OSType fileType,
                     const UTCDateTime *createDate, const UTCDateTime *modDate, FSRef *ref) {
  if (name == nullptr) return paramErr;
  auto sameDate = [](const UTCDateTime &a, const UTCDateTime *b) {
    return b == nullptr || (a.highSeconds == b->highSeconds && a.lowSeconds == b->lowSeconds &&
                            a.fraction == b->fraction);
  };
  return SearchVolume(
      volume, kFSCatInfoFinderInfo | kFSCatInfoCreateDate | kFSCatInfoContentMod, ref,
      [&](const FSCatalogInfo &info, const HFSUniStr255 &n) {
        if ((info.nodeFlags & kFSNodeIsDirectoryMask) != 0) return false;
        if (n.length != name->length || std::memcmp(n.unicode, name->unicode, n.length * sizeof(UniChar)) != 0) {
          return false;
        }
        FileInfo finder;
        std::memcpy(&finder, info.finderInfo, sizeof finder);
        return (creator == 0 || finder.fileCreator == creator) && (fileType == 0 || finder.fileType == fileType) &&
               sameDate(info.createDate, createDate) && sameDate(info.contentModDate, modDate);
      });
}

// ---- Volumes ------------------------------------------------------------------------------------------------------

OSStatus GL_GetVolumeName(FSVolumeRefNum volume, HFSUniStr255 *name) {
  if (name == nullptr) return paramErr;
  return MF_FSGetVInfo(volume, name, nullptr, nullptr);
}

OSStatus GL_GetVolumeNameFromFSRef(const FSRef *object, HFSUniStr255 *name) {
  FSVolumeRefNum volume = 0;
  OSStatus err = VolumeOf(object, &volume);
  return err != noErr ? err : GL_GetVolumeName(volume, name);
}

OSStatus GL_GetVolumeNameFromFSRefAsCFStr(const FSRef *object, CFStringRef *name) {
  if (name == nullptr) return paramErr;
  HFSUniStr255 uni;
  OSStatus err = GL_GetVolumeNameFromFSRef(object, &uni);
  if (err != noErr) return err;
  *name = NameString(uni);
  return *name != nullptr ? noErr : memFullErr;
}

OSStatus GL_GetVolumeRef(FSVolumeRefNum volume, FSRef *root) {
  if (root == nullptr) return paramErr;
  return FSGetVolumeInfo(volume, 0, nullptr, kFSVolInfoNone, nullptr, nullptr, root);
}

OSStatus GL_CreateFileInRootDirOfVolume(FSVolumeRefNum volume, const HFSUniStr255 *name, FSRef *file) {
  if (name == nullptr) return paramErr;
  FSRef root;
  OSStatus err = GL_GetVolumeRef(volume, &root);
  if (err != noErr) return err;
  return FSCreateFileUnicode(&root, name->length, name->unicode, kFSCatInfoNone, nullptr, file, nullptr);
}

namespace {

// Visits the mounted volumes by index until visit returns true; the end of the list is not an error.
template <class Visit>
OSStatus WalkVolumes(FSVolumeInfoBitmap which, Visit visit) {
  for (ItemCount index = 1;; ++index) {
    FSVolumeRefNum volume = 0;
    FSVolumeInfo info;
    HFSUniStr255 name;
    OSStatus err = FSGetVolumeInfo(kFSInvalidVolumeRefNum, index, &volume, which, &info, &name, nullptr);
    if (err == nsvErr || err == errFSNoMoreItems) return noErr;
    if (err != noErr) return err;
    if (visit(volume, info, name)) return noErr;
  }
}

}  // namespace

OSStatus GL_GetVolumeByName(const HFSUniStr255 *name, FSVolumeRefNum *volume) {
  if (name == nullptr || volume == nullptr) return paramErr;
  *volume = 0;
  return WalkVolumes(kFSVolInfoNone, [&](FSVolumeRefNum v, const FSVolumeInfo &, const HFSUniStr255 &n) {
    if (!GL_EqualHFSUniStr255(&n, name)) return false;
    *volume = v;
    return true;
  });
}

OSStatus GL_GetVolumeByCreateDate(const UTCDateTime *createDate, FSVolumeRefNum *volume) {
  if (createDate == nullptr || volume == nullptr) return paramErr;
  *volume = 0;
  return WalkVolumes(kFSVolInfoCreateDate, [&](FSVolumeRefNum v, const FSVolumeInfo &info, const HFSUniStr255 &) {
    if (!GL_EqualUTCDateTime(&info.createDate, createDate)) return false;
    *volume = v;
    return true;
  });
}

OSStatus GL_GetStartupVolumeRefNum(FSVolumeRefNum *volume) {
  if (volume == nullptr) return paramErr;
  FSRef system;
  OSStatus err = FSFindFolder(kOnSystemDisk, kSystemFolderType, kDontCreateFolder, &system);
  return err != noErr ? err : VolumeOf(&system, volume);
}

OSStatus GL_GetStartupVolume(FSRef *root, HFSUniStr255 *name) {
  FSVolumeRefNum volume = 0;
  OSStatus err = GL_GetStartupVolumeRefNum(&volume);
  if (err != noErr) return err;
  return FSGetVolumeInfo(volume, 0, nullptr, kFSVolInfoNone, nullptr, name, root);
}

OSStatus GL_FlushVol(const FSRef *object) {
  FSVolumeRefNum volume = 0;
  OSStatus err = VolumeOf(object, &volume);
  return err != noErr ? err : FSFlushVolume(volume);
}

OSStatus GL_FileObjectsOnSameVolume(const FSRef *object1, const FSRef *object2, Boolean *sameVolume) {
  if (sameVolume == nullptr) return paramErr;
  FSVolumeRefNum v1 = 0, v2 = 0;
  OSStatus err = VolumeOf(object1, &v1);
  if (err == noErr) err = VolumeOf(object2, &v2);
  if (err == noErr) *sameVolume = v1 == v2;
  return err;
}

OSStatus GL_GetDriveNumber(FSVolumeRefNum volume, UInt16 *driveNumber) {
  if (driveNumber == nullptr) return paramErr;
  FSVolumeInfo info;
  OSStatus err = FSGetVolumeInfo(volume, 0, nullptr, kFSVolInfoDriveInfo, &info, nullptr, nullptr);
  if (err == noErr) *driveNumber = info.driveNumber;
  return err;
}

OSStatus GL_VolumeToBSDNodeName(FSVolumeRefNum volume, char name[256]) {
  if (name == nullptr) return paramErr;
  name[0] = 0;
  FSVolumeInfo info;
  OSStatus err = FSGetVolumeInfo(volume, 0, nullptr, kFSVolInfoFSInfo, &info, nullptr, nullptr);
  if (err != noErr) return err;
  GetVolParmsInfoBuffer parms{};
  UInt32 actual = 0;
  err = MF_FSGetVolParms(volume, sizeof parms, &parms, &actual);
  if (err != noErr) return err;
  if (parms.vMVersion < 4) return kGL_BadSystemErr;
  const char *device = static_cast<const char *>(parms.vMDeviceID);
  if (device == nullptr) return kGL_NoBSDNodeNameErr;
  for (size_t i = 0; i < 256; ++i) {
    name[i] = device[i];
    if (device[i] == 0) return noErr;
  }
  name[0] = 0;
  return kGL_NoBSDNodeNameErr;
}

OSStatus GL_GetDiskName(FSVolumeRefNum volume, char name[256]) { return GL_VolumeToBSDNodeName(volume, name); }

OSStatus GL_VolumesOnSameDisk(FSVolumeRefNum volume1, FSVolumeRefNum volume2, Boolean *sameDisk) {
  if (sameDisk == nullptr) return paramErr;
  char name1[256], name2[256];
  OSStatus err = GL_VolumeToBSDNodeName(volume1, name1);
  if (err == noErr) err = GL_VolumeToBSDNodeName(volume2, name2);
  if (err == noErr) *sameDisk = GL_EqualCStringMP(name1, name2, 255);
  return err;
}

OSStatus GL_GetDriveVolume(UInt16 driveNumber, FSVolumeRefNum *volume) {
  if (volume == nullptr) return paramErr;
  FSRef **roots = nullptr;
  ItemCount count = 0;
  OSStatus err = MF_FSGetMountedVolumes(&roots, &count);
  if (err != noErr) return err;
  err = nsvErr;
  for (ItemCount i = 0; i < count; ++i) {
    FSVolumeRefNum v = 0;
    if (VolumeOf(&(*roots)[i], &v) != noErr) continue;
    UInt16 drive = 0;
    if (GL_GetDriveNumber(v, &drive) == noErr && drive == driveNumber) {
      *volume = v;
      err = noErr;
      break;
    }
  }
  DisposeHandle(reinterpret_cast<Handle>(roots));
  return err;
}

OSStatus GL_XGetVInfoByName(const HFSUniStr255 *name, FSVolumeRefNum *volume, UInt64 *freeBytes, UInt64 *totalBytes) {
  if (volume == nullptr) return paramErr;
  OSStatus err = GL_GetVolumeByName(name, volume);
  return err != noErr ? err : MF_FSGetVInfo(*volume, nullptr, freeBytes, totalBytes);
}

OSStatus GL_GetFreeSpace(FSVolumeRefNum volume, UInt64 *freeBytes) {
  if (freeBytes == nullptr) return paramErr;
  return MF_FSGetVInfo(volume, nullptr, freeBytes, nullptr);
}

OSStatus GL_IsHFSPlusVolume(FSVolumeRefNum volume, Boolean *isHFSPlus, SInt32 *extendedAttributes) {
  if (isHFSPlus == nullptr) return paramErr;
  *isHFSPlus = false;
  if (extendedAttributes != nullptr) *extendedAttributes = 0;
  GetVolParmsInfoBuffer *parms = nullptr;
  if (GL_NewPtrClear(sizeof *parms, &parms) != noErr) return memFullErr;
  UInt32 actual = 0;
  OSStatus err = MF_FSGetVolParms(volume, sizeof *parms, parms, &actual);
  if (err == noErr && parms->vMVersion >= 3) {
    if (extendedAttributes != nullptr) *extendedAttributes = parms->vMExtendedAttributes;
    *isHFSPlus = (parms->vMExtendedAttributes & 2) != 0;
  }
  GL_DisposePtr(&parms);
  return err;
}

OSStatus GL_IsNetworkVolume(const HFSUniStr255 *name, FSVolumeRefNum volume, Boolean *isNetwork) {
  if (isNetwork == nullptr) return paramErr;
  *isNetwork = false;
  if (volume == 0) {
    if (name == nullptr) return paramErr;
    OSStatus err = GL_GetVolumeByName(name, &volume);
    if (err != noErr) return err;
  }
  GetVolParmsInfoBuffer parms{};
  UInt32 actual = 0;
  OSStatus err = MF_FSGetVolParms(volume, sizeof parms, &parms, &actual);
  if (err == noErr) *isNetwork = parms.vMServerAdr != 0;
  return err;
}

OSStatus GL_IsVolumeLocked(FSVolumeRefNum volume) {
  FSVolumeInfo info;
  OSStatus err = FSGetVolumeInfo(volume, 0, nullptr, kFSVolInfoFlags, &info, nullptr, nullptr);
  if (err != noErr) return err;
  if ((info.flags & kFSVolFlagHardwareLockedMask) != 0) return wPrErr;
  if ((info.flags & kFSVolFlagSoftwareLockedMask) != 0) return vLckdErr;
  return noErr;
}

GL_VolKind GL_GetVolumeKind(const FSRef *object) {
  FSVolumeRefNum volume = 0;
  if (VolumeOf(object, &volume) != noErr) return kGL_VolKindUnknown;
  UInt16 fsID = 0, signature = 0;
  if (MF_FSGetVolFileSystemID(volume, &fsID, &signature) != noErr) return kGL_VolKindUnknown;
  Boolean network = false;
  if (GL_IsNetworkVolume(nullptr, volume, &network) != noErr) return kGL_VolKindUnknown;
  if (!network) return fsID != 0 ? kGL_VolKindLocalOther : kGL_VolKindLocalApple;
  // There is no mount information here; the file-system type tells SMB/CIFS shares apart.
  const UInt32 type = (UInt32(signature) << 16) | fsID;
  const bool samba = type == 0xFF534D42u || type == 0xFE534D42u || type == 0x0000517Bu;
  return samba ? kGL_VolKindRemoteSamba : kGL_VolKindUnknown;
}

OSStatus GL_MakeVolumeList(GL_VolumeLE **list) {
  if (list == nullptr) return paramErr;
  LL_DisposeLinkedList(list);
  GL_VolumeLE *last = nullptr;
  OSStatus addErr = noErr;
  OSStatus err = WalkVolumes(kFSVolInfoNone, [&](FSVolumeRefNum v, const FSVolumeInfo &, const HFSUniStr255 &name) {
    GL_VolumeLE *element = nullptr;
    addErr = LL_AddNewPtr(sizeof(GL_VolumeLE), last, list, &element);
    if (addErr != noErr) return true;
    element->vRefNum = v;
    element->name = name;
    last = element;
    return false;
  });
  return addErr != noErr ? addErr : err;
}

GL_VolumeLE *GL_FindInVolumeList(FSVolumeRefNum volume, const HFSUniStr255 *name, GL_VolumeLE *first) {
  const bool byName = name != nullptr && name->length > 0;
  for (GL_VolumeLE *e = first; e != nullptr; e = e->next) {
    if (byName ? GL_EqualHFSUniStr255(&e->name, name) : e->vRefNum == volume) return e;
  }
  return nullptr;
}

Boolean GL_IsInVolumeList(FSVolumeRefNum volume, const HFSUniStr255 *name, GL_VolumeLE *first) {
  return GL_FindInVolumeList(volume, name, first) != nullptr;
}

OSStatus GL_ReduceToSaveableVolumesList(GL_VolumeLE **list, UInt64 minFreeBytes, Boolean useNetworkVolumes) {
  if (list == nullptr) return paramErr;
  GL_VolumeLE *e = *list;
  while (e != nullptr) {
    GL_VolumeLE *next = e->next;
    bool remove = false;
    OSStatus err = GL_IsVolumeLocked(e->vRefNum);
    if (err == wPrErr || err == vLckdErr) {
      remove = true;
    } else if (err != noErr) {
      return err;
    } else {
      UInt64 freeBytes = 0;
      err = GL_GetFreeSpace(e->vRefNum, &freeBytes);
      if (err != noErr) return err;
      Boolean network = false;
      remove = freeBytes < minFreeBytes ||
               (!useNetworkVolumes && GL_IsNetworkVolume(nullptr, e->vRefNum, &network) == noErr && network);
    }
    if (remove) LL_DeletePtr(list, &e);
    e = next;
  }
  return noErr;
}

OSStatus GL_SortVolumeListByFreeSize(GL_VolumeLE **list) {
  if (list == nullptr) return paramErr;
  for (GL_VolumeLE *position = *list; position != nullptr;) {
    GL_VolumeLE *largest = position;
    UInt64 largestFree = 0;
    OSStatus err = GL_GetFreeSpace(position->vRefNum, &largestFree);
    if (err != noErr) return err;
    for (GL_VolumeLE *e = position->next; e != nullptr; e = e->next) {
      UInt64 freeBytes = 0;
      err = GL_GetFreeSpace(e->vRefNum, &freeBytes);
      if (err != noErr) return err;
      if (freeBytes > largestFree) {
        largest = e;
        largestFree = freeBytes;
      }
    }
    if (largest != position) {
      LL_SwapPointers(position, largest, list);
      position = largest;  // now in position's place
    }
    position = position->next;
  }
  return noErr;
}

Boolean GL_UserHasWritePrivilegeToSomeFolderIterateFilter(Boolean, ItemCount, const FSCatalogInfo *catalogInfo,
                                                         const FSRef *, const FSSpec *, const HFSUniStr255 *,
                                                         void *yourDataPtr) {
  auto data = static_cast<GL_UserHasWritePrivilegeToSomeFolderIterateFilterData *>(yourDataPtr);
  constexpr UInt8 kDenied = kioACUserNoSeeFolderMask | kioACUserNoSeeFilesMask | kioACUserNoMakeChangesMask;
  if (catalogInfo != nullptr && (catalogInfo->nodeFlags & kFSNodeIsDirectoryMask) != 0 &&
      (catalogInfo->userPrivileges & kDenied) == 0) {
    data->userHasWritePrivilege = true;
  }
  return data->userHasWritePrivilege || TickCount() - data->startTime > data->maxIterateTime;
}

OSStatus GL_UserHasWritePrivilegeToSomeFolder(const FSRef *container, ItemCount folderLevels, UInt32 maxSeconds,
                                              Boolean *hasPrivilege) {
  if (hasPrivilege == nullptr) return paramErr;
  GL_UserHasWritePrivilegeToSomeFolderIterateFilterData data{TickCount(), maxSeconds * kTicksPerSecond, false};
  OSStatus err = MF_FSIterateContainer(container, folderLevels, kFSCatInfoNodeFlags | kFSCatInfoUserPrivs, false, false,
                                       GL_UserHasWritePrivilegeToSomeFolderIterateFilter, &data);
  if (err == fnfErr || err == afpAccessDenied) err = noErr;
  if (err == noErr) *hasPrivilege = data.userHasWritePrivilege;
  return err;
}

OSStatus GL_GetDirAccess(const FSRef *folder, UInt8 *accessRights) {
  if (accessRights == nullptr) return paramErr;
  FSCatalogInfo info;
  OSStatus err = FSGetCatalogInfo(folder, kFSCatInfoUserPrivs, &info, nullptr, nullptr, nullptr);
  if (err == noErr) *accessRights = info.userPrivileges;
  return err;
}

// ---- Aliases ----------------------------------------------------------------------------------------------------------

Boolean GL_EqualAlias(AliasHandle alias1, AliasHandle alias2, OSStatus *err) {
  HFSUniStr255 name1, name2, volume1, volume2;
  FSAliasInfo info1, info2;
  OSStatus e = FSCopyAliasInfo(alias1, &name1, &volume1, nullptr, nullptr, &info1);
  if (e == noErr) e = FSCopyAliasInfo(alias2, &name2, &volume2, nullptr, nullptr, &info2);
  if (err != nullptr) *err = e;
  return e == noErr && GL_EqualHFSUniStr255(&name1, &name2) && GL_EqualHFSUniStr255(&volume1, &volume2) &&
         info1.parentDirID == info2.parentDirID && info1.nodeID == info2.nodeID &&
         info1.filesystemID == info2.filesystemID;
}

OSStatus GL_GetAliasNames(AliasHandle alias, GL_AliasNames *names) {
  if (names == nullptr) return paramErr;
  HFSUniStr255 target, volume;
  CFStringRef pathRaw = nullptr;
  OSStatus err = FSCopyAliasInfo(alias, &target, &volume, &pathRaw, nullptr, nullptr);
  PL_CFScoped<CFStringRef> path(pathRaw);
  if (err != noErr) return err;
  // The parent is the path's second-last component; the root folder is named after its volume.
  HFSUniStr255 parent = volume;
  PL_CFScoped<CFArrayRef> parts(path.get() != nullptr ? CFStringCreateArrayBySeparatingStrings(nullptr, path, CFSTR("/"))
                                                      : nullptr);
  const CFIndex n = parts.get() != nullptr ? CFArrayGetCount(parts) : 0;
  if (n >= 3) {
    auto component = static_cast<CFStringRef>(CFArrayGetValueAtIndex(parts, n - 2));
    if (CFStringGetLength(component) > 0) {
      err = NameFromCFString(component, &parent);
      if (err != noErr) return err;
    }
  }
  names->volumeName = volume;
  names->name = target;
  names->parentName = parent;
  return noErr;
}

Boolean GL_DummyAliasFilterProcPtr(const FSRef *, void *) { return true; }

OSStatus GL_ResolveAliasSilently(AliasHandle alias, FSRef *target) {
  if (target == nullptr) return paramErr;
  Boolean changed = false;
  OSStatus err = FSResolveAliasWithMountFlags(nullptr, alias, target, &changed, kResolveAliasFileNoUI);
  if (err != noErr || !GL_DummyAliasFilterProcPtr(target, nullptr)) return err;
  if (changed) {
    Boolean updated = false;
    err = FSUpdateAlias(nullptr, target, alias, &updated);
  }
  return err;
}

OSStatus GL_ResolveAlias(AliasHandle alias, FSRef *target, Boolean *wasChanged) {
  Boolean changed = false;
  OSStatus err = FSResolveAlias(nullptr, alias, target, &changed);
  if (err == noErr && wasChanged != nullptr) *wasChanged = changed;
  return err;
}

OSStatus GL_ResolveAliasList(GL_AliasLE *first, GL_FSRefLE **resolved) {
  if (resolved == nullptr) return paramErr;
  GL_FSRefLE *last = static_cast<GL_FSRefLE *>(LL_GetLastPtr(*resolved));
  for (GL_AliasLE *e = first; e != nullptr; e = e->next) {
    FSRef target;
    OSStatus err = GL_ResolveAliasSilently(e->alias, &target);
    if (err != noErr) return err;
    GL_FSRefLE *element = nullptr;
    err = LL_AddNewPtr(sizeof(GL_FSRefLE), last, resolved, &element);
    if (err != noErr) return err;
    element->fileRef = target;
    last = element;
  }
  return noErr;
}

void GL_DisposeAliasLE(GL_AliasLE **element) {
  if (element == nullptr || *element == nullptr) return;
  DisposeHandle(reinterpret_cast<Handle>((*element)->alias));
  GL_DisposePtr(element);
}

Boolean GL_EqualALiasProc(const void *a, const void *b) {
  return GL_EqualAlias(static_cast<const GL_AliasLE *>(a)->alias, static_cast<const GL_AliasLE *>(b)->alias, nullptr);
}

OSStatus GL_AddAliasResource(ResFileRefNum resFile, const FSRef *file, const FSRef *aliasedFile, ResID *resID) {
  AliasHandle alias = nullptr;
  OSStatus err = FSNewAlias(nullptr, aliasedFile, &alias);
  if (err != noErr) return err;
  err = GL_AddResourceToFile(resFile, file, reinterpret_cast<Handle>(alias), 'alis', resID);
  DisposeHandle(reinterpret_cast<Handle>(alias));
  return err;
}

OSStatus GL_UpdateAliasResource(ResFileRefNum resFile, const FSRef *file, ResID resID, FSRef *aliasedFile) {
  if (aliasedFile == nullptr) return paramErr;
  Handle h = nullptr;
  ResID id = resID;
  OSStatus err = GL_Get1ResourceFromFile(resFile, file, 'alis', 0, &id, &h);
  if (err != noErr) return err;
  Boolean changed = false;
  err = FSResolveAlias(nullptr, reinterpret_cast<AliasHandle>(h), aliasedFile, &changed);
  if (err == noErr && changed) {
    err = FSUpdateAlias(nullptr, aliasedFile, reinterpret_cast<AliasHandle>(h), &changed);
    if (err == noErr) err = GL_AddResourceToFile(resFile, file, h, 'alis', &id);
  }
  DisposeHandle(h);
  return err;
}

OSStatus GL_AliasesOnSameSystem(AliasHandle alias1, AliasHandle alias2, Boolean *sameSystem) {
  if (sameSystem == nullptr) return paramErr;
  HFSUniStr255 volume1, volume2;
  FSAliasInfo info1, info2;
  OSStatus err = FSCopyAliasInfo(alias1, nullptr, &volume1, nullptr, nullptr, &info1);
  if (err == noErr) err = FSCopyAliasInfo(alias2, nullptr, &volume2, nullptr, nullptr, &info2);
  if (err == noErr) {
    *sameSystem = GL_EqualHFSUniStr255(&volume1, &volume2) && info1.filesystemID == info2.filesystemID;
  }
  return err;
}

OSStatus GL_FileObjectsOnSameSystem(const FSRef *object1, const FSRef *object2, Boolean *sameSystem) {
  if (sameSystem == nullptr) return paramErr;
  FSVolumeRefNum v1 = 0, v2 = 0;
  Boolean network1 = false, network2 = false;
  OSStatus err = VolumeOf(object1, &v1);
  if (err == noErr) err = VolumeOf(object2, &v2);
  if (err == noErr) err = GL_IsNetworkVolume(nullptr, v1, &network1);
  if (err == noErr) err = GL_IsNetworkVolume(nullptr, v2, &network2);
  if (err != noErr) return err;
  if (!network1 || !network2) {
    *sameSystem = !network1 && !network2;
    return noErr;
  }
  AliasHandle a1 = nullptr, a2 = nullptr;
  err = FSNewAlias(nullptr, object1, &a1);
  if (err == noErr) err = FSNewAlias(nullptr, object2, &a2);
  FSAliasInfo info1, info2;
  if (err == noErr) err = FSCopyAliasInfo(a1, nullptr, nullptr, nullptr, nullptr, &info1);
  if (err == noErr) err = FSCopyAliasInfo(a2, nullptr, nullptr, nullptr, nullptr, &info2);
  if (err == noErr) *sameSystem = info1.filesystemID == info2.filesystemID;
  DisposeHandle(reinterpret_cast<Handle>(a1));
  DisposeHandle(reinterpret_cast<Handle>(a2));
  return err;
}

// ---- The classic preferences file ---------------------------------------------------------------------------------

OSStatus GL_FindPrefsFile(CFStringRef name, FSRef *file) {
  if (file == nullptr) return paramErr;
  HFSUniStr255 uni;
  OSStatus err = NameFromCFString(name, &uni);
  if (err != noErr) return err;
  FSRef folder;
  err = FSFindFolder(kUserDomain, kPreferencesFolderType, kDontCreateFolder, &folder);
  if (err != noErr) return err;
  Boolean found = false;
  err = GL_IsFileInFolder(&folder, &uni, file, &found);
  if (err == noErr && !found) err = kGL_PrefsFileNotFoundErr;
  return err;
}

OSStatus GL_CreatePrefsFile(CFStringRef name, FSRef *file) {
  if (file == nullptr) return paramErr;
  HFSUniStr255 uni;
  OSStatus err = NameFromCFString(name, &uni);
  if (err != noErr) return err;
  FSRef folder;
  err = FSFindFolder(kUserDomain, kPreferencesFolderType, kCreateFolder, &folder);
  if (err != noErr) return err;
  err = GL_CreateFile(&folder, &uni, kPrefsCreator, kPrefsFileType, false, file);
  if (err != noErr) return err;
  FSCreateResFile(&folder, uni.length, uni.unicode, kFSCatInfoNone, nullptr, nullptr, nullptr);
  err = ResError();
  // A file without its resource map is not a preferences file: take it away again.
  if (err != noErr) FSDeleteObject(file);
  return err;
}

OSStatus GL_GetPrefsFile(CFStringRef name, Boolean create, FSRef *file) {
  if (file == nullptr) return paramErr;
  OSStatus err = GL_FindPrefsFile(name, file);
  if ((err == fnfErr || err == kGL_PrefsFileNotFoundErr) && create) err = GL_CreatePrefsFile(name, file);
  if (err != noErr) std::memset(file, 0, sizeof *file);
  return err;
}

OSStatus GL_GetAndOpenPrefsFile(CFStringRef name, Boolean create, FSRef *file, ResFileRefNum *resFile) {
  if (file == nullptr || resFile == nullptr) return paramErr;
  *resFile = -1;
  if (!MF_FSRefValid(file)) {
    OSStatus err = GL_GetPrefsFile(name, create, file);
    if (err != noErr) return err;
  }
  *resFile = FSOpenResFile(file, fsRdWrPerm);
  return ResError();
}

// ---- Resource maps -----------------------------------------------------------------------------------------------------

OSStatus GL_ResError(Handle resource) {
  const OSStatus err = ResError();
  return err == noErr && resource == nullptr ? OSStatus(resNotFound) : err;
}

OSStatus GL_Get1Resource(ResFileRefNum resFile, ResType type, SInt16 index, ResID *resID, Handle *resource) {
  if (resource == nullptr) return paramErr;
  *resource = nullptr;
  return WithResFile(resFile, [&]() -> OSStatus {
    if (index == 0 && (resID == nullptr || *resID == 0)) index = 1;
    Handle h = nullptr;
    if (index > 0) {
      h = Get1IndResource(type, index);
      if (h != nullptr && resID != nullptr) {
        ResType t;
        Str255 name;
        GetResInfo(h, resID, &t, name);
      }
    } else {
      h = Get1Resource(type, *resID);
    }
    const OSStatus err = GL_ResError(h);
    if (err == noErr) *resource = h;
    return err;
  });
}

Boolean GL_ResourceExists(ResFileRefNum resFile, ResType type, SInt16 index, ResID *resID, Handle *resource) {
  Handle h = nullptr;
  if (resource == nullptr) SetResLoad(false);
  const OSStatus err = GL_Get1Resource(resFile, type, index, resID, &h);
  if (resource == nullptr) {
    SetResLoad(true);
    if (h != nullptr) ReleaseResource(h);
  } else {
    *resource = h;
  }
  return err == noErr;
}

OSStatus GL_AddResource(ResFileRefNum resFile, Handle data, ResType type, ResID *resID) {
  if (data == nullptr || GetHandleSize(data) == 0) return nilHandleErr;
  if ((HGetState(data) & kHandleIsResourceMask) != 0) return noErr;
  return WithResFile(resFile, [&]() -> OSStatus {
    ResID id = resID != nullptr ? *resID : -1;
    if (id >= 0) {
      Handle old = Get1Resource(type, id);
      if (old != nullptr) {
        RemoveResource(old);
        if (ResError() != noErr) return ResError();
      }
    }
    if (id < 1) id = Unique1ID(type);
    const SInt8 state = HGetState(data);
    AddResource(data, type, id, reinterpret_cast<ConstStr255Param>("\0"));
    OSStatus err = ResError();
    if (err == noErr) {
      UpdateResFile(CurResFile());
      err = ResError();
      DetachResource(data);
      HSetState(data, state);
      if (resID != nullptr) *resID = id;
    }
    return err;
  });
}

OSStatus GL_Get1ResourceFromFile(ResFileRefNum resFile, const FSRef *file, ResType type, SInt16 index, ResID *resID,
                                 Handle *resource) {
  if (resource == nullptr) return paramErr;
  *resource = nullptr;
  return WithOpenedMap(resFile, file, fsRdPerm, [&](ResFileRefNum used) -> OSStatus {
    Handle h = nullptr;
    OSStatus err = GL_Get1Resource(used, type, index, resID, &h);
    if (err != noErr) return err;
    DetachResource(h);
    *resource = h;
    return noErr;
  });
}

OSStatus GL_Get1PtrResourceFromFile(ResFileRefNum resFile, const FSRef *file, ResType type, SInt16 index,
                                    ResID *resID, void **block, size_t *size) {
  if (block == nullptr || size == nullptr) return paramErr;
  *block = nullptr;
  *size = 0;
  Handle h = nullptr;
  OSStatus err = GL_Get1ResourceFromFile(resFile, file, type, index, resID, &h);
  if (err != noErr) return err;
  const Size n = GetHandleSize(h);
  err = GL_HdlToPtr(&h, block, true);
  if (err == noErr) *size = size_t(n);
  GL_DisposeHandle(&h);
  return err;
}

OSStatus GL_AddResourceToFile(ResFileRefNum resFile, const FSRef *file, Handle data, ResType type, ResID *resID) {
  return WithOpenedMap(resFile, file, fsRdWrPerm,
                       [&](ResFileRefNum used) { return GL_AddResource(used, data, type, resID); });
}

OSStatus GL_AddPtrResourceToFile(ResFileRefNum resFile, const FSRef *file, const void *bytes, size_t size,
                                 ResType type, ResID *resID) {
  Handle h = nullptr;
  OSStatus err = PtrToHand(bytes, &h, Size(size));
  if (err != noErr) return err;
  err = GL_AddResourceToFile(resFile, file, h, type, resID);
  DisposeHandle(h);
  return err;
}

OSStatus GL_RemoveResourceFromFile(ResFileRefNum resFile, const FSRef *file, ResType type, SInt16 index,
                                   ResID *resID) {
  return WithOpenedMap(resFile, file, fsRdWrPerm, [&](ResFileRefNum used) -> OSStatus {
    return WithResFile(used, [&]() -> OSStatus {
      Handle h = nullptr;
      OSStatus err = GL_Get1Resource(0, type, index, resID, &h);
      if (err != noErr) return err;
      RemoveResource(h);
      err = ResError();
      if (err == noErr) {
        UpdateResFile(used);
        err = ResError();
      }
      return err;
    });
  });
}

OSStatus GL_RemoveResourcesOfType(ResType type, ResFileRefNum resFile, Boolean update) {
  return WithResFile(resFile, [&]() -> OSStatus {
    const SInt16 n = Count1Resources(type);
    OSStatus err = ResError();
    for (SInt16 i = 0; i < n && err == noErr; ++i) {
      Handle h = Get1IndResource(type, 1);
      err = GL_ResError(h);
      if (err == noErr) {
        RemoveResource(h);
        err = ResError();
      }
    }
    if (err == noErr && update) {
      UpdateResFile(CurResFile());
      err = ResError();
    }
    return err;
  });
}

OSStatus GL_CountResourcesInFile(ResFileRefNum resFile, const FSRef *file, ResType type, SInt16 *count) {
  if (count == nullptr) return paramErr;
  *count = 0;
  return WithOpenedMap(resFile, file, fsRdPerm, [&](ResFileRefNum used) -> OSStatus {
    return WithResFile(used, [&]() -> OSStatus {
      *count = type == 0 ? Count1Types() : Count1Resources(type);
      return ResError();
    });
  });
}

OSStatus GL_ShiftResourcesInFile(ResFileRefNum resFile, const FSRef *file, const void *bytes, size_t size,
                                 ResType type, ResID baseID, SInt16 maxCount) {
  if (maxCount < 1) return paramErr;
  return WithOpenedMap(resFile, file, fsRdWrPerm, [&](ResFileRefNum used) -> OSStatus {
    SInt16 count = 0;
    OSStatus err = WithResFile(used, [&]() -> OSStatus {
      count = Count1Resources(type);
      return ResError();
    });
    if (err != noErr) return err;
    if (count > maxCount - 1) count = SInt16(maxCount - 1);
    // Highest first, so that no resource is overwritten before it was copied.
    for (SInt32 id = SInt32(baseID) + count - 1; id >= baseID && err == noErr; --id) {
      ResID from = ResID(id);
      Handle h = nullptr;
      err = GL_Get1Resource(used, type, 0, &from, &h);
      if (err == resNotFound) {
        err = noErr;
        continue;
      }
      if (err != noErr) break;
      DetachResource(h);
      ResID to = ResID(id + 1);
      err = GL_AddResource(used, h, type, &to);
      DisposeHandle(h);
    }
    if (err != noErr) return err;
    Handle h = nullptr;
    err = PtrToHand(bytes, &h, Size(size));
    if (err != noErr) return err;
    ResID base = baseID;
    err = GL_AddResource(used, h, type, &base);
    DisposeHandle(h);
    return err;
  });
}

OSStatus GL_GetFileVersion(const FSRef *file, ResID versID, UInt32 *version, SInt16 *regionCode, Str255 shortVersion,
                           Str255 longVersion) {
  if (versID != 1 && versID != 2) return paramErr;
  Handle h = nullptr;
  ResID id = versID;
  OSStatus err = GL_Get1ResourceFromFile(0, file, 'vers', 0, &id, &h);
  if (err != noErr) return err;
  err = ReadVersion(h, version, regionCode, shortVersion, longVersion);
  DisposeHandle(h);
  return err;
}

OSStatus GL_GetResFileVersion(ResFileRefNum resFile, ResID versID, UInt32 *version, SInt16 *regionCode,
                              Str255 shortVersion, Str255 longVersion) {
  if (versID != 1 && versID != 2) return paramErr;
  Handle h = nullptr;
  ResID id = versID;
  OSStatus err = GL_Get1Resource(resFile, 'vers', 0, &id, &h);
  if (err != noErr) return err;
  return ReadVersion(h, version, regionCode, shortVersion, longVersion);
}

OSStatus GL_RezWack() { return paramErr; }
