#include "general/sort_search.h"

#include "platform/core/mac_errors.h"
#include "support/kernel_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// ---- list fixtures ----

struct Item {
  Item *next;
  SInt32 value;
  SInt32 id;  // tells equal values apart
};

// Positive when a's value is larger: the descending sorts put larger values first.
SInt32 CompareItems(const void *a, const void *b) {
  const SInt32 x = static_cast<const Item *>(a)->value, y = static_cast<const Item *>(b)->value;
  return x > y ? 1 : (x < y ? -1 : 0);
}

Item *MakeList(const std::vector<SInt32> &values) {
  Item *head = nullptr, **tail = &head;
  SInt32 id = 0;
  for (SInt32 v : values) {
    auto *item = static_cast<Item *>(std::calloc(1, sizeof(Item)));
    item->value = v;
    item->id = id++;
    *tail = item;
    tail = &item->next;
  }
  return head;
}

std::vector<SInt32> Values(const void *head) {
  std::vector<SInt32> out;
  for (auto *i = static_cast<const Item *>(head); i != nullptr; i = i->next) out.push_back(i->value);
  return out;
}

std::vector<SInt32> Ids(const Item *head) {
  std::vector<SInt32> out;
  for (; head != nullptr; head = head->next) out.push_back(head->id);
  return out;
}

// Values of an LL_PtrLE list whose elements point at Items.
std::vector<SInt32> PointedValues(const LL_PtrLE *head) {
  std::vector<SInt32> out;
  for (; head != nullptr; head = head->next) out.push_back(static_cast<const Item *>(head->ptr)->value);
  return out;
}

void FreeList(Item *head) { LL_DisposeLinkedList(&head); }

// ---- array sorts ----

SInt32 CompareFloatsLargerFirst(const void *a, const void *b) {
  const float x = *static_cast<const float *>(a), y = *static_cast<const float *>(b);
  return x > y ? 1 : (x < y ? -1 : 0);
}

// A 12-byte record like the noise-level samples; positive when a is quieter, so the sort ascends.
struct Sample {
  float level;
  SInt32 x, y;
};
static_assert(sizeof(Sample) == 12);

SInt32 CompareQuieter(const void *a, const void *b) {
  const float x = static_cast<const Sample *>(a)->level, y = static_cast<const Sample *>(b)->level;
  return x < y ? 1 : (x > y ? -1 : 0);
}

TEST(GeneralSortSearch, SelectSortArrayOrdersByComparator) {
  float f[3] = {3, 1, 2};
  SS_SelectSortArray(CompareFloatsLargerFirst, f, 3, sizeof(float));
  EXPECT_EQ(std::vector<float>(f, f + 3), (std::vector<float>{3, 2, 1}));

  const float inf = std::numeric_limits<float>::infinity();
  Sample samples[6] = {{5, 0, 0}, {inf, 1, 0}, {2, 2, 0}, {5, 3, 0}, {1, 4, 0}, {2, 5, 0}};
  SS_SelectSortArray(CompareQuieter, samples, 6, sizeof(Sample));
  std::vector<float> levels;
  std::vector<SInt32> order;
  for (const Sample &s : samples) {
    levels.push_back(s.level);
    order.push_back(s.x);
  }
  EXPECT_EQ(levels, (std::vector<float>{1, 2, 2, 5, 5, inf}));
  // Selection sort's own order for equal levels: the first of equal maxima wins each round.
  EXPECT_EQ(order, (std::vector<SInt32>{4, 2, 5, 3, 0, 1}));

  BZ_KERNEL_SEED_TRACE();
  std::vector<float> random(200);
  bz_test::FillRandomFloats(random.data(), random.size(), -50.0f, 50.0f, bz_test::Rng());
  std::vector<float> expected = random;
  std::sort(expected.begin(), expected.end(), std::greater<float>());
  SS_SelectSortArray(CompareFloatsLargerFirst, random.data(), SInt32(random.size()), sizeof(float));
  EXPECT_EQ(random, expected);
}

