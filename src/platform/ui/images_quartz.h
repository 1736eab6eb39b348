// Quartz stand-in, drawing: bitmap contexts over 32-bit pixels in the A, R, G, B byte order (premultiplied
// alpha first, or the alpha byte skipped), drawn through QPainter without a display; the graphics state
// (transform, clip to rectangles, fill and stroke colours, line width, dash pattern), straight-line paths,
// rectangles and images; PNG images from data providers; the HIToolbox's image drawing, theme backgrounds
// and the main display's size.
//
// A context's user space has its origin at the bottom left of the bitmap and y pointing up (the bitmap's
// first row is the top), until its transform is changed. The pixels stay in the caller's byte order in
// memory; each drawing call converts only the rows and columns it may touch to and from a QImage, so the
// caller may read and write the pixels between calls. Drawing is antialiased, as Quartz draws.
// A context is used by one thread at a time; nothing here needs a display.
#pragma once

#include "platform/core/offscreen_worlds.h"
#include "platform/core/quartz_contexts.h"
#include "platform/core/quartz_images.h"

// ---- Bitmap contexts ----
// Owned (CGContextRelease): a context over width x height pixels of 8 bits per component in an RGB space,
// alpha premultiplied first (kCGImageAlphaPremultipliedFirst) or skipped (kCGImageAlphaNoneSkipFirst),
// rows bytesPerRow apart (0: width x 4). data NULL: the context's own cleared pixels, else the caller's
// (borrowed: they must outlive the context). NULL for any other layout, a size of 0 or when memory is out.
CGContextRef CGBitmapContextCreate(void *data, size_t width, size_t height, size_t bitsPerComponent,
                                   size_t bytesPerRow, CGColorSpaceRef space, CGBitmapInfo bitmapInfo);
// The pixels (borrowed) and their layout; NULL and 0 for NULL.
void *CGBitmapContextGetData(CGContextRef context);
size_t CGBitmapContextGetWidth(CGContextRef context);
size_t CGBitmapContextGetHeight(CGContextRef context);
size_t CGBitmapContextGetBytesPerRow(CGContextRef context);
// Owned: an image of a copy of the context's pixels (its alpha as the context has it); NULL for NULL.
CGImageRef CGBitmapContextCreateImage(CGContextRef context);
CGContextRef CGContextRetain(CGContextRef context);
void CGContextRelease(CGContextRef context);
CFTypeID CGContextGetTypeID();

// A context over the pixels of an offscreen world's port whose pixel map holds 32-bit ARGB pixels (the
// alpha byte skipped), the origin at the bottom left of the port. paramErr for a NULL argument, unimpErr
// for any other port or pixel format (*outContext NULL).
OSStatus CreateCGContextForPort(CGrafPtr inPort, CGContextRef *outContext);

// ---- The graphics state ----
// Saves and restores the whole state (transform, clip, colours, line width, dash); a restore without a
// save does nothing. The current path is no part of the state.
void CGContextSaveGState(CGContextRef c);
void CGContextRestoreGState(CGContextRef c);
// The user space moved or scaled (the transform applies to later calls).
void CGContextTranslateCTM(CGContextRef c, CGFloat tx, CGFloat ty);
void CGContextScaleCTM(CGContextRef c, CGFloat sx, CGFloat sy);
// Colours of fills and strokes, components 0..1 (clamped). A colour of another space than RGB or grey is
// ignored.
void CGContextSetRGBFillColor(CGContextRef c, CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha);
void CGContextSetRGBStrokeColor(CGContextRef c, CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha);
void CGContextSetGrayFillColor(CGContextRef c, CGFloat gray, CGFloat alpha);
void CGContextSetGrayStrokeColor(CGContextRef c, CGFloat gray, CGFloat alpha);
void CGContextSetFillColorWithColor(CGContextRef c, CGColorRef color);
void CGContextSetStrokeColorWithColor(CGContextRef c, CGColorRef color);
// Stroke width in user units (default 1).
void CGContextSetLineWidth(CGContextRef c, CGFloat width);
// Strokes dashed: `count` lengths of dashes and gaps (repeated), starting `phase` units into the pattern;
// count 0 (or lengths NULL) strokes solid. Lengths that are all 0 or negative are ignored.
void CGContextSetLineDash(CGContextRef c, CGFloat phase, const CGFloat lengths[], size_t count);
// Narrows the clip to the rectangle (in user space) for the rest of the state.
void CGContextClipToRect(CGContextRef c, CGRect rect);

