// Sorting and searching: selection and bubble sorts of lists and arrays with a caller's comparator,
// operations on sorted lists, bisection, and three kinds of binary trees (ordered by a comparator, plain
// trees of values, and counted trees kept in a node block). Stateless apart from the caller's lists,
// arrays and trees; nothing here takes a lock.
//
// Lists are those of the list module (each element's first field is its next pointer); routines that may
// change a head take its address.
#pragma once

#include "general/memory_lists.h"
#include "platform/core/mac_types.h"

// ---- Comparators ----------------------------------------------------------------------------------------

// Positive when a is to come before b, 0 when they are equal, negative otherwise. The comparator sorts put
// the element for which it is positive first (descending with respect to it) unless named "Ascending".
typedef SInt32 (*PointerComparator)(const void *a, const void *b);

// 1, 0 or -1 as ptr1 lies above, at or below ptr2.
SInt32 SS_CompareByAddress(const void *ptr1, const void *ptr2);
// A NULL pointer compares 0; the larger size compares 1, the smaller -1; equal sizes compare byte by byte
// as signed characters, the first differing byte deciding; equal blocks give 0.
SInt32 SS_CompareBinary(const void *ptr1, size_t size1, const void *ptr2, size_t size2);

// ---- Sorts ----------------------------------------------------------------------------------------------

// Selection sort of a list, best first: each round takes the earliest element no later one beats
// (Comp(element, best) >= 1 beats), so equal elements keep their order. With eliminateIdentical an element
// equal to the round's best is unlinked at once, and freed with `disposing`.
void SS_SelectSortDescending(PointerComparator Comp, Boolean eliminateIdentical, Boolean disposing,
                             GL_PtrAddress first);
// Selection sort of a list, smallest first: each round takes the first element e with Comp(e, other) <= 0
// against all others, so equal elements keep their order.
void SS_SelectSortAscendingSimple(PointerComparator Comp, GL_PtrAddress first);
// Bubble sort of a list, ascending with respect to the comparator (neighbours with Comp(a, next) >= 1 are
// exchanged). With eliminateIdentical an element equal to its successor is unlinked (freed with `disposing`).
void SS_BubbleSort(PointerComparator Comp, Boolean eliminateIdentical, Boolean disposing, GL_PtrAddress first);
// Selection sort of len elements of elSize bytes: position i receives the first element from i on that no
// later element beats (Comp(later, best) > 0 beats).
void SS_SelectSortArray(PointerComparator Comp, void *array, SInt32 len, SInt32 elSize);
// Descending selection sort of bytes (the first largest wins); index[k] receives the position the k-th byte
// came from (len entries).
void SS_SelectSortIndexedUInt8Array(UInt8 *array, SInt32 len, SInt32 *index);
void SS_SelectSortUInt8Array(UInt8 *array, SInt32 len);
void SS_SelectSortFloatArray(float *array, SInt32 len);
// Ascending bubble sort.
void SS_BubbleSortLongArray(SInt32 *array, SInt32 arraySize);
// indexInv[index[i]] = i; entries of index outside 0..len-1 are skipped.
void SS_InvertIndexList(const SInt32 *index, SInt32 len, SInt32 *indexInv);
// Where value goes into an ascending array: after the elements not above it (0 for an empty array, size
// when the last element is not above it).
SInt32 SS_FindInsertIndexByBisection(const SInt32 *array, SInt32 size, SInt32 value);

// ---- Sorted lists (sorted by SS_SelectSortDescending with the same comparator) ---------------------------

// Merges two sorted lists into *mergedList (appended per copyMode; kLL_MoveData consumes both lists). Of an
// equal pair both are taken, list 1's first, or with eliminateIdentical only list 1's (list 2's is freed
// when moving). memFullErr when a copy could not be made; what was merged so far stays in *mergedList.
OSStatus SS_MergePtrListsSorted(void *list1, void *list2, size_t size, PointerComparator Comp, LL_CopyMode copyMode,
                                Boolean eliminateIdentical, GL_PtrAddress mergedList);
// Walks both sorted lists in step: elements only in list 1, elements of list 1 with an equal in list 2,
// elements only in list 2 (list 2's equal ones are freed when moving). Nothing is done unless all three
// addresses are given (paramErr). memFullErr when a copy could not be made.
OSStatus SS_IntersectListsSorted(void *first1, void *first2, size_t size, PointerComparator Comp,
                                 LL_CopyMode copyMode, GL_PtrAddress firstRemaining1, GL_PtrAddress firstCommon,
                                 GL_PtrAddress firstRemaining2);
