// Memory blocks, handles, the scratch allocator and singly linked lists.
//
// Element links and callers' pointers are read and written with memcpy: a list element is any record
// whose first field is a pointer to its own type, so the code only knows that field as raw bytes.
#include "general/memory_lists.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"

#include <cstdlib>
#include <cstring>

namespace {

void *LoadPtr(const void *slot) {
  void *p;
  std::memcpy(&p, slot, sizeof p);
  return p;
}

void StorePtr(void *slot, void *p) { std::memcpy(slot, &p, sizeof p); }

void *NextOf(const void *element) { return LoadPtr(element); }
void SetNext(void *element, void *next) { StorePtr(element, next); }

// A standard-allocator block; size 0 still gets a unique block so that NULL always means failure.
void *AllocBlock(size_t size, bool clear) {
  if (PL_AllocationShouldFail()) return nullptr;
  size_t n = size == 0 ? 1 : size;
  return clear ? std::calloc(1, n) : std::malloc(n);
}

void *ReallocBlock(void *p, size_t size) {
  if (PL_AllocationShouldFail()) return nullptr;
  return std::realloc(p, size == 0 ? 1 : size);
}

// Rounds a scratch request up to 16 bytes; false when that does not fit the scratch's 32-bit counters.
bool RoundScratchSize(size_t size, SInt32 *rounded) {
  if (size > size_t(0x7FFFFFF0)) return false;
  *rounded = SInt32((size + 15) & ~size_t(15));
  return true;
}

bool ScratchIsServable(const GL_ScratchMem *s) {
  return s != nullptr && s->ptr != nullptr && s->pos >= 0 && s->size >= s->pos;
}

}  // namespace

// ---- Memory ----

OSStatus GL_NewPtrClear(size_t size, GL_PtrAddress newPtr) {
  if (newPtr.slot == nullptr) return paramErr;
  void *p = AllocBlock(size, true);
  StorePtr(newPtr.slot, p);
  return p ? noErr : memFullErr;
}

OSStatus GL_NewPtr(size_t size, GL_PtrAddress newPtr) {
  if (newPtr.slot == nullptr) return paramErr;
  void *p = AllocBlock(size, false);
  StorePtr(newPtr.slot, p);
  return p ? noErr : memFullErr;
}

OSStatus GL_SetPtrSizeClear(size_t oldSize, size_t newSize, GL_PtrAddress p) {
  if (p.slot == nullptr) return paramErr;
  void *block = LoadPtr(p.slot);
  if (block == nullptr) return GL_NewPtrClear(newSize, p);
  if (newSize <= oldSize) return noErr;
  void *grown = ReallocBlock(block, newSize);
  // A failed grow keeps the caller's block and its bytes.
  if (grown == nullptr) return memFullErr;
  std::memset(static_cast<char *>(grown) + oldSize, 0, newSize - oldSize);
  StorePtr(p.slot, grown);
  return noErr;
}

OSStatus GL_DisposePtr(GL_PtrAddress pointer) {
  if (pointer.slot == nullptr) return noErr;
  std::free(LoadPtr(pointer.slot));
  StorePtr(pointer.slot, nullptr);
  return noErr;
}

OSStatus GL_CopyPtr(const void *ptr, size_t size, GL_PtrAddress copyPtr) {
  if (ptr == nullptr || copyPtr.slot == nullptr) return noErr;
  if (LoadPtr(copyPtr.slot) == nullptr) {
    OSStatus err = GL_NewPtrClear(size, copyPtr);
    if (err != noErr) return err;
  }
  if (size > 0) std::memmove(LoadPtr(copyPtr.slot), ptr, size);
  return noErr;
}

OSStatus GL_ClearBytes(void *ptr, size_t numBytes) {
  if (ptr != nullptr && numBytes > 0) std::memset(ptr, 0, numBytes);
  return noErr;
}

void GL_SetBytes(void *ptr, size_t numBytes, UInt8 c) {
  if (ptr != nullptr && numBytes > 0) std::memset(ptr, c, numBytes);
}

Boolean GL_EqualBytes(const void *addr1, const void *addr2, size_t numBytes) {
  if (numBytes == 0 || addr1 == addr2) return true;
  if (addr1 == nullptr || addr2 == nullptr) return false;
  return std::memcmp(addr1, addr2, numBytes) == 0;
}

