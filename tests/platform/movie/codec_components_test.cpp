// Codec components: the codec name list, FindCodec, the compressors' and decompressors' pixel-format
// resources, codec settings, and what DV compressors enforce as properties (also in the frames they write).
#include "platform/movie/codec_info.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/compression.h"
#include "platform/movie/image_descriptions.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Pascal(const UInt8 *p) { return std::string(reinterpret_cast<const char *>(p + 1), p[0]); }

ComponentDescription DescriptionOf(Component c) {
  ComponentDescription cd{};
  EXPECT_EQ(noErr, GetComponentInfo(c, &cd, nullptr, nullptr, nullptr));
  return cd;
}

TEST(CodecComponents, NameListNamesEveryCodecWithItsCompressorOrDecompressor) {
  CodecNameSpecListPtr list = nullptr;
  ASSERT_EQ(noErr, GetCodecNameList(&list, 1));
  ASSERT_NE(nullptr, list);
  struct Expected {
    CodecType cType;
    const char *name;
    OSType componentType;
  };
  const Expected expected[] = {
      {'2vuy', "8-bit 4:2:2 Component Y'CbCr", 'imco'}, {'yuvs', "Component Y'CbCr 8-bit 4:2:2", 'imdc'},
      {'jpeg', "Photo - JPEG", 'imco'},                 {'mjpb', "Motion JPEG B", 'imdc'},
      {'dvcp', "DV - PAL", 'imco'},                     {'dv5n', "DVCPRO50 - NTSC", 'imco'},
  };
  for (const Expected &e : expected) {
    SCOPED_TRACE(e.name);
    const CodecNameSpec *found = nullptr;
    for (SInt16 i = 0; i < list->count; ++i)
      if (list->list[i].cType == e.cType) found = &list->list[i];
    ASSERT_NE(nullptr, found);
    EXPECT_EQ(e.name, Pascal(found->typeName));
    ASSERT_NE(nullptr, found->name);
    EXPECT_EQ(e.name, Pascal(reinterpret_cast<const UInt8 *>(*found->name)));
    ComponentDescription cd = DescriptionOf(found->codec);
    EXPECT_EQ(e.componentType, cd.componentType);
    EXPECT_EQ(e.cType, cd.componentSubType);
  }
  for (SInt16 i = 0; i < list->count; ++i) EXPECT_NE(CodecType('icod'), list->list[i].cType);
  EXPECT_EQ(noErr, DisposeCodecNameList(list));
  EXPECT_EQ(paramErr, GetCodecNameList(nullptr, 0));
}

TEST(CodecComponents, FindCodecGivesTheComponentsOfAType) {
  CompressorComponent comp = nullptr;
  DecompressorComponent decomp = nullptr;
  ASSERT_EQ(noErr, FindCodec('dvcp', bestFidelityCodec, &comp, &decomp));
  ASSERT_NE(nullptr, comp);
  ASSERT_NE(nullptr, decomp);
  EXPECT_EQ(OSType('imco'), DescriptionOf(comp).componentType);
  EXPECT_EQ(OSType('imdc'), DescriptionOf(decomp).componentType);

  // A named component of the type comes back alone; one of another type is refused.
  CompressorComponent again = nullptr;
  DecompressorComponent none = reinterpret_cast<DecompressorComponent>(1);
  EXPECT_EQ(noErr, FindCodec('dvcp', comp, &again, &none));
  EXPECT_EQ(comp, again);
  EXPECT_EQ(nullptr, none);
  EXPECT_EQ(noCodecErr, FindCodec('jpeg', comp, &again, nullptr));

  // Decoded only: no compressor.
  ASSERT_EQ(noErr, FindCodec('yuvs', anyCodec, &comp, &decomp));
  EXPECT_EQ(nullptr, comp);
  EXPECT_NE(nullptr, decomp);
  EXPECT_EQ(noCodecErr, FindCodec('icod', anyCodec, &comp, &decomp));
  EXPECT_EQ(nullptr, comp);
  EXPECT_EQ(nullptr, decomp);
}

