// File-system helpers over the File Manager stand-in.
#include "general/file_system_helpers.h"

#include "platform/core/clock.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/core/text_encodings.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace {

constexpr ItemCount kItemsPerBulkRequest = 10;
constexpr UInt32 kTempNameSeed = 'Wokt';

void ClearRef(FSRef *ref) { std::memset(ref, 0, sizeof *ref); }

UInt64 DateKey(const UTCDateTime &d) {
  return (UInt64(d.highSeconds) << 48) | (UInt64(d.lowSeconds) << 16) | d.fraction;
}

// Appends count FSRefs to an owned handle.
OSErr AppendRefs(Handle h, const FSRef *refs, ItemCount count) {
  if (count == 0) return noErr;
  Size old = GetHandleSize(h);
  SetHandleSize(h, old + Size(count * sizeof(FSRef)));
  OSErr err = MemError();
  if (err == noErr) std::memcpy(*h + old, refs, count * sizeof(FSRef));
  return err;
}

}  // namespace

// ---- Volumes -------------------------------------------------------------------------------------------------

OSErr MF_FSGetVolParms(FSVolumeRefNum volRefNum, UInt32 bufferSize, GetVolParmsInfoBuffer *volParmsInfo,
                       UInt32 *actualInfoSize) {
  if (volParmsInfo == nullptr || actualInfoSize == nullptr) return paramErr;
  OSErr err = OSErr(FSGetVolumeParms(volRefNum, volParmsInfo, bufferSize));
  if (err == noErr) *actualInfoSize = UInt32(std::min<size_t>(bufferSize, sizeof(GetVolParmsInfoBuffer)));
  return err;
}

OSErr MF_FSGetVRefNum(const FSRef *ref, FSVolumeRefNum *vRefNum) {
  if (vRefNum == nullptr) return paramErr;
  FSCatalogInfo info;
  OSErr err = FSGetCatalogInfo(ref, kFSCatInfoVolume, &info, nullptr, nullptr, nullptr);
  if (err == noErr) *vRefNum = info.volume;
  return err;
}

OSErr MF_FSGetVInfo(FSVolumeRefNum volume, HFSUniStr255 *volumeName, UInt64 *freeBytes, UInt64 *totalBytes) {
  const FSVolumeInfoBitmap which = (freeBytes || totalBytes) ? kFSVolInfoSizes : kFSVolInfoNone;
  FSVolumeInfo info;
  HFSUniStr255 name;
  OSErr err = FSGetVolumeInfo(volume, 0, nullptr, which, which ? &info : nullptr, volumeName ? &name : nullptr,
                              nullptr);
  if (err != noErr) return err;
  if (volumeName) *volumeName = name;
  if (freeBytes) *freeBytes = info.freeBytes;
  if (totalBytes) *totalBytes = info.totalBytes;
  return noErr;
}

OSErr MF_FSGetVolFileSystemID(FSVolumeRefNum volume, UInt16 *fileSystemID, UInt16 *signature) {
  FSVolumeInfo info;
  OSErr err = FSGetVolumeInfo(volume, 0, nullptr, kFSVolInfoFSInfo, &info, nullptr, nullptr);
  if (err != noErr) return err;
  if (fileSystemID) *fileSystemID = info.filesystemID;
  if (signature) *signature = info.signature;
  return noErr;
}

OSErr MF_FSGetMountedVolumes(FSRef ***volumeRefsHandle, ItemCount *numVolumes) {
  if (volumeRefsHandle == nullptr || numVolumes == nullptr) return paramErr;
  *numVolumes = 0;
  Handle h = NewHandle(0);
  *volumeRefsHandle = reinterpret_cast<FSRef **>(h);
  if (h == nullptr) return memFullErr;
  OSErr err = noErr;
  for (ItemCount index = 1;; ++index) {
    FSRef root;
    err = FSGetVolumeInfo(kFSInvalidVolumeRefNum, index, nullptr, kFSVolInfoNone, nullptr, nullptr, &root);
    if (err != noErr) break;
    if ((err = AppendRefs(h, &root, 1)) != noErr) break;
    ++*numVolumes;
  }
  if (err == nsvErr) return noErr;  // past the last volume
  DisposeHandle(h);
  *volumeRefsHandle = nullptr;
  *numVolumes = 0;
  return err;
}

// Mount information describes AppleShare servers; Linux mounts have none to give.
OSErr MF_FSGetVolMountInfoSize(FSVolumeRefNum, UInt16 *) { return paramErr; }
OSErr MF_FSGetVolMountInfo(FSVolumeRefNum, void *) { return paramErr; }
OSErr MF_FSVolumeMount(const void *, FSVolumeRefNum *) { return paramErr; }

// ---- Objects, names and catalog information ------------------------------------------------------------------

Boolean MF_FSRefValid(const FSRef *ref) {
  return FSGetCatalogInfo(ref, kFSCatInfoNone, nullptr, nullptr, nullptr, nullptr) == noErr;
}

OSErr MF_FSGetParentRef(const FSRef *ref, FSRef *parentRef) {
  if (parentRef == nullptr) return paramErr;
  FSCatalogInfo info;
  FSRef parent;
  OSErr err = FSGetCatalogInfo(ref, kFSCatInfoNodeID, &info, nullptr, nullptr, &parent);
  if (err != noErr) return err;
  if (info.nodeID == fsRtDirID) ClearRef(parentRef);
  else *parentRef = parent;
  return noErr;
}

