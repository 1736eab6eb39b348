// Varying brightness's analysis data between runs.
#include "methods/varbr_measuring_stage.h"

#include "general/memory_lists.h"

#include <new>

OSStatus BZ_VbInitDlgTaskData(BZ_VbDlgTaskData **vbDlgTaskData) {
  if (vbDlgTaskData == nullptr) return paramErr;
  *vbDlgTaskData = new (std::nothrow) BZ_VbDlgTaskData{};
  return *vbDlgTaskData != nullptr ? noErr : memFullErr;
}

void BZ_VbDisposeDlgTaskData(BZ_VbDlgTaskData *vbDlgTaskData) {
  if (vbDlgTaskData == nullptr) return;
  for (float **table : {&vbDlgTaskData->vbFactors, &vbDlgTaskData->vbFactorsTop, &vbDlgTaskData->vbFactorsBottom})
    if (*table != nullptr) GL_DisposePtr(table);
  // Tables measured for the last movie do not fit the next one.
  vbDlgTaskData->analyzedVarBr = false;
}

void BZ_VbDisposeDlgTaskDataRecord(BZ_VbDlgTaskData **vbDlgTaskData) {
  if (vbDlgTaskData == nullptr || *vbDlgTaskData == nullptr) return;
  BZ_VbDisposeDlgTaskData(*vbDlgTaskData);
  delete *vbDlgTaskData;
  *vbDlgTaskData = nullptr;
}
