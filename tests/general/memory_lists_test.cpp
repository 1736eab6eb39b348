#include "general/memory_lists.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct IntLE {
  IntLE *next;
  SInt32 value;
};

// Builds a list of the given values with LL_AddNewPtr (appending).
IntLE *MakeList(const std::vector<SInt32> &values) {
  IntLE *first = nullptr;
  for (SInt32 v : values) {
    IntLE *e = nullptr;
    EXPECT_EQ(LL_AddNewPtr(sizeof(IntLE), nullptr, &first, &e), noErr);
    e->value = v;
  }
  return first;
}

std::vector<SInt32> Values(const void *first) {
  std::vector<SInt32> out;
  for (auto *e = static_cast<const IntLE *>(first); e != nullptr; e = e->next) out.push_back(e->value);
  return out;
}

std::vector<SInt32> PtrValues(const LL_PtrLE *first) {
  std::vector<SInt32> out;
  for (; first != nullptr; first = first->next) out.push_back(static_cast<const IntLE *>(first->ptr)->value);
  return out;
}

Boolean EqualValues(const void *a, const void *b) {
  return static_cast<const IntLE *>(a)->value == static_cast<const IntLE *>(b)->value;
}

// ---- Memory ----

TEST(GeneralMemory, NewAndDisposeClearTheCallersPointer) {
  UInt8 *p = nullptr;
  ASSERT_EQ(GL_NewPtrClear(33, &p), noErr);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(GL_AreBytesClear(p, 33));
  EXPECT_EQ(GL_DisposePtr(&p), noErr);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(GL_DisposePtr(&p), noErr);  // NULL is harmless

  PL_FailAllocationAfter(1);
  p = reinterpret_cast<UInt8 *>(16);
  EXPECT_EQ(GL_NewPtr(8, &p), memFullErr);
  EXPECT_EQ(p, nullptr);
  PL_FailAllocationAfter(0);
}

TEST(GeneralMemory, SetPtrSizeClearGrowsZeroedAndNeverShrinks) {
  char *p = nullptr;
  ASSERT_EQ(GL_SetPtrSizeClear(0, 4, &p), noErr);
  ASSERT_NE(p, nullptr);
  std::memcpy(p, "abcd", 4);
  ASSERT_EQ(GL_SetPtrSizeClear(4, 64, &p), noErr);
  EXPECT_EQ(std::memcmp(p, "abcd", 4), 0);
  EXPECT_TRUE(GL_AreBytesClear(p + 4, 60));

  char *before = p;
  EXPECT_EQ(GL_SetPtrSizeClear(64, 8, &p), noErr);
  EXPECT_EQ(p, before);

  // A failed grow keeps the block and its bytes.
  PL_FailAllocationAfter(1);
  EXPECT_EQ(GL_SetPtrSizeClear(64, 1 << 20, &p), memFullErr);
  PL_FailAllocationAfter(0);
  EXPECT_EQ(p, before);
  EXPECT_EQ(std::memcmp(p, "abcd", 4), 0);
  EXPECT_EQ(GL_SetPtrSizeClear(0, 4, nullptr), paramErr);
  GL_DisposePtr(&p);
}

TEST(GeneralMemory, CopyPtrAllocatesOrFillsTheCallersBlock) {
  const char src[] = "hello";
  char *copy = nullptr;
  ASSERT_EQ(GL_CopyPtr(src, 6, &copy), noErr);
  EXPECT_STREQ(copy, "hello");
  char own[8] = "xxxxxxx";
  char *ownPtr = own;
  EXPECT_EQ(GL_CopyPtr(src, 3, &ownPtr), noErr);
  EXPECT_EQ(ownPtr, own);
  EXPECT_STREQ(own, "helxxxx");
  char *untouched = nullptr;
  EXPECT_EQ(GL_CopyPtr(nullptr, 3, &untouched), noErr);
  EXPECT_EQ(untouched, nullptr);
  GL_DisposePtr(&copy);
}

