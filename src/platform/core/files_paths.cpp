// File Manager stand-in, paths: names, the path table behind FSRef, references, creating, deleting, renaming
// and moving, special folders and the classic default directory.
#include "platform/core/files.h"
#include "platform/core/files_internal.h"
#include "platform/core/cf_object.h"

#include "platform/core/mac_errors.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <unordered_map>
#include <vector>

#include <fcntl.h>
#include <linux/fs.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace pl_files {

// ---- Names ------------------------------------------------------------------------------------------------

const char kResourceForkName[] = "RESOURCE_FORK";

namespace {

// A name as it may stand in a folder: converted, and neither empty, "." nor "..", nor holding '/' or NUL.
OSErr NameFromUniChars(const UniChar *name, UniCharCount length, std::string *utf8) {
  if (length == 0) return errFSMissingName;
  if (name == nullptr) return paramErr;
  if (length > 255) return errFSNameTooLong;
  if (PL_UTF8FromUniChars(name, length, utf8) != noErr) return bdNamErr;
  if (*utf8 == "." || *utf8 == ".." || utf8->find('/') != std::string::npos ||
      utf8->find('\0') != std::string::npos)
    return bdNamErr;
  if (utf8->size() > NAME_MAX) return errFSNameTooLong;
  return noErr;
}

}  // namespace

void SetName(const std::string &utf8, HFSUniStr255 *out) {
  // Bytes that are no UTF-8 (a name from another system) show as U+FFFD.
  const std::u16string u = PL_DecodeUTF8WithReplacement(utf8);
  // A Linux name of 255 bytes holds at most 255 UTF-16 units; cut at a whole character all the same.
  size_t n = std::min<size_t>(u.size(), 255);
  if (n < u.size() && n > 0 && u[n - 1] >= 0xD800 && u[n - 1] <= 0xDBFF) --n;
  out->length = UInt16(n);
  std::copy(u.begin(), u.begin() + n, out->unicode);
}

