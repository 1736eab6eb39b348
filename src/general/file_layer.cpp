// File layer over the File Manager stand-in and the file-system helpers.
#include "general/file_layer.h"

#include "general/error_keys.h"
#include "general/file_system_helpers.h"
#include "general/formatted_strings.h"
#include "general/processor_info.h"
#include "general/unicode_strings.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_string.h"
#include "platform/core/cf_url.h"
#include "platform/core/file_urls.h"
#include "platform/core/cf_number.h"
#include "platform/core/hfs_names.h"
#include "platform/core/launch_services.h"
#include "platform/core/clock.h"
#include "platform/core/mac_errors.h"
#include "platform/core/resources.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace {

constexpr UInt32 kBusyWaitTicks = 10;
constexpr SInt64 kMoveUnit = 2048;

// Closes a fork that the operation opened itself, on every path.
struct OwnFork {
  FSIORefNum fork = 0;
  bool owned = false;
  ~OwnFork() {
    if (owned) FSCloseFork(fork);
  }
};

OSStatus OpenNamedFork(FSIORefNum fork, const FSRef *file, UniCharCount nameLength, const UniChar *name,
                       SInt8 permission, OwnFork *out) {
  if (fork != 0) {
    out->fork = fork;
    return noErr;
  }
  if (file == nullptr) return paramErr;
  OSStatus err = FSOpenFork(file, nameLength, name, permission, &out->fork);
  out->owned = err == noErr;
  return err;
}

// Fork I/O of any 64-bit count, in pieces the File Manager takes.
OSStatus WriteAll(FSIORefNum fork, UInt16 mode, SInt64 offset, SInt64 count, const void *buffer) {
  const char *p = static_cast<const char *>(buffer);
  SInt64 done = 0;
  do {
    const ByteCount piece = ByteCount(std::min<SInt64>(count - done, 0x40000000));
    OSStatus err = FSWriteFork(fork, done == 0 ? mode : UInt16(fsAtMark | (mode & ~3)), done == 0 ? offset : 0, piece,
                               p + done, nullptr);
    if (err != noErr) return err;
    done += piece;
  } while (done < count);
  return noErr;
}

OSStatus ReadAll(FSIORefNum fork, UInt16 mode, SInt64 offset, SInt64 count, void *buffer) {
  char *p = static_cast<char *>(buffer);
  SInt64 done = 0;
  do {
    const ByteCount piece = ByteCount(std::min<SInt64>(count - done, 0x40000000));
    OSStatus err = FSReadFork(fork, done == 0 ? mode : UInt16(fsAtMark | (mode & ~3)), done == 0 ? offset : 0, piece,
                              p + done, nullptr);
    if (err != noErr) return err;
    done += piece;
  } while (done < count);
  return noErr;
}

}  // namespace

// ---- Creating, naming and deleting --------------------------------------------------------------------------

OSStatus GL_CreateFile(const FSRef *folder, const HFSUniStr255 *name, OSType creator, OSType fileType,
                       Boolean deleteCurFile, FSRef *file) {
  if (name == nullptr) return paramErr;
  FSCatalogInfo info{};
  FileInfo finder{};
  finder.fileType = fileType;
  finder.fileCreator = creator;
  std::memcpy(info.finderInfo, &finder, sizeof finder);
  FSRef existing;
  if (FSMakeFSRefUnicode(folder, name->length, name->unicode, kTextEncodingMacRoman, &existing) == noErr &&
      !deleteCurFile)
    return dupFNErr;
  OSStatus err = FSCreateFileUnicode(folder, name->length, name->unicode, kFSCatInfoFinderInfo, &info, file, nullptr);
  if (err == dupFNErr) {
    err = FSMakeFSRefUnicode(folder, name->length, name->unicode, kTextEncodingMacRoman, &existing);
    if (err == noErr) err = FSDeleteObject(&existing);
    if (err != noErr) return err;
    err = FSCreateFileUnicode(folder, name->length, name->unicode, kFSCatInfoFinderInfo, &info, file, nullptr);
  }
  MF_FSBumpDate(folder);  // tells the folder's watchers; the creation's result is what counts
  return err;
}

OSStatus GL_CreateFileNew(const FSRef *folder, const HFSUniStr255 *name, OSType creator, OSType fileType,
                          Boolean deleteCurFile, FSRef *file) {
  if (name == nullptr) return paramErr;
  FSCatalogInfo info{};
  FileInfo finder{};
  finder.fileType = fileType;
  finder.fileCreator = creator;
  std::memcpy(info.finderInfo, &finder, sizeof finder);
  FSRef existing;
  if (FSMakeFSRefUnicode(folder, name->length, name->unicode, kTextEncodingMacRoman, &existing) == noErr) {
    if (!deleteCurFile) return dupFNErr;
    UInt8 path[2048];
    OSStatus err = FSRefMakePath(&existing, path, sizeof path);
    if (err != noErr) return err;
    if (unlink(reinterpret_cast<char *>(path)) != 0) return PL_OSStatusFromErrno(errno);
  }
  OSStatus err = noErr;
  for (int tries = 0;; ++tries) {
    err = FSCreateFileUnicode(folder, name->length, name->unicode, kFSCatInfoFinderInfo, &info, file, nullptr);
    if (err == noErr) break;
    Delay(kBusyWaitTicks, nullptr);
    if (err != fBsyErr || tries > 9) break;
  }
  MF_FSBumpDate(folder);
  return err;
}

OSStatus GL_CreateFolder(const FSRef *parent, const HFSUniStr255 *name, FSRef *folder) {
  if (name == nullptr || folder == nullptr) return paramErr;
  if (FSMakeFSRefUnicode(parent, name->length, name->unicode, kTextEncodingUnknown, folder) == noErr) return noErr;
  return FSCreateDirectoryUnicode(parent, name->length, name->unicode, kFSCatInfoNone, nullptr, folder, nullptr,
                                  nullptr);
}

OSStatus GL_CreateResFile(const FSRef *folder, const HFSUniStr255 *name, OSType creator, OSType fileType,
                          FSRef *file) {
  if (name == nullptr) return paramErr;
  FSCatalogInfo info{};
  FileInfo finder{};
  finder.fileType = fileType;
  finder.fileCreator = creator;
  std::memcpy(info.finderInfo, &finder, sizeof finder);
  FSCreateResFile(folder, name->length, name->unicode, kFSCatInfoFinderInfo, &info, file, nullptr);
  OSStatus err = ResError();
  if (err != noErr) return err;
  return MF_FSBumpDate(folder);
}

