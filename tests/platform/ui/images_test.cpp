// Image files through QtGui: round trips of ARGB offscreens through each file format, files that ffmpeg
// wrote, and damaged files.
#include "platform/ui/images.h"

#include "platform/core/mac_errors.h"
#include "platform/movie/image_formats.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

using bz_test::ReadWholeFile;
using bz_test::TempDir;

// A world with a distinct colour and alpha per pixel.
GWorldPtr PatternWorld(int width, int height, bool opaque) {
  Rect bounds{0, 0, SInt16(height), SInt16(width)};
  GWorldPtr world = nullptr;
  EXPECT_EQ(noErr, QTNewGWorld(&world, k32ARGBPixelFormat, &bounds, nullptr, nullptr, 0));
  PixMapHandle pm = GetGWorldPixMap(world);
  for (int y = 0; y < height; ++y) {
    UInt8 *row = reinterpret_cast<UInt8 *>(GetPixBaseAddr(pm)) + y * GetPixRowBytes(pm);
    for (int x = 0; x < width; ++x) {
      row[4 * x] = opaque ? 255 : UInt8(40 + 7 * x + 3 * y);
      row[4 * x + 1] = UInt8(11 * x);
      row[4 * x + 2] = UInt8(13 * y);
      row[4 * x + 3] = UInt8(x * y);
    }
  }
  return world;
}

// Largest (or, with `mean`, the mean) difference of the bytes of two worlds of the same size (alpha
// included when asked).
int MaxDifference(GWorldPtr a, GWorldPtr b, bool withAlpha, bool mean = false) {
  PixMapHandle pa = GetGWorldPixMap(a), pb = GetGWorldPixMap(b);
  const Rect &ra = (*pa)->bounds;
  int worst = 0;
  long sum = 0, count = 0;
  for (int y = 0; y < ra.bottom; ++y) {
    const UInt8 *rowA = reinterpret_cast<const UInt8 *>(GetPixBaseAddr(pa)) + y * GetPixRowBytes(pa);
    const UInt8 *rowB = reinterpret_cast<const UInt8 *>(GetPixBaseAddr(pb)) + y * GetPixRowBytes(pb);
    for (int i = withAlpha ? 0 : 1; i < ra.right * 4; ++i) {
      if (!withAlpha && i % 4 == 0) continue;
      worst = std::max(worst, std::abs(int(rowA[i]) - int(rowB[i])));
      sum += std::abs(int(rowA[i]) - int(rowB[i]));
      ++count;
    }
  }
  return mean ? int(sum / std::max(count, 1L)) : worst;
}

Rect BoundsOf(GWorldPtr world) { return (*GetGWorldPixMap(world))->bounds; }

struct FormatCase {
  const char *name;
  OSType fileType;
  bool keepsAlpha;  // with exact colours under any alpha (TIFF stores colours premultiplied)
  int tolerance;    // JPEG is lossy: its mean difference is checked
};

const FormatCase kFormats[] = {
    {"png", kQTFileTypePNG, true, 0},
    {"tiff", kQTFileTypeTIFF, false, 0},
    {"bmp", kQTFileTypeBMP, false, 0},
    {"jpeg", kQTFileTypeJPEG, false, 12},
};

TEST(PlatformUiImages, EncodeDecodeRoundTripKeepsArgbByteOrder) {
  for (const FormatCase &f : kFormats) {
    SCOPED_TRACE(f.name);
    GWorldPtr source = PatternWorld(37, 21, !f.keepsAlpha);
    std::vector<UInt8> file;
    ASSERT_EQ(noErr, PL_ImageEncode(GetGWorldPixMap(source), nullptr, f.fileType, 0x3FF, &file));
    EXPECT_EQ(f.fileType, PL_ImageFileTypeOfData(file.data(), file.size()));
    SInt32 width = 0, height = 0;
    ASSERT_EQ(noErr, PL_ImageDataSize(file.data(), file.size(), &width, &height));
    EXPECT_EQ(37, width);
    EXPECT_EQ(21, height);
    GWorldPtr decoded = nullptr;
    ASSERT_EQ(noErr, PL_ImageDecodeData(file.data(), file.size(), &decoded));
    Rect r = BoundsOf(decoded);
    EXPECT_EQ(0, r.top);
    EXPECT_EQ(0, r.left);
    EXPECT_EQ(21, r.bottom);
    EXPECT_EQ(37, r.right);
    EXPECT_EQ(k32ARGBPixelFormat, (*GetGWorldPixMap(decoded))->pixelFormat);
    EXPECT_LE(MaxDifference(source, decoded, f.keepsAlpha, f.tolerance > 0), f.tolerance);
    DisposeGWorld(decoded);
    DisposeGWorld(source);
  }
}

