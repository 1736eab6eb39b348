// Graphics importers and exporters (Image Compression Manager stand-in): components of type 'grip' that
// read one still image from a data reference, and of type 'grex' that write one.
//
//   importers 'PNGf', 'JPEG', 'TIFF', 'BMPf', 'GIFf' (through QtGui) and 'qtif' (QuickTime image files:
//             an 'idsc' atom with the big-endian image description, an 'idat' atom with the image data,
//             whose codec is 'png ', 'jpeg', 'tiff', 'bmp ', 'gif ', uncompressed 'raw ' of depth 24 or 32,
//             or any codec the decompressors know)
//   exporters 'qtif', 'PNGf', 'JPEG', 'TIFF', 'BMPf'
//
// Compressed input from a data reference to a QuickTime image file is the image data inside it.
//
// Data references: file references ('alis', 'url ') and handle references ('hndl': the handle, then
// optionally a Pascal name and a 4-byte extension code). An importer reads its file when it is asked for
// the image; data that is damaged gives codecBadDataErr, data of no image kind known here noCodecErr,
// never a crash. Exporters write only their output: a file they replace, or a handle they resize.
//
// Nothing here needs a display. An instance is used by one thread at a time.
#pragma once

#include "platform/core/quartz_images.h"
#include "platform/core/quickdraw_pictures.h"
#include "platform/movie/codec_info.h"
#include "platform/movie/components.h"
#include "platform/movie/image_formats.h"
#include "platform/movie/movie_types.h"

typedef ComponentInstance GraphicsImportComponent;
typedef ComponentInstance GraphicsExportComponent;

enum : OSType {
  GraphicsImporterComponentType = 'grip',
  GraphicsExporterComponentType = 'grex',
};

enum : SInt32 {
  // GetGraphicsImporterForDataRefWithFlags: choose by the data's leading bytes only, without validating
  // the image (here the importer is always chosen that way; decoding happens on demand).
  kDontUseValidateToFindGraphicsImporter = 1L << 0,
};
enum : UInt32 {
  // GraphicsImportCreateCGImage: use the importer's source rectangle and settings.
  kGraphicsImportCreateCGImageUsingCurrentSettings = 1L << 0,
};
enum : SInt32 { graphicsModeStraightAlpha = 256 };

// ---- Importers ----
// An importer for the image at the data reference (owned: CloseComponent); noCodecErr when no importer
// takes it, file errors as the File Manager gives them.
OSErr GetGraphicsImporterForDataRef(Handle dataRef, OSType dataRefType, GraphicsImportComponent *gi);
OSErr GetGraphicsImporterForDataRefWithFlags(Handle dataRef, OSType dataRefType, ComponentInstance *gi, SInt32 flags);
// The image's own bounds (0, 0, width, height).
ComponentResult GraphicsImportGetNaturalBounds(GraphicsImportComponent ci, Rect *naturalBounds);
// Where the image is drawn (by default its natural bounds), and the part of it drawn (by default all).
ComponentResult GraphicsImportGetBoundsRect(GraphicsImportComponent ci, Rect *bounds);
ComponentResult GraphicsImportSetBoundsRect(GraphicsImportComponent ci, const Rect *bounds);
ComponentResult GraphicsImportGetSourceRect(GraphicsImportComponent ci, Rect *sourceRect);
// paramErr for a rectangle that is empty or not inside the natural bounds.
ComponentResult GraphicsImportSetSourceRect(GraphicsImportComponent ci, const Rect *sourceRect);
// A new description of the image (owned: DisposeHandle): codec type, size, depth 32 (24 for images without
// alpha), 72 dpi; for a QuickTime image file the description stored in it.
ComponentResult GraphicsImportGetImageDescription(GraphicsImportComponent ci, ImageDescriptionHandle *desc);
// The data reference read (a copy: owned, DisposeHandle).
ComponentResult GraphicsImportGetDataReference(GraphicsImportComponent ci, Handle *dataRef, OSType *dataRefType);
// The offscreen world Draw draws into (null: the current one at the time of drawing).
ComponentResult GraphicsImportSetGWorld(GraphicsImportComponent ci, CGrafPtr port, GDHandle gd);
ComponentResult GraphicsImportGetGWorld(GraphicsImportComponent ci, CGrafPtr *port, GDHandle *gd);
// Kept for the caller; drawing copies pixels in every mode.
ComponentResult GraphicsImportSetGraphicsMode(GraphicsImportComponent ci, SInt32 graphicsMode, const RGBColor *opColor);
// Draws the source rectangle scaled into the bounds rectangle (DrawPicture's rules).
ComponentResult GraphicsImportDraw(GraphicsImportComponent ci);
// A new picture of the source rectangle (owned: KillPicture) whose frame is the bounds rectangle.
ComponentResult GraphicsImportGetAsPicture(GraphicsImportComponent ci, PicHandle *picture);
// A new image (owned: CGImageRelease): the source rectangle with kGraphicsImportCreateCGImageUsingCurrentSettings,
// else the whole image.
ComponentResult GraphicsImportCreateCGImage(GraphicsImportComponent ci, CGImageRef *imageRefOut, UInt32 flags);

