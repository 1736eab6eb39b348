// Standard image compression: settings records in and out, settings containers (at the root or an
// exporter's 'vide'), and refusal of damaged settings.
#include "platform/movie/standard_compression.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

struct Compression {
  ComponentInstance ci = nullptr;
  Compression() { EXPECT_EQ(noErr, OpenADefaultComponent(StandardCompressionType, StandardCompressionSubType, &ci)); }
  ~Compression() { CloseComponent(ci); }
};

std::vector<UInt8> Bytes(Handle h) { return std::vector<UInt8>(*h, *h + GetHandleSize(h)); }

TEST(PlatformStandardCompression, RecordsInAndOut) {
  Compression sc;
  SCSpatialSettings spatial{};
  ASSERT_EQ(noErr, SCGetInfo(sc.ci, scSpatialSettingsType, &spatial));
  EXPECT_EQ(codecNormalQuality, spatial.spatialQuality);
  Handle codecSett = reinterpret_cast<Handle>(1);
  EXPECT_EQ(scTypeNotFoundErr, SCGetInfo(sc.ci, scCodecSettingsType, &codecSett));
  EXPECT_EQ(nullptr, codecSett);

  SCSpatialSettings wanted{'dvcp', bestFidelityCodec, 24, codecHighQuality};
  SCTemporalSettings temporal{codecLowQuality, 25 << 16, 12};
  SCDataRateSettings dataRate{3600000, 40, 1, 2};
  ASSERT_EQ(noErr, SCSetInfo(sc.ci, scSpatialSettingsType, &wanted));
  ASSERT_EQ(noErr, SCSetInfo(sc.ci, scTemporalSettingsType, &temporal));
  ASSERT_EQ(noErr, SCSetInfo(sc.ci, scDataRateSettingsType, &dataRate));
  Handle mine = nullptr;
  ASSERT_EQ(noErr, PtrToHand("abc", &mine, 3));
  ASSERT_EQ(noErr, SCSetInfo(sc.ci, scCodecSettingsType, &mine));
  DisposeHandle(mine);  // the component keeps its own copy

  // Through a container into a second instance.
  QTAtomContainer settings = nullptr;
  ASSERT_EQ(noErr, SCGetSettingsAsAtomContainer(sc.ci, &settings));
  Compression other;
  ASSERT_EQ(noErr, SCSetSettingsFromAtomContainer(other.ci, settings));
  QTDisposeAtomContainer(settings);
  SCSpatialSettings s{};
  SCTemporalSettings t{};
  SCDataRateSettings d{};
  ASSERT_EQ(noErr, SCGetInfo(other.ci, scSpatialSettingsType, &s));
  ASSERT_EQ(noErr, SCGetInfo(other.ci, scTemporalSettingsType, &t));
  ASSERT_EQ(noErr, SCGetInfo(other.ci, scDataRateSettingsType, &d));
  EXPECT_EQ(OSType('dvcp'), s.codecType);
  EXPECT_EQ(bestFidelityCodec, s.codec);
  EXPECT_EQ(24, s.depth);
  EXPECT_EQ(codecHighQuality, s.spatialQuality);
  EXPECT_EQ(Fixed(25 << 16), t.frameRate);
  EXPECT_EQ(12, t.keyFrameRate);
  EXPECT_EQ(3600000, d.dataRate);
  EXPECT_EQ(2u, d.minTemporalQuality);
  ASSERT_EQ(noErr, SCGetInfo(other.ci, scCodecSettingsType, &codecSett));
  ASSERT_NE(nullptr, codecSett);
  EXPECT_EQ((std::vector<UInt8>{'a', 'b', 'c'}), Bytes(codecSett));
  DisposeHandle(codecSett);

  EXPECT_EQ(scTypeNotFoundErr, SCGetInfo(sc.ci, 'what', &s));
  EXPECT_EQ(badComponentSelector, SCRequestImageSettings(sc.ci));
}

TEST(PlatformStandardCompression, ExporterSettingsAndDamage) {
  Compression sc;
  // An exporter keeps the records under 'vide'.
  QTAtomContainer settings = nullptr;
  ASSERT_EQ(noErr, QTNewAtomContainer(&settings));
  QTAtom video = 0;
  ASSERT_EQ(noErr, QTInsertChild(settings, 0, 'vide', 1, 0, 0, nullptr, &video));
  const UInt8 spatial[14] = {'a', 'v', 'c', '1', 0xFF, 0xFF, 0xFF, 0xFF, 0, 24, 0, 0, 3, 0};
  ASSERT_EQ(noErr, QTInsertChild(settings, video, 'sptl', 1, 0, 14, spatial, nullptr));
  ASSERT_EQ(noErr, SCSetSettingsFromAtomContainer(sc.ci, settings));
  SCSpatialSettings s{};
  ASSERT_EQ(noErr, SCGetInfo(sc.ci, scSpatialSettingsType, &s));
  EXPECT_EQ(OSType('avc1'), s.codecType);
  EXPECT_EQ(bestSpeedCodec, s.codec);
  EXPECT_EQ(codecHighQuality, s.spatialQuality);

  // A short record changes nothing.
  ASSERT_EQ(noErr, QTSetAtomData(settings, QTFindChildByIndex(settings, video, 'sptl', 1, nullptr), 6, spatial));
  EXPECT_EQ(paramErr, SCSetSettingsFromAtomContainer(sc.ci, settings));
  ASSERT_EQ(noErr, SCGetInfo(sc.ci, scSpatialSettingsType, &s));
  EXPECT_EQ(OSType('avc1'), s.codecType);
  (*settings)[15] ^= 1;  // the root's size no longer fits the handle
  EXPECT_EQ(invalidAtomContainerErr, SCSetSettingsFromAtomContainer(sc.ci, settings));
  QTDisposeAtomContainer(settings);

  ComponentInstance closed = nullptr;
  ASSERT_EQ(noErr, OpenADefaultComponent(StandardCompressionType, StandardCompressionSubType, &closed));
  CloseComponent(closed);
  EXPECT_EQ(badComponentInstance, SCGetInfo(closed, scSpatialSettingsType, &s));
}

}  // namespace
