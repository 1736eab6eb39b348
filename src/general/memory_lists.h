// Plain memory blocks, handles, a bump ("scratch") allocator and singly linked lists.
//
// Blocks come from the standard allocator (malloc/calloc/realloc) and are released with free, so any
// module may free a block it was given. Disposal routines take the address of the pointer, accept NULL
// and leave NULL behind.
//
// A list element is any record whose first field is the pointer to the next element; a list is the
// pointer to its first element (NULL when empty). Routines that may change the head take the address of
// that pointer. Elements made by the list routines come zeroed from GL_NewPtrClear.
#pragma once

#include "platform/core/cf_base.h"
#include "platform/core/mac_types.h"

#include <cstddef>
#include <cstdint>

// The address of a pointer of any type (T **), for the routines that store or clear a caller's pointer.
// Accepting only pointer-to-pointer arguments catches a pointer passed where its address was meant.
struct GL_PtrAddress {
  void *slot;
  GL_PtrAddress(std::nullptr_t) : slot(nullptr) {}
  template <typename T>
  GL_PtrAddress(T **address) : slot(static_cast<void *>(address)) {}
};

// ---- Memory ----

// *newPtr = a new zeroed block of `size` bytes (owned; free with GL_DisposePtr). memFullErr and NULL on failure.
OSStatus GL_NewPtrClear(size_t size, GL_PtrAddress newPtr);
// *newPtr = a new block of `size` bytes, not cleared (owned). memFullErr and NULL on failure.
OSStatus GL_NewPtr(size_t size, GL_PtrAddress newPtr);
// Grows *p from oldSize to newSize bytes, the new bytes zeroed; a NULL *p gets a new zeroed block.
// A block never shrinks. On failure the old block stays as it was (and memFullErr is returned).
OSStatus GL_SetPtrSizeClear(size_t oldSize, size_t newSize, GL_PtrAddress p);
// Frees *pointer when not NULL and sets it to NULL.
OSStatus GL_DisposePtr(GL_PtrAddress pointer);
// Copies `size` bytes of ptr into *copyPtr, allocating a zeroed block first when *copyPtr is NULL
// (owned by the caller). A NULL ptr or address does nothing.
OSStatus GL_CopyPtr(const void *ptr, size_t size, GL_PtrAddress copyPtr);
OSStatus GL_ClearBytes(void *ptr, size_t numBytes);
void GL_SetBytes(void *ptr, size_t numBytes, UInt8 c);
// True when the first numBytes bytes are equal (0 bytes: true).
Boolean GL_EqualBytes(const void *addr1, const void *addr2, size_t numBytes);
// True when all numBytes bytes are zero (0 bytes: true).
Boolean GL_AreBytesClear(const void *p, size_t numBytes);
// Writes size1 bytes of *ptr1 into *ptr2 at byte `offset`, growing *ptr2 (new bytes zeroed) from size2 to
// offset + size1 bytes when needed or when *ptr2 is NULL. With `disposing`, *ptr1 is freed (and cleared)
// after a successful copy. NULL *ptr1 or size1 0: nothing done; NULL ptr2 address: paramErr.
OSStatus GL_PtrAndPtr(GL_PtrAddress ptr1, size_t size1, GL_PtrAddress ptr2, size_t size2, size_t offset,
                      Boolean disposing);

// Disposes *hdlAddr when not NULL and always sets it to NULL.
void GL_DisposeHandle(Handle *hdlAddr);
// *copyHandle = an owned copy of h (NULL for a NULL h, or on failure).
OSStatus GL_CopyHandle(Handle h, Handle *copyHandle);
// Appends *hand1's bytes to hand2; with `disposing`, *hand1 is disposed (and cleared) after a success.
OSStatus GL_HandAndHand(Handle *hand1, Handle hand2, Boolean disposing);
// *ptr = a new block with the handle's bytes (NULL for a NULL handle, or on failure); with `disposing`
// the handle is disposed after a success.
OSStatus GL_HdlToPtr(Handle *handle, GL_PtrAddress ptr, Boolean disposing);
// *h = a new handle holding `size` bytes of *p; with `disposing` the block is freed after a success.
OSStatus GL_ConvertPtrToHandle(GL_PtrAddress p, size_t size, Handle *h, Boolean disposing);
// True when both sizes can be read, are equal, and the bytes are equal.
Boolean GL_EqualHandles(Handle handle1, Handle handle2);
// Zeroes the handle's bytes; returns the memory error of reading its size.
OSStatus GL_ClearHandle(Handle handle);

// ---- Scratch allocator ----

