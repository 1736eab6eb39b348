// Graphics importers and exporters: reading image files through data references, drawing, pictures and
// Quartz images of them, QuickTime image files written and read back, and damaged files.
#include "platform/ui/images_graphics.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/ui/images.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using bz_test::ReadWholeFile;
using bz_test::TempDir;
using bz_test::WriteWholeFile;

// 8 x 6 world: white, with a black pixel at (2, 1) and a red one at (5, 4).
GWorldPtr MarkedWorld() {
  Rect bounds{0, 0, 6, 8};
  GWorldPtr world = nullptr;
  EXPECT_EQ(noErr, QTNewGWorld(&world, k32ARGBPixelFormat, &bounds, nullptr, nullptr, 0));
  PixMapHandle pm = GetGWorldPixMap(world);
  for (int y = 0; y < 6; ++y) std::memset(GetPixBaseAddr(pm) + y * GetPixRowBytes(pm), 0xFF, 8 * 4);
  UInt8 *row1 = reinterpret_cast<UInt8 *>(GetPixBaseAddr(pm)) + GetPixRowBytes(pm);
  std::memcpy(row1 + 2 * 4, "\xFF\x00\x00\x00", 4);
  UInt8 *row4 = reinterpret_cast<UInt8 *>(GetPixBaseAddr(pm)) + 4 * GetPixRowBytes(pm);
  std::memcpy(row4 + 5 * 4, "\xFF\xFF\x00\x00", 4);
  return world;
}

struct DataRef {
  Handle handle = nullptr;
  OSType type = 0;
  explicit DataRef(const std::string &path) {
    EXPECT_EQ(noErr, PL_NewDataReferenceFromPath(path.c_str(), &handle, &type));
  }
  ~DataRef() { DisposeHandle(handle); }
};

std::string WritePng(const TempDir &dir, const char *name, GWorldPtr world) {
  std::vector<UInt8> png;
  EXPECT_EQ(noErr, PL_ImageEncode(GetGWorldPixMap(world), nullptr, kQTFileTypePNG, 0, &png));
  std::string path = dir.File(name);
  EXPECT_TRUE(WriteWholeFile(path, png));
  return path;
}

const UInt8 *PixelOf(PixMapHandle pm, int x, int y, int bytesPerPixel) {
  return reinterpret_cast<const UInt8 *>(GetPixBaseAddr(pm)) + y * GetPixRowBytes(pm) + x * bytesPerPixel;
}

TEST(PlatformUiGraphicsImport, ImporterGivesBoundsDescriptionPictureAndImage) {
  TempDir dir;
  GWorldPtr source = MarkedWorld();
  DataRef ref(WritePng(dir, "mark.png", source));
  GraphicsImportComponent gi = nullptr;
  ASSERT_EQ(noErr, GetGraphicsImporterForDataRef(ref.handle, ref.type, &gi));
  Rect bounds{};
  ASSERT_EQ(noErr, GraphicsImportGetBoundsRect(gi, &bounds));
  EXPECT_EQ(6, bounds.bottom);
  EXPECT_EQ(8, bounds.right);
  ImageDescriptionHandle desc = nullptr;
  ASSERT_EQ(noErr, GraphicsImportGetImageDescription(gi, &desc));
  EXPECT_EQ(OSType('png '), (*desc)->cType);
  EXPECT_EQ(8, (*desc)->width);
  EXPECT_EQ(6, (*desc)->height);
  DisposeHandle(reinterpret_cast<Handle>(desc));

  // The source rectangle selects what the picture and the image hold.
  Rect part{1, 2, 5, 6};
  ASSERT_EQ(noErr, GraphicsImportSetSourceRect(gi, &part));
  PicHandle pic = nullptr;
  ASSERT_EQ(noErr, GraphicsImportGetAsPicture(gi, &pic));
  SInt32 w = 0, h = 0;
  const UInt8 *argb = nullptr;
  ASSERT_EQ(noErr, PL_GetPictureImage(pic, &w, &h, &argb));
  EXPECT_EQ(4, w);
  EXPECT_EQ(4, h);
  EXPECT_EQ(0, argb[1]);                  // the black pixel is the part's first
  EXPECT_EQ(255, argb[(3 * 4 + 3) * 4 + 1]);  // the red one its last
  EXPECT_EQ(0, argb[(3 * 4 + 3) * 4 + 2]);
  KillPicture(pic);
  CGImageRef image = nullptr;
  ASSERT_EQ(noErr, GraphicsImportCreateCGImage(gi, &image, kGraphicsImportCreateCGImageUsingCurrentSettings));
  EXPECT_EQ(4u, CGImageGetWidth(image));
  CGImageRelease(image);
  ASSERT_EQ(noErr, GraphicsImportCreateCGImage(gi, &image, 0));
  EXPECT_EQ(8u, CGImageGetWidth(image));
  EXPECT_EQ(6u, CGImageGetHeight(image));
  CGImageRelease(image);
  Rect outside{0, 0, 7, 8};
  EXPECT_EQ(paramErr, GraphicsImportSetSourceRect(gi, &outside));
  CloseComponent(gi);
  DisposeGWorld(source);
}

