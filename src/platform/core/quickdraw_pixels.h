// QuickDraw stand-in, pixels: reading and writing single pixels of a pixel map, painting shapes into an
// offscreen world's port, and CopyBits between pixel maps.
//
// The formats handled pixel by pixel are 32-bit ARGB, 24-bit RGB, 8-bit grey (40, index 0 white), 8-bit
// indexed (QuickDraw's default colour table) and 1-bit (set bits black). Other formats ('2vuy' and kin)
// are left alone and reported with unimpErr. Colours travel as A, R, G, B bytes. Main thread, like QuickDraw.
#pragma once

#include "platform/core/mac_errors.h"
#include "platform/core/offscreen_worlds.h"

// Copies srcRect of the source to dstRect of the destination, scaled by nearest neighbour, clipped to the
// destination's bounds, to maskRgn when given, and to the current port's clip region when the destination
// is the current port's pixels. Source pixels outside the source's bounds leave their destination pixels
// alone. srcBits and dstBits come from GetPortBitMapForCopyBits, or are plain 1-bit bitmaps (high bit of
// rowBytes clear). Source and destination may be the same map and overlap. Only srcCopy (with or without
// the dither bit, 64) is done. QDError afterwards: paramErr for a missing argument, an unknown pixel map or an empty
// rectangle, unimpErr for another mode or a format that cannot be drawn pixel by pixel.
// When the destination is the current port and a picture is open in it, the copy is recorded as well.
void CopyBits(const BitMap *srcBits, const BitMap *dstBits, const Rect *srcRect, const Rect *dstRect, SInt16 mode,
              RgnHandle maskRgn);

// ---- Our own helpers ----
// Whether pixels of the format can be read and written here.
Boolean PL_PixelFormatDrawable(OSType pixelFormat);
// The ARGB colour of pixel x of a row of the map, and the writing of one (x counted from bounds.left).
void PL_ReadPixelARGB(const PixMap *pm, const UInt8 *row, SInt32 x, UInt8 argb[4]);
void PL_WritePixelARGB(const PixMap *pm, UInt8 *row, SInt32 x, const UInt8 argb[4]);
// Colour of an 8-bit pixel under QuickDraw's default colour table, and the nearest entry for a colour.
void PL_IndexedToRGB(UInt8 index, UInt8 rgb[3]);
UInt8 PL_RGBToIndexed(const UInt8 rgb[3]);
// An RGBColor as opaque ARGB bytes.
void PL_RGBColorToARGB(const RGBColor *color, UInt8 argb[4]);
// Calls proc for every rectangle of the region; a NULL or empty region calls nothing.
template <typename Proc>
void PL_ForEachRgnRect(RgnHandle rgn, Proc proc) {
  if (rgn == nullptr) return;
  QDRegionToRects(
      rgn, kQDParseRegionFromTopLeft,
      [](UInt16 message, RgnHandle, const Rect *rect, void *refCon) -> OSStatus {
        if (message == kQDRegionToRectsMsgParse && rect != nullptr) (*static_cast<Proc *>(refCon))(*rect);
        return noErr;
      },
      &proc);
}
// Paints the part of the shape (local coordinates) that lies on the map in one colour. No clip.
void PL_PaintPixMapRgn(const PixMap *pm, RgnHandle shape, const UInt8 argb[4]);
// The part of a frame of pen size (width, height) inside r, as QuickDraw's FrameRect paints it: the whole
// rectangle when the pen is too wide for a hole. rgn receives it.
void PL_FrameRectRgn(const Rect *r, Point penSize, RgnHandle rgn);
// The part a line drawn with a pen of penSize (h width, v height) covers, as QuickDraw's LineTo paints it:
// the pen's rectangle at every point of the line from `from` to `to`, both ends included. rgn receives it;
// empty for a pen of width or height 0 or below.
void PL_LineRgn(Point from, Point to, Point penSize, RgnHandle rgn);
// The drawing back end of offscreen worlds' ports: rectangles and regions painted, erased and framed, and
// lines, into the world's pixels in the port's colours, clipped to the port's clip region (no patterns or modes).
const PL_PortDrawProcs *PL_PixMapDrawProcs();
