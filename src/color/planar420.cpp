// Scalar versions and dispatchers of the 4:2:0 conversions, the 'y420' header layout and the choice of
// chroma rows (the Acc versions are in planar420_sse.cpp).
#include "color/planar420.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

UInt32 ReadBigEndian32(const UInt8 *p) {
  return (UInt32(p[0]) << 24) | (UInt32(p[1]) << 16) | (UInt32(p[2]) << 8) | UInt32(p[3]);
}

void WriteBigEndian32(UInt8 *p, UInt32 v) {
  p[0] = UInt8(v >> 24);
  p[1] = UInt8(v >> 16);
  p[2] = UInt8(v >> 8);
  p[3] = UInt8(v);
}

bool Aligned16(const void *p) { return (reinterpret_cast<uintptr_t>(p) & 15) == 0; }

// The last chroma row of the same field as `row` among n rows (n - 1 when that field has none).
SInt32 LastRowOfParity(SInt32 n, SInt32 row) {
  SInt32 last = n - 1;
  if ((last & 1) != (row & 1)) --last;
  return last >= 0 ? last : n - 1;
}

}  // namespace

// --- Header ------------------------------------------------------------------------------------------------

void CO_GetY420Header(const void *y420Buffer, PlanarPixmapInfoYUV420 *header) {
  auto *p = static_cast<const UInt8 *>(y420Buffer);
  PlanarComponentInfo *infos[3] = {&header->componentInfoY, &header->componentInfoCb, &header->componentInfoCr};
  for (int i = 0; i < 3; ++i) {
    infos[i]->offset = SInt32(ReadBigEndian32(p + 8 * i));
    infos[i]->rowBytes = ReadBigEndian32(p + 8 * i + 4);
  }
}

void CO_SetY420Header(void *y420Buffer, const PlanarPixmapInfoYUV420 *header) {
  auto *p = static_cast<UInt8 *>(y420Buffer);
  const PlanarComponentInfo *infos[3] = {&header->componentInfoY, &header->componentInfoCb,
                                         &header->componentInfoCr};
  for (int i = 0; i < 3; ++i) {
    WriteBigEndian32(p + 8 * i, UInt32(infos[i]->offset));
    WriteBigEndian32(p + 8 * i + 4, infos[i]->rowBytes);
  }
}

Boolean CO_GetY420Planes(const void *y420Buffer, SInt32 width, CO_Y420Planes *planes) {
  PlanarPixmapInfoYUV420 h;
  CO_GetY420Header(y420Buffer, &h);
  const SInt64 headerWords = 24;
  const SInt64 chromaWidth = (SInt64(width) + 1) / 2;
  if (h.componentInfoY.offset < headerWords || h.componentInfoCb.offset < headerWords ||
      h.componentInfoCr.offset < headerWords)
    return false;
  if (h.componentInfoY.rowBytes > 0x7FFFFFFF || h.componentInfoCb.rowBytes > 0x7FFFFFFF ||
      h.componentInfoCr.rowBytes > 0x7FFFFFFF)
    return false;
  if (SInt64(h.componentInfoY.rowBytes) < width || SInt64(h.componentInfoCb.rowBytes) < chromaWidth ||
      SInt64(h.componentInfoCr.rowBytes) < chromaWidth || h.componentInfoCb.rowBytes == 0)
    return false;
  const SInt64 chromaRows =
      (SInt64(h.componentInfoCr.offset) - SInt64(h.componentInfoCb.offset)) / SInt64(h.componentInfoCb.rowBytes);
  if (chromaRows < 1) return false;
  auto *base = const_cast<UInt8 *>(static_cast<const UInt8 *>(y420Buffer));
  planes->y = base + h.componentInfoY.offset;
  planes->cb = base + h.componentInfoCb.offset;
  planes->cr = base + h.componentInfoCr.offset;
  planes->rowBytesY = SInt32(h.componentInfoY.rowBytes);
  planes->rowBytesCb = SInt32(h.componentInfoCb.rowBytes);
  planes->rowBytesCr = SInt32(h.componentInfoCr.rowBytes);
  planes->chromaRows = SInt32(std::min<SInt64>(chromaRows, 0x7FFFFFFF));
  return true;
}

