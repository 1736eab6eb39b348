// File Manager stand-in over POSIX: a path table behind FSRef, stat/statx for catalog information, an
// extended attribute for the Finder labels, a fork table over pread/pwrite, snapshot iterators and a volume
// table over /proc/self/mountinfo.
#include "platform/core/files.h"

#include "platform/core/mac_errors.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <unordered_map>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

// ---- Names ------------------------------------------------------------------------------------------------

const char kResourceForkName[] = "RESOURCE_FORK";
const char kLabelAttribute[] = "user.brizel.catinfo";

void AppendUTF8(UInt32 cp, std::string *out) {
  if (cp < 0x80) {
    out->push_back(char(cp));
  } else if (cp < 0x800) {
    out->push_back(char(0xC0 | (cp >> 6)));
    out->push_back(char(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(char(0xE0 | (cp >> 12)));
    out->push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(char(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(char(0xF0 | (cp >> 18)));
    out->push_back(char(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(char(0x80 | (cp & 0x3F)));
  }
}

// Decodes one UTF-8 sequence at s[i]; returns false for a malformed one (overlong, surrogate, truncated).
bool DecodeUTF8(const std::string &s, size_t *i, UInt32 *cp) {
  const UInt8 c = UInt8(s[*i]);
  int extra = 0;
  UInt32 value = 0, minimum = 0;
  if (c < 0x80) {
    *cp = c;
    ++*i;
    return true;
  } else if ((c & 0xE0) == 0xC0) {
    extra = 1, value = c & 0x1F, minimum = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    extra = 2, value = c & 0x0F, minimum = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    extra = 3, value = c & 0x07, minimum = 0x10000;
  } else {
    return false;
  }
  if (*i + extra >= s.size()) return false;
  for (int k = 1; k <= extra; ++k) {
    const UInt8 t = UInt8(s[*i + k]);
    if ((t & 0xC0) != 0x80) return false;
    value = (value << 6) | (t & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
  *cp = value;
  *i += extra + 1;
  return true;
}

// UTF-8 to UTF-16; malformed bytes become U+FFFD when lenient, else the conversion fails.
bool UTF16FromUTF8(const std::string &s, std::u16string *out, bool lenient) {
  out->clear();
  size_t i = 0;
  while (i < s.size()) {
    UInt32 cp = 0;
    if (!DecodeUTF8(s, &i, &cp)) {
      if (!lenient) return false;
      cp = 0xFFFD;
      ++i;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out->push_back(char16_t(0xD800 + (cp >> 10)));
      out->push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    } else {
      out->push_back(char16_t(cp));
    }
  }
  return true;
}

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

void SetName(const std::string &utf8, HFSUniStr255 *out) {
  std::u16string u;
  UTF16FromUTF8(utf8, &u, true);
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

void FillRef(const std::string &path, const struct stat &st, FSRef *ref) {
  RefData data{};
  data.magic = kRefMagic;
  data.pathId = InternPath(path);
  data.device = UInt64(st.st_dev);
  data.inode = UInt64(st.st_ino);
  std::memcpy(ref, &data, sizeof data);
}

struct Object {
  std::string path;
  struct stat st;
};

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

// ---- Volumes -----------------------------------------------------------------------------------------------

struct Volume {
  dev_t device;
  std::string mountPoint;
  std::string fsType;
  std::string deviceName;  // last component of the mount source
};

struct VolumeTable {
  std::mutex lock;
  std::vector<Volume> volumes;  // index i has reference number -100 - i
};

VolumeTable &Volumes() {
  static VolumeTable *table = new VolumeTable;
  return *table;
}

FSVolumeRefNum RefNumForIndex(size_t index) { return FSVolumeRefNum(-100 - SInt32(index)); }

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

bool IsVolumeRoot(const Object &obj, size_t volumeIndex) {
  if (obj.path == "/") return true;
  VolumeTable &t = Volumes();
  std::lock_guard<std::mutex> hold(t.lock);
  return t.volumes[volumeIndex].mountPoint == obj.path;
}

std::string VolumeName(const Volume &v) { return v.mountPoint == "/" ? std::string("/") : BaseName(v.mountPoint); }

// ---- Dates --------------------------------------------------------------------------------------------------

constexpr SInt64 kUnixTo1904 = 2082844800;

UTCDateTime UTCFromTimespec(SInt64 sec, SInt64 nsec) {
  UTCDateTime d{};
  SInt64 since1904 = sec + kUnixTo1904;
  if (since1904 < 0) return d;
  d.highSeconds = UInt16(UInt64(since1904) >> 32);
  d.lowSeconds = UInt32(since1904);
  d.fraction = UInt16((UInt64(nsec) << 16) / 1000000000u);
  return d;
}

timespec TimespecFromUTC(const UTCDateTime &d) {
  SInt64 since1904 = (SInt64(d.highSeconds) << 32) | d.lowSeconds;
  timespec ts{};
  ts.tv_sec = time_t(since1904 - kUnixTo1904);
  // Rounded up, so that the fraction read back from the nanoseconds is the one that was set.
  ts.tv_nsec = long((UInt64(d.fraction) * 1000000000u + 65535u) >> 16);
  return ts;
}

// ---- Labels in the extended attribute -----------------------------------------------------------------------

// Stored big-endian: magic 'BzC1', flags, Finder information, extended Finder information, creation date,
// backup date, text-encoding hint, reserved.
constexpr size_t kLabelSize = 64;
constexpr UInt32 kLabelMagic = 'BzC1';
constexpr UInt32 kLabelHasCreateDate = 1;

struct Labels {
  UInt32 flags = 0;
  UInt8 finderInfo[16] = {};
  UInt8 extFinderInfo[16] = {};
  UTCDateTime createDate{};
  UTCDateTime backupDate{};
  TextEncoding textEncoding = 0;
};

void PutBE(UInt8 *p, UInt64 v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i, v >>= 8) p[i] = UInt8(v);
}
UInt64 GetBE(const UInt8 *p, int bytes) {
  UInt64 v = 0;
  for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
  return v;
}

// Field widths of the Finder blocks, which decide how each is swapped.
const int kFileInfoFields[] = {4, 4, 2, 2, 2, 2, 0};
const int kFolderInfoFields[] = {2, 2, 2, 2, 2, 2, 2, 2, 0};
const int kExtFileInfoFields[] = {2, 2, 2, 2, 2, 2, 4, 0};
const int kExtFolderInfoFields[] = {2, 2, 4, 2, 2, 4, 0};

void NativeToBE(const UInt8 *native, UInt8 *be, const int *fields) {
  for (; *fields; native += *fields, be += *fields, ++fields) {
    UInt64 v = 0;
    if (*fields == 2) {
      UInt16 x;
      std::memcpy(&x, native, 2);
      v = x;
    } else {
      UInt32 x;
      std::memcpy(&x, native, 4);
      v = x;
    }
    PutBE(be, v, *fields);
  }
}

void BEToNative(const UInt8 *be, UInt8 *native, const int *fields) {
  for (; *fields; native += *fields, be += *fields, ++fields) {
    UInt64 v = GetBE(be, *fields);
    if (*fields == 2) {
      UInt16 x = UInt16(v);
      std::memcpy(native, &x, 2);
    } else {
      UInt32 x = UInt32(v);
      std::memcpy(native, &x, 4);
    }
  }
}

void PutDate(UInt8 *p, const UTCDateTime &d) {
  PutBE(p, d.highSeconds, 2);
  PutBE(p + 2, d.lowSeconds, 4);
  PutBE(p + 6, d.fraction, 2);
}
UTCDateTime GetDate(const UInt8 *p) {
  UTCDateTime d;
  d.highSeconds = UInt16(GetBE(p, 2));
  d.lowSeconds = UInt32(GetBE(p + 2, 4));
  d.fraction = UInt16(GetBE(p + 6, 2));
  return d;
}

// A missing, foreign or damaged attribute reads as no labels.
Labels ReadLabels(const std::string &path, bool folder) {
  Labels labels;
  UInt8 raw[kLabelSize];
  ssize_t got = lgetxattr(path.c_str(), kLabelAttribute, raw, sizeof raw);
  if (got != ssize_t(kLabelSize) || GetBE(raw, 4) != kLabelMagic) return labels;
  labels.flags = UInt32(GetBE(raw + 4, 4));
  BEToNative(raw + 8, labels.finderInfo, folder ? kFolderInfoFields : kFileInfoFields);
  BEToNative(raw + 24, labels.extFinderInfo, folder ? kExtFolderInfoFields : kExtFileInfoFields);
  labels.createDate = GetDate(raw + 40);
  labels.backupDate = GetDate(raw + 48);
  labels.textEncoding = TextEncoding(GetBE(raw + 56, 4));
  return labels;
}

bool LabelsEqual(const Labels &a, const Labels &b) {
  auto same = [](const UTCDateTime &x, const UTCDateTime &y) {
    return x.highSeconds == y.highSeconds && x.lowSeconds == y.lowSeconds && x.fraction == y.fraction;
  };
  return a.flags == b.flags && std::memcmp(a.finderInfo, b.finderInfo, 16) == 0 &&
         std::memcmp(a.extFinderInfo, b.extFinderInfo, 16) == 0 && same(a.createDate, b.createDate) &&
         same(a.backupDate, b.backupDate) && a.textEncoding == b.textEncoding;
}

OSErr WriteLabels(const std::string &path, bool folder, const Labels &labels) {
  UInt8 raw[kLabelSize] = {};
  PutBE(raw, kLabelMagic, 4);
  PutBE(raw + 4, labels.flags, 4);
  NativeToBE(labels.finderInfo, raw + 8, folder ? kFolderInfoFields : kFileInfoFields);
  NativeToBE(labels.extFinderInfo, raw + 24, folder ? kExtFolderInfoFields : kExtFileInfoFields);
  PutDate(raw + 40, labels.createDate);
  PutDate(raw + 48, labels.backupDate);
  PutBE(raw + 56, labels.textEncoding, 4);
  if (lsetxattr(path.c_str(), kLabelAttribute, raw, sizeof raw, 0) == 0) return noErr;
  // Labels only label files: where the file system keeps no extended attributes, they are silently dropped.
  if (errno == ENOTSUP || errno == EOPNOTSUPP) return noErr;
  if (errno == EDQUOT) return dskFulErr;
  return PL_OSStatusFromErrno(errno);
}

// ---- Locked flag (the immutable attribute) -------------------------------------------------------------------

bool IsImmutable(const Object &obj) {
  int fd = open(obj.path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  int flags = 0;
  bool immutable = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_IMMUTABLE_FL) != 0;
  close(fd);
  return immutable;
}

OSErr SetImmutable(const Object &obj, bool immutable) {
  int fd = open(obj.path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return PL_OSStatusFromErrno(errno);
  int flags = 0;
  OSErr err = noErr;
  if (ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) {
    err = (errno == ENOTTY || errno == EOPNOTSUPP || errno == ENOTSUP) ? paramErr : PL_OSStatusFromErrno(errno);
  } else if (bool(flags & FS_IMMUTABLE_FL) != immutable) {
    flags = immutable ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    if (ioctl(fd, FS_IOC_SETFLAGS, &flags) != 0)
      err = (errno == ENOTTY || errno == EOPNOTSUPP || errno == ENOTSUP) ? paramErr : PL_OSStatusFromErrno(errno);
  }
  close(fd);
  return err;
}

// ---- Forks ------------------------------------------------------------------------------------------------------

struct Fork {
  int fd = -1;  // -1 for a resource fork, which is always empty
  bool resource = false;
  bool canRead = false;
  bool canWrite = false;
  bool exclusiveWrite = false;
  SInt8 permissions = 0;
  dev_t device = 0;
  ino_t inode = 0;
  FSRef ref{};
  std::mutex markLock;
  SInt64 mark = 0;
  ~Fork() {
    if (fd >= 0) close(fd);
  }
};

constexpr int kMaxForks = 32767;

struct ForkTable {
  std::mutex lock;
  std::vector<std::shared_ptr<Fork>> forks = std::vector<std::shared_ptr<Fork>>(kMaxForks + 1);
  int lastRefNum = 0;
};

ForkTable &Forks() {
  static ForkTable *table = new ForkTable;
  return *table;
}

std::shared_ptr<Fork> GetFork(FSIORefNum refNum) {
  if (refNum <= 0) return nullptr;
  ForkTable &t = Forks();
  std::lock_guard<std::mutex> hold(t.lock);
  return t.forks[refNum];
}

// Node flags for forks of this object that are open in this process.
UInt16 OpenForkFlags(const struct stat &st) {
  UInt16 flags = 0;
  ForkTable &t = Forks();
  std::lock_guard<std::mutex> hold(t.lock);
  for (const auto &f : t.forks) {
    if (f && f->device == st.st_dev && f->inode == st.st_ino)
      flags |= kFSNodeForkOpenMask | (f->resource ? kFSNodeResOpenMask : kFSNodeDataOpenMask);
  }
  return flags;
}

std::atomic<SInt64> gWriteBudget{-1};

// Bytes that may still be written before the test hook reports a full disk.
ByteCount TakeWriteBudget(ByteCount wanted) {
  SInt64 budget = gWriteBudget.load();
  while (budget >= 0) {
    SInt64 take = std::min<SInt64>(budget, SInt64(wanted));
    if (gWriteBudget.compare_exchange_weak(budget, budget - take)) return ByteCount(take);
  }
  return wanted;
}

SInt64 ForkSize(const Fork &f) {
  if (f.fd < 0) return 0;
  struct stat st;
  return fstat(f.fd, &st) == 0 ? SInt64(st.st_size) : -1;
}

// The absolute position that a mode and offset name; caller holds the mark lock.
OSErr PositionFor(const Fork &f, UInt16 positionMode, SInt64 offset, SInt64 *position) {
  switch (positionMode & 3) {
    case fsAtMark:
      *position = f.mark;
      break;
    case fsFromStart:
      *position = offset;
      break;
    case fsFromLEOF: {
      SInt64 size = ForkSize(f);
      if (size < 0) return PL_OSStatusFromErrno(errno);
      *position = size + offset;
      break;
    }
    default:
      *position = f.mark + offset;
      break;
  }
  return *position < 0 ? posErr : noErr;
}

// ---- Catalog information -------------------------------------------------------------------------------------

UInt32 NodeIDFor(const struct stat &st, bool volumeRoot) {
  if (volumeRoot) return fsRtDirID;
  UInt32 id = UInt32(st.st_ino);
  // 1 and 2 mean the root's parent and a root; keep other objects clear of them.
  if (id <= fsRtDirID) id |= 0x80000000u;
  return id;
}

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

// ---- Iterators ---------------------------------------------------------------------------------------------------

}  // namespace

struct OpaqueFSIterator {
  std::string folder;
  std::vector<std::string> names;
  size_t next = 0;
  timespec modified{};
};

namespace {

bool SameTime(const timespec &a, const timespec &b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

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

// ---- Forks ----------------------------------------------------------------------------------------------------------

OSErr FSGetDataForkName(HFSUniStr255 *dataForkName) {
  if (dataForkName == nullptr) return paramErr;
  dataForkName->length = 0;
  return noErr;
}

OSErr FSGetResourceForkName(HFSUniStr255 *resourceForkName) {
  if (resourceForkName == nullptr) return paramErr;
  SetName(kResourceForkName, resourceForkName);
  return noErr;
}

namespace {

// 0 data fork, 1 resource fork, -1 another named fork.
int ForkKind(UniCharCount length, const UniChar *name) {
  if (length == 0) return 0;
  if (name == nullptr) return -1;
  std::string utf8;
  if (PL_UTF8FromUniChars(name, length, &utf8) != noErr) return -1;
  return utf8 == kResourceForkName ? 1 : -1;
}

}  // namespace

OSErr FSCreateFork(const FSRef *ref, UniCharCount forkNameLength, const UniChar *forkName) {
  Object obj;
  OSErr err = Resolve(ref, &obj);
  if (err != noErr) return err;
  if (S_ISDIR(obj.st.st_mode)) return notAFileErr;
  // Linux files hold no other named forks.
  return ForkKind(forkNameLength, forkName) >= 0 ? errFSForkExists : paramErr;
}

OSErr FSIterateForks(const FSRef *ref, CatPositionRec *forkIterator, HFSUniStr255 *forkName, SInt64 *forkSize,
                     UInt64 *forkPhysicalSize) {
  if (forkIterator == nullptr) return paramErr;
  Object obj;
  OSErr err = Resolve(ref, &obj);
  if (err != noErr) return err;
  if (forkIterator->initialize == 0) {
    forkIterator->initialize = 1;
    forkIterator->priv[0] = 0;
  }
  if (S_ISDIR(obj.st.st_mode) || forkIterator->priv[0] != 0) return errFSNoMoreItems;
  forkIterator->priv[0] = 1;
  if (forkName) forkName->length = 0;
  if (forkSize) *forkSize = SInt64(obj.st.st_size);
  if (forkPhysicalSize) *forkPhysicalSize = UInt64(obj.st.st_blocks) * 512u;
  return noErr;
}

OSErr FSOpenFork(const FSRef *ref, UniCharCount forkNameLength, const UniChar *forkName, SInt8 permissions,
                 FSIORefNum *forkRefNum) {
  if (forkRefNum == nullptr) return paramErr;
  if (permissions < fsCurPerm || permissions > fsRdWrShPerm) return paramErr;
  Object obj;
  OSErr err = Resolve(ref, &obj);
  if (err != noErr) return err;
  if (S_ISDIR(obj.st.st_mode)) return notAFileErr;
  if (!S_ISREG(obj.st.st_mode)) return paramErr;
  const int kind = ForkKind(forkNameLength, forkName);
  if (kind < 0) return errFSForkNotFound;

  auto fork = std::make_shared<Fork>();
  fork->resource = kind == 1;
  fork->device = obj.st.st_dev;
  fork->inode = obj.st.st_ino;
  FillRef(obj.path, obj.st, &fork->ref);
  bool wantWrite = permissions == fsWrPerm || permissions == fsRdWrPerm || permissions == fsRdWrShPerm;
  if (wantWrite && IsImmutable(obj)) return fLckdErr;
  if (fork->resource) {
    // Nothing to open: check only that the file may be read and, when asked, written.
    bool writable = faccessat(AT_FDCWD, obj.path.c_str(), W_OK, AT_EACCESS) == 0;
    if (wantWrite && !writable) return PL_OSStatusFromErrno(errno);
    if (permissions == fsCurPerm) wantWrite = writable;
    if (permissions != fsWrPerm && faccessat(AT_FDCWD, obj.path.c_str(), R_OK, AT_EACCESS) != 0)
      return PL_OSStatusFromErrno(errno);
  } else {
    int flags = O_CLOEXEC | O_NOFOLLOW;
    int fd = -1;
    if (permissions == fsCurPerm) {
      fd = open(obj.path.c_str(), flags | O_RDWR);
      wantWrite = fd >= 0;
      if (fd < 0) fd = open(obj.path.c_str(), flags | O_RDONLY);
    } else if (permissions == fsRdPerm) {
      fd = open(obj.path.c_str(), flags | O_RDONLY);
    } else if (permissions == fsWrPerm) {
      fd = open(obj.path.c_str(), flags | O_WRONLY);
    } else {
      fd = open(obj.path.c_str(), flags | O_RDWR);
    }
    if (fd < 0) return PL_OSStatusFromErrno(errno);
    fork->fd = fd;
    // The file may have been replaced between the lookup and the open.
    struct stat st;
    if (fstat(fd, &st) != 0 || st.st_dev != obj.st.st_dev || st.st_ino != obj.st.st_ino) return fnfErr;
  }
  fork->canWrite = wantWrite;
  fork->canRead = permissions != fsWrPerm;
  fork->exclusiveWrite = wantWrite && permissions != fsRdWrShPerm;
  fork->permissions = wantWrite ? (permissions == fsCurPerm ? SInt8(fsRdWrPerm) : permissions) : SInt8(fsRdPerm);

  ForkTable &t = Forks();
  std::lock_guard<std::mutex> hold(t.lock);
  if (wantWrite) {
    for (const auto &f : t.forks) {
      if (f && f->device == fork->device && f->inode == fork->inode && f->resource == fork->resource &&
          f->canWrite && (f->exclusiveWrite || fork->exclusiveWrite)) {
        if (permissions != fsCurPerm) return opWrErr;
        // "Whatever is allowed": another path writes, so this one reads.
        fork->canWrite = fork->exclusiveWrite = false;
        fork->permissions = fsRdPerm;
        break;
      }
    }
  }
  for (int step = 1; step <= kMaxForks; ++step) {
    int refNum = (t.lastRefNum + step - 1) % kMaxForks + 1;
    if (!t.forks[refNum]) {
      t.forks[refNum] = fork;
      t.lastRefNum = refNum;
      *forkRefNum = FSIORefNum(refNum);
      return noErr;
    }
  }
  return tmfoErr;
}

OSErr FSReadFork(FSIORefNum forkRefNum, UInt16 positionMode, SInt64 positionOffset, ByteCount requestCount,
                 void *buffer, ByteCount *actualCount) {
  if (actualCount) *actualCount = 0;
  std::shared_ptr<Fork> fork = GetFork(forkRefNum);
  if (!fork) return rfNumErr;
  if (!fork->canRead) return permErr;
  if (buffer == nullptr && requestCount > 0) return paramErr;
  SInt64 position = 0;
  {
    std::lock_guard<std::mutex> hold(fork->markLock);
    OSErr err = PositionFor(*fork, positionMode, positionOffset, &position);
    if (err != noErr) return err;
  }
  // The transfer runs outside the lock, so tasks reading one fork do not wait for each other.
  ByteCount done = 0;
  OSErr err = noErr;
  while (fork->fd >= 0 && done < requestCount) {
    size_t chunk = std::min<size_t>(requestCount - done, size_t(1) << 30);
    ssize_t got = pread(fork->fd, static_cast<char *>(buffer) + done, chunk, off_t(position + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      err = PL_OSStatusFromErrno(errno);
      break;
    }
    if (got == 0) break;
    done += ByteCount(got);
  }
  {
    std::lock_guard<std::mutex> hold(fork->markLock);
    fork->mark = position + done;
  }
  if (actualCount) *actualCount = done;
  if (err == noErr && done < requestCount) err = eofErr;
  return err;
}

OSErr FSWriteFork(FSIORefNum forkRefNum, UInt16 positionMode, SInt64 positionOffset, ByteCount requestCount,
                  const void *buffer, ByteCount *actualCount) {
  if (actualCount) *actualCount = 0;
  std::shared_ptr<Fork> fork = GetFork(forkRefNum);
  if (!fork) return rfNumErr;
  if (!fork->canWrite) return wrPermErr;
  if (buffer == nullptr && requestCount > 0) return paramErr;
  // A Linux file has nowhere to keep resource-fork data.
  if (fork->resource && requestCount > 0) return paramErr;
  SInt64 position = 0;
  {
    std::lock_guard<std::mutex> hold(fork->markLock);
    OSErr err = PositionFor(*fork, positionMode, positionOffset, &position);
    if (err != noErr) return err;
  }
  const ByteCount allowed = TakeWriteBudget(requestCount);
  ByteCount done = 0;
  OSErr err = noErr;
  while (done < allowed) {
    size_t chunk = std::min<size_t>(allowed - done, size_t(1) << 30);
    ssize_t put = pwrite(fork->fd, static_cast<const char *>(buffer) + done, chunk, off_t(position + done));
    if (put < 0) {
      if (errno == EINTR) continue;
      err = errno == EDQUOT ? dskFulErr : PL_OSStatusFromErrno(errno);
      break;
    }
    done += ByteCount(put);
  }
  if (err == noErr && done < requestCount) err = dskFulErr;
  {
    std::lock_guard<std::mutex> hold(fork->markLock);
    fork->mark = position + done;
  }
  if (actualCount) *actualCount = done;
  return err;
}

OSErr FSGetForkPosition(FSIORefNum forkRefNum, SInt64 *position) {
  if (position == nullptr) return paramErr;
  std::shared_ptr<Fork> fork = GetFork(forkRefNum);
  if (!fork) return rfNumErr;
  std::lock_guard<std::mutex> hold(fork->markLock);
  *position = fork->mark;
  return noErr;
}

OSErr FSSetForkPosition(FSIORefNum forkRefNum, UInt16 positionMode, SInt64 positionOffset) {
  std::shared_ptr<Fork> fork = GetFork(forkRefNum);
  if (!fork) return rfNumErr;
  std::lock_guard<std::mutex> hold(fork->markLock);
  SInt64 position = 0;
  OSErr err = PositionFor(*fork, positionMode, positionOffset, &position);
  if (err != noErr) return err;
  SInt64 size = ForkSize(*fork);
  if (size < 0) return PL_OSStatusFromErrno(errno);
  if (position > size) return eofErr;
  fork->mark = position;
  return noErr;
}

OSErr FSGetForkSize(FSIORefNum forkRefNum, SInt64 *forkSize) {
  if (forkSize == nullptr) return paramErr;
  std::shared_ptr<Fork> fork = GetFork(forkRefNum);
  if (!fork) return rfNumErr;
  SInt64 size = ForkSize(*fork);
  if (size < 0) return PL_OSStatusFromErrno(errno);
  *forkSize = size;
  return noErr;
}

OSErr FSSetForkSize(FSIORefNum forkRefNum, UInt16 positionMode, SInt64 positionOffset) {
  std::shared_ptr<Fork> fork = GetFork(forkRefNum);
  if (!fork) return rfNumErr;
  if (!fork->canWrite) return wrPermErr;
  std::lock_guard<std::mutex> hold(fork->markLock);
  SInt64 size = 0;
  OSErr err = PositionFor(*fork, positionMode, positionOffset, &size);
  if (err != noErr) return err;
  if (fork->resource) {
    if (size != 0) return paramErr;
  } else if (ftruncate(fork->fd, off_t(size)) != 0) {
    return errno == EFBIG || errno == EINVAL ? fileBoundsErr : PL_OSStatusFromErrno(errno);
  }
  if (fork->mark > size) fork->mark = size;
  return noErr;
}

OSErr FSFlushFork(FSIORefNum forkRefNum) {
  std::shared_ptr<Fork> fork = GetFork(forkRefNum);
  if (!fork) return rfNumErr;
  if (fork->fd >= 0 && fork->canWrite && fsync(fork->fd) != 0) return PL_OSStatusFromErrno(errno);
  return noErr;
}

OSErr FSCloseFork(FSIORefNum forkRefNum) {
  if (forkRefNum <= 0) return rfNumErr;
  std::shared_ptr<Fork> fork;
  {
    ForkTable &t = Forks();
    std::lock_guard<std::mutex> hold(t.lock);
    fork.swap(t.forks[forkRefNum]);
  }
  // The descriptor closes when the last reader still inside a transfer lets go of the fork.
  return fork ? noErr : rfNumErr;
}

OSErr FSGetForkCBInfo(FSIORefNum desiredRefNum, FSVolumeRefNum volume, SInt16 *iterator, FSIORefNum *actualRefNum,
                      FSForkInfo *forkInfo, FSRef *ref, HFSUniStr255 *outForkName) {
  if (volume != 0 || iterator != nullptr) return paramErr;
  std::shared_ptr<Fork> fork = GetFork(desiredRefNum);
  if (!fork) return rfNumErr;
  if (actualRefNum) *actualRefNum = desiredRefNum;
  if (forkInfo) {
    FSForkInfo info{};
    info.permissions = fork->permissions;
    info.nodeID = UInt32(fork->inode);
    info.forkID = fork->resource ? 1 : 0;
    {
      std::lock_guard<std::mutex> hold(fork->markLock);
      info.currentPosition = UInt64(fork->mark);
    }
    SInt64 size = ForkSize(*fork);
    info.logicalEOF = info.physicalEOF = size < 0 ? 0 : UInt64(size);
    *forkInfo = info;
  }
  if (ref) *ref = fork->ref;
  if (outForkName) {
    if (fork->resource) FSGetResourceForkName(outForkName);
    else FSGetDataForkName(outForkName);
  }
  return noErr;
}

OSErr PBReadForkSync(FSForkIOParam *pb) {
  if (pb == nullptr) return paramErr;
  pb->ioResult = FSReadFork(pb->forkRefNum, pb->positionMode, pb->positionOffset, pb->requestCount, pb->buffer,
                            &pb->actualCount);
  if (std::shared_ptr<Fork> fork = GetFork(pb->forkRefNum)) {
    std::lock_guard<std::mutex> hold(fork->markLock);
    pb->positionOffset = fork->mark;
  }
  return pb->ioResult;
}

OSErr PBWriteForkSync(FSForkIOParam *pb) {
  if (pb == nullptr) return paramErr;
  pb->ioResult = FSWriteFork(pb->forkRefNum, pb->positionMode, pb->positionOffset, pb->requestCount, pb->buffer,
                             &pb->actualCount);
  if (std::shared_ptr<Fork> fork = GetFork(pb->forkRefNum)) {
    std::lock_guard<std::mutex> hold(fork->markLock);
    pb->positionOffset = fork->mark;
  }
  return pb->ioResult;
}

OSErr PBOpenForkSync(FSForkIOParam *pb) {
  if (pb == nullptr) return paramErr;
  pb->ioResult = FSOpenFork(pb->ref, pb->forkNameLength, pb->forkName, pb->permissions, &pb->forkRefNum);
  return pb->ioResult;
}

OSErr PBCloseForkSync(FSForkIOParam *pb) {
  if (pb == nullptr) return paramErr;
  pb->ioResult = FSCloseFork(pb->forkRefNum);
  return pb->ioResult;
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
  if (!UTF16FromUTF8(utf8, &u, false)) return bdNamErr;
  if (u.size() > 255) return errFSNameTooLong;
  name->length = UInt16(u.size());
  std::copy(u.begin(), u.end(), name->unicode);
  return noErr;
}

OSStatus PL_UTF8FromUniChars(const UniChar *chars, UniCharCount count, std::string *utf8) {
  if (utf8 == nullptr || (chars == nullptr && count > 0)) return paramErr;
  utf8->clear();
  for (UniCharCount i = 0; i < count; ++i) {
    UInt32 cp = chars[i];
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (i + 1 >= count || chars[i + 1] < 0xDC00 || chars[i + 1] > 0xDFFF) return bdNamErr;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (chars[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      return bdNamErr;
    }
    AppendUTF8(cp, utf8);
  }
  return noErr;
}

void PL_FailWritesAfterBytes(SInt64 byteCount) { gWriteBudget.store(byteCount < 0 ? -1 : byteCount); }

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
