// Single images and pictures: saving pixel maps and compressed images as QuickTime image files, reading
// files as pictures and Quartz images, copying images into handles, and the picture filter.
#include "movie/pictures.h"

#include "general/file_system_helpers.h"
#include "movie/movie_errors.h"
#include "platform/core/cf_string.h"
#include "platform/core/cf_url.h"
#include "platform/core/file_urls.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/ui/images.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using bz_test::RefFor;
using bz_test::TempDir;

// 5 x 3 world whose pixels all differ.
GWorldPtr SmallWorld() {
  Rect bounds{0, 0, 3, 5};
  GWorldPtr world = nullptr;
  EXPECT_EQ(noErr, QTNewGWorld(&world, k32ARGBPixelFormat, &bounds, nullptr, nullptr, 0));
  PixMapHandle pm = GetGWorldPixMap(world);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) {
      UInt8 *p = reinterpret_cast<UInt8 *>(GetPixBaseAddr(pm)) + y * GetPixRowBytes(pm) + 4 * x;
      p[0] = 255;
      p[1] = UInt8(50 * x);
      p[2] = UInt8(80 * y);
      p[3] = UInt8(7 * x + y);
    }
  return world;
}

bool SamePixels(GWorldPtr world, const UInt8 *argb, size_t rowBytes) {
  PixMapHandle pm = GetGWorldPixMap(world);
  const Rect &b = (*pm)->bounds;
  for (int y = 0; y < b.bottom; ++y)
    if (std::memcmp(GetPixBaseAddr(pm) + y * GetPixRowBytes(pm), argb + y * rowBytes, size_t(b.right) * 4) != 0)
      return false;
  return true;
}

FSRef EmptyFile(const TempDir &dir, const char *name) {
  bz_test::WriteText(dir.File(name), "");
  return RefFor(dir.File(name));
}

TEST(MoviePictures, SavedPixmapReadsBackAsPictureAndImage) {
  TempDir dir;
  GWorldPtr world = SmallWorld();
  FSRef file = EmptyFile(dir, "saved.qtif");
  ASSERT_EQ(noErr, QT_SavePixmapToFileDontRecompress(GetGWorldPixMap(world), &file));
  FSCatalogInfo info{};
  ASSERT_EQ(noErr, FSGetCatalogInfo(&file, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr));
  const FileInfo *finder = reinterpret_cast<const FileInfo *>(info.finderInfo);
  // Creator and type live in an extended attribute where the file system has them.
  if (finder->fileType != 0) {
    EXPECT_EQ(OSType('qtif'), finder->fileType);
  }

  PicHandle pic = nullptr;
  ASSERT_EQ(noErr, QT_GetPictureFromFile(&file, &pic));
  Rect frame{};
  QDGetPictureBounds(pic, &frame);
  EXPECT_EQ(3, frame.bottom);
  EXPECT_EQ(5, frame.right);
  const UInt8 *argb = nullptr;
  ASSERT_EQ(noErr, PL_GetPictureImage(pic, nullptr, nullptr, &argb));
  EXPECT_TRUE(SamePixels(world, argb, 5 * 4));
  KillPicture(pic);

  CGImageRef image = nullptr;
  ASSERT_EQ(noErr, QT_GetCGImageFromFile(&file, &image));
  EXPECT_TRUE(SamePixels(world, PL_CGImageGetARGBPixels(image), CGImageGetBytesPerRow(image)));
  CGImageRelease(image);

  CFURLRef url = CFURLCreateFromFSRef(nullptr, &file);
  ASSERT_EQ(noErr, QT_GetCGImageFromURL(url, &image));
  EXPECT_EQ(5u, CGImageGetWidth(image));
  CGImageRelease(image);
  ASSERT_EQ(noErr, QT_GetPictureFromURL(url, &pic));
  KillPicture(pic);
  CFRelease(url);
  DisposeGWorld(world);
}

