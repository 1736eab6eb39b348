// Binary max-heaps over integer keys: plain, partial and pointer heaps, and the data table's free list.
#include "outliers/heaps.h"

#include <utility>

namespace {

// The plain and the pointer heap share one body; the pointer heap's mover also writes each moved element's
// new position into its data-table entry.
struct PlainMover {
  void Placed(const HE_HeapElement *, SInt32) const {}
  void Removed(const HE_HeapElement &) const {}
};

struct TableMover {
  HE_DataLE *dataTable;
  void Placed(const HE_HeapElement *heap, SInt32 k) const { dataTable[heap[k].index].index = UInt32(k); }
  void Removed(const HE_HeapElement &element) const { dataTable[element.index].index = 0; }
};

template <class Mover>
void Exchange(HE_HeapElement *heap, SInt32 a, SInt32 b, const Mover &mover) {
  std::swap(heap[a], heap[b]);
  mover.Placed(heap, a);
  mover.Placed(heap, b);
}

// The sifts carry the element along and write it once where it stops: the same positions as swapping it
// step by step, without the stores in between.
template <class Mover>
void SiftDown(HE_HeapElement *heap, SInt32 heapSize, SInt32 k, const Mover &mover) {
  if (k < 1) return;
  const HE_HeapElement element = heap[k];
  const SInt32 start = k;
  while (k <= heapSize / 2) {
    SInt32 j = 2 * k;
    if (j < heapSize && heap[j + 1].key > heap[j].key) ++j;
    if (element.key >= heap[j].key) break;
    heap[k] = heap[j];
    mover.Placed(heap, k);
    k = j;
  }
  if (k == start) return;
  heap[k] = element;
  mover.Placed(heap, k);
}

template <class Mover>
void SiftUp(HE_HeapElement *heap, SInt32 k, const Mover &mover) {
  if (k < 1) return;
  const HE_HeapElement element = heap[k];
  const SInt32 start = k;
  while (k > 1 && heap[k / 2].key < element.key) {
    heap[k] = heap[k / 2];
    mover.Placed(heap, k);
    k /= 2;
  }
  if (k == start) return;
  heap[k] = element;
  mover.Placed(heap, k);
}

// Bottom-up by levels: the parents of the deepest level only compare with their leaf children, the levels
// above are sifted down.
template <class Mover>
void Build(HE_HeapElement *heap, SInt32 heapSize, const Mover &mover) {
  if (heapSize <= 1) return;
  SInt32 width = 1, total = 1;
  while (total < heapSize) {
    width *= 2;
    total += width;
  }
  SInt32 half = width / 2;
  for (SInt32 k = half; k <= 2 * half - 1 && 2 * k <= heapSize; ++k) {
    SInt32 j = 2 * k;
    if (j < heapSize && heap[j + 1].key > heap[j].key) ++j;
    if (heap[j].key > heap[k].key) Exchange(heap, k, j, mover);
  }
  while (half > 1) {
    half /= 2;
    for (SInt32 k = half; k <= 2 * half - 1; ++k) SiftDown(heap, heapSize, k, mover);
  }
}

template <class Mover>
void SortHeap(HE_HeapElement *heap, SInt32 heapSize, const Mover &mover) {
  for (SInt32 last = heapSize; last > 1; --last) {
    Exchange(heap, 1, last, mover);
    SiftDown(heap, last - 1, 1, mover);
  }
}

template <class Mover>
void Remove(HE_HeapElement *heap, SInt32 *heapSize, SInt32 heapIndex, const Mover &mover) {
  if (heapIndex < 1 || heapIndex > *heapSize) return;
  mover.Removed(heap[heapIndex]);
  const SInt32 last = (*heapSize)--;
  // The last position only shrinks the heap: sifting the removed element would pull it back in.
  if (heapIndex == last) return;
  heap[heapIndex] = heap[last];
  mover.Placed(heap, heapIndex);
  SiftUp(heap, heapIndex, mover);
  SiftDown(heap, *heapSize, heapIndex, mover);
}

}  // namespace

// ---- Plain heap ----