OSStatus GL_CreateTempFileRef(FSRef *file) {
  if (file == nullptr) return paramErr;
  FSRef folder;
  OSStatus err = FSFindFolder(kUserDomain, kUserTemporaryItemsFolderType, kCreateFolder, &folder);
  if (err != noErr) return err;
  const double now = std::floor(CFAbsoluteTimeGetCurrent());
  UInt32 seed = UInt32(std::clamp(now, 0.0, 4294967295.0));
  HFSUniStr255 name;
  if ((err = MF_GenerateUniqueHFSUniStr(&seed, &folder, &folder, &name)) != noErr) return err;
  return FSCreateFileUnicode(&folder, name.length, name.unicode, kFSCatInfoNone, nullptr, file, nullptr);
}

namespace {

// The first candidate that does not exist in the folder; `candidate(i)` makes the i-th (owned), i from 1.
template <class MakeCandidate>
OSStatus FirstFreeName(const FSRef *folder, MakeCandidate candidate, CFStringRef *outName) {
  if (outName == nullptr) return paramErr;
  *outName = nullptr;
  for (SInt32 index = 1;; ++index) {
    CFStringRef name = candidate(index);
    if (name == nullptr) return memFullErr;
    // A longer name would be cut by the conversion, and the cut name is not the one handed back.
    HFSUniStr255 uni;
    OSStatus err = CFStringGetLength(name) > 255 ? OSStatus(errFSNameTooLong) : FSGetHFSUniStrFromString(name, &uni);
    FSRef taken;
    if (err == noErr) err = FSMakeFSRefUnicode(folder, uni.length, uni.unicode, kTextEncodingUnknown, &taken);
    if (err == fnfErr) {
      *outName = name;
      return noErr;
    }
    CFRelease(name);
    if (err != noErr) return err;
    if (index == 0x7FFFFFFF) return dupFNErr;
  }
}

}  // namespace

OSStatus GL_CreateIndexedNameInFolder(const FSRef *folder, CFStringRef name, CFStringRef *outName) {
  if (name == nullptr) return paramErr;
  return FirstFreeName(
      folder,
      [name](SInt32 index) {
        return index == 1 ? CF_StringCreateWithFormat(CFSTR("%@"), name)
                          : CF_StringCreateWithFormat(CFSTR("%@ %ld"), name, index);
      },
      outName);
}

OSStatus GL_CreateIndexedNameWithExtInFolder(const FSRef *folder, CFStringRef name, CFStringRef extension,
                                             CFStringRef *outName) {
  if (name == nullptr || extension == nullptr) return paramErr;
  return FirstFreeName(
      folder,
      [name, extension](SInt32 index) {
        return index == 1 ? CF_StringCreateWithFormat(CFSTR("%@%@"), name, extension)
                          : CF_StringCreateWithFormat(CFSTR("%@ %ld%@"), name, index, extension);
      },
      outName);
}

OSStatus GL_RenameIndexed(FSRef *file, CFStringRef newName) {
  if (file == nullptr || newName == nullptr) return paramErr;
  FSRef parent;
  OSStatus err = MF_FSGetParentRef(file, &parent);
  if (err != noErr) return err;
  CFStringRef indexed = nullptr;
  if ((err = GL_CreateIndexedNameInFolder(&parent, newName, &indexed)) != noErr) return err;
  HFSUniStr255 uni;
  err = FSGetHFSUniStrFromString(indexed, &uni);
  CFRelease(indexed);
  if (err == noErr) err = FSRenameUnicode(file, uni.length, uni.unicode, kTextEncodingUnknown, file);
  return err;
}

OSStatus GL_RenameDelete(FSRef *file, const HFSUniStr255 *newName) {
  if (file == nullptr || newName == nullptr) return paramErr;
  OSStatus err = FSRenameUnicode(file, newName->length, newName->unicode, kTextEncodingUnknown, file);
  if (err != dupFNErr) return err;
  FSRef parent, taken;
  err = MF_FSGetParentRef(file, &parent);
  if (err == noErr) err = FSMakeFSRefUnicode(&parent, newName->length, newName->unicode, kTextEncodingUnknown, &taken);
  if (err == noErr) err = FSDeleteObject(&taken);
  if (err == noErr) err = FSRenameUnicode(file, newName->length, newName->unicode, kTextEncodingUnknown, file);
  return err;
}

OSStatus GL_DeletePotentiallyBusyFileObject(const FSRef *object, SInt32 numTries) {
  OSStatus err;
  SInt32 tries = 0;
  do {
    Delay(kBusyWaitTicks, nullptr);
    err = FSDeleteObject(object);
    ++tries;
  } while (err == fBsyErr && tries < numTries);
  return err;
}

OSStatus GL_DeleteResourceFork(const FSRef *file) {
  HFSUniStr255 name;
  FSGetResourceForkName(&name);
  OwnFork fork;
  OSStatus err = OpenNamedFork(0, file, name.length, name.unicode, fsRdWrPerm, &fork);
  if (err == noErr) err = FSSetForkSize(fork.fork, fsFromStart, 0);
  return err;
}

OSStatus GL_DeleteEmptyResourceFile(SInt16 resFileRefNum, FSRef *file) {
  if (file == nullptr || !MF_FSRefValid(file)) return noErr;
  ResFileRefNum map = resFileRefNum;
  if (map == 0) {
    map = FSOpenResFile(file, fsRdWrPerm);
    if (map == -1) return ResError();
  }
  const ResFileRefNum saved = CurResFile();
  UseResFile(map);
  OSStatus err = ResError();
  const SInt16 types = err == noErr ? Count1Types() : 0;
  if (err == noErr) err = ResError();
  UseResFile(saved);
  CloseResFile(map);
  if (err == noErr && types == 0) {
    err = FSDeleteObject(file);
    if (err == noErr) std::memset(file, 0, sizeof *file);
  }
  return err;
}

OSStatus GL_CreateResourceFork(const FSRef *file) {
  HFSUniStr255 name;
  FSGetResourceForkName(&name);
  OSStatus err = FSCreateFork(file, name.length, name.unicode);
  return err == errFSForkExists ? OSStatus(noErr) : err;
}

// ---- Forks, reading and writing ---------------------------------------------------------------------------

OSStatus GL_OpenDataFork(const FSRef *file, SInt8 permission, FSIORefNum *fork) {
  return FSOpenFork(file, 0, nullptr, permission, fork);
}

OSStatus GL_OpenResourceFork(const FSRef *file, SInt8 permission, FSIORefNum *fork) {
  HFSUniStr255 name;
  FSGetResourceForkName(&name);
  return FSOpenFork(file, name.length, name.unicode, permission, fork);
}