OSErr MF_FSGetFileDirName(const FSRef *ref, HFSUniStr255 *outName) {
  if (outName == nullptr) return paramErr;
  return FSGetCatalogInfo(ref, kFSCatInfoNone, nullptr, outName, nullptr, nullptr);
}

OSErr MF_FSGetNodeID(const FSRef *ref, SInt32 *nodeID, Boolean *isDirectory) {
  FSCatalogInfo info;
  OSErr err = FSGetCatalogInfo(ref, kFSCatInfoNodeID | kFSCatInfoNodeFlags, &info, nullptr, nullptr, nullptr);
  if (err != noErr) return err;
  if (nodeID) *nodeID = SInt32(info.nodeID);
  if (isDirectory) *isDirectory = (info.nodeFlags & kFSNodeIsDirectoryMask) ? 1 : 0;
  return noErr;
}

OSErr MF_FSGetUserPrivilegesPermissions(const FSRef *ref, UInt8 *userPrivileges, UInt32 permissions[4]) {
  FSCatalogInfo info;
  OSErr err = FSGetCatalogInfo(ref, kFSCatInfoUserPrivs | kFSCatInfoPermissions, &info, nullptr, nullptr, nullptr);
  if (err != noErr) return err;
  if (userPrivileges) *userPrivileges = info.userPrivileges;
  if (permissions) std::memcpy(permissions, info.permissions, sizeof info.permissions);
  return noErr;
}

OSErr MF_FSCheckLock(const FSRef *ref) {
  FSCatalogInfo info;
  OSErr err = FSGetCatalogInfo(ref, kFSCatInfoNodeFlags | kFSCatInfoVolume, &info, nullptr, nullptr, nullptr);
  if (err != noErr) return err;
  if (info.nodeFlags & kFSNodeLockedMask) return fLckdErr;
  FSVolumeInfo volInfo;
  err = FSGetVolumeInfo(info.volume, 0, nullptr, kFSVolInfoFlags, &volInfo, nullptr, nullptr);
  if (err != noErr) return err;
  if (volInfo.flags & kFSVolFlagHardwareLockedMask) return wPrErr;
  if (volInfo.flags & kFSVolFlagSoftwareLockedMask) return vLckdErr;
  return noErr;
}

OSErr MF_FSGetForkSizes(const FSRef *ref, UInt64 *dataLogicalSize, UInt64 *rsrcLogicalSize) {
  FSCatalogInfo info;
  OSErr err = FSGetCatalogInfo(ref, kFSCatInfoNodeFlags | kFSCatInfoDataSizes | kFSCatInfoRsrcSizes, &info, nullptr,
                               nullptr, nullptr);
  if (err != noErr) return err;
  if (info.nodeFlags & kFSNodeIsDirectoryMask) return notAFileErr;
  if (dataLogicalSize) *dataLogicalSize = info.dataLogicalSize;
  if (rsrcLogicalSize) *rsrcLogicalSize = info.rsrcLogicalSize;
  return noErr;
}

OSErr MF_FSGetTotalForkSizes(const FSRef *ref, UInt64 *totalLogicalSize, UInt64 *totalPhysicalSize,
                             ItemCount *forkCount) {
  if (totalLogicalSize) *totalLogicalSize = 0;
  if (totalPhysicalSize) *totalPhysicalSize = 0;
  if (forkCount) *forkCount = 0;
  CatPositionRec iterator{};
  OSErr err;
  for (;;) {
    SInt64 logical = 0;
    UInt64 physical = 0;
    err = FSIterateForks(ref, &iterator, nullptr, &logical, &physical);
    if (err != noErr) break;
    if (totalLogicalSize) *totalLogicalSize += UInt64(logical);
    if (totalPhysicalSize) *totalPhysicalSize += physical;
    if (forkCount) ++*forkCount;
  }
  return err == errFSNoMoreItems ? OSErr(noErr) : err;
}

OSErr MF_FSGetFinderInfo(const FSRef *ref, FinderInfo *info, ExtendedFinderInfo *extendedInfo, Boolean *isDirectory) {
  FSCatalogInfoBitmap which = kFSCatInfoNone;
  if (info) which |= kFSCatInfoFinderInfo;
  if (extendedInfo) which |= kFSCatInfoFinderXInfo;
  if (isDirectory) which |= kFSCatInfoNodeFlags;
  FSCatalogInfo catalog;
  OSErr err = FSGetCatalogInfo(ref, which, &catalog, nullptr, nullptr, nullptr);
  if (err != noErr) return err;
  if (info) std::memcpy(info, catalog.finderInfo, sizeof *info);
  if (extendedInfo) std::memcpy(extendedInfo, catalog.extFinderInfo, sizeof *extendedInfo);
  if (isDirectory) *isDirectory = (catalog.nodeFlags & kFSNodeIsDirectoryMask) ? 1 : 0;
  return noErr;
}

OSErr MF_FSSetFinderInfo(const FSRef *ref, const FinderInfo *info, const ExtendedFinderInfo *extendedInfo) {
  FSCatalogInfo catalog{};
  FSCatalogInfoBitmap which = kFSCatInfoNone;
  if (info) {
    which |= kFSCatInfoFinderInfo;
    std::memcpy(catalog.finderInfo, info, sizeof *info);
  }
  if (extendedInfo) {
    which |= kFSCatInfoFinderXInfo;
    std::memcpy(catalog.extFinderInfo, extendedInfo, sizeof *extendedInfo);
  }
  return FSSetCatalogInfo(ref, which, &catalog);
}