// Logo masks are read by drawing into an 8-bit world: white stays index 0, everything else is not 0.
TEST(PlatformUiGraphicsImport, DrawsIntoIndexedWorld) {
  TempDir dir;
  GWorldPtr source = MarkedWorld();
  DataRef ref(WritePng(dir, "mark.png", source));
  GraphicsImportComponent gi = nullptr;
  ASSERT_EQ(noErr, GetGraphicsImporterForDataRef(ref.handle, ref.type, &gi));
  Rect bounds{0, 0, 6, 8};
  GWorldPtr target = nullptr;
  ASSERT_EQ(noErr, NewGWorld(&target, 8, &bounds, nullptr, nullptr, 0));
  ASSERT_EQ(noErr, GraphicsImportSetGWorld(gi, target, nullptr));
  ASSERT_EQ(noErr, GraphicsImportDraw(gi));
  PixMapHandle pm = GetGWorldPixMap(target);
  int nonWhite = 0;
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) nonWhite += *PixelOf(pm, x, y, 1) != 0;
  EXPECT_EQ(2, nonWhite);
  EXPECT_EQ(255, *PixelOf(pm, 2, 1, 1));  // black
  EXPECT_NE(0, *PixelOf(pm, 5, 4, 1));
  CloseComponent(gi);
  DisposeGWorld(target);
  DisposeGWorld(source);
}

