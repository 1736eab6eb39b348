// Scalar versions and dispatchers of the frame edits (the Acc versions are in frame_edits_sse.cpp).
#include "color/frame_edits.h"

#include "color/yuv422_formats.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

void PaintBlack(UInt8 *p, ptrdiff_t pixels) {
  for (ptrdiff_t i = 0; i < pixels; ++i, p += 2) {
    p[0] = 128;
    p[1] = 0;
  }
}

// Moves chroma one pixel to the right over `pixels` pixels. The first pixel takes the old chroma of the
// second (read before the move, so a line of fewer than three pixels is not read past its end).
void ShiftChroma(UInt8 *p, ptrdiff_t pixels) {
  if (pixels < 2) return;
  const UInt8 first = p[2];
  for (ptrdiff_t i = pixels - 1; i >= 1; --i) p[2 * i] = p[2 * (i - 1)];
  p[0] = first;
}

// The extra pixel of an odd-width row (index width): the row's last luma and the Cr of its last whole pair.
inline void FillExtraPixel(UInt8 *row, SInt32 width) {
  UInt8 *extra = row + 2 * ptrdiff_t(width);
  extra[0] = width >= 3 ? row[2 * ptrdiff_t(width - 2)] : UInt8(128);
  extra[1] = row[2 * ptrdiff_t(width - 1) + 1];
}

}  // namespace

void CO_PaintLineBlack(SInt32 width, void *line) {
  if (width > 0) PaintBlack(static_cast<UInt8 *>(line), width);
}

void CO_PaintLineBlackUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 width, void *line) {
  if (CO_UseAccForWidth(hasAltivec, hasSSE3, width))
    CO_PaintLineBlackAcc(width, line);
  else
    CO_PaintLineBlack(width, line);
}

void CO_PaintFrameBlack(SInt32 height, SInt32 width, void *buffer) {
  if (height > 0 && width > 0) PaintBlack(static_cast<UInt8 *>(buffer), ptrdiff_t(height) * width);
}

void CO_PaintVerticalBarBlack(SInt32 height, SInt32 width, void *buffer, SInt32 start, SInt32 end) {
  start = std::max<SInt32>(start, 0);
  end = std::min(end, width);
  if (height <= 0 || start >= end) return;
  auto *frame = static_cast<UInt8 *>(buffer);
  for (SInt32 y = 0; y < height; ++y) PaintBlack(frame + ptrdiff_t(y) * width * 2 + 2 * ptrdiff_t(start), end - start);
}

void CO_Flip2vuyLineHorizontal(SInt32 width, void *line) {
  if (width <= 1) return;
  auto *p = static_cast<UInt8 *>(line);
  for (SInt32 i = 0; i < width / 2; ++i) std::swap(p[2 * i + 1], p[2 * (width - 1 - i) + 1]);
  if (width & 1) {
    for (SInt32 i = 0; i < width / 2; ++i) std::swap(p[2 * i], p[2 * (width - 1 - i)]);
  } else {
    const SInt32 pairs = width / 2;
    for (SInt32 k = 0; k < width / 4; ++k) {
      std::swap(p[4 * k], p[4 * (pairs - 1 - k)]);
      std::swap(p[4 * k + 2], p[4 * (pairs - 1 - k) + 2]);
    }
  }
}

void CO_Flip2vuyLineHorizontalUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 width, void *line) {
  if ((width & 15) == 0 && (hasAltivec || hasSSE3))
    CO_Flip2vuyLineHorizontalAcc(width, line);
  else
    CO_Flip2vuyLineHorizontal(width, line);
}

void CO_FlipFrameHorizontal(SInt32 height, SInt32 width, void *buffer) {
  auto *frame = static_cast<UInt8 *>(buffer);
  for (SInt32 y = 0; y < height; ++y) CO_Flip2vuyLineHorizontal(width, frame + ptrdiff_t(y) * width * 2);
}

void CO_FlipFrameHorizontalUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 height, SInt32 width, void *buffer) {
  if ((width & 15) == 0 && (hasAltivec || hasSSE3))
    CO_FlipFrameHorizontalAcc(height, width, buffer);
  else
    CO_FlipFrameHorizontal(height, width, buffer);
}

void CO_FlipFrameVertical(SInt32 height, SInt32 width, void *buffer, void *tempLine) {
  if (height <= 1 || width <= 0) return;
  auto *frame = static_cast<UInt8 *>(buffer);
  const size_t rowBytes = size_t(width) * 2;
  const SInt32 last = (height / 2) * 2 - 1;
  for (SInt32 i = 0; i < height / 2; ++i) {
    UInt8 *a = frame + rowBytes * size_t(i);
    UInt8 *b = frame + rowBytes * size_t(last - i);
    std::memcpy(tempLine, a, rowBytes);
    std::memcpy(a, b, rowBytes);
    std::memcpy(b, tempLine, rowBytes);
  }
}

void CO_ShiftChromaLine(SInt32 width, void *buffer) { ShiftChroma(static_cast<UInt8 *>(buffer), width); }