OSErr MF_FSChangeCreatorType(const FSRef *ref, OSType fileCreator, OSType fileType) {
  FSCatalogInfo catalog;
  FSRef parent;
  OSErr err = FSGetCatalogInfo(ref, kFSCatInfoNodeFlags | kFSCatInfoFinderInfo, &catalog, nullptr, nullptr, &parent);
  if (err != noErr) return err;
  if (catalog.nodeFlags & kFSNodeIsDirectoryMask) return notAFileErr;
  FileInfo finder;
  std::memcpy(&finder, catalog.finderInfo, sizeof finder);
  if (fileType != 0) finder.fileType = fileType;
  if (fileCreator != 0) finder.fileCreator = fileCreator;
  std::memcpy(catalog.finderInfo, &finder, sizeof finder);
  err = FSSetCatalogInfo(ref, kFSCatInfoFinderInfo, &catalog);
  if (err == noErr) MF_FSBumpDate(&parent);  // only tells the folder's watchers; its result does not count
  return err;
}

OSErr MF_FSChangeFinderFlags(const FSRef *ref, Boolean setBits, UInt16 flagBits) {
  FSCatalogInfo catalog;
  FSRef parent;
  OSErr err = FSGetCatalogInfo(ref, kFSCatInfoFinderInfo, &catalog, nullptr, nullptr, &parent);
  if (err != noErr) return err;
  // Files and folders keep their Finder flags at the same offset.
  FileInfo finder;
  std::memcpy(&finder, catalog.finderInfo, sizeof finder);
  finder.finderFlags = setBits ? UInt16(finder.finderFlags | flagBits) : UInt16(finder.finderFlags & ~flagBits);
  std::memcpy(catalog.finderInfo, &finder, sizeof finder);
  err = FSSetCatalogInfo(ref, kFSCatInfoFinderInfo, &catalog);
  if (err == noErr) MF_FSBumpDate(&parent);  // only tells the folder's watchers; its result does not count
  return err;
}

OSErr MF_FSSetInvisible(const FSRef *ref) { return MF_FSChangeFinderFlags(ref, true, kIsInvisible); }
OSErr MF_FSClearInvisible(const FSRef *ref) { return MF_FSChangeFinderFlags(ref, false, kIsInvisible); }
OSErr MF_FSSetNameLocked(const FSRef *ref) { return MF_FSChangeFinderFlags(ref, true, kNameLocked); }
OSErr MF_FSClearNameLocked(const FSRef *ref) { return MF_FSChangeFinderFlags(ref, false, kNameLocked); }
OSErr MF_FSSetIsStationery(const FSRef *ref) { return MF_FSChangeFinderFlags(ref, true, kIsStationery); }
OSErr MF_FSClearIsStationery(const FSRef *ref) { return MF_FSChangeFinderFlags(ref, false, kIsStationery); }
OSErr MF_FSSetHasCustomIcon(const FSRef *ref) { return MF_FSChangeFinderFlags(ref, true, kHasCustomIcon); }
OSErr MF_FSClearHasCustomIcon(const FSRef *ref) { return MF_FSChangeFinderFlags(ref, false, kHasCustomIcon); }
OSErr MF_FSClearHasBeenInited(const FSRef *ref) { return MF_FSChangeFinderFlags(ref, false, kHasBeenInited); }

OSErr MF_FSCopyFileMgrAttributes(const FSRef *source, const FSRef *destination, Boolean copyLockBit) {
  FSCatalogInfo catalog;
  OSErr err = FSGetCatalogInfo(source, kFSCatInfoSettableInfo, &catalog, nullptr, nullptr, nullptr);
  if (err != noErr) return err;
  if (!copyLockBit) catalog.nodeFlags &= UInt16(~kFSNodeLockedMask);
  FileInfo finder;
  std::memcpy(&finder, catalog.finderInfo, sizeof finder);
  finder.finderFlags &= UInt16(~kHasBeenInited);
  std::memcpy(catalog.finderInfo, &finder, sizeof finder);
  return FSSetCatalogInfo(destination, kFSCatInfoSettableInfo, &catalog);
}

OSErr MF_FSBumpDate(const FSRef *ref) {
  FSCatalogInfo catalog;
  OSErr err = FSGetCatalogInfo(ref, kFSCatInfoContentMod, &catalog, nullptr, nullptr, nullptr);
  if (err != noErr) return err;
  const UTCDateTime old = catalog.contentModDate;
  if ((err = OSErr(GetUTCDateTime(&catalog.contentModDate, 0))) != noErr) return err;
  // A date already at or past now (an earlier bump added a second) still moves on, never back.
  if (DateKey(catalog.contentModDate) <= DateKey(old)) {
    catalog.contentModDate = old;
    if (++catalog.contentModDate.lowSeconds == 0) ++catalog.contentModDate.highSeconds;
  }
  return FSSetCatalogInfo(ref, kFSCatInfoContentMod, &catalog);
}

