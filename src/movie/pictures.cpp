// Single images and pictures.
#include "movie/pictures.h"

#include "general/file_layer.h"
#include "general/file_system_helpers.h"
#include "movie/codecs.h"
#include "movie/movie_errors.h"
#include "movie/movie_files.h"
#include "platform/core/aliases.h"
#include "platform/core/file_urls.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"

#include <cstdio>
#include <cstring>

namespace {

// Opens the QuickTime image exporter; 11004 when there is none.
OSStatus OpenImageExporter(GraphicsExportComponent *ge) {
  OSStatus err = OpenADefaultComponent(GraphicsExporterComponentType, kQTFileTypeQuickTimeImage, ge);
  return err == badComponentType ? OSStatus(kQT_NoComponentFoundErr) : err;
}

// Points the exporter at the file through an alias and exports.
OSStatus ExportToFile(GraphicsExportComponent ge, const FSRef *fileRef) {
  AliasHandle alias = nullptr;
  OSStatus err = FSNewAlias(nullptr, fileRef, &alias);
  if (err != noErr) return err;
  err = GraphicsExportSetOutputDataReference(ge, reinterpret_cast<Handle>(alias), rAliasType);
  if (err == noErr) err = GraphicsExportDoExport(ge, nullptr);
  DisposeHandle(reinterpret_cast<Handle>(alias));
  return err;
}

OSStatus ImporterForFile(const FSRef *fileRef, GraphicsImportComponent *gi, SInt32 flags) {
  if (gi == nullptr) return paramErr;
  *gi = nullptr;
  if (fileRef == nullptr) return paramErr;
  AliasHandle alias = nullptr;
  OSStatus err = FSNewAlias(nullptr, fileRef, &alias);
  if (err != noErr) return err;
  err = GetGraphicsImporterForDataRefWithFlags(reinterpret_cast<Handle>(alias), rAliasType, gi, flags);
  DisposeHandle(reinterpret_cast<Handle>(alias));
  return err;
}

}  // namespace

OSStatus QT_SavePixmapToFileDontRecompress(PixMapHandle pixmap, const FSRef *fileRef) {
  if (pixmap == nullptr || fileRef == nullptr) return paramErr;
  GraphicsExportComponent ge = nullptr;
  OSStatus err = OpenImageExporter(&ge);
  if (err != noErr) return err;
  err = GraphicsExportSetInputPixmap(ge, pixmap);
  if (err == noErr) err = GraphicsExportSetDontRecompress(ge, true);
  OSType fileType = 0, creator = 0;
  if (err == noErr) err = GraphicsExportGetDefaultFileTypeAndCreator(ge, &fileType, &creator);
  if (err == noErr) err = MF_FSChangeCreatorType(fileRef, creator, fileType);
  if (err == noErr) err = ExportToFile(ge, fileRef);
  CloseComponent(ge);
  return err;
}

OSStatus QT_SavePictureToFile(PicHandle picture, const FSRef *folder, const HFSUniStr255 *name) {
  if (picture == nullptr || folder == nullptr || name == nullptr) return paramErr;
  FSRef file;
  // The unknown creator, '????'.
  OSStatus err = GL_CreateFile(folder, name, 0x3F3F3F3F, kQTFileTypeQuickTimeImage, true, &file);
  if (err != noErr) return err;
  GraphicsExportComponent ge = nullptr;
  err = OpenImageExporter(&ge);
  if (err != noErr) return err;
  err = GraphicsExportSetInputPicture(ge, picture);
  if (err == noErr) err = GraphicsExportSetDontRecompress(ge, true);
  if (err == noErr) err = ExportToFile(ge, &file);
  CloseComponent(ge);
  return err;
}

OSStatus QT_SaveCompressedImageToFile(ImageDescriptionHandle desc, Handle compressedData, const FSRef *fileRef) {
  if (desc == nullptr || compressedData == nullptr || fileRef == nullptr) return paramErr;
  GraphicsExportComponent ge = nullptr;
  OSStatus err = OpenImageExporter(&ge);
  if (err != noErr) return err;
  err = GraphicsExportSetInputHandle(ge, compressedData, desc);
  if (err == noErr) err = GraphicsExportSetDontRecompress(ge, true);
  if (err == noErr) err = ExportToFile(ge, fileRef);
  CloseComponent(ge);
  return err;
}

