// Alias Manager stand-in: alias records as small XML property lists inside a handle.
#include "platform/core/aliases.h"

#include "platform/core/cf_data.h"
#include "platform/core/cf_dictionary.h"
#include "platform/core/cf_number.h"
#include "platform/core/cf_object.h"
#include "platform/core/cf_plist.h"
#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace {

// Bumped when a key changes meaning; records of another version are not read.
constexpr SInt64 kAliasVersion = 1;

// A record that is bigger than any path and names could make is not ours.
constexpr Size kMaxAliasSize = 64 * 1024;

struct AliasData {
  std::string path;
  CFStringRef name = nullptr;  // the record's strings, borrowed from its dictionary
  CFStringRef parentName = nullptr;
  CFStringRef volumeName = nullptr;
  UInt64 device = 0;
  UInt64 inode = 0;
  UInt64 parentInode = 0;
  UInt16 fileSystemID = 0;
  UInt16 signature = 0;
  bool isFolder = false;
};

std::string ParentPath(const std::string &path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return path.substr(0, slash);
}

CFStringRef StringOfName(const HFSUniStr255 &name) {
  return CFStringCreateWithCharacters(nullptr, name.unicode, name.length);
}

void SetNumber(CFMutableDictionaryRef dict, const char *key, SInt64 value) {
  PL_CFScoped<CFStringRef> k(CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8));
  PL_CFScoped<CFNumberRef> n(CFNumberCreate(nullptr, kCFNumberSInt64Type, &value));
  CFDictionarySetValue(dict, k, n);
}

void SetString(CFMutableDictionaryRef dict, const char *key, CFStringRef value) {
  PL_CFScoped<CFStringRef> k(CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8));
  CFDictionarySetValue(dict, k, value);
}

const void *Value(CFDictionaryRef dict, const char *key, CFTypeID type) {
  PL_CFScoped<CFStringRef> k(CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8));
  const void *v = CFDictionaryGetValue(dict, k);
  return v != nullptr && CFGetTypeID(v) == type ? v : nullptr;
}

bool GetNumber(CFDictionaryRef dict, const char *key, SInt64 *value) {
  auto n = static_cast<CFNumberRef>(Value(dict, key, CFNumberGetTypeID()));
  return n != nullptr && !CFNumberIsFloatType(n) && CFNumberGetValue(n, kCFNumberSInt64Type, value);
}