// An FSSpec names its folder by a directory identifier, which Linux cannot look up.
OSErr MF_FSRefMakeFSSpec(const FSRef *, FSSpec *) { return paramErr; }
OSErr MF_FSMakeFSRef(FSVolumeRefNum, SInt32, ConstStr255Param, FSRef *) { return paramErr; }
OSErr MF_FSMakePath(FSVolumeRefNum, SInt32, ConstStr255Param, UInt8 *, UInt32) { return paramErr; }
OSErr MF_FSPathMakeFSSpec(const UInt8 *, FSSpec *, Boolean *) { return paramErr; }

OSErr MF_FileRefNumGetFSRef(FSIORefNum refNum, FSRef *ref) {
  if (ref == nullptr) return paramErr;
  return FSGetForkCBInfo(refNum, 0, nullptr, nullptr, nullptr, ref, nullptr);
}

namespace {

constexpr ByteCount kHFSMaxFileNameChars = 31;
constexpr ByteCount kHFSMaxVolumeNameChars = 27;

// The encoding of classic names: the hint, or for an unknown hint the system script's with its region, the
// script's alone when that pairing is refused, and Mac Roman when both fail.
TextEncoding ClassicNameEncoding(TextEncoding hint) {
  if (hint != kTextEncodingUnknown) return hint;
  TextEncoding encoding = kTextEncodingMacRoman;
  const auto script = ScriptCode(GetScriptManagerVariable(smSysScript));
  const auto region = RegionCode(GetScriptManagerVariable(smRegionCode));
  if (UpgradeScriptInfoToTextEncoding(script, kTextLanguageDontCare, region, nullptr, &encoding) == noErr ||
      UpgradeScriptInfoToTextEncoding(script, kTextLanguageDontCare, kTextRegionDontCare, nullptr, &encoding) == noErr)
    return encoding;
  return kTextEncodingMacRoman;
}

OSStatus Convert(TextEncoding from, TextEncoding to, const UInt8 *in, ByteCount inLength, UInt8 *out,
                 ByteCount outLength, ByteCount *written) {
  TECObjectRef converter = nullptr;
  OSStatus err = TECCreateConverter(&converter, from, to);
  if (err != noErr) return err;
  ByteCount read = 0;
  err = TECConvertText(converter, in, inLength, &read, out, outLength, written);
  TECDisposeConverter(converter);
  return err;
}

}  // namespace

OSErr MF_UnicodeNameGetHFSName(UniCharCount nameLength, const UniChar *name, TextEncoding textEncodingHint,
                               Boolean isVolumeName, Str31 hfsName) {
  if (hfsName == nullptr || (name == nullptr && nameLength > 0)) return paramErr;
  if (nameLength == 0) {
    hfsName[0] = 0;
    return noErr;
  }
  UInt8 converted[kHFSMaxFileNameChars];
  ByteCount written = 0;
  // A name that does not fit the classic length is refused, not cut.
  OSStatus err = Convert(kTextEncodingUnicodeDefault, ClassicNameEncoding(textEncodingHint),
                         reinterpret_cast<const UInt8 *>(name), nameLength * sizeof(UniChar), converted,
                         isVolumeName ? kHFSMaxVolumeNameChars : kHFSMaxFileNameChars, &written);
  if (err != noErr) return OSErr(err);
  hfsName[0] = UInt8(written);
  std::memcpy(hfsName + 1, converted, written);
  return noErr;
}

OSErr MF_HFSNameGetUnicodeName(ConstStr31Param hfsName, TextEncoding textEncodingHint, HFSUniStr255 *unicodeName) {
  if (hfsName == nullptr || unicodeName == nullptr) return paramErr;
  if (hfsName[0] == 0) {
    unicodeName->length = 0;
    return noErr;
  }
  UniChar units[255];
  ByteCount written = 0;
  const ByteCount length = std::min<ByteCount>(hfsName[0], kHFSMaxFileNameChars);
  OSStatus err = Convert(ClassicNameEncoding(textEncodingHint), kTextEncodingUnicodeDefault, hfsName + 1, length,
                         reinterpret_cast<UInt8 *>(units), sizeof units, &written);
  if (err != noErr) return OSErr(err);
  unicodeName->length = UInt16(written / sizeof(UniChar));
  std::memcpy(unicodeName->unicode, units, written);
  return noErr;
}

// AppleShare access rights have no Linux counterpart (the permissions are in the catalog information).
OSErr MF_FSGetDirAccess(const FSRef *, SInt32 *, SInt32 *, SInt32 *) { return paramErr; }
OSErr MF_FSSetDirAccess(const FSRef *, SInt32, SInt32, SInt32) { return paramErr; }

OSErr MF_FSMapID(FSVolumeRefNum, SInt32 ugID, SInt16 objType, Str31 name) {
  if (name == nullptr || (objType != kOwnerID2Name && objType != kGroupID2Name)) return paramErr;
  std::string found;
  if (ugID != 0) {
    std::vector<char> buf(16384);
    if (objType == kOwnerID2Name) {
      passwd pw, *result = nullptr;
      if (getpwuid_r(uid_t(ugID), &pw, buf.data(), buf.size(), &result) != 0 || result == nullptr) return fnfErr;
      found = pw.pw_name;
    } else {
      group gr, *result = nullptr;
      if (getgrgid_r(gid_t(ugID), &gr, buf.data(), buf.size(), &result) != 0 || result == nullptr) return fnfErr;
      found = gr.gr_name;
    }
  }
  const size_t n = std::min<size_t>(found.size(), 31);
  name[0] = UInt8(n);
  std::memcpy(name + 1, found.data(), n);
  return noErr;
}