std::string BaseName(const std::string &path) {
  if (path == "/") return path;
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DirName(const std::string &path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return path.substr(0, slash);
}

std::string JoinPath(const std::string &folder, const std::string &name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

// ---- Path table behind FSRef ---------------------------------------------------------------------------

namespace {

constexpr UInt32 kRefMagic = 'BzRf';

struct RefData {
  UInt32 magic;
  UInt32 pathId;
  UInt64 device;
  UInt64 inode;
  UInt8 unused[56];
};
static_assert(sizeof(RefData) == sizeof(FSRef), "FSRef is 80 bytes");

// A recorded path. When a file was replaced in place through this layer, references to the earlier files
// at that path still name the place: they are accepted while the path holds `currentInode`.
struct PathEntry {
  std::string path;
  UInt64 currentInode = 0;
  std::vector<UInt64> formerInodes;
};

struct PathTable {
  std::mutex lock;
  std::vector<PathEntry> paths{PathEntry()};  // id 0 is never used
  std::unordered_map<std::string, UInt32> ids;
};

PathTable &Paths() {
  static PathTable *table = new PathTable;  // lives to the very end: references may be used from atexit code
  return *table;
}

UInt32 InternPath(const std::string &path) {
  PathTable &t = Paths();
  std::lock_guard<std::mutex> hold(t.lock);
  auto found = t.ids.find(path);
  if (found != t.ids.end()) return found->second;
  UInt32 id = UInt32(t.paths.size());
  t.paths.push_back(PathEntry{path, 0, {}});
  t.ids.emplace(path, id);
  return id;
}

// After a rename or move: every recorded path at or below `from` now lies below `to`.
void PathsMoved(const std::string &from, const std::string &to) {
  PathTable &t = Paths();
  std::lock_guard<std::mutex> hold(t.lock);
  const std::string prefix = from + "/";
  for (UInt32 id = 1; id < t.paths.size(); ++id) {
    std::string &p = t.paths[id].path;
    std::string moved;
    if (p == from) {
      moved = to;
    } else if (p.compare(0, prefix.size(), prefix) == 0) {
      moved = to + p.substr(from.size());
    } else {
      continue;
    }
    auto old = t.ids.find(p);
    if (old != t.ids.end() && old->second == id) t.ids.erase(old);
    p = moved;
    t.ids[moved] = id;
  }
}

}  // namespace

void FillRef(const std::string &path, const struct stat &st, FSRef *ref) {
  RefData data{};
  data.magic = kRefMagic;
  data.pathId = InternPath(path);
  data.device = UInt64(st.st_dev);
  data.inode = UInt64(st.st_ino);
  std::memcpy(ref, &data, sizeof data);
}

// Checks a reference and finds its object. errFSBadFSRef for a malformed one (all zeros included), fnfErr
// when the object no longer lives at its path.
OSErr Resolve(const FSRef *ref, Object *obj) {
  if (ref == nullptr) return paramErr;
  RefData data;
  std::memcpy(&data, ref, sizeof data);
  if (data.magic != kRefMagic || data.pathId == 0) return errFSBadFSRef;
  PathEntry entry;
  {
    PathTable &t = Paths();
    std::lock_guard<std::mutex> hold(t.lock);
    if (data.pathId >= t.paths.size()) return errFSBadFSRef;
    entry = t.paths[data.pathId];
  }
  obj->path = entry.path;
  if (lstat(obj->path.c_str(), &obj->st) != 0) return errno == ENOENT ? fnfErr : PL_OSStatusFromErrno(errno);
  if (UInt64(obj->st.st_dev) != data.device) return fnfErr;
  if (UInt64(obj->st.st_ino) == data.inode) return noErr;
  const bool replacedHere = UInt64(obj->st.st_ino) == entry.currentInode &&
                            std::find(entry.formerInodes.begin(), entry.formerInodes.end(), data.inode) !=
                                entry.formerInodes.end();
  return replacedHere ? noErr : fnfErr;
}

OSErr ResolveFolder(const FSRef *ref, Object *obj) {
  OSErr err = Resolve(ref, obj);
  if (err == noErr && !S_ISDIR(obj->st.st_mode)) err = errFSNotAFolder;
  return err;
}

// The object named `name` in `folder`, following a symbolic link to its target.
OSErr LookUpChild(const std::string &folder, const std::string &name, Object *obj) {
  obj->path = JoinPath(folder, name);
  if (lstat(obj->path.c_str(), &obj->st) != 0) return errno == ENOENT ? fnfErr : PL_OSStatusFromErrno(errno);
  if (S_ISLNK(obj->st.st_mode)) {
    char *real = realpath(obj->path.c_str(), nullptr);
    if (real == nullptr) return errno == ENOENT ? fnfErr : PL_OSStatusFromErrno(errno);
    obj->path = real;
    std::free(real);
    if (lstat(obj->path.c_str(), &obj->st) != 0) return PL_OSStatusFromErrno(errno);
  }
  return noErr;
}

namespace {

// Creates the folder at `path` and the folders above it that are missing.
OSErr MakeFolders(const std::string &path, mode_t mode) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? noErr : errFSNotAFolder;
  if (path != "/" && path.find('/') != std::string::npos) {
    OSErr err = MakeFolders(DirName(path), mode);
    if (err != noErr) return err;
  }
  if (mkdir(path.c_str(), mode) != 0 && errno != EEXIST) return PL_OSStatusFromErrno(errno);
  return noErr;
}

std::string HomeFolder() {
  const char *home = std::getenv("HOME");
  if (home && *home == '/') return home;
  passwd *pw = getpwuid(getuid());
  return pw && pw->pw_dir ? pw->pw_dir : "/";
}

// An XDG base folder: the variable when it holds an absolute path, else the default below the home folder.
std::string XdgFolder(const char *variable, const char *fallbackBelowHome) {
  const char *value = std::getenv(variable);
  if (value && *value == '/') return value;
  return HomeFolder() + "/" + fallbackBelowHome;
}

// XDG_VIDEOS_DIR from user-dirs.dirs, as xdg-user-dir reads it; ~/Videos when it is not there.
std::string VideosFolder() {
  std::ifstream in(XdgFolder("XDG_CONFIG_HOME", ".config") + "/user-dirs.dirs");
  std::string line;
  while (std::getline(in, line)) {
    const std::string key = "XDG_VIDEOS_DIR=";
    if (line.compare(0, key.size(), key) != 0) continue;
    std::string value = line.substr(key.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (value.compare(0, 5, "$HOME") == 0) value = HomeFolder() + value.substr(5);
    if (!value.empty() && value[0] == '/' && value != HomeFolder() && value != HomeFolder() + "/") return value;
  }
  return HomeFolder() + "/Videos";
}


}  // namespace

}  // namespace pl_files

using namespace pl_files;

// ---- References -----------------------------------------------------------------------------------------------

OSStatus FSPathMakeRef(const UInt8 *path, FSRef *ref, Boolean *isDirectory) {
  if (path == nullptr || ref == nullptr) return paramErr;
  if (*path == 0) return fnfErr;
  char *real = realpath(reinterpret_cast<const char *>(path), nullptr);
  if (real == nullptr) return errno == ENOENT || errno == ENOTDIR ? fnfErr : PL_OSStatusFromErrno(errno);
  Object obj{real, {}};
  std::free(real);
  if (lstat(obj.path.c_str(), &obj.st) != 0) return PL_OSStatusFromErrno(errno);
  FillRef(obj.path, obj.st, ref);
  if (isDirectory) *isDirectory = S_ISDIR(obj.st.st_mode) ? 1 : 0;
  return noErr;
}

OSStatus FSRefMakePath(const FSRef *ref, UInt8 *path, UInt32 maxPathSize) {
  if (path == nullptr) return paramErr;
  Object obj;
  OSErr err = Resolve(ref, &obj);
  if (err != noErr) return err;
  if (obj.path.size() + 1 > maxPathSize) return pathTooLongErr;
  std::memcpy(path, obj.path.c_str(), obj.path.size() + 1);
  return noErr;
}

OSStatus PL_FSRefMakePathString(const FSRef *ref, std::string *path) {
  if (path == nullptr) return paramErr;
  Object obj;
  OSErr err = Resolve(ref, &obj);
  if (err == noErr) *path = obj.path;
  return err;
}

OSErr FSMakeFSRefUnicode(const FSRef *parentRef, UniCharCount nameLength, const UniChar *name, TextEncoding,
                         FSRef *newRef) {
  if (newRef == nullptr) return paramErr;
  Object parent, child;
  std::string utf8;
  OSErr err = ResolveFolder(parentRef, &parent);
  if (err == noErr) err = NameFromUniChars(name, nameLength, &utf8);
  if (err == noErr) err = LookUpChild(parent.path, utf8, &child);
  if (err == noErr) FillRef(child.path, child.st, newRef);
  return err;
}

OSErr FSCompareFSRefs(const FSRef *ref1, const FSRef *ref2) {
  Object a, b;
  OSErr err = Resolve(ref1, &a);
  if (err == noErr) err = Resolve(ref2, &b);
  if (err != noErr) return err;
  return a.st.st_dev == b.st.st_dev && a.st.st_ino == b.st.st_ino ? noErr : errFSRefsDifferent;
}

// ---- Creating, deleting, renaming, moving -----------------------------------------------------------------------

namespace {

OSErr CreateObject(const FSRef *parentRef, UniCharCount nameLength, const UniChar *name, FSCatalogInfoBitmap whichInfo,
                   const FSCatalogInfo *catalogInfo, FSRef *newRef, FSSpec *newSpec, bool folder, UInt32 *newDirID) {
  if (newSpec != nullptr) return paramErr;
  if ((whichInfo & kFSCatInfoSettableInfo) != 0 && catalogInfo == nullptr) return paramErr;
  Object parent, obj;
  std::string utf8;
  OSErr err = ResolveFolder(parentRef, &parent);
  if (err == noErr) err = NameFromUniChars(name, nameLength, &utf8);
  if (err != noErr) return err;
  obj.path = JoinPath(parent.path, utf8);
  if (folder) {
    if (mkdir(obj.path.c_str(), 0777) != 0) return PL_OSStatusFromErrno(errno);
  } else {
    int fd = open(obj.path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) return PL_OSStatusFromErrno(errno);
    close(fd);
  }
  if (lstat(obj.path.c_str(), &obj.st) != 0) return PL_OSStatusFromErrno(errno);
  err = ApplyCatalogInfo(obj, whichInfo, catalogInfo);
  if (err != noErr) {
    // Leave nothing half made behind.
    if (folder) rmdir(obj.path.c_str());
    else unlink(obj.path.c_str());
    return err;
  }
  if (newRef) FillRef(obj.path, obj.st, newRef);
  if (newDirID) *newDirID = NodeIDFor(obj.st, false);
  return noErr;
}

bool HasOpenFork(const struct stat &st) { return OpenForkFlags(st) != 0; }

// rename without replacing; the fallback for file systems without RENAME_NOREPLACE checks first.
int RenameNoReplace(const std::string &from, const std::string &to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  struct stat st;
  if (lstat(to.c_str(), &st) == 0) {
    errno = EEXIST;
    return -1;
  }
  return rename(from.c_str(), to.c_str());
}

OSErr RenameErr(int error) {
  switch (error) {
    case EINVAL:
      return badMovErr;
    case ENOTEMPTY:
      return dupFNErr;
    case ENOTDIR:
      return errFSNotAFolder;
    default:
      return PL_OSStatusFromErrno(error);
  }
}

}  // namespace

OSErr FSCreateFileUnicode(const FSRef *parentRef, UniCharCount nameLength, const UniChar *name,
                          FSCatalogInfoBitmap whichInfo, const FSCatalogInfo *catalogInfo, FSRef *newRef,
                          FSSpec *newSpec) {
  return CreateObject(parentRef, nameLength, name, whichInfo, catalogInfo, newRef, newSpec, false, nullptr);
}

OSErr FSCreateDirectoryUnicode(const FSRef *parentRef, UniCharCount nameLength, const UniChar *name,
                               FSCatalogInfoBitmap whichInfo, const FSCatalogInfo *catalogInfo, FSRef *newRef,
                               FSSpec *newSpec, UInt32 *newDirID) {
  return CreateObject(parentRef, nameLength, name, whichInfo, catalogInfo, newRef, newSpec, true, newDirID);
}

OSErr FSDeleteObject(const FSRef *ref) {
  Object obj;
  OSErr err = Resolve(ref, &obj);
  if (err != noErr) return err;
  if (obj.path == "/") return fBsyErr;
  if (IsImmutable(obj)) return fLckdErr;
  if (S_ISDIR(obj.st.st_mode)) {
    if (rmdir(obj.path.c_str()) != 0)
      return errno == ENOTEMPTY || errno == EEXIST || errno == EBUSY ? fBsyErr : PL_OSStatusFromErrno(errno);
    return noErr;
  }
  if (HasOpenFork(obj.st)) return fBsyErr;
  if (unlink(obj.path.c_str()) != 0) return PL_OSStatusFromErrno(errno);
  return noErr;
}

OSErr FSRenameUnicode(const FSRef *ref, UniCharCount nameLength, const UniChar *name, TextEncoding, FSRef *newRef) {
  Object obj;
  std::string utf8;
  OSErr err = Resolve(ref, &obj);
  if (err == noErr) err = NameFromUniChars(name, nameLength, &utf8);
  if (err != noErr) return err;
  if (obj.path == "/") return paramErr;
  const std::string target = JoinPath(DirName(obj.path), utf8);
  if (target != obj.path) {
    if (IsImmutable(obj)) return fLckdErr;
    if (RenameNoReplace(obj.path, target) != 0) return RenameErr(errno);
    PathsMoved(obj.path, target);
  }
  if (newRef) FillRef(target, obj.st, newRef);
  return noErr;
}

OSErr FSMoveObject(const FSRef *ref, const FSRef *destDirectory, FSRef *newRef) {
  Object obj, dest;
  OSErr err = Resolve(ref, &obj);
  if (err == noErr) err = ResolveFolder(destDirectory, &dest);
  if (err != noErr) return err;
  if (obj.path == "/") return badMovErr;
  const std::string target = JoinPath(dest.path, BaseName(obj.path));
  if (target != obj.path) {
    if (obj.st.st_dev != dest.st.st_dev) return diffVolErr;
    if (dest.path.compare(0, obj.path.size() + 1, obj.path + "/") == 0) return badMovErr;
    if (IsImmutable(obj)) return fLckdErr;
    if (RenameNoReplace(obj.path, target) != 0) return RenameErr(errno);
    PathsMoved(obj.path, target);
  }
  if (newRef) FillRef(target, obj.st, newRef);
  return noErr;
}

OSErr PL_FSReplaceObject(const FSRef *target, const FSRef *replacement) {
  Object obj, with;
  OSErr err = Resolve(target, &obj);
  if (err == noErr) err = Resolve(replacement, &with);
  if (err != noErr) return err;
  if (!S_ISREG(obj.st.st_mode) || !S_ISREG(with.st.st_mode)) return notAFileErr;
  if (obj.st.st_dev != with.st.st_dev) return diffVolErr;
  if (obj.st.st_ino == with.st.st_ino) return noErr;
  if (IsImmutable(obj)) return fLckdErr;
  if (HasOpenFork(obj.st) || HasOpenFork(with.st)) return fBsyErr;
  if (rename(with.path.c_str(), obj.path.c_str()) != 0) return RenameErr(errno);
  // The new name must reach the disk too, or a crash could bring the old file back.
  int folder = open(DirName(obj.path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    fsync(folder);
    close(folder);
  }
  RefData data;
  std::memcpy(&data, target, sizeof data);
  PathTable &t = Paths();
  std::lock_guard<std::mutex> hold(t.lock);
  auto found = t.ids.find(obj.path);
  const UInt32 interned = found != t.ids.end() ? found->second : 0;
  for (UInt32 id : {data.pathId, interned}) {
    if (id == 0 || t.paths[id].path != obj.path) continue;
    PathEntry &entry = t.paths[id];
    if (std::find(entry.formerInodes.begin(), entry.formerInodes.end(), UInt64(obj.st.st_ino)) ==
        entry.formerInodes.end())
      entry.formerInodes.push_back(UInt64(obj.st.st_ino));
    entry.currentInode = UInt64(with.st.st_ino);
  }
  return noErr;
}

// ---- Special folders --------------------------------------------------------------------------------------------------

OSErr FSFindFolder(FSVolumeRefNum vRefNum, OSType folderType, Boolean createFolder, FSRef *foundRef) {
  if (foundRef == nullptr) return paramErr;
  if (vRefNum == kClassicDomain || vRefNum == kNetworkDomain) return fnfErr;
  std::string path;
  mode_t mode = 0700;
  bool mayCreate = true;
  switch (folderType) {
    case kSystemFolderType:
      path = "/";
      break;
    case kSystemSoundsFolderType:
      path = "/usr/share/sounds";
      mayCreate = false;
      break;
    case kPreferencesFolderType:
      path = XdgFolder("XDG_CONFIG_HOME", ".config") + "/brizel";
      break;
    case kLogsFolderType:
      path = XdgFolder("XDG_STATE_HOME", ".local/state") + "/brizel/logs";
      break;
    case kTemporaryFolderType:
    case kUserTemporaryItemsFolderType: {
      const char *tmp = std::getenv("TMPDIR");
      path = tmp && *tmp == '/' ? tmp : "/tmp";
      break;
    }
    case kMovieDocumentsFolderType:
      path = VideosFolder();
      mode = 0755;
      break;
    case kTrashFolderType: {
      const std::string homeTrash = XdgFolder("XDG_DATA_HOME", ".local/share") + "/Trash";
      path = homeTrash;
      if (vRefNum <= -100 && vRefNum > -32000) {  // a volume's reference number, not a domain
        Volume v;
        if (!GetVolume(vRefNum, &v)) return nsvErr;
        struct stat home;
        bool homeVolume = stat(XdgFolder("XDG_DATA_HOME", ".local/share").c_str(), &home) == 0 &&
                          home.st_dev == v.device;
        if (!homeVolume) path = JoinPath(v.mountPoint, ".Trash-" + std::to_string(getuid()));
      }
      break;
    }
    default:
      return fnfErr;
  }
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    if (errno != ENOENT) return PL_OSStatusFromErrno(errno);
    if (!createFolder || !mayCreate) return fnfErr;
    OSErr err = MakeFolders(path, mode);
    if (err != noErr) return err;
  }
  return FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), foundRef, nullptr);
}

