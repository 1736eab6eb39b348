// Image description extensions and properties of the Image Compression Manager stand-in.
#include "platform/movie/image_descriptions.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/codec_info.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

struct Desc {
  ImageDescriptionHandle h = bz_test::NewFixtureImageDescription(720, 576);
  ~Desc() { DisposeHandle(reinterpret_cast<Handle>(h)); }
  std::vector<UInt8> Tail() const {
    const UInt8 *p = reinterpret_cast<const UInt8 *>(*h);
    return std::vector<UInt8>(p + sizeof(ImageDescription), p + (**h).idSize);
  }
};

Handle Bytes(std::vector<UInt8> bytes) {
  Handle h = NewHandle(Size(bytes.size()));
  std::memcpy(*h, bytes.data(), bytes.size());
  return h;
}

std::vector<UInt8> Contents(Handle h) {
  return std::vector<UInt8>(reinterpret_cast<UInt8 *>(*h), reinterpret_cast<UInt8 *>(*h) + GetHandleSize(h));
}

TEST(PlatformImageDescriptions, ExtensionsAreIndexedPerTypeAndWalkedInOrder) {
  Desc d;
  Handle a = Bytes({1}), b = Bytes({2, 2}), c = Bytes({3, 3, 3});
  ASSERT_EQ(noErr, AddImageDescriptionExtension(d.h, a, 'fiel'));
  ASSERT_EQ(noErr, AddImageDescriptionExtension(d.h, b, 'pasp'));
  ASSERT_EQ(noErr, AddImageDescriptionExtension(d.h, c, 'fiel'));
  EXPECT_EQ(SInt32(sizeof(ImageDescription) + 9 + 10 + 11), (**d.h).idSize);
  EXPECT_EQ((**d.h).idSize, GetHandleSize(reinterpret_cast<Handle>(d.h)));
  // Atoms: size, type, data, big-endian.
  std::vector<UInt8> tail = d.Tail();
  EXPECT_EQ((std::vector<UInt8>{0, 0, 0, 9, 'f', 'i', 'e', 'l', 1}), std::vector<UInt8>(tail.begin(), tail.begin() + 9));

  SInt32 count = 0;
  ASSERT_EQ(noErr, CountImageDescriptionExtensionType(d.h, 'fiel', &count));
  EXPECT_EQ(2, count);
  Handle got = nullptr;
  ASSERT_EQ(noErr, GetImageDescriptionExtension(d.h, &got, 'fiel', 2));
  EXPECT_EQ((std::vector<UInt8>{3, 3, 3}), Contents(got));
  DisposeHandle(got);
  EXPECT_EQ(codecExtensionNotFoundErr, GetImageDescriptionExtension(d.h, &got, 'fiel', 3));
  EXPECT_EQ(nullptr, got);

  OSType type = 0;
  std::vector<OSType> types;
  while (GetNextImageDescriptionExtensionType(d.h, &type) == noErr && type != 0) types.push_back(type);
  EXPECT_EQ((std::vector<OSType>{'fiel', 'pasp'}), types);

  ASSERT_EQ(noErr, RemoveImageDescriptionExtension(d.h, 'fiel', 1));
  ASSERT_EQ(noErr, GetImageDescriptionExtension(d.h, &got, 'fiel', 1));
  EXPECT_EQ((std::vector<UInt8>{3, 3, 3}), Contents(got));
  DisposeHandle(got);
  EXPECT_EQ(codecExtensionNotFoundErr, RemoveImageDescriptionExtension(d.h, 'gama', 1));
  EXPECT_EQ(SInt32(sizeof(ImageDescription) + 10 + 11), (**d.h).idSize);
  DisposeHandle(a);
  DisposeHandle(b);
  DisposeHandle(c);
}

