// Scalar fake ARGB frames and their dispatchers.
#include "color/fake_argb.h"

#include <cstddef>

#include "color/yuv422_formats.h"

namespace {

// One line, pairs from the last to the first. Every byte a step needs is read before that step writes,
// and the bytes it writes lie at or after the input bytes of the pairs still to come.
void LineToFakeARGB(SInt32 width, const UInt8 *in, UInt8 *out) {
  SInt32 x = width - 2;
  // The chroma of the pair to the right of the current one, for its odd pixel's mean.
  int cbRight = 0, crRight = 0;
  bool haveRight = false;
  if (width & 1) {
    // A lone last pixel: its own Cb and luma; the nearest Cr is the previous pair's.
    const SInt32 last = width - 1;
    const UInt8 cb = in[2 * last], y = in[2 * last + 1];
    const UInt8 cr = last >= 2 ? in[2 * last - 2] : 128;
    out[4 * last + 1] = y;
    out[4 * last + 2] = cb;
    out[4 * last + 3] = cr;
    cbRight = cb;
    crRight = cr;
    haveRight = true;
    x = width - 3;
  }
  for (; x >= 0; x -= 2) {
    const UInt8 cb = in[2 * x], y0 = in[2 * x + 1], cr = in[2 * x + 2], y1 = in[2 * x + 3];
    UInt8 *p = out + 4 * x;
    p[1] = y0;
    p[2] = cb;
    p[3] = cr;
    p[5] = y1;
    p[6] = haveRight ? static_cast<UInt8>((cb + cbRight) >> 1) : cb;
    p[7] = haveRight ? static_cast<UInt8>((cr + crRight) >> 1) : cr;
    cbRight = cb;
    crRight = cr;
    haveRight = true;
  }
}

void FakeARGB_LineTo2vuy(SInt32 width, const UInt8 *in, UInt8 *out) {
  SInt32 x = 0;
  for (; x + 1 < width; x += 2) {
    const UInt8 cb = in[4 * x + 2], y0 = in[4 * x + 1], cr = in[4 * x + 3], y1 = in[4 * x + 5];
    out[2 * x] = cb;
    out[2 * x + 1] = y0;
    out[2 * x + 2] = cr;
    out[2 * x + 3] = y1;
  }
  if (x < width) {  // an odd width's last pixel: no Cr and no second luma belong to the line
    const UInt8 cb = in[4 * x + 2], y0 = in[4 * x + 1];
    out[2 * x] = cb;
    out[2 * x + 1] = y0;
  }
}

}  // namespace

void CO_2vuyFrameToFakeARGB(SInt32 height, SInt32 width, const void *inBuffer, void *outBuffer) {
  if (width <= 0) return;
  const UInt8 *in = static_cast<const UInt8 *>(inBuffer);
  UInt8 *out = static_cast<UInt8 *>(outBuffer);
  for (SInt32 row = height - 1; row >= 0; --row) {
    LineToFakeARGB(width, in + ptrdiff_t(row) * width * 2, out + ptrdiff_t(row) * width * 4);
  }
}

void CO_FakeARGB_FrameTo2vuy(SInt32 height, SInt32 width, const void *inBuffer, void *outBuffer) {
  if (width <= 0) return;
  const UInt8 *in = static_cast<const UInt8 *>(inBuffer);
  UInt8 *out = static_cast<UInt8 *>(outBuffer);
  for (SInt32 row = 0; row < height; ++row) {
    FakeARGB_LineTo2vuy(width, in + ptrdiff_t(row) * width * 4, out + ptrdiff_t(row) * width * 2);
  }
}

void CO_2vuyFrameToFakeARGB_Uni(Boolean hasAltivec, Boolean hasSSE3, SInt32 height, SInt32 width,
                                const void *sourcePtr, void *targetPtr) {
  if (CO_UseAccForWidth(hasAltivec, hasSSE3, width)) {
    CO_2vuyFrameToFakeARGB_Acc(height, width, sourcePtr, targetPtr);
  } else {
    CO_2vuyFrameToFakeARGB(height, width, sourcePtr, targetPtr);
  }
}

void CO_FakeARGB_FrameTo2vuyUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 height, SInt32 width,
                                const void *sourcePtr, void *targetPtr) {
  if (CO_UseAccForWidth(hasAltivec, hasSSE3, width)) {
    CO_FakeARGB_FrameTo2vuyAcc(height, width, sourcePtr, targetPtr);
  } else {
    CO_FakeARGB_FrameTo2vuy(height, width, sourcePtr, targetPtr);
  }
}