Boolean GL_AreBytesClear(const void *p, size_t numBytes) {
  const UInt8 *bytes = static_cast<const UInt8 *>(p);
  for (size_t i = 0; i < numBytes; ++i)
    if (bytes[i] != 0) return false;
  return true;
}

OSStatus GL_PtrAndPtr(GL_PtrAddress ptr1, size_t size1, GL_PtrAddress ptr2, size_t size2, size_t offset,
                      Boolean disposing) {
  if (ptr1.slot == nullptr || size1 == 0) return noErr;
  void *source = LoadPtr(ptr1.slot);
  if (source == nullptr) return noErr;
  if (ptr2.slot == nullptr) return paramErr;
  if (offset > SIZE_MAX - size1) return paramErr;
  size_t needed = offset + size1;
  if (needed > size2 || LoadPtr(ptr2.slot) == nullptr) {
    OSStatus err = GL_SetPtrSizeClear(size2, needed, ptr2);
    if (err != noErr) return err;
  }
  // The bytes go where the caller asked, at `offset`, which the grow above made room for.
  std::memmove(static_cast<char *>(LoadPtr(ptr2.slot)) + offset, source, size1);
  if (disposing) return GL_DisposePtr(ptr1);
  return noErr;
}

void GL_DisposeHandle(Handle *hdlAddr) {
  if (hdlAddr == nullptr || *hdlAddr == nullptr) return;
  // There are no resource maps here that could still own a handle marked as a resource, so every handle
  // is simply disposed.
  if (HGetState(*hdlAddr) & kHandleIsResourceMask) HClrRBit(*hdlAddr);
  DisposeHandle(*hdlAddr);
  *hdlAddr = nullptr;
}

OSStatus GL_CopyHandle(Handle h, Handle *copyHandle) {
  if (copyHandle == nullptr) return paramErr;
  *copyHandle = h;
  if (h == nullptr) return noErr;
  OSStatus err = HandToHand(copyHandle);
  if (err != noErr) *copyHandle = nullptr;
  return err;
}

OSStatus GL_HandAndHand(Handle *hand1, Handle hand2, Boolean disposing) {
  if (hand1 == nullptr) return paramErr;
  OSStatus err = HandAndHand(*hand1, hand2);
  if (err == noErr && disposing) GL_DisposeHandle(hand1);
  return err;
}

OSStatus GL_HdlToPtr(Handle *handle, GL_PtrAddress ptr, Boolean disposing) {
  if (handle == nullptr || ptr.slot == nullptr) return paramErr;
  StorePtr(ptr.slot, nullptr);
  if (*handle == nullptr) return noErr;
  Size size = GetHandleSize(*handle);
  OSStatus err = MemError();
  if (err != noErr) return err;
  err = GL_NewPtr(size_t(size), ptr);
  if (err != noErr) return err;
  if (size > 0) std::memcpy(LoadPtr(ptr.slot), **handle, size_t(size));
  if (disposing) GL_DisposeHandle(handle);
  return noErr;
}

OSStatus GL_ConvertPtrToHandle(GL_PtrAddress p, size_t size, Handle *h, Boolean disposing) {
  if (p.slot == nullptr || h == nullptr) return paramErr;
  if (size > size_t(0x7FFFFFFF)) return memFullErr;
  OSStatus err = PtrToHand(LoadPtr(p.slot), h, Size(size));
  if (err == noErr && disposing) GL_DisposePtr(p);
  return err;
}

Boolean GL_EqualHandles(Handle handle1, Handle handle2) {
  if (handle1 == nullptr || handle2 == nullptr) return false;
  Size size1 = GetHandleSize(handle1);
  if (MemError() != noErr) return false;
  Size size2 = GetHandleSize(handle2);
  if (MemError() != noErr) return false;
  if (size1 != size2) return false;
  return GL_EqualBytes(*handle1, *handle2, size_t(size1));
}

OSStatus GL_ClearHandle(Handle handle) {
  Size size = GetHandleSize(handle);
  OSStatus err = MemError();
  if (err == noErr && size > 0) std::memset(*handle, 0, size_t(size));
  return err;
}

// ---- Scratch allocator ----