TEST(CodecComponents, PixelFormatResourcesAreBigEndianListsWithTheWorkingFormatFirst) {
  for (OSType type : {OSType('imco'), OSType('imdc')}) {
    ComponentDescription looking{type, 'dvc ', 0, 0, 0};
    Component c = FindNextComponent(nullptr, &looking);
    ASSERT_NE(nullptr, c);
    Handle cpix = nullptr;
    ASSERT_EQ(noErr, GetComponentPublicResource(c, 'cpix', 1, &cpix));
    ASSERT_EQ(8, GetHandleSize(cpix));
    const UInt8 *b = reinterpret_cast<const UInt8 *>(*cpix);
    EXPECT_EQ(0, std::memcmp(b, "2vuy", 4));
    EXPECT_EQ(0, std::memcmp(b + 4, "\0\0\0\x20", 4));
    DisposeHandle(cpix);
    EXPECT_EQ(resNotFound, GetComponentPublicResource(c, 'cpix', 2, &cpix));
  }
}

TEST(CodecComponents, SettingsAreKeptAndNoCompressorExtractsFields) {
  ComponentInstance ci = nullptr;
  ASSERT_EQ(noErr, OpenADefaultComponent('imco', 'mjpa', &ci));
  Handle in = NewHandle(5);
  std::memcpy(*in, "abcde", 5);
  EXPECT_EQ(noErr, ImageCodecSetSettings(ci, in));
  Handle out = NewHandle(0);
  EXPECT_EQ(noErr, ImageCodecGetSettings(ci, out));
  ASSERT_EQ(5, GetHandleSize(out));
  EXPECT_EQ(0, std::memcmp(*out, "abcde", 5));
  Rect r{0, 0, 200, 200};
  // No dialog: what the caller holds stays.
  SetHandleSize(out, 2);
  EXPECT_EQ(noErr, ImageCodecRequestSettings(ci, out, &r, nullptr));
  EXPECT_EQ(2, GetHandleSize(out));
  EXPECT_EQ(paramErr, ImageCodecRequestSettings(ci, nullptr, &r, nullptr));
  EXPECT_EQ(noErr, ImageCodecSetSettings(ci, nullptr));
  EXPECT_EQ(noErr, ImageCodecGetSettings(ci, out));
  EXPECT_EQ(0, GetHandleSize(out));
  EXPECT_EQ(paramErr, ImageCodecGetSettings(ci, nullptr));
  DisposeHandle(in);
  DisposeHandle(out);
  CloseComponent(ci);
  EXPECT_EQ(badComponentInstance, ImageCodecSetSettings(nullptr, nullptr));

  for (CodecType t : {CodecType('2vuy'), CodecType('jpeg'), CodecType('mjpa'), CodecType('dvcp')}) {
    ASSERT_EQ(noErr, OpenADefaultComponent('imco', t, &ci));
    EXPECT_EQ(0, ComponentFunctionImplemented(ci, kImageCodecExtractAndCombineFieldsSelect));
    EXPECT_NE(0, ComponentFunctionImplemented(ci, kImageCodecSetSettingsSelect));
    CloseComponent(ci);
  }
}

struct EnforcedCase {
  CodecType cType;
  Boolean is16x9, progressive;
  SInt32 width, height;
  UInt32 clapWidth;
  UInt32 hSpacing, vSpacing;
  UInt8 fields, detail;
};

const EnforcedCase kEnforced[] = {
    {'dvcp', false, false, 720, 576, 702, 59, 54, 2, 14},  {'dvcp', true, false, 720, 576, 702, 118, 81, 2, 14},
    {'dvpp', false, true, 720, 576, 702, 59, 54, 1, 0},    {'dv5p', true, true, 720, 576, 702, 118, 81, 1, 0},
    {'dvc ', false, false, 720, 480, 704, 10, 11, 2, 14},  {'dv5n', true, false, 720, 480, 704, 40, 33, 2, 14},
    // DVCPRO HD has no settings: always wide, 1080 lines interlaced upper field first, 720 progressive.
    {'dvh6', true, false, 1280, 1080, 1280, 3, 2, 2, 9},   {'dvh5', true, false, 1440, 1080, 1440, 4, 3, 2, 9},
    {'dvhp', true, true, 960, 720, 960, 4, 3, 1, 0},
};