TEST(PlatformUiGraphicsImport, RefusesFilesThatAreNoImages) {
  TempDir dir;
  std::string text = dir.File("note.txt");
  ASSERT_TRUE(WriteWholeFile(text, std::vector<UInt8>{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!'}));
  GraphicsImportComponent gi = nullptr;
  {
    DataRef ref(text);
    EXPECT_EQ(noCodecErr, GetGraphicsImporterForDataRef(ref.handle, ref.type, &gi));
  }
  {
    DataRef ref(dir.File("missing.png"));
    EXPECT_EQ(fnfErr, GetGraphicsImporterForDataRef(ref.handle, ref.type, &gi));
  }
  EXPECT_EQ(nullptr, gi);
}

// A QuickTime image file of pixels, written and read back: the same pixels, with creator and type.
TEST(PlatformUiGraphicsExport, QuickTimeImageRoundTrip) {
  TempDir dir;
  GWorldPtr source = MarkedWorld();
  GraphicsExportComponent ge = nullptr;
  ASSERT_EQ(noErr, OpenADefaultComponent(GraphicsExporterComponentType, kQTFileTypeQuickTimeImage, &ge));
  OSType type = 0, creator = 0, extension = 0;
  ASSERT_EQ(noErr, GraphicsExportGetDefaultFileTypeAndCreator(ge, &type, &creator));
  EXPECT_EQ(kQTFileTypeQuickTimeImage, type);
  ASSERT_EQ(noErr, GraphicsExportGetDefaultFileNameExtension(ge, &extension));
  EXPECT_EQ(OSType('qtif'), extension);
  EXPECT_EQ(paramErr, GraphicsExportDoExport(ge, nullptr));  // no input, no output yet
  ASSERT_EQ(noErr, GraphicsExportSetInputGWorld(ge, source));
  DataRef out(dir.File("mark.qtif"));
  ASSERT_EQ(noErr, GraphicsExportSetOutputDataReference(ge, out.handle, out.type));
  UInt32 written = 0;
  ASSERT_EQ(noErr, GraphicsExportDoExport(ge, &written));
  CloseComponent(ge);
  std::vector<UInt8> file = ReadWholeFile(dir.File("mark.qtif"));
  ASSERT_EQ(size_t(written), file.size());
  EXPECT_EQ(OSType('idsc'), PL_GetBE32(file.data() + 4));

  GraphicsImportComponent gi = nullptr;
  ASSERT_EQ(noErr, GetGraphicsImporterForDataRef(out.handle, out.type, &gi));
  ImageDescriptionHandle desc = nullptr;
  ASSERT_EQ(noErr, GraphicsImportGetImageDescription(gi, &desc));
  EXPECT_EQ(8, (*desc)->width);
  DisposeHandle(reinterpret_cast<Handle>(desc));
  CGImageRef image = nullptr;
  ASSERT_EQ(noErr, GraphicsImportCreateCGImage(gi, &image, 0));
  PixMapHandle pm = GetGWorldPixMap(source);
  for (int y = 0; y < 6; ++y)
    EXPECT_EQ(0, std::memcmp(PL_CGImageGetARGBPixels(image) + y * CGImageGetBytesPerRow(image), PixelOf(pm, 0, y, 4), 32));
  CGImageRelease(image);
  CloseComponent(gi);
  DisposeGWorld(source);
}

// Compressed data goes into a QuickTime image file as it is, and into a file of its own format when
// recompression is not wanted.
TEST(PlatformUiGraphicsExport, CompressedInputIsKeptAsItIs) {
  TempDir dir;
  GWorldPtr source = MarkedWorld();
  std::vector<UInt8> jpeg;
  ASSERT_EQ(noErr, PL_ImageEncode(GetGWorldPixMap(source), nullptr, kQTFileTypeJPEG, 0x300, &jpeg));
  ImageDescriptionHandle desc = reinterpret_cast<ImageDescriptionHandle>(NewHandleClear(sizeof(ImageDescription)));
  (*desc)->idSize = sizeof(ImageDescription);
  (*desc)->cType = 'jpeg';
  (*desc)->width = 8;
  (*desc)->height = 6;
  (*desc)->depth = 24;
  (*desc)->dataSize = SInt32(jpeg.size());
  Handle data = nullptr;
  ASSERT_EQ(noErr, PtrToHand(jpeg.data(), &data, Size(jpeg.size())));
  for (OSType subType : {kQTFileTypeQuickTimeImage, kQTFileTypeJPEG}) {
    GraphicsExportComponent ge = nullptr;
    ASSERT_EQ(noErr, OpenADefaultComponent(GraphicsExporterComponentType, subType, &ge));
    ASSERT_EQ(noErr, GraphicsExportSetInputHandle(ge, data, desc));
    ASSERT_EQ(noErr, GraphicsExportSetDontRecompress(ge, true));
    Handle out = NewHandle(0);
    ASSERT_EQ(noErr, GraphicsExportSetOutputHandle(ge, out));
    ASSERT_EQ(noErr, GraphicsExportDoExport(ge, nullptr));
    std::vector<UInt8> bytes(reinterpret_cast<UInt8 *>(*out), reinterpret_cast<UInt8 *>(*out) + GetHandleSize(out));
    if (subType == kQTFileTypeJPEG) {
      EXPECT_EQ(jpeg, bytes);
    } else {
      // The image data atom holds the JPEG bytes unchanged.
      std::string haystack(bytes.begin(), bytes.end());
      EXPECT_NE(std::string::npos, haystack.find(std::string(jpeg.begin(), jpeg.end())));
      std::string path = dir.File("j.qtif");
      ASSERT_TRUE(WriteWholeFile(path, bytes));
      DataRef ref(path);
      GraphicsImportComponent gi = nullptr;
      ASSERT_EQ(noErr, GetGraphicsImporterForDataRef(ref.handle, ref.type, &gi));
      ImageDescriptionHandle got = nullptr;
      ASSERT_EQ(noErr, GraphicsImportGetImageDescription(gi, &got));
      EXPECT_EQ(OSType('jpeg'), (*got)->cType);
      DisposeHandle(reinterpret_cast<Handle>(got));
      PicHandle pic = nullptr;
      EXPECT_EQ(noErr, GraphicsImportGetAsPicture(gi, &pic));
      KillPicture(pic);
      CloseComponent(gi);
    }
    DisposeHandle(out);
    CloseComponent(ge);
  }
  DisposeHandle(data);
  DisposeHandle(reinterpret_cast<Handle>(desc));
  DisposeGWorld(source);
}

// QuickTime image files whose atoms lie, or whose data does not match their description.
TEST(PlatformUiGraphicsImport, DamagedQuickTimeImageGivesError) {
  TempDir dir;
  GWorldPtr source = MarkedWorld();
  GraphicsExportComponent ge = nullptr;
  ASSERT_EQ(noErr, OpenADefaultComponent(GraphicsExporterComponentType, kQTFileTypeQuickTimeImage, &ge));
  ASSERT_EQ(noErr, GraphicsExportSetInputGWorld(ge, source));
  Handle out = NewHandle(0);
  ASSERT_EQ(noErr, GraphicsExportSetOutputHandle(ge, out));
  ASSERT_EQ(noErr, GraphicsExportDoExport(ge, nullptr));
  CloseComponent(ge);
  std::vector<UInt8> good(reinterpret_cast<UInt8 *>(*out), reinterpret_cast<UInt8 *>(*out) + GetHandleSize(out));
  DisposeHandle(out);
  const UInt32 idscSize = PL_GetBE32(good.data());

  struct Damage {
    const char *what;
    std::vector<UInt8> bytes;
    bool atOpen;  // refused when the importer is made, else when the image is asked for
  };
  std::vector<Damage> cases;
  cases.push_back({"cut inside the description", std::vector<UInt8>(good.begin(), good.begin() + 40), true});
  cases.push_back({"cut inside the data", std::vector<UInt8>(good.begin(), good.end() - 20), true});
  {
    std::vector<UInt8> b = good;
    PL_PutBE32(b.data(), 0xFFFFFF00);  // atom larger than the file
    cases.push_back({"atom size beyond the file", b, true});
  }
  {
    std::vector<UInt8> b = good;
    PL_PutBE32(b.data() + 8, 20);  // description size smaller than its fixed fields
    cases.push_back({"description too short", b, true});
  }
  {
    std::vector<UInt8> b = good;
    PL_PutBE16(b.data() + 8 + 32, 9);  // width 9 while the PNG holds 8
    cases.push_back({"size disagrees with the data", b, false});
  }
  {
    std::vector<UInt8> b = good;
    b[idscSize + 8 + (good.size() - idscSize - 8) / 2] ^= 0xFF;  // a byte inside the PNG's pixel data
    cases.push_back({"data damaged", b, false});
  }
  for (const Damage &d : cases) {
    SCOPED_TRACE(d.what);
    std::string path = dir.File("bad.qtif");
    ASSERT_TRUE(WriteWholeFile(path, d.bytes));
    DataRef ref(path);
    GraphicsImportComponent gi = nullptr;
    OSStatus err = GetGraphicsImporterForDataRef(ref.handle, ref.type, &gi);
    if (d.atOpen) {
      EXPECT_EQ(codecBadDataErr, err);
      EXPECT_EQ(nullptr, gi);
      continue;
    }
    ASSERT_EQ(noErr, err);
    PicHandle pic = nullptr;
    EXPECT_EQ(codecBadDataErr, GraphicsImportGetAsPicture(gi, &pic));
    EXPECT_EQ(nullptr, pic);
    CloseComponent(gi);
  }
  DisposeGWorld(source);
}

}  // namespace
