// Drawing helpers over Quartz, the HIToolbox and QuickDraw pictures and regions, for the windows: a
// sequential provider that turns a caller's ARGB buffer into an image served bottom row first (the noise
// spectrum), bitmap contexts and coloured images, scaled drawing of image parts into views (the preview),
// marching-ants frames (selection rectangles), theme-background and darkened frames round images (the
// progress display and the image wells), picture recording, scaling with letterboxes (the poster frame),
// clipping (the logo mask), one-colour and text pictures, and region scaling.
//
// Main thread only: these touch ports, contexts and pictures. Quartz contexts draw through the user-
// interface layer's image part (QtGui, no display), which is why this module sits above the general library.
#pragma once

#include "general/geometry.h"
#include "general/progress_types.h"
#include "general/text_drawing.h"
#include "platform/ui/images_quartz.h"

// ---- Quartz images and contexts ----

// Makes *cgImageRef a new image (owned: CGImageRelease) of providerInfo's buffer: height rows of width
// A, R, G, B pixels (alpha first, straight), served through a sequential provider bottom row first, so the
// image shows the buffer's last row at its top. Writes rowBytes (width x 4), mark 0 and data 0 into the
// record, which with the buffer must live as long as the image. An image already in *cgImageRef is not
// released (that is the caller's). When no provider or colour space can be made, *cgImageRef is left
// alone; when the image cannot be made it is NULL.
void GL_CreateCGImage(GL_ProviderInfo *providerInfo, CGImageRef *cgImageRef);
// The provider's callbacks over a GL_ProviderInfo: up to count bytes from mark on, image row r being buffer
// row height - 1 - r, served across row boundaries; skipping (no further than the end) and rewinding.
size_t GL_GetBytes(void *info, void *buffer, size_t count);
void GL_SkipBytes(void *info, size_t count);
void GL_Rewind(void *info);
// The same in buffer order, top row first (the rest when fewer than count bytes are left).
size_t GL_GetCGBytes(void *info, void *buffer, size_t count);

// A context (owned: CGContextRelease) of the rectangle's size (width and height + 0.01, truncated) with
// premultiplied alpha first in Generic RGB, over *data, or over a new block of 4 x width x height bytes
// (not cleared; free it with free) stored in *data when *data is NULL. NULL when it cannot be made (a
// block allocated here is then freed again and *data is NULL).
CGContextRef GL_CreateStdCGContext(CGRect rect, void **data);
// Owned: an image of the rectangle's size in one colour; NULL when no context could be made.
CGImageRef GL_CreateColoredRectangularImage(CGRect rect, const RGBColor *rgb, UInt8 alpha);
// Fills the rectangle in the colour (alpha 0..255); the fill colour stays set.
void GL_FillRectWithColor(CGContextRef context, CGRect rect, const RGBColor *rgb, UInt8 alpha);
// red, green, blue / 65535, alpha / 255.
void GL_ARGB_ToComponents(const RGBColor *rgb, UInt8 alpha, float components[4]);
// Owned (CGColorRelease): the colour in Generic RGB.
CGColorRef GL_ARGB_ToCGColor(const RGBColor *rgb, UInt8 alpha);
// *image = the PNG resource of the main bundle of that full file name (owned; NULL when it does not
// decode, the result still 0). kGL_BundleResourceNotFoundErr (10024) when there is no such resource.
OSStatus GL_GetImageFromPNG_InAppBundle(CFStringRef pngFileName, CGImageRef *image);

// Draws the image into a view's (flipped) context scaled so that sourceRect of the image covers
// destRect's size; only the scale comes from destRect: the image's origin lands at minus the source's
// origin times the scale. No clip is set.
void GL_HICopyBits(CGImageRef image, CGContextRef context, const Rect *sourceRect, const Rect *destRect);
// Draws sourceRect of the image (QuickDraw coordinates of the image) scaled onto destRect of a window of
// windowHeight (QuickDraw coordinates), in a context whose y axis points up, clipped to destRect.
void GL_CGCopyBits(CGImageRef image, CGContextRef context, SInt32 windowHeight, const Rect *sourceRect,
                   const Rect *destRect);

// Marching ants: a line or rectangle stroked twice, black and white, in dashes and gaps of period / 2,
// the second pass shifted by 0.51 of a period so that the colours alternate; phase animates them. The
// lines run inside [base, base + length) at base + lineWidth / 2 across and are stroked with the context's
// line width; the rectangle sets the line width and is inset by half of it. Nothing for a period of 0.
// The stroke colour and dash stay set.
void GL_CG_DrawDashedHorizLine(CGContextRef context, CGPoint base, float length, float lineWidth, float alpha,
                               float phase, UInt32 period);