SInt32 CO_Y420LumaRowsForHeight(SInt32 height, Boolean interlaced) {
  if (height <= 0) return 0;
  const SInt32 unit = interlaced ? 4 : 2;
  return (height + unit - 1) / unit * unit;
}

SInt32 CO_Y420ChromaRowsForHeight(SInt32 height, Boolean interlaced) {
  return CO_Y420LumaRowsForHeight(height, interlaced) / 2;
}

// --- '2vuy' to 4:2:0 ---------------------------------------------------------------------------------------

Boolean CO_GetY420LinePairStep(SInt32 lines, Boolean interlaced, SInt32 index, CO_Y420LinePairStep *step) {
  if (lines <= 0 || index < 0) return false;
  if (!interlaced) {
    const SInt32 pairs = lines / 2;
    if (index < pairs) {
      *step = {2 * index, 2 * index, index, false};
      return true;
    }
    if (index == pairs && (lines & 1)) {
      *step = {lines - 1, lines - 1, pairs, true};
      return true;
    }
    return false;
  }
  const SInt32 groups = lines / 4;
  if (index < 2 * groups) {
    const SInt32 q = index / 2, field = index & 1;
    *step = {4 * q + field, 4 * q + field, 2 * q + field, false};
    return true;
  }
  const SInt32 j = index - 2 * groups, q = groups, rest = lines % 4;
  if (rest == 0 || j > 1) return false;
  if (j == 0) {
    *step = {4 * q, 4 * q, 2 * q, rest != 3};
  } else if (rest == 1) {
    // The other field's rows from its last line; a one-line frame has only line 0.
    *step = {q > 0 ? 4 * q - 1 : 0, 4 * q + 1, 2 * q + 1, true};
  } else {
    *step = {4 * q + 1, 4 * q + 1, 2 * q + 1, true};
  }
  return true;
}

void CO_2vuyLinePairToY420(SInt32 width, SInt32 inRowBytes, const void *inLine, UInt8 *outLineY, SInt32 rowBytesY,
                           UInt8 *outLineCb, UInt8 *outLineCr, Boolean interlaced, Boolean lastLine) {
  if (width <= 0) return;
  const ptrdiff_t partnerRows = interlaced ? 2 : 1;
  const UInt8 *a = static_cast<const UInt8 *>(inLine);
  const UInt8 *b = lastLine ? a : a + partnerRows * inRowBytes;
  UInt8 *yA = outLineY;
  UInt8 *yB = outLineY + partnerRows * rowBytesY;
  for (SInt32 x = 0; x < width; ++x) {
    yA[x] = a[2 * x + 1];
    yB[x] = b[2 * x + 1];
  }
  const SInt32 pairs = width / 2;
  for (SInt32 k = 0; k < pairs; ++k) {
    outLineCb[k] = UInt8((a[4 * k] + b[4 * k]) >> 1);
    outLineCr[k] = UInt8((a[4 * k + 2] + b[4 * k + 2]) >> 1);
  }
  if (width & 1) {
    if (pairs > 0) {
      outLineCb[pairs] = outLineCb[pairs - 1];
      outLineCr[pairs] = outLineCr[pairs - 1];
    } else {
      // A one-pixel line has a Cb but no Cr.
      outLineCb[0] = UInt8((a[0] + b[0]) >> 1);
      outLineCr[0] = 128;
    }
  }
}