OSErr MF_FSMapName(FSVolumeRefNum, ConstStr255Param name, SInt16 objType, SInt32 *ugID) {
  if (name == nullptr || ugID == nullptr || (objType != kOwnerName2ID && objType != kGroupName2ID)) return paramErr;
  if (name[0] == 0) {
    *ugID = 0;
    return noErr;
  }
  const std::string wanted(reinterpret_cast<const char *>(name + 1), name[0]);
  std::vector<char> buf(16384);
  if (objType == kOwnerName2ID) {
    passwd pw, *result = nullptr;
    if (getpwnam_r(wanted.c_str(), &pw, buf.data(), buf.size(), &result) != 0 || result == nullptr) return fnfErr;
    *ugID = SInt32(pw.pw_uid);
  } else {
    group gr, *result = nullptr;
    if (getgrnam_r(wanted.c_str(), &gr, buf.data(), buf.size(), &result) != 0 || result == nullptr) return fnfErr;
    *ugID = SInt32(gr.gr_gid);
  }
  return noErr;
}

// Linux offers no way back from an inode number to a path, so file identifiers would not resolve.
OSErr MF_FSCreateFileIDRef(const FSRef *, SInt32 *) { return paramErr; }
OSErr MF_FSResolveFileIDRef(FSVolumeRefNum, SInt32, FSRef *) { return paramErr; }

OSErr MF_FSSetDefault(const FSRef *newDefault, FSRef *oldDefault) {
  if (oldDefault == nullptr) return paramErr;
  FSCatalogInfo info;
  OSErr err = FSGetCatalogInfo(newDefault, kFSCatInfoNodeFlags, &info, nullptr, nullptr, nullptr);
  if (err != noErr) return err;
  if (!(info.nodeFlags & kFSNodeIsDirectoryMask)) return dirNFErr;
  FSRef old;
  if ((err = OSErr(FSPathMakeRef(reinterpret_cast<const UInt8 *>("."), &old, nullptr))) != noErr) return err;
  if ((err = MF_FSRestoreDefault(newDefault)) != noErr) return err;
  *oldDefault = old;
  return noErr;
}

OSErr MF_FSRestoreDefault(const FSRef *oldDefault) {
  std::string path;
  OSErr err = OSErr(PL_FSRefMakePathString(oldDefault, &path));
  if (err != noErr) return err;
  if (chdir(path.c_str()) != 0) return errno == ENOTDIR ? OSErr(dirNFErr) : OSErr(PL_OSStatusFromErrno(errno));
  return noErr;
}

// ---- Folders ------------------------------------------------------------------------------------------------------

OSErr MF_FSGetDirectoryItems(const FSRef *container, FSRef ***refsHandle, ItemCount *numRefs,
                             Boolean *containerChanged) {
  if (refsHandle == nullptr || numRefs == nullptr) return paramErr;
  *numRefs = 0;
  if (containerChanged) *containerChanged = false;
  Handle h = NewHandle(0);
  *refsHandle = reinterpret_cast<FSRef **>(h);
  if (h == nullptr) return memFullErr;
  FSIterator iterator = nullptr;
  OSErr err = FSOpenIterator(container, kFSIterateFlat, &iterator);
  while (err == noErr) {
    FSRef refs[kItemsPerBulkRequest];
    ItemCount count = 0;
    Boolean changed = false;
    err = FSGetCatalogInfoBulk(iterator, kItemsPerBulkRequest, &count, &changed, kFSCatInfoNone, nullptr, refs, nullptr,
                               nullptr);
    if (containerChanged && changed) *containerChanged = true;
    if (err == noErr || err == errFSNoMoreItems) {
      OSErr appendErr = AppendRefs(h, refs, count);
      if (appendErr != noErr) err = appendErr;
      else *numRefs += count;
    }
  }
  if (iterator) FSCloseIterator(iterator);
  if (err == errFSNoMoreItems) return noErr;
  DisposeHandle(h);
  *refsHandle = nullptr;
  *numRefs = 0;
  return err;
}