// The record of the object, as a dictionary (owned).
OSErr MakeRecord(const FSRef *target, CFDictionaryRef *record) {
  *record = nullptr;
  FSCatalogInfo info;
  HFSUniStr255 name;
  FSRef parent;
  OSErr err = FSGetCatalogInfo(target, kFSCatInfoVolume | kFSCatInfoNodeFlags, &info, &name, nullptr, &parent);
  if (err != noErr) return err;
  std::string path;
  err = PL_FSRefMakePathString(target, &path);
  if (err != noErr) return err;
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return PL_OSStatusFromErrno(errno);
  struct stat parentSt;
  const std::string parentPath = ParentPath(path);
  if (stat(parentPath.c_str(), &parentSt) != 0) return PL_OSStatusFromErrno(errno);

  HFSUniStr255 parentName{};
  static const UInt8 kZeroRef[sizeof(FSRef)] = {};
  if (std::memcmp(&parent, kZeroRef, sizeof parent) != 0) {
    err = FSGetCatalogInfo(&parent, kFSCatInfoNone, nullptr, &parentName, nullptr, nullptr);
    if (err != noErr) return err;
  }
  FSVolumeInfo volumeInfo{};
  HFSUniStr255 volumeName{};
  err = FSGetVolumeInfo(info.volume, 0, nullptr, kFSVolInfoFSInfo, &volumeInfo, &volumeName, nullptr);
  if (err != noErr) return err;

  PL_CFScoped<CFMutableDictionaryRef> dict(
      CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
  PL_CFScoped<CFStringRef> pathString(CFStringCreateWithFileSystemRepresentation(nullptr, path.c_str()));
  PL_CFScoped<CFStringRef> nameString(StringOfName(name));
  PL_CFScoped<CFStringRef> parentString(StringOfName(parentName));
  PL_CFScoped<CFStringRef> volumeString(StringOfName(volumeName));
  if (dict.get() == nullptr || pathString.get() == nullptr || nameString.get() == nullptr ||
      parentString.get() == nullptr || volumeString.get() == nullptr) {
    return memFullErr;
  }
  SetNumber(dict, "Version", kAliasVersion);
  SetString(dict, "Path", pathString);
  SetString(dict, "Name", nameString);
  SetString(dict, "ParentName", parentString);
  SetString(dict, "VolumeName", volumeString);
  SetNumber(dict, "Device", SInt64(UInt64(st.st_dev)));
  SetNumber(dict, "Inode", SInt64(UInt64(st.st_ino)));
  SetNumber(dict, "ParentInode", SInt64(UInt64(parentSt.st_ino)));
  SetNumber(dict, "FileSystemID", volumeInfo.filesystemID);
  SetNumber(dict, "Signature", volumeInfo.signature);
  CFDictionarySetValue(dict, CFSTR("IsFolder"), S_ISDIR(st.st_mode) ? kCFBooleanTrue : kCFBooleanFalse);
  *record = dict.release();
  return noErr;
}

// The handle's bytes as a record; false for bytes that are not one of our records.
bool ReadRecord(AliasHandle alias, PL_CFScoped<CFPropertyListRef> *holder, AliasData *data) {
  Handle h = reinterpret_cast<Handle>(alias);
  if (h == nullptr || *h == nullptr) return false;
  const Size size = GetHandleSize(h);
  if (size <= 0 || size > kMaxAliasSize) return false;
  PL_CFScoped<CFDataRef> bytes(CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(*h), CFIndex(size)));
  holder->reset(CFPropertyListCreateFromXMLData(nullptr, bytes, kCFPropertyListImmutable, nullptr));
  if (holder->get() == nullptr || CFGetTypeID(holder->get()) != CFDictionaryGetTypeID()) return false;
  auto dict = static_cast<CFDictionaryRef>(holder->get());
  SInt64 version = 0, device = 0, inode = 0, parentInode = 0, fsID = 0, signature = 0;
  if (!GetNumber(dict, "Version", &version) || version != kAliasVersion) return false;
  auto path = static_cast<CFStringRef>(Value(dict, "Path", CFStringGetTypeID()));
  data->name = static_cast<CFStringRef>(Value(dict, "Name", CFStringGetTypeID()));
  data->parentName = static_cast<CFStringRef>(Value(dict, "ParentName", CFStringGetTypeID()));
  data->volumeName = static_cast<CFStringRef>(Value(dict, "VolumeName", CFStringGetTypeID()));
  auto folder = static_cast<CFBooleanRef>(Value(dict, "IsFolder", CFBooleanGetTypeID()));
  if (path == nullptr || data->name == nullptr || data->parentName == nullptr || data->volumeName == nullptr ||
      folder == nullptr || !GetNumber(dict, "Device", &device) || !GetNumber(dict, "Inode", &inode) ||
      !GetNumber(dict, "ParentInode", &parentInode) || !GetNumber(dict, "FileSystemID", &fsID) ||
      !GetNumber(dict, "Signature", &signature)) {
    return false;
  }
  std::string pathBytes(size_t(CFStringGetMaximumSizeOfFileSystemRepresentation(path)) + 1, '\0');
  if (!CFStringGetFileSystemRepresentation(path, pathBytes.data(), CFIndex(pathBytes.size()))) return false;
  pathBytes.resize(std::strlen(pathBytes.c_str()));
  if (pathBytes.empty() || pathBytes[0] != '/') return false;
  data->path = pathBytes;
  data->device = UInt64(device);
  data->inode = UInt64(inode);
  data->parentInode = UInt64(parentInode);
  data->fileSystemID = UInt16(fsID);
  data->signature = UInt16(signature);
  data->isFolder = CFBooleanGetValue(folder);
  return true;
}

// Puts the record's XML into the handle (resized).
OSErr StoreRecord(CFDictionaryRef record, Handle h) {
  PL_CFScoped<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, record));
  if (xml.get() == nullptr) return paramErr;
  const Size size = Size(CFDataGetLength(xml));
  SetHandleSize(h, size);
  if (MemError() != noErr) return MemError();
  std::memcpy(*h, CFDataGetBytePtr(xml), size_t(size));
  return noErr;
}

OSErr RefForPath(const std::string &path, FSRef *ref) {
  return FSPathMakeRef(reinterpret_cast<const UInt8 *>(path.c_str()), ref, nullptr);
}

// The object with the device and inode inside folder, by name; fnfErr when none has them.
OSErr FindInodeInFolder(const std::string &folder, UInt64 device, UInt64 inode, FSRef *target) {
  DIR *dir = opendir(folder.c_str());
  if (dir == nullptr) return errno == ENOENT || errno == ENOTDIR ? fnfErr : PL_OSStatusFromErrno(errno);
  OSErr result = fnfErr;
  std::string found;
  while (dirent *entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    if (UInt64(entry->d_ino) != inode) continue;
    struct stat st;
    if (fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (UInt64(st.st_dev) == device && UInt64(st.st_ino) == inode) {
      found = (folder == "/" ? "" : folder) + "/" + entry->d_name;
      break;
    }
  }
  closedir(dir);
  if (!found.empty()) result = RefForPath(found, target);
  return result;
}

}  // namespace