TEST(PlatformUiImages, EncodesPartOfIndexedAndGreyMaps) {
  Rect bounds{0, 0, 4, 6};
  for (OSType format : {k8IndexedPixelFormat, k8IndexedGrayPixelFormat}) {
    GWorldPtr world = nullptr;
    ASSERT_EQ(noErr, QTNewGWorld(&world, format, &bounds, nullptr, nullptr, 0));
    PixMapHandle pm = GetGWorldPixMap(world);
    // Index 0 is white in both tables; the last index is black.
    GetPixBaseAddr(pm)[GetPixRowBytes(pm) * 1 + 2] = char(255);
    Rect part{1, 2, 3, 5};
    std::vector<UInt8> file;
    ASSERT_EQ(noErr, PL_ImageEncode(pm, &part, kQTFileTypePNG, 0, &file));
    GWorldPtr decoded = nullptr;
    ASSERT_EQ(noErr, PL_ImageDecodeData(file.data(), file.size(), &decoded));
    PixMapHandle dm = GetGWorldPixMap(decoded);
    EXPECT_EQ(3, (*dm)->bounds.right);
    EXPECT_EQ(2, (*dm)->bounds.bottom);
    const UInt8 *row0 = reinterpret_cast<const UInt8 *>(GetPixBaseAddr(dm));
    EXPECT_EQ(0, row0[1]);    // black at (2, 1) of the map is (0, 0) of the part
    EXPECT_EQ(255, row0[5]);  // its neighbour is white
    DisposeGWorld(decoded);
    DisposeGWorld(world);
  }
}

TEST(PlatformUiImages, RefusesWhatItCannotWrite) {
  Rect bounds{0, 0, 2, 2};
  GWorldPtr yuv = nullptr;
  ASSERT_EQ(noErr, QTNewGWorld(&yuv, k2vuyPixelFormat, &bounds, nullptr, nullptr, 0));
  std::vector<UInt8> file;
  EXPECT_EQ(cDepthErr, PL_ImageEncode(GetGWorldPixMap(yuv), nullptr, kQTFileTypePNG, 0, &file));
  DisposeGWorld(yuv);
  GWorldPtr argb = PatternWorld(2, 2, true);
  EXPECT_EQ(noCodecErr, PL_ImageEncode(GetGWorldPixMap(argb), nullptr, 'PICT', 0, &file));
  Rect outside{0, 0, 3, 3};
  EXPECT_EQ(paramErr, PL_ImageEncode(GetGWorldPixMap(argb), &outside, kQTFileTypePNG, 0, &file));
  DisposeGWorld(argb);
}

// ffmpeg writes the same test picture in every format; each must decode to it.
TEST(PlatformUiImages, ReadsFilesFfmpegWrote) {
  if (!bz_test::RequireFfmpeg()) return;
  TempDir dir;
  const char *names[] = {"pic.png", "pic.tif", "pic.bmp", "pic.jpg"};
  GWorldPtr reference = nullptr;
  for (const char *name : names) {
    SCOPED_TRACE(name);
    std::string path = dir.File(name);
    std::string command = "ffmpeg -v error -y -f lavfi -i testsrc=s=40x30:r=1 -frames:v 1 -pix_fmt " +
                          std::string(std::strstr(name, "jpg") ? "yuvj444p" : "rgb24") + " " +
                          bz_test::ShellQuote(path);
    ASSERT_EQ(0, bz_test::RunCommand(command));
    GWorldPtr world = nullptr;
    ASSERT_EQ(noErr, PL_ImageDecodeFile(path.c_str(), &world));
    Rect r = BoundsOf(world);
    EXPECT_EQ(40, r.right);
    EXPECT_EQ(30, r.bottom);
    if (reference == nullptr) {
      reference = world;
      continue;
    }
    const bool jpeg = std::strstr(name, "jpg") != nullptr;
    EXPECT_LE(MaxDifference(reference, world, true, jpeg), jpeg ? 8 : 0);
    DisposeGWorld(world);
  }
  DisposeGWorld(reference);
}

TEST(PlatformUiImages, DamagedDataGivesErrorNotCrash) {
  GWorldPtr source = PatternWorld(64, 48, true);
  for (const FormatCase &f : kFormats) {
    std::vector<UInt8> file;
    ASSERT_EQ(noErr, PL_ImageEncode(GetGWorldPixMap(source), nullptr, f.fileType, 0x300, &file));
    // Cut at several places: inside the header, just after it, halfway, one byte short.
    for (size_t keep : {size_t(3), size_t(12), size_t(40), file.size() / 2, file.size() - 1}) {
      SCOPED_TRACE(std::string(f.name) + " cut to " + std::to_string(keep));
      GWorldPtr world = nullptr;
      OSStatus err = PL_ImageDecodeData(file.data(), keep, &world);
      EXPECT_TRUE(err == codecBadDataErr || err == noCodecErr) << err;
      EXPECT_EQ(nullptr, world);
    }
  }
  DisposeGWorld(source);
  const char text[] = "this is not a picture at all";
  GWorldPtr world = nullptr;
  EXPECT_EQ(noCodecErr, PL_ImageDecodeData(text, sizeof(text), &world));
  EXPECT_EQ(paramErr, PL_ImageDecodeData(text, sizeof(text), nullptr));
}

TEST(PlatformUiImages, FileErrorsKeepTheirNumbers) {
  TempDir dir;
  GWorldPtr world = nullptr;
  EXPECT_EQ(fnfErr, PL_ImageDecodeFile(dir.File("missing.png").c_str(), &world));
  EXPECT_EQ(notAFileErr, PL_ImageDecodeFile(dir.path().c_str(), &world));
  EXPECT_EQ(nullptr, world);
}

}  // namespace
