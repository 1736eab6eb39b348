// The movie library's codec questions against the platform's codec table: names and types, pixel formats,
// compressor abilities and enforced properties, maximum sizes and single-image compression.
#include "movie/codecs.h"

#include "movie/export_settings.h"
#include "movie/movie_errors.h"
#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/movie_drawing.h"
#include "platform/movie/toolbox_time.h"
#include "support/kernel_check.h"
#include "support/movie_builders.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Pascal(const UInt8 *p) { return std::string(reinterpret_cast<const char *>(p + 1), p[0]); }

TEST(MovieCodecLookup, NameSpecByTypeOrComponentWithANameOfItsOwn) {
  CodecNameSpec spec{};
  ASSERT_EQ(noErr, QT_GetCodecNameSpec('dvcp', nullptr, &spec));
  EXPECT_EQ(CodecType('dvcp'), spec.cType);
  EXPECT_EQ("DV - PAL", Pascal(spec.typeName));
  // The name outlives the list it came from.
  ASSERT_NE(nullptr, spec.name);
  EXPECT_EQ("DV - PAL", Pascal(reinterpret_cast<const UInt8 *>(*spec.name)));
  DisposeHandle(spec.name);

  CompressorComponent comp = nullptr;
  DecompressorComponent decomp = nullptr;
  ASSERT_EQ(noErr, FindCodec('yuvs', anyCodec, &comp, &decomp));
  CodecNameSpec byComponent{};
  ASSERT_EQ(noErr, QT_GetCodecNameSpec(0, decomp, &byComponent));
  EXPECT_EQ(CodecType('yuvs'), byComponent.cType);
  DisposeHandle(byComponent.name);

  CodecNameSpec untouched{};
  untouched.cType = 'none';
  EXPECT_EQ(noErr, QT_GetCodecNameSpec('icod', nullptr, &untouched));
  EXPECT_EQ(CodecType('none'), untouched.cType);
  EXPECT_EQ(nullptr, untouched.name);
}

TEST(MovieCodecLookup, PresenceTypesAndNames) {
  struct Case {
    CodecType cType;
    const char *name;
    bool present;
  };
  const Case cases[] = {
      {'icod', "Apple Intermediate Codec", false}, {'dvcp', nullptr, true}, {0, "Photo - JPEG", true},
      {0, "Photo", false},                          {'mjpb', "", true},     {0, nullptr, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name != nullptr ? c.name : "(no name)");
    // The flag is only ever set, never cleared.
    Boolean present = 2;
    ASSERT_EQ(noErr, QT_IsCodecPresent(c.cType, c.name, &present));
    EXPECT_EQ(c.present ? 1 : 2, present);
  }

  OSType type = 'none';
  EXPECT_EQ(noErr, QT_GetCodecType("DV - NTSC", &type));
  EXPECT_EQ(OSType('dvc '), type);
  type = 'none';
  EXPECT_EQ(noErr, QT_GetCodecType("DV", &type));
  EXPECT_EQ(OSType('none'), type);

  char name[32];
  EXPECT_EQ(noErr, QT_GetCodecName('mjpa', name));
  EXPECT_STREQ("Motion JPEG A", name);
  EXPECT_EQ(noErr, QT_GetCodecName('icod', name));
  EXPECT_STREQ("", name);
  EXPECT_EQ(paramErr, QT_GetCodecName('mjpa', nullptr));
}