TEST(MoviePictures, MissingAndForeignFilesGiveErrorsAndNoResult) {
  TempDir dir;
  bz_test::WriteText(dir.File("notes.txt"), "not a picture, just words");
  FSRef text = RefFor(dir.File("notes.txt"));
  PicHandle pic = reinterpret_cast<PicHandle>(1);
  EXPECT_EQ(noCodecErr, QT_GetPictureFromFile(&text, &pic));
  EXPECT_EQ(nullptr, pic);
  CGImageRef image = nullptr;
  EXPECT_EQ(noCodecErr, QT_GetCGImageFromFile(&text, &image));
  EXPECT_EQ(nullptr, image);
  CFURLRef missing = CFURLCreateFromFileSystemRepresentation(
      nullptr, reinterpret_cast<const UInt8 *>(dir.File("gone.png").c_str()), CFIndex(dir.File("gone.png").size()),
      false);
  EXPECT_EQ(fnfErr, QT_GetPictureFromURL(missing, &pic));
  EXPECT_EQ(fnfErr, QT_GetCGImageFromURL(missing, &image));
  CFRelease(missing);
  GraphicsImportComponent gi = nullptr;
  EXPECT_EQ(noCodecErr, QT_GetGraphicsImporterForFileFast(&text, &gi));
  EXPECT_EQ(nullptr, gi);
}

TEST(MoviePictures, CompressedImageIsSavedUnchanged) {
  TempDir dir;
  GWorldPtr world = SmallWorld();
  std::vector<UInt8> png;
  ASSERT_EQ(noErr, PL_ImageEncode(GetGWorldPixMap(world), nullptr, kQTFileTypePNG, 0, &png));
  ImageDescriptionHandle desc = reinterpret_cast<ImageDescriptionHandle>(NewHandleClear(sizeof(ImageDescription)));
  (*desc)->idSize = sizeof(ImageDescription);
  (*desc)->cType = 'png ';
  (*desc)->width = 5;
  (*desc)->height = 3;
  (*desc)->depth = 32;
  Handle data = nullptr;
  ASSERT_EQ(noErr, PtrToHand(png.data(), &data, Size(png.size())));
  FSRef file = EmptyFile(dir, "c.qtif");
  ASSERT_EQ(noErr, QT_SaveCompressedImageToFile(desc, data, &file));
  GraphicsImportComponent gi = nullptr;
  ASSERT_EQ(noErr, QT_GetGraphicsImporterForFile(&file, &gi));
  ImageDescriptionHandle got = nullptr;
  ASSERT_EQ(noErr, GraphicsImportGetImageDescription(gi, &got));
  EXPECT_EQ(OSType('png '), (*got)->cType);
  EXPECT_EQ(5, (*got)->width);
  DisposeHandle(reinterpret_cast<Handle>(got));
  CloseComponent(gi);
  DisposeHandle(data);
  DisposeHandle(reinterpret_cast<Handle>(desc));
  DisposeGWorld(world);
}

TEST(MoviePictures, PixmapCompressedToJpegIsSavedAndReadsBack) {
  TempDir dir;
  GWorldPtr world = SmallWorld();
  FSRef file = EmptyFile(dir, "j.qtif");
  ASSERT_EQ(noErr, QT_CompressPixmapAndSaveToFile(GetGWorldPixMap(world), 32, codecMaxQuality, 'jpeg', &file));
  GraphicsImportComponent gi = nullptr;
  ASSERT_EQ(noErr, QT_GetGraphicsImporterForFile(&file, &gi));
  ImageDescriptionHandle got = nullptr;
  ASSERT_EQ(noErr, GraphicsImportGetImageDescription(gi, &got));
  EXPECT_EQ(OSType('jpeg'), (*got)->cType);
  EXPECT_EQ(5, (*got)->width);
  EXPECT_EQ(3, (*got)->height);
  DisposeHandle(reinterpret_cast<Handle>(got));
  CloseComponent(gi);
  // A codec that does not exist here leaves nothing behind but its error.
  EXPECT_EQ(noCodecErr, QT_CompressPixmapAndSaveToFile(GetGWorldPixMap(world), 32, codecMaxQuality, 'icod', &file));
  EXPECT_EQ(paramErr, QT_CompressPixmapAndSaveToFile(nullptr, 32, codecMaxQuality, 'jpeg', &file));
  DisposeGWorld(world);
}

