// Gradient-object lists: sorting by size and disposal.
#include "outliers/motion_vectors.h"

#include "general/memory_lists.h"
#include "general/sort_search.h"

SInt32 BZ_MvObjComparatorBySize(const void *x, const void *y) {
  const float a = static_cast<const BZ_MvObjectLE *>(x)->mvObj.rgn.size;
  const float b = static_cast<const BZ_MvObjectLE *>(y)->mvObj.rgn.size;
  return a > b ? 1 : a < b ? -1 : 0;
}

void BZ_SortObjectsBySize(const UInt16 *data, BZ_MvObjectLE **objList, SInt32 *numLargeObjects) {
  if (numLargeObjects != nullptr) *numLargeObjects = 0;
  if (data == nullptr || objList == nullptr) return;
  for (BZ_MvObjectLE *e = *objList; e != nullptr; e = e->next) RG_CalcRgnSize(data, &e->mvObj.rgn);
  SS_SelectSortDescending(BZ_MvObjComparatorBySize, false, false, objList);
  SInt32 count = 0;
  for (const BZ_MvObjectLE *e = *objList; e != nullptr && count < kBZ_MaxNumLargeObjects; e = e->next) {
    if (e->mvObj.rgn.size < float(kBZ_MinLargeObjectSize)) break;
    ++count;
  }
  if (numLargeObjects != nullptr) *numLargeObjects = count;
}

void BZ_MvDisposeMvObjList(BZ_MvObjectLE **objList) {
  if (objList == nullptr) return;
  for (BZ_MvObjectLE *e = *objList; e != nullptr; e = e->next) {
    RG_DisposeRgn(&e->mvObj.rgn);
    SK_DisposeSkeleton(&e->mvObj.skeleton);
    // The closures belong to the object too; leaving them would leak one array per object and frame.
    GL_DisposePtr(&e->mvObj.closures);
    e->mvObj.numClosures = 0;
  }
  LL_DisposeLinkedList(objList);
}
