// Sorting, sorted-list operations and binary trees.
//
// Tree walks are iterative over the parent links, so that a degenerate tree (values inserted in order) of
// any depth cannot exhaust the stack; only the balanced rebuilds recurse, to a depth of log2 of the count.
#include "general/sort_search.h"

#include "general/geometry.h"
#include "general/statistics.h"
#include "platform/core/mac_errors.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdlib.h>
#include <vector>

namespace {

inline LL_LE *&Head(GL_PtrAddress address) { return *static_cast<LL_LE **>(address.slot); }

void FreeElement(void *element) { std::free(element); }

// ---- generic binary-tree helpers (AbsNode, BasicNode, Node share parent/left/right) ----

template <typename N>
N *Leftmost(N *n) {
  while (n->left != nullptr) n = n->left;
  return n;
}

template <typename N>
N *Rightmost(N *n) {
  while (n->right != nullptr) n = n->right;
  return n;
}

template <typename N>
N *Successor(N *n) {
  if (n->right != nullptr) return Leftmost(n->right);
  while (n->parent != nullptr && n == n->parent->right) n = n->parent;
  return n->parent;
}

template <typename N>
N *Predecessor(N *n) {
  if (n->left != nullptr) return Rightmost(n->left);
  while (n->parent != nullptr && n == n->parent->left) n = n->parent;
  return n->parent;
}

// In-order successor that does not leave the subtree at top.
template <typename N>
N *SuccessorWithin(N *n, N *top) {
  if (n->right != nullptr) return Leftmost(n->right);
  while (n != top && n == n->parent->right) n = n->parent;
  return n == top ? nullptr : n->parent;
}

// Calls f on every node of the subtree at top in order.
template <typename N, typename F>
void ForEachInOrder(N *top, F f) {
  if (top == nullptr) return;
  for (N *n = Leftmost(top); n != nullptr;) {
    N *next = SuccessorWithin(n, top);
    f(n);
    n = next;
  }
}

// Replaces old by repl in old's parent (or in *root when old is the top).
template <typename N>
void ReplaceChild(N **root, N *parent, N *old, N *repl) {
  if (parent == nullptr) {
    if (root != nullptr) *root = repl;
  } else if (parent->left == old) {
    parent->left = repl;
  } else if (parent->right == old) {
    parent->right = repl;
  }
  if (repl != nullptr) repl->parent = parent;
}

// Frees every node of the subtree, bottom up, without recursion.
template <typename N>
void FreeSubtree(N *top) {
  N *n = top;
  while (n != nullptr) {
    if (n->left != nullptr) {
      n = n->left;
    } else if (n->right != nullptr) {
      n = n->right;
    } else {
      N *parent = n->parent;
      bool last = (n == top);
      if (!last) {
        if (parent->left == n) {
          parent->left = nullptr;
        } else {
          parent->right = nullptr;
        }
      }
      std::free(n);
      n = last ? nullptr : parent;
    }
  }
}

// ---- counted trees ----

Node *NodeAt(const SS_TreeHeader *tree, SInt32 slot) {
  return reinterpret_cast<Node *>(reinterpret_cast<char *>(tree->nodes) + size_t(slot) * size_t(tree->nodeSize));
}

// Slot index of node in the current block, -1 when it does not lie on a slot of it.
SInt32 SlotOf(const SS_TreeHeader *tree, const Node *node) {
  const char *base = reinterpret_cast<const char *>(tree->nodes);
  const char *p = reinterpret_cast<const char *>(node);
  if (p < base) return -1;
  const size_t offset = size_t(p - base);
  if (offset % size_t(tree->nodeSize) != 0) return -1;
  const size_t slot = offset / size_t(tree->nodeSize);
  return slot < size_t(tree->blockSize) ? SInt32(slot) : -1;
}

bool HeaderUsable(const SS_TreeHeader *tree) {
  return tree != nullptr && tree->nodes != nullptr && tree->blockSize > 0 &&
         tree->nodeSize >= SInt32(sizeof(Node)) && tree->nodeSize % SInt32(alignof(Node)) == 0;
}

void ShiftLevels(Node *top, SInt32 delta) {
  if (delta == 0) return;
  ForEachInOrder(top, [delta](Node *n) { n->level += delta; });
}

SInt32 FlattenCounted(Node *top, Node **list) {
  SInt32 n = 0;
  ForEachInOrder(top, [&](Node *node) { list[n++] = node; });
  return n;
}

void AddCountedBelow(SS_TreeHeader *tree, Node **slot, Node *parent, Node *newNode, SInt32 *maxLevel) {
  Node *cur = *slot;
  if (cur == nullptr) {
    *slot = newNode;
    newNode->parent = parent;
    newNode->left = newNode->right = nullptr;
    newNode->count = 1;
    newNode->level = parent != nullptr ? parent->level + 1 : 1;
    *maxLevel = newNode->level;
    return;
  }
  if (newNode->value >= cur->value) {
    AddCountedBelow(tree, &cur->right, cur, newNode, maxLevel);
  } else {
    AddCountedBelow(tree, &cur->left, cur, newNode, maxLevel);
  }
  cur->count += 1;
  const SInt32 depth = *maxLevel - cur->level + 1;
  const SInt32 bits = GL_GetNumBitsFromMaxValue(UInt32(cur->count));
  if (depth > 8 && depth > 2 * bits && tree != nullptr && tree->list != nullptr) {
    SS_BalanceTree(slot, tree->list);
    *maxLevel = (*slot)->level + bits - 1;
  }
}

// Size of the left subtree of a complete binary tree of count nodes (all levels full but the last, which
// fills from the left).
SInt32 CompleteLeftCount(SInt32 count) {
  if (count <= 1) return 0;
  SInt32 h = 0;
  while ((SInt64(2) << h) <= count) ++h;  // 2^h <= count < 2^(h+1)
  const SInt32 full = (1 << h) - 1;
  const SInt32 last = count - full;
  const SInt32 halfLast = 1 << (h - 1);
  return (full - 1) / 2 + std::min(last, halfLast);
}

SInt32 ComparePtrFields(const void *a, const void *b) {
  return SS_CompareByAddress(static_cast<const LL_PtrLE *>(a)->ptr, static_cast<const LL_PtrLE *>(b)->ptr);
}

BasicNode *BuildFromRightList(BasicNode **cursor, SInt32 n) {
  if (n <= 0) return nullptr;
  const SInt32 leftCount = (n - 1) / 2;
  BasicNode *left = BuildFromRightList(cursor, leftCount);
  BasicNode *root = *cursor;
  *cursor = root->right;
  root->left = left;
  if (left != nullptr) left->parent = root;
  root->right = BuildFromRightList(cursor, n - 1 - leftCount);
  if (root->right != nullptr) root->right->parent = root;
  root->parent = nullptr;
  return root;
}

}  // namespace

