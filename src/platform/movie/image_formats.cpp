// Still-image file formats by their leading bytes.
#include "platform/movie/image_formats.h"

#include "platform/movie/atoms.h"

#include <cstring>
#include <fcntl.h>
#include <unistd.h>

OSType PL_ImageFileTypeOfData(const UInt8 *bytes, size_t size) {
  if (bytes == nullptr) return 0;
  auto starts = [&](const char *magic, size_t n) { return size >= n && std::memcmp(bytes, magic, n) == 0; };
  if (starts("\x89PNG\r\n\x1a\n", 8)) return kQTFileTypePNG;
  if (starts("\xFF\xD8\xFF", 3)) return kQTFileTypeJPEG;
  if (starts("II*\0", 4) || starts("MM\0*", 4)) return kQTFileTypeTIFF;
  if (starts("BM", 2) && size >= 14) return kQTFileTypeBMP;
  if (starts("GIF87a", 6) || starts("GIF89a", 6)) return kQTFileTypeGIF;
  if (size >= 8) {
    UInt32 atomSize = PL_GetBE32(bytes);
    OSType type = PL_GetBE32(bytes + 4);
    if (atomSize >= 8 && (type == 'idsc' || type == 'idat')) return kQTFileTypeQuickTimeImage;
  }
  return 0;
}

OSType PL_ImageFileTypeOfFile(const char *path) {
  if (path == nullptr) return 0;
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  UInt8 head[16];
  ssize_t n = pread(fd, head, sizeof(head), 0);
  close(fd);
  return n > 0 ? PL_ImageFileTypeOfData(head, size_t(n)) : 0;
}