namespace {

struct IterateState {
  ItemCount maxLevels;
  FSCatalogInfoBitmap whichInfo;
  bool wantName;
  MF_IterateContainerFilterProcPtr filter;
  void *data;
  bool quit = false;
};

// One level of the walk: the objects of `container`, one per request, entering folders on the way.
OSErr MF_FSIterateContainerLevel(const FSRef &container, ItemCount level, IterateState *state) {
  FSIterator iterator = nullptr;
  OSErr err = FSOpenIterator(&container, kFSIterateFlat, &iterator);
  while (err == noErr && !state->quit) {
    ItemCount count = 0;
    Boolean changed = false;
    FSCatalogInfo info;
    FSRef ref;
    HFSUniStr255 name;
    err = FSGetCatalogInfoBulk(iterator, 1, &count, &changed, state->whichInfo, &info, &ref, nullptr,
                               state->wantName ? &name : nullptr);
    if (err != noErr || count != 1) break;
    state->quit = state->filter(changed, level, &info, &ref, nullptr, state->wantName ? &name : nullptr, state->data);
    if (!state->quit && (info.nodeFlags & kFSNodeIsDirectoryMask) &&
        (state->maxLevels == 0 || level < state->maxLevels)) {
      err = MF_FSIterateContainerLevel(ref, level + 1, state);
    }
  }
  if (iterator) FSCloseIterator(iterator);
  return err == errFSNoMoreItems || err == afpAccessDenied ? OSErr(noErr) : err;
}

// Deletes the objects of one folder, folders depth first, unlocking what is locked.
OSErr MF_FSDeleteContainerLevel(const FSRef &container) {
  FSIterator iterator = nullptr;
  OSErr err = FSOpenIterator(&container, kFSIterateFlat | kFSIterateDelete, &iterator);
  while (err == noErr) {
    ItemCount count = 0;
    FSCatalogInfo info;
    FSRef ref;
    err = FSGetCatalogInfoBulk(iterator, 1, &count, nullptr, kFSCatInfoNodeFlags, &info, &ref, nullptr, nullptr);
    if (err != noErr) break;
    if (info.nodeFlags & kFSNodeLockedMask) {
      info.nodeFlags &= UInt16(~kFSNodeLockedMask);
      if ((err = FSSetCatalogInfo(&ref, kFSCatInfoNodeFlags, &info)) != noErr) break;
    }
    if ((info.nodeFlags & kFSNodeIsDirectoryMask) && (err = MF_FSDeleteContainerLevel(ref)) != noErr) break;
    err = FSDeleteObject(&ref);
  }
  if (iterator) FSCloseIterator(iterator);
  return err == errFSNoMoreItems ? OSErr(noErr) : err;
}

}  // namespace

OSErr MF_FSIterateContainer(const FSRef *container, ItemCount maxLevels, FSCatalogInfoBitmap whichInfo, Boolean,
                            Boolean wantName, MF_IterateContainerFilterProcPtr iterateFilter, void *yourDataPtr) {
  if (iterateFilter == nullptr || container == nullptr) return paramErr;
  IterateState state{maxLevels, whichInfo | kFSCatInfoNodeFlags, wantName != 0, iterateFilter, yourDataPtr};
  return MF_FSIterateContainerLevel(*container, 1, &state);
}

OSErr MF_FSDeleteContainerContents(const FSRef *container) {
  FSCatalogInfo info;
  OSErr err = FSGetCatalogInfo(container, kFSCatInfoNodeFlags, &info, nullptr, nullptr, nullptr);
  if (err != noErr) return err;
  if (!(info.nodeFlags & kFSNodeIsDirectoryMask)) return dirNFErr;
  return MF_FSDeleteContainerLevel(*container);
}

OSErr MF_FSDeleteContainer(const FSRef *container) {
  OSErr err = MF_FSDeleteContainerContents(container);
  if (err != noErr) return err;
  FSCatalogInfo info;
  if ((err = FSGetCatalogInfo(container, kFSCatInfoNodeFlags, &info, nullptr, nullptr, nullptr)) != noErr) return err;
  if (info.nodeFlags & kFSNodeLockedMask) {
    info.nodeFlags &= UInt16(~kFSNodeLockedMask);
    if ((err = FSSetCatalogInfo(container, kFSCatInfoNodeFlags, &info)) != noErr) return err;
  }
  return FSDeleteObject(container);
}

// ---- Copying, moving and exchanging ---------------------------------------------------------------------------------

OSErr MF_FSCopyFork(FSIORefNum srcRefNum, FSIORefNum dstRefNum, void *copyBufferPtr, ByteCount copyBufferSize) {
  if (copyBufferPtr == nullptr || copyBufferSize == 0) return paramErr;
  SInt64 size = 0;
  OSErr err = FSGetForkSize(srcRefNum, &size);
  if (err == noErr) err = FSSetForkSize(dstRefNum, fsFromStart, size);
  if (err == noErr) err = FSSetForkPosition(srcRefNum, fsFromStart, 0);
  if (err == noErr) err = FSSetForkPosition(dstRefNum, fsFromStart, 0);
  if (err != noErr) return err;
  // Whole 4 KiB pages transfer best.
  if (copyBufferSize > 4095) copyBufferSize &= ~ByteCount(4095);
  OSErr readErr = noErr, writeErr = noErr;
  while (readErr == noErr && writeErr == noErr) {
    ByteCount got = 0;
    readErr = FSReadFork(srcRefNum, fsAtMark | noCacheMask, 0, copyBufferSize, copyBufferPtr, &got);
    writeErr = FSWriteFork(dstRefNum, fsAtMark | noCacheMask, 0, got, copyBufferPtr, nullptr);
  }
  if (writeErr != noErr) return writeErr;
  return readErr == eofErr ? OSErr(noErr) : readErr;
}

OSErr MF_FSCopyFile(const FSRef *source, const FSRef *destDir, UniCharCount, const UniChar *, TextEncoding,
                    FSRef *) {
  FSVolumeRefNum volume;
  OSErr err = MF_FSGetVRefNum(source, &volume);
  if (err == noErr && !MF_FSRefValid(destDir)) err = fnfErr;
  if (err != noErr) return err;
  // No volume here offers a server-side copy (volume attribute 0x4000).
  return paramErr;
}

OSErr MF_FSMoveRename(const FSRef *ref, const FSRef *destDirectory, UniCharCount, const UniChar *, TextEncoding,
                      FSRef *) {
  FSVolumeRefNum volume;
  OSErr err = MF_FSGetVRefNum(ref, &volume);
  if (err == noErr && !MF_FSRefValid(destDirectory)) err = fnfErr;
  if (err != noErr) return err;
  // No volume here offers the classic one-step move and rename (volume attribute 0x2000).
  return paramErr;
}