TEST(PlatformImageDescriptions, DamagedExtensionListsGiveAnErrorNotAnOverrun) {
  struct Case {
    const char *what;
    std::vector<UInt8> tail;
    SInt32 extraIdSize;  // idSize beyond the fixed fields and tail (negative: shorter)
  };
  const Case cases[] = {
      {"atom longer than the description", {0, 0, 0, 40, 'p', 'a', 's', 'p', 0, 0, 0, 1}, 0},
      {"atom shorter than its header", {0, 0, 0, 4, 'p', 'a', 's', 'p'}, 0},
      {"idSize past the handle", {}, 16},
      {"idSize inside the fixed fields", {}, -20},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Desc d;
    SetHandleSize(reinterpret_cast<Handle>(d.h), Size(sizeof(ImageDescription) + c.tail.size()));
    if (!c.tail.empty()) std::memcpy(reinterpret_cast<UInt8 *>(*d.h) + sizeof(ImageDescription), c.tail.data(), c.tail.size());
    (**d.h).idSize = SInt32(sizeof(ImageDescription) + c.tail.size()) + c.extraIdSize;
    SInt32 count = 0;
    EXPECT_EQ(badImageDescription, CountImageDescriptionExtensionType(d.h, 'pasp', &count));
    Handle ext = Bytes({1, 2});
    EXPECT_EQ(badImageDescription, AddImageDescriptionExtension(d.h, ext, 'gama'));
    DisposeHandle(ext);
    Fixed gamma = 0;
    EXPECT_EQ(badImageDescription,
              ICMImageDescriptionGetProperty(d.h, kQTPropertyClass_ImageDescription,
                                             kICMImageDescriptionPropertyID_GammaLevel, 4, &gamma, nullptr));
  }
  // A list ended by a 32-bit zero is fine.
  Desc d;
  SetHandleSize(reinterpret_cast<Handle>(d.h), Size(sizeof(ImageDescription) + 4));
  std::memset(reinterpret_cast<UInt8 *>(*d.h) + sizeof(ImageDescription), 0, 4);
  (**d.h).idSize = SInt32(sizeof(ImageDescription) + 4);
  SInt32 count = -1;
  EXPECT_EQ(noErr, CountImageDescriptionExtensionType(d.h, 'pasp', &count));
  EXPECT_EQ(0, count);
}

TEST(PlatformImageDescriptions, GammaPropertyFallsBackToTheCodecsGamma) {
  const struct {
    OSType cType;
    double gamma;
  } cases[] = {{'dvcp', 2.2222223}, {'dvc ', 2.2222223}, {'2vuy', 2.2}, {'jpeg', 2.2}, {'raw ', 1.8}, {'smc ', 1.8}};
  for (const auto &c : cases) {
    Desc d;
    (**d.h).cType = c.cType;
    Fixed gamma = 0;
    ByteCount used = 0;
    ASSERT_EQ(noErr, ICMImageDescriptionGetProperty(d.h, kQTPropertyClass_ImageDescription,
                                                    kICMImageDescriptionPropertyID_GammaLevel, 4, &gamma, &used));
    EXPECT_EQ(X2Fix(c.gamma), gamma);
    EXPECT_EQ(4u, used);
  }
  Desc d;
  Fixed stated = X2Fix(1.0);
  ASSERT_EQ(noErr, ICMImageDescriptionSetProperty(d.h, kQTPropertyClass_ImageDescription,
                                                  kICMImageDescriptionPropertyID_GammaLevel, 4, &stated));
  EXPECT_EQ((std::vector<UInt8>{0, 0, 0, 12, 'g', 'a', 'm', 'a', 0, 1, 0, 0}), d.Tail());
  Fixed gamma = 0;
  ASSERT_EQ(noErr, ICMImageDescriptionGetProperty(d.h, kQTPropertyClass_ImageDescription,
                                                  kICMImageDescriptionPropertyID_GammaLevel, 4, &gamma, nullptr));
  EXPECT_EQ(X2Fix(1.0), gamma);
  // Gamma 0 withdraws the statement.
  Fixed none = 0;
  ASSERT_EQ(noErr, ICMImageDescriptionSetProperty(d.h, kQTPropertyClass_ImageDescription,
                                                  kICMImageDescriptionPropertyID_GammaLevel, 4, &none));
  EXPECT_TRUE(d.Tail().empty());
}

