// File Manager stand-in, labels: Finder information, dates and the text-encoding hint in an extended
// attribute, and the locked flag as the immutable attribute.
#include "platform/core/files.h"
#include "platform/core/files_internal.h"

#include "platform/core/mac_errors.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace pl_files {

// ---- Labels in the extended attribute -----------------------------------------------------------------------

namespace {

const char kLabelAttribute[] = "user.brizel.catinfo";

// Stored big-endian: magic 'BzC1', flags, Finder information, extended Finder information, creation date,
// backup date, text-encoding hint, reserved.
constexpr size_t kLabelSize = 64;
constexpr UInt32 kLabelMagic = 'BzC1';

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

}  // namespace

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

}  // namespace pl_files