OSStatus QT_CompressPixmapAndSaveToFile(PixMapHandle pixmap, SInt16 depth, CodecQ codecQuality, OSType codecType,
                                        const FSRef *fileRef) {
  if (pixmap == nullptr || fileRef == nullptr) return paramErr;
  ImageDescriptionHandle desc = reinterpret_cast<ImageDescriptionHandle>(NewHandleClear(sizeof(ImageDescription)));
  Handle data = NewHandle(0);
  OSStatus err = (desc == nullptr || data == nullptr) ? OSStatus(memFullErr) : OSStatus(noErr);
  if (err == noErr) err = QT_CompressPixmap(pixmap, depth, codecQuality, codecType, desc, data);
  if (err == noErr) err = QT_SaveCompressedImageToFile(desc, data, fileRef);
  if (data != nullptr) DisposeHandle(data);
  if (desc != nullptr) DisposeHandle(reinterpret_cast<Handle>(desc));
  return err;
}

OSStatus QT_PutCompressedImageInPicture(ImageDescriptionHandle desc, Handle compressedData, PicHandle *picture) {
  if (picture == nullptr) return paramErr;
  *picture = nullptr;
  if (desc == nullptr || *desc == nullptr || compressedData == nullptr ||
      GetHandleSize(reinterpret_cast<Handle>(desc)) < Size(sizeof(ImageDescription)))
    return paramErr;
  GWorldPtr world = nullptr;
  OSStatus err = PL_DecodeImageData(desc, *compressedData, size_t(GetHandleSize(compressedData)), &world);
  if (err != noErr) return err;
  err = PL_NewPictureFromPixMap(GetGWorldPixMap(world), nullptr, picture);
  DisposeGWorld(world);
  return err;
}

OSStatus QT_GetGraphicsImporterForFile(const FSRef *fileRef, GraphicsImportComponent *gi) {
  return ImporterForFile(fileRef, gi, 0);
}

OSStatus QT_GetGraphicsImporterForFileFast(const FSRef *fileRef, GraphicsImportComponent *gi) {
  return ImporterForFile(fileRef, gi, kDontUseValidateToFindGraphicsImporter);
}

OSStatus QT_GetPictureFromFile(const FSRef *file, PicHandle *picture) {
  if (picture == nullptr) return paramErr;
  *picture = nullptr;
  GraphicsImportComponent gi = nullptr;
  OSStatus err = QT_GetGraphicsImporterForFile(file, &gi);
  if (err != noErr) return err;
  err = GraphicsImportGetAsPicture(gi, picture);
  CloseComponent(gi);
  return err;
}

OSStatus QT_GetPictureFromURL(CFURLRef picURL, PicHandle *picture) {
  if (picture == nullptr) return paramErr;
  *picture = nullptr;
  FSRef file;
  if (picURL == nullptr || !CFURLGetFSRef(picURL, &file)) return fnfErr;
  return QT_GetPictureFromFile(&file, picture);
}

OSStatus QT_GetCGImageFromFile(const FSRef *file, CGImageRef *cgImage) {
  if (cgImage == nullptr) return paramErr;
  *cgImage = nullptr;
  GraphicsImportComponent gi = nullptr;
  OSStatus err = QT_GetGraphicsImporterForFile(file, &gi);
  if (err != noErr) return err;
  err = GraphicsImportCreateCGImage(gi, cgImage, kGraphicsImportCreateCGImageUsingCurrentSettings);
  CloseComponent(gi);
  return err;
}

OSStatus QT_GetCGImageFromURL(CFURLRef imageURL, CGImageRef *cgImage) {
  if (cgImage == nullptr) return paramErr;
  *cgImage = nullptr;
  Handle dataRef = nullptr;
  OSType dataRefType = 0;
  std::printf("KBZ: QTNewDataReferenceFromCFURL\n");
  OSStatus err = QTNewDataReferenceFromCFURL(imageURL, 0, &dataRef, &dataRefType);
  if (err != noErr) return err;
  GraphicsImportComponent gi = nullptr;
  std::printf("KBZ: GetGraphicsImporterForDataRef\n");
  err = GetGraphicsImporterForDataRef(dataRef, dataRefType, &gi);
  DisposeHandle(dataRef);
  if (err != noErr) return err;
  std::printf("KBZ: GraphicsImportCreateCGImage\n");
  err = GraphicsImportCreateCGImage(gi, cgImage, kGraphicsImportCreateCGImageUsingCurrentSettings);
  CloseComponent(gi);
  if (err == noErr) std::printf("KBZ: QT_GetCGImageFromURL exiting\n");
  return err;
}