// ---- Comparators ----------------------------------------------------------------------------------------

SInt32 SS_CompareByAddress(const void *ptr1, const void *ptr2) {
  const auto a = reinterpret_cast<uintptr_t>(ptr1), b = reinterpret_cast<uintptr_t>(ptr2);
  return a > b ? 1 : (a < b ? -1 : 0);
}

SInt32 SS_CompareBinary(const void *ptr1, size_t size1, const void *ptr2, size_t size2) {
  if (ptr1 == nullptr || ptr2 == nullptr) return 0;
  if (size1 > size2) return 1;
  if (size1 < size2) return -1;
  const auto *a = static_cast<const signed char *>(ptr1);
  const auto *b = static_cast<const signed char *>(ptr2);
  for (size_t i = 0; i < size1; ++i) {
    if (a[i] > b[i]) return 1;
    if (a[i] < b[i]) return -1;
  }
  return 0;
}

// ---- Sorts ----------------------------------------------------------------------------------------------

void SS_SelectSortDescending(PointerComparator Comp, Boolean eliminateIdentical, Boolean disposing,
                             GL_PtrAddress first) {
  if (Comp == nullptr || first.slot == nullptr) return;
  LL_LE *head = Head(first);
  LL_LE *result = nullptr;
  LL_LE **tail = &result;
  while (head != nullptr) {
    LL_LE *best = head, *bestPrev = nullptr;
    LL_LE *prev = head;
    for (LL_LE *e = head->next; e != nullptr;) {
      LL_LE *next = e->next;
      const SInt32 c = Comp(e, best);
      if (c >= 1) {
        best = e;
        bestPrev = prev;
        prev = e;
      } else if (eliminateIdentical && c == 0) {
        prev->next = next;
        if (disposing) FreeElement(e);
      } else {
        prev = e;
      }
      e = next;
    }
    if (bestPrev != nullptr) {
      bestPrev->next = best->next;
    } else {
      head = best->next;
    }
    best->next = nullptr;
    *tail = best;
    tail = &best->next;
  }
  Head(first) = result;
}

void SS_SelectSortAscendingSimple(PointerComparator Comp, GL_PtrAddress first) {
  if (Comp == nullptr || first.slot == nullptr) return;
  LL_LE *head = Head(first);
  LL_LE *result = nullptr;
  LL_LE **tail = &result;
  while (head != nullptr) {
    // The earliest element that no other one lies below: equal smallest elements no longer block each other.
    LL_LE *best = head, *bestPrev = nullptr;
    for (LL_LE *prev = head, *e = head->next; e != nullptr; prev = e, e = e->next) {
      if (Comp(best, e) > 0) {
        best = e;
        bestPrev = prev;
      }
    }
    if (bestPrev != nullptr) {
      bestPrev->next = best->next;
    } else {
      head = best->next;
    }
    best->next = nullptr;
    *tail = best;
    tail = &best->next;
  }
  Head(first) = result;
}

void SS_BubbleSort(PointerComparator Comp, Boolean eliminateIdentical, Boolean disposing, GL_PtrAddress first) {
  if (Comp == nullptr || first.slot == nullptr) return;
  bool exchanged = true;
  while (exchanged) {
    exchanged = false;
    LL_LE **link = &Head(first);
    while (*link != nullptr && (*link)->next != nullptr) {
      LL_LE *a = *link, *b = a->next;
      const SInt32 c = Comp(a, b);
      if (c >= 1) {
        a->next = b->next;
        b->next = a;
        *link = b;
        link = &b->next;
        exchanged = true;
      } else if (eliminateIdentical && c == 0) {
        *link = b;
        if (disposing) FreeElement(a);
      } else {
        link = &a->next;
      }
    }
  }
}