// A bump allocator over a block the caller provides. Requests are rounded up to 16 bytes; a request that
// does not fit is served from the heap and sets `error` to memFullErr.
struct GL_ScratchMem {
  Ptr ptr;         // start of the caller's block
  SInt32 size;     // bytes in the block
  SInt32 pos;      // bytes in use
  OSStatus error;  // memFullErr once a request did not fit
};

// Returns `size` bytes from the scratch block, or from the heap when the room left is not more than the
// rounded size (then *allocated is true). Zeroed when `clear`. NULL only when the heap is out of memory.
void *GL_AllocateFromScratch(GL_ScratchMem *scratchMem, size_t size, Boolean *allocated, Boolean clear);
// Gives back what GL_AllocateFromScratch returned: frees heap blocks (allocated true), else steps `pos`
// back. Scratch-served blocks must be given back in the reverse order of allocation.
void GL_DeAllocateFromScratch(GL_ScratchMem *scratchMem, size_t size, Boolean allocated, void *ptr);
// The same with `size` counted in 4-byte words.
void *GL_AllocateFromScratch32(GL_ScratchMem *scratchMem, size_t size, Boolean *allocated, Boolean clear);
void GL_DeAllocateFromScratch32(GL_ScratchMem *scratchMem, size_t size, Boolean allocated, void *ptr);

// ---- Lists ----

// The first field of every list element.
struct LL_LE {
  LL_LE *next;
};

// An element that refers to a block or to an element of another list.
struct LL_PtrLE {
  LL_PtrLE *next;
  void *ptr;
  size_t size;
};

// A closed interval [start, end].
struct LL_IntervalLE {
  LL_IntervalLE *next;
  SInt32 start;
  SInt32 end;
};

// An element of a list of strings (the string is the element's to release, as its owner decides).
struct GL_CFStringLE {
  GL_CFStringLE *next;
  CFStringRef str;
};

// How the list set operations fill their outputs.
typedef SInt32 LL_CopyMode;
enum : LL_CopyMode {
  kLL_MoveData = 0,      // the element itself is relinked
  kLL_CopyPointers = 1,  // a new LL_PtrLE that points at the element
  kLL_CopyData = 2       // a new block with a byte copy of the element
};

// Equality of two list elements.
typedef Boolean (*LL_EqualDataProcPtr)(const void *a, const void *b);

// The `behind` value that links a new element in as the head.
inline void *const kLL_AddAsFirst = reinterpret_cast<void *>(~uintptr_t(0));

// Links newPtr into the list: as the head when the list is empty or behind is kLL_AddAsFirst, else after
// `behind`, or at the end when behind is NULL or not in the list. NULL newPtr does nothing.
void LL_AddPtr(void *behind, void *newPtr, GL_PtrAddress first);
// Allocates a zeroed element of structSize bytes into *newPtr and links it like LL_AddPtr; on failure
// nothing is linked, *newPtr is NULL and memFullErr is returned.
OSStatus LL_AddNewPtr(size_t structSize, void *behind, GL_PtrAddress first, GL_PtrAddress newPtr);
// A new element holding a byte copy of structSize bytes of ptr, linked into the list like LL_AddPtr.
OSStatus LL_CopyPtrFromListToList(const void *ptr, size_t structSize, void *behind, GL_PtrAddress first,
                                  GL_PtrAddress copy);
