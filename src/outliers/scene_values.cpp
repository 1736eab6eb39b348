// Scene values of the outlier window.
#include "outliers/scene_values.h"

#include "engine/runtime/project_types.h"
#include "outliers/outlier_stage.h"

#include <cstdlib>

UInt64 BZ_OuSumLumaAbsDiff(SInt64 numPixels, const UInt8 *buffer1, const UInt8 *buffer2) {
  UInt64 sum = 0;
  for (SInt64 p = 0; p < numPixels; ++p) sum += UInt64(std::abs(int(buffer1[2 * p + 1]) - int(buffer2[2 * p + 1])));
  return sum;
}

UInt64 BZ_OuSumLumaAbsDiffUni(Boolean hasSSE3, SInt64 numPixels, const UInt8 *buffer1, const UInt8 *buffer2) {
  if (hasSSE3) return BZ_OuSumLumaAbsDiffAcc(numPixels, buffer1, buffer2);
  return BZ_OuSumLumaAbsDiff(numPixels, buffer1, buffer2);
}

SInt32 BZ_OuGetAvPixelDiff(const BZ_OuParams *ouParams, const UInt8 *buffer1, const UInt8 *buffer2) {
  if (ouParams == nullptr || buffer1 == nullptr || buffer2 == nullptr) return 0;
  const SInt64 n = SInt64(ouParams->width) * ouParams->height;
  if (n <= 0) return 0;
  const UInt64 sum = BZ_OuSumLumaAbsDiffUni(gBZ.procInfo.hasSSE3, n, buffer1, buffer2);
  return SInt32((sum + UInt64(n) / 2) / UInt64(n));
}