void *GL_AllocateFromScratch(GL_ScratchMem *scratchMem, size_t size, Boolean *allocated, Boolean clear) {
  SInt32 rounded = 0;
  bool fits = RoundScratchSize(size, &rounded) && ScratchIsServable(scratchMem) &&
              scratchMem->size - scratchMem->pos > rounded;
  if (!fits) {
    if (scratchMem != nullptr) scratchMem->error = memFullErr;
    if (allocated != nullptr) *allocated = true;
    return AllocBlock(size, clear);
  }
  char *p = scratchMem->ptr + scratchMem->pos;
  if (clear) std::memset(p, 0, size);
  scratchMem->pos += rounded;
  if (allocated != nullptr) *allocated = false;
  return p;
}

void GL_DeAllocateFromScratch(GL_ScratchMem *scratchMem, size_t size, Boolean allocated, void *ptr) {
  if (allocated) {
    std::free(ptr);
    return;
  }
  SInt32 rounded = 0;
  if (scratchMem == nullptr || !RoundScratchSize(size, &rounded)) return;
  scratchMem->pos = scratchMem->pos >= rounded ? scratchMem->pos - rounded : 0;
}

void *GL_AllocateFromScratch32(GL_ScratchMem *scratchMem, size_t size, Boolean *allocated, Boolean clear) {
  size_t bytes = size > SIZE_MAX / 4 ? SIZE_MAX : size * 4;
  return GL_AllocateFromScratch(scratchMem, bytes, allocated, clear);
}

void GL_DeAllocateFromScratch32(GL_ScratchMem *scratchMem, size_t size, Boolean allocated, void *ptr) {
  size_t bytes = size > SIZE_MAX / 4 ? SIZE_MAX : size * 4;
  GL_DeAllocateFromScratch(scratchMem, bytes, allocated, ptr);
}

// ---- Lists ----

void LL_AddPtr(void *behind, void *newPtr, GL_PtrAddress first) {
  if (newPtr == nullptr || first.slot == nullptr) return;
  void *head = LoadPtr(first.slot);
  if (head == nullptr) {
    SetNext(newPtr, nullptr);
    StorePtr(first.slot, newPtr);
    return;
  }
  if (behind == kLL_AddAsFirst) {
    SetNext(newPtr, head);
    StorePtr(first.slot, newPtr);
    return;
  }
  void *at = head;
  while (at != behind) {
    void *next = NextOf(at);
    if (next == nullptr) break;
    at = next;
  }
  SetNext(newPtr, NextOf(at));
  SetNext(at, newPtr);
}

OSStatus LL_AddNewPtr(size_t structSize, void *behind, GL_PtrAddress first, GL_PtrAddress newPtr) {
  if (first.slot == nullptr || newPtr.slot == nullptr) return paramErr;
  // The element must at least hold its link.
  if (structSize < sizeof(void *)) structSize = sizeof(void *);
  OSStatus err = GL_NewPtrClear(structSize, newPtr);
  if (err != noErr) return err;
  LL_AddPtr(behind, LoadPtr(newPtr.slot), first);
  return noErr;
}

OSStatus LL_CopyPtrFromListToList(const void *ptr, size_t structSize, void *behind, GL_PtrAddress first,
                                  GL_PtrAddress copy) {
  if (ptr == nullptr || first.slot == nullptr || copy.slot == nullptr) return paramErr;
  if (structSize < sizeof(void *)) return paramErr;
  OSStatus err = GL_NewPtrClear(structSize, copy);
  if (err != noErr) return err;
  void *element = LoadPtr(copy.slot);
  std::memcpy(element, ptr, structSize);
  LL_AddPtr(behind, element, first);
  return noErr;
}

void LL_RemovePtr(void *remove, GL_PtrAddress first) {
  if (remove == nullptr || first.slot == nullptr) return;
  void *head = LoadPtr(first.slot);
  if (head == nullptr) return;
  if (head == remove) {
    StorePtr(first.slot, NextOf(remove));
    return;
  }
  void *prev = LL_GetPrevPtr(head, remove);
  if (prev != nullptr) SetNext(prev, NextOf(remove));
}

void LL_DeletePtr(GL_PtrAddress first, GL_PtrAddress remove) {
  if (remove.slot == nullptr) return;
  void *element = LoadPtr(remove.slot);
  if (element == nullptr) return;
  LL_RemovePtr(element, first);
  std::free(element);
  StorePtr(remove.slot, nullptr);
}

void LL_DeleteLastPtr(GL_PtrAddress first) {
  if (first.slot == nullptr) return;
  void *last = LL_GetLastPtr(LoadPtr(first.slot));
  if (last == nullptr) return;
  LL_RemovePtr(last, first);
  std::free(last);
}