OSErr MF_GenerateUniqueHFSUniStr(UInt32 *startSeed, const FSRef *dir1, const FSRef *dir2, HFSUniStr255 *uniqueName) {
  if (startSeed == nullptr || uniqueName == nullptr) return paramErr;
  static const char kHex[] = "0123456789ABCDEF";
  for (;;) {
    uniqueName->length = 8;
    for (int i = 0; i < 8; ++i) uniqueName->unicode[i] = UniChar(kHex[(*startSeed >> (28 - 4 * i)) & 0xF]);
    FSRef found;
    OSErr err = FSMakeFSRefUnicode(dir1, uniqueName->length, uniqueName->unicode, kTextEncodingUnknown, &found);
    if (err == fnfErr) {
      err = FSMakeFSRefUnicode(dir2, uniqueName->length, uniqueName->unicode, kTextEncodingUnknown, &found);
      if (err == fnfErr) break;
    }
    if (err != noErr) return err;
    ++*startSeed;
  }
  ++*startSeed;  // a caller that asks again gets another name
  return noErr;
}

OSErr MF_FSMoveRenameObjectUnicode(const FSRef *ref, const FSRef *destDirectory, UniCharCount nameLength,
                                   const UniChar *name, TextEncoding textEncodingHint, FSRef *newRef) {
  if (ref == nullptr || destDirectory == nullptr) return paramErr;
  FSRef current = *ref;
  FSCatalogInfo info, destInfo;
  HFSUniStr255 oldName;
  FSRef oldParent;
  OSErr err = FSGetCatalogInfo(ref, kFSCatInfoVolume, &info, &oldName, nullptr, &oldParent);
  if (err == noErr) err = FSGetCatalogInfo(destDirectory, kFSCatInfoVolume, &destInfo, nullptr, nullptr, nullptr);
  if (err != noErr) return err;
  if (info.volume != destInfo.volume) return diffVolErr;

  if (name == nullptr || nameLength == 0) {
    err = FSMoveObject(&current, destDirectory, &current);
    if (err == noErr && newRef) *newRef = current;
    return err;
  }
  // The object first takes a name that is free in both folders, so that neither the move nor the rename
  // can collide with the object's own old name.
  UInt32 seed = kTempNameSeed;
  HFSUniStr255 tempName;
  err = MF_GenerateUniqueHFSUniStr(&seed, &oldParent, destDirectory, &tempName);
  if (err == noErr) err = FSRenameUnicode(&current, tempName.length, tempName.unicode, kTextEncodingUnknown, &current);
  if (err != noErr) return err;
  err = FSMoveObject(&current, destDirectory, &current);
  if (err != noErr) {
    FSRenameUnicode(&current, oldName.length, oldName.unicode, textEncodingHint, nullptr);
    return err;
  }
  err = FSRenameUnicode(&current, nameLength, name, textEncodingHint, &current);
  if (err != noErr) {
    if (FSMoveObject(&current, &oldParent, &current) == noErr)
      FSRenameUnicode(&current, oldName.length, oldName.unicode, textEncodingHint, nullptr);
    return err;
  }
  if (newRef) *newRef = current;
  return noErr;
}