OSStatus GL_ReadDataFromFork(FSIORefNum fork, const FSRef *file, UniCharCount forkNameLength,
                             const UniChar *forkName, void **buffer, size_t dataOffset, UInt16 positionMode,
                             SInt64 offset, ByteCount *count) {
  if (buffer == nullptr || count == nullptr) return paramErr;
  OwnFork open;
  OSStatus err = OpenNamedFork(fork, file, forkNameLength, forkName, fsRdPerm, &open);
  if (err != noErr) return err;
  SInt64 size = 0, position = 0;
  if ((err = FSGetForkSize(open.fork, &size)) != noErr) return err;
  switch (positionMode & 3) {
    case fsFromStart:
    case fsFromLEOF:
      // An absolute position needs no trip through the shared mark, so tasks can read one fork at once.
      position = (positionMode & 3) == fsFromStart ? offset : size + offset;
      if (position < 0) return posErr;
      if (position > size) return eofErr;
      break;
    default:
      if ((err = FSSetForkPosition(open.fork, positionMode, offset)) != noErr) return err;
      if ((err = FSGetForkPosition(open.fork, &position)) != noErr) return err;
      break;
  }
  const SInt64 left = size - position;
  ByteCount wanted = *count;
  if (left < 0x80000000LL) {
    if (wanted == 0 || wanted > ByteCount(left)) wanted = ByteCount(left);
  } else if (wanted == 0) {
    wanted = 0x7FFFFFFF;
  }
  bool allocated = false;
  if (*buffer == nullptr) {
    // The data goes to dataOffset, so the block must hold the offset as well as the bytes.
    if ((err = GL_NewPtr(dataOffset + wanted, buffer)) != noErr) return err;
    allocated = true;
  }
  ByteCount got = 0;
  err = FSReadFork(open.fork, fsFromStart, position, wanted, static_cast<char *>(*buffer) + dataOffset, &got);
  if (err != noErr) {
    if (allocated) GL_DisposePtr(buffer);
    return err;
  }
  *count = got;
  return noErr;
}

OSStatus GL_ReadAllDataFromDataFork(FSIORefNum fork, const FSRef *file, void **buffer, ByteCount *size) {
  ByteCount count = 0;
  OSStatus err = GL_ReadDataFromFork(fork, file, 0, nullptr, buffer, 0, fsFromStart, 0, &count);
  if (err == noErr && size != nullptr) *size = count;
  return err;
}

OSStatus GL_WriteDataToFork(FSIORefNum fork, const FSRef *file, UniCharCount forkNameLength, const UniChar *forkName,
                            const void *buffer, size_t dataOffset, UInt16 positionMode, SInt64 offset,
                            ByteCount *count) {
  if (buffer == nullptr || count == nullptr) return paramErr;
  OwnFork open;
  OSStatus err = OpenNamedFork(fork, file, forkNameLength, forkName, fsRdWrPerm, &open);
  if (err != noErr) return err;
  ByteCount written = 0;
  err = FSWriteFork(open.fork, positionMode, offset, *count, static_cast<const char *>(buffer) + dataOffset, &written);
  *count = written;
  return err;
}

OSStatus GL_ReplaceDataInFile(FSIORefNum fork, const FSRef *file, SInt64 size, const void *data) {
  if (size < 0 || (data == nullptr && size > 0)) return paramErr;
  if (fork >= 1) {
    OSStatus err = size > 0 ? WriteAll(fork, fsFromStart, 0, size, data) : OSStatus(noErr);
    if (err == noErr) err = FSSetForkSize(fork, fsFromStart, size);
    return err;
  }
  if (file == nullptr) return paramErr;
  // The file must be one this user may write, as an in-place write would require.
  FSIORefNum probe = 0;
  OSStatus err = FSOpenFork(file, 0, nullptr, fsRdWrPerm, &probe);
  if (err != noErr) return err;
  FSCloseFork(probe);

  FSCatalogInfo info;
  FSRef folder;
  const FSCatalogInfoBitmap kKept = kFSCatInfoSettableInfo & ~(kFSCatInfoNodeFlags | kFSCatInfoContentMod |
                                                               kFSCatInfoAttrMod | kFSCatInfoAccessDate);
  if ((err = FSGetCatalogInfo(file, kKept, &info, nullptr, nullptr, &folder)) != noErr) return err;
  UInt32 seed = TickCount();
  HFSUniStr255 tempName;
  if ((err = MF_GenerateUniqueHFSUniStr(&seed, &folder, &folder, &tempName)) != noErr) return err;
  FSRef temp;
  if ((err = FSCreateFileUnicode(&folder, tempName.length, tempName.unicode, kFSCatInfoNone, nullptr, &temp,
                                 nullptr)) != noErr)
    return err;
  FSIORefNum out = 0;
  err = FSOpenFork(&temp, 0, nullptr, fsRdWrPerm, &out);
  if (err == noErr) {
    if (size > 0) err = WriteAll(out, fsFromStart, 0, size, data);
    if (err == noErr) err = FSFlushFork(out);
    FSCloseFork(out);
  }
  bool ownerKept = true;
  if (err == noErr) {
    err = FSSetCatalogInfo(&temp, kKept, &info);
    ownerKept = err != permErr;  // a file of another owner that this user may write
  }
  if (err == noErr) err = PL_FSReplaceObject(file, &temp);
  if (err != noErr) FSDeleteObject(&temp);
  if (ownerKept) return err;
  // Only the owner can give a new file someone else's ownership: write in place, as the file allows.
  OwnFork open;
  err = OpenNamedFork(0, file, 0, nullptr, fsRdWrPerm, &open);
  if (err == noErr) err = GL_ReplaceDataInFile(open.fork, file, size, data);
  if (err == noErr) err = FSFlushFork(open.fork);
  return err;
}

OSStatus GL_RemoveDataFromFile(const FSRef *file, UInt16 positionMode, SInt64 offset, SInt64 size) {
  if (size < 0) return paramErr;
  OwnFork open;
  OSStatus err = OpenNamedFork(0, file, 0, nullptr, fsRdWrPerm, &open);
  SInt64 position = 0, forkSize = 0;
  if (err == noErr) err = FSSetForkPosition(open.fork, positionMode, offset);
  if (err == noErr) err = FSGetForkPosition(open.fork, &position);
  if (err == noErr) err = FSGetForkSize(open.fork, &forkSize);
  if (err != noErr) return err;
  const SInt64 tail = std::max<SInt64>(0, forkSize - position - size);
  if (tail > 0) {
    void *buffer = nullptr;
    if (GL_NewPtr(size_t(tail), &buffer) != noErr) return memFullErr;
    err = ReadAll(open.fork, fsFromStart, position + size, tail, buffer);
    if (err == noErr) err = WriteAll(open.fork, fsFromStart, position, tail, buffer);
    GL_DisposePtr(&buffer);
    if (err != noErr) return err;
  }
  return FSSetForkSize(open.fork, fsFromStart, position + tail);
}