TEST(GeneralSortSearch, ByteAndFloatSelectionSorts) {
  UInt8 bytes[3] = {5, 9, 5};
  SInt32 index[3];
  SS_SelectSortIndexedUInt8Array(bytes, 3, index);
  EXPECT_EQ(std::vector<int>(bytes, bytes + 3), (std::vector<int>{9, 5, 5}));
  EXPECT_EQ(std::vector<SInt32>(index, index + 3), (std::vector<SInt32>{1, 0, 2}));

  BZ_KERNEL_SEED_TRACE();
  std::vector<UInt8> original(101);
  bz_test::FillRandomBytes(original.data(), original.size(), 0, 20, bz_test::Rng());
  std::vector<UInt8> sorted = original, plain = original;
  std::vector<SInt32> idx(original.size()), inverse(original.size(), -1);
  SS_SelectSortIndexedUInt8Array(sorted.data(), SInt32(sorted.size()), idx.data());
  SS_SelectSortUInt8Array(plain.data(), SInt32(plain.size()));
  EXPECT_EQ(sorted, plain);
  EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end(), std::greater<UInt8>()));
  for (size_t k = 0; k < sorted.size(); ++k) EXPECT_EQ(sorted[k], original[idx[k]]);
  SS_InvertIndexList(idx.data(), SInt32(idx.size()), inverse.data());
  for (size_t k = 0; k < idx.size(); ++k) EXPECT_EQ(inverse[idx[k]], SInt32(k));

  std::vector<float> floats(77);
  bz_test::FillRandomFloats(floats.data(), floats.size(), -1.0f, 1.0f, bz_test::Rng());
  std::vector<float> expected = floats;
  std::sort(expected.begin(), expected.end(), std::greater<float>());
  SS_SelectSortFloatArray(floats.data(), SInt32(floats.size()));
  EXPECT_EQ(floats, expected);

  std::vector<SInt32> longs(90);
  for (SInt32 &v : longs) v = SInt32(bz_test::Rng()()) % 1000;
  std::vector<SInt32> ascending = longs;
  std::sort(ascending.begin(), ascending.end());
  SS_BubbleSortLongArray(longs.data(), SInt32(longs.size()));
  EXPECT_EQ(longs, ascending);

  // Out-of-range indexes are skipped instead of written.
  const SInt32 bad[3] = {2, 7, -1};
  SInt32 inv[3] = {-9, -9, -9};
  SS_InvertIndexList(bad, 3, inv);
  EXPECT_EQ(std::vector<SInt32>(inv, inv + 3), (std::vector<SInt32>{-9, -9, 0}));
}

TEST(GeneralSortSearch, InsertIndexByBisection) {
  struct Case {
    std::vector<SInt32> array;
    SInt32 value, expected;
  };
  const Case cases[] = {
      {{1, 3, 5}, 4, 2}, {{1, 3, 5}, 0, 0}, {{1, 3, 5}, 9, 3}, {{1, 3, 5}, 3, 2}, {{1, 3, 5}, 1, 1},
      {{1, 3, 5}, 5, 3},  // after an equal last element, like after every other equal element
      {{4}, 4, 1},        {{4}, 2, 0},      {{}, 7, 0},       {{2, 2, 2, 9}, 2, 3},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(SS_FindInsertIndexByBisection(c.array.data(), SInt32(c.array.size()), c.value), c.expected)
        << c.value << " into " << ::testing::PrintToString(c.array);
  }
}

TEST(GeneralSortSearch, CompareBinary) {
  const char a[] = {1, 2, 3}, b[] = {1, 2, 4}, c[] = {1, char(0x80), 0};
  EXPECT_EQ(SS_CompareBinary(a, 3, b, 3), -1);
  EXPECT_EQ(SS_CompareBinary(b, 3, a, 3), 1);
  EXPECT_EQ(SS_CompareBinary(a, 3, a, 3), 0);
  EXPECT_EQ(SS_CompareBinary(a, 3, b, 2), 1);
  EXPECT_EQ(SS_CompareBinary(a, 2, b, 3), -1);
  EXPECT_EQ(SS_CompareBinary(a, 3, c, 3), 1);  // 0x80 is negative as a signed character
  EXPECT_EQ(SS_CompareBinary(nullptr, 3, b, 3), 0);
  EXPECT_EQ(SS_CompareByAddress(a + 1, a), 1);
  EXPECT_EQ(SS_CompareByAddress(a, a + 1), -1);
  EXPECT_EQ(SS_CompareByAddress(a, a), 0);
}

// ---- list sorts ----

TEST(GeneralSortSearch, SelectSortDescendingKeepsOrderOfEquals) {
  Item *list = MakeList({3, 7, 1, 7, 3, 9});
  SS_SelectSortDescending(CompareItems, false, false, &list);
  EXPECT_EQ(Values(list), (std::vector<SInt32>{9, 7, 7, 3, 3, 1}));
  EXPECT_EQ(Ids(list), (std::vector<SInt32>{5, 1, 3, 0, 4, 2}));
  FreeList(list);

  // Elimination keeps the first of equal elements and frees the others.
  list = MakeList({3, 7, 1, 7, 3, 9, 7});
  SS_SelectSortDescending(CompareItems, true, true, &list);
  EXPECT_EQ(Values(list), (std::vector<SInt32>{9, 7, 3, 1}));
  EXPECT_EQ(Ids(list), (std::vector<SInt32>{5, 1, 0, 2}));
  FreeList(list);

  Item *empty = nullptr;
  SS_SelectSortDescending(CompareItems, true, true, &empty);
  EXPECT_EQ(empty, nullptr);
}