// The handle data reference: the handle, an empty name, the extension code; an importer reads it back.
TEST(MoviePictures, PictureCopiedToHandleReadsBackThroughItsDataReference) {
  GWorldPtr world = SmallWorld();
  PicHandle pic = nullptr;
  ASSERT_EQ(noErr, PL_NewPictureFromPixMap(GetGWorldPixMap(world), nullptr, &pic));
  Handle dataRef = nullptr, data = nullptr;
  ASSERT_EQ(noErr, QT_CopyPictureToHandle(pic, &dataRef, &data));
  ASSERT_EQ(Size(sizeof(Handle) + 5), GetHandleSize(dataRef));
  Handle inRef = nullptr;
  std::memcpy(&inRef, *dataRef, sizeof(Handle));
  EXPECT_EQ(data, inRef);
  EXPECT_EQ(0, (*dataRef)[sizeof(Handle)]);
  OSType extension = 0;
  std::memcpy(&extension, *dataRef + sizeof(Handle) + 1, 4);
  EXPECT_EQ(OSType('qtif'), extension);
  EXPECT_EQ(OSType('idsc'), PL_GetBE32(reinterpret_cast<const UInt8 *>(*data) + 4));

  // The copy of a copy: from the handle data reference into another handle.
  Handle dataRef2 = nullptr, data2 = nullptr;
  ASSERT_EQ(noErr, QT_CopyImageFromDataRefToHandle(dataRef, HandleDataHandlerSubType, &dataRef2, &data2));
  GraphicsImportComponent gi = nullptr;
  ASSERT_EQ(noErr, GetGraphicsImporterForDataRef(dataRef2, HandleDataHandlerSubType, &gi));
  CGImageRef image = nullptr;
  ASSERT_EQ(noErr, GraphicsImportCreateCGImage(gi, &image, 0));
  EXPECT_TRUE(SamePixels(world, PL_CGImageGetARGBPixels(image), CGImageGetBytesPerRow(image)));
  CGImageRelease(image);
  CloseComponent(gi);
  for (Handle h : {dataRef, data, dataRef2, data2}) DisposeHandle(h);
  KillPicture(pic);
  EXPECT_EQ(paramErr, QT_CopyPictureToHandle(reinterpret_cast<PicHandle>(NewHandleClear(4)), &dataRef, &data));
  EXPECT_EQ(nullptr, dataRef);
  EXPECT_EQ(nullptr, data);
  DisposeGWorld(world);
}

// The filter shows folders and images, nothing else.
TEST(MoviePictures, PictureFilterShowsFoldersAndImagesOnly) {
  TempDir dir;
  GWorldPtr world = SmallWorld();
  std::vector<UInt8> png;
  ASSERT_EQ(noErr, PL_ImageEncode(GetGWorldPixMap(world), nullptr, kQTFileTypePNG, 0, &png));
  DisposeGWorld(world);
  ASSERT_TRUE(bz_test::WriteWholeFile(dir.File("image.png"), png));
  bz_test::FixtureMovieInfo written;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(dir.File("clip.mov"), bz_test::FixtureMovieSpec{}, &written));
  bz_test::WriteText(dir.File("notes.txt"), "plain words in a file");
  struct Case {
    const char *name;
    bool folder;
    DescType type;
    bool shown;
  };
  const Case cases[] = {
      {"", true, typeFSRef, true},
      {"image.png", false, typeFSRef, true},
      {"image.png", false, typeFileURL, true},
      {"clip.mov", false, typeFSRef, false},
      {"notes.txt", false, typeFSRef, false},
      {"image.png", false, typeChar, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.type));
    FSRef ref = RefFor(c.folder ? dir.path() : dir.File(c.name));
    AEDesc item{};
    AEDesc fsref{};
    ASSERT_EQ(noErr, AECreateDesc(typeFSRef, &ref, sizeof(ref), &fsref));
    if (c.type == typeFSRef) {
      item = fsref;
    } else if (c.type == typeFileURL) {
      ASSERT_EQ(noErr, AECoerceDesc(&fsref, typeFileURL, &item));
      AEDisposeDesc(&fsref);
    } else {
      ASSERT_EQ(noErr, AECreateDesc(c.type, c.name, Size(std::strlen(c.name)), &item));
      AEDisposeDesc(&fsref);
    }
    NavFileOrFolderInfo info{0, c.folder, true};
    EXPECT_EQ(c.shown, QT_PictureFilter(&item, &info, nullptr, kNavFilteringBrowserList) != 0);
    AEDisposeDesc(&item);
  }
}

