// Image sources over QImageReader: the file's pictures are decoded once, when the source is made.
#include "platform/ui/image_sources.h"

#include "platform/core/cf_object.h"
#include "platform/core/mac_errors.h"

#include <QImage>
#include <QImageReader>
#include <QString>

#include <new>
#include <vector>

struct CGImageSource : PL_CFObject {
  CGImageSource() : PL_CFObject(kPL_CFTypeIDCGImageSource) {}
  std::vector<QImage> pictures;  // ARGB32, straight alpha
};

namespace {
CGImageSource *SourceOf(CGImageSourceRef source) {
  return PL_CFIsType(source, kPL_CFTypeIDCGImageSource) ? static_cast<CGImageSource *>(PL_CFMutableObjectOf(source))
                                                         : nullptr;
}
}  // namespace

CGImageSourceRef CGImageSourceCreateWithURL(CFURLRef url, CFDictionaryRef) {
  if (url == nullptr) return nullptr;
  const std::string path = PL_CFURLGetPath(url);
  if (path.empty()) return nullptr;
  QImageReader reader(QString::fromStdString(path));
  if (!reader.canRead()) return nullptr;
  auto *source = new (std::nothrow) CGImageSource;
  if (source == nullptr) return nullptr;
  // Some formats give no count before the first read; read until the reader has no next picture.
  const int count = reader.imageCount();
  for (int i = 0; count <= 0 ? i == 0 || reader.canRead() : i < count; ++i) {
    if (count > 0 && !reader.jumpToImage(i)) break;
    QImage picture = reader.read();
    if (picture.isNull()) break;
    source->pictures.push_back(picture.convertToFormat(QImage::Format_ARGB32));
    if (count <= 0 && !reader.jumpToNextImage()) break;
  }
  if (source->pictures.empty()) {
    delete source;
    return nullptr;
  }
  return source;
}

size_t CGImageSourceGetCount(CGImageSourceRef source) {
  const CGImageSource *s = SourceOf(source);
  return s != nullptr ? s->pictures.size() : 0;
}

CGImageRef CGImageSourceCreateImageAtIndex(CGImageSourceRef source, size_t index, CFDictionaryRef) {
  const CGImageSource *s = SourceOf(source);
  if (s == nullptr || index >= s->pictures.size()) return nullptr;
  const QImage &picture = s->pictures[index];
  const size_t width = size_t(picture.width()), height = size_t(picture.height());
  std::vector<UInt8> argb(width * height * 4);
  for (size_t y = 0; y < height; ++y) {
    const auto *row = reinterpret_cast<const QRgb *>(picture.constScanLine(int(y)));
    UInt8 *dst = argb.data() + y * width * 4;
    for (size_t x = 0; x < width; ++x, dst += 4) {
      dst[0] = UInt8(qAlpha(row[x]));
      dst[1] = UInt8(qRed(row[x]));
      dst[2] = UInt8(qGreen(row[x]));
      dst[3] = UInt8(qBlue(row[x]));
    }
  }
  return PL_CGImageCreateARGBWithAlphaInfo(width, height, argb.data(), width * 4, kCGImageAlphaFirst);
}

OSStatus PL_CGImageSourceGetPixelSizeAtIndex(CGImageSourceRef source, size_t index, size_t *width, size_t *height) {
  const CGImageSource *s = SourceOf(source);
  if (s == nullptr || width == nullptr || height == nullptr || index >= s->pictures.size()) return paramErr;
  *width = size_t(s->pictures[index].width());
  *height = size_t(s->pictures[index].height());
  return noErr;
}