void *LL_GetPrevPtr(void *first, const void *ptr) {
  if (first == nullptr || first == ptr) return nullptr;
  for (void *at = first; at != nullptr; at = NextOf(at))
    if (NextOf(at) == ptr) return at;
  return nullptr;
}

void *LL_GetLastPtr(void *first) {
  if (first == nullptr) return nullptr;
  void *at = first;
  while (NextOf(at) != nullptr) at = NextOf(at);
  return at;
}

void *LL_GetPtrByID(void *first, SInt32 id, size_t offset) {
  for (void *at = first; at != nullptr; at = NextOf(at)) {
    SInt32 value;
    std::memcpy(&value, static_cast<const char *>(at) + offset, sizeof value);
    if (value == id) return at;
  }
  return nullptr;
}

void *LL_GetPtrByIndex(void *first, SInt32 index) {
  void *at = first;
  for (SInt32 i = 1; i < index && at != nullptr; ++i) at = NextOf(at);
  return at;
}

SInt32 LL_GetPtrIndex(void *first, const void *ptr) {
  SInt32 index = 0;
  for (void *at = first; at != nullptr; at = NextOf(at)) {
    ++index;
    if (at == ptr) break;
  }
  return index;
}

void LL_SwapPointers(void *ptr1, void *ptr2, GL_PtrAddress first) {
  if (ptr1 == nullptr || ptr2 == nullptr || ptr1 == ptr2 || first.slot == nullptr) return;
  void *head = LoadPtr(first.slot);
  if (head == nullptr) return;
  // The link slot that points at each element: the head pointer or the previous element's link.
  void *slot1 = nullptr;
  void *slot2 = nullptr;
  if (head == ptr1) slot1 = first.slot;
  if (head == ptr2) slot2 = first.slot;
  for (void *at = head; at != nullptr && (slot1 == nullptr || slot2 == nullptr); at = NextOf(at)) {
    void *next = NextOf(at);
    if (next == ptr1) slot1 = at;
    if (next == ptr2) slot2 = at;
  }
  if (slot1 == nullptr || slot2 == nullptr) return;
  void *next1 = NextOf(ptr1);
  void *next2 = NextOf(ptr2);
  if (next1 == ptr2) {
    StorePtr(slot1, ptr2);
    SetNext(ptr2, ptr1);
    SetNext(ptr1, next2);
  } else if (next2 == ptr1) {
    StorePtr(slot2, ptr1);
    SetNext(ptr1, ptr2);
    SetNext(ptr2, next1);
  } else {
    StorePtr(slot1, ptr2);
    StorePtr(slot2, ptr1);
    SetNext(ptr1, next2);
    SetNext(ptr2, next1);
  }
}

void LL_MovePtrToFront(GL_PtrAddress first, void *ptr) {
  if (first.slot == nullptr) return;
  LL_SwapPointers(LoadPtr(first.slot), ptr, first);
}

void LL_MovePtrToEnd(GL_PtrAddress first, void *ptr) {
  if (first.slot == nullptr) return;
  LL_SwapPointers(ptr, LL_GetLastPtr(LoadPtr(first.slot)), first);
}

void LL_DisposeLinkedList(GL_PtrAddress first) {
  if (first.slot == nullptr) return;
  void *at = LoadPtr(first.slot);
  while (at != nullptr) {
    void *next = NextOf(at);
    std::free(at);
    at = next;
  }
  StorePtr(first.slot, nullptr);
}

void LL_DisposePtrLE_List(GL_PtrAddress first) {
  if (first.slot == nullptr) return;
  auto *at = static_cast<LL_PtrLE *>(LoadPtr(first.slot));
  while (at != nullptr) {
    LL_PtrLE *next = at->next;
    std::free(at->ptr);
    std::free(at);
    at = next;
  }
  StorePtr(first.slot, nullptr);
}

void LL_DisposeListOfLinkedLists(GL_PtrAddress first) {
  if (first.slot == nullptr) return;
  auto *at = static_cast<LL_PtrLE *>(LoadPtr(first.slot));
  while (at != nullptr) {
    LL_PtrLE *next = at->next;
    LL_DisposeLinkedList(&at->ptr);
    std::free(at);
    at = next;
  }
  StorePtr(first.slot, nullptr);
}