TEST(GeneralSortSearch, SelectSortAscendingSimpleHandlesEqualSmallest) {
  // Two equal smallest elements: each must still be taken, first the earlier one.
  struct Case {
    std::vector<SInt32> values, sorted, ids;
  };
  const Case cases[] = {
      {{4, 1, 6, 1, 3}, {1, 1, 3, 4, 6}, {1, 3, 4, 0, 2}},
      {{2, 2, 2}, {2, 2, 2}, {0, 1, 2}},
      {{5}, {5}, {0}},
      {{9, 8, 7, 8}, {7, 8, 8, 9}, {2, 1, 3, 0}},
  };
  for (const Case &c : cases) {
    Item *list = MakeList(c.values);
    SS_SelectSortAscendingSimple(CompareItems, &list);
    EXPECT_EQ(Values(list), c.sorted) << ::testing::PrintToString(c.values);
    EXPECT_EQ(Ids(list), c.ids);
    FreeList(list);
  }
}

TEST(GeneralSortSearch, BubbleSortAscendsAndEliminates) {
  Item *list = MakeList({5, 2, 8, 2, 1});
  SS_BubbleSort(CompareItems, false, false, &list);
  EXPECT_EQ(Values(list), (std::vector<SInt32>{1, 2, 2, 5, 8}));
  EXPECT_EQ(Ids(list), (std::vector<SInt32>{4, 1, 3, 0, 2}));
  FreeList(list);

  list = MakeList({5, 2, 8, 2, 1, 5, 5});
  SS_BubbleSort(CompareItems, true, true, &list);
  EXPECT_EQ(Values(list), (std::vector<SInt32>{1, 2, 5, 8}));
  FreeList(list);
}

// ---- sorted lists ----

TEST(GeneralSortSearch, MergeSortedListsInEveryCopyMode) {
  for (LL_CopyMode mode : {kLL_MoveData, kLL_CopyPointers, kLL_CopyData}) {
    for (Boolean eliminate : {Boolean(false), Boolean(true)}) {
      SCOPED_TRACE(::testing::Message() << "mode " << mode << ", eliminate " << int(eliminate));
      Item *a = MakeList({9, 6, 4, 1});
      Item *b = MakeList({8, 6, 3, 1, 0});
      void *merged = nullptr;
      ASSERT_EQ(SS_MergePtrListsSorted(a, b, sizeof(Item), CompareItems, mode, eliminate, &merged), noErr);
      const std::vector<SInt32> expected = eliminate ? std::vector<SInt32>{9, 8, 6, 4, 3, 1, 0}
                                                     : std::vector<SInt32>{9, 8, 6, 6, 4, 3, 1, 1, 0};
      if (mode == kLL_CopyPointers) {
        EXPECT_EQ(PointedValues(static_cast<LL_PtrLE *>(merged)), expected);
      } else {
        EXPECT_EQ(Values(merged), expected);
      }
      if (mode == kLL_MoveData) {
        // Both sources were consumed (eliminated duplicates freed); only the merged list remains.
        LL_DisposeLinkedList(&merged);
      } else {
        EXPECT_EQ(Values(a), (std::vector<SInt32>{9, 6, 4, 1}));
        EXPECT_EQ(Values(b), (std::vector<SInt32>{8, 6, 3, 1, 0}));
        LL_DisposeLinkedList(&merged);
        FreeList(a);
        FreeList(b);
      }
    }
  }
}

