// File Manager stand-in, catalog: catalog information from stat/statx and the labels, its changes, and the
// snapshot iterators over a folder.
#include "platform/core/files.h"
#include "platform/core/files_internal.h"

#include "platform/core/mac_errors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace pl_files {

// ---- Dates --------------------------------------------------------------------------------------------------

namespace {

constexpr SInt64 kUnixTo1904 = 2082844800;

}  // namespace

UTCDateTime UTCFromTimespec(SInt64 sec, SInt64 nsec) {
  UTCDateTime d{};
  SInt64 since1904 = sec + kUnixTo1904;
  if (since1904 < 0) return d;
  d.highSeconds = UInt16(UInt64(since1904) >> 32);
  d.lowSeconds = UInt32(since1904);
  d.fraction = UInt16((UInt64(nsec) << 16) / 1000000000u);
  return d;
}

namespace {

timespec TimespecFromUTC(const UTCDateTime &d) {
  SInt64 since1904 = (SInt64(d.highSeconds) << 32) | d.lowSeconds;
  timespec ts{};
  ts.tv_sec = time_t(since1904 - kUnixTo1904);
  // Rounded up, so that the fraction read back from the nanoseconds is the one that was set.
  ts.tv_nsec = long((UInt64(d.fraction) * 1000000000u + 65535u) >> 16);
  return ts;
}

}  // namespace

// ---- Catalog information -------------------------------------------------------------------------------------

UInt32 NodeIDFor(const struct stat &st, bool volumeRoot) {
  if (volumeRoot) return fsRtDirID;
  UInt32 id = UInt32(st.st_ino);
  // 1 and 2 mean the root's parent and a root; keep other objects clear of them.
  if (id <= fsRtDirID) id |= 0x80000000u;
  return id;
}

namespace {

UInt8 PrivilegesFor(const Object &obj) {
  UInt8 privs = 0;
  const bool folder = S_ISDIR(obj.st.st_mode);
  if (faccessat(AT_FDCWD, obj.path.c_str(), folder ? (R_OK | X_OK) : R_OK, AT_EACCESS) != 0)
    privs |= kioACUserNoSeeFolderMask | kioACUserNoSeeFilesMask;
  if (faccessat(AT_FDCWD, obj.path.c_str(), W_OK, AT_EACCESS) != 0) privs |= kioACUserNoMakeChangesMask;
  if (obj.st.st_uid != geteuid()) privs |= kioACUserNotOwnerMask;
  return privs;
}

UInt32 CountEntries(const std::string &path) {
  DIR *dir = opendir(path.c_str());
  if (dir == nullptr) return 0;
  UInt32 count = 0;
  while (dirent *e = readdir(dir)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) ++count;
  }
  closedir(dir);
  return count;
}

}  // namespace

