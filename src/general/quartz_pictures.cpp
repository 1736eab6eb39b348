// Quartz images and contexts, pictures and regions.
#include "general/quartz_pictures.h"

#include "color/rgb_corners.h"
#include "general/error_keys.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/mac_errors.h"
#include "platform/core/windows.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr Fixed kScreenResolution = 72 << 16;

// The whole number of a non-negative float, as the conversions to unsigned integers did; negative and
// huge values are held to 0 and 2^32 - 1 rather than left undefined.
UInt32 ToUnsigned(double v) {
  if (!(v > 0)) return 0;
  return v >= 4294967295.0 ? 0xFFFFFFFFu : UInt32(v);
}

// Sequential reading state over a GL_ProviderInfo.
size_t TotalBytes(const GL_ProviderInfo *p) {
  if (p->height <= 0 || p->rowBytes <= 0) return 0;
  return size_t(p->height) * size_t(p->rowBytes);
}

// The four strips of rect whose widths a border rectangle holds, each cut from the whole rectangle: left,
// right, top (minimum y) and bottom.
void Strips(const HIRect &rect, const Rect &frame, CGRect strips[4]) {
  CGRectDivide(rect, &strips[0], nullptr, frame.left, CGRectMinXEdge);
  CGRectDivide(rect, &strips[1], nullptr, frame.right, CGRectMaxXEdge);
  CGRectDivide(rect, &strips[2], nullptr, frame.top, CGRectMinYEdge);
  CGRectDivide(rect, &strips[3], nullptr, frame.bottom, CGRectMaxYEdge);
}

// One pass of a marching-ants line: grey (0 black, 1 white) at alpha, dashes and gaps of period / 2.
void DashedPass(CGContextRef context, CGFloat grey, float alpha, CGFloat dashPhase, UInt32 period, CGPoint from,
                CGPoint to) {
  const CGFloat lengths[2] = {CGFloat(period) / 2, CGFloat(period) / 2};
  CGContextSetGrayStrokeColor(context, grey, alpha);
  CGContextSetLineDash(context, dashPhase, lengths, 2);
  CGContextBeginPath(context);
  CGContextMoveToPoint(context, from.x, from.y);
  CGContextAddLineToPoint(context, to.x, to.y);
  CGContextStrokePath(context);
}

void DashedLine(CGContextRef context, CGPoint from, CGPoint to, float alpha, float phase, UInt32 period) {
  if (context == nullptr || period == 0) return;
  for (int pass = 0; pass < 2; ++pass) {
    const UInt32 dashPhase = ToUnsigned(std::max(pass * 0.51 * period + phase, 0.0)) % period;
    DashedPass(context, CGFloat(pass), alpha, CGFloat(dashPhase), period, from, to);
  }
}

// The current port, or NULL.
GrafPtr CurrentPort() {
  GrafPtr port = nullptr;
  QDD_GetPort(&port);
  return port;
}

}  // namespace

// ---- Quartz images and contexts ----

void GL_CreateCGImage(GL_ProviderInfo *providerInfo, CGImageRef *cgImageRef) {
  if (providerInfo == nullptr || cgImageRef == nullptr) return;
  providerInfo->rowBytes = providerInfo->width * 4;
  providerInfo->mark = 0;
  providerInfo->data = nullptr;
  const CGDataProviderCallbacks callbacks{GL_GetBytes, GL_SkipBytes, GL_Rewind, nullptr};
  CGDataProviderRef provider = CGDataProviderCreate(providerInfo, &callbacks);
  if (provider == nullptr) return;
  CGColorSpaceRef space = CGColorSpaceCreateWithName(kCGColorSpaceGenericRGB);
  if (space != nullptr) {
    *cgImageRef = CGImageCreate(size_t(std::max<SInt32>(providerInfo->width, 0)),
                                size_t(std::max<SInt32>(providerInfo->height, 0)), 8, 32,
                                size_t(std::max<SInt32>(providerInfo->rowBytes, 0)), space, kCGImageAlphaFirst,
                                provider, nullptr, false, kCGRenderingIntentDefault);
    CGColorSpaceRelease(space);
  }
  // The image holds its own reference while it needs the provider.
  CGDataProviderRelease(provider);
}