TEST(MovieCodecLookup, CodecsByPixelFormat) {
  struct Case {
    OSType ycType;
    Boolean input;
    SInt32 count;  // compressors: the fifteen encoders; decompressors: the table's twenty codecs
  };
  for (const Case &c : {Case{'2vuy', true, 15}, Case{0, true, 15}, Case{'2vuy', false, 20}, Case{'v210', true, 0},
                        Case{0x20, false, 20}}) {
    SCOPED_TRACE(::testing::Message() << std::hex << c.ycType << (c.input ? " in" : " out"));
    SInt32 found = -1;
    ComponentDescription *descs = reinterpret_cast<ComponentDescription *>(1);
    ASSERT_EQ(noErr, QT_GetYC_IO_Codecs(c.ycType, &found, &descs, c.input));
    EXPECT_EQ(c.count, found);
    if (c.count == 0) {
      EXPECT_EQ(nullptr, descs);
      continue;
    }
    ASSERT_NE(nullptr, descs);
    for (SInt32 i = 0; i < found; ++i) EXPECT_EQ(c.input ? OSType('imco') : OSType('imdc'), descs[i].componentType);
    DisposePtr(reinterpret_cast<Ptr>(descs));
  }
  Boolean supported = false;
  EXPECT_EQ(noErr, QT_CodecSuppPixelFormat('dvcp', '2vuy', &supported, true));
  EXPECT_TRUE(supported);
  EXPECT_EQ(noErr, QT_CodecSuppPixelFormat('dvcp', 'BGRA', &supported, true));
  EXPECT_FALSE(supported);
  EXPECT_EQ(noCodecErr, QT_CodecSuppPixelFormat('yuvs', '2vuy', &supported, true));
  EXPECT_EQ(noErr, QT_CodecSuppPixelFormat('yuvs', '2vuy', &supported, false));
  EXPECT_TRUE(supported);
  OSType favourite = 0;
  EXPECT_EQ(noErr, QT_GetCodecFavoritePixelFormat('jpeg', &favourite, true));
  EXPECT_EQ(OSType('2vuy'), favourite);
  EXPECT_EQ(noCodecErr, QT_GetCodecFavoritePixelFormat('icod', &favourite, true));
  EXPECT_EQ(OSType(0), favourite);
}

TEST(MovieCodecLookup, CompressorAbilitiesAndMissingCompressors) {
  Boolean can = true;
  EXPECT_EQ(noErr, QT_CanCodecChFieldDomLossless('jpeg', &can));
  EXPECT_FALSE(can);
  EXPECT_EQ(noErr, QT_CanCodecChFieldDomLossless('dvcp', &can));
  EXPECT_FALSE(can);
  EXPECT_EQ(kQT_NoComponentFoundErr, QT_CanCodecChFieldDomLossless('icod', &can));
  EXPECT_EQ(kQT_NoComponentFoundErr, QT_CanCodecChFieldDomLossless('yuvs', &can));

  Handle settings = NewHandle(3);
  std::memcpy(*settings, "xyz", 3);
  EXPECT_EQ(kQT_NoComponentFoundErr, QT_GetImageCodecUserSett('icod', settings));
  EXPECT_EQ(noErr, QT_GetImageCodecUserSett('mjpa', settings));
  ASSERT_EQ(3, GetHandleSize(settings));
  EXPECT_EQ(0, std::memcmp(*settings, "xyz", 3));
  DisposeHandle(settings);
}

TEST(MovieCodecLookup, EnforcedPropertiesOfDVAndOthers) {
  QT_DV_ExportSettings dv{};
  dv.dvType = 'dv  ';
  dv.exportPAL = true;
  dv.is16x9 = true;
  QT_ComprEnfProps props{};
  ASSERT_EQ(noErr, QT_GetCompressorEnforcedProperties('dvcp', nullptr, &dv, &props));
  EXPECT_EQ(720, props.width);
  EXPECT_EQ(576, props.height);
  EXPECT_EQ(118u, props.pasp.hSpacing);
  EXPECT_EQ(81u, props.pasp.vSpacing);
  EXPECT_EQ(702u, props.clap.cleanApertureWidthN);
  EXPECT_EQ(2, props.fiel.fields);
  EXPECT_EQ(14, props.fiel.detail);

  // Without DV settings the compressor's defaults (4:3, interlaced) hold.
  ASSERT_EQ(noErr, QT_GetCompressorEnforcedProperties('dvc ', nullptr, nullptr, &props));
  EXPECT_EQ(480, props.height);
  EXPECT_EQ(10u, props.pasp.hSpacing);
  EXPECT_EQ(11u, props.pasp.vSpacing);

  // DVCPRO HD: the stored width follows from the height and the pixel aspect.
  struct HD {
    CodecType cType;
    SInt32 width, height;
  };
  for (const HD &hd : {HD{'dvh6', 1280, 1080}, HD{'dvh5', 1440, 1080}, HD{'dvhq', 960, 720}}) {
    ASSERT_EQ(noErr, QT_GetCompressorEnforcedProperties(hd.cType, nullptr, nullptr, &props));
    EXPECT_EQ(hd.width, props.width);
    EXPECT_EQ(hd.height, props.height);
  }

  // Codecs that enforce nothing leave the record zero, whatever was in it.
  std::memset(&props, 0x5A, sizeof(props));
  Handle sett = NewHandle(4);
  std::memset(*sett, 1, 4);
  ASSERT_EQ(noErr, QT_GetCompressorEnforcedProperties('jpeg', sett, nullptr, &props));
  QT_ComprEnfProps zero{};
  EXPECT_EQ(0, std::memcmp(&zero, &props, sizeof(props)));
  DisposeHandle(sett);

  EXPECT_EQ(badComponentType, QT_GetCompressorEnforcedProperties('icod', nullptr, nullptr, &props));
  EXPECT_EQ(paramErr, QT_GetCompressorEnforcedProperties('dvcp', nullptr, nullptr, nullptr));
}