OSStatus GL_RemoveAllDataFromFile(const FSRef *file) { return GL_SetEOF(0, file, 0); }

OSStatus GL_ClearFile(FSIORefNum fork, SInt64 start, SInt64 size, ByteCount bufferSize) {
  if (size < 0 || bufferSize == 0) return paramErr;
  if (size == 0) return noErr;
  const ByteCount pieceSize = ByteCount(std::min<SInt64>(bufferSize, size));
  void *zeros = nullptr;
  OSStatus err = GL_NewPtrClear(pieceSize, &zeros);
  if (err != noErr) return err;
  for (SInt64 done = 0; err == noErr && done < size; done += pieceSize) {
    const ByteCount piece = ByteCount(std::min<SInt64>(pieceSize, size - done));
    err = FSWriteFork(fork, done == 0 ? fsFromStart : fsAtMark, done == 0 ? start : 0, piece, zeros, nullptr);
  }
  GL_DisposePtr(&zeros);
  return err;
}

OSStatus GL_SetEOF(FSIORefNum fork, const FSRef *file, SInt64 size) {
  OwnFork open;
  OSStatus err = OpenNamedFork(fork, file, 0, nullptr, fsRdWrPerm, &open);
  if (err == noErr) err = FSSetForkSize(open.fork, fsFromStart, size);
  return err;
}

OSStatus GL_GetEOF(const FSRef *file, SInt64 *dataLogicalSize, SInt64 *dataPhysicalSize, SInt64 *rsrcLogicalSize,
                   SInt64 *rsrcPhysicalSize) {
  FSCatalogInfo info;
  OSStatus err = FSGetCatalogInfo(file, kFSCatInfoDataSizes | kFSCatInfoRsrcSizes, &info, nullptr, nullptr, nullptr);
  if (err != noErr) return err;
  if (dataLogicalSize) *dataLogicalSize = SInt64(info.dataLogicalSize);
  if (dataPhysicalSize) *dataPhysicalSize = SInt64(info.dataPhysicalSize);
  if (rsrcLogicalSize) *rsrcLogicalSize = SInt64(info.rsrcLogicalSize);
  if (rsrcPhysicalSize) *rsrcPhysicalSize = SInt64(info.rsrcPhysicalSize);
  return noErr;
}

OSStatus GL_GetLargeFileSize(const FSRef *file, SInt64 *size) {
  if (file == nullptr || size == nullptr) return paramErr;
  UInt64 total = 0;
  OSStatus err = MF_FSGetTotalForkSizes(file, &total, nullptr, nullptr);
  if (err == noErr) *size = SInt64(total);
  return err;
}

OSStatus GL_WriteFileNoCache(FSIORefNum fork, UInt16 positionMode, SInt64 offset, SInt64 count, const void *buffer,
                             Boolean readVerify) {
  if (count < 0 || buffer == nullptr) return paramErr;
  const UInt16 mode = UInt16(positionMode | noCacheMask | (readVerify ? rdVerifyMask : 0));
  return WriteAll(fork, mode, offset, count, buffer);
}

OSStatus GL_ReadFileNoCache(FSIORefNum fork, UInt16 positionMode, SInt64 offset, SInt64 count, void *buffer) {
  if (count < 0 || buffer == nullptr) return paramErr;
  return ReadAll(fork, UInt16(positionMode | noCacheMask), offset, count, buffer);
}

// ---- Moving a block inside a fork -------------------------------------------------------------------------------

OSStatus GL_WritePartOfBufferFromRight(GL_BlockMoveState *state, size_t count) {
  if (state == nullptr || count > state->dataLength) return paramErr;
  if (count == 0) return noErr;
  const size_t from = state->dataStart + state->dataLength - count;
  OSStatus err = FSWriteFork(state->fork, state->positionMode, state->writePosition - SInt64(count), ByteCount(count),
                             state->buffer + from, nullptr);
  if (err != noErr) return err;
  state->writePosition -= SInt64(count);
  state->leftToWrite -= SInt64(count);
  state->dataLength -= count;
  // The rest stays contiguous at the buffer's right end, where the next reads join it from the left.
  const size_t newStart = state->bufferSize - state->dataLength;
  std::memmove(state->buffer + newStart, state->buffer + state->dataStart, state->dataLength);
  state->dataStart = newStart;
  return noErr;
}

OSStatus GL_WritePartOfBufferFromLeft(GL_BlockMoveState *state, size_t count) {
  if (state == nullptr || count > state->dataLength) return paramErr;
  if (count == 0) return noErr;
  OSStatus err = FSWriteFork(state->fork, state->positionMode, state->writePosition, ByteCount(count),
                             state->buffer + state->dataStart, nullptr);
  if (err != noErr) return err;
  state->writePosition += SInt64(count);
  state->leftToWrite -= SInt64(count);
  state->dataLength -= count;
  // The rest moves to the buffer's start, where the next reads join it from the right.
  std::memmove(state->buffer, state->buffer + state->dataStart + count, state->dataLength);
  state->dataStart = 0;
  return noErr;
}