OSErr FillCatalogInfo(const Object &obj, FSCatalogInfoBitmap which, FSCatalogInfo *info, HFSUniStr255 *outName,
                      FSRef *parentRef) {
  const bool folder = S_ISDIR(obj.st.st_mode);
  const bool needVolume = (which & (kFSCatInfoVolume | kFSCatInfoNodeID | kFSCatInfoParentDirID)) != 0 ||
                          outName != nullptr || parentRef != nullptr;
  size_t volumeIndex = needVolume ? VolumeIndexFor(obj) : 0;
  const bool root = needVolume && IsVolumeRoot(obj, volumeIndex);

  if (info != nullptr) {
    const bool wantLabels = (which & (kFSCatInfoTextEncoding | kFSCatInfoCreateDate | kFSCatInfoBackupDate |
                                      kFSCatInfoFinderInfo | kFSCatInfoFinderXInfo)) != 0;
    Labels labels;
    if (wantLabels) labels = ReadLabels(obj.path, folder);
    if (which & kFSCatInfoTextEncoding) info->textEncodingHint = labels.textEncoding;
    if (which & kFSCatInfoNodeFlags) {
      UInt16 flags = folder ? kFSNodeIsDirectoryMask : 0;
      if (IsImmutable(obj)) flags |= kFSNodeLockedMask;
      if (!folder) flags |= OpenForkFlags(obj.st);
      info->nodeFlags = flags;
    }
    if (which & kFSCatInfoVolume) info->volume = RefNumForIndex(volumeIndex);
    if (which & kFSCatInfoNodeID) info->nodeID = NodeIDFor(obj.st, root);
    if (which & kFSCatInfoParentDirID) {
      if (root) {
        info->parentDirID = fsRtParID;
      } else {
        Object parent{DirName(obj.path), {}};
        if (stat(parent.path.c_str(), &parent.st) != 0) return PL_OSStatusFromErrno(errno);
        bool parentRoot = parent.st.st_dev != obj.st.st_dev || IsVolumeRoot(parent, volumeIndex);
        info->parentDirID = NodeIDFor(parent.st, parentRoot);
      }
    }
    if (which & kFSCatInfoSharingFlags) info->sharingFlags = 0;
    if (which & kFSCatInfoUserPrivs) info->userPrivileges = PrivilegesFor(obj);
    if (which & kFSCatInfoCreateDate) {
      if (labels.flags & kLabelHasCreateDate) {
        info->createDate = labels.createDate;
      } else {
        struct statx sx;
        if (statx(AT_FDCWD, obj.path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &sx) == 0 &&
            (sx.stx_mask & STATX_BTIME)) {
          info->createDate = UTCFromTimespec(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec);
        } else {
          // Without a birth time, the earlier of the two change times is the best guess.
          const timespec &m = obj.st.st_mtim, &c = obj.st.st_ctim;
          bool mFirst = m.tv_sec < c.tv_sec || (m.tv_sec == c.tv_sec && m.tv_nsec <= c.tv_nsec);
          const timespec &t = mFirst ? m : c;
          info->createDate = UTCFromTimespec(t.tv_sec, t.tv_nsec);
        }
      }
    }
    if (which & kFSCatInfoContentMod) info->contentModDate = UTCFromTimespec(obj.st.st_mtim.tv_sec, obj.st.st_mtim.tv_nsec);
    if (which & kFSCatInfoAttrMod) info->attributeModDate = UTCFromTimespec(obj.st.st_ctim.tv_sec, obj.st.st_ctim.tv_nsec);
    if (which & kFSCatInfoAccessDate) info->accessDate = UTCFromTimespec(obj.st.st_atim.tv_sec, obj.st.st_atim.tv_nsec);
    if (which & kFSCatInfoBackupDate) info->backupDate = labels.backupDate;
    if (which & kFSCatInfoPermissions) {
      FSPermissionInfo perm{};
      perm.userID = obj.st.st_uid;
      perm.groupID = obj.st.st_gid;
      perm.mode = UInt16(obj.st.st_mode);
      std::memcpy(info->permissions, &perm, sizeof perm);
    }
    if (which & kFSCatInfoFinderInfo) std::memcpy(info->finderInfo, labels.finderInfo, 16);
    if (which & kFSCatInfoFinderXInfo) std::memcpy(info->extFinderInfo, labels.extFinderInfo, 16);
    if (which & kFSCatInfoValence) info->valence = folder ? CountEntries(obj.path) : 0;
    if (which & kFSCatInfoDataSizes) {
      info->dataLogicalSize = folder ? 0 : UInt64(obj.st.st_size);
      info->dataPhysicalSize = folder ? 0 : UInt64(obj.st.st_blocks) * 512u;
    }
    if (which & kFSCatInfoRsrcSizes) info->rsrcLogicalSize = info->rsrcPhysicalSize = 0;
  }
  if (outName != nullptr) {
    if (root) {
      Volume v;
      GetVolume(RefNumForIndex(volumeIndex), &v);
      SetName(VolumeName(v), outName);
    } else {
      SetName(BaseName(obj.path), outName);
    }
  }
  if (parentRef != nullptr) {
    if (root) {
      std::memset(parentRef, 0, sizeof *parentRef);
    } else {
      Object parent{DirName(obj.path), {}};
      if (lstat(parent.path.c_str(), &parent.st) != 0) return PL_OSStatusFromErrno(errno);
      FillRef(parent.path, parent.st, parentRef);
    }
  }
  return noErr;
}

OSErr ApplyCatalogInfo(const Object &obj, FSCatalogInfoBitmap which, const FSCatalogInfo *info) {
  which &= kFSCatInfoSettableInfo;
  if (which == 0) return noErr;
  if (info == nullptr) return paramErr;
  const bool folder = S_ISDIR(obj.st.st_mode);
  OSErr err = noErr;

  // Unlocking comes first, locking last, so that the other changes can be made.
  const bool changeLock = (which & kFSCatInfoNodeFlags) != 0;
  const bool lock = changeLock && (info->nodeFlags & kFSNodeLockedMask) != 0;
  if (changeLock && !lock && (err = SetImmutable(obj, false)) != noErr && IsImmutable(obj)) return err;

  if (which & (kFSCatInfoTextEncoding | kFSCatInfoCreateDate | kFSCatInfoBackupDate | kFSCatInfoFinderInfo |
               kFSCatInfoFinderXInfo)) {
    Labels old = ReadLabels(obj.path, folder), labels = old;
    if (which & kFSCatInfoTextEncoding) labels.textEncoding = info->textEncodingHint;
    if (which & kFSCatInfoCreateDate) {
      labels.createDate = info->createDate;
      labels.flags |= kLabelHasCreateDate;
    }
    if (which & kFSCatInfoBackupDate) labels.backupDate = info->backupDate;
    if (which & kFSCatInfoFinderInfo) std::memcpy(labels.finderInfo, info->finderInfo, 16);
    if (which & kFSCatInfoFinderXInfo) std::memcpy(labels.extFinderInfo, info->extFinderInfo, 16);
    if (!LabelsEqual(old, labels) && (err = WriteLabels(obj.path, folder, labels)) != noErr) return err;
  }
  if (which & kFSCatInfoPermissions) {
    FSPermissionInfo perm;
    std::memcpy(&perm, info->permissions, sizeof perm);
    if ((perm.userID != obj.st.st_uid || perm.groupID != obj.st.st_gid) &&
        lchown(obj.path.c_str(), perm.userID, perm.groupID) != 0)
      return PL_OSStatusFromErrno(errno);
    if ((perm.mode & 07777) != (obj.st.st_mode & 07777) && chmod(obj.path.c_str(), perm.mode & 07777) != 0)
      return PL_OSStatusFromErrno(errno);
  }
  // The attribute modification date is the kernel's ctime: it follows every change and cannot be set.
  if (which & (kFSCatInfoContentMod | kFSCatInfoAccessDate)) {
    timespec times[2];
    times[0].tv_nsec = times[1].tv_nsec = UTIME_OMIT;
    if (which & kFSCatInfoAccessDate) times[0] = TimespecFromUTC(info->accessDate);
    if (which & kFSCatInfoContentMod) times[1] = TimespecFromUTC(info->contentModDate);
    if (utimensat(AT_FDCWD, obj.path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) return PL_OSStatusFromErrno(errno);
  }
  if (lock && (err = SetImmutable(obj, true)) != noErr) return err;
  return noErr;
}

}  // namespace pl_files

