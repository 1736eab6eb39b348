// Binary max-heaps over integer keys: a plain heap of (index, key) elements, a partial heap whose array holds
// an active heap followed by dormant elements, and a pointer heap whose elements name entries of a data table
// that records each element's heap position and keeps a free list.
//
// Heaps occupy positions 1..heapSize of the caller's array (position 0 is unused, so the array needs one
// element more than the largest heapSize); the key at position k is at least the keys at 2k and 2k + 1.
// The caller owns every array and table; nothing here allocates, keeps state or takes a lock.
#pragma once

#include "platform/core/mac_types.h"

struct HE_HeapElement {
  SInt32 index;  // the caller's object or list index
  SInt32 key;
};

// Positions 1..activeSize form a heap; activeSize + 1..size hold dormant elements in no order.
struct HE_PartialHeap {
  HE_HeapElement *start;  // borrowed: the caller's array, positions from 1
  SInt32 activeSize;
  SInt32 size;
};

// One entry of a pointer heap's data table. Entry 0 heads the free list (its nextFree is the first free
// entry); a heap element's index names its entry, and that entry's index is the element's heap position.
struct HE_DataLE {
  SInt32 nextFree;  // next free entry; -1 ends the free list
  UInt32 index;     // heap position, 0 when the entry is not in the heap
  void *data;       // borrowed: the caller's item
  SInt32 size;
};

// ---- Plain heap ----

// Orders positions 1..heapSize into a heap.
void HE_BuildHeap(HE_HeapElement *heap, SInt32 heapSize);
// Sifts the element at position k down (on equal child keys the left child is taken).
void HE_FixHeapDown(HE_HeapElement *heap, SInt32 heapSize, SInt32 k);
// Sifts the element at position k up.
void HE_FixHeapUp(HE_HeapElement *heap, SInt32 k);
// Sorts positions 1..heapSize by ascending key.
void HE_HeapSort(HE_HeapElement *heap, SInt32 heapSize);
// The same sort on positions that already form a heap.
void HE_HeapSortHeap(HE_HeapElement *heap, SInt32 heapSize);
// Appends (listIndex, key) at *heapSize + 1, raises *heapSize and sifts the element up.
void HE_AddToHeap(HE_HeapElement *heap, SInt32 *heapSize, SInt32 listIndex, SInt32 key);
// Removes the element at heapIndex (the last element takes its place); positions outside 1..*heapSize are
// ignored.
void HE_RemoveFromHeap(HE_HeapElement *heap, SInt32 *heapSize, SInt32 heapIndex);
// Removes the element of lowest position whose index is objIndex; nothing when there is none.
void HE_RemoveObjectFromHeap(HE_HeapElement *heap, SInt32 *heapSize, SInt32 objIndex);
// The number of positions 1..heapSize whose index equals index.
SInt32 HE_CountIndexInHeap(const HE_HeapElement *heap, SInt32 heapSize, SInt32 index);
// Whether every element with children has a key at least as large as theirs.
Boolean HE_CheckHeapCondition(const HE_HeapElement *heap, SInt32 heapSize);
// The length of the run of positions from 1 (array order) whose key equals the key at position 1.
UInt32 HE_GetNumObjectsWithMaxKey(const HE_HeapElement *heap, SInt32 heapSize);
// The length of the run of positions from 1 (array order) whose key is at least minKey.
UInt32 HE_GetNumObjectsWithMinimumKey(const HE_HeapElement *heap, SInt32 heapSize, SInt32 minKey);

// ---- Partial heap (the caller's array has room for one more element) ----

// Adds the element to the active heap; the first dormant element moves to the end.
void HE_AddToActiveHeapPart(HE_PartialHeap *partialHeap, HE_HeapElement newElement);
// Appends the element to the dormant part.
void HE_AddToDormantHeapPart(HE_PartialHeap *partialHeap, HE_HeapElement newElement);
// Removes the element at heapPosition from whichever part holds it; positions outside 1..size are ignored.
void HE_RemoveFromPartialHeap(HE_PartialHeap *partialHeap, SInt32 heapPosition);

// ---- Pointer heap: as the plain twins, keeping each moved element's dataTable[index].index its position ----

void HE_BuildPtrHeap(HE_HeapElement *heap, SInt32 heapSize, HE_DataLE *dataTable);
void HE_FixPtrHeapDown(HE_HeapElement *heap, SInt32 heapSize, SInt32 k, HE_DataLE *dataTable);
void HE_FixPtrHeapUp(HE_HeapElement *heap, SInt32 k, HE_DataLE *dataTable);
void HE_PtrHeapSort(HE_HeapElement *heap, SInt32 heapSize, HE_DataLE *dataTable);
// Appends (dataIndex, key), records its position in dataTable[dataIndex] and sifts it up.
void HE_AddToPtrHeap(HE_HeapElement *heap, SInt32 *heapSize, SInt32 dataIndex, SInt32 key, HE_DataLE *dataTable);
// Removes the element at heapIndex and sets its data entry's index to 0; positions outside 1..*heapSize are
// ignored.
void HE_RemoveFromPtrHeap(HE_HeapElement *heap, SInt32 *heapSize, SInt32 heapIndex, HE_DataLE *dataTable);

// ---- Free list of a data table ----

// Takes the first free entry off the free list, stores dataPtr and dataSize in it and returns its number;
// -1 with the table unchanged when the free list is empty.
SInt32 HE_UpdateFreeListAfterPush(HE_DataLE *dataTable, void *dataPtr, SInt32 dataSize);
// Puts entry dataIndex (1 or more) back into the free list, which stays in ascending order; an entry that is
// already free, and entry 0, are left alone.
void HE_UpdateFreeListAfterPop(HE_DataLE *dataTable, SInt32 dataIndex);