namespace {

OSStatus MoveTowardsEnd(GL_BlockMoveState *s, SInt64 oldOffset, SInt64 size, GL_ProgressCallback progress,
                        void *refCon) {
  const SInt64 sourceEnd = oldOffset + size;
  SInt64 readEnd = sourceEnd;  // the unread source is [oldOffset, readEnd)
  auto readLeft = [&](SInt64 n) {
    const size_t to = s->dataStart - size_t(n);
    OSStatus err = FSReadFork(s->fork, s->positionMode & ~rdVerifyMask, readEnd - n, ByteCount(n), s->buffer + to,
                              nullptr);
    if (err == noErr) {
      readEnd -= n;
      s->dataStart = to;
      s->dataLength += size_t(n);
    }
    return err;
  };
  OSStatus err = noErr;
  const SInt64 piece = std::min<SInt64>(sourceEnd % kMoveUnit, size);
  if (piece > 0 && (err = readLeft(piece)) != noErr) return err;
  for (;;) {
    const SInt64 room = SInt64(s->dataStart) / kMoveUnit * kMoveUnit;
    const SInt64 n = std::min(room, (readEnd - oldOffset) / kMoveUnit * kMoveUnit);
    if (n <= 0) break;
    if ((err = readLeft(n)) != noErr) return err;
    const size_t align = size_t(s->writePosition % kMoveUnit);
    if (align != 0 && (err = GL_WritePartOfBufferFromRight(s, std::min(align, s->dataLength))) != noErr) return err;
    if ((err = GL_WritePartOfBufferFromRight(s, s->dataLength / kMoveUnit * kMoveUnit)) != noErr) return err;
    if (progress != nullptr) {
      const float done = float(double(size - s->leftToWrite) / double(size));
      if ((err = progress(done, refCon)) != noErr) return err;
    }
  }
  if (readEnd > oldOffset && (err = readLeft(readEnd - oldOffset)) != noErr) return err;
  return GL_WritePartOfBufferFromRight(s, s->dataLength);
}

OSStatus MoveTowardsStart(GL_BlockMoveState *s, SInt64 oldOffset, SInt64 size) {
  const SInt64 sourceEnd = oldOffset + size;
  SInt64 readStart = oldOffset;  // the unread source is [readStart, sourceEnd)
  auto readRight = [&](SInt64 n) {
    const size_t to = s->dataStart + s->dataLength;
    OSStatus err = FSReadFork(s->fork, s->positionMode & ~rdVerifyMask, readStart, ByteCount(n), s->buffer + to,
                              nullptr);
    if (err == noErr) {
      readStart += n;
      s->dataLength += size_t(n);
    }
    return err;
  };
  OSStatus err = noErr;
  const SInt64 piece = std::min<SInt64>((kMoveUnit - oldOffset % kMoveUnit) % kMoveUnit, size);
  if (piece > 0 && (err = readRight(piece)) != noErr) return err;
  for (;;) {
    const SInt64 room = SInt64(s->bufferSize - s->dataStart - s->dataLength) / kMoveUnit * kMoveUnit;
    const SInt64 n = std::min(room, (sourceEnd - readStart) / kMoveUnit * kMoveUnit);
    if (n <= 0) break;
    if ((err = readRight(n)) != noErr) return err;
    const size_t align = size_t((kMoveUnit - s->writePosition % kMoveUnit) % kMoveUnit);
    if (align != 0 && (err = GL_WritePartOfBufferFromLeft(s, std::min(align, s->dataLength))) != noErr) return err;
    if ((err = GL_WritePartOfBufferFromLeft(s, s->dataLength / kMoveUnit * kMoveUnit)) != noErr) return err;
  }
  if (readStart < sourceEnd && (err = readRight(sourceEnd - readStart)) != noErr) return err;
  return GL_WritePartOfBufferFromLeft(s, s->dataLength);
}

}  // namespace

OSStatus GL_BlockMoveDataWithinFile(FSIORefNum fork, SInt64 oldOffset, SInt64 newOffset, SInt64 size,
                                    SInt64 maxBufferSize, Boolean readVerify, GL_ProgressCallback progress,
                                    void *refCon) {
  if (newOffset < 0) return posErr;
  if (size < 0) return paramErr;
  if (size == 0) return noErr;
  SInt64 bufferSize = (size + kMoveUnit - 1) / kMoveUnit * kMoveUnit;
  if (bufferSize > maxBufferSize) bufferSize = maxBufferSize / kMoveUnit * kMoveUnit;
  bufferSize = std::clamp<SInt64>(bufferSize, 4096, 0x40000000);
  void *buffer = nullptr;
  OSStatus err = GL_NewPtr(size_t(bufferSize), &buffer);
  if (err != noErr) return err;
  GL_BlockMoveState state{fork,
                          UInt16(fsFromStart | noCacheMask | (readVerify ? rdVerifyMask : 0)),
                          static_cast<char *>(buffer),
                          size_t(bufferSize),
                          0,
                          0,
                          0,
                          size};
  if (progress != nullptr) err = progress(0.0f, refCon);
  if (err == noErr && oldOffset != newOffset) {
    if (oldOffset < newOffset) {
      state.dataStart = state.bufferSize;
      state.writePosition = newOffset + size;
      err = MoveTowardsEnd(&state, oldOffset, size, progress, refCon);
    } else {
      state.writePosition = newOffset;
      err = MoveTowardsStart(&state, oldOffset, size);
    }
  }
  GL_DisposePtr(&buffer);
  return err;
}

OSStatus GL_CopySmallFile(const FSRef *source, const FSRef *target) {
  UInt64 dataSize = 0, rsrcSize = 0;
  OSStatus err = MF_FSGetForkSizes(source, &dataSize, &rsrcSize);
  if (err == noErr && !MF_FSRefValid(target)) err = fnfErr;
  if (err != noErr) return err;
  const UInt64 largest = std::max(dataSize, rsrcSize);
  if (largest > 0xFFFFFFFFu) return kGL_CopySmallFileErr;
  void *buffer = nullptr;
  if ((err = GL_NewPtr(size_t(largest), &buffer)) != noErr) return err;
  HFSUniStr255 rsrcName;
  FSGetResourceForkName(&rsrcName);
  struct Fork {
    UniCharCount nameLength;
    const UniChar *name;
    UInt64 size;
  } forks[] = {{0, nullptr, dataSize}, {rsrcName.length, rsrcName.unicode, rsrcSize}};
  for (const Fork &f : forks) {
    OwnFork in, out;
    err = OpenNamedFork(0, source, f.nameLength, f.name, fsRdPerm, &in);
    if (err == noErr) err = OpenNamedFork(0, target, f.nameLength, f.name, fsRdWrPerm, &out);
    if (err == noErr && f.size > 0) err = ReadAll(in.fork, fsFromStart, 0, SInt64(f.size), buffer);
    if (err == noErr && f.size > 0) err = WriteAll(out.fork, fsFromStart, 0, SInt64(f.size), buffer);
    // A longer target keeps no tail of its old content.
    if (err == noErr) err = FSSetForkSize(out.fork, fsFromStart, SInt64(f.size));
    if (err != noErr) break;
  }
  GL_DisposePtr(&buffer);
  if (err != noErr) return err;
  return MF_FSCopyFileMgrAttributes(source, target, true);
}

// ---- Names, catalog information and classification -----------------------------------------------------------

OSStatus GL_CopyFileDirNameAsCFString(const FSRef *object, CFStringRef *name) {
  if (name == nullptr) return paramErr;
  HFSUniStr255 uni;
  OSStatus err = MF_FSGetFileDirName(object, &uni);
  if (err != noErr) return err;
  CFStringRef made = FSCreateStringFromHFSUniStr(kCFAllocatorDefault, &uni);
  if (made == nullptr) return memFullErr;
  *name = made;
  return noErr;
}

OSStatus GL_CopyFileDirNameAsCFMutStr(const FSRef *object, CFMutableStringRef *name) {
  if (name == nullptr) return paramErr;
  CFStringRef plain = nullptr;
  OSStatus err = GL_CopyFileDirNameAsCFString(object, &plain);
  if (err != noErr) return err;
  CFMutableStringRef made = CFStringCreateMutableCopy(kCFAllocatorDefault, 0, plain);
  CFRelease(plain);
  if (made == nullptr) return memFullErr;
  *name = made;
  return noErr;
}