TEST(GeneralSortSearch, IntersectSubtractAndCompareSortedLists) {
  Item *a = MakeList({9, 7, 5, 3, 1});
  Item *b = MakeList({8, 7, 3, 2});
  void *only1 = nullptr, *common = nullptr, *only2 = nullptr;
  EXPECT_EQ(SS_IntersectListsSorted(a, b, sizeof(Item), CompareItems, kLL_CopyData, nullptr, &common, &only2),
            paramErr);
  ASSERT_EQ(SS_IntersectListsSorted(a, b, sizeof(Item), CompareItems, kLL_CopyData, &only1, &common, &only2), noErr);
  EXPECT_EQ(Values(only1), (std::vector<SInt32>{9, 5, 1}));
  EXPECT_EQ(Values(common), (std::vector<SInt32>{7, 3}));
  EXPECT_EQ(Values(only2), (std::vector<SInt32>{8, 2}));
  LL_DisposeLinkedList(&only1);
  LL_DisposeLinkedList(&common);
  LL_DisposeLinkedList(&only2);

  // Moving consumes both lists; list 2's equal elements are freed.
  ASSERT_EQ(SS_IntersectListsSorted(a, b, sizeof(Item), CompareItems, kLL_MoveData, &only1, &common, &only2), noErr);
  EXPECT_EQ(Values(only1), (std::vector<SInt32>{9, 5, 1}));
  EXPECT_EQ(Ids(static_cast<Item *>(common)), (std::vector<SInt32>{1, 3}));
  EXPECT_EQ(Values(only2), (std::vector<SInt32>{8, 2}));
  LL_DisposeLinkedList(&only1);
  LL_DisposeLinkedList(&common);
  LL_DisposeLinkedList(&only2);

  Item *list = MakeList({9, 7, 7, 5, 3, 1});
  Item *minus = MakeList({8, 7, 3});
  SS_SubtractListSorted(&list, minus, CompareItems, true);
  EXPECT_EQ(Values(list), (std::vector<SInt32>{9, 5, 1}));

  Item *same = MakeList({9, 5, 1});
  EXPECT_TRUE(SS_EqualList(list, same, CompareItems));
  EXPECT_FALSE(SS_EqualList(list, minus, CompareItems));
  EXPECT_TRUE(SS_AreListElementsUnique(CompareItems, list));
  Item *dups = MakeList({4, 2, 4});
  EXPECT_FALSE(SS_AreListElementsUnique(CompareItems, dups));
  FreeList(list);
  FreeList(minus);
  FreeList(same);
  FreeList(dups);
}

TEST(GeneralSortSearch, ListContainsListKeepsEveryElementWhenSorting) {
  Item *big = MakeList({1, 5, 3, 9, 7});
  Item *small = MakeList({7, 1});
  Item *missing = MakeList({7, 2});
  EXPECT_TRUE(SS_ListContainsList(&big, &small, CompareItems, true));
  // Sorting moved the heads; the callers' heads follow, so nothing is lost.
  EXPECT_EQ(Values(big), (std::vector<SInt32>{9, 7, 5, 3, 1}));
  EXPECT_EQ(Values(small), (std::vector<SInt32>{7, 1}));
  EXPECT_FALSE(SS_ListContainsList(&big, &missing, CompareItems, false));
  FreeList(big);
  FreeList(small);
  FreeList(missing);
}

TEST(GeneralSortSearch, RemoveIdenticalPointers) {
  Item targets[3] = {};
  for (int k = 0; k < 3; ++k) targets[k].value = k;
  // A pointer list referring to targets 0, 2, 0, 1, 2.
  LL_PtrLE *list = nullptr;
  for (int k : {0, 2, 0, 1, 2}) {
    void *element = nullptr;
    ASSERT_EQ(LL_AddNewPtr(sizeof(LL_PtrLE), nullptr, &list, &element), noErr);
    static_cast<LL_PtrLE *>(element)->ptr = &targets[k];
  }
  SS_RemoveIdenticalItemsBinary(&list, false);
  EXPECT_EQ(LL_PtrListCount(list), 5);
  SS_RemoveIdenticalItemsBinary(&list, true);
  std::vector<SInt32> values = PointedValues(list);
  std::sort(values.begin(), values.end());
  EXPECT_EQ(values, (std::vector<SInt32>{0, 1, 2}));
  LL_DisposeLinkedList(&list);
}

// ---- comparator trees ----

SInt32 CompareAbsData(const AbsNode *a, const AbsNode *b) {
  // Orders by the int the data points at, in reverse, so that the comparator visibly replaces the keys.
  const int x = *static_cast<const int *>(a->data), y = *static_cast<const int *>(b->data);
  return x > y ? -1 : (x < y ? 1 : 0);
}

struct Visit {
  std::vector<SInt32> keys;
  SInt32 stopAt;
};

OSErr RecordKey(AbsNode *node, TreeSearchData *data) {
  auto *visit = static_cast<Visit *>(data->more);
  visit->keys.push_back(node->key);
  if (node->key == visit->stopAt) data->searchFinished = true;
  if (node->key == -99) return -1;
  return noErr;
}

