// Memory Manager stand-in.
//
// A pointer block carries a 16-byte header in front of the caller's bytes (capacity and size), so the
// caller's address stays 16-byte aligned and GetPtrSize needs no table. A handle is the address of the
// master-pointer field inside a separately allocated record, so the handle value never changes while
// its data block may move.
#include "platform/core/memory.h"

#include "platform/core/mac_errors.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

thread_local OSErr gMemError = noErr;
std::atomic<SInt32> gFailCountdown{0};

constexpr size_t kBlockHeader = 16;

struct BlockHeader {
  size_t size;
  size_t capacity;
};
static_assert(sizeof(BlockHeader) <= kBlockHeader);

struct HandleRecord {
  Ptr master;  // must stay the first field: the Handle is its address
  size_t size;
  SInt8 state;
};

bool InjectedFailure() {
  SInt32 n = gFailCountdown.load();
  while (n > 0) {
    if (gFailCountdown.compare_exchange_weak(n, n - 1)) return n == 1;
  }
  return false;
}

// Raw zeroed-or-not aligned storage with our header; NULL on failure.
char *AllocBlock(size_t size, bool clear) {
  if (InjectedFailure()) return nullptr;
  size_t total = kBlockHeader + (size == 0 ? 1 : size);
  void *raw = std::aligned_alloc(16, (total + 15) & ~size_t(15));
  if (raw == nullptr) return nullptr;
  auto *hdr = static_cast<BlockHeader *>(raw);
  hdr->size = size;
  hdr->capacity = size;
  char *data = static_cast<char *>(raw) + kBlockHeader;
  if (clear) std::memset(data, 0, size);
  return data;
}

BlockHeader *HeaderOf(const void *p) {
  return reinterpret_cast<BlockHeader *>(static_cast<char *>(const_cast<void *>(p)) - kBlockHeader);
}

void FreeBlock(char *data) {
  if (data != nullptr) std::free(data - kBlockHeader);
}

HandleRecord *RecordOf(Handle h) { return reinterpret_cast<HandleRecord *>(h); }

}  // namespace

OSErr MemError() { return gMemError; }

void PL_FailAllocationAfter(SInt32 allocationCount) { gFailCountdown.store(allocationCount < 0 ? 0 : allocationCount); }

bool PL_AllocationShouldFail() { return InjectedFailure(); }

Ptr NewPtr(Size byteCount) {
  if (byteCount < 0) {
    gMemError = memFullErr;
    return nullptr;
  }
  char *p = AllocBlock(size_t(byteCount), false);
  gMemError = p ? noErr : memFullErr;
  return p;
}

Ptr NewPtrClear(Size byteCount) {
  if (byteCount < 0) {
    gMemError = memFullErr;
    return nullptr;
  }
  char *p = AllocBlock(size_t(byteCount), true);
  gMemError = p ? noErr : memFullErr;
  return p;
}

void DisposePtr(Ptr p) {
  FreeBlock(p);
  gMemError = noErr;
}

Size GetPtrSize(Ptr p) {
  if (p == nullptr) {
    gMemError = nilHandleErr;
    return 0;
  }
  gMemError = noErr;
  return Size(HeaderOf(p)->size);
}

void SetPtrSize(Ptr p, Size newSize) {
  if (p == nullptr) {
    gMemError = nilHandleErr;
    return;
  }
  BlockHeader *hdr = HeaderOf(p);
  if (newSize < 0 || size_t(newSize) > hdr->capacity) {
    gMemError = memFullErr;
    return;
  }
  hdr->size = size_t(newSize);
  gMemError = noErr;
}

static Handle MakeHandle(Size byteCount, bool clear) {
  if (byteCount < 0) {
    gMemError = memFullErr;
    return nullptr;
  }
  auto *rec = new (std::nothrow) HandleRecord{nullptr, 0, 0};
  if (rec == nullptr) {
    gMemError = memFullErr;
    return nullptr;
  }
  rec->master = AllocBlock(size_t(byteCount), clear);
  if (rec->master == nullptr) {
    delete rec;
    gMemError = memFullErr;
    return nullptr;
  }
  rec->size = size_t(byteCount);
  gMemError = noErr;
  return &rec->master;
}

Handle NewHandle(Size byteCount) { return MakeHandle(byteCount, false); }
Handle NewHandleClear(Size byteCount) { return MakeHandle(byteCount, true); }