// Uncompressed '2vuy' goes through the decompressors; data shorter than the frame is refused.
TEST(MoviePictures, CompressedImageDecompressesIntoAPicture) {
  ImageDescriptionHandle desc = reinterpret_cast<ImageDescriptionHandle>(NewHandleClear(sizeof(ImageDescription)));
  (*desc)->idSize = sizeof(ImageDescription);
  (*desc)->cType = '2vuy';
  (*desc)->width = 4;
  (*desc)->height = 2;
  (*desc)->depth = 24;
  (*desc)->dataSize = 16;
  // Cb Y Cr Y: video-range white on the first line, black on the second.
  const UInt8 frame[16] = {128, 235, 128, 235, 128, 235, 128, 235, 128, 16, 128, 16, 128, 16, 128, 16};
  Handle data = nullptr;
  ASSERT_EQ(noErr, PtrToHand(frame, &data, sizeof(frame)));
  PicHandle pic = nullptr;
  ASSERT_EQ(noErr, QT_PutCompressedImageInPicture(desc, data, &pic));
  Rect bounds{};
  QDGetPictureBounds(pic, &bounds);
  EXPECT_EQ(2, bounds.bottom);
  EXPECT_EQ(4, bounds.right);
  const UInt8 *argb = nullptr;
  ASSERT_EQ(noErr, PL_GetPictureImage(pic, nullptr, nullptr, &argb));
  EXPECT_GE(argb[1], 250);         // white
  EXPECT_LE(argb[4 * 4 + 1], 5);   // black
  KillPicture(pic);
  SetHandleSize(data, 10);
  EXPECT_NE(noErr, QT_PutCompressedImageInPicture(desc, data, &pic));
  EXPECT_EQ(nullptr, pic);
  (*desc)->cType = 'zzzz';
  EXPECT_EQ(noCodecErr, QT_PutCompressedImageInPicture(desc, data, &pic));
  DisposeHandle(data);
  DisposeHandle(reinterpret_cast<Handle>(desc));
}

TEST(MoviePictures, SavedPictureIsAQuickTimeImageThatOthersReadToo) {
  TempDir dir;
  GWorldPtr world = SmallWorld();
  PicHandle pic = nullptr;
  ASSERT_EQ(noErr, PL_NewPictureFromPixMap(GetGWorldPixMap(world), nullptr, &pic));
  const FSRef folder = RefFor(dir.path());
  const HFSUniStr255 name = bz_test::Name("poster.qtif");
  bz_test::WriteText(dir.File("poster.qtif"), "an older file of that name");  // replaced
  ASSERT_EQ(noErr, QT_SavePictureToFile(pic, &folder, &name));

  // Our importer reads the same pixels back.
  const FSRef file = RefFor(dir.File("poster.qtif"));
  CGImageRef image = nullptr;
  ASSERT_EQ(noErr, QT_GetCGImageFromFile(&file, &image));
  ASSERT_EQ(5u, CGImageGetWidth(image));
  EXPECT_TRUE(SamePixels(world, PL_CGImageGetARGBPixels(image), CGImageGetBytesPerRow(image)));
  CGImageRelease(image);

  // The file is an image description atom, then the image data: a PNG that ffmpeg decodes alike.
  const std::vector<UInt8> bytes = bz_test::ReadWholeFile(dir.File("poster.qtif"));
  ASSERT_GT(bytes.size(), 16u);
  EXPECT_EQ(OSType('idsc'), PL_GetBE32(bytes.data() + 4));
  const UInt32 idsc = PL_GetBE32(bytes.data());
  ASSERT_LT(size_t(idsc) + 8, bytes.size());
  EXPECT_EQ(OSType('idat'), PL_GetBE32(bytes.data() + idsc + 4));
  if (bz_test::RequireFfmpeg()) {
    const std::string input = " -skip_initial_bytes " + std::to_string(idsc + 8) + " -f png_pipe -i " +
                              bz_test::ShellQuote(dir.File("poster.qtif"));
    std::string probed;
    ASSERT_EQ(0, bz_test::RunCommand("ffprobe -v error -show_entries stream=codec_name,width,height -of "
                                     "default=noprint_wrappers=1" + input,
                                     &probed));
    EXPECT_NE(std::string::npos, probed.find("codec_name=png"));
    EXPECT_NE(std::string::npos, probed.find("width=5"));
    EXPECT_NE(std::string::npos, probed.find("height=3"));
    std::string decoded;
    ASSERT_EQ(0, bz_test::RunCommand("ffmpeg -v error" + input + " -f rawvideo -pix_fmt argb -", &decoded));
    ASSERT_EQ(size_t(5 * 3 * 4), decoded.size());
    EXPECT_TRUE(SamePixels(world, reinterpret_cast<const UInt8 *>(decoded.data()), 5 * 4));
  }

  // No such folder: the file layer's error, nothing written.
  FSRef nowhere{};
  EXPECT_NE(noErr, QT_SavePictureToFile(pic, &nowhere, &name));
  EXPECT_EQ(paramErr, QT_SavePictureToFile(nullptr, &folder, &name));
  KillPicture(pic);
  DisposeGWorld(world);
}

}  // namespace