OSStatus LL_CopyLinkedList(void *first, size_t size, GL_PtrAddress copy) {
  if (copy.slot == nullptr) return noErr;
  StorePtr(copy.slot, nullptr);
  if (first != nullptr && size < sizeof(void *)) return paramErr;
  void *last = copy.slot;
  for (void *at = first; at != nullptr; at = NextOf(at)) {
    void *element = AllocBlock(size, false);
    if (element == nullptr) return memFullErr;
    std::memcpy(element, at, size);
    SetNext(element, nullptr);
    StorePtr(last, element);
    last = element;
  }
  return noErr;
}

OSStatus LL_CopyListPtrs(void *first, GL_PtrAddress copy) {
  if (copy.slot == nullptr) return noErr;
  StorePtr(copy.slot, nullptr);
  void *last = copy.slot;
  for (void *at = first; at != nullptr; at = NextOf(at)) {
    last = LL_AddPtrToEndOfList(at, 0, kLL_CopyPointers, last);
    if (last == nullptr) return memFullErr;
  }
  return noErr;
}

Boolean LL_PtrInPtrList(void *first, const void *ptr) {
  for (auto *at = static_cast<LL_PtrLE *>(first); at != nullptr; at = at->next)
    if (at->ptr == ptr) return true;
  return false;
}

Boolean LL_PtrInLinkedList(void *first, const void *element, LL_EqualDataProcPtr EqualDataProc) {
  for (void *at = first; at != nullptr; at = NextOf(at)) {
    if (EqualDataProc != nullptr ? EqualDataProc(at, element) : at == element) return true;
  }
  return false;
}

SInt32 LL_PtrListCount(const void *first) {
  SInt32 count = 0;
  for (const void *at = first; at != nullptr; at = NextOf(at)) ++count;
  return count;
}

OSStatus LL_FlattenLinkedList(Boolean disposing, GL_PtrAddress first, size_t size, GL_PtrAddress array) {
  if (first.slot == nullptr || array.slot == nullptr) return paramErr;
  void *head = LoadPtr(first.slot);
  size_t count = size_t(LL_PtrListCount(head));
  if (count == 0) return noErr;
  if (size < sizeof(void *) || size > SIZE_MAX / count) return paramErr;
  if (LoadPtr(array.slot) == nullptr) {
    OSStatus err = GL_NewPtr(count * size, array);
    if (err != noErr) return err;
  }
  char *out = static_cast<char *>(LoadPtr(array.slot));
  for (void *at = head; at != nullptr; at = NextOf(at), out += size) std::memcpy(out, at, size);
  if (disposing) LL_DisposeLinkedList(first);
  return noErr;
}

OSStatus LL_UnflattenLinkedList(size_t size, Boolean disposing, GL_PtrAddress array, SInt32 numElements,
                                GL_PtrAddress first) {
  if (array.slot == nullptr || first.slot == nullptr || numElements < 0) return paramErr;
  StorePtr(first.slot, nullptr);
  const char *in = static_cast<const char *>(LoadPtr(array.slot));
  if (numElements == 0 || in == nullptr) return noErr;
  if (size < sizeof(void *)) return paramErr;
  void *last = first.slot;
  for (SInt32 i = 0; i < numElements; ++i, in += size) {
    void *element = AllocBlock(size, false);
    if (element == nullptr) return memFullErr;
    std::memcpy(element, in, size);
    SetNext(element, nullptr);
    StorePtr(last, element);
    last = element;
  }
  if (disposing) GL_DisposePtr(array);
  return noErr;
}

void LL_RemoveIdenticalElements(void *first, LL_EqualDataProcPtr EqualDataProc, Boolean disposing) {
  for (void *a = first; a != nullptr; a = NextOf(a)) {
    void *prev = a;
    void *b = NextOf(a);
    while (b != nullptr) {
      void *next = NextOf(b);
      bool equal = EqualDataProc != nullptr ? EqualDataProc(a, b) : a == b;
      if (equal) {
        SetNext(prev, next);
        if (disposing) std::free(b);
      } else {
        prev = b;
      }
      b = next;
    }
  }
}

void *LL_AddPtrToEndOfList(void *ptr, size_t size, LL_CopyMode copyMode, void *last) {
  if (ptr == nullptr || last == nullptr) return nullptr;
  void *element = nullptr;
  switch (copyMode) {
    case kLL_MoveData:
      element = ptr;
      break;
    case kLL_CopyPointers: {
      auto *pe = static_cast<LL_PtrLE *>(AllocBlock(sizeof(LL_PtrLE), true));
      if (pe == nullptr) return nullptr;
      pe->ptr = ptr;
      pe->size = size;
      element = pe;
      break;
    }
    case kLL_CopyData:
      if (size < sizeof(void *)) return nullptr;
      element = AllocBlock(size, false);
      if (element == nullptr) return nullptr;
      std::memcpy(element, ptr, size);
      break;
    default:
      return nullptr;
  }
  SetNext(element, nullptr);
  StorePtr(last, element);
  return element;
}

