// Quartz stand-in, drawing through QPainter on QImages.
#include "platform/ui/images_quartz_qt.h"

#include "platform/core/cf_object.h"
#include "platform/core/graphics_devices.h"
#include "platform/core/mac_errors.h"
#include "platform/ui/images.h"

#include <QGuiApplication>
#include <QtEndian>
#include <QImage>
#include <QFont>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QScreen>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <vector>

namespace {

// What a save keeps and a restore brings back. The transform maps user space to device pixels (x right,
// y down from the bitmap's first row); the clip is in device pixels.
struct GState {
  QTransform ctm;
  bool clipped = false;
  QPainterPath clip;
  QColor fill = QColor(0, 0, 0);
  QColor stroke = QColor(0, 0, 0);
  qreal lineWidth = 1;
  QList<qreal> dash;
  qreal dashPhase = 0;
};

// The window colour of Qt's standard light style, for drawing without an application.
const QColor kDefaultWindowColor(239, 239, 239);

// Largest side of a context, as for images.
constexpr size_t kMaxSide = size_t(1) << 20;

}  // namespace

struct CGContext : PL_CFObject {
  CGContext() : PL_CFObject(kPL_CFTypeIDCGContext) {}
  ~CGContext() override {
    if (ownsData) std::free(data);
  }
  UInt8 *data = nullptr;
  bool ownsData = false;
  size_t width = 0;
  size_t height = 0;
  size_t rowBytes = 0;
  bool skipAlpha = false;  // the alpha byte is no alpha: read as 255, written as 255
  GState gs;
  std::vector<GState> saved;
  QPainterPath path;  // device pixels
  // The selected font (resolved when text is drawn: fonts need the application's font database) and the
  // text matrix from Qt's glyph space (y down) to user space, without the text position.
  QString fontFamily;
  int fontPixels = 0;
  QTransform textMatrix{1, 0, 0, -1, 0, 0};
  // Memory that the QImages of drawing calls live in, kept from call to call: a display draws a frame of
  // the same size again and again, and fresh memory every time costs more than the drawing.
  std::vector<UInt32> regionScratch;
  std::vector<UInt32> imageScratch;
};