TEST(GeneralSortSearch, AbsTreeFindsNeighboursByEachSelector) {
  const std::vector<SInt32> keys = {50, 20, 80, 20, 60, 90, 10, 60, 30};
  std::vector<AbsNode> nodes(keys.size());
  AbsNode *top = nullptr;
  for (size_t i = 0; i < keys.size(); ++i) {
    nodes[i].key = keys[i];
    SInt32 depth = -1;
    top = SS_AddAbsNode(top, &nodes[i], nullptr, &depth);
    if (i < 2) {
      EXPECT_EQ(depth, SInt32(i));
    }
  }
  std::vector<SInt32> sorted = keys;
  std::sort(sorted.begin(), sorted.end());

  Visit visit{{}, 1000};
  TreeSearchData data{false, nullptr, &visit};
  EXPECT_EQ(SS_SearchTreeInOrder(top, RecordKey, &data), noErr);
  EXPECT_EQ(visit.keys, sorted);
  visit = {{}, 30};
  data = {false, nullptr, &visit};
  SS_SearchTreeInOrder(top, RecordKey, &data);
  EXPECT_EQ(visit.keys, (std::vector<SInt32>{10, 20, 20, 30}));

  for (SInt32 probe = 5; probe <= 95; probe += 5) {
    AbsNode compare{};
    compare.key = probe;
    auto expectKey = [&](FindNodeSelector mode, bool exists, SInt32 key) {
      AbsNode *found = SS_FindNodeByCompare(top, nullptr, &compare, mode);
      if (!exists) {
        EXPECT_EQ(found, nullptr) << "mode " << mode << ", probe " << probe;
      } else {
        ASSERT_NE(found, nullptr) << "mode " << mode << ", probe " << probe;
        EXPECT_EQ(found->key, key) << "mode " << mode << ", probe " << probe;
      }
    };
    auto lower = std::lower_bound(sorted.begin(), sorted.end(), probe);
    auto upper = std::upper_bound(sorted.begin(), sorted.end(), probe);
    expectKey(kSS_FindPrevious, lower != sorted.begin(), lower != sorted.begin() ? *(lower - 1) : 0);
    expectKey(kSS_FindPreviousOrEqual, upper != sorted.begin(), upper != sorted.begin() ? *(upper - 1) : 0);
    expectKey(kSS_FindEqual, lower != upper, probe);
    expectKey(kSS_FindNextOrEqual, lower != sorted.end(), lower != sorted.end() ? *lower : 0);
    expectKey(kSS_FindNext, upper != sorted.end(), upper != sorted.end() ? *upper : 0);
    EXPECT_EQ(SS_FindNodeByCompare(top, nullptr, &compare, 0), nullptr);
    EXPECT_EQ(SS_FindNodeByCompare(top, nullptr, &compare, 6), nullptr);
  }
  AbsNode compare{};
  EXPECT_EQ(SS_FindNodeByCompare(nullptr, nullptr, &compare, kSS_FindEqual), nullptr);
}

TEST(GeneralSortSearch, AbsTreeUsesTheComparatorWhenGiven) {
  int payload[5] = {3, 1, 4, 1, 5};
  std::vector<AbsNode> nodes(5);
  AbsNode *top = nullptr;
  for (int i = 0; i < 5; ++i) {
    nodes[i].key = i;  // keys ascend, the comparator orders by payload descending
    nodes[i].data = &payload[i];
    top = SS_AddAbsNode(top, &nodes[i], CompareAbsData, nullptr);
  }
  Visit visit{{}, 1000};
  TreeSearchData data{false, nullptr, &visit};
  SS_SearchTreeInOrder(top, RecordKey, &data);
  EXPECT_EQ(visit.keys, (std::vector<SInt32>{4, 2, 0, 1, 3}));  // payloads 5, 4, 3, 1, 1
  int probe = 2;
  AbsNode compare{};
  compare.data = &probe;
  AbsNode *next = SS_FindNodeByCompare(top, CompareAbsData, &compare, kSS_FindNext);
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(*static_cast<int *>(next->data), 1);
}

// ---- plain trees ----

// Checks parent links and order; returns the height.
SInt32 CheckBasicTree(const BasicNode *n, const BasicNode *parent, SInt64 lo, SInt64 hi) {
  if (n == nullptr) return 0;
  EXPECT_EQ(n->parent, parent);
  EXPECT_GE(n->value, lo);
  EXPECT_LE(n->value, hi);
  SInt32 l = CheckBasicTree(n->left, n, lo, n->value);
  SInt32 r = CheckBasicTree(n->right, n, n->value, hi);
  return 1 + std::max(l, r);
}

std::vector<SInt32> InOrder(BasicNode *top) {
  std::vector<SInt32> out;
  for (BasicNode *n = SS_GetSmallestNode(top); n != nullptr; n = SS_GetNextLargerNode(n)) out.push_back(n->value);
  return out;
}

BasicNode *NewBasic(SInt32 value) {
  auto *n = static_cast<BasicNode *>(std::calloc(1, sizeof(BasicNode)));
  n->value = value;
  return n;
}

class GeneralSortSearchBasicTree : public ::testing::Test {
 protected:
  void Build(const std::vector<SInt32> &values) {
    for (SInt32 v : values) SS_AddBasicNode(&root_, NewBasic(v));
    sorted_ = values;
    std::sort(sorted_.begin(), sorted_.end());
  }
  void TearDown() override { SS_DumpTree(&root_); }
  BasicNode *root_ = nullptr;
  std::vector<SInt32> sorted_;
};

