// File Manager stand-in, volumes: a table of the mounted volumes that hold files, over
// /proc/self/mountinfo, statvfs and statfs.
#include "platform/core/files.h"
#include "platform/core/files_internal.h"

#include "platform/core/mac_errors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <unordered_map>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <unistd.h>

namespace pl_files {

// ---- Volumes -----------------------------------------------------------------------------------------------

namespace {

struct VolumeTable {
  std::mutex lock;
  std::vector<Volume> volumes;  // index i has reference number -100 - i
};

VolumeTable &Volumes() {
  static VolumeTable *table = new VolumeTable;
  return *table;
}

}  // namespace

FSVolumeRefNum RefNumForIndex(size_t index) { return FSVolumeRefNum(-100 - SInt32(index)); }

namespace {

std::string UnescapeMountField(const std::string &field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const std::string oct = field.substr(i + 1, 3);
      if (oct.size() == 3 && std::all_of(oct.begin(), oct.end(), [](char c) { return c >= '0' && c <= '7'; })) {
        out.push_back(char(std::stoi(oct, nullptr, 8)));
        i += 3;
        continue;
      }
    }
    out.push_back(field[i]);
  }
  return out;
}

struct MountLine {
  std::string mountPoint;
  std::string fsType;
  std::string source;
};

std::vector<MountLine> ReadMounts() {
  std::vector<MountLine> mounts;
  std::ifstream in("/proc/self/mountinfo");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::vector<std::string> parts;
    std::string part;
    while (fields >> part) parts.push_back(part);
    // Fields: id, parent, major:minor, root, mount point, options..., "-", type, source, super options.
    auto dash = std::find(parts.begin(), parts.end(), "-");
    if (parts.size() < 5 || dash == parts.end() || std::distance(dash, parts.end()) < 3) continue;
    MountLine m;
    m.mountPoint = UnescapeMountField(parts[4]);
    m.fsType = *(dash + 1);
    m.source = UnescapeMountField(*(dash + 2));
    mounts.push_back(m);
  }
  return mounts;
}

bool HoldsFiles(const MountLine &m) {
  static const char *const kPseudo[] = {"proc",     "sysfs",      "devtmpfs", "devpts",  "cgroup",  "cgroup2",
                                        "mqueue",   "debugfs",    "tracefs",  "securityfs", "pstore", "bpf",
                                        "configfs", "fusectl",    "hugetlbfs", "autofs", "binfmt_misc", "nsfs",
                                        "efivarfs", "rpc_pipefs", "selinuxfs"};
  for (const char *type : kPseudo)
    if (m.fsType == type) return false;
  for (const char *top : {"/proc", "/sys", "/dev", "/run"}) {
    const std::string t(top);
    if (m.mountPoint == t || m.mountPoint.compare(0, t.size() + 1, t + "/") == 0) return false;
  }
  return true;
}

// Registers a device found at `mountPoint` (caller holds the table lock); returns its index.
size_t RegisterVolumeLocked(VolumeTable &t, dev_t device, const std::string &mountPoint,
                            const std::vector<MountLine> *mounts) {
  for (size_t i = 0; i < t.volumes.size(); ++i)
    if (t.volumes[i].device == device) return i;
  Volume v{device, mountPoint, std::string(), std::string()};
  std::vector<MountLine> read;
  if (mounts == nullptr) {
    read = ReadMounts();
    mounts = &read;
  }
  for (const MountLine &m : *mounts) {
    if (m.mountPoint == mountPoint) {  // the last line wins: later mounts cover earlier ones
      v.fsType = m.fsType;
      v.deviceName = BaseName(m.source);
    }
  }
  t.volumes.push_back(v);
  return t.volumes.size() - 1;
}

// The mount point of the object at `path` (device `device`): walk up while the parent has the same device.
std::string FindMountPoint(const std::string &path, dev_t device) {
  std::string current = path;
  while (current != "/") {
    std::string parent = DirName(current);
    struct stat st;
    if (stat(parent.c_str(), &st) != 0 || st.st_dev != device) break;
    current = parent;
  }
  return current;
}

}  // namespace

size_t VolumeIndexFor(const Object &obj) {
  VolumeTable &t = Volumes();
  {
    std::lock_guard<std::mutex> hold(t.lock);
    for (size_t i = 0; i < t.volumes.size(); ++i)
      if (t.volumes[i].device == obj.st.st_dev) return i;
  }
  std::string mountPoint = FindMountPoint(S_ISDIR(obj.st.st_mode) ? obj.path : DirName(obj.path), obj.st.st_dev);
  if (!S_ISDIR(obj.st.st_mode)) {
    struct stat folder;
    if (stat(DirName(obj.path).c_str(), &folder) != 0 || folder.st_dev != obj.st.st_dev) mountPoint = obj.path;
  }
  std::vector<MountLine> mounts = ReadMounts();
  std::lock_guard<std::mutex> hold(t.lock);
  return RegisterVolumeLocked(t, obj.st.st_dev, mountPoint, &mounts);
}

bool GetVolume(FSVolumeRefNum refNum, Volume *out) {
  SInt32 index = -100 - SInt32(refNum);
  VolumeTable &t = Volumes();
  std::lock_guard<std::mutex> hold(t.lock);
  if (index < 0 || size_t(index) >= t.volumes.size()) return false;
  *out = t.volumes[index];
  return true;
}