size_t GL_GetBytes(void *info, void *buffer, size_t count) {
  auto *p = static_cast<GL_ProviderInfo *>(info);
  if (p == nullptr || buffer == nullptr || p->ptr == nullptr || p->mark < 0) return 0;
  const size_t total = TotalBytes(p), rowBytes = size_t(std::max<SInt32>(p->rowBytes, 0));
  const size_t mark = size_t(p->mark);
  if (mark >= total) return 0;
  count = std::min(count, total - mark);
  if (count == 0) return 0;
  const size_t row = mark / rowBytes, off = mark % rowBytes;
  const UInt8 *src = p->ptr + total - (row + 1) * rowBytes + off;
  UInt8 *dst = static_cast<UInt8 *>(buffer);
  if (rowBytes - off >= count) {
    std::memcpy(dst, src, count);
  } else {
    size_t left = count;
    if (off > 0) {
      // The rest of this row, then on from the start of the buffer row above it.
      std::memcpy(dst, src, rowBytes - off);
      dst += rowBytes - off;
      left -= rowBytes - off;
      src -= off + rowBytes;
    }
    for (; left >= rowBytes; left -= rowBytes, dst += rowBytes, src -= rowBytes) std::memcpy(dst, src, rowBytes);
    if (left > 0) std::memcpy(dst, src, left);
  }
  p->mark = SInt32(mark + count);
  return count;
}

void GL_SkipBytes(void *info, size_t count) {
  auto *p = static_cast<GL_ProviderInfo *>(info);
  if (p == nullptr) return;
  const size_t total = TotalBytes(p), mark = size_t(std::max<SInt32>(p->mark, 0));
  p->mark = SInt32(std::min(total, mark + std::min(count, total)));
}

void GL_Rewind(void *info) {
  if (auto *p = static_cast<GL_ProviderInfo *>(info)) p->mark = 0;
}

size_t GL_GetCGBytes(void *info, void *buffer, size_t count) {
  auto *p = static_cast<GL_ProviderInfo *>(info);
  if (p == nullptr || buffer == nullptr || p->ptr == nullptr || p->mark < 0) return 0;
  const size_t total = TotalBytes(p), mark = size_t(p->mark);
  // Never past the buffer's end, whatever was asked.
  if (mark >= total) return 0;
  count = std::min(count, total - mark);
  std::memcpy(buffer, p->ptr + mark, count);
  p->mark = SInt32(mark + count);
  return count;
}

CGContextRef GL_CreateStdCGContext(CGRect rect, void **data) {
  if (data == nullptr || !(rect.size.width >= 0) || !(rect.size.height >= 0)) return nullptr;
  const size_t w = ToUnsigned(rect.size.width + 0.01), h = ToUnsigned(rect.size.height + 0.01);
  const size_t rowBytes = 4 * w;
  bool allocated = false;
  if (*data == nullptr) {
    if (w == 0 || h == 0) return nullptr;
    *data = std::malloc(rowBytes * h);
    if (*data == nullptr) return nullptr;
    allocated = true;
  }
  CGColorSpaceRef space = CGColorSpaceCreateWithName(kCGColorSpaceGenericRGB);
  CGContextRef context = CGBitmapContextCreate(*data, w, h, 8, rowBytes, space, kCGImageAlphaPremultipliedFirst);
  CGColorSpaceRelease(space);
  if (context == nullptr && allocated) {
    std::free(*data);
    *data = nullptr;
  }
  return context;
}

CGImageRef GL_CreateColoredRectangularImage(CGRect rect, const RGBColor *rgb, UInt8 alpha) {
  if (rgb == nullptr) return nullptr;
  void *data = nullptr;
  CGContextRef context = GL_CreateStdCGContext(rect, &data);
  if (context == nullptr) return nullptr;
  // The context's whole bitmap: the rectangle's origin is no part of the image, and its pixels are not
  // cleared, so every one must be painted.
  const CGRect all = CGRectMake(0, 0, CGFloat(CGBitmapContextGetWidth(context)),
                                CGFloat(CGBitmapContextGetHeight(context)));
  GL_FillRectWithColor(context, all, rgb, alpha);
  CGImageRef image = CGBitmapContextCreateImage(context);
  CGContextRelease(context);
  std::free(data);
  return image;
}