// Removes from the sorted list every element equal to one of the sorted subtractList (freed with `disposing`).
void SS_SubtractListSorted(GL_PtrAddress first, void *subtractList, PointerComparator Comp, Boolean disposing);
// No two elements compare equal.
Boolean SS_AreListElementsUnique(PointerComparator Comp, void *first);
// Same length and pairwise equal.
Boolean SS_EqualList(void *first1, void *first2, PointerComparator Comp);
// Every element of list 2 has an equal element in list 1. With `sorting` both lists are first sorted
// (SS_SelectSortDescending), which is why their heads are passed by address.
Boolean SS_ListContainsList(GL_PtrAddress first1, GL_PtrAddress first2, PointerComparator Comp, Boolean sorting);
// For a list of LL_PtrLE: sorts it by the ptr fields and removes the elements whose ptr repeats. The removed
// list elements are freed; the blocks they point at are not.
void SS_RemoveIdenticalPointers(GL_PtrAddress first);
// SS_RemoveIdenticalPointers when mightHaveIdenticalPointers is set; nothing otherwise.
void SS_RemoveIdenticalItemsBinary(GL_PtrAddress first, Boolean mightHaveIdenticalPointers);

// ---- Comparator trees -----------------------------------------------------------------------------------

struct AbsNode {
  AbsNode *parent;
  AbsNode *left;
  AbsNode *right;
  SInt32 key;
  void *data;
};

// -1 when a comes before b, 0 when equal, 1 after.
typedef SInt32 (*NodeComparator)(const AbsNode *a, const AbsNode *b);

struct TreeSearchData {
  Boolean searchFinished;  // set by the searcher to stop the walk
  AbsNode *foundNode;
  void *more;
};

// Called on each node in order; a non-zero result stops the walk and is returned.
typedef OSErr (*TreeSearcher)(AbsNode *node, TreeSearchData *data);

typedef SInt32 FindNodeSelector;
enum : FindNodeSelector {
  kSS_FindPrevious = 1,       // the last node strictly before
  kSS_FindPreviousOrEqual = 2,
  kSS_FindEqual = 3,
  kSS_FindNextOrEqual = 4,
  kSS_FindNext = 5            // the first node strictly after
};

// The comparator's verdict (-1; not 1; 0), or without comparator the keys' (<, <=, =).
Boolean SS_Before(const AbsNode *x, const AbsNode *y, NodeComparator NC);
Boolean SS_BeforeOrEqual(const AbsNode *x, const AbsNode *y, NodeComparator NC);
Boolean SS_Equal(const AbsNode *x, const AbsNode *y, NodeComparator NC);
// Inserts newNode (nodes not before go right) and returns the top: newNode for an empty tree. *counter
// (optional) receives the depth it was put at (0 for the top).
AbsNode *SS_AddAbsNode(AbsNode *treeTop, AbsNode *newNode, NodeComparator NC, SInt32 *counter);
// The node the selector picks relative to compareNode; NULL for an empty tree, no such node or a mode
// outside 1..5.
AbsNode *SS_FindNodeByCompare(AbsNode *topNode, NodeComparator NC, const AbsNode *compareNode,
                              FindNodeSelector compareMode);
// Calls TS on each node of the subtree in order; stops at the first non-zero result (returned) or once
// data->searchFinished is set.
OSErr SS_SearchTreeInOrder(AbsNode *curNode, TreeSearcher TS, TreeSearchData *data);

// ---- Plain trees of values ------------------------------------------------------------------------------

// Smaller values left, larger right; equal values may go either way. Nodes belong to the caller; the
// disposing routines free them with the standard allocator.
struct BasicNode {
  BasicNode *parent;
  BasicNode *left;
  BasicNode *right;
  SInt32 value;
};

// Inserts newNode; an equal value goes to the free side when exactly one is free, else by a random draw.
void SS_AddBasicNode(BasicNode **root, BasicNode *newNode);
// A node with the value; the first larger; larger or equal; the last smaller; smaller or equal (NULL if none).
BasicNode *SS_Find(BasicNode *top, SInt32 value);
BasicNode *SS_FindNext(BasicNode *top, SInt32 value);
BasicNode *SS_FindNextEq(BasicNode *top, SInt32 value);
BasicNode *SS_FindPrev(BasicNode *top, SInt32 value);
BasicNode *SS_FindPrevEq(BasicNode *top, SInt32 value);
// The first node with the value, then `index` steps to the next larger node (NULL past the end).
BasicNode *SS_FindByIndex(BasicNode *top, SInt32 value, SInt32 index);
// The nearest node (the one at or above on a tie); *compare -1, 0 or 1 as its value is below, equal to or
// above the value.
BasicNode *SS_FindClosestNode(BasicNode *top, SInt32 value, SInt32 *compare);
BasicNode *SS_GetSmallestNode(BasicNode *top);
BasicNode *SS_GetLargestNode(BasicNode *top);
// Follow the left (right) side while the values keep falling (rising).
BasicNode *SS_GetASmallest(BasicNode *top);
BasicNode *SS_GetALargest(BasicNode *top);
// In-order neighbours through the parent links (NULL at the ends).
BasicNode *SS_GetNextLargerNode(BasicNode *node);
BasicNode *SS_GetPrevSmallerNode(BasicNode *node);
SInt32 SS_CountNodes(const BasicNode *top);
// Inserts newNode as node's in-order successor: its right child, or the left child of the smallest node of
// its right subtree.
void SS_AddRightChild(BasicNode *node, BasicNode *newNode);
// Unlinks node (updating *root); its links are cleared, it is not freed.
void SS_RemoveNode(BasicNode **root, BasicNode *node);
// Unlinks and frees *node, and sets it to NULL.
void SS_RemoveAndDisposeNode(BasicNode **root, BasicNode **node);
// Unlink and return the smallest (largest) node; NULL for an empty tree.
BasicNode *SS_RemoveSmallestNode(BasicNode **root);
BasicNode *SS_RemoveLargestNode(BasicNode **root);
// Cuts the subtree at top from its parent.
void SS_RemoveSubtree(BasicNode *top);
// Frees every node of the subtree and sets *top to NULL (the parent's link is left alone).
void SS_DumpTree(BasicNode **top);
// Cuts the subtree from its parent, then frees it; *top ends NULL.
void SS_RemoveAndDisposeSubtree(BasicNode **top);
// Node pointers in order into list (the caller's, room for SS_CountNodes entries); returns their number.
SInt32 SS_TreeToList(BasicNode *treeTop, BasicNode **list);
// Balanced tree of list[0..count-1] (the middle element, the lower middle for an even count, is the root);
// *treeStart receives its root (parent NULL).
void SS_ListToTree(BasicNode **treeStart, BasicNode **list, SInt32 count);
// Rebuilds the subtree at *top balanced, keeping its place under its parent. memFullErr when its pointer
// array cannot be allocated (the tree is then unchanged).
OSStatus SS_BalanceBasicTree(BasicNode **top);
// Turns the subtree into an in-order list through the right links (left links NULL); returns the head.
BasicNode *SS_TreeToListInPlace(BasicNode *top);
// Builds a balanced tree from a right-linked list in place; *count receives the number of nodes. Returns the
// root (parent NULL).
BasicNode *SS_ListToTreeInPlace(BasicNode *listBegin, SInt32 *count);
// Balances the subtree at top in place, keeping its place under its parent; returns the new top.
BasicNode *SS_BalanceTreeInPlace(BasicNode *top, SInt32 *count);