// ---- Drawing ----
// The current path of straight lines (points in user space, fixed when they are added).
void CGContextBeginPath(CGContextRef c);
void CGContextMoveToPoint(CGContextRef c, CGFloat x, CGFloat y);
void CGContextAddLineToPoint(CGContextRef c, CGFloat x, CGFloat y);
void CGContextClosePath(CGContextRef c);
// Strokes the current path with the stroke colour, line width and dash (butt ends, mitred corners) and
// empties it.
void CGContextStrokePath(CGContextRef c);
void CGContextFillRect(CGContextRef c, CGRect rect);
// Strokes the rectangle's outline (corner at its origin first, then along the x axis).
void CGContextStrokeRect(CGContextRef c, CGRect rect);
// Fills the ellipse inscribed in the rectangle with the fill colour.
void CGContextFillEllipseInRect(CGContextRef c, CGRect rect);

// ---- Text ----
// Text is drawn in the fill colour with the selected font, its glyphs mapped by the text matrix (identity
// by default: upright in user space) and placed at a point of user space. The font and the text matrix
// are part of the context, not of the saved state.
enum CGTextEncoding : SInt32 { kCGEncodingFontSpecific = 0, kCGEncodingMacRoman = 1 };
// The font of that family at `size` user units; a family the system lacks falls back to its serif face.
void CGContextSelectFont(CGContextRef c, const char *name, CGFloat size, CGTextEncoding textEncoding);
void CGContextSetTextMatrix(CGContextRef c, CGAffineTransform t);
// Draws `length` bytes of text (Mac Roman) with its baseline origin at (x, y).
void CGContextShowTextAtPoint(CGContextRef c, CGFloat x, CGFloat y, const char *string, size_t length);

// Draws the image scaled into the rectangle, upright in user space (its first row at the rectangle's
// maximum y), blended over what is there; without interpolation unless the image asks for it.
void CGContextDrawImage(CGContextRef c, CGRect rect, CGImageRef image);

// ---- Images from PNG data ----
// Owned: the PNG image the provider serves (alpha first, straight); NULL for data that is no PNG or does
// not decode, a decode array, or a NULL provider.
CGImageRef CGImageCreateWithPNGDataProvider(CGDataProviderRef source, const CGFloat decode[], bool shouldInterpolate,
                                            CGColorRenderingIntent intent);

// ---- HIToolbox drawing ----
// Draws the image into the bounds of a flipped context (y down, as a view's), upright.
// paramErr for a NULL argument.
OSStatus HIViewDrawCGImage(CGContextRef inContext, const HIRect *inBounds, CGImageRef inImage);

typedef UInt32 ThemeDrawState;
typedef UInt32 ThemeBackgroundKind;
typedef UInt32 HIThemeOrientation;
enum : ThemeDrawState { kThemeStateInactive = 0, kThemeStateActive = 1 };
enum : ThemeBackgroundKind { kThemeBackgroundMetal = 6 };
enum : HIThemeOrientation { kHIThemeOrientationNormal = 0, kHIThemeOrientationInverted = 1 };
struct HIThemeBackgroundDrawInfo {
  UInt32 version;
  ThemeDrawState state;
  ThemeBackgroundKind kind;
};
// Paints a theme background over the bounds, within the context's clip. Linux has no metal texture: the
// metal kind paints the window background colour of the application's palette (a light grey without an
// application), so strips drawn over a window's bounds match the window. paramErr for another kind, a
// version other than 0 or a NULL argument.
OSStatus HIThemeDrawBackground(const HIRect *inBounds, const HIThemeBackgroundDrawInfo *inDrawInfo,
                               CGContextRef inContext, HIThemeOrientation inOrientation);

// ---- Displays ----
typedef UInt32 CGDirectDisplayID;
CGDirectDisplayID CGMainDisplayID();
// The size in pixels of the display: the application's primary screen, else the main screen the
// user-interface layer described (platform/core/graphics_devices.h); 0 when there is none.
size_t CGDisplayPixelsWide(CGDirectDisplayID display);
size_t CGDisplayPixelsHigh(CGDirectDisplayID display);
