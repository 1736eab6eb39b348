// Image files through QtGui.
#include "platform/ui/images.h"

#include "platform/core/mac_errors.h"
#include "platform/movie/image_formats.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *QtFormatName(OSType fileType) {
  switch (fileType) {
    case kQTFileTypePNG: return "png";
    case kQTFileTypeJPEG: return "jpeg";
    case kQTFileTypeTIFF: return "tiff";
    case kQTFileTypeBMP: return "bmp";
    case kQTFileTypeGIF: return "gif";
    default: return nullptr;
  }
}

// Reads a whole file; sizes that do not fit memory give memFullErr.
OSStatus ReadFile(const char *path, QByteArray *bytes) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return PL_OSStatusFromErrno(errno);
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    int e = errno;
    close(fd);
    return PL_OSStatusFromErrno(e);
  }
  if (S_ISDIR(st.st_mode)) {
    close(fd);
    return notAFileErr;
  }
  if (st.st_size < 0 || UInt64(st.st_size) > UInt64(0x7FFFFFFF)) {
    close(fd);
    return memFullErr;
  }
  bytes->resize(qsizetype(st.st_size));
  qsizetype done = 0;
  while (done < bytes->size()) {
    ssize_t n = pread(fd, bytes->data() + done, size_t(bytes->size() - done), done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int e = n < 0 ? errno : 0;
      close(fd);
      return n < 0 ? PL_OSStatusFromErrno(e) : eofErr;
    }
    done += n;
  }
  close(fd);
  return noErr;
}

// Truncation that the decoders would take for a complete image (they fill in what is missing) is caught
// here: a PNG must end with its IEND chunk, a JPEG must have its end marker behind its last scan, a BMP
// must hold the size its header states.
bool LooksComplete(OSType fileType, const UInt8 *p, size_t size) {
  switch (fileType) {
    case kQTFileTypePNG: {
      static const UInt8 kEnd[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
      return size >= 12 && std::memcmp(p + size - 12, kEnd, 12) == 0;
    }
    case kQTFileTypeJPEG: {
      size_t lastScan = 0;
      bool end = false;
      for (size_t i = 2; i + 1 < size; ++i) {
        if (p[i] != 0xFF) continue;
        if (p[i + 1] == 0xDA) {
          lastScan = i;
          end = false;
        } else if (p[i + 1] == 0xD9 && lastScan != 0) {
          end = true;
        }
      }
      return end;
    }
    case kQTFileTypeBMP: {
      if (size < 14) return false;
      UInt32 stated = UInt32(p[2]) | (UInt32(p[3]) << 8) | (UInt32(p[4]) << 16) | (UInt32(p[5]) << 24);
      return stated == 0 || stated <= size;
    }
    default: return true;
  }
}

}  // namespace

OSStatus PL_ImageDataSize(const void *bytes, size_t size, SInt32 *width, SInt32 *height) {
  if (bytes == nullptr || width == nullptr || height == nullptr) return paramErr;
  *width = *height = 0;
  const OSType fileType = PL_ImageFileTypeOfData(static_cast<const UInt8 *>(bytes), size);
  const char *format = QtFormatName(fileType);
  if (format == nullptr) return noCodecErr;
  if (size > size_t(0x7FFFFFFF)) return memFullErr;
  if (!LooksComplete(fileType, static_cast<const UInt8 *>(bytes), size)) return codecBadDataErr;
  QByteArray data = QByteArray::fromRawData(static_cast<const char *>(bytes), qsizetype(size));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, format);
  QSize s = reader.size();
  if (!s.isValid() || s.width() <= 0 || s.height() <= 0) return codecBadDataErr;
  // Rectangles hold 16-bit coordinates.
  if (s.width() > 0x7FFF || s.height() > 0x7FFF) return codecSizeErr;
  *width = s.width();
  *height = s.height();
  return noErr;
}

