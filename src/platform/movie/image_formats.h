// Still-image file formats the graphics importers read, recognised by their leading bytes, so that the
// movie layer can answer "can a graphics importer open this file" without decoding it.
// Pure functions; any thread.
#pragma once

#include "platform/core/mac_types.h"

// File types of still images (the graphics importers' and exporters' subtypes).
enum : OSType {
  kQTFileTypePNG = 'PNGf',
  kQTFileTypeJPEG = 'JPEG',
  kQTFileTypeTIFF = 'TIFF',
  kQTFileTypeBMP = 'BMPf',
  kQTFileTypeGIF = 'GIFf',
  kQTFileTypeQuickTimeImage = 'qtif',
};

// The image file type of data beginning with these bytes (at least the first 16 of the file, or all of a
// shorter file); 0 when they begin no image format known here. A QuickTime image file is recognised by
// its first atom, 'idsc' or 'idat'.
OSType PL_ImageFileTypeOfData(const UInt8 *bytes, size_t size);
// The same for the start of a file; 0 when it cannot be read or is no image.
OSType PL_ImageFileTypeOfFile(const char *path);