void CO_2vuyFrameToY420(SInt32 height, SInt32 width, SInt32 inRowBytes, const void *inBuffer, void *outBuffer,
                        Boolean interlaced) {
  if (height <= 0 || width <= 0) return;
  CO_Y420Planes pl;
  if (!CO_GetY420Planes(outBuffer, width, &pl) || pl.chromaRows < CO_Y420ChromaRowsForHeight(height, interlaced))
    return;
  auto *in = static_cast<const UInt8 *>(inBuffer);
  CO_Y420LinePairStep s;
  for (SInt32 i = 0; CO_GetY420LinePairStep(height, interlaced, i, &s); ++i)
    CO_2vuyLinePairToY420(width, inRowBytes, in + ptrdiff_t(s.firstLine) * inRowBytes,
                          pl.y + ptrdiff_t(s.yRow) * pl.rowBytesY, pl.rowBytesY,
                          pl.cb + ptrdiff_t(s.chromaRow) * pl.rowBytesCb, pl.cr + ptrdiff_t(s.chromaRow) * pl.rowBytesCr,
                          interlaced, s.lastLine);
}

void CO_2vuyFrameToY420_Uni(Boolean hasAltivec, Boolean hasSSE3, SInt32 height, SInt32 width, SInt32 inPaddedHeight,
                            SInt32 inRowBytes, const void *inBuffer, void *outBuffer, void *tempBuffer,
                            Boolean interlaced) {
  bool acc = false;
  CO_Y420Planes pl;
  if ((hasAltivec || hasSSE3) && Aligned16(inBuffer) && CO_GetY420Planes(outBuffer, width, &pl)) {
    const bool planesAligned = Aligned16(pl.y) && Aligned16(pl.cb) && Aligned16(pl.cr) &&
                               (pl.rowBytesY & 15) == 0 && (pl.rowBytesCb & 15) == 0 && (pl.rowBytesCr & 15) == 0;
    // A row stride that is a multiple of 64 and holds the line holds its 16-pixel rounding as well.
    const bool paddedInput = (inRowBytes & 63) == 0 && SInt64(inRowBytes) >= SInt64(width) * 2 &&
                             (inPaddedHeight & (interlaced ? 3 : 1)) == 0;
    const bool withTemp = tempBuffer != nullptr && Aligned16(tempBuffer);
    acc = planesAligned && (paddedInput || withTemp);
  }
  if (acc)
    CO_2vuyFrameToY420_Acc(height, width, inPaddedHeight, inRowBytes, inBuffer, outBuffer, tempBuffer, interlaced);
  else
    CO_2vuyFrameToY420(height, width, inRowBytes, inBuffer, outBuffer, interlaced);
}

void CO_Copy2vuyLinePairToY420_Size(SInt32 width, const void *inLine, void *tempBuffer, Boolean interlaced,
                                    Boolean lastLine) {
  if (width <= 0) return;
  const size_t roundedBytes = size_t((width + 31) / 32 * 32) * 2;
  auto *row = static_cast<UInt8 *>(tempBuffer);
  std::memcpy(row, inLine, size_t(width) * 2);
  size_t filled = size_t(width) * 2;
  if (width & 1) {
    // The extra pixel of an odd width: the last luma and the Cr of the last whole pair.
    row[filled] = width >= 3 ? row[filled - 4] : UInt8(128);
    row[filled + 1] = row[filled - 1];
    filled += 2;
  }
  for (; filled < roundedBytes; filled += 4) std::memcpy(row + filled, row + filled - 4, 4);
  if (lastLine) std::memcpy(row + roundedBytes * (interlaced ? 2 : 1), row, roundedBytes);
}

// --- 4:2:0 to '2vuy' ---------------------------------------------------------------------------------------