void HE_BuildHeap(HE_HeapElement *heap, SInt32 heapSize) {
  if (heap != nullptr) Build(heap, heapSize, PlainMover{});
}

void HE_FixHeapDown(HE_HeapElement *heap, SInt32 heapSize, SInt32 k) {
  if (heap != nullptr) SiftDown(heap, heapSize, k, PlainMover{});
}

void HE_FixHeapUp(HE_HeapElement *heap, SInt32 k) {
  if (heap != nullptr) SiftUp(heap, k, PlainMover{});
}

void HE_HeapSort(HE_HeapElement *heap, SInt32 heapSize) {
  if (heap == nullptr) return;
  Build(heap, heapSize, PlainMover{});
  SortHeap(heap, heapSize, PlainMover{});
}

void HE_HeapSortHeap(HE_HeapElement *heap, SInt32 heapSize) {
  if (heap != nullptr) SortHeap(heap, heapSize, PlainMover{});
}

void HE_AddToHeap(HE_HeapElement *heap, SInt32 *heapSize, SInt32 listIndex, SInt32 key) {
  if (heap == nullptr || heapSize == nullptr || *heapSize < 0) return;
  const SInt32 k = ++*heapSize;
  heap[k] = HE_HeapElement{listIndex, key};
  SiftUp(heap, k, PlainMover{});
}

void HE_RemoveFromHeap(HE_HeapElement *heap, SInt32 *heapSize, SInt32 heapIndex) {
  if (heap != nullptr && heapSize != nullptr) Remove(heap, heapSize, heapIndex, PlainMover{});
}

void HE_RemoveObjectFromHeap(HE_HeapElement *heap, SInt32 *heapSize, SInt32 objIndex) {
  if (heap == nullptr || heapSize == nullptr) return;
  for (SInt32 k = 1; k <= *heapSize; ++k) {
    if (heap[k].index == objIndex) {
      Remove(heap, heapSize, k, PlainMover{});
      return;
    }
  }
}

SInt32 HE_CountIndexInHeap(const HE_HeapElement *heap, SInt32 heapSize, SInt32 index) {
  if (heap == nullptr) return 0;
  SInt32 count = 0;
  for (SInt32 k = 1; k <= heapSize; ++k) count += heap[k].index == index;
  return count;
}

Boolean HE_CheckHeapCondition(const HE_HeapElement *heap, SInt32 heapSize) {
  if (heap == nullptr) return true;
  for (SInt32 k = 1; k <= heapSize / 2; ++k) {
    if (heap[k].key < heap[2 * k].key) return false;
    if (2 * k + 1 <= heapSize && heap[k].key < heap[2 * k + 1].key) return false;
  }
  return true;
}

UInt32 HE_GetNumObjectsWithMaxKey(const HE_HeapElement *heap, SInt32 heapSize) {
  if (heap == nullptr || heapSize < 1) return 0;
  UInt32 count = 0;
  for (SInt32 k = 1; k <= heapSize && heap[k].key == heap[1].key; ++k) ++count;
  return count;
}

UInt32 HE_GetNumObjectsWithMinimumKey(const HE_HeapElement *heap, SInt32 heapSize, SInt32 minKey) {
  if (heap == nullptr) return 0;
  UInt32 count = 0;
  for (SInt32 k = 1; k <= heapSize && heap[k].key >= minKey; ++k) ++count;
  return count;
}

// ---- Partial heap ----

void HE_AddToActiveHeapPart(HE_PartialHeap *partialHeap, HE_HeapElement newElement) {
  if (partialHeap == nullptr || partialHeap->start == nullptr) return;
  HE_HeapElement *heap = partialHeap->start;
  const SInt32 size = ++partialHeap->size;
  const SInt32 active = ++partialHeap->activeSize;
  if (active < size) heap[size] = heap[active];
  heap[active] = newElement;
  SiftUp(heap, active, PlainMover{});
}

void HE_AddToDormantHeapPart(HE_PartialHeap *partialHeap, HE_HeapElement newElement) {
  if (partialHeap == nullptr || partialHeap->start == nullptr) return;
  partialHeap->start[++partialHeap->size] = newElement;
}