OSStatus QT_GraphicsExportCopyToHandle(GraphicsExportComponent ge, Handle *outDataRef, Handle *outData) {
  if (outDataRef == nullptr || outData == nullptr) return paramErr;
  *outDataRef = nullptr;
  *outData = nullptr;
  OSStatus err = GraphicsExportSetDontRecompress(ge, true);
  if (err != noErr) return err;
  Handle data = NewHandle(0);
  if (data == nullptr) return memFullErr;
  OSType extension = 0;
  err = GraphicsExportSetOutputHandle(ge, data);
  if (err == noErr) err = GraphicsExportDoExport(ge, nullptr);
  if (err == noErr) err = GraphicsExportGetDefaultFileNameExtension(ge, &extension);
  Handle dataRef = nullptr;
  if (err == noErr) {
    UInt8 bytes[sizeof(Handle) + 1 + sizeof(OSType)];
    std::memcpy(bytes, &data, sizeof(Handle));
    bytes[sizeof(Handle)] = 0;
    std::memcpy(bytes + sizeof(Handle) + 1, &extension, sizeof(OSType));
    err = PtrToHand(bytes, &dataRef, Size(sizeof(bytes)));
  }
  if (err != noErr) {
    DisposeHandle(data);
    return err;
  }
  *outDataRef = dataRef;
  *outData = data;
  return noErr;
}

OSStatus QT_CopyImageFromDataRefToHandle(Handle inDataRef, OSType dataRefType, Handle *outDataRef, Handle *outData) {
  if (outDataRef == nullptr || outData == nullptr) return paramErr;
  *outDataRef = nullptr;
  *outData = nullptr;
  GraphicsImportComponent gi = nullptr;
  OSStatus err = GetGraphicsImporterForDataRef(inDataRef, dataRefType, &gi);
  if (err != noErr) return err;
  ImageDescriptionHandle desc = nullptr;
  err = GraphicsImportGetImageDescription(gi, &desc);
  CloseComponent(gi);
  if (err != noErr) return err;
  GraphicsExportComponent ge = nullptr;
  err = OpenImageExporter(&ge);
  if (err == noErr) err = GraphicsExportSetInputDataReference(ge, inDataRef, dataRefType, desc);
  if (err == noErr) err = QT_GraphicsExportCopyToHandle(ge, outDataRef, outData);
  CloseComponent(ge);
  DisposeHandle(reinterpret_cast<Handle>(desc));
  return err;
}

OSStatus QT_CopyPictureToHandle(PicHandle picture, Handle *outDataRef, Handle *outData) {
  if (outDataRef == nullptr || outData == nullptr) return paramErr;
  *outDataRef = nullptr;
  *outData = nullptr;
  GraphicsExportComponent ge = nullptr;
  OSStatus err = OpenImageExporter(&ge);
  if (err != noErr) return err;
  err = GraphicsExportSetInputPicture(ge, picture);
  if (err == noErr) err = QT_GraphicsExportCopyToHandle(ge, outDataRef, outData);
  CloseComponent(ge);
  return err;
}

Boolean QT_PictureFilter(AEDesc *item, void *info, NavCallBackUserData callBackUD, NavFilterModes filterMode) {
  (void)callBackUD;
  (void)filterMode;
  FSRef file;
  Boolean isFolder = false;
  if (!QT_GetNavItemFile(item, info, &file, &isFolder)) return isFolder;
  Boolean canOpenWithGraphicsImporter = false;
  if (QT_CanQuickTimeOpenFile(&file, &canOpenWithGraphicsImporter, nullptr, nullptr, 1) != noErr) return false;
  return canOpenWithGraphicsImporter;
}