void GL_FillRectWithColor(CGContextRef context, CGRect rect, const RGBColor *rgb, UInt8 alpha) {
  if (rgb == nullptr) return;
  float k[4];
  GL_ARGB_ToComponents(rgb, alpha, k);
  CGContextSetRGBFillColor(context, k[0], k[1], k[2], k[3]);
  CGContextFillRect(context, rect);
}

void GL_ARGB_ToComponents(const RGBColor *rgb, UInt8 alpha, float components[4]) {
  if (rgb == nullptr || components == nullptr) return;
  components[0] = float(rgb->red) / 65535.0f;
  components[1] = float(rgb->green) / 65535.0f;
  components[2] = float(rgb->blue) / 65535.0f;
  components[3] = float(alpha) / 255.0f;
}

CGColorRef GL_ARGB_ToCGColor(const RGBColor *rgb, UInt8 alpha) {
  if (rgb == nullptr) return nullptr;
  float k[4];
  GL_ARGB_ToComponents(rgb, alpha, k);
  CGColorSpaceRef space = CGColorSpaceCreateWithName(kCGColorSpaceGenericRGB);
  CGColorRef color = CGColorCreate(space, k);
  CGColorSpaceRelease(space);
  return color;
}

OSStatus GL_GetImageFromPNG_InAppBundle(CFStringRef pngFileName, CGImageRef *image) {
  if (image == nullptr) return paramErr;
  *image = nullptr;
  if (pngFileName == nullptr) return paramErr;
  CFURLRef url = CFBundleCopyResourceURL(CFBundleGetMainBundle(), pngFileName, nullptr, nullptr);
  if (url == nullptr) return kGL_BundleResourceNotFoundErr;
  CGDataProviderRef provider = CGDataProviderCreateWithURL(url);
  if (provider != nullptr)
    *image = CGImageCreateWithPNGDataProvider(provider, nullptr, false, kCGRenderingIntentDefault);
  CGDataProviderRelease(provider);
  CFRelease(url);
  return noErr;
}

void GL_HICopyBits(CGImageRef image, CGContextRef context, const Rect *sourceRect, const Rect *destRect) {
  if (image == nullptr || context == nullptr || sourceRect == nullptr || destRect == nullptr) return;
  HIRect source, dest;
  GL_RectToHIRect(sourceRect, &source);
  GL_RectToHIRect(destRect, &dest);
  if (source.size.width <= 0 || source.size.height <= 0) return;
  const CGFloat sx = dest.size.width / source.size.width, sy = dest.size.height / source.size.height;
  const HIRect bounds = CGRectMake(-source.origin.x * sx, -source.origin.y * sy,
                                   CGFloat(CGImageGetWidth(image)) * sx, CGFloat(CGImageGetHeight(image)) * sy);
  HIViewDrawCGImage(context, &bounds, image);
}

void GL_CGCopyBits(CGImageRef image, CGContextRef context, SInt32 windowHeight, const Rect *sourceRect,
                   const Rect *destRect) {
  if (image == nullptr || context == nullptr || sourceRect == nullptr || destRect == nullptr) return;
  const size_t width = CGImageGetWidth(image), height = CGImageGetHeight(image);
  CGRect source, dest;
  GL_RectToCGRect(SInt32(double(height) + 0.1), sourceRect, &source);
  GL_RectToCGRect(SInt32(double(windowHeight) + 0.1), destRect, &dest);
  if (source.size.width <= 0 || source.size.height <= 0) return;
  // The whole image drawn so that its source part lands on the destination (for the whole image as
  // source, that is the destination itself).
  const CGFloat sx = dest.size.width / source.size.width, sy = dest.size.height / source.size.height;
  const CGRect into = CGRectMake(dest.origin.x - source.origin.x * sx, dest.origin.y - source.origin.y * sy,
                                 CGFloat(width) * sx, CGFloat(height) * sy);
  CGContextSaveGState(context);
  CGContextClipToRect(context, dest);
  CGContextDrawImage(context, into, image);
  CGContextRestoreGState(context);
}

void GL_CG_DrawDashedHorizLine(CGContextRef context, CGPoint base, float length, float lineWidth, float alpha,
                               float phase, UInt32 period) {
  const float half = lineWidth / 2;
  DashedLine(context, CGPointMake(base.x + half, base.y + half), CGPointMake(base.x + length - half, base.y + half),
             alpha, phase, period);
}