void CO_Y420_LinePairTo2vuy(SInt32 width, const UInt8 *inLineY, const UInt8 *nextInLineY, const UInt8 *prevInLineCb,
                            const UInt8 *prevInLineCr, const UInt8 *inLineCb, const UInt8 *inLineCr,
                            const UInt8 *nextInLineCb, const UInt8 *nextInLineCr, void *outLine, void *nextOutLine) {
  if (width <= 0) return;
  auto line = [&](const UInt8 *y, const UInt8 *otherCb, const UInt8 *otherCr, UInt8 *out) {
    const SInt32 pairs = width / 2;
    for (SInt32 k = 0; k < pairs; ++k) {
      out[4 * k] = UInt8((otherCb[k] + 3 * inLineCb[k]) >> 2);
      out[4 * k + 1] = y[2 * k];
      out[4 * k + 2] = UInt8((otherCr[k] + 3 * inLineCr[k]) >> 2);
      out[4 * k + 3] = y[2 * k + 1];
    }
    if (width & 1) {
      const SInt32 x = width - 1;
      out[2 * x + 1] = y[x];
      out[2 * x] = pairs > 0 ? out[2 * x - 4] : UInt8((otherCb[0] + 3 * inLineCb[0]) >> 2);
    }
  };
  line(inLineY, prevInLineCb, prevInLineCr, static_cast<UInt8 *>(outLine));
  if (nextOutLine) line(nextInLineY, nextInLineCb, nextInLineCr, static_cast<UInt8 *>(nextOutLine));
}

void CO_GetChromaInLines(const UInt8 *inBufferCb, SInt32 rowBytesCb, const UInt8 *inBufferCr, SInt32 rowBytesCr,
                         SInt32 numCbLines, SInt32 linePairNum, const UInt8 **prevInLineCb, const UInt8 **inLineCb,
                         const UInt8 **nextInLineCb, const UInt8 **prevInLineCr, const UInt8 **inLineCr,
                         const UInt8 **nextInLineCr) {
  const SInt32 n = std::max<SInt32>(numCbLines, 1);
  const SInt32 p = std::max<SInt32>(linePairNum, 0);
  SInt32 prev = p == 0 ? 0 : p - 1;
  SInt32 cur = p;
  SInt32 next = p + 1;
  if (prev >= n) prev = n - 1;
  if (cur >= n) cur = prev;
  if (next >= n) next = cur;
  *prevInLineCb = inBufferCb + ptrdiff_t(prev) * rowBytesCb;
  *inLineCb = inBufferCb + ptrdiff_t(cur) * rowBytesCb;
  *nextInLineCb = inBufferCb + ptrdiff_t(next) * rowBytesCb;
  *prevInLineCr = inBufferCr + ptrdiff_t(prev) * rowBytesCr;
  *inLineCr = inBufferCr + ptrdiff_t(cur) * rowBytesCr;
  *nextInLineCr = inBufferCr + ptrdiff_t(next) * rowBytesCr;
}

void CO_GetChromaInLinesInterlaced(const UInt8 *inBufferCb, SInt32 rowBytesCb, const UInt8 *inBufferCr,
                                   SInt32 rowBytesCr, SInt32 numCbLines, SInt32 linePairNum,
                                   const UInt8 **prevInLineCb, const UInt8 **inLineCb, const UInt8 **nextInLineCb,
                                   const UInt8 **prevInLineCr, const UInt8 **inLineCr, const UInt8 **nextInLineCr) {
  const SInt32 n = std::max<SInt32>(numCbLines, 1);
  const SInt32 c = std::max<SInt32>(linePairNum, 0);
  SInt32 prev = c < 2 ? c : c - 2;
  SInt32 cur = c;
  SInt32 next = c + 2;
  // Beyond the rows: the last row of the same field (or of the other, in a frame whose field has none).
  if (prev >= n) prev = LastRowOfParity(n, prev);
  if (cur >= n) cur = prev;
  if (next >= n) next = cur;
  *prevInLineCb = inBufferCb + ptrdiff_t(prev) * rowBytesCb;
  *inLineCb = inBufferCb + ptrdiff_t(cur) * rowBytesCb;
  *nextInLineCb = inBufferCb + ptrdiff_t(next) * rowBytesCb;
  *prevInLineCr = inBufferCr + ptrdiff_t(prev) * rowBytesCr;
  *inLineCr = inBufferCr + ptrdiff_t(cur) * rowBytesCr;
  *nextInLineCr = inBufferCr + ptrdiff_t(next) * rowBytesCr;
}

