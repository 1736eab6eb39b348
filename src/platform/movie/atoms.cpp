// Big-endian atom reading and writing with strict bounds.
#include "platform/movie/atoms.h"

#include "platform/core/files.h"
#include "platform/core/mac_errors.h"

#include <cerrno>
#include <unistd.h>

OSStatus PL_NextAtom(const UInt8 *base, UInt64 end, UInt64 *offset, PL_AtomHeader *header, OSStatus badAtomErr) {
  UInt64 at = *offset;
  if (at >= end) return kPL_AtomListEnd;
  UInt64 left = end - at;
  const UInt8 *p = base + at;
  bool zerosOnly = true;
  for (UInt64 i = 0; i < left && i < 8; ++i) zerosOnly = zerosOnly && p[i] == 0;
  if (left < 8) return zerosOnly ? kPL_AtomListEnd : badAtomErr;
  UInt64 size = PL_GetBE32(p);
  UInt32 headerSize = 8;
  if (size == 0) {
    // Inside a parent a zero size is only accepted as padding up to the parent's end.
    for (UInt64 i = 8; i < left && zerosOnly; ++i) zerosOnly = p[i] == 0;
    return zerosOnly ? kPL_AtomListEnd : badAtomErr;
  }
  if (size == 1) {
    if (left < 16) return badAtomErr;
    size = PL_GetBE64(p + 8);
    headerSize = 16;
  }
  if (size < headerSize || size > left) return badAtomErr;
  header->offset = at;
  header->size = size;
  header->type = PL_GetBE32(p + 4);
  header->headerSize = headerSize;
  *offset = at + size;
  return noErr;
}

OSStatus PL_ReadFully(int fd, UInt64 offset, void *buffer, size_t count) {
  auto *dst = static_cast<UInt8 *>(buffer);
  while (count > 0) {
    ssize_t n = pread(fd, dst, count, off_t(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      return PL_OSStatusFromErrno(errno);
    }
    if (n == 0) return eofErr;
    dst += n;
    offset += UInt64(n);
    count -= size_t(n);
  }
  return noErr;
}

OSStatus PL_WriteFully(int fd, UInt64 offset, const void *buffer, size_t count) {
  const auto *src = static_cast<const UInt8 *>(buffer);
  // The tests' full-disk hook: what it allows is written, then the disk is full.
  const size_t allowed = size_t(PL_TakeWriteBudget(count));
  const bool full = allowed < count;
  count = allowed;
  while (count > 0) {
    ssize_t n = pwrite(fd, src, count, off_t(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      return PL_OSStatusFromErrno(errno);
    }
    if (n == 0) return ioErr;
    src += n;
    offset += UInt64(n);
    count -= size_t(n);
  }
  return full ? OSStatus(dskFulErr) : OSStatus(noErr);
}

OSStatus PL_ReadFileAtomHeader(int fd, UInt64 fileSize, UInt64 offset, PL_AtomHeader *header, OSStatus badAtomErr) {
  if (offset >= fileSize) return kPL_AtomListEnd;
  UInt64 left = fileSize - offset;
  if (left < 8) return badAtomErr;
  UInt8 buf[16];
  OSStatus err = PL_ReadFully(fd, offset, buf, left >= 16 ? 16 : 8);
  if (err != noErr) return err;
  UInt64 size = PL_GetBE32(buf);
  UInt32 headerSize = 8;
  if (size == 0) {
    size = left;
  } else if (size == 1) {
    if (left < 16) return badAtomErr;
    size = PL_GetBE64(buf + 8);
    headerSize = 16;
  }
  if (size < headerSize || size > left) return badAtomErr;
  header->offset = offset;
  header->size = size;
  header->type = PL_GetBE32(buf + 4);
  header->headerSize = headerSize;
  return noErr;
}

void PL_AtomWriter::Begin(OSType type) {
  open.push_back(bytes.size());
  Put32(0);
  Put32(type);
}

void PL_AtomWriter::BeginFull(OSType type, UInt8 version, UInt32 flags) {
  Begin(type);
  Put32((UInt32(version) << 24) | (flags & 0xFFFFFF));
}

void PL_AtomWriter::End() {
  if (open.empty()) return;
  size_t start = open.back();
  open.pop_back();
  size_t size = bytes.size() - start;
  if (size > 0xFFFFFFFFu) {
    tooBig = true;
    return;
  }
  PL_PutBE32(bytes.data() + start, UInt32(size));
}

void PL_AtomWriter::Put16(UInt16 v) {
  UInt8 b[2];
  PL_PutBE16(b, v);
  bytes.insert(bytes.end(), b, b + 2);
}

void PL_AtomWriter::Put32(UInt32 v) {
  UInt8 b[4];
  PL_PutBE32(b, v);
  bytes.insert(bytes.end(), b, b + 4);
}

void PL_AtomWriter::Put64(UInt64 v) {
  UInt8 b[8];
  PL_PutBE64(b, v);
  bytes.insert(bytes.end(), b, b + 8);
}

void PL_AtomWriter::PutBytes(const void *data, size_t count) {
  const auto *p = static_cast<const UInt8 *>(data);
  bytes.insert(bytes.end(), p, p + count);
}
