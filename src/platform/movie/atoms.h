// Big-endian atoms of QuickTime files: field access, a strict header reader over memory and over a file
// descriptor, and a writer that patches sizes when an atom is closed.
//
// Every size read from a file is checked against its parent before anything is allocated or read, so a
// damaged file ends in an error and never in an overrun or an endless walk. Callers on any thread.
#pragma once

#include "platform/core/mac_types.h"

#include <cstddef>
#include <vector>

// Big-endian field access on raw bytes; the caller has checked the bounds.
inline UInt16 PL_GetBE16(const UInt8 *p) { return UInt16((UInt16(p[0]) << 8) | p[1]); }
inline UInt32 PL_GetBE32(const UInt8 *p) {
  return (UInt32(p[0]) << 24) | (UInt32(p[1]) << 16) | (UInt32(p[2]) << 8) | UInt32(p[3]);
}
inline UInt64 PL_GetBE64(const UInt8 *p) { return (UInt64(PL_GetBE32(p)) << 32) | PL_GetBE32(p + 4); }
inline void PL_PutBE16(UInt8 *p, UInt16 v) {
  p[0] = UInt8(v >> 8);
  p[1] = UInt8(v);
}
inline void PL_PutBE32(UInt8 *p, UInt32 v) {
  p[0] = UInt8(v >> 24);
  p[1] = UInt8(v >> 16);
  p[2] = UInt8(v >> 8);
  p[3] = UInt8(v);
}
inline void PL_PutBE64(UInt8 *p, UInt64 v) {
  PL_PutBE32(p, UInt32(v >> 32));
  PL_PutBE32(p + 4, UInt32(v));
}

// One atom found in a parent: where it starts, its whole size (header included) and its header size
// (8, or 16 with a 64-bit size).
struct PL_AtomHeader {
  UInt64 offset;
  UInt64 size;
  OSType type;
  UInt32 headerSize;
};

// Results of the atom readers besides noErr.
enum : OSStatus {
  kPL_AtomListEnd = 1,  // no further atom in the parent (not an error)
};

// Walks the child atoms of a byte range [begin, end) of `base`. Start with `offset` = begin; each call
// reads the atom at *offset and moves *offset behind it.
// noErr: *header holds the atom. kPL_AtomListEnd: the range is used up, or only zero padding is left
// (QuickTime lists may end with a 32-bit 0). `badAtomErr`: a size smaller than its header, a size that
// runs past `end`, or a header cut by `end`; *offset is not moved then.
OSStatus PL_NextAtom(const UInt8 *base, UInt64 end, UInt64 *offset, PL_AtomHeader *header, OSStatus badAtomErr);

// Reads the header of the top-level atom at `offset` of an open file of `fileSize` bytes.
// A size of 0 means the atom runs to the end of the file. noErr, kPL_AtomListEnd at or past the end,
// `badAtomErr` for a size below its header or past the end of the file, or the read's error.
OSStatus PL_ReadFileAtomHeader(int fd, UInt64 fileSize, UInt64 offset, PL_AtomHeader *header, OSStatus badAtomErr);

// pread of exactly `count` bytes; eofErr when the file ends first, else the system's error.
OSStatus PL_ReadFully(int fd, UInt64 offset, void *buffer, size_t count);
// pwrite of exactly `count` bytes; the system's error (dskFulErr when the disk is full).
OSStatus PL_WriteFully(int fd, UInt64 offset, const void *buffer, size_t count);

// Builds atoms into a growing byte vector. Begin/End nest; End writes the size of the atom it closes.
// An atom that grows beyond 32 bits marks the writer as failed (`tooBig`), since no atom we write needs
// a 64-bit size except the media data, which is never built in memory.
struct PL_AtomWriter {
  std::vector<UInt8> bytes;
  std::vector<size_t> open;
  bool tooBig = false;

  void Begin(OSType type);
  // A full atom: Begin plus the version byte and 24 flag bits.
  void BeginFull(OSType type, UInt8 version, UInt32 flags);
  void End();
  void Put8(UInt8 v) { bytes.push_back(v); }
  void Put16(UInt16 v);
  void Put32(UInt32 v);
  void Put64(UInt64 v);
  void PutBytes(const void *data, size_t count);
  void PutZeros(size_t count) { bytes.insert(bytes.end(), count, 0); }
};