void DisposeHandle(Handle h) {
  if (h == nullptr) {
    gMemError = nilHandleErr;
    return;
  }
  HandleRecord *rec = RecordOf(h);
  FreeBlock(rec->master);
  delete rec;
  gMemError = noErr;
}

Size GetHandleSize(Handle h) {
  if (h == nullptr) {
    gMemError = nilHandleErr;
    return 0;
  }
  gMemError = noErr;
  return Size(RecordOf(h)->size);
}

void SetHandleSize(Handle h, Size newSize) {
  if (h == nullptr) {
    gMemError = nilHandleErr;
    return;
  }
  if (newSize < 0) {
    gMemError = memFullErr;
    return;
  }
  HandleRecord *rec = RecordOf(h);
  size_t wanted = size_t(newSize);
  if (rec->master != nullptr && wanted <= HeaderOf(rec->master)->capacity) {
    rec->size = wanted;
    HeaderOf(rec->master)->size = wanted;
    gMemError = noErr;
    return;
  }
  if (rec->master != nullptr && (rec->state & kHandleLockedMask)) {
    gMemError = memLockedErr;
    return;
  }
  // Grow with head room so that repeated appends stay linear.
  size_t capacity = wanted + wanted / 2 + 16;
  char *block = AllocBlock(capacity, false);
  if (block == nullptr) {
    gMemError = memFullErr;
    return;
  }
  if (rec->master != nullptr) {
    std::memcpy(block, rec->master, rec->size);
    FreeBlock(rec->master);
  }
  HeaderOf(block)->size = wanted;
  rec->master = block;
  rec->size = wanted;
  gMemError = noErr;
}

void HLock(Handle h) {
  if (h) RecordOf(h)->state |= kHandleLockedMask;
  gMemError = h ? noErr : nilHandleErr;
}
void HUnlock(Handle h) {
  if (h) RecordOf(h)->state &= ~kHandleLockedMask;
  gMemError = h ? noErr : nilHandleErr;
}
void HLockHi(Handle h) { HLock(h); }
SInt8 HGetState(Handle h) {
  gMemError = h ? noErr : nilHandleErr;
  return h ? RecordOf(h)->state : 0;
}
void HSetState(Handle h, SInt8 flags) {
  if (h) RecordOf(h)->state = flags;
  gMemError = h ? noErr : nilHandleErr;
}
void HPurge(Handle h) {
  if (h) RecordOf(h)->state |= kHandlePurgeableMask;
  gMemError = h ? noErr : nilHandleErr;
}
void HNoPurge(Handle h) {
  if (h) RecordOf(h)->state &= ~kHandlePurgeableMask;
  gMemError = h ? noErr : nilHandleErr;
}
void HSetRBit(Handle h) {
  if (h) RecordOf(h)->state |= kHandleIsResourceMask;
  gMemError = h ? noErr : nilHandleErr;
}
void HClrRBit(Handle h) {
  if (h) RecordOf(h)->state &= ~kHandleIsResourceMask;
  gMemError = h ? noErr : nilHandleErr;
}

void EmptyHandle(Handle h) {
  if (h == nullptr) {
    gMemError = nilHandleErr;
    return;
  }
  HandleRecord *rec = RecordOf(h);
  FreeBlock(rec->master);
  rec->master = nullptr;
  rec->size = 0;
  gMemError = noErr;
}

void ReallocateHandle(Handle h, Size byteCount) {
  if (h == nullptr) {
    gMemError = nilHandleErr;
    return;
  }
  EmptyHandle(h);
  SetHandleSize(h, byteCount);
}

void MoveHHi(Handle h) { gMemError = h ? noErr : nilHandleErr; }

OSErr HandToHand(Handle *theHndl) {
  if (theHndl == nullptr || *theHndl == nullptr) return gMemError = nilHandleErr;
  Handle src = *theHndl;
  Size n = GetHandleSize(src);
  Handle copy = NewHandle(n);
  if (copy == nullptr) return gMemError = memFullErr;
  if (n > 0) std::memcpy(*copy, *src, size_t(n));
  *theHndl = copy;
  return gMemError = noErr;
}

OSErr PtrToHand(const void *srcPtr, Handle *dstHndl, Size size) {
  if (dstHndl == nullptr || size < 0 || (srcPtr == nullptr && size > 0)) return gMemError = paramErr;
  Handle h = NewHandle(size);
  if (h == nullptr) {
    *dstHndl = nullptr;
    return gMemError = memFullErr;
  }
  if (size > 0) std::memcpy(*h, srcPtr, size_t(size));
  *dstHndl = h;
  return gMemError = noErr;
}