void GL_CG_DrawDashedVertLine(CGContextRef context, CGPoint base, float length, float lineWidth, float alpha,
                              float phase, UInt32 period) {
  const float half = lineWidth / 2;
  DashedLine(context, CGPointMake(base.x + half, base.y + half), CGPointMake(base.x + half, base.y + length - half),
             alpha, phase, period);
}

void GL_CG_DrawDashedRect(CGContextRef context, CGRect cgRect, float lineWidth, float alpha, float phase,
                          UInt32 period) {
  if (context == nullptr || period == 0) return;
  CGContextSetLineWidth(context, lineWidth);
  GL_CG_InsetRect(&cgRect, lineWidth / 2);
  const CGFloat lengths[2] = {CGFloat(period) / 2, CGFloat(period) / 2};
  CGContextSetGrayStrokeColor(context, 1, alpha);
  CGContextSetLineDash(context, phase, lengths, 2);
  CGContextStrokeRect(context, cgRect);
  CGContextSetGrayStrokeColor(context, 0, alpha);
  CGContextSetLineDash(context, CGFloat(ToUnsigned(0.51 * period + phase) % period), lengths, 2);
  CGContextStrokeRect(context, cgRect);
}

OSStatus GL_FrameRectInMetal(CGContextRef context, const HIRect *windowBounds, const HIRect *hiRect,
                             const Rect *frame) {
  if (hiRect == nullptr || frame == nullptr) return paramErr;
  CGRect strips[4];
  Strips(*hiRect, *frame, strips);
  const HIThemeBackgroundDrawInfo metal{0, kThemeStateActive, kThemeBackgroundMetal};
  OSStatus err = noErr;
  for (int i = 0; i < 4; ++i) {
    CGContextSaveGState(context);
    CGContextClipToRect(context, strips[i]);
    err = HIThemeDrawBackground(windowBounds, &metal, context, kHIThemeOrientationNormal);
    CGContextRestoreGState(context);
    if (i == 0 && err != noErr) return err;
  }
  return err;
}

OSStatus GL_DarkenSubFrame(CGContextRef context, const HIRect *hiRect, const Rect *frame, float perc) {
  if (hiRect == nullptr || frame == nullptr) return noErr;
  CGRect strips[4];
  Strips(*hiRect, *frame, strips);
  CGContextSaveGState(context);
  CGContextSetRGBFillColor(context, 0, 0, 0, perc);
  for (const CGRect &strip : strips) CGContextFillRect(context, strip);
  CGContextRestoreGState(context);
  return noErr;
}

Boolean GL_HIPointInRect(const HIPoint *point, const HIRect *rect) {
  HIShapeRef shape = HIShapeCreateWithRect(rect);
  const Boolean inside = HIShapeContainsPoint(shape, point);
  if (shape != nullptr) CFRelease(shape);
  return inside;
}

void GL_GetMainScreenDimensions(size_t *width, size_t *height) {
  if (width != nullptr) *width = CGDisplayPixelsWide(CGMainDisplayID());
  if (height != nullptr) *height = CGDisplayPixelsHigh(CGMainDisplayID());
}

OSStatus QDD_CreateCGContextForPort(CGrafPtr inPort, CGContextRef *outContext) {
  return CreateCGContextForPort(inPort, outContext);
}

// ---- QuickDraw pictures ----

OSStatus GL_PrepareOpenPicture(GrafPtr *savedPort, const Rect *picFrame, OpenCPicParams *openCPicParams,
                               GWorldPtr *offscreen) {
  if (savedPort == nullptr || picFrame == nullptr || openCPicParams == nullptr || offscreen == nullptr)
    return paramErr;
  *offscreen = nullptr;
  OSStatus err = QDD_NewGWorld(offscreen, 0, picFrame, nullptr, nullptr, keepLocal);
  if (err != noErr) return err;
  QDD_GetPort(savedPort);
  QDD_SetGWorld(*offscreen, nullptr);
  *openCPicParams = OpenCPicParams{*picFrame, kScreenResolution, kScreenResolution, -2, 0, 0};
  return noErr;
}

void GL_ClosePicture(GrafPtr savedPort, GWorldPtr offscreen) {
  QDD_ClosePicture();
  // ClosePicture's result is what callers read afterwards; the port calls below must not overwrite it.
  const OSErr closed = PL_PictureError();
  QDD_SetPort(savedPort);
  if (offscreen != nullptr) QDD_DisposeGWorld(offscreen);
  PL_SetQDError(closed);
}