OSErr FSNewAlias(const FSRef *, const FSRef *target, AliasHandle *inAlias) {
  if (inAlias == nullptr) return paramErr;
  *inAlias = nullptr;
  if (target == nullptr) return paramErr;
  CFDictionaryRef raw = nullptr;
  OSErr err = MakeRecord(target, &raw);
  PL_CFScoped<CFDictionaryRef> record(raw);
  if (err != noErr) return err;
  Handle h = NewHandle(0);
  if (h == nullptr) return memFullErr;
  err = StoreRecord(record, h);
  if (err != noErr) {
    DisposeHandle(h);
    return err;
  }
  *inAlias = reinterpret_cast<AliasHandle>(h);
  return noErr;
}

OSErr FSNewAliasMinimal(const FSRef *target, AliasHandle *inAlias) { return FSNewAlias(nullptr, target, inAlias); }

OSErr FSResolveAliasWithMountFlags(const FSRef *, AliasHandle inAlias, FSRef *target, Boolean *wasChanged, UInt32) {
  if (target == nullptr || wasChanged == nullptr) return paramErr;
  *wasChanged = false;
  PL_CFScoped<CFPropertyListRef> holder;
  AliasData data;
  if (!ReadRecord(inAlias, &holder, &data)) return paramErr;
  struct stat st;
  if (stat(data.path.c_str(), &st) == 0) {
    OSErr err = RefForPath(data.path, target);
    if (err != noErr) return err;
    *wasChanged = UInt64(st.st_dev) != data.device || UInt64(st.st_ino) != data.inode;
    return noErr;
  }
  if (errno != ENOENT && errno != ENOTDIR) return PL_OSStatusFromErrno(errno);
  OSErr err = FindInodeInFolder(ParentPath(data.path), data.device, data.inode, target);
  if (err == noErr) *wasChanged = true;
  return err;
}

OSErr FSResolveAlias(const FSRef *fromFile, AliasHandle alias, FSRef *target, Boolean *wasChanged) {
  return FSResolveAliasWithMountFlags(fromFile, alias, target, wasChanged, 0);
}

OSErr FSUpdateAlias(const FSRef *, const FSRef *target, AliasHandle alias, Boolean *wasChanged) {
  if (target == nullptr || alias == nullptr || wasChanged == nullptr) return paramErr;
  *wasChanged = false;
  CFDictionaryRef raw = nullptr;
  OSErr err = MakeRecord(target, &raw);
  PL_CFScoped<CFDictionaryRef> record(raw);
  if (err != noErr) return err;
  PL_CFScoped<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, record));
  if (xml.get() == nullptr) return paramErr;
  Handle h = reinterpret_cast<Handle>(alias);
  const Size oldSize = GetHandleSize(h);
  const bool same = oldSize == Size(CFDataGetLength(xml)) &&
                    std::memcmp(*h, CFDataGetBytePtr(xml), size_t(oldSize)) == 0;
  if (same) return noErr;
  err = StoreRecord(record, h);
  if (err == noErr) *wasChanged = true;
  return err;
}

OSStatus FSCopyAliasInfo(AliasHandle inAlias, HFSUniStr255 *targetName, HFSUniStr255 *volumeName,
                         CFStringRef *pathString, FSAliasInfoBitmap *whichInfo, FSAliasInfo *info) {
  PL_CFScoped<CFPropertyListRef> holder;
  AliasData data;
  if (!ReadRecord(inAlias, &holder, &data)) return paramErr;
  auto toName = [](CFStringRef s, HFSUniStr255 *out) {
    const CFIndex n = CFStringGetLength(s);
    if (n > 255) return false;
    out->length = UInt16(n);
    CFStringGetCharacters(s, CFRangeMake(0, n), out->unicode);
    return true;
  };
  HFSUniStr255 target{}, volume{};
  if (!toName(data.name, &target) || !toName(data.volumeName, &volume)) return paramErr;
  if (targetName != nullptr) *targetName = target;
  if (volumeName != nullptr) *volumeName = volume;
  if (pathString != nullptr) *pathString = CFStringCreateWithFileSystemRepresentation(nullptr, data.path.c_str());
  if (info != nullptr) {
    std::memset(info, 0, sizeof *info);
    info->isDirectory = data.isFolder;
    info->parentDirID = UInt32(data.parentInode);
    info->nodeID = UInt32(data.inode);
    info->filesystemID = data.fileSystemID;
    info->signature = data.signature;
  }
  if (whichInfo != nullptr) *whichInfo = kFSAliasInfoIsDirectory | kFSAliasInfoIDs | kFSAliasInfoFSInfo;
  return noErr;
}