// ---- Helpers ----------------------------------------------------------------------------------------------------------

OSStatus PL_HFSUniStr255FromUTF8(const char *utf8, HFSUniStr255 *name) {
  if (utf8 == nullptr || name == nullptr) return paramErr;
  std::u16string u;
  if (!PL_DecodeUTF8(utf8, &u)) return bdNamErr;
  if (u.size() > 255) return errFSNameTooLong;
  name->length = UInt16(u.size());
  std::copy(u.begin(), u.end(), name->unicode);
  return noErr;
}

OSStatus PL_UTF8FromUniChars(const UniChar *chars, UniCharCount count, std::string *utf8) {
  if (utf8 == nullptr || (chars == nullptr && count > 0)) return paramErr;
  // A lone surrogate has no UTF-8 form.
  return PL_EncodeUTF8(std::u16string(chars, chars + count), utf8) ? noErr : bdNamErr;
}

// ---- Default directory and the classic move-and-rename -------------------------------------------------------

namespace {

std::mutex gDefaultDirLock;
std::string gDefaultDir;  // empty: the working directory

std::string DefaultDirPath() {
  std::lock_guard<std::mutex> hold(gDefaultDirLock);
  if (!gDefaultDir.empty()) return gDefaultDir;
  char *cwd = realpath(".", nullptr);
  std::string path = cwd != nullptr ? cwd : "/";
  free(cwd);
  return path;
}

// The folder a classic (volume, directory ID) pair names.
OSErr FolderForDirID(FSVolumeRefNum vRefNum, SInt32 dirID, Object *folder) {
  Object def{DefaultDirPath(), {}};
  if (stat(def.path.c_str(), &def.st) != 0) return PL_OSStatusFromErrno(errno);
  const size_t defVolume = VolumeIndexFor(def);
  Volume volume;
  if (vRefNum == 0 || vRefNum == RefNumForIndex(defVolume)) {
    if (dirID == 0) {
      *folder = def;
      return noErr;
    }
    GetVolume(RefNumForIndex(defVolume), &volume);
  } else if (!GetVolume(vRefNum, &volume)) {
    return nsvErr;
  }
  if (dirID == 0 || UInt32(dirID) == fsRtDirID) {
    folder->path = volume.mountPoint;
    if (stat(folder->path.c_str(), &folder->st) != 0) return PL_OSStatusFromErrno(errno);
    return noErr;
  }
  std::vector<std::string> paths;
  {
    PathTable &t = Paths();
    std::lock_guard<std::mutex> hold(t.lock);
    for (size_t id = 1; id < t.paths.size(); ++id) paths.push_back(t.paths[id].path);
  }
  paths.push_back(def.path);
  if (char *cwd = realpath(".", nullptr)) {
    paths.push_back(cwd);
    free(cwd);
  }
  for (const std::string &p : paths) {
    struct stat st;
    if (stat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_dev != volume.device) continue;
    if (NodeIDFor(st, false) == UInt32(dirID)) {
      *folder = Object{p, st};
      return noErr;
    }
  }
  return dirNFErr;
}

OSErr NameFromPascal(ConstStringPtr name, std::string *out) {
  out->clear();
  if (name == nullptr || name[0] == 0) return noErr;
  out->assign(reinterpret_cast<const char *>(name + 1), name[0]);
  if (out->find('/') != std::string::npos || out->find('\0') != std::string::npos || *out == "." || *out == "..")
    return bdNamErr;
  return noErr;
}

}  // namespace

