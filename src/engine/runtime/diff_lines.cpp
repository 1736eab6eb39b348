// The difference-picture kernel: scalar version and dispatcher.
#include "engine/runtime/diff_lines.h"

#include "engine/runtime/project_types.h"

#include <algorithm>
#include <cstdint>

namespace {

// Truncated, then limited to 0..255 (NaN gives 0).
inline int LimitByte(float v) {
  if (!(v > 0.0f)) return 0;
  return v >= 255.0f ? 255 : int(v);
}

}  // namespace

void BZ_MakeDiffLines(SInt32 height, SInt32 width, const UInt8 *dirtyFramePtr, const UInt8 *cleanFramePtr,
                      UInt8 *outBuffer, float factorC, float factorY, float chromaInLumaFactor, SInt32 mediumGray) {
  const SInt64 count = SInt64(height) * width;
  int previous = std::clamp<SInt32>(mediumGray, 0, 255);
  for (SInt64 i = 0; i < count; ++i) {
    const float dC = float(cleanFramePtr[2 * i]) - float(dirtyFramePtr[2 * i]);
    const float dY = float(cleanFramePtr[2 * i + 1]) - float(dirtyFramePtr[2 * i + 1]);
    const int c = LimitByte(128.0f + dC * factorC);
    const int y = LimitByte(dC * chromaInLumaFactor + dY * factorY + float(mediumGray));
    outBuffer[2 * i] = UInt8(c);
    outBuffer[2 * i + 1] = UInt8((y + previous) / 2);
    previous = y;
  }
}

void BZ_MakeDiffLinesUni(SInt32 height, SInt32 width, const UInt8 *dirtyFramePtr, const UInt8 *cleanFramePtr,
                         UInt8 *outBuffer, float factorC, float factorY, float chromaInLumaFactor, SInt32 mediumGray) {
  if (gBZ.procInfo.hasSSE3 && (width & 7) == 0)
    BZ_MakeDiffLinesAcc(height, width, dirtyFramePtr, cleanFramePtr, outBuffer, factorC, factorY, chromaInLumaFactor,
                        mediumGray);
  else
    BZ_MakeDiffLines(height, width, dirtyFramePtr, cleanFramePtr, outBuffer, factorC, factorY, chromaInLumaFactor,
                     mediumGray);
}