OSErr PtrToXHand(const void *srcPtr, Handle dstHndl, Size size) {
  if (dstHndl == nullptr) return gMemError = nilHandleErr;
  if (size < 0 || (srcPtr == nullptr && size > 0)) return gMemError = paramErr;
  SetHandleSize(dstHndl, size);
  if (gMemError != noErr) return gMemError;
  if (size > 0) std::memmove(*dstHndl, srcPtr, size_t(size));
  return gMemError = noErr;
}

OSErr HandAndHand(Handle hand1, Handle hand2) {
  if (hand1 == nullptr || hand2 == nullptr) return gMemError = nilHandleErr;
  Size n1 = GetHandleSize(hand1);
  Size n2 = GetHandleSize(hand2);
  SetHandleSize(hand2, n1 + n2);
  if (gMemError != noErr) return gMemError;
  // hand1 may be hand2: its bytes are still the first n1 bytes of the (possibly moved) block.
  if (n1 > 0) std::memmove(*hand2 + n2, *hand1, size_t(n1));
  return gMemError = noErr;
}

OSErr PtrAndHand(const void *ptr1, Handle hand2, Size size) {
  if (hand2 == nullptr) return gMemError = nilHandleErr;
  if (size < 0 || (ptr1 == nullptr && size > 0)) return gMemError = paramErr;
  Size n2 = GetHandleSize(hand2);
  // The source may lie inside hand2's own block, which SetHandleSize may move: copy it out first.
  char *tmp = nullptr;
  if (size > 0 && *hand2 != nullptr && static_cast<const char *>(ptr1) >= *hand2 &&
      static_cast<const char *>(ptr1) < *hand2 + n2) {
    tmp = static_cast<char *>(std::malloc(size_t(size)));
    if (tmp == nullptr) return gMemError = memFullErr;
    std::memcpy(tmp, ptr1, size_t(size));
    ptr1 = tmp;
  }
  SetHandleSize(hand2, n2 + size);
  OSErr err = gMemError;
  if (err == noErr && size > 0) std::memcpy(*hand2 + n2, ptr1, size_t(size));
  std::free(tmp);
  return gMemError = err;
}

long Munger(Handle h, long offset, const void *ptr1, long len1, const void *ptr2, long len2) {
  if (h == nullptr) {
    gMemError = nilHandleErr;
    return -1;
  }
  const Size size = GetHandleSize(h);
  if (offset < 0 || offset > size || len1 < 0 || len2 < 0) {
    gMemError = paramErr;
    return -1;
  }
  gMemError = noErr;
  long at = -1;
  if (ptr1 == nullptr) {
    at = offset;
    len1 = long(std::min<Size>(len1, size - offset));
  } else {
    const char *base = *h;
    for (long i = offset; i + len1 <= size; ++i)
      if (len1 == 0 || std::memcmp(base + i, ptr1, size_t(len1)) == 0) {
        at = i;
        break;
      }
    if (at < 0) return -1;
  }
  if (ptr2 == nullptr) return at;
  // The bytes after the match move to make room for (or close up after) the replacement.
  const Size tail = size - at - len1;
  if (len2 > len1) {
    SetHandleSize(h, size + len2 - len1);
    if (gMemError != noErr) return -1;
  }
  std::memmove(*h + at + len2, *h + at + len1, size_t(tail));
  std::memcpy(*h + at, ptr2, size_t(len2));
  if (len2 < len1) SetHandleSize(h, size + len2 - len1);
  return at + len2;
}

void BlockMove(const void *srcPtr, void *destPtr, Size byteCount) {
  if (byteCount > 0) std::memmove(destPtr, srcPtr, size_t(byteCount));
}
void BlockMoveData(const void *srcPtr, void *destPtr, Size byteCount) { BlockMove(srcPtr, destPtr, byteCount); }
void BlockMoveDataUncached(const void *srcPtr, void *destPtr, Size byteCount) { BlockMove(srcPtr, destPtr, byteCount); }
void BlockZero(void *destPtr, Size byteCount) {
  if (byteCount > 0) std::memset(destPtr, 0, size_t(byteCount));
}
void BlockZeroUncached(void *destPtr, Size byteCount) { BlockZero(destPtr, byteCount); }