// ---- Counted trees in a node block ----------------------------------------------------------------------

// A node of a counted tree; records may extend it (nodeSize bytes each, this record first).
struct Node {
  Node *parent;
  Node *left;
  Node *right;
  SInt32 count;  // nodes in its subtree, itself included
  SInt32 level;  // 1 for the root
  SInt32 value;
};

// Filled by the caller: two blocks of blockSize nodes of nodeSize bytes each (nodes1, nodes2; `nodes` the
// one in use, root NULL at first), `list` with room for blockSize node pointers, and `free` with room for
// maxNumFree node pointers (numFree 0). nodesPtr is the caller's allocation, kept for its disposal.
struct SS_TreeHeader {
  Ptr nodesPtr;
  SInt32 blockSize;
  Node *nodes1;
  Node *nodes2;
  Node *nodes;
  Node *root;
  SInt32 nodeSize;
  Node **list;
  SInt32 numFree;
  SInt32 maxNumFree;
  Node **free;
};

// Takes a node from the free list or the next unused slot, sets its value and inserts it. memFullErr when
// the block is full, paramErr for a malformed header.
OSStatus SS_AddNodeByValue(SS_TreeHeader *tree, SInt32 value);
// Inserts newNode below the slot *curNode (values equal or larger go right); every ancestor's count grows
// by one; a subtree grown too deep for its count is rebuilt balanced. *maxLevel receives the level of the
// deepest node on the insertion path.
void SS_AddNode(SS_TreeHeader *tree, Node **curNode, Node *newNode, SInt32 *maxLevel);
// Inserts newNode as node's in-order successor, updating levels and the ancestors' counts.
void SS_AddRightChildCL(Node *node, Node *newNode);
// Unlinks node, keeping counts and levels right; with two children the right child takes its place and the
// left subtree goes below the smallest node of the right subtree.
void SS_RemoveCL(Node **root, Node *node);
// SS_RemoveCL, then the node's slot goes to the free list; the tree is compacted once maxNumFree slots are
// free.
void SS_RemovePlusCL(SS_TreeHeader *tree, Node *node);
// Puts a freed node's slot into the sorted free list, or, when it is the last slot in use, drops it and
// the free slots just below it.
void SS_UpdateFreeList(SS_TreeHeader *tree, Node *node);
// Sets the levels of node's descendants from node's level.
void SS_UpdateLevel(Node *node);
// Rebuilds the subtree at *top balanced through list, keeping its level and its parent.
void SS_BalanceTree(Node **top, Node **list);
// Balanced subtree of list[0..count-1] whose root gets `level` (an even count takes one of the two middle
// elements at random); counts and levels are set. Returns the root (parent NULL).
Node *SS_ListToTreeInPlaceCL(Node **list, SInt32 count, SInt32 level);
// Copies the in-order nodes list[0..count-1] into tree->nodes as a complete tree in level order (node at
// level L and position p goes to slot 2^(L-1) + p - 1); numInLevel counts the positions taken per level
// (indexed by level, zeroed by the caller, 33 entries). Returns the root of the subtree.
Node *SS_ListToOptimalTree(SS_TreeHeader *tree, Node **list, SInt32 count, SInt32 level, SInt32 *numInLevel);
// Moves the tree into the other block as a complete tree and empties the free list.
void SS_CompactTree(SS_TreeHeader *tree);
