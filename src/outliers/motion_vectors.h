// Gradient objects as the motion-vector module keeps them: each object's region, skeleton and closures, in a
// list that the outlier worker sorts by size and frees. Plain functions on the caller's thread.
#pragma once

#include "outliers/regions.h"
#include "outliers/skeletons.h"
#include "platform/core/mac_types.h"

enum : SInt32 {
  kBZ_MinLargeObjectSize = 100,  // objects smaller than this get no skeleton
  kBZ_MaxNumLargeObjects = 50,   // at most this many per frame do
};

struct BZ_MvObject {
  RG_Region rgn;
  SK_Skeleton skeleton;
  SInt32 numClosures;
  SK_Closure *closures;  // owned: numClosures entries (GL_DisposePtr)
};

struct BZ_MvObjectLE {
  BZ_MvObjectLE *next;
  SInt32 number;
  BZ_MvObject mvObj;
};

// 1 when the first element's region size is larger, -1 when smaller, 0 when equal.
SInt32 BZ_MvObjComparatorBySize(const void *x, const void *y);
// Computes every object's region size from the flag plane, sorts the list largest first (equal sizes keep their
// order) and counts the leading objects of size 100 or more, at most 50, into *numLargeObjects.
void BZ_SortObjectsBySize(const UInt16 *data, BZ_MvObjectLE **objList, SInt32 *numLargeObjects);
// Frees every object's region, skeleton and closures, and the list; *objList ends NULL.
void BZ_MvDisposeMvObjList(BZ_MvObjectLE **objList);