TEST(CodecComponents, DVCompressorsEnforceTheirStandardsGeometry) {
  for (const EnforcedCase &c : kEnforced) {
    SCOPED_TRACE(std::string(reinterpret_cast<const char *>(&c.cType), 4) + (c.is16x9 ? " 16:9" : " 4:3") +
                 (c.progressive ? " progressive" : " interlaced"));
    ComponentInstance ci = nullptr;
    ASSERT_EQ(noErr, OpenADefaultComponent('imco', c.cType, &ci));
    const bool hd = c.cType == 'dvh6' || c.cType == 'dvh5' || c.cType == 'dvhp';
    const OSStatus settable = hd ? OSStatus(kQTPropertyNotSupportedErr) : OSStatus(noErr);
    ASSERT_EQ(settable, QTSetComponentProperty(ci, 'dvco', 'prog', 1, &c.progressive));
    ASSERT_EQ(settable, QTSetComponentProperty(ci, 'dvco', '16x9', 1, &c.is16x9));
    SInt32 width = 0, height = 0;
    CleanApertureImageDescriptionExtension clap{};
    PixelAspectRatioImageDescriptionExtension pasp{};
    FieldInfoImageDescriptionExtension2 fiel{};
    ByteCount used = 0;
    EXPECT_EQ(noErr, QTGetComponentProperty(ci, 'imco', 'enwi', 4, &width, &used));
    EXPECT_EQ(noErr, QTGetComponentProperty(ci, 'imco', 'enhe', 4, &height, &used));
    EXPECT_EQ(noErr, QTGetComponentProperty(ci, 'imco', 'encl', sizeof(clap), &clap, &used));
    EXPECT_EQ(noErr, QTGetComponentProperty(ci, 'imco', 'enpa', sizeof(pasp), &pasp, &used));
    EXPECT_EQ(noErr, QTGetComponentProperty(ci, 'imco', 'enfi', sizeof(fiel), &fiel, &used));
    EXPECT_EQ(2u, used);
    EXPECT_EQ(c.width, width);
    EXPECT_EQ(c.height, height);
    EXPECT_EQ(c.clapWidth, clap.cleanApertureWidthN);
    EXPECT_EQ(1u, clap.cleanApertureWidthD);
    EXPECT_EQ(UInt32(c.height), clap.cleanApertureHeightN);
    EXPECT_EQ(0, clap.horizOffN);
    EXPECT_EQ(1u, clap.vertOffD);
    EXPECT_EQ(c.hSpacing, pasp.hSpacing);
    EXPECT_EQ(c.vSpacing, pasp.vSpacing);
    EXPECT_EQ(c.fields, fiel.fields);
    EXPECT_EQ(c.detail, fiel.detail);
    Boolean back = 2;
    EXPECT_EQ(settable, QTGetComponentProperty(ci, 'dvco', '16x9', 1, &back, &used));
    if (!hd) {
      EXPECT_EQ(c.is16x9, back);
    }
    // Enforced values are read-only; sizes are checked.
    EXPECT_EQ(kQTPropertyReadOnlyErr, QTSetComponentProperty(ci, 'imco', 'enwi', 4, &width));
    EXPECT_EQ(kQTPropertyBadValueSizeErr, QTGetComponentProperty(ci, 'imco', 'encl', 8, &clap, &used));
    EXPECT_EQ(hd ? OSStatus(kQTPropertyNotSupportedErr) : OSStatus(kQTPropertyBadValueSizeErr),
              QTSetComponentProperty(ci, 'dvco', 'prog', 4, &width));
    CloseComponent(ci);
  }
}