TEST(MovieCodecLookup, MaximumSizes) {
  Rect pal{0, 0, 576, 720};
  SInt32 size = 0;
  EXPECT_EQ(noErr, QT_GetMaxCompressionSize(&pal, codecNormalQuality, 'dvcp', &size));
  EXPECT_EQ(144000, size);
  EXPECT_EQ(noErr, QT_GetMaxCompressionSize(&pal, codecNormalQuality, '2vuy', &size));
  EXPECT_EQ(720 * 576 * 2, size);
  EXPECT_EQ(noCodecErr, QT_GetMaxCompressionSize(&pal, codecNormalQuality, 'icod', &size));
  Rect empty{0, 0, 0, 0};
  EXPECT_EQ(paramErr, QT_GetMaxCompressionSize(&empty, codecNormalQuality, 'dvcp', &size));

  bz_test::BuiltMovie built;
  Track track = bz_test::AddBuiltTrack(built.movie, VideoMediaType, 600, bz_test::Frames({20, 20}));
  bz_test::InsertWholeMedia(track);
  SInt32 fromMovie = 0;
  ASSERT_EQ(noErr, QT_GetMaxCompressionSizeFromMovieSimple(built.movie, codecNormalQuality, 'dvc ', &fromMovie));
  EXPECT_EQ(120000, fromMovie);
  ASSERT_EQ(noErr, QT_GetMaxCompressionSizeFromMovieSimple(built.movie, codecNormalQuality, 'yuv2', &fromMovie));
  EXPECT_EQ(48 * 32 * 2, fromMovie);
  bz_test::BuiltMovie noPicture;
  EXPECT_EQ(paramErr, QT_GetMaxCompressionSizeFromMovieSimple(noPicture.movie, codecNormalQuality, 'dvc ', &fromMovie));
}