TEST(GeneralMemory, ByteTests) {
  const UInt8 zeros[4] = {0, 0, 0, 0};
  const UInt8 mixed[4] = {0, 0, 7, 0};
  struct Case {
    const UInt8 *p;
    size_t n;
    bool clear;
  } cases[] = {{zeros, 4, true}, {mixed, 4, false}, {mixed, 2, true}, {mixed, 0, true}};
  for (const Case &c : cases) EXPECT_EQ(bool(GL_AreBytesClear(c.p, c.n)), c.clear) << "n = " << c.n;

  EXPECT_TRUE(GL_EqualBytes(zeros, mixed, 2));
  EXPECT_FALSE(GL_EqualBytes(zeros, mixed, 3));
  EXPECT_TRUE(GL_EqualBytes(zeros, mixed, 0));

  UInt8 buf[6] = {1, 1, 1, 1, 1, 1};
  GL_SetBytes(buf + 1, 3, 9);
  EXPECT_EQ(GL_ClearBytes(buf + 4, 1), noErr);
  const UInt8 want[6] = {1, 9, 9, 9, 0, 1};
  EXPECT_EQ(std::memcmp(buf, want, 6), 0);
}

TEST(GeneralMemory, PtrAndPtrWritesAtTheOffset) {
  struct Case {
    const char *name;
    const char *target;  // initial bytes of ptr2, NULL for no block
    size_t size2;
    size_t offset;
    const char *expected;  // bytes of ptr2 afterwards ('.' stands for 0)
    size_t expectedSize;
  } cases[] = {
      {"new block", nullptr, 0, 0, "AB", 2},
      {"inside the block", "wxyz", 4, 1, "wABz", 4},
      {"append at the end", "wxyz", 4, 4, "wxyzAB", 6},
      {"beyond the end leaves zeros", "wx", 2, 5, "wx...AB", 7},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    char *source = nullptr;
    ASSERT_EQ(GL_CopyPtr("AB", 2, &source), noErr);
    char *target = nullptr;
    if (c.target) {
      ASSERT_EQ(GL_CopyPtr(c.target, c.size2, &target), noErr);
    }
    ASSERT_EQ(GL_PtrAndPtr(&source, 2, &target, c.size2, c.offset, true), noErr);
    EXPECT_EQ(source, nullptr);  // disposed
    std::string got(target, c.expectedSize);
    for (char &ch : got)
      if (ch == 0) ch = '.';
    EXPECT_EQ(got, c.expected);
    GL_DisposePtr(&target);
  }
  char *nothing = nullptr;
  char *target = nullptr;
  EXPECT_EQ(GL_PtrAndPtr(&nothing, 4, &target, 0, 0, false), noErr);
  EXPECT_EQ(target, nullptr);
  char *source = nullptr;
  GL_CopyPtr("AB", 2, &source);
  EXPECT_EQ(GL_PtrAndPtr(&source, 2, nullptr, 0, 0, false), paramErr);
  // A failed grow keeps the source even when it was to be disposed.
  PL_FailAllocationAfter(1);
  EXPECT_EQ(GL_PtrAndPtr(&source, 2, &target, 0, 0, true), memFullErr);
  PL_FailAllocationAfter(0);
  EXPECT_NE(source, nullptr);
  GL_DisposePtr(&source);
}

