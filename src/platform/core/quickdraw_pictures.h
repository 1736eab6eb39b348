// QuickDraw stand-in, pictures: a PicHandle holds the classic 10-byte header (picSize, picFrame) followed
// by our own record: the tag 'PLpc', the image's width and height, then its pixels as 32-bit ARGB (A, R,
// G, B bytes) rows of width x 4 bytes, all native order. That image is what readers of a picture see.
//
// A picture recorded between OpenCPicture and ClosePicture also keeps what was drawn, behind the image:
// the tag 'PLop', its resolution, and the drawing operations in frame coordinates (rectangles and regions
// painted, erased and framed, and lines, as filled rectangles of one colour; CopyBits and DrawPicture as
// images with their destination and clip rectangles; DrawString, DrawText and DrawChar as text with its pen,
// font, size, face, colour and clip). DrawPicture replays those, so a picture drawn larger keeps the detail
// of the images drawn into it. Its image shows the drawing over transparent white (alpha 0), without the
// text: text needs a port whose back end draws it (PL_ReplayPicture gives it to such a painter).
//
// Pictures are plain handles: copying one with HandToHand copies the picture. A handle whose bytes do not
// hold a whole record (damaged, foreign, truncated) is refused by every reader here: paramErr, or
// pictureDataErr from GetPictInfo. Until ClosePicture a recorded picture holds only its header.
// Drawing needs an offscreen world as the current port (no display). Main thread, like QuickDraw.
#pragma once

#include "platform/core/offscreen_worlds.h"

struct Picture {
  SInt16 picSize;  // low 16 bits of the handle size, as QuickDraw kept it
  Rect picFrame;
};
typedef Picture *PicPtr, **PicHandle;

enum : OSStatus { kPL_PictureTag = 'PLpc', kPL_PictureOpsTag = 'PLop' };

// How a picture is to be recorded: its frame (local coordinates of the port it is drawn in) and its
// resolution in pixels per inch (72.0 as Fixed for screen pictures); version -2.
struct OpenCPicParams {
  Rect srcRect;
  Fixed hRes;
  Fixed vRes;
  SInt16 version;
  SInt16 reserved1;
  SInt32 reserved2;
};

// What GetPictInfo tells about a picture. Palettes, colour tables, comments and fonts are never made here.
struct PictInfo {
  SInt16 version;
  SInt32 uniqueColors;
  Handle thePalette;
  CTabHandle theColorTable;
  Fixed hRes;
  Fixed vRes;
  SInt16 depth;
  Rect sourceRect;
  SInt32 textCount;
  SInt32 lineCount;
  SInt32 rectCount;
  SInt32 rRectCount;
  SInt32 ovalCount;
  SInt32 arcCount;
  SInt32 polyCount;
  SInt32 regionCount;
  SInt32 bitMapCount;
  SInt32 pixMapCount;
  SInt32 commentCount;
  SInt32 uniqueComments;
  Handle commentHandle;
  SInt32 uniqueFonts;
  Handle fontHandle;
  Handle fontNamesHandle;
  SInt32 reserved1;
  SInt32 reserved2;
};

// GetPictInfo verbs and errors.
enum : SInt16 {
  returnColorTable = 1,
  returnPalette = 2,
  recordComments = 4,
  recordFontInfo = 8,
  suppressBlackAndWhite = 16,
};
enum : OSErr { pictInfoVersionErr = -11000, pictureDataErr = -11001, pictInfoVerbErr = -11004 };

// Starts recording a picture of the frame in the current port: what is drawn into that port until
// ClosePicture goes into the picture (and, for an offscreen world, into its pixels as well). NULL, with
// PL_PictureError and QDError paramErr, without a current port, for an empty frame, a resolution that is
// not positive, or a port that is recording already; memFullErr. Owned: KillPicture.
PicHandle OpenCPicture(const OpenCPicParams *newHeader);
// The same at 72 pixels per inch.
PicHandle OpenPicture(const Rect *picFrame);
// Ends the recording of the current port's picture and completes its handle. paramErr when the current
// port records nothing; memFullErr leaves a picture that every reader refuses.
void ClosePicture();
// Frame (as sourceRect), resolution, depth 32, the number of distinct colours (without black and white
// under suppressBlackAndWhite) and how many rectangles, regions and pixel maps were drawn into the picture.
// pictureDataErr for a damaged or unfinished picture, paramErr for a NULL record, pictInfoVersionErr for a
// version other than 0, pictInfoVerbErr for unknown verb bits, unimpErr when a palette or colour table
// is asked for (none are made here).
OSErr GetPictInfo(PicHandle thePictHandle, PictInfo *thePictInfo, SInt16 verb, SInt16 colorsRequested,
                  SInt16 colorPickMethod, SInt16 version);

// Disposes the picture (null is ignored); a picture still being recorded stops being recorded.
void KillPicture(PicHandle myPicture);
// The picture's frame; an empty rectangle for a damaged picture.
Rect *QDGetPictureBounds(PicHandle picH, Rect *outRect);
// Draws the picture scaled from its frame into dstRect (local coordinates of the current port) of the
// current offscreen world, clipped to the port's clip region: 32-bit ARGB, 24-bit RGB, 8-bit grey (40),
// 8-bit indexed (nearest entry of the default colour table) or 1-bit. Pixels are placed by nearest
// neighbour; alpha is not blended (ARGB targets take it as it is, other targets take the colour). A
// recorded picture draws only what was drawn into it; an image picture covers dstRect. Text goes through
// the port's text back end (its size scaled with the picture's height); a port that draws no text leaves
// it out and PL_PictureError() unimpErr. When a picture is being recorded in the port, the drawing goes
// into it too. Other ports leave PL_PictureError() unimpErr (unless recording), a damaged picture paramErr.
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
// Records an image drawn at dstRect (clipped to clip) into the picture open in the port, if any: width x
// height ARGB pixels without gaps. CopyBits calls this.
void PL_RecordPictureImage(GrafPtr port, const Rect *dstRect, const Rect *clip, SInt32 width, SInt32 height,
                           const UInt8 *argb);
// The picture's image: size and pixels (borrowed from the handle: valid until it is resized or disposed).
OSStatus PL_GetPictureImage(PicHandle picture, SInt32 *width, SInt32 *height, const UInt8 **argb);

// One text of a picture, mapped to where the picture is drawn. bytes are borrowed for the call only.
struct PL_PictureText {
  Point pen;  // the left end of the baseline
  SInt16 font;
  SInt16 size;  // 0: the font's standard size
  Style face;
  UInt8 argb[4];
  Rect clip;  // bounds of the clip it was drawn with
  const char *bytes;
  SInt32 byteCount;
};
// What a painter does with a picture's operations; any entry may be NULL. Colours are A, R, G, B bytes.
struct PL_PictureReplayProcs {
  // A rectangle filled with one colour.
  void (*fill)(void *refCon, const Rect *r, const UInt8 argb[4]);
  // width x height pixels (rows of width x 4 bytes) scaled by nearest neighbour into dst, of which only the
  // part inside `visible` is drawn.
  void (*image)(void *refCon, const Rect *dst, const Rect *visible, SInt32 width, SInt32 height, const UInt8 *argb);
  void (*text)(void *refCon, const PL_PictureText *text);
};
// Hands the picture's operations in drawing order, mapped from its frame to dstRect, to the procedures
// (an image picture is one image over dstRect). paramErr for a damaged picture or a missing argument;
// an empty dstRect or frame calls nothing.
OSStatus PL_ReplayPicture(PicHandle picture, const Rect *dstRect, const PL_PictureReplayProcs *procs,
                          void *refCon);