void GL_CG_DrawDashedVertLine(CGContextRef context, CGPoint base, float length, float lineWidth, float alpha,
                              float phase, UInt32 period);
void GL_CG_DrawDashedRect(CGContextRef context, CGRect cgRect, float lineWidth, float alpha, float phase,
                          UInt32 period);

// Paints the four strips of hiRect whose widths the border rectangle `frame` holds (left, right, top at
// the minimum y, bottom), each cut from the whole rectangle, with the metal theme background drawn over
// windowBounds so that it lines up with the window. The first strip's failure ends the call with its
// status; otherwise the status of the last strip. The graphics state is as before.
OSStatus GL_FrameRectInMetal(CGContextRef context, const HIRect *windowBounds, const HIRect *hiRect,
                             const Rect *frame);
// Fills the same four strips with black of alpha perc (the corners, covered twice, come out darker).
// Always 0.
OSStatus GL_DarkenSubFrame(CGContextRef context, const HIRect *hiRect, const Rect *frame, float perc);
// Whether the point lies in the rectangle (through an HIShape).
Boolean GL_HIPointInRect(const HIPoint *point, const HIRect *rect);
// The main display's size in pixels (0 x 0 without one).
void GL_GetMainScreenDimensions(size_t *width, size_t *height);
// QuickDraw wrapper: a context over a port's pixels.
OSStatus QDD_CreateCGContextForPort(CGrafPtr inPort, CGContextRef *outContext);

// ---- QuickDraw pictures ----

// Makes a new offscreen world over picFrame (*offscreen, owned: GL_ClosePicture disposes it) current,
// keeping the previous port in *savedPort, and fills openCPicParams for picFrame at 72 dpi. The caller
// then calls OpenCPicture, draws, and ends with GL_ClosePicture. The world's error ends it.
OSStatus GL_PrepareOpenPicture(GrafPtr *savedPort, const Rect *picFrame, OpenCPicParams *openCPicParams,
                               GWorldPtr *offscreen);
// Closes the picture, restores the saved port and disposes the world (when given).
void GL_ClosePicture(GrafPtr savedPort, GWorldPtr offscreen);
// *scaledPicHandle = a new picture (owned: KillPicture) of the old one redrawn into newPicFrame, which is
// moved to the origin in place. With keepAspectRatio the old proportions are kept: with
// allowShrinkOneDimension newPicFrame itself shrinks in one dimension, else the picture is letterboxed
// and the bars painted in the basic colour fillBasicColor.
OSStatus GL_ScalePicture(Rect *newPicFrame, PicHandle oldPicHandle, PicHandle *scaledPicHandle, Boolean keepAspectRatio,
                         Boolean allowShrinkOneDimension, UInt32 fillBasicColor);
// The box of oldWidth:oldHeight proportions centred in scaledPicFrame and touching it on two sides (the
// frame itself for a size that is not positive).
void GL_GetScaledPictureLetterbox(SInt32 oldWidth, SInt32 oldHeight, const Rect *scaledPicFrame, Rect *letterbox);
// *clippedPic = a new picture (owned) whose frame is clip, holding the part of sourcePic inside it.
OSStatus GL_ClipPicture(PicHandle sourcePic, const Rect *clip, PicHandle *clippedPic);
// Draws the picture into a new world of its frame (*offscreen, owned: DisposeGWorld) left current, the
// previous port in *savedPort, and gives its pixel map. A NULL picture: 0 and nothing done. On failure
// the world is disposed and the port restored.
OSStatus GL_PictureToPixmap(PicHandle picture, GrafPtr *savedPort, GWorldPtr *offscreen, PixMapHandle *pixmap);
// *picHandle = a new picture (owned) of picFrame painted in one colour.
OSStatus GL_MakeOneColorPicture(const RGBColor *rgb, const Rect *picFrame, PicHandle *picHandle);
// Records the picture anew at its own frame and resolution, clipped to its frame, and replaces *picture
// with it (the old one killed). On failure *picture is kept.
OSStatus GL_EditPictureTempl(PicHandle *picture);
// Records, in the window's port clipped to its bounds, a picture that proc draws (given the port's
// bounds, the two colours and the strings) and makes it the window's picture, killing the previous one.
// The port and its clip are as before afterwards. Without a port for the window (or a window layer that
// keeps no picture) nothing is kept and QDError says paramErr.
void GL_MakeTextPicture(WindowRef macWindow, DrawTextProc proc, SInt32 foreColor, SInt32 backColor,
                        const GL_CStringLE *firstString);

// ---- Regions ----
// Makes newRgn the region scaled to newBounds' size and placed at its top left (through 1-bit bitmaps
// copied with scaling). rgn is moved to the origin and stays there. The first failing step's status.
OSStatus GL_ScaleRgn(RgnHandle rgn, const Rect *newBounds, RgnHandle newRgn);