void GL_GetScaledPictureLetterbox(SInt32 oldWidth, SInt32 oldHeight, const Rect *scaledPicFrame, Rect *letterbox) {
  if (scaledPicFrame == nullptr || letterbox == nullptr) return;
  const Rect &f = *scaledPicFrame;
  *letterbox = f;
  const SInt32 W = f.right - f.left, H = f.bottom - f.top;
  if (oldWidth <= 0 || oldHeight <= 0 || W <= 0 || H <= 0) return;
  const float a = float(oldWidth) / float(oldHeight);
  if (float(W) / float(H) > a) {
    const SInt32 w = SInt32(float(H) * a + 0.01f);
    letterbox->left = SInt16(f.left + (W - w) / 2);
    letterbox->right = SInt16(letterbox->left + w);
  } else {
    const SInt32 h = SInt32(float(W) / a + 0.01f);
    letterbox->top = SInt16(f.top + (H - h) / 2);
    letterbox->bottom = SInt16(letterbox->top + h);
  }
}

OSStatus GL_ScalePicture(Rect *newPicFrame, PicHandle oldPicHandle, PicHandle *scaledPicHandle, Boolean keepAspectRatio,
                         Boolean allowShrinkOneDimension, UInt32 fillBasicColor) {
  if (scaledPicHandle == nullptr) return paramErr;
  *scaledPicHandle = nullptr;
  if (newPicFrame == nullptr || oldPicHandle == nullptr) return paramErr;
  newPicFrame->right = SInt16(newPicFrame->right - newPicFrame->left);
  newPicFrame->bottom = SInt16(newPicFrame->bottom - newPicFrame->top);
  newPicFrame->left = newPicFrame->top = 0;
  RGBColor fill{0, 0, 0};
  CO_RGBBasicColorToRGBColor(fillBasicColor, &fill);

  SInt32 oldWidth = 0, oldHeight = 0;
  if (keepAspectRatio) {
    PictInfo info;
    OSStatus err = QDD_GetPictInfo(oldPicHandle, &info, 0, 0, 0, 0);
    if (err != noErr) return err;
    oldWidth = info.sourceRect.right - info.sourceRect.left;
    oldHeight = info.sourceRect.bottom - info.sourceRect.top;
    if (allowShrinkOneDimension && oldWidth > 0 && oldHeight > 0 && newPicFrame->bottom > 0) {
      const float aOld = float(oldWidth) / float(oldHeight);
      const float aNew = float(newPicFrame->right) / float(newPicFrame->bottom);
      if (aNew > aOld) newPicFrame->right = SInt16(float(newPicFrame->bottom) * aOld + 0.01f);
      else newPicFrame->bottom = SInt16(float(newPicFrame->right) / aOld + 0.01f);
    }
  }

  GrafPtr savedPort = nullptr;
  GWorldPtr offscreen = nullptr;
  OpenCPicParams params;
  OSStatus err = GL_PrepareOpenPicture(&savedPort, newPicFrame, &params, &offscreen);
  if (err != noErr) return err;
  *scaledPicHandle = QDD_OpenCPicture(&params);
  if (*scaledPicHandle == nullptr) {
    err = PL_PictureError();
    QDD_SetPort(savedPort);
    QDD_DisposeGWorld(offscreen);
    return err;
  }
  Rect into = *newPicFrame;
  if (keepAspectRatio && !allowShrinkOneDimension) {
    GL_GetScaledPictureLetterbox(oldWidth, oldHeight, newPicFrame, &into);
    // The bars beside or above and below the picture.
    QDD_RGBForeColor(&fill);
    Rect first = *newPicFrame, second = *newPicFrame;
    if (into.left > newPicFrame->left || into.right < newPicFrame->right) {
      first.right = into.left;
      second.left = into.right;
    } else {
      first.bottom = into.top;
      second.top = into.bottom;
    }
    if (!QDD_EmptyRect(&first)) QDD_PaintRect(&first);
    if (!QDD_EmptyRect(&second)) QDD_PaintRect(&second);
  }
  QDD_DrawPicture(oldPicHandle, &into);
  err = PL_PictureError();
  GL_ClosePicture(savedPort, offscreen);
  if (err == noErr) err = PL_PictureError();
  if (err != noErr) {
    QDD_KillPicture(*scaledPicHandle);
    *scaledPicHandle = nullptr;
  }
  return err;
}