OSStatus GL_GetParentFolderName(const FSRef *object, HFSUniStr255 *name) {
  if (name == nullptr) return paramErr;
  FSRef parent;
  OSStatus err = MF_FSGetParentRef(object, &parent);
  if (err == noErr) err = MF_FSGetFileDirName(&parent, name);
  return err;
}

OSStatus GL_GetObjectDefaultCatInfo(const FSRef *object, HFSUniStr255 *name, FSVolumeRefNum *volume, FSRef *parent) {
  FSCatalogInfo info;
  OSStatus err = FSGetCatalogInfo(object, kFSCatInfoVolume, &info, name, nullptr, parent);
  if (err == noErr && volume != nullptr) *volume = info.volume;
  return err;
}

OSStatus GL_GetCreatorAndFileType(const FSRef *file, OSType *creator, OSType *fileType) {
  FSCatalogInfo info;
  OSStatus err = FSGetCatalogInfo(file, kFSCatInfoNodeFlags | kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr);
  if (err != noErr) return err;
  if (info.nodeFlags & kFSNodeIsDirectoryMask) return notAFileErr;
  FileInfo finder;
  std::memcpy(&finder, info.finderInfo, sizeof finder);
  if (creator) *creator = finder.fileCreator;
  if (fileType) *fileType = finder.fileType;
  return noErr;
}

OSStatus GL_GetFileObjectType(const FSRef *object, SInt16 *kind) {
  if (kind == nullptr) return paramErr;
  FSCatalogInfo info;
  OSStatus err = FSGetCatalogInfo(object, kFSCatInfoNodeID | kFSCatInfoNodeFlags | kFSCatInfoFinderInfo, &info,
                                  nullptr, nullptr, nullptr);
  if (err != noErr) return err;
  FileInfo finder;
  std::memcpy(&finder, info.finderInfo, sizeof finder);
  // A volume shows as its root folder, whose node identifier is fsRtDirID here.
  if (info.nodeID == fsRtDirID) *kind = kGL_FileObjectVolume;
  else if (info.nodeFlags & kFSNodeIsDirectoryMask) *kind = kGL_FileObjectFolder;
  else if (finder.finderFlags & kIsAlias) *kind = kGL_FileObjectAlias;
  else *kind = kGL_FileObjectFile;
  return noErr;
}

SInt16 GL_GetFileObjectTypeFromPB(const CInfoPBRec *pb) {
  if (pb == nullptr) return kGL_FileObjectVolume;
  if (pb->ioDirID == SInt32(fsRtParID)) return kGL_FileObjectVolume;
  if (pb->ioFlAttrib & 0x10) return kGL_FileObjectFolder;
  if (pb->ioFlFndrInfo.finderFlags & kIsAlias) return kGL_FileObjectAlias;
  return kGL_FileObjectFile;
}

OSStatus GL_IsVolume(const FSRef *object, Boolean *isVolume) {
  if (isVolume == nullptr) return paramErr;
  FSCatalogInfo info;
  OSStatus err = FSGetCatalogInfo(object, kFSCatInfoNodeID, &info, nullptr, nullptr, nullptr);
  if (err == noErr) *isVolume = info.nodeID == fsRtDirID;
  return err;
}

OSStatus GL_GetFileObjectTimes(const FSRef *object, UTCDateTime *createDate, UTCDateTime *contentModDate,
                               UTCDateTime *attributeModDate, UTCDateTime *accessDate, UTCDateTime *backupDate) {
  FSCatalogInfo info;
  OSStatus err = FSGetCatalogInfo(object, kFSCatInfoAllDates, &info, nullptr, nullptr, nullptr);
  if (err != noErr) return err;
  if (createDate) *createDate = info.createDate;
  if (contentModDate) *contentModDate = info.contentModDate;
  if (attributeModDate) *attributeModDate = info.attributeModDate;
  if (accessDate) *accessDate = info.accessDate;
  if (backupDate) *backupDate = info.backupDate;
  return noErr;
}

OSStatus GL_SetFileObjectTimes(const FSRef *object, const UTCDateTime *createDate, const UTCDateTime *contentModDate,
                               const UTCDateTime *attributeModDate, const UTCDateTime *accessDate,
                               const UTCDateTime *backupDate) {
  FSCatalogInfo info{};
  FSCatalogInfoBitmap which = kFSCatInfoNone;
  if (createDate) which |= kFSCatInfoCreateDate, info.createDate = *createDate;
  if (contentModDate) which |= kFSCatInfoContentMod, info.contentModDate = *contentModDate;
  if (attributeModDate) which |= kFSCatInfoAttrMod, info.attributeModDate = *attributeModDate;
  if (accessDate) which |= kFSCatInfoAccessDate, info.accessDate = *accessDate;
  if (backupDate) which |= kFSCatInfoBackupDate, info.backupDate = *backupDate;
  return FSSetCatalogInfo(object, which, &info);
}

OSStatus GL_GetFolderValence(const FSRef *folder, UInt32 *count) {
  if (count == nullptr) return paramErr;
  FSCatalogInfo info;
  OSStatus err = FSGetCatalogInfo(folder, kFSCatInfoNodeFlags | kFSCatInfoValence, &info, nullptr, nullptr, nullptr);
  if (err != noErr) return err;
  if (!(info.nodeFlags & kFSNodeIsDirectoryMask)) return errFSNotAFolder;
  *count = info.valence;
  return noErr;
}

OSStatus GL_IsFileWritable(const FSRef *file, Boolean *writable) {
  if (writable == nullptr) return paramErr;
  *writable = true;
  if (file == nullptr) return paramErr;
  FSIORefNum fork = 0;
  OSStatus err = FSOpenFork(file, 0, nullptr, fsRdWrPerm, &fork);
  switch (err) {
    case noErr:
      FSCloseFork(fork);
      return noErr;
    case fLckdErr:
    case wPrErr:
    case vLckdErr:
    case permErr:
      *writable = false;
      return noErr;
    case opWrErr:
      return noErr;
    default:
      return err;
  }
}

OSStatus GL_IsFileOpenForWriting(const FSRef *file, Boolean *resourceForkOpen, Boolean *dataForkOpen) {
  HFSUniStr255 rsrcName;
  FSGetResourceForkName(&rsrcName);
  struct Ask {
    Boolean *answer;
    UniCharCount nameLength;
    const UniChar *name;
  } asks[] = {{resourceForkOpen, rsrcName.length, rsrcName.unicode}, {dataForkOpen, 0, nullptr}};
  for (const Ask &ask : asks) {
    if (ask.answer == nullptr) continue;
    FSIORefNum fork = 0;
    OSStatus err = FSOpenFork(file, ask.nameLength, ask.name, fsRdWrPerm, &fork);
    if (err == opWrErr) {
      *ask.answer = true;
    } else if (err == noErr) {
      *ask.answer = false;
      FSCloseFork(fork);
    } else {
      return err;
    }
  }
  return noErr;
}