void SS_SelectSortArray(PointerComparator Comp, void *array, SInt32 len, SInt32 elSize) {
  if (Comp == nullptr || array == nullptr || elSize <= 0) return;
  auto *bytes = static_cast<char *>(array);
  auto at = [&](SInt32 i) { return bytes + size_t(i) * size_t(elSize); };
  for (SInt32 i = 0; i + 1 < len; ++i) {
    SInt32 m = i;
    for (SInt32 j = i + 1; j < len; ++j) {
      if (Comp(at(j), at(m)) > 0) m = j;
    }
    // Exchanged in place, so the sort needs no temporary block and cannot fail.
    if (m != i) std::swap_ranges(at(i), at(i) + elSize, at(m));
  }
}

void SS_SelectSortIndexedUInt8Array(UInt8 *array, SInt32 len, SInt32 *index) {
  if (array == nullptr || index == nullptr) return;
  for (SInt32 i = 0; i < len; ++i) index[i] = i;
  for (SInt32 i = 0; i + 1 < len; ++i) {
    SInt32 m = i;
    for (SInt32 j = i + 1; j < len; ++j) {
      if (array[j] > array[m]) m = j;
    }
    std::swap(array[i], array[m]);
    std::swap(index[i], index[m]);
  }
}

void SS_SelectSortUInt8Array(UInt8 *array, SInt32 len) {
  if (array == nullptr) return;
  for (SInt32 i = 0; i + 1 < len; ++i) {
    SInt32 m = i;
    for (SInt32 j = i + 1; j < len; ++j) {
      if (array[j] > array[m]) m = j;
    }
    std::swap(array[i], array[m]);
  }
}

void SS_SelectSortFloatArray(float *array, SInt32 len) {
  if (array == nullptr) return;
  for (SInt32 i = 0; i + 1 < len; ++i) {
    SInt32 m = i;
    for (SInt32 j = i + 1; j < len; ++j) {
      if (array[j] > array[m]) m = j;
    }
    std::swap(array[i], array[m]);
  }
}

void SS_BubbleSortLongArray(SInt32 *array, SInt32 arraySize) {
  if (array == nullptr) return;
  for (SInt32 end = arraySize - 1; end > 0; --end) {
    for (SInt32 i = 0; i < end; ++i) {
      if (array[i] > array[i + 1]) std::swap(array[i], array[i + 1]);
    }
  }
}

void SS_InvertIndexList(const SInt32 *index, SInt32 len, SInt32 *indexInv) {
  if (index == nullptr || indexInv == nullptr) return;
  for (SInt32 i = 0; i < len; ++i) {
    if (index[i] >= 0 && index[i] < len) indexInv[index[i]] = i;
  }
}