TEST(PlatformImageDescriptions, PropertiesTakeNativeRecordsAndStoreBigEndian) {
  Desc d;
  PixelAspectRatioImageDescriptionExtension pasp{40, 33};
  CleanApertureImageDescriptionExtension clap{704, 1, 576, 1, -2, 1, 0, 1};
  NCLCColorInfoImageDescriptionExtension nclc{'nclc', 1, 1, 6};
  FieldInfoImageDescriptionExtension2 fiel{2, 9};
  const OSType idsc = kQTPropertyClass_ImageDescription;
  ASSERT_EQ(noErr, ICMImageDescriptionSetProperty(d.h, idsc, kICMImageDescriptionPropertyID_PixelAspectRatio, 8, &pasp));
  ASSERT_EQ(noErr, ICMImageDescriptionSetProperty(d.h, idsc, kICMImageDescriptionPropertyID_CleanAperture, 32, &clap));
  ASSERT_EQ(noErr, ICMImageDescriptionSetProperty(d.h, idsc, kICMImageDescriptionPropertyID_NCLCColorInfo, 10, &nclc));
  ASSERT_EQ(noErr, ICMImageDescriptionSetProperty(d.h, idsc, kICMImageDescriptionPropertyID_FieldInfo, 2, &fiel));
  // Setting again replaces rather than adds.
  pasp = {16, 15};
  ASSERT_EQ(noErr, ICMImageDescriptionSetProperty(d.h, idsc, kICMImageDescriptionPropertyID_PixelAspectRatio, 8, &pasp));
  const std::vector<UInt8> expected = {
      0, 0, 0, 40, 'c', 'l', 'a', 'p', 0, 0, 2, 0xC0, 0, 0, 0, 1, 0, 0, 2, 0x40, 0, 0, 0, 1,  //
      0xFF, 0xFF, 0xFF, 0xFE, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1,                             //
      0, 0, 0, 18, 'c', 'o', 'l', 'r', 'n', 'c', 'l', 'c', 0, 1, 0, 1, 0, 6,                  //
      0, 0, 0, 10, 'f', 'i', 'e', 'l', 2, 9,                                                  //
      0, 0, 0, 16, 'p', 'a', 's', 'p', 0, 0, 0, 16, 0, 0, 0, 15};
  EXPECT_EQ(expected, d.Tail());

  CleanApertureImageDescriptionExtension clapBack{};
  ASSERT_EQ(noErr, ICMImageDescriptionGetProperty(d.h, idsc, kICMImageDescriptionPropertyID_CleanAperture, 32,
                                                  &clapBack, nullptr));
  EXPECT_EQ(0, std::memcmp(&clap, &clapBack, 32));
  NCLCColorInfoImageDescriptionExtension nclcBack{};
  ASSERT_EQ(noErr, ICMImageDescriptionGetProperty(d.h, idsc, kICMImageDescriptionPropertyID_NCLCColorInfo, 10,
                                                  &nclcBack, nullptr));
  EXPECT_EQ(6, nclcBack.matrix);

  SInt32 width = 0;
  ASSERT_EQ(noErr, ICMImageDescriptionGetProperty(d.h, idsc, kICMImageDescriptionPropertyID_EncodedWidth, 4, &width,
                                                  nullptr));
  EXPECT_EQ(720, width);
  EXPECT_EQ(kQTPropertyBadValueSizeErr,
            ICMImageDescriptionSetProperty(d.h, idsc, kICMImageDescriptionPropertyID_PixelAspectRatio, 4, &pasp));
  EXPECT_EQ(kQTPropertyNotSupportedErr,
            ICMImageDescriptionSetProperty(d.h, 'visu', kICMImageDescriptionPropertyID_PixelAspectRatio, 8, &pasp));
  EXPECT_EQ(kQTPropertyNotSupportedErr, ICMImageDescriptionGetProperty(d.h, idsc, 'what', 8, &pasp, nullptr));

  // A colour extension of another kind is no nclc.
  Desc other;
  Handle prof = Bytes({'p', 'r', 'o', 'f', 0, 0, 0, 0});
  ASSERT_EQ(noErr, AddImageDescriptionExtension(other.h, prof, 'colr'));
  DisposeHandle(prof);
  EXPECT_EQ(codecExtensionNotFoundErr, ICMImageDescriptionGetProperty(
                                           other.h, idsc, kICMImageDescriptionPropertyID_NCLCColorInfo, 10, &nclcBack, nullptr));
}