void CO_ShiftFrameChroma(SInt32 height, SInt32 width, void *buffer) {
  if (height > 0 && width > 0) ShiftChroma(static_cast<UInt8 *>(buffer), ptrdiff_t(height) * width);
}

void CO_FilterVertChromaLine(SInt32 width, SInt32 height, void *buffer, SInt32 column, UInt8 *lineBuffer) {
  if (width <= 0 || height <= 0 || column < 0 || column >= width) return;
  UInt8 *p = static_cast<UInt8 *>(buffer) + 2 * ptrdiff_t(column);
  const ptrdiff_t rowBytes = ptrdiff_t(width) * 2;
  for (SInt32 y = 0; y < height; ++y) lineBuffer[y + 2] = p[y * rowBytes];
  lineBuffer[0] = lineBuffer[1] = lineBuffer[2];
  lineBuffer[height + 2] = lineBuffer[height + 3] = lineBuffer[height + 1];
  for (SInt32 y = 0; y < height; ++y) {
    const UInt8 *q = lineBuffer + y;
    p[y * rowBytes] = UInt8((q[0] + 2 * (q[1] + q[2] + q[3]) + q[4] + 3) >> 3);
  }
}

void CO_FilterFrameVertChroma(SInt32 width, SInt32 height, void *buffer, UInt8 *lineBuffer) {
  for (SInt32 x = 0; x < width; ++x) CO_FilterVertChromaLine(width, height, buffer, x, lineBuffer);
}

void CO_FilterVertBrLine(SInt32 width, SInt32 height, void *buffer, SInt32 column, UInt8 *lineBuffer) {
  if (width <= 0 || height <= 0 || column < 0 || column >= width) return;
  UInt8 *p = static_cast<UInt8 *>(buffer) + 2 * ptrdiff_t(column) + 1;
  const ptrdiff_t rowBytes = ptrdiff_t(width) * 2;
  // The padding repeats the same field: rows 0 and 1 above, rows height - 2 and height - 1 below (limited to
  // the rows there are, for frames of one line).
  auto luma = [&](SInt32 y) { return p[std::clamp(y, SInt32(0), height - 1) * rowBytes]; };
  for (SInt32 y = 0; y < height; ++y) lineBuffer[y + 2] = luma(y);
  lineBuffer[0] = luma(0);
  lineBuffer[1] = luma(1);
  lineBuffer[height + 2] = luma(height - 2);
  lineBuffer[height + 3] = luma(height - 1);
  for (SInt32 y = 0; y < height; ++y) {
    const UInt8 *q = lineBuffer + y;
    const int above = q[1], c = q[2], below = q[3];
    const int s = q[0] + 2 * c + q[4] + 1;
    int allowance = 0;
    if (above <= c && below <= c)
      allowance = std::min(c - above, c - below);
    else if (above > c && below > c)
      allowance = std::min(above - c, below - c);
    const int limit = allowance >> 2;
    int t = (s >> 2) - c;
    t = t > 0 ? std::min(t, limit) : -std::min(-t, limit);
    p[y * rowBytes] = UInt8(c + t);
  }
}

void CO_FilterFrameVertBr(SInt32 width, SInt32 height, void *buffer, UInt8 *lineBuffer) {
  for (SInt32 x = 0; x < width; ++x) CO_FilterVertBrLine(width, height, buffer, x, lineBuffer);
}

void CO_2vuyFrameMakeLinesEvenWidth(SInt32 width, SInt32 height, const void *inFramePtr, void *outFramePtr) {
  if ((width & 1) == 0 || width <= 0 || height <= 0) return;
  auto *in = static_cast<const UInt8 *>(inFramePtr);
  auto *out = static_cast<UInt8 *>(outFramePtr);
  const size_t inRowBytes = size_t(width) * 2;
  const size_t outRowBytes = inRowBytes + 2;
  // From the last row up, so that in place no row is overwritten before it has moved.
  for (SInt32 y = height - 1; y >= 0; --y) {
    UInt8 *row = out + outRowBytes * size_t(y);
    std::memmove(row, in + inRowBytes * size_t(y), inRowBytes);
    FillExtraPixel(row, width);
  }
}

void CO_2vuyFrameCopyLastPixelOnOddWidthLines(SInt32 width, SInt32 height, void *framePtr) {
  if ((width & 1) == 0 || width <= 0 || height <= 0) return;
  auto *frame = static_cast<UInt8 *>(framePtr);
  const size_t rowBytes = size_t(width) * 2 + 2;
  for (SInt32 y = 0; y < height; ++y) FillExtraPixel(frame + rowBytes * size_t(y), width);
}

void CO_2vuyFrameCopyLastInterlacedLine(SInt32 width, SInt32 height, void *framePtr) {
  if ((height & 1) == 0 || width <= 0 || height <= 0) return;
  auto *frame = static_cast<UInt8 *>(framePtr);
  const size_t rowBytes = size_t(width) * 2 + ((width & 1) ? 2 : 0);
  const SInt32 source = height >= 3 ? height - 2 : 0;
  std::memcpy(frame + rowBytes * size_t(height), frame + rowBytes * size_t(source), rowBytes);
}