TEST(MovieCodecLookup, CompressPixmapSizesTheHandleToTheData) {
  const int w = 64, h = 48;
  GWorldPtr world = nullptr;
  Rect bounds{0, 0, h, w};
  ASSERT_EQ(noErr, QTNewGWorld(&world, k2vuyPixelFormat, &bounds, nullptr, nullptr, 0));
  PixMapHandle pm = GetGWorldPixMap(world);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w * 2; ++x) (*pm)->baseAddr[y * (*pm)->rowBytes + x] = char(16 + (x * 3 + y * 5) % 200);

  auto desc = reinterpret_cast<ImageDescriptionHandle>(NewHandle(0));
  Handle data = NewHandle(0);
  ASSERT_EQ(noErr, QT_CompressPixmap(pm, 0, codecHighQuality, 'jpeg', desc, data));
  EXPECT_EQ(CodecType('jpeg'), (*desc)->cType);
  EXPECT_EQ(w, (*desc)->width);
  EXPECT_EQ(h, (*desc)->height);
  ASSERT_EQ((*desc)->dataSize, GetHandleSize(data));
  const UInt8 *b = reinterpret_cast<const UInt8 *>(*data);
  Size n = GetHandleSize(data);
  ASSERT_GT(n, 4);
  EXPECT_EQ(0xFF, b[0]);
  EXPECT_EQ(0xD8, b[1]);
  EXPECT_EQ(0xFF, b[n - 2]);
  EXPECT_EQ(0xD9, b[n - 1]);

  ASSERT_EQ(noErr, QT_CompressPixmap(pm, 0, codecNormalQuality, '2vuy', desc, data));
  ASSERT_EQ(w * h * 2, GetHandleSize(data));
  for (int y = 0; y < h; ++y)
    ASSERT_EQ(0, std::memcmp(*data + y * w * 2, (*pm)->baseAddr + y * (*pm)->rowBytes, size_t(w) * 2)) << "row " << y;

  EXPECT_EQ(noCodecErr, QT_CompressPixmap(pm, 0, codecNormalQuality, 'icod', desc, data));
  EXPECT_EQ(w * h * 2, GetHandleSize(data));
  EXPECT_EQ(paramErr, QT_CompressPixmap(nullptr, 0, codecNormalQuality, 'jpeg', desc, data));
  DisposeHandle(data);
  DisposeHandle(reinterpret_cast<Handle>(desc));
  DisposeGWorld(world);
}

// The QuickTime movie exporter keeps a DV codec's settings as codec settings; the DV compressor reads its
// progressive and 16:9 properties from them.
TEST(MovieCodecLookup, DVSettingsFromTheMovieExportersCodecSettings) {
  auto be32 = [](UInt32 v) { return std::vector<UInt8>{UInt8(v >> 24), UInt8(v >> 16), UInt8(v >> 8), UInt8(v)}; };
  struct Case {
    CodecType codec;
    bool withSettings;
    Boolean progressive, is16x9;
    OSType dvType;
    Boolean pal;
  };
  const Case cases[] = {
      {'dvcp', true, false, true, 'dv  ', true},  {'dv5n', true, true, false, 'dvp5', false},
      {'dvpp', false, false, false, 'dvp ', true}, {'jpeg', true, false, false, 0x5A5A5A5A, 0x5A},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(reinterpret_cast<const char *>(&c.codec), 4));
    // The codec settings a compressor with these properties gives.
    ComponentInstance ci = nullptr;
    ASSERT_EQ(noErr, OpenADefaultComponent('imco', c.codec, &ci));
    QTSetComponentProperty(ci, 'dvco', 'prog', 1, &c.progressive);
    QTSetComponentProperty(ci, 'dvco', '16x9', 1, &c.is16x9);
    Handle codecSett = NewHandle(0);
    ASSERT_EQ(noErr, ImageCodecGetSettings(ci, codecSett));
    CloseComponent(ci);

    QTAtomContainer sett = nullptr;
    ASSERT_EQ(noErr, QTNewAtomContainer(&sett));
    QTAtom video = 0;
    ASSERT_EQ(noErr, QTInsertChild(sett, kParentAtomIsContainer, 'vide', 1, 0, 0, nullptr, &video));
    std::vector<UInt8> sptl = be32(c.codec);
    for (UInt8 b : be32(UInt32(-2))) sptl.push_back(b);
    sptl.insert(sptl.end(), {0, 24, 0, 0, 3, 0});
    ASSERT_EQ(noErr, QTInsertChild(sett, video, 'sptl', 1, 0, SInt32(sptl.size()), sptl.data(), nullptr));
    if (c.withSettings) {
      video = QTFindChildByIndex(sett, kParentAtomIsContainer, 'vide', 1, nullptr);
      ASSERT_EQ(noErr, QTInsertChild(sett, video, 'cdec', 1, 0, SInt32(GetHandleSize(codecSett)), *codecSett, nullptr));
    }
    DisposeHandle(codecSett);

    QT_DV_ExportSettings dv;
    std::memset(&dv, 0x5A, sizeof(dv));
    ASSERT_EQ(noErr, QT_GetDV_SettingsFromQTMovieExportSettContainer(sett, &dv));
    EXPECT_EQ(c.dvType, dv.dvType);
    EXPECT_EQ(c.pal, dv.exportPAL);
    if (c.withSettings && c.codec != 'jpeg') {
      EXPECT_EQ(c.progressive, dv.progressive);
      EXPECT_EQ(c.is16x9, dv.is16x9);
    } else {
      EXPECT_EQ(0x5A, dv.progressive);
      EXPECT_EQ(0x5A, dv.is16x9);
    }
    QTDisposeAtomContainer(sett);
  }
}