OSErr MF_FSExchangeObjectsCompat(const FSRef *sourceRef, const FSRef *destRef, FSRef *newSourceRef,
                                 FSRef *newDestRef) {
  if (sourceRef == nullptr || destRef == nullptr || newSourceRef == nullptr || newDestRef == nullptr) return paramErr;
  *newSourceRef = *sourceRef;
  *newDestRef = *destRef;
  // No volume here offers the platform's own object exchange (extended attribute 0x8), so the exchange is
  // always made by renaming, moving and swapping the catalog information.
  const FSCatalogInfoBitmap kExchanged = kFSCatInfoTextEncoding | kFSCatInfoNodeFlags | kFSCatInfoCreateDate |
                                          kFSCatInfoAccessDate | kFSCatInfoBackupDate | kFSCatInfoPermissions |
                                          kFSCatInfoFinderInfo | kFSCatInfoFinderXInfo;
  const FSCatalogInfoBitmap kRead = kExchanged | kFSCatInfoVolume | kFSCatInfoParentDirID;
  FSCatalogInfo srcInfo, dstInfo;
  HFSUniStr255 srcName, dstName;
  FSRef srcParent, dstParent;
  OSErr err = FSGetCatalogInfo(sourceRef, kRead, &srcInfo, &srcName, nullptr, &srcParent);
  if (err == noErr) err = FSGetCatalogInfo(destRef, kRead, &dstInfo, &dstName, nullptr, &dstParent);
  if (err != noErr) return err;
  if (srcInfo.volume != dstInfo.volume) return diffVolErr;
  if ((srcInfo.nodeFlags | dstInfo.nodeFlags) & kFSNodeIsDirectoryMask) return notAFileErr;
  const bool sameParent = FSCompareFSRefs(&srcParent, &dstParent) == noErr;
  // Locked files would refuse the renames: both are unlocked for the exchange, and each lock flag travels
  // with its catalog information once the names are final.
  const bool srcLocked = (srcInfo.nodeFlags & kFSNodeLockedMask) != 0;
  const bool dstLocked = (dstInfo.nodeFlags & kFSNodeLockedMask) != 0;
  FSCatalogInfo srcOpen = srcInfo, dstOpen = dstInfo;
  srcOpen.nodeFlags &= UInt16(~kFSNodeLockedMask);
  dstOpen.nodeFlags &= UInt16(~kFSNodeLockedMask);

  FSRef src = *sourceRef, dst = *destRef;
  UInt32 seed = kTempNameSeed;
  HFSUniStr255 srcTemp, dstTemp;
  err = MF_GenerateUniqueHFSUniStr(&seed, &srcParent, &dstParent, &srcTemp);
  if (err == noErr) err = MF_GenerateUniqueHFSUniStr(&seed, &srcParent, &dstParent, &dstTemp);
  if (err != noErr) return err;
  if (srcLocked && (err = FSSetCatalogInfo(&src, kFSCatInfoNodeFlags, &srcOpen)) != noErr) return err;
  if (dstLocked && (err = FSSetCatalogInfo(&dst, kFSCatInfoNodeFlags, &dstOpen)) != noErr) {
    if (srcLocked) FSSetCatalogInfo(&src, kFSCatInfoNodeFlags, &srcInfo);
    return err;
  }

  // The steps, each counted when it succeeded, so that a failure undoes exactly those in reverse order.
  int done = 0;
  auto step = [&done](OSErr result) {
    if (result == noErr) ++done;
    return result;
  };
  err = step(FSRenameUnicode(&src, srcTemp.length, srcTemp.unicode, kTextEncodingUnknown, &src));
  if (err == noErr) err = step(FSRenameUnicode(&dst, dstTemp.length, dstTemp.unicode, kTextEncodingUnknown, &dst));
  if (err == noErr) err = step(sameParent ? OSErr(noErr) : FSMoveObject(&src, &dstParent, &src));
  if (err == noErr) err = step(sameParent ? OSErr(noErr) : FSMoveObject(&dst, &srcParent, &dst));
  if (err == noErr) {
    err = FSSetCatalogInfo(&src, kExchanged, &dstOpen);
    if (err == noErr) err = step(FSSetCatalogInfo(&dst, kExchanged, &srcOpen));
    else FSSetCatalogInfo(&src, kExchanged, &srcOpen);
  }
  if (err == noErr) err = step(FSRenameUnicode(&src, dstName.length, dstName.unicode, dstInfo.textEncodingHint, &src));
  if (err == noErr) err = step(FSRenameUnicode(&dst, srcName.length, srcName.unicode, srcInfo.textEncodingHint, &dst));
  if (err != noErr) {
    if (done >= 6) FSRenameUnicode(&src, srcTemp.length, srcTemp.unicode, kTextEncodingUnknown, &src);
    if (done >= 5) {
      FSSetCatalogInfo(&dst, kExchanged, &dstOpen);
      FSSetCatalogInfo(&src, kExchanged, &srcOpen);
    }
    if (done >= 4 && !sameParent) FSMoveObject(&dst, &dstParent, &dst);
    if (done >= 3 && !sameParent) FSMoveObject(&src, &srcParent, &src);
    if (done >= 2) FSRenameUnicode(&dst, dstName.length, dstName.unicode, kTextEncodingUnknown, &dst);
    if (done >= 1) FSRenameUnicode(&src, srcName.length, srcName.unicode, kTextEncodingUnknown, &src);
    if (srcLocked) FSSetCatalogInfo(&src, kFSCatInfoNodeFlags, &srcInfo);
    if (dstLocked) FSSetCatalogInfo(&dst, kFSCatInfoNodeFlags, &dstInfo);
    return err;
  }
  // The source object now carries the destination's catalog information, its lock included.
  if (dstLocked) FSSetCatalogInfo(&src, kFSCatInfoNodeFlags, &dstInfo);
  if (srcLocked) FSSetCatalogInfo(&dst, kFSCatInfoNodeFlags, &srcInfo);
  // The old destination object now stands at the source's place, and the other way round.
  *newSourceRef = dst;
  *newDestRef = src;
  return noErr;
}

namespace {

// Memory that could still be had, as the kernel estimates it.
UInt64 AvailableMemory() {
  std::ifstream in("/proc/meminfo");
  std::string key;
  UInt64 kb = 0;
  std::string unit;
  while (in >> key >> kb >> unit) {
    if (key == "MemAvailable:") return kb * 1024u;
  }
  long pages = sysconf(_SC_AVPHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
  return pages > 0 && pageSize > 0 ? UInt64(pages) * UInt64(pageSize) : 0;
}

}  // namespace

Ptr MF_FSGetTempBuffer(ByteCount buffReqSize, ByteCount *buffActSize) {
  constexpr ByteCount kPage = 4096;
  // Blocks are sized by a signed 32-bit count.
  ByteCount size = std::min<ByteCount>(std::max(buffReqSize & ~(kPage - 1), kPage), 0x7FFFF000u);
  Ptr buffer = NewPtr(Size(size));
  if (buffer == nullptr && size > kPage) {
    // Settle for what memory can still give, keeping 32 KiB in reserve.
    UInt64 available = AvailableMemory();
    UInt64 fallback = available > 32768 ? (available - 32768) & ~UInt64(kPage - 1) : 0;
    size = ByteCount(std::min<UInt64>(fallback, size));
    if (size == 0) size = kPage;
    buffer = NewPtr(Size(size));
  }
  if (buffActSize) *buffActSize = buffer ? size : 0;
  return buffer;
}