TEST(CodecComponents, OtherCompressorsEnforceNothing) {
  for (CodecType t : {CodecType('2vuy'), CodecType('y420'), CodecType('jpeg'), CodecType('mjpa')}) {
    ComponentInstance ci = nullptr;
    ASSERT_EQ(noErr, OpenADefaultComponent('imco', t, &ci));
    UInt8 buffer[32];
    ByteCount used = 0;
    for (OSType prop : {OSType('enwi'), OSType('enhe'), OSType('encl'), OSType('enpa'), OSType('enfi')})
      EXPECT_EQ(kQTPropertyNotSupportedErr, QTGetComponentProperty(ci, 'imco', prop, sizeof(buffer), buffer, &used));
    Boolean on = 1;
    EXPECT_EQ(kQTPropertyNotSupportedErr, QTSetComponentProperty(ci, 'dvco', 'prog', 1, &on));
    CloseComponent(ci);
  }
  ComponentInstance ci = nullptr;
  EXPECT_EQ(badComponentType, OpenADefaultComponent('imco', 'icod', &ci));
  EXPECT_EQ(badComponentType, OpenADefaultComponent('imco', 'yuvs', &ci));
}

// A sequence begun with a DV compressor instance writes its 16:9 setting into the frames.
TEST(CodecComponents, DVSequenceOfA16x9CompressorWritesWideFrames) {
  if (!bz_test::RequireFfmpeg()) return;
  bz_test::TempDir dir;
  for (Boolean wide : {Boolean(false), Boolean(true)}) {
    ComponentInstance ci = nullptr;
    ASSERT_EQ(noErr, OpenADefaultComponent('imco', 'dvcp', &ci));
    ASSERT_EQ(noErr, QTSetComponentProperty(ci, 'dvco', '16x9', 1, &wide));
    GWorldPtr world = nullptr;
    Rect bounds{0, 0, 576, 720};
    ASSERT_EQ(noErr, QTNewGWorld(&world, k2vuyPixelFormat, &bounds, nullptr, nullptr, 0));
    auto desc = reinterpret_cast<ImageDescriptionHandle>(NewHandle(0));
    ImageSequence seq = 0;
    ASSERT_EQ(noErr, CompressSequenceBegin(&seq, GetGWorldPixMap(world), nullptr, nullptr, nullptr, 0, 'dvcp',
                                           reinterpret_cast<CompressorComponent>(ci), codecNormalQuality, 0, 0, nullptr,
                                           0, desc));
    std::vector<uint8_t> frame(144000);
    SInt32 size = 0;
    ASSERT_EQ(noErr, CompressSequenceFrame(seq, GetGWorldPixMap(world), nullptr, 0, reinterpret_cast<Ptr>(frame.data()),
                                           &size, nullptr, nullptr));
    EXPECT_TRUE(PL_EndCompressionSequence(seq));
    std::string path = dir.File(wide ? "wide.mov" : "normal.mov");
    ASSERT_EQ(noErr, bz_test::WriteCompressedMovie(path, desc, {frame}));
    EXPECT_EQ(wide ? "16:9" : "4:3", bz_test::ProbeStream(path, "v:0")["display_aspect_ratio"]);
    DisposeHandle(reinterpret_cast<Handle>(desc));
    DisposeGWorld(world);
    CloseComponent(ci);
  }
  // A compressor of another type does not name this codec.
  ComponentInstance jpeg = nullptr;
  ASSERT_EQ(noErr, OpenADefaultComponent('imco', 'jpeg', &jpeg));
  GWorldPtr world = nullptr;
  Rect bounds{0, 0, 16, 16};
  ASSERT_EQ(noErr, QTNewGWorld(&world, k2vuyPixelFormat, &bounds, nullptr, nullptr, 0));
  auto desc = reinterpret_cast<ImageDescriptionHandle>(NewHandle(0));
  ImageSequence seq = 0;
  EXPECT_EQ(noCodecErr, CompressSequenceBegin(&seq, GetGWorldPixMap(world), nullptr, nullptr, nullptr, 0, 'dvcp',
                                              reinterpret_cast<CompressorComponent>(jpeg), codecNormalQuality, 0, 0,
                                              nullptr, 0, desc));
  DisposeHandle(reinterpret_cast<Handle>(desc));
  DisposeGWorld(world);
  CloseComponent(jpeg);
}

}  // namespace