TEST(GeneralMemory, Handles) {
  Handle none = nullptr;
  GL_DisposeHandle(&none);
  EXPECT_EQ(none, nullptr);
  GL_DisposeHandle(nullptr);

  Handle a = nullptr;
  char *block = nullptr;
  GL_CopyPtr("abc", 3, &block);
  ASSERT_EQ(GL_ConvertPtrToHandle(&block, 3, &a, true), noErr);
  EXPECT_EQ(block, nullptr);
  ASSERT_EQ(GetHandleSize(a), 3);

  Handle b = nullptr;
  ASSERT_EQ(GL_CopyHandle(a, &b), noErr);
  EXPECT_NE(a, b);
  EXPECT_TRUE(GL_EqualHandles(a, b));
  Handle nullCopy = a;
  EXPECT_EQ(GL_CopyHandle(nullptr, &nullCopy), noErr);
  EXPECT_EQ(nullCopy, nullptr);

  ASSERT_EQ(GL_HandAndHand(&b, a, true), noErr);
  EXPECT_EQ(b, nullptr);
  ASSERT_EQ(GetHandleSize(a), 6);
  EXPECT_EQ(std::memcmp(*a, "abcabc", 6), 0);

  Handle c = NewHandle(6);
  std::memcpy(*c, "abcabd", 6);
  EXPECT_FALSE(GL_EqualHandles(a, c));
  EXPECT_FALSE(GL_EqualHandles(a, nullptr));

  char *bytes = nullptr;
  ASSERT_EQ(GL_HdlToPtr(&c, &bytes, true), noErr);
  EXPECT_EQ(c, nullptr);
  EXPECT_EQ(std::memcmp(bytes, "abcabd", 6), 0);
  GL_DisposePtr(&bytes);
  Handle empty = nullptr;
  bytes = reinterpret_cast<char *>(16);
  EXPECT_EQ(GL_HdlToPtr(&empty, &bytes, false), noErr);
  EXPECT_EQ(bytes, nullptr);

  EXPECT_EQ(GL_ClearHandle(a), noErr);
  EXPECT_TRUE(GL_AreBytesClear(*a, 6));
  EXPECT_EQ(GL_ClearHandle(nullptr), nilHandleErr);

  HSetRBit(a);
  GL_DisposeHandle(&a);
  EXPECT_EQ(a, nullptr);
}

TEST(GeneralMemory, ScratchServesUntilFullThenFallsBackToTheHeap) {
  alignas(16) char block[64];
  GL_ScratchMem scratch{block, 64, 32, noErr};
  Boolean allocated = true;

  // Rounded to 16, with 32 bytes left: served at offset 32.
  void *small = GL_AllocateFromScratch(&scratch, 10, &allocated, true);
  EXPECT_EQ(small, block + 32);
  EXPECT_FALSE(allocated);
  EXPECT_EQ(scratch.pos, 48);
  EXPECT_EQ(scratch.error, noErr);
  GL_DeAllocateFromScratch(&scratch, 10, allocated, small);
  EXPECT_EQ(scratch.pos, 32);

  // Rounded to 32 with exactly 32 left: an exact fit still goes to the heap.
  void *big = GL_AllocateFromScratch(&scratch, 20, &allocated, true);
  ASSERT_NE(big, nullptr);
  EXPECT_TRUE(allocated);
  EXPECT_EQ(scratch.error, memFullErr);
  EXPECT_EQ(scratch.pos, 32);
  GL_DeAllocateFromScratch(&scratch, 20, allocated, big);

  // Word counts: 2 words = 8 bytes, rounded to 16.
  scratch = GL_ScratchMem{block, 64, 0, noErr};
  void *words = GL_AllocateFromScratch32(&scratch, 2, &allocated, false);
  EXPECT_EQ(words, block);
  EXPECT_EQ(scratch.pos, 16);
  GL_DeAllocateFromScratch32(&scratch, 2, allocated, words);
  EXPECT_EQ(scratch.pos, 0);
}

// ---- Lists ----