void HE_RemoveFromPartialHeap(HE_PartialHeap *partialHeap, SInt32 heapPosition) {
  if (partialHeap == nullptr || partialHeap->start == nullptr) return;
  HE_HeapElement *heap = partialHeap->start;
  if (heapPosition < 1 || heapPosition > partialHeap->size) return;
  if (heapPosition > partialHeap->activeSize) {
    heap[heapPosition] = heap[partialHeap->size--];
    return;
  }
  heap[heapPosition] = heap[partialHeap->activeSize];
  heap[partialHeap->activeSize] = heap[partialHeap->size];
  --partialHeap->activeSize;
  --partialHeap->size;
  // The active heap's last position now holds a dormant element: it must not be sifted into the heap.
  if (heapPosition > partialHeap->activeSize) return;
  SiftDown(heap, partialHeap->activeSize, heapPosition, PlainMover{});
  SiftUp(heap, heapPosition, PlainMover{});
}

// ---- Pointer heap ----

void HE_BuildPtrHeap(HE_HeapElement *heap, SInt32 heapSize, HE_DataLE *dataTable) {
  if (heap != nullptr && dataTable != nullptr) Build(heap, heapSize, TableMover{dataTable});
}

void HE_FixPtrHeapDown(HE_HeapElement *heap, SInt32 heapSize, SInt32 k, HE_DataLE *dataTable) {
  if (heap != nullptr && dataTable != nullptr) SiftDown(heap, heapSize, k, TableMover{dataTable});
}

void HE_FixPtrHeapUp(HE_HeapElement *heap, SInt32 k, HE_DataLE *dataTable) {
  if (heap != nullptr && dataTable != nullptr) SiftUp(heap, k, TableMover{dataTable});
}

void HE_PtrHeapSort(HE_HeapElement *heap, SInt32 heapSize, HE_DataLE *dataTable) {
  if (heap == nullptr || dataTable == nullptr) return;
  Build(heap, heapSize, TableMover{dataTable});
  SortHeap(heap, heapSize, TableMover{dataTable});
}

void HE_AddToPtrHeap(HE_HeapElement *heap, SInt32 *heapSize, SInt32 dataIndex, SInt32 key, HE_DataLE *dataTable) {
  if (heap == nullptr || heapSize == nullptr || dataTable == nullptr || *heapSize < 0 || dataIndex < 0) return;
  const SInt32 k = ++*heapSize;
  heap[k] = HE_HeapElement{dataIndex, key};
  dataTable[dataIndex].index = UInt32(k);
  SiftUp(heap, k, TableMover{dataTable});
}

void HE_RemoveFromPtrHeap(HE_HeapElement *heap, SInt32 *heapSize, SInt32 heapIndex, HE_DataLE *dataTable) {
  if (heap != nullptr && heapSize != nullptr && dataTable != nullptr)
    Remove(heap, heapSize, heapIndex, TableMover{dataTable});
}

// ---- Free list ----

SInt32 HE_UpdateFreeListAfterPush(HE_DataLE *dataTable, void *dataPtr, SInt32 dataSize) {
  if (dataTable == nullptr) return -1;
  const SInt32 f = dataTable[0].nextFree;
  // An empty list has no entry to give; taking "entry -1" would write before the table.
  if (f <= 0) return -1;
  dataTable[0].nextFree = dataTable[f].nextFree;
  dataTable[f].data = dataPtr;
  dataTable[f].size = dataSize;
  return f;
}

void HE_UpdateFreeListAfterPop(HE_DataLE *dataTable, SInt32 dataIndex) {
  if (dataTable == nullptr || dataIndex <= 0) return;
  SInt32 last = 0;
  // The end mark -1 compares as the largest unsigned value, so the walk stops there.
  // A damaged list that does not ascend ends the walk rather than looping.
  while (UInt32(dataTable[last].nextFree) < UInt32(dataIndex) && dataTable[last].nextFree > last)
    last = dataTable[last].nextFree;
  if (dataTable[last].nextFree == dataIndex) return;  // already free: linking it again would make a loop
  dataTable[dataIndex].nextFree = dataTable[last].nextFree;
  dataTable[last].nextFree = dataIndex;
}