using namespace pl_files;

struct OpaqueFSIterator {
  std::string folder;
  std::vector<std::string> names;
  size_t next = 0;
  timespec modified{};
};

namespace {

bool SameTime(const timespec &a, const timespec &b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

}  // namespace

OSErr FSGetCatalogInfo(const FSRef *ref, FSCatalogInfoBitmap whichInfo, FSCatalogInfo *catalogInfo,
                       HFSUniStr255 *outName, FSSpec *fsSpec, FSRef *parentRef) {
  if (fsSpec != nullptr) return paramErr;
  if (whichInfo != kFSCatInfoNone && catalogInfo == nullptr) return paramErr;
  Object obj;
  OSErr err = Resolve(ref, &obj);
  if (err != noErr) return err;
  return FillCatalogInfo(obj, whichInfo, catalogInfo, outName, parentRef);
}

OSErr FSSetCatalogInfo(const FSRef *ref, FSCatalogInfoBitmap whichInfo, const FSCatalogInfo *catalogInfo) {
  Object obj;
  OSErr err = Resolve(ref, &obj);
  if (err != noErr) return err;
  return ApplyCatalogInfo(obj, whichInfo, catalogInfo);
}

// ---- Iterators -------------------------------------------------------------------------------------------------------

OSErr FSOpenIterator(const FSRef *container, FSIteratorFlags iteratorFlags, FSIterator *iterator) {
  if (iterator == nullptr) return paramErr;
  if (iteratorFlags & kFSIterateReserved) return errFSBadIteratorFlags;
  if (iteratorFlags & kFSIterateSubtree) return errFSIteratorNotSupported;
  Object folder;
  OSErr err = ResolveFolder(container, &folder);
  if (err != noErr) return err;
  DIR *dir = opendir(folder.path.c_str());
  if (dir == nullptr) return errno == EACCES || errno == EPERM ? afpAccessDenied : PL_OSStatusFromErrno(errno);
  auto it = std::make_unique<OpaqueFSIterator>();
  it->folder = folder.path;
  it->modified = folder.st.st_mtim;
  while (dirent *e = readdir(dir)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) it->names.emplace_back(e->d_name);
  }
  closedir(dir);
  std::sort(it->names.begin(), it->names.end());
  *iterator = it.release();
  return noErr;
}

OSErr FSCloseIterator(FSIterator iterator) {
  if (iterator == nullptr) return paramErr;
  delete iterator;
  return noErr;
}

OSErr FSGetCatalogInfoBulk(FSIterator iterator, ItemCount maximumObjects, ItemCount *actualObjects,
                           Boolean *containerChanged, FSCatalogInfoBitmap whichInfo, FSCatalogInfo *catalogInfos,
                           FSRef *refs, FSSpec *specs, HFSUniStr255 *names) {
  if (iterator == nullptr || actualObjects == nullptr || specs != nullptr) return paramErr;
  if (whichInfo != kFSCatInfoNone && catalogInfos == nullptr) return paramErr;
  *actualObjects = 0;
  if (maximumObjects == 0) return errFSBadItemCount;
  if (containerChanged) {
    struct stat st;
    *containerChanged = stat(iterator->folder.c_str(), &st) != 0 || !SameTime(st.st_mtim, iterator->modified);
  }
  ItemCount count = 0;
  while (count < maximumObjects && iterator->next < iterator->names.size()) {
    const std::string &name = iterator->names[iterator->next++];
    Object obj;
    if (LookUpChild(iterator->folder, name, &obj) != noErr) continue;  // gone since the snapshot
    if (whichInfo != kFSCatInfoNone &&
        FillCatalogInfo(obj, whichInfo, &catalogInfos[count], nullptr, nullptr) != noErr)
      continue;
    if (refs) FillRef(obj.path, obj.st, &refs[count]);
    if (names) SetName(name, &names[count]);
    ++count;
  }
  *actualObjects = count;
  return count > 0 ? noErr : errFSNoMoreItems;
}