TEST_F(GeneralSortSearchBasicTree, SearchesMatchASortedArray) {
  Build({40, 10, 70, 40, 40, 20, 90, 60, 10, 50});
  CheckBasicTree(root_, nullptr, INT64_MIN, INT64_MAX);
  EXPECT_EQ(InOrder(root_), sorted_);
  EXPECT_EQ(SS_CountNodes(root_), 10);
  EXPECT_EQ(SS_GetSmallestNode(root_)->value, 10);
  EXPECT_EQ(SS_GetLargestNode(root_)->value, 90);

  for (SInt32 probe = 0; probe <= 100; probe += 5) {
    SCOPED_TRACE(probe);
    auto lower = std::lower_bound(sorted_.begin(), sorted_.end(), probe);
    auto upper = std::upper_bound(sorted_.begin(), sorted_.end(), probe);
    auto check = [](BasicNode *n, bool exists, SInt32 value) {
      if (!exists) {
        EXPECT_EQ(n, nullptr);
      } else {
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(n->value, value);
      }
    };
    check(SS_Find(root_, probe), lower != upper, probe);
    check(SS_FindNext(root_, probe), upper != sorted_.end(), upper != sorted_.end() ? *upper : 0);
    check(SS_FindNextEq(root_, probe), lower != sorted_.end(), lower != sorted_.end() ? *lower : 0);
    check(SS_FindPrev(root_, probe), lower != sorted_.begin(), lower != sorted_.begin() ? *(lower - 1) : 0);
    check(SS_FindPrevEq(root_, probe), upper != sorted_.begin(), upper != sorted_.begin() ? *(upper - 1) : 0);

    // Closest: the lower one only when strictly nearer.
    SInt32 compare = 99;
    BasicNode *closest = SS_FindClosestNode(root_, probe, &compare);
    ASSERT_NE(closest, nullptr);
    SInt32 best = sorted_[0];
    for (SInt32 v : sorted_) {
      if (std::abs(v - probe) < std::abs(best - probe) || (std::abs(v - probe) == std::abs(best - probe) && v > best))
        best = v;
    }
    EXPECT_EQ(closest->value, best);
    EXPECT_EQ(compare, best < probe ? -1 : (best > probe ? 1 : 0));
  }
  // The first 40, then two steps on: the third 40; five steps on: 70.
  EXPECT_EQ(SS_FindByIndex(root_, 40, 2)->value, 40);
  EXPECT_EQ(SS_FindByIndex(root_, 40, 5)->value, 70);
  EXPECT_EQ(SS_FindByIndex(root_, 40, 9), nullptr);
  EXPECT_EQ(SS_FindByIndex(root_, 45, 0), nullptr);
  EXPECT_EQ(SS_FindClosestNode(nullptr, 3, nullptr), nullptr);
}

TEST_F(GeneralSortSearchBasicTree, RemovalKeepsOrderAndLinks) {
  BZ_KERNEL_SEED_TRACE();
  std::vector<SInt32> values(300);
  for (SInt32 &v : values) v = SInt32(bz_test::Rng()() % 100);
  Build(values);
  std::vector<SInt32> expected = sorted_;
  for (int round = 0; round < 150; ++round) {
    const SInt32 probe = SInt32(bz_test::Rng()() % 100);
    BasicNode *n = SS_FindNextEq(root_, probe);
    if (n == nullptr) continue;
    expected.erase(std::find(expected.begin(), expected.end(), n->value));
    SS_RemoveAndDisposeNode(&root_, &n);
    EXPECT_EQ(n, nullptr);
  }
  BasicNode *smallest = SS_RemoveSmallestNode(&root_);
  BasicNode *largest = SS_RemoveLargestNode(&root_);
  EXPECT_EQ(smallest->value, expected.front());
  EXPECT_EQ(largest->value, expected.back());
  EXPECT_EQ(smallest->parent, nullptr);
  expected.erase(expected.begin());
  expected.pop_back();
  std::free(smallest);
  std::free(largest);
  CheckBasicTree(root_, nullptr, INT64_MIN, INT64_MAX);
  EXPECT_EQ(InOrder(root_), expected);
}