// Unlinks `remove` without freeing it; an element not in the list changes nothing.
void LL_RemovePtr(void *remove, GL_PtrAddress first);
// Unlinks and frees *remove, and sets *remove to NULL.
void LL_DeletePtr(GL_PtrAddress first, GL_PtrAddress remove);
void LL_DeleteLastPtr(GL_PtrAddress first);
// The element before ptr; NULL for an empty list, for the head, or when ptr is not in the list.
void *LL_GetPrevPtr(void *first, const void *ptr);
void *LL_GetLastPtr(void *first);
// The first element whose SInt32 at byte `offset` equals id, or NULL.
void *LL_GetPtrByID(void *first, SInt32 id, size_t offset);
// The element at 1-based index (1 or less: the head); NULL past the end.
void *LL_GetPtrByIndex(void *first, SInt32 index);
// The 1-based position of ptr; 0 for an empty list; the list's length when ptr is not in it.
SInt32 LL_GetPtrIndex(void *first, const void *ptr);
// Exchanges the positions of two elements; nothing when either is NULL or not in the list, or they are equal.
void LL_SwapPointers(void *ptr1, void *ptr2, GL_PtrAddress first);
// Swaps ptr with the head element.
void LL_MovePtrToFront(GL_PtrAddress first, void *ptr);
// Swaps ptr with the last element.
void LL_MovePtrToEnd(GL_PtrAddress first, void *ptr);
// Frees every element; *first ends NULL.
void LL_DisposeLinkedList(GL_PtrAddress first);
// For an LL_PtrLE list: frees each element's ptr block and the element; *first ends NULL.
void LL_DisposePtrLE_List(GL_PtrAddress first);
// For an LL_PtrLE list whose ptr fields are heads of lists: disposes each such list and its element;
// *first ends NULL.
void LL_DisposeListOfLinkedLists(GL_PtrAddress first);
// *copy = a new list of size-byte copies of the elements, in order (owned). On an allocation failure the
// copies made so far stay linked in *copy and memFullErr is returned. NULL copy address: nothing done.
OSStatus LL_CopyLinkedList(void *first, size_t size, GL_PtrAddress copy);
// *copy = a new LL_PtrLE list pointing at the elements of first, in order (size 0).
OSStatus LL_CopyListPtrs(void *first, GL_PtrAddress copy);
// True when some LL_PtrLE element's ptr equals ptr.
Boolean LL_PtrInPtrList(void *first, const void *ptr);
// True when EqualDataProc(list element, element) is true for some element (identity when the proc is NULL).
Boolean LL_PtrInLinkedList(void *first, const void *element, LL_EqualDataProcPtr EqualDataProc);
SInt32 LL_PtrListCount(const void *first);
// Copies the elements (size bytes each, next pointers included) into one array, allocated with count x size
// bytes when *array is NULL (owned by the caller). With `disposing` the list is disposed after a success.
OSStatus LL_FlattenLinkedList(Boolean disposing, GL_PtrAddress first, size_t size, GL_PtrAddress array);
// *first = a new list of numElements size-byte elements copied from consecutive array entries, in array
// order. With `disposing` the array is freed after a success. On an allocation failure the elements made so
// far stay linked in *first, the array is kept, and memFullErr is returned.
OSStatus LL_UnflattenLinkedList(size_t size, Boolean disposing, GL_PtrAddress array, SInt32 numElements,
                                GL_PtrAddress first);
// For each element, unlinks every later element equal to it (EqualDataProc, or pointer identity when it
// is NULL); with `disposing` frees them.
void LL_RemoveIdenticalElements(void *first, LL_EqualDataProcPtr EqualDataProc, Boolean disposing);
// Splits two lists into the elements only in list 1, those of list 1 also in list 2, and those only in
// list 2, each output filled per copyMode and in source order. An output whose address is NULL is disposed
// instead. With kLL_MoveData both lists are consumed: the elements of list 2 that are also in list 1 are freed.
OSStatus LL_IntersectLists(void *first1, void *first2, size_t size, LL_EqualDataProcPtr EqualDataProc,
                           LL_CopyMode copyMode, GL_PtrAddress firstRemaining1, GL_PtrAddress firstCommon,
                           GL_PtrAddress firstRemaining2);
// Appends ptr per copyMode behind the link slot `last` (the address of a head pointer, or an element) and
// returns the new tail, to pass as the next `last`. NULL when a needed allocation failed.
void *LL_AddPtrToEndOfList(void *ptr, size_t size, LL_CopyMode copyMode, void *last);
// Union: remaining of list 1, common, remaining of list 2.
OSStatus LL_MergeLists(void *first1, void *first2, size_t size, LL_EqualDataProcPtr EqualDataProc,
                       LL_CopyMode copyMode, GL_PtrAddress first);
// The elements of first1 that are not in first2.
OSStatus LL_SubtractLists(void *first1, void *first2, size_t size, LL_EqualDataProcPtr EqualDataProc,
                          LL_CopyMode copyMode, GL_PtrAddress first);
// Links list 2 behind the last element of list 1 (or makes it list 1 when that is empty).
void LL_ConcatenateLists(GL_PtrAddress first1, void *first2);
// One pass: merges into each interval every later one that overlaps or touches it.
void LL_ReduceIntervalList(LL_IntervalLE *first);
// Sorts intervals by start and merges overlapping or touching ones.
void LL_OrderReduceIntervalList(LL_IntervalLE **first);
// Appends to *array1 every element (elSize bytes) of array2 not already among its first *count1 elements.
// On failure *array1 and *count1 stay as they were and memFullErr is returned.
OSStatus LL_MergeArrays(size_t elSize, GL_PtrAddress array1, SInt32 *count1, const void *array2, SInt32 count2);
