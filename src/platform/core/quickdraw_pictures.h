// QuickDraw stand-in, pictures: a PicHandle records one image, the way the movie library's pictures are
// made (an image drawn into a picture frame). Its handle holds the classic 10-byte header (picSize,
// picFrame) followed by our own record: the tag 'PLpc', the image's width and height, then its pixels
// as 32-bit ARGB (A, R, G, B bytes) rows of width x 4 bytes, all native order.
//
// Pictures are plain handles: copying one with HandToHand copies the picture. A handle whose bytes do not
// hold a whole record (damaged, foreign, truncated) is refused with paramErr by every reader here.
// Drawing needs an offscreen world as the current port (no display). Main thread, like QuickDraw.
#pragma once

#include "platform/core/offscreen_worlds.h"

struct Picture {
  SInt16 picSize;  // low 16 bits of the handle size, as QuickDraw kept it
  Rect picFrame;
};
typedef Picture *PicPtr, **PicHandle;

enum : OSStatus { kPL_PictureTag = 'PLpc' };

// Disposes the picture (null is ignored).
void KillPicture(PicHandle myPicture);
// The picture's frame; an empty rectangle for a damaged picture.
Rect *QDGetPictureBounds(PicHandle picH, Rect *outRect);
// Draws the picture scaled into dstRect (local coordinates of the current port) of the current offscreen
// world: 32-bit ARGB, 24-bit RGB, 8-bit grey (40) or 8-bit indexed (nearest entry of the default colour
// table). Pixels are placed by nearest neighbour; alpha is not blended (ARGB targets take it as it is,
// other targets take the colour). Other ports leave QDError() unimpErr, a damaged picture paramErr.
void DrawPicture(PicHandle myPicture, const Rect *dstRect);
// The error of the last picture call on this thread.
OSErr PL_PictureError();

// ---- Our own helpers ----
// A new picture of the frame (owned: KillPicture) holding a copy of width x height ARGB pixels whose rows
// are rowBytes apart. paramErr for an empty size or short rows, memFullErr.
OSStatus PL_NewARGBPicture(const Rect *picFrame, SInt32 width, SInt32 height, const void *argb, SInt32 rowBytes,
                           PicHandle *picture);
// A new picture of part of an offscreen world's pixel map (srcRect in its coordinates; null: all), with
// frame (0, 0, width, height). Formats as DrawPicture takes them; cDepthErr for another.
OSStatus PL_NewPictureFromPixMap(PixMapHandle pixMap, const Rect *srcRect, PicHandle *picture);
// Colour of an 8-bit pixel under QuickDraw's default colour table (0..214 the 6 x 6 x 6 cube from white
// down, then ramps of red, green, blue and grey, 255 black), and the nearest entry of the cube (or black)
// for a colour, white giving 0.
void PL_DefaultIndexedColor(UInt8 index, UInt8 *red, UInt8 *green, UInt8 *blue);
UInt8 PL_NearestDefaultIndex(UInt8 red, UInt8 green, UInt8 blue);
// The picture's image: size and pixels (borrowed from the handle: valid until it is resized or disposed).
OSStatus PL_GetPictureImage(PicHandle picture, SInt32 *width, SInt32 *height, const UInt8 **argb);