namespace {

CGContext *ContextOf(CGContextRef c) {
  return PL_CFIsType(c, kPL_CFTypeIDCGContext) ? static_cast<CGContext *>(PL_CFMutableObjectOf(c)) : nullptr;
}

// A QImage over the scratch memory, grown when it is too small; a null image when memory is out.
QImage ScratchImage(std::vector<UInt32> *scratch, const QSize &size, QImage::Format format) {
  const size_t count = size_t(size.width()) * size_t(size.height());
  try {
    if (scratch->size() < count) scratch->resize(count);
  } catch (const std::bad_alloc &) {
    return QImage();
  }
  return QImage(reinterpret_cast<uchar *>(scratch->data()), size.width(), size.height(), size.width() * 4, format);
}

// A, R, G, B bytes and QImage's native 0xAARRGGBB words: the one place where the byte order turns.
inline UInt32 WordOf(const UInt8 *argb) {
  UInt32 word;
  std::memcpy(&word, argb, 4);
  return qFromBigEndian(word);
}
inline void BytesOf(UInt32 word, UInt8 *argb) {
  word = qToBigEndian(word);
  std::memcpy(argb, &word, 4);
}

// A row of A, R, G, B pixels as native words and back (the same swap both ways).
void SwapRow(const UInt8 *in, UInt32 *out, int count, UInt32 force) {
  for (int x = 0; x < count; ++x) out[x] = WordOf(in + 4 * x) | force;
}
void UnswapRow(const UInt32 *in, UInt8 *out, int count, UInt32 force) {
  for (int x = 0; x < count; ++x) BytesOf(in[x] | force, out + 4 * x);
}

void LoadRegion(const CGContext &c, const QRect &region, QImage *image) {
  const UInt32 force = c.skipAlpha ? 0xFF000000u : 0;
  for (int y = 0; y < region.height(); ++y)
    SwapRow(c.data + size_t(region.y() + y) * c.rowBytes + size_t(region.x()) * 4,
            reinterpret_cast<UInt32 *>(image->scanLine(y)), region.width(), force);
}

void StoreRegion(CGContext *c, const QRect &region, const QImage &image) {
  const UInt32 force = c->skipAlpha ? 0xFF000000u : 0;
  for (int y = 0; y < region.height(); ++y)
    UnswapRow(reinterpret_cast<const UInt32 *>(image.constScanLine(y)),
              c->data + size_t(region.y() + y) * c->rowBytes + size_t(region.x()) * 4, region.width(), force);
}

// Runs draw(painter) on the part of the bitmap that deviceBounds (device pixels) and the clip can reach.
// The painter comes with the clip set and the context's transform, shifted to that part.
template <typename Draw>
void Paint(CGContext *c, const QRectF &deviceBounds, Draw draw) {
  QRect region = deviceBounds.toAlignedRect().adjusted(-1, -1, 1, 1) & QRect(0, 0, int(c->width), int(c->height));
  if (c->gs.clipped) region &= c->gs.clip.boundingRect().toAlignedRect();
  if (region.isEmpty()) return;
  QImage image = ScratchImage(&c->regionScratch, region.size(), QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return;
  LoadRegion(*c, region, &image);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QTransform shift = QTransform::fromTranslate(-region.x(), -region.y());
    painter.setTransform(shift);
    if (c->gs.clipped) painter.setClipPath(c->gs.clip);
    painter.setTransform(c->gs.ctm * shift);
    draw(painter, shift);
  }
  StoreRegion(c, region, image);
}

QColor ClampedColor(CGFloat r, CGFloat g, CGFloat b, CGFloat a) {
  return QColor::fromRgbF(std::clamp(r, 0.0f, 1.0f), std::clamp(g, 0.0f, 1.0f), std::clamp(b, 0.0f, 1.0f),
                          std::clamp(a, 0.0f, 1.0f));
}

// The colour of a CGColor of an RGB or grey space; false for another.
bool ColorOf(CGColorRef color, QColor *out) {
  const CGFloat *k = CGColorGetComponents(color);
  switch (CGColorGetNumberOfComponents(color)) {
    case 4: *out = ClampedColor(k[0], k[1], k[2], k[3]); return true;
    case 2: *out = ClampedColor(k[0], k[0], k[0], k[1]); return true;
    default: return false;
  }
}

QRectF RectOf(CGRect r) {
  r = CGRectStandardize(r);
  return QRectF(r.origin.x, r.origin.y, r.size.width, r.size.height);
}

// The outline of a stroke of the path (user space) with the state's width and dash, butt ends and mitred
// corners. Strokes are filled as outlines rather than drawn with a pen: Qt draws thin pens with a fast
// line rasteriser whose dashes and ends do not fall where Quartz puts them.
QPainterPath StrokeOutline(const GState &gs, const QPainterPath &userPath) {
  const qreal width = gs.lineWidth > 0 ? gs.lineWidth : 1;
  QPainterPathStroker stroker;
  stroker.setWidth(width);
  stroker.setCapStyle(Qt::FlatCap);
  stroker.setJoinStyle(Qt::MiterJoin);
  stroker.setMiterLimit(10);
  if (!gs.dash.isEmpty()) {
    // Qt measures dashes in line widths.
    QList<qreal> pattern;
    for (qreal length : gs.dash) pattern.push_back(length / width);
    if (pattern.size() % 2 != 0) pattern += pattern;
    stroker.setDashPattern(pattern);
    stroker.setDashOffset(gs.dashPhase / width);
  }
  return stroker.createStroke(userPath);
}

// Strokes a path given in device pixels with the state's width, dash and stroke colour, in user space.
void StrokeDevicePath(CGContext *c, const QPainterPath &devicePath) {
  if (devicePath.isEmpty()) return;
  bool invertible = false;
  const QTransform toUser = c->gs.ctm.inverted(&invertible);
  if (!invertible) return;
  const QPainterPath outline = StrokeOutline(c->gs, toUser.map(devicePath));
  const QColor color = c->gs.stroke;
  Paint(c, c->gs.ctm.mapRect(outline.boundingRect()),
        [&](QPainter &p, const QTransform &) { p.fillPath(outline, color); });
}

void FillUserRect(CGContext *c, const QRectF &rect, const QColor &color) {
  Paint(c, c->gs.ctm.mapRect(rect), [&](QPainter &p, const QTransform &) { p.fillRect(rect, color); });
}

CGContextRef NewContext(void *data, size_t width, size_t height, size_t rowBytes, bool skipAlpha) {
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return nullptr;
  if (rowBytes == 0) rowBytes = width * 4;
  if (rowBytes < width * 4) return nullptr;
  CGContext *c = new (std::nothrow) CGContext;
  if (c == nullptr) return nullptr;
  if (data == nullptr) {
    data = std::calloc(height, rowBytes);
    if (data == nullptr) {
      delete c;
      return nullptr;
    }
    c->ownsData = true;
  }
  c->data = static_cast<UInt8 *>(data);
  c->width = width;
  c->height = height;
  c->rowBytes = rowBytes;
  c->skipAlpha = skipAlpha;
  // User space: origin at the bottom left, y up.
  c->gs.ctm = QTransform(1, 0, 0, -1, 0, qreal(height));
  return c;
}

}  // namespace