OSStatus GL_IsFileOpen(const FSRef *file, Boolean *isOpen) {
  if (isOpen == nullptr) return paramErr;
  FSCatalogInfo info;
  OSStatus err = FSGetCatalogInfo(file, kFSCatInfoNodeFlags, &info, nullptr, nullptr, nullptr);
  if (err == noErr) *isOpen = (info.nodeFlags & kFSNodeForkOpenMask) != 0;
  return err;
}

OSStatus GL_FileHasNamedForks(const FSRef *file, Boolean *hasNamedForks) {
  if (hasNamedForks == nullptr) return paramErr;
  *hasNamedForks = false;
  HFSUniStr255 rsrcName;
  FSGetResourceForkName(&rsrcName);
  CatPositionRec iterator{};
  OSStatus err;
  HFSUniStr255 name;
  while ((err = FSIterateForks(file, &iterator, &name, nullptr, nullptr)) == noErr) {
    // Fork names compare unit by unit, without any locale.
    const bool isData = name.length == 0;
    const bool isRsrc = name.length == rsrcName.length &&
                        std::memcmp(name.unicode, rsrcName.unicode, name.length * sizeof(UniChar)) == 0;
    if (!isData && !isRsrc) {
      *hasNamedForks = true;
      return noErr;
    }
  }
  return err == errFSNoMoreItems ? OSStatus(noErr) : err;
}

OSStatus GL_CountForks(const FSRef *file, ItemCount *count) {
  if (count == nullptr) return paramErr;
  return MF_FSGetTotalForkSizes(file, nullptr, nullptr, count);
}

OSStatus GL_GetExtensionHiddenForRef(const FSRef *object, Boolean *isHidden) {
  if (isHidden == nullptr) return paramErr;
  CFTypeRef value = nullptr;
  OSStatus err = LSCopyItemAttribute(object, kLSRolesAll, kLSItemExtensionIsHidden, &value);
  if (err != noErr) return err;
  *isHidden = value == kCFBooleanTrue;
  if (value != nullptr) CFRelease(value);
  return noErr;
}

OSStatus GL_GetEnvelopingPackage(const FSRef *file, FSRef *package) {
  if (package == nullptr) return paramErr;
  std::memset(package, 0, sizeof *package);
  FSRef current;
  OSStatus err = MF_FSGetParentRef(file, &current);
  // A package is a folder that the desktop shows as one document. Linux desktops have none, so the walk up
  // the valid parents never stops early and only its errors count.
  while (err == noErr && MF_FSRefValid(&current)) err = MF_FSGetParentRef(&current, &current);
  return err;
}

namespace {

OSStatus InTrashFolder(const FSRef *object, const FSRef &trash, Boolean *inTrash) {
  FSRef current;
  OSStatus err = MF_FSGetParentRef(object, &current);
  if (err != noErr) return err;
  // The object itself is not compared: the Trash is not inside itself.
  while (MF_FSRefValid(&current)) {
    if (FSCompareFSRefs(&current, &trash) == noErr) {
      *inTrash = true;
      return noErr;
    }
    if ((err = MF_FSGetParentRef(&current, &current)) != noErr) return err;
  }
  return noErr;
}

}  // namespace

OSStatus GL_FileInTrash(const FSRef *object, Boolean *inTrash) {
  if (inTrash == nullptr) return paramErr;
  *inTrash = false;
  FSVolumeRefNum volume;
  OSStatus err = MF_FSGetVRefNum(object, &volume);
  if (err != noErr) return err;
  FSRef trash;
  err = FSFindFolder(volume, kTrashFolderType, kDontCreateFolder, &trash);
  if (err == fnfErr) return noErr;
  if (err != noErr) return err;
  return InTrashFolder(object, trash, inTrash);
}

OSStatus GL_FileInClassicTrash(const FSRef *object, Boolean *inTrash) {
  if (inTrash == nullptr) return paramErr;
  *inTrash = false;
  FSRef trash;
  OSStatus err = FSFindFolder(kClassicDomain, kTrashFolderType, kDontCreateFolder, &trash);
  if (err == fnfErr) return noErr;
  if (err != noErr) return err;
  return InTrashFolder(object, trash, inTrash);
}

Boolean GL_FSRefValid(const FSRef *object) {
  if (!MF_FSRefValid(object)) return false;
  Boolean inTrash = false;
  if (GL_FileInTrash(object, &inTrash) != noErr) return true;  // a failing Trash test leaves the answer true
  return !inTrash;
}

Boolean GL_EqualFileObjects(const FSRef *a, const FSRef *b) { return FSCompareFSRefs(a, b) == noErr; }

Boolean GL_EqualFileRefLEPtrs(const void *a, const void *b) {
  if (a == nullptr || b == nullptr) return false;
  const FSRef *ra = &static_cast<const GL_FSRefLE *>(a)->fileRef;
  const FSRef *rb = &static_cast<const GL_FSRefLE *>(b)->fileRef;
  return MF_FSRefValid(ra) && MF_FSRefValid(rb) && GL_EqualFileObjects(ra, rb);
}

namespace {

UInt16 Swap16(UInt16 v) { return UInt16((v >> 8) | (v << 8)); }
UInt32 Swap32(UInt32 v) { return (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24); }
UInt64 Swap64(UInt64 v) { return (UInt64(Swap32(UInt32(v))) << 32) | Swap32(UInt32(v >> 32)); }

// The same swap both ways on this host.
void FlipCatalogInfo(FSCatalogInfo *info, bool toNative) {
  if (info == nullptr) return;
  info->nodeFlags = Swap16(info->nodeFlags);
  info->volume = FSVolumeRefNum(Swap16(UInt16(info->volume)));
  info->parentDirID = Swap32(info->parentDirID);
  info->nodeID = Swap32(info->nodeID);
  for (UTCDateTime *d : {&info->createDate, &info->contentModDate, &info->attributeModDate, &info->accessDate,
                         &info->backupDate}) {
    if (toNative) GL_UTCDateTime_BtoN(d);
    else GL_UTCDateTime_NtoB(d);
  }
  for (UInt32 &word : info->permissions) word = Swap32(word);
  info->dataLogicalSize = Swap64(info->dataLogicalSize);
  info->dataPhysicalSize = Swap64(info->dataPhysicalSize);
  info->rsrcLogicalSize = Swap64(info->rsrcLogicalSize);
  info->rsrcPhysicalSize = Swap64(info->rsrcPhysicalSize);
  info->valence = Swap32(info->valence);
  info->textEncodingHint = Swap32(info->textEncodingHint);
}

}  // namespace