// Sizes measured on frames the movie draws: DV frames all have one size, so the estimate is exact; the
// movie keeps its own world, time and activity.
TEST(MovieCodecLookup, MeasuredSizesFromTheMoviesFrames) {
  bz_test::TempDir dir;
  std::string path = dir.File("frames.mov");
  bz_test::FixtureMovieInfo info;
  bz_test::FixtureMovieSpec spec;
  spec.withSound = false;
  ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(path, spec, &info));
  Movie movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(path, &movie));

  GWorldPtr own = nullptr;
  Rect ownBounds{0, 0, 32, 48};
  ASSERT_EQ(noErr, NewGWorld(&own, 32, &ownBounds, nullptr, nullptr, 0));
  SetMovieGWorld(movie, own, nullptr);
  SetMovieTimeValue(movie, 72);

  SInt32 absMax = 0, maxSize = 0, average = 0, deviation = -1;
  ASSERT_EQ(noErr, QT_GetMaxCompressionSizeFromMovie(movie, false, 0, 0, codecNormalQuality, 'dvcp', false, &absMax,
                                                     &maxSize, &average, &deviation));
  EXPECT_EQ(144000, absMax);
  EXPECT_EQ(144000, average);
  EXPECT_EQ(0, deviation);
  EXPECT_EQ(216000, maxSize);

  // JPEG sizes vary with the pictures; the estimate covers the largest with room.
  ASSERT_EQ(noErr, QT_GetMaxCompressionSizeFromMovie(movie, false, 0, 0, codecHighQuality, 'jpeg', false, &absMax,
                                                     &maxSize, &average, &deviation));
  EXPECT_EQ(48 * 32 * 4 + 4096, absMax);
  EXPECT_GT(average, 300);
  EXPECT_LT(average, absMax);
  EXPECT_GE(deviation, 0);
  EXPECT_GE(maxSize, (average + 3 * deviation) * 3 / 2);

  // MPEG-style: the caller's frame count and duration; `simple` measures nothing.
  ASSERT_EQ(noErr, QT_GetMaxCompressionSizeFromMovie(movie, true, 4, 100, codecNormalQuality, 'dv5p', false, nullptr,
                                                     &maxSize, &average, nullptr));
  EXPECT_EQ(288000, average);
  ASSERT_EQ(noErr, QT_GetMaxCompressionSizeFromMovie(movie, false, 0, 0, codecNormalQuality, 'dvc ', true, &absMax,
                                                     &maxSize, &average, &deviation));
  EXPECT_EQ(120000, absMax);
  EXPECT_EQ(0, average);

  CGrafPtr port = nullptr;
  GDHandle device = nullptr;
  GetMovieGWorld(movie, &port, &device);
  EXPECT_EQ(own, port);
  EXPECT_EQ(72, GetMovieTime(movie, nullptr));

  EXPECT_EQ(noCodecErr, QT_GetMaxCompressionSizeFromMovie(movie, false, 0, 0, codecNormalQuality, 'icod', false, &absMax,
                                                          &maxSize, &average, &deviation));
  EXPECT_EQ(-2048, QT_GetMaxCompressionSizeFromMovie(movie, true, 0, 100, codecNormalQuality, 'dvcp', false, &absMax,
                                                     &maxSize, &average, &deviation));
  GetMovieGWorld(movie, &port, &device);
  EXPECT_EQ(own, port);
  DisposeMovie(movie);
  DisposeGWorld(own);
}

}  // namespace
