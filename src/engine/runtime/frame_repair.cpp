// The dread-line repair and the float-line sanity check of whole frames.
#include "engine/runtime/frame_repair.h"

#include "color/legalising.h"
#include "color/yuv422_formats.h"
#include "general/memory_lists.h"
#include "platform/core/mac_errors.h"

#include <cstring>

namespace {

// Pixel x of row y: its chroma byte, the luma byte follows.
inline UInt8 *Pixel(UInt8 *frame, size_t rowBytes, SInt32 y, SInt32 x) {
  return frame + size_t(y) * rowBytes + 2 * size_t(x);
}

}  // namespace

OSStatus BZ_RepairDreadLine(SInt32 width, void *outBuffer) {
  if (outBuffer == nullptr || width < kBZ_DreadLineMinWidth) return paramErr;
  UInt8 *frame = static_cast<UInt8 *>(outBuffer);
  const size_t rowBytes = 2 * size_t(width);
  const SInt32 y = kBZ_DreadLineRow;
  auto px = [&](SInt32 row, SInt32 x) { return Pixel(frame, rowBytes, row, x); };

  // Both shifts read pixels to the right that they have not yet written: a forward move copies them.
  std::memmove(px(y, 0), px(y, 28), 2 * size_t(width - 124));
  std::memmove(px(y, width - 124), px(y, width - 110), 2 * size_t(110));
  for (SInt32 x = width - 36; x <= width - 17; ++x)
    for (int b = 0; b < 2; ++b) px(y, x)[b] = UInt8((px(y - 2, x)[b] + px(y + 2, x)[b]) / 2);
  for (SInt32 x = width - 258; x <= width - 233; ++x) {
    for (int b = 0; b < 2; ++b) px(y, x)[b] = UInt8((px(y - 2, x)[b] + px(y + 4, x)[b]) / 2);
    px(y + 2, x)[0] = UInt8((px(y, x)[0] + px(y + 4, x)[0]) / 2);
    px(y + 2, x)[1] = px(y, x)[1];
  }
  return noErr;
}

OSStatus BZ_YC_SanityCheckFrame(SInt32 height, SInt32 width, const void *inBuffer, void *outBuffer) {
  if (inBuffer == nullptr || outBuffer == nullptr || height < 0 || width < 0 || (width & 1) != 0) return paramErr;
  if (height == 0 || width == 0) return noErr;
  float *line = nullptr;
  OSStatus err = GL_NewPtr(size_t(width) * 2 * sizeof(float), &line);
  if (err != noErr) return err;
  const size_t rowBytes = 2 * size_t(width);
  const UInt8 *in = static_cast<const UInt8 *>(inBuffer);
  UInt8 *out = static_cast<UInt8 *>(outBuffer);
  for (SInt32 row = 0; row < height; ++row, in += rowBytes, out += rowBytes) {
    CO_2vuyLineToFloat(width, in, line, false);
    CO_FloatLineSanityCheck(width, line);
    CO_FloatLineTo2vuy(width, out, line, false);
  }
  GL_DisposePtr(&line);
  return noErr;
}