Boolean GL_IsHTML_File(CFStringRef name) {
  CFIndex length = 0;
  // The end string from the last dot, at most 5 characters: ".htm" or ".html".
  CFStringRef end = GL_CopyCFNameEndString(name, &length, 5, kGL_NameEndAtPeriod);
  const bool html = (length == 4 && CFStringCompare(end, CFSTR(".htm"), 0) == kCFCompareEqualTo) ||
                    (length == 5 && CFStringCompare(end, CFSTR(".html"), 0) == kCFCompareEqualTo);
  if (end != nullptr) CFRelease(end);
  return html;
}

void GL_FlipFSCatalogInfo_BtoN(FSCatalogInfo *info) { FlipCatalogInfo(info, true); }
void GL_FlipFSCatalogInfo_NtoB(FSCatalogInfo *info) { FlipCatalogInfo(info, false); }

// ---- Paths and processes ---------------------------------------------------------------------------------------

namespace {

char *NewCString(const std::string &s) {
  void *block = nullptr;
  if (GL_NewPtr(s.size() + 1, &block) != noErr) return nullptr;
  std::memcpy(block, s.c_str(), s.size() + 1);
  return static_cast<char *>(block);
}

}  // namespace

char *GL_HFS_StrToPosixStr(const char *hfsPath) {
  if (hfsPath == nullptr || *hfsPath == 0) return nullptr;
  std::string path(hfsPath);
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t colon = path.find(':', start);
    parts.push_back(path.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  // The first component names a mounted volume.
  std::string result;
  for (ItemCount index = 1;; ++index) {
    HFSUniStr255 name;
    FSRef root;
    if (FSGetVolumeInfo(kFSInvalidVolumeRefNum, index, nullptr, kFSVolInfoNone, nullptr, &name, &root) != noErr)
      return nullptr;
    std::string utf8;
    if (PL_UTF8FromUniChars(name.unicode, name.length, &utf8) == noErr && utf8 == parts[0]) {
      if (PL_FSRefMakePathString(&root, &result) != noErr) return nullptr;
      break;
    }
  }
  for (size_t i = 1; i < parts.size(); ++i) {
    if (parts[i].empty()) continue;  // a trailing colon marks a folder
    std::string component = parts[i];
    std::replace(component.begin(), component.end(), '/', ':');  // a slash in a classic name is a colon here
    if (result.empty() || result.back() != '/') result += '/';
    result += component;
  }
  return NewCString(result);
}

CFStringRef GL_FSRefToPosixStr(const FSRef *object) {
  CFURLRef url = CFURLCreateFromFSRef(kCFAllocatorDefault, object);
  if (url == nullptr) return nullptr;
  CFStringRef path = CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle);
  CFRelease(url);
  return path;
}

OSStatus GL_FolderPathFileNameToFSRef(const char *folderPath, const char *fileName, FSRef *ref) {
  if (folderPath == nullptr || fileName == nullptr || ref == nullptr) return paramErr;
  std::string path(folderPath);
  if (!path.empty() && path.back() != '/' && *fileName != 0) path += '/';
  path += fileName;
  CFURLRef url = CFURLCreateFromFileSystemRepresentation(kCFAllocatorDefault,
                                                         reinterpret_cast<const UInt8 *>(path.c_str()),
                                                         CFIndex(path.size()), false);
  if (url == nullptr) return kGL_CreateURLErr;
  const bool found = CFURLGetFSRef(url, ref);
  CFRelease(url);
  return found ? OSStatus(noErr) : OSStatus(kGL_URLToFSRefErr);
}

OSStatus GL_FullPathToFileNameAndParentRef(const char *path, HFSUniStr255 *name, FSRef *parent) {
  if (path == nullptr || name == nullptr || parent == nullptr) return paramErr;
  CFURLRef url = CFURLCreateFromFileSystemRepresentation(kCFAllocatorDefault, reinterpret_cast<const UInt8 *>(path),
                                                         CFIndex(std::strlen(path)), false);
  if (url == nullptr) return kGL_CreateURLErr;
  OSStatus err = noErr;
  CFStringRef last = CFURLCopyLastPathComponent(url);
  if (last == nullptr || CFStringGetLength(last) == 0 || CFStringCompare(last, CFSTR("/"), 0) == kCFCompareEqualTo) {
    err = kGL_NoLastPathComponentErr;
  } else {
    HFSUniStr255 converted;
    // The conversion would cut a longer name, and the cut name is not the one asked for.
    err = CFStringGetLength(last) > 255 ? OSStatus(errFSNameTooLong) : FSGetHFSUniStrFromString(last, &converted);
    CFURLRef folderURL = err == noErr ? CFURLCreateCopyDeletingLastPathComponent(kCFAllocatorDefault, url) : nullptr;
    FSRef folder;
    if (err == noErr && (folderURL == nullptr || !CFURLGetFSRef(folderURL, &folder))) err = kGL_URLToFSRefErr;
    if (err == noErr) {
      *name = converted;
      *parent = folder;
    }
    if (folderURL != nullptr) CFRelease(folderURL);
  }
  if (last != nullptr) CFRelease(last);
  CFRelease(url);
  return err;
}

OSStatus GL_GetAppRef(FSRef *appRef) {
  if (appRef == nullptr) return paramErr;
  CFBundleRef bundle = CFBundleGetMainBundle();
  if (bundle == nullptr) return kLSApplicationNotFoundErr;
  CFURLRef url = CFBundleCopyBundleURL(bundle);
  const bool found = url != nullptr && CFURLGetFSRef(url, appRef);
  if (url != nullptr) CFRelease(url);
  return found ? OSStatus(noErr) : OSStatus(kLSApplicationNotFoundErr);
}

char *GL_FSRefToPosixPath(const FSRef *object) {
  std::string path;
  if (PL_FSRefMakePathString(object, &path) != noErr) return nullptr;
  return NewCString(path);
}

OSStatus GL_CurrentProcessRef(FSRef *processRef) {
  if (processRef == nullptr) return paramErr;
  return FSPathMakeRef(reinterpret_cast<const UInt8 *>("/proc/self/exe"), processRef, nullptr);
}

OSStatus GL_GetAppParentDirectory(FSRef *folder) {
  if (folder == nullptr) return paramErr;
  FSRef app;
  OSStatus err = GL_CurrentProcessRef(&app);
  if (err == noErr) err = MF_FSGetParentRef(&app, folder);
  return err;
}
