// Heaps: build and sort over sizes that stress the level-wise build, removal by position and by object,
// the diagnostic runs, the partial heap's two parts, and the pointer heap with its data table and free list
// under random pushes and pops.
#include "outliers/heaps.h"

#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

namespace {

// Position 0 unused; element i gets index i.
std::vector<HE_HeapElement> HeapOf(const std::vector<SInt32> &keys) {
  std::vector<HE_HeapElement> heap(keys.size() + 2, HE_HeapElement{-99, -99});
  for (size_t i = 0; i < keys.size(); ++i) heap[i + 1] = HE_HeapElement{SInt32(i), keys[i]};
  return heap;
}

std::vector<SInt32> KeysOf(const std::vector<HE_HeapElement> &heap, SInt32 heapSize) {
  std::vector<SInt32> keys;
  for (SInt32 k = 1; k <= heapSize; ++k) keys.push_back(heap[size_t(k)].key);
  return keys;
}

std::multiset<std::pair<SInt32, SInt32>> ElementsOf(const std::vector<HE_HeapElement> &heap, SInt32 from,
                                                    SInt32 to) {
  std::multiset<std::pair<SInt32, SInt32>> elements;
  for (SInt32 k = from; k <= to; ++k) elements.emplace(heap[size_t(k)].index, heap[size_t(k)].key);
  return elements;
}

TEST(OutliersHeaps, SortOfThreeOneTwo) {
  std::vector<HE_HeapElement> heap = HeapOf({3, 1, 2});
  HE_HeapSort(heap.data(), 3);
  EXPECT_EQ(KeysOf(heap, 3), (std::vector<SInt32>{1, 2, 3}));
  EXPECT_EQ(heap[1].index, 1);
  EXPECT_EQ(heap[3].index, 0);
}

TEST(OutliersHeaps, BuildAndSortOverSizesAndOrders) {
  BZ_KERNEL_SEED_TRACE();
  std::vector<SInt32> sizes = {0, 1, 2, 3};
  for (SInt32 m = 2; m <= 7; ++m) {
    sizes.push_back((1 << m) - 1);
    sizes.push_back(1 << m);
    sizes.push_back((1 << m) + 1);
  }
  std::uniform_int_distribution<SInt32> key(-20, 20);
  for (SInt32 n : sizes) {
    for (int order = 0; order < 3; ++order) {  // ascending (worst for a max-heap), descending, random
      SCOPED_TRACE(testing::Message() << "size " << n << " order " << order);
      std::vector<SInt32> keys(static_cast<size_t>(n), 0);
      for (SInt32 i = 0; i < n; ++i) keys[size_t(i)] = order == 0 ? i : order == 1 ? n - i : key(bz_test::Rng());
      std::vector<HE_HeapElement> heap = HeapOf(keys);
      const auto before = ElementsOf(heap, 1, n);
      HE_BuildHeap(heap.data(), n);
      EXPECT_TRUE(HE_CheckHeapCondition(heap.data(), n));
      EXPECT_EQ(ElementsOf(heap, 1, n), before);
      EXPECT_EQ(heap[0].key, -99) << "position 0 is not used";
      EXPECT_EQ(heap[size_t(n) + 1].key, -99) << "nothing past the heap is touched";

      HE_HeapSortHeap(heap.data(), n);
      std::vector<SInt32> sorted = keys;
      std::sort(sorted.begin(), sorted.end());
      EXPECT_EQ(KeysOf(heap, n), sorted);

      heap = HeapOf(keys);
      HE_HeapSort(heap.data(), n);
      EXPECT_EQ(KeysOf(heap, n), sorted);
      EXPECT_EQ(ElementsOf(heap, 1, n), before);
    }
  }
}

TEST(OutliersHeaps, CheckSeesTheLastParentOfAnEvenHeap) {
  const struct {
    std::vector<SInt32> keys;
    bool isHeap;
  } cases[] = {
      {{5, 4, 3, 9}, false},  // the last parent has only a left child, which is larger
      {{5, 4, 3, 4}, true},   // equal keys are allowed
      {{5, 6}, false},
      {{5}, true},
      {{}, true},
  };
  for (const auto &c : cases) {
    std::vector<HE_HeapElement> heap = HeapOf(c.keys);
    EXPECT_EQ(bool(HE_CheckHeapCondition(heap.data(), SInt32(c.keys.size()))), c.isHeap) << c.keys.size();
  }
}

TEST(OutliersHeaps, AddAndRemoveKeepTheHeap) {
  BZ_KERNEL_SEED_TRACE();
  std::uniform_int_distribution<SInt32> key(0, 9);
  std::vector<HE_HeapElement> heap(65);
  SInt32 size = 0;
  std::multiset<std::pair<SInt32, SInt32>> expected;
  for (SInt32 i = 0; i < 64; ++i) {
    const SInt32 k = key(bz_test::Rng());
    HE_AddToHeap(heap.data(), &size, i, k);
    expected.emplace(i, k);
    ASSERT_TRUE(HE_CheckHeapCondition(heap.data(), size));
  }
  EXPECT_EQ(ElementsOf(heap, 1, size), expected);
  while (size > 0) {
    const SInt32 at = std::uniform_int_distribution<SInt32>(1, size)(bz_test::Rng());
    expected.erase(expected.find({heap[size_t(at)].index, heap[size_t(at)].key}));
    HE_RemoveFromHeap(heap.data(), &size, at);
    ASSERT_TRUE(HE_CheckHeapCondition(heap.data(), size));
    ASSERT_EQ(ElementsOf(heap, 1, size), expected);
  }
}

TEST(OutliersHeaps, RemovalEdges) {
  std::vector<HE_HeapElement> heap = HeapOf({9, 7, 8, 3, 5});
  // The last position only shrinks the heap.
  SInt32 size = 5;
  HE_RemoveFromHeap(heap.data(), &size, 5);
  EXPECT_EQ(size, 4);
  EXPECT_EQ(KeysOf(heap, 4), (std::vector<SInt32>{9, 7, 8, 3}));
  // Positions outside the heap are ignored.
  for (SInt32 outside : {0, -1, 5, 6}) {
    HE_RemoveFromHeap(heap.data(), &size, outside);
    EXPECT_EQ(size, 4) << outside;
  }
  // An absent object changes nothing; a present one goes once, from its lowest position.
  HE_RemoveObjectFromHeap(heap.data(), &size, 42);
  EXPECT_EQ(size, 4);
  EXPECT_EQ(KeysOf(heap, 4), (std::vector<SInt32>{9, 7, 8, 3}));
  heap[4].index = 1;  // index 1 now at positions 2 and 4
  EXPECT_EQ(HE_CountIndexInHeap(heap.data(), size, 1), 2);
  HE_RemoveObjectFromHeap(heap.data(), &size, 1);
  EXPECT_EQ(size, 3);
  EXPECT_EQ(HE_CountIndexInHeap(heap.data(), size, 1), 1);
  EXPECT_EQ(KeysOf(heap, 3), (std::vector<SInt32>{9, 3, 8})) << "the key 7 at position 2 went";
}

TEST(OutliersHeaps, RunsFromTheTopStopAtTheFirstOtherKey) {
  const struct {
    std::vector<SInt32> keys;
    SInt32 minKey;
    UInt32 withMax, withMinimum;
  } cases[] = {
      {{9, 9, 5, 9}, 6, 2, 2},  // a deeper 9 after a smaller key is not counted
      {{9, 9, 9}, 9, 3, 3},
      {{9, 7, 8, 2}, 7, 1, 3},
      {{}, 0, 0, 0},
  };
  for (const auto &c : cases) {
    std::vector<HE_HeapElement> heap = HeapOf(c.keys);
    const SInt32 n = SInt32(c.keys.size());
    EXPECT_EQ(HE_GetNumObjectsWithMaxKey(heap.data(), n), c.withMax) << n;
    EXPECT_EQ(HE_GetNumObjectsWithMinimumKey(heap.data(), n, c.minKey), c.withMinimum) << n;
  }
}

TEST(OutliersHeaps, PartialHeapKeepsItsTwoParts) {
  BZ_KERNEL_SEED_TRACE();
  std::vector<HE_HeapElement> array(80);
  HE_PartialHeap ph{array.data(), 0, 0};
  std::multiset<std::pair<SInt32, SInt32>> active, dormant;
  std::uniform_int_distribution<SInt32> key(0, 30), what(0, 3);
  auto check = [&] {
    ASSERT_TRUE(HE_CheckHeapCondition(array.data(), ph.activeSize));
    ASSERT_EQ(ElementsOf(array, 1, ph.activeSize), active);
    ASSERT_EQ(ElementsOf(array, ph.activeSize + 1, ph.size), dormant);
  };
  for (SInt32 step = 0; step < 400; ++step) {
    const int op = what(bz_test::Rng());
    if ((op == 0 || op == 1) && ph.size < 78) {
      const HE_HeapElement e{step, key(bz_test::Rng())};
      if (op == 0) {
        HE_AddToActiveHeapPart(&ph, e);
        active.emplace(e.index, e.key);
      } else {
        HE_AddToDormantHeapPart(&ph, e);
        dormant.emplace(e.index, e.key);
      }
    } else if (ph.size > 0) {
      // Favour the active part's last position with dormant elements behind it.
      const SInt32 at = op == 2 && ph.activeSize > 0 ? ph.activeSize
                                                     : std::uniform_int_distribution<SInt32>(1, ph.size)(bz_test::Rng());
      auto &part = at <= ph.activeSize ? active : dormant;
      part.erase(part.find({array[size_t(at)].index, array[size_t(at)].key}));
      HE_RemoveFromPartialHeap(&ph, at);
    }
    check();
  }
  const SInt32 size = ph.size;
  HE_RemoveFromPartialHeap(&ph, size + 1);
  HE_RemoveFromPartialHeap(&ph, 0);
  EXPECT_EQ(ph.size, size);
}

// A data table of n entries plus the head, every entry free.
std::vector<HE_DataLE> FreeTable(SInt32 n) {
  std::vector<HE_DataLE> table(size_t(n) + 1, HE_DataLE{-1, 0, nullptr, 0});
  for (SInt32 i = 0; i < n; ++i) table[size_t(i)].nextFree = i + 1;
  table[size_t(n)].nextFree = -1;
  return table;
}

std::vector<SInt32> FreeListOf(const std::vector<HE_DataLE> &table) {
  std::vector<SInt32> entries;
  for (SInt32 f = table[0].nextFree; f != -1 && entries.size() <= table.size(); f = table[size_t(f)].nextFree)
    entries.push_back(f);
  return entries;
}

TEST(OutliersHeaps, PointerHeapPositionsFollowPushesAndPops) {
  BZ_KERNEL_SEED_TRACE();
  const SInt32 n = 48;
  std::vector<HE_DataLE> table = FreeTable(n);
  std::vector<HE_HeapElement> heap(size_t(n) + 1);
  std::vector<int> items(size_t(n) + 1);
  SInt32 size = 0;
  std::uniform_int_distribution<SInt32> key(-5, 5), coin(0, 2);
  for (SInt32 step = 0; step < 2000; ++step) {
    const bool push = size == 0 || (size < n && coin(bz_test::Rng()) != 0) || (step > 1000 && size < n / 2);
    if (push) {
      const SInt32 f = HE_UpdateFreeListAfterPush(table.data(), &items[0], step);
      ASSERT_GT(f, 0);
      EXPECT_EQ(table[size_t(f)].data, &items[0]);
      EXPECT_EQ(table[size_t(f)].size, step);
      HE_AddToPtrHeap(heap.data(), &size, f, key(bz_test::Rng()), table.data());
    } else {
      const SInt32 at = coin(bz_test::Rng()) == 0 ? 1 : std::uniform_int_distribution<SInt32>(1, size)(bz_test::Rng());
      const SInt32 entry = heap[size_t(at)].index;
      HE_RemoveFromPtrHeap(heap.data(), &size, at, table.data());
      EXPECT_EQ(table[size_t(entry)].index, 0u);
      HE_UpdateFreeListAfterPop(table.data(), entry);
    }
    ASSERT_TRUE(HE_CheckHeapCondition(heap.data(), size)) << "step " << step;
    std::set<SInt32> inHeap;
    for (SInt32 k = 1; k <= size; ++k) {
      ASSERT_EQ(table[size_t(heap[size_t(k)].index)].index, UInt32(k)) << "step " << step;
      inHeap.insert(heap[size_t(k)].index);
    }
    const std::vector<SInt32> free = FreeListOf(table);
    ASSERT_TRUE(std::is_sorted(free.begin(), free.end()) && std::adjacent_find(free.begin(), free.end()) == free.end())
        << "step " << step;
    ASSERT_EQ(free.size() + inHeap.size(), size_t(n));
    for (SInt32 f : free) ASSERT_EQ(inHeap.count(f), 0u);
  }
  // Sorting and rebuilding move every element; the table follows.
  HE_PtrHeapSort(heap.data(), size, table.data());
  for (SInt32 k = 1; k <= size; ++k) {
    EXPECT_EQ(table[size_t(heap[size_t(k)].index)].index, UInt32(k));
    if (k > 1) {
      EXPECT_LE(heap[size_t(k) - 1].key, heap[size_t(k)].key);
    }
  }
  HE_BuildPtrHeap(heap.data(), size, table.data());
  EXPECT_TRUE(HE_CheckHeapCondition(heap.data(), size));
  for (SInt32 k = 1; k <= size; ++k) EXPECT_EQ(table[size_t(heap[size_t(k)].index)].index, UInt32(k));
}

TEST(OutliersHeaps, FreeListEdges) {
  std::vector<HE_DataLE> table = FreeTable(4);
  int item = 0;
  for (SInt32 expected = 1; expected <= 4; ++expected)
    EXPECT_EQ(HE_UpdateFreeListAfterPush(table.data(), &item, 8), expected);
  // An empty list gives nothing and leaves the table as it was.
  const std::vector<HE_DataLE> before = table;
  EXPECT_EQ(HE_UpdateFreeListAfterPush(table.data(), nullptr, 1), -1);
  for (size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(table[i].nextFree, before[i].nextFree);
    EXPECT_EQ(table[i].data, before[i].data);
  }
  // Pops in any order keep the list ascending; a second pop of a free entry, and entry 0, are ignored.
  for (SInt32 entry : {3, 1, 4, 3, 0, 2, 1}) HE_UpdateFreeListAfterPop(table.data(), entry);
  EXPECT_EQ(FreeListOf(table), (std::vector<SInt32>{1, 2, 3, 4}));
  EXPECT_EQ(HE_UpdateFreeListAfterPush(table.data(), &item, 8), 1);
  EXPECT_EQ(FreeListOf(table), (std::vector<SInt32>{2, 3, 4}));
}

}  // namespace