void CO_Y420_FrameTo2vuy(SInt32 height, SInt32 width, const void *inBuffer, void *outBuffer, Boolean interlaced) {
  if (height <= 0 || width <= 0) return;
  CO_Y420Planes pl;
  if (!CO_GetY420Planes(inBuffer, width, &pl)) return;
  // Only the chroma rows that a conversion of this height wrote carry chroma of this frame.
  const SInt32 n = std::min(pl.chromaRows, CO_Y420ChromaRowsForHeight(height, interlaced));
  auto *out = static_cast<UInt8 *>(outBuffer);
  const ptrdiff_t outRowBytes = ptrdiff_t(width) * 2;
  auto yRow = [&](SInt32 r) { return pl.y + ptrdiff_t(r) * pl.rowBytesY; };
  auto outRow = [&](SInt32 r) { return out + ptrdiff_t(r) * outRowBytes; };
  // Lines `first` and (when `pair`) the partner `step` lines below, with the chroma rows chosen for `index`.
  auto convert = [&](SInt32 first, bool pair, SInt32 index) {
    const UInt8 *pcb, *cb, *ncb, *pcr, *cr, *ncr;
    if (interlaced)
      CO_GetChromaInLinesInterlaced(pl.cb, pl.rowBytesCb, pl.cr, pl.rowBytesCr, n, index, &pcb, &cb, &ncb, &pcr, &cr,
                                    &ncr);
    else
      CO_GetChromaInLines(pl.cb, pl.rowBytesCb, pl.cr, pl.rowBytesCr, n, index, &pcb, &cb, &ncb, &pcr, &cr, &ncr);
    const SInt32 partner = first + (interlaced ? 2 : 1);
    CO_Y420_LinePairTo2vuy(width, yRow(first), pair ? yRow(partner) : nullptr, pcb, pcr, cb, cr, ncb, ncr,
                           outRow(first), pair ? outRow(partner) : nullptr);
  };
  if (!interlaced) {
    for (SInt32 p = 0; p < height / 2; ++p) convert(2 * p, true, p);
    if (height & 1) convert(height - 1, false, height / 2);
    return;
  }
  const SInt32 groups = height / 4;
  for (SInt32 q = 0; q < groups; ++q) {
    convert(4 * q, true, 2 * q);
    convert(4 * q + 1, true, 2 * q + 1);
  }
  const SInt32 q = groups, rest = height % 4;
  if (rest == 3) {
    convert(4 * q, true, 2 * q);
    convert(4 * q + 1, false, 2 * q + 1);
  } else if (rest == 2) {
    convert(4 * q, false, 2 * q);
    convert(4 * q + 1, false, 2 * q + 1);
  } else if (rest == 1) {
    convert(4 * q, false, 2 * q);
  }
}

void CO_Y420FrameTo2vuyUni(Boolean hasAltivec, Boolean hasSSE3, SInt32 height, SInt32 width, const void *inBuffer,
                           void *outBuffer, void *tempBuffer, Boolean interlaced) {
  bool acc = false;
  CO_Y420Planes pl;
  if ((hasAltivec || hasSSE3) && Aligned16(outBuffer) && (width & 7) == 0 && CO_GetY420Planes(inBuffer, width, &pl)) {
    const bool planesAligned = Aligned16(pl.y) && Aligned16(pl.cb) && Aligned16(pl.cr) &&
                               (pl.rowBytesY & 15) == 0 && (pl.rowBytesCb & 15) == 0 && (pl.rowBytesCr & 15) == 0;
    acc = planesAligned && ((width & 31) == 0 || (tempBuffer != nullptr && Aligned16(tempBuffer)));
  }
  if (acc)
    CO_Y420_FrameTo2vuyAcc(height, width, inBuffer, outBuffer, tempBuffer, interlaced);
  else
    CO_Y420_FrameTo2vuy(height, width, inBuffer, outBuffer, interlaced);
}