SInt32 SS_FindInsertIndexByBisection(const SInt32 *array, SInt32 size, SInt32 value) {
  if (array == nullptr || size <= 0) return 0;
  // A value equal to the last element goes after it, like equal values everywhere else.
  if (array[size - 1] <= value) return size;
  if (array[0] > value) return 0;
  SInt32 lo = 0, hi = size - 1;
  while (hi > lo + 1) {
    const SInt32 mid = lo + (hi - lo) / 2;
    if (array[mid] <= value) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  return hi;
}

// ---- Sorted lists ---------------------------------------------------------------------------------------

OSStatus SS_MergePtrListsSorted(void *list1, void *list2, size_t size, PointerComparator Comp, LL_CopyMode copyMode,
                                Boolean eliminateIdentical, GL_PtrAddress mergedList) {
  if (Comp == nullptr || mergedList.slot == nullptr) return paramErr;
  Head(mergedList) = nullptr;
  void *last = mergedList.slot;
  OSStatus err = noErr;
  // The next pointers are read before an element is taken: moving relinks it.
  auto take = [&](LL_LE *e) {
    if (err != noErr) return;
    void *tail = LL_AddPtrToEndOfList(e, size, copyMode, last);
    if (tail == nullptr) {
      err = memFullErr;
    } else {
      last = tail;
    }
  };
  auto *a = static_cast<LL_LE *>(list1);
  auto *b = static_cast<LL_LE *>(list2);
  while (a != nullptr && b != nullptr && err == noErr) {
    LL_LE *an = a->next, *bn = b->next;
    const SInt32 c = Comp(a, b);
    if (c > 0) {
      take(a);
      a = an;
    } else if (c < 0) {
      take(b);
      b = bn;
    } else {
      take(a);
      a = an;
      if (!eliminateIdentical) {
        take(b);
      } else if (copyMode == kLL_MoveData) {
        FreeElement(b);
      }
      b = bn;
    }
  }
  for (LL_LE *rest : {a, b}) {
    while (rest != nullptr && err == noErr) {
      LL_LE *next = rest->next;
      take(rest);
      rest = next;
    }
  }
  return err;
}

OSStatus SS_IntersectListsSorted(void *first1, void *first2, size_t size, PointerComparator Comp,
                                 LL_CopyMode copyMode, GL_PtrAddress firstRemaining1, GL_PtrAddress firstCommon,
                                 GL_PtrAddress firstRemaining2) {
  if (Comp == nullptr || firstRemaining1.slot == nullptr || firstCommon.slot == nullptr ||
      firstRemaining2.slot == nullptr)
    return paramErr;
  Head(firstRemaining1) = Head(firstCommon) = Head(firstRemaining2) = nullptr;
  void *last1 = firstRemaining1.slot, *lastCommon = firstCommon.slot, *last2 = firstRemaining2.slot;
  OSStatus err = noErr;
  auto take = [&](LL_LE *e, void *&last) {
    if (err != noErr) return;
    void *tail = LL_AddPtrToEndOfList(e, size, copyMode, last);
    if (tail == nullptr) {
      err = memFullErr;
    } else {
      last = tail;
    }
  };
  auto *a = static_cast<LL_LE *>(first1);
  auto *b = static_cast<LL_LE *>(first2);
  while (a != nullptr && b != nullptr && err == noErr) {
    LL_LE *an = a->next, *bn = b->next;
    const SInt32 c = Comp(a, b);
    if (c > 0) {
      take(a, last1);
      a = an;
    } else if (c < 0) {
      take(b, last2);
      b = bn;
    } else {
      take(a, lastCommon);
      if (copyMode == kLL_MoveData) FreeElement(b);
      a = an;
      b = bn;
    }
  }
  while (a != nullptr && err == noErr) {
    LL_LE *next = a->next;
    take(a, last1);
    a = next;
  }
  while (b != nullptr && err == noErr) {
    LL_LE *next = b->next;
    take(b, last2);
    b = next;
  }
  return err;
}

void SS_SubtractListSorted(GL_PtrAddress first, void *subtractList, PointerComparator Comp, Boolean disposing) {
  if (Comp == nullptr || first.slot == nullptr) return;
  LL_LE **link = &Head(first);
  auto *b = static_cast<LL_LE *>(subtractList);
  while (*link != nullptr && b != nullptr) {
    LL_LE *a = *link;
    const SInt32 c = Comp(a, b);
    if (c > 0) {
      link = &a->next;
    } else if (c < 0) {
      b = b->next;
    } else {
      *link = a->next;
      if (disposing) FreeElement(a);
    }
  }
}

Boolean SS_AreListElementsUnique(PointerComparator Comp, void *first) {
  if (Comp == nullptr) return true;
  for (auto *a = static_cast<LL_LE *>(first); a != nullptr; a = a->next) {
    for (LL_LE *b = a->next; b != nullptr; b = b->next) {
      if (Comp(a, b) == 0) return false;
    }
  }
  return true;
}

Boolean SS_EqualList(void *first1, void *first2, PointerComparator Comp) {
  auto *a = static_cast<LL_LE *>(first1);
  auto *b = static_cast<LL_LE *>(first2);
  while (a != nullptr && b != nullptr) {
    if (Comp == nullptr || Comp(a, b) != 0) return false;
    a = a->next;
    b = b->next;
  }
  return a == nullptr && b == nullptr;
}

Boolean SS_ListContainsList(GL_PtrAddress first1, GL_PtrAddress first2, PointerComparator Comp, Boolean sorting) {
  if (Comp == nullptr || first1.slot == nullptr || first2.slot == nullptr) return false;
  if (sorting) {
    SS_SelectSortDescending(Comp, false, false, first1);
    SS_SelectSortDescending(Comp, false, false, first2);
  }
  for (LL_LE *b = Head(first2); b != nullptr; b = b->next) {
    bool found = false;
    for (LL_LE *a = Head(first1); a != nullptr && !found; a = a->next) found = Comp(a, b) == 0;
    if (!found) return false;
  }
  return true;
}

void SS_RemoveIdenticalPointers(GL_PtrAddress first) {
  // The repeated list elements are the list's own; the blocks they point at are left alone.
  SS_SelectSortDescending(ComparePtrFields, true, true, first);
}

void SS_RemoveIdenticalItemsBinary(GL_PtrAddress first, Boolean mightHaveIdenticalPointers) {
  if (mightHaveIdenticalPointers) SS_RemoveIdenticalPointers(first);
}

// ---- Comparator trees -----------------------------------------------------------------------------------

Boolean SS_Before(const AbsNode *x, const AbsNode *y, NodeComparator NC) {
  return NC != nullptr ? NC(x, y) == -1 : x->key < y->key;
}

Boolean SS_BeforeOrEqual(const AbsNode *x, const AbsNode *y, NodeComparator NC) {
  return NC != nullptr ? NC(x, y) != 1 : x->key <= y->key;
}

Boolean SS_Equal(const AbsNode *x, const AbsNode *y, NodeComparator NC) {
  return NC != nullptr ? NC(x, y) == 0 : x->key == y->key;
}

AbsNode *SS_AddAbsNode(AbsNode *treeTop, AbsNode *newNode, NodeComparator NC, SInt32 *counter) {
  if (newNode == nullptr) return treeTop;
  newNode->left = newNode->right = nullptr;
  SInt32 depth = 0;
  if (treeTop == nullptr) {
    newNode->parent = nullptr;
    if (counter != nullptr) *counter = 0;
    return newNode;
  }
  AbsNode *cur = treeTop;
  for (;;) {
    ++depth;
    AbsNode **side = SS_Before(newNode, cur, NC) ? &cur->left : &cur->right;
    if (*side == nullptr) {
      *side = newNode;
      newNode->parent = cur;
      break;
    }
    cur = *side;
  }
  if (counter != nullptr) *counter = depth;
  return treeTop;
}

AbsNode *SS_FindNodeByCompare(AbsNode *topNode, NodeComparator NC, const AbsNode *compareNode,
                              FindNodeSelector compareMode) {
  if (compareNode == nullptr) return nullptr;
  AbsNode *candidate = nullptr;
  AbsNode *cur = topNode;
  while (cur != nullptr) {
    switch (compareMode) {
      case kSS_FindPrevious:
        if (SS_Before(cur, compareNode, NC)) {
          candidate = cur;
          cur = cur->right;
        } else {
          cur = cur->left;
        }
        break;
      case kSS_FindPreviousOrEqual:
        if (SS_BeforeOrEqual(cur, compareNode, NC)) {
          candidate = cur;
          cur = cur->right;
        } else {
          cur = cur->left;
        }
        break;
      case kSS_FindEqual:
        if (SS_Equal(cur, compareNode, NC)) return cur;
        cur = SS_Before(compareNode, cur, NC) ? cur->left : cur->right;
        break;
      case kSS_FindNextOrEqual:
        if (!SS_Before(cur, compareNode, NC)) {
          candidate = cur;
          cur = cur->left;
        } else {
          cur = cur->right;
        }
        break;
      case kSS_FindNext:
        if (SS_Before(compareNode, cur, NC)) {
          candidate = cur;
          cur = cur->left;
        } else {
          cur = cur->right;
        }
        break;
      default:
        return nullptr;
    }
  }
  return candidate;
}

OSErr SS_SearchTreeInOrder(AbsNode *curNode, TreeSearcher TS, TreeSearchData *data) {
  if (curNode == nullptr || TS == nullptr) return noErr;
  for (AbsNode *n = Leftmost(curNode); n != nullptr; n = SuccessorWithin(n, curNode)) {
    const OSErr err = TS(n, data);
    if (err != noErr) return err;
    if (data != nullptr && data->searchFinished) break;
  }
  return noErr;
}

// ---- Plain trees of values ------------------------------------------------------------------------------

void SS_AddBasicNode(BasicNode **root, BasicNode *newNode) {
  if (root == nullptr || newNode == nullptr) return;
  newNode->left = newNode->right = nullptr;
  newNode->parent = nullptr;
  if (*root == nullptr) {
    *root = newNode;
    return;
  }
  BasicNode *cur = *root;
  for (;;) {
    BasicNode **side;
    if (newNode->value < cur->value) {
      side = &cur->left;
    } else if (newNode->value > cur->value) {
      side = &cur->right;
    } else if ((cur->left == nullptr) != (cur->right == nullptr)) {
      side = cur->left == nullptr ? &cur->left : &cur->right;
    } else {
      side = QDD_Random() < 1 ? &cur->left : &cur->right;
    }
    if (*side == nullptr) {
      *side = newNode;
      newNode->parent = cur;
      return;
    }
    cur = *side;
  }
}

BasicNode *SS_Find(BasicNode *top, SInt32 value) {
  for (BasicNode *cur = top; cur != nullptr;) {
    if (value == cur->value) return cur;
    cur = value < cur->value ? cur->left : cur->right;
  }
  return nullptr;
}

BasicNode *SS_FindNext(BasicNode *top, SInt32 value) {
  BasicNode *candidate = nullptr;
  for (BasicNode *cur = top; cur != nullptr;) {
    if (cur->value > value) {
      candidate = cur;
      cur = cur->left;
    } else {
      cur = cur->right;
    }
  }
  return candidate;
}

BasicNode *SS_FindNextEq(BasicNode *top, SInt32 value) {
  BasicNode *candidate = nullptr;
  for (BasicNode *cur = top; cur != nullptr;) {
    if (cur->value >= value) {
      candidate = cur;
      cur = cur->left;
    } else {
      cur = cur->right;
    }
  }
  return candidate;
}

BasicNode *SS_FindPrev(BasicNode *top, SInt32 value) {
  BasicNode *candidate = nullptr;
  for (BasicNode *cur = top; cur != nullptr;) {
    if (cur->value < value) {
      candidate = cur;
      cur = cur->right;
    } else {
      cur = cur->left;
    }
  }
  return candidate;
}

BasicNode *SS_FindPrevEq(BasicNode *top, SInt32 value) {
  BasicNode *candidate = nullptr;
  for (BasicNode *cur = top; cur != nullptr;) {
    if (cur->value <= value) {
      candidate = cur;
      cur = cur->right;
    } else {
      cur = cur->left;
    }
  }
  return candidate;
}

BasicNode *SS_FindByIndex(BasicNode *top, SInt32 value, SInt32 index) {
  BasicNode *node = SS_FindNextEq(top, value);
  if (node == nullptr || node->value != value) return nullptr;
  for (SInt32 k = 0; k < index && node != nullptr; ++k) node = SS_GetNextLargerNode(node);
  return node;
}

BasicNode *SS_FindClosestNode(BasicNode *top, SInt32 value, SInt32 *compare) {
  BasicNode *lower = SS_FindPrevEq(top, value);
  BasicNode *upper = SS_FindNextEq(top, value);
  BasicNode *best;
  if (lower != nullptr && upper != nullptr) {
    const SInt64 dLower = SInt64(value) - lower->value;
    const SInt64 dUpper = SInt64(upper->value) - value;
    best = dLower < dUpper ? lower : upper;
  } else {
    best = lower != nullptr ? lower : upper;
  }
  if (compare != nullptr && best != nullptr) {
    *compare = best->value < value ? -1 : (best->value > value ? 1 : 0);
  }
  return best;
}

BasicNode *SS_GetSmallestNode(BasicNode *top) { return top != nullptr ? Leftmost(top) : nullptr; }

BasicNode *SS_GetLargestNode(BasicNode *top) { return top != nullptr ? Rightmost(top) : nullptr; }

BasicNode *SS_GetASmallest(BasicNode *top) {
  BasicNode *n = top;
  while (n != nullptr && n->left != nullptr && n->left->value < n->value) n = n->left;
  return n;
}

BasicNode *SS_GetALargest(BasicNode *top) {
  BasicNode *n = top;
  while (n != nullptr && n->right != nullptr && n->right->value > n->value) n = n->right;
  return n;
}

BasicNode *SS_GetNextLargerNode(BasicNode *node) { return node != nullptr ? Successor(node) : nullptr; }

BasicNode *SS_GetPrevSmallerNode(BasicNode *node) { return node != nullptr ? Predecessor(node) : nullptr; }

SInt32 SS_CountNodes(const BasicNode *top) {
  SInt32 n = 0;
  ForEachInOrder(const_cast<BasicNode *>(top), [&n](BasicNode *) { ++n; });
  return n;
}

void SS_AddRightChild(BasicNode *node, BasicNode *newNode) {
  if (node == nullptr || newNode == nullptr) return;
  newNode->left = newNode->right = nullptr;
  if (node->right == nullptr) {
    node->right = newNode;
    newNode->parent = node;
  } else {
    BasicNode *s = Leftmost(node->right);
    s->left = newNode;
    newNode->parent = s;
  }
}

void SS_RemoveNode(BasicNode **root, BasicNode *node) {
  if (node == nullptr) return;
  BasicNode *parent = node->parent, *l = node->left, *r = node->right;
  BasicNode *repl;
  if (l == nullptr || r == nullptr) {
    repl = l != nullptr ? l : r;
  } else if (random() < 1) {
    repl = r;
    BasicNode *s = Leftmost(r);
    s->left = l;
    l->parent = s;
  } else {
    repl = l;
    BasicNode *g = Rightmost(l);
    g->right = r;
    r->parent = g;
  }
  ReplaceChild(root, parent, node, repl);
  node->parent = node->left = node->right = nullptr;
}

void SS_RemoveAndDisposeNode(BasicNode **root, BasicNode **node) {
  if (node == nullptr || *node == nullptr) return;
  SS_RemoveNode(root, *node);
  std::free(*node);
  *node = nullptr;
}

BasicNode *SS_RemoveSmallestNode(BasicNode **root) {
  if (root == nullptr || *root == nullptr) return nullptr;
  BasicNode *n = Leftmost(*root);
  SS_RemoveNode(root, n);
  return n;
}

BasicNode *SS_RemoveLargestNode(BasicNode **root) {
  if (root == nullptr || *root == nullptr) return nullptr;
  BasicNode *n = Rightmost(*root);
  SS_RemoveNode(root, n);
  return n;
}

void SS_RemoveSubtree(BasicNode *top) {
  if (top == nullptr || top->parent == nullptr) return;
  if (top->parent->left == top) {
    top->parent->left = nullptr;
  } else if (top->parent->right == top) {
    top->parent->right = nullptr;
  }
  top->parent = nullptr;
}

void SS_DumpTree(BasicNode **top) {
  if (top == nullptr || *top == nullptr) return;
  FreeSubtree(*top);
  *top = nullptr;
}

void SS_RemoveAndDisposeSubtree(BasicNode **top) {
  if (top == nullptr || *top == nullptr) return;
  SS_RemoveSubtree(*top);
  SS_DumpTree(top);
}

SInt32 SS_TreeToList(BasicNode *treeTop, BasicNode **list) {
  if (list == nullptr) return 0;
  SInt32 n = 0;
  ForEachInOrder(treeTop, [&](BasicNode *node) { list[n++] = node; });
  return n;
}

void SS_ListToTree(BasicNode **treeStart, BasicNode **list, SInt32 count) {
  if (treeStart == nullptr) return;
  if (list == nullptr || count <= 0) {
    *treeStart = nullptr;
    return;
  }
  const SInt32 mid = (count - 1) / 2;
  BasicNode *root = list[mid];
  BasicNode *left, *right;
  SS_ListToTree(&left, list, mid);
  SS_ListToTree(&right, list + mid + 1, count - mid - 1);
  root->parent = nullptr;
  root->left = left;
  root->right = right;
  if (left != nullptr) left->parent = root;
  if (right != nullptr) right->parent = root;
  *treeStart = root;
}

OSStatus SS_BalanceBasicTree(BasicNode **top) {
  if (top == nullptr || *top == nullptr) return noErr;
  BasicNode *old = *top;
  BasicNode *parent = old->parent;
  const SInt32 count = SS_CountNodes(old);
  auto **list = static_cast<BasicNode **>(std::malloc(sizeof(BasicNode *) * size_t(count)));
  if (list == nullptr) return memFullErr;
  SS_TreeToList(old, list);
  BasicNode *fresh;
  SS_ListToTree(&fresh, list, count);
  std::free(list);
  ReplaceChild<BasicNode>(nullptr, parent, old, fresh);
  *top = fresh;
  return noErr;
}

BasicNode *SS_TreeToListInPlace(BasicNode *top) {
  if (top == nullptr) return nullptr;
  // Right rotations until no node has a left child leave the nodes in order along the right links.
  BasicNode pseudo{};
  pseudo.right = top;
  BasicNode *tail = &pseudo;
  BasicNode *rest = top;
  while (rest != nullptr) {
    if (rest->left == nullptr) {
      tail = rest;
      rest = rest->right;
    } else {
      BasicNode *l = rest->left;
      rest->left = l->right;
      l->right = rest;
      rest = l;
      tail->right = l;
    }
  }
  BasicNode *head = pseudo.right;
  BasicNode *prev = nullptr;
  for (BasicNode *n = head; n != nullptr; n = n->right) {
    n->parent = prev;
    prev = n;
  }
  return head;
}

BasicNode *SS_ListToTreeInPlace(BasicNode *listBegin, SInt32 *count) {
  SInt32 n = 0;
  for (BasicNode *e = listBegin; e != nullptr; e = e->right) ++n;
  if (count != nullptr) *count = n;
  BasicNode *cursor = listBegin;
  return BuildFromRightList(&cursor, n);
}

BasicNode *SS_BalanceTreeInPlace(BasicNode *top, SInt32 *count) {
  if (top == nullptr) {
    if (count != nullptr) *count = 0;
    return nullptr;
  }
  BasicNode *parent = top->parent;
  const bool wasLeft = parent != nullptr && parent->left == top;
  BasicNode *fresh = SS_ListToTreeInPlace(SS_TreeToListInPlace(top), count);
  fresh->parent = parent;
  if (parent != nullptr) {
    if (wasLeft) {
      parent->left = fresh;
    } else {
      parent->right = fresh;
    }
  }
  return fresh;
}

// ---- Counted trees in a node block ----------------------------------------------------------------------

OSStatus SS_AddNodeByValue(SS_TreeHeader *tree, SInt32 value) {
  if (!HeaderUsable(tree)) return paramErr;
  Node *node;
  if (tree->numFree > 0 && tree->free != nullptr) {
    node = tree->free[0];
    std::memmove(tree->free, tree->free + 1, sizeof(Node *) * size_t(tree->numFree - 1));
    --tree->numFree;
  } else {
    const SInt32 used = tree->root != nullptr ? tree->root->count : 0;
    if (used >= tree->blockSize) return memFullErr;
    node = NodeAt(tree, used);
  }
  node->parent = node->left = node->right = nullptr;
  node->count = 1;
  node->level = 1;
  node->value = value;
  SInt32 maxLevel;
  SS_AddNode(tree, &tree->root, node, &maxLevel);
  return noErr;
}

void SS_AddNode(SS_TreeHeader *tree, Node **curNode, Node *newNode, SInt32 *maxLevel) {
  if (curNode == nullptr || newNode == nullptr) return;
  SInt32 level = 0;
  AddCountedBelow(tree, curNode, *curNode != nullptr ? (*curNode)->parent : nullptr, newNode, &level);
  if (maxLevel != nullptr) *maxLevel = level;
}

void SS_AddRightChildCL(Node *node, Node *newNode) {
  if (node == nullptr || newNode == nullptr) return;
  newNode->left = newNode->right = nullptr;
  newNode->count = 1;
  if (node->right == nullptr) {
    node->right = newNode;
    newNode->parent = node;
  } else {
    Node *s = Leftmost(node->right);
    s->left = newNode;
    newNode->parent = s;
  }
  newNode->level = newNode->parent->level + 1;
  for (Node *a = newNode->parent; a != nullptr; a = a->parent) a->count += 1;
}

void SS_RemoveCL(Node **root, Node *node) {
  if (node == nullptr) return;
  for (Node *a = node->parent; a != nullptr; a = a->parent) a->count -= 1;
  Node *parent = node->parent, *l = node->left, *r = node->right;
  Node *repl;
  if (l == nullptr || r == nullptr) {
    repl = l != nullptr ? l : r;
    if (repl != nullptr) ShiftLevels(repl, -1);
  } else {
    repl = r;
    ShiftLevels(r, -1);
    Node *s = Leftmost(r);
    s->left = l;
    l->parent = s;
    ShiftLevels(l, s->level + 1 - l->level);
    for (Node *a = s; a != nullptr && a != parent; a = a->parent) a->count += l->count;
  }
  ReplaceChild(root, parent, node, repl);
  node->parent = node->left = node->right = nullptr;
}

void SS_UpdateFreeList(SS_TreeHeader *tree, Node *node) {
  if (!HeaderUsable(tree) || node == nullptr || tree->free == nullptr) return;
  const SInt32 slot = SlotOf(tree, node);
  if (slot < 0) return;
  const SInt32 inUse = tree->root != nullptr ? tree->root->count : 0;
  const SInt32 highWater = inUse + tree->numFree + 1;
  if (slot == highWater - 1) {
    // The last slot in use: it and the free slots right below it go back to the unused end of the block.
    SInt32 s = slot;
    while (tree->numFree > 0 && s > 0 && tree->free[tree->numFree - 1] == NodeAt(tree, s - 1)) {
      --tree->numFree;
      --s;
    }
    return;
  }
  // A full free list leaves the slot unused until the next compaction.
  if (tree->numFree >= tree->maxNumFree) return;
  Node **end = tree->free + tree->numFree;
  Node **pos = std::lower_bound(tree->free, end, node, [](const Node *a, const Node *b) {
    return reinterpret_cast<uintptr_t>(a) < reinterpret_cast<uintptr_t>(b);
  });
  std::memmove(pos + 1, pos, sizeof(Node *) * size_t(end - pos));
  *pos = node;
  ++tree->numFree;
}

void SS_RemovePlusCL(SS_TreeHeader *tree, Node *node) {
  if (tree == nullptr || node == nullptr) return;
  SS_RemoveCL(&tree->root, node);
  SS_UpdateFreeList(tree, node);
  if (tree->maxNumFree > 0 && tree->numFree >= tree->maxNumFree) SS_CompactTree(tree);
}

void SS_UpdateLevel(Node *node) {
  if (node == nullptr) return;
  ForEachInOrder(node, [node](Node *n) {
    if (n != node) n->level = n->parent->level + 1;
  });
}

void SS_BalanceTree(Node **top, Node **list) {
  if (top == nullptr || *top == nullptr || list == nullptr) return;
  Node *old = *top;
  Node *parent = old->parent;
  const SInt32 level = old->level;
  const SInt32 count = FlattenCounted(old, list);
  Node *fresh = SS_ListToTreeInPlaceCL(list, count, level);
  ReplaceChild<Node>(nullptr, parent, old, fresh);
  *top = fresh;
}

Node *SS_ListToTreeInPlaceCL(Node **list, SInt32 count, SInt32 level) {
  if (list == nullptr || count <= 0) return nullptr;
  SInt32 mid = (count - 1) / 2;
  if (count % 2 == 0 && (random() & 1) != 0) mid = count / 2;
  Node *root = list[mid];
  root->parent = nullptr;
  root->level = level;
  root->count = count;
  root->left = SS_ListToTreeInPlaceCL(list, mid, level + 1);
  root->right = SS_ListToTreeInPlaceCL(list + mid + 1, count - mid - 1, level + 1);
  if (root->left != nullptr) root->left->parent = root;
  if (root->right != nullptr) root->right->parent = root;
  return root;
}

Node *SS_ListToOptimalTree(SS_TreeHeader *tree, Node **list, SInt32 count, SInt32 level, SInt32 *numInLevel) {
  if (!HeaderUsable(tree) || list == nullptr || numInLevel == nullptr || count <= 0 || level < 1 || level > 32)
    return nullptr;
  const SInt32 leftCount = CompleteLeftCount(count);
  const SInt32 slot = (1 << (level - 1)) + numInLevel[level] - 1;
  ++numInLevel[level];
  if (slot >= tree->blockSize) return nullptr;
  Node *dst = NodeAt(tree, slot);
  std::memcpy(dst, list[leftCount], size_t(tree->nodeSize));
  dst->parent = nullptr;
  dst->level = level;
  dst->count = count;
  dst->left = SS_ListToOptimalTree(tree, list, leftCount, level + 1, numInLevel);
  dst->right = SS_ListToOptimalTree(tree, list + leftCount + 1, count - leftCount - 1, level + 1, numInLevel);
  if (dst->left != nullptr) dst->left->parent = dst;
  if (dst->right != nullptr) dst->right->parent = dst;
  return dst;
}

void SS_CompactTree(SS_TreeHeader *tree) {
  if (!HeaderUsable(tree) || tree->list == nullptr || tree->nodes1 == nullptr || tree->nodes2 == nullptr ||
      tree->nodes1 == tree->nodes2)
    return;
  const SInt32 count = FlattenCounted(tree->root, tree->list);
  tree->nodes = tree->nodes == tree->nodes1 ? tree->nodes2 : tree->nodes1;
  tree->numFree = 0;
  SInt32 numInLevel[33] = {};
  tree->root = SS_ListToOptimalTree(tree, tree->list, count, 1, numInLevel);
}