namespace {

// Disposes an output list of a set operation: LL_PtrLE wrappers, copies or moved elements alike.
void DisposeOutput(void *first) { LL_DisposeLinkedList(&first); }

}  // namespace

OSStatus LL_IntersectLists(void *first1, void *first2, size_t size, LL_EqualDataProcPtr EqualDataProc,
                           LL_CopyMode copyMode, GL_PtrAddress firstRemaining1, GL_PtrAddress firstCommon,
                           GL_PtrAddress firstRemaining2) {
  if (firstRemaining1.slot == nullptr && firstCommon.slot == nullptr && firstRemaining2.slot == nullptr)
    return noErr;
  if (copyMode != kLL_MoveData && copyMode != kLL_CopyPointers && copyMode != kLL_CopyData) return paramErr;
  if (copyMode == kLL_CopyData && size < sizeof(void *)) return paramErr;

  // Decide every element's side while both lists are intact: moving relinks them.
  SInt32 count1 = LL_PtrListCount(first1);
  SInt32 count2 = LL_PtrListCount(first2);
  Boolean *inOther = nullptr;
  if (GL_NewPtrClear(size_t(count1) + size_t(count2), &inOther) != noErr) return memFullErr;
  SInt32 i = 0;
  for (void *at = first1; at != nullptr; at = NextOf(at), ++i)
    inOther[i] = LL_PtrInLinkedList(first2, at, EqualDataProc);
  for (void *at = first2; at != nullptr; at = NextOf(at), ++i)
    inOther[i] = LL_PtrInLinkedList(first1, at, EqualDataProc);

  void *remaining1 = nullptr, *common = nullptr, *remaining2 = nullptr;
  void *last1 = &remaining1, *lastCommon = &common, *last2 = &remaining2;
  OSStatus err = noErr;
  i = 0;
  for (void *at = first1; at != nullptr; ++i) {
    void *next = NextOf(at);
    void **lastSlot = inOther[i] ? &lastCommon : &last1;
    void *tail = LL_AddPtrToEndOfList(at, size, copyMode, *lastSlot);
    if (tail == nullptr) {
      err = memFullErr;
      break;
    }
    *lastSlot = tail;
    at = next;
  }
  for (void *at = first2; err == noErr && at != nullptr; ++i) {
    void *next = NextOf(at);
    if (!inOther[i]) {
      void *tail = LL_AddPtrToEndOfList(at, size, copyMode, last2);
      if (tail == nullptr) {
        err = memFullErr;
        break;
      }
      last2 = tail;
    } else if (copyMode == kLL_MoveData) {
      // Its twin from list 1 is in the common list; nothing else would ever free it.
      std::free(at);
    }
    at = next;
  }
  GL_DisposePtr(&inOther);
  // Copy modes can only fail before touching the sources: give back what was made. A move cannot fail.
  if (err != noErr) {
    DisposeOutput(remaining1);
    DisposeOutput(common);
    DisposeOutput(remaining2);
    return err;
  }
  if (firstRemaining1.slot != nullptr) StorePtr(firstRemaining1.slot, remaining1);
  else DisposeOutput(remaining1);
  if (firstCommon.slot != nullptr) StorePtr(firstCommon.slot, common);
  else DisposeOutput(common);
  if (firstRemaining2.slot != nullptr) StorePtr(firstRemaining2.slot, remaining2);
  else DisposeOutput(remaining2);
  return noErr;
}

OSStatus LL_MergeLists(void *first1, void *first2, size_t size, LL_EqualDataProcPtr EqualDataProc,
                       LL_CopyMode copyMode, GL_PtrAddress first) {
  if (first.slot == nullptr) return paramErr;
  void *remaining1 = nullptr, *common = nullptr, *remaining2 = nullptr;
  OSStatus err =
      LL_IntersectLists(first1, first2, size, EqualDataProc, copyMode, &remaining1, &common, &remaining2);
  if (err != noErr) return err;
  LL_ConcatenateLists(&remaining1, common);
  LL_ConcatenateLists(&remaining1, remaining2);
  StorePtr(first.slot, remaining1);
  return noErr;
}