// ---- Bitmap contexts ----

CGContextRef CGBitmapContextCreate(void *data, size_t width, size_t height, size_t bitsPerComponent,
                                   size_t bytesPerRow, CGColorSpaceRef space, CGBitmapInfo bitmapInfo) {
  const CGImageAlphaInfo alpha = bitmapInfo & kCGBitmapAlphaInfoMask;
  if (bitsPerComponent != 8 || CGColorSpaceGetNumberOfComponents(space) != 3 ||
      (bitmapInfo & kCGBitmapByteOrderMask) != 0 ||
      (alpha != kCGImageAlphaPremultipliedFirst && alpha != kCGImageAlphaNoneSkipFirst))
    return nullptr;
  return NewContext(data, width, height, bytesPerRow, alpha == kCGImageAlphaNoneSkipFirst);
}

void *CGBitmapContextGetData(CGContextRef context) {
  CGContext *c = ContextOf(context);
  return c != nullptr ? c->data : nullptr;
}

size_t CGBitmapContextGetWidth(CGContextRef context) {
  CGContext *c = ContextOf(context);
  return c != nullptr ? c->width : 0;
}

size_t CGBitmapContextGetHeight(CGContextRef context) {
  CGContext *c = ContextOf(context);
  return c != nullptr ? c->height : 0;
}

size_t CGBitmapContextGetBytesPerRow(CGContextRef context) {
  CGContext *c = ContextOf(context);
  return c != nullptr ? c->rowBytes : 0;
}

CGImageRef CGBitmapContextCreateImage(CGContextRef context) {
  CGContext *c = ContextOf(context);
  if (c == nullptr) return nullptr;
  return PL_CGImageCreateARGBWithAlphaInfo(c->width, c->height, c->data, c->rowBytes,
                                           c->skipAlpha ? kCGImageAlphaNoneSkipFirst : kCGImageAlphaPremultipliedFirst);
}

CGContextRef CGContextRetain(CGContextRef context) {
  if (context != nullptr) CFRetain(context);
  return context;
}

void CGContextRelease(CGContextRef context) {
  if (context != nullptr) CFRelease(context);
}

CFTypeID CGContextGetTypeID() { return kPL_CFTypeIDCGContext; }

OSStatus CreateCGContextForPort(CGrafPtr inPort, CGContextRef *outContext) {
  if (outContext != nullptr) *outContext = nullptr;
  if (inPort == nullptr || outContext == nullptr) return paramErr;
  PixMapHandle pmh = GetPortPixMap(inPort);
  if (pmh == nullptr || *pmh == nullptr || (*pmh)->pixelFormat != k32ARGBPixelFormat) return unimpErr;
  const PixMap &pm = **pmh;
  *outContext = NewContext(pm.baseAddr, size_t(pm.bounds.right - pm.bounds.left),
                           size_t(pm.bounds.bottom - pm.bounds.top), size_t(pm.rowBytes), true);
  return *outContext != nullptr ? OSStatus(noErr) : OSStatus(memFullErr);
}

