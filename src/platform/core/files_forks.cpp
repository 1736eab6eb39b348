// File Manager stand-in, forks: a table of 16-bit fork reference numbers over file descriptors, reads and
// writes with pread/pwrite at a per-fork mark, and the empty resource fork.
#include "platform/core/files.h"
#include "platform/core/files_internal.h"

#include "platform/core/mac_errors.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace pl_files {

// ---- Forks ------------------------------------------------------------------------------------------------------

namespace {

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

}  // namespace

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

namespace {

std::atomic<SInt64> gWriteBudget{-1};
std::atomic<UInt32> gWriteDelay{0};


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

}  // namespace

}  // namespace pl_files

using namespace pl_files;

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
  const ByteCount allowed = PL_TakeWriteBudget(requestCount);
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

ByteCount PL_TakeWriteBudget(ByteCount wanted) {
  if (const UInt32 delay = gWriteDelay.load(); delay != 0)
    std::this_thread::sleep_for(std::chrono::microseconds(delay));
  SInt64 budget = gWriteBudget.load();
  while (budget >= 0) {
    SInt64 take = std::min<SInt64>(budget, SInt64(wanted));
    if (gWriteBudget.compare_exchange_weak(budget, budget - take)) return ByteCount(take);
  }
  return wanted;
}

void PL_FailWritesAfterBytes(SInt64 byteCount) { gWriteBudget.store(byteCount < 0 ? -1 : byteCount); }

void PL_SlowWritesBy(UInt32 microseconds) { gWriteDelay.store(microseconds); }