OSStatus GL_ClipPicture(PicHandle sourcePic, const Rect *clip, PicHandle *clippedPic) {
  if (clippedPic == nullptr) return paramErr;
  *clippedPic = nullptr;
  if (sourcePic == nullptr || clip == nullptr) return paramErr;
  Rect frame;
  QDGetPictureBounds(sourcePic, &frame);
  if (QDD_EmptyRect(&frame)) return paramErr;
  GrafPtr savedPort = nullptr;
  GWorldPtr offscreen = nullptr;
  OpenCPicParams params;
  OSStatus err = GL_PrepareOpenPicture(&savedPort, clip, &params, &offscreen);
  if (err != noErr) return err;
  *clippedPic = QDD_OpenCPicture(&params);
  if (*clippedPic == nullptr) {
    err = PL_PictureError();
    QDD_SetPort(savedPort);
    QDD_DisposeGWorld(offscreen);
    return err;
  }
  // Only what lies inside the clip rectangle is recorded.
  QDD_ClipRect(clip);
  QDD_DrawPicture(sourcePic, &frame);
  err = PL_PictureError();
  GL_ClosePicture(savedPort, offscreen);
  if (err == noErr) err = PL_PictureError();
  if (err != noErr) {
    QDD_KillPicture(*clippedPic);
    *clippedPic = nullptr;
  }
  return err;
}

OSStatus GL_PictureToPixmap(PicHandle picture, GrafPtr *savedPort, GWorldPtr *offscreen, PixMapHandle *pixmap) {
  if (picture == nullptr) return noErr;
  if (savedPort == nullptr || offscreen == nullptr || pixmap == nullptr) return paramErr;
  *offscreen = nullptr;
  *pixmap = nullptr;
  Rect frame;
  QDGetPictureBounds(picture, &frame);
  if (QDD_EmptyRect(&frame)) return paramErr;
  OSStatus err = QDD_NewGWorld(offscreen, 0, &frame, nullptr, nullptr, keepLocal);
  if (err != noErr) return err;
  QDD_GetPort(savedPort);
  QDD_SetGWorld(*offscreen, nullptr);
  QDD_DrawPicture(picture, &frame);
  err = PL_PictureError();
  if (err != noErr) {
    QDD_SetPort(*savedPort);
    QDD_DisposeGWorld(*offscreen);
    *offscreen = nullptr;
    return err;
  }
  *pixmap = QDD_GetGWorldPixMap(*offscreen);
  return noErr;
}

OSStatus GL_MakeOneColorPicture(const RGBColor *rgb, const Rect *picFrame, PicHandle *picHandle) {
  if (picHandle == nullptr) return paramErr;
  *picHandle = nullptr;
  if (rgb == nullptr || picFrame == nullptr) return paramErr;
  GrafPtr savedPort = nullptr;
  GWorldPtr offscreen = nullptr;
  OpenCPicParams params;
  OSStatus err = GL_PrepareOpenPicture(&savedPort, picFrame, &params, &offscreen);
  if (err != noErr) return err;
  *picHandle = QDD_OpenCPicture(&params);
  if (*picHandle != nullptr) {
    QDD_RGBForeColor(rgb);
    QDD_PaintRect(picFrame);
  }
  err = *picHandle != nullptr ? OSStatus(noErr) : OSStatus(PL_PictureError());
  GL_ClosePicture(savedPort, offscreen);
  if (err == noErr) err = PL_PictureError();
  if (err != noErr && *picHandle != nullptr) {
    QDD_KillPicture(*picHandle);
    *picHandle = nullptr;
  }
  return err;
}

OSStatus GL_EditPictureTempl(PicHandle *picture) {
  if (picture == nullptr || *picture == nullptr) return paramErr;
  PictInfo info;
  OSStatus err = QDD_GetPictInfo(*picture, &info, 0, 0, 0, 0);
  if (err != noErr) return err;
  const Rect frame = info.sourceRect;
  GrafPtr savedPort = nullptr;
  GWorldPtr offscreen = nullptr;
  OpenCPicParams params;
  err = GL_PrepareOpenPicture(&savedPort, &frame, &params, &offscreen);
  if (err != noErr) return err;
  params.hRes = info.hRes;
  params.vRes = info.vRes;
  PicHandle edited = QDD_OpenCPicture(&params);
  if (edited == nullptr) {
    err = PL_PictureError();
    QDD_SetPort(savedPort);
    QDD_DisposeGWorld(offscreen);
    return err;
  }
  QDD_ClipRect(&frame);
  QDD_DrawPicture(*picture, &frame);
  err = PL_PictureError();
  GL_ClosePicture(savedPort, offscreen);
  if (err == noErr) err = PL_PictureError();
  if (err != noErr) {
    QDD_KillPicture(edited);
    return err;
  }
  QDD_KillPicture(*picture);
  *picture = edited;
  return noErr;
}