namespace {

// The mounted volumes that hold files, in mount order, registered; returns their reference numbers.
std::vector<FSVolumeRefNum> ListVolumes() {
  std::vector<MountLine> mounts = ReadMounts();
  std::vector<FSVolumeRefNum> list;
  std::vector<dev_t> seen;
  VolumeTable &t = Volumes();
  for (const MountLine &m : mounts) {
    if (!HoldsFiles(m)) continue;
    struct stat st;
    if (stat(m.mountPoint.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
    if (std::find(seen.begin(), seen.end(), st.st_dev) != seen.end()) continue;
    seen.push_back(st.st_dev);
    std::lock_guard<std::mutex> hold(t.lock);
    list.push_back(RefNumForIndex(RegisterVolumeLocked(t, st.st_dev, m.mountPoint, &mounts)));
  }
  return list;
}

}  // namespace

bool IsVolumeRoot(const Object &obj, size_t volumeIndex) {
  if (obj.path == "/") return true;
  VolumeTable &t = Volumes();
  std::lock_guard<std::mutex> hold(t.lock);
  return t.volumes[volumeIndex].mountPoint == obj.path;
}

std::string VolumeName(const Volume &v) { return v.mountPoint == "/" ? std::string("/") : BaseName(v.mountPoint); }

}  // namespace pl_files

using namespace pl_files;

// ---- Volumes -----------------------------------------------------------------------------------------------------------

OSErr FSGetVolumeInfo(FSVolumeRefNum volume, ItemCount volumeIndex, FSVolumeRefNum *actualVolume,
                      FSVolumeInfoBitmap whichInfo, FSVolumeInfo *info, HFSUniStr255 *volumeName,
                      FSRef *rootDirectory) {
  if (whichInfo != kFSVolInfoNone && info == nullptr) return paramErr;
  FSVolumeRefNum refNum = volume;
  if (volume == kFSInvalidVolumeRefNum) {
    if (volumeIndex == 0) return nsvErr;
    std::vector<FSVolumeRefNum> list = ListVolumes();
    if (volumeIndex > list.size()) return nsvErr;
    refNum = list[volumeIndex - 1];
  }
  Volume v;
  if (!GetVolume(refNum, &v)) return nsvErr;
  struct stat rootStat;
  if (stat(v.mountPoint.c_str(), &rootStat) != 0 || rootStat.st_dev != v.device) return nsvErr;
  if (whichInfo != kFSVolInfoNone) {
    struct statvfs vfs;
    struct statfs fs;
    if (statvfs(v.mountPoint.c_str(), &vfs) != 0 || statfs(v.mountPoint.c_str(), &fs) != 0)
      return PL_OSStatusFromErrno(errno);
    FSVolumeInfo out{};
    const UInt64 unit = vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize;
    out.modifyDate = UTCFromTimespec(rootStat.st_mtim.tv_sec, rootStat.st_mtim.tv_nsec);
    out.totalBytes = UInt64(vfs.f_blocks) * unit;
    out.freeBytes = UInt64(vfs.f_bavail) * unit;
    out.blockSize = UInt32(unit);
    out.totalBlocks = UInt32(std::min<UInt64>(vfs.f_blocks, 0xFFFFFFFFu));
    out.freeBlocks = UInt32(std::min<UInt64>(vfs.f_bavail, 0xFFFFFFFFu));
    out.flags = (vfs.f_flag & ST_RDONLY) ? kFSVolFlagHardwareLockedMask : 0;
    const UInt32 type = UInt32(fs.f_type);
    out.filesystemID = UInt16(type) ? UInt16(type) : UInt16(type >> 16);
    out.signature = UInt16(type >> 16);
    *info = out;
  }
  if (actualVolume) *actualVolume = refNum;
  if (volumeName) SetName(VolumeName(v), volumeName);
  if (rootDirectory) FillRef(v.mountPoint, rootStat, rootDirectory);
  return noErr;
}

OSStatus FSGetVolumeParms(FSVolumeRefNum volume, GetVolParmsInfoBuffer *buffer, ByteCount bufferSize) {
  if (buffer == nullptr) return paramErr;
  Volume v;
  if (!GetVolume(volume, &v)) return nsvErr;
  struct statfs fs;
  if (statfs(v.mountPoint.c_str(), &fs) != 0) return PL_OSStatusFromErrno(errno);
  // File-system magic numbers of network file systems; the FUSE one also covers sshfs and its kin.
  static const UInt32 kNetworkTypes[] = {0x6969,     0x517B,     0xFF534D42, 0xFE534D42, 0x01021997,
                                         0x00C36400, 0x5346414F, 0x73757245, 0x65735546};
  const UInt32 type = UInt32(fs.f_type);
  bool network = std::find(std::begin(kNetworkTypes), std::end(kNetworkTypes), type) != std::end(kNetworkTypes);
  if (type == 0x65735546) network = v.fsType.find("ssh") != std::string::npos;  // plain FUSE may be local

  static std::mutex namesLock;
  static std::unordered_map<std::string, std::unique_ptr<std::string>> deviceNames;  // kept for the process
  const char *deviceName;
  {
    std::lock_guard<std::mutex> hold(namesLock);
    auto &slot = deviceNames[v.deviceName];
    if (!slot) slot = std::make_unique<std::string>(v.deviceName);
    deviceName = slot->c_str();
  }
  GetVolParmsInfoBuffer parms{};
  parms.vMVersion = 4;
  parms.vMServerAdr = network ? 1 : 0;
  parms.vMDeviceID = const_cast<char *>(deviceName);
  std::memcpy(buffer, &parms, std::min<size_t>(bufferSize, sizeof parms));
  return noErr;
}

OSErr FSFlushVolume(FSVolumeRefNum vRefNum) {
  Volume v;
  if (!GetVolume(vRefNum, &v)) return nsvErr;
  int fd = open(v.mountPoint.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return PL_OSStatusFromErrno(errno);
  int rc = syncfs(fd);
  int error = errno;
  close(fd);
  return rc == 0 ? noErr : PL_OSStatusFromErrno(error);
}