// ---- Exporters ----
// One input at a time; each call replaces the earlier input. Inputs are borrowed until the export ran.
ComponentResult GraphicsExportSetInputGWorld(GraphicsExportComponent ci, GWorldPtr gworld);
ComponentResult GraphicsExportSetInputPixmap(GraphicsExportComponent ci, PixMapHandle pixMap);
ComponentResult GraphicsExportSetInputPicture(GraphicsExportComponent ci, PicHandle picture);
// Compressed image data with its description.
ComponentResult GraphicsExportSetInputDataReference(GraphicsExportComponent ci, Handle dataRef, OSType dataRefType,
                                                    ImageDescriptionHandle desc);
ComponentResult GraphicsExportSetInputHandle(GraphicsExportComponent ci, Handle h, ImageDescriptionHandle desc);
ComponentResult GraphicsExportSetInputPtr(GraphicsExportComponent ci, Ptr p, UInt32 size, ImageDescriptionHandle desc);
// Output to a file (which is replaced) or into a handle (resized to what is written).
ComponentResult GraphicsExportSetOutputDataReference(GraphicsExportComponent ci, Handle dataRef, OSType dataRefType);
ComponentResult GraphicsExportSetOutputHandle(GraphicsExportComponent ci, Handle h);
// With true, compressed input is written as it is when the exporter's format can hold it ('qtif' holds
// every codec); pixel input is stored losslessly ('png ') by 'qtif'.
ComponentResult GraphicsExportSetDontRecompress(GraphicsExportComponent ci, Boolean dontRecompress);
ComponentResult GraphicsExportGetDontRecompress(GraphicsExportComponent ci, Boolean *dontRecompress);
ComponentResult GraphicsExportSetCompressionQuality(GraphicsExportComponent ci, CodecQ spatialQuality);
// File type and creator the exporter gives its files, and its file name extension code (text order,
// blank-padded: 'qtif', 'png ', 'jpg ', 'tif ', 'bmp ').
ComponentResult GraphicsExportGetDefaultFileTypeAndCreator(GraphicsExportComponent ci, OSType *fileType,
                                                           OSType *fileCreator);
ComponentResult GraphicsExportGetDefaultFileNameExtension(GraphicsExportComponent ci, OSType *fileNameExtension);
// Writes the input to the output. paramErr without input or output; *actualSizeWritten (may be null) gets
// the byte count. A failed file export removes what it wrote.
ComponentResult GraphicsExportDoExport(GraphicsExportComponent ci, UInt32 *actualSizeWritten);

// ---- Our own helpers ----
// Decodes compressed image data with its description into a new 32-bit ARGB world (owned: DisposeGWorld):
// image file formats through QtGui, 'raw ' here, other codecs through the decompressors; noCodecErr for
// a codec nothing decodes.
OSStatus PL_DecodeImageData(ImageDescriptionHandle desc, const void *data, size_t size, GWorldPtr *argbWorld);