OSStatus PL_ImageDecodeData(const void *bytes, size_t size, GWorldPtr *argbWorld) {
  if (argbWorld == nullptr) return paramErr;
  *argbWorld = nullptr;
  SInt32 width = 0, height = 0;
  OSStatus err = PL_ImageDataSize(bytes, size, &width, &height);
  if (err != noErr) return err;
  const char *format = QtFormatName(PL_ImageFileTypeOfData(static_cast<const UInt8 *>(bytes), size));
  QByteArray data = QByteArray::fromRawData(static_cast<const char *>(bytes), qsizetype(size));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, format);
  QImage image;
  if (!reader.read(&image) || image.isNull() || image.width() != width || image.height() != height)
    return codecBadDataErr;
  image = image.convertToFormat(QImage::Format_ARGB32);
  if (image.isNull()) return memFullErr;
  Rect bounds{0, 0, SInt16(height), SInt16(width)};
  GWorldPtr world = nullptr;
  err = QTNewGWorld(&world, k32ARGBPixelFormat, &bounds, nullptr, nullptr, 0);
  if (err != noErr) return err;
  PixMapHandle pm = GetGWorldPixMap(world);
  UInt8 *base = reinterpret_cast<UInt8 *>(GetPixBaseAddr(pm));
  SInt32 rowBytes = GetPixRowBytes(pm);
  for (SInt32 y = 0; y < height; ++y) {
    const QRgb *src = reinterpret_cast<const QRgb *>(image.constScanLine(y));
    UInt8 *dst = base + size_t(y) * size_t(rowBytes);
    for (SInt32 x = 0; x < width; ++x) {
      QRgb p = src[x];
      dst[4 * x] = UInt8(qAlpha(p));
      dst[4 * x + 1] = UInt8(qRed(p));
      dst[4 * x + 2] = UInt8(qGreen(p));
      dst[4 * x + 3] = UInt8(qBlue(p));
    }
  }
  *argbWorld = world;
  return noErr;
}

OSStatus PL_ImageDecodeFile(const char *path, GWorldPtr *argbWorld) {
  if (argbWorld == nullptr) return paramErr;
  *argbWorld = nullptr;
  if (path == nullptr) return paramErr;
  QByteArray bytes;
  OSStatus err = ReadFile(path, &bytes);
  if (err != noErr) return err;
  return PL_ImageDecodeData(bytes.constData(), size_t(bytes.size()), argbWorld);
}

OSStatus PL_ImageEncode(PixMapHandle pixMap, const Rect *srcRect, OSType fileType, UInt32 quality,
                        std::vector<UInt8> *out) {
  if (pixMap == nullptr || *pixMap == nullptr || out == nullptr) return paramErr;
  out->clear();
  const char *format = QtFormatName(fileType);
  if (format == nullptr || fileType == kQTFileTypeGIF) return noCodecErr;
  const PixMap &pm = **pixMap;
  Rect r = srcRect != nullptr ? *srcRect : pm.bounds;
  if (r.left < pm.bounds.left || r.top < pm.bounds.top || r.right > pm.bounds.right || r.bottom > pm.bounds.bottom ||
      r.right <= r.left || r.bottom <= r.top)
    return paramErr;
  OSType pixelFormat = pm.pixelFormat;
  if (pixelFormat != k32ARGBPixelFormat && pixelFormat != k24RGBPixelFormat &&
      pixelFormat != k8IndexedGrayPixelFormat && pixelFormat != k8IndexedPixelFormat)
    return cDepthErr;
  const int width = r.right - r.left, height = r.bottom - r.top;
  QImage image(width, height, QImage::Format_ARGB32);
  if (image.isNull()) return memFullErr;
  const UInt8 *base = reinterpret_cast<const UInt8 *>(pm.baseAddr);
  for (int y = 0; y < height; ++y) {
    const UInt8 *row = base + size_t(r.top - pm.bounds.top + y) * size_t(pm.rowBytes);
    QRgb *dst = reinterpret_cast<QRgb *>(image.scanLine(y));
    for (int x = 0; x < width; ++x) {
      int sx = r.left - pm.bounds.left + x;
      switch (pixelFormat) {
        case k32ARGBPixelFormat: {
          const UInt8 *p = row + 4 * sx;
          dst[x] = qRgba(p[1], p[2], p[3], p[0]);
          break;
        }
        case k24RGBPixelFormat: {
          const UInt8 *p = row + 3 * sx;
          dst[x] = qRgb(p[0], p[1], p[2]);
          break;
        }
        case k8IndexedGrayPixelFormat: {
          UInt8 v = UInt8(255 - row[sx]);  // index 0 is white
          dst[x] = qRgb(v, v, v);
          break;
        }
        default: {
          UInt8 red, green, blue;
          PL_DefaultIndexedColor(row[sx], &red, &green, &blue);
          dst[x] = qRgb(red, green, blue);
          break;
        }
      }
    }
  }
  // JPEG and BMP files keep no alpha.
  if (fileType == kQTFileTypeJPEG || fileType == kQTFileTypeBMP) image = image.convertToFormat(QImage::Format_RGB32);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, format);
  if (fileType == kQTFileTypeJPEG) writer.setQuality(int(std::min<UInt32>(quality, 1023) * 100 / 1023));
  if (!writer.write(image)) return writer.error() == QImageWriter::UnsupportedFormatError ? noCodecErr : ioErr;
  out->assign(reinterpret_cast<const UInt8 *>(bytes.constData()),
              reinterpret_cast<const UInt8 *>(bytes.constData()) + bytes.size());
  return noErr;
}
