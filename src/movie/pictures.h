// Single images and pictures: still images read through graphics importers (as QuickDraw pictures or
// Quartz images), written through the QuickTime image exporter ('grex' 'qtif'), copied into handles, and
// the navigation filter that shows the files an importer can open.
//
// Files are addressed by FSRef and handed to the importers and exporters as alias data references.
// Main thread (or a task that has entered the movie toolbox).
#pragma once

#include "platform/core/navigation_services.h"
#include "platform/movie/movie_types.h"
#include "platform/ui/images_graphics.h"

// Writes the pixel map as a QuickTime image file into the existing file (losslessly, without
// recompression) and gives the file the exporter's creator and type. 11004 without the exporter.
OSStatus QT_SavePixmapToFileDontRecompress(PixMapHandle pixmap, const FSRef *fileRef);
// Writes the picture's image as a new QuickTime image file `name` in the folder (replacing a file of that
// name; type 'qtif', creator '????'), losslessly, without recompression. 11004 without the exporter; the
// file layer's errors for a file that cannot be made.
OSStatus QT_SavePictureToFile(PicHandle picture, const FSRef *folder, const HFSUniStr255 *name);
// Writes compressed image data with its description as a QuickTime image file (as it is).
OSStatus QT_SaveCompressedImageToFile(ImageDescriptionHandle desc, Handle compressedData, const FSRef *fileRef);
// Compresses the pixel map with the codec and writes the result as a QuickTime image file.
OSStatus QT_CompressPixmapAndSaveToFile(PixMapHandle pixmap, SInt16 depth, CodecQ codecQuality, OSType codecType,
                                        const FSRef *fileRef);

// A new picture (owned: KillPicture) of frame (0, 0, width, height) into which the compressed image is
// decompressed; null on failure (the decompressor's error: noCodecErr, codecBadDataErr...).
OSStatus QT_PutCompressedImageInPicture(ImageDescriptionHandle desc, Handle compressedData, PicHandle *picture);

// A graphics importer for the file (owned: CloseComponent); *gi is null on failure. The Fast form chooses
// the importer without validating the image.
OSStatus QT_GetGraphicsImporterForFile(const FSRef *fileRef, GraphicsImportComponent *gi);
OSStatus QT_GetGraphicsImporterForFileFast(const FSRef *fileRef, GraphicsImportComponent *gi);
// The image of the file as a new picture (owned: KillPicture); null on failure.
OSStatus QT_GetPictureFromFile(const FSRef *file, PicHandle *picture);
// The same for a file URL; fnfErr when the URL names no existing file.
OSStatus QT_GetPictureFromURL(CFURLRef picURL, PicHandle *picture);
// The image of the file as a new Quartz image (owned: CGImageRelease); null on failure.
OSStatus QT_GetCGImageFromFile(const FSRef *file, CGImageRef *cgImage);
// The same for a URL, tracing each step on standard output.
OSStatus QT_GetCGImageFromURL(CFURLRef imageURL, CGImageRef *cgImage);

// The image at the data reference as a QuickTime image file in a new handle (*outData, owned:
// DisposeHandle) with a handle data reference to it (*outDataRef, owned: DisposeHandle; see
// QT_GraphicsExportCopyToHandle). Both are null on failure.
OSStatus QT_CopyImageFromDataRefToHandle(Handle inDataRef, OSType dataRefType, Handle *outDataRef, Handle *outData);
// The same for a picture.
OSStatus QT_CopyPictureToHandle(PicHandle picture, Handle *outDataRef, Handle *outData);
// Runs the exporter (its input set) without recompression into a new handle *outData, sized to what was
// written, and makes *outDataRef a handle data reference ('hndl') to it: the handle itself (as many bytes
// as a Handle has here), a zero byte (no name) and the exporter's file name extension code (4 bytes, as
// the exporter gives it). Both owned by the caller; null on failure.
OSStatus QT_GraphicsExportCopyToHandle(GraphicsExportComponent ge, Handle *outDataRef, Handle *outData);

// Navigation filter: shows folders and the files ('fss ', 'fsrf' or 'furl' descriptors) a graphics
// importer can open; hides everything else, and any item it fails to look at.
Boolean QT_PictureFilter(AEDesc *item, void *info, NavCallBackUserData callBackUD, NavFilterModes filterMode);