OSErr HGetVol(StringPtr volName, FSVolumeRefNum *vRefNum, SInt32 *dirID) {
  Object def{DefaultDirPath(), {}};
  if (stat(def.path.c_str(), &def.st) != 0) return PL_OSStatusFromErrno(errno);
  const size_t index = VolumeIndexFor(def);
  if (vRefNum != nullptr) *vRefNum = RefNumForIndex(index);
  if (dirID != nullptr) *dirID = SInt32(NodeIDFor(def.st, IsVolumeRoot(def, index)));
  if (volName != nullptr) {
    Volume v;
    GetVolume(RefNumForIndex(index), &v);
    const std::string name = VolumeName(v).substr(0, 255);
    volName[0] = UInt8(name.size());
    std::memcpy(volName + 1, name.data(), name.size());
  }
  return noErr;
}

OSErr HSetVol(ConstStr63Param, FSVolumeRefNum vRefNum, SInt32 dirID) {
  Object folder;
  OSErr err = FolderForDirID(vRefNum, dirID, &folder);
  if (err != noErr) return err;
  std::lock_guard<std::mutex> hold(gDefaultDirLock);
  gDefaultDir = folder.path;
  return noErr;
}

OSErr PBHMoveRenameSync(HParmBlkPtr paramBlock) {
  if (paramBlock == nullptr) return paramErr;
  CMovePBRec_Copy &pb = paramBlock->copyParam;
  Object from, dest, obj;
  std::string name, destName, newName;
  OSErr err = FolderForDirID(pb.ioVRefNum, pb.ioDirID, &from);
  if (err == noErr) err = FolderForDirID(pb.ioVRefNum, pb.ioNewDirID, &dest);
  if (err == noErr) err = NameFromPascal(pb.ioNamePtr, &name);
  if (err == noErr) err = NameFromPascal(pb.ioNewName, &destName);
  if (err == noErr) err = NameFromPascal(pb.ioCopyName, &newName);
  if (err == noErr && name.empty()) err = bdNamErr;
  if (err == noErr) err = LookUpChild(from.path, name, &obj);
  if (err == noErr && !destName.empty()) {
    Object inner;
    err = LookUpChild(dest.path, destName, &inner);
    if (err == noErr && !S_ISDIR(inner.st.st_mode)) err = dirNFErr;
    if (err == fnfErr) err = dirNFErr;
    dest = inner;
  }
  if (err == noErr) {
    const std::string target = JoinPath(dest.path, newName.empty() ? name : newName);
    if (obj.st.st_dev != dest.st.st_dev) {
      err = diffVolErr;
    } else if (dest.path == obj.path || dest.path.compare(0, obj.path.size() + 1, obj.path + "/") == 0) {
      err = badMovErr;
    } else if (target != obj.path) {
      if (IsImmutable(obj)) {
        err = fLckdErr;
      } else if (RenameNoReplace(obj.path, target) != 0) {
        err = RenameErr(errno);
      } else {
        PathsMoved(obj.path, target);
      }
    }
  }
  pb.ioResult = err;
  return err;
}