TEST(PlatformImageDescriptions, EquivalenceLooksAtCodecSizeDepthAndExtensions) {
  Desc a, b;
  (**b.h).dataSize = 12345;  // not relevant to a decompressor
  (**b.h).spatialQuality = 512;
  EXPECT_TRUE(PL_ImageDescriptionsEquivalent(a.h, b.h));
  (**b.h).width = 704;
  EXPECT_FALSE(PL_ImageDescriptionsEquivalent(a.h, b.h));
  (**b.h).width = 720;
  Handle fiel = Bytes({2, 9});
  ASSERT_EQ(noErr, AddImageDescriptionExtension(b.h, fiel, 'fiel'));
  EXPECT_FALSE(PL_ImageDescriptionsEquivalent(a.h, b.h));
  ASSERT_EQ(noErr, AddImageDescriptionExtension(a.h, fiel, 'fiel'));
  EXPECT_TRUE(PL_ImageDescriptionsEquivalent(a.h, b.h));
  DisposeHandle(fiel);
}

TEST(PlatformCodecInfo, KnownCodecsAndUnknownOnes) {
  CodecInfo info;
  ASSERT_EQ(noErr, GetCodecInfo(&info, 'dvcp', anyCodec));
  EXPECT_EQ(std::string("DV - PAL"), std::string(reinterpret_cast<char *>(info.typeName + 1), info.typeName[0]));
  EXPECT_EQ(noCodecErr, GetCodecInfo(&info, 'zzzz', anyCodec));
  EXPECT_EQ(paramErr, GetCodecInfo(nullptr, 'dvcp', anyCodec));
}

}  // namespace

namespace {

TEST(ImageDescriptionGreyRamp, GreyDepthsRunFromWhiteToBlack) {
  struct Case {
    SInt16 depth;
    std::vector<UInt32> firstGreys;  // the grey level of the first entries
    UInt32 lastIndex;
  } cases[] = {{34, {255, 170, 85, 0}, 3}, {36, {255, 238, 221}, 15}, {40, {255, 254, 253}, 255}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.depth);
    UInt32 palette[256];
    ASSERT_TRUE(PL_GetGreyRampPalette(c.depth, palette));
    for (size_t i = 0; i < c.firstGreys.size(); ++i) {
      const UInt32 g = c.firstGreys[i];
      EXPECT_EQ(palette[i], 0xFF000000u | g << 16 | g << 8 | g) << i;
    }
    EXPECT_EQ(palette[c.lastIndex], 0xFF000000u);
    EXPECT_EQ(palette[255], 0xFF000000u);
  }
  UInt32 untouched[256] = {7};
  for (SInt16 depth : {8, 24, 32, 33, 39}) EXPECT_FALSE(PL_GetGreyRampPalette(depth, untouched)) << depth;
  EXPECT_EQ(untouched[0], 7u);
  EXPECT_FALSE(PL_GetGreyRampPalette(40, nullptr));
}

}  // namespace