OSStatus LL_SubtractLists(void *first1, void *first2, size_t size, LL_EqualDataProcPtr EqualDataProc,
                          LL_CopyMode copyMode, GL_PtrAddress first) {
  if (first.slot == nullptr) return paramErr;
  return LL_IntersectLists(first1, first2, size, EqualDataProc, copyMode, first, nullptr, nullptr);
}

void LL_ConcatenateLists(GL_PtrAddress first1, void *first2) {
  if (first1.slot == nullptr) return;
  void *last = LL_GetLastPtr(LoadPtr(first1.slot));
  if (last == nullptr) StorePtr(first1.slot, first2);
  else SetNext(last, first2);
}

namespace {

bool IntervalsTouch(const LL_IntervalLE *a, const LL_IntervalLE *b) { return a->start <= b->end && a->end >= b->start; }

void MergeInterval(LL_IntervalLE *into, const LL_IntervalLE *from) {
  if (from->start < into->start) into->start = from->start;
  if (from->end > into->end) into->end = from->end;
}

}  // namespace

void LL_ReduceIntervalList(LL_IntervalLE *first) {
  for (LL_IntervalLE *a = first; a != nullptr; a = a->next) {
    LL_IntervalLE *prev = a;
    LL_IntervalLE *b = a->next;
    while (b != nullptr) {
      LL_IntervalLE *next = b->next;
      if (IntervalsTouch(a, b)) {
        MergeInterval(a, b);
        prev->next = next;
        std::free(b);
      } else {
        prev = b;
      }
      b = next;
    }
  }
}

void LL_OrderReduceIntervalList(LL_IntervalLE **first) {
  if (first == nullptr) return;
  bool changed = true;
  while (changed) {
    changed = false;
    LL_IntervalLE **slot = first;
    while (*slot != nullptr && (*slot)->next != nullptr) {
      LL_IntervalLE *a = *slot;
      LL_IntervalLE *b = a->next;
      if (b->start < a->start) {
        a->next = b->next;
        b->next = a;
        *slot = b;
        changed = true;
      } else if (IntervalsTouch(a, b)) {
        MergeInterval(a, b);
        a->next = b->next;
        std::free(b);
        changed = true;
        continue;
      }
      slot = &(*slot)->next;
    }
  }
}

OSStatus LL_MergeArrays(size_t elSize, GL_PtrAddress array1, SInt32 *count1, const void *array2, SInt32 count2) {
  if (array1.slot == nullptr || array2 == nullptr || count1 == nullptr || count2 <= 0 || elSize == 0)
    return noErr;
  char *a1 = static_cast<char *>(LoadPtr(array1.slot));
  size_t n1 = a1 == nullptr || *count1 < 0 ? 0 : size_t(*count1);
  const char *a2 = static_cast<const char *>(array2);

  // Mark the elements of array2 that have no match among the original elements of array1.
  Boolean *isNew = nullptr;
  if (GL_NewPtrClear(size_t(count2), &isNew) != noErr) return memFullErr;
  size_t added = 0;
  for (SInt32 j = 0; j < count2; ++j) {
    const char *candidate = a2 + size_t(j) * elSize;
    bool found = false;
    for (size_t k = 0; k < n1 && !found; ++k) found = std::memcmp(a1 + k * elSize, candidate, elSize) == 0;
    if (!found) {
      isNew[j] = true;
      ++added;
    }
  }
  OSStatus err = noErr;
  if (added > 0) {
    size_t total = n1 + added;
    if (total > size_t(0x7FFFFFFF) || total > SIZE_MAX / elSize) {
      err = memFullErr;
    } else {
      void *grown = a1 == nullptr ? AllocBlock(total * elSize, false) : ReallocBlock(a1, total * elSize);
      if (grown == nullptr) {
        err = memFullErr;
      } else {
        char *out = static_cast<char *>(grown) + n1 * elSize;
        for (SInt32 j = 0; j < count2; ++j) {
          if (!isNew[j]) continue;
          std::memcpy(out, a2 + size_t(j) * elSize, elSize);
          out += elSize;
        }
        StorePtr(array1.slot, grown);
        *count1 = SInt32(total);
      }
    }
  } else if (a1 == nullptr) {
    *count1 = 0;
  }
  GL_DisposePtr(&isNew);
  return err;
}