void GL_MakeTextPicture(WindowRef macWindow, DrawTextProc proc, SInt32 foreColor, SInt32 backColor,
                        const GL_CStringLE *firstString) {
  GrafPtr savedPort = CurrentPort();
  CGrafPtr port = macWindow != nullptr ? GetWindowPort(macWindow) : nullptr;
  if (port == nullptr || proc == nullptr) {
    PL_SetQDError(paramErr);
    return;
  }
  QDD_SetPort(port);
  RgnHandle savedClip = QDD_NewRgn();
  if (savedClip == nullptr) {
    QDD_SetPort(savedPort);
    PL_SetQDError(memFullErr);
    return;
  }
  QDD_GetClip(savedClip);
  Rect bounds;
  QDD_GetPortBounds(port, &bounds);
  QDD_ClipRect(&bounds);
  OSErr err = paramErr;
  PicHandle picture = QDD_OpenPicture(&bounds);
  if (picture != nullptr) {
    proc(bounds, foreColor, backColor, firstString);
    QDD_ClosePicture();
    err = PL_PictureError();
  } else {
    err = PL_PictureError();
  }
  if (err == noErr) {
    PicHandle previous = GetWindowPic(macWindow);
    SetWindowPic(macWindow, picture);
    if (GetWindowPic(macWindow) != picture) {
      // A window that keeps no picture would leave this one to nobody.
      err = paramErr;
    } else if (previous != nullptr && previous != picture) {
      QDD_KillPicture(previous);
    }
  }
  if (err != noErr && picture != nullptr) QDD_KillPicture(picture);
  QDD_SetClip(savedClip);
  QDD_DisposeRgn(savedClip);
  QDD_SetPort(savedPort);
  PL_SetQDError(err);
}

// ---- Regions ----

OSStatus GL_ScaleRgn(RgnHandle rgn, const Rect *newBounds, RgnHandle newRgn) {
  if (rgn == nullptr || newBounds == nullptr || newRgn == nullptr) return paramErr;
  Rect bounds;
  QDD_GetRegionBounds(rgn, &bounds);
  QDD_OffsetRgn(rgn, SInt16(-bounds.left), SInt16(-bounds.top));
  const Rect source{0, 0, SInt16(bounds.bottom - bounds.top), SInt16(bounds.right - bounds.left)};
  const Rect target{0, 0, SInt16(newBounds->bottom - newBounds->top), SInt16(newBounds->right - newBounds->left)};
  CGrafPtr savedPort = nullptr;
  GDHandle savedDevice = nullptr;
  QDD_GetGWorld(&savedPort, &savedDevice);
  GWorldPtr from = nullptr, to = nullptr;
  OSStatus err = QDD_NewGWorld(&from, 1, &source, nullptr, nullptr, 0);
  if (err == noErr) err = QDD_NewGWorld(&to, 1, &target, nullptr, nullptr, 0);
  if (err == noErr) {
    // Black on white: set bits are the region.
    QDD_SetGWorld(from, nullptr);
    QDD_EraseRect(&source);
    QDD_PaintRgn(rgn);
    err = QDError();
  }
  if (err == noErr) {
    QDD_CopyBits(GetPortBitMapForCopyBits(from), GetPortBitMapForCopyBits(to), &source, &target, srcCopy, nullptr);
    err = QDError();
  }
  if (err == noErr) err = QDD_BitMapToRegion(newRgn, GetPortBitMapForCopyBits(to));
  if (err == noErr) QDD_OffsetRgn(newRgn, newBounds->left, newBounds->top);
  QDD_SetGWorld(savedPort, savedDevice);
  QDD_DisposeGWorld(from);
  QDD_DisposeGWorld(to);
  return err;
}