TEST(GeneralLists, AddNewPtrPlacesTheElement) {
  struct Case {
    const char *name;
    int behindIndex;  // 0: NULL, -1: in front, k: behind element k (1-based)
    std::vector<SInt32> expected;
  } cases[] = {
      {"NULL appends", 0, {1, 2, 3, 9}},
      {"-1 prepends", -1, {9, 1, 2, 3}},
      {"behind the second inserts third", 2, {1, 2, 9, 3}},
      {"behind the last appends", 3, {1, 2, 3, 9}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    IntLE *first = MakeList({1, 2, 3});
    void *behind = c.behindIndex == 0    ? nullptr
                   : c.behindIndex == -1 ? kLL_AddAsFirst
                                         : LL_GetPtrByIndex(first, c.behindIndex);
    IntLE *e = nullptr;
    ASSERT_EQ(LL_AddNewPtr(sizeof(IntLE), behind, &first, &e), noErr);
    e->value = 9;
    EXPECT_EQ(Values(first), c.expected);
    LL_DisposeLinkedList(&first);
    EXPECT_EQ(first, nullptr);
  }
  // An element that is not in the list: appended at the end.
  IntLE *first = MakeList({1, 2});
  IntLE stranger{nullptr, 0};
  IntLE *e = nullptr;
  LL_AddNewPtr(sizeof(IntLE), &stranger, &first, &e);
  e->value = 9;
  EXPECT_EQ(Values(first), (std::vector<SInt32>{1, 2, 9}));
  // A failed allocation links nothing.
  PL_FailAllocationAfter(1);
  EXPECT_EQ(LL_AddNewPtr(sizeof(IntLE), nullptr, &first, &e), memFullErr);
  PL_FailAllocationAfter(0);
  EXPECT_EQ(e, nullptr);
  EXPECT_EQ(LL_PtrListCount(first), 3);
  LL_DisposeLinkedList(&first);
}

TEST(GeneralLists, LookUps) {
  IntLE *first = MakeList({10, 20, 30, 40});
  IntLE *second = first->next;
  IntLE stranger{nullptr, 20};

  EXPECT_EQ(LL_PtrListCount(first), 4);
  EXPECT_EQ(LL_PtrListCount(nullptr), 0);
  EXPECT_EQ(LL_GetPtrIndex(first, second), 2);
  EXPECT_EQ(LL_GetPtrIndex(first, &stranger), 4);
  EXPECT_EQ(LL_GetPtrIndex(nullptr, &stranger), 0);

  struct IndexCase {
    SInt32 index;
    SInt32 value;  // 0: NULL
  } indexCases[] = {{-3, 10}, {0, 10}, {1, 10}, {2, 20}, {4, 40}, {5, 0}};
  for (const IndexCase &c : indexCases) {
    auto *e = static_cast<IntLE *>(LL_GetPtrByIndex(first, c.index));
    EXPECT_EQ(e ? e->value : 0, c.value) << "index " << c.index;
  }

  EXPECT_EQ(LL_GetPrevPtr(first, second), first);
  EXPECT_EQ(LL_GetPrevPtr(first, first), nullptr);
  EXPECT_EQ(LL_GetPrevPtr(first, &stranger), nullptr);
  EXPECT_EQ(LL_GetPrevPtr(nullptr, second), nullptr);
  EXPECT_EQ(static_cast<IntLE *>(LL_GetLastPtr(first))->value, 40);
  EXPECT_EQ(LL_GetLastPtr(nullptr), nullptr);

  EXPECT_EQ(LL_GetPtrByID(first, 30, offsetof(IntLE, value)), second->next);
  EXPECT_EQ(LL_GetPtrByID(first, 31, offsetof(IntLE, value)), nullptr);

  EXPECT_TRUE(LL_PtrInLinkedList(first, &stranger, EqualValues));
  EXPECT_FALSE(LL_PtrInLinkedList(first, &stranger, nullptr));
  EXPECT_TRUE(LL_PtrInLinkedList(first, second, nullptr));
  LL_DisposeLinkedList(&first);
}

TEST(GeneralLists, RemoveAndDelete) {
  IntLE *first = MakeList({1, 2, 3, 4});
  IntLE *head = first;
  IntLE stranger{nullptr, 0};
  LL_RemovePtr(&stranger, &first);
  EXPECT_EQ(Values(first), (std::vector<SInt32>{1, 2, 3, 4}));
  LL_RemovePtr(head, &first);
  EXPECT_EQ(Values(first), (std::vector<SInt32>{2, 3, 4}));
  std::free(head);

  IntLE *third = first->next;
  LL_DeletePtr(&first, &third);
  EXPECT_EQ(third, nullptr);
  EXPECT_EQ(Values(first), (std::vector<SInt32>{2, 4}));
  LL_DeleteLastPtr(&first);
  EXPECT_EQ(Values(first), (std::vector<SInt32>{2}));
  LL_DeleteLastPtr(&first);
  EXPECT_EQ(first, nullptr);
  LL_DeleteLastPtr(&first);
}

TEST(GeneralLists, SwapPointersInEveryArrangement) {
  struct Case {
    const char *name;
    int a, b;  // 1-based positions in {1,2,3,4,5}; 0 means an element not in the list
    std::vector<SInt32> expected;
  } cases[] = {
      {"adjacent", 2, 3, {1, 3, 2, 4, 5}},
      {"adjacent reversed", 3, 2, {1, 3, 2, 4, 5}},
      {"head and next", 1, 2, {2, 1, 3, 4, 5}},
      {"head and tail", 1, 5, {5, 2, 3, 4, 1}},
      {"tail and head", 5, 1, {5, 2, 3, 4, 1}},
      {"apart", 2, 4, {1, 4, 3, 2, 5}},
      {"same element", 3, 3, {1, 2, 3, 4, 5}},
      {"not in the list", 2, 0, {1, 2, 3, 4, 5}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    IntLE *first = MakeList({1, 2, 3, 4, 5});
    IntLE stranger{nullptr, 99};
    void *a = c.a ? LL_GetPtrByIndex(first, c.a) : &stranger;
    void *b = c.b ? LL_GetPtrByIndex(first, c.b) : &stranger;
    LL_SwapPointers(a, b, &first);
    EXPECT_EQ(Values(first), c.expected);
    LL_DisposeLinkedList(&first);
  }
  IntLE *first = MakeList({1, 2, 3, 4});
  LL_MovePtrToFront(&first, LL_GetPtrByIndex(first, 3));
  EXPECT_EQ(Values(first), (std::vector<SInt32>{3, 2, 1, 4}));
  LL_MovePtrToEnd(&first, first);
  EXPECT_EQ(Values(first), (std::vector<SInt32>{4, 2, 1, 3}));
  LL_DisposeLinkedList(&first);
}

TEST(GeneralLists, CopiesFlattensAndConcatenates) {
  IntLE *first = MakeList({1, 2, 3});
  IntLE *copy = nullptr;
  ASSERT_EQ(LL_CopyLinkedList(first, sizeof(IntLE), &copy), noErr);
  EXPECT_EQ(Values(copy), Values(first));
  EXPECT_NE(copy, first);
  LL_DisposeLinkedList(&copy);

  // The third allocation fails: the two copies made stay linked and end the list.
  PL_FailAllocationAfter(3);
  EXPECT_EQ(LL_CopyLinkedList(first, sizeof(IntLE), &copy), memFullErr);
  PL_FailAllocationAfter(0);
  EXPECT_EQ(Values(copy), (std::vector<SInt32>{1, 2}));
  LL_DisposeLinkedList(&copy);

  LL_PtrLE *ptrs = nullptr;
  ASSERT_EQ(LL_CopyListPtrs(first, &ptrs), noErr);
  EXPECT_EQ(PtrValues(ptrs), (std::vector<SInt32>{1, 2, 3}));
  EXPECT_TRUE(LL_PtrInPtrList(ptrs, first->next));
  EXPECT_FALSE(LL_PtrInPtrList(ptrs, ptrs));
  LL_DisposeLinkedList(&ptrs);

  IntLE *single = nullptr;
  ASSERT_EQ(LL_CopyPtrFromListToList(first->next, sizeof(IntLE), kLL_AddAsFirst, &single, &copy), noErr);
  EXPECT_EQ(Values(single), (std::vector<SInt32>{2}));
  LL_DisposeLinkedList(&single);

  IntLE *array = nullptr;
  ASSERT_EQ(LL_FlattenLinkedList(true, &first, sizeof(IntLE), &array), noErr);
  EXPECT_EQ(first, nullptr);
  EXPECT_EQ(array[2].value, 3);
  ASSERT_EQ(LL_UnflattenLinkedList(sizeof(IntLE), true, &array, 3, &first), noErr);
  EXPECT_EQ(array, nullptr);
  EXPECT_EQ(Values(first), (std::vector<SInt32>{1, 2, 3}));

  IntLE *empty = nullptr;
  IntLE *more = MakeList({4, 5});
  LL_ConcatenateLists(&empty, more);
  EXPECT_EQ(empty, more);
  LL_ConcatenateLists(&first, more);
  EXPECT_EQ(Values(first), (std::vector<SInt32>{1, 2, 3, 4, 5}));
  LL_DisposeLinkedList(&first);
}

TEST(GeneralLists, DisposesListsOfBlocksAndOfLists) {
  LL_PtrLE *blocks = nullptr;
  for (int i = 0; i < 3; ++i) {
    LL_PtrLE *e = nullptr;
    LL_AddNewPtr(sizeof(LL_PtrLE), nullptr, &blocks, &e);
    GL_NewPtr(100, &e->ptr);
    e->size = 100;
  }
  LL_DisposePtrLE_List(&blocks);
  EXPECT_EQ(blocks, nullptr);

  LL_PtrLE *lists = nullptr;
  for (int i = 0; i < 2; ++i) {
    LL_PtrLE *e = nullptr;
    LL_AddNewPtr(sizeof(LL_PtrLE), nullptr, &lists, &e);
    e->ptr = MakeList({1, 2, 3});
  }
  LL_DisposeListOfLinkedLists(&lists);
  EXPECT_EQ(lists, nullptr);
}

TEST(GeneralLists, RemoveIdenticalElementsKeepsTheFirstOfEach) {
  IntLE *first = MakeList({1, 2, 1, 3, 2, 1});
  LL_RemoveIdenticalElements(first, EqualValues, true);
  EXPECT_EQ(Values(first), (std::vector<SInt32>{1, 2, 3}));
  // Without a procedure only the same element counts, and distinct elements stay.
  LL_RemoveIdenticalElements(first, nullptr, true);
  EXPECT_EQ(Values(first), (std::vector<SInt32>{1, 2, 3}));
  LL_DisposeLinkedList(&first);
}

TEST(GeneralLists, SetOperationsInEveryCopyMode) {
  for (LL_CopyMode mode : {kLL_MoveData, kLL_CopyPointers, kLL_CopyData}) {
    SCOPED_TRACE(::testing::Message() << "copy mode " << mode);
    IntLE *list1 = MakeList({1, 2, 3, 4});
    IntLE *list2 = MakeList({3, 5, 1, 6});
    void *remaining1 = nullptr, *common = nullptr, *remaining2 = nullptr;
    ASSERT_EQ(LL_IntersectLists(list1, list2, sizeof(IntLE), EqualValues, mode, &remaining1, &common,
                                &remaining2),
              noErr);
    auto values = [mode](void *l) {
      return mode == kLL_CopyPointers ? PtrValues(static_cast<LL_PtrLE *>(l)) : Values(l);
    };
    EXPECT_EQ(values(remaining1), (std::vector<SInt32>{2, 4}));
    EXPECT_EQ(values(common), (std::vector<SInt32>{1, 3}));
    EXPECT_EQ(values(remaining2), (std::vector<SInt32>{5, 6}));
    LL_DisposeLinkedList(&remaining1);
    LL_DisposeLinkedList(&common);
    LL_DisposeLinkedList(&remaining2);
    if (mode != kLL_MoveData) {
      // The sources stay as they were.
      EXPECT_EQ(Values(list1), (std::vector<SInt32>{1, 2, 3, 4}));
      EXPECT_EQ(Values(list2), (std::vector<SInt32>{3, 5, 1, 6}));
      LL_DisposeLinkedList(&list1);
      LL_DisposeLinkedList(&list2);
    }
  }

  IntLE *list1 = MakeList({1, 2, 3});
  IntLE *list2 = MakeList({2, 4});
  IntLE *merged = nullptr;
  ASSERT_EQ(LL_MergeLists(list1, list2, sizeof(IntLE), EqualValues, kLL_CopyData, &merged), noErr);
  EXPECT_EQ(Values(merged), (std::vector<SInt32>{1, 3, 2, 4}));
  IntLE *difference = nullptr;
  ASSERT_EQ(LL_SubtractLists(list1, list2, sizeof(IntLE), EqualValues, kLL_CopyData, &difference), noErr);
  EXPECT_EQ(Values(difference), (std::vector<SInt32>{1, 3}));

  // A failing copy leaves no partial outputs and the sources intact.
  void *out = reinterpret_cast<void *>(16);
  PL_FailAllocationAfter(3);
  EXPECT_EQ(LL_SubtractLists(list1, list2, sizeof(IntLE), EqualValues, kLL_CopyData, &out), memFullErr);
  PL_FailAllocationAfter(0);
  EXPECT_EQ(Values(list1), (std::vector<SInt32>{1, 2, 3}));
  for (IntLE **l : {&list1, &list2, &merged, &difference}) LL_DisposeLinkedList(l);
}

TEST(GeneralLists, IntervalsMerge) {
  auto makeIntervals = [](const std::vector<std::pair<SInt32, SInt32>> &spans) {
    LL_IntervalLE *first = nullptr;
    for (auto [s, e] : spans) {
      LL_IntervalLE *i = nullptr;
      LL_AddNewPtr(sizeof(LL_IntervalLE), nullptr, &first, &i);
      i->start = s;
      i->end = e;
    }
    return first;
  };
  auto spans = [](const LL_IntervalLE *first) {
    std::vector<std::pair<SInt32, SInt32>> out;
    for (; first; first = first->next) out.emplace_back(first->start, first->end);
    return out;
  };
  using Spans = std::vector<std::pair<SInt32, SInt32>>;

  LL_IntervalLE *touching = makeIntervals({{1, 3}, {3, 5}});
  LL_ReduceIntervalList(touching);
  EXPECT_EQ(spans(touching), (Spans{{1, 5}}));
  LL_DisposeLinkedList(&touching);

  // One pass: {6,8} was looked at before {1,3} grew to reach it, so it stays apart.
  LL_IntervalLE *onePass = makeIntervals({{1, 3}, {6, 8}, {2, 5}, {20, 30}});
  LL_ReduceIntervalList(onePass);
  EXPECT_EQ(spans(onePass), (Spans{{1, 5}, {6, 8}, {20, 30}}));
  LL_DisposeLinkedList(&onePass);

  LL_IntervalLE *unordered = makeIntervals({{20, 30}, {6, 8}, {1, 3}, {2, 6}, {40, 41}, {29, 35}});
  LL_OrderReduceIntervalList(&unordered);
  EXPECT_EQ(spans(unordered), (Spans{{1, 8}, {20, 35}, {40, 41}}));
  LL_DisposeLinkedList(&unordered);
}

TEST(GeneralLists, MergeArraysAppendsOnlyNewElements) {
  SInt32 *array1 = nullptr;
  SInt32 count1 = 5;  // ignored while array1 is NULL
  const SInt32 first[] = {1, 2, 3};
  ASSERT_EQ(LL_MergeArrays(sizeof(SInt32), &array1, &count1, first, 3), noErr);
  ASSERT_EQ(count1, 3);
  // 2 is already there; the two 7s are not compared with each other.
  const SInt32 second[] = {2, 7, 7};
  ASSERT_EQ(LL_MergeArrays(sizeof(SInt32), &array1, &count1, second, 3), noErr);
  ASSERT_EQ(count1, 5);
  EXPECT_EQ(std::vector<SInt32>(array1, array1 + 5), (std::vector<SInt32>{1, 2, 3, 7, 7}));

  PL_FailAllocationAfter(2);
  const SInt32 third[] = {8};
  EXPECT_EQ(LL_MergeArrays(sizeof(SInt32), &array1, &count1, third, 1), memFullErr);
  PL_FailAllocationAfter(0);
  EXPECT_EQ(count1, 5);
  EXPECT_EQ(array1[4], 7);
  GL_DisposePtr(&array1);
}

TEST(GeneralLists, StringListsUseTheListRoutines) {
  GL_CFStringLE *list = nullptr;
  const char *texts[] = {"one", "two", "three"};
  for (const char *text : texts) {
    GL_CFStringLE *e = nullptr;
    ASSERT_EQ(LL_AddNewPtr(sizeof(GL_CFStringLE), nullptr, &list, &e), noErr);
    e->str = CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
  }
  EXPECT_EQ(LL_PtrListCount(list), 3);
  GL_CFStringLE *second = static_cast<GL_CFStringLE *>(LL_GetPtrByIndex(list, 2));
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second, list->next);
  EXPECT_EQ(CFStringCompare(second->str, CFSTR("two"), 0), kCFCompareEqualTo);
  for (GL_CFStringLE *e = list; e != nullptr; e = e->next) CFRelease(e->str);
  LL_DisposeLinkedList(&list);
  EXPECT_EQ(list, nullptr);
}

}  // namespace