TEST_F(GeneralSortSearchBasicTree, RightChildAndSubtrees) {
  Build({50, 30, 70, 60, 80});
  BasicNode *fifty = SS_Find(root_, 50);
  SS_AddRightChild(fifty, NewBasic(55));  // goes below 60, the smallest of the right subtree
  EXPECT_EQ(SS_GetNextLargerNode(fifty)->value, 55);
  EXPECT_EQ(SS_GetPrevSmallerNode(SS_Find(root_, 60))->value, 55);
  CheckBasicTree(root_, nullptr, INT64_MIN, INT64_MAX);

  BasicNode *seventy = SS_Find(root_, 70);
  SS_RemoveAndDisposeSubtree(&seventy);
  EXPECT_EQ(seventy, nullptr);
  EXPECT_EQ(InOrder(root_), (std::vector<SInt32>{30, 50}));

  // Following one side while values keep falling stops at an equal left child.
  BasicNode a{}, b{}, c{};
  a.value = 5;
  b.value = 5;
  c.value = 1;
  a.left = &b;
  b.parent = &a;
  b.left = &c;
  c.parent = &b;
  EXPECT_EQ(SS_GetASmallest(&a), &a);
  EXPECT_EQ(SS_GetASmallest(&b), &c);
}

TEST_F(GeneralSortSearchBasicTree, BalancingADegenerateTree) {
  // Values in order make a tree as deep as it is large; every walk must cope without recursion.
  const SInt32 n = 20000;
  BasicNode *tail = nullptr;
  for (SInt32 v = 0; v < n; ++v) {
    BasicNode *node = NewBasic(v);
    if (tail == nullptr) {
      root_ = node;
    } else {
      tail->right = node;
      node->parent = tail;
    }
    tail = node;
  }
  EXPECT_EQ(SS_CountNodes(root_), n);
  ASSERT_EQ(SS_BalanceBasicTree(&root_), noErr);
  EXPECT_EQ(CheckBasicTree(root_, nullptr, INT64_MIN, INT64_MAX), 15);  // ceil(log2(20001))
  EXPECT_EQ(root_->value, (n - 1) / 2);

  SInt32 count = 0;
  BasicNode *head = SS_TreeToListInPlace(root_);
  SInt32 expected = 0;
  for (BasicNode *e = head; e != nullptr; e = e->right, ++expected) {
    ASSERT_EQ(e->value, expected);
    ASSERT_EQ(e->left, nullptr);
  }
  EXPECT_EQ(expected, n);
  root_ = SS_ListToTreeInPlace(head, &count);
  EXPECT_EQ(count, n);
  EXPECT_EQ(CheckBasicTree(root_, nullptr, INT64_MIN, INT64_MAX), 15);

  // Balancing a subtree in place keeps it under its parent.
  BasicNode *left = root_->left;
  BasicNode *fresh = SS_BalanceTreeInPlace(left, &count);
  EXPECT_EQ(root_->left, fresh);
  EXPECT_EQ(fresh->parent, root_);
  EXPECT_EQ(count, (n - 1) / 2);
  CheckBasicTree(root_, nullptr, INT64_MIN, INT64_MAX);

  std::vector<BasicNode *> list(n);
  EXPECT_EQ(SS_TreeToList(root_, list.data()), n);
  BasicNode *rebuilt;
  SS_ListToTree(&rebuilt, list.data(), 4);  // lower middle of four is the second
  EXPECT_EQ(rebuilt->value, 1);
  SS_ListToTree(&root_, list.data(), n);
}

// ---- counted trees ----

struct CountedTree {
  static constexpr SInt32 kBlock = 64;
  std::vector<Node> block1 = std::vector<Node>(kBlock), block2 = std::vector<Node>(kBlock);
  std::vector<Node *> list = std::vector<Node *>(kBlock), freeSlots;
  SS_TreeHeader header{};
  explicit CountedTree(SInt32 maxNumFree) : freeSlots(size_t(maxNumFree)) {
    header.blockSize = kBlock;
    header.nodes1 = block1.data();
    header.nodes2 = block2.data();
    header.nodes = header.nodes1;
    header.nodeSize = sizeof(Node);
    header.list = list.data();
    header.maxNumFree = maxNumFree;
    header.free = freeSlots.data();
  }
};

// Checks counts, levels, parent links and order; returns the number of nodes.
SInt32 CheckCounted(const Node *n, const Node *parent, SInt32 level, SInt64 lo, SInt64 hi, SInt32 *height) {
  if (n == nullptr) {
    *height = 0;
    return 0;
  }
  EXPECT_EQ(n->parent, parent);
  EXPECT_EQ(n->level, level);
  EXPECT_GE(n->value, lo);
  EXPECT_LE(n->value, hi);
  SInt32 hl, hr;
  const SInt32 count = 1 + CheckCounted(n->left, n, level + 1, lo, n->value, &hl) +
                       CheckCounted(n->right, n, level + 1, n->value, hi, &hr);
  EXPECT_EQ(n->count, count);
  *height = 1 + std::max(hl, hr);
  return count;
}