// ---- Contexts over views ----

CGContextRef PL_CGContextCreateForView(int width, int height) {
  if (width < 1 || height < 1) return nullptr;
  CGContextRef context = NewContext(nullptr, size_t(width), size_t(height), 0, false);
  if (CGContext *c = ContextOf(context)) c->gs.ctm = QTransform();  // y down from the top left, as a view's
  return context;
}

void PL_CGContextPaintPixels(CGContextRef context, const std::function<void(QPainter &)> &paint) {
  CGContext *c = ContextOf(context);
  if (c == nullptr) return;
  const QRect all(0, 0, int(c->width), int(c->height));
  QImage image = ScratchImage(&c->regionScratch, all.size(), QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return;
  LoadRegion(*c, all, &image);
  {
    QPainter painter(&image);
    paint(painter);
  }
  StoreRegion(c, all, image);
}

QImage PL_CGContextCopyQImage(CGContextRef context) {
  CGContext *c = ContextOf(context);
  if (c == nullptr) return QImage();
  QImage image(int(c->width), int(c->height), QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return image;
  LoadRegion(*c, QRect(0, 0, int(c->width), int(c->height)), &image);
  return image;
}

QImage PL_CGImageCopyQImage(CGImageRef image) {
  const UInt8 *pixels = PL_CGImageGetARGBPixels(image);
  if (pixels == nullptr) return QImage();
  const int w = int(CGImageGetWidth(image)), h = int(CGImageGetHeight(image));
  QImage copy(w, h, PL_CGImageIsPremultiplied(image) ? QImage::Format_ARGB32_Premultiplied : QImage::Format_ARGB32);
  if (copy.isNull()) return copy;
  const size_t rowBytes = CGImageGetBytesPerRow(image);
  for (int y = 0; y < h; ++y)
    SwapRow(pixels + size_t(y) * rowBytes, reinterpret_cast<UInt32 *>(copy.scanLine(y)), w, 0);
  return copy;
}

// ---- The graphics state ----

void CGContextSaveGState(CGContextRef context) {
  CGContext *c = ContextOf(context);
  if (c == nullptr) return;
  try {
    c->saved.push_back(c->gs);
  } catch (const std::bad_alloc &) {
    // A save that cannot be kept: the matching restore finds nothing and leaves the state as it is.
  }
}

void CGContextRestoreGState(CGContextRef context) {
  CGContext *c = ContextOf(context);
  if (c == nullptr || c->saved.empty()) return;
  c->gs = c->saved.back();
  c->saved.pop_back();
}

void CGContextTranslateCTM(CGContextRef context, CGFloat tx, CGFloat ty) {
  if (CGContext *c = ContextOf(context)) c->gs.ctm = QTransform::fromTranslate(tx, ty) * c->gs.ctm;
}

void CGContextScaleCTM(CGContextRef context, CGFloat sx, CGFloat sy) {
  if (CGContext *c = ContextOf(context)) c->gs.ctm = QTransform::fromScale(sx, sy) * c->gs.ctm;
}

void CGContextSetRGBFillColor(CGContextRef context, CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha) {
  if (CGContext *c = ContextOf(context)) c->gs.fill = ClampedColor(red, green, blue, alpha);
}

void CGContextSetRGBStrokeColor(CGContextRef context, CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha) {
  if (CGContext *c = ContextOf(context)) c->gs.stroke = ClampedColor(red, green, blue, alpha);
}

void CGContextSetGrayFillColor(CGContextRef context, CGFloat gray, CGFloat alpha) {
  CGContextSetRGBFillColor(context, gray, gray, gray, alpha);
}

void CGContextSetGrayStrokeColor(CGContextRef context, CGFloat gray, CGFloat alpha) {
  CGContextSetRGBStrokeColor(context, gray, gray, gray, alpha);
}

void CGContextSetFillColorWithColor(CGContextRef context, CGColorRef color) {
  CGContext *c = ContextOf(context);
  QColor q;
  if (c != nullptr && ColorOf(color, &q)) c->gs.fill = q;
}

void CGContextSetStrokeColorWithColor(CGContextRef context, CGColorRef color) {
  CGContext *c = ContextOf(context);
  QColor q;
  if (c != nullptr && ColorOf(color, &q)) c->gs.stroke = q;
}

void CGContextSetLineWidth(CGContextRef context, CGFloat width) {
  if (CGContext *c = ContextOf(context)) c->gs.lineWidth = width;
}

void CGContextSetLineDash(CGContextRef context, CGFloat phase, const CGFloat lengths[], size_t count) {
  CGContext *c = ContextOf(context);
  if (c == nullptr) return;
  QList<qreal> dash;
  bool any = false;
  for (size_t i = 0; lengths != nullptr && i < count; ++i) {
    dash.push_back(std::max(CGFloat(0), lengths[i]));
    any = any || lengths[i] > 0;
  }
  c->gs.dash = any ? dash : QList<qreal>();
  c->gs.dashPhase = phase;
}

void CGContextClipToRect(CGContextRef context, CGRect rect) {
  CGContext *c = ContextOf(context);
  if (c == nullptr) return;
  QPainterPath area;
  area.addPolygon(c->gs.ctm.map(QPolygonF(RectOf(rect))));
  area.closeSubpath();
  c->gs.clip = c->gs.clipped ? c->gs.clip.intersected(area) : area;
  c->gs.clipped = true;
}

// ---- Drawing ----

void CGContextBeginPath(CGContextRef context) {
  if (CGContext *c = ContextOf(context)) c->path = QPainterPath();
}

void CGContextMoveToPoint(CGContextRef context, CGFloat x, CGFloat y) {
  if (CGContext *c = ContextOf(context)) c->path.moveTo(c->gs.ctm.map(QPointF(x, y)));
}

void CGContextAddLineToPoint(CGContextRef context, CGFloat x, CGFloat y) {
  if (CGContext *c = ContextOf(context)) c->path.lineTo(c->gs.ctm.map(QPointF(x, y)));
}

void CGContextClosePath(CGContextRef context) {
  if (CGContext *c = ContextOf(context)) c->path.closeSubpath();
}

void CGContextStrokePath(CGContextRef context) {
  CGContext *c = ContextOf(context);
  if (c == nullptr) return;
  StrokeDevicePath(c, c->path);
  c->path = QPainterPath();
}

void CGContextFillRect(CGContextRef context, CGRect rect) {
  if (CGContext *c = ContextOf(context)) FillUserRect(c, RectOf(rect), c->gs.fill);
}

void CGContextFillEllipseInRect(CGContextRef context, CGRect rect) {
  CGContext *c = ContextOf(context);
  if (c == nullptr) return;
  const QRectF r = RectOf(rect);
  const QColor color = c->gs.fill;
  Paint(c, c->gs.ctm.mapRect(r), [&](QPainter &p, const QTransform &) {
    QPainterPath ellipse;
    ellipse.addEllipse(r);
    p.fillPath(ellipse, color);
  });
}

void CGContextSelectFont(CGContextRef context, const char *name, CGFloat size, CGTextEncoding) {
  CGContext *c = ContextOf(context);
  if (c == nullptr || name == nullptr) return;
  c->fontFamily = QString::fromUtf8(name);
  c->fontPixels = std::max(1, int(std::lround(size)));
}

void CGContextSetTextMatrix(CGContextRef context, CGAffineTransform t) {
  // Qt's glyphs have y down: turn them into Quartz's glyph space (y up) first.
  if (CGContext *c = ContextOf(context)) c->textMatrix = QTransform(t.a, t.b, -t.c, -t.d, 0, 0);
}

void CGContextShowTextAtPoint(CGContextRef context, CGFloat x, CGFloat y, const char *string, size_t length) {
  CGContext *c = ContextOf(context);
  if (c == nullptr || string == nullptr || length == 0) return;
  QString text;
  for (size_t i = 0; i < length; ++i) text += QChar(PL_MacRomanToUnicode(UInt8(string[i])));
  if (c->fontPixels == 0) return;  // no font selected
  QFont font(c->fontFamily);
  font.setStyleHint(QFont::Serif);
  // Without the family the system's serif face stands in (fontconfig's "serif").
  if (!QFontInfo(font).exactMatch()) font = QFont(QStringLiteral("serif"));
  font.setPixelSize(c->fontPixels);
  const QTransform glyphsToUser = c->textMatrix * QTransform::fromTranslate(x, y);
  const QRectF bounds = QFontMetricsF(font).boundingRect(text);
  const QColor color = c->gs.fill;
  Paint(c, (glyphsToUser * c->gs.ctm).mapRect(bounds), [&](QPainter &p, const QTransform &shift) {
    p.setTransform(glyphsToUser * c->gs.ctm * shift);
    p.setFont(font);
    p.setPen(color);
    p.drawText(QPointF(0, 0), text);
  });
}

void CGContextStrokeRect(CGContextRef context, CGRect rect) {
  CGContext *c = ContextOf(context);
  if (c == nullptr) return;
  const QRectF r = RectOf(rect);
  QPainterPath outline;
  outline.addPolygon(c->gs.ctm.map(QPolygonF(r)));
  outline.closeSubpath();
  StrokeDevicePath(c, outline);
}

void CGContextDrawImage(CGContextRef context, CGRect rect, CGImageRef image) {
  CGContext *c = ContextOf(context);
  const UInt8 *pixels = PL_CGImageGetARGBPixels(image);
  if (c == nullptr || pixels == nullptr) return;
  const QRectF r = RectOf(rect);
  const int w = int(CGImageGetWidth(image)), h = int(CGImageGetHeight(image));
  if (r.isEmpty()) return;
  // Image pixels to user space: the first row at the rectangle's top (its maximum y).
  const QTransform place(r.width() / w, 0, 0, -r.height() / h, r.x(), r.y() + r.height());
  const QTransform toDevice = place * c->gs.ctm;
  Paint(c, toDevice.mapRect(QRectF(0, 0, w, h)), [&](QPainter &p, const QTransform &shift) {
    // Only the part of the image that can land in the painted region is converted.
    bool invertible = false;
    const QTransform toImage = (toDevice * shift).inverted(&invertible);
    if (!invertible) return;
    const QRectF target(QPointF(0, 0), QSizeF(p.device()->width(), p.device()->height()));
    const QRect part = toImage.mapRect(target).toAlignedRect().adjusted(-1, -1, 1, 1) & QRect(0, 0, w, h);
    if (part.isEmpty()) return;
    // Rows that land upside down (the usual case: images stand upright in a y-up space) are converted in
    // reverse, so that Qt sees an unflipped image and can copy rows instead of sampling pixels; an opaque
    // image is handed over as one without alpha, which Qt copies instead of blending.
    QTransform toPainter = QTransform::fromTranslate(part.x(), part.y()) * toDevice * shift;
    const bool flip = toPainter.type() <= QTransform::TxScale && toPainter.m22() < 0;
    if (flip) toPainter = QTransform(1, 0, 0, -1, 0, part.height()) * toPainter;
    const bool premultiplied = PL_CGImageIsPremultiplied(image);
    QImage source = ScratchImage(&c->imageScratch, part.size(),
                                 premultiplied ? QImage::Format_ARGB32_Premultiplied : QImage::Format_ARGB32);
    if (source.isNull()) return;
    const size_t rowBytes = CGImageGetBytesPerRow(image);
    UInt32 alphas = 0xFF000000u;
    for (int y = 0; y < part.height(); ++y) {
      const UInt8 *in = pixels + size_t(part.y() + y) * rowBytes + size_t(part.x()) * 4;
      auto *out = reinterpret_cast<UInt32 *>(source.scanLine(flip ? part.height() - 1 - y : y));
      for (int x = 0; x < part.width(); ++x, in += 4) {
        out[x] = WordOf(in);
        alphas &= out[x];
      }
    }
    if (alphas == 0xFF000000u) source.reinterpretAsFormat(QImage::Format_RGB32);
    p.setRenderHint(QPainter::SmoothPixmapTransform, CGImageGetShouldInterpolate(image));
    p.setTransform(toPainter);
    p.drawImage(QPointF(0, 0), source);
  });
}

// ---- Images from PNG data ----

CGImageRef CGImageCreateWithPNGDataProvider(CGDataProviderRef source, const CGFloat decode[], bool,
                                            CGColorRenderingIntent) {
  if (source == nullptr || decode != nullptr) return nullptr;
  static const UInt8 kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<UInt8> bytes;
  if (PL_CGDataProviderCopyBytes(source, size_t(1) << 28, &bytes) != noErr || bytes.size() < sizeof kSignature ||
      std::memcmp(bytes.data(), kSignature, sizeof kSignature) != 0)
    return nullptr;
  GWorldPtr world = nullptr;
  if (PL_ImageDecodeData(bytes.data(), bytes.size(), &world) != noErr) return nullptr;
  PixMapHandle pm = GetGWorldPixMap(world);
  CGImageRef image = PL_CGImageCreateARGB(size_t((*pm)->bounds.right - (*pm)->bounds.left),
                                          size_t((*pm)->bounds.bottom - (*pm)->bounds.top), (*pm)->baseAddr,
                                          size_t((*pm)->rowBytes));
  DisposeGWorld(world);
  return image;
}

// ---- HIToolbox drawing ----

OSStatus HIViewDrawCGImage(CGContextRef inContext, const HIRect *inBounds, CGImageRef inImage) {
  if (ContextOf(inContext) == nullptr || inBounds == nullptr || inImage == nullptr) return paramErr;
  const CGRect b = CGRectStandardize(*inBounds);
  // Flipped back around the bounds, so the image stands upright in a view's y-down space.
  CGContextSaveGState(inContext);
  CGContextTranslateCTM(inContext, 0, b.origin.y + b.size.height);
  CGContextScaleCTM(inContext, 1, -1);
  CGContextDrawImage(inContext, CGRectMake(b.origin.x, 0, b.size.width, b.size.height), inImage);
  CGContextRestoreGState(inContext);
  return noErr;
}

OSStatus HIThemeDrawBackground(const HIRect *inBounds, const HIThemeBackgroundDrawInfo *inDrawInfo,
                               CGContextRef inContext, HIThemeOrientation) {
  CGContext *c = ContextOf(inContext);
  if (c == nullptr || inBounds == nullptr || inDrawInfo == nullptr || inDrawInfo->version != 0 ||
      inDrawInfo->kind != kThemeBackgroundMetal)
    return paramErr;
  const auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
  const QColor window = app != nullptr ? QGuiApplication::palette().color(QPalette::Window) : kDefaultWindowColor;
  FillUserRect(c, RectOf(*inBounds), window);
  return noErr;
}

// ---- Displays ----

CGDirectDisplayID CGMainDisplayID() { return 1; }

namespace {

QSize MainDisplaySize() {
  if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr) {
    if (QScreen *screen = QGuiApplication::primaryScreen()) return screen->geometry().size();
  }
  GDHandle device = GetMainDevice();
  if (device == nullptr) return QSize(0, 0);
  const Rect &r = (*device)->gdRect;
  return QSize(r.right - r.left, r.bottom - r.top);
}

}  // namespace

size_t CGDisplayPixelsWide(CGDirectDisplayID display) {
  return display == CGMainDisplayID() ? size_t(std::max(MainDisplaySize().width(), 0)) : 0;
}

size_t CGDisplayPixelsHigh(CGDirectDisplayID display) {
  return display == CGMainDisplayID() ? size_t(std::max(MainDisplaySize().height(), 0)) : 0;
}