TEST(GeneralSortSearch, CountedTreeStaysShallowAndCounted) {
  CountedTree t(8);
  for (SInt32 v = 0; v < CountedTree::kBlock; ++v) ASSERT_EQ(SS_AddNodeByValue(&t.header, v), noErr);
  EXPECT_EQ(SS_AddNodeByValue(&t.header, 99), memFullErr);  // the block is full: nothing written past it
  SInt32 height;
  EXPECT_EQ(CheckCounted(t.header.root, nullptr, 1, INT64_MIN, INT64_MAX, &height), CountedTree::kBlock);
  // In-order insertion would give 64 levels; the rebuilds keep it within twice the bits of the count.
  EXPECT_LE(height, 2 * 7);

  SS_TreeHeader broken = t.header;
  broken.nodeSize = 4;
  EXPECT_EQ(SS_AddNodeByValue(&broken, 1), paramErr);
}

TEST(GeneralSortSearch, CountedTreeReusesAndCompactsSlots) {
  CountedTree t(6);
  BZ_KERNEL_SEED_TRACE();
  std::vector<SInt32> values;
  for (int k = 0; k < 40; ++k) {
    const SInt32 v = SInt32(bz_test::Rng()() % 50);
    ASSERT_EQ(SS_AddNodeByValue(&t.header, v), noErr);
    values.push_back(v);
  }
  std::sort(values.begin(), values.end());
  bool compacted = false;
  for (int round = 0; round < 25; ++round) {
    Node *victim = t.header.root;
    const SInt32 steps = SInt32(bz_test::Rng()() % 5);
    for (SInt32 s = 0; s < steps && victim->left != nullptr; ++s) victim = victim->left;
    values.erase(std::find(values.begin(), values.end(), victim->value));
    Node *blockBefore = t.header.nodes;
    SS_RemovePlusCL(&t.header, victim);
    if (t.header.nodes != blockBefore) {
      compacted = true;
      // A compacted tree is complete and stored in level order from the block's first slot.
      EXPECT_EQ(t.header.numFree, 0);
      EXPECT_EQ(t.header.root, t.header.nodes);
      for (SInt32 i = 0; i < SInt32(values.size()); ++i) {
        Node *n = t.header.nodes + i;
        const SInt32 count = SInt32(values.size());
        EXPECT_EQ(n->left, 2 * i + 1 < count ? t.header.nodes + 2 * i + 1 : nullptr);
        EXPECT_EQ(n->right, 2 * i + 2 < count ? t.header.nodes + 2 * i + 2 : nullptr);
      }
    }
    ASSERT_LE(t.header.numFree, t.header.maxNumFree);
    EXPECT_TRUE(std::is_sorted(t.header.free, t.header.free + t.header.numFree));
    SInt32 height;
    ASSERT_EQ(CheckCounted(t.header.root, nullptr, 1, INT64_MIN, INT64_MAX, &height), SInt32(values.size()));
    // Slots in use and free slots fill the block's front without gaps.
    const SInt32 highWater = SInt32(values.size()) + t.header.numFree;
    for (SInt32 i = 0; i < t.header.numFree; ++i) EXPECT_LT(t.header.free[i] - t.header.nodes, highWater);
  }
  EXPECT_TRUE(compacted);

  // Adding takes the first free slot before the unused end.
  if (t.header.numFree > 0) {
    Node *firstFree = t.header.free[0];
    ASSERT_EQ(SS_AddNodeByValue(&t.header, 1000), noErr);
    EXPECT_EQ(firstFree->value, 1000);
  }
}

TEST(GeneralSortSearch, CountedTreeRightChildAndRemoval) {
  CountedTree t(4);
  for (SInt32 v : {50, 30, 70, 20, 40, 60, 80}) ASSERT_EQ(SS_AddNodeByValue(&t.header, v), noErr);
  Node *thirty = t.header.root->left;
  ASSERT_EQ(thirty->value, 30);
  Node extra{};
  extra.value = 35;
  SS_AddRightChildCL(thirty, &extra);  // below 40
  SInt32 height;
  EXPECT_EQ(CheckCounted(t.header.root, nullptr, 1, INT64_MIN, INT64_MAX, &height), 8);
  EXPECT_EQ(extra.parent->value, 40);

  // A node with two children: the right child takes its place, the left subtree goes below its smallest.
  SS_RemoveCL(&t.header.root, thirty);
  EXPECT_EQ(CheckCounted(t.header.root, nullptr, 1, INT64_MIN, INT64_MAX, &height), 7);
  EXPECT_EQ(t.header.root->left->value, 40);
  EXPECT_EQ(thirty->parent, nullptr);
  SS_RemoveCL(&t.header.root, t.header.root);
  EXPECT_EQ(CheckCounted(t.header.root, nullptr, 1, INT64_MIN, INT64_MAX, &height), 6);
}

}  // namespace
